#include "store/migrations.h"

#include "store/database.h"
#include "store/schema.h"

#include <QDateTime>
#include <QFileInfo>
#include <QtGlobal>

#include <iterator>

namespace server {

// ---------------------------------------------------------------------------------------
// The schema's versions
//
// A database records its version in VERSAOESQUEMA; a server that finds an older one runs
// the steps after it, all in one transaction, when its first connection opens.
//
// To change the schema, append a step; never edit a step that has been released (the
// databases it already migrated would not see the edit):
//   1. Write `static void addSomething(Database &db)` below, taking the schema from the
//      last version to the next: CREATE TABLE / ALTER TABLE / CREATE INDEX and any UPDATE
//      that moves data, the same statements on SQLite and PostgreSQL, through db.exec.
//      Nothing in it commits or opens a transaction.
//   2. Append {N, "what it adds", addSomething} to kSteps, N being the last version + 1.
//   3. The migration tests (tests/server/migration_test.cpp) then migrate a database of
//      every older version, with rows in every table, and check that every row is kept;
//      add a row to their table for what the new step must make of the old data.

// Version 2: the version itself is recorded, one row per version reached, with its date.
static void recordVersions(Database &db)
{
    db.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS VERSAOESQUEMA (NRVERSAO INTEGER PRIMARY KEY,"
                           " DSVERSAO VARCHAR(80) NOT NULL DEFAULT '', DTAPLICACAO VARCHAR(19) NOT NULL)"));
}

// Version 3: the audit's events that no other table keeps (EVENTO).
void createEventTable(Database &db)
{
    const QString key = db.isPostgres() ? QStringLiteral("NRSEQEVENTO BIGSERIAL PRIMARY KEY")
                                        : QStringLiteral("NRSEQEVENTO INTEGER PRIMARY KEY AUTOINCREMENT");
    db.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS EVENTO (") + key
            + QStringLiteral(", DTEVENTO VARCHAR(19) NOT NULL, TPEVENTO VARCHAR(30) NOT NULL,"
                             " CDOPERADOR VARCHAR(12) NOT NULL DEFAULT '', CDGRUPHOMOL VARCHAR(10) NOT NULL DEFAULT '',"
                             " CDPRODUTO VARCHAR(10) NOT NULL DEFAULT '', CDFILIAL VARCHAR(4) NOT NULL DEFAULT '',"
                             " NRSOLISERV VARCHAR(10) NOT NULL DEFAULT '', DSANTES VARCHAR(250) NOT NULL DEFAULT '',"
                             " DSDEPOIS VARCHAR(250) NOT NULL DEFAULT '', TXDETALHE TEXT NOT NULL DEFAULT '')"));
    db.exec(QStringLiteral("CREATE INDEX IF NOT EXISTS IX_EVENTO_DATA ON EVENTO (DTEVENTO)"));
}

// Version 4: the leases of groups (TRAVAGRUPO). The table stands apart from the others so that it
// can be added to a database of any age.
void createLeaseTable(Database &db)
{
    db.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS TRAVAGRUPO (CDGRUPHOMOL VARCHAR(10) PRIMARY KEY,"
                           " CDTRAVA VARCHAR(40) NOT NULL, CDOPERADOR VARCHAR(12) NOT NULL DEFAULT '',"
                           " NMESTACAO VARCHAR(250) NOT NULL DEFAULT '', DTINICIO VARCHAR(19) NOT NULL,"
                           " DTEXPIRA VARCHAR(19) NOT NULL)"));
}

// Version 5: the recorded revisions of a run that ended when its group was sent back to
// "001", kept aside under the name of that run and never read by a rollback.
static void keepEndedRuns(Database &db)
{
    db.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS VERSARQHOMENC (CDGRUPHOMOL VARCHAR(10) NOT NULL, NMEXECUCAO VARCHAR(40) NOT NULL,"
                           " DSARQSVNHOMOL VARCHAR(250) NOT NULL, DSARQCHAVE VARCHAR(250) NOT NULL,"
                           " NRREVANTARQSVN VARCHAR(10) NOT NULL DEFAULT '', NRREVATUARQSVN VARCHAR(10) NOT NULL DEFAULT '',"
                           " PRIMARY KEY (CDGRUPHOMOL, NMEXECUCAO, DSARQCHAVE))"));
}

// Version 6: the operations, their groups and their steps. The tables stand apart from the
// others, as the leases do.
void createOperationTables(Database &db)
{
    db.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS OPERACAO (CDOPERACAO VARCHAR(32) PRIMARY KEY,"
                           " DSOPERACAO VARCHAR(250) NOT NULL DEFAULT '', IDFASE VARCHAR(3) NOT NULL DEFAULT '',"
                           " CDOPERADOR VARCHAR(12) NOT NULL DEFAULT '', NMESTACAO VARCHAR(250) NOT NULL DEFAULT '',"
                           " DTINICIO VARCHAR(19) NOT NULL, DTATUALIZA VARCHAR(19) NOT NULL,"
                           " IDSITUACAO CHAR(1) NOT NULL DEFAULT 'A', NRTENTATIVA INTEGER NOT NULL DEFAULT 1,"
                           " TXPLANO TEXT NOT NULL DEFAULT '')"));
    db.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS OPERACAOGRUPO (CDOPERACAO VARCHAR(32) NOT NULL,"
                           " CDGRUPHOMOL VARCHAR(10) NOT NULL, NRORDEM INTEGER NOT NULL,"
                           " PRIMARY KEY (CDOPERACAO, CDGRUPHOMOL))"));
    db.exec(QStringLiteral("CREATE INDEX IF NOT EXISTS OPERACAOGRUPO_GRUPO ON OPERACAOGRUPO (CDGRUPHOMOL)"));
    db.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS OPERACAOPASSO (CDOPERACAO VARCHAR(32) NOT NULL,"
                           " NRPASSO INTEGER NOT NULL, DSPASSO VARCHAR(250) NOT NULL DEFAULT '',"
                           " IDSITUACAO CHAR(1) NOT NULL DEFAULT 'P', DTFIM VARCHAR(19) NOT NULL DEFAULT '',"
                           " TXRESULTADO TEXT NOT NULL DEFAULT '', PRIMARY KEY (CDOPERACAO, NRPASSO))"));
}

// Version 7: the board's sessions (SESSAOPAINEL).
void createSessionTable(Database &db)
{
    db.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS SESSAOPAINEL (CDSESSAO VARCHAR(64) NOT NULL PRIMARY KEY,"
                           " CDOPERADOR VARCHAR(12) NOT NULL DEFAULT '', DSENDERECO VARCHAR(64) NOT NULL DEFAULT '',"
                           " DTCRIACAO VARCHAR(19) NOT NULL, DTULTIMOUSO VARCHAR(19) NOT NULL, DTEXPIRACAO VARCHAR(19) NOT NULL)"));
}

static const MigrationStep kSteps[] = {
    {1, "tabelas iniciais", createVersion1},
    {2, "versão do esquema registrada", recordVersions},
    {3, "eventos da auditoria (EVENTO)", createEventTable},
    {4, "trava de grupo em tramitação (TRAVAGRUPO)", createLeaseTable},
    {5, "revisões de execuções encerradas (VERSARQHOMENC)", keepEndedRuns},
    {6, "operações de tramitação retomáveis (OPERACAO, OPERACAOGRUPO, OPERACAOPASSO)", createOperationTables},
    {7, "sessões do painel (SESSAOPAINEL)", createSessionTable},
};

// The first version that has VERSAOESQUEMA.
static constexpr int kVersionTableVersion = 2;

const MigrationStep *migrationSteps(int &count)
{
    count = int(std::size(kSteps));
    return kSteps;
}

int currentSchemaVersion() { return std::end(kSteps)[-1].version; }

// ---------------------------------------------------------------------------------------
// Migration

static bool tableExists(Database &db, const QString &table)
{
    const QVariant found = db.isPostgres()
        ? db.scalar(QStringLiteral("SELECT 1 FROM pg_tables WHERE schemaname = current_schema() AND tablename = ?"),
                    {table.toLower()})
        : db.scalar(QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?"), {table});
    return found.isValid();
}

int storedSchemaVersion(Database &db)
{
    if (tableExists(db, QStringLiteral("VERSAOESQUEMA"))) {
        const QVariant version = db.scalar(QStringLiteral("SELECT MAX(NRVERSAO) FROM VERSAOESQUEMA"));
        return version.isNull() ? 1 : version.toInt();
    }
    return tableExists(db, QStringLiteral("SOLICITACAO")) ? 1 : 0;
}

void copySqliteDatabase(Database &db, const QString &target)
{
    if (db.isPostgres())
        throw ServerError(QStringLiteral("O banco %1 é PostgreSQL: copie-o com pg_dump.").arg(db.spec().describe()));
    const QString path = QFileInfo(target).absoluteFilePath();
    if (QFileInfo::exists(path))
        throw ServerError(QStringLiteral("O arquivo \"%1\" já existe; a cópia do banco não o substitui.").arg(path));
    // VACUUM INTO reads one snapshot, as any reader does, so the copy is whole and
    // consistent while the server goes on writing.
    db.exec(QStringLiteral("VACUUM INTO ?"), {path});
}

static ServerError newerDatabase(Database &db, int version)
{
    return ServerError(QStringLiteral("O banco de dados %1 está na versão %2 do esquema, mais nova que a versão %3 "
                                      "que este servidor conhece; nada foi alterado. Instale a versão do Homologa "
                                      "que gravou esse banco (ou uma mais nova).")
                           .arg(db.spec().describe())
                           .arg(version)
                           .arg(currentSchemaVersion()));
}

// The copy of an SQLite file kept beside it before a migration: homologa.db.v1-20261207-153000.bak.
static QString keepCopy(Database &db, int version)
{
    const QString stem = QStringLiteral("%1.v%2-%3").arg(db.spec().path).arg(version)
                             .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")));
    QString target = stem + QStringLiteral(".bak");
    for (int n = 2; QFileInfo::exists(target); ++n)
        target = QStringLiteral("%1-%2.bak").arg(stem).arg(n);
    copySqliteDatabase(db, target);
    return target;
}

// Serialises the servers that migrate one PostgreSQL database at once (SQLite's write
// transaction already holds the whole file).
static constexpr qint64 kMigrationLock = 0x486f6d6f6c6f6761;  // "Homologa"

static void migrate(Database &db)
{
    const int target = db.spec().schemaVersion > 0 ? db.spec().schemaVersion : currentSchemaVersion();
    // The version is read first without a transaction: the statements that create or alter
    // tables take table locks even when there is nothing to do, and on PostgreSQL a new
    // worker's connection would then wait on, and deadlock with, another server's save.
    int version = storedSchemaVersion(db);
    if (version == target)
        return;
    if (version > target)
        throw newerDatabase(db, version);
    const QString copy = version > 0 && !db.isPostgres() ? keepCopy(db, version) : QString();

    Transaction transaction(db, true);
    if (db.isPostgres())
        db.scalar(QStringLiteral("SELECT pg_advisory_xact_lock(?)"), {kMigrationLock});
    // Another server may have migrated it meanwhile.
    version = storedSchemaVersion(db);
    if (version > target)
        throw newerDatabase(db, version);
    const int from = version;
    for (const MigrationStep &step : kSteps) {
        if (step.version > from && step.version <= target)
            step.apply(db);
    }
    if (target >= kVersionTableVersion) {
        for (const MigrationStep &step : kSteps) {
            if (step.version <= target)
                db.exec(QStringLiteral("INSERT INTO VERSAOESQUEMA (NRVERSAO, DSVERSAO, DTAPLICACAO) VALUES (?, ?, ?) "
                                       "ON CONFLICT (NRVERSAO) DO NOTHING"),
                        {step.version, QString::fromUtf8(step.summary), nowText()});
        }
    }
    transaction.commit();
    if (from > 0 && from < target)
        qInfo("%s", qUtf8Printable(QStringLiteral("Banco de dados %1 migrado da versão %2 para a versão %3 do esquema%4.")
                                       .arg(db.spec().describe())
                                       .arg(from)
                                       .arg(target)
                                       .arg(copy.isEmpty() ? QString() : QStringLiteral("; cópia anterior em %1").arg(copy))));
}

void createSchema(Database &db)
{
    try {
        migrate(db);
    } catch (...) {
        // The connection is not used on a database whose schema is not this build's.
        db.close();
        throw;
    }
}

}  // namespace server

// Schema versions: a database of every older version, with rows in every table, is
// migrated with every row kept; a newer one is refused and left alone; the server's
// configuration file, its command line over it, and the online copy of an SQLite file.

#include "serverenv.h"
#include "serverprocess.h"

#include "store/migrations.h"
#include "store/schema.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>

using server::Database;

namespace {

std::unique_ptr<Database> openAt(const QString &text, int version = 0)
{
    server::DatabaseSpec spec = server::DatabaseSpec::parse(text);
    spec.schemaVersion = version;
    auto db = std::make_unique<Database>(spec);
    db->ensureOpen();
    return db;
}

struct Column {
    QString name;
    int length = 0;  // 0: unbounded or not a text
    bool integer = false;
};
using Shape = QMap<QString, QList<Column>>;  // table -> its columns

Shape shapeOf(Database &db)
{
    Shape shape;
    const bool pg = db.isPostgres();
    QStringList tables;
    QSqlQuery &query = db.exec(pg ? QStringLiteral("SELECT tablename FROM pg_tables WHERE schemaname = current_schema()")
                                  : QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table'"));
    while (query.next())
        tables.append(query.value(0).toString().toUpper());
    for (const QString &table : tables) {
        QSqlQuery &columns = db.exec(
            pg ? QStringLiteral("SELECT column_name, data_type, COALESCE(character_maximum_length, 0) FROM information_schema.columns"
                                " WHERE table_schema = current_schema() AND table_name = ? ORDER BY ordinal_position")
               : QStringLiteral("SELECT name, type, 0 FROM pragma_table_info(?)"),
            {pg ? table.toLower() : table});
        while (columns.next()) {
            const QString type = columns.value(1).toString().toUpper();
            const QRegularExpressionMatch length = QRegularExpression(QStringLiteral("\\((\\d+)\\)")).match(type);
            shape[table].append({columns.value(0).toString().toUpper(),
                                 length.hasMatch() ? length.captured(1).toInt() : columns.value(2).toInt(),
                                 type.contains(u"INT")});
        }
    }
    return shape;
}

// Three rows in every table, every column set: accented texts where they fit, the row's
// number first so that keys stay distinct.
void fillEveryTable(Database &db, const Shape &shape)
{
    server::Transaction transaction(db, true);
    for (auto table = shape.begin(); table != shape.end(); ++table) {
        // The version table holds the versions themselves, which the migration reads.
        if (table.key() == u"VERSAOESQUEMA")
            continue;
        QStringList names, marks;
        for (const Column &column : table.value()) {
            names.append(column.name);
            marks.append(QStringLiteral("?"));
        }
        for (int row = 0; row < 3; ++row) {
            QVariantList values;
            for (const Column &column : table.value()) {
                QString text = QStringLiteral("%1 ação nº %2.%3").arg(row).arg(table.key(), column.name);
                if (column.length > 0)
                    text = text.left(column.length);
                values.append(column.integer ? QVariant(1000 + row) : QVariant(text));
            }
            db.exec(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)").arg(table.key(), names.join(u','), marks.join(u',')),
                    values);
        }
    }
    transaction.commit();
}

// Every row of the tables of `shape`, in its columns, as sorted lines.
QMap<QString, QStringList> rowsOf(Database &db, const Shape &shape)
{
    QMap<QString, QStringList> rows;
    for (auto table = shape.begin(); table != shape.end(); ++table) {
        QStringList names;
        for (const Column &column : table.value())
            names.append(column.name);
        QSqlQuery &query = db.exec(QStringLiteral("SELECT %1 FROM %2").arg(names.join(u','), table.key()));
        while (query.next()) {
            QStringList values;
            for (int i = 0; i < names.size(); ++i)
                values.append(query.isNull(i) ? QStringLiteral("<null>") : query.value(i).toString());
            rows[table.key()].append(values.join(u'|'));
        }
        rows[table.key()].sort();
    }
    return rows;
}

QStringList copiesBeside(const QString &databaseFile)
{
    const QFileInfo file(databaseFile);
    return file.dir().entryList({file.fileName() + QStringLiteral(".v*.bak")}, QDir::Files);
}

}  // namespace

TEST(SchemaMigration, EveryOlderVersionIsMigratedWithEveryRow)
{
    const int newest = server::currentSchemaVersion();
    ASSERT_GE(newest, 2);
    const TestDatabase fresh;
    const Shape newestShape = shapeOf(*openAt(fresh.text()));
    int stepCount = 0;
    const server::MigrationStep *steps = server::migrationSteps(stepCount);
    for (int step = 0; step + 1 < stepCount; ++step) {
        const int from = steps[step].version;
        SCOPED_TRACE(QStringLiteral("from version %1").arg(from).toStdString());
        const TestDatabase database;
        Shape oldShape;
        QMap<QString, QStringList> before;
        {
            auto old = openAt(database.text(), from);
            EXPECT_EQ(server::storedSchemaVersion(*old), from);
            oldShape = shapeOf(*old);
            // Version 1 is the schema of the databases written before the version was recorded.
            EXPECT_EQ(oldShape.contains(QStringLiteral("VERSAOESQUEMA")), from > 1);
            fillEveryTable(*old, oldShape);
            before = rowsOf(*old, oldShape);
        }
        for (auto table = before.begin(); table != before.end(); ++table) {
            if (table.key() != u"VERSAOESQUEMA") {
                EXPECT_GE(table.value().size(), 3) << table.key().toStdString();
            }
        }

        auto migrated = openAt(database.text());
        EXPECT_EQ(server::storedSchemaVersion(*migrated), newest);
        const QMap<QString, QStringList> after = rowsOf(*migrated, oldShape);
        for (auto table = before.begin(); table != before.end(); ++table) {
            if (table.key() != u"VERSAOESQUEMA") {  // it gains the versions reached
                EXPECT_EQ(after.value(table.key()), table.value()) << table.key().toStdString();
            }
        }
        // The same tables and columns as a new database's.
        const Shape migratedShape = shapeOf(*migrated);
        EXPECT_EQ(migratedShape.keys(), newestShape.keys());
        for (auto table = newestShape.begin(); table != newestShape.end(); ++table)
            EXPECT_EQ(migratedShape.value(table.key()).size(), table.value().size()) << table.key().toStdString();
        QStringList versions;
        QSqlQuery &query = migrated->exec(QStringLiteral("SELECT NRVERSAO FROM VERSAOESQUEMA ORDER BY NRVERSAO"));
        while (query.next())
            versions.append(query.value(0).toString());
        EXPECT_EQ(versions.size(), stepCount);
        EXPECT_EQ(versions.value(stepCount - 1), QString::number(newest));
        migrated.reset();

        if (!testingPostgres()) {
            // The copy kept beside the file is the database as it was.
            const QStringList copies = copiesBeside(database.text());
            ASSERT_EQ(copies.size(), 1);
            EXPECT_TRUE(copies[0].startsWith(QStringLiteral("homologa.db.v%1-").arg(from))) << copies[0].toStdString();
            auto copy = openAt(QFileInfo(database.text()).dir().filePath(copies[0]), from);
            EXPECT_EQ(rowsOf(*copy, oldShape), before);
        }
    }
    // A database of the newest version is opened without a migration nor a copy.
    if (!testingPostgres()) {
        openAt(fresh.text()).reset();
        EXPECT_TRUE(copiesBeside(fresh.text()).isEmpty());
    }
}

// Each step runs once: a database at a version is taken on from the step after it. The
// table a step made, dropped by hand, stays dropped through the next migration.
TEST(SchemaMigration, AStepAlreadyAppliedIsNotAppliedAgain)
{
    QStringList before;  // the tables of the version before
    for (int version = 1; version < server::currentSchemaVersion(); ++version) {
        SCOPED_TRACE(QStringLiteral("at version %1").arg(version).toStdString());
        const TestDatabase database;
        auto at = openAt(database.text(), version);
        const QStringList tables = shapeOf(*at).keys();
        QStringList made = tables;
        // The version table and the requests tell a database's version, and SQLite keeps its
        // own sequences: they stay.
        for (const QString &table :
             before + QStringList{QStringLiteral("VERSAOESQUEMA"), QStringLiteral("SOLICITACAO"), QStringLiteral("SQLITE_SEQUENCE")})
            made.removeAll(table);
        before = tables;
        if (made.isEmpty())
            continue;
        at->exec(QStringLiteral("DROP TABLE %1").arg(made.last()));
        at.reset();
        auto migrated = openAt(database.text(), version + 1);
        EXPECT_EQ(server::storedSchemaVersion(*migrated), version + 1);
        EXPECT_FALSE(shapeOf(*migrated).contains(made.last())) << made.last().toStdString();
    }
}

TEST(SchemaMigration, NewerDatabaseIsRefusedAndLeftAlone)
{
    const TestDatabase database;
    const int newer = server::currentSchemaVersion() + 1;
    openAt(database.text())
        ->exec(QStringLiteral("INSERT INTO VERSAOESQUEMA (NRVERSAO, DSVERSAO, DTAPLICACAO) VALUES (?, 'futura', ?)"),
               {newer, server::nowText()});
    try {
        openAt(database.text());
        ADD_FAILURE() << "a database of a newer schema was opened";
    } catch (const server::ServerError &error) {
        EXPECT_TRUE(error.message().contains(QStringLiteral("está na versão %1 do esquema, mais nova que a versão %2")
                                                 .arg(newer)
                                                 .arg(newer - 1)))
            << error.message().toStdString();
    }
    EXPECT_EQ(server::storedSchemaVersion(*openAt(database.text(), newer)), newer);
    if (!testingPostgres()) {
        EXPECT_TRUE(copiesBeside(database.text()).isEmpty());
    }
}

TEST(SchemaMigration, OnlineCopyTakesWhatIsCommitted)
{
    if (testingPostgres())
        GTEST_SKIP() << "a PostgreSQL database is copied with pg_dump";
    const TestDatabase database;
    auto writer = openAt(database.text());
    auto reader = openAt(database.text());
    writer->exec(QStringLiteral("INSERT INTO ASSUNTO (CDASSUNTO, DSASSUNTO) VALUES ('00001', 'Gravado')"));
    writer->begin(true);
    writer->exec(QStringLiteral("INSERT INTO ASSUNTO (CDASSUNTO, DSASSUNTO) VALUES ('00002', 'Em curso')"));
    const QString target = QFileInfo(database.text()).dir().filePath(QStringLiteral("copia.db"));
    server::copySqliteDatabase(*reader, target);
    writer->commit();

    auto copy = openAt(target);
    EXPECT_EQ(copy->scalar(QStringLiteral("SELECT COUNT(*) FROM ASSUNTO")).toInt(), 1);
    EXPECT_THROW(server::copySqliteDatabase(*reader, target), server::ServerError);
}

// The program itself: --version, the configuration file and the command line over it (the
// package test starts the service's server on its installed configuration).
TEST(ServerConfiguration, FileGivesDefaultsAndCommandLineOverrides)
{
    QTemporaryDir dir;
    const QString program = QCoreApplication::applicationDirPath() + QStringLiteral("/homologa-server");
    const QString token = writePrivateFile(dir.filePath(QStringLiteral("token")), "segredo\n");
    const QString db = dir.filePath(QStringLiteral("servidor.db"));
    auto writeConfig = [&](const QString &name, const QString &body) {
        QFile file(dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(body.toUtf8());
        return file.fileName();
    };
    // The file's address is not one: only the command line's lets the server start.
    const QString good = writeConfig(QStringLiteral("bom.conf"),
                                     QStringLiteral("# comentário\n[server]\ndatabase=%1\nlisten=256.0.0.1:8090\ntoken_file=%2\n"
                                                    "read_timeout=5\ntls_cert=\n")
                                         .arg(db, token));
    const QString bad = writeConfig(QStringLiteral("ruim.conf"), QStringLiteral("[server]\nread_timeout=nunca\n"));
    const QString copy = dir.filePath(QStringLiteral("copia.db"));
    auto run = [&](const QStringList &args, QString &output) {
        QProcess process;
        process.start(program, args);
        process.waitForFinished(20000);
        output = QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError());
        return process.exitCode();
    };

    struct Case {
        const char *what;
        QStringList args;
        int exitCode;
        QString says;
    };
    const QString config = QStringLiteral("--config");
    const Case cases[] = {
        {"version", {QStringLiteral("--version")}, 0,
         QStringLiteral("(esquema do banco de dados: versão %1)").arg(server::currentSchemaVersion())},
        {"unreadable file", {config, dir.filePath(QStringLiteral("falta.conf"))}, 2,
         QStringLiteral("não foi possível ler o arquivo de configuração")},
        {"bad value names its key", {config, bad}, 2, QStringLiteral("[server] read_timeout: \"nunca\"")},
        {"file's address", {config, good}, 2, QStringLiteral("endereço inválido em --listen: \"256.0.0.1:8090\"")},
        {"backup of the file's database", {config, good, QStringLiteral("backup"), copy}, 0,
         QStringLiteral("cópia de %1 gravada em %2").arg(db, copy)},
        {"backup never overwrites", {config, good, QStringLiteral("backup"), copy}, 1, QStringLiteral("já existe")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        QString output;
        EXPECT_EQ(run(c.args, output), c.exitCode) << output.toStdString();
        EXPECT_TRUE(output.contains(c.says)) << output.toStdString();
    }

}

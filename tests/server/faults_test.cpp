// A database that is locked by another process, that loses its connection, or whose file
// disappears: each call gets a clear refusal, nothing is half written, and the server
// answers again once the database is back.

#include "serverenv.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <QSqlDatabase>
#include <QSqlQuery>

namespace {

class ServerFaults : public ServerTest {
protected:
    void SetUp() override
    {
        qputenv("HOMOLOGA_SQLITE_BUSY_TIMEOUT_MS", "200");
        ServerTest::SetUp();
        if (!IsSkipped() && !HasFatalFailure())
            importSample();
    }
    void TearDown() override
    {
        ServerTest::TearDown();
        qunsetenv("HOMOLOGA_SQLITE_BUSY_TIMEOUT_MS");
    }
    QJsonArray newGroup() const
    {
        return args({insertDelta(server::ds::cdsGrupo(), {{QStringLiteral("DSGRUPHOMOL"), QStringLiteral("Novo")},
                                                          {QStringLiteral("CDPRODUTO"), kProduct}})
                         .toJson()});
    }
};

TEST_F(ServerFaults, ALockedSqliteDatabaseRefusesTheSaveUntilItIsFree)
{
    if (testingPostgres())
        GTEST_SKIP() << "SQLite file locks";
    ok(QStringLiteral("GetInitialData"), args({QStringLiteral("0001")}));
    {
        QSqlDatabase other = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("locker"));
        other.setDatabaseName(database().text());
        ASSERT_TRUE(other.open());
        QSqlQuery lock(other);
        ASSERT_TRUE(lock.exec(QStringLiteral("BEGIN EXCLUSIVE")));
        const QString error = refused(QStringLiteral("setGrupo"), newGroup());
        EXPECT_TRUE(error.contains(QStringLiteral("bloqueado"))) << error.toStdString();
        lock.exec(QStringLiteral("ROLLBACK"));
        lock.finish();
        other.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("locker"));
    EXPECT_TRUE(packetOf(ok(QStringLiteral("getGrupo"), args({QString()}))).rows.isEmpty());
    EXPECT_EQ(createGroup(QStringLiteral("Depois")), QStringLiteral("0000000001"));
}

TEST_F(ServerFaults, AVanishedSqliteFileIsNotSilentlyRecreated)
{
    if (testingPostgres())
        GTEST_SKIP() << "SQLite files";
    createGroup(QStringLiteral("Antes"));
    for (const char *suffix : {"", "-wal", "-shm"})
        QFile::remove(database().text() + QLatin1String(suffix));
    const QString error = refused(QStringLiteral("GetInitialData"), args({QStringLiteral("0001")}));
    EXPECT_TRUE(error.contains(QStringLiteral("não existe mais"))) << error.toStdString();
    EXPECT_FALSE(refused(QStringLiteral("setGrupo"), newGroup()).isEmpty());
    EXPECT_FALSE(QFile::exists(database().text()));
}

TEST_F(ServerFaults, ALostPostgresConnectionIsReportedThenReopened)
{
    if (!testingPostgres())
        GTEST_SKIP() << "PostgreSQL connections";
    const int backend = db().scalar(QStringLiteral("SELECT pg_backend_pid()")).toInt();
    auto admin = database().connect();
    admin->ensureOpen();
    admin->exec(QStringLiteral("SELECT pg_terminate_backend(?)"), {backend});
    const QString error = refused(QStringLiteral("setGrupo"), newGroup());
    EXPECT_TRUE(error.contains(QStringLiteral("perdida"))) << error.toStdString();
    EXPECT_EQ(admin->scalar(QStringLiteral("SELECT COUNT(*) FROM GRUPOHOMOL")).toInt(), 0);
    EXPECT_EQ(createGroup(QStringLiteral("De novo")), QStringLiteral("0000000001"));
}

}  // namespace

namespace {

TEST_F(ServerFaults, AFullDiskOrAReadOnlyDatabaseIsToldAsSuchAndNothingIsWritten)
{
    // What each engine says when it cannot write, made real on the dispatcher's own
    // connection: a page limit reached (SQLite's "disk full"), a read-only session.
    struct Case {
        const char *what;
        QString setUp, tearDown;
        const char *told;
    };
    QList<Case> cases;
    if (testingPostgres()) {
        cases.append({"read-only", QStringLiteral("SET default_transaction_read_only = on"),
                      QStringLiteral("SET default_transaction_read_only = off"), "somente para leitura"});
    } else {
        const int pages = db().scalar(QStringLiteral("PRAGMA page_count")).toInt();
        cases.append({"disk full", QStringLiteral("PRAGMA max_page_count = %1").arg(pages),
                      QStringLiteral("PRAGMA max_page_count = 1073741823"), "está cheio"});
        cases.append({"read-only", QStringLiteral("PRAGMA query_only = 1"), QStringLiteral("PRAGMA query_only = 0"),
                      "somente para leitura"});
    }
    for (const Case &c : cases) {
        db().exec(c.setUp);
        // Big enough to need new pages.
        packet::Delta many;
        many.fields = server::ds::cdsGrupo().fields;
        for (int i = 0; i < 400; ++i)
            many.changes += insertDelta(server::ds::cdsGrupo(), {{QStringLiteral("DSGRUPHOMOL"), QStringLiteral("Grupo de nome longo %1").arg(i)},
                                                                 {QStringLiteral("CDPRODUTO"), kProduct}})
                                .changes;
        const QString error = refused(QStringLiteral("setGrupo"), args({many.toJson()}));
        EXPECT_TRUE(error.contains(QString::fromUtf8(c.told))) << c.what << ": " << error.toStdString();
        EXPECT_FALSE(error.contains(QStringLiteral("perdida"))) << c.what;
        EXPECT_NO_THROW(db().exec(c.tearDown)) << c.what;
        EXPECT_TRUE(packetOf(ok(QStringLiteral("getGrupo"), args({QString()}))).rows.isEmpty()) << c.what;
    }
    EXPECT_EQ(createGroup(QStringLiteral("Depois")), QStringLiteral("0000000001"));
}

TEST_F(ServerFaults, ADatabaseFileReplacedUnderTheServerIsNeverWritten)
{
    if (testingPostgres())
        GTEST_SKIP() << "SQLite files";
    createGroup(QStringLiteral("Antes"));
    // A copy made now (a backup), put back in place of the file in use, as a restore does.
    const QString path = database().text();
    {
        auto reader = database().connect();
        reader->ensureOpen();
        reader->exec(QStringLiteral("VACUUM INTO ?"), {path + QStringLiteral(".copia")});
    }
    ASSERT_EQ(::rename(QFile::encodeName(path + QStringLiteral(".copia")).constData(), QFile::encodeName(path).constData()), 0);
    for (const char *method : {"GetInitialData", "setGrupo"}) {
        const QString error = QLatin1String(method) == u"setGrupo" ? refused(QStringLiteral("setGrupo"), newGroup())
                                                                    : refused(QLatin1String(method), args({QStringLiteral("0001")}));
        EXPECT_TRUE(error.contains(QStringLiteral("substituído"))) << error.toStdString();
    }
    // The file now in place has exactly what the copy had.
    auto restored = database().connect();
    restored->ensureOpen();
    EXPECT_EQ(restored->scalar(QStringLiteral("SELECT COUNT(*) FROM GRUPOHOMOL")).toInt(), 1);
}

TEST_F(ServerFaults, ALoneSurrogateIsRefusedNotStoredAsAnotherCharacter)
{
    const QString broken = QStringLiteral("Grupo ") + QChar(0xD800) + QStringLiteral(" quebrado");
    const QString error = refused(QStringLiteral("setGrupo"),
                                  args({insertDelta(server::ds::cdsGrupo(), {{QStringLiteral("DSGRUPHOMOL"), broken},
                                                                             {QStringLiteral("CDPRODUTO"), kProduct}})
                                            .toJson()}));
    EXPECT_TRUE(error.contains(QStringLiteral("Unicode"))) << error.toStdString();
    EXPECT_TRUE(packetOf(ok(QStringLiteral("getGrupo"), args({QString()}))).rows.isEmpty());
    EXPECT_TRUE(refused(QStringLiteral("GetSoli"), args({QString(QChar(0xDC00))})).contains(QStringLiteral("Unicode")));
    // A whole pair is a character like any other.
    const QString emoji = QStringLiteral("Grupo ") + QChar(0xD83D) + QChar(0xDE00);
    EXPECT_FALSE(refused(QStringLiteral("setGrupo"), args({insertDelta(server::ds::cdsGrupo(), {{QStringLiteral("DSGRUPHOMOL"), emoji}}).toJson()}))
                     .contains(QStringLiteral("Unicode")));
}

}  // namespace

// A -wal and -shm left read-only (made while homologa.db was read-only and kept by a
// connection that never closed) are given the database file's permissions again when the
// database is opened, so that making homologa.db writable is enough. SQLite itself mends
// only empty ones: these hold bytes.
TEST(SqliteCompanionFiles, FollowTheDatabaseFilesPermissions)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("homologa.db"));
    {
        server::Database db(server::DatabaseSpec::parse(path));
        db.ensureOpen();
        db.exec(QStringLiteral("CREATE TABLE T (X TEXT)"));
    }
    for (const char *suffix : {"-wal", "-shm"}) {
        QFile companion(path + QLatin1String(suffix));
        ASSERT_TRUE(companion.open(QIODevice::WriteOnly));
        companion.write(QByteArray(64, 'x'));
        companion.close();
        ASSERT_TRUE(companion.setPermissions(QFileDevice::ReadOwner));
    }
    server::Database db(server::DatabaseSpec::parse(path));
    db.ensureOpen();
    for (const char *suffix : {"-wal", "-shm"})
        EXPECT_EQ(QFile::permissions(path + QLatin1String(suffix)), QFile::permissions(path)) << suffix;
    EXPECT_NO_THROW(db.exec(QStringLiteral("INSERT INTO T VALUES ('gravado')")));
}

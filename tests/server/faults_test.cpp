// A database that is locked by another process, that loses its connection, or whose file
// disappears: each call gets a clear refusal, nothing is half written, and the server
// answers again once the database is back.

#include "serverenv.h"

#include <QFile>
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

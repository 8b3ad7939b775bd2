// A database that is locked by another process, that loses its connection, or whose file
// disappears: each call gets a clear refusal, nothing is half written, and the server
// answers again once the database is back.

#include "serverenv.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QThread>

#include <atomic>
#include <cstdio>
#include <unistd.h>
#include <functional>
#include <thread>

namespace {

class ServerFaults : public SampleServerTest {
protected:
    void SetUp() override
    {
        qputenv("HOMOLOGA_SQLITE_BUSY_TIMEOUT_MS", "200");
        SampleServerTest::SetUp();
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

TEST_F(ServerFaults, ALostPostgresConnectionIsFoundBeforeACallOrReportedWhenAStatementMetIt)
{
    if (!testingPostgres())
        GTEST_SKIP() << "PostgreSQL connections";
    auto admin = database().connect();
    admin->ensureOpen();
    const auto terminate = [&] {
        const int backend = db().scalar(QStringLiteral("SELECT pg_backend_pid()")).toInt();
        admin->exec(QStringLiteral("SELECT pg_terminate_backend(?)"), {backend});
        QThread::msleep(50);  // the server's goodbye arrives
    };
    // Idle when it was ended: the call goes through on a new connection.
    terminate();
    EXPECT_EQ(createGroup(QStringLiteral("Depois do fim")), QStringLiteral("0000000001"));
    // A statement that meets the lost connection: told, nothing written, and the next call
    // opens it again.
    terminate();
    try {
        db().exec(QStringLiteral("SELECT 1"));
        ADD_FAILURE() << "a statement on a lost connection succeeded";
    } catch (const server::ServerError &error) {
        EXPECT_TRUE(error.message().contains(QStringLiteral("perdida; nada foi gravado"))) << error.message().toStdString();
    }
    EXPECT_EQ(admin->scalar(QStringLiteral("SELECT COUNT(*) FROM GRUPOHOMOL")).toInt(), 1);
    EXPECT_EQ(createGroup(QStringLiteral("De novo")), QStringLiteral("0000000002"));
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
namespace {

TEST_F(ServerFaults, ConnectionsOpenedAfterTheFileWasReplacedOrRemovedRefuseIt)
{
    if (testingPostgres())
        GTEST_SKIP() << "SQLite files";
    createGroup(QStringLiteral("Antes"));
    const QString path = database().text();
    // As the server does when it starts: every later connection checks against this file.
    server::DatabaseSpec spec = server::DatabaseSpec::parse(path);
    spec.pinFile();
    struct Case {
        const char *what;
        std::function<void()> act;
        const char *told;
    } cases[] = {
        {"replaced by a backup",
         [&] {
             auto reader = database().connect();
             reader->ensureOpen();
             reader->exec(QStringLiteral("VACUUM INTO ?"), {path + QStringLiteral(".copia")});
             ::rename(QFile::encodeName(path + QStringLiteral(".copia")).constData(), QFile::encodeName(path).constData());
         },
         "substituído"},
        {"removed",
         [&] {
             for (const char *suffix : {"", "-wal", "-shm"})
                 QFile::remove(path + QLatin1String(suffix));
         },
         "não existe mais"},
    };
    for (const Case &c : cases) {
        c.act();
        // Connections that never opened the file, one a call.
        int refusals = 0;
        for (int i = 0; i < 12; ++i) {
            server::Database fresh(spec);
            server::Dispatcher dispatcher(fresh);
            const QJsonObject reply = answer(dispatcher, QStringLiteral("setGrupo"), newGroup());
            refusals += reply.value(QStringLiteral("error")).toString().contains(QString::fromUtf8(c.told)) ? 1 : 0;
        }
        EXPECT_EQ(refusals, 12) << c.what;
    }
    EXPECT_FALSE(QFile::exists(path));
}

TEST_F(ServerFaults, AGroupChangedOrDeletedWhileARequestGoesIntoItIsSeenByTheInsert)
{
    // Another connection changes the group first and holds its change uncommitted while the
    // insert runs: the insert must wait for it and then judge the group as it is.
    struct Case {
        const char *what;
        QString change;
        const char *told;
    } cases[] = {
        {"product changed", QStringLiteral("UPDATE GRUPOHOMOL SET CDPRODUTO = '0000000002' WHERE CDGRUPHOMOL = ?"), "é do produto"},
        {"deleted", QStringLiteral("DELETE FROM GRUPOHOMOL WHERE CDGRUPHOMOL = ?"), "não existe"},
    };
    const QVariant backend = testingPostgres() ? db().scalar(QStringLiteral("SELECT pg_backend_pid()")) : QVariant();
    for (const Case &c : cases) {
        const QString code = createGroup(QString::fromUtf8(c.what));
        std::atomic<bool> holding{false};
        std::thread other([&] {
            auto connection = database().connect();
            connection->ensureOpen();
            connection->begin(true);
            connection->exec(c.change, {code});
            holding = true;
            if (testingPostgres()) {
                // Until the insert waits for the group's row.
                for (int i = 0; i < 500; ++i) {
                    const QVariant waiting = connection->scalar(
                        QStringLiteral("SELECT COUNT(*) FROM pg_stat_activity WHERE pid = ? AND wait_event_type = 'Lock'"), {backend});
                    if (waiting.toInt() > 0)
                        break;
                    QThread::msleep(10);
                }
            } else {
                QThread::msleep(100);  // the insert waits in its BEGIN IMMEDIATE meanwhile
            }
            connection->commit();
        });
        while (!holding)
            QThread::msleep(1);
        const QString error = refused(QStringLiteral("setSoli"), insertInto(code, QStringLiteral("0000000101")));
        other.join();
        EXPECT_TRUE(error.contains(QString::fromUtf8(c.told))) << c.what << ": " << error.toStdString();
        EXPECT_EQ(db().scalar(QStringLiteral("SELECT COUNT(*) FROM SOLIGRUPO WHERE NRSOLISERV = '0000000101'")).toInt(), 0) << c.what;
    }
}

}  // namespace

namespace {

// Restarts the test cluster (tools/start-postgres: its socket folder holds its data),
// as the cluster's owner; false when it cannot.
bool restartPostgres()
{
    const QRegularExpressionMatch host = QRegularExpression(QStringLiteral("host=(\\S+)")).match(qEnvironmentVariable("HOMOLOGA_TEST_PG"));
    const QStringList bins = QDir(QStringLiteral("/usr/lib/postgresql")).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    if (!host.hasMatch() || bins.isEmpty() || !QFile::exists(host.captured(1) + QStringLiteral("/data")))
        return false;
    QStringList command{QStringLiteral("/usr/lib/postgresql/%1/bin/pg_ctl").arg(bins.last()), QStringLiteral("-D"),
                        host.captured(1) + QStringLiteral("/data"), QStringLiteral("-m"), QStringLiteral("fast"), QStringLiteral("-w"),
                        QStringLiteral("restart")};
    if (::getuid() == 0)
        command = QStringList{QStringLiteral("runuser"), QStringLiteral("-u"), QStringLiteral("postgres"), QStringLiteral("--")} + command;
    QProcess pgctl;
    pgctl.start(command.takeFirst(), command);
    return pgctl.waitForFinished(60000) && pgctl.exitCode() == 0;
}

TEST_F(ServerFaults, APostgresRestartIsFoundBeforeTheNextCallUsesTheConnection)
{
    if (!testingPostgres())
        GTEST_SKIP() << "PostgreSQL connections";
    ok(QStringLiteral("GetInitialData"), args({QStringLiteral("0001")}));
    ASSERT_TRUE(restartPostgres());
    // Every call after the restart, reads and saves, goes through.
    int served = 0;
    for (int i = 0; i < 20; ++i) {
        const QJsonObject reply = i % 2 ? answer(QStringLiteral("GetInitialData"), args({QStringLiteral("0001")}))
                                        : answer(QStringLiteral("setGrupo"), newGroup());
        served += reply.value(QStringLiteral("ok")).toBool() ? 1 : 0;
        EXPECT_TRUE(reply.value(QStringLiteral("ok")).toBool()) << i << ": " << reply.value(QStringLiteral("error")).toString().toStdString();
    }
    EXPECT_EQ(served, 20);
    EXPECT_EQ(db().scalar(QStringLiteral("SELECT COUNT(*) FROM GRUPOHOMOL")).toInt(), 10);
}

}  // namespace

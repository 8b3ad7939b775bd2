// The server's data outlives the server: a stop by SIGTERM leaves the SQLite file whole, a
// backup taken under writes restores to what it held, a restore is refused while the file is
// served, a log that belongs to another file is never applied, and a read-only database is
// served for reading on both engines. Each runs a real homologa-server.

#include "serverenv.h"
#include "serverprocess.h"

#include "store/schema.h"

#include <httplib.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QDateTime>
#include <QProcess>

#include <atomic>
#include <memory>
#include <thread>

#include <csignal>
#include <unistd.h>

namespace {

const QByteArray kToken = "segredo-da-duracao";

struct CommandResult {
    int status = -1;
    QString output;
};

// homologa-server with the arguments, to its end.
CommandResult command(const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QCoreApplication::applicationDirPath() + QStringLiteral("/homologa-server"), arguments);
    if (!process.waitForFinished(60000))
        return {};
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, QString::fromUtf8(process.readAll())};
}

class ServerDurability : public SampleServerTest {
protected:
    void SetUp() override
    {
        SampleServerTest::SetUp();
        m_tokenFile = writePrivateFile(m_dir.filePath(QStringLiteral("token")), kToken);
    }

    bool start(ServerProcess &server, const QStringList &more = {})
    {
        return server.start(database().text(), m_tokenFile, more);
    }

    // Calls the server; the answer's body, empty when none came.
    static std::string call(int port, const QString &method, const QJsonArray &arguments)
    {
        httplib::Client client("127.0.0.1", port);
        const auto answer = client.Post("/VOP42000.rdmGrupSoliHom/" + method.toStdString(),
                                        {{"Authorization", "Bearer " + kToken.toStdString()}},
                                        "{\"args\":" + QJsonDocument(arguments).toJson(QJsonDocument::Compact).toStdString() + "}",
                                        "application/json");
        return answer ? answer->body : std::string();
    }
    // Saves a new group; its answer's body.
    static std::string saveGroup(int port, const QString &name)
    {
        return call(port, QStringLiteral("setGrupo"),
                    args({insertDelta(server::ds::cdsGrupo(), {{QStringLiteral("DSGRUPHOMOL"), name}, {QStringLiteral("CDPRODUTO"), kProduct}})
                              .toJson()}));
    }
    static bool acknowledged(const std::string &body) { return body.rfind("{\"ok\":true", 0) == 0; }
    static qsizetype groupsServed(int port)
    {
        const QJsonObject answer = QJsonDocument::fromJson(QByteArray::fromStdString(call(port, QStringLiteral("getGrupo"), args({QString()})))).object();
        return packetOf(answer.value(QStringLiteral("data"))).rows.size();
    }

    // Groups in the SQLite file at `path`, read by a connection of its own.
    static int groupsIn(const QString &path)
    {
        server::Database db(server::DatabaseSpec::parse(path));
        db.ensureOpen();
        return db.scalar(QStringLiteral("SELECT COUNT(*) FROM GRUPOHOMOL")).toInt();
    }

    QTemporaryDir m_dir;
    QString m_tokenFile;
};

TEST_F(ServerDurability, AfterSigtermTheFileAloneHoldsEveryAcknowledgedWrite)
{
    if (testingPostgres())
        GTEST_SKIP() << "SQLite files";
    ServerProcess server;
    ASSERT_TRUE(start(server, {QStringLiteral("--workers"), QStringLiteral("1")})) << server.error().toStdString();
    for (int i = 1; i <= 4; ++i)
        ASSERT_TRUE(acknowledged(saveGroup(server.port(), QStringLiteral("Gravado %1").arg(i))));
    // The fifth save is in flight (its worker waits for the write lock held here) and another
    // call waits for that worker when the signal comes: the first is answered, the other refused.
    db().begin(true);
    std::string inFlight;
    std::thread saving([&] { inFlight = saveGroup(server.port(), QStringLiteral("Gravado 5")); });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    RawConnection queued(server.port());
    queued.send(callRequest(kMain, QStringLiteral("getGrupo"), "[\"\"]", kToken));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ::kill(pid_t(server.pid()), SIGTERM);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    db().rollback();
    saving.join();
    EXPECT_TRUE(acknowledged(inFlight)) << inFlight;
    const RawReply refused = queued.reply();
    EXPECT_EQ(refused.status, 503);
    EXPECT_TRUE(refused.error().contains(QStringLiteral("sendo encerrado"))) << refused.error().toStdString();
    EXPECT_EQ(server.terminate(), 0) << server.output().toStdString();
    EXPECT_TRUE(server.output().contains(QStringLiteral("encerrado;"))) << server.output().toStdString();

    // The main file copied alone, as an administrator copies it once the service stopped.
    const QString alone = m_dir.filePath(QStringLiteral("sozinho.db"));
    ASSERT_TRUE(QFile::copy(database().text(), alone));
    EXPECT_EQ(groupsIn(alone), 5);
}

TEST_F(ServerDurability, ABackupTakenUnderWritesIsWhatTheRestoredServerServes)
{
    if (testingPostgres())
        GTEST_SKIP() << "SQLite files";
    ServerProcess server;
    ASSERT_TRUE(start(server)) << server.error().toStdString();
    std::atomic<bool> writing{true};
    std::atomic<int> saved{0};
    std::thread writer([&] {
        for (int i = 0; writing; ++i)
            saved += acknowledged(saveGroup(server.port(), QStringLiteral("Sob cópia %1").arg(i))) ? 1 : 0;
    });
    while (saved < 5)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const int before = saved;
    const QString copy = m_dir.filePath(QStringLiteral("copia.db"));
    const CommandResult backup = command({QStringLiteral("backup"), QStringLiteral("--db"), database().text(), copy});
    writing = false;
    writer.join();
    ASSERT_EQ(backup.status, 0) << backup.output.toStdString();
    const int copied = groupsIn(copy);
    EXPECT_GE(copied, before);
    EXPECT_LE(copied, saved.load());

    // While served, the restore is refused and the file is left alone.
    const CommandResult refused = command({QStringLiteral("restore"), QStringLiteral("--db"), database().text(), copy});
    EXPECT_EQ(refused.status, 1);
    EXPECT_TRUE(refused.output.contains(QStringLiteral("em uso"))) << refused.output.toStdString();
    EXPECT_EQ(server.terminate(), 0);
    EXPECT_EQ(groupsIn(database().text()), saved.load());

    const CommandResult restored = command({QStringLiteral("restore"), QStringLiteral("--db"), database().text(), copy});
    ASSERT_EQ(restored.status, 0) << restored.output.toStdString();
    EXPECT_FALSE(QFile::exists(database().text() + QStringLiteral("-wal")));
    // The file that was there is kept whole under its new name.
    const QStringList aside = QDir(QFileInfo(database().text()).absolutePath())
                                  .entryList({QStringLiteral("homologa.db.antes-da-restauracao-*[0-9]")}, QDir::Files);
    ASSERT_EQ(aside.size(), 1) << restored.output.toStdString();
    EXPECT_EQ(groupsIn(QFileInfo(database().text()).absoluteDir().filePath(aside[0])), saved.load());

    ASSERT_TRUE(start(server)) << server.error().toStdString();
    EXPECT_EQ(groupsServed(server.port()), copied);
}

// A backup put in place of the file with mv while the server runs, then the server killed:
// the log beside the new file is the old file's, and it is set aside, never applied.
TEST_F(ServerDurability, ALogLeftByAnotherFileIsSetAsideNotApplied)
{
    if (testingPostgres())
        GTEST_SKIP() << "SQLite files";
    const QString path = database().text();
    const QString copy = m_dir.filePath(QStringLiteral("vazia.db"));
    ASSERT_EQ(command({QStringLiteral("backup"), QStringLiteral("--db"), path, copy}).status, 0);
    db().close();  // the killed server is the old file's last user
    ServerProcess server;
    ASSERT_TRUE(start(server)) << server.error().toStdString();
    for (int i = 1; i <= 5; ++i)
        ASSERT_TRUE(acknowledged(saveGroup(server.port(), QStringLiteral("No registro %1").arg(i))));
    ASSERT_GT(QFileInfo(path + QStringLiteral("-wal")).size(), 0);
    ASSERT_EQ(::rename(QFile::encodeName(copy).constData(), QFile::encodeName(path).constData()), 0);
    ::kill(pid_t(server.pid()), SIGKILL);
    server.stop();

    ASSERT_TRUE(start(server)) << server.error().toStdString();
    EXPECT_TRUE(server.output().contains(QStringLiteral("pertence a outro arquivo"))) << server.output().toStdString();
    EXPECT_EQ(server.terminate(), 0);
    EXPECT_EQ(groupsIn(path), 0);
    EXPECT_EQ(QDir(QFileInfo(path).absolutePath()).entryList({QStringLiteral("homologa.db-wal.de-outro-arquivo-*")}).size(), 1);
}

TEST_F(ServerDurability, ARestoreChecksTheBackupFirst)
{
    if (testingPostgres())
        GTEST_SKIP() << "SQLite files";
    // A backup of the database, changed by one statement.
    const auto alteredCopy = [&](const QString &name, const QString &statement) {
        const QString file = m_dir.filePath(name);
        EXPECT_EQ(command({QStringLiteral("backup"), QStringLiteral("--db"), database().text(), file}).status, 0);
        server::Database copy(server::DatabaseSpec::parse(file));
        copy.ensureOpen();
        copy.exec(statement);
        return file;
    };
    const struct {
        QString backup;
        const char *told;
    } cases[] = {
        {m_dir.filePath(QStringLiteral("nenhuma.db")), "não existe"},
        {writePrivateFile(m_dir.filePath(QStringLiteral("texto.db")), "isto não é um banco\n"), "não é um banco de dados SQLite"},
        {alteredCopy(QStringLiteral("sem.db"), QStringLiteral("DROP TABLE LOGTRAM")), "faltam as tabelas LOGTRAM"},
        {alteredCopy(QStringLiteral("nova.db"), QStringLiteral("INSERT INTO VERSAOESQUEMA (NRVERSAO, DTAPLICACAO) VALUES (%1, '')")
                                                    .arg(server::currentSchemaVersion() + 1)),
         "mais nova"},
    };
    const QDateTime before = QFileInfo(database().text()).lastModified();
    for (const auto &c : cases) {
        const CommandResult result = command({QStringLiteral("restore"), QStringLiteral("--db"), database().text(), c.backup});
        EXPECT_EQ(result.status, 1) << c.told;
        EXPECT_TRUE(result.output.contains(QString::fromUtf8(c.told))) << result.output.toStdString();
    }
    EXPECT_EQ(QFileInfo(database().text()).lastModified(), before);
    EXPECT_EQ(QFileInfo(database().text()).absoluteDir().entryList({QStringLiteral("*antes-da-restauracao*")}).size(), 0);
}

TEST_F(ServerDurability, AReadOnlyDatabaseIsServedForReadingAndSaysSo)
{
    if (!ready())
        return;
    createGroup(QStringLiteral("Lido"));
    // Read-only the way each engine is: a session whose transactions are read-only (the
    // variable is read as the server's process starts); a file its user may not write, and
    // immutable too, since root writes any other.
    const QString path = database().text();
    const bool root = ::geteuid() == 0;
    const auto chattr = [&](const char *flag) { return QProcess::execute(QStringLiteral("chattr"), {QLatin1String(flag), path}) == 0; };
    const std::shared_ptr<void> undo(nullptr, [&](void *) {
        qunsetenv("PGOPTIONS");
        if (!testingPostgres() && (!root || chattr("-i")))
            QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    });
    if (testingPostgres())
        qputenv("PGOPTIONS", "-c default_transaction_read_only=on");
    else if (QFile::setPermissions(path, QFileDevice::ReadOwner); root && !chattr("+i"))
        GTEST_SKIP() << "chattr cannot make the file immutable here";

    ServerProcess server;
    ASSERT_TRUE(start(server)) << server.error().toStdString();
    EXPECT_TRUE(server.output().contains(QStringLiteral("somente para leitura"))) << server.output().toStdString();
    EXPECT_EQ(groupsServed(server.port()), 1);
    const std::string write = saveGroup(server.port(), QStringLiteral("Recusado"));
    EXPECT_NE(write.find("somente para leitura; nada foi gravado"), std::string::npos) << write;
    const auto health = httplib::Client("127.0.0.1", server.port()).Get("/saude");
    ASSERT_TRUE(health);
    EXPECT_EQ(health->status, 200);
    EXPECT_EQ(health->body, R"({"ok":true,"status":"somente-leitura"})");
    EXPECT_EQ(server.terminate(), 0) << server.output().toStdString();
    EXPECT_EQ(db().scalar(QStringLiteral("SELECT COUNT(*) FROM GRUPOHOMOL")).toInt(), 1);
}

}  // namespace

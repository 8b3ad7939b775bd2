// The road on a Subversion server: the demo's repositories served by svnserve (svn://, the
// repository password), the pending group taken to "007" by `homologa advance`, the causes
// of a repository that cannot be used each said once with the repository named, and the
// password never in an argument list.

#include "demoenv.h"

#include "store/database.h"
#include "tools/import.h"

#include "latencyproxy/latencyproxy.h"
#include "patch/frmgpatch.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/settings.h"
#include "platform/socketio.h"
#include "workflow/linhadecomando.h"

#include <QFile>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>

namespace {

const QString kPendente = QStringLiteral("0000000001");
const QString kPassword = QStringLiteral("Senha-Do-Servidor-42");

}  // namespace

class SvnServerTest : public DemoWorkspaceTest {
protected:
    void SetUp() override
    {
        DemoWorkspaceTest::SetUp();
        if (HasFatalFailure())
            return;
        // Every svn the workflow starts goes through a wrapper that writes down its arguments.
        ASSERT_TRUE(m_wrapperFolder.isValid());
        m_argvLog = m_wrapperFolder.path() + QStringLiteral("/argv.log");
        QFile wrapper(m_wrapperFolder.path() + QStringLiteral("/svn"));
        ASSERT_TRUE(wrapper.open(QIODevice::WriteOnly));
        wrapper.write(QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$*\" >> '%1'\nexec %2 \"$@\"\n")
                          .arg(m_argvLog, platform::cmdline::findProgram(QStringLiteral("svn"), platform::mounts()))
                          .toUtf8());
        wrapper.close();
        wrapper.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        m_savedPath = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(m_wrapperFolder.path()) + ':' + m_savedPath);

        writePassword(kPassword);
        // svnserve behind a proxy: the proxy can cut a connection in the middle of a command.
        const int serverPort = platform::socketio::freeLoopbackPort();
        proxy = std::make_unique<latencyproxy::Proxy>(latencyproxy::Options{serverPort, 0, 0, -1});
        server = demo::serveRepositories(workspace, [this](const QByteArray &document) { load(document); }, serverPort,
                                         proxy->port());
        dm = openDataModule();
    }
    void TearDown() override
    {
        server.reset();
        proxy.reset();
        qputenv("PATH", m_savedPath);
        DemoWorkspaceTest::TearDown();
    }

    void load(const QByteArray &document)
    {
        server::Database db(server::DatabaseSpec::parse(workspace.databaseFile));
        server::importDocument(db, document);
    }
    void writePassword(const QString &password)
    {
        QFile file(platform::settings::open()->value(QStringLiteral("svn/password_file")).toString());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(password.toUtf8() + '\n');
    }
    // `homologa advance GROUP --yes` as the command line runs it: its exit status; what it
    // said goes to `said`.
    int advance(const QString &code, const QStringList &options = {})
    {
        ui.clear();
        const qsizetype logged = ui.logLines().size();
        host::loadHostSettings();
        TdmGrupSoliHom module;
        module.GeraSolicitacoes = patch::GeraSolicitacoes;
        std::FILE *out = std::tmpfile();
        const int status = LinhaDeComando(module, out, out).executa(QStringList{QStringLiteral("advance"), code, QStringLiteral("--yes")} + options);
        std::rewind(out);
        QByteArray text;
        char buffer[4096];
        for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, out)) > 0;)
            text.append(buffer, qsizetype(got));
        std::fclose(out);
        said = QString::fromUtf8(text) + ui.messages().join(u'\n') + ui.logLines().mid(logged).join(u'\n');
        return status;
    }
    void writeRules(const QString &rules)
    {
        QFile file(server->rulesFile);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(rules.toUtf8());
    }
    QString youngestHomologated() { return svnlook(QStringLiteral("youngest C:\\Repos\\Homol")).trimmed(); }
    QString svnlook(const QString &arguments)
    {
        int code = -1;
        const QString output = platform::Process::run(QStringLiteral("svnlook ") + arguments, &code);
        EXPECT_EQ(code, 0) << output.toStdString();
        return output;
    }
    QStringList svnCalls()
    {
        QFile file(m_argvLog);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
    }

    std::unique_ptr<latencyproxy::Proxy> proxy;
    std::unique_ptr<demo::RepositoryServer> server;
    QString said;

private:
    QTemporaryDir m_wrapperFolder;
    QString m_argvLog;
    QByteArray m_savedPath;
};

TEST_F(SvnServerTest, ThePendingGroupTakesTheRoadTo007WithThePasswordOnlyOnStandardInput)
{
    const qsizetype callsBefore = svnCalls().size();
    const int revisionBefore = youngestHomologated().toInt();
    ASSERT_EQ(advance(kPendente), 0) << said.toStdString();
    EXPECT_EQ(phaseOnServer(kPendente), QStringLiteral("002"));
    // One revision per transferred file, made through the server, with the repository work
    // a hand-written script would need and a few calls more (it needs 11).
    EXPECT_EQ(youngestHomologated().toInt(), revisionBefore + 4);
    EXPECT_TRUE(svnlook(QStringLiteral("log C:\\Repos\\Homol")).contains(QStringLiteral("Grupo de homologação: 0000000001")));
    EXPECT_LE(svnCalls().size() - callsBefore, 15) << svnCalls().mid(callsBefore).join(u'\n').toStdString();
    EXPECT_GT(proxy->connections(), 0);
    for (int phase = 3; phase <= 6; ++phase) {
        ASSERT_EQ(advance(kPendente), 0) << phase << said.toStdString();
        ASSERT_EQ(phaseOnServer(kPendente), QStringLiteral("00%1").arg(phase));
    }
    for (const char *request : {"0000001001", "0000001002", "0000001003"})
        verdict(QString::fromLatin1(request), QStringLiteral("sem-erro"));
    ASSERT_EQ(advance(kPendente, {QStringLiteral("--send-back")}), 0) << said.toStdString();
    EXPECT_EQ(phaseOnServer(kPendente), QStringLiteral("007"));

    const QStringList calls = svnCalls();
    ASSERT_FALSE(calls.isEmpty());
    int authenticated = 0;
    for (const QString &call : calls) {
        EXPECT_FALSE(call.contains(kPassword)) << call.toStdString();
        authenticated += call.contains(QStringLiteral("--password-from-stdin"));
    }
    EXPECT_GT(authenticated, 0);
    const packet::Packet logs = packetOf(QStringLiteral("getLogTram"), {kPendente});
    for (const packet::Row &row : logs.rows)
        EXPECT_FALSE(row[logs.fieldIndex(QStringLiteral("TXLOGTRAM"))].toString().contains(kPassword));
}

// Each cause a repository cannot be used for: the advance ends with exit 1 and the one
// sentence that names the repository, nothing is committed, and the rerun finishes once
// the cause is gone.
TEST_F(SvnServerTest, EachCauseIsSaidOnceAndTheRerunFinishes)
{
    struct Cause {
        const char *name;
        const char *sentence;
        std::function<void()> make, undo;
    };
    const int proxyPort = proxy->port();
    const auto restart = [this] {
        const int port = server->port;
        server.reset();
        server = demo::serveRepositories(workspace, [this](const QByteArray &document) { load(document); }, port,
                                         proxy->port());
    };
    // The working copies' server stops resolving (a VPN gone): their stored repository root
    // names another host.
    const auto renameServer = [this](const QString &from, const QString &to) {
        for (const QString &copy : {QStringLiteral("C:\\Desenv\\ERP"), QStringLiteral("C:\\Homol\\ERP")}) {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("wc"));
            db.setDatabaseName(platform::files::nativePath(copy + QStringLiteral("\\.svn\\wc.db")));
            ASSERT_TRUE(db.open());
            QSqlQuery query(db);
            ASSERT_TRUE(query.exec(QStringLiteral("UPDATE REPOSITORY SET root = replace(root, '%1', '%2')").arg(from, to)));
            query.finish();
            db.close();
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(QStringLiteral("wc"));
        }
    };
    const QString unknown = QStringLiteral("svn://servidor-inexistente.invalid");
    const Cause causes[] = {
        {"senha errada", "recusou o usuário", [this] { writePassword(QStringLiteral("errada")); },
         [this] { writePassword(kPassword); }},
        {"conta bloqueada", "não dá acesso ao usuário",
         [&] {
             writeRules(QStringLiteral("[/]\nsvn_%1 =\n").arg(platform::files::logonName()));
             restart();
         },
         [&] {
             writeRules(QStringLiteral("[/]\n* = rw\n"));
             restart();
         }},
        {"servidor desconhecido", "não foi encontrado", [&] { renameServer(server->url, unknown); },
         [&] { renameServer(unknown, server->url); }},
        {"conexão recusada", "recusou a conexão",
         [this] {
             server->process->terminate();
             proxy.reset();
         },
         [&] {
             proxy = std::make_unique<latencyproxy::Proxy>(latencyproxy::Options{server->port, proxyPort, 0, -1});
             restart();
         }},
        {"conexão encerrada", "foi encerrada no meio do comando", [this] { proxy->setCutAfterBytes(600); },
         [this] { proxy->setCutAfterBytes(-1); }},
    };
    for (const Cause &cause : causes) {
        SCOPED_TRACE(cause.name);
        const QString before = youngestHomologated();
        cause.make();
        EXPECT_EQ(advance(kPendente), 1);
        EXPECT_TRUE(said.contains(QString::fromUtf8(cause.sentence))) << said.toStdString();
        EXPECT_FALSE(said.contains(kPassword));
        EXPECT_EQ(phaseOnServer(kPendente), QStringLiteral("001"));
        EXPECT_EQ(youngestHomologated(), before);
        cause.undo();
    }
    ASSERT_EQ(advance(kPendente), 0) << said.toStdString();
    EXPECT_EQ(phaseOnServer(kPendente), QStringLiteral("002"));
}

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
#include "promotion/copiatrabalho.h"
#include "workflow/linhadecomando.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>

namespace {

const QString kPendente = QStringLiteral("0000000001");
const QString kPassword = QStringLiteral("Senha-Do-Servidor-42");

// Lets other users (the web server's) walk down to `path`.
void letOthersThrough(const QString &path)
{
    for (QString folder = QFileInfo(path).absoluteFilePath(); folder.size() > 1; folder = QFileInfo(folder).path())
        QFile::setPermissions(folder, QFile::permissions(folder) | QFileDevice::ExeOther | QFileDevice::ExeGroup);
}

// Apache with mod_dav_svn serving the repositories folder over HTTPS on a loopback port
// ("https://127.0.0.1:PORT/svn/Homol/..."), with a certificate of a test authority of its
// own and one user with its password; stopped when this ends, also if the test dies.
struct HttpsRepositories {
    QString url;        // the folder of the repositories
    QString authority;  // the test authority's certificate (PEM)
    QString problem;    // why the server could not start
    std::unique_ptr<platform::Process> process;

    static bool available()
    {
        return QFileInfo::exists(QStringLiteral("/usr/sbin/apache2"))
            && QFileInfo::exists(QStringLiteral("/usr/lib/apache2/modules/mod_dav_svn.so"));
    }

    HttpsRepositories(const QString &folder, const QString &repositories, const QString &user, const QString &password)
    {
        QDir().mkpath(folder);
        const auto run = [this](const QString &commandLine) {
            QString failure;
            const QString output = platform::Process::run(commandLine, nullptr, 60000, &failure);
            if (!failure.isEmpty() && problem.isEmpty())
                problem = commandLine + QStringLiteral(": ") + failure + u'\n' + output;
        };
        const auto write = [](const QString &file, const QByteArray &bytes) {
            QFile out(file);
            return out.open(QIODevice::WriteOnly | QIODevice::Truncate) && out.write(bytes) == bytes.size();
        };
        authority = folder + QStringLiteral("/ca.pem");
        run(QStringLiteral("openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj \"/CN=Homologa Teste\" -keyout %1/ca.key -out %2")
                .arg(folder, authority));
        run(QStringLiteral("openssl req -newkey rsa:2048 -nodes -subj /CN=127.0.0.1 -keyout %1/server.key -out %1/server.csr").arg(folder));
        write(folder + QStringLiteral("/san.cnf"), "subjectAltName=IP:127.0.0.1\n");
        run(QStringLiteral("openssl x509 -req -days 2 -in %1/server.csr -CA %2 -CAkey %1/ca.key -CAcreateserial -out %1/server.pem "
                           "-extfile %1/san.cnf")
                .arg(folder, authority));
        // The password file the way htpasswd writes a SHA-1 entry.
        const QByteArray digest = QCryptographicHash::hash(password.toUtf8(), QCryptographicHash::Sha1).toBase64();
        write(folder + QStringLiteral("/users"), user.toUtf8() + ":{SHA}" + digest + '\n');
        const int port = platform::socketio::freeLoopbackPort();
        url = QStringLiteral("https://127.0.0.1:%1/svn").arg(port);
        QByteArray config = QStringLiteral("ServerRoot %1\nServerName 127.0.0.1\nPidFile %1/httpd.pid\nListen 127.0.0.1:%2\n"
                                           "ErrorLog %1/error.log\nMutex file:%1\nUser www-data\nGroup www-data\n")
                                .arg(folder)
                                .arg(port)
                                .toUtf8();
        for (const char *module : {"mpm_event", "authz_core", "authn_core", "authn_file", "auth_basic", "authz_user", "dav",
                                   "dav_svn", "socache_shmcb", "ssl"})
            config += QStringLiteral("LoadModule %1_module /usr/lib/apache2/modules/mod_%1.so\n").arg(QString::fromLatin1(module)).toUtf8();
        config += QStringLiteral("SSLEngine on\nSSLCertificateFile %1/server.pem\nSSLCertificateKeyFile %1/server.key\n"
                                 "<Location /svn>\n  DAV svn\n  SVNParentPath %2\n  AuthType Basic\n  AuthName Homologa\n"
                                 "  AuthUserFile %1/users\n  Require valid-user\n</Location>\n")
                      .arg(folder, repositories)
                      .toUtf8();
        write(folder + QStringLiteral("/httpd.conf"), config);
        // The server's workers run as www-data: they read the users and write the repositories.
        letOthersThrough(folder);
        QFile::setPermissions(folder + QStringLiteral("/users"), QFile::permissions(folder + QStringLiteral("/users")) | QFileDevice::ReadOther);
        letOthersThrough(repositories);
        run(QStringLiteral("chmod -R a+rwX ") + repositories);
        if (!problem.isEmpty())
            return;
        process = std::make_unique<platform::Process>();
        process->setEndsWithUs();
        process->start(QStringLiteral("apache2 -f %1/httpd.conf -DFOREGROUND").arg(folder));
        if (!platform::socketio::waitUntilListening(port, 10000))
            problem = QStringLiteral("apache2 did not listen: ") + process->readAvailable();
    }
    ~HttpsRepositories()
    {
        if (process)
            process->terminate();
    }
};

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
    // As on a fresh demo, the homologated copy was refreshed within the hour.
    CopiaTrabalho::boAtualiza_Copia_Homol();
    const qsizetype callsBefore = svnCalls().size();
    const int revisionBefore = youngestHomologated().toInt();
    ASSERT_EQ(advance(kPendente), 0) << said.toStdString();
    EXPECT_EQ(phaseOnServer(kPendente), QStringLiteral("002"));
    // One revision per transferred file, made through the server, with the repository work
    // a hand-written script would need and a few calls more (it needs 11; the transfer
    // makes 14, and must never make more than 15).
    EXPECT_EQ(youngestHomologated().toInt(), revisionBefore + 4);
    EXPECT_TRUE(svnlook(QStringLiteral("log C:\\Repos\\Homol")).contains(QStringLiteral("Grupo de homologação: 0000000001")));
    EXPECT_LE(svnCalls().size() - callsBefore, 14) << svnCalls().mid(callsBefore).join(u'\n').toStdString();
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

// The same road over HTTPS (Apache): a certificate this computer does not trust and a refused
// password each stop the advance with their sentence and nothing committed; with the server's
// authority trusted the way the operator's svn trusts the system's, the group goes to "002"
// with one revision per file through the server and the password in no argument list.
TEST_F(SvnServerTest, OverHttpsTheCertificateAndThePasswordAreCheckedAndTheRoadGoesOn)
{
    if (!HttpsRepositories::available()) {
        if (qEnvironmentVariableIsSet("CI"))
            FAIL() << "apache2 with mod_dav_svn is not installed (tools/install-deps installs it)";
        GTEST_SKIP() << "apache2 with mod_dav_svn is not installed";
    }
    HttpsRepositories https(workspace.root + QStringLiteral("/https"), platform::files::nativePath(QStringLiteral("C:\\Repos")),
                            QStringLiteral("svn_") + platform::files::logonName(), kPassword);
    ASSERT_TRUE(https.problem.isEmpty()) << https.problem.toStdString();
    const QByteArray systemAuthorities = qgetenv("SSL_CERT_FILE");
    const auto trust = [&](bool trusted) {
        if (trusted)
            qputenv("SSL_CERT_FILE", QFile::encodeName(https.authority));
        else if (systemAuthorities.isEmpty())
            qunsetenv("SSL_CERT_FILE");
        else
            qputenv("SSL_CERT_FILE", systemAuthorities);
    };
    trust(true);
    demo::pointRepositoriesAt(workspace, https.url, [this](const QByteArray &document) { load(document); });

    const struct {
        const char *name;
        bool trusted;
        QString password;
        const char *sentence;
    } refusals[] = {
        {"certificado não aceito", false, kPassword, "não é aceito pelo svn deste computador"},
        {"senha errada", true, QStringLiteral("errada"), "recusou o usuário"},
    };
    for (const auto &refusal : refusals) {
        SCOPED_TRACE(refusal.name);
        writePassword(refusal.password);
        trust(refusal.trusted);
        const QString before = youngestHomologated();
        EXPECT_EQ(advance(kPendente), 1);
        EXPECT_TRUE(said.contains(QString::fromUtf8(refusal.sentence))) << said.toStdString();
        EXPECT_EQ(phaseOnServer(kPendente), QStringLiteral("001"));
        EXPECT_EQ(youngestHomologated(), before);
    }
    writePassword(kPassword);
    trust(true);
    const qsizetype callsBefore = svnCalls().size();
    const int revisionBefore = youngestHomologated().toInt();
    const int status = advance(kPendente);
    trust(false);
    ASSERT_EQ(status, 0) << said.toStdString();
    EXPECT_EQ(phaseOnServer(kPendente), QStringLiteral("002"));
    EXPECT_EQ(youngestHomologated().toInt(), revisionBefore + 4);
    const QStringList calls = svnCalls().mid(callsBefore);
    EXPECT_TRUE(calls.join(u'\n').contains(https.url)) << calls.join(u'\n').toStdString();
    for (const QString &call : calls)
        EXPECT_FALSE(call.contains(kPassword)) << call.toStdString();
}

// The HTTP front under abuse: time-outs for idle, half-sent and slow connections, the cap
// on open connections, bodies refused before they are read, HTTP/1.0, "Connection:
// close" and pipelining, HTTPS with a good and a bad certificate, and the client's own
// answer time-out.

#include "serverenv.h"
#include "serverprocess.h"

#include "front/httpfront.h"
#include "host/connection.h"
#include "platform/settings.h"
#include "tools/import.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTcpServer>
#include <QThread>

#include <httplib.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

namespace {

const QByteArray kToken = "s3gredo-da-frente";

class ServerFront : public ::testing::Test {
protected:
    void SetUp() override
    {
        server::Database db(server::DatabaseSpec::parse(databasePath()));
        server::importDocument(db, kSampleDocument);
        m_tokenFile = writePrivateFile(m_dir.filePath(QStringLiteral("token")), kToken + '\n');
        m_previousSettings = platform::settings::filePath();
        platform::settings::setFilePath(m_dir.filePath(QStringLiteral("homologa.ini")));
    }
    void TearDown() override { platform::settings::setFilePath(m_previousSettings); }

    QString databasePath() const { return m_dir.filePath(QStringLiteral("front.db")); }
    void startServer(const QStringList &more = {})
    {
        ASSERT_TRUE(m_server.start(databasePath(), m_tokenFile, more)) << m_server.error().toStdString();
    }
    // The module's connection to the server, as the settings name it.
    void configureClient(const QString &host, const QVariantMap &more = {})
    {
        QSettings settings(platform::settings::filePath(), QSettings::IniFormat);
        settings.setValue(QStringLiteral("host/server_host"), host);
        settings.setValue(QStringLiteral("host/server_port"), m_server.port());
        settings.setValue(QStringLiteral("server/token_file"), m_tokenFile);
        for (auto it = more.begin(); it != more.end(); ++it)
            settings.setValue(it.key(), it.value());
    }
    QByteArray call(const QString &method, const QByteArray &args, const QByteArray &extra = {},
                    const QByteArray &version = "HTTP/1.1")
    {
        return callRequest(kMain, method, args, kToken, extra, version);
    }

    QTemporaryDir m_dir;
    QString m_tokenFile;
    QString m_previousSettings;
    ServerProcess m_server;
};

TEST_F(ServerFront, IdleHalfSentAndSlowConnectionsAreClosedByTheTimeOuts)
{
    startServer({QStringLiteral("--read-timeout"), QStringLiteral("0.6"), QStringLiteral("--idle-timeout"), QStringLiteral("0.8")});
    RawConnection idle(m_server.port());
    RawConnection halfSent(m_server.port());
    halfSent.send("POST /VOP42000.rdmGrupSoliHom/GetSoli HTTP/1.1\r\nHost: x\r\n");
    RawConnection slow(m_server.port());
    RawConnection kept(m_server.port());
    kept.send(call(QStringLiteral("getReleaseProd"), "[\"0000000001\"]"));
    EXPECT_EQ(kept.reply().status, 200);
    QElapsedTimer timer;
    timer.start();
    // One byte of a valid request every 100 ms: each arrives well within the read
    // time-out, but the request as a whole does not.
    const QByteArray request = call(QStringLiteral("getReleaseProd"), "[\"0000000001\"]");
    for (int i = 0; i < 12 && slow.connected(); ++i) {
        slow.send(request.mid(i, 1));
        QThread::msleep(100);
    }
    EXPECT_EQ(slow.reply(2000).status, 408);
    EXPECT_TRUE(slow.closedWithin(2000));
    EXPECT_EQ(halfSent.reply(2000).status, 408);
    EXPECT_TRUE(halfSent.closedWithin(2000));
    EXPECT_TRUE(idle.closedWithin(2000));
    EXPECT_TRUE(kept.closedWithin(2000));
    EXPECT_LT(timer.elapsed(), 3000);
    // The server serves on.
    RawConnection after(m_server.port());
    after.send(call(QStringLiteral("getReleaseProd"), "[\"0000000001\"]"));
    EXPECT_TRUE(after.reply().ok());
}

TEST_F(ServerFront, TheConnectionCapRefusesTheExcessWhileARealCallSucceeds)
{
    startServer({QStringLiteral("--max-connections"), QStringLiteral("6"), QStringLiteral("--workers"), QStringLiteral("2")});
    // Unauthenticated connections beyond the cap push the oldest of them out.
    std::vector<std::unique_ptr<RawConnection>> flood;
    for (int i = 0; i < 20; ++i)
        flood.push_back(std::make_unique<RawConnection>(m_server.port()));
    QThread::msleep(300);
    int alive = 0;
    for (auto &connection : flood)
        alive += connection->closedWithin(10) ? 0 : 1;
    EXPECT_LE(alive, 6);
    // A real call gets through all the same.
    configureClient(QStringLiteral("127.0.0.1"));
    TNetConnection net(QStringLiteral("netGrupSoliHom"), kMain);
    const ServerAnswer answer = net.call(QStringLiteral("GetInitialData"), {QStringLiteral("0001")});
    EXPECT_TRUE(answer.ok) << answer.error.toStdString();
    net.close();
    QThread::msleep(200);
    // When every place is held by a client that made its calls, a new connection is refused
    // with 503.
    std::vector<std::unique_ptr<RawConnection>> served;
    for (int i = 0; i < 6; ++i) {
        served.push_back(std::make_unique<RawConnection>(m_server.port()));
        served.back()->send(call(QStringLiteral("getReleaseProd"), "[\"0000000001\"]"));
        EXPECT_EQ(served.back()->reply().status, 200);
    }
    RawConnection excess(m_server.port());
    EXPECT_EQ(excess.reply().status, 503);
    EXPECT_TRUE(excess.closedWithin(2000));
}

TEST_F(ServerFront, BodiesAreRefusedFromTheHeadBeforeTheyAreRead)
{
    startServer({QStringLiteral("--max-body"), QStringLiteral("65536")});
    // No token: refused from the head alone, the 100 MB never sent.
    RawConnection anonymous(m_server.port());
    anonymous.send("POST /VOP42000.rdmGrupSoliHom/GetSoli HTTP/1.1\r\nHost: x\r\nContent-Length: 100000000\r\n\r\n{\"args\":");
    RawReply reply = anonymous.reply(2000);
    EXPECT_EQ(reply.status, 401);
    EXPECT_TRUE(reply.error().contains(QStringLiteral("token")));
    EXPECT_TRUE(reply.head.contains("Connection: close"));
    EXPECT_TRUE(anonymous.closedWithin(3000));
    // With the token but a declared size over the limit, and with "Expect: 100-continue".
    RawConnection large(m_server.port());
    large.send("POST /VOP42000.rdmGrupSoliHom/GetSoli HTTP/1.1\r\nHost: x\r\nAuthorization: Bearer " + kToken
               + "\r\nContent-Length: 100000000\r\nExpect: 100-continue\r\n\r\n");
    reply = large.reply(2000);
    EXPECT_EQ(reply.status, 413);
    EXPECT_TRUE(reply.error().contains(QStringLiteral("65536")));
    // A token that only begins like the right one, or goes on past it, is no token.
    for (const QByteArray &token : {kToken.left(kToken.size() - 1), kToken + "x", QByteArray("s3gredo")}) {
        RawConnection wrong(m_server.port());
        wrong.send(callRequest(kMain, QStringLiteral("getReleaseProd"), "[\"0000000001\"]", token));
        EXPECT_EQ(wrong.reply().status, 401) << token.toStdString();
    }
}

TEST_F(ServerFront, StatusesHttp10ConnectionCloseAndPipelining)
{
    startServer();
    struct Case {
        QByteArray request;
        int status;
    } cases[] = {
        {callRequest(QStringLiteral("VOP00000.rdmNada"), QStringLiteral("GetSoli"), "[]", kToken), 404},
        {call(QStringLiteral("NaoExiste"), "[]"), 404},
        {callRequest(kMain, QStringLiteral("GetSoli"), "[]", "").replace("POST", "GET"), 405},
        {call(QStringLiteral("GetSoli"), "[\"1\""), 400},
        {call(QStringLiteral("GetSoli"), "[\"\\ud800\"]"), 200},  // well-formed JSON, refused by the dispatcher
    };
    for (const Case &c : cases) {
        RawConnection connection(m_server.port());
        connection.send(c.request);
        const RawReply reply = connection.reply();
        EXPECT_EQ(reply.status, c.status) << c.request.left(60).toStdString();
        EXPECT_FALSE(reply.ok());
        EXPECT_FALSE(reply.error().isEmpty());
    }
    // HTTP/1.0 and "Connection: close": answered, then closed.
    RawConnection old(m_server.port());
    old.send(call(QStringLiteral("getReleaseProd"), "[\"0000000001\"]", {}, "HTTP/1.0"));
    EXPECT_TRUE(old.reply().ok());
    EXPECT_TRUE(old.closedWithin(3000));
    RawConnection closing(m_server.port());
    closing.send(call(QStringLiteral("getReleaseProd"), "[\"0000000001\"]", "Connection: close\r\n"));
    EXPECT_TRUE(closing.reply().head.contains("Connection: close"));
    EXPECT_TRUE(closing.closedWithin(3000));
    // Twenty requests sent at once on one connection get twenty answers, in order; every
    // third one comes in chunks, which the front reads the general way between the others.
    RawConnection pipelined(m_server.port());
    QByteArray burst;
    for (int i = 0; i < 20; ++i) {
        const QByteArray args = i % 2 ? "[\"0000000001\"]" : "[\"0000000002\"]";
        QByteArray request = call(QStringLiteral("getReleaseProd"), args);
        if (i % 3 == 2) {
            const QByteArray body = "{\"args\": " + args + "}";
            request = request.left(request.indexOf("Content-Length")) + "Transfer-Encoding: chunked\r\n\r\n"
                + QByteArray::number(body.size(), 16) + "\r\n" + body + "\r\n0\r\n\r\n";
        }
        burst += request;
    }
    pipelined.send(burst);
    for (int i = 0; i < 20; ++i) {
        const RawReply reply = pipelined.reply();
        ASSERT_EQ(reply.status, 200) << i;
        EXPECT_EQ(reply.json.value(QStringLiteral("data")).toArray().at(0).toString(), i % 2 ? QStringLiteral("501023") : QString());
    }
    EXPECT_FALSE(pipelined.closedWithin(200));
}

// A throw-away certificate for 127.0.0.1, made with the openssl command.
QString makeCertificate(const QString &folder, const QString &name, QString &key)
{
    const QString certificate = folder + u'/' + name + QStringLiteral(".pem");
    key = folder + u'/' + name + QStringLiteral(".key");
    QProcess openssl;
    openssl.start(QStringLiteral("openssl"),
                  {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"), QStringLiteral("rsa:2048"),
                   QStringLiteral("-nodes"), QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-subj"),
                   QStringLiteral("/CN=127.0.0.1"), QStringLiteral("-addext"), QStringLiteral("subjectAltName=IP:127.0.0.1"),
                   QStringLiteral("-keyout"), key, QStringLiteral("-out"), certificate});
    openssl.waitForFinished(60000);
    return openssl.exitCode() == 0 ? certificate : QString();
}

TEST_F(ServerFront, HttpsWithAGoodAndABadCertificate)
{
    QString key, otherKey;
    const QString certificate = makeCertificate(m_dir.path(), QStringLiteral("server"), key);
    const QString stranger = makeCertificate(m_dir.path(), QStringLiteral("stranger"), otherKey);
    ASSERT_FALSE(certificate.isEmpty()) << "openssl is needed to make the test certificate";
    startServer({QStringLiteral("--tls-cert"), certificate, QStringLiteral("--tls-key"), key});
    EXPECT_TRUE(m_server.url().startsWith(u"https://"));

    configureClient(m_server.url(), {{QStringLiteral("host/server_ca_file"), certificate}});
    TNetConnection net(QStringLiteral("netGrupSoliHom"), kMain);
    ServerAnswer answer = net.call(QStringLiteral("getReleaseProd"), {kProduct});
    EXPECT_TRUE(answer.ok) << answer.error.toStdString();
    EXPECT_EQ(answer.data.toArray().at(0).toString(), QStringLiteral("501023"));

    // Signed by nobody the client trusts: the system's store, or another certificate.
    for (const QString &ca : {QString(), stranger}) {
        configureClient(QStringLiteral("127.0.0.1"), {{QStringLiteral("host/server_tls"), true},
                                                      {QStringLiteral("host/server_ca_file"), ca}});
        TNetConnection refused(QStringLiteral("netGrupSoliHom"), kMain);
        answer = refused.call(QStringLiteral("getReleaseProd"), {kProduct});
        EXPECT_FALSE(answer.ok);
        EXPECT_TRUE(answer.error.contains(QStringLiteral("certificado"))) << answer.error.toStdString();
        EXPECT_TRUE(answer.error.contains(m_server.url())) << answer.error.toStdString();
    }
    // Trusted, but made for another address than the one the host was given.
    configureClient(QStringLiteral("localhost"), {{QStringLiteral("host/server_tls"), true},
                                                  {QStringLiteral("host/server_ca_file"), certificate}});
    answer = TNetConnection(QStringLiteral("netGrupSoliHom"), kMain).call(QStringLiteral("getReleaseProd"), {kProduct});
    EXPECT_TRUE(answer.error.contains(QStringLiteral("não é para o endereço localhost"))) << answer.error.toStdString();
    // Plain HTTP to the HTTPS port fails cleanly, and the server serves on.
    RawConnection plain(m_server.port());
    plain.send(call(QStringLiteral("getReleaseProd"), "[\"0000000001\"]"));
    const RawReply told = plain.reply(2000);
    EXPECT_EQ(told.status, 400);
    EXPECT_TRUE(told.error().contains(QStringLiteral("server_tls"))) << told.error().toStdString();
    // The host without server_tls is told to set it.
    configureClient(QStringLiteral("127.0.0.1"), {{QStringLiteral("host/server_tls"), false}});
    TNetConnection plainHost(QStringLiteral("netGrupSoliHom"), kMain);
    answer = plainHost.call(QStringLiteral("getReleaseProd"), {kProduct});
    EXPECT_TRUE(answer.error.contains(QStringLiteral("server_tls = true"))) << answer.error.toStdString();
    configureClient(m_server.url(), {{QStringLiteral("host/server_ca_file"), certificate}});
    TNetConnection again(QStringLiteral("netGrupSoliHom"), kMain);
    EXPECT_TRUE(again.call(QStringLiteral("getReleaseProd"), {kProduct}).ok);
}

TEST_F(ServerFront, TheClientGivesUpAfterItsTimeOutAndNamesTheServer)
{
    // A server that accepts and never answers.
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    {
        QSettings settings(platform::settings::filePath(), QSettings::IniFormat);
        settings.setValue(QStringLiteral("host/server_host"), QStringLiteral("127.0.0.1"));
        settings.setValue(QStringLiteral("host/server_port"), silent.serverPort());
        settings.setValue(QStringLiteral("host/server_timeout"), 1);
        settings.setValue(QStringLiteral("server/token_file"), m_tokenFile);
    }
    TNetConnection net(QStringLiteral("netGrupSoliHom"), kMain);
    QElapsedTimer timer;
    timer.start();
    const ServerAnswer answer = net.call(QStringLiteral("GetInitialData"), {QStringLiteral("0001")});
    EXPECT_FALSE(answer.ok);
    EXPECT_LT(timer.elapsed(), 5000);
    EXPECT_TRUE(answer.error.contains(QStringLiteral("não respondeu"))) << answer.error.toStdString();
    EXPECT_TRUE(answer.error.contains(QStringLiteral("127.0.0.1:%1").arg(silent.serverPort()))) << answer.error.toStdString();
}

TEST_F(ServerFront, ThePostgresPasswordNeverShowsInTheProcessList)
{
    const QString postgres = qEnvironmentVariable("HOMOLOGA_TEST_PG");
    if (postgres.isEmpty()) {
        if (qEnvironmentVariable("CI") == u"true")
            FAIL() << "HOMOLOGA_TEST_PG is not set (tools/start-postgres)";
        GTEST_SKIP() << "PostgreSQL is not available";
    }
    const QString schema = QStringLiteral("tsenha%1").arg(QCoreApplication::applicationPid());
    const QString database = postgres + QStringLiteral(" schema=") + schema;
    auto cmdline = [](qint64 pid) {
        QFile file(QStringLiteral("/proc/%1/cmdline").arg(pid));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    {
        // Written in --db (the test cluster trusts its users, so any password opens it).
        ServerProcess server;
        ASSERT_TRUE(server.start(database + QStringLiteral(" password=segredo-na-linha"), m_tokenFile)) << server.error().toStdString();
        const QByteArray line = cmdline(server.pid());
        EXPECT_FALSE(line.isEmpty());
        EXPECT_FALSE(line.contains("segredo-na-linha")) << line.toStdString();
        // The mask has a fixed width, whatever the password's length.
        EXPECT_TRUE(line.contains(QByteArray("password=***\0", 13))) << line.toStdString();
    }
    // From a private file; a file that others may read is refused.
    const QString open = m_dir.filePath(QStringLiteral("aberta"));
    {
        QFile file(open);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("segredo-no-arquivo\n");
        file.close();
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther);
    }
    ServerProcess refused;
    EXPECT_FALSE(refused.start(database, m_tokenFile, {QStringLiteral("--db-password-file"), open}));
    const QString priv = writePrivateFile(m_dir.filePath(QStringLiteral("privada")), "segredo-no-arquivo\n");
    ServerProcess server;
    ASSERT_TRUE(server.start(database, m_tokenFile, {QStringLiteral("--db-password-file"), priv})) << server.error().toStdString();
    EXPECT_FALSE(cmdline(server.pid()).contains("segredo"));
    RawConnection connection(server.port());
    connection.send(call(QStringLiteral("GetProdAtual"), "[]"));
    EXPECT_TRUE(connection.reply().ok());
    server.stop();
    server::Database cleaner(server::DatabaseSpec::parse(postgres));
    cleaner.ensureOpen();
    cleaner.exec(QStringLiteral("DROP SCHEMA IF EXISTS %1 CASCADE").arg(schema));
}

}  // namespace

namespace {

// The time slice of each thread of a process, as the kernel reports it (empty on kernels
// that do not).
QList<qint64> threadSlices(qint64 pid)
{
    QList<qint64> slices;
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    for (const QString &task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile sched(tasks.filePath(task + QStringLiteral("/sched")));
        if (!sched.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray &line : sched.readAll().split('\n')) {
            if (line.startsWith("se.slice"))
                slices.append(line.mid(line.indexOf(':') + 1).trimmed().toLongLong());
        }
    }
    return slices;
}

}  // namespace

TEST_F(ServerFront, WorkersAskForShortTimeSlices)
{
    startServer({QStringLiteral("--workers"), QStringLiteral("3"), QStringLiteral("--board-workers"), QStringLiteral("1")});
    // Once a call is answered the workers exist; each asks as it starts.
    RawConnection connection(m_server.port());
    connection.send(call(QStringLiteral("getReleaseProd"), "[\"0000000001\"]"));
    EXPECT_EQ(connection.reply().status, 200);
    QList<qint64> slices = threadSlices(m_server.pid());
    if (slices.isEmpty())
        GTEST_SKIP() << "this kernel does not report time slices";
    QElapsedTimer waited;
    waited.start();
    while (slices.count(250'000) < 4 && waited.elapsed() < 2000) {
        QThread::msleep(10);
        slices = threadSlices(m_server.pid());
    }
    // The three workers and the board's one run with a quarter of a millisecond; the
    // accepting thread keeps the kernel's default.
    QStringList seen;
    for (qint64 slice : slices)
        seen.append(QString::number(slice));
    EXPECT_EQ(slices.count(250'000), 4) << seen.join(u' ').toStdString();
    EXPECT_EQ(slices.size(), 5) << seen.join(u' ').toStdString();
}

namespace {

// A request with the given target, Authorization header line (none when empty) and body.
QByteArray rawRequest(const QByteArray &target, const QByteArray &authorization, const QByteArray &body = "{\"args\": [\"0000000001\"]}")
{
    QByteArray request = "POST " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n";
    if (!authorization.isEmpty())
        request += authorization + "\r\n";
    return request + "Content-Type: application/json\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

// A body sent in chunks of `chunk` bytes, `total` bytes in all: a valid call padded with blanks.
QByteArray chunkedRequest(const QByteArray &token, qsizetype total, qsizetype chunk)
{
    QByteArray body = "{\"args\": [\"0000000001\"]}";
    body += QByteArray(total - body.size(), ' ');
    QByteArray request = "POST /" + kMain.toUtf8() + "/getReleaseProd HTTP/1.1\r\nHost: x\r\nAuthorization: Bearer " + token
        + "\r\nTransfer-Encoding: chunked\r\n\r\n";
    for (qsizetype at = 0; at < body.size(); at += chunk) {
        const QByteArray part = body.mid(at, chunk);
        request += QByteArray::number(part.size(), 16) + "\r\n" + part + "\r\n";
    }
    return request + "0\r\n\r\n";
}

qint64 residentBytes(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong() * 1024;
    }
    return -1;
}

// How many requests the server read directly and through the general reading so far (the
// reading of /metricas itself included).
std::pair<qint64, qint64> readings(int port)
{
    httplib::Client client("127.0.0.1", port);
    const auto metrics = client.Get("/metricas", {{"Authorization", "Bearer " + kToken.toStdString()}});
    const auto count = [&](const std::string &reading) {
        const std::string line = "homologa_requisicoes_total{leitura=\"" + reading + "\"} ";
        const size_t at = metrics ? metrics->body.find(line) : std::string::npos;
        return at == std::string::npos ? qint64(-1) : std::stoll(metrics->body.substr(at + line.size()));
    };
    return {count("direta"), count("geral")};
}

}  // namespace

TEST_F(ServerFront, OnlyCallsInTheHostsShapeAreReadDirectly)
{
    startServer();
    const QByteArray line = "POST /" + kMain.toUtf8() + "/getReleaseProd HTTP/1.1\r\n";
    const QByteArray body = "{\"args\": [\"0000000001\"]}";
    const QByteArray fields = "Host: x\r\nAuthorization: Bearer " + kToken + "\r\n";
    const QByteArray length = "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    const struct {
        const char *what;
        QByteArray request;
        bool direct;
        int status;
    } cases[] = {
        {"the host's shape", line + fields + length + "\r\n" + body, true, 200},
        {"a query and a closing list", QByteArray(line).replace("getReleaseProd", "getReleaseProd?x=1") + fields + length
                                            + "Connection: keep-alive, close\r\n\r\n" + body, true, 200},
        {"HTTP/1.0", QByteArray(line).replace("HTTP/1.1", "HTTP/1.0") + fields + length + "\r\n" + body, false, 200},
        {"no Content-Length: no body", line + fields + "\r\n", true, 400},
        {"Content-Length with a sign", line + fields + "Content-Length: +" + QByteArray::number(body.size()) + "\r\n\r\n" + body,
         false, 200},
        {"Content-Length twice", line + fields + length + length + "\r\n" + body, false, 200},
        {"a folded field", line + fields + "X-Nota: a\r\n b\r\n" + length + "\r\n" + body, false, 200},
        {"chunks", chunkedRequest(kToken, 64, 32), false, 200},
        {"a board page behind an escape", "POST /p%61inel/entrar HTTP/1.1\r\nHost: x\r\nContent-Length: 0\r\n\r\n", false, 0},
    };
    for (const auto &c : cases) {
        const auto [directBefore, generalBefore] = readings(m_server.port());
        RawConnection connection(m_server.port());
        connection.send(c.request);
        const RawReply reply = connection.reply();
        if (c.status) {
            EXPECT_EQ(reply.status, c.status) << c.what;
        } else {
            EXPECT_TRUE(reply.json.isEmpty() && reply.status > 0) << c.what << ": the board answers with a page";
        }
        const auto [directAfter, generalAfter] = readings(m_server.port());
        EXPECT_EQ(directAfter - directBefore, c.direct ? 1 : 0) << c.what;
        EXPECT_EQ(generalAfter - generalBefore, c.direct ? 1 : 2) << c.what;  // and the reading of the metrics
    }
}

TEST_F(ServerFront, TokensAndTargetsAreJudgedOnTheBytesSent)
{
    startServer({QStringLiteral("--max-body"), QStringLiteral("65536")});
    const QByteArray path = "/" + kMain.toUtf8() + "/getReleaseProd";
    const QByteArray bearer = "Authorization: Bearer " + kToken;
    struct Case {
        const char *what;
        QByteArray request;
        int status;
    } cases[] = {
        {"blanks around the value", rawRequest(path, "Authorization:  \t Bearer " + kToken + " \t"), 200},
        {"scheme in lower case", rawRequest(path, "authorization: bearer " + kToken), 200},
        {"absolute-form target", rawRequest("http://127.0.0.1:1" + path, bearer), 200},
        {"absolute-form target with a query", rawRequest("http://servidor" + path + "?x=1", bearer), 200},
        {"NUL after the token", rawRequest(path, bearer + QByteArray(1, '\0')), 401},
        {"control byte inside", rawRequest(path, "Authorization: Bearer " + kToken.left(4) + '\x01' + kToken.mid(4)), 401},
        {"percent-escape of the token's last letter",
         rawRequest(path, "Authorization: Bearer " + kToken.chopped(1) + '%' + QByteArray::number(kToken.back(), 16)), 401},
        {"empty token", rawRequest(path, "Authorization: Bearer "), 401},
        {"blanks only", rawRequest(path, "Authorization: Bearer   "), 401},
        {"two Authorization headers", rawRequest(path, bearer + "\r\n" + bearer), 401},
        {"other scheme", rawRequest(path, "Authorization: Basic " + kToken), 401},
        {"empty segments", rawRequest("//" + kMain.toUtf8() + "//getReleaseProd", bearer), 404},
        {"extra segment", rawRequest(path + "/extra", bearer), 404},
        {"trailing slash", rawRequest(path + "/", bearer), 404},
        {"body not UTF-8", rawRequest(path, bearer, "{\"args\": [\"\xff\xfe\"]}"), 400},
        {"body at the limit in chunks", chunkedRequest(kToken, 65536, 16384), 200},
        {"body one chunk over the limit", chunkedRequest(kToken, 65536 + 16384, 16384), 413},
        {"body at the limit, then a last chunk of 2 KB", chunkedRequest(kToken, 65536 + 2048, 65536), 413},
    };
    // Each call is read twice: in the shape hosts send (HTTP/1.1, Content-Length), which the
    // front reads directly, and as HTTP/1.0, which goes through the general reading. Both
    // must judge it alike, word for word.
    int direct = 0;
    for (const Case &c : cases) {
        const bool chunked = c.request.contains("Transfer-Encoding: chunked");
        QByteArray general = c.request;
        general.replace(general.indexOf(" HTTP/1.1\r\n"), 9, " HTTP/1.0");
        QString directError;
        for (const QByteArray &request : chunked ? QList<QByteArray>{c.request} : QList<QByteArray>{c.request, general}) {
            RawConnection connection(m_server.port());
            connection.send(request);
            const RawReply reply = connection.reply();
            const std::string what = std::string(c.what) + (request == general ? " (HTTP/1.0)" : "");
            EXPECT_EQ(reply.status, c.status) << what;
            EXPECT_EQ(reply.ok(), c.status == 200) << what << ": " << reply.error().toStdString();
            EXPECT_TRUE(c.status != 400 || reply.error().contains(QStringLiteral("UTF-8"))) << what;
            EXPECT_TRUE(request != general || reply.error() == directError) << what << ": " << reply.error().toStdString();
            directError = reply.error();
        }
        direct += chunked ? 0 : 1;
    }
    EXPECT_EQ(readings(m_server.port()).first, direct);
}

TEST_F(ServerFront, HeadsThatNeverEndHoldLittleMemoryAndARealCallGetsThrough)
{
    startServer({QStringLiteral("--workers"), QStringLiteral("2")});
    RawConnection warm(m_server.port());
    warm.send(call(QStringLiteral("getReleaseProd"), "[\"0000000001\"]"));
    ASSERT_EQ(warm.reply().status, 200);
    const qint64 idle = residentBytes(m_server.pid());
    ASSERT_GT(idle, 0);
    // Four clients send a head without end as fast as they can, and when the server closes
    // one, open another and go on.
    std::atomic<bool> stop{false};
    std::vector<std::thread> senders;
    for (int i = 0; i < 4; ++i) {
        senders.emplace_back([this, &stop] {
            const std::string start = "POST /" + kMain.toStdString() + "/GetSoli HTTP/1.1\r\nX-Sem-Fim: ";
            const std::string endless(64 * 1024, 'a');
            while (!stop) {
                const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
                sockaddr_in address{};
                address.sin_family = AF_INET;
                address.sin_port = htons(quint16(m_server.port()));
                address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
                const timeval timeout{0, 200'000};
                ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
                if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0
                    && ::send(fd, start.data(), start.size(), MSG_NOSIGNAL) > 0) {
                    while (!stop && ::send(fd, endless.data(), endless.size(), MSG_NOSIGNAL) > 0) {
                    }
                }
                ::close(fd);
            }
        });
    }
    qint64 peak = idle;
    for (int i = 0; i < 30; ++i) {
        QThread::msleep(50);
        peak = std::max(peak, residentBytes(m_server.pid()));
    }
    RawConnection real(m_server.port());
    real.send(call(QStringLiteral("getReleaseProd"), "[\"0000000001\"]"));
    EXPECT_EQ(real.reply().status, 200);
    stop = true;
    for (std::thread &sender : senders)
        sender.join();
    // What they sent is dropped as it comes: the unauthenticated budget (4 MiB) and a little
    // more, far from the tens of megabytes a drained socket costs.
    EXPECT_LT(peak - idle, 16 * 1024 * 1024);
}

TEST_F(ServerFront, TheCapFollowsTheDescriptorLimit)
{
    // The cap leaves room for three descriptors a worker and the server's own.
    EXPECT_EQ(server::connectionCap(256, 8), 256 - 24 - 32);
    EXPECT_EQ(server::connectionCap(40, 8), 1);
    EXPECT_EQ(server::connectionCap(1u << 30, 8), 4096);
    // A server started under a low limit and no --max-connections keeps serving a real call
    // beside many more idle connections than it has descriptors.
    rlimit before{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &before), 0);
    rlimit low = before;
    low.rlim_cur = 128;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
    startServer({QStringLiteral("--workers"), QStringLiteral("4")});
    ::setrlimit(RLIMIT_NOFILE, &before);
    std::vector<std::unique_ptr<RawConnection>> idle;
    for (int i = 0; i < 300; ++i)
        idle.push_back(std::make_unique<RawConnection>(m_server.port()));
    RawConnection real(m_server.port());
    real.send(call(QStringLiteral("getReleaseProd"), "[\"0000000001\"]"));
    EXPECT_EQ(real.reply(3000).status, 200);
}

TEST_F(ServerFront, TheHostExpandsItsHomeAndNamesAMissingTokenSetting)
{
    startServer();
    const QByteArray home = qgetenv("HOME");
    qputenv("HOME", m_dir.path().toUtf8());
    configureClient(QStringLiteral("127.0.0.1"), {{QStringLiteral("server/token_file"), QStringLiteral("~/token")}});
    TNetConnection net(QStringLiteral("netGrupSoliHom"), kMain);
    const ServerAnswer answer = net.call(QStringLiteral("getReleaseProd"), {kProduct});
    qputenv("HOME", home);
    EXPECT_TRUE(answer.ok) << answer.error.toStdString();
    configureClient(QStringLiteral("127.0.0.1"), {{QStringLiteral("server/token_file"), QString()}});
    TNetConnection anonymous(QStringLiteral("netGrupSoliHom"), kMain);
    const ServerAnswer refused = anonymous.call(QStringLiteral("getReleaseProd"), {kProduct});
    EXPECT_TRUE(refused.error.contains(QStringLiteral("token_file"))) << refused.error.toStdString();
}

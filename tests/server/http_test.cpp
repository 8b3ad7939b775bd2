// The real homologa-server over HTTP: the token, bad requests answered clearly while the
// server keeps serving, and the module's connection talking to it.

#include "serverenv.h"

#include "host/connection.h"
#include "platform/settings.h"
#include "tools/import.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTcpSocket>

namespace {

const QByteArray kToken = "s3gredo-de-teste";

struct Reply {
    int status = 0;
    QJsonObject json;
    bool ok() const { return json.value(QStringLiteral("ok")).toBool(); }
    QString error() const { return json.value(QStringLiteral("error")).toString(); }
};

class ServerHttp : public ::testing::Test {
protected:
    void SetUp() override
    {
        {
            server::Database db(server::DatabaseSpec::parse(m_dir.filePath(QStringLiteral("h.db"))));
            server::importDocument(db, kSampleDocument);
        }
        QFile token(m_dir.filePath(QStringLiteral("token")));
        ASSERT_TRUE(token.open(QIODevice::WriteOnly));
        token.write(kToken + '\n');
        token.close();
        token.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        m_server.setProgram(QCoreApplication::applicationDirPath() + QStringLiteral("/homologa-server"));
        m_server.setArguments({QStringLiteral("--db"), m_dir.filePath(QStringLiteral("h.db")), QStringLiteral("--listen"),
                               QStringLiteral("127.0.0.1:0"), QStringLiteral("--token-file"), token.fileName(),
                               QStringLiteral("--max-body"), QStringLiteral("65536")});
        m_server.start();
        ASSERT_TRUE(m_server.waitForStarted());
        QByteArray banner;
        while (!banner.contains('\n') && m_server.waitForReadyRead(10000))
            banner += m_server.readAllStandardOutput();
        const QRegularExpressionMatch match = QRegularExpression(QStringLiteral("http://127\\.0\\.0\\.1:(\\d+)")).match(QString::fromUtf8(banner));
        ASSERT_TRUE(match.hasMatch()) << banner.toStdString() << m_server.readAllStandardError().toStdString();
        m_port = match.captured(1).toInt();
    }
    void TearDown() override
    {
        m_server.terminate();
        m_server.waitForFinished(5000);
    }

    Reply send(const QByteArray &request)
    {
        QTcpSocket socket;
        socket.connectToHost(QStringLiteral("127.0.0.1"), quint16(m_port));
        EXPECT_TRUE(socket.waitForConnected(5000));
        socket.write(request);
        socket.waitForBytesWritten(5000);
        QByteArray received;
        qsizetype end = -1;
        qint64 length = -1;
        while (true) {
            end = received.indexOf("\r\n\r\n");
            if (end >= 0) {
                const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("content-length:\\s*(\\d+)"),
                                                                     QRegularExpression::CaseInsensitiveOption)
                                                      .match(QString::fromLatin1(received.left(end)));
                length = m.hasMatch() ? m.captured(1).toLongLong() : 0;
                if (received.size() - end - 4 >= length)
                    break;
            }
            if (!socket.waitForReadyRead(5000))
                break;
            received += socket.readAll();
        }
        Reply reply;
        reply.status = received.mid(9, 3).toInt();
        if (end >= 0)
            reply.json = QJsonDocument::fromJson(received.mid(end + 4, length)).object();
        return reply;
    }
    Reply post(const QByteArray &path, const QByteArray &body, const QByteArray &token = kToken, const QByteArray &verb = "POST")
    {
        QByteArray request = verb + ' ' + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n";
        if (!token.isEmpty())
            request += "Authorization: Bearer " + token + "\r\n";
        request += "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
        return send(request);
    }
    Reply call(const QString &method, const QJsonArray &arguments, const QByteArray &token = kToken)
    {
        return post("/VOP42000.rdmGrupSoliHom/" + method.toUtf8(),
                    QJsonDocument(QJsonObject{{QStringLiteral("args"), arguments}}).toJson(QJsonDocument::Compact), token);
    }

    QTemporaryDir m_dir;
    QProcess m_server;
    int m_port = 0;
};

TEST_F(ServerHttp, EveryCallMustCarryTheToken)
{
    const QJsonArray arguments{kProduct};
    Reply reply = call(QStringLiteral("getReleaseProd"), arguments, QByteArray());
    EXPECT_EQ(reply.status, 401);
    EXPECT_FALSE(reply.ok());
    EXPECT_TRUE(reply.error().contains(QStringLiteral("token")));
    EXPECT_EQ(call(QStringLiteral("getReleaseProd"), arguments, "outro").status, 401);
    reply = call(QStringLiteral("getReleaseProd"), arguments);
    EXPECT_EQ(reply.status, 200);
    EXPECT_EQ(reply.json.value(QStringLiteral("data")).toArray()[0].toString(), QStringLiteral("501023"));
}

TEST_F(ServerHttp, BadRequestsGetClearAnswersAndTheServerKeepsServing)
{
    EXPECT_EQ(post("/VOP42000.rdmGrupSoliHom/GetSoli", "{\"args\": [\"1\"]}", kToken, "GET").status, 405);
    EXPECT_EQ(post("/GetSoli", "{\"args\": []}").status, 404);
    Reply reply = post("/VOP42000.rdmGrupSoliHom/GetSoli", "{\"args\": [");
    EXPECT_EQ(reply.status, 400);
    EXPECT_TRUE(reply.error().contains(QStringLiteral("JSON inválido")));
    EXPECT_EQ(post("/VOP42000.rdmGrupSoliHom/GetSoli", "[\"1\"]").status, 400);
    reply = post("/VOP00000.rdmNada/GetSoli", "{\"args\": []}");
    EXPECT_FALSE(reply.ok());
    EXPECT_TRUE(reply.error().contains(QStringLiteral("VOP00000.rdmNada")));
    EXPECT_TRUE(call(QStringLiteral("GetSoli"), {}).error().contains(QStringLiteral("espera 1")));
    EXPECT_TRUE(call(QStringLiteral("GetSoli"), {QJsonObject()}).error().contains(QStringLiteral("texto")));
    packet::Packet strange;
    strange.fields = {{QStringLiteral("CDFILIAL"), packet::FieldType::String, 4}, {QStringLiteral("XPTO"), packet::FieldType::String, 1}};
    EXPECT_TRUE(call(QStringLiteral("getDepSoli"), {strange.toJson()}).error().contains(QStringLiteral("XPTO")));
    // A body over the limit: refused from its declared length, before it is sent ...
    reply = send("POST /VOP42000.rdmGrupSoliHom/GetSoli HTTP/1.1\r\nHost: x\r\nAuthorization: Bearer " + kToken
                 + "\r\nContent-Length: 50000000\r\n\r\n{\"args\":");
    EXPECT_EQ(reply.status, 413);
    EXPECT_TRUE(reply.error().contains(QStringLiteral("65536")));
    // ... and when it arrives without a declared length.
    reply = send("POST /VOP42000.rdmGrupSoliHom/GetSoli HTTP/1.1\r\nHost: x\r\nAuthorization: Bearer " + kToken
                 + "\r\nTransfer-Encoding: chunked\r\n\r\n"
                 + QByteArray::number(200000, 16) + "\r\n" + QByteArray(200000, ' ') + "\r\n0\r\n\r\n");
    EXPECT_EQ(reply.status, 413);
    // Still serving.
    reply = call(QStringLiteral("GetInitialData"), {QStringLiteral("0001")});
    EXPECT_TRUE(reply.ok()) << reply.error().toStdString();
    EXPECT_EQ(reply.json.value(QStringLiteral("data")).toArray()[3].toString(), QStringLiteral("S"));
}

TEST_F(ServerHttp, TheModulesConnectionCallsTheServerOverOneKeptConnection)
{
    const QString previous = platform::settings::filePath();
    platform::settings::setFilePath(m_dir.filePath(QStringLiteral("homologa.ini")));
    {
        QSettings settings(platform::settings::filePath(), QSettings::IniFormat);
        settings.setValue(QStringLiteral("host/server_host"), QStringLiteral("127.0.0.1"));
        settings.setValue(QStringLiteral("host/server_port"), m_port);
    }
    TNetConnection net(QStringLiteral("netGrupSoliHom"), kMain);
    ServerAnswer answer = net.call(QStringLiteral("GetInitialData"), {QStringLiteral("0001")});
    EXPECT_FALSE(answer.ok);
    EXPECT_TRUE(answer.error.contains(QStringLiteral("token"))) << answer.error.toStdString();
    {
        QSettings settings(platform::settings::filePath(), QSettings::IniFormat);
        settings.setValue(QStringLiteral("server/token_file"), m_dir.filePath(QStringLiteral("token")));
    }
    QStringList uses;
    ConnectServer(uses, net, true);
    for (int i = 0; i < 3; ++i) {
        answer = net.call(QStringLiteral("GetInitialData"), {QStringLiteral("0001")});
        ASSERT_TRUE(answer.ok) << answer.error.toStdString();
    }
    EXPECT_EQ(net.openCount(), 2);  // the first, refused call opened it too
    EXPECT_EQ(net.host(), QStringLiteral("127.0.0.1"));
    QString product = kProduct;
    answer = net.call(QStringLiteral("getLocations"), {RemoteArg::ref(product)});
    ASSERT_TRUE(answer.ok);
    EXPECT_EQ(answer.data.toArray().size(), 6);
    EXPECT_EQ(answer.out, QJsonArray{kProduct});
    // A server that goes away gives a failed answer, not a crash.
    m_server.terminate();
    m_server.waitForFinished(5000);
    answer = net.call(QStringLiteral("GetInitialData"), {QStringLiteral("0001")});
    EXPECT_FALSE(answer.ok);
    EXPECT_FALSE(answer.error.isEmpty());
    ConnectServer(uses, net, false);
    platform::settings::setFilePath(previous);
}

}  // namespace

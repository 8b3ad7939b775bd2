#include "connection.h"

#include "consiste.h"

#include "database.h"
#include "dispatcher.h"
#include "embedded.h"
#include "platform/paths.h"
#include "platform/settings.h"

#include <QJsonDocument>
#include <QSettings>
#include <QTcpSocket>
#include <QUrl>

// ---------------------------------------------------------------------------------------
// Answers and arguments

ServerAnswer ServerAnswer::fromJson(const QJsonObject &json)
{
    ServerAnswer answer;
    answer.ok = json.value(QStringLiteral("ok")).toBool(false);
    answer.error = json.value(QStringLiteral("error")).toString();
    answer.data = json.value(QStringLiteral("data"));
    answer.out = json.value(QStringLiteral("out")).toArray();
    if (!answer.ok && answer.error.isEmpty())
        answer.error = QStringLiteral("O servidor de aplicação respondeu com uma falha sem descrição.");
    return answer;
}

ServerAnswer ServerAnswer::failed(const QString &error)
{
    ServerAnswer answer;
    answer.error = error;
    return answer;
}

RemoteArg RemoteArg::ref(QString &variable)
{
    RemoteArg arg;
    arg.m_json = variable;
    arg.m_reference = &variable;
    return arg;
}

// ---------------------------------------------------------------------------------------
// The connection

namespace {

constexpr int kConnectTimeoutMs = 10'000;

// The operator reads Portuguese: the socket's own (English) text follows in parentheses.
QString socketError(const QTcpSocket &socket)
{
    QString text;
    switch (socket.error()) {
    case QAbstractSocket::ConnectionRefusedError: text = QStringLiteral("conexão recusada"); break;
    case QAbstractSocket::RemoteHostClosedError: text = QStringLiteral("o servidor encerrou a conexão"); break;
    case QAbstractSocket::HostNotFoundError: text = QStringLiteral("servidor não encontrado"); break;
    case QAbstractSocket::SocketAccessError: text = QStringLiteral("acesso negado à rede"); break;
    case QAbstractSocket::SocketTimeoutError: text = QStringLiteral("tempo de espera esgotado"); break;
    case QAbstractSocket::NetworkError: text = QStringLiteral("falha na rede"); break;
    default: text = QStringLiteral("falha de comunicação"); break;
    }
    const QString detail = socket.errorString();
    return detail.isEmpty() ? text : QStringLiteral("%1 (%2)").arg(text, detail);
}
constexpr int kAnswerTimeoutMs = 300'000;
constexpr int kDefaultPort = 8090;

struct Endpoint {
    QString host;
    int port = kDefaultPort;
    QString database;   // embedded database, in process
    QString tokenFile;  // over HTTP
};

Endpoint readEndpoint()
{
    auto settings = platform::settings::open();
    Endpoint endpoint;
    endpoint.host = settings->value(QStringLiteral("host/server_host")).toString().trimmed();
    // A WebURL written as a URL ("http://server:8090") is accepted too.
    const QUrl url(endpoint.host);
    if (!url.scheme().isEmpty() && !url.host().isEmpty()) {
        endpoint.host = url.host();
        if (url.port() > 0)
            endpoint.port = url.port();
    }
    bool ok = false;
    const int port = settings->value(QStringLiteral("host/server_port")).toInt(&ok);
    if (ok && port > 0)
        endpoint.port = port;
    endpoint.database = settings->value(QStringLiteral("server/database")).toString();
    endpoint.tokenFile = settings->value(QStringLiteral("server/token_file")).toString();
    return endpoint;
}

}  // namespace

struct TNetConnection::Impl {
    QString name, serverName;
    Endpoint endpoint;
    bool open = false;
    int openCount = 0;
    QString lastError;
    QByteArray token;
    QTcpSocket socket;

    bool inProcess() const { return endpoint.host.isEmpty(); }

    QString where() const { return QStringLiteral("%1:%2").arg(endpoint.host).arg(endpoint.port); }

    bool connectSocket()
    {
        socket.abort();
        socket.connectToHost(endpoint.host, quint16(endpoint.port));
        if (!socket.waitForConnected(kConnectTimeoutMs)) {
            lastError = QStringLiteral("Não foi possível conectar ao servidor de aplicação %1: %2").arg(where(), socketError(socket));
            socket.abort();
            return false;
        }
        socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
        return true;
    }

    bool openNow()
    {
        endpoint = readEndpoint();
        lastError.clear();
        if (inProcess()) {
            try {
                server::embeddedDispatcher(endpoint.database).database().ensureOpen();
            } catch (const server::ServerError &error) {
                lastError = error.message();
                return false;
            }
        } else {
            token.clear();
            if (!endpoint.tokenFile.isEmpty()) {
                try {
                    token = platform::settings::readPrivateFile(endpoint.tokenFile).trimmed().toUtf8();
                } catch (const platform::PlatformError &error) {
                    lastError = error.message();
                    return false;
                }
            }
            if (!connectSocket())
                return false;
        }
        open = true;
        ++openCount;
        return true;
    }

    // One HTTP exchange on the kept connection. A connection that the server closed while
    // idle is opened again before the request is sent; once sent, nothing is repeated.
    ServerAnswer overHttp(const QString &method, const QJsonArray &args)
    {
        if (socket.state() == QAbstractSocket::ConnectedState)
            socket.waitForReadyRead(0);  // notices a close by the server
        if (socket.state() != QAbstractSocket::ConnectedState && !connectSocket())
            return ServerAnswer::failed(lastError);
        const QByteArray body = QJsonDocument(QJsonObject{{QStringLiteral("args"), args}}).toJson(QJsonDocument::Compact);
        QByteArray request = "POST /" + QUrl::toPercentEncoding(serverName, ".") + '/' + QUrl::toPercentEncoding(method)
            + " HTTP/1.1\r\nHost: " + where().toUtf8() + "\r\nContent-Type: application/json\r\nContent-Length: "
            + QByteArray::number(body.size()) + "\r\n";
        if (!token.isEmpty())
            request += "Authorization: Bearer " + token + "\r\n";
        request += "\r\n" + body;
        socket.write(request);
        while (socket.bytesToWrite() > 0) {
            if (!socket.waitForBytesWritten(kAnswerTimeoutMs))
                return broken(QStringLiteral("o pedido não pôde ser enviado: ") + socketError(socket));
        }
        QByteArray received;
        qsizetype headerEnd = -1;
        while ((headerEnd = received.indexOf("\r\n\r\n")) < 0) {
            if (!socket.waitForReadyRead(kAnswerTimeoutMs) && socket.bytesAvailable() == 0)
                return broken(QStringLiteral("a resposta não chegou: ") + socketError(socket));
            received += socket.readAll();
        }
        const QByteArray head = received.left(headerEnd).toLower();
        const qsizetype at = head.indexOf("\r\ncontent-length:");
        if (at < 0)
            return broken(QStringLiteral("a resposta não informa o seu tamanho"));
        const qsizetype lineEnd = head.indexOf("\r\n", at + 2);
        const qint64 length = head.mid(at + 17, lineEnd < 0 ? -1 : lineEnd - at - 17).trimmed().toLongLong();
        QByteArray answer = received.mid(headerEnd + 4);
        while (answer.size() < length) {
            if (!socket.waitForReadyRead(kAnswerTimeoutMs) && socket.bytesAvailable() == 0)
                return broken(QStringLiteral("a resposta chegou incompleta: ") + socketError(socket));
            answer += socket.readAll();
        }
        if (head.contains("\r\nconnection: close"))
            socket.disconnectFromHost();
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(answer.left(length), &error);
        if (error.error != QJsonParseError::NoError || !document.isObject())
            return ServerAnswer::failed(QStringLiteral("Resposta inválida do servidor de aplicação %1 (%2): %3")
                                            .arg(where(), QString::fromUtf8(received.left(received.indexOf("\r\n"))),
                                                 QString::fromUtf8(answer.left(200))));
        return ServerAnswer::fromJson(document.object());
    }

    ServerAnswer broken(const QString &why)
    {
        socket.abort();
        return ServerAnswer::failed(QStringLiteral("A comunicação com o servidor de aplicação %1 foi interrompida: %2").arg(where(), why));
    }
};

TNetConnection::TNetConnection(const QString &name, const QString &serverName) : d(std::make_unique<Impl>())
{
    d->name = name;
    d->serverName = serverName;
}

TNetConnection::~TNetConnection() { close(); }

const QString &TNetConnection::name() const { return d->name; }
const QString &TNetConnection::serverName() const { return d->serverName; }
QString TNetConnection::host() const { return d->endpoint.host; }
int TNetConnection::port() const { return d->endpoint.port; }
bool TNetConnection::connected() const { return d->open; }
QString TNetConnection::lastError() const { return d->lastError; }
int TNetConnection::openCount() const { return d->openCount; }

bool TNetConnection::open()
{
    close();
    return d->openNow();
}

void TNetConnection::close()
{
    d->socket.abort();
    d->open = false;
}

ServerAnswer TNetConnection::call(const QString &method, std::initializer_list<RemoteArg> args)
{
    return call(method, QList<RemoteArg>(args));
}

ServerAnswer TNetConnection::call(const QString &method, const QList<RemoteArg> &args)
{
    if (!d->open && !d->openNow())
        return ServerAnswer::failed(d->lastError);
    QJsonArray json;
    for (const RemoteArg &arg : args)
        json.append(arg.json());
    const ServerAnswer answer = d->inProcess()
        ? ServerAnswer::fromJson(server::embeddedDispatcher(d->endpoint.database).call(d->serverName, method, json))
        : d->overHttp(method, json);
    if (answer.ok) {
        for (int i = 0; i < args.size(); ++i) {
            if (args[i].reference() && answer.out.at(i).isString())
                *args[i].reference() = answer.out.at(i).toString();
        }
    }
    return answer;
}

// ---------------------------------------------------------------------------------------
// Shared use

static qsizetype entryOf(const QStringList &useCounts, const QString &name)
{
    const QString prefix = name + u'=';
    for (qsizetype i = 0; i < useCounts.size(); ++i) {
        if (useCounts[i].startsWith(prefix, Qt::CaseInsensitive))
            return i;
    }
    return -1;
}

int ConnectionUses(const QStringList &useCounts, const QString &name)
{
    const qsizetype entry = entryOf(useCounts, name);
    return entry < 0 ? 0 : useCounts[entry].mid(name.size() + 1).toInt();
}

void ConnectServer(QStringList &useCounts, TNetConnection &connection, bool connect)
{
    const QString &name = connection.name();
    qsizetype entry = entryOf(useCounts, name);
    if (entry < 0) {
        useCounts.append(name + QStringLiteral("=0"));
        entry = useCounts.size() - 1;
    }
    int count = useCounts[entry].mid(name.size() + 1).toInt();
    if (connect) {
        if (count == 0)
            connection.open();
        ++count;
    } else {
        count = qMax(0, count - 1);
        if (count == 0)
            connection.close();
    }
    useCounts[entry] = name + u'=' + QString::number(count);
}

// ---------------------------------------------------------------------------------------
// Validation of answers

namespace Consiste {

QJsonValue CheckResultServ(const ServerAnswer &answer, bool abort, int context)
{
    Q_UNUSED(context);
    if (answer.ok)
        return answer.data;
    MensErro(answer.error, abort);
    return QJsonValue(QJsonValue::Undefined);
}

QJsonValue CheckResultServ(const QJsonValue &element, bool abort, int context)
{
    Q_UNUSED(context);
    const QJsonObject object = element.toObject();
    if (element.isObject() && object.contains(QStringLiteral("ok")) && !object.value(QStringLiteral("ok")).toBool()) {
        MensErro(object.value(QStringLiteral("error")).toString(), abort);
        return QJsonValue(QJsonValue::Undefined);
    }
    return element;
}

}  // namespace Consiste

packet::Packet qryVerificaAssunto(const QString &P_CDASSUNTO)
{
    TNetConnection connection(QStringLiteral("dbGeral"), QStringLiteral("Dbgeral"));
    const QJsonValue data = Consiste::CheckResultServ(connection.call(QStringLiteral("qryVerificaAssunto"), {P_CDASSUNTO}), true, 0);
    try {
        return packet::Packet::fromJson(data.toObject());
    } catch (const packet::PacketError &error) {
        Consiste::MensErro(QStringLiteral("Resposta inválida de qryVerificaAssunto: %1").arg(QString::fromUtf8(error.what())), true);
    }
    return {};
}

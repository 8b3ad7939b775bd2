#include "connection.h"

#include "consiste.h"

#include "methods/dispatcher.h"
#include "methods/embedded.h"
#include "platform/paths.h"
#include "platform/settings.h"
#include "store/database.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QSettings>
#include <QTcpSocket>
#include <QUrl>

#include "httpchannel.h"

#include <openssl/x509_vfy.h>

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
    arg.m_text = variable;
    arg.m_reference = &variable;
    return arg;
}

QJsonValue RemoteArg::json() const
{
    // A packet or a delta is written as the text that goes over HTTP and read back: the same
    // value in about half the work of building its JSON object piece by piece.
    if (m_packet || m_delta) {
        QByteArray text;
        appendJson(text);
        return QJsonDocument::fromJson(text).object();
    }
    return m_text;
}

void RemoteArg::appendJson(QByteArray &out) const
{
    if (m_packet)
        m_packet->appendJson(out);
    else if (m_delta)
        m_delta->appendJson(out);
    else
        packet::appendJsonString(out, m_text);
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
constexpr int kDefaultAnswerTimeoutS = 60;
constexpr int kDefaultPort = 8090;

struct Endpoint {
    QString host;
    int port = kDefaultPort;
    bool tls = false;
    QString caFile;     // certificates that the server's may be signed by; empty: the system's
    int answerTimeoutS = kDefaultAnswerTimeoutS;
    QString database;   // embedded database, in process
    QString tokenFile;  // over HTTP
};

Endpoint readEndpoint()
{
    auto settings = platform::settings::open();
    Endpoint endpoint;
    endpoint.host = settings->value(QStringLiteral("host/server_host")).toString().trimmed();
    endpoint.tls = settings->value(QStringLiteral("host/server_tls"), false).toBool();
    // An address written as a URL ("https://server:8090") is accepted too.
    const QUrl url(endpoint.host);
    if (!url.scheme().isEmpty() && !url.host().isEmpty()) {
        endpoint.host = url.host();
        endpoint.tls = endpoint.tls || url.scheme().compare(u"https", Qt::CaseInsensitive) == 0;
        if (url.port() > 0)
            endpoint.port = url.port();
    }
    bool ok = false;
    const int port = settings->value(QStringLiteral("host/server_port")).toInt(&ok);
    if (ok && port > 0)
        endpoint.port = port;
    const int timeout = settings->value(QStringLiteral("host/server_timeout")).toInt(&ok);
    if (ok && timeout > 0)
        endpoint.answerTimeoutS = timeout;
    endpoint.caFile = platform::settings::expandedPath(settings->value(QStringLiteral("host/server_ca_file")).toString());
    // The embedded database may be a PostgreSQL text, which is left as written.
    const QString database = settings->value(QStringLiteral("server/database")).toString();
    endpoint.database = database.contains(u'=') || database.contains(u"://") ? database : platform::settings::expandedPath(database);
    endpoint.tokenFile = platform::settings::expandedPath(settings->value(QStringLiteral("server/token_file")).toString());
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
    QString operation;
    std::unique_ptr<HttpChannel> channel;

    bool inProcess() const { return endpoint.host.isEmpty(); }

    QString where() const
    {
        // "host:port" as the operator wrote it; HTTPS says so.
        return QStringLiteral("%1%2:%3").arg(endpoint.tls ? QStringLiteral("https://") : QString(), endpoint.host).arg(endpoint.port);
    }

    // The server answers on its port: checked when the connection opens, so that an
    // unreachable server is told before the first call.
    bool reachable()
    {
        QTcpSocket socket;
        socket.connectToHost(endpoint.host, quint16(endpoint.port));
        if (!socket.waitForConnected(kConnectTimeoutMs)) {
            lastError = QStringLiteral("Não foi possível conectar ao servidor de aplicação %1: %2").arg(where(), socketError(socket));
            return false;
        }
        socket.abort();
        return true;
    }

    void makeChannel()
    {
        HttpChannel::Options options;
        options.host = endpoint.host;
        options.port = endpoint.port;
        options.tls = endpoint.tls;
        options.caFile = endpoint.caFile;
        options.token = token;
        options.connectTimeoutMs = kConnectTimeoutMs;
        options.timeoutMs = endpoint.answerTimeoutS * 1000;
        channel = std::make_unique<HttpChannel>(options);
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
            if (!reachable())
                return false;
            makeChannel();
        }
        open = true;
        ++openCount;
        return true;
    }

    QString failureText(HttpChannel::Failure failure, qint64 elapsedMs, const QString &method) const
    {
        using F = HttpChannel::Failure;
        switch (failure) {
        case F::None:
        case F::Connect: return QStringLiteral("Não foi possível conectar ao servidor de aplicação %1.").arg(where());
        case F::Tls:
            return QStringLiteral("Não foi possível estabelecer a conexão segura (TLS) com o servidor de aplicação %1.").arg(where());
        case F::TlsCertificates:
            return QStringLiteral("Não foi possível ler os certificados para verificar o servidor de aplicação %1 (%2).")
                .arg(where(), endpoint.caFile.isEmpty() ? QStringLiteral("certificados do sistema") : endpoint.caFile);
        case F::TlsVerification: {
            const long result = channel->verifyResult();
            const QString why = result == X509_V_ERR_HOSTNAME_MISMATCH || result == X509_V_ERR_IP_ADDRESS_MISMATCH
                ? QStringLiteral("o certificado não é para o endereço %1").arg(endpoint.host)
                : QString::fromUtf8(X509_verify_cert_error_string(result));
            return QStringLiteral("O certificado do servidor de aplicação %1 foi recusado: %2. Nada foi enviado.").arg(where(), why);
        }
        case F::Write:
            return QStringLiteral("A comunicação com o servidor de aplicação %1 foi interrompida: o pedido %2 não pôde ser enviado.")
                .arg(where(), method);
        case F::Read:
            if (elapsedMs >= qint64(endpoint.answerTimeoutS) * 1000 - 50)
                return QStringLiteral("O servidor de aplicação %1 não respondeu a %2 em %3 s; a operação pode ter sido concluída "
                                      "ou não: confira antes de repeti-la.")
                    .arg(where(), method)
                    .arg(endpoint.answerTimeoutS);
            return QStringLiteral("A comunicação com o servidor de aplicação %1 foi interrompida antes da resposta a %2.")
                .arg(where(), method);
        }
        return {};
    }

    // One HTTP exchange on the kept connection (opened again when the server closed it
    // while idle; once a request is sent, nothing is repeated).
    ServerAnswer overHttp(const QString &method, const QList<RemoteArg> &args)
    {
        QByteArray body;
        body.reserve(1024);
        body.append("{\"args\":[");
        for (qsizetype i = 0; i < args.size(); ++i) {
            if (i)
                body.append(',');
            args[i].appendJson(body);
        }
        body.append(']');
        if (!operation.isEmpty()) {
            body.append(",\"operacao\":");
            packet::appendJsonString(body, operation);
        }
        body.append('}');
        const QByteArray path = '/' + QUrl::toPercentEncoding(serverName, ".") + '/' + QUrl::toPercentEncoding(method);
        QElapsedTimer timer;
        timer.start();
        HttpChannel::Reply reply;
        const HttpChannel::Failure failure = channel->post(path, body, reply);
        if (failure != HttpChannel::Failure::None)
            return ServerAnswer::failed(failureText(failure, timer.elapsed(), method));
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(reply.body, &error);
        if (error.error != QJsonParseError::NoError || !document.isObject())
            return ServerAnswer::failed(QStringLiteral("Resposta inválida do servidor de aplicação %1 (HTTP %2): %3")
                                            .arg(where())
                                            .arg(reply.status)
                                            .arg(QString::fromUtf8(reply.body.left(200))));
        ServerAnswer answer = ServerAnswer::fromJson(document.object());
        if (reply.status == 401 && token.isEmpty())
            answer.error += QStringLiteral(" Nenhum token foi enviado: defina token_file na seção [server] das configurações (%1) "
                                           "com o arquivo do token do servidor.")
                                .arg(platform::settings::filePath());
        if (reply.status != 200 && answer.ok)
            return ServerAnswer::failed(QStringLiteral("O servidor de aplicação %1 respondeu com HTTP %2.").arg(where()).arg(reply.status));
        return answer;
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
const QString &TNetConnection::operation() const { return d->operation; }
void TNetConnection::setOperation(const QString &token) { d->operation = token; }

bool TNetConnection::open()
{
    close();
    return d->openNow();
}

void TNetConnection::close()
{
    d->channel.reset();
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
    ServerAnswer answer;
    if (d->inProcess()) {
        QJsonArray json;
        for (const RemoteArg &arg : args)
            json.append(arg.json());
        answer = ServerAnswer::fromJson(server::embeddedDispatcher(d->endpoint.database).call(d->serverName, method, json, d->operation));
    } else {
        answer = d->overHttp(method, args);
    }
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

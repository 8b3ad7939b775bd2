#include "httpfront.h"

#include "dispatcher.h"

#include <QCryptographicHash>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <memory>

namespace server {

QByteArray refusal(const QString &message)
{
    return QJsonDocument(Dispatcher::failure(message)).toJson(QJsonDocument::Compact);
}

namespace {

constexpr qint64 kMaxHeaders = 16 * 1024;

QString tooLarge(qint64 limit)
{
    return QStringLiteral("O corpo da requisição excede o limite de %1 bytes.").arg(limit);
}

// The declared body size of the request whose headers start the buffered data, or -1.
qint64 declaredLength(QTcpSocket *socket)
{
    const QByteArray head = socket->peek(kMaxHeaders);
    const qsizetype end = head.indexOf("\r\n\r\n");
    const QByteArray headers = (end < 0 ? head : head.left(end)).toLower();
    const qsizetype at = headers.indexOf("\r\ncontent-length:");
    if (at < 0)
        return -1;
    const qsizetype lineEnd = headers.indexOf("\r\n", at + 2);
    bool ok = false;
    const qint64 length = headers.mid(at + 17, lineEnd < 0 ? -1 : lineEnd - at - 17).trimmed().toLongLong(&ok);
    return ok ? length : -1;
}

// Answers 413 and stops reading the request. The connection is kept a moment, draining
// what the client still sends, so that the answer is not lost in a reset.
void refuseOversized(QTcpSocket *socket, qint64 limit)
{
    QObject::disconnect(socket, &QTcpSocket::readyRead, nullptr, nullptr);
    if (socket->isTransactionStarted())
        socket->commitTransaction();
    socket->readAll();
    QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket] { socket->readAll(); });
    const QByteArray body = refusal(tooLarge(limit));
    socket->write("HTTP/1.1 413 Payload Too Large\r\nContent-Type: application/json\r\nConnection: close\r\nContent-Length: "
                  + QByteArray::number(body.size()) + "\r\n\r\n" + body);
    socket->flush();
    QTimer::singleShot(2000, socket, [socket] { socket->disconnectFromHost(); });
}

// Watches what each connection receives before the HTTP parser buffers it: a request
// that declares or sends more than the limit is refused without being read whole.
class GuardedTcpServer : public QTcpServer {
public:
    GuardedTcpServer(qint64 limit, QObject *parent) : QTcpServer(parent), m_limit(limit) {}

protected:
    void incomingConnection(qintptr descriptor) override
    {
        auto *socket = new QTcpSocket(this);
        if (!socket->setSocketDescriptor(descriptor)) {
            delete socket;
            return;
        }
        // Answers go out at once rather than waiting to be merged with more data.
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        const qint64 limit = m_limit;
        // Bytes received since the last answer went out.
        auto received = std::make_shared<qint64>(0);
        // Connected before the HTTP server's own handler, so it sees each chunk first.
        connect(socket, &QTcpSocket::readyRead, socket, [socket, limit, received] {
            const qint64 before = *received;
            *received += socket->bytesAvailable();
            // Headers of up to 16 KiB are allowed on top of the body.
            if (*received > limit + kMaxHeaders || (before == 0 && declaredLength(socket) > limit))
                refuseOversized(socket, limit);
        });
        connect(socket, &QTcpSocket::bytesWritten, socket, [received] { *received = 0; });
        addPendingConnection(socket);
    }

private:
    qint64 m_limit;
};

bool sameToken(const QByteArray &given, const QByteArray &expected)
{
    // Compared through their hashes, so that the time taken says nothing about the token.
    return QCryptographicHash::hash(given, QCryptographicHash::Sha256)
        == QCryptographicHash::hash(expected, QCryptographicHash::Sha256);
}

}  // namespace

HttpFront::HttpFront(Dispatcher &dispatcher, const QByteArray &token, qint64 maxBody, QObject *parent)
    : QAbstractHttpServer(parent), m_dispatcher(dispatcher), m_token(token), m_maxBody(maxBody)
{
}

quint16 HttpFront::start(const QHostAddress &address, quint16 port)
{
    auto *tcp = new GuardedTcpServer(m_maxBody, this);
    if (!tcp->listen(address, port)) {
        delete tcp;
        return 0;
    }
    bind(tcp);
    return tcp->serverPort();
}

void HttpFront::answer(const QHttpServerRequest &request, QTcpSocket *socket, const QByteArray &body,
                       QHttpServerResponder::StatusCode status)
{
    QHttpServerResponder responder = makeResponder(request, socket);
    responder.write(body, QByteArrayLiteral("application/json"), status);
}

bool HttpFront::handleRequest(const QHttpServerRequest &request, QTcpSocket *socket)
{
    using Status = QHttpServerResponder::StatusCode;
    if (request.method() != QHttpServerRequest::Method::Post) {
        answer(request, socket, refusal(QStringLiteral("Use POST /<módulo>/<método> com {\"args\": [...]}.")),
               Status::MethodNotAllowed);
        return true;
    }
    const QByteArray authorization = request.value("Authorization");
    if (m_token.isEmpty() || !authorization.startsWith("Bearer ") || !sameToken(authorization.mid(7).trimmed(), m_token)) {
        answer(request, socket, refusal(QStringLiteral("Acesso negado: token ausente ou inválido.")), Status::Unauthorized);
        return true;
    }
    const QStringList parts = request.url().path().split(u'/', Qt::SkipEmptyParts);
    if (parts.size() != 2) {
        answer(request, socket, refusal(QStringLiteral("Caminho inválido \"%1\": use /<módulo>/<método>.").arg(request.url().path())),
               Status::NotFound);
        return true;
    }
    const QByteArray body = request.body();
    if (body.size() > m_maxBody) {
        answer(request, socket, refusal(tooLarge(m_maxBody)), Status::PayloadTooLarge);
        return true;
    }
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError) {
        answer(request, socket, refusal(QStringLiteral("JSON inválido na posição %1: %2").arg(error.offset).arg(error.errorString())),
               Status::BadRequest);
        return true;
    }
    if (!document.isObject() || !document.object().value(QStringLiteral("args")).isArray()) {
        answer(request, socket, refusal(QStringLiteral("O corpo deve ser um objeto {\"args\": [...]}.")), Status::BadRequest);
        return true;
    }
    answer(request, socket, m_dispatcher.callText(parts[0], parts[1], document.object().value(QStringLiteral("args"))),
           Status::Ok);
    return true;
}

void HttpFront::missingHandler(const QHttpServerRequest &request, QTcpSocket *socket)
{
    answer(request, socket, refusal(QStringLiteral("Requisição não atendida.")), QHttpServerResponder::StatusCode::NotFound);
}

}  // namespace server

#pragma once

// The HTTP front of the dispatcher: POST /<module>/<method> with {"args": [...]} and the
// header "Authorization: Bearer <token>"; the answer is the dispatcher's JSON. Every
// failure of a request (wrong verb or path, missing or wrong token, oversized body,
// malformed JSON) gets an {"ok": false, "error": ...} answer and the server keeps serving.

#include <QAbstractHttpServer>
#include <QHttpServerResponder>
#include <QByteArray>
#include <QHostAddress>

namespace server {

class Dispatcher;

class HttpFront : public QAbstractHttpServer {
    Q_OBJECT
public:
    static constexpr qint64 kDefaultMaxBody = 16 * 1024 * 1024;

    HttpFront(Dispatcher &dispatcher, const QByteArray &token, qint64 maxBody = kDefaultMaxBody, QObject *parent = nullptr);

    // Listens on the address; port 0 picks a free one. Returns the port, 0 on failure.
    quint16 start(const QHostAddress &address, quint16 port);

protected:
    bool handleRequest(const QHttpServerRequest &request, QTcpSocket *socket) override;
    void missingHandler(const QHttpServerRequest &request, QTcpSocket *socket) override;

private:
    void answer(const QHttpServerRequest &request, QTcpSocket *socket, const QByteArray &body,
                QHttpServerResponder::StatusCode status);

    Dispatcher &m_dispatcher;
    QByteArray m_token;
    qint64 m_maxBody;
};

// The JSON answer for a refused HTTP request.
QByteArray refusal(const QString &message);

}  // namespace server

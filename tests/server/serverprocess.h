#pragma once

// A real homologa-server process for the tests that go over HTTP, and a raw connection
// to it for the tests that speak the protocol byte by byte.

#include <QByteArray>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTcpSocket>

// Writes a file readable by its owner only (token, password) and answers its path.
QString writePrivateFile(const QString &path, const QByteArray &content);

class ServerProcess {
public:
    ~ServerProcess() { stop(); }
    // Starts homologa-server on the database with the token file and the other arguments,
    // on a free port of 127.0.0.1. False, with error(), when it did not start serving.
    bool start(const QString &database, const QString &tokenFile, const QStringList &more = {});
    void stop();
    // Sends SIGTERM and waits for the end: the exit code, or -1 when the process did not end
    // within `timeoutMs` or ended by a signal (it is then killed).
    int terminate(int timeoutMs = 20000);
    // What the process printed on its standard output and error so far.
    QString output();
    int port() const { return m_port; }
    qint64 pid() const { return m_process.processId(); }
    QString error() const { return m_error; }
    QString url() const;

private:
    QProcess m_process;
    int m_port = 0;
    bool m_tls = false;
    QString m_error;
    QByteArray m_output;
};

struct RawReply {
    int status = 0;  // 0: no answer
    QByteArray head;
    QJsonObject json;
    bool ok() const { return json.value(QStringLiteral("ok")).toBool(); }
    QString error() const { return json.value(QStringLiteral("error")).toString(); }
};

class RawConnection {
public:
    explicit RawConnection(int port);
    bool connected() const { return m_socket.state() == QAbstractSocket::ConnectedState; }
    void send(const QByteArray &bytes);
    // The next answer on the connection, waiting at most `timeoutMs`.
    RawReply reply(int timeoutMs = 5000);
    // True when the server closed the connection within `timeoutMs`.
    bool closedWithin(int timeoutMs);

private:
    QTcpSocket m_socket;
    QByteArray m_received;
};

// A whole request: POST of {"args": ...} to /<module>/<method> with the token (none when empty).
QByteArray callRequest(const QString &module, const QString &method, const QByteArray &argsJson, const QByteArray &token,
                       const QByteArray &extraHeaders = {}, const QByteArray &version = "HTTP/1.1");

#include "serverprocess.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QRegularExpression>

QString writePrivateFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(content);
        file.close();
    }
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return path;
}

bool ServerProcess::start(const QString &database, const QString &tokenFile, const QStringList &more)
{
    m_process.setProgram(QCoreApplication::applicationDirPath() + QStringLiteral("/homologa-server"));
    m_process.setArguments(QStringList{QStringLiteral("--db"), database, QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0"),
                                       QStringLiteral("--token-file"), tokenFile}
                           + more);
    m_process.start();
    if (!m_process.waitForStarted()) {
        m_error = m_process.errorString();
        return false;
    }
    QByteArray banner;
    while (!banner.contains('\n') && m_process.waitForReadyRead(20000))
        banner += m_process.readAllStandardOutput();
    const QRegularExpressionMatch match =
        QRegularExpression(QStringLiteral("(https?)://127\\.0\\.0\\.1:(\\d+)")).match(QString::fromUtf8(banner));
    if (!match.hasMatch()) {
        m_process.waitForFinished(2000);
        m_error = QString::fromUtf8(banner + m_process.readAllStandardError());
        return false;
    }
    m_output = banner;
    m_tls = match.captured(1) == u"https";
    m_port = match.captured(2).toInt();
    return true;
}

void ServerProcess::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

int ServerProcess::terminate(int timeoutMs)
{
    m_process.terminate();
    if (!m_process.waitForFinished(timeoutMs)) {
        stop();
        return -1;
    }
    return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
}

QString ServerProcess::output()
{
    // What a running process prints is taken until it has been quiet for a moment.
    while (m_process.state() == QProcess::Running && m_process.waitForReadyRead(200))
        m_output += m_process.readAllStandardOutput() + m_process.readAllStandardError();
    m_output += m_process.readAllStandardOutput() + m_process.readAllStandardError();
    return QString::fromUtf8(m_output);
}

QString ServerProcess::url() const
{
    return QStringLiteral("%1://127.0.0.1:%2").arg(m_tls ? QStringLiteral("https") : QStringLiteral("http")).arg(m_port);
}

RawConnection::RawConnection(int port)
{
    m_socket.connectToHost(QStringLiteral("127.0.0.1"), quint16(port));
    m_socket.waitForConnected(5000);
}

void RawConnection::send(const QByteArray &bytes)
{
    m_socket.write(bytes);
    m_socket.waitForBytesWritten(5000);
}

RawReply RawConnection::reply(int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    RawReply reply;
    for (;;) {
        const qsizetype end = m_received.indexOf("\r\n\r\n");
        if (end >= 0) {
            const QRegularExpressionMatch m =
                QRegularExpression(QStringLiteral("content-length:\\s*(\\d+)"), QRegularExpression::CaseInsensitiveOption)
                    .match(QString::fromLatin1(m_received.left(end)));
            const qint64 length = m.hasMatch() ? m.captured(1).toLongLong() : 0;
            if (m_received.size() - end - 4 >= length) {
                reply.status = m_received.mid(9, 3).toInt();
                reply.head = m_received.left(end);
                reply.json = QJsonDocument::fromJson(m_received.mid(end + 4, length)).object();
                m_received.remove(0, end + 4 + length);
                return reply;
            }
        }
        const qint64 left = timeoutMs - timer.elapsed();
        if (left <= 0)
            return reply;
        if (!m_socket.waitForReadyRead(int(left)) && m_socket.bytesAvailable() == 0)
            return reply;
        m_received += m_socket.readAll();
    }
}

bool RawConnection::closedWithin(int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        if (m_socket.state() != QAbstractSocket::ConnectedState)
            return true;
        m_socket.waitForReadyRead(int(std::max<qint64>(1, timeoutMs - timer.elapsed())));
        m_received += m_socket.readAll();
    }
    return m_socket.state() != QAbstractSocket::ConnectedState;
}

QByteArray callRequest(const QString &module, const QString &method, const QByteArray &argsJson, const QByteArray &token,
                       const QByteArray &extraHeaders, const QByteArray &version)
{
    const QByteArray body = "{\"args\": " + argsJson + "}";
    QByteArray request = "POST /" + module.toUtf8() + '/' + method.toUtf8() + ' ' + version + "\r\nHost: 127.0.0.1\r\n";
    if (!token.isEmpty())
        request += "Authorization: Bearer " + token + "\r\n";
    request += extraHeaders + "Content-Type: application/json\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
    return request;
}

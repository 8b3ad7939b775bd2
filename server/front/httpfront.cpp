#include "front/httpfront_impl.h"

#include "methods/dispatcher.h"

#include <QJsonDocument>

#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>

namespace server {

int connectionCap(quint64 descriptorLimit, int workers)
{
    // Each worker's database connection takes up to three descriptors (an SQLite file, its
    // log and its shared memory; a socket on PostgreSQL); the server keeps some for itself
    // (standard streams, the listening socket, the wake-up pipe, certificates, Qt's own).
    // Beyond a few thousand, polling all of them costs more than any client gains.
    const qint64 reserve = 3 * qint64(std::max(1, workers)) + 32;
    return int(std::clamp<qint64>(qint64(std::min<quint64>(descriptorLimit, 1u << 20)) - reserve, 1, 4096));
}

QByteArray refusal(const QString &message)
{
    return QJsonDocument(Dispatcher::failure(message)).toJson(QJsonDocument::Compact);
}

HttpFront::Impl::Impl(const DatabaseSpec &database, const QByteArray &secret, const FrontOptions &opts)
    : spec(database), token(secret), options(opts)
{
    board = std::make_unique<Board>(token, !options.tlsCertificate.isEmpty(), metrics, &open,
                                    options.trustedProxy.toStdString());
    ::signal(SIGPIPE, SIG_IGN);
    if (options.maxConnections <= 0) {
        rlimit limit{};
        options.maxConnections = connectionCap(::getrlimit(RLIMIT_NOFILE, &limit) == 0 ? quint64(limit.rlim_cur) : 1024,
                                               options.workers + boardWorkers());
    }
    if (::pipe2(wake, O_NONBLOCK | O_CLOEXEC) != 0)
        wake[0] = wake[1] = -1;
    installHandlers();
}

HttpFront::Impl::~Impl()
{
    for (int fd : {listenFd, wake[0], wake[1]}) {
        if (fd >= 0)
            ::close(fd);
    }
    if (tls)
        SSL_CTX_free(tls);
}

HttpFront::HttpFront(const DatabaseSpec &database, const QByteArray &token, const FrontOptions &options)
    : d(std::make_unique<Impl>(database, token, options))
{
}

HttpFront::~HttpFront() { stop(); }

quint16 HttpFront::listen(const QString &address, quint16 port) { return d->listen(address, port); }
void HttpFront::run() { d->run(); }
void HttpFront::start()
{
    d->runner = std::thread([this] { d->run(); });
}
void HttpFront::stop() { d->stop(); }
void HttpFront::requestStop()
{
    // The accepting thread wakes, ends its loop and then stops the workers.
    d->stopping = true;
    if (d->wake[1] >= 0) {
        const char byte = 0;
        [[maybe_unused]] const ssize_t n = ::write(d->wake[1], &byte, 1);
    }
}
QString HttpFront::error() const { return d->error; }
qint64 HttpFront::callsServed() const { return d->served; }

}  // namespace server

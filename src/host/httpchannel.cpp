#include "httpchannel.h"

#include "platform/socketio.h"

#include <QList>

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string_view>

namespace {

using namespace platform::socketio;

bool sameName(std::string_view name, std::string_view lowercase)
{
    return name.size() == lowercase.size() && std::equal(name.begin(), name.end(), lowercase.begin(), [](char a, char b) {
               return (a >= 'A' && a <= 'Z' ? char(a - 'A' + 'a') : a) == b;
           });
}

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

bool isAddress(const QByteArray &host)
{
    unsigned char bytes[sizeof(in6_addr)];
    return ::inet_pton(AF_INET, host.constData(), bytes) == 1 || ::inet_pton(AF_INET6, host.constData(), bytes) == 1;
}

}  // namespace

struct HttpChannel::Impl {
    Options options;
    QByteArray host;
    QByteArray fields;  // the header lines after the request line, up to Content-Length
    int fd = -1;
    SSL_CTX *tlsContext = nullptr;
    SSL *ssl = nullptr;
    long verifyResult = X509_V_OK;
    QByteArray in;  // received and not yet taken
    qsizetype taken = 0;

    ~Impl()
    {
        close();
        if (tlsContext)
            SSL_CTX_free(tlsContext);
    }

    void close()
    {
        if (ssl) {
            SSL_free(ssl);
            ssl = nullptr;
        }
        if (fd >= 0)
            ::close(fd);
        fd = -1;
        in.clear();
        taken = 0;
    }

    // ---- Bytes

    ssize_t receiveSome(char *to, size_t size) { return platform::socketio::receiveSome(fd, ssl, to, size); }
    ssize_t sendSome(const char *from, size_t size) { return platform::socketio::sendSome(fd, ssl, from, size); }

    bool sendAll(const QByteArray &bytes)
    {
        for (qsizetype written = 0; written < bytes.size();) {
            const ssize_t n = sendSome(bytes.constData() + written, size_t(bytes.size() - written));
            if (n > 0)
                written += n;
            else if (n == kFailed || !waitFor(fd, POLLOUT, options.timeoutMs))
                return false;
        }
        return true;
    }

    // Appends what arrives to `in`, waiting at most the time-out for the first byte. False
    // when the connection ended or nothing came in time.
    bool receiveMore()
    {
        char chunk[64 * 1024];
        for (;;) {
            const ssize_t n = receiveSome(chunk, sizeof chunk);
            if (n > 0) {
                in.append(chunk, n);
                return true;
            }
            if (n != kWouldBlock || !waitFor(fd, POLLIN, options.timeoutMs))
                return false;
        }
    }

    // ---- Connecting

    bool connectSocket()
    {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo *found = nullptr;
        const QByteArray service = QByteArray::number(options.port);
        if (::getaddrinfo(host.constData(), service.constData(), &hints, &found) != 0)
            return false;
        const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(options.connectTimeoutMs);
        for (addrinfo *a = found; a && fd < 0; a = a->ai_next) {
            const int s = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
            if (s < 0)
                continue;
            int error = 0;
            socklen_t length = sizeof error;
            if (::connect(s, a->ai_addr, a->ai_addrlen) == 0
                || (errno == EINPROGRESS && waitFor(s, POLLOUT, msUntil(deadline))
                    && ::getsockopt(s, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0)) {
                const int one = 1;
                ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
                fd = s;
            } else {
                ::close(s);
            }
        }
        ::freeaddrinfo(found);
        return fd >= 0;
    }

    Failure startTls()
    {
        if (!tlsContext) {
            tlsContext = SSL_CTX_new(TLS_client_method());
            SSL_CTX_set_min_proto_version(tlsContext, TLS1_2_VERSION);
            SSL_CTX_set_verify(tlsContext, SSL_VERIFY_PEER, nullptr);
            const QByteArray ca = options.caFile.toLocal8Bit();
            const int loaded = ca.isEmpty() ? SSL_CTX_set_default_verify_paths(tlsContext)
                                            : SSL_CTX_load_verify_locations(tlsContext, ca.constData(), nullptr);
            if (loaded != 1) {
                SSL_CTX_free(tlsContext);
                tlsContext = nullptr;
                return Failure::TlsCertificates;
            }
        }
        ssl = SSL_new(tlsContext);
        SSL_set_fd(ssl, fd);
        // The certificate must be for the address the host was given: its name, or its IP.
        X509_VERIFY_PARAM *check = SSL_get0_param(ssl);
        if (isAddress(host)) {
            X509_VERIFY_PARAM_set1_ip_asc(check, host.constData());
        } else {
            SSL_set_tlsext_host_name(ssl, host.constData());
            X509_VERIFY_PARAM_set1_host(check, host.constData(), 0);
        }
        const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(options.connectTimeoutMs);
        for (;;) {
            ERR_clear_error();
            const int result = SSL_connect(ssl);
            if (result == 1)
                return Failure::None;
            const int error = SSL_get_error(ssl, result);
            const short events = error == SSL_ERROR_WANT_READ ? POLLIN : error == SSL_ERROR_WANT_WRITE ? POLLOUT : 0;
            if (!events || !waitFor(fd, events, msUntil(deadline))) {
                verifyResult = SSL_get_verify_result(ssl);
                return verifyResult != X509_V_OK ? Failure::TlsVerification : Failure::Tls;
            }
        }
    }

    Failure connect()
    {
        close();
        if (!connectSocket())
            return Failure::Connect;
        const Failure failure = options.tls ? startTls() : Failure::None;
        if (failure != Failure::None)
            close();
        return failure;
    }

    // A kept connection is still usable when the server has not closed it (nor sent
    // anything unasked) while it was idle. TLS 1.3 sends its session tickets after the
    // handshake: those are read here, and are not data.
    bool stillOpen()
    {
        char byte;
        if (!ssl) {
            const ssize_t n = ::recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
            return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
        }
        if (!waitFor(fd, POLLIN, 0) && SSL_pending(ssl) == 0)
            return true;
        ERR_clear_error();
        const int n = SSL_peek(ssl, &byte, 1);
        return n <= 0 && SSL_get_error(ssl, n) == SSL_ERROR_WANT_READ;
    }

    // ---- The answer

    // Takes one line (without its CRLF) from `in`, receiving more as needed.
    bool line(std::string_view &text)
    {
        for (;;) {
            const qsizetype end = in.indexOf("\r\n", taken);
            if (end >= 0) {
                text = std::string_view(in.constData() + taken, size_t(end - taken));
                taken = end + 2;
                return true;
            }
            if (in.size() - taken > 64 * 1024 || !receiveMore())
                return false;
        }
    }

    // Takes `count` bytes: those already received, then the rest from the connection straight
    // into `to`.
    bool bytes(qsizetype count, QByteArray &to)
    {
        const qsizetype have = std::min(count, in.size() - taken);
        to.append(in.constData() + taken, have);
        taken += have;
        const qsizetype start = to.size(), missing = count - have;
        to.resize(start + missing);
        for (qsizetype got = 0; got < missing;) {
            const ssize_t n = receiveSome(to.data() + start + got, size_t(missing - got));
            if (n > 0) {
                got += n;
            } else if (n != kWouldBlock || !waitFor(fd, POLLIN, options.timeoutMs)) {
                to.resize(start + got);
                return false;
            }
        }
        return true;
    }

    bool chunks(QByteArray &to)
    {
        for (;;) {
            std::string_view size;
            if (!line(size))
                return false;
            bool ok = false;
            const qsizetype count = QByteArray(size.data(), qsizetype(size.size())).split(';').first().trimmed().toLongLong(&ok, 16);
            if (!ok || count < 0)
                return false;
            if (count == 0) {
                std::string_view trailer;
                do {
                    if (!line(trailer))
                        return false;
                } while (!trailer.empty());
                return true;
            }
            std::string_view end;
            if (!bytes(count, to) || !line(end) || !end.empty())
                return false;
        }
    }

    bool readReply(Reply &reply, bool &keep)
    {
        for (;;) {
            std::string_view status;
            if (!line(status) || status.size() < 12 || !status.starts_with("HTTP/1."))
                return false;
            reply.status = std::atoi(std::string(status.substr(9, 3)).c_str());
            keep = status[7] == '1';
            qsizetype length = -1;
            bool chunked = false;
            for (std::string_view field; line(field) && !field.empty();) {
                const size_t colon = field.find(':');
                if (colon == std::string_view::npos)
                    return false;
                const std::string_view name = field.substr(0, colon);
                const std::string_view value = trimmed(field.substr(colon + 1));
                if (sameName(name, "content-length"))
                    length = qsizetype(std::strtoll(std::string(value).c_str(), nullptr, 10));
                else if (sameName(name, "transfer-encoding"))
                    chunked = !sameName(value, "identity");
                else if (sameName(name, "connection"))
                    keep = keep ? !sameName(value, "close") : sameName(value, "keep-alive");
            }
            if (reply.status >= 100 && reply.status < 200)
                continue;  // an interim answer: the real one follows
            reply.body.clear();
            if (chunked)
                return chunks(reply.body);
            if (length >= 0) {
                reply.body.reserve(length);
                return bytes(length, reply.body);
            }
            // Neither: the answer ends with the connection.
            keep = false;
            reply.body = in.mid(taken);
            char chunk[64 * 1024];
            for (;;) {
                const ssize_t n = receiveSome(chunk, sizeof chunk);
                if (n > 0)
                    reply.body.append(chunk, n);
                else if (n == 0)
                    return true;
                else if (n == kFailed || !waitFor(fd, POLLIN, options.timeoutMs))
                    return false;
            }
        }
    }
};

HttpChannel::HttpChannel(const Options &options) : d(std::make_unique<Impl>())
{
    d->options = options;
    d->host = options.host.toUtf8();
    const bool defaultPort = options.port == (options.tls ? 443 : 80);
    const QByteArray hostField = d->host.contains(':') && !d->host.startsWith('[') ? '[' + d->host + ']' : d->host;
    d->fields = "Host: " + hostField + (defaultPort ? QByteArray() : ':' + QByteArray::number(options.port)) + "\r\n";
    if (!options.token.isEmpty())
        d->fields += "Authorization: Bearer " + options.token + "\r\n";
    d->fields += "Content-Type: application/json\r\nContent-Length: ";
}

HttpChannel::~HttpChannel() = default;

HttpChannel::Failure HttpChannel::post(const QByteArray &path, const QByteArray &body, Reply &reply)
{
    if (d->fd < 0 || !d->stillOpen()) {
        const Failure failure = d->connect();
        if (failure != Failure::None)
            return failure;
    }
    QByteArray request;
    request.reserve(64 + path.size() + d->fields.size() + body.size());
    request.append("POST ").append(path).append(" HTTP/1.1\r\n").append(d->fields).append(QByteArray::number(body.size()));
    request.append("\r\n\r\n").append(body);
    d->in.clear();
    d->taken = 0;
    if (!d->sendAll(request)) {
        d->close();
        return Failure::Write;
    }
    // Nothing of the answer can be there yet: the first read waits instead of trying.
    bool keep = false;
    if (!waitFor(d->fd, POLLIN, d->options.timeoutMs) || !d->readReply(reply, keep)) {
        d->close();
        return Failure::Read;
    }
    if (!keep || d->taken != d->in.size())
        d->close();
    return Failure::None;
}

void HttpChannel::close() { d->close(); }

long HttpChannel::verifyResult() const { return d->verifyResult; }

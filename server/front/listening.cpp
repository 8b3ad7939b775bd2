#include "front/httpfront_impl.h"

#include <openssl/err.h>

#include <arpa/inet.h>
#include <cerrno>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

namespace server {

namespace front {

namespace {

QString sslErrors()
{
    QStringList texts;
    while (const unsigned long code = ERR_get_error()) {
        char text[256];
        ERR_error_string_n(code, text, sizeof text);
        texts.append(QString::fromLatin1(text));
    }
    return texts.join(QStringLiteral("; "));
}

}  // namespace

}  // namespace front

void HttpFront::Impl::handshake(Connection *c)
{
    // A client that speaks plain HTTP to this TLS port is told so, in plain HTTP (a TLS
    // handshake begins with the byte 0x16, a request with the letters of its method).
    char first = 0;
    if (::recv(c->fd, &first, 1, MSG_PEEK) == 1 && first >= 'A' && first <= 'Z') {
        // What was sent is read first: closing on unread bytes would reset the answer away.
        char drop[16 * 1024];
        for (int i = 0; i < 8 && ::recv(c->fd, drop, sizeof drop, 0) > 0; ++i) {
        }
        answerAndForget(*c, 400, "Bad Request",
                        QStringLiteral("O servidor de aplicação só aceita conexões seguras (HTTPS): defina server_tls = true "
                                       "na seção [host] das configurações."),
                        true);
        forget(c);
        closeConnection(c);
        return;
    }
    ERR_clear_error();
    const int result = SSL_accept(c->ssl);
    if (result == 1) {
        c->state = Connection::State::Waiting;
        receive(c);
        return;
    }
    const int error = SSL_get_error(c->ssl, result);
    if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
        c->handshakeEvents = error == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT;
        return;
    }
    forget(c);
    closeConnection(c);
}

quint16 HttpFront::Impl::listen(const QString &address, quint16 port)
{
    if (!options.tlsCertificate.isEmpty() || !options.tlsKey.isEmpty()) {
        tls = SSL_CTX_new(TLS_server_method());
        SSL_CTX_set_min_proto_version(tls, TLS1_2_VERSION);
        SSL_CTX_set_mode(tls, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
        if (SSL_CTX_use_certificate_chain_file(tls, options.tlsCertificate.toLocal8Bit().constData()) != 1) {
            error = QStringLiteral("Não foi possível ler o certificado TLS %1: %2").arg(options.tlsCertificate, sslErrors());
            return 0;
        }
        if (SSL_CTX_use_PrivateKey_file(tls, options.tlsKey.toLocal8Bit().constData(), SSL_FILETYPE_PEM) != 1
            || SSL_CTX_check_private_key(tls) != 1) {
            error = QStringLiteral("Não foi possível usar a chave TLS %1: %2").arg(options.tlsKey, sslErrors());
            return 0;
        }
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICHOST | AI_NUMERICSERV;
    addrinfo *found = nullptr;
    const QByteArray host = address.toLatin1();
    const QByteArray service = QByteArray::number(port);
    if (::getaddrinfo(host.constData(), service.constData(), &hints, &found) != 0 || !found) {
        error = QStringLiteral("Endereço inválido: %1.").arg(address);
        return 0;
    }
    const int fd = ::socket(found->ai_family, found->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, found->ai_protocol);
    const int one = 1;
    if (fd >= 0)
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    const bool bound = fd >= 0 && ::bind(fd, found->ai_addr, found->ai_addrlen) == 0 && ::listen(fd, 512) == 0;
    ::freeaddrinfo(found);
    if (!bound) {
        error = QStringLiteral("Não foi possível escutar em %1:%2: %3").arg(address).arg(port).arg(QString::fromLocal8Bit(std::strerror(errno)));
        if (fd >= 0)
            ::close(fd);
        return 0;
    }
    listenFd = fd;
    sockaddr_storage storage{};
    socklen_t length = sizeof storage;
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&storage), &length);
    return storage.ss_family == AF_INET6 ? ntohs(reinterpret_cast<sockaddr_in6 *>(&storage)->sin6_port)
                                         : ntohs(reinterpret_cast<sockaddr_in *>(&storage)->sin_port);
}

}  // namespace server

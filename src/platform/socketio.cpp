#include "socketio.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <unistd.h>
#include <cstdint>

namespace platform::socketio {

namespace {

// OpenSSL writes with write() (reading too may answer the peer), which raises SIGPIPE on a
// connection the peer has closed and would end the program: the signal is held back for
// this thread meanwhile, then dropped. Plain sends say MSG_NOSIGNAL.
class HeldBackSigpipe {
public:
    HeldBackSigpipe()
    {
        sigemptyset(&m_pipe);
        sigaddset(&m_pipe, SIGPIPE);
        sigset_t pending;
        m_wasPending = sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1;
        pthread_sigmask(SIG_BLOCK, &m_pipe, &m_previous);
    }
    ~HeldBackSigpipe()
    {
        if (!m_wasPending) {
            const timespec now{};
            while (sigtimedwait(&m_pipe, nullptr, &now) == SIGPIPE) {
            }
        }
        pthread_sigmask(SIG_SETMASK, &m_previous, nullptr);
    }

private:
    sigset_t m_pipe, m_previous;
    bool m_wasPending = false;
};

ssize_t plainResult(ssize_t n)
{
    if (n >= 0)
        return n;
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? kWouldBlock : kFailed;
}

}  // namespace

ssize_t receiveSome(int fd, SSL *ssl, char *to, size_t size)
{
    if (!ssl)
        return plainResult(::recv(fd, to, size, 0));
    ERR_clear_error();
    const HeldBackSigpipe held;
    const int n = SSL_read(ssl, to, int(size));
    if (n > 0)
        return n;
    const int error = SSL_get_error(ssl, n);
    if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE)
        return kWouldBlock;
    return error == SSL_ERROR_ZERO_RETURN ? 0 : kFailed;
}

ssize_t sendSome(int fd, SSL *ssl, const char *from, size_t size)
{
    if (!ssl)
        return plainResult(::send(fd, from, size, MSG_NOSIGNAL));
    ERR_clear_error();
    const HeldBackSigpipe held;
    const int n = SSL_write(ssl, from, int(size));
    if (n > 0)
        return n;
    const int error = SSL_get_error(ssl, n);
    return error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE ? kWouldBlock : kFailed;
}

bool waitFor(int fd, short events, int timeoutMs)
{
    pollfd p{fd, events, 0};
    int n;
    do {
        n = ::poll(&p, 1, timeoutMs);
    } while (n < 0 && errno == EINTR);
    return n > 0;
}

int msUntil(Clock::time_point deadline)
{
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return int(std::clamp<long long>(left, 0, 1'000'000));
}

int freeLoopbackPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return 0;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0
        && ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &size) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

bool waitUntilListening(int port, int timeoutMs)
{
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(std::uint16_t(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const bool connected = fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
        if (fd >= 0)
            ::close(fd);
        if (connected)
            return true;
        if (Clock::now() >= deadline)
            return false;
        ::poll(nullptr, 0, 20);
    }
}

}  // namespace platform::socketio

#include "latencyproxy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <stdexcept>
#include <string>

namespace latencyproxy {

namespace {

using Clock = std::chrono::steady_clock;

int connectTo(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(std::uint16_t(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

// One direction of a connection: a reader that stamps each chunk with the time it may
// leave, and a sender that waits for that time. The delay is added once per chunk, not
// once per byte, as a long line adds it once per turn.
struct Pipe {
    std::mutex mutex;
    std::condition_variable ready;
    std::deque<std::pair<Clock::time_point, std::string>> chunks;
    bool ended = false;
};

void readInto(int from, Pipe &pipe, int delayMs, std::atomic<std::int64_t> *turns, const std::atomic<std::int64_t> *cutAfter,
              int other)
{
    char buffer[65536];
    std::int64_t total = 0;
    for (;;) {
        const ssize_t got = ::recv(from, buffer, sizeof buffer, 0);
        if (got <= 0)
            break;
        total += got;
        if (turns)
            ++*turns;
        if (cutAfter && *cutAfter >= 0 && total > *cutAfter) {
            // The server goes away: both ends are closed without a word.
            ::shutdown(from, SHUT_RDWR);
            ::shutdown(other, SHUT_RDWR);
            break;
        }
        std::lock_guard lock(pipe.mutex);
        pipe.chunks.emplace_back(Clock::now() + std::chrono::milliseconds(delayMs), std::string(buffer, size_t(got)));
        pipe.ready.notify_one();
    }
    std::lock_guard lock(pipe.mutex);
    pipe.ended = true;
    pipe.ready.notify_one();
}

void sendFrom(Pipe &pipe, int to)
{
    for (;;) {
        std::unique_lock lock(pipe.mutex);
        pipe.ready.wait(lock, [&] { return pipe.ended || !pipe.chunks.empty(); });
        if (pipe.chunks.empty())
            break;
        auto [due, bytes] = std::move(pipe.chunks.front());
        pipe.chunks.pop_front();
        lock.unlock();
        std::this_thread::sleep_until(due);
        for (size_t sent = 0; sent < bytes.size();) {
            const ssize_t put = ::send(to, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (put <= 0)
                return;
            sent += size_t(put);
        }
    }
    ::shutdown(to, SHUT_WR);
}

}  // namespace

Proxy::Proxy(const Options &options) : m_options(options), m_cutAfter(options.cutAfterBytes)
{
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    ::setsockopt(m_listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(std::uint16_t(options.listenPort));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0
        || ::listen(m_listener, 64) != 0 || ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &size) != 0) {
        if (m_listener >= 0)
            ::close(m_listener);
        throw std::runtime_error("latency proxy: cannot listen on 127.0.0.1:" + std::to_string(options.listenPort));
    }
    m_port = ntohs(address.sin_port);
    m_acceptor = std::thread([this] { acceptLoop(); });
}

Proxy::~Proxy()
{
    m_stopping = true;
    ::shutdown(m_listener, SHUT_RDWR);
    if (m_acceptor.joinable())
        m_acceptor.join();
    ::close(m_listener);
    std::vector<std::thread> workers;
    {
        std::lock_guard lock(m_mutex);
        for (int fd : m_sockets)
            ::shutdown(fd, SHUT_RDWR);
        workers.swap(m_workers);
    }
    for (std::thread &worker : workers)
        worker.join();
    for (int fd : m_sockets)
        ::close(fd);
}

void Proxy::acceptLoop()
{
    while (!m_stopping) {
        pollfd wait{m_listener, POLLIN, 0};
        if (::poll(&wait, 1, 100) <= 0)
            continue;
        const int client = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            continue;
        ++m_connections;
        std::lock_guard lock(m_mutex);
        m_sockets.push_back(client);
        m_workers.emplace_back([this, client] { serve(client); });
    }
}

void Proxy::serve(int client)
{
    const int one = 1;
    ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    const int server = connectTo(m_options.targetPort);
    if (server < 0) {
        ::shutdown(client, SHUT_RDWR);
        return;
    }
    {
        std::lock_guard lock(m_mutex);
        m_sockets.push_back(server);
    }
    Pipe up, down;
    std::thread upReader([&] { readInto(client, up, m_options.delayMs, &m_turns, &m_cutAfter, server); });
    std::thread downReader([&] { readInto(server, down, m_options.delayMs, nullptr, nullptr, client); });
    std::thread upSender([&] { sendFrom(up, server); });
    sendFrom(down, client);
    upSender.join();
    upReader.join();
    downReader.join();
}

}  // namespace latencyproxy

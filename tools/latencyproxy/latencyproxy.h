#pragma once

// A TCP proxy on the loopback interface that holds every chunk for a fixed time in each
// direction, so that the cost of a round trip to a far server shows on one machine. It can
// also cut every connection once the client has sent a given number of bytes: a server
// that goes away in the middle of a command.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace latencyproxy {

struct Options {
    int targetPort = 0;           // the server on 127.0.0.1
    int listenPort = 0;           // 0: a free port, see port()
    int delayMs = 0;              // each way
    std::int64_t cutAfterBytes = -1;  // client bytes after which a connection is closed (-1: never)
};

class Proxy {
public:
    explicit Proxy(const Options &options);  // listens at once; throws std::runtime_error
    ~Proxy();                                // closes every connection and stops
    Proxy(const Proxy &) = delete;
    Proxy &operator=(const Proxy &) = delete;

    int port() const { return m_port; }
    // Connections accepted so far.
    int connections() const { return m_connections; }
    // Chunks forwarded from client to server so far: each is a client turn.
    std::int64_t clientTurns() const { return m_turns; }
    void setCutAfterBytes(std::int64_t bytes) { m_cutAfter = bytes; }

private:
    void acceptLoop();
    void serve(int client);

    Options m_options;
    int m_listener = -1;
    int m_port = 0;
    std::atomic<bool> m_stopping{false};
    std::atomic<int> m_connections{0};
    std::atomic<std::int64_t> m_turns{0};
    std::atomic<std::int64_t> m_cutAfter{-1};
    std::thread m_acceptor;
    std::mutex m_mutex;
    std::vector<std::thread> m_workers;
    std::vector<int> m_sockets;
};

}  // namespace latencyproxy

#pragma once

// What the files of the HTTP front share; nothing outside front/ includes this header.
//   httpfront.cpp    the public face: HttpFront, the connection cap, the refusal's text
//   connections.cpp  the accepting thread (waiting connections, whole heads, budgets and
//                    time-outs) and the workers that take a connection with a whole head
//   reading.cpp      a request as the workers read it: the stream over a connection, the
//                    head's token and target, the call in the hosts' plain shape
//   answering.cpp    the answer: token, size and route, the dispatcher, the board, the
//                    handlers given to cpp-httplib
//   listening.cpp    the listening socket, TLS and each connection's handshake

#include "front/httpfront.h"

#include "board/board.h"
#include "board/metrics.h"
#include "store/database.h"

#include "platform/socketio.h"

#include <httplib.h>
#include <openssl/ssl.h>

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <poll.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace server {

class Dispatcher;

namespace front {

using namespace platform::socketio;

struct Connection {
    enum class State { Handshake, Waiting, Busy, Draining };

    int fd = -1;
    SSL *ssl = nullptr;
    State state = State::Waiting;
    short handshakeEvents = POLLIN;
    std::string buffer;  // received and not yet read by the parser, from `offset` on
    size_t offset = 0;
    Clock::time_point deadline;         // while waiting or draining
    Clock::time_point requestDeadline;  // while a worker reads the request
    bool served = false;                // answered an authorised call
    std::string remoteIp, localIp;      // asked once per connection
    int remotePort = 0, localPort = 0;
    quint64 serial = 0;
    size_t held = 0;                    // bytes counted against the unauthenticated budget

    size_t unread() const { return buffer.size() - offset; }
    bool hasHead() const { return buffer.find("\r\n\r\n", offset) != std::string::npos; }
    void compact()
    {
        buffer.erase(0, offset);
        offset = 0;
    }
};

inline ssize_t receiveSome(Connection &c, char *to, size_t size) { return platform::socketio::receiveSome(c.fd, c.ssl, to, size); }
inline ssize_t sendSome(Connection &c, const char *from, size_t size) { return platform::socketio::sendSome(c.fd, c.ssl, from, size); }

// A short answer written without waiting, for a connection about to be closed.
void answerAndForget(Connection &c, int status, const char *reason, const QString &message, bool plain = false);

// The connection as cpp-httplib reads and writes it, inside a worker. Reads come from the
// bytes the accepting thread already received, then from the socket until the request's
// deadline; writes wait at most the write time-out.
class ConnectionStream : public httplib::Stream {
public:
    ConnectionStream(Connection &connection, int writeTimeoutMs) : m_c(connection), m_writeTimeoutMs(writeTimeoutMs) {}

    bool is_readable() const override;
    // write() waits for the socket itself, within the write time-out.
    bool is_writable() const override { return true; }
    ssize_t read(char *ptr, size_t size) override;
    ssize_t write(const char *ptr, size_t size) override;
    bool flush();
    bool receive(size_t size);
    void get_remote_ip_and_port(std::string &ip, int &port) const override;
    void get_local_ip_and_port(std::string &ip, int &port) const override;
    socket_t socket() const override { return m_c.fd; }

private:
    bool sendAll(const char *from, size_t size);
    bool fill();
    void address(bool local, std::string &ip, int &port) const;

    static constexpr size_t kHeldBytes = 64 * 1024;

    Connection &m_c;
    int m_writeTimeoutMs;
    std::string m_out;  // written and not yet sent
};

// cpp-httplib's request processing, for one request read from our own stream.
class RequestProcessor : public httplib::Server {
public:
    using httplib::Server::process_request;
};

// What the handlers tell the worker about the request they answered.
extern thread_local Dispatcher *t_dispatcher;
extern thread_local bool t_closeAfter;
extern thread_local bool t_authorised;
extern thread_local bool t_boardWorker;  // one of the board's own workers

// The request line's target and the Authorization header as they arrived. The parser
// decodes %-escapes in paths and header values: a token and the shape of a path are judged
// on the bytes the client sent.
extern thread_local std::string t_target;
extern thread_local std::string t_authorization;
extern thread_local int t_authorizations;
extern thread_local std::string t_forwardedFor;  // the last X-Forwarded-For header

// Reads the head at the start of the connection's unread bytes (which holds a whole one),
// and turns a target in absolute form ("http://host:port/path") into its path.
void inspectHead(Connection &c);

// A request head in the one shape hosts send calls in, read without cpp-httplib.
struct PlainCall {
    size_t bodyStart = 0;
    uint64_t length = 0;
    bool clientCloses = false;
};

// "POST /<target> HTTP/1.1", no board page, header lines of the plain "name: value" form,
// Content-Length at most once and in digits, no Transfer-Encoding and no Expect. The head is whole
// at the start of the connection's unread bytes.
bool plainCall(const Connection &c, PlainCall &call);

}  // namespace front

// The front's own files name these without their namespace.
using namespace front;

struct HttpFront::Impl {
    DatabaseSpec spec;
    QByteArray token;
    FrontOptions options;
    RequestProcessor processor;
    SSL_CTX *tls = nullptr;
    int listenFd = -1;
    int wake[2] = {-1, -1};
    QString error;
    std::atomic<bool> stopping{false};
    std::atomic<qint64> served{0};
    std::atomic<int> open{0};
    std::atomic<int> queued{0};  // calls waiting for a worker
    Metrics metrics;
    std::unique_ptr<Board> board;
    quint64 nextSerial = 0;
    std::thread runner;

    // Owned by the accepting thread.
    std::vector<Connection *> waiting;
    size_t heldTotal = 0;                  // bytes held by unauthenticated waiting connections
    Clock::time_point acceptPausedUntil;   // out of descriptors: accepting waits a little

    std::mutex mutex;
    std::condition_variable ready;
    std::deque<Connection *> calls;     // connections with a whole request head, for the workers
    // The board's requests wait for the board's own, fewer, workers: a room full of open
    // boards never takes the workers the operators' calls need.
    std::condition_variable boardReady;
    std::deque<Connection *> boardCalls;
    std::vector<Connection *> returned; // back from the workers, for the accepting thread
    std::vector<std::thread> workers;
    std::string keepAliveHeader;

    Impl(const DatabaseSpec &database, const QByteArray &secret, const FrontOptions &opts);
    ~Impl();

    int boardWorkers() const { return options.boardWorkers > 0 ? options.boardWorkers : std::max(1, options.workers / 4); }

    // What a request is answered with, whichever way it was read.
    struct Outcome {
        int status = 200;
        QByteArray body;
        bool close = false;  // the connection ends with this answer, its body perhaps unread
    };

    // answering.cpp
    static void refuse(Outcome &out, int status, const QString &message, bool close);
    static void apply(const Outcome &out, httplib::Response &res);
    bool headAllows(const std::string &peer, std::optional<uint64_t> declaredLength, Outcome &out);
    static bool routes(QStringList &parts, Outcome &out);
    void answerCall(const QStringList &parts, std::string_view body, Outcome &out);
    void handleBoard(const httplib::Request &req, httplib::Response &res, const httplib::ContentReader *reader);
    static std::optional<uint64_t> declaredLength(const httplib::Request &req);
    void handleCall(const httplib::Request &req, httplib::Response &res, const httplib::ContentReader &reader);
    bool servePlainCall(Connection &c, ConnectionStream &stream, const PlainCall &call);
    void installHandlers();

    // connections.cpp
    void workerLoop(bool forBoard);
    static bool forBoard(const Connection &c);
    void serve(Connection *c);
    bool nextComesSoon(Connection *c, ConnectionStream &stream);
    void linger(Connection *c);
    void giveBack(Connection *c);
    void closeConnection(Connection *c);
    void dispatch(Connection *c);
    void forget(Connection *c);
    void account(Connection *c);
    bool keepWithinBudget(Connection *c);
    void acceptAll();
    bool evictIdle();
    void receive(Connection *c);
    void expire(Connection *c);
    void takeReturned();
    void acceptLoop();
    void run();
    void stop();

    // listening.cpp
    void handshake(Connection *c);
    quint16 listen(const QString &address, quint16 port);
};

}  // namespace server

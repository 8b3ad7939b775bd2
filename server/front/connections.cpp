#include "front/httpfront_impl.h"

#include "methods/dispatcher.h"

#include <cerrno>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sched.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

namespace server {

namespace front {

namespace {

// A request head (request line and headers) larger than this is refused.
constexpr size_t kMaxHead = 16 * 1024;
// After an answer that ends the connection, what the client still sends is read and
// dropped for this long, so that the answer is not lost in a reset.
constexpr int kLingerMs = 2000;
// A client that calls again at once (the screen's loads come in runs) finds its worker
// still on the connection for this long, when no other call waits for a worker: the
// round trip through the accepting thread costs more than the call itself.
constexpr int kStayMs = 3;
constexpr quint64 kWorkerSliceNs = 250'000;

// Workers ask the kernel for short time slices: a quick call that arrives while long ones
// (a whole group list) keep every core busy then waits a fraction of a millisecond for
// its turn rather than a whole default slice. Kernels that do not take a slice request
// leave the thread as it was.
struct SchedAttributes {  // the kernel's struct sched_attr
    quint32 size;
    quint32 sched_policy;
    quint64 sched_flags;
    qint32 sched_nice;
    quint32 sched_priority;
    quint64 sched_runtime, sched_deadline, sched_period;
};

void askForShortSlices()
{
    SchedAttributes attributes{};
    attributes.size = sizeof attributes;
    attributes.sched_policy = SCHED_OTHER;
    attributes.sched_runtime = kWorkerSliceNs;
    [[maybe_unused]] const long result = ::syscall(SYS_sched_setattr, 0, &attributes, 0);
}

}  // namespace

thread_local Dispatcher *t_dispatcher = nullptr;
thread_local bool t_closeAfter = false;
thread_local bool t_authorised = false;
thread_local bool t_boardWorker = false;
thread_local std::string t_target;
thread_local std::string t_authorization;
thread_local int t_authorizations = 0;
thread_local std::string t_forwardedFor;

void answerAndForget(Connection &c, int status, const char *reason, const QString &message, bool plain)
{
    const QByteArray body = refusal(message);
    const QByteArray text = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason
        + "\r\nContent-Type: application/json\r\nConnection: close\r\nContent-Length: " + QByteArray::number(body.size())
        + "\r\n\r\n" + body;
    if (plain)
        ::send(c.fd, text.constData(), size_t(text.size()), MSG_NOSIGNAL);
    else
        sendSome(c, text.constData(), size_t(text.size()));
}

}  // namespace front

void HttpFront::Impl::workerLoop(bool forBoard)
{
    // The worker's own connection to the database, opened by its first call and
    // closed in this thread when the front stops.
    askForShortSlices();
    Database database(spec);
    Dispatcher dispatcher(database);
    t_dispatcher = &dispatcher;
    t_boardWorker = forBoard;
    std::deque<Connection *> &queue = forBoard ? boardCalls : calls;
    for (;;) {
        Connection *c = nullptr;
        {
            std::unique_lock lock(mutex);
            (forBoard ? boardReady : ready).wait(lock, [&] { return stopping || !queue.empty(); });
            if (stopping)
                break;
            c = queue.front();
            queue.pop_front();
            if (!forBoard)
                --queued;
        }
        serve(c);
    }
    t_dispatcher = nullptr;
}

// A request for the board's pages or the metrics (its head is whole in the buffer).
bool HttpFront::Impl::forBoard(const Connection &c)
{
    const size_t space = c.buffer.find(' ', c.offset);
    const size_t end = space == std::string::npos ? space : c.buffer.find_first_of(" ?\r", space + 1);
    if (end == std::string::npos)
        return false;
    const std::string_view target(c.buffer.data() + space + 1, end - space - 1);
    return target == "/painel" || target.starts_with("/painel/") || target == "/metricas";
}

void HttpFront::Impl::serve(Connection *c)
{
    ConnectionStream stream(*c, options.writeTimeoutMs);
    for (;;) {
        c->requestDeadline = Clock::now() + std::chrono::milliseconds(options.readTimeoutMs);
        t_closeAfter = false;
        t_authorised = false;
        inspectHead(*c);
        bool closed = false;
        PlainCall call;
        const bool direct = plainCall(*c, call);
        metrics.observeReading(direct);
        bool processed = direct ? servePlainCall(*c, stream, call) : processor.process_request(stream, false, closed, nullptr);
        processed = stream.flush() && processed;
        c->served = c->served || t_authorised;
        if (!processed) {
            closeConnection(c);
            return;
        }
        if (closed || t_closeAfter || stopping) {
            linger(c);
            return;
        }
        if (!c->hasHead() && !nextComesSoon(c, stream))
            break;  // the next request is not here yet
        if (forBoard(*c) != t_boardWorker)
            break;  // for the other workers
    }
    c->compact();
    if (c->buffer.capacity() > kMaxHead * 4)
        c->buffer.shrink_to_fit();  // a large body's room is given back
    c->state = Connection::State::Waiting;
    c->deadline = Clock::now() + std::chrono::milliseconds(c->unread() ? options.readTimeoutMs : options.idleTimeoutMs);
    giveBack(c);
}

bool HttpFront::Impl::nextComesSoon(Connection *c, ConnectionStream &stream)
{
    if (stopping || queued.load() > 0 || !waitFor(c->fd, POLLIN, kStayMs))
        return false;
    // Whatever came is read now; the head must then be whole (it nearly always is).
    c->requestDeadline = Clock::now() + std::chrono::milliseconds(options.readTimeoutMs);
    char peek;
    if (stream.read(&peek, 0) < 0)
        return false;
    return c->hasHead();
}

void HttpFront::Impl::linger(Connection *c)
{
    if (c->ssl)
        SSL_shutdown(c->ssl);
    ::shutdown(c->fd, SHUT_WR);
    c->state = Connection::State::Draining;
    c->deadline = Clock::now() + std::chrono::milliseconds(kLingerMs);
    giveBack(c);
}

void HttpFront::Impl::giveBack(Connection *c)
{
    {
        std::lock_guard lock(mutex);
        returned.push_back(c);
    }
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(wake[1], &byte, 1);
}

void HttpFront::Impl::closeConnection(Connection *c)
{
    if (c->ssl)
        SSL_free(c->ssl);
    ::close(c->fd);
    delete c;
    --open;
}

void HttpFront::Impl::dispatch(Connection *c)
{
    c->state = Connection::State::Busy;
    const bool toBoard = forBoard(*c);
    {
        std::lock_guard lock(mutex);
        if (toBoard) {
            boardCalls.push_back(c);
        } else {
            calls.push_back(c);
            ++queued;
        }
    }
    (toBoard ? boardReady : ready).notify_one();
}

void HttpFront::Impl::forget(Connection *c)
{
    waiting.erase(std::remove(waiting.begin(), waiting.end(), c), waiting.end());
    heldTotal -= c->held;
    c->held = 0;
}

// Counts a waiting connection's buffer against the budget of the unauthenticated ones.
void HttpFront::Impl::account(Connection *c)
{
    const size_t now = c->served ? 0 : c->buffer.capacity();
    heldTotal = heldTotal - c->held + now;
    c->held = now;
}

// Over the budget, the oldest unauthenticated connections that hold bytes are closed.
// False when `c` itself was.
bool HttpFront::Impl::keepWithinBudget(Connection *c)
{
    bool kept = true;
    while (heldTotal > size_t(kUnauthenticatedBytes)) {
        Connection *oldest = nullptr;
        for (Connection *w : waiting) {
            if (w->held > 0 && (!oldest || w->serial < oldest->serial))
                oldest = w;
        }
        if (!oldest)
            break;
        kept = kept && oldest != c;
        forget(oldest);
        closeConnection(oldest);
    }
    return kept;
}

void HttpFront::Impl::acceptAll()
{
    for (;;) {
        const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            // Out of descriptors: an idle unauthenticated connection gives its own, or
            // accepting waits a little (the listening socket would wake the loop at once).
            if (errno == EMFILE || errno == ENFILE) {
                if (evictIdle())
                    continue;
                acceptPausedUntil = Clock::now() + std::chrono::milliseconds(50);
            }
            return;
        }
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        if (open >= options.maxConnections && !evictIdle()) {
            if (!tls) {
                Connection refused;
                refused.fd = fd;
                answerAndForget(refused, 503, "Service Unavailable",
                                QStringLiteral("O servidor de aplicação atingiu o limite de %1 conexões abertas; "
                                               "tente novamente em instantes.")
                                    .arg(options.maxConnections));
            }
            ::close(fd);
            continue;
        }
        auto *c = new Connection;
        ++open;
        c->fd = fd;
        c->serial = ++nextSerial;
        c->deadline = Clock::now() + std::chrono::milliseconds(options.readTimeoutMs);
        if (tls) {
            c->ssl = SSL_new(tls);
            SSL_set_fd(c->ssl, fd);
            SSL_set_accept_state(c->ssl);
            c->state = Connection::State::Handshake;
        }
        waiting.push_back(c);
    }
}

// At the cap, the oldest connection that never made an authorised call and is only
// waiting gives its place to the new one.
bool HttpFront::Impl::evictIdle()
{
    Connection *oldest = nullptr;
    for (Connection *c : waiting) {
        if (!c->served && c->state != Connection::State::Draining && (!oldest || c->serial < oldest->serial))
            oldest = c;
    }
    if (!oldest)
        return false;
    forget(oldest);
    closeConnection(oldest);
    return true;
}

// Reads what arrived on a waiting connection; dispatches it once the head is whole. A
// head is read no further than its size limit, and a few chunks at a time, so that one
// client sending without end neither fills the memory nor holds up the others.
void HttpFront::Impl::receive(Connection *c)
{
    char chunk[16 * 1024];
    const bool wasEmpty = c->unread() == 0;
    const bool draining = c->state == Connection::State::Draining;
    for (int round = 0; round < 4 || (c->ssl && SSL_pending(c->ssl) > 0); ++round) {
        size_t room = sizeof chunk;
        if (!draining) {
            if (c->hasHead() || c->unread() > kMaxHead)
                break;
            room = std::min(room, kMaxHead + 1 - c->unread());
        }
        const ssize_t n = receiveSome(*c, chunk, room);
        if (n > 0) {
            if (!draining)
                c->buffer.append(chunk, size_t(n));
            continue;
        }
        if (n == kWouldBlock)
            break;
        forget(c);
        closeConnection(c);
        return;
    }
    if (draining)
        return;
    account(c);
    if (!keepWithinBudget(c))
        return;
    if (wasEmpty && c->unread() > 0)
        c->deadline = Clock::now() + std::chrono::milliseconds(options.readTimeoutMs);
    if (c->hasHead()) {
        forget(c);
        dispatch(c);
    } else if (c->unread() > kMaxHead) {
        answerAndForget(*c, 431, "Request Header Fields Too Large",
                        QStringLiteral("O cabeçalho da requisição excede %1 bytes.").arg(kMaxHead));
        forget(c);
        closeConnection(c);
    }
}

void HttpFront::Impl::expire(Connection *c)
{
    // A request begun and not finished in time is told so; an idle connection just ends.
    if (c->state == Connection::State::Waiting && c->unread() > 0)
        answerAndForget(*c, 408, "Request Timeout",
                        QStringLiteral("A requisição não chegou inteira em %1 ms.").arg(options.readTimeoutMs));
    forget(c);
    closeConnection(c);
}

void HttpFront::Impl::takeReturned()
{
    std::vector<Connection *> back;
    {
        std::lock_guard lock(mutex);
        back.swap(returned);
    }
    for (Connection *c : back) {
        if (c->state == Connection::State::Waiting && c->hasHead()) {
            dispatch(c);
        } else {
            waiting.push_back(c);
            account(c);
        }
    }
}

void HttpFront::Impl::acceptLoop()
{
    std::vector<pollfd> fds;
    std::vector<Connection *> polled;
    while (!stopping) {
        takeReturned();
        fds.clear();
        polled.clear();
        fds.push_back({wake[0], POLLIN, 0});
        Clock::time_point next = Clock::now() + std::chrono::seconds(1);
        const bool paused = Clock::now() < acceptPausedUntil;
        fds.push_back({listenFd, paused ? short(0) : short(POLLIN), 0});
        if (paused)
            next = std::min(next, acceptPausedUntil);
        for (Connection *c : waiting) {
            fds.push_back({c->fd, c->state == Connection::State::Handshake ? c->handshakeEvents : short(POLLIN), 0});
            polled.push_back(c);
            next = std::min(next, c->deadline);
        }
        const int n = ::poll(fds.data(), nfds_t(fds.size()), msUntil(next));
        if (n < 0 && errno != EINTR)
            break;
        if (fds[0].revents) {
            char drain[256];
            while (::read(wake[0], drain, sizeof drain) > 0) {
            }
        }
        if (fds[1].revents & POLLIN)
            acceptAll();
        const Clock::time_point now = Clock::now();
        for (size_t i = 0; i < polled.size(); ++i) {
            Connection *c = polled[i];
            if (std::find(waiting.begin(), waiting.end(), c) == waiting.end())
                continue;  // evicted meanwhile
            if (fds[i + 2].revents) {
                if (c->state == Connection::State::Handshake)
                    handshake(c);
                else
                    receive(c);
            } else if (c->deadline <= now) {
                expire(c);
            }
        }
    }
}

void HttpFront::Impl::run()
{
    for (int i = 0; i < std::max(1, options.workers); ++i)
        workers.emplace_back([this] { workerLoop(false); });
    for (int i = 0; i < boardWorkers(); ++i)
        workers.emplace_back([this] { workerLoop(true); });
    acceptLoop();
    {
        std::lock_guard lock(mutex);
        stopping = true;
    }
    // New connections are refused by the system from here on.
    if (listenFd >= 0) {
        ::close(listenFd);
        listenFd = -1;
    }
    ready.notify_all();
    boardReady.notify_all();
    for (std::thread &worker : workers)
        worker.join();
    workers.clear();
    takeReturned();
    for (Connection *c : waiting)
        closeConnection(c);
    waiting.clear();
    // Calls that no worker took before the stop are refused, not dropped unanswered.
    for (Connection *c : calls) {
        answerAndForget(*c, 503, "Service Unavailable",
                        QStringLiteral("O servidor de aplicação está sendo encerrado; nada foi feito. Repita a chamada "
                                       "quando ele voltar."));
        closeConnection(c);
    }
    calls.clear();
    for (Connection *c : boardCalls)
        closeConnection(c);
    boardCalls.clear();
}

void HttpFront::Impl::stop()
{
    stopping = true;
    if (wake[1] >= 0) {
        const char byte = 0;
        [[maybe_unused]] const ssize_t n = ::write(wake[1], &byte, 1);
    }
    ready.notify_all();
    boardReady.notify_all();
    if (runner.joinable())
        runner.join();
}

}  // namespace server

#include "front/httpfront.h"

#include "board/board.h"
#include "board/board_access.h"
#include "board/metrics.h"
#include "methods/dispatcher.h"
#include "store/database.h"

#include "platform/socketio.h"

#include <httplib.h>
#include <openssl/err.h>
#include <openssl/ssl.h>

#include <QByteArrayView>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <optional>
#include <string_view>
#include <thread>
#include <vector>

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

namespace {

using namespace platform::socketio;

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

ssize_t receiveSome(Connection &c, char *to, size_t size) { return platform::socketio::receiveSome(c.fd, c.ssl, to, size); }
ssize_t sendSome(Connection &c, const char *from, size_t size) { return platform::socketio::sendSome(c.fd, c.ssl, from, size); }

// A short answer written without waiting, for a connection about to be closed.
void answerAndForget(Connection &c, int status, const char *reason, const QString &message, bool plain = false)
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

// The connection as cpp-httplib reads and writes it, inside a worker. Reads come from the
// bytes the accepting thread already received, then from the socket until the request's
// deadline; writes wait at most the write time-out.
class ConnectionStream : public httplib::Stream {
public:
    ConnectionStream(Connection &connection, int writeTimeoutMs) : m_c(connection), m_writeTimeoutMs(writeTimeoutMs) {}

    bool is_readable() const override
    {
        return m_c.unread() > 0 || (m_c.ssl && SSL_pending(m_c.ssl) > 0) || waitFor(m_c.fd, POLLIN, 0);
    }
    // write() waits for the socket itself, within the write time-out.
    bool is_writable() const override { return true; }

    // Reading 0 bytes takes what has arrived into the buffer.
    ssize_t read(char *ptr, size_t size) override
    {
        if (m_c.unread() == 0 && !fill())
            return -1;
        const size_t n = std::min(size, m_c.unread());
        std::memcpy(ptr, m_c.buffer.data() + m_c.offset, n);
        m_c.offset += n;
        return ssize_t(n);
    }

    // An answer's head and body are written separately; they leave together, in one
    // segment, when the answer is complete (flush), when the stream reads again, or when
    // enough is held. Each send on the socket wakes the client once. A large body is sent
    // from where it is, after what was held.
    ssize_t write(const char *ptr, size_t size) override
    {
        if (size >= kHeldBytes)
            return flush() && sendAll(ptr, size) ? ssize_t(size) : -1;
        m_out.append(ptr, size);
        if (m_out.size() >= kHeldBytes && !flush())
            return -1;
        return ssize_t(size);
    }

    // Sends what the writes held, within the write time-out.
    bool flush()
    {
        const bool sent = sendAll(m_out.data(), m_out.size());
        m_out.clear();
        return sent;
    }

    // Waits, within the request's deadline, until `size` unread bytes are here.
    bool receive(size_t size)
    {
        while (m_c.unread() < size) {
            if (!fill())
                return false;
        }
        return true;
    }

    void get_remote_ip_and_port(std::string &ip, int &port) const override
    {
        if (m_c.remoteIp.empty())
            address(false, m_c.remoteIp, m_c.remotePort);
        ip = m_c.remoteIp;
        port = m_c.remotePort;
    }
    void get_local_ip_and_port(std::string &ip, int &port) const override
    {
        if (m_c.localIp.empty())
            address(true, m_c.localIp, m_c.localPort);
        ip = m_c.localIp;
        port = m_c.localPort;
    }
    socket_t socket() const override { return m_c.fd; }

private:
    bool sendAll(const char *from, size_t size)
    {
        const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(m_writeTimeoutMs);
        for (size_t written = 0; written < size;) {
            const ssize_t n = sendSome(m_c, from + written, size - written);
            if (n > 0) {
                written += size_t(n);
                continue;
            }
            if (n == kFailed || msUntil(deadline) == 0 || !waitFor(m_c.fd, POLLOUT | POLLIN, msUntil(deadline)))
                return false;
        }
        return true;
    }

    bool fill()
    {
        // A "100 Continue" or an earlier answer goes out before the stream waits for more.
        if (!m_out.empty() && !flush())
            return false;
        m_c.compact();
        char chunk[16 * 1024];
        for (;;) {
            const ssize_t n = receiveSome(m_c, chunk, sizeof chunk);
            if (n > 0) {
                m_c.buffer.append(chunk, size_t(n));
                return true;
            }
            if (n != kWouldBlock)
                return false;
            const int left = msUntil(m_c.requestDeadline);
            if (left == 0 || !waitFor(m_c.fd, POLLIN, left))
                return false;
        }
    }

    void address(bool local, std::string &ip, int &port) const
    {
        sockaddr_storage storage{};
        socklen_t length = sizeof storage;
        auto *addr = reinterpret_cast<sockaddr *>(&storage);
        if ((local ? ::getsockname(m_c.fd, addr, &length) : ::getpeername(m_c.fd, addr, &length)) != 0)
            return;
        char host[NI_MAXHOST];
        char service[NI_MAXSERV];
        if (::getnameinfo(addr, length, host, sizeof host, service, sizeof service, NI_NUMERICHOST | NI_NUMERICSERV) == 0) {
            ip = host;
            port = std::atoi(service);
        }
    }

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

// What the handlers tell the worker about the request they answered.
thread_local Dispatcher *t_dispatcher = nullptr;
thread_local bool t_closeAfter = false;
thread_local bool t_authorised = false;
thread_local bool t_boardWorker = false;  // one of the board's own workers

// The request line's target and the Authorization header as they arrived. The parser
// decodes %-escapes in paths and header values: a token and the shape of a path are judged
// on the bytes the client sent.
thread_local std::string t_target;
thread_local std::string t_authorization;
thread_local int t_authorizations = 0;
thread_local std::string t_forwardedFor;  // the last X-Forwarded-For header

bool sameNameAs(std::string_view name, std::string_view expected)
{
    return name.size() == expected.size()
        && std::equal(name.begin(), name.end(), expected.begin(), [](char a, char b) { return std::tolower(uchar(a)) == b; });
}

std::string_view trimmedBlanks(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

// Reads the head at the start of the connection's unread bytes (which holds a whole one),
// and turns a target in absolute form ("http://host:port/path") into its path.
void inspectHead(Connection &c)
{
    t_target.clear();
    t_authorization.clear();
    t_authorizations = 0;
    t_forwardedFor.clear();
    std::string &b = c.buffer;
    const size_t lineEnd = b.find("\r\n", c.offset);
    if (lineEnd == std::string::npos)
        return;
    const size_t sp1 = b.find(' ', c.offset);
    const size_t sp2 = sp1 < lineEnd ? b.find(' ', sp1 + 1) : std::string::npos;
    if (sp2 >= lineEnd)
        return;
    std::string target = b.substr(sp1 + 1, sp2 - sp1 - 1);
    const size_t scheme = target.find("://");
    if (!target.empty() && target[0] != '/' && scheme != std::string::npos && scheme > 0) {
        const size_t pathStart = target.find_first_of("/?", scheme + 3);
        std::string path = pathStart == std::string::npos ? std::string("/") : target.substr(pathStart);
        if (path[0] == '?')
            path.insert(0, 1, '/');
        b.replace(sp1 + 1, sp2 - sp1 - 1, path);
        target = path;
    }
    t_target = target;
    const size_t end = b.find("\r\n\r\n", c.offset);
    bool continuesAuthorization = false;
    for (size_t line = b.find("\r\n", c.offset) + 2; line <= end && end != std::string::npos;) {
        const size_t next = b.find("\r\n", line);
        const std::string_view text(b.data() + line, next - line);
        line = next + 2;
        if (!text.empty() && (text[0] == ' ' || text[0] == '\t')) {
            // A folded line: a folded Authorization header is not taken.
            t_authorizations += continuesAuthorization ? 1 : 0;
            continue;
        }
        const size_t colon = text.find(':');
        continuesAuthorization = colon != std::string_view::npos && sameNameAs(text.substr(0, colon), "authorization");
        if (continuesAuthorization) {
            ++t_authorizations;
            t_authorization.assign(text.substr(colon + 1));
        } else if (colon != std::string_view::npos && sameNameAs(text.substr(0, colon), "x-forwarded-for")) {
            t_forwardedFor.assign(text.substr(colon + 1));
        }
    }
}

// A request head in the one shape hosts send calls in, read without cpp-httplib.
struct PlainCall {
    size_t bodyStart = 0;
    uint64_t length = 0;
    bool clientCloses = false;
};

bool hasListToken(std::string_view list, std::string_view token)
{
    for (size_t at = 0; at <= list.size();) {
        const size_t comma = std::min(list.find(',', at), list.size());
        if (sameNameAs(trimmedBlanks(list.substr(at, comma - at)), token))
            return true;
        at = comma + 1;
    }
    return false;
}

// "POST /<target> HTTP/1.1", no board page, header lines of the plain "name: value" form,
// Content-Length at most once and in digits, no Transfer-Encoding and no Expect. The head is whole
// at the start of the connection's unread bytes.
bool plainCall(const Connection &c, PlainCall &call)
{
    constexpr std::string_view kMethod = "POST ", kVersion = " HTTP/1.1\r\n";
    const size_t headEnd = c.buffer.find("\r\n\r\n", c.offset);
    if (headEnd == std::string::npos)
        return false;
    const std::string_view head(c.buffer.data() + c.offset, headEnd + 2 - c.offset);
    const size_t lineEnd = head.find("\r\n") + 2;
    const std::string_view line = head.substr(0, lineEnd);
    if (!line.starts_with(kMethod) || !line.ends_with(kVersion) || line.size() <= kMethod.size() + kVersion.size())
        return false;
    const std::string_view target = line.substr(kMethod.size(), line.size() - kMethod.size() - kVersion.size());
    if (target[0] != '/' || std::any_of(target.begin(), target.end(), [](char ch) { return uchar(ch) <= 0x20 || uchar(ch) == 0x7f; }))
        return false;
    const std::string path(target.substr(0, target.find('?')));
    if (Board::serves(path.find('%') == std::string::npos ? path : httplib::detail::decode_url(path, false)))
        return false;
    bool lengthGiven = false;
    for (size_t at = lineEnd; at < head.size();) {
        const size_t end = head.find("\r\n", at);
        const std::string_view field = head.substr(at, end - at);
        at = end + 2;
        const size_t colon = field.find(':');
        if (colon == std::string_view::npos || colon == 0)
            return false;
        const std::string_view name = field.substr(0, colon);
        if (std::any_of(name.begin(), name.end(), [](char ch) { return uchar(ch) <= 0x20 || uchar(ch) == 0x7f; }))
            return false;
        const std::string_view value = trimmedBlanks(field.substr(colon + 1));
        if (sameNameAs(name, "content-length")) {
            if (lengthGiven || value.empty() || value.size() > 18
                || !std::all_of(value.begin(), value.end(), [](char ch) { return ch >= '0' && ch <= '9'; }))
                return false;
            lengthGiven = true;
            call.length = std::stoull(std::string(value));
        } else if (sameNameAs(name, "transfer-encoding") || sameNameAs(name, "expect")) {
            return false;
        } else if (sameNameAs(name, "connection")) {
            call.clientCloses = call.clientCloses || hasListToken(value, "close");
        }
    }
    // Without Content-Length (and without Transfer-Encoding) a request has no body.
    call.bodyStart = headEnd + 4;
    return true;
}

const char *reasonPhrase(int status)
{
    switch (status) {
    case 200: return "OK";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 404: return "Not Found";
    case 408: return "Request Timeout";
    case 413: return "Payload Too Large";
    case 429: return "Too Many Requests";
    default: return "Error";
    }
}

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

    Impl(const DatabaseSpec &database, const QByteArray &secret, const FrontOptions &opts)
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

    ~Impl()
    {
        for (int fd : {listenFd, wake[0], wake[1]}) {
            if (fd >= 0)
                ::close(fd);
        }
        if (tls)
            SSL_CTX_free(tls);
    }

    int boardWorkers() const { return options.boardWorkers > 0 ? options.boardWorkers : std::max(1, options.workers / 4); }

    // ---- Requests

    // What a request is answered with, whichever way it was read.
    struct Outcome {
        int status = 200;
        QByteArray body;
        bool close = false;  // the connection ends with this answer, its body perhaps unread
    };

    static void refuse(Outcome &out, int status, const QString &message, bool close)
    {
        out.status = status;
        out.body = refusal(message);
        out.close = close;
    }

    static void apply(const Outcome &out, httplib::Response &res)
    {
        res.status = out.status;
        res.set_content(out.body.constData(), size_t(out.body.size()), "application/json");
        if (out.close) {
            res.set_header("Connection", "close");
            t_closeAfter = true;
        }
    }

    // "Authorization: Bearer <token>", once, with the token exactly as in the token file
    // (bearerToken). A wrong token counts against the client's address, as on every door;
    // an address that must wait is not even tried. False with the refusal.
    bool headAllows(const std::string &peer, std::optional<uint64_t> declaredLength, Outcome &out)
    {
        const std::optional<std::string_view> given = t_authorizations == 1 ? bearerToken(t_authorization) : std::nullopt;
        if (given) {
            const std::string address = clientAddress(peer, t_forwardedFor, board->trustedProxy());
            if (const int wait = board->limit().waitFor(address); wait > 0) {
                refuse(out, 429, Board::waitMessage(wait), true);
                return false;
            }
            if (sameSecret(*given, token)) {
                board->limit().succeeded(address);
                t_authorised = true;
            } else {
                board->limit().failed(address);
            }
        }
        if (!t_authorised) {
            refuse(out, 401, QStringLiteral("Acesso negado: token ausente ou inválido."), true);
            return false;
        }
        if (declaredLength && *declaredLength > uint64_t(options.maxBody)) {
            refuse(out, 413, QStringLiteral("O corpo da requisição excede o limite de %1 bytes.").arg(options.maxBody), true);
            return false;
        }
        return true;
    }

    // The module and the method the target names: exactly two segments, neither empty
    // ("//m//x" and "/m/x/extra" name nothing). False with the refusal.
    static bool routes(QStringList &parts, Outcome &out)
    {
        const QByteArray target = QByteArray::fromStdString(t_target.substr(0, t_target.find('?')));
        const QList<QByteArray> raw = target.split('/');
        if (raw.size() != 3 || !raw[0].isEmpty() || raw[1].isEmpty() || raw[2].isEmpty()) {
            refuse(out, 404, QStringLiteral("Caminho inválido \"%1\": use /<módulo>/<método>.").arg(QString::fromUtf8(target)), true);
            return false;
        }
        parts = QStringList{QUrl::fromPercentEncoding(raw[1]), QUrl::fromPercentEncoding(raw[2])};
        const QString unknown = Dispatcher::unknownTarget(parts[0], parts[1]);
        if (!unknown.isEmpty()) {
            refuse(out, 404, unknown, true);
            return false;
        }
        return true;
    }

    // A whole body, read: the dispatcher's answer or the body's refusal.
    void answerCall(const QStringList &parts, std::string_view body, Outcome &out)
    {
        const QByteArray bytes = QByteArray::fromRawData(body.data(), qsizetype(body.size()));
        if (!QByteArrayView(bytes).isValidUtf8())
            return refuse(out, 400, QStringLiteral("O corpo da requisição não é um texto UTF-8 válido."), false);
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
        if (error.error != QJsonParseError::NoError)
            return refuse(out, 400, QStringLiteral("JSON inválido na posição %1: %2").arg(error.offset).arg(error.errorString()), false);
        if (!document.isObject() || !document.object().value(QStringLiteral("args")).isArray())
            return refuse(out, 400, QStringLiteral("O corpo deve ser um objeto {\"args\": [...]}."), false);
        const Clock::time_point started = Clock::now();
        out.status = 200;
        out.body = t_dispatcher->callText(parts[0], parts[1], document.object().value(QStringLiteral("args")),
                                          document.object().value(QStringLiteral("operacao")).toString());
        metrics.observeCall(parts[1].toStdString(), out.body.startsWith("{\"ok\":true"),
                            std::chrono::duration<double>(Clock::now() - started).count());
        ++served;
    }

    // The board's pages, the health check and the metrics. The sign-in form is the only body
    // the board reads, and it is small.
    void handleBoard(const httplib::Request &req, httplib::Response &res, const httplib::ContentReader *reader)
    {
        constexpr size_t kMaxForm = 4096;
        if (!reader) {
            t_authorised = board->serve(t_dispatcher->database(), req, res) || t_authorised;
        } else {
            std::string body;
            bool tooLarge = false;
            const bool complete = (*reader)([&](const char *data, size_t length) {
                tooLarge = body.size() + length > kMaxForm;
                if (!tooLarge)
                    body.append(data, length);
                return !tooLarge;
            });
            if (tooLarge || !complete) {
                Outcome out;
                refuse(out, tooLarge ? 413 : 408, QStringLiteral("Formulário inválido."), true);
                return apply(out, res);
            }
            httplib::Request form = req;
            httplib::detail::parse_query_text(body, form.params);
            t_authorised = board->serve(t_dispatcher->database(), form, res) || t_authorised;
        }
    }

    static std::optional<uint64_t> declaredLength(const httplib::Request &req)
    {
        if (!req.has_header("Content-Length"))
            return std::nullopt;
        return req.get_header_value<uint64_t>("Content-Length");
    }

    void handleCall(const httplib::Request &req, httplib::Response &res, const httplib::ContentReader &reader)
    {
        if (Board::serves(req.path))
            return handleBoard(req, res, &reader);
        Outcome out;
        QStringList parts;
        if (headAllows(req.remote_addr, declaredLength(req), out) && routes(parts, out)) {
            std::string body;
            bool tooLarge = false;
            const bool complete = reader([&](const char *data, size_t length) {
                if (body.size() + length > size_t(options.maxBody)) {
                    tooLarge = true;
                    return false;
                }
                body.append(data, length);
                return true;
            });
            if (tooLarge)
                refuse(out, 413, QStringLiteral("O corpo da requisição excede o limite de %1 bytes.").arg(options.maxBody), true);
            else if (!complete)
                refuse(out, 408, QStringLiteral("O corpo da requisição não chegou inteiro a tempo."), true);
            else
                answerCall(parts, body, out);
        }
        apply(out, res);
    }

    // A call in the shape hosts send it ("POST /<module>/<method> HTTP/1.1", its body's size
    // given once in Content-Length, nothing that changes how the message is framed) is read
    // and answered here, without cpp-httplib's general processing of the request and the
    // answer; every other request goes through it. Returns false when the connection must
    // close at once.
    bool servePlainCall(Connection &c, ConnectionStream &stream, const PlainCall &call)
    {
        c.offset = call.bodyStart;
        Outcome out;
        QStringList parts;
        std::string peer;
        int port = 0;
        stream.get_remote_ip_and_port(peer, port);
        if (headAllows(peer, call.length, out) && routes(parts, out)) {
            if (!stream.receive(size_t(call.length)))
                refuse(out, 408, QStringLiteral("O corpo da requisição não chegou inteiro a tempo."), true);
            else {
                answerCall(parts, std::string_view(c.buffer.data() + c.offset, size_t(call.length)), out);
                c.offset += size_t(call.length);
            }
        }
        metrics.observeAnswer(out.status);
        t_closeAfter = out.close || call.clientCloses;
        std::string head = "HTTP/1.1 " + std::to_string(out.status) + ' ' + reasonPhrase(out.status) + "\r\n";
        if (t_closeAfter)
            head += "Connection: close\r\n";
        head += "Content-Length: " + std::to_string(out.body.size()) + "\r\nContent-Type: application/json\r\n" + keepAliveHeader
            + "\r\n";
        return stream.write(head.data(), head.size()) >= 0 && stream.write(out.body.constData(), size_t(out.body.size())) >= 0;
    }

    void installHandlers()
    {
        processor.Post(R"(/.*)", [this](const httplib::Request &req, httplib::Response &res, const httplib::ContentReader &reader) {
            handleCall(req, res, reader);
        });
        const auto wrongVerb = [](const httplib::Request &, httplib::Response &res) {
            Outcome out;
            refuse(out, 405, QStringLiteral("Use POST /<módulo>/<método> com {\"args\": [...]}."), true);
            apply(out, res);
        };
        const auto wrongVerbWithBody = [wrongVerb](const httplib::Request &req, httplib::Response &res, const httplib::ContentReader &) {
            wrongVerb(req, res);
        };
        processor.Get(R"(/.*)", [this, wrongVerb](const httplib::Request &req, httplib::Response &res) {
            if (Board::serves(req.path))
                handleBoard(req, res, nullptr);
            else
                wrongVerb(req, res);
        });
        processor.set_logger([this](const httplib::Request &, const httplib::Response &res) { metrics.observeAnswer(res.status); });
        processor.Options(R"(/.*)", wrongVerb);
        processor.Put(R"(/.*)", wrongVerbWithBody);
        processor.Patch(R"(/.*)", wrongVerbWithBody);
        processor.Delete(R"(/.*)", wrongVerbWithBody);
        // "Expect: 100-continue": the token and the declared size are checked before the
        // client is invited to send the body.
        processor.set_expect_100_continue_handler([this](const httplib::Request &req, httplib::Response &res) {
            Outcome out;
            if (Board::serves(req.path) || headAllows(req.remote_addr, declaredLength(req), out))
                return 100;
            apply(out, res);
            return out.status;
        });
        processor.set_error_handler([](const httplib::Request &, httplib::Response &res) {
            if (res.body.empty())
                res.set_content(refusal(QStringLiteral("Requisição não atendida (HTTP %1).").arg(res.status)).toStdString(),
                                "application/json");
            if (res.status >= 400 && res.status != 401 && res.status != 404 && res.status != 405)
                t_closeAfter = true;
        });
        processor.set_payload_max_length(size_t(options.maxBody));
        processor.set_keep_alive_timeout(std::max(1, options.idleTimeoutMs / 1000));
        keepAliveHeader = "Keep-Alive: timeout=" + std::to_string(std::max(1, options.idleTimeoutMs / 1000)) + ", max=1000000\r\n";
        processor.set_keep_alive_max_count(1'000'000);
    }

    // ---- Workers

    void workerLoop(bool forBoard)
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
    static bool forBoard(const Connection &c)
    {
        const size_t space = c.buffer.find(' ', c.offset);
        const size_t end = space == std::string::npos ? space : c.buffer.find_first_of(" ?\r", space + 1);
        if (end == std::string::npos)
            return false;
        const std::string_view target(c.buffer.data() + space + 1, end - space - 1);
        return target == "/painel" || target.starts_with("/painel/") || target == "/metricas";
    }

    void serve(Connection *c)
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

    bool nextComesSoon(Connection *c, ConnectionStream &stream)
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

    void linger(Connection *c)
    {
        if (c->ssl)
            SSL_shutdown(c->ssl);
        ::shutdown(c->fd, SHUT_WR);
        c->state = Connection::State::Draining;
        c->deadline = Clock::now() + std::chrono::milliseconds(kLingerMs);
        giveBack(c);
    }

    void giveBack(Connection *c)
    {
        {
            std::lock_guard lock(mutex);
            returned.push_back(c);
        }
        const char byte = 1;
        [[maybe_unused]] const ssize_t n = ::write(wake[1], &byte, 1);
    }

    void closeConnection(Connection *c)
    {
        if (c->ssl)
            SSL_free(c->ssl);
        ::close(c->fd);
        delete c;
        --open;
    }

    // ---- The accepting thread

    void dispatch(Connection *c)
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

    void forget(Connection *c)
    {
        waiting.erase(std::remove(waiting.begin(), waiting.end(), c), waiting.end());
        heldTotal -= c->held;
        c->held = 0;
    }

    // Counts a waiting connection's buffer against the budget of the unauthenticated ones.
    void account(Connection *c)
    {
        const size_t now = c->served ? 0 : c->buffer.capacity();
        heldTotal = heldTotal - c->held + now;
        c->held = now;
    }

    // Over the budget, the oldest unauthenticated connections that hold bytes are closed.
    // False when `c` itself was.
    bool keepWithinBudget(Connection *c)
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

    void acceptAll()
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
    bool evictIdle()
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
    void receive(Connection *c)
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

    void handshake(Connection *c)
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

    void expire(Connection *c)
    {
        // A request begun and not finished in time is told so; an idle connection just ends.
        if (c->state == Connection::State::Waiting && c->unread() > 0)
            answerAndForget(*c, 408, "Request Timeout",
                            QStringLiteral("A requisição não chegou inteira em %1 ms.").arg(options.readTimeoutMs));
        forget(c);
        closeConnection(c);
    }

    void takeReturned()
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

    void acceptLoop()
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

    // ---- Start and stop

    quint16 listen(const QString &address, quint16 port)
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

    void run()
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

    void stop()
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
};

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

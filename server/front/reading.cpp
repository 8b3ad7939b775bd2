#include "front/httpfront_impl.h"

#include <netdb.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <cstring>

namespace server {

namespace front {

namespace {

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

}  // namespace

bool ConnectionStream::is_readable() const
{
    return m_c.unread() > 0 || (m_c.ssl && SSL_pending(m_c.ssl) > 0) || waitFor(m_c.fd, POLLIN, 0);
}

// Reading 0 bytes takes what has arrived into the buffer.
ssize_t ConnectionStream::read(char *ptr, size_t size)
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
ssize_t ConnectionStream::write(const char *ptr, size_t size)
{
    if (size >= kHeldBytes)
        return flush() && sendAll(ptr, size) ? ssize_t(size) : -1;
    m_out.append(ptr, size);
    if (m_out.size() >= kHeldBytes && !flush())
        return -1;
    return ssize_t(size);
}

// Sends what the writes held, within the write time-out.
bool ConnectionStream::flush()
{
    const bool sent = sendAll(m_out.data(), m_out.size());
    m_out.clear();
    return sent;
}

// Waits, within the request's deadline, until `size` unread bytes are here.
bool ConnectionStream::receive(size_t size)
{
    while (m_c.unread() < size) {
        if (!fill())
            return false;
    }
    return true;
}

void ConnectionStream::get_remote_ip_and_port(std::string &ip, int &port) const
{
    if (m_c.remoteIp.empty())
        address(false, m_c.remoteIp, m_c.remotePort);
    ip = m_c.remoteIp;
    port = m_c.remotePort;
}

void ConnectionStream::get_local_ip_and_port(std::string &ip, int &port) const
{
    if (m_c.localIp.empty())
        address(true, m_c.localIp, m_c.localPort);
    ip = m_c.localIp;
    port = m_c.localPort;
}

bool ConnectionStream::sendAll(const char *from, size_t size)
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

bool ConnectionStream::fill()
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

void ConnectionStream::address(bool local, std::string &ip, int &port) const
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

}  // namespace front



}  // namespace server

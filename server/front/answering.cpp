#include "front/httpfront_impl.h"

#include "board/board_access.h"
#include "methods/dispatcher.h"

#include <QByteArrayView>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

#include <algorithm>
#include <chrono>

namespace server {

namespace front {

namespace {

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

}  // namespace

}  // namespace front

void HttpFront::Impl::refuse(Outcome &out, int status, const QString &message, bool close)
{
    out.status = status;
    out.body = refusal(message);
    out.close = close;
}

void HttpFront::Impl::apply(const Outcome &out, httplib::Response &res)
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
bool HttpFront::Impl::headAllows(const std::string &peer, std::optional<uint64_t> declaredLength, Outcome &out)
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
bool HttpFront::Impl::routes(QStringList &parts, Outcome &out)
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
void HttpFront::Impl::answerCall(const QStringList &parts, std::string_view body, Outcome &out)
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
void HttpFront::Impl::handleBoard(const httplib::Request &req, httplib::Response &res, const httplib::ContentReader *reader)
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

std::optional<uint64_t> HttpFront::Impl::declaredLength(const httplib::Request &req)
{
    if (!req.has_header("Content-Length"))
        return std::nullopt;
    return req.get_header_value<uint64_t>("Content-Length");
}

void HttpFront::Impl::handleCall(const httplib::Request &req, httplib::Response &res, const httplib::ContentReader &reader)
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
bool HttpFront::Impl::servePlainCall(Connection &c, ConnectionStream &stream, const PlainCall &call)
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

void HttpFront::Impl::installHandlers()
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

}  // namespace server

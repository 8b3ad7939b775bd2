// The release board's pages, its sign-in, the audit export and the metrics, on the sample
// data; the pages are asked of the board directly, the metrics and the health check of a
// real server over HTTP.

#include "serverenv.h"
#include "serverprocess.h"

#include "audit.h"
#include "board.h"
#include "metrics.h"

#include <httplib.h>

#include <QCoreApplication>
#include <QDate>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>

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
};

class ServerBoard : public SampleServerTest {
protected:
    Page get(const std::string &path, const httplib::Headers &headers = {}, const httplib::Params &params = {})
    {
        return ask("GET", path, headers, params);
    }
    Page ask(const std::string &method, const std::string &path, const httplib::Headers &headers = {},
             const httplib::Params &params = {}, const std::string &address = "127.0.0.1")
    {
        httplib::Request req;
        req.method = method;
        req.path = path;
        req.headers = headers;
        req.params = params;
        req.remote_addr = address;
        httplib::Response res;
        m_board.serve(db(), req, res);
        return {res.status, res.body, res.headers};
    }
    httplib::Headers bearer() const { return {{"Authorization", "Bearer " + kToken.toStdString()}}; }
    httplib::Headers cookie() const { return {{"Cookie", "x=1; homologa_painel=" + m_board.sessionValue().toStdString()}}; }

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

TEST_F(ServerBoard, SignInSetsAHardenedCookieAndIsLimited)
{
    Page page = ask("POST", "/painel/entrar", {}, {{"token", kToken.toStdString() + "\n"}});
    EXPECT_EQ(page.status, 303);
    EXPECT_EQ(page.header("Location"), "/painel");
    const std::string cookieHeader = page.header("Set-Cookie");
    EXPECT_NE(cookieHeader.find("homologa_painel=" + m_board.sessionValue().toStdString()), std::string::npos);
    EXPECT_NE(cookieHeader.find("HttpOnly"), std::string::npos);
    EXPECT_NE(cookieHeader.find("SameSite=Strict"), std::string::npos);
    EXPECT_EQ(cookieHeader.find("Secure"), std::string::npos) << "plain HTTP";
    EXPECT_EQ(cookieHeader.find(kToken.toStdString()), std::string::npos) << "the token itself never goes into the cookie";

    server::Board tlsBoard(kToken, true, m_metrics);
    httplib::Request req;
    req.method = "POST";
    req.path = "/painel/entrar";
    req.params = {{"token", kToken.toStdString()}};
    httplib::Response res;
    tlsBoard.serve(db(), req, res);
    EXPECT_NE(res.get_header_value("Set-Cookie").find("; Secure"), std::string::npos);

    // Wrong tokens from one address: refused, then not even tried; another address may still sign in.
    for (int i = 0; i < server::Board::kMaxFailedSignIns; ++i)
        EXPECT_EQ(ask("POST", "/painel/entrar", {}, {{"token", "errado"}}, "10.0.0.9").status, 401);
    EXPECT_EQ(ask("POST", "/painel/entrar", {}, {{"token", kToken.toStdString()}}, "10.0.0.9").status, 429);
    EXPECT_EQ(ask("POST", "/painel/entrar", {}, {{"token", kToken.toStdString()}}, "10.0.0.10").status, 303);
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
    EXPECT_EQ(tags({today, today, {}}), 1);
    EXPECT_EQ(tags({tomorrow, {}, {}}), 0);
    EXPECT_EQ(tags({{}, yesterday, {}}), 0);
    EXPECT_EQ(tags({{}, {}, kProduct}), 1);
    EXPECT_EQ(tags({{}, {}, QStringLiteral("0000000002")}), 0);
    EXPECT_THROW(server::auditTrail(db(), {QStringLiteral("07/12/2026"), {}, {}}), server::ServerError);
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

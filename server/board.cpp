#include "board.h"

#include "audit.h"
#include "board_pages.h"
#include "database.h"
#include "datasets.h"
#include "metrics.h"

#include <httplib.h>
#include <kainjow/mustache.hpp>
#include <openssl/crypto.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QMessageAuthenticationCode>
#include <QSet>

#include <algorithm>
#include <cstring>

namespace server {

namespace {

using kainjow::mustache::data;
using kainjow::mustache::mustache;

const char *const kCookie = "homologa_painel";
constexpr int kRefreshSeconds = 15;

// The board's columns: every phase but the closing one.
QList<QPair<QString, QString>> openPhases() { return groupPhases().mid(0, groupPhases().size() - 1); }

// "001 · Pendente".
QString groupPhaseTitle(const QString &code)
{
    const QString name = groupPhaseName(code);
    return name.isEmpty() ? code : code + QStringLiteral(" · ") + name;
}

// The situation of a request in its group, as the screen names it.
QString requestStatusName(const QString &code)
{
    static const QMap<QString, QString> names{
        {QStringLiteral("000"), QStringLiteral("Fora da Tramitação")},
        {QStringLiteral("001"), QStringLiteral("Aguardando Geração de Patch")},
        {QStringLiteral("002"), QStringLiteral("Patch gerada")},
        {QStringLiteral("003"), QStringLiteral("Não Validada")},
        {QStringLiteral("004"), QStringLiteral("Validada com erro")},
        {QStringLiteral("005"), QStringLiteral("Validada sem Erro")},
        {QStringLiteral("006"), QStringLiteral("Homologada")},
        {QStringLiteral("007"), QStringLiteral("Aguardando Regeração de Patch")},
    };
    return names.value(code, code);
}

QString decisionName(const QString &homologar, const QString &regerar, const QString &erro)
{
    if (homologar == u"S")
        return QStringLiteral("Homologar");
    if (regerar == u"S")
        return QStringLiteral("Regerar patch");
    if (erro == u"S")
        return QStringLiteral("Voltar com erro");
    return {};
}

// VRRPPP shown as 9.99.999.
QString releaseText(const QString &code)
{
    if (code.size() != 6)
        return code;
    return code.left(1) + u'.' + code.mid(1, 2) + u'.' + code.mid(3);
}

QString timeText(const QString &stored) { return QString(stored).replace(u'T', u' '); }

std::string s(const QString &text) { return text.toStdString(); }

data textObject(const QVariantMap &row);

data textList(const QList<QVariantMap> &rows)
{
    data list{data::type::list};
    for (const QVariantMap &row : rows)
        list.push_back(textObject(row));
    return list;
}

// The rows of a query as template values, column i named names[i].
data namedRows(Database &db, const QString &sql, const QVariantList &values, const QStringList &names)
{
    QList<QVariantMap> rows;
    for (const QStringList &row : queryRows(db, sql, values)) {
        QVariantMap named;
        for (qsizetype i = 0; i < names.size(); ++i)
            named.insert(names[i], row.value(i));
        rows.append(named);
    }
    return textList(rows);
}

std::string render(const char *templateText, const data &values)
{
    mustache page{std::string(templateText)};
    return page.render(values);
}

void securityHeaders(httplib::Response &res)
{
    res.set_header("Content-Security-Policy",
                   "default-src 'none'; style-src 'self'; script-src 'self'; connect-src 'self'; img-src 'self'; "
                   "form-action 'self'; frame-ancestors 'none'; base-uri 'none'");
    res.set_header("X-Content-Type-Options", "nosniff");
    res.set_header("Referrer-Policy", "no-referrer");
    res.set_header("Cache-Control", "no-store");
}

void page(httplib::Response &res, int status, const QString &title, const std::string &content, bool signedIn)
{
    data layout;
    layout.set("titulo", s(title));
    layout.set("conteudo", content);
    layout.set("assinado", signedIn);
    res.status = status;
    securityHeaders(res);
    res.set_content(render(pages::kLayout, layout), "text/html; charset=utf-8");
}

void signInPage(httplib::Response &res, int status, const QString &error)
{
    data form;
    if (!error.isEmpty())
        form.set("erro", s(error));
    page(res, status, QStringLiteral("Entrar no painel"), render(pages::kSignIn, form), false);
}

std::string cookieOf(const httplib::Request &req)
{
    const std::string header = req.get_header_value("Cookie");
    const std::string name = std::string(kCookie) + "=";
    size_t at = 0;
    while (at < header.size()) {
        while (at < header.size() && (header[at] == ' ' || header[at] == ';'))
            ++at;
        const size_t end = std::min(header.find(';', at), header.size());
        if (header.compare(at, name.size(), name) == 0)
            return header.substr(at + name.size(), end - at - name.size());
        at = end;
    }
    return {};
}

bool sameBytes(const QByteArray &a, const QByteArray &b)
{
    return a.size() == b.size() && CRYPTO_memcmp(a.constData(), b.constData(), size_t(a.size())) == 0;
}

// ---- Pages

struct Card {
    QString code, name, product, release;
    QList<QVariantMap> requests;
    QStringList tags;
    QVariantMap last;
};

data textObject(const QVariantMap &row)
{
    data item;
    for (auto it = row.begin(); it != row.end(); ++it)
        item.set(s(it.key()), s(it.value().toString()));
    return item;
}

// The tags made for each group and not removed since, oldest first.
QMap<QString, QStringList> tagsOfGroups(Database &db)
{
    QMap<QString, QStringList> tags;
    for (const QStringList &row : queryRows(
             db, QStringLiteral("SELECT CDGRUPHOMOL, TPEVENTO, DSANTES, DSDEPOIS FROM EVENTO WHERE TPEVENTO IN (?, ?) ORDER BY NRSEQEVENTO"),
             {eventKind::Tag, eventKind::TagRemoved})) {
        if (row[1] == eventKind::Tag)
            tags[row[0]].append(row[3]);
        else
            tags[row[0]].removeAll(row[2]);
    }
    return tags;
}

std::string columnsHtml(Database &db, const QString &product)
{
    const QString productFilter = product.isEmpty() ? QString() : QStringLiteral(" AND G.CDPRODUTO = ?");
    const QVariantList productValue = product.isEmpty() ? QVariantList{} : QVariantList{product};
    QMap<QString, Card> cards;
    QMap<QString, QStringList> byPhase;
    for (const QStringList &row :
         queryRows(db,
                   QStringLiteral("SELECT G.CDGRUPHOMOL, G.DSGRUPHOMOL, COALESCE(P.NMPRODUTO, G.CDPRODUTO), G.CDRELEASEGHOM, "
                                  "G.IDSTGRUPHOM FROM GRUPOHOMOL G LEFT JOIN PRODUTO P ON P.CDPRODUTO = G.CDPRODUTO "
                                  "WHERE G.IDSTGRUPHOM <> '007'")
                       + productFilter + QStringLiteral(" ORDER BY G.CDGRUPHOMOL"),
                   productValue)) {
        Card card;
        card.code = row[0];
        card.name = row[1];
        card.product = row[2];
        card.release = releaseText(row[3]);
        cards.insert(row[0], card);
        byPhase[row[4]].append(row[0]);
    }
    for (const QStringList &row :
         queryRows(db,
                   QStringLiteral("SELECT SG.CDGRUPHOMOL, SG.CDFILIAL, SG.NRSOLISERV, COALESCE(S.DSREFESOLI, ''), "
                                  "COALESCE(F.DSSTFASETRAM, S.CDFASETRAM, ''), SG.IDSTSOLIGRUP, SG.IDHOMOLSOL, SG.IDENCSOLPATCREG, "
                                  "SG.IDRETSOLERROPRO FROM SOLIGRUPO SG JOIN GRUPOHOMOL G ON G.CDGRUPHOMOL = SG.CDGRUPHOMOL "
                                  "LEFT JOIN SOLICITACAO S ON S.CDFILIAL = SG.CDFILIAL AND S.NRSOLISERV = SG.NRSOLISERV "
                                  "LEFT JOIN FASETRAM F ON F.CDFASETRAM = S.CDFASETRAM WHERE G.IDSTGRUPHOM <> '007'")
                       + productFilter + QStringLiteral(" ORDER BY SG.CDGRUPHOMOL, SG.NRPRIOSOLI, SG.NRSOLISERV"),
                   productValue)) {
        auto card = cards.find(row[0]);
        if (card == cards.end())
            continue;
        QVariantMap request{{QStringLiteral("filial"), row[1]},
                            {QStringLiteral("numero"), row[2]},
                            {QStringLiteral("referencia"), row[3]},
                            {QStringLiteral("fase"), row[4]},
                            {QStringLiteral("situacao"), requestStatusName(row[5])}};
        const QString decision = decisionName(row[6], row[7], row[8]);
        if (!decision.isEmpty())
            request.insert(QStringLiteral("decisao"), decision);
        card->requests.append(request);
    }
    // The last transition: the group's latest transition log, then, later still, the phase
    // changes kept as events (every advance since the audit began).
    const QList<QStringList> logs = queryRows(
        db,
        QStringLiteral("SELECT L.CDGRUPHOMOL, COALESCE(O.NMOPERADOR, L.CDOPERADOR), L.DTLOGTRAM, L.IDSTGRUPANT, "
                       "L.IDSTGRUPNOVO FROM LOGTRAM L JOIN GRUPOHOMOL G ON G.CDGRUPHOMOL = L.CDGRUPHOMOL "
                       "LEFT JOIN OPERADOR O ON O.CDOPERADOR = L.CDOPERADOR WHERE G.IDSTGRUPHOM <> '007' AND "
                       "L.NRSEQLOG = (SELECT MAX(X.NRSEQLOG) FROM LOGTRAM X WHERE X.CDGRUPHOMOL = L.CDGRUPHOMOL)")
            + productFilter,
        productValue);
    const QList<QStringList> phaseEvents = queryRows(
        db,
        QStringLiteral("SELECT E.CDGRUPHOMOL, COALESCE(O.NMOPERADOR, E.CDOPERADOR), E.DTEVENTO, E.DSANTES, E.DSDEPOIS "
                       "FROM EVENTO E JOIN GRUPOHOMOL G ON G.CDGRUPHOMOL = E.CDGRUPHOMOL LEFT JOIN OPERADOR O "
                       "ON O.CDOPERADOR = E.CDOPERADOR WHERE E.TPEVENTO = ? AND G.IDSTGRUPHOM <> '007'")
            + productFilter + QStringLiteral(" ORDER BY E.NRSEQEVENTO"),
        QVariantList{eventKind::GroupPhase} + productValue);
    for (const QStringList &row : logs + phaseEvents) {
        auto card = cards.find(row[0]);
        if (card == cards.end())
            continue;
        card->last = {{QStringLiteral("operador"), row[1].isEmpty() ? QStringLiteral("—") : row[1]},
                      {QStringLiteral("quando"), timeText(row[2])},
                      {QStringLiteral("anterior"), row[3]},
                      {QStringLiteral("nova"), row[4]}};
    }
    const QMap<QString, QStringList> tags = tagsOfGroups(db);
    for (auto it = tags.begin(); it != tags.end(); ++it) {
        auto card = cards.find(it.key());
        if (card == cards.end())
            continue;
        card->tags = it.value();
    }

    data columns{data::type::list};
    for (const auto &[phase, name] : openPhases()) {
        data column;
        column.set("fase", s(phase));
        column.set("nome", s(name));
        const QStringList codes = byPhase.value(phase);
        column.set("quantos", std::to_string(codes.size()));
        data list{data::type::list};
        for (const QString &code : codes) {
            const Card &card = cards.value(code);
            data item;
            item.set("codigo", s(card.code));
            item.set("nome", s(card.name));
            item.set("produto", s(card.product));
            if (!card.release.isEmpty())
                item.set("release", s(card.release));
            if (!card.last.isEmpty())
                item.set("ultima", textObject(card.last));
            QList<QVariantMap> tags;
            for (const QString &tag : card.tags)
                tags.append({{QStringLiteral("nome"), tag}});
            item.set("tags", textList(tags));
            item.set("solicitacoes", textList(card.requests));
            list.push_back(item);
        }
        column.set("cartoes", list);
        columns.push_back(column);
    }
    data values;
    values.set("colunas", columns);
    return render(pages::kColumns, values);
}

std::string boardHtml(Database &db, const QString &product, int refreshSeconds)
{
    data products{data::type::list};
    for (const QStringList &row : queryRows(db, QStringLiteral("SELECT CDPRODUTO, NMPRODUTO FROM PRODUTO ORDER BY NMPRODUTO"))) {
        data item;
        item.set("codigo", s(row[0]));
        item.set("nome", s(row[1].isEmpty() ? row[0] : row[1]));
        item.set("selecionado", row[0] == product);
        products.push_back(item);
    }
    data values;
    values.set("produtos", products);
    values.set("colunas", columnsHtml(db, product));
    values.set("intervalo", std::to_string(refreshSeconds));
    return render(pages::kBoard, values);
}

// The group's page; false when there is no such group.
bool groupHtml(Database &db, const QString &code, QString &title, std::string &html)
{
    const QList<QStringList> groups = queryRows(
        db,
        QStringLiteral("SELECT G.CDGRUPHOMOL, G.DSGRUPHOMOL, COALESCE(P.NMPRODUTO, G.CDPRODUTO), G.CDRELEASEGHOM, G.IDSTGRUPHOM, "
                       "COALESCE(G.DTCRIAGRHOM, ''), COALESCE(G.DTHRHOMOGRUPSOL, '') FROM GRUPOHOMOL G LEFT JOIN PRODUTO P "
                       "ON P.CDPRODUTO = G.CDPRODUTO WHERE G.CDGRUPHOMOL = ?"),
        {code});
    if (groups.isEmpty())
        return false;
    const QStringList &g = groups.first();
    title = QStringLiteral("Grupo %1 · %2").arg(g[0], g[1]);
    data values;
    values.set("produto", s(g[2]));
    values.set("fase", s(groupPhaseTitle(g[4])));
    values.set("release", s(releaseText(g[3])));
    values.set("criado", s(timeText(g[5])));
    if (g[4] == u"007" && !g[6].isEmpty())
        values.set("encerrado", s(timeText(g[6])));

    QList<QVariantMap> requests;
    for (const QStringList &row :
         queryRows(db,
                   QStringLiteral("SELECT SG.CDFILIAL, SG.NRSOLISERV, COALESCE(S.DSREFESOLI, ''), COALESCE(F.DSSTFASETRAM, ''), "
                                  "SG.IDSTSOLIGRUP, SG.IDHOMOLSOL, SG.IDENCSOLPATCREG, SG.IDRETSOLERROPRO, "
                                  "COALESCE(J.DSALTPROCHOMOL, '') FROM SOLIGRUPO SG LEFT JOIN SOLICITACAO S ON "
                                  "S.CDFILIAL = SG.CDFILIAL AND S.NRSOLISERV = SG.NRSOLISERV LEFT JOIN FASETRAM F ON "
                                  "F.CDFASETRAM = S.CDFASETRAM LEFT JOIN JUSTIFICATIVA J ON J.CDGRUPHOMOL = SG.CDGRUPHOMOL "
                                  "AND J.CDFILIAL = SG.CDFILIAL AND J.NRSOLISERV = SG.NRSOLISERV WHERE SG.CDGRUPHOMOL = ? "
                                  "ORDER BY SG.NRPRIOSOLI, SG.NRSOLISERV"),
                   {code}))
        requests.append({{QStringLiteral("filial"), row[0]},
                         {QStringLiteral("numero"), row[1]},
                         {QStringLiteral("referencia"), row[2]},
                         {QStringLiteral("fase"), row[3]},
                         {QStringLiteral("situacao"), requestStatusName(row[4])},
                         {QStringLiteral("decisao"), decisionName(row[5], row[6], row[7])},
                         {QStringLiteral("justificativa"), row[8]}});
    values.set("solicitacoes", textList(requests));

    values.set("arquivos",
               namedRows(db,
                         QStringLiteral("SELECT A.NRSOLISERV, A.DSDIRARQCHECKOU, A.CDRELEASEARQATU FROM SOLIGRUPO SG JOIN ARQMODIF A "
                                        "ON A.CDFILIAL = SG.CDFILIAL AND A.NRSOLISERV = SG.NRSOLISERV WHERE SG.CDGRUPHOMOL = ? "
                                        "ORDER BY A.NRSOLISERV, A.DSARQCHAVE"),
                         {code}, {QStringLiteral("numero"), QStringLiteral("arquivo"), QStringLiteral("revisao")}));
    values.set("versoes", namedRows(db,
                                    QStringLiteral("SELECT DSARQSVNHOMOL, NRREVANTARQSVN, NRREVATUARQSVN FROM VERSARQHOM "
                                                   "WHERE CDGRUPHOMOL = ? ORDER BY DSARQCHAVE"),
                                    {code}, {QStringLiteral("arquivo"), QStringLiteral("anterior"), QStringLiteral("nova")}));

    QList<QVariantMap> decisions, tags;
    for (const QStringList &row :
         queryRows(db,
                   QStringLiteral("SELECT E.DTEVENTO, COALESCE(O.NMOPERADOR, E.CDOPERADOR), E.NRSOLISERV, E.TPEVENTO, E.DSANTES, "
                                  "E.DSDEPOIS, E.TXDETALHE FROM EVENTO E LEFT JOIN OPERADOR O ON O.CDOPERADOR = E.CDOPERADOR "
                                  "WHERE E.CDGRUPHOMOL = ? AND E.TPEVENTO IN (?, ?, ?, ?) ORDER BY E.NRSEQEVENTO"),
                   {code, eventKind::Decision, eventKind::Justification, eventKind::Tag, eventKind::TagRemoved})) {
        if (row[3] == eventKind::Tag || row[3] == eventKind::TagRemoved) {
            tags.append({{QStringLiteral("quando"), timeText(row[0])},
                         {QStringLiteral("operador"), row[1]},
                         {QStringLiteral("evento"), row[3] == eventKind::Tag ? QStringLiteral("criada") : QStringLiteral("removida")},
                         {QStringLiteral("nome"), row[3] == eventKind::Tag ? row[5] : row[4]}});
            continue;
        }
        decisions.append({{QStringLiteral("quando"), timeText(row[0])},
                          {QStringLiteral("operador"), row[1]},
                          {QStringLiteral("numero"), row[2]},
                          {QStringLiteral("evento"), row[3]},
                          {QStringLiteral("antes"), row[4]},
                          {QStringLiteral("depois"), row[5]},
                          {QStringLiteral("detalhe"), row[6]}});
    }
    values.set("decisoes", textList(decisions));
    values.set("tags", textList(tags));

    values.set("logs", namedRows(db,
                                 QStringLiteral("SELECT REPLACE(L.DTLOGTRAM, 'T', ' '), COALESCE(O.NMOPERADOR, L.CDOPERADOR), "
                                                "L.IDSTGRUPANT, L.IDSTGRUPNOVO, L.TXLOGTRAM FROM LOGTRAM L LEFT JOIN OPERADOR O "
                                                "ON O.CDOPERADOR = L.CDOPERADOR WHERE L.CDGRUPHOMOL = ? ORDER BY L.NRSEQLOG"),
                                 {code},
                                 {QStringLiteral("quando"), QStringLiteral("operador"), QStringLiteral("anterior"),
                                  QStringLiteral("nova"), QStringLiteral("texto")}));
    html = render(pages::kGroup, values);
    return true;
}

std::string historyHtml(Database &db, int pageNumber)
{
    const int total = db.scalar(QStringLiteral("SELECT COUNT(*) FROM GRUPOHOMOL WHERE IDSTGRUPHOM = '007'")).toInt();
    // A page past the last shows the last: the offset stays within the rows there are.
    pageNumber = std::clamp(pageNumber, 1, std::max(1, (total + Board::kHistoryPageSize - 1) / Board::kHistoryPageSize));
    QList<QVariantMap> groups;
    for (const QStringList &row :
         queryRows(db,
                   QStringLiteral("SELECT G.CDGRUPHOMOL, G.DSGRUPHOMOL, COALESCE(P.NMPRODUTO, G.CDPRODUTO), G.CDRELEASEGHOM, "
                                  "COALESCE(G.DTHRHOMOGRUPSOL, '') FROM GRUPOHOMOL G LEFT JOIN PRODUTO P ON P.CDPRODUTO = G.CDPRODUTO "
                                  "WHERE G.IDSTGRUPHOM = '007' ORDER BY G.DTHRHOMOGRUPSOL DESC, G.CDGRUPHOMOL DESC LIMIT ? OFFSET ?"),
                   {Board::kHistoryPageSize, (pageNumber - 1) * Board::kHistoryPageSize}))
        groups.append({{QStringLiteral("codigo"), row[0]},
                       {QStringLiteral("nome"), row[1]},
                       {QStringLiteral("produto"), row[2]},
                       {QStringLiteral("release"), releaseText(row[3])},
                       {QStringLiteral("encerrado"), timeText(row[4])}});
    data values;
    values.set("grupos", textList(groups));
    values.set("pagina", std::to_string(pageNumber));
    if (pageNumber > 1)
        values.set("anterior", std::to_string(pageNumber - 1));
    if (pageNumber * Board::kHistoryPageSize < total)
        values.set("proxima", std::to_string(pageNumber + 1));
    return render(pages::kHistory, values);
}

}  // namespace

Board::Board(const QByteArray &token, bool tls, Metrics &metrics, const std::atomic<int> *openConnections)
    : m_token(token),
      m_session(QMessageAuthenticationCode::hash("homologa-painel", token, QCryptographicHash::Sha256).toHex()),
      m_tls(tls),
      m_metrics(metrics),
      m_openConnections(openConnections)
{
}

bool Board::serves(const std::string &path)
{
    return path == "/painel" || path.rfind("/painel/", 0) == 0 || path == "/saude" || path == "/metricas" || path == "/favicon.ico";
}

bool Board::signedIn(const httplib::Request &req) const
{
    if (m_token.isEmpty())
        return false;
    const std::string authorization = req.get_header_value("Authorization");
    if (authorization.rfind("Bearer ", 0) == 0)
        return sameBytes(QByteArray::fromStdString(authorization.substr(7)), m_token);
    return sameBytes(QByteArray::fromStdString(cookieOf(req)), m_session);
}

bool Board::allowSignIn(const std::string &address)
{
    std::lock_guard lock(m_mutex);
    auto &failures = m_failures[address];
    const auto now = std::chrono::steady_clock::now();
    while (!failures.empty() && now - failures.front() > std::chrono::minutes(1))
        failures.pop_front();
    return int(failures.size()) < kMaxFailedSignIns;
}

void Board::recordFailedSignIn(const std::string &address)
{
    std::lock_guard lock(m_mutex);
    m_failures[address].push_back(std::chrono::steady_clock::now());
    // Addresses that stopped trying are forgotten, so that the table stays small.
    if (m_failures.size() > 10'000)
        m_failures.clear();
}

void Board::signIn(const httplib::Request &req, httplib::Response &res)
{
    if (!allowSignIn(req.remote_addr)) {
        signInPage(res, 429, QStringLiteral("Muitas tentativas de entrada. Aguarde um minuto e tente novamente."));
        return;
    }
    const QByteArray given = QByteArray::fromStdString(req.get_param_value("token")).trimmed();
    if (m_token.isEmpty() || !sameBytes(given, m_token)) {
        recordFailedSignIn(req.remote_addr);
        signInPage(res, 401, QStringLiteral("Token inválido. Use o token do arquivo --token-file do servidor."));
        return;
    }
    setSessionAndGoToBoard(res, m_session.toStdString() + "; Path=/; HttpOnly; SameSite=Strict");
}

// Sets the session cookie (its value and attributes) and sends the browser to the board.
void Board::setSessionAndGoToBoard(httplib::Response &res, const std::string &cookie) const
{
    res.set_header("Set-Cookie", std::string(kCookie) + "=" + cookie + (m_tls ? "; Secure" : ""));
    res.set_header("Location", "/painel");
    securityHeaders(res);
    res.status = 303;
}

// Anyone may ask (a load balancer does): without the token the answer is the status alone,
// which names no file, user nor host; why the database is unavailable goes to the server's
// log (once for each new reason) and to an asker with the token.
void Board::health(Database &db, const httplib::Request &req, httplib::Response &res)
{
    QString status = QStringLiteral("ok"), detail;
    try {
        db.ensureOpen();
        if (db.readOnly()) {
            status = QStringLiteral("somente-leitura");
            detail = QStringLiteral("O banco de dados %1 está somente para leitura: as consultas são atendidas, as "
                                    "alterações recusadas.")
                         .arg(db.spec().describe());
        }
        // Reachable, and writable when it says so: a write transaction is begun and rolled back.
        Transaction transaction(db, status == u"ok");
        db.scalar(QStringLiteral("SELECT COUNT(*) FROM SEQUENCIA"));
    } catch (const ServerError &error) {
        status = QStringLiteral("indisponivel");
        detail = error.message();
    }
    {
        std::lock_guard lock(m_mutex);
        if (detail != m_lastHealthDetail && !detail.isEmpty())
            qWarning("%s", qUtf8Printable(QStringLiteral("/saude: %1").arg(detail)));
        m_lastHealthDetail = detail;
    }
    QJsonObject answer{{QStringLiteral("ok"), status != u"indisponivel"}, {QStringLiteral("status"), status}};
    if (!detail.isEmpty() && signedIn(req))
        answer.insert(QStringLiteral("error"), detail);
    res.status = status == u"indisponivel" ? 503 : 200;
    res.set_content(QJsonDocument(answer).toJson(QJsonDocument::Compact).toStdString(), "application/json");
}

void Board::serve(Database &db, const httplib::Request &req, httplib::Response &res)
{
    const std::string &path = req.path;
    if (path == "/saude")
        return health(db, req, res);
    res.status = 200;
    if (path == "/favicon.ico") {
        // Browsers ask for it on every page; the board has none.
        res.status = 204;
        return;
    }
    if (path == "/painel/estilo.css") {
        res.set_header("Cache-Control", "max-age=300");
        res.set_header("X-Content-Type-Options", "nosniff");
        res.set_content(pages::kStyle, "text/css; charset=utf-8");
        return;
    }
    if (path == "/painel/painel.js") {
        res.set_header("Cache-Control", "max-age=300");
        res.set_header("X-Content-Type-Options", "nosniff");
        res.set_content(pages::kScript, "text/javascript; charset=utf-8");
        return;
    }
    if (req.method != "GET") {
        if (req.method == "POST" && path == "/painel/entrar")
            return signIn(req, res);
        res.status = 405;
        securityHeaders(res);
        res.set_content("O painel só mostra dados; nada pode ser alterado por ele.", "text/plain; charset=utf-8");
        return;
    }
    if (path == "/painel/sair")
        return setSessionAndGoToBoard(res, "; Path=/; Max-Age=0; HttpOnly; SameSite=Strict");
    if (!signedIn(req)) {
        if (path == "/metricas" || path == "/painel/colunas" || path == "/painel/auditoria") {
            res.status = 401;
            res.set_content("Acesso negado: token ausente ou inválido.", "text/plain; charset=utf-8");
            return;
        }
        return signInPage(res, path == "/painel" ? 200 : 401, QString());
    }

    res.status = 200;
    try {
        const QString product = QString::fromStdString(req.get_param_value("produto"));
        if (path == "/metricas") {
            res.set_content(m_metrics.render(db, m_openConnections ? m_openConnections->load() : 0), "text/plain; version=0.0.4; charset=utf-8");
            return;
        }
        if (path == "/painel/auditoria") {
            const std::string format = req.has_param("formato") ? req.get_param_value("formato") : "csv";
            AuditFilter filter{QString::fromStdString(req.get_param_value("desde")),
                               QString::fromStdString(req.get_param_value("ate")), product};
            const QList<AuditRow> rows = auditTrail(db, filter);
            securityHeaders(res);
            if (format == "json") {
                res.set_content(auditJson(rows).toStdString(), "application/json");
            } else {
                res.set_header("Content-Disposition", "attachment; filename=\"auditoria.csv\"");
                res.set_content(auditCsv(rows).toStdString(), "text/csv; charset=utf-8");
            }
            return;
        }
        db.ensureOpen();
        Transaction transaction(db, false);
        if (path == "/painel") {
            bool ok = false;
            const int refresh = QString::fromStdString(req.get_param_value("intervalo")).toInt(&ok);
            return page(res, 200, QStringLiteral("Painel de homologação"),
                        boardHtml(db, product, ok && refresh >= 1 && refresh <= 300 ? refresh : kRefreshSeconds), true);
        }
        if (path == "/painel/colunas") {
            securityHeaders(res);
            res.set_content(columnsHtml(db, product), "text/html; charset=utf-8");
            return;
        }
        if (path == "/painel/historico") {
            bool ok = false;
            int pageNumber = QString::fromStdString(req.get_param_value("pagina")).toInt(&ok);
            if (!ok || pageNumber < 1)
                pageNumber = 1;
            return page(res, 200, QStringLiteral("Histórico de grupos encerrados"), historyHtml(db, pageNumber), true);
        }
        if (path.rfind("/painel/grupo/", 0) == 0) {
            QString title;
            std::string html;
            const QString code = QString::fromStdString(path.substr(std::strlen("/painel/grupo/")));
            if (groupHtml(db, code, title, html))
                return page(res, 200, title, html, true);
            return page(res, 404, QStringLiteral("Grupo não encontrado"),
                        "<p>O grupo " + render("{{c}}", data("c", s(code))) + " não existe.</p><p><a href=\"/painel\">Voltar ao painel</a></p>",
                        true);
        }
        page(res, 404, QStringLiteral("Página não encontrada"), "<p><a href=\"/painel\">Voltar ao painel</a></p>", true);
    } catch (const ServerError &error) {
        page(res, error.message().startsWith(QStringLiteral("Data inválida")) ? 400 : 503, QStringLiteral("Painel indisponível"),
             render("<p class=\"erro\" role=\"alert\">{{e}}</p>", data("e", s(error.message()))), true);
    }
}

}  // namespace server

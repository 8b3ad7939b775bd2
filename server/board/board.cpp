#include "board/board.h"

#include "board/audit.h"
#include "board/board_pages.h"
#include "board/metrics.h"
#include "methods/dispatcher.h"
#include "store/database.h"

#include <httplib.h>
#include <kainjow/mustache.hpp>

#include <QCryptographicHash>
#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QSet>
#include <QRandomGenerator>
#include <QUrl>

#include <algorithm>
#include <cstring>

namespace server {

namespace {

using kainjow::mustache::data;
using kainjow::mustache::mustache;

const char *const kCookie = "homologa_painel";
// The anti-forgery value of the sign-in form, kept also in a cookie of its own: a form
// posted from another site has neither.
const char *const kFormCookie = "homologa_entrada";
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

void securityHeaders(httplib::Response &res, const char *cacheControl = "no-store")
{
    res.set_header("Content-Security-Policy",
                   "default-src 'none'; style-src 'self'; script-src 'self'; connect-src 'self'; img-src 'self'; "
                   "form-action 'self'; frame-ancestors 'none'; base-uri 'none'");
    res.set_header("X-Content-Type-Options", "nosniff");
    // Same-origin: the sign-in form's post names its origin (with no-referrer a browser sends "null").
    res.set_header("Referrer-Policy", "same-origin");
    res.set_header("Cache-Control", cacheControl);
}

void page(httplib::Response &res, int status, const QString &title, const std::string &content, bool signedIn,
          const char *cacheControl = "no-store")
{
    data layout;
    layout.set("titulo", s(title));
    layout.set("conteudo", content);
    layout.set("assinado", signedIn);
    res.status = status;
    securityHeaders(res, cacheControl);
    res.set_content(render(pages::kLayout, layout), "text/html; charset=utf-8");
}

std::string cookieNamed(const httplib::Request &req, const char *cookie)
{
    const std::string header = req.get_header_value("Cookie");
    const std::string name = std::string(cookie) + "=";
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

// The last value of a header that may come more than once.
std::string lastHeader(const httplib::Request &req, const char *name)
{
    std::string value;
    const auto range = req.headers.equal_range(name);
    for (auto it = range.first; it != range.second; ++it)
        value = it->second;
    return value;
}

QByteArray randomText(int bytes)
{
    QByteArray random(bytes, Qt::Uninitialized);
    for (char &byte : random)
        byte = char(QRandomGenerator::system()->bounded(256));
    return random.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
}

std::string hashText(const std::string &text, int size = 16)
{
    return QCryptographicHash::hash(QByteArray::fromStdString(text), QCryptographicHash::Sha256).toHex().left(size).toStdString();
}

// Answers 304 when the browser already has the answer tagged `etag`; sends the tag either way.
bool notModified(const httplib::Request &req, httplib::Response &res, const std::string &etag)
{
    res.set_header("ETag", etag);
    const std::string known = req.get_header_value("If-None-Match");
    if (known.empty() || known.find(etag) == std::string::npos)
        return false;
    res.status = 304;
    securityHeaders(res, "private, no-cache");
    return true;
}

// "?produto=X" or "&produto=X" for a link, escaped by the template.
std::string productQuery(const QString &product, char first)
{
    return product.isEmpty() ? std::string() : first + std::string("produto=") + QUrl::toPercentEncoding(product).toStdString();
}

// ---- The board's columns

struct Card {
    QString code, name, product, release;
    QList<QVariantMap> requests;
    QStringList tags;
    QVariantMap last;
    QString lastTime;
};

data textObject(const QVariantMap &row)
{
    data item;
    for (auto it = row.begin(); it != row.end(); ++it)
        item.set(s(it.key()), s(it.value().toString()));
    return item;
}

// "(?, ?, ?)" for `count` values.
QString marks(qsizetype count)
{
    QStringList list;
    for (qsizetype i = 0; i < count; ++i)
        list.append(QStringLiteral("?"));
    return u'(' + list.join(QStringLiteral(", ")) + u')';
}

// The cards of `codes` (newest first), with their requests, last transition and tags.
QList<Card> cardsOf(Database &db, const QStringList &codes)
{
    if (codes.isEmpty())
        return {};
    QVariantList values;
    for (const QString &code : codes)
        values.append(code);
    const QString in = marks(codes.size());
    QMap<QString, Card> cards;
    for (const QStringList &row :
         queryRows(db,
                   QStringLiteral("SELECT G.CDGRUPHOMOL, G.DSGRUPHOMOL, COALESCE(P.NMPRODUTO, G.CDPRODUTO), G.CDRELEASEGHOM FROM "
                                  "GRUPOHOMOL G LEFT JOIN PRODUTO P ON P.CDPRODUTO = G.CDPRODUTO WHERE G.CDGRUPHOMOL IN ")
                       + in,
                   values)) {
        Card &card = cards[row[0]];
        card.code = row[0];
        card.name = row[1];
        card.product = row[2];
        card.release = releaseText(row[3]);
    }
    for (const QStringList &row :
         queryRows(db,
                   QStringLiteral("SELECT SG.CDGRUPHOMOL, SG.CDFILIAL, SG.NRSOLISERV, COALESCE(S.DSREFESOLI, ''), "
                                  "COALESCE(F.DSSTFASETRAM, S.CDFASETRAM, ''), SG.IDSTSOLIGRUP, SG.IDHOMOLSOL, SG.IDENCSOLPATCREG, "
                                  "SG.IDRETSOLERROPRO FROM SOLIGRUPO SG LEFT JOIN SOLICITACAO S ON S.CDFILIAL = SG.CDFILIAL AND "
                                  "S.NRSOLISERV = SG.NRSOLISERV LEFT JOIN FASETRAM F ON F.CDFASETRAM = S.CDFASETRAM "
                                  "WHERE SG.CDGRUPHOMOL IN ")
                       + in + QStringLiteral(" ORDER BY SG.CDGRUPHOMOL, SG.NRPRIOSOLI, SG.NRSOLISERV"),
                   values)) {
        QVariantMap request{{QStringLiteral("filial"), row[1]},
                            {QStringLiteral("numero"), row[2]},
                            {QStringLiteral("referencia"), row[3]},
                            {QStringLiteral("fase"), row[4]},
                            {QStringLiteral("situacao"), requestStatusName(row[5])}};
        const QString decision = decisionName(row[6], row[7], row[8]);
        if (!decision.isEmpty())
            request.insert(QStringLiteral("decisao"), decision);
        cards[row[0]].requests.append(request);
    }
    // The last transition: the latest of the group's transition log and its phase changes
    // kept as events (every advance since the audit began); at the same time, the event.
    const QList<QStringList> logs = queryRows(
        db,
        QStringLiteral("SELECT L.CDGRUPHOMOL, COALESCE(O.NMOPERADOR, L.CDOPERADOR), L.DTLOGTRAM, L.IDSTGRUPANT, "
                       "L.IDSTGRUPNOVO FROM LOGTRAM L LEFT JOIN OPERADOR O ON O.CDOPERADOR = L.CDOPERADOR WHERE L.CDGRUPHOMOL IN ")
            + in + QStringLiteral(" AND L.NRSEQLOG = (SELECT MAX(X.NRSEQLOG) FROM LOGTRAM X WHERE X.CDGRUPHOMOL = L.CDGRUPHOMOL)"),
        values);
    const QList<QStringList> phaseEvents = queryRows(
        db,
        QStringLiteral("SELECT E.CDGRUPHOMOL, COALESCE(O.NMOPERADOR, E.CDOPERADOR), E.DTEVENTO, E.DSANTES, E.DSDEPOIS "
                       "FROM EVENTO E LEFT JOIN OPERADOR O ON O.CDOPERADOR = E.CDOPERADOR WHERE E.TPEVENTO = ? AND E.CDGRUPHOMOL IN ")
            + in + QStringLiteral(" ORDER BY E.NRSEQEVENTO"),
        QVariantList{eventKind::GroupPhase} + values);
    for (const QStringList &row : logs + phaseEvents) {
        Card &card = cards[row[0]];
        if (row[2] < card.lastTime)
            continue;
        card.lastTime = row[2];
        card.last = {{QStringLiteral("operador"), row[1].isEmpty() ? QStringLiteral("—") : row[1]},
                     {QStringLiteral("quando"), timeText(row[2])},
                     {QStringLiteral("anterior"), row[3]},
                     {QStringLiteral("nova"), row[4]}};
    }
    // The tags made for each group and not removed since, oldest first.
    for (const QStringList &row : queryRows(
             db,
             QStringLiteral("SELECT CDGRUPHOMOL, TPEVENTO, DSANTES, DSDEPOIS FROM EVENTO WHERE TPEVENTO IN (?, ?) AND CDGRUPHOMOL IN ")
                 + in + QStringLiteral(" ORDER BY NRSEQEVENTO"),
             QVariantList{eventKind::Tag, eventKind::TagRemoved} + values)) {
        if (row[1] == eventKind::Tag)
            cards[row[0]].tags.append(row[3]);
        else
            cards[row[0]].tags.removeAll(row[2]);
    }
    QList<Card> ordered;
    for (const QString &code : codes)
        ordered.append(cards.value(code));
    return ordered;
}

data cardData(const Card &card)
{
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
    return item;
}

std::shared_ptr<Board::Columns> buildColumns(Database &db, const QString &product)
{
    const QString productFilter = product.isEmpty() ? QString() : QStringLiteral(" AND CDPRODUTO = ?");
    const QVariantList productValue = product.isEmpty() ? QVariantList{} : QVariantList{product};
    db.ensureOpen();
    Transaction transaction(db, false);
    QMap<QString, int> counts;
    for (const QStringList &row :
         queryRows(db, QStringLiteral("SELECT IDSTGRUPHOM, COUNT(*) FROM GRUPOHOMOL WHERE IDSTGRUPHOM <> '007'") + productFilter
                           + QStringLiteral(" GROUP BY IDSTGRUPHOM"),
                   productValue))
        counts.insert(row[0], row[1].toInt());
    auto columns = std::make_shared<Board::Columns>();
    std::string all;
    for (const auto &[phase, name] : openPhases()) {
        QStringList codes;
        if (counts.value(phase) > 0) {
            for (const QStringList &row :
                 queryRows(db,
                           QStringLiteral("SELECT CDGRUPHOMOL FROM GRUPOHOMOL WHERE IDSTGRUPHOM = ?") + productFilter
                               + QStringLiteral(" ORDER BY CDGRUPHOMOL DESC LIMIT ?"),
                           QVariantList{phase} + productValue + QVariantList{Board::kCardsPerColumn}))
                codes.append(row[0]);
        }
        data column;
        column.set("fase", s(phase));
        column.set("nome", s(name));
        column.set("quantos", std::to_string(counts.value(phase)));
        data list{data::type::list};
        for (const Card &card : cardsOf(db, codes))
            list.push_back(cardData(card));
        column.set("cartoes", list);
        if (counts.value(phase) > codes.size()) {
            column.set("mais", std::to_string(counts.value(phase) - codes.size()));
            column.set("consulta", productQuery(product, '?'));
        }
        column.set("versao", "");
        std::string html = render(pages::kColumn, column);
        const std::string version = hashText(html);
        html.replace(html.find("data-versao=\"\""), 14, "data-versao=\"" + version + "\"");
        columns->sections.emplace_back(s(phase), std::move(html));
        columns->versions.push_back(version);
        all += version;
    }
    columns->etag = "\"c" + hashText(all + s(product), 20) + "\"";
    transaction.commit();
    return columns;
}

// The groups of one open phase, newest first, a page at a time.
std::string phaseHtml(Database &db, const QString &phase, const QString &product, int pageNumber)
{
    const QString productFilter = product.isEmpty() ? QString() : QStringLiteral(" AND G.CDPRODUTO = ?");
    const QVariantList productValue = product.isEmpty() ? QVariantList{} : QVariantList{product};
    const int total =
        db.scalar(QStringLiteral("SELECT COUNT(*) FROM GRUPOHOMOL G WHERE G.IDSTGRUPHOM = ?") + productFilter, QVariantList{phase} + productValue)
            .toInt();
    QList<QVariantMap> groups;
    for (const QStringList &row :
         queryRows(db,
                   QStringLiteral("SELECT G.CDGRUPHOMOL, G.DSGRUPHOMOL, COALESCE(P.NMPRODUTO, G.CDPRODUTO), G.CDRELEASEGHOM, "
                                  "COALESCE(G.DTULTATUGHOM, '') FROM GRUPOHOMOL G LEFT JOIN PRODUTO P ON P.CDPRODUTO = G.CDPRODUTO "
                                  "WHERE G.IDSTGRUPHOM = ?")
                       + productFilter + QStringLiteral(" ORDER BY G.CDGRUPHOMOL DESC LIMIT ? OFFSET ?"),
                   QVariantList{phase} + productValue
                       + QVariantList{Board::kPhasePageSize, (pageNumber - 1) * Board::kPhasePageSize}))
        groups.append({{QStringLiteral("codigo"), row[0]},
                       {QStringLiteral("nome"), row[1]},
                       {QStringLiteral("produto"), row[2]},
                       {QStringLiteral("release"), releaseText(row[3])},
                       {QStringLiteral("alterado"), timeText(row[4])}});
    data values;
    values.set("grupos", textList(groups));
    values.set("fase", s(phase));
    values.set("total", std::to_string(total));
    values.set("pagina", std::to_string(pageNumber));
    values.set("produto", productQuery(product, '&'));
    if (pageNumber > 1)
        values.set("anterior", std::to_string(pageNumber - 1));
    if (pageNumber * Board::kPhasePageSize < total)
        values.set("proxima", std::to_string(pageNumber + 1));
    return render(pages::kPhase, values);
}

// ---- A group's page

QString phaseCodeOf(const QString &named) { return named.left(3); }

// The group's way through the phases, one step to the right for each change: an SVG
// drawn on the server, read without a script.
std::string pathSvg(const QStringList &phases, const QStringList &times)
{
    constexpr int kStep = 44, kRow = 22, kLeft = 44, kTop = 14;
    const int width = kLeft + kStep * int(std::max<qsizetype>(phases.size(), 1)) + 8;
    const int height = kTop + kRow * 7;
    std::string svg = "<svg class=\"caminho-fases\" role=\"img\" aria-labelledby=\"caminho-titulo\" width=\"" + std::to_string(width)
        + "\" height=\"" + std::to_string(height) + "\" viewBox=\"0 0 " + std::to_string(width) + ' ' + std::to_string(height)
        + "\" xmlns=\"http://www.w3.org/2000/svg\"><title id=\"caminho-titulo\">Caminho do grupo pelas fases: "
        + render("{{p}}", data("p", s(phases.join(QStringLiteral(" → ")))))
        + "</title>";
    const auto y = [&](const QString &phase) { return kTop + kRow * (std::clamp(phase.toInt(), 1, 7) - 1); };
    for (int phase = 1; phase <= 7; ++phase) {
        const int row = kTop + kRow * (phase - 1);
        svg += "<line x1=\"" + std::to_string(kLeft - 4) + "\" y1=\"" + std::to_string(row) + "\" x2=\"" + std::to_string(width)
            + "\" y2=\"" + std::to_string(row) + "\" stroke=\"#d5dbe3\"/><text x=\"2\" y=\"" + std::to_string(row + 4)
            + "\" font-size=\"12\" fill=\"#1b1b1b\">00" + std::to_string(phase) + "</text>";
    }
    std::string points;
    for (qsizetype i = 0; i < phases.size(); ++i)
        points += std::to_string(kLeft + kStep * int(i)) + ',' + std::to_string(y(phases[i])) + ' ';
    svg += "<polyline points=\"" + points + "\" fill=\"none\" stroke=\"#0b4a8f\" stroke-width=\"2\"/>";
    for (qsizetype i = 0; i < phases.size(); ++i)
        svg += "<circle cx=\"" + std::to_string(kLeft + kStep * int(i)) + "\" cy=\"" + std::to_string(y(phases[i]))
            + "\" r=\"4\" fill=\"#0b4a8f\"><title>" + render("{{t}}", data("t", s(phases[i] + u' ' + times.value(i))))
            + "</title></circle>";
    return svg + "</svg>";
}

// Everything that happened to the group, oldest first, with who did it.
void setTimeline(Database &db, const QString &code, const QString &product, const QString &created, const QString &closed,
                 const QString &phase, data &values)
{
    QList<AuditRow> rows = auditTrail(db, {{}, {}, {}, code});
    // The registrations of the group's product while it was open.
    for (const QStringList &r :
         queryRows(db,
                   QStringLiteral("SELECT DTEVENTO, CDOPERADOR, DSDEPOIS FROM EVENTO WHERE TPEVENTO = ? AND CDPRODUTO = ? AND "
                                  "DTEVENTO >= ? AND (? = '' OR DTEVENTO <= ?) ORDER BY NRSEQEVENTO"),
                   {eventKind::Registration, product, created, closed, closed}))
        rows.append({r[0], {eventKind::Registration, r[1], code, product, {}, {}, {}, r[2], {}}});
    std::stable_sort(rows.begin(), rows.end(), [](const AuditRow &a, const AuditRow &b) { return a.time < b.time; });

    QMap<QString, QString> names;
    for (const QStringList &r : queryRows(db, QStringLiteral("SELECT CDOPERADOR, NMOPERADOR FROM OPERADOR")))
        names.insert(r[0], r[1].isEmpty() ? r[0] : r[1]);
    QList<QVariantMap> items;
    QStringList path, times;
    for (const AuditRow &row : rows) {
        const Event &e = row.event;
        items.append({{QStringLiteral("quando"), timeText(row.time)},
                      {QStringLiteral("evento"), e.kind},
                      {QStringLiteral("operador"), e.operatorCode.isEmpty() ? QStringLiteral("—") : names.value(e.operatorCode, e.operatorCode)},
                      {QStringLiteral("solicitacao"), e.request.isEmpty() ? QString() : e.filial + u'/' + e.request},
                      {QStringLiteral("antes"), e.before},
                      {QStringLiteral("depois"), e.after},
                      {QStringLiteral("detalhe"), e.detail}});
        if (e.kind == eventKind::GroupPhase) {
            if (path.isEmpty()) {
                path.append(phaseCodeOf(e.before));
                times.append(QString());
            }
            path.append(phaseCodeOf(e.after));
            times.append(timeText(row.time));
        }
    }
    if (path.isEmpty()) {
        path.append(phase);
        times.append(QString());
    }
    values.set("linha", textList(items));
    values.set("caminho", pathSvg(path, times));
}

// The group's page; false when there is no such group.
bool groupHtml(Database &db, const QString &code, QString &title, std::string &html)
{
    const QList<QStringList> groups = queryRows(
        db,
        QStringLiteral("SELECT G.CDGRUPHOMOL, G.DSGRUPHOMOL, COALESCE(P.NMPRODUTO, G.CDPRODUTO), G.CDRELEASEGHOM, G.IDSTGRUPHOM, "
                       "COALESCE(G.DTCRIAGRHOM, ''), COALESCE(G.DTHRHOMOGRUPSOL, ''), G.CDPRODUTO FROM GRUPOHOMOL G LEFT JOIN "
                       "PRODUTO P ON P.CDPRODUTO = G.CDPRODUTO WHERE G.CDGRUPHOMOL = ?"),
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
    const QString closed = g[4] == u"007" ? g[6] : QString();
    if (!closed.isEmpty())
        values.set("encerrado", s(timeText(closed)));
    setTimeline(db, code, g[7], g[5], closed, g[4], values);

    db.ensureOpen();
    Transaction transaction(db, false);
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

Board::Board(const QByteArray &token, bool tls, Metrics &metrics, const std::atomic<int> *openConnections, std::string trustedProxy)
    : m_token(token), m_tls(tls), m_trustedProxy(std::move(trustedProxy)), m_metrics(metrics), m_openConnections(openConnections)
{
}

bool Board::serves(const std::string &path)
{
    return path == "/painel" || path.rfind("/painel/", 0) == 0 || path == "/saude" || path == "/metricas" || path == "/favicon.ico";
}

QString Board::waitMessage(int seconds)
{
    return QStringLiteral("Muitas tentativas com token inválido a partir deste endereço. Aguarde %1 s e tente novamente.").arg(seconds);
}

std::string Board::addressOf(const httplib::Request &req) const
{
    return clientAddress(req.remote_addr, lastHeader(req, "X-Forwarded-For"), m_trustedProxy);
}

// A token or a session id presented and wrong counts against the address; a header that
// holds no token at all cannot be right and is no guess.
Board::Access Board::access(Database &db, const httplib::Request &req, const std::string &address, int &wait)
{
    const bool bearer = req.has_header("Authorization");
    const std::string authorization = req.get_header_value("Authorization");
    const std::optional<std::string_view> given =
        bearer && req.get_header_value_count("Authorization") == 1 ? bearerToken(authorization) : std::nullopt;
    const std::string cookie = bearer ? std::string() : cookieNamed(req, kCookie);
    if (bearer && !given)
        return Access::Refused;
    if (!bearer && cookie.empty())
        return Access::None;
    if ((wait = m_limit.waitFor(address)) > 0)
        return Access::Waiting;
    if (given) {
        if (sameSecret(*given, m_token)) {
            m_limit.succeeded(address);
            return Access::Granted;
        }
    } else {
        switch (useSession(db, QByteArray::fromStdString(cookie))) {
        case SessionState::Valid: return Access::Granted;
        // A session that ended is no guess: its browser is only told to sign in again.
        case SessionState::Expired: return Access::Expired;
        case SessionState::Unknown: break;
        }
    }
    m_limit.failed(address);
    return Access::Refused;
}

void Board::signInPage(httplib::Response &res, int status, const QString &error) const
{
    const std::string value = randomText(18).toStdString();
    data form;
    if (!error.isEmpty())
        form.set("erro", s(error));
    form.set("antifalsificacao", value);
    page(res, status, QStringLiteral("Entrar no painel"), render(pages::kSignIn, form), false);
    res.set_header("Set-Cookie", std::string(kFormCookie) + "=" + value + "; Path=/painel/entrar; HttpOnly; SameSite=Strict"
                                     + (m_tls ? "; Secure" : ""));
}

// The sign-in comes from the board's own page: its Origin (else its Referer) names this
// server, as the browser reached it.
bool Board::sameSite(const httplib::Request &req) const
{
    const std::string host = req.get_header_value("Host");
    std::string from = req.get_header_value("Origin");
    if (from.empty() || from == "null")
        from = req.get_header_value("Referer");
    const size_t scheme = from.find("://");
    if (host.empty() || scheme == std::string::npos)
        return false;
    const size_t start = scheme + 3;
    const size_t end = std::min(from.find_first_of("/?#", start), from.size());
    return from.compare(start, end - start, host) == 0 && end - start == host.size();
}

void Board::signIn(Database &db, const httplib::Request &req, httplib::Response &res, const std::string &address)
{
    const std::string expected = cookieNamed(req, kFormCookie);
    const std::string sent = req.get_param_value("antifalsificacao");
    if (!sameSite(req) || expected.empty() || !sameSecret(sent, QByteArray::fromStdString(expected)))
        return signInPage(res, 403,
                          QStringLiteral("A entrada só é aceita pelo formulário desta página. Informe o token novamente."));
    if (const int wait = m_limit.waitFor(address); wait > 0)
        return signInPage(res, 429, waitMessage(wait));
    const QByteArray given = QByteArray::fromStdString(req.get_param_value("token")).trimmed();
    if (!sameSecret(given.toStdString(), m_token)) {
        m_limit.failed(address);
        return signInPage(res, 401, QStringLiteral("Token inválido. Use o token do arquivo --token-file do servidor."));
    }
    m_limit.succeeded(address);
    // Who signs in may say which operator they are; nobody named is a board viewer.
    const QString operatorCode = QString::fromStdString(req.get_param_value("operador")).trimmed();
    if (!operatorCode.isEmpty()) {
        db.ensureOpen();
        if (!db.scalar(QStringLiteral("SELECT 1 FROM OPERADOR WHERE CDOPERADOR = ?"), {operatorCode}).isValid())
            return signInPage(res, 400, QStringLiteral("O operador %1 não está cadastrado; deixe o campo vazio para entrar só para ver o painel.")
                                            .arg(operatorCode));
    }
    const QByteArray id = startSession(db, operatorCode, QString::fromStdString(address));
    res.set_header("Set-Cookie", std::string(kFormCookie) + "=; Path=/painel/entrar; Max-Age=0; HttpOnly; SameSite=Strict"
                                     + (m_tls ? "; Secure" : ""));
    setSessionAndGoToBoard(res, id.toStdString() + "; Path=/; HttpOnly; SameSite=Strict");
}

// Sets the session cookie (its value and attributes) and sends the browser to the board.
void Board::setSessionAndGoToBoard(httplib::Response &res, const std::string &cookie) const
{
    res.set_header("Set-Cookie", std::string(kCookie) + "=" + cookie + (m_tls ? "; Secure" : ""));
    res.set_header("Location", "/painel");
    securityHeaders(res);
    res.status = 303;
}

quint64 Board::changeStamp(Database &db)
{
    // The server's own calls count their writes; an SQLite connection also learns of other
    // connections' commits (another server, an administration command) from its
    // data_version. PostgreSQL tells nothing of other servers: the columns are then built
    // again every few seconds.
    const qint64 version = db.isPostgres() ? QDateTime::currentSecsSinceEpoch() / 5
                                           : db.scalar(QStringLiteral("PRAGMA data_version")).toLongLong();
    std::lock_guard lock(m_mutex);
    const auto [seen, first] = m_dataVersions.try_emplace(&db, version);
    if (first || seen->second != version) {
        seen->second = version;
        ++m_outsideChanges;
    }
    return (m_outsideChanges << 32) + committedWriteCalls();
}

std::shared_ptr<const Board::Columns> Board::columns(Database &db, const QString &product)
{
    db.ensureOpen();
    const quint64 stamp = changeStamp(db);
    {
        std::lock_guard lock(m_mutex);
        const auto found = m_snapshots.find(product);
        if (found != m_snapshots.end() && found->second.stamp == stamp)
            return found->second.columns;
    }
    std::shared_ptr<const Columns> built = buildColumns(db, product);
    std::lock_guard lock(m_mutex);
    if (m_snapshots.size() > 64)
        m_snapshots.clear();  // filters for products that do not exist are not kept
    m_snapshots[product] = {stamp, built};
    return built;
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
    int wait = 0;
    if (!detail.isEmpty() && access(db, req, addressOf(req), wait) == Access::Granted)
        answer.insert(QStringLiteral("error"), detail);
    res.status = status == u"indisponivel" ? 503 : 200;
    res.set_content(QJsonDocument(answer).toJson(QJsonDocument::Compact).toStdString(), "application/json");
}

bool Board::serve(Database &db, const httplib::Request &req, httplib::Response &res)
{
    const std::string &path = req.path;
    if (path == "/saude") {
        health(db, req, res);
        return false;
    }
    res.status = 200;
    if (path == "/favicon.ico") {
        // Browsers ask for it on every page; the board has none.
        res.status = 204;
        return false;
    }
    if (path == "/painel/estilo.css" || path == "/painel/painel.js") {
        const bool style = path == "/painel/estilo.css";
        res.set_header("Cache-Control", "max-age=300");
        res.set_header("X-Content-Type-Options", "nosniff");
        res.set_content(style ? pages::kStyle : pages::kScript, style ? "text/css; charset=utf-8" : "text/javascript; charset=utf-8");
        return false;
    }
    const std::string address = addressOf(req);
    try {
        if (req.method != "GET") {
            if (req.method == "POST" && path == "/painel/entrar") {
                signIn(db, req, res, address);
                return false;
            }
            res.status = 405;
            securityHeaders(res);
            res.set_content("O painel só mostra dados; nada pode ser alterado por ele.", "text/plain; charset=utf-8");
            return false;
        }
        if (path == "/painel/sair") {
            endSession(db, QByteArray::fromStdString(cookieNamed(req, kCookie)));
            setSessionAndGoToBoard(res, "; Path=/; Max-Age=0; HttpOnly; SameSite=Strict");
            return false;
        }
        int wait = 0;
        const Access granted = access(db, req, address, wait);
        if (granted == Access::Waiting) {
            res.set_header("Retry-After", std::to_string(wait));
            if (path == "/painel") {
                signInPage(res, 429, waitMessage(wait));
            } else {
                res.status = 429;
                res.set_content(s(waitMessage(wait)), "text/plain; charset=utf-8");
            }
            return false;
        }
        if (granted != Access::Granted) {
            if (granted == Access::Expired || granted == Access::Refused)
                res.set_header("Set-Cookie", std::string(kCookie) + "=; Path=/; Max-Age=0; HttpOnly; SameSite=Strict");
            if (path == "/metricas" || path == "/painel/colunas" || path == "/painel/auditoria") {
                res.status = 401;
                res.set_content("Acesso negado: token ausente ou inválido.", "text/plain; charset=utf-8");
                return false;
            }
            signInPage(res, path == "/painel" ? 200 : 401,
                       granted == Access::Expired ? QStringLiteral("A sessão terminou; entre novamente.") : QString());
            return false;
        }
        answer(db, req, res);
    } catch (const ServerError &error) {
        page(res, error.message().startsWith(QStringLiteral("Data inválida")) ? 400 : 503, QStringLiteral("Painel indisponível"),
             render("<p class=\"erro\" role=\"alert\">{{e}}</p>", data("e", s(error.message()))), true);
    }
    return true;
}

void Board::answer(Database &db, const httplib::Request &req, httplib::Response &res)
{
    const std::string &path = req.path;
    const QString product = QString::fromStdString(req.get_param_value("produto"));
    if (path == "/metricas") {
        res.set_content(m_metrics.render(db, m_openConnections ? m_openConnections->load() : 0), "text/plain; version=0.0.4; charset=utf-8");
        return;
    }
    if (path == "/painel/auditoria") {
        const std::string format = req.has_param("formato") ? req.get_param_value("formato") : "csv";
        AuditFilter filter{QString::fromStdString(req.get_param_value("desde")), QString::fromStdString(req.get_param_value("ate")),
                           product, {}};
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
    if (path == "/painel" || path == "/painel/colunas") {
        const std::shared_ptr<const Columns> board = columns(db, product);
        if (path == "/painel/colunas") {
            if (notModified(req, res, board->etag))
                return;
            // Only the columns whose version the page does not have: "001:version,002:...".
            const QStringList known = QString::fromStdString(req.get_param_value("versoes")).split(u',');
            std::string html;
            for (size_t i = 0; i < board->sections.size(); ++i) {
                if (!known.contains(QString::fromStdString(board->sections[i].first + ':' + board->versions[i])))
                    html += board->sections[i].second;
            }
            securityHeaders(res, "private, no-cache");
            res.set_content(html, "text/html; charset=utf-8");
            return;
        }
        bool ok = false;
        const int asked = QString::fromStdString(req.get_param_value("intervalo")).toInt(&ok);
        const int refresh = ok && asked >= 1 && asked <= 300 ? asked : kRefreshSeconds;
        data products{data::type::list};
        std::string productKeys;
        db.ensureOpen();
        for (const QStringList &row : queryRows(db, QStringLiteral("SELECT CDPRODUTO, NMPRODUTO FROM PRODUTO ORDER BY NMPRODUTO"))) {
            data item;
            item.set("codigo", s(row[0]));
            item.set("nome", s(row[1].isEmpty() ? row[0] : row[1]));
            item.set("selecionado", row[0] == product);
            products.push_back(item);
            productKeys += s(row.join(u'\x1f')) + '\x1e';
        }
        if (notModified(req, res, "\"p" + hashText(board->etag + productKeys + std::to_string(refresh), 20) + "\""))
            return;
        std::string sections;
        for (const auto &section : board->sections)
            sections += section.second;
        data values;
        values.set("produtos", products);
        values.set("colunas", sections);
        values.set("intervalo", std::to_string(refresh));
        values.set("etag", board->etag);
        return page(res, 200, QStringLiteral("Painel de homologação"), render(pages::kBoard, values), true, "private, no-cache");
    }
    const auto pageNumber = [&] {
        bool ok = false;
        const int number = QString::fromStdString(req.get_param_value("pagina")).toInt(&ok);
        return ok && number >= 1 ? number : 1;
    };
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
    db.ensureOpen();
    Transaction transaction(db, false);
    if (path == "/painel/historico")
        return page(res, 200, QStringLiteral("Histórico de grupos encerrados"), historyHtml(db, pageNumber()), true);
    if (path.rfind("/painel/fase/", 0) == 0) {
        const QString phase = QString::fromStdString(path.substr(std::strlen("/painel/fase/")));
        const QString name = groupPhaseName(phase);
        if (!name.isEmpty() && phase != u"007")
            return page(res, 200, QStringLiteral("Grupos na fase %1 · %2").arg(phase, name), phaseHtml(db, phase, product, pageNumber()),
                        true);
    }
    page(res, 404, QStringLiteral("Página não encontrada"), "<p><a href=\"/painel\">Voltar ao painel</a></p>", true);
}

}  // namespace server

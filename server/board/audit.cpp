#include "board/audit.h"

#include "store/database.h"
#include "store/schema.h"

#include <QDate>
#include <QDateTime>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QSet>

#include <algorithm>
#include <cstdlib>

namespace server {

namespace {

QString named(const QString &code, const QString &name) { return name.isEmpty() ? code : code + QStringLiteral(" - ") + name; }

QString checkedDate(const QString &text, const char *option)
{
    if (text.isEmpty())
        return text;
    const QDate date = QDate::fromString(text, QStringLiteral("yyyy-MM-dd"));
    if (!date.isValid())
        throw ServerError(QStringLiteral("Data inválida em %1: \"%2\" (use AAAA-MM-DD).").arg(QString::fromLatin1(option), text));
    return text;
}

// The bounds of one source's time column and product column, with their values.
struct Where {
    QString sql;
    QVariantList values;

    // `groupTerm`: a condition with one value, the group.
    Where(const AuditFilter &filter, const QString &timeColumn, const QString &productColumn, const QString &groupTerm)
    {
        QStringList terms;
        if (!filter.group.isEmpty()) {
            terms.append(groupTerm);
            values.append(filter.group);
        }
        if (!filter.since.isEmpty()) {
            terms.append(timeColumn + QStringLiteral(" >= ?"));
            values.append(filter.since);
        }
        if (!filter.until.isEmpty()) {
            terms.append(timeColumn + QStringLiteral(" < ?"));
            values.append(QDate::fromString(filter.until, QStringLiteral("yyyy-MM-dd")).addDays(1).toString(QStringLiteral("yyyy-MM-dd")));
        }
        if (!filter.product.isEmpty()) {
            terms.append(productColumn + QStringLiteral(" = ?"));
            values.append(filter.product);
        }
        if (!terms.isEmpty())
            sql = QStringLiteral(" WHERE ") + terms.join(QStringLiteral(" AND "));
    }
};

// A transition log written more than this apart from a phase change is not of its advance.
constexpr qint64 kSameAdvance = 24 * 60 * 60;  // seconds

bool isVerdict(const QString &phaseCode)
{
    return phaseCode == phase::TestadaComErro || phaseCode == phase::TestadaSemErro || phaseCode == phase::AguardandoRegeracao;
}

QString csvField(const QString &given)
{
    // What a spreadsheet would evaluate is shown as the text it is.
    static const QString kFormulaStarts = QStringLiteral("=+-@\t\r");
    const QString text = !given.isEmpty() && kFormulaStarts.contains(given[0]) ? u'\'' + given : given;
    if (!text.contains(u';') && !text.contains(u'"') && !text.contains(u'\n') && !text.contains(u'\r'))
        return text;
    QString quoted = text;
    quoted.replace(u'"', QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}

}  // namespace

QList<AuditRow> auditTrail(Database &db, const AuditFilter &given)
{
    AuditFilter filter = given;
    filter.since = checkedDate(given.since, "--since");
    filter.until = checkedDate(given.until, "--until");
    db.ensureOpen();
    Transaction transaction(db, false);
    QList<AuditRow> rows;

    // Phase changes kept as events since the audit began are also in the transition logs
    // when the advance wrote one: the log's row is left out, matched to the event of the
    // same advance (nearest in time), so that a group that went the same way twice keeps
    // both.
    QHash<QString, QList<qsizetype>> phaseEvents;  // group|from|to -> rows not yet matched
    // Decisions still without their operator or justification, by group|branch|request.
    QHash<QString, qsizetype> undecided;
    const Where events(filter, QStringLiteral("DTEVENTO"), QStringLiteral("CDPRODUTO"), QStringLiteral("CDGRUPHOMOL = ?"));
    for (const QStringList &r :
         queryRows(db,
                   QStringLiteral("SELECT DTEVENTO, TPEVENTO, CDOPERADOR, CDGRUPHOMOL, CDPRODUTO, CDFILIAL, NRSOLISERV, DSANTES, "
                                  "DSDEPOIS, TXDETALHE FROM EVENTO")
                       + events.sql + QStringLiteral(" ORDER BY NRSEQEVENTO"),
                   events.values)) {
        Event e{r[1], r[2], r[3], r[4], r[5], r[6], r[7], r[8], r[9]};
        const QString request = e.group + u'|' + e.filial + u'|' + e.request;
        if (e.kind == eventKind::GroupPhase) {
            phaseEvents[e.group + u'|' + e.before + u'|' + e.after].append(rows.size());
            e.before = named(e.before, groupPhaseName(e.before));
            e.after = named(e.after, groupPhaseName(e.after));
        } else if (e.kind == eventKind::Decision) {
            undecided.remove(request);
            if (e.operatorCode.isEmpty() || e.detail.isEmpty())
                undecided.insert(request, rows.size());
        } else if (e.kind == eventKind::Justification) {
            // The justification given after a decision is that decision's.
            const auto decision = undecided.constFind(request);
            if (decision != undecided.cend()) {
                Event &d = rows[*decision].event;
                d.operatorCode = d.operatorCode.isEmpty() ? e.operatorCode : d.operatorCode;
                d.detail = d.detail.isEmpty() ? e.detail : d.detail;
                undecided.erase(decision);
            }
        }
        rows.append({r[0], e});
    }

    const Where groups(filter, QStringLiteral("L.DTLOGTRAM"), QStringLiteral("G.CDPRODUTO"), QStringLiteral("L.CDGRUPHOMOL = ?"));
    for (const QStringList &r :
         queryRows(db,
                   QStringLiteral("SELECT L.DTLOGTRAM, L.CDOPERADOR, L.CDGRUPHOMOL, COALESCE(G.CDPRODUTO, ''), L.IDSTGRUPANT, "
                                  "L.IDSTGRUPNOVO FROM LOGTRAM L LEFT JOIN GRUPOHOMOL G ON G.CDGRUPHOMOL = L.CDGRUPHOMOL")
                       + groups.sql + QStringLiteral(" ORDER BY L.NRSEQLOG"),
                   groups.values)) {
        QList<qsizetype> &candidates = phaseEvents[r[2] + u'|' + r[4] + u'|' + r[5]];
        const QDateTime logTime = QDateTime::fromString(r[0], Qt::ISODate);
        qsizetype nearest = -1;
        qint64 nearestDistance = kSameAdvance;
        for (qsizetype i = 0; i < candidates.size(); ++i) {
            const qint64 distance = std::abs(QDateTime::fromString(rows[candidates[i]].time, Qt::ISODate).secsTo(logTime));
            if (distance <= nearestDistance) {
                nearest = i;
                nearestDistance = distance;
            }
        }
        if (nearest >= 0) {
            Event &recorded = rows[candidates[nearest]].event;
            if (recorded.operatorCode.isEmpty())
                recorded.operatorCode = r[1];
            candidates.removeAt(nearest);
            continue;
        }
        Event e{eventKind::GroupPhase, r[1], r[2], r[3], {}, {}, named(r[4], groupPhaseName(r[4])),
                named(r[5], groupPhaseName(r[5])), {}};
        rows.append({r[0], e});
    }

    QMap<QString, QString> requestPhases;
    for (const QStringList &r : queryRows(db, QStringLiteral("SELECT CDFASETRAM, DSSTFASETRAM FROM FASETRAM")))
        requestPhases.insert(r[0], r[1]);
    // A request's history does not name its group: the group is the one that held it last.
    const Where requests(filter, QStringLiteral("H.DTALFASETRAM"), QStringLiteral("S.CDPRODUTO"),
                         QStringLiteral("EXISTS (SELECT 1 FROM SOLIGRUPO SG JOIN GRUPOHOMOL G ON G.CDGRUPHOMOL = SG.CDGRUPHOMOL "
                                        "WHERE SG.CDGRUPHOMOL = ? AND SG.CDFILIAL = H.CDFILIAL AND SG.NRSOLISERV = H.NRSOLISERV "
                                        "AND H.DTALFASETRAM >= COALESCE(G.DTCRIAGRHOM, ''))"));
    for (const QStringList &r :
         queryRows(db,
                   QStringLiteral("SELECT H.DTALFASETRAM, H.CDOPERADOR, COALESCE((SELECT MAX(SG.CDGRUPHOMOL) FROM SOLIGRUPO SG "
                                  "WHERE SG.CDFILIAL = H.CDFILIAL AND SG.NRSOLISERV = H.NRSOLISERV), ''), COALESCE(S.CDPRODUTO, ''), "
                                  "H.CDFILIAL, H.NRSOLISERV, H.CDFASEANTERIOR, H.CDFASETRAM, H.DSTRAMITACAO FROM HISTFASETRAM H "
                                  "LEFT JOIN SOLICITACAO S ON S.CDFILIAL = H.CDFILIAL AND S.NRSOLISERV = H.NRSOLISERV")
                       + requests.sql,
                   requests.values)) {
        Event e{isVerdict(r[7]) ? eventKind::Verdict : eventKind::RequestPhase, r[1], r[2], r[3], r[4], r[5],
                r[6].isEmpty() ? QString() : named(r[6], requestPhases.value(r[6])), named(r[7], requestPhases.value(r[7])), r[8]};
        rows.append({r[0], e});
    }

    std::stable_sort(rows.begin(), rows.end(), [](const AuditRow &a, const AuditRow &b) { return a.time < b.time; });
    return rows;
}

QByteArray auditCsv(const QList<AuditRow> &rows)
{
    QString text = QStringLiteral("Data e hora;Evento;Operador;Produto;Grupo;Filial;Solicitação;Antes;Depois;Detalhe\r\n");
    for (const AuditRow &row : rows) {
        const Event &e = row.event;
        const QStringList fields{QString(row.time).replace(u'T', u' '), e.kind, e.operatorCode, e.product, e.group, e.filial,
                                 e.request, e.before, e.after, e.detail};
        QStringList quoted;
        for (const QString &field : fields)
            quoted.append(csvField(field));
        text += quoted.join(u';') + QStringLiteral("\r\n");
    }
    return QByteArray("\xEF\xBB\xBF") + text.toUtf8();
}

QByteArray auditJson(const QList<AuditRow> &rows)
{
    QJsonArray array;
    for (const AuditRow &row : rows) {
        const Event &e = row.event;
        array.append(QJsonObject{{QStringLiteral("data"), row.time},       {QStringLiteral("evento"), e.kind},
                                 {QStringLiteral("operador"), e.operatorCode}, {QStringLiteral("produto"), e.product},
                                 {QStringLiteral("grupo"), e.group},       {QStringLiteral("filial"), e.filial},
                                 {QStringLiteral("solicitacao"), e.request}, {QStringLiteral("antes"), e.before},
                                 {QStringLiteral("depois"), e.after},      {QStringLiteral("detalhe"), e.detail}});
    }
    return QJsonDocument(array).toJson(QJsonDocument::Indented);
}

}  // namespace server

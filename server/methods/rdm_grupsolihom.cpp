// Remote data module VOP42000.rdmGrupSoliHom: groups, their requests and files, the
// checks that guard the phases, the workflow moves of the requests, justifications and
// logs, product locations and releases.

#include "methods/datasets.h"
#include "methods/dispatcher.h"
#include "methods/domain.h"
#include "methods/lease.h"
#include "methods/operacao.h"
#include "methods/saves.h"
#include "store/database.h"
#include "store/events.h"
#include "store/queries.h"
#include "store/schema.h"

#include <QRegularExpression>
#include <QSet>
#include <QSqlQuery>

#include <algorithm>

namespace server {
namespace {

using A = ArgKind;

Json groupRequests(Database &db, const QString &group)
{
    return queryPacket(db, ds::cdsSoli(), sql::requestsOfGroup(), {group});
}

Json groupFiles(Database &db, const QString &group) { return queryPacket(db, ds::cdsArq(), sql::filesOfGroup(), {group}); }

QString checkedRelease(const QString &release, const QString &what)
{
    static const QRegularExpression sixDigits(QStringLiteral("^[0-9]{6}$"));
    if (!release.isEmpty() && !sixDigits.match(release).hasMatch())
        throw ServerError(QStringLiteral("Release inválida para %1: \"%2\" (esperados 6 dígitos VRRPPP).").arg(what, release));
    return release;
}

bool isDigits(const QString &text, int minSize, int maxSize)
{
    if (text.size() < minSize || text.size() > maxSize)
        return false;
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.isDigit(); });
}

// ---- Loading the screen ----------------------------------------------------------------

// GetInitialData(operator): [every group in code order, the requests and the modified
// files of the first group, "S" when the operator may edit groups, else "N"].
Json GetInitialData(Call &call)
{
    Database &db = call.db;
    const Json groups = queryPacket(db, ds::cdsGrupo(), sql::groupList());
    const QString first = db.scalar(sql::firstGroup()).toString();
    const QString editable = db.scalar(sql::operatorMayEdit(), {call.text(0)}).toString();
    return Json::array({groups, groupRequests(db, first), groupFiles(db, first),
                        editable == u"S" ? QStringLiteral("S") : QStringLiteral("N")});
}

// GetAfterScroll(group): [its requests, its modified files]; empty packets for an unknown group.
Json GetAfterScroll(Call &call)
{
    return Json::array({groupRequests(call.db, call.text(0)), groupFiles(call.db, call.text(0))});
}

// getGrupo(code): the group with that code; every group when the code is empty.
Json getGrupo(Call &call)
{
    const QString code = call.text(0);
    if (code.isEmpty())
        return queryPacket(call.db, ds::cdsGrupo(), sql::groupList());
    return queryPacket(call.db, ds::cdsGrupo(), sql::groupByCode(), {code});
}

// GetSoli(group): the group's requests, by queue position and number.
Json GetSoli(Call &call) { return groupRequests(call.db, call.text(0)); }

// getArq(group): the files that the group's requests modified, with their revisions.
Json getArq(Call &call) { return groupFiles(call.db, call.text(0)); }

// getArqSoli(group): the compiled-kind files the group's requests release for generation.
Json getArqSoli(Call &call)
{
    return queryPacket(call.db, ds::cdsArqSoli(), sql::compiledFilesOfGroup(), {call.text(0)});
}

// getArqSoliAsp(group): the web-page files the group's requests release.
Json getArqSoliAsp(Call &call)
{
    return queryPacket(call.db, ds::cdsArqSoliAsp(), sql::filesOfGroupOfKind('W'), {call.text(0)});
}

// getArqSoliSetForms(group): the form-setting files the group's requests release.
Json getArqSoliSetForms(Call &call)
{
    return queryPacket(call.db, ds::cdsArqSoliAsp(), sql::filesOfGroupOfKind('F'), {call.text(0)});
}

QList<RequestKey> packetRequests(const Call &call, int index)
{
    const packet::Packet requests = packetArgument(call, index, ds::cdsSoli(), {QStringLiteral("CDFILIAL"), QStringLiteral("NRSOLISERV")});
    QList<RequestKey> keys;
    for (const packet::Row &row : requests.rows) {
        const RequestKey key{rowText(requests.fields, row, QStringLiteral("CDFILIAL")),
                             rowText(requests.fields, row, QStringLiteral("NRSOLISERV"))};
        if (!key.numero.isEmpty() && !keys.contains(key))
            keys.append(key);
    }
    return keys;
}

// GetArquivos(requests packet, flag): flag "N": every file the packet's requests release
// (all kinds), ordered by request number; flag "S": one row for each of those requests
// that releases no file at all.
Json GetArquivos(Call &call)
{
    const QList<RequestKey> keys = packetRequests(call, 0);
    const QString flag = call.text(1);
    if (flag == u"S") {
        QList<QVariantList> rows;
        for (const RequestKey &key : keys) {
            const int files = call.db.scalar(QStringLiteral("SELECT COUNT(*) FROM ARQPATCH WHERE CDFILIAL = ? AND NRSOLISERV = ?"),
                                             {key.filial, key.numero})
                                  .toInt();
            if (files == 0)
                rows.append({key.filial, key.numero});
        }
        return rowsPacket(ds::cdssolisemgerar(), rows);
    }
    if (flag != u"N")
        throw ServerError(QStringLiteral("GetArquivos: o segundo argumento deve ser \"S\" ou \"N\", não \"%1\".").arg(flag));
    QList<QVariantList> rows;
    for (const RequestKey &key : keys) {
        for (const QStringList &row :
             queryRows(call.db,
                       QStringLiteral("SELECT CDFILIAL, NRSOLISERV, DSARQPATCH, CDVERPRODUTO, CDRELVERPROD, CDPATCHVERPR, "
                                      "NRSEQPATCH, IDARQESPECLIE FROM ARQPATCH WHERE CDFILIAL = ? AND NRSOLISERV = ? "
                                      "ORDER BY NRSEQPATCH, DSARQCHAVE"),
                       {key.filial, key.numero})) {
            QVariantList values(row.begin(), row.end());
            values.append(QString());  // DSDIRDESTHOM is filled by the screen
            rows.append(values);
        }
    }
    std::stable_sort(rows.begin(), rows.end(),
                     [](const QVariantList &a, const QVariantList &b) { return a[1].toString() < b[1].toString(); });
    return rowsPacket(ds::cdsArqLib(), rows);
}

// getAgrupaSoli(group): the groupings that the group's requests belong to.
Json getAgrupaSoli(Call &call)
{
    return queryPacket(call.db, ds::cdsAgrupaSoli(),
                       QStringLiteral("SELECT A.CDFILIAL, A.NRSOLISERV, A.NRSEQAGRUPASOLI FROM SOLIGRUPO SG JOIN AGRUPASOLI A "
                                      "ON A.CDFILIAL = SG.CDFILIAL AND A.NRSOLISERV = SG.NRSOLISERV WHERE SG.CDGRUPHOMOL = ? "
                                      "ORDER BY A.NRSEQAGRUPASOLI, A.NRSOLISERV, A.CDFILIAL"),
                       {call.text(0)});
}

// VerificaModelagemSoliGrup(group): one row listing the group's requests that need a
// modelling project not yet homologated; no row when there is none.
Json VerificaModelagemSoliGrup(Call &call)
{
    const QList<QStringList> rows =
        queryRows(call.db,
                  QStringLiteral("SELECT S.NRSOLISERV FROM SOLIGRUPO SG JOIN SOLICITACAO S ON S.CDFILIAL = SG.CDFILIAL AND "
                                 "S.NRSOLISERV = SG.NRSOLISERV WHERE SG.CDGRUPHOMOL = ? AND UPPER(S.MODELAGEM) IN ('S', 'SIM') "
                                 "AND S.IDMODELHOMOL <> 'S' ORDER BY S.NRSOLISERV"),
                  {call.text(0)});
    if (rows.isEmpty())
        return rowsPacket(ds::cdsVerifSoliGrupModel(), {});
    QStringList numbers;
    for (const QStringList &row : rows)
        numbers.append(row[0]);
    return rowsPacket(ds::cdsVerifSoliGrupModel(), {{call.text(0), numbers.join(QStringLiteral(", ")).left(4000)}});
}

// ---- Editing ---------------------------------------------------------------------------

// getProd(branch, tree code): the products offered to the branch (a product without
// branch serves all), every one when the tree code is empty, else the one with that code.
Json getProd(Call &call)
{
    const QString select = QStringLiteral("SELECT CDARVPROD, NMPRODUTO, CDPRODUTO FROM PRODUTO WHERE (CDFILIAL = '' OR CDFILIAL = ?) ");
    if (call.text(1).isEmpty())
        return queryPacket(call.db, ds::cdsProd(), select + QStringLiteral("ORDER BY CDARVPROD, CDPRODUTO"), {call.text(0)});
    return queryPacket(call.db, ds::cdsProd(), select + QStringLiteral("AND UPPER(CDARVPROD) = UPPER(?) ORDER BY CDPRODUTO"),
                       {call.text(0), call.text(1)});
}

// getSoliDisp(product): the product's requests waiting for a group (finished by
// development, or sent back for patch regeneration) that no group in progress holds.
Json getSoliDisp(Call &call)
{
    return queryPacket(call.db, ds::cdsSoliDisp(),
                       QStringLiteral("SELECT S.CDFILIAL, S.NRSOLISERV, S.DSREFESOLI, S.TXOBSOLIGER FROM SOLICITACAO S "
                                      "WHERE S.CDPRODUTO = ? AND S.CDFASETRAM IN (?, ?) AND NOT EXISTS (SELECT 1 FROM SOLIGRUPO SG "
                                      "JOIN GRUPOHOMOL G ON G.CDGRUPHOMOL = SG.CDGRUPHOMOL WHERE SG.CDFILIAL = S.CDFILIAL AND "
                                      "SG.NRSOLISERV = S.NRSOLISERV AND G.IDSTGRUPHOM <> '007') ORDER BY S.NRSOLISERV, S.CDFILIAL"),
                       {call.text(0), phase::Disponivel, phase::AguardandoRegeracao});
}

// getVdInsSoli(branch, number, product): the request when it is the product's and either
// may enter a group or already is in one (then with that group's code and name); no row
// otherwise.
Json getVdInsSoli(Call &call)
{
    const RequestKey key{call.text(0), call.text(1)};
    const QList<QStringList> rows = queryRows(
        call.db,
        QStringLiteral("SELECT CDFASETRAM, DSREFESOLI, TXOBSOLIGER FROM SOLICITACAO WHERE CDFILIAL = ? AND NRSOLISERV = ? "
                       "AND CDPRODUTO = ?"),
        {key.filial, key.numero, call.text(2)});
    if (rows.isEmpty())
        return rowsPacket(ds::cdsVdSoli(), {});
    const QString group = openGroupOf(call.db, key);
    const QString phaseCode = rows[0][0];
    if (group.isEmpty() && phaseCode != phase::Disponivel && phaseCode != phase::AguardandoRegeracao)
        return rowsPacket(ds::cdsVdSoli(), {});
    const QString groupName = group.isEmpty() ? QString() : requireGroup(call.db, group).name;
    return rowsPacket(ds::cdsVdSoli(), {{phaseCode, group, key.filial, key.numero, rows[0][1], rows[0][2], groupName}});
}

// GetItemTrabDesenv(number): the other requests, not yet homologated, that share a work
// item (task activity) with the request.
Json GetItemTrabDesenv(Call &call)
{
    return queryPacket(call.db, ds::cdsItemTrabDesenv(),
                       QStringLiteral("SELECT DISTINCT O.NRSOLISERV, O.CDFASETRAM, O.DSREFESOLI FROM SOLICITACAO S "
                                      "JOIN ITEMTRABSOLI I ON I.CDFILIAL = S.CDFILIAL AND I.NRSOLISERV = S.NRSOLISERV "
                                      "JOIN ITEMTRABSOLI J ON J.NRTAREFA = I.NRTAREFA AND J.NRPLATIVTARE = I.NRPLATIVTARE "
                                      "JOIN SOLICITACAO O ON O.CDFILIAL = J.CDFILIAL AND O.NRSOLISERV = J.NRSOLISERV "
                                      "WHERE S.NRSOLISERV = ? AND NOT (O.CDFILIAL = S.CDFILIAL AND O.NRSOLISERV = S.NRSOLISERV) "
                                      "AND O.CDFASETRAM <> ? ORDER BY O.NRSOLISERV"),
                       {call.text(0), phase::Homologada});
}

// GetReleaseSoli(number): the release and product tree code of the request(s) with that number.
Json GetReleaseSoli(Call &call)
{
    return queryPacket(call.db, ds::cdsReleaseSoli(),
                       QStringLiteral("SELECT S.NRSOLISERV, S.CDRELEASESOLI, P.CDARVPROD FROM SOLICITACAO S "
                                      "JOIN PRODUTO P ON P.CDPRODUTO = S.CDPRODUTO WHERE S.NRSOLISERV = ? ORDER BY S.CDFILIAL"),
                       {call.text(0)});
}

// GetVdReleaseSoli(number): the other requests of the same product that carry a release
// and are still on their way to homologation (neither homologated nor back in development).
Json GetVdReleaseSoli(Call &call)
{
    return queryPacket(call.db, ds::cdsVdReleaseSoli(),
                       QStringLiteral("SELECT O.NRSOLISERV, F.DSSTFASETRAM, COALESCE(OP.NMOPERADOR, ''), O.CDRELEASESOLI "
                                      "FROM SOLICITACAO S JOIN SOLICITACAO O ON O.CDPRODUTO = S.CDPRODUTO "
                                      "JOIN FASETRAM F ON F.CDFASETRAM = O.CDFASETRAM "
                                      "LEFT JOIN OPERADOR OP ON OP.CDOPERADOR = O.CDOPERRESP "
                                      "WHERE S.NRSOLISERV = ? AND NOT (O.CDFILIAL = S.CDFILIAL AND O.NRSOLISERV = S.NRSOLISERV) "
                                      "AND O.CDFASETRAM NOT IN (?, ?) AND O.CDRELEASESOLI <> '' ORDER BY O.NRSOLISERV, O.CDFILIAL"),
                       {call.text(0), phase::Desenvolvimento, phase::Homologada});
}

// getVerificaSolicitaGrupo(number, group): a row when a request with that number is in the group.
Json getVerificaSolicitaGrupo(Call &call)
{
    return queryPacket(call.db, ds::cdsVerificaSolicitaGrupo(),
                       QStringLiteral("SELECT NRSOLISERV, CDGRUPHOMOL FROM SOLIGRUPO WHERE NRSOLISERV = ? AND CDGRUPHOMOL = ?"),
                       {call.text(0), call.text(1)});
}

RequestKey requestInGroup(Database &db, const QString &filial, const QString &group, const QString &numero)
{
    const RequestKey key{filial, numero};
    if (!db.scalar(QStringLiteral("SELECT 1 FROM SOLIGRUPO WHERE CDGRUPHOMOL = ? AND CDFILIAL = ? AND NRSOLISERV = ?"),
                   {group, filial, numero})
             .isValid())
        throw ServerError(QStringLiteral("A solicitação %1/%2 não pertence ao grupo %3.").arg(filial, numero, group));
    return key;
}

// getVdJustificativa(branch, group, number): the justification stored for the request's
// decision in that group (at most one row).
Json getVdJustificativa(Call &call)
{
    return queryPacket(call.db, ds::cdsVdJust(),
                       QStringLiteral("SELECT CDFILIAL, CDGRUPHOMOL, NRSOLISERV, CDOPERADOR, DSALTPROCHOMOL FROM JUSTIFICATIVA "
                                      "WHERE CDFILIAL = ? AND CDGRUPHOMOL = ? AND NRSOLISERV = ?"),
                       {call.text(0), call.text(1), call.text(2)});
}

// setDeletaJustificativa(branch, group, number): removes that justification (none is no error).
Json setDeletaJustificativa(Call &call)
{
    call.db.exec(QStringLiteral("DELETE FROM JUSTIFICATIVA WHERE CDFILIAL = ? AND CDGRUPHOMOL = ? AND NRSOLISERV = ?"),
                 {call.text(0), call.text(1), call.text(2)});
    return QJsonValue::Null;
}

// setInsereJustificativa(var branch, var group, var number, var operator, text): stores the
// justification of the request's decision in the group, replacing an earlier one. A blank
// text, or a request that is not in the group, is refused.
Json setInsereJustificativa(Call &call)
{
    lockGroup(call.db, call.text(1));
    const RequestKey key = requestInGroup(call.db, call.text(0), call.text(1), call.text(2));
    const QString text = call.text(4);
    if (text.trimmed().isEmpty())
        throw ServerError(QStringLiteral("A justificativa da solicitação %1 não pode ser vazia.").arg(key.numero));
    call.db.exec(QStringLiteral("DELETE FROM JUSTIFICATIVA WHERE CDFILIAL = ? AND CDGRUPHOMOL = ? AND NRSOLISERV = ?"),
                 {key.filial, call.text(1), key.numero});
    call.db.exec(QStringLiteral("INSERT INTO JUSTIFICATIVA (CDFILIAL, CDGRUPHOMOL, NRSOLISERV, CDOPERADOR, DSALTPROCHOMOL, "
                                "DTJUSTIFICATIVA) VALUES (?, ?, ?, ?, ?, ?)"),
                 {key.filial, call.text(1), key.numero, call.text(3).left(12), text, nowText()});
    recordEvent(call.db, {eventKind::Justification, call.text(3), call.text(1), requireGroup(call.db, call.text(1)).product,
                          key.filial, key.numero, {}, {}, text});
    return QJsonValue::Null;
}

// setTagGrupo(group, operator, tag, "S" when the tag was removed): keeps, for the audit,
// a repository tag made (or removed after a failed advance) for the group.
Json setTagGrupo(Call &call)
{
    const GroupRow group = requireGroup(call.db, call.text(0));
    if (call.text(2).trimmed().isEmpty())
        throw ServerError(QStringLiteral("A tag do grupo %1 não foi informada.").arg(group.code));
    const bool removed = call.text(3) == u"S";
    recordEvent(call.db, {removed ? eventKind::TagRemoved : eventKind::Tag, call.text(1), group.code, group.product, {}, {},
                          removed ? call.text(2) : QString(), removed ? QString() : call.text(2), {}});
    return QJsonValue::Null;
}

// setLogTram(operator, group, var previous phase, var new phase, var text): appends the
// transition log to the group's logs.
Json setLogTram(Call &call)
{
    lockGroup(call.db, call.text(1));
    const GroupRow group = requireGroup(call.db, call.text(1));
    const int sequence =
        call.db.scalar(QStringLiteral("SELECT COALESCE(MAX(NRSEQLOG), 0) + 1 FROM LOGTRAM WHERE CDGRUPHOMOL = ?"), {group.code})
            .toInt();
    call.db.exec(QStringLiteral("INSERT INTO LOGTRAM (CDGRUPHOMOL, NRSEQLOG, CDOPERADOR, IDSTGRUPANT, IDSTGRUPNOVO, TXLOGTRAM, "
                                "DTLOGTRAM) VALUES (?, ?, ?, ?, ?, ?, ?)"),
                 {group.code, sequence, call.text(0).left(12), call.text(2).left(3), call.text(3).left(3), call.text(4),
                  nowText()});
    return QJsonValue::Null;
}

// getLogTram(group): the transition logs stored for the group, oldest first.
Json getLogTram(Call &call)
{
    return queryPacket(call.db, ds::cdsLogTram(),
                       QStringLiteral("SELECT CDGRUPHOMOL, NRSEQLOG, CDOPERADOR, IDSTGRUPANT, IDSTGRUPNOVO, DTLOGTRAM, TXLOGTRAM "
                                      "FROM LOGTRAM WHERE CDGRUPHOMOL = ? ORDER BY NRSEQLOG"),
                       {call.text(0)});
}

// getEventosGrupo(group): the group's timeline, oldest first, as the board tells it: the
// group's phase changes, its requests' phase changes, the decisions with their
// justifications, the tags, the transition logs (their text as the detail) and the
// registrations of its product made when it was closed (up to the next closing of a group
// of the product), each with the operator's name and the time.
Json getEventosGrupo(Call &call)
{
    const GroupRow group = requireGroup(call.db, call.text(0));
    QList<QVariantList> rows;
    const auto phaseName = [](const QString &code) {
        const QString name = groupPhaseName(code);
        return name.isEmpty() ? code : code + QStringLiteral(" - ") + name;
    };
    const QString byName = QStringLiteral("LEFT JOIN OPERADOR O ON O.CDOPERADOR = ");
    for (const QStringList &r :
         queryRows(call.db,
                   QStringLiteral("SELECT E.DTEVENTO, E.TPEVENTO, COALESCE(O.NMOPERADOR, E.CDOPERADOR), E.NRSOLISERV, E.DSANTES, "
                                  "E.DSDEPOIS, E.TXDETALHE FROM EVENTO E ")
                       + byName + QStringLiteral("E.CDOPERADOR WHERE E.CDGRUPHOMOL = ? ORDER BY E.NRSEQEVENTO"),
                   {group.code})) {
        const bool phase = r[1] == eventKind::GroupPhase;
        rows.append({r[0], r[1], r[2], r[3], phase ? phaseName(r[4]) : r[4], phase ? phaseName(r[5]) : r[5], r[6]});
    }
    for (const QStringList &r :
         queryRows(call.db,
                   QStringLiteral("SELECT L.DTLOGTRAM, COALESCE(O.NMOPERADOR, L.CDOPERADOR), L.IDSTGRUPANT, L.IDSTGRUPNOVO, "
                                  "L.TXLOGTRAM FROM LOGTRAM L ")
                       + byName + QStringLiteral("L.CDOPERADOR WHERE L.CDGRUPHOMOL = ? ORDER BY L.NRSEQLOG"),
                   {group.code}))
        rows.append({r[0], QStringLiteral("log de tramitação"), r[1], QString(), phaseName(r[2]), phaseName(r[3]), r[4]});
    for (const QStringList &r :
         queryRows(call.db,
                   QStringLiteral("SELECT H.DTALFASETRAM, COALESCE(O.NMOPERADOR, H.CDOPERADOR), H.NRSOLISERV, "
                                  "COALESCE(FA.DSSTFASETRAM, H.CDFASEANTERIOR), COALESCE(FN.DSSTFASETRAM, H.CDFASETRAM), "
                                  "H.DSTRAMITACAO FROM HISTFASETRAM H JOIN SOLIGRUPO SG ON SG.CDFILIAL = H.CDFILIAL AND "
                                  "SG.NRSOLISERV = H.NRSOLISERV LEFT JOIN FASETRAM FA ON FA.CDFASETRAM = H.CDFASEANTERIOR "
                                  "LEFT JOIN FASETRAM FN ON FN.CDFASETRAM = H.CDFASETRAM ")
                       + byName + QStringLiteral("H.CDOPERADOR WHERE SG.CDGRUPHOMOL = ? ORDER BY H.NRSEQHIST"),
                   {group.code}))
        rows.append({r[0], eventKind::RequestPhase, r[1], r[2], r[3], r[4], r[5]});
    // Registrations name only their product: those of the group are the ones its closing made.
    const QString closed = call.db
                               .scalar(QStringLiteral("SELECT MIN(DTEVENTO) FROM EVENTO WHERE TPEVENTO = ? AND CDGRUPHOMOL = ? "
                                                      "AND DSDEPOIS = '007'"),
                                       {eventKind::GroupPhase, group.code})
                               .toString();
    if (!closed.isEmpty()) {
        const QString next = call.db
                                 .scalar(QStringLiteral("SELECT MIN(DTEVENTO) FROM EVENTO WHERE TPEVENTO = ? AND CDPRODUTO = ? "
                                                        "AND DSDEPOIS = '007' AND CDGRUPHOMOL <> ? AND DTEVENTO > ?"),
                                         {eventKind::GroupPhase, group.product, group.code, closed})
                                 .toString();
        for (const QStringList &r :
             queryRows(call.db,
                       QStringLiteral("SELECT DTEVENTO, DSDEPOIS, TXDETALHE FROM EVENTO WHERE TPEVENTO = ? AND CDPRODUTO = ? "
                                      "AND DTEVENTO >= ? ORDER BY NRSEQEVENTO"),
                       {eventKind::Registration, group.product, closed})) {
            if (next.isEmpty() || r[0] < next)
                rows.append({r[0], eventKind::Registration, QString(), QString(), QString(), r[1], r[2]});
        }
    }
    std::stable_sort(rows.begin(), rows.end(),
                     [](const QVariantList &a, const QVariantList &b) { return a[0].toString() < b[0].toString(); });
    return rowsPacket(ds::cdsEventosGrupo(), rows);
}

// ---- Checks before the transfer (001 -> 002) -------------------------------------------

// getLocations(var product): the product's six locations: development repository URL,
// development working copy, homologated repository URL, homologated working copy,
// pre-homologated tree, homologated tree.
Json getLocations(Call &call)
{
    const ProductRow product = requireProduct(call.db, call.text(0));
    return QJsonArray::fromStringList(product.locations);
}

// GetProdAtual(): the build base folder of every product that has one.
Json GetProdAtual(Call &call)
{
    return queryPacket(call.db, ds::cdsVerificaProduto(),
                       QStringLiteral("SELECT DSDIRBASEVER FROM PRODUTO WHERE DSDIRBASEVER <> '' ORDER BY CDPRODUTO"));
}

// GetVersArqModif(group): the group's modified files with their revisions; a file that
// several requests changed comes once per request, the highest revision last.
Json GetVersArqModif(Call &call)
{
    return queryPacket(call.db, ds::cdsArqModifAtu(),
                       QStringLiteral("SELECT A.DSDIRARQCHECKOU, A.CDRELEASEARQANT, A.CDRELEASEARQATU, '', '' FROM SOLIGRUPO SG "
                                      "JOIN ARQMODIF A ON A.CDFILIAL = SG.CDFILIAL AND A.NRSOLISERV = SG.NRSOLISERV "
                                      "WHERE SG.CDGRUPHOMOL = ? ORDER BY A.DSARQCHAVE, LENGTH(A.CDRELEASEARQATU), A.CDRELEASEARQATU"),
                       {call.text(0)});
}

// GetVerificaArquivos(group, product): requests of the group whose files belong to
// another version of the product: IDENTIFICA "1" for a file to generate registered for a
// version/release other than the product's (characters 2-4 of its tree code), "2" for a
// modified file outside the product's development working copy.
Json GetVerificaArquivos(Call &call)
{
    const QString group = call.text(0);
    const ProductRow product = requireProduct(call.db, call.text(1));
    QList<QVariantList> rows;
    const QString version = product.tree.mid(1, 3);
    if (version.size() == 3) {
        for (const QStringList &row :
             queryRows(call.db,
                       QStringLiteral("SELECT DISTINCT A.NRSOLISERV FROM SOLIGRUPO SG JOIN ARQPATCH A ON A.CDFILIAL = SG.CDFILIAL "
                                      "AND A.NRSOLISERV = SG.NRSOLISERV WHERE SG.CDGRUPHOMOL = ? AND A.CDVERPRODUTO <> '' "
                                      "AND A.CDVERPRODUTO || A.CDRELVERPROD <> ? ORDER BY A.NRSOLISERV"),
                       {group, version}))
            rows.append({QStringLiteral("1"), row[0]});
    }
    const QString root = pathKey(product.locations.value(1));
    if (!root.isEmpty()) {
        QSet<QString> listed;
        for (const QStringList &row : queryRows(call.db, sql::filesOfGroup(), {group})) {
            if (!pathKey(row[2]).startsWith(root) && !listed.contains(row[1])) {
                listed.insert(row[1]);
                rows.append({QStringLiteral("2"), row[1]});
            }
        }
    }
    return rowsPacket(ds::cdsVerificaArquivos(), rows);
}

// Vd_ReleaseArq(group): for each file of the group, the requests outside the group, not yet
// homologated, that changed the same file at a lower revision: they must be homologated
// first. GRUPOHOMOL is the group in progress that holds such a request (empty when none).
Json Vd_ReleaseArq(Call &call)
{
    const QList<QStringList> candidates = queryRows(
        call.db,
        QStringLiteral("SELECT A.DSDIRARQCHECKOU, A.CDRELEASEARQATU, B.CDFILIAL, B.NRSOLISERV, B.NRTAREFA, B.NRPLATIVTARE, "
                       "B.CDRELEASEARQATU FROM SOLIGRUPO SG JOIN ARQMODIF A ON A.CDFILIAL = SG.CDFILIAL AND A.NRSOLISERV = SG.NRSOLISERV "
                       "JOIN ARQMODIF B ON B.DSARQCHAVE = A.DSARQCHAVE JOIN SOLICITACAO SB ON SB.CDFILIAL = B.CDFILIAL AND "
                       "SB.NRSOLISERV = B.NRSOLISERV WHERE SG.CDGRUPHOMOL = ? AND SB.CDFASETRAM <> ? AND NOT EXISTS "
                       "(SELECT 1 FROM SOLIGRUPO SX WHERE SX.CDGRUPHOMOL = SG.CDGRUPHOMOL AND SX.CDFILIAL = B.CDFILIAL AND "
                       "SX.NRSOLISERV = B.NRSOLISERV) ORDER BY A.DSARQCHAVE, B.NRSOLISERV"),
        {call.text(0), phase::Homologada});
    QList<QVariantList> rows;
    for (const QStringList &row : candidates) {
        if (row[6].isEmpty() || row[1].isEmpty() || row[6].toLongLong() >= row[1].toLongLong())
            continue;
        const QString group = openGroupOf(call.db, {row[2], row[3]});
        rows.append({group, row[3], row[4], row[5], row[0], row[1], row[6]});
    }
    return rowsPacket(ds::cdsVd_ReleaseArq(), rows);
}

// getDepSoli(requests packet): the packet's requests together with every request, not yet
// homologated, that one of them depends on or shares a grouping with.
Json getDepSoli(Call &call)
{
    const QList<RequestKey> keys = packetRequests(call, 0);
    QList<QVariantList> rows;
    QSet<QString> seen;
    auto add = [&](const QString &filial, const QString &numero, const QString &reference) {
        if (!seen.contains(filial + numero)) {
            seen.insert(filial + numero);
            rows.append({filial, numero, reference});
        }
    };
    for (const RequestKey &key : keys) {
        const QString reference = call.db.scalar(QStringLiteral("SELECT DSREFESOLI FROM SOLICITACAO WHERE CDFILIAL = ? AND NRSOLISERV = ?"),
                                                 {key.filial, key.numero})
                                      .toString();
        add(key.filial, key.numero, reference);
    }
    for (const RequestKey &key : keys) {
        const QList<QStringList> related = queryRows(
            call.db,
            QStringLiteral("SELECT S.CDFILIAL, S.NRSOLISERV, S.DSREFESOLI FROM DEPSOLI D JOIN SOLICITACAO S ON "
                           "S.CDFILIAL = D.CDFILIALDEP AND S.NRSOLISERV = D.NRSOLISERVDEP WHERE D.CDFILIAL = ? AND "
                           "D.NRSOLISERV = ? AND S.CDFASETRAM <> ? UNION SELECT S.CDFILIAL, S.NRSOLISERV, S.DSREFESOLI "
                           "FROM AGRUPASOLI A JOIN AGRUPASOLI B ON B.NRSEQAGRUPASOLI = A.NRSEQAGRUPASOLI JOIN SOLICITACAO S "
                           "ON S.CDFILIAL = B.CDFILIAL AND S.NRSOLISERV = B.NRSOLISERV WHERE A.CDFILIAL = ? AND "
                           "A.NRSOLISERV = ? AND S.CDFASETRAM <> ? ORDER BY 2, 1"),
            {key.filial, key.numero, phase::Homologada, key.filial, key.numero, phase::Homologada});
        for (const QStringList &row : related)
            add(row[0], row[1], row[2]);
    }
    return rowsPacket(ds::cdsVDDepSoli(), rows);
}

// getDepArq(group): the group's modified files that a request of another group in
// progress (phases 002 to 006) also modified.
Json getDepArq(Call &call)
{
    return queryPacket(call.db, ds::cdsVDDepArq(),
                       QStringLiteral("SELECT DISTINCT A.DSDIRARQCHECKOU FROM SOLIGRUPO SG JOIN ARQMODIF A ON A.CDFILIAL = "
                                      "SG.CDFILIAL AND A.NRSOLISERV = SG.NRSOLISERV JOIN ARQMODIF B ON B.DSARQCHAVE = A.DSARQCHAVE "
                                      "JOIN SOLIGRUPO SB ON SB.CDFILIAL = B.CDFILIAL AND SB.NRSOLISERV = B.NRSOLISERV "
                                      "JOIN GRUPOHOMOL GB ON GB.CDGRUPHOMOL = SB.CDGRUPHOMOL WHERE SG.CDGRUPHOMOL = ? AND "
                                      "SB.CDGRUPHOMOL <> SG.CDGRUPHOMOL AND GB.IDSTGRUPHOM IN ('002', '003', '004', '005', '006') "
                                      "ORDER BY A.DSDIRARQCHECKOU"),
                       {call.text(0)});
}

// setVersArqHom(group, files packet): records the homologated repository's revisions of
// the group's files. Rows without a current revision carry homologated paths and the
// revision before the transfer ("0" for a new file); the first one recorded for a file
// stays, so a repeated transfer never loses the original, except a "0" that a later
// transfer finds to be a file the repository already had. Rows with a current revision
// carry development paths, mapped onto the homologated working copy, and set the revision
// after the transfer of a file recorded before.
Json setVersArqHom(Call &call)
{
    const GroupRow group = requireGroup(call.db, call.text(0));
    const ProductRow product = requireProduct(call.db, group.product);
    const packet::Packet files = packetArgument(
        call, 1, ds::cdsArqModifAtu(),
        {QStringLiteral("DSDIRARQCHECKOU"), QStringLiteral("CDRELEASEARQANT"), QStringLiteral("CDRELEASEARQATU")});
    for (const packet::Row &row : files.rows) {
        const QString path = rowText(files.fields, row, QStringLiteral("DSDIRARQCHECKOU"));
        const QString before = rowText(files.fields, row, QStringLiteral("CDRELEASEARQANT")).trimmed();
        const QString after = rowText(files.fields, row, QStringLiteral("CDRELEASEARQATU")).trimmed();
        if (path.isEmpty())
            continue;
        if (after.isEmpty()) {
            call.db.exec(QStringLiteral("INSERT INTO VERSARQHOM (CDGRUPHOMOL, DSARQSVNHOMOL, DSARQCHAVE, NRREVANTARQSVN, "
                                        "NRREVATUARQSVN) VALUES (?, ?, ?, ?, '') ON CONFLICT (CDGRUPHOMOL, DSARQCHAVE) DO UPDATE SET "
                                        "NRREVANTARQSVN = excluded.NRREVANTARQSVN WHERE VERSARQHOM.NRREVANTARQSVN = '0' "
                                        "AND excluded.NRREVANTARQSVN <> '0'"),
                         {group.code, path.left(250), pathKey(path).left(250), before.left(10)});
            continue;
        }
        const QString homologated = swapRoot(path, product.locations.value(1), product.locations.value(3));
        if (call.db.execCount(QStringLiteral("UPDATE VERSARQHOM SET NRREVATUARQSVN = ? WHERE CDGRUPHOMOL = ? AND DSARQCHAVE = ?"),
                              {after.left(10), group.code, pathKey(homologated).left(250)})
            == 0)
            throw ServerError(QStringLiteral("A revisão anterior do arquivo %1 do grupo %2 não foi registrada; "
                                             "registre-a antes da revisão atual.")
                                  .arg(homologated, group.code));
    }
    return QJsonValue::Null;
}

// getVersArqFonteHom(var group): the recorded revisions of the group's homologated files.
Json getVersArqFonteHom(Call &call)
{
    return queryPacket(call.db, ds::cdsVersArqFonteHom(),
                       QStringLiteral("SELECT CDGRUPHOMOL, DSARQSVNHOMOL, NRREVANTARQSVN, NRREVATUARQSVN FROM VERSARQHOM "
                                      "WHERE CDGRUPHOMOL = ? ORDER BY DSARQCHAVE"),
                       {call.text(0)});
}

// ---- Workflow of the group's requests ----------------------------------------------------

// getSoliNaoGerada(group): the group's requests whose patch is still to be (re)generated.
Json getSoliNaoGerada(Call &call)
{
    return queryPacket(call.db, ds::cdsSoliNaoGerada(),
                       QStringLiteral("SELECT SG.CDFILIAL, SG.NRSOLISERV, S.DSREFESOLI FROM SOLIGRUPO SG JOIN SOLICITACAO S "
                                      "ON S.CDFILIAL = SG.CDFILIAL AND S.NRSOLISERV = SG.NRSOLISERV WHERE SG.CDGRUPHOMOL = ? "
                                      "AND SG.IDSTSOLIGRUP IN ('001', '007') ORDER BY SG.NRPRIOSOLI, SG.CDFILIAL, SG.NRSOLISERV"),
                       {call.text(0)});
}

// SyncFaseTram(group): brings the group's requests in line with the group's phase: at
// "006" the requests whose patch was generated enter the tests ("Em teste"); the status of
// every request in the group is then the one its workflow phase shows. A closed group is
// left as it is. Answer: [number of requests changed].
Json SyncFaseTram(Call &call)
{
    lockGroup(call.db, call.text(0));
    const GroupRow group = requireGroup(call.db, call.text(0));
    int changed = 0;
    if (group.phase == u"007")
        return QJsonArray{QStringLiteral("0")};
    const QList<QStringList> rows = queryRows(
        call.db,
        QStringLiteral("SELECT SG.CDFILIAL, SG.NRSOLISERV, S.CDFASETRAM, SG.IDSTSOLIGRUP FROM SOLIGRUPO SG JOIN SOLICITACAO S "
                       "ON S.CDFILIAL = SG.CDFILIAL AND S.NRSOLISERV = SG.NRSOLISERV WHERE SG.CDGRUPHOMOL = ?"),
        {group.code});
    for (const QStringList &row : rows) {
        const RequestKey key{row[0], row[1]};
        QString phaseCode = row[2];
        if (group.phase == u"006" && phaseCode == phase::PatchGerado) {
            changePhase(call.db, key, phase::EmTeste, QString(), QString(), QString(),
                        QStringLiteral("Liberada para teste no grupo %1").arg(group.code));
            phaseCode = phase::EmTeste;
            ++changed;
            continue;
        }
        const QString status = phase::groupStatus(phaseCode);
        if (status != row[3]) {
            call.db.exec(QStringLiteral("UPDATE SOLIGRUPO SET IDSTSOLIGRUP = ? WHERE CDGRUPHOMOL = ? AND CDFILIAL = ? AND NRSOLISERV = ?"),
                         {status, group.code, key.filial, key.numero});
            ++changed;
        }
    }
    return QJsonArray{QString::number(changed)};
}

RequestKey requestAtHomologation(Database &db, const RequestKey &key)
{
    requireRequest(db, key);
    const QString group = openGroupOf(db, key);
    if (!group.isEmpty())
        lockGroup(db, group);
    if (group.isEmpty() || requireGroup(db, group).phase != u"006")
        throw ServerError(QStringLiteral("A solicitação %1/%2 não está em um grupo na fase 006 (Servidores de teste atualizados).")
                              .arg(key.filial, key.numero));
    return key;
}

// setTramita_Soli(branch, number, operator, responsible, var subject, text, remark): moves a
// request of a group under homologation on in its own workflow: subject "105" or "205"
// ("Enviou patch") homologates it, "072" ("Solicitou regeração de patch") sends it back
// for patch regeneration; the responsible takes it over. Other subjects are refused.
Json setTramita_Soli(Call &call)
{
    const RequestKey key = requestAtHomologation(call.db, {call.text(0), call.text(1)});
    const QString subject = call.text(4);
    QString target;
    if (subject == u"105" || subject == u"205")
        target = phase::Homologada;
    else if (subject == u"072")
        target = phase::AguardandoRegeracao;
    else
        throw ServerError(QStringLiteral("Assunto de tramitação desconhecido: \"%1\" (esperado 072, 105 ou 205).").arg(subject));
    const QString responsible = call.text(3);
    if (!responsible.isEmpty()
        && !call.db.scalar(QStringLiteral("SELECT 1 FROM OPERADOR WHERE CDOPERADOR = ?"), {responsible}).isValid())
        throw ServerError(QStringLiteral("O responsável \"%1\" não está cadastrado.").arg(responsible));
    QString description = call.text(5);
    if (!call.text(6).isEmpty())
        description += QStringLiteral(" - ") + call.text(6);
    changePhase(call.db, key, target, call.text(2), responsible, subject, description);
    return QJsonValue::Null;
}

RequestKey requestOfProduct(Database &db, const RequestKey &key, const QString &product)
{
    lockRequest(db, key);
    const RequestRow request = requireRequest(db, key);
    if (request.product != product)
        throw ServerError(QStringLiteral("A solicitação %1/%2 não é do produto %3.").arg(key.filial, key.numero, product));
    return key;
}

// TransfPatchFaseTram(branch, number, product): puts the patch of a request sent back for
// regeneration back into generation: the version its files were generated for is cleared.
Json TransfPatchFaseTram(Call &call)
{
    const RequestKey key = requestOfProduct(call.db, {call.text(0), call.text(1)}, call.text(2));
    if (requireRequest(call.db, key).phase != phase::AguardandoRegeracao)
        throw ServerError(QStringLiteral("A solicitação %1/%2 não está aguardando regeração de patch.").arg(key.filial, key.numero));
    call.db.exec(QStringLiteral("UPDATE ARQPATCH SET CDVERPRODUTO = '', CDRELVERPROD = '', CDPATCHVERPR = '' "
                                "WHERE CDFILIAL = ? AND NRSOLISERV = ?"),
                 {key.filial, key.numero});
    return QJsonValue::Null;
}

// SetArqLibPatchClie(branch, number, product): releases the files of a homologated request
// to the clients' patch.
Json SetArqLibPatchClie(Call &call)
{
    const RequestKey key = requestOfProduct(call.db, {call.text(0), call.text(1)}, call.text(2));
    if (requireRequest(call.db, key).phase != phase::Homologada)
        throw ServerError(QStringLiteral("A solicitação %1/%2 não está homologada; seus arquivos não podem ser liberados.")
                              .arg(key.filial, key.numero));
    call.db.exec(QStringLiteral("UPDATE ARQPATCH SET IDLIBPATCHCLIE = 'S' WHERE CDFILIAL = ? AND NRSOLISERV = ?"),
                 {key.filial, key.numero});
    return QJsonValue::Null;
}

// SetReleaseSoli(release, number): stores the release (six digits, or empty to clear it)
// of every request with that number.
Json SetReleaseSoli(Call &call)
{
    const QString release = checkedRelease(call.text(0).trimmed(), QStringLiteral("a solicitação ") + call.text(1));
    if (call.db.execCount(QStringLiteral("UPDATE SOLICITACAO SET CDRELEASESOLI = ? WHERE NRSOLISERV = ?"), {release, call.text(1)})
        == 0)
        throw ServerError(QStringLiteral("A solicitação %1 não existe.").arg(call.text(1)));
    return QJsonValue::Null;
}

// setTroca_Resp_Soli(branch, number, operator, responsible): hands the request over to the
// responsible (a registered operator); "DESENV" hands it back to development.
Json setTroca_Resp_Soli(Call &call)
{
    const RequestRow request = requireRequest(call.db, {call.text(0), call.text(1)});
    const QString responsible = call.text(3);
    if (!call.db.scalar(QStringLiteral("SELECT 1 FROM OPERADOR WHERE CDOPERADOR = ?"), {responsible}).isValid())
        throw ServerError(QStringLiteral("O responsável \"%1\" não está cadastrado.").arg(responsible));
    const bool backToDevelopment = responsible == kDevelopmentResponsible;
    changePhase(call.db, request.key, backToDevelopment ? phase::Desenvolvimento : request.phase, call.text(2), responsible,
                QString(),
                backToDevelopment ? QStringLiteral("Devolvida ao desenvolvimento para correção")
                                  : QStringLiteral("Repassada para %1").arg(responsible));
    return QJsonValue::Null;
}

// removeArqCheckoutAtiv(var "_number_number_"): ends the check-out registrations of the
// task activities (work items and files) of the requests with those numbers.
Json removeArqCheckoutAtiv(Call &call)
{
    const QStringList numbers = call.text(0).split(u'_', Qt::SkipEmptyParts);
    for (const QString &raw : numbers) {
        const QString numero = raw.trimmed();
        if (requestsNumbered(call.db, numero).isEmpty())
            throw ServerError(QStringLiteral("A solicitação %1 não existe.").arg(numero));
        const QList<QStringList> activities = queryRows(
            call.db,
            QStringLiteral("SELECT NRTAREFA, NRPLATIVTARE FROM ITEMTRABSOLI WHERE NRSOLISERV = ? UNION "
                           "SELECT NRTAREFA, NRPLATIVTARE FROM ARQMODIF WHERE NRSOLISERV = ? AND NRTAREFA <> '' UNION "
                           "SELECT NRTAREFA, NRPLATIVTARE FROM ARQPATCH WHERE NRSOLISERV = ? AND NRTAREFA <> ''"),
            {numero, numero, numero});
        for (const QStringList &activity : activities)
            call.db.exec(QStringLiteral("DELETE FROM ARQCHECKOUTATIV WHERE NRTAREFA = ? AND NRPLATIVTARE = ?"),
                         {activity[0], activity[1]});
    }
    return QJsonValue::Null;
}

// Encerra_Grupos(var "code,code,"): closes the listed groups, which must all be at "006"
// (phase "007", homologation date now). The other groups in progress of the same product
// and release go back to "001" without a release; their requests wait for a new patch
// generation, with their decision flags cleared, and will be tested again. Their files lose
// the version they were generated for and their recorded revisions are set aside
// (VERSARQHOMENC, named by the ended run): they start the road again clean.
Json Encerra_Grupos(Call &call)
{
    QStringList codes;
    for (const QString &raw : call.text(0).split(u',', Qt::SkipEmptyParts)) {
        const QString code = raw.trimmed();
        if (!code.isEmpty() && !codes.contains(code))
            codes.append(code);
    }
    if (codes.isEmpty())
        throw ServerError(QStringLiteral("Nenhum grupo de solicitações foi informado para encerramento."));
    QList<GroupRow> closing;
    for (const QString &code : codes) {
        lockGroup(call.db, code);
        const GroupRow group = requireGroup(call.db, code);
        if (group.phase != u"006")
            throw ServerError(QStringLiteral("O grupo %1 - %2 não pode ser encerrado: está na fase %3, não na 006.")
                                  .arg(group.code, group.name, group.phase));
        closing.append(group);
    }
    const QString now = nowText();
    for (const GroupRow &group : closing) {
        call.db.exec(QStringLiteral("UPDATE GRUPOHOMOL SET IDSTGRUPHOM = '007', DTHRHOMOGRUPSOL = ?, DTULTATUGHOM = ? "
                                    "WHERE CDGRUPHOMOL = ?"),
                     {now, now, group.code});
        recordGroupPhase(call.db, group.code, group.product, group.phase, QStringLiteral("007"));
    }
    for (const GroupRow &group : closing) {
        if (group.release.isEmpty())
            continue;
        const QList<QStringList> others = queryRows(
            call.db,
            QStringLiteral("SELECT CDGRUPHOMOL FROM GRUPOHOMOL WHERE CDPRODUTO = ? AND CDRELEASEGHOM = ? AND IDSTGRUPHOM <> '007'"),
            {group.product, group.release});
        // The groups sent back are changed by the homologation's operator.
        const QString homologatedBy = changeOperator(call.db, group.code);
        for (const QStringList &other : others) {
            // An operation changes only the groups it leased: one that would be sent back
            // without its lease (made after the plan was decided) refuses the closing.
            if (!call.operation.isEmpty())
                requireGroupOfOperation(call.db, call.operation, other[0]);
            const GroupRow sentBack = requireGroup(call.db, other[0]);
            call.db.exec(QStringLiteral("UPDATE GRUPOHOMOL SET IDSTGRUPHOM = '001', CDRELEASEGHOM = '', DTULTATUGHOM = ? "
                                        "WHERE CDGRUPHOMOL = ?"),
                         {now, other[0]});
            recordGroupPhase(call.db, sentBack.code, sentBack.product, sentBack.phase, QStringLiteral("001"),
                             QStringLiteral("Release %1 homologada pelo grupo %2").arg(group.release, group.code), homologatedBy);
            const QList<QStringList> requests =
                queryRows(call.db, QStringLiteral("SELECT CDFILIAL, NRSOLISERV FROM SOLIGRUPO WHERE CDGRUPHOMOL = ?"), {other[0]});
            for (const QStringList &request : requests)
                changePhase(call.db, {request[0], request[1]}, phase::EmHomologacao, homologatedBy, QString(), QString(),
                            QStringLiteral("Release %1 homologada pelo grupo %2; o grupo %3 voltou à fase inicial")
                                .arg(group.release, group.code, other[0]));
            call.db.exec(QStringLiteral("UPDATE SOLIGRUPO SET IDHOMOLSOL = 'N', IDRETSOLERROPRO = 'N', IDENCSOLPATCREG = 'N' "
                                        "WHERE CDGRUPHOMOL = ?"),
                         {other[0]});
            // Its patch will be generated again: the version its files were generated for
            // is cleared, as for a request sent back for regeneration.
            for (const QStringList &request : requests)
                call.db.exec(QStringLiteral("UPDATE ARQPATCH SET CDVERPRODUTO = '', CDRELVERPROD = '', CDPATCHVERPR = '' "
                                            "WHERE CDFILIAL = ? AND NRSOLISERV = ?"),
                             {request[0], request[1]});
            // The revisions recorded before its transfer belong to the run that ended: kept
            // aside under that run's name, so that the next run records its own.
            const QString run = group.release + u'_' + QString(now).remove(u'-').remove(u':').remove(u'T');
            call.db.exec(QStringLiteral("INSERT INTO VERSARQHOMENC (CDGRUPHOMOL, NMEXECUCAO, DSARQSVNHOMOL, DSARQCHAVE, "
                                        "NRREVANTARQSVN, NRREVATUARQSVN) SELECT CDGRUPHOMOL, CAST(? AS VARCHAR(40)), DSARQSVNHOMOL, DSARQCHAVE, "
                                        "NRREVANTARQSVN, NRREVATUARQSVN FROM VERSARQHOM WHERE CDGRUPHOMOL = ? "
                                        "ON CONFLICT (CDGRUPHOMOL, NMEXECUCAO, DSARQCHAVE) DO NOTHING"),
                         {run, other[0]});
            call.db.exec(QStringLiteral("DELETE FROM VERSARQHOM WHERE CDGRUPHOMOL = ?"), {other[0]});
        }
    }
    return QJsonValue::Null;
}

// ---- Releases of the product -------------------------------------------------------------

// getReleaseProd(product): [the product's current release VRRPPP, empty when none is registered].
Json getReleaseProd(Call &call)
{
    requireProduct(call.db, call.text(0));
    return QJsonArray{currentRelease(call.db, call.text(0))};
}

void registerVersion(Database &db, const QString &product, const QString &version)
{
    db.exec(QStringLiteral("INSERT INTO PRODVERSAO (CDPRODUTO, CDVERPRODUTO, DTREGISTRO) VALUES (?, ?, ?) "
                           "ON CONFLICT (CDPRODUTO, CDVERPRODUTO) DO NOTHING"),
            {product, version, nowText()});
}

void registerRelease(Database &db, const QString &product, const QString &version, const QString &release)
{
    registerVersion(db, product, version);
    db.exec(QStringLiteral("INSERT INTO PRODRELEASE (CDPRODUTO, CDVERPRODUTO, CDRELVERPROD, DTREGISTRO) VALUES (?, ?, ?, ?) "
                           "ON CONFLICT (CDPRODUTO, CDVERPRODUTO, CDRELVERPROD) DO NOTHING"),
            {product, version, release, nowText()});
}

void checkNumber(const QString &value, int minSize, int maxSize, const QString &what)
{
    if (!isDigits(value, minSize, maxSize))
        throw ServerError(QStringLiteral("%1 inválido(a): \"%2\".").arg(what, value));
}

void checkRepeated(const QString &value, const QString &repeated, const QString &what)
{
    if (value != repeated)
        throw ServerError(QStringLiteral("%1 informado(a) duas vezes com valores diferentes: \"%2\" e \"%3\".")
                              .arg(what, value, repeated));
}

// Insere_Versao(var product, var version): registers the product's version (again is no error).
Json Insere_Versao(Call &call)
{
    requireProduct(call.db, call.text(0));
    checkNumber(call.text(1), 1, 2, QStringLiteral("Versão"));
    registerVersion(call.db, call.text(0), QString::number(call.text(1).toInt()));
    recordEvent(call.db, {eventKind::Registration, {}, {}, call.text(0), {}, {}, {},
                          QStringLiteral("versão %1").arg(call.text(1).toInt()), {}});
    return QJsonValue::Null;
}

// Insere_Release(var product, var version, var release, var release again): registers the
// release (two digits) of the version, and the version when it is missing.
Json Insere_Release(Call &call)
{
    requireProduct(call.db, call.text(0));
    checkNumber(call.text(1), 1, 2, QStringLiteral("Versão"));
    checkNumber(call.text(2), 2, 2, QStringLiteral("Release"));
    checkRepeated(call.text(2), call.text(3), QStringLiteral("Release"));
    registerRelease(call.db, call.text(0), QString::number(call.text(1).toInt()), call.text(2));
    recordEvent(call.db, {eventKind::Registration, {}, {}, call.text(0), {}, {}, {},
                          QStringLiteral("release %1.%2").arg(call.text(1).toInt()).arg(call.text(2)), {}});
    return QJsonValue::Null;
}

// Insere_Patch(var product, var version, var release, var patch, var patch again):
// registers the patch (three digits), and its release and version when missing, so that
// getReleaseProd and getVersaoProd answer with it.
Json Insere_Patch(Call &call)
{
    requireProduct(call.db, call.text(0));
    checkNumber(call.text(1), 1, 2, QStringLiteral("Versão"));
    checkNumber(call.text(2), 2, 2, QStringLiteral("Release"));
    checkNumber(call.text(3), 3, 3, QStringLiteral("Patch"));
    checkRepeated(call.text(3), call.text(4), QStringLiteral("Patch"));
    const QString version = QString::number(call.text(1).toInt());
    registerRelease(call.db, call.text(0), version, call.text(2));
    call.db.exec(QStringLiteral("INSERT INTO PRODPATCH (CDPRODUTO, CDVERPRODUTO, CDRELVERPROD, CDPATCHVERPR, DTREGISTRO) "
                                "VALUES (?, ?, ?, ?, ?) ON CONFLICT (CDPRODUTO, CDVERPRODUTO, CDRELVERPROD, CDPATCHVERPR) DO NOTHING"),
                 {call.text(0), version, call.text(2), call.text(3), nowText()});
    recordEvent(call.db, {eventKind::Registration, {}, {}, call.text(0), {}, {}, {},
                          QStringLiteral("patch %1.%2.%3").arg(version, call.text(2), call.text(3)), {}});
    return QJsonValue::Null;
}

Json setGrupo(Call &call) { return saveGroups(call); }
Json setSoli(Call &call) { return saveRequests(call); }

}  // namespace

const ModuleDef &grupSoliHomModule()
{
    static const ModuleDef module{
        QStringLiteral("VOP42000.rdmGrupSoliHom"),
        {
            {QStringLiteral("Encerra_Grupos"), {A::Ref}, true, Encerra_Grupos},
            {QStringLiteral("GetAfterScroll"), {A::Text}, false, GetAfterScroll},
            {QStringLiteral("getAgrupaSoli"), {A::Text}, false, getAgrupaSoli},
            {QStringLiteral("getArq"), {A::Text}, false, getArq},
            {QStringLiteral("getArqSoli"), {A::Text}, false, getArqSoli},
            {QStringLiteral("getArqSoliAsp"), {A::Text}, false, getArqSoliAsp},
            {QStringLiteral("getArqSoliSetForms"), {A::Text}, false, getArqSoliSetForms},
            {QStringLiteral("GetArquivos"), {A::Packet, A::Text}, false, GetArquivos},
            {QStringLiteral("getDepArq"), {A::Text}, false, getDepArq},
            {QStringLiteral("getDepSoli"), {A::Packet}, false, getDepSoli},
            {QStringLiteral("getGrupo"), {A::Text}, false, getGrupo},
            {QStringLiteral("GetInitialData"), {A::Text}, false, GetInitialData},
            {QStringLiteral("GetItemTrabDesenv"), {A::Text}, false, GetItemTrabDesenv},
            {QStringLiteral("getLocations"), {A::Ref}, false, getLocations},
            {QStringLiteral("getEventosGrupo"), {A::Text}, false, getEventosGrupo},
            {QStringLiteral("getLogTram"), {A::Text}, false, getLogTram},
            {QStringLiteral("getProd"), {A::Text, A::Text}, false, getProd},
            {QStringLiteral("GetProdAtual"), {}, false, GetProdAtual},
            {QStringLiteral("getReleaseProd"), {A::Text}, false, getReleaseProd},
            {QStringLiteral("GetReleaseSoli"), {A::Text}, false, GetReleaseSoli},
            {QStringLiteral("GetSoli"), {A::Text}, false, GetSoli},
            {QStringLiteral("getSoliDisp"), {A::Text}, false, getSoliDisp},
            {QStringLiteral("getSoliNaoGerada"), {A::Text}, false, getSoliNaoGerada},
            {QStringLiteral("getVdInsSoli"), {A::Text, A::Text, A::Text}, false, getVdInsSoli},
            {QStringLiteral("getVdJustificativa"), {A::Text, A::Text, A::Text}, false, getVdJustificativa},
            {QStringLiteral("GetVdReleaseSoli"), {A::Text}, false, GetVdReleaseSoli},
            {QStringLiteral("GetVerificaArquivos"), {A::Text, A::Text}, false, GetVerificaArquivos},
            {QStringLiteral("getVerificaSolicitaGrupo"), {A::Text, A::Text}, false, getVerificaSolicitaGrupo},
            {QStringLiteral("getVersArqFonteHom"), {A::Ref}, false, getVersArqFonteHom},
            {QStringLiteral("GetVersArqModif"), {A::Text}, false, GetVersArqModif},
            {QStringLiteral("Insere_Patch"), {A::Ref, A::Ref, A::Ref, A::Ref, A::Ref}, true, Insere_Patch},
            {QStringLiteral("Insere_Release"), {A::Ref, A::Ref, A::Ref, A::Ref}, true, Insere_Release},
            {QStringLiteral("Insere_Versao"), {A::Ref, A::Ref}, true, Insere_Versao},
            {QStringLiteral("removeArqCheckoutAtiv"), {A::Ref}, true, removeArqCheckoutAtiv},
            {QStringLiteral("SetArqLibPatchClie"), {A::Text, A::Text, A::Text}, true, SetArqLibPatchClie},
            {QStringLiteral("setDeletaJustificativa"), {A::Text, A::Text, A::Text}, true, setDeletaJustificativa},
            {QStringLiteral("setGrupo"), {A::Delta}, true, setGrupo},
            {QStringLiteral("setInsereJustificativa"), {A::Ref, A::Ref, A::Ref, A::Ref, A::Text}, true, setInsereJustificativa},
            {QStringLiteral("setLogTram"), {A::Text, A::Text, A::Ref, A::Ref, A::Ref}, true, setLogTram},
            {QStringLiteral("setTagGrupo"), {A::Text, A::Text, A::Text, A::Text}, true, setTagGrupo},
            {QStringLiteral("SetReleaseSoli"), {A::Text, A::Text}, true, SetReleaseSoli},
            {QStringLiteral("setSoli"), {A::Delta}, true, setSoli},
            {QStringLiteral("setTramita_Soli"), {A::Text, A::Text, A::Text, A::Text, A::Ref, A::Text, A::Text}, true,
             setTramita_Soli},
            {QStringLiteral("setTroca_Resp_Soli"), {A::Text, A::Text, A::Text, A::Text}, true, setTroca_Resp_Soli},
            {QStringLiteral("setVersArqHom"), {A::Text, A::Packet}, true, setVersArqHom},
            {QStringLiteral("SyncFaseTram"), {A::Ref}, true, SyncFaseTram},
            {QStringLiteral("TransfPatchFaseTram"), {A::Text, A::Text, A::Text}, true, TransfPatchFaseTram},
            {QStringLiteral("Vd_ReleaseArq"), {A::Text}, false, Vd_ReleaseArq},
            {QStringLiteral("VerificaModelagemSoliGrup"), {A::Text}, false, VerificaModelagemSoliGrup},
            // Leases of the advances in progress (lease.cpp).
            {QStringLiteral("takeGroupLease"), {A::Text, A::Text, A::Text, A::Text}, true, takeGroupLease},
            {QStringLiteral("releaseGroupLease"), {A::Text, A::Text}, true, releaseGroupLease},
            {QStringLiteral("getGroupLease"), {A::Text}, false, getGroupLease},
            {QStringLiteral("breakGroupLease"), {A::Text, A::Text}, true, breakGroupLease},
            {QStringLiteral("groupsOfRequests"), {A::Text}, false, groupsOfRequests},
            {QStringLiteral("renewGroupLease"), {A::Text}, true, renewGroupLease},
            // Operations: an advance's plan, its steps and its runs (operacao.cpp).
            {QStringLiteral("abreOperacao"), {A::Text, A::Text, A::Text, A::Text, A::Text, A::Text, A::Text, A::Text}, true,
             abreOperacao},
            {QStringLiteral("getOperacaoAberta"), {A::Text}, false, getOperacaoAberta},
            {QStringLiteral("retomaOperacao"), {A::Text, A::Text, A::Text, A::Text}, true, retomaOperacao},
            {QStringLiteral("concluiPasso"), {A::Text, A::Text, A::Text, A::Text}, true, concluiPasso},
            {QStringLiteral("reabrePasso"), {A::Text, A::Text}, true, reabrePasso},
            {QStringLiteral("renovaOperacao"), {A::Text}, true, renovaOperacao},
            {QStringLiteral("liberaOperacao"), {A::Text}, true, liberaOperacao},
            {QStringLiteral("abandonaOperacao"), {A::Text}, true, abandonaOperacao},
        }};
    return module;
}

}  // namespace server

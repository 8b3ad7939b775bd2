#include "methods/saves.h"


#include "methods/datasets.h"
#include "methods/dispatcher.h"
#include "methods/domain.h"
#include "store/database.h"
#include "store/events.h"
#include "store/queries.h"
#include "store/schema.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QSet>
#include <QSqlQuery>

namespace server {

namespace {

// A row of one dataset by field name, from a delta row or a stored row.
class Values {
public:
    Values() = default;
    Values(const QList<packet::Field> &fields, const QStringList &row)
    {
        for (int i = 0; i < fields.size(); ++i)
            set(fields[i].name.toUpper(), row.value(i));
    }
    Values(const DatasetDef &def, const QStringList &row)
    {
        for (int i = 0; i < def.fields.size(); ++i)
            set(def.fields[i].name, row.value(i));
    }
    bool has(const QString &field) const { return m_values.contains(field); }
    QString operator[](const QString &field) const { return m_values.value(field); }
    void set(const QString &field, const QString &value)
    {
        if (!m_values.contains(field))
            m_order.append(field);
        m_values.insert(field, value);
    }
    // In the order of the dataset's fields.
    const QStringList &fields() const { return m_order; }

private:
    QHash<QString, QString> m_values;
    QStringList m_order;
};

std::optional<Values> storedRow(Database &db, const DatasetDef &def, const QString &sql, const QVariantList &key)
{
    const QList<QStringList> rows = queryRows(db, sql, key);
    if (rows.isEmpty())
        return std::nullopt;
    return Values(def, rows.first());
}

// Refuses the change when a field that the delta carries no longer has its original value.
void checkUnchanged(const Values &original, const Values &stored, const QSet<QString> &skipped, const QString &record)
{
    QStringList differences;
    for (const QString &field : original.fields()) {
        if (!skipped.contains(field) && stored.has(field) && original[field] != stored[field])
            differences.append(QStringLiteral("%1: era \"%2\", agora é \"%3\"").arg(field, original[field], stored[field]));
    }
    if (!differences.isEmpty())
        throw ServerError(QStringLiteral("%1 foi alterado(a) por outro operador depois de lido(a) (%2). Nada foi gravado; "
                                         "recarregue os dados e refaça a alteração.")
                              .arg(record, differences.join(QStringLiteral("; "))));
}

QStringList changedFields(const Values &original, const Values &updated, const QSet<QString> &skipped)
{
    QStringList changed;
    for (const QString &field : updated.fields()) {
        if (!skipped.contains(field) && original.has(field) && original[field] != updated[field])
            changed.append(field);
    }
    return changed;
}

void checkRelease(const QString &release, const QString &record)
{
    static const QRegularExpression sixDigits(QStringLiteral("^[0-9]{6}$"));
    if (!release.isEmpty() && !sixDigits.match(release).hasMatch())
        throw ServerError(QStringLiteral("Release inválida para %1: \"%2\" (esperados 6 dígitos VRRPPP).").arg(record, release));
}

QVariant dateOrNull(const QString &text) { return text.isEmpty() ? QVariant() : QVariant(text); }

// ---- Groups ------------------------------------------------------------------------------

// Fields that the screen keeps for itself or takes from the product: never compared.
const QSet<QString> kGroupLocalFields{QStringLiteral("IDMARCADO"), QStringLiteral("NMPRODUTO"), QStringLiteral("CDARVPROD")};
const QSet<QString> kGroupServerFields{QStringLiteral("CDGRUPHOMOL"), QStringLiteral("DTCRIAGRHOM"), QStringLiteral("DTULTATUGHOM")};

QString groupRecord(const Values &row)
{
    return QStringLiteral("O grupo %1 - %2").arg(row[QStringLiteral("CDGRUPHOMOL")], row[QStringLiteral("DSGRUPHOMOL")]);
}

// The product a group row names: its code, or else its tree code when only one product has it.
ProductRow productOf(Database &db, const Values &row)
{
    QString code = row[QStringLiteral("CDPRODUTO")];
    const QString tree = row[QStringLiteral("CDARVPROD")];
    if (code.isEmpty() && !tree.isEmpty()) {
        const QList<QStringList> matches =
            queryRows(db, QStringLiteral("SELECT CDPRODUTO FROM PRODUTO WHERE UPPER(CDARVPROD) = UPPER(?)"), {tree});
        if (matches.isEmpty())
            throw ServerError(QStringLiteral("Nenhum produto tem a árvore %1.").arg(tree));
        if (matches.size() > 1)
            throw ServerError(QStringLiteral("%1 produtos têm a árvore %2: o produto deve ser informado pelo código.")
                                  .arg(matches.size())
                                  .arg(tree));
        code = matches[0][0];
    }
    if (code.isEmpty())
        throw ServerError(QStringLiteral("Produto deve ser informado."));
    const ProductRow product = requireProduct(db, code);
    if (!tree.isEmpty() && tree.compare(product.tree, Qt::CaseInsensitive) != 0)
        throw ServerError(QStringLiteral("O produto %1 tem a árvore %2, não %3.").arg(product.code, product.tree, tree));
    return product;
}

QString nextGroupCode(Database &db)
{
    // The update takes the sequence row's lock first, so that two simultaneous saves on
    // PostgreSQL cannot pick the same code.
    db.exec(QStringLiteral("UPDATE SEQUENCIA SET NRULTIMO = NRULTIMO WHERE NMSEQUENCIA = 'GRUPOHOMOL'"));
    const qlonglong highest = db.scalar(QStringLiteral("SELECT MAX(CDGRUPHOMOL) FROM GRUPOHOMOL")).toString().toLongLong();
    if (highest >= 9999999999LL)
        throw ServerError(QStringLiteral("Não há mais códigos livres para grupos de solicitações."));
    db.exec(QStringLiteral("UPDATE SEQUENCIA SET NRULTIMO = ? WHERE NMSEQUENCIA = 'GRUPOHOMOL'"), {highest + 1});
    return QStringLiteral("%1").arg(highest + 1, 10, 10, QLatin1Char('0'));
}

QString insertGroup(Database &db, const Values &row)
{
    const QString name = row[QStringLiteral("DSGRUPHOMOL")].trimmed();
    if (name.isEmpty())
        throw ServerError(QStringLiteral("Nome do grupo deve ser informado."));
    const ProductRow product = productOf(db, row);
    const QString phaseCode = row[QStringLiteral("IDSTGRUPHOM")];
    if (!phaseCode.isEmpty() && phaseCode != u"001")
        throw ServerError(QStringLiteral("Um grupo novo começa na fase 001 (Pendente), não na %1.").arg(phaseCode));
    checkRelease(row[QStringLiteral("CDRELEASEGHOM")], QStringLiteral("o grupo novo"));
    const QString code = nextGroupCode(db);
    const QString now = nowText();
    db.exec(QStringLiteral("INSERT INTO GRUPOHOMOL (CDGRUPHOMOL, DSGRUPHOMOL, CDPRODUTO, CDRELEASEGHOM, IDSTGRUPHOM, "
                           "DTCRIAGRHOM, DTULTATUGHOM, DTHRGERAGRUPSOL, DTHRHOMOGRUPSOL) VALUES (?, ?, ?, ?, '001', ?, ?, ?, ?)"),
            {code, name.left(50), product.code, row[QStringLiteral("CDRELEASEGHOM")], now, now,
             dateOrNull(row[QStringLiteral("DTHRGERAGRUPSOL")]), dateOrNull(row[QStringLiteral("DTHRHOMOGRUPSOL")])});
    return code;
}

// The stored columns of the group are compared again by the UPDATE/DELETE itself, so that
// a save committed in between by another connection is never overwritten.
QVariantList groupGuardValues(const Values &stored)
{
    QVariantList values;
    for (const char *field : sql::kGroupGuardFields)
        values.append(stored[QString::fromLatin1(field)]);
    return values;
}

Values storedGroup(Database &db, const Values &original)
{
    const QString code = original[QStringLiteral("CDGRUPHOMOL")];
    if (code.isEmpty())
        throw ServerError(QStringLiteral("Uma alteração de grupo sem o código do grupo (CDGRUPHOMOL) não pode ser gravada."));
    // Held to the commit: the checks below (its requests, its phase) stay true meanwhile.
    lockGroup(db, code);
    const auto stored = storedRow(db, ds::cdsGrupo(), sql::groupByCode(), {code});
    if (!stored)
        throw ServerError(QStringLiteral("%1 foi excluído por outro operador. Nada foi gravado; recarregue os dados.")
                              .arg(groupRecord(original)));
    checkUnchanged(original, *stored, kGroupLocalFields, groupRecord(original));
    return *stored;
}

// The guarded UPDATE/DELETE found no row: another connection changed it after it was read.
void refuseLostRace(int affected, const QString &record)
{
    if (affected != 1)
        throw ServerError(QStringLiteral("%1 foi alterado(a) por outro operador durante a gravação. Nada foi gravado; "
                                         "recarregue os dados e refaça a alteração.")
                              .arg(record));
}

QString modifyGroup(Database &db, const Values &original, const Values &updated)
{
    const QStringList changed = changedFields(original, updated, kGroupLocalFields);
    const bool productChanged = changedFields(original, updated, {}).contains(QStringLiteral("CDARVPROD"))
        || changed.contains(QStringLiteral("CDPRODUTO"));
    // A row whose only change is the screen's own mark writes nothing, so it overwrites
    // nothing either.
    if (changed.isEmpty() && !productChanged)
        return original[QStringLiteral("CDGRUPHOMOL")];
    const Values stored = storedGroup(db, original);
    const QString record = groupRecord(stored);
    for (const QString &field : changed) {
        if (kGroupServerFields.contains(field))
            throw ServerError(QStringLiteral("%1: o campo %2 é mantido pelo servidor e não pode ser alterado.").arg(record, field));
    }
    Values result = stored;
    for (const QString &field : changed)
        result.set(field, updated[field]);

    if (result[QStringLiteral("DSGRUPHOMOL")].trimmed().isEmpty())
        throw ServerError(QStringLiteral("Nome do grupo deve ser informado."));
    if (productChanged) {
        Values chosen = updated;
        if (!changed.contains(QStringLiteral("CDPRODUTO")))
            chosen.set(QStringLiteral("CDPRODUTO"), QString());
        const ProductRow product = productOf(db, chosen);
        if (product.code != stored[QStringLiteral("CDPRODUTO")]) {
            const int requests =
                db.scalar(QStringLiteral("SELECT COUNT(*) FROM SOLIGRUPO WHERE CDGRUPHOMOL = ?"), {stored[QStringLiteral("CDGRUPHOMOL")]})
                    .toInt();
            if (requests > 0)
                throw ServerError(QStringLiteral("Não é permitido alterar o produto de um grupo que já esteja associado a "
                                                 "solicitações (%1).")
                                      .arg(record));
        }
        result.set(QStringLiteral("CDPRODUTO"), product.code);
    }
    const QString from = stored[QStringLiteral("IDSTGRUPHOM")];
    const QString to = result[QStringLiteral("IDSTGRUPHOM")];
    if (from != to) {
        const int step = to.toInt() - from.toInt();
        if (step != 1 || to.size() != 3 || to.toInt() < 2 || to.toInt() > 6)
            throw ServerError(QStringLiteral("%1 não pode passar da fase %2 para a fase %3: a fase avança uma de cada vez, "
                                             "até a 006; o encerramento é feito pela homologação.")
                                  .arg(record, from, to));
        if (to == u"003" && !changed.contains(QStringLiteral("DTHRGERAGRUPSOL")))
            result.set(QStringLiteral("DTHRGERAGRUPSOL"), nowText());
    }
    checkRelease(result[QStringLiteral("CDRELEASEGHOM")], record);
    QVariantList values{result[QStringLiteral("DSGRUPHOMOL")].left(50),
                        result[QStringLiteral("CDPRODUTO")],
                        result[QStringLiteral("CDRELEASEGHOM")],
                        to,
                        nowText(),
                        dateOrNull(result[QStringLiteral("DTHRGERAGRUPSOL")]),
                        dateOrNull(result[QStringLiteral("DTHRHOMOGRUPSOL")])};
    values += groupGuardValues(stored);
    refuseLostRace(db.execCount(sql::updateGroup(), values), groupRecord(stored));
    if (from != to)
        recordGroupPhase(db, stored[QStringLiteral("CDGRUPHOMOL")], result[QStringLiteral("CDPRODUTO")], from, to);
    return stored[QStringLiteral("CDGRUPHOMOL")];
}

void deleteGroup(Database &db, const Values &original)
{
    const Values stored = storedGroup(db, original);
    const QString code = stored[QStringLiteral("CDGRUPHOMOL")];
    if (stored[QStringLiteral("IDSTGRUPHOM")] != u"001")
        throw ServerError(QStringLiteral("%1 está na fase %2; só um grupo na fase 001 (Pendente) pode ser excluído.")
                              .arg(groupRecord(stored), stored[QStringLiteral("IDSTGRUPHOM")]));
    const QList<QStringList> requests = queryRows(
        db, QStringLiteral("SELECT CDFILIAL, NRSOLISERV, CDFASEANTERIOR FROM SOLIGRUPO WHERE CDGRUPHOMOL = ?"), {code});
    refuseLostRace(db.execCount(sql::deleteGroup(), groupGuardValues(stored)), groupRecord(stored));
    db.exec(QStringLiteral("DELETE FROM SOLIGRUPO WHERE CDGRUPHOMOL = ?"), {code});
    for (const QStringList &request : requests)
        changePhase(db, {request[0], request[1]}, request[2].isEmpty() ? phase::Disponivel : request[2], QString(), QString(),
                    QString(), QStringLiteral("Grupo %1 excluído").arg(code));
    for (const char *table : {"JUSTIFICATIVA", "LOGTRAM", "VERSARQHOM", "VERSARQHOMENC"})
        db.exec(QStringLiteral("DELETE FROM %1 WHERE CDGRUPHOMOL = ?").arg(QLatin1String(table)), {code});
}

// ---- Requests of a group -----------------------------------------------------------------

const QSet<QString> kDecisionFlags{QStringLiteral("IDHOMOLSOL"), QStringLiteral("IDENCSOLPATCREG"),
                                   QStringLiteral("IDRETSOLERROPRO")};

QString requestRecord(const Values &row)
{
    return QStringLiteral("A solicitação %1/%2 do grupo %3")
        .arg(row[QStringLiteral("CDFILIAL")], row[QStringLiteral("NRSOLISERV")], row[QStringLiteral("CDGRUPHOMOL")]);
}

QVariantList requestKeyOf(const Values &row)
{
    return {row[QStringLiteral("CDGRUPHOMOL")], row[QStringLiteral("CDFILIAL")], row[QStringLiteral("NRSOLISERV")]};
}

void insertRequest(Database &db, const Values &row)
{
    const RequestKey key{row[QStringLiteral("CDFILIAL")], row[QStringLiteral("NRSOLISERV")]};
    if (key.filial.isEmpty() || key.numero.isEmpty())
        throw ServerError(QStringLiteral("Solicitação deve ser informada."));
    // "A request belongs to at most one open group": the request's lock makes a second
    // server's insert of the same request wait, and then see this one's group.
    lockGroup(db, row[QStringLiteral("CDGRUPHOMOL")]);
    lockRequest(db, key);
    const GroupRow group = requireGroup(db, row[QStringLiteral("CDGRUPHOMOL")]);
    if (group.phase != u"001")
        throw ServerError(QStringLiteral("O grupo %1 - %2 está na fase %3; só se incluem solicitações em um grupo na fase 001 "
                                         "(Pendente).")
                              .arg(group.code, group.name, group.phase));
    const RequestRow request = requireRequest(db, key);
    if (request.product != group.product)
        throw ServerError(QStringLiteral("A solicitação %1/%2 é do produto %3, e o grupo %4 é do produto %5.")
                              .arg(key.filial, key.numero, request.product, group.code, group.product));
    const QString current = openGroupOf(db, key);
    if (!current.isEmpty()) {
        const GroupRow other = requireGroup(db, current);
        throw ServerError(QStringLiteral("Inclusão não permitida.\r\n\r\nSolicitação já está incluída no grupo \"%1 - %2\"")
                              .arg(other.code, other.name));
    }
    if (request.phase != phase::Disponivel && request.phase != phase::AguardandoRegeracao)
        throw ServerError(QStringLiteral("Solicitação %1 não existe ou está fora da fase de tramitação correta.").arg(key.numero));
    db.exec(QStringLiteral("INSERT INTO SOLIGRUPO (CDGRUPHOMOL, CDFILIAL, NRSOLISERV, IDSTSOLIGRUP, NRPRIOSOLI, IDHOMOLSOL, "
                           "IDRETSOLERROPRO, IDENCSOLPATCREG, CDFASEANTERIOR) VALUES (?, ?, ?, '001', ?, 'N', 'N', 'N', ?)"),
            {group.code, key.filial, key.numero, row[QStringLiteral("NRPRIOSOLI")].left(3), request.phase});
    changePhase(db, key, phase::EmHomologacao, QString(), QString(), QString(),
                QStringLiteral("Incluída no grupo %1").arg(group.code));
}

Values storedRequest(Database &db, const Values &original)
{
    lockGroup(db, original[QStringLiteral("CDGRUPHOMOL")]);
    const auto stored = storedRow(db, ds::cdsSoli(), sql::requestOfGroup(), requestKeyOf(original));
    if (!stored)
        throw ServerError(QStringLiteral("%1 foi retirada do grupo por outro operador. Nada foi gravado; recarregue os dados.")
                              .arg(requestRecord(original)));
    checkUnchanged(original, *stored, {}, requestRecord(original));
    return *stored;
}

const QString kRequestGuard = QStringLiteral(
    "CDGRUPHOMOL = ? AND CDFILIAL = ? AND NRSOLISERV = ? AND IDSTSOLIGRUP = ? AND NRPRIOSOLI = ? AND IDHOMOLSOL = ? AND "
    "IDRETSOLERROPRO = ? AND IDENCSOLPATCREG = ?");

QVariantList requestGuardValues(const Values &stored)
{
    QVariantList values = requestKeyOf(stored);
    for (const char *field : {"IDSTSOLIGRUP", "NRPRIOSOLI", "IDHOMOLSOL", "IDRETSOLERROPRO", "IDENCSOLPATCREG"})
        values.append(stored[QString::fromLatin1(field)]);
    return values;
}

// The decision that the flags of a request hold, as the screen names its columns.
QString decisionName(const Values &row)
{
    if (row[QStringLiteral("IDHOMOLSOL")] == u"S")
        return QStringLiteral("Homologar");
    if (row[QStringLiteral("IDENCSOLPATCREG")] == u"S")
        return QStringLiteral("Regerar patch");
    if (row[QStringLiteral("IDRETSOLERROPRO")] == u"S")
        return QStringLiteral("Voltar com erro");
    return QStringLiteral("Nenhuma");
}

void modifyRequest(Database &db, const Values &original, const Values &updated)
{
    const Values stored = storedRequest(db, original);
    for (const char *key : {"CDGRUPHOMOL", "CDFILIAL", "NRSOLISERV"}) {
        const QString field = QString::fromLatin1(key);
        if (updated.has(field) && updated[field] != original[field])
            throw ServerError(QStringLiteral("%1: o campo %2 não pode ser alterado.").arg(requestRecord(stored), field));
    }
    const QStringList changed = changedFields(original, updated, {});
    if (changed.isEmpty())
        return;
    const GroupRow group = requireGroup(db, stored[QStringLiteral("CDGRUPHOMOL")]);
    Values result = stored;
    for (const QString &field : changed) {
        if (kDecisionFlags.contains(field)) {
            if (group.phase != u"006")
                throw ServerError(QStringLiteral("%1: as decisões só podem ser marcadas com o grupo na fase 006.")
                                      .arg(requestRecord(stored)));
            if (updated[field] != u"S" && updated[field] != u"N")
                throw ServerError(QStringLiteral("%1: o campo %2 aceita só \"S\" ou \"N\".").arg(requestRecord(stored), field));
        } else if (field == u"NRPRIOSOLI") {
            if (group.phase != u"001")
                throw ServerError(QStringLiteral("%1: a fila só pode ser alterada com o grupo na fase 001.").arg(requestRecord(stored)));
        } else {
            throw ServerError(QStringLiteral("%1: o campo %2 não pode ser alterado pelo grupo de solicitações.")
                                  .arg(requestRecord(stored), field));
        }
        result.set(field, updated[field]);
    }
    int marked = 0;
    for (const QString &flag : kDecisionFlags)
        marked += result[flag] == u"S" ? 1 : 0;
    if (marked > 1)
        throw ServerError(QStringLiteral("%1: só uma das decisões (Homologar, Regerar, Voltar erro) pode ser marcada.")
                              .arg(requestRecord(stored)));
    QVariantList values{result[QStringLiteral("NRPRIOSOLI")].left(3), result[QStringLiteral("IDHOMOLSOL")],
                        result[QStringLiteral("IDRETSOLERROPRO")], result[QStringLiteral("IDENCSOLPATCREG")]};
    values += requestGuardValues(stored);
    refuseLostRace(db.execCount(QStringLiteral("UPDATE SOLIGRUPO SET NRPRIOSOLI = ?, IDHOMOLSOL = ?, IDRETSOLERROPRO = ?, "
                                               "IDENCSOLPATCREG = ? WHERE ")
                                    + kRequestGuard,
                                values),
                   requestRecord(stored));
    const QString before = decisionName(stored);
    const QString after = decisionName(result);
    if (before != after) {
        // The justification is usually stored just before the flag; its author is the
        // operator who decided, else the operator changing the group. One given after the
        // flag is joined to the decision by the audit.
        const QList<QStringList> justification = queryRows(
            db, QStringLiteral("SELECT CDOPERADOR, DSALTPROCHOMOL FROM JUSTIFICATIVA WHERE CDGRUPHOMOL = ? AND CDFILIAL = ? AND NRSOLISERV = ?"),
            requestKeyOf(stored));
        recordEvent(db, {eventKind::Decision, justification.isEmpty() ? changeOperator(db, group.code) : justification[0][0], group.code, group.product,
                         stored[QStringLiteral("CDFILIAL")], stored[QStringLiteral("NRSOLISERV")], before, after,
                         justification.isEmpty() ? QString() : justification[0][1]});
    }
}

void deleteRequest(Database &db, const Values &original)
{
    const Values stored = storedRequest(db, original);
    const GroupRow group = requireGroup(db, stored[QStringLiteral("CDGRUPHOMOL")]);
    if (group.phase != u"001")
        throw ServerError(QStringLiteral("%1 não pode ser retirada: o grupo está na fase %2; só na fase 001 (Pendente).")
                              .arg(requestRecord(stored), group.phase));
    const QVariantList key = requestKeyOf(stored);
    const QString previous =
        db.scalar(QStringLiteral("SELECT CDFASEANTERIOR FROM SOLIGRUPO WHERE CDGRUPHOMOL = ? AND CDFILIAL = ? AND NRSOLISERV = ?"),
                  key)
            .toString();
    refuseLostRace(db.execCount(QStringLiteral("DELETE FROM SOLIGRUPO WHERE ") + kRequestGuard, requestGuardValues(stored)),
                   requestRecord(stored));
    db.exec(QStringLiteral("DELETE FROM JUSTIFICATIVA WHERE CDGRUPHOMOL = ? AND CDFILIAL = ? AND NRSOLISERV = ?"), key);
    changePhase(db, {key[1].toString(), key[2].toString()}, previous.isEmpty() ? phase::Disponivel : previous, QString(),
                QString(), QString(), QStringLiteral("Retirada do grupo %1").arg(group.code));
}

}  // namespace

// setGrupo(delta of cdsGrupo): inserts get the next free 10-digit code and phase "001";
// modifications may change the name, the product (only of a group without requests), the
// release, the two dates of the screen and the phase (one step forward, up to "006");
// deletes only at "001", giving the group's requests back. Marks (IDMARCADO) are the
// screen's own and are never stored. Answer: the codes of the inserted and modified groups.
Json saveGroups(Call &call)
{
    const TextDelta delta = deltaArgument(call, 0, ds::cdsGrupo(), {QStringLiteral("CDGRUPHOMOL")});
    QStringList saved;
    for (const TextDelta::Change &change : delta.changes) {
        switch (change.kind) {
        case packet::Change::Kind::Insert: saved.append(insertGroup(call.db, Values(delta.fields, change.newValues))); break;
        case packet::Change::Kind::Modify:
            saved.append(modifyGroup(call.db, Values(delta.fields, change.oldValues), Values(delta.fields, change.newValues)));
            break;
        case packet::Change::Kind::Delete: deleteGroup(call.db, Values(delta.fields, change.oldValues)); break;
        }
    }
    return QJsonArray::fromStringList(saved);
}

// setSoli(delta of cdsSoli): inserts put an available request of the group's product into
// a group at "001" (status "001", phase "Em homologação"); modifications change the three
// decision flags (group at "006", at most one "S") or the queue position (group at "001");
// deletes take the request out of a group at "001", back to its previous phase.
Json saveRequests(Call &call)
{
    const TextDelta delta = deltaArgument(
        call, 0, ds::cdsSoli(), {QStringLiteral("CDGRUPHOMOL"), QStringLiteral("CDFILIAL"), QStringLiteral("NRSOLISERV")});
    for (const TextDelta::Change &change : delta.changes) {
        switch (change.kind) {
        case packet::Change::Kind::Insert: insertRequest(call.db, Values(delta.fields, change.newValues)); break;
        case packet::Change::Kind::Modify:
            modifyRequest(call.db, Values(delta.fields, change.oldValues), Values(delta.fields, change.newValues));
            break;
        case packet::Change::Kind::Delete: deleteRequest(call.db, Values(delta.fields, change.oldValues)); break;
        }
    }
    return QJsonValue::Null;
}

}  // namespace server

#include "methods/operacao.h"

#include "methods/domain.h"
#include "methods/lease.h"
#include "store/database.h"

#include <QJsonDocument>
#include <QUuid>

namespace server {

namespace {

// The operation's id and its run's number, from a token "id#run".
struct Token {
    QString id;
    int run = 0;
    QString text() const { return QStringLiteral("%1#%2").arg(id).arg(run); }
};

Token parseToken(const QString &text)
{
    Token token;
    token.id = text.section(u'#', 0, 0).trimmed();
    bool ok = false;
    token.run = text.section(u'#', 1, 1).toInt(&ok);
    if (token.id.isEmpty() || !ok || token.run < 1)
        throw ServerError(QStringLiteral("Identificação de operação inválida: \"%1\".").arg(text));
    return token;
}

struct OperationRow {
    QString id, description, phase, operatorCode, operatorName, host, started, updated, state, plan;
    int run = 0;
    QStringList groups;
};

std::optional<OperationRow> findOperation(Database &db, const QString &id)
{
    QSqlQuery &query = db.exec(QStringLiteral("SELECT O.CDOPERACAO, O.DSOPERACAO, O.IDFASE, O.CDOPERADOR, "
                                              "COALESCE(P.NMOPERADOR, ''), O.NMESTACAO, O.DTINICIO, O.DTATUALIZA, "
                                              "O.IDSITUACAO, O.TXPLANO, O.NRTENTATIVA FROM OPERACAO O "
                                              "LEFT JOIN OPERADOR P ON P.CDOPERADOR = O.CDOPERADOR WHERE O.CDOPERACAO = ?"),
                               {id});
    std::optional<OperationRow> row;
    if (query.next()) {
        row = OperationRow{query.value(0).toString(), query.value(1).toString(), query.value(2).toString(),
                           query.value(3).toString(), query.value(4).toString(), query.value(5).toString(),
                           query.value(6).toString(), query.value(7).toString(), query.value(8).toString(),
                           query.value(9).toString(), query.value(10).toInt(), {}};
    }
    query.finish();
    if (row) {
        for (const QStringList &group : queryRows(
                 db, QStringLiteral("SELECT CDGRUPHOMOL FROM OPERACAOGRUPO WHERE CDOPERACAO = ? ORDER BY NRORDEM"), {id}))
            row->groups.append(group[0]);
    }
    return row;
}

OperationRow requireOperation(Database &db, const QString &id)
{
    std::optional<OperationRow> row = findOperation(db, id);
    if (!row)
        throw ServerError(QStringLiteral("A operação %1 não existe.").arg(id));
    return *row;
}

// The open operation that changes `group`, if any.
QString openOperationOf(Database &db, const QString &group)
{
    return db
        .scalar(QStringLiteral("SELECT O.CDOPERACAO FROM OPERACAO O JOIN OPERACAOGRUPO G ON G.CDOPERACAO = O.CDOPERACAO "
                               "WHERE G.CDGRUPHOMOL = ? AND O.IDSITUACAO = 'A'"),
                {group})
        .toString();
}

QString shownTime(const QString &stored)
{
    return QDateTime::fromString(stored, QStringLiteral("yyyy-MM-ddTHH:mm:ss")).toString(QStringLiteral("dd/MM/yyyy HH:mm:ss"));
}

struct StepRow {
    int number = 0;
    QString name, state, result;
};

QList<StepRow> stepsOf(Database &db, const QString &id)
{
    QList<StepRow> steps;
    for (const QStringList &row : queryRows(db,
                                            QStringLiteral("SELECT NRPASSO, DSPASSO, IDSITUACAO, TXRESULTADO FROM OPERACAOPASSO "
                                                           "WHERE CDOPERACAO = ? ORDER BY NRPASSO"),
                                            {id}))
        steps.append(StepRow{row[0].toInt(), row[1], row[2], row[3]});
    return steps;
}

// "a tramitação 005 → 006 do grupo 0000000004, aberta pelo operador 0001 (Ana) na estação
// build-07 (processo 812) em 07/12/2026 10:30:00, parada no passo 2 de 3 (Tag TST_...)"
QString describeOperation(Database &db, const OperationRow &operation)
{
    const QList<StepRow> steps = stepsOf(db, operation.id);
    int next = 0;
    while (next < steps.size() && steps[next].state == u"F")
        ++next;
    const QString who = operation.operatorName.isEmpty()
        ? operation.operatorCode
        : QStringLiteral("%1 (%2)").arg(operation.operatorCode, operation.operatorName);
    return QStringLiteral("%1, aberta pelo operador %2 na estação %3 em %4, parada no passo %5 de %6 (%7)")
        .arg(operation.description, who, operation.host, shownTime(operation.started))
        .arg(next + 1)
        .arg(steps.size())
        .arg(next < steps.size() ? steps[next].name : QStringLiteral("fim"));
}

}  // namespace

void fenceOperation(Database &db, const QString &tokenText)
{
    const Token token = parseToken(tokenText);
    const OperationRow operation = requireOperation(db, token.id);
    if (operation.state != u"A")
        throw ServerError(QStringLiteral("%1 já foi concluída; nada mais é gravado por ela.").arg(operation.description));
    renewLeases(db, tokenText);
    for (const QString &group : operation.groups) {
        const QVariant holder = db.scalar(QStringLiteral("SELECT CDTRAVA FROM TRAVAGRUPO WHERE CDGRUPHOMOL = ?"), {group});
        if (holder.toString() == tokenText)
            continue;
        const QString now = describeLease(db, group);
        throw ServerError(QStringLiteral("Esta execução de %1 perdeu a trava do grupo %2%3; nada foi gravado. %4")
                              .arg(operation.description, group,
                                   now.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(now.chopped(1)),
                                   token.run < operation.run
                                       ? QStringLiteral("A operação foi retomada por outra execução.")
                                       : QStringLiteral("Repita o comando para continuar a operação.")));
    }
}

void requireGroupOfOperation(Database &db, const QString &tokenText, const QString &group)
{
    const Token token = parseToken(tokenText);
    if (!db.scalar(QStringLiteral("SELECT 1 FROM OPERACAOGRUPO WHERE CDOPERACAO = ? AND CDGRUPHOMOL = ?"), {token.id, group})
             .isValid())
        throw ServerError(QStringLiteral("O grupo %1 seria alterado pela operação, mas não está entre os grupos que ela travou; "
                                         "nada foi gravado. Recarregue os dados e repita a tramitação.")
                              .arg(group));
}

// abreOperacao(groups, phase, operator, host, description, plan, steps, lease): a new operation on
// the listed groups (the first is the one it advances) from `phase`, with its plan (a JSON
// text kept as it is given) and the names of its steps, one per line. The leases of every
// group are taken with it, all or none. Refused when a group has an interrupted operation
// open: that one is continued, not started again. `lease` is the token of the lease the
// advance took before its question, whose groups the operation takes over. Answer: the token
// of its first run.
Json abreOperacao(Call &call)
{
    Database &db = call.db;
    const QStringList groups = leaseGroupList(call.text(0));
    const QStringList steps = call.text(6).split(u'\n', Qt::SkipEmptyParts);
    if (groups.isEmpty())
        throw ServerError(QStringLiteral("Nenhum grupo informado para a operação."));
    if (steps.isEmpty())
        throw ServerError(QStringLiteral("A operação não tem passos."));
    for (const QString &group : groups) {
        lockGroup(db, group);
        const QString open = openOperationOf(db, group);
        if (!open.isEmpty())
            throw ServerError(QStringLiteral("O grupo %1 tem uma operação interrompida em aberto: %2. Continue-a repetindo o "
                                             "comando que a iniciou.")
                                  .arg(group, describeOperation(db, requireOperation(db, open))));
    }
    const Token token{QUuid::createUuid().toString(QUuid::Id128), 1};
    // The phase of the groups advanced was checked by the lease taken before the question;
    // the groups a homologation sends back are at phases of their own.
    takeLeases(db, groups, token.text(), call.text(2).trimmed(), call.text(3).trimmed(), QString(), call.text(7).trimmed());
    const QString now = nowText();
    db.exec(QStringLiteral("INSERT INTO OPERACAO (CDOPERACAO, DSOPERACAO, IDFASE, CDOPERADOR, NMESTACAO, DTINICIO, DTATUALIZA, "
                           "IDSITUACAO, NRTENTATIVA, TXPLANO) VALUES (?, ?, ?, ?, ?, ?, ?, 'A', 1, ?)"),
            {token.id, call.text(4).left(250), call.text(1).trimmed(), call.text(2).trimmed(), call.text(3).trimmed().left(250),
             now, now, call.text(5)});
    for (int i = 0; i < groups.size(); ++i)
        db.exec(QStringLiteral("INSERT INTO OPERACAOGRUPO (CDOPERACAO, CDGRUPHOMOL, NRORDEM) VALUES (?, ?, ?)"),
                {token.id, groups[i], i});
    for (int i = 0; i < steps.size(); ++i)
        db.exec(QStringLiteral("INSERT INTO OPERACAOPASSO (CDOPERACAO, NRPASSO, DSPASSO) VALUES (?, ?, ?)"),
                {token.id, i + 1, steps[i].trimmed().left(250)});
    return token.text();
}

// getOperacaoAberta(group): the interrupted operation open on the group, or an empty array:
// [id, description, phase, groups (comma-separated), operator, host, started, updated,
//  described (as the refusals say it), plan, [[step name, "F" or "P", result]...],
//  current lease token of its first group, who holds that lease].
Json getOperacaoAberta(Call &call)
{
    Database &db = call.db;
    const QString id = openOperationOf(db, call.text(0).trimmed());
    if (id.isEmpty())
        return QJsonArray();
    const OperationRow operation = requireOperation(db, id);
    QJsonArray steps;
    for (const StepRow &step : stepsOf(db, id))
        steps.append(QJsonArray{step.name, step.state, step.result});
    const QString first = operation.groups.value(0);
    const QString lease = db.scalar(QStringLiteral("SELECT CDTRAVA FROM TRAVAGRUPO WHERE CDGRUPHOMOL = ?"), {first}).toString();
    const QString leaseHost =
        db.scalar(QStringLiteral("SELECT NMESTACAO FROM TRAVAGRUPO WHERE CDGRUPHOMOL = ?"), {first}).toString();
    return QJsonArray{operation.id,
                      operation.description,
                      operation.phase,
                      operation.groups.join(u','),
                      operation.operatorCode,
                      operation.host,
                      operation.started,
                      operation.updated,
                      describeOperation(db, operation),
                      operation.plan,
                      steps,
                      lease,
                      leaseHost.isEmpty() ? QString() : describeLease(db, first) + u'\x1f' + leaseHost};
}

// retomaOperacao(id, operator, host, replacing): a new run of an interrupted operation takes
// the leases of all its groups again with a new token (the older runs' writes are refused
// from then on). A lease still held by a live run is refused, naming it; `replacing` is the
// token of a run whose process the caller found dead on its own host, which is taken over.
// Answer: the new token.
Json retomaOperacao(Call &call)
{
    Database &db = call.db;
    const OperationRow operation = requireOperation(db, call.text(0).trimmed());
    if (operation.state != u"A")
        throw ServerError(QStringLiteral("%1 já foi concluída.").arg(operation.description));
    const Token token{operation.id, operation.run + 1};
    // A lease still held by a live run (an older run of this operation included) refuses the
    // new run with its holder's name.
    takeLeases(db, operation.groups, token.text(), call.text(1).trimmed(), call.text(2).trimmed(), QString(),
               call.text(3).trimmed());
    db.exec(QStringLiteral("UPDATE OPERACAO SET NRTENTATIVA = ?, DTATUALIZA = ? WHERE CDOPERACAO = ?"),
            {token.run, nowText(), operation.id});
    return token.text();
}

// concluiPasso(token, step, result, calls): the step is done. `calls` is a JSON list of the
// step's server writes, [{"m": method, "a": [arguments]}...], run in this transaction before
// the step is marked done with its result; a step already done runs nothing again. The last
// step concludes the operation. Answer: [done before (S/N), the stored result, the "out" of
// each call].
Json concluiPasso(Call &call)
{
    Database &db = call.db;
    const QString tokenText = call.text(0);
    fenceOperation(db, tokenText);
    const Token token = parseToken(tokenText);
    const int step = call.text(1).toInt();
    const QVariant state =
        db.scalar(QStringLiteral("SELECT IDSITUACAO FROM OPERACAOPASSO WHERE CDOPERACAO = ? AND NRPASSO = ?"), {token.id, step});
    if (!state.isValid())
        throw ServerError(QStringLiteral("A operação %1 não tem o passo %2.").arg(token.id).arg(step));
    if (state.toString() == u"F") {
        const QString stored =
            db.scalar(QStringLiteral("SELECT TXRESULTADO FROM OPERACAOPASSO WHERE CDOPERACAO = ? AND NRPASSO = ?"), {token.id, step})
                .toString();
        return QJsonArray{QStringLiteral("S"), stored, QJsonArray()};
    }
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(call.text(3).toUtf8(), &error);
    if (!call.text(3).trimmed().isEmpty() && (error.error != QJsonParseError::NoError || !document.isArray()))
        throw ServerError(QStringLiteral("As gravações do passo %1 não são uma lista JSON válida.").arg(step));
    QJsonArray outs;
    for (const QJsonValue &value : document.array()) {
        const QJsonObject inner = value.toObject();
        const QString method = inner.value(QStringLiteral("m")).toString();
        const MethodDef *def = grupSoliHomModule().find(method);
        if (!def || !def->writes || def->handler == concluiPasso || def->handler == abreOperacao)
            throw ServerError(QStringLiteral("O método \"%1\" não pode ser gravado como parte de um passo.").arg(method));
        const QJsonArray args = inner.value(QStringLiteral("a")).toArray();
        const QString refused = Dispatcher::refusedArguments(grupSoliHomModule(), *def, args);
        if (!refused.isEmpty())
            throw ServerError(refused);
        Call innerCall(db, def->name, def->args, args);
        innerCall.operation = tokenText;
        def->handler(innerCall);
        outs.append(QJsonValue(innerCall.out()));
    }
    db.exec(QStringLiteral("UPDATE OPERACAOPASSO SET IDSITUACAO = 'F', DTFIM = ?, TXRESULTADO = ? WHERE CDOPERACAO = ? "
                           "AND NRPASSO = ?"),
            {nowText(), call.text(2), token.id, step});
    const bool last = !db.scalar(QStringLiteral("SELECT 1 FROM OPERACAOPASSO WHERE CDOPERACAO = ? AND IDSITUACAO <> 'F'"), {token.id})
                           .isValid();
    db.exec(QStringLiteral("UPDATE OPERACAO SET DTATUALIZA = ?, IDSITUACAO = ? WHERE CDOPERACAO = ?"),
            {nowText(), last ? QStringLiteral("C") : QStringLiteral("A"), token.id});
    return QJsonArray{QStringLiteral("N"), call.text(2), outs};
}

// reabrePasso(token, step): a step whose work was undone (a tag removed after the step that
// followed it failed) is to be done again by the next run.
Json reabrePasso(Call &call)
{
    fenceOperation(call.db, call.text(0));
    call.db.exec(QStringLiteral("UPDATE OPERACAOPASSO SET IDSITUACAO = 'P', DTFIM = '', TXRESULTADO = '' WHERE CDOPERACAO = ? "
                                "AND NRPASSO = ?"),
                 {parseToken(call.text(0)).id, call.text(1).toInt()});
    return QJsonValue::Null;
}

// renovaOperacao(token): the run is alive; its leases last another expiry time. Refused
// (fenced) when it lost any of them.
Json renovaOperacao(Call &call)
{
    fenceOperation(call.db, call.text(0));
    return QJsonValue::Null;
}

// liberaOperacao(token): the run stops (done, failed or interrupted) and gives back the
// leases it holds; an operation not concluded stays open for its next run.
Json liberaOperacao(Call &call)
{
    call.db.exec(QStringLiteral("DELETE FROM TRAVAGRUPO WHERE CDTRAVA = ?"), {call.text(0)});
    return QJsonValue::Null;
}

// abandonaOperacao(token): an operation of which no step was done ends without effect (the
// operator declined its only work); refused once a step is done, which its rerun completes.
Json abandonaOperacao(Call &call)
{
    fenceOperation(call.db, call.text(0));
    const QString id = parseToken(call.text(0)).id;
    if (call.db.scalar(QStringLiteral("SELECT 1 FROM OPERACAOPASSO WHERE CDOPERACAO = ? AND IDSITUACAO = 'F'"), {id}).isValid())
        throw ServerError(QStringLiteral("A operação %1 já tem passos feitos; ela não pode ser abandonada, só continuada.").arg(id));
    call.db.exec(QStringLiteral("UPDATE OPERACAO SET IDSITUACAO = 'X', DTATUALIZA = ? WHERE CDOPERACAO = ?"), {nowText(), id});
    return QJsonValue::Null;
}

}  // namespace server

#include "methods/lease.h"

#include "methods/domain.h"
#include "store/database.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QUuid>

#include <atomic>

namespace server {

namespace {

// Five minutes: the advance renews its leases every minute while it runs (also while a
// question waits), so only a holder that died keeps a group for so long; one long child
// process that keeps the advance from renewing (a compile, a large commit) fits in it.
std::atomic<long long> g_expirySeconds{5 * 60};

const QString kTimeFormat = QStringLiteral("yyyy-MM-ddTHH:mm:ss");

// The holder of a group's lease as stored.
struct Holder {
    QString token, operatorCode, operatorName, host, since, expires;
    // Past its time at `now` (both as stored: texts that sort as times).
    bool expired(const QString &now) const { return expires <= now; }
};

std::optional<Holder> holderOf(Database &db, const QString &group)
{
    QSqlQuery &query = db.exec(QStringLiteral("SELECT T.CDTRAVA, T.CDOPERADOR, COALESCE(O.NMOPERADOR, ''), T.NMESTACAO, "
                                              "T.DTINICIO, T.DTEXPIRA FROM TRAVAGRUPO T "
                                              "LEFT JOIN OPERADOR O ON O.CDOPERADOR = T.CDOPERADOR WHERE T.CDGRUPHOMOL = ?"),
                               {group});
    std::optional<Holder> holder;
    if (query.next())
        holder = Holder{query.value(0).toString(), query.value(1).toString(), query.value(2).toString(),
                        query.value(3).toString(), query.value(4).toString(), query.value(5).toString()};
    query.finish();
    return holder;
}

QString shownTime(const QString &stored)
{
    return QDateTime::fromString(stored, kTimeFormat).toString(QStringLiteral("dd/MM/yyyy HH:mm:ss"));
}

// "the operator 0001 (Ana) on host build-07 since 07/12/2026 10:30:00", as the refusal and
// the unlock question say it.
QString describe(const QString &group, const Holder &holder)
{
    const QString who = holder.operatorName.isEmpty() ? holder.operatorCode
                                                      : QStringLiteral("%1 (%2)").arg(holder.operatorCode, holder.operatorName);
    return QStringLiteral("O grupo %1 está em tramitação pelo operador %2 na estação %3 desde %4 (a trava expira em %5).")
        .arg(group, who, holder.host.isEmpty() ? QStringLiteral("desconhecida") : holder.host, shownTime(holder.since),
             shownTime(holder.expires));
}

[[noreturn]] void refuseHeld(const QString &group, const Holder &holder)
{
    throw ServerError(describe(group, holder)
                      + QStringLiteral(" Aguarde o fim dessa tramitação; se ela foi interrompida, libere o grupo com "
                                       "\"homologa unlock %1\".")
                            .arg(group));
}

}  // namespace

QStringList leaseGroupList(const QString &text)
{
    static const QRegularExpression separators(QStringLiteral("[\\s,;]+"));
    QStringList groups;
    for (const QString &code : text.split(separators, Qt::SkipEmptyParts)) {
        if (!groups.contains(code))
            groups.append(code);
    }
    return groups;
}

namespace {

QStringList groupList(const QString &text) { return leaseGroupList(text); }

// Takes one group's lease for `token`, or refuses naming the holder. The insert is the
// atomic step on both engines: of two advances at the same instant one inserts and the
// other, once the first has committed, finds its row (PostgreSQL makes the second insert
// wait for the first transaction; SQLite serialises the write transactions).
void take(Database &db, const QString &group, const QString &token, const QString &operatorCode, const QString &host,
          const QString &now, const QString &expires, const QString &replacing)
{
    const int inserted = db.execCount(QStringLiteral("INSERT INTO TRAVAGRUPO (CDGRUPHOMOL, CDTRAVA, CDOPERADOR, NMESTACAO, "
                                                     "DTINICIO, DTEXPIRA) VALUES (?, ?, ?, ?, ?, ?) "
                                                     "ON CONFLICT (CDGRUPHOMOL) DO NOTHING"),
                                      {group, token, operatorCode, host, now, expires});
    if (inserted == 1)
        return;
    db.lockRows(QStringLiteral("SELECT CDGRUPHOMOL FROM TRAVAGRUPO WHERE CDGRUPHOMOL = ?"), {group});
    const std::optional<Holder> holder = holderOf(db, group);
    if (!holder)
        throw ServerError(QStringLiteral("A trava do grupo %1 foi liberada enquanto era pedida; tente novamente.").arg(group));
    if (holder->token == token)
        return;
    if (!holder->expired(now) && (replacing.isEmpty() || holder->token != replacing))
        refuseHeld(group, *holder);
    // A lease past its time is taken over, and only the one that was read.
    const int taken = db.execCount(QStringLiteral("UPDATE TRAVAGRUPO SET CDTRAVA = ?, CDOPERADOR = ?, NMESTACAO = ?, "
                                                  "DTINICIO = ?, DTEXPIRA = ? WHERE CDGRUPHOMOL = ? AND CDTRAVA = ?"),
                                   {token, operatorCode, host, now, expires, group, holder->token});
    if (taken != 1)
        refuseHeld(group, holderOf(db, group).value_or(*holder));
}

}  // namespace

void setLeaseExpiry(std::chrono::seconds expiry) { g_expirySeconds = expiry.count(); }
std::chrono::seconds leaseExpiry() { return std::chrono::seconds(g_expirySeconds.load()); }

// takeGroupLease(groups, phase, operator, host): the leases of the listed groups for one
// advance, all or none; the answer is the lease's token, which gives them back. Refused,
// naming the holder, when another advance holds one of them; refused when a group does not
// exist or (phase not empty) is no longer at the phase the advance starts from, which
// another advance has then carried out in the meantime.
Json takeGroupLease(Call &call)
{
    const QStringList groups = groupList(call.text(0));
    if (groups.isEmpty())
        throw ServerError(QStringLiteral("Nenhum grupo informado para a tramitação."));
    const QString token = QUuid::createUuid().toString(QUuid::Id128);
    takeLeases(call.db, groups, token, call.text(2).trimmed(), call.text(3).trimmed(), call.text(1).trimmed());
    return token;
}

void takeLeases(Database &db, const QStringList &groups, const QString &token, const QString &operatorCode,
                const QString &host, const QString &phase, const QString &replacing)
{
    const QDateTime start = QDateTime::currentDateTime();
    const QString now = start.toString(kTimeFormat);
    const QString expires = start.addSecs(leaseExpiry().count()).toString(kTimeFormat);
    for (const QString &group : groups) {
        take(db, group, token, operatorCode, host, now, expires, replacing);
        // Read once the lease is held: the phase that another advance wrote before it gave
        // the lease back is seen.
        const std::optional<GroupRow> row = findGroup(db, group);
        if (!row)
            throw ServerError(QStringLiteral("O grupo de homologação %1 não existe.").arg(group));
        if (!phase.isEmpty() && row->phase != phase)
            throw ServerError(QStringLiteral("O grupo %1 está na fase %2, e não na fase %3 dos dados lidos; outra tramitação "
                                             "já o avançou. Recarregue os dados antes de avançá-lo.")
                                  .arg(group, row->phase, phase));
    }
}

int renewLeases(Database &db, const QString &token)
{
    const QString expires = QDateTime::currentDateTime().addSecs(leaseExpiry().count()).toString(kTimeFormat);
    return db.execCount(QStringLiteral("UPDATE TRAVAGRUPO SET DTEXPIRA = ? WHERE CDTRAVA = ?"), {expires, token});
}

QString describeLease(Database &db, const QString &group)
{
    const std::optional<Holder> holder = holderOf(db, group);
    return holder && !holder->expired(nowText()) ? describe(group, *holder) : QString();
}

// renewGroupLease(token): the advance that holds the leases is still running; refused when
// it holds none any more (broken, or taken over after its time).
Json renewGroupLease(Call &call)
{
    if (renewLeases(call.db, call.text(0)) == 0)
        throw ServerError(QStringLiteral("A trava desta tramitação foi perdida (liberada ou assumida por outra tramitação); "
                                         "nada mais será gravado por ela."));
    return QJsonValue::Null;
}

// releaseGroupLease(groups, token): the advance that holds the leases gives them back. A
// lease that is no longer that token's (broken, or taken over after its time) is left alone.
Json releaseGroupLease(Call &call)
{
    for (const QString &group : groupList(call.text(0)))
        call.db.exec(QStringLiteral("DELETE FROM TRAVAGRUPO WHERE CDGRUPHOMOL = ? AND CDTRAVA = ?"), {group, call.text(1)});
    return QJsonValue::Null;
}

// getGroupLease(group): [token, who holds it and since when, its host] while an advance holds the
// group's lease; an empty array when none does (a lease past its time holds nothing).
Json getGroupLease(Call &call)
{
    const QString group = call.text(0).trimmed();
    const std::optional<Holder> holder = holderOf(call.db, group);
    if (!holder || holder->expired(nowText()))
        return QJsonArray();
    return QJsonArray{holder->token, describe(group, *holder), holder->host};
}

// breakGroupLease(group, token): ends the lease of an advance whose holder died, the one
// that the operator was shown (getGroupLease); refused when the group's lease has changed
// since, so that a new advance's lease is never broken unseen.
Json breakGroupLease(Call &call)
{
    const QString group = call.text(0).trimmed();
    if (call.db.execCount(QStringLiteral("DELETE FROM TRAVAGRUPO WHERE CDGRUPHOMOL = ? AND CDTRAVA = ?"), {group, call.text(1)}) != 1)
        throw ServerError(QStringLiteral("A trava do grupo %1 já foi liberada ou passou a outra tramitação; nada foi liberado.")
                              .arg(group));
    return QJsonValue::Null;
}

// groupsOfRequests(request list): the groups in progress that hold the listed requests, one
// code per line, each once.
Json groupsOfRequests(Call &call)
{
    QStringList groups;
    for (const RequestKey &key : parseRequestList(call.text(0))) {
        const QString group = openGroupOf(call.db, key);
        if (!group.isEmpty() && !groups.contains(group))
            groups.append(group);
    }
    return groups.join(QStringLiteral("\r\n"));
}

}  // namespace server

#pragma once

// The audit trail: every event of the road (a group's or a request's phase change, a
// verdict, a decision and its justification, a patch registration, a tag) as one list,
// read from the tables that keep them, and written out as CSV or JSON.

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

namespace server {

class Database;

// Events that no other table keeps are written to EVENTO, in the transaction of the change
// they record.
struct Event {
    QString kind;  // one of the kinds below
    QString operatorCode, group, product, filial, request;
    QString before, after, detail;
};

namespace eventKind {
inline const QString GroupPhase = QStringLiteral("fase do grupo");
inline const QString RequestPhase = QStringLiteral("fase da solicitação");
inline const QString Verdict = QStringLiteral("veredito");
inline const QString Decision = QStringLiteral("decisão");
inline const QString Justification = QStringLiteral("justificativa");
inline const QString Registration = QStringLiteral("registro");
inline const QString Tag = QStringLiteral("tag");
inline const QString TagRemoved = QStringLiteral("tag removida");
}  // namespace eventKind

// A group's phases with their names, "001" to "007", as the screen shows them.
const QList<QPair<QString, QString>> &groupPhases();
// The phase's name, empty for a code that is not a phase.
QString groupPhaseName(const QString &code);

// Creates the EVENTO table when it is missing.
void createEventTable(Database &db);
void recordEvent(Database &db, const Event &event);
// The operator on whose behalf `group` is being changed: the holder of the lease of the
// advance under way on it. Every change the audit records is named by this one lookup.
QString changeOperator(Database &db, const QString &group);
// A group's phase change, by `operatorCode`, or else by changeOperator(group).
void recordGroupPhase(Database &db, const QString &group, const QString &product, const QString &from, const QString &to,
                      const QString &detail = {}, const QString &operatorCode = {});

struct AuditFilter {
    QString since, until;  // "yyyy-MM-dd", both days included; empty: no bound
    QString product;       // CDPRODUTO; empty: every product
    // CDGRUPHOMOL; empty: every group. A group's own events, its transition logs, and the
    // phase changes of its requests since it was created.
    QString group;
};

struct AuditRow {
    QString time;  // "yyyy-MM-ddTHH:mm:ss"
    Event event;
};

// Oldest first. A transition log and the phase change recorded for the same advance (the
// same group and phases, the nearest in time, within a day) are one row, the event's; a
// decision recorded without its operator or justification takes those of the justification
// given next for the request. Throws ServerError for a date that is not "yyyy-MM-dd".
QList<AuditRow> auditTrail(Database &db, const AuditFilter &filter);

// UTF-8 with a byte-order mark, ";" between fields and CRLF between rows, so that a
// spreadsheet set up for Portuguese opens it as it is. A field that a spreadsheet would
// take for a formula (beginning with =, +, -, @, a tab or a carriage return) is written
// after an apostrophe, so that it is shown as text; the JSON keeps every text exact.
QByteArray auditCsv(const QList<AuditRow> &rows);
QByteArray auditJson(const QList<AuditRow> &rows);

}  // namespace server

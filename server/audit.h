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
// A group's phase change, by the operator whose advance holds the group's lease.
void recordGroupPhase(Database &db, const QString &group, const QString &product, const QString &from, const QString &to,
                      const QString &detail = {});

struct AuditFilter {
    QString since, until;  // "yyyy-MM-dd", both days included; empty: no bound
    QString product;       // CDPRODUTO; empty: every product
};

struct AuditRow {
    QString time;  // "yyyy-MM-ddTHH:mm:ss"
    Event event;
};

// Oldest first. Throws ServerError for a date that is not "yyyy-MM-dd".
QList<AuditRow> auditTrail(Database &db, const AuditFilter &filter);

// UTF-8 with a byte-order mark, ";" between fields and CRLF between rows, so that a
// spreadsheet set up for Portuguese opens it as it is.
QByteArray auditCsv(const QList<AuditRow> &rows);
QByteArray auditJson(const QList<AuditRow> &rows);

}  // namespace server

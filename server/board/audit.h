#pragma once

// The audit trail: every event of the road (a group's or a request's phase change, a
// verdict, a decision and its justification, a patch registration, a tag) as one list,
// read from the tables that keep them, and written out as CSV or JSON.

#include "store/events.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace server {

class Database;

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

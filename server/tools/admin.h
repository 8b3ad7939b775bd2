#pragma once

// Administration commands of homologa-server that stand for other systems.

#include <QString>
#include <QStringList>

namespace server {

class Database;
struct RequestKey;

// The testers' verdict on a request under test (its group at "006"): "sem-erro"
// (validated without error), "com-erro" (validated with error) or "regerar" (the patch
// must be generated again). A verdict may be given again until the group is closed.
// Throws ServerError, with nothing written, for any other request or verdict.
void giveVerdict(Database &db, const RequestKey &request, const QString &verdict, const QString &operatorCode);

// The board's sessions for `sessions list`: a heading, then one line each (the id that
// `sessions revoke` takes, who, from where, when it began, was last used and ends).
QStringList sessionLines(Database &db);

}  // namespace server

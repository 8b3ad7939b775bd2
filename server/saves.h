#pragma once

#include <QJsonValue>

namespace server {

class Call;

// setGrupo (delta of cdsGrupo) and setSoli (delta of cdsSoli): the whole delta in the
// call's transaction. A modified or deleted row is refused, naming it, when the stored
// row no longer has the delta's original values.
QJsonValue saveGroups(Call &call);
QJsonValue saveRequests(Call &call);

// The SELECT of cdsGrupo rows (without WHERE/ORDER) and of cdsSoli rows.
extern const char *const kGroupSelect;
extern const char *const kRequestInGroupSelect;

}  // namespace server

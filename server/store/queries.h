#pragma once

// The SQL of the reads and of the group update that the screen makes most often, shared by
// the remote methods and by the benchmark that times them alone.

#include <QString>

namespace server::sql {

// cdsGrupo rows, every group in code order / one group.
const QString &groupList();
const QString &groupByCode();
// The first group in code order.
const QString &firstGroup();
// "S" when the operator may edit groups.
const QString &operatorMayEdit();
// cdsSoli rows of one group, by queue position and number / one request of a group.
const QString &requestsOfGroup();
const QString &requestOfGroup();
// cdsArq rows of one group.
const QString &filesOfGroup();
// cdsArqSoli rows of one group (compiled-kind files released for generation).
const QString &compiledFilesOfGroup();
// Web ("W") or form-setting ("F") files of one group, as cdsArqSoliAsp rows.
QString filesOfGroupOfKind(char kind);
// A group's update, applied only while the stored row still has the values read before.
const QString &updateGroup();
const QString &deleteGroup();
// The values of updateGroup()/deleteGroup()'s condition, in order.
inline const char *const kGroupGuardFields[] = {"CDGRUPHOMOL", "DSGRUPHOMOL", "CDPRODUTO", "CDRELEASEGHOM",
                                                "IDSTGRUPHOM", "DTULTATUGHOM", "DTHRGERAGRUPSOL", "DTHRHOMOGRUPSOL"};

}  // namespace server::sql

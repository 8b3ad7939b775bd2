#pragma once

// The transition log: after an advance, the lines that the repository transfer wrote are
// stored on the server under the group, with the two phases and the operator.

#include <QString>

class TdmGrupSoliHom;

// Stores `log` for the group `grupo` (by default the current group of the list). The group
// save after a phase write reloads the list and moves its cursor, so a caller that wrote
// the phase passes the code it read before the write.
void SalvaLog(TdmGrupSoliHom &dm, const QString &anterior, const QString &nova, const QString &log,
              const QString &grupo = QString());

struct Chamada;
// The same store as a write of an operation's step.
Chamada ChamadaDoLog(TdmGrupSoliHom &dm, const QString &anterior, const QString &nova, const QString &log,
                     const QString &grupo);

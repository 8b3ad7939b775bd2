#pragma once

// The transition log: after an advance, the lines that the repository transfer wrote are
// stored on the server with the group, the two phases and the operator.

#include <QString>

class TdmGrupSoliHom;

// Stores the log of the group `grupo` for its move from `anterior` to `nova`.
void SalvaLog(TdmGrupSoliHom &dm, const QString &grupo, const QString &anterior, const QString &nova,
              const QString &log);

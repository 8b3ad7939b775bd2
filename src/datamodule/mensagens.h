#pragma once

// The texts of the homologation screen, as "key|text" entries in table order.

#include <QStringList>

// msgPadrao: the screen's message table (108 entries).
QStringList MensagensGrupSoliHom();
// msgStatus: group phases IDSTGRUPHOM "001" to "007".
QStringList StatusGrupo();
// msgStatusSoli: request status IDSTSOLIGRUP, in the order the table holds them.
QStringList StatusSolicitacao();

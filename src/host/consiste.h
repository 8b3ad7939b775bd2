#pragma once

// Helpers that every screen operation uses: error boxes with the silent stop, and small
// text routines.

#include "errors.h"
#include "hostui.h"

#include <QString>

namespace Consiste {

// Shows `text` in the host's error box; with `abort` true it then ends the current
// action with the silent stop (EAbort).
void MensErro(const QString &text, bool abort);

inline bool EmptyString(const QString &text) { return text.isEmpty(); }
inline QString AllTrim(const QString &text) { return text.trimmed(); }
// `text` right-aligned in `width` characters with leading zeros ("2", 3 -> "002").
QString Ajusta(const QString &text, int width);

template <typename T>
T iif(bool condition, const T &whenTrue, const T &whenFalse)
{
    return condition ? whenTrue : whenFalse;
}
inline QString iif(bool condition, const char *whenTrue, const char *whenFalse)
{
    return QString::fromUtf8(condition ? whenTrue : whenFalse);
}

}  // namespace Consiste

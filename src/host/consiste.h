#pragma once

// Helpers that every screen operation uses: error boxes with the silent stop, and small
// text routines.

#include "errors.h"
#include "hostui.h"

#include <QString>

class QColor;
class QImage;
class QPainter;
class QRect;
class QWidget;
class TDBGrid;

namespace Consiste {

// Shows `text` in the host's error box; with `abort` true it then ends the current
// action with the silent stop (EAbort).
void MensErro(const QString &text, bool abort);

inline bool EmptyString(const QString &text) { return text.isEmpty(); }
inline QString AllTrim(const QString &text) { return text.trimmed(); }
// `text` right-aligned in `width` characters with leading zeros ("2", 3 -> "002").
QString Ajusta(const QString &text, int width);

// The 1-based position of the first occurrence of `part` in `text`, 0 when there is none.
// An empty part is never found: a rule that asks whether a path already occurs in a list
// must not take an empty path for one that does.
inline qsizetype Pos(const QString &part, const QString &text, Qt::CaseSensitivity cs = Qt::CaseSensitive)
{
    return part.isEmpty() ? 0 : text.indexOf(part, 0, cs) + 1;
}
// True when `part` occurs in `text` (Pos above: an empty part never does).
inline bool Contem(const QString &text, const QString &part, Qt::CaseSensitivity cs = Qt::CaseSensitive)
{
    return Pos(part, text, cs) > 0;
}

template <typename T>
T iif(bool condition, const T &whenTrue, const T &whenFalse)
{
    return condition ? whenTrue : whenFalse;
}
inline QString iif(bool condition, const char *whenTrue, const char *whenFalse)
{
    return QString::fromUtf8(condition ? whenTrue : whenFalse);
}

// The column of a grid that shows a field (case-insensitive); -1 when none does.
int IndiceCol(const TDBGrid *grid, const QString &fieldName);
// Draws `bitmap` in the cell, 1 pixel in from the left and centred in height, with every
// pixel of the colour `transparent` left out.
void InsereImagem(QPainter &painter, const QRect &cell, const QImage &bitmap, const QColor &transparent);
// Hands what is being typed in the screen's grids to their datasets and repaints them
// (before a post, so that the last typed text is posted too).
void RefreshGrid(QWidget *screen);
// Enables or disables a control and everything inside it.
void SetChildEnabled(QWidget *control, bool enabled);

}  // namespace Consiste

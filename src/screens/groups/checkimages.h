#pragma once

// The 16 by 16 check box images of the grids: ticked, empty, and grey (not settable).
// Their background is olive (128, 128, 0), drawn as transparent.

#include <QColor>
#include <QImage>

enum class CheckBoxImage { Ticked, Empty, Grey };

const QImage &checkBoxImage(CheckBoxImage kind);
QColor checkBoxTransparentColor();

#include "checkimages.h"

#include <QPainter>

namespace {

QImage makeImage(CheckBoxImage kind)
{
    QImage image(16, 16, QImage::Format_RGB32);
    image.fill(checkBoxTransparentColor());
    QPainter painter(&image);
    const bool grey = kind == CheckBoxImage::Grey;
    const QColor border = grey ? QColor(160, 160, 160) : QColor(64, 64, 64);
    const QColor fill = grey ? QColor(212, 212, 212) : QColor(255, 255, 255);
    painter.setPen(border);
    painter.setBrush(fill);
    painter.drawRect(1, 1, 13, 13);
    if (kind == CheckBoxImage::Ticked) {
        QPen tick(QColor(0, 0, 0), 2, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin);
        painter.setPen(tick);
        painter.drawPolyline(QPolygon({QPoint(4, 8), QPoint(6, 10), QPoint(11, 5)}));
    }
    return image;
}

}  // namespace

QColor checkBoxTransparentColor() { return QColor(128, 128, 0); }

const QImage &checkBoxImage(CheckBoxImage kind)
{
    static const QImage ticked = makeImage(CheckBoxImage::Ticked);
    static const QImage empty = makeImage(CheckBoxImage::Empty);
    static const QImage grey = makeImage(CheckBoxImage::Grey);
    switch (kind) {
    case CheckBoxImage::Ticked: return ticked;
    case CheckBoxImage::Empty: return empty;
    case CheckBoxImage::Grey: return grey;
    }
    return empty;
}

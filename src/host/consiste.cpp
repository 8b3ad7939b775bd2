#include "consiste.h"

#include "host/operatortext.h"

#include "host/dbgrid.h"

#include <QImage>
#include <QPainter>
#include <QWidget>

namespace Consiste {

void MensErro(const QString &text, bool abort)
{
    hostUi().showMessage(host::withFieldTitles(text), DialogType::Error, mbOK);
    if (abort)
        Abort();
}

QString Ajusta(const QString &text, int width)
{
    const QString trimmed = text.trimmed();
    if (trimmed.size() >= width)
        return trimmed;
    return QString(width - trimmed.size(), u'0') + trimmed;
}

int IndiceCol(const TDBGrid *grid, const QString &fieldName)
{
    return grid ? grid->columnOfField(fieldName) : -1;
}

void InsereImagem(QPainter &painter, const QRect &cell, const QImage &bitmap, const QColor &transparent)
{
    QImage image = bitmap.convertToFormat(QImage::Format_ARGB32);
    const QRgb key = transparent.rgb() & 0x00ffffff;
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if ((line[x] & 0x00ffffff) == key)
                line[x] = 0;
        }
    }
    const int top = cell.top() + std::max(0, (cell.height() - image.height()) / 2);
    painter.drawImage(QPoint(cell.left() + 1, top), image);
}

void RefreshGrid(QWidget *screen)
{
    if (!screen)
        return;
    for (TDBGrid *grid : screen->findChildren<TDBGrid *>()) {
        grid->commitEditor();
        grid->viewport()->update();
    }
}

void SetChildEnabled(QWidget *control, bool enabled)
{
    if (!control)
        return;
    control->setEnabled(enabled);
    for (QWidget *child : control->findChildren<QWidget *>())
        child->setEnabled(enabled);
}

}  // namespace Consiste

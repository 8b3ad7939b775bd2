#include "consiste.h"

namespace Consiste {

void MensErro(const QString &text, bool abort)
{
    hostUi().showMessage(text, DialogType::Error, mbOK);
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

}  // namespace Consiste

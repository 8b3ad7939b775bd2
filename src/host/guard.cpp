#include "guard.h"

#include "host/errors.h"
#include "host/hostui.h"
#include "platform/paths.h"

namespace host {

QString errorText(const std::exception &error)
{
    if (const auto *homologa = dynamic_cast<const EHomologa *>(&error))
        return homologa->message();
    if (const auto *platformError = dynamic_cast<const platform::PlatformError *>(&error))
        return platformError->message();
    const QString text = QString::fromUtf8(error.what());
    return text.isEmpty() ? QStringLiteral("Erro inesperado.") : text;
}

QString currentErrorText()
{
    try {
        throw;
    } catch (const std::exception &error) {
        return errorText(error);
    } catch (...) {
        return QStringLiteral("Erro inesperado.");
    }
}

bool runGuarded(const std::function<void()> &operation)
{
    try {
        operation();
        return true;
    } catch (const EAbort &) {
        hostUi().hideBusy();
    } catch (...) {
        const QString text = currentErrorText();
        hostUi().hideBusy();
        hostUi().showMessage(text, DialogType::Error, mbOK);
    }
    return false;
}

}  // namespace host

#include "guard.h"

#include "host/errors.h"
#include "host/hostui.h"
#include "host/operatortext.h"
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
    // The animation shows of an outer operation stay up; only what this one left goes.
    const int busy = hostUi().busyDepth();
    try {
        operation();
        return true;
    } catch (const EAbort &) {
        hideBusyTo(busy);
    } catch (...) {
        const QString text = currentErrorText();
        hideBusyTo(busy);
        hostUi().showMessage(withFieldTitles(text), DialogType::Error, mbOK);
    }
    return false;
}

}  // namespace host

// The host application: settings, the main window, and the module on demand.
//
//   homologa [--config FILE] [--open]
//
// --open opens the homologation screen at start. --demo and --reset are accepted for the
// demo workspace.

#include "app/hostwindow.h"

#include "host/errors.h"
#include "host/guard.h"
#include "host/hostsettings.h"
#include "host/hostui.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/settings.h"

#include <QApplication>
#include <QMessageBox>

namespace {

// The last net under the event loop: an exception that escaped an event handler is shown
// instead of ending the program.
class HostApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject *receiver, QEvent *event) override
    {
        try {
            return QApplication::notify(receiver, event);
        } catch (const EAbort &) {
        } catch (...) {
            hostUi().showMessage(host::currentErrorText(), DialogType::Error, mbOK);
        }
        return false;
    }
};

bool hasOption(int argc, char **argv, const char *option)
{
    for (int i = 1; i < argc; ++i) {
        if (qstrcmp(argv[i], option) == 0)
            return true;
    }
    return false;
}

}  // namespace

int main(int argc, char **argv)
{
    HostApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Homologa"));
    platform::settings::useCommandLine(argc, argv);

    QString startupProblem;
    try {
        platform::settings::loadMounts();
    } catch (const std::exception &error) {
        startupProblem = host::errorText(error);
    }
    host::loadHostSettings();

    HostWindow window(HostWindow::defaultModulePath());
    window.show();
    if (!startupProblem.isEmpty())
        hostUi().showMessage(startupProblem, DialogType::Error, mbOK);
    if (const QString problem = platform::missingLocaleMessage(); !problem.isEmpty())
        hostUi().showMessage(problem, DialogType::Warning, mbOK);
    if (hasOption(argc, argv, "--open"))
        window.openHomologation();
    return app.exec();
}

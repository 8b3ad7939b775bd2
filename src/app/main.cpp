// The host application: settings, the main window, and the module on demand.
//
//   homologa [--config FILE] [--open]
//   homologa --demo [--reset]
//
// --open opens the homologation screen at start. --demo builds the demo workspace on first
// use (--reset builds it again), uses its settings and opens the screen on it.

#include "app/hostwindow.h"
#include "demo/demo.h"

#include "host/errors.h"
#include "host/guard.h"
#include "host/hostsettings.h"
#include "host/hostui.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/settings.h"

#include <QApplication>
#include <QDir>
#include <QFile>
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

// Loads a new demo workspace's content through the server's own import command.
void importDemoContent(const demo::Workspace &workspace)
{
    const QString document = workspace.root + QStringLiteral("/demo-import.json");
    QFile file(document);
    if (!file.open(QIODevice::WriteOnly) || file.write(demo::importDocument(workspace.content)) < 0)
        throw std::runtime_error(QStringLiteral("Não foi possível gravar %1").arg(document).toStdString());
    file.close();
    int exitCode = -1;
    const QString output = platform::Process::run(
        QStringLiteral("homologa-server import --db \"%1\" \"%2\"").arg(workspace.databaseFile, document), &exitCode);
    if (exitCode != 0)
        throw std::runtime_error(output.toStdString());
}

// Builds (or reuses) the demo workspace and makes its settings the ones in force.
QString prepareDemo(bool reset)
{
    try {
        demo::prepare(demo::defaultRoot(), reset, importDemoContent, [](const QString &step) {
            hostUi().showBusy(step);
            QCoreApplication::processEvents();
        });
        hostUi().hideBusy();
        return {};
    } catch (const std::exception &error) {
        hostUi().hideBusy();
        return QStringLiteral("Não foi possível preparar o espaço de demonstração em %1:\n%2")
            .arg(demo::defaultRoot(), QString::fromUtf8(error.what()));
    }
}

}  // namespace

int main(int argc, char **argv)
{
    HostApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Homologa"));
    platform::settings::useCommandLine(argc, argv);

    HostWindow window(HostWindow::defaultModulePath());
    window.show();

    const bool demoWorkspace = hasOption(argc, argv, "--demo");
    QString startupProblem;
    if (demoWorkspace) {
        startupProblem = prepareDemo(hasOption(argc, argv, "--reset"));
    } else {
        try {
            platform::settings::loadMounts();
        } catch (const std::exception &error) {
            startupProblem = host::errorText(error);
        }
    }
    host::loadHostSettings();
    window.refreshStatus();

    if (!startupProblem.isEmpty())
        hostUi().showMessage(startupProblem, DialogType::Error, mbOK);
    if (const QString problem = platform::missingLocaleMessage(); !problem.isEmpty())
        hostUi().showMessage(problem, DialogType::Warning, mbOK);
    if (demoWorkspace && startupProblem.isEmpty())
        window.openHomologation();
    if (hasOption(argc, argv, "--open"))
        window.openHomologation();
    return app.exec();
}

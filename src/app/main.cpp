// The host application: settings, the main window, and the module on demand.
//
//   homologa [--config FILE] [--open]
//   homologa --demo [--reset]
//   homologa [--config FILE | --demo] groups [--json]
//   homologa [--config FILE | --demo] advance GROUP... [--yes] [--from PHASE]
//   homologa [--config FILE | --demo] log GROUP
//   homologa [--config FILE | --demo] unlock GROUP [--yes]
//
// --open opens the homologation screen at start. --demo builds the demo workspace on first
// use (--reset builds it again), uses its settings and opens the screen on it. With a
// command the workflow runs without a window, on the module's command line entry.

#include "app/hostwindow.h"
#include "demo/demo.h"

#include "host/consolehostui.h"
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
#include <QLibrary>
#include <QMessageBox>

#include <cstdio>

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

const QStringList kCommands{QStringLiteral("groups"), QStringLiteral("advance"), QStringLiteral("log"),
                            QStringLiteral("unlock")};

// The command and its arguments: everything from the first command word on, without the
// host's own options.
QStringList commandArguments(int argc, char **argv)
{
    QStringList arguments;
    bool found = false;
    for (int i = 1; i < argc; ++i) {
        const QString argument = QString::fromLocal8Bit(argv[i]);
        if (argument == u"--config") {
            ++i;
            continue;
        }
        if (argument == u"--demo" || argument == u"--reset" || argument == u"--open")
            continue;
        if (!found && !kCommands.contains(argument)) {
            if (!argument.startsWith(u'-'))
                return {argument};  // an unknown command
            continue;
        }
        found = true;
        arguments.append(argument);
    }
    return arguments;
}

// The workflow without a window: the module's command line entry on a console HostUi.
int runCommand(const QStringList &arguments, bool demoWorkspace, bool reset)
{
    ConsoleHostUi console(arguments.contains(QStringLiteral("--yes")));
    setHostUi(&console);
    if (!kCommands.contains(arguments.value(0))) {
        std::fprintf(stderr, "homologa: comando desconhecido \"%s\"\n", qPrintable(arguments.value(0)));
        return 2;
    }
    try {
        if (demoWorkspace) {
            demo::prepare(demo::defaultRoot(), reset, importDemoContent,
                          [](const QString &step) { hostUi().progress(step); });
        } else {
            platform::settings::loadMounts();
        }
        host::loadHostSettings();
    } catch (const std::exception &error) {
        std::fprintf(stderr, "Erro: %s\n", error.what());
        return 1;
    }
    if (const QString problem = platform::missingLocaleMessage(); !problem.isEmpty())
        std::fprintf(stderr, "%s\n", qPrintable(problem));
    QLibrary module(HostWindow::defaultModulePath());
    using Entry = int (*)(const QStringList &);
    const auto entry = reinterpret_cast<Entry>(module.resolve("HomologaLinhaDeComando"));
    if (!entry) {
        std::fprintf(stderr, "Erro: não foi possível carregar o módulo %s: %s\n",
                     qPrintable(HostWindow::defaultModulePath()), qPrintable(module.errorString()));
        return 1;
    }
    const int status = entry(arguments);
    setHostUi(nullptr);
    return status;
}

}  // namespace

int main(int argc, char **argv)
{
    const QStringList command = commandArguments(argc, argv);
    // A command needs no display: the screens it uses run without a window.
    if (!command.isEmpty() && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    HostApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Homologa"));
    platform::settings::useCommandLine(argc, argv);
    if (!command.isEmpty())
        return runCommand(command, hasOption(argc, argv, "--demo"), hasOption(argc, argv, "--reset"));

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

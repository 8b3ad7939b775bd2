// The host application: settings, the main window, and the module on demand.
//
//   homologa [--config FILE | --demo [--svn-server] [--reset]] [--open]
//   homologa [--config FILE | --demo [--svn-server] [--reset]] COMMAND ...   (groups, advance, log, unlock, where)
//   homologa --help | help [COMMAND]
//
// --open opens the homologation screen at start. --demo builds the demo workspace on first
// use (--reset builds it again), uses its settings and opens the screen on it. --svn-server
// uses a demo workspace of its own whose repositories svnserve serves on a loopback port
// (svn:// with the repository password) while the program runs. With a
// command the workflow runs without a window, on the module's command line entry; the
// usage and a bad use are answered before anything is read or created.

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
#include <QFileInfo>
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

// The host's own options, before the command; everything from the command word on is the
// command's.
struct HostOptions {
    QString config;
    bool demo = false;
    bool svnServer = false;
    bool reset = false;
    bool open = false;
    bool help = false;
    QStringList command;
    QString error;
};

HostOptions parseHostOptions(int argc, char **argv)
{
    HostOptions options;
    for (int i = 1; i < argc; ++i) {
        const QString argument = QString::fromLocal8Bit(argv[i]);
        if (!options.command.isEmpty()) {
            options.command.append(argument);
        } else if (argument == u"--config") {
            if (i + 1 >= argc) {
                options.error = QStringLiteral("--config pede o arquivo de configuração.");
                return options;
            }
            options.config = QString::fromLocal8Bit(argv[++i]);
        } else if (argument.startsWith(QStringLiteral("--config="))) {
            options.config = argument.mid(9);
        } else if (argument == u"--demo") {
            options.demo = true;
        } else if (argument == u"--svn-server") {
            options.svnServer = true;
        } else if (argument == u"--reset") {
            options.reset = true;
        } else if (argument == u"--open") {
            options.open = true;
        } else if (argument == u"--help" || argument == u"-h") {
            options.help = true;
        } else if (argument.startsWith(u'-')) {
            options.error = QStringLiteral("opção desconhecida \"%1\".").arg(argument);
            return options;
        } else {
            options.command.append(argument);
        }
    }
    if (options.help)
        options.command = options.command.isEmpty() ? QStringList{QStringLiteral("help")}
                                                    : options.command + QStringList{QStringLiteral("--help")};
    if (options.demo && !options.config.isEmpty())
        options.error = QStringLiteral("--config e --demo não vão juntos: o espaço de demonstração tem a sua configuração.");
    else if (options.svnServer && !options.demo)
        options.error = QStringLiteral("--svn-server só vale com --demo.");
    else if (options.reset && !options.demo)
        options.error = QStringLiteral("--reset só vale com --demo.");
    else if (options.open && !options.command.isEmpty())
        options.error = QStringLiteral("--open só vale sem comando.");
    return options;
}

// Qt's own start-up chatter (XDG_RUNTIME_DIR, the platform plugin) is not the operator's
// business on a terminal; a fatal message still ends the program.
void quietQtMessages(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtFatalMsg) {
        std::fprintf(stderr, "%s\n", qPrintable(message));
        std::abort();
    }
}

// Loads a document into a demo workspace's database through the server's own import command.
void importIntoDemo(const demo::Workspace &workspace, const QByteArray &content)
{
    const QString document = workspace.root + QStringLiteral("/demo-import.json");
    QFile file(document);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) < 0)
        throw std::runtime_error(QStringLiteral("Não foi possível gravar %1").arg(document).toStdString());
    file.close();
    int exitCode = -1;
    const QString output = platform::Process::run(
        QStringLiteral("homologa-server import --db \"%1\" \"%2\"").arg(workspace.databaseFile, document), &exitCode);
    if (exitCode != 0)
        throw std::runtime_error(output.toStdString());
}

void runRoadStep(const demo::Workspace &workspace, const QStringList &step);

// Loads a new demo workspace's content.
void importDemoContent(const demo::Workspace &workspace)
{
    importIntoDemo(workspace, demo::importDocument(workspace.content, workspace.atStart));
}

// The svnserve of `--demo --svn-server`, stopped when the program ends.
std::unique_ptr<demo::RepositoryServer> &demoServer()
{
    static std::unique_ptr<demo::RepositoryServer> server;
    return server;
}

// Builds (or reuses) the demo workspace, and with `svnServer` serves its repositories.
void prepareDemoWorkspace(const HostOptions &options, const demo::Progress &progress)
{
    const demo::Workspace workspace = demo::prepare(options.svnServer ? demo::defaultServedRoot() : demo::defaultRoot(),
                                                    options.reset, importDemoContent, progress, runRoadStep);
    if (!options.svnServer)
        return;
    if (progress)
        progress(QStringLiteral("Iniciando o svnserve para os repositórios de demonstração..."));
    demoServer() = demo::serveRepositories(workspace, [&](const QByteArray &document) { importIntoDemo(workspace, document); });
}

using CommandEntry = int (*)(const QStringList &);

// An entry of the module, which is loaded once; null with `problem` said when it cannot be.
CommandEntry moduleEntry(const char *name, QString *problem)
{
    static QLibrary module(HostWindow::defaultModulePath());
    const auto entry = reinterpret_cast<CommandEntry>(module.resolve(name));
    if (!entry)
        *problem = QStringLiteral("não foi possível carregar o módulo %1: %2").arg(module.fileName(), module.errorString());
    return entry;
}

// One step of the road that takes the demo's groups to their phases, with the real
// transitions: the module's command line for an advance, the server's command for a
// verdict. What the advances print goes to road.log in the workspace.
void runRoadStep(const demo::Workspace &workspace, const QStringList &step)
{
    if (step.value(0) == u"verdict") {
        int exitCode = -1;
        const QString output = platform::Process::run(QStringLiteral("homologa-server verdict --db \"%1\" %2")
                                                          .arg(workspace.databaseFile, step.mid(1).join(u' ')),
                                                      &exitCode);
        if (exitCode != 0)
            throw std::runtime_error(output.toStdString());
        return;
    }
    QString problem;
    const CommandEntry entry = moduleEntry("HomologaLinhaDeComando", &problem);
    if (!entry)
        throw std::runtime_error(problem.toStdString());
    host::loadHostSettings();
    const QString logFile = workspace.root + QStringLiteral("/road.log");
    std::FILE *log = std::fopen(QFile::encodeName(logFile).constData(), "a");
    if (!log)
        throw std::runtime_error(QStringLiteral("Não foi possível gravar %1").arg(logFile).toStdString());
    std::fprintf(log, "== homologa %s\n", qPrintable(step.join(u' ')));
    std::fflush(log);
    const qint64 start = QFileInfo(logFile).size();
    int status = 1;
    {
        ConsoleHostUi console(stdin, log, log);
        HostUiScope scope(console);
        status = entry(step);
    }
    std::fclose(log);
    if (status == 0)
        return;
    // A half-built workspace is removed, its log with it: what the step said goes with the error.
    QFile written(logFile);
    QString said;
    if (written.open(QIODevice::ReadOnly) && written.seek(start)) {
        const QStringList lines = QString::fromUtf8(written.readAll()).trimmed().split(u'\n');
        said = lines.mid(std::max<qsizetype>(0, lines.size() - 40)).join(u'\n');
    }
    throw std::runtime_error(QStringLiteral("\"homologa %1\" não terminou bem:\n%2").arg(step.join(u' '), said).toStdString());
}

// Builds (or reuses) the demo workspace and makes its settings the ones in force.
QString prepareDemo(const HostOptions &options)
{
    // One show of the animation whose caption follows the steps (shows nest).
    bool shown = false;
    const auto hide = [&shown] {
        if (shown)
            hostUi().hideBusy();
        shown = false;
    };
    try {
        prepareDemoWorkspace(options, [&](const QString &step) {
            hide();
            hostUi().showBusy(step);
            shown = true;
            QCoreApplication::processEvents();
        });
        hide();
        return {};
    } catch (const std::exception &error) {
        hide();
        return QStringLiteral("Não foi possível preparar o espaço de demonstração em %1:\n%2")
            .arg(options.svnServer ? demo::defaultServedRoot() : demo::defaultRoot(), QString::fromUtf8(error.what()));
    }
}

// The workflow without a window: the module's command line entry on a console HostUi. The
// usage and a bad use are answered before any settings, data or demo is touched.
int runCommand(int argc, char **argv, const HostOptions &options)
{
    qInstallMessageHandler(quietQtMessages);
    // Whatever display there is, a command never uses it.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QString problem;
    {
        QCoreApplication core(argc, argv);
        const CommandEntry usage = moduleEntry("HomologaUsoDaLinhaDeComando", &problem);
        if (!usage) {
            std::fprintf(stderr, "Erro: %s\n", qPrintable(problem));
            return 1;
        }
        if (const int status = usage(options.command); status >= 0)
            return status;
    }
    // Patch generation builds its screen without showing it: widgets need the application.
    HostApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Homologa"));
    ConsoleHostUi console;
    HostUiScope scope(console);
    try {
        if (options.demo) {
            prepareDemoWorkspace(options, [](const QString &step) { hostUi().progress(step); });
        } else {
            platform::settings::loadMounts();
        }
        host::loadHostSettings();
    } catch (const std::exception &error) {
        std::fprintf(stderr, "Erro: %s\n", error.what());
        return 1;
    }
    if (const QString missing = platform::missingLocaleMessage(); !missing.isEmpty())
        std::fprintf(stderr, "%s\n", qPrintable(missing));
    const CommandEntry entry = moduleEntry("HomologaLinhaDeComando", &problem);
    if (!entry) {
        std::fprintf(stderr, "Erro: %s\n", qPrintable(problem));
        return 1;
    }
    const int status = entry(options.command);
    demoServer().reset();
    return status;
}

bool hasDisplay()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        || !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

}  // namespace

int main(int argc, char **argv)
{
    platform::readTimeZoneOnce();
    HostOptions options = parseHostOptions(argc, argv);
    if (!options.error.isEmpty()) {
        std::fprintf(stderr, "homologa: %s\nUse \"homologa --help\" para ver o uso.\n", qPrintable(options.error));
        return 2;
    }
    // A settings file named must be there: a missing one would be an empty configuration,
    // and the first command would create an empty database beside it.
    if (!options.config.isEmpty()) {
        if (const QString problem = platform::settings::unreadableFileProblem(options.config); !problem.isEmpty()) {
            std::fprintf(stderr, "homologa: %s\n", qPrintable(problem));
            return 2;
        }
        platform::settings::useFile(options.config);
    }
    if (!options.command.isEmpty())
        return runCommand(argc, argv, options);
    if (!hasDisplay()) {
        std::fprintf(stderr, "homologa: sem tela (DISPLAY) a janela não abre; os comandos funcionam sem ela "
                             "(homologa --help).\n");
        if (!options.demo)
            return 1;
        // The demo workspace is made ready all the same, and said where it is.
        options.command = {QStringLiteral("where")};
        return runCommand(argc, argv, options);
    }

    HostApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Homologa"));
    HostWindow window(HostWindow::defaultModulePath());
    window.show();

    QString startupProblem;
    if (options.demo) {
        startupProblem = prepareDemo(options);
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
    if (options.demo && startupProblem.isEmpty())
        window.openHomologation();
    if (options.open)
        window.openHomologation();
    const int status = app.exec();
    demoServer().reset();
    return status;
}

// Takes the README's screenshots of the real application, offscreen, on a demo workspace of
// its own, so that they can be made again whenever the screens change:
//
//   build/bin/homologa-screenshots docs/screenshots
//
// The workspace is built in a temporary folder; the user's own demo is not touched. Each
// shot is the homologation screen (or one of its dialogs) as the operator sees it.

#include "store/database.h"
#include "tools/import.h"

#include "demo/demo.h"
#include "host/hostsettings.h"
#include "host/hostui.h"
#include "host/qthostui.h"
#include "runner/frmexeccommands.h"
#include "screens/groups/frmgrupsolihom.h"
#include "workflow/tramitacao.h"

#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QScrollBar>
#include <QTest>
#include <QDir>
#include <QTabWidget>
#include <QTemporaryDir>

#include <cstdio>

namespace {

bool save(QWidget &widget, const QString &folder, const QString &name)
{
    const QString path = folder + u'/' + name + QStringLiteral(".png");
    if (!widget.grab().save(path)) {
        std::fprintf(stderr, "homologa-screenshots: não foi possível gravar %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

}  // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "Uso: homologa-screenshots PASTA\n");
        return 2;
    }
    const QString folder = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    QDir().mkpath(folder);

    QTemporaryDir root;
    try {
        demo::prepare(root.path() + QStringLiteral("/demo"), true, [](const demo::Workspace &built) {
            server::Database db(server::DatabaseSpec::parse(built.databaseFile));
            server::importDocument(db, demo::importDocument(built.content));
        });
    } catch (const std::exception &error) {
        std::fprintf(stderr, "homologa-screenshots: %s\n", error.what());
        return 1;
    }
    host::loadHostSettings();
    ScriptedHostUi ui;  // questions answered Yes, scripts run without their window
    ui.setHeadless(true);
    HostUiScope scope(ui);

    TfrmGrupSoliHom screen;
    screen.resize(1280, 560);
    screen.Create();
    bool ok = save(screen, folder, QStringLiteral("grupos"));

    // The pending group carried to "SVN homologados atualizado", as Avançar does it.
    screen.dm->LocalizaGrupo(QStringLiteral("0000000001"));
    Tramitacao(*screen.dm).btfAvancaFaseClick();
    screen.dm->LocalizaGrupo(QStringLiteral("0000000001"));
    ok = save(screen, folder, QStringLiteral("grupos-avancado")) && ok;

    const struct {
        QWidget *page;
        const char *name;
    } pages[] = {{screen.tshSoli, "solicitacoes"}, {screen.tshArq, "arquivos-modificados"},
                 {screen.tshArqLib, "arquivos-liberados"}};
    for (const auto &page : pages) {
        screen.pgcPadrao->setCurrentWidget(page.page);
        QCoreApplication::processEvents();
        ok = save(screen, folder, QString::fromLatin1(page.name)) && ok;
    }

    // The group's history: its timeline and the transition log its advance stored.
    screen.pgcPadrao->setCurrentWidget(screen.tshPadrao);
    screen.dm->LocalizaGrupo(QStringLiteral("0000000001"));
    for (const auto &[pagina, name] : {std::pair{TfrmHistoricoGrupo::LinhaDoTempo, "historico-linha-do-tempo"},
                                       std::pair{TfrmHistoricoGrupo::LogsDeTramitacao, "historico-log-de-tramitacao"}}) {
        const auto historico = screen.CriaHistorico(pagina);
        historico->show();
        QCoreApplication::processEvents();
        ok = save(*historico, folder, QString::fromLatin1(name)) && ok;
    }

    // A narrow window: the commands that do not fit are behind the tool bar's overflow.
    screen.resize(760, 560);
    QCoreApplication::processEvents();
    ok = save(screen, folder, QStringLiteral("grupos-760")) && ok;
    screen.resize(1280, 560);

    // The pick list finds a word inside a text, and says when nothing holds it.
    screen.dm->CarregaPacote(screen.dm->cdsProd, QStringLiteral("getProd"), {Horvane::FiliProc(), QString()});
    for (const auto &[typed, name] : {std::pair{"web", "lista-de-escolha"}, std::pair{"xyz", "lista-de-escolha-sem-linha"}}) {
        PickListDialog pick(*screen.dm->cdsProd, QStringLiteral("Produto"));
        pick.show();
        QTest::keyClicks(pick.searchBox(), QString::fromLatin1(typed));
        QCoreApplication::processEvents();
        ok = save(pick, folder, QString::fromLatin1(name)) && ok;
    }

    // The runner window scrolls sideways to the end of a long line.
    TfrmExecCommands runner;
    runner.setWindowTitle(QStringLiteral("Atualizando arquivos do repositório local..."));
    runner.Executa(QStringLiteral("@ECHO Atualizando versão do arquivo C:\\Desenv\\ERP\\SRV\\Cadastro\\Clientes\\"
                                  "ClientesServidor.pas para a revisão 14.\r\n"
                                  "@ECHO svn copy file:///C:/Repos/Homol/ERP/trunk file:///C:/Repos/Homol/ERP/tags/ERP/"
                                  "TST_20261207103000_0000000004 -m \"Tag de teste do grupo 0000000004\""));
    runner.show();
    runner.lsbCommands->horizontalScrollBar()->setValue(runner.lsbCommands->horizontalScrollBar()->maximum());
    QCoreApplication::processEvents();
    ok = save(runner, folder, QStringLiteral("executor-linha-longa")) && ok;
    return ok ? 0 : 1;
}

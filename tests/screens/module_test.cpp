// The module as its host sees it: loaded by name, the screen opened through IniProc inside
// an MDI area, and every entry point and variable resolvable.

#include "host/dbgrid.h"
#include "host/errors.h"
#include "host/hostapp.h"
#include "host/hostui.h"
#include "support/testenv.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLibrary>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

namespace {

// A scripted HostUi installed for one test.
struct ScriptedUi {
    ScriptedHostUi ui;
    HostUiScope scope{ui};
};

QLibrary &module()
{
    static QLibrary library(QStringLiteral(HOMOLOGA_MODULE_PATH));
    if (!library.isLoaded()) {
        EXPECT_TRUE(library.load()) << library.errorString().toStdString();
    }
    return library;
}

template <typename T>
T entry(const char *name)
{
    auto function = reinterpret_cast<T>(module().resolve(name));
    EXPECT_NE(function, nullptr) << name;
    return function;
}

QStringList titles(const TDBGrid *grid)
{
    QStringList list;
    for (int i = 0; i < grid->model()->columnCount(); ++i)
        list << grid->model()->headerData(i, Qt::Horizontal).toString();
    return list;
}

QStringList fields(const TDBGrid *grid)
{
    QStringList list;
    for (const GridColumn &column : grid->Columns())
        list << column.fieldName;
    return list;
}

}  // namespace

TEST(HomologationModule, IniProcOpensTheScreenOnceMaximised)
{
    TemporarySettingsFile settings;  // the module's server works on an empty database of its own
    ScriptedUi scripted;
    QMainWindow window;
    auto *area = new QMdiArea(&window);
    window.setCentralWidget(area);
    window.resize(1400, 820);
    window.show();
    host::setMainWindow(&window, area);

    using IniProcFn = void (*)(const QVariant &);
    auto iniProc = entry<IniProcFn>("IniProc");
    ASSERT_NE(iniProc, nullptr);
    iniProc(QVariant(QStringLiteral("ignorado")));

    ASSERT_EQ(area->subWindowList().size(), 1);
    QMdiSubWindow *frame = area->subWindowList().first();
    QWidget *screen = frame->widget();
    ASSERT_NE(screen, nullptr);
    EXPECT_EQ(screen->objectName(), "frmGrupSoliHom");
    EXPECT_TRUE(frame->isMaximized());
    EXPECT_EQ(screen->windowTitle(), "Controle de Processo de Homologação");
    EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the hourglass is restored";

    // Four empty pages, in order, with their grids and columns.
    auto *pages = screen->findChild<QTabWidget *>("pgcPadrao");
    ASSERT_NE(pages, nullptr);
    ASSERT_EQ(pages->count(), 4);
    EXPECT_EQ(pages->tabText(0), "Grupo de Solicitações");
    EXPECT_EQ(pages->tabText(1), "Solicitações do Grupo");
    EXPECT_EQ(pages->tabText(2), "Arquivos Modificados");
    EXPECT_EQ(pages->tabText(3), "Arquivos Liberados");
    EXPECT_EQ(pages->currentIndex(), 0);

    auto *groups = screen->findChild<TDBGrid *>("dbgPadrao");
    auto *requests = screen->findChild<TDBGrid *>("dbgSoli");
    auto *files = screen->findChild<TDBGrid *>("dbgArq");
    auto *released = screen->findChild<TDBGrid *>("dbgArqLib");
    ASSERT_TRUE(groups && requests && files && released);
    EXPECT_EQ(groups->parentWidget(), pages->widget(0));
    EXPECT_EQ(requests->parentWidget(), pages->widget(1));
    EXPECT_EQ(files->parentWidget(), pages->widget(2));
    EXPECT_EQ(released->parentWidget(), pages->widget(3));
    EXPECT_EQ(fields(groups), QStringList({"IDMARCADO", "CDGRUPHOMOL", "DSGRUPHOMOL", "IDSTGRUPHOM", "CDARVPROD",
                                           "DTCRIAGRHOM", "CDRELEASEGHOM", "DTHRGERAGRUPSOL", "DTHRHOMOGRUPSOL"}));
    EXPECT_EQ(titles(groups), QStringList({"✔", "Código", "Nome do Grupo", "Status", "Produto", "Data de criação",
                                           "Release", "Data de geração", "Data de homologação"}));
    EXPECT_EQ(fields(requests), QStringList({"NRPRIOSOLI", "NRSOLISERV", "DSREFESOLI", "IDSTSOLIGRUP", "NMOPERADOR",
                                             "IDHOMOLSOL", "IDENCSOLPATCREG", "IDRETSOLERROPRO", "MODELAGEM",
                                             "TXOBSOLIGER"}));
    EXPECT_EQ(titles(requests), QStringList({"Fila", "Número", "Referência", "Status", "Responsável", "Homologar",
                                             "Regerar", "Voltar erro", "Modelagem", "Obs. Geral"}));
    EXPECT_EQ(titles(files), QStringList({"Solicitação", "Arquivo", "Release Anterior", "Release Atual"}));
    EXPECT_EQ(titles(released),
              QStringList({"Solicitação", "Arquivo Origem", "Versão", "Específico", "Arquivo Homologação"}));
    for (const TDBGrid *grid : {groups, requests, files, released})
        EXPECT_EQ(grid->model()->rowCount(), 0) << grid->objectName().toStdString();

    // Read-only columns and the choice buttons.
    const QList<GridColumn> groupColumns = groups->Columns();
    for (const char *readOnly : {"CDGRUPHOMOL", "IDSTGRUPHOM", "DTCRIAGRHOM", "CDRELEASEGHOM"})
        EXPECT_TRUE(groupColumns[groups->columnOfField(readOnly)].readOnly) << readOnly;
    EXPECT_FALSE(groupColumns[groups->columnOfField("DSGRUPHOMOL")].readOnly);
    EXPECT_TRUE(groupColumns[groups->columnOfField("CDARVPROD")].hasButton);
    const QList<GridColumn> requestColumns = requests->Columns();
    EXPECT_TRUE(requestColumns[requests->columnOfField("NRSOLISERV")].hasButton);
    for (const char *readOnly : {"DSREFESOLI", "IDSTSOLIGRUP", "TXOBSOLIGER"})
        EXPECT_TRUE(requestColumns[requests->columnOfField(readOnly)].readOnly) << readOnly;
    EXPECT_TRUE(files->ReadOnly());
    EXPECT_TRUE(released->ReadOnly());
    EXPECT_FALSE(released->Editing());

    // The filter toggles in their initial states, the labels and the extra commands.
    auto toggle = [&](const char *name) { return screen->findChild<QToolButton *>(name); };
    ASSERT_TRUE(toggle("tbtPendente") && toggle("tbtAndamento") && toggle("tbtHomologado"));
    EXPECT_EQ(toggle("tbtPendente")->text(), "Grupos pendentes");
    EXPECT_TRUE(toggle("tbtPendente")->isChecked());
    EXPECT_TRUE(toggle("tbtAndamento")->isChecked());
    EXPECT_FALSE(toggle("tbtHomologado")->isChecked());
    EXPECT_NE(screen->findChild<QToolButton *>("btfAvancaFase"), nullptr);
    EXPECT_FALSE(screen->findChild<QToolButton *>("btfVoltaFase")->isEnabled());
    EXPECT_NE(screen->findChild<QToolButton *>("sbtInterDependencia"), nullptr);
    for (const char *menu : {"mnuGrupo", "mnuSoli", "mnuArq"})
        EXPECT_NE(screen->findChild<QAction *>(menu), nullptr) << menu;
    EXPECT_EQ(screen->findChild<QAction *>("mnuArq")->text(), "Arquivos Gerados");
    EXPECT_EQ(screen->findChild<QLabel *>("lblTotalSoli")->text(), "Total de solicitações :");

    if (const QByteArray shot = qgetenv("HOMOLOGA_SCREENSHOT"); !shot.isEmpty())
        window.grab().save(QString::fromLocal8Bit(shot));

    // A second IniProc shows the same screen again.
    QPointer<QWidget> first = screen;
    frame->showNormal();
    iniProc(QVariant());
    EXPECT_EQ(area->subWindowList().size(), 1);
    EXPECT_EQ(area->subWindowList().first()->widget(), first.data());
    EXPECT_TRUE(area->subWindowList().first()->isMaximized());

    // Closing destroys it; the next opening creates a new one.
    frame->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(first.isNull());
    EXPECT_TRUE(area->subWindowList().isEmpty());
    entry<void (*)()>("CriaGrupSoliHom")();
    ASSERT_EQ(area->subWindowList().size(), 1);
    EXPECT_EQ(area->subWindowList().first()->widget()->objectName(), "frmGrupSoliHom");
    area->closeAllSubWindows();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    host::setMainWindow(nullptr, nullptr);
    EXPECT_TRUE(scripted.ui.messages().isEmpty()) << scripted.ui.messages().join("; ").toStdString();
}

TEST(HomologationModule, EntriesWithoutTheirScreensAreUnavailableAndVariablesResolve)
{
    auto gera = entry<bool (*)(const QString &, const QString &, const QString &)>("GeraSolicitacoes");
    auto deps = entry<void (*)(Dataset *, Dataset *, Dataset *, Dataset *)>("ShowDeps");
    auto just = entry<void (*)(const QString &, const QString &, const QString &, const QString &)>("CriaJustificativa");
    ASSERT_TRUE(gera && deps && just);
    {
        // Patch generation is there: a request the server does not know stops it with the
        // server's message.
        TemporarySettingsFile settings;
        ScriptedUi scripted;
        EXPECT_THROW(gera("00010000000001", "P1", "P5AB"), EAbort);
        EXPECT_EQ(scripted.ui.messages().size(), 1);
    }
    {
        // The viewer without a window writes its (here empty) trees to the log.
        ScriptedUi scripted;
        scripted.ui.setHeadless(true);
        deps(nullptr, nullptr, nullptr, nullptr);
        EXPECT_EQ(scripted.ui.logLines(), QStringList({"Código Fonte:", "Arquivos gerados:", "Agrupamentos:"}));
    }

    for (const char *variable :
         {"frmExecCommands", "frmDependencias", "frmJustHomol", "stFil", "stGrHom", "stSoli", "stOper",
          "boConfirma_Atividade", "frmGPatch", "SemaStatus", "inErros", "stlSoli", "stlResultadoBuild", "stlSaida",
          "stlResult", "dtFaseTram", "boPatchEmpty", "stVssUser", "stVssPass", "stUserSubVersion", "stPassSubVersion",
          "stListaSoli", "stCdArvProd", "stCdProduto", "stDirBaseRep", "stCdFilial", "stNrSoliServ", "stDirVss",
          "stDiretorio", "stVersao"})
        EXPECT_NE(module().resolve(variable), nullptr) << variable;
    EXPECT_FALSE(*reinterpret_cast<bool *>(module().resolve("boConfirma_Atividade")))
        << "no justification confirmed when the module is loaded";

    // The justification dialog opens modally for the request it is given, with the module's
    // variables set; here it is closed unconfirmed.
    bool opened = false;
    QTimer::singleShot(0, [&] {
        auto *dialog = *reinterpret_cast<QDialog **>(module().resolve("frmJustHomol"));
        opened = dialog != nullptr && dialog->isVisible();
        if (!dialog)
            return;
        EXPECT_EQ(dialog->windowTitle(), "Justificativa de Alteração no Processo de Homologação");
        EXPECT_EQ(*reinterpret_cast<QString *>(module().resolve("stSoli")), "0000000001");
        EXPECT_EQ(*reinterpret_cast<QString *>(module().resolve("stOper")), "1");
        dialog->QDialog::done(QDialog::Rejected);
    });
    just("0001", "0000000001", "0000000001", "1");
    EXPECT_TRUE(opened);
    EXPECT_EQ(*reinterpret_cast<QDialog **>(module().resolve("frmJustHomol")), nullptr);
}

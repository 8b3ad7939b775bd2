// What an operator who spends the day on the homologation screen relies on: every shortcut
// reaches its one command (Ctrl+W closes the screen in the host's work area, after its
// question when a row is being typed), refused edits and deletes leave the screen as the
// server holds it and name fields as the columns do, the narrow window keeps every
// command, and the group's history opens from the screen.

#include "screenenv.h"

#include "screens/groups/frmhistorico.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

namespace {

QStringList g_warnings;

QString field(Dataset *dataset, const char *name) { return dataset->FieldByName(QString::fromLatin1(name)).AsString(); }

void keepWarnings(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtWarningMsg)
        g_warnings.append(message);
}

class OperatorTest : public ScreenTest {
protected:
    void SetUp() override
    {
        ScreenTest::SetUp();
        if (IsSkipped())
            return;
        g_warnings.clear();
        m_previousHandler = qInstallMessageHandler(keepWarnings);
        // Dialogs a command opens are closed as soon as they show, after `onDialog` saw them.
        QObject::connect(&m_closer, &QTimer::timeout, [this] {
            if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget())) {
                if (onDialog)
                    onDialog(dialog);
                dialog->reject();
            }
        });
        m_closer.start(20);
    }
    void TearDown() override
    {
        m_closer.stop();
        qInstallMessageHandler(m_previousHandler);
        ScreenTest::TearDown();
    }

    // The screen in a work area like the host's, maximised, active, with the keys in `focus`.
    TfrmGrupSoliHom *openInArea(QMdiArea &area)
    {
        auto *screen = new TfrmGrupSoliHom;
        screen->Create();
        QMdiSubWindow *frame = area.addSubWindow(screen);
        frame->setAttribute(Qt::WA_DeleteOnClose);
        area.resize(1280, 720);
        area.show();
        frame->showMaximized();
        area.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&area));
        screen->dbgPadrao->setFocus();
        return screen;
    }

    std::function<void(QDialog *)> onDialog;

private:
    QTimer m_closer;
    QtMessageHandler m_previousHandler = nullptr;
};

}  // namespace

// Each key of the menus triggers its command exactly once, with no other command on it.
TEST_F(OperatorTest, EveryShortcutReachesItsOneCommand)
{
    QMdiArea area;
    TfrmGrupSoliHom *screen = openInArea(area);
    ASSERT_TRUE(screen->dm->LocalizaGrupo("0000000001"));
    ui.setDefaultAnswer(mbNo);
    const struct {
        QKeySequence keys;
        QAction *action;
    } cases[] = {
        {QKeySequence(Qt::Key_F1), screen->mnuAjuda},
        {QKeySequence(Qt::Key_F5), screen->mnuVerificar},
        {QKeySequence(Qt::CTRL | Qt::Key_F), screen->mnuProcurar},
        {QKeySequence(Qt::CTRL | Qt::Key_H), screen->mnuLinhaDoTempo},
        {QKeySequence(Qt::CTRL | Qt::Key_L), screen->mnuLogTramitacao},
        {QKeySequence(Qt::CTRL | Qt::Key_D), screen->mnuInterDependencia},
        {QKeySequence(Qt::Key_F9), screen->mnuAvancaFase},
        {QKeySequence(Qt::CTRL | Qt::Key_Delete), screen->mnuExcluir},
        {QKeySequence(Qt::CTRL | Qt::Key_E), screen->mnuAlterar},
        {QKeySequence(Qt::CTRL | Qt::Key_S), screen->mnuConfirmar},
        {QKeySequence(Qt::CTRL | Qt::Key_N), screen->mnuIncluir},
        {QKeySequence(Qt::CTRL | Qt::Key_Z), screen->mnuCancelar},
    };
    for (const auto &c : cases) {
        const std::string what = c.keys.toString().toStdString();
        EXPECT_EQ(c.action->shortcut(), c.keys) << what;
        int triggered = 0;
        const auto counting = QObject::connect(c.action, &QAction::triggered, [&] { ++triggered; });
        QTest::keySequence(screen->dbgPadrao, c.keys);
        QApplication::processEvents();
        QObject::disconnect(counting);
        EXPECT_EQ(triggered, 1) << what;
    }
    EXPECT_FALSE(g_warnings.join('\n').contains("Ambiguous")) << g_warnings.join('\n').toStdString();
}

// Ctrl+W closes the screen, maximised or cascaded; with a row being typed it asks first,
// and No keeps the screen and the row.
TEST_F(OperatorTest, CtrlWClosesTheScreen)
{
    for (const bool maximised : {true, false}) {
        for (const bool typing : {false, true}) {
            QMdiArea area;
            QPointer<TfrmGrupSoliHom> screen = openInArea(area);
            if (!maximised) {
                area.cascadeSubWindows();
                area.activeSubWindow()->showNormal();
                screen->dbgPadrao->setFocus();
            }
            if (typing) {
                screen->sbtAlterar->click();
                ui.answer(mbNo);
                QTest::keyClick(screen->dbgPadrao, Qt::Key_W, Qt::ControlModifier);
                QApplication::processEvents();
                ASSERT_TRUE(screen) << maximised;
                EXPECT_EQ(screen->dm->cdsGrupo->State(), dsEdit);
                ui.answer(mbYes);
            }
            QTest::keyClick(screen->dbgPadrao, Qt::Key_W, Qt::ControlModifier);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            EXPECT_FALSE(screen) << "maximised " << maximised << ", typing " << typing;
            EXPECT_TRUE(area.subWindowList().isEmpty());
        }
    }
    EXPECT_FALSE(g_warnings.join('\n').contains("Ambiguous")) << g_warnings.join('\n').toStdString();
}

// What the server refuses, or a check refuses, leaves the screen showing what the server
// holds, the commands following it, and the message naming fields by their column titles.
TEST_F(OperatorTest, RefusedEditsAndDeletes)
{
    auto screen = openScreen();
    screen->show();
    screen->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(screen.get()));
    Dataset *groups = screen->dm->cdsGrupo;
    Dataset *requests = screen->dm->cdsSoli;
    const struct {
        const char *what;
        bool requestsPage;
        std::function<void()> act;
        QStringList said;  // the message holds each
        std::function<void()> check;
    } cases[] = {
        {"a request changed behind the screen, deleted", true,
         [&] {
             ok("setSoli", args({modifyDelta(packetOf(ok("GetSoli", args({QString("0000000001")}))), 0,
                                             {{"NRPRIOSOLI", "9"}})
                                     .toJson()}));
             ui.answer(mbYes);
             screen->sbtExcluir->click();
         },
         {"Fila: era", "A solicitação não foi excluída e continua no grupo."},
         [&] {
             EXPECT_EQ(requests->RecordCount(), 3);
             EXPECT_TRUE(listed(*requests, "NRPRIOSOLI").contains("9")) << "read again";
             EXPECT_TRUE(screen->mnuExcluir->isEnabled());
             EXPECT_TRUE(screen->mnuProcurar->isEnabled());
         }},
        {"a group renamed behind the screen, deleted", false,
         [&] {
             ok("setGrupo", args({modifyDelta(group("0000000001"), 0, {{"DSGRUPHOMOL", "Outro nome"}}).toJson()}));
             ui.answer(mbYes);
             screen->sbtExcluir->click();
         },
         {"Nome do Grupo: era \"Correções de março\""},
         [&] {
             EXPECT_EQ(screen->dm->codigoGrupo(), "0000000001");
             EXPECT_TRUE(screen->mnuExcluir->isEnabled());
         }},
        {"a group's name erased", false,
         [&] {
             screen->sbtVerificar->click();
             ASSERT_TRUE(screen->dm->LocalizaGrupo("0000000001"));
             screen->sbtAlterar->click();
             groups->FieldByName("DSGRUPHOMOL").setAsString("  ");
             screen->sbtConfirmar->click();
         },
         {"Nome do grupo deve ser informado.\r\n\r\nAs alterações dos grupos que não tinham sido gravadas foram "
          "descartadas."},
         [&] {
             EXPECT_EQ(groups->State(), dsBrowse);
             EXPECT_EQ(groups->ChangeCount(), 0);
             EXPECT_EQ(field(groups, "DSGRUPHOMOL"), "Outro nome");
         }},
        {"letters typed into a request number", true,
         [&] {
             screen->sbtIncluir->click();
             QTest::keyClick(screen->dbgSoli, Qt::Key_A);  // opens the cell's editor
             QTest::keyClicks(QApplication::focusWidget(), "bc12");
             QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
             QApplication::processEvents();
         },
         {"Solicitação não existe ou está fora da fase de tramitação correta."},
         [&] {
             EXPECT_EQ(field(requests, "NRSOLISERV"), "0000000012");
             EXPECT_EQ(screen->dbgSoli->SelectedField(), "NRSOLISERV") << "the cursor stays on what is refused";
             ui.answer(mbYes);
             screen->sbtCancelar->click();
         }},
    };
    for (const auto &c : cases) {
        screen->pgcPadrao->setCurrentWidget(c.requestsPage ? screen->tshSoli : screen->tshPadrao);
        ui.clear();
        c.act();
        const QString said = ui.messages().isEmpty() ? QString() : ui.messages().last();
        for (const QString &part : c.said)
            EXPECT_TRUE(said.contains(part)) << c.what << ": " << said.toStdString();
        c.check();
    }
}

// At 760 pixels every command is still reached (on the tool bar or its overflow), and the
// group filter's toggles have their menu entries.
TEST_F(OperatorTest, ANarrowWindowKeepsEveryCommand)
{
    auto screen = openScreen();
    screen->resize(760, 560);
    screen->show();
    QApplication::processEvents();
    EXPECT_LE(screen->width(), 760);
    EXPECT_LE(screen->tlbPadrao->geometry().right(), screen->width());
    const QWidget *overflow = screen->tlbPadrao->findChild<QToolButton *>(QStringLiteral("qt_toolbar_ext_button"));
    for (QAction *action : screen->tlbPadrao->actions()) {
        const QWidget *button = screen->tlbPadrao->widgetForAction(action);
        if (!button || action->isSeparator())
            continue;
        const bool shown = button->isVisible() && screen->tlbPadrao->rect().contains(button->geometry());
        EXPECT_TRUE(shown || (overflow && overflow->isVisible())) << button->objectName().toStdString();
    }
    screen->mnuHomologado->trigger();
    EXPECT_TRUE(screen->tbtHomologado->isChecked());
    EXPECT_TRUE(listed(*screen->dm->cdsGrupo, "IDSTGRUPHOM").contains("007"));
    screen->tbtHomologado->click();
    EXPECT_FALSE(screen->mnuHomologado->isChecked());
}

// The history of a group opens from the screen on the page asked for: the timeline with
// its events (operator and time), the transition log with its whole text.
TEST_F(OperatorTest, TheGroupsHistoryOpensFromTheScreen)
{
    ok("setTagGrupo", args({QString("0000000003"), QString("0001"), QString("TST_20261207_0000000003"), QString("N")}));
    ok("setLogTram", args({QString("0001"), QString("0000000003"), QString("005"), QString("006"),
                           QString("svn copy ... TST_20261207_0000000003\nCommit da revisão 14.")}));
    auto screen = openScreen();
    ASSERT_TRUE(screen->dm->LocalizaGrupo("0000000003"));
    QStringList kinds;
    QString log;
    int page = -1;
    onDialog = [&](QDialog *dialog) {
        auto *history = qobject_cast<TfrmHistoricoGrupo *>(dialog);
        ASSERT_TRUE(history);
        EXPECT_EQ(history->windowTitle(), "Histórico do grupo 0000000003 - Em teste");
        page = history->pgcHistorico->currentIndex();
        kinds = listed(history->cdsEventos, "TPEVENTO");
        log = history->memLog->toPlainText();
    };
    screen->mnuLogTramitacao->trigger();
    EXPECT_EQ(page, int(TfrmHistoricoGrupo::LogsDeTramitacao));
    EXPECT_EQ(log, "svn copy ... TST_20261207_0000000003\nCommit da revisão 14.");
    screen->mnuLinhaDoTempo->trigger();
    EXPECT_EQ(page, int(TfrmHistoricoGrupo::LinhaDoTempo));
    EXPECT_TRUE(kinds.contains("tag")) << kinds.join(", ").toStdString();
    EXPECT_TRUE(kinds.contains("log de tramitação")) << kinds.join(", ").toStdString();
    EXPECT_TRUE(ui.messages().isEmpty()) << ui.messages().join("; ").toStdString();

    // A group's closing, and the registration its homologation made, are on its timeline.
    ok("Encerra_Grupos", args({QString("0000000005,")}));
    ok("Insere_Patch", args({QString("0000000002"), QString("1"), QString("50"), QString("011"), QString("011")}));
    const packet::Packet events = packetOf(ok("getEventosGrupo", args({QString("0000000005")})));
    QStringList told;
    for (int row = 0; row < events.rows.size(); ++row)
        told << valueAt(events, row, "TPEVENTO") + ": " + valueAt(events, row, "DSDEPOIS");
    EXPECT_TRUE(told.contains("fase do grupo: 007 - Encerrado")) << told.join(", ").toStdString();
    EXPECT_TRUE(told.contains("registro: patch 1.50.011")) << told.join(", ").toStdString();
}

// Avançar on a group under test with no group marked says what is missing and does nothing.
TEST_F(OperatorTest, HomologatingWithNothingMarkedSaysSo)
{
    auto screen = openScreen();
    ASSERT_TRUE(screen->dm->LocalizaGrupo("0000000003"));
    ui.clear();
    screen->mnuAvancaFase->trigger();
    EXPECT_EQ(ui.messages(), QStringList({TfrmGrupSoliHom::kNenhumGrupoMarcado}));
    EXPECT_EQ(valueAt(group("0000000003"), 0, "IDSTGRUPHOM"), "006");
}

// Marking groups for homologation: the rule's three conditions, one group by click or
// Shift+Space, all groups by the column title or Ctrl+Space, and what marking leaves on the
// screen and on the server.

#include "screenenv.h"

#include "host/guard.h"

#include <QKeyEvent>
#include <QTest>
#include <QToolButton>

namespace {

QStringList marked(TfrmGrupSoliHom &screen)
{
    QStringList codes;
    Dataset &groups = *screen.dm->cdsGrupo;
    const int code = groups.fieldIndex("CDGRUPHOMOL");
    const int mark = groups.fieldIndex("IDMARCADO");
    for (int row = 0; row < groups.RecordCount(); ++row) {
        if (groups.gridRow(row).value(mark).toString() == u"S")
            codes << groups.gridRow(row).value(code).toString();
    }
    return codes;
}

void clickMarkingCell(TfrmGrupSoliHom &screen, const QString &code)
{
    TDBGrid *grid = screen.dbgPadrao;
    const int row = int(listed(*screen.dm->cdsGrupo, "CDGRUPHOMOL").indexOf(code));
    ASSERT_GE(row, 0) << code.toStdString();
    const QRect cell = grid->visualRect(grid->model()->index(row, grid->columnOfField("IDMARCADO")));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
}

void pressSpace(TDBGrid *grid, Qt::KeyboardModifiers modifiers)
{
    QKeyEvent event(QEvent::KeyPress, Qt::Key_Space, modifiers, QStringLiteral(" "));
    QCoreApplication::sendEvent(grid, &event);
}

}  // namespace

TEST_F(ScreenTest, MarkingOneGroupFollowsTheRule)
{
    auto screen = openScreen();
    screen->show();
    QApplication::processEvents();

    // Not under test: nothing happens, nothing is said.
    clickMarkingCell(*screen, "0000000001");
    EXPECT_EQ(screen->dm->codigoGrupo(), "0000000001");
    EXPECT_TRUE(marked(*screen).isEmpty());
    EXPECT_TRUE(ui.messages().isEmpty()) << ui.messages().join("; ").toStdString();

    // A modelling project not homologated blocks the group, and the operator is told why.
    clickMarkingCell(*screen, "0000000004");
    EXPECT_EQ(screen->dm->codigoGrupo(), "0000000004");
    EXPECT_TRUE(marked(*screen).isEmpty());
    ASSERT_EQ(ui.messages().size(), 1);
    EXPECT_EQ(ui.messages()[0], "Grupo bloqueado porque a(s) solicitação(ões) 0000000103 ainda não tiveram seus projetos "
                                "de modelagem homologados.");
    EXPECT_EQ(ui.shown().last().type, DialogType::Error);
    EXPECT_FALSE(screen->dm->PodeMarcarGrupo(false));
    EXPECT_EQ(ui.messages().size(), 1) << "asked without the message, the rule says nothing";

    // Under test: a click marks, the mark stays on the screen without a save.
    ui.clear();
    clickMarkingCell(*screen, "0000000003");
    EXPECT_EQ(marked(*screen), QStringList({"0000000003"}));
    EXPECT_EQ(screen->dm->cdsGrupo->ChangeCount(), 1);
    EXPECT_EQ(screen->dm->cdsGrupo->State(), dsBrowse);
    EXPECT_TRUE(ui.messages().isEmpty());

    // Another release cannot join the marked ones; the same release can.
    clickMarkingCell(*screen, "0000000005");
    EXPECT_EQ(marked(*screen), QStringList({"0000000003"}));
    EXPECT_TRUE(ui.messages().isEmpty()) << "a release mismatch is silent";
    goToGroup(*screen, "0000000007");
    pressSpace(screen->dbgPadrao, Qt::ShiftModifier);
    EXPECT_EQ(marked(*screen), QStringList({"0000000003", "0000000007"}));

    // Marking again unmarks; Shift+Space works from the other grids too.
    screen->mnuSoli->trigger();
    pressSpace(screen->dbgSoli, Qt::ShiftModifier);
    EXPECT_EQ(marked(*screen), QStringList({"0000000003"}));
    screen->mnuGrupo->trigger();

    // A click elsewhere in the row does not mark.
    goToGroup(*screen, "0000000003");
    const int row = int(listed(*screen->dm->cdsGrupo, "CDGRUPHOMOL").indexOf("0000000003"));
    const QRect name = screen->dbgPadrao->visualRect(
        screen->dbgPadrao->model()->index(row, screen->dbgPadrao->columnOfField("DSGRUPHOMOL")));
    QTest::mouseClick(screen->dbgPadrao->viewport(), Qt::LeftButton, {}, name.center());
    EXPECT_EQ(marked(*screen), QStringList({"0000000003"}));

    // Marks are local: the next read of the group list replaces them.
    screen->sbtVerificar->click();
    EXPECT_TRUE(marked(*screen).isEmpty());
    EXPECT_EQ(screen->dm->cdsGrupo->ChangeCount(), 0);
}

TEST_F(ScreenTest, MarkingAllGroupsAtOnce)
{
    auto screen = openScreen();
    screen->show();
    QApplication::processEvents();
    goToGroup(*screen, "0000000002");

    // From a clean list: every markable group of the first markable group's release; the
    // blocked group and the other release are skipped silently.
    const int opened = screen->dm->netGrupSoliHom.openCount();
    screen->dbgPadrao->OnTitleClick(*screen->dbgPadrao, screen->dbgPadrao->columnOfField("IDMARCADO"));
    EXPECT_EQ(marked(*screen), QStringList({"0000000003", "0000000007"}));
    EXPECT_EQ(screen->dm->codigoGrupo(), "0000000002") << "back on the group it started from";
    EXPECT_FALSE(screen->dm->cdsGrupo->ControlsDisabled());
    EXPECT_TRUE(ui.messages().isEmpty()) << ui.messages().join("; ").toStdString();
    // One modelling check per group up to the first markable one (3 of them), then one per
    // group listed (6); the walk reads no group's requests.
    EXPECT_EQ(screen->dm->netGrupSoliHom.openCount() - opened, 3 + 6);
    EXPECT_EQ(listed(*screen->dm->cdsSoli, "NRSOLISERV"), QStringList({"0000000105"}));

    // The first markable group is marked: all are unmarked.
    pressSpace(screen->dbgPadrao, Qt::ControlModifier);
    EXPECT_TRUE(marked(*screen).isEmpty());
    EXPECT_EQ(screen->dm->codigoGrupo(), "0000000002");

    // With a group of the other release marked first, only that release is marked.
    goToGroup(*screen, "0000000005");
    screen->dm->MarcaGrupo();
    ASSERT_EQ(marked(*screen), QStringList({"0000000005"}));
    goToGroup(*screen, "0000000001");
    screen->dm->MarcaTodosGrupos();
    EXPECT_TRUE(marked(*screen).isEmpty()) << "the first markable group was marked: the marks go";
    screen->dm->MarcaTodosGrupos();
    EXPECT_EQ(marked(*screen), QStringList({"0000000003", "0000000007"}));

    // Marking leaves the group save alone: nothing reached the server.
    EXPECT_EQ(valueAt(group("0000000003"), 0, "IDMARCADO"), "N");
    EXPECT_TRUE(ui.messages().isEmpty()) << ui.messages().join("; ").toStdString();
}

TEST_F(ScreenTest, MarkingStopsCleanlyWhenTheServerFails)
{
    auto screen = openScreen();
    goToGroup(*screen, "0000000004");
    serverDown();
    EXPECT_FALSE(host::runGuarded(
        [&] { screen->dbgPadrao->OnTitleClick(*screen->dbgPadrao, screen->dbgPadrao->columnOfField("IDMARCADO")); }));
    EXPECT_EQ(ui.messages().size(), 1);
    EXPECT_TRUE(marked(*screen).isEmpty());
    EXPECT_EQ(screen->dm->codigoGrupo(), "0000000004");
    EXPECT_FALSE(screen->dm->cdsGrupo->ControlsDisabled());
    ASSERT_TRUE(screen->dm->cdsGrupo->AfterPost) << "the group save is attached again";
    ASSERT_TRUE(screen->dm->cdsGrupo->AfterScroll);
    serverUp();
}

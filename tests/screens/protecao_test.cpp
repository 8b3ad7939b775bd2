// What the operator cannot lose on the homologation screen, nor do to the wrong group:
// an advance holds the screen and its group while the patch screen lets window events
// through, a row being typed is neither dropped nor redirected by a click, a refused save
// keeps what was typed, a failed read says so, and the cursor stays on the group worked on.

#include "screenenv.h"

#include "tools/import.h"

#include <QAction>
#include <QLabel>
#include <QMenuBar>
#include <QTabWidget>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

namespace {

// A group of the form-setting product at "002": its advance goes straight to generation.
const QByteArray kGroupToGenerate = R"({
  "products": [{"CDPRODUTO": "0000000003", "CDARVPROD": "F301", "NMPRODUTO": "Formulários", "CDFILIAL": "",
                "release": "301003"}],
  "requests": [{"CDFILIAL": "0001", "NRSOLISERV": "302", "DSREFESOLI": "Formulário novo", "CDPRODUTO": "0000000003"},
               {"CDFILIAL": "0001", "NRSOLISERV": "303", "DSREFESOLI": "Outro formulário", "CDPRODUTO": "0000000003"}],
  "groups": [{"CDGRUPHOMOL": "0000000008", "DSGRUPHOMOL": "Formulários novos", "CDPRODUTO": "0000000003",
              "IDSTGRUPHOM": "002", "requests": [{"CDFILIAL": "0001", "NRSOLISERV": "302"}]},
             {"CDGRUPHOMOL": "0000000009", "DSGRUPHOMOL": "Outros formulários", "CDPRODUTO": "0000000003",
              "IDSTGRUPHOM": "002", "requests": [{"CDFILIAL": "0001", "NRSOLISERV": "303"}]}]
})";

const QString kToGenerate = QStringLiteral("0000000008");

void clickRow(TDBGrid *grid, int row, const QString &field)
{
    const QRect cell = grid->visualRect(grid->model()->index(row, grid->columnOfField(field)));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
}

class ProtectionTest : public ScreenTest {
protected:
    void SetUp() override
    {
        ScreenTest::SetUp();
        if (IsSkipped())
            return;
        server::importDocument(db(), kGroupToGenerate);
        screen = openScreen();
        screen->show();
        QApplication::processEvents();
    }
    void TearDown() override
    {
        screen.reset();
        ScreenTest::TearDown();
    }
    QString phase(const QString &code) { return valueAt(group(code), 0, "IDSTGRUPHOM"); }

    std::unique_ptr<TfrmGrupSoliHom> screen;
};

}  // namespace

// While the patch screen runs (and processes window events), a click on another group, a
// second Avançar and closing the screen do nothing; the phase goes to the group advanced.
TEST_F(ProtectionTest, AnAdvanceHoldsTheScreenAndWritesOnItsOwnGroup)
{
    ASSERT_TRUE(screen->dm->LocalizaGrupo(kToGenerate));
    int generations = 0;
    screen->dm->GeraSolicitacoes = [&](const QString &list, const QString &, const QString &) {
        ++generations;
        EXPECT_EQ(list, "00010000000302\r\n");
        for (QWidget *part : {static_cast<QWidget *>(screen->dbgPadrao), static_cast<QWidget *>(screen->tlbPadrao),
                              static_cast<QWidget *>(screen->mnuPadrao), static_cast<QWidget *>(screen->dbnPadrao),
                              static_cast<QWidget *>(screen->tbtPendente)})
            EXPECT_FALSE(part->isEnabled()) << part->objectName().toStdString();
        clickRow(screen->dbgPadrao, 0, "DSGRUPHOMOL");
        screen->mnuAvancaFase->trigger();
        EXPECT_FALSE(screen->close());
        QApplication::processEvents();
        EXPECT_EQ(screen->dm->codigoGrupo(), kToGenerate);
        return true;
    };
    ui.clear();
    screen->mnuAvancaFase->trigger();
    EXPECT_EQ(generations, 1) << "no nested advance";
    EXPECT_EQ(phase(kToGenerate), "003");
    EXPECT_EQ(phase("0000000001"), "001");
    const QStringList shown = ui.messages();
    ASSERT_FALSE(shown.isEmpty());
    // The question names the group it moves, after its own text.
    EXPECT_EQ(shown[0], "Confirma a geração de patch das solicitações do grupo?\r\n\r\nGrupo: 0000000008 - Formulários novos");
    EXPECT_TRUE(shown.contains("Aguarde o fim da operação em andamento para fechar a tela."));
    EXPECT_EQ(shown.last(), "Tramitação realizada com sucesso.");
    EXPECT_TRUE(screen->dbgPadrao->isEnabled());
    EXPECT_TRUE(screen->isVisible());
    EXPECT_EQ(screen->dm->codigoGrupo(), kToGenerate) << "the cursor stays on the group advanced";
}

// Patch generation that moves the list, or filters the group out of it, leaves the phase to
// the group the advance planned, by its code; no other group gets it.
TEST_F(ProtectionTest, ThePhaseIsWrittenOnlyOnTheGroupAdvanced)
{
    const struct {
        const char *what, *code;
        std::function<void(TfrmGrupSoliHom &)> during;
        const char *phase;
    } cases[] = {
        {"list moved", "0000000008", [](TfrmGrupSoliHom &s) { ASSERT_TRUE(s.dm->LocalizaGrupo("0000000001")); }, "003"},
        {"group filtered out", "0000000009", [](TfrmGrupSoliHom &s) { s.dm->cdsGrupo->ApplyFilter("IDSTGRUPHOM = '001'"); },
         "003"},
    };
    for (const auto &c : cases) {
        const QString code = QString::fromLatin1(c.code);
        ASSERT_TRUE(screen->dm->LocalizaGrupo(code)) << c.what;
        screen->dm->GeraSolicitacoes = [&](const QString &, const QString &, const QString &) {
            c.during(*screen);
            return true;
        };
        ui.clear();
        screen->mnuAvancaFase->trigger();
        EXPECT_EQ(phase(code), c.phase) << c.what;
        EXPECT_EQ(phase("0000000001"), "001") << c.what;
        EXPECT_EQ(ui.messages().last(), "Tramitação realizada com sucesso.") << c.what;
        screen->tbtPendenteClick();
    }
}

// Incluir's row is at the end, in view; a click elsewhere asks before dropping it and No
// keeps it; typing into a row that is browsed puts it in edit where the commands show it.
TEST_F(ProtectionTest, ARowBeingTypedIsNeitherDroppedNorRedirected)
{
    Dataset *groups = screen->dm->cdsGrupo;
    const int count = groups->RecordCount();
    screen->sbtIncluir->click();
    ASSERT_EQ(groups->State(), dsInsert);
    EXPECT_EQ(groups->gridCurrentRow(), count) << "the new row comes last";
    EXPECT_EQ(screen->dbgPadrao->SelectedField(), "DSGRUPHOMOL");
    EXPECT_TRUE(screen->dbgPadrao->visualRect(screen->dbgPadrao->currentIndex()).isValid());

    ui.clear();
    ui.answer(mbNo);
    clickRow(screen->dbgPadrao, 0, "DSGRUPHOMOL");
    EXPECT_EQ(ui.messages(), QStringList({"Confirma o cancelamento das alterações?\r\n\r\nGrupo novo, ainda sem nome"}));
    EXPECT_EQ(groups->State(), dsInsert);
    EXPECT_EQ(groups->gridCurrentRow(), count);
    ui.answer(mbYes);
    clickRow(screen->dbgPadrao, 1, "DSGRUPHOMOL");
    EXPECT_EQ(groups->State(), dsBrowse);
    EXPECT_EQ(groups->RecordCount(), count);
    EXPECT_EQ(groups->gridCurrentRow(), 1);

    // Typing on a browsed row: the row goes into edit, Confirmar and Cancelar come on.
    const QString name = screen->dm->grupo("DSGRUPHOMOL");
    screen->dbgPadrao->setFocus();
    QTest::keyClick(screen->dbgPadrao, Qt::Key_X);
    EXPECT_EQ(groups->State(), dsEdit);
    EXPECT_TRUE(screen->mnuConfirmar->isEnabled());
    EXPECT_FALSE(screen->mnuAvancaFase->isEnabled());
    ui.answer(mbYes);
    screen->sbtCancelar->click();
    EXPECT_EQ(groups->State(), dsBrowse);
    EXPECT_EQ(valueAt(group("0000000002"), 0, "DSGRUPHOMOL"), name);
    EXPECT_EQ(groups->ChangeCount(), 0);

    // Tab goes from one column that takes typing to the next, skipping the read-only ones.
    screen->dbgPadrao->setCurrentIndex(screen->dbgPadrao->model()->index(0, screen->dbgPadrao->columnOfField("DSGRUPHOMOL")));
    QTest::keyClick(screen->dbgPadrao, Qt::Key_Tab);
    EXPECT_EQ(screen->dbgPadrao->SelectedField(), "CDARVPROD");
    QTest::keyClick(screen->dbgPadrao, Qt::Key_Backtab);
    EXPECT_EQ(screen->dbgPadrao->SelectedField(), "DSGRUPHOMOL");
}

// A save that the stopped server refuses keeps the typed name in the row, in edit, and
// says so; once the server is back it is saved and the cursor stays on the group.
TEST_F(ProtectionTest, ARefusedSaveKeepsWhatWasTyped)
{
    ASSERT_TRUE(screen->dm->LocalizaGrupo("0000000002"));
    screen->sbtAlterar->click();
    screen->dm->cdsGrupo->FieldByName("DSGRUPHOMOL").setAsString("Importação revista");
    serverDown();
    ui.clear();
    screen->sbtConfirmar->click();
    // The check of the product cannot reach the server either: the row is not posted.
    ASSERT_EQ(ui.messages().size(), 1);
    EXPECT_TRUE(ui.messages()[0].startsWith("Não foi possível conectar ao servidor de aplicação"));
    EXPECT_TRUE(ui.messages()[0].endsWith("\r\n\r\nAs alterações não foram gravadas. Os valores digitados continuam na "
                                          "linha: corrija-os ou confirme de novo, ou cancele a alteração."))
        << ui.messages()[0].toStdString();
    EXPECT_EQ(screen->dm->cdsGrupo->State(), dsEdit);
    EXPECT_EQ(screen->dm->codigoGrupo(), "0000000002");
    EXPECT_EQ(screen->dm->grupo("DSGRUPHOMOL"), "Importação revista");
    EXPECT_TRUE(screen->mnuConfirmar->isEnabled());

    serverUp();
    ui.clear();
    screen->sbtConfirmar->click();
    EXPECT_TRUE(ui.messages().isEmpty()) << ui.messages().join("; ").toStdString();
    EXPECT_EQ(valueAt(group("0000000002"), 0, "DSGRUPHOMOL"), "Importação revista");
    EXPECT_EQ(screen->dm->codigoGrupo(), "0000000002") << "the cursor stays on the group saved";

    // A new group: the cursor goes to it once the server has given it its code.
    screen->sbtIncluir->click();
    screen->dm->cdsGrupo->FieldByName("DSGRUPHOMOL").setAsString("Grupo de maio");
    ui.answerPick("CDARVPROD", "P501");
    screen->dbgPadraoEditButtonClick();
    screen->sbtConfirmar->click();
    EXPECT_EQ(screen->dm->grupo("DSGRUPHOMOL"), "Grupo de maio");
    EXPECT_EQ(screen->dm->codigoGrupo().size(), 10);
}

// A page whose rows could not be read says so instead of counting none, and takes no
// editing command until a read succeeds.
TEST_F(ProtectionTest, APageThatCouldNotBeReadSaysSo)
{
    ASSERT_TRUE(screen->dm->LocalizaGrupo("0000000001"));
    screen->pgcPadrao->setCurrentWidget(screen->tshSoli);
    ASSERT_EQ(screen->lblQtdeSoli->text(), "3");
    ASSERT_TRUE(screen->mnuIncluir->isEnabled());
    serverDown();
    screen->sbtVerificar->click();
    EXPECT_EQ(screen->lblQtdeSoli->text(), "não lido");
    EXPECT_TRUE(screen->lblLeitura->isVisible());
    EXPECT_FALSE(screen->mnuIncluir->isEnabled());
    EXPECT_FALSE(screen->mnuExcluir->isEnabled());
    serverUp();
    screen->sbtVerificar->click();
    EXPECT_EQ(screen->lblQtdeSoli->text(), "3");
    EXPECT_FALSE(screen->lblLeitura->isVisible());
    EXPECT_TRUE(screen->mnuIncluir->isEnabled());
}

// Excluir names what it removes; the commands have their shortcuts, each its own, and
// Avançar its caption.
TEST_F(ProtectionTest, QuestionsNameTheirGroupAndCommandsHaveShortcuts)
{
    ASSERT_TRUE(screen->dm->LocalizaGrupo("0000000001"));
    ui.clear();
    ui.answer(mbNo);
    screen->sbtExcluir->click();
    EXPECT_EQ(ui.messages(), QStringList({"Confirma exclusão?\r\n\r\nGrupo: 0000000001 - Correções de março"}));

    EXPECT_EQ(screen->btfAvancaFase->text(), "Avançar");
    EXPECT_NE(screen->btfAvancaFase->toolButtonStyle(), Qt::ToolButtonIconOnly);
    QStringList keys;
    for (QAction *action : {screen->mnuIncluir, screen->mnuAlterar, screen->mnuExcluir, screen->mnuProcurar,
                            screen->mnuVerificar, screen->mnuConfirmar, screen->mnuCancelar, screen->mnuAvancaFase,
                            screen->mnuFechar}) {
        EXPECT_FALSE(action->shortcut().isEmpty()) << action->objectName().toStdString();
        keys << action->shortcut().toString();
    }
    keys.removeDuplicates();
    EXPECT_EQ(keys.size(), 9);
}

// The initial load answers the requests of the first group by code: a list whose filter
// puts another group first keeps that group's own requests.
TEST_F(ProtectionTest, TheInitialLoadShowsTheCurrentGroupsRequests)
{
    screen->tbtPendente->setChecked(false);
    screen->tbtAndamento->setChecked(false);
    screen->tbtHomologado->setChecked(true);
    screen->tbtPendenteClick();
    ASSERT_EQ(screen->dm->codigoGrupo(), "0000000006");
    screen->sbtVerificar->click();
    EXPECT_EQ(screen->dm->codigoGrupo(), "0000000006");
    EXPECT_EQ(listed(*screen->dm->cdsSoli, "NRSOLISERV"), QStringList({"0000000301"}));
}

// A new request row at "001": its decision flags take no typing, whichever column the
// cursor is on.
TEST_F(ProtectionTest, DecisionFlagsTakeNoTypingOutsideTheTests)
{
    ASSERT_TRUE(screen->dm->LocalizaGrupo("0000000001"));
    screen->pgcPadrao->setCurrentWidget(screen->tshSoli);
    screen->sbtIncluir->click();
    ASSERT_EQ(screen->dm->cdsSoli->State(), dsInsert);
    DatasetModel *model = screen->dbgSoli->datasetModel();
    const int row = screen->dm->cdsSoli->gridCurrentRow();
    for (const char *flag : {"IDHOMOLSOL", "IDENCSOLPATCREG", "IDRETSOLERROPRO"}) {
        screen->dbgSoli->setCurrentIndex(model->index(row, model->columnOfField(flag)));
        EXPECT_FALSE(model->flags(model->index(row, model->columnOfField(flag))) & Qt::ItemIsEditable) << flag;
        QTest::keyClick(screen->dbgSoli, Qt::Key_S);
        EXPECT_NE(screen->dm->cdsSoli->FieldByName(flag).AsString(), "S") << flag;
    }
    ui.answer(mbYes);
    screen->sbtCancelar->click();
}

// A request row read from the server is changed only in a decision flag, and only while its
// group is under test ("006"): an edit anywhere else, however it began, is undone at once.
TEST_F(ProtectionTest, ARequestRowIsEditedOnlyInADecisionAt006)
{
    const struct {
        const char *group, *column;
        bool staysInEdit;
    } cases[] = {
        {"0000000001", "IDHOMOLSOL", false},      {"0000000001", "IDRETSOLERROPRO", false},
        {"0000000002", "IDENCSOLPATCREG", false}, {"0000000007", "NRPRIOSOLI", false},
        {"0000000007", "TXOBSOLIGER", false},     {"0000000007", "IDHOMOLSOL", true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.group) + " " + c.column);
        screen->pgcPadrao->setCurrentWidget(screen->tshPadrao);
        ASSERT_TRUE(screen->dm->LocalizaGrupo(c.group));
        screen->pgcPadrao->setCurrentWidget(screen->tshSoli);
        Dataset *requests = screen->dm->cdsSoli;
        ASSERT_FALSE(requests->IsEmpty());
        screen->dbgSoli->setSelectedIndex(screen->dbgSoli->columnOfField(c.column));
        requests->Edit();
        EXPECT_EQ(requests->State(), c.staysInEdit ? dsEdit : dsBrowse);
        requests->Cancel();
    }
}

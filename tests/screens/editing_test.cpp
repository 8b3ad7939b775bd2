// Editing on the homologation screen against the embedded server: creating and changing
// groups, adding and removing requests with their validations, the decision flags with
// their justification, two operators on the same request, and what the screen does with a
// row still being typed.

#include "screenenv.h"

#include "host/guard.h"
#include "module/exports.h"
#include "tools/import.h"
#include "workflow/frmjusthomol.h"

#include <QAction>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>

namespace {

// Requests to add: 123 and 126 of the lowest patch of release 5.01 (126 shares a work item
// with 101 and 102); 127 of a patch above 105's and 128's, which are still to be homologated.
const QByteArray kRequestsToAdd = R"({"requests": [
  {"CDFILIAL": "0001", "NRSOLISERV": "123", "DSREFESOLI": "Ajuste de layout", "TXOBSOLIGER": "Tela de vendas",
   "CDPRODUTO": "0000000001", "CDRELEASESOLI": "501019"},
  {"CDFILIAL": "0001", "NRSOLISERV": "126", "DSREFESOLI": "Mesma tarefa", "CDPRODUTO": "0000000001",
   "CDRELEASESOLI": "501019",
   "workItems": [{"NRTAREFA": "0000000011", "NRPLATIVTARE": "00001"}]},
  {"CDFILIAL": "0001", "NRSOLISERV": "127", "DSREFESOLI": "Patch novo", "CDPRODUTO": "0000000001", "CDRELEASESOLI": "501023"},
  {"CDFILIAL": "0001", "NRSOLISERV": "128", "DSREFESOLI": "Patch antigo", "CDPRODUTO": "0000000001", "CDRELEASESOLI": "501021",
   "CDOPERRESP": "DEV1"}
]})";

class EditingTest : public ScreenTest {
protected:
    void SetUp() override
    {
        ScreenTest::SetUp();
        if (IsSkipped())
            return;
        server::importDocument(db(), kRequestsToAdd);
    }

    // The screen shown, on a group's page.
    std::unique_ptr<TfrmGrupSoliHom> openOn(const QString &code, bool requestsPage)
    {
        auto screen = openScreen();
        screen->show();
        QApplication::processEvents();
        if (!screen->dm->LocalizaGrupo(code))
            ADD_FAILURE() << code.toStdString();
        if (requestsPage)
            screen->pgcPadrao->setCurrentWidget(screen->tshSoli);
        return screen;
    }

    // Decisions justified by script: the calls, and a text stored on the server for each.
    void scriptJustification(TfrmGrupSoliHom &screen, QStringList *calls, const QString &text = "Justificada")
    {
        screen.dm->CriaJustificativa = [this, calls, text](const QString &f, const QString &g, const QString &s,
                                                           const QString &o) {
            calls->append(QStringList{f, g, s, o}.join('/'));
            QString ff = f, gg = g, ss = s, oo = o;
            ok("setInsereJustificativa", args({ff, gg, ss, oo, text}));
        };
    }

    QString justification(const QString &group, const QString &number)
    {
        const packet::Packet rows = packetOf(ok("getVdJustificativa", args({QString("0001"), group, number})));
        return rows.rows.isEmpty() ? QString() : valueAt(rows, 0, "DSALTPROCHOMOL");
    }

    QString storedFlag(const QString &group, const QString &number, const QString &flag)
    {
        const packet::Packet rows = packetOf(ok("GetSoli", args({group})));
        return valueAt(rows, rowWhere(rows, "NRSOLISERV", number), flag);
    }
};

void clickCell(TDBGrid *grid, int row, const QString &field)
{
    const QRect cell = grid->visualRect(grid->model()->index(row, grid->columnOfField(field)));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
}

// Puts the grid's cursor on a column of the current row, then on another: the column is left.
void leaveColumn(TDBGrid *grid, const QString &field, const QString &next)
{
    const int row = grid->dataSet()->gridCurrentRow();
    grid->setCurrentIndex(grid->model()->index(row, grid->columnOfField(field)));
    grid->setCurrentIndex(grid->model()->index(row, grid->columnOfField(next)));
}

// HOMOLOGA_SCREENSHOT=/tmp/x.png saves the named moments beside it (/tmp/x-name.png).
void saveScreenshot(QWidget *widget, const char *name)
{
    if (const QString path = qEnvironmentVariable("HOMOLOGA_SCREENSHOT"); !path.isEmpty())
        widget->grab().save(QString(path).replace(".png", QStringLiteral("-%1.png").arg(QString::fromLatin1(name))));
}

QString field(Dataset *dataset, const char *name) { return dataset->FieldByName(QString::fromLatin1(name)).AsString(); }

void set(Dataset *dataset, const char *name, const QString &value)
{
    dataset->FieldByName(QString::fromLatin1(name)).setAsString(value);
}

}  // namespace

TEST_F(EditingTest, CreatingAGroup)
{
    auto screen = openOn("0000000001", false);
    Dataset *groups = screen->dm->cdsGrupo;
    const int before = groups->RecordCount();

    // Each stop shows its text, and the group list's pending changes (the new row among
    // them) are discarded.
    struct Case {
        QString name, product, message;
    };
    for (const Case &c : {Case{"", "P501", "Nome do grupo deve ser informado."},
                          Case{"   ", "P501", "Nome do grupo deve ser informado."},
                          Case{"Novo grupo", "", "Produto deve ser informado."},
                          Case{"Novo grupo", "X999", "Produto inválido."}}) {
        ui.clear();
        screen->sbtIncluir->click();
        ASSERT_EQ(groups->State(), dsInsert);
        EXPECT_EQ(field(groups, "IDSTGRUPHOM"), "001");
        set(groups, "DSGRUPHOMOL", c.name);
        set(groups, "CDARVPROD", c.product);
        screen->sbtConfirmar->click();
        EXPECT_EQ(ui.messages(), QStringList({c.message + "\r\n\r\nAs alterações dos grupos que não tinham sido gravadas "
                                                          "foram descartadas."}))
            << c.name.toStdString() << "/" << c.product.toStdString();
        EXPECT_EQ(groups->State(), dsBrowse);
        EXPECT_EQ(groups->RecordCount(), before);
        EXPECT_EQ(groups->ChangeCount(), 0);
    }

    // The product typed is validated when the column is left and takes the product's data.
    ui.clear();
    screen->sbtIncluir->click();
    set(groups, "DSGRUPHOMOL", "Novo grupo");
    set(groups, "CDARVPROD", "p501");
    leaveColumn(screen->dbgPadrao, "CDARVPROD", "DSGRUPHOMOL");
    EXPECT_TRUE(ui.messages().isEmpty()) << ui.messages().join("; ").toStdString();
    EXPECT_EQ(field(groups, "NMPRODUTO"), "Retaguarda");
    EXPECT_EQ(field(groups, "CDPRODUTO"), "0000000001");

    // Chosen from the pick list instead.
    ui.answerPick("CDARVPROD", "P1501");
    screen->dbgPadrao->OnEditButtonClick(*screen->dbgPadrao);
    EXPECT_EQ(ui.shown().last().kind, ScriptedHostUi::Shown::Kind::PickList);
    EXPECT_EQ(ui.shown().last().text, "Produto");
    EXPECT_EQ(field(groups, "CDARVPROD"), "P1501");
    EXPECT_EQ(field(groups, "NMPRODUTO"), "Portal");
    ui.clear();
    screen->sbtConfirmar->click();
    EXPECT_TRUE(ui.messages().isEmpty()) << ui.messages().join("; ").toStdString();
    const packet::Packet all = packetOf(ok("getGrupo", args({QString()})));
    const int saved = rowWhere(all, "DSGRUPHOMOL", "Novo grupo");
    ASSERT_GE(saved, 0);
    EXPECT_EQ(valueAt(all, saved, "CDPRODUTO"), "0000000002");
    EXPECT_EQ(valueAt(all, saved, "IDSTGRUPHOM"), "001");
    EXPECT_EQ(groups->RecordCount(), before + 1);
    EXPECT_TRUE(screen->dbnPadrao->isEnabled());
    saveScreenshot(screen.get(), "grupo-criado");
}

TEST_F(EditingTest, TheProductOfAGroupWithRequestsStays)
{
    auto screen = openOn("0000000001", false);
    Dataset *groups = screen->dm->cdsGrupo;
    const QString refused = "Não é permitido alterar o produto de um grupo que já esteja associado a solicitações.";
    screen->sbtAlterar->click();
    set(groups, "DSGRUPHOMOL", "Correções de abril");
    set(groups, "CDARVPROD", "P1501");
    // Refused on leaving the column: the row stays in edit to be corrected.
    leaveColumn(screen->dbgPadrao, "CDARVPROD", "DSGRUPHOMOL");
    EXPECT_EQ(ui.messages(), QStringList({refused}));
    EXPECT_EQ(groups->State(), dsEdit);
    // Refused again on post: the pending changes of the group list are discarded.
    ui.clear();
    screen->sbtConfirmar->click();
    EXPECT_EQ(ui.messages(), QStringList({refused + "\r\n\r\nAs alterações dos grupos que não tinham sido gravadas "
                                                    "foram descartadas."}));
    EXPECT_EQ(groups->State(), dsBrowse);
    EXPECT_EQ(field(groups, "DSGRUPHOMOL"), "Correções de março");
    EXPECT_EQ(valueAt(group("0000000001"), 0, "CDPRODUTO"), "0000000001");

    // The name alone may change; so may the product of a group without requests.
    ui.clear();
    screen->sbtAlterar->click();
    set(groups, "DSGRUPHOMOL", "Correções de abril");
    screen->sbtConfirmar->click();
    EXPECT_EQ(valueAt(group("0000000001"), 0, "DSGRUPHOMOL"), "Correções de abril");
    const QString empty = createGroup("Vazio");
    screen->sbtVerificar->click();
    ASSERT_TRUE(screen->dm->LocalizaGrupo(empty));
    screen->sbtAlterar->click();
    set(groups, "CDARVPROD", "P1501");
    screen->sbtConfirmar->click();
    EXPECT_TRUE(ui.messages().isEmpty()) << ui.messages().join("; ").toStdString();
    EXPECT_EQ(valueAt(group(empty), 0, "CDPRODUTO"), "0000000002");
}

TEST_F(EditingTest, AddingARequest)
{
    auto screen = openOn("0000000001", true);
    Dataset *requests = screen->dm->cdsSoli;
    EXPECT_EQ(screen->lblQtdeSoli->text(), "3");

    screen->sbtIncluir->click();
    ASSERT_EQ(requests->State(), dsInsert);
    EXPECT_EQ(field(requests, "IDSTSOLIGRUP"), "001");
    EXPECT_EQ(field(requests, "CDFILIAL"), "0001");
    EXPECT_EQ(field(requests, "CDGRUPHOMOL"), "0000000001");
    EXPECT_FALSE(screen->dbnPadrao->isEnabled()) << "no move to another group with a row pending";
    // 123 typed: zero-filled and completed when the column is left, saved as 0000000123.
    set(requests, "NRSOLISERV", "123");
    leaveColumn(screen->dbgSoli, "NRSOLISERV", "NMOPERADOR");
    EXPECT_EQ(field(requests, "NRSOLISERV"), "0000000123");
    EXPECT_EQ(field(requests, "DSREFESOLI"), "Ajuste de layout");
    EXPECT_EQ(field(requests, "TXOBSOLIGER"), "Tela de vendas");
    screen->sbtConfirmar->click();
    EXPECT_TRUE(ui.messages().isEmpty()) << ui.messages().join("; ").toStdString();
    EXPECT_EQ(requests->ChangeCount(), 0);
    EXPECT_TRUE(column(ok("GetSoli", args({QString("0000000001")})), "NRSOLISERV").contains("0000000123"));
    EXPECT_EQ(screen->lblQtdeSoli->text(), "4");
    EXPECT_TRUE(screen->dbnPadrao->isEnabled());

    // A request that shares a work item with others: the operator is told, and it is saved.
    screen->sbtIncluir->click();
    set(requests, "NRSOLISERV", "126");
    screen->sbtConfirmar->click();
    EXPECT_EQ(ui.messages(), QStringList({"As seguintes solicitações possuem item de trabalho comuns aos itens existentes "
                                          "da solicitação incluída:\r\n\r\n0000000101 - Corrige o cálculo\r\n0000000102 - "
                                          "Nova tela"}));
    const auto box = std::find_if(ui.shown().begin(), ui.shown().end(),
                                  [](const ScriptedHostUi::Shown &s) { return s.kind == ScriptedHostUi::Shown::Kind::Message; });
    ASSERT_NE(box, ui.shown().end());
    EXPECT_EQ(box->type, DialogType::Information);
    EXPECT_EQ(box->buttons, int(mbOK));
    EXPECT_TRUE(column(ok("GetSoli", args({QString("0000000001")})), "NRSOLISERV").contains("0000000126"));
    saveScreenshot(screen.get(), "solicitacao-incluida");

    // Chosen from the pick list of the product's free requests.
    ui.clear();
    ui.answerPick("NRSOLISERV", "0000000127");
    screen->dbgSoli->OnEditButtonClick(*screen->dbgSoli);
    EXPECT_EQ(ui.shown().last().text, "Solicitação");
    ASSERT_EQ(requests->State(), dsInsert);
    EXPECT_EQ(field(requests, "DSREFESOLI"), "Patch novo");
    ui.clear();
    // ...but 127 carries a higher patch of a release with 105 and 128 still to homologate.
    screen->sbtConfirmar->click();
    ASSERT_EQ(ui.messages().size(), 1);
    EXPECT_TRUE(ui.messages()[0].startsWith("Existem solicitações com patch menor a serem homologadas:\r\n\r\n0000000105 - "))
        << ui.messages()[0].toStdString();
    EXPECT_TRUE(ui.messages()[0].contains("\r\n0000000128 - Carla Desenvolvedora - "));
    EXPECT_EQ(requests->State(), dsInsert) << "left for the operator to correct";
    EXPECT_FALSE(column(ok("GetSoli", args({QString("0000000001")})), "NRSOLISERV").contains("0000000127"));

    // Cancelar asks, then reads the page again.
    ui.clear();
    ui.answer(mbYes);
    screen->sbtCancelar->click();
    ASSERT_EQ(ui.messages().size(), 1);
    EXPECT_TRUE(ui.messages()[0].startsWith("Confirma o cancelamento das alterações?\r\n\r\n")) << ui.messages()[0].toStdString();
    EXPECT_EQ(requests->State(), dsBrowse);
    EXPECT_EQ(requests->RecordCount(), 5);

    // Excluir asks, then the request leaves the group on the server.
    ui.clear();
    ASSERT_TRUE(requests->Locate("NRSOLISERV", "0000000123"));
    ui.answer(mbYes);
    screen->sbtExcluir->click();
    ASSERT_EQ(ui.messages().size(), 1);
    EXPECT_TRUE(ui.messages()[0].startsWith("Confirma exclusão?\r\n\r\n")) << ui.messages()[0].toStdString();
    EXPECT_FALSE(column(ok("GetSoli", args({QString("0000000001")})), "NRSOLISERV").contains("0000000123"));
    EXPECT_EQ(screen->lblQtdeSoli->text(), "4");
}

TEST_F(EditingTest, RequestsThatCannotBeAdded)
{
    auto screen = openOn("0000000001", true);
    Dataset *requests = screen->dm->cdsSoli;
    struct Case {
        QString number, message;
    };
    for (const Case &c : {Case{"106", "Inclusão não permitida.\r\n\r\nSolicitação já está incluída no grupo \"0000000003 - "
                                      "Em teste\""},
                          Case{"999", "Solicitação não existe ou está fora da fase de tramitação correta."},
                          Case{"201", "Solicitação não existe ou está fora da fase de tramitação correta."},  // other product
                          Case{"", "Solicitação deve ser informada."}}) {
        ui.clear();
        screen->sbtIncluir->click();
        set(requests, "NRSOLISERV", c.number);
        screen->sbtConfirmar->click();
        EXPECT_EQ(ui.messages(), QStringList({c.message})) << c.number.toStdString();
        EXPECT_EQ(requests->State(), dsInsert) << "the row stays to be corrected";
        requests->Cancel();
    }
    EXPECT_EQ(column(ok("GetSoli", args({QString("0000000001")})), "NRSOLISERV"),
              QStringList({"0000000101", "0000000102", "0000000107"}));

    // A product whose requests are all taken has none to offer.
    const QString portal = createGroup("Portal 2", "0000000002");
    screen->pgcPadrao->setCurrentWidget(screen->tshPadrao);
    screen->sbtVerificar->click();
    ASSERT_TRUE(screen->dm->LocalizaGrupo(portal));
    screen->pgcPadrao->setCurrentWidget(screen->tshSoli);
    ui.clear();
    EXPECT_FALSE(host::runGuarded([&] { screen->dbgSoli->OnEditButtonClick(*screen->dbgSoli); }));
    EXPECT_EQ(ui.messages(), QStringList({"Não há solicitações disponíveis para este grupo de solicitações."}));
    EXPECT_EQ(requests->State(), dsBrowse);
}

TEST_F(EditingTest, DecisionFlagsOneAtATimeEachJustified)
{
    auto screen = openOn("0000000007", true);
    QStringList calls;
    scriptJustification(*screen, &calls);
    Dataset *requests = screen->dm->cdsSoli;
    const auto flags = [&] {
        return field(requests, "IDHOMOLSOL") + field(requests, "IDENCSOLPATCREG") + field(requests, "IDRETSOLERROPRO");
    };
    ASSERT_EQ(flags(), "NNN");

    // Set: justified, then saved.
    clickCell(screen->dbgSoli, 0, "IDHOMOLSOL");
    EXPECT_EQ(calls, QStringList({"0001/0000000007/0000000108/0001"}));
    EXPECT_EQ(flags(), "SNN");
    EXPECT_EQ(requests->State(), dsBrowse);
    EXPECT_EQ(requests->ChangeCount(), 0);
    EXPECT_EQ(storedFlag("0000000007", "0000000108", "IDHOMOLSOL"), "S");
    EXPECT_EQ(justification("0000000007", "0000000108"), "Justificada");

    // Another flag while one is set: nothing changes.
    clickCell(screen->dbgSoli, 0, "IDENCSOLPATCREG");
    EXPECT_EQ(flags(), "SNN");
    EXPECT_EQ(calls.size(), 1);
    EXPECT_EQ(storedFlag("0000000007", "0000000108", "IDENCSOLPATCREG"), "N");

    // The set flag clicked again: cleared, its justification deleted on the server.
    clickCell(screen->dbgSoli, 0, "IDHOMOLSOL");
    EXPECT_EQ(flags(), "NNN");
    EXPECT_EQ(calls.size(), 1);
    EXPECT_EQ(storedFlag("0000000007", "0000000108", "IDHOMOLSOL"), "N");
    EXPECT_EQ(justification("0000000007", "0000000108"), "");

    // An earlier justification left on the server goes before the dialog opens.
    ok("setInsereJustificativa", args({QString("0001"), QString("0000000007"), QString("0000000108"), QString("0001"),
                                       QString("antiga")}));
    QString seenByDialog = "?";
    screen->dm->CriaJustificativa = [&](const QString &, const QString &g, const QString &s, const QString &) {
        seenByDialog = justification(g, s);
    };
    clickCell(screen->dbgSoli, 0, "IDRETSOLERROPRO");
    EXPECT_EQ(seenByDialog, "");
    EXPECT_EQ(flags(), "NNS");

    // A dialog left without a justification leaves the decision as it was.
    clickCell(screen->dbgSoli, 0, "IDRETSOLERROPRO");
    ASSERT_EQ(flags(), "NNN");
    screen->dm->CriaJustificativa = [](const QString &, const QString &, const QString &, const QString &) { Abort(); };
    clickCell(screen->dbgSoli, 0, "IDENCSOLPATCREG");
    EXPECT_EQ(flags(), "NNN");
    EXPECT_EQ(requests->State(), dsBrowse);
    EXPECT_EQ(storedFlag("0000000007", "0000000108", "IDENCSOLPATCREG"), "N");
    EXPECT_TRUE(ui.messages().isEmpty()) << ui.messages().join("; ").toStdString();

    // Only under test ("006"): a pending or generated group's flags do not move.
    for (const char *code : {"0000000001", "0000000002"}) {
        screen->pgcPadrao->setCurrentWidget(screen->tshPadrao);
        ASSERT_TRUE(screen->dm->LocalizaGrupo(code));
        screen->pgcPadrao->setCurrentWidget(screen->tshSoli);
        scriptJustification(*screen, &calls);
        const QString before = flags();
        clickCell(screen->dbgSoli, 0, "IDHOMOLSOL");
        EXPECT_EQ(flags(), before) << code;
        EXPECT_EQ(requests->State(), dsBrowse) << code;
        EXPECT_EQ(calls.size(), 1) << code;
    }
}

TEST_F(EditingTest, ADecisionWithTheJustificationDialog)
{
    auto screen = openOn("0000000007", true);
    bool typed = false;
    QTimer::singleShot(0, [&] {
        if (!frmJustHomol)
            return;
        EXPECT_EQ(stSoli, "0000000108");
        // Opened and activated: confirm waits for a text.
        EXPECT_TRUE(QTest::qWaitFor([] { return !frmJustHomol->sbtConfirma->isEnabled(); }, 2000));
        QTest::keyClicks(frmJustHomol->redJustificativa, "Regerar: falta o script");
        saveScreenshot(frmJustHomol, "justificativa");
        ui.answer(mbYes);
        frmJustHomol->sbtConfirma->click();
        typed = true;
        if (frmJustHomol && frmJustHomol->isVisible()) {
            ADD_FAILURE() << "the dialog stayed open";
            frmJustHomol->QDialog::done(QDialog::Rejected);
        }
    });
    screen->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(screen.get()));
    clickCell(screen->dbgSoli, 0, "IDENCSOLPATCREG");
    EXPECT_TRUE(typed);
    // The keys go back to the grid the decision was made in.
    EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::focusWidget() == screen->dbgSoli; }, 1000));
    EXPECT_EQ(ui.messages(), QStringList({"Confirmar Operação ?"}));
    EXPECT_EQ(storedFlag("0000000007", "0000000108", "IDENCSOLPATCREG"), "S");
    EXPECT_EQ(justification("0000000007", "0000000108"), "Regerar: falta o script");
}

TEST_F(EditingTest, TwoOperatorsDecideTheSameRequest)
{
    auto first = openOn("0000000007", true);
    auto second = openOn("0000000007", true);
    QStringList firstCalls, secondCalls;
    scriptJustification(*first, &firstCalls, "Primeira");
    scriptJustification(*second, &secondCalls, "Segunda");

    clickCell(first->dbgSoli, 0, "IDHOMOLSOL");
    ASSERT_EQ(storedFlag("0000000007", "0000000108", "IDHOMOLSOL"), "S");

    // The second operator's screen still shows the request undecided: the click is refused
    // before anything is changed on the server.
    clickCell(second->dbgSoli, 0, "IDRETSOLERROPRO");
    ASSERT_EQ(ui.messages().size(), 1);
    EXPECT_TRUE(ui.messages()[0].startsWith("A solicitação 0001/0000000108 do grupo 0000000007 foi alterada por outro "
                                            "operador"))
        << ui.messages()[0].toStdString();
    EXPECT_TRUE(secondCalls.isEmpty());
    EXPECT_EQ(field(second->dm->cdsSoli, "IDRETSOLERROPRO"), "N");
    EXPECT_EQ(storedFlag("0000000007", "0000000108", "IDRETSOLERROPRO"), "N");
    EXPECT_EQ(justification("0000000007", "0000000108"), "Primeira");

    // Read again, the second operator clears it; meanwhile (while the justification is
    // written) the first one's change reaches the server: the save is refused, naming the
    // request, and the second operator's change stays on the screen.
    second->sbtVerificar->click();
    ASSERT_EQ(field(second->dm->cdsSoli, "IDHOMOLSOL"), "S");
    ui.clear();
    second->dm->CriaJustificativa = [](const QString &, const QString &, const QString &, const QString &) {};
    first->dm->CriaJustificativa = [](const QString &, const QString &, const QString &, const QString &) {};
    bool raced = false;
    second->dm->cdsSoli->BeforePost = [&, previous = second->dm->cdsSoli->BeforePost](Dataset &dataset) {
        previous(dataset);
        if (!raced) {
            raced = true;
            const packet::Packet stored = packetOf(ok("GetSoli", args({QString("0000000007")})));
            ok("setSoli", args({modifyDelta(stored, 0, {{"IDHOMOLSOL", "N"}, {"IDRETSOLERROPRO", "S"}}).toJson()}));
        }
    };
    clickCell(second->dbgSoli, 0, "IDHOMOLSOL");
    ASSERT_EQ(ui.messages().size(), 1);
    EXPECT_TRUE(ui.messages()[0].contains("0001/0000000108 do grupo 0000000007")) << ui.messages()[0].toStdString();
    EXPECT_EQ(field(second->dm->cdsSoli, "IDHOMOLSOL"), "N") << "the operator's change is kept";
    EXPECT_EQ(second->dm->cdsSoli->ChangeCount(), 1);
    EXPECT_EQ(storedFlag("0000000007", "0000000108", "IDRETSOLERROPRO"), "S") << "the other operator's save stands";
}

TEST_F(EditingTest, ARowBeingTypedIsNotLostUnasked)
{
    auto screen = openOn("0000000001", false);
    // The navigator waits while a group row is pending.
    screen->sbtIncluir->click();
    EXPECT_FALSE(screen->dbnPadrao->isEnabled());
    ui.answer(mbYes);
    screen->sbtCancelar->click();
    EXPECT_TRUE(screen->dbnPadrao->isEnabled());
    EXPECT_EQ(screen->dm->codigoGrupo(), "0000000001");

    // Closing with a row in insert asks first; No keeps the screen and the row.
    screen->pgcPadrao->setCurrentWidget(screen->tshSoli);
    screen->sbtIncluir->click();
    set(screen->dm->cdsSoli, "NRSOLISERV", "123");
    ui.clear();
    ui.answer(mbNo);
    EXPECT_FALSE(screen->close());
    ASSERT_EQ(ui.messages().size(), 1);
    EXPECT_TRUE(ui.messages()[0].startsWith("Confirma o cancelamento das alterações?\r\n\r\n")) << ui.messages()[0].toStdString();
    EXPECT_EQ(screen->dm->cdsSoli->State(), dsInsert);
    EXPECT_EQ(field(screen->dm->cdsSoli, "NRSOLISERV"), "123");
    ui.answer(mbYes);
    EXPECT_TRUE(screen->close());
}

TEST_F(EditingTest, PagesShowTheirGroupsRows)
{
    auto screen = openOn("0000000003", true);
    EXPECT_EQ(screen->lblQtdeSoli->text(), "1");
    // Back on the groups page, the operator is on the group they left.
    screen->pgcPadrao->setCurrentWidget(screen->tshPadrao);
    EXPECT_EQ(screen->dm->codigoGrupo(), "0000000003");

    // The requests page chosen from the Exibir menu counts the current group's requests.
    ASSERT_TRUE(screen->dm->LocalizaGrupo("0000000001"));
    screen->mnuSoli->trigger();
    EXPECT_EQ(screen->lblQtdeSoli->text(), "3");
    screen->mnuGrupo->trigger();

    // A group change whose read fails leaves no rows of the previous group behind.
    serverDown();
    ui.clear();
    EXPECT_FALSE(host::runGuarded([&] { screen->dm->LocalizaGrupo("0000000002"); }));
    ASSERT_EQ(ui.messages().size(), 1);
    // The system's reason in the operator's words, its own text after it.
    EXPECT_TRUE(ui.messages()[0].startsWith("Não foi possível conectar ao servidor de aplicação 127.0.0.1:1: conexão "
                                            "recusada ("))
        << ui.messages()[0].toStdString();
    EXPECT_EQ(screen->dm->codigoGrupo(), "0000000002");
    screen->mnuSoli->trigger();
    EXPECT_TRUE(screen->dm->cdsSoli->IsEmpty());
    EXPECT_EQ(screen->lblQtdeSoli->text(), "não lido") << "not a group without requests";
    serverUp();
}

TEST_F(EditingTest, AScreenOpenedWithoutTheServerBecomesEditable)
{
    serverDown();
    auto screen = openScreen();
    ASSERT_TRUE(screen->dbgPadrao->ReadOnly());
    serverUp();
    ui.clear();
    screen->sbtVerificar->click();
    ASSERT_TRUE(screen->dm->boEditavel);
    EXPECT_FALSE(screen->dbgPadrao->ReadOnly());
    EXPECT_FALSE(screen->dbgSoli->ReadOnly());
    EXPECT_TRUE(screen->mnuAlterar->isEnabled());
    // Alterar puts the row in edit, and the cell takes what is typed.
    screen->sbtAlterar->click();
    DatasetModel *model = screen->dbgPadrao->datasetModel();
    const QModelIndex name = model->index(screen->dm->cdsGrupo->gridCurrentRow(), model->columnOfField("DSGRUPHOMOL"));
    EXPECT_TRUE(model->flags(name) & Qt::ItemIsEditable);
    EXPECT_TRUE(model->setData(name, "Correções de maio"));
    screen->sbtConfirmar->click();
    EXPECT_EQ(valueAt(group("0000000001"), 0, "DSGRUPHOMOL"), "Correções de maio");
    EXPECT_TRUE(ui.messages().isEmpty()) << ui.messages().join("; ").toStdString();
}

TEST_F(EditingTest, WhatTheOperatorMayTypeInTheGroupGrid)
{
    auto screen = openScreen();
    DatasetModel *model = screen->dbgPadrao->datasetModel();
    const int row = screen->dm->cdsGrupo->gridCurrentRow();
    for (const char *name : {"DSGRUPHOMOL", "CDARVPROD"})
        EXPECT_TRUE(model->flags(model->index(row, model->columnOfField(name))) & Qt::ItemIsEditable) << name;
    for (const char *name : {"CDGRUPHOMOL", "IDSTGRUPHOM", "DTCRIAGRHOM", "CDRELEASEGHOM", "DTHRGERAGRUPSOL", "DTHRHOMOGRUPSOL"})
        EXPECT_FALSE(model->flags(model->index(row, model->columnOfField(name))) & Qt::ItemIsEditable) << name;
}

TEST_F(EditingTest, ARowChangedThenDeletedKeepsWhatWasLoaded)
{
    auto screen = openScreen();
    Dataset rows;
    rows.CopyFrom(*screen->dm->cdsGrupo);
    ASSERT_TRUE(rows.Locate("CDGRUPHOMOL", "0000000002"));
    rows.Edit();
    rows.FieldByName("DSGRUPHOMOL").setAsString("Outro nome");
    rows.Post();
    rows.Delete();
    const packet::Delta delta = rows.Delta();
    ASSERT_EQ(delta.changes.size(), 1);
    EXPECT_EQ(delta.changes[0].kind, packet::Change::Kind::Delete);
    EXPECT_EQ(delta.changes[0].oldValues.value(rows.fieldIndex("DSGRUPHOMOL")).toString(), "Importação");
    rows.CancelUpdates();
    ASSERT_TRUE(rows.Locate("CDGRUPHOMOL", "0000000002"));
    EXPECT_EQ(rows.FieldByName("DSGRUPHOMOL").AsString(), "Importação");
    EXPECT_EQ(rows.ChangeCount(), 0);
}

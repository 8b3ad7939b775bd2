// The homologation screen at work on imported data: the initial load and the lock, the
// group filter, the command states of every page, the grids' drawing, the released files'
// homologation paths, the page refresh after the server's data changed, the group save,
// failures of the server, the held connection, credentials and locations.

#include "screenenv.h"

#include "host/errors.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "tools/import.h"

#include <QAction>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>

namespace {

const QString kCode = QStringLiteral("CDGRUPHOMOL");

struct Commands {
    bool incluir, alterar, excluir, procurar, verificar, confirmar, cancelar, avancar;
    bool operator==(const Commands &) const = default;
};

std::ostream &operator<<(std::ostream &out, const Commands &c)
{
    return out << "incluir=" << c.incluir << " alterar=" << c.alterar << " excluir=" << c.excluir
               << " procurar=" << c.procurar << " verificar=" << c.verificar << " confirmar=" << c.confirmar
               << " cancelar=" << c.cancelar << " avancar=" << c.avancar;
}

Commands commands(const TfrmGrupSoliHom &screen)
{
    // Each tool button follows its menu entry.
    EXPECT_EQ(screen.sbtIncluir->isEnabled(), screen.mnuIncluir->isEnabled());
    EXPECT_EQ(screen.btfAvancaFase->isEnabled(), screen.mnuAvancaFase->isEnabled());
    EXPECT_FALSE(screen.mnuVoltaFase->isEnabled());
    return {screen.mnuIncluir->isEnabled(),  screen.mnuAlterar->isEnabled(),   screen.mnuExcluir->isEnabled(),
            screen.mnuProcurar->isEnabled(), screen.mnuVerificar->isEnabled(), screen.mnuConfirmar->isEnabled(),
            screen.mnuCancelar->isEnabled(), screen.mnuAvancaFase->isEnabled()};
}

bool tabEnabled(const TfrmGrupSoliHom &screen, QWidget *page)
{
    return screen.pgcPadrao->isTabEnabled(screen.pgcPadrao->indexOf(page));
}

void pressKey(TDBGrid *grid, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QKeyEvent event(QEvent::KeyPress, key, modifiers, key == Qt::Key_Space ? QStringLiteral(" ") : QString());
    QCoreApplication::sendEvent(grid, &event);
}

QStringList column(Dataset &dataset, const char *field) { return listed(dataset, QString::fromLatin1(field)); }

}  // namespace

TEST_F(ScreenTest, InitialLoadAndTheEditableFlag)
{
    auto screen = openScreen();
    EXPECT_TRUE(ui.messages().isEmpty()) << ui.messages().join("; ").toStdString();
    EXPECT_TRUE(screen->dm->boEditavel);
    // Pending and in-progress groups at start; the one closed group is filtered out.
    EXPECT_EQ(column(*screen->dm->cdsGrupo, "CDGRUPHOMOL"),
              QStringList({"0000000001", "0000000002", "0000000003", "0000000004", "0000000005", "0000000007"}));
    EXPECT_EQ(screen->dm->codigoGrupo(), "0000000001");
    EXPECT_EQ(column(*screen->dm->cdsSoli, "NRSOLISERV"), QStringList({"0000000101", "0000000102", "0000000107"}));
    EXPECT_EQ(column(*screen->dm->cdsArq, "NRSOLISERV"), QStringList({"0000000101", "0000000101", "0000000102"}));
    EXPECT_EQ(screen->dm->cdsGrupo->FieldByName("NMPRODUTO").AsString(), "Retaguarda");
    EXPECT_EQ(screen->pgcPadrao->currentWidget(), screen->tshPadrao);
    EXPECT_TRUE(screen->mnuGrupo->isChecked());
    EXPECT_FALSE(screen->dbgPadrao->ReadOnly());
    EXPECT_FALSE(screen->dbgSoli->ReadOnly());
    EXPECT_EQ(commands(*screen), (Commands{true, true, true, true, true, false, false, true}));
    EXPECT_TRUE(tabEnabled(*screen, screen->tshSoli));
    EXPECT_EQ(screen->lblNomeGrupo->text(), "Correções de março");
    // The busy animation went away after every read.
    EXPECT_FALSE(ui.busyVisible());
    screen->close();

    // An operator who may not edit groups gets a locked screen, still loaded and browsable.
    settings->set("host/operator", "0002");
    screen = openScreen();
    EXPECT_FALSE(screen->dm->boEditavel);
    EXPECT_EQ(screen->dm->cdsGrupo->RecordCount(), 6);
    EXPECT_TRUE(screen->dbgPadrao->ReadOnly());
    EXPECT_TRUE(screen->dbgSoli->ReadOnly());
    EXPECT_EQ(commands(*screen), (Commands{false, false, false, true, true, false, false, false}));
    // Procurar and Verificar still follow the state of the list.
    screen->dm->cdsGrupo->Edit();
    EXPECT_EQ(commands(*screen), (Commands{false, false, false, false, false, false, false, false}));
    screen->dm->cdsGrupo->Cancel();
    EXPECT_EQ(commands(*screen), (Commands{false, false, false, true, true, false, false, false}));
    // Keys on the requests page of a pending group do not unlock the request grid.
    screen->pgcPadrao->setCurrentWidget(screen->tshSoli);
    ASSERT_EQ(screen->dm->statusGrupo(), "001");
    pressKey(screen->dbgSoli, Qt::Key_Down);
    EXPECT_TRUE(screen->dbgSoli->ReadOnly());
    EXPECT_EQ(commands(*screen), (Commands{false, false, false, true, true, false, false, false}));
    screen->close();

    // An unknown operator (an empty answer) is locked as well.
    settings->set("host/operator", "9999");
    screen = openScreen();
    EXPECT_FALSE(screen->dm->boEditavel);
    EXPECT_TRUE(screen->dbgPadrao->ReadOnly());
    EXPECT_TRUE(ui.messages().isEmpty()) << ui.messages().join("; ").toStdString();
}

TEST_F(ScreenTest, GroupFilterCombinations)
{
    auto screen = openScreen();
    struct Case {
        bool pendente, andamento, homologado;
        QStringList codes;
    };
    const QStringList emAndamento = {"0000000002", "0000000003", "0000000004", "0000000005", "0000000007"};
    const QList<Case> cases = {
        {true, false, false, {"0000000001"}},
        {false, true, false, emAndamento},
        {false, false, true, {"0000000006"}},
        {true, true, false, QStringList{"0000000001"} + emAndamento},
        {true, false, true, {"0000000001", "0000000006"}},
        {false, true, true, {"0000000002", "0000000003", "0000000004", "0000000005", "0000000006", "0000000007"}},
        {true, true, true, {"0000000001", "0000000002", "0000000003", "0000000004", "0000000005", "0000000006", "0000000007"}},
        {false, false, false, {}},
    };
    for (const Case &c : cases) {
        screen->tbtPendente->setChecked(c.pendente);
        screen->tbtAndamento->setChecked(c.andamento);
        screen->tbtHomologado->setChecked(!c.homologado);
        screen->tbtHomologado->click();  // the toggles run the filter
        ASSERT_EQ(screen->tbtHomologado->isChecked(), c.homologado);
        const std::string which = QStringLiteral("%1%2%3").arg(c.pendente).arg(c.andamento).arg(c.homologado).toStdString();
        EXPECT_EQ(column(*screen->dm->cdsGrupo, "CDGRUPHOMOL"), c.codes) << which;
        // The group change ran for the first group listed.
        const QString first = c.codes.value(0);
        EXPECT_EQ(screen->dm->codigoGrupo(), first) << which;
        for (const QString &owner : column(*screen->dm->cdsSoli, "CDGRUPHOMOL"))
            EXPECT_EQ(owner, first) << which;
        if (first.isEmpty()) {
            EXPECT_TRUE(screen->dm->cdsSoli->IsEmpty());
            EXPECT_TRUE(screen->dm->cdsArq->IsEmpty());
            EXPECT_FALSE(tabEnabled(*screen, screen->tshSoli)) << "no group, no requests page";
            EXPECT_FALSE(screen->mnuAvancaFase->isEnabled());
        }
    }
    EXPECT_EQ(screen->dm->cdsGrupo->Filter(), "0=1");
    screen->tbtPendente->click();
    EXPECT_EQ(screen->dm->cdsGrupo->Filter(), "IDSTGRUPHOM = '001'");
    screen->tbtAndamento->click();
    EXPECT_EQ(screen->dm->cdsGrupo->Filter(), "IDSTGRUPHOM = '001' OR IDSTGRUPHOM IN ('002','003','004','005','006' )");

    // With all three pressed there is no filter: a status outside the table is listed too.
    screen->tbtHomologado->click();
    packet::Packet odd = screen->dm->cdsGrupo->Data();
    odd.rows[0][odd.fieldIndex("IDSTGRUPHOM")] = QStringLiteral("009");
    screen->dm->cdsGrupo->setData(odd);
    EXPECT_EQ(screen->dm->cdsGrupo->RecordCount(), 7);
    EXPECT_TRUE(column(*screen->dm->cdsGrupo, "IDSTGRUPHOM").contains("009"));
    screen->tbtHomologado->click();
    EXPECT_EQ(column(*screen->dm->cdsGrupo, "CDGRUPHOMOL"),
              QStringList({"0000000002", "0000000003", "0000000004", "0000000005", "0000000007"}));
    EXPECT_TRUE(ui.messages().isEmpty()) << ui.messages().join("; ").toStdString();
}

TEST_F(ScreenTest, CommandStatesOnEveryPage)
{
    auto screen = openScreen();
    using C = Commands;
    // Groups page: Excluir only for a pending group; the advance until the group is closed.
    EXPECT_EQ(commands(*screen), (C{true, true, true, true, true, false, false, true}));
    goToGroup(*screen, "0000000002");
    EXPECT_EQ(commands(*screen), (C{true, true, false, true, true, false, false, true}));
    screen->tbtHomologado->click();
    goToGroup(*screen, "0000000006");
    EXPECT_EQ(commands(*screen), (C{true, true, false, true, true, false, false, false}));
    screen->dm->cdsGrupo->Insert();
    EXPECT_EQ(commands(*screen), (C{false, false, false, false, false, true, true, false}));
    for (QWidget *page : {screen->tshSoli, screen->tshArq, screen->tshArqLib})
        EXPECT_FALSE(tabEnabled(*screen, page));
    EXPECT_FALSE(screen->mnuSoli->isEnabled());
    EXPECT_FALSE(screen->mnuArq->isEnabled());
    screen->dm->cdsGrupo->Cancel();
    EXPECT_TRUE(tabEnabled(*screen, screen->tshArqLib));
    EXPECT_TRUE(screen->mnuSoli->isEnabled());

    // Requests page of a pending group: requests may be added and removed, never changed.
    goToGroup(*screen, "0000000001");
    screen->pgcPadrao->setCurrentWidget(screen->tshSoli);
    EXPECT_TRUE(screen->mnuSoli->isChecked());
    EXPECT_FALSE(screen->mnuGrupo->isChecked());
    EXPECT_TRUE(screen->lblTotalSoli->isVisibleTo(screen.get()));
    EXPECT_EQ(screen->lblQtdeSoli->text(), "3");
    EXPECT_EQ(commands(*screen), (C{true, false, true, true, true, false, false, true}));
    screen->dm->cdsSoli->Insert();
    EXPECT_EQ(commands(*screen), (C{false, false, false, false, false, true, true, false}));
    EXPECT_FALSE(tabEnabled(*screen, screen->tshPadrao));
    EXPECT_FALSE(tabEnabled(*screen, screen->tshArq));
    EXPECT_FALSE(screen->mnuGrupo->isEnabled());
    screen->dm->cdsSoli->Cancel();
    EXPECT_TRUE(tabEnabled(*screen, screen->tshPadrao));
    EXPECT_TRUE(screen->mnuArq->isEnabled());
    // A request of a pending group is never put into edit.
    screen->dm->cdsSoli->Edit();
    EXPECT_EQ(screen->dm->cdsSoli->State(), dsBrowse);

    // Requests page of a group under test: nothing is added or removed; only the decision
    // flags may be changed.
    screen->pgcPadrao->setCurrentWidget(screen->tshPadrao);
    goToGroup(*screen, "0000000003");
    screen->pgcPadrao->setCurrentWidget(screen->tshSoli);
    EXPECT_EQ(commands(*screen), (C{false, false, false, true, true, false, false, true}));
    screen->dbgSoli->setSelectedIndex(screen->dbgSoli->columnOfField("NRSOLISERV"));
    screen->dm->cdsSoli->Edit();
    EXPECT_EQ(screen->dm->cdsSoli->State(), dsBrowse);
    screen->dbgSoli->setSelectedIndex(screen->dbgSoli->columnOfField("IDRETSOLERROPRO"));
    EXPECT_FALSE(screen->dbgSoli->Editing()) << "the flags are set by a click, not by typing";
    screen->dm->cdsSoli->Edit();
    EXPECT_EQ(screen->dm->cdsSoli->State(), dsEdit);
    EXPECT_EQ(commands(*screen), (C{false, false, false, false, false, false, false, true}));
    EXPECT_TRUE(tabEnabled(*screen, screen->tshPadrao)) << "an edited request still lets the operator leave";
    screen->dm->cdsSoli->Cancel();
    screen->dbgSoli->setSelectedIndex(screen->dbgSoli->columnOfField("MODELAGEM"));
    EXPECT_TRUE(screen->dbgSoli->Editing());

    // Files pages: nothing is edited there.
    screen->pgcPadrao->setCurrentWidget(screen->tshArq);
    EXPECT_TRUE(screen->mnuArq->isChecked());
    EXPECT_FALSE(screen->lblTotalSoli->isVisibleTo(screen.get()));
    EXPECT_EQ(commands(*screen), (C{false, false, false, true, true, false, false, true}));
    screen->pgcPadrao->setCurrentWidget(screen->tshArqLib);
    EXPECT_FALSE(screen->mnuGrupo->isChecked() || screen->mnuSoli->isChecked() || screen->mnuArq->isChecked());
    EXPECT_EQ(commands(*screen), (C{false, false, false, true, true, false, false, true}));

    // The menu shows a page without reading it, with that page's commands.
    const int opened = screen->dm->netGrupSoliHom.openCount();
    screen->mnuGrupo->trigger();
    EXPECT_EQ(screen->pgcPadrao->currentWidget(), screen->tshPadrao);
    EXPECT_TRUE(screen->mnuGrupo->isChecked());
    EXPECT_EQ(commands(*screen), (C{true, true, false, true, true, false, false, true}));
    screen->mnuSoli->trigger();
    EXPECT_EQ(screen->pgcPadrao->currentWidget(), screen->tshSoli);
    EXPECT_FALSE(screen->mnuGrupo->isChecked());
    EXPECT_EQ(commands(*screen), (C{false, false, false, true, true, false, false, true}));
    EXPECT_EQ(screen->dm->netGrupSoliHom.openCount(), opened) << "no server call";
    EXPECT_TRUE(ui.messages().isEmpty()) << ui.messages().join("; ").toStdString();
}

TEST_F(ScreenTest, GridColoursProductNamesAndCheckBoxes)
{
    auto screen = openScreen();
    screen->tbtHomologado->click();
    goToGroup(*screen, "0000000003");
    screen->show();
    QApplication::processEvents();

    TDBGrid *grid = screen->dbgPadrao;
    const QPalette palette = grid->palette();
    EXPECT_EQ(TfrmGrupSoliHom::corTextoGrupo("001", false, palette), QColor(Qt::red));
    EXPECT_EQ(TfrmGrupSoliHom::corTextoGrupo("007", false, palette), palette.color(QPalette::Disabled, QPalette::Text));
    EXPECT_EQ(TfrmGrupSoliHom::corTextoGrupo("003", false, palette), palette.color(QPalette::Active, QPalette::Text));
    EXPECT_EQ(TfrmGrupSoliHom::corTextoGrupo("001", true, palette), QColor(Qt::white));

    const QImage shot = grid->grab().toImage();
    const auto cellRect = [&](int row, const char *field) {
        return grid->visualRect(grid->model()->index(row, grid->columnOfField(field))).translated(grid->viewport()->pos());
    };
    // The text pixels of a cell: those that differ from its background.
    const auto inkOf = [&](int row, const char *field) {
        const QRect cell = cellRect(row, field);
        const QColor background = shot.pixelColor(cell.left() + 1, cell.bottom() - 1);
        QList<QColor> ink;
        for (int y = cell.top(); y <= cell.bottom(); ++y)
            for (int x = cell.left(); x <= cell.right(); ++x)
                if (shot.pixelColor(x, y) != background)
                    ink << shot.pixelColor(x, y);
        return ink;
    };
    const auto darkest = [](const QList<QColor> &ink) {
        QColor best(Qt::white);
        for (const QColor &c : ink)
            if (c.lightness() < best.lightness())
                best = c;
        return best;
    };
    const QStringList codes = column(*screen->dm->cdsGrupo, "CDGRUPHOMOL");
    const int pending = int(codes.indexOf("0000000001"));
    const int closed = int(codes.indexOf("0000000006"));
    const int generated = int(codes.indexOf("0000000002"));
    const QColor pendingInk = darkest(inkOf(pending, "DSGRUPHOMOL"));
    EXPECT_GT(pendingInk.red(), 150);
    EXPECT_LT(pendingInk.green(), 100);
    const QColor closedInk = darkest(inkOf(closed, "DSGRUPHOMOL"));
    EXPECT_GT(closedInk.lightness(), 100) << "grey text";
    EXPECT_LT(std::abs(closedInk.red() - closedInk.blue()), 20);
    const QColor generatedInk = darkest(inkOf(generated, "DSGRUPHOMOL"));
    EXPECT_LT(generatedInk.lightness(), 60) << "window text";
    EXPECT_LT(std::abs(generatedInk.red() - generatedInk.green()), 20);

    // The product column shows the product's name.
    DrawCell cell;
    cell.dataset = screen->dm->cdsGrupo;
    cell.values = &screen->dm->cdsGrupo->gridRow(closed);
    cell.row = closed;
    cell.column = grid->columnOfField("CDARVPROD");
    cell.field = "CDARVPROD";
    EXPECT_EQ(screen->textoCelulaGrupo(*grid, cell), "Formulários");
    cell.field = "DSGRUPHOMOL";
    cell.column = grid->columnOfField("DSGRUPHOMOL");
    EXPECT_EQ(screen->textoCelulaGrupo(*grid, cell), "Formulários");

    // Check boxes: grey unless under test, then empty or ticked.
    const QPoint tick(6, 10);
    const auto boxPixel = [&](const QImage &image, TDBGrid *g, int row, const char *field) {
        const QRect c = g->visualRect(g->model()->index(row, g->columnOfField(field))).translated(g->viewport()->pos());
        return image.pixelColor(c.left() + 1 + tick.x(), c.top() + (c.height() - 16) / 2 + tick.y());
    };
    const int underTest = int(codes.indexOf("0000000007"));
    EXPECT_EQ(boxPixel(shot, grid, pending, "IDMARCADO"), QColor(212, 212, 212));
    EXPECT_EQ(boxPixel(shot, grid, underTest, "IDMARCADO"), QColor(255, 255, 255));
    screen->dm->MarcaGrupo();  // group 3, current
    const QImage marked = grid->grab().toImage();
    EXPECT_LT(boxPixel(marked, grid, int(codes.indexOf("0000000003")), "IDMARCADO").lightness(), 60);

    // The request grid of a group under test: the one flag set is ticked, the two others
    // cannot be set while it is.
    screen->pgcPadrao->setCurrentWidget(screen->tshSoli);
    QApplication::processEvents();
    ASSERT_EQ(column(*screen->dm->cdsSoli, "IDHOMOLSOL"), QStringList({"S"}));
    const QImage requests = screen->dbgSoli->grab().toImage();
    EXPECT_LT(boxPixel(requests, screen->dbgSoli, 0, "IDHOMOLSOL").lightness(), 60);
    EXPECT_EQ(boxPixel(requests, screen->dbgSoli, 0, "IDENCSOLPATCREG"), QColor(212, 212, 212));
    EXPECT_EQ(boxPixel(requests, screen->dbgSoli, 0, "IDRETSOLERROPRO"), QColor(212, 212, 212));

    // HOMOLOGA_SCREENSHOT=/tmp/x.png saves the groups page there and the other pages beside it.
    if (const QString path = qEnvironmentVariable("HOMOLOGA_SCREENSHOT"); !path.isEmpty()) {
        for (QWidget *page : {screen->tshSoli, screen->tshArq, screen->tshArqLib}) {
            screen->pgcPadrao->setCurrentWidget(page);
            QApplication::processEvents();
            screen->grab().save(QString(path).replace(".png", "-" + page->objectName() + ".png"));
        }
        screen->mnuGrupo->trigger();
        goToGroup(*screen, "0000000007");
        screen->dm->MarcaGrupo();
        QApplication::processEvents();
        screen->grab().save(path);
    }
}

TEST_F(ScreenTest, ReleasedFilesWithTheirHomologationPaths)
{
    auto screen = openScreen();
    screen->pgcPadrao->setCurrentWidget(screen->tshArqLib);
    Dataset &released = *screen->dm->cdsArqLib;
    EXPECT_EQ(released.RecNo(), 1);
    QStringList rows;
    for (int i = 0; i < released.RecordCount(); ++i) {
        const RowView row(released, released.gridRow(i));
        rows << row.AsString("NRSOLISERV") + " " + row.AsString("DSARQPATCH") + " -> " + row.AsString("DSDIRDESTHOM");
    }
    EXPECT_EQ(rows, QStringList({
                        "0000000101 \\Desenv\\P501\\Srv\\Calc.dpr -> Bin\\Server\\CALC.dll",
                        "0000000101 \\Desenv\\P501\\Sql\\Calc.sql -> Sql\\End_Conv\\SQLServer\\CALC.SQL",
                        // client-specific, but outside a Clientes folder: no client destination
                        "0000000102 \\Desenv\\P501\\Cli\\Tela.dpr -> ",
                        "0000000107 \\Desenv\\P501\\Cli\\Clientes\\ABC\\Tela2.dpr -> Bin\\Client\\Clientes\\ABC\\Tela2.exe",
                        // a web page is not among the group's files to generate
                        "0000000107 \\Desenv\\P501\\web\\ajuda.htm -> ",
                    }));
    EXPECT_EQ(screen->dm->cdsArqSoli->RecordCount(), 4);
    EXPECT_EQ(screen->dbgArqLib->cellText(0, screen->dbgArqLib->columnOfField("DSDIRDESTHOM")), "Bin\\Server\\CALC.dll");

    // Moving to another group on this page reads its released files at once.
    goToGroup(*screen, "0000000007");
    EXPECT_EQ(column(released, "DSDIRDESTHOM"), QStringList({"Bin\\Server\\IMPOSTO.dll"}));
    EXPECT_TRUE(ui.messages().isEmpty()) << ui.messages().join("; ").toStdString();
}

TEST_F(ScreenTest, VerificarReadsEachPageAgainAfterTheServerChanged)
{
    auto screen = openScreen();

    // Groups page: another operator advanced a group.
    goToGroup(*screen, "0000000003");
    advance(QStringLiteral("0000000002"));
    screen->sbtVerificar->click();
    EXPECT_EQ(screen->dm->codigoGrupo(), "0000000001") << "the first group listed becomes current";
    goToGroup(*screen, "0000000002");
    EXPECT_EQ(screen->dm->cdsGrupo->FieldByName("IDSTGRUPHOM").DisplayText(), "Pré homologados atualizado");

    // Modified files page: a request's files changed.
    goToGroup(*screen, "0000000001");
    screen->pgcPadrao->setCurrentWidget(screen->tshArq);
    server::importDocument(db(), QByteArray(R"({"requests": [{"CDFILIAL": "0001", "NRSOLISERV": "102",
        "DSREFESOLI": "Nova tela", "CDPRODUTO": "0000000001",
        "modifiedFiles": [{"DSDIRARQCHECKOU": "C:\\Desenv\\P501\\Cli\\Tela.pas", "CDRELEASEARQANT": "7", "CDRELEASEARQATU": "9"},
                          {"DSDIRARQCHECKOU": "C:\\Desenv\\P501\\Cli\\Menu.pas", "CDRELEASEARQANT": "2", "CDRELEASEARQATU": "5"}],
        "releasedFiles": [{"DSARQPATCH": "\\Desenv\\P501\\Sql\\Oracle\\Menu.sql", "NRSEQPATCH": "001"}]}]})"));
    const QStringList before = column(*screen->dm->cdsArq, "DSDIRARQCHECKOU");
    screen->sbtVerificar->click();
    EXPECT_EQ(column(*screen->dm->cdsArq, "DSDIRARQCHECKOU").size(), before.size() + 1);
    EXPECT_TRUE(column(*screen->dm->cdsArq, "DSDIRARQCHECKOU").contains("C:\\Desenv\\P501\\Cli\\Menu.pas"));
    EXPECT_TRUE(screen->mnuArq->isChecked()) << "the ticked entry stays";

    // Released files page: the request's released file changed too.
    screen->pgcPadrao->setCurrentWidget(screen->tshArqLib);
    EXPECT_TRUE(column(*screen->dm->cdsArqLib, "DSDIRDESTHOM").contains("Sql\\End_Conv\\Oracle\\MENU.SQL"));
    server::importDocument(db(), QByteArray(R"({"requests": [{"CDFILIAL": "0001", "NRSOLISERV": "102",
        "DSREFESOLI": "Nova tela", "CDPRODUTO": "0000000001",
        "releasedFiles": [{"DSARQPATCH": "\\Desenv\\P501\\Rel\\Menu.qr2", "NRSEQPATCH": "001"}]}]})"));
    screen->sbtVerificar->click();
    EXPECT_FALSE(column(*screen->dm->cdsArqLib, "DSDIRDESTHOM").contains("Sql\\End_Conv\\Oracle\\MENU.SQL"));
    EXPECT_TRUE(column(*screen->dm->cdsArqLib, "DSDIRDESTHOM").contains("Ftp\\RelFtp\\MENU.QR2"));

    // Requests page: the group's requests were removed on the server.
    screen->pgcPadrao->setCurrentWidget(screen->tshSoli);
    EXPECT_EQ(screen->lblQtdeSoli->text(), "3");
    const packet::Packet requests = packetOf(ok(QStringLiteral("GetSoli"), args({QStringLiteral("0000000001")})));
    packet::Delta removal;
    removal.fields = requests.fields;
    for (int row = 0; row < requests.rows.size(); ++row)
        removal.changes += deleteDelta(requests, row).changes;
    ok(QStringLiteral("setSoli"), args({removal.toJson()}));
    const Commands states = commands(*screen);
    screen->sbtVerificar->click();
    EXPECT_TRUE(screen->dm->cdsSoli->IsEmpty());
    EXPECT_EQ(screen->lblQtdeSoli->text(), "0");
    EXPECT_EQ(commands(*screen), states) << "the command states are left as they are";
    EXPECT_TRUE(ui.messages().isEmpty()) << ui.messages().join("; ").toStdString();
}

TEST_F(ScreenTest, GroupSaveReloadsAndARefusedSaveIsDiscarded)
{
    auto screen = openScreen();
    goToGroup(*screen, "0000000002");
    screen->dm->cdsGrupo->Edit();
    screen->dm->cdsGrupo->FieldByName("DSGRUPHOMOL").setAsString("Importação revista");
    screen->sbtConfirmar->click();
    EXPECT_TRUE(ui.messages().isEmpty()) << ui.messages().join("; ").toStdString();
    EXPECT_EQ(valueAt(group("0000000002"), 0, "DSGRUPHOMOL"), "Importação revista");
    EXPECT_EQ(screen->dm->cdsGrupo->ChangeCount(), 0);
    EXPECT_EQ(screen->dm->codigoGrupo(), "0000000002") << "the list was read again, the cursor on the group saved";
    EXPECT_TRUE(std::any_of(ui.shown().begin(), ui.shown().end(), [](const ScriptedHostUi::Shown &s) {
        return s.kind == ScriptedHostUi::Shown::Kind::Busy && s.text == "Atualizando dados no servidor...";
    }));

    // Another operator renamed the group in the meantime: the save is refused, and the
    // operator's name stays in the row, in edit, not as if it were saved.
    goToGroup(*screen, "0000000002");
    const packet::Packet current = group("0000000002");
    ok(QStringLiteral("setGrupo"), args({modifyDelta(current, 0, {{"DSGRUPHOMOL", "Outro nome"}}).toJson()}));
    ui.clear();
    screen->dm->cdsGrupo->Edit();
    screen->dm->cdsGrupo->FieldByName("DSGRUPHOMOL").setAsString("Meu nome");
    screen->sbtConfirmar->click();
    ASSERT_EQ(ui.messages().size(), 1);
    EXPECT_EQ(ui.shown().last().type, DialogType::Error);
    EXPECT_EQ(screen->dm->cdsGrupo->ChangeCount(), 0);
    EXPECT_EQ(screen->dm->cdsGrupo->FieldByName("DSGRUPHOMOL").AsString(), "Meu nome");
    EXPECT_EQ(valueAt(group("0000000002"), 0, "DSGRUPHOMOL"), "Outro nome");
    EXPECT_EQ(screen->dm->cdsGrupo->State(), dsEdit);
    EXPECT_FALSE(screen->mnuIncluir->isEnabled());
    ui.answer(mbYes);
    screen->sbtCancelar->click();
    EXPECT_EQ(screen->dm->cdsGrupo->FieldByName("DSGRUPHOMOL").AsString(), "Outro nome");

    // A deleted group is saved the same way.
    goToGroup(*screen, "0000000001");
    ui.clear();
    ui.answer(mbYes);
    screen->sbtExcluir->click();
    ASSERT_EQ(ui.messages().size(), 1);
    EXPECT_TRUE(ui.messages()[0].startsWith("Confirma exclusão?\r\n\r\n")) << ui.messages()[0].toStdString();
    EXPECT_TRUE(group("0000000001").rows.isEmpty());
    EXPECT_FALSE(column(*screen->dm->cdsGrupo, "CDGRUPHOMOL").contains("0000000001"));
    EXPECT_EQ(screen->dm->cdsGrupo->ChangeCount(), 0);
    EXPECT_EQ(screen->dm->codigoGrupo(), "0000000002");
}

TEST_F(ScreenTest, AServerThatDoesNotAnswerLeavesTheDataAsItWas)
{
    auto screen = openScreen();
    goToGroup(*screen, "0000000003");
    const QStringList groups = column(*screen->dm->cdsGrupo, "CDGRUPHOMOL");
    const QStringList requests = column(*screen->dm->cdsSoli, "NRSOLISERV");
    serverDown();

    screen->sbtVerificar->click();
    ASSERT_EQ(ui.messages().size(), 1);
    EXPECT_TRUE(ui.messages()[0].startsWith("Não foi possível conectar ao servidor de aplicação 127.0.0.1:1"))
        << ui.messages()[0].toStdString();
    EXPECT_FALSE(ui.busyVisible());
    EXPECT_EQ(column(*screen->dm->cdsGrupo, "CDGRUPHOMOL"), groups);
    EXPECT_EQ(screen->dm->codigoGrupo(), "0000000003");
    EXPECT_TRUE(screen->dm->boEditavel);

    ui.clear();
    screen->pgcPadrao->setCurrentWidget(screen->tshSoli);
    ASSERT_EQ(ui.messages().size(), 1);
    EXPECT_EQ(column(*screen->dm->cdsSoli, "NRSOLISERV"), requests);
    ui.clear();
    screen->pgcPadrao->setCurrentWidget(screen->tshArqLib);
    ASSERT_EQ(ui.messages().size(), 1);
    EXPECT_TRUE(screen->dm->cdsArqLib->IsEmpty());

    // Back up, the same screen carries on.
    serverUp();
    ui.clear();
    screen->sbtVerificar->click();
    EXPECT_TRUE(ui.messages().isEmpty()) << ui.messages().join("; ").toStdString();
    EXPECT_EQ(column(*screen->dm->cdsArqLib, "NRSOLISERV"), QStringList({"0000000106"}));
    screen->close();

    // Opened while the server is down: one message, an empty locked screen.
    serverDown();
    ui.clear();
    screen = openScreen();
    ASSERT_EQ(ui.messages().size(), 1);
    EXPECT_TRUE(ui.messages()[0].startsWith("Não foi possível conectar")) << ui.messages()[0].toStdString();
    EXPECT_TRUE(screen->dm->cdsGrupo->IsEmpty());
    EXPECT_FALSE(screen->dm->boEditavel);
    EXPECT_TRUE(screen->dbgPadrao->ReadOnly());
    EXPECT_EQ(commands(*screen), (Commands{false, false, false, false, true, false, false, false}));
    serverUp();
    ui.clear();
    screen->sbtVerificar->click();
    EXPECT_EQ(screen->dm->cdsGrupo->RecordCount(), 6);
    EXPECT_TRUE(ui.messages().isEmpty()) << ui.messages().join("; ").toStdString();
}

TEST_F(ScreenTest, AnEmptyGroupListKeepsTheScreenUsable)
{
    db().exec(QStringLiteral("DELETE FROM SOLIGRUPO"));
    db().exec(QStringLiteral("DELETE FROM GRUPOHOMOL"));
    auto screen = openScreen();
    EXPECT_TRUE(ui.messages().isEmpty()) << ui.messages().join("; ").toStdString();
    EXPECT_TRUE(screen->dm->cdsGrupo->IsEmpty());
    EXPECT_TRUE(screen->dm->cdsSoli->IsEmpty());
    EXPECT_EQ(commands(*screen), (Commands{true, false, false, false, true, false, false, false}));
    for (QWidget *page : {screen->tshSoli, screen->tshArq, screen->tshArqLib})
        EXPECT_FALSE(tabEnabled(*screen, page));
    screen->sbtVerificar->click();
    EXPECT_TRUE(ui.messages().isEmpty());
}

TEST_F(ScreenTest, KeepConnectedHoldsOneUseUntilTheScreenCloses)
{
    settings->set("host/keep_connected", true);
    auto screen = openScreen();
    EXPECT_EQ(ConnectionUses(screen->dm->stlConexoes, "netGrupSoliHom"), 1);
    EXPECT_TRUE(screen->dm->netGrupSoliHom.connected());
    screen->sbtVerificar->click();
    screen->pgcPadrao->setCurrentWidget(screen->tshSoli);
    EXPECT_EQ(screen->dm->netGrupSoliHom.openCount(), 1) << "opened once, at creation";
    EXPECT_EQ(ConnectionUses(screen->dm->stlConexoes, "netGrupSoliHom"), 1);
    screen->close();
    EXPECT_FALSE(screen->dm->netGrupSoliHom.connected());
    EXPECT_TRUE(screen->dm->stlConexoes.isEmpty());

    settings->set("host/keep_connected", false);
    screen = openScreen();
    EXPECT_EQ(ConnectionUses(screen->dm->stlConexoes, "netGrupSoliHom"), 0);
    EXPECT_FALSE(screen->dm->netGrupSoliHom.connected());
    const int opened = screen->dm->netGrupSoliHom.openCount();
    EXPECT_GE(opened, 3) << "one opening per call";
    screen->sbtVerificar->click();
    EXPECT_GT(screen->dm->netGrupSoliHom.openCount(), opened);
    EXPECT_FALSE(screen->dm->netGrupSoliHom.connected());
    screen->close();
    EXPECT_FALSE(screen->dm->netGrupSoliHom.connected());
    EXPECT_TRUE(ui.messages().isEmpty()) << ui.messages().join("; ").toStdString();
}

TEST_F(ScreenTest, CredentialsAndLocations)
{
    const QString passwordFile = settings->filePath("senha");
    {
        QFile file(passwordFile);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("s3gredo\n");
    }
    QFile::setPermissions(passwordFile, QFile::ReadOwner | QFile::WriteOwner);
    settings->set("svn/password_file", passwordFile);
    auto screen = openScreen();
    EXPECT_EQ(screen->dm->UsuarioSVN, "svn_" + platform::files::logonName());
    EXPECT_EQ(screen->dm->SenhaSVN, "s3gredo");

    screen->dm->GetLocations("0000000004");
    EXPECT_EQ(screen->dm->Locacao0, "https://svn/desenv/P601/trunk");
    EXPECT_EQ(screen->dm->DirDesenv, "C:\\Desenv\\P601");
    EXPECT_EQ(screen->dm->URLHomol, "file:///C:/svn/hom/P601/trunk");
    EXPECT_EQ(screen->dm->DirHomol, "C:\\Hom\\P601");
    EXPECT_EQ(screen->dm->DirPreHomol, "C:\\PreHom\\P601\\");
    EXPECT_EQ(screen->dm->DirHomologados, "C:\\Homologados\\P601\\");
    screen->dm->GetLocations("0000000001");
    EXPECT_EQ(screen->dm->DirPreHomol, "C:\\PreHom\\P501\\") << "a trailing backslash is not doubled";
    // The form-setting product has no locations: empty ones stay empty.
    screen->dm->GetLocations("0000000003");
    EXPECT_EQ(screen->dm->DirPreHomol, "");
    EXPECT_EQ(screen->dm->DirHomologados, "");
    EXPECT_THROW(screen->dm->GetLocations("0000000099"), EAbort);
    ASSERT_EQ(ui.messages().size(), 1);
    EXPECT_TRUE(ui.messages()[0].contains("0000000099"));
    screen->close();

    // A password file others may read is refused: the screen does not open.
    QFile::setPermissions(passwordFile, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
    TfrmGrupSoliHom refused;
    try {
        refused.Create();
        ADD_FAILURE() << "the screen opened";
    } catch (const platform::PlatformError &error) {
        EXPECT_TRUE(error.message().contains("chmod 600")) << error.message().toStdString();
    }
}

#include "host/consiste.h"
#include "host/dbgrid.h"
#include "host/qthostui.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

namespace {

using packet::FieldType;

// A scripted HostUi installed for one test.
struct ScriptedUi {
    ScriptedHostUi ui;
    HostUiScope scope{ui};
};

void fillGroups(Dataset &dataset)
{
    FieldDef release("CDRELEASEGHOM", FieldType::String, 10, "Release");
    release.editMask = "9.99.999;0; ";
    dataset.setFields({{"CDGRUPHOMOL", FieldType::String, 10, "Código"},
                       {"DSGRUPHOMOL", FieldType::String, 50, "Nome do Grupo"},
                       {"IDSTGRUPHOM", FieldType::String, 3, "Status"},
                       release,
                       {"CDPRODUTO", FieldType::String, 10, "Produto", false}});
    dataset.fieldDef("IDSTGRUPHOM").onGetText = [](const RowView &, const QVariant &value) {
        return value.toString() == "001" ? QString("Pendente") : value.toString();
    };
    packet::Packet data;
    data.fields = dataset.packetFields();
    data.rows = {{QString("0000000001"), QString("Fiscal"), QString("001"), QString("501023"), QString("P1")},
                 {QString("0000000002"), QString("Folha"), QString("006"), QString(""), QString("P2")},
                 {QString("0000000003"), QString("Estoque"), QString("007"), QString("501024"), QString("P3")}};
    dataset.setData(data);
}

QStringList headers(const QAbstractItemModel &model)
{
    QStringList list;
    for (int i = 0; i < model.columnCount(); ++i)
        list << model.headerData(i, Qt::Horizontal).toString();
    return list;
}

}  // namespace

TEST(DatasetModel, ColumnsTitlesDisplayAndFlags)
{
    Dataset cds("cdsGrupo");
    fillGroups(cds);
    DatasetModel model;
    model.setDataSet(&cds);
    EXPECT_EQ(headers(model), QStringList({"Código", "Nome do Grupo", "Status", "Release"})) << "hidden fields are no default column";
    EXPECT_EQ(model.rowCount(), 3);
    EXPECT_EQ(model.index(0, 2).data().toString(), "Pendente");
    EXPECT_EQ(model.index(0, 3).data().toString(), "5.01.023");
    EXPECT_EQ(model.index(0, 3).data(Qt::EditRole).toString(), "501023");
    EXPECT_EQ(model.index(1, 3).data().toString(), "");

    model.setColumns({GridColumn("CDPRODUTO"), GridColumn("CDGRUPHOMOL", "Grupo", true), GridColumn("IDSTGRUPHOM")});
    EXPECT_EQ(headers(model), QStringList({"Produto", "Grupo", "Status"})) << "explicit columns show hidden fields";
    EXPECT_EQ(model.index(2, 0).data().toString(), "P3");
    EXPECT_TRUE(model.flags(model.index(0, 0)) & Qt::ItemIsEditable);
    EXPECT_FALSE(model.flags(model.index(0, 1)) & Qt::ItemIsEditable) << "read-only column";
    model.setEditing(false);
    EXPECT_FALSE(model.flags(model.index(0, 0)) & Qt::ItemIsEditable);
    model.setEditing(true);
    model.setReadOnly(true);
    EXPECT_FALSE(model.flags(model.index(0, 0)) & Qt::ItemIsEditable);
    model.setReadOnly(false);

    // Typing puts the dataset on the row and into edit; the row shows what was typed.
    ASSERT_TRUE(model.setData(model.index(2, 0), "P9"));
    EXPECT_EQ(cds.RecNo(), 3);
    EXPECT_EQ(cds.State(), dsEdit);
    EXPECT_EQ(model.index(2, 0).data().toString(), "P9");
    EXPECT_EQ(model.headerData(2, Qt::Vertical).toString(), "I");
    cds.Post();
    EXPECT_EQ(cds.ChangeCount(), 1);
    EXPECT_FALSE(model.setData(model.index(2, 1), "x")) << "read-only column refuses";

    // An insert shows as an extra row at its place; a reset follows every reload.
    cds.First();
    cds.Insert();
    EXPECT_EQ(model.rowCount(), 4);
    EXPECT_EQ(model.headerData(0, Qt::Vertical).toString(), "*");
    cds.Cancel();
    EXPECT_EQ(model.rowCount(), 3);
    cds.ApplyFilter("IDSTGRUPHOM = '006'");
    EXPECT_EQ(model.rowCount(), 1);
    EXPECT_EQ(model.index(0, 1).data().toString(), "0000000002");
}

TEST(DBGrid, FollowsTheDatasetBothWaysAndRaisesItsEvents)
{
    ScriptedUi scripted;
    Dataset cds("cdsGrupo");
    fillGroups(cds);
    TDataSource source("dtsPadrao", nullptr, &cds);
    TDBGrid grid("dbgPadrao");
    grid.setDataSource(&source);
    grid.setColumns({GridColumn("CDGRUPHOMOL", {}, true), GridColumn("DSGRUPHOMOL"), GridColumn("CDPRODUTO", {}, false, true)});
    grid.resize(600, 300);
    grid.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&grid));

    EXPECT_EQ(grid.currentIndex().row(), 0);
    cds.Last();
    EXPECT_EQ(grid.currentIndex().row(), 2) << "the grid follows the dataset";
    int scrolls = 0;
    cds.AfterScroll = [&](Dataset &) { ++scrolls; };
    grid.setCurrentIndex(grid.model()->index(1, 1));
    EXPECT_EQ(cds.RecNo(), 2) << "the dataset follows the grid";
    EXPECT_EQ(scrolls, 1);
    EXPECT_EQ(grid.SelectedField(), "DSGRUPHOMOL");
    EXPECT_EQ(Consiste::IndiceCol(&grid, "cdproduto"), 2);
    EXPECT_EQ(Consiste::IndiceCol(&grid, "IDSTGRUPHOM"), -1);

    // A refused post keeps the row: the grid goes back to where the dataset is.
    cds.BeforePost = [](Dataset &) { throw EHomologa("Nome do grupo deve ser informado."); };
    cds.Edit();
    cds.FieldByName("DSGRUPHOMOL").setAsString("");
    grid.setCurrentIndex(grid.model()->index(0, 1));
    EXPECT_EQ(cds.RecNo(), 2);
    EXPECT_EQ(cds.State(), dsEdit);
    EXPECT_EQ(grid.currentIndex().row(), 1);
    EXPECT_EQ(scripted.ui.messages(), QStringList({"Nome do grupo deve ser informado."}));
    cds.BeforePost = nullptr;
    cds.Cancel();

    // Column enter and exit, cell and title clicks, keys: each through its handler.
    QStringList events;
    grid.OnColExit = [&](TDBGrid &g) { events << "exit:" + g.SelectedField(); };
    grid.OnColEnter = [&](TDBGrid &g) { events << "enter:" + g.SelectedField(); };
    grid.OnCellClick = [&](TDBGrid &g) { events << "click:" + g.SelectedField(); };
    grid.OnTitleClick = [&](TDBGrid &, int column) { events << QString("title:%1").arg(column); };
    grid.OnKeyDown = [&](TDBGrid &, QKeyEvent *event) {
        events << QString("key:%1").arg(event->key());
        return event->key() == Qt::Key_Space;
    };
    grid.setSelectedIndex(2);
    const QRect cell = grid.visualRect(grid.model()->index(0, 0));
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseClick(grid.horizontalHeader()->viewport(), Qt::LeftButton, {},
                      QPoint(grid.horizontalHeader()->sectionViewportPosition(1) + 5, 5));
    QTest::keyClick(&grid, Qt::Key_Space);
    EXPECT_EQ(events, QStringList({"exit:CDPRODUTO", "enter:CDPRODUTO", "exit:CDGRUPHOMOL", "enter:CDGRUPHOMOL",
                                   "click:CDGRUPHOMOL", "title:1", QString("key:%1").arg(int(Qt::Key_Space))}))
        << events.join(", ").toStdString();
    EXPECT_EQ(cds.RecNo(), 1);

    // Typing through the grid's editor; what is typed reaches the field before a post.
    grid.OnColExit = grid.OnColEnter = nullptr;
    grid.OnKeyDown = nullptr;
    grid.setCurrentIndex(grid.model()->index(0, 1));
    static_cast<QAbstractItemView &>(grid).edit(grid.currentIndex());
    auto *editor = grid.viewport()->findChild<QLineEdit *>();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->maxLength(), 50);
    editor->setText("Fiscal e contábil");
    QWidget host;
    grid.setParent(&host);
    Consiste::RefreshGrid(&host);
    EXPECT_EQ(cds.State(), dsEdit);
    EXPECT_EQ(cds.FieldByName("DSGRUPHOMOL").AsString(), "Fiscal e contábil");
    cds.Post();
    grid.setParent(nullptr);

    // The choice button of a column runs its handler with what was typed in the field.
    int choices = 0;
    grid.OnEditButtonClick = [&](TDBGrid &g) {
        ++choices;
        EXPECT_EQ(g.dataSet()->FieldByName("CDPRODUTO").AsString(), "P7");
    };
    grid.show();
    grid.setCurrentIndex(grid.model()->index(0, 2));
    static_cast<QAbstractItemView &>(grid).edit(grid.currentIndex());
    auto *button = grid.viewport()->findChild<QToolButton *>("btnEscolha");
    ASSERT_NE(button, nullptr);
    auto *line = button->parentWidget()->findChild<QLineEdit *>();
    ASSERT_NE(line, nullptr);
    line->setText("P7");
    button->click();
    EXPECT_EQ(choices, 1);
    cds.Cancel();

    grid.setReadOnly(true);
    EXPECT_EQ(grid.editTriggers(), QAbstractItemView::NoEditTriggers);
    // Tab passes by a read-only column also on a grid that takes no typing.
    grid.setCurrentIndex(grid.model()->index(0, 2));
    QTest::keyClick(&grid, Qt::Key_Tab);
    EXPECT_EQ(grid.SelectedField(), "DSGRUPHOMOL");
    EXPECT_EQ(grid.currentIndex().row(), 1);
    grid.setReadOnly(false);
    EXPECT_NE(grid.editTriggers(), QAbstractItemView::NoEditTriggers);

    // A new row on an emptied list keeps the columns as wide as they were.
    const int code = grid.columnWidth(0);
    cds.EmptyDataSet();
    cds.Append();
    EXPECT_EQ(grid.columnWidth(0), code);
    cds.Cancel();
}

TEST(DBGrid, OwnerDrawingNavigatorAndLabel)
{
    Dataset cds("cdsGrupo");
    fillGroups(cds);
    TDataSource source("dtsPadrao", nullptr, &cds);
    TDBGrid grid("dbgPadrao");
    grid.setDataSource(&source);
    grid.setColumns({GridColumn("CDGRUPHOMOL"), GridColumn("IDSTGRUPHOM")});
    QStringList drawn;
    grid.OnDrawColumnCell = [&](TDBGrid &, DrawCell &cell) {
        drawn << cell.field + "=" + cell.value("IDSTGRUPHOM");
        if (cell.field != "IDSTGRUPHOM")
            return false;
        cell.painter->fillRect(cell.rect, QColor(255, 0, 0));
        return true;
    };
    grid.resize(400, 200);
    const QImage image = grid.grab().toImage();
    EXPECT_TRUE(drawn.contains("IDSTGRUPHOM=006"));
    EXPECT_TRUE(drawn.contains("CDGRUPHOMOL=007"));
    const QRect statusCell = grid.visualRect(grid.model()->index(1, 1)).translated(grid.viewport()->pos());
    EXPECT_EQ(image.pixelColor(statusCell.center()), QColor(255, 0, 0));
    const QRect codeCell = grid.visualRect(grid.model()->index(1, 0)).translated(grid.viewport()->pos());
    EXPECT_NE(image.pixelColor(codeCell.center()), QColor(255, 0, 0));

    // A drawing rule that throws leaves the cell drawn the plain way.
    grid.OnDrawColumnCell = [](TDBGrid &, DrawCell &) -> bool { throw std::runtime_error("x"); };
    EXPECT_NO_THROW(grid.grab());

    TDBNavigator navigator("dbnPadrao");
    navigator.setDataSource(&source);
    QList<NavigateBtn> clicks;
    navigator.OnClick = [&](TDBNavigator &, NavigateBtn button) { clicks << button; };
    cds.First();
    EXPECT_FALSE(navigator.button(nbFirst)->isEnabled());
    EXPECT_TRUE(navigator.button(nbNext)->isEnabled());
    navigator.button(nbLast)->click();
    EXPECT_EQ(cds.RecNo(), 3);
    EXPECT_FALSE(navigator.button(nbNext)->isEnabled());
    navigator.button(nbPrior)->click();
    EXPECT_EQ(cds.RecNo(), 2);
    EXPECT_EQ(clicks, QList<NavigateBtn>({nbLast, nbPrior}));

    TDBText label("lblNomeGrupo");
    label.setDataSource(&source, "DSGRUPHOMOL");
    EXPECT_EQ(label.text(), "Folha");
    cds.First();
    EXPECT_EQ(label.text(), "Fiscal");
    cds.Edit();
    cds.FieldByName("DSGRUPHOMOL").setAsString("Fiscal II");
    EXPECT_EQ(label.text(), "Fiscal II");
    cds.Cancel();
    EXPECT_EQ(label.text(), "Fiscal");
}

TEST(Consiste, ImagesAndEnabling)
{
    QImage bitmap(16, 16, QImage::Format_RGB32);
    bitmap.fill(QColor(128, 128, 0));
    bitmap.setPixelColor(8, 8, QColor(0, 0, 0));
    QImage canvas(40, 20, QImage::Format_RGB32);
    canvas.fill(QColor(255, 255, 255));
    {
        QPainter painter(&canvas);
        Consiste::InsereImagem(painter, QRect(10, 0, 20, 20), bitmap, QColor(128, 128, 0));
    }
    EXPECT_EQ(canvas.pixelColor(11 + 8, 2 + 8), QColor(0, 0, 0)) << "1 pixel in from the left, centred in height";
    EXPECT_EQ(canvas.pixelColor(11, 2), QColor(255, 255, 255)) << "the transparent colour is left out";

    QWidget panel;
    auto *child = new QLineEdit(&panel);
    auto *grandChild = new QLineEdit(child);
    Consiste::SetChildEnabled(&panel, false);
    EXPECT_FALSE(panel.isEnabled());
    EXPECT_FALSE(child->isEnabled());
    EXPECT_FALSE(grandChild->isEnabled());
    Consiste::SetChildEnabled(&panel, true);
    EXPECT_TRUE(grandChild->isEnabled());
}

TEST(QtHostUi, PickListFindDialogAndBusyAnimation)
{
    Dataset cds("cdsProd");
    cds.setFields({{"CDARVPROD", FieldType::String, 20, "Arvore"},
                   {"NMPRODUTO", FieldType::String, 50, "Produto"},
                   {"CDPRODUTO", FieldType::String, 10, "Código"}});
    packet::Packet data;
    data.fields = cds.packetFields();
    data.rows = {{QString("P5A"), QString("Retaguarda"), QString("0000000001")},
                 {QString("P6B"), QString("Frente de caixa"), QString("0000000002")},
                 {QString("P15C"), QString("Portal web"), QString("0000000003")},
                 {QString("ERP1"), QString("ERP Exemplo"), QString("0000000004")}};
    cds.setData(data);
    cds.setRecNo(2);

    {
        // Without a column chosen, every column is searched; codes are shown whole.
        PickListDialog pick(cds, "Produto");
        for (int column = 0; column < 3; ++column) {
            const QString widest = column == 2 ? "0000000001" : column == 1 ? "Frente de caixa" : "ERP1";
            EXPECT_GE(pick.grid()->columnWidth(column), pick.grid()->fontMetrics().horizontalAdvance(widest)) << column;
        }
        QTest::keyClicks(pick.searchBox(), "ERP");
        EXPECT_EQ(cds.FieldByName("NMPRODUTO").AsString(), "ERP Exemplo");
        QTest::keyClicks(pick.searchBox(), "X");
        EXPECT_FALSE(pick.statusLabel()->text().isEmpty()) << "nothing begins with ERPX";
        pick.searchBox()->clear();
        QTest::keyClicks(pick.searchBox(), "0000000003");
        EXPECT_EQ(cds.FieldByName("NMPRODUTO").AsString(), "Portal web");
        // A word is found anywhere in a text; a miss says so.
        cds.First();
        pick.searchBox()->clear();
        QTest::keyClicks(pick.searchBox(), "WEB");
        EXPECT_EQ(cds.FieldByName("NMPRODUTO").AsString(), "Portal web");
        pick.columnBox()->setCurrentIndex(1);
        EXPECT_EQ(pick.statusLabel()->text(), "Nenhuma linha contém \"WEB\" em Arvore.");
        pick.reject();
    }
    EXPECT_EQ(cds.RecNo(), 2);

    {
        PickListDialog pick(cds, "Produto");
        EXPECT_EQ(pick.windowTitle(), "Produto");
        EXPECT_EQ(headers(*pick.grid()->model()), QStringList({"Arvore", "Produto", "Código"}));
        QTest::keyClicks(pick.searchBox(), "p15");
        EXPECT_EQ(cds.FieldByName("NMPRODUTO").AsString(), "Portal web");
        pick.accept();
        EXPECT_EQ(pick.result(), QDialog::Accepted);
    }
    EXPECT_EQ(cds.RecNo(), 3);
    {
        PickListDialog pick(cds, "Produto");
        pick.grid()->OnTitleClick(*pick.grid(), 1);
        QTest::keyClicks(pick.searchBox(), "FRENTE");
        EXPECT_EQ(cds.RecNo(), 2);
        pick.reject();
    }
    EXPECT_EQ(cds.RecNo(), 3) << "a cancelled pick list puts the dataset back";

    FindDialog find(cds);
    EXPECT_EQ(find.fieldBox()->count(), 3);
    find.fieldBox()->setCurrentIndex(1);
    find.valueBox()->setText("re");
    EXPECT_TRUE(find.findNext());
    EXPECT_EQ(cds.RecNo(), 1) << "from the row after the current one, round to the top";
    find.valueBox()->setText("r");
    find.partialBox()->setChecked(false);
    EXPECT_FALSE(find.findNext());
    EXPECT_EQ(cds.RecNo(), 1);
    find.partialBox()->setChecked(true);
    find.caseBox()->setChecked(true);
    find.valueBox()->setText("portal");
    EXPECT_FALSE(find.findNext()) << "case matters when asked";
    EXPECT_TRUE(find.found());

    QWidget window;
    window.resize(800, 600);
    QtHostUi ui(&window);
    ui.showBusy("Recebendo dados do servidor...");
    ASSERT_NE(ui.busyIndicator(), nullptr);
    EXPECT_TRUE(ui.busyIndicator()->isVisibleTo(&window));
    EXPECT_EQ(ui.busyIndicator()->caption(), "Recebendo dados do servidor...");
    EXPECT_EQ(ui.busyIndicator()->geometry().center(), window.rect().center());
    // An inner show and hide leaves the outer animation up, with its caption back.
    ui.showBusy("Validando arquivos...");
    EXPECT_EQ(ui.busyIndicator()->caption(), "Validando arquivos...");
    ui.hideBusy();
    EXPECT_TRUE(ui.busyIndicator()->isVisibleTo(&window));
    EXPECT_EQ(ui.busyIndicator()->caption(), "Recebendo dados do servidor...");
    ui.hideBusy();
    EXPECT_FALSE(ui.busyIndicator()->isVisibleTo(&window));
    ui.hideBusy();
    EXPECT_EQ(ui.busyDepth(), 0) << "a hide too many is nothing";
}


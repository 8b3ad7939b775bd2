#include "host/basescreens.h"

#include <QAction>
#include <QPushButton>
#include <QTabWidget>
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

class RecordingScreen : public TfrmPadraoGrid {
public:
    RecordingScreen() : TfrmPadraoGrid("frmTeste", "Tela de teste", "VOP00000")
    {
        cds.setFields({{"CODIGO", FieldType::String, 4, "Código"}, {"NOME", FieldType::String, 20, "Nome"}});
        packet::Packet data;
        data.fields = cds.packetFields();
        data.rows = {{QString("0001"), QString("Um")}, {QString("0002"), QString("Dois")}};
        cds.setData(data);
        dtsPadrao->setDataSet(&cds);
    }
    void FormCreate() override
    {
        TfrmPadraoGrid::FormCreate();
        calls << "FormCreate";
    }
    void FormClose() override
    {
        TfrmPadraoGrid::FormClose();
        calls << "FormClose";
    }
    Dataset cds{"cdsTeste"};
    QStringList calls;
};

class VetoDialog : public TfrmRotiGeral {
public:
    VetoDialog(bool *destroyed) : TfrmRotiGeral("frmVeto", "Diálogo", "VOP00001"), m_destroyed(destroyed) {}
    void FormClose(bool &allowClose) override
    {
        ++closes;
        allowClose = allow;
    }
    void FormDestroy() override { *m_destroyed = true; }
    bool allow = false;
    int closes = 0;

private:
    bool *m_destroyed;
};

}  // namespace

TEST(TfrmPadraoGrid, CommandsTwinsQuestionsAndClosing)
{
    ScriptedUi scripted;
    RecordingScreen screen;
    screen.Create();
    EXPECT_EQ(screen.calls, QStringList({"FormCreate"}));
    EXPECT_EQ(screen.pgcPadrao->count(), 1);
    EXPECT_EQ(screen.pgcPadrao->widget(0), screen.tshPadrao);
    EXPECT_EQ(screen.dbgPadrao->dataSet(), &screen.cds);
    EXPECT_EQ(screen.msgPadraoBase.Msg("Excl"), "Confirma exclusão?");
    EXPECT_TRUE(screen.msgPadraoBase.contains("Canc"));

    // Each tool button carries its menu entry: same enabled state, same command.
    const QList<QPair<QToolButton *, QAction *>> twins = {
        {screen.sbtIncluir, screen.mnuIncluir},   {screen.sbtAlterar, screen.mnuAlterar},
        {screen.sbtExcluir, screen.mnuExcluir},   {screen.sbtProcurar, screen.mnuProcurar},
        {screen.sbtVerificar, screen.mnuVerificar}, {screen.sbtConfirmar, screen.mnuConfirmar},
        {screen.sbtCancelar, screen.mnuCancelar}, {screen.sbtImprimir, screen.mnuImprimir},
        {screen.sbtAjuda, screen.mnuAjuda},       {screen.sbtFechar, screen.mnuFechar}};
    for (const auto &[button, action] : twins) {
        EXPECT_EQ(button->defaultAction(), action) << button->objectName().toStdString();
        EXPECT_EQ(button->isEnabled(), action->isEnabled()) << button->objectName().toStdString();
    }
    EXPECT_TRUE(screen.sbtAlterar->isEnabled());
    EXPECT_FALSE(screen.sbtConfirmar->isEnabled());

    screen.sbtAlterar->click();
    EXPECT_EQ(screen.cds.State(), dsEdit);
    EXPECT_FALSE(screen.sbtIncluir->isEnabled()) << "commands follow the dataset state";
    EXPECT_TRUE(screen.sbtConfirmar->isEnabled());
    EXPECT_TRUE(screen.mnuCancelar->isEnabled());

    // Cancelar asks "Canc": No keeps the change, Yes drops it.
    screen.cds.FieldByName("NOME").setAsString("Um alterado");
    scripted.ui.answer(mbNo);
    screen.sbtCancelar->click();
    EXPECT_EQ(screen.cds.State(), dsEdit);
    scripted.ui.answer(mbYes);
    screen.mnuCancelar->trigger();
    EXPECT_EQ(screen.cds.State(), dsBrowse);
    EXPECT_EQ(screen.cds.FieldByName("NOME").AsString(), "Um");
    EXPECT_EQ(scripted.ui.messages(), QStringList({"Confirma o cancelamento das alterações?",
                                                   "Confirma o cancelamento das alterações?"}));

    // Confirmar posts.
    screen.sbtAlterar->click();
    screen.cds.FieldByName("NOME").setAsString("Um novo");
    screen.sbtConfirmar->click();
    EXPECT_EQ(screen.cds.State(), dsBrowse);
    EXPECT_EQ(screen.cds.ChangeCount(), 1);

    // Excluir asks "Excl" and deletes on Yes only.
    scripted.ui.clear();
    scripted.ui.answer(mbNo);
    screen.sbtExcluir->click();
    EXPECT_EQ(screen.cds.RecordCount(), 2);
    scripted.ui.answer(mbYes);
    screen.sbtExcluir->click();
    EXPECT_EQ(screen.cds.RecordCount(), 1);
    EXPECT_EQ(scripted.ui.messages(), QStringList({"Confirma exclusão?", "Confirma exclusão?"}));
    EXPECT_EQ(scripted.ui.shown()[0].type, DialogType::Confirmation);

    // Incluir inserts; Esc in the grid asks to cancel it.
    screen.sbtIncluir->click();
    EXPECT_EQ(screen.cds.State(), dsInsert);
    scripted.ui.answer(mbYes);
    QTest::keyClick(screen.dbgPadrao, Qt::Key_Escape);
    EXPECT_EQ(screen.cds.State(), dsBrowse);

    // Procurar opens the host's find dialog on the dataset.
    scripted.ui.answerFind("CODIGO", "0002");
    screen.sbtProcurar->click();
    EXPECT_EQ(scripted.ui.shown().last().kind, ScriptedHostUi::Shown::Kind::Find);
    EXPECT_EQ(scripted.ui.shown().last().text, "cdsTeste");

    // Fechar closes the screen; its close handler runs once.
    screen.show();
    screen.sbtFechar->click();
    EXPECT_FALSE(screen.isVisible());
    screen.close();
    EXPECT_EQ(screen.calls, QStringList({"FormCreate", "FormClose"}));
}

TEST(TfrmRotiGeral, EveryWayOfClosingPassesTheCloseCheck)
{
    bool destroyed = false;
    auto *dialog = new VetoDialog(&destroyed);
    dialog->Create();
    dialog->show();
    dialog->sbtCancel->click();
    EXPECT_TRUE(dialog->isVisible()) << "the close check kept the dialog open";
    dialog->sbtConfirm->click();
    EXPECT_TRUE(dialog->isVisible());
    QTest::keyClick(dialog, Qt::Key_Escape);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->closes, 3);
    dialog->allow = true;
    dialog->sbtConfirm->click();
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    TfrmRotiGeral::Free(dialog);
    EXPECT_TRUE(destroyed);
}

// The justification dialog: its look, the states of its confirm button, its keys, the
// question before storing, and the one way out (a confirmed, stored justification).

#include "workflowenv.h"

#include "host/guard.h"
#include "module/exports.h"
#include "workflow/frmjusthomol.h"

#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {

class JustificativaTest : public DataModuleTest {
protected:
    void SetUp() override
    {
        DataModuleTest::SetUp();
        if (IsSkipped())
            return;
        dm = openDataModule();
        boConfirma_Atividade = false;
        stFil = "0001";
        stGrHom = "0000000007";
        stSoli = "0000000108";
        stOper = "0001";
    }
    void TearDown() override
    {
        boConfirma_Atividade = false;
        dm.reset();
        DataModuleTest::TearDown();
    }

    // The dialog as CriaJustificativa makes it, shown without its modal loop.
    std::unique_ptr<TfrmJustHomol> openDialog()
    {
        auto dialog = std::make_unique<TfrmJustHomol>(*dm);
        dialog->Create();
        boPrimeiraAtivacao = true;
        dialog->show();
        dialog->FormActivate();  // the first activation, whether or not the platform reports it
        return dialog;
    }

    QString stored()
    {
        const packet::Packet rows = packetOf(ok("getVdJustificativa", args({stFil, stGrHom, stSoli})));
        return rows.rows.isEmpty() ? QString() : valueAt(rows, 0, "DSALTPROCHOMOL");
    }

    std::unique_ptr<TdmGrupSoliHom> dm;
};

void press(QWidget *target, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QTest::keyClick(target, Qt::Key(key), modifiers);
}

}  // namespace

TEST_F(JustificativaTest, LookAndButtons)
{
    auto dialog = openDialog();
    EXPECT_EQ(dialog->windowTitle(), "Justificativa de Alteração no Processo de Homologação");
    EXPECT_EQ(dialog->screenCode(), "VOP42003");
    EXPECT_EQ(dialog->size(), QSize(754, 232));
    EXPECT_FALSE(dialog->windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(dialog->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(dialog->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(dialog->isSizeGripEnabled());
    EXPECT_TRUE(dialog->fpnResposta->isVisible());
    EXPECT_TRUE(dialog->redJustificativa->toPlainText().isEmpty());
    EXPECT_TRUE(dialog->sbtConfirma->text().isEmpty());
    EXPECT_FALSE(dialog->sbtCancel->isEnabled());
    EXPECT_FALSE(dialog->sbtConfirma->isEnabled()) << "disabled on the first activation";
    EXPECT_EQ(dialog->msgPadrao.Msg("RESP_INF"), "Justificativa deve ser informada");

    // Enabled exactly while the text is not blank; blanks and line breaks are nothing.
    struct Case {
        const char *text;
        bool enabled;
    };
    for (const Case &c : {Case{"   ", false}, Case{"\n \n\t", false}, Case{"Testado", true}, Case{"", false},
                          Case{"\n ok \n", true}}) {
        dialog->redJustificativa->setPlainText(QString::fromUtf8(c.text));
        EXPECT_EQ(dialog->sbtConfirma->isEnabled(), c.enabled) << c.text;
    }
    // A later activation (after a message box) enables it again, for a text that is there.
    dialog->sbtConfirma->setEnabled(false);
    dialog->FormActivate();
    EXPECT_TRUE(dialog->sbtConfirma->isEnabled());
    dialog->redJustificativa->setPlainText("  ");
    dialog->FormActivate();
    EXPECT_FALSE(dialog->sbtConfirma->isEnabled());
    EXPECT_FALSE(boPrimeiraAtivacao);
}

TEST_F(JustificativaTest, ConfirmingStoresTheText)
{
    auto dialog = openDialog();
    dialog->redJustificativa->setPlainText("Validada pelo cliente");

    // No: the dialog stays with its text, nothing stored.
    ui.answer(mbNo);
    dialog->sbtConfirma->click();
    EXPECT_EQ(ui.messages(), QStringList({"Confirmar Operação ?"}));
    EXPECT_EQ(ui.shown().last().type, DialogType::Confirmation);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->redJustificativa->toPlainText(), "Validada pelo cliente");
    EXPECT_FALSE(boConfirma_Atividade);
    EXPECT_EQ(stored(), "");

    // Yes: stored for the request and the operator, and the dialog closes accepted.
    ui.clear();
    ui.answer(mbYes);
    dialog->sbtConfirma->click();
    EXPECT_EQ(ui.messages(), QStringList({"Confirmar Operação ?"}));
    EXPECT_TRUE(boConfirma_Atividade);
    EXPECT_EQ(stored(), "Validada pelo cliente");
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(stFil, "0001") << "what the server writes back is not read";
    EXPECT_TRUE(boPrimeiraAtivacao) << "closing readies the next dialog's first activation";
}

TEST_F(JustificativaTest, KeysThatDoNotLeave)
{
    auto dialog = openDialog();
    // Ctrl+Enter with an empty text does nothing.
    press(dialog->redJustificativa, Qt::Key_Return, Qt::ControlModifier);
    EXPECT_TRUE(ui.messages().isEmpty());
    // Alt+F4 and Esc do not close it.
    press(dialog->redJustificativa, Qt::Key_F4, Qt::AltModifier);
    press(dialog.get(), Qt::Key_F4, Qt::AltModifier);
    press(dialog->redJustificativa, Qt::Key_Escape);
    press(dialog.get(), Qt::Key_Escape);
    EXPECT_TRUE(dialog->isVisible());
    // Typing enables the confirm button; Ctrl+Enter confirms instead of breaking the line.
    QTest::keyClicks(dialog->redJustificativa, "Regerar");
    EXPECT_TRUE(dialog->sbtConfirma->isEnabled());
    ui.answer(mbYes);
    press(dialog->redJustificativa, Qt::Key_Enter, Qt::ControlModifier);
    EXPECT_EQ(ui.messages(), QStringList({"Confirmar Operação ?"}));
    EXPECT_EQ(stored(), "Regerar");
    EXPECT_FALSE(dialog->isVisible());
}

TEST_F(JustificativaTest, AFailedStoreKeepsTheDialog)
{
    stSoli = "0000000101";  // not a request of group 7: the server refuses it
    auto dialog = openDialog();
    dialog->redJustificativa->setPlainText("Texto");
    ui.answer(mbYes);
    dialog->sbtConfirma->click();
    ASSERT_EQ(ui.messages().size(), 2);
    EXPECT_TRUE(ui.messages()[1].contains("0000000101")) << ui.messages()[1].toStdString();
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_TRUE(boConfirma_Atividade);

    // Once a justification was confirmed, closing with an empty text is refused.
    ui.clear();
    dialog->redJustificativa->setPlainText("\n\n");
    dialog->done(QDialog::Rejected);
    EXPECT_EQ(ui.messages(), QStringList({"Justificativa deve ser informada"}));
    EXPECT_TRUE(dialog->isVisible());
}

TEST_F(JustificativaTest, CriaJustificativaRunsTheDialogModally)
{
    bool sawDialog = false;
    QTimer::singleShot(0, [&] {
        sawDialog = frmJustHomol != nullptr && frmJustHomol->isVisible();
        if (!frmJustHomol)
            return;
        EXPECT_EQ(stSoli, "0000000108");
        // The first activation disables the confirm button.
        EXPECT_TRUE(QTest::qWaitFor([] { return !frmJustHomol->sbtConfirma->isEnabled(); }, 2000));
        frmJustHomol->redJustificativa->setPlainText("Homologar: validada sem erro");
        ui.answer(mbYes);
        frmJustHomol->sbtConfirma->click();
    });
    EXPECT_TRUE(CriaJustificativa(*dm, "0001", "0000000007", "0000000108", "0001"));
    EXPECT_TRUE(sawDialog);
    EXPECT_EQ(frmJustHomol, nullptr) << "the dialog lives for one call";
    EXPECT_EQ(stored(), "Homologar: validada sem erro");

    // Without a window (the command line) there is nobody to ask.
    ui.setHeadless(true);
    EXPECT_THROW(CriaJustificativa(*dm, "0001", "0000000007", "0000000108", "0001"), EHomologa);
    ui.setHeadless(false);
}

// The dialog names the request and the decision; once a confirm could not store the text
// the operator may abandon it (nothing stored, false to the caller); it never minimises.
TEST_F(JustificativaTest, TheOperatorMayAbandonWhatCouldNotBeStored)
{
    bool abandoned = false;
    QTimer::singleShot(0, [&] {
        if (!frmJustHomol)
            return;
        EXPECT_EQ(frmJustHomol->lblAssunto->text(), "Solicitação 0001/0000000108 - Ajuste, do grupo 0000000007\nDecisão: Regerar");
        EXPECT_FALSE(frmJustHomol->sbtCancel->isEnabled()) << "no way out before a confirm failed";
        frmJustHomol->showMinimized();
        QApplication::processEvents();
        QApplication::processEvents();
        EXPECT_FALSE(frmJustHomol->isMinimized());
        frmJustHomol->redJustificativa->setPlainText("Regerar: erro de compilação");
        stSoli = "0000000101";  // refused by the server
        ui.answer(mbYes);
        frmJustHomol->sbtConfirma->click();
        ASSERT_TRUE(frmJustHomol->sbtCancel->isEnabled());
        EXPECT_TRUE(ui.messages().last().endsWith("A justificativa não foi gravada. Confirme de novo, ou use Abandonar para "
                                                  "deixar a decisão como estava."));
        abandoned = true;
        frmJustHomol->sbtCancel->click();
    });
    EXPECT_FALSE(CriaJustificativa(*dm, "0001", "0000000007", "0000000108", "0001",
                                   "Solicitação 0001/0000000108 - Ajuste, do grupo 0000000007\nDecisão: Regerar"));
    EXPECT_TRUE(abandoned);
    EXPECT_EQ(frmJustHomol, nullptr);
    stSoli = "0000000108";
    EXPECT_EQ(stored(), QString());
}

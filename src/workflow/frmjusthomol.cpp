#include "workflow/frmjusthomol.h"

#include "datamodule/dmgrupsolihom.h"
#include "host/consiste.h"
#include "host/guard.h"
#include "host/hostapp.h"
#include "module/exports.h"

#include <QApplication>
#include <QCloseEvent>
#include <QPointer>
#include <QScopeGuard>
#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

// The module-wide variables of the dialog (exported with the module's entry points).
TfrmJustHomol *frmJustHomol = nullptr;
QString stFil, stGrHom, stSoli, stOper;
bool boConfirma_Atividade = false;
bool boPrimeiraAtivacao = true;

TfrmJustHomol::TfrmJustHomol(TdmGrupSoliHom &dm, QWidget *parent)
    : TfrmRotiGeral(QStringLiteral("frmJustHomol"), QStringLiteral("Justificativa de Alteração no Processo de Homologação"),
                    QStringLiteral("VOP42003"), parent),
      dm(dm)
{
    // Sizeable, with no close, minimise or maximise box.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setSizeGripEnabled(true);
    resize(754, 232);
    msgPadrao.setEntries({QStringLiteral("RESP_INF|Justificativa deve ser informada")});

    auto *layout = new QVBoxLayout(pnlPrincipal);
    layout->setContentsMargins(0, 0, 0, 0);
    fpnResposta = new QFrame(pnlPrincipal);
    fpnResposta->setObjectName(QStringLiteral("fpnResposta"));
    fpnResposta->setFrameShape(QFrame::StyledPanel);
    auto *resposta = new QVBoxLayout(fpnResposta);
    resposta->setContentsMargins(6, 4, 6, 4);
    lblAssunto = new QLabel(fpnResposta);
    lblAssunto->setObjectName(QStringLiteral("lblAssunto"));
    lblAssunto->setWordWrap(true);
    QFont destaque = lblAssunto->font();
    destaque.setBold(true);
    lblAssunto->setFont(destaque);
    resposta->addWidget(lblAssunto);
    layout->addWidget(fpnResposta);
    redJustificativa = new QPlainTextEdit(pnlPrincipal);
    redJustificativa->setObjectName(QStringLiteral("redJustificativa"));
    layout->addWidget(redJustificativa, 1);
    redJustificativa->installEventFilter(this);
    connect(redJustificativa, &QPlainTextEdit::textChanged, this, [this] { redJustificativaChange(); });

    sbtConfirma = sbtConfirm;
    sbtConfirma->setText(QString());
    sbtConfirma->setToolTip(QStringLiteral("Confirmar"));
    sbtCancel->setEnabled(false);  // the decision is not left without a reason
    sbtCancel->setText(QStringLiteral("Abandonar"));
    sbtCancel->setToolTip(QStringLiteral("Deixar a justificativa sem gravar: a decisão não é feita."));
}

void TfrmJustHomol::FormCreate()
{
    TfrmRotiGeral::FormCreate();
    redJustificativa->clear();
}

bool TfrmJustHomol::JustificativaVazia() const
{
    return Consiste::EmptyString(Consiste::AllTrim(redJustificativa->toPlainText()));
}

void TfrmJustHomol::redJustificativaChange() { sbtConfirma->setEnabled(!JustificativaVazia()); }

void TfrmJustHomol::FormActivate()
{
    repaint();
    if (boPrimeiraAtivacao) {
        sbtConfirma->setEnabled(false);
        boPrimeiraAtivacao = false;
    } else {
        sbtConfirma->setEnabled(!JustificativaVazia());
    }
}

void TfrmJustHomol::sbtConfirmClick()
{
    if (hostUi().showMessage(QStringLiteral("Confirmar Operação ?"), DialogType::Confirmation, mbYes | mbNo) != mbYes)
        return;
    boConfirma_Atividade = true;
    // The key goes by reference; what the server writes back is not read.
    QString filial = stFil, grupo = stGrHom, solicitacao = stSoli, operador = stOper;
    const ServerAnswer answer =
        dm.Chama(QStringLiteral("setInsereJustificativa"),
                 {RemoteArg::ref(filial), RemoteArg::ref(grupo), RemoteArg::ref(solicitacao), RemoteArg::ref(operador),
                  redJustificativa->toPlainText()});
    if (!answer.ok) {
        // The operator may try again, or leave: nothing then depends on the server coming back.
        sbtCancel->setEnabled(true);
        Consiste::MensErro(answer.error + QStringLiteral("\r\n\r\nA justificativa não foi gravada. Confirme de novo, ou "
                                                         "use Abandonar para deixar a decisão como estava."),
                           true);
    }
    accept();
}

void TfrmJustHomol::sbtCancelClick()
{
    if (!sbtCancel->isEnabled())
        return;
    m_abandonando = true;
    reject();
    m_abandonando = false;
}

void TfrmJustHomol::FormClose(bool &allowClose)
{
    QString texto = redJustificativa->toPlainText();
    texto.remove(u'\r').remove(u'\n');
    if (boConfirma_Atividade && !m_abandonando && Consiste::EmptyString(Consiste::AllTrim(texto))) {
        allowClose = false;
        Consiste::MensErro(msgPadrao.Msg(QStringLiteral("RESP_INF")), true);
    }
    TfrmRotiGeral::FormClose(allowClose);
    boPrimeiraAtivacao = true;
}

void TfrmJustHomol::showEvent(QShowEvent *event)
{
    TfrmRotiGeral::showEvent(event);
    sbtConfirma->setEnabled(true);
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect frame = geometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

void TfrmJustHomol::changeEvent(QEvent *event)
{
    TfrmRotiGeral::changeEvent(event);
    // Minimised, the modal dialog would take the whole application out of sight with it.
    if (event->type() == QEvent::WindowStateChange && (windowState() & Qt::WindowMinimized)) {
        QMetaObject::invokeMethod(this, [this] { setWindowState(windowState() & ~Qt::WindowMinimized); },
                                  Qt::QueuedConnection);
        return;
    }
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        host::runGuarded([this] { FormActivate(); });
}

bool TfrmJustHomol::TeclaDoDialogo(QKeyEvent *event)
{
    const Qt::KeyboardModifiers modifiers = event->modifiers() & (Qt::AltModifier | Qt::ControlModifier | Qt::ShiftModifier);
    // Neither Alt+F4 nor Esc leaves the dialog: the decision waits for its reason.
    if ((event->key() == Qt::Key_F4 && modifiers == Qt::AltModifier) || event->key() == Qt::Key_Escape)
        return true;
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && modifiers == Qt::ControlModifier) {
        if (sbtConfirma->isEnabled())
            host::runGuarded([this] { sbtConfirmClick(); });
        return true;
    }
    return false;
}

void TfrmJustHomol::keyPressEvent(QKeyEvent *event)
{
    if (TeclaDoDialogo(event)) {
        event->accept();
        return;
    }
    TfrmRotiGeral::keyPressEvent(event);
}

bool TfrmJustHomol::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == redJustificativa && event->type() == QEvent::KeyPress && TeclaDoDialogo(static_cast<QKeyEvent *>(event)))
        return true;
    return TfrmRotiGeral::eventFilter(watched, event);
}

void TfrmJustHomol::closeEvent(QCloseEvent *event)
{
    // The window manager's close (Alt+F4 where the system handles it) is swallowed too.
    if (event->spontaneous()) {
        event->ignore();
        return;
    }
    TfrmRotiGeral::closeEvent(event);
}

bool CriaJustificativa(TdmGrupSoliHom &dm, const QString &filial, const QString &grupo, const QString &solicitacao,
                       const QString &operador, const QString &assunto)
{
    if (hostUi().headless())
        throw EHomologa(QStringLiteral("A justificativa da solicitação %1 só pode ser informada na tela de homologação.")
                            .arg(solicitacao));
    stFil = filial;
    stGrHom = grupo;
    stSoli = solicitacao;
    stOper = operador;
    // The keys go back where they were when the dialog closes: without it no window has
    // the focus until the operator clicks one.
    const QPointer<QWidget> focoAnterior = QApplication::focusWidget();
    const auto devolveFoco = qScopeGuard([focoAnterior] {
        QWidget *alvo = focoAnterior ? focoAnterior.data() : host::mainWindow();
        if (!alvo)
            return;
        alvo->activateWindow();
        alvo->setFocus(Qt::OtherFocusReason);
    });
    auto *dialog = new TfrmJustHomol(dm, host::mainWindow());
    frmJustHomol = dialog;
    int result = QDialog::Rejected;
    try {
        dialog->Create();
        dialog->lblAssunto->setText(assunto.isEmpty()
                                        ? QStringLiteral("Solicitação %1/%2 do grupo %3").arg(filial, solicitacao, grupo)
                                        : assunto);
        boPrimeiraAtivacao = true;
        result = dialog->exec();
    } catch (...) {
        frmJustHomol = nullptr;
        TfrmRotiGeral::Free(dialog);
        throw;
    }
    frmJustHomol = nullptr;
    TfrmRotiGeral::Free(dialog);
    return result == QDialog::Accepted;
}

#pragma once

// TfrmJustHomol, "Justificativa de Alteração no Processo de Homologação" (VOP42003): asks
// the operator why a request's homologation decision changed and stores the text with the
// request. The dialog offers one way out: a confirmed, stored justification.

#include "host/basescreens.h"

class QFrame;
class QLabel;
class QPlainTextEdit;
class TdmGrupSoliHom;

class TfrmJustHomol : public TfrmRotiGeral {
    Q_OBJECT
public:
    // The dialog stores through the data module's connection.
    explicit TfrmJustHomol(TdmGrupSoliHom &dm, QWidget *parent = nullptr);

    QFrame *fpnResposta;
    QLabel *lblAssunto;  // in fpnResposta: the request and the decision being justified
    QPlainTextEdit *redJustificativa;
    // sbtConfirma is the base's confirm button.
    QPushButton *sbtConfirma;

    void FormCreate() override;
    void FormClose(bool &allowClose) override;
    void sbtConfirmClick() override;
    // Offered once a confirm could not store the justification: the operator may leave the
    // dialog, and the decision is not made.
    void sbtCancelClick() override;
    // Each activation: the first disables the confirm button, the later ones (after a
    // message box was in front) enable it again for a text that is not blank.
    void FormActivate();
    void redJustificativaChange();
    // The editor's text is blank (spaces and line breaks count as nothing).
    bool JustificativaVazia() const;

protected:
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // True when the key was one the dialog takes for itself.
    bool TeclaDoDialogo(QKeyEvent *event);
    TdmGrupSoliHom &dm;
    bool m_abandonando = false;
};

// The next activation of the dialog is its first one.
extern bool boPrimeiraAtivacao;

// Opens the justification dialog for the request (branch, group, number) and the operator,
// modally, through the data module's connection; `assunto` says at its top what is being
// justified (by default the request and its group). True when a justification was
// confirmed and stored; false when the operator abandoned it.
bool CriaJustificativa(TdmGrupSoliHom &dm, const QString &filial, const QString &grupo, const QString &solicitacao,
                       const QString &operador, const QString &assunto = {});

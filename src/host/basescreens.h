#pragma once

// The host's base screens.
//
// TfrmPadraoGrid: the maintenance screen — a page control whose first page holds the
// grid dbgPadrao, the record navigator dbnPadrao, the data source dtsPadrao, the screen's
// message table msgPadrao, the standard questions ("Excl", "Canc") in msgPadraoBase, and
// the commands Incluir, Alterar, Excluir, Procurar, Verificar, Confirmar and Cancelar as
// tool buttons (sbt...) that share their enabled state with their twin menu entries
// (mnu...), plus Imprimir, Ajuda and Fechar.
//
// TfrmRotiGeral: the dialog — confirm and cancel buttons and a message table.
//
// Screens are built in two steps: the constructor makes the widgets, Create() runs
// FormCreate (which a screen overrides, calling the base first).

#include "host/dbgrid.h"
#include "host/messages.h"

#include <QDialog>
#include <QKeySequence>

#include <functional>
#include <QWidget>

class QAction;
class QLabel;
class QMenu;
class QMenuBar;
class QTabWidget;
class QToolBar;
class QToolButton;
class QVBoxLayout;
class QHBoxLayout;

class TfrmPadraoGrid : public QWidget {
    Q_OBJECT
public:
    TfrmPadraoGrid(const QString &name, const QString &caption, const QString &screenCode, QWidget *parent = nullptr);
    ~TfrmPadraoGrid() override;

    // Runs FormCreate; a failure goes up to the caller.
    void Create();
    QString screenCode() const { return m_screenCode; }

    // ---- components
    QMenuBar *mnuPadrao;
    QMenu *mnuArquivo;
    QMenu *mnuEditar;
    QMenu *mnuAjudaMenu;
    QToolBar *tlbPadrao;
    QTabWidget *pgcPadrao;
    QWidget *tshPadrao;
    TDBGrid *dbgPadrao;
    TDBNavigator *dbnPadrao;
    TDataSource *dtsPadrao;
    QWidget *pnlRodape;      // below the pages
    QHBoxLayout *lytRodape;  // its layout, for the screen's own controls
    QLabel *lblCodigoTela;
    TMessages msgPadrao;
    TMessages msgPadraoBase;

    QAction *mnuIncluir, *mnuAlterar, *mnuExcluir, *mnuProcurar, *mnuVerificar, *mnuConfirmar, *mnuCancelar;
    QAction *mnuImprimir, *mnuListar, *mnuConfigurarImpressora, *mnuAjuda, *mnuFechar;
    QToolButton *sbtIncluir, *sbtAlterar, *sbtExcluir, *sbtProcurar, *sbtVerificar, *sbtConfirmar, *sbtCancelar;
    QToolButton *sbtImprimir, *sbtAjuda, *sbtFechar;

    // Adds a tool button after the base commands, with its own action (its twin).
    QToolButton *addToolButton(QAction *action, const QString &buttonName);
    // Gives a command its shortcut, active anywhere in the screen, and names it in the hint.
    void setCommandShortcut(QAction *action, const QKeySequence &shortcut);

    // An operation that holds the screen while it lives: the menus, the tool bar, the pages
    // and what sits below them take no command until it ends (the windows the operation
    // opens stay usable). Operations nest.
    class Operacao {
    public:
        explicit Operacao(TfrmPadraoGrid &screen);
        ~Operacao();
        Operacao(const Operacao &) = delete;
        Operacao &operator=(const Operacao &) = delete;

    private:
        TfrmPadraoGrid &m_screen;
    };
    bool emOperacao() const { return m_operacoes > 0; }

    // ---- handlers (a screen overrides them and runs the base first where it says so)
    virtual void FormCreate();
    virtual void FormClose();
    // true when the key was handled.
    virtual bool dbgPadraoKeyDown(TDBGrid &grid, QKeyEvent *event);
    virtual void sbtIncluirClick();
    virtual void sbtAlterarClick();
    virtual void sbtExcluirClick();
    virtual void sbtProcurarClick();
    virtual void sbtVerificarClick();
    virtual void sbtConfirmarClick();
    virtual void sbtCancelarClick();
    virtual void sbtImprimirClick();
    virtual void sbtAjudaClick();
    virtual void sbtFecharClick();
    // Standard command states from the state of the commands' dataset.
    virtual void dtsPadraoStateChange();
    // The dataset the commands act on (the page's).
    virtual Dataset *commandDataSet() const;

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    // The commands follow the data again once an operation let the screen go.
    virtual void OperacaoTerminou() { dtsPadraoStateChange(); }
    // Runs a command unless an operation holds the screen.
    void comando(const std::function<void()> &handler);
    QVBoxLayout *lytPrincipal;

private:
    QAction *command(const QString &name, const QString &text, const QString &hint, int icon, QMenu *menu,
                     QToolButton **button, const QString &buttonName, void (TfrmPadraoGrid::*handler)());
    QString m_screenCode;
    bool m_closed = false;
    int m_operacoes = 0;
};

class TfrmRotiGeral : public QDialog {
    Q_OBJECT
public:
    TfrmRotiGeral(const QString &name, const QString &caption, const QString &screenCode, QWidget *parent = nullptr);

    void Create();
    // Runs FormDestroy, then deletes the dialog.
    static void Free(TfrmRotiGeral *dialog);
    QString screenCode() const { return m_screenCode; }

    QWidget *pnlPrincipal;  // the dialog's own controls go here
    QPushButton *sbtConfirm;
    QPushButton *sbtCancel;
    TMessages msgPadrao;

    virtual void FormCreate();
    // Leaving `allowClose` true lets the dialog close.
    virtual void FormClose(bool &allowClose);
    virtual void FormDestroy();
    virtual void sbtConfirmClick();
    virtual void sbtCancelClick();

    // Every way of closing (confirm, cancel, Esc, the title bar) passes FormClose.
    void done(int result) override;

private:
    QString m_screenCode;
};

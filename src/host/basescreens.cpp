#include "basescreens.h"

#include "host/consiste.h"
#include "host/guard.h"
#include "host/services.h"

#include <QAction>
#include <QApplication>
#include <QPointer>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStyle>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

// ====================================================================== TfrmPadraoGrid

TfrmPadraoGrid::TfrmPadraoGrid(const QString &name, const QString &caption, const QString &screenCode, QWidget *parent)
    : QWidget(parent), m_screenCode(screenCode)
{
    setObjectName(name);
    setWindowTitle(caption);
    msgPadraoBase.setEntries({QStringLiteral("Excl|Confirma exclusão?"),
                              QStringLiteral("Canc|Confirma o cancelamento das alterações?")});

    lytPrincipal = new QVBoxLayout(this);
    lytPrincipal->setContentsMargins(4, 0, 4, 4);
    lytPrincipal->setSpacing(4);

    mnuPadrao = new QMenuBar(this);
    mnuPadrao->setObjectName(QStringLiteral("mnuPadrao"));
    mnuPadrao->setNativeMenuBar(false);
    lytPrincipal->setMenuBar(mnuPadrao);
    mnuArquivo = mnuPadrao->addMenu(QStringLiteral("&Arquivo"));
    mnuArquivo->setObjectName(QStringLiteral("mnuArquivo"));
    mnuEditar = mnuPadrao->addMenu(QStringLiteral("&Editar"));
    mnuEditar->setObjectName(QStringLiteral("mnuEditar"));

    tlbPadrao = new QToolBar(this);
    tlbPadrao->setObjectName(QStringLiteral("tlbPadrao"));
    tlbPadrao->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    tlbPadrao->setIconSize(QSize(20, 20));
    lytPrincipal->addWidget(tlbPadrao);

    mnuIncluir = command("mnuIncluir", "&Incluir", "Incluir", QStyle::SP_FileDialogNewFolder, mnuEditar, &sbtIncluir,
                         "sbtIncluir", &TfrmPadraoGrid::sbtIncluirClick);
    mnuAlterar = command("mnuAlterar", "&Alterar", "Alterar", QStyle::SP_FileDialogDetailedView, mnuEditar,
                         &sbtAlterar, "sbtAlterar", &TfrmPadraoGrid::sbtAlterarClick);
    mnuExcluir = command("mnuExcluir", "E&xcluir", "Excluir", QStyle::SP_TrashIcon, mnuEditar, &sbtExcluir,
                         "sbtExcluir", &TfrmPadraoGrid::sbtExcluirClick);
    mnuEditar->addSeparator();
    tlbPadrao->addSeparator();
    mnuProcurar = command("mnuProcurar", "&Procurar", "Procurar", QStyle::SP_FileDialogContentsView, mnuEditar,
                          &sbtProcurar, "sbtProcurar", &TfrmPadraoGrid::sbtProcurarClick);
    mnuVerificar = command("mnuVerificar", "&Verificar", "Verificar", QStyle::SP_BrowserReload, mnuEditar,
                           &sbtVerificar, "sbtVerificar", &TfrmPadraoGrid::sbtVerificarClick);
    mnuEditar->addSeparator();
    tlbPadrao->addSeparator();
    mnuConfirmar = command("mnuConfirmar", "&Confirmar", "Confirmar", QStyle::SP_DialogApplyButton, mnuEditar,
                           &sbtConfirmar, "sbtConfirmar", &TfrmPadraoGrid::sbtConfirmarClick);
    mnuCancelar = command("mnuCancelar", "Ca&ncelar", "Cancelar", QStyle::SP_DialogCancelButton, mnuEditar,
                          &sbtCancelar, "sbtCancelar", &TfrmPadraoGrid::sbtCancelarClick);
    tlbPadrao->addSeparator();
    mnuImprimir = command("mnuImprimir", "&Imprimir", "Imprimir", QStyle::SP_DriveFDIcon, mnuArquivo, &sbtImprimir,
                          "sbtImprimir", &TfrmPadraoGrid::sbtImprimirClick);
    mnuListar = mnuArquivo->addAction(QStringLiteral("&Listar"));
    mnuListar->setObjectName(QStringLiteral("mnuListar"));
    connect(mnuListar, &QAction::triggered, this, [this] { comando([this] { sbtImprimirClick(); }); });
    mnuConfigurarImpressora = mnuArquivo->addAction(QStringLiteral("Configurar i&mpressora..."));
    mnuConfigurarImpressora->setObjectName(QStringLiteral("mnuConfigurarImpressora"));
    connect(mnuConfigurarImpressora, &QAction::triggered, this, [this] { comando([this] { sbtImprimirClick(); }); });
    mnuArquivo->addSeparator();
    mnuAjudaMenu = mnuPadrao->addMenu(QStringLiteral("A&juda"));
    mnuAjudaMenu->setObjectName(QStringLiteral("mnuAjudaMenu"));
    mnuAjuda = command("mnuAjuda", "&Ajuda", "Ajuda", QStyle::SP_MessageBoxQuestion, mnuAjudaMenu, &sbtAjuda, "sbtAjuda",
                       &TfrmPadraoGrid::sbtAjudaClick);
    mnuFechar = command("mnuFechar", "&Fechar", "Fechar", QStyle::SP_DialogCloseButton, mnuArquivo, &sbtFechar,
                        "sbtFechar", &TfrmPadraoGrid::sbtFecharClick);

    pgcPadrao = new QTabWidget(this);
    pgcPadrao->setObjectName(QStringLiteral("pgcPadrao"));
    tshPadrao = new QWidget(pgcPadrao);
    tshPadrao->setObjectName(QStringLiteral("tshPadrao"));
    auto *pageLayout = new QVBoxLayout(tshPadrao);
    pageLayout->setContentsMargins(2, 2, 2, 2);
    dtsPadrao = new TDataSource(QStringLiteral("dtsPadrao"), this);
    dbgPadrao = new TDBGrid(QStringLiteral("dbgPadrao"), tshPadrao);
    dbgPadrao->setDataSource(dtsPadrao);
    pageLayout->addWidget(dbgPadrao);
    pgcPadrao->addTab(tshPadrao, caption);
    lytPrincipal->addWidget(pgcPadrao, 1);

    pnlRodape = new QWidget(this);
    pnlRodape->setObjectName(QStringLiteral("pnlRodape"));
    lytRodape = new QHBoxLayout(pnlRodape);
    lytRodape->setContentsMargins(0, 0, 0, 0);
    dbnPadrao = new TDBNavigator(QStringLiteral("dbnPadrao"), pnlRodape);
    dbnPadrao->setDataSource(dtsPadrao);
    lytRodape->addWidget(dbnPadrao);
    lytRodape->addStretch(1);
    lblCodigoTela = new QLabel(screenCode, pnlRodape);
    lblCodigoTela->setObjectName(QStringLiteral("lblCodigoTela"));
    lblCodigoTela->setEnabled(false);
    lytRodape->addWidget(lblCodigoTela);
    lytPrincipal->addWidget(pnlRodape);

    const struct {
        QAction *action;
        QKeySequence keys;
    } shortcuts[] = {{mnuIncluir, QKeySequence(Qt::CTRL | Qt::Key_N)},     {mnuAlterar, QKeySequence(Qt::CTRL | Qt::Key_E)},
                     {mnuExcluir, QKeySequence(Qt::CTRL | Qt::Key_Delete)}, {mnuProcurar, QKeySequence(Qt::CTRL | Qt::Key_F)},
                     {mnuVerificar, QKeySequence(Qt::Key_F5)},               {mnuConfirmar, QKeySequence(Qt::CTRL | Qt::Key_S)},
                     {mnuCancelar, QKeySequence(Qt::CTRL | Qt::Key_Z)},      {mnuAjuda, QKeySequence(Qt::Key_F1)},
                     {mnuFechar, QKeySequence(Qt::CTRL | Qt::Key_W)}};
    for (const auto &entry : shortcuts)
        setCommandShortcut(entry.action, entry.keys);

    dbgPadrao->OnKeyDown = [this](TDBGrid &grid, QKeyEvent *event) { return dbgPadraoKeyDown(grid, event); };
    dtsPadrao->OnStateChange = [this](TDataSource &) { dtsPadraoStateChange(); };
}

TfrmPadraoGrid::~TfrmPadraoGrid() = default;

QAction *TfrmPadraoGrid::command(const QString &name, const QString &text, const QString &hint, int icon, QMenu *menu,
                                 QToolButton **button, const QString &buttonName, void (TfrmPadraoGrid::*handler)())
{
    auto *action = new QAction(style()->standardIcon(QStyle::StandardPixmap(icon)), text, this);
    action->setObjectName(name);
    action->setToolTip(hint);
    action->setIconText(hint);
    menu->addAction(action);
    connect(action, &QAction::triggered, this, [this, handler] { comando([this, handler] { (this->*handler)(); }); });
    *button = addToolButton(action, buttonName);
    return action;
}

void TfrmPadraoGrid::comando(const std::function<void()> &handler)
{
    // A shortcut still reaches an action while an operation holds the screen.
    if (emOperacao())
        return;
    const QPointer<QWidget> foco = QApplication::focusWidget();
    const QPointer<TfrmPadraoGrid> tela(this);
    host::runGuarded(handler);
    // A dialog the command opened and closed may leave no window with the keys: they come
    // back to where they were in the screen (unless the operator went to another window).
    if (!tela || !isVisible() || (QApplication::activeWindow() && QApplication::activeWindow() != window()))
        return;
    if (QApplication::activeWindow() && QApplication::focusWidget() && isAncestorOf(QApplication::focusWidget()))
        return;
    window()->activateWindow();
    if (foco && isAncestorOf(foco))
        foco->setFocus(Qt::OtherFocusReason);
    else
        dbgPadrao->setFocus(Qt::OtherFocusReason);
}

void TfrmPadraoGrid::setCommandShortcut(QAction *action, const QKeySequence &shortcut)
{
    action->setShortcut(shortcut);
    action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    if (!actions().contains(action))
        addAction(action);
    const QString hint = action->toolTip();
    action->setToolTip(QStringLiteral("%1 (%2)").arg(hint, shortcut.toString(QKeySequence::NativeText)));
}

TfrmPadraoGrid::Operacao::Operacao(TfrmPadraoGrid &screen) : m_screen(screen)
{
    if (m_screen.m_operacoes++ > 0)
        return;
    for (QWidget *part : {static_cast<QWidget *>(m_screen.mnuPadrao), static_cast<QWidget *>(m_screen.tlbPadrao),
                          static_cast<QWidget *>(m_screen.pgcPadrao), m_screen.pnlRodape})
        part->setEnabled(false);
}

TfrmPadraoGrid::Operacao::~Operacao()
{
    if (--m_screen.m_operacoes > 0)
        return;
    for (QWidget *part : {static_cast<QWidget *>(m_screen.mnuPadrao), static_cast<QWidget *>(m_screen.tlbPadrao),
                          static_cast<QWidget *>(m_screen.pgcPadrao), m_screen.pnlRodape})
        part->setEnabled(true);
    host::runGuarded([this] { m_screen.OperacaoTerminou(); });
}

QToolButton *TfrmPadraoGrid::addToolButton(QAction *action, const QString &buttonName)
{
    auto *button = new QToolButton(tlbPadrao);
    button->setObjectName(buttonName);
    button->setDefaultAction(action);
    button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    button->setAutoRaise(true);
    tlbPadrao->addWidget(button);
    return button;
}

void TfrmPadraoGrid::Create() { FormCreate(); }

void TfrmPadraoGrid::FormCreate() { dtsPadraoStateChange(); }

void TfrmPadraoGrid::FormClose() {}

void TfrmPadraoGrid::closeEvent(QCloseEvent *event)
{
    if (!m_closed) {
        m_closed = true;
        host::runGuarded([this] { FormClose(); });
    }
    event->accept();
}

void TfrmPadraoGrid::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // The window frame of the host's work area offers its own Close (Ctrl+W) in its system
    // menu: two commands on one key make the key do nothing. The screen's Fechar (which asks
    // about a row still being typed) keeps the key.
    auto *frame = qobject_cast<QMdiSubWindow *>(parentWidget());
    if (!frame || !frame->systemMenu())
        return;
    QList<QKeySequence> mine;
    for (const QAction *action : actions())
        mine += action->shortcuts();
    for (QAction *entry : frame->systemMenu()->actions()) {
        QList<QKeySequence> kept;
        for (const QKeySequence &keys : entry->shortcuts()) {
            if (!mine.contains(keys))
                kept.append(keys);
        }
        if (kept.size() != entry->shortcuts().size())
            entry->setShortcuts(kept);
    }
}

bool TfrmPadraoGrid::dbgPadraoKeyDown(TDBGrid &grid, QKeyEvent *event)
{
    Dataset *dataset = grid.dataSet();
    if (event->key() == Qt::Key_Escape && dataset && dataset->State() != dsBrowse
        && !grid.isEditingCell()) {
        sbtCancelarClick();
        return true;
    }
    return false;
}

Dataset *TfrmPadraoGrid::commandDataSet() const { return dtsPadrao->DataSet(); }

void TfrmPadraoGrid::dtsPadraoStateChange()
{
    const Dataset *dataset = commandDataSet();
    const bool browse = !dataset || dataset->State() == dsBrowse;
    const bool filled = dataset && !dataset->IsEmpty();
    mnuIncluir->setEnabled(dataset && browse);
    mnuAlterar->setEnabled(browse && filled);
    mnuExcluir->setEnabled(browse && filled);
    mnuProcurar->setEnabled(browse && filled);
    mnuVerificar->setEnabled(browse);
    mnuConfirmar->setEnabled(!browse);
    mnuCancelar->setEnabled(!browse);
}

void TfrmPadraoGrid::sbtIncluirClick()
{
    if (Dataset *dataset = commandDataSet(); dataset && dataset->State() == dsBrowse)
        dataset->Insert();
}

void TfrmPadraoGrid::sbtAlterarClick()
{
    if (Dataset *dataset = commandDataSet(); dataset && dataset->State() == dsBrowse && !dataset->IsEmpty())
        dataset->Edit();
}

void TfrmPadraoGrid::sbtExcluirClick()
{
    Dataset *dataset = commandDataSet();
    if (!dataset || dataset->State() != dsBrowse || dataset->IsEmpty())
        return;
    if (msgPadraoBase.ShowMsg(QStringLiteral("Excl"), DialogType::Confirmation, mbYes | mbNo) == mbYes)
        dataset->Delete();
}

void TfrmPadraoGrid::sbtProcurarClick()
{
    if (Dataset *dataset = commandDataSet(); dataset && dataset->Active() && !dataset->IsEmpty())
        Procurar::Procura(*dataset);
}

void TfrmPadraoGrid::sbtVerificarClick() {}

void TfrmPadraoGrid::sbtConfirmarClick()
{
    Consiste::RefreshGrid(this);
    if (Dataset *dataset = commandDataSet(); dataset && dataset->State() != dsBrowse)
        dataset->Post();
}

void TfrmPadraoGrid::sbtCancelarClick()
{
    Dataset *dataset = commandDataSet();
    if (!dataset || dataset->State() == dsBrowse)
        return;
    if (msgPadraoBase.ShowMsg(QStringLiteral("Canc"), DialogType::Confirmation, mbYes | mbNo) == mbYes)
        dataset->Cancel();
}

void TfrmPadraoGrid::sbtImprimirClick()
{
    hostUi().showMessage(QStringLiteral("A impressão não está disponível nesta tela."), DialogType::Information, mbOK);
}

void TfrmPadraoGrid::sbtAjudaClick()
{
    hostUi().showMessage(QStringLiteral("%1 (%2)").arg(windowTitle(), m_screenCode), DialogType::Information, mbOK);
}

void TfrmPadraoGrid::sbtFecharClick()
{
    if (auto *frame = qobject_cast<QMdiSubWindow *>(parentWidget()))
        frame->close();
    else
        close();
}

// ====================================================================== TfrmRotiGeral

TfrmRotiGeral::TfrmRotiGeral(const QString &name, const QString &caption, const QString &screenCode, QWidget *parent)
    : QDialog(parent), m_screenCode(screenCode)
{
    setObjectName(name);
    setWindowTitle(caption);
    auto *layout = new QVBoxLayout(this);
    pnlPrincipal = new QWidget(this);
    pnlPrincipal->setObjectName(QStringLiteral("pnlPrincipal"));
    layout->addWidget(pnlPrincipal, 1);
    auto *buttons = new QHBoxLayout;
    auto *code = new QLabel(screenCode, this);
    code->setEnabled(false);
    buttons->addWidget(code);
    buttons->addStretch(1);
    sbtConfirm = new QPushButton(style()->standardIcon(QStyle::SP_DialogApplyButton), QStringLiteral("Confirmar"), this);
    sbtConfirm->setObjectName(QStringLiteral("sbtConfirm"));
    sbtCancel = new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton), QStringLiteral("Cancelar"), this);
    sbtCancel->setObjectName(QStringLiteral("sbtCancel"));
    sbtConfirm->setAutoDefault(false);
    sbtCancel->setAutoDefault(false);
    buttons->addWidget(sbtConfirm);
    buttons->addWidget(sbtCancel);
    layout->addLayout(buttons);
    connect(sbtConfirm, &QPushButton::clicked, this, host::guarded([this] { sbtConfirmClick(); }));
    connect(sbtCancel, &QPushButton::clicked, this, host::guarded([this] { sbtCancelClick(); }));
}

void TfrmRotiGeral::Create() { FormCreate(); }

void TfrmRotiGeral::Free(TfrmRotiGeral *dialog)
{
    if (!dialog)
        return;
    host::runGuarded([dialog] { dialog->FormDestroy(); });
    delete dialog;
}

void TfrmRotiGeral::FormCreate() {}

void TfrmRotiGeral::FormClose(bool &allowClose) { allowClose = true; }

void TfrmRotiGeral::FormDestroy() {}

void TfrmRotiGeral::sbtConfirmClick() { accept(); }

void TfrmRotiGeral::sbtCancelClick() { reject(); }

void TfrmRotiGeral::done(int result)
{
    bool allow = true;
    if (!host::runGuarded([&] { FormClose(allow); }))
        allow = false;
    if (allow)
        QDialog::done(result);
}

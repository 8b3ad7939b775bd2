#include "screens/groups/frmgrupsolihom.h"

#include "host/consiste.h"
#include "workflow/tramitacao.h"
#include "host/guard.h"
#include "host/hostapp.h"
#include "host/hostsettings.h"
#include "host/operatortext.h"
#include "host/services.h"
#include "datamodule/mensagens.h"
#include "workflow/frmdependencias.h"

#include <QAction>
#include <QActionGroup>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QScopeGuard>
#include <QStyle>
#include <QStyleOption>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

TfrmGrupSoliHom *frmGrupSoliHom = nullptr;

const QString TfrmGrupSoliHom::kNenhumGrupoMarcado =
    QStringLiteral("Nenhum grupo está marcado para homologação. Marque na primeira coluna os grupos em teste que serão "
                   "homologados (Shift+Espaço marca o grupo atual, Ctrl+Espaço todos) e avance de novo.");

namespace {

QWidget *page(QTabWidget *pages, const char *name, const QString &caption, TDBGrid **grid, const char *gridName)
{
    auto *sheet = new QWidget(pages);
    sheet->setObjectName(QString::fromLatin1(name));
    auto *layout = new QVBoxLayout(sheet);
    layout->setContentsMargins(2, 2, 2, 2);
    *grid = new TDBGrid(QString::fromLatin1(gridName), sheet);
    layout->addWidget(*grid);
    pages->addTab(sheet, caption);
    return sheet;
}

}  // namespace

TfrmGrupSoliHom::TfrmGrupSoliHom(QWidget *parent)
    : TfrmPadraoGrid(QStringLiteral("frmGrupSoliHom"), QStringLiteral("Controle de Processo de Homologação"),
                     QStringLiteral("VOP42000"), parent)
{
    msgPadrao.setEntries(MensagensGrupSoliHom());
    dm = new TdmGrupSoliHom(this);
    CriaPaginas();
    CriaRodape();
    CriaComandos();
    LigaEventos();
    LigaEdicao();
    // The server's messages name fields as its tables do: the operator reads the titles of
    // the columns that show them (the first grid that shows a field names it).
    QHash<QString, QString> titulos;
    for (const TDBGrid *grid : {dbgPadrao, dbgSoli, dbgArq, dbgArqLib}) {
        const QList<GridColumn> columns = grid->Columns();
        for (int column = 0; column < columns.size(); ++column) {
            const QString title = grid->datasetModel()->headerData(column, Qt::Horizontal).toString();
            if (title.size() > 1 && !titulos.contains(columns[column].fieldName))
                titulos.insert(columns[column].fieldName, title);
        }
    }
    host::setFieldTitles(titulos);
}

TfrmGrupSoliHom::~TfrmGrupSoliHom()
{
    host::setFieldTitles({});
    if (frmGrupSoliHom == this)
        frmGrupSoliHom = nullptr;
}

void TfrmGrupSoliHom::CriaPaginas()
{
    dtsPadrao->setDataSet(dm->cdsGrupo);
    dtsSoli = new TDataSource(QStringLiteral("dtsSoli"), this, dm->cdsSoli);
    dtsArq = new TDataSource(QStringLiteral("dtsArq"), this, dm->cdsArq);
    dtsArqLib = new TDataSource(QStringLiteral("dtsArqLib"), this, dm->cdsArqLib);

    pgcPadrao->setTabText(pgcPadrao->indexOf(tshPadrao), QStringLiteral("Grupo de Solicitações"));
    GridColumn marcado(QStringLiteral("IDMARCADO"), QStringLiteral("✔"), true);
    marcado.width = 24;
    // The product column shows the product's name, wider than the tree code it holds.
    GridColumn produto(QStringLiteral("CDARVPROD"), {}, false, true);
    produto.width = 200;
    dbgPadrao->setColumns({marcado,
                           GridColumn(QStringLiteral("CDGRUPHOMOL"), {}, true),
                           GridColumn(QStringLiteral("DSGRUPHOMOL")),
                           GridColumn(QStringLiteral("IDSTGRUPHOM"), {}, true),
                           produto,
                           GridColumn(QStringLiteral("DTCRIAGRHOM"), {}, true),
                           GridColumn(QStringLiteral("CDRELEASEGHOM"), {}, true),
                           // The two dates are the workflow's, never typed.
                           GridColumn(QStringLiteral("DTHRGERAGRUPSOL"), {}, true),
                           GridColumn(QStringLiteral("DTHRHOMOGRUPSOL"), {}, true)});

    tshSoli = page(pgcPadrao, "tshSoli", QStringLiteral("Solicitações do Grupo"), &dbgSoli, "dbgSoli");
    dbgSoli->setDataSource(dtsSoli);
    GridColumn fila(QStringLiteral("NRPRIOSOLI"), QStringLiteral("Fila"));
    // The decisions change by a click, never by typing.
    QList<GridColumn> decisoes;
    for (const char *flag : {"IDHOMOLSOL", "IDENCSOLPATCREG", "IDRETSOLERROPRO"}) {
        GridColumn column(QString::fromLatin1(flag), {}, true);
        column.width = 84;
        decisoes.append(column);
    }
    // A request number is digits only; the zeros in front are added when the cell is left.
    GridColumn numero(QStringLiteral("NRSOLISERV"), {}, false, true);
    numero.pattern = QStringLiteral("[0-9]*");
    dbgSoli->setColumns({fila, numero,
                         GridColumn(QStringLiteral("DSREFESOLI"), {}, true),
                         GridColumn(QStringLiteral("IDSTSOLIGRUP"), {}, true), GridColumn(QStringLiteral("NMOPERADOR")),
                         decisoes[0], decisoes[1], decisoes[2], GridColumn(QStringLiteral("MODELAGEM")),
                         GridColumn(QStringLiteral("TXOBSOLIGER"), {}, true)});

    tshArq = page(pgcPadrao, "tshArq", QStringLiteral("Arquivos Modificados"), &dbgArq, "dbgArq");
    dbgArq->setDataSource(dtsArq);
    dbgArq->setColumns({GridColumn(QStringLiteral("NRSOLISERV")), GridColumn(QStringLiteral("DSDIRARQCHECKOU")),
                        GridColumn(QStringLiteral("CDRELEASEARQANT")), GridColumn(QStringLiteral("CDRELEASEARQATU"))});
    dbgArq->setReadOnly(true);

    tshArqLib = page(pgcPadrao, "tshArqLib", QStringLiteral("Arquivos Liberados"), &dbgArqLib, "dbgArqLib");
    dbgArqLib->setDataSource(dtsArqLib);
    dbgArqLib->setColumns({GridColumn(QStringLiteral("NRSOLISERV")), GridColumn(QStringLiteral("DSARQPATCH")),
                           GridColumn(QStringLiteral("CDPATCHVERPR")), GridColumn(QStringLiteral("IDARQESPECLIE")),
                           GridColumn(QStringLiteral("DSDIRDESTHOM"))});
    dbgArqLib->setReadOnly(true);
    dbgArqLib->setEditing(false);

    dbgPadrao->OnDrawColumnCell = [this](TDBGrid &grid, DrawCell &cell) { return dbgPadraoDrawColumnCell(grid, cell); };
    dbgSoli->OnDrawColumnCell = [this](TDBGrid &grid, DrawCell &cell) { return dbgSoliDrawColumnCell(grid, cell); };

    connect(pgcPadrao, &QTabWidget::currentChanged, this, [this](int) {
        if (!m_trocandoPaginaPeloMenu)
            host::runGuarded([this] { pgcPadraoChange(); });
    });
}

void TfrmGrupSoliHom::CriaRodape()
{
    lblNomeGrupo = new TDBText(QStringLiteral("lblNomeGrupo"), pnlRodape);
    lblNomeGrupo->setDataSource(dtsPadrao, QStringLiteral("DSGRUPHOMOL"));
    // A narrow window shortens the name (whole in its tooltip) before anything else gives way.
    lblNomeGrupo->setMinimumWidth(120);
    connect(dm->cdsGrupo, &Dataset::currentRowChanged, lblNomeGrupo, [this] { lblNomeGrupo->setToolTip(lblNomeGrupo->text()); });
    QFont bold = lblNomeGrupo->font();
    bold.setBold(true);
    lblNomeGrupo->setFont(bold);
    lytRodape->insertWidget(0, lblNomeGrupo);

    lblTotalSoli = new QLabel(QStringLiteral("Total de solicitações :"), pnlRodape);
    lblTotalSoli->setObjectName(QStringLiteral("lblTotalSoli"));
    lblQtdeSoli = new QLabel(QStringLiteral("0"), pnlRodape);
    lblQtdeSoli->setObjectName(QStringLiteral("lblQtdeSoli"));
    const int afterNavigator = lytRodape->indexOf(dbnPadrao) + 1;
    lytRodape->insertSpacing(afterNavigator, 16);
    lytRodape->insertWidget(afterNavigator + 1, lblTotalSoli);
    lytRodape->insertWidget(afterNavigator + 2, lblQtdeSoli);
    // Shown on the requests page only; the screen opens on the groups page.
    lblTotalSoli->setVisible(false);
    lblQtdeSoli->setVisible(false);
    lblLeitura = new QLabel(QStringLiteral("Não foi possível ler os dados desta página no servidor; use Verificar para "
                                           "ler de novo."),
                            pnlRodape);
    lblLeitura->setObjectName(QStringLiteral("lblLeitura"));
    lblLeitura->setStyleSheet(QStringLiteral("color: #b00000; font-weight: bold;"));
    lblLeitura->setWordWrap(true);
    lblLeitura->setMinimumWidth(160);
    lblLeitura->setVisible(false);
    lytRodape->insertWidget(afterNavigator + 3, lblLeitura);

    const auto toggle = [this](const char *name, const QString &text, bool pressed) {
        auto *button = new QToolButton(pnlRodape);
        button->setObjectName(QString::fromLatin1(name));
        button->setText(text);
        button->setCheckable(true);
        button->setChecked(pressed);
        button->setToolButtonStyle(Qt::ToolButtonTextOnly);
        // A pressed toggle must read as pressed at a glance.
        button->setStyleSheet(QStringLiteral("QToolButton { padding: 3px 8px; }"
                                             "QToolButton:checked { background: palette(highlight);"
                                             " color: palette(highlighted-text); }"));
        connect(button, &QToolButton::clicked, this, host::guarded([this] { tbtPendenteClick(); }));
        pnlFiltro->layout()->addWidget(button);
        return button;
    };
    // The filter's toggles go below the rest when the window is too narrow for one line
    // (AjustaRodape): the line below the pages never makes the screen wider than its window.
    pnlFiltro = new QWidget(pnlRodape);
    pnlFiltro->setObjectName(QStringLiteral("pnlFiltro"));
    auto *filtro = new QHBoxLayout(pnlFiltro);
    filtro->setContentsMargins(0, 0, 0, 0);
    lytRodape->insertWidget(lytRodape->indexOf(lblCodigoTela), pnlFiltro);
    pnlRodape->setSizePolicy(QSizePolicy::Ignored, pnlRodape->sizePolicy().verticalPolicy());
    tbtPendente = toggle("tbtPendente", QStringLiteral("Grupos pendentes"), true);
    tbtAndamento = toggle("tbtAndamento", QStringLiteral("Grupos em Andamento"), true);
    tbtHomologado = toggle("tbtHomologado", QStringLiteral("Grupos homologados"), false);

    dbnPadrao->OnClick = [this](TDBNavigator &, NavigateBtn button) { dbnPadraoClick(button); };
}

void TfrmGrupSoliHom::CriaComandos()
{
    tlbPadrao->addSeparator();
    mnuTramitacao = new QMenu(QStringLiteral("&Tramitação"), mnuPadrao);
    mnuTramitacao->setObjectName(QStringLiteral("mnuTramitacao"));
    mnuPadrao->insertMenu(mnuAjudaMenu->menuAction(), mnuTramitacao);
    const auto command = [this](const char *name, const QString &hint, const QString &caption,
                                QStyle::StandardPixmap icon, const char *button, QToolButton **target) {
        auto *action = new QAction(style()->standardIcon(icon), hint, this);
        action->setObjectName(QString::fromLatin1(name));
        action->setToolTip(hint);
        action->setIconText(caption);
        mnuTramitacao->addAction(action);
        *target = addToolButton(action, QString::fromLatin1(button));
        return action;
    };
    mnuVoltaFase = command("mnuVoltaFase", QStringLiteral("Voltar para fase de tramitação anterior"),
                           QStringLiteral("Voltar"), QStyle::SP_ArrowBack, "btfVoltaFase", &btfVoltaFase);
    mnuAvancaFase = command("mnuAvancaFase", msgPadrao.Msg(QStringLiteral("AVANCA_HINT")), QStringLiteral("Avançar"),
                            QStyle::SP_ArrowForward, "btfAvancaFase", &btfAvancaFase);
    mnuInterDependencia = command("mnuInterDependencia",
                                  QStringLiteral("Verificar interdependência primária entre solicitações do grupo"),
                                  QStringLiteral("Interdependência"), QStyle::SP_FileDialogInfoView,
                                  "sbtInterDependencia", &sbtInterDependencia);
    // The group's history: its timeline and its stored transition logs.
    mnuTramitacao->addSeparator();
    const auto historyEntry = [this](const char *name, const QString &text, const QKeySequence &keys,
                                     TfrmHistoricoGrupo::Pagina pagina) {
        QAction *action = mnuTramitacao->addAction(text);
        action->setObjectName(QString::fromLatin1(name));
        action->setToolTip(text);
        setCommandShortcut(action, keys);
        connect(action, &QAction::triggered, this, [this, pagina] { comando([this, pagina] { mnuHistoricoClick(pagina); }); });
        return action;
    };
    mnuLinhaDoTempo = historyEntry("mnuLinhaDoTempo", QStringLiteral("Linha do tempo do grupo..."),
                                   QKeySequence(Qt::CTRL | Qt::Key_H), TfrmHistoricoGrupo::LinhaDoTempo);
    mnuLogTramitacao = historyEntry("mnuLogTramitacao", QStringLiteral("Log de tramitação do grupo..."),
                                    QKeySequence(Qt::CTRL | Qt::Key_L), TfrmHistoricoGrupo::LogsDeTramitacao);
    mnuVoltaFase->setEnabled(false);  // a group never goes back
    setCommandShortcut(mnuAvancaFase, QKeySequence(Qt::Key_F9));
    setCommandShortcut(mnuInterDependencia, QKeySequence(Qt::CTRL | Qt::Key_D));
    connect(mnuAvancaFase, &QAction::triggered, this, [this] { comando([this] { btfAvancaFaseClick(); }); });
    connect(mnuInterDependencia, &QAction::triggered, this, [this] { comando([this] { sbtInterDependenciaClick(); }); });

    mnuExibir = new QMenu(QStringLiteral("E&xibir"), mnuPadrao);
    mnuExibir->setObjectName(QStringLiteral("mnuExibir"));
    mnuPadrao->insertMenu(mnuTramitacao->menuAction(), mnuExibir);
    const auto pageEntry = [this](const char *name, const QString &text, bool checked) {
        QAction *action = mnuExibir->addAction(text);
        action->setObjectName(QString::fromLatin1(name));
        action->setCheckable(true);
        action->setChecked(checked);
        connect(action, &QAction::triggered, this, [this, action] { comando([this, action] { mnuGrupoClick(action); }); });
        return action;
    };
    mnuGrupo = pageEntry("mnuGrupo", QStringLiteral("Grupo de Solicitações"), true);
    mnuSoli = pageEntry("mnuSoli", QStringLiteral("Solicitações do Grupo"), false);
    mnuArq = pageEntry("mnuArq", QStringLiteral("Arquivos Gerados"), false);

    // The group filter, also from the menu: each entry follows its toggle below the pages.
    mnuExibir->addSeparator();
    const auto filterEntry = [this](const char *name, QToolButton *toggle) {
        QAction *action = mnuExibir->addAction(toggle->text());
        action->setObjectName(QString::fromLatin1(name));
        action->setCheckable(true);
        action->setChecked(toggle->isChecked());
        connect(toggle, &QToolButton::toggled, action, &QAction::setChecked);
        connect(action, &QAction::triggered, this, [this, toggle](bool checked) {
            comando([this, toggle, checked] {
                toggle->setChecked(checked);
                tbtPendenteClick();
            });
        });
        return action;
    };
    mnuPendente = filterEntry("mnuPendente", tbtPendente);
    mnuAndamento = filterEntry("mnuAndamento", tbtAndamento);
    mnuHomologado = filterEntry("mnuHomologado", tbtHomologado);
}

void TfrmGrupSoliHom::resizeEvent(QResizeEvent *event)
{
    TfrmPadraoGrid::resizeEvent(event);
    AjustaRodape();
}

void TfrmGrupSoliHom::AjustaRodape()
{
    const bool naLinha = pnlFiltro->parentWidget() == pnlRodape;
    const int umaLinha =
        pnlRodape->minimumSizeHint().width() + (naLinha ? 0 : pnlFiltro->minimumSizeHint().width() + lytRodape->spacing());
    const QMargins margens = lytPrincipal->contentsMargins();
    const bool cabe = width() - margens.left() - margens.right() >= umaLinha;
    if (cabe == naLinha)
        return;
    if (cabe) {
        lytPrincipal->removeWidget(pnlFiltro);
        lytRodape->insertWidget(lytRodape->indexOf(lblCodigoTela), pnlFiltro);
    } else {
        lytRodape->removeWidget(pnlFiltro);
        lytPrincipal->addWidget(pnlFiltro, 0, Qt::AlignRight);
    }
    pnlFiltro->show();
}

// ====================================================================== creation and closing

void TfrmGrupSoliHom::FormCreate()
{
    TfrmPadraoGrid::FormCreate();
    // Printing and its set-up are not offered on this screen.
    mnuImprimir->setEnabled(false);
    mnuListar->setEnabled(false);
    mnuConfigurarImpressora->setEnabled(false);

    dm->stlConexoes.clear();
    {
        Showavi::Scope busy(QString(), 0);
        if (Dbgeral::KeepConnected())
            ConexaoPermanente(true);
    }
    // A server that does not answer has already said so; the screen still opens, empty and
    // locked, so that the operator can come back to it (Verificar) without reopening it.
    bool carregou = true;
    try {
        GetInitialData();
    } catch (const EAbort &) {
        carregou = false;
    }
    tbtPendenteClick();
    GetUserPass();
    if (!dm->boEditavel)
        TravaTela();
    m_trocandoPaginaPeloMenu = true;
    pgcPadrao->setCurrentWidget(tshPadrao);
    m_trocandoPaginaPeloMenu = false;
    m_abertaSemDados = !carregou;
    if (carregou)
        pgcPadraoChange();
    else
        MostraPagina(tshPadrao);
}

void TfrmGrupSoliHom::FormClose()
{
    TfrmPadraoGrid::FormClose();
    ConexaoPermanente(false);
    dm->stlConexoes.clear();
}

void TfrmGrupSoliHom::btfAvancaFaseClick()
{
    // Under test, Avançar homologates the marked groups: with none marked there is nothing
    // to homologate, and the operator is told what is missing before any check runs.
    if (dm->statusGrupo() == u"006") {
        const int marca = dm->cdsGrupo->fieldIndex(QStringLiteral("IDMARCADO"));
        bool algumMarcado = false;
        for (int row = 0; row < dm->cdsGrupo->RecordCount() && !algumMarcado; ++row)
            algumMarcado = Dataset::valueText(dm->cdsGrupo->gridRow(row).value(marca)) == u"S";
        if (!algumMarcado) {
            Consiste::MensErro(kNenhumGrupoMarcado, false);
            return;
        }
    }
    // The operator stays on the group they advanced, whichever way the advance ended, and
    // the commands follow its new phase.
    const QString grupo = dm->codigoGrupo();
    const auto volta = qScopeGuard([this, grupo] {
        host::runGuarded([this, grupo] {
            if (!grupo.isEmpty() && dm->codigoGrupo() != grupo)
                dm->LocalizaGrupo(grupo);
        });
        ControlaBotoesDaPagina();
    });
    // The scripts and the patch screen let window events through: until the advance ends
    // the screen takes no other command.
    Operacao operacao(*this);
    Tramitacao(*dm).btfAvancaFaseClick();
}

void TfrmGrupSoliHom::sbtInterDependenciaClick()
{
    Operacao operacao(*this);
    Dependencias(*dm).sbtInterDependenciaClick();
}

std::unique_ptr<TfrmHistoricoGrupo> TfrmGrupSoliHom::CriaHistorico(int pagina)
{
    const QString grupo = dm->codigoGrupo();
    if (grupo.isEmpty())
        return nullptr;
    const packet::Packet eventos = TdmGrupSoliHom::Pacote(
        dm->ChamaServidor(QStringLiteral("getEventosGrupo"), {grupo}, QStringLiteral("Recebendo")), QStringLiteral("getEventosGrupo"));
    const packet::Packet logs = TdmGrupSoliHom::Pacote(dm->ChamaServidor(QStringLiteral("getLogTram"), {grupo}, QStringLiteral("Recebendo")),
                                                       QStringLiteral("getLogTram"));
    const QString nome = dm->grupo(QStringLiteral("DSGRUPHOMOL"));
    auto dialogo = std::make_unique<TfrmHistoricoGrupo>(
        nome.trimmed().isEmpty() ? grupo : grupo + QStringLiteral(" - ") + nome, eventos, logs,
        [this](const QString &fase) { return dm->textoStatusGrupo(fase); }, this);
    dialogo->pgcHistorico->setCurrentIndex(pagina);
    return dialogo;
}

void TfrmGrupSoliHom::mnuHistoricoClick(int pagina)
{
    if (const auto dialogo = CriaHistorico(pagina))
        dialogo->exec();
}

void TfrmGrupSoliHom::OperacaoTerminou() { ControlaBotoesDaPagina(); }

Dataset *TfrmGrupSoliHom::commandDataSet() const
{
    QWidget *current = pgcPadrao->currentWidget();
    if (current == tshSoli)
        return dm->cdsSoli;
    if (current == tshArq)
        return dm->cdsArq;
    if (current == tshArqLib)
        return dm->cdsArqLib;
    return dm->cdsGrupo;
}

// ====================================================================== drawing

CheckBoxImage TfrmGrupSoliHom::imagemMarcado(const QString &groupStatus, const QString &marked)
{
    if (groupStatus != u"006")
        return CheckBoxImage::Grey;
    return marked == u"S" ? CheckBoxImage::Ticked : CheckBoxImage::Empty;
}

CheckBoxImage TfrmGrupSoliHom::imagemDecisao(const QString &groupStatus, const QString &flag, const QString &other1,
                                             const QString &other2)
{
    if (groupStatus != u"006" || other1 == u"S" || other2 == u"S")
        return CheckBoxImage::Grey;
    return flag == u"S" ? CheckBoxImage::Ticked : CheckBoxImage::Empty;
}

void TfrmGrupSoliHom::drawCheckBox(DrawCell &cell, CheckBoxImage image)
{
    const QPalette &palette = cell.option->palette;
    cell.painter->fillRect(cell.rect, cell.selected ? palette.highlight() : palette.base());
    Consiste::InsereImagem(*cell.painter, cell.rect, checkBoxImage(image), checkBoxTransparentColor());
}

QColor TfrmGrupSoliHom::corTextoGrupo(const QString &groupStatus, bool selected, const QPalette &palette)
{
    if (selected)
        return QColor(Qt::white);
    if (groupStatus == u"001")
        return QColor(Qt::red);
    if (groupStatus == u"007")
        return palette.color(QPalette::Disabled, QPalette::Text);
    return palette.color(QPalette::Active, QPalette::Text);
}

QString TfrmGrupSoliHom::textoCelulaGrupo(const TDBGrid &grid, const DrawCell &cell) const
{
    if (cell.field == u"CDARVPROD" && !cell.value(QStringLiteral("CDARVPROD")).isEmpty()) {
        const bool typing = grid.isEditingCell() && grid.currentIndex().row() == cell.row
            && grid.currentIndex().column() == cell.column;
        if (!typing)
            return cell.value(QStringLiteral("NMPRODUTO"));
    }
    return grid.cellText(cell.row, cell.column);
}

bool TfrmGrupSoliHom::dbgPadraoDrawColumnCell(TDBGrid &grid, DrawCell &cell)
{
    if (dm->cdsGrupo->IsEmpty())
        return false;
    if (cell.field == u"IDMARCADO") {
        drawCheckBox(cell, imagemMarcado(cell.value(QStringLiteral("IDSTGRUPHOM")), cell.value(QStringLiteral("IDMARCADO"))));
        return true;
    }
    const QPalette &palette = cell.option->palette;
    QPainter &painter = *cell.painter;
    painter.fillRect(cell.rect, cell.selected ? palette.highlight() : palette.base());
    painter.setPen(corTextoGrupo(cell.value(QStringLiteral("IDSTGRUPHOM")), cell.selected, palette));
    // The product's name sits 1 pixel in, every other text 2.
    const int left = cell.field == u"CDARVPROD" ? 1 : 2;
    const QRect area = cell.rect.adjusted(left, 2, -2, 0);
    painter.drawText(area, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                     cell.option->fontMetrics.elidedText(textoCelulaGrupo(grid, cell), Qt::ElideRight, area.width()));
    if (cell.focused) {
        QStyleOptionFocusRect focus;
        focus.initFrom(&grid);
        focus.rect = cell.rect;
        focus.backgroundColor = cell.selected ? palette.highlight().color() : palette.base().color();
        grid.style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, &grid);
    }
    return true;
}

bool TfrmGrupSoliHom::dbgSoliDrawColumnCell(TDBGrid &, DrawCell &cell)
{
    static const QStringList flags = {QStringLiteral("IDHOMOLSOL"), QStringLiteral("IDENCSOLPATCREG"),
                                      QStringLiteral("IDRETSOLERROPRO")};
    const int which = int(flags.indexOf(cell.field));
    if (dm->cdsSoli->IsEmpty() || which < 0)
        return false;
    const QString groupStatus = dm->cdsGrupo->FieldByName(QStringLiteral("IDSTGRUPHOM")).AsString();
    drawCheckBox(cell, imagemDecisao(groupStatus, cell.value(flags[which]), cell.value(flags[(which + 1) % 3]),
                                     cell.value(flags[(which + 2) % 3])));
    return true;
}

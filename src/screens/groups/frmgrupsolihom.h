#pragma once

// TfrmGrupSoliHom, "Controle de Processo de Homologação" (VOP42000): the homologation
// groups of the products, their requests, modified files and released files, on four
// pages, with the commands that edit them and advance a group from phase to phase.

#include "host/basescreens.h"
#include "datamodule/dmgrupsolihom.h"
#include "screens/groups/checkimages.h"
#include "screens/groups/frmhistorico.h"

#include <QStringList>

#include <functional>
#include <memory>

class QPalette;

class QToolButton;

class TfrmGrupSoliHom : public TfrmPadraoGrid {
    Q_OBJECT
public:
    explicit TfrmGrupSoliHom(QWidget *parent = nullptr);
    ~TfrmGrupSoliHom() override;

    // ---- what the screen shows and the workflow works on
    TdmGrupSoliHom *dm;

    TDataSource *dtsSoli, *dtsArq, *dtsArqLib;  // dtsPadrao shows cdsGrupo

    // ---- pages and grids (the groups page is the base's tshPadrao with dbgPadrao)
    QWidget *tshSoli, *tshArq, *tshArqLib;
    TDBGrid *dbgSoli, *dbgArq, *dbgArqLib;

    // ---- below the pages
    TDBText *lblNomeGrupo;
    QLabel *lblTotalSoli, *lblQtdeSoli;
    QLabel *lblLeitura;  // says that the page's rows could not be read
    QToolButton *tbtPendente, *tbtAndamento, *tbtHomologado;
    QWidget *pnlFiltro;  // the three toggles: on the line below the pages, or below it when narrow

    // ---- commands beside the base ones
    QMenu *mnuTramitacao, *mnuExibir;
    QAction *mnuVoltaFase, *mnuAvancaFase, *mnuInterDependencia;
    QAction *mnuLinhaDoTempo, *mnuLogTramitacao;  // the group's history
    QToolButton *btfVoltaFase, *btfAvancaFase, *sbtInterDependencia;
    QAction *mnuGrupo, *mnuSoli, *mnuArq;  // select the pages 1 to 3
    QAction *mnuPendente, *mnuAndamento, *mnuHomologado;  // the group filter's toggles

    // Said by Avançar on a group under test when no group is marked for homologation.
    static const QString kNenhumGrupoMarcado;

    // ---- creation and closing
    void FormCreate() override;
    void FormClose() override;

    // ---- operations run at creation and by the page and filter controls
    virtual void ConexaoPermanente(bool conecta);  // one held use of netGrupSoliHom
    virtual void GetInitialData();
    virtual void tbtPendenteClick();
    virtual void GetUserPass();
    virtual void TravaTela();
    virtual void pgcPadraoChange();
    void mnuGrupoClick(QAction *entry);
    void dbnPadraoClick(NavigateBtn button);
    virtual void btfAvancaFaseClick();
    virtual void sbtInterDependenciaClick();
    // The current group's history, on its timeline or its transition logs page.
    void mnuHistoricoClick(int pagina);
    // The history dialog of the current group, read from the server; null without a group.
    std::unique_ptr<TfrmHistoricoGrupo> CriaHistorico(int pagina);
    void sbtVerificarClick() override;

    // ---- the group change: command states before the group's requests are read, the
    // released files after
    void AntesDaTrocaDeGrupo();
    void DepoisDaTrocaDeGrupo();

    // ---- command states
    void ControlaBotoesGrupo();
    void ControlaBotoesSoli();
    void ControlaBotoesArq();
    void ControlaBotoesTramita();
    void dtsPadraoStateChange() override;
    void dtsSoliStateChange();
    void dtsArqStateChange();
    bool dbgPadraoKeyDown(TDBGrid &grid, QKeyEvent *event) override;

    // ---- display
    // Which box the marking column shows for a group.
    static CheckBoxImage imagemMarcado(const QString &groupStatus, const QString &marked);
    // Which box a decision flag of a request shows.
    static CheckBoxImage imagemDecisao(const QString &groupStatus, const QString &flag, const QString &other1,
                                       const QString &other2);
    // Text colour of a group row by its status; `selected` cells are white on the highlight.
    static QColor corTextoGrupo(const QString &groupStatus, bool selected, const QPalette &palette);
    // What a cell of the group grid shows: the product column shows the product's name.
    QString textoCelulaGrupo(const TDBGrid &grid, const DrawCell &cell) const;
    bool dbgPadraoDrawColumnCell(TDBGrid &grid, DrawCell &cell);
    bool dbgSoliDrawColumnCell(TDBGrid &grid, DrawCell &cell);

    Dataset *commandDataSet() const override;

    // ---- editing: the commands by page, the choices, the validations and the saves
    void sbtIncluirClick() override;
    void sbtAlterarClick() override;
    void sbtExcluirClick() override;
    void sbtConfirmarClick() override;
    void sbtCancelarClick() override;
    void cdsGrupoNewRecord();
    void dbgPadraoEditButtonClick();  // product choice
    void VD_Prod();
    void cdsGrupoBeforePost();
    void cdsSoliNewRecord();
    void dbgSoliEditButtonClick();  // request choice
    void VD_Ins_Soli();
    void cdsSoliBeforePost();
    void cdsSoliAfterPost();  // the request save, also after a delete
    // A click on a cell of the request grid: the decision flags of a group under test.
    void dbgSoliCellClick();

    // The question of Cancelar, naming the row it would drop; true on Yes.
    bool PerguntaCancelamento(Dataset &dataset);
    // What a question names after its own text: the group, or the request, of the row.
    QString NomeDaLinha(Dataset &dataset);
    // True while the current group's requests and files are as read from the server.
    bool dadosDoGrupoLidos() const { return m_dadosDoGrupoLidos; }

protected:
    void resizeEvent(QResizeEvent *event) override;
    // A row being typed is not dropped without a question when the screen closes, and the
    // screen does not close under an operation.
    void closeEvent(QCloseEvent *event) override;
    void OperacaoTerminou() override;

private:
    void LigaEdicao();
    // Puts the filter's toggles on the line below the pages when it has room, else below it.
    void AjustaRodape();
    // The page's dataset when it is the groups' or the requests', else null.
    Dataset *dataSetEditavel() const;
    // The values of the group row when its edit began, but its mark: a post that changed
    // only the mark is not a change of the group.
    QStringList valoresDoGrupo(bool semMarca);
    QStringList m_grupoAntesDaEdicao;
    QString m_produtoAntesDaEdicao;
    // The screen opened without the server: the first successful read sets it up as a
    // fresh opening would.
    bool m_abertaSemDados = false;
    void AtualizaTotalSoli();
    // Reads the page's rows; until a read succeeds the page says it could not be read and
    // takes no editing command.
    void LePagina(const std::function<void()> &read);
    void MostraLeitura();
    bool m_dadosDoGrupoLidos = true;
    // What the justification dialog being opened is for: the request and the decision.
    QString m_assuntoDaJustificativa;
    // Confirmar: posts the row and saves it; a refused save puts the row back as it was
    // typed, in edit or insert, and says that it was not saved.
    void ConfirmaGrupo();
    // Excluir of a request: a delete the server refuses leaves the request in the grid.
    void ExcluiSolicitacao();
    // A check of the group row refused what was typed: the error, and before a post the
    // pending changes of the group list discarded.
    [[noreturn]] void RecusaGrupo(const QString &texto);
    bool m_validandoGrupo = false;
    void ConfirmaSolicitacao();
    void RestauraLinha(Dataset &dataset, DataSetState estado, const QString &grupo, const QList<QVariant> &valores);
    // Incluir: the new row goes at the end of the list, with the cursor on the first
    // column to type.
    void IncluiLinha(Dataset &dataset, TDBGrid *grid, const QString &primeiraColuna);

    void CriaPaginas();
    void CriaRodape();
    void CriaComandos();
    void LigaEventos();
    void drawCheckBox(DrawCell &cell, CheckBoxImage image);
    void MostraPagina(QWidget *page);
    void MarcaMenuDaPagina(QWidget *page);
    void ControlaBotoesDaPagina();
    void AjustaEdicaoDaColuna(TDBGrid &grid);
    void ComandosPadrao(bool confirmar, bool incluir, bool alterar, bool excluir, const Dataset &dataset);
    bool m_trocandoPaginaPeloMenu = false;
};

// The screen instance of the module; empty until the first opening, cleared when the
// screen is destroyed.
extern TfrmGrupSoliHom *frmGrupSoliHom;

#pragma once

// TfrmGrupSoliHom, "Controle de Processo de Homologação" (VOP42000): the homologation
// groups of the products, their requests, modified files and released files, on four
// pages, with the commands that edit them and advance a group from phase to phase.

#include "host/basescreens.h"
#include "datamodule/dmgrupsolihom.h"
#include "screens/groups/checkimages.h"

#include <QStringList>

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
    QToolButton *tbtPendente, *tbtAndamento, *tbtHomologado;

    // ---- commands beside the base ones
    QMenu *mnuTramitacao, *mnuExibir;
    QAction *mnuVoltaFase, *mnuAvancaFase, *mnuInterDependencia;
    QToolButton *btfVoltaFase, *btfAvancaFase, *sbtInterDependencia;
    QAction *mnuGrupo, *mnuSoli, *mnuArq;  // select the pages 1 to 3

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

private:
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

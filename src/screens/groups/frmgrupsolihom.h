#pragma once

// TfrmGrupSoliHom, "Controle de Processo de Homologação" (VOP42000): the homologation
// groups of the products, their requests, modified files and released files, on four
// pages, with the commands that edit them and advance a group from phase to phase.

#include "host/basescreens.h"
#include "screens/groups/checkimages.h"

#include <QStringList>

class QToolButton;

class TfrmGrupSoliHom : public TfrmPadraoGrid {
    Q_OBJECT
public:
    explicit TfrmGrupSoliHom(QWidget *parent = nullptr);
    ~TfrmGrupSoliHom() override;

    // ---- datasets (fields, sizes and labels in datamodel.cpp)
    Dataset *cdsGrupo, *cdsSoli, *cdsArq, *cdsArqLib, *cdsArqSoli, *cdsAuxArqSoli;
    Dataset *cdsProd, *cdsSoliDisp;
    Dataset *cdsGrupoAux, *cdsSoliAux, *cdsSoliAuxRel, *cdsArqAux, *cdsAgrupaSoli, *cdsVerifSoliGrupModel;
    Dataset *cdsVdSoli, *cdsItemTrabDesenv, *cdsVdJust, *cdsVDDepSoli, *cdsVDDepArq, *cdsArqModifAtu, *cdsVersArq;
    Dataset *cdsVd_ReleaseArq, *cdsVerificaArquivos, *cdsVerificaProduto, *cdsdatagpatch, *cdsVersArqFonteHom;
    Dataset *cdsSoliNaoGerada, *cdssolisemgerar, *cdsArqSoliCons, *cdsArqCons, *cdsVdReleaseSoli, *cdsReleaseSoli;
    Dataset *cdsVerificaSolicitaGrupo, *cdsArqSoliAsp, *cdsArqSoliSetForms;
    QList<Dataset *> datasets() const;

    TDataSource *dtsSoli, *dtsArq, *dtsArqLib;  // dtsPadrao shows cdsGrupo

    // ---- status tables
    TMessages msgStatus;      // IDSTGRUPHOM
    TMessages msgStatusSoli;  // IDSTSOLIGRUP

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

    // ---- state of the screen
    QStringList stlConexoes;  // connection use counts, "name=count"
    bool boEditavel = false;  // false: the screen is locked
    QString UsuarioSVN, SenhaSVN;
    QString Locacao0, DirDesenv, URLHomol, DirHomol, DirPreHomol, DirHomologados;

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

    // ---- display
    QString textoStatusGrupo(const QString &code) const;
    QString textoStatusSoli(const QString &code) const;
    static QString textoEspecifico(const QString &flag);
    static QString textoVersao(const QString &version, const QString &release, const QString &patch);
    // Which box the marking column shows for a group.
    static CheckBoxImage imagemMarcado(const QString &groupStatus, const QString &marked);
    // Which box a decision flag of a request shows.
    static CheckBoxImage imagemDecisao(const QString &groupStatus, const QString &flag, const QString &other1,
                                       const QString &other2);
    bool dbgPadraoDrawColumnCell(TDBGrid &grid, DrawCell &cell);
    bool dbgSoliDrawColumnCell(TDBGrid &grid, DrawCell &cell);

    Dataset *commandDataSet() const override;

private:
    void CriaDatasets();
    void CriaPaginas();
    void CriaRodape();
    void CriaComandos();
    void drawCheckBox(DrawCell &cell, CheckBoxImage image);
    bool m_trocandoPaginaPeloMenu = false;
};

// The screen instance of the module; empty until the first opening, cleared when the
// screen is destroyed.
extern TfrmGrupSoliHom *frmGrupSoliHom;

#pragma once

// TfrmGrupSoliHom, "Controle de Processo de Homologação" (VOP42000): the homologation
// groups of the products, their requests, modified files and released files, on four
// pages, with the commands that edit them and advance a group from phase to phase.

#include "host/basescreens.h"
#include "host/connection.h"
#include "screens/groups/checkimages.h"

#include <QJsonArray>
#include <QStringList>

class QPalette;
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
    TNetConnection netGrupSoliHom{QStringLiteral("netGrupSoliHom"), QStringLiteral("VOP42000.rdmGrupSoliHom")};
    QStringList stlConexoes;  // connection use counts, "name=count"
    bool boEditavel = false;  // false: the screen is locked
    QString UsuarioSVN, SenhaSVN;
    QString Locacao0, DirDesenv, URLHomol, DirHomol, DirPreHomol, DirHomologados;

    // ---- calls to the application server (one use of netGrupSoliHom around each)
    // The data part of a remote method's answer; a failed answer is shown and ends the
    // operation with the silent stop. With a caption key the busy animation shows that
    // text of the message table during the call.
    QJsonValue ChamaServidor(const QString &method, const QList<RemoteArg> &args, const QString &captionKey = {});
    // A packet of an answer (the data part or an element of an array answer), validated.
    static packet::Packet Pacote(const QJsonValue &element, const QString &method);
    // An array answer with at least `minimum` elements.
    static QJsonArray Lista(const QJsonValue &data, const QString &method, int minimum);

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

    // ---- the group list and the current group
    void cdsGrupoAfterScroll();
    void cdsGrupoAfterPost();
    // The released files of the current requests, with their homologation paths.
    void CarregaArquivosLiberados();
    // The six locations of a product (folders and homologated repository URL).
    void GetLocations(const QString &cdProduto);
    QString codigoGrupo() const;
    QString statusGrupo() const;

    // ---- command states
    void ControlaBotoesGrupo();
    void ControlaBotoesSoli();
    void ControlaBotoesArq();
    void ControlaBotoesTramita();
    void dtsPadraoStateChange() override;
    void dtsSoliStateChange();
    void dtsArqStateChange();
    bool dbgPadraoKeyDown(TDBGrid &grid, QKeyEvent *event) override;

    // ---- marking groups for homologation
    bool PodeMarcarGrupo(bool mostraMensagem);
    void MarcaGrupo();       // the current group
    void MarcaTodosGrupos();  // every group that may be marked

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
    // Text colour of a group row by its status; `selected` cells are white on the highlight.
    static QColor corTextoGrupo(const QString &groupStatus, bool selected, const QPalette &palette);
    // What a cell of the group grid shows: the product column shows the product's name.
    QString textoCelulaGrupo(const TDBGrid &grid, const DrawCell &cell) const;
    bool dbgPadraoDrawColumnCell(TDBGrid &grid, DrawCell &cell);
    bool dbgSoliDrawColumnCell(TDBGrid &grid, DrawCell &cell);

    Dataset *commandDataSet() const override;

private:
    void CriaDatasets();
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

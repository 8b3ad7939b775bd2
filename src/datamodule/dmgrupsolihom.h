#pragma once

// TdmGrupSoliHom, the data module of the homologation workflow: the datasets of the
// groups, requests and files, the application server connection with its use counts, the
// repository credentials, the product's locations and the transition log of one advance,
// with the server calls, the loading and the group save. The homologation screen creates
// it and shows its datasets; the command line drives it without any window.

#include "host/connection.h"
#include "host/dataset.h"
#include "host/messages.h"

#include <QJsonArray>
#include <QObject>
#include <QStringList>

#include <functional>

class TdmGrupSoliHom : public QObject {
    Q_OBJECT
public:
    explicit TdmGrupSoliHom(QObject *parent = nullptr);
    ~TdmGrupSoliHom() override;

    // ---- datasets (fields, sizes and labels in datasets.cpp)
    Dataset *cdsGrupo, *cdsSoli, *cdsArq, *cdsArqLib, *cdsArqSoli, *cdsAuxArqSoli;
    Dataset *cdsProd, *cdsSoliDisp;
    Dataset *cdsGrupoAux, *cdsSoliAux, *cdsSoliAuxRel, *cdsArqAux, *cdsAgrupaSoli, *cdsVerifSoliGrupModel;
    Dataset *cdsVdSoli, *cdsItemTrabDesenv, *cdsVdJust, *cdsVDDepSoli, *cdsVDDepArq, *cdsArqModifAtu, *cdsVersArq;
    Dataset *cdsVd_ReleaseArq, *cdsVerificaArquivos, *cdsVerificaProduto, *cdsdatagpatch, *cdsVersArqFonteHom;
    Dataset *cdsSoliNaoGerada, *cdssolisemgerar, *cdsArqSoliCons, *cdsArqCons, *cdsVdReleaseSoli, *cdsReleaseSoli;
    Dataset *cdsVerificaSolicitaGrupo, *cdsArqSoliAsp, *cdsArqSoliSetForms;
    QList<Dataset *> datasets() const;

    // ---- texts: the message table of the homologation screen and the two status tables
    TMessages msgPadrao;
    TMessages msgStatus;      // IDSTGRUPHOM
    TMessages msgStatusSoli;  // IDSTSOLIGRUP

    // ---- connection, credentials, locations, transition log
    TNetConnection netGrupSoliHom{QStringLiteral("netGrupSoliHom"), QStringLiteral("VOP42000.rdmGrupSoliHom")};
    QStringList stlConexoes;  // connection use counts, "name=count"
    bool boEditavel = false;  // false: the screen is locked
    QString UsuarioSVN, SenhaSVN;
    QString Locacao0, DirDesenv, URLHomol, DirHomol, DirPreHomol, DirHomologados;
    // The lines the repository transfer writes during one advance; stored with the phase change.
    QStringList stlLogTram;

    // ---- what the screen (or the command line) adds to the data module's work
    // The group change: before the group's requests are read (command states of the page)
    // and after (the released files, when their page is shown).
    std::function<void()> AntesDaTrocaDeGrupo;
    std::function<void()> DepoisDaTrocaDeGrupo;
    // Reading the data again after a homologation: the screen's Verificar of the page shown;
    // without a screen, the initial load.
    std::function<void()> AtualizaDados;
    // Patch generation of a request list (keys one per line), product code and product
    // tree code: the module's exported GeraSolicitacoes.
    std::function<bool(const QString &, const QString &, const QString &)> GeraSolicitacoes;
    // The justification dialog of a request decision: branch, group, request, operator.
    std::function<void(const QString &, const QString &, const QString &, const QString &)> CriaJustificativa;

    // ---- calls to the application server (one use of netGrupSoliHom around each)
    // The data part of a remote method's answer; a failed answer is shown and ends the
    // operation with the silent stop. With a caption key the busy animation shows that
    // text of the message table during the call.
    QJsonValue ChamaServidor(const QString &method, const QList<RemoteArg> &args, const QString &captionKey = {});
    // Said after the text of any failed call while it is set: what the failure means for
    // the operation under way (a row that was not saved).
    QString ComplementoDeFalha;
    // The same call, its answer unchecked: the caller words a failure itself.
    ServerAnswer Chama(const QString &method, const QList<RemoteArg> &args, const QString &captionKey = {});
    // A packet of an answer (the data part or an element of an array answer), validated.
    static packet::Packet Pacote(const QJsonValue &element, const QString &method);
    // An array answer with at least `minimum` elements.
    static QJsonArray Lista(const QJsonValue &data, const QString &method, int minimum);
    // Calls a method whose answer is a packet and loads it into a dataset.
    void CarregaPacote(Dataset *dataset, const QString &method, const QList<RemoteArg> &args,
                       const QString &captionKey = {});
    // A call whose answer is used without its result check: a failed call surfaces as an
    // error when its answer is loaded.
    packet::Packet PacoteSemValidacao(const QString &method, const QList<RemoteArg> &args);

    // ---- loading and saving
    void ConexaoPermanente(bool conecta);  // one held use of netGrupSoliHom
    void GetInitialData();
    void cdsGrupoAfterScroll();
    void cdsGrupoAfterPost();
    // Sends the group list's pending changes (setGrupo) and reads the list again, staying
    // on the group `grupo` (on the new group when it is empty and a group was added). A
    // refused save raises EHomologa with the server's text and keeps the pending changes.
    void GravaGrupos(const QString &grupo);
    // The released files of the current requests, with their homologation paths.
    void CarregaArquivosLiberados();
    // Discards the group list's unsaved changes (marks included), as every failed
    // workflow operation does; a failure of the reload that follows has shown itself.
    void DescartaAlteracoesGrupo();
    // The change of the group's fields to these values, as a save would send it, taken from
    // the list as the server gave it (the list's own pending changes are left out); the
    // list itself is not touched. An operation sends it within its step.
    packet::Delta AlteracaoDoGrupo(const QString &codigo, const QList<std::pair<QString, QString>> &valores) const;
    // The group with this code becomes the current one (without regard to case).
    bool LocalizaGrupo(const QString &codigo);
    // An operation about to write on its group finds it again by code; a group no longer
    // listed stops the operation with an error, and nothing is written on another group.
    void ReencontraGrupo(const QString &codigo);

    // ---- credentials and locations
    void GetUserPass();
    void GetLocations(const QString &cdProduto);

    // ---- the current group
    QString codigoGrupo() const;
    QString statusGrupo() const;
    QString grupo(const QString &field) const;

    // ---- marking groups for homologation
    bool PodeMarcarGrupo(bool mostraMensagem);
    void MarcaGrupo();        // the current group
    void MarcaTodosGrupos();  // every group that may be marked

    // ---- display texts
    QString textoStatusGrupo(const QString &code) const;
    QString textoStatusSoli(const QString &code) const;
    static QString textoEspecifico(const QString &flag);
    static QString textoVersao(const QString &version, const QString &release, const QString &patch);

private:
    void CriaDatasets();
};

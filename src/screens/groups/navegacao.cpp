// Loading the homologation screen from the application server, following the operator
// from group to group and from page to page, the group filter, the group save, the page
// refresh, and what the operations read once: the repository credentials and a product's
// locations.

#include "screens/groups/frmgrupsolihom.h"

#include "host/consiste.h"
#include "host/hostsettings.h"
#include "host/services.h"
#include "platform/files.h"
#include "platform/settings.h"
#include "promotion/destino.h"

#include <QAction>
#include <QLabel>
#include <QTabWidget>
#include <QToolButton>

#include <optional>

namespace {

const QString kCdGrupHomol = QStringLiteral("CDGRUPHOMOL");
const QString kIdStGrupHom = QStringLiteral("IDSTGRUPHOM");

QString withTrailingBackslash(const QString &folder)
{
    return folder.isEmpty() || folder.endsWith(u'\\') ? folder : folder + u'\\';
}

}  // namespace

// ====================================================================== server calls

QJsonValue TfrmGrupSoliHom::ChamaServidor(const QString &method, const QList<RemoteArg> &args, const QString &captionKey)
{
    std::optional<Showavi::Scope> busy;
    if (!captionKey.isEmpty())
        busy.emplace(msgPadrao.Msg(captionKey));
    ConnectServer(stlConexoes, netGrupSoliHom, true);
    const ServerAnswer answer = netGrupSoliHom.call(method, args);  // never throws
    ConnectServer(stlConexoes, netGrupSoliHom, false);
    busy.reset();
    return Consiste::CheckResultServ(answer, true, 0);
}

packet::Packet TfrmGrupSoliHom::Pacote(const QJsonValue &element, const QString &method)
{
    const QJsonValue data = Consiste::CheckResultServ(element, true, 0);
    try {
        if (!data.isObject())
            throw packet::PacketError("a resposta não é um pacote de dados");
        return packet::Packet::fromJson(data.toObject());
    } catch (const packet::PacketError &error) {
        Consiste::MensErro(QStringLiteral("Resposta inválida do servidor de aplicação em %1: %2")
                               .arg(method, QString::fromUtf8(error.what())),
                           true);
    }
    return {};
}

QJsonArray TfrmGrupSoliHom::Lista(const QJsonValue &data, const QString &method, int minimum)
{
    const QJsonArray list = data.toArray();
    if (!data.isArray() || list.size() < minimum)
        Consiste::MensErro(QStringLiteral("Resposta inválida do servidor de aplicação em %1: esperada uma lista de %2 "
                                          "elementos.")
                               .arg(method)
                               .arg(minimum),
                           true);
    return list;
}

QString TfrmGrupSoliHom::codigoGrupo() const { return cdsGrupo->FieldByName(kCdGrupHomol).AsString(); }

QString TfrmGrupSoliHom::statusGrupo() const { return cdsGrupo->FieldByName(kIdStGrupHom).AsString(); }

// ====================================================================== loading

void TfrmGrupSoliHom::GetInitialData()
{
    const QString method = QStringLiteral("GetInitialData");
    const QJsonArray answer = Lista(ChamaServidor(method, {Horvane::Operador()}, QStringLiteral("Recebendo")), method, 4);
    // Every packet is checked before any dataset is touched: a bad answer leaves the screen
    // with what it showed.
    const packet::Packet grupos = Pacote(answer[0], method);
    const packet::Packet solicitacoes = Pacote(answer[1], method);
    const packet::Packet arquivos = Pacote(answer[2], method);
    boEditavel = answer[3].toString() == u"S";
    cdsGrupo->setData(grupos);
    // The requests and files of the answer are those of the first group by code; when the
    // filter lists another group first, the group change has already read the current
    // group's, which stay.
    const int codeField = grupos.fieldIndex(kCdGrupHomol);
    const QString primeiro = grupos.rows.isEmpty() || codeField < 0 ? QString() : grupos.rows[0].value(codeField).toString();
    if (!cdsGrupo->IsEmpty() && codigoGrupo() == primeiro) {
        cdsSoli->setData(solicitacoes);
        cdsArq->setData(arquivos);
    }
}

void TfrmGrupSoliHom::cdsGrupoAfterScroll()
{
    QWidget *page = pgcPadrao->currentWidget();
    if (page == tshPadrao)
        ControlaBotoesGrupo();
    else if (page == tshSoli)
        ControlaBotoesSoli();

    const QString grupo = codigoGrupo();
    if (grupo.isEmpty()) {
        // No group (an empty or filtered-out list, or a group being created): nothing to ask.
        cdsSoli->EmptyDataSet();
        cdsArq->EmptyDataSet();
    } else {
        const QString method = QStringLiteral("GetAfterScroll");
        const QJsonArray answer = Lista(ChamaServidor(method, {grupo}, QStringLiteral("Recebendo")), method, 2);
        const packet::Packet solicitacoes = Pacote(answer[0], method);
        const packet::Packet arquivos = Pacote(answer[1], method);
        cdsSoli->setData(solicitacoes);
        cdsArq->setData(arquivos);
    }

    if (pgcPadrao->currentWidget() == tshArqLib) {
        ControlaBotoesArq();
        CarregaArquivosLiberados();
    }
}

void TfrmGrupSoliHom::CarregaArquivosLiberados()
{
    const QString grupo = codigoGrupo();
    const packet::Packet liberados =
        Pacote(ChamaServidor(QStringLiteral("GetArquivos"), {cdsSoli->Data(), QStringLiteral("N")}),
               QStringLiteral("GetArquivos"));
    const packet::Packet daSolicitacao =
        Pacote(ChamaServidor(QStringLiteral("getArqSoli"), {grupo}), QStringLiteral("getArqSoli"));
    cdsArqLib->setData(liberados);
    cdsArqSoli->setData(daSolicitacao);

    cdsArqLib->DisableControls();
    try {
        const TField numero = cdsArqSoli->FieldByName(QStringLiteral("NRSOLISERV"));
        const TField arquivo = cdsArqSoli->FieldByName(QStringLiteral("DSARQPATCH"));
        const TField especifico = cdsArqSoli->FieldByName(QStringLiteral("IDARQESPECLIE"));
        TField destino = cdsArqLib->FieldByName(QStringLiteral("DSDIRDESTHOM"));
        for (cdsArqSoli->First(); !cdsArqSoli->Eof(); cdsArqSoli->Next()) {
            const QString path = arquivo.AsString();
            if (!cdsArqLib->Locate(QStringLiteral("NRSOLISERV;DSARQPATCH"), QVariantList{numero.AsString(), path}))
                continue;
            cdsArqLib->Edit();
            destino.setAsString(especifico.AsString() != u"S" ? Arquivo_Destino(path) : Cliente_Arquivo(path));
            cdsArqLib->Post();
        }
        cdsArqLib->First();
    } catch (...) {
        cdsArqLib->EnableControls();
        throw;
    }
    cdsArqLib->EnableControls();
}

// ====================================================================== pages

void TfrmGrupSoliHom::MarcaMenuDaPagina(QWidget *page)
{
    mnuGrupo->setChecked(page == tshPadrao);
    mnuSoli->setChecked(page == tshSoli);
    mnuArq->setChecked(page == tshArq);
    const bool soli = page == tshSoli;
    lblTotalSoli->setVisible(soli);
    lblQtdeSoli->setVisible(soli);
}

void TfrmGrupSoliHom::pgcPadraoChange()
{
    QWidget *page = pgcPadrao->currentWidget();
    MarcaMenuDaPagina(page);
    if (page == tshPadrao) {
        ControlaBotoesGrupo();
        const QString lembrado = codigoGrupo();
        cdsGrupo->setData(Pacote(ChamaServidor(QStringLiteral("getGrupo"), {QString()}), QStringLiteral("getGrupo")));
        if (!lembrado.isEmpty() && codigoGrupo() != lembrado)
            cdsGrupo->Locate(kCdGrupHomol, lembrado);
    } else if (page == tshSoli) {
        ControlaBotoesSoli();
        cdsSoli->setData(Pacote(ChamaServidor(QStringLiteral("GetSoli"), {codigoGrupo()}), QStringLiteral("GetSoli")));
        lblQtdeSoli->setText(QString::number(cdsSoli->RecordCount()));
        // The commands follow what was read (Excluir and Procurar need rows).
        ControlaBotoesSoli();
    } else if (page == tshArq) {
        ControlaBotoesArq();
        cdsArq->setData(Pacote(ChamaServidor(QStringLiteral("getArq"), {codigoGrupo()}), QStringLiteral("getArq")));
        ControlaBotoesArq();
    } else if (page == tshArqLib) {
        ControlaBotoesArq();
        cdsSoli->setData(Pacote(ChamaServidor(QStringLiteral("GetSoli"), {codigoGrupo()}), QStringLiteral("GetSoli")));
        CarregaArquivosLiberados();
    }
}

void TfrmGrupSoliHom::MostraPagina(QWidget *page)
{
    m_trocandoPaginaPeloMenu = true;
    pgcPadrao->setCurrentWidget(page);
    m_trocandoPaginaPeloMenu = false;
    MarcaMenuDaPagina(page);
    ControlaBotoesDaPagina();
}

void TfrmGrupSoliHom::mnuGrupoClick(QAction *entry)
{
    // Chosen from the menu, the page is shown as it stands: its data is not read again, but
    // its commands are those of the page now shown.
    MostraPagina(entry == mnuSoli ? tshSoli : entry == mnuArq ? tshArq : tshPadrao);
}

void TfrmGrupSoliHom::dbnPadraoClick(NavigateBtn button)
{
    Q_UNUSED(button);
    pgcPadraoChange();
}

void TfrmGrupSoliHom::sbtVerificarClick()
{
    QWidget *page = pgcPadrao->currentWidget();
    if (page == tshPadrao) {
        GetInitialData();
    } else if (page == tshSoli) {
        cdsSoli->setData(Pacote(ChamaServidor(QStringLiteral("GetSoli"), {codigoGrupo()}), QStringLiteral("GetSoli")));
        lblQtdeSoli->setText(QString::number(cdsSoli->RecordCount()));
    } else if (page == tshArq) {
        cdsArq->setData(Pacote(ChamaServidor(QStringLiteral("getArq"), {codigoGrupo()}), QStringLiteral("getArq")));
    } else if (page == tshArqLib) {
        cdsSoli->setData(Pacote(ChamaServidor(QStringLiteral("GetSoli"), {codigoGrupo()}), QStringLiteral("GetSoli")));
        CarregaArquivosLiberados();
    }
}

// ====================================================================== filter and save

void TfrmGrupSoliHom::tbtPendenteClick()
{
    QString filtro;
    if (!(tbtPendente->isChecked() && tbtAndamento->isChecked() && tbtHomologado->isChecked())) {
        QStringList partes;
        if (tbtPendente->isChecked())
            partes << QStringLiteral("IDSTGRUPHOM = '001'");
        if (tbtAndamento->isChecked())
            partes << QStringLiteral("IDSTGRUPHOM IN ('002','003','004','005','006' )");
        if (tbtHomologado->isChecked())
            partes << QStringLiteral("IDSTGRUPHOM = '007'");
        filtro = partes.isEmpty() ? QStringLiteral("0=1") : partes.join(QStringLiteral(" OR "));
    }
    cdsGrupo->ApplyFilter(filtro);
}

void TfrmGrupSoliHom::cdsGrupoAfterPost()
{
    if (cdsGrupo->ChangeCount() > 0) {
        try {
            ChamaServidor(QStringLiteral("setGrupo"), {cdsGrupo->Delta()}, QStringLiteral("Atualizando"));
            cdsGrupo->MergeChangeLog();
        } catch (...) {
            // What the server refused is not kept on the screen as if it were saved.
            try {
                cdsGrupo->CancelUpdates();
            } catch (const EAbort &) {
                // the group change that followed has shown its own failure
            }
            throw;
        }
    }
    GetInitialData();
}

// ====================================================================== credentials and locations

void TfrmGrupSoliHom::GetUserPass()
{
    UsuarioSVN = QStringLiteral("svn_") + platform::files::logonName();
    SenhaSVN = platform::settings::repositoryPassword();
}

void TfrmGrupSoliHom::GetLocations(const QString &cdProduto)
{
    const QString method = QStringLiteral("getLocations");
    QString produto = cdProduto;
    const QJsonArray locations = Lista(ChamaServidor(method, {RemoteArg::ref(produto)}), method, 6);
    Locacao0 = locations[0].toString();
    DirDesenv = locations[1].toString();
    URLHomol = locations[2].toString();
    DirHomol = locations[3].toString();
    // An empty location stays empty: a lone "\" would name the root of the drive.
    DirPreHomol = withTrailingBackslash(locations[4].toString());
    DirHomologados = withTrailingBackslash(locations[5].toString());
}

// The data module's server calls, the loading of the group list and of the current
// group, the group save, and what the operations read once: the repository credentials
// and a product's locations.

#include "datamodule/dmgrupsolihom.h"

#include "datamodule/mensagens.h"
#include "host/consiste.h"
#include "host/hostsettings.h"
#include "host/services.h"
#include "platform/files.h"
#include "platform/settings.h"
#include "promotion/destino.h"

#include <algorithm>
#include <optional>

namespace {

const QString kCdGrupHomol = QStringLiteral("CDGRUPHOMOL");
const QString kIdStGrupHom = QStringLiteral("IDSTGRUPHOM");

QString withTrailingBackslash(const QString &folder)
{
    return folder.isEmpty() || folder.endsWith(u'\\') ? folder : folder + u'\\';
}

// A data module made without the screen or the module's entries has no patch screen
// and no justification dialog to call.
[[noreturn]] void notConnected(const QString &what)
{
    throw EHomologa(QStringLiteral("%1 não está disponível sem a tela de homologação.").arg(what));
}

}  // namespace

TdmGrupSoliHom::TdmGrupSoliHom(QObject *parent) : QObject(parent)
{
    setObjectName(QStringLiteral("dmGrupSoliHom"));
    msgPadrao.setEntries(MensagensGrupSoliHom());
    msgStatus.setEntries(StatusGrupo());
    msgStatusSoli.setEntries(StatusSolicitacao());
    CriaDatasets();
    cdsGrupo->AfterScroll = [this](Dataset &) { cdsGrupoAfterScroll(); };
    cdsGrupo->AfterPost = [this](Dataset &) { cdsGrupoAfterPost(); };
    cdsGrupo->AfterDelete = [this](Dataset &) { cdsGrupoAfterPost(); };
    AtualizaDados = [this] { GetInitialData(); };
    GeraSolicitacoes = [](const QString &, const QString &, const QString &) -> bool {
        notConnected(QStringLiteral("A geração de patch"));
    };
    CriaJustificativa = [](const QString &, const QString &, const QString &, const QString &) {
        notConnected(QStringLiteral("A justificativa de decisões"));
    };
}

TdmGrupSoliHom::~TdmGrupSoliHom() = default;

// ====================================================================== server calls

ServerAnswer TdmGrupSoliHom::Chama(const QString &method, const QList<RemoteArg> &args, const QString &captionKey)
{
    std::optional<Showavi::Scope> busy;
    if (!captionKey.isEmpty())
        busy.emplace(msgPadrao.Msg(captionKey));
    ConnectServer(stlConexoes, netGrupSoliHom, true);
    const ServerAnswer answer = netGrupSoliHom.call(method, args);  // never throws
    ConnectServer(stlConexoes, netGrupSoliHom, false);
    return answer;
}

QJsonValue TdmGrupSoliHom::ChamaServidor(const QString &method, const QList<RemoteArg> &args, const QString &captionKey)
{
    const ServerAnswer answer = Chama(method, args, captionKey);
    if (!answer.ok && !ComplementoDeFalha.isEmpty())
        Consiste::MensErro(answer.error + QStringLiteral("\r\n\r\n") + ComplementoDeFalha, true);
    return Consiste::CheckResultServ(answer, true, 0);
}

packet::Packet TdmGrupSoliHom::Pacote(const QJsonValue &element, const QString &method)
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

QJsonArray TdmGrupSoliHom::Lista(const QJsonValue &data, const QString &method, int minimum)
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

void TdmGrupSoliHom::CarregaPacote(Dataset *dataset, const QString &method, const QList<RemoteArg> &args,
                                   const QString &captionKey)
{
    dataset->setData(Pacote(ChamaServidor(method, args, captionKey), method));
}

packet::Packet TdmGrupSoliHom::PacoteSemValidacao(const QString &method, const QList<RemoteArg> &args)
{
    ConnectServer(stlConexoes, netGrupSoliHom, true);
    const ServerAnswer answer = netGrupSoliHom.call(method, args);
    ConnectServer(stlConexoes, netGrupSoliHom, false);
    // Loading the answer of a failed call is what fails: it holds no packet.
    if (!answer.ok || !answer.data.isObject())
        throw EHomologa(QStringLiteral("Não foi possível carregar a resposta do servidor de aplicação em %1: %2")
                            .arg(method, answer.ok ? QStringLiteral("a resposta não é um pacote de dados") : answer.error));
    try {
        return packet::Packet::fromJson(answer.data.toObject());
    } catch (const packet::PacketError &error) {
        throw EHomologa(QStringLiteral("Resposta inválida do servidor de aplicação em %1: %2")
                            .arg(method, QString::fromUtf8(error.what())));
    }
}

void TdmGrupSoliHom::ConexaoPermanente(bool conecta) { ConnectServer(stlConexoes, netGrupSoliHom, conecta); }

QString TdmGrupSoliHom::codigoGrupo() const { return cdsGrupo->FieldByName(kCdGrupHomol).AsString(); }

QString TdmGrupSoliHom::statusGrupo() const { return cdsGrupo->FieldByName(kIdStGrupHom).AsString(); }

QString TdmGrupSoliHom::grupo(const QString &field) const { return cdsGrupo->FieldByName(field).AsString(); }

// ====================================================================== loading

void TdmGrupSoliHom::GetInitialData()
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

void TdmGrupSoliHom::cdsGrupoAfterScroll()
{
    if (AntesDaTrocaDeGrupo)
        AntesDaTrocaDeGrupo();

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

    if (DepoisDaTrocaDeGrupo)
        DepoisDaTrocaDeGrupo();
}

void TdmGrupSoliHom::CarregaArquivosLiberados()
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

void TdmGrupSoliHom::cdsGrupoAfterPost()
{
    try {
        GravaGrupos(codigoGrupo());
    } catch (const EHomologa &) {
        // What the server refused is not kept as if it were saved.
        DescartaAlteracoesGrupo();
        throw;
    }
}

void TdmGrupSoliHom::GravaGrupos(const QString &grupo)
{
    QStringList conhecidos;
    if (grupo.isEmpty()) {
        const packet::Packet antes = cdsGrupo->Data();
        const int code = antes.fieldIndex(kCdGrupHomol);
        for (const packet::Row &row : antes.rows)
            conhecidos << row.value(code).toString();
    }
    if (cdsGrupo->ChangeCount() > 0) {
        const ServerAnswer answer = Chama(QStringLiteral("setGrupo"), {cdsGrupo->Delta()}, QStringLiteral("Atualizando"));
        if (!answer.ok)
            throw EHomologa(answer.error);
        cdsGrupo->MergeChangeLog();
    }
    // Saved: a failure of the reading that follows says nothing of the save.
    ComplementoDeFalha.clear();
    GetInitialData();
    // The operator stays on the group they saved: a new group gets its code from the server.
    QString destino = grupo;
    if (destino.isEmpty()) {
        const packet::Packet depois = cdsGrupo->Data();
        const int code = depois.fieldIndex(kCdGrupHomol);
        for (const packet::Row &row : depois.rows) {
            const QString codigo = row.value(code).toString();
            if (!conhecidos.contains(codigo))
                destino = std::max(destino, codigo);
        }
    }
    if (!destino.isEmpty())
        LocalizaGrupo(destino);
}

void TdmGrupSoliHom::DescartaAlteracoesGrupo()
{
    try {
        if (cdsGrupo->State() != dsBrowse)
            cdsGrupo->Cancel();
        cdsGrupo->CancelUpdates();
    } catch (const EAbort &) {
        // the group change that followed has shown its own failure
    }
}

packet::Delta TdmGrupSoliHom::AlteracaoDoGrupo(const QString &codigo, const QList<std::pair<QString, QString>> &valores) const
{
    Dataset copia;
    copia.CopyFrom(*cdsGrupo);
    copia.CancelUpdates();
    copia.ApplyFilter(QString());
    if (!copia.Locate(kCdGrupHomol, codigo, loCaseInsensitive))
        throw EHomologa(QStringLiteral("O grupo %1 não está mais na lista de grupos; nada foi gravado nele. Use Verificar "
                                       "e confira a fase do grupo antes de repetir a operação.")
                            .arg(codigo));
    copia.Edit();
    for (const auto &[campo, valor] : valores)
        copia.FieldByName(campo).setAsString(valor);
    copia.Post();
    return copia.Delta();
}

bool TdmGrupSoliHom::LocalizaGrupo(const QString &codigo)
{
    if (codigoGrupo().compare(codigo, Qt::CaseInsensitive) == 0 && !cdsGrupo->IsEmpty())
        return true;
    return cdsGrupo->Locate(kCdGrupHomol, codigo, loCaseInsensitive);
}

void TdmGrupSoliHom::ReencontraGrupo(const QString &codigo)
{
    if (codigo.isEmpty() || !LocalizaGrupo(codigo))
        throw EHomologa(QStringLiteral("O grupo %1 não está mais na lista de grupos da tela; nada foi gravado nele. "
                                       "Use Verificar e confira a fase do grupo antes de repetir a operação.")
                            .arg(codigo));
}

// ====================================================================== credentials and locations

void TdmGrupSoliHom::GetUserPass()
{
    UsuarioSVN = QStringLiteral("svn_") + platform::files::logonName();
    SenhaSVN = platform::settings::repositoryPassword();
}

void TdmGrupSoliHom::GetLocations(const QString &cdProduto)
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

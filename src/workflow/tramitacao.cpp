#include "workflow/tramitacao.h"

#include "datamodule/dmgrupsolihom.h"
#include "datamodule/travagrupo.h"
#include "host/consiste.h"
#include "host/hostsettings.h"
#include "host/services.h"
#include "promotion/copiatrabalho.h"
#include "promotion/prehomologados.h"
#include "promotion/transferencia.h"
#include "workflow/homologacao.h"
#include "workflow/logtramitacao.h"
#include "workflow/tags.h"
#include "workflow/verificacoes.h"

#include <QScopeGuard>

#include <optional>

namespace {

const QString kTestes = QStringLiteral("000000000994");

// The question of a transition, followed by what it acts on, so that the operator answers
// knowing which group will move.
bool Confirma(TdmGrupSoliHom &dm, const QString &key, const QString &alvo)
{
    return hostUi().showMessage(dm.msgPadrao.Msg(key) + QStringLiteral("\r\n\r\n") + alvo, DialogType::Confirmation,
                                mbYes | mbNo)
        == mbYes;
}

QString GrupoAtual(TdmGrupSoliHom &dm)
{
    return QStringLiteral("Grupo: %1 - %2").arg(dm.codigoGrupo(), dm.grupo(QStringLiteral("DSGRUPHOMOL")));
}

}  // namespace

QString Tramitacao::ReleaseAnterior(const QString &release)
{
    return QString::number(QString(release).remove(u'.').toLongLong() - 1);
}

QString Tramitacao::CarimboDeTempo(const QDateTime &agora) { return agora.toString(QStringLiteral("yyyyMMddHHmmss")); }

void Tramitacao::GravaFase(const QString &grupo, const QString &fase, const QString *release)
{
    dm.ReencontraGrupo(grupo);
    dm.cdsGrupo->Edit();
    dm.cdsGrupo->FieldByName(QStringLiteral("IDSTGRUPHOM")).setAsString(fase);
    if (release)
        dm.cdsGrupo->FieldByName(QStringLiteral("CDRELEASEGHOM")).setAsString(*release);
    dm.cdsGrupo->Post();
}

QString Tramitacao::ReleaseDoProduto(const QString &cdProduto)
{
    const QString method = QStringLiteral("getReleaseProd");
    return TdmGrupSoliHom::Lista(dm.ChamaServidor(method, {cdProduto}), method, 1)[0].toString();
}

void Tramitacao::SyncFaseTram(const QString &grupo, bool porReferencia)
{
    QString codigo = grupo;
    if (porReferencia)
        dm.ChamaServidor(QStringLiteral("SyncFaseTram"), {RemoteArg::ref(codigo)});
    else
        dm.ChamaServidor(QStringLiteral("SyncFaseTram"), {codigo});
}

QStringList Tramitacao::GruposMarcados()
{
    QStringList codigos;
    dm.cdsGrupoAux->CopyFrom(*dm.cdsGrupo);
    dm.cdsGrupoAux->ApplyFilter(dm.cdsGrupo->Filter());
    for (dm.cdsGrupoAux->First(); !dm.cdsGrupoAux->Eof(); dm.cdsGrupoAux->Next()) {
        if (dm.cdsGrupoAux->FieldByName(QStringLiteral("IDMARCADO")).AsString() == u"S")
            codigos.append(dm.cdsGrupoAux->FieldByName(QStringLiteral("CDGRUPHOMOL")).AsString());
    }
    return codigos;
}

QStringList Tramitacao::GruposDaHomologacao(const QString &atual)
{
    QStringList grupos = GruposMarcados();
    if (!grupos.contains(atual))
        grupos.prepend(atual);
    return grupos;
}

// ====================================================================== the advance command

bool Tramitacao::btfAvancaFaseClick()
{
    dm.stlLogTram.clear();
    const QString grupo = dm.codigoGrupo();
    const QString atual = dm.statusGrupo();
    const QString proxima = Consiste::Ajusta(QString::number(atual.toInt() + 1), 3);
    // One advance per group at a time: the lease of the groups it acts on is held from
    // before its question until it ends, whichever way.
    std::optional<TravaDeGrupos> trava;
    if (atual >= u"001" && atual <= u"006")
        trava.emplace(dm.netGrupSoliHom, atual == u"006" ? GruposDaHomologacao(grupo) : QStringList{grupo}, atual);
    bool feita = false;
    try {
        if (atual == u"001")
            feita = TramitaGrupo_001_002();
        else if (atual == u"002")
            feita = TramitaGrupo_002_003();
        else if (atual == u"003")
            feita = TramitaGrupo_003_004();
        else if (atual == u"004")
            feita = TramitaGrupo_004_005();
        else if (atual == u"005")
            feita = TramitaGrupo_005_006();
        else if (atual == u"006")
            feita = TramitaGrupo_006_007();
    } catch (...) {
        dm.DescartaAlteracoesGrupo();
        dm.stlLogTram.clear();
        throw;
    }
    try {
        if (feita) {
            const QString log = dm.stlLogTram.isEmpty() ? QString() : dm.stlLogTram.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n");
            if (!Consiste::EmptyString(log))
                SalvaLog(dm, Consiste::Ajusta(QString::number(proxima.toInt() - 1), 3), proxima, log, grupo);
            dm.msgPadrao.ShowMsg(QStringLiteral("TRAM_SUCCESS"), DialogType::Information, mbOK);
        }
    } catch (...) {
        dm.stlLogTram.clear();
        dm.DescartaAlteracoesGrupo();
        throw;
    }
    dm.stlLogTram.clear();
    dm.DescartaAlteracoesGrupo();
    return feita;
}

// ====================================================================== the transitions

bool Tramitacao::TramitaGrupo_001_002()
{
    if (!Confirma(dm, QStringLiteral("CONF_001_002"), GrupoAtual(dm)))
        return false;
    const QString codigo = dm.codigoGrupo();
    CopiaTrabalho copia(dm);
    copia.VD_before_Atu_SVN_Hom();
    copia.Vd_Arquivos_Atualizados_Desenv();
    TransferenciaHomol(dm).Atualiza_SVN_Homologados();
    GravaFase(codigo, QStringLiteral("002"));
    return true;
}

bool Tramitacao::TramitaGrupo_002_003()
{
    if (!Confirma(dm, QStringLiteral("CONF_002_003"), GrupoAtual(dm)))
        return false;
    const QString codigo = dm.codigoGrupo();
    const QString produto = dm.grupo(QStringLiteral("CDPRODUTO"));
    const QString arvore = dm.grupo(QStringLiteral("CDARVPROD"));
    dm.CarregaPacote(dm.cdsSoli, QStringLiteral("GetSoli"), {codigo});
    QString lista;
    for (dm.cdsSoli->First(); !dm.cdsSoli->Eof(); dm.cdsSoli->Next())
        lista += dm.cdsSoli->FieldByName(QStringLiteral("CDFILIAL")).AsString()
            + dm.cdsSoli->FieldByName(QStringLiteral("NRSOLISERV")).AsString() + QStringLiteral("\r\n");
    if (FamiliaDoProduto(arvore) == Familia::Compilados) {
        Verificacoes verificacoes(dm);
        verificacoes.Vd_soli_sem_arq_gerar();
        verificacoes.Vd_Consistencia_Arquivo();
    }
    if (!dm.GeraSolicitacoes(lista, produto, arvore))
        return false;
    // Patch generation may have moved the list; the phase is written on this group.
    GravaFase(codigo, QStringLiteral("003"));
    Verificacoes(dm).Preenche_Release_Grupo(codigo);
    SyncFaseTram(codigo, true);
    return true;
}

bool Tramitacao::TramitaGrupo_003_004()
{
    if (!Confirma(dm, QStringLiteral("CONF_003_004"), GrupoAtual(dm)))
        return false;
    Verificacoes(dm).VD_Todas_Solicitacoes_Geradas();
    const QString codigo = dm.codigoGrupo();
    const QString produto = dm.grupo(QStringLiteral("CDPRODUTO"));
    dm.GetLocations(produto);
    PreHomologados(dm).AtualizaPorFamilia();
    const QString release = ReleaseDoProduto(produto);
    // A working list of the requests, not the screen's.
    Dataset &solicitacoes = *dm.cdsSoliAuxRel;
    dm.CarregaPacote(&solicitacoes, QStringLiteral("GetSoli"), {codigo});
    for (solicitacoes.First(); !solicitacoes.Eof(); solicitacoes.Next())
        dm.ChamaServidor(QStringLiteral("SetReleaseSoli"),
                         {release, solicitacoes.FieldByName(QStringLiteral("NRSOLISERV")).AsString()});
    SyncFaseTram(codigo);
    GravaFase(codigo, QStringLiteral("004"), &release);
    return true;
}

bool Tramitacao::TramitaGrupo_004_005()
{
    std::optional<Showavi::Scope> busy(std::in_place, dm.msgPadrao.Msg(QStringLiteral("TRAMITAGRUPO_PATCH_GERADA")));
    if (!Confirma(dm, QStringLiteral("CONF_004_005"), GrupoAtual(dm)))
        return false;
    Verificacoes(dm).VD_Todas_Solicitacoes_Geradas();
    const QString release = QString(dm.grupo(QStringLiteral("CDRELEASEGHOM"))).remove(u'.');
    dm.msgPadrao.ShowMsg(QStringLiteral("CRIAR_PATCH"), {ReleaseAnterior(release), release}, DialogType::Information,
                         mbOK);
    const QString codigo = dm.codigoGrupo();
    GravaFase(codigo, QStringLiteral("005"));
    SyncFaseTram(codigo);
    return true;
}

bool Tramitacao::TramitaGrupo_005_006()
{
    std::optional<Showavi::Scope> busy(std::in_place, dm.msgPadrao.Msg(QStringLiteral("LIBERA_GRUPO_TESTE")));
    if (!Confirma(dm, QStringLiteral("CONF_005_006"), GrupoAtual(dm)))
        return false;
    TagsSvn tags(dm);
    QString local;
    try {
        const QString release = QString(dm.grupo(QStringLiteral("CDRELEASEGHOM"))).remove(u'.');
        dm.msgPadrao.ShowMsg(QStringLiteral("ATUALIZA_SRV_TESTE"), {ReleaseAnterior(release), release},
                             DialogType::Information, mbOK);
        {
            // One connection use covers the whole hand-over.
            dm.ConexaoPermanente(true);
            const auto libera = qScopeGuard([this] { dm.ConexaoPermanente(false); });
            Dataset &solicitacoes = *dm.cdsSoli;
            for (solicitacoes.First(); !solicitacoes.Eof(); solicitacoes.Next())
                dm.ChamaServidor(QStringLiteral("setTroca_Resp_Soli"),
                                 {solicitacoes.FieldByName(QStringLiteral("CDFILIAL")).AsString(),
                                  solicitacoes.FieldByName(QStringLiteral("NRSOLISERV")).AsString(), Horvane::Operador(),
                                  kTestes});
        }
        const QString codigo = dm.codigoGrupo();
        tags.Gera_Tag_SVN(QStringLiteral("TST_") + CarimboDeTempo() + u'_' + codigo, &local);
        GravaFase(codigo, QStringLiteral("006"));
        SyncFaseTram(codigo);
    } catch (...) {
        busy.reset();
        dm.DescartaAlteracoesGrupo();
        tags.Deleta_SVN(local);
        throw;
    }
    return true;
}

bool Tramitacao::TramitaGrupo_006_007()
{
    // The marked groups, in list order, as the list shows them under its filter.
    const QStringList marcados = GruposMarcados();
    QStringList nomes;
    for (const QString &codigo : marcados) {
        if (dm.cdsGrupoAux->Locate(QStringLiteral("CDGRUPHOMOL"), QVariantList{codigo}))
            nomes << codigo + QStringLiteral(" - ") + dm.cdsGrupoAux->FieldByName(QStringLiteral("DSGRUPHOMOL")).AsString();
    }
    if (!Confirma(dm, QStringLiteral("CONF_006_007"),
                  QStringLiteral("Grupos selecionados: ")
                      + (nomes.isEmpty() ? QStringLiteral("nenhum") : nomes.join(QStringLiteral("; ")))))
        return false;
    const QString carimbo = CarimboDeTempo();
    const QString codigos = marcados.join(QString());
    const QString primeiro = marcados.value(0);
    TagsSvn tags(dm);
    QString local;
    bool homologou = false;
    try {
        Verificacoes verificacoes(dm);
        verificacoes.VD_Todas_Solicitacoes_Testadas();
        verificacoes.VD_Volta_Grupo();
        // The check walk ends on the last group of the list, which may be of another
        // product: the tag is of the marked groups' product.
        dm.LocalizaGrupo(primeiro);
        tags.Gera_Tag_SVN(QStringLiteral("HOM_") + carimbo + u'_' + codigos, &local);
        Homologacao(dm).Homologa_Grupos_Selecionados();
        homologou = true;
        dm.AtualizaDados();
    } catch (...) {
        dm.DescartaAlteracoesGrupo();
        // Once the groups are closed the homologation has happened: its tag is its record
        // and stays, even when only the closing refresh failed.
        if (!homologou)
            tags.Deleta_SVN(local);
        throw;
    }
    return true;
}

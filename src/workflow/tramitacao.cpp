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
#include "workflow/operacao.h"
#include "workflow/tags.h"
#include "workflow/verificacoes.h"

#include <QJsonArray>
#include <QScopeGuard>

#include <optional>

namespace {

const QString kTestes = QStringLiteral("000000000994");

// The question of a transition, followed by what it acts on, so that the operator answers
// knowing which group will move.
bool Confirma(TdmGrupSoliHom &dm, const QString &key, const QString &alvo)
{
    const QString texto = key.isEmpty() ? alvo : dm.msgPadrao.Msg(key) + QStringLiteral("\r\n\r\n") + alvo;
    return hostUi().showMessage(texto, DialogType::Confirmation, mbYes | mbNo) == mbYes;
}

// Patch generation reported that it did not run: the operation ends with nothing done.
struct GeracaoNaoFeita {};

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

QString Tramitacao::ReleaseDoProduto(const QString &cdProduto)
{
    const QString method = QStringLiteral("getReleaseProd");
    return TdmGrupSoliHom::Lista(dm.ChamaServidor(method, {cdProduto}), method, 1)[0].toString();
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
    bool feita = false;
    try {
        // An interrupted operation of the group is continued, never started again.
        std::optional<Operacao::Aberta> aberta;
        if (!grupo.isEmpty())
            aberta = Operacao::Procura(dm, grupo);
        // A new advance holds the lease of the groups it acts on from before its question, so
        // that nobody changes them while it decides its plan; the operation takes it over.
        std::optional<TravaDeGrupos> trava;
        if (!aberta && atual >= u"001" && atual <= u"006") {
            trava.emplace(dm.netGrupSoliHom, atual == u"006" ? GruposDaHomologacao(grupo) : QStringList{grupo}, atual);
            m_travaInicial = trava->token();
        }
        if (aberta)
            feita = Continua(*aberta);
        else if (atual == u"001")
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
        if (feita)
            dm.msgPadrao.ShowMsg(QStringLiteral("TRAM_SUCCESS"), DialogType::Information, mbOK);
    } catch (...) {
        dm.DescartaAlteracoesGrupo();
        dm.stlLogTram.clear();
        throw;
    }
    dm.stlLogTram.clear();
    dm.DescartaAlteracoesGrupo();
    return feita;
}

// ====================================================================== the transitions: their plans

bool Tramitacao::TramitaGrupo_001_002()
{
    if (!Confirma(dm, QStringLiteral("CONF_001_002"), GrupoAtual(dm)))
        return false;
    const QString codigo = dm.codigoGrupo();
    // The checks that need no work; the working copies are brought up to date by the
    // operation's first step.
    CopiaTrabalho(dm).Verificacoes();
    return Inicia(Plano(QStringLiteral("001"), codigo), {codigo});
}

bool Tramitacao::TramitaGrupo_002_003()
{
    if (!Confirma(dm, QStringLiteral("CONF_002_003"), GrupoAtual(dm)))
        return false;
    const QString codigo = dm.codigoGrupo();
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
    QJsonObject plano = Plano(QStringLiteral("002"), codigo);
    plano.insert(QStringLiteral("solicitacoes"), lista);
    return Inicia(plano, {codigo});
}

bool Tramitacao::TramitaGrupo_003_004()
{
    if (!Confirma(dm, QStringLiteral("CONF_003_004"), GrupoAtual(dm)))
        return false;
    Verificacoes(dm).VD_Todas_Solicitacoes_Geradas();
    const QString codigo = dm.codigoGrupo();
    QJsonObject plano = Plano(QStringLiteral("003"), codigo);
    // The release the requests receive is the product's as the advance starts.
    plano.insert(QStringLiteral("release"), ReleaseDoProduto(dm.grupo(QStringLiteral("CDPRODUTO"))));
    return Inicia(plano, {codigo});
}

bool Tramitacao::TramitaGrupo_004_005()
{
    Showavi::Scope busy(dm.msgPadrao.Msg(QStringLiteral("TRAMITAGRUPO_PATCH_GERADA")));
    if (!Confirma(dm, QStringLiteral("CONF_004_005"), GrupoAtual(dm)))
        return false;
    Verificacoes(dm).VD_Todas_Solicitacoes_Geradas();
    const QString release = QString(dm.grupo(QStringLiteral("CDRELEASEGHOM"))).remove(u'.');
    dm.msgPadrao.ShowMsg(QStringLiteral("CRIAR_PATCH"), {ReleaseAnterior(release), release}, DialogType::Information,
                         mbOK);
    const QString codigo = dm.codigoGrupo();
    return Inicia(Plano(QStringLiteral("004"), codigo), {codigo});
}

bool Tramitacao::TramitaGrupo_005_006()
{
    Showavi::Scope busy(dm.msgPadrao.Msg(QStringLiteral("LIBERA_GRUPO_TESTE")));
    if (!Confirma(dm, QStringLiteral("CONF_005_006"), GrupoAtual(dm)))
        return false;
    const QString release = QString(dm.grupo(QStringLiteral("CDRELEASEGHOM"))).remove(u'.');
    dm.msgPadrao.ShowMsg(QStringLiteral("ATUALIZA_SRV_TESTE"), {ReleaseAnterior(release), release},
                         DialogType::Information, mbOK);
    const QString codigo = dm.codigoGrupo();
    QJsonObject plano = Plano(QStringLiteral("005"), codigo);
    // The requests handed over are those of the screen's request list, as loaded for the group.
    QJsonArray solicitacoes;
    Dataset &lista = *dm.cdsSoli;
    for (lista.First(); !lista.Eof(); lista.Next())
        solicitacoes.append(lista.FieldByName(QStringLiteral("CDFILIAL")).AsString()
                            + lista.FieldByName(QStringLiteral("NRSOLISERV")).AsString());
    plano.insert(QStringLiteral("solicitacoes"), solicitacoes);
    plano.insert(QStringLiteral("tag"), QStringLiteral("TST_") + CarimboDeTempo() + u'_' + codigo);
    return Inicia(plano, {codigo});
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
    const QString atual = dm.codigoGrupo();
    Verificacoes verificacoes(dm);
    verificacoes.VD_Todas_Solicitacoes_Testadas();
    verificacoes.VD_Volta_Grupo();
    // The check walk ends on the last group of the list, which may be of another product:
    // the tag is of the marked groups' product.
    dm.LocalizaGrupo(marcados.value(0));
    QJsonObject plano = Plano(QStringLiteral("006"), marcados.value(0));
    plano.insert(QStringLiteral("tag"), QStringLiteral("HOM_") + carimbo + u'_' + codigos);
    const QJsonObject homologacao = Homologacao(dm).Planeja();
    plano.insert(QStringLiteral("homologacao"), homologacao);
    // Every group the homologation changes is leased: the marked ones, the current one and
    // those that closing them sends back.
    QStringList grupos = Homologacao::GruposDoPlano(homologacao);
    if (!grupos.contains(atual) && !atual.isEmpty())
        grupos.append(atual);
    if (!marcados.isEmpty()) {
        grupos.removeAll(marcados.value(0));
        grupos.prepend(marcados.value(0));
    }
    return Inicia(plano, grupos);
}

// ====================================================================== the operation

QJsonObject Tramitacao::Plano(const QString &fase, const QString &grupo) const
{
    return QJsonObject{{QStringLiteral("transicao"), fase},
                       {QStringLiteral("grupo"), grupo},
                       {QStringLiteral("produto"), dm.grupo(QStringLiteral("CDPRODUTO"))},
                       {QStringLiteral("arvore"), dm.grupo(QStringLiteral("CDARVPROD"))}};
}

QString Tramitacao::Descricao(const QJsonObject &plano, const QStringList &grupos)
{
    const QString fase = plano.value(QStringLiteral("transicao")).toString();
    if (fase == u"006")
        return QStringLiteral("a homologação dos grupos %1").arg(grupos.join(QStringLiteral(", ")));
    return QStringLiteral("a tramitação %1 → %2 do grupo %3")
        .arg(fase, Consiste::Ajusta(QString::number(fase.toInt() + 1), 3), plano.value(QStringLiteral("grupo")).toString());
}

bool Tramitacao::Inicia(const QJsonObject &plano, const QStringList &grupos)
{
    // A dry walk names the steps the server keeps.
    const std::unique_ptr<Operacao> nomeadora = Operacao::ParaNomear(dm);
    Passos(plano, *nomeadora);
    const std::unique_ptr<Operacao> operacao = Operacao::Abre(dm, grupos, plano.value(QStringLiteral("transicao")).toString(),
                                                              Descricao(plano, grupos), plano, nomeadora->nomes(),
                                                              m_travaInicial);
    return Passos(plano, *operacao);
}

bool Tramitacao::Continua(const Operacao::Aberta &aberta)
{
    // Whoever opened it, the operator knows what is being continued before anything runs.
    if (!Confirma(dm, QString(),
                  QStringLiteral("Há uma operação interrompida em aberto: %1.\r\nEla será continuada a partir desse passo, "
                                 "com o plano decidido ao iniciá-la. Deseja continuá-la?")
                      .arg(aberta.descrita)))
        return false;
    const std::unique_ptr<Operacao> operacao = Operacao::Retoma(dm, aberta);
    return Passos(aberta.plano, *operacao);
}

bool Tramitacao::Passos(const QJsonObject &plano, Operacao &operacao)
{
    const QString fase = plano.value(QStringLiteral("transicao")).toString();
    const QString codigo = plano.value(QStringLiteral("grupo")).toString();
    const bool nomeando = operacao.nomeando();
    if (!nomeando)
        dm.LocalizaGrupo(codigo);
    const auto faseGravada = [&](const QString &nova, const QString *release = nullptr) {
        QList<std::pair<QString, QString>> valores{{QStringLiteral("IDSTGRUPHOM"), nova}};
        if (release)
            valores.append({QStringLiteral("CDRELEASEGHOM"), *release});
        return Chamada{QStringLiteral("setGrupo"), {dm.AlteracaoDoGrupo(codigo, valores)}};
    };
    const auto depoisDaFase = [&] {
        // The list is read again, on the group advanced, as a save does.
        if (!nomeando) {
            dm.DescartaAlteracoesGrupo();
            dm.GravaGrupos(codigo);
        }
    };

    if (fase == u"001") {
        const QString log = operacao.Passo(QStringLiteral("Cópias de trabalho atualizadas e arquivos transferidos"), [&](QList<Chamada> &) {
            dm.stlLogTram.clear();
            CopiaTrabalho copia(dm);
            copia.VD_before_Atu_SVN_Hom();
            copia.Vd_Arquivos_Atualizados_Desenv();
            TransferenciaHomol(dm).Atualiza_SVN_Homologados();
            return dm.stlLogTram.isEmpty() ? QString() : dm.stlLogTram.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n");
        });
        operacao.Passo(QStringLiteral("Fase 002 e log da tramitação"), [&](QList<Chamada> &chamadas) {
            chamadas.append(faseGravada(QStringLiteral("002")));
            if (!Consiste::EmptyString(log))
                chamadas.append(ChamadaDoLog(dm, QStringLiteral("001"), QStringLiteral("002"), log, codigo));
            return QString();
        });
        depoisDaFase();
    } else if (fase == u"002") {
        try {
            operacao.Passo(QStringLiteral("Geração de patch das solicitações"), [&](QList<Chamada> &) {
                if (!dm.GeraSolicitacoes(plano.value(QStringLiteral("solicitacoes")).toString(),
                                         plano.value(QStringLiteral("produto")).toString(),
                                         plano.value(QStringLiteral("arvore")).toString()))
                    throw GeracaoNaoFeita();
                return QString();
            });
        } catch (const GeracaoNaoFeita &) {
            // The operator left the generation without running it (or it failed and said
            // so): the phase stays, and the next advance plans anew.
            operacao.Abandona();
            return false;
        }
        operacao.Passo(QStringLiteral("Fase 003, release do grupo e sincronização"), [&](QList<Chamada> &chamadas) {
            // The group receives the product's release as patch generation left it.
            const QString release = ReleaseDoProduto(plano.value(QStringLiteral("produto")).toString());
            chamadas.append(faseGravada(QStringLiteral("003"), &release));
            chamadas.append(Chamada{QStringLiteral("SyncFaseTram"), {codigo}});
            return QString();
        });
        depoisDaFase();
    } else if (fase == u"003") {
        operacao.Passo(QStringLiteral("Cópia para os pré homologados"), [&](QList<Chamada> &) {
            dm.GetLocations(plano.value(QStringLiteral("produto")).toString());
            PreHomologados(dm).AtualizaPorFamilia();
            return QString();
        });
        operacao.Passo(QStringLiteral("Release das solicitações, sincronização e fase 004"), [&](QList<Chamada> &chamadas) {
            const QString release = plano.value(QStringLiteral("release")).toString();
            // A working list of the requests, not the screen's.
            Dataset &solicitacoes = *dm.cdsSoliAuxRel;
            dm.CarregaPacote(&solicitacoes, QStringLiteral("GetSoli"), {codigo});
            for (solicitacoes.First(); !solicitacoes.Eof(); solicitacoes.Next())
                chamadas.append(Chamada{QStringLiteral("SetReleaseSoli"),
                                        {release, solicitacoes.FieldByName(QStringLiteral("NRSOLISERV")).AsString()}});
            chamadas.append(Chamada{QStringLiteral("SyncFaseTram"), {codigo}});
            chamadas.append(faseGravada(QStringLiteral("004"), &release));
            return QString();
        });
        depoisDaFase();
    } else if (fase == u"004") {
        operacao.Passo(QStringLiteral("Fase 005 e sincronização"), [&](QList<Chamada> &chamadas) {
            chamadas.append(faseGravada(QStringLiteral("005")));
            chamadas.append(Chamada{QStringLiteral("SyncFaseTram"), {codigo}});
            return QString();
        });
        depoisDaFase();
    } else if (fase == u"005") {
        std::optional<Showavi::Scope> busy;
        if (!nomeando)
            busy.emplace(dm.msgPadrao.Msg(QStringLiteral("LIBERA_GRUPO_TESTE")));
        operacao.Passo(QStringLiteral("Solicitações entregues ao responsável pelos testes"), [&](QList<Chamada> &chamadas) {
            for (const QJsonValue &item : plano.value(QStringLiteral("solicitacoes")).toArray())
                chamadas.append(Chamada{QStringLiteral("setTroca_Resp_Soli"),
                                        {item.toString().left(4), item.toString().mid(4, 10), Horvane::Operador(), kTestes}});
            return QString();
        });
        ComTag(plano, operacao, QStringLiteral("Fase 006 e sincronização"), [&] {
            operacao.Passo(QStringLiteral("Fase 006 e sincronização"), [&](QList<Chamada> &chamadas) {
                chamadas.append(faseGravada(QStringLiteral("006")));
                chamadas.append(Chamada{QStringLiteral("SyncFaseTram"), {codigo}});
                return QString();
            });
        });
        depoisDaFase();
    } else if (fase == u"006") {
        ComTag(plano, operacao, QStringLiteral("Encerramento dos grupos"),
               [&] { Homologacao(dm).Executa(plano.value(QStringLiteral("homologacao")).toObject(), operacao); });
        if (!nomeando)
            dm.AtualizaDados();
    }
    return true;
}

void Tramitacao::ComTag(const QJsonObject &plano, Operacao &operacao, const QString &pontoSemVolta,
                        const std::function<void()> &depois)
{
    const QString tag = plano.value(QStringLiteral("tag")).toString();
    const QString nome = QStringLiteral("Tag %1").arg(tag);
    TagsSvn tags(dm);
    QString local;
    try {
        local = operacao.Passo(nome, [&](QList<Chamada> &) {
            dm.LocalizaGrupo(plano.value(QStringLiteral("grupo")).toString());
            return tags.Gera_Tag_SVN(tag, &local);
        });
        depois();
    } catch (...) {
        // Before the point of no return the tag goes again, and only this operation's own
        // (the one its plan names), only while this run still holds the groups: the next run
        // makes it again. After it, nothing is undone: the rerun completes the work.
        if (!operacao.nomeando() && !operacao.Feito(pontoSemVolta) && operacao.AindaTravada()) {
            dm.DescartaAlteracoesGrupo();
            if (local.isEmpty())
                local = TagsSvn::LocaisDaTag(dm.URLHomol, dm.DirDesenv, tag).tagloc;
            // The step is reopened first: a tag is never removed while the server still
            // counts it as made.
            if (!dm.URLHomol.isEmpty() && tags.Existe(local)) {
                operacao.Reabre(nome);
                tags.Deleta_SVN(local);
            }
        }
        throw;
    }
}

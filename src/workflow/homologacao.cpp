#include "workflow/homologacao.h"

#include "datamodule/dmgrupsolihom.h"
#include "host/connection.h"
#include "host/consiste.h"
#include "host/hostsettings.h"
#include "host/services.h"
#include "promotion/homologados.h"
#include "promotion/reversao.h"
#include "workflow/registro.h"

#include <optional>

namespace {

const QString kSim = QStringLiteral("S");
const QString kNao = QStringLiteral("N");
// The responsible that takes over a request sent back for patch regeneration.
const QString kResponsavelRegeracao = QStringLiteral("000000000994");
const QString kDesenvolvimento = QStringLiteral("DESENV");

QString Texto(const TdmGrupSoliHom &dm, const char *key, const QVariantList &args = {})
{
    return dm.msgPadrao.Msg(QLatin1StringView(key), args);
}

// A request's key in the indexes: branch and number, without regard to case.
QString Chave(const QString &filial, const QString &numero)
{
    return filial.toUpper() + u'\x1f' + numero.toUpper();
}

QString Valor(const Dataset &dataset, int row, int field)
{
    return field < 0 ? QString() : Dataset::valueText(dataset.gridRow(row).value(field));
}

}  // namespace

// What the independence test asks of one group, indexed once: the files and groupings of
// each request, which requests share each file, the members of each grouping, and the
// status of each request in the group.
struct Homologacao::Indices {
    // A file list (modified files, files to generate): per file, the requests of its records
    // in list order; per request, its files in list order.
    struct Arquivos {
        QHash<QString, std::vector<QString>> solicitacoesDoArquivo;
        QHash<QString, QStringList> arquivosDaSolicitacao;

        void indexa(const Dataset &lista, const QString &campoArquivo)
        {
            const int filial = lista.fieldIndex(QStringLiteral("CDFILIAL"));
            const int numero = lista.fieldIndex(QStringLiteral("NRSOLISERV"));
            const int arquivo = lista.fieldIndex(campoArquivo);
            for (int row = 0; row < lista.RecordCount(); ++row) {
                const QString nome = Valor(lista, row, arquivo).toUpper();
                const QString chave = Chave(Valor(lista, row, filial), Valor(lista, row, numero));
                solicitacoesDoArquivo[nome].push_back(chave);
                arquivosDaSolicitacao[chave].append(nome);
            }
        }
        // The requests that must be validated for `chave` to stand alone: for every file of
        // the request that occurs in two or more records, every request with a record of it.
        template <typename Teste>
        bool todasOk(const QString &chave, Teste ok) const
        {
            const auto arquivos = arquivosDaSolicitacao.constFind(chave);
            if (arquivos == arquivosDaSolicitacao.cend())
                return true;
            for (const QString &nome : *arquivos) {
                const std::vector<QString> &registros = solicitacoesDoArquivo[nome];
                if (registros.size() < 2)
                    continue;
                for (const QString &outra : registros) {
                    if (!ok(outra))
                        return false;
                }
            }
            return true;
        }
    };

    QString grupo;
    Arquivos modificados;
    Arquivos aGerar;
    QHash<QString, QStringList> membrosDoAgrupamento;
    QHash<QString, QStringList> agrupamentosDaSolicitacao;
};

Homologacao::Homologacao(TdmGrupSoliHom &dm) : dm(dm) {}

Homologacao::~Homologacao() = default;

// ====================================================================== the rules

Homologacao::Desfecho Homologacao::DecideDesfecho(const QString &idHomolSol, const QString &idEncSolPatcReg,
                                                  const QString &idRetSolErroPro, const QString &idStSoliGrup,
                                                  const std::function<bool()> &independente)
{
    if (idHomolSol != kNao || idEncSolPatcReg != kNao || idRetSolErroPro != kNao) {
        if (idHomolSol == kSim)
            return Desfecho::Homol;
        if (idEncSolPatcReg == kSim)
            return Desfecho::Regera;
        return Desfecho::Erro;
    }
    if (idStSoliGrup == u"004")
        return Desfecho::Erro;
    if (idStSoliGrup == u"005")
        return independente() ? Desfecho::Homol : Desfecho::Regera;
    if (idStSoliGrup == u"007")
        return Desfecho::Regera;
    return Desfecho::ForaDeFase;
}

QString Homologacao::AssuntoDaHomologacao(bool assuntoEncontrado)
{
    return assuntoEncontrado ? QStringLiteral("105") : QStringLiteral("205");
}

QStringList Homologacao::ItensDaLista(const QString &lista)
{
    QStringList itens;
    for (QString linha : lista.split(u'\n')) {
        if (linha.endsWith(u'\r'))
            linha.chop(1);
        if (!linha.trimmed().isEmpty())
            itens.append(linha);
    }
    return itens;
}

QString Homologacao::ChavesDeCheckout(const QString &lista)
{
    QString chaves = QStringLiteral("_");
    for (const QString &item : ItensDaLista(lista))
        chaves += item.mid(4, 10) + u'_';
    return chaves;
}

// ====================================================================== the whole homologation

void Homologacao::Homologa_Grupos_Selecionados()
{
    Showavi::Scope animacao(Texto(dm, "HOMOLOGA_GRUPO_SELECIONADO"));
    bool primeiro = true;
    bool algumHomologado = false;
    QString codigos, produto, release;

    Dataset &grupos = *dm.cdsGrupo;
    grupos.DisableControls();
    try {
        // Moving onto a group reads its requests and files into the screen's lists.
        for (grupos.First(); !grupos.Eof(); grupos.Next()) {
            if (dm.grupo(QStringLiteral("IDMARCADO")) != kSim)
                continue;
            const QString grupo = dm.codigoGrupo();
            release = dm.grupo(QStringLiteral("CDRELEASEGHOM"));
            produto = dm.grupo(QStringLiteral("CDPRODUTO"));
            if (primeiro) {
                dm.GetLocations(produto);
                primeiro = false;
            }

            // Every outcome is decided before anything is done: the lists the decisions read
            // are those of the group as it stood under test.
            EsqueceIndices();
            QStringList erro, regera, homol;
            Dataset &soli = *dm.cdsSoli;
            const int filial = soli.fieldIndex(QStringLiteral("CDFILIAL"));
            const int numero = soli.fieldIndex(QStringLiteral("NRSOLISERV"));
            const int referencia = soli.fieldIndex(QStringLiteral("DSREFESOLI"));
            const int status = soli.fieldIndex(QStringLiteral("IDSTSOLIGRUP"));
            const int homologar = soli.fieldIndex(QStringLiteral("IDHOMOLSOL"));
            const int regerar = soli.fieldIndex(QStringLiteral("IDENCSOLPATCREG"));
            const int voltarErro = soli.fieldIndex(QStringLiteral("IDRETSOLERROPRO"));
            for (int row = 0; row < soli.RecordCount(); ++row) {
                const QString f = Valor(soli, row, filial);
                const QString n = Valor(soli, row, numero);
                const Desfecho desfecho =
                    DecideDesfecho(Valor(soli, row, homologar), Valor(soli, row, regerar), Valor(soli, row, voltarErro),
                                   Valor(soli, row, status), [&] { return Soli_Independente(grupo, f, n); });
                switch (desfecho) {
                case Desfecho::Erro:
                    erro.append(f + n);
                    break;
                case Desfecho::Regera:
                    regera.append(f + n);
                    break;
                case Desfecho::Homol:
                    homol.append(f + n);
                    break;
                case Desfecho::ForaDeFase:
                    dm.msgPadrao.ShowMsg(QStringLiteral("SOLI_FORA_FASE"),
                                         {n + QStringLiteral(" - ") + Valor(soli, row, referencia),
                                          grupo + QStringLiteral(" - ") + dm.grupo(QStringLiteral("DSGRUPHOMOL"))},
                                         DialogType::Warning, mbOK);
                    break;
                }
            }
            // A homologation that could not register the product's next patch is refused
            // before any request is moved (the groups marked together share one release).
            if (!homol.isEmpty())
                RegistroRelease::ConfereProximoPatch(release);

            const QString separador = QStringLiteral("\r\n");
            if (!erro.isEmpty())
                Volta_Soli_Erro(grupo, erro.join(separador));
            if (!regera.isEmpty())
                Volta_Regera_Soli(grupo, regera.join(separador));
            if (!homol.isEmpty())
                Homologa_Soli(grupo, homol.join(separador));

            codigos += grupo + u',';
            if (!homol.isEmpty())
                algumHomologado = true;
            SyncFaseTram(grupo);
        }
        EsqueceIndices();
        grupos.EnableControls();

        if (!codigos.isEmpty())
            dm.ChamaServidor(QStringLiteral("Encerra_Grupos"), {RemoteArg::ref(codigos)});
        if (algumHomologado)
            RegistroRelease(dm).Atualiza_Release_Produto(produto, release);
    } catch (...) {
        EsqueceIndices();
        if (grupos.ControlsDisabled())
            grupos.EnableControls();
        dm.DescartaAlteracoesGrupo();
        throw;
    }
}

void Homologacao::SyncFaseTram(const QString &grupo) { dm.ChamaServidor(QStringLiteral("SyncFaseTram"), {grupo}); }

// ====================================================================== independence

void Homologacao::EsqueceIndices()
{
    m_indices.reset();
    m_validadas.reset();
}

const Homologacao::Indices &Homologacao::IndicesDoGrupo(const QString &grupo)
{
    if (m_indices && m_indices->grupo == grupo)
        return *m_indices;

    auto indices = std::make_unique<Indices>();
    indices->grupo = grupo;
    // The modified files as loaded for the group; the files to generate and the groupings
    // fresh from the server.
    indices->modificados.indexa(*dm.cdsArq, QStringLiteral("DSDIRARQCHECKOU"));
    dm.CarregaPacote(dm.cdsArqSoli, QStringLiteral("getArqSoli"), {grupo});
    indices->aGerar.indexa(*dm.cdsArqSoli, QStringLiteral("DSARQPATCH"));
    dm.CarregaPacote(dm.cdsAgrupaSoli, QStringLiteral("getAgrupaSoli"), {grupo});

    const Dataset &agrupa = *dm.cdsAgrupaSoli;
    const int filial = agrupa.fieldIndex(QStringLiteral("CDFILIAL"));
    const int numero = agrupa.fieldIndex(QStringLiteral("NRSOLISERV"));
    const int sequencia = agrupa.fieldIndex(QStringLiteral("NRSEQAGRUPASOLI"));
    for (int row = 0; row < agrupa.RecordCount(); ++row) {
        const QString agrupamento = Valor(agrupa, row, sequencia).toUpper();
        const QString chave = Chave(Valor(agrupa, row, filial), Valor(agrupa, row, numero));
        indices->membrosDoAgrupamento[agrupamento].append(chave);
        indices->agrupamentosDaSolicitacao[chave].append(agrupamento);
    }
    m_indices = std::move(indices);
    ++m_indicesMontados;
    return *m_indices;
}

const QHash<QString, bool> &Homologacao::ValidadasDoGrupo()
{
    if (m_validadas)
        return *m_validadas;
    // The status of each request of the screen's request list (the group being homologated).
    QHash<QString, bool> validadas;
    const Dataset &soli = *dm.cdsSoli;
    const int f = soli.fieldIndex(QStringLiteral("CDFILIAL"));
    const int n = soli.fieldIndex(QStringLiteral("NRSOLISERV"));
    const int status = soli.fieldIndex(QStringLiteral("IDSTSOLIGRUP"));
    validadas.reserve(soli.RecordCount());
    for (int row = 0; row < soli.RecordCount(); ++row) {
        const QString chave = Chave(Valor(soli, row, f), Valor(soli, row, n));
        if (!validadas.contains(chave)) {
            const QString s = Valor(soli, row, status);
            validadas.insert(chave, s == u"005" || s == u"006");
        }
    }
    m_validadas = std::move(validadas);
    return *m_validadas;
}

bool Homologacao::Soli_Independente(const QString &grupo, const QString &filial, const QString &numero)
{
    try {
        const Indices &indices = IndicesDoGrupo(grupo);
        const QHash<QString, bool> &validadas = ValidadasDoGrupo();
        auto ok = [&validadas](const QString &chave) { return validadas.value(chave, false); };

        const QString chave = Chave(filial, numero);
        if (!indices.modificados.todasOk(chave, ok))
            return false;
        if (!indices.aGerar.todasOk(chave, ok))
            return false;
        for (const QString &agrupamento : indices.agrupamentosDaSolicitacao.value(chave)) {
            for (const QString &membro : indices.membrosDoAgrupamento.value(agrupamento)) {
                if (!ok(membro))
                    return false;
            }
        }
        return true;
    } catch (...) {
        dm.DescartaAlteracoesGrupo();
        throw;
    }
}

bool Homologacao::Soli_OK(const QString &filial, const QString &numero)
{
    return ValidadasDoGrupo().value(Chave(filial, numero), false);
}

// ====================================================================== the outcomes

void Homologacao::Homologa_Soli(const QString &grupo, const QString &lista)
{
    try {
        Homologados homologados(dm);
        homologados.Grava_Backup_Homologados(grupo, lista);
        homologados.Atualiza_Arq_Homologados(grupo, lista);
        Tramita_Soli_Homol(grupo, lista);
        // The backup goes only once the requests have been moved on: a failure before leaves
        // it for whoever restores the homologated tree.
        homologados.Exclui_Backup_Homologados(grupo, lista);
    } catch (...) {
        dm.DescartaAlteracoesGrupo();
        throw;
    }
}

void Homologacao::VoltaSolicitacoes(const char *legenda, const QString &grupo, const QString &lista,
                                    void (Homologacao::*tramita)(const QString &, const QString &))
{
    try {
        Showavi::Scope animacao(Texto(dm, legenda));
        Reversao reversao(dm);
        reversao.Volta_Backup_Pre_Homologados(grupo, lista);
        reversao.Volta_Arquivos_SVN_Homologados(grupo, lista);
        (this->*tramita)(grupo, lista);
        QString chaves = ChavesDeCheckout(lista);
        dm.ChamaServidor(QStringLiteral("removeArqCheckoutAtiv"), {RemoteArg::ref(chaves)});
    } catch (...) {
        dm.DescartaAlteracoesGrupo();
        throw;
    }
}

void Homologacao::Volta_Regera_Soli(const QString &grupo, const QString &lista)
{
    VoltaSolicitacoes("VOLTA_REGERA_SOLI", grupo, lista, &Homologacao::Tramita_Soli_Regera_Patch);
}

void Homologacao::Volta_Soli_Erro(const QString &grupo, const QString &lista)
{
    VoltaSolicitacoes("VOLTA_SOLI_ERRO", grupo, lista, &Homologacao::Tramita_Soli_Corrige_Patch);
}

// ====================================================================== moves on the server

void Homologacao::TramitaLista(const char *legenda, const QString &lista,
                               const std::function<void(const QString &, const QString &)> &chamadas)
{
    Dataset &soli = *dm.cdsSoli;
    std::optional<Showavi::Scope> animacao;
    bool conectado = false;
    try {
        animacao.emplace(Texto(dm, legenda));
        ConnectServer(dm.stlConexoes, dm.netGrupSoliHom, true);
        conectado = true;
        const TField campoFilial = soli.FieldByName(QStringLiteral("CDFILIAL"));
        const TField campoNumero = soli.FieldByName(QStringLiteral("NRSOLISERV"));
        for (const QString &item : ItensDaLista(lista)) {
            soli.ApplyFilter(QStringLiteral("CDFILIAL = '") + item.left(4) + QStringLiteral("' AND NRSOLISERV = '")
                             + item.mid(4, 10) + u'\'');
            // A request that the group's list does not hold would be moved with empty keys.
            if (soli.IsEmpty())
                Consiste::MensErro(QStringLiteral("A solicitação %1/%2 não pertence ao grupo de solicitações %3.")
                                       .arg(item.left(4), item.mid(4, 10), dm.codigoGrupo()),
                                   true);
            chamadas(campoFilial.AsString(), campoNumero.AsString());
            soli.ApplyFilter(QString());
        }
        ConnectServer(dm.stlConexoes, dm.netGrupSoliHom, false);
    } catch (...) {
        try {
            soli.ApplyFilter(QString());
        } catch (...) {
        }
        if (conectado)
            ConnectServer(dm.stlConexoes, dm.netGrupSoliHom, false);
        animacao.reset();
        dm.DescartaAlteracoesGrupo();
        throw;
    }
}

void Homologacao::Tramita_Soli_Regera_Patch(const QString &, const QString &lista)
{
    const QString produto = dm.grupo(QStringLiteral("CDPRODUTO"));
    TramitaLista("TRAMITA_SOLI_REGERA_PATCH", lista, [&](const QString &filial, const QString &numero) {
        QString assunto = QStringLiteral("072");
        dm.ChamaServidor(QStringLiteral("setTramita_Soli"),
                         {filial, numero, Horvane::Operador(), kResponsavelRegeracao, RemoteArg::ref(assunto),
                          QStringLiteral("Solicitou regeração de patch"), QString()});
        dm.ChamaServidor(QStringLiteral("TransfPatchFaseTram"), {filial, numero, produto});
    });
}

void Homologacao::Tramita_Soli_Homol(const QString &, const QString &lista)
{
    const QString produto = dm.grupo(QStringLiteral("CDPRODUTO"));
    TramitaLista("TRAMITA_SOLI_HOMOL", lista, [&](const QString &filial, const QString &numero) {
        const QString cdAssunto = dm.cdsSoli->FieldByName(QStringLiteral("CDASSUNTO")).AsString();
        QString assunto = AssuntoDaHomologacao(!qryVerificaAssunto(cdAssunto).rows.isEmpty());
        const QString operador = Horvane::Operador();
        dm.ChamaServidor(QStringLiteral("setTramita_Soli"), {filial, numero, operador, operador, RemoteArg::ref(assunto),
                                                             QStringLiteral("Enviou patch"), QString()});
        dm.ChamaServidor(QStringLiteral("SetArqLibPatchClie"), {filial, numero, produto});
        dm.ChamaServidor(QStringLiteral("SetReleaseSoli"), {QString(), numero});
    });
}

void Homologacao::Tramita_Soli_Corrige_Patch(const QString &, const QString &lista)
{
    TramitaLista("TRAMITA_SOLI_CORRIGE", lista, [&](const QString &filial, const QString &numero) {
        dm.ChamaServidor(QStringLiteral("setTroca_Resp_Soli"), {filial, numero, Horvane::Operador(), kDesenvolvimento});
    });
}

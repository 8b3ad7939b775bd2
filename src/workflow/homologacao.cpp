#include "workflow/homologacao.h"

#include "datamodule/dmgrupsolihom.h"
#include "host/connection.h"
#include "host/consiste.h"
#include "host/hostsettings.h"
#include "host/services.h"
#include "promotion/homologados.h"
#include "promotion/reversao.h"
#include "workflow/logtramitacao.h"
#include "workflow/operacao.h"
#include "workflow/registro.h"

#include <QDateTime>
#include <QJsonArray>
#include <QScopeGuard>

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

// The number of `nome` in `ids`, a new one (`proximo`) when it has none yet.
int IdDe(QHash<QString, int> &ids, const QString &nome, int proximo, bool &novo)
{
    const auto it = ids.constFind(nome);
    novo = it == ids.cend();
    if (!novo)
        return *it;
    ids.insert(nome, proximo);
    return proximo;
}

QString Valor(const Dataset &dataset, int row, int field)
{
    return field < 0 ? QString() : Dataset::valueText(dataset.gridRow(row).value(field));
}

}  // namespace

// The requests of the group being homologated, numbered in the order of its request list,
// with whether each is validated ("005" or "006"). Requests that only another list names get
// numbers after them and are not validated.
struct Homologacao::Solicitacoes {
    QHash<QString, int> numero;  // Chave -> id
    std::vector<char> validada;

    int id(const QString &chave)
    {
        const auto it = numero.constFind(chave);
        if (it != numero.cend())
            return *it;
        numero.insert(chave, int(validada.size()));
        validada.push_back(0);
        return int(validada.size()) - 1;
    }
    int procura(const QString &chave) const { return numero.value(chave, -1); }
};

// What the independence test asks of one group, indexed once: per file list, the requests
// of each file's records and the files of each request; per grouping, its members; per
// request, its groupings. Everything is kept by number, the names only while indexing.
struct Homologacao::Indices {
    struct Arquivos {
        std::vector<std::vector<int>> registrosDoArquivo;     // file -> request of each record
        std::vector<std::vector<int>> arquivosDaSolicitacao;  // request -> its files

        void indexa(const Dataset &lista, const QString &campoArquivo, Solicitacoes &solicitacoes)
        {
            const int filial = lista.fieldIndex(QStringLiteral("CDFILIAL"));
            const int numero = lista.fieldIndex(QStringLiteral("NRSOLISERV"));
            const int arquivo = lista.fieldIndex(campoArquivo);
            QHash<QString, int> idDoArquivo;
            idDoArquivo.reserve(lista.RecordCount());
            for (int row = 0; row < lista.RecordCount(); ++row) {
                const int solicitacao = solicitacoes.id(Chave(Valor(lista, row, filial), Valor(lista, row, numero)));
                bool novo = false;
                const int id = IdDe(idDoArquivo, Valor(lista, row, arquivo).toUpper(), int(registrosDoArquivo.size()), novo);
                if (novo)
                    registrosDoArquivo.emplace_back();
                registrosDoArquivo[size_t(id)].push_back(solicitacao);
                if (size_t(solicitacao) >= arquivosDaSolicitacao.size())
                    arquivosDaSolicitacao.resize(size_t(solicitacao) + 1);
                arquivosDaSolicitacao[size_t(solicitacao)].push_back(id);
            }
        }
        // For every file of the request that occurs in two or more records, every request
        // with a record of it must be validated.
        bool todasValidadas(int solicitacao, const std::vector<char> &validada) const
        {
            if (solicitacao < 0 || size_t(solicitacao) >= arquivosDaSolicitacao.size())
                return true;
            for (int arquivo : arquivosDaSolicitacao[size_t(solicitacao)]) {
                const std::vector<int> &registros = registrosDoArquivo[size_t(arquivo)];
                if (registros.size() < 2)
                    continue;
                for (int outra : registros) {
                    if (!validada[size_t(outra)])
                        return false;
                }
            }
            return true;
        }
    };

    QString grupo;
    Arquivos modificados;
    Arquivos aGerar;
    std::vector<std::vector<int>> membrosDoAgrupamento;
    std::vector<std::vector<int>> agrupamentosDaSolicitacao;
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
    const QJsonObject plano = Planeja();
    const std::unique_ptr<Operacao> direta = Operacao::Direta(dm);
    Executa(plano, *direta);
}

QJsonObject Homologacao::Planeja()
{
    Showavi::Scope animacao(Texto(dm, "HOMOLOGA_GRUPO_SELECIONADO"));
    bool primeiro = true;
    bool algumHomologado = false;
    QString produto, release;
    QJsonArray planoDosGrupos;

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
            QJsonArray erro, regera, homol;
            Dataset &soli = *dm.cdsSoli;
            const int filial = soli.fieldIndex(QStringLiteral("CDFILIAL"));
            const int numero = soli.fieldIndex(QStringLiteral("NRSOLISERV"));
            const int referencia = soli.fieldIndex(QStringLiteral("DSREFESOLI"));
            const int status = soli.fieldIndex(QStringLiteral("IDSTSOLIGRUP"));
            const int homologar = soli.fieldIndex(QStringLiteral("IDHOMOLSOL"));
            const int regerar = soli.fieldIndex(QStringLiteral("IDENCSOLPATCREG"));
            const int voltarErro = soli.fieldIndex(QStringLiteral("IDRETSOLERROPRO"));
            const int assunto = soli.fieldIndex(QStringLiteral("CDASSUNTO"));
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
                    // The workflow subject is read now: the plan keeps what the homologation will send.
                    homol.append(QJsonObject{
                        {QStringLiteral("item"), f + n},
                        {QStringLiteral("assunto"),
                         AssuntoDaHomologacao(!qryVerificaAssunto(Valor(soli, row, assunto)).rows.isEmpty())}});
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
            // before any request of the group is moved. The groups marked together share one
            // release, so the refusal comes with the first group that homologates anything.
            if (!homol.isEmpty()) {
                RegistroRelease::ConfereProximoPatch(release);
                algumHomologado = true;
            }
            planoDosGrupos.append(QJsonObject{{QStringLiteral("grupo"), grupo},
                                              {QStringLiteral("erro"), erro},
                                              {QStringLiteral("regera"), regera},
                                              {QStringLiteral("homol"), homol}});
        }
        EsqueceIndices();
        grupos.EnableControls();
    } catch (...) {
        EsqueceIndices();
        if (grupos.ControlsDisabled())
            grupos.EnableControls();
        dm.DescartaAlteracoesGrupo();
        throw;
    }

    // The registrations of the product's next patch, decided now from the release homologated.
    QJsonArray registro;
    if (algumHomologado) {
        RegistroRelease registroRelease(dm);
        registroRelease.Registrador = [&](const QString &metodo, const QStringList &argumentos) {
            registro.append(QJsonObject{{QStringLiteral("m"), metodo}, {QStringLiteral("a"), QJsonArray::fromStringList(argumentos)}});
        };
        registroRelease.Atualiza_Release_Produto(produto, release);
    }
    return QJsonObject{{QStringLiteral("produto"), produto},
                       {QStringLiteral("release"), release},
                       // The moment that names the backup areas it sets aside, the same for every run.
                       {QStringLiteral("instante"), QDateTime::currentDateTime().toString(Qt::ISODate)},
                       {QStringLiteral("grupos"), planoDosGrupos},
                       {QStringLiteral("voltam"), QJsonArray::fromStringList(GruposQueVoltam(produto, release))},
                       {QStringLiteral("registro"), registro}};
}

QStringList Homologacao::GruposQueVoltam(const QString &produto, const QString &release) const
{
    QStringList voltam;
    if (release.isEmpty())
        return voltam;
    Dataset todos;
    todos.CopyFrom(*dm.cdsGrupo);
    todos.ApplyFilter(QString());
    for (todos.First(); !todos.Eof(); todos.Next()) {
        if (todos.FieldByName(QStringLiteral("IDMARCADO")).AsString() != kSim
            && todos.FieldByName(QStringLiteral("CDPRODUTO")).AsString() == produto
            && todos.FieldByName(QStringLiteral("CDRELEASEGHOM")).AsString() == release
            && todos.FieldByName(QStringLiteral("IDSTGRUPHOM")).AsString() != u"007")
            voltam.append(todos.FieldByName(QStringLiteral("CDGRUPHOMOL")).AsString());
    }
    return voltam;
}

QStringList Homologacao::GruposDoPlano(const QJsonObject &plano)
{
    QStringList grupos;
    for (const QJsonValue &grupo : plano.value(QStringLiteral("grupos")).toArray())
        grupos.append(grupo.toObject().value(QStringLiteral("grupo")).toString());
    for (const QJsonValue &grupo : plano.value(QStringLiteral("voltam")).toArray())
        grupos.append(grupo.toString());
    return grupos;
}

void Homologacao::Executa(const QJsonObject &plano, Operacao &operacao)
{
    m_operacao = &operacao;
    const auto esquece = qScopeGuard([this] { m_operacao = nullptr; });
    std::optional<Showavi::Scope> animacao;
    if (!operacao.nomeando())
        animacao.emplace(Texto(dm, "HOMOLOGA_GRUPO_SELECIONADO"));
    const QString produto = plano.value(QStringLiteral("produto")).toString();
    const QString release = plano.value(QStringLiteral("release")).toString();
    m_produto = produto;
    m_registro = plano.value(QStringLiteral("registro")).toArray();
    try {
        if (!produto.isEmpty() && !operacao.nomeando())
            dm.GetLocations(produto);
        QString codigos;
        const QString separador = QStringLiteral("\r\n");
        for (const QJsonValue &valor : plano.value(QStringLiteral("grupos")).toArray()) {
            const QJsonObject grupoPlano = valor.toObject();
            const QString grupo = grupoPlano.value(QStringLiteral("grupo")).toString();
            // The file work reads the group's product and tree from the group list.
            if (!operacao.nomeando())
                dm.LocalizaGrupo(grupo);
            QStringList erro, regera, homol;
            for (const QJsonValue &item : grupoPlano.value(QStringLiteral("erro")).toArray())
                erro.append(item.toString());
            for (const QJsonValue &item : grupoPlano.value(QStringLiteral("regera")).toArray())
                regera.append(item.toString());
            m_assuntos.clear();
            for (const QJsonValue &item : grupoPlano.value(QStringLiteral("homol")).toArray()) {
                const QString chave = item.toObject().value(QStringLiteral("item")).toString();
                homol.append(chave);
                m_assuntos.insert(chave, item.toObject().value(QStringLiteral("assunto")).toString());
            }
            if (!erro.isEmpty())
                Volta_Soli_Erro(grupo, erro.join(separador));
            if (!regera.isEmpty())
                Volta_Regera_Soli(grupo, regera.join(separador));
            if (!homol.isEmpty())
                Homologa_Soli(grupo, homol.join(separador));
            codigos += grupo + u',';
            SyncFaseTram(grupo);
        }

        if (!codigos.isEmpty())
            Encerra_Grupos(codigos);
        // From here the homologation has happened: what follows is completed, never undone.
        // The groups of the release that the closing sent back to "001" run the road again
        // from a clean start: the backups of the run that ended are set aside.
        const QStringList voltam = [&] {
            QStringList lista;
            for (const QJsonValue &grupo : plano.value(QStringLiteral("voltam")).toArray())
                lista.append(grupo.toString());
            return lista;
        }();
        if (!voltam.isEmpty()) {
            const QString primeiro =
                plano.value(QStringLiteral("grupos")).toArray().at(0).toObject().value(QStringLiteral("grupo")).toString();
            const QString log = m_operacao->Passo(QStringLiteral("Áreas de backup dos grupos devolvidos"), [&](QList<Chamada> &chamadas) {
                QStringList linhas;
                QDateTime agora = QDateTime::fromString(plano.value(QStringLiteral("instante")).toString(), Qt::ISODate);
                if (!agora.isValid())
                    agora = QDateTime::currentDateTime();
                for (const QString &grupo : voltam) {
                    for (const QString &pasta : AposentaAreasDeBackup(dm, grupo, release, agora))
                        linhas.append(QStringLiteral("O grupo %1 voltou à fase inicial; a área de backup da execução "
                                                     "encerrada foi guardada em %2.")
                                          .arg(grupo, pasta));
                }
                const QString log = linhas.join(QStringLiteral("\r\n"));
                // Stored with the homologation's phase change, in the same step.
                if (!log.isEmpty())
                    chamadas.append(ChamadaDoLog(dm, QStringLiteral("006"), QStringLiteral("007"), log + QStringLiteral("\r\n"), primeiro));
                return log;
            });
            if (!log.isEmpty())
                dm.stlLogTram.append(log.split(QStringLiteral("\r\n")));
        }
        if (!m_registro.isEmpty())
            Atualiza_Release_Produto(produto, release);
    } catch (...) {
        dm.DescartaAlteracoesGrupo();
        throw;
    }
}

// ====================================================================== independence

void Homologacao::EsqueceIndices()
{
    m_indices.reset();
    m_solicitacoes.reset();
}

Homologacao::Solicitacoes &Homologacao::SolicitacoesDoGrupo()
{
    if (m_solicitacoes)
        return *m_solicitacoes;
    // The screen's request list: the group being homologated.
    auto solicitacoes = std::make_unique<Solicitacoes>();
    const Dataset &soli = *dm.cdsSoli;
    const int f = soli.fieldIndex(QStringLiteral("CDFILIAL"));
    const int n = soli.fieldIndex(QStringLiteral("NRSOLISERV"));
    const int status = soli.fieldIndex(QStringLiteral("IDSTSOLIGRUP"));
    solicitacoes->numero.reserve(soli.RecordCount());
    for (int row = 0; row < soli.RecordCount(); ++row) {
        const QString chave = Chave(Valor(soli, row, f), Valor(soli, row, n));
        if (solicitacoes->procura(chave) >= 0)
            continue;
        const QString s = Valor(soli, row, status);
        solicitacoes->validada[size_t(solicitacoes->id(chave))] = s == u"005" || s == u"006";
    }
    m_solicitacoes = std::move(solicitacoes);
    return *m_solicitacoes;
}

const Homologacao::Indices &Homologacao::IndicesDoGrupo(const QString &grupo)
{
    if (m_indices && m_indices->grupo == grupo)
        return *m_indices;

    Solicitacoes &solicitacoes = SolicitacoesDoGrupo();
    auto indices = std::make_unique<Indices>();
    indices->grupo = grupo;
    // The modified files as loaded for the group; the files to generate and the groupings
    // fresh from the server.
    indices->modificados.indexa(*dm.cdsArq, QStringLiteral("DSDIRARQCHECKOU"), solicitacoes);
    dm.CarregaPacote(dm.cdsArqSoli, QStringLiteral("getArqSoli"), {grupo});
    indices->aGerar.indexa(*dm.cdsArqSoli, QStringLiteral("DSARQPATCH"), solicitacoes);
    dm.CarregaPacote(dm.cdsAgrupaSoli, QStringLiteral("getAgrupaSoli"), {grupo});

    const Dataset &agrupa = *dm.cdsAgrupaSoli;
    const int filial = agrupa.fieldIndex(QStringLiteral("CDFILIAL"));
    const int numero = agrupa.fieldIndex(QStringLiteral("NRSOLISERV"));
    const int sequencia = agrupa.fieldIndex(QStringLiteral("NRSEQAGRUPASOLI"));
    QHash<QString, int> idDoAgrupamento;
    for (int row = 0; row < agrupa.RecordCount(); ++row) {
        const int solicitacao = solicitacoes.id(Chave(Valor(agrupa, row, filial), Valor(agrupa, row, numero)));
        bool novo = false;
        const int id = IdDe(idDoAgrupamento, Valor(agrupa, row, sequencia).toUpper(),
                            int(indices->membrosDoAgrupamento.size()), novo);
        if (novo)
            indices->membrosDoAgrupamento.emplace_back();
        indices->membrosDoAgrupamento[size_t(id)].push_back(solicitacao);
        if (size_t(solicitacao) >= indices->agrupamentosDaSolicitacao.size())
            indices->agrupamentosDaSolicitacao.resize(size_t(solicitacao) + 1);
        indices->agrupamentosDaSolicitacao[size_t(solicitacao)].push_back(id);
    }
    m_indices = std::move(indices);
    ++m_indicesMontados;
    return *m_indices;
}

bool Homologacao::Soli_Independente(const QString &grupo, const QString &filial, const QString &numero)
{
    try {
        const Indices &indices = IndicesDoGrupo(grupo);
        const Solicitacoes &solicitacoes = SolicitacoesDoGrupo();
        const int solicitacao = solicitacoes.procura(Chave(filial, numero));
        if (solicitacao < 0)
            return true;  // in no list: nothing it depends on
        if (!indices.modificados.todasValidadas(solicitacao, solicitacoes.validada))
            return false;
        if (!indices.aGerar.todasValidadas(solicitacao, solicitacoes.validada))
            return false;
        if (size_t(solicitacao) < indices.agrupamentosDaSolicitacao.size()) {
            for (int agrupamento : indices.agrupamentosDaSolicitacao[size_t(solicitacao)]) {
                for (int membro : indices.membrosDoAgrupamento[size_t(agrupamento)]) {
                    if (!solicitacoes.validada[size_t(membro)])
                        return false;
                }
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
    const Solicitacoes &solicitacoes = SolicitacoesDoGrupo();
    const int solicitacao = solicitacoes.procura(Chave(filial, numero));
    return solicitacao >= 0 && solicitacoes.validada[size_t(solicitacao)];
}

// ====================================================================== the outcomes

Operacao &Homologacao::OperacaoEmCurso()
{
    if (!m_operacao) {
        m_direta = Operacao::Direta(dm);
        m_operacao = m_direta.get();
    }
    return *m_operacao;
}

void Homologacao::Homologa_Soli(const QString &grupo, const QString &lista)
{
    try {
        Operacao &operacao = OperacaoEmCurso();
        Homologados homologados(dm);
        // The backup is taken from the tree as the run found it; a rerun finds it taken.
        operacao.Passo(QStringLiteral("Grupo %1: cópia das homologadas para os homologados").arg(grupo), [&](QList<Chamada> &) {
            homologados.Grava_Backup_Homologados(grupo, lista);
            homologados.Atualiza_Arq_Homologados(grupo, lista);
            return QString();
        });
        Tramita_Soli_Homol(grupo, lista);
        // The backup goes only once the requests have been moved on: a failure before leaves
        // it for whoever restores the homologated tree.
        operacao.Passo(QStringLiteral("Grupo %1: exclusão do backup dos homologados").arg(grupo), [&](QList<Chamada> &) {
            homologados.Exclui_Backup_Homologados(grupo, lista);
            return QString();
        });
    } catch (...) {
        dm.DescartaAlteracoesGrupo();
        throw;
    }
}

void Homologacao::VoltaSolicitacoes(const char *legenda, const QString &grupo, const QString &lista,
                                    void (Homologacao::*tramita)(const QString &, const QString &))
{
    try {
        Operacao &operacao = OperacaoEmCurso();
        std::optional<Showavi::Scope> animacao;
        if (!operacao.nomeando())
            animacao.emplace(Texto(dm, legenda));
        operacao.Passo(QStringLiteral("Grupo %1: arquivos de volta (%2)").arg(grupo, QLatin1String(legenda)), [&](QList<Chamada> &) {
            Reversao reversao(dm);
            reversao.Volta_Backup_Pre_Homologados(grupo, lista);
            reversao.Volta_Arquivos_SVN_Homologados(grupo, lista);
            return QString();
        });
        (this->*tramita)(grupo, lista);
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

void Homologacao::Encerra_Grupos(QString &codigos)
{
    OperacaoEmCurso().Grava(QStringLiteral("Encerramento dos grupos"),
                            {Chamada{QStringLiteral("Encerra_Grupos"), {RemoteArg::ref(codigos)}}});
}

void Homologacao::Atualiza_Release_Produto(const QString &produto, const QString &release)
{
    if (m_registro.isEmpty()) {
        RegistroRelease(dm).Atualiza_Release_Produto(produto, release);
        return;
    }
    // The registrations the plan decided, as one step.
    QList<Chamada> chamadas;
    for (const QJsonValue &valor : std::as_const(m_registro)) {
        Chamada chamada{valor.toObject().value(QStringLiteral("m")).toString(), {}};
        for (const QJsonValue &argumento : valor.toObject().value(QStringLiteral("a")).toArray())
            chamada.args.append(argumento.toString());
        chamadas.append(chamada);
    }
    OperacaoEmCurso().Grava(QStringLiteral("Registro do próximo patch do produto %1").arg(produto), chamadas);
}

void Homologacao::SyncFaseTram(const QString &grupo)
{
    OperacaoEmCurso().Grava(QStringLiteral("Grupo %1: sincronização das fases").arg(grupo),
                            {Chamada{QStringLiteral("SyncFaseTram"), {grupo}}});
}

// ====================================================================== moves on the server

void Homologacao::TramitaLista(const char *legenda, const QString &grupo, const QString &lista,
                               const std::function<QList<Chamada>(const QString &filial, const QString &numero)> &chamadas)
{
    // A dry walk that only names the steps shows nothing.
    std::optional<Showavi::Scope> animacao;
    if (!OperacaoEmCurso().nomeando())
        animacao.emplace(Texto(dm, legenda));
    QList<Chamada> todas;
    for (const QString &item : ItensDaLista(lista))
        todas += chamadas(item.left(4), item.mid(4, 10));
    // The check-out activities of the requests sent back end with their move.
    if (QString(legenda) != QLatin1String("TRAMITA_SOLI_HOMOL"))
        todas.append(Chamada{QStringLiteral("removeArqCheckoutAtiv"), {ChavesDeCheckout(lista)}});
    try {
        OperacaoEmCurso().Grava(QStringLiteral("Grupo %1: %2").arg(grupo, Texto(dm, legenda).remove(QStringLiteral("..."))), todas);
    } catch (...) {
        dm.DescartaAlteracoesGrupo();
        throw;
    }
}

QString Homologacao::ProdutoDoGrupo(const QString &grupo) const
{
    const QVariant produto = dm.cdsGrupo->Lookup(QStringLiteral("CDGRUPHOMOL"), grupo, QStringLiteral("CDPRODUTO"));
    return produto.isValid() && !Dataset::valueText(produto).isEmpty() ? Dataset::valueText(produto) : m_produto;
}

void Homologacao::Tramita_Soli_Regera_Patch(const QString &grupo, const QString &lista)
{
    const QString produto = ProdutoDoGrupo(grupo);
    TramitaLista("TRAMITA_SOLI_REGERA_PATCH", grupo, lista, [&](const QString &filial, const QString &numero) {
        return QList<Chamada>{
            Chamada{QStringLiteral("setTramita_Soli"),
                    {filial, numero, Horvane::Operador(), kResponsavelRegeracao, QStringLiteral("072"),
                     QStringLiteral("Solicitou regeração de patch"), QString()}},
            Chamada{QStringLiteral("TransfPatchFaseTram"), {filial, numero, produto}}};
    });
}

void Homologacao::Tramita_Soli_Homol(const QString &grupo, const QString &lista)
{
    const QString produto = ProdutoDoGrupo(grupo);
    TramitaLista("TRAMITA_SOLI_HOMOL", grupo, lista, [&](const QString &filial, const QString &numero) {
        const QString operador = Horvane::Operador();
        QString assunto = m_assuntos.value(filial + numero);
        if (assunto.isEmpty()) {
            // Called without a plan: the subject as the request list has it.
            const QVariant cdAssunto = dm.cdsSoli->Lookup(QStringLiteral("CDFILIAL;NRSOLISERV"), QVariantList{filial, numero},
                                                           QStringLiteral("CDASSUNTO"));
            assunto = AssuntoDaHomologacao(!qryVerificaAssunto(Dataset::valueText(cdAssunto)).rows.isEmpty());
        }
        return QList<Chamada>{
            Chamada{QStringLiteral("setTramita_Soli"),
                    {filial, numero, operador, operador, assunto, QStringLiteral("Enviou patch"), QString()}},
            Chamada{QStringLiteral("SetArqLibPatchClie"), {filial, numero, produto}},
            Chamada{QStringLiteral("SetReleaseSoli"), {QString(), numero}}};
    });
}

void Homologacao::Tramita_Soli_Corrige_Patch(const QString &grupo, const QString &lista)
{
    TramitaLista("TRAMITA_SOLI_CORRIGE", grupo, lista, [&](const QString &filial, const QString &numero) {
        return QList<Chamada>{
            Chamada{QStringLiteral("setTroca_Resp_Soli"), {filial, numero, Horvane::Operador(), kDesenvolvimento}}};
    });
}

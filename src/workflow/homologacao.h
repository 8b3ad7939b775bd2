#pragma once

// Homologation of the marked groups, the work of the last transition: every request of each
// marked group is homologated, sent back for patch regeneration or returned with error,
// with the file work of the distribution trees and the moves of the requests on the
// server; then the groups are closed and, when anything was homologated, the product's
// next patch is registered.

#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

class TdmGrupSoliHom;
class Operacao;
struct Chamada;

class Homologacao {
public:
    explicit Homologacao(TdmGrupSoliHom &dm);
    virtual ~Homologacao();
    Homologacao(const Homologacao &) = delete;
    Homologacao &operator=(const Homologacao &) = delete;

    // The whole homologation of the groups marked in the group list (as the list shows them
    // under its status filter): planned, then carried out at once.
    void Homologa_Grupos_Selecionados();

    // The homologation decided before anything is done: for each marked group (in list
    // order) its requests to return with error, to regenerate and to homologate (with the
    // workflow subject of each), the product and release, the groups that closing them
    // sends back, and the registrations of the product's next patch. Warns of the requests
    // left out; refuses a release whose next patch cannot be registered.
    QJsonObject Planeja();
    // Carries out a plan, step by step through `operacao` (which skips the steps an earlier
    // run finished). Once the groups are closed, what follows only goes forward.
    void Executa(const QJsonObject &plano, Operacao &operacao);
    // Every group a plan changes: the marked ones and those it sends back.
    static QStringList GruposDoPlano(const QJsonObject &plano);

    // Is request (F, N) of group G free of dependence on requests that are not validated?
    // Every request it shares a modified file, a file to generate or a grouping with must be
    // in "005" or "006". The files and groupings of the group are read once and indexed; the
    // walk of Homologa_Grupos_Selecionados reads them again for each group.
    bool Soli_Independente(const QString &grupo, const QString &filial, const QString &numero);
    // True when request (F, N) of the group being homologated is in "005" or "006". A request
    // that the group's request list does not hold is not validated here. The list is read
    // once, like the indexes, and read again for each group of the walk.
    bool Soli_OK(const QString &filial, const QString &numero);

    // The three outcomes, each for a list of request items (CDFILIAL followed by NRSOLISERV,
    // one per line) of group G. Virtual so that a caller can watch the order in which they
    // run.
    virtual void Homologa_Soli(const QString &grupo, const QString &lista);
    virtual void Volta_Regera_Soli(const QString &grupo, const QString &lista);
    virtual void Volta_Soli_Erro(const QString &grupo, const QString &lista);

    // Closes the processed groups on the server: their codes, each followed by ",".
    virtual void Encerra_Grupos(QString &codigos);
    // Registers the product's patch after `release` (when anything was homologated).
    virtual void Atualiza_Release_Produto(const QString &produto, const QString &release);

    // The moves of the requests on the server, one per outcome.
    void Tramita_Soli_Homol(const QString &grupo, const QString &lista);
    void Tramita_Soli_Regera_Patch(const QString &grupo, const QString &lista);
    void Tramita_Soli_Corrige_Patch(const QString &grupo, const QString &lista);

    // ---- the rules, as data the screen's code and the tests read alike
    enum class Desfecho { Erro, Regera, Homol, ForaDeFase };
    // The outcome of one request: the operator's flags decide when any of them is not "N";
    // otherwise the request's status in the group does ("005" asks `independente`).
    static Desfecho DecideDesfecho(const QString &idHomolSol, const QString &idEncSolPatcReg,
                                   const QString &idRetSolErroPro, const QString &idStSoliGrup,
                                   const std::function<bool()> &independente);
    // The workflow subject of a homologated request: "105" when qryVerificaAssunto found its
    // subject, else "205".
    static QString AssuntoDaHomologacao(bool assuntoEncontrado);
    // The keys of removeArqCheckoutAtiv: "_" and, per item, its NRSOLISERV and "_".
    static QString ChavesDeCheckout(const QString &lista);
    // The items of a list text, blank lines left out.
    static QStringList ItensDaLista(const QString &lista);

    // How many times the group's dependence indexes were built (each costs the two reads).
    int indicesMontados() const { return m_indicesMontados; }

private:
    struct Solicitacoes;
    struct Indices;
    // The indexes of group G, built on first use from the group's lists.
    const Indices &IndicesDoGrupo(const QString &grupo);
    // The requests of the screen's request list, numbered, with their status.
    Solicitacoes &SolicitacoesDoGrupo();
    void EsqueceIndices();
    // One transfer pattern: busy animation, one connection use, each item positioned by the
    // filter of the request list.
    // One step with the server moves of every item of the list.
    void TramitaLista(const char *legenda, const QString &grupo, const QString &lista,
                      const std::function<QList<Chamada>(const QString &filial, const QString &numero)> &chamadas);
    // The operation the steps run in (a direct one when the homologation runs on its own).
    Operacao &OperacaoEmCurso();
    QString ProdutoDoGrupo(const QString &grupo) const;
    void VoltaSolicitacoes(const char *legenda, const QString &grupo, const QString &lista,
                           void (Homologacao::*tramita)(const QString &, const QString &));
    void SyncFaseTram(const QString &grupo);
    // The groups that closing the marked ones sends back to "001": the other groups of the
    // product and release that are not closed.
    QStringList GruposQueVoltam(const QString &produto, const QString &release) const;

    TdmGrupSoliHom &dm;
    std::unique_ptr<Indices> m_indices;
    std::unique_ptr<Solicitacoes> m_solicitacoes;
    int m_indicesMontados = 0;
    Operacao *m_operacao = nullptr;
    std::unique_ptr<Operacao> m_direta;
    QHash<QString, QString> m_assuntos;  // the subject of each request to homologate
    QString m_produto;
    QJsonArray m_registro;
};

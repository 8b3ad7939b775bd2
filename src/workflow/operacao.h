#pragma once

// An advance as one operation that the application server keeps: its plan (decided once,
// before any work, from the state as it stood) and its steps. Each step first does its work
// outside the database (svn, copies, tags), work that recognises what an earlier run of the
// same step finished, then sends its server writes together with its "done", in one
// transaction. A run that stops (killed, Ctrl-C, a failed call) leaves the operation open;
// the same command continues it from its first unfinished step with the plan as decided.
// While a run goes on it holds the leases of every group the operation changes and renews
// them; every server write it makes carries its token, so that a run that lost its leases
// changes nothing more.

#include "host/connection.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

class TdmGrupSoliHom;
class QTimer;

// One server write of a step.
struct Chamada {
    QString metodo;
    QList<RemoteArg> args;
};

class Operacao {
public:
    // An interrupted operation, as the server keeps it.
    struct Aberta {
        QString id, descricao, fase, operador, estacao, inicio;
        QString descrita;  // "a tramitação …, aberta pelo operador … em …, parada no passo 2 de 3 (…)"
        QStringList grupos;
        QJsonObject plano;
        QList<bool> feitos;
        QStringList resultados;
        QString tokenDaTrava;    // the token that holds its first group's lease now (empty: none)
        QString estacaoDaTrava;  // "host (processo N)" of that holder
        QString travaDescrita;
    };
    // The open operation that changes `grupo`, if any.
    static std::optional<Aberta> Procura(TdmGrupSoliHom &dm, const QString &grupo);

    // Only names its steps: a dry walk of the steps gives the list the server keeps.
    static std::unique_ptr<Operacao> ParaNomear(TdmGrupSoliHom &dm);
    // Runs each step at once, without a plan on the server (a caller that holds no
    // operation: the homologation called on its own).
    static std::unique_ptr<Operacao> Direta(TdmGrupSoliHom &dm);
    // A new operation on `grupos` (the first is the one advanced) from `fase`, with its plan
    // and its steps; the leases of all its groups are taken with it, or none (those that
    // `travaInicial`, this advance's own lease, held are taken over). A refusal is shown and
    // ends with the silent stop.
    static std::unique_ptr<Operacao> Abre(TdmGrupSoliHom &dm, const QStringList &grupos, const QString &fase,
                                          const QString &descricao, const QJsonObject &plano, const QStringList &passos,
                                          const QString &travaInicial = {});
    // A new run of an interrupted operation. The leases of a run whose process is gone from
    // this machine are taken over; a run still alive refuses it, named.
    static std::unique_ptr<Operacao> Retoma(TdmGrupSoliHom &dm, const Aberta &aberta);

    // Gives the leases back; the operation stays open when it did not end.
    ~Operacao();
    Operacao(const Operacao &) = delete;
    Operacao &operator=(const Operacao &) = delete;

    const QJsonObject &plano() const { return m_plano; }
    bool guardada() const { return m_modo == Modo::Guardada; }
    bool nomeando() const { return m_modo == Modo::Nomeia; }
    // True when step `nome` is done (by this run or an earlier one).
    bool Feito(const QString &nome) const;
    // The names of the steps a dry walk met.
    const QStringList &nomes() const { return m_nomes; }

    // The next step, `nome`: unless an earlier run finished it, `trabalho` does its work and
    // gives the step's result (a text kept with it) and its server writes; they and the
    // step's "done" go in one transaction. Answers the step's result, the stored one when
    // the step was done before. Before each step the run makes sure it may go on: not
    // interrupted, its leases still its own.
    QString Passo(const QString &nome, const std::function<QString(QList<Chamada> &)> &trabalho);
    // A step with only server writes.
    void Grava(const QString &nome, const QList<Chamada> &chamadas);
    // Step `nome` is to be done again (its work was undone).
    void Reabre(const QString &nome);
    // Ends an operation of which no step was done: nothing is left open.
    void Abandona();
    // True while the run holds its leases (asks the server).
    bool AindaTravada();

    // "host (processo N)" of the process named in a lease; empty host when unreadable.
    static std::pair<QString, qint64> EstacaoEProcesso(const QString &estacao);

private:
    enum class Modo { Nomeia, Direta, Guardada };
    Operacao(TdmGrupSoliHom &dm, Modo modo);
    void PodeContinuar();
    void Renova();
    void ParadaDeTeste(int passo, bool concluido) const;
    int NumeroDoPasso(const QString &nome) const;

    TdmGrupSoliHom &dm;
    Modo m_modo;
    QString m_token;
    QStringList m_grupos;
    QJsonObject m_plano;
    QStringList m_nomes;  // of every step met so far
    QList<bool> m_feitos;
    QStringList m_resultados;
    int m_contador = 0;
    QString m_perdida;  // why the leases are no longer this run's
    std::unique_ptr<QTimer> m_renovacao;
};

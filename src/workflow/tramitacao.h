#pragma once

// The group phase machine: the advance command reads the phase of the current group and
// runs the one transition that leaves it, "001" to "007", only forward. Each transition
// asks the operator, runs its checks, does its work, writes the new phase and tells the
// server; the advance then stores the transition log and reports success.

#include "workflow/operacao.h"

#include <QDateTime>
#include <QJsonObject>
#include <QString>

#include <functional>

class TdmGrupSoliHom;

class Tramitacao {
public:
    explicit Tramitacao(TdmGrupSoliHom &dm) : dm(dm) {}

    // The advance command on the current group (from "006", on every marked group). True
    // when a transition was carried out; false when the operator declined, patch
    // generation reported failure or the phase has no transition. Failures are raised.
    bool btfAvancaFaseClick();

    bool TramitaGrupo_001_002();
    bool TramitaGrupo_002_003();
    bool TramitaGrupo_003_004();
    bool TramitaGrupo_004_005();
    bool TramitaGrupo_005_006();
    bool TramitaGrupo_006_007();

    // The release before `release` (dots removed, read as a number, minus one), as the test
    // package's name writes it.
    static QString ReleaseAnterior(const QString &release);
    // The time stamp of the tags: yyyymmddhhnnss.
    static QString CarimboDeTempo(const QDateTime &agora = QDateTime::currentDateTime());

private:
    // Every transition is one operation: the question and the checks run once, on the state
    // as it stands, and decide the plan; the server keeps it with its steps (Inicia), and a
    // rerun continues it from its first unfinished step (Continua).
    QJsonObject Plano(const QString &fase, const QString &grupo) const;
    static QString Descricao(const QJsonObject &plano, const QStringList &grupos);
    bool Inicia(const QJsonObject &plano, const QStringList &grupos);
    bool Continua(const Operacao::Aberta &aberta);
    // The steps of a plan, run (or, by a naming operation, only named) in order.
    bool Passos(const QJsonObject &plano, Operacao &operacao);
    // The tag step of the plan, then `depois`. A failure before the step `pontoSemVolta` is
    // done removes the tag this operation made (and the step is done again by the next run).
    void ComTag(const QJsonObject &plano, Operacao &operacao, const QString &pontoSemVolta,
                const std::function<void()> &depois);
    QString ReleaseDoProduto(const QString &cdProduto);
    // The marked groups, in list order, as the list shows them under its filter.
    QStringList GruposMarcados();
    // The groups that the homologation started on `atual` acts on: the marked ones and the
    // current one.
    QStringList GruposDaHomologacao(const QString &atual);

    TdmGrupSoliHom &dm;
    QString m_travaInicial;  // the lease taken before the question, which the operation takes over
};

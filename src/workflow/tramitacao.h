#pragma once

// The group phase machine: the advance command reads the phase of the current group and
// runs the one transition that leaves it, "001" to "007", only forward. Each transition
// asks the operator, runs its checks, does its work, writes the new phase and tells the
// server; the advance then stores the transition log and reports success.

#include <QDateTime>
#include <QString>

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
    // Finds the group again by its code (stopping with an error when it is no longer
    // listed), puts it into edit, writes its phase (and release) and posts it: the group
    // save stores it and reloads the list.
    void GravaFase(const QString &grupo, const QString &fase, const QString *release = nullptr);
    QString ReleaseDoProduto(const QString &cdProduto);
    // The marked groups, in list order, as the list shows them under its filter.
    QStringList GruposMarcados();
    // The groups that the homologation started on `atual` acts on: the marked ones and the
    // current one.
    QStringList GruposDaHomologacao(const QString &atual);
    void SyncFaseTram(const QString &grupo, bool porReferencia = false);

    TdmGrupSoliHom &dm;
};

#pragma once

// The interdependency viewer: which requests of the current group change the same source
// file, release the same generated file, or belong to the same grouping on the server,
// shown as three two-level trees (the shared value, then the requests that share it).

#include "host/basescreens.h"
#include "host/dataset.h"

#include <functional>

class QTabWidget;
class QTreeWidget;
class TdmGrupSoliHom;

class TfrmDependencias : public TfrmRotiGeral {
    Q_OBJECT
public:
    explicit TfrmDependencias(QWidget *parent = nullptr);
    ~TfrmDependencias() override;

    // Creates the dialog, copies the requests into cdsSoliServ, builds the three trees,
    // shows the dialog modally and destroys it when it closes. Without a window (the
    // command line) the trees are written as log lines instead. `instancia`, when given,
    // points at the dialog while it exists.
    static void ShowDeps(Dataset *arquivosFonte, Dataset *arquivosGerados, Dataset *agrupamentos, Dataset *solicitacoes,
                         TfrmDependencias **instancia = nullptr);

    // The requests of the group, indexed by CDFILIAL then NRSOLISERV.
    Dataset *cdsSoliServ;
    QTabWidget *pgcDependencias;
    QWidget *tshCodFonte, *tshArqBin, *tshAgrupa;
    QTreeWidget *trvCodFonte, *trvArqBin, *trvAgrupa;

    void MontaTrvCodFonte(const Dataset &arquivosFonte);
    void MontaTrvArqBin(const Dataset &arquivosGerados);
    void MontaTrvAgrupa(const Dataset &agrupamentos);

    // The trees as text: each root, then its children indented by two blanks.
    static QStringList Linhas(const QTreeWidget &arvore);

private:
    // One tree: a root per distinct value of `campo` (sorted without regard to case, values
    // that differ only in case under one root), a child per input row with that value.
    void MontaArvore(QTreeWidget &arvore, const Dataset &entrada, const QString &campo);
};

// The viewer's command on the main screen: collects the three lists of the current group
// and opens the viewer, or tells that nothing depends on anything.
class Dependencias {
public:
    explicit Dependencias(TdmGrupSoliHom &dm);

    void sbtInterDependenciaClick();

    // Keeps the rows whose `campo`, compared in upper case, occurs in two or more rows.
    static void SoRepetidos(Dataset &copia, const Dataset &origem, const QString &campo);

    // What shows the lists (the viewer by default).
    std::function<void(Dataset *, Dataset *, Dataset *, Dataset *)> Mostra;

private:
    TdmGrupSoliHom &dm;
};

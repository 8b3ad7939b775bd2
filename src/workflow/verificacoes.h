#pragma once

// The checks that stand between a group and its next phase, and the one that guards adding
// a request to a group: each reads fresh data from the server and either returns (the check
// passed) or stops the operation, with a message or after a question answered No. Also the
// storing of the product's current release in a group after its patch was generated.

#include <QString>

class TdmGrupSoliHom;

class Verificacoes {
public:
    explicit Verificacoes(TdmGrupSoliHom &dm) : dm(dm) {}

    // Compiled products, before generation: requests with no file selected to generate.
    void Vd_soli_sem_arq_gerar();
    // Compiled products, before generation: modified files against the files to generate.
    void Vd_Consistencia_Arquivo();
    // After the phase "003" was written: the group `codigo` gets the product's current release.
    void Preenche_Release_Grupo(const QString &codigo);
    // Before the pre-homologated copy and the test package: every patch generated.
    void VD_Todas_Solicitacoes_Geradas();
    // Before the homologation: every request of every marked group tested.
    void VD_Todas_Solicitacoes_Testadas();
    void VD_Todas_Solicitacoes_Testadas_Grupo(const QString &codigo);
    // Before the homologation: the unmarked groups of the marked groups' release.
    void VD_Volta_Grupo();
    // Before a request is added to a group: requests of a lower patch still to be homologated.
    void Vd_Release_Soli();

    // A modified file that a generation must account for (by its extension).
    static bool ExtensaoContada(const QString &path);

private:
    TdmGrupSoliHom &dm;
};

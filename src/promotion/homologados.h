#pragma once

// The homologated distribution tree: when requests are homologated, their files go from the
// pre-homologated tree into the homologated one (with the zip archives of executables and
// packages), after the versions they replace have been saved in a backup area of the group,
// which is deleted once the requests have been moved on.

#include <QString>

class TdmGrupSoliHom;

class Homologados {
public:
    explicit Homologados(TdmGrupSoliHom &dm) : dm(dm) {}

    // Each takes the group code and the request list (one request per line: CDFILIAL
    // followed by NRSOLISERV). On failure the group list's pending changes are discarded
    // and the error is passed on.
    void Grava_Backup_Homologados(const QString &grupo, const QString &solicitacoes);
    void Atualiza_Arq_Homologados(const QString &grupo, const QString &solicitacoes);
    // The list is not used: the whole backup area of the group goes.
    void Exclui_Backup_Homologados(const QString &grupo, const QString &solicitacoes);

private:
    QString RaizHomologados() const;

    TdmGrupSoliHom &dm;
};

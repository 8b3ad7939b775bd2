#pragma once

// The homologated distribution tree: when requests are homologated, their files go from the
// pre-homologated tree into the homologated one (with the zip archives of executables and
// packages), after the versions they replace have been saved in a backup area of the group,
// which is deleted once the requests have been moved on.

#include <QDateTime>
#include <QString>
#include <QStringList>

class TdmGrupSoliHom;

// A group sent back to "001" starts its next run clean: the backup areas of the run that
// ended (in the pre-homologated and the homologated tree) are kept aside, named by the run
// ("Backup KMT\Encerrados\<group>_<release>_<when>"), and never read again, so that a later
// rollback restores what was there when the new run started. The folders set aside (also
// those an earlier call with the same moment set aside).
QStringList AposentaAreasDeBackup(const TdmGrupSoliHom &dm, const QString &grupo, const QString &release,
                                  const QDateTime &quando);


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

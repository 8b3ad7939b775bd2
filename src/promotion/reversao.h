#pragma once

// Rollback of the files of requests sent back from homologation: the pre-homologated tree
// gets the versions saved by its copy back, and the homologated repository gets, per file, a
// new revision whose content is the revision recorded before the transfer (or the deletion
// of a file the transfer added).

#include <QString>

class TdmGrupSoliHom;

class Reversao {
public:
    explicit Reversao(TdmGrupSoliHom &dm) : dm(dm) {}

    // Each takes the group code and the request list (one request per line: CDFILIAL
    // followed by NRSOLISERV). On failure the group list's pending changes are discarded
    // and the error is passed on; files handled before stay rolled back.
    void Volta_Backup_Pre_Homologados(const QString &grupo, const QString &solicitacoes);
    void Volta_Arquivos_SVN_Homologados(const QString &grupo, const QString &solicitacoes);

    // The command lines of the rollback, with the file's path and the revision recorded
    // before the transfer ("0" for a file the transfer added).
    enum class Comando { VoltaRevisao, Atualiza, Envia, Apaga, Situacao };
    static QString Linha(Comando comando, const QString &revisao, const QString &arquivo, const QString &usuario,
                         const QString &senha);

    // The text shown when a repository script of the rollback fails.
    static QString ErroAoVoltar(const QString &arquivo);

private:
    // Runs one script of the rollback; its output, or an error naming the file when a line failed.
    QString Executa(const QString &script, bool mostra, const QString &arquivo);

    TdmGrupSoliHom &dm;
};

#pragma once

// Rollback of the files of requests sent back from homologation: the pre-homologated tree
// gets the versions saved by its copy back, and the homologated repository gets, per file, a
// new revision whose content is the revision recorded before the transfer (or the deletion
// of a file the transfer added).

#include <QList>
#include <QString>
#include <QStringList>

class TdmGrupSoliHom;

// The history of the homologated repository from one revision on, read once (one `svn log`
// over the whole repository URL) for all the files of a rollback.
class HistoricoDoRepositorio {
public:
    HistoricoDoRepositorio(const QString &url, const QString &copia, qlonglong desde, const QString &usuario,
                           const QString &senha);
    HistoricoDoRepositorio() = default;  // nothing read
    // False when the repository could not be read.
    bool lido() const { return m_lido; }
    // The revisions after `revisao` that changed the file (a path in the working copy
    // `copia`) and are not the group's own (its transfer, its stamps, a restoration), as
    // `revisão N ("message")`, joined by ", "; empty when there is none.
    QString OutrosDepoisDe(const QString &homologado, qlonglong revisao, const QString &grupo) const;

    // For a file recorded as added by the group ("0"): the revision before the group's first
    // transfer of it when the history shows the file there before that transfer (a "0" that
    // a copy lacking the file once recorded); 0 when the transfer did add it.
    qlonglong AntesDoGrupo(const QString &homologado, const QString &grupo) const;

private:
    QString CaminhoNoRepositorio(const QString &homologado) const;
    struct Entrada {
        qlonglong revisao = 0;
        QString mensagem;
        QStringList caminhos;  // paths inside the repository ("/ERP/trunk/SRV/A.pas")
    };
    QList<Entrada> m_entradas;
    QString m_raiz;   // the URL's own path inside the repository ("/ERP/trunk")
    QString m_copia;
    bool m_lido = false;
};

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

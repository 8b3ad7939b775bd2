#pragma once

// The last step out of "Pendente": the group's modified files, at their released revisions
// in the development working copy, are copied over the homologated working copy, compared
// byte for byte, and committed to the homologated repository one file a commit; the
// revision of every file before and after is reported to the server for a later rollback.

#include <QHash>
#include <QString>
#include <QStringList>

class TdmGrupSoliHom;

class TransferenciaHomol {
public:
    explicit TransferenciaHomol(TdmGrupSoliHom &dm) : dm(dm) {}

    void Atualiza_SVN_Homologados();
    void Grava_Versao_Ant_Arq_Homologados();
    void Troca_Arquivos_Desenv_Homol();

    // The working revision of `path` in the output of `svn status -u -v`: read from the
    // working-revision field of the first status line that names the file (today's client
    // writes seven status columns, so the field is not at a fixed place). Empty when no
    // line names it.
    static QString RevisaoNoStatus(const QStringList &linhas, const QString &path);
    static QString arquivoDeRelatorio(const QString &codigo, const QString &descricao);

    // The revision of each URL in the homologated repository (its last change), asked of the
    // repository once for all, one target per folder: "0" for a URL it does not have; an
    // empty map when the repository could not be read.
    struct Revisao {
        QString numero;
        bool lida = false;
    };
    static QHash<QString, Revisao> RevisoesNoRepositorio(const QStringList &urls, const QString &usuario,
                                                         const QString &senha);

    // Files whose commit by an interrupted run of this group reached the repository while
    // the copy never learnt of it (same group's message on the file's newest revision, the
    // copy's base older): the copy is brought up to date, so that the file is not committed
    // again. The log says which.
    void AtualizaEnviosInterrompidos(const QStringList &homologados);

private:
    QString credenciais() const;
    // `svn status -u -v` of the files' folders, one level deep: each target is a session
    // with the repository, so a folder of many files costs one instead of one per file.
    QString linhaDeStatus(const QStringList &arquivos) const;
    // The homologated file's URL in the homologated repository.
    QString UrlHomologada(const QString &homologado) const;

    TdmGrupSoliHom &dm;
    // The status against the repository of the homologated files that exist, read once by
    // the previous revisions and looked at again before the commits.
    QString m_statusHomologados;
    bool m_statusLido = false;
};

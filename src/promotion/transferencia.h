#pragma once

// The last step out of "Pendente": the group's modified files, at their released revisions
// in the development working copy, are copied over the homologated working copy, compared
// byte for byte, and committed to the homologated repository one file a commit; the
// revision of every file before and after is reported to the server for a later rollback.

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

    // What the homologated repository says of a file (a working-copy path or a URL): the
    // first and the last revision it exists in, and the first revision a transfer of
    // `grupo` committed it in; 0 for each when there is none (0, 0, 0: not in the repository).
    struct Historia {
        int primeira = 0;
        int ultima = 0;
        int doGrupo = 0;
    };
    static Historia HistoriaNoRepositorio(const QString &arquivo, const QString &grupo, const QString &usuario,
                                          const QString &senha);

private:
    QString credenciais() const;
    // The homologated file's URL in the homologated repository.
    QString UrlHomologada(const QString &homologado) const;

    TdmGrupSoliHom &dm;
};

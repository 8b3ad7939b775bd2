#pragma once

// Before a group leaves "Pendente": the server's checks of the group, and the update of the
// operator's working copies so that every file of the group sits at exactly the revision
// that the group releases, with the homologated working copy refreshed at most once an
// hour.

#include <QDateTime>
#include <QHash>
#include <QString>
#include <QStringList>

class TdmGrupSoliHom;

class CopiaTrabalho {
public:
    explicit CopiaTrabalho(TdmGrupSoliHom &dm) : dm(dm) {}

    // The server's checks of the current group, then the local update. Returns normally
    // only when the group may be transferred; otherwise shows the error and aborts.
    void VD_before_Atu_SVN_Hom();
    // After the update: every file at (or above) its released revision.
    void Vd_Arquivos_Atualizados_Desenv();

    // True when the homologated working copy is due for a refresh at `agora`, and then
    // records `agora` in the state file.
    static bool boAtualiza_Copia_Homol(const QDateTime &agora = QDateTime::currentDateTime());
    static QString arquivoDeEstado();

    // What `svn info` prints: the URL line and the revision line (empty when absent).
    static QString UrlDoInfo(const QString &saida);
    static QString RevisaoDoInfo(const QString &saida);
    // The report of the update, in the temporary folder of drive C.
    static QString arquivoDeRelatorio(const QString &codigo, const QString &descricao);

    // The server's checks alone, which change nothing (what `advance --check` runs).
    void Verificacoes();

private:
    void AtualizacaoLocal();
    QString credenciais() const;
    // What one `svn info` over all the files says of each: its URL in the development
    // repository (also for a file not in the copy, through its deepest folder there) and its
    // revision in the copy (empty when the copy does not have it).
    struct Informacao {
        QString url;
        QString revisao;
    };
    QHash<QString, Informacao> InformacoesDosArquivos(const QStringList &paths, const QString &caption) const;

public:
    // Removes the locks that an interrupted run left in working copies (a log line says so)
    // before anything updates or commits them: one status over all the copies, which also
    // tells which of them hold conflicts to settle.
    void LiberaCopiasTravadas(const QStringList &pastas);
    // True when an update's output reports a conflict (its summary of conflicts).
    static bool HaConflitos(const QString &saidaDoUpdate);

private:
    QString linhaDeUpdate(const QString &pasta) const;

    TdmGrupSoliHom &dm;
    // The revisions the local update found, read by the check that follows it; empty until
    // the update has run in this object.
    QHash<QString, Informacao> m_informacoes;
    bool m_atualizado = false;
    // The copies whose status showed a conflict (or could not be read).
    QStringList m_copiasEmConflito;
};

#pragma once

// Before a group leaves "Pendente": the server's checks of the group, and the update of the
// operator's working copies so that every file of the group sits at exactly the revision
// that the group releases, with the homologated working copy refreshed at most once an
// hour.

#include <QDateTime>
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
    // The file's URL in the development repository, also for a file not yet in the copy;
    // empty when it cannot be read.
    QString UrlNoRepositorio(const QString &path);

public:
    // Removes the locks that an interrupted run left in a working copy (a log line says so)
    // before anything updates or commits it.
    void LiberaCopiaTravada(const QString &pasta);

private:
    QString linhaDeUpdate(const QString &pasta) const;

    TdmGrupSoliHom &dm;
};

#pragma once

// The server's lease on the groups of one advance (or of one patch generation): taken when
// it starts, given back when it ends, whichever way it ends, so that two operators, hosts
// or jobs never advance one group at the same time. A refused lease names its holder.

#include <QString>
#include <QStringList>

#include <memory>

class TNetConnection;
class QTimer;

class TravaDeGrupos {
public:
    enum class Aninhamento {
        Recusa,  // always asks the server: another lease of this process is another advance
        Aceita,  // groups whose lease this process already holds (the advance that opened a
                 // patch generation) are taken as held, without asking the server again
    };

    // Takes the leases of `grupos`, all or none, through `conexao`, for an advance that
    // starts from `fase` (empty: whatever the phase). A refusal (another advance holds a
    // group; a group no longer at `fase`) is shown and ends with the silent stop.
    TravaDeGrupos(TNetConnection &conexao, const QStringList &grupos, const QString &fase,
                  Aninhamento aninhamento = Aninhamento::Recusa);
    // Gives the leases back; never throws (a lease that cannot be given back runs out on
    // the server).
    ~TravaDeGrupos();
    TravaDeGrupos(const TravaDeGrupos &) = delete;
    TravaDeGrupos &operator=(const TravaDeGrupos &) = delete;

    const QString &token() const { return m_token; }
    // True while a lease taken by this process holds the group.
    static bool TravadoAqui(const QString &grupo);
    // One holder more (+1) or less (-1) of these groups in this process: an operation that
    // holds them lets the patch generation it opens run on them.
    static void MarcaTravadosAqui(const QStringList &grupos, int quantos);
    // "host (processo N)": where the holder of a lease runs, as the refusal shows it.
    static QString Estacao();

private:
    TNetConnection &m_conexao;
    QStringList m_grupos;
    QString m_token;  // empty: nothing of ours to give back
    std::unique_ptr<QTimer> m_renovacao;  // renews the leases while they are held
};

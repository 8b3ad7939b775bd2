#include "datamodule/travagrupo.h"

#include "host/connection.h"
#include "host/hostsettings.h"

#include <QCoreApplication>
#include <QHash>
#include <QSysInfo>
#include <QTimer>

#include <algorithm>

namespace {

// The groups whose lease this process holds, with how many holders share it here.
QHash<QString, int> &travadosAqui()
{
    static QHash<QString, int> grupos;
    return grupos;
}

// A call on the connection that leaves it as it found it (closed when it was closed).
ServerAnswer Chama(TNetConnection &conexao, const QString &metodo, const QList<RemoteArg> &argumentos)
{
    const bool aberta = conexao.connected();
    const ServerAnswer resposta = conexao.call(metodo, argumentos);
    if (!aberta)
        conexao.close();
    return resposta;
}

}  // namespace

QString TravaDeGrupos::Estacao()
{
    return QStringLiteral("%1 (processo %2)").arg(QSysInfo::machineHostName()).arg(QCoreApplication::applicationPid());
}

bool TravaDeGrupos::TravadoAqui(const QString &grupo) { return travadosAqui().value(grupo) > 0; }

void TravaDeGrupos::MarcaTravadosAqui(const QStringList &grupos, int quantos)
{
    for (const QString &grupo : grupos) {
        if ((travadosAqui()[grupo] += quantos) <= 0)
            travadosAqui().remove(grupo);
    }
}

TravaDeGrupos::TravaDeGrupos(TNetConnection &conexao, const QStringList &grupos, const QString &fase,
                             Aninhamento aninhamento)
    : m_conexao(conexao), m_grupos(grupos)
{
    m_grupos.removeDuplicates();
    m_grupos.removeAll(QString());
    if (m_grupos.isEmpty())
        return;
    const bool todosAqui = std::all_of(m_grupos.begin(), m_grupos.end(), [](const QString &g) { return TravadoAqui(g); });
    if (aninhamento == Aninhamento::Aceita && todosAqui)
        return;
    const QJsonValue token = Consiste::CheckResultServ(
        Chama(m_conexao, QStringLiteral("takeGroupLease"), {m_grupos.join(u','), fase, Horvane::Operador(), Estacao()}), true,
        0);
    m_token = token.toString();
    MarcaTravadosAqui(m_grupos, +1);
    // The server's leases run out in minutes: a holder that is alive says so every minute,
    // whenever the event loop runs (between child processes, while a dialog waits).
    m_renovacao = std::make_unique<QTimer>();
    QObject::connect(m_renovacao.get(), &QTimer::timeout,
                     [this] { Chama(m_conexao, QStringLiteral("renewGroupLease"), {m_token}); });
    m_renovacao->start(60 * 1000);
}

TravaDeGrupos::~TravaDeGrupos()
{
    if (m_token.isEmpty())
        return;
    m_renovacao.reset();
    MarcaTravadosAqui(m_grupos, -1);
    Chama(m_conexao, QStringLiteral("releaseGroupLease"), {m_grupos.join(u','), m_token});
}

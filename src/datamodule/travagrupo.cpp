#include "datamodule/travagrupo.h"

#include "host/connection.h"
#include "host/hostsettings.h"

#include <QCoreApplication>
#include <QHash>
#include <QSysInfo>

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
    for (const QString &grupo : std::as_const(m_grupos))
        ++travadosAqui()[grupo];
}

TravaDeGrupos::~TravaDeGrupos()
{
    if (m_token.isEmpty())
        return;
    for (const QString &grupo : std::as_const(m_grupos)) {
        if (--travadosAqui()[grupo] <= 0)
            travadosAqui().remove(grupo);
    }
    Chama(m_conexao, QStringLiteral("releaseGroupLease"), {m_grupos.join(u','), m_token});
}

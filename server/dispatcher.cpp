#include "dispatcher.h"

#include "database.h"

#include "host/packet.h"

namespace server {

Call::Call(Database &database, const QString &method, const QList<ArgKind> &kinds, const QJsonArray &args)
    : db(database), m_method(method), m_args(args)
{
    for (int i = 0; i < kinds.size(); ++i)
        m_out.append(kinds[i] == ArgKind::Ref ? QJsonValue(args.at(i).toString()) : QJsonValue(QJsonValue::Null));
}

QString Call::text(int index) const
{
    if (m_out.at(index).isString())
        return m_out.at(index).toString();
    return m_args.at(index).toString();
}

void Call::setOut(int index, const QString &value) { m_out[index] = value; }

const MethodDef *ModuleDef::find(const QString &method) const
{
    for (const MethodDef &def : methods) {
        if (def.name.compare(method, Qt::CaseInsensitive) == 0)
            return &def;
    }
    return nullptr;
}

const QList<const ModuleDef *> &Dispatcher::modules()
{
    static const QList<const ModuleDef *> all{&grupSoliHomModule(), &gPatchModule(), &hostDatabaseModule()};
    return all;
}

QJsonObject Dispatcher::failure(const QString &message)
{
    return {{QStringLiteral("ok"), false}, {QStringLiteral("error"), message}};
}

static QString kindName(ArgKind kind)
{
    switch (kind) {
    case ArgKind::Text:
    case ArgKind::Ref: return QStringLiteral("um texto");
    case ArgKind::Packet: return QStringLiteral("um pacote de dados");
    case ArgKind::Delta: return QStringLiteral("um pacote de alterações");
    }
    return {};
}

static bool hasKind(const QJsonValue &value, ArgKind kind)
{
    switch (kind) {
    case ArgKind::Text:
    case ArgKind::Ref: return value.isString() || value.isNull();
    case ArgKind::Packet:
        return value.isObject() && value.toObject().value(QStringLiteral("fields")).isArray()
            && !value.toObject().contains(QStringLiteral("changes"));
    case ArgKind::Delta:
        return value.isObject() && value.toObject().value(QStringLiteral("fields")).isArray()
            && value.toObject().value(QStringLiteral("changes")).isArray();
    }
    return false;
}

QJsonObject Dispatcher::call(const QString &moduleName, const QString &methodName, const QJsonValue &argsValue)
{
    const ModuleDef *module = nullptr;
    for (const ModuleDef *candidate : modules()) {
        if (candidate->name.compare(moduleName, Qt::CaseInsensitive) == 0)
            module = candidate;
    }
    if (!module)
        return failure(QStringLiteral("Módulo desconhecido no servidor de aplicação: \"%1\".").arg(moduleName));
    const MethodDef *method = module->find(methodName);
    if (!method)
        return failure(QStringLiteral("O módulo %1 não tem o método \"%2\".").arg(module->name, methodName));
    const QString fullName = module->name + u'.' + method->name;
    if (!argsValue.isArray())
        return failure(QStringLiteral("Os argumentos de %1 devem ser uma lista.").arg(fullName));
    const QJsonArray args = argsValue.toArray();
    if (args.size() != method->args.size())
        return failure(QStringLiteral("O método %1 espera %2 argumento(s) e recebeu %3.")
                           .arg(fullName)
                           .arg(method->args.size())
                           .arg(args.size()));
    for (int i = 0; i < args.size(); ++i) {
        if (!hasKind(args[i], method->args[i]))
            return failure(QStringLiteral("O argumento %1 de %2 deve ser %3.")
                               .arg(i + 1)
                               .arg(fullName, kindName(method->args[i])));
    }

    Call call(m_db, method->name, method->args, args);
    try {
        m_db.ensureOpen();
        Transaction transaction(m_db, method->writes);
        const QJsonValue data = method->handler(call);
        transaction.commit();
        return {{QStringLiteral("ok"), true}, {QStringLiteral("data"), data}, {QStringLiteral("out"), call.out()}};
    } catch (const ServerError &error) {
        return failure(error.message());
    } catch (const packet::PacketError &error) {
        return failure(QStringLiteral("Pacote de dados inválido em %1: %2").arg(fullName, QString::fromUtf8(error.what())));
    } catch (const std::exception &error) {
        return failure(QStringLiteral("Erro interno do servidor em %1: %2").arg(fullName, QString::fromUtf8(error.what())));
    }
}

}  // namespace server

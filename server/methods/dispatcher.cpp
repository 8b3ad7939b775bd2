#include "methods/dispatcher.h"

#include "methods/operacao.h"
#include "store/database.h"

#include "host/packet.h"

#include <QJsonDocument>

#include <atomic>

namespace server {

namespace {
std::atomic<quint64> writeCalls{0};
}  // namespace

quint64 committedWriteCalls() { return writeCalls.load(); }

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

Json::Json(const QJsonValue &value)
{
    switch (value.type()) {
    case QJsonValue::Array: m_text = QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact); break;
    case QJsonValue::Object: m_text = QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact); break;
    case QJsonValue::String: appendJsonString(m_text, value.toString()); break;
    case QJsonValue::Bool: m_text = value.toBool() ? "true" : "false"; break;
    case QJsonValue::Double: m_text = QByteArray::number(value.toDouble(), 'g', 17); break;
    default: m_text = "null";
    }
}

Json Json::raw(QByteArray text)
{
    Json json;
    json.m_text = std::move(text);
    return json;
}

Json Json::array(std::initializer_list<Json> elements)
{
    QByteArray text("[");
    for (const Json &element : elements) {
        if (text.size() > 1)
            text.append(',');
        text.append(element.text());
    }
    text.append(']');
    return raw(text);
}

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

QJsonObject Dispatcher::call(const QString &module, const QString &method, const QJsonValue &args, const QString &operation)
{
    return QJsonDocument::fromJson(callText(module, method, args, operation)).object();
}

static QByteArray failureText(const QString &message)
{
    return QJsonDocument(Dispatcher::failure(message)).toJson(QJsonDocument::Compact);
}

static const ModuleDef *moduleNamed(const QString &name)
{
    for (const ModuleDef *candidate : Dispatcher::modules()) {
        if (candidate->name.compare(name, Qt::CaseInsensitive) == 0)
            return candidate;
    }
    return nullptr;
}

QString Dispatcher::unknownTarget(const QString &moduleName, const QString &methodName)
{
    const ModuleDef *module = moduleNamed(moduleName);
    if (!module)
        return QStringLiteral("Módulo desconhecido no servidor de aplicação: \"%1\".").arg(moduleName);
    if (!module->find(methodName))
        return QStringLiteral("O módulo %1 não tem o método \"%2\".").arg(module->name, methodName);
    return {};
}

// True when a text in `value` is not valid Unicode (a lone surrogate): it would be stored
// as another character.
static bool hasInvalidText(const QJsonValue &value)
{
    switch (value.type()) {
    case QJsonValue::String: return !value.toString().isValidUtf16();
    case QJsonValue::Array:
        for (const QJsonValue &element : value.toArray()) {
            if (hasInvalidText(element))
                return true;
        }
        return false;
    case QJsonValue::Object: {
        const QJsonObject object = value.toObject();
        for (auto it = object.begin(); it != object.end(); ++it) {
            if (!it.key().isValidUtf16() || hasInvalidText(it.value()))
                return true;
        }
        return false;
    }
    default: return false;
    }
}

QString Dispatcher::refusedArguments(const ModuleDef &module, const MethodDef &method, const QJsonArray &args)
{
    const QString fullName = module.name + u'.' + method.name;
    if (args.size() != method.args.size())
        return QStringLiteral("O método %1 espera %2 argumento(s) e recebeu %3.")
            .arg(fullName)
            .arg(method.args.size())
            .arg(args.size());
    for (int i = 0; i < args.size(); ++i) {
        if (!hasKind(args[i], method.args[i]))
            return QStringLiteral("O argumento %1 de %2 deve ser %3.").arg(i + 1).arg(fullName, kindName(method.args[i]));
        if (hasInvalidText(args[i]))
            return QStringLiteral("O argumento %1 de %2 contém um texto que não é Unicode válido "
                                  "(um caractere substituto isolado); nada foi gravado.")
                .arg(i + 1)
                .arg(fullName);
    }
    return {};
}

QByteArray Dispatcher::callText(const QString &moduleName, const QString &methodName, const QJsonValue &argsValue,
                                const QString &operation)
{
    const QString unknown = unknownTarget(moduleName, methodName);
    if (!unknown.isEmpty())
        return failureText(unknown);
    const ModuleDef *module = moduleNamed(moduleName);
    const MethodDef *method = module->find(methodName);
    const QString fullName = module->name + u'.' + method->name;
    if (!argsValue.isArray())
        return failureText(QStringLiteral("Os argumentos de %1 devem ser uma lista.").arg(fullName));
    const QJsonArray args = argsValue.toArray();
    const QString refused = refusedArguments(*module, *method, args);
    if (!refused.isEmpty())
        return failureText(refused);

    Call call(m_db, method->name, method->args, args);
    call.operation = operation.trimmed();
    try {
        m_db.ensureOpen();
        Transaction transaction(m_db, method->writes);
        // A write made for an operation is refused once the operation's run lost its leases
        // (its leases are renewed otherwise). Giving the leases back is never refused.
        if (method->writes && !call.operation.isEmpty() && method->handler != liberaOperacao)
            fenceOperation(m_db, call.operation);
        const Json data = method->handler(call);
        transaction.commit();
        if (method->writes)
            ++writeCalls;
        QByteArray text;
        text.reserve(data.text().size() + 64);
        text.append("{\"ok\":true,\"data\":");
        text.append(data.text());
        text.append(",\"out\":[");
        for (qsizetype i = 0; i < call.out().size(); ++i) {
            if (i)
                text.append(',');
            const QJsonValue value = call.out().at(i);
            if (value.isString())
                appendJsonString(text, value.toString());
            else
                text.append("null", 4);
        }
        text.append("]}");
        return text;
    } catch (const ServerError &error) {
        return failureText(error.message());
    } catch (const packet::PacketError &error) {
        return failureText(QStringLiteral("Pacote de dados inválido em %1: %2").arg(fullName, QString::fromUtf8(error.what())));
    } catch (const std::exception &error) {
        return failureText(QStringLiteral("Erro interno do servidor em %1: %2").arg(fullName, QString::fromUtf8(error.what())));
    }
}

}  // namespace server

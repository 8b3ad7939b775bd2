#pragma once

// One dispatcher serves the remote data modules by method name, in process and behind the
// HTTP front alike. A call names the module and the method and carries the argument list:
//   texts passed by value and by reference as JSON strings (null = empty),
//   data packets and deltas as their JSON objects (host/packet.h).
// The answer is {"ok": true, "data": ..., "out": [...]} or {"ok": false, "error": "..."};
// "out" has one entry per argument: the value after the call for a by-reference text,
// null for every other argument.

#include "host/packet.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QString>

#include <initializer_list>

namespace server {

class Database;
struct DatasetDef;

enum class ArgKind { Text, Ref, Packet, Delta };

// The arguments of one call as the method sees them.
class Call {
public:
    Call(Database &db, const QString &method, const QList<ArgKind> &kinds, const QJsonArray &args);

    Database &db;
    // The token of the operation the call is made for (empty: none); its writes are refused
    // when the token no longer holds the operation's groups.
    QString operation;
    const QString &method() const { return m_method; }

    QString text(int index) const;
    void setOut(int index, const QString &value);
    const QJsonArray &out() const { return m_out; }
    const QJsonObject object(int index) const { return m_args.at(index).toObject(); }

private:
    QString m_method;
    QJsonArray m_args;
    QJsonArray m_out;
};

// A JSON value kept as its text. Large packets are written row by row straight into the
// answer; building a JSON tree of them first costs more than the query itself.
class Json {
public:
    Json() : m_text("null") {}
    Json(const QJsonValue &value);
    Json(const QJsonArray &array) : Json(QJsonValue(array)) {}
    Json(const QJsonObject &object) : Json(QJsonValue(object)) {}
    Json(const QString &text) : Json(QJsonValue(text)) {}
    Json(QJsonValue::Type type) : Json(QJsonValue(type)) {}
    static Json raw(QByteArray text);
    // [a, b, ...]
    static Json array(std::initializer_list<Json> elements);
    const QByteArray &text() const { return m_text; }

private:
    QByteArray m_text;
};

using packet::appendJsonString;

using Handler = Json (*)(Call &);

struct MethodDef {
    QString name;
    QList<ArgKind> args;
    bool writes = false;  // runs in a write transaction
    Handler handler = nullptr;
};

struct ModuleDef {
    QString name;
    QList<MethodDef> methods;
    const MethodDef *find(const QString &method) const;  // case-insensitive
};

const ModuleDef &grupSoliHomModule();  // VOP42000.rdmGrupSoliHom
const ModuleDef &gPatchModule();       // VOP03409.rdmGPatch
const ModuleDef &hostDatabaseModule(); // Dbgeral: the host's own database (subject table)

// Calls that wrote and committed, in this process (the board's pages are built again after one).
quint64 committedWriteCalls();

class Dispatcher {
public:
    explicit Dispatcher(Database &db) : m_db(db) {}

    // Never throws: every failure becomes {"ok": false, "error": ...}, and a failed call
    // leaves nothing written. callText gives the answer as JSON text (what HTTP sends).
    // `operation`: the token of the operation the call is made for, if any.
    QJsonObject call(const QString &module, const QString &method, const QJsonValue &args, const QString &operation = {});
    QByteArray callText(const QString &module, const QString &method, const QJsonValue &args,
                        const QString &operation = {});

    Database &database() { return m_db; }

    static QJsonObject failure(const QString &message);
    static const QList<const ModuleDef *> &modules();
    // Why a call of that module and method cannot be served (no such module or method), or
    // an empty text when it can.
    static QString unknownTarget(const QString &module, const QString &method);
    // Why `args` cannot be the arguments of `method` (count, kinds, invalid texts), or an
    // empty text when they can.
    static QString refusedArguments(const ModuleDef &module, const MethodDef &method, const QJsonArray &args);

private:
    Database &m_db;
};

}  // namespace server

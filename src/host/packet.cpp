#include "packet.h"

#include <QDateTime>

namespace packet {

static const char *const kDateTimeFormat = "yyyy-MM-ddTHH:mm:ss";

QString typeName(FieldType type)
{
    switch (type) {
    case FieldType::String: return QStringLiteral("string");
    case FieldType::FixedString: return QStringLiteral("fixed");
    case FieldType::DateTime: return QStringLiteral("datetime");
    case FieldType::Blob: return QStringLiteral("blob");
    }
    return QStringLiteral("string");
}

FieldType typeFromName(const QString &name)
{
    if (name == u"string")
        return FieldType::String;
    if (name == u"fixed")
        return FieldType::FixedString;
    if (name == u"datetime")
        return FieldType::DateTime;
    if (name == u"blob")
        return FieldType::Blob;
    throw PacketError("unknown field type \"" + name.toStdString() + "\"");
}

QJsonValue valueToJson(const QVariant &value, FieldType type)
{
    if (!value.isValid() || value.isNull())
        return QJsonValue::Null;
    switch (type) {
    case FieldType::DateTime: {
        const QDateTime time = value.toDateTime();
        return time.isValid() ? QJsonValue(time.toString(QLatin1String(kDateTimeFormat))) : QJsonValue::Null;
    }
    case FieldType::Blob: return QString::fromLatin1(value.toByteArray().toBase64());
    default: return value.toString();
    }
}

QVariant valueFromJson(const QJsonValue &value, FieldType type)
{
    if (value.isNull() || value.isUndefined())
        return {};
    if (!value.isString())
        throw PacketError("a value is not a text");
    const QString text = value.toString();
    switch (type) {
    case FieldType::DateTime: {
        const QDateTime time = QDateTime::fromString(text, QLatin1String(kDateTimeFormat));
        if (!time.isValid())
            throw PacketError("bad date-time \"" + text.toStdString() + "\"");
        return time;
    }
    case FieldType::Blob: return QByteArray::fromBase64(text.toLatin1());
    default: return text;
    }
}

static int indexOf(const QList<Field> &fields, const QString &name)
{
    for (int i = 0; i < fields.size(); ++i) {
        if (fields[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

static QJsonArray fieldsToJson(const QList<Field> &fields)
{
    QJsonArray array;
    for (const Field &field : fields) {
        QJsonObject object{{QStringLiteral("name"), field.name}, {QStringLiteral("type"), typeName(field.type)}};
        if (field.size > 0)
            object.insert(QStringLiteral("size"), field.size);
        array.append(object);
    }
    return array;
}

static QList<Field> fieldsFromJson(const QJsonValue &value)
{
    if (!value.isArray())
        throw PacketError("the packet has no field list");
    QList<Field> fields;
    for (const QJsonValue &entry : value.toArray()) {
        const QJsonObject object = entry.toObject();
        Field field;
        field.name = object.value(QStringLiteral("name")).toString();
        if (field.name.isEmpty())
            throw PacketError("a field has no name");
        field.type = typeFromName(object.value(QStringLiteral("type")).toString(QStringLiteral("string")));
        field.size = object.value(QStringLiteral("size")).toInt(0);
        if (indexOf(fields, field.name) >= 0)
            throw PacketError("field \"" + field.name.toStdString() + "\" appears twice");
        fields.append(field);
    }
    return fields;
}

static QJsonArray rowToJson(const QList<Field> &fields, const Row &row)
{
    QJsonArray array;
    for (int i = 0; i < fields.size(); ++i)
        array.append(valueToJson(i < row.size() ? row[i] : QVariant(), fields[i].type));
    return array;
}

static Row rowFromJson(const QList<Field> &fields, const QJsonValue &value)
{
    if (!value.isArray())
        throw PacketError("a row is not an array");
    const QJsonArray array = value.toArray();
    if (array.size() != fields.size())
        throw PacketError("a row has " + std::to_string(array.size()) + " values for " + std::to_string(fields.size())
                          + " fields");
    Row row;
    row.reserve(fields.size());
    for (int i = 0; i < fields.size(); ++i)
        row.append(valueFromJson(array[i], fields[i].type));
    return row;
}

int Packet::fieldIndex(const QString &name) const { return indexOf(fields, name); }

QJsonObject Packet::toJson() const
{
    QJsonArray jsonRows;
    for (const Row &row : rows)
        jsonRows.append(rowToJson(fields, row));
    return {{QStringLiteral("fields"), fieldsToJson(fields)}, {QStringLiteral("rows"), jsonRows}};
}

Packet Packet::fromJson(const QJsonObject &json)
{
    Packet packet;
    packet.fields = fieldsFromJson(json.value(QStringLiteral("fields")));
    const QJsonValue rows = json.value(QStringLiteral("rows"));
    if (!rows.isUndefined() && !rows.isArray())
        throw PacketError("the packet's rows are not an array");
    for (const QJsonValue &row : rows.toArray())
        packet.rows.append(rowFromJson(packet.fields, row));
    return packet;
}

bool Packet::looksLikePacket(const QJsonValue &value)
{
    return value.isObject() && value.toObject().value(QStringLiteral("fields")).isArray()
        && !value.toObject().contains(QStringLiteral("changes"));
}

int Delta::fieldIndex(const QString &name) const { return indexOf(fields, name); }

QJsonObject Delta::toJson() const
{
    QJsonArray jsonChanges;
    for (const Change &change : changes) {
        QJsonObject object;
        switch (change.kind) {
        case Change::Kind::Insert:
            object.insert(QStringLiteral("op"), QStringLiteral("insert"));
            object.insert(QStringLiteral("new"), rowToJson(fields, change.newValues));
            break;
        case Change::Kind::Modify:
            object.insert(QStringLiteral("op"), QStringLiteral("modify"));
            object.insert(QStringLiteral("old"), rowToJson(fields, change.oldValues));
            object.insert(QStringLiteral("new"), rowToJson(fields, change.newValues));
            break;
        case Change::Kind::Delete:
            object.insert(QStringLiteral("op"), QStringLiteral("delete"));
            object.insert(QStringLiteral("old"), rowToJson(fields, change.oldValues));
            break;
        }
        jsonChanges.append(object);
    }
    return {{QStringLiteral("fields"), fieldsToJson(fields)}, {QStringLiteral("changes"), jsonChanges}};
}

Delta Delta::fromJson(const QJsonObject &json)
{
    Delta delta;
    delta.fields = fieldsFromJson(json.value(QStringLiteral("fields")));
    const QJsonValue changes = json.value(QStringLiteral("changes"));
    if (!changes.isArray())
        throw PacketError("the delta has no change list");
    for (const QJsonValue &entry : changes.toArray()) {
        const QJsonObject object = entry.toObject();
        const QString op = object.value(QStringLiteral("op")).toString();
        Change change;
        if (op == u"insert") {
            change.kind = Change::Kind::Insert;
            change.newValues = rowFromJson(delta.fields, object.value(QStringLiteral("new")));
        } else if (op == u"modify") {
            change.kind = Change::Kind::Modify;
            change.oldValues = rowFromJson(delta.fields, object.value(QStringLiteral("old")));
            change.newValues = rowFromJson(delta.fields, object.value(QStringLiteral("new")));
        } else if (op == u"delete") {
            change.kind = Change::Kind::Delete;
            change.oldValues = rowFromJson(delta.fields, object.value(QStringLiteral("old")));
        } else {
            throw PacketError("unknown change \"" + op.toStdString() + "\"");
        }
        delta.changes.append(change);
    }
    return delta;
}

}  // namespace packet

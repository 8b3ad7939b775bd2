#include "packet.h"

#include <QDateTime>

#include <algorithm>

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

// "yyyy-MM-ddTHH:mm:ss", written and read by hand: Qt's formatting by pattern goes through
// the locale and the calendar, and costs a packet of dates more than the rest of it.
static bool writeDateTime(const QDateTime &time, char (&text)[19])
{
    const QDate date = time.date();
    const QTime clock = time.time();
    if (date.year() < 0 || date.year() > 9999)
        return false;
    const int parts[] = {date.year() / 100, date.year() % 100, date.month(), date.day(), clock.hour(), clock.minute(), clock.second()};
    const char separators[] = {0, '-', '-', 'T', ':', ':'};
    char *to = text;
    for (int i = 0; i < 7; ++i) {
        if (i > 1)
            *to++ = separators[i - 1];
        *to++ = char('0' + parts[i] / 10);
        *to++ = char('0' + parts[i] % 10);
    }
    return true;
}

static QString dateTimeText(const QDateTime &time)
{
    char text[19];
    return writeDateTime(time, text) ? QString::fromLatin1(text, 19) : time.toString(QLatin1String(kDateTimeFormat));
}

static QDateTime dateTimeFromText(const QString &text)
{
    const auto digits = [&](int from, int count) {
        int value = 0;
        for (int i = from; i < from + count; ++i) {
            const char16_t c = text[i].unicode();
            if (c < u'0' || c > u'9')
                return -1;
            value = value * 10 + (c - u'0');
        }
        return value;
    };
    if (text.size() != 19 || text[4] != u'-' || text[7] != u'-' || text[10] != u'T' || text[13] != u':' || text[16] != u':')
        return QDateTime::fromString(text, QLatin1String(kDateTimeFormat));
    const int year = digits(0, 4), month = digits(5, 2), day = digits(8, 2);
    const int hour = digits(11, 2), minute = digits(14, 2), second = digits(17, 2);
    const QDate date(year, month, day);
    const QTime clock(hour, minute, second);
    if (std::min({year, month, day, hour, minute, second}) < 0 || !date.isValid() || !clock.isValid())
        return {};
    return QDateTime(date, clock);
}

QJsonValue valueToJson(const QVariant &value, FieldType type)
{
    if (!value.isValid() || value.isNull())
        return QJsonValue::Null;
    switch (type) {
    case FieldType::DateTime: {
        const QDateTime time = value.toDateTime();
        return time.isValid() ? QJsonValue(dateTimeText(time)) : QJsonValue::Null;
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
        const QDateTime time = dateTimeFromText(text);
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

void appendJsonString(QByteArray &out, QStringView text)
{
    static const char hex[] = "0123456789abcdef";
    out.append('"');
    // Most values are plain ASCII: copied straight, without a UTF-8 copy of their own.
    const qsizetype start = out.size();
    out.resize(start + text.size());
    char *to = out.data() + start;
    qsizetype plain = 0;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u >= 0x80 || u < 0x20 || u == u'"' || u == u'\\')
            break;
        *to++ = char(u);
        ++plain;
    }
    out.resize(start + plain);
    const auto escape = [&](char16_t u) {
        out.append("\\u", 2);
        for (int shift = 12; shift >= 0; shift -= 4)
            out.append(hex[(u >> shift) & 0xf]);
    };
    for (qsizetype i = plain; i < text.size(); ++i) {
        const char16_t u = text[i].unicode();
        switch (u) {
        case u'"': out.append("\\\"", 2); continue;
        case u'\\': out.append("\\\\", 2); continue;
        case u'\n': out.append("\\n", 2); continue;
        case u'\r': out.append("\\r", 2); continue;
        case u'\t': out.append("\\t", 2); continue;
        default: break;
        }
        if (u < 0x20) {
            escape(u);
        } else if (u < 0x80) {
            out.append(char(u));
        } else if (QChar::isHighSurrogate(u) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            out.append(QStringView(text.data() + i, 2).toUtf8());
            ++i;
        } else if (QChar::isSurrogate(u)) {
            escape(u);
        } else {
            out.append(QStringView(text.data() + i, 1).toUtf8());
        }
    }
    out.append('"');
}

static void appendValue(QByteArray &out, const QVariant &value, FieldType type)
{
    const bool empty = !value.isValid() || value.isNull();
    const bool text = type == FieldType::String || type == FieldType::FixedString;
    if (!empty && text && value.metaType().id() == QMetaType::QString)
        return appendJsonString(out, *static_cast<const QString *>(value.constData()));
    char date[19];
    if (!empty && type == FieldType::DateTime && value.metaType().id() == QMetaType::QDateTime
        && writeDateTime(*static_cast<const QDateTime *>(value.constData()), date)) {
        out.append('"').append(date, 19).append('"');
        return;
    }
    const QJsonValue json = valueToJson(value, type);
    if (json.isNull())
        out.append("null", 4);
    else
        appendJsonString(out, json.toString());
}

static void appendFields(QByteArray &out, const QList<Field> &fields)
{
    out.append("\"fields\":[");
    for (qsizetype i = 0; i < fields.size(); ++i) {
        out.append(i ? ",{\"name\":" : "{\"name\":");
        appendJsonString(out, fields[i].name);
        out.append(",\"type\":\"").append(typeName(fields[i].type).toLatin1()).append('"');
        if (fields[i].size > 0)
            out.append(",\"size\":").append(QByteArray::number(fields[i].size));
        out.append('}');
    }
    out.append(']');
}

static void appendRow(QByteArray &out, const QList<Field> &fields, const Row &row)
{
    out.append('[');
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i)
            out.append(',');
        appendValue(out, i < row.size() ? row[i] : QVariant(), fields[i].type);
    }
    out.append(']');
}

int Packet::fieldIndex(const QString &name) const { return indexOf(fields, name); }

void Packet::appendJson(QByteArray &out) const
{
    out.append('{');
    appendFields(out, fields);
    out.append(",\"rows\":[");
    for (qsizetype r = 0; r < rows.size(); ++r) {
        if (r)
            out.append(',');
        appendRow(out, fields, rows[r]);
    }
    out.append("]}");
}

void Delta::appendJson(QByteArray &out) const
{
    out.append('{');
    appendFields(out, fields);
    out.append(",\"changes\":[");
    for (qsizetype c = 0; c < changes.size(); ++c) {
        const Change &change = changes[c];
        out.append(c ? "," : "");
        switch (change.kind) {
        case Change::Kind::Insert: out.append("{\"op\":\"insert\""); break;
        case Change::Kind::Modify: out.append("{\"op\":\"modify\""); break;
        case Change::Kind::Delete: out.append("{\"op\":\"delete\""); break;
        }
        if (change.kind != Change::Kind::Insert) {
            out.append(",\"old\":");
            appendRow(out, fields, change.oldValues);
        }
        if (change.kind != Change::Kind::Delete) {
            out.append(",\"new\":");
            appendRow(out, fields, change.newValues);
        }
        out.append('}');
    }
    out.append("]}");
}

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

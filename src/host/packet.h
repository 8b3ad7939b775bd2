#pragma once

// Data packets: a dataset's whole data, or its change log (delta), as exchanged with the
// application server. Shared by the module and the server.
//
// JSON layout of a data packet:
//   {"fields": [{"name": "CDGRUPHOMOL", "type": "string", "size": 10}, ...],
//    "rows":   [["0000000001", "Grupo 1", ...], ...]}
// and of a delta:
//   {"fields": [...],
//    "changes": [{"op": "insert", "new": [...]},
//                {"op": "modify", "old": [...], "new": [...]},
//                {"op": "delete", "old": [...]}]}
// Values are JSON strings, or null for an empty (null) value; date-times are texts
// "yyyy-MM-ddTHH:mm:ss"; blobs are base64 texts.

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QVariant>

#include <stdexcept>

namespace packet {

enum class FieldType { String, FixedString, DateTime, Blob };

struct Field {
    QString name;
    FieldType type = FieldType::String;
    int size = 0;  // characters, for the text types
    bool operator==(const Field &) const = default;
};

// A value is a QVariant: invalid/null = empty, QString for texts, QDateTime for
// date-times, QByteArray for blobs.
using Row = QList<QVariant>;

class PacketError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct Packet {
    QList<Field> fields;
    QList<Row> rows;

    int fieldIndex(const QString &name) const;  // case-insensitive; -1 when absent
    QJsonObject toJson() const;
    // The same JSON, written as text at the end of `out`.
    void appendJson(QByteArray &out) const;
    // Throws PacketError for a malformed packet (missing fields, wrong row width, bad types).
    static Packet fromJson(const QJsonObject &json);
    static bool looksLikePacket(const QJsonValue &value);
};

struct Change {
    enum class Kind { Insert, Modify, Delete };
    Kind kind = Kind::Modify;
    Row oldValues;  // Modify, Delete
    Row newValues;  // Insert, Modify
};

struct Delta {
    QList<Field> fields;
    QList<Change> changes;

    int fieldIndex(const QString &name) const;
    bool isEmpty() const { return changes.isEmpty(); }
    QJsonObject toJson() const;
    void appendJson(QByteArray &out) const;
    static Delta fromJson(const QJsonObject &json);
};

QString typeName(FieldType type);
FieldType typeFromName(const QString &name);  // throws PacketError

QJsonValue valueToJson(const QVariant &value, FieldType type);
QVariant valueFromJson(const QJsonValue &value, FieldType type);  // throws PacketError

// Appends `text` as a JSON string. A lone surrogate is written as its \u escape, so that
// the reader sees the same text (and can refuse it).
void appendJsonString(QByteArray &out, QStringView text);

}  // namespace packet

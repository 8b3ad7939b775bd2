#include "datasetfile.h"

#include "host/dataset.h"
#include "platform/files.h"

#include <pugixml.hpp>

#include <sstream>

namespace datasetfile {

namespace {

const char *const kFileDateTime = "yyyyMMddTHH:mm:sszzz";

enum RowState { kOriginal = 1, kDeleted = 2, kInserted = 4, kModified = 8 };

QString toQ(const char *text) { return QString::fromUtf8(text); }
std::string toStd(const QString &text) { return text.toStdString(); }

void describeField(pugi::xml_node node, const FieldDef &field)
{
    node.append_attribute("attrname") = toStd(field.name).c_str();
    if (!field.fileType.isEmpty()) {
        node.append_attribute("fieldtype") = toStd(field.fileType).c_str();
        if (!field.fileSubtype.isEmpty())
            node.append_attribute("SUBTYPE") = toStd(field.fileSubtype).c_str();
        if (field.size > 0)
            node.append_attribute("WIDTH") = field.size;
        return;
    }
    switch (field.type) {
    case FieldType::String:
        node.append_attribute("fieldtype") = "string";
        node.append_attribute("WIDTH") = field.size > 0 ? field.size : 255;
        break;
    case FieldType::FixedString:
        node.append_attribute("fieldtype") = "string";
        node.append_attribute("SUBTYPE") = "FixedChar";
        node.append_attribute("WIDTH") = field.size > 0 ? field.size : 1;
        break;
    case FieldType::DateTime: node.append_attribute("fieldtype") = "dateTime"; break;
    case FieldType::Blob:
        node.append_attribute("fieldtype") = "bin.hex";
        node.append_attribute("SUBTYPE") = "Binary";
        break;
    }
}

QString encodeValue(const QVariant &value, FieldType type)
{
    switch (type) {
    case FieldType::DateTime: return value.toDateTime().toString(QLatin1String(kFileDateTime));
    case FieldType::Blob: return QString::fromLatin1(value.toByteArray().toBase64());
    default: return Dataset::valueText(value);
    }
}

QVariant decodeValue(const QString &text, FieldType type, const QString &fieldName)
{
    switch (type) {
    case FieldType::DateTime: {
        if (text.isEmpty())
            return {};
        static const char *const formats[] = {kFileDateTime, "yyyyMMddTHH:mm:ss", "yyyyMMdd", "yyyy-MM-ddTHH:mm:ss"};
        for (const char *format : formats) {
            const QDateTime time = QDateTime::fromString(text, QLatin1String(format));
            if (time.isValid())
                return time;
        }
        throw EHomologa(QStringLiteral("data inválida \"%1\" no campo %2").arg(text, fieldName));
    }
    case FieldType::Blob: return QByteArray::fromBase64(text.toLatin1());
    default: return text;
    }
}

void writeRow(pugi::xml_node rowData, const QList<FieldDef> &fields, const packet::Row &values, int rowState)
{
    pugi::xml_node row = rowData.append_child("ROW");
    if (rowState != 0)
        row.append_attribute("RowState") = rowState;
    for (int i = 0; i < fields.size(); ++i) {
        const QVariant value = i < values.size() ? values.at(i) : QVariant();
        if (!value.isValid() || value.isNull())
            continue;
        row.append_attribute(toStd(fields[i].name).c_str()) = toStd(encodeValue(value, fields[i].type)).c_str();
    }
}

FieldDef fieldFromNode(pugi::xml_node node)
{
    FieldDef field;
    field.name = toQ(node.attribute("attrname").as_string());
    const QString type = toQ(node.attribute("fieldtype").as_string()).toLower();
    const QString subtype = toQ(node.attribute("SUBTYPE").as_string());
    field.size = node.attribute("WIDTH").as_int(0);
    if (type == u"string" || type == u"string.uni") {
        field.type = subtype.compare(u"FixedChar", Qt::CaseInsensitive) == 0 ? FieldType::FixedString
                                                                              : FieldType::String;
        if (type == u"string.uni") {
            field.fileType = toQ(node.attribute("fieldtype").as_string());
            field.fileSubtype = subtype;
        }
    } else if (type == u"datetime") {
        field.type = FieldType::DateTime;
    } else if (type == u"bin.hex" && (subtype.isEmpty() || subtype.compare(u"Binary", Qt::CaseInsensitive) == 0)) {
        field.type = FieldType::Blob;
    } else {
        // Numbers, booleans, dates, memos: held as texts and written back as they came.
        field.type = FieldType::String;
        field.fileType = toQ(node.attribute("fieldtype").as_string());
        field.fileSubtype = subtype;
    }
    return field;
}

// Values are decoded with the type the file gives them, then turned into the dataset's.
packet::Row readRow(pugi::xml_node node, const QList<FieldDef> &fields, const QList<FieldType> &fileTypes,
                    const std::vector<std::string> &attributeNames)
{
    packet::Row values(fields.size());
    for (int i = 0; i < fields.size(); ++i) {
        const pugi::xml_attribute attribute = node.attribute(attributeNames[size_t(i)].c_str());
        if (!attribute)
            continue;
        const QVariant value = decodeValue(toQ(attribute.value()), fileTypes[i], fields[i].name);
        values[i] = fileTypes[i] == fields[i].type ? value : Dataset::convertValue(value, fields[i].type);
    }
    return values;
}

}  // namespace

QByteArray toXml(const Dataset &dataset)
{
    pugi::xml_document document;
    pugi::xml_node declaration = document.append_child(pugi::node_declaration);
    declaration.append_attribute("version") = "1.0";
    declaration.append_attribute("standalone") = "yes";
    pugi::xml_node root = document.append_child("DATAPACKET");
    root.append_attribute("Version") = "2.0";
    pugi::xml_node metadata = root.append_child("METADATA");
    pugi::xml_node fieldsNode = metadata.append_child("FIELDS");
    for (const FieldDef &field : dataset.fieldDefs())
        describeField(fieldsNode.append_child("FIELD"), field);
    metadata.append_child("PARAMS");
    pugi::xml_node rowData = root.append_child("ROWDATA");
    const QList<FieldDef> &fields = dataset.fieldDefs();
    for (const Dataset::StoredRow &row : dataset.storedRows()) {
        switch (row.status) {
        case RowStatus::Unchanged: writeRow(rowData, fields, row.values, 0); break;
        case RowStatus::Inserted: writeRow(rowData, fields, row.values, kInserted); break;
        case RowStatus::Modified:
            writeRow(rowData, fields, row.original, kOriginal);
            writeRow(rowData, fields, row.values, kModified);
            break;
        case RowStatus::Deleted: writeRow(rowData, fields, row.original, kDeleted); break;
        }
    }
    std::ostringstream out;
    document.save(out, "  ", pugi::format_default, pugi::encoding_utf8);
    return QByteArray::fromStdString(out.str());
}

void fromXml(Dataset &dataset, const QByteArray &xml, const QString &origin)
{
    const QString where = origin.isEmpty() ? QStringLiteral("O arquivo de dados") : QStringLiteral("O arquivo \"%1\"").arg(origin);
    pugi::xml_document document;
    const pugi::xml_parse_result parsed = document.load_buffer(xml.constData(), size_t(xml.size()));
    if (!parsed)
        throw EHomologa(QStringLiteral("%1 não é um arquivo de dados válido: %2 (posição %3).")
                            .arg(where, toQ(parsed.description()))
                            .arg(parsed.offset));
    const pugi::xml_node root = document.child("DATAPACKET");
    const pugi::xml_node fieldsNode = root.child("METADATA").child("FIELDS");
    if (!root || !fieldsNode)
        throw EHomologa(QStringLiteral("%1 não é um arquivo de dados válido: faltam DATAPACKET ou METADATA/FIELDS.").arg(where));

    QList<FieldDef> fileFields;
    for (pugi::xml_node node : fieldsNode.children("FIELD")) {
        FieldDef field = fieldFromNode(node);
        if (field.name.isEmpty())
            throw EHomologa(QStringLiteral("%1 não é um arquivo de dados válido: campo sem nome.").arg(where));
        fileFields.append(field);
    }
    if (dataset.FieldCount() == 0)
        dataset.setFields(fileFields);
    QList<FieldType> fileTypes;
    std::vector<std::string> attributeNames;
    for (const FieldDef &field : dataset.fieldDefs()) {
        FieldType type = field.type;
        QString attributeName = field.name;
        for (const FieldDef &fileField : fileFields) {
            if (fileField.name.compare(field.name, Qt::CaseInsensitive) == 0) {
                type = fileField.type;
                attributeName = fileField.name;
            }
        }
        fileTypes.append(type);
        attributeNames.push_back(toStd(attributeName));
    }

    QList<Dataset::StoredRow> rows;
    packet::Row pendingOriginal;
    bool hasPendingOriginal = false;
    try {
        for (pugi::xml_node node : root.child("ROWDATA").children("ROW")) {
            const int state = node.attribute("RowState").as_int(0);
            packet::Row values = readRow(node, dataset.fieldDefs(), fileTypes, attributeNames);
            if (state & kInserted) {
                if (!(state & kDeleted))
                    rows.append({values, {}, RowStatus::Inserted});
            } else if (state & kDeleted) {
                rows.append({{}, values, RowStatus::Deleted});
                rows.last().values = values;
            } else if (state & kModified) {
                rows.append({values, hasPendingOriginal ? pendingOriginal : values, RowStatus::Modified});
                hasPendingOriginal = false;
            } else if (state & kOriginal) {
                pendingOriginal = values;
                hasPendingOriginal = true;
            } else {
                rows.append({values, {}, RowStatus::Unchanged});
            }
        }
    } catch (const EHomologa &error) {
        throw EHomologa(QStringLiteral("%1 não é um arquivo de dados válido: %2.").arg(where, error.message()));
    }
    if (hasPendingOriginal)
        rows.append({pendingOriginal, {}, RowStatus::Unchanged});
    dataset.setStoredRows(rows);
}

}  // namespace datasetfile

void Dataset::SaveToFile(const QString &path) const { platform::files::writeBytes(path, datasetfile::toXml(*this)); }

void Dataset::LoadFromFile(const QString &path) { datasetfile::fromXml(*this, platform::files::readBytes(path), path); }

#include "methods/domain.h"

#include "store/database.h"
#include "store/schema.h"

#include <QDate>
#include <QJsonArray>
#include <QSqlQuery>
#include <QTime>

namespace server {

QList<RequestKey> parseRequestList(const QString &text)
{
    QList<RequestKey> keys;
    const QStringList lines = QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")).split(u'\n');
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = lines[i].trimmed();
        if (line.isEmpty())
            continue;
        if (line.size() < 5 || line.size() > 14)
            throw ServerError(QStringLiteral("Linha %1 da lista de solicitações inválida: \"%2\" "
                                             "(esperado a filial, 4 caracteres, seguida do número da solicitação).")
                                  .arg(i + 1)
                                  .arg(line));
        keys.append({line.left(4), line.mid(4)});
    }
    return keys;
}

std::optional<GroupRow> findGroup(Database &db, const QString &code)
{
    QSqlQuery &query = db.exec(QStringLiteral("SELECT CDGRUPHOMOL, DSGRUPHOMOL, CDPRODUTO, CDRELEASEGHOM, IDSTGRUPHOM "
                                              "FROM GRUPOHOMOL WHERE CDGRUPHOMOL = ?"),
                               {code});
    if (!query.next())
        return std::nullopt;
    GroupRow row{query.value(0).toString(), query.value(1).toString(), query.value(2).toString(),
                 query.value(3).toString(), query.value(4).toString()};
    query.finish();
    return row;
}

GroupRow requireGroup(Database &db, const QString &code)
{
    if (auto row = findGroup(db, code))
        return *row;
    throw ServerError(QStringLiteral("O grupo de solicitações \"%1\" não existe.").arg(code));
}

std::optional<ProductRow> findProduct(Database &db, const QString &code)
{
    QSqlQuery &query = db.exec(
        QStringLiteral("SELECT CDPRODUTO, CDARVPROD, NMPRODUTO, CDFILIAL, IDGERRELEASEMETA, DSURLDESENV, DSDIRDESENV, "
                       "DSURLHOMOL, DSDIRHOMOL, DSDIRPREHOMOL, DSDIRHOMOLOGADOS, DSDIRBASEVER FROM PRODUTO WHERE CDPRODUTO = ?"),
        {code});
    if (!query.next())
        return std::nullopt;
    ProductRow row;
    row.code = query.value(0).toString();
    row.tree = query.value(1).toString();
    row.name = query.value(2).toString();
    row.branch = query.value(3).toString();
    row.releaseMeta = query.value(4).toString();
    for (int i = 5; i < 11; ++i)
        row.locations.append(query.value(i).toString());
    row.baseFolder = query.value(11).toString();
    query.finish();
    return row;
}

ProductRow requireProduct(Database &db, const QString &code)
{
    if (auto row = findProduct(db, code))
        return *row;
    throw ServerError(QStringLiteral("O produto \"%1\" não está cadastrado.").arg(code));
}

static const QString kRequestColumns = QStringLiteral(
    "SELECT CDFILIAL, NRSOLISERV, CDFASETRAM, CDPRODUTO, CDRELEASESOLI, CDOPERRESP, CDASSUNTO FROM SOLICITACAO ");

static RequestRow requestFrom(const QSqlQuery &query)
{
    return {{query.value(0).toString(), query.value(1).toString()}, query.value(2).toString(),
            query.value(3).toString(), query.value(4).toString(), query.value(5).toString(),
            query.value(6).toString()};
}

std::optional<RequestRow> findRequest(Database &db, const RequestKey &key)
{
    QSqlQuery &query = db.exec(kRequestColumns + QStringLiteral("WHERE CDFILIAL = ? AND NRSOLISERV = ?"),
                               {key.filial, key.numero});
    if (!query.next())
        return std::nullopt;
    RequestRow row = requestFrom(query);
    query.finish();
    return row;
}

RequestRow requireRequest(Database &db, const RequestKey &key)
{
    if (auto row = findRequest(db, key))
        return *row;
    throw ServerError(QStringLiteral("A solicitação %1/%2 não existe.").arg(key.filial, key.numero));
}

QList<RequestRow> requestsNumbered(Database &db, const QString &numero)
{
    QSqlQuery &query = db.exec(kRequestColumns + QStringLiteral("WHERE NRSOLISERV = ? ORDER BY CDFILIAL"), {numero});
    QList<RequestRow> rows;
    while (query.next())
        rows.append(requestFrom(query));
    query.finish();
    return rows;
}

void lockGroup(Database &db, const QString &code)
{
    db.lockRows(QStringLiteral("SELECT 1 FROM GRUPOHOMOL WHERE CDGRUPHOMOL = ?"), {code});
}

void lockRequest(Database &db, const RequestKey &key)
{
    db.lockRows(QStringLiteral("SELECT 1 FROM SOLICITACAO WHERE CDFILIAL = ? AND NRSOLISERV = ?"), {key.filial, key.numero});
}

QString openGroupOf(Database &db, const RequestKey &key)
{
    return db
        .scalar(QStringLiteral("SELECT SG.CDGRUPHOMOL FROM SOLIGRUPO SG JOIN GRUPOHOMOL G ON G.CDGRUPHOMOL = SG.CDGRUPHOMOL "
                               "WHERE SG.CDFILIAL = ? AND SG.NRSOLISERV = ? AND G.IDSTGRUPHOM <> '007'"),
                {key.filial, key.numero})
        .toString();
}

void changePhase(Database &db, const RequestKey &key, const QString &newPhase, const QString &operatorCode,
                 const QString &responsible, const QString &subject, const QString &description)
{
    lockRequest(db, key);
    const RequestRow request = requireRequest(db, key);
    const QString now = nowText();
    const int sequence = db.scalar(QStringLiteral("SELECT COALESCE(MAX(NRSEQHIST), 0) + 1 FROM HISTFASETRAM "
                                                  "WHERE CDFILIAL = ? AND NRSOLISERV = ?"),
                                   {key.filial, key.numero})
                             .toInt();
    const QString newResponsible = responsible.isEmpty() ? request.responsible : responsible;
    db.exec(QStringLiteral("UPDATE SOLICITACAO SET CDFASETRAM = ?, DTALFASETRAM = ?, CDOPERRESP = ? "
                           "WHERE CDFILIAL = ? AND NRSOLISERV = ?"),
            {newPhase, now, newResponsible, key.filial, key.numero});
    db.exec(QStringLiteral("INSERT INTO HISTFASETRAM (CDFILIAL, NRSOLISERV, NRSEQHIST, CDFASEANTERIOR, CDFASETRAM, "
                           "DTALFASETRAM, CDOPERADOR, CDOPERRESP, CDASSUNTOTRAM, DSTRAMITACAO) "
                           "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
            {key.filial, key.numero, sequence, request.phase, newPhase, now, operatorCode.left(12),
             newResponsible, subject.left(3), description.left(250)});
    db.exec(QStringLiteral("UPDATE SOLIGRUPO SET IDSTSOLIGRUP = ? WHERE CDFILIAL = ? AND NRSOLISERV = ? AND CDGRUPHOMOL IN "
                           "(SELECT CDGRUPHOMOL FROM GRUPOHOMOL WHERE IDSTGRUPHOM <> '007')"),
            {phase::groupStatus(newPhase), key.filial, key.numero});
}

static QString releaseCode(const QString &version, const QString &release, const QString &patch)
{
    return version + release.rightJustified(2, u'0') + patch.rightJustified(3, u'0');
}

QString currentRelease(Database &db, const QString &product)
{
    const QList<QStringList> rows = queryRows(
        db, QStringLiteral("SELECT CDVERPRODUTO, CDRELVERPROD, CDPATCHVERPR FROM PRODPATCH WHERE CDPRODUTO = ?"), {product});
    const QStringList *best = nullptr;
    auto less = [](const QStringList &a, const QStringList &b) {
        for (int i = 0; i < 3; ++i) {
            if (a[i].toLongLong() != b[i].toLongLong())
                return a[i].toLongLong() < b[i].toLongLong();
        }
        return false;
    };
    for (const QStringList &row : rows) {
        if (!best || less(*best, row))
            best = &row;
    }
    return best ? releaseCode((*best)[0], (*best)[1], (*best)[2]) : QString();
}

QString pathKey(const QString &path) { return QString(path).replace(u'/', u'\\').toUpper(); }

QString swapRoot(const QString &path, const QString &from, const QString &to)
{
    if (from.isEmpty() || !pathKey(path).startsWith(pathKey(from)))
        return path;
    return to + path.mid(from.size());
}

static void checkFields(const QList<packet::Field> &fields, const Call &call, int index, const DatasetDef &def,
                        const QStringList &required)
{
    for (const packet::Field &field : fields) {
        if (def.indexOf(field.name) < 0)
            throw ServerError(QStringLiteral("O argumento %1 de %2 tem o campo desconhecido \"%3\" "
                                             "(esperados os campos de %4).")
                                  .arg(index + 1)
                                  .arg(call.method(), field.name, def.name));
    }
    for (const QString &name : required) {
        bool present = false;
        for (const packet::Field &field : fields)
            present = present || field.name.compare(name, Qt::CaseInsensitive) == 0;
        if (!present)
            throw ServerError(QStringLiteral("O argumento %1 de %2 não tem o campo %3.").arg(index + 1).arg(call.method(), name));
    }
}

packet::Packet packetArgument(const Call &call, int index, const DatasetDef &def, const QStringList &required)
{
    packet::Packet packet = packet::Packet::fromJson(call.object(index));
    checkFields(packet.fields, call, index, def, required);
    return packet;
}

static bool isDateTimeText(const QString &text)
{
    // yyyy-MM-ddTHH:mm:ss
    static const char shape[] = "9999-99-99T99:99:99";
    if (text.size() != 19)
        return false;
    for (int i = 0; i < 19; ++i) {
        const QChar c = text[i];
        if (shape[i] == '9' ? !c.isDigit() : c != QLatin1Char(shape[i]))
            return false;
    }
    return QDate::isValid(text.left(4).toInt(), text.mid(5, 2).toInt(), text.mid(8, 2).toInt())
        && QTime::isValid(text.mid(11, 2).toInt(), text.mid(14, 2).toInt(), text.mid(17, 2).toInt());
}

static QStringList textRow(const QList<packet::Field> &fields, const QJsonValue &value)
{
    if (!value.isArray())
        throw packet::PacketError("a row is not an array");
    const QJsonArray array = value.toArray();
    if (array.size() != fields.size())
        throw packet::PacketError("a row has " + std::to_string(array.size()) + " values for " + std::to_string(fields.size())
                                  + " fields");
    QStringList row;
    row.reserve(fields.size());
    for (int i = 0; i < fields.size(); ++i) {
        const QJsonValue cell = array[i];
        if (!cell.isNull() && !cell.isString())
            throw packet::PacketError("a value is not a text");
        const QString text = cell.toString();
        if (fields[i].type == packet::FieldType::DateTime && !text.isEmpty() && !isDateTimeText(text))
            throw packet::PacketError("bad date-time \"" + text.toStdString() + "\"");
        row.append(text);
    }
    return row;
}

TextDelta deltaArgument(const Call &call, int index, const DatasetDef &def, const QStringList &required)
{
    const QJsonObject json = call.object(index);
    // The field list is checked by the packet code; the rows are read here, as texts.
    QJsonObject fieldsOnly = json;
    fieldsOnly.insert(QStringLiteral("changes"), QJsonArray());
    TextDelta delta;
    delta.fields = packet::Delta::fromJson(fieldsOnly).fields;
    checkFields(delta.fields, call, index, def, required);
    for (const QJsonValue &entry : json.value(QStringLiteral("changes")).toArray()) {
        const QJsonObject object = entry.toObject();
        const QString op = object.value(QStringLiteral("op")).toString();
        TextDelta::Change change;
        if (op == u"insert") {
            change.kind = packet::Change::Kind::Insert;
            change.newValues = textRow(delta.fields, object.value(QStringLiteral("new")));
        } else if (op == u"modify") {
            change.oldValues = textRow(delta.fields, object.value(QStringLiteral("old")));
            change.newValues = textRow(delta.fields, object.value(QStringLiteral("new")));
        } else if (op == u"delete") {
            change.kind = packet::Change::Kind::Delete;
            change.oldValues = textRow(delta.fields, object.value(QStringLiteral("old")));
        } else {
            throw packet::PacketError("unknown change \"" + op.toStdString() + "\"");
        }
        delta.changes.append(change);
    }
    return delta;
}

QString rowText(const QList<packet::Field> &fields, const packet::Row &row, const QString &field)
{
    for (int i = 0; i < fields.size() && i < row.size(); ++i) {
        if (fields[i].name.compare(field, Qt::CaseInsensitive) == 0)
            return row[i].isValid() && !row[i].isNull() ? row[i].toString() : QString();
    }
    return {};
}

}  // namespace server

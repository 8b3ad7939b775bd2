#include "dataset.h"

#include "host/datasource.h"
#include "host/filter.h"

#include <algorithm>

using packet::Row;

namespace {

const QVariant &nullValue()
{
    static const QVariant none;
    return none;
}

const Row &emptyRow()
{
    static const Row none;
    return none;
}

using dsvalue::isNull;

inline const QString *stringRef(const QVariant &value) { return dsvalue::text(value); }

bool isTextType(FieldType type) { return type == FieldType::String || type == FieldType::FixedString; }

bool sameValue(const QVariant &a, const QVariant &b)
{
    if (isNull(a) || isNull(b))
        return isNull(a) == isNull(b);
    return a == b;
}

bool sameRow(const Row &a, const Row &b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (!sameValue(a.at(i), b.at(i)))
            return false;
    }
    return true;
}

constexpr int kPrefetchAhead = 6;

inline void prefetchRow(const Row &row)
{
    const QVariant *cells = row.constData();
    __builtin_prefetch(cells);
    __builtin_prefetch(reinterpret_cast<const char *>(cells) + 64);
}

const char *const kDisplayDateTime = "dd/MM/yyyy HH:mm:ss";
const char *const kDisplayDate = "dd/MM/yyyy";

}  // namespace

// ====================================================================== RowView

const QVariant &RowView::value(int field) const
{
    return field >= 0 && field < m_values.size() ? m_values.at(field) : nullValue();
}

QVariant RowView::value(const QString &field) const { return value(m_dataset.fieldIndex(field)); }

QString RowView::AsString(int field) const { return Dataset::valueText(value(field)); }

QString RowView::AsString(const QString &field) const { return AsString(m_dataset.fieldIndex(field)); }

// ====================================================================== TField

const QString &TField::FieldName() const { return m_dataset->fieldDefs().at(m_index).name; }
FieldType TField::DataType() const { return m_dataset->fieldDefs().at(m_index).type; }
int TField::Size() const { return m_dataset->fieldDefs().at(m_index).size; }
bool TField::Visible() const { return m_dataset->fieldDefs().at(m_index).visible; }

QString TField::DisplayLabel() const
{
    const FieldDef &def = m_dataset->fieldDefs().at(m_index);
    return def.label.isEmpty() ? def.name : def.label;
}

QVariant TField::Value() const { return m_dataset->currentValue(m_index); }
void TField::setValue(const QVariant &value) { m_dataset->setCurrentValue(m_index, value); }
bool TField::IsNull() const { return isNull(m_dataset->currentValue(m_index)); }
void TField::setAsString(const QString &text) { setValue(text); }

QDateTime TField::AsDateTime() const
{
    const QVariant &value = m_dataset->currentValue(m_index);
    if (isNull(value))
        return {};
    return Dataset::convertValue(value, FieldType::DateTime).toDateTime();
}

void TField::setAsDateTime(const QDateTime &time) { setValue(time.isValid() ? QVariant(time) : QVariant()); }

int TField::AsInteger() const { return AsString().trimmed().toInt(); }

QString TField::DisplayText() const
{
    if (m_dataset->State() == dsBrowse && m_dataset->IsEmpty())
        return {};
    const int row = m_dataset->gridCurrentRow();
    return m_dataset->displayText(row < 0 ? emptyRow() : m_dataset->gridRow(row), m_index);
}

// ====================================================================== Dataset: fields

Dataset::Dataset(const QString &name, QObject *parent) : QObject(parent) { setObjectName(name); }

Dataset::~Dataset() = default;

void Dataset::setFields(const QList<FieldDef> &fields)
{
    if (!m_records.empty())
        throw EHomologa(QStringLiteral("Os campos de \"%1\" não podem ser trocados enquanto ele tem registros.").arg(name()));
    m_fields.clear();
    m_fieldByName.clear();
    for (const FieldDef &field : fields)
        addField(field);
}

void Dataset::addField(const FieldDef &field)
{
    if (!m_records.empty())
        throw EHomologa(QStringLiteral("Não é possível incluir campos em \"%1\" enquanto ele tem registros.").arg(name()));
    const QString key = field.name.toUpper();
    if (field.name.isEmpty() || m_fieldByName.contains(key))
        throw EHomologa(QStringLiteral("Campo \"%1\" repetido ou sem nome em \"%2\".").arg(field.name, name()));
    m_fieldByName.insert(key, int(m_fields.size()));
    m_fields.append(field);
    m_active = true;
}

FieldDef &Dataset::fieldDef(int index) { return m_fields[index]; }

FieldDef &Dataset::fieldDef(const QString &fieldName)
{
    const int index = fieldIndex(fieldName);
    if (index < 0)
        throw EHomologa(QStringLiteral("%1: campo \"%2\" não encontrado.").arg(name(), fieldName));
    return m_fields[index];
}

int Dataset::fieldIndex(const QString &fieldName) const
{
    // Names are nearly always written in upper case already: look them up without a copy first.
    auto found = m_fieldByName.constFind(fieldName);
    if (found != m_fieldByName.constEnd())
        return *found;
    found = m_fieldByName.constFind(fieldName.toUpper());
    return found == m_fieldByName.constEnd() ? -1 : *found;
}

TField Dataset::FieldByName(const QString &fieldName)
{
    const int index = fieldIndex(fieldName);
    if (index < 0)
        throw EHomologa(QStringLiteral("%1: campo \"%2\" não encontrado.").arg(name(), fieldName));
    return TField(this, index);
}

TField Dataset::Fields(int index)
{
    if (index < 0 || index >= m_fields.size())
        throw EHomologa(QStringLiteral("%1: campo de número %2 não existe.").arg(name()).arg(index));
    return TField(this, index);
}

QList<packet::Field> Dataset::packetFields() const
{
    QList<packet::Field> fields;
    fields.reserve(m_fields.size());
    for (const FieldDef &def : m_fields)
        fields.append({def.name, def.type, def.size});
    return fields;
}

// ====================================================================== values

QString Dataset::valueText(const QVariant &value)
{
    if (isNull(value))
        return {};
    if (const QString *text = stringRef(value))
        return *text;
    switch (value.typeId()) {
    case QMetaType::QDateTime: {
        const QDateTime time = value.toDateTime();
        return time.time() == QTime(0, 0) ? time.toString(QLatin1String(kDisplayDate))
                                          : time.toString(QLatin1String(kDisplayDateTime));
    }
    case QMetaType::QByteArray: return QString::fromUtf8(value.toByteArray());
    default: return value.toString();
    }
}

QVariant Dataset::convertValue(const QVariant &value, FieldType type)
{
    if (isNull(value))
        return {};
    switch (type) {
    case FieldType::String:
    case FieldType::FixedString:
        if (stringRef(value))
            return value;
        return valueText(value);
    case FieldType::DateTime: {
        if (value.typeId() == QMetaType::QDateTime)
            return value;
        if (value.typeId() == QMetaType::QDate)
            return QDateTime(value.toDate(), QTime(0, 0));
        const QString text = valueText(value).trimmed();
        if (text.isEmpty())
            return {};
        static const char *const formats[] = {"yyyy-MM-ddTHH:mm:ss", "yyyy-MM-ddTHH:mm:ss.zzz", kDisplayDateTime,
                                              "dd/MM/yyyy HH:mm", kDisplayDate, "yyyy-MM-dd", "yyyyMMddTHH:mm:sszzz",
                                              "yyyyMMddTHH:mm:ss", "yyyyMMdd"};
        for (const char *format : formats) {
            const QDateTime time = QDateTime::fromString(text, QLatin1String(format));
            if (time.isValid())
                return time;
        }
        throw EHomologa(QStringLiteral("\"%1\" não é uma data válida.").arg(text));
    }
    case FieldType::Blob:
        if (value.typeId() == QMetaType::QByteArray)
            return value;
        return valueText(value).toUtf8();
    }
    return value;
}

QString Dataset::formatMask(const QString &mask, const QString &text)
{
    // "9.99.999;0; ": the picture, then whether literals are stored, then the blank char.
    const QStringList parts = mask.split(u';');
    const QString picture = parts.value(0);
    const bool literalsStored = parts.size() > 1 && parts[1].trimmed() != u"0";
    if (picture.isEmpty() || literalsStored || text.isEmpty())
        return text;
    QString out;
    qsizetype next = 0;
    for (qsizetype i = 0; i < picture.size(); ++i) {
        const QChar p = picture[i];
        if (p == u'\\' && i + 1 < picture.size()) {
            out += picture[++i];
            continue;
        }
        if (p == u'!' || p == u'>' || p == u'<')
            continue;
        static const QString inputChars = QStringLiteral("90#LlAaCc");
        if (inputChars.contains(p)) {
            if (next < text.size())
                out += text[next++];
            else
                break;
        } else {
            if (next >= text.size())
                break;
            out += p;
        }
    }
    if (next < text.size())
        out += text.mid(next);
    return out;
}

QString Dataset::displayText(const Row &row, int field) const
{
    if (field < 0 || field >= m_fields.size())
        return {};
    const FieldDef &def = m_fields.at(field);
    const QVariant &value = field < row.size() ? row.at(field) : nullValue();
    if (def.onGetText)
        return def.onGetText(RowView(*this, row), value);
    const QString text = valueText(value);
    if (!def.editMask.isEmpty())
        return formatMask(def.editMask, text);
    return text;
}

const Row &Dataset::currentRow() const
{
    if (m_state != dsBrowse)
        return m_buffer;
    if (m_cur < 0)
        return emptyRow();
    return m_records[m_view[m_cur]].values;
}

const QVariant &Dataset::currentValue(int field) const
{
    const Row &row = currentRow();
    return field >= 0 && field < row.size() ? row.at(field) : nullValue();
}

void Dataset::setCurrentValue(int field, const QVariant &value)
{
    if (field < 0 || field >= m_fields.size())
        throw EHomologa(QStringLiteral("%1: campo de número %2 não existe.").arg(name()).arg(field));
    const FieldDef &def = m_fields.at(field);
    if (m_state == dsBrowse)
        throw EHomologa(QStringLiteral("%1 não está em modo de edição ou inclusão (campo %2).").arg(name(), def.name));
    if (def.readOnly)
        throw EHomologa(QStringLiteral("O campo %1 não pode ser alterado.").arg(def.name));
    QVariant converted = convertValue(value, def.type);
    if (isTextType(def.type) && def.size > 0 && stringRef(converted)) {
        const QString *text = stringRef(converted);
        if (text->size() > def.size)
            converted = text->left(def.size);
    }
    if (sameValue(m_buffer.at(field), converted) && m_buffer.at(field).typeId() == converted.typeId())
        return;
    m_buffer[field] = converted;
    m_bufferModified = true;
    notifyRow(gridCurrentRow());
}

// ====================================================================== view

bool Dataset::passesFilter(const Row &values) const
{
    return !m_filtered || !m_filter || m_filter->matches(values);
}

bool Dataset::rowLess(int a, int b) const
{
    const Row &left = m_records[a].values;
    const Row &right = m_records[b].values;
    for (int field : m_indexFields) {
        const QVariant &x = left.at(field);
        const QVariant &y = right.at(field);
        int comparison;
        const QString *xs = stringRef(x), *ys = stringRef(y);
        if (xs && ys)
            comparison = xs->compare(*ys);
        else if (isNull(x) || isNull(y))
            comparison = isNull(x) == isNull(y) ? 0 : (isNull(x) ? -1 : 1);
        else if (x.typeId() == QMetaType::QDateTime && y.typeId() == QMetaType::QDateTime)
            comparison = x.toDateTime() < y.toDateTime() ? -1 : (y.toDateTime() < x.toDateTime() ? 1 : 0);
        else
            comparison = valueText(x).compare(valueText(y));
        if (comparison != 0)
            return comparison < 0;
    }
    return false;
}

void Dataset::rebuildView()
{
    m_view.clear();
    m_view.reserve(m_records.size());
    const bool filtering = m_filtered && m_filter;
    for (size_t i = 0; i < m_records.size(); ++i) {
        const Record &record = m_records[i];
        if (record.status == RowStatus::Deleted)
            continue;
        if (filtering && !m_filter->matches(record.values))
            continue;
        m_view.push_back(int(i));
    }
    if (!m_indexFields.isEmpty())
        std::stable_sort(m_view.begin(), m_view.end(), [this](int a, int b) { return rowLess(a, b); });
}

int Dataset::sortedPosition(int recordIndex) const
{
    if (m_indexFields.isEmpty())
        return -1;
    // After the last equal row, so that equal keys keep their order of arrival.
    const auto it = std::upper_bound(m_view.begin(), m_view.end(), recordIndex,
                                     [this](int a, int b) { return rowLess(a, b) || (!rowLess(b, a) && a < b); });
    return int(it - m_view.begin());
}

// ====================================================================== notifications

void Dataset::attachSource(TDataSource *source)
{
    if (!m_sources.contains(source))
        m_sources.append(source);
}

void Dataset::detachSource(TDataSource *source) { m_sources.removeAll(source); }

void Dataset::notifySourcesState()
{
    const QList<TDataSource *> sources = m_sources;
    for (TDataSource *source : sources)
        source->stateChanged();
}

void Dataset::notifySourcesData()
{
    if (m_sources.isEmpty())
        return;
    const QList<TDataSource *> sources = m_sources;
    for (TDataSource *source : sources)
        source->dataChanged();
}

void Dataset::notifyReset()
{
    if (m_disableCount == 0) {
        emit layoutReset();
        emit currentRowChanged(gridCurrentRow());
        notifySourcesData();
    }
}

void Dataset::notifyRow(int gridRow)
{
    if (m_disableCount == 0 && gridRow >= 0) {
        emit rowChanged(gridRow);
        notifySourcesData();
    }
}

void Dataset::notifyCurrent()
{
    if (m_disableCount == 0) {
        emit currentRowChanged(gridCurrentRow());
        notifySourcesData();
    }
}

void Dataset::notifyState()
{
    if (m_disableCount == 0) {
        emit stateChanged();
        notifySourcesState();
    }
    if (OnStateChange)
        OnStateChange(*this);
}

void Dataset::DisableControls() { ++m_disableCount; }

void Dataset::EnableControls()
{
    if (m_disableCount > 0 && --m_disableCount == 0) {
        notifyReset();
        emit stateChanged();
        notifySourcesState();
    }
}

int Dataset::gridRowCount() const { return int(m_view.size()) + (m_state == dsInsert ? 1 : 0); }

const Row &Dataset::gridRow(int row) const
{
    if (m_state == dsInsert) {
        if (row == m_insertRow)
            return m_buffer;
        if (row > m_insertRow)
            --row;
    } else if (m_state == dsEdit && row == m_cur) {
        return m_buffer;
    }
    if (row < 0 || row >= int(m_view.size()))
        return emptyRow();
    return m_records[m_view[row]].values;
}

Dataset::Bookmark Dataset::gridBookmark(int row) const
{
    if (m_state == dsInsert) {
        if (row == m_insertRow)
            return 0;
        if (row > m_insertRow)
            --row;
    }
    if (row < 0 || row >= int(m_view.size()))
        return 0;
    return m_records[m_view[row]].id;
}

int Dataset::gridCurrentRow() const { return m_state == dsInsert ? m_insertRow : m_cur; }

// ====================================================================== cursor

void Dataset::scrolled()
{
    if (AfterScroll)
        AfterScroll(*this);
}

void Dataset::moveTo(int viewRow, bool notify)
{
    if (m_view.empty()) {
        m_cur = -1;
        m_bof = m_eof = true;
    } else {
        m_cur = std::clamp(viewRow, 0, int(m_view.size()) - 1);
        m_bof = m_cur == 0;
        m_eof = false;
    }
    if (notify)
        notifyCurrent();
}

void Dataset::First()
{
    CheckBrowseMode();
    moveTo(0);
    scrolled();
}

void Dataset::Last()
{
    CheckBrowseMode();
    moveTo(int(m_view.size()) - 1);
    scrolled();
}

void Dataset::Next()
{
    CheckBrowseMode();
    if (m_cur < 0 || m_cur + 1 >= int(m_view.size())) {
        m_eof = true;
        return;
    }
    ++m_cur;
    m_bof = false;
    m_eof = false;
    // Walks read row after row: fetch the rows ahead while this one is worked on.
    if (m_cur + kPrefetchAhead < int(m_view.size()))
        prefetchRow(m_records[m_view[m_cur + kPrefetchAhead]].values);
    notifyCurrent();
    scrolled();
}

void Dataset::Prior()
{
    CheckBrowseMode();
    if (m_cur <= 0) {
        m_bof = true;
        return;
    }
    --m_cur;
    m_eof = false;
    notifyCurrent();
    scrolled();
}

void Dataset::setRecNo(int recNo)
{
    CheckBrowseMode();
    if (m_view.empty())
        return;
    const int target = std::clamp(recNo - 1, 0, int(m_view.size()) - 1);
    if (target == m_cur)
        return;
    moveTo(target);
    scrolled();
}

Dataset::Bookmark Dataset::GetBookmark() const
{
    if (m_cur < 0)
        return 0;
    return m_records[m_view[m_cur]].id;
}

int Dataset::rowOfBookmark(Bookmark bookmark) const
{
    for (size_t i = 0; i < m_view.size(); ++i) {
        if (m_records[m_view[i]].id == bookmark)
            return int(i);
    }
    return -1;
}

bool Dataset::BookmarkValid(Bookmark bookmark) const { return bookmark != 0 && rowOfBookmark(bookmark) >= 0; }

void Dataset::GotoBookmark(Bookmark bookmark)
{
    CheckBrowseMode();
    const int row = rowOfBookmark(bookmark);
    if (row < 0)
        throw EHomologa(QStringLiteral("%1: o registro procurado não existe mais.").arg(name()));
    moveTo(row);
    scrolled();
}

QList<int> Dataset::keyFieldIndexes(const QString &keyFields) const
{
    QList<int> indexes;
    for (const QString &part : keyFields.split(u';', Qt::SkipEmptyParts)) {
        const int index = fieldIndex(part.trimmed());
        if (index < 0)
            throw EHomologa(QStringLiteral("%1: campo \"%2\" não encontrado.").arg(name(), part.trimmed()));
        indexes.append(index);
    }
    if (indexes.isEmpty())
        throw EHomologa(QStringLiteral("%1: nenhum campo informado para a procura.").arg(name()));
    return indexes;
}

bool Dataset::rowMatches(const Row &values, const QList<int> &fields, const QStringList &keys,
                         LocateOptions options) const
{
    const Qt::CaseSensitivity cs = (options & loCaseInsensitive) ? Qt::CaseInsensitive : Qt::CaseSensitive;
    const bool partial = options & loPartialKey;
    for (qsizetype k = 0; k < fields.size(); ++k) {
        const QVariant &value = values.at(fields[k]);
        const QString &key = keys.at(k);
        const QString *text = stringRef(value);
        QString copy;
        if (!text) {
            copy = valueText(value);
            text = &copy;
        }
        const bool match = partial ? text->startsWith(key, cs)
                         : cs == Qt::CaseSensitive ? *text == key
                                                   : text->compare(key, cs) == 0;
        if (!match)
            return false;
    }
    return true;
}

int Dataset::findRow(const QString &keyFields, const QVariant &values, LocateOptions options, int fromRow) const
{
    const QList<int> fields = keyFieldIndexes(keyFields);
    QVariantList keys = fields.size() == 1 && values.typeId() != QMetaType::QVariantList ? QVariantList{values}
                                                                                          : values.toList();
    if (keys.size() != fields.size())
        throw EHomologa(QStringLiteral("%1: a procura tem %2 campos e %3 valores.")
                            .arg(name())
                            .arg(fields.size())
                            .arg(keys.size()));
    QStringList keyTexts;
    for (const QVariant &key : keys)
        keyTexts.append(valueText(key));
    for (int i = std::max(0, fromRow); i < int(m_view.size()); ++i) {
        if (rowMatches(m_records[m_view[i]].values, fields, keyTexts, options))
            return i;
    }
    return -1;
}

bool Dataset::Locate(const QString &keyFields, const QVariant &values, LocateOptions options)
{
    CheckBrowseMode();
    const int row = findRow(keyFields, values, options);
    if (row < 0)
        return false;
    moveTo(row);
    scrolled();
    return true;
}

QVariant Dataset::Lookup(const QString &keyFields, const QVariant &values, const QString &resultField) const
{
    const int result = fieldIndex(resultField);
    if (result < 0)
        throw EHomologa(QStringLiteral("%1: campo \"%2\" não encontrado.").arg(name(), resultField));
    const int row = findRow(keyFields, values);
    return row < 0 ? QVariant() : m_records[m_view[row]].values.at(result);
}

// ====================================================================== states

void Dataset::requireActiveFields() const
{
    if (m_fields.isEmpty())
        throw EHomologa(QStringLiteral("%1 não tem campos definidos.").arg(name()));
}

void Dataset::setState(DataSetState state)
{
    if (m_state == state)
        return;
    m_state = state;
    notifyState();
}

void Dataset::CheckBrowseMode()
{
    if (m_state == dsBrowse)
        return;
    if (m_bufferModified)
        Post();
    else
        Cancel();
}

void Dataset::Edit()
{
    if (m_state != dsBrowse)
        return;
    requireActiveFields();
    if (m_view.empty()) {
        Insert();
        return;
    }
    if (BeforeEdit)
        BeforeEdit(*this);
    m_buffer = m_records[m_view[m_cur]].values;
    m_buffer.resize(m_fields.size());
    m_bufferModified = false;
    setState(dsEdit);
    if (m_state != dsEdit)  // a state handler cancelled the edit
        return;
    notifyRow(m_cur);
    if (AfterEdit)
        AfterEdit(*this);
}

void Dataset::beginInsert(bool append)
{
    requireActiveFields();
    CheckBrowseMode();
    if (BeforeInsert)
        BeforeInsert(*this);
    m_appending = append;
    m_insertRow = append || m_cur < 0 ? int(m_view.size()) : m_cur;
    m_buffer = Row(m_fields.size());
    m_bufferModified = false;
    m_state = dsInsert;
    notifyReset();
    notifyState();
    if (m_state != dsInsert)  // a state handler cancelled the insert
        return;
    try {
        if (OnNewRecord)
            OnNewRecord(*this);
    } catch (...) {
        Cancel();
        throw;
    }
    // Values set while a new row is being created do not make it a change of its own.
    m_bufferModified = false;
    if (AfterInsert)
        AfterInsert(*this);
    scrolled();
}

void Dataset::Insert() { beginInsert(false); }

void Dataset::Append() { beginInsert(true); }

void Dataset::Post()
{
    if (m_state == dsBrowse)
        return;
    if (BeforePost)
        BeforePost(*this);
    if (m_state == dsEdit) {
        const int recordIndex = m_view[m_cur];
        Record &record = m_records[recordIndex];
        if (!sameRow(record.values, m_buffer)) {
            if (record.status == RowStatus::Unchanged) {
                record.original = record.values;
                record.status = RowStatus::Modified;
                record.changeSeq = m_nextChange++;
            }
            record.values = m_buffer;
            // A row edited back to what the server holds is no change at all.
            if (record.status == RowStatus::Modified && sameRow(record.values, record.original)) {
                record.status = RowStatus::Unchanged;
                record.original.clear();
                record.changeSeq = 0;
            }
        }
        m_buffer.clear();
        m_bufferModified = false;
        m_state = dsBrowse;
        const bool visible = passesFilter(record.values);
        if (!visible || !m_indexFields.isEmpty()) {
            m_view.erase(m_view.begin() + m_cur);
            if (visible) {
                const int position = sortedPosition(recordIndex);
                m_view.insert(m_view.begin() + position, recordIndex);
                m_cur = position;
            }
            moveTo(m_cur, false);
            notifyReset();
        } else {
            notifyRow(m_cur);
        }
    } else {
        Record record;
        record.values = m_buffer;
        record.status = RowStatus::Inserted;
        record.id = m_nextId++;
        record.changeSeq = m_nextChange++;
        m_records.push_back(std::move(record));
        const int recordIndex = int(m_records.size()) - 1;
        m_buffer.clear();
        m_bufferModified = false;
        m_state = dsBrowse;
        if (passesFilter(m_records.back().values)) {
            int position = sortedPosition(recordIndex);
            if (position < 0)
                position = std::clamp(m_insertRow, 0, int(m_view.size()));
            m_view.insert(m_view.begin() + position, recordIndex);
            moveTo(position, false);
        } else {
            moveTo(std::min(m_insertRow, int(m_view.size()) - 1), false);
        }
        notifyReset();
    }
    notifyState();
    if (AfterPost)
        AfterPost(*this);
}

void Dataset::Cancel()
{
    if (m_state == dsBrowse)
        return;
    if (BeforeCancel)
        BeforeCancel(*this);
    const bool wasInsert = m_state == dsInsert;
    m_buffer.clear();
    m_bufferModified = false;
    m_state = dsBrowse;
    if (wasInsert)
        moveTo(m_cur, false);
    notifyReset();
    notifyState();
    if (wasInsert)
        scrolled();
    if (AfterCancel)
        AfterCancel(*this);
}

void Dataset::removeRecordPhysically(int recordIndex)
{
    m_records.erase(m_records.begin() + recordIndex);
    for (int &entry : m_view) {
        if (entry > recordIndex)
            --entry;
    }
}

void Dataset::Delete()
{
    if (m_state == dsInsert) {
        Cancel();
        return;
    }
    CheckBrowseMode();
    if (m_view.empty())
        throw EHomologa(QStringLiteral("Não há registro a excluir em %1.").arg(name()));
    if (BeforeDelete)
        BeforeDelete(*this);
    const int recordIndex = m_view[m_cur];
    m_view.erase(m_view.begin() + m_cur);
    Record &record = m_records[recordIndex];
    if (record.status == RowStatus::Inserted) {
        removeRecordPhysically(recordIndex);
    } else {
        if (record.status == RowStatus::Unchanged) {
            record.original = record.values;
            record.changeSeq = m_nextChange++;
        }
        record.status = RowStatus::Deleted;
    }
    moveTo(m_cur, false);
    notifyReset();
    if (AfterDelete)
        AfterDelete(*this);
    scrolled();
}

// ====================================================================== filter and order

void Dataset::setFilter(const QString &expression)
{
    const QString text = expression.trimmed();
    std::shared_ptr<const dsfilter::Expression> compiled;
    if (!text.isEmpty()) {
        compiled = dsfilter::compile(
            text,
            [this](const QString &fieldName) -> std::optional<dsfilter::FieldInfo> {
                const int index = fieldIndex(fieldName);
                if (index < 0)
                    return std::nullopt;
                return dsfilter::FieldInfo{index, m_fields.at(index).type};
            },
            m_filterCaseInsensitive);
    }
    m_filterText = expression;
    m_filter = std::move(compiled);
    if (m_filtered) {
        CheckBrowseMode();
        refilter();
    }
}

void Dataset::refilter()
{
    rebuildView();
    moveTo(0, false);
    notifyReset();
    scrolled();
}

void Dataset::setFiltered(bool filtered)
{
    if (m_filtered == filtered)
        return;
    CheckBrowseMode();
    m_filtered = filtered;
    refilter();
}

void Dataset::setFilterCaseInsensitive(bool caseInsensitive)
{
    if (m_filterCaseInsensitive == caseInsensitive)
        return;
    m_filterCaseInsensitive = caseInsensitive;
    if (!m_filterText.trimmed().isEmpty())
        setFilter(m_filterText);
}

void Dataset::ApplyFilter(const QString &expression)
{
    const bool wasFiltered = m_filtered;
    m_filtered = false;  // so that setFilter only compiles; the view is rebuilt once below
    try {
        setFilter(expression);
    } catch (...) {
        m_filtered = wasFiltered;
        throw;
    }
    CheckBrowseMode();
    m_filtered = !expression.trimmed().isEmpty();
    refilter();
}

void Dataset::setIndexFieldNames(const QString &fields)
{
    QList<int> indexes;
    if (!fields.trimmed().isEmpty())
        indexes = keyFieldIndexes(fields);
    CheckBrowseMode();
    const Bookmark current = GetBookmark();
    m_indexFieldNames = fields;
    m_indexFields = indexes;
    rebuildView();
    const int row = rowOfBookmark(current);
    moveTo(row < 0 ? 0 : row, false);
    notifyReset();
}

// ====================================================================== data

Dataset::FieldMapping Dataset::mappingFrom(const QList<packet::Field> &sourceFields) const
{
    // Data that carries exactly this dataset's fields is shared as it is; other data is mapped.
    FieldMapping mapping;
    mapping.sameLayout = sourceFields.size() == m_fields.size();
    mapping.sourceOf = QList<int>(m_fields.size(), -1);
    for (int i = 0; i < m_fields.size(); ++i) {
        for (int j = 0; j < sourceFields.size(); ++j) {
            if (sourceFields[j].name.compare(m_fields[i].name, Qt::CaseInsensitive) == 0) {
                mapping.sourceOf[i] = j;
                break;
            }
        }
        if (mapping.sourceOf[i] != i || sourceFields[i].type != m_fields[i].type)
            mapping.sameLayout = false;
    }
    return mapping;
}

Row Dataset::mapped(const Row &row, const FieldMapping &mapping) const
{
    return mapping.sameLayout ? row : mapPacketRow(row, mapping.sourceOf);
}

void Dataset::replaceRecords(std::vector<Record> &&records)
{
    m_records = std::move(records);
    m_active = true;
    rebuildView();
    moveTo(0, false);
    notifyReset();
    scrolled();
}

Row Dataset::mapPacketRow(const Row &row, const QList<int> &sourceOf) const
{
    Row mapped(m_fields.size());
    for (int i = 0; i < m_fields.size(); ++i) {
        const int source = sourceOf[i];
        if (source >= 0 && source < row.size())
            mapped[i] = convertValue(row.at(source), m_fields[i].type);
    }
    return mapped;
}

void Dataset::setData(const packet::Packet &data)
{
    if (m_state != dsBrowse)
        Cancel();
    if (m_fields.isEmpty()) {
        for (const packet::Field &field : data.fields)
            addField(FieldDef(field.name, field.type, field.size));
    }
    const FieldMapping mapping = mappingFrom(data.fields);
    std::vector<Record> records;
    records.reserve(data.rows.size());
    for (const Row &row : data.rows) {
        Record record;
        record.values = mapped(row, mapping);
        record.id = m_nextId++;
        records.push_back(std::move(record));
    }
    replaceRecords(std::move(records));
}

packet::Packet Dataset::Data() const
{
    packet::Packet data;
    data.fields = packetFields();
    data.rows.reserve(qsizetype(m_records.size()));
    for (const Record &record : m_records) {
        if (record.status != RowStatus::Deleted)
            data.rows.append(record.values);
    }
    return data;
}

int Dataset::ChangeCount() const
{
    int count = 0;
    for (const Record &record : m_records) {
        if (record.status != RowStatus::Unchanged)
            ++count;
    }
    return count;
}

packet::Delta Dataset::Delta() const
{
    std::vector<const Record *> changed;
    for (const Record &record : m_records) {
        if (record.status != RowStatus::Unchanged)
            changed.push_back(&record);
    }
    std::sort(changed.begin(), changed.end(), [](const Record *a, const Record *b) { return a->changeSeq < b->changeSeq; });
    packet::Delta delta;
    delta.fields = packetFields();
    delta.changes.reserve(qsizetype(changed.size()));
    for (const Record *record : changed) {
        packet::Change change;
        switch (record->status) {
        case RowStatus::Inserted:
            change.kind = packet::Change::Kind::Insert;
            change.newValues = record->values;
            break;
        case RowStatus::Modified:
            change.kind = packet::Change::Kind::Modify;
            change.oldValues = record->original;
            change.newValues = record->values;
            break;
        case RowStatus::Deleted:
            change.kind = packet::Change::Kind::Delete;
            change.oldValues = record->original;
            break;
        case RowStatus::Unchanged: break;
        }
        delta.changes.append(change);
    }
    return delta;
}

bool Dataset::settleChangeLog(bool undo)
{
    const Bookmark current = GetBookmark();
    std::vector<Record> kept;
    kept.reserve(m_records.size());
    for (Record &record : m_records) {
        // Merging drops the deleted rows; undoing drops the new ones and restores the rest.
        if (record.status == (undo ? RowStatus::Inserted : RowStatus::Deleted))
            continue;
        if (undo && (record.status == RowStatus::Modified || record.status == RowStatus::Deleted))
            record.values = record.original;
        record.status = RowStatus::Unchanged;
        record.original.clear();
        record.changeSeq = 0;
        kept.push_back(std::move(record));
    }
    m_records = std::move(kept);
    rebuildView();
    const int row = rowOfBookmark(current);
    moveTo(row < 0 ? 0 : row, false);
    notifyReset();
    return row >= 0;
}

void Dataset::MergeChangeLog()
{
    CheckBrowseMode();
    settleChangeLog(false);
}

void Dataset::CancelUpdates()
{
    if (m_state != dsBrowse)
        Cancel();
    if (!settleChangeLog(true))
        scrolled();
}

void Dataset::CopyFrom(const Dataset &source)
{
    if (&source == this)
        return;
    if (m_state != dsBrowse)
        Cancel();
    if (m_fields.isEmpty()) {
        for (const FieldDef &def : source.m_fields) {
            FieldDef copy = def;
            copy.onGetText = nullptr;
            addField(copy);
        }
    }
    const FieldMapping mapping = mappingFrom(source.packetFields());
    std::vector<Record> records;
    records.reserve(source.m_records.size());
    for (const Record &from : source.m_records) {
        Record record;
        record.values = mapped(from.values, mapping);
        if (!from.original.isEmpty())
            record.original = mapped(from.original, mapping);
        record.status = from.status;
        record.changeSeq = from.changeSeq;
        record.id = m_nextId++;
        records.push_back(std::move(record));
    }
    m_nextChange = std::max(m_nextChange, source.m_nextChange);
    replaceRecords(std::move(records));
}

QList<Dataset::StoredRow> Dataset::storedRows() const
{
    QList<StoredRow> rows;
    rows.reserve(qsizetype(m_records.size()));
    for (const Record &record : m_records)
        rows.append({record.values, record.original, record.status});
    return rows;
}

void Dataset::setStoredRows(const QList<StoredRow> &rows)
{
    if (m_state != dsBrowse)
        Cancel();
    std::vector<Record> records;
    records.reserve(rows.size());
    for (const StoredRow &row : rows) {
        Record record;
        record.values = row.values;
        record.values.resize(m_fields.size());
        record.status = row.status;
        if (row.status == RowStatus::Modified || row.status == RowStatus::Deleted) {
            record.original = row.original.isEmpty() ? row.values : row.original;
            record.original.resize(m_fields.size());
        }
        if (row.status != RowStatus::Unchanged)
            record.changeSeq = m_nextChange++;
        record.id = m_nextId++;
        records.push_back(std::move(record));
    }
    replaceRecords(std::move(records));
}

void Dataset::CreateDataSet()
{
    requireActiveFields();
    EmptyDataSet();
}

void Dataset::EmptyDataSet()
{
    if (m_state != dsBrowse)
        Cancel();
    replaceRecords({});
}

void Dataset::Close()
{
    if (m_state != dsBrowse)
        Cancel();
    m_records.clear();
    m_view.clear();
    m_active = false;
    moveTo(0, false);
    notifyReset();
}

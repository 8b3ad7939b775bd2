#pragma once

// In-memory dataset in the manner of a client dataset: typed fields, a cursor over the
// rows that pass the filter in index order, browse/edit/insert states with events, and
// a change log that becomes the delta sent to the server.
//
// Rows are kept once, in the order they arrived; the cursor walks a list of row numbers
// (the view). Filtering, index order and locating only rebuild or scan that list, they
// never copy rows. Rows share their storage with the packet they came from until one
// is changed.

#include "host/errors.h"
#include "host/packet.h"

#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <memory>
#include <vector>

using packet::FieldType;

// Reading values without asking QVariant for its type the slow way: the hot loops of the
// dataset (locate, filter, walking) compare the type interface pointer in place.
namespace dsvalue {
inline bool isNull(const QVariant &value)
{
    const auto &d = value.data_ptr();
    return d.typeInterface() == nullptr || d.is_null;
}
// The text a value holds, without a copy; null when it holds no text.
inline const QString *text(const QVariant &value)
{
    static const QtPrivate::QMetaTypeInterface *const stringType = QMetaType::fromType<QString>().iface();
    const auto &d = value.data_ptr();
    const QtPrivate::QMetaTypeInterface *type = d.typeInterface();
    if (type == stringType)
        return static_cast<const QString *>(d.storage());
    if (type == nullptr || type->typeId.loadRelaxed() != QMetaType::QString)
        return nullptr;
    return static_cast<const QString *>(d.storage());
}
}  // namespace dsvalue

enum DataSetState { dsBrowse, dsEdit, dsInsert };

enum LocateOption { loCaseInsensitive = 1, loPartialKey = 2 };
using LocateOptions = int;

// Pending state of a stored row in the change log.
enum class RowStatus { Unchanged, Inserted, Modified, Deleted };

class Dataset;
class RowView;
class TDataSource;
namespace dsfilter {
class Expression;
}

// How a field's value is shown; the row gives access to the other fields of the same row.
using GetTextFn = std::function<QString(const RowView &row, const QVariant &value)>;

struct FieldDef {
    FieldDef() = default;
    FieldDef(const QString &name, FieldType type = FieldType::String, int size = 0, const QString &label = {},
             bool visible = true, bool readOnly = false, const QString &editMask = {})
        : name(name), type(type), size(size), label(label), visible(visible), readOnly(readOnly), editMask(editMask)
    {
    }

    QString name;
    FieldType type = FieldType::String;
    int size = 0;
    QString label;  // empty: the field name
    bool visible = true;
    bool readOnly = false;
    // Display mask in the usual notation ("9.99.999;0; "): with ";0" the stored value
    // holds only the typed characters and the literals are added for display.
    QString editMask;
    GetTextFn onGetText;
    // The type a dataset file gave this field, when it is none of ours (numbers, booleans):
    // the values are kept as texts and the file is written back with its own type.
    QString fileType;
    QString fileSubtype;
};

// A row of a dataset, read without moving the cursor (grids, display texts).
class RowView {
public:
    RowView(const Dataset &dataset, const packet::Row &values) : m_dataset(dataset), m_values(values) {}
    const QVariant &value(int field) const;
    QVariant value(const QString &field) const;
    QString AsString(int field) const;
    QString AsString(const QString &field) const;
    const Dataset &dataset() const { return m_dataset; }

private:
    const Dataset &m_dataset;
    const packet::Row &m_values;
};

// A field of the current record. A light handle: copy it freely, it stays bound to the
// dataset and its field, and always reads the record the cursor stands on.
class TField {
public:
    TField(Dataset *dataset, int index) : m_dataset(dataset), m_index(index) {}

    int Index() const { return m_index; }
    const QString &FieldName() const;
    FieldType DataType() const;
    int Size() const;
    QString DisplayLabel() const;
    bool Visible() const;

    QVariant Value() const;
    void setValue(const QVariant &value);
    bool IsNull() const;
    void Clear() { setValue(QVariant()); }
    QString AsString() const;
    void setAsString(const QString &text);
    QDateTime AsDateTime() const;
    void setAsDateTime(const QDateTime &time);
    int AsInteger() const;  // 0 when the text is not a number
    QString DisplayText() const;

private:
    Dataset *m_dataset;
    int m_index;
};

class Dataset : public QObject {
    Q_OBJECT
public:
    explicit Dataset(const QString &name = {}, QObject *parent = nullptr);
    ~Dataset() override;

    QString name() const { return objectName(); }

    // ---- fields
    // Defines the fields; only while the dataset holds no rows.
    void setFields(const QList<FieldDef> &fields);
    void addField(const FieldDef &field);
    const QList<FieldDef> &fieldDefs() const { return m_fields; }
    FieldDef &fieldDef(int index);
    FieldDef &fieldDef(const QString &name);
    int FieldCount() const { return int(m_fields.size()); }
    int fieldIndex(const QString &name) const;  // case-insensitive; -1 when absent
    TField FieldByName(const QString &name);    // throws EHomologa when absent
    TField Fields(int index);
    bool hasField(const QString &name) const { return fieldIndex(name) >= 0; }
    QList<packet::Field> packetFields() const;

    // ---- cursor
    void First();
    void Next();
    void Prior();
    void Last();
    bool Eof() const { return m_eof; }
    bool Bof() const { return m_bof; }
    int RecordCount() const { return int(m_view.size()); }
    bool IsEmpty() const { return m_view.empty(); }
    int RecNo() const { return m_cur < 0 ? 0 : m_cur + 1; }  // 1-based; 0 when empty
    void setRecNo(int recNo);

    // A stable reference to the current row, valid until the row is removed.
    using Bookmark = quint64;
    Bookmark GetBookmark() const;
    bool BookmarkValid(Bookmark bookmark) const;
    void GotoBookmark(Bookmark bookmark);  // throws EHomologa when the row is gone

    // Finds the first row, from the top, whose key fields ("A;B") equal the values (one
    // QVariant per field, or a QVariantList) and moves there. Compared as texts.
    bool Locate(const QString &keyFields, const QVariant &values, LocateOptions options = 0);
    // The same search from a position of the view, without moving; -1 when none.
    int findRow(const QString &keyFields, const QVariant &values, LocateOptions options = 0, int fromRow = 0) const;
    // The value of `resultField` in the first row that matches, without moving.
    QVariant Lookup(const QString &keyFields, const QVariant &values, const QString &resultField) const;

    // ---- states
    DataSetState State() const { return m_state; }
    void Edit();
    void Insert();
    void Append();
    void Post();
    void Cancel();
    void Delete();
    // Posts a pending change, or drops an untouched insert/edit; what every move does first.
    void CheckBrowseMode();
    bool Modified() const { return m_state != dsBrowse && m_bufferModified; }

    // ---- events, run in the order a client dataset runs them; detach by assigning null
    std::function<void(Dataset &)> BeforeEdit, AfterEdit;
    std::function<void(Dataset &)> BeforeInsert, AfterInsert, OnNewRecord;
    std::function<void(Dataset &)> BeforePost, AfterPost;
    std::function<void(Dataset &)> BeforeCancel, AfterCancel;
    std::function<void(Dataset &)> BeforeDelete, AfterDelete;
    std::function<void(Dataset &)> AfterScroll;
    std::function<void(Dataset &)> OnStateChange;

    // ---- filter and index order
    // Expressions: comparisons (=, <>, <, >, <=, >=, LIKE) of fields, UPPER()/LOWER()/TRIM()
    // of them, and 'text' or number literals; IN (...), IS [NOT] NULL, AND, OR, NOT and
    // parentheses. A malformed filter raises EHomologa and leaves the current one in force.
    void setFilter(const QString &expression);
    QString Filter() const { return m_filterText; }
    void setFiltered(bool filtered);
    bool Filtered() const { return m_filtered; }
    void setFilterCaseInsensitive(bool caseInsensitive);
    // setFilter + setFiltered(true) in one step; an empty expression removes the filter.
    void ApplyFilter(const QString &expression);
    // Order of the view by these fields ("A;B"), ascending; empty: arrival order.
    void setIndexFieldNames(const QString &fields);
    QString IndexFieldNames() const { return m_indexFieldNames; }

    // ---- data and change log
    // Replaces the rows, clears the change log and goes to the first row. Fields are taken
    // from the packet when none are defined; otherwise packet fields are matched by name,
    // extra ones ignored and missing ones left empty.
    void setData(const packet::Packet &data);
    // The current rows (pending changes applied, deleted rows left out), ignoring the filter.
    packet::Packet Data() const;
    int ChangeCount() const;
    packet::Delta Delta() const;
    void MergeChangeLog();
    void CancelUpdates();
    // Copies another dataset's whole data, pending changes included, and goes to the first row.
    void CopyFrom(const Dataset &source);
    // Creates the (empty) rows store for the defined fields; EmptyDataSet removes every row.
    void CreateDataSet();
    void EmptyDataSet();
    void Close();
    bool Active() const { return m_active; }

    // Stored rows with their change-log state, in storage order (dataset files).
    struct StoredRow {
        packet::Row values;
        packet::Row original;  // Modified and Deleted rows: the values before the change
        RowStatus status = RowStatus::Unchanged;
    };
    QList<StoredRow> storedRows() const;
    void setStoredRows(const QList<StoredRow> &rows);

    // Dataset files in the XML data-packet layout, written atomically (logical paths).
    void SaveToFile(const QString &path) const;
    void LoadFromFile(const QString &path);

    // ---- display
    void DisableControls();
    void EnableControls();
    bool ControlsDisabled() const { return m_disableCount > 0; }

    // Rows as a grid shows them: the view, with the row being inserted at its place and
    // the row being edited showing its edit buffer.
    int gridRowCount() const;
    const packet::Row &gridRow(int row) const;
    int gridCurrentRow() const;
    QString displayText(const packet::Row &row, int field) const;
    // The view row of a bookmark, or -1.
    int rowOfBookmark(Bookmark bookmark) const;
    // The bookmark of a grid row; 0 for the row being inserted.
    Bookmark gridBookmark(int gridRow) const;

    // Data sources attach themselves; they hear of state changes and of moves.
    void attachSource(TDataSource *source);
    void detachSource(TDataSource *source);

    // ---- values of the current record (TField uses these)
    const QVariant &currentValue(int field) const;
    void setCurrentValue(int field, const QVariant &value);

    // Turns a value into the representation of a field type (texts, date-times, blobs).
    static QVariant convertValue(const QVariant &value, FieldType type);
    static QString valueText(const QVariant &value);
    static QString formatMask(const QString &mask, const QString &text);

signals:
    // For grids: everything may have changed / one grid row changed / the cursor moved.
    void layoutReset();
    void rowChanged(int gridRow);
    void currentRowChanged(int gridRow);
    void stateChanged();

private:
    struct Record {
        packet::Row values;
        packet::Row original;
        RowStatus status = RowStatus::Unchanged;
        quint64 id = 0;
        quint64 changeSeq = 0;
    };
    const packet::Row &currentRow() const;
    bool passesFilter(const packet::Row &values) const;
    void rebuildView();
    void refilter();
    // Empties the change log, keeping the current row when it is still there (true).
    bool settleChangeLog(bool undo);
    bool rowLess(int a, int b) const;
    int sortedPosition(int recordIndex) const;
    void setState(DataSetState state);
    void moveTo(int viewRow, bool notify = true);
    void scrolled();
    void beginInsert(bool append);
    void removeRecordPhysically(int recordIndex);
    void requireActiveFields() const;
    QList<int> keyFieldIndexes(const QString &keyFields) const;
    bool rowMatches(const packet::Row &values, const QList<int> &fields, const QStringList &keys,
                    LocateOptions options) const;
    void notifyReset();
    void notifyRow(int gridRow);
    void notifyCurrent();
    void notifyState();
    struct FieldMapping {
        bool sameLayout = false;
        QList<int> sourceOf;  // per field of this dataset, its position in the source; -1 when absent
    };
    FieldMapping mappingFrom(const QList<packet::Field> &sourceFields) const;
    packet::Row mapped(const packet::Row &row, const FieldMapping &mapping) const;
    packet::Row mapPacketRow(const packet::Row &row, const QList<int> &sourceOf) const;
    void replaceRecords(std::vector<Record> &&records);

    QList<FieldDef> m_fields;
    QHash<QString, int> m_fieldByName;  // upper-case name -> index
    std::vector<Record> m_records;
    std::vector<int> m_view;
    int m_cur = -1;
    bool m_eof = true;
    bool m_bof = true;
    bool m_active = false;
    DataSetState m_state = dsBrowse;
    packet::Row m_buffer;
    bool m_bufferModified = false;
    int m_insertRow = 0;  // view position of the row being inserted
    bool m_appending = false;
    QString m_filterText;
    bool m_filtered = false;
    bool m_filterCaseInsensitive = false;
    std::shared_ptr<const dsfilter::Expression> m_filter;
    QString m_indexFieldNames;
    QList<int> m_indexFields;
    quint64 m_nextId = 1;
    quint64 m_nextChange = 1;
    int m_disableCount = 0;
    QList<TDataSource *> m_sources;
    void notifySourcesState();
    void notifySourcesData();
};

// Detaches a dataset event for as long as it lives and puts it back, also when the
// operation fails.
class DetachedEvent {
public:
    explicit DetachedEvent(std::function<void(Dataset &)> &event) : m_event(event), m_saved(std::move(event))
    {
        m_event = nullptr;
    }
    ~DetachedEvent() { m_event = std::move(m_saved); }
    DetachedEvent(const DetachedEvent &) = delete;
    DetachedEvent &operator=(const DetachedEvent &) = delete;

private:
    std::function<void(Dataset &)> &m_event;
    std::function<void(Dataset &)> m_saved;
};

inline QString TField::AsString() const
{
    const QVariant &value = m_dataset->currentValue(m_index);
    if (const QString *text = dsvalue::text(value))
        return *text;
    return Dataset::valueText(value);
}

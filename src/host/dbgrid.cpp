#include "dbgrid.h"

#include "host/guard.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QRegularExpressionValidator>
#include <QStyle>
#include <QToolButton>

#include <utility>

namespace {
// Set while the editor of a cancelled row closes: what it held is not handed to the dataset.
const char *const kDiscardingEditor = "discardingEditor";
}  // namespace

// ====================================================================== model

DatasetModel::DatasetModel(QObject *parent) : QAbstractTableModel(parent) {}

void DatasetModel::setDataSet(Dataset *dataset)
{
    if (m_dataset == dataset)
        return;
    if (m_dataset)
        disconnect(m_dataset, nullptr, this, nullptr);
    beginResetModel();
    m_dataset = dataset;
    if (m_dataset) {
        connect(m_dataset, &Dataset::layoutReset, this, &DatasetModel::reset);
        connect(m_dataset, &Dataset::rowChanged, this, [this](int row) {
            if (row < rowCount())
                emit dataChanged(index(row, 0), index(row, columnCount() - 1));
        });
        connect(m_dataset, &Dataset::currentRowChanged, this, [this](int) {
            if (rowCount() > 0)
                emit headerDataChanged(Qt::Vertical, 0, rowCount() - 1);
        });
        connect(m_dataset, &QObject::destroyed, this, [this] {
            beginResetModel();
            endResetModel();
        });
    }
    endResetModel();
}

void DatasetModel::reset()
{
    beginResetModel();
    endResetModel();
}

void DatasetModel::setColumns(const QList<GridColumn> &columns)
{
    beginResetModel();
    m_columns = columns;
    m_ownColumns = true;
    endResetModel();
}

QList<GridColumn> DatasetModel::columns() const
{
    if (m_ownColumns || !m_dataset)
        return m_columns;
    QList<GridColumn> visible;
    for (const FieldDef &field : m_dataset->fieldDefs()) {
        if (field.visible)
            visible.append(GridColumn(field.name));
    }
    return visible;
}

const GridColumn *DatasetModel::columnAt(int column) const
{
    if (m_ownColumns)
        return column >= 0 && column < m_columns.size() ? &m_columns[column] : nullptr;
    return nullptr;
}

int DatasetModel::fieldOfColumn(int column) const
{
    if (!m_dataset)
        return -1;
    if (m_ownColumns)
        return column >= 0 && column < m_columns.size() ? m_dataset->fieldIndex(m_columns[column].fieldName) : -1;
    int seen = 0;
    const QList<FieldDef> &fields = m_dataset->fieldDefs();
    for (int i = 0; i < fields.size(); ++i) {
        if (fields[i].visible && seen++ == column)
            return i;
    }
    return -1;
}

int DatasetModel::columnOfField(const QString &fieldName) const
{
    const QList<GridColumn> list = columns();
    for (int i = 0; i < list.size(); ++i) {
        if (list[i].fieldName.compare(fieldName, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

void DatasetModel::setReadOnly(bool readOnly)
{
    if (m_readOnly == readOnly)
        return;
    m_readOnly = readOnly;
    if (rowCount() > 0)
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
}

void DatasetModel::setEditing(bool editing)
{
    if (m_editing == editing)
        return;
    m_editing = editing;
    if (rowCount() > 0)
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
}

int DatasetModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() || !m_dataset ? 0 : m_dataset->gridRowCount();
}

int DatasetModel::columnCount(const QModelIndex &parent) const
{
    if (parent.isValid())
        return 0;
    if (m_ownColumns)
        return int(m_columns.size());
    return int(columns().size());
}

QVariant DatasetModel::data(const QModelIndex &index, int role) const
{
    if (!m_dataset || !index.isValid() || index.row() >= m_dataset->gridRowCount())
        return {};
    const int field = fieldOfColumn(index.column());
    if (field < 0)
        return {};
    const packet::Row &row = m_dataset->gridRow(index.row());
    switch (role) {
    case Qt::DisplayRole: return m_dataset->displayText(row, field);
    case Qt::EditRole: return Dataset::valueText(field < row.size() ? row.at(field) : QVariant());
    case Qt::ToolTipRole: {
        const QString text = m_dataset->displayText(row, field);
        return text.size() > 30 ? QVariant(text) : QVariant();
    }
    case Qt::TextAlignmentRole: return int(Qt::AlignLeft | Qt::AlignVCenter);
    default: return {};
    }
}

QVariant DatasetModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || !m_dataset)
        return {};
    if (orientation == Qt::Vertical) {
        if (section != m_dataset->gridCurrentRow())
            return QString();
        switch (m_dataset->State()) {
        case dsInsert: return QStringLiteral("*");
        case dsEdit: return QStringLiteral("I");
        default: return QStringLiteral("▶");
        }
    }
    const QList<GridColumn> list = columns();
    if (section < 0 || section >= list.size())
        return {};
    if (!list[section].title.isEmpty())
        return list[section].title;
    const int field = m_dataset->fieldIndex(list[section].fieldName);
    if (field < 0)
        return list[section].fieldName;
    const FieldDef &def = m_dataset->fieldDefs().at(field);
    return def.label.isEmpty() ? def.name : def.label;
}

Qt::ItemFlags DatasetModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags result = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    const int field = fieldOfColumn(index.column());
    if (m_readOnly || !m_editing || field < 0 || m_dataset->fieldDefs().at(field).readOnly)
        return result;
    const GridColumn *column = columnAt(index.column());
    if (column && column->readOnly)
        return result;
    return result | Qt::ItemIsEditable;
}

bool DatasetModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::EditRole || !m_dataset || !(flags(index) & Qt::ItemIsEditable))
        return false;
    const int field = fieldOfColumn(index.column());
    Dataset *dataset = m_dataset;
    return host::runGuarded([&] {
        if (index.row() != dataset->gridCurrentRow()) {
            const Dataset::Bookmark target = dataset->gridBookmark(index.row());
            if (!target)
                return;
            dataset->GotoBookmark(target);
        }
        const QString text = value.toString();
        if (dataset->State() == dsBrowse) {
            if (Dataset::valueText(dataset->currentValue(field)) == text)
                return;
            dataset->Edit();
        }
        if (dataset->State() != dsBrowse)
            dataset->Fields(field).setAsString(text);
    });
}

// ====================================================================== delegate

class DBGridDelegate : public QStyledItemDelegate {
public:
    explicit DBGridDelegate(TDBGrid *grid) : QStyledItemDelegate(grid), m_grid(grid) {}

    QWidget *currentEditor() const { return m_editor; }

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        Dataset *dataset = m_grid->dataSet();
        if (!dataset || index.row() >= dataset->gridRowCount()) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        DrawCell cell;
        cell.painter = painter;
        cell.rect = option.rect;
        cell.option = &option;
        cell.row = index.row();
        cell.column = index.column();
        const int field = m_grid->m_model->fieldOfColumn(index.column());
        cell.field = field >= 0 ? dataset->fieldDefs().at(field).name : QString();
        cell.dataset = dataset;
        cell.values = &dataset->gridRow(index.row());
        cell.selected = option.state & QStyle::State_Selected;
        cell.focused = option.state & QStyle::State_HasFocus;
        painter->save();
        bool drawn = false;
        if (m_grid->OnDrawColumnCell) {
            try {
                drawn = m_grid->OnDrawColumnCell(*m_grid, cell);
            } catch (...) {
                // A drawing rule that fails must not stop the painting; the cell is drawn plainly.
                drawn = false;
            }
        }
        painter->restore();
        if (!drawn) {
            painter->save();
            m_grid->DefaultDrawColumnCell(cell);
            painter->restore();
        }
    }

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        const GridColumn *column = m_grid->m_model->columnAt(index.column());
        QWidget *editor;
        QLineEdit *line;
        if (column && column->hasButton) {
            editor = new QWidget(parent);
            auto *layout = new QHBoxLayout(editor);
            layout->setContentsMargins(0, 0, 0, 0);
            layout->setSpacing(0);
            line = new QLineEdit(editor);
            line->setFrame(false);
            auto *button = new QToolButton(editor);
            button->setObjectName(QStringLiteral("btnEscolha"));
            button->setText(QStringLiteral("..."));
            button->setFocusPolicy(Qt::NoFocus);
            layout->addWidget(line, 1);
            layout->addWidget(button);
            editor->setFocusProxy(line);
            QObject::connect(button, &QToolButton::clicked, m_grid, [grid = m_grid] { grid->editorButtonClicked(); });
        } else {
            editor = QStyledItemDelegate::createEditor(parent, option, index);
            line = qobject_cast<QLineEdit *>(editor);
        }
        const int field = m_grid->m_model->fieldOfColumn(index.column());
        if (line && field >= 0 && m_grid->dataSet()) {
            const FieldDef &def = m_grid->dataSet()->fieldDefs().at(field);
            if (def.size > 0 && def.type != FieldType::DateTime && def.type != FieldType::Blob)
                line->setMaxLength(def.size);
        }
        if (line && column && !column->pattern.isEmpty())
            line->setValidator(new QRegularExpressionValidator(QRegularExpression(column->pattern), line));
        m_editor = editor;
        return editor;
    }

    void setEditorData(QWidget *editor, const QModelIndex &index) const override
    {
        if (QLineEdit *line = lineOf(editor))
            line->setText(index.data(Qt::EditRole).toString());
        else
            QStyledItemDelegate::setEditorData(editor, index);
    }

    void setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const override
    {
        if (m_grid->property(kDiscardingEditor).toBool())
            return;
        if (QLineEdit *line = lineOf(editor)) {
            if (line->text() != index.data(Qt::EditRole).toString())
                model->setData(index, line->text(), Qt::EditRole);
        } else {
            QStyledItemDelegate::setModelData(editor, model, index);
        }
    }

    void destroyEditor(QWidget *editor, const QModelIndex &index) const override
    {
        if (m_editor == editor)
            m_editor = nullptr;
        QStyledItemDelegate::destroyEditor(editor, index);
    }

private:
    static QLineEdit *lineOf(QWidget *editor)
    {
        if (auto *line = qobject_cast<QLineEdit *>(editor))
            return line;
        return editor ? editor->findChild<QLineEdit *>() : nullptr;
    }

    TDBGrid *m_grid;
    mutable QPointer<QWidget> m_editor;
};

// ====================================================================== grid

TDBGrid::TDBGrid(const QString &name, QWidget *parent)
    : QTableView(parent), m_model(new DatasetModel(this)), m_delegate(new DBGridDelegate(this))
{
    setObjectName(name);
    setModel(m_model);
    setItemDelegate(m_delegate);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setWordWrap(false);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setSectionsClickable(true);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setMinimumWidth(14);
    applyEditTriggers();
    connect(horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int column) {
        if (OnTitleClick)
            host::runGuarded([&] { OnTitleClick(*this, column); });
    });
    connect(this, &QAbstractItemView::clicked, this, [this](const QModelIndex &) {
        if (OnCellClick)
            host::runGuarded([&] { OnCellClick(*this); });
    });
    connect(horizontalHeader(), &QHeaderView::sectionResized, this, [this](int column, int, int) {
        if (!m_fitting && !m_resizedByOperator.contains(column))
            m_resizedByOperator.append(column);
    });
    connect(m_model, &QAbstractItemModel::modelReset, this, [this] { fitColumnsToContent(); });
}

void TDBGrid::setDataSource(TDataSource *source)
{
    if (m_source)
        disconnect(m_source, nullptr, this, nullptr);
    m_source = source;
    auto attach = [this] {
        Dataset *dataset = m_source ? m_source->DataSet() : nullptr;
        if (m_model->dataSet())
            disconnect(m_model->dataSet(), nullptr, this, nullptr);
        m_model->setDataSet(dataset);
        if (dataset) {
            connect(dataset, &Dataset::currentRowChanged, this, &TDBGrid::followDataset);
            connect(dataset, &Dataset::stateChanged, this, [this] {
                verticalHeader()->viewport()->update();
                // A row cancelled while a cell was being typed drops what the cell held.
                if (QWidget *editor = m_delegate->currentEditor(); editor && dataSet()->State() == dsBrowse) {
                    setProperty(kDiscardingEditor, true);
                    closeEditor(editor, QAbstractItemDelegate::NoHint);
                    setProperty(kDiscardingEditor, false);
                }
            });
            followDataset(dataset->gridCurrentRow());
        }
    };
    if (m_source)
        connect(m_source, &TDataSource::dataSetChanged, this, attach);
    attach();
}

void TDBGrid::setColumns(const QList<GridColumn> &columns)
{
    m_fitting = true;
    m_model->setColumns(columns);
    m_resizedByOperator.clear();
    const QFontMetrics metrics = fontMetrics();
    for (int i = 0; i < columns.size(); ++i) {
        int width = columns[i].width;
        if (width <= 0) {
            int size = 10;
            if (Dataset *dataset = dataSet()) {
                const int field = dataset->fieldIndex(columns[i].fieldName);
                if (field >= 0) {
                    const FieldDef &def = dataset->fieldDefs().at(field);
                    size = def.type == FieldType::DateTime ? 19 : def.size;
                }
            }
            const int title = metrics.horizontalAdvance(m_model->headerData(i, Qt::Horizontal).toString()) + 16;
            width = std::max(title, std::min(metrics.averageCharWidth() * std::clamp(size, 2, 60) + 10, 420));
        }
        setColumnWidth(i, width);
    }
    m_fitting = false;
    fitColumnsToContent();
    if (Dataset *dataset = dataSet())
        followDataset(dataset->gridCurrentRow());
}

void TDBGrid::fitColumnsToContent(int maxWidth)
{
    const int rows = std::min(m_model->rowCount(), 500);
    // Nothing to measure: the widths stay as they are. A row being added holds nothing yet
    // either; measured alone it would shrink every column to its title.
    if (rows == 0 || (dataSet() && dataSet()->State() == dsInsert))
        return;
    const QFontMetrics metrics = fontMetrics();
    const QList<GridColumn> columns = m_model->columns();
    const bool wasFitting = std::exchange(m_fitting, true);
    for (int column = 0; column < m_model->columnCount(); ++column) {
        if ((column < columns.size() && columns[column].width > 0) || m_resizedByOperator.contains(column))
            continue;
        int width = metrics.horizontalAdvance(m_model->headerData(column, Qt::Horizontal).toString()) + 16;
        for (int row = 0; row < rows && width < maxWidth; ++row)
            width = std::max(width, metrics.horizontalAdvance(cellText(row, column)) + 12);
        setColumnWidth(column, std::min(width, maxWidth));
    }
    m_fitting = wasFitting;
}

bool TDBGrid::isColumnTypable(int column) const
{
    const int field = m_model->fieldOfColumn(column);
    if (field < 0 || !dataSet() || dataSet()->fieldDefs().at(field).readOnly)
        return false;
    const GridColumn *definition = m_model->columnAt(column);
    return !definition || !definition->readOnly;
}

bool TDBGrid::isColumnReadOnly(int column) const
{
    const int field = m_model->fieldOfColumn(column);
    if (field < 0 || !dataSet() || dataSet()->fieldDefs().at(field).readOnly)
        return true;
    const GridColumn *definition = m_model->columnAt(column);
    return definition && definition->readOnly;
}

QString TDBGrid::SelectedField() const
{
    const int field = m_model->fieldOfColumn(SelectedIndex());
    return field >= 0 && dataSet() ? dataSet()->fieldDefs().at(field).name : QString();
}

int TDBGrid::SelectedIndex() const
{
    const QModelIndex current = currentIndex();
    return current.isValid() ? current.column() : -1;
}

void TDBGrid::setSelectedIndex(int column)
{
    if (column < 0 || column >= m_model->columnCount())
        return;
    const int row = dataSet() ? std::max(0, dataSet()->gridCurrentRow()) : 0;
    if (row < m_model->rowCount())
        setCurrentIndex(m_model->index(row, column));
}

void TDBGrid::setReadOnly(bool readOnly)
{
    m_model->setReadOnly(readOnly);
    applyEditTriggers();
}

void TDBGrid::setEditing(bool editing)
{
    m_model->setEditing(editing);
    applyEditTriggers();
}

void TDBGrid::applyEditTriggers()
{
    if (m_model->isReadOnly() || !m_model->isEditing())
        setEditTriggers(QAbstractItemView::NoEditTriggers);
    else
        setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed
                        | QAbstractItemView::AnyKeyPressed);
}

void TDBGrid::commitEditor()
{
    if (QWidget *editor = m_delegate->currentEditor())
        commitData(editor);
}

void TDBGrid::editorButtonClicked()
{
    commitEditor();
    if (OnEditButtonClick)
        host::runGuarded([&] { OnEditButtonClick(*this); });
}

void TDBGrid::followDataset(int gridRow)
{
    if (m_syncing)
        return;
    m_syncing = true;
    const int column = std::max(0, currentIndex().isValid() ? currentIndex().column() : 0);
    if (gridRow >= 0 && gridRow < m_model->rowCount() && column < m_model->columnCount()) {
        const QModelIndex target = m_model->index(gridRow, column);
        if (currentIndex() != target)
            setCurrentIndex(target);
        scrollTo(target);
    }
    verticalHeader()->viewport()->update();
    m_syncing = false;
}

void TDBGrid::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    QTableView::currentChanged(current, previous);
    if (m_syncing || !current.isValid())
        return;
    if (previous.isValid() && previous.column() != current.column()) {
        if (OnColExit)
            host::runGuarded([&] { OnColExit(*this); });
        if (OnColEnter)
            host::runGuarded([&] { OnColEnter(*this); });
    }
    Dataset *dataset = dataSet();
    if (!dataset || current.row() == dataset->gridCurrentRow())
        return;
    const Dataset::Bookmark target = dataset->gridBookmark(current.row());
    host::runGuarded([&] {
        if (dataset->State() != dsBrowse && OnLeavePendingRow) {
            if (!OnLeavePendingRow(*this))
                return;
        }
        dataset->CheckBrowseMode();
        if (target && dataset->BookmarkValid(target))
            dataset->GotoBookmark(target);
    });
    // Whatever happened (a refused post keeps the row), the grid shows where the dataset is,
    // in the column the operator went to (a row dropped on the way resets the view).
    followDataset(dataset->gridCurrentRow());
    const QModelIndex now = currentIndex();
    if (now.isValid() && now.column() != current.column() && current.column() < m_model->columnCount()) {
        m_syncing = true;
        setCurrentIndex(m_model->index(now.row(), current.column()));
        m_syncing = false;
    }
}

void TDBGrid::keyPressEvent(QKeyEvent *event)
{
    if (OnKeyDown) {
        bool handled = false;
        host::runGuarded([&] { handled = OnKeyDown(*this, event); });
        if (handled)
            return;
    }
    QTableView::keyPressEvent(event);
}

bool TDBGrid::edit(const QModelIndex &index, EditTrigger trigger, QEvent *event)
{
    const bool opensEditor = index.isValid() && state() != QAbstractItemView::EditingState
        && (trigger == QAbstractItemView::AllEditTriggers || (editTriggers() & trigger))
        && (m_model->flags(index) & Qt::ItemIsEditable);
    Dataset *dataset = dataSet();
    if (opensEditor && dataset && dataset->State() == dsBrowse) {
        if (index.row() != dataset->gridCurrentRow())
            return false;  // the cursor comes to the row first
        host::runGuarded([&] { dataset->Edit(); });
        if (dataset->State() == dsBrowse)
            return false;
    }
    return QTableView::edit(index, trigger, event);
}

QModelIndex TDBGrid::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers)
{
    const QModelIndex current = currentIndex();
    const int columns = m_model->columnCount();
    if ((cursorAction != MoveNext && cursorAction != MovePrevious) || !current.isValid())
        return QTableView::moveCursor(cursorAction, modifiers);
    // A grid that takes no typing (locked, or showing a group past its pending phase) still
    // passes by the columns that are never typed into; a grid of read-only columns only
    // visits them all.
    const bool typing = !ReadOnly();
    const int step = cursorAction == MoveNext ? 1 : -1;
    // A row still being typed keeps the cursor: Tab goes round its columns.
    const bool pending = dataSet() && dataSet()->State() != dsBrowse;
    int row = current.row();
    int column = current.column();
    for (int tried = 0; tried < columns * 2; ++tried) {
        column += step;
        if (column < 0 || column >= columns) {
            column = column < 0 ? columns - 1 : 0;
            if (!pending) {
                row += step;
                if (row < 0 || row >= m_model->rowCount())
                    return current;
            }
        }
        if (typing ? isColumnTypable(column) : !isColumnReadOnly(column))
            return m_model->index(row, column);
    }
    return QTableView::moveCursor(cursorAction, modifiers);
}

QString TDBGrid::cellText(int row, int column) const { return m_model->index(row, column).data().toString(); }

void TDBGrid::DefaultDrawColumnCell(DrawCell &cell)
{
    QPainter *painter = cell.painter;
    const QPalette &palette = cell.option->palette;
    painter->fillRect(cell.rect, cell.selected ? palette.highlight() : palette.base());
    painter->setPen(cell.selected ? palette.highlightedText().color() : palette.text().color());
    const QString text = cellText(cell.row, cell.column);
    const QRect area = cell.rect.adjusted(2, 2, -2, 0);
    painter->drawText(area, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                      cell.option->fontMetrics.elidedText(text, Qt::ElideRight, area.width()));
}

// ====================================================================== navigator

TDBNavigator::TDBNavigator(const QString &name, QWidget *parent) : QWidget(parent)
{
    setObjectName(name);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(1);
    const struct {
        NavigateBtn which;
        const char *objectName;
        const char *hint;
        QStyle::StandardPixmap icon;
    } buttons[] = {{nbFirst, "btnFirst", "Primeiro registro", QStyle::SP_MediaSkipBackward},
                   {nbPrior, "btnPrior", "Registro anterior", QStyle::SP_MediaSeekBackward},
                   {nbNext, "btnNext", "Próximo registro", QStyle::SP_MediaSeekForward},
                   {nbLast, "btnLast", "Último registro", QStyle::SP_MediaSkipForward}};
    for (const auto &entry : buttons) {
        auto *button = new QToolButton(this);
        button->setObjectName(QString::fromLatin1(entry.objectName));
        button->setToolTip(QString::fromUtf8(entry.hint));
        button->setIcon(style()->standardIcon(entry.icon));
        button->setAutoRaise(true);
        connect(button, &QToolButton::clicked, this, [this, which = entry.which] { BtnClick(which); });
        layout->addWidget(button);
        m_buttons[entry.which] = button;
    }
    updateButtons();
}

void TDBNavigator::setDataSource(TDataSource *source)
{
    m_source = source;
    auto attach = [this] {
        if (m_dataset)
            disconnect(m_dataset, nullptr, this, nullptr);
        m_dataset = m_source ? m_source->DataSet() : nullptr;
        if (m_dataset) {
            connect(m_dataset, &Dataset::currentRowChanged, this, &TDBNavigator::updateButtons);
            connect(m_dataset, &Dataset::layoutReset, this, &TDBNavigator::updateButtons);
            connect(m_dataset, &Dataset::stateChanged, this, &TDBNavigator::updateButtons);
        }
        updateButtons();
    };
    if (m_source)
        connect(m_source, &TDataSource::dataSetChanged, this, attach);
    attach();
}

void TDBNavigator::BtnClick(NavigateBtn which)
{
    host::runGuarded([&] {
        if (Dataset *dataset = m_dataset) {
            switch (which) {
            case nbFirst: dataset->First(); break;
            case nbPrior: dataset->Prior(); break;
            case nbNext: dataset->Next(); break;
            case nbLast: dataset->Last(); break;
            }
        }
        if (OnClick)
            OnClick(*this, which);
    });
    updateButtons();
}

void TDBNavigator::updateButtons()
{
    const bool has = m_dataset && m_dataset->RecordCount() > 0;
    const int recNo = has ? m_dataset->RecNo() : 0;
    const bool editing = m_dataset && m_dataset->State() != dsBrowse;
    m_buttons[nbFirst]->setEnabled(has && (recNo > 1 || editing));
    m_buttons[nbPrior]->setEnabled(has && (recNo > 1 || editing));
    m_buttons[nbNext]->setEnabled(has && (recNo < m_dataset->RecordCount() || editing));
    m_buttons[nbLast]->setEnabled(has && (recNo < m_dataset->RecordCount() || editing));
}

// ====================================================================== label

TDBText::TDBText(const QString &name, QWidget *parent) : QLabel(parent) { setObjectName(name); }

void TDBText::setDataSource(TDataSource *source, const QString &fieldName)
{
    m_source = source;
    m_field = fieldName;
    auto attach = [this] {
        if (m_dataset)
            disconnect(m_dataset, nullptr, this, nullptr);
        m_dataset = m_source ? m_source->DataSet() : nullptr;
        if (m_dataset) {
            connect(m_dataset, &Dataset::currentRowChanged, this, &TDBText::refresh);
            connect(m_dataset, &Dataset::rowChanged, this, &TDBText::refresh);
            connect(m_dataset, &Dataset::layoutReset, this, &TDBText::refresh);
        }
        refresh();
    };
    if (m_source)
        connect(m_source, &TDataSource::dataSetChanged, this, attach);
    attach();
}

void TDBText::refresh()
{
    if (!m_dataset || m_dataset->fieldIndex(m_field) < 0) {
        clear();
        return;
    }
    setText(m_dataset->FieldByName(m_field).DisplayText());
}

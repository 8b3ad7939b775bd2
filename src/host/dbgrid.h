#pragma once

// Data-aware controls: a table model over a dataset, the grid that shows it (columns,
// titles, read-only columns, a choice button, owner drawing, the cursor kept in step with
// the dataset), the record navigator and a label that shows one field.

#include "host/datasource.h"

#include <QAbstractTableModel>
#include <QLabel>
#include <QPointer>
#include <QStyledItemDelegate>
#include <QTableView>

#include <functional>

class QToolButton;

struct GridColumn {
    GridColumn() = default;
    GridColumn(const QString &fieldName, const QString &title = {}, bool readOnly = false, bool hasButton = false)
        : fieldName(fieldName), title(title), readOnly(readOnly), hasButton(hasButton)
    {
    }
    QString fieldName;
    QString title;           // empty: the field's label
    bool readOnly = false;   // typing never changes this column
    bool hasButton = false;  // the editor shows a choice button ("...")
    int width = 0;           // pixels; 0: from the field size
    QString pattern;         // what may be typed (a regular expression); empty: anything
};

class DatasetModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit DatasetModel(QObject *parent = nullptr);

    void setDataSet(Dataset *dataset);
    Dataset *dataSet() const { return m_dataset; }
    // Without columns of its own the model shows the dataset's visible fields.
    void setColumns(const QList<GridColumn> &columns);
    QList<GridColumn> columns() const;
    int fieldOfColumn(int column) const;
    int columnOfField(const QString &fieldName) const;
    const GridColumn *columnAt(int column) const;

    void setReadOnly(bool readOnly);
    bool isReadOnly() const { return m_readOnly; }
    // Typing into cells (off: cells are changed only by code and choice buttons).
    void setEditing(bool editing);
    bool isEditing() const { return m_editing; }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    // Typing into a cell puts the dataset on its row, into edit, and sets the field.
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;

private:
    void reset();
    QPointer<Dataset> m_dataset;
    QList<GridColumn> m_columns;
    bool m_ownColumns = false;
    bool m_readOnly = false;
    bool m_editing = true;
};

class TDBGrid;

// One cell to draw, with the row it belongs to.
struct DrawCell {
    QPainter *painter = nullptr;
    QRect rect;
    const QStyleOptionViewItem *option = nullptr;
    int row = -1;  // grid row
    int column = -1;
    QString field;
    const Dataset *dataset = nullptr;
    const packet::Row *values = nullptr;
    bool selected = false;
    bool focused = false;
    RowView rowView() const { return RowView(*dataset, *values); }
    QString value(const QString &fieldName) const { return rowView().AsString(fieldName); }
};

class TDBGrid : public QTableView {
    Q_OBJECT
public:
    explicit TDBGrid(const QString &name = {}, QWidget *parent = nullptr);

    void setDataSource(TDataSource *source);
    TDataSource *DataSource() const { return m_source; }
    Dataset *dataSet() const { return m_model->dataSet(); }
    DatasetModel *datasetModel() const { return m_model; }

    void setColumns(const QList<GridColumn> &columns);
    QList<GridColumn> Columns() const { return m_model->columns(); }
    int columnOfField(const QString &fieldName) const { return m_model->columnOfField(fieldName); }
    // The field of the current column; empty without one.
    QString SelectedField() const;
    int SelectedIndex() const;
    void setSelectedIndex(int column);

    void setReadOnly(bool readOnly);
    bool ReadOnly() const { return m_model->isReadOnly(); }
    void setEditing(bool editing);
    bool Editing() const { return m_model->isEditing(); }

    // Hands what is being typed in a cell to the dataset (before a post).
    void commitEditor();
    // Columns fit the widest of their title and the texts they show (at most `maxWidth`
    // pixels); columns with a width of their own and those the operator resized keep theirs.
    // Run whenever the rows are read again.
    void fitColumnsToContent(int maxWidth = 360);
    // True when typing may change the column (neither it nor its field is read-only).
    bool isColumnTypable(int column) const;
    // True when the column itself is never typed into (it or its field is read-only), whatever
    // the grid's own state: Tab passes it by.
    bool isColumnReadOnly(int column) const;
    bool isEditingCell() const { return state() == QAbstractItemView::EditingState; }

    // Events. Handlers run inside the operation guard; OnKeyDown returns true when it
    // handled the key; OnDrawColumnCell returns true when it drew the cell itself.
    std::function<void(TDBGrid &)> OnCellClick;
    std::function<void(TDBGrid &, int column)> OnTitleClick;
    std::function<void(TDBGrid &)> OnColEnter;
    std::function<void(TDBGrid &)> OnColExit;
    std::function<void(TDBGrid &)> OnEditButtonClick;
    std::function<bool(TDBGrid &, QKeyEvent *)> OnKeyDown;
    std::function<bool(TDBGrid &, DrawCell &)> OnDrawColumnCell;
    // The operator moves off a row still being typed (in edit or insert): true lets the
    // cursor go (the handler has settled the row), false keeps it on the row. Without a
    // handler the row is posted as the dataset's own move does.
    std::function<bool(TDBGrid &)> OnLeavePendingRow;

    // Draws a cell the standard way (background, text 2 pixels in).
    void DefaultDrawColumnCell(DrawCell &cell);
    // What the cell shows as text.
    QString cellText(int row, int column) const;

protected:
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;
    void keyPressEvent(QKeyEvent *event) override;
    // Typing into a row that is browsed puts it in edit first, so that the commands show
    // it; a row the dataset keeps out of edit takes no typing.
    bool edit(const QModelIndex &index, EditTrigger trigger, QEvent *event) override;
    // Tab and Shift+Tab go from one column that takes typing to the next; on a grid that takes
    // no typing, from one column that is not read-only by itself to the next.
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;

private:
    friend class DBGridDelegate;
    void followDataset(int gridRow);
    void applyEditTriggers();
    void editorButtonClicked();

    DatasetModel *m_model;
    class DBGridDelegate *m_delegate;
    QPointer<TDataSource> m_source;
    bool m_syncing = false;
    bool m_fitting = false;
    QList<int> m_resizedByOperator;
};

enum NavigateBtn { nbFirst, nbPrior, nbNext, nbLast };

class TDBNavigator : public QWidget {
    Q_OBJECT
public:
    explicit TDBNavigator(const QString &name = {}, QWidget *parent = nullptr);
    void setDataSource(TDataSource *source);
    TDataSource *DataSource() const { return m_source; }
    QToolButton *button(NavigateBtn which) const { return m_buttons[which]; }
    // Moves as the button does, then runs OnClick (in the operation guard).
    void BtnClick(NavigateBtn which);
    std::function<void(TDBNavigator &, NavigateBtn)> OnClick;

private:
    void updateButtons();
    QPointer<TDataSource> m_source;
    QPointer<Dataset> m_dataset;
    QToolButton *m_buttons[4] = {};
};

// A label that shows one field of the current record.
class TDBText : public QLabel {
    Q_OBJECT
public:
    explicit TDBText(const QString &name = {}, QWidget *parent = nullptr);
    void setDataSource(TDataSource *source, const QString &fieldName);

private:
    void refresh();
    QPointer<TDataSource> m_source;
    QPointer<Dataset> m_dataset;
    QString m_field;
};

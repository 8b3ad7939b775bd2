#pragma once

// The host's own dialogs: message boxes, the detail error box, the pick list, the find
// dialog and the busy animation over the main window.

#include "host/dbgrid.h"
#include "host/hostui.h"

#include <QDialog>
#include <QPointer>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QTimer;

// A modeless animation with a caption, drawn over the main window. The screen does not
// pump window messages while it waits for the server, so the animation is painted at once
// when it appears and turns whenever events are processed.
class BusyIndicator : public QWidget {
    Q_OBJECT
public:
    explicit BusyIndicator(QWidget *parent);
    void start(const QString &caption);
    void stop();
    QString caption() const { return m_caption; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_caption;
    QTimer *m_timer;
    int m_angle = 0;
};

// Pick list over a dataset's visible fields, each column as wide as its texts; typing
// searches every column (or the one chosen, also by clicking its title) for the text
// anywhere in it, without regard to case, and says when no row holds it.
class PickListDialog : public QDialog {
    Q_OBJECT
public:
    PickListDialog(Dataset &dataset, const QString &caption, QWidget *parent = nullptr);
    ~PickListDialog() override;
    TDBGrid *grid() const { return m_grid; }
    QLineEdit *searchBox() const { return m_search; }
    QComboBox *columnBox() const { return m_columns; }
    QLabel *statusLabel() const { return m_status; }
    // true when a row was chosen; otherwise the dataset is put back where it stood.
    bool choose();

public slots:
    void accept() override;
    void reject() override;

private:
    void search(const QString &text);
    Dataset &m_dataset;
    TDataSource *m_source;
    TDBGrid *m_grid;
    QLineEdit *m_search;
    QComboBox *m_columns;  // "Todas as colunas", then each column's field
    QLabel *m_status;
    Dataset::Bookmark m_start;
};

// Find dialog: a field, a text, and how to compare; positions the dataset on the next row found.
class FindDialog : public QDialog {
    Q_OBJECT
public:
    FindDialog(Dataset &dataset, QWidget *parent = nullptr);
    QComboBox *fieldBox() const { return m_fields; }
    QLineEdit *valueBox() const { return m_value; }
    QCheckBox *partialBox() const { return m_partial; }
    QCheckBox *caseBox() const { return m_case; }
    // Searches once with what the dialog holds; true when a row was found.
    bool findNext();
    bool found() const { return m_found; }

private:
    Dataset &m_dataset;
    QComboBox *m_fields;
    QLineEdit *m_value;
    QCheckBox *m_partial;
    QCheckBox *m_case;
    QLabel *m_status;
    bool m_found = false;
};

class QtHostUi : public HostUi {
public:
    explicit QtHostUi(QWidget *mainWindow);
    ~QtHostUi() override;

    int showMessage(const QString &text, DialogType type, int buttons) override;
    void showDetailError(const QString &text, const QString &detail) override;
    void showBusy(const QString &caption) override;
    void hideBusy() override;
    int busyDepth() const override { return int(m_busyCaptions.size()); }
    bool pickFromList(Dataset &dataset, const QString &caption) override;
    bool findInDataset(Dataset &dataset) override;

    BusyIndicator *busyIndicator() const { return m_busy; }

private:
    QPointer<QWidget> m_mainWindow;
    QPointer<BusyIndicator> m_busy;
    QStringList m_busyCaptions;  // one per show still up, the latest last
};

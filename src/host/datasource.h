#pragma once

// The link between a dataset and the controls and handlers of a screen: grids, navigators
// and labels follow its dataset, and the screen hears of every state change (to set its
// commands) and every move or change of data through OnStateChange and OnDataChange.

#include "host/dataset.h"

#include <QObject>
#include <QPointer>

#include <functional>

class TDataSource : public QObject {
    Q_OBJECT
public:
    explicit TDataSource(const QString &name = {}, QObject *parent = nullptr, Dataset *dataset = nullptr);
    ~TDataSource() override;

    Dataset *DataSet() const { return m_dataset; }
    void setDataSet(Dataset *dataset);
    DataSetState State() const { return m_dataset ? m_dataset->State() : dsBrowse; }

    // Run directly by the dataset, inside the operation that caused them; an exception
    // thrown here goes up to whoever started that operation.
    std::function<void(TDataSource &)> OnStateChange;
    std::function<void(TDataSource &)> OnDataChange;

    // Called by the dataset.
    void stateChanged();
    void dataChanged();

signals:
    void dataSetChanged();

private:
    QPointer<Dataset> m_dataset;
};

#include "datasource.h"

TDataSource::TDataSource(const QString &name, QObject *parent, Dataset *dataset) : QObject(parent)
{
    setObjectName(name);
    setDataSet(dataset);
}

TDataSource::~TDataSource()
{
    if (m_dataset)
        m_dataset->detachSource(this);
}

void TDataSource::setDataSet(Dataset *dataset)
{
    if (m_dataset == dataset)
        return;
    if (m_dataset)
        m_dataset->detachSource(this);
    m_dataset = dataset;
    if (m_dataset)
        m_dataset->attachSource(this);
    emit dataSetChanged();
}

void TDataSource::stateChanged()
{
    if (OnStateChange)
        OnStateChange(*this);
}

void TDataSource::dataChanged()
{
    if (OnDataChange)
        OnDataChange(*this);
}

#include "miscmodel.h"

MiscModel::MiscModel(QObject *parent) : QAbstractTableModel(parent) {}

void MiscModel::setData(const QStringList &rows)
{
    beginResetModel();
    m_rows = rows;
    endResetModel();
}

void MiscModel::clear()
{
    if (m_rows.isEmpty())
        return;
    beginResetModel();
    m_rows.clear();
    endResetModel();
}

int MiscModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows.size();
}

int MiscModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 1;
}

QVariant MiscModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.column() != 0 || index.row() >= m_rows.size())
        return QVariant();
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return m_rows.at(index.row());
    return QVariant();
}

QVariant MiscModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    return QAbstractTableModel::headerData(section, orientation, role);
}

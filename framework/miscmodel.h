#pragma once

#include "oxaglobal.h"

#include <QAbstractTableModel>
#include <QStringList>

/** A one-column table of strings; subclasses name the rows through headerData(). */
class OXA_EXPORT MiscModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    explicit MiscModel(QObject *parent = nullptr);

    /// Replaces the rows (one reset).
    void setData(const QStringList &rows);
    using QAbstractTableModel::setData;
    void clear();
    QStringList rows() const { return m_rows; }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    QStringList m_rows;
};

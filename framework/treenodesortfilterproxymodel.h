#pragma once

#include "oxaglobal.h"

#include <QSortFilterProxyModel>

/**
 * Sorting and filtering proxy for TreeNodeModel: compares display texts naturally (digit runs
 * by value, case-insensitively); a node whose descendants match the filter stays.
 */
class OXA_EXPORT TreeNodeSortFilterProxyModel : public QSortFilterProxyModel
{
    Q_OBJECT
public:
    /// @p column is the column sorted first.
    explicit TreeNodeSortFilterProxyModel(int column = 0, QObject *parent = nullptr);

protected:
    bool lessThan(const QModelIndex &left, const QModelIndex &right) const override;
};

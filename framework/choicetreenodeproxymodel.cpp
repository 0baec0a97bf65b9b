#include "choicetreenodeproxymodel.h"

ChoiceTreeNodeProxyModel::ChoiceTreeNodeProxyModel(int column, int nameRole, int stateRole,
                                                   QObject *parent)
    : QIdentityProxyModel(parent), m_column(column), m_nameRole(nameRole), m_stateRole(stateRole)
{
}

void ChoiceTreeNodeProxyModel::setCheckedBlockedNames(const QSet<QString> &checked,
                                                      const QSet<QString> &blocked)
{
    m_loaded = checked;
    m_checked = checked;
    m_blocked = blocked;
    m_add.clear();
    m_remove.clear();
    const int rows = rowCount();
    if (rows > 0) {
        // One notice for the top level; rows below follow their parents in every view.
        emit dataChanged(index(0, 0), index(rows - 1, columnCount() - 1));
    }
}

void ChoiceTreeNodeProxyModel::clearAddRemoveNames()
{
    m_loaded = m_checked;
    m_add.clear();
    m_remove.clear();
}

QString ChoiceTreeNodeProxyModel::nameOf(const QModelIndex &index) const
{
    if (!index.isValid())
        return QString();
    const QModelIndex cell = index.sibling(index.row(), m_column);
    const QVariant name = QIdentityProxyModel::data(cell, m_nameRole);
    if (name.isValid() && !name.toString().isEmpty())
        return name.toString();
    return QIdentityProxyModel::data(cell, Qt::DisplayRole).toString();
}

QModelIndex ChoiceTreeNodeProxyModel::findNameBelow(const QModelIndex &parent,
                                                    const QString &name) const
{
    const int rows = rowCount(parent);
    for (int row = 0; row < rows; ++row) {
        const QModelIndex cell = index(row, m_column, parent);
        if (nameOf(cell) == name)
            return cell;
        const QModelIndex found = findNameBelow(index(row, 0, parent), name);
        if (found.isValid())
            return found;
    }
    return QModelIndex();
}

void ChoiceTreeNodeProxyModel::collectName(const QModelIndex &parent, const QString &name,
                                           QModelIndexList &out) const
{
    const int rows = rowCount(parent);
    for (int row = 0; row < rows; ++row) {
        const QModelIndex cell = index(row, m_column, parent);
        if (nameOf(cell) == name)
            out.append(cell);
        collectName(index(row, 0, parent), name, out);
    }
}

QModelIndex ChoiceTreeNodeProxyModel::findName(const QString &name) const
{
    return findNameBelow(QModelIndex(), name);
}

bool ChoiceTreeNodeProxyModel::setNameChecked(const QString &name, bool checked)
{
    const QModelIndex cell = findName(name);
    if (!cell.isValid() || m_blocked.contains(name))
        return false;
    return setData(cell, checked ? Qt::Checked : Qt::Unchecked, Qt::CheckStateRole);
}

QVariant ChoiceTreeNodeProxyModel::data(const QModelIndex &index, int role) const
{
    if (index.isValid() && index.column() == m_column) {
        if (role == Qt::CheckStateRole) {
            const QString name = nameOf(index);
            if (m_blocked.contains(name))
                return QVariant();
            return m_checked.contains(name) ? Qt::Checked : Qt::Unchecked;
        }
        if (role == m_stateRole && m_stateRole != m_nameRole) {
            const QString name = nameOf(index);
            if (m_blocked.contains(name))
                return int(ChoiceBlocked);
            return int(m_checked.contains(name) ? ChoiceChecked : ChoiceUnchecked);
        }
    }
    return QIdentityProxyModel::data(index, role);
}

bool ChoiceTreeNodeProxyModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!index.isValid() || index.column() != m_column || role != Qt::CheckStateRole)
        return QIdentityProxyModel::setData(index, value, role);
    const QString name = nameOf(index);
    if (name.isEmpty() || m_blocked.contains(name))
        return false;
    const bool checked = value.toInt() == Qt::Checked;
    if (checked == m_checked.contains(name))
        return true;
    if (checked) {
        m_checked.insert(name);
        if (m_loaded.contains(name))
            m_remove.remove(name);
        else
            m_add.insert(name);
    } else {
        m_checked.remove(name);
        if (m_loaded.contains(name))
            m_remove.insert(name);
        else
            m_add.remove(name);
    }
    // Every row with this name shows the same tick: tell the views of each.
    QModelIndexList same;
    collectName(QModelIndex(), name, same);
    if (!same.contains(index))
        same.append(index);
    for (const QModelIndex &cell : std::as_const(same))
        emit dataChanged(cell, cell, {Qt::CheckStateRole, m_stateRole});
    emit stateChanged();
    return true;
}

Qt::ItemFlags ChoiceTreeNodeProxyModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags f = QIdentityProxyModel::flags(index);
    if (!index.isValid() || index.column() != m_column)
        return f;
    if (m_blocked.contains(nameOf(index)))
        return f & ~Qt::ItemIsUserCheckable;
    return f | Qt::ItemIsUserCheckable;
}

#pragma once

#include "oxaglobal.h"
#include "treenodemodel.h"

#include <QIdentityProxyModel>
#include <QSet>

/**
 * Adds check boxes to the rows of a tree model, by name: rows whose name is in the checked set
 * start ticked, rows in the blocked set have no check box and cannot be changed. Records which
 * names the user ticked (addNames) and unticked (removeNames) since the last load.
 */
class OXA_EXPORT ChoiceTreeNodeProxyModel : public QIdentityProxyModel
{
    Q_OBJECT
public:
    /// The role the proxy adds (by default): a row's ChoiceState.
    enum Role
    {
        StateRole = TreeNodeModel::NameRole + 1
    };

    /**
     * @p column holds the check boxes and the names; @p nameRole is the role that gives a
     * row's name (the display text when it gives nothing); @p stateRole answers a row's choice
     * state (ChoiceState) for views and scripts.
     */
    ChoiceTreeNodeProxyModel(int column = 0, int nameRole = TreeNodeModel::NameRole,
                             int stateRole = StateRole, QObject *parent = nullptr);

    enum ChoiceState
    {
        ChoiceUnchecked = 0,
        ChoiceChecked = 1,
        ChoiceBlocked = 2
    };

    /// Loads the ticks: forgets pending changes; one dataChanged for the whole model.
    void setCheckedBlockedNames(const QSet<QString> &checked, const QSet<QString> &blocked);
    QSet<QString> checkedNames() const { return m_checked; }
    QSet<QString> blockedNames() const { return m_blocked; }
    /// Names ticked since the load that were not ticked then.
    QSet<QString> addNames() const { return m_add; }
    /// Names unticked since the load that were ticked then.
    QSet<QString> removeNames() const { return m_remove; }
    /// Forgets the pending changes; the current ticks become the loaded state.
    void clearAddRemoveNames();

    QString nameOf(const QModelIndex &index) const;
    /// Index (column of the check boxes) of the first row named @p name, depth first.
    QModelIndex findName(const QString &name) const;
    /// Ticks or unticks the row named @p name as a user would; false if there is none or it
    /// is blocked.
    bool setNameChecked(const QString &name, bool checked);

    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

signals:
    /// A tick changed through the user (not through a load).
    void stateChanged();

private:
    QModelIndex findNameBelow(const QModelIndex &parent, const QString &name) const;
    void collectName(const QModelIndex &parent, const QString &name, QModelIndexList &out) const;

    int m_column;
    int m_nameRole;
    int m_stateRole;
    QSet<QString> m_loaded;
    QSet<QString> m_checked;
    QSet<QString> m_blocked;
    QSet<QString> m_add;
    QSet<QString> m_remove;
};

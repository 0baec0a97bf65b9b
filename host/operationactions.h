#pragma once

#include <oxaglobal.h>

#include <QHash>
#include <QList>
#include <QObject>

class QAction;

/**
 * The window's actions for element operations (Start, Stop, Restart, Reload, Refresh,
 * Create..., Delete, Control, Clear cache, Enable at boot, Disable at boot) and for editing (Edit,
 * Apply, Cancel), each with its text, theme icon and object name.
 */
class OperationActions : public QObject
{
    Q_OBJECT
public:
    /// What an action stands for: one operation, the reads (Refresh), or an editing step.
    enum Kind
    {
        KindOperation,
        KindRefresh,
        KindEdit,
        KindApply,
        KindCancel
    };

    struct Entry
    {
        Kind kind;
        OperationType operation; ///< for KindOperation; OperationUpdate for KindEdit
        const char *text;
        const char *iconName;
        const char *objectName;
    };

    explicit OperationActions(QObject *parent = nullptr);

    /// Every entry, in menu order.
    static const QList<Entry> &entries();

    QList<QAction *> operationActions() const { return m_operationActions; }
    QList<QAction *> editActions() const { return m_editActions; }
    QAction *action(const QString &objectName) const;
    QAction *actionFor(OperationType operation) const { return m_byOperation.value(operation); }
    QAction *refreshAction() const { return m_refresh; }
    QAction *editAction() const { return m_edit; }
    QAction *applyAction() const { return m_apply; }
    QAction *cancelAction() const { return m_cancel; }

    /// Enables the operation actions by what @p available offers (none: all disabled).
    void setAvailable(OperationTypes available, bool canCreate);

signals:
    void operationTriggered(OperationType operation);
    void refreshTriggered();
    void editTriggered();
    void applyTriggered();
    void cancelTriggered();

private:
    QList<QAction *> m_operationActions;
    QList<QAction *> m_editActions;
    QHash<quint64, QAction *> m_byOperation;
    QAction *m_refresh = nullptr;
    QAction *m_edit = nullptr;
    QAction *m_apply = nullptr;
    QAction *m_cancel = nullptr;
};

#include "operationactions.h"

#include <QAction>
#include <QCoreApplication>
#include <QHash>
#include <QIcon>

#include <utility>

const QList<OperationActions::Entry> &OperationActions::entries()
{
    static const QList<Entry> all = {
        {KindOperation, OperationStart, QT_TR_NOOP("Start"), "media-playback-start",
         "_startAction"},
        {KindOperation, OperationStop, QT_TR_NOOP("Stop"), "media-playback-stop", "_stopAction"},
        {KindOperation, OperationRestart, QT_TR_NOOP("Restart"), "system-reboot", "_restartAction"},
        {KindOperation, OperationReload, QT_TR_NOOP("Reload"), "document-revert", "_reloadAction"},
        {KindRefresh, OperationNone, QT_TR_NOOP("Refresh"), "view-refresh", "_refreshAction"},
        {KindOperation, OperationCreate, QT_TR_NOOP("Create..."), "document-new", "_createAction"},
        {KindOperation, OperationDelete, QT_TR_NOOP("Delete"), "edit-delete", "_deleteAction"},
        {KindOperation, OperationControl, QT_TR_NOOP("Control"), "system-run", "_controlAction"},
        {KindOperation, OperationClearCache, QT_TR_NOOP("Clear cache"), "edit-clear",
         "_clearCacheAction"},
        {KindOperation, OperationEnableAtBoot, QT_TR_NOOP("Enable at boot"), "list-add",
         "_enableAtBootAction"},
        {KindOperation, OperationDisableAtBoot, QT_TR_NOOP("Disable at boot"), "list-remove",
         "_disableAtBootAction"},
        {KindEdit, OperationUpdate, QT_TR_NOOP("Edit"), "document-edit", "_editAction"},
        {KindApply, OperationNone, QT_TR_NOOP("Apply"), "dialog-ok-apply", "_applyAction"},
        {KindCancel, OperationNone, QT_TR_NOOP("Cancel"), "dialog-cancel", "_cancelAction"},
    };
    return all;
}

OperationActions::OperationActions(QObject *parent) : QObject(parent)
{
    // The actions that stand for no single operation: where each is kept, what it sends.
    using Slot = std::pair<QAction * OperationActions::*, void (OperationActions::*)()>;
    const QHash<int, Slot> special{
        {KindRefresh, {&OperationActions::m_refresh, &OperationActions::refreshTriggered}},
        {KindEdit, {&OperationActions::m_edit, &OperationActions::editTriggered}},
        {KindApply, {&OperationActions::m_apply, &OperationActions::applyTriggered}},
        {KindCancel, {&OperationActions::m_cancel, &OperationActions::cancelTriggered}},
    };
    for (const Entry &entry : entries()) {
        auto *action =
            new QAction(QIcon::fromTheme(QString::fromLatin1(entry.iconName)),
                        QCoreApplication::translate("OperationActions", entry.text), this);
        action->setObjectName(QString::fromLatin1(entry.objectName));
        action->setEnabled(false);
        if (entry.kind == KindOperation) {
            const OperationType operation = entry.operation;
            connect(action, &QAction::triggered, this,
                    [this, operation] { emit operationTriggered(operation); });
            m_byOperation.insert(operation, action);
            m_operationActions.append(action);
            continue;
        }
        const Slot slot = special.value(entry.kind);
        this->*slot.first = action;
        connect(action, &QAction::triggered, this, slot.second);
        (entry.kind == KindRefresh ? m_operationActions : m_editActions).append(action);
    }
    m_refresh->setShortcut(QKeySequence::Refresh);
}

QAction *OperationActions::action(const QString &objectName) const
{
    for (QAction *action : m_operationActions + m_editActions) {
        if (action->objectName() == objectName)
            return action;
    }
    return nullptr;
}

void OperationActions::setAvailable(OperationTypes available, bool canCreate)
{
    for (auto it = m_byOperation.cbegin(); it != m_byOperation.cend(); ++it) {
        bool enabled = (available & it.key()) != 0;
        if (it.key() == OperationCreate)
            enabled = enabled && canCreate;
        it.value()->setEnabled(enabled);
    }
    m_refresh->setEnabled((available & OperationReadMask) != 0);
}

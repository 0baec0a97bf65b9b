#include "operationactions.h"

#include <QAction>
#include <QCoreApplication>
#include <QIcon>

const QList<OperationActions::Entry> &OperationActions::entries()
{
    static const QList<Entry> all = {
        {KindOperation, OperationStart, QT_TRANSLATE_NOOP("OperationActions", "Start"),
         "media-playback-start", "_startAction"},
        {KindOperation, OperationStop, QT_TRANSLATE_NOOP("OperationActions", "Stop"),
         "media-playback-stop", "_stopAction"},
        {KindOperation, OperationRestart, QT_TRANSLATE_NOOP("OperationActions", "Restart"),
         "system-reboot", "_restartAction"},
        {KindOperation, OperationReload, QT_TRANSLATE_NOOP("OperationActions", "Reload"),
         "document-revert", "_reloadAction"},
        {KindRefresh, OperationNone, QT_TRANSLATE_NOOP("OperationActions", "Refresh"),
         "view-refresh", "_refreshAction"},
        {KindOperation, OperationCreate, QT_TRANSLATE_NOOP("OperationActions", "Create..."),
         "document-new", "_createAction"},
        {KindOperation, OperationDelete, QT_TRANSLATE_NOOP("OperationActions", "Delete"),
         "edit-delete", "_deleteAction"},
        {KindOperation, OperationControl, QT_TRANSLATE_NOOP("OperationActions", "Control"),
         "system-run", "_controlAction"},
        {KindOperation, OperationClearCache, QT_TRANSLATE_NOOP("OperationActions", "Clear cache"),
         "edit-clear", "_clearCacheAction"},
        {KindEdit, OperationUpdate, QT_TRANSLATE_NOOP("OperationActions", "Edit"), "document-edit",
         "_editAction"},
        {KindApply, OperationNone, QT_TRANSLATE_NOOP("OperationActions", "Apply"),
         "dialog-ok-apply", "_applyAction"},
        {KindCancel, OperationNone, QT_TRANSLATE_NOOP("OperationActions", "Cancel"),
         "dialog-cancel", "_cancelAction"},
    };
    return all;
}

OperationActions::OperationActions(QObject *parent) : QObject(parent)
{
    for (const Entry &entry : entries()) {
        auto *action =
            new QAction(QIcon::fromTheme(QString::fromLatin1(entry.iconName)),
                        QCoreApplication::translate("OperationActions", entry.text), this);
        action->setObjectName(QString::fromLatin1(entry.objectName));
        action->setEnabled(false);
        switch (entry.kind) {
        case KindOperation: {
            const OperationType operation = entry.operation;
            connect(action, &QAction::triggered, this,
                    [this, operation] { emit operationTriggered(operation); });
            m_byOperation.insert(operation, action);
            m_operationActions.append(action);
            break;
        }
        case KindRefresh:
            action->setShortcut(QKeySequence::Refresh);
            connect(action, &QAction::triggered, this, &OperationActions::refreshTriggered);
            m_refresh = action;
            m_operationActions.append(action);
            break;
        case KindEdit:
            connect(action, &QAction::triggered, this, &OperationActions::editTriggered);
            m_edit = action;
            m_editActions.append(action);
            break;
        case KindApply:
            connect(action, &QAction::triggered, this, &OperationActions::applyTriggered);
            m_apply = action;
            m_editActions.append(action);
            break;
        case KindCancel:
            connect(action, &QAction::triggered, this, &OperationActions::cancelTriggered);
            m_cancel = action;
            m_editActions.append(action);
            break;
        }
    }
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

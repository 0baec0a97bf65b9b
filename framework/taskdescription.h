#pragma once

#include "oxaglobal.h"

#include <QObject>
#include <QString>

class AbstractTask;

/**
 * What a task is (description) and how it ended (its outcome: status and message, set
 * together through AbstractTask::setOutcome()).
 */
class OXA_EXPORT TaskDescription
{
    Q_GADGET
public:
    enum TaskStatus {
        TaskStatusUndefined = 0,
        TaskStatusFailed = 1,
        TaskStatusDone = 2,
        TaskStatusWarning = 3,
        /// A change whose tool was left running when the wait for it ended: it may yet succeed
        /// or fail. Counts as a failure where a run must be judged (the batch exit code).
        TaskStatusUnknown = 4,
    };
    Q_ENUM(TaskStatus)

    QString description() const { return m_description; }
    void setDescription(const QString &description) { m_description = description; }
    TaskStatus status() const { return m_status; }
    QString message() const { return m_message; }

    bool isFailed() const { return m_status == TaskStatusFailed; }
    bool isUnknown() const { return m_status == TaskStatusUnknown; }
    /// Done, or done with a warning: what the task did is known to have happened.
    bool isSucceeded() const { return m_status == TaskStatusDone || m_status == TaskStatusWarning; }
    /// The status as a word for logs and reports ("failed", "done", "warning", "unknown",
    /// "undefined").
    static QString statusName(int status);

private:
    friend class AbstractTask;
    /// Status and message at once, so that no message outlives the status it explained.
    void setOutcome(TaskStatus status, const QString &message)
    {
        m_status = status;
        m_message = message;
    }

    QString m_description;
    TaskStatus m_status = TaskStatusUndefined;
    QString m_message;
};

#pragma once

#include "oxaglobal.h"

#include <QString>

/** What a task is (description) and how it ended (status and message). */
class OXA_EXPORT TaskDescription
{
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

    QString description() const { return m_description; }
    void setDescription(const QString &description) { m_description = description; }
    int status() const { return m_status; }
    void setStatus(int status) { m_status = status; }
    QString message() const { return m_message; }
    void setMessage(const QString &message) { m_message = message; }

    bool isFailed() const { return m_status == TaskStatusFailed; }
    bool isUnknown() const { return m_status == TaskStatusUnknown; }
    /// Done, or done with a warning: what the task did is known to have happened.
    bool isSucceeded() const { return m_status == TaskStatusDone || m_status == TaskStatusWarning; }
    /// The status as a word for logs and reports ("failed", "done", "warning", "unknown",
    /// "undefined").
    static QString statusName(int status);

private:
    QString m_description;
    int m_status = TaskStatusUndefined;
    QString m_message;
};

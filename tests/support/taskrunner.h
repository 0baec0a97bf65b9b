#pragma once

#include <QList>
#include <QObject>

#include "taskobserver.h"

class AbstractTask;

/**
 * Runs framework tasks for tests as the console does, through TaskObserver::instance(), and
 * waits until the observer is idle; keeps the report of every task that ended meanwhile.
 */
class TaskRunner : public QObject
{
    Q_OBJECT
public:
    /// Sets the framework's read limit to TestHost::ReadLimitMs.
    explicit TaskRunner(QObject *parent = nullptr);

    /**
     * Waits until the observer is idle, hands @p task to it (it owns the task from then on)
     * and waits until it is idle again. Returns the task's own report; the reports of tasks
     * it caused (its follow-ups, a read after an update) are in reports(). On time-out the
     * returned report has status TaskStatusUndefined and says so in its message.
     */
    TaskReport perform(AbstractTask *task, int timeoutMs = 60000);
    /// Waits for the tasks that operations started (Element::performOperation and the like).
    bool waitForIdle(int timeoutMs = 60000);

    /// Every report since construction or clear(), in the order the tasks ended.
    const QList<TaskReport> &reports() const { return m_reports; }
    void clear() { m_reports.clear(); }

private:
    QList<TaskReport> m_reports;
};

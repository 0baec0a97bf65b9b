#include "taskrunner.h"

#include "childprocess.h"
#include "testhost.h"

#include "tasks.h"

TaskRunner::TaskRunner(QObject *parent) : QObject(parent)
{
    ChildProcess::setReadLimitMs(TestHost::ReadLimitMs);
    connect(TaskObserver::instance(), &TaskObserver::taskFinished, this,
            [this](const TaskReport &report) { m_reports.append(report); });
}

TaskReport TaskRunner::perform(AbstractTask *task, int timeoutMs)
{
    TaskReport timedOut;
    timedOut.description = task ? task->taskDescription().description() : QString();
    TaskObserver *observer = TaskObserver::instance();
    if (!observer->waitForIdle(timeoutMs)) {
        delete task;
        timedOut.message = QStringLiteral("earlier tasks did not end within %1 ms").arg(timeoutMs);
        return timedOut;
    }
    // With the observer idle, the task's report is the first to come: the tasks it causes
    // (its follow-ups) start after its afterRun() and end after its own report.
    const int first = m_reports.size();
    observer->performTask(task);
    const bool idle = observer->waitForIdle(timeoutMs);
    if (m_reports.size() > first)
        return m_reports.at(first);
    timedOut.message = idle ? QStringLiteral("the task ended without a report")
                            : QStringLiteral("the task did not end within %1 ms").arg(timeoutMs);
    return timedOut;
}

bool TaskRunner::waitForIdle(int timeoutMs)
{
    return TaskObserver::instance()->waitForIdle(timeoutMs);
}

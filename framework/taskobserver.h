#pragma once

#include "oxaglobal.h"
#include "taskdescription.h"

#include <QObject>

#include <memory>

class AbstractTask;
class TaskObserverPrivate;

/** How a task ended, as the observer reports it. */
struct OXA_EXPORT TaskReport
{
    quint64 id = 0;
    QString description;
    TaskDescription::TaskStatus status = TaskDescription::TaskStatusUndefined;
    QString message;
    QString elementId;  ///< id of the task's element, or its title when it has no id
    qint64 endedMs = 0; ///< milliseconds from the console's start (when the program was executed)
                        ///< to the task's end
};

/**
 * Runs the console's tasks: run() on a small pool of worker threads, then on the GUI thread
 * afterRun() and what the task says follows it (AbstractTask::followUps()), then deletes the
 * task; a task whose element was deleted meanwhile gets neither. A task that set no outcome
 * is done. Tasks on the same element run one after another, in the order
 * they came; others may run at once, state reads first, background work (priority below zero)
 * only while nothing else is waiting or running. Reports each start and end, and tells when it
 * is idle.
 */
class OXA_EXPORT TaskObserver : public QObject
{
    Q_OBJECT
public:
    /// The process-wide observer (created on first call, on the GUI thread).
    static TaskObserver *instance(QObject *parent = nullptr);

    /// Takes ownership of @p task and schedules it. GUI thread only.
    void performTask(AbstractTask *task);

    bool isIdle() const;
    int pendingCount() const;
    int runningCount() const;
    int maxThreadCount() const;
    void setMaxThreadCount(int count);
    /// Milliseconds since the process started (the console's clock for reports).
    qint64 elapsedMs() const;

    /// Changes (AbstractTask::isChange) started and not ended yet.
    int runningChangeCount() const;
    /// Changes waiting to start.
    int waitingChangeCount() const;
    /**
     * Stops waiting for the running change @p id: its tool is left running, the task ends
     * with its outcome unknown and its element is read again. False when @p id is no running
     * change.
     */
    bool stopWaiting(quint64 id);
    /// Stops waiting for every running change (the console is about to end).
    void stopWaitingForChanges();

    /**
     * Processes events until no task is pending or running, or @p timeoutMs passed; true when
     * idle. For batch mode and tests only: never call it from a slot of the GUI.
     */
    bool waitForIdle(int timeoutMs = 120000);

signals:
    void taskStarted(quint64 id, const QString &description);
    /// A running task said how it goes (a change still running past the read limit): the
    /// report's status is TaskStatusUndefined, its message what the task said, endedMs now.
    void taskProgress(const TaskReport &report);
    void taskFinished(const TaskReport &report);
    void busyChanged(bool busy);
    void idle();

private:
    explicit TaskObserver(QObject *parent);
    ~TaskObserver() override;

    friend class TaskObserverPrivate;
    /// The queues, the worker pool and the clock: the observer's own business.
    const std::unique_ptr<TaskObserverPrivate> d;
};

Q_DECLARE_METATYPE(TaskReport)

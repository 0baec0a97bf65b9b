#pragma once

#include "oxaglobal.h"
#include "taskdescription.h"

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>

class AbstractTask;
class Element;
class FollowUp;
class QThreadPool;
class TaskEndQueue;

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
    int runningCount() const { return m_running; }
    int maxThreadCount() const;
    void setMaxThreadCount(int count);
    /// Milliseconds since the process started (the console's clock for reports).
    qint64 elapsedMs() const { return m_startMs + m_clock.elapsed(); }

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

private slots:
    void onTaskRun(quint64 id);
    void onTaskProgress(quint64 id);

private:
    explicit TaskObserver(QObject *parent);
    ~TaskObserver() override;

    struct Entry
    {
        quint64 id;
        AbstractTask *task;
        const void *key; ///< the element, or null: tasks of one key run in order
        int priority;
        bool change;
        QString description;
        QString elementId;
    };

    void dispatch();
    void dispatchLater();
    /// The one place where what follows a task is done (GUI thread).
    void performFollowUps(const QList<FollowUp> &followUps);
    bool keyBusy(const void *key) const;

    QThreadPool *m_pool;
    /// Ids of tasks whose run() ended, and (marked) of running tasks that said how they go,
    /// handed back by the workers in the order they came: what a task said comes before its end.
    TaskEndQueue *m_ended;
    QList<Entry> m_waiting;         ///< in arrival order
    QHash<quint64, Entry> m_active; ///< running, or ran and waiting for afterRun
    QHash<const void *, int> m_activeKeys;
    quint64 m_nextId = 1;
    int m_running = 0;
    int m_runningBackground = 0;
    bool m_dispatchQueued = false;
    QElapsedTimer m_clock;
    qint64 m_startMs = 0; ///< the process's age when the observer was made
};

Q_DECLARE_METATYPE(TaskReport)

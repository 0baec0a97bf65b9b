#include "taskobserver.h"

#include "element.h"
#include "taskdescription.h"
#include "tasks.h"
#include "tasks_p.h"
#include "threadannotations_p.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHash>
#include <QList>
#include <QPointer>
#include <QRunnable>
#include <QSet>
#include <QSocketNotifier>
#include <QThreadPool>
#include <QTimer>

#include <cerrno>
#include <ctime>
#include <functional>
#include <mutex>
#include <vector>

#include <sys/eventfd.h>
#include <unistd.h>

class TaskEndQueue;

namespace {
QPointer<TaskObserver> g_instance;

/// Marks the id of a task that said how it goes, in the queue of ended tasks (ids count up
/// from 1: they never reach it).
const quint64 ProgressMark = quint64(1) << 63;

/// Runs one task's run() on a worker thread, then hands its id back to the observer. The
/// observer outlives it: its destructor waits for the pool.
class TaskRunnable : public QRunnable
{
public:
    TaskRunnable(TaskEndQueue *ended, AbstractTask *task, quint64 id)
        : m_ended(ended), m_task(task), m_id(id)
    {
    }
    void run() override;

private:
    TaskEndQueue *m_ended;
    AbstractTask *m_task;
    quint64 m_id;
};

/// The console's own start: when this library was loaded, right after the program was
/// executed, so that the console's clock includes loading the libraries and Qt's start-up. Not
/// the process's start: a process may run a while before it executes the console (run-console's
/// shell builds the project first, then replaces itself with the console).
struct LoadTime
{
    timespec at{};
    LoadTime() { clock_gettime(CLOCK_MONOTONIC, &at); }
};
const LoadTime loadTime;

/// Milliseconds since the console started.
qint64 consoleAgeMs()
{
    timespec now;
    if (clock_gettime(CLOCK_MONOTONIC, &now) != 0)
        return 0;
    const qint64 age = (qint64(now.tv_sec) - qint64(loadTime.at.tv_sec)) * 1000 +
                       (now.tv_nsec - loadTime.at.tv_nsec) / 1000000;
    return age > 0 ? age : 0;
}
} // namespace

/**
 * Hands the ids of tasks whose run() ended back to the observer's thread: a list under a
 * std::mutex, and an eventfd that wakes the observer's event loop. The workers share nothing
 * of Qt's event queue with the GUI thread, so every hand-over is one ThreadSanitizer sees (Qt
 * is not built with it, and its queue's locks are hidden from it).
 */
class TaskEndQueue : public QObject
{
public:
    TaskEndQueue(QObject *parent, std::function<void(quint64)> onEnd)
        : QObject(parent), m_onEnd(std::move(onEnd)), m_fd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
    {
        if (m_fd >= 0) {
            auto *notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
            connect(notifier, &QSocketNotifier::activated, this, &TaskEndQueue::collect);
        }
    }
    ~TaskEndQueue() override
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }

    /// Any thread.
    void push(quint64 id)
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_ids.push_back(id);
        }
        if (m_fd >= 0) {
            const quint64 one = 1;
            while (::write(m_fd, &one, sizeof one) < 0 && errno == EINTR) {
            }
        } else {
            QMetaObject::invokeMethod(this, &TaskEndQueue::collect, Qt::QueuedConnection);
        }
    }

private:
    void collect()
    {
        quint64 count;
        if (m_fd >= 0)
            while (::read(m_fd, &count, sizeof count) < 0 && errno == EINTR) {
            }
        std::vector<quint64> ids;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            ids.swap(m_ids);
        }
        for (quint64 id : ids)
            m_onEnd(id);
    }

    std::function<void(quint64)> m_onEnd;
    int m_fd;
    std::mutex m_mutex;
    std::vector<quint64> m_ids;
};

void TaskRunnable::run()
{
    OxaThreads::takeOver(this);
    m_task->run();
    m_ended->push(m_id);
}

/** The observer's queues, its worker pool and its clock. */
class TaskObserverPrivate
{
public:
    explicit TaskObserverPrivate(TaskObserver *observer);

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
    void onTaskRun(quint64 id);
    void onTaskProgress(quint64 id);
    /// The one place where what follows a task is done (GUI thread).
    void performFollowUps(const QList<FollowUp> &followUps);
    bool keyBusy(const void *key) const;
    bool isIdle() const { return waiting.isEmpty() && active.isEmpty(); }

    TaskObserver *const q;
    QThreadPool *pool;
    /// Ids of tasks whose run() ended, and (marked) of running tasks that said how they go,
    /// handed back by the workers in the order they came: what a task said comes before its end.
    TaskEndQueue *endQueue;
    QList<Entry> waiting;         ///< in arrival order
    QHash<quint64, Entry> active; ///< running, or ran and waiting for afterRun
    QHash<const void *, int> activeKeys;
    quint64 nextId = 1;
    int running = 0;
    int runningBackground = 0;
    bool dispatchQueued = false;
    QElapsedTimer clock;
    qint64 startMs = 0; ///< the process's age when the observer was made
};

TaskObserverPrivate::TaskObserverPrivate(TaskObserver *observer)
    : q(observer), pool(new QThreadPool(observer)),
      endQueue(new TaskEndQueue(observer, [this](quint64 id) {
          if (id & ProgressMark)
              onTaskProgress(id & ~ProgressMark);
          else
              onTaskRun(id);
      }))
{
}

TaskObserver *TaskObserver::instance(QObject *parent)
{
    if (!g_instance)
        g_instance = new TaskObserver(parent ? parent : QCoreApplication::instance());
    return g_instance;
}

TaskObserver::TaskObserver(QObject *parent)
    : QObject(parent), d(std::make_unique<TaskObserverPrivate>(this))
{
    qRegisterMetaType<TaskReport>("TaskReport");
    // Tasks mostly wait for child processes: more threads than cores pay off. Enough for the
    // state reads of every service at once (a dozen at start-up), so that the slowest of
    // them never waits for a thread.
    d->pool->setMaxThreadCount(16);
    d->pool->setExpiryTimeout(30000);
    d->clock.start();
    d->startMs = consoleAgeMs();
}

TaskObserver::~TaskObserver()
{
    // Let running tasks end (each is bounded by its own time limits), then drop the rest.
    d->pool->waitForDone();
    for (const TaskObserverPrivate::Entry &entry : std::as_const(d->waiting))
        delete entry.task;
    for (const TaskObserverPrivate::Entry &entry : std::as_const(d->active))
        delete entry.task;
    d->waiting.clear();
    d->active.clear();
}

void TaskObserver::performTask(AbstractTask *task)
{
    if (!task)
        return;
    TaskObserverPrivate::Entry entry;
    entry.id = d->nextId++;
    entry.task = task;
    Element *element = task->taskElement();
    entry.key = element;
    entry.priority = task->priority();
    entry.change = task->isChange();
    entry.description = task->taskDescription().description();
    if (element)
        entry.elementId = element->id().isEmpty() ? element->title() : element->id();
    const bool wasIdle = isIdle();
    d->waiting.append(entry);
    if (wasIdle)
        emit busyChanged(true);
    // Background work never starts from here: what the caller asks for next in the same turn
    // (the start's state reads, after the attaches of the build) goes first.
    if (entry.priority < 0)
        d->dispatchLater();
    else
        d->dispatch();
}

void TaskObserverPrivate::dispatchLater()
{
    if (dispatchQueued)
        return;
    dispatchQueued = true;
    QMetaObject::invokeMethod(
        q,
        [this] {
            dispatchQueued = false;
            dispatch();
        },
        Qt::QueuedConnection);
}

bool TaskObserver::isIdle() const
{
    return d->isIdle();
}

int TaskObserver::pendingCount() const
{
    return d->waiting.size() + d->active.size();
}

int TaskObserver::runningCount() const
{
    return d->running;
}

qint64 TaskObserver::elapsedMs() const
{
    return d->startMs + d->clock.elapsed();
}

int TaskObserver::maxThreadCount() const
{
    return d->pool->maxThreadCount();
}

void TaskObserver::setMaxThreadCount(int count)
{
    d->pool->setMaxThreadCount(qMax(1, count));
    d->dispatch();
}

bool TaskObserverPrivate::keyBusy(const void *key) const
{
    return key && activeKeys.value(key) > 0;
}

void TaskObserverPrivate::dispatch()
{
    // Background tasks take at most half of the threads, so that others find one free.
    const int backgroundLimit = qMax(1, pool->maxThreadCount() / 2);
    while (running < pool->maxThreadCount() && !waiting.isEmpty()) {
        // The first waiting task of the highest priority whose element is free; a task never
        // overtakes an earlier one on the same element.
        int best = -1;
        QSet<const void *> queuedKeys;
        for (int i = 0; i < waiting.size(); ++i) {
            const Entry &e = waiting.at(i);
            const bool eligible = !keyBusy(e.key) && !(e.key && queuedKeys.contains(e.key));
            if (e.key)
                queuedKeys.insert(e.key);
            if (eligible && (best < 0 || e.priority > waiting.at(best).priority))
                best = i;
        }
        if (best < 0)
            return;
        // Background work waits while anything else runs: it must not take threads, or the
        // processors, from the reads the user is waiting for. What is left waiting here cannot
        // start now (its element is busy), and it never waits for background work.
        const bool background = waiting.at(best).priority < 0;
        if (background && (running > runningBackground || runningBackground >= backgroundLimit))
            return;
        const Entry entry = waiting.takeAt(best);
        active.insert(entry.id, entry);
        if (entry.key)
            ++activeKeys[entry.key];
        ++running;
        if (background)
            ++runningBackground;
        emit q->taskStarted(entry.id, entry.description);
        TaskEndQueue *queue = endQueue;
        const quint64 id = entry.id;
        AbstractTaskPrivate::get(entry.task)->setProgressHook([queue, id] {
            queue->push(id | ProgressMark);
        });
        auto *runnable = new TaskRunnable(queue, entry.task, entry.id);
        OxaThreads::handOver(runnable);
        pool->start(runnable);
    }
}

void TaskObserverPrivate::onTaskRun(quint64 id)
{
    auto it = active.find(id);
    if (it == active.end())
        return;
    const Entry entry = it.value();
    --running;
    if (entry.priority < 0)
        --runningBackground;
    AbstractTask *task = entry.task;
    // A task that said nothing of how it ended is done: no override has to remember that.
    if (task->status() == TaskDescription::TaskStatusUndefined)
        task->setOutcome(TaskDescription::TaskStatusDone, task->taskDescription().message());
    if (task->isTargetAlive()) {
        task->afterRun();
        // afterRun() may have taken the element away; then nothing follows either.
        if (task->isTargetAlive())
            performFollowUps(task->followUps());
    }
    active.remove(id);
    if (entry.key) {
        if (--activeKeys[entry.key] <= 0)
            activeKeys.remove(entry.key);
    }
    TaskReport report;
    report.id = id;
    report.description = task->taskDescription().description();
    report.status = task->taskDescription().status();
    report.message = task->taskDescription().message();
    report.elementId = entry.elementId;
    report.endedMs = q->elapsedMs();
    delete task;
    emit q->taskFinished(report);
    dispatch();
    if (isIdle()) {
        emit q->busyChanged(false);
        emit q->idle();
    }
}

void TaskObserverPrivate::performFollowUps(const QList<FollowUp> &followUps)
{
    for (const FollowUp &followUp : followUps) {
        // An earlier one may have removed this one's element.
        Element *element = followUp.element();
        if (!element)
            continue;
        if (followUp.kind() == FollowUp::Remove)
            delete element; // leaves its parent first
        else if (element->isOperationAvailable(followUp.operation()))
            element->performOperation(followUp.operation(), nullptr, 0);
    }
}

void TaskObserverPrivate::onTaskProgress(quint64 id)
{
    // A task that ended meanwhile has said all there is in its end report.
    const auto it = active.constFind(id);
    if (it == active.cend())
        return;
    TaskReport report;
    report.id = id;
    report.description = it->description;
    report.status = TaskDescription::TaskStatusUndefined;
    report.message = it->task->progressMessage();
    report.elementId = it->elementId;
    report.endedMs = q->elapsedMs();
    emit q->taskProgress(report);
}

int TaskObserver::runningChangeCount() const
{
    int count = 0;
    for (const TaskObserverPrivate::Entry &entry : d->active)
        count += entry.change ? 1 : 0;
    return count;
}

int TaskObserver::waitingChangeCount() const
{
    int count = 0;
    for (const TaskObserverPrivate::Entry &entry : d->waiting)
        count += entry.change ? 1 : 0;
    return count;
}

bool TaskObserver::stopWaiting(quint64 id)
{
    const auto it = d->active.constFind(id);
    if (it == d->active.cend() || !it->change)
        return false;
    it->task->stopWaiting();
    return true;
}

void TaskObserver::stopWaitingForChanges()
{
    for (const TaskObserverPrivate::Entry &entry : std::as_const(d->active)) {
        if (entry.change)
            entry.task->stopWaiting();
    }
}

bool TaskObserver::waitForIdle(int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!isIdle()) {
        const qint64 left = timeoutMs - clock.elapsed();
        if (left <= 0)
            return false;
        QEventLoop loop;
        QTimer timer;
        timer.setSingleShot(true);
        connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
        connect(this, &TaskObserver::idle, &loop, &QEventLoop::quit);
        timer.start(int(left));
        loop.exec();
    }
    return true;
}

#include "taskobserver.h"

#include "element.h"
#include "taskdescription.h"
#include "tasks.h"
#include "threadannotations.h"

#include <QCoreApplication>
#include <QEventLoop>
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

TaskObserver *TaskObserver::instance(QObject *parent)
{
    if (!g_instance)
        g_instance = new TaskObserver(parent ? parent : QCoreApplication::instance());
    return g_instance;
}

TaskObserver::TaskObserver(QObject *parent)
    : QObject(parent), m_pool(new QThreadPool(this)),
      m_ended(new TaskEndQueue(this, [this](quint64 id) {
          if (id & ProgressMark)
              onTaskProgress(id & ~ProgressMark);
          else
              onTaskRun(id);
      }))
{
    qRegisterMetaType<TaskReport>("TaskReport");
    // Tasks mostly wait for child processes: more threads than cores pay off. Enough for the
    // state reads of every service at once (a dozen at start-up), so that the slowest of
    // them never waits for a thread.
    m_pool->setMaxThreadCount(16);
    m_pool->setExpiryTimeout(30000);
    m_clock.start();
    m_startMs = consoleAgeMs();
}

TaskObserver::~TaskObserver()
{
    // Let running tasks end (each is bounded by its own time limits), then drop the rest.
    m_pool->waitForDone();
    for (const Entry &entry : std::as_const(m_waiting))
        delete entry.task;
    for (const Entry &entry : std::as_const(m_active))
        delete entry.task;
    m_waiting.clear();
    m_active.clear();
}

void TaskObserver::performTask(AbstractTask *task)
{
    if (!task)
        return;
    Entry entry;
    entry.id = m_nextId++;
    entry.task = task;
    Element *element = task->taskElement();
    entry.key = element;
    entry.priority = task->priority();
    entry.change = task->isChange();
    entry.description = task->taskDescription().description();
    if (element)
        entry.elementId = element->id().isEmpty() ? element->title() : element->id();
    const bool wasIdle = isIdle();
    m_waiting.append(entry);
    if (wasIdle)
        emit busyChanged(true);
    // Background work never starts from here: what the caller asks for next in the same turn
    // (the start's state reads, after the attaches of the build) goes first.
    if (entry.priority < 0)
        dispatchLater();
    else
        dispatch();
}

void TaskObserver::dispatchLater()
{
    if (m_dispatchQueued)
        return;
    m_dispatchQueued = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_dispatchQueued = false;
            dispatch();
        },
        Qt::QueuedConnection);
}

bool TaskObserver::isIdle() const
{
    return m_waiting.isEmpty() && m_active.isEmpty();
}

int TaskObserver::pendingCount() const
{
    return m_waiting.size() + m_active.size();
}

int TaskObserver::maxThreadCount() const
{
    return m_pool->maxThreadCount();
}

void TaskObserver::setMaxThreadCount(int count)
{
    m_pool->setMaxThreadCount(qMax(1, count));
    dispatch();
}

bool TaskObserver::keyBusy(const void *key) const
{
    return key && m_activeKeys.value(key) > 0;
}

void TaskObserver::dispatch()
{
    // Background tasks take at most half of the threads, so that others find one free.
    const int backgroundLimit = qMax(1, m_pool->maxThreadCount() / 2);
    while (m_running < m_pool->maxThreadCount() && !m_waiting.isEmpty()) {
        // The first waiting task of the highest priority whose element is free; a task never
        // overtakes an earlier one on the same element.
        int best = -1;
        QSet<const void *> queuedKeys;
        for (int i = 0; i < m_waiting.size(); ++i) {
            const Entry &e = m_waiting.at(i);
            const bool eligible = !keyBusy(e.key) && !(e.key && queuedKeys.contains(e.key));
            if (e.key)
                queuedKeys.insert(e.key);
            if (eligible && (best < 0 || e.priority > m_waiting.at(best).priority))
                best = i;
        }
        if (best < 0)
            return;
        // Background work waits while anything else runs: it must not take threads, or the
        // processors, from the reads the user is waiting for. What is left waiting here cannot
        // start now (its element is busy), and it never waits for background work.
        const bool background = m_waiting.at(best).priority < 0;
        if (background &&
            (m_running > m_runningBackground || m_runningBackground >= backgroundLimit))
            return;
        const Entry entry = m_waiting.takeAt(best);
        m_active.insert(entry.id, entry);
        if (entry.key)
            ++m_activeKeys[entry.key];
        ++m_running;
        if (background)
            ++m_runningBackground;
        emit taskStarted(entry.id, entry.description);
        TaskEndQueue *ended = m_ended;
        const quint64 id = entry.id;
        entry.task->setProgressHook([ended, id] { ended->push(id | ProgressMark); });
        auto *runnable = new TaskRunnable(m_ended, entry.task, entry.id);
        OxaThreads::handOver(runnable);
        m_pool->start(runnable);
    }
}

void TaskObserver::onTaskRun(quint64 id)
{
    auto it = m_active.find(id);
    if (it == m_active.end())
        return;
    const Entry entry = it.value();
    --m_running;
    if (entry.priority < 0)
        --m_runningBackground;
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
    m_active.remove(id);
    if (entry.key) {
        if (--m_activeKeys[entry.key] <= 0)
            m_activeKeys.remove(entry.key);
    }
    TaskReport report;
    report.id = id;
    report.description = task->taskDescription().description();
    report.status = task->taskDescription().status();
    report.message = task->taskDescription().message();
    report.elementId = entry.elementId;
    report.endedMs = elapsedMs();
    delete task;
    emit taskFinished(report);
    dispatch();
    if (isIdle()) {
        emit busyChanged(false);
        emit idle();
    }
}

void TaskObserver::performFollowUps(const QList<FollowUp> &followUps)
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

void TaskObserver::onTaskProgress(quint64 id)
{
    // A task that ended meanwhile has said all there is in its end report.
    const auto it = m_active.constFind(id);
    if (it == m_active.cend())
        return;
    TaskReport report;
    report.id = id;
    report.description = it->description;
    report.status = TaskDescription::TaskStatusUndefined;
    report.message = it->task->progressMessage();
    report.elementId = it->elementId;
    report.endedMs = elapsedMs();
    emit taskProgress(report);
}

int TaskObserver::runningChangeCount() const
{
    int count = 0;
    for (const Entry &entry : m_active)
        count += entry.change ? 1 : 0;
    return count;
}

int TaskObserver::waitingChangeCount() const
{
    int count = 0;
    for (const Entry &entry : m_waiting)
        count += entry.change ? 1 : 0;
    return count;
}

bool TaskObserver::stopWaiting(quint64 id)
{
    const auto it = m_active.constFind(id);
    if (it == m_active.cend() || !it->change)
        return false;
    it->task->stopWaiting();
    return true;
}

void TaskObserver::stopWaitingForChanges()
{
    for (const Entry &entry : std::as_const(m_active)) {
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

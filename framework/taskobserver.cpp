#include "taskobserver.h"

#include "element.h"
#include "tasks.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QPointer>
#include <QRunnable>
#include <QSet>
#include <QThreadPool>
#include <QTimer>

namespace {
QPointer<TaskObserver> g_instance;
}

TaskObserver *TaskObserver::instance(QObject *parent)
{
    if (!g_instance)
        g_instance = new TaskObserver(parent ? parent : QCoreApplication::instance());
    return g_instance;
}

TaskObserver::TaskObserver(QObject *parent) : QObject(parent), m_pool(new QThreadPool(this))
{
    qRegisterMetaType<TaskReport>("TaskReport");
    // Tasks mostly wait for child processes: more threads than cores pay off.
    m_pool->setMaxThreadCount(8);
    m_pool->setExpiryTimeout(30000);
    m_clock.start();
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
    entry.description = task->taskDescription().description();
    if (element)
        entry.elementId = element->id().isEmpty() ? element->title() : element->id();
    const bool wasIdle = isIdle();
    m_waiting.append(entry);
    if (wasIdle)
        emit busyChanged(true);
    dispatch();
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
        const Entry entry = m_waiting.takeAt(best);
        m_active.insert(entry.id, entry);
        if (entry.key)
            ++m_activeKeys[entry.key];
        ++m_running;
        emit taskStarted(entry.id, entry.description);
        AbstractTask *task = entry.task;
        const quint64 id = entry.id;
        QPointer<TaskObserver> self(this);
        m_pool->start(QRunnable::create([task, id, self] {
            task->run();
            if (self)
                QMetaObject::invokeMethod(self, [self, id] { if (self) self->onTaskRun(id); },
                                          Qt::QueuedConnection);
        }));
    }
}

void TaskObserver::onTaskRun(quint64 id)
{
    auto it = m_active.find(id);
    if (it == m_active.end())
        return;
    const Entry entry = it.value();
    --m_running;
    AbstractTask *task = entry.task;
    if (task->isTargetAlive())
        task->afterRun();
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
    report.endedMs = m_clock.elapsed();
    delete task;
    emit taskFinished(report);
    dispatch();
    if (isIdle()) {
        emit busyChanged(false);
        emit idle();
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

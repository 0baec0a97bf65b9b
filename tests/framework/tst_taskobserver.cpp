// TaskObserver: threads, per-element order, priorities, reports and idleness.

#include "testobjects.h"

#include <servicetasks.h>
#include <taskobserver.h>
#include <tasks.h>

#include <QSemaphore>
#include <QSignalSpy>
#include <QThread>
#include <QtTest>

#include <mutex>

#include <unistd.h>

namespace {

/**
 * What the probe tasks did, in the order they did it, with the thread they did it on. Locked
 * with std::mutex: ThreadSanitizer sees its locks, not those of QMutex (Qt is not built with
 * it).
 */
class Journal
{
public:
    void add(const QString &event)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_events << event;
        m_threads << QThread::currentThread();
    }
    QStringList events() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_events;
    }
    QThread *threadOf(const QString &event) const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const int i = m_events.indexOf(event);
        return i < 0 ? nullptr : m_threads.at(i);
    }
    int indexOf(const QString &event) const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_events.indexOf(event);
    }
    QStringList only(const QString &prefix) const
    {
        QStringList out;
        for (const QString &event : events()) {
            if (event.startsWith(prefix))
                out << event;
        }
        return out;
    }

private:
    mutable std::mutex m_mutex;
    QStringList m_events;
    QList<QThread *> m_threads;
};

/** A task that logs its run, after-run and deletion, and may wait or fail on request. */
class ProbeTask : public ElementTask
{
public:
    ProbeTask(const QString &name, Element *element, Journal *journal)
        : ElementTask(element), m_name(name), m_journal(journal)
    {
        taskDescription().setDescription(name);
    }
    ~ProbeTask() override { m_journal->add(QStringLiteral("deleted:") + m_name); }

    QSemaphore *gate = nullptr;     ///< run waits for one token
    QSemaphore *signalOn = nullptr; ///< run releases one token when it starts
    int sleepMs = 0;
    int prio = 0;
    TaskDescription::TaskStatus finalStatus = TaskDescription::TaskStatusUndefined;
    QString finalMessage;
    std::function<void()> onAfterRun;
    QList<FollowUp> next; ///< what followUps() declares
    bool change = false;
    QString progress; ///< said once the run started

    bool isChange() const override { return change; }

    void run() override
    {
        m_journal->add(QStringLiteral("run:") + m_name);
        if (!progress.isEmpty())
            reportProgress(progress);
        if (signalOn)
            signalOn->release();
        // A change gives up waiting for its gate when told to, as runChangeTool() does.
        bool open = !gate;
        for (int waited = 0; !open && waited < 10000 && !isWaitStopped(); waited += 20)
            open = gate->tryAcquire(1, 20);
        if (!open && isWaitStopped()) {
            m_journal->add(QStringLiteral("stopped:") + m_name);
            setOutcome(TaskDescription::TaskStatusUnknown);
        } else if (!open) {
            fail(QStringLiteral("gate never opened"));
        }
        if (sleepMs)
            QThread::msleep(sleepMs);
        if (finalStatus != TaskDescription::TaskStatusUndefined || !finalMessage.isEmpty())
            setOutcome(finalStatus, finalMessage);
        m_journal->add(QStringLiteral("end:") + m_name);
    }
    void afterRun() override
    {
        m_journal->add(QStringLiteral("after:") + m_name);
        if (onAfterRun)
            onAfterRun();
    }
    int priority() const override { return prio; }
    QList<FollowUp> followUps() const override
    {
        m_journal->add(QStringLiteral("next:") + m_name);
        return next;
    }

private:
    QString m_name;
    Journal *m_journal;
};

Element *newElement(Module *module, const QString &id, const QString &title = QString())
{
    auto *element = new Element(module, grantAccess);
    element->setId(id);
    element->setTitle(title);
    module->appendElement(element);
    return element;
}

} // namespace

class TestTaskObserver : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void runsOffTheGuiThreadThenAfterRunThenDeletes();
    void tasksOnOneElementKeepOrder();
    void tasksOnDifferentElementsOverlap();
    void stateReadsGoFirst();
    void higherPriorityWaitsForEarlierTaskOnSameElement();
    void backgroundYieldsToWorkAskedForInTheSameTurn();
    void backgroundWaitsWhileOtherWorkRuns();
    void backgroundTakesAtMostHalfTheThreads();
    void supplementElementWorkIsBackground();
    void clockCountsFromProcessStart();
    void afterRunSkippedForDeletedElement();
    void followUps_data();
    void followUps();
    void reports_data();
    void reports();
    void busyAndIdle();
    void waitForIdleTimesOut();
    void taskFromAfterRunRunsAfterIt();
    void changesAreCountedAndWaitsStopped();

private:
    TaskObserver *m_observer = nullptr;
    Module *m_module = nullptr;
    Journal *m_journal = nullptr;
};

void TestTaskObserver::initTestCase()
{
    m_observer = TaskObserver::instance();
    QVERIFY(m_observer);
    QCOMPARE(TaskObserver::instance(), m_observer);
}

void TestTaskObserver::init()
{
    m_module = new Module(QStringLiteral("ProbeModule"));
    m_journal = new Journal;
}

void TestTaskObserver::cleanup()
{
    QVERIFY(m_observer->waitForIdle(30000));
    m_observer->setMaxThreadCount(8);
    delete m_module;
    delete m_journal;
}

void TestTaskObserver::runsOffTheGuiThreadThenAfterRunThenDeletes()
{
    Element *element = newElement(m_module, QStringLiteral("E"));
    m_observer->performTask(new ProbeTask(QStringLiteral("t"), element, m_journal));
    QVERIFY(m_observer->waitForIdle(10000));
    QCOMPARE(m_journal->events(),
             (QStringList{"run:t", "end:t", "after:t", "next:t", "deleted:t"}));
    QVERIFY(m_journal->threadOf(QStringLiteral("run:t")) != QThread::currentThread());
    QCOMPARE(m_journal->threadOf(QStringLiteral("after:t")), QThread::currentThread());
    QCOMPARE(m_journal->threadOf(QStringLiteral("next:t")), QThread::currentThread());
    QCOMPARE(m_journal->threadOf(QStringLiteral("deleted:t")), QThread::currentThread());
}

void TestTaskObserver::tasksOnOneElementKeepOrder()
{
    Element *element = newElement(m_module, QStringLiteral("E"));
    const int sleeps[] = {40, 0, 25, 0, 10, 0};
    QStringList expected;
    for (int i = 0; i < 6; ++i) {
        const QString name = QString::number(i);
        auto *task = new ProbeTask(name, element, m_journal);
        task->sleepMs = sleeps[i];
        m_observer->performTask(task);
        expected << QStringLiteral("run:") + name << QStringLiteral("end:") + name
                 << QStringLiteral("after:") + name << QStringLiteral("next:") + name
                 << QStringLiteral("deleted:") + name;
    }
    QVERIFY(m_observer->waitForIdle(10000));
    // Strictly one after another: the next run starts only once the previous has ended,
    // including its after-run.
    QCOMPARE(m_journal->events(), expected);
}

void TestTaskObserver::tasksOnDifferentElementsOverlap()
{
    // Each task waits until the other has started: they only both succeed when they run at
    // the same time.
    Element *e1 = newElement(m_module, QStringLiteral("E1"));
    Element *e2 = newElement(m_module, QStringLiteral("E2"));
    QSemaphore started1, started2;
    auto *t1 = new ProbeTask(QStringLiteral("1"), e1, m_journal);
    auto *t2 = new ProbeTask(QStringLiteral("2"), e2, m_journal);
    t1->signalOn = &started1;
    t1->gate = &started2;
    t2->signalOn = &started2;
    t2->gate = &started1;
    // And two tasks without an element.
    QSemaphore started3, started4;
    auto *t3 = new ProbeTask(QStringLiteral("3"), nullptr, m_journal);
    auto *t4 = new ProbeTask(QStringLiteral("4"), nullptr, m_journal);
    t3->signalOn = &started3;
    t3->gate = &started4;
    t4->signalOn = &started4;
    t4->gate = &started3;

    QList<TaskReport> reports;
    auto connection = connect(m_observer, &TaskObserver::taskFinished, this,
                              [&](const TaskReport &report) { reports << report; });
    for (ProbeTask *task : {t1, t2, t3, t4})
        m_observer->performTask(task);
    QVERIFY(m_observer->waitForIdle(30000));
    disconnect(connection);
    QCOMPARE(reports.size(), 4);
    for (const TaskReport &report : std::as_const(reports))
        QCOMPARE(report.status, TaskDescription::TaskStatusDone);
}

void TestTaskObserver::stateReadsGoFirst()
{
    m_observer->setMaxThreadCount(1);
    QSemaphore gate;
    auto *blocker = new ProbeTask(QStringLiteral("blocker"),
                                  newElement(m_module, QStringLiteral("B")), m_journal);
    blocker->gate = &gate;
    m_observer->performTask(blocker);
    for (const QString &name : {QStringLiteral("low1"), QStringLiteral("low2")}) {
        m_observer->performTask(new ProbeTask(name, newElement(m_module, name), m_journal));
    }
    auto *high =
        new ProbeTask(QStringLiteral("high"), newElement(m_module, QStringLiteral("H")), m_journal);
    high->prio = ReadPropertyLightServiceTask(nullptr).priority();
    QVERIFY(high->prio > AbstractTask().priority());
    m_observer->performTask(high);
    gate.release();
    QVERIFY(m_observer->waitForIdle(10000));
    QCOMPARE(m_journal->only(QStringLiteral("run:")),
             (QStringList{"run:blocker", "run:high", "run:low1", "run:low2"}));
}

void TestTaskObserver::higherPriorityWaitsForEarlierTaskOnSameElement()
{
    m_observer->setMaxThreadCount(1);
    QSemaphore gate;
    auto *blocker = new ProbeTask(QStringLiteral("blocker"),
                                  newElement(m_module, QStringLiteral("B")), m_journal);
    blocker->gate = &gate;
    m_observer->performTask(blocker);
    Element *shared = newElement(m_module, QStringLiteral("S"));
    m_observer->performTask(new ProbeTask(QStringLiteral("first"), shared, m_journal));
    auto *urgent = new ProbeTask(QStringLiteral("urgent"), shared, m_journal);
    urgent->prio = 10;
    m_observer->performTask(urgent);
    gate.release();
    QVERIFY(m_observer->waitForIdle(10000));
    QCOMPARE(m_journal->only(QStringLiteral("run:")),
             (QStringList{"run:blocker", "run:first", "run:urgent"}));
}

void TestTaskObserver::backgroundYieldsToWorkAskedForInTheSameTurn()
{
    // As at start-up: the build attaches the supplements (their reads), then the state reads
    // are asked for. The state reads go first though they came later.
    auto *background = new ProbeTask(QStringLiteral("background"),
                                     newElement(m_module, QStringLiteral("P")), m_journal);
    background->prio = -1;
    m_observer->performTask(background);
    QCOMPARE(m_observer->runningCount(), 0); // never started from performTask
    for (const QString &name : {QStringLiteral("state1"), QStringLiteral("state2")}) {
        auto *state = new ProbeTask(name, newElement(m_module, name), m_journal);
        state->prio = 10;
        state->sleepMs = 20;
        m_observer->performTask(state);
    }
    QVERIFY(m_observer->waitForIdle(10000));
    const QStringList runs = m_journal->only(QStringLiteral("run:"));
    QCOMPARE(runs.size(), 3);
    QCOMPARE(runs.last(), QStringLiteral("run:background"));
    // ... and only once both had ended.
    QVERIFY(m_journal->indexOf(QStringLiteral("run:background")) >
            m_journal->indexOf(QStringLiteral("end:state1")));
    QVERIFY(m_journal->indexOf(QStringLiteral("run:background")) >
            m_journal->indexOf(QStringLiteral("end:state2")));
}

void TestTaskObserver::backgroundWaitsWhileOtherWorkRuns()
{
    QSemaphore gate, started;
    auto *ordinary = new ProbeTask(QStringLiteral("ordinary"),
                                   newElement(m_module, QStringLiteral("O")), m_journal);
    ordinary->gate = &gate;
    ordinary->signalOn = &started;
    m_observer->performTask(ordinary);
    QVERIFY(started.tryAcquire(1, 10000));
    auto *background = new ProbeTask(QStringLiteral("background"),
                                     newElement(m_module, QStringLiteral("P")), m_journal);
    background->prio = -1;
    m_observer->performTask(background);
    // Free threads are not enough: the background task waits for the ordinary one.
    QTest::qWait(50);
    QCOMPARE(m_journal->indexOf(QStringLiteral("run:background")), -1);
    QCOMPARE(m_observer->runningCount(), 1);
    gate.release();
    QVERIFY(m_observer->waitForIdle(10000));
    QCOMPARE(m_journal->only(QStringLiteral("run:")),
             (QStringList{"run:ordinary", "run:background"}));
    // Alone, background work runs (and in order with the element's other tasks).
    Element *element = newElement(m_module, QStringLiteral("Q"));
    auto *alone = new ProbeTask(QStringLiteral("alone"), element, m_journal);
    alone->prio = -1;
    m_observer->performTask(alone);
    m_observer->performTask(new ProbeTask(QStringLiteral("next"), element, m_journal));
    QVERIFY(m_observer->waitForIdle(10000));
    QCOMPARE(m_journal->only(QStringLiteral("run:")).mid(2),
             (QStringList{"run:alone", "run:next"}));
}

void TestTaskObserver::backgroundTakesAtMostHalfTheThreads()
{
    m_observer->setMaxThreadCount(4);
    QSemaphore gate, started;
    QList<ProbeTask *> tasks;
    for (int i = 0; i < 4; ++i) {
        const QString name = QStringLiteral("bg%1").arg(i);
        auto *task = new ProbeTask(name, newElement(m_module, name), m_journal);
        task->prio = -1;
        task->gate = &gate;
        task->signalOn = &started;
        m_observer->performTask(task);
    }
    // They start from the event loop, never from performTask.
    QTRY_COMPARE_WITH_TIMEOUT(started.available(), 2, 10000);
    QTest::qWait(50);
    QCOMPARE(m_observer->runningCount(), 2);
    QCOMPARE(started.available(), 2);
    // A state read finds a free thread at once.
    QSemaphore stateStarted;
    auto *state = new ProbeTask(QStringLiteral("state"), newElement(m_module, QStringLiteral("S")),
                                m_journal);
    state->prio = 10;
    state->signalOn = &stateStarted;
    m_observer->performTask(state);
    QVERIFY(stateStarted.tryAcquire(1, 10000));
    gate.release(4);
    QVERIFY(m_observer->waitForIdle(10000));
    QCOMPARE(m_journal->only(QStringLiteral("end:bg")).size(), 4);
}

void TestTaskObserver::supplementElementWorkIsBackground()
{
    auto *supplement = new SupplementElement(m_module, grantAccess);
    m_module->appendElement(supplement);
    Element *plain = newElement(m_module, QStringLiteral("E"));
    QVERIFY(ElementTask(supplement).priority() < 0);
    QVERIFY(ReadPropertyHeavyTask(supplement).priority() < 0);
    QCOMPARE(ElementTask(plain).priority(), AbstractTask().priority());
    QCOMPARE(ElementTask(nullptr).priority(), AbstractTask().priority());
    QVERIFY(ReadPropertyLightServiceTask(plain).priority() > AbstractTask().priority());
}

void TestTaskObserver::clockCountsFromProcessStart()
{
    // The kernel's start time of this process, read independently of the observer.
    QFile stat(QStringLiteral("/proc/self/stat"));
    if (!stat.open(QIODevice::ReadOnly))
        QSKIP("no /proc/self/stat");
    QFile uptime(QStringLiteral("/proc/uptime"));
    QVERIFY(uptime.open(QIODevice::ReadOnly));
    const QByteArray line = stat.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    const double startedS = fields.at(19).toDouble() / sysconf(_SC_CLK_TCK);
    const double ageMs = (uptime.readAll().split(' ').first().toDouble() - startedS) * 1000;
    // The clock starts when the library is loaded, a little after the process started (a few
    // hundred milliseconds under a sanitizer's runtime). Both clocks tick in hundredths of a
    // second at best, and a slow machine may pause between the two readings.
    const qint64 observed = m_observer->elapsedMs();
    QVERIFY2(
        observed >= ageMs - 1000 && observed <= ageMs + 5000,
        qPrintable(QStringLiteral("observer %1 ms, process age %2 ms").arg(observed).arg(ageMs)));
}

void TestTaskObserver::afterRunSkippedForDeletedElement()
{
    Element *element = newElement(m_module, QStringLiteral("Gone"));
    QSemaphore gate, started;
    auto *task = new ProbeTask(QStringLiteral("t"), element, m_journal);
    task->gate = &gate;
    task->signalOn = &started;
    QSignalSpy finished(m_observer, &TaskObserver::taskFinished);
    m_observer->performTask(task);
    QVERIFY(started.tryAcquire(1, 10000));
    delete element;
    gate.release();
    QVERIFY(m_observer->waitForIdle(10000));
    QCOMPARE(m_journal->events(), (QStringList{"run:t", "end:t", "deleted:t"}));
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.at(0).at(0).value<TaskReport>().elementId, QStringLiteral("Gone"));
}

void TestTaskObserver::followUps_data()
{
    QTest::addColumn<QStringList>("declared"); // "operation@E" or "remove@F"
    QTest::addColumn<QString>("death");        // when E is deleted: "", "run", "afterRun"
    QTest::addColumn<QStringList>("performed");

    const QStringList none;
    QTest::newRow("one") << QStringList{"read-heavy@F"} << "" << QStringList{"read-heavy@F"};
    QTest::newRow("in order, each once")
        << QStringList{"read-heavy@F", "update@E", "read-heavy@E"} << ""
        << QStringList{"read-heavy@F", "update@E", "read-heavy@E"};
    // What the element does not offer then is not asked of it.
    QTest::newRow("not offered") << QStringList{"read-content@F", "read-heavy@F"} << ""
                                 << QStringList{"read-heavy@F"};
    QTest::newRow("remove") << QStringList{"remove@F"} << "" << none;
    QTest::newRow("removed element gets nothing more")
        << QStringList{"remove@F", "read-heavy@F", "read-heavy@E"} << ""
        << QStringList{"read-heavy@E"};
    // A task whose element died gets no after-run and nothing follows it.
    QTest::newRow("element died while running")
        << QStringList{"read-heavy@F", "remove@F"} << "run" << none;
    QTest::newRow("afterRun took the element away")
        << QStringList{"read-heavy@F", "remove@F"} << "afterRun" << none;
}

void TestTaskObserver::followUps()
{
    QFETCH(QStringList, declared);
    QFETCH(QString, death);
    QFETCH(QStringList, performed);

    QList<OperationCall> log;
    RecordingModule module(QStringLiteral("Recording"), &log);
    QPointer<Element> e = new ForwardingElement(&module, grantAccess);
    QPointer<Element> f = new ForwardingElement(&module, grantAccess);
    const QHash<QString, Element *> elements{{"E", e}, {"F", f}};
    auto *task = new ProbeTask(QStringLiteral("t"), e, m_journal);
    for (const QString &step : std::as_const(declared)) {
        Element *target = elements.value(step.section(QLatin1Char('@'), 1));
        const QString what = step.section(QLatin1Char('@'), 0, 0);
        task->next << (what == QLatin1String("remove")
                           ? FollowUp::remove(target)
                           : FollowUp::perform(target, operationFromName(what)));
    }
    QSemaphore gate, started;
    if (death == QLatin1String("run")) {
        task->gate = &gate;
        task->signalOn = &started;
    } else if (death == QLatin1String("afterRun")) {
        task->onAfterRun = [&e] { delete e.data(); };
    }
    m_observer->performTask(task);
    if (death == QLatin1String("run")) {
        QVERIFY(started.tryAcquire(1, 10000));
        delete e.data();
        gate.release();
    }
    QVERIFY(m_observer->waitForIdle(10000));

    QStringList done;
    for (const OperationCall &call : std::as_const(log))
        done << operationName(call.type) + QLatin1Char('@') + elements.key(call.element);
    QCOMPARE(done, performed);
    // Asked once, after the after-run and before the task goes; never for a dead element.
    const QStringList events = m_journal->events();
    if (death.isEmpty()) {
        QCOMPARE(m_journal->only(QStringLiteral("next:")).size(), 1);
        QVERIFY(events.indexOf("after:t") < events.indexOf("next:t"));
        QVERIFY(events.indexOf("next:t") < events.indexOf("deleted:t"));
    } else {
        QVERIFY(!events.contains("next:t"));
    }
    QCOMPARE(f.isNull(), declared.contains(QStringLiteral("remove@F")) && death.isEmpty());
    QCOMPARE(e.isNull(), !death.isEmpty());
    delete e.data();
    delete f.data();
}

void TestTaskObserver::reports_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("title");
    QTest::addColumn<TaskDescription::TaskStatus>("status");
    QTest::addColumn<QString>("message");
    QTest::addColumn<TaskDescription::TaskStatus>("reportedStatus");
    QTest::addColumn<QString>("reportedElement");

    QTest::newRow("no status is done")
        << "ServiceSamba"
        << "Samba" << TaskDescription::TaskStatusUndefined << QString()
        << TaskDescription::TaskStatusDone << "ServiceSamba";
    QTest::newRow("failed with message") << "ServiceSamba"
                                         << "Samba" << TaskDescription::TaskStatusFailed << "broken"
                                         << TaskDescription::TaskStatusFailed << "ServiceSamba";
    QTest::newRow("warning") << "X"
                             << "" << TaskDescription::TaskStatusWarning << "careful"
                             << TaskDescription::TaskStatusWarning << "X";
    QTest::newRow("title without id") << ""
                                      << "main-15" << TaskDescription::TaskStatusDone << ""
                                      << TaskDescription::TaskStatusDone << "main-15";
    QTest::newRow("unknown kept") << "X"
                                  << "" << TaskDescription::TaskStatusUnknown << "left running"
                                  << TaskDescription::TaskStatusUnknown << "X";
    QTest::newRow("message only: done, message kept")
        << "X"
        << "" << TaskDescription::TaskStatusUndefined << "note" << TaskDescription::TaskStatusDone
        << "X";
    QTest::newRow("no element") << "-"
                                << "" << TaskDescription::TaskStatusDone << ""
                                << TaskDescription::TaskStatusDone << "";
}

void TestTaskObserver::reports()
{
    QFETCH(QString, id);
    QFETCH(QString, title);
    QFETCH(TaskDescription::TaskStatus, status);
    QFETCH(QString, message);
    QFETCH(TaskDescription::TaskStatus, reportedStatus);
    QFETCH(QString, reportedElement);

    Element *element = id == QLatin1String("-") ? nullptr : newElement(m_module, id, title);
    auto *task = new ProbeTask(QStringLiteral("Reading"), element, m_journal);
    task->finalStatus = status;
    task->finalMessage = message;
    QSignalSpy started(m_observer, &TaskObserver::taskStarted);
    QSignalSpy finished(m_observer, &TaskObserver::taskFinished);
    const qint64 before = m_observer->elapsedMs();
    m_observer->performTask(task);
    QVERIFY(m_observer->waitForIdle(10000));
    QCOMPARE(started.count(), 1);
    QCOMPARE(finished.count(), 1);
    const TaskReport report = finished.at(0).at(0).value<TaskReport>();
    QCOMPARE(started.at(0).at(0).toULongLong(), report.id);
    QCOMPARE(started.at(0).at(1).toString(), QStringLiteral("Reading"));
    QCOMPARE(report.description, QStringLiteral("Reading"));
    QCOMPARE(report.status, reportedStatus);
    QCOMPARE(report.message, message);
    QCOMPARE(report.elementId, reportedElement);
    QVERIFY(report.endedMs >= before);
    QVERIFY(report.endedMs <= m_observer->elapsedMs());
}

void TestTaskObserver::busyAndIdle()
{
    QSignalSpy busy(m_observer, &TaskObserver::busyChanged);
    QSignalSpy idle(m_observer, &TaskObserver::idle);
    QSemaphore gate;
    Element *element = newElement(m_module, QStringLiteral("E"));
    auto *first = new ProbeTask(QStringLiteral("a"), element, m_journal);
    first->gate = &gate;
    m_observer->performTask(first);
    m_observer->performTask(new ProbeTask(QStringLiteral("b"), element, m_journal));
    m_observer->performTask(new ProbeTask(QStringLiteral("c"), nullptr, m_journal));
    QVERIFY(!m_observer->isIdle());
    QVERIFY(m_observer->pendingCount() >= 2);
    QCOMPARE(busy.count(), 1);
    QCOMPARE(busy.at(0).at(0).toBool(), true);
    gate.release();
    QVERIFY(m_observer->waitForIdle(10000));
    QVERIFY(m_observer->isIdle());
    QCOMPARE(m_observer->pendingCount(), 0);
    QCOMPARE(m_observer->runningCount(), 0);
    QCOMPARE(busy.count(), 2);
    QCOMPARE(busy.at(1).at(0).toBool(), false);
    QCOMPARE(idle.count(), 1);
    QVERIFY(m_observer->waitForIdle(0)); // already idle
}

void TestTaskObserver::waitForIdleTimesOut()
{
    QSemaphore gate;
    auto *task = new ProbeTask(QStringLiteral("slow"), nullptr, m_journal);
    task->gate = &gate;
    m_observer->performTask(task);
    QVERIFY(!m_observer->waitForIdle(200));
    gate.release();
    QVERIFY(m_observer->waitForIdle(10000));
}

void TestTaskObserver::taskFromAfterRunRunsAfterIt()
{
    Element *element = newElement(m_module, QStringLiteral("E"));
    auto *first = new ProbeTask(QStringLiteral("A"), element, m_journal);
    first->onAfterRun = [this, element] {
        m_observer->performTask(new ProbeTask(QStringLiteral("B"), element, m_journal));
    };
    QSignalSpy idle(m_observer, &TaskObserver::idle);
    m_observer->performTask(first);
    QVERIFY(m_observer->waitForIdle(10000));
    QCOMPARE(m_journal->events(),
             (QStringList{"run:A", "end:A", "after:A", "next:A", "deleted:A", "run:B", "end:B",
                          "after:B", "next:B", "deleted:B"}));
    QCOMPARE(idle.count(), 1); // not idle between A and B
}

void TestTaskObserver::changesAreCountedAndWaitsStopped()
{
    Element *element = newElement(m_module, QStringLiteral("E"));
    QSemaphore changeGate, readGate, started;
    auto *change = new ProbeTask(QStringLiteral("change"), element, m_journal);
    change->change = true;
    change->gate = &changeGate;
    change->signalOn = &started;
    change->progress = QStringLiteral("still at it");
    auto *read = new ProbeTask(QStringLiteral("read"), newElement(m_module, "F"), m_journal);
    read->gate = &readGate;
    read->signalOn = &started;
    auto *next = new ProbeTask(QStringLiteral("next"), element, m_journal);
    next->change = true; // waits behind the first change on the same element
    QSignalSpy startedSpy(m_observer, &TaskObserver::taskStarted);
    QSignalSpy progress(m_observer, &TaskObserver::taskProgress);
    QSignalSpy finished(m_observer, &TaskObserver::taskFinished);
    m_observer->performTask(change);
    m_observer->performTask(read);
    m_observer->performTask(next);
    QVERIFY(started.tryAcquire(2, 10000));
    QCOMPARE(m_observer->runningChangeCount(), 1);
    QCOMPARE(m_observer->waitingChangeCount(), 1);

    QTRY_COMPARE(progress.count(), 1);
    const TaskReport said = progress.at(0).at(0).value<TaskReport>();
    const quint64 changeId = startedSpy.at(0).at(0).toULongLong();
    const quint64 readId = startedSpy.at(1).at(0).toULongLong();
    QCOMPARE(said.id, changeId);
    QCOMPARE(said.description, QStringLiteral("change"));
    QCOMPARE(said.status, TaskDescription::TaskStatusUndefined);
    QCOMPARE(said.message, QStringLiteral("still at it"));
    QCOMPARE(said.elementId, QStringLiteral("E"));

    // Only a running change can be given up on; the read goes on as it was.
    QVERIFY(!m_observer->stopWaiting(readId));
    QVERIFY(!m_observer->stopWaiting(changeId + 1000));
    QVERIFY(m_observer->stopWaiting(changeId));
    readGate.release();
    QVERIFY(m_observer->waitForIdle(10000));
    QVERIFY(m_journal->events().contains("stopped:change"));
    QVERIFY(!m_journal->events().contains("stopped:read"));
    QCOMPARE(finished.count(), 3);
    for (const QList<QVariant> &arguments : std::as_const(finished)) {
        const TaskReport report = arguments.at(0).value<TaskReport>();
        QCOMPARE(report.status, int(report.id == changeId ? TaskDescription::TaskStatusUnknown
                                                          : TaskDescription::TaskStatusDone));
    }
    QVERIFY(m_journal->indexOf("stopped:change") < m_journal->indexOf("run:next"));
    QCOMPARE(m_observer->runningChangeCount(), 0);
    QCOMPARE(m_observer->waitingChangeCount(), 0);
}

QTEST_GUILESS_MAIN(TestTaskObserver)
#include "tst_taskobserver.moc"

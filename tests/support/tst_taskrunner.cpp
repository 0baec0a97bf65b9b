#include "taskrunner.h"
#include "tasks.h"
#include "testhost.h"

#include <QProcess>
#include <QSemaphore>
#include <QTest>
#include <QThread>

#include <functional>

namespace {

/** A task whose run() and afterRun() are given as functions; remembers their threads. */
class ProbeTask : public AbstractTask
{
public:
    ProbeTask(const QString &description, std::function<void(ProbeTask *)> work,
              std::function<void()> after = {})
        : m_work(std::move(work)), m_after(std::move(after))
    {
        taskDescription().setDescription(description);
    }
    ~ProbeTask() override { ++deleted; }

    void run() override
    {
        runThread = QThread::currentThread();
        m_work(this);
    }
    void afterRun() override
    {
        afterRunThread = QThread::currentThread();
        if (m_after)
            m_after();
    }

    static inline QThread *runThread = nullptr;
    static inline QThread *afterRunThread = nullptr;
    static inline int deleted = 0;

private:
    std::function<void(ProbeTask *)> m_work;
    std::function<void()> m_after;
};

} // namespace

/** Checks that TaskRunner drives tasks through the observer as the console does. */
class TestTaskRunner : public QObject
{
    Q_OBJECT

private slots:
    void runsLikeTheConsole();
    void keepsReportsOfCausedTasks();
    void reportsTimeOut();
    void workerSeesTheTestHost();
};

void TestTaskRunner::runsLikeTheConsole()
{
    TaskRunner runner;
    const int deleted = ProbeTask::deleted;
    const TaskReport report =
        runner.perform(new ProbeTask(QStringLiteral("probe"), [](ProbeTask *t) {
            t->succeedPartly(QStringLiteral("careful"));
        }));
    QCOMPARE(report.description, QStringLiteral("probe"));
    QCOMPARE(report.status, TaskDescription::TaskStatusWarning);
    QCOMPARE(report.message, QStringLiteral("careful"));
    QVERIFY(ProbeTask::runThread != QThread::currentThread());
    QCOMPARE(ProbeTask::afterRunThread, QThread::currentThread());
    QCOMPARE(ProbeTask::deleted, deleted + 1);
    QVERIFY(TaskObserver::instance()->isIdle());
}

void TestTaskRunner::keepsReportsOfCausedTasks()
{
    TaskRunner runner;
    const auto follow = [] {
        TaskObserver::instance()->performTask(
            new ProbeTask(QStringLiteral("read again"), [](ProbeTask *) {}));
    };
    const TaskReport report = runner.perform(new ProbeTask(
        QStringLiteral("stop"), [](ProbeTask *) { QThread::msleep(20); }, follow));
    QCOMPARE(report.description, QStringLiteral("stop"));
    QCOMPARE(report.status, TaskDescription::TaskStatusDone);
    QCOMPARE(runner.reports().size(), 2);
    QCOMPARE(runner.reports().at(1).description, QStringLiteral("read again"));
    runner.clear();
    QVERIFY(runner.reports().isEmpty());
}

void TestTaskRunner::reportsTimeOut()
{
    TaskRunner runner;
    QSemaphore release;
    const TaskReport report = runner.perform(
        new ProbeTask(QStringLiteral("hangs"), [&release](ProbeTask *) { release.acquire(); }),
        100);
    QCOMPARE(report.status, TaskDescription::TaskStatusUndefined);
    QVERIFY(report.message.contains(QLatin1String("did not end")));
    release.release();
    QVERIFY(runner.waitForIdle());
    QCOMPARE(runner.reports().size(), 1);
    QCOMPARE(runner.reports().first().description, QStringLiteral("hangs"));
}

void TestTaskRunner::workerSeesTheTestHost()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(host.installPackage(QStringLiteral("samba"), QStringLiteral("2:4.17.12")));
    QByteArray out;
    TaskRunner runner;
    const TaskReport report =
        runner.perform(new ProbeTask(QStringLiteral("query"), [&out](ProbeTask *) {
            QProcess dpkg;
            dpkg.start(QStringLiteral("dpkg-query"),
                       {QStringLiteral("--showformat=${db:Status-Abbrev}${binary:Package}\n"),
                        QStringLiteral("--show"), QStringLiteral("samba")},
                       QIODevice::ReadOnly);
            dpkg.waitForFinished(30000);
            out = dpkg.readAllStandardOutput();
        }));
    QCOMPARE(report.status, TaskDescription::TaskStatusDone);
    QCOMPARE(out, QByteArray("ii samba\n"));
}

OXA_TEST_MAIN(TestTaskRunner)
#include "tst_taskrunner.moc"

// Service state and control tasks against real init-script stand-ins.

#include "testobjects.h"
#include "testscripts.h"

#include <childprocess.h>
#include <servicetasks.h>
#include <taskmessages.h>
#include <taskobserver.h>
#include <treenodemodel.h>

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QtTest>

#include <csignal>

#include <memory>
#include <pwd.h>
#include <sys/stat.h>

namespace {

// An init script whose state lives in a file: start and restart create it, stop removes it,
// status answers 0 (running) or 3 (stopped) as LSB scripts do. Each run adds its action to
// "calls".
const char initScript[] = "echo \"$1\" >> @DIR@/calls\n"
                          "case \"$1\" in\n"
                          "status) [ -f @DIR@/running ] && exit 0; exit 3 ;;\n"
                          "start|restart|reload) touch @DIR@/running ;;\n"
                          "stop) rm -f @DIR@/running ;;\n"
                          "*) echo \"unknown action $1\" >&2; exit 2 ;;\n"
                          "esac\n";

/** An element without a service record that offers the heavy read, as a database cluster. */
class ClusterElement : public Element
{
public:
    ClusterElement(Module *module) : Element(module, grantAccess)
    {
        setElementData(new ElementData(QStringLiteral("main")));
        elementData()->setProperty(QStringLiteral("state"), false);
    }
    OperationTypes availableOperations() const override
    {
        return OperationReadHeavy | OperationStart;
    }
    void performOperation(OperationType type, ElementData *data, int n) override
    {
        forwardToModule(type, data, n);
    }
};

ServiceTask *controlTask(const QString &action, Element *element)
{
    if (action == QLatin1String("start"))
        return new StartServiceTask(element);
    if (action == QLatin1String("stop"))
        return new StopServiceTask(element);
    if (action == QLatin1String("restart"))
        return new RestartServiceTask(element);
    return new ReloadServiceTask(element);
}

} // namespace

class TestServiceTasks : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void statusExitCode_data();
    void statusExitCode();
    void lightReadUpdatesElement();
    void statusNotFinished_data();
    void statusNotFinished();
    void controlActionFails();
    void controlActionCrashes();
    void statusReadPastLimitIsKilled();
    void changePastReadLimit_data();
    void changePastReadLimit();
    void argumentComposition_data();
    void argumentComposition();
    void refreshAfterControl_data();
    void refreshAfterControl();
    void refreshWithoutServiceRecord();
    void controlSucceedsWhenStateUnreadable();
    void daemonKeepingOutputOpenDoesNotHang();
    void controlCommandLine();
    void controlStartsProgramDetached();
    void controlWithoutProgramFails();
    void existPackage();

private:
    TaskObserver *m_observer = nullptr;
    std::unique_ptr<ScriptDir> m_dir;
    QList<OperationCall> m_log;
    RecordingModule *m_module = nullptr;
    QString m_initScript;
};

void TestServiceTasks::initTestCase()
{
    m_observer = TaskObserver::instance();
}

void TestServiceTasks::init()
{
    m_dir = std::make_unique<ScriptDir>();
    QVERIFY(m_dir->isValid());
    m_initScript = m_dir->script(QStringLiteral("service"), QString::fromLatin1(initScript));
    m_log.clear();
    m_module = new RecordingModule(QStringLiteral("ServiceTestModule"), &m_log);
}

void TestServiceTasks::cleanup()
{
    ChildProcess::setReadLimitMs(ChildProcess::DefaultTimeoutMs);
    QVERIFY(m_observer->waitForIdle(60000));
    delete m_module;
    m_dir.reset();
}

void TestServiceTasks::statusExitCode_data()
{
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<bool>("running");
    QTest::addColumn<QString>("text");

    QTest::newRow("0 running") << 0 << true << "running";
    QTest::newRow("3 stopped") << 3 << false << "stopped";
    QTest::newRow("1 dead, pid file left") << 1 << false << "stopped";
    QTest::newRow("4 unknown") << 4 << false << "stopped";
}

void TestServiceTasks::statusExitCode()
{
    QFETCH(int, exitCode);
    QFETCH(bool, running);
    QFETCH(QString, text);

    ReadPropertyLightServiceTask task(nullptr);
    task.setScriptPath(
        m_dir->script(QStringLiteral("status"), QStringLiteral("exit %1\n").arg(exitCode)));
    QCOMPARE(task.composedArguments(), QStringList{"status"});
    task.run();
    QCOMPARE(task.status(), TaskDescription::TaskStatusDone);
    QVERIFY(task.isStateRead());
    QCOMPARE(task.stateRecord().state(), running);
    QCOMPARE(task.stateRecord().textState(), text);
    QCOMPARE(task.stateRecord().textState(), running ? ServiceLightElementData::runningText()
                                                     : ServiceLightElementData::stoppedText());
}

void TestServiceTasks::lightReadUpdatesElement()
{
    TreeNode root;
    auto *element = new ServiceElement(m_module, grantAccess);
    element->setId(QStringLiteral("ServiceTest"));
    m_module->appendElement(element);
    root.append(element);
    element->serviceData()->setName(QStringLiteral("smbd"));
    element->serviceData()->setProperty(QStringLiteral("kept"), 1);
    TreeNodeModel model(&root);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);

    QFile running(m_dir->path(QStringLiteral("running")));
    QVERIFY(running.open(QIODevice::WriteOnly));
    running.close();
    auto *task = new ReadPropertyLightServiceTask(element);
    task->setScriptPath(m_initScript);
    m_observer->performTask(task);
    QVERIFY(m_observer->waitForIdle(60000));

    QVERIFY(element->serviceData()->isStateKnown());
    QVERIFY(element->serviceData()->state());
    QCOMPARE(element->serviceData()->textState(), QStringLiteral("running"));
    // A state read changes the state, not the rest of the record.
    QCOMPARE(element->serviceData()->name(), QStringLiteral("smbd"));
    QCOMPARE(element->serviceData()->property(QStringLiteral("kept")).toInt(), 1);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(
        element->availableOperations(),
        OperationTypes(OperationReadLight | OperationReadHeavy | OperationStop | OperationRestart));
    root.take(element);
}

void TestServiceTasks::statusNotFinished_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<int>("errorCode");

    QTest::newRow("crash") << "kill -SEGV $$\n" << 1;
    QTest::newRow("missing program") << QString() << 0;
}

void TestServiceTasks::statusNotFinished()
{
    QFETCH(QString, body);
    QFETCH(int, errorCode);

    const QString program = body.isEmpty() ? m_dir->path(QStringLiteral("absent"))
                                           : m_dir->script(QStringLiteral("bad"), body);
    auto *element = new ServiceElement(m_module, grantAccess);
    m_module->appendElement(element);
    auto *task = new ReadPropertyLightServiceTask(element);
    task->setScriptPath(program);
    QSignalSpy finished(m_observer, &TaskObserver::taskFinished);
    m_observer->performTask(task);
    QVERIFY(m_observer->waitForIdle(60000));
    QCOMPARE(finished.count(), 1);
    const TaskReport report = finished.at(0).at(0).value<TaskReport>();
    QCOMPARE(report.status, TaskDescription::TaskStatusFailed);
    QCOMPARE(report.message, TaskMessages::notFinished(program, errorCode));
    QVERIFY(report.message.contains(QStringLiteral("not finished")));
    QVERIFY(report.message.contains(QStringLiteral("Error code: %1").arg(errorCode)));
    QVERIFY(!element->serviceData()->isStateKnown()); // nothing of a failure reaches it
}

void TestServiceTasks::controlActionFails()
{
    const QString script = m_dir->script(
        QStringLiteral("fails"),
        QStringLiteral(
            "[ \"$1\" = status ] && exit 3\necho 'cannot bind: port 445 busy' >&2\nexit 1\n"));
    auto *element = new ServiceElement(m_module, grantAccess);
    m_module->appendElement(element);
    element->serviceData()->setState(false);
    auto *task = new StartServiceTask(element);
    task->setScriptPath(script);
    QSignalSpy finished(m_observer, &TaskObserver::taskFinished);
    m_observer->performTask(task);
    QVERIFY(m_observer->waitForIdle(60000));

    const TaskReport report = finished.at(0).at(0).value<TaskReport>();
    QCOMPARE(report.status, TaskDescription::TaskStatusFailed);
    QCOMPARE(report.message,
             TaskMessages::exitCode(script, 1, QStringLiteral("cannot bind: port 445 busy\n")));
    QVERIFY(report.message.contains(QStringLiteral("Exit code: 1")));
    QVERIFY(report.message.contains(QStringLiteral("port 445 busy")));
    // A failed action may have done part of its work: the state is read, and that is all.
    QCOMPARE(finished.count(), 1);
    QVERIFY(m_log.isEmpty());
    QCOMPARE(element->serviceData()->textState(), QStringLiteral("stopped"));
}

void TestServiceTasks::controlActionCrashes()
{
    const QString script =
        m_dir->script(QStringLiteral("crash"), QStringLiteral("kill -SEGV $$\n"));
    ServiceTask task(nullptr, script, QStringLiteral("restart"));
    task.run();
    QCOMPARE(task.status(), TaskDescription::TaskStatusFailed);
    QCOMPARE(task.taskDescription().message(), TaskMessages::notFinished(script, 1));
    QVERIFY(!task.isStateRead());
}

void TestServiceTasks::statusReadPastLimitIsKilled()
{
    // A read that overstays the read limit is killed with what it started, as ever.
    const QString script = m_dir->script(QStringLiteral("hang"),
                                         QStringLiteral("echo $$ > @DIR@/hang.pid\n"
                                                        "sleep 1000 &\necho $! > @DIR@/child.pid\n"
                                                        "wait\n"));
    ChildProcess::setReadLimitMs(200);
    ReadPropertyLightServiceTask task(nullptr);
    task.setScriptPath(script);
    task.run();
    QCOMPARE(task.status(), TaskDescription::TaskStatusFailed);
    QCOMPARE(task.taskDescription().message(), TaskMessages::notFinished(script, 2));

    const pid_t scriptPid = m_dir->pidFrom(QStringLiteral("hang.pid"));
    const pid_t childPid = m_dir->pidFrom(QStringLiteral("child.pid"));
    QVERIFY(scriptPid > 0 && childPid > 0);
    QVERIFY(isReaped(scriptPid));
    QVERIFY(waitDead(childPid));
}

void TestServiceTasks::changePastReadLimit_data()
{
    QTest::addColumn<QString>("startBody"); // what "start" does before it exits
    QTest::addColumn<bool>("stopWaiting");
    QTest::addColumn<TaskDescription::TaskStatus>("status");
    QTest::addColumn<bool>("runningAfter"); // the state read at the task's end

    // The start outlasts the read limit: the task says it still runs, and is not killed.
    QTest::newRow("ends done") << "sleep 0.5\ntouch @DIR@/running\n"
                               << false << TaskDescription::TaskStatusDone << true;
    QTest::newRow("ends failed") << "sleep 0.5\necho 'no luck' >&2\nexit 1\n"
                                 << false << TaskDescription::TaskStatusFailed << false;
    // Goes on once the test says so (never later than in 20 s).
    QTest::newRow("wait stopped: left running, outcome unknown")
        << "for i in $(seq 400); do [ -e @DIR@/go ] && break; sleep 0.05; done\n"
           "touch @DIR@/running\n"
        << true << TaskDescription::TaskStatusUnknown << false;
}

void TestServiceTasks::changePastReadLimit()
{
    QFETCH(QString, startBody);
    QFETCH(bool, stopWaiting);
    QFETCH(TaskDescription::TaskStatus, status);
    QFETCH(bool, runningAfter);

    const QString script = m_dir->script(
        QStringLiteral("slow"),
        QStringLiteral("case \"$1\" in\nstatus) [ -f @DIR@/running ] && exit 0; exit 3 ;;\n"
                       "start) %1 ;;\nesac\n")
            .arg(startBody));
    ChildProcess::setReadLimitMs(200);
    auto *element = new ServiceElement(m_module, grantAccess);
    element->setId(QStringLiteral("ServiceSlow"));
    m_module->appendElement(element);
    element->serviceData()->setState(false);
    auto *task = new StartServiceTask(element);
    task->setScriptPath(script);
    QSignalSpy progress(m_observer, &TaskObserver::taskProgress);
    QSignalSpy finished(m_observer, &TaskObserver::taskFinished);
    if (stopWaiting) {
        connect(m_observer, &TaskObserver::taskProgress, this,
                [this](const TaskReport &report) { m_observer->stopWaiting(report.id); });
    }
    m_observer->performTask(task);
    QVERIFY(m_observer->waitForIdle(60000));
    disconnect(m_observer, &TaskObserver::taskProgress, this, nullptr);

    QCOMPARE(progress.count(), 1);
    const TaskReport said = progress.at(0).at(0).value<TaskReport>();
    QCOMPARE(said.elementId, QStringLiteral("ServiceSlow"));
    QVERIFY2(said.message.startsWith(QStringLiteral("\"%1 ...\" still running after").arg(script)),
             qPrintable(said.message));
    const TaskReport report = finished.at(0).at(0).value<TaskReport>();
    QCOMPARE(report.id, said.id);
    QCOMPARE(report.status, status);
    if (stopWaiting) {
        QVERIFY2(report.message.contains(QStringLiteral("left running")),
                 qPrintable(report.message));
        QVERIFY(report.message.contains(QStringLiteral("unknown")));
    }
    // Whatever the outcome, the state is read again, and nothing more.
    QCOMPARE(element->serviceData()->state(), runningAfter);
    QVERIFY(m_log.isEmpty());
    // Left running, the start still does its work.
    QFile go(m_dir->path(QStringLiteral("go")));
    QVERIFY(go.open(QIODevice::WriteOnly));
    go.close();
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(m_dir->path(QStringLiteral("running"))) ==
                                 (status != TaskDescription::TaskStatusFailed),
                             10000);
}

void TestServiceTasks::argumentComposition_data()
{
    QTest::addColumn<bool>("actionFirst");
    QTest::addColumn<QStringList>("extra");
    QTest::addColumn<QString>("action");
    QTest::addColumn<QStringList>("calls");

    QTest::newRow("init script start")
        << true << QStringList{} << "start" << QStringList{"start|", "status|"};
    QTest::newRow("init script status")
        << true << QStringList{} << "status" << QStringList{"status|"};
    QTest::newRow("arguments after the action")
        << true << QStringList{"--full", "two words"} << "reload"
        << QStringList{"reload|--full|two words|", "status|--full|two words|"};
    QTest::newRow("cluster restart, action last")
        << false << QStringList{"15", "main"} << "restart"
        << QStringList{"15|main|restart|", "15|main|status|"};
    QTest::newRow("cluster status, action last")
        << false << QStringList{"15", "main"} << "status" << QStringList{"15|main|status|"};
}

void TestServiceTasks::argumentComposition()
{
    QFETCH(bool, actionFirst);
    QFETCH(QStringList, extra);
    QFETCH(QString, action);
    QFETCH(QStringList, calls);

    const QString script =
        m_dir->script(QStringLiteral("record"),
                      QStringLiteral("printf '%s|' \"$@\" >> @DIR@/calls\necho >> @DIR@/calls\n"));
    ServiceTask task(nullptr, script, action, extra, actionFirst);
    QStringList expectedFirst = calls.first().split(QLatin1Char('|'), Qt::SkipEmptyParts);
    QCOMPARE(task.composedArguments(), expectedFirst);
    QCOMPARE(task.isStatusAction(), action == QLatin1String("status"));
    task.run();
    QCOMPARE(task.status(), TaskDescription::TaskStatusDone);
    QCOMPARE(m_dir->read(QStringLiteral("calls")).split(QLatin1Char('\n'), Qt::SkipEmptyParts),
             calls);
}

void TestServiceTasks::refreshAfterControl_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("runningBefore");
    QTest::addColumn<bool>("runningAfter");

    QTest::newRow("start") << "start" << false << true;
    QTest::newRow("stop") << "stop" << true << false;
    QTest::newRow("restart") << "restart" << true << true;
    QTest::newRow("reload") << "reload" << true << true;
}

void TestServiceTasks::refreshAfterControl()
{
    QFETCH(QString, action);
    QFETCH(bool, runningBefore);
    QFETCH(bool, runningAfter);

    if (runningBefore) {
        QFile file(m_dir->path(QStringLiteral("running")));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    auto *element = new ServiceElement(m_module, grantAccess);
    auto *other = new ServiceElement(m_module, grantAccess);
    m_module->appendElement(element);
    m_module->appendElement(other);
    element->serviceData()->setName(QStringLiteral("daemon"));
    element->serviceData()->setState(runningBefore);
    auto *shown = new ProbeWidget(m_module, grantAccess);
    auto *elsewhere = new ProbeWidget(m_module, grantAccess);
    m_module->insertElementWidget(shown);
    m_module->insertElementWidget(elsewhere);
    shown->setElement(element, ElementWidgetRoleView);
    elsewhere->setElement(other, ElementWidgetRoleView);
    ServiceTask *task = controlTask(action, element);
    QCOMPARE(task->action(), action);
    task->setScriptPath(m_initScript);
    QSignalSpy finished(m_observer, &TaskObserver::taskFinished);
    m_observer->performTask(task);
    QVERIFY(m_observer->waitForIdle(60000));

    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.at(0).at(0).value<TaskReport>().status, TaskDescription::TaskStatusDone);
    QCOMPARE(element->serviceData()->state(), runningAfter);
    QCOMPARE(element->serviceData()->textState(),
             runningAfter ? QStringLiteral("running") : QStringLiteral("stopped"));
    QCOMPARE(element->serviceData()->name(), QStringLiteral("daemon"));
    // The action and one state read; the widget showing the element takes the state from
    // that read, no other widget hears of it, and nothing else is read.
    QCOMPARE(m_dir->read(QStringLiteral("calls")).split(QLatin1Char('\n'), Qt::SkipEmptyParts),
             (QStringList{action, "status"}));
    QVERIFY(m_log.isEmpty());
    QCOMPARE(shown->reads.size(), 1);
    QCOMPARE(shown->reads.first().first, element);
    QCOMPARE(shown->states, QStringList{element->serviceData()->textState()});
    QVERIFY(elsewhere->reads.isEmpty());
}

void TestServiceTasks::refreshWithoutServiceRecord()
{
    auto *element = new ClusterElement(m_module);
    m_module->appendElement(element);
    // pg_ctlcluster style: "15 main start"; the cluster's state is in its record, read whole.
    const QString ctl = m_dir->script(
        QStringLiteral("ctlcluster"),
        QStringLiteral(
            "echo \"$*\" >> @DIR@/calls\n[ \"$1 $2\" = \"15 main\" ] || exit 9\nexit 0\n"));
    auto *task = new ServiceTask(element, ctl, QStringLiteral("start"),
                                 {QStringLiteral("15"), QStringLiteral("main")}, false);
    QSignalSpy finished(m_observer, &TaskObserver::taskFinished);
    m_observer->performTask(task);
    QVERIFY(m_observer->waitForIdle(60000));
    QCOMPARE(finished.at(0).at(0).value<TaskReport>().status, TaskDescription::TaskStatusDone);
    QCOMPARE(m_dir->read(QStringLiteral("calls")).split(QLatin1Char('\n'), Qt::SkipEmptyParts),
             QStringList{"15 main start"});
    QCOMPARE(typesOf(m_log), QList<OperationType>{OperationReadHeavy});
    QCOMPARE(m_log.first().element, element);
    QCOMPARE(element->elementData()->name(), QStringLiteral("main"));
    QCOMPARE(element->elementData()->property(QStringLiteral("state")).toBool(), false);
}

void TestServiceTasks::controlSucceedsWhenStateUnreadable()
{
    // The start went through; that the state cannot be read afterwards does not undo it.
    const QString script =
        m_dir->script(QStringLiteral("nostatus"),
                      QStringLiteral("[ \"$1\" = status ] && kill -SEGV $$\nexit 0\n"));
    auto *element = new ServiceElement(m_module, grantAccess);
    m_module->appendElement(element);
    auto *task = new StartServiceTask(element);
    task->setScriptPath(script);
    QSignalSpy finished(m_observer, &TaskObserver::taskFinished);
    m_observer->performTask(task);
    QVERIFY(m_observer->waitForIdle(60000));
    const TaskReport report = finished.at(0).at(0).value<TaskReport>();
    QCOMPARE(report.status, TaskDescription::TaskStatusDone);
    QVERIFY(report.message.isEmpty());
    QVERIFY(!element->serviceData()->isStateKnown());
    QVERIFY(m_log.isEmpty());
}

void TestServiceTasks::daemonKeepingOutputOpenDoesNotHang()
{
    // A start action that leaves a daemon behind with the script's output still open: the
    // action is over when the script exits, not when the daemon does.
    const QString script = m_dir->script(
        QStringLiteral("daemon"),
        QStringLiteral("[ \"$1\" = status ] && exit 0\n"
                       "sleep 120 &\necho $! > @DIR@/daemon.pid\necho started\nexit 0\n"));
    StartServiceTask task(nullptr);
    task.setScriptPath(script);
    task.run();
    const pid_t daemon = m_dir->pidFrom(QStringLiteral("daemon.pid"));
    if (daemon > 0)
        ::kill(daemon, SIGKILL);
    QCOMPARE(task.status(), TaskDescription::TaskStatusDone);
    QVERIFY(task.isStateRead());
    QVERIFY(task.stateRecord().state());
}

void TestServiceTasks::controlCommandLine()
{
    // The program as found on the children's fixed search path; as root through runuser.
    ControlServiceTask task(nullptr);
    task.setProgramName(QStringLiteral("sh"));
    const QString sh = ChildProcess::findProgram(QStringLiteral("sh"));
    QVERIFY(sh.endsWith(QLatin1String("bin/sh")));
    task.setUserName(QStringLiteral("alice"));
    if (::geteuid() == 0) {
        QCOMPARE(task.commandLine(), (QStringList{"/usr/sbin/runuser", "-u", "alice", "--", sh}));
    } else {
        QCOMPARE(task.commandLine(), QStringList{sh});
    }
}

void TestServiceTasks::controlStartsProgramDetached()
{
    // As root the program runs as an ordinary user: one every Debian host has.
    QVERIFY(::chmod(QFile::encodeName(m_dir->path(QStringLiteral("."))).constData(), 0777) == 0);
    const QString program =
        m_dir->script(QStringLiteral("admin-tool"), QStringLiteral("id -u > @DIR@/tool.uid\n"));
    ControlServiceTask task(nullptr);
    task.setProgramName(program);
    task.setUserName(QStringLiteral("nobody"));
    task.run();
    QVERIFY2(task.status() == TaskDescription::TaskStatusDone,
             qPrintable(task.taskDescription().message()));
    QTRY_VERIFY(!m_dir->read(QStringLiteral("tool.uid")).isEmpty());
    const passwd *nobody = ::getpwnam("nobody");
    QVERIFY(nobody);
    QCOMPARE(m_dir->read(QStringLiteral("tool.uid")).trimmed().toUInt(),
             uint(::geteuid() == 0 ? nobody->pw_uid : ::geteuid()));
}

void TestServiceTasks::controlWithoutProgramFails()
{
    ControlServiceTask unnamed(nullptr);
    unnamed.run();
    QCOMPARE(unnamed.status(), TaskDescription::TaskStatusFailed);

    ControlServiceTask missing(nullptr);
    const QString program = m_dir->path(QStringLiteral("no-such-tool"));
    missing.setProgramName(program);
    missing.run();
    QCOMPARE(missing.status(), TaskDescription::TaskStatusFailed);
    QCOMPARE(missing.taskDescription().message(),
             QStringLiteral("Cannot start \"%1\": there is no such program.").arg(program));
}

void TestServiceTasks::existPackage()
{
    // dpkg is essential on every Debian host; the others cannot be installed.
    QVERIFY(ControlServiceTask::existPackage(QStringLiteral("dpkg")));
    QVERIFY(!ControlServiceTask::existPackage(QStringLiteral("oxa-no-such-package")));
    QVERIFY(!ControlServiceTask::existPackage(QString()));
    // dpkg-query takes patterns: a pattern that matches an installed package is no package.
    QVERIFY(!ControlServiceTask::existPackage(QStringLiteral("dpk*")));
}

QTEST_MAIN(TestServiceTasks)
#include "tst_servicetasks.moc"

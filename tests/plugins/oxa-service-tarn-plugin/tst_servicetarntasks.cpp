#include "servicetarnelement.h"
#include "servicetarnplugin.h"
#include "servicetarntasks.h"
#include "tarnsimulation.h"
#include "taskrunner.h"
#include "testhost.h"

#include <elementdata.h>
#include <module.h>
#include <serviceelementwidget.h>
#include <taskmessages.h>
#include <treenode.h>

#include <QGroupBox>
#include <QLabel>
#include <QTest>

namespace {

const QString note = QStringLiteral(
    "Note: The file /etc/hosts or /etc/tarn/tarn.conf may be incorrectly configured.");
const QString tarndScript = QStringLiteral("/etc/init.d/tarnd");
const QString tarnClient = QStringLiteral("tarn-client");

/// The rows below a widget's tree root, "KEY=value", in the order the record gave them.
QStringList rows(const ServiceElementWidget *widget)
{
    QStringList list;
    for (const TreeNode *node : widget->treeRoot()->childNodes()) {
        const auto *conf = qobject_cast<const ConfTreeNode *>(node);
        list << (conf ? conf->name() + QLatin1Char('=') + conf->value() : QStringLiteral("?"));
    }
    return list;
}

QStringList repeated(int count, const QString &line)
{
    QStringList list;
    for (int i = 0; i < count; ++i)
        list << line;
    return list;
}

QString stateLabel(const ServiceElementWidget *widget)
{
    return widget->stateLabel()->text();
}

/** One plug-in on a simulated directory host, its widgets showing their elements. */
struct TarnHost
{
    explicit TarnHost(bool server = true) : server(server) {}

    bool setUp(TestHost &host, TarnSimulation &tarn)
    {
        if (!tarn.install() ||
            !tarn.setRole(server ? TarnSimulation::Server : TarnSimulation::Client))
            return false;
        plugin.reset(new ServiceTarnPlugin);
        // As the console does: the module learns its host, and asks it the role then.
        plugin->modules().at(0)->setHostConnection(Module::hostConnectionOf(nullptr));
        // Linked as the console links them: the daemon's module sees the directory
        // element's operations and follows its "administrator" entry.
        plugin->modules().at(0)->addChildModule(plugin->modules().at(1));
        element = plugin->modules().at(0)->firstElement();
        daemon = plugin->modules().at(1)->firstElement();
        widget =
            qobject_cast<ServiceElementWidget *>(element->elementWidget(ElementWidgetRoleView));
        daemonWidget =
            qobject_cast<ServiceElementWidget *>(daemon->elementWidget(ElementWidgetRoleView));
        if (!widget || !daemonWidget)
            return false;
        widget->setElement(element, ElementWidgetRoleView);
        daemonWidget->setElement(daemon, ElementWidgetRoleView);
        Q_UNUSED(host);
        return tarn.clearCalls();
    }

    bool server;
    QScopedPointer<ServiceTarnPlugin> plugin;
    Element *element = nullptr;
    Element *daemon = nullptr;
    ServiceElementWidget *widget = nullptr;
    ServiceElementWidget *daemonWidget = nullptr;
};

} // namespace

/**
 * The Tarn plug-in's tasks against the simulated directory tools: what the state and
 * configuration reads of server, client and daemon bring into element and widget, what a
 * failing tool leaves behind, and how the control tasks report.
 */
class TestServiceTarnTasks : public QObject
{
    Q_OBJECT

private slots:
    void serverStateRead_data();
    void serverStateRead();
    void serverConfigurationRead_data();
    void serverConfigurationRead();
    void failedReadKeepsWhatIsShown();
    void clientConfigurationRead_data();
    void clientConfigurationRead();
    void daemonConfigurationRead_data();
    void daemonConfigurationRead();
    void controlFailures_data();
    void controlFailures();
    void controlChangesState_data();
    void controlChangesState();
};

void TestServiceTarnTasks::serverStateRead_data()
{
    QTest::addColumn<QString>("fault"); // of "tarn-client status --server"; or "stopped"
    QTest::addColumn<QByteArray>("report");
    QTest::addColumn<TaskDescription::TaskStatus>("status");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("state"); // the element's state text afterwards
    QTest::addColumn<int>("calls");

    QTest::newRow("domain, running") << "" << QByteArray("Tarn server\nDOMAIN = example\n")
                                     << TaskDescription::TaskStatusDone << "example"
                                     << "running" << 2;
    QTest::newRow("later domain wins, stopped (exit 3)")
        << "stopped" << QByteArray("DOMAIN = first\nSERVER = s\nDOMAIN = second one  \n")
        << TaskDescription::TaskStatusDone << "second one"
        << "stopped" << 2;
    QTest::newRow("exit 1: still read") << "exit 1" << QByteArray("DOMAIN=example\n")
                                        << TaskDescription::TaskStatusDone << "example"
                                        << "stopped" << 2;
    QTest::newRow("no domain keeps the former one")
        << "" << QByteArray("VERSION = 4.2\n") << TaskDescription::TaskStatusDone
        << "former.example"
        << "running" << 2;
    QTest::newRow("empty domain") << "" << QByteArray("DOMAIN =\n")
                                  << TaskDescription::TaskStatusDone << ""
                                  << "running" << 2;
    // The state is asked at the same time as the domain; after a failure it is not taken.
    QTest::newRow("crash") << "crash" << QByteArray("DOMAIN = example\n")
                           << TaskDescription::TaskStatusFailed << "former.example"
                           << "" << 2;
}

void TestServiceTarnTasks::serverStateRead()
{
    QFETCH(QString, fault);
    QFETCH(QByteArray, report);
    QFETCH(TaskDescription::TaskStatus, status);
    QFETCH(QString, name);
    QFETCH(QString, state);
    QFETCH(int, calls);

    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    TarnSimulation tarn(host);
    TarnHost tarnHost;
    QVERIFY2(tarnHost.setUp(host, tarn), qPrintable(tarn.errorString()));
    QVERIFY(tarn.setReport(TarnSimulation::Server, report));
    if (fault == QLatin1String("stopped"))
        QVERIFY(tarn.setRunning(QStringLiteral("server"), false));
    else if (!fault.isEmpty())
        QVERIFY(tarn.setFault(QStringLiteral("client-status-server"), fault));
    Element *element = tarnHost.element;
    element->serviceData()->setName(QStringLiteral("former.example"));

    TaskRunner runner;
    const TaskReport result = runner.perform(new ServiceTarnServerReadLightTask(element));
    QCOMPARE(result.description, QStringLiteral("Read Tarn server service state"));
    QCOMPARE(result.status, status);
    if (status == TaskDescription::TaskStatusFailed)
        QCOMPARE(result.message, TaskMessages::notFinished(tarnClient, 1));
    QCOMPARE(element->serviceData()->name(), name);
    QCOMPARE(element->serviceData()->textState(), state);
    QCOMPARE(element->caption(), QStringLiteral("Tarn: server %1").arg(name));
    QCOMPARE(tarn.calls(), repeated(calls, QStringLiteral("tarn-client status --server")));
}

void TestServiceTarnTasks::serverConfigurationRead_data()
{
    QTest::addColumn<bool>("running");
    QTest::addColumn<QByteArray>("report");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QString>("name");

    QTest::newRow("known keys, in output order")
        << true
        << QByteArray("Tarn directory server\n"
                      "DOMAIN = example\n"
                      "SERVER_ID=7\n"
                      "FOO=bar\n"
                      "TICKET_MAX_LIFE = \n"
                      "Current SERVER = a b c  \n"
                      "SERVER_EXPORT_DIR = /srv/export extra\n")
        << QStringList{"SERVER_ID=7", "TICKET_MAX_LIFE=", "SERVER=a b c",
                       "SERVER_EXPORT_DIR=/srv/export extra"}
        << "example";
    QTest::newRow("a key twice gives two rows, stopped server still read")
        << false << QByteArray("SERVER = one\nDOMAIN = d\nSERVER = two\n")
        << QStringList{"SERVER=one", "SERVER=two"} << "d";
    QTest::newRow("nothing reported") << true << QByteArray() << QStringList() << "";
    QTest::newRow("bytes after a NUL are not read")
        << true << QByteArray("VERSION = 4.2\n\0SERVER = hidden\n", 31)
        << QStringList{"VERSION=4.2"} << "";
}

void TestServiceTarnTasks::serverConfigurationRead()
{
    QFETCH(bool, running);
    QFETCH(QByteArray, report);
    QFETCH(QStringList, rows);
    QFETCH(QString, name);

    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    TarnSimulation tarn(host);
    TarnHost tarnHost;
    QVERIFY2(tarnHost.setUp(host, tarn), qPrintable(tarn.errorString()));
    QVERIFY(tarn.setReport(TarnSimulation::Server, report));
    QVERIFY(tarn.setRunning(QStringLiteral("server"), running));

    TaskRunner runner;
    // Twice: the second read replaces the rows of the first.
    for (int round = 0; round < 2; ++round) {
        const TaskReport result =
            runner.perform(new ServiceTarnServerReadHeavyTask(tarnHost.element));
        QCOMPARE(result.description, QStringLiteral("Read Tarn server service configuration"));
        QCOMPARE(result.status, TaskDescription::TaskStatusDone);
        QVERIFY(result.message.isEmpty());
        QCOMPARE(::rows(tarnHost.widget), rows);
    }
    const QString state = running ? QStringLiteral("running") : QStringLiteral("stopped");
    QCOMPARE(tarnHost.element->serviceData()->state(), running);
    QCOMPARE(tarnHost.element->serviceData()->textState(), state);
    QCOMPARE(tarnHost.element->caption(), QStringLiteral("Tarn: server %1").arg(name));
    QCOMPARE(stateLabel(tarnHost.widget), QStringLiteral("<b>%1</b>").arg(state));
    QCOMPARE(tarnHost.widget->configGroupBox()->title(), QStringLiteral("Configuration"));
    QVERIFY(tarnHost.widget->isBlocked());
    QCOMPARE(tarn.calls(), repeated(2, QStringLiteral("tarn-client status --server")));
}

void TestServiceTarnTasks::failedReadKeepsWhatIsShown()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    TarnSimulation tarn(host);
    TarnHost tarnHost;
    QVERIFY2(tarnHost.setUp(host, tarn), qPrintable(tarn.errorString()));
    QVERIFY(tarn.setReport(TarnSimulation::Server, "DOMAIN = example\nSERVER = tarn1\n"));
    TaskRunner runner;
    QCOMPARE(runner.perform(new ServiceTarnServerReadHeavyTask(tarnHost.element)).status,
             TaskDescription::TaskStatusDone);

    QVERIFY(tarn.setReport(TarnSimulation::Server, "DOMAIN = other\nSERVER = tarn2\n"));
    QVERIFY(tarn.setRunning(QStringLiteral("server"), false));
    QVERIFY(tarn.setFault(QStringLiteral("client-status-server"), QStringLiteral("crash")));
    const TaskReport failed = runner.perform(new ServiceTarnServerReadHeavyTask(tarnHost.element));
    QCOMPARE(failed.status, TaskDescription::TaskStatusFailed);
    QCOMPARE(failed.message, TaskMessages::notFinished(tarnClient, 1));
    QCOMPARE(::rows(tarnHost.widget), QStringList{"SERVER=tarn1"});
    QCOMPARE(stateLabel(tarnHost.widget), QStringLiteral("<b>running</b>"));
    QVERIFY(tarnHost.element->serviceData()->state());
    QCOMPARE(tarnHost.element->caption(), QStringLiteral("Tarn: server example"));

    // The tool gone altogether: it could not start.
    QVERIFY(tarn.removeTool(tarnClient));
    const TaskReport missing = runner.perform(new ServiceTarnServerReadHeavyTask(tarnHost.element));
    QCOMPARE(missing.status, TaskDescription::TaskStatusFailed);
    QCOMPARE(missing.message, TaskMessages::notFinished(tarnClient, 0));
    QCOMPARE(::rows(tarnHost.widget), QStringList{"SERVER=tarn1"});
    const TaskReport light = runner.perform(new ServiceTarnServerReadLightTask(tarnHost.element));
    QCOMPARE(light.status, TaskDescription::TaskStatusFailed);
    QCOMPARE(light.message, TaskMessages::notFinished(tarnClient, 0));
    QCOMPARE(tarnHost.element->caption(), QStringLiteral("Tarn: server example"));
}

void TestServiceTarnTasks::clientConfigurationRead_data()
{
    QTest::addColumn<QString>("fault"); // of "tarn-client status --client"; or "stopped"
    QTest::addColumn<TaskDescription::TaskStatus>("status");
    QTest::addColumn<QString>("state");

    QTest::newRow("running") << "" << TaskDescription::TaskStatusDone << "running";
    QTest::newRow("stopped (exit 3)") << "stopped" << TaskDescription::TaskStatusDone << "stopped";
    QTest::newRow("exit 1") << "exit 1" << TaskDescription::TaskStatusDone << "stopped";
    QTest::newRow("crash") << "crash" << TaskDescription::TaskStatusFailed << "";
}

void TestServiceTarnTasks::clientConfigurationRead()
{
    QFETCH(QString, fault);
    QFETCH(TaskDescription::TaskStatus, status);
    QFETCH(QString, state);

    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    TarnSimulation tarn(host);
    TarnHost tarnHost(false);
    QVERIFY2(tarnHost.setUp(host, tarn), qPrintable(tarn.errorString()));
    QCOMPARE(tarnHost.element->elementType(), QStringLiteral("ServiceTarnClient"));
    // A client reports settings too, but shows none of them.
    QVERIFY(tarn.setReport(TarnSimulation::Client,
                           "DOMAIN = example\nSERVER = tarn1\nCLIENT_MOUNT_DIR = /tarn\n"));
    if (fault == QLatin1String("stopped"))
        QVERIFY(tarn.setRunning(QStringLiteral("client"), false));
    else if (!fault.isEmpty())
        QVERIFY(tarn.setFault(QStringLiteral("client-status-client"), fault));
    tarnHost.widget->treeRoot()->append(new ConfTreeNode(QStringLiteral("OLD"), QString()));

    TaskRunner runner;
    const TaskReport result = runner.perform(new ServiceTarnClientReadHeavyTask(tarnHost.element));
    QCOMPARE(result.description, QStringLiteral("Read Tarn client service configuration"));
    QCOMPARE(result.status, status);
    QCOMPARE(tarnHost.element->serviceData()->textState(), state);
    QVERIFY(tarnHost.element->serviceData()->name().isEmpty());
    if (status == TaskDescription::TaskStatusFailed) {
        QCOMPARE(result.message, TaskMessages::notFinished(tarnClient, 1));
        QCOMPARE(::rows(tarnHost.widget), QStringList{"OLD="});
        QCOMPARE(stateLabel(tarnHost.widget), QStringLiteral("<b>undefined</b>"));
    } else {
        QVERIFY(result.message.isEmpty());
        QVERIFY(::rows(tarnHost.widget).isEmpty());
        QCOMPARE(stateLabel(tarnHost.widget), QStringLiteral("<b>%1</b>").arg(state));
        QCOMPARE(tarnHost.element->caption(), QStringLiteral("Tarn: client "));
    }
    QCOMPARE(tarn.calls(), QStringList{QStringLiteral("tarn-client status --client")});
}

void TestServiceTarnTasks::daemonConfigurationRead_data()
{
    QTest::addColumn<QString>("setUp");
    QTest::addColumn<QByteArray>("report"); // what "tarn-client status --client" prints
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QString>("state");
    QTest::addColumn<QString>("message"); // empty: the read succeeds
    QTest::addColumn<QStringList>("calls");

    const QString log = QStringLiteral("TARND_LOG=/var/log/tarn/tarnd.log");
    const QStringList both{QStringLiteral("/etc/init.d/tarnd status"),
                           QStringLiteral("tarn-client status --client")};
    const QStringList scriptOnly{QStringLiteral("/etc/init.d/tarnd status")};

    QTest::newRow("first word of the daemon's keys, log last")
        << ""
        << QByteArray("VERSION=2\n"
                      "SERVER_EXPORT_DIR = /srv/export extra\n"
                      "DOMAIN = example\n"
                      "SERVER_ARCHIVE_DIR =\n"
                      "SERVER_POLLING_PERIOD = 60 s\n"
                      "SERVER_PROPAGATE_PERIOD=300\n"
                      "SERVER_EXPORT_DIR = /srv/second\n")
        << QStringList{"SERVER_EXPORT_DIR=/srv/export", "SERVER_POLLING_PERIOD=60",
                       "SERVER_PROPAGATE_PERIOD=300", "SERVER_EXPORT_DIR=/srv/second", log}
        << "running"
        << "" << both;
    QTest::newRow("nothing reported: the log only")
        << "" << QByteArray() << QStringList{log} << "running"
        << "" << both;
    QTest::newRow("stopped daemon still read")
        << "tarnd stopped" << QByteArray("SERVER_ARCHIVE_DIR = /srv/archive\n")
        << QStringList{"SERVER_ARCHIVE_DIR=/srv/archive", log} << "stopped"
        << "" << both;
    QTest::newRow("client exits 3: still read")
        << "client stopped" << QByteArray("SERVER_ARCHIVE_DIR = /srv/archive\n")
        << QStringList{"SERVER_ARCHIVE_DIR=/srv/archive", log} << "running"
        << "" << both;
    QTest::newRow("init script crashing")
        << "tarnd-status crash" << QByteArray() << QStringList() << ""
        << TaskMessages::notFinished(tarndScript, 1) << scriptOnly;
    QTest::newRow("init script missing")
        << "tarnd missing" << QByteArray() << QStringList() << ""
        << TaskMessages::notFinished(tarndScript, 0) << QStringList();
    QTest::newRow("tarn-client crashing")
        << "client-status-client crash" << QByteArray() << QStringList() << ""
        << TaskMessages::notFinished(tarnClient, 1) << both;
    QTest::newRow("tarn-client missing") << "client missing" << QByteArray() << QStringList() << ""
                                         << TaskMessages::notFinished(tarnClient, 0) << scriptOnly;
    QTest::newRow("tarn-client hanging")
        << "client-status-client hang" << QByteArray() << QStringList() << ""
        << TaskMessages::notFinished(tarnClient, 2) << both;
}

void TestServiceTarnTasks::daemonConfigurationRead()
{
    QFETCH(QString, setUp);
    QFETCH(QByteArray, report);
    QFETCH(QStringList, rows);
    QFETCH(QString, state);
    QFETCH(QString, message);
    QFETCH(QStringList, calls);

    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    TarnSimulation tarn(host);
    TarnHost tarnHost;
    QVERIFY2(tarnHost.setUp(host, tarn), qPrintable(tarn.errorString()));
    QVERIFY(tarn.setReport(TarnSimulation::Client, report));
    const QString what = setUp.section(QLatin1Char(' '), 0, 0);
    const QString how = setUp.section(QLatin1Char(' '), 1);
    if (how == QLatin1String("stopped"))
        QVERIFY(tarn.setRunning(what, false));
    else if (setUp == QLatin1String("tarnd missing"))
        QVERIFY(host.removePath(tarndScript));
    else if (setUp == QLatin1String("client missing"))
        QVERIFY(tarn.removeTool(tarnClient));
    else if (!setUp.isEmpty())
        QVERIFY(tarn.setFault(what, how));
    tarnHost.daemonWidget->treeRoot()->append(new ConfTreeNode(QStringLiteral("OLD"), QString()));

    TaskRunner runner;
    const TaskReport result = runner.perform(new ServiceTarnTarndReadHeavyTask(tarnHost.daemon));
    QCOMPARE(result.description, QStringLiteral("Read Tarnd service configuration"));
    QCOMPARE(result.status, message.isEmpty() ? TaskDescription::TaskStatusDone
                                              : TaskDescription::TaskStatusFailed);
    QCOMPARE(result.message, message);
    QCOMPARE(tarnHost.daemon->serviceData()->textState(), state);
    if (message.isEmpty()) {
        QCOMPARE(::rows(tarnHost.daemonWidget), rows);
        QCOMPARE(stateLabel(tarnHost.daemonWidget), QStringLiteral("<b>%1</b>").arg(state));
        QCOMPARE(tarnHost.daemonWidget->configGroupBox()->title(), QStringLiteral("Configuration"));
    } else {
        QCOMPARE(::rows(tarnHost.daemonWidget), QStringList{"OLD="});
    }
    QCOMPARE(tarn.calls(), calls);
}

void TestServiceTarnTasks::controlFailures_data()
{
    QTest::addColumn<bool>("server");
    QTest::addColumn<int>("operation");
    QTest::addColumn<QString>("call");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("message");

    const QString complaint = QStringLiteral("tarn-init: cannot resolve tarn1.example.org");
    const QString initFailed =
        TaskMessages::exitCode(QStringLiteral("tarn-init"), 1, complaint + QLatin1Char('\n'));
    QTest::newRow("server start: exit 1, with the note")
        << true << int(OperationStart) << "init-start"
        << "fail 1 " + complaint << initFailed + QLatin1Char('\n') + note;
    QTest::newRow("server start: crash, with the note")
        << true << int(OperationStart) << "init-start"
        << "crash"
        << TaskMessages::notFinished(QStringLiteral("tarn-init"), 1) + QLatin1Char('\n') + note;
    QTest::newRow("server stop: no note") << true << int(OperationStop) << "init-stop"
                                          << "fail 1 " + complaint << initFailed;
    QTest::newRow("server restart: no note") << true << int(OperationRestart) << "init-restart"
                                             << "fail 1 " + complaint << initFailed;
    QTest::newRow("client start: no note")
        << false << int(OperationStart) << "client-start"
        << "fail 2" << TaskMessages::exitCode(tarnClient, 2, QString());
    QTest::newRow("server start succeeds") << true << int(OperationStart) << ""
                                           << ""
                                           << "";
}

void TestServiceTarnTasks::controlFailures()
{
    QFETCH(bool, server);
    QFETCH(int, operation);
    QFETCH(QString, call);
    QFETCH(QString, fault);
    QFETCH(QString, message);

    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    TarnSimulation tarn(host);
    TarnHost tarnHost(server);
    QVERIFY2(tarnHost.setUp(host, tarn), qPrintable(tarn.errorString()));
    if (!call.isEmpty())
        QVERIFY(tarn.setFault(call, fault));
    QVERIFY(tarn.setRunning(server ? QStringLiteral("server") : QStringLiteral("client"),
                            operation != OperationStart));
    tarnHost.element->serviceData()->setState(operation != OperationStart);

    AbstractTask *task = nullptr;
    Element *element = tarnHost.element;
    switch (operation) {
    case OperationStart:
        task = server ? static_cast<AbstractTask *>(new ServiceTarnServerStartTask(element))
                      : new ServiceTarnClientStartTask(element);
        break;
    case OperationStop:
        task = new ServiceTarnServerStopTask(element);
        break;
    default:
        task = new ServiceTarnServerRestartTask(element);
        break;
    }
    TaskRunner runner;
    const TaskReport result = runner.perform(task);
    QCOMPARE(result.status, message.isEmpty() ? TaskDescription::TaskStatusDone
                                              : TaskDescription::TaskStatusFailed);
    QCOMPARE(result.message, message);
    // A failed control still reads the state and the element again: the state is the one the
    // tool left, here the one before.
    QCOMPARE(element->serviceData()->state(), operation != OperationStart || message.isEmpty());
    QCOMPARE(runner.reports().size(), 3);
}

void TestServiceTarnTasks::controlChangesState_data()
{
    QTest::addColumn<bool>("server");
    QTest::addColumn<bool>("onDaemon");
    QTest::addColumn<int>("operation");
    QTest::addColumn<QString>("simulated"); // the simulation's name of what is controlled
    QTest::addColumn<bool>("runningBefore");
    QTest::addColumn<bool>("runningAfter");

    QTest::newRow("server stop") << true << false << int(OperationStop) << "server" << true
                                 << false;
    QTest::newRow("server start") << true << false << int(OperationStart) << "server" << false
                                  << true;
    QTest::newRow("server restart")
        << true << false << int(OperationRestart) << "server" << false << true;
    QTest::newRow("client stop") << false << false << int(OperationStop) << "client" << true
                                 << false;
    QTest::newRow("client start") << false << false << int(OperationStart) << "client" << false
                                  << true;
    QTest::newRow("daemon stop") << true << true << int(OperationStop) << "tarnd" << true << false;
    QTest::newRow("daemon start") << true << true << int(OperationStart) << "tarnd" << false
                                  << true;
    QTest::newRow("daemon reload")
        << true << true << int(OperationReload) << "tarnd" << false << true;
}

void TestServiceTarnTasks::controlChangesState()
{
    QFETCH(bool, server);
    QFETCH(bool, onDaemon);
    QFETCH(int, operation);
    QFETCH(QString, simulated);
    QFETCH(bool, runningBefore);
    QFETCH(bool, runningAfter);

    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    TarnSimulation tarn(host);
    TarnHost tarnHost(server);
    QVERIFY2(tarnHost.setUp(host, tarn), qPrintable(tarn.errorString()));
    QVERIFY(tarn.setRunning(simulated, runningBefore));
    QVERIFY(tarn.setReport(TarnSimulation::Server, "DOMAIN = example\n"));
    Element *element = onDaemon ? tarnHost.daemon : tarnHost.element;
    element->serviceData()->setState(runningBefore);

    TaskRunner runner;
    element->performOperation(OperationType(operation), nullptr, 0);
    QVERIFY(runner.waitForIdle());
    for (const TaskReport &report : runner.reports())
        QVERIFY2(report.status == TaskDescription::TaskStatusDone,
                 qPrintable(report.description + report.message));
    QCOMPARE(tarn.isRunning(simulated), runningAfter);
    QCOMPARE(element->serviceData()->state(), runningAfter);
    QCOMPARE(element->availableOperations() & (OperationStart | OperationStop),
             runningAfter ? quint64(OperationStop) : quint64(OperationStart));
    if (!onDaemon && server)
        QCOMPARE(element->caption(), QStringLiteral("Tarn: server example"));
}

OXA_TEST_MAIN(TestServiceTarnTasks)
#include "tst_servicetarntasks.moc"

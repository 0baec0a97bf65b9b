#include "crontestfixture.h"

#include <crontabreader.h>
#include <crontreenode.h>
#include <servicecronelement.h>
#include <servicecronelementwidget.h>
#include <servicecronmodule.h>
#include <servicecronplugin.h>
#include <servicecrontasks.h>

#include <element.h>
#include <elementdata.h>
#include <taskmessages.h>
#include <taskrunner.h>
#include <testhost.h>

#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QTreeView>
#include <QtTest>

#include <sys/stat.h>

namespace {

const QString script = QStringLiteral("/etc/init.d/cron");
const QString crontab = QStringLiteral("/etc/crontab");

/// The Services root as another plug-in shows it: only its type matters here.
class ServicesRootElement : public Element
{
public:
    ServicesRootElement() : Element(nullptr, nullptr)
    {
        setElementType(QStringLiteral("ServiceServices"));
    }
};

QStringList childTexts(const QList<TreeNode *> &nodes)
{
    QStringList list;
    for (TreeNode *node : nodes)
        list << node->data(0, Qt::DisplayRole).toString();
    return list;
}

} // namespace

/**
 * The Cron plug-in on a disposable host: the crontab and job directories the cron package
 * installs and shapes they come in, module dispatch, operations, widget and control task.
 */
class TestServiceCronPlugin : public QObject
{
    Q_OBJECT

private slots:
    void identity();
    void readsTheInstalledFiles();
    void readShapes();
    void unreadableCrontab_data();
    void unreadableCrontab();
    void statusScript_data();
    void statusScript();
    void widgetShowsTreeAndKeepsItOnFailure();
    void availableOperations_data();
    void availableOperations();
    void dispatch_data();
    void dispatch();
    void controlWithoutPackage();
    void controlStartsProgram();
};

void TestServiceCronPlugin::identity()
{
    ServiceCronPlugin plugin;
    QCOMPARE(plugin.type(), 5);
    QCOMPARE(plugin.name(), QStringLiteral("ServiceCronPlugin"));
    QCOMPARE(plugin.description(), QStringLiteral("Service Cron plugin"));
    QCOMPARE(plugin.requiredPackageNames(), QStringList{QStringLiteral("cron")});
    QCOMPARE(plugin.pattern(), QStringLiteral("ii\\scron"));
    Module *module = plugin.modules().value(0);
    QVERIFY(module);
    QCOMPARE(module->objectName(), QStringLiteral("ServiceCronModule"));
    QCOMPARE(module->parentModuleName(), QStringLiteral("ServiceServicesModule"));
    QCOMPARE(module->level(), 2);
    QCOMPARE(module->getData(QStringLiteral("description")).toString(),
             QStringLiteral("Service Cron module"));
    QVERIFY(module->moduleData().contains(QStringLiteral("administrator")));
    Element *element = module->firstElement();
    QVERIFY(qobject_cast<ServiceCronElement *>(element));
    QCOMPARE(element->id(), QStringLiteral("ServiceCron"));
    QCOMPARE(element->parentId(), QStringLiteral("ServiceServices"));
    QCOMPARE(element->level(), 2);
    QCOMPARE(element->title(), QStringLiteral("Cron"));
    QCOMPARE(element->caption(), QStringLiteral("Cron"));

    auto *widget = qobject_cast<ServiceCronElementWidget *>(
        module->elementWidget(QStringLiteral("ServiceCron")));
    QVERIFY(widget);
    QCOMPARE(widget->objectName(), QStringLiteral("ServiceCronElementWidget"));
    QCOMPARE(widget->windowTitle(), QStringLiteral("Cron"));
    QTreeView *view = widget->findChild<QTreeView *>(QStringLiteral("_configTreeView"));
    QCOMPARE(view, widget->configTreeView());
    QVERIFY(view->isHeaderHidden());
    QCOMPARE(view->iconSize(), QSize(16, 16));
    QVERIFY(view->isSortingEnabled());
    QCOMPARE(widget->stateLabel()->text(), QStringLiteral("TextLabel"));
}

/// The files the cron package really installs, read through the overlay of this machine.
void TestServiceCronPlugin::readsTheInstalledFiles()
{
    TestHost host(TestHost::MachinePackageDatabase);
    OXA_REQUIRE_TEST_HOST(host);
    if (!QFile::exists(crontab))
        QSKIP("the cron package is not installed here (scripts/install-services)");
    QVERIFY(host.writeStatusScript(script, 0));
    QFile file(crontab);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QStringList expected = CronTabReader::entries(file.readAll());
    QVERIFY(!expected.isEmpty());

    ServiceCronPlugin plugin;
    QVERIFY(plugin.isValid());

    QString error;
    const QList<TreeNode *> nodes = CronTabReader::readTree(&error);
    QVERIFY(error.isNull());
    QCOMPARE(childTexts(nodes), (QStringList{crontab, "/etc/cron.d", "/etc/cron.daily",
                                             "/etc/cron.hourly", "/etc/cron.monthly"}));
    QCOMPARE(childTexts(nodes.at(0)->childNodes()), expected);
    for (const QString &line : expected) {
        QVERIFY(!line.startsWith(QLatin1Char('#')));
        QVERIFY(!line.contains(QLatin1Char('\t')));
    }
    QStringList daily = childTexts(nodes.at(2)->childNodes());
    daily.sort();
    QStringList onDisk = QDir(QStringLiteral("/etc/cron.daily")).entryList(QDir::Files);
    onDisk.sort();
    QCOMPARE(daily, onDisk);
    qDeleteAll(nodes);
}

void TestServiceCronPlugin::readShapes()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(host.writeStatusScript(script, 0));
    QVERIFY(host.writeFile(crontab, "SHELL=/bin/sh\nMAILTO=root\n"
                                    "0 3 * * *\troot\t/usr/local/bin/backup # nightly\n"
                                    "# 0 4 * * * root /usr/local/bin/disabled\n"));
    for (const char *directory :
         {"/etc/cron.d", "/etc/cron.daily", "/etc/cron.hourly", "/etc/cron.weekly"})
        QVERIFY(host.removePath(QString::fromLatin1(directory)));
    // Plain files only: no subdirectory, no hidden file.
    QVERIFY(host.writeFile(QStringLiteral("/etc/cron.d/backup"), "@daily root true\n"));
    QVERIFY(host.writeFile(QStringLiteral("/etc/cron.d/.placeholder"), ""));
    QVERIFY(host.mkdir(QStringLiteral("/etc/cron.d/subdirectory")));
    QVERIFY(host.writeSymlink(QStringLiteral("/etc/cron.d/linked"), QStringLiteral("backup")));
    QVERIFY(host.writeFile(QStringLiteral("/etc/cron.daily/logrotate"), "#!/bin/sh\n", 0755));
    QVERIFY(host.writeFile(QStringLiteral("/etc/cron.weekly/man-db"), "#!/bin/sh\n", 0755));

    Cron cron;
    const TaskReport report = cron.readHeavy();
    QCOMPARE(report.description, QStringLiteral("Read Cron service configuration"));
    QCOMPARE(report.status, TaskDescription::TaskStatusDone);
    QStringList shown = cron.shown();
    // The view sorts by name; the directories keep their own order in the record.
    QCOMPARE(shown,
             (QStringList{"/etc/cron.d", "  backup", "  linked", "/etc/cron.daily", "  logrotate",
                          "/etc/cron.hourly", "/etc/cron.monthly", "/etc/crontab",
                          "  0 3 * * * root /usr/local/bin/backup # nightly", "  MAILTO=root"}));
    QCOMPARE(cron.widget->configGroupBox()->title(), QStringLiteral("Configuration: /etc/crontab"));
}

void TestServiceCronPlugin::unreadableCrontab_data()
{
    QTest::addColumn<QString>("shape");
    QTest::addColumn<QString>("error");

    QTest::newRow("missing") << "missing"
                             << TaskMessages::fileError(
                                    crontab, QFileDevice::OpenError,
                                    QStringLiteral("No such file or directory"));
    QTest::newRow("directory") << "directory"
                               << TaskMessages::fileError(crontab, QFileDevice::OpenError,
                                                          QStringLiteral("Not a regular file"));
    // Opening a FIFO would wait for a writer for good.
    QTest::newRow("fifo") << "fifo"
                          << TaskMessages::fileError(crontab, QFileDevice::OpenError,
                                                     QStringLiteral("Not a regular file"));
}

void TestServiceCronPlugin::unreadableCrontab()
{
    QFETCH(QString, shape);
    QFETCH(QString, error);

    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(host.writeStatusScript(script, 0));
    QVERIFY(host.removePath(crontab));
    if (shape == QLatin1String("directory"))
        QVERIFY(host.mkdir(crontab));
    else if (shape == QLatin1String("fifo"))
        QCOMPARE(::mkfifo(crontab.toLocal8Bit().constData(), 0644), 0);

    QString readError;
    QVERIFY(CronTabReader::readTree(&readError).isEmpty());
    QCOMPARE(readError, error);

    Cron cron;
    const TaskReport report = cron.readHeavy();
    QCOMPARE(report.status, TaskDescription::TaskStatusFailed);
    QCOMPARE(report.message, TaskMessages::notFinishedReadFile(script, crontab, error));
    QVERIFY(!cron.element->serviceData()->isStateKnown());
}

void TestServiceCronPlugin::statusScript_data()
{
    QTest::addColumn<QString>("status");
    QTest::addColumn<TaskDescription::TaskStatus>("taskStatus");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("running");

    QTest::newRow("running") << "exit 0" << TaskDescription::TaskStatusDone << QString() << true;
    QTest::newRow("stopped") << "exit 3" << TaskDescription::TaskStatusDone << QString() << false;
    QTest::newRow("crash") << "crash" << TaskDescription::TaskStatusFailed
                           << TaskMessages::notFinished(script, 1) << false;
    QTest::newRow("missing") << "missing" << TaskDescription::TaskStatusFailed
                             << TaskMessages::notFinished(script, 0) << false;
}

void TestServiceCronPlugin::statusScript()
{
    QFETCH(QString, status);
    QFETCH(TaskDescription::TaskStatus, taskStatus);
    QFETCH(QString, message);
    QFETCH(bool, running);

    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    if (status == QLatin1String("crash"))
        QVERIFY(host.writeCrashingScript(script));
    else if (status == QLatin1String("missing"))
        QVERIFY(host.removePath(script));
    else
        QVERIFY(host.writeScript(script, status));
    QVERIFY(host.writeFile(crontab, "MAILTO=root\n"));

    Cron cron;
    const TaskReport report = cron.readHeavy();
    QCOMPARE(report.status, taskStatus);
    QCOMPARE(report.message, message);
    const ServiceLightElementData *light = cron.element->serviceData();
    QCOMPARE(light->isStateKnown(), taskStatus == TaskDescription::TaskStatusDone);
    QCOMPARE(light->state(), running);
}

void TestServiceCronPlugin::widgetShowsTreeAndKeepsItOnFailure()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(host.writeStatusScript(script, 0));
    QVERIFY(host.writeFile(crontab, "MAILTO=root\n"));

    Cron cron;
    QCOMPARE(cron.readHeavy().status, TaskDescription::TaskStatusDone);
    QCOMPARE(cron.widget->stateLabel()->text(),
             QStringLiteral("<b>%1</b>").arg(ServiceLightElementData::runningText()));
    QVERIFY(cron.widget->isBlocked());
    const QStringList first = cron.shown();
    QVERIFY(first.contains(QStringLiteral("  MAILTO=root")));

    // A second read replaces the tree rather than adding to it.
    QVERIFY(host.writeFile(crontab, "MAILTO=admin\n"));
    QCOMPARE(cron.readHeavy().status, TaskDescription::TaskStatusDone);
    QStringList second = cron.shown();
    QVERIFY(second.contains(QStringLiteral("  MAILTO=admin")));
    QVERIFY(!second.contains(QStringLiteral("  MAILTO=root")));
    QCOMPARE(cron.widget->cronRoot()->childCount(), 5);

    // The crontab goes and the service stops: nothing of the failed read shows.
    QVERIFY(host.removePath(crontab));
    QVERIFY(host.writeStatusScript(script, 3));
    QCOMPARE(cron.readHeavy().status, TaskDescription::TaskStatusFailed);
    QCOMPARE(cron.shown(), second);
    QVERIFY(cron.element->serviceData()->state());

    cron.widget->reset();
    QCOMPARE(cron.widget->stateLabel()->text(), QStringLiteral("<b>undefined</b>"));
}

void TestServiceCronPlugin::availableOperations_data()
{
    QTest::addColumn<bool>("administrator");
    QTest::addColumn<int>("state"); // -1 never read, 0 stopped, 1 running
    QTest::addColumn<quint64>("operations");

    QTest::newRow("viewer") << false << 1 << quint64(0x30);
    QTest::newRow("state not read") << true << -1 << quint64(0x10030);
    QTest::newRow("stopped") << true << 0 << quint64(0x11030);
    QTest::newRow("running") << true << 1 << quint64(0x16030);
}

void TestServiceCronPlugin::availableOperations()
{
    QFETCH(bool, administrator);
    QFETCH(int, state);
    QFETCH(quint64, operations);

    ServiceCronModule module(nullptr);
    module.setData(QStringLiteral("administrator"), administrator);
    Element *element = module.firstElement();
    if (state >= 0)
        element->serviceData()->setState(state == 1);
    QCOMPARE(quint64(element->availableOperations()), operations);
}

void TestServiceCronPlugin::dispatch_data()
{
    QTest::addColumn<bool>("fromRoot");
    QTest::addColumn<quint64>("operation");
    QTest::addColumn<QString>("task");
    QTest::addColumn<QString>("call");

    QTest::newRow("root light read")
        << true << quint64(OperationReadLight) << "Read Cron service state"
        << "status";
    QTest::newRow("root heavy read") << true << quint64(OperationReadHeavy) << ""
                                     << "";
    QTest::newRow("own light read") << false << quint64(OperationReadLight) << ""
                                    << "";
    QTest::newRow("heavy read") << false << quint64(OperationReadHeavy)
                                << "Read Cron service configuration"
                                << "status";
    QTest::newRow("start") << false << quint64(OperationStart) << "Start Cron service"
                           << "start";
    QTest::newRow("stop") << false << quint64(OperationStop) << "Stop Cron service"
                          << "stop";
    QTest::newRow("restart") << false << quint64(OperationRestart) << "Restart Cron service"
                             << "restart";
    QTest::newRow("reload") << false << quint64(OperationReload) << "Reload Cron service"
                            << "force-reload";
    QTest::newRow("update") << false << quint64(OperationUpdate) << ""
                            << "";
}

void TestServiceCronPlugin::dispatch()
{
    QFETCH(bool, fromRoot);
    QFETCH(quint64, operation);
    QFETCH(QString, task);
    QFETCH(QString, call);

    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(host.writeScript(script, QStringLiteral("mkdir -p /var/lib/oxa-cron-test\n"
                                                    "echo \"$1\" >>/var/lib/oxa-cron-test/calls\n"
                                                    "exit 0")));
    QVERIFY(host.writeFile(crontab, "MAILTO=root\n"));

    ServiceCronModule module(nullptr);
    module.setData(QStringLiteral("administrator"), true);
    TaskRunner runner;
    if (fromRoot) {
        ServicesRootElement root;
        module.performOperation(&root, OperationType(operation), nullptr, 0);
    } else {
        module.firstElement()->performOperation(OperationType(operation), nullptr, 0);
    }
    QVERIFY(runner.waitForIdle());
    QCOMPARE(runner.reports().isEmpty() ? QString() : runner.reports().first().description, task);
    QFile log(QStringLiteral("/var/lib/oxa-cron-test/calls"));
    QString called;
    if (log.open(QIODevice::ReadOnly))
        called = QString::fromLocal8Bit(log.readAll()).section(QLatin1Char('\n'), 0, 0);
    QCOMPARE(called, call);
}

void TestServiceCronPlugin::controlWithoutPackage()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    Cron cron;
    TaskRunner runner;
    const TaskReport report = runner.perform(new ServiceCronControlTask(cron.element));
    QCOMPARE(report.description, QStringLiteral("Control Cron service"));
    QCOMPARE(report.status, TaskDescription::TaskStatusFailed);
    QCOMPARE(report.message,
             QStringLiteral("Package \"vell-admin-cron\" is not installed in system.\n"
                            "To install it, run \"apt-get install vell-admin-cron\"."));
    QVERIFY(!ServiceCronControlTask::packageFound());
}

void TestServiceCronPlugin::controlStartsProgram()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(host.installPackage(QStringLiteral("vell-admin-cron"), QStringLiteral("1.0")));
    QVERIFY(host.writeTool(QStringLiteral("vell-admin-cron"),
                           QStringLiteral("echo started >/var/tmp/oxa-cron-control")));
    // As root it runs as the user who called sudo: one every Debian host has.
    const ScopedEnvironment sudo("SUDO_USER", "nobody");
    Cron cron;
    TaskRunner runner;
    cron.element->performOperation(OperationControl, nullptr, 0);
    QVERIFY(runner.waitForIdle());
    QCOMPARE(runner.reports().size(), 1);
    QCOMPARE(runner.reports().first().status, TaskDescription::TaskStatusDone);
    QVERIFY(ServiceCronControlTask::packageFound());
    // Detached: give it a moment.
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(QStringLiteral("/var/tmp/oxa-cron-control")), 20000);
}

OXA_TEST_MAIN(TestServiceCronPlugin)
#include "tst_servicecronplugin.moc"

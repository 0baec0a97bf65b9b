#include "eximtestfixture.h"
#include "servicemaileximmodule.h"
#include "servicetaskcheck.h"
#include "taskrunner.h"
#include "testhost.h"

#include <element.h>
#include <elementdata.h>
#include <taskmessages.h>
#include <treenode.h>

#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QTest>
#include <QTreeView>

#include <sys/stat.h>

namespace {

const QString script = QStringLiteral("/etc/init.d/exim4");
const QString config = QStringLiteral("/etc/exim4/update-exim4.conf.conf");
const QString callsFile = QStringLiteral("/var/tmp/exim4.calls");

} // namespace

/**
 * The Exim plug-in: identity, package check, operations and their tasks, and the heavy read
 * of the settings file in the shapes it comes in, as far as the widget.
 */
class TestServiceMailExim : public QObject
{
    Q_OBJECT

private slots:
    void identity();
    void packageCheck_data();
    void packageCheck();
    void availableOperations_data();
    void availableOperations();
    void operationsBecomeTasks_data();
    void operationsBecomeTasks();
    void heavyRead_data();
    void heavyRead();
    void readingTwiceShowsEachSettingOnce();
    void failureKeepsFormerContents();
};

void TestServiceMailExim::identity()
{
    Exim exim;
    QCOMPARE(exim.plugin.type(), 5);
    QCOMPARE(exim.plugin.name(), QStringLiteral("ServiceMailEximPlugin"));
    QCOMPARE(exim.plugin.description(), QStringLiteral("Service Exim plugin"));
    QCOMPARE(exim.plugin.requiredPackageNames(), QStringList{"exim4-base"});
    QCOMPARE(exim.plugin.modules().size(), 1);
    QCOMPARE(exim.plugin.module(), exim.module);

    Module *module = exim.module;
    QCOMPARE(module->objectName(), QStringLiteral("ServiceMailEximModule"));
    QCOMPARE(module->parentModuleName(), QStringLiteral("ServiceMailModule"));
    QCOMPARE(module->level(), 3);
    QCOMPARE(module->flag(), true);
    QCOMPARE(module->getData(QStringLiteral("description")).toString(),
             QStringLiteral("Service Mail Exim module"));
    QVERIFY(!module->getData(QStringLiteral("administrator")).isValid());

    Element *element = exim.element;
    QCOMPARE(element->id(), QStringLiteral("ServiceMailExim"));
    QCOMPARE(element->elementType(), QStringLiteral("ServiceMailExim"));
    QCOMPARE(element->parentId(), QStringLiteral("ServiceMail"));
    QCOMPARE(element->level(), 3);
    QCOMPARE(element->title(), QStringLiteral("Exim"));
    QCOMPARE(element->caption(), QStringLiteral("Mail: Exim"));

    ServiceMailEximElementWidget *widget = exim.widget;
    QCOMPARE(widget->objectName(), QStringLiteral("ServiceMailEximElementWidget"));
    QCOMPARE(widget->windowTitle(), QStringLiteral("Exim"));
    QCOMPARE(widget->elementType(), QStringLiteral("ServiceMailExim"));
    QTreeView *view = widget->configTreeView();
    QCOMPARE(view->objectName(), QStringLiteral("_confTreeView"));
    QVERIFY(view->isSortingEnabled());
    QCOMPARE(view->header()->sectionResizeMode(0), QHeaderView::ResizeToContents);
    QVERIFY(qobject_cast<ConfRootTreeNode *>(widget->treeRoot()));
}

void TestServiceMailExim::packageCheck_data()
{
    QTest::addColumn<QString>("status"); // dpkg's status of exim4-base; empty: unknown
    QTest::addColumn<bool>("valid");
    QTest::newRow("installed") << "install ok installed" << true;
    QTest::newRow("removed, configuration left") << "deinstall ok config-files" << false;
    QTest::newRow("half installed") << "install reinstreq half-installed" << false;
    QTest::newRow("unknown to dpkg") << QString() << false;
}

void TestServiceMailExim::packageCheck()
{
    QFETCH(QString, status);
    QFETCH(bool, valid);
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    if (!status.isEmpty())
        QVERIFY(
            host.installPackage(QStringLiteral("exim4-base"), QStringLiteral("4.96-15"), status));
    QVERIFY(host.installPackage(QStringLiteral("exim4-daemon-light"), QStringLiteral("4.96-15")));
    ServiceMailEximPlugin plugin;
    QCOMPARE(plugin.isValid(), valid);
}

void TestServiceMailExim::availableOperations_data()
{
    QTest::addColumn<bool>("administrator");
    QTest::addColumn<int>("state"); // -1 never read, 0 stopped, 1 running
    QTest::addColumn<quint64>("offered");

    QTest::newRow("administrator, not read") << true << -1 << quint64(0x30);
    QTest::newRow("administrator, running") << true << 1 << quint64(0xE030);
    QTest::newRow("administrator, stopped") << true << 0 << quint64(0x1030);
    QTest::newRow("no rights, running") << false << 1 << quint64(0x30);
    QTest::newRow("no rights, stopped") << false << 0 << quint64(0x30);
}

void TestServiceMailExim::availableOperations()
{
    QFETCH(bool, administrator);
    QFETCH(int, state);
    QFETCH(quint64, offered);

    ServiceMailEximPlugin plugin;
    Module *module = plugin.modules().first();
    module->setData(QStringLiteral("administrator"), administrator);
    Element *element = module->firstElement();
    if (state >= 0)
        element->serviceData()->setState(state == 1);
    QCOMPARE(element->availableOperations(), offered);
}

void TestServiceMailExim::operationsBecomeTasks_data()
{
    QTest::addColumn<bool>("onRoot"); // asked through the Services root, else on Exim
    QTest::addColumn<int>("operation");
    QTest::addColumn<QStringList>("tasks");
    QTest::addColumn<QStringList>("calls");

    const QString heavy = QStringLiteral("Read Exim service configuration");
    QTest::newRow("root light read")
        << true << int(OperationReadLight) << QStringList{"Read Exim service state"}
        << QStringList{"status"};
    QTest::newRow("root start") << true << int(OperationStart) << QStringList() << QStringList();
    QTest::newRow("light read on Exim")
        << false << int(OperationReadLight) << QStringList{"Read Exim service state"}
        << QStringList{"status"};
    QTest::newRow("heavy read") << false << int(OperationReadHeavy) << QStringList{heavy}
                                << QStringList{"status"};
    QTest::newRow("start") << false << int(OperationStart) << QStringList{"Start Exim service"}
                           << QStringList{"start", "status"};
    QTest::newRow("stop") << false << int(OperationStop) << QStringList{"Stop Exim service"}
                          << QStringList{"stop", "status"};
    QTest::newRow("restart") << false << int(OperationRestart)
                             << QStringList{"Restart Exim service"}
                             << QStringList{"restart", "status"};
    // Exim keeps the framework's reload action.
    QTest::newRow("reload") << false << int(OperationReload) << QStringList{"Reload Exim service"}
                            << QStringList{"reload", "status"};
    QTest::newRow("delete") << false << int(OperationDelete) << QStringList() << QStringList();
}

void TestServiceMailExim::operationsBecomeTasks()
{
    QFETCH(bool, onRoot);
    QFETCH(int, operation);
    QFETCH(QStringList, tasks);
    QFETCH(QStringList, calls);

    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(host.writeScript(script, QStringLiteral("echo \"$@\" >> %1").arg(callsFile)));
    QVERIFY(host.writeFile(config, "dc_eximconfig_configtype='local'\n"));

    ServiceMailEximPlugin plugin;
    Module *module = plugin.modules().first();
    Element *exim = module->firstElement();
    TaskRunner runner;
    ServiceTaskCheck::perform(module, exim, onRoot, OperationType(operation));
    QVERIFY(runner.waitForIdle());
    QCOMPARE(ServiceTaskCheck::descriptions(runner.reports()), tasks);
    for (const TaskReport &report : runner.reports()) {
        QCOMPARE(report.status, TaskDescription::TaskStatusDone);
        QCOMPARE(report.elementId, QStringLiteral("ServiceMailExim"));
    }
    QCOMPARE(ServiceTaskCheck::recordedCalls(callsFile), calls);
}

void TestServiceMailExim::heavyRead_data()
{
    QTest::addColumn<QString>("status"); // what the init script does
    QTest::addColumn<QString>("file");   // what is at the settings path
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<TaskDescription::TaskStatus>("taskStatus");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("running");
    QTest::addColumn<QStringList>("rows");

    const QByteArray settings = "# comment\ndc_eximconfig_configtype='internet'\n"
                                "dc_other_hostnames = 'example.org'\ndc_smarthost=\"relay\"\n"
                                "dc_readhost=''\nCFILEMODE=644\ndc_relay_nets='a#b'\n\n";
    const QStringList rows{"dc_eximconfig_configtype=internet", "dc_other_hostnames=example.org",
                           "dc_readhost="};
    QTest::newRow("running") << "exit 0"
                             << "file" << settings << TaskDescription::TaskStatusDone << QString()
                             << true << rows;
    QTest::newRow("stopped, exit 3")
        << "exit 3"
        << "file" << settings << TaskDescription::TaskStatusDone << QString() << false << rows;
    QTest::newRow("empty file") << "exit 0"
                                << "file" << QByteArray() << TaskDescription::TaskStatusDone
                                << QString() << true << QStringList();
    QTest::newRow("link to a file")
        << "exit 0"
        << "link" << settings << TaskDescription::TaskStatusDone << QString() << true << rows;
    QTest::newRow("missing file") << "exit 0"
                                  << "missing" << QByteArray() << TaskDescription::TaskStatusFailed
                                  << TaskMessages::fileNotExist(config) << true << QStringList();
    QTest::newRow("dangling link")
        << "exit 0"
        << "dangling" << QByteArray() << TaskDescription::TaskStatusFailed
        << TaskMessages::fileNotExist(config) << true << QStringList();
    const QString notRegular = TaskMessages::fileError(config, QFileDevice::OpenError,
                                                       QStringLiteral("Not a regular file"));
    QTest::newRow("a directory") << "exit 0"
                                 << "directory" << QByteArray() << TaskDescription::TaskStatusFailed
                                 << notRegular << true << QStringList();
    // Opening a FIFO would block the worker until something writes to it.
    QTest::newRow("a FIFO") << "exit 0"
                            << "fifo" << QByteArray() << TaskDescription::TaskStatusFailed
                            << notRegular << true << QStringList();
    QTest::newRow("hanging script")
        << "hang"
        << "file" << settings << TaskDescription::TaskStatusFailed
        << TaskMessages::notFinished(script, 2) << false << QStringList();
    QTest::newRow("no script") << "missing"
                               << "file" << settings << TaskDescription::TaskStatusFailed
                               << TaskMessages::notFinished(script, 0) << false << QStringList();
}

void TestServiceMailExim::heavyRead()
{
    QFETCH(QString, status);
    QFETCH(QString, file);
    QFETCH(QByteArray, content);
    QFETCH(TaskDescription::TaskStatus, taskStatus);
    QFETCH(QString, message);
    QFETCH(bool, running);
    QFETCH(QStringList, rows);

    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(ServiceTaskCheck::writeInitScript(host, script, status));

    QVERIFY(host.removePath(QStringLiteral("/etc/exim4")));
    QVERIFY(host.mkdir(QStringLiteral("/etc/exim4")));
    if (file == QLatin1String("file")) {
        QVERIFY(host.writeFile(config, content));
    } else if (file == QLatin1String("link")) {
        QVERIFY(host.writeFile(QStringLiteral("/etc/exim4/real.conf"), content));
        QVERIFY(host.writeSymlink(config, QStringLiteral("real.conf")));
    } else if (file == QLatin1String("dangling")) {
        QVERIFY(host.writeSymlink(config, QStringLiteral("/etc/exim4/nowhere")));
    } else if (file == QLatin1String("directory")) {
        QVERIFY(host.mkdir(config));
    } else if (file == QLatin1String("fifo")) {
        QCOMPARE(::mkfifo(config.toLocal8Bit().constData(), 0644), 0);
    }

    Exim exim;
    const TaskReport report = exim.readHeavy();
    QCOMPARE(report.description, QStringLiteral("Read Exim service configuration"));
    QCOMPARE(report.status, taskStatus);
    QCOMPARE(report.message, message);

    const ServiceLightElementData *light = exim.element->serviceData();
    if (taskStatus == TaskDescription::TaskStatusFailed) {
        QVERIFY(!light->isStateKnown());
        QCOMPARE(exim.widget->stateLabel()->text(), QStringLiteral("<b>undefined</b>"));
        QCOMPARE(exim.widget->treeRoot()->childCount(), 0);
        QVERIFY(!exim.widget->isBlocked());
        return;
    }
    QCOMPARE(light->state(), running);
    QCOMPARE(exim.widget->stateLabel()->text(),
             QStringLiteral("<b>%1</b>").arg(light->textState()));
    QCOMPARE(exim.rows(), rows);
    QVERIFY(exim.widget->isBlocked());
    // The group box keeps its title.
    QCOMPARE(exim.widget->configGroupBox()->title(), QStringLiteral("Configuration"));
}

void TestServiceMailExim::readingTwiceShowsEachSettingOnce()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(host.writeStatusScript(script, 0));
    QVERIFY(host.writeFile(config, "a='1'\nb='2'\n"));

    Exim exim;
    QCOMPARE(exim.readHeavy().status, TaskDescription::TaskStatusDone);
    QCOMPARE(exim.readHeavy().status, TaskDescription::TaskStatusDone);
    QCOMPARE(exim.rows(), (QStringList{"a=1", "b=2"}));
    QCOMPARE(exim.widget->configTreeView()->model()->rowCount(), 2);

    QVERIFY(host.writeFile(config, "c='3'\n"));
    QCOMPARE(exim.readHeavy().status, TaskDescription::TaskStatusDone);
    QCOMPARE(exim.rows(), QStringList{"c=3"});

    // reset() shows "undefined" and keeps the tree.
    exim.widget->reset();
    QCOMPARE(exim.widget->stateLabel()->text(), QStringLiteral("<b>undefined</b>"));
    QCOMPARE(exim.rows(), QStringList{"c=3"});
}

void TestServiceMailExim::failureKeepsFormerContents()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(host.writeStatusScript(script, 0));
    QVERIFY(host.writeFile(config, "a='1'\n"));

    Exim exim;
    QCOMPARE(exim.readHeavy().status, TaskDescription::TaskStatusDone);
    QVERIFY(host.writeStatusScript(script, 3));
    QVERIFY(host.removePath(config));
    const TaskReport report = exim.readHeavy();
    QCOMPARE(report.status, TaskDescription::TaskStatusFailed);
    QCOMPARE(report.message, QStringLiteral("\"/etc/exim4/update-exim4.conf.conf\" not exist"));
    QVERIFY(exim.element->serviceData()->state());
    QCOMPARE(exim.rows(), QStringList{"a=1"});
    // The right the Mail group above would give: the element still offers what a running
    // service offers.
    exim.module->setData(QStringLiteral("administrator"), true);
    QCOMPARE(exim.element->availableOperations(), quint64(0xE030));
}

OXA_TEST_MAIN(TestServiceMailExim)
#include "tst_servicemailexim.moc"

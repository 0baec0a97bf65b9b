#include "crontestfixture.h"

#include <crontabreader.h>
#include <crontreenode.h>
#include <servicecronelement.h>
#include <servicecronelementwidget.h>
#include <servicecronplugin.h>
#include <servicecrontasks.h>

#include <element.h>
#include <elementdata.h>
#include <localhostconnection.h>
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
 * installs and shapes they come in, the widget and the control task. What every plug-in shares
 * (identity, package check, operations and their tasks) is in tst_pluginconformance.
 */
class TestServiceCronPlugin : public QObject
{
    Q_OBJECT

private slots:
    void form();
    void readsTheInstalledFiles();
    void readShapes();
    void unreadableCrontab_data();
    void unreadableCrontab();
    void statusScript_data();
    void statusScript();
    void widgetShowsTreeAndKeepsItOnFailure();
    void controlWithoutPackage();
    void controlStartsProgram();
};

void TestServiceCronPlugin::form()
{
    ServiceCronPlugin plugin;
    auto *widget = qobject_cast<ServiceCronElementWidget *>(
        plugin.modules().value(0)->elementWidget(QStringLiteral("ServiceCron")));
    QVERIFY(widget);
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
    const QList<TreeNode *> nodes = CronTabReader::readTree(LocalHostConnection(), &error);
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
    QVERIFY(CronTabReader::readTree(LocalHostConnection(), &readError).isEmpty());
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

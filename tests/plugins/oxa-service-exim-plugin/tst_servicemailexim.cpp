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

} // namespace

/**
 * The Exim plug-in's own parts: its widget's form, and the heavy read of the settings file in
 * the shapes it comes in, as far as the widget. What every plug-in shares (identity, package
 * check, operations and their tasks) is in tst_pluginconformance.
 */
class TestServiceMailExim : public QObject
{
    Q_OBJECT

private slots:
    void form();
    void heavyRead_data();
    void heavyRead();
    void readingTwiceShowsEachSettingOnce();
    void failureKeepsFormerContents();
};

void TestServiceMailExim::form()
{
    Exim exim;
    QCOMPARE(exim.plugin.module(), exim.module);
    QTreeView *view = exim.widget->configTreeView();
    QCOMPARE(view->objectName(), QStringLiteral("_confTreeView"));
    QVERIFY(view->isSortingEnabled());
    QCOMPARE(view->header()->sectionResizeMode(0), QHeaderView::ResizeToContents);
    QVERIFY(qobject_cast<ConfRootTreeNode *>(exim.widget->treeRoot()));
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

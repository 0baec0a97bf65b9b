#include "packagelist.h"
#include "packagestestfixture.h"
#include "servicepackageselement.h"
#include "servicepackagesheavyelementdata.h"
#include "servicepackagesmodule.h"
#include "servicepackagesreadheavytask.h"
#include "testhost.h"

#include <element.h>
#include <elementdata.h>
#include <module.h>
#include <taskmessages.h>
#include <vieweditelementwidget.h>

#include <QFile>
#include <QTest>
#include <QTextEdit>

#include <memory>

using PackageMap = QMap<QString, QString>;

namespace {

const QString dataDirectory = QStringLiteral("/usr/share/vell/data/oxa-service-packages-plugin");

/// "name=value;..." as a package map (values may be empty; no ";" or "=" in the parts).
PackageMap mapOf(const QString &text)
{
    PackageMap map;
    for (const QString &pair : text.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const int eq = pair.indexOf(QLatin1Char('='));
        map.insert(pair.left(eq), pair.mid(eq + 1));
    }
    return map;
}

} // namespace

/**
 * Reading a service's package list with the real dpkg-query on a disposable host: what each
 * package state yields, the task's status and message, list names, and the failures.
 */
class TestServicePackagesReadHeavyTask : public QObject, protected PackagesFixture
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void readsList_data();
    void readsList();
    void listNameFromServiceElement_data();
    void listNameFromServiceElement();
    void missingListFails();
    void listDirectoryIsNoList();
    void dpkgQueryThatHangsStopsTheRead();
    void dpkgQueryThatCrashesStopsTheRead();
    void afterRunShowsOnlyGoodReads();
};

void TestServicePackagesReadHeavyTask::init()
{
    setUpFixture();
}

void TestServicePackagesReadHeavyTask::cleanup()
{
    tearDownFixture();
}

void TestServicePackagesReadHeavyTask::readsList_data()
{
    QTest::addColumn<QByteArray>("list");
    QTest::addColumn<QStringList>("installed"); // "name|version|dpkg status"
    QTest::addColumn<QString>("expected");      // package map as "name=result;..."
    QTest::addColumn<TaskDescription::TaskStatus>("status");
    QTest::addColumn<QString>("missing"); // the names reported, each "    name\n"

    const QString ok = QStringLiteral("install ok installed");
    QTest::newRow("empty list") << QByteArray() << QStringList() << QString()
                                << TaskDescription::TaskStatusDone << QString();
    QTest::newRow("only line feeds") << QByteArray("\n\n\n") << QStringList() << QString()
                                     << TaskDescription::TaskStatusDone << QString();
    QTest::newRow("installed and unknown")
        << QByteArray("pkga\npkgb\n") << QStringList{QStringLiteral("pkga|1.2-3|") + ok}
        << QStringLiteral("pkga=1.2-3;pkgb=unknown package") << TaskDescription::TaskStatusWarning
        << QStringLiteral("    pkgb\n");
    QTest::newRow("unknown optional left out")
        << QByteArray("pkga\n!pkgb\n") << QStringList{QStringLiteral("pkga|1.2-3|") + ok}
        << QStringLiteral("pkga=1.2-3") << TaskDescription::TaskStatusDone << QString();
    QTest::newRow("known optional counts")
        << QByteArray("!pkga\n!pkgb\n")
        << QStringList{QStringLiteral("pkga|1|") + ok,
                       QStringLiteral("pkgb|2|deinstall ok config-files")}
        << QStringLiteral("pkga=1;pkgb=not installed") << TaskDescription::TaskStatusWarning
        << QStringLiteral("    pkgb\n");
    QTest::newRow("markers anywhere in an optional line")
        << QByteArray("!!pkg\n!p!kg\n!q!q\n") << QStringList{QStringLiteral("pkg|7|") + ok}
        << QStringLiteral("pkg=7") << TaskDescription::TaskStatusDone << QString();
    QTest::newRow("removed, held, marked for removal")
        << QByteArray("rc\nheld\ndeinst\n")
        << QStringList{QStringLiteral("rc|1|deinstall ok config-files"),
                       QStringLiteral("held|2|hold ok installed"),
                       QStringLiteral("deinst|3|deinstall ok installed")}
        << QStringLiteral("rc=not installed;held=not installed;deinst=not installed")
        << TaskDescription::TaskStatusWarning << QStringLiteral("    rc\n    held\n    deinst\n");
    QTest::newRow("dpkg only heard of it")
        << QByteArray("!heard\nmentioned\n")
        << QStringList{QStringLiteral("heard|1|unknown ok not-installed"),
                       QStringLiteral("mentioned|1|unknown ok not-installed")}
        << QStringLiteral("mentioned=unknown package") << TaskDescription::TaskStatusWarning
        << QStringLiteral("    mentioned\n");
    QTest::newRow("wanted but not on the host")
        << QByteArray("wanted\nconf\n")
        << QStringList{QStringLiteral("wanted|1|install ok not-installed"),
                       QStringLiteral("conf|1|install ok config-files")}
        << QStringLiteral("wanted=not installed;conf=not installed")
        << TaskDescription::TaskStatusWarning << QStringLiteral("    wanted\n    conf\n");
    QTest::newRow("unpacked and half-configured count as installed")
        << QByteArray("unp\nhalf\n")
        << QStringList{QStringLiteral("unp|1.0|install ok unpacked"),
                       QStringLiteral("half|2.0|install ok half-configured")}
        << QStringLiteral("unp=1.0;half=2.0") << TaskDescription::TaskStatusDone << QString();
    QTest::newRow("trailing blank is part of the name")
        << QByteArray("pkga \n") << QStringList{QStringLiteral("pkga|1|") + ok}
        << QStringLiteral("pkga =unknown package") << TaskDescription::TaskStatusWarning
        << QStringLiteral("    pkga \n");
    QTest::newRow("duplicates: one entry, each miss reported")
        << QByteArray("pkga\npkgb\npkga\npkgb\n") << QStringList{QStringLiteral("pkga|1|") + ok}
        << QStringLiteral("pkga=1;pkgb=unknown package") << TaskDescription::TaskStatusWarning
        << QStringLiteral("    pkgb\n    pkgb\n");
    QTest::newRow("several records are left out")
        << QByteArray("pkg*\npkgz\n")
        << QStringList{QStringLiteral("pkga|1|") + ok, QStringLiteral("pkgb|2|") + ok,
                       QStringLiteral("pkgz|3|") + ok}
        << QStringLiteral("pkgz=3") << TaskDescription::TaskStatusDone << QString();
    QTest::newRow("pattern of one record is kept under its pattern")
        << QByteArray("pkg?\n") << QStringList{QStringLiteral("pkga|1|") + ok}
        << QStringLiteral("pkg?=1") << TaskDescription::TaskStatusDone << QString();
    // A line of alternatives: the first installed one, else the line as written.
    QTest::newRow("alternatives: the installed one")
        << QByteArray("libcups2 | libcups2t64\n")
        << QStringList{QStringLiteral("libcups2t64|2.4.10-3|") + ok}
        << QStringLiteral("libcups2t64=2.4.10-3") << TaskDescription::TaskStatusDone << QString();
    QTest::newRow("alternatives: the first of two installed")
        << QByteArray("pkga|pkgb\n")
        << QStringList{QStringLiteral("pkgb|2|") + ok, QStringLiteral("pkga|1|") + ok}
        << QStringLiteral("pkga=1") << TaskDescription::TaskStatusDone << QString();
    QTest::newRow("alternatives: an installed one after a removed one")
        << QByteArray("pkga | pkgb\n")
        << QStringList{QStringLiteral("pkga|1|deinstall ok config-files"),
                       QStringLiteral("pkgb|2|") + ok}
        << QStringLiteral("pkgb=2") << TaskDescription::TaskStatusDone << QString();
    QTest::newRow("alternatives: one removed, none installed")
        << QByteArray("pkga | pkgb\n") << QStringList{QStringLiteral("pkgb|2|hold ok config-files")}
        << QStringLiteral("pkga | pkgb=not installed") << TaskDescription::TaskStatusWarning
        << QStringLiteral("    pkga | pkgb\n");
    QTest::newRow("alternatives: none known")
        << QByteArray("pkga | pkgb\n") << QStringList()
        << QStringLiteral("pkga | pkgb=unknown package") << TaskDescription::TaskStatusWarning
        << QStringLiteral("    pkga | pkgb\n");
    QTest::newRow("optional alternatives: none known, left out")
        << QByteArray("!pkga | pkgb\nq\n") << QStringList{QStringLiteral("q|1|") + ok}
        << QStringLiteral("q=1") << TaskDescription::TaskStatusDone << QString();
    QTest::newRow("optional alternatives: one removed")
        << QByteArray("!pkga|!pkgb\n")
        << QStringList{QStringLiteral("pkgb|1|deinstall ok config-files")}
        << QStringLiteral("pkga|pkgb=not installed") << TaskDescription::TaskStatusWarning
        << QStringLiteral("    pkga|pkgb\n");
}

void TestServicePackagesReadHeavyTask::readsList()
{
    QFETCH(QByteArray, list);
    QFETCH(QStringList, installed);
    QFETCH(QString, expected);
    QFETCH(TaskDescription::TaskStatus, status);
    QFETCH(QString, missing);
    OXA_REQUIRE_TEST_HOST(*m_host);

    QVERIFY2(m_host->writeFile(dataDirectory + QStringLiteral("/ServiceSamba"), list),
             qPrintable(m_host->errorString()));
    for (const QString &line : installed) {
        const QStringList parts = line.split(QLatin1Char('|'));
        QVERIFY2(m_host->installPackage(parts.at(0), parts.at(1), parts.at(2)),
                 qPrintable(m_host->errorString()));
    }
    ServicePackagesReadHeavyTask task(
        packagesUnder(QStringLiteral("ServiceSamba"), QStringLiteral("ServiceSamba")));
    QCOMPARE(task.taskDescription().description(),
             QStringLiteral("Read information about installed packages of service"));
    QCOMPARE(task.listPath(), dataDirectory + QStringLiteral("/ServiceSamba"));
    task.run();

    QVERIFY(task.record());
    QCOMPARE(task.record()->packages(), mapOf(expected));
    QCOMPARE(task.status(), status);
    if (missing.isEmpty()) {
        QCOMPARE(task.taskDescription().message(), QString());
    } else {
        QCOMPARE(task.taskDescription().message(),
                 QStringLiteral("Found not installed packages: \n\n") + missing);
    }
}

void TestServicePackagesReadHeavyTask::listNameFromServiceElement_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("elementType");
    QTest::addColumn<QString>("version"); // empty: no "version" property
    QTest::addColumn<QString>("listName");

    QTest::newRow("underscore cut")
        << QStringLiteral("ServiceFoo_bar_1") << QStringLiteral("ServiceFoo_bar_1") << QString()
        << QStringLiteral("ServiceFoo");
    QTest::newRow("version suffix")
        << QStringLiteral("ServiceFoo_bar") << QStringLiteral("ServiceFoo_bar")
        << QStringLiteral("9.6") << QStringLiteral("ServiceFoo-9.6");
    QTest::newRow("cluster") << QString() << QStringLiteral("ServicePgsqlCluster")
                             << QStringLiteral("15") << QStringLiteral("ServicePgsqlCluster-15");
}

void TestServicePackagesReadHeavyTask::listNameFromServiceElement()
{
    QFETCH(QString, id);
    QFETCH(QString, elementType);
    QFETCH(QString, version);
    QFETCH(QString, listName);
    OXA_REQUIRE_TEST_HOST(*m_host);

    QVERIFY(m_host->writeFile(dataDirectory + QLatin1Char('/') + listName, "pkga\n"));
    QVERIFY(m_host->installPackage(QStringLiteral("pkga"), QStringLiteral("5.0")));
    ElementData *data = nullptr;
    if (!version.isEmpty()) {
        data = new ElementData;
        data->setProperty(QStringLiteral("version"), version);
    }
    ServicePackagesReadHeavyTask task(packagesUnder(id, elementType, data));
    QCOMPARE(task.listPath(), dataDirectory + QLatin1Char('/') + listName);
    task.run();
    QCOMPARE(task.status(), TaskDescription::TaskStatusDone);
    QCOMPARE(task.record()->packages(), mapOf(QStringLiteral("pkga=5.0")));
}

void TestServicePackagesReadHeavyTask::missingListFails()
{
    OXA_REQUIRE_TEST_HOST(*m_host);
    m_host->removePath(dataDirectory + QStringLiteral("/ServiceSamba"));
    ServicePackagesReadHeavyTask task(
        packagesUnder(QStringLiteral("ServiceSamba"), QStringLiteral("ServiceSamba")));
    task.run();
    QCOMPARE(task.status(), TaskDescription::TaskStatusFailed);
    QCOMPARE(task.taskDescription().message(), QStringLiteral("Failed to open file ") +
                                                   dataDirectory + QStringLiteral("/ServiceSamba"));
    QVERIFY(task.record()->packages().isEmpty());
}

void TestServicePackagesReadHeavyTask::listDirectoryIsNoList()
{
    OXA_REQUIRE_TEST_HOST(*m_host);
    QVERIFY(m_host->mkdir(dataDirectory + QStringLiteral("/ServiceSamba")));
    ServicePackagesReadHeavyTask task(
        packagesUnder(QStringLiteral("ServiceSamba"), QStringLiteral("ServiceSamba")));
    task.run();
    QCOMPARE(task.status(), TaskDescription::TaskStatusFailed);
    QCOMPARE(task.taskDescription().message(), QStringLiteral("Failed to open file ") +
                                                   dataDirectory + QStringLiteral("/ServiceSamba"));
}

void TestServicePackagesReadHeavyTask::dpkgQueryThatHangsStopsTheRead()
{
    OXA_REQUIRE_TEST_HOST(*m_host);
    QVERIFY(m_host->writeFile(dataDirectory + QStringLiteral("/ServiceSamba"), "first\nsecond\n"));
    // Logs each package it is asked for, then never ends.
    QVERIFY(m_host->writeTool(QStringLiteral("dpkg-query"),
                              QStringLiteral("echo \"$3\" >> /var/tmp/oxa-dpkg-calls\n"
                                             "exec sleep 600\n")));
    ServicePackagesReadHeavyTask task(
        packagesUnder(QStringLiteral("ServiceSamba"), QStringLiteral("ServiceSamba")));
    task.run();
    QCOMPARE(task.status(), TaskDescription::TaskStatusFailed);
    QCOMPARE(task.taskDescription().message(),
             TaskMessages::notFinished(QStringLiteral("dpkg-query"), 2));
    QCOMPARE(task.taskDescription().message(),
             QStringLiteral("\"dpkg-query ...\" not finished\nError code: 2"));
    QFile calls(QStringLiteral("/var/tmp/oxa-dpkg-calls"));
    QVERIFY(calls.open(QIODevice::ReadOnly));
    QCOMPARE(calls.readAll(), QByteArray("first\n"));
}

void TestServicePackagesReadHeavyTask::dpkgQueryThatCrashesStopsTheRead()
{
    OXA_REQUIRE_TEST_HOST(*m_host);
    QVERIFY(m_host->writeFile(dataDirectory + QStringLiteral("/ServiceSamba"), "first\n"));
    QVERIFY(m_host->writeCrashingScript(m_host->toolPath(QStringLiteral("dpkg-query"))));
    ServicePackagesReadHeavyTask task(
        packagesUnder(QStringLiteral("ServiceSamba"), QStringLiteral("ServiceSamba")));
    task.run();
    QCOMPARE(task.status(), TaskDescription::TaskStatusFailed);
    QCOMPARE(task.taskDescription().message(),
             QStringLiteral("\"dpkg-query ...\" not finished\nError code: 1"));
}

void TestServicePackagesReadHeavyTask::afterRunShowsOnlyGoodReads()
{
    OXA_REQUIRE_TEST_HOST(*m_host);
    QVERIFY(m_host->installPackage(QStringLiteral("pkga"), QStringLiteral("1.0")));
    QVERIFY(m_host->writeFile(dataDirectory + QStringLiteral("/ServiceSamba"), "pkga\n"));
    ServicePackagesElement *packages =
        packagesUnder(QStringLiteral("ServiceSamba"), QStringLiteral("ServiceSamba"));
    ViewEditElementWidget *widget =
        m_packagesModule->elementWidget(QStringLiteral("ServicePackages"));
    QVERIFY(widget);
    widget->setElement(packages, ElementWidgetRoleView);
    auto *edit = widget->findChild<QTextEdit *>(QStringLiteral("_packagesTextEdit"));
    QVERIFY(edit);

    {
        ServicePackagesReadHeavyTask task(packages);
        task.run();
        QCOMPARE(task.status(), TaskDescription::TaskStatusDone);
        task.afterRun();
    }
    QVERIFY(edit->toPlainText().contains(QLatin1String("pkga")));
    QVERIFY(edit->toPlainText().contains(QLatin1String("1.0")));
    QVERIFY(widget->isBlocked());

    // A read that fails leaves the table as it was.
    QVERIFY(m_host->removePath(dataDirectory + QStringLiteral("/ServiceSamba")));
    const QString before = edit->toHtml();
    {
        ServicePackagesReadHeavyTask task(packages);
        task.run();
        QCOMPARE(task.status(), TaskDescription::TaskStatusFailed);
        task.afterRun();
    }
    QCOMPARE(edit->toHtml(), before);

    // A warning still shows the table.
    QVERIFY(m_host->writeFile(dataDirectory + QStringLiteral("/ServiceSamba"), "pkga\nnone\n"));
    {
        ServicePackagesReadHeavyTask task(packages);
        task.run();
        QCOMPARE(task.status(), TaskDescription::TaskStatusWarning);
        task.afterRun();
    }
    QVERIFY(edit->toPlainText().contains(QLatin1String("unknown package")));
}

OXA_TEST_MAIN(TestServicePackagesReadHeavyTask)
#include "tst_servicepackagesreadheavytask.moc"

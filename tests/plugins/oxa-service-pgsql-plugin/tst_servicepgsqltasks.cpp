// The cluster tasks against Debian's real PostgreSQL tools inside the disposable test host,
// and against scripted tools where the real ones cannot misbehave on demand.

#include <clustermiscmodel.h>
#include <servicepgsqlclusterelement.h>
#include <servicepgsqlclusterselement.h>
#include <servicepgsqlelementwidget.h>
#include <servicepgsqlmodule.h>
#include <servicepgsqlplugin.h>
#include <servicepgsqltasks.h>

#include "testicontheme.h"

#include <hostlayout.h>
#include <taskrunner.h>
#include <testhost.h>

#include <childprocess.h>
#include <elementdata.h>
#include <taskmessages.h>

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QLineEdit>
#include <QSignalSpy>
#include <QStringListModel>
#include <QTest>

#include <memory>

#include <sys/stat.h>

namespace {

// Ports of the clusters the tests start; chosen away from the usual 5432 and its neighbours.
const int startPort = 5471;
const int paranoidPort = 5472;

/** Records what it is asked for (as a child module of the PostgreSQL module). */
class RecordingModule : public Module
{
public:
    RecordingModule() : Module(QStringLiteral("RecordingModule")) {}
    void performOperation(ContextOperation *context, OperationType type, ElementData *data,
                          int n) override
    {
        calls.append({context, type, data});
        Module::performOperation(context, type, nullptr, n);
    }
    struct Call
    {
        ContextOperation *context;
        OperationType type;
        ElementData *data;
    };
    QList<Call> calls;
};

/// How often the scripted pgadmin3 was started.
int startsRecorded()
{
    QFile file(QStringLiteral("/var/tmp/pgadmin3-ran"));
    return file.open(QIODevice::ReadOnly) ? file.readAll().count("started") : 0;
}

} // namespace

class TestServicePgsqlTasks : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void realClusterLifeCycle();
    void createWithEmptyPortLetsTheToolChoose();
    void failingToolReportsExitCodeAndError();
    void failedDpkgQueryStopsTheListRead();
    void statusTexts();
    void listReadReplacesChildren();
    void misbehavingTools_data();
    void misbehavingTools();
    void clusterReadOfVanishedCluster();
    void startModeChange_data();
    void startModeChange();
    void refusedActionReadsTheClusterAgain_data();
    void refusedActionReadsTheClusterAgain();
    void tasksWithoutRecord();
    void changesOutliveTheReadLimit_data();
    void changesOutliveTheReadLimit();
    void paranoidCreateAndDelete();
    void paranoidListReadReadsEveryCluster();
    void controlWithoutPackage();
    void controlRemembersFoundPackage();
    void moduleForwardsToChildModules();
    void demoHostListsTheServerVersion();

private:
    /// A fresh host; the real tools' tests start from the machine's package database.
    bool makeHost(TestHost::PackageDatabase packages);
    ServicePgsqlClustersElement *clusters() const;
    ServicePgsqlClusterElement *cluster(const QString &title) const;
    /// Creates a cluster through the form, as the console's creation dialog does.
    TaskReport createThroughForm(const QString &name, const QString &version, const QString &port);
    /// Performs @p type on @p element and waits for every task it caused.
    QList<TaskReport> perform(Element *element, OperationType type);
    TaskReport lastReport(const QString &description) const;
    /// Drops a cluster the test made, whatever state it is in (also after a failure).
    void dropCluster(const QString &version, const QString &name);

    std::unique_ptr<TestHost> m_host;
    std::unique_ptr<ServicePgsqlModule> m_module;
    std::unique_ptr<TaskRunner> m_runner;
    QList<QPair<QString, QString>> m_created;
    QTemporaryDir m_themeDir;
};

void TestServicePgsqlTasks::initTestCase()
{
    QVERIFY(installStateIconTheme(m_themeDir));
    m_runner = std::make_unique<TaskRunner>();
}

void TestServicePgsqlTasks::init()
{
    ServicePgsqlClusterControlTask::resetPackageFound();
    m_runner->clear();
}

void TestServicePgsqlTasks::cleanup()
{
    ChildProcess::setReadLimitMs(TestHost::ReadLimitMs);
    m_runner->waitForIdle(120000);
    for (const auto &cluster : std::as_const(m_created))
        dropCluster(cluster.first, cluster.second);
    m_created.clear();
    m_module.reset();
    m_host.reset();
}

bool TestServicePgsqlTasks::makeHost(TestHost::PackageDatabase packages)
{
    m_host = std::make_unique<TestHost>(packages);
    if (!m_host->isAvailable())
        return false;
    m_module = std::make_unique<ServicePgsqlModule>(nullptr);
    return true;
}

ServicePgsqlClustersElement *TestServicePgsqlTasks::clusters() const
{
    return qobject_cast<ServicePgsqlClustersElement *>(m_module->firstElement());
}

ServicePgsqlClusterElement *TestServicePgsqlTasks::cluster(const QString &title) const
{
    for (TreeNode *node : clusters()->childNodes()) {
        auto *element = qobject_cast<ServicePgsqlClusterElement *>(node);
        if (element && element->title() == title)
            return element;
    }
    return nullptr;
}

TaskReport TestServicePgsqlTasks::createThroughForm(const QString &name, const QString &version,
                                                    const QString &port)
{
    auto *form = qobject_cast<ServicePgsqlElementWidget *>(
        clusters()->elementWidget(ElementWidgetRoleCreate));
    form->setElement(clusters(), ElementWidgetRoleCreate);
    form->blockEditWidget(false);
    form->findChild<QLineEdit *>("_nameLineEdit")->setText(name);
    auto *combo = form->findChild<QComboBox *>("_versionComboBox");
    combo->setCurrentIndex(combo->findText(version));
    form->findChild<QLineEdit *>("_portLineEdit")->setText(port);
    if (!form->isContentValid())
        return TaskReport();
    m_created.append({version, name});
    const int first = m_runner->reports().size();
    form->applyContentChanges();
    form->blockEditWidget(true);
    m_runner->waitForIdle(120000);
    return m_runner->reports().value(first);
}

QList<TaskReport> TestServicePgsqlTasks::perform(Element *element, OperationType type)
{
    const int first = m_runner->reports().size();
    element->performOperation(type, nullptr, 0);
    m_runner->waitForIdle(120000);
    return m_runner->reports().mid(first);
}

TaskReport TestServicePgsqlTasks::lastReport(const QString &description) const
{
    for (int i = m_runner->reports().size() - 1; i >= 0; --i) {
        if (m_runner->reports().at(i).description == description)
            return m_runner->reports().at(i);
    }
    return TaskReport();
}

void TestServicePgsqlTasks::dropCluster(const QString &version, const QString &name)
{
    if (!QFile::exists(QStringLiteral("/etc/postgresql/%1/%2").arg(version, name)))
        return;
    const ProcessResult result = ChildProcess::run(QStringLiteral("/usr/bin/pg_dropcluster"),
                                                   {version, name, QStringLiteral("--stop")});
    if (!result.succeeded())
        qWarning("could not drop cluster %s/%s: %s", qPrintable(version), qPrintable(name),
                 qPrintable(result.errorText()));
}

void TestServicePgsqlTasks::realClusterLifeCycle()
{
    makeHost(TestHost::MachinePackageDatabase);
    OXA_REQUIRE_TEST_HOST(*m_host);
    const QString version = TestHost::newestPgsqlServer();
    if (version.isEmpty())
        QSKIP("no PostgreSQL server is installed (scripts/install-services installs one)");

    // The list: the installed server version reaches the form's versions.
    QList<TaskReport> reports = perform(clusters(), OperationReadContent);
    QCOMPARE(reports.size(), 1);
    QCOMPARE(reports.first().description, QStringLiteral("Read PostgreSQL clusters"));
    QCOMPARE(reports.first().status, TaskDescription::TaskStatusDone);
    QVERIFY2(clusters()->versionsModel()->stringList().contains(version),
             qPrintable(clusters()->versionsModel()->stringList().join(',')));

    // Create 15/main2 on a given port: the new element appears at once, not yet read.
    const TaskReport created = createThroughForm("main2", version, QString::number(startPort));
    QVERIFY2(created.status == TaskDescription::TaskStatusDone, qPrintable(created.message));
    QCOMPARE(created.description, QStringLiteral("Create PostgreSQL cluster"));
    ServicePgsqlClusterElement *main2 = cluster(QStringLiteral("main2-%1").arg(version));
    QVERIFY(main2);
    QCOMPARE(main2->data(3, Qt::DisplayRole).toInt(), startPort);
    QCOMPARE(main2->elementData()->property("state").toBool(), false);
    QCOMPARE(main2->elementData()->property("textState").toString(), QString());
    QCOMPARE(main2->elementData()->property("configureParam").toString(),
             QStringLiteral("cluster=main2/version=%1").arg(version));
    QVERIFY(QFile::exists(QStringLiteral("/etc/postgresql/%1/main2/postgresql.conf").arg(version)));

    // A read brings the directories and the real state.
    reports = perform(main2, OperationReadHeavy);
    QCOMPARE(reports.size(), 1);
    QCOMPARE(reports.first().status, TaskDescription::TaskStatusDone);
    QCOMPARE(
        main2->elementData()->property("directories").toStringList(),
        (QStringList{QStringLiteral("/etc/postgresql/%1/main2").arg(version),
                     QStringLiteral("/var/lib/postgresql/%1/main2").arg(version),
                     QStringLiteral("/var/log/postgresql/postgresql-%1-main2.log").arg(version)}));
    QCOMPARE(main2->data(4, Qt::DisplayRole).toString(), QStringLiteral("down"));
    // pg_createcluster's start.conf says "auto": disabling at boot is offered.
    QCOMPARE(main2->elementData()->property("bootState").toString(), QStringLiteral("auto"));
    QCOMPARE(main2->availableOperations(), OperationTypes(0x510A4));

    // Not at boot: the tools' own start.conf says "manual" then, its comments kept.
    const QString startConf = QStringLiteral("/etc/postgresql/%1/main2/start.conf").arg(version);
    QFile conf(startConf);
    QVERIFY(conf.open(QIODevice::ReadOnly));
    const QList<QByteArray> installed = conf.readAll().split('\n');
    conf.close();
    reports = perform(main2, OperationDisableAtBoot);
    QCOMPARE(reports.size(), 2);
    QVERIFY2(reports.first().status == TaskDescription::TaskStatusDone,
             qPrintable(reports.first().message));
    QCOMPARE(main2->elementData()->property("bootState").toString(), QStringLiteral("manual"));
    QCOMPARE(main2->availableOperations(), OperationTypes(0x310A4));
    QVERIFY(conf.open(QIODevice::ReadOnly));
    const QList<QByteArray> manual = conf.readAll().split('\n');
    conf.close();
    QCOMPARE(manual.size(), installed.size());
    for (int i = 0; i < installed.size(); ++i) {
        if (installed.at(i).startsWith('#'))
            QCOMPARE(manual.at(i), installed.at(i));
    }
    QVERIFY(manual.contains("manual"));
    reports = perform(main2, OperationEnableAtBoot);
    QCOMPARE(reports.first().status, TaskDescription::TaskStatusDone);
    QCOMPARE(main2->elementData()->property("bootState").toString(), QStringLiteral("auto"));
    QCOMPARE(main2->availableOperations(), OperationTypes(0x510A4));

    // Start: the framework reads the cluster again, which then runs.
    reports = perform(main2, OperationStart);
    QVERIFY(reports.size() >= 2);
    QCOMPARE(reports.first().description, QStringLiteral("Start PostgreSQL cluster"));
    QVERIFY2(reports.first().status == TaskDescription::TaskStatusDone,
             qPrintable(reports.first().message));
    QCOMPARE(reports.last().description, QStringLiteral("Read PostgreSQL cluster"));
    QCOMPARE(main2->elementData()->property("state").toBool(), true);
    QCOMPARE(main2->data(4, Qt::DisplayRole).toString(), QStringLiteral("online"));
    QCOMPARE(iconName(main2->data(0, Qt::DecorationRole)), QStringLiteral("media-playback-start"));
    QCOMPARE(main2->availableOperations(), OperationTypes(0x5E0A4));

    // Starting a running cluster fails with the tool's exit code and its error text; the
    // cluster is read again.
    reports = perform(main2, OperationStart);
    QCOMPARE(reports.size(), 2);
    QCOMPARE(reports.first().status, TaskDescription::TaskStatusFailed);
    QVERIFY2(reports.first().message.startsWith("\"pg_ctlcluster ...\"\nExit code: 2\n\""),
             qPrintable(reports.first().message));
    QCOMPARE(reports.last().description, QStringLiteral("Read PostgreSQL cluster"));
    QCOMPARE(main2->elementData()->property("state").toBool(), true);

    for (OperationType type : {OperationReload, OperationRestart}) {
        reports = perform(main2, type);
        QVERIFY(!reports.isEmpty());
        QVERIFY2(reports.first().status == TaskDescription::TaskStatusDone,
                 qPrintable(reports.first().message));
        QCOMPARE(main2->elementData()->property("state").toBool(), true);
    }
    QCOMPARE(lastReport("Reload PostgreSQL cluster").status, TaskDescription::TaskStatusDone);
    QCOMPARE(lastReport("Restart PostgreSQL cluster").status, TaskDescription::TaskStatusDone);

    reports = perform(main2, OperationStop);
    QVERIFY2(reports.first().status == TaskDescription::TaskStatusDone,
             qPrintable(reports.first().message));
    QCOMPARE(main2->elementData()->property("state").toBool(), false);
    QCOMPARE(main2->data(4, Qt::DisplayRole).toString(), QStringLiteral("down"));

    // Drop with "--stop": start it again first, so that the drop has to stop it.
    reports = perform(main2, OperationStart);
    QCOMPARE(main2->elementData()->property("state").toBool(), true);
    QPointer<ServicePgsqlClusterElement> guard(main2);
    reports = perform(main2, OperationDelete);
    QCOMPARE(reports.size(), 1);
    QCOMPARE(reports.first().description, QStringLiteral("Remove PostgreSQL cluster"));
    QVERIFY2(reports.first().status == TaskDescription::TaskStatusDone,
             qPrintable(reports.first().message));
    QVERIFY(guard.isNull());
    QVERIFY(!cluster(QStringLiteral("main2-%1").arg(version)));
    QVERIFY(!QFile::exists(QStringLiteral("/etc/postgresql/%1/main2").arg(version)));
    QVERIFY(!QFile::exists(QStringLiteral("/var/lib/postgresql/%1/main2").arg(version)));

    // The list read agrees.
    perform(clusters(), OperationReadContent);
    QVERIFY(!cluster(QStringLiteral("main2-%1").arg(version)));
}

void TestServicePgsqlTasks::createWithEmptyPortLetsTheToolChoose()
{
    makeHost(TestHost::MachinePackageDatabase);
    OXA_REQUIRE_TEST_HOST(*m_host);
    const QString version = TestHost::newestPgsqlServer();
    if (version.isEmpty())
        QSKIP("no PostgreSQL server is installed (scripts/install-services installs one)");
    perform(clusters(), OperationReadContent);
    const TaskReport created = createThroughForm("main3", version, QString());
    QVERIFY2(created.status == TaskDescription::TaskStatusDone, qPrintable(created.message));
    ServicePgsqlClusterElement *main3 = cluster(QStringLiteral("main3-%1").arg(version));
    QVERIFY(main3);
    QCOMPARE(main3->data(3, Qt::DisplayRole).toInt(), 0);
    perform(main3, OperationReadHeavy);
    const int port = main3->data(3, Qt::DisplayRole).toInt();
    QVERIFY2(port >= 1024 && port <= 65535, qPrintable(QString::number(port)));
    QVERIFY(QFile::exists(QStringLiteral("/etc/postgresql/%1/main3").arg(version)));
}

void TestServicePgsqlTasks::failingToolReportsExitCodeAndError()
{
    makeHost(TestHost::MachinePackageDatabase);
    OXA_REQUIRE_TEST_HOST(*m_host);
    perform(clusters(), OperationReadContent);
    const int before = clusters()->childCount();

    // A version that is not installed: pg_createcluster refuses, and says why.
    const ProcessResult real = ChildProcess::run("pg_createcluster", {"7.4", "nover"});
    QVERIFY(real.finished);
    QVERIFY(real.exitCode != 0);
    clusters()->versionsModel()->setStringList({"15", "7.4"});
    const TaskReport created = createThroughForm("nover", "7.4", QString());
    QCOMPARE(created.status, TaskDescription::TaskStatusFailed);
    QCOMPARE(created.message,
             TaskMessages::exitCode("pg_createcluster", real.exitCode, real.errorText()));
    QVERIFY(!real.errorText().isEmpty());
    QCOMPARE(clusters()->childCount(), before);

    // Dropping a cluster that is not there fails, and the list read after it shows what
    // there is: no such cluster.
    auto *ghost = new ServicePgsqlClusterElement(m_module.get());
    auto *record = new ElementData;
    record->setProperty("version", "15");
    record->setProperty("name", "ghost");
    ghost->setElementData(record);
    ghost->setTitle("ghost-15");
    clusters()->append(ghost);
    QPointer<ServicePgsqlClusterElement> guard(ghost);
    const QList<TaskReport> reports = perform(ghost, OperationDelete);
    QCOMPARE(reports.size(), 2);
    QCOMPARE(reports.first().status, TaskDescription::TaskStatusFailed);
    QVERIFY2(reports.first().message.startsWith("\"pg_dropcluster ...\"\nExit code: 1\n\""),
             qPrintable(reports.first().message));
    QVERIFY(reports.first().message.contains("does not exist"));
    QCOMPARE(reports.last().description, QStringLiteral("Read PostgreSQL clusters"));
    QCOMPARE(reports.last().status, TaskDescription::TaskStatusDone);
    QVERIFY(guard.isNull());
    QCOMPARE(clusters()->childCount(), before);
}

void TestServicePgsqlTasks::failedDpkgQueryStopsTheListRead()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    m_module = std::make_unique<ServicePgsqlModule>(nullptr);
    // No server package known: the real dpkg-query exits with 1 and says so.
    const ProcessResult real =
        ChildProcess::run("dpkg-query", {"--showformat=${db:Status-Abbrev}${binary:Package}\n",
                                         "--show", "postgresql-[0123456789]*"});
    QCOMPARE(real.exitCode, 1);
    QVERIFY(host.writeTool("pg_lsclusters", "touch /var/tmp/pg_lsclusters-ran\n"
                                            "echo '15 main 5432 down postgres /d /l'"));
    auto *stale = new ServicePgsqlClusterElement(m_module.get());
    clusters()->append(stale);
    const QList<TaskReport> reports = perform(clusters(), OperationReadContent);
    QCOMPARE(reports.size(), 1);
    QCOMPARE(reports.first().status, TaskDescription::TaskStatusFailed);
    QCOMPARE(reports.first().message, TaskMessages::exitCode("dpkg-query", 1, real.errorText()));
    QVERIFY(!QFile::exists("/var/tmp/pg_lsclusters-ran"));
    // A failed read leaves the tree as it was.
    QCOMPARE(clusters()->childCount(), 1);
    QCOMPARE(clusters()->child(0), stale);
    m_module.reset();
}

void TestServicePgsqlTasks::statusTexts()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    m_module = std::make_unique<ServicePgsqlModule>(nullptr);
    QVERIFY(host.installPackage("postgresql-9.6", "9.6.24-0+deb9u1"));
    QVERIFY(host.installPackage("postgresql-9.6-postgis-2.3", "2.3.1+dfsg-2"));
    QVERIFY(host.installPackage("postgresql-11", "11.22-0+deb10u1"));
    QVERIFY(host.removePackage("postgresql-11"));
    QVERIFY(host.installPackage("postgresql-15", "15.18-0+deb12u1"));
    QVERIFY(
        host.writeTool("pg_lsclusters",
                       "[ \"$1\" = --no-header ] || exit 9\n"
                       "echo '9.6 main 5432 online,recovery postgres /var/lib/postgresql/9.6/main "
                       "/var/log/postgresql/postgresql-9.6-main.log'\n"
                       "echo '15  main   5433 down,recovery postgres /d15 /l15'\n"
                       "echo '15 odd 5434 online,binaries_missing postgres /d /l'\n"
                       "echo '15 short'"));
    QList<TaskReport> reports = perform(clusters(), OperationReadContent);
    QCOMPARE(reports.size(), 1);
    QVERIFY2(reports.first().status == TaskDescription::TaskStatusDone,
             qPrintable(reports.first().message));
    QStringList versions = clusters()->versionsModel()->stringList();
    versions.sort();
    QCOMPARE(versions, (QStringList{"15", "9.6"}));

    QCOMPARE(clusters()->childCount(), 3);
    ServicePgsqlClusterElement *main96 = cluster("main-9.6");
    QVERIFY(main96);
    QCOMPARE(main96->data(0, Qt::DisplayRole).toString(), QStringLiteral("9.6 main"));
    QCOMPARE(main96->data(4, Qt::DisplayRole).toString(), QStringLiteral("online,recovery"));
    QCOMPARE(main96->elementData()->property("state").toBool(), true);
    ServicePgsqlClusterElement *main15 = cluster("main-15");
    QCOMPARE(main15->elementData()->property("state").toBool(), false);
    QCOMPARE(main15->data(4, Qt::DisplayRole).toString(), QStringLiteral("down,recovery"));
    ServicePgsqlClusterElement *odd = cluster("odd-15");
    QCOMPARE(odd->elementData()->property("state").toBool(), true);
    QCOMPARE(odd->data(4, Qt::DisplayRole).toString(), QString());

    // The cluster read adds the directories; the form shows them.
    auto *form =
        qobject_cast<ServicePgsqlElementWidget *>(main96->elementWidget(ElementWidgetRoleView));
    form->setElement(main96, ElementWidgetRoleView);
    reports = perform(main96, OperationReadHeavy);
    QCOMPARE(reports.first().status, TaskDescription::TaskStatusDone);
    QCOMPARE(main96->elementData()->property("directories").toStringList(),
             (QStringList{"/etc/postgresql/9.6/main", "/var/lib/postgresql/9.6/main",
                          "/var/log/postgresql/postgresql-9.6-main.log"}));
    QCOMPARE(form->findChild<QLineEdit *>("_nameLineEdit")->text(), QStringLiteral("main"));
    QCOMPARE(form->findChild<QComboBox *>("_versionComboBox")->currentText(),
             QStringLiteral("9.6"));
    QCOMPARE(form->infoModel()->rows().value(2),
             QStringLiteral("/var/log/postgresql/postgresql-9.6-main.log"));
    m_module.reset();
}

void TestServicePgsqlTasks::listReadReplacesChildren()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    m_module = std::make_unique<ServicePgsqlModule>(nullptr);
    QVERIFY(host.installPackage("postgresql-15", "15.18-0+deb12u1"));
    QVERIFY(host.writeTool("pg_lsclusters", "echo '15 a 5432 down postgres /d /l'\n"
                                            "echo '15 b 5433 online postgres /d /l'"));
    perform(clusters(), OperationReadContent);
    QCOMPARE(clusters()->childCount(), 2);
    QPointer<TreeNode> first = clusters()->child(0);
    QVERIFY(host.writeTool("pg_lsclusters", "exit 0"));
    const QList<TaskReport> reports = perform(clusters(), OperationReadContent);
    QCOMPARE(reports.first().status, TaskDescription::TaskStatusDone);
    QCOMPARE(clusters()->childCount(), 0);
    QVERIFY(first.isNull());
    m_module.reset();
}

void TestServicePgsqlTasks::misbehavingTools_data()
{
    QTest::addColumn<QString>("tool");
    QTest::addColumn<bool>("onCluster");
    QTest::addColumn<QString>("message");

    QTest::newRow("list read, crash")
        << "crash" << false << TaskMessages::notFinished("pg_lsclusters", 1);
    QTest::newRow("cluster read, crash")
        << "crash" << true << TaskMessages::notFinished("pg_lsclusters", 1);
    QTest::newRow("cluster read, hang")
        << "hang" << true << TaskMessages::notFinished("pg_lsclusters", 2);
    QTest::newRow("list read, garbage") << "garbage" << false << QString();
}

void TestServicePgsqlTasks::misbehavingTools()
{
    QFETCH(QString, tool);
    QFETCH(bool, onCluster);
    QFETCH(QString, message);
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    m_module = std::make_unique<ServicePgsqlModule>(nullptr);
    QVERIFY(host.installPackage("postgresql-15", "15.18-0+deb12u1"));
    const QString path = host.toolPath("pg_lsclusters");
    if (tool == "crash")
        QVERIFY(host.writeCrashingScript(path));
    else if (tool == "hang")
        QVERIFY(host.writeHangingScript(path));
    else
        QVERIFY(host.writeOutputScript(path, QByteArray("15\xff\xfe x\n\n \t \n15 a 5432 down\0"
                                                        "15 hidden 1 online p /d /l\n",
                                                        52)));

    auto *element = new ServicePgsqlClusterElement(m_module.get());
    auto *record = new ElementData;
    record->setProperty("version", "15");
    record->setProperty("name", "a");
    record->setProperty("port", 1);
    element->setElementData(record);
    clusters()->append(element);

    const QList<TaskReport> reports =
        perform(onCluster ? static_cast<Element *>(element) : clusters(),
                onCluster ? OperationReadHeavy : OperationReadContent);
    QCOMPARE(reports.size(), 1);
    if (message.isEmpty()) {
        // Lines past a NUL byte are not read; short lines are passed over.
        QCOMPARE(reports.first().status, TaskDescription::TaskStatusDone);
        QCOMPARE(clusters()->childCount(), 1);
        QCOMPARE(static_cast<Element *>(clusters()->child(0))->title(), QStringLiteral("a-15"));
        return;
    }
    QCOMPARE(reports.first().status, TaskDescription::TaskStatusFailed);
    QCOMPARE(reports.first().message, message);
    // Nothing of a failed read reaches the tree.
    QCOMPARE(clusters()->childCount(), 1);
    QCOMPARE(clusters()->child(0), element);
    QCOMPARE(element->elementData()->property("port").toInt(), 1);
    m_module.reset();
}

void TestServicePgsqlTasks::clusterReadOfVanishedCluster()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    m_module = std::make_unique<ServicePgsqlModule>(nullptr);
    QVERIFY(host.writeTool("pg_lsclusters", "echo '15 other 5432 online postgres /d /l'"));
    auto *element = new ServicePgsqlClusterElement(m_module.get());
    auto *record = new ElementData;
    record->setProperty("version", "15");
    record->setProperty("name", "gone");
    record->setProperty("port", 5999);
    element->setElementData(record);
    clusters()->append(element);
    const QVariantMap before = record->properties();
    const QList<TaskReport> reports = perform(element, OperationReadHeavy);
    QCOMPARE(reports.first().status, TaskDescription::TaskStatusDone);
    QCOMPARE(element->elementData()->properties(), before);
    m_module.reset();
}

void TestServicePgsqlTasks::startModeChange_data()
{
    // The cluster's name, its start.conf before ("@" + a path: a link to it; null: none) and
    // its mode, the change, and then: the outcome, the file and its mode, the mode shown.
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("enable");
    QTest::addColumn<bool>("done");
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<int>("modeAfter");
    QTest::addColumn<QString>("shown");

    const QByteArray comments = "# Automatic startup configuration\n#   manual: manually\n\n";
    QTest::newRow("disable, comments and mode kept")
        << "main" << comments + "auto\n"
        << 0640 << false << true << comments + "manual\n"
        << 0640 << "manual";
    QTest::newRow("enable a disabled cluster")
        << "main" << QByteArray("disabled # no\n") << 0644 << true << true
        << QByteArray("auto # no\n") << 0644 << "auto";
    QTest::newRow("no file: made") << "main" << QByteArray() << 0 << false << true
                                   << QByteArray("manual\n") << 0644 << "manual";
    QTest::newRow("a link in its place") << "main" << QByteArray("@/var/tmp/target") << 0 << false
                                         << false << QByteArray("auto\n") << 0644 << "auto";
    QTest::newRow("a name that leads elsewhere")
        << "../main" << QByteArray() << 0 << true << false << QByteArray() << 0 << "unknown";
}

void TestServicePgsqlTasks::startModeChange()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, before);
    QFETCH(int, mode);
    QFETCH(bool, enable);
    QFETCH(bool, done);
    QFETCH(QByteArray, after);
    QFETCH(int, modeAfter);
    QFETCH(QString, shown);
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    m_module = std::make_unique<ServicePgsqlModule>(nullptr);
    QVERIFY(host.writeTool("pg_lsclusters",
                           QStringLiteral("echo '15 %1 5432 down postgres /d /l'").arg(name)));
    const QString startConf = QStringLiteral("/etc/postgresql/15/main/start.conf");
    // Whatever clusters the machine has: only what the case lays out.
    QVERIFY(host.removePath(QStringLiteral("/etc/postgresql")));
    QVERIFY(host.mkdir(QStringLiteral("/etc/postgresql/15/main")));
    // What a link points at stays as it is.
    QVERIFY(host.writeFile(QStringLiteral("/var/tmp/target"), "auto\n"));
    if (before.startsWith('@'))
        QVERIFY(host.writeSymlink(startConf, QString::fromLatin1(before.mid(1))));
    else if (!before.isNull())
        QVERIFY(host.writeFile(startConf, before, mode));

    auto *element = new ServicePgsqlClusterElement(m_module.get());
    auto *record = new ElementData;
    record->setProperty("version", "15");
    record->setProperty("name", name);
    element->setElementData(record);
    clusters()->append(element);
    const QList<TaskReport> reports =
        perform(element, enable ? OperationEnableAtBoot : OperationDisableAtBoot);
    QCOMPARE(reports.size(), 2);
    QCOMPARE(reports.first().description,
             enable ? QStringLiteral("Enable PostgreSQL cluster at boot")
                    : QStringLiteral("Disable PostgreSQL cluster at boot"));
    QCOMPARE(reports.first().status,
             done ? TaskDescription::TaskStatusDone : TaskDescription::TaskStatusFailed);
    // The cluster is read again, whatever the change did.
    QCOMPARE(reports.last().description, QStringLiteral("Read PostgreSQL cluster"));
    QCOMPARE(element->elementData()->property("bootState").toString(), shown);

    const QString written = before.startsWith('@') ? QStringLiteral("/var/tmp/target") : startConf;
    QFile file(written);
    QCOMPARE(file.open(QIODevice::ReadOnly), !after.isNull());
    QCOMPARE(file.readAll(), after);
    struct stat st;
    if (!after.isNull()) {
        QCOMPARE(::stat(QFile::encodeName(written).constData(), &st), 0);
        QCOMPARE(int(st.st_mode & 07777), modeAfter);
    }
    QVERIFY(!QFile::exists(QStringLiteral("/etc/postgresql/15/start.conf")));
    m_module.reset();
}

void TestServicePgsqlTasks::refusedActionReadsTheClusterAgain_data()
{
    QTest::addColumn<bool>("shownRunning");
    QTest::addColumn<QString>("refusal");

    // What pg_ctlcluster says when the cluster is already where it was asked to go.
    QTest::newRow("start, started elsewhere") << false << "Cluster is already running.";
    QTest::newRow("stop, stopped elsewhere") << true << "Cluster is not running.";
}

void TestServicePgsqlTasks::refusedActionReadsTheClusterAgain()
{
    QFETCH(bool, shownRunning);
    QFETCH(QString, refusal);
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(host.removePath(QStringLiteral("/etc/postgresql/15/a")));
    m_module = std::make_unique<ServicePgsqlModule>(nullptr);
    // The cluster changed behind the console's back: it is in the state the action asks for.
    const QString actual = shownRunning ? QStringLiteral("down") : QStringLiteral("online");
    QVERIFY(host.writeTool("pg_lsclusters",
                           QStringLiteral("echo '15 a 5471 %1 postgres /d /l'").arg(actual)));
    QVERIFY(host.writeTool("pg_ctlcluster", QStringLiteral("echo '%1' >&2; exit 2").arg(refusal)));
    auto *element = new ServicePgsqlClusterElement(m_module.get());
    auto *record = new ElementData;
    record->setProperty("version", "15");
    record->setProperty("name", "a");
    record->setProperty("state", shownRunning);
    record->setProperty("textState", shownRunning ? "online" : "down");
    element->setElementData(record);
    clusters()->append(element);

    const QList<TaskReport> reports =
        perform(element, shownRunning ? OperationStop : OperationStart);
    QCOMPARE(reports.size(), 2);
    // Still a failure, with the tool's word for it.
    QCOMPARE(reports.first().status, TaskDescription::TaskStatusFailed);
    QCOMPARE(reports.first().message,
             TaskMessages::exitCode("pg_ctlcluster", 2, refusal + QLatin1Char('\n')));
    // And the state the tool found.
    QCOMPARE(reports.last().description, QStringLiteral("Read PostgreSQL cluster"));
    QCOMPARE(reports.last().status, TaskDescription::TaskStatusDone);
    QCOMPARE(element->elementData()->property("state").toBool(), !shownRunning);
    QCOMPARE(element->data(4, Qt::DisplayRole).toString(), actual);
    // Without a start.conf the cluster starts at boot (the tools' default): disabling is offered.
    QCOMPARE(element->availableOperations(), OperationTypes(shownRunning ? 0x510A4 : 0x5E0A4));
    m_module.reset();
}

void TestServicePgsqlTasks::tasksWithoutRecord()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    m_module = std::make_unique<ServicePgsqlModule>(nullptr);
    for (const char *tool : {"pg_lsclusters", "pg_dropcluster"})
        QVERIFY(host.writeTool(tool, QStringLiteral("touch /var/tmp/%1-ran").arg(tool)));
    auto *bare = new ServicePgsqlClusterElement(m_module.get());
    clusters()->append(bare);
    for (OperationType type : {OperationReadHeavy, OperationDelete}) {
        // A failed delete reads the list again (here it fails too: no server is installed).
        const QList<TaskReport> reports = perform(bare, type);
        QCOMPARE(reports.size(), type == OperationDelete ? 2 : 1);
        QCOMPARE(reports.first().status, TaskDescription::TaskStatusFailed);
        QCOMPARE(reports.first().message, QStringLiteral("Internal error: undefined target"));
    }
    QVERIFY(!QFile::exists("/var/tmp/pg_lsclusters-ran"));
    QVERIFY(!QFile::exists("/var/tmp/pg_dropcluster-ran"));
    QCOMPARE(clusters()->childCount(), 1);
    m_module.reset();
}

void TestServicePgsqlTasks::changesOutliveTheReadLimit_data()
{
    QTest::addColumn<QString>("tool");
    QTest::newRow("create") << "pg_createcluster";
    QTest::newRow("drop") << "pg_dropcluster";
    QTest::newRow("start") << "pg_ctlcluster";
}

void TestServicePgsqlTasks::changesOutliveTheReadLimit()
{
    // A cluster's initdb or a stop of a busy server outlasts any read: the tool is left to
    // end, and the task says meanwhile that it still runs.
    QFETCH(QString, tool);
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    m_module = std::make_unique<ServicePgsqlModule>(nullptr);
    QVERIFY(host.writeTool(tool, QStringLiteral("[ \"$3\" = status ] && exit 3\nsleep 0.5\n"
                                                "touch /var/tmp/%1-done\n")
                                     .arg(tool)));
    QVERIFY(host.writeTool("pg_lsclusters", "echo '15 a 5432 down postgres /d /l'"));
    auto *record = new ElementData;
    record->setProperty("version", "15");
    record->setProperty("name", "a");
    auto *element = new ServicePgsqlClusterElement(m_module.get());
    element->setElementData(new ElementData(*record));
    clusters()->append(element);
    AbstractTask *task = nullptr;
    if (tool == "pg_createcluster")
        task = new ServicePgsqlClusterCreateTask(clusters(), record);
    else if (tool == "pg_dropcluster")
        task = new ServicePgsqlClusterDeleteTask(element);
    else
        task = new ServicePgsqlClusterStartTask(element);
    if (tool != "pg_createcluster")
        delete record;

    ChildProcess::setReadLimitMs(100);
    QSignalSpy progress(TaskObserver::instance(), &TaskObserver::taskProgress);
    const TaskReport report = m_runner->perform(task);
    ChildProcess::setReadLimitMs(TestHost::ReadLimitMs);
    QVERIFY2(report.status == TaskDescription::TaskStatusDone, qPrintable(report.message));
    QCOMPARE(progress.count(), 1);
    QVERIFY2(progress.at(0).at(0).value<TaskReport>().message.startsWith(
                 QStringLiteral("\"%1 ...\" still running").arg(tool)),
             qPrintable(progress.at(0).at(0).value<TaskReport>().message));
    QVERIFY(QFile::exists(QStringLiteral("/var/tmp/%1-done").arg(tool)));
    m_module.reset();
}

void TestServicePgsqlTasks::paranoidCreateAndDelete()
{
    makeHost(TestHost::MachinePackageDatabase);
    OXA_REQUIRE_TEST_HOST(*m_host);
    const QString version = TestHost::newestPgsqlServer();
    if (version.isEmpty())
        QSKIP("no PostgreSQL server is installed (scripts/install-services installs one)");
    m_module->setData("paranoid", true);
    perform(clusters(), OperationReadContent);
    const int before = clusters()->childCount();

    const TaskReport created = createThroughForm("main4", version, QString::number(paranoidPort));
    QVERIFY2(created.status == TaskDescription::TaskStatusDone, qPrintable(created.message));
    // The create added nothing itself: the container's content was read again, and with it
    // every cluster.
    const QList<TaskReport> after = m_runner->reports();
    int lists = 0;
    int reads = 0;
    for (const TaskReport &report : after) {
        lists += report.description == QLatin1String("Read PostgreSQL clusters");
        reads += report.description == QLatin1String("Read PostgreSQL cluster");
    }
    QCOMPARE(lists, 2); // the first list read, and the one the create caused
    QCOMPARE(clusters()->childCount(), before + 1);
    ServicePgsqlClusterElement *main4 = cluster(QStringLiteral("main4-%1").arg(version));
    QVERIFY(main4);
    QCOMPARE(main4->elementData()->property("directories").toStringList().value(0),
             QStringLiteral("/etc/postgresql/%1/main4").arg(version));
    // Each list read read every cluster it found.
    QCOMPARE(reads, before + (before + 1));

    QPointer<ServicePgsqlClusterElement> guard(main4);
    m_runner->clear();
    const QList<TaskReport> reports = perform(main4, OperationDelete);
    QVERIFY2(reports.first().status == TaskDescription::TaskStatusDone,
             qPrintable(reports.first().message));
    QCOMPARE(reports.value(1).description, QStringLiteral("Read PostgreSQL clusters"));
    QVERIFY(guard.isNull());
    QVERIFY(!cluster(QStringLiteral("main4-%1").arg(version)));
    QCOMPARE(clusters()->childCount(), before);
}

void TestServicePgsqlTasks::paranoidListReadReadsEveryCluster()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    m_module = std::make_unique<ServicePgsqlModule>(nullptr);
    QVERIFY(host.installPackage("postgresql-15", "15.18-0+deb12u1"));
    QVERIFY(host.writeTool("pg_lsclusters", "echo '15 a 5432 down postgres /da /la'\n"
                                            "echo '15 b 5433 online postgres /db /lb'"));
    // Without "paranoid" a list read reads no cluster.
    QList<TaskReport> reports = perform(clusters(), OperationReadContent);
    QCOMPARE(reports.size(), 1);
    QVERIFY(!cluster("a-15")->elementData()->hasProperty("directories"));

    m_module->setData("paranoid", true);
    reports = perform(clusters(), OperationReadContent);
    QCOMPARE(reports.size(), 3);
    QCOMPARE(reports.at(1).description, QStringLiteral("Read PostgreSQL cluster"));
    QCOMPARE(reports.at(2).description, QStringLiteral("Read PostgreSQL cluster"));
    QCOMPARE(cluster("a-15")->elementData()->property("directories").toStringList().value(1),
             QStringLiteral("/da"));
    QCOMPARE(cluster("b-15")->elementData()->property("directories").toStringList().value(2),
             QStringLiteral("/lb"));
    m_module.reset();
}

void TestServicePgsqlTasks::controlWithoutPackage()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    m_module = std::make_unique<ServicePgsqlModule>(nullptr);
    QVERIFY(host.writeTool("pgadmin3", "touch /var/tmp/pgadmin3-ran"));
    auto *element = new ServicePgsqlClusterElement(m_module.get());
    clusters()->append(element);
    for (int attempt = 0; attempt < 2; ++attempt) {
        const QList<TaskReport> reports = perform(element, OperationControl);
        QCOMPARE(reports.size(), 1);
        QCOMPARE(reports.first().description, QStringLiteral("Control PostgreSQL cluster"));
        QCOMPARE(reports.first().status, TaskDescription::TaskStatusFailed);
        QCOMPARE(reports.first().message,
                 QStringLiteral("Package \"pgadmin3\" is not installed in system.\n"
                                "To install it, run \"apt-get install pgadmin3\"."));
        QVERIFY(!ServicePgsqlClusterControlTask::isPackageFound());
    }
    // A package that was removed is no installed package either.
    QVERIFY(host.installPackage("pgadmin3", "1.22.2-6"));
    QVERIFY(host.removePackage("pgadmin3"));
    QCOMPARE(perform(element, OperationControl).first().status, TaskDescription::TaskStatusFailed);
    QTest::qWait(200);
    QVERIFY(!QFile::exists("/var/tmp/pgadmin3-ran"));
    m_module.reset();
}

void TestServicePgsqlTasks::controlRemembersFoundPackage()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    m_module = std::make_unique<ServicePgsqlModule>(nullptr);
    QVERIFY(host.installPackage("pgadmin3", "1.22.2-6"));
    QVERIFY(host.writeTool("pgadmin3", "echo started >> /var/tmp/pgadmin3-ran"));
    // As root it runs as the user who called sudo: one every Debian host has.
    const ScopedEnvironment sudo("SUDO_USER", "nobody");
    auto *element = new ServicePgsqlClusterElement(m_module.get());
    clusters()->append(element);

    QList<TaskReport> reports = perform(element, OperationControl);
    QVERIFY2(reports.first().status == TaskDescription::TaskStatusDone,
             qPrintable(reports.first().message));
    QVERIFY(ServicePgsqlClusterControlTask::isPackageFound());
    QTRY_COMPARE(startsRecorded(), 1);

    // Found once, not asked again: the package database no longer knows it, yet the program
    // starts.
    QVERIFY(host.forgetPackage("pgadmin3"));
    QVERIFY(!ControlServiceTask::existPackage("pgadmin3"));
    reports = perform(element, OperationControl);
    QVERIFY2(reports.first().status == TaskDescription::TaskStatusDone,
             qPrintable(reports.first().message));
    QTRY_COMPARE(startsRecorded(), 2);
    m_module.reset();
}

void TestServicePgsqlTasks::moduleForwardsToChildModules()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    m_module = std::make_unique<ServicePgsqlModule>(nullptr);
    QVERIFY(host.installPackage("postgresql-15", "15.18-0+deb12u1"));
    QVERIFY(host.writeTool("pg_lsclusters", "echo '15 a 5432 down postgres /d /l'"));
    RecordingModule child;
    m_module->addChildModule(&child);

    // With a task (the list read) and without one (an update nobody handles).
    perform(clusters(), OperationReadContent);
    ServicePgsqlClusterElement *a = cluster("a-15");
    QVERIFY(a);
    a->performOperation(OperationCreate, nullptr, 0);
    m_module->performOperation(a, OperationUpdate, nullptr, 0);
    m_runner->waitForIdle();
    QCOMPARE(child.calls.size(), 3);
    QCOMPARE(child.calls.at(0).type, OperationReadContent);
    QCOMPARE(child.calls.at(0).context, static_cast<ContextOperation *>(clusters()));
    QCOMPARE(child.calls.at(1).type, OperationCreate);
    QCOMPARE(child.calls.at(2).type, OperationUpdate);
    for (const RecordingModule::Call &call : child.calls)
        QVERIFY(!call.data);
    m_module->removeChildModule(&child);
    m_module.reset();
}

void TestServicePgsqlTasks::demoHostListsTheServerVersion()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QString error;
    QVERIFY2(HostLayout::apply(host, QStringLiteral(OXA_DEMO_LAYOUT), &error), qPrintable(error));
    ServicePgsqlPlugin plugin;
    QVERIFY(plugin.isValid());
    m_module = std::make_unique<ServicePgsqlModule>(nullptr);
    const QList<TaskReport> reports = perform(clusters(), OperationReadContent);
    QCOMPARE(reports.size(), 1);
    QVERIFY2(reports.first().status == TaskDescription::TaskStatusDone,
             qPrintable(reports.first().message));
    QCOMPARE(clusters()->versionsModel()->stringList(), QStringList{"15"});
    m_module.reset();
}

OXA_TEST_MAIN(TestServicePgsqlTasks)
#include "tst_servicepgsqltasks.moc"

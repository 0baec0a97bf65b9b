// The Apache read and update tasks against the real apache2ctl, a2ensite, a2dissite, a2enmod
// and a2dismod in a disposable host; scripted tools only where one must misbehave.

#include "apachetesthost.h"
#include "childprocess.h"
#include "serviceapacheelement.h"
#include "serviceapacheelementwidget.h"
#include "serviceapacheheavyelementdata.h"
#include "serviceapachemodule.h"
#include "serviceapachetasks.h"
#include "taskrunner.h"

#include <choicetreenodeproxymodel.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTest>

#include <memory>

using namespace ApacheTestHost;

namespace {

const QString sitesAvailable = QStringLiteral("/etc/apache2/sites-available");
const QString sitesEnabled = QStringLiteral("/etc/apache2/sites-enabled");

QByteArray dataFile(const char *name)
{
    QFile file(QStringLiteral(OXA_APACHE_TEST_DATA "/%1").arg(QLatin1String(name)));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("missing test data %s", name);
    return file.readAll();
}

/// A site file that is a whole configuration of its own, so `apache2ctl -S -f` accepts it.
QByteArray standaloneSite(const QByteArray &hosts)
{
    return "Include /etc/apache2/mods-enabled/*.load\n"
           "Include /etc/apache2/mods-enabled/*.conf\n"
           "ServerName standalone.example\n"
           "ErrorLog /var/log/apache2/error.log\n" +
           hosts;
}

bool isLink(const QString &path)
{
    return QFileInfo(path).isSymLink();
}

QSet<QString> setOf(std::initializer_list<const char *> names)
{
    QSet<QString> set;
    for (const char *name : names)
        set.insert(QString::fromLatin1(name));
    return set;
}

} // namespace

class TestServiceApacheTasks : public QObject, protected ApacheTestHost::TaskFixture
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void readsFreshDebianServer();
    void readsLegacyDefaultAndStandaloneSite();
    void readsEveryHostShapeOfTheRealServer();
    void emptySitesEnabledRunsEveryAvailableSite();
    void missingSiteDirectory_data();
    void missingSiteDirectory();
    void misbehavingApache2ctl_data();
    void misbehavingApache2ctl();
    void hangingApache2ctl();
    void readFailureShowsNothing();

    void readsModules();
    void missingModuleDirectory_data();
    void missingModuleDirectory();
    void failingModulesList();

    void enablesAndDisablesSites();
    void failingEnableStopsBeforeDisable();
    void enablesAndDisablesModules();
    void failingModuleEnableStopsBeforeDisable();
    void updateWithoutChangesRunsNothing();
    void updateRejectsForeignRecord();
    void optionLikeNamesStayNames();

    void applyAfterUpdate_data();
    void applyAfterUpdate();
    void partlyAppliedUpdateShowsWhatIsEnabled();
};

void TestServiceApacheTasks::init()
{
    QVERIFY(setUpTree());
}

void TestServiceApacheTasks::cleanup()
{
    tearDownTree();
}

void TestServiceApacheTasks::readsFreshDebianServer()
{
    OXA_PREPARE_APACHE_HOST(*m_host);
    ServiceApacheReadHeavyTask task(m_service);
    QCOMPARE(task.taskDescription().description(),
             QStringLiteral("Read Apache service configuration"));
    task.run();
    QCOMPARE(task.status(), TaskDescription::TaskStatusDone);
    ServiceApacheHeavyElementData *record = task.apacheRecord();
    // The real init script: no server runs here.
    QCOMPARE(record->textState(), ServiceLightElementData::stoppedText());
    // default-ssl.conf alone is no configuration (no MPM): its row says "undefined".
    QCOMPARE(describe(record->data()),
             (QStringList{
                 QStringLiteral("site:000-default.conf"),
                 QStringLiteral("site:default-ssl.conf"),
                 QStringLiteral("host:undefined|undefined|%1/default-ssl.conf").arg(sitesAvailable),
                 QStringLiteral("host:127.0.0.1|*:80|%1/000-default.conf").arg(sitesEnabled),
             }));
    QCOMPARE(record->checkedNames(), setOf({"000-default.conf"}));
    QCOMPARE(record->blockedNames(), setOf({"undefined", "127.0.0.1"}));
}

void TestServiceApacheTasks::readsLegacyDefaultAndStandaloneSite()
{
    OXA_PREPARE_APACHE_HOST(*m_host);
    // The layout of older releases: "000-default" links to the available "default", and
    // every file of sites-enabled is read.
    QFile conf(QStringLiteral("/etc/apache2/apache2.conf"));
    QVERIFY(conf.open(QIODevice::ReadOnly));
    QByteArray main = conf.readAll();
    main.replace("IncludeOptional sites-enabled/*.conf", "IncludeOptional sites-enabled/*");
    QVERIFY(m_host->writeFile(conf.fileName(), main));
    QVERIFY(m_host->removePath(sitesEnabled + QStringLiteral("/000-default.conf")));
    QVERIFY(m_host->writeFile(sitesAvailable + QStringLiteral("/default"),
                              "<VirtualHost *:80>\n    ServerName legacy.example\n"
                              "</VirtualHost>\n"));
    QVERIFY(m_host->writeSymlink(sitesEnabled + QStringLiteral("/000-default"),
                                 QStringLiteral("../sites-available/default")));
    QVERIFY(m_host->writeFile(sitesAvailable + QStringLiteral("/shop"),
                              standaloneSite("<VirtualHost 127.0.0.1:8081>\n"
                                             "    ServerName shop.example\n</VirtualHost>\n")));

    ServiceApacheReadHeavyTask task(m_service);
    task.run();
    QCOMPARE(task.status(), TaskDescription::TaskStatusDone);
    ServiceApacheHeavyElementData *record = task.apacheRecord();
    const QStringList rows = describe(record->data());
    // "default" is enabled, so it is neither listed again nor run with "-f".
    QCOMPARE(rows,
             (QStringList{
                 QStringLiteral("site:default"),
                 QStringLiteral("site:000-default.conf"),
                 QStringLiteral("host:undefined|undefined|%1/000-default.conf").arg(sitesAvailable),
                 QStringLiteral("site:default-ssl.conf"),
                 QStringLiteral("host:undefined|undefined|%1/default-ssl.conf").arg(sitesAvailable),
                 QStringLiteral("site:shop"),
                 QStringLiteral("host:shop.example|127.0.0.1:8081|%1/shop").arg(sitesAvailable),
                 QStringLiteral("host:legacy.example|*:80|%1/000-default").arg(sitesEnabled),
             }));
    QCOMPARE(record->checkedNames(), setOf({"default"}));

    // In the tree the hosts land under their sites, the legacy one under "default".
    SitesRootTreeNode root;
    root.loadTreeFromList(record->data());
    record->data().clear();
    QCOMPARE(root.childCount(), 4);
    QCOMPARE(root.child(0)->id(), QStringLiteral("Site_default"));
    QCOMPARE(root.child(0)->childCount(), 1);
    QCOMPARE(root.child(0)->child(0)->id(), QStringLiteral("Host_legacy.example"));
    QCOMPARE(root.child(3)->child(0)->id(), QStringLiteral("Host_shop.example"));
}

void TestServiceApacheTasks::readsEveryHostShapeOfTheRealServer()
{
    OXA_PREPARE_APACHE_HOST(*m_host);
    // The sites behind the captured output, enabled by the real a2ensite.
    QVERIFY(m_host->writeFile(sitesAvailable + QStringLiteral("/shapes.conf"),
                              dataFile("vhosts-address-blocks.conf")));
    QCOMPARE(QProcess::execute(QStringLiteral("a2ensite"),
                               {QStringLiteral("-q"), QStringLiteral("shapes")}),
             0);
    ServiceApacheReadHeavyTask task(m_service);
    task.run();
    QCOMPARE(task.status(), TaskDescription::TaskStatusDone);
    const QStringList rows = describe(task.apacheRecord()->data());
    const QString shapes = sitesEnabled + QStringLiteral("/shapes.conf");
    for (const QString &expected : {
             QStringLiteral("host:six.example|[::1]:8081|%1").arg(shapes),
             QStringLiteral("host:def:six-a|[::1]:8082|%1").arg(shapes),
             QStringLiteral("host:six-b|[::1]:8082|%1").arg(shapes),
             QStringLiteral("host:def:local-one|127.0.0.1:8080|%1").arg(shapes),
             QStringLiteral("host:local-two|127.0.0.1:8080|%1").arg(shapes),
             QStringLiteral("host:single4.example|192.0.2.7:80|%1").arg(shapes),
             QStringLiteral("host:b.example|*:80|%1").arg(shapes),
             QStringLiteral("host:secure.example|*:443|%1").arg(shapes),
             QStringLiteral("host:star.example|*:8443|%1").arg(shapes),
         })
        QVERIFY2(rows.contains(expected), qPrintable(expected + QLatin1String(" missing in\n") +
                                                     rows.join(QLatin1Char('\n'))));
}

void TestServiceApacheTasks::emptySitesEnabledRunsEveryAvailableSite()
{
    OXA_PREPARE_APACHE_HOST(*m_host);
    QVERIFY(m_host->removePath(sitesEnabled + QStringLiteral("/000-default.conf")));
    ServiceApacheReadHeavyTask task(m_service);
    task.run();
    QCOMPARE(task.status(), TaskDescription::TaskStatusDone);
    ServiceApacheHeavyElementData *record = task.apacheRecord();
    QVERIFY(record->checkedNames().isEmpty());
    QCOMPARE(describe(record->data()),
             (QStringList{
                 QStringLiteral("site:000-default.conf"),
                 QStringLiteral("host:undefined|undefined|%1/000-default.conf").arg(sitesAvailable),
                 QStringLiteral("site:default-ssl.conf"),
                 QStringLiteral("host:undefined|undefined|%1/default-ssl.conf").arg(sitesAvailable),
             }));
}

void TestServiceApacheTasks::missingSiteDirectory_data()
{
    QTest::addColumn<QString>("directory");
    QTest::addColumn<int>("nodesBefore");
    QTest::newRow("sites-enabled") << sitesEnabled << 0;
    // The enabled site (a plain file here, so that it outlives sites-available) was already
    // listed; it stays in the record and is not shown.
    QTest::newRow("sites-available") << sitesAvailable << 1;
}

void TestServiceApacheTasks::missingSiteDirectory()
{
    QFETCH(QString, directory);
    QFETCH(int, nodesBefore);
    OXA_PREPARE_APACHE_HOST(*m_host);
    QVERIFY(m_host->writeFile(sitesEnabled + QStringLiteral("/000-default.conf"),
                              "<VirtualHost *:80>\n</VirtualHost>\n"));
    QVERIFY(m_host->removePath(directory));
    ServiceApacheReadHeavyTask task(m_service);
    task.run();
    QCOMPARE(task.status(), TaskDescription::TaskStatusFailed);
    QCOMPARE(task.taskDescription().message(),
             QStringLiteral("\"%1\" - not exists").arg(directory));
    QCOMPARE(task.apacheRecord()->data().size(), nodesBefore);
}

void TestServiceApacheTasks::misbehavingApache2ctl_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<TaskDescription::TaskStatus>("status");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QStringList>("rows");

    const QString undefinedSsl =
        QStringLiteral("host:undefined|undefined|%1/default-ssl.conf").arg(sitesAvailable);
    QTest::newRow("crash") << QStringLiteral("kill -SEGV $$") << TaskDescription::TaskStatusFailed
                           << QStringLiteral("\"apache2ctl ...\" not finished\nError code: 1")
                           << QStringList{QStringLiteral("site:000-default.conf"),
                                          QStringLiteral("site:default-ssl.conf")};
    QTest::newRow("configuration error")
        << QStringLiteral("[ \"$2\" = -f ] && exit 1\n"
                          "echo 'AH00526: Syntax error on line 3' >&2; exit 1")
        << TaskDescription::TaskStatusFailed
        << QStringLiteral("\"apache2ctl ...\"\nExit code: 1\n\"AH00526: Syntax error on line 3\n\"")
        << QStringList{QStringLiteral("site:000-default.conf"),
                       QStringLiteral("site:default-ssl.conf"), undefinedSsl};
    QTest::newRow("garbage with a NUL byte")
        << QStringLiteral("printf '\\001\\377*:80 x (/etc/apache2/sites-enabled/z:1)\\n"
                          "*:81 y (/etc/apache2/sites-enabled/z:1)\\000*:82 lost (q:1)\\n'")
        << TaskDescription::TaskStatusDone << QString()
        << QStringList{QStringLiteral("site:000-default.conf"),
                       QStringLiteral("site:default-ssl.conf"),
                       QStringLiteral("host:y|*:81|/etc/apache2/sites-enabled/z"),
                       QStringLiteral("host:y|*:81|/etc/apache2/sites-enabled/z")};
}

void TestServiceApacheTasks::misbehavingApache2ctl()
{
    QFETCH(QString, body);
    QFETCH(TaskDescription::TaskStatus, status);
    QFETCH(QString, message);
    QFETCH(QStringList, rows);
    OXA_PREPARE_APACHE_HOST(*m_host);
    QVERIFY(m_host->writeTool(QStringLiteral("apache2ctl"), body));
    ServiceApacheReadHeavyTask task(m_service);
    task.run();
    QCOMPARE(task.status(), status);
    QCOMPARE(task.taskDescription().message(), message);
    QCOMPARE(describe(task.apacheRecord()->data()), rows);
}

void TestServiceApacheTasks::hangingApache2ctl()
{
    OXA_PREPARE_APACHE_HOST(*m_host);
    QVERIFY(m_host->writeHangingScript(m_host->toolPath(QStringLiteral("apache2ctl"))));
    ServiceApacheModulesReadTask task(m_modules);
    ChildProcess::setReadLimitMs(TestHost::ReadLimitMs);
    task.run(); // the read limit every command has
    QCOMPARE(task.status(), TaskDescription::TaskStatusFailed);
    QCOMPARE(task.taskDescription().message(),
             QStringLiteral("\"apache2ctl ...\" not finished\nError code: 2"));
}

void TestServiceApacheTasks::readFailureShowsNothing()
{
    OXA_PREPARE_APACHE_HOST(*m_host);
    QVERIFY(writeRecordingInitScript(*m_host, true));
    QVERIFY(m_host->removePath(sitesAvailable));
    m_service->serviceData()->setState(false);
    TaskRunner runner;
    const TaskReport report = runner.perform(new ServiceApacheReadHeavyTask(m_service));
    QCOMPARE(report.status, TaskDescription::TaskStatusFailed);
    // The state read before the failure does not reach the element.
    QCOMPARE(m_service->serviceData()->state(), false);
}

void TestServiceApacheTasks::readsModules()
{
    OXA_PREPARE_APACHE_HOST(*m_host);
    // A versioned file name: loads a module that is loaded already under its own name.
    QVERIFY(m_host->writeFile(QStringLiteral("/etc/apache2/mods-available/status2.4.load"),
                              "LoadModule status_module /usr/lib/apache2/modules/mod_status.so\n"));
    ServiceApacheModulesReadTask task(m_modules);
    QCOMPARE(task.taskDescription().description(),
             QStringLiteral("Read Apache modules configuration"));
    task.run();
    QCOMPARE(task.status(), TaskDescription::TaskStatusDone);
    ServiceApacheHeavyElementData *record = task.apacheRecord();
    const QStringList rows = describe(record->data());
    QCOMPARE(rows.first(), QStringLiteral("core|static"));
    QVERIFY(rows.contains(QStringLiteral("mpm_event|shared")));
    QCOMPARE(rows.count(QStringLiteral("status|shared")), 1);
    QVERIFY(rows.contains(QStringLiteral("status2.4|shared")));
    // Available, not enabled: unticked, not blocked.
    QVERIFY(rows.contains(QStringLiteral("rewrite|shared")));
    QVERIFY(!record->checkedNames().contains(QStringLiteral("rewrite")));
    QVERIFY(!record->blockedNames().contains(QStringLiteral("rewrite")));
    QVERIFY(!record->checkedNames().contains(QStringLiteral("status2.4")));
    QVERIFY(record->checkedNames().contains(QStringLiteral("status")));
    QVERIFY(record->blockedNames().contains(QStringLiteral("core")));
    // Every available .load file appears once: loaded, or offered unticked.
    const QStringList available = QDir(QStringLiteral("/etc/apache2/mods-available"))
                                      .entryList({QStringLiteral("*.load")}, QDir::Files);
    const QStringList enabledLoads = QDir(QStringLiteral("/etc/apache2/mods-enabled"))
                                         .entryList({QStringLiteral("*.load")}, QDir::Files);
    QCOMPARE(rows.size(), 27 + available.size() - enabledLoads.size());
}

void TestServiceApacheTasks::missingModuleDirectory_data()
{
    QTest::addColumn<QString>("directory");
    QTest::newRow("mods-available") << QStringLiteral("/etc/apache2/mods-available");
    QTest::newRow("mods-enabled") << QStringLiteral("/etc/apache2/mods-enabled");
}

void TestServiceApacheTasks::missingModuleDirectory()
{
    QFETCH(QString, directory);
    OXA_PREPARE_APACHE_HOST(*m_host);
    // apache2ctl reads the modules through mods-enabled: keep a server that answers.
    QVERIFY(m_host->writeTool(QStringLiteral("apache2ctl"),
                              QStringLiteral("echo ' core_module (static)'")));
    QVERIFY(m_host->removePath(directory));
    ServiceApacheModulesReadTask task(m_modules);
    task.run();
    QCOMPARE(task.status(), TaskDescription::TaskStatusFailed);
    QCOMPARE(task.taskDescription().message(),
             QStringLiteral("\"%1\" - not exists").arg(directory));
}

void TestServiceApacheTasks::failingModulesList()
{
    OXA_PREPARE_APACHE_HOST(*m_host);
    // A broken module configuration: the real server refuses it.
    QVERIFY(m_host->writeFile(QStringLiteral("/etc/apache2/mods-enabled/broken.load"),
                              "LoadModule broken_module /nonexistent/mod_broken.so\n"));
    ServiceApacheModulesReadTask task(m_modules);
    task.run();
    QCOMPARE(task.status(), TaskDescription::TaskStatusFailed);
    QVERIFY2(task.taskDescription().message().startsWith(
                 QStringLiteral("\"apache2ctl ...\"\nExit code: 1\n\"")),
             qPrintable(task.taskDescription().message()));
    QVERIFY(task.taskDescription().message().contains(QStringLiteral("mod_broken.so")));
}

void TestServiceApacheTasks::enablesAndDisablesSites()
{
    OXA_PREPARE_APACHE_HOST(*m_host);
    QVERIFY(m_host->writeFile(sitesAvailable + QStringLiteral("/shop.conf"),
                              "<VirtualHost *:80>\nServerName shop\n</VirtualHost>\n"));
    auto *record = new ServiceApacheHeavyElementData;
    record->checkedNames() = setOf({"default-ssl.conf", "shop.conf"});
    record->blockedNames() = setOf({"000-default.conf"});
    ServiceApacheSiteUpdateTask task(m_service, record);
    QCOMPARE(task.taskDescription().description(),
             QStringLiteral("Update Apache sites configuration"));
    task.run();
    QCOMPARE(task.status(), TaskDescription::TaskStatusDone);
    QVERIFY(isLink(sitesEnabled + QStringLiteral("/default-ssl.conf")));
    QVERIFY(isLink(sitesEnabled + QStringLiteral("/shop.conf")));
    QVERIFY(!QFileInfo::exists(sitesEnabled + QStringLiteral("/000-default.conf")));
}

void TestServiceApacheTasks::failingEnableStopsBeforeDisable()
{
    OXA_PREPARE_APACHE_HOST(*m_host);
    auto *record = new ServiceApacheHeavyElementData;
    record->checkedNames() = setOf({"default-ssl", "nosuch"});
    record->blockedNames() = setOf({"000-default"});
    ServiceApacheSiteUpdateTask task(m_service, record);
    task.run();
    QCOMPARE(task.status(), TaskDescription::TaskStatusFailed);
    QCOMPARE(
        task.taskDescription().message(),
        QStringLiteral("\"a2ensite ...\"\nExit code: 1\n\"ERROR: Site nosuch does not exist!\n\""));
    // What a2ensite managed stays; a2dissite never ran.
    QVERIFY(isLink(sitesEnabled + QStringLiteral("/default-ssl.conf")));
    QVERIFY(isLink(sitesEnabled + QStringLiteral("/000-default.conf")));
}

void TestServiceApacheTasks::enablesAndDisablesModules()
{
    OXA_PREPARE_APACHE_HOST(*m_host);
    const QString mods = QStringLiteral("/etc/apache2/mods-enabled");
    auto *record = new ServiceApacheHeavyElementData;
    record->checkedNames() = setOf({"rewrite", "headers"});
    record->blockedNames() = setOf({"status"});
    ServiceApacheModulesUpdateTask task(m_modules, record);
    QCOMPARE(task.taskDescription().description(),
             QStringLiteral("Update Apache modules confuguration"));
    task.run();
    QCOMPARE(task.status(), TaskDescription::TaskStatusDone);
    QVERIFY(isLink(mods + QStringLiteral("/rewrite.load")));
    QVERIFY(isLink(mods + QStringLiteral("/headers.load")));
    QVERIFY(!QFileInfo::exists(mods + QStringLiteral("/status.load")));
}

void TestServiceApacheTasks::failingModuleEnableStopsBeforeDisable()
{
    OXA_PREPARE_APACHE_HOST(*m_host);
    auto *record = new ServiceApacheHeavyElementData;
    record->checkedNames() = setOf({"nosuchmodule"});
    record->blockedNames() = setOf({"status"});
    ServiceApacheModulesUpdateTask task(m_modules, record);
    task.run();
    QCOMPARE(task.status(), TaskDescription::TaskStatusFailed);
    QVERIFY2(task.taskDescription().message().startsWith(
                 QStringLiteral("\"a2enmod ...\"\nExit code: 1\n\"")),
             qPrintable(task.taskDescription().message()));
    QVERIFY(isLink(QStringLiteral("/etc/apache2/mods-enabled/status.load")));
}

void TestServiceApacheTasks::updateWithoutChangesRunsNothing()
{
    OXA_PREPARE_APACHE_HOST(*m_host);
    // Any run of a tool would fail the update.
    for (const char *tool : {"a2ensite", "a2dissite", "a2enmod", "a2dismod"})
        QVERIFY(m_host->writeTool(QString::fromLatin1(tool), QStringLiteral("exit 7")));
    ServiceApacheSiteUpdateTask sites(m_service, new ServiceApacheHeavyElementData);
    sites.run();
    QCOMPARE(sites.status(), TaskDescription::TaskStatusDone);
    ServiceApacheModulesUpdateTask modules(m_modules, new ServiceApacheHeavyElementData);
    modules.run();
    QCOMPARE(modules.status(), TaskDescription::TaskStatusDone);
}

void TestServiceApacheTasks::updateRejectsForeignRecord()
{
    ServiceApacheSiteUpdateTask sites(m_service, new ServiceLightElementData);
    sites.run();
    QCOMPARE(sites.status(), TaskDescription::TaskStatusFailed);
    QCOMPARE(sites.taskDescription().message(), QStringLiteral("Internal error: undefined target"));
    ServiceApacheModulesUpdateTask modules(m_modules, nullptr);
    modules.run();
    QCOMPARE(modules.status(), TaskDescription::TaskStatusFailed);
    QCOMPARE(modules.taskDescription().message(),
             QStringLiteral("Internal error: undefined target"));
}

void TestServiceApacheTasks::optionLikeNamesStayNames()
{
    QCOMPARE(ApacheEnableDisableTask::toolArguments({QStringLiteral("a"), QStringLiteral("b")}),
             (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
    QCOMPARE(ApacheEnableDisableTask::toolArguments({QStringLiteral("a"), QStringLiteral("-q")}),
             (QStringList{QStringLiteral("--"), QStringLiteral("a"), QStringLiteral("-q")}));

    OXA_PREPARE_APACHE_HOST(*m_host);
    QVERIFY(m_host->writeFile(sitesAvailable + QStringLiteral("/--purge.conf"),
                              "<VirtualHost *:80>\nServerName odd\n</VirtualHost>\n"));
    auto *record = new ServiceApacheHeavyElementData;
    record->checkedNames() = setOf({"--purge.conf"});
    ServiceApacheSiteUpdateTask task(m_service, record);
    task.run();
    QCOMPARE(task.status(), TaskDescription::TaskStatusDone);
    QVERIFY(isLink(sitesEnabled + QStringLiteral("/--purge.conf")));
}

void TestServiceApacheTasks::applyAfterUpdate_data()
{
    QTest::addColumn<bool>("modules");
    QTest::addColumn<bool>("running");
    QTest::addColumn<bool>("autoApply");
    QTest::addColumn<bool>("fails");
    QTest::addColumn<QStringList>("actions");

    const QStringList none;
    QTest::newRow("sites, running, yes")
        << false << true << true << false << QStringList{QStringLiteral("reload")};
    QTest::newRow("sites, running, no") << false << true << false << false << none;
    QTest::newRow("sites, stopped, yes") << false << false << true << false << none;
    QTest::newRow("sites, running, yes, failed") << false << true << true << true << none;
    QTest::newRow("modules, running, yes")
        << true << true << true << false << QStringList{QStringLiteral("restart")};
    QTest::newRow("modules, running, no") << true << true << false << false << none;
    QTest::newRow("modules, stopped, yes") << true << false << true << false << none;
    QTest::newRow("modules, running, yes, failed") << true << true << true << true << none;
}

void TestServiceApacheTasks::applyAfterUpdate()
{
    QFETCH(bool, modules);
    QFETCH(bool, running);
    QFETCH(bool, autoApply);
    QFETCH(bool, fails);
    QFETCH(QStringList, actions);
    OXA_PREPARE_APACHE_HOST(*m_host);
    QVERIFY(writeRecordingInitScript(*m_host, running));
    TaskRunner runner;
    QCOMPARE(runner.perform(new ServiceApacheReadLightTask(m_service)).status,
             TaskDescription::TaskStatusDone);
    QCOMPARE(m_service->isOperationAvailable(OperationReload), running);

    auto *record = new ServiceApacheHeavyElementData;
    record->setAutoApply(autoApply);
    if (fails)
        record->checkedNames() = setOf({"nosuch"});
    AbstractTask *task =
        modules ? static_cast<AbstractTask *>(new ServiceApacheModulesUpdateTask(m_modules, record))
                : new ServiceApacheSiteUpdateTask(m_service, record);
    runner.clear();
    const TaskReport report = runner.perform(task);
    QCOMPARE(report.status, fails ? 1 : 2);
    QCOMPARE(controlActions(), actions);
    // Every update reads its element again, a failed one too: it may have been applied in part.
    QStringList descriptions;
    for (const TaskReport &r : runner.reports())
        descriptions << r.description;
    const QString read = modules ? QStringLiteral("Read Apache modules configuration")
                                 : QStringLiteral("Read Apache service configuration");
    QVERIFY(descriptions.contains(read));
}

void TestServiceApacheTasks::partlyAppliedUpdateShowsWhatIsEnabled()
{
    OXA_PREPARE_APACHE_HOST(*m_host);
    QVERIFY(m_host->writeFile(sitesAvailable + QStringLiteral("/shop.conf"),
                              "<VirtualHost *:80>\nServerName shop\n</VirtualHost>\n"));
    auto *widget = qobject_cast<ServiceApacheElementWidget *>(
        m_module->elementWidget(QStringLiteral("ServiceApache")));
    QVERIFY(widget);
    widget->setElement(m_service, ElementWidgetRoleView);
    TaskRunner runner;
    QCOMPARE(runner.perform(new ServiceApacheReadHeavyTask(m_service)).status,
             TaskDescription::TaskStatusDone);
    QCOMPARE(widget->choiceModel()->checkedNames(), setOf({"000-default.conf"}));

    // a2ensite enables its site, then a2dissite fails: the update failed, half applied.
    auto *record = new ServiceApacheHeavyElementData;
    record->checkedNames() = setOf({"shop"});
    record->blockedNames() = setOf({"nosuch"});
    const TaskReport report = runner.perform(new ServiceApacheSiteUpdateTask(m_service, record));
    QCOMPARE(report.status, TaskDescription::TaskStatusFailed);
    QVERIFY2(report.message.startsWith(QStringLiteral("\"a2dissite ...\"")),
             qPrintable(report.message));
    QVERIFY(isLink(sitesEnabled + QStringLiteral("/shop.conf")));
    // The widget shows what is enabled now, not what the console had before.
    QCOMPARE(runner.reports().last().description,
             QStringLiteral("Read Apache service configuration"));
    QCOMPARE(runner.reports().last().status, TaskDescription::TaskStatusDone);
    QCOMPARE(widget->choiceModel()->checkedNames(), setOf({"000-default.conf", "shop.conf"}));
}

OXA_TEST_MAIN(TestServiceApacheTasks)
#include "tst_serviceapachetasks.moc"

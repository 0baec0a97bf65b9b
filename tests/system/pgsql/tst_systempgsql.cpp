// The PostgreSQL plug-in against the real PostgreSQL tooling in a disposable host: a
// cluster created, started, restarted, reloaded, stopped and dropped through the console, each
// step checked with pg_lsclusters and the init script's status.

#include "consolebatch.h"
#include "systemtest.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QTest>

namespace {

// The server the machine has: 15 on Debian 12, 17 on Debian 13.
const QString version = SystemTest::pgsqlServerVersion();
const QString clusterName = QStringLiteral("sysb1");
// 5471 to 5473 are the system suites' own; the unit tests use other ports.
const int clusterPort = 5471;
const QString clusterTitle = clusterName + QLatin1Char('-') + version;

/// A cluster as "version name port status", from the console or from pg_lsclusters.
QStringList consoleClusters(const QJsonObject &report)
{
    const QJsonObject clusters = ConsoleBatch::elementById(
        report.value(QStringLiteral("tree")).toArray(), QStringLiteral("ServicePgsqlClusters"));
    QStringList rows;
    for (const QJsonValue &value : clusters.value(QStringLiteral("children")).toArray()) {
        const QJsonObject properties = value.toObject()
                                           .value(QStringLiteral("data"))
                                           .toObject()
                                           .value(QStringLiteral("properties"))
                                           .toObject();
        rows << QStringLiteral("%1 %2 %3 %4")
                    .arg(properties.value(QStringLiteral("version")).toString(),
                         properties.value(QStringLiteral("name")).toString())
                    .arg(properties.value(QStringLiteral("port")).toInt())
                    .arg(properties.value(QStringLiteral("textState")).toString());
    }
    rows.sort();
    return rows;
}

/// The clusters pg_lsclusters lists: "Ver Cluster Port Status Owner Data-directory Log-file".
QStringList listedClusters()
{
    const ToolRun run =
        SystemTest::runTool(QStringLiteral("pg_lsclusters"), {QStringLiteral("--no-header")});
    if (!run.succeeded()) {
        qWarning("%s", qPrintable(run.describe()));
        return {QStringLiteral("pg_lsclusters failed")};
    }
    QStringList rows;
    for (const QString &line : run.lines()) {
        const QStringList fields = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        rows << fields.mid(0, 4).join(QLatin1Char(' '));
    }
    rows.sort();
    return rows;
}

/// One cluster's line of pg_lsclusters, whole, split into its fields.
QStringList listedCluster(const QString &name)
{
    const ToolRun run =
        SystemTest::runTool(QStringLiteral("pg_lsclusters"), {QStringLiteral("--no-header")});
    for (const QString &line : run.lines()) {
        const QStringList fields = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (fields.value(0) == version && fields.value(1) == name)
            return fields;
    }
    return QStringList();
}

/// What the init script's status says of the cluster: "17/sysb1 (port 5471): online".
QString initScriptClusterState(const QString &name)
{
    const ToolRun run =
        SystemTest::runTool(QStringLiteral("/etc/init.d/postgresql"), {QStringLiteral("status")});
    const QString prefix = QStringLiteral("%1/%2 (port ").arg(version, name);
    for (const QString &line : run.lines()) {
        if (line.startsWith(prefix))
            return line.section(QStringLiteral(": "), -1).trimmed();
    }
    return QString();
}

/// The pid of the cluster's postmaster, from the first line of its postmaster.pid.
QByteArray postmasterPid(const QString &name)
{
    QFile file(QStringLiteral("/var/lib/postgresql/%1/%2/postmaster.pid").arg(version, name));
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readLine().trimmed();
}

} // namespace

class TestSystemPgsql : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void createdClusterAsPgLsclustersListsIt();
    void startedClusterShown();
    void restartedAndReloaded();
    void stoppedCluster();
    void pgCtlclusterRefusesRepeatedActions();
    void droppedCluster();

private:
    bool runConsole(const QByteArray &script, ConsoleBatchResult *result);
    /// Reads the clusters, then performs @p operation on ours.
    bool perform(const QString &operation, ConsoleBatchResult *result);

    std::unique_ptr<SystemHost> m_host;
    std::unique_ptr<ConsoleBatch> m_console;
};

void TestSystemPgsql::initTestCase()
{
    m_host = std::make_unique<SystemHost>();
    OXA_REQUIRE_SYSTEM_HOST(*m_host, (QStringList{QStringLiteral("postgresql-") + version,
                                                  QStringLiteral("postgresql-common")}));
    const QStringList plugins =
        SystemTest::pluginFiles({QStringLiteral("services"), QStringLiteral("pgsql")});
    QCOMPARE(plugins.size(), 2);
    m_console = std::make_unique<ConsoleBatch>(plugins);
    QVERIFY2(m_console->isValid(), qPrintable(m_console->errorString()));
    QVERIFY2(listedCluster(clusterName).isEmpty(), "a cluster of that name exists already");
}

void TestSystemPgsql::cleanupTestCase()
{
    // A failed step may leave the cluster behind, perhaps running; the overlay takes its
    // files away, this stops its server first.
    if (m_host && m_host->isAvailable() && !listedCluster(clusterName).isEmpty())
        SystemTest::runTool(QStringLiteral("pg_dropcluster"),
                            {version, clusterName, QStringLiteral("--stop")}, 60000);
    m_console.reset();
    m_host.reset();
}

bool TestSystemPgsql::runConsole(const QByteArray &script, ConsoleBatchResult *result)
{
    return SystemTest::runConsole(*m_console, script, result);
}

bool TestSystemPgsql::perform(const QString &operation, ConsoleBatchResult *result)
{
    return runConsole(QStringLiteral("perform read-content ServicePgsqlClusters\n"
                                     "perform %1 %2\n")
                          .arg(operation, clusterTitle)
                          .toUtf8(),
                      result);
}

void TestSystemPgsql::createdClusterAsPgLsclustersListsIt()
{
    ConsoleBatchResult run;
    QVERIFY(runConsole(QStringLiteral("perform read-content ServicePgsqlClusters\n"
                                      "create ServicePgsqlClusters _nameLineEdit=%1 "
                                      "_versionComboBox=%2 _portLineEdit=%3\n"
                                      "perform read-content ServicePgsqlClusters\n")
                           .arg(clusterName, version)
                           .arg(clusterPort)
                           .toUtf8(),
                       &run));
    const QStringList fields = listedCluster(clusterName);
    QCOMPARE(fields.mid(0, 6),
             (QStringList{version, clusterName, QString::number(clusterPort),
                          QStringLiteral("down"), QStringLiteral("postgres"),
                          QStringLiteral("/var/lib/postgresql/%1/sysb1").arg(version)}));
    QVERIFY(QFileInfo(QStringLiteral("/etc/postgresql/%1/sysb1/postgresql.conf").arg(version))
                .isFile());
    // Every cluster of the host, ours among them, as the console read them after the create.
    QCOMPARE(consoleClusters(run.report), listedClusters());
    QVERIFY(!ConsoleBatch::elementByTitle(run.report.value(QStringLiteral("tree")).toArray(),
                                          clusterTitle)
                 .isEmpty());
    QCOMPARE(initScriptClusterState(clusterName), QStringLiteral("down"));
}

void TestSystemPgsql::startedClusterShown()
{
    ConsoleBatchResult run;
    QVERIFY(runConsole(QStringLiteral("perform read-content ServicePgsqlClusters\n"
                                      "perform start %1\n"
                                      "show %1\n")
                           .arg(clusterTitle)
                           .toUtf8(),
                       &run));
    const QStringList fields = listedCluster(clusterName);
    QCOMPARE(fields.value(3), QStringLiteral("online"));
    QCOMPARE(initScriptClusterState(clusterName), QStringLiteral("online"));
    QVERIFY(!postmasterPid(clusterName).isEmpty());
    // The init script's own exit code speaks for all clusters at once: 0 only when every one
    // runs. So each cluster is compared with its line of the status output instead.
    const bool allOnline =
        !listedClusters().join(QLatin1Char('\n')).contains(QLatin1String(" down"));
    QCOMPARE(SystemTest::initStatus(QStringLiteral("postgresql")) == 0, allOnline);
    // The start refreshed the element: the console knows the state pg_lsclusters gives.
    QCOMPARE(consoleClusters(run.report), listedClusters());

    // The form: the cluster's state, port and the three paths pg_lsclusters gives.
    const QJsonObject form = ConsoleBatch::widgetOf(run.report, clusterTitle);
    QCOMPARE(ConsoleBatch::widgetChild(form, QStringLiteral("_stateLabel"))
                 .value(QStringLiteral("text"))
                 .toString(),
             QStringLiteral("<b>online</b>"));
    QCOMPARE(ConsoleBatch::widgetChild(form, QStringLiteral("_portLineEdit"))
                 .value(QStringLiteral("text"))
                 .toString(),
             fields.value(2));
    QCOMPARE(
        ConsoleBatch::firstCells(ConsoleBatch::widgetChild(form, QStringLiteral("_infoTableView"))),
        (QStringList{QStringLiteral("/etc/postgresql/%1/sysb1").arg(version), fields.value(5),
                     fields.value(6)}));
}

void TestSystemPgsql::restartedAndReloaded()
{
    const QByteArray before = postmasterPid(clusterName);
    QVERIFY(!before.isEmpty());
    ConsoleBatchResult run;
    QVERIFY(perform(QStringLiteral("restart"), &run));
    const QByteArray restarted = postmasterPid(clusterName);
    QVERIFY(!restarted.isEmpty());
    QVERIFY2(restarted != before, "the restart left the same server running");
    QCOMPARE(initScriptClusterState(clusterName), QStringLiteral("online"));
    QCOMPARE(consoleClusters(run.report), listedClusters());

    QVERIFY(perform(QStringLiteral("reload"), &run));
    // A reload keeps the server.
    QCOMPARE(postmasterPid(clusterName), restarted);
    QCOMPARE(initScriptClusterState(clusterName), QStringLiteral("online"));
    QCOMPARE(consoleClusters(run.report), listedClusters());
}

void TestSystemPgsql::stoppedCluster()
{
    ConsoleBatchResult run;
    QVERIFY(perform(QStringLiteral("stop"), &run));
    QCOMPARE(listedCluster(clusterName).value(3), QStringLiteral("down"));
    QCOMPARE(initScriptClusterState(clusterName), QStringLiteral("down"));
    QCOMPARE(consoleClusters(run.report), listedClusters());
    QVERIFY(SystemTest::waitForProcessesGone(QStringLiteral("postgres")));
    // Stopped, the console offers start and no stop; a new cluster starts with the system
    // (start.conf "auto"), so turning that off is offered too.
    const QJsonObject element = ConsoleBatch::elementByTitle(
        run.report.value(QStringLiteral("tree")).toArray(), clusterTitle);
    QCOMPARE(element.value(QStringLiteral("operations")).toString().toULongLong(nullptr, 16),
             quint64(0x110A4 | 0x40000)); // 0x40000: disable at boot
}

void TestSystemPgsql::pgCtlclusterRefusesRepeatedActions()
{
    // pg_ctlcluster's own way, unlike the init scripts: asked to stop a stopped cluster or to
    // start a running one it exits 2. The console offers only the action that changes the
    // state, so it meets this only when the cluster changed behind its back (see the unit
    // tests of the cluster tasks).
    const auto ctl = [](const QString &action) {
        return SystemTest::runTool(QStringLiteral("pg_ctlcluster"), {version, clusterName, action},
                                   60000);
    };
    ToolRun run = ctl(QStringLiteral("stop"));
    QVERIFY2(run.finished && run.exitCode == 2, qPrintable(run.describe()));
    run = ctl(QStringLiteral("start"));
    QVERIFY2(run.succeeded(), qPrintable(run.describe()));
    run = ctl(QStringLiteral("start"));
    QVERIFY2(run.finished && run.exitCode == 2, qPrintable(run.describe()));
    run = ctl(QStringLiteral("stop"));
    QVERIFY2(run.succeeded(), qPrintable(run.describe()));
}

void TestSystemPgsql::droppedCluster()
{
    ConsoleBatchResult run;
    QVERIFY(perform(QStringLiteral("delete"), &run));
    QVERIFY(listedCluster(clusterName).isEmpty());
    QVERIFY(!QFileInfo::exists(QStringLiteral("/etc/postgresql/%1/sysb1").arg(version)));
    QVERIFY(!QFileInfo::exists(QStringLiteral("/var/lib/postgresql/%1/sysb1").arg(version)));
    QVERIFY(ConsoleBatch::elementByTitle(run.report.value(QStringLiteral("tree")).toArray(),
                                         clusterTitle)
                .isEmpty());
    QCOMPARE(consoleClusters(run.report), listedClusters());
}

OXA_SYSTEM_TEST_MAIN(TestSystemPgsql)
#include "tst_systempgsql.moc"

// Real services on several remote test hosts at once, administered by one batch run over
// ssh: each host's tree is what a console run locally on that host shows, and a start on one
// host changes that host alone. The fleet batch serves remote hosts only (one child console
// per --host), so "this machine" takes part as a fourth test host of its own namespace,
// reached like the others, beside the three remote ones.

#include "consolebatch.h"
#include "remotetesthost.h"
#include "systemtest.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>
#include <QThread>

#include <memory>

namespace {

const QStringList hostNames = {QStringLiteral("here"), QStringLiteral("r1"), QStringLiteral("r2"),
                               QStringLiteral("r3")};

/// The reads that give every service element its state (as the services suite does them).
const QByteArray lightReads = "perform read-light ServiceServices\n"
                              "perform read-light ServiceKerberosKadmin\n"
                              "perform read-content ServicePgsqlClusters\n";

/// Every plug-in but the packages one (one dpkg-query a package at start-up).
QStringList consolePlugins()
{
    QStringList files;
    for (const QString &file : SystemTest::pluginFiles()) {
        if (!file.contains(QLatin1String("oxa-service-packages-plugin")))
            files << file;
    }
    return files;
}

/// "description -> status" of the report's tasks, sorted: what the run did, whatever the order.
QStringList taskOutcomes(const QJsonObject &report)
{
    QStringList outcomes;
    for (const QJsonValue &value : report.value(QStringLiteral("tasks")).toArray()) {
        const QJsonObject task = value.toObject();
        outcomes << QStringLiteral("%1 -> %2")
                        .arg(task.value(QStringLiteral("description")).toString())
                        .arg(task.value(QStringLiteral("status")).toInt());
    }
    outcomes.sort();
    return outcomes;
}

/// The hosts' entries of a merged report, by host name.
QMap<QString, QJsonObject> hostReports(const QJsonObject &report)
{
    QMap<QString, QJsonObject> hosts;
    for (const QJsonValue &value : report.value(QStringLiteral("hosts")).toArray())
        hosts.insert(value.toObject().value(QStringLiteral("host")).toString(), value.toObject());
    return hosts;
}

/// Starting a program with a window of its own (the element's graphical administration tool):
/// offered on this machine only, never for a remote host.
const qulonglong operationControl = 0x10000;

/// Every element of @p tree as "path: its fields but the children", depth first: a mismatch
/// shows the first element that differs. With @p remote, the operations are those a console
/// offers for a remote host: Control left out.
QStringList flatten(const QJsonArray &tree, bool remote, const QString &path = QString())
{
    QStringList lines;
    for (const QJsonValue &value : tree) {
        QJsonObject element = value.toObject();
        const QJsonArray children = element.take(QStringLiteral("children")).toArray();
        if (remote) {
            bool ok = false;
            const qulonglong operations =
                element.value(QStringLiteral("operations")).toString().toULongLong(&ok, 0);
            if (ok)
                element.insert(QStringLiteral("operations"),
                               QStringLiteral("0x") +
                                   QString::number(operations & ~operationControl, 16).toUpper());
        }
        const QString here = path + QLatin1Char('/') +
                             element.value(QStringLiteral("id")).toString() +
                             element.value(QStringLiteral("title")).toString();
        lines << here + QStringLiteral(": ") +
                     QString::fromUtf8(QJsonDocument(element).toJson(QJsonDocument::Compact));
        lines << flatten(children, remote, here);
    }
    return lines;
}

QStringList flatten(const QJsonObject &report, bool remote = false)
{
    return flatten(report.value(QStringLiteral("tree")).toArray(), remote);
}

} // namespace

class TestSystemRemote : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void servicesOnTwoHostsAtOnce();
    void fleetTreesAreTheHostsOwn();

private:
    /// One batch run of the console over ssh on @p hosts.
    ConsoleBatchResult runFleet(const QStringList &hosts, const QByteArray &script);
    /// The console run inside @p host itself, as root, as a local console there.
    ConsoleBatchResult runInside(RemoteTestHost *host, const QByteArray &script);
    /// The init script's status exit code inside @p host.
    int statusInside(RemoteTestHost *host, const QString &script);
    /// Polls the status inside @p host until it says @p running (a daemon forks away from its
    /// script); whether it did within 20 s.
    bool waitInside(RemoteTestHost *host, const QString &script, bool running);
    bool initScriptInside(RemoteTestHost *host, const QString &script, const QString &action);

    /// This process's own disposable host: should a console ever act on this machine instead
    /// of a remote one, it acts in overlays and a private /run, and the safety net ends it.
    std::unique_ptr<SystemHost> m_local;
    std::unique_ptr<RemoteTestFleet> m_fleet;
};

void TestSystemRemote::initTestCase()
{
    m_local.reset(new SystemHost);
    OXA_REQUIRE_SYSTEM_HOST(*m_local, QStringList());
    m_fleet.reset(new RemoteTestFleet);
    OXA_REQUIRE_FLEET(*m_fleet);
    const QStringList missing = SystemTest::missingPackages(
        {QStringLiteral("cron"), QStringLiteral("exim4-base"), QStringLiteral("exim4-daemon-light"),
         QStringLiteral("samba"), QStringLiteral("sudo")});
    if (!missing.isEmpty()) {
        const QByteArray why = "not installed (scripts/install-services): " +
                               missing.join(QLatin1Char(' ')).toLocal8Bit();
        if (TestHost::mustRun())
            QFAIL(why.constData());
        QSKIP(why.constData());
    }
    for (const QString &name : hostNames)
        QVERIFY2(m_fleet->addHost(name), qPrintable(m_fleet->errorString()));
}

void TestSystemRemote::cleanupTestCase()
{
    // Each host's process stops what runs in it (the safety net) before its overlays go.
    m_fleet.reset();
    m_local.reset();
}

ConsoleBatchResult TestSystemRemote::runFleet(const QStringList &hosts, const QByteArray &script)
{
    ConsoleBatch console(consolePlugins());
    QStringList arguments = {QStringLiteral("--ssh-config"), m_fleet->sshConfig()};
    for (const QString &host : hosts)
        arguments << QStringLiteral("--host") << host;
    console.setArguments(arguments);
    const ConsoleBatchResult result = console.run(script, 180000);
    if (!result.ran || !result.reportParsed)
        qWarning("console: %s", result.errors.constData());
    return result;
}

ConsoleBatchResult TestSystemRemote::runInside(RemoteTestHost *host, const QByteArray &script)
{
    ConsoleBatch console(consolePlugins());
    console.setRunAs(host->enterCommand());
    const ConsoleBatchResult result = console.run(script, 180000);
    if (!result.ran || !result.reportParsed)
        qWarning("console in %s: %s", qPrintable(host->name()), result.errors.constData());
    return result;
}

int TestSystemRemote::statusInside(RemoteTestHost *host, const QString &script)
{
    QStringList command = host->enterCommand();
    command << QStringLiteral("/etc/init.d/") + script << QStringLiteral("status");
    return SystemTest::runTool(command.takeFirst(), command, 30000).exitCode;
}

bool TestSystemRemote::waitInside(RemoteTestHost *host, const QString &script, bool running)
{
    QElapsedTimer timer;
    timer.start();
    while ((statusInside(host, script) == 0) != running) {
        if (timer.elapsed() > 20000)
            return false;
        QThread::msleep(100);
    }
    return true;
}

bool TestSystemRemote::initScriptInside(RemoteTestHost *host, const QString &script,
                                        const QString &action)
{
    QStringList command = host->enterCommand();
    command << QStringLiteral("/etc/init.d/") + script << action;
    const ToolRun run =
        SystemTest::runTool(command.takeFirst(), command, SystemTest::InitScriptTimeoutMs);
    if (!run.succeeded())
        qWarning("%s in %s: %s", qPrintable(script), qPrintable(host->name()),
                 qPrintable(run.describe()));
    return run.succeeded();
}

void TestSystemRemote::servicesOnTwoHostsAtOnce()
{
    OXA_REQUIRE_FLEET(*m_fleet);
    RemoteTestHost *r1 = m_fleet->host(QStringLiteral("r1"));
    RemoteTestHost *r2 = m_fleet->host(QStringLiteral("r2"));
    QVERIFY(r1 && r2);
    // A different real service in each, started by its own init script there.
    QVERIFY(initScriptInside(r1, QStringLiteral("cron"), QStringLiteral("start")));
    QVERIFY(initScriptInside(r2, QStringLiteral("exim4"), QStringLiteral("start")));
    QVERIFY(waitInside(r1, QStringLiteral("cron"), true));
    QVERIFY(waitInside(r2, QStringLiteral("exim4"), true));

    const ConsoleBatchResult result = runFleet({QStringLiteral("r1"), QStringLiteral("r2")},
                                               "perform read-light ServiceServices\n");
    QVERIFY2(result.reportParsed, result.errors.constData());
    const QMap<QString, QJsonObject> hosts = hostReports(result.report);
    QCOMPARE(hosts.keys(), (QStringList{QStringLiteral("r1"), QStringLiteral("r2")}));
    for (const QJsonObject &host : hosts) {
        QVERIFY2(host.value(QStringLiteral("connected")).toBool(),
                 qPrintable(host.value(QStringLiteral("error")).toString()));
        QVERIFY2(SystemTest::taskFailures(host).isEmpty(),
                 qPrintable(SystemTest::taskFailures(host).join(QStringLiteral("; "))));
    }
    QCOMPARE(result.exitCode, 0);
    // Each host's states are its own: cron runs on r1 only, Exim on r2 only.
    QCOMPARE(SystemTest::elementRunning(hosts.value(QStringLiteral("r1")),
                                        QStringLiteral("ServiceCron")),
             true);
    QCOMPARE(SystemTest::elementRunning(hosts.value(QStringLiteral("r1")),
                                        QStringLiteral("ServiceMailExim")),
             false);
    QCOMPARE(SystemTest::elementRunning(hosts.value(QStringLiteral("r2")),
                                        QStringLiteral("ServiceCron")),
             false);
    QCOMPARE(SystemTest::elementRunning(hosts.value(QStringLiteral("r2")),
                                        QStringLiteral("ServiceMailExim")),
             true);

    QVERIFY(initScriptInside(r1, QStringLiteral("cron"), QStringLiteral("stop")));
    QVERIFY(initScriptInside(r2, QStringLiteral("exim4"), QStringLiteral("stop")));
}

void TestSystemRemote::fleetTreesAreTheHostsOwn()
{
    OXA_REQUIRE_FLEET(*m_fleet);
    // Something to tell the hosts apart: Samba runs on r3.
    RemoteTestHost *r3 = m_fleet->host(QStringLiteral("r3"));
    QVERIFY(r3);
    QVERIFY(initScriptInside(r3, QStringLiteral("smbd"), QStringLiteral("start")));
    QVERIFY(waitInside(r3, QStringLiteral("smbd"), true));

    const ConsoleBatchResult fleet = runFleet(hostNames, lightReads);
    QVERIFY2(fleet.reportParsed, fleet.errors.constData());
    QMap<QString, QJsonObject> before = hostReports(fleet.report);
    QCOMPARE(before.keys(), hostNames);
    for (const QString &name : hostNames) {
        const QJsonObject host = before.value(name);
        QVERIFY2(host.value(QStringLiteral("connected")).toBool(),
                 qPrintable(name + QStringLiteral(": ") +
                            host.value(QStringLiteral("error")).toString()));
        const ConsoleBatchResult local = runInside(m_fleet->host(name), lightReads);
        QVERIFY2(local.reportParsed, local.errors.constData());
        // The same tree, states and task outcomes as a console on that host itself.
        QVERIFY(!host.value(QStringLiteral("tree")).toArray().isEmpty());
        // What a console there offers, but Control, which no remote console offers.
        QCOMPARE(flatten(host), flatten(host, true));
        QCOMPARE(flatten(host), flatten(local.report, true));
        QCOMPARE(taskOutcomes(host), taskOutcomes(local.report));
    }
    QCOMPARE(SystemTest::elementRunning(before.value(QStringLiteral("r3")),
                                        QStringLiteral("ServiceSamba")),
             true);
    QCOMPARE(SystemTest::elementRunning(before.value(QStringLiteral("r1")),
                                        QStringLiteral("ServiceSamba")),
             false);

    // A start on r1 over ssh changes r1 alone.
    const ConsoleBatchResult start = runFleet(
        {QStringLiteral("r1")}, "perform read-light ServiceServices\nperform start ServiceCron\n");
    QVERIFY2(start.reportParsed && start.exitCode == 0,
             qPrintable(SystemTest::taskFailures(start.report).join(QStringLiteral("; ")) +
                        QString::fromLocal8Bit(start.errors)));
    QCOMPARE(statusInside(m_fleet->host(QStringLiteral("r1")), QStringLiteral("cron")), 0);

    const ConsoleBatchResult again = runFleet(hostNames, lightReads);
    QVERIFY2(again.reportParsed, again.errors.constData());
    const QMap<QString, QJsonObject> after = hostReports(again.report);
    for (const QString &name : hostNames) {
        const QJsonObject host = after.value(name);
        QVERIFY2(host.value(QStringLiteral("connected")).toBool(), qPrintable(name));
        const bool cronRunning = SystemTest::elementRunning(host, QStringLiteral("ServiceCron"));
        QCOMPARE(cronRunning, name == QLatin1String("r1"));
        QCOMPARE(statusInside(m_fleet->host(name), QStringLiteral("cron")) == 0, cronRunning);
        if (name != QLatin1String("r1"))
            QCOMPARE(flatten(host), flatten(before.value(name)));
    }

    QVERIFY(initScriptInside(m_fleet->host(QStringLiteral("r1")), QStringLiteral("cron"),
                             QStringLiteral("stop")));
    QVERIFY(initScriptInside(r3, QStringLiteral("smbd"), QStringLiteral("stop")));
}

OXA_SYSTEM_TEST_MAIN(TestSystemRemote)
#include "tst_systemremote.moc"

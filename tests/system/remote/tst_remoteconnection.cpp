// The console in batch mode with --host against the test fleet's real sshd: each way a
// connection fails says so clearly, naming the host, and never touches known_hosts; the ways
// it succeeds (root directly, an administrator through sudo -n, a slow link) read the host.

#include "consolebatch.h"
#include "remotetesthost.h"
#include "systemtest.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QSet>
#include <QTest>
#include <QThread>

#include <atomic>
#include <memory>
#include <thread>

#include <sys/stat.h>

namespace {

/// Where the fake cron start of the host "gone" leaves its mark before it hangs.
const QString startedMark = QStringLiteral("/var/lib/oxa-cron-started");

QJsonObject taskOf(const QJsonObject &report, const QString &element, const QString &verb)
{
    for (const QJsonObject &task : ConsoleBatch::tasksOf(report, element)) {
        if (task.value(QStringLiteral("description"))
                .toString()
                .contains(verb, Qt::CaseInsensitive))
            return task;
    }
    return QJsonObject();
}

} // namespace

class TestRemoteConnection : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void linkCarriesEverything_data();
    void linkCarriesEverything();
    void batchOnOneHost_data();
    void batchOnOneHost();

private:
    /// This process's own disposable host: should a console ever act on this machine instead
    /// of a remote one, it acts in overlays and a private /run, and the safety net ends it.
    std::unique_ptr<SystemHost> m_local;
    std::unique_ptr<RemoteTestFleet> m_fleet;
};

void TestRemoteConnection::initTestCase()
{
    m_local.reset(new SystemHost);
    OXA_REQUIRE_SYSTEM_HOST(*m_local, QStringList());
    m_fleet.reset(new RemoteTestFleet);
    OXA_REQUIRE_FLEET(*m_fleet);
    const QStringList missing =
        SystemTest::missingPackages({QStringLiteral("cron"), QStringLiteral("sudo")});
    if (!missing.isEmpty()) {
        const QByteArray why = "not installed (scripts/install-services): " +
                               missing.join(QLatin1Char(' ')).toLocal8Bit();
        if (TestHost::mustRun())
            QFAIL(why.constData());
        QSKIP(why.constData());
    }

    const struct
    {
        const char *name;
        RemoteHostOptions options;
    } hosts[] = {
        {"good", {}},
        {"nohelper", {false, true, true, false}},
        {"down", {true, false, true, false}},
        {"dark", {true, true, false, false}},
        {"gone", {}},
    };
    for (const auto &host : hosts)
        QVERIFY2(m_fleet->addHost(QString::fromLatin1(host.name), host.options),
                 qPrintable(m_fleet->errorString()));

    RemoteAlias stranger;
    stranger.alias = QStringLiteral("good-stranger");
    stranger.host = QStringLiteral("good");
    stranger.authorizedKey = false;
    RemoteAlias unknown;
    unknown.alias = QStringLiteral("good-unknown");
    unknown.host = QStringLiteral("good");
    unknown.hostKey = KnownHostKey::Unknown;
    RemoteAlias changed = unknown;
    changed.alias = QStringLiteral("good-changed");
    changed.hostKey = KnownHostKey::Changed;
    RemoteAlias slow;
    slow.alias = QStringLiteral("good-slow");
    slow.host = QStringLiteral("good");
    slow.delayMs = 100;
    for (const RemoteAlias &alias : {stranger, unknown, changed, slow})
        QVERIFY2(m_fleet->addAlias(alias), qPrintable(m_fleet->errorString()));

    // The host "gone" has a cron that starts slowly: the connection goes while the change runs.
    RemoteTestHost *lost = m_fleet->host(QStringLiteral("gone"));
    QVERIFY2(lost->writeScript(QStringLiteral("/etc/init.d/cron"),
                               QStringLiteral("case \"$1\" in\n"
                                              "status) exit 3 ;;\n"
                                              "start) touch %1; exec sleep 120 ;;\n"
                                              "*) exit 1 ;;\n"
                                              "esac\n")
                                   .arg(startedMark)),
             qPrintable(lost->errorString()));
}

void TestRemoteConnection::cleanupTestCase()
{
    if (!m_fleet || !m_fleet->isAvailable())
        return;
    // Whatever the rows did to the hosts (a server killed, a change left hanging), nothing of
    // the fleet outlives it: no host process, no process in a host's network, no namespace,
    // no run directory.
    QList<qint64> pids;
    QSet<quint64> networks;
    QStringList namespaceFiles;
    for (const QString &name : m_fleet->hostNames()) {
        const RemoteTestHost *host = m_fleet->host(name);
        pids << host->pid();
        namespaceFiles << QStringLiteral("/run/netns/") + host->netns();
        struct stat st;
        if (stat(QFile::encodeName(namespaceFiles.last()).constData(), &st) == 0)
            networks.insert(st.st_ino);
    }
    const QString directory = m_fleet->directory();
    QCOMPARE(networks.size(), pids.size());
    m_fleet.reset();

    for (qint64 pid : pids)
        QVERIFY2(!QFileInfo::exists(QStringLiteral("/proc/%1").arg(pid)),
                 qPrintable(QString::number(pid)));
    for (const QString &file : namespaceFiles)
        QVERIFY2(!QFileInfo::exists(file), qPrintable(file));
    QVERIFY2(!QFileInfo::exists(directory), qPrintable(directory));
    QStringList inside;
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        struct stat st;
        const QByteArray link = QFile::encodeName(QStringLiteral("/proc/%1/ns/net").arg(entry));
        if (entry.toLongLong() > 0 && stat(link.constData(), &st) == 0 &&
            networks.contains(st.st_ino))
            inside << entry;
    }
    QVERIFY2(inside.isEmpty(), qPrintable(SystemTest::describeProcesses([&] {
                                              QList<qint64> list;
                                              for (const QString &pid : inside)
                                                  list << pid.toLongLong();
                                              return list;
                                          }())
                                              .join(QStringLiteral(", "))));
}

void TestRemoteConnection::linkCarriesEverything_data()
{
    QTest::addColumn<QString>("alias");
    QTest::newRow("through nc") << "good";
    QTest::newRow("through the delaying relay") << "good-slow";
}

void TestRemoteConnection::linkCarriesEverything()
{
    // What the console's connection relies on, below it: every byte arrives, in order, both
    // ways, also while the relay holds chunks in flight in both directions at once.
    QFETCH(QString, alias);
    OXA_REQUIRE_FLEET(*m_fleet);
    QByteArray data;
    data.reserve(3 << 20);
    quint32 x = 2463534242u;
    while (data.size() < (3 << 20)) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        data.append(reinterpret_cast<const char *>(&x), sizeof x);
    }
    QStringList command = m_fleet->sshCommand(alias, {QStringLiteral("cat")});
    const ToolRun echo = SystemTest::runTool(command.takeFirst(), command, 120000, data);
    QVERIFY2(echo.succeeded(), qPrintable(echo.describe()));
    QCOMPARE(echo.output.size(), data.size());
    QVERIFY(echo.output == data);
}

void TestRemoteConnection::batchOnOneHost_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("alias");
    /// Words the error must hold (any case); none: the host is served.
    QTest::addColumn<QStringList>("errorWords");
    QTest::addColumn<bool>("killMidRun");

    const QStringList none;
    QTest::newRow("root login, helper run directly") << "good"
                                                     << "good" << none << false;
    QTest::newRow("administrator, helper through sudo -n") << "oxaadmin@good"
                                                           << "good" << none << false;
    QTest::newRow("slow link (100 ms each way)") << "good-slow"
                                                 << "good-slow" << none << false;
    QTest::newRow("unreachable") << "dark"
                                 << "dark" << QStringList{"dark", "reached"} << false;
    QTest::newRow("connection refused") << "down"
                                        << "down" << QStringList{"down", "refused"} << false;
    QTest::newRow("authentication refused")
        << "good-stranger"
        << "good-stranger" << QStringList{"good-stranger", "login"} << false;
    QTest::newRow("unknown host key")
        << "good-unknown"
        << "good-unknown" << QStringList{"good-unknown", "not known"} << false;
    QTest::newRow("changed host key")
        << "good-changed"
        << "good-changed" << QStringList{"good-changed", "changed"} << false;
    QTest::newRow("helper not installed")
        << "nohelper"
        << "nohelper" << QStringList{"nohelper", "vell-admin-bridge"} << false;
    QTest::newRow("sudo asks a password") << "oxapass@good"
                                          << "good" << QStringList{"good", "password"} << false;
    QTest::newRow("connection lost while a change runs") << "gone"
                                                         << "gone" << QStringList() << true;
}

void TestRemoteConnection::batchOnOneHost()
{
    QFETCH(QString, target);
    QFETCH(QString, alias);
    QFETCH(QStringList, errorWords);
    QFETCH(bool, killMidRun);
    OXA_REQUIRE_FLEET(*m_fleet);
    QVERIFY(m_fleet->host(QStringLiteral("good")));

    ConsoleBatch console(SystemTest::pluginFiles({"services", "cron"}));
    QVERIFY2(console.isValid(), qPrintable(console.errorString()));
    console.setArguments(
        {QStringLiteral("--host"), target, QStringLiteral("--ssh-config"), m_fleet->sshConfig()});
    QByteArray script = "perform read-light ServiceServices\n";
    if (killMidRun)
        script += "perform start ServiceCron\nperform read-light ServiceServices\n";
    const QByteArray knownHosts = [&] {
        QFile file(m_fleet->knownHostsFile(alias));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(none)");
    }();

    ConsoleBatchResult result;
    if (!killMidRun) {
        result = console.run(script, 180000);
    } else {
        RemoteTestHost *host = m_fleet->host(QStringLiteral("gone"));
        std::atomic<bool> done{false};
        std::thread runner([&] {
            result = console.run(script, 180000);
            done = true;
        });
        QElapsedTimer timer;
        timer.start();
        while (!host->exists(startedMark) && !done && timer.elapsed() < 120000)
            QThread::msleep(50);
        const bool started = host->exists(startedMark);
        // sshd, the session and the helper go at once, as when the host goes down.
        const bool stopped = host->stopServer();
        runner.join();
        QVERIFY2(started, "the start never reached the host");
        QVERIFY2(stopped, qPrintable(host->errorString()));
    }
    QVERIFY2(result.ran && result.reportParsed, result.errors.constData());
    const QJsonObject &report = result.report;
    const QString error = report.value(QStringLiteral("error")).toString();

    // Batch mode never writes known_hosts, whatever the host's key.
    QFile file(m_fleet->knownHostsFile(alias));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), knownHosts);
    QCOMPARE(report.value(QStringLiteral("host")).toString(), target);

    if (killMidRun) {
        // Connected first: the state was read, then the start went out and its answer never
        // came: its outcome is unknown, and what followed failed naming the host.
        const QJsonArray tasks = result.tasks();
        QVERIFY2(tasks.size() >= 3, result.errors.constData());
        QCOMPARE(tasks.at(0).toObject().value(QStringLiteral("status")).toInt(), 2);
        const QJsonObject start =
            taskOf(report, QStringLiteral("ServiceCron"), QStringLiteral("start"));
        QVERIFY2(!start.isEmpty(), qPrintable(ConsoleBatch::taskDescriptions(report).join(", ")));
        QCOMPARE(start.value(QStringLiteral("status")).toInt(), 4);
        QVERIFY2(start.value(QStringLiteral("message")).toString().contains(QLatin1String("gone")),
                 qPrintable(start.value(QStringLiteral("message")).toString()));
        const QJsonObject last = tasks.last().toObject();
        QCOMPARE(last.value(QStringLiteral("status")).toInt(), 1);
        QVERIFY2(last.value(QStringLiteral("message")).toString().contains(QLatin1String("gone")),
                 qPrintable(last.value(QStringLiteral("message")).toString()));
        QVERIFY(result.exitCode != 0);
        RemoteTestHost *host = m_fleet->host(QStringLiteral("gone"));
        QVERIFY2(host->startServer(), qPrintable(host->errorString()));
        return;
    }
    if (errorWords.isEmpty()) {
        QVERIFY2(SystemTest::taskFailures(report).isEmpty(),
                 qPrintable(SystemTest::taskFailures(report).join(QStringLiteral("; ")) +
                            QString::fromLocal8Bit(result.errors)));
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(report.value(QStringLiteral("connected")).toBool(), true);
        QCOMPARE(result.exitCode, 0);
        // The host's own cron, stopped in its fresh /run, read through the helper there.
        QVERIFY(!ConsoleBatch::elementById(result.tree(), QStringLiteral("ServiceCron")).isEmpty());
        QVERIFY(!SystemTest::elementTextState(report, QStringLiteral("ServiceCron")).isEmpty());
        QCOMPARE(SystemTest::elementRunning(report, QStringLiteral("ServiceCron")), false);
        return;
    }
    QCOMPARE(report.value(QStringLiteral("connected")).toBool(), false);
    QVERIFY(result.exitCode != 0);
    for (const QString &word : errorWords)
        QVERIFY2(error.contains(word, Qt::CaseInsensitive),
                 qPrintable(QStringLiteral("\"%1\" not in: %2").arg(word, error)));
}

OXA_SYSTEM_TEST_MAIN(TestRemoteConnection)
#include "tst_remoteconnection.moc"

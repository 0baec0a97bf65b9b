// The system suites' support against the real machine: the private network and /run, the
// safety net, tools and an init script of a real service (cron, the quickest to start).

#include "systemtest.h"

#include <QFile>
#include <QProcess>
#include <QTest>

class TestSystemSupport : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void privateNetwork();
    void privateRun();
    void tools();
    void safetyNet();
    void initScriptOfRealService();

private:
    std::unique_ptr<SystemHost> m_host;
};

void TestSystemSupport::initTestCase()
{
    m_host.reset(new SystemHost);
    OXA_REQUIRE_SYSTEM_HOST(*m_host, QStringList{QStringLiteral("cron")});
}

void TestSystemSupport::cleanupTestCase()
{
    m_host.reset();
}

void TestSystemSupport::privateNetwork()
{
    // /proc/self/net/dev lists the interfaces of the reader's network namespace.
    QFile devices(QStringLiteral("/proc/self/net/dev"));
    QVERIFY(devices.open(QIODevice::ReadOnly));
    QStringList interfaces;
    const QList<QByteArray> lines = devices.readAll().split('\n');
    for (const QByteArray &line : lines) {
        const int colon = line.indexOf(':');
        if (colon > 0)
            interfaces << QString::fromLatin1(line.left(colon).trimmed());
    }
    QCOMPARE(interfaces, QStringList{QStringLiteral("lo")});
    // Up: a server on the loopback interface is reachable, as the services need.
    const ToolRun link =
        SystemTest::runTool(QStringLiteral("ip"), {QStringLiteral("-o"), QStringLiteral("link")});
    if (link.finished)
        QVERIFY2(link.text().contains(QLatin1String("UP")), qPrintable(link.text()));
}

void TestSystemSupport::privateRun()
{
    const QString probe = QStringLiteral("/run/oxa-systemtest-probe");
    QFile file(probe);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("probe");
    file.close();
    QCOMPARE(TestHost::machinePathState(probe), TestHost::MachinePathMissing);
    // The init scripts must not find a systemd to hand over to; /run/lock stays sticky.
    QVERIFY(!QFile::exists(QStringLiteral("/run/systemd/system")));
    if (TestHost::machinePathState(QStringLiteral("/run/lock")) == TestHost::MachinePathExists) {
        QVERIFY(QFileInfo(QStringLiteral("/run/lock")).isDir());
        QVERIFY(QFileInfo(QStringLiteral("/var/lock/.")).isDir());
    }
    QFile shm(QStringLiteral("/dev/shm/oxa-systemtest-probe"));
    QVERIFY(shm.open(QIODevice::WriteOnly));
    shm.close();
    QCOMPARE(TestHost::machinePathState(shm.fileName()), TestHost::MachinePathMissing);
}

void TestSystemSupport::tools()
{
    const ToolRun echo = SystemTest::runTool(QStringLiteral("sh"),
                                             {QStringLiteral("-c"),
                                              QStringLiteral("echo out; echo err >&2; exit 3")});
    QVERIFY(echo.finished);
    QCOMPARE(echo.exitCode, 3);
    QCOMPARE(echo.lines(), QStringList{QStringLiteral("out")});
    QCOMPARE(echo.errors, QByteArray("err\n"));
    QVERIFY(echo.describe().contains(QLatin1String("exit 3")));

    const ToolRun fed = SystemTest::runTool(QStringLiteral("cat"), {}, 10000, "fed\n");
    QCOMPARE(fed.output, QByteArray("fed\n"));

    const ToolRun hung = SystemTest::runTool(QStringLiteral("sleep"), {QStringLiteral("60")}, 200);
    QVERIFY(!hung.finished);
    QCOMPARE(hung.exitCode, -1);

    const ToolRun missing = SystemTest::runTool(QStringLiteral("/nonexistent/tool"));
    QVERIFY(!missing.finished);

    // The package database is the machine's.
    QVERIFY(!SystemTest::packageVersion(QStringLiteral("cron")).isEmpty());
    QCOMPARE(SystemTest::missingPackages({QStringLiteral("cron"),
                                          QStringLiteral("oxa-no-such-package")}),
             QStringList{QStringLiteral("oxa-no-such-package")});
}

void TestSystemSupport::safetyNet()
{
    // A daemon of our own, detached from us as the init scripts detach theirs.
    qint64 pid = 0;
    QVERIFY(QProcess::startDetached(QStringLiteral("setsid"),
                                    {QStringLiteral("sleep"), QStringLiteral("600")},
                                    QString(), &pid));
    QList<qint64> sleepers;
    for (int i = 0; i < 50 && sleepers.isEmpty(); ++i) {
        sleepers = SystemTest::namespaceProcesses(QStringLiteral("sleep"));
        if (sleepers.isEmpty())
            QTest::qWait(100);
    }
    QCOMPARE(sleepers.size(), 1);
    // Neither this process nor the machine's first process is ours to kill.
    const QList<qint64> all = SystemTest::namespaceProcesses();
    QVERIFY(!all.contains(qint64(QCoreApplication::applicationPid())));
    QVERIFY(!all.contains(1));

    QVERIFY(!SystemTest::waitForProcessesGone(QStringLiteral("sleep"), 100));
    const QStringList killed = m_host->killLeftovers();
    QCOMPARE(killed, QStringList{QStringLiteral("%1 sleep").arg(sleepers.first())});
    QVERIFY(SystemTest::namespaceProcesses().isEmpty());
    QVERIFY(SystemTest::waitForProcessesGone());
    QVERIFY(m_host->killLeftovers().isEmpty());
}

void TestSystemSupport::initScriptOfRealService()
{
    QCOMPARE(SystemTest::initStatus(QStringLiteral("cron")), 3);
    QCOMPARE(SystemTest::initScript(QStringLiteral("cron"), QStringLiteral("start")), 0);
    QCOMPARE(SystemTest::waitForStatus(QStringLiteral("cron"), true), 0);
    QCOMPARE(SystemTest::namespaceProcesses(QStringLiteral("cron")).size(), 1);
    // Its pid file lives in the private /run only.
    QVERIFY(QFile::exists(QStringLiteral("/run/crond.pid")));
    QCOMPARE(TestHost::machinePathState(QStringLiteral("/run/crond.pid")),
             TestHost::MachinePathMissing);

    QCOMPARE(SystemTest::initScript(QStringLiteral("cron"), QStringLiteral("stop")), 0);
    QVERIFY(SystemTest::waitForStatus(QStringLiteral("cron"), false) != 0);
    QVERIFY(SystemTest::namespaceProcesses(QStringLiteral("cron")).isEmpty());
}

OXA_SYSTEM_TEST_MAIN(TestSystemSupport)
#include "tst_systemsupport.moc"

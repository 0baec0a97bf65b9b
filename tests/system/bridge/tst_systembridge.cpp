// The console run as an unprivileged user, its administration done by the privileged helper
// that sudo starts for it (a sudoers drop-in in the disposable host), on services whose init
// scripts are fakes laid in the host: they record who ran them, so a start and a stop show
// that they came through the helper, as root, while the console ran as nobody.

#include "consolebatch.h"
#include "systemtest.h"

#include <QFile>
#include <QTest>

namespace {

const QString helperUser = QStringLiteral("nobody");

/// A service of the test host: its element, its package and its init script.
struct FakeService
{
    const char *element;
    const char *package;
    const char *script;
};

const FakeService services[] = {
    {"ServiceCron", "cron", "cron"},
    {"ServiceSamba", "samba", "smbd"},
};

QString logOf(const QString &script)
{
    return QStringLiteral("/var/log/fake-") + script;
}

} // namespace

class TestSystemBridge : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void consoleAsUserThroughHelper_data();
    void consoleAsUserThroughHelper();

private:
    std::unique_ptr<SystemHost> m_host;
};

void TestSystemBridge::initTestCase()
{
    m_host.reset(new SystemHost);
    OXA_REQUIRE_SYSTEM_HOST(*m_host, QStringList{QStringLiteral("sudo")});
    TestHost &host = m_host->testHost();
    // The helper's policy as its package installs it: root's, read by nobody else's rules.
    QVERIFY2(host.copyTree(QStringLiteral(OXA_BRIDGE_POLICY_DIR),
                           QStringLiteral("/usr/share/vell/bridge.d")),
             qPrintable(host.errorString()));
    // The user may start the helper, without arguments, and nothing else.
    QVERIFY(host.writeFile(QStringLiteral("/etc/sudoers.d/vell-admin-bridge-test"),
                           QStringLiteral("%1 ALL=(root) NOPASSWD: %2 \"\"\n")
                               .arg(helperUser, QStringLiteral(OXA_BRIDGE_FILE))
                               .toUtf8(),
                           0440));
    for (const FakeService &service : services) {
        QVERIFY(host.installPackage(QString::fromLatin1(service.package), QStringLiteral("1.0")));
        const QString script = QString::fromLatin1(service.script);
        QVERIFY(host.writeScript(QStringLiteral("/etc/init.d/") + script,
                                 QStringLiteral("state=/run/fake-%1\n"
                                                "case \"$1\" in\n"
                                                "status) [ -f $state ] && exit 0; exit 3 ;;\n"
                                                "start) touch $state ;;\n"
                                                "stop) rm -f $state ;;\n"
                                                "*) exit 1 ;;\n"
                                                "esac\n"
                                                "echo \"$1 $(id -u)\" >> %2\n")
                                     .arg(script, logOf(script))));
    }
}

void TestSystemBridge::cleanupTestCase()
{
    m_host.reset();
}

void TestSystemBridge::consoleAsUserThroughHelper_data()
{
    QTest::addColumn<QString>("element");
    QTest::addColumn<QString>("script");
    for (const FakeService &service : services)
        QTest::newRow(service.element) << service.element << service.script;
}

void TestSystemBridge::consoleAsUserThroughHelper()
{
    QFETCH(QString, element);
    QFETCH(QString, script);
    ConsoleBatch console(SystemTest::pluginFiles({"services", "cron", "samba"}));
    QVERIFY2(console.isValid(), qPrintable(console.errorString()));
    console.setRunAs({QStringLiteral("/usr/sbin/runuser"), QStringLiteral("-u"), helperUser,
                      QStringLiteral("--")});
    console.setArguments({QStringLiteral("--bridge"),
                          QStringLiteral("/usr/bin/sudo -n ") + QStringLiteral(OXA_BRIDGE_FILE)});
    QFile::remove(logOf(script));
    ConsoleBatchResult result;
    const bool ok = SystemTest::runConsole(
        console,
        QStringLiteral("perform read-light ServiceServices\nperform start %1\nperform stop %1\n")
            .arg(element)
            .toUtf8(),
        &result);
    // Through the helper: no notice of a console that only reads.
    QCOMPARE(result.report.value(QStringLiteral("error")).toString(), QString());
    QVERIFY(ok);
    for (const FakeService &service : services) {
        QVERIFY2(!ConsoleBatch::elementById(result.tree(), service.element).isEmpty(),
                 service.element);
    }
    // The init script ran as root, started by the helper, for a console running as nobody.
    QFile log(logOf(script));
    QVERIFY(log.open(QIODevice::ReadOnly));
    QCOMPARE(log.readAll(), QByteArray("start 0\nstop 0\n"));
    QCOMPARE(SystemTest::initStatus(script), 3);
}

OXA_SYSTEM_TEST_MAIN(TestSystemBridge)
#include "tst_systembridge.moc"

#pragma once

// Support for the system suites: the console against the real Debian services, started
// through their own init scripts inside a disposable host.
//
//   - OXA_SYSTEM_TEST_MAIN(TestObject) instead of OXA_TEST_MAIN: private mount namespace
//     and private network namespace (only a loopback interface), entered first in main.
//   - SystemHost: a TestHost with the machine's package database, plus an empty private
//     /run and /dev/shm (pid files, sockets and shared memory of the services stay in the
//     test). Its destructor first kills every process still living in the test's mount
//     namespace (the safety net), then throws the overlays away.
//   - OXA_REQUIRE_SYSTEM_HOST(host, packages): skips (fails under CI) when the host is
//     unavailable or a service package is not installed.
//   - SystemTest::initScript(), waitForStatus(), runTool(), packageVersion(),
//     namespaceProcesses(), waitForProcessesGone(), pluginFiles(), taskFailures(),
//     elementTextState(), runConsole(): the small tools the suites share.
//   - SystemHost::prepareKerberos(), prepareDovecot(): the set-up the packages leave undone
//     (a realm database and kadm5.acl; the snakeoil certificate and Dovecot's two links);
//     installConsoleData(): the package lists the console's packages elements read.
//
// A typical suite keeps one SystemHost for all its test functions (set up in initTestCase,
// reset in cleanupTestCase), since only one TestHost may live at a time.

#include "consolebatch.h"
#include "testhost.h"

#include <QByteArray>
#include <QFileInfo>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

/// One run of a program: its exit and its output.
struct ToolRun
{
    QString program;
    QStringList arguments;
    /// Started, and exited normally within the time limit.
    bool finished = false;
    /// The exit code; -1 when it did not finish.
    int exitCode = -1;
    QByteArray output;
    QByteArray errors;

    bool succeeded() const { return finished && exitCode == 0; }
    /// Standard output as local 8-bit text.
    QString text() const;
    /// text() split at line feeds, empty lines dropped.
    QStringList lines() const;
    /// "program args -> exit N" with standard error, for failure messages.
    QString describe() const;
};

namespace SystemTest {

/// Time an init script action may take (the services' stop and restart take ~2 s).
const int InitScriptTimeoutMs = 90000;

/**
 * Runs @p program with @p arguments, no shell, standard input closed (or fed @p input),
 * waiting at most @p timeoutMs; a program still running then is killed.
 */
ToolRun runTool(const QString &program, const QStringList &arguments = QStringList(),
                int timeoutMs = 60000, const QByteArray &input = QByteArray());

/// Runs "/etc/init.d/<script> <action>"; its exit code, -1 when it did not finish.
int initScript(const QString &script, const QString &action,
               int timeoutMs = InitScriptTimeoutMs);
/// The exit code of "/etc/init.d/<script> status" (0 running, 3 stopped by LSB; -1 hung).
int initStatus(const QString &script);
/**
 * Polls the init script's status until it says @p running (exit 0) or stopped (non-zero)
 * or @p timeoutMs passed; returns the last exit code. A daemon forks away from its init
 * script, so its status may lag a moment behind the script's exit.
 */
int waitForStatus(const QString &script, bool running, int timeoutMs = 20000);

/// The version dpkg-query reports for an installed ("ii") @p package; empty otherwise.
QString packageVersion(const QString &package);
/// The packages of @p packages that are not installed.
QStringList missingPackages(const QStringList &packages);
/// The newest PostgreSQL server major version installed (its initdb is there): 15 on Debian
/// 12, 17 on Debian 13; empty when there is none.
QString pgsqlServerVersion();

/**
 * The processes living in this process's mount namespace, this process left out, with
 * command name (/proc/<pid>/comm) @p command, or all when it is empty. Zombies have left
 * every namespace and are not listed.
 */
QList<qint64> namespaceProcesses(const QString &command = QString());
/**
 * Waits until no process of namespaceProcesses(@p command) is left, or @p timeoutMs passed;
 * returns whether they are gone. A daemon's children may end a moment after its init script
 * has reported it stopped.
 */
bool waitForProcessesGone(const QString &command = QString(), int timeoutMs = 10000);
/// "pid command" lines of the processes of namespaceProcesses().
QStringList describeProcesses(const QList<qint64> &pids);
/**
 * The safety net: SIGTERM to every process in this mount namespace but this one, SIGKILL
 * after @p graceMs to those still there; returns what it found ("pid command").
 */
QStringList killNamespaceProcesses(int graceMs = 5000);

/**
 * Gives this thread (and the processes it starts later) a network namespace of its own,
 * with only the loopback interface, brought up. As root only; call it in main before any
 * thread exists (OXA_SYSTEM_TEST_MAIN does). Returns whether it worked.
 */
bool enterPrivateNetwork();
/**
 * The same with the network namespace @p name that `ip netns add` made (/run/netns/NAME)
 * instead of a new one: a remote test host's process joins the namespace its ssh server is
 * reached in. Its loopback interface is brought up.
 */
bool enterNamedNetwork(const QString &name);
/// Whether enterPrivateNetwork() or enterNamedNetwork() worked, and why not.
bool inPrivateNetwork();
QString privateNetworkError();

/// The plug-in libraries of the build (OXA_SYSTEM_PLUGIN_FILES, set by oxa_add_system_test).
inline QStringList pluginFiles()
{
#ifdef OXA_SYSTEM_PLUGIN_FILES
    return QString::fromLocal8Bit(OXA_SYSTEM_PLUGIN_FILES).split(QLatin1Char(':'),
                                                                 Qt::SkipEmptyParts);
#else
    return QStringList();
#endif
}

/// The plug-in libraries of pluginFiles() named "…-<name>-plugin…" for a name of @p names.
inline QStringList pluginFiles(const QStringList &names)
{
    QStringList chosen;
    for (const QString &file : pluginFiles()) {
        const QString fileName = QFileInfo(file).fileName();
        for (const QString &name : names) {
            if (fileName.contains(QLatin1Char('-') + name + QLatin1String("-plugin"))) {
                chosen << file;
                break;
            }
        }
    }
    return chosen;
}

/// "description: message" of every failed task (status 1) and every task whose outcome is
/// unknown (status 4) of a console batch report.
QStringList taskFailures(const QJsonObject &report);
/// The "textState" and "state" the report's tree gives element @p id ("" and false if none).
QString elementTextState(const QJsonObject &report, const QString &id);
bool elementRunning(const QJsonObject &report, const QString &id);

/**
 * Runs @p console on @p script into @p result; whether it ran, gave a report, exited 0 and
 * no task failed. What went wrong goes to the test log.
 */
bool runConsole(const ConsoleBatch &console, const QByteArray &script,
                ConsoleBatchResult *result, int timeoutMs = 240000);

} // namespace SystemTest

/**
 * The disposable host of a system suite: TestHost(MachinePackageDatabase) with copy-on-write
 * overlays on /etc, /var and /usr/share, plus an empty tmpfs on /run (holding only the
 * machine's top-level directories, /run/systemd left out so that the init scripts never
 * hand over to systemctl) and on /dev/shm. Everything a service writes there vanishes.
 *
 * The destructor runs the safety net first, killing every process left in the test's mount
 * namespace (a daemon that outlived its test would pin the overlays), then unmounts.
 */
class SystemHost
{
public:
    SystemHost();
    ~SystemHost();
    SystemHost(const SystemHost &) = delete;
    SystemHost &operator=(const SystemHost &) = delete;

    bool isAvailable() const { return m_available; }
    QString unavailableReason() const { return m_unavailableReason; }
    /// Why the last helper returned false.
    QString errorString() const { return m_errorString; }
    /// The overlays, for writing files and scripts (TestHost's helpers).
    TestHost &testHost() { return *m_host; }

    /**
     * The Kerberos set-up the packages leave undone: the realm database of the default realm
     * ("kdb5_util create -s -r EXAMPLE.ORG -P <password>") and /etc/krb5kdc/kadm5.acl
     * granting all rights to every principal whose instance is "admin". Without them both
     * daemons fail to start, while their init scripts still exit 0.
     */
    bool prepareKerberos(const QString &realm = QStringLiteral("EXAMPLE.ORG"));
    /**
     * The Dovecot set-up its install script would have done: the snakeoil certificate
     * ("make-ssl-cert generate-default-snakeoil") and the links /etc/dovecot/private/
     * dovecot.pem and dovecot.key to it. Without them Dovecot refuses to start.
     */
    bool prepareDovecot();
    /**
     * Installs the console's own data as a package of it would: the installed-packages
     * plug-in's package lists in /usr/share/vell/data/oxa-service-packages-plugin.
     */
    bool installConsoleData();

    /// Runs the safety net now; what it found (empty when every service was stopped).
    QStringList killLeftovers(int graceMs = 5000);

private:
    bool mountPrivateRun();
    void unmountPrivate();
    bool fail(const QString &message);

    std::unique_ptr<TestHost> m_host;
    bool m_available = false;
    bool m_runMounted = false;
    bool m_shmMounted = false;
    QString m_unavailableReason;
    QString m_errorString;
};

/**
 * main() of a system suite: private mount namespace, then private network namespace, both
 * before anything else, then the test as QTEST_MAIN runs it.
 */
#define OXA_SYSTEM_TEST_MAIN(TestObject)                                                           \
    int main(int argc, char *argv[])                                                               \
    {                                                                                              \
        TestHost::enterPrivateNamespace();                                                         \
        SystemTest::enterPrivateNetwork();                                                         \
        QTEST_MAIN_IMPL(TestObject)                                                                \
    }

/**
 * Skips the test function when @p systemHost is unavailable or one of @p packages (a
 * QStringList) is not installed, with the reason; under CI (CI=true) fails it instead, as
 * run-tests installs the services first.
 */
#define OXA_REQUIRE_SYSTEM_HOST(systemHost, packages)                                              \
    do {                                                                                           \
        QString oxaWhy_;                                                                           \
        if (!(systemHost).isAvailable()) {                                                         \
            oxaWhy_ = QStringLiteral("no system test host: ") + (systemHost).unavailableReason();  \
        } else {                                                                                   \
            const QStringList oxaMissing_ = SystemTest::missingPackages(packages);                 \
            if (!oxaMissing_.isEmpty())                                                            \
                oxaWhy_ = QStringLiteral("service packages not installed (scripts/"                \
                                         "install-services): ") +                                  \
                          oxaMissing_.join(QLatin1Char(' '));                                      \
        }                                                                                          \
        if (!oxaWhy_.isEmpty()) {                                                                  \
            const QByteArray oxaReason_ = oxaWhy_.toLocal8Bit();                                   \
            if (TestHost::mustRun())                                                               \
                QFAIL(oxaReason_.constData());                                                     \
            QSKIP(oxaReason_.constData());                                                         \
        }                                                                                          \
    } while (false)

// The connection to a remote host over ssh: what ssh's words say went wrong, the command line
// ssh gets, and a whole connection through a stand-in ssh that runs the real helper here (in a
// disposable host with a policy of the suite's own), lost and made again.

#include "hosttestenvironment.h"
#include "remotehostconnection.h"
#include "testhost.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <csignal>
#include <future>

#include <unistd.h>

using Failure = RemoteHostConnection::Failure;
Q_DECLARE_METATYPE(RemoteHostConnection::Failure)

namespace {

const QString Marks = QStringLiteral("/var/lib/remote-test");

/// The suite's own rules: a fake service's reads and changes, and one file.
const char Policy[] = "run /etc/init.d/fakesvc status|hang\n"
                      "change /etc/init.d/fakesvc start|hang\n"
                      "read /etc/fakesvc.conf\n";

/// Its init script: "hang" leaves its pid and waits until the suite kills it.
const char FakeService[] = "case \"$1\" in\n"
                           "status) echo 'fakesvc is running' ;;\n"
                           "hang) echo $$ > /var/lib/remote-test/hang.pid; exec sleep 600 ;;\n"
                           "start) echo started > /var/lib/remote-test/started ;;\n"
                           "esac\n";

/**
 * The stand-in for ssh: logs its arguments, answers "-G" with the user in the file "user", and
 * otherwise does what the file "mode" says: run the helper (whatever sudo -n before it), or
 * end as ssh or the remote shell would.
 */
const char FakeSsh[] =
    "#!/bin/sh\n"
    "dir=$(dirname \"$0\")\n"
    "echo \"$*\" >> \"$dir/calls\"\n"
    "if [ \"$1\" = -G ]; then echo \"host x\"; echo \"user $(cat \"$dir/user\")\";"
    " exit 0; fi\n"
    "echo $$ > \"$dir/ssh.pid\"\n"
    "case $(cat \"$dir/mode\") in\n"
    "helper) exec \"$OXA_TEST_BRIDGE\" ;;\n"
    "other-version) exec \"$OXA_TEST_FAKE_BRIDGE\" version 99 ;;\n"
    "missing) echo 'bash: line 1: /usr/libexec/vell-admin-service/"
    "vell-admin-bridge: No such file or directory' >&2; exit 127 ;;\n"
    "refused) echo 'ssh: connect to host 127.0.0.1 port 1: Connection refused'"
    " >&2; exit 255 ;;\n"
    "esac\n"
    "exit 1\n";

SshTarget target(const QString &given)
{
    SshTarget parsed;
    QString error;
    if (!SshTarget::parse(given, &parsed, &error))
        qWarning("%s", qPrintable(error));
    return parsed;
}

} // namespace

class TestRemoteHostConnection : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void classify_data();
    void classify();
    void sshCommand_data();
    void sshCommand();
    void environment();
    void throughTheHelper();
    void lostMidCall_data();
    void lostMidCall();
    void cannotConnect_data();
    void cannotConnect();
    void batchRunWithoutTheHost();

private:
    /// Settings for the stand-in ssh in mode @p mode, logging in as @p user.
    RemoteHostConnection::Settings fake(const QString &mode, const QString &user = "root");
    bool layHost(TestHost &host);
    QStringList calls() const;
    qint64 pidIn(const QString &path) const;

    QTemporaryDir m_dir;
};

void TestRemoteHostConnection::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QFile script(m_dir.filePath("ssh"));
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write(FakeSsh);
    script.close();
    QVERIFY(script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    qputenv("OXA_TEST_BRIDGE", OXA_TEST_BRIDGE_PROGRAM);
    qputenv("OXA_TEST_FAKE_BRIDGE", OXA_TEST_FAKE_BRIDGE);
    // A helper killed by the suite makes a write to it fail, not the suite die.
    ::signal(SIGPIPE, SIG_IGN);
}

RemoteHostConnection::Settings TestRemoteHostConnection::fake(const QString &mode,
                                                              const QString &user)
{
    for (const auto &[name, text] :
         {std::pair<const char *, QString>{"mode", mode}, {"user", user}}) {
        QFile file(m_dir.filePath(name));
        file.open(QIODevice::WriteOnly);
        file.write(text.toUtf8());
    }
    QFile::remove(m_dir.filePath("calls"));
    RemoteHostConnection::Settings settings;
    settings.target = target(QStringLiteral("db1"));
    settings.sshProgram = m_dir.filePath("ssh");
    settings.batch = true;
    settings.handshakeTimeoutMs = 60000;
    return settings;
}

QStringList TestRemoteHostConnection::calls() const
{
    QFile file(m_dir.filePath("calls"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
}

qint64 TestRemoteHostConnection::pidIn(const QString &path) const
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed().toLongLong() : 0;
}

bool TestRemoteHostConnection::layHost(TestHost &host)
{
    return host.mkdir(QStringLiteral("/usr/share/vell/bridge.d")) &&
           host.writeFile(QStringLiteral("/usr/share/vell/bridge.d/zz-remote-test.policy"),
                          Policy) &&
           host.writeScript(QStringLiteral("/etc/init.d/fakesvc"), QLatin1String(FakeService)) &&
           host.writeFile(QStringLiteral("/etc/fakesvc.conf"), "setting = 1\n") &&
           host.mkdir(Marks);
}

void TestRemoteHostConnection::classify_data()
{
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("stderrText");
    QTest::addColumn<Failure>("failure");
    QTest::addColumn<QString>("says"); // a part of the message, after the host's name

    // What OpenSSH 9.2 (Debian 12) prints; 10.0 (Debian 13) prints the same for these.
    QTest::newRow("name not resolved")
        << 255 << "ssh: Could not resolve hostname db1: Name or service not known\n"
        << Failure::Unreachable << "cannot be reached (ssh: Could not resolve hostname";
    QTest::newRow("no resolver")
        << 255 << "ssh: Could not resolve hostname db1: Temporary failure in name resolution\n"
        << Failure::Unreachable << "cannot be reached";
    QTest::newRow("no route") << 255 << "ssh: connect to host 192.0.2.7 port 22: No route to host\n"
                              << Failure::Unreachable << "No route to host";
    QTest::newRow("network unreachable")
        << 255 << "ssh: connect to host 127.0.0.1 port 1: Network is unreachable\n"
        << Failure::Unreachable << "Network is unreachable";
    QTest::newRow("timed out") << 255
                               << "ssh: connect to host 192.0.2.7 port 22: Connection timed out\n"
                               << Failure::Unreachable << "timed out";
    QTest::newRow("closed before the banner (proxy)")
        << 255
        << "kex_exchange_identification: Connection closed by remote host\n"
           "Connection closed by UNKNOWN port 65535\n"
        << Failure::Unreachable << "kex_exchange_identification";
    QTest::newRow("proxy gone at the banner")
        << 255 << "banner exchange: Connection to UNKNOWN port 65535: Broken pipe\n"
        << Failure::Unreachable << "banner exchange";
    QTest::newRow("refused") << 255 << "ssh: connect to host ::1 port 1: Connection refused\n"
                             << Failure::Refused << "refused the connection";
    QTest::newRow("refused, nc of a proxy")
        << 255
        << "nc: connect to 127.0.0.1 port 1 (tcp) failed: Connection refused\n"
           "banner exchange: Connection to UNKNOWN port 65535: Broken pipe\n"
        << Failure::Refused << "nc: connect to 127.0.0.1 port 1";
    QTest::newRow("login refused") << 255 << "root@db1: Permission denied (publickey).\n"
                                   << Failure::AuthRefused << "refused the login (root@db1";
    QTest::newRow("login refused, passwords too")
        << 255 << "alice@db1: Permission denied (publickey,password).\n"
        << Failure::AuthRefused << "publickey,password";
    QTest::newRow("unknown host key, batch")
        << 255
        << "No ED25519 host key is known for db1 and you have requested strict checking.\n"
           "Host key verification failed.\n"
        << Failure::UnknownHostKey << "is not known (No ED25519 host key is known";
    QTest::newRow("unknown host key, not accepted") << 255 << "Host key verification failed.\n"
                                                    << Failure::UnknownHostKey << "accept it";
    QTest::newRow("changed host key")
        << 255
        << "@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@\n"
           "@    WARNING: REMOTE HOST IDENTIFICATION HAS CHANGED!     @\n"
           "@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@\n"
           "IT IS POSSIBLE THAT SOMEONE IS DOING SOMETHING NASTY!\n"
           "Offending ED25519 key in /root/.ssh/known_hosts:1\n"
           "  remove with:\n"
           "  ssh-keygen -f \"/root/.ssh/known_hosts\" -R \"db1\"\n"
           "Host key for db1 has changed and you have requested strict checking.\n"
           "Host key verification failed.\n"
        << Failure::ChangedHostKey << "ssh-keygen -f \"/root/.ssh/known_hosts\" -R \"db1\"";
    // Where OpenSSH 10.0 (and Debian 13's sudo) word it otherwise.
    QTest::newRow("10.0: proxy's nc refused, silently")
        << 255 << "Connection closed by UNKNOWN port 65535\n"
        << Failure::Unreachable << "Connection closed by UNKNOWN";
    QTest::newRow("10.0: proxy's nc -v refused")
        << 255
        << "nc: connect to 127.0.0.1 port 1 (tcp) failed: Connection refused\n"
           "Connection closed by UNKNOWN port 65535\n"
        << Failure::Refused << "failed: Connection refused";
    QTest::newRow("10.0: changed host key")
        << 255
        << "@    WARNING: REMOTE HOST IDENTIFICATION HAS CHANGED!     @\n"
           "Offending ED25519 key in /k/kh:1\n"
           "  remove with:\n"
           "  ssh-keygen -f '/k/kh' -R 'db1'\n"
           "Host key for db1 has changed and you have requested strict checking.\n"
           "Host key verification failed.\n"
        << Failure::ChangedHostKey << "ssh-keygen -f '/k/kh' -R 'db1'";
    QTest::newRow("10.0: helper missing (sudo, host name unknown)")
        << 1
        << "sudo: unable to resolve host vm: Name or service not known\n"
           "sudo: /usr/libexec/vell-admin-service/vell-admin-bridge: command not found\n"
        << Failure::NoBridge << "install the package vell-admin-bridge";
    QTest::newRow("helper missing (shell)")
        << 127
        << "bash: line 1: /usr/libexec/vell-admin-service/vell-admin-bridge: No such file or "
           "directory\n"
        << Failure::NoBridge << "install the package vell-admin-bridge on db1";
    QTest::newRow("helper missing (sudo)")
        << 1 << "sudo: /usr/libexec/vell-admin-service/vell-admin-bridge: command not found\n"
        << Failure::NoBridge << "install the package vell-admin-bridge";
    QTest::newRow("sudo wants a password") << 1 << "sudo: a password is required\n"
                                           << Failure::SudoPassword << "vell-admin-bridge(8)";
    QTest::newRow("a config file missing is no missing helper")
        << 255 << "Can't open user config file /nonexistent: No such file or directory\n"
        << Failure::Other << "Can't open user config file";
    QTest::newRow("nothing said") << 255 << "" << Failure::Other << "exit code 255";
}

void TestRemoteHostConnection::classify()
{
    QFETCH(int, exitCode);
    QFETCH(QString, stderrText);
    QFETCH(Failure, failure);
    QFETCH(QString, says);

    QString message;
    QCOMPARE(RemoteHostConnection::classify(exitCode, stderrText, &message, "db1"), failure);
    QVERIFY2(message.contains("db1") && message.contains(says), qPrintable(message));
}

void TestRemoteHostConnection::sshCommand_data()
{
    QTest::addColumn<QString>("given");
    QTest::addColumn<QString>("config");
    QTest::addColumn<bool>("batch");
    QTest::addColumn<QString>("sshUser"); // what "ssh -G" says
    QTest::addColumn<QString>("options"); // after the fixed ones
    QTest::addColumn<QString>("lookup");  // the "ssh -G" call; empty: none

    const QString helper = RemoteHostConnection::remoteBridgeProgram();
    QTest::newRow("root login: the helper itself")
        << "root@db1"
        << "" << true << ""
        << "-o BatchMode=yes -o StrictHostKeyChecking=yes -l root -- db1 " + helper << "";
    QTest::newRow("user login: through sudo -n")
        << "alice@db1"
        << "" << true << ""
        << "-o BatchMode=yes -o StrictHostKeyChecking=yes -l alice -- db1 sudo -n " + helper << "";
    QTest::newRow("the configuration's user: root")
        << "db1:2222"
        << "/etc/fleet.conf" << false << "root"
        << "-o StrictHostKeyChecking=ask -F /etc/fleet.conf -p 2222 -- db1 " + helper
        << "-G -F /etc/fleet.conf -p 2222 -- db1";
    QTest::newRow("the configuration's user: another")
        << "db1"
        << "" << false << "bob"
        << "-o StrictHostKeyChecking=ask -- db1 sudo -n " + helper << "-G -- db1";
    QTest::newRow("IPv6 with a port")
        << "[2001:db8::7]:2200"
        << "" << true << "root"
        << "-o BatchMode=yes -o StrictHostKeyChecking=yes -p 2200 -- 2001:db8::7 " + helper
        << "-G -p 2200 -- 2001:db8::7";
}

void TestRemoteHostConnection::sshCommand()
{
    QFETCH(QString, given);
    QFETCH(QString, config);
    QFETCH(bool, batch);
    QFETCH(QString, sshUser);
    QFETCH(QString, options);
    QFETCH(QString, lookup);

    RemoteHostConnection::Settings settings = fake(QStringLiteral("helper"), sshUser);
    settings.target = target(given);
    settings.sshConfig = config;
    settings.batch = batch;
    const RemoteHostConnection connection(settings);
    const QString fixed =
        QStringLiteral("-T -a -x -o ServerAliveInterval=15 -o ServerAliveCountMax=3 "
                       "-o ConnectTimeout=20 ");
    QCOMPARE(connection.sshCommand(),
             QStringList{settings.sshProgram} + (fixed + options).split(' ', Qt::SkipEmptyParts));
    QCOMPARE(connection.sshCommand(), connection.sshCommand()); // ssh -G asked once
    QCOMPARE(calls(), lookup.isEmpty() ? QStringList() : QStringList{lookup});
    QCOMPARE(connection.remoteHost(), given);
}

void TestRemoteHostConnection::environment()
{
    // The window's question program reaches ssh; a batch run's never, not even the caller's.
    qputenv("SSH_ASKPASS", "/tmp/callers-askpass");
    qputenv("OXA_TEST_MARK", "kept");
    RemoteHostConnection::Settings settings = fake(QStringLiteral("helper"));
    settings.askpassProgram = QStringLiteral("/usr/libexec/vell-admin-service/vell-admin-askpass");
    for (const bool batch : {false, true}) {
        settings.batch = batch;
        const QList<QByteArray> environment = RemoteHostConnection(settings).sshEnvironment();
        QCOMPARE(environment.contains("SSH_ASKPASS=" + settings.askpassProgram.toLocal8Bit()),
                 !batch);
        QCOMPARE(environment.contains("SSH_ASKPASS_REQUIRE=force"), !batch);
        QVERIFY(!environment.contains("SSH_ASKPASS=/tmp/callers-askpass"));
        QVERIFY(environment.contains("OXA_TEST_MARK=kept"));
    }
    qunsetenv("SSH_ASKPASS");
    qunsetenv("OXA_TEST_MARK");
}

void TestRemoteHostConnection::throughTheHelper()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    if (::geteuid() != 0)
        QSKIP("the helper trusts its policy only as root");
    QVERIFY(layHost(host));

    RemoteHostConnection connection(fake(QStringLiteral("helper"), QStringLiteral("alice")));
    QVERIFY2(connection.connectHost(), qPrintable(connection.errorText()));
    QVERIFY(connection.isConnected());
    QVERIFY(connection.isPrivileged());
    QCOMPARE(connection.failure(), Failure::None);
    QVERIFY(connection.errorText().isEmpty());
    QVERIFY(calls().last().endsWith(QStringLiteral("-- db1 sudo -n ") +
                                    RemoteHostConnection::remoteBridgeProgram()));

    const ProcessResult status = connection.run(QStringLiteral("/etc/init.d/fakesvc"), {"status"});
    QVERIFY(status.succeeded());
    QCOMPARE(status.standardOutput, QByteArray("fakesvc is running\n"));
    QCOMPARE(connection.readFile(QStringLiteral("/etc/fakesvc.conf"), 100).data,
             QByteArray("setting = 1\n"));
    const ProcessResult started = connection.runChange(QStringLiteral("/etc/init.d/fakesvc"),
                                                       {"start"}, ChildProcess::ChangeWait());
    QVERIFY(started.succeeded());
    QVERIFY(QFile::exists(Marks + QStringLiteral("/started")));
    // A program with a window of its own never starts for a remote host.
    QCOMPARE(connection.startDetached(QStringLiteral("/usr/bin/true"), {}, {}, 0).state,
             DetachedStart::NotStarted);
    // What the policy does not name is refused there, and said so.
    const HostFileContent refused = connection.readFile(QStringLiteral("/etc/shadow"), 100);
    QVERIFY(!refused.ok());
    QVERIFY(connection.isConnected());
}

void TestRemoteHostConnection::lostMidCall_data()
{
    QTest::addColumn<bool>("change");
    QTest::newRow("a read fails naming the host") << false;
    QTest::newRow("a change's outcome is unknown") << true;
}

void TestRemoteHostConnection::lostMidCall()
{
    QFETCH(bool, change);

    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    if (::geteuid() != 0)
        QSKIP("the helper trusts its policy only as root");
    QVERIFY(layHost(host));
    RemoteHostConnection connection(fake(QStringLiteral("helper")));
    std::atomic<int> lost{0};
    QString lostText;
    connection.setLostHandler([&](const QString &text) {
        lostText = text;
        ++lost;
    });
    QVERIFY2(connection.connectHost(), qPrintable(connection.errorText()));

    const QString hangPid = Marks + QStringLiteral("/hang.pid");
    std::future<ProcessResult> call = std::async(std::launch::async, [&] {
        const QString program = QStringLiteral("/etc/init.d/fakesvc");
        return change ? connection.runChange(program, {"hang"}, ChildProcess::ChangeWait())
                      : connection.run(program, {"hang"}, 120000);
    });
    QTRY_VERIFY_WITH_TIMEOUT(pidIn(hangPid) > 0, 30000);
    // The link goes: the helper (ssh's stand-in) is killed while the call waits.
    QVERIFY(::kill(pid_t(pidIn(m_dir.filePath("ssh.pid"))), SIGKILL) == 0);
    const ProcessResult result = call.get();
    ::kill(pid_t(pidIn(hangPid)), SIGKILL);

    QVERIFY(!result.succeeded());
    QVERIFY2(result.failure.startsWith(QStringLiteral("Connection to db1 lost: ")),
             qPrintable(result.failure));
    QCOMPARE(result.leftRunning, change);
    if (change)
        QVERIFY2(result.failure.contains("changed anything is unknown"),
                 qPrintable(result.failure));
    QVERIFY(!connection.isConnected());
    QCOMPARE(connection.failure(), Failure::Lost);
    QTRY_COMPARE(lost.load(), 1);
    QCOMPARE(lostText, connection.errorText());
    const HostFileContent after = connection.readFile(QStringLiteral("/etc/fakesvc.conf"), 100);
    QVERIFY(after.errorText.startsWith(QStringLiteral("Connection to db1 lost: ")));

    // Made again, it serves; the old one's end is no news any more.
    QVERIFY2(connection.reconnect(), qPrintable(connection.errorText()));
    QVERIFY(connection.run(QStringLiteral("/etc/init.d/fakesvc"), {"status"}).succeeded());
    QCOMPARE(lost.load(), 1);
}

void TestRemoteHostConnection::cannotConnect_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<Failure>("failure");
    QTest::addColumn<QString>("says");
    QTest::newRow("helper not installed")
        << "missing" << Failure::NoBridge << "install the package vell-admin-bridge on db1";
    QTest::newRow("refused") << "refused" << Failure::Refused << "db1 refused the connection";
    QTest::newRow("another protocol version")
        << "other-version" << Failure::Protocol << "the bridge version 99";
}

void TestRemoteHostConnection::cannotConnect()
{
    QFETCH(QString, mode);
    QFETCH(Failure, failure);
    QFETCH(QString, says);

    RemoteHostConnection connection(fake(mode));
    bool called = false;
    connection.setLostHandler([&](const QString &) { called = true; });
    QVERIFY(!connection.connectHost());
    QCOMPARE(connection.failure(), failure);
    QVERIFY2(connection.errorText().contains(says), qPrintable(connection.errorText()));
    QVERIFY(!connection.isPrivileged());
    // Every call fails with the same words; nothing is asked of this machine instead.
    const ProcessResult result = connection.run(QStringLiteral("/bin/true"), {});
    QVERIFY(!result.succeeded());
    QCOMPARE(result.failure, connection.errorText());
    QCOMPARE(connection.readFile(QStringLiteral("/etc/hostname"), 100).errorText,
             connection.errorText());
    QVERIFY(!called); // it never served: nothing was lost
}

void TestRemoteHostConnection::batchRunWithoutTheHost()
{
    // The real ssh, to a port on the loopback where nothing listens, with no configuration of
    // the user's: refused, and no report of this machine in its place.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QFile empty(dir.filePath("ssh_config"));
    QVERIFY(empty.open(QIODevice::WriteOnly));
    empty.close();
    QFile script(dir.filePath("script"));
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write("show ServiceServices\n");
    script.close();
    for (const bool json : {true, false}) {
        QProcess console;
        QStringList arguments{"--plugin-dir", HostTestEnvironment::pluginDirectory(),
                              "--host",       "127.0.0.1:1",
                              "--ssh-config", empty.fileName(),
                              "--batch",      script.fileName()};
        if (json)
            arguments << "--json";
        console.start(HostTestEnvironment::programPath(), arguments);
        QVERIFY(console.waitForFinished(120000));
        QCOMPARE(console.exitCode(), 1);
        const QByteArray out = console.readAllStandardOutput();
        if (!json) {
            QVERIFY2(
                out.startsWith("Host: 127.0.0.1:1 (not connected)\nError: 127.0.0.1:1 refused"),
                out.constData());
            continue;
        }
        const QJsonObject report = QJsonDocument::fromJson(out).object();
        QCOMPARE(report.value("host").toString(), QStringLiteral("127.0.0.1:1"));
        QCOMPARE(report.value("connected"), QJsonValue(false));
        QVERIFY2(report.value("error").toString().contains("Connection refused"), out.constData());
        QVERIFY(!report.contains("tree"));
        QCOMPARE(report.value("exitCode").toInt(), 1);
    }
}

OXA_TEST_MAIN(TestRemoteHostConnection)
#include "tst_remotehostconnection.moc"

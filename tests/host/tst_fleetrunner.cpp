#include "fleetrunner.h"
#include "hosttestenvironment.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>

namespace {
/**
 * The child console's stand-in: what it does depends on the host's name. It records its
 * arguments, its standard input and how many of its kind run at once; the first N (the file
 * "barrier") wait until N have started, so a runner that starts fewer at once stalls them.
 */
const char fakeConsole[] = R"(#!/bin/sh
d=$FLEET_DIR
for a; do case $a in --host=*) h=${a#--host=};; esac; done
printf '%s\n' "$@" > "$d/$h.args"
cat > "$d/$h.stdin"
count() {
    flock "$d/lock" sh -c 'n=$(( $(cat "$1/running" 2>/dev/null || echo 0) + $2 ))
        echo $n > "$1/running"
        [ $n -gt $(cat "$1/most" 2>/dev/null || echo 0) ] && echo $n > "$1/most"
        [ $2 -gt 0 ] && echo x >> "$1/started" && wc -l < "$1/started"' sh "$d" "$1"
}
ticket=$(count 1)
want=$(cat "$d/barrier")
i=0
while [ "$ticket" -le "$want" ] && [ $(wc -l < "$d/started") -lt "$want" ]; do
    i=$((i + 1)); [ $i -gt 400 ] && { touch "$d/stalled"; break; }
    sleep 0.05
done
count -1 > /dev/null
case $h in
ok*) printf '{"connected": true, "exitCode": 0, "plugins": [], "tasks": [],
    "tree": [{"id": "S", "title": "Service of %s", "operations": "0x0", "children": []}],
    "steps": [{"line": 1, "step": "perform read-light S", "result": "ok"}]}\n' "$h"; exit 0;;
failing*) printf '{"exitCode": 1, "plugins": [], "tree": [],
    "tasks": [{"description": "Start", "element": "S", "status": 1, "message": "exit code 3"}],
    "steps": [{"line": 1, "step": "perform read-light S", "result": "ok"},
              {"line": 2, "step": "perform start S", "result": "error", "error": "no such"}]}\n'
    exit 1;;
bad*) printf '{"exitCode": 2, "error": "line 1: unknown element", "tree": []}\n'; exit 2;;
unreached*) printf '{"connected": false, "exitCode": 1, "error": "cannot reach %s"}\n' "$h"
    exit 1;;
garbage*) echo 'no report {'; echo "first words" >&2; echo "last words of $h" >&2; exit 3;;
silent*) exit 0;;
crash*) echo "about to crash" >&2; kill -KILL $$;;
big*) head -c 100000 /dev/zero | tr '\0' x; exit 0;;
stubborn*) trap '' TERM; sleep 300 & echo $! > "$d/$h.sleeper"; wait; exit 0;;
sleep*) sleep 300 & echo $! > "$d/$h.sleeper"; wait; exit 0;;
esac
exit 9
)";

bool processGone(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return true;
    // "PID (NAME) STATE ...": a zombie is gone too.
    const QByteArray text = status.readAll();
    const int close = text.lastIndexOf(')');
    return close < 0 || text.mid(close + 2, 1) == "Z";
}
} // namespace

/** Batch runs on several hosts: children, merging, limits and interruption. */
class TestFleetRunner : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void merge_data();
    void merge();
    void childArgumentsAndScript();
    void textReport();
    void refusedScript_data();
    void refusedScript();
    void interrupt_data();
    void interrupt();
    void realConsole();

private:
    HostOptions options(const QStringList &hosts, int maxHosts = 32,
                        const QStringList &extra = {}) const;
    QString readFile(const QString &name) const;
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_child;
    QString m_script;
};

void TestFleetRunner::init()
{
    m_dir.reset(new QTemporaryDir);
    QVERIFY(m_dir->isValid());
    m_child = m_dir->filePath(QStringLiteral("console"));
    QFile child(m_child);
    QVERIFY(child.open(QIODevice::WriteOnly));
    child.write(fakeConsole);
    child.close();
    QVERIFY(child.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    m_script = m_dir->filePath(QStringLiteral("script"));
    QFile script(m_script);
    QVERIFY(script.open(QIODevice::WriteOnly));
    // Larger than a pipe holds: a child that never reads it must not end the runner.
    for (int i = 0; i < 4096; ++i)
        script.write("# a comment line of the script, the same in every child's input\n");
    script.write("perform read-light S\nperform start S\n");
    qputenv("FLEET_DIR", m_dir->path().toLocal8Bit());
}

HostOptions TestFleetRunner::options(const QStringList &hosts, int maxHosts,
                                     const QStringList &extra) const
{
    QStringList arguments{QStringLiteral("vell-admin-service"), QStringLiteral("--batch"), m_script,
                          QStringLiteral("--max-hosts"), QString::number(maxHosts)};
    for (const QString &host : hosts)
        arguments << QStringLiteral("--host") << host;
    HostOptions parsed = HostOptions::parse(arguments + extra);
    [&] { QVERIFY2(parsed.error.isEmpty(), qPrintable(parsed.error)); }();
    // The first children wait for each other: they must run at once.
    QFile barrier(m_dir->filePath(QStringLiteral("barrier")));
    if (barrier.open(QIODevice::WriteOnly))
        barrier.write(QByteArray::number(std::min(maxHosts, int(hosts.size()))));
    return parsed;
}

QString TestFleetRunner::readFile(const QString &name) const
{
    QFile file(m_dir->filePath(name));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

void TestFleetRunner::merge_data()
{
    QTest::addColumn<QStringList>("hosts");
    QTest::addColumn<int>("maxHosts");
    QTest::addColumn<QString>("program");
    // One letter per host: y connected, n not.
    QTest::addColumn<QString>("connected");
    // Per host, a part of its error; empty: no error.
    QTest::addColumn<QStringList>("errors");
    QTest::addColumn<int>("exitCode");

    const QStringList three{QStringLiteral("ok1"), QStringLiteral("ok2"), QStringLiteral("ok3")};
    QTest::newRow("all at once") << three << 32 << QString() << "yyy" << QStringList{"", "", ""}
                                 << 0;
    QTest::newRow("one at a time")
        << three << 1 << QString() << "yyy" << QStringList{"", "", ""} << 0;
    QTest::newRow("two of five at once")
        << QStringList{"ok1", "ok2", "ok3", "ok4", "ok5"} << 2 << QString() << "yyyyy"
        << QStringList{"", "", "", "", ""} << 0;
    QTest::newRow("given order, worst code")
        << QStringList{"failing1", "ok1", "unreached1"} << 32 << QString() << "yyn"
        << QStringList{"", "", "cannot reach unreached1"} << 1;
    QTest::newRow("bad step is worst")
        << QStringList{"unreached1", "bad1", "ok1"} << 2 << QString() << "nyy"
        << QStringList{"cannot reach", "unknown element", ""} << 2;
    QTest::newRow("garbage")
        << QStringList{"garbage1", "ok1"} << 32 << QString() << "ny"
        << QStringList{"exit code 3 without a report; its last messages:\nfirst words\n"
                       "last words of garbage1",
                       ""}
        << 1;
    QTest::newRow("nothing printed") << QStringList{"silent1", "ok1"} << 32 << QString() << "ny"
                                     << QStringList{"exit code 0 without a report", ""} << 1;
    QTest::newRow("killed by a signal")
        << QStringList{"ok1", "crash1"} << 32 << QString() << "yn"
        << QStringList{"", "signal 9 (Killed) without a report; its last messages:\n"
                           "about to crash"}
        << 1;
    QTest::newRow("report too large") << QStringList{"big1", "ok1"} << 32 << QString() << "ny"
                                      << QStringList{"report was larger than 1000 bytes", ""} << 1;
    QTest::newRow("reads no script")
        << QStringList{"ok1", "ok2"} << 32 << QStringLiteral("/bin/true") << "nn"
        << QStringList{"exit code 0 without a report", "exit code 0 without a report"} << 1;
    QTest::newRow("no such program")
        << QStringList{"ok1", "ok2"} << 32 << QStringLiteral("/nonexistent/console") << "nn"
        << QStringList{"could not be started", "could not be started"} << 1;
}

void TestFleetRunner::merge()
{
    QFETCH(QStringList, hosts);
    QFETCH(int, maxHosts);
    QFETCH(QString, program);
    QFETCH(QString, connected);
    QFETCH(QStringList, errors);
    QFETCH(int, exitCode);

    FleetRunner runner(options(hosts, maxHosts), program.isEmpty() ? m_child : program);
    runner.setOutputLimit(1000);
    QCOMPARE(runner.run(), exitCode);
    QVERIFY(runner.errorString().isEmpty());
    const QJsonObject report = runner.report();
    QCOMPARE(report.value(QStringLiteral("exitCode")).toInt(), exitCode);
    const QJsonArray entries = report.value(QStringLiteral("hosts")).toArray();
    QCOMPARE(entries.size(), hosts.size());
    for (int i = 0; i < hosts.size(); ++i) {
        const QJsonObject entry = entries.at(i).toObject();
        QCOMPARE(entry.value(QStringLiteral("host")).toString(), hosts.at(i));
        QCOMPARE(entry.value(QStringLiteral("connected")).toBool(),
                 connected.at(i) == QLatin1Char('y'));
        const QString error = entry.value(QStringLiteral("error")).toString();
        QVERIFY2(errors.at(i).isEmpty() ? error.isEmpty() : error.contains(errors.at(i)),
                 qPrintable(hosts.at(i) + QStringLiteral(": ") + error));
        // The child's own keys come along.
        if (hosts.at(i).startsWith(QLatin1String("ok")) && program.isEmpty()) {
            QCOMPARE(entry.value(QStringLiteral("tree"))
                         .toArray()
                         .first()
                         .toObject()
                         .value(QStringLiteral("title")),
                     QJsonValue(QStringLiteral("Service of ") + hosts.at(i)));
        }
    }
    if (program.isEmpty()) {
        QVERIFY(!QFile::exists(m_dir->filePath(QStringLiteral("stalled"))));
        QCOMPARE(readFile(QStringLiteral("most")).trimmed().toInt(),
                 std::min(maxHosts, int(hosts.size())));
    }
}

void TestFleetRunner::childArgumentsAndScript()
{
    const QStringList hosts{QStringLiteral("ok1"), QStringLiteral("okroot@ok2:2222")};
    FleetRunner runner(
        options(hosts, 32,
                {"--ssh-config", "/etc/fleet config", "--paranoid", "--title", "-x title",
                 "--plugin-dir", "/p1", "--plugin-dir", "/p2", "--change-timeout", "30", "--json"}),
        m_child);
    QCOMPARE(runner.run(), 0);
    for (const QString &host : hosts) {
        QCOMPARE(readFile(host + QStringLiteral(".stdin")), readFile(QStringLiteral("script")));
        QCOMPARE(
            readFile(host + QStringLiteral(".args")).split(QLatin1Char('\n')),
            QStringList({"--batch=-", "--json", "--host=" + host, "--ssh-config=/etc/fleet config",
                         "--plugin-dir=/p1", "--plugin-dir=/p2", "--paranoid",
                         "--change-timeout=30", "--title=-x title", ""}));
    }
}

void TestFleetRunner::textReport()
{
    FleetRunner runner(options({"failing1", "ok1", "unreached1", "garbage1"}), m_child);
    QCOMPARE(runner.run(), 1);
    const QStringList lines = runner.textReport().split(QLatin1Char('\n'));
    const auto indexOf = [&lines](const QString &text) { return lines.indexOf(text); };
    // One block per host in the given order, the child's report indented in it.
    const int failing = indexOf(QStringLiteral("Host failing1: connected, exit code 1"));
    const int ok = indexOf(QStringLiteral("Host ok1: connected, exit code 0"));
    const int unreached = indexOf(QStringLiteral("Host unreached1: not connected, exit code 1"));
    const int garbage = indexOf(QStringLiteral("Host garbage1: not connected, exit code 1"));
    const int summary = indexOf(QStringLiteral("Summary:"));
    QVERIFY(failing >= 0 && failing < ok && ok < unreached && unreached < garbage &&
            garbage < summary);
    QVERIFY(indexOf(QStringLiteral("    line 2: perform start S -- error: no such")) > failing);
    QVERIFY(indexOf(QStringLiteral("    Service of ok1 [S] operations 0x0 ()")) > ok);
    QCOMPARE(indexOf(QStringLiteral("    last words of garbage1")), summary - 1);
    QCOMPARE(lines.mid(summary),
             QStringList({"Summary:", "  failing1: line 2 \"perform start S\" failed: no such",
                          "  failing1: task \"Start\" on S failed: exit code 3",
                          "  unreached1: not reached: cannot reach unreached1",
                          "  garbage1: not reached: the console for this host ended with exit "
                          "code 3 without a report; its last messages: / first words / last "
                          "words of garbage1",
                          "  4 hosts: 1 without failures, 1 with failures, 2 not reached",
                          "Exit code: 1", ""}));
}

void TestFleetRunner::refusedScript_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<QString>("error");
    QTest::newRow("missing") << QByteArray() << "cannot read the script";
    QTest::newRow("bad line") << QByteArray("perform read-light S\nfly S\n") << "line 2:";
}

void TestFleetRunner::refusedScript()
{
    QFETCH(QByteArray, script);
    QFETCH(QString, error);
    HostOptions parsed = options({"ok1", "ok2"});
    QFile::remove(m_script);
    if (!script.isEmpty()) {
        QFile file(m_script);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(script);
    }
    FleetRunner runner(parsed, m_child);
    QCOMPARE(runner.run(), 2);
    QVERIFY2(runner.errorString().contains(error), qPrintable(runner.errorString()));
    QCOMPARE(runner.report().value(QStringLiteral("exitCode")).toInt(), 2);
    // No host was asked.
    QVERIFY(!QFile::exists(m_dir->filePath(QStringLiteral("ok1.args"))));
}

void TestFleetRunner::interrupt_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("raises");
    QTest::newRow("ends on SIGTERM") << "sleep" << 1;
    // A child that ignores SIGTERM (and its own children with it): the second signal kills.
    QTest::newRow("ignores SIGTERM") << "stubborn" << 2;
}

void TestFleetRunner::interrupt()
{
    QFETCH(QString, kind);
    QFETCH(int, raises);
    const QStringList hosts{"ok1", kind + "1", kind + "2", kind + "3"};
    FleetRunner runner(options(hosts, 2), m_child);
    QStringList sleepers;
    QTimer poll;
    connect(&poll, &QTimer::timeout, this, [&] {
        sleepers.clear();
        for (const QString &host : {hosts.at(1), hosts.at(2)})
            sleepers.append(readFile(host + QStringLiteral(".sleeper")).trimmed());
        // Both sleepers run (the second took ok1's place): the third waits for a place.
        if (sleepers.contains(QString()))
            return;
        poll.stop();
        for (int i = 0; i < raises; ++i)
            ::raise(SIGTERM);
    });
    poll.start(20);
    QCOMPARE(runner.run(), 1);
    QVERIFY(!poll.isActive());
    const QJsonObject report = runner.report();
    QCOMPARE(report.value(QStringLiteral("error")).toString(), QStringLiteral("interrupted"));
    const QJsonArray entries = report.value(QStringLiteral("hosts")).toArray();
    QCOMPARE(entries.size(), 4);
    for (int i = 0; i < hosts.size(); ++i) {
        const QJsonObject entry = entries.at(i).toObject();
        QCOMPARE(entry.value(QStringLiteral("connected")).toBool(), i == 0);
        QCOMPARE(entry.value(QStringLiteral("error")).toString().startsWith("interrupted"), i > 0);
    }
    QVERIFY(!QFile::exists(m_dir->filePath(hosts.at(3) + QStringLiteral(".args"))));
    // Nothing the children started is left behind.
    for (const QString &pid : std::as_const(sleepers))
        QTRY_VERIFY(processGone(pid.toLongLong()));
}

void TestFleetRunner::realConsole()
{
    HostTestEnvironment environment;
    QVERIFY(environment.isValid());
    // Every connection fails at once: ssh's "network" is a program that ends (and the
    // address, were it used, is loopback's).
    const QString sshConfig = m_dir->filePath(QStringLiteral("ssh_config"));
    QFile config(sshConfig);
    QVERIFY(config.open(QIODevice::WriteOnly));
    config.write("Host *\n    ProxyCommand /bin/false\n");
    config.close();
    const QStringList common{QStringLiteral("--plugin-dir"), HostTestEnvironment::pluginDirectory(),
                             QStringLiteral("--ssh-config"), sshConfig,
                             QStringLiteral("--batch"),      QStringLiteral("-")};
    const auto console = [&](const QStringList &arguments, QByteArray *out) {
        QProcess process;
        process.setProcessEnvironment(environment.processEnvironment());
        process.start(HostTestEnvironment::programPath(), common + arguments);
        process.closeWriteChannel();
        if (!process.waitForFinished(120000)) {
            process.kill();
            process.waitForFinished();
            return -1;
        }
        *out = process.readAllStandardOutput();
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    };
    QByteArray out;
    console({QStringLiteral("--json"), QStringLiteral("--host"), QStringLiteral("probe@127.0.0.1")},
            &out);
    if (!QJsonDocument::fromJson(out).object().contains(QStringLiteral("connected")))
        QSKIP("the console does not serve a remote host yet: its one-host report has no "
              "\"connected\"");

    QCOMPARE(console({QStringLiteral("--host"), QStringLiteral("fleet-a@127.0.0.1"),
                      QStringLiteral("--host"), QStringLiteral("fleet-b@127.0.0.1")},
                     &out),
             1);
    const QStringList lines = QString::fromLocal8Bit(out).split(QLatin1Char('\n'));
    QVERIFY(lines.contains(QStringLiteral("Host fleet-a@127.0.0.1: not connected, exit code 1")));
    QVERIFY(lines.contains(QStringLiteral("Host fleet-b@127.0.0.1: not connected, exit code 1")));
    QVERIFY(lines.contains(QStringLiteral("  2 hosts: 0 without failures, 0 with failures, "
                                          "2 not reached")));
}

QTEST_GUILESS_MAIN(TestFleetRunner)
#include "tst_fleetrunner.moc"

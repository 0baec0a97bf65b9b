// ChildProcess: real child processes, their output, and what is left when one overstays.

#include "testhost.h"
#include "testscripts.h"

#include <childprocess.h>
#include <servicetasks.h>

#include <QProcess>
#include <QtTest>

#include <atomic>
#include <csignal>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

class TestChildProcess : public QObject
{
    Q_OBJECT

private slots:
    void outputAndExitCode();
    void outputDecoding_data();
    void outputDecoding();
    void standardInputIsClosed();
    void argumentsReachProgramUnchanged();
    void missingProgramDidNotStart();
    void programIsLookedUpOnPath();
    void childStartsClean();
    void backgroundChildHoldingOutputIsNotWaitedFor();
    void crashIsNotFinished();
    void timeoutKillsWholeGroupAndReaps();
    void crashKillsWhatItLeftBehind();
    void floodedOutputIsKeptUpToItsBound();
    void floodThenHangIsBoundedAndKilled();
    void killedChildNotEndingInTimeIsLeftBehind();
    void callerEnvironmentDoesNotReachChildren_data();
    void callerEnvironmentDoesNotReachChildren();
    void childSeesOnlyTheFixedEnvironment();
    void changeIsNeverKilled_data();
    void changeIsNeverKilled();
    void floodedChangeIsBounded();

private:
    ScriptDir m_dir;
};

void TestChildProcess::outputAndExitCode()
{
    const QString script = m_dir.script(
        QStringLiteral("out"), QStringLiteral("echo out1\necho err1 >&2\necho out2\nexit 7\n"));
    const ProcessResult result = ChildProcess::run(script, {});
    QVERIFY(result.finished);
    QCOMPARE(result.exitCode, 7);
    QVERIFY(!result.succeeded());
    QCOMPARE(result.outputLines(), (QStringList{"out1", "out2"}));
    QCOMPARE(result.errorText(), QStringLiteral("err1\n"));
}

void TestChildProcess::outputDecoding_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("empty lines dropped")
        << QByteArray("a\n\n\nb\n") << QStringLiteral("a\n\n\nb\n") << QStringList{"a", "b"};
    QTest::newRow("stops at NUL") << QByteArray("a\nb\0c\nd\n", 8) << QStringLiteral("a\nb")
                                  << QStringList{"a", "b"};
    QTest::newRow("no final line feed")
        << QByteArray("x\ny") << QStringLiteral("x\ny") << QStringList{"x", "y"};
    QTest::newRow("NUL first") << QByteArray("\0abc", 4) << QString() << QStringList{};
}

void TestChildProcess::outputDecoding()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QFETCH(QStringList, lines);
    QCOMPARE(ChildProcess::decodeLocal8Bit(bytes), text);
    QCOMPARE(ChildProcess::splitLines(ChildProcess::decodeLocal8Bit(bytes)), lines);
    ProcessResult result;
    result.standardOutput = bytes;
    QCOMPARE(result.outputLines(), lines);
}

void TestChildProcess::standardInputIsClosed()
{
    // A tool that reads its input must see its end at once, not wait for the time limit.
    const QString script =
        m_dir.script(QStringLiteral("reader"), QStringLiteral("cat\necho done\n"));
    const ProcessResult result = ChildProcess::run(script, {}, 10000);
    QVERIFY(result.finished);
    QCOMPARE(result.outputLines(), QStringList{"done"});
}

void TestChildProcess::argumentsReachProgramUnchanged()
{
    const QString script =
        m_dir.script(QStringLiteral("args"), QStringLiteral("printf '%s\\n' \"$@\"\n"));
    const QStringList arguments{QStringLiteral("two words"), QStringLiteral("$HOME"),
                                QStringLiteral("a;b"), QStringLiteral("*")};
    const ProcessResult result = ChildProcess::run(script, arguments);
    QVERIFY(result.succeeded());
    QCOMPARE(result.outputLines(), arguments);
}

void TestChildProcess::missingProgramDidNotStart()
{
    const ProcessResult result = ChildProcess::run(m_dir.path(QStringLiteral("none")), {});
    QVERIFY(!result.finished);
    QCOMPARE(result.error, int(QProcess::FailedToStart));
}

void TestChildProcess::programIsLookedUpOnPath()
{
    const ProcessResult result =
        ChildProcess::run(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("echo $0")});
    QVERIFY(result.succeeded());
    QCOMPARE(result.outputLines(), QStringList{"sh"});
}

void TestChildProcess::childStartsClean()
{
    // What the console has open or ignores is not the program's business: a descriptor
    // opened without close-on-exec stays behind, an ignored SIGPIPE is default again, and
    // the program leads a session (and process group) of its own.
    const int leaked = ::open("/dev/null", O_RDONLY);
    QVERIFY(leaked > 2);
    const auto previous = std::signal(SIGPIPE, SIG_IGN);
    const QString script = m_dir.script(
        QStringLiteral("clean"),
        QStringLiteral("ls /proc/$$/fd\n"
                       "echo \"ignored $(sed -n 's/^SigIgn:\\t//p' /proc/$$/status)\"\n"
                       "echo \"session $(cut -d' ' -f6 /proc/$$/stat) self $$\"\n"));
    const ProcessResult result = ChildProcess::run(script, {});
    std::signal(SIGPIPE, previous);
    ::close(leaked);
    QVERIFY(result.succeeded());
    const QStringList lines = result.outputLines();
    QVERIFY2(!lines.contains(QString::number(leaked)), qPrintable(lines.join(' ')));
    const QString ignored = lines.filter(QStringLiteral("ignored ")).value(0).mid(8);
    bool ok = false;
    const qulonglong mask = ignored.toULongLong(&ok, 16);
    QVERIFY2(ok, qPrintable(ignored));
    QCOMPARE(mask & (1ULL << (SIGPIPE - 1)), 0ULL);
    const QStringList session = lines.filter(QStringLiteral("session ")).value(0).split(' ');
    QCOMPARE(session.size(), 4);
    QCOMPARE(session.at(1), session.at(3));
}

void TestChildProcess::backgroundChildHoldingOutputIsNotWaitedFor()
{
    // An init script's start leaves a daemon behind that may still hold the pipes: the run
    // ends with the script, not with the daemon.
    const QString script =
        m_dir.script(QStringLiteral("daemonize"),
                     QStringLiteral("sleep 1000 &\necho $! > @DIR@/daemon.pid\necho started\n"));
    const ProcessResult result = ChildProcess::run(script, {}, 5000);
    QVERIFY(result.succeeded());
    QCOMPARE(result.outputLines(), QStringList{"started"});
    const pid_t daemon = m_dir.pidFrom(QStringLiteral("daemon.pid"));
    QVERIFY(daemon > 0);
    ::kill(daemon, SIGKILL);
}

void TestChildProcess::crashIsNotFinished()
{
    const QString script =
        m_dir.script(QStringLiteral("crash"), QStringLiteral("echo partial\nkill -SEGV $$\n"));
    const ProcessResult result = ChildProcess::run(script, {});
    QVERIFY(!result.finished);
    QCOMPARE(result.error, int(QProcess::Crashed));
    QCOMPARE(result.outputLines(), QStringList{"partial"});
}

void TestChildProcess::timeoutKillsWholeGroupAndReaps()
{
    const QString script =
        m_dir.script(QStringLiteral("hang"),
                     QStringLiteral("echo $$ > @DIR@/hang.pid\n"
                                    "sleep 1000 &\necho $! > @DIR@/child.pid\n"
                                    "sh -c 'sleep 1000' &\necho $! > @DIR@/grandparent.pid\n"
                                    "echo started\nwait\n"));
    const ProcessResult result = ChildProcess::run(script, {}, 700);
    QVERIFY(!result.finished);
    QCOMPARE(result.error, int(QProcess::Timedout));
    QCOMPARE(result.outputLines(), QStringList{"started"});
    const pid_t scriptPid = m_dir.pidFrom(QStringLiteral("hang.pid"));
    const pid_t childPid = m_dir.pidFrom(QStringLiteral("child.pid"));
    const pid_t shPid = m_dir.pidFrom(QStringLiteral("grandparent.pid"));
    QVERIFY(scriptPid > 0 && childPid > 0 && shPid > 0);
    QVERIFY(isReaped(scriptPid));
    QVERIFY(waitDead(childPid));
    QVERIFY(waitDead(shPid));
}

void TestChildProcess::crashKillsWhatItLeftBehind()
{
    const QString script =
        m_dir.script(QStringLiteral("crashparent"),
                     QStringLiteral("sleep 1000 &\necho $! > @DIR@/orphan.pid\nkill -SEGV $$\n"));
    const ProcessResult result = ChildProcess::run(script, {}, 10000);
    QVERIFY(!result.finished);
    QCOMPARE(result.error, int(QProcess::Crashed));
    const pid_t orphan = m_dir.pidFrom(QStringLiteral("orphan.pid"));
    QVERIFY(orphan > 0);
    QVERIFY(waitDead(orphan));
}

void TestChildProcess::floodedOutputIsKeptUpToItsBound()
{
    // More than both bounds on both pipes, then a normal end: the program is never blocked
    // on a full pipe, and what is kept is the beginning.
    const QString script = m_dir.script(
        QStringLiteral("flood"), QStringLiteral("echo first\nhead -c %1 /dev/zero | tr '\\000' x\n"
                                                "head -c %2 /dev/zero | tr '\\000' e >&2\nexit 4\n")
                                     .arg(ChildProcess::MaxOutputBytes + 3 * 1024 * 1024)
                                     .arg(ChildProcess::MaxErrorBytes * 4));
    const ProcessResult result = ChildProcess::run(script, {}, 20000);
    QVERIFY(result.finished);
    QCOMPARE(result.exitCode, 4);
    QCOMPARE(result.standardOutput.size(), int(ChildProcess::MaxOutputBytes));
    QVERIFY(result.outputCut);
    QVERIFY(result.standardOutput.startsWith("first\nxxx"));
    QCOMPARE(result.standardError.size(), int(ChildProcess::MaxErrorBytes));
    QVERIFY(result.errorCut);
    QCOMPARE(result.standardError.count('e'), result.standardError.size());

    // A short output is kept whole and not marked.
    const ProcessResult small =
        ChildProcess::run(m_dir.script(QStringLiteral("small"), QStringLiteral("echo a\n")), {});
    QVERIFY(!small.outputCut && !small.errorCut);
}

void TestChildProcess::floodThenHangIsBoundedAndKilled()
{
    // Megabytes, then a hang: the limit still ends it, nothing of it is left running, and
    // the output held stays within its bound however long the program wrote.
    const QString script = m_dir.script(
        QStringLiteral("floodhang"),
        QStringLiteral("echo $$ > @DIR@/floodhang.pid\n"
                       "head -c %1 /dev/zero | tr '\\000' y\n"
                       "touch @DIR@/flooded\nsleep 1000 &\necho $! > @DIR@/sleeper.pid\n"
                       "yes endless\n")
            .arg(ChildProcess::MaxOutputBytes + 1024 * 1024));
    // The limit leaves the flood time to end even on a busy machine or in a sanitizer build,
    // where 33 MiB through the pipe take several seconds.
    const ProcessResult result = ChildProcess::run(script, {}, 15000);
    QVERIFY(!result.finished);
    QCOMPARE(result.error, int(QProcess::Timedout));
    QVERIFY(result.standardOutput.size() <= ChildProcess::MaxOutputBytes);
    QVERIFY2(QFile::exists(m_dir.path(QStringLiteral("flooded"))),
             "the program was blocked before its flood ended");
    QVERIFY(result.outputCut);
    QVERIFY(isReaped(m_dir.pidFrom(QStringLiteral("floodhang.pid"))));
    const pid_t sleeper = m_dir.pidFrom(QStringLiteral("sleeper.pid"));
    QVERIFY(sleeper > 0);
    QVERIFY(waitDead(sleeper));
}

void TestChildProcess::killedChildNotEndingInTimeIsLeftBehind()
{
    // A child stuck in the kernel cannot be made here; a bound of 0 gives up on a killed
    // child as soon as the kill is sent, as the bound does on a stuck one.
    const QString script =
        m_dir.script(QStringLiteral("stuck"),
                     QStringLiteral("echo $$ > @DIR@/stuck.pid\n"
                                    "sleep 1000 &\necho $! > @DIR@/member.pid\nwait\n"));
    const int previous = ChildProcess::setKillWaitMs(0);
    const ProcessResult result = ChildProcess::run(script, {}, 500);
    ChildProcess::setKillWaitMs(previous);
    QVERIFY(!result.finished);
    QCOMPARE(result.error, int(QProcess::Timedout));
    const pid_t leader = m_dir.pidFrom(QStringLiteral("stuck.pid"));
    const pid_t member = m_dir.pidFrom(QStringLiteral("member.pid"));
    QVERIFY(leader > 0 && member > 0);
    // The group was killed all the same; the leader, once it has ended, is reaped by a later
    // start, which does not wait for it.
    QVERIFY(waitDead(member));
    QTRY_VERIFY_WITH_TIMEOUT(
        (ChildProcess::run(QStringLiteral("true"), {}).succeeded() && isReaped(leader)), 10000);
}

void TestChildProcess::callerEnvironmentDoesNotReachChildren_data()
{
    QTest::addColumn<QString>("what");
    QTest::newRow("package check") << QStringLiteral("existPackage");
    QTest::newRow("program by name") << QStringLiteral("dpkg-query");
    QTest::newRow("only on the caller's PATH") << QStringLiteral("oxa-only-for-the-caller");
}

void TestChildProcess::callerEnvironmentDoesNotReachChildren()
{
    QFETCH(QString, what);
    // A caller (su, sudo -E) with a directory anybody may write to first on its PATH, and
    // programs of the console's names in it.
    QTemporaryDir evil;
    QVERIFY(evil.isValid());
    QVERIFY(::chmod(QFile::encodeName(evil.path()).constData(), 0777) == 0);
    const QString mark = evil.filePath(QStringLiteral("ran"));
    for (const QString &name :
         {QStringLiteral("dpkg-query"), QStringLiteral("oxa-only-for-the-caller")}) {
        QFile tool(evil.filePath(name));
        QVERIFY(tool.open(QIODevice::WriteOnly));
        tool.write(
            QStringLiteral("#!/bin/sh\ntouch '%1'\necho 'ii dpkg'\n").arg(mark).toLocal8Bit());
        tool.close();
        QVERIFY(tool.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                    QFile::ReadOther | QFile::ExeOther));
    }
    const ScopedEnvironment path("PATH", QFile::encodeName(evil.path()) + ':' + qgetenv("PATH"));

    if (what == QLatin1String("existPackage")) {
        // dpkg is essential: the machine's own database knows it.
        QVERIFY(ControlServiceTask::existPackage(QStringLiteral("dpkg")));
    } else if (what == QLatin1String("dpkg-query")) {
        const ProcessResult result = ChildProcess::run(what, {QStringLiteral("--version")});
        QVERIFY(result.succeeded());
        QVERIFY2(result.outputText().contains(QLatin1String("dpkg-query")),
                 qPrintable(result.outputText()));
    } else {
        const ProcessResult result = ChildProcess::run(what, {});
        QVERIFY(!result.finished);
        QCOMPARE(result.error, int(QProcess::FailedToStart));
        QVERIFY(ChildProcess::findProgram(what).isEmpty());
    }
    QVERIFY(!QFile::exists(mark));
}

void TestChildProcess::childSeesOnlyTheFixedEnvironment()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    // What the program was started with, byte for byte (a shell adds PWD to what it passes on).
    QVERIFY(host.writeTool(QStringLiteral("oxa-print-env"),
                           QStringLiteral("tr '\\000' '\\n' < /proc/$$/environ")));
    const ScopedEnvironment foo("FOO", "bar");
    const ScopedEnvironment preload("LD_PRELOAD", "");
    const ScopedEnvironment locale("LC_ALL", "de_DE.ISO-8859-1");
    const ScopedEnvironment path("PATH", "/nowhere");
    const ProcessResult result = ChildProcess::run(QStringLiteral("oxa-print-env"), {});
    QVERIFY2(result.succeeded(), qPrintable(result.errorText()));
    QStringList variables = result.outputLines();
    variables.sort();
    QCOMPARE(variables,
             (QStringList{QStringLiteral("LANG=C.UTF-8"), QStringLiteral("LC_ALL=C.UTF-8"),
                          QStringLiteral("PATH=/usr/sbin:/usr/bin:/sbin:/bin")}));
}

void TestChildProcess::changeIsNeverKilled_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<int>("readLimit");
    QTest::addColumn<int>("changeLimit");
    QTest::addColumn<bool>("stopWhenTold"); // give up waiting once told it still runs
    QTest::addColumn<int>("told");          // how often it was said to still run
    QTest::addColumn<bool>("leftRunning");
    QTest::addColumn<int>("exitCode"); // -1: did not finish
    QTest::addColumn<QStringList>("output");
    QTest::addColumn<bool>("goesOn"); // "done" appears afterwards: it was not killed

    // Goes on once the test says so (never later than in 20 s), whatever it prints then and
    // whoever stopped reading it; "done" shows it ended by itself.
    const QString late =
        QStringLiteral("echo early\necho $$ > @DIR@/change.pid\n"
                       "for i in $(seq 400); do [ -e @DIR@/go ] && break; sleep 0.05; done\n"
                       "echo late\necho late >&2\ntouch @DIR@/done\n");
    QTest::newRow("ends before the read limit")
        << "echo quick\n"
        << 5000 << 60000 << false << 0 << false << 0 << QStringList{"quick"} << false;
    QTest::newRow("ends after the read limit")
        << "sleep 0.4\necho out\necho err >&2\nexit 3\n"
        << 100 << 60000 << false << 1 << false << 3 << QStringList{"out"} << false;
    QTest::newRow("wait stopped: left running")
        << late << 100 << 60000 << true << 1 << true << -1 << QStringList{"early"} << true;
    QTest::newRow("change limit: left running")
        << late << 50 << 300 << false << 1 << true << -1 << QStringList{"early"} << true;
    QTest::newRow("crash: what it started goes on")
        << "sh -c 'sleep 0.4; touch @DIR@/done' &\nkill -SEGV $$\n"
        << 5000 << 60000 << false << 0 << false << -1 << QStringList{} << true;
}

void TestChildProcess::changeIsNeverKilled()
{
    QFETCH(QString, body);
    QFETCH(int, readLimit);
    QFETCH(int, changeLimit);
    QFETCH(bool, stopWhenTold);
    QFETCH(bool, leftRunning);
    QFETCH(int, exitCode);
    QFETCH(bool, goesOn);

    ChildProcess::setReadLimitMs(readLimit);
    ChildProcess::setChangeLimitMs(changeLimit);
    std::atomic<bool> stop{false};
    int told = 0;
    ChildProcess::ChangeWait wait;
    wait.stop = &stop;
    const QString pidFile = m_dir.path(QStringLiteral("change.pid"));
    wait.stillRunning = [&] {
        ++told;
        // Once it has written its first line (the wait's end must not depend on the pace of a
        // busy machine).
        for (int waited = 0; leftRunning && !QFile::exists(pidFile) && waited < 10000; waited += 10)
            QThread::msleep(10);
        if (stopWhenTold)
            stop = true;
    };
    const ProcessResult result =
        ChildProcess::runChange(m_dir.script(QStringLiteral("change"), body), {}, wait);
    ChildProcess::setReadLimitMs(ChildProcess::DefaultTimeoutMs);
    ChildProcess::setChangeLimitMs(ChildProcess::DefaultChangeLimitMs);

    QTEST(told, "told");
    QCOMPARE(result.leftRunning, leftRunning);
    QCOMPARE(result.finished, exitCode >= 0);
    if (exitCode >= 0)
        QCOMPARE(result.exitCode, exitCode);
    else
        QCOMPARE(result.error, int(leftRunning ? QProcess::Timedout : QProcess::Crashed));
    QTEST(result.outputLines(), "output");
    if (exitCode == 3)
        QCOMPARE(result.errorText(), QStringLiteral("err\n"));
    QFile go(m_dir.path(QStringLiteral("go")));
    QVERIFY(go.open(QIODevice::WriteOnly));
    go.close();
    if (goesOn) {
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(m_dir.path(QStringLiteral("done"))), 10000);
        // Nobody waited for its end, and still it is no zombie of the console.
        const pid_t pid = pid_t(m_dir.read(QStringLiteral("change.pid")).trimmed().toInt());
        if (pid > 0)
            QTRY_VERIFY_WITH_TIMEOUT(isReaped(pid), 10000);
    }
    for (const char *name : {"done", "change.pid", "go"})
        QFile::remove(m_dir.path(QString::fromLatin1(name)));
}

void TestChildProcess::floodedChangeIsBounded()
{
    // Written to a file rather than a pipe, a change's flood still keeps its beginning only.
    const QString script = m_dir.script(
        QStringLiteral("floodchange"),
        QStringLiteral("echo first\nhead -c %1 /dev/zero | tr '\\000' x\necho done >&2\n")
            .arg(ChildProcess::MaxOutputBytes + 3 * 1024 * 1024));
    const ProcessResult result = ChildProcess::runChange(script, {}, ChildProcess::ChangeWait());
    QVERIFY(result.succeeded());
    QVERIFY(result.outputCut);
    QCOMPARE(result.standardOutput.size(), int(ChildProcess::MaxOutputBytes));
    QVERIFY(result.standardOutput.startsWith("first\nxxx"));
    QCOMPARE(result.errorText(), QStringLiteral("done\n"));
    QVERIFY(!result.errorCut);
}

OXA_TEST_MAIN(TestChildProcess)
#include "tst_childprocess.moc"

// ChildProcess: real child processes, their output, and what is left when one overstays.

#include "testscripts.h"

#include <childprocess.h>

#include <QProcess>
#include <QtTest>

#include <csignal>

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
    void crashIsNotFinished();
    void timeoutKillsWholeGroupAndReaps();

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

QTEST_GUILESS_MAIN(TestChildProcess)
#include "tst_childprocess.moc"

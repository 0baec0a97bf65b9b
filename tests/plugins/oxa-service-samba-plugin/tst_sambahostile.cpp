// Samba's heavy read, the plain configuration file shown as text, against a host that
// misbehaves: a configuration of 100 MB, a line of a megabyte, NUL bytes and bytes that are
// no text, and a status script that prints megabytes and then hangs.

#include "hostiletext.h"
#include "sambatestfixture.h"
#include "taskrunner.h"
#include "testhost.h"

#include <childprocess.h>
#include <element.h>
#include <elementdata.h>
#include <module.h>
#include <readlimits.h>
#include <taskmessages.h>

#include <QPlainTextEdit>
#include <QTest>
#include <QTimer>

#include <csignal>

namespace {

const QString script = QStringLiteral("/etc/init.d/smbd");
const QString config = QStringLiteral("/etc/samba/smb.conf");

} // namespace

class TestSambaHostile : public QObject
{
    Q_OBJECT

private slots:
    void configurationBeyondTheTextBounds_data();
    void configurationBeyondTheTextBounds();
    void garbageAndNulBytes();
    void statusScriptFloodsThenHangs();
};

void TestSambaHostile::configurationBeyondTheTextBounds_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<TaskDescription::TaskStatus>("status");
    QTest::addColumn<QString>("firstLine");
    QTest::addColumn<QString>("lastLine");

    const QByteArray line("   path = /srv/share/with/a/path/of/some/length\n");
    const QByteArray huge = HostileText::filledTo("[global]\n", line);
    // Shown: the first lines that fit, each whole.
    QTest::newRow("100 MB") << huge << TaskDescription::TaskStatusWarning
                            << QStringLiteral("[global]") << QString::fromLatin1(line).chopped(1);
    const QByteArray word(1024 * 1024, 'x');
    QTest::newRow("one line of a megabyte")
        << "[global]\n" + word + "\n[homes]\n"
        << TaskDescription::TaskStatusWarning << QStringLiteral("[global]")
        << QStringLiteral("[homes]");
    QTest::newRow("megabyte line, NUL after it")
        << "[global]\n" + word + "\n[homes]\n" + QByteArray(1, '\0') + "[printers]\n"
        << TaskDescription::TaskStatusWarning << QStringLiteral("[global]")
        << QStringLiteral("[homes]");
    QTest::newRow("at the bounds")
        << "[a]\n" + QByteArray(ReadLimits::maxTextLineLength, 'y') + "\n[b]"
        << TaskDescription::TaskStatusDone << QStringLiteral("[a]") << QStringLiteral("[b]");
}

void TestSambaHostile::configurationBeyondTheTextBounds()
{
    QFETCH(QByteArray, content);
    QFETCH(TaskDescription::TaskStatus, status);
    QFETCH(QString, firstLine);
    QFETCH(QString, lastLine);

    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(host.writeStatusScript(script, 0));
    QVERIFY(host.writeFile(config, content));
    const int size = content.size();
    content.clear();
    content.squeeze();

    Samba samba;
    const TaskReport report = samba.readHeavy();
    QCOMPARE(report.status, status);
    QCOMPARE(report.message, status == TaskDescription::TaskStatusWarning
                                 ? ReadLimits::textCut(config)
                                 : QString());
    const QString text = samba.text();
    QVERIFY(text.size() <= ReadLimits::maxTextBytes);
    QVERIFY(text.size() <= size);
    const QStringList lines = text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.first(), firstLine);
    QCOMPARE(lines.last(), lastLine);
    for (const QString &shown : lines)
        QVERIFY(shown.size() <= ReadLimits::maxTextLineLength);
}

void TestSambaHostile::garbageAndNulBytes()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(host.writeStatusScript(script, 0));
    static const char raw[] = "[global]\n\xff\xfe\xc3\x28 = \x01\x02\n\0after the NUL\n";
    QVERIFY(host.writeFile(config, QByteArray(raw, sizeof(raw) - 1)));

    Samba samba;
    const TaskReport report = samba.readHeavy();
    QCOMPARE(report.status, TaskDescription::TaskStatusDone);
    QCOMPARE(samba.text(), QString::fromLocal8Bit("[global]\n\xff\xfe\xc3\x28 = \x01\x02\n"));
}

void TestSambaHostile::statusScriptFloodsThenHangs()
{
    // Megabytes of output, then a hang: the read limit still ends the script and whatever it
    // started, the output held stays bounded, and the GUI thread goes on meanwhile.
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(host.writeScript(script,
                             QStringLiteral("echo $$ > /var/tmp/smbd.pid\n"
                                            "yes 'smbd is flooding its output' | head -c 50000000\n"
                                            "sleep 1000 &\necho $! > /var/tmp/sleep.pid\n"
                                            "yes 'and never ends'\n")));
    QVERIFY(host.writeFile(config, "[global]\n"));

    Samba samba;
    bool sawItRunning = false;
    QTimer probe;
    probe.setInterval(200);
    connect(&probe, &QTimer::timeout, [&] {
        QFile pidFile(QStringLiteral("/var/tmp/sleep.pid"));
        if (!sawItRunning && pidFile.open(QIODevice::ReadOnly)) {
            const int pid = pidFile.readAll().trimmed().toInt();
            sawItRunning = pid > 0 && ::kill(pid, 0) == 0;
        }
    });
    probe.start();
    TaskRunner runner;
    const TaskReport report = runner.perform(new ServiceSambaReadHeavyTask(samba.element), 90000);
    probe.stop();
    QCOMPARE(report.status, TaskDescription::TaskStatusFailed);
    QCOMPARE(report.message, TaskMessages::notFinished(script, 2));
    QVERIFY2(sawItRunning, "the GUI thread did not run while the script was running");

    QFile pidFile(QStringLiteral("/var/tmp/sleep.pid"));
    QVERIFY(pidFile.open(QIODevice::ReadOnly));
    const int sleeper = pidFile.readAll().trimmed().toInt();
    QVERIFY(sleeper > 0);
    // Killed with its group; an orphan's zombie is init's to reap.
    for (int i = 0; i < 100 && ::kill(sleeper, 0) == 0; ++i) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(sleeper));
        if (stat.open(QIODevice::ReadOnly) && stat.readAll().contains(") Z "))
            break;
        QTest::qWait(50);
    }
    QFile stat(QStringLiteral("/proc/%1/stat").arg(sleeper));
    QVERIFY(!stat.open(QIODevice::ReadOnly) || stat.readAll().contains(") Z "));
    // Nothing of the failed read reached the widget.
    QCOMPARE(samba.text(), QString());
}

OXA_TEST_MAIN(TestSambaHostile)
#include "tst_sambahostile.moc"

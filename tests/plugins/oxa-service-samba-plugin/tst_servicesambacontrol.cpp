// Samba's control actions through the console's task flow: what runs, and what the element and
// its widget learn.

#include "sambatestfixture.h"
#include "servicetaskcheck.h"
#include "taskrunner.h"
#include "testhost.h"

#include <elementdata.h>

#include <QTest>

namespace {

const QString script = QStringLiteral("/etc/init.d/smbd");
const QString callsFile = QStringLiteral("/var/tmp/smbd.calls");

/// An LSB-style init script that logs every run (one line a child process) and keeps the
/// state in a file; "start" fails with exit 1 while /var/tmp/smbd.broken exists.
const char statefulScript[] = "echo \"$@\" >> /var/tmp/smbd.calls\n"
                              "case \"$1\" in\n"
                              "status) [ -f /var/tmp/smbd.running ] && exit 0; exit 3 ;;\n"
                              "start) [ -f /var/tmp/smbd.broken ] && exit 1\n"
                              "       touch /var/tmp/smbd.running ;;\n"
                              "stop) rm -f /var/tmp/smbd.running ;;\n"
                              "esac\n";

} // namespace

class TestServiceSambaControl : public QObject
{
    Q_OBJECT

private slots:
    void controlRunsActionAndOneStateRead_data();
    void controlRunsActionAndOneStateRead();
};

void TestServiceSambaControl::controlRunsActionAndOneStateRead_data()
{
    QTest::addColumn<int>("operation");
    QTest::addColumn<bool>("runningBefore");
    QTest::addColumn<bool>("broken");
    QTest::addColumn<TaskDescription::TaskStatus>("status");
    QTest::addColumn<bool>("runningAfter");

    QTest::newRow("start") << int(OperationStart) << false << false
                           << TaskDescription::TaskStatusDone << true;
    QTest::newRow("stop") << int(OperationStop) << true << false << TaskDescription::TaskStatusDone
                          << false;
    // A failed start may have done part of its work: its state is read all the same.
    QTest::newRow("failed start") << int(OperationStart) << false << true
                                  << TaskDescription::TaskStatusFailed << false;
}

void TestServiceSambaControl::controlRunsActionAndOneStateRead()
{
    QFETCH(int, operation);
    QFETCH(bool, runningBefore);
    QFETCH(bool, broken);
    QFETCH(TaskDescription::TaskStatus, status);
    QFETCH(bool, runningAfter);

    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(host.writeScript(script, QString::fromLatin1(statefulScript)));
    QVERIFY(host.writeFile(QStringLiteral("/etc/samba/smb.conf"), "[global]\n"));
    if (runningBefore)
        QVERIFY(host.writeFile(QStringLiteral("/var/tmp/smbd.running"), ""));
    if (broken)
        QVERIFY(host.writeFile(QStringLiteral("/var/tmp/smbd.broken"), ""));

    // As the console holds it: the widget shows Samba, whose state was read before.
    Samba samba;
    samba.module->setData(QStringLiteral("administrator"), true);
    samba.element->serviceData()->setState(runningBefore);
    QVERIFY(samba.element->isOperationAvailable(OperationType(operation)));
    TaskRunner runner;
    samba.element->performOperation(OperationType(operation), nullptr, 0);
    QVERIFY(runner.waitForIdle());

    // Two child processes: the action and one state read; one task.
    const QString action =
        operation == OperationStart ? QStringLiteral("start") : QStringLiteral("stop");
    QCOMPARE(ServiceTaskCheck::recordedCalls(callsFile), (QStringList{action, "status"}));
    QCOMPARE(runner.reports().size(), 1);
    QCOMPARE(runner.reports().first().status, status);
    // The element and the widget take the new state from that read.
    QCOMPARE(samba.element->serviceData()->state(), runningAfter);
    const QString text = runningAfter ? ServiceLightElementData::runningText()
                                      : ServiceLightElementData::stoppedText();
    QCOMPARE(samba.stateLabel(), QStringLiteral("<b>%1</b>").arg(text));
}

OXA_TEST_MAIN(TestServiceSambaControl)
#include "tst_servicesambacontrol.moc"

// The CUPS plug-in against the real CUPS scheduler, started through its init script in a
// disposable host: a printer and a class added with lpadmin, shown by the console as lpstat
// lists them, and the state after each control action compared with the init script's status.

#include "consolebatch.h"
#include "systemtest.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QMap>
#include <QRegularExpression>
#include <QTest>
#include <QThread>

namespace {

const QString initScriptName = QStringLiteral("cups");
const QString printerName = QStringLiteral("sysb-office");
const QString className = QStringLiteral("sysb-team");

/// A printer or class row of the printers view: its kind, and its directives by name.
struct QueueRow
{
    QString kind;
    QMap<QString, QString> directives;
};

/**
 * The queue rows (printer and class sections) of the printers view by queue name (the row's
 * value, trimmed); the other top-level rows, the files' own directives, as "name value" in
 * @p others.
 */
QMap<QString, QueueRow> queueRows(const QJsonObject &widget, QStringList *others)
{
    static const QStringList queueKinds{QStringLiteral("Printer"), QStringLiteral("DefaultPrinter"),
                                        QStringLiteral("Class"), QStringLiteral("DefaultClass")};
    QMap<QString, QueueRow> queues;
    const QJsonArray rows = ConsoleBatch::widgetChild(widget, QStringLiteral("_printersTreeView"))
                                .value(QStringLiteral("rows"))
                                .toArray();
    for (const QJsonValue &value : rows) {
        const QJsonObject row = value.toObject();
        const QJsonArray cells = row.value(QStringLiteral("cells")).toArray();
        QueueRow queue;
        queue.kind = cells.at(0).toString();
        if (!queueKinds.contains(queue.kind)) {
            *others << queue.kind + cells.at(1).toString();
            continue;
        }
        for (const QJsonValue &child : row.value(QStringLiteral("children")).toArray()) {
            const QJsonArray directive = child.toObject().value(QStringLiteral("cells")).toArray();
            queue.directives.insert(directive.at(0).toString(),
                                    directive.at(1).toString().trimmed());
        }
        queues.insert(cells.at(1).toString().trimmed(), queue);
    }
    return queues;
}

/**
 * What lpstat -p says of each queue: "printer NAME is idle.  enabled since ..." or
 * "printer NAME disabled since ...", as NAME -> enabled.
 */
QMap<QString, bool> lpstatQueues(const QString &output)
{
    static const QRegularExpression line(QStringLiteral("^printer (\\S+) (.*)$"));
    QMap<QString, bool> queues;
    for (const QString &text : output.split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch match = line.match(text);
        if (match.hasMatch())
            queues.insert(match.captured(1),
                          !match.captured(2).startsWith(QLatin1String("disabled")));
    }
    return queues;
}

} // namespace

class TestSystemCups : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void printerAndClassAsLpstatListsThem();
    void stateAfterEachControlAction_data();
    void stateAfterEachControlAction();

private:
    bool runConsole(const QByteArray &script, ConsoleBatchResult *result);
    /// Waits until the scheduler answers its clients (its socket comes after its pid file).
    bool waitForScheduler();

    std::unique_ptr<SystemHost> m_host;
    std::unique_ptr<ConsoleBatch> m_console;
    QString m_lpstatPrinters;
    QString m_lpstatClasses;
};

void TestSystemCups::initTestCase()
{
    m_host = std::make_unique<SystemHost>();
    OXA_REQUIRE_SYSTEM_HOST(
        *m_host, (QStringList{QStringLiteral("cups-daemon"), QStringLiteral("cups-client"),
                              QStringLiteral("cups-common")}));
    const QStringList plugins =
        SystemTest::pluginFiles({QStringLiteral("services"), QStringLiteral("cups")});
    QCOMPARE(plugins.size(), 2);
    m_console = std::make_unique<ConsoleBatch>(plugins);
    QVERIFY2(m_console->isValid(), qPrintable(m_console->errorString()));
    // The control task would run the printer tool as the user who called sudo.
    m_console->unsetEnvironment(QStringLiteral("SUDO_USER"));

    QCOMPARE(SystemTest::initStatus(initScriptName), 3);
    QCOMPARE(SystemTest::initScript(initScriptName, QStringLiteral("start")), 0);
    QCOMPARE(SystemTest::waitForStatus(initScriptName, true), 0);
    QVERIFY(waitForScheduler());

    // A printer that prints nowhere, and a class holding it.
    const ToolRun printer = SystemTest::runTool(
        QStringLiteral("lpadmin"),
        {QStringLiteral("-p"), printerName, QStringLiteral("-E"), QStringLiteral("-v"),
         QStringLiteral("file:///dev/null"), QStringLiteral("-m"), QStringLiteral("raw"),
         QStringLiteral("-D"), QStringLiteral("Office printer")});
    QVERIFY2(printer.succeeded(), qPrintable(printer.describe()));
    const ToolRun queueClass =
        SystemTest::runTool(QStringLiteral("lpadmin"),
                            {QStringLiteral("-p"), printerName, QStringLiteral("-c"), className});
    QVERIFY2(queueClass.succeeded(), qPrintable(queueClass.describe()));

    // What the scheduler itself says, while it runs.
    const ToolRun printers = SystemTest::runTool(QStringLiteral("lpstat"), {QStringLiteral("-p")});
    QVERIFY2(printers.succeeded(), qPrintable(printers.describe()));
    m_lpstatPrinters = printers.text();
    // Our class alone: the machine may have classes of its own.
    const ToolRun classes =
        SystemTest::runTool(QStringLiteral("lpstat"), {QStringLiteral("-c"), className});
    QVERIFY2(classes.succeeded(), qPrintable(classes.describe()));
    m_lpstatClasses = classes.text();
}

void TestSystemCups::cleanupTestCase()
{
    if (m_host && m_host->isAvailable())
        SystemTest::initScript(initScriptName, QStringLiteral("stop"));
    m_console.reset();
    m_host.reset();
}

bool TestSystemCups::runConsole(const QByteArray &script, ConsoleBatchResult *result)
{
    return SystemTest::runConsole(*m_console, script, result);
}

bool TestSystemCups::waitForScheduler()
{
    QElapsedTimer timer;
    timer.start();
    ToolRun run;
    do {
        run = SystemTest::runTool(QStringLiteral("lpstat"), {QStringLiteral("-r")});
        if (run.succeeded() && run.text().contains(QLatin1String("scheduler is running")))
            return true;
        QThread::msleep(200);
    } while (timer.elapsed() < 20000);
    qWarning("%s", qPrintable(run.describe()));
    return false;
}

void TestSystemCups::printerAndClassAsLpstatListsThem()
{
    // cupsd writes printers.conf and classes.conf some 30 s after a change, or when it
    // stops: the console reads those files, so stop the scheduler through it first.
    ConsoleBatchResult run;
    QVERIFY(runConsole("perform read-light ServiceServices\n"
                       "perform stop ServiceCups\n"
                       "show ServiceCupsPrinters\n",
                       &run));
    QCOMPARE(SystemTest::waitForStatus(initScriptName, false), 3);
    QCOMPARE(SystemTest::elementTextState(run.report, QStringLiteral("ServiceCups")),
             QStringLiteral("stopped"));
    QVERIFY(QFile::exists(QStringLiteral("/etc/cups/printers.conf")));
    QVERIFY(QFile::exists(QStringLiteral("/etc/cups/classes.conf")));

    QStringList others;
    const QMap<QString, QueueRow> shown = queueRows(
        ConsoleBatch::widgetOf(run.report, QStringLiteral("ServiceCupsPrinters")), &others);
    // printers.conf also holds, at its top, the id the next queue gets; the view shows the
    // files' top-level directives beside the queues, as they stand in the file.
    QCOMPARE(others.size(), 1);
    QVERIFY2(others.first().startsWith(QLatin1String("NextPrinterId ")),
             qPrintable(others.first()));
    const QMap<QString, bool> listed = lpstatQueues(m_lpstatPrinters);
    // Both queues, each of the kind lpadmin made, enabled or not as lpstat said.
    QCOMPARE(shown.keys(), listed.keys());
    // Ours among them (the machine may have queues of its own, shown as lpstat lists them).
    QVERIFY(shown.contains(printerName) && shown.contains(className));
    QCOMPARE(shown.value(printerName).kind, QStringLiteral("Printer"));
    QCOMPARE(shown.value(className).kind, QStringLiteral("Class"));
    for (auto it = listed.cbegin(); it != listed.cend(); ++it) {
        const QString state = shown.value(it.key()).directives.value(QStringLiteral("State"));
        QCOMPARE(state, it.value() ? QStringLiteral("Idle") : QStringLiteral("Stopped"));
    }
    const QMap<QString, QString> printer = shown.value(printerName).directives;
    QCOMPARE(printer.value(QStringLiteral("Info")), QStringLiteral("Office printer"));
    QCOMPARE(printer.value(QStringLiteral("DeviceURI")), QStringLiteral("file:///dev/null"));
    QCOMPARE(printer.value(QStringLiteral("Accepting")), QStringLiteral("Yes"));
    // CUPS's own way: a class lpadmin adds starts disabled and rejecting jobs, although its
    // one member is enabled (lpstat -p: "disabled since ...").
    QCOMPARE(listed.value(className), false);
    const QMap<QString, QString> queueClass = shown.value(className).directives;
    QCOMPARE(queueClass.value(QStringLiteral("Accepting")), QStringLiteral("No"));
    // Its members as lpstat -c lists them ("members of class NAME:" then one per line).
    QCOMPARE(queueClass.value(QStringLiteral("Printer")), printerName);
    QCOMPARE(m_lpstatClasses.split(QLatin1Char('\n'), Qt::SkipEmptyParts)
                 .mid(1)
                 .replaceInStrings(QRegularExpression(QStringLiteral("^\\s+")), QString()),
             QStringList{printerName});
}

void TestSystemCups::stateAfterEachControlAction_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<bool>("running");
    // In this order, from the stopped scheduler the printers test left.
    QTest::newRow("start") << QStringLiteral("start") << true;
    QTest::newRow("restart") << QStringLiteral("restart") << true;
    QTest::newRow("reload") << QStringLiteral("reload") << true;
    QTest::newRow("stop") << QStringLiteral("stop") << false;
}

void TestSystemCups::stateAfterEachControlAction()
{
    QFETCH(QString, operation);
    QFETCH(bool, running);

    ConsoleBatchResult run;
    QVERIFY(runConsole(QStringLiteral("perform read-light ServiceServices\n"
                                      "perform %1 ServiceCups\n"
                                      "show ServiceCups\n")
                           .arg(operation)
                           .toUtf8(),
                       &run));
    QCOMPARE(SystemTest::waitForStatus(initScriptName, running) == 0, running);
    QCOMPARE(SystemTest::elementRunning(run.report, QStringLiteral("ServiceCups")), running);
    const QString state = running ? QStringLiteral("running") : QStringLiteral("stopped");
    QCOMPARE(SystemTest::elementTextState(run.report, QStringLiteral("ServiceCups")), state);
    const QJsonObject widget = ConsoleBatch::widgetOf(run.report, QStringLiteral("ServiceCups"));
    QCOMPARE(ConsoleBatch::widgetChild(widget, QStringLiteral("_stateLabel"))
                 .value(QStringLiteral("text"))
                 .toString(),
             QStringLiteral("<b>%1</b>").arg(state));
    if (running) {
        // The scheduler came back with the queues the files hold.
        QVERIFY(waitForScheduler());
        const ToolRun printers =
            SystemTest::runTool(QStringLiteral("lpstat"), {QStringLiteral("-p")});
        QCOMPARE(lpstatQueues(printers.text()), lpstatQueues(m_lpstatPrinters));
    } else {
        QVERIFY(SystemTest::waitForProcessesGone(QStringLiteral("cupsd")));
    }
}

OXA_SYSTEM_TEST_MAIN(TestSystemCups)
#include "tst_systemcups.moc"

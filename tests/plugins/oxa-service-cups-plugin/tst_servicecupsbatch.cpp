#include "consolebatch.h"
#include "hostlayout.h"
#include "testhost.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QTest>

/**
 * The console in batch mode on a disposable host with the Services root and the CUPS plug-in:
 * the operations the CUPS element offers, clearing the spool, the configuration and printers
 * widgets.
 */
class TestServiceCupsBatch : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void clearCacheThroughTheConsole();
    void demoHostShowsCups();

private:
    ConsoleBatch m_console{
        {QStringLiteral(OXA_SERVICES_PLUGIN_FILE), QStringLiteral(OXA_CUPS_PLUGIN_FILE)}};
};

void TestServiceCupsBatch::initTestCase()
{
    QVERIFY2(m_console.isValid(), qPrintable(m_console.errorString()));
    // The control task runs the printer tool as the user who called sudo: here, the desktop
    // user the demo's test host gets.
    m_console.setEnvironment(QStringLiteral("SUDO_USER"), QStringLiteral("oxa-desk"));
    m_console.unsetEnvironment(QStringLiteral("PKEXEC_UID"));
}

void TestServiceCupsBatch::clearCacheThroughTheConsole()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(host.installPackage(QStringLiteral("cups-common"), QStringLiteral("2.4.2-3")));
    QVERIFY(host.writeStatusScript(QStringLiteral("/etc/init.d/cups"), 0));
    QVERIFY(host.removePath(QStringLiteral("/etc/cups")));
    QVERIFY(host.writeFile(QStringLiteral("/etc/cups/cupsd.conf"),
                           "Listen localhost:631\n<Location />\n  Order allow,deny\n"
                           "</Location>\n"));
    QVERIFY(host.writeFile(QStringLiteral("/etc/cups/printers.conf"),
                           "<Printer Office>\nInfo Office\nOpPolicy default\n</Printer>\n"));
    QVERIFY(host.removePath(QStringLiteral("/var/spool/cups")));
    QVERIFY(host.writeFile(QStringLiteral("/var/spool/cups/c00001"), "control"));
    QVERIFY(host.writeFile(QStringLiteral("/var/spool/cups/d00001-001"), "document"));
    QVERIFY(host.writeFile(QStringLiteral("/var/spool/cups/tmp/kept"), "kept"));

    const ConsoleBatchResult run = m_console.run("perform read-light ServiceServices\n"
                                                 "show ServiceCups\n"
                                                 "perform clear-cache ServiceCups\n"
                                                 "show ServiceCupsPrinters\n");
    QVERIFY2(run.ran, run.errors.constData());
    QVERIFY2(run.exitCode == 0, run.errors.constData());
    QVERIFY2(run.reportParsed, run.errors.constData());
    const QJsonObject &report = run.report;

    const QJsonArray tree = report.value(QStringLiteral("tree")).toArray();
    const QJsonObject root = ConsoleBatch::childById(tree, QStringLiteral("ServiceServices"));
    const QJsonObject cups = ConsoleBatch::childById(
        root.value(QStringLiteral("children")).toArray(), QStringLiteral("ServiceCups"));
    QCOMPARE(cups.value(QStringLiteral("title")).toString(), QStringLiteral("Cups"));
    QCOMPARE(cups.value(QStringLiteral("data")).toObject().value(QStringLiteral("textState")),
             QJsonValue(QStringLiteral("running")));
    // Clear cache is bit 63, offered to the administrator whatever the state.
    QCOMPARE(cups.value(QStringLiteral("operations")).toString(),
             QStringLiteral("0x800000000001E070"));
    const QJsonObject printers = ConsoleBatch::childById(
        cups.value(QStringLiteral("children")).toArray(), QStringLiteral("ServiceCupsPrinters"));
    QCOMPARE(printers.value(QStringLiteral("title")).toString(), QStringLiteral("Cups printers"));
    QCOMPARE(printers.value(QStringLiteral("operations")).toString(), QStringLiteral("0x60"));

    QStringList tasks;
    for (const QJsonValue &task : report.value(QStringLiteral("tasks")).toArray()) {
        QCOMPARE(task.toObject().value(QStringLiteral("status")).toInt(), 2);
        tasks << task.toObject().value(QStringLiteral("description")).toString();
    }
    QCOMPARE(tasks.value(0), QStringLiteral("Read Cups service state"));
    QVERIFY(tasks.contains(QStringLiteral("Read Cups service configuration")));
    QVERIFY(tasks.contains(QStringLiteral("Clear CUPS cache")));
    QVERIFY(tasks.contains(QStringLiteral("Read Cups printers information")));
    // The step is its own answer: no question was asked for it.
    const QJsonObject clearStep = report.value(QStringLiteral("steps")).toArray().at(2).toObject();
    QCOMPARE(clearStep.value(QStringLiteral("step")).toString(),
             QStringLiteral("perform clear-cache ServiceCups"));
    QVERIFY(!clearStep.contains(QStringLiteral("questions")));

    // The spool's files went; its subdirectory stayed.
    QCOMPARE(QDir(QStringLiteral("/var/spool/cups"))
                 .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{QStringLiteral("tmp")});
    QVERIFY(QFile::exists(QStringLiteral("/var/spool/cups/tmp/kept")));

    const QJsonArray widgets = report.value(QStringLiteral("widgets")).toArray();
    QCOMPARE(widgets.size(), 2);
    const QJsonObject general = widgets.at(0).toObject();
    QCOMPARE(general.value(QStringLiteral("class")).toString(),
             QStringLiteral("ServiceCupsElementWidget"));
    QCOMPARE(general.value(QStringLiteral("windowTitle")).toString(), QStringLiteral("General"));
    QCOMPARE(ConsoleBatch::widgetChild(general, QStringLiteral("_stateLabel"))
                 .value(QStringLiteral("text")),
             QJsonValue(QStringLiteral("<b>running</b>")));
    QCOMPARE(ConsoleBatch::widgetChild(general, QStringLiteral("_clearPushButton"))
                 .value(QStringLiteral("text")),
             QJsonValue(QStringLiteral("Clear")));
    QStringList rows = ConsoleBatch::firstCells(
        ConsoleBatch::widgetChild(general, QStringLiteral("_confTreeView")));
    rows.sort();
    QCOMPARE(rows, (QStringList{QStringLiteral("Listen"), QStringLiteral("cupsd.conf")}));

    const QJsonObject printersWidget = widgets.at(1).toObject();
    QCOMPARE(printersWidget.value(QStringLiteral("class")).toString(),
             QStringLiteral("ServiceCupsPrintersElementWidget"));
    const QJsonObject view =
        ConsoleBatch::widgetChild(printersWidget, QStringLiteral("_printersTreeView"));
    QCOMPARE(view.value(QStringLiteral("headers")).toArray().size(), 5);
    const QJsonArray printerRows = view.value(QStringLiteral("rows")).toArray();
    QCOMPARE(printerRows.size(), 1);
    const QJsonArray cells =
        printerRows.first().toObject().value(QStringLiteral("cells")).toArray();
    QCOMPARE(cells.at(0).toString(), QStringLiteral("Printer"));
    QCOMPARE(cells.at(1).toString(), QStringLiteral(" Office"));
    QCOMPARE(cells.at(2).toString(), QStringLiteral(" default"));
}

/*
 * The demo host as demo/run-demo lays it out: its scheduler files, spool and printer tool,
 * read, cleared and started through the console.
 */
void TestServiceCupsBatch::demoHostShowsCups()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QString layoutError;
    QVERIFY2(HostLayout::apply(host, QStringLiteral(OXA_DEMO_LAYOUT), &layoutError),
             qPrintable(layoutError));
    QVERIFY(QFile::exists(QStringLiteral("/var/spool/cups/c00017")));
    QVERIFY(host.addUser(QStringLiteral("oxa-desk")));

    const ConsoleBatchResult run = m_console.run("perform read-light ServiceServices\n"
                                                 "show ServiceCups\n"
                                                 "show ServiceCupsPrinters\n"
                                                 "perform control ServiceCups\n"
                                                 "perform clear-cache ServiceCups\n");
    const QJsonObject &report = run.report;
    QVERIFY2(run.reportParsed, run.errors.constData());
    QVERIFY2(run.exitCode == 0, run.errors.constData());
    for (const QJsonValue &task : report.value(QStringLiteral("tasks")).toArray()) {
        const QJsonObject object = task.toObject();
        QVERIFY2(object.value(QStringLiteral("status")).toInt() == 2,
                 qPrintable(object.value(QStringLiteral("message")).toString()));
    }
    const QJsonArray widgets = report.value(QStringLiteral("widgets")).toArray();
    QCOMPARE(widgets.size(), 2);
    QStringList printers = ConsoleBatch::firstCells(
        ConsoleBatch::widgetChild(widgets.at(1).toObject(), QStringLiteral("_printersTreeView")));
    printers.removeDuplicates();
    printers.sort();
    QCOMPARE(printers, (QStringList{QStringLiteral("Class"), QStringLiteral("DefaultPrinter"),
                                    QStringLiteral("NextPrinterId"), QStringLiteral("Printer")}));
    QCOMPARE(QDir(QStringLiteral("/var/spool/cups")).entryList(QDir::Files), QStringList());
    QVERIFY(QFile::exists(QStringLiteral("/var/spool/cups/tmp/README")));
    // The stand-in printer tool ran as the desktop user (detached: give it a moment).
    const QString log = QStringLiteral("/var/tmp/vell-demo/vell-admin-printer.log");
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(log), 20000);
    QFile file(log);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("vell-admin-printer started by oxa-desk \n"));
}

OXA_TEST_MAIN(TestServiceCupsBatch)
#include "tst_servicecupsbatch.moc"

#include "hostlayout.h"
#include "testhost.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

QJsonObject childById(const QJsonArray &elements, const QString &id)
{
    for (const QJsonValue &value : elements) {
        if (value.toObject().value(QStringLiteral("id")).toString() == id)
            return value.toObject();
    }
    return QJsonObject();
}

QJsonObject widgetChild(const QJsonObject &widget, const QString &objectName)
{
    for (const QJsonValue &value : widget.value(QStringLiteral("children")).toArray()) {
        const QJsonObject child = value.toObject();
        if (child.value(QStringLiteral("objectName")).toString() == objectName)
            return child;
        const QJsonObject below = widgetChild(child, objectName);
        if (!below.isEmpty())
            return below;
    }
    return QJsonObject();
}

/// The first cells of an item view's top-level rows.
QStringList firstCells(const QJsonObject &view)
{
    QStringList cells;
    for (const QJsonValue &row : view.value(QStringLiteral("rows")).toArray())
        cells << row.toObject().value(QStringLiteral("cells")).toArray().first().toString();
    return cells;
}

} // namespace

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
    /// Runs the console on @p steps; the JSON report, or an empty object with @p errors set.
    QJsonObject runConsole(const QByteArray &steps, QByteArray *errors, int *exitCode);

    QTemporaryDir m_plugins;
};

QJsonObject TestServiceCupsBatch::runConsole(const QByteArray &steps, QByteArray *errors,
                                             int *exitCode)
{
    QProcess console;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.remove(QStringLiteral("VELL_ADMIN_PLUGIN_PATH"));
    environment.remove(QStringLiteral("SUDO_USER"));
    console.setProcessEnvironment(environment);
    console.start(QStringLiteral(OXA_CONSOLE_FILE),
                  {QStringLiteral("--plugin-dir"), m_plugins.path(), QStringLiteral("--batch"),
                   QStringLiteral("-"), QStringLiteral("--json")});
    *exitCode = -1;
    if (!console.waitForStarted())
        return QJsonObject();
    console.write(steps);
    console.closeWriteChannel();
    if (!console.waitForFinished(120000) || console.exitStatus() != QProcess::NormalExit)
        return QJsonObject();
    *errors = console.readAllStandardError();
    *exitCode = console.exitCode();
    QJsonParseError parseError;
    const QByteArray output = console.readAllStandardOutput();
    const QJsonObject report = QJsonDocument::fromJson(output, &parseError).object();
    if (parseError.error != QJsonParseError::NoError) {
        *errors += "\nthe report is no JSON document: " + output;
        *exitCode = -1;
    }
    return report;
}

void TestServiceCupsBatch::initTestCase()
{
    // Only these libraries: the build's directory also holds every other plug-in.
    QVERIFY(m_plugins.isValid());
    for (const char *file : {OXA_SERVICES_PLUGIN_FILE, OXA_CUPS_PLUGIN_FILE}) {
        const QString path = QString::fromLocal8Bit(file);
        QVERIFY(QFile::link(path, m_plugins.filePath(QFileInfo(path).fileName())));
    }
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

    QProcess console;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.remove(QStringLiteral("VELL_ADMIN_PLUGIN_PATH"));
    console.setProcessEnvironment(environment);
    console.start(QStringLiteral(OXA_CONSOLE_FILE),
                  {QStringLiteral("--plugin-dir"), m_plugins.path(), QStringLiteral("--batch"),
                   QStringLiteral("-"), QStringLiteral("--json")});
    QVERIFY(console.waitForStarted());
    console.write("perform read-light ServiceServices\n"
                  "show ServiceCups\n"
                  "perform clear-cache ServiceCups\n"
                  "show ServiceCupsPrinters\n");
    console.closeWriteChannel();
    QVERIFY(console.waitForFinished(120000));
    const QByteArray errors = console.readAllStandardError();
    QCOMPARE(console.exitStatus(), QProcess::NormalExit);
    QVERIFY2(console.exitCode() == 0, errors.constData());

    QJsonParseError error;
    const QJsonObject report =
        QJsonDocument::fromJson(console.readAllStandardOutput(), &error).object();
    QCOMPARE(error.error, QJsonParseError::NoError);

    const QJsonArray tree = report.value(QStringLiteral("tree")).toArray();
    const QJsonObject root = childById(tree, QStringLiteral("ServiceServices"));
    const QJsonObject cups =
        childById(root.value(QStringLiteral("children")).toArray(), QStringLiteral("ServiceCups"));
    QCOMPARE(cups.value(QStringLiteral("title")).toString(), QStringLiteral("Cups"));
    QCOMPARE(cups.value(QStringLiteral("data")).toObject().value(QStringLiteral("textState")),
             QJsonValue(QStringLiteral("running")));
    // Clear cache is bit 63, offered to the administrator whatever the state.
    QCOMPARE(cups.value(QStringLiteral("operations")).toString(),
             QStringLiteral("0x800000000001E070"));
    const QJsonObject printers = childById(cups.value(QStringLiteral("children")).toArray(),
                                           QStringLiteral("ServiceCupsPrinters"));
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
    QCOMPARE(widgetChild(general, QStringLiteral("_stateLabel")).value(QStringLiteral("text")),
             QJsonValue(QStringLiteral("<b>running</b>")));
    QCOMPARE(widgetChild(general, QStringLiteral("_clearPushButton")).value(QStringLiteral("text")),
             QJsonValue(QStringLiteral("Clear")));
    QStringList rows = firstCells(widgetChild(general, QStringLiteral("_confTreeView")));
    rows.sort();
    QCOMPARE(rows, (QStringList{QStringLiteral("Listen"), QStringLiteral("cupsd.conf")}));

    const QJsonObject printersWidget = widgets.at(1).toObject();
    QCOMPARE(printersWidget.value(QStringLiteral("class")).toString(),
             QStringLiteral("ServiceCupsPrintersElementWidget"));
    const QJsonObject view = widgetChild(printersWidget, QStringLiteral("_printersTreeView"));
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

    QByteArray errors;
    int exitCode = -1;
    const QJsonObject report = runConsole("perform read-light ServiceServices\n"
                                          "show ServiceCups\n"
                                          "show ServiceCupsPrinters\n"
                                          "perform control ServiceCups\n"
                                          "perform clear-cache ServiceCups\n",
                                          &errors, &exitCode);
    QVERIFY2(exitCode == 0, errors.constData());
    for (const QJsonValue &task : report.value(QStringLiteral("tasks")).toArray()) {
        const QJsonObject object = task.toObject();
        QVERIFY2(object.value(QStringLiteral("status")).toInt() == 2,
                 qPrintable(object.value(QStringLiteral("message")).toString()));
    }
    const QJsonArray widgets = report.value(QStringLiteral("widgets")).toArray();
    QCOMPARE(widgets.size(), 2);
    QStringList printers =
        firstCells(widgetChild(widgets.at(1).toObject(), QStringLiteral("_printersTreeView")));
    printers.removeDuplicates();
    printers.sort();
    QCOMPARE(printers, (QStringList{QStringLiteral("Class"), QStringLiteral("DefaultPrinter"),
                                    QStringLiteral("NextPrinterId"), QStringLiteral("Printer")}));
    QCOMPARE(QDir(QStringLiteral("/var/spool/cups")).entryList(QDir::Files), QStringList());
    QVERIFY(QFile::exists(QStringLiteral("/var/spool/cups/tmp/README")));
    // The stand-in printer tool ran (detached: give it a moment).
    QTRY_VERIFY_WITH_TIMEOUT(
        QFile::exists(QStringLiteral("/var/lib/vell-demo/vell-admin-printer.log")), 20000);
}

OXA_TEST_MAIN(TestServiceCupsBatch)
#include "tst_servicecupsbatch.moc"

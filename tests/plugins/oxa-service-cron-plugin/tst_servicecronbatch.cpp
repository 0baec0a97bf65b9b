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

/// The first cells of @p rows, children indented by two blanks.
QStringList rowTexts(const QJsonArray &rows, const QString &indent = QString())
{
    QStringList texts;
    for (const QJsonValue &value : rows) {
        const QJsonObject row = value.toObject();
        texts << indent + row.value(QStringLiteral("cells")).toArray().first().toString();
        texts << rowTexts(row.value(QStringLiteral("children")).toArray(),
                          indent + QStringLiteral("  "));
    }
    return texts;
}

} // namespace

/**
 * The console in batch mode on a disposable host with the Services root and the Cron
 * plug-in: the element, its tree of the crontab and job directories, and the control task.
 */
class TestServiceCronBatch : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void showCron();
    void controlWithoutTheProgram();
    void demoHostShowsCron();

private:
    bool prepare(TestHost &host);
    QJsonObject runConsole(const QByteArray &steps, QByteArray *errors, int *exitCode);

    QTemporaryDir m_plugins;
};

void TestServiceCronBatch::initTestCase()
{
    // Only these libraries: the build's directory also holds every other plug-in.
    QVERIFY(m_plugins.isValid());
    for (const char *file : {OXA_SERVICES_PLUGIN_FILE, OXA_CRON_PLUGIN_FILE}) {
        const QString path = QString::fromLocal8Bit(file);
        QVERIFY(QFile::link(path, m_plugins.filePath(QFileInfo(path).fileName())));
    }
}

QJsonObject TestServiceCronBatch::runConsole(const QByteArray &steps, QByteArray *errors,
                                             int *exitCode)
{
    QProcess console;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.remove(QStringLiteral("VELL_ADMIN_PLUGIN_PATH"));
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
    return QJsonDocument::fromJson(console.readAllStandardOutput()).object();
}

bool TestServiceCronBatch::prepare(TestHost &host)
{
    return host.installPackage(QStringLiteral("cron"), QStringLiteral("3.0pl1-162")) &&
           host.writeStatusScript(QStringLiteral("/etc/init.d/cron"), 0) &&
           host.writeFile(QStringLiteral("/etc/crontab"),
                          "SHELL=/bin/sh\n# m h dom mon dow user command\n"
                          "0 3\t* * *\troot /usr/local/bin/backup # nightly\n") &&
           host.removePath(QStringLiteral("/etc/cron.d")) &&
           host.writeFile(QStringLiteral("/etc/cron.d/backup"), "@daily root true\n") &&
           host.removePath(QStringLiteral("/etc/cron.hourly"));
}

void TestServiceCronBatch::showCron()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(prepare(host));

    QByteArray errors;
    int exitCode = -1;
    const QJsonObject report =
        runConsole("perform read-light ServiceServices\nshow ServiceCron\n", &errors, &exitCode);
    QVERIFY2(exitCode == 0, errors.constData());

    const QJsonObject root = childById(report.value(QStringLiteral("tree")).toArray(),
                                       QStringLiteral("ServiceServices"));
    const QJsonObject cron =
        childById(root.value(QStringLiteral("children")).toArray(), QStringLiteral("ServiceCron"));
    QCOMPARE(cron.value(QStringLiteral("title")).toString(), QStringLiteral("Cron"));
    QCOMPARE(cron.value(QStringLiteral("operations")).toString(), QStringLiteral("0x16030"));

    QStringList tasks;
    for (const QJsonValue &task : report.value(QStringLiteral("tasks")).toArray()) {
        QCOMPARE(task.toObject().value(QStringLiteral("status")).toInt(), 2);
        tasks << task.toObject().value(QStringLiteral("description")).toString();
    }
    QVERIFY(tasks.contains(QStringLiteral("Read Cron service state")));
    QVERIFY(tasks.contains(QStringLiteral("Read Cron service configuration")));

    const QJsonArray widgets = report.value(QStringLiteral("widgets")).toArray();
    QCOMPARE(widgets.size(), 1);
    const QJsonObject widget = widgets.first().toObject();
    QCOMPARE(widget.value(QStringLiteral("class")).toString(),
             QStringLiteral("ServiceCronElementWidget"));
    QCOMPARE(widget.value(QStringLiteral("windowTitle")).toString(), QStringLiteral("Cron"));
    QCOMPARE(widgetChild(widget, QStringLiteral("_stateLabel")).value(QStringLiteral("text")),
             QJsonValue(QStringLiteral("<b>running</b>")));
    QCOMPARE(widgetChild(widget, QStringLiteral("_confGroupBox")).value(QStringLiteral("title")),
             QJsonValue(QStringLiteral("Configuration: /etc/crontab")));
    const QJsonObject view = widgetChild(widget, QStringLiteral("_configTreeView"));
    QCOMPARE(view.value(QStringLiteral("headers")).toArray(), QJsonArray{QStringLiteral("Name")});
    const QStringList rows = rowTexts(view.value(QStringLiteral("rows")).toArray());
    // The job with a trailing comment runs, so it shows whole, tabs as blanks.
    QVERIFY2(rows.contains(QStringLiteral("  0 3 * * * root /usr/local/bin/backup # nightly")),
             qPrintable(rows.join(QLatin1Char('\n'))));
    QVERIFY(!rows.join(QLatin1Char('\n')).contains(QStringLiteral("SHELL")));
    QVERIFY(rows.contains(QStringLiteral("/etc/cron.d")));
    QVERIFY(rows.contains(QStringLiteral("  backup")));
    QVERIFY(rows.contains(QStringLiteral("/etc/cron.hourly")));
    QVERIFY(!rows.contains(QStringLiteral("/etc/cron.weekly")));
}

void TestServiceCronBatch::controlWithoutTheProgram()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(prepare(host));

    QByteArray errors;
    int exitCode = -1;
    const QJsonObject report = runConsole("perform control ServiceCron\n", &errors, &exitCode);
    QCOMPARE(exitCode, 1);
    bool seen = false;
    for (const QJsonValue &value : report.value(QStringLiteral("tasks")).toArray()) {
        const QJsonObject task = value.toObject();
        if (task.value(QStringLiteral("description")).toString() !=
            QLatin1String("Control Cron service"))
            continue;
        seen = true;
        QCOMPARE(task.value(QStringLiteral("status")).toInt(), 1);
        QCOMPARE(task.value(QStringLiteral("message")).toString(),
                 QStringLiteral("Package \"vell-admin-cron\" is not installed in system.\n"
                                "To install it, run \"apt-get install vell-admin-cron\"."));
    }
    QVERIFY(seen);
}

/*
 * The demo host as demo/run-demo lays it out: its crontab and job directories read, and the
 * stand-in cron administration program started through the console.
 */
void TestServiceCronBatch::demoHostShowsCron()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QString layoutError;
    QVERIFY2(HostLayout::apply(host, QStringLiteral(OXA_DEMO_LAYOUT), &layoutError),
             qPrintable(layoutError));

    QByteArray errors;
    int exitCode = -1;
    const QJsonObject report = runConsole("perform read-light ServiceServices\n"
                                          "show ServiceCron\n"
                                          "perform control ServiceCron\n",
                                          &errors, &exitCode);
    QVERIFY2(exitCode == 0, errors.constData());
    const QJsonObject widget = report.value(QStringLiteral("widgets")).toArray().first().toObject();
    const QStringList rows = rowTexts(widgetChild(widget, QStringLiteral("_configTreeView"))
                                          .value(QStringLiteral("rows"))
                                          .toArray());
    QVERIFY2(
        rows.contains(QStringLiteral(
            "  0 3 * * * root /usr/local/bin/backup-shares # nightly copy of the Samba shares")),
        qPrintable(rows.join(QLatin1Char('\n'))));
    QVERIFY(rows.contains(QStringLiteral("  certificates")));
    QVERIFY(rows.contains(QStringLiteral("  disk-report")));
    // The stand-in program ran (detached: give it a moment).
    QTRY_VERIFY_WITH_TIMEOUT(
        QFile::exists(QStringLiteral("/var/lib/vell-demo/vell-admin-cron.log")), 20000);
}

OXA_TEST_MAIN(TestServiceCronBatch)
#include "tst_servicecronbatch.moc"

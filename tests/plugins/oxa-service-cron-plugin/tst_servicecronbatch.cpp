#include "consolebatch.h"
#include "hostlayout.h"
#include "testhost.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QTest>

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

    ConsoleBatch m_console{
        {QStringLiteral(OXA_SERVICES_PLUGIN_FILE), QStringLiteral(OXA_CRON_PLUGIN_FILE)}};
};

void TestServiceCronBatch::initTestCase()
{
    QVERIFY2(m_console.isValid(), qPrintable(m_console.errorString()));
    // The control task runs the program as the user who called sudo: here, the desktop user
    // the demo's test host gets.
    m_console.setEnvironment(QStringLiteral("SUDO_USER"), QStringLiteral("oxa-desk"));
    m_console.unsetEnvironment(QStringLiteral("PKEXEC_UID"));
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

    const ConsoleBatchResult run =
        m_console.run("perform read-light ServiceServices\nshow ServiceCron\n");
    const QJsonObject &report = run.report;
    QVERIFY2(run.exitCode == 0, run.errors.constData());

    const QJsonObject root = ConsoleBatch::childById(report.value(QStringLiteral("tree")).toArray(),
                                                     QStringLiteral("ServiceServices"));
    const QJsonObject cron = ConsoleBatch::childById(
        root.value(QStringLiteral("children")).toArray(), QStringLiteral("ServiceCron"));
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
    QCOMPARE(ConsoleBatch::widgetChild(widget, QStringLiteral("_stateLabel"))
                 .value(QStringLiteral("text")),
             QJsonValue(QStringLiteral("<b>running</b>")));
    QCOMPARE(ConsoleBatch::widgetChild(widget, QStringLiteral("_confGroupBox"))
                 .value(QStringLiteral("title")),
             QJsonValue(QStringLiteral("Configuration: /etc/crontab")));
    const QJsonObject view = ConsoleBatch::widgetChild(widget, QStringLiteral("_configTreeView"));
    QCOMPARE(view.value(QStringLiteral("headers")).toArray(), QJsonArray{QStringLiteral("Name")});
    const QStringList rows = ConsoleBatch::rowTexts(view.value(QStringLiteral("rows")).toArray());
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

    const ConsoleBatchResult run = m_console.run("perform control ServiceCron\n");
    const QJsonObject &report = run.report;
    QCOMPARE(run.exitCode, 1);
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
    QVERIFY(host.addUser(QStringLiteral("oxa-desk")));

    const ConsoleBatchResult run = m_console.run("perform read-light ServiceServices\n"
                                                 "show ServiceCron\n"
                                                 "perform control ServiceCron\n");
    const QJsonObject &report = run.report;
    QVERIFY2(run.exitCode == 0, run.errors.constData());
    const QJsonObject widget = report.value(QStringLiteral("widgets")).toArray().first().toObject();
    const QStringList rows =
        ConsoleBatch::rowTexts(ConsoleBatch::widgetChild(widget, QStringLiteral("_configTreeView"))
                                   .value(QStringLiteral("rows"))
                                   .toArray());
    QVERIFY2(
        rows.contains(QStringLiteral(
            "  0 3 * * * root /usr/local/bin/backup-shares # nightly copy of the Samba shares")),
        qPrintable(rows.join(QLatin1Char('\n'))));
    QVERIFY(rows.contains(QStringLiteral("  certificates")));
    QVERIFY(rows.contains(QStringLiteral("  disk-report")));
    // The stand-in program ran as the desktop user (detached: give it a moment).
    const QString log = QStringLiteral("/var/tmp/vell-demo/vell-admin-cron.log");
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(log), 20000);
    QFile file(log);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("vell-admin-cron started by oxa-desk \n"));
}

OXA_TEST_MAIN(TestServiceCronBatch)
#include "tst_servicecronbatch.moc"

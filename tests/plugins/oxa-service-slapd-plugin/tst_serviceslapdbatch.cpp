#include "consolebatch.h"
#include "testhost.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QTest>

/**
 * The console in batch mode on a disposable host with the Services root and the Slapd
 * plug-in: the element and its view of the configuration directory.
 */
class TestServiceSlapdBatch : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void showSlapd();
    void crashingStatusFails();

private:
    bool prepare(TestHost &host);

    ConsoleBatch m_console{
        {QStringLiteral(OXA_SERVICES_PLUGIN_FILE), QStringLiteral(OXA_SLAPD_PLUGIN_FILE)}};
};

void TestServiceSlapdBatch::initTestCase()
{
    QVERIFY2(m_console.isValid(), qPrintable(m_console.errorString()));
}

bool TestServiceSlapdBatch::prepare(TestHost &host)
{
    return host.installPackage(QStringLiteral("slapd"), QStringLiteral("2.5.13+dfsg-5")) &&
           host.removePath(QStringLiteral("/etc/ldap/slapd.d")) &&
           host.writeFile(QStringLiteral("/etc/ldap/slapd.d/cn=config.ldif"), "dn: cn=config\n") &&
           host.mkdir(QStringLiteral("/etc/ldap/slapd.d/cn=config"));
}

void TestServiceSlapdBatch::showSlapd()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(prepare(host));
    QVERIFY(host.writeStatusScript(QStringLiteral("/etc/init.d/slapd"), 3));

    const ConsoleBatchResult run =
        m_console.run("perform read-light ServiceServices\nshow ServiceSlapd\n");
    const QJsonObject &report = run.report;
    QVERIFY2(run.exitCode == 0, run.errors.constData());

    const QJsonObject root = ConsoleBatch::childById(report.value(QStringLiteral("tree")).toArray(),
                                                     QStringLiteral("ServiceServices"));
    const QJsonObject slapd = ConsoleBatch::childById(
        root.value(QStringLiteral("children")).toArray(), QStringLiteral("ServiceSlapd"));
    QCOMPARE(slapd.value(QStringLiteral("title")).toString(), QStringLiteral("Slapd"));
    // Stopped: reads and start.
    QCOMPARE(slapd.value(QStringLiteral("operations")).toString(), QStringLiteral("0x1030"));

    for (const QJsonValue &task : report.value(QStringLiteral("tasks")).toArray())
        QCOMPARE(task.toObject().value(QStringLiteral("status")).toInt(), 2);

    const QJsonArray widgets = report.value(QStringLiteral("widgets")).toArray();
    QCOMPARE(widgets.size(), 1);
    const QJsonObject widget = widgets.first().toObject();
    QCOMPARE(widget.value(QStringLiteral("class")).toString(),
             QStringLiteral("ServiceSlapdElementWidget"));
    QCOMPARE(widget.value(QStringLiteral("windowTitle")).toString(), QStringLiteral("Slapd"));
    QCOMPARE(ConsoleBatch::widgetChild(widget, QStringLiteral("_stateLabel"))
                 .value(QStringLiteral("text")),
             QJsonValue(QStringLiteral("<b>stopped</b>")));
    QCOMPARE(ConsoleBatch::widgetChild(widget, QStringLiteral("_confGroupBox"))
                 .value(QStringLiteral("title")),
             QJsonValue(QStringLiteral("Configuration: /etc/ldap/slapd.d")));
    // The model lists the directory on its own time: whatever it shows already lies in it.
    const QJsonObject view = ConsoleBatch::widgetChild(widget, QStringLiteral("_configTreeView"));
    QVERIFY(!view.isEmpty());
    const QStringList names{QStringLiteral("cn=config"), QStringLiteral("cn=config.ldif")};
    for (const QJsonValue &row : view.value(QStringLiteral("rows")).toArray()) {
        const QString name =
            row.toObject().value(QStringLiteral("cells")).toArray().first().toString();
        QVERIFY2(names.contains(name), qPrintable(name));
    }
}

void TestServiceSlapdBatch::crashingStatusFails()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(prepare(host));
    QVERIFY(host.writeCrashingScript(QStringLiteral("/etc/init.d/slapd")));

    const ConsoleBatchResult run = m_console.run("show ServiceSlapd\n");
    const QJsonObject &report = run.report;
    QCOMPARE(run.exitCode, 1);
    bool seen = false;
    for (const QJsonValue &value : report.value(QStringLiteral("tasks")).toArray()) {
        const QJsonObject task = value.toObject();
        if (task.value(QStringLiteral("description")).toString() ==
            QLatin1String("Read Slapd service configuration")) {
            seen = true;
            QCOMPARE(task.value(QStringLiteral("status")).toInt(), 1);
            QCOMPARE(task.value(QStringLiteral("message")).toString(),
                     QStringLiteral("\"/etc/init.d/slapd ...\" not finished\nError code: 1"));
        }
    }
    QVERIFY(seen);
    const QJsonObject widget = report.value(QStringLiteral("widgets")).toArray().first().toObject();
    QCOMPARE(ConsoleBatch::widgetChild(widget, QStringLiteral("_confGroupBox"))
                 .value(QStringLiteral("title")),
             QJsonValue(QStringLiteral("Configuration")));
}

OXA_TEST_MAIN(TestServiceSlapdBatch)
#include "tst_serviceslapdbatch.moc"

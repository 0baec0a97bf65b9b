#include "consolebatch.h"
#include "hostlayout.h"
#include "testhost.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QTest>

/**
 * The console in batch mode on a disposable host with the Services root and the Kerberos
 * plug-in: the KDC with the Kadmin element below it, each read on its own.
 */
class TestServiceKerberosBatch : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void showBoth();
    void missingAclFailsKadminOnly();
    void demoHostShowsKerberos();

private:
    bool prepare(TestHost &host);

    ConsoleBatch m_console{
        {QStringLiteral(OXA_SERVICES_PLUGIN_FILE), QStringLiteral(OXA_KERBEROS_PLUGIN_FILE)}};
};

void TestServiceKerberosBatch::initTestCase()
{
    QVERIFY2(m_console.isValid(), qPrintable(m_console.errorString()));
}

bool TestServiceKerberosBatch::prepare(TestHost &host)
{
    // KDC running, administration server stopped.
    return host.installPackage(QStringLiteral("krb5-kdc"), QStringLiteral("1.20.1-2+deb12u5")) &&
           host.writeStatusScript(QStringLiteral("/etc/init.d/krb5-kdc"), 0) &&
           host.writeStatusScript(QStringLiteral("/etc/init.d/krb5-admin-server"), 3) &&
           host.removePath(QStringLiteral("/etc/krb5kdc")) &&
           host.writeFile(QStringLiteral("/etc/krb5kdc/kdc.conf"),
                          "[realms]\n    EXAMPLE.ORG = {\n    }\n");
}

void TestServiceKerberosBatch::showBoth()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(prepare(host));
    QVERIFY(host.writeFile(QStringLiteral("/etc/krb5kdc/kadm5.acl"), "*/admin@EXAMPLE.ORG *\n"));

    const ConsoleBatchResult run = m_console.run("perform read-light ServiceServices\n"
                                                 "show ServiceKerberosKdc\n"
                                                 "show ServiceKerberosKadmin\n");
    const QJsonObject &report = run.report;
    QVERIFY2(run.exitCode == 0, run.errors.constData());

    const QJsonObject root = ConsoleBatch::childById(report.value(QStringLiteral("tree")).toArray(),
                                                     QStringLiteral("ServiceServices"));
    const QJsonObject kdc = ConsoleBatch::childById(
        root.value(QStringLiteral("children")).toArray(), QStringLiteral("ServiceKerberosKdc"));
    QCOMPARE(kdc.value(QStringLiteral("title")).toString(), QStringLiteral("Kerberos KDC"));
    QCOMPARE(kdc.value(QStringLiteral("operations")).toString(), QStringLiteral("0x6030"));
    const QJsonObject kadmin = ConsoleBatch::childById(
        kdc.value(QStringLiteral("children")).toArray(), QStringLiteral("ServiceKerberosKadmin"));
    QCOMPARE(kadmin.value(QStringLiteral("title")).toString(), QStringLiteral("Kerberos Kadmin"));
    QCOMPARE(kadmin.value(QStringLiteral("operations")).toString(), QStringLiteral("0x1030"));

    QStringList tasks;
    for (const QJsonValue &task : report.value(QStringLiteral("tasks")).toArray())
        tasks << task.toObject().value(QStringLiteral("description")).toString();
    // The root's light read reaches the KDC only.
    QVERIFY(tasks.contains(QStringLiteral("Read Kerberos KDC service state")));
    QVERIFY(!tasks.contains(QStringLiteral("Read Kerberos Kadmin service state")));
    QVERIFY(tasks.contains(QStringLiteral("Read Kerberos KDC service configuration")));
    QVERIFY(tasks.contains(QStringLiteral("Read Kerberos Kadmin service configuration")));

    const QJsonArray widgets = report.value(QStringLiteral("widgets")).toArray();
    QCOMPARE(widgets.size(), 2);
    const QJsonObject kdcWidget = widgets.at(0).toObject();
    QCOMPARE(kdcWidget.value(QStringLiteral("class")).toString(),
             QStringLiteral("ServiceKerberosKdcElementWidget"));
    QCOMPARE(ConsoleBatch::widgetChild(kdcWidget, QStringLiteral("_stateLabel"))
                 .value(QStringLiteral("text")),
             QJsonValue(QStringLiteral("<b>running</b>")));
    QCOMPARE(ConsoleBatch::widgetChild(kdcWidget, QStringLiteral("_configPlainEdit"))
                 .value(QStringLiteral("text")),
             QJsonValue(QStringLiteral("[realms]\n    EXAMPLE.ORG = {\n    }\n")));
    QCOMPARE(ConsoleBatch::widgetChild(kdcWidget, QStringLiteral("_confGroupBox"))
                 .value(QStringLiteral("title")),
             QJsonValue(QStringLiteral("Configuration: /etc/krb5kdc/kdc.conf")));
    const QJsonObject kadminWidget = widgets.at(1).toObject();
    QCOMPARE(kadminWidget.value(QStringLiteral("class")).toString(),
             QStringLiteral("ServiceKerberosKadminElementWidget"));
    QCOMPARE(kadminWidget.value(QStringLiteral("windowTitle")).toString(),
             QStringLiteral("Kerberos Kadmin"));
    QCOMPARE(ConsoleBatch::widgetChild(kadminWidget, QStringLiteral("_stateLabel"))
                 .value(QStringLiteral("text")),
             QJsonValue(QStringLiteral("<b>stopped</b>")));
    QCOMPARE(ConsoleBatch::widgetChild(kadminWidget, QStringLiteral("_configPlainEdit"))
                 .value(QStringLiteral("text")),
             QJsonValue(QStringLiteral("*/admin@EXAMPLE.ORG *\n")));
}

void TestServiceKerberosBatch::missingAclFailsKadminOnly()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(prepare(host));

    const ConsoleBatchResult run =
        m_console.run("show ServiceKerberosKdc\nshow ServiceKerberosKadmin\n");
    const QJsonObject &report = run.report;
    QCOMPARE(run.exitCode, 1);
    QMap<QString, QJsonObject> tasks;
    for (const QJsonValue &task : report.value(QStringLiteral("tasks")).toArray())
        tasks.insert(task.toObject().value(QStringLiteral("description")).toString(),
                     task.toObject());
    const QJsonObject kdc = tasks.value(QStringLiteral("Read Kerberos KDC service configuration"));
    QCOMPARE(kdc.value(QStringLiteral("status")).toInt(), 2);
    const QJsonObject kadmin =
        tasks.value(QStringLiteral("Read Kerberos Kadmin service configuration"));
    QCOMPARE(kadmin.value(QStringLiteral("status")).toInt(), 1);
    QCOMPARE(kadmin.value(QStringLiteral("message")).toString(),
             QStringLiteral("Failed to read config file /etc/krb5kdc/kadm5.acl"));
}

/// The demo host as demo/run-demo lays it out: the KDC running, its administration server not.
void TestServiceKerberosBatch::demoHostShowsKerberos()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QString layoutError;
    QVERIFY2(HostLayout::apply(host, QStringLiteral(OXA_DEMO_LAYOUT), &layoutError),
             qPrintable(layoutError));

    const ConsoleBatchResult run = m_console.run("perform read-light ServiceServices\n"
                                                 "show ServiceKerberosKadmin\n");
    const QJsonObject &report = run.report;
    QVERIFY2(run.exitCode == 0, run.errors.constData());
    const QJsonObject root = ConsoleBatch::childById(report.value(QStringLiteral("tree")).toArray(),
                                                     QStringLiteral("ServiceServices"));
    const QJsonObject kdc = ConsoleBatch::childById(
        root.value(QStringLiteral("children")).toArray(), QStringLiteral("ServiceKerberosKdc"));
    QCOMPARE(kdc.value(QStringLiteral("operations")).toString(), QStringLiteral("0x6030"));
    const QJsonObject widget = report.value(QStringLiteral("widgets")).toArray().first().toObject();
    QCOMPARE(ConsoleBatch::widgetChild(widget, QStringLiteral("_stateLabel"))
                 .value(QStringLiteral("text")),
             QJsonValue(QStringLiteral("<b>stopped</b>")));
    QVERIFY(ConsoleBatch::widgetChild(widget, QStringLiteral("_configPlainEdit"))
                .value(QStringLiteral("text"))
                .toString()
                .contains(QStringLiteral("*/admin@OFFICE.EXAMPLE")));
}

OXA_TEST_MAIN(TestServiceKerberosBatch)
#include "tst_servicekerberosbatch.moc"

#include <servicekerberoselements.h>
#include <servicekerberoselementwidgets.h>
#include <servicekerberosmodule.h>
#include <servicekerberosplugin.h>
#include <servicekerberostasks.h>

#include <element.h>
#include <elementdata.h>
#include <taskmessages.h>
#include <taskrunner.h>
#include <testhost.h>

#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QtTest>

namespace {

const QString kdcScript = QStringLiteral("/etc/init.d/krb5-kdc");
const QString kadminScript = QStringLiteral("/etc/init.d/krb5-admin-server");
const QString kdcConf = QStringLiteral("/etc/krb5kdc/kdc.conf");
const QString acl = QStringLiteral("/etc/krb5kdc/kadm5.acl");

/// The Services root as another plug-in shows it: only its type matters here.
class ServicesRootElement : public Element
{
public:
    ServicesRootElement() : Element(nullptr, nullptr)
    {
        setElementType(QStringLiteral("ServiceServices"));
    }
};

/** The Kerberos plug-in as the console holds it: both elements, each with its widget. */
struct Kerberos
{
    Kerberos()
    {
        module = plugin.modules().value(0);
        module->setData(QStringLiteral("administrator"), true);
        kdc = module->elements().value(0);
        kadmin = module->elements().value(1);
        kdcWidget = qobject_cast<ServiceElementWidget *>(
            module->elementWidget(QStringLiteral("ServiceKerberosKdc")));
        kadminWidget = qobject_cast<ServiceElementWidget *>(
            module->elementWidget(QStringLiteral("ServiceKerberosKadmin")));
        kdcWidget->setElement(kdc, ElementWidgetRoleView);
        kadminWidget->setElement(kadmin, ElementWidgetRoleView);
    }

    ServiceKerberosPlugin plugin;
    Module *module = nullptr;
    Element *kdc = nullptr;
    Element *kadmin = nullptr;
    ServiceElementWidget *kdcWidget = nullptr;
    ServiceElementWidget *kadminWidget = nullptr;
};

/// Init scripts that note "<which> <action>" in one log and exit with @p exitCode for status.
bool writeRecordingScripts(TestHost &host, int kdcStatus, int kadminStatus)
{
    const QString body = QStringLiteral("mkdir -p /var/lib/oxa-kerberos-test\n"
                                        "echo \"%1 $1\" >>/var/lib/oxa-kerberos-test/calls\n"
                                        "[ \"$1\" = status ] && exit %2\nexit 0");
    return host.writeScript(kdcScript, body.arg(QStringLiteral("kdc")).arg(kdcStatus)) &&
           host.writeScript(kadminScript, body.arg(QStringLiteral("kadmin")).arg(kadminStatus));
}

QStringList calls()
{
    QFile log(QStringLiteral("/var/lib/oxa-kerberos-test/calls"));
    if (!log.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLocal8Bit(log.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

} // namespace

/**
 * The Kerberos plug-in on a disposable host: two elements in one module, each with its own
 * state and file; the Services root's light read reaching the KDC only. What every plug-in
 * shares (identity, package check, operations and their tasks) is in tst_pluginconformance.
 */
class TestServiceKerberosPlugin : public QObject
{
    Q_OBJECT

private slots:
    void readsTheInstalledKdcConf_data();
    void readsTheInstalledKdcConf();
    void eachElementReadsItsOwnFile();
    void missingAclFailsKadminOnly();
    void statesAndOperations();
};

void TestServiceKerberosPlugin::readsTheInstalledKdcConf_data()
{
    QTest::addColumn<QString>("captured"); // empty: this machine's own file
    QTest::newRow("this machine's") << QString();
    QTest::newRow("debian 13, krb5 1.21.3")
        << QStringLiteral(OXA_KERBEROS_TEST_DATA "/kdc.conf-1.21.3-trixie");
}

/// The kdc.conf the krb5-kdc package installs, read through the overlay of this machine, or
/// as a Debian 13 host has it.
void TestServiceKerberosPlugin::readsTheInstalledKdcConf()
{
    QFETCH(QString, captured);
    TestHost host(TestHost::MachinePackageDatabase);
    OXA_REQUIRE_TEST_HOST(host);
    QFile file(captured.isEmpty() ? kdcConf : captured);
    if (!file.open(QIODevice::ReadOnly))
        QSKIP("the krb5-kdc package is not installed here (scripts/install-services)");
    const QByteArray content = file.readAll();
    const QString expected = QString::fromLocal8Bit(content);
    if (!captured.isEmpty()) {
        QVERIFY(expected.contains(QLatin1String("[realms]")));
        QVERIFY(host.writeFile(kdcConf, content));
    }
    QVERIFY(host.writeStatusScript(kdcScript, 3));

    Kerberos kerberos;
    if (captured.isEmpty())
        QVERIFY(kerberos.plugin.isValid());
    TaskRunner runner;
    const TaskReport report = runner.perform(new ServiceKerberosKdcReadHeavyTask(kerberos.kdc));
    QCOMPARE(report.description, QStringLiteral("Read Kerberos KDC service configuration"));
    QCOMPARE(report.status, TaskDescription::TaskStatusDone);
    QCOMPARE(kerberos.kdcWidget->configPlainEdit()->toPlainText(), expected);
    QCOMPARE(kerberos.kdcWidget->configGroupBox()->title(),
             QStringLiteral("Configuration: /etc/krb5kdc/kdc.conf"));
    QVERIFY(!kerberos.kdc->serviceData()->state());
}

void TestServiceKerberosPlugin::eachElementReadsItsOwnFile()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(writeRecordingScripts(host, 0, 3));
    QVERIFY(host.writeFile(kdcConf, "[realms]\n EXAMPLE.ORG = {\n }\n"));
    QVERIFY(host.writeFile(acl, "*/admin@EXAMPLE.ORG *\n"));

    Kerberos kerberos;
    TaskRunner runner;
    QCOMPARE(runner.perform(new ServiceKerberosKadminReadHeavyTask(kerberos.kadmin)).status,
             TaskDescription::TaskStatusDone);
    QCOMPARE(calls(), QStringList{QStringLiteral("kadmin status")});
    QCOMPARE(kerberos.kadminWidget->configPlainEdit()->toPlainText(),
             QStringLiteral("*/admin@EXAMPLE.ORG *\n"));
    QCOMPARE(kerberos.kadminWidget->configGroupBox()->title(),
             QStringLiteral("Configuration: /etc/krb5kdc/kadm5.acl"));
    QCOMPARE(kerberos.kadminWidget->stateLabel()->text(),
             QStringLiteral("<b>%1</b>").arg(ServiceLightElementData::stoppedText()));
    // The other element and its widget saw nothing of it.
    QVERIFY(!kerberos.kdc->serviceData()->isStateKnown());
    QVERIFY(kerberos.kdcWidget->configPlainEdit()->toPlainText().isEmpty());
    QCOMPARE(kerberos.kdcWidget->stateLabel()->text(), QStringLiteral("<b>undefined</b>"));

    QCOMPARE(runner.perform(new ServiceKerberosKdcReadHeavyTask(kerberos.kdc)).status,
             TaskDescription::TaskStatusDone);
    QCOMPARE(kerberos.kdcWidget->configPlainEdit()->toPlainText(),
             QStringLiteral("[realms]\n EXAMPLE.ORG = {\n }\n"));
    QVERIFY(kerberos.kdc->serviceData()->state());
    QCOMPARE(kerberos.kadminWidget->configPlainEdit()->toPlainText(),
             QStringLiteral("*/admin@EXAMPLE.ORG *\n"));
}

void TestServiceKerberosPlugin::missingAclFailsKadminOnly()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(writeRecordingScripts(host, 0, 0));
    QVERIFY(host.removePath(QStringLiteral("/etc/krb5kdc")));
    QVERIFY(host.writeFile(kdcConf, "[kdcdefaults]\n"));

    Kerberos kerberos;
    TaskRunner runner;
    const TaskReport kadmin =
        runner.perform(new ServiceKerberosKadminReadHeavyTask(kerberos.kadmin));
    QCOMPARE(kadmin.description, QStringLiteral("Read Kerberos Kadmin service configuration"));
    QCOMPARE(kadmin.status, TaskDescription::TaskStatusFailed);
    QCOMPARE(kadmin.message, QStringLiteral("Failed to read config file /etc/krb5kdc/kadm5.acl"));
    QVERIFY(!kerberos.kadmin->serviceData()->isStateKnown());
    QCOMPARE(kerberos.kadminWidget->configGroupBox()->title(), QStringLiteral("Configuration"));

    const TaskReport kdc = runner.perform(new ServiceKerberosKdcReadHeavyTask(kerberos.kdc));
    QCOMPARE(kdc.status, TaskDescription::TaskStatusDone);
    QCOMPARE(kerberos.kdcWidget->configPlainEdit()->toPlainText(),
             QStringLiteral("[kdcdefaults]\n"));
}

/*
 * KDC running, kadmin stopped: the Services root's light read learns the KDC's state only;
 * the Kadmin state comes from its own light read.
 */
void TestServiceKerberosPlugin::statesAndOperations()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(writeRecordingScripts(host, 0, 3));

    Kerberos kerberos;
    TaskRunner runner;
    ServicesRootElement root;
    kerberos.module->performOperation(&root, OperationReadLight, nullptr, 0);
    QVERIFY(runner.waitForIdle());
    QCOMPARE(calls(), QStringList{QStringLiteral("kdc status")});
    QCOMPARE(quint64(kerberos.kdc->availableOperations()), quint64(0x6030));
    QCOMPARE(quint64(kerberos.kadmin->availableOperations()), quint64(0x30));

    kerberos.kadmin->performOperation(OperationReadLight, nullptr, 0);
    QVERIFY(runner.waitForIdle());
    QCOMPARE(runner.reports().last().description,
             QStringLiteral("Read Kerberos Kadmin service state"));
    QCOMPARE(quint64(kerberos.kadmin->availableOperations()), quint64(0x1030));
    QCOMPARE(quint64(kerberos.kdc->availableOperations()), quint64(0x6030));

    kerberos.module->setData(QStringLiteral("administrator"), false);
    QCOMPARE(quint64(kerberos.kdc->availableOperations()), quint64(0x30));
    QCOMPARE(quint64(kerberos.kadmin->availableOperations()), quint64(0x30));
}

OXA_TEST_MAIN(TestServiceKerberosPlugin)
#include "tst_servicekerberosplugin.moc"

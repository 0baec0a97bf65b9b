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
 * state, tasks and file; the Services root's light read reaching the KDC only.
 */
class TestServiceKerberosPlugin : public QObject
{
    Q_OBJECT

private slots:
    void identity();
    void readsTheInstalledKdcConf_data();
    void readsTheInstalledKdcConf();
    void eachElementReadsItsOwnFile();
    void missingAclFailsKadminOnly();
    void statesAndOperations();
    void dispatch_data();
    void dispatch();
};

void TestServiceKerberosPlugin::identity()
{
    ServiceKerberosPlugin plugin;
    QCOMPARE(plugin.type(), 5);
    QCOMPARE(plugin.name(), QStringLiteral("ServiceKerberosPlugin"));
    QCOMPARE(plugin.description(), QStringLiteral("Service Kerberos plugin"));
    QCOMPARE(plugin.requiredPackageNames(), QStringList{QStringLiteral("krb5-kdc")});
    QCOMPARE(plugin.pattern(), QStringLiteral("ii\\skrb5-kdc"));

    Module *module = plugin.modules().value(0);
    QCOMPARE(plugin.modules().size(), 1);
    QCOMPARE(module->objectName(), QStringLiteral("ServiceKerberosModule"));
    QCOMPARE(module->parentModuleName(), QStringLiteral("ServiceServicesModule"));
    QCOMPARE(module->level(), 2);
    QCOMPARE(module->getData(QStringLiteral("description")).toString(),
             QStringLiteral("Service Kerberos module"));

    QCOMPARE(module->elements().size(), 2);
    auto *kdc = qobject_cast<ServiceKerberosKdcElement *>(module->elements().at(0));
    auto *kadmin = qobject_cast<ServiceKerberosKadminElement *>(module->elements().at(1));
    QVERIFY(kdc && kadmin);
    QCOMPARE(kdc->id(), QStringLiteral("ServiceKerberosKdc"));
    QCOMPARE(kdc->parentId(), QStringLiteral("ServiceServices"));
    QCOMPARE(kdc->level(), 2);
    QCOMPARE(kdc->title(), QStringLiteral("Kerberos KDC"));
    QCOMPARE(kdc->caption(), QStringLiteral("Kerberos KDC"));
    QCOMPARE(kadmin->id(), QStringLiteral("ServiceKerberosKadmin"));
    QCOMPARE(kadmin->parentId(), QStringLiteral("ServiceKerberosKdc"));
    QCOMPARE(kadmin->level(), 3);
    QCOMPARE(kadmin->title(), QStringLiteral("Kerberos Kadmin"));

    auto *kdcWidget = qobject_cast<ServiceKerberosKdcElementWidget *>(
        module->elementWidget(QStringLiteral("ServiceKerberosKdc")));
    auto *kadminWidget = qobject_cast<ServiceKerberosKadminElementWidget *>(
        module->elementWidget(QStringLiteral("ServiceKerberosKadmin")));
    QVERIFY(kdcWidget && kadminWidget);
    QCOMPARE(kdcWidget->windowTitle(), QStringLiteral("Kerberos KDC"));
    QCOMPARE(kadminWidget->windowTitle(), QStringLiteral("Kerberos Kadmin"));
    QCOMPARE(kadminWidget->secondElementType(), QStringLiteral("ServiceKerberosKdc"));
    QVERIFY(kdcWidget->findChild<QPlainTextEdit *>(QStringLiteral("_configPlainEdit")));
    QVERIFY(kadminWidget->findChild<QPlainTextEdit *>(QStringLiteral("_configPlainEdit")));
}

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

void TestServiceKerberosPlugin::dispatch_data()
{
    QTest::addColumn<int>("element"); // 0 KDC, 1 Kadmin
    QTest::addColumn<quint64>("operation");
    QTest::addColumn<QString>("task");
    QTest::addColumn<QString>("call");

    QTest::newRow("KDC light read") << 0 << quint64(OperationReadLight) << ""
                                    << "";
    QTest::newRow("KDC heavy read")
        << 0 << quint64(OperationReadHeavy) << "Read Kerberos KDC service configuration"
        << "kdc status";
    QTest::newRow("KDC start") << 0 << quint64(OperationStart) << "Start Kerberos KDC service"
                               << "kdc start";
    QTest::newRow("KDC stop") << 0 << quint64(OperationStop) << "Stop Kerberos KDC service"
                              << "kdc stop";
    QTest::newRow("KDC restart") << 0 << quint64(OperationRestart) << "Restart Kerberos KDC service"
                                 << "kdc restart";
    QTest::newRow("KDC reload") << 0 << quint64(OperationReload) << "Reload Kerberos KDC service"
                                << "kdc force-reload";
    QTest::newRow("Kadmin light read")
        << 1 << quint64(OperationReadLight) << "Read Kerberos Kadmin service state"
        << "kadmin status";
    QTest::newRow("Kadmin heavy read")
        << 1 << quint64(OperationReadHeavy) << "Read Kerberos Kadmin service configuration"
        << "kadmin status";
    QTest::newRow("Kadmin start") << 1 << quint64(OperationStart) << "Start Kerberos Kadmin service"
                                  << "kadmin start";
    QTest::newRow("Kadmin stop") << 1 << quint64(OperationStop) << "Stop Kerberos Kadmin service"
                                 << "kadmin stop";
    QTest::newRow("Kadmin restart")
        << 1 << quint64(OperationRestart) << "Restart Kerberos Kadmin service"
        << "kadmin restart";
    QTest::newRow("Kadmin reload")
        << 1 << quint64(OperationReload) << "Reload Kerberos Kadmin service"
        << "kadmin force-reload";
    QTest::newRow("Kadmin control") << 1 << quint64(OperationControl) << ""
                                    << "";
}

void TestServiceKerberosPlugin::dispatch()
{
    QFETCH(int, element);
    QFETCH(quint64, operation);
    QFETCH(QString, task);
    QFETCH(QString, call);

    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(writeRecordingScripts(host, 0, 0));
    QVERIFY(host.writeFile(kdcConf, "[kdcdefaults]\n"));
    QVERIFY(host.writeFile(acl, "\n"));

    Kerberos kerberos;
    TaskRunner runner;
    (element == 0 ? kerberos.kdc : kerberos.kadmin)
        ->performOperation(OperationType(operation), nullptr, 0);
    QVERIFY(runner.waitForIdle());
    QCOMPARE(runner.reports().isEmpty() ? QString() : runner.reports().first().description, task);
    QCOMPARE(calls().value(0), call);
}

OXA_TEST_MAIN(TestServiceKerberosPlugin)
#include "tst_servicekerberosplugin.moc"

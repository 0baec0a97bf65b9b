#include "sambatestfixture.h"
#include "servicesambaelement.h"
#include "servicesambaelementwidget.h"
#include "servicesambamodule.h"
#include "servicesambaplugin.h"
#include "servicetaskcheck.h"
#include "taskrunner.h"
#include "testhost.h"

#include <elementdata.h>
#include <translations.h>

#include <QFile>
#include <QJsonObject>
#include <QLabel>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPluginLoader>
#include <QTest>
#include <QTranslator>

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

/**
 * The Samba plug-in as the console meets it: its library entry points and catalogue, its
 * package check, the module, element and widget it hands over, the operations the element
 * offers, and the task each operation becomes.
 */
class TestServiceSambaPlugin : public QObject
{
    Q_OBJECT

private slots:
    void identity();
    void packageCheck_data();
    void packageCheck();
    void availableOperations_data();
    void availableOperations();
    void operationsBecomeTasks_data();
    void operationsBecomeTasks();
    void controlRunsActionAndOneStateRead_data();
    void controlRunsActionAndOneStateRead();
    void libraryEntryPointsAndCatalogue();
};

void TestServiceSambaPlugin::identity()
{
    ServiceSambaPlugin plugin;
    QCOMPARE(plugin.type(), 5);
    QCOMPARE(plugin.name(), QStringLiteral("ServiceSambaPlugin"));
    QCOMPARE(plugin.description(), QStringLiteral("Service Samba plugin"));
    QCOMPARE(plugin.requiredPackageNames(), QStringList{QStringLiteral("samba")});
    QCOMPARE(plugin.modules().size(), 1);

    Module *module = plugin.modules().first();
    QVERIFY(qobject_cast<ServiceSambaModule *>(module));
    QCOMPARE(module->objectName(), QStringLiteral("ServiceSambaModule"));
    QCOMPARE(module->parent(), &plugin);
    QCOMPARE(module->parentModuleName(), QStringLiteral("ServiceServicesModule"));
    QCOMPARE(module->level(), 2);
    QCOMPARE(module->flag(), false);
    QCOMPARE(module->getData(QStringLiteral("description")).toString(),
             QStringLiteral("Service Samba module"));
    QCOMPARE(module->getData(QStringLiteral("administrator")).toBool(),
             Module::isAdministrator(module));
    QCOMPARE(module->elements().size(), 1);

    auto *element = qobject_cast<ServiceSambaElement *>(module->firstElement());
    QVERIFY(element);
    QCOMPARE(element->id(), QStringLiteral("ServiceSamba"));
    QCOMPARE(element->elementType(), QStringLiteral("ServiceSamba"));
    QCOMPARE(element->parentId(), QStringLiteral("ServiceServices"));
    QCOMPARE(element->level(), 2);
    QCOMPARE(element->title(), QStringLiteral("Samba"));
    QCOMPARE(element->caption(), QStringLiteral("Samba"));
    QCOMPARE(element->module(), module);
    QVERIFY(element->serviceData());

    QCOMPARE(module->elementWidgets().size(), 1);
    auto *widget = qobject_cast<ServiceSambaElementWidget *>(
        module->elementWidget(QStringLiteral("ServiceSamba")));
    QVERIFY(widget);
    QCOMPARE(widget->objectName(), QStringLiteral("ServiceSambaElementWidget"));
    QCOMPARE(widget->windowTitle(), QStringLiteral("Samba"));
    QVERIFY(!widget->parent());
    QVERIFY(widget->findChild<QPlainTextEdit *>(QStringLiteral("_configPlainEdit")));
    QCOMPARE(element->elementWidget(ElementWidgetRoleView), widget);
}

void TestServiceSambaPlugin::packageCheck_data()
{
    QTest::addColumn<QString>("status"); // empty: dpkg does not know samba
    QTest::addColumn<bool>("valid");

    QTest::newRow("installed (ii)") << "install ok installed" << true;
    QTest::newRow("removed, configuration left (rc)") << "deinstall ok config-files" << false;
    QTest::newRow("error flag") << "install reinstreq installed" << false;
    QTest::newRow("unknown package") << QString() << false;
}

void TestServiceSambaPlugin::packageCheck()
{
    QFETCH(QString, status);
    QFETCH(bool, valid);

    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(host.installPackage(QStringLiteral("samba-common"), QStringLiteral("2:4.17.12")));
    if (!status.isEmpty())
        QVERIFY(host.installPackage(QStringLiteral("samba"), QStringLiteral("2:4.17.12"), status));
    ServiceSambaPlugin plugin;
    QCOMPARE(plugin.isValid(), valid);
}

void TestServiceSambaPlugin::availableOperations_data()
{
    QTest::addColumn<bool>("administrator");
    QTest::addColumn<int>("state"); // -1 never read, 0 stopped, 1 running
    QTest::addColumn<quint64>("offered");

    QTest::newRow("administrator, not read") << true << -1 << quint64(0x30);
    QTest::newRow("administrator, running") << true << 1 << quint64(0x6030);
    QTest::newRow("administrator, stopped") << true << 0 << quint64(0x1030);
    QTest::newRow("no rights, not read") << false << -1 << quint64(0x30);
    QTest::newRow("no rights, running") << false << 1 << quint64(0x30);
    QTest::newRow("no rights, stopped") << false << 0 << quint64(0x30);
}

void TestServiceSambaPlugin::availableOperations()
{
    QFETCH(bool, administrator);
    QFETCH(int, state);
    QFETCH(quint64, offered);

    ServiceSambaPlugin plugin;
    Module *module = plugin.modules().first();
    module->setData(QStringLiteral("administrator"), administrator);
    Element *element = module->firstElement();
    if (state >= 0)
        element->serviceData()->setState(state == 1);
    QCOMPARE(element->availableOperations(), offered);
    QVERIFY(!element->isOperationAvailable(OperationReload));
}

void TestServiceSambaPlugin::operationsBecomeTasks_data()
{
    QTest::addColumn<bool>("onRoot"); // asked through the Services root, else on Samba
    QTest::addColumn<int>("operation");
    QTest::addColumn<QStringList>("tasks");
    QTest::addColumn<QStringList>("calls");

    const QString heavy = QStringLiteral("Read Samba service configuration");
    QTest::newRow("root light read")
        << true << int(OperationReadLight) << QStringList{"Read Samba service state"}
        << QStringList{"status"};
    QTest::newRow("root heavy read")
        << true << int(OperationReadHeavy) << QStringList() << QStringList();
    QTest::newRow("light read on Samba")
        << false << int(OperationReadLight) << QStringList() << QStringList();
    QTest::newRow("heavy read") << false << int(OperationReadHeavy) << QStringList{heavy}
                                << QStringList{"status"};
    // A control action runs, then one state read: nothing more.
    QTest::newRow("start") << false << int(OperationStart) << QStringList{"Start Samba service"}
                           << QStringList{"start", "status"};
    QTest::newRow("stop") << false << int(OperationStop) << QStringList{"Stop Samba service"}
                          << QStringList{"stop", "status"};
    QTest::newRow("restart") << false << int(OperationRestart)
                             << QStringList{"Restart Samba service"}
                             << QStringList{"restart", "status"};
    QTest::newRow("reload") << false << int(OperationReload) << QStringList{"Reload Samba service"}
                            << QStringList{"force-reload", "status"};
    QTest::newRow("update") << false << int(OperationUpdate) << QStringList() << QStringList();
    QTest::newRow("control") << false << int(OperationControl) << QStringList() << QStringList();
}

void TestServiceSambaPlugin::operationsBecomeTasks()
{
    QFETCH(bool, onRoot);
    QFETCH(int, operation);
    QFETCH(QStringList, tasks);
    QFETCH(QStringList, calls);

    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(host.writeScript(script, QStringLiteral("echo \"$@\" >> %1").arg(callsFile)));
    QVERIFY(host.writeFile(QStringLiteral("/etc/samba/smb.conf"), "[global]\n"));

    ServiceSambaPlugin plugin;
    Module *module = plugin.modules().first();
    Element *samba = module->firstElement();
    TaskRunner runner;
    ServiceTaskCheck::perform(module, samba, onRoot, OperationType(operation));
    QVERIFY(runner.waitForIdle());
    QCOMPARE(ServiceTaskCheck::descriptions(runner.reports()), tasks);
    for (const TaskReport &report : runner.reports()) {
        QCOMPARE(report.status, TaskDescription::TaskStatusDone);
        QCOMPARE(report.elementId, QStringLiteral("ServiceSamba"));
    }
    QCOMPARE(ServiceTaskCheck::recordedCalls(callsFile), calls);
    QCOMPARE(samba->serviceData()->isStateKnown(), !tasks.isEmpty());
}

void TestServiceSambaPlugin::controlRunsActionAndOneStateRead_data()
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

void TestServiceSambaPlugin::controlRunsActionAndOneStateRead()
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

void TestServiceSambaPlugin::libraryEntryPointsAndCatalogue()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    // A catalogue for the system's locale, where the library looks for it when it is loaded.
    QFile compiled(QStringLiteral(OXA_SAMBA_TEST_CATALOGUE));
    QVERIFY(compiled.open(QIODevice::ReadOnly));
    const QString locale =
        QLocale::system().uiLanguages().value(0).replace(QLatin1Char('-'), QLatin1Char('_'));
    QVERIFY(host.writeFile(PluginTranslations::directory() +
                               QStringLiteral("/oxa-service-samba-plugin_%1.qm").arg(locale),
                           compiled.readAll()));

    QPluginLoader loader(QStringLiteral(OXA_SAMBA_PLUGIN_FILE));
    const QJsonObject meta = loader.metaData();
    QCOMPARE(meta.value(QStringLiteral("IID")).toString(), QStringLiteral("vell-admin-oxa/0.0"));
    QCOMPARE(meta.value(QStringLiteral("className")).toString(),
             QStringLiteral("ServiceSambaPlugin"));
    QVERIFY(meta.value(QStringLiteral("MetaData")).toObject().isEmpty());

    QObject *instance = loader.instance();
    QVERIFY2(instance, qPrintable(loader.errorString()));
    QCOMPARE(loader.instance(), instance); // one plug-in object per library
    auto *plugin = qobject_cast<Plugin *>(instance);
    QVERIFY(plugin);
    QCOMPARE(instance->qt_metacast("vell-admin-oxa/0.0"), static_cast<void *>(plugin));
    QCOMPARE(instance->qt_metacast("ServiceSambaPlugin"), static_cast<void *>(instance));
    QVERIFY(!instance->parent());

    // The library installed its catalogue when it was loaded.
    Element *element = plugin->modules().first()->firstElement();
    QCOMPARE(element->title(), QStringLiteral("Samba-Dateiserver"));
    ViewEditElementWidget *widget = plugin->modules().first()->elementWidgets().first();
    QCOMPARE(widget->findChild<QLabel *>(QStringLiteral("_stateLabelLabel"))->text(),
             QStringLiteral("Zustand:"));

    // Gone: the next call makes a new one.
    delete instance;
    QObject *again = loader.instance();
    QVERIFY(again);
    QCOMPARE(qobject_cast<Plugin *>(again)->modules().size(), 1);
    delete again;

    for (QTranslator *translator :
         qApp->findChildren<QTranslator *>(QString(), Qt::FindDirectChildrenOnly)) {
        QCoreApplication::removeTranslator(translator);
        delete translator;
    }
}

OXA_TEST_MAIN(TestServiceSambaPlugin)
#include "tst_servicesambaplugin.moc"

// The Apache plug-in as the console sees it: the library, the package and version check, the
// module, its elements, their operations and the tasks they lead to.

#include "serviceapacheelement.h"
#include "serviceapachemodule.h"
#include "serviceapachemoduleelement.h"
#include "serviceapacheplugin.h"
#include "serviceapachetasks.h"
#include "testhost.h"

#include <elementdata.h>

#include <QPluginLoader>
#include <QTest>

#include <memory>

namespace {

/** The module with its dispatch in reach. */
class DispatchModule : public ServiceApacheModule
{
public:
    DispatchModule() : ServiceApacheModule(nullptr) {}
    using ServiceApacheModule::createRootLightRead;
    using ServiceApacheModule::createTask;
};

} // namespace

class TestServiceApachePlugin : public QObject
{
    Q_OBJECT

private slots:
    void libraryEntryPoints();
    void identity();
    void moduleAndElements();
    void versionCheck_data();
    void versionCheck();
    void versionOfTheInstalledPackage();
    void operations_data();
    void operations();
    void dispatch_data();
    void dispatch();
};

void TestServiceApachePlugin::libraryEntryPoints()
{
    QPluginLoader loader(QStringLiteral(OXA_APACHE_PLUGIN_FILE));
    QCOMPARE(loader.metaData().value(QStringLiteral("IID")).toString(),
             QStringLiteral("vell-admin-oxa/0.0"));
    QCOMPARE(loader.metaData().value(QStringLiteral("className")).toString(),
             QStringLiteral("ServiceApachePlugin"));
    QObject *first = loader.instance();
    QVERIFY2(first, qPrintable(loader.errorString()));
    QCOMPARE(loader.instance(), first);
    auto *plugin = qobject_cast<Plugin *>(first);
    QVERIFY(plugin);
    QCOMPARE(plugin->name(), QStringLiteral("ServiceApachePlugin"));
    QVERIFY(first->qt_metacast(OXA_PLUGIN_IID));
    QVERIFY(first->qt_metacast("ServiceApachePlugin"));
    // The console deletes its plug-ins while the application still exists.
    QVERIFY(loader.unload());
}

void TestServiceApachePlugin::identity()
{
    ServiceApachePlugin plugin;
    QCOMPARE(plugin.type(), 5);
    QCOMPARE(plugin.name(), QStringLiteral("ServiceApachePlugin"));
    QCOMPARE(plugin.description(), QStringLiteral("Service Apache plugin"));
    QCOMPARE(plugin.requiredPackageNames(), QStringList{QStringLiteral("apache2")});
    QCOMPARE(plugin.modules().size(), 1);
    QCOMPARE(plugin.modules().first(), plugin.apacheModule());
    QCOMPARE(plugin.apacheModule()->parent(), &plugin);
}

void TestServiceApachePlugin::moduleAndElements()
{
    ServiceApacheModule module(nullptr);
    QCOMPARE(module.objectName(), QStringLiteral("ServiceApacheModule"));
    QCOMPARE(module.parentModuleName(), QStringLiteral("ServiceServicesModule"));
    QCOMPARE(module.level(), 2);
    QCOMPARE(module.flag(), false);
    QCOMPARE(module.getData(QStringLiteral("description")).toString(),
             QStringLiteral("Service Apache HTTP module"));
    QVERIFY(module.moduleData().contains(QStringLiteral("administrator")));
    QVERIFY(module.moduleData().contains(QStringLiteral("version")));
    QCOMPARE(module.getData(QStringLiteral("version")).toString(), QString());

    const QList<Element *> elements = module.elements();
    QCOMPARE(elements.size(), 2);
    Element *service = elements.at(0);
    QVERIFY(qobject_cast<ServiceApacheElement *>(service));
    QCOMPARE(service->id(), QStringLiteral("ServiceApache"));
    QCOMPARE(service->elementType(), QStringLiteral("ServiceApache"));
    QCOMPARE(service->parentId(), QStringLiteral("ServiceServices"));
    QCOMPARE(service->level(), 2);
    QCOMPARE(service->title(), QStringLiteral("Apache 2"));
    QVERIFY(dynamic_cast<ServiceLightElementData *>(service->elementData()));

    Element *modules = elements.at(1);
    QVERIFY(qobject_cast<ServiceApacheModuleElement *>(modules));
    QCOMPARE(modules->id(), QStringLiteral("ServiceApacheModules"));
    QCOMPARE(modules->elementType(), QStringLiteral("ServiceApacheModules"));
    QCOMPARE(modules->parentId(), QStringLiteral("ServiceApache"));
    QCOMPARE(modules->level(), 3);
    QCOMPARE(modules->title(), QStringLiteral("Apache modules"));
    QCOMPARE(modules->caption(), QStringLiteral("Apache HTTP service modules"));
    QCOMPARE(modules->treeNodeSpecialFlags(), 1);

    QCOMPARE(module.elementWidgets().size(), 2);
}

void TestServiceApachePlugin::versionCheck_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("status");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("caption");

    const QString installed = QStringLiteral("install ok installed");
    QTest::newRow("2.4.38-3") << QStringLiteral("2.4.38-3") << installed << true
                              << QStringLiteral("Apache HTTP server 2.4");
    QTest::newRow("2.4.71-1~deb12u1") << QStringLiteral("2.4.71-1~deb12u1") << installed << true
                                      << QStringLiteral("Apache HTTP server 2.4");
    QTest::newRow("no dot") << QStringLiteral("2-1") << installed << false
                            << QStringLiteral("Apache HTTP server ");
    QTest::newRow("removed") << QStringLiteral("2.4.38-3")
                             << QStringLiteral("deinstall ok config-files") << false
                             << QStringLiteral("Apache HTTP server ");
    QTest::newRow("unknown package")
        << QString() << QString() << false << QStringLiteral("Apache HTTP server ");
}

void TestServiceApachePlugin::versionCheck()
{
    QFETCH(QString, version);
    QFETCH(QString, status);
    QFETCH(bool, valid);
    QFETCH(QString, caption);
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    if (!version.isEmpty())
        QVERIFY2(host.installPackage(QStringLiteral("apache2"), version, status),
                 qPrintable(host.errorString()));
    ServiceApachePlugin plugin;
    QCOMPARE(plugin.isValid(), valid);
    Element *service = plugin.apacheModule()->firstElement();
    QCOMPARE(service->caption(), caption);
}

void TestServiceApachePlugin::versionOfTheInstalledPackage()
{
    TestHost host(TestHost::MachinePackageDatabase);
    OXA_REQUIRE_TEST_HOST(host);
    ServiceApachePlugin plugin;
    QVERIFY(plugin.isValid());
    const QString version = plugin.apacheModule()->getData(QStringLiteral("version")).toString();
    QCOMPARE(version, QStringLiteral("2.4"));
    QCOMPARE(plugin.apacheModule()->firstElement()->caption(),
             QStringLiteral("Apache HTTP server 2.4"));
}

void TestServiceApachePlugin::operations_data()
{
    QTest::addColumn<bool>("administrator");
    QTest::addColumn<int>("state"); // -1 unread, 0 stopped, 1 running
    QTest::addColumn<quint64>("service");
    QTest::addColumn<quint64>("modules");

    QTest::newRow("administrator, unread") << true << -1 << quint64(0x70) << quint64(0x60);
    QTest::newRow("administrator, running") << true << 1 << quint64(0xE070) << quint64(0x60);
    QTest::newRow("administrator, stopped") << true << 0 << quint64(0x1070) << quint64(0x60);
    QTest::newRow("viewer, running") << false << 1 << quint64(0x30) << quint64(0x20);
    QTest::newRow("viewer, unread") << false << -1 << quint64(0x30) << quint64(0x20);
}

void TestServiceApachePlugin::operations()
{
    QFETCH(bool, administrator);
    QFETCH(int, state);
    QFETCH(quint64, service);
    QFETCH(quint64, modules);
    ServiceApacheModule module(nullptr);
    module.setData(QStringLiteral("administrator"), administrator);
    Element *apache = module.elements().at(0);
    if (state >= 0)
        apache->serviceData()->setState(state == 1);
    QCOMPARE(apache->availableOperations(), service);
    QCOMPARE(module.elements().at(1)->availableOperations(), modules);
}

void TestServiceApachePlugin::dispatch_data()
{
    QTest::addColumn<bool>("onModules");
    QTest::addColumn<quint64>("operation");
    QTest::addColumn<QString>("description"); // empty: no task

    QTest::newRow("read heavy") << false << quint64(OperationReadHeavy)
                                << QStringLiteral("Read Apache service configuration");
    QTest::newRow("start") << false << quint64(OperationStart)
                           << QStringLiteral("Start Apache service");
    QTest::newRow("stop") << false << quint64(OperationStop)
                          << QStringLiteral("Stop Apache service");
    QTest::newRow("restart") << false << quint64(OperationRestart)
                             << QStringLiteral("Restart Apache service");
    QTest::newRow("reload") << false << quint64(OperationReload)
                            << QStringLiteral("Reload Apache service configuration");
    QTest::newRow("update sites") << false << quint64(OperationUpdate)
                                  << QStringLiteral("Update Apache sites configuration");
    QTest::newRow("light read on the element") << false << quint64(OperationReadLight) << QString();
    QTest::newRow("delete") << false << quint64(OperationDelete) << QString();
    QTest::newRow("read modules") << true << quint64(OperationReadHeavy)
                                  << QStringLiteral("Read Apache modules configuration");
    QTest::newRow("update modules") << true << quint64(OperationUpdate)
                                    << QStringLiteral("Update Apache modules confuguration");
    QTest::newRow("reload on modules") << true << quint64(OperationReload) << QString();
}

void TestServiceApachePlugin::dispatch()
{
    QFETCH(bool, onModules);
    QFETCH(quint64, operation);
    QFETCH(QString, description);
    DispatchModule module;
    Element *element = module.elements().at(onModules ? 1 : 0);
    std::unique_ptr<AbstractTask> task(
        module.createTask(element, OperationType(operation), nullptr));
    if (description.isEmpty()) {
        QVERIFY(!task);
        return;
    }
    QVERIFY(task);
    QCOMPARE(task->taskDescription().description(), description);
    QCOMPARE(task->taskElement(), element);
    if (operation == OperationReload)
        QCOMPARE(static_cast<ServiceTask *>(task.get())->action(), QStringLiteral("reload"));
    if (operation != OperationUpdate && operation != OperationReadHeavy)
        QCOMPARE(static_cast<ServiceTask *>(task.get())->scriptPath(),
                 QStringLiteral("/etc/init.d/apache2"));

    // The Services root's light read reads the service element's state.
    std::unique_ptr<AbstractTask> light(module.createRootLightRead(module.firstElement()));
    QCOMPARE(light->taskDescription().description(), QStringLiteral("Read Apache service state"));
}

OXA_TEST_MAIN(TestServiceApachePlugin)
#include "tst_serviceapacheplugin.moc"

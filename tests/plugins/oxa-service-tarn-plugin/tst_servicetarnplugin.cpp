#include "childprocess.h"
#include "servicetarnelement.h"
#include "servicetarnelementwidget.h"
#include "servicetarnmodule.h"
#include "servicetarnplugin.h"
#include "servicetarntarndelement.h"
#include "servicetarntarndelementwidget.h"
#include "servicetarntarndmodule.h"
#include "tarnsimulation.h"
#include "taskrunner.h"
#include "testhost.h"

#include <consoleregistry.h>
#include <elementdata.h>

#include <QGroupBox>
#include <QJsonObject>
#include <QLabel>
#include <QPluginLoader>
#include <QTest>
#include <QTreeView>

#include <algorithm>

namespace {

QStringList sorted(QStringList list)
{
    std::sort(list.begin(), list.end());
    return list;
}

QStringList descriptions(const QList<TaskReport> &reports)
{
    QStringList list;
    for (const TaskReport &report : reports)
        list << report.description;
    return list;
}

/** The Services root's element: its light read goes to every service module. */
class ServicesRootElement : public Element
{
public:
    explicit ServicesRootElement(Module *module)
        : Element(module, &Module::isAdministratorHierarchy)
    {
    }
    OperationTypes availableOperations() const override { return OperationReadLight; }
    void performOperation(OperationType type, ElementData *data, int n) override
    {
        if (type == OperationReadLight)
            forwardToModule(type, data, n);
    }
};

/** The Services root as the console has it: the element every service hangs under. */
class ServicesRootPlugin : public Plugin
{
public:
    ServicesRootPlugin()
    {
        auto *module = new Module(QStringLiteral("ServiceServicesModule"), this);
        module->setLevel(1);
        auto *root = new ServicesRootElement(module);
        root->setId(QStringLiteral("ServiceServices"));
        root->setElementType(QStringLiteral("ServiceServices"));
        root->setTitle(QStringLiteral("Services"));
        root->setLevel(1);
        module->appendElement(root);
        appendModule(module);
    }
    Element *root() const { return modules().first()->firstElement(); }
};

ServiceTarnElement *tarnElement(ServiceTarnPlugin &plugin)
{
    return qobject_cast<ServiceTarnElement *>(plugin.modules().at(0)->firstElement());
}

Element *daemonElement(ServiceTarnPlugin &plugin)
{
    return plugin.modules().at(1)->firstElement();
}

} // namespace

/**
 * The Tarn plug-in as the console meets it: its package check and library entry points, the
 * role it detects when it is built, the modules, elements and widgets it hands over and where
 * the console places them, the operations the elements offer and the tasks they become.
 */
class TestServiceTarnPlugin : public QObject
{
    Q_OBJECT

private slots:
    void identity_data();
    void identity();
    void roleDetection_data();
    void roleDetection();
    void preparedRoleIsTakenOnce();
    void caption();
    void packageCheck_data();
    void packageCheck();
    void availableOperations_data();
    void availableOperations();
    void placeInTheConsole_data();
    void placeInTheConsole();
    void operationsBecomeTasks_data();
    void operationsBecomeTasks();
    void libraryEntryPoints();
};

void TestServiceTarnPlugin::identity_data()
{
    QTest::addColumn<bool>("server");
    QTest::newRow("server") << true;
    QTest::newRow("client") << false;
}

void TestServiceTarnPlugin::identity()
{
    QFETCH(bool, server);

    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    TarnSimulation tarn(host);
    QVERIFY2(tarn.install(), qPrintable(tarn.errorString()));
    QVERIFY(tarn.setRole(server ? TarnSimulation::Server : TarnSimulation::Client));

    ServiceTarnPlugin plugin;
    QCOMPARE(plugin.type(), 5);
    QCOMPARE(plugin.name(), QStringLiteral("ServiceTarnPlugin"));
    QCOMPARE(plugin.description(), QStringLiteral("Service Tarn plugin"));
    QCOMPARE(plugin.requiredPackageNames(), QStringList{QStringLiteral("tarn-client")});
    QCOMPARE(plugin.modules().size(), 2);

    auto *module = qobject_cast<ServiceTarnModule *>(plugin.modules().at(0));
    QVERIFY(module);
    QCOMPARE(plugin.tarnModule(), module);
    QCOMPARE(module->objectName(), QStringLiteral("ServiceTarnModule"));
    QCOMPARE(module->parent(), &plugin);
    QCOMPARE(module->parentModuleName(), QStringLiteral("ServiceServicesModule"));
    QCOMPARE(module->level(), 2);
    QCOMPARE(module->flag(), false);
    QCOMPARE(module->getData(QStringLiteral("description")).toString(),
             QStringLiteral("Service Tarn module"));
    QCOMPARE(module->getData(QStringLiteral("administrator")).toBool(),
             Module::isAdministrator(module));
    QCOMPARE(module->elements().size(), 1);

    const QString id =
        server ? QStringLiteral("ServiceTarnServer") : QStringLiteral("ServiceTarnClient");
    ServiceTarnElement *element = tarnElement(plugin);
    QVERIFY(element);
    QCOMPARE(element->isServer(), server);
    QCOMPARE(element->id(), id);
    QCOMPARE(element->elementType(), id);
    QCOMPARE(element->parentId(), QStringLiteral("ServiceServices"));
    QCOMPARE(element->level(), 2);
    QCOMPARE(element->title(),
             server ? QStringLiteral("Tarn server") : QStringLiteral("Tarn client"));
    QVERIFY(element->contentFlag());
    QVERIFY(element->serviceData());
    QVERIFY(!element->serviceData()->isStateKnown());

    auto *widget = qobject_cast<ServiceTarnElementWidget *>(module->elementWidget(id));
    QVERIFY(widget);
    QCOMPARE(module->elementWidgets().size(), 1);
    QCOMPARE(element->elementWidget(ElementWidgetRoleView), widget);
    QCOMPARE(widget->objectName(), QStringLiteral("ServiceTarnElementWidget"));
    QCOMPARE(widget->windowTitle(), QStringLiteral("General"));
    QCOMPARE(widget->elementType(), id);
    QVERIFY(!widget->parent());
    QCOMPARE(widget->findChild<QLabel *>(QStringLiteral("_stateLabelLabel"))->text(),
             QStringLiteral("State:"));
    QCOMPARE(widget->findChild<QLabel *>(QStringLiteral("_stateLabel"))->text(),
             QStringLiteral("TextLabel"));
    QCOMPARE(widget->findChild<QGroupBox *>(QStringLiteral("_confGroupBox"))->title(),
             QStringLiteral("Configuration"));
    auto *view = widget->findChild<QTreeView *>(QStringLiteral("_confTreeView"));
    QVERIFY(view);
    QVERIFY(view->isSortingEnabled());
    QCOMPARE(view->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Name"));
    QCOMPARE(view->model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Value"));

    auto *daemonModule = qobject_cast<ServiceTarnTarndModule *>(plugin.modules().at(1));
    QVERIFY(daemonModule);
    QCOMPARE(daemonModule->objectName(), QStringLiteral("ServiceTarnTarndModule"));
    QCOMPARE(daemonModule->parent(), &plugin);
    QCOMPARE(daemonModule->parentModuleName(), QStringLiteral("ServiceTarnModule"));
    QCOMPARE(daemonModule->level(), 3);
    QCOMPARE(daemonModule->flag(), false);
    QCOMPARE(daemonModule->getData(QStringLiteral("description")).toString(),
             QStringLiteral("Service Tarnd module"));
    QVERIFY(!daemonModule->moduleData().contains(QStringLiteral("administrator")));

    auto *daemon = qobject_cast<ServiceTarnTarndElement *>(daemonModule->firstElement());
    QVERIFY(daemon);
    QCOMPARE(daemon->id(), QStringLiteral("ServiceTarnTarnd"));
    QCOMPARE(daemon->elementType(), QStringLiteral("ServiceTarnTarnd"));
    QCOMPARE(daemon->parentId(), QStringLiteral("ServiceTarnServer"));
    QCOMPARE(daemon->level(), 3);
    QCOMPARE(daemon->title(), QStringLiteral("Tarnd"));
    QCOMPARE(daemon->caption(), QStringLiteral("Tarn: Tarnd"));

    auto *daemonWidget = qobject_cast<ServiceTarnTarndElementWidget *>(
        daemonModule->elementWidget(QStringLiteral("ServiceTarnTarnd")));
    QVERIFY(daemonWidget);
    QCOMPARE(daemonWidget->objectName(), QStringLiteral("ServiceTarnTarndElementWidget"));
    QCOMPARE(daemonWidget->windowTitle(), QStringLiteral("Tarnd"));
    QCOMPARE(daemonWidget->secondElementType(), QStringLiteral("ServiceTarnServer"));
    QVERIFY(daemonWidget->findChild<QTreeView *>(QStringLiteral("_confTreeView")));

    // The role was asked once, of the server side.
    QCOMPARE(tarn.calls(), QStringList{QStringLiteral("tarn-client status --server")});
}

void TestServiceTarnPlugin::roleDetection_data()
{
    QTest::addColumn<QString>("setUp"); // the tool's behaviour for "status --server"
    QTest::addColumn<bool>("server");

    QTest::newRow("exit 0: running server") << "running" << true;
    QTest::newRow("exit 3: stopped server") << "stopped" << true;
    QTest::newRow("exit 1") << "exit 1" << true;
    QTest::newRow("exit 4: client") << "client" << false;
    QTest::newRow("exit 4 whatever the role file says") << "exit 4" << false;
    QTest::newRow("tool missing") << "missing" << true;
    QTest::newRow("tool crashing") << "crash" << true;
    QTest::newRow("tool hanging") << "hang" << true;
}

void TestServiceTarnPlugin::roleDetection()
{
    QFETCH(QString, setUp);
    QFETCH(bool, server);

    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    ChildProcess::setReadLimitMs(TestHost::ReadLimitMs);
    TarnSimulation tarn(host);
    QVERIFY2(tarn.install(), qPrintable(tarn.errorString()));
    if (setUp == QLatin1String("stopped"))
        QVERIFY(tarn.setRunning(QStringLiteral("server"), false));
    else if (setUp == QLatin1String("client"))
        QVERIFY(tarn.setRole(TarnSimulation::Client));
    else if (setUp == QLatin1String("missing"))
        QVERIFY(tarn.removeTool(QStringLiteral("tarn-client")));
    else if (setUp != QLatin1String("running"))
        QVERIFY(tarn.setFault(QStringLiteral("client-status-server"), setUp));

    ServiceTarnElement element(nullptr);
    QCOMPARE(element.isServer(), server);
    QCOMPARE(element.id(),
             server ? QStringLiteral("ServiceTarnServer") : QStringLiteral("ServiceTarnClient"));
    QCOMPARE(element.elementType(), element.id());
    QCOMPARE(element.title(),
             server ? QStringLiteral("Tarn server") : QStringLiteral("Tarn client"));
    QVERIFY(element.contentFlag());
    if (setUp != QLatin1String("missing"))
        QCOMPARE(tarn.calls(), QStringList{QStringLiteral("tarn-client status --server")});
}

void TestServiceTarnPlugin::preparedRoleIsTakenOnce()
{
    // The console asks the role while it loads the other plug-ins; the element made next takes
    // that answer, any later one asks again.
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    TarnSimulation tarn(host);
    QVERIFY2(tarn.install(), qPrintable(tarn.errorString()));
    QVERIFY(tarn.setRole(TarnSimulation::Client));
    ServiceTarnElement::prepareRole();
    ServiceTarnElement::prepareRole(); // one question, however often it is prepared
    QTRY_COMPARE_WITH_TIMEOUT(tarn.calls().size(), 1, 30000);

    ServiceTarnElement prepared(nullptr);
    QVERIFY(!prepared.isServer());
    QCOMPARE(tarn.calls().size(), 1);
    ServiceTarnElement later(nullptr);
    QVERIFY(!later.isServer());
    QCOMPARE(tarn.calls(), (QStringList{QStringLiteral("tarn-client status --server"),
                                        QStringLiteral("tarn-client status --server")}));
}

void TestServiceTarnPlugin::caption()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    TarnSimulation tarn(host);
    QVERIFY2(tarn.install(), qPrintable(tarn.errorString()));

    ServiceTarnElement server(nullptr);
    QCOMPARE(server.caption(), QStringLiteral("Tarn: server "));
    server.elementData()->setName(QStringLiteral("example.org"));
    QCOMPARE(server.caption(), QStringLiteral("Tarn: server example.org"));
    server.setElementData(nullptr);
    QCOMPARE(server.caption(), QStringLiteral("Tarn: server undefined"));

    QVERIFY(tarn.setRole(TarnSimulation::Client));
    ServiceTarnElement client(nullptr);
    client.setElementData(nullptr);
    QCOMPARE(client.caption(), QStringLiteral("Tarn: client undefined"));
    // Without a record nothing is offered beyond the reads, and nothing breaks.
    QCOMPARE(client.availableOperations(), quint64(0x38));
}

void TestServiceTarnPlugin::packageCheck_data()
{
    QTest::addColumn<QString>("status"); // empty: dpkg does not know the package
    QTest::addColumn<bool>("valid");

    QTest::newRow("installed (ii)") << "install ok installed" << true;
    QTest::newRow("removed, configuration left (rc)") << "deinstall ok config-files" << false;
    QTest::newRow("error flag") << "install reinstreq installed" << false;
    QTest::newRow("unknown package") << QString() << false;
}

void TestServiceTarnPlugin::packageCheck()
{
    QFETCH(QString, status);
    QFETCH(bool, valid);

    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    TarnSimulation tarn(host);
    QVERIFY2(tarn.install(), qPrintable(tarn.errorString()));
    QVERIFY(host.installPackage(QStringLiteral("tarn-server"), QStringLiteral("4.2-1")));
    if (!status.isEmpty())
        QVERIFY(
            host.installPackage(QStringLiteral("tarn-client"), QStringLiteral("4.2-1"), status));
    ServiceTarnPlugin plugin;
    QCOMPARE(plugin.isValid(), valid);
}

void TestServiceTarnPlugin::availableOperations_data()
{
    QTest::addColumn<bool>("server");
    QTest::addColumn<bool>("administrator");
    QTest::addColumn<int>("state"); // -1 never read, 0 stopped, 1 running
    QTest::addColumn<quint64>("offered");
    QTest::addColumn<quint64>("daemonOffers");

    for (bool server : {true, false}) {
        const char *role = server ? "server" : "client";
        QTest::addRow("%s, administrator, not read", role)
            << server << true << -1 << quint64(0x38) << quint64(0x30);
        QTest::addRow("%s, administrator, running", role)
            << server << true << 1 << quint64(0x6038) << quint64(0x6030);
        QTest::addRow("%s, administrator, stopped", role)
            << server << true << 0 << quint64(0x1038) << quint64(0x1030);
        QTest::addRow("%s, no rights, not read", role)
            << server << false << -1 << quint64(0x38) << quint64(0x30);
        QTest::addRow("%s, no rights, running", role)
            << server << false << 1 << quint64(0x38) << quint64(0x30);
        QTest::addRow("%s, no rights, stopped", role)
            << server << false << 0 << quint64(0x38) << quint64(0x30);
    }
}

void TestServiceTarnPlugin::availableOperations()
{
    QFETCH(bool, server);
    QFETCH(bool, administrator);
    QFETCH(int, state);
    QFETCH(quint64, offered);
    QFETCH(quint64, daemonOffers);

    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    TarnSimulation tarn(host);
    QVERIFY2(tarn.install(), qPrintable(tarn.errorString()));
    QVERIFY(tarn.setRole(server ? TarnSimulation::Server : TarnSimulation::Client));

    ServiceTarnPlugin plugin;
    // The daemon module keeps no "administrator" entry: it follows its parent module's.
    plugin.modules().at(0)->setData(QStringLiteral("administrator"), administrator);
    plugin.modules().at(0)->addChildModule(plugin.modules().at(1));
    Element *element = tarnElement(plugin);
    Element *daemon = daemonElement(plugin);
    if (state >= 0) {
        element->serviceData()->setState(state == 1);
        daemon->serviceData()->setState(state == 1);
    }
    QCOMPARE(element->availableOperations(), offered);
    QCOMPARE(daemon->availableOperations(), daemonOffers);
    QVERIFY(!element->isOperationAvailable(OperationReload));
    QVERIFY(!daemon->isOperationAvailable(OperationReload));
}

void TestServiceTarnPlugin::placeInTheConsole_data()
{
    QTest::addColumn<bool>("server");
    QTest::newRow("server host") << true;
    QTest::newRow("client host") << false;
}

void TestServiceTarnPlugin::placeInTheConsole()
{
    QFETCH(bool, server);

    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    TarnSimulation tarn(host);
    QVERIFY2(tarn.install(), qPrintable(tarn.errorString()));
    QVERIFY(tarn.setRole(server ? TarnSimulation::Server : TarnSimulation::Client));
    QVERIFY(tarn.setReport(TarnSimulation::Server, "DOMAIN = example.org\n"));

    ServicesRootPlugin services;
    ServiceTarnPlugin plugin;
    ConsoleRegistry registry;
    registry.addPlugin(&services, true);
    registry.addPlugin(&plugin, true);
    registry.build();

    QCOMPARE(registry.module(QStringLiteral("ServiceTarnModule"))->parentModule(),
             services.modules().first());
    QCOMPARE(registry.module(QStringLiteral("ServiceTarnTarndModule"))->parentModule(),
             plugin.modules().at(0));

    Element *element = tarnElement(plugin);
    Element *daemon = daemonElement(plugin);
    QCOMPARE(element->parentNode(), services.root());
    if (server) {
        QCOMPARE(daemon->parentNode(), element);
        QVERIFY(registry.hiddenElements().isEmpty());
        QCOMPARE(registry.resolve(QStringLiteral("ServiceTarnServer/ServiceTarnTarnd")), daemon);
    } else {
        // A client host has no server element to hang the daemon under: it is not shown.
        QVERIFY(!daemon->parentNode());
        QCOMPARE(registry.hiddenElements(), QList<Element *>{daemon});
        QVERIFY(!registry.findElement(QStringLiteral("ServiceTarnTarnd")));
    }

    // The Services root's light read reaches the directory module, not the daemon's.
    TaskRunner runner;
    QVERIFY(registry.performOperation(services.root(), OperationReadLight));
    QVERIFY(runner.waitForIdle());
    QCOMPARE(descriptions(runner.reports()),
             QStringList{server ? QStringLiteral("Read Tarn server service state")
                                : QStringLiteral("Read Tarn client service state")});
    QCOMPARE(runner.reports().first().status, TaskDescription::TaskStatusDone);
    QVERIFY(element->serviceData()->isStateKnown());
    QCOMPARE(element->caption(),
             server ? QStringLiteral("Tarn: server example.org") : QStringLiteral("Tarn: client "));
    QVERIFY(!daemon->serviceData()->isStateKnown());

    // Reading the element reads the daemon's state too, also where it is not shown.
    runner.clear();
    QVERIFY(registry.performOperation(element, OperationReadHeavy));
    QVERIFY(runner.waitForIdle());
    QCOMPARE(sorted(descriptions(runner.reports())),
             sorted({server ? QStringLiteral("Read Tarn server service configuration")
                            : QStringLiteral("Read Tarn client service configuration"),
                     QStringLiteral("Read Tarnd service state")}));
    QVERIFY(daemon->serviceData()->isStateKnown());
    QVERIFY(daemon->serviceData()->state());
}

void TestServiceTarnPlugin::operationsBecomeTasks_data()
{
    QTest::addColumn<bool>("server");
    QTest::addColumn<bool>("onDaemon");
    QTest::addColumn<int>("operation");
    QTest::addColumn<QStringList>("tasks"); // in any order: elements' tasks run side by side
    QTest::addColumn<QStringList>("calls"); // likewise

    const QString tarndState = QStringLiteral("Read Tarnd service state");
    const QString tarndStatus = QStringLiteral("/etc/init.d/tarnd status");

    const QString serverHeavy = QStringLiteral("Read Tarn server service configuration");
    const QString serverStatus = QStringLiteral("tarn-client status --server");
    QTest::newRow("server: light read")
        << true << false << int(OperationReadLight) << QStringList() << QStringList();
    QTest::newRow("server: content") << true << false << int(OperationReadContent)
                                     << QStringList{tarndState} << QStringList{tarndStatus};
    QTest::newRow("server: heavy read")
        << true << false << int(OperationReadHeavy) << QStringList{serverHeavy, tarndState}
        << QStringList{serverStatus, tarndStatus};
    // A control action of the server or client is followed by the element's heavy read (and
    // with it the daemon's state), not by a state read of its own.
    for (const char *action : {"start", "stop", "restart"}) {
        const QString word = QString::fromLatin1(action);
        const QString title = word.left(1).toUpper() + word.mid(1);
        const int operation = word == QLatin1String("start")  ? OperationStart
                              : word == QLatin1String("stop") ? OperationStop
                                                              : OperationRestart;
        QTest::addRow("server: %s", action)
            << true << false << operation
            << QStringList{QStringLiteral("%1 Tarn server service").arg(title), serverHeavy,
                           tarndState}
            << QStringList{QStringLiteral("tarn-init %1 --force").arg(word), serverStatus,
                           tarndStatus};
    }
    QTest::newRow("server: reload is ignored")
        << true << false << int(OperationReload) << QStringList() << QStringList();
    QTest::newRow("server: update is ignored")
        << true << false << int(OperationUpdate) << QStringList() << QStringList();

    const QString clientHeavy = QStringLiteral("Read Tarn client service configuration");
    const QString clientStatus = QStringLiteral("tarn-client status --client");
    QTest::newRow("client: light read")
        << false << false << int(OperationReadLight) << QStringList() << QStringList();
    QTest::newRow("client: content") << false << false << int(OperationReadContent)
                                     << QStringList{tarndState} << QStringList{tarndStatus};
    QTest::newRow("client: heavy read")
        << false << false << int(OperationReadHeavy) << QStringList{clientHeavy, tarndState}
        << QStringList{clientStatus, tarndStatus};
    for (const char *action : {"start", "stop", "restart"}) {
        const QString word = QString::fromLatin1(action);
        const QString title = word.left(1).toUpper() + word.mid(1);
        const int operation = word == QLatin1String("start")  ? OperationStart
                              : word == QLatin1String("stop") ? OperationStop
                                                              : OperationRestart;
        QTest::addRow("client: %s", action)
            << false << false << operation
            << QStringList{QStringLiteral("%1 Tarn client service").arg(title), clientHeavy,
                           tarndState}
            << QStringList{QStringLiteral("tarn-client %1 --force").arg(word), clientStatus,
                           tarndStatus};
    }
    QTest::newRow("client: reload is ignored")
        << false << false << int(OperationReload) << QStringList() << QStringList();

    const QString tarndHeavy = QStringLiteral("Read Tarnd service configuration");
    QTest::newRow("daemon: light read") << true << true << int(OperationReadLight)
                                        << QStringList{tarndState} << QStringList{tarndStatus};
    QTest::newRow("daemon: heavy read")
        << true << true << int(OperationReadHeavy) << QStringList{tarndHeavy}
        << QStringList{tarndStatus, QStringLiteral("tarn-client status --client")};
    for (const char *action : {"start", "stop", "restart", "reload"}) {
        const QString word = QString::fromLatin1(action);
        const QString title = word.left(1).toUpper() + word.mid(1);
        const int operation = word == QLatin1String("start")     ? OperationStart
                              : word == QLatin1String("stop")    ? OperationStop
                              : word == QLatin1String("restart") ? OperationRestart
                                                                 : OperationReload;
        // Reload is not offered, but asked for it the module reloads with "force-reload". A
        // plain init-script service: the action, then one state read.
        const QString argument =
            word == QLatin1String("reload") ? QStringLiteral("force-reload") : word;
        QTest::addRow("daemon: %s", action)
            << true << true << operation
            << QStringList{QStringLiteral("%1 Tarnd service").arg(title)}
            << QStringList{QStringLiteral("/etc/init.d/tarnd %1").arg(argument), tarndStatus};
    }
    QTest::newRow("daemon: content is ignored")
        << true << true << int(OperationReadContent) << QStringList() << QStringList();
}

void TestServiceTarnPlugin::operationsBecomeTasks()
{
    QFETCH(bool, server);
    QFETCH(bool, onDaemon);
    QFETCH(int, operation);
    QFETCH(QStringList, tasks);
    QFETCH(QStringList, calls);

    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    TarnSimulation tarn(host);
    QVERIFY2(tarn.install(), qPrintable(tarn.errorString()));
    QVERIFY(tarn.setRole(server ? TarnSimulation::Server : TarnSimulation::Client));

    ServicesRootPlugin services;
    ServiceTarnPlugin plugin;
    ConsoleRegistry registry;
    registry.addPlugin(&services, true);
    registry.addPlugin(&plugin, true);
    registry.build();
    QVERIFY(tarn.clearCalls());

    Element *element = onDaemon ? daemonElement(plugin) : tarnElement(plugin);
    // The element's own operations, offered or not, as the console or a module would ask.
    TaskRunner runner;
    element->performOperation(OperationType(operation), nullptr, 0);
    QVERIFY(runner.waitForIdle());
    QCOMPARE(sorted(descriptions(runner.reports())), sorted(tasks));
    for (const TaskReport &report : runner.reports())
        QVERIFY2(report.status == TaskDescription::TaskStatusDone,
                 qPrintable(report.description + report.message));
    QCOMPARE(sorted(tarn.calls()), sorted(calls));
    if (operation == OperationReadContent && !onDaemon)
        QVERIFY(!element->contentFlag());
    else
        QVERIFY(element->contentFlag() == !onDaemon);
}

void TestServiceTarnPlugin::libraryEntryPoints()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    TarnSimulation tarn(host);
    QVERIFY2(tarn.install(), qPrintable(tarn.errorString()));

    QPluginLoader loader(QStringLiteral(OXA_TARN_PLUGIN_FILE));
    const QJsonObject meta = loader.metaData();
    QCOMPARE(meta.value(QStringLiteral("IID")).toString(), QStringLiteral("vell-admin-oxa/0.0"));
    QCOMPARE(meta.value(QStringLiteral("className")).toString(),
             QStringLiteral("ServiceTarnPlugin"));
    QVERIFY(meta.value(QStringLiteral("MetaData")).toObject().isEmpty());

    QObject *instance = loader.instance();
    QVERIFY2(instance, qPrintable(loader.errorString()));
    QCOMPARE(loader.instance(), instance); // one plug-in object per library
    auto *plugin = qobject_cast<Plugin *>(instance);
    QVERIFY(plugin);
    QCOMPARE(instance->qt_metacast("vell-admin-oxa/0.0"), static_cast<void *>(plugin));
    QCOMPARE(instance->qt_metacast("ServiceTarnPlugin"), static_cast<void *>(instance));
    QCOMPARE(plugin->modules().size(), 2);
    delete instance;
}

OXA_TEST_MAIN(TestServiceTarnPlugin)
#include "tst_servicetarnplugin.moc"

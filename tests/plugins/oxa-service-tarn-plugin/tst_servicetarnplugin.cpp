#include "childprocess.h"
#include "servicetarnelement.h"
#include "servicetarnelementwidget.h"
#include "servicetarnmodule.h"
#include "servicetarnplugin.h"
#include "servicetarntarndelement.h"
#include "servicetarntarndelementwidget.h"
#include "servicetarntarndmodule.h"
#include "servicetaskcheck.h"
#include "tarnsimulation.h"
#include "taskrunner.h"
#include "testhost.h"

#include <consoleregistry.h>
#include <elementdata.h>
#include <localhostconnection.h>

#include <QGroupBox>
#include <QLabel>
#include <QTest>
#include <QTreeView>

#include <algorithm>

namespace {

QStringList sorted(QStringList list)
{
    std::sort(list.begin(), list.end());
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
 * The Tarn plug-in as the console meets it: the role it detects when it is built, its widget's
 * form, its caption, and where the console places its elements. What every plug-in shares
 * (entry points, identity, package check, operations and their tasks) is in
 * tst_pluginconformance.
 */
class TestServiceTarnPlugin : public QObject
{
    Q_OBJECT

private slots:
    void form();
    void roleDetection_data();
    void roleDetection();
    void preparedRoleIsTakenOnce();
    void roleAskedOfTheConnectionSet();
    void caption();
    void placeInTheConsole_data();
    void placeInTheConsole();
};

void TestServiceTarnPlugin::form()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    TarnSimulation tarn(host);
    QVERIFY2(tarn.install(), qPrintable(tarn.errorString()));

    ServiceTarnPlugin plugin;
    QCOMPARE(plugin.tarnModule(), plugin.modules().value(0));
    auto *widget = qobject_cast<ServiceTarnElementWidget *>(
        plugin.tarnModule()->elementWidget(QStringLiteral("ServiceTarnServer")));
    QVERIFY(widget);
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
    const QSharedPointer<HostConnection> local(new LocalHostConnection);
    ServiceTarnElement::prepareRole(local);
    ServiceTarnElement::prepareRole(local); // one question, however often it is prepared
    QTRY_COMPARE_WITH_TIMEOUT(tarn.calls().size(), 1, 30000);

    ServiceTarnElement prepared(nullptr);
    QVERIFY(!prepared.isServer());
    QCOMPARE(tarn.calls().size(), 1);
    ServiceTarnElement later(nullptr);
    QVERIFY(!later.isServer());
    QCOMPARE(tarn.calls(), (QStringList{QStringLiteral("tarn-client status --server"),
                                        QStringLiteral("tarn-client status --server")}));
}

void TestServiceTarnPlugin::roleAskedOfTheConnectionSet()
{
    // Made, the module asks nothing (the console has not given it its host yet); given its
    // connection, it asks that one, and the element's id and widget follow the answer.
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    TarnSimulation tarn(host);
    QVERIFY2(tarn.install(), qPrintable(tarn.errorString()));
    QVERIFY(tarn.setRole(TarnSimulation::Client));
    QVERIFY(tarn.clearCalls());

    ServiceTarnPlugin plugin;
    QVERIFY(tarn.calls().isEmpty());
    plugin.tarnModule()->setHostConnection(QSharedPointer<HostConnection>(new LocalHostConnection));
    QCOMPARE(tarn.calls(), QStringList{QStringLiteral("tarn-client status --server")});
    Element *element = plugin.tarnModule()->firstElement();
    QCOMPARE(element->id(), QStringLiteral("ServiceTarnClient"));
    QVERIFY(qobject_cast<ServiceTarnElementWidget *>(
        plugin.tarnModule()->elementWidget(QStringLiteral("ServiceTarnClient"))));
    QVERIFY(element->elementWidget(ElementWidgetRoleView));
    QCOMPARE(tarn.calls().size(), 1);
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
    // As the console does when it loads the plug-in: the role is asked of this connection.
    for (Module *module : plugin.modules())
        module->setHostConnection(Module::hostConnectionOf(nullptr));
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
    QCOMPARE(ServiceTaskCheck::descriptions(runner.reports()),
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
    QCOMPARE(sorted(ServiceTaskCheck::descriptions(runner.reports())),
             sorted({server ? QStringLiteral("Read Tarn server service configuration")
                            : QStringLiteral("Read Tarn client service configuration"),
                     QStringLiteral("Read Tarnd service state")}));
    QVERIFY(daemon->serviceData()->isStateKnown());
    QVERIFY(daemon->serviceData()->state());
}

OXA_TEST_MAIN(TestServiceTarnPlugin)
#include "tst_servicetarnplugin.moc"

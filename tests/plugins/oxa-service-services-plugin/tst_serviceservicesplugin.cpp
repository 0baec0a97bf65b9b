#include "serviceservicesplugin.h"
#include "taskrunner.h"
#include "testhost.h"
#include "testicontheme.h"

#include <consoleregistry.h>
#include <elementdata.h>
#include <pluginbase.h>
#include <serviceelement.h>
#include <servicefamily.h>
#include <serviceheavyreadtask.h>
#include <servicemodule.h>

#include <QIcon>
#include <QPluginLoader>
#include <QTemporaryDir>
#include <QTest>

namespace {

/** A module below the root: records the operations that reach it. */
class ServiceStandInModule : public Module
{
public:
    ServiceStandInModule() : Module(QStringLiteral("ServiceStandInModule")) {}
    struct Call
    {
        ContextOperation *context;
        OperationType type;
        ElementData *data;
    };
    QList<Call> calls;
    void performOperation(ContextOperation *context, OperationType type, ElementData *data,
                          int n) override
    {
        calls.append({context, type, data});
        Module::performOperation(context, type, data, n);
    }
};

class CountedData : public ElementData
{
public:
    inline static int alive = 0;
    CountedData() { ++alive; }
    ~CountedData() override { --alive; }
};

// Two more services, built like every service plug-in, so that the root's light read has
// several modules to reach.
inline constexpr ServiceFamily alphaFamily{
    "/etc/init.d/oxa-alpha",    nullptr,
    "Read Alpha service state", "Start Alpha service",
    "Stop Alpha service",       "Restart Alpha service",
    "Reload Alpha service",     "Read Alpha service configuration"};
inline constexpr ServiceFamily betaFamily{
    "/etc/init.d/oxa-beta",    nullptr,
    "Read Beta service state", "Start Beta service",
    "Stop Beta service",       "Restart Beta service",
    "Reload Beta service",     "Read Beta service configuration"};

template <const ServiceFamily &F> class FamilyModule : public ServiceModule
{
public:
    FamilyModule(const QString &stem, QObject *parent)
        : ServiceModule(QStringLiteral("Service%1Module").arg(stem), parent,
                        QStringLiteral("ServiceServicesModule"), 2, stem)
    {
        addElementAndWidget(new CommonServiceElement(this, QStringLiteral("Service") + stem,
                                                     QStringLiteral("ServiceServices"), 2, stem,
                                                     stem),
                            nullptr);
    }

protected:
    AbstractTask *createRootLightRead(Element *first) override
    {
        return new FamilyReadLightTask<F>(first);
    }
};

class StandInServicesPlugin : public ServicePlugin
{
public:
    StandInServicesPlugin() : ServicePlugin(nullptr, 5, QStringLiteral("StandIn"), QString())
    {
        appendModule(new FamilyModule<alphaFamily>(QStringLiteral("Alpha"), this));
        appendModule(new FamilyModule<betaFamily>(QStringLiteral("Beta"), this));
    }
};

QStringList descriptions(const QList<TaskReport> &reports)
{
    QStringList list;
    for (const TaskReport &report : reports)
        list << report.description;
    list.sort();
    return list;
}

} // namespace

/**
 * The Services root's light read, which every service module below it answers with a light
 * read of its own service. What every plug-in shares (identity, package check, operations) is
 * in tst_pluginconformance.
 */
class TestServiceServicesPlugin : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void operationsReachingTheModule_data();
    void operationsReachingTheModule();
    void moduleDropsTheRecord();
    void lightReadReachesEveryServiceModule();

private:
    QTemporaryDir m_themes;
};

void TestServiceServicesPlugin::initTestCase()
{
    // The root shows the computer icon, whatever themes the machine has (Debian 13's Adwaita
    // has changed its icons).
    QVERIFY(installIconTheme(m_themes, {QStringLiteral("computer")}));
}

void TestServiceServicesPlugin::operationsReachingTheModule_data()
{
    QTest::addColumn<int>("operation");
    QTest::addColumn<bool>("reaches");

    QTest::newRow("light read") << int(OperationReadLight) << true;
    QTest::newRow("heavy read") << int(OperationReadHeavy) << false;
    QTest::newRow("start") << int(OperationStart) << false;
    QTest::newRow("read content") << int(OperationReadContent) << false;
}

void TestServiceServicesPlugin::operationsReachingTheModule()
{
    QFETCH(int, operation);
    QFETCH(bool, reaches);

    ServiceServicesPlugin plugin;
    Module *module = plugin.modules().first();
    ServiceStandInModule below;
    module->addChildModule(&below);
    Element *root = module->firstElement();
    root->performOperation(OperationType(operation), nullptr, 0);
    if (!reaches) {
        QVERIFY(below.calls.isEmpty());
        return;
    }
    QCOMPARE(below.calls.size(), 1);
    QCOMPARE(below.calls.first().context, static_cast<ContextOperation *>(root));
    QCOMPARE(below.calls.first().type, OperationReadLight);
}

void TestServiceServicesPlugin::moduleDropsTheRecord()
{
    ServiceServicesPlugin plugin;
    Module *module = plugin.modules().first();
    ServiceStandInModule below;
    module->addChildModule(&below);
    const int before = CountedData::alive;
    module->performOperation(module->firstElement(), OperationReadLight, new CountedData, 0);
    QCOMPARE(CountedData::alive, before);
    QCOMPARE(below.calls.size(), 1);
    QCOMPARE(below.calls.first().data, nullptr);
}

void TestServiceServicesPlugin::lightReadReachesEveryServiceModule()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(host.writeStatusScript(QStringLiteral("/etc/init.d/smbd"), 0));
    QVERIFY(host.writeStatusScript(QStringLiteral("/etc/init.d/oxa-alpha"), 3));
    QVERIFY(host.writeStatusScript(QStringLiteral("/etc/init.d/oxa-beta"), 0));

    // The root, the Mail group and Samba as the console loads them, from their libraries.
    QList<Plugin *> plugins;
    for (const char *file :
         {OXA_SERVICES_PLUGIN_FILE, OXA_MAIL_PLUGIN_FILE, OXA_SAMBA_PLUGIN_FILE}) {
        QPluginLoader loader(QString::fromLocal8Bit(file));
        auto *plugin = qobject_cast<Plugin *>(loader.instance());
        QVERIFY2(plugin, qPrintable(loader.errorString()));
        plugins << plugin;
    }
    StandInServicesPlugin standIns;
    plugins << &standIns;

    QScopedPointer<ConsoleRegistry> console(new ConsoleRegistry);
    ConsoleRegistry &registry = *console;
    for (Plugin *plugin : std::as_const(plugins))
        registry.addPlugin(plugin, true);
    registry.build();

    Element *root = registry.findElement(QStringLiteral("ServiceServices"));
    QVERIFY(root);
    QCOMPARE(root->data(0, Qt::DecorationRole).value<QIcon>().name(), QStringLiteral("computer"));
    QStringList below;
    for (TreeNode *node : root->childNodes())
        below << qobject_cast<Element *>(node)->id();
    below.sort();
    QCOMPARE(below, QStringList({"ServiceAlpha", "ServiceBeta", "ServiceMail", "ServiceSamba"}));
    Element *mail = registry.findElement(QStringLiteral("ServiceMail"));
    QCOMPARE(mail->treeNodeSpecialFlags(), 1); // no mail service below it

    TaskRunner runner;
    QVERIFY(registry.performOperation(root, OperationReadLight));
    QVERIFY(runner.waitForIdle());
    // One light read per service module; the Mail group has no service of its own.
    QCOMPARE(descriptions(runner.reports()),
             QStringList({"Read Alpha service state", "Read Beta service state",
                          "Read Samba service state"}));
    for (const TaskReport &report : runner.reports())
        QCOMPARE(report.status, TaskDescription::TaskStatusDone);
    QVERIFY(registry.findElement(QStringLiteral("ServiceSamba"))->serviceData()->state());
    QVERIFY(!registry.findElement(QStringLiteral("ServiceAlpha"))->serviceData()->state());
    QVERIFY(registry.findElement(QStringLiteral("ServiceBeta"))->serviceData()->state());

    console.reset();
    for (int i = 0; i < 3; ++i)
        delete plugins.at(i);
}

OXA_TEST_MAIN(TestServiceServicesPlugin)
#include "tst_serviceservicesplugin.moc"

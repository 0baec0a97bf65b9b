#include "serviceserviceselement.h"
#include "serviceservicesmodule.h"
#include "serviceservicesplugin.h"
#include "taskrunner.h"
#include "testhost.h"

#include <consoleregistry.h>
#include <elementdata.h>
#include <nodeselementwidget.h>
#include <pluginbase.h>
#include <serviceelement.h>
#include <servicefamily.h>
#include <serviceheavyreadtask.h>
#include <servicemodule.h>

#include <QDir>
#include <QFile>
#include <QIcon>
#include <QImage>
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
 * The Services root: its plug-in, module, element and widget, and its light read, which
 * every service module below it answers with a light read of its own service.
 */
class TestServiceServicesPlugin : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void identity();
    void element();
    void computerIconInColumnZeroOnly();
    void operationsReachingTheModule_data();
    void operationsReachingTheModule();
    void moduleDropsTheRecord();
    void lightReadReachesEveryServiceModule();

private:
    QTemporaryDir m_themes;
};

void TestServiceServicesPlugin::initTestCase()
{
    // The offscreen platform knows no icon theme: one of the suite's own holds the computer
    // icon, whatever themes the machine has (Debian 13's Adwaita has changed its icons).
    QVERIFY(m_themes.isValid());
    const QString devices = m_themes.filePath(QStringLiteral("oxa-test/16x16/devices"));
    QVERIFY(QDir().mkpath(devices));
    QFile index(m_themes.filePath(QStringLiteral("oxa-test/index.theme")));
    QVERIFY(index.open(QIODevice::WriteOnly));
    index.write("[Icon Theme]\nName=oxa-test\nDirectories=16x16/devices\n\n"
                "[16x16/devices]\nSize=16\nType=Fixed\n");
    index.close();
    QImage image(16, 16, QImage::Format_ARGB32);
    image.fill(Qt::green);
    QVERIFY(image.save(devices + QStringLiteral("/computer.png")));
    QIcon::setThemeSearchPaths({m_themes.path()});
    QIcon::setThemeName(QStringLiteral("oxa-test"));
}

void TestServiceServicesPlugin::identity()
{
    ServiceServicesPlugin plugin;
    QCOMPARE(plugin.type(), 1);
    QCOMPARE(plugin.name(), QStringLiteral("ServiceServicesPlugin"));
    QCOMPARE(plugin.description(), QStringLiteral("Services plugin"));
    QVERIFY(plugin.isValid());
    QVERIFY(plugin.requiredPackageNames().isEmpty());
    QCOMPARE(plugin.modules().size(), 1);

    Module *module = plugin.modules().first();
    QVERIFY(qobject_cast<ServiceServicesModule *>(module));
    QCOMPARE(module->objectName(), QStringLiteral("ServiceServicesModule"));
    QCOMPARE(module->parent(), &plugin);
    QVERIFY(module->parentModuleName().isEmpty());
    QCOMPARE(module->level(), 1);
    QCOMPARE(module->flag(), false);
    QCOMPARE(module->getData(QStringLiteral("description")).toString(),
             QStringLiteral("Module for service support"));
    QCOMPARE(module->getData(QStringLiteral("administrator")).toBool(),
             Module::isAdministrator(module));

    QCOMPARE(module->elementWidgets().size(), 1);
    auto *widget = qobject_cast<NodesElementWidget *>(module->elementWidgets().first());
    QVERIFY(widget);
    QCOMPARE(widget->elementType(), QStringLiteral("ServiceServices"));
    QCOMPARE(widget->module(), module);
    QVERIFY(!widget->parent());
    QCOMPARE(module->firstElement()->elementWidget(ElementWidgetRoleView), widget);
}

void TestServiceServicesPlugin::element()
{
    ServiceServicesPlugin plugin;
    Module *module = plugin.modules().first();
    QCOMPARE(module->elements().size(), 1);
    auto *root = qobject_cast<ServiceServicesElement *>(module->firstElement());
    QVERIFY(root);
    QVERIFY(!qobject_cast<ServiceElement *>(root));
    QCOMPARE(root->id(), QStringLiteral("ServiceServices"));
    QCOMPARE(root->elementType(), QStringLiteral("ServiceServices"));
    QCOMPARE(root->secondElementType(), QStringLiteral("ServiceServices"));
    QVERIFY(root->parentId().isEmpty());
    QCOMPARE(root->level(), 1);
    QCOMPARE(root->title(), QStringLiteral("Services"));
    QCOMPARE(root->caption(), QStringLiteral("Services"));
    QVERIFY(root->elementData());
    QVERIFY(!root->serviceData());
    QCOMPARE(root->treeNodeSpecialFlags(), int(TreeNodeFlagExpanded));

    // The light read, with or without administrator rights.
    QCOMPARE(root->availableOperations(), quint64(OperationReadLight));
    module->setData(QStringLiteral("administrator"), false);
    QCOMPARE(root->availableOperations(), quint64(OperationReadLight));
}

void TestServiceServicesPlugin::computerIconInColumnZeroOnly()
{
    ServiceServicesPlugin plugin;
    Element *root = plugin.modules().first()->firstElement();
    const QVariant decoration = root->data(0, Qt::DecorationRole);
    QVERIFY(decoration.canConvert<QIcon>());
    QCOMPARE(decoration.value<QIcon>().name(), QStringLiteral("computer"));
    QVERIFY(!root->data(1, Qt::DecorationRole).isValid());
    QCOMPARE(root->data(0, Qt::DisplayRole).toString(), QStringLiteral("Services"));
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

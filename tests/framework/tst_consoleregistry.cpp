// ConsoleRegistry: module and element trees from plug-ins, supplements, selectors, and the
// operations it lets through.

#include "testobjects.h"

#include <consoleregistry.h>
#include <plugin.h>

#include <QtTest>

#include <memory>
#include <unistd.h>

namespace {

QString dump(const TreeNode *node)
{
    QStringList parts;
    for (const TreeNode *child : node->childNodes()) {
        const auto *element = qobject_cast<const Element *>(child);
        QString part = element && element->id().isEmpty() ? element->title() : child->id();
        if (child->childCount() > 0)
            part += QLatin1Char('(') + dump(child) + QLatin1Char(')');
        parts << part;
    }
    return parts.join(QLatin1Char(' '));
}

QStringList objectNames(const QList<Module *> &modules)
{
    QStringList names;
    for (const Module *module : modules)
        names << module->objectName();
    return names;
}

/** The plug-ins of one test, the modules' call log, and the registry built from them. */
class Console
{
public:
    QList<OperationCall> log;

    ~Console()
    {
        registry.reset(); // detaches supplements while the modules are still there
        qDeleteAll(m_plugins);
    }

    Plugin *plugin(bool valid = true)
    {
        auto *plugin = new Plugin;
        m_plugins << plugin;
        m_valid << valid;
        return plugin;
    }
    RecordingModule *module(Plugin *plugin, const QString &name, const QString &parent = {})
    {
        auto *module = new RecordingModule(name, &log, plugin);
        module->setParentModuleName(parent);
        plugin->appendModule(module);
        return module;
    }
    template <typename T = Element>
    T *element(Module *module, const QString &id, const QString &parentId = {},
               const QString &title = {})
    {
        auto *element = new T(module, grantAccess);
        element->setId(id);
        element->setParentId(parentId);
        element->setTitle(title.isEmpty() ? id : title);
        module->appendElement(element);
        return element;
    }
    /// A supplement of the package plug-in: attach hangs a "Packages" element under the
    /// context, detach deletes what it is given.
    SupplementModule *supplement(Plugin *plugin, Module *work, const QString &parentModule,
                                 const QString &parentElementId)
    {
        auto *supplement =
            new SupplementModule(QStringLiteral("Packages") + parentElementId, 3, parentModule,
                                 QString(), parentElementId, work, plugin);
        plugin->appendModule(supplement);
        return supplement;
    }
    static void makeWorkModule(RecordingModule *work)
    {
        work->hook = [work](ContextOperation *context, OperationType type, ElementData *&) {
            Element *target = context ? context->elementContext() : nullptr;
            if (!target)
                return;
            if (type == OperationAttach) {
                auto *added = new SupplementElement(work, grantAccess);
                added->setTitle(QStringLiteral("Packages"));
                work->appendElement(added);
                target->append(added);
            } else if (type == OperationDetach) {
                delete target;
            }
        };
    }

    ConsoleRegistry &build(bool paranoid = false)
    {
        registry = std::make_unique<ConsoleRegistry>();
        registry->setParanoid(paranoid);
        for (int i = 0; i < m_plugins.size(); ++i)
            registry->addPlugin(m_plugins.at(i), m_valid.at(i));
        registry->build();
        return *registry;
    }

    std::unique_ptr<ConsoleRegistry> registry;

private:
    QList<Plugin *> m_plugins;
    QList<bool> m_valid;
};

QList<OperationCall> callsOf(const QList<OperationCall> &log, OperationType type)
{
    QList<OperationCall> calls;
    for (const OperationCall &call : log) {
        if (call.type == type)
            calls << call;
    }
    return calls;
}

} // namespace

class TestConsoleRegistry : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { Module::setViewerMode(false); }

    void buildsTreesByNames();
    void hidesElementsWithoutParent();
    void paranoidReachesEveryModule();
    void supplementsAttachAtBuild();
    void supplementsReachLaterElementsByType();
    void resolve_data();
    void resolve();
    void performsOnlyOfferedOperations();
    void viewerModeRemovesAdministratorRights();
    void destructionLeavesElementsToModules();
};

void TestConsoleRegistry::buildsTreesByNames()
{
    Console c;
    // Loaded in an order that has children before their parents.
    Plugin *late = c.plugin();
    Module *lateModule =
        c.module(late, QStringLiteral("LateModule"), QStringLiteral("ChildModule"));
    c.element(lateModule, QStringLiteral("Deep"), QStringLiteral("Child"));
    Plugin *root = c.plugin();
    Module *rootModule = c.module(root, QStringLiteral("RootModule"));
    c.element(rootModule, QStringLiteral("Root"));
    Plugin *child = c.plugin();
    Module *childModule =
        c.module(child, QStringLiteral("ChildModule"), QStringLiteral("RootModule"));
    c.element(childModule, QStringLiteral("Child"), QStringLiteral("Root"));
    c.element(childModule, QStringLiteral("Child2"), QStringLiteral("Root"));
    Plugin *invalid = c.plugin(false);
    Module *invalidModule =
        c.module(invalid, QStringLiteral("InvalidModule"), QStringLiteral("RootModule"));
    c.element(invalidModule, QStringLiteral("Bad"), QStringLiteral("Root"));

    ConsoleRegistry &r = c.build();
    QCOMPARE(objectNames(r.modules()), (QStringList{"LateModule", "RootModule", "ChildModule"}));
    QCOMPARE(objectNames(r.rootModules()), QStringList{"RootModule"});
    QCOMPARE(objectNames(rootModule->childModules()), QStringList{"ChildModule"});
    QCOMPARE(objectNames(childModule->childModules()), QStringList{"LateModule"});
    QCOMPARE(lateModule->parentModule(), childModule);
    QCOMPARE(r.module(QStringLiteral("InvalidModule")), nullptr);
    QVERIFY(r.isValid(root));
    QVERIFY(!r.isValid(invalid));
    QCOMPARE(r.plugins().size(), 4);

    QCOMPARE(dump(r.elementRoot()), QStringLiteral("Root(Child(Deep) Child2)"));
    QCOMPARE(r.findElement(QStringLiteral("Bad")), nullptr);
    QCOMPARE(r.elements().size(), 4);
    QVERIFY(invalidModule->parentModule() == nullptr);

    // Built once.
    r.build();
    QCOMPARE(dump(r.elementRoot()), QStringLiteral("Root(Child(Deep) Child2)"));
}

void TestConsoleRegistry::hidesElementsWithoutParent()
{
    // A client host's daemon names a parent element that this host does not have.
    Console c;
    Plugin *p = c.plugin();
    Module *m = c.module(p, QStringLiteral("TarnModule"));
    c.element(m, QStringLiteral("Tarn"));
    Element *daemon = c.element(m, QStringLiteral("Tarnd"), QStringLiteral("TarnServer"));
    Element *below = c.element(m, QStringLiteral("TarndPart"), QStringLiteral("Tarnd"));
    ConsoleRegistry &r = c.build();
    QCOMPARE(dump(r.elementRoot()), QStringLiteral("Tarn"));
    const QList<Element *> hidden = r.hiddenElements();
    QCOMPARE(hidden.size(), 2);
    QVERIFY(hidden.contains(daemon));
    QVERIFY(hidden.contains(below));
    QCOMPARE(r.resolve(QStringLiteral("Tarnd")), nullptr);
    QCOMPARE(daemon->parentNode(), nullptr);
    QCOMPARE(below->parentNode(), nullptr);
}

void TestConsoleRegistry::paranoidReachesEveryModule()
{
    Console c;
    Plugin *p = c.plugin();
    Module *a = c.module(p, QStringLiteral("A"));
    Module *b = c.module(p, QStringLiteral("B"), QStringLiteral("A"));
    c.build(true);
    QVERIFY(a->isParanoid());
    QVERIFY(b->isParanoid());
}

void TestConsoleRegistry::supplementsAttachAtBuild()
{
    Console c;
    Plugin *samba = c.plugin();
    Module *sambaModule = c.module(samba, QStringLiteral("ServiceSambaModule"));
    Element *sambaElement = c.element(sambaModule, QStringLiteral("ServiceSamba"));
    Plugin *packages = c.plugin();
    RecordingModule *work = c.module(packages, QStringLiteral("ServicePackagesModule"));
    Console::makeWorkModule(work);
    SupplementModule *toSamba = c.supplement(packages, work, QStringLiteral("ServiceSambaModule"),
                                             QStringLiteral("ServiceSamba"));
    SupplementModule *toNothing = c.supplement(packages, work, QStringLiteral("ServiceCupsModule"),
                                               QStringLiteral("ServiceCups"));

    ConsoleRegistry &r = c.build();
    const QList<OperationCall> attaches = callsOf(c.log, OperationAttach);
    QCOMPARE(attaches.size(), 1);
    QCOMPARE(attaches.first().module, QStringLiteral("ServicePackagesModule"));
    QCOMPARE(attaches.first().element, sambaElement);
    QCOMPARE(dump(r.elementRoot()), QStringLiteral("ServiceSamba(Packages)"));
    QCOMPARE(toSamba->parentModule(), sambaModule);
    QVERIFY(toNothing->attachedElements().isEmpty());
    QCOMPARE(r.resolve(QStringLiteral("ServiceSamba/Packages")),
             toSamba->attachedElements().value(0));

    // The deferred check for new elements must not attach a second time.
    QTest::qWait(20);
    QCOMPARE(callsOf(c.log, OperationAttach).size(), 1);

    c.log.clear();
    r.detachSupplements();
    const QList<OperationCall> detaches = callsOf(c.log, OperationDetach);
    QCOMPARE(detaches.size(), 1);
    QCOMPARE(dump(r.elementRoot()), QStringLiteral("ServiceSamba"));
}

void TestConsoleRegistry::supplementsReachLaterElementsByType()
{
    Console c;
    Plugin *pgsql = c.plugin();
    Module *pgModule = c.module(pgsql, QStringLiteral("ServicePgsqlModule"));
    Element *clusters = c.element(pgModule, QStringLiteral("ServicePgsqlClusters"));
    Plugin *packages = c.plugin();
    RecordingModule *work = c.module(packages, QStringLiteral("ServicePackagesModule"));
    Console::makeWorkModule(work);
    c.supplement(packages, work, QStringLiteral("ServicePgsqlModule"),
                 QStringLiteral("ServicePgsqlCluster"));
    ConsoleRegistry &r = c.build();
    QVERIFY(callsOf(c.log, OperationAttach).isEmpty());

    // Clusters are read at run time: elements without an id, of the cluster type.
    auto newCluster = [&](const QString &title) {
        auto *cluster = new Element(pgModule, grantAccess);
        cluster->setElementType(QStringLiteral("ServicePgsqlCluster"));
        cluster->setTitle(title);
        pgModule->appendElement(cluster);
        return cluster;
    };
    Element *main15 = newCluster(QStringLiteral("main-15"));
    clusters->append(main15);
    QTRY_COMPARE(callsOf(c.log, OperationAttach).size(), 1);
    QCOMPARE(callsOf(c.log, OperationAttach).first().element, main15);
    QCOMPARE(dump(r.elementRoot()), QStringLiteral("ServicePgsqlClusters(main-15(Packages))"));

    // A bulk read of two more; the first one is not attached again.
    clusters->loadTreeFromList(
        {newCluster(QStringLiteral("main-16")), newCluster(QStringLiteral("test-16"))});
    QTRY_COMPARE(callsOf(c.log, OperationAttach).size(), 3);
    QTest::qWait(20);
    QCOMPARE(callsOf(c.log, OperationAttach).size(), 3);
    QCOMPARE(r.resolve(QStringLiteral("test-16/Packages"))->parentNode()->parentNode(), clusters);

    // An element that goes before the deferred attach runs is simply skipped.
    Element *shortLived = newCluster(QStringLiteral("gone"));
    clusters->append(shortLived);
    delete shortLived;
    QTest::qWait(20);
    QCOMPARE(callsOf(c.log, OperationAttach).size(), 3);
}

void TestConsoleRegistry::resolve_data()
{
    QTest::addColumn<QString>("selector");
    QTest::addColumn<QString>("expectedPath"); // ids/titles from the top, "" for none

    QTest::newRow("id") << "ServiceApache"
                        << "ServiceServices/ServiceApache";
    QTest::newRow("title below id") << "ServiceSamba/Samba"
                                    << "ServiceServices/ServiceSamba/Samba";
    QTest::newRow("same title elsewhere") << "ServiceApache/Samba"
                                          << "ServiceServices/ServiceApache/Samba";
    QTest::newRow("first match depth first") << "Samba"
                                             << "ServiceServices/ServiceSamba/Samba";
    QTest::newRow("deeper path") << "ServiceServices/ServiceApache/Samba"
                                 << "ServiceServices/ServiceApache/Samba";
    QTest::newRow("title of an element with id is no selector") << "Apache"
                                                                << "";
    QTest::newRow("not below") << "ServiceSamba/ServiceApache"
                               << "";
    QTest::newRow("unknown") << "ServiceNothing"
                             << "";
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("extra slashes") << "/ServiceSamba//Samba/"
                                   << "ServiceServices/ServiceSamba/Samba";
    QTest::newRow("own child before a deeper one") << "ServiceApache/Log"
                                                   << "ServiceServices/ServiceApache/Log";
    QTest::newRow("deeper one by its path") << "ServiceApache/Inner/Log"
                                            << "ServiceServices/ServiceApache/Inner/Log";
}

void TestConsoleRegistry::resolve()
{
    QFETCH(QString, selector);
    QFETCH(QString, expectedPath);

    Console c;
    Plugin *p = c.plugin();
    Module *m = c.module(p, QStringLiteral("M"));
    c.element(m, QStringLiteral("ServiceServices"));
    c.element(m, QStringLiteral("ServiceSamba"), QStringLiteral("ServiceServices"),
              QStringLiteral("Samba"));
    c.element(m, QStringLiteral("ServiceApache"), QStringLiteral("ServiceServices"),
              QStringLiteral("Apache"));
    ConsoleRegistry &r = c.build();
    for (const QString &parent :
         {QStringLiteral("ServiceSamba"), QStringLiteral("ServiceApache")}) {
        auto *packages = new Element(m, grantAccess);
        packages->setTitle(QStringLiteral("Samba"));
        m->appendElement(packages);
        r.findElement(parent)->append(packages);
    }
    // Apache's own "Log" after a child that has one too (as the Kerberos KDC has Kadmin).
    const auto addChild = [&](TreeNode *parent, const QString &title) {
        auto *element = new Element(m, grantAccess);
        element->setTitle(title);
        m->appendElement(element);
        parent->append(element);
        return element;
    };
    Element *inner =
        addChild(r.findElement(QStringLiteral("ServiceApache")), QStringLiteral("Inner"));
    addChild(inner, QStringLiteral("Log"));
    addChild(r.findElement(QStringLiteral("ServiceApache")), QStringLiteral("Log"));

    Element *found = r.resolve(selector);
    QStringList path;
    for (TreeNode *node = found; node && node != r.elementRoot(); node = node->parentNode()) {
        auto *element = qobject_cast<Element *>(node);
        path.prepend(element->id().isEmpty() ? element->title() : element->id());
    }
    QCOMPARE(path.join(QLatin1Char('/')), expectedPath);
}

void TestConsoleRegistry::performsOnlyOfferedOperations()
{
    Console c;
    Plugin *p = c.plugin();
    Module *m = c.module(p, QStringLiteral("ServiceSambaModule"));
    auto *samba = c.element<ServiceElement>(m, QStringLiteral("ServiceSamba"));
    ConsoleRegistry &r = c.build();

    QVERIFY(!r.performOperation(samba, OperationStart)); // state not read yet
    QVERIFY(!r.performOperation(samba, OperationDelete));
    QVERIFY(!r.performOperation(nullptr, OperationReadLight));
    QVERIFY(c.log.isEmpty());
    QVERIFY(r.performOperation(samba, OperationReadLight));
    QCOMPARE(typesOf(c.log), QList<OperationType>{OperationReadLight});

    samba->serviceData()->setState(false);
    c.log.clear();
    QVERIFY(!r.performOperation(samba, OperationStop));
    QVERIFY(r.performOperation(samba, OperationStart));
    QCOMPARE(typesOf(c.log), QList<OperationType>{OperationStart});
}

void TestConsoleRegistry::viewerModeRemovesAdministratorRights()
{
    Console c;
    Plugin *p = c.plugin();
    // Made as a plug-in makes its module, before the host switched to viewer mode.
    Module *early = c.module(p, QStringLiteral("EarlyModule"));
    early->setData(QStringLiteral("administrator"), true);
    auto *earlyElement = new ServiceElement(early, Module::isAdministratorHierarchy);
    early->appendElement(earlyElement);
    earlyElement->serviceData()->setState(true);

    Module::setViewerMode(true);
    Module *late = c.module(p, QStringLiteral("LateModule"));
    late->setData(QStringLiteral("administrator"), Module::isAdministrator(late));
    auto *lateElement = new ServiceElement(late, Module::isAdministratorHierarchy);
    late->appendElement(lateElement);
    lateElement->serviceData()->setState(true);
    QCOMPARE(late->getData(QStringLiteral("administrator")), QVariant(false));

    ConsoleRegistry &r = c.build();
    const OperationTypes reads = OperationReadLight | OperationReadHeavy;
    QCOMPARE(lateElement->availableOperations(), reads);
    QCOMPARE(earlyElement->availableOperations(), reads);
    QVERIFY(!r.performOperation(earlyElement, OperationStop));
}

void TestConsoleRegistry::destructionLeavesElementsToModules()
{
    Console c;
    Plugin *p = c.plugin();
    Module *m = c.module(p, QStringLiteral("M"));
    Element *top = c.element(m, QStringLiteral("Top"));
    Element *below = c.element(m, QStringLiteral("Below"), QStringLiteral("Top"));
    const QPointer<Element> guardTop(top);
    c.build();
    c.registry.reset();
    QVERIFY(guardTop);
    QCOMPARE(top->parentNode(), nullptr);
    QCOMPARE(below->parentNode(), top);
    QCOMPARE(m->elements().size(), 2);
}

QTEST_GUILESS_MAIN(TestConsoleRegistry)
#include "tst_consoleregistry.moc"

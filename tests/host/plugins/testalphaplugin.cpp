// The first test plug-in: the root element (as the Services root does it) with a service
// below it, a service one level further down, and an element whose parent does not exist.
#include "testpluginsupport.h"
#include "testserviceelement.h"
#include "testservicemodule.h"

#include <element.h>
#include <module.h>
#include <nodeselementwidget.h>
#include <plugin.h>

#include <QIcon>

/** The root element: offers the light read, which its module passes to every child module. */
class TestRootElement : public Element
{
    Q_OBJECT
public:
    explicit TestRootElement(Module *module) : Element(module, &Module::isAdministratorHierarchy)
    {
        setId(QStringLiteral("TestRoot"));
        setElementType(QStringLiteral("TestRoot"));
        setSecondElementType(QStringLiteral("TestRoot"));
        setLevel(1);
        setTitle(QStringLiteral("Test root"));
        setElementData(new ElementData(QStringLiteral("TestRoot")));
    }
    OperationTypes availableOperations() const override { return OperationReadLight; }
    void performOperation(OperationType type, ElementData *data, int n) override
    {
        if (type == OperationReadLight)
            forwardToModule(type, data, n);
    }
    int treeNodeSpecialFlags() const override { return TreeNodeFlagExpanded; }
    QVariant data(int column, int role) const override
    {
        if (column == 0 && role == Qt::DecorationRole)
            return QIcon::fromTheme(QStringLiteral("computer"));
        return Element::data(column, role);
    }
};

class TestAlphaPlugin : public Plugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "vell-admin-oxa/0.0")
    Q_INTERFACES(Plugin)
public:
    explicit TestAlphaPlugin(QObject *parent = nullptr) : Plugin(parent)
    {
        setType(Plugin::TypeCore);
        setName(QStringLiteral("TestAlphaPlugin"));
        // Which preparations had been started when this object was made.
        setProperty("preparedBefore", qEnvironmentVariable("OXA_HOST_TEST_PREPARED"));
        setDescription(QStringLiteral("Test alpha plugin"));

        auto *root = new Module(QStringLiteral("TestRootModule"), this);
        root->setLevel(1);
        root->setData(QStringLiteral("description"), QStringLiteral("Test root module"));
        root->setData(QStringLiteral("administrator"), Module::isAdministrator(root));
        auto *rootElement = new TestRootElement(root);
        root->appendElement(rootElement);
        root->insertElementWidget(new NodesElementWidget(QStringLiteral("TestRoot"), root,
                                                         &Module::isAdministratorHierarchy));
        root->connectElementWidgets();
        appendModule(root);

        auto *service = new TestServiceModule(QStringLiteral("TestServiceModule"),
                                              QStringLiteral("TestRootModule"), 2,
                                              QStringLiteral("TestRoot"), this);
        TestServiceElement::Setup setup;
        setup.id = QStringLiteral("TestService");
        setup.parentId = QStringLiteral("TestRoot");
        setup.level = 2;
        setup.title = QStringLiteral("Test service");
        setup.caption = QStringLiteral("Test service (alpha)");
        setup.script = QStringLiteral("testservice");
        setup.always = OperationUpdate;
        setup.whileRunning = OperationReload;
        setup.iconName = QStringLiteral("text-plain");
        service->addService(new TestServiceElement(service, setup));
        TestServiceElement::Setup orphan;
        orphan.id = QStringLiteral("TestOrphan");
        orphan.parentId = QStringLiteral("TestNowhere");
        orphan.title = QStringLiteral("Test orphan");
        orphan.caption = orphan.title;
        orphan.script = QStringLiteral("testorphan");
        service->addService(new TestServiceElement(service, orphan));
        appendModule(service);

        auto *sub = new TestServiceModule(QStringLiteral("TestSubModule"),
                                          QStringLiteral("TestServiceModule"), 3,
                                          QStringLiteral("TestRoot"), this);
        TestServiceElement::Setup subSetup;
        subSetup.id = QStringLiteral("TestSub");
        subSetup.parentId = QStringLiteral("TestService");
        subSetup.level = 3;
        subSetup.title = QStringLiteral("Test sub");
        subSetup.caption = QStringLiteral("Test sub service");
        subSetup.script = QStringLiteral("testsub");
        subSetup.specialFlags = TreeNodeFlagLeaf;
        subSetup.always = OperationClearCache;
        subSetup.clearCacheQuestion = QStringLiteral("Clear the test cache? Its jobs are lost.");
        sub->addService(new TestServiceElement(sub, subSetup));
        appendModule(sub);
    }

    bool isValid() const override { return TestPluginSupport::barrier(QStringLiteral("alpha")); }
    QStringList requiredPackageNames() const override { return {QStringLiteral("alpha-pkg")}; }
};

#include "testalphaplugin.moc"

// The third test plug-in: a service that is not valid on this host (unless the test says
// otherwise through OXA_HOST_TEST_GAMMA_VALID), so it must add nothing to the tree.
#include "testpluginsupport.h"
#include "testserviceelement.h"
#include "testservicemodule.h"

#include <plugin.h>

namespace {
// Loaded after Alpha's library, prepared before Alpha's object is made.
void prepareGamma()
{
    qputenv("OXA_HOST_TEST_PREPARED", qgetenv("OXA_HOST_TEST_PREPARED") + "gamma;");
}
} // namespace

OXA_REGISTER_PREPARATION(prepareGamma)

class TestGammaPlugin : public Plugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "vell-admin-oxa/0.0")
    Q_INTERFACES(Plugin)
public:
    explicit TestGammaPlugin(QObject *parent = nullptr) : Plugin(parent)
    {
        setType(Plugin::TypeService);
        setName(QStringLiteral("TestGammaPlugin"));
        setDescription(QStringLiteral("Test gamma plugin"));
        auto *module = new TestServiceModule(QStringLiteral("TestGammaModule"),
                                             QStringLiteral("TestRootModule"), 2,
                                             QStringLiteral("TestRoot"), this);
        TestServiceElement::Setup setup;
        setup.id = QStringLiteral("TestGamma");
        setup.parentId = QStringLiteral("TestRoot");
        setup.title = QStringLiteral("Test gamma");
        setup.caption = setup.title;
        setup.script = QStringLiteral("testgamma");
        module->addService(new TestServiceElement(module, setup));
        appendModule(module);
    }

    bool isValid() const override
    {
        const bool barrierMet = TestPluginSupport::barrier(QStringLiteral("gamma"));
        return barrierMet && qEnvironmentVariableIntValue("OXA_HOST_TEST_GAMMA_VALID") == 1;
    }
    QStringList requiredPackageNames() const override { return {QStringLiteral("gamma-pkg")}; }
};

#include "testgammaplugin.moc"

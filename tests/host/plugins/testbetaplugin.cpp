// The second test plug-in: a container of items below the first plug-in's root, placed by the
// parent module name and parent id alone, and a supplement that hangs an element under the
// first plug-in's service.
#include "testcontainermodule.h"
#include "testpluginsupport.h"

#include <module.h>
#include <plugin.h>

class TestBetaPlugin : public Plugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "vell-admin-oxa/0.0")
    Q_INTERFACES(Plugin)
public:
    explicit TestBetaPlugin(QObject *parent = nullptr) : Plugin(parent)
    {
        setType(Plugin::TypeService);
        setName(QStringLiteral("TestBetaPlugin"));
        setDescription(QStringLiteral("Test beta plugin"));
        appendModule(new TestContainerModule(this));
        auto *work = new TestAttachModule(this);
        appendModule(work);
        appendModule(new SupplementModule(
            QStringLiteral("TestSupplementModule"), 3, QStringLiteral("TestServiceModule"),
            QStringLiteral("Test supplement"), QStringLiteral("TestService"), work, this));
    }

    bool isValid() const override { return TestPluginSupport::barrier(QStringLiteral("beta")); }
    QStringList requiredPackageNames() const override
    {
        return {QStringLiteral("beta-pkg"), QStringLiteral("beta-extra")};
    }
};

#include "testbetaplugin.moc"

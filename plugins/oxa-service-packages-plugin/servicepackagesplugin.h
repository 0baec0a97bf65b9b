#pragma once

#include <plugin.h>

/**
 * The installed-packages plug-in: one work module and a supplement module per service, which
 * hang a package list under each service element of the other plug-ins.
 */
class ServicePackagesPlugin : public Plugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID OXA_PLUGIN_IID)
    Q_INTERFACES(Plugin)
public:
    explicit ServicePackagesPlugin(QObject *parent = nullptr);
    ~ServicePackagesPlugin() override;
};

#pragma once

#include <pluginbase.h>

/** The "Services" root under which every service hangs; valid on every host. */
class ServiceServicesPlugin : public ServicePlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID OXA_PLUGIN_IID)
    Q_INTERFACES(Plugin)
public:
    explicit ServiceServicesPlugin(QObject *parent = nullptr);
};

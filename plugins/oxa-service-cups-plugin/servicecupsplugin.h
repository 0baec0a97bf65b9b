#pragma once

#include <pluginbase.h>

/** The CUPS print scheduler: valid where the package "cups-common" is installed. */
class ServiceCupsPlugin : public ServicePlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID OXA_PLUGIN_IID)
    Q_INTERFACES(Plugin)
public:
    explicit ServiceCupsPlugin(QObject *parent = nullptr);
};

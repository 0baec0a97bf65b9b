#pragma once

#include <pluginbase.h>

/** The cron daemon: valid where the package "cron" is installed. */
class ServiceCronPlugin : public ServicePlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID OXA_PLUGIN_IID)
    Q_INTERFACES(Plugin)
public:
    explicit ServiceCronPlugin(QObject *parent = nullptr);
};

#pragma once

#include <pluginbase.h>

/** The Samba file server: valid where the package "samba" is installed. */
class ServiceSambaPlugin : public ServicePlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID OXA_PLUGIN_IID)
    Q_INTERFACES(Plugin)
public:
    explicit ServiceSambaPlugin(QObject *parent = nullptr);
};

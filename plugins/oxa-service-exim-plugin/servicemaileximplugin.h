#pragma once

#include <pluginbase.h>

class ServiceMailEximModule;

/** The Exim mail transfer agent: valid where the package "exim4-base" is installed. */
class ServiceMailEximPlugin : public ServicePlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID OXA_PLUGIN_IID)
    Q_INTERFACES(Plugin)
public:
    explicit ServiceMailEximPlugin(QObject *parent = nullptr);

    ServiceMailEximModule *module() const { return m_module; }

private:
    ServiceMailEximModule *m_module = nullptr;
};

#pragma once

#include <pluginbase.h>

#include <QPointer>

class ServiceTarnModule;

/**
 * The Tarn directory service: valid where the package "tarn-client" is installed. Building it
 * asks "tarn-client" whether the host is a directory server (up to 30 s).
 */
class ServiceTarnPlugin : public ServicePlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID OXA_PLUGIN_IID)
    Q_INTERFACES(Plugin)
public:
    explicit ServiceTarnPlugin(QObject *parent = nullptr);

    /// The directory module (the first module); null once it is gone.
    ServiceTarnModule *tarnModule() const;

private:
    QPointer<ServiceTarnModule> m_tarnModule;
};

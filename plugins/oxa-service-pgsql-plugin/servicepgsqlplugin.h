#pragma once

#include <pluginbase.h>

/** The PostgreSQL clusters: valid where a PostgreSQL server package is installed. */
class ServicePgsqlPlugin : public ServicePlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID OXA_PLUGIN_IID)
    Q_INTERFACES(Plugin)
public:
    explicit ServicePgsqlPlugin(QObject *parent = nullptr);

    /// Valid at the first installed server package that names a major version.
    bool isValid() const override;
};

#pragma once

#include <pluginbase.h>

/** The LDAP server slapd: valid where the package "slapd" is installed. */
class ServiceSlapdPlugin : public ServicePlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID OXA_PLUGIN_IID)
    Q_INTERFACES(Plugin)
public:
    explicit ServiceSlapdPlugin(QObject *parent = nullptr);
};

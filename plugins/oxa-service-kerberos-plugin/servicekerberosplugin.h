#pragma once

#include <pluginbase.h>

/** The Kerberos KDC and its administration server: valid where "krb5-kdc" is installed. */
class ServiceKerberosPlugin : public ServicePlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID OXA_PLUGIN_IID)
    Q_INTERFACES(Plugin)
public:
    explicit ServiceKerberosPlugin(QObject *parent = nullptr);
};

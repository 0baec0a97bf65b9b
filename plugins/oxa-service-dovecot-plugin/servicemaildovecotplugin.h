#pragma once

#include <pluginbase.h>

/** The Dovecot IMAP/POP server: valid where the package "dovecot-core" is installed. */
class ServiceMailDovecotPlugin : public ServicePlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID OXA_PLUGIN_IID)
    Q_INTERFACES(Plugin)
public:
    explicit ServiceMailDovecotPlugin(QObject *parent = nullptr);
};

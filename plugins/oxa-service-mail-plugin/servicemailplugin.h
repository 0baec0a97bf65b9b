#pragma once

#include <pluginbase.h>

class ServiceMailModule;

/** The "Mail" group: valid where Exim or Dovecot is installed. */
class ServiceMailPlugin : public ServicePlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID OXA_PLUGIN_IID)
    Q_INTERFACES(Plugin)
public:
    explicit ServiceMailPlugin(QObject *parent = nullptr);

    /// True when "exim4-base" or "dovecot-core" is installed. A package dpkg-query does not
    /// know counts as not installed; a query that hangs ends the check.
    bool isValid() const override;
    QStringList requiredPackageNames() const override;

    ServiceMailModule *mailModule() const { return m_module; }

private:
    ServiceMailModule *m_module;
};

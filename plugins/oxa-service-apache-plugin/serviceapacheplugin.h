#pragma once

#include <pluginbase.h>

#include <QPointer>

class ServiceApacheModule;

/**
 * The Apache HTTP server: valid where the package "apache2" is installed; its major.minor
 * version goes to the module for the element's caption.
 */
class ServiceApachePlugin : public ServicePlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID OXA_PLUGIN_IID)
    Q_INTERFACES(Plugin)
public:
    explicit ServiceApachePlugin(QObject *parent = nullptr);

    /// Valid at the first status line of an installed apache2 that names a major.minor
    /// version; the version is stored as the module's "version".
    bool isValid() const override;

    ServiceApacheModule *apacheModule() const { return m_module; }
    /// The version in the first of @p lines (dpkg-query output) that gives one, or "".
    static QString versionIn(const QStringList &lines);

private:
    QPointer<ServiceApacheModule> m_module;
};

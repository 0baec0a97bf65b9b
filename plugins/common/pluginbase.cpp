#include "pluginbase.h"

#include "packagecheck.h"
#include "servicerows.h"

#include <hostconnection.h>

ServicePlugin::ServicePlugin(QObject *parent, int type, const QString &name,
                             const QString &description, const QString &package,
                             const QString &pattern, const QStringList &requiredPackages)
    : Plugin(parent), m_package(package), m_pattern(pattern), m_required(requiredPackages)
{
    setType(type);
    setName(name);
    setDescription(description);
}

ServicePlugin::ServicePlugin(QObject *parent, const QString &name, const QString &description,
                             const ServiceRow &row)
    : ServicePlugin(parent, Plugin::TypeService, name, description,
                    QString::fromLatin1(row.package),
                    QStringLiteral("ii\\s") + QString::fromLatin1(row.package))
{
}

bool ServicePlugin::isValid() const
{
    if (m_package.isEmpty())
        return Plugin::isValid();
    return PackageCheck::isInstalled(*hostConnection(), m_package, m_pattern);
}

QStringList ServicePlugin::requiredPackageNames() const
{
    if (m_required.isEmpty() && !m_package.isEmpty())
        return {m_package};
    return m_required;
}

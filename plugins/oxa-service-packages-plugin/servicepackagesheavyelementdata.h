#pragma once

#include <elementdata.h>

#include <QMap>
#include <QString>

/**
 * The result of reading a service's package list: each listed package with dpkg's version,
 * or the text "not installed" or "unknown package", ordered by name.
 */
class ServicePackagesHeavyElementData : public ServiceLightElementData
{
public:
    ServicePackagesHeavyElementData() = default;
    ServicePackagesHeavyElementData(const ServicePackagesHeavyElementData &other);
    ServicePackagesHeavyElementData &operator=(const ServicePackagesHeavyElementData &other);
    ~ServicePackagesHeavyElementData() override;

    QMap<QString, QString> &packages() { return m_packages; }
    const QMap<QString, QString> &packages() const { return m_packages; }

private:
    QMap<QString, QString> m_packages;
};

#include "servicepackagesheavyelementdata.h"

ServicePackagesHeavyElementData::ServicePackagesHeavyElementData(
    const ServicePackagesHeavyElementData &other)
    : ServiceLightElementData(other), m_packages(other.m_packages)
{
}

ServicePackagesHeavyElementData &
ServicePackagesHeavyElementData::operator=(const ServicePackagesHeavyElementData &other)
{
    if (this != &other) {
        ServiceLightElementData::operator=(other);
        m_packages = other.m_packages;
    }
    return *this;
}

ServicePackagesHeavyElementData::~ServicePackagesHeavyElementData() = default;

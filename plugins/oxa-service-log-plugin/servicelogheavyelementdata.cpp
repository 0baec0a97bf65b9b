#include "servicelogheavyelementdata.h"

ServiceLogHeavyElementData::ServiceLogHeavyElementData(const ServiceLogHeavyElementData &other)
    : ServiceLightElementData(other), m_lines(other.m_lines)
{
}

ServiceLogHeavyElementData &
ServiceLogHeavyElementData::operator=(const ServiceLogHeavyElementData &other)
{
    if (this != &other) {
        ServiceLightElementData::operator=(other);
        m_lines = other.m_lines;
    }
    return *this;
}

ServiceLogHeavyElementData::~ServiceLogHeavyElementData() = default;

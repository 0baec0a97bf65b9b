#pragma once

#include <elementdata.h>

/**
 * A full read of the directory host: the state, the domain as the record's name and one
 * ConfTreeNode per reported setting in the node list.
 */
class ServiceTarnHeavyElementData : public ServiceHeavyElementData
{
public:
    ServiceTarnHeavyElementData() = default;
    ServiceTarnHeavyElementData(const ServiceTarnHeavyElementData &other) = default;
};

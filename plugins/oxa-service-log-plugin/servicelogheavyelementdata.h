#pragma once

#include "servicelog.h"

#include <elementdata.h>

#include <QVector>

/** The result of reading a service's log: its sources' lines, each source headed by its name. */
class ServiceLogHeavyElementData : public ServiceLightElementData
{
public:
    ServiceLogHeavyElementData() = default;
    ServiceLogHeavyElementData(const ServiceLogHeavyElementData &other);
    ServiceLogHeavyElementData &operator=(const ServiceLogHeavyElementData &other);
    ~ServiceLogHeavyElementData() override;

    QVector<ServiceLog::Line> &lines() { return m_lines; }
    const QVector<ServiceLog::Line> &lines() const { return m_lines; }

private:
    QVector<ServiceLog::Line> m_lines;
};

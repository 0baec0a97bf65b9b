#pragma once

#include <serviceheavyreadtask.h>
#include <servicerows.h>

/**
 * Slapd's state and the name of its configuration directory "/etc/ldap/slapd.d"; the widget's
 * file-system model lists the directory, so no file is read here.
 */
class ServiceSlapdReadHeavyTask : public ServiceHeavyReadTask
{
public:
    static constexpr const char *configPath = slapdFamily.configPath;
    explicit ServiceSlapdReadHeavyTask(Element *element);

protected:
    void readConfiguration(ServiceHeavyElementData *record) override;
};

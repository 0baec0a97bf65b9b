#pragma once

#include <serviceheavyreadtask.h>
#include <servicerows.h>

/** Exim's state and the settings of "/etc/exim4/update-exim4.conf.conf", one node each. */
class ServiceMailEximReadHeavyTask : public ServiceHeavyReadTask
{
public:
    static constexpr const char *configPath = eximFamily.configPath;

    explicit ServiceMailEximReadHeavyTask(Element *element);

protected:
    void readConfiguration(ServiceHeavyElementData *record) override;
};

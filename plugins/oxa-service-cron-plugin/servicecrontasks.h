#pragma once

#include <packagecheckedcontroltask.h>
#include <serviceheavyreadtask.h>
#include <servicerows.h>

/** Cron's state, then "/etc/crontab" and the job directories as tree nodes. */
class ServiceCronReadHeavyTask : public ServiceHeavyReadTask
{
public:
    explicit ServiceCronReadHeavyTask(Element *element);

protected:
    void readConfiguration(ServiceHeavyElementData *record) override;
};

inline constexpr char cronAdministrationProgram[] = "vell-admin-cron";

/** Starts the cron administration program "vell-admin-cron". */
class ServiceCronControlTask : public ProgramControlTask<cronAdministrationProgram>
{
public:
    explicit ServiceCronControlTask(Element *element);
};

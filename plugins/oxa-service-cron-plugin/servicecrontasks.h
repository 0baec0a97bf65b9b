#pragma once

#include <packagecheckedcontroltask.h>
#include <serviceheavyreadtask.h>
#include <servicerows.h>

#include <atomic>

/** Cron's state, then "/etc/crontab" and the job directories as tree nodes. */
class ServiceCronReadHeavyTask : public ServiceHeavyReadTask
{
public:
    explicit ServiceCronReadHeavyTask(Element *element);

protected:
    void readConfiguration(ServiceHeavyElementData *record) override;
};

/** Starts the cron administration program "vell-admin-cron". */
class ServiceCronControlTask : public PackageCheckedControlTask
{
public:
    explicit ServiceCronControlTask(Element *element);

    /// Whether a control task has found the program's package installed (kept for the process).
    static bool packageFound() { return s_packageFound.load(); }

private:
    static std::atomic<bool> s_packageFound;
};

#pragma once

#include <packagecheckedcontroltask.h>
#include <servicefamily.h>
#include <serviceheavyreadtask.h>

#include <atomic>

/** Cron's row of the service task family. */
inline constexpr ServiceFamily cronFamily{
    "/etc/init.d/cron",
    "force-reload",
    QT_TRANSLATE_NOOP("QObject", "Read Cron service state"),
    QT_TRANSLATE_NOOP("QObject", "Start Cron service"),
    QT_TRANSLATE_NOOP("QObject", "Stop Cron service"),
    QT_TRANSLATE_NOOP("QObject", "Restart Cron service"),
    QT_TRANSLATE_NOOP("QObject", "Reload Cron service"),
    QT_TRANSLATE_NOOP("QObject", "Read Cron service configuration"),
};

using ServiceCronReadLightTask = FamilyReadLightTask<cronFamily>;
using ServiceCronStartTask = FamilyStartTask<cronFamily>;
using ServiceCronStopTask = FamilyStopTask<cronFamily>;
using ServiceCronRestartTask = FamilyRestartTask<cronFamily>;
using ServiceCronReloadTask = FamilyReloadTask<cronFamily>;

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

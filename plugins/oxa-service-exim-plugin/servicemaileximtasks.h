#pragma once

#include <servicefamily.h>
#include <serviceheavyreadtask.h>

/** Exim's row of the service task family; its reload keeps the framework's action. */
inline constexpr ServiceFamily eximFamily{
    "/etc/init.d/exim4",
    nullptr,
    QT_TRANSLATE_NOOP("QObject", "Read Exim service state"),
    QT_TRANSLATE_NOOP("QObject", "Start Exim service"),
    QT_TRANSLATE_NOOP("QObject", "Stop Exim service"),
    QT_TRANSLATE_NOOP("QObject", "Restart Exim service"),
    QT_TRANSLATE_NOOP("QObject", "Reload Exim service"),
    QT_TRANSLATE_NOOP("QObject", "Read Exim service configuration"),
};

using ServiceMailEximReadLightTask = FamilyReadLightTask<eximFamily>;
using ServiceMailEximStartTask = FamilyStartTask<eximFamily>;
using ServiceMailEximStopTask = FamilyStopTask<eximFamily>;
using ServiceMailEximRestartTask = FamilyRestartTask<eximFamily>;
using ServiceMailEximReloadTask = FamilyReloadTask<eximFamily>;

/** Exim's state and the settings of "/etc/exim4/update-exim4.conf.conf", one node each. */
class ServiceMailEximReadHeavyTask : public ServiceHeavyReadTask
{
public:
    static constexpr const char *configPath = "/etc/exim4/update-exim4.conf.conf";

    explicit ServiceMailEximReadHeavyTask(Element *element);

protected:
    void readConfiguration(ServiceHeavyElementData *record) override;
};

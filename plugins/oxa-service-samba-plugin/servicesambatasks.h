#pragma once

#include <servicefamily.h>
#include <serviceheavyreadtask.h>

/** Samba's row of the service task family. */
inline constexpr ServiceFamily sambaFamily{
    "/etc/init.d/smbd",
    "force-reload",
    QT_TRANSLATE_NOOP("QObject", "Read Samba service state"),
    QT_TRANSLATE_NOOP("QObject", "Start Samba service"),
    QT_TRANSLATE_NOOP("QObject", "Stop Samba service"),
    QT_TRANSLATE_NOOP("QObject", "Restart Samba service"),
    QT_TRANSLATE_NOOP("QObject", "Reload Samba service"),
    QT_TRANSLATE_NOOP("QObject", "Read Samba service configuration"),
};

using ServiceSambaReadLightTask = FamilyReadLightTask<sambaFamily>;
using ServiceSambaStartTask = FamilyStartTask<sambaFamily>;
using ServiceSambaStopTask = FamilyStopTask<sambaFamily>;
using ServiceSambaRestartTask = FamilyRestartTask<sambaFamily>;
using ServiceSambaReloadTask = FamilyReloadTask<sambaFamily>;

/** Samba's state and its configuration file "/etc/samba/smb.conf", whole. */
class ServiceSambaReadHeavyTask : public ConfigFileReadHeavyTask
{
public:
    static constexpr const char *configPath = "/etc/samba/smb.conf";
    explicit ServiceSambaReadHeavyTask(Element *element);
};

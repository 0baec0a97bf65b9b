#pragma once

#include <servicefamily.h>
#include <serviceheavyreadtask.h>

/** Slapd's row of the service task family. */
inline constexpr ServiceFamily slapdFamily{
    "/etc/init.d/slapd",
    "force-reload",
    QT_TRANSLATE_NOOP("QObject", "Read Slapd service state"),
    QT_TRANSLATE_NOOP("QObject", "Start Slapd service"),
    QT_TRANSLATE_NOOP("QObject", "Stop Slapd service"),
    QT_TRANSLATE_NOOP("QObject", "Restart Slapd service"),
    QT_TRANSLATE_NOOP("QObject", "Reload Slapd service"),
    QT_TRANSLATE_NOOP("QObject", "Read Slapd service configuration"),
};

using ServiceSlapdReadLightTask = FamilyReadLightTask<slapdFamily>;
using ServiceSlapdStartTask = FamilyStartTask<slapdFamily>;
using ServiceSlapdStopTask = FamilyStopTask<slapdFamily>;
using ServiceSlapdRestartTask = FamilyRestartTask<slapdFamily>;
using ServiceSlapdReloadTask = FamilyReloadTask<slapdFamily>;

/**
 * Slapd's state and the name of its configuration directory "/etc/ldap/slapd.d"; the widget's
 * file-system model lists the directory, so no file is read here.
 */
class ServiceSlapdReadHeavyTask : public ServiceHeavyReadTask
{
public:
    static constexpr const char *configPath = "/etc/ldap/slapd.d";
    explicit ServiceSlapdReadHeavyTask(Element *element);

protected:
    void readConfiguration(ServiceHeavyElementData *record) override;
};

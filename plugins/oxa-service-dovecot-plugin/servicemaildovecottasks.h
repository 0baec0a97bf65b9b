#pragma once

#include <servicefamily.h>
#include <serviceheavyreadtask.h>

/** Dovecot's row of the service task family. */
inline constexpr ServiceFamily dovecotFamily{
    "/etc/init.d/dovecot",
    "force-reload",
    QT_TRANSLATE_NOOP("QObject", "Read Dovecot service state"),
    QT_TRANSLATE_NOOP("QObject", "Start Dovecot service"),
    QT_TRANSLATE_NOOP("QObject", "Stop Dovecot service"),
    QT_TRANSLATE_NOOP("QObject", "Restart Dovecot service"),
    QT_TRANSLATE_NOOP("QObject", "Reload Dovecot service"),
    QT_TRANSLATE_NOOP("QObject", "Read Dovecot service configuration"),
};

using ServiceMailDovecotReadLightTask = FamilyReadLightTask<dovecotFamily>;
using ServiceMailDovecotStartTask = FamilyStartTask<dovecotFamily>;
using ServiceMailDovecotStopTask = FamilyStopTask<dovecotFamily>;
using ServiceMailDovecotRestartTask = FamilyRestartTask<dovecotFamily>;
using ServiceMailDovecotReloadTask = FamilyReloadTask<dovecotFamily>;

/**
 * Dovecot's state, then its effective configuration as `doveconf` prints it: the "DOVECOT"
 * node with the full tree, then the summary nodes.
 */
class ServiceMailDovecotReadHeavyTask : public ServiceHeavyReadTask
{
public:
    static constexpr const char *program = "doveconf";

    explicit ServiceMailDovecotReadHeavyTask(Element *element);

protected:
    /// Runs "doveconf -a" (30 s at most); its exit code says nothing about what it printed.
    void readConfiguration(ServiceHeavyElementData *record) override;
};

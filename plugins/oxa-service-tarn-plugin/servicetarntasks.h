#pragma once

#include <serviceheavyreadtask.h>
#include <servicerows.h>
#include <servicetasks.h>
#include <tasks.h>

#include <QStringList>

class ServiceTarnHeavyElementData;

/** The directory's own tools and the options the plug-in gives them. */
namespace TarnTool {
inline constexpr char client[] = "tarn-client";
inline constexpr char init[] = "tarn-init";
inline constexpr char serverOption[] = "--server";
inline constexpr char clientOption[] = "--client";
inline constexpr char forceOption[] = "--force";
/// What "tarn-client status --server" exits with on a host that is no directory server.
inline constexpr int notServerExitCode = 4;
/// Where the daemon logs; shown as the last row of its configuration.
inline constexpr char daemonLog[] = "/var/log/tarn/tarnd.log";
} // namespace TarnTool

/**
 * The daemon's state from its init script, then the daemon's settings from
 * "tarn-client status --client" (first word of each value) and its log file, always last.
 */
class ServiceTarnTarndReadHeavyTask : public ServiceHeavyReadTask
{
public:
    explicit ServiceTarnTarndReadHeavyTask(Element *element);

protected:
    void readConfiguration(ServiceHeavyElementData *record) override;
};

/**
 * The server and the client have no init script: their own tools start, stop and restart
 * them. These rows give only the tool and the descriptions of those three tasks; the reads
 * are the classes below, and there is no reload.
 */
inline constexpr ServiceFamily tarnServerControl{
    TarnTool::init,
    nullptr,
    nullptr,
    QT_TRANSLATE_NOOP("QObject", "Start Tarn server service"),
    QT_TRANSLATE_NOOP("QObject", "Stop Tarn server service"),
    QT_TRANSLATE_NOOP("QObject", "Restart Tarn server service"),
    nullptr,
    nullptr,
};

inline constexpr ServiceFamily tarnClientControl{
    TarnTool::client,
    nullptr,
    nullptr,
    QT_TRANSLATE_NOOP("QObject", "Start Tarn client service"),
    QT_TRANSLATE_NOOP("QObject", "Stop Tarn client service"),
    QT_TRANSLATE_NOOP("QObject", "Restart Tarn client service"),
    nullptr,
    nullptr,
};

/**
 * A family control task whose tool is always told "--force". Afterwards the element is read
 * whole rather than its state alone: that read also learns the domain the caption shows and,
 * through the daemon's module, the daemon's state.
 */
template <class FamilyTask> class TarnForcedTask : public FamilyTask
{
public:
    explicit TarnForcedTask(Element *element) : FamilyTask(element)
    {
        this->extraArguments() << QString::fromLatin1(TarnTool::forceOption);
        this->setHeavyReadAfterChange(true);
    }
};

/** "tarn-init start --force"; a failure adds the note on the files it depends on. */
class ServiceTarnServerStartTask : public TarnForcedTask<FamilyStartTask<tarnServerControl>>
{
public:
    using TarnForcedTask::TarnForcedTask;
    void run() override;
};

using ServiceTarnServerStopTask = TarnForcedTask<FamilyStopTask<tarnServerControl>>;
using ServiceTarnServerRestartTask = TarnForcedTask<FamilyRestartTask<tarnServerControl>>;
using ServiceTarnClientStartTask = TarnForcedTask<FamilyStartTask<tarnClientControl>>;
using ServiceTarnClientStopTask = TarnForcedTask<FamilyStopTask<tarnClientControl>>;
using ServiceTarnClientRestartTask = TarnForcedTask<FamilyRestartTask<tarnClientControl>>;

/** The client's state: "tarn-client status --client". */
class ServiceTarnClientReadLightTask : public ReadPropertyLightServiceTask
{
public:
    explicit ServiceTarnClientReadLightTask(Element *element);
};

/**
 * The server's state: "tarn-client status --server"; its "DOMAIN" line becomes the record's
 * name, which the element's caption shows.
 */
class ServiceTarnServerReadLightTask : public ReadPropertyLightServiceTask
{
public:
    explicit ServiceTarnServerReadLightTask(Element *element);
    void run() override;
};

/**
 * The server's state and settings from "tarn-client status --server": the domain becomes the
 * record's name, every known setting a row. After a good run the state and the domain go to
 * the element, the record to the widgets.
 */
class ServiceTarnServerReadHeavyTask : public ReadPropertyHeavyTask
{
public:
    explicit ServiceTarnServerReadHeavyTask(Element *element);

    ServiceHeavyElementData *record() const;
    void run() override;
    void afterRun() override;

protected:
    /**
     * Runs "tarn-client status <roleOption>" and sets the record's state from its exit code
     * (0 running, anything else stopped), its output lines in @p lines. False, with the task
     * failed, when there is no record or the tool did not finish.
     */
    bool readState(const char *roleOption, QStringList *lines);
};

/** The client's state from "tarn-client status --client"; a client shows no settings. */
class ServiceTarnClientReadHeavyTask : public ServiceTarnServerReadHeavyTask
{
public:
    explicit ServiceTarnClientReadHeavyTask(Element *element);
    void run() override;
};

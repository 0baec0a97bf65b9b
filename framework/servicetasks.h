#pragma once

#include "elementdata.h"
#include "tasks.h"

#include <QStringList>

class HostConnection;
struct ProcessResult;

/**
 * Runs a service's program with an action word: `program action args...`, or
 * `program args... action` when actionFirst is false (as pg_ctlcluster wants). No shell, stdin
 * closed. The status action reads the state (exit 0: running, else stopped) within the read
 * limit (30000 ms); a time-out or crash fails with "not finished". Any other action is a
 * change: never killed, it succeeds on exit 0 and fails with the shared "Exit code" message
 * otherwise (or "not finished" when it crashed); left running, its outcome is unknown. However
 * it ended, the state is then read once, the same way, and goes to the element and the
 * widgets showing it; an element without a service record (a database cluster), or one whose
 * heavy read learns more that a change alters, is read whole instead (OperationReadHeavy, a
 * follow-up).
 */
class OXA_EXPORT ServiceTask : public ElementTask
{
public:
    static const int TimeoutMs = 30000;

    ServiceTask(Element *element, const QString &program = QString(),
                const QString &action = QString(), const QStringList &arguments = QStringList(),
                bool actionFirst = true);

    QString scriptPath() const { return m_scriptPath; }
    void setScriptPath(const QString &path) { m_scriptPath = path; }
    QString action() const { return m_action; }
    void setAction(const QString &action) { m_action = action; }
    QStringList &extraArguments() { return m_arguments; }
    const QStringList &extraArguments() const { return m_arguments; }
    void setExtraArguments(const QStringList &arguments) { m_arguments = arguments; }
    bool actionFirst() const { return m_actionFirst; }
    void setActionFirst(bool first) { m_actionFirst = first; }

    /// The argument list for @p action (the task's own action when empty).
    QStringList composedArguments(const QString &action = QString()) const;
    bool isStatusAction() const;
    /// Every action but the status action changes the service.
    bool isChange() const override;
    /**
     * Whether a change is followed by the element's heavy read instead of a state read: by
     * default for an element without a service record. A plug-in sets it for an element whose
     * heavy read learns more that a change alters than the state (its name, the state of what
     * hangs under it).
     */
    bool heavyReadAfterChange() const { return m_heavyReadAfterChange; }
    void setHeavyReadAfterChange(bool heavy) { m_heavyReadAfterChange = heavy; }
    /**
     * The service's unit (systemd's name, "smbd.service"; less ".service" the init script's
     * for update-rc.d) whose boot state every state read reads too, right after the state;
     * empty (the default): the task reads no boot state and the element keeps the one it has.
     */
    QString bootUnit() const { return m_bootUnit; }
    void setBootUnit(const QString &unit) { m_bootUnit = unit; }

    void run() override;
    /// Copies a state it read into the element; after a change, also into the widgets
    /// showing the element.
    void afterRun() override;
    /// After a change, with heavyReadAfterChange(): the element's heavy read.
    QList<FollowUp> followUps() const override;

    /// Whether run() learned the state, and the record that holds it: the task's data when it
    /// is a service record, else a record of the task's own.
    bool isStateRead() const { return m_stateRead; }
    const ServiceLightElementData &stateRecord() const;

    static QString statusAction() { return QStringLiteral("status"); }

protected:
    /// After a run that learned the state: copy it into the element's service record.
    void copyStateToElement();
    ServiceLightElementData *writableStateRecord();
    /// Takes the state a status run of the program gave (exit code 0: running); false, with
    /// status and message set, when the run did not finish.
    bool takeState(const ProcessResult &result);
    /// Runs `program status ...`, then reads the boot state (with a boot unit); false with
    /// status and message set when the status run did not finish.
    bool readState(const QString &action);
    /// Why the last boot state read failed (it shows "unknown" then); empty when it did not.
    QString bootError() const { return m_bootError; }

private:
    void readBootState();

    QString m_scriptPath;
    QString m_action;
    QStringList m_arguments;
    bool m_actionFirst;
    bool m_heavyReadAfterChange;
    bool m_stateRead = false;
    bool m_bootRead = false;
    QString m_bootUnit;
    QString m_bootError;
    ServiceLightElementData m_ownState;
};

/** Reads a service's state with the status action; afterRun() copies it into the element. */
class OXA_EXPORT ReadPropertyLightServiceTask : public ServiceTask
{
public:
    explicit ReadPropertyLightServiceTask(Element *element);
    int priority() const override;
};

/** Starts or stops a service; afterwards the element's state is refreshed. */
class OXA_EXPORT StartStopServiceTask : public ServiceTask
{
public:
    StartStopServiceTask(Element *element, const QString &action);
};

class OXA_EXPORT StartServiceTask : public StartStopServiceTask
{
public:
    explicit StartServiceTask(Element *element);
};

class OXA_EXPORT StopServiceTask : public StartStopServiceTask
{
public:
    explicit StopServiceTask(Element *element);
};

/** Restarts or reloads a service; afterwards the element's state is refreshed. */
class OXA_EXPORT RServiceTask : public ServiceTask
{
public:
    RServiceTask(Element *element, const QString &action);
};

class OXA_EXPORT RestartServiceTask : public RServiceTask
{
public:
    explicit RestartServiceTask(Element *element);
};

class OXA_EXPORT ReloadServiceTask : public RServiceTask
{
public:
    explicit ReloadServiceTask(Element *element);
};

/**
 * Enables or disables a service's start at boot the Debian way: `systemctl enable|disable UNIT`
 * on a host booted with systemd, `update-rc.d NAME enable|disable` otherwise; a change (never
 * killed, the change limit). However it ended, the state and the boot state are then read
 * again and go to the element and the widgets showing it.
 */
class OXA_EXPORT BootServiceTask : public ServiceTask
{
public:
    /// Described "Enable <title> service at boot" or "Disable <title> service at boot".
    BootServiceTask(Element *element, const QString &unit, bool enable);

    bool enables() const { return m_enable; }
    /// The program and its arguments run() runs on a host with or without systemd.
    QStringList commandLine(bool systemd) const;
    void run() override;

private:
    bool m_enable;
};

/**
 * Starts a service's graphical administration program, detached, through the task's host
 * connection, for the desktop user: with root on the host (a privileged connection) through
 * /usr/sbin/runuser as that user (the user name set, else SUDO_USER, else the
 * user of PKEXEC_UID; never root), with a clean environment of that user; otherwise as the
 * console itself, with its environment. A start that fails at once fails the task.
 */
class OXA_EXPORT ControlServiceTask : public ElementTask
{
public:
    /// How long a started program is watched: one that ends within it with an error failed.
    static const int StartGraceMs = 1500;

    explicit ControlServiceTask(Element *element);

    QString packageName() const { return m_packageName; }
    void setPackageName(const QString &name) { m_packageName = name; }
    QString programName() const { return m_programName; }
    void setProgramName(const QString &name) { m_programName = name; }
    /// The user to start the program as when the console runs as root; empty: the desktop
    /// user the console was started for.
    QString userName() const { return m_userName; }
    void setUserName(const QString &name) { m_userName = name; }

    /// The program and arguments run() starts, the program found on the children's fixed
    /// search path: as root `/usr/sbin/runuser -u USER -- PROGRAM`.
    QStringList commandLine() const;
    void run() override;

    /// Whether dpkg-query on @p host reports @p package as installed ("ii").
    static bool existPackage(const HostConnection &host, const QString &package);
    /// The same on the local host, for code outside a console.
    static bool existPackage(const QString &package);

private:
    QString m_packageName;
    QString m_programName;
    QString m_userName;
};

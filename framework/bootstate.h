#pragma once

#include "oxaglobal.h"

#include <QString>
#include <QStringList>

class HostConnection;
struct ProcessResult;

/**
 * Whether a service starts when its host boots: on a host booted with systemd what
 * `systemctl is-enabled UNIT` prints, otherwise what the init script's rc links say; changed the
 * Debian way (`systemctl enable|disable UNIT`, `update-rc.d NAME enable|disable`). The parsing
 * is plain functions of text; read() asks the host through its connection.
 */
namespace BootState {

/// What a read learned: the state word or text to show, or why there is none.
struct Reading
{
    /// The word shown ("enabled", "disabled", "masked", "static", ..., "not installed");
    /// empty when the read failed.
    QString state;
    /// Why the read failed (a tool that did not finish, garbage, a refused listing); empty
    /// when it did not.
    QString error;

    bool ok() const { return error.isEmpty(); }
};

/// The directory whose presence says that the host was booted with systemd.
OXA_EXPORT QString systemdMarker();
/// The rc directories of the multi-user runlevels, whose links say whether a script starts.
OXA_EXPORT QStringList rcDirectories();
/// "enabled" and "disabled": the two states an operation may turn into each other.
OXA_EXPORT QString enabledWord();
OXA_EXPORT QString disabledWord();
/// The text shown for a unit or script the host does not have in its boot sequence.
OXA_EXPORT QString notInstalledText();

/// The operations that would change @p state: enabling for "disabled", disabling for
/// "enabled"; none for any other state (masked, static, generated, indirect, unknown, ...).
OXA_EXPORT OperationTypes changingOperations(const QString &state);
/// The init script of @p unit, for update-rc.d: its name less ".service".
OXA_EXPORT QString scriptName(const QString &unit);

/**
 * The state `systemctl is-enabled UNIT` reported: the first word of its output whatever its
 * exit code (disabled and masked exit non-zero), "not installed" for a unit it does not know,
 * else its message; an error for a run that did not finish or output that is no state word.
 */
OXA_EXPORT Reading fromIsEnabled(const ProcessResult &result);
/**
 * The state the names of the rc directories' entries give @p script: "enabled" with a start
 * link (S, two digits, the name), "disabled" with stop links only, "not installed" with none.
 */
OXA_EXPORT QString fromRcLinks(const QString &script, const QStringList &names);

/// The program and arguments that enable or disable @p unit at boot on a host with or without
/// systemd.
OXA_EXPORT QStringList changeCommand(bool systemd, const QString &unit, bool enable);

/// Whether @p host was booted with systemd (systemdMarker() is a directory there).
OXA_EXPORT bool isSystemd(const HostConnection &host);
/// Reads @p unit's state on @p host: one run of systemctl, or listings of the rc directories.
OXA_EXPORT Reading read(const HostConnection &host, const QString &unit);

} // namespace BootState

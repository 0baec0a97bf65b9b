#pragma once

#include "hostoptions.h"
#include "remotehostconnection.h"

#include <QSharedPointer>
#include <QString>
#include <QStringList>

class HostConnection;

/**
 * What main() does, kept in the library: chooses the platform before the application object
 * exists, then loads the plug-ins and runs the window or the batch script.
 */
class HostApplication
{
public:
    /// The process's exit codes outside a batch run (whose own, BatchRunner::ExitCode, use
    /// the same numbers): the manual page lists them.
    enum ExitCode
    {
        ExitSuccess = 0,
        /// No display for the window.
        ExitCannotStart = 1,
        /// A refused command line or data directory.
        ExitBadArguments = 2
    };

    /**
     * Before QApplication: batch mode without a display uses the offscreen platform; the
     * window without a display cannot start, and @p error says so. True when it may go on.
     */
    static bool preparePlatform(const HostOptions &options, QString *error);
    /**
     * First thing in main(), as root: drops every variable of the caller's that would have Qt,
     * a toolkit it brings in or the C library load code from a path of the caller's (plug-in
     * paths, a platform theme, GTK and GIO modules, gconv modules, the dynamic loader's
     * variables). Returns the names dropped.
     */
    static QStringList dropCallersCodePaths();
    /**
     * Before the plug-ins are loaded: the console's own data from --data-dir, which a console
     * running as root takes only from where root alone may write (as plug-ins); @p error says
     * why not. True when it may go on.
     */
    static bool chooseDataDirectory(const HostOptions &options, QString *error);
    /// Runs the console (QApplication must exist); returns the process's exit code.
    static int exec(const HostOptions &options);
    /**
     * A batch run on several hosts (QCoreApplication must exist): runs one child console per
     * host, prints the merged report; returns the worst host's exit code.
     */
    static int execFleet(const HostOptions &options);
    /// Where the privileged helper is installed.
    static QString bridgeProgram();
    /// Where the window's question program for ssh is installed.
    static QString askpassProgram();
    /// How the console reaches the one host of --host.
    static RemoteHostConnection::Settings remoteSettings(const HostOptions &options);
    /**
     * How the console starts the privileged helper: --bridge's words when given; else none
     * (the console's own process serves) as root (@p root) or with --viewer; else pkexec
     * with the helper.
     */
    static QStringList bridgeCommand(const HostOptions &options, bool root);
    /**
     * The connection to the host the console administers, made once at its start: over ssh
     * to the one --host; else through the helper when bridgeCommand() names one, else
     * in-process. When the helper cannot serve (authorisation refused, no helper), the console
     * only reads, in-process with the user's rights (viewer mode), and @p notice says why. A
     * remote host that cannot be reached stays the connection (it fails every call), and
     * @p notice says why: nothing of this machine is shown in its place.
     */
    static QSharedPointer<HostConnection> connectHost(const HostOptions &options,
                                                      QString *notice = nullptr);

private:
    static int execBatch(const HostOptions &options,
                         const QSharedPointer<HostConnection> &connection, const QString &notice);
    static int execWindow(const HostOptions &options,
                          const QSharedPointer<HostConnection> &connection, const QString &notice);
};

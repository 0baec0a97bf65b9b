#pragma once

#include "hostoptions.h"

#include <hostconnection.h>

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

/**
 * The connection to a remote Debian host: the user's own ssh client, started once, runs the
 * privileged helper there (directly when the login is root, through sudo -n otherwise), and
 * every call goes over that one connection. The user's keys, agent, known_hosts and ssh
 * configuration decide how ssh gets there; a changed host key is always refused.
 *
 * When the connection cannot be made or is lost, every call fails with a message naming the
 * host; a change whose answer never came is reported as left running, its outcome unknown.
 * reconnect() starts ssh again in its place. Programs with a window of their own are never
 * started remotely: startDetached() refuses them.
 */
class RemoteHostConnection : public HostConnection
{
public:
    /// Where the helper is installed on a Debian host (its package's path, whatever the
    /// prefix this console was built with).
    static QString remoteBridgeProgram();

    /// Why a connection could not be made or ended, as far as ssh's words tell.
    enum class Failure
    {
        None,
        Unreachable,    ///< no route, no name, no answer in time
        Refused,        ///< nothing listens on the port
        AuthRefused,    ///< no key or password was taken
        UnknownHostKey, ///< the host's key is not in known_hosts (and was not accepted)
        ChangedHostKey, ///< the host's key differs from the one known
        NoBridge,       ///< the helper is not installed there
        SudoPassword,   ///< sudo -n would have asked for a password
        Protocol,       ///< the helper there speaks another protocol version
        Lost,           ///< the connection ended while in use
        Other
    };

    struct Settings
    {
        SshTarget target;
        /// The ssh client; another program only in the test suites (never from the
        /// environment: it decides where the console's root rights go).
        QString sshProgram = QStringLiteral("/usr/bin/ssh");
        /// --ssh-config: handed to ssh as -F; empty for the user's own.
        QString sshConfig;
        /// Batch mode: ssh never prompts (BatchMode); an unknown host key is refused.
        bool batch = false;
        /// The window's question program (SSH_ASKPASS) for passwords, passphrases and unknown
        /// host keys; unused in batch mode.
        QString askpassProgram;
        /// How long the greeting is waited for (a password may be typed meanwhile).
        int handshakeTimeoutMs = 300000;
    };

    /// Makes no connection yet: connectHost() does.
    explicit RemoteHostConnection(const Settings &settings);
    ~RemoteHostConnection() override;

    /// The ssh command line a connection starts (program first), for tests and messages.
    QStringList sshCommand() const;
    /// The user ssh logs in as: the target's, else what "ssh -G" says its configuration
    /// picks (asked once, locally, within a few seconds); empty when it cannot tell.
    QString loginUser() const;
    /// The environment ssh gets: the console's, with or without the window's question program.
    QList<QByteArray> sshEnvironment() const;
    /// Starts ssh and waits for the helper's greeting; false with errorText() on failure.
    bool connectHost();
    /// Drops the current connection (its changes go on there) and makes a new one.
    bool reconnect();
    bool isConnected() const;
    /// Why it is not connected, naming the host and saying what to do; empty while it serves.
    QString errorText() const;
    Failure failure() const;
    /**
     * Called once (on the connection's reader thread) when a connection that was made ends,
     * with errorText(); the window says so and offers to reconnect. The handler must not call
     * reconnect() itself (that thread ends with the old connection): it posts to the GUI
     * thread. Not called for a connection that never served, nor for one reconnect() replaced.
     */
    void setLostHandler(std::function<void(const QString &)> handler);

    /**
     * What ssh's exit code @p exitCode and last error lines @p stderrText say went wrong, for
     * the host @p host: the failure and a message for the administrator.
     */
    static Failure classify(int exitCode, const QString &stderrText, QString *message,
                            const QString &host);

    QString remoteHost() const override;
    bool isPrivileged() const override;
    QString findProgram(const QString &program) const override;
    ProcessResult run(const QString &program, const QStringList &arguments,
                      int timeoutMs = ChildProcess::ReadLimit) const override;
    ProcessResult runChange(const QString &program, const QStringList &arguments,
                            const ChildProcess::ChangeWait &wait) const override;
    /// Refused: a program's window belongs to the administrator's desktop, not the server.
    DetachedStart startDetached(const QString &program, const QStringList &arguments,
                                const QList<QByteArray> &environment, int graceMs) const override;
    HostFileContent readFile(const QString &path, qint64 maxBytes) const override;
    HostFileContent readTail(const QString &path, int lines, qint64 maxBytes) const override;
    HostDirectoryListing listDirectory(const QString &path,
                                       int maxEntries = DefaultMaxEntries) const override;
    HostRemoval removePlainEntries(const QString &directory) const override;
    HostFileStatus writeFile(const QString &path, const QByteArray &contents,
                             int newFileMode = 0644) const override;
    HostPathInfo pathInfo(const QString &path) const override;

    class Private;

private:
    std::unique_ptr<Private> d;
};

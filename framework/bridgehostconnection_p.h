#pragma once

#include "hostconnection.h"

#include <QStringList>

#include <functional>
#include <memory>

/**
 * The connection to a host through vell-admin-bridge, the privileged helper: the console
 * starts it (through pkexec, sudo or ssh) with its standard input and output as pipes, greets
 * it, and then sends every call from any thread as a request with an id of its own; one reader
 * thread hands each answer to the call waiting for it, in whatever order the answers come.
 *
 * When the helper ends or the pipes break, every waiting and every later call fails with a
 * message naming the cause ("The helper ended: ..."); a change whose answer never came is
 * reported as left running, its outcome unknown. Administration programs (startDetached) are
 * started by the console itself, as the user it runs as, never through the helper.
 */
class OXA_EXPORT BridgeHostConnection : public HostConnection
{
public:
    /// How long the start waits for the helper's greeting: pkexec asks for a password first.
    static const int DefaultHandshakeTimeoutMs = 300000;
    /// How long an answer is waited for past a call's own time limit before the call is given
    /// up and cancelled: the helper kills a program at the limit and may wait that long for it.
    static const int DefaultAnswerGraceMs = 10000;

    /**
     * Starts @p command (the program and its arguments, no shell; a name without a slash is
     * looked up on ChildProcess::fixedSearchPath()) with the console's environment, and waits
     * at most @p handshakeTimeoutMs for the greeting. isConnected() says how that went.
     */
    explicit BridgeHostConnection(const QStringList &command,
                                  int handshakeTimeoutMs = DefaultHandshakeTimeoutMs);
    /**
     * The same with @p environment ("NAME=value" entries) instead of the console's: ssh
     * started for a remote host learns how to ask for a password from it.
     */
    BridgeHostConnection(const QStringList &command, int handshakeTimeoutMs,
                         const QList<QByteArray> &environment);
    /// Closes the helper's input: it stops what only reads and lets changes finish.
    ~BridgeHostConnection() override;

    /// The greeting went through and the helper has not ended since.
    bool isConnected() const;
    /// Why the helper could not be used or ended; empty while it serves.
    QString errorText() const;
    /// The software the helper named in its greeting.
    QString helperSoftware() const;
    /// The process started for the command (pkexec's, sudo's or the helper's own).
    qint64 processId() const;
    /// Once it ended: the command's exit code when it exited, else -1.
    int exitCode() const;
    /// Once it ended: the last lines the command wrote to its standard error.
    QString errorOutput() const;
    /**
     * Calls @p handler once, with errorText(), when a connection that served ends (on the
     * reader thread; at once when it has ended already). Not called for one that never
     * served, nor when it is destroyed. Null clears it.
     */
    void setEndHandler(std::function<void(const QString &)> handler);

    /// Sets the grace past a call's time limit (tests); returns the previous one.
    static int setAnswerGraceMs(int milliseconds);

    /// True once the helper has greeted: its start was authorised.
    bool isPrivileged() const override;

    QString findProgram(const QString &program) const override;
    ProcessResult run(const QString &program, const QStringList &arguments,
                      int timeoutMs = ChildProcess::ReadLimit) const override;
    ProcessResult runChange(const QString &program, const QStringList &arguments,
                            const ChildProcess::ChangeWait &wait) const override;
    /// Started here, as the console's user: a window of the desktop session is no helper's.
    DetachedStart startDetached(const QString &program, const QStringList &arguments,
                                const QList<QByteArray> &environment, int graceMs) const override;

    HostFileContent readFile(const QString &path, qint64 maxBytes) const override;
    HostFileContent readTail(const QString &path, int lines, qint64 maxBytes) const override;
    HostDirectoryListing listDirectory(const QString &path,
                                       int maxEntries = DefaultMaxEntries) const override;
    HostRemoval removePlainEntries(const QString &directory) const override;
    /// The helper keeps an existing file's owner and mode; @p newFileMode is not sent.
    HostFileStatus writeFile(const QString &path, const QByteArray &contents,
                             int newFileMode = 0644) const override;
    HostPathInfo pathInfo(const QString &path) const override;

    class Private;

private:
    std::unique_ptr<Private> d;
};

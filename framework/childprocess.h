#pragma once

#include "oxaglobal.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>

/** The outcome of one child process run by ChildProcess::run(). */
struct OXA_EXPORT ProcessResult
{
    /// Started, and exited normally within the time limit.
    bool finished = false;
    int exitCode = -1;
    /// Why a run did not finish, in QProcess::ProcessError's numbers (messages show them).
    enum Error
    {
        FailedToStart = 0,
        Crashed = 1,
        TimedOut = 2,
        /// QProcess's UnknownError: the run finished, or was not tried.
        NoError = 5
    };
    /// An Error.
    int error = NoError;
    /// What the program wrote, at most ChildProcess::MaxOutputBytes and MaxErrorBytes.
    QByteArray standardOutput;
    QByteArray standardError;
    /// The program wrote more than was kept: the rest was read and dropped.
    bool outputCut = false;
    bool errorCut = false;
    /// A changing program still ran when the wait for it ended (given up, or at the change
    /// limit): it was left running, not killed, and how it ends is not known.
    bool leftRunning = false;
    /// Why the run could not be done, or how it ended is unknown, when the host connection
    /// knows more than the error code (a helper that refused the request or ended); empty for
    /// a program this process ran.
    QString failure;

    bool succeeded() const { return finished && exitCode == 0; }
    /// Standard output decoded as local 8-bit text up to the first NUL.
    QString outputText() const;
    QString errorText() const;
    /// outputText() split at line feeds, empty lines dropped.
    QStringList outputLines() const;
};

/** How a program started by ChildProcess::startDetached() was when its grace period ended. */
struct OXA_EXPORT DetachedStart
{
    enum State
    {
        NotStarted, ///< no such program, or the start itself failed
        Running,    ///< still running: it lives on on its own
        Exited,     ///< ended within the grace period
        Killed      ///< killed by a signal within the grace period
    };
    State state = NotStarted;
    /// Exited: the exit code; Killed: the signal; NotStarted: the errno (ENOENT: no program).
    int code = 0;

    /// Not started, killed, or ended with a non-zero exit code.
    bool failed() const
    {
        return state == NotStarted || state == Killed || (state == Exited && code);
    }
};

/**
 * Runs a program with an argument list (no shell), stdin closed, in a process group of its
 * own, waiting at most the given time; a program that outlives it, or crashes, is killed with
 * its whole group and reaped. Its output is read while it runs and kept up to a bound, so a
 * program that floods its pipes neither blocks nor fills the console's memory.
 *
 * Every program runs with fixedEnvironment() only, and a name without a slash is looked up on
 * fixedSearchPath() only: nothing of the console's caller (PATH, LD_PRELOAD, the locale) picks
 * what runs or how its output reads.
 */
class OXA_EXPORT ChildProcess
{
public:
    static const int DefaultTimeoutMs = 30000;
    /// Standard output kept of one run; what the largest host's tools print fits many times.
    static const int MaxOutputBytes = 32 * 1024 * 1024;
    /// Standard error kept of one run: it ends up in messages, a screenful is plenty.
    static const int MaxErrorBytes = 64 * 1024;
    /// How long a killed child is waited for. One that has not ended by then (stuck in the
    /// kernel) is given up: a later call reaps it, nobody waits for it.
    static const int DefaultKillWaitMs = 5000;

    /// run()'s default limit: readLimitMs() at the time of the call.
    static const int ReadLimit = -1;
    static ProcessResult run(const QString &program, const QStringList &arguments,
                             int timeoutMs = ReadLimit);

    /**
     * Starts @p program with @p environment ("NAME=value" entries) in a session of its own,
     * input and output on /dev/null and no descriptor of the console's, and watches it for
     * @p graceMs: a program that ends at once is reported, one still running then is left to
     * itself (and reaped by a later call once it ends).
     */
    static DetachedStart startDetached(const QString &program, const QStringList &arguments,
                                       const QList<QByteArray> &environment, int graceMs);

    /// "/usr/sbin:/usr/bin:/sbin:/bin", where children's programs are looked up.
    static QString fixedSearchPath();
    /// The environment of every child run: PATH=fixedSearchPath() and a fixed locale.
    static QList<QByteArray> fixedEnvironment();
    /// The console's own environment, as "NAME=value" entries.
    static QList<QByteArray> ownEnvironment();
    /// The executable file @p program names: itself when it holds a slash, otherwise the
    /// first of that name in fixedSearchPath(); an empty string when there is none.
    static QString findProgram(const QString &program);

    /// Sets how long a killed child is waited for (tests); returns the previous bound.
    static int setKillWaitMs(int ms);
    /** How runChange() waits: whom it tells that the read limit passed, what stops the wait. */
    struct ChangeWait
    {
        /// Called once, on the waiting thread, when the read limit passed and the program runs.
        std::function<void()> stillRunning;
        /// Set (from any thread) when nobody wants to wait any longer.
        const std::atomic<bool> *stop = nullptr;
    };

    /**
     * Runs a program that changes something (starts a service, creates a cluster): as run(),
     * but never killed, since a change killed half-way leaves the host in a state nobody
     * chose. Past readLimitMs() it tells @p wait; when @p wait is stopped, or at
     * changeLimitMs(), the wait ends with leftRunning set and the program goes on in its own
     * session, reaped later by a thread of its own. Its output goes to unnamed files instead
     * of pipes, bounded as run()'s: it never blocks on, or dies of, a reader that went away.
     */
    static ProcessResult runChange(const QString &program, const QStringList &arguments,
                                   const ChangeWait &wait);

    /// The limit of the framework's reads, after which runChange() says a change still runs
    /// (DefaultTimeoutMs; tests shorten it).
    static int readLimitMs();
    static void setReadLimitMs(int milliseconds);
    /// How long runChange() waits at most (DefaultChangeLimitMs; the console's --change-timeout).
    static int changeLimitMs();
    static void setChangeLimitMs(int milliseconds);
    static const int DefaultChangeLimitMs = 600000;

    /// @p bytes as local 8-bit text, up to the first NUL byte.
    static QString decodeLocal8Bit(const QByteArray &bytes);
    /// @p text split at '\n', empty parts dropped.
    static QStringList splitLines(const QString &text);
};

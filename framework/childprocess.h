#pragma once

#include "oxaglobal.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

/** The outcome of one child process run by ChildProcess::run(). */
struct OXA_EXPORT ProcessResult
{
    /// Started, and exited normally within the time limit.
    bool finished = false;
    int exitCode = -1;
    /// QProcess::ProcessError of a run that did not finish (0 failed to start, 1 crashed,
    /// 2 timed out); 5 (unknown) otherwise.
    int error = 5;
    /// What the program wrote, at most ChildProcess::MaxOutputBytes and MaxErrorBytes.
    QByteArray standardOutput;
    QByteArray standardError;
    /// The program wrote more than was kept: the rest was read and dropped.
    bool outputCut = false;
    bool errorCut = false;

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

    static ProcessResult run(const QString &program, const QStringList &arguments,
                             int timeoutMs = DefaultTimeoutMs);

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

    /// @p bytes as local 8-bit text, up to the first NUL byte.
    static QString decodeLocal8Bit(const QByteArray &bytes);
    /// @p text split at '\n', empty parts dropped.
    static QStringList splitLines(const QString &text);
};

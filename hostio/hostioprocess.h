#pragma once

/** @file
 * Running programs on this machine with the console's rules: no shell, stdin from /dev/null,
 * a session of their own, a fixed environment and search path, bounded output, time limits.
 * Plain C++ without Qt: the console's framework and the privileged helper both use it.
 */

#include <atomic>
#include <cstddef>
#include <functional>
#include <spawn.h>
#include <string>
#include <vector>

namespace hostio {

/// Standard output kept of one run by default; what the largest host's tools print fits many
/// times.
constexpr std::size_t DefaultMaxOutputBytes = 32 * 1024 * 1024;
/// Standard error kept of one run by default: it ends up in messages, a screenful is plenty.
constexpr std::size_t DefaultMaxErrorBytes = 64 * 1024;
/// How long a killed child is waited for by default.
constexpr int DefaultKillWaitMs = 5000;
/// The time limit of a read, and when a change is said to still run.
constexpr int DefaultReadLimitMs = 30000;
/// How long a change is waited for at most.
constexpr int DefaultChangeLimitMs = 600000;

/** How much of a child's output is kept; the rest is read and dropped. */
struct OutputLimits
{
    std::size_t output = DefaultMaxOutputBytes;
    std::size_t error = DefaultMaxErrorBytes;
};

/** The outcome of one child process run. */
struct ProcessResult
{
    /// Why a run did not finish (the numbers are those the console's messages show).
    enum Error
    {
        FailedToStart = 0,
        Crashed = 1,
        TimedOut = 2,
        /// The run finished, or was not tried.
        NoError = 5
    };

    /// Started, and exited normally within the time limit.
    bool finished = false;
    int exitCode = -1;
    Error error = NoError;
    /// What the program wrote, byte for byte, at most the limits given.
    std::string standardOutput;
    std::string standardError;
    /// The program wrote more than was kept.
    bool outputCut = false;
    bool errorCut = false;
    /// A changing program still ran when the wait for it ended: it was left running.
    bool leftRunning = false;
    /// A read-only run was stopped by its caller (RunOptions::stop): killed with its group.
    bool stopped = false;

    bool succeeded() const { return finished && exitCode == 0; }
};

/** How a read-only run is limited. */
struct RunOptions
{
    int timeoutMs = DefaultReadLimitMs;
    /// How long a killed child is waited for; one that has not ended by then (stuck in the
    /// kernel) is given up and reaped by a later start.
    int killWaitMs = DefaultKillWaitMs;
    OutputLimits limits;
    /// Set (from any thread) when the output is no longer wanted: the run ends as at its time
    /// limit (its group killed), with stopped set.
    const std::atomic<bool> *stop = nullptr;
};

/**
 * Runs @p program (a path, or a name looked up on fixedSearchPath()) with @p arguments and the
 * fixed environment, reading its output while it runs. Past the time limit, or when it
 * crashes, its whole process group is killed and it is reaped.
 */
ProcessResult run(const std::string &program, const std::vector<std::string> &arguments,
                  const RunOptions &options = RunOptions());

/** How a changing run is waited for. */
struct ChangeOptions
{
    /// When the program is said to still run (stillRunning is called once).
    int readLimitMs = DefaultReadLimitMs;
    /// When the wait ends whatever the program does.
    int ceilingMs = DefaultChangeLimitMs;
    OutputLimits limits;
    /// Called on the waiting thread when the read limit passed and the program runs.
    std::function<void()> stillRunning;
    /// Set (from any thread) when nobody wants to wait any longer.
    const std::atomic<bool> *stop = nullptr;
    /// At the ceiling, kill the program with its group instead of leaving it running: for a
    /// caller that must leave nothing behind (the privileged helper, before it exits).
    bool killAtCeiling = false;
};

/**
 * Runs a program that changes something: as run(), but never killed (a change killed half-way
 * leaves the host in a state nobody chose) unless killAtCeiling asks for it at the ceiling
 * (error TimedOut then). When the wait is stopped, or at the ceiling, it ends with leftRunning
 * set; the program goes on in its own session and a thread of its own
 * reaps it. Its output goes to unnamed files, bounded as run()'s, so it never blocks on, or
 * dies of, a reader that went away.
 */
ProcessResult runChange(const std::string &program, const std::vector<std::string> &arguments,
                        const ChangeOptions &options);

/** How a program started by startDetached() was when its grace period ended. */
struct DetachedStart
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
};

/**
 * Starts @p program with @p environment ("NAME=value" entries) in a session of its own, input
 * and output on /dev/null and no descriptor of the caller's, and watches it for @p graceMs.
 */
DetachedStart startDetached(const std::string &program, const std::vector<std::string> &arguments,
                            const std::vector<std::string> &environment, int graceMs);

/// "/usr/sbin:/usr/bin:/sbin:/bin", where children's programs are looked up.
const char *fixedSearchPath();
/// The environment of every child run: PATH=fixedSearchPath() and a fixed locale.
std::vector<std::string> fixedEnvironment();
/// This process's own environment, as "NAME=value" entries.
std::vector<std::string> ownEnvironment();
/// The executable file @p program names: itself when it holds a slash, otherwise the first of
/// that name in fixedSearchPath(); empty when there is none.
std::string findProgram(const std::string &program);

/// Sets @p attributes so that a spawned program starts with no signal blocked and the usual
/// ones at their defaults, whatever the caller ignores; @p flags (POSIX_SPAWN_SETSID, say) too.
void setNewProgramSignals(posix_spawnattr_t *attributes, short flags);

} // namespace hostio

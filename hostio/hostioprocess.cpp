#include "hostioprocess.h"

#include "hostiofd.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstring>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace hostio {
namespace {

// Process creation. The console is a large, many-threaded process: a fork() copies its page
// tables and makes every page copy-on-write, so the GUI thread and the other workers fault
// and flush TLBs while children start (about 10 ms of the console's time per child, fifty
// packages reads at start-up). posix_spawn() starts the program without copying the caller
// (the kernel shares the address space until the exec), and can do all the child needs:
// a session of its own, input from /dev/null, output into our pipes, nothing else open.

/** Milliseconds since it was made. */
class Clock
{
public:
    long long elapsed() const
    {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now() - m_start)
            .count();
    }

private:
    std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
};

bool makePipe(Fd *readEnd, Fd *writeEnd)
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return false;
    readEnd->reset(fds[0]);
    writeEnd->reset(fds[1]);
    // The reading end never blocks: what is there is taken, the rest waits for poll().
    return ::fcntl(fds[0], F_SETFL, ::fcntl(fds[0], F_GETFL) | O_NONBLOCK) == 0;
}

/// Appends @p size bytes to @p into up to @p limit bytes in all; sets @p cut for the rest.
void keepBounded(std::string *into, bool *cut, std::size_t limit, const char *bytes,
                 std::size_t size)
{
    const std::size_t room = limit > into->size() ? limit - into->size() : 0;
    if (size > room) {
        *cut = true;
        into->append(bytes, room);
        return;
    }
    into->append(bytes, size);
}

/// One of the child's output pipes, read into a bounded buffer.
struct Reader
{
    Fd fd;
    std::string *into = nullptr;
    bool *cut = nullptr;
    std::size_t limit = 0;

    /// Reads what the pipe holds now; false once it is at its end (or broken).
    bool readAvailable()
    {
        char buffer[65536];
        for (;;) {
            const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
            if (n > 0) {
                keepBounded(into, cut, limit, buffer, std::size_t(n));
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
                return true;
            fd.reset();
            return false;
        }
    }
};

// Every child runs with this environment and nothing else, whoever started the caller. As
// root the caller's environment is not to be trusted (su and sudo -E keep it: a dpkg-query
// first on the caller's PATH would run as root); as the user it is still the wrong one for
// tools whose output is parsed. So always, not only as root: one rule, the same everywhere.
const char fixedPath[] = "/usr/sbin:/usr/bin:/sbin:/bin";
// The tools whose output is parsed answer in one language and encoding.
const char *const fixedLocale[] = {"LC_ALL=C.UTF-8", "LANG=C.UTF-8"};

// Children given up on: killed ones that did not end in time, and started programs that live
// on. They stay our children; each start of another child reaps those that have ended
// (without waiting), so none stays a zombie for long and none holds anybody up.
std::mutex leftoversMutex;
std::vector<pid_t> leftovers;

void leaveForLater(pid_t pid)
{
    const std::lock_guard<std::mutex> lock(leftoversMutex);
    leftovers.push_back(pid);
}

void reapLeftovers()
{
    const std::lock_guard<std::mutex> lock(leftoversMutex);
    leftovers.erase(std::remove_if(leftovers.begin(), leftovers.end(),
                                   [](pid_t pid) {
                                       pid_t r;
                                       do {
                                           r = ::waitpid(pid, nullptr, WNOHANG);
                                       } while (r < 0 && errno == EINTR);
                                       return r == pid || r < 0;
                                   }),
                    leftovers.end());
}

/// How often a run with a stop flag looks at it.
const int StopSliceMs = 50;

/// Kills the process group @p pid leads (the leader and whatever it started and left there).
/// Only while the leader is not reaped: until then no other process can get its id.
void killGroup(pid_t pid)
{
    if (pid > 0)
        ::kill(-pid, SIGKILL);
}

/// A descriptor that becomes readable when @p pid ends, or -1 where the kernel has none.
int openPidFd(pid_t pid)
{
#ifdef SYS_pidfd_open
    return int(::syscall(SYS_pidfd_open, pid, 0));
#else
    (void)pid;
    return -1;
#endif
}

/// How a child ended, learned without reaping it.
struct End
{
    enum Kind
    {
        Exited,
        Signalled,
        Unknown ///< reaped elsewhere: how is not known, and its id is no longer ours
    };
    Kind kind = Unknown;
    int code = 0; ///< exit code or signal
};

/// Whether @p pid has ended; it stays a zombie (its id and group id ours) until reaped.
bool hasEnded(pid_t pid, End *end)
{
    siginfo_t info;
    for (;;) {
        std::memset(&info, 0, sizeof info);
        if (::waitid(P_PID, id_t(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0)
            break;
        if (errno == EINTR)
            continue;
        end->kind = End::Unknown;
        return true;
    }
    if (info.si_pid != pid)
        return false;
    end->kind = info.si_code == CLD_EXITED ? End::Exited : End::Signalled;
    end->code = info.si_status;
    return true;
}

/// Reaps @p pid, which has ended (hasEnded() said so): does not block.
void reap(pid_t pid)
{
    while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
}

/// Waits up to @p ms for @p pid to end; false when it still has not.
bool waitForEnd(pid_t pid, const Fd &pidFd, int ms, End *end)
{
    const Clock clock;
    for (;;) {
        if (hasEnded(pid, end))
            return true;
        const long long left = ms - clock.elapsed();
        if (left <= 0)
            return false;
        if (pidFd.valid()) {
            pollfd fd = {pidFd.get(), POLLIN, 0};
            ::poll(&fd, 1, int(std::min<long long>(left, INT_MAX)));
        } else {
            ::usleep(useconds_t(std::min<long long>(left, 10)) * 1000);
        }
    }
}

/// Entries as the NULL-terminated array exec wants; valid while @p entries is.
std::vector<char *> cArray(const std::vector<std::string> &entries)
{
    std::vector<char *> array;
    array.reserve(entries.size() + 1);
    for (const std::string &entry : entries)
        array.push_back(const_cast<char *>(entry.c_str()));
    array.push_back(nullptr);
    return array;
}

/**
 * Starts the file @p path (never looked up) with @p argv and @p envp; standard output and
 * error go to @p out and @p err, or to /dev/null where they are -1. 0 or an errno.
 */
int spawn(pid_t *pid, const std::string &path, const std::vector<char *> &argv, int out, int err,
          const std::vector<char *> &envp)
{
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (out >= 0)
        posix_spawn_file_actions_adddup2(&actions, out, STDOUT_FILENO);
    else
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    if (err >= 0)
        posix_spawn_file_actions_adddup2(&actions, err, STDERR_FILENO);
    else
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
#if defined(__GLIBC__) && __GLIBC_PREREQ(2, 34)
    // Descriptors the caller opened without close-on-exec stay out of the child too.
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
#endif
    // A session of its own: the program and whatever it starts can be killed as one group.
    setNewProgramSignals(&attributes, POSIX_SPAWN_SETSID);
    const int result =
        ::posix_spawn(pid, path.c_str(), &actions, &attributes, argv.data(), envp.data());
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return result;
}

/// Starts the executable @p file, named @p program in its argv, with @p arguments and
/// @p environment; its output to @p out and @p err (-1: /dev/null). 0 or an errno.
int spawnProgram(pid_t *pid, const std::string &file, const std::string &program,
                 const std::vector<std::string> &arguments, int out, int err,
                 const std::vector<std::string> &environment)
{
    std::vector<std::string> all;
    all.reserve(arguments.size() + 1);
    all.push_back(program);
    all.insert(all.end(), arguments.begin(), arguments.end());
    return spawn(pid, file, cArray(all), out, err, cArray(environment));
}

} // namespace

const char *fixedSearchPath()
{
    return fixedPath;
}

std::vector<std::string> fixedEnvironment()
{
    std::vector<std::string> entries{std::string("PATH=") + fixedPath};
    for (const char *variable : fixedLocale)
        entries.emplace_back(variable);
    return entries;
}

std::vector<std::string> ownEnvironment()
{
    std::vector<std::string> entries;
    for (char **entry = environ; entry && *entry; ++entry)
        entries.emplace_back(*entry);
    return entries;
}

std::string findProgram(const std::string &program)
{
    const auto executable = [](const std::string &path) {
        struct stat st;
        return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
               ::access(path.c_str(), X_OK) == 0;
    };
    // A name with a NUL in it would name another file than the caller meant.
    if (program.empty() || program.find('\0') != std::string::npos)
        return std::string();
    if (program.find('/') != std::string::npos)
        return executable(program) ? program : std::string();
    const std::string path(fixedPath);
    std::size_t start = 0;
    for (;;) {
        const std::size_t colon = path.find(':', start);
        const std::string candidate =
            path.substr(start, colon == std::string::npos ? std::string::npos : colon - start) +
            '/' + program;
        if (executable(candidate))
            return candidate;
        if (colon == std::string::npos)
            return std::string();
        start = colon + 1;
    }
}

namespace {

/// Arguments holding a NUL cannot be passed on as they are: the program would see others.
bool holdsNul(const std::vector<std::string> &strings)
{
    return std::any_of(strings.begin(), strings.end(),
                       [](const std::string &s) { return s.find('\0') != std::string::npos; });
}

/// Reaps what earlier calls left, then the executable file to start for run() and runChange():
/// empty when there is none, or when an argument holds a NUL (the kernel would cut it short).
std::string programToStart(const std::string &program, const std::vector<std::string> &arguments)
{
    reapLeftovers();
    const std::string file = findProgram(program);
    return holdsNul(arguments) ? std::string() : file;
}

} // namespace

ProcessResult run(const std::string &program, const std::vector<std::string> &arguments,
                  const RunOptions &options)
{
    ProcessResult result;
    result.error = ProcessResult::FailedToStart;
    const std::string file = programToStart(program, arguments);
    if (file.empty())
        return result;
    const Clock clock;
    const int timeoutMs = std::max(0, options.timeoutMs);

    Reader readers[2];
    Fd writeEnds[2];
    if (!makePipe(&readers[0].fd, &writeEnds[0]) || !makePipe(&readers[1].fd, &writeEnds[1]))
        return result;
    readers[0].into = &result.standardOutput;
    readers[0].cut = &result.outputCut;
    readers[0].limit = options.limits.output;
    readers[1].into = &result.standardError;
    readers[1].cut = &result.errorCut;
    readers[1].limit = options.limits.error;

    pid_t pid = -1;
    if (spawnProgram(&pid, file, program, arguments, writeEnds[0].get(), writeEnds[1].get(),
                     fixedEnvironment()) != 0)
        return result;
    // Only the child writes now: the pipes end when it (and whatever it started) closes them.
    writeEnds[0].reset();
    writeEnds[1].reset();
    Fd pidFd(openPidFd(pid));

    End end;
    bool ended = false;
    for (;;) {
        if (!pidFd.valid() && hasEnded(pid, &end)) {
            ended = true;
            break;
        }
        const long long left = timeoutMs - clock.elapsed();
        if (left <= 0)
            break;
        pollfd fds[3];
        int count = 0;
        for (Reader &reader : readers) {
            if (reader.fd.valid())
                fds[count++] = {reader.fd.get(), POLLIN, 0};
        }
        if (pidFd.valid())
            fds[count++] = {pidFd.get(), POLLIN, 0};
        if (options.stop && options.stop->load()) {
            result.stopped = true;
            break;
        }
        // Without a process descriptor the end of the child is looked for a few times a
        // second; with one, poll() wakes for it (and for a stop flag, a few times a second).
        const int slice = int(std::min<long long>(left, !pidFd.valid() ? 10
                                                        : options.stop ? StopSliceMs
                                                                       : INT_MAX));
        if (count == 0) {
            ::usleep(useconds_t(slice) * 1000);
            continue;
        }
        if (::poll(fds, nfds_t(count), slice) < 0 && errno != EINTR)
            break;
        for (Reader &reader : readers) {
            if (reader.fd.valid())
                reader.readAvailable();
        }
        if (pidFd.valid() && (fds[count - 1].revents & (POLLIN | POLLHUP | POLLERR)) &&
            hasEnded(pid, &end)) {
            ended = true;
            break;
        }
    }

    if (!ended) {
        result.error = ProcessResult::TimedOut;
        // The group first, while the unreaped leader keeps its id ours; then a bounded wait:
        // a child stuck in the kernel must not keep this thread (nor the caller) forever.
        killGroup(pid);
        if (waitForEnd(pid, pidFd, std::max(0, options.killWaitMs), &end)) {
            if (end.kind != End::Unknown)
                reap(pid);
        } else {
            leaveForLater(pid);
        }
        for (Reader &reader : readers) {
            if (reader.fd.valid())
                reader.readAvailable();
        }
        return result;
    }
    // What the program wrote before it ended is in the pipes; whatever it left running and
    // still holding them is not waited for.
    for (Reader &reader : readers) {
        if (reader.fd.valid())
            reader.readAvailable();
    }
    if (end.kind == End::Signalled) {
        // What a crashed program started is left without its parent: end it too, before the
        // leader is reaped (its zombie holds the group's id, so -pid names only them).
        killGroup(pid);
    }
    if (end.kind != End::Unknown)
        reap(pid);
    if (end.kind != End::Exited) {
        result.error = ProcessResult::Crashed;
        return result;
    }
    result.error = ProcessResult::NoError;
    result.finished = true;
    result.exitCode = end.code;
    return result;
}

DetachedStart startDetached(const std::string &program, const std::vector<std::string> &arguments,
                            const std::vector<std::string> &environment, int graceMs)
{
    DetachedStart start;
    reapLeftovers();
    const std::string file = findProgram(program);
    if (file.empty()) {
        start.code = ENOENT;
        return start;
    }
    if (holdsNul(arguments) || holdsNul(environment)) {
        start.code = EINVAL;
        return start;
    }
    pid_t pid = -1;
    const int error = spawnProgram(&pid, file, program, arguments, -1, -1, environment);
    if (error != 0) {
        start.code = error;
        return start;
    }
    const Fd pidFd(openPidFd(pid));
    End end;
    if (!waitForEnd(pid, pidFd, graceMs, &end)) {
        start.state = DetachedStart::Running;
        leaveForLater(pid);
        return start;
    }
    if (end.kind != End::Unknown)
        reap(pid);
    // Reaped elsewhere: it did end, how is not known; not a failure to report.
    start.state = end.kind == End::Signalled ? DetachedStart::Killed : DetachedStart::Exited;
    start.code = end.kind == End::Unknown ? 0 : end.code;
    return start;
}

// Changes: programs that are never killed. -----------------------------------------------------

namespace {

/// How often a change's wait looks at its stop flag and at the size of its output.
const int ChangeSliceMs = 50;

/**
 * One output of a changing program: an unnamed file in memory that the program writes at its
 * own pace, whether or not anybody reads it. The beginning, up to the bound, is kept; beyond
 * it the file is emptied as it grows (the program writes on at its offset, into a hole that
 * takes no memory).
 */
struct OutputFile
{
    Fd fd;
    std::string *into = nullptr;
    bool *cut = nullptr;
    std::size_t limit = 0;
    bool taken = false;

    bool open(const char *name)
    {
        fd.reset(::memfd_create(name, MFD_CLOEXEC));
        return fd.valid();
    }

    /// While the program runs: keeps the file within its bound.
    void bound()
    {
        struct stat st;
        if (!fd.valid() || ::fstat(fd.get(), &st) != 0 || std::size_t(st.st_size) <= limit)
            return;
        take();
        while (::ftruncate(fd.get(), 0) != 0 && errno == EINTR) {
        }
    }

    /// Takes what the program wrote, up to the bound, once.
    void take()
    {
        if (taken || !fd.valid())
            return;
        taken = true;
        char buffer[65536];
        while (into->size() < limit) {
            const ssize_t n =
                ::pread(fd.get(), buffer, std::min(sizeof buffer, limit - into->size()),
                        off_t(into->size()));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            into->append(buffer, std::size_t(n));
        }
        struct stat st;
        if (::fstat(fd.get(), &st) == 0 && std::size_t(st.st_size) > into->size())
            *cut = true;
    }
};

/// Waits up to @p ms for @p pid to end; true, with how it ended, once it has (and is reaped).
bool waitAndReap(pid_t pid, const Fd &pidFd, int ms, End *end)
{
    if (!waitForEnd(pid, pidFd, ms, end))
        return false;
    if (end->kind != End::Unknown)
        reap(pid);
    return true;
}

/// Lets a change go on with nobody waiting: a thread of its own keeps its output files empty
/// and reaps it when it ends, blocking nobody.
void leaveRunning(pid_t pid, int pidFd, int out, int err)
{
    auto watch = [pid, pidFd, out, err] {
        const Fd process(pidFd);
        const Fd output(out);
        const Fd errors(err);
        End end;
        while (!waitAndReap(pid, process, 1000, &end)) {
            // In-memory files: emptying them cannot fail short of a closed descriptor, and
            // then there is nothing left to grow either. (A cast to void does not quiet the
            // hardened build's warning about an unused result.)
            [[maybe_unused]] const bool emptied =
                ::ftruncate(out, 0) == 0 && ::ftruncate(err, 0) == 0;
        }
    };
    try {
        std::thread(watch).detach();
    } catch (...) {
        // No thread to be had: the program still goes on, and a later child's start reaps it
        // once it ended.
        leaveForLater(pid);
        ::close(out);
        ::close(err);
        if (pidFd >= 0)
            ::close(pidFd);
    }
}

} // namespace

ProcessResult runChange(const std::string &program, const std::vector<std::string> &arguments,
                        const ChangeOptions &options)
{
    ProcessResult result;
    result.error = ProcessResult::FailedToStart;
    const std::string file = programToStart(program, arguments);
    if (file.empty())
        return result;
    const Clock clock;
    const int readLimit = std::max(1, options.readLimitMs);
    const int ceiling = std::max(1, options.ceilingMs);

    OutputFile outputs[2];
    if (!outputs[0].open("change-output") || !outputs[1].open("change-errors"))
        return result;
    outputs[0].into = &result.standardOutput;
    outputs[0].cut = &result.outputCut;
    outputs[0].limit = options.limits.output;
    outputs[1].into = &result.standardError;
    outputs[1].cut = &result.errorCut;
    outputs[1].limit = options.limits.error;

    pid_t pid = -1;
    if (spawnProgram(&pid, file, program, arguments, outputs[0].fd.get(), outputs[1].fd.get(),
                     fixedEnvironment()) != 0)
        return result;
    Fd pidFd(openPidFd(pid));

    End end;
    bool ended = false;
    bool told = false;
    for (;;) {
        for (OutputFile &output : outputs)
            output.bound();
        const long long elapsed = clock.elapsed();
        if (elapsed >= ceiling || (options.stop && options.stop->load())) {
            // It may have ended just now: then its end is known after all.
            ended = waitAndReap(pid, pidFd, 0, &end);
            break;
        }
        if (!told && elapsed >= readLimit) {
            told = true;
            if (options.stillRunning)
                options.stillRunning();
        }
        long long slice = std::min<long long>(ChangeSliceMs, ceiling - elapsed);
        if (!told)
            slice = std::min<long long>(slice, readLimit - elapsed);
        if (waitAndReap(pid, pidFd, int(std::max<long long>(slice, 1)), &end)) {
            ended = true;
            break;
        }
    }
    for (OutputFile &output : outputs)
        output.take();
    if (!ended && options.killAtCeiling && !(options.stop && options.stop->load())) {
        // The caller leaves nothing behind: the group goes, and the leader is reaped once it
        // ended (one stuck in the kernel is left to a later start).
        result.error = ProcessResult::TimedOut;
        killGroup(pid);
        if (!waitAndReap(pid, pidFd, DefaultKillWaitMs, &end))
            leaveForLater(pid);
        return result;
    }
    if (!ended) {
        result.error = ProcessResult::TimedOut;
        result.leftRunning = true;
        leaveRunning(pid, pidFd.release(), outputs[0].fd.release(), outputs[1].fd.release());
        return result;
    }
    // A crashed change keeps what it started: killing that could break what it left half-way.
    if (end.kind != End::Exited) {
        result.error = ProcessResult::Crashed;
        return result;
    }
    result.error = ProcessResult::NoError;
    result.finished = true;
    result.exitCode = end.code;
    return result;
}

void setNewProgramSignals(posix_spawnattr_t *attributes, short flags)
{
    // Signals as a new program expects them: none blocked, none ignored that it may need.
    sigset_t none;
    sigemptyset(&none);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (const int signal : {SIGPIPE, SIGCHLD, SIGINT, SIGQUIT, SIGTERM, SIGHUP})
        sigaddset(&defaults, signal);
    posix_spawnattr_setsigmask(attributes, &none);
    posix_spawnattr_setsigdefault(attributes, &defaults);
    posix_spawnattr_setflags(attributes, flags | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
}

} // namespace hostio

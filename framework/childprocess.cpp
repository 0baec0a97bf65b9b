#include "childprocess.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

QString ProcessResult::outputText() const
{
    return ChildProcess::decodeLocal8Bit(standardOutput);
}

QString ProcessResult::errorText() const
{
    return ChildProcess::decodeLocal8Bit(standardError);
}

QStringList ProcessResult::outputLines() const
{
    return ChildProcess::splitLines(outputText());
}

static_assert(int(ProcessResult::FailedToStart) == int(QProcess::FailedToStart) &&
                  int(ProcessResult::Crashed) == int(QProcess::Crashed) &&
                  int(ProcessResult::TimedOut) == int(QProcess::Timedout) &&
                  int(ProcessResult::NoError) == int(QProcess::UnknownError),
              "ProcessResult::Error keeps QProcess's numbers");

namespace {

// Process creation. The console is a large, many-threaded process: a fork() copies its page
// tables and makes every page copy-on-write, so the GUI thread and the other workers fault
// and flush TLBs while children start (about 10 ms of the console's time per child, fifty
// packages reads at start-up). posix_spawn() starts the program without copying the console
// (the kernel shares the address space until the exec), and can do all the child needs:
// a session of its own, input from /dev/null, output into our pipes, nothing else open.

class Fd
{
public:
    Fd() = default;
    explicit Fd(int fd) : m_fd(fd) {}
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    ~Fd() { reset(); }
    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    /// Gives the descriptor up without closing it.
    int release()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    void reset(int fd = -1)
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }

private:
    int m_fd = -1;
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

/// One of the child's output pipes, read into a bounded buffer.
struct Reader
{
    Fd fd;
    QByteArray *into = nullptr;
    bool *cut = nullptr;
    int limit = 0;

    /// Reads what the pipe holds now; false once it is at its end (or broken).
    bool readAvailable()
    {
        char buffer[65536];
        for (;;) {
            const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
            if (n > 0) {
                keep(buffer, int(n));
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

    void keep(const char *bytes, int size)
    {
        const int room = limit - into->size();
        if (size > room) {
            *cut = true;
            if (room > 0)
                into->append(bytes, room);
            return;
        }
        into->append(bytes, size);
    }
};

// Every child runs with this environment and nothing else, whoever started the console. As
// root the caller's environment is not to be trusted (su and sudo -E keep it: a dpkg-query
// first on the caller's PATH would run as root); as the user it is still the wrong one for
// tools whose output is parsed. So always, not only as root: one rule, the same everywhere.
const char fixedPath[] = "/usr/sbin:/usr/bin:/sbin:/bin";
// The tools whose output is parsed answer in one language and encoding.
const char *const fixedLocale[] = {"LC_ALL=C.UTF-8", "LANG=C.UTF-8"};

std::atomic<int> killWaitMs{ChildProcess::DefaultKillWaitMs};

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
    Q_UNUSED(pid)
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
        memset(&info, 0, sizeof info);
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
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        if (hasEnded(pid, end))
            return true;
        const qint64 left = ms - clock.elapsed();
        if (left <= 0)
            return false;
        if (pidFd.valid()) {
            pollfd fd = {pidFd.get(), POLLIN, 0};
            ::poll(&fd, 1, int(left));
        } else {
            ::usleep(useconds_t(qMin<qint64>(left, 10)) * 1000);
        }
    }
}

/// "NAME=value" entries as the NULL-terminated array exec wants; valid while @p entries is.
std::vector<char *> environmentArray(const QList<QByteArray> &entries)
{
    std::vector<char *> array;
    array.reserve(size_t(entries.size()) + 1);
    for (const QByteArray &entry : entries)
        array.push_back(const_cast<char *>(entry.constData()));
    array.push_back(nullptr);
    return array;
}

/**
 * Starts the file @p path (never looked up) with @p argv and @p envp; standard output and
 * error go to @p out and @p err, or to /dev/null where they are -1. 0 or an errno.
 */
int spawn(pid_t *pid, const QByteArray &path, const std::vector<char *> &argv, int out, int err,
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
    // Descriptors the console opened without close-on-exec stay out of the child too.
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
#endif
    // A session of its own: the program and whatever it starts can be killed as one group.
    // Signals as a new program expects them: none blocked, none ignored that it may need.
    sigset_t none;
    sigemptyset(&none);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGCHLD);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGQUIT);
    sigaddset(&defaults, SIGTERM);
    sigaddset(&defaults, SIGHUP);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes,
                             POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    const int result =
        ::posix_spawn(pid, path.constData(), &actions, &attributes, argv.data(), envp.data());
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return result;
}

/// argv of @p program (as named) and @p arguments; valid while @p storage is.
std::vector<char *> argumentArray(const QString &program, const QStringList &arguments,
                                  QList<QByteArray> *storage)
{
    storage->append(QFile::encodeName(program));
    for (const QString &argument : arguments)
        storage->append(argument.toLocal8Bit());
    std::vector<char *> argv;
    argv.reserve(size_t(storage->size()) + 1);
    for (QByteArray &entry : *storage)
        argv.push_back(entry.data());
    argv.push_back(nullptr);
    return argv;
}

/// Starts the executable @p file, named @p program in its argv, with @p arguments and
/// @p environment; its output to @p out and @p err (-1: /dev/null). 0 or an errno.
int spawnProgram(pid_t *pid, const QString &file, const QString &program,
                 const QStringList &arguments, int out, int err,
                 const QList<QByteArray> &environment)
{
    QList<QByteArray> storage;
    const std::vector<char *> argv = argumentArray(program, arguments, &storage);
    return spawn(pid, QFile::encodeName(file), argv, out, err, environmentArray(environment));
}

} // namespace

QString ChildProcess::fixedSearchPath()
{
    return QString::fromLatin1(fixedPath);
}

QList<QByteArray> ChildProcess::fixedEnvironment()
{
    QList<QByteArray> entries{QByteArray("PATH=") + fixedPath};
    for (const char *variable : fixedLocale)
        entries.append(QByteArray(variable));
    return entries;
}

QList<QByteArray> ChildProcess::ownEnvironment()
{
    QList<QByteArray> entries;
    for (char **entry = environ; entry && *entry; ++entry)
        entries.append(QByteArray(*entry));
    return entries;
}

QString ChildProcess::findProgram(const QString &program)
{
    const auto executable = [](const QString &path) {
        const QByteArray name = QFile::encodeName(path);
        struct stat st;
        return ::stat(name.constData(), &st) == 0 && S_ISREG(st.st_mode) &&
               ::access(name.constData(), X_OK) == 0;
    };
    if (program.isEmpty())
        return QString();
    if (program.contains(QLatin1Char('/')))
        return executable(program) ? program : QString();
    for (const QString &directory : fixedSearchPath().split(QLatin1Char(':'))) {
        const QString candidate = directory + QLatin1Char('/') + program;
        if (executable(candidate))
            return candidate;
    }
    return QString();
}

int ChildProcess::setKillWaitMs(int ms)
{
    return killWaitMs.exchange(qMax(0, ms));
}

ProcessResult ChildProcess::run(const QString &program, const QStringList &arguments, int timeoutMs)
{
    if (timeoutMs < 0)
        timeoutMs = readLimitMs();
    ProcessResult result;
    result.error = ProcessResult::FailedToStart;
    reapLeftovers();
    const QString file = findProgram(program);
    if (file.isEmpty())
        return result;
    QElapsedTimer clock;
    clock.start();

    Reader readers[2];
    Fd writeEnds[2];
    if (!makePipe(&readers[0].fd, &writeEnds[0]) || !makePipe(&readers[1].fd, &writeEnds[1]))
        return result;
    readers[0].into = &result.standardOutput;
    readers[0].cut = &result.outputCut;
    readers[0].limit = MaxOutputBytes;
    readers[1].into = &result.standardError;
    readers[1].cut = &result.errorCut;
    readers[1].limit = MaxErrorBytes;

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
        const qint64 left = timeoutMs - clock.elapsed();
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
        // Without a process descriptor the end of the child is looked for a few times a
        // second; with one, poll() wakes for it.
        const int slice = int(qMin<qint64>(left, pidFd.valid() ? INT_MAX : 10));
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
        // a child stuck in the kernel must not keep this thread (nor the console) forever.
        killGroup(pid);
        if (waitForEnd(pid, pidFd, killWaitMs.load(), &end)) {
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

DetachedStart ChildProcess::startDetached(const QString &program, const QStringList &arguments,
                                          const QList<QByteArray> &environment, int graceMs)
{
    DetachedStart start;
    reapLeftovers();
    const QString file = findProgram(program);
    if (file.isEmpty()) {
        start.code = ENOENT;
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

QString ChildProcess::decodeLocal8Bit(const QByteArray &bytes)
{
    const int nul = bytes.indexOf('\0');
    return QString::fromLocal8Bit(nul < 0 ? bytes : bytes.left(nul));
}

QStringList ChildProcess::splitLines(const QString &text)
{
    return text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// Changes: programs that are never killed. -----------------------------------------------------

namespace {

std::atomic<int> g_readLimitMs{ChildProcess::DefaultTimeoutMs};
std::atomic<int> g_changeLimitMs{ChildProcess::DefaultChangeLimitMs};

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
    QByteArray *into = nullptr;
    bool *cut = nullptr;
    int limit = 0;
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
        if (!fd.valid() || ::fstat(fd.get(), &st) != 0 || st.st_size <= limit)
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
                ::pread(fd.get(), buffer, size_t(qMin<qint64>(sizeof buffer, limit - into->size())),
                        off_t(into->size()));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            into->append(buffer, int(n));
        }
        struct stat st;
        if (::fstat(fd.get(), &st) == 0 && st.st_size > into->size())
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
            // then there is nothing left to grow either.
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

ProcessResult ChildProcess::runChange(const QString &program, const QStringList &arguments,
                                      const ChangeWait &wait)
{
    ProcessResult result;
    result.error = ProcessResult::FailedToStart;
    reapLeftovers();
    const QString file = findProgram(program);
    if (file.isEmpty())
        return result;
    QElapsedTimer clock;
    clock.start();
    const int readLimit = readLimitMs();
    const int ceiling = changeLimitMs();

    OutputFile outputs[2];
    if (!outputs[0].open("change-output") || !outputs[1].open("change-errors"))
        return result;
    outputs[0].into = &result.standardOutput;
    outputs[0].cut = &result.outputCut;
    outputs[0].limit = MaxOutputBytes;
    outputs[1].into = &result.standardError;
    outputs[1].cut = &result.errorCut;
    outputs[1].limit = MaxErrorBytes;

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
        const qint64 elapsed = clock.elapsed();
        if (elapsed >= ceiling || (wait.stop && wait.stop->load())) {
            // It may have ended just now: then its end is known after all.
            ended = waitAndReap(pid, pidFd, 0, &end);
            break;
        }
        if (!told && elapsed >= readLimit) {
            told = true;
            if (wait.stillRunning)
                wait.stillRunning();
        }
        qint64 slice = qMin<qint64>(ChangeSliceMs, ceiling - elapsed);
        if (!told)
            slice = qMin<qint64>(slice, readLimit - elapsed);
        if (waitAndReap(pid, pidFd, int(qMax<qint64>(slice, 1)), &end)) {
            ended = true;
            break;
        }
    }
    for (OutputFile &output : outputs)
        output.take();
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

int ChildProcess::readLimitMs()
{
    return g_readLimitMs.load();
}

void ChildProcess::setReadLimitMs(int milliseconds)
{
    g_readLimitMs.store(qMax(1, milliseconds));
}

int ChildProcess::changeLimitMs()
{
    return g_changeLimitMs.load();
}

void ChildProcess::setChangeLimitMs(int milliseconds)
{
    g_changeLimitMs.store(qMax(1, milliseconds));
}

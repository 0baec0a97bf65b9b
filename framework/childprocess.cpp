#include "childprocess.h"

#include <QElapsedTimer>
#include <QFile>

#include <cerrno>
#include <climits>
#include <csignal>
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

namespace {

// Process creation. The console is a large, many-threaded process: a fork() copies its page
// tables and makes every page copy-on-write, so the GUI thread and the other workers fault
// and flush TLBs while children start (about 10 ms of the console's time per child, fifty
// packages reads at start-up). posix_spawn() starts the program without copying the console
// (the kernel shares the address space until the exec), and can do all the child needs:
// a session of its own, input from /dev/null, output into our pipes, nothing else open.

// Qt's codes of a run that did not finish (QProcess::ProcessError), kept in ProcessResult.
const int FailedToStart = 0;
const int Crashed = 1;
const int TimedOut = 2;

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

/// Kills the process group @p pid leads (the leader and whatever it started and left there).
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

/// Waits for @p pid without blocking; true (with its status) once it has ended and is reaped.
bool reaped(pid_t pid, int *status)
{
    for (;;) {
        const pid_t r = ::waitpid(pid, status, WNOHANG);
        if (r == pid)
            return true;
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0) {
            // Not ours to wait for any more (reaped elsewhere): ended, how is not known.
            *status = -1;
            return true;
        }
        return false;
    }
}

void reap(pid_t pid, int *status)
{
    // Where it cannot be waited for, how it ended is not known: not a normal exit.
    *status = -1;
    while (::waitpid(pid, status, 0) < 0 && errno == EINTR) {
    }
}

/// Starts @p program (looked up on PATH when it has no slash) with @p argv; 0 or an errno.
int spawn(pid_t *pid, const QByteArray &program, const std::vector<char *> &argv, int out, int err)
{
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err, STDERR_FILENO);
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
        program.contains('/')
            ? ::posix_spawn(pid, program.constData(), &actions, &attributes, argv.data(), environ)
            : ::posix_spawnp(pid, program.constData(), &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return result;
}

} // namespace

ProcessResult ChildProcess::run(const QString &program, const QStringList &arguments, int timeoutMs)
{
    ProcessResult result;
    result.error = FailedToStart;
    if (program.isEmpty())
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

    const QByteArray path = QFile::encodeName(program);
    QList<QByteArray> encoded;
    encoded.reserve(arguments.size());
    for (const QString &argument : arguments)
        encoded.append(argument.toLocal8Bit());
    std::vector<char *> argv;
    argv.reserve(size_t(encoded.size()) + 2);
    argv.push_back(const_cast<char *>(path.constData()));
    for (QByteArray &argument : encoded)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    pid_t pid = -1;
    if (spawn(&pid, path, argv, writeEnds[0].get(), writeEnds[1].get()) != 0)
        return result;
    // Only the child writes now: the pipes end when it (and whatever it started) closes them.
    writeEnds[0].reset();
    writeEnds[1].reset();
    Fd pidFd(openPidFd(pid));

    int status = 0;
    bool ended = false;
    for (;;) {
        if (pidFd.valid() ? false : reaped(pid, &status)) {
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
        if (pidFd.valid() && (fds[count - 1].revents & (POLLIN | POLLHUP | POLLERR))) {
            reap(pid, &status);
            ended = true;
            break;
        }
    }

    if (!ended) {
        result.error = TimedOut;
        killGroup(pid);
        reap(pid, &status);
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
    if (!WIFEXITED(status)) {
        // What a crashed program started is left without its parent: end it too. The group
        // outlives its leader while a member lives, so its id still names only them.
        killGroup(pid);
        result.error = Crashed;
        return result;
    }
    result.error = 5;
    result.finished = true;
    result.exitCode = WEXITSTATUS(status);
    return result;
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

/// Waits up to @p ms for @p pid to end (woken by @p pidFd where there is one); true, with its
/// status, once it ended and was reaped.
bool waitForEnd(pid_t pid, int pidFd, int ms, int *status)
{
    if (pidFd < 0) {
        if (reaped(pid, status))
            return true;
        ::usleep(useconds_t(qMin(ms, 10)) * 1000);
        return reaped(pid, status);
    }
    pollfd fd = {pidFd, POLLIN, 0};
    if (::poll(&fd, 1, ms) > 0 && (fd.revents & (POLLIN | POLLHUP | POLLERR))) {
        reap(pid, status);
        return true;
    }
    return false;
}

/// Lets a change go on with nobody waiting: a thread of its own keeps its output files empty
/// and reaps it when it ends, blocking nobody.
void leaveRunning(pid_t pid, int pidFd, int out, int err)
{
    auto watch = [pid, pidFd, out, err] {
        int status = 0;
        while (!waitForEnd(pid, pidFd, 1000, &status)) {
            ::ftruncate(out, 0);
            ::ftruncate(err, 0);
        }
        ::close(out);
        ::close(err);
        if (pidFd >= 0)
            ::close(pidFd);
    };
    try {
        std::thread(watch).detach();
    } catch (...) {
        // No thread to be had: the program still goes on, and is reaped by whoever inherits
        // it once the console ends.
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
    result.error = FailedToStart;
    if (program.isEmpty())
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

    const QByteArray path = QFile::encodeName(program);
    QList<QByteArray> encoded;
    for (const QString &argument : arguments)
        encoded.append(argument.toLocal8Bit());
    std::vector<char *> argv;
    argv.push_back(const_cast<char *>(path.constData()));
    for (QByteArray &argument : encoded)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    pid_t pid = -1;
    if (spawn(&pid, path, argv, outputs[0].fd.get(), outputs[1].fd.get()) != 0)
        return result;
    Fd pidFd(openPidFd(pid));

    int status = 0;
    bool ended = false;
    bool told = false;
    for (;;) {
        for (OutputFile &output : outputs)
            output.bound();
        const qint64 elapsed = clock.elapsed();
        if (elapsed >= ceiling || (wait.stop && wait.stop->load())) {
            // It may have ended just now: then its end is known after all.
            ended = waitForEnd(pid, pidFd.get(), 0, &status);
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
        if (waitForEnd(pid, pidFd.get(), int(qMax<qint64>(slice, 1)), &status)) {
            ended = true;
            break;
        }
    }
    for (OutputFile &output : outputs)
        output.take();
    if (!ended) {
        result.error = TimedOut;
        result.leftRunning = true;
        leaveRunning(pid, pidFd.release(), outputs[0].fd.release(), outputs[1].fd.release());
        return result;
    }
    // A crashed change keeps what it started: killing that could break what it left half-way.
    if (!WIFEXITED(status)) {
        result.error = Crashed;
        return result;
    }
    result.error = 5;
    result.finished = true;
    result.exitCode = WEXITSTATUS(status);
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

#include "bridgehostconnection_p.h"

#include <bridgeprotocol.h>
#include <hostiofd.h>
#include <hostiofiles.h>
#include <hostioprocess.h>

#include <QCoreApplication>
#include <QFile>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

using SteadyClock = std::chrono::steady_clock;

std::atomic<int> g_answerGraceMs{BridgeHostConnection::DefaultAnswerGraceMs};

/// What is kept of the helper's standard error for messages: the end of it.
const size_t HelperErrorBytes = 4096;
/// A removal's names go in requests of at most this many bytes of names.
const size_t RemovalBatchBytes = 256 * 1024;

QString tr(const char *text)
{
    return QCoreApplication::translate("BridgeHostConnection", text);
}

std::string encoded(const QString &path)
{
    return QFile::encodeName(path).toStdString();
}

QString decoded(const std::string &bytes)
{
    return QFile::decodeName(QByteArray::fromStdString(bytes));
}

QString fromUtf8(const std::string &text)
{
    return QString::fromUtf8(text.data(), int(text.size()));
}

QString seconds(qint64 milliseconds)
{
    return QString::number(double(milliseconds) / 1000, 'g', 3);
}

/// Blocks SIGPIPE in the calling thread: a write to a helper that went away fails with EPIPE
/// instead of ending the console.
void blockBrokenPipeSignal()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

bool makePipe(hostio::Fd *readEnd, hostio::Fd *writeEnd)
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return false;
    readEnd->reset(fds[0]);
    writeEnd->reset(fds[1]);
    return true;
}

void setNonBlocking(int fd)
{
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
}

void signalEvent(const hostio::Fd &fd)
{
    const uint64_t one = 1;
    while (::write(fd.get(), &one, sizeof one) < 0 && errno == EINTR) {
    }
}

/** One call waiting for its answer; guarded by the connection's mutex. */
struct Call
{
    std::condition_variable answered;
    bool done = false;
    /// The connection ended before the answer came.
    bool lost = false;
    bool haveResult = false;
    Bridge::Result result;
    Bridge::ErrorKind errorKind = Bridge::ErrorKind::Failed;
    std::string errorMessage;
    /// A program's standard output, or a file's content.
    std::string output;
    std::string errorOutput;
    std::vector<Bridge::Entry> entries;
    size_t outputLimit = 0;
    size_t errorLimit = 0;
    size_t entryLimit = 0;
    bool outputCut = false;
    bool errorCut = false;
    bool entriesCut = false;
};

void keepBounded(std::string *into, bool *cut, size_t limit, const std::string &bytes)
{
    const size_t room = limit > into->size() ? limit - into->size() : 0;
    if (bytes.size() > room)
        *cut = true;
    into->append(bytes, 0, std::min(room, bytes.size()));
}

/// How a call's wait ended.
enum class Wait
{
    Answered,
    Lost,     ///< the connection ended (the reason in the connection's error text)
    NotSent,  ///< the connection had ended, or the request did not fit in a frame
    TimedOut, ///< no answer within the limit and grace: given up, cancelled where asked
    Stopped   ///< the caller stopped waiting (a change goes on)
};

QString errnoText(int error)
{
    char buffer[256];
    // The GNU strerror_r: safe on many threads at once, unlike strerror.
    return QString::fromLocal8Bit(::strerror_r(error, buffer, sizeof buffer));
}

/**
 * A file operation that ended with @p error (its errno) where the helper found @p kind, as
 * the in-process connection says it.
 */
HostFileStatus failedFileOperation(int error, Bridge::PathKind kind, Bridge::Operation operation)
{
    HostFileStatus status;
    const bool wantsFile = operation == Bridge::Operation::ReadFile ||
                           operation == Bridge::Operation::Tail ||
                           operation == Bridge::Operation::Write;
    if (error == ENOENT) {
        status.code = HostFileStatus::Missing;
    } else if (error == ELOOP) {
        status.code = HostFileStatus::Link;
        status.errorText = QCoreApplication::translate("HostConnection", "Is a symbolic link");
        return status;
    } else if (error == EFBIG) {
        status.code = HostFileStatus::TooLarge;
        status.errorText = QCoreApplication::translate("HostConnection", "Larger than %1 bytes")
                               .arg(qulonglong(hostio::MaxWriteBytes));
        return status;
    } else if (wantsFile && (error == EISDIR || kind == Bridge::PathKind::Directory ||
                             kind == Bridge::PathKind::Other)) {
        status.code = HostFileStatus::NotRegular;
        status.errorText = QCoreApplication::translate("QObject", "Not a regular file");
        return status;
    } else if (error == ENOTDIR) {
        status.code = HostFileStatus::NotDirectory;
    } else {
        status.code = HostFileStatus::Failed;
    }
    status.errorText = errnoText(error);
    return status;
}

/// What a listing's entry or a test found, links followed (Missing: a link leading nowhere).
HostFileType fileType(Bridge::PathKind kind)
{
    switch (kind) {
    case Bridge::PathKind::File:
        return HostFileType::Regular;
    case Bridge::PathKind::Directory:
        return HostFileType::Directory;
    case Bridge::PathKind::Missing:
    case Bridge::PathKind::Link:
        return HostFileType::None;
    case Bridge::PathKind::Other:
        break;
    }
    return HostFileType::Unknown;
}

} // namespace

class BridgeHostConnection::Private
{
public:
    enum class State
    {
        Starting,
        Ready,
        Ended
    };

    bool start(const QStringList &command, const QList<QByteArray> *environment);
    void construct(const QStringList &command, int handshakeTimeoutMs,
                   const QList<QByteArray> *environment);
    void readerLoop();
    void writerLoop();
    /// Handles one frame; false, with @p cause, when the connection has to end.
    bool handleFrame(Bridge::Frame &&frame, std::string *cause);
    /// Ends the connection for @p cause after learning how the helper ended.
    void finish(const QString &cause);
    /// Ends the connection with @p reason: every waiting call is failed, both threads leave.
    void end(const QString &reason);
    /// Writes @p frame at once, as far as the pipe takes it (the closing Error of a handshake).
    void writeNow(const std::string &frame);

    /// Sends @p request for @p call (its limits set); false, with @p why, when it cannot go.
    bool submit(const Bridge::Request &request, const std::shared_ptr<Call> &call, uint32_t *id,
                QString *why);
    Wait await(const std::shared_ptr<Call> &call, uint32_t id, int limitMs, bool cancelAtLimit,
               const ChildProcess::ChangeWait *change);
    /// Forgets the call @p id: a request still queued is dropped, one sent is cancelled when
    /// @p cancel (a change is never cancelled: it goes on by itself).
    void abandon(uint32_t id, bool cancel);
    QString reason() const;

    /// A whole call: submit, wait, and the wait's outcome; @p call holds the answer.
    Wait call(const Bridge::Request &request, std::shared_ptr<Call> *call, int limitMs,
              bool cancelAtLimit, const ChildProcess::ChangeWait *change = nullptr,
              size_t outputLimit = 0, size_t errorLimit = 0, size_t entryLimit = 0);
    /// A run (@p change: a changing one) and its answer as the framework has it.
    ProcessResult runProgram(const QString &program, const QStringList &arguments, int limitMs,
                             const ChildProcess::ChangeWait *change);
    /// A file operation's status from how its call went: the helper ends a failed one with
    /// the errno as its exit code.
    HostFileStatus fileStatus(Wait wait, const Call *call, Bridge::Operation operation) const;

    const BridgeHostConnection *owner = nullptr;
    mutable std::mutex mutex;
    std::condition_variable stateChanged;
    State state = State::Starting;
    QString endReason;
    QString software;
    /// The helper greeted: its start was authorised.
    bool greeted = false;
    std::map<uint32_t, std::shared_ptr<Call>> calls;
    std::atomic<uint32_t> lastId{0};
    std::deque<std::pair<uint32_t, std::string>> outbox;
    std::condition_variable outboxChanged;
    bool writerStop = false;
    int writeError = 0;
    std::string helperErrors;
    pid_t pid = -1;
    bool reaped = false;
    /// How the command ended, as far as known when the connection ended.
    int exitCode = -1;
    QString lastErrors;
    std::function<void(const QString &)> endHandler;

    hostio::Fd toHelper;
    hostio::Fd fromHelper;
    hostio::Fd helperStderr;
    /// Readable once both threads are to leave.
    hostio::Fd stopEvent;
    /// Readable once the writer could not write.
    hostio::Fd brokenEvent;
    std::thread reader;
    std::thread writer;
    Bridge::FrameDecoder decoder;
};

bool BridgeHostConnection::Private::start(const QStringList &command,
                                          const QList<QByteArray> *environment)
{
    if (command.isEmpty()) {
        endReason = tr("The helper could not be started: no command");
        return false;
    }
    QString program = command.first();
    if (!program.contains(QLatin1Char('/')))
        program = ChildProcess::findProgram(program);
    if (program.isEmpty()) {
        endReason = tr("The helper could not be started: no program \"%1\" in %2")
                        .arg(command.first(), ChildProcess::fixedSearchPath());
        return false;
    }
    hostio::Fd childIn, childOut, childErr;
    stopEvent.reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    brokenEvent.reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!stopEvent.valid() || !brokenEvent.valid() || !makePipe(&childIn, &toHelper) ||
        !makePipe(&fromHelper, &childOut) || !makePipe(&helperStderr, &childErr)) {
        endReason = tr("The helper could not be started: %1")
                        .arg(QString::fromLocal8Bit(
                            ::strerrordesc_np(errno) ? ::strerrordesc_np(errno) : "?"));
        return false;
    }
    for (const hostio::Fd *fd : {&toHelper, &fromHelper, &helperStderr})
        setNonBlocking(fd->get());

    std::vector<std::string> words;
    words.push_back(encoded(program));
    for (int i = 1; i < command.size(); ++i)
        words.push_back(command.at(i).toLocal8Bit().toStdString());
    std::vector<char *> argv;
    for (std::string &word : words)
        argv.push_back(&word[0]);
    argv.push_back(nullptr);
    std::vector<std::string> variables;
    std::vector<char *> envp;
    if (environment) {
        for (const QByteArray &entry : *environment)
            variables.push_back(entry.toStdString());
        for (std::string &entry : variables)
            envp.push_back(&entry[0]);
        envp.push_back(nullptr);
    }

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    posix_spawn_file_actions_adddup2(&actions, childIn.get(), STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, childOut.get(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, childErr.get(), STDERR_FILENO);
#if defined(__GLIBC__) && __GLIBC_PREREQ(2, 34)
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
#endif
    // It stays in the console's session: pkexec may ask for the password on its terminal.
    hostio::setNewProgramSignals(&attributes, 0);
    const int spawned = ::posix_spawn(&pid, argv.front(), &actions, &attributes, argv.data(),
                                      environment ? envp.data() : environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        pid = -1;
        endReason = tr("The helper could not be started: %1: %2")
                        .arg(program, QString::fromLocal8Bit(::strerrordesc_np(spawned)));
        return false;
    }
    Bridge::Hello hello;
    hello.software = "vell-admin-service";
    outbox.emplace_back(0, Bridge::encodeHello(hello));
    reader = std::thread([this] { readerLoop(); });
    writer = std::thread([this] { writerLoop(); });
    return true;
}

void BridgeHostConnection::Private::writerLoop()
{
    blockBrokenPipeSignal();
    for (;;) {
        std::string frame;
        {
            std::unique_lock<std::mutex> lock(mutex);
            outboxChanged.wait(lock, [this] { return writerStop || !outbox.empty(); });
            if (writerStop)
                return;
            frame = std::move(outbox.front().second);
            outbox.pop_front();
        }
        size_t at = 0;
        while (at < frame.size()) {
            const ssize_t n = ::write(toHelper.get(), frame.data() + at, frame.size() - at);
            if (n > 0) {
                at += size_t(n);
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && errno == EAGAIN) {
                // A helper that reads no more must not keep the console from closing.
                pollfd fds[2] = {{toHelper.get(), POLLOUT, 0}, {stopEvent.get(), POLLIN, 0}};
                if (::poll(fds, 2, -1) > 0 && fds[1].revents)
                    return;
                continue;
            }
            {
                const std::lock_guard<std::mutex> lock(mutex);
                writeError = n < 0 ? errno : EIO;
            }
            signalEvent(brokenEvent);
            return;
        }
    }
}

void BridgeHostConnection::Private::writeNow(const std::string &frame)
{
    blockBrokenPipeSignal();
    ssize_t n;
    do {
        n = ::write(toHelper.get(), frame.data(), frame.size());
    } while (n < 0 && errno == EINTR);
}

void BridgeHostConnection::Private::readerLoop()
{
    char buffer[65536];
    bool errorOpen = true;
    for (;;) {
        pollfd fds[4] = {{fromHelper.get(), POLLIN, 0},
                         {errorOpen ? helperStderr.get() : -1, POLLIN, 0},
                         {stopEvent.get(), POLLIN, 0},
                         {brokenEvent.get(), POLLIN, 0}};
        if (::poll(fds, 4, -1) < 0) {
            if (errno == EINTR)
                continue;
            finish(tr("cannot wait for its answers: %1")
                       .arg(QString::fromLocal8Bit(::strerrordesc_np(errno))));
            return;
        }
        if (fds[2].revents)
            return;
        if (fds[1].revents) {
            const ssize_t n = ::read(helperStderr.get(), buffer, sizeof buffer);
            if (n > 0) {
                helperErrors.append(buffer, size_t(n));
                if (helperErrors.size() > HelperErrorBytes)
                    helperErrors.erase(0, helperErrors.size() - HelperErrorBytes);
            } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
                errorOpen = false;
            }
        }
        if (fds[3].revents) {
            int error;
            {
                const std::lock_guard<std::mutex> lock(mutex);
                error = writeError;
            }
            finish(tr("its input broke: %1").arg(QString::fromLocal8Bit(::strerrordesc_np(error))));
            return;
        }
        if (!fds[0].revents)
            continue;
        const ssize_t n = ::read(fromHelper.get(), buffer, sizeof buffer);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (n <= 0) {
            decoder.endOfStream();
            finish(decoder.status() == Bridge::FrameDecoder::Failed ? fromUtf8(decoder.error())
                                                                    : QString());
            return;
        }
        size_t at = 0;
        while (at < size_t(n)) {
            at += decoder.feed(buffer + at, size_t(n) - at);
            if (decoder.status() == Bridge::FrameDecoder::Failed) {
                finish(tr("it sent a malformed frame: %1").arg(fromUtf8(decoder.error())));
                return;
            }
            if (decoder.status() != Bridge::FrameDecoder::FrameReady)
                continue;
            std::string cause;
            if (!handleFrame(decoder.takeFrame(), &cause)) {
                finish(fromUtf8(cause));
                return;
            }
        }
    }
}

bool BridgeHostConnection::Private::handleFrame(Bridge::Frame &&frame, std::string *cause)
{
    std::string error;
    std::unique_lock<std::mutex> lock(mutex);
    if (state == State::Ended)
        return true;
    if (frame.type == Bridge::FrameType::Error && frame.id == 0) {
        Bridge::ErrorKind kind;
        std::string message;
        *cause = Bridge::decodeError(frame, &kind, &message, &error) ? message : error;
        return false;
    }
    if (state == State::Starting) {
        Bridge::Hello hello;
        if (frame.type != Bridge::FrameType::Hello || frame.id != 0 ||
            !Bridge::decodeHello(frame, &hello, &error)) {
            *cause = "it did not greet as the helper: " +
                     (error.empty() ? std::string("another frame came first") : error);
            return false;
        }
        const std::string mismatch =
            Bridge::versionMismatch(Bridge::Side::Console, Bridge::ProtocolVersion, hello.version);
        if (!mismatch.empty()) {
            lock.unlock();
            writeNow(Bridge::encodeError(0, Bridge::ErrorKind::Version, mismatch));
            *cause = mismatch;
            return false;
        }
        software = fromUtf8(hello.software);
        greeted = true;
        state = State::Ready;
        stateChanged.notify_all();
        return true;
    }
    const auto found = calls.find(frame.id);
    switch (frame.type) {
    case Bridge::FrameType::Data: {
        Bridge::Stream stream;
        std::string bytes;
        if (!Bridge::decodeData(frame, &stream, &bytes, &error))
            break;
        if (found == calls.end())
            return true; // a call given up on
        Call &call = *found->second;
        switch (stream) {
        case Bridge::Stream::Output:
        case Bridge::Stream::Content:
            keepBounded(&call.output, &call.outputCut, call.outputLimit, bytes);
            return true;
        case Bridge::Stream::ErrorOutput:
            keepBounded(&call.errorOutput, &call.errorCut, call.errorLimit, bytes);
            return true;
        case Bridge::Stream::Entries:
        case Bridge::Stream::Unremoved: {
            std::vector<Bridge::Entry> entries;
            if (!Bridge::decodeEntries(bytes, &entries, &error))
                break;
            for (Bridge::Entry &entry : entries) {
                if (call.entries.size() >= call.entryLimit) {
                    call.entriesCut = true;
                    break;
                }
                call.entries.push_back(std::move(entry));
            }
            return true;
        }
        }
        if (error.empty())
            error = "a Data frame of an unknown stream";
        break;
    }
    case Bridge::FrameType::End:
    case Bridge::FrameType::Error: {
        Bridge::Result result;
        Bridge::ErrorKind kind = Bridge::ErrorKind::Failed;
        std::string message;
        const bool isEnd = frame.type == Bridge::FrameType::End;
        if (isEnd ? !Bridge::decodeResult(frame, &result, &error)
                  : !Bridge::decodeError(frame, &kind, &message, &error))
            break;
        if (found == calls.end())
            return true;
        const std::shared_ptr<Call> call = found->second;
        calls.erase(found);
        call->haveResult = isEnd;
        call->result = result;
        call->errorKind = kind;
        call->errorMessage = std::move(message);
        call->done = true;
        call->answered.notify_all();
        return true;
    }
    default:
        error = "a frame of type " + std::to_string(int(frame.type)) + " the helper never sends";
        break;
    }
    *cause = "it sent a malformed answer: " + error;
    return false;
}

void BridgeHostConnection::Private::finish(const QString &cause)
{
    // The helper's last words and its end, when they follow soon: they say why.
    int status = 0;
    bool ended = false;
    const SteadyClock::time_point until = SteadyClock::now() + std::chrono::milliseconds(1000);
    char buffer[4096];
    bool errorOpen = true;
    while (SteadyClock::now() < until) {
        if (errorOpen) {
            const ssize_t n = ::read(helperStderr.get(), buffer, sizeof buffer);
            if (n > 0) {
                helperErrors.append(buffer, size_t(n));
                if (helperErrors.size() > HelperErrorBytes)
                    helperErrors.erase(0, helperErrors.size() - HelperErrorBytes);
                continue;
            }
            errorOpen = n < 0 && (errno == EAGAIN || errno == EINTR);
        }
        {
            const std::lock_guard<std::mutex> lock(mutex);
            if (!reaped && ::waitpid(pid, &status, WNOHANG) == pid)
                reaped = ended = true;
        }
        if (ended && !errorOpen)
            break;
        ::usleep(10000);
    }
    QStringList parts;
    if (!cause.isEmpty())
        parts.append(cause);
    if (ended && WIFEXITED(status))
        parts.append(tr("exit code %1").arg(WEXITSTATUS(status)));
    else if (ended && WIFSIGNALED(status))
        parts.append(tr("killed by signal %1").arg(WTERMSIG(status)));
    else if (parts.isEmpty())
        parts.append(tr("its output closed"));
    QStringList said;
    for (const QString &line : QString::fromLocal8Bit(helperErrors.data(), int(helperErrors.size()))
                                   .split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        if (!line.trimmed().isEmpty())
            said.append(line.trimmed());
    }
    while (said.size() > 3)
        said.removeFirst();
    if (!said.isEmpty())
        parts.append(said.join(QLatin1String(" / ")));
    {
        const std::lock_guard<std::mutex> lock(mutex);
        exitCode = ended && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        lastErrors = said.join(QLatin1Char('\n'));
    }
    end(tr("The helper ended: %1").arg(parts.join(QLatin1String("; "))));
}

void BridgeHostConnection::Private::end(const QString &reason)
{
    std::function<void(const QString &)> handler;
    {
        const std::lock_guard<std::mutex> lock(mutex);
        if (state == State::Ended)
            return;
        if (state == State::Ready)
            handler = endHandler;
        state = State::Ended;
        endReason = reason;
        for (auto &entry : calls) {
            entry.second->lost = true;
            entry.second->done = true;
            entry.second->answered.notify_all();
        }
        calls.clear();
        outbox.clear();
        writerStop = true;
    }
    outboxChanged.notify_all();
    stateChanged.notify_all();
    if (stopEvent.valid())
        signalEvent(stopEvent);
    if (handler)
        handler(reason);
}

QString BridgeHostConnection::Private::reason() const
{
    const std::lock_guard<std::mutex> lock(mutex);
    return endReason;
}

bool BridgeHostConnection::Private::submit(const Bridge::Request &request,
                                           const std::shared_ptr<Call> &call, uint32_t *id,
                                           QString *why)
{
    do {
        *id = ++lastId;
    } while (*id == 0);
    std::string frame;
    std::string error;
    if (!Bridge::encodeRequest(*id, request, &frame, &error)) {
        *why = tr("The request does not fit in one frame: %1").arg(fromUtf8(error));
        return false;
    }
    const std::lock_guard<std::mutex> lock(mutex);
    if (state != State::Ready) {
        *why = endReason.isEmpty() ? tr("The helper is not connected") : endReason;
        return false;
    }
    calls.emplace(*id, call);
    outbox.emplace_back(*id, std::move(frame));
    outboxChanged.notify_one();
    return true;
}

void BridgeHostConnection::Private::abandon(uint32_t id, bool cancel)
{
    {
        const std::lock_guard<std::mutex> lock(mutex);
        calls.erase(id);
        const auto queued = std::find_if(outbox.begin(), outbox.end(),
                                         [id](const auto &entry) { return entry.first == id; });
        if (queued != outbox.end()) {
            outbox.erase(queued); // never sent: nothing to cancel
            return;
        }
        if (!cancel || state != State::Ready)
            return;
        outbox.emplace_back(0, Bridge::encodeCancel(id));
    }
    outboxChanged.notify_one();
}

Wait BridgeHostConnection::Private::await(const std::shared_ptr<Call> &call, uint32_t id,
                                          int limitMs, bool cancelAtLimit,
                                          const ChildProcess::ChangeWait *change)
{
    const SteadyClock::time_point start = SteadyClock::now();
    const SteadyClock::time_point deadline =
        start + std::chrono::milliseconds(qint64(limitMs) + g_answerGraceMs.load());
    SteadyClock::time_point stillRunningAt = SteadyClock::time_point::max();
    if (change && change->stillRunning)
        stillRunningAt = start + std::chrono::milliseconds(ChildProcess::readLimitMs());
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        if (call->done)
            return call->lost ? Wait::Lost : Wait::Answered;
        const SteadyClock::time_point now = SteadyClock::now();
        if (change && change->stop && change->stop->load()) {
            lock.unlock();
            abandon(id, false);
            return Wait::Stopped;
        }
        if (now >= deadline) {
            lock.unlock();
            abandon(id, cancelAtLimit);
            return Wait::TimedOut;
        }
        if (now >= stillRunningAt) {
            stillRunningAt = SteadyClock::time_point::max();
            lock.unlock();
            change->stillRunning();
            lock.lock();
            continue;
        }
        SteadyClock::time_point wake = std::min(deadline, stillRunningAt);
        // The stop flag is only set, never signalled: look at it now and then.
        if (change && change->stop)
            wake = std::min(wake, now + std::chrono::milliseconds(50));
        call->answered.wait_until(lock, wake);
    }
}

Wait BridgeHostConnection::Private::call(const Bridge::Request &request,
                                         std::shared_ptr<Call> *call, int limitMs,
                                         bool cancelAtLimit, const ChildProcess::ChangeWait *change,
                                         size_t outputLimit, size_t errorLimit, size_t entryLimit)
{
    uint32_t id = 0;
    QString why;
    *call = std::make_shared<Call>();
    (*call)->outputLimit = outputLimit;
    (*call)->errorLimit = errorLimit;
    (*call)->entryLimit = entryLimit;
    if (!submit(request, *call, &id, &why)) {
        (*call)->errorMessage = why.toStdString();
        return Wait::NotSent;
    }
    return await(*call, id, limitMs, cancelAtLimit, change);
}

HostFileStatus BridgeHostConnection::Private::fileStatus(Wait wait, const Call *call,
                                                         Bridge::Operation operation) const
{
    HostFileStatus status;
    status.code = HostFileStatus::Failed;
    switch (wait) {
    case Wait::Answered:
        if (!call->haveResult) {
            status.errorText = fromUtf8(call->errorMessage);
        } else if (call->result.exitCode != 0) {
            status = failedFileOperation(call->result.exitCode, call->result.pathKind, operation);
        } else {
            status.code = HostFileStatus::Ok;
        }
        break;
    case Wait::Lost:
        status.errorText = reason();
        break;
    case Wait::NotSent:
        status.errorText = QString::fromStdString(call->errorMessage);
        break;
    case Wait::TimedOut:
    case Wait::Stopped:
        status.errorText = tr("The helper did not answer within %1 s: the request was cancelled")
                               .arg(seconds(ChildProcess::readLimitMs()));
        break;
    }
    return status;
}

// --- the connection -------------------------------------------------------------------------

BridgeHostConnection::BridgeHostConnection(const QStringList &command, int handshakeTimeoutMs)
    : d(new Private)
{
    d->owner = this;
    d->construct(command, handshakeTimeoutMs, nullptr);
}

BridgeHostConnection::BridgeHostConnection(const QStringList &command, int handshakeTimeoutMs,
                                           const QList<QByteArray> &environment)
    : d(new Private)
{
    d->owner = this;
    d->construct(command, handshakeTimeoutMs, &environment);
}

void BridgeHostConnection::Private::construct(const QStringList &command, int handshakeTimeoutMs,
                                              const QList<QByteArray> *environment)
{
    if (!start(command, environment)) {
        state = State::Ended;
        return;
    }
    std::unique_lock<std::mutex> lock(mutex);
    if (stateChanged.wait_for(lock, std::chrono::milliseconds(qMax(0, handshakeTimeoutMs)),
                              [this] { return state != State::Starting; }))
        return;
    // Nothing was asked of it yet: a helper that does not greet may be stopped.
    if (!reaped)
        ::kill(pid, SIGTERM);
    lock.unlock();
    end(tr("The helper did not answer within %1 s").arg(seconds(handshakeTimeoutMs)));
}

BridgeHostConnection::~BridgeHostConnection()
{
    {
        const std::lock_guard<std::mutex> lock(d->mutex);
        d->writerStop = true;
    }
    d->outboxChanged.notify_all();
    if (d->stopEvent.valid())
        signalEvent(d->stopEvent);
    if (d->writer.joinable())
        d->writer.join();
    if (d->reader.joinable())
        d->reader.join();
    // Its input closes: the helper stops what only reads and lets changes finish.
    d->toHelper.reset();
    d->fromHelper.reset();
    d->helperStderr.reset();
    if (d->pid > 0 && !d->reaped && ::waitpid(d->pid, nullptr, WNOHANG) == 0) {
        const pid_t pid = d->pid;
        std::thread([pid] {
            while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
            }
        }).detach();
    }
}

bool BridgeHostConnection::isConnected() const
{
    const std::lock_guard<std::mutex> lock(d->mutex);
    return d->state == Private::State::Ready;
}

QString BridgeHostConnection::errorText() const
{
    return d->reason();
}

QString BridgeHostConnection::helperSoftware() const
{
    const std::lock_guard<std::mutex> lock(d->mutex);
    return d->software;
}

qint64 BridgeHostConnection::processId() const
{
    return d->pid;
}

int BridgeHostConnection::exitCode() const
{
    const std::lock_guard<std::mutex> lock(d->mutex);
    return d->exitCode;
}

QString BridgeHostConnection::errorOutput() const
{
    const std::lock_guard<std::mutex> lock(d->mutex);
    return d->lastErrors;
}

void BridgeHostConnection::setEndHandler(std::function<void(const QString &)> handler)
{
    std::unique_lock<std::mutex> lock(d->mutex);
    if (d->state == Private::State::Ended) {
        const QString reason = d->endReason;
        const bool served = d->greeted;
        lock.unlock();
        if (served && handler)
            handler(reason);
        return;
    }
    d->endHandler = std::move(handler);
}

int BridgeHostConnection::setAnswerGraceMs(int milliseconds)
{
    return g_answerGraceMs.exchange(qMax(0, milliseconds));
}

bool BridgeHostConnection::isPrivileged() const
{
    const std::lock_guard<std::mutex> lock(d->mutex);
    return d->greeted;
}

QString BridgeHostConnection::findProgram(const QString &program) const
{
    if (program.isEmpty())
        return QString();
    QStringList candidates;
    if (program.contains(QLatin1Char('/'))) {
        candidates.append(program);
    } else {
        for (const QString &directory :
             ChildProcess::fixedSearchPath().split(QLatin1Char(':'), Qt::SkipEmptyParts))
            candidates.append(directory + QLatin1Char('/') + program);
    }
    for (const QString &candidate : candidates) {
        const HostPathInfo info = pathInfo(candidate);
        if (info.isFile() || (info.link && info.exists()))
            return candidate;
    }
    return QString();
}

ProcessResult BridgeHostConnection::Private::runProgram(const QString &program,
                                                        const QStringList &arguments, int limitMs,
                                                        const ChildProcess::ChangeWait *change)
{
    ProcessResult result;
    result.error = ProcessResult::FailedToStart;
    const QString path = program.contains(QLatin1Char('/')) ? program : owner->findProgram(program);
    if (path.isEmpty()) {
        result.failure =
            owner->isConnected() ? tr("No program \"%1\" on the host").arg(program) : reason();
        return result;
    }
    Bridge::Request request;
    request.operation = Bridge::Operation::Run;
    request.path = encoded(path);
    for (const QString &argument : arguments)
        request.arguments.push_back(argument.toLocal8Bit().toStdString());
    request.change = change != nullptr;
    request.timeLimitMs = uint32_t(limitMs);
    request.byteLimit = ChildProcess::MaxOutputBytes;
    std::shared_ptr<Call> answer;
    // A change is never cancelled: killed half-way it would leave a state nobody chose.
    switch (call(request, &answer, limitMs, !change, change, ChildProcess::MaxOutputBytes,
                 ChildProcess::MaxErrorBytes)) {
    case Wait::Answered:
        break;
    case Wait::NotSent:
        result.failure = QString::fromStdString(answer->errorMessage);
        return result;
    case Wait::Lost:
        if (!change) {
            result.error = ProcessResult::Crashed;
            result.failure = reason();
            return result;
        }
        // Sent, and no answer: the change may have been made, or not.
        result.error = ProcessResult::NoError;
        result.leftRunning = true;
        result.failure = reason() + QLatin1Char('\n') +
                         tr("Whether \"%1\" changed anything is unknown.").arg(path);
        return result;
    case Wait::TimedOut:
    case Wait::Stopped:
        if (change) {
            result.error = ProcessResult::NoError;
            result.leftRunning = true;
            return result;
        }
        result.error = ProcessResult::TimedOut;
        result.failure = tr("The helper did not answer within %1 s: the run was cancelled")
                             .arg(seconds(limitMs));
        return result;
    }
    result.standardOutput = QByteArray::fromStdString(answer->output);
    result.standardError = QByteArray::fromStdString(answer->errorOutput);
    result.outputCut = answer->outputCut || answer->result.outputCut;
    result.errorCut = answer->errorCut || answer->result.errorCut;
    if (!answer->haveResult) {
        if (answer->errorKind == Bridge::ErrorKind::Cancelled)
            result.error = ProcessResult::TimedOut;
        result.failure = fromUtf8(answer->errorMessage);
        return result;
    }
    result.error = ProcessResult::NoError;
    switch (answer->result.ending) {
    case Bridge::Result::Ending::Finished:
        result.finished = true;
        result.exitCode = answer->result.exitCode;
        break;
    case Bridge::Result::Ending::Crashed:
        result.error = ProcessResult::Crashed;
        break;
    case Bridge::Result::Ending::TimedOut:
        result.error = ProcessResult::TimedOut;
        break;
    case Bridge::Result::Ending::LeftRunning:
        result.leftRunning = true;
        break;
    }
    return result;
}

ProcessResult BridgeHostConnection::run(const QString &program, const QStringList &arguments,
                                        int timeoutMs) const
{
    return d->runProgram(program, arguments,
                         qMax(1, timeoutMs < 0 ? ChildProcess::readLimitMs() : timeoutMs), nullptr);
}

ProcessResult BridgeHostConnection::runChange(const QString &program, const QStringList &arguments,
                                              const ChildProcess::ChangeWait &wait) const
{
    return d->runProgram(program, arguments, ChildProcess::changeLimitMs(), &wait);
}

DetachedStart BridgeHostConnection::startDetached(const QString &program,
                                                  const QStringList &arguments,
                                                  const QList<QByteArray> &environment,
                                                  int graceMs) const
{
    return ChildProcess::startDetached(program, arguments, environment, graceMs);
}

namespace {
/// A byte bound within what one QByteArray holds, at least 1 (0 asks for the policy's).
uint64_t requestBound(qint64 bytes)
{
    return uint64_t(qBound<qint64>(1, bytes, qint64(1) << 30));
}
} // namespace

HostFileContent BridgeHostConnection::readFile(const QString &path, qint64 maxBytes) const
{
    Bridge::Request request;
    request.operation = Bridge::Operation::ReadFile;
    request.path = encoded(path);
    request.byteLimit = requestBound(maxBytes);
    std::shared_ptr<Call> call;
    const size_t keep = size_t(qBound<qint64>(0, maxBytes, qint64(1) << 30));
    const Wait wait = d->call(request, &call, ChildProcess::readLimitMs(), true, nullptr, keep);
    HostFileContent content;
    static_cast<HostFileStatus &>(content) = d->fileStatus(wait, call.get(), request.operation);
    if (content.ok()) {
        content.data = QByteArray::fromStdString(call->output);
        content.cut = call->outputCut || call->result.outputCut;
    }
    return content;
}

HostFileContent BridgeHostConnection::readTail(const QString &path, int lines,
                                               qint64 maxBytes) const
{
    Bridge::Request request;
    request.operation = Bridge::Operation::Tail;
    request.path = encoded(path);
    request.lines = uint32_t(qMax(1, lines));
    request.byteLimit = requestBound(maxBytes);
    std::shared_ptr<Call> call;
    const size_t keep =
        lines > 0 ? size_t(qBound<qint64>(0, maxBytes, qint64(1) << 30)) : size_t(0);
    const Wait wait = d->call(request, &call, ChildProcess::readLimitMs(), true, nullptr, keep);
    HostFileContent content;
    static_cast<HostFileStatus &>(content) = d->fileStatus(wait, call.get(), request.operation);
    if (content.ok()) {
        // The helper's tail ends at whole lines; only a bound of ours cuts more.
        content.data = QByteArray::fromStdString(call->output);
        content.cut = call->result.outputCut || (lines > 0 && call->outputCut);
    }
    return content;
}

HostDirectoryListing BridgeHostConnection::listDirectory(const QString &path, int maxEntries) const
{
    Bridge::Request request;
    request.operation = Bridge::Operation::List;
    request.path = encoded(path);
    std::shared_ptr<Call> call;
    // The helper's order is its own: the first names bytewise are kept, as a local listing
    // keeps them, so all are taken (as many as a listing holds by default) before the cut.
    const size_t wanted = size_t(qMax(0, maxEntries));
    const Wait wait = d->call(request, &call, ChildProcess::readLimitMs(), true, nullptr, 0, 0,
                              std::max<size_t>(wanted, DefaultMaxEntries));
    HostDirectoryListing listing;
    static_cast<HostFileStatus &>(listing) = d->fileStatus(wait, call.get(), request.operation);
    if (!listing.ok())
        return listing;
    std::sort(call->entries.begin(), call->entries.end(),
              [](const Bridge::Entry &a, const Bridge::Entry &b) { return a.name < b.name; });
    listing.cut = call->entriesCut || call->result.outputCut || call->entries.size() > wanted;
    if (call->entries.size() > wanted)
        call->entries.resize(wanted);
    listing.entries.reserve(int(call->entries.size()));
    for (const Bridge::Entry &entry : call->entries) {
        HostDirectoryEntry item;
        item.rawName = QByteArray::fromStdString(entry.name);
        item.name = QFile::decodeName(item.rawName);
        // Kinds come with links followed: only a name leading nowhere is known to be a link.
        item.link = entry.kind == Bridge::PathKind::Missing || entry.kind == Bridge::PathKind::Link;
        item.type = fileType(entry.kind);
        listing.entries.append(item);
    }
    return listing;
}

HostRemoval BridgeHostConnection::removePlainEntries(const QString &directory) const
{
    HostRemoval removal;
    const HostDirectoryListing listing = listDirectory(directory);
    static_cast<HostFileStatus &>(removal) = listing;
    if (!listing.ok())
        return removal;
    // Regular files and links to them (the helper removes the link only); it judges each
    // name again as it removes it.
    std::vector<std::string> names;
    for (const HostDirectoryEntry &entry : listing.entries) {
        if (entry.type == HostFileType::Regular && !entry.rawName.startsWith('.'))
            names.push_back(entry.rawName.toStdString());
    }
    size_t at = 0;
    while (at < names.size()) {
        Bridge::Request request;
        request.operation = Bridge::Operation::RemoveIn;
        request.path = encoded(directory);
        size_t bytes = 0;
        while (at < names.size() && (request.arguments.empty() || bytes < RemovalBatchBytes)) {
            bytes += names[at].size() + 4;
            request.arguments.push_back(names[at++]);
        }
        std::shared_ptr<Call> call;
        const Wait wait = d->call(request, &call, ChildProcess::readLimitMs(), true, nullptr, 0, 0,
                                  request.arguments.size());
        const HostFileStatus status = d->fileStatus(wait, call.get(), request.operation);
        std::vector<std::string> left;
        std::vector<std::string> stayed;
        if (status.ok()) {
            for (const Bridge::Entry &entry : call->entries) {
                // Gone already, or no plain entry any more (a directory since): not a failure,
                // as a listing taken now would not have had them.
                if (entry.error == ENOENT || entry.error == EISDIR)
                    stayed.push_back(entry.name);
                else
                    left.push_back(entry.name);
            }
        } else {
            static_cast<HostFileStatus &>(removal) = status;
            left = request.arguments;
        }
        for (const std::string &name : request.arguments) {
            if (std::find(left.begin(), left.end(), name) != left.end())
                removal.failed.append(decoded(name));
            else if (std::find(stayed.begin(), stayed.end(), name) == stayed.end())
                removal.removed.append(decoded(name));
        }
        if (!status.ok()) {
            while (at < names.size())
                removal.failed.append(decoded(names[at++]));
        }
    }
    if (removal.ok() && !removal.failed.isEmpty()) {
        removal.code = HostFileStatus::Failed;
        removal.errorText = tr("Not every entry could be removed");
    }
    std::sort(removal.failed.begin(), removal.failed.end(), [](const QString &a, const QString &b) {
        const int folded = a.compare(b, Qt::CaseInsensitive);
        return folded != 0 ? folded < 0 : a < b;
    });
    return removal;
}

HostFileStatus BridgeHostConnection::writeFile(const QString &path, const QByteArray &contents,
                                               int) const
{
    if (size_t(contents.size()) > hostio::MaxWriteBytes) {
        HostFileStatus status;
        status.code = HostFileStatus::TooLarge;
        status.errorText = tr("Larger than %1 bytes").arg(qulonglong(hostio::MaxWriteBytes));
        return status;
    }
    Bridge::Request request;
    request.operation = Bridge::Operation::Write;
    request.path = encoded(path);
    request.content = contents.toStdString();
    std::shared_ptr<Call> call;
    const Wait wait = d->call(request, &call, ChildProcess::readLimitMs(), true);
    HostFileStatus status = d->fileStatus(wait, call.get(), request.operation);
    if (wait == Wait::NotSent && d->reason().isEmpty())
        status.code = HostFileStatus::TooLarge;
    return status;
}

HostPathInfo BridgeHostConnection::pathInfo(const QString &path) const
{
    Bridge::Request request;
    request.operation = Bridge::Operation::Test;
    request.path = encoded(path);
    std::shared_ptr<Call> call;
    const Wait wait = d->call(request, &call, ChildProcess::readLimitMs(), true);
    HostPathInfo info;
    if (wait != Wait::Answered || !call->haveResult) {
        info.type = HostFileType::Unknown;
        return info;
    }
    // The kind with a final link followed; Link: one leading nowhere.
    info.type = fileType(call->result.pathKind);
    info.link = call->result.pathKind == Bridge::PathKind::Link;
    if (call->result.exitCode != 0 && call->result.pathKind != Bridge::PathKind::Missing)
        info.type = HostFileType::Unknown;
    return info;
}

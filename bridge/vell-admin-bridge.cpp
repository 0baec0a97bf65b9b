// vell-admin-bridge: the console's privileged requests, each checked against the policy, over
// the framed protocol on standard input and output. See vell-admin-bridge(8).

#include "bridgepaths.h"
#include "bridgepolicy.h"
#include "bridgeprotocol.h"

#include <hostiofd.h>
#include <hostiofiles.h>
#include <hostioprocess.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <syslog.h>
#include <unistd.h>

using namespace Bridge;

namespace {

/// Children at once; the requests beyond wait their turn.
constexpr size_t MaxChildren = 32;
/// Threads for the file operations (no children): a slow run never holds up a read.
constexpr size_t FileWorkers = 4;
/// Answers queued for a slow reader before a worker waits for it to catch up.
constexpr size_t MaxQueuedAnswerBytes = 8 * 1024 * 1024;
/// Requests taken in before the bridge stops reading until some are done: a console that
/// sends without end cannot make it hold without end.
constexpr size_t MaxQueuedRequestBytes = 64 * 1024 * 1024;
/// What the bridge calls itself in its Hello.
constexpr const char Software[] = "vell-admin-bridge " OXA_BRIDGE_VERSION;

/** Who started the bridge, as the starting program said: for the log only, never trusted. */
std::string callerName()
{
    // Taken before the environment is cleared; bounded and quoted, since anyone who can set
    // the environment (a root shell) can put anything there.
    const auto value = [](const char *name) {
        const char *text = std::getenv(name);
        return text ? quoteWord(std::string(text).substr(0, 64)) : std::string();
    };
    std::string who = "uid " + std::to_string(::getuid());
    if (const std::string user = value("SUDO_USER"); !user.empty())
        who += ", SUDO_USER " + user;
    if (const std::string uid = value("PKEXEC_UID"); !uid.empty())
        who += ", PKEXEC_UID " + uid;
    return who;
}

/// The descriptors the caller left open stay out: the bridge holds only its own (and
/// standard input, output and error, on /dev/null when the caller closed them).
void closeInheritedDescriptors()
{
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) < 0 && errno == EBADF) {
            const int opened = ::open("/dev/null", O_RDWR);
            if (opened >= 0 && opened != fd) {
                ::dup2(opened, fd);
                ::close(opened);
            }
        }
    }
#ifdef SYS_close_range
    if (::syscall(SYS_close_range, 3u, ~0u, 0u) == 0)
        return;
#endif
    const long most = ::sysconf(_SC_OPEN_MAX);
    for (long fd = 3; fd < (most > 0 ? most : 65536); ++fd)
        ::close(int(fd));
}

PathKind kindOf(hostio::FileType type)
{
    switch (type) {
    case hostio::FileType::None:
        return PathKind::Missing;
    case hostio::FileType::Regular:
        return PathKind::File;
    case hostio::FileType::Directory:
        return PathKind::Directory;
    default:
        return PathKind::Other;
    }
}

/// What is at @p path (its directory part resolved by the policy), a final link followed; a
/// link leading nowhere is a Link. The size of a regular file in @p size.
PathKind kindAt(const std::string &path, uint64_t *size)
{
    struct stat st;
    *size = 0;
    if (::stat(path.c_str(), &st) == 0) {
        if (S_ISREG(st.st_mode))
            *size = uint64_t(st.st_size);
        return S_ISREG(st.st_mode)   ? PathKind::File
               : S_ISDIR(st.st_mode) ? PathKind::Directory
                                     : PathKind::Other;
    }
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode) ? PathKind::Link
                                                                  : PathKind::Missing;
}

/// The errno and the kind of what was found for a file operation's outcome.
void fileOutcome(const hostio::Outcome &outcome, const std::string &path, Result *result)
{
    uint64_t size = 0;
    switch (outcome.status) {
    case hostio::Status::Ok:
        result->exitCode = 0;
        return;
    case hostio::Status::Missing:
        result->exitCode = ENOENT;
        result->pathKind = PathKind::Missing;
        return;
    case hostio::Status::Link:
        result->exitCode = ELOOP;
        result->pathKind = PathKind::Link;
        return;
    case hostio::Status::TooLarge:
        result->exitCode = EFBIG;
        return;
    case hostio::Status::NotRegular:
    case hostio::Status::NotDirectory:
    case hostio::Status::Failed:
        break;
    }
    result->pathKind = kindAt(path, &size);
    result->exitCode = outcome.error != 0                               ? outcome.error
                       : result->pathKind == PathKind::Directory        ? EISDIR
                       : outcome.status == hostio::Status::NotDirectory ? ENOTDIR
                                                                        : EINVAL;
}

/** One request the console sent, from its arrival to its answer (and, for a change, its end). */
struct Job
{
    uint32_t id = 0;
    Request request;
    size_t bytes = 0; ///< its frame, counted against MaxQueuedRequestBytes until it started
    bool started = false;
    bool answered = false;         ///< under the server's lock: exactly one answer per request
    std::atomic<bool> stop{false}; ///< a read-only run is to end now

    /// It changes the host: it is logged, and never stopped once started.
    bool changes() const
    {
        return request.operation == Operation::RemoveIn || request.operation == Operation::Write ||
               (request.operation == Operation::Run && request.change);
    }
};

/**
 * The bridge's standard output: answers queued by any thread and written by one, in whole
 * frames. A console that reads slowly makes the workers wait (never the reader of requests,
 * so a Cancel still gets through); one that went away ends the writing.
 */
class Output
{
public:
    explicit Output(std::function<void()> broken) : m_broken(std::move(broken))
    {
        m_thread = std::thread([this] { writeLoop(); });
    }
    ~Output() { finish(); }

    void send(std::string frames, bool mayWait)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (mayWait)
            m_roomy.wait(lock, [this] { return m_failed || m_bytes < MaxQueuedAnswerBytes; });
        if (m_failed || frames.empty())
            return;
        m_bytes += frames.size();
        m_queue.push_back(std::move(frames));
        m_ready.notify_one();
    }

    /// Writes what is queued, then ends the writer.
    void finish()
    {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_closing = true;
            m_ready.notify_one();
        }
        if (m_thread.joinable())
            m_thread.join();
    }

private:
    void writeLoop()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            m_ready.wait(lock, [this] { return m_closing || !m_queue.empty(); });
            if (m_queue.empty())
                return;
            std::string frames = std::move(m_queue.front());
            m_queue.pop_front();
            lock.unlock();
            const bool written = hostio::writeAll(STDOUT_FILENO, frames);
            lock.lock();
            m_bytes -= frames.size();
            m_roomy.notify_all();
            if (!written) {
                m_failed = true;
                m_queue.clear();
                m_bytes = 0;
                m_roomy.notify_all();
                lock.unlock();
                m_broken();
                lock.lock();
            }
        }
    }

    std::function<void()> m_broken;
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::condition_variable m_roomy;
    std::deque<std::string> m_queue;
    size_t m_bytes = 0;
    bool m_closing = false;
    bool m_failed = false;
    std::thread m_thread;
};

/** The conversation with one console: requests in, checked, carried out, answered. */
class Server
{
public:
    Server(const Policy &policy, std::string caller)
        : m_policy(policy), m_caller(std::move(caller)), m_output([this] { hangUp(); })
    {
    }

    /// Serves until the console goes away or breaks the protocol; the exit status.
    int serve(int signalFd, bool policyLoaded, const std::string &policyError);

private:
    enum class Pool
    {
        Runs,
        Files
    };
    struct Workers
    {
        std::deque<std::shared_ptr<Job>> queue;
        size_t threads = 0;
        size_t idle = 0;
        size_t most = 0;
    };

    bool handshake(const Frame &frame);
    /// Takes one frame after the handshake; false when the connection must end.
    bool take(Frame frame);
    void enqueue(const std::shared_ptr<Job> &job);
    void cancel(uint32_t id);
    /// The console is gone: nothing more starts, read-only runs end, changes go on.
    void hangUp();
    void work(Pool pool);
    void carryOut(Job &job);
    void runProgram(Job &job, const Decision &decision);
    void runChange(Job &job, const Decision &decision);
    void fileOperation(Job &job, const Decision &decision);

    /// Sends the answer of @p job unless it has one already (a Cancel, a LeftRunning came
    /// first); its id is free again then.
    bool answer(Job &job, std::string frames);
    void log(int priority, const Job &job, const std::string &what);

    const Policy &m_policy;
    const std::string m_caller;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::map<uint32_t, std::shared_ptr<Job>> m_inFlight;
    Workers m_runs;
    Workers m_files;
    std::vector<std::thread> m_threads;
    size_t m_queuedBytes = 0;
    bool m_gone = false;
    /// Last: its writer, which may call hangUp(), ends before the rest goes.
    Output m_output;
};

void Server::log(int priority, const Job &job, const std::string &what)
{
    const Request &request = job.request;
    std::string description = describe(request);
    if (request.operation == Operation::Run && request.change)
        description.replace(0, 3, "change");
    if (request.operation == Operation::Write)
        description += " (" + std::to_string(request.content.size()) + " bytes)";
    ::syslog(priority, "for %s: %s: %s", m_caller.c_str(), description.c_str(), what.c_str());
}

bool Server::answer(Job &job, std::string frames)
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        if (job.answered)
            return false;
        job.answered = true;
        const auto found = m_inFlight.find(job.id);
        if (found != m_inFlight.end() && found->second.get() == &job)
            m_inFlight.erase(found);
    }
    m_output.send(std::move(frames), true);
    return true;
}

void Server::hangUp()
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (m_gone)
        return;
    m_gone = true;
    for (Workers *workers : {&m_runs, &m_files}) {
        for (const std::shared_ptr<Job> &job : workers->queue) {
            job->answered = true;
            if (job->changes())
                log(LOG_NOTICE, *job, "not started: the console went away");
        }
        workers->queue.clear();
    }
    for (const auto &entry : m_inFlight) {
        if (!entry.second->changes())
            entry.second->stop = true;
    }
    m_inFlight.clear();
    m_queuedBytes = 0;
    m_changed.notify_all();
}

void Server::enqueue(const std::shared_ptr<Job> &job)
{
    Workers &workers = job->request.operation == Operation::Run ? m_runs : m_files;
    const Pool pool = &workers == &m_runs ? Pool::Runs : Pool::Files;
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_gone) {
        // The console went away while its last frames were taken in: nothing more starts.
        if (job->changes())
            log(LOG_NOTICE, *job, "not started: the console went away");
        return;
    }
    m_inFlight[job->id] = job;
    workers.queue.push_back(job);
    m_queuedBytes += job->bytes;
    if (workers.idle == 0 && workers.threads < workers.most) {
        try {
            m_threads.emplace_back([this, pool] { work(pool); });
            ++workers.threads;
        } catch (const std::system_error &) {
            // No thread to be had: those there are take it in turn; with none, it fails.
            if (workers.threads == 0) {
                workers.queue.pop_back();
                m_queuedBytes -= job->bytes;
                lock.unlock();
                answer(*job, encodeError(job->id, ErrorKind::Failed,
                                         describe(job->request) + ": no thread to carry it out"));
                return;
            }
        }
    }
    m_changed.notify_all();
}

void Server::cancel(uint32_t id)
{
    std::shared_ptr<Job> job;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        const auto found = m_inFlight.find(id);
        if (found == m_inFlight.end())
            return; // answered already: the Cancel crossed the answer
        job = found->second;
        if (job->started && !job->changes()) {
            // A read-only run ends now and is answered by its worker; a file operation is
            // quick and ends first.
            job->stop = true;
            return;
        }
        if (!job->started) {
            Workers &workers = job->request.operation == Operation::Run ? m_runs : m_files;
            for (auto it = workers.queue.begin(); it != workers.queue.end(); ++it) {
                if (it->get() == job.get()) {
                    workers.queue.erase(it);
                    m_queuedBytes -= job->bytes;
                    m_changed.notify_all();
                    break;
                }
            }
        }
    }
    // Not started: it never will be. A change under way goes on (killed half-way, it would
    // leave the host in a state nobody chose); the console only stops waiting for it.
    if (answer(*job,
               encodeError(id, ErrorKind::Cancelled, "Cancelled: " + describe(job->request))) &&
        job->started)
        log(LOG_NOTICE, *job, "the console stopped waiting; it goes on");
}

void Server::work(Pool pool)
{
    Workers &workers = pool == Pool::Runs ? m_runs : m_files;
    for (;;) {
        std::shared_ptr<Job> job;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            ++workers.idle;
            m_changed.wait(lock, [&] { return m_gone || !workers.queue.empty(); });
            --workers.idle;
            if (workers.queue.empty())
                return;
            job = workers.queue.front();
            workers.queue.pop_front();
            job->started = true;
            m_queuedBytes -= job->bytes;
            m_changed.notify_all();
        }
        carryOut(*job);
    }
}

void Server::carryOut(Job &job)
{
    const Decision decision = m_policy.check(job.request);
    if (decision.verdict == Decision::Refused) {
        log(LOG_WARNING, job, decision.message);
        answer(job, encodeError(job.id, ErrorKind::Refused, decision.message));
        return;
    }
    if (decision.verdict == Decision::Failed) {
        // Admitted, but its path cannot be resolved: answered as the operation itself would
        // have failed on it (missing, say), so the console tells the cases apart.
        if (job.changes())
            log(LOG_NOTICE, job, "failed: " + Paths::errorText(decision.error));
        if (job.request.operation == Operation::Run) {
            answer(job, encodeError(job.id, ErrorKind::Failed, decision.message));
            return;
        }
        Result result;
        result.exitCode = decision.error;
        result.pathKind = decision.error == ENOENT || decision.error == ENOTDIR ? PathKind::Missing
                                                                                : PathKind::Other;
        answer(job, encodeResult(job.id, result));
        return;
    }
    if (job.request.operation != Operation::Run)
        fileOperation(job, decision);
    else if (decision.change)
        runChange(job, decision);
    else
        runProgram(job, decision);
}

/// The Data frames of a run's output and its End, or the Error of a run that did not start.
std::string runAnswer(uint32_t id, const Request &request, const hostio::ProcessResult &run)
{
    std::string frames;
    if (run.error == hostio::ProcessResult::FailedToStart)
        return encodeError(id, ErrorKind::Failed, describe(request) + ": could not be started");
    if (!run.standardOutput.empty())
        appendData(&frames, id, Stream::Output, run.standardOutput.data(),
                   run.standardOutput.size());
    if (!run.standardError.empty())
        appendData(&frames, id, Stream::ErrorOutput, run.standardError.data(),
                   run.standardError.size());
    Result result;
    result.outputCut = run.outputCut;
    result.errorCut = run.errorCut;
    if (run.leftRunning) {
        result.ending = Result::Ending::LeftRunning;
    } else if (run.error == hostio::ProcessResult::TimedOut) {
        result.ending = Result::Ending::TimedOut;
    } else if (run.error == hostio::ProcessResult::Crashed) {
        result.ending = Result::Ending::Crashed;
        result.exitCode = run.exitCode;
    } else {
        result.exitCode = run.exitCode;
    }
    return frames + encodeResult(id, result);
}

/// The outcome of a run as the log says it.
std::string runOutcome(const hostio::ProcessResult &run)
{
    switch (run.error) {
    case hostio::ProcessResult::FailedToStart:
        return "could not be started";
    case hostio::ProcessResult::Crashed:
        return "crashed";
    case hostio::ProcessResult::TimedOut:
        return run.leftRunning ? "still running, left to run on" : "killed at the time limit";
    case hostio::ProcessResult::NoError:
        break;
    }
    return "exited with " + std::to_string(run.exitCode);
}

void Server::runProgram(Job &job, const Decision &decision)
{
    hostio::RunOptions options;
    options.timeoutMs = int(std::min<uint32_t>(decision.timeLimitMs, INT32_MAX));
    options.limits.output = size_t(decision.byteLimit);
    options.limits.error = size_t(decision.errorByteLimit);
    options.stop = &job.stop;
    const hostio::ProcessResult run = hostio::run(decision.path, job.request.arguments, options);
    if (run.stopped) {
        answer(job,
               encodeError(job.id, ErrorKind::Cancelled, "Cancelled: " + describe(job.request)));
        return;
    }
    answer(job, runAnswer(job.id, job.request, run));
}

void Server::runChange(Job &job, const Decision &decision)
{
    log(LOG_NOTICE, job, "starting (" + decision.rule + ")");
    hostio::ChangeOptions options;
    // The console waits as long as it asked; the change itself may take the policy's time,
    // whoever still waits, and is killed only then: the bridge leaves nothing behind.
    options.ceilingMs = int(std::min<uint32_t>(m_policy.limits().changeTimeMs, INT32_MAX));
    options.readLimitMs = int(std::min<uint32_t>(decision.timeLimitMs, INT32_MAX));
    options.killAtCeiling = true;
    options.limits.output = size_t(decision.byteLimit);
    options.limits.error = size_t(decision.errorByteLimit);
    options.stillRunning = [this, &job] {
        Result result;
        result.ending = Result::Ending::LeftRunning;
        answer(job, encodeResult(job.id, result));
    };
    const hostio::ProcessResult run =
        hostio::runChange(decision.path, job.request.arguments, options);
    std::string outcome = runOutcome(run);
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        if (job.answered)
            outcome += " (after its answer)";
    }
    // Logged before it is answered: whoever learns the outcome finds it in the log.
    log(run.succeeded() ? LOG_NOTICE : LOG_WARNING, job, outcome);
    answer(job, runAnswer(job.id, job.request, run));
}

void Server::fileOperation(Job &job, const Decision &decision)
{
    const Request &request = job.request;
    Result result;
    std::string frames;
    std::string outcome = "done";
    int error = 0;
    const auto open = [&](const std::string &path, int flags) {
        return hostio::Fd(Paths::openResolved(path, flags | O_NONBLOCK | O_NOCTTY, &error));
    };
    const auto failedOpen = [&](const std::string &path) {
        result.exitCode = error;
        result.pathKind = error == ENOENT  ? PathKind::Missing
                          : error == ELOOP ? PathKind::Link
                                           : kindAt(path, &result.size);
        result.size = 0;
        outcome = "failed: " + Paths::errorText(error);
    };

    switch (request.operation) {
    case Operation::ReadFile:
    case Operation::Tail: {
        const hostio::Fd fd = open(decision.path, O_RDONLY);
        if (!fd.valid()) {
            failedOpen(decision.path);
            break;
        }
        const hostio::FileContent content =
            request.operation == Operation::Tail
                ? hostio::readOpenTail(fd.get(), decision.lines, size_t(decision.byteLimit))
                : hostio::readOpenFile(fd.get(), size_t(decision.byteLimit));
        fileOutcome(content, decision.path, &result);
        if (content.ok()) {
            appendData(&frames, job.id, Stream::Content, content.data.data(), content.data.size());
            result.outputCut = content.cut;
            result.pathKind = PathKind::File;
        }
        break;
    }
    case Operation::List: {
        const hostio::Fd fd = open(decision.path, O_RDONLY | O_DIRECTORY);
        if (!fd.valid()) {
            failedOpen(decision.path);
            break;
        }
        const hostio::DirectoryListing listing =
            hostio::listOpenDirectory(fd.get(), decision.entries);
        fileOutcome(listing, decision.path, &result);
        if (listing.ok()) {
            std::vector<Entry> entries;
            entries.reserve(listing.entries.size());
            for (const hostio::DirectoryEntry &item : listing.entries)
                entries.push_back({kindOf(item.type), 0, item.name});
            appendEntries(&frames, job.id, Stream::Entries, entries);
            result.outputCut = listing.cut;
            result.pathKind = PathKind::Directory;
        }
        break;
    }
    case Operation::RemoveIn: {
        const hostio::Fd fd = open(decision.path, O_RDONLY | O_DIRECTORY);
        if (!fd.valid()) {
            failedOpen(decision.path);
            break;
        }
        const hostio::Removal removal = hostio::removePlainEntriesAt(fd.get(), request.arguments);
        std::vector<Entry> left;
        for (const auto &failed : removal.failed) {
            const PathKind kind = failed.second == ENOENT   ? PathKind::Missing
                                  : failed.second == EISDIR ? PathKind::Directory
                                                            : PathKind::Other;
            left.push_back({kind, failed.second, failed.first});
        }
        if (!left.empty())
            appendEntries(&frames, job.id, Stream::Unremoved, left);
        result.pathKind = PathKind::Directory;
        outcome = std::to_string(removal.removed.size()) + " removed, " +
                  std::to_string(left.size()) + " left";
        break;
    }
    case Operation::Write: {
        const hostio::Fd directory =
            open(Paths::directoryOf(decision.path), O_RDONLY | O_DIRECTORY);
        if (!directory.valid()) {
            failedOpen(Paths::directoryOf(decision.path));
            break;
        }
        const hostio::Outcome written = hostio::writeFileAtomicallyAt(
            directory.get(), Paths::nameOf(decision.path), request.content, 0644);
        fileOutcome(written, decision.path, &result);
        if (written.ok())
            result.pathKind = PathKind::File;
        else
            outcome = "failed: " + Paths::errorText(result.exitCode);
        break;
    }
    case Operation::Test:
        result.pathKind = kindAt(decision.path, &result.size);
        break;
    case Operation::Run:
        break;
    }
    if (job.changes())
        log(result.exitCode == 0 ? LOG_NOTICE : LOG_WARNING, job, outcome);
    answer(job, frames + encodeResult(job.id, result));
}

bool Server::handshake(const Frame &frame)
{
    Hello hello;
    std::string error;
    Hello own;
    own.software = Software;
    std::string frames = encodeHello(own);
    bool good = true;
    if (frame.type != FrameType::Hello || frame.id != 0) {
        frames += encodeError(0, ErrorKind::Protocol,
                              "the console must begin with a Hello (id 0), not this frame");
        good = false;
    } else if (!decodeHello(frame, &hello, &error)) {
        frames += encodeError(0, ErrorKind::Protocol, error);
        good = false;
    } else if (const std::string mismatch =
                   versionMismatch(Side::Bridge, ProtocolVersion, hello.version);
               !mismatch.empty()) {
        frames += encodeError(0, ErrorKind::Version, mismatch);
        good = false;
    }
    m_output.send(std::move(frames), false);
    return good;
}

bool Server::take(Frame frame)
{
    std::string error;
    switch (frame.type) {
    case FrameType::Request: {
        auto job = std::make_shared<Job>();
        job->id = frame.id;
        job->bytes = frame.payload.size() + FrameHeaderBytes;
        if (frame.id == 0) {
            m_output.send(encodeError(0, ErrorKind::Protocol, "a request must not have id 0"),
                          false);
            return false;
        }
        bool taken = false;
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            taken = m_inFlight.count(frame.id) > 0;
        }
        if (taken) {
            m_output.send(
                encodeError(frame.id, ErrorKind::Malformed,
                            "request id " + std::to_string(frame.id) + " is still in flight"),
                false);
            return true;
        }
        if (!decodeRequest(frame, &job->request, &error)) {
            m_output.send(encodeError(frame.id, ErrorKind::Malformed, error), false);
            return true;
        }
        enqueue(job);
        return true;
    }
    case FrameType::Cancel:
        if (!decodeCancel(frame, &error)) {
            m_output.send(encodeError(0, ErrorKind::Protocol, error), false);
            return false;
        }
        cancel(frame.id);
        return true;
    default:
        m_output.send(encodeError(0, ErrorKind::Protocol,
                                  "the console sent a frame of type " +
                                      std::to_string(unsigned(frame.type)) +
                                      ", which only the bridge sends (or only once)"),
                      false);
        return false;
    }
}

int Server::serve(int signalFd, bool policyLoaded, const std::string &policyError)
{
    m_runs.most = MaxChildren;
    m_files.most = FileWorkers;
    FrameDecoder decoder;
    bool greeted = false;
    int status = 0;
    char buffer[65536];
    bool reading = true;
    while (reading) {
        {
            // Too much taken in and not yet started: the console waits until some is done.
            std::unique_lock<std::mutex> lock(m_mutex);
            m_changed.wait(lock,
                           [this] { return m_gone || m_queuedBytes < MaxQueuedRequestBytes; });
            if (m_gone)
                break;
        }
        pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {signalFd, POLLIN, 0}};
        if (::poll(fds, signalFd >= 0 ? 2 : 1, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (signalFd >= 0 && (fds[1].revents & POLLIN)) {
            signalfd_siginfo info;
            if (::read(signalFd, &info, sizeof info) > 0)
                ::syslog(LOG_NOTICE, "for %s: signal %u: ending as if the console went away",
                         m_caller.c_str(), info.ssi_signo);
            break;
        }
        if (!(fds[0].revents & (POLLIN | POLLHUP | POLLERR)))
            continue;
        const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (got < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (got <= 0) {
            decoder.endOfStream();
            break;
        }
        size_t at = 0;
        while (at < size_t(got) && reading) {
            at += decoder.feed(buffer + at, size_t(got) - at);
            if (decoder.status() == FrameDecoder::Failed) {
                // A peer that never spoke frames still learns who it reached.
                Hello own;
                own.software = Software;
                m_output.send((greeted ? std::string() : encodeHello(own)) +
                                  encodeError(0, ErrorKind::Protocol, decoder.error()),
                              false);
                ::syslog(LOG_WARNING, "for %s: %s", m_caller.c_str(), decoder.error().c_str());
                status = 1;
                reading = false;
            } else if (decoder.status() == FrameDecoder::FrameReady) {
                Frame frame = decoder.takeFrame();
                if (!greeted) {
                    greeted = true;
                    if (!handshake(frame)) {
                        status = 1;
                        reading = false;
                    } else if (!policyLoaded) {
                        // The console learns why nothing is admitted, then the bridge ends.
                        m_output.send(encodeError(0, ErrorKind::Refused, policyError), false);
                        status = 1;
                        reading = false;
                    }
                } else if (!take(std::move(frame))) {
                    status = 1;
                    reading = false;
                }
            }
        }
    }
    hangUp();
    for (std::thread &thread : m_threads)
        thread.join();
    m_output.finish();
    return status;
}

} // namespace

int main(int argc, char *argv[])
{
    // Nothing of the caller's but its standard input and output: no descriptors, no umask, no
    // environment (children get the fixed one), and no core file holding what was read.
    closeInheritedDescriptors();
    ::umask(022);
    ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
    const std::string caller = callerName();
    ::clearenv();
    ::signal(SIGPIPE, SIG_IGN);
    // Being told to end ends the conversation as a console gone away does: read-only runs
    // killed, changes finished. Blocked here, before any thread, so every thread has them
    // blocked and only the signal descriptor sees them (children get them unblocked).
    sigset_t ending;
    sigemptyset(&ending);
    for (const int signal : {SIGHUP, SIGINT, SIGTERM})
        sigaddset(&ending, signal);
    ::sigprocmask(SIG_BLOCK, &ending, nullptr);
    const int signalFd = ::signalfd(-1, &ending, SFD_CLOEXEC);

    ::openlog("vell-admin-bridge", LOG_PID | LOG_NDELAY, LOG_AUTHPRIV);
    if (argc > 1) {
        std::fprintf(stderr, "%s: takes no arguments (see vell-admin-bridge(8))\n", argv[0]);
        ::syslog(LOG_WARNING, "for %s: started with arguments: refused", caller.c_str());
        return 2;
    }
    Policy policy;
    std::string error;
    const bool loaded = policy.load(Policy::DefaultDirectory, &error);
    if (!loaded) {
        ::syslog(LOG_ERR, "for %s: %s", caller.c_str(), error.c_str());
        std::fprintf(stderr, "vell-admin-bridge: %s\n", error.c_str());
    }
    Server server(policy, caller);
    const int status = server.serve(signalFd, loaded, error);
    ::closelog();
    return status;
}

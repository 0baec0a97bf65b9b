// Times a state read (a fake init script's status) in-process, with the host I/O library,
// against the same read through vell-admin-bridge: one request at a time, and 32 in flight.
// Prints the median and spread per request. Needs root (a disposable host holds the script and
// the bridge's policy).
//   bench-bridge [requests]      (default 2000)
#include <bridgeprotocol.h>
#include <hostioprocess.h>

#include <testhost.h>

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Bridge;
using Clock = std::chrono::steady_clock;

namespace {

const char Script[] = "/etc/init.d/benchsvc";

double millisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void report(const char *what, std::vector<double> times, double wallMs)
{
    std::sort(times.begin(), times.end());
    const auto at = [&times](double share) { return times[size_t(share * (times.size() - 1))]; };
    std::printf("%-34s median %7.3f ms  p10 %7.3f  p90 %7.3f  max %8.3f  (wall %.3f ms per "
                "request)\n",
                what, at(0.5), at(0.1), at(0.9), times.back(), wallMs / double(times.size()));
}

double median(std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

/** The bridge on two pipes, read on the calling thread. */
class Connection
{
public:
    bool start()
    {
        int in[2];
        int out[2];
        if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0)
            return false;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        char *argv[] = {const_cast<char *>(OXA_BRIDGE_PROGRAM), nullptr};
        char *envp[] = {nullptr};
        const int error = ::posix_spawn(&m_pid, OXA_BRIDGE_PROGRAM, &actions, nullptr, argv, envp);
        posix_spawn_file_actions_destroy(&actions);
        ::close(in[0]);
        ::close(out[1]);
        m_in = in[1];
        m_out = out[0];
        Hello hello;
        hello.software = "bench-bridge";
        return error == 0 && send(encodeHello(hello)) && next().type == FrameType::Hello;
    }

    ~Connection()
    {
        ::close(m_in);
        int status = 0;
        if (m_pid > 0)
            ::waitpid(m_pid, &status, 0);
        ::close(m_out);
    }

    bool send(const std::string &bytes)
    {
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(m_in, bytes.data() + done, bytes.size() - done);
            if (n <= 0)
                return false;
            done += size_t(n);
        }
        return true;
    }

    bool sendStatus(uint32_t id)
    {
        Request request;
        request.path = Script;
        request.arguments = {"status"};
        std::string frame;
        std::string error;
        return encodeRequest(id, request, &frame, &error) && send(frame);
    }

    /// The next frame; one of type Error with id 0 when the stream ended.
    Frame next()
    {
        for (;;) {
            if (m_decoder.status() == FrameDecoder::FrameReady)
                return m_decoder.takeFrame();
            if (m_at == m_size) {
                const ssize_t got = ::read(m_out, m_buffer, sizeof m_buffer);
                if (got <= 0 || m_decoder.status() == FrameDecoder::Failed) {
                    Frame end;
                    end.type = FrameType::Error;
                    return end;
                }
                m_at = 0;
                m_size = size_t(got);
            }
            m_at += m_decoder.feed(m_buffer + m_at, m_size - m_at);
        }
    }

    /// The id of the next request to end (0 when the stream broke or it failed).
    uint32_t nextEnd()
    {
        for (;;) {
            const Frame frame = next();
            if (frame.type == FrameType::End)
                return frame.id;
            if (frame.type == FrameType::Error)
                return 0;
        }
    }

private:
    pid_t m_pid = -1;
    int m_in = -1;
    int m_out = -1;
    FrameDecoder m_decoder;
    char m_buffer[65536];
    size_t m_at = 0;
    size_t m_size = 0;
};

} // namespace

int main(int argc, char *argv[])
{
    TestHost::enterPrivateNamespace();
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? std::max(32, std::atoi(argv[1])) : 2000;
    TestHost host;
    if (!host.isAvailable() || ::geteuid() != 0) {
        std::fprintf(stderr, "bench-bridge: needs root and a disposable host: %s\n",
                     qPrintable(host.unavailableReason()));
        return 1;
    }
    if (!host.writeScript(QLatin1String(Script),
                          QStringLiteral("echo 'benchsvc is running'; exit 0")) ||
        !host.mkdir(QStringLiteral("/usr/share/vell/bridge.d")) ||
        !host.writeFile(QStringLiteral("/usr/share/vell/bridge.d/bench.policy"),
                        QByteArray("run ") + Script + " status\n")) {
        std::fprintf(stderr, "bench-bridge: %s\n", qPrintable(host.errorString()));
        return 1;
    }
    std::printf("bench-bridge: %d state reads of %s each way\n", count, Script);

    std::vector<double> local;
    Clock::time_point wall = Clock::now();
    for (int i = 0; i < count; ++i) {
        const Clock::time_point start = Clock::now();
        if (!hostio::run(Script, {"status"}).succeeded()) {
            std::fprintf(stderr, "bench-bridge: the in-process read failed\n");
            return 1;
        }
        local.push_back(millisecondsSince(start));
    }
    report("in-process (hostio)", local, millisecondsSince(wall));

    Connection bridge;
    if (!bridge.start()) {
        std::fprintf(stderr, "bench-bridge: the bridge did not start\n");
        return 1;
    }
    std::vector<double> sequential;
    wall = Clock::now();
    for (int i = 0; i < count; ++i) {
        const Clock::time_point start = Clock::now();
        if (!bridge.sendStatus(uint32_t(i + 1)) || bridge.nextEnd() != uint32_t(i + 1)) {
            std::fprintf(stderr, "bench-bridge: a read through the bridge failed\n");
            return 1;
        }
        sequential.push_back(millisecondsSince(start));
    }
    report("bridge, one at a time", sequential, millisecondsSince(wall));

    // 32 in flight: a new request as soon as one ends; each timed from its sending.
    std::map<uint32_t, Clock::time_point> sent;
    std::vector<double> parallel;
    uint32_t nextId = 1;
    wall = Clock::now();
    for (; nextId <= 32; ++nextId) {
        sent[nextId] = Clock::now();
        bridge.sendStatus(nextId);
    }
    while (parallel.size() < size_t(count)) {
        const uint32_t id = bridge.nextEnd();
        if (id == 0 || !sent.count(id)) {
            std::fprintf(stderr, "bench-bridge: a read through the bridge failed\n");
            return 1;
        }
        parallel.push_back(millisecondsSince(sent[id]));
        sent.erase(id);
        if (nextId <= uint32_t(count)) {
            sent[nextId] = Clock::now();
            bridge.sendStatus(nextId++);
        }
    }
    report("bridge, 32 in flight", parallel, millisecondsSince(wall));
    std::printf("bridge overhead per request (medians, one at a time): %.3f ms (target: at most "
                "1 ms)\n",
                median(sequential) - median(local));
    return 0;
}

// oxa-delay-relay: a slow link for the test fleet. Run as ssh's ProxyCommand inside a test
// host's network namespace, it connects to 127.0.0.1:PORT there and copies standard input to
// the connection and the connection to standard output, holding every chunk DELAY_MS
// milliseconds in each direction (a round trip takes 2 * DELAY_MS more). Chunks leave in the
// order they came; each direction has its own timestamped queue, so a held chunk never stalls
// the other direction, and throughput is limited only by the queue bound.
//
// Usage: oxa-delay-relay DELAY_MS [PORT]   (PORT defaults to 22)
//
// Only 127.0.0.1 is ever connected to: the relay must not carry test traffic elsewhere.

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

/// How much one direction may hold before it stops reading: enough for any window ssh keeps
/// in flight at these delays, small enough to stay a relay rather than a buffer.
const size_t QueueLimit = 8 * 1024 * 1024;
const size_t ReadSize = 64 * 1024;

struct Chunk
{
    Clock::time_point due;
    std::string data;
    size_t sent = 0;
};

/// One way through the relay: read from @c from, hold, write to @c to.
struct Direction
{
    const char *name = "";
    int from = -1;
    int to = -1;
    bool toIsSocket = false;
    std::deque<Chunk> queue;
    size_t queued = 0;
    bool eof = false;    ///< @c from said end of file
    bool closed = false; ///< @c to was shut after the last chunk
};

bool parseNumber(const char *text, long min, long max, long *value)
{
    char *end = nullptr;
    errno = 0;
    const long number = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || number < min || number > max)
        return false;
    *value = number;
    return true;
}

void setNonBlocking(int fd)
{
    const int flags = fcntl(fd, F_GETFL);
    if (flags >= 0)
        fcntl(fd, F_SETFL, flags | O_NONBLOCK);
}

/// Ends @p d's output once everything it held is written: the peer sees end of file.
void closeOutput(Direction &d)
{
    if (d.toIsSocket)
        shutdown(d.to, SHUT_WR);
    else
        close(d.to);
    d.closed = true;
}

/// Reads one chunk into @p d's queue; false on a read error.
bool readChunk(Direction &d, std::chrono::milliseconds delay)
{
    char buffer[ReadSize];
    const ssize_t n = read(d.from, buffer, sizeof buffer);
    if (n < 0)
        return errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK;
    if (n == 0) {
        d.eof = true;
        return true;
    }
    d.queue.push_back(Chunk{Clock::now() + delay, std::string(buffer, size_t(n)), 0});
    d.queued += size_t(n);
    return true;
}

/// Writes what is due of @p d's queue; false on a write error (the peer went away).
bool writeDue(Direction &d)
{
    const Clock::time_point now = Clock::now();
    while (!d.queue.empty() && d.queue.front().due <= now) {
        Chunk &chunk = d.queue.front();
        const ssize_t n = d.toIsSocket ? send(d.to, chunk.data.data() + chunk.sent,
                                              chunk.data.size() - chunk.sent, MSG_NOSIGNAL)
                                       : write(d.to, chunk.data.data() + chunk.sent,
                                               chunk.data.size() - chunk.sent);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno == EAGAIN || errno == EWOULDBLOCK;
        }
        chunk.sent += size_t(n);
        d.queued -= size_t(n);
        if (chunk.sent < chunk.data.size())
            return true; // the rest when the peer reads
        d.queue.pop_front();
    }
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    long delayMs = 0;
    long port = 22;
    if (argc < 2 || argc > 3 || !parseNumber(argv[1], 0, 60000, &delayMs) ||
        (argc == 3 && !parseNumber(argv[2], 1, 65535, &port))) {
        std::fprintf(stderr, "usage: %s DELAY_MS [PORT]  (DELAY_MS 0..60000)\n", argv[0]);
        return 2;
    }
    std::signal(SIGPIPE, SIG_IGN);

    const int sock = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (sock < 0) {
        std::fprintf(stderr, "oxa-delay-relay: socket: %s\n", std::strerror(errno));
        return 1;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(uint16_t(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(sock, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
        // The words nc prints, so that ssh's caller reads the same failure either way.
        std::fprintf(stderr, "oxa-delay-relay: connect to 127.0.0.1 port %ld (tcp) failed: %s\n",
                     port, std::strerror(errno));
        return 1;
    }
    // Small writes are what a delayed interactive link is made of; do not batch them more.
    const int one = 1;
    setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    setNonBlocking(sock);
    setNonBlocking(STDIN_FILENO);
    setNonBlocking(STDOUT_FILENO);

    const std::chrono::milliseconds delay(delayMs);
    Direction directions[2];
    directions[0].name = "out";
    directions[0].from = STDIN_FILENO;
    directions[0].to = sock;
    directions[0].toIsSocket = true;
    directions[1].name = "in";
    directions[1].from = sock;
    directions[1].to = STDOUT_FILENO;
    directions[1].toIsSocket = false;

    for (;;) {
        pollfd fds[4];
        int count = 0;
        int readIndex[2] = {-1, -1};
        int writeIndex[2] = {-1, -1};
        Clock::time_point next = Clock::time_point::max();
        const Clock::time_point now = Clock::now();
        for (int i = 0; i < 2; ++i) {
            Direction &d = directions[i];
            if (!d.eof && d.queued < QueueLimit) {
                readIndex[i] = count;
                fds[count++] = {d.from, POLLIN, 0};
            }
            if (!d.queue.empty()) {
                if (d.queue.front().due <= now) {
                    writeIndex[i] = count;
                    fds[count++] = {d.to, POLLOUT, 0};
                } else if (d.queue.front().due < next) {
                    next = d.queue.front().due;
                }
            }
        }
        if (count == 0 && next == Clock::time_point::max())
            break; // nothing to read, nothing held: both ways are done

        timespec timeout{};
        timespec *timeoutPointer = nullptr;
        if (next != Clock::time_point::max()) {
            const auto wait = std::chrono::duration_cast<std::chrono::nanoseconds>(next - now);
            const long long ns = wait.count() > 0 ? wait.count() : 0;
            timeout.tv_sec = time_t(ns / 1000000000LL);
            timeout.tv_nsec = long(ns % 1000000000LL);
            timeoutPointer = &timeout;
        }
        if (ppoll(fds, nfds_t(count), timeoutPointer, nullptr) < 0) {
            if (errno == EINTR)
                continue;
            std::fprintf(stderr, "oxa-delay-relay: poll: %s\n", std::strerror(errno));
            return 1;
        }
        for (int i = 0; i < 2; ++i) {
            Direction &d = directions[i];
            if (writeIndex[i] >= 0 && (fds[writeIndex[i]].revents & (POLLERR | POLLHUP | POLLNVAL)))
                return 0; // the reader of this direction went away: the link is over
            if (readIndex[i] >= 0 && fds[readIndex[i]].revents != 0 && !readChunk(d, delay)) {
                std::fprintf(stderr, "oxa-delay-relay: read (%s): %s\n", d.name,
                             std::strerror(errno));
                return 1;
            }
            if (!writeDue(d))
                return 0;
            if (d.eof && d.queue.empty() && !d.closed)
                closeOutput(d);
        }
        // The server closed its side and all of it was delivered: ssh has what it needs.
        if (directions[1].closed && directions[0].queue.empty())
            break;
    }
    close(sock);
    return 0;
}

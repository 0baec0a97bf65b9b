// A program the bridge suite has the bridge run many times at once: each run counts itself in
// and out of a state file under a lock, keeping the most runs ever seen at once, so the count
// comes from the children themselves.
//   state file: "current most total\n"
#include <cstdio>
#include <cstdlib>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

const char StatePath[] = "/var/lib/oxa-bridge-counter";

/// Adds @p delta to the runs under way, under the lock; false when the file cannot be used.
bool count(int fd, int delta)
{
    if (::flock(fd, LOCK_EX) != 0)
        return false;
    char text[96] = {};
    const ssize_t got = ::pread(fd, text, sizeof text - 1, 0);
    long current = 0;
    long most = 0;
    long total = 0;
    if (got > 0)
        std::sscanf(text, "%ld %ld %ld", &current, &most, &total);
    current += delta;
    if (current > most)
        most = current;
    if (delta > 0)
        ++total;
    const int length = std::snprintf(text, sizeof text, "%ld %ld %ld\n", current, most, total);
    const bool written = ::ftruncate(fd, 0) == 0 && ::pwrite(fd, text, size_t(length), 0) == length;
    ::flock(fd, LOCK_UN);
    return written;
}

} // namespace

int main()
{
    const int fd = ::open(StatePath, O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0 || !count(fd, 1))
        return 2;
    // Long enough for the others to start meanwhile.
    ::usleep(10000);
    return count(fd, -1) ? 0 : 2;
}

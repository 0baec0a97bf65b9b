#include "hostiofiles.h"

#include "hostiofd.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace hostio {
namespace {

/// A path holding a NUL would name another file than the caller meant.
bool badPath(const std::string &path)
{
    return path.find('\0') != std::string::npos;
}

FileType typeOf(mode_t mode)
{
    switch (mode & S_IFMT) {
    case S_IFREG:
        return FileType::Regular;
    case S_IFDIR:
        return FileType::Directory;
    case S_IFIFO:
        return FileType::Fifo;
    case S_IFSOCK:
        return FileType::Socket;
    case S_IFCHR:
        return FileType::CharacterDevice;
    case S_IFBLK:
        return FileType::BlockDevice;
    default:
        return FileType::Unknown;
    }
}

/// What a failed look at a link's target says about it: it dangles, or it cannot be told.
FileType missingOrUnknown(int error)
{
    return error == ENOENT || error == ENOTDIR || error == ELOOP ? FileType::None
                                                                 : FileType::Unknown;
}

template <typename Result> Result failure(Status status, int error)
{
    Result result;
    result.status = status;
    result.error = error;
    return result;
}

/// Reads from @p fd at @p offset into @p into until @p size bytes or the end; errno or 0.
int readAt(int fd, off_t offset, std::size_t size, std::string *into)
{
    const std::size_t start = into->size();
    while (into->size() - start < size) {
        const std::size_t chunk = std::min<std::size_t>(size - (into->size() - start), 65536);
        const std::size_t had = into->size();
        into->resize(had + chunk);
        const ssize_t n = ::pread(fd, &(*into)[had], chunk, off_t(offset + off_t(had - start)));
        if (n < 0 && errno == EINTR) {
            into->resize(had);
            continue;
        }
        if (n <= 0) {
            const int error = n < 0 ? errno : 0;
            into->resize(had);
            return error;
        }
        into->resize(had + std::size_t(n));
    }
    return 0;
}

/// A name for a new file next to @p name that nobody else is likely to pick.
std::string temporaryName(const std::string &name)
{
    unsigned long long random = 0;
    if (::getrandom(&random, sizeof random, GRND_NONBLOCK) != ssize_t(sizeof random)) {
        random = (unsigned long long)(std::chrono::steady_clock::now().time_since_epoch().count()) ^
                 ((unsigned long long)::getpid() << 32);
    }
    static const char digits[] = "0123456789abcdef";
    std::string suffix(16, '0');
    for (char &digit : suffix) {
        digit = digits[random & 15];
        random >>= 4;
    }
    // A hidden name that stays within NAME_MAX whatever the length of the target's.
    return '.' + name.substr(0, 200) + '.' + suffix;
}

/**
 * Calls @p visit with every name in @p dir but "." and "..", until it returns false. Returns 0,
 * or the errno of a failed read of the directory.
 */
template <typename Visit> int forEachName(DIR *dir, Visit visit)
{
    for (;;) {
        errno = 0;
        const dirent *entry = ::readdir(dir);
        if (!entry)
            return errno;
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
            continue;
        if (!visit(entry->d_name))
            return 0;
    }
}

} // namespace

bool writeAll(int fd, const std::string &bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            return false;
        }
        done += std::size_t(n);
    }
    return true;
}

OpenedFile openRegularFile(const std::string &path)
{
    if (badPath(path))
        return failure<OpenedFile>(Status::Failed, EINVAL);
    // O_NONBLOCK: opening a FIFO with no writer would wait for one for good.
    int fd;
    do
        fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        const int error = errno;
        // ENXIO: a socket, or a device without its driver; neither is a file to read.
        return failure<OpenedFile>(error == ENOENT  ? Status::Missing
                                   : error == ENXIO ? Status::NotRegular
                                                    : Status::Failed,
                                   error);
    }
    Fd opened(fd);
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        return failure<OpenedFile>(Status::NotRegular, 0);
    // A regular file never blocks; the flag only mattered for the opening.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    OpenedFile result;
    result.status = Status::Ok;
    result.fd = opened.release();
    return result;
}

FileContent readFile(const std::string &path, std::size_t maxBytes)
{
    const OpenedFile opened = openRegularFile(path);
    if (!opened.ok())
        return failure<FileContent>(opened.status, opened.error);
    const Fd fd(opened.fd);
    return readOpenFile(fd.get(), maxBytes);
}

FileContent readOpenFile(int fd, std::size_t maxBytes)
{
    FileContent result;
    struct stat st;
    if (::fstat(fd, &st) != 0)
        return failure<FileContent>(Status::Failed, errno);
    if (!S_ISREG(st.st_mode))
        return failure<FileContent>(Status::NotRegular, 0);
    const std::size_t hint =
        st.st_size > 0 ? std::min<std::size_t>(std::size_t(st.st_size), maxBytes) : 0;
    // The size is only a hint (a file may grow while it is read, and some report none):
    // the bound is what counts, and one byte more tells whether there was more. A file of
    // the size it says is read in one piece, into memory of its size.
    int error = 0;
    if (hint > 0 && hint < maxBytes) {
        result.data.reserve(hint + 1);
        error = readAt(fd, 0, hint + 1, &result.data);
        if (!error && result.data.size() == hint + 1)
            error = readAt(fd, off_t(hint + 1), maxBytes - hint - 1, &result.data);
    } else {
        result.data.reserve(hint);
        error = readAt(fd, 0, maxBytes, &result.data);
    }
    if (!error && result.data.size() == maxBytes) {
        std::string more;
        error = readAt(fd, off_t(maxBytes), 1, &more);
        result.cut = !more.empty();
    }
    if (error) {
        result.data.clear();
        result.status = Status::Failed;
        result.error = error;
        return result;
    }
    result.status = Status::Ok;
    return result;
}

std::size_t tailStart(const char *data, std::size_t size, std::size_t lines, std::size_t maxBytes,
                      bool atFileStart, bool *cut)
{
    *cut = false;
    if (lines == 0 || size == 0)
        return size;
    const std::size_t lowest = size > maxBytes ? size - maxBytes : 0;
    // A line feed at the very end closes the last line; it starts none.
    const std::size_t scanEnd = data[size - 1] == '\n' ? size - 1 : size;
    std::size_t counted = 0;
    for (std::size_t pos = scanEnd; pos > 0;) {
        --pos;
        if (data[pos] == '\n' && ++counted == lines) {
            if (pos + 1 >= lowest)
                return pos + 1;
            break;
        }
    }
    if (counted < lines && atFileStart && lowest == 0)
        return 0;
    // The lines asked for do not fit (or the data may begin inside a line): from the first
    // line that begins within the bound, else the end of one long line.
    *cut = true;
    const std::size_t from = lowest > 0 ? lowest - 1 : 0;
    const void *feed = std::memchr(data + from, '\n', size - 1 - std::min(from, size - 1));
    if (feed)
        return std::size_t(static_cast<const char *>(feed) - data) + 1;
    return lowest;
}

FileContent readTail(const std::string &path, std::size_t lines, std::size_t maxBytes)
{
    const OpenedFile opened = openRegularFile(path);
    if (!opened.ok())
        return failure<FileContent>(opened.status, opened.error);
    const Fd fd(opened.fd);
    return readOpenTail(fd.get(), lines, maxBytes);
}

FileContent readOpenTail(int fd, std::size_t lines, std::size_t maxBytes)
{
    struct stat st;
    if (::fstat(fd, &st) != 0)
        return failure<FileContent>(Status::Failed, errno);
    if (!S_ISREG(st.st_mode))
        return failure<FileContent>(Status::NotRegular, 0);
    // What the file held when it was opened: a log written on meanwhile does not keep the read
    // going. One byte before the bound tells whether the bound begins a line.
    const unsigned long long size = (unsigned long long)std::max<off_t>(st.st_size, 0);
    const unsigned long long window = maxBytes < size ? (unsigned long long)maxBytes + 1 : size;
    const off_t from = off_t(size - window);
    std::string buffer;
    if (const int error = readAt(fd, from, std::size_t(window), &buffer))
        return failure<FileContent>(Status::Failed, error);
    FileContent result;
    result.status = Status::Ok;
    const std::size_t begin =
        tailStart(buffer.data(), buffer.size(), lines, maxBytes, from == 0, &result.cut);
    result.data = buffer.substr(begin);
    return result;
}

DirectoryListing listDirectory(const std::string &path, std::size_t maxEntries)
{
    if (badPath(path))
        return failure<DirectoryListing>(Status::Failed, EINVAL);
    // O_DIRECTORY: a FIFO or device in its place is refused without being opened.
    int fd;
    do
        fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        const int error = errno;
        return failure<DirectoryListing>(error == ENOENT    ? Status::Missing
                                         : error == ENOTDIR ? Status::NotDirectory
                                                            : Status::Failed,
                                         error);
    }
    const Fd opened(fd);
    return listOpenDirectory(fd, maxEntries);
}

DirectoryListing listOpenDirectory(int directoryFd, std::size_t maxEntries)
{
    // The directory stream gets a descriptor of its own (and closes it): the caller's stays.
    const int fd = ::fcntl(directoryFd, F_DUPFD_CLOEXEC, 0);
    if (fd < 0)
        return failure<DirectoryListing>(Status::Failed, errno);
    DIR *dir = ::fdopendir(fd);
    if (!dir) {
        const int error = errno;
        ::close(fd);
        return failure<DirectoryListing>(error == ENOTDIR ? Status::NotDirectory : Status::Failed,
                                         error);
    }
    // A duplicate shares its offset: a directory read before starts again from its top.
    ::rewinddir(dir);
    DirectoryListing result;
    const int error = forEachName(dir, [&](const char *name) {
        if (result.entries.size() >= maxEntries) {
            result.cut = true;
            return false;
        }
        DirectoryEntry item;
        item.name = name;
        struct stat st;
        if (::fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno == ENOENT)
                return true; // gone since it was listed
            item.type = FileType::Unknown;
        } else if (S_ISLNK(st.st_mode)) {
            item.link = true;
            item.type =
                ::fstatat(fd, name, &st, 0) == 0 ? typeOf(st.st_mode) : missingOrUnknown(errno);
        } else {
            item.type = typeOf(st.st_mode);
        }
        result.entries.push_back(std::move(item));
        return true;
    });
    ::closedir(dir);
    if (error != 0)
        return failure<DirectoryListing>(Status::Failed, error);
    std::sort(result.entries.begin(), result.entries.end(),
              [](const DirectoryEntry &a, const DirectoryEntry &b) { return a.name < b.name; });
    result.status = Status::Ok;
    return result;
}

Removal removePlainEntries(const std::string &path)
{
    if (badPath(path))
        return failure<Removal>(Status::Failed, EINVAL);
    // The directory is opened once, without following a link in its place, and every name
    // is judged and unlinked relative to it: a link inside loses only itself, and the
    // directory cannot be swapped for another one half-way.
    const int fd = ::open(path.c_str(),
                          O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        struct stat st;
        if (error == ENOENT)
            return failure<Removal>(Status::Missing, error);
        if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode))
            return failure<Removal>(Status::Link, error);
        return failure<Removal>(error == ENOTDIR ? Status::NotDirectory : Status::Failed, error);
    }
    DIR *dir = ::fdopendir(fd);
    if (!dir) {
        const int error = errno;
        ::close(fd);
        return failure<Removal>(Status::Failed, error);
    }
    std::vector<std::string> names;
    const int error = forEachName(dir, [&](const char *name) {
        // Hidden names stay, as do directories, dangling links, devices, pipes and sockets.
        struct stat st;
        if (name[0] != '.' && ::fstatat(fd, name, &st, 0) == 0 && S_ISREG(st.st_mode))
            names.emplace_back(name);
        return true;
    });
    if (error != 0) {
        ::closedir(dir);
        return failure<Removal>(Status::Failed, error);
    }
    std::sort(names.begin(), names.end());
    Removal result;
    result.status = Status::Ok;
    for (const std::string &name : names) {
        if (::unlinkat(fd, name.c_str(), 0) == 0)
            result.removed.push_back(name);
        else if (errno != ENOENT)
            result.failed.emplace_back(name, errno);
    }
    ::closedir(dir);
    return result;
}

Removal removePlainEntriesAt(int directoryFd, const std::vector<std::string> &names)
{
    Removal result;
    result.status = Status::Ok;
    for (const std::string &name : names) {
        struct stat st;
        int error = 0;
        if (badPath(name) || name.empty() || name.find('/') != std::string::npos || name == "." ||
            name == "..")
            error = EINVAL;
        else if (name[0] == '.')
            error = EPERM; // hidden names stay, as removePlainEntries() leaves them
        else if (::fstatat(directoryFd, name.c_str(), &st, 0) != 0)
            error = errno == ELOOP ? EPERM : errno; // ENOENT: gone, or a dangling link
        else if (!S_ISREG(st.st_mode))
            error = S_ISDIR(st.st_mode) ? EISDIR : EPERM;
        else if (::unlinkat(directoryFd, name.c_str(), 0) != 0)
            error = errno;
        if (error == 0)
            result.removed.push_back(name);
        else
            result.failed.emplace_back(name, error);
    }
    std::sort(result.removed.begin(), result.removed.end());
    return result;
}

Outcome writeFileAtomically(const std::string &path, const std::string &contents,
                            mode_t newFileMode)
{
    if (contents.size() > MaxWriteBytes)
        return failure<Outcome>(Status::TooLarge, EFBIG);
    const std::size_t slash = path.rfind('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (badPath(path) || name.empty() || name == "." || name == "..")
        return failure<Outcome>(Status::Failed, EINVAL);
    const std::string directory = slash == std::string::npos ? std::string(".")
                                  : slash == 0               ? std::string("/")
                                                             : path.substr(0, slash);
    const Fd dirFd(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC));
    if (!dirFd.valid()) {
        const int error = errno;
        return failure<Outcome>(error == ENOENT    ? Status::Missing
                                : error == ENOTDIR ? Status::NotDirectory
                                                   : Status::Failed,
                                error);
    }
    return writeFileAtomicallyAt(dirFd.get(), name, contents, newFileMode);
}

Outcome writeFileAtomicallyAt(int directoryFd, const std::string &name, const std::string &contents,
                              mode_t newFileMode)
{
    if (contents.size() > MaxWriteBytes)
        return failure<Outcome>(Status::TooLarge, EFBIG);
    if (badPath(name) || name.empty() || name == "." || name == ".." ||
        name.find('/') != std::string::npos)
        return failure<Outcome>(Status::Failed, EINVAL);
    struct stat old;
    const bool replacing = ::fstatat(directoryFd, name.c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0;
    if (!replacing && errno != ENOENT)
        return failure<Outcome>(Status::Failed, errno);
    // A link would be replaced by a file (or, written through, lead elsewhere): neither is
    // what the caller asked for.
    if (replacing && S_ISLNK(old.st_mode))
        return failure<Outcome>(Status::Link, 0);
    if (replacing && !S_ISREG(old.st_mode))
        return failure<Outcome>(Status::NotRegular, 0);

    std::string temporary;
    Fd fd;
    for (int attempt = 0; attempt < 100 && !fd.valid(); ++attempt) {
        temporary = temporaryName(name);
        fd.reset(::openat(directoryFd, temporary.c_str(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (!fd.valid() && errno != EEXIST)
            return failure<Outcome>(Status::Failed, errno);
    }
    if (!fd.valid())
        return failure<Outcome>(Status::Failed, EEXIST);

    const auto fail = [&](int error) {
        fd.reset();
        ::unlinkat(directoryFd, temporary.c_str(), 0);
        return failure<Outcome>(Status::Failed, error);
    };
    if (!writeAll(fd.get(), contents))
        return fail(errno);
    if (replacing) {
        struct stat mine;
        if (::fstat(fd.get(), &mine) != 0)
            return fail(errno);
        // Owner before mode: a change of owner clears the set-id bits.
        if ((mine.st_uid != old.st_uid || mine.st_gid != old.st_gid) &&
            ::fchown(fd.get(), old.st_uid, old.st_gid) != 0)
            return fail(errno);
    }
    if (::fchmod(fd.get(), (replacing ? old.st_mode : newFileMode) & 07777) != 0)
        return fail(errno);
    if (::fsync(fd.get()) != 0)
        return fail(errno);
    if (::close(fd.release()) != 0)
        return fail(errno);
    if (::renameat(directoryFd, temporary.c_str(), directoryFd, name.c_str()) != 0)
        return fail(errno);
    // The rename itself reaches the disk with the directory.
    ::fsync(directoryFd);
    Outcome result;
    result.status = Status::Ok;
    return result;
}

PathInfo pathInfo(const std::string &path)
{
    PathInfo info;
    if (badPath(path)) {
        info.error = EINVAL;
        return info;
    }
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) {
        info.error = errno;
        return info;
    }
    if (!S_ISLNK(st.st_mode)) {
        info.type = typeOf(st.st_mode);
        return info;
    }
    info.link = true;
    if (::stat(path.c_str(), &st) != 0) {
        info.error = errno;
        info.type = missingOrUnknown(errno);
        return info;
    }
    info.type = typeOf(st.st_mode);
    return info;
}

} // namespace hostio

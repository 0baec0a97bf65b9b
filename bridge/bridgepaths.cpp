#include "bridgepaths.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Bridge::Paths {

namespace {

std::vector<std::string> components(const std::string &path)
{
    std::vector<std::string> parts;
    size_t at = 0;
    while (at <= path.size()) {
        size_t slash = path.find('/', at);
        if (slash == std::string::npos)
            slash = path.size();
        const std::string part = path.substr(at, slash - at);
        // Without "..", dropping "" and "." is exact: "a//b/./c" is "a/b/c".
        if (!part.empty() && part != ".")
            parts.push_back(part);
        at = slash + 1;
    }
    return parts;
}

std::string octal(unsigned mode)
{
    char text[16];
    std::snprintf(text, sizeof text, "%04o", mode & 07777);
    return text;
}

bool trusted(uid_t owner, const std::vector<uid_t> &owners)
{
    return std::find(owners.begin(), owners.end(), owner) != owners.end();
}

std::string ownerError(const std::string &path, uid_t owner)
{
    return path + " is owned by user " + std::to_string(owner) + ", not by root";
}

} // namespace

std::string syntaxError(const std::string &path)
{
    if (path.empty())
        return "an empty path";
    if (path.size() > MaxPathBytes)
        return "a path of " + std::to_string(path.size()) + " bytes (at most " +
               std::to_string(MaxPathBytes) + ")";
    if (path.find('\0') != std::string::npos)
        return "a path with a NUL byte";
    if (path[0] != '/')
        return "a relative path";
    size_t at = 0;
    while (at < path.size()) {
        size_t slash = path.find('/', at);
        if (slash == std::string::npos)
            slash = path.size();
        if (path.compare(at, slash - at, "..") == 0)
            return "a path with a \"..\" component";
        at = slash + 1;
    }
    return std::string();
}

std::string nameError(const std::string &name)
{
    if (name.empty())
        return "an empty name";
    if (name == "." || name == "..")
        return "the name \"" + name + "\"";
    if (name.find('/') != std::string::npos)
        return "a name with a \"/\"";
    if (name.find('\0') != std::string::npos)
        return "a name with a NUL byte";
    if (name.size() > 255)
        return "a name of " + std::to_string(name.size()) + " bytes (at most 255)";
    return std::string();
}

std::string normalize(const std::string &path)
{
    std::string normal;
    for (const std::string &part : components(path))
        normal += '/' + part;
    return normal.empty() ? std::string("/") : normal;
}

bool resolve(const std::string &path, std::string *resolved, int *error)
{
    std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
    if (!real) {
        *error = errno;
        return false;
    }
    *resolved = real.get();
    return true;
}

bool resolveDirectoryPart(const std::string &path, std::string *resolved, int *error)
{
    const std::vector<std::string> parts = components(path);
    if (parts.empty()) {
        *resolved = "/";
        return true;
    }
    std::string directory;
    for (size_t i = 0; i + 1 < parts.size(); ++i)
        directory += '/' + parts[i];
    if (directory.empty()) {
        *resolved = '/' + parts.back();
        return true;
    }
    std::string real;
    if (!resolve(directory, &real, error))
        return false;
    *resolved = (real == "/" ? std::string() : real) + '/' + parts.back();
    return true;
}

std::string directoryOf(const std::string &path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos || slash == 0)
        return "/";
    return path.substr(0, slash);
}

std::string nameOf(const std::string &path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool isWithin(const std::string &path, const std::string &directory)
{
    if (directory == "/")
        return !path.empty() && path[0] == '/';
    return path == directory ||
           (path.size() > directory.size() && path.compare(0, directory.size(), directory) == 0 &&
            path[directory.size()] == '/');
}

std::string untrustedDirectory(const std::string &directory, const std::vector<uid_t> &owners)
{
    std::vector<std::string> chain{"/"};
    std::string prefix;
    for (const std::string &part : components(directory)) {
        prefix += '/' + part;
        chain.push_back(prefix);
    }
    for (size_t i = 0; i < chain.size(); ++i) {
        struct stat st;
        if (::lstat(chain[i].c_str(), &st) != 0)
            return chain[i] + ": " + errorText(errno);
        if (!S_ISDIR(st.st_mode))
            return chain[i] + " is no directory";
        if (!trusted(st.st_uid, owners))
            return ownerError(chain[i], st.st_uid);
        const bool above = i + 1 < chain.size();
        if ((st.st_mode & 022) && !(above && (st.st_mode & S_ISVTX)))
            return chain[i] + " is writable by group or others (mode " + octal(st.st_mode) + ")";
    }
    return std::string();
}

std::string untrustedFile(const std::string &path, uid_t owner, unsigned mode,
                          const std::vector<uid_t> &owners)
{
    if (!trusted(owner, owners))
        return ownerError(path, owner);
    if (mode & 022)
        return path + " is writable by group or others (mode " + octal(mode) + ")";
    return std::string();
}

std::string untrustedProgram(const std::string &path, const std::vector<uid_t> &owners, int *error)
{
    *error = 0;
    std::string current = path;
    // As the kernel does: at most 40 links on the way.
    for (int hop = 0;; ++hop) {
        const std::string why = untrustedDirectory(directoryOf(current), owners);
        if (!why.empty())
            return why;
        struct stat st;
        if (::lstat(current.c_str(), &st) != 0) {
            *error = errno;
            return std::string();
        }
        if (!S_ISLNK(st.st_mode)) {
            if (!S_ISREG(st.st_mode) || !(st.st_mode & 0111))
                return current + " is no executable file";
            return untrustedFile(current, st.st_uid, st.st_mode, owners);
        }
        if (hop == 40) {
            *error = ELOOP;
            return std::string();
        }
        char target[MaxPathBytes + 1];
        const ssize_t size = ::readlink(current.c_str(), target, MaxPathBytes);
        if (size < 0) {
            *error = errno;
            return std::string();
        }
        std::string next(target, size_t(size));
        if (next.empty() || next[0] != '/')
            next = directoryOf(current) + '/' + next;
        if (!resolveDirectoryPart(next, &current, error))
            return std::string();
    }
}

int openResolved(const std::string &path, int flags, int *error)
{
    const std::vector<std::string> parts = components(path);
    int directory = ::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (directory < 0) {
        *error = errno;
        return -1;
    }
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
        const int next =
            ::openat(directory, parts[i].c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        const int why = errno;
        ::close(directory);
        if (next < 0) {
            *error = why;
            return -1;
        }
        directory = next;
    }
    const int fd = parts.empty()
                       ? ::openat(directory, ".", flags | O_CLOEXEC)
                       : ::openat(directory, parts.back().c_str(), flags | O_NOFOLLOW | O_CLOEXEC);
    *error = fd < 0 ? errno : 0;
    ::close(directory);
    return fd;
}

std::string errorText(int error)
{
    // The GNU strerror_r: thread-safe, unlike strerror for an unknown number.
    char buffer[256];
    return ::strerror_r(error, buffer, sizeof buffer);
}

} // namespace Bridge::Paths

#include "bridgepaths.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <sys/stat.h>

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

std::string errorText(int error)
{
    // The GNU strerror_r: thread-safe, unlike strerror for an unknown number.
    char buffer[256];
    return ::strerror_r(error, buffer, sizeof buffer);
}

} // namespace Bridge::Paths

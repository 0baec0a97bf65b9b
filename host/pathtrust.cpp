#include "pathtrust.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <sys/stat.h>

namespace {

std::string describeMode(mode_t mode)
{
    char text[16];
    std::snprintf(text, sizeof text, "%04o", unsigned(mode & 07777));
    return text;
}

/// Why the object at @p path (a component of a canonical path) is not root's alone.
std::string judge(const std::string &path, const struct stat &st)
{
    if (st.st_uid != 0)
        return path + " is owned by uid " + std::to_string(st.st_uid) + ", not by root";
    if ((st.st_mode & (S_IWGRP | S_IWOTH)) == 0)
        return std::string();
    // In a sticky directory only an entry's owner may rename or remove it: what root put
    // there stays root's (a checkout under /tmp).
    if (S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX))
        return std::string();
    return path + " is writable by group or others (mode " + describeMode(st.st_mode) + ")";
}

/// Judges @p canonical (no links, ".." or repeated slashes) and every directory above it.
std::string judgeChain(const std::string &canonical)
{
    std::string path = canonical;
    for (;;) {
        struct stat st;
        if (::lstat(path.c_str(), &st) != 0)
            return path + ": " + std::strerror(errno);
        const std::string why = judge(path, st);
        if (!why.empty())
            return why;
        if (path == "/")
            return std::string();
        const std::string::size_type slash = path.rfind('/');
        path = slash == 0 ? std::string("/") : path.substr(0, slash);
    }
}

std::string canonicalPath(const std::string &path, std::string *error)
{
    char resolved[PATH_MAX];
    if (!::realpath(path.c_str(), resolved)) {
        *error = path + ": " + std::strerror(errno);
        return std::string();
    }
    return resolved;
}

} // namespace

std::string PathTrust::untrustedReason(const std::string &path)
{
    if (path.empty() || path.front() != '/')
        return "\"" + path + "\" is not an absolute path";
    struct stat entry;
    if (::lstat(path.c_str(), &entry) != 0)
        return path + ": " + std::strerror(errno);
    // A link is part of the path too: whoever owns it could have aimed it anywhere.
    if (S_ISLNK(entry.st_mode) && entry.st_uid != 0)
        return path + " is a link owned by uid " + std::to_string(entry.st_uid) + ", not by root";
    std::string error;
    const std::string target = canonicalPath(path, &error);
    if (target.empty())
        return error;
    std::string why = judgeChain(target);
    if (!why.empty())
        return why;
    if (target == path)
        return std::string();
    // Reached through links: where the name stands decides what it will mean tomorrow.
    const std::string::size_type slash = path.rfind('/');
    const std::string standing =
        canonicalPath(slash == 0 ? std::string("/") : path.substr(0, slash), &error);
    return standing.empty() ? error : judgeChain(standing);
}

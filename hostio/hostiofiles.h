#pragma once

/** @file
 * Reading, listing, removing and writing files of this machine with the console's rules:
 * regular files only, judged on what was opened; nothing blocks on a FIFO or a device; every
 * read is bounded; removal never follows a link; a write replaces a file whole or not at all.
 * Paths and names are bytes as the file system has them. Plain C++ without Qt.
 */

#include <cstddef>
#include <string>
#include <sys/types.h>
#include <vector>

namespace hostio {

/// How an operation on a file or directory went.
enum class Status
{
    Ok,
    Missing,      ///< nothing at the path (or a dangling link)
    NotRegular,   ///< a directory, FIFO, device or socket where a regular file was wanted
    NotDirectory, ///< something other than a directory where one was wanted
    Link,         ///< a symbolic link where none may be
    TooLarge,     ///< more than the bound a write takes
    Failed        ///< the system refused: see the errno
};

/// What a path or directory entry is; for a link, what it points at.
enum class FileType
{
    None, ///< nothing (a dangling link points at nothing)
    Regular,
    Directory,
    Fifo,
    Socket,
    CharacterDevice,
    BlockDevice,
    Unknown ///< could not be told (no permission to look)
};

/// The outcome of a file operation: a Status, and the errno where the system gave one.
struct Outcome
{
    Status status = Status::Failed;
    int error = 0;
    bool ok() const { return status == Status::Ok; }
};

/// A descriptor of a regular file opened for reading (the caller closes it), or why not.
struct OpenedFile : Outcome
{
    int fd = -1;
};

/**
 * Opens @p path for reading (links followed, close-on-exec) only when what was opened is a
 * regular file: no window between a check and the opening in which the path may be swapped,
 * and no waiting on a FIFO without a writer on the way.
 */
OpenedFile openRegularFile(const std::string &path);

/// Writes all of @p bytes to @p fd, going on after a signal; false with errno set otherwise.
bool writeAll(int fd, const std::string &bytes);

/// What a read took in.
struct FileContent : Outcome
{
    std::string data;
    /// There was more than the bound: the rest was not read.
    bool cut = false;
};

/// The whole of the regular file @p path, byte for byte, at most @p maxBytes of it.
FileContent readFile(const std::string &path, std::size_t maxBytes);
/// As readFile(), of the file open at @p fd (left open), read from its start; NotRegular for
/// anything but a regular file.
FileContent readOpenFile(int fd, std::size_t maxBytes);

/**
 * The last @p lines lines of the regular file @p path (a log), at most @p maxBytes bytes of
 * them, as far as the file reached when it was opened. When the lines do not fit, the result
 * begins at the first line that does (or, within one longer line, at its last maxBytes bytes)
 * and cut is set.
 */
FileContent readTail(const std::string &path, std::size_t lines, std::size_t maxBytes);
/// As readTail(), of the file open at @p fd (left open).
FileContent readOpenTail(int fd, std::size_t lines, std::size_t maxBytes);

/**
 * Where the tail of @p size bytes at @p data begins: the last @p lines lines of it, bounded
 * to its last @p maxBytes bytes. @p atFileStart says that @p data begins the file (else its
 * first line may be the end of an earlier one, and counts only from its line feed on).
 * @p cut is set when the bound, not the line count, decided.
 */
std::size_t tailStart(const char *data, std::size_t size, std::size_t lines, std::size_t maxBytes,
                      bool atFileStart, bool *cut);

/// One name in a directory.
struct DirectoryEntry
{
    std::string name;
    /// For a link: the type of what it points at (None when it dangles).
    FileType type = FileType::Unknown;
    bool link = false;
};

/// A directory's names, sorted bytewise, without "." and "..".
struct DirectoryListing : Outcome
{
    std::vector<DirectoryEntry> entries;
    /// There were more than the bound: the rest were not listed.
    bool cut = false;
};

/// The names in the directory @p path (links to it followed), at most @p maxEntries of them.
DirectoryListing listDirectory(const std::string &path, std::size_t maxEntries);
/// As listDirectory(), of the directory open at @p fd (left open).
DirectoryListing listOpenDirectory(int fd, std::size_t maxEntries);

/// What removePlainEntries() did.
struct Removal : Outcome
{
    /// Sorted bytewise.
    std::vector<std::string> removed;
    /// Entries that were to go and could not, and each one's errno.
    std::vector<std::pair<std::string, int>> failed;
};

/**
 * Removes the plain entries directly inside the directory @p path: every name that does not
 * begin with a dot and is a regular file or a link to one (a link loses only itself). The
 * directory is opened once without following a link in its place (Status::Link then, nothing
 * removed), and every name is judged and removed relative to it, so it cannot be swapped
 * half-way. Directories, other links, devices, pipes and sockets stay. Missing: nothing to do.
 */
Removal removePlainEntries(const std::string &path);

/**
 * Removes those of @p names (plain names, no "/") that are plain entries, as
 * removePlainEntries() judges them, of the directory open at @p directoryFd (left open). A
 * name that is none stays, in failed, with EPERM (hidden), EISDIR or EPERM (no regular file)
 * or ENOENT (gone); nothing is followed but a link to judge it, and a link loses only itself.
 */
Removal removePlainEntriesAt(int directoryFd, const std::vector<std::string> &names);

/// The largest file writeFileAtomically() takes.
constexpr std::size_t MaxWriteBytes = 1024 * 1024;

/**
 * Replaces (or creates) the regular file @p path with @p contents as one step: the contents
 * go to a new file in the same directory, are synced, get the owner and mode of the file they
 * replace (@p newFileMode for a new one), and are renamed over it. Refuses to replace a link
 * (Status::Link) or anything not a regular file; on any failure the old file stays as it was.
 */
Outcome writeFileAtomically(const std::string &path, const std::string &contents,
                            mode_t newFileMode = 0644);
/// As writeFileAtomically(), for the file @p name (a plain name) in the directory open at
/// @p directoryFd (left open).
Outcome writeFileAtomicallyAt(int directoryFd, const std::string &name, const std::string &contents,
                              mode_t newFileMode = 0644);

/// What is at a path.
struct PathInfo
{
    /// What it is, links followed (None: nothing there, or a dangling link).
    FileType type = FileType::None;
    /// The path itself is a symbolic link.
    bool link = false;
    /// Why it could not be looked at, when it could not (ENOENT for nothing there).
    int error = 0;

    bool exists() const { return type != FileType::None; }
    bool isRegular() const { return type == FileType::Regular; }
    bool isDirectory() const { return type == FileType::Directory; }
};

PathInfo pathInfo(const std::string &path);

} // namespace hostio

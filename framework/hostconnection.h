#pragma once

#include "childprocess.h"
#include "oxaglobal.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

/** What a path or directory entry of the administered host is; for a link, what it points at. */
enum class HostFileType
{
    None, ///< nothing (a dangling link points at nothing)
    Regular,
    Directory,
    Fifo,
    Socket,
    CharacterDevice,
    BlockDevice,
    Unknown ///< could not be told
};

/** How one operation on a file or directory of the administered host went. */
struct OXA_EXPORT HostFileStatus
{
    enum Code
    {
        Ok,
        Missing,      ///< nothing at the path (or a dangling link)
        NotRegular,   ///< a directory, FIFO, device or socket where a file was wanted
        NotDirectory, ///< something else where a directory was wanted
        Link,         ///< a symbolic link where none may be
        TooLarge,     ///< more than a write takes
        Failed        ///< refused or broken: see the error text
    };
    Code code = Failed;
    /// Why it did not go well, for a message; empty when it did.
    QString errorText;

    bool ok() const { return code == Ok; }
};

/** The bytes of a file of the host, as far as the bound given reached. */
struct OXA_EXPORT HostFileContent : HostFileStatus
{
    QByteArray data;
    /// There was more than the bound: the rest was not read.
    bool cut = false;
};

/** One name in a directory of the host. */
struct OXA_EXPORT HostDirectoryEntry
{
    QString name;
    /// The name as the file system has it (it may not be text).
    QByteArray rawName;
    /// For a link: the type of what it points at (None when it dangles).
    HostFileType type = HostFileType::Unknown;
    bool link = false;
};

/** The names in a directory of the host, without "." and "..", sorted bytewise. */
struct OXA_EXPORT HostDirectoryListing : HostFileStatus
{
    QList<HostDirectoryEntry> entries;
    /// There were more than the bound: the rest were not listed.
    bool cut = false;
};

/** What the removal of a directory's plain entries did. */
struct OXA_EXPORT HostRemoval : HostFileStatus
{
    QStringList removed;
    /// The names that were to go and stayed, case-insensitively sorted.
    QStringList failed;
};

/** What is at a path of the host. */
struct OXA_EXPORT HostPathInfo
{
    /// Links followed: None when nothing is there (or a link dangles).
    HostFileType type = HostFileType::None;
    /// The path itself is a symbolic link.
    bool link = false;

    bool exists() const { return type != HostFileType::None; }
    bool isFile() const { return type == HostFileType::Regular; }
    bool isDir() const { return type == HostFileType::Directory; }
};

/**
 * Everything the framework and the plug-ins do to the host they administer: run programs, read,
 * list, remove and write its files. One console serves one host through one connection, which
 * its modules hand their tasks (Module::hostConnection()); every call may come from any worker
 * thread, many at once. The semantics are those of ChildProcess and RegularFile wherever the
 * host is: no shell, the fixed environment, bounded output and time, regular files only.
 */
class OXA_EXPORT HostConnection
{
public:
    /// Entries a listing takes by default: far more than a real directory of a host holds.
    static const int DefaultMaxEntries = 200000;

    virtual ~HostConnection();

    /// Whether the console acts with administrator rights on the host (root in-process, or an
    /// authorised helper).
    virtual bool isPrivileged() const = 0;
    /**
     * The remote host this connection reaches, as the administrator named it
     * ([USER@]HOST[:PORT]), for messages and titles; empty for this machine. Programs with a
     * window of their own (administration tools) start only on this machine.
     */
    virtual QString remoteHost() const { return {}; }

    /// Where @p program is on the host (see ChildProcess::findProgram); empty when nowhere.
    virtual QString findProgram(const QString &program) const = 0;
    /// Runs a program that only reads (ChildProcess::run): killed with its group at the limit.
    virtual ProcessResult run(const QString &program, const QStringList &arguments,
                              int timeoutMs = ChildProcess::ReadLimit) const = 0;
    /// Runs a program that changes something (ChildProcess::runChange): never killed.
    virtual ProcessResult runChange(const QString &program, const QStringList &arguments,
                                    const ChildProcess::ChangeWait &wait) const = 0;
    /// Starts a program on its own (ChildProcess::startDetached): an administration tool.
    virtual DetachedStart startDetached(const QString &program, const QStringList &arguments,
                                        const QList<QByteArray> &environment,
                                        int graceMs) const = 0;

    /// The regular file @p path, byte for byte, at most @p maxBytes of it.
    virtual HostFileContent readFile(const QString &path, qint64 maxBytes) const = 0;
    /// The last @p lines lines of the regular file @p path, at most @p maxBytes bytes of them.
    virtual HostFileContent readTail(const QString &path, int lines, qint64 maxBytes) const = 0;
    /// The names in the directory @p path, at most @p maxEntries of them.
    virtual HostDirectoryListing listDirectory(const QString &path,
                                               int maxEntries = DefaultMaxEntries) const = 0;
    /**
     * Removes every name directly in @p directory that does not begin with a dot and is a
     * regular file or a link to one (the link only), never following a link in the
     * directory's place (Link then, nothing removed). Missing when there is no directory.
     */
    virtual HostRemoval removePlainEntries(const QString &directory) const = 0;
    /**
     * Replaces the small regular file @p path with @p contents in one step, keeping its owner
     * and mode (@p newFileMode for a new file); a link or other non-file there is refused.
     */
    virtual HostFileStatus writeFile(const QString &path, const QByteArray &contents,
                                     int newFileMode = 0644) const = 0;
    virtual HostPathInfo pathInfo(const QString &path) const = 0;
};

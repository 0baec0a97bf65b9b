#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

class HostConnection;
class TreeNode;

/**
 * Reads the system crontab and the cron job directories into the cron tree. The parsing
 * is apart from the file access, so it can be tested and fuzzed on its own.
 */
namespace CronTabReader {

/// "/etc/crontab".
QString crontabPath();
/// "/etc/cron.d", "/etc/cron.daily", "/etc/cron.hourly", "/etc/cron.monthly", in this order.
QStringList jobDirectories();

/**
 * The entries of a crontab's content, in file order: each line up to a NUL byte, decoded as
 * local 8-bit text and trimmed; comment lines (first non-blank character "#"), empty lines
 * and the SHELL and PATH settings dropped; every tab a blank. A "#" later in a line is part
 * of the command, as cron hands it to the shell, so such a line stays whole. At most
 * ReadLimits::maxEntries entries: @p cut is set when more were dropped.
 */
QStringList entries(const QByteArray &content, bool *cut = nullptr);

/**
 * The file node @p path with one entry node per line of @p lines, then one directory node
 * per directory of @p directories with a file node for each of @p files (same index).
 * The nodes have no parent; the caller owns them.
 */
QList<TreeNode *> buildTree(const QString &path, const QStringList &lines,
                            const QStringList &directories, const QList<QStringList> &files);

/// The regular files directly in @p directory of @p host, in no particular order; none when
/// missing. @p cut is set when the directory held more entries than a listing takes.
QStringList directoryFiles(const HostConnection &host, const QString &directory,
                           bool *cut = nullptr);

/**
 * The crontab's content as the tree takes it, from what a read of at most
 * ReadLimits::maxFileBytes + 1 bytes gave: past maxFileBytes the last, maybe partial, line is
 * dropped and @p cut set.
 */
QByteArray boundedContent(QByteArray content, bool *cut);

/**
 * Reads the crontab and the job directories of @p host into top-level nodes (the caller owns
 * them). When the crontab cannot be read, returns no nodes and sets @p error to the
 * "\"%1\" error %2\n%3" message; @p error stays null on success. Past the read bounds
 * (ReadLimits: bytes of the crontab, entries, files of a directory) the rest is left out and
 * @p cut set.
 */
QList<TreeNode *> readTree(const HostConnection &host, QString *error, bool *cut = nullptr);

} // namespace CronTabReader

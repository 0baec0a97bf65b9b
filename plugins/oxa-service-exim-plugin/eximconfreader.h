#pragma once

#include <QList>
#include <QString>

class QByteArray;
class QIODevice;
class TreeNode;
struct HostFileContent;

/**
 * The reader of Debian's Exim settings file ("/etc/exim4/update-exim4.conf.conf"): one
 * name='value' setting a line, read into name/value nodes in file order.
 */
namespace EximConfReader {

/**
 * One line's setting: false for a comment, a blank line or a line that is no setting in
 * single quotes. A '#' ends the line, even inside the quotes.
 */
bool parseLine(const QString &line, QString *name, QString *value);
/**
 * The setting in a prepared line: what the expression "(\S+)\s*=\s*'(.*)'" captures when
 * searched in it, found in time linear in the line's length.
 */
bool matchSetting(const QString &line, QString *name, QString *value);

/// The settings of @p text as ConfTreeNode entries without a parent. Linear in its length.
QList<TreeNode *> parse(const QByteArray &text);
/// The settings of what @p device gives, line by line until it has no more data, or until
/// ReadLimits::maxFileBytes or maxEntries is reached: then @p cut is set.
QList<TreeNode *> parse(QIODevice *device, bool *cut = nullptr);

/// The bytes a task reads of the file for this reader (HostConnection::readFile): one more
/// than it parses, so that it sees there was more.
qint64 readBound();

/**
 * Reads what the read @p read of the file at @p path gave into @p nodes. False, with the
 * shared message in @p error, when it does not exist ("\"%1\" not exist"), is no regular
 * file or could not be read ("\"%1\" error %2\n%3"); nothing is added then.
 */
bool readFile(const QString &path, const HostFileContent &read, QList<TreeNode *> *nodes,
              QString *error, bool *cut = nullptr);

} // namespace EximConfReader

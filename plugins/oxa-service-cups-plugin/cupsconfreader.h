#pragma once

#include <QList>
#include <QSet>
#include <QString>

class QByteArray;
class QIODevice;
class TreeNode;
struct HostFileContent;

/**
 * The reader of the scheduler's files (cupsd.conf and its companions, printers.conf,
 * classes.conf): lines of directives and of tag-delimited sections, read into tree nodes.
 * One parser serves both readings; a Flavour chooses the nodes it makes.
 */
namespace CupsConfReader {

enum class Flavour
{
    /// ConfTreeNode entries, plus a summary node for every entry named by a summary key.
    Configuration,
    /// PrintersTreeNode entries; a section takes its policy and labels from OpPolicy,
    /// MacLabelMin and MacLabelMax.
    Printers
};

/// What one file gives: the summary nodes and the top-level nodes, all without a parent.
struct Nodes
{
    QList<TreeNode *> summary;
    QList<TreeNode *> topLevel;
    /// The rest was dropped: the text held more than ReadLimits::maxEntries entries, or the
    /// device more than ReadLimits::maxFileBytes bytes.
    bool cut = false;
};

/// Sections nested deeper than this take no node of their own (their entries go to the
/// deepest section kept): the tree stays shallow whatever the file holds.
constexpr int maxSectionDepth = 64;

/// Parses @p text, line by line, each up to its first NUL byte. Linear in its length.
Nodes parse(const QByteArray &text, Flavour flavour, const QSet<QString> &summaryKeys = {});
/// Parses what @p device gives until its end.
Nodes parse(QIODevice *device, Flavour flavour, const QSet<QString> &summaryKeys = {});

/// The bytes a task reads of a file for this reader (HostConnection::readFile): one more than
/// it parses, so that it sees there was more.
qint64 readBound();

/**
 * Parses what the read @p read of the file at @p path gave. A missing file gives no nodes and
 * no error; a file that could not be read (not a regular file, say) gives no nodes and the
 * shared file error text in @p error (cleared first).
 */
Nodes readFile(const QString &path, const HostFileContent &read, QString *error, Flavour flavour,
               const QSet<QString> &summaryKeys = {});

/// The configuration reading: returns the file's top-level nodes, the summary ones in
/// @p summary.
QList<TreeNode *> readConfiguration(const QString &path, const HostFileContent &read,
                                    QString *error, const QSet<QString> &summaryKeys,
                                    QList<TreeNode *> *summary, bool *cut = nullptr);
/// The printers reading: the file's top-level printer and class sections.
QList<TreeNode *> readPrinters(const QString &path, const HostFileContent &read, QString *error,
                               bool *cut = nullptr);

/// The names whose directives and sections also appear as summary nodes of a configuration.
QSet<QString> summaryKeys();

/// One line as the parser sees it.
struct Line
{
    enum Kind
    {
        Empty,
        Close,
        Open,
        Directive
    };
    Kind kind = Empty;
    QString name;
    /// The rest of the line after the name, with its leading blanks (open: up to '>').
    QString value;
    /// An opening tag that closes itself ("<Name/>", "<Name arg/>").
    bool selfClosing = false;
};

/// The line without its comment (from the first '#' not escaped as "\#"), trimmed.
QString prepareLine(const QString &line);
/// Classifies a prepared line: closing tag, opening tag or directive.
Line classify(const QString &prepared);

/// The raw tag matches (no self-closing handling): false when the line is no such tag.
bool matchClose(const QString &prepared, QString *name);
bool matchOpen(const QString &prepared, QString *name, QString *arguments);

} // namespace CupsConfReader

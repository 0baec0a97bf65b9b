#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QSet>
#include <QString>
#include <QVector>

class TreeNode;

/**
 * The reader of what `doveconf` prints: settings ("key = value") and nested sections
 * ("type [name] {" ... "}") become a full tree below a "DOVECOT" node and a summary of the
 * settings and sections an administrator looks at first.
 */
namespace DoveconfParser {

/// One step of a section path: the section's type and its (possibly empty) name.
using Section = QPair<QString, QString>;
using SectionPath = QVector<Section>;

/// Top-level settings that also go to the summary; one printed as an unnamed section (Dovecot
/// 2.4's "protocols { imap = yes }") goes there whole.
const QSet<QString> &summaryKeys();
/// Section chains copied whole into the summary: service auth > unix_listener auth-client.
const QList<SectionPath> &watchedPaths();

/// Sections nested deeper than this get no node of their own: their settings go to the
/// deepest section kept, so garbage output cannot build a tree too deep to show or delete.
constexpr int maxSectionDepth = 64;

/// The line without its comment (from the first '#'), trimmed.
QString prepareLine(const QString &line);

/**
 * A setting in a prepared line: the key and the trimmed value that the expression
 * "(\S+)\s*=\s*((\s*\S+)*)" captures when searched in it. Linear in the line's length.
 */
bool matchSetting(const QString &line, QString *key, QString *value);
/**
 * A section's start: the type and name (null when absent) that "(\S+)\s+(\S+)?\s*\{"
 * captures when searched in the line, except for a name in double quotes followed by "{":
 * doveconf quotes names that hold blanks, and the name is then the whole quoted text, quotes
 * included (type mailbox, name "Sent Messages"). Linear in the line's length.
 */
bool matchSectionStart(const QString &line, QString *type, QString *name);

/**
 * Parses @p output line by line (each line decoded as local 8-bit text up to a NUL byte).
 * Returns, without parents, the "DOVECOT" node holding the full tree first, then the
 * top-level summary nodes in output order. A '}' with no open section is ignored; sections
 * still open at the end stay as they are. Linear in the output's length. Past
 * ReadLimits::maxEntries settings and sections the rest is dropped and @p cut set.
 */
QList<TreeNode *> parse(const QByteArray &output, bool *cut = nullptr);

} // namespace DoveconfParser

#include "doveconfparser.h"

#include <childprocess.h>
#include <readlimits.h>
#include <treenode.h>

namespace DoveconfParser {

const QSet<QString> &summaryKeys()
{
    // Each under the name the running version prints: 2.4 renamed disable_plaintext_auth
    // to auth_allow_cleartext (with the opposite sense), so both are kept as printed.
    static const QSet<QString> keys{
        QStringLiteral("disable_plaintext_auth"),
        QStringLiteral("auth_allow_cleartext"),
        QStringLiteral("auth_mechanisms"),
        QStringLiteral("ssl"),
        QStringLiteral("listen"),
        QStringLiteral("protocols"),
        QStringLiteral("unix"),
    };
    return keys;
}

const QList<SectionPath> &watchedPaths()
{
    static const QList<SectionPath> paths{
        SectionPath{Section(QStringLiteral("service"), QStringLiteral("auth")),
                    Section(QStringLiteral("unix_listener"), QStringLiteral("auth-client"))},
    };
    return paths;
}

QString prepareLine(const QString &line)
{
    const int hash = line.indexOf(QLatin1Char('#'));
    return (hash < 0 ? line : line.left(hash)).trimmed();
}

namespace {

bool isBlank(QChar c)
{
    return c.isSpace();
}

int skipBlanks(const QString &line, int from)
{
    while (from < line.size() && isBlank(line.at(from)))
        ++from;
    return from;
}

int wordEnd(const QString &line, int from)
{
    while (from < line.size() && !isBlank(line.at(from)))
        ++from;
    return from;
}

} // namespace

/*
 * Both matchers give the captures of their expression, searched anywhere in the line, in one
 * pass: a backtracking engine takes quadratic time on a long word that matches nothing.
 * A match can only start at the start of a word: a later start in the same word has fewer
 * choices.
 */
bool matchSetting(const QString &line, QString *key, QString *value)
{
    const int n = line.size();
    int start = skipBlanks(line, 0);
    while (start < n) {
        const int end = wordEnd(line, start);
        // The longest key first: the whole word with "=" after blanks, then up to the last
        // "=" inside the word. The value, "\s*((\s*\S+)*)", is whatever follows, trimmed.
        const int equals = skipBlanks(line, end);
        int keyEnd = -1;
        if (equals < n && line.at(equals) == QLatin1Char('=')) {
            keyEnd = end;
        } else {
            for (int k = end - 1; k > start; --k) {
                if (line.at(k) == QLatin1Char('=')) {
                    keyEnd = k;
                    break;
                }
            }
        }
        if (keyEnd >= 0) {
            const int from = keyEnd == end ? equals + 1 : keyEnd + 1;
            *key = line.mid(start, keyEnd - start);
            *value = line.mid(from).trimmed();
            return true;
        }
        start = skipBlanks(line, end);
    }
    return false;
}

bool matchSectionStart(const QString &line, QString *type, QString *name)
{
    const QChar brace = QLatin1Char('{');
    const int n = line.size();
    int start = skipBlanks(line, 0);
    while (start < n) {
        const int end = wordEnd(line, start);
        const int next = skipBlanks(line, end);
        if (next == end || next >= n)
            return false; // "\s+" needs a blank, and something after it
        // doveconf quotes a name that holds blanks (mailbox "Sent Messages" {): the name,
        // quotes included, runs to its closing quote. Each scan stops at the next quote, so
        // the line is still read in one pass.
        if (line.at(next) == QLatin1Char('"')) {
            int close = next + 1;
            while (close < n && line.at(close) != QLatin1Char('"'))
                close += line.at(close) == QLatin1Char('\\') ? 2 : 1;
            const int afterQuote = close < n ? skipBlanks(line, close + 1) : n;
            if (afterQuote < n && line.at(afterQuote) == brace) {
                *type = line.mid(start, end - start);
                *name = line.mid(next, close + 1 - next);
                return true;
            }
        }
        // The name, "(\S+)?", as long as a "{" still follows: the whole next word with "{"
        // after blanks, then up to the last "{" inside it; else no name and "{" right there.
        const int nameStart = next;
        const int nameWordEnd = wordEnd(line, nameStart);
        int nameEnd = -1;
        const int after = skipBlanks(line, nameWordEnd);
        if (after < n && line.at(after) == brace) {
            nameEnd = nameWordEnd;
        } else {
            for (int j = nameWordEnd - 1; j > nameStart; --j) {
                if (line.at(j) == brace) {
                    nameEnd = j;
                    break;
                }
            }
        }
        if (nameEnd >= 0) {
            *type = line.mid(start, end - start);
            *name = line.mid(nameStart, nameEnd - nameStart);
            return true;
        }
        if (line.at(next) == brace) {
            *type = line.mid(start, end - start);
            *name = QString();
            return true;
        }
        start = next;
    }
    return false;
}

namespace {

/** The state of one parse: the open sections of the full tree and of the summary. */
class Parser
{
public:
    void feed(const QString &raw);
    QList<TreeNode *> result();
    /// Whether lines were dropped because the tree held its most entries already.
    bool isCut() const { return m_cut; }

private:
    void addSetting(const QString &key, const QString &value);
    void closeSection();
    void openSection(const QString &type, const QString &name);
    void appendToTree(TreeNode *node);
    bool onWatchedPath() const;

    /// Open sections of the full tree, innermost last; one entry per open '{', so sections
    /// past maxSectionDepth repeat the deepest kept node.
    QVector<TreeNode *> m_open;
    QList<TreeNode *> m_topLevel;
    SectionPath m_path;
    /// Open nodes of the summary, innermost last, and how many sections deep the parse is
    /// inside a watched chain (0 outside).
    QVector<TreeNode *> m_summaryOpen;
    QList<TreeNode *> m_summaryTopLevel;
    int m_summaryDepth = 0;
    /// Lines that made nodes so far; past ReadLimits::maxEntries the rest is dropped.
    int m_entries = 0;
    bool m_cut = false;
};

void Parser::appendToTree(TreeNode *node)
{
    if (m_open.isEmpty())
        m_topLevel.append(node);
    else
        m_open.last()->append(node);
}

void Parser::addSetting(const QString &key, const QString &value)
{
    appendToTree(new ConfTreeNode(key, value));
    if (m_open.isEmpty() && summaryKeys().contains(key))
        m_summaryTopLevel.append(new ConfTreeNode(key, value));
    if (!m_summaryOpen.isEmpty())
        m_summaryOpen.last()->append(new ConfTreeNode(key, value));
}

void Parser::closeSection()
{
    // A '}' without an open section has nothing to close.
    if (m_open.isEmpty())
        return;
    m_open.removeLast();
    m_path.removeLast();
    if (m_summaryDepth == 0)
        return;
    --m_summaryDepth;
    if (m_summaryDepth == 0)
        m_summaryOpen.clear();
    else
        m_summaryOpen.removeLast();
}

bool Parser::onWatchedPath() const
{
    // 2.4 prints a list setting given as a section ("protocols { imap = yes }") as that
    // section: a summary key that way goes to the summary whole.
    if (m_path.size() == 1 && m_path.first().second.isEmpty() &&
        summaryKeys().contains(m_path.first().first))
        return true;
    for (const SectionPath &watched : watchedPaths()) {
        if (watched == m_path)
            return true;
    }
    return false;
}

void Parser::openSection(const QString &type, const QString &name)
{
    const bool kept = m_open.size() < maxSectionDepth;
    TreeNode *section = nullptr;
    if (kept) {
        section = new ConfTreeNode(type, name);
        appendToTree(section);
        m_open.append(section);
    } else {
        m_open.append(m_open.last());
    }
    m_path.append(Section(type, name));

    if (m_summaryDepth == 0) {
        if (!kept || !onWatchedPath())
            return;
        TreeNode *previous = nullptr;
        for (const Section &step : std::as_const(m_path)) {
            auto *copy = new ConfTreeNode(step.first, step.second);
            if (previous)
                previous->append(copy);
            else
                m_summaryTopLevel.append(copy);
            m_summaryOpen.append(copy);
            previous = copy;
        }
        m_summaryDepth = 1;
        return;
    }
    if (kept) {
        auto *copy = new ConfTreeNode(type, name);
        m_summaryOpen.last()->append(copy);
        m_summaryOpen.append(copy);
    } else {
        m_summaryOpen.append(m_summaryOpen.last());
    }
    ++m_summaryDepth;
}

void Parser::feed(const QString &raw)
{
    const QString line = prepareLine(raw);
    if (line.isEmpty())
        return;
    if (m_entries >= ReadLimits::maxEntries) {
        m_cut = true;
        return;
    }
    // The patterns cannot match without their characters: skip them cheaply where they are
    // missing, which is most lines of a long output.
    QString first;
    QString second;
    if (line.contains(QLatin1Char('=')) && matchSetting(line, &first, &second)) {
        ++m_entries;
        addSetting(first, second);
        return;
    }
    if (line.contains(QLatin1Char('}'))) {
        closeSection();
        return;
    }
    if (line.contains(QLatin1Char('{')) && matchSectionStart(line, &first, &second)) {
        ++m_entries;
        openSection(first, second);
    }
}

QList<TreeNode *> Parser::result()
{
    auto *dovecot = new ConfTreeNode(QStringLiteral("DOVECOT"), QString());
    dovecot->append(m_topLevel);
    QList<TreeNode *> nodes;
    nodes.reserve(1 + m_summaryTopLevel.size());
    nodes.append(dovecot);
    nodes.append(m_summaryTopLevel);
    return nodes;
}

} // namespace

QList<TreeNode *> parse(const QByteArray &output, bool *cut)
{
    Parser parser;
    int start = 0;
    const int size = output.size();
    while (start < size) {
        int end = output.indexOf('\n', start);
        if (end < 0)
            end = size;
        const QByteArray line = QByteArray::fromRawData(output.constData() + start, end - start);
        parser.feed(ChildProcess::decodeLocal8Bit(line));
        start = end + 1;
    }
    if (cut)
        *cut = parser.isCut();
    return parser.result();
}

} // namespace DoveconfParser

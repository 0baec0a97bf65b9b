#include "doveconfparser.h"

#include <childprocess.h>
#include <treenode.h>

#include <QRegExp>

namespace DoveconfParser {

const QSet<QString> &summaryKeys()
{
    static const QSet<QString> keys{
        QStringLiteral("disable_plaintext_auth"),
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

/** The state of one parse: the open sections of the full tree and of the summary. */
class Parser
{
public:
    Parser()
        : m_setting(QStringLiteral("(\\S+)\\s*=\\s*((\\s*\\S+)*)")),
          m_sectionStart(QStringLiteral("(\\S+)\\s+(\\S+)?\\s*\\{"))
    {
    }

    void feed(const QString &raw);
    QList<TreeNode *> result();

private:
    void addSetting(const QString &key, const QString &value);
    void closeSection();
    void openSection(const QString &type, const QString &name);
    void appendToTree(TreeNode *node);
    bool onWatchedPath() const;

    QRegExp m_setting;
    QRegExp m_sectionStart;
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
    // The patterns cannot match without their characters: skip them cheaply where they are
    // missing, which is most lines of a long output.
    if (line.contains(QLatin1Char('=')) && m_setting.indexIn(line) >= 0) {
        // QRegExp leaves the blanks after "=" in the value's capture: "ssl = yes" is "yes".
        addSetting(m_setting.cap(1), m_setting.cap(2).trimmed());
        return;
    }
    if (line.contains(QLatin1Char('}'))) {
        closeSection();
        return;
    }
    if (line.contains(QLatin1Char('{')) && m_sectionStart.indexIn(line) >= 0)
        openSection(m_sectionStart.cap(1), m_sectionStart.cap(2));
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

QList<TreeNode *> parse(const QByteArray &output)
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
    return parser.result();
}

} // namespace DoveconfParser

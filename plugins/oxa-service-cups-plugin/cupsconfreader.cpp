#include "cupsconfreader.h"

#include "printerstreenode.h"

#include <hostconnection.h>
#include <hostfiles.h>
#include <readlimits.h>
#include <taskmessages.h>

#include <QFileDevice>
#include <QHash>
#include <QVector>

#include <cstring>

namespace CupsConfReader {

namespace {

bool isBlank(QChar c)
{
    return c.isSpace();
}

/*
 * One line as text, up to its first NUL byte: what follows a NUL in a damaged or binary file
 * is no part of the line, and a file and the same bytes as text give the same nodes.
 */
QString decodeLine(const char *data, int size)
{
    const void *nul = memchr(data, '\0', size_t(size));
    return QString::fromLocal8Bit(data, nul ? int(static_cast<const char *>(nul) - data) : size);
}

/// Where the parts of an opening tag lie in a prepared line.
struct OpenTag
{
    int nameStart = 0;
    int nameEnd = 0;
    int argumentsStart = 0;
    int argumentsEnd = 0;
    int closingBracket = 0; ///< the '>' that ends the tag
};

/*
 * The tags are matched by hand, with the captures the expressions
 * "^</\s*(\S+)\s*>" and "^<\s*(\S+)((\s+\S+)*)\s*(/)?>" give, but in one pass: a backtracking
 * engine needs quadratic time on a long line of unclosed tags.
 */
bool findOpen(const QString &line, OpenTag *tag)
{
    const int n = line.size();
    if (n == 0 || line.at(0) != QLatin1Char('<'))
        return false;
    int i = 1;
    while (i < n && isBlank(line.at(i)))
        ++i;
    if (i >= n)
        return false;
    const int nameStart = i;
    while (i < n && !isBlank(line.at(i)))
        ++i;
    const int firstTokenEnd = i;
    // The greedy name and arguments reach the last '>' that leaves the name non-empty.
    const int bracket = line.lastIndexOf(QLatin1Char('>'));
    if (bracket <= nameStart)
        return false;
    tag->nameStart = nameStart;
    tag->nameEnd = qMin(firstTokenEnd, bracket);
    tag->argumentsStart = tag->nameEnd;
    int end = bracket;
    while (end > tag->argumentsStart && isBlank(line.at(end - 1)))
        --end;
    tag->argumentsEnd = end;
    tag->closingBracket = bracket;
    return true;
}

/*
 * "/>" closes a tag at once when the slash ends its name or an argument ("<Name/>",
 * "<Name a/>", "<Name a />"). A first argument that begins with a slash is a path, not a
 * mark: cupsd.conf opens "<Location />" and "<Location /admin/>" sections.
 */
bool stripSelfClosingMark(const QString &line, OpenTag *tag)
{
    const int slash = tag->closingBracket - 1;
    if (slash <= tag->nameStart || line.at(slash) != QLatin1Char('/'))
        return false;
    int tokenStart = slash;
    while (tokenStart > tag->nameStart && !isBlank(line.at(tokenStart - 1)))
        --tokenStart;
    if (tokenStart == tag->nameStart) {
        if (slash == tokenStart)
            return false; // the name itself is "/"
        tag->nameEnd = slash;
        tag->argumentsStart = tag->argumentsEnd = slash;
        return true;
    }
    int firstArgument = tag->argumentsStart;
    while (firstArgument < tag->argumentsEnd && isBlank(line.at(firstArgument)))
        ++firstArgument;
    if (tokenStart == firstArgument && line.at(tokenStart) == QLatin1Char('/'))
        return false;
    int end = slash;
    if (slash == tokenStart) { // a lone "/": drop it and the blanks before it
        while (end > tag->argumentsStart && isBlank(line.at(end - 1)))
            --end;
    }
    tag->argumentsEnd = end;
    return true;
}

/** The state of one reading: the open sections and the nodes made so far. */
class Parser
{
public:
    Parser(Flavour flavour, const QSet<QString> &summaryKeys)
        : m_flavour(flavour), m_summaryKeys(summaryKeys)
    {
    }

    /// Whether the tree holds its most entries: further lines are dropped.
    bool isFull() const { return m_entries >= ReadLimits::maxEntries; }

    void addLine(const QString &raw)
    {
        const Line line = classify(prepareLine(raw));
        if (line.kind != Line::Empty && line.kind != Line::Close && isFull()) {
            m_nodes.cut = true;
            return;
        }
        switch (line.kind) {
        case Line::Empty:
            break;
        case Line::Close:
            close(line.name);
            break;
        case Line::Open: {
            TreeNode *node = entry(line.name, line.value);
            if (!line.selfClosing)
                open(line.name, node);
            break;
        }
        case Line::Directive:
            entry(line.name, line.value);
            takeSetting(line.name, line.value);
            break;
        }
    }

    Nodes take()
    {
        Nodes nodes;
        std::swap(nodes, m_nodes);
        return nodes;
    }

private:
    /// Makes the node of a directive or tag and places it.
    TreeNode *entry(const QString &name, const QString &value)
    {
        ++m_entries;
        const bool configuration = m_flavour == Flavour::Configuration;
        if (configuration && m_summaryKeys.contains(name))
            m_nodes.summary.append(new ConfTreeNode(name, value));
        TreeNode *node = configuration ? new ConfTreeNode(name, value)
                                       : new PrintersTreeNode(name, value, nullptr);
        if (m_sections.isEmpty())
            m_nodes.topLevel.append(node);
        else
            m_sections.last()->append(node);
        return node;
    }

    void open(const QString &name, TreeNode *node)
    {
        // Past the depth limit the entry stays a leaf and its content goes to the deepest
        // section kept; closing tags still pair up by name.
        m_sections.append(m_sections.size() < maxSectionDepth ? node : m_sections.last());
        m_names.append(name);
        ++m_openCount[name];
    }

    void close(const QString &name)
    {
        if (m_names.isEmpty())
            return;
        if (m_names.last() != name) {
            // A tag closing an outer section closes the inner ones left open; a tag that
            // closes nothing open is ignored.
            if (m_openCount.value(name) == 0)
                return;
            while (m_names.last() != name)
                pop();
        }
        pop();
    }

    void pop()
    {
        const QString name = m_names.takeLast();
        m_sections.removeLast();
        auto it = m_openCount.find(name);
        if (--it.value() == 0)
            m_openCount.erase(it);
    }

    /// A printer or class takes its policy and labels from its own directives.
    void takeSetting(const QString &name, const QString &value)
    {
        if (m_flavour != Flavour::Printers || m_sections.isEmpty())
            return;
        auto *section = qobject_cast<PrintersTreeNode *>(m_sections.last());
        if (!section)
            return;
        if (name == QLatin1String("OpPolicy"))
            section->setPolicy(value);
        else if (name == QLatin1String("MacLabelMin"))
            section->setMinLabel(value);
        else if (name == QLatin1String("MacLabelMax"))
            section->setMaxLabel(value);
    }

    Flavour m_flavour;
    const QSet<QString> &m_summaryKeys;
    Nodes m_nodes;
    QVector<QString> m_names;
    QVector<TreeNode *> m_sections;
    QHash<QString, int> m_openCount;
    int m_entries = 0;
};

} // namespace

QString prepareLine(const QString &line)
{
    int cut = line.indexOf(QLatin1Char('#'));
    if (cut < 0)
        return line.trimmed();
    if (cut == 0 || line.at(cut - 1) != QLatin1Char('\\'))
        return line.left(cut).trimmed();
    // The scheduler writes a '#' of a value (a printer's description) as "\#".
    QString text;
    text.reserve(line.size());
    int from = 0;
    while (cut >= 0) {
        if (cut > 0 && line.at(cut - 1) == QLatin1Char('\\')) {
            text.append(line.midRef(from, cut - 1 - from));
            text.append(QLatin1Char('#'));
            from = cut + 1;
            cut = line.indexOf(QLatin1Char('#'), from);
        } else {
            text.append(line.midRef(from, cut - from));
            return text.trimmed();
        }
    }
    text.append(line.midRef(from));
    return text.trimmed();
}

bool matchClose(const QString &line, QString *name)
{
    const int n = line.size();
    if (!line.startsWith(QLatin1String("</")))
        return false;
    int i = 2;
    while (i < n && isBlank(line.at(i)))
        ++i;
    const int start = i;
    while (i < n && !isBlank(line.at(i)))
        ++i;
    const int end = i;
    if (start == end)
        return false;
    while (i < n && isBlank(line.at(i)))
        ++i;
    if (i < n && line.at(i) == QLatin1Char('>')) {
        *name = line.mid(start, end - start);
        return true;
    }
    for (int k = end - 1; k > start; --k) {
        if (line.at(k) == QLatin1Char('>')) {
            *name = line.mid(start, k - start);
            return true;
        }
    }
    return false;
}

bool matchOpen(const QString &line, QString *name, QString *arguments)
{
    OpenTag tag;
    if (!findOpen(line, &tag))
        return false;
    *name = line.mid(tag.nameStart, tag.nameEnd - tag.nameStart);
    *arguments = line.mid(tag.argumentsStart, tag.argumentsEnd - tag.argumentsStart);
    return true;
}

Line classify(const QString &line)
{
    Line result;
    if (line.isEmpty())
        return result;
    // Tags count only at the start of a line: a description may hold "<" and ">".
    if (matchClose(line, &result.name)) {
        result.kind = Line::Close;
        return result;
    }
    OpenTag tag;
    if (findOpen(line, &tag)) {
        result.kind = Line::Open;
        result.selfClosing = stripSelfClosingMark(line, &tag);
        result.name = line.mid(tag.nameStart, tag.nameEnd - tag.nameStart);
        result.value = line.mid(tag.argumentsStart, tag.argumentsEnd - tag.argumentsStart);
        return result;
    }
    int nameEnd = 0;
    while (nameEnd < line.size() && !isBlank(line.at(nameEnd)))
        ++nameEnd;
    result.kind = Line::Directive;
    result.name = line.left(nameEnd);
    result.value = line.mid(nameEnd);
    return result;
}

Nodes parse(QIODevice *device, Flavour flavour, const QSet<QString> &summaryKeys)
{
    Parser parser(flavour, summaryKeys);
    qint64 read = 0;
    bool tooLong = false;
    while (!device->atEnd()) {
        if (read >= ReadLimits::maxFileBytes) {
            tooLong = true;
            break;
        }
        // A line read holds at least its line feed or last byte: nothing means an error.
        const QByteArray line = device->readLine();
        if (line.isEmpty())
            break;
        read += line.size();
        parser.addLine(decodeLine(line.constData(), line.size()));
    }
    Nodes nodes = parser.take();
    nodes.cut = nodes.cut || tooLong;
    return nodes;
}

Nodes parse(const QByteArray &text, Flavour flavour, const QSet<QString> &summaryKeys)
{
    Parser parser(flavour, summaryKeys);
    int from = 0;
    while (from < text.size()) {
        int end = text.indexOf('\n', from);
        if (end < 0)
            end = text.size();
        parser.addLine(decodeLine(text.constData() + from, end - from));
        from = end + 1;
    }
    return parser.take();
}

qint64 readBound()
{
    return ReadLimits::maxFileBytes + 1;
}

Nodes readFile(const QString &path, const HostFileContent &read, QString *error, Flavour flavour,
               const QSet<QString> &summaryKeys)
{
    error->clear();
    // The connection reads regular files only: a pipe would block the reading for good and a
    // device such as /dev/zero never ends. A read that broke off gives no half file.
    if (read.code == HostFileStatus::Missing)
        return {};
    if (!read.ok()) {
        *error = TaskMessages::fileError(path, QFileDevice::OpenError, read.errorText);
        return {};
    }
    HostFiles::ContentDevice device(read.data);
    Nodes nodes = parse(&device, flavour, summaryKeys);
    nodes.cut = nodes.cut || read.cut;
    return nodes;
}

QList<TreeNode *> readConfiguration(const QString &path, const HostFileContent &read,
                                    QString *error, const QSet<QString> &summaryKeys,
                                    QList<TreeNode *> *summary, bool *cut)
{
    Nodes nodes = readFile(path, read, error, Flavour::Configuration, summaryKeys);
    *summary = nodes.summary;
    if (cut)
        *cut = nodes.cut;
    return nodes.topLevel;
}

QList<TreeNode *> readPrinters(const QString &path, const HostFileContent &read, QString *error,
                               bool *cut)
{
    Nodes nodes = readFile(path, read, error, Flavour::Printers);
    if (cut)
        *cut = nodes.cut;
    return nodes.topLevel;
}

QSet<QString> summaryKeys()
{
    static const QSet<QString> keys{
        QStringLiteral("AccessLog"),   QStringLiteral("DefaultAuthType"),
        QStringLiteral("ErrorLog"),    QStringLiteral("Listen"),
        QStringLiteral("MacEnable"),   QStringLiteral("PageLog"),
        QStringLiteral("Port"),        QStringLiteral("ServerAlias"),
        QStringLiteral("SystemGroup"),
    };
    return keys;
}

} // namespace CupsConfReader

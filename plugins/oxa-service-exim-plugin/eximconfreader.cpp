#include "eximconfreader.h"

#include <childprocess.h>
#include <hostconnection.h>
#include <hostfiles.h>
#include <readlimits.h>
#include <taskmessages.h>
#include <treenode.h>

#include <QBuffer>
#include <QFileDevice>
#include <QObject>

namespace EximConfReader {

namespace {

bool isBlank(QChar c)
{
    return c.isSpace();
}

/// Past the blanks from @p from: the opening quote of a value that has a closing one, or -1.
int openingQuote(const QString &line, int from, int lastQuote)
{
    while (from < line.size() && isBlank(line.at(from)))
        ++from;
    return from < lastQuote && line.at(from) == QLatin1Char('\'') ? from : -1;
}

} // namespace

/*
 * The captures "(\S+)\s*=\s*'(.*)'" gives, searched anywhere, found in one pass: a
 * backtracking engine takes quadratic time on a long word that is no setting.
 * A match starts at the start of a word (a later start in the same word has fewer choices);
 * its name is the longest part of that word that an "=" and a quoted value follow.
 */
bool matchSetting(const QString &line, QString *name, QString *value)
{
    const int n = line.size();
    const int lastQuote = line.lastIndexOf(QLatin1Char('\''));
    if (lastQuote < 0)
        return false;
    int start = 0;
    while (start < n) {
        while (start < n && isBlank(line.at(start)))
            ++start;
        int end = start;
        while (end < n && !isBlank(line.at(end)))
            ++end;
        if (end == start)
            break;
        int equals = end;
        while (equals < n && isBlank(line.at(equals)))
            ++equals;
        int nameEnd = -1;
        int quote = -1;
        if (equals < n && line.at(equals) == QLatin1Char('='))
            quote = openingQuote(line, equals + 1, lastQuote);
        if (quote >= 0) {
            nameEnd = end;
        } else {
            for (int k = end - 1; k > start; --k) {
                if (line.at(k) != QLatin1Char('='))
                    continue;
                quote = openingQuote(line, k + 1, lastQuote);
                if (quote >= 0) {
                    nameEnd = k;
                    break;
                }
            }
        }
        if (nameEnd >= 0) {
            *name = line.mid(start, nameEnd - start);
            *value = line.mid(quote + 1, lastQuote - quote - 1);
            return true;
        }
        start = end;
    }
    return false;
}

namespace {

/** One read's line parser. */
class LineParser
{
public:
    bool parse(const QString &raw, QString *name, QString *value)
    {
        const int hash = raw.indexOf(QLatin1Char('#'));
        const QString line = (hash < 0 ? raw : raw.left(hash)).trimmed();
        // No setting without "=" and a quote: most comment and blank lines end here.
        if (line.isEmpty() || !line.contains(QLatin1Char('=')) || !line.contains(QLatin1Char('\'')))
            return false;
        return matchSetting(line, name, value);
    }
};

} // namespace

bool parseLine(const QString &line, QString *name, QString *value)
{
    LineParser parser;
    return parser.parse(line, name, value);
}

QList<TreeNode *> parse(QIODevice *device, bool *cut)
{
    LineParser parser;
    QList<TreeNode *> nodes;
    QString name;
    QString value;
    qint64 read = 0;
    if (cut)
        *cut = false;
    while (true) {
        const QByteArray line = device->readLine();
        if (line.isEmpty())
            break;
        read += line.size();
        if (read > ReadLimits::maxFileBytes || nodes.size() >= ReadLimits::maxEntries) {
            if (cut)
                *cut = true;
            break;
        }
        if (parser.parse(ChildProcess::decodeLocal8Bit(line), &name, &value))
            nodes.append(new ConfTreeNode(name, value));
    }
    return nodes;
}

QList<TreeNode *> parse(const QByteArray &text)
{
    QByteArray copy(text);
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    return parse(&buffer);
}

qint64 readBound()
{
    return ReadLimits::maxFileBytes + 1;
}

bool readFile(const QString &path, const HostFileContent &read, QList<TreeNode *> *nodes,
              QString *error, bool *cut)
{
    // The connection reads regular files only: a pipe would block the reading for good and a
    // device such as /dev/zero never ends. A read that broke off gives no half file.
    switch (read.code) {
    case HostFileStatus::Ok:
        break;
    case HostFileStatus::Missing:
        *error = TaskMessages::fileNotExist(path);
        return false;
    default:
        *error = TaskMessages::fileError(path, QFileDevice::OpenError, read.errorText);
        return false;
    }
    HostFiles::ContentDevice device(read.data);
    bool more = false;
    nodes->append(parse(&device, &more));
    if (cut)
        *cut = more || read.cut;
    return true;
}

} // namespace EximConfReader

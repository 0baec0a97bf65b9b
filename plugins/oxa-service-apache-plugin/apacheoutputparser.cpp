#include "apacheoutputparser.h"

#include "moduletreenodes.h"
#include "serviceapacheheavyelementdata.h"
#include "sitetreenodes.h"

#include <childprocess.h>

#include <QRegExp>

namespace {

// Every address form the server prints: IPv4, IPv6 in brackets, the wildcard, _default_; the
// port may be a wildcard too ("*:*" for <VirtualHost *>).
const char addressPattern[] = "((?:\\d{1,3}\\.\\d{1,3}\\.\\d{1,3}\\.\\d{1,3}|\\[[^\\]\\s]+\\]|\\*|"
                              "_default_):(?:\\d+|\\*))";

QRegExp makeRx(const QString &pattern)
{
    return QRegExp(pattern, Qt::CaseSensitive, QRegExp::RegExp);
}

void appendHost(ServiceApacheHeavyElementData *record, const QString &name, const QString &address,
                const QString &config)
{
    record->data().append(new HostTreeNode(name, address, config));
    record->blockedNames().insert(name);
}

QChar firstNonSpace(const QString &line)
{
    for (const QChar c : line) {
        if (!c.isSpace())
            return c;
    }
    return QChar();
}

} // namespace

namespace ApacheOutput {

void parseVirtualHosts(const QString &text, ServiceApacheHeavyElementData *record)
{
    if (text.isEmpty() || !record)
        return;
    const QString address = QString::fromLatin1(addressPattern);
    // A port that holds one host: "ADDRESS   NAME (FILE:LINE)". The file's path runs to the
    // last ":LINE)" of the line: it may hold blanks.
    QRegExp compact = makeRx(QStringLiteral("^\\s*%1\\s+(\\S+)\\s\\((.+):\\d+\\)\\s*$").arg(address));
    // The head of a name-based block on any address.
    QRegExp nameHeader = makeRx(QStringLiteral("^\\s*%1\\s+is\\sa\\sNameVirtualHost").arg(address));
    // Any other line naming a wildcard port opens its block as well.
    QRegExp wildcardHeader = makeRx(QStringLiteral("\\*:(\\d+)\\s+.*"));
    QRegExp defaultServer =
        makeRx(QStringLiteral("\\s+default\\sserver\\s(\\S+)\\s\\((.+):\\d+\\)\\s*$"));
    QRegExp nameHost =
        makeRx(QStringLiteral("\\s+port\\s(?:\\d+|\\*)\\snamevhost\\s(\\S+)\\s\\((.+):\\d+\\)\\s*$"));

    bool inPortBlock = false;
    bool expectDefault = false;
    QString blockAddress;
    const QStringList lines = ChildProcess::splitLines(text);
    for (const QString &line : lines) {
        // Cheap tests of what each pattern needs first: most lines then meet one pattern only.
        const QChar first = firstNonSpace(line);
        const bool mayName = first.isDigit() || first == QLatin1Char('[') ||
                             first == QLatin1Char('*') || first == QLatin1Char('_');
        if (mayName && compact.indexIn(line) >= 0) {
            // Listed wherever it stands; it also heads the block of its own address.
            appendHost(record, compact.cap(2), compact.cap(1), compact.cap(3));
            blockAddress = compact.cap(1);
            inPortBlock = true;
            expectDefault = true;
        } else if (mayName && nameHeader.indexIn(line) >= 0) {
            blockAddress = nameHeader.cap(1);
            inPortBlock = true;
            expectDefault = true;
        } else if (line.contains(QLatin1String("*:")) && wildcardHeader.indexIn(line) >= 0) {
            blockAddress = QStringLiteral("*:%1").arg(wildcardHeader.cap(1));
            inPortBlock = true;
            expectDefault = true;
        } else if (!inPortBlock) {
            continue;
        } else if (expectDefault && line.contains(QLatin1String("default")) &&
                   defaultServer.indexIn(line) >= 0) {
            // One default server per block; the "def:" name keeps it apart from its namevhost row.
            appendHost(record, QStringLiteral("def:%1").arg(defaultServer.cap(1)), blockAddress,
                       defaultServer.cap(2));
            expectDefault = false;
        } else if (line.contains(QLatin1String("namevhost")) && nameHost.indexIn(line) >= 0) {
            appendHost(record, nameHost.cap(1), blockAddress, nameHost.cap(2));
        }
    }
}

void parseModules(const QString &text, ServiceApacheHeavyElementData *record)
{
    if (text.isEmpty() || !record)
        return;
    QRegExp rx = makeRx(QStringLiteral("\\s(\\S+)_module\\s\\((\\S+)\\)"));
    const QStringList lines = ChildProcess::splitLines(text);
    for (const QString &line : lines) {
        if (rx.indexIn(line) < 0)
            continue;
        const QString name = rx.cap(1);
        if (rx.cap(2) == QLatin1String("shared")) {
            record->data().append(new ModuleSharedTreeNode(name));
            record->checkedNames().insert(name);
        } else {
            record->data().append(new ModuleStaticTreeNode(name));
            record->blockedNames().insert(name);
        }
    }
}

} // namespace ApacheOutput

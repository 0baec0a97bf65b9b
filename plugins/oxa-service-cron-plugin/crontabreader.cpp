#include "crontabreader.h"

#include "crontreenode.h"

#include <hostfiles.h>
#include <readlimits.h>
#include <taskmessages.h>

#include <QFileDevice>

namespace CronTabReader {

QString crontabPath()
{
    return QStringLiteral("/etc/crontab");
}

QStringList jobDirectories()
{
    // The weekly directory is not shown.
    return {QStringLiteral("/etc/cron.d"), QStringLiteral("/etc/cron.daily"),
            QStringLiteral("/etc/cron.hourly"), QStringLiteral("/etc/cron.monthly")};
}

QStringList entries(const QByteArray &content, bool *cut)
{
    QStringList result;
    const int size = content.size();
    int start = 0;
    // The next NUL, looked up again only once passed: one scan of the content in all.
    int nul = -1;
    while (start < size) {
        int end = content.indexOf('\n', start);
        if (end < 0)
            end = size;
        if (nul < start && nul != size) {
            nul = content.indexOf('\0', start);
            if (nul < 0)
                nul = size;
        }
        // A NUL ends the line's text, as it ends a C string.
        const int textEnd = nul < end ? nul : end;
        QString line =
            QString::fromLocal8Bit(content.constData() + start, textEnd - start).trimmed();
        start = end + 1;
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1String("SHELL")) || line.startsWith(QLatin1String("PATH")))
            continue;
        if (result.size() >= ReadLimits::maxEntries) {
            if (cut)
                *cut = true;
            break;
        }
        line.replace(QLatin1Char('\t'), QLatin1Char(' '));
        result.append(line);
    }
    return result;
}

namespace {
CronTreeNode *makeNode(const QString &text, int kind, int level, int row)
{
    auto *node = new CronTreeNode(text, kind);
    node->setLevel(level);
    node->setId(QStringLiteral("Cron_%1_%2").arg(text, QString::number(row)));
    return node;
}

void appendChildren(CronTreeNode *parent, const QStringList &texts, int kind)
{
    QList<TreeNode *> children;
    children.reserve(texts.size());
    for (int i = 0; i < texts.size(); ++i)
        children.append(makeNode(texts.at(i), kind, 2, i));
    parent->append(children);
}
} // namespace

QList<TreeNode *> buildTree(const QString &path, const QStringList &lines,
                            const QStringList &directories, const QList<QStringList> &files)
{
    QList<TreeNode *> nodes;
    CronTreeNode *file = makeNode(path, CronTreeNode::FileKind, 1, 0);
    appendChildren(file, lines, CronTreeNode::EntryKind);
    nodes.append(file);
    for (int i = 0; i < directories.size(); ++i) {
        CronTreeNode *directory =
            makeNode(directories.at(i), CronTreeNode::DirectoryKind, 1, i + 1);
        appendChildren(directory, files.value(i), CronTreeNode::FileKind);
        nodes.append(directory);
    }
    return nodes;
}

QStringList directoryFiles(const HostConnection &host, const QString &directory, bool *cut)
{
    const HostFiles::Files files =
        HostFiles::regularFiles(host, directory, {}, HostFiles::Order::AsListed);
    if (cut && files.cut)
        *cut = true;
    return files.names;
}

QByteArray boundedContent(QByteArray content, bool *cut)
{
    if (content.size() > ReadLimits::maxFileBytes) {
        // The last line may be cut: it is dropped, the lines before it are whole.
        content.truncate(int(ReadLimits::maxFileBytes));
        content.truncate(content.lastIndexOf('\n') + 1);
        *cut = true;
    }
    return content;
}

QList<TreeNode *> readTree(const HostConnection &host, QString *error, bool *cut)
{
    bool left = false;
    const QString path = crontabPath();
    // Only a regular file (a FIFO would block the worker for good, a device never ends), one
    // byte more than is taken to see that there was more.
    const HostFileContent read = host.readFile(path, ReadLimits::maxFileBytes + 1);
    if (!read.ok()) {
        *error = TaskMessages::fileError(path, QFileDevice::OpenError, read.errorText);
        return {};
    }
    const QByteArray content = boundedContent(read.data, &left);

    const QStringList directories = jobDirectories();
    QList<QStringList> files;
    files.reserve(directories.size());
    for (const QString &directory : directories) {
        QStringList names = directoryFiles(host, directory, &left);
        if (names.size() > ReadLimits::maxEntries) {
            names.erase(names.begin() + ReadLimits::maxEntries, names.end());
            left = true;
        }
        files.append(names);
    }
    *error = QString();
    const QStringList lines = entries(content, &left);
    if (cut)
        *cut = left;
    return buildTree(path, lines, directories, files);
}

} // namespace CronTabReader

#include "eximconfreader.h"

#include <childprocess.h>
#include <taskmessages.h>
#include <treenode.h>

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QObject>
#include <QRegExp>

namespace EximConfReader {

namespace {

/** The per-read matcher: QRegExp keeps its captures, so each read has its own. */
class LineParser
{
public:
    LineParser() : m_setting(QStringLiteral("(\\S+)\\s*=\\s*'(.*)'")) {}

    bool parse(const QString &raw, QString *name, QString *value)
    {
        const int hash = raw.indexOf(QLatin1Char('#'));
        const QString line = (hash < 0 ? raw : raw.left(hash)).trimmed();
        // No setting without "=" and a quote: most comment and blank lines end here.
        if (line.isEmpty() || !line.contains(QLatin1Char('=')) || !line.contains(QLatin1Char('\'')))
            return false;
        if (m_setting.indexIn(line) < 0)
            return false;
        *name = m_setting.cap(1);
        *value = m_setting.cap(2);
        return true;
    }

private:
    QRegExp m_setting;
};

} // namespace

bool parseLine(const QString &line, QString *name, QString *value)
{
    LineParser parser;
    return parser.parse(line, name, value);
}

QList<TreeNode *> parse(QIODevice *device)
{
    LineParser parser;
    QList<TreeNode *> nodes;
    QString name;
    QString value;
    while (true) {
        const QByteArray line = device->readLine();
        if (line.isEmpty())
            break;
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

bool readFile(const QString &path, QList<TreeNode *> *nodes, QString *error)
{
    const QFileInfo info(path);
    if (!info.exists()) {
        *error = TaskMessages::fileNotExist(path);
        return false;
    }
    // A pipe would block the reading for good and a device such as /dev/zero never ends.
    if (!info.isFile()) {
        *error = TaskMessages::fileError(path, QFileDevice::OpenError,
                                         QObject::tr("Not a regular file"));
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = TaskMessages::fileError(path, file.error(), file.errorString());
        return false;
    }
    const QList<TreeNode *> read = parse(&file);
    if (file.error() != QFileDevice::NoError) {
        // A read that broke off gives no half file.
        *error = TaskMessages::fileError(path, file.error(), file.errorString());
        qDeleteAll(read);
        return false;
    }
    nodes->append(read);
    return true;
}

} // namespace EximConfReader

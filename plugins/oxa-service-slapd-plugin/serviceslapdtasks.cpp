#include "serviceslapdtasks.h"

#include <elementdata.h>
#include <hostconnection.h>
#include <readlimits.h>

#include <QApplication>
#include <QStyle>

#include <algorithm>

SlapdEntryNode::SlapdEntryNode(const QString &name, const QString &path, bool directory)
    : TreeNode(0, path), m_name(name), m_path(path), m_directory(directory)
{
}

QVariant SlapdEntryNode::data(int column, int role) const
{
    if (column != 0)
        return QVariant();
    switch (role) {
    case Qt::DisplayRole:
        return m_name;
    case Qt::ToolTipRole:
        return m_path;
    case Qt::DecorationRole:
        return QApplication::style()->standardIcon(m_directory ? QStyle::SP_DirIcon
                                                               : QStyle::SP_FileIcon);
    default:
        return QVariant();
    }
}

namespace {

/**
 * Natural order, the same in every locale: runs of digits compare by their value
 * ("cn={2}" before "cn={10}"), the rest case-insensitively, then bytewise as a tie-break.
 */
bool naturalLess(const QString &a, const QString &b)
{
    int i = 0;
    int j = 0;
    while (i < a.size() && j < b.size()) {
        if (a.at(i).isDigit() && b.at(j).isDigit()) {
            int endA = i;
            int endB = j;
            while (endA < a.size() && a.at(endA).isDigit())
                ++endA;
            while (endB < b.size() && b.at(endB).isDigit())
                ++endB;
            // Leading zeros aside, the longer run is the larger number.
            const QStringRef digitsA = a.midRef(i, endA - i);
            const QStringRef digitsB = b.midRef(j, endB - j);
            int skipA = 0;
            int skipB = 0;
            while (skipA < digitsA.size() - 1 && digitsA.at(skipA) == QLatin1Char('0'))
                ++skipA;
            while (skipB < digitsB.size() - 1 && digitsB.at(skipB) == QLatin1Char('0'))
                ++skipB;
            const QStringRef valueA = digitsA.mid(skipA);
            const QStringRef valueB = digitsB.mid(skipB);
            if (valueA.size() != valueB.size())
                return valueA.size() < valueB.size();
            if (const int c = valueA.compare(valueB))
                return c < 0;
            i = endA;
            j = endB;
            continue;
        }
        const QChar ca = a.at(i).toCaseFolded();
        const QChar cb = b.at(j).toCaseFolded();
        if (ca != cb)
            return ca < cb;
        ++i;
        ++j;
    }
    if ((a.size() - i) != (b.size() - j))
        return a.size() - i < b.size() - j;
    return a < b;
}

/** Lists a directory tree of the host into parentless nodes linked by their ids (paths). */
class TreeLister
{
public:
    explicit TreeLister(const HostConnection &host) : m_host(host) {}

    void list(const QString &path, const QString &parentId, int depth)
    {
        const HostDirectoryListing listing = m_host.listDirectory(path, m_budget + 1);
        if (!listing.ok())
            return;
        QList<HostDirectoryEntry> shown;
        for (const HostDirectoryEntry &entry : listing.entries) {
            if (!entry.name.startsWith(QLatin1Char('.')) &&
                (entry.type == HostFileType::Regular || entry.type == HostFileType::Directory))
                shown << entry;
        }
        std::stable_sort(shown.begin(), shown.end(),
                         [](const HostDirectoryEntry &a, const HostDirectoryEntry &b) {
                             const bool aDir = a.type == HostFileType::Directory;
                             const bool bDir = b.type == HostFileType::Directory;
                             if (aDir != bDir)
                                 return aDir;
                             return naturalLess(a.name, b.name);
                         });
        m_cut = m_cut || listing.cut;
        for (const HostDirectoryEntry &entry : shown) {
            if (m_budget <= 0) {
                m_cut = true;
                return;
            }
            --m_budget;
            const QString entryPath = path + QLatin1Char('/') + entry.name;
            const bool directory = entry.type == HostFileType::Directory;
            auto *node = new SlapdEntryNode(entry.name, entryPath, directory);
            node->setParentId(parentId);
            m_nodes << node;
            // A link may lead anywhere, back up the tree too: it is shown, not entered.
            if (directory && !entry.link && depth < ServiceSlapdReadHeavyTask::MaxDepth)
                list(entryPath, entryPath, depth + 1);
        }
    }

    QList<TreeNode *> takeNodes() { return std::exchange(m_nodes, {}); }
    bool isCut() const { return m_cut; }

private:
    const HostConnection &m_host;
    QList<TreeNode *> m_nodes;
    int m_budget = ReadLimits::maxEntries;
    bool m_cut = false;
};

} // namespace

ServiceSlapdReadHeavyTask::ServiceSlapdReadHeavyTask(Element *element)
    : ServiceHeavyReadTask(element, slapdFamily)
{
}

void ServiceSlapdReadHeavyTask::readConfiguration(ServiceHeavyElementData *record)
{
    const QString path = QString::fromLatin1(configPath);
    record->setConfigFile(path);
    TreeLister lister(host());
    lister.list(path, QString(), 1);
    record->data() = lister.takeNodes();
    if (lister.isCut())
        succeedPartly(ReadLimits::entriesCut(path));
    else
        succeed();
}

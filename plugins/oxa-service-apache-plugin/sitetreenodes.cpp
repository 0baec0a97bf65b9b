#include "sitetreenodes.h"

#include <QCoreApplication>

#include <QRegExp>

SitesRootTreeNode::SitesRootTreeNode(QObject *parent) : TreeNode(0, QString(), parent)
{
}

SitesRootTreeNode::~SitesRootTreeNode()
{
    clearDeleteAll();
}

int SitesRootTreeNode::columnCount() const
{
    return 3;
}

QVariant SitesRootTreeNode::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QVariant();
    switch (section) {
    case 0:
        return QCoreApplication::translate("TreeNode", "Name");
    case 1:
        return QCoreApplication::translate("TreeNode", "Address");
    case 2:
        return QCoreApplication::translate("TreeNode", "Config");
    default:
        return QVariant();
    }
}

SiteTreeNode::SiteTreeNode(const QString &name, QObject *parent)
    : TreeNode(1, QStringLiteral("Site_%1").arg(name), parent), m_name(name)
{
}

QVariant SiteTreeNode::data(int column, int role) const
{
    if (column == 0 && (role == Qt::DisplayRole || role == Qt::ToolTipRole))
        return m_name;
    return QVariant();
}

HostTreeNode::HostTreeNode(const QString &name, const QString &address, const QString &config,
                           QObject *parent)
    : TreeNode(1, QStringLiteral("Host_%1").arg(name), parent), m_name(name), m_address(address),
      m_config(config)
{
    const QString site = siteNameOfConfig(config);
    if (!site.isEmpty()) {
        setParentId(QStringLiteral("Site_%1").arg(site));
        setLevel(2);
    }
}

QString HostTreeNode::siteNameOfFile(const QString &fileName)
{
    // Only the historical name of the default site is shortened; "000-default.conf" stays.
    return fileName == QLatin1String("000-default") ? QStringLiteral("default") : fileName;
}

QString HostTreeNode::siteNameOfConfig(const QString &config)
{
    if (!config.contains(QLatin1String("/etc/apache2/sites-")))
        return QString();
    QRegExp rx(QStringLiteral("/etc/apache2/sites-\\S+/(\\S+)"), Qt::CaseSensitive,
               QRegExp::RegExp);
    if (rx.indexIn(config) < 0)
        return QString();
    // The site is the file: what follows the last "/" (QRegExp leaves the capture at the first
    // one after "sites-...").
    const QString captured = rx.cap(1);
    return siteNameOfFile(captured.mid(captured.lastIndexOf(QLatin1Char('/')) + 1));
}

QVariant HostTreeNode::data(int column, int role) const
{
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return QVariant();
    switch (column) {
    case 0:
        return m_name;
    case 1:
        return m_address;
    case 2:
        return m_config;
    default:
        return QVariant();
    }
}

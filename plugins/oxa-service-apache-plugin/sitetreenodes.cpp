#include "sitetreenodes.h"

#include <QRegExp>

SitesRootTreeNode::SitesRootTreeNode(QObject *parent)
    : HeaderRootTreeNode({QT_TRANSLATE_NOOP("TreeNode", "Name"),
                          QT_TRANSLATE_NOOP("TreeNode", "Address"),
                          QT_TRANSLATE_NOOP("TreeNode", "Config")},
                         parent)
{
}

SiteTreeNode::SiteTreeNode(const QString &name, QObject *parent)
    : NamedTreeNode("Site", name, parent)
{
}

HostTreeNode::HostTreeNode(const QString &name, const QString &address, const QString &config,
                           QObject *parent)
    : NamedTreeNode("Host", name, parent), m_address(address), m_config(config)
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
    return HeaderRootTreeNode::columnText(column, role, {name(), m_address, m_config});
}

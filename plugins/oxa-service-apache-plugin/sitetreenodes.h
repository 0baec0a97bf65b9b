#pragma once

#include <plugintreenodes.h>

/** The invisible root of the sites tree: columns "Name", "Address" and "Config". */
class SitesRootTreeNode : public HeaderRootTreeNode
{
    Q_OBJECT
public:
    explicit SitesRootTreeNode(QObject *parent = nullptr);
};

/** One site file of the Debian site directories, named as the sites widget shows it. */
class SiteTreeNode : public NamedTreeNode
{
    Q_OBJECT
public:
    explicit SiteTreeNode(const QString &name, QObject *parent = nullptr);
};

/**
 * One virtual host that Apache reports: its name, address and defining file; it hangs under
 * the site whose file defines it, or at the top when a file outside the site directories does.
 */
class HostTreeNode : public NamedTreeNode
{
    Q_OBJECT
public:
    HostTreeNode(const QString &name, const QString &address, const QString &config,
                 QObject *parent = nullptr);

    QString address() const { return m_address; }
    QString config() const { return m_config; }
    QVariant data(int column, int role) const override;

    /// The name of the site whose file @p config names ("000-default" shows as "default"), or
    /// an empty string when it names no file of a site directory.
    static QString siteNameOfConfig(const QString &config);
    /// The name a site file @p fileName has in the sites tree.
    static QString siteNameOfFile(const QString &fileName);

private:
    QString m_address;
    QString m_config;
};

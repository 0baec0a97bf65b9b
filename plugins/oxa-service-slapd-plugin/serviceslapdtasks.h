#pragma once

#include <serviceheavyreadtask.h>
#include <servicerows.h>
#include <treenode.h>

/** One name in slapd's configuration directory: a file, or a directory with its own names. */
class SlapdEntryNode : public TreeNode
{
    Q_OBJECT
public:
    SlapdEntryNode(const QString &name, const QString &path, bool directory);

    QString name() const { return m_name; }
    bool isDirectory() const { return m_directory; }

    /// The name, the path as tool tip, a folder or file icon.
    QVariant data(int column, int role) const override;

private:
    QString m_name;
    QString m_path;
    bool m_directory;
};

/**
 * Slapd's state and its configuration directory "/etc/ldap/slapd.d" as a tree of names, listed
 * on the host: directories first, then names in natural order
 * (numbers by value, case ignored, as a file manager shows them);
 * hidden names, and what is neither a file nor a directory, left out; a link to a directory is
 * shown but not entered. A missing or unreadable directory is no failure: the tree is empty.
 */
class ServiceSlapdReadHeavyTask : public ServiceHeavyReadTask
{
public:
    static constexpr const char *configPath = slapdFamily.configPath;
    /// Levels below the directory that are listed; the real tree has three.
    static const int MaxDepth = 16;
    explicit ServiceSlapdReadHeavyTask(Element *element);

protected:
    void readConfiguration(ServiceHeavyElementData *record) override;
};

#pragma once

#include <QDialog>

class ConsoleHost;
class QTreeWidget;

/**
 * "About plug-ins": every loaded plug-in with its type, description, required packages and
 * whether it is valid on this host, and the libraries that were skipped, with the reason.
 */
class PluginsDialog : public QDialog
{
    Q_OBJECT
public:
    /// The columns of pluginsView().
    enum PluginColumn
    {
        PluginName,
        PluginValid,
        PluginType,
        PluginDescription,
        PluginPackages,
        PluginFile
    };
    /// The columns of issuesView().
    enum IssueColumn
    {
        IssueFile,
        IssueReason
    };

    explicit PluginsDialog(const ConsoleHost *host, QWidget *parent = nullptr);

    QTreeWidget *pluginsView() const { return m_plugins; }
    QTreeWidget *issuesView() const { return m_issues; }

private:
    QTreeWidget *m_plugins;
    QTreeWidget *m_issues;
};

#include "pluginsdialog.h"

#include "consolehost.h"

#include <plugin.h>

#include <QDialogButtonBox>
#include <QFileInfo>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QTreeWidget>
#include <QVBoxLayout>

PluginsDialog::PluginsDialog(const ConsoleHost *host, QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("_pluginsDialog"));
    setWindowTitle(tr("About plug-ins"));
    resize(760, 420);
    auto *layout = new QVBoxLayout(this);

    m_plugins = new QTreeWidget(this);
    m_plugins->setObjectName(QStringLiteral("_pluginsView"));
    m_plugins->setRootIsDecorated(false);
    m_plugins->setHeaderLabels({tr("Name"), tr("Valid"), tr("Type"), tr("Description"),
                                tr("Required packages"), tr("File")});
    m_plugins->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    layout->addWidget(m_plugins, 2);

    auto *issuesLabel = new QLabel(tr("Skipped libraries:"), this);
    issuesLabel->setObjectName(QStringLiteral("_issuesLabel"));
    layout->addWidget(issuesLabel);
    m_issues = new QTreeWidget(this);
    m_issues->setObjectName(QStringLiteral("_issuesView"));
    m_issues->setRootIsDecorated(false);
    m_issues->setHeaderLabels({tr("File"), tr("Reason")});
    m_issues->header()->setSectionResizeMode(IssueFile, QHeaderView::ResizeToContents);
    layout->addWidget(m_issues, 1);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);

    if (!host)
        return;
    for (const PluginRecord &record : host->plugins()) {
        if (!record.plugin)
            continue;
        auto *item = new QTreeWidgetItem(m_plugins);
        const QString validText = !record.checked ? tr("checking...")
                                  : record.valid  ? tr("yes")
                                                  : tr("no");
        item->setText(PluginName, record.plugin->name());
        item->setText(PluginValid, validText);
        item->setIcon(PluginValid,
                      QIcon::fromTheme(record.valid ? QStringLiteral("dialog-ok")
                                                    : QStringLiteral("dialog-cancel")));
        item->setText(PluginType, QString::number(record.plugin->type()));
        item->setText(PluginDescription, record.plugin->description());
        item->setText(PluginPackages,
                      record.plugin->requiredPackageNames().join(QStringLiteral(", ")));
        item->setText(PluginFile, QFileInfo(record.file).fileName());
        item->setToolTip(PluginFile, record.file);
        if (!record.checkError.isEmpty())
            item->setToolTip(PluginValid, record.checkError);
    }
    for (const PluginLoadIssue &issue : host->issues()) {
        auto *item = new QTreeWidgetItem(m_issues);
        item->setText(IssueFile, issue.file);
        item->setText(IssueReason, issue.message);
        item->setToolTip(IssueReason, issue.message);
    }
    issuesLabel->setVisible(!host->issues().isEmpty());
    m_issues->setVisible(!host->issues().isEmpty());
}

#pragma once

#include <plugintreenodes.h>

/** One row of the cron tree: a crontab entry line, a file or a directory. */
class CronTreeNode : public TreeNode
{
    Q_OBJECT
public:
    enum Kind
    {
        EntryKind = 1,
        FileKind = 2,
        DirectoryKind = 3
    };

    CronTreeNode(const QString &text, int kind, QObject *parent = nullptr);

    QString text() const { return m_text; }
    int kind() const { return m_kind; }

    QVariant data(int column, int role) const override;

private:
    QString m_text;
    int m_kind;
};

/** The invisible root of the cron tree: one column, "Name". */
class CronRootTreeNode : public HeaderRootTreeNode
{
    Q_OBJECT
public:
    explicit CronRootTreeNode(QObject *parent = nullptr);
};

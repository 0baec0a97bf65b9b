#pragma once

#include <printerstreenode.h>
#include <treenode.h>

#include <QList>
#include <QStringList>

/**
 * Tree nodes as text for comparisons: "name=value" per node, children in braces after their
 * parent, siblings separated by ';'. A printer node adds its policy and labels in brackets
 * when one is set. Values keep their leading blanks.
 */
inline QString dumpNode(const TreeNode *node);

inline QString dumpNodes(const QList<TreeNode *> &nodes)
{
    QStringList parts;
    for (const TreeNode *node : nodes)
        parts << dumpNode(node);
    return parts.join(QLatin1Char(';'));
}

inline QString dumpNode(const TreeNode *node)
{
    QString text;
    if (auto *printer = qobject_cast<const PrintersTreeNode *>(node)) {
        text = printer->name() + QLatin1Char('=') + printer->value();
        if (!printer->policy().isEmpty() || !printer->minLabel().isEmpty() ||
            !printer->maxLabel().isEmpty()) {
            text += QStringLiteral("[%1|%2|%3]")
                        .arg(printer->policy(), printer->minLabel(), printer->maxLabel());
        }
    } else if (auto *conf = qobject_cast<const ConfTreeNode *>(node)) {
        text = conf->name() + QLatin1Char('=') + conf->value();
    } else {
        text = QStringLiteral("?");
    }
    if (node->childCount() > 0)
        text += QLatin1Char('{') + dumpNodes(node->childNodes()) + QLatin1Char('}');
    return text;
}

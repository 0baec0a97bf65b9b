#pragma once

// Checks shared by the two targets of the scheduler's file reader.

#include <cupsconfreader.h>
#include <printerstreenode.h>
#include <treenode.h>
#include <treenodemodel.h>

#include <QRegExp>
#include <QStringList>

namespace CupsFuzz {

/// Nodes as text: "name=value[policy|min|max]", children in braces, siblings split by ';'.
inline QString dump(const QList<TreeNode *> &nodes)
{
    QString text;
    for (const TreeNode *node : nodes) {
        const auto *conf = qobject_cast<const ConfTreeNode *>(node);
        text += conf ? conf->name() + QLatin1Char('=') + conf->value() : QStringLiteral("?");
        if (const auto *printer = qobject_cast<const PrintersTreeNode *>(node))
            text += QLatin1Char('[') + printer->policy() + QLatin1Char('|') + printer->minLabel() +
                    QLatin1Char('|') + printer->maxLabel() + QLatin1Char(']');
        if (node->childCount() > 0)
            text += QLatin1Char('{') + dump(node->childNodes()) + QLatin1Char('}');
        text += QLatin1Char(';');
    }
    return text;
}

/// Every entry is a named node of the right class, in a section kept by the depth limit.
inline void checkSubtree(const TreeNode *node, int depth, bool printers)
{
    const auto *conf = qobject_cast<const ConfTreeNode *>(node);
    if (!conf || conf->name().isEmpty() || conf->name().contains(QLatin1Char('\n')) ||
        conf->value().contains(QLatin1Char('\n')) ||
        bool(qobject_cast<const PrintersTreeNode *>(node)) != printers)
        __builtin_trap();
    // A section at the limit holds entries, but no entry below it holds any.
    if (depth > CupsConfReader::maxSectionDepth + 1 ||
        (depth == CupsConfReader::maxSectionDepth + 1 && node->childCount() != 0))
        __builtin_trap();
    for (int row = 0; row < node->childCount(); ++row) {
        const TreeNode *child = node->child(row);
        if (child->parentNode() != node || child->row() != row)
            __builtin_trap();
        checkSubtree(child, depth + 1, printers);
    }
}

inline int nodeCount(const TreeNode *node)
{
    int count = 1;
    for (const TreeNode *child : node->childNodes())
        count += nodeCount(child);
    return count;
}

/// The rows below @p parent, at every depth, as the model gives them.
inline int modelRows(const TreeNodeModel &model, const QModelIndex &parent)
{
    const int rows = model.rowCount(parent);
    int count = rows;
    for (int row = 0; row < rows; ++row) {
        const QModelIndex index = model.index(row, 0, parent);
        if (!index.isValid() || model.parent(index) != parent)
            __builtin_trap();
        model.data(index, Qt::DisplayRole);
        count += modelRows(model, index);
    }
    return count;
}

/*
 * The reader matches tags by hand, for linear time; at the start of a prepared line they
 * must agree with the expressions they stand for. The expressions backtrack on long lines,
 * so only the short ones are compared.
 */
inline void checkTagsOfShortLines(const QByteArray &bytes)
{
    static QRegExp closeExpression(QStringLiteral("^</\\s*(\\S+)\\s*>"));
    static QRegExp openExpression(QStringLiteral("^<\\s*(\\S+)((\\s+\\S+)*)\\s*(/)?>"));
    const QStringList lines = QString::fromLocal8Bit(bytes).split(QLatin1Char('\n'));
    for (const QString &raw : lines) {
        const QString line = CupsConfReader::prepareLine(raw);
        if (line.isEmpty() || line.size() > 40)
            continue;
        QString name, arguments;
        const bool closes = CupsConfReader::matchClose(line, &name);
        if (closes != (closeExpression.indexIn(line) == 0) ||
            (closes && name != closeExpression.cap(1)))
            __builtin_trap();
        const bool opens = CupsConfReader::matchOpen(line, &name, &arguments);
        if (opens != (openExpression.indexIn(line) == 0) ||
            (opens && (name != openExpression.cap(1) || arguments != openExpression.cap(2))))
            __builtin_trap();
    }
}

} // namespace CupsFuzz

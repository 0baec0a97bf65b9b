// libFuzzer target for the reader of the scheduler's configuration files (cupsd.conf and its
// companions): the input is read as the configuration read reads a file (line by line from
// a device), placed under a file node beside its summary nodes, and loaded into the widget's
// tree with a model attached. Nothing may crash or leak; reading the bytes as text must give
// the same nodes; summary nodes are childless and named by a summary key; sections nest no
// deeper than the reader's limit; every node of the tree appears once in the model; and at
// the start of short lines the tags agree with the expressions they stand for.

#include "cupsfuzzcheck.h"

#include <cupsconfreader.h>
#include <printerstreenode.h>
#include <treenode.h>
#include <treenodemodel.h>

#include <QBuffer>
#include <QByteArray>
#include <QRegExp>

#include <cstddef>
#include <cstdint>

using namespace CupsConfReader;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    static const QSet<QString> keys = summaryKeys();

    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    const Nodes nodes = parse(&buffer, Flavour::Configuration, keys);
    const Nodes fromText = parse(bytes, Flavour::Configuration, keys);
    if (CupsFuzz::dump(nodes.summary) != CupsFuzz::dump(fromText.summary) ||
        CupsFuzz::dump(nodes.topLevel) != CupsFuzz::dump(fromText.topLevel))
        __builtin_trap();
    qDeleteAll(fromText.summary);
    qDeleteAll(fromText.topLevel);

    for (const TreeNode *node : nodes.summary) {
        const auto *conf = qobject_cast<const ConfTreeNode *>(node);
        if (!conf || qobject_cast<const PrintersTreeNode *>(node) || node->childCount() != 0 ||
            node->parentNode() || !keys.contains(conf->name()))
            __builtin_trap();
    }
    for (const TreeNode *node : nodes.topLevel) {
        if (node->parentNode() || node->parent())
            __builtin_trap();
        CupsFuzz::checkSubtree(node, 1, false);
    }

    // As the read task and the widget place them.
    auto *file = new ConfTreeNode(QStringLiteral("cupsd.conf"), QString());
    file->append(nodes.topLevel);
    QList<TreeNode *> list = nodes.summary;
    list.append(file);
    {
        ConfRootTreeNode root;
        TreeNodeModel model(&root);
        root.loadTreeFromList(list);
        if (root.childCount() != list.size() ||
            CupsFuzz::modelRows(model, QModelIndex()) != CupsFuzz::nodeCount(&root) - 1)
            __builtin_trap();
    }

    CupsFuzz::checkTagsOfShortLines(bytes);
    return 0;
}

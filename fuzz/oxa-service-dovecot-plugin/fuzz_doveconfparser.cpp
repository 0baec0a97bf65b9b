// libFuzzer target for the doveconf reader: the input is taken as doveconf's output and the
// nodes are loaded into the widget's tree with a model attached. Nothing may crash or leak,
// the result always starts with the "DOVECOT" node, no node has a parent, and each becomes
// a top-level row.

#include <doveconfparser.h>

#include <treenode.h>
#include <treenodemodel.h>

#include <QByteArray>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    const QList<TreeNode *> nodes = DoveconfParser::parse(bytes);
    const auto *first = qobject_cast<const ConfTreeNode *>(nodes.value(0));
    if (!first || first->name() != QLatin1String("DOVECOT"))
        __builtin_trap();
    for (const TreeNode *node : nodes) {
        if (node->parentNode())
            __builtin_trap();
    }
    ConfRootTreeNode root;
    TreeNodeModel model(&root);
    root.loadTreeFromList(nodes);
    if (model.rowCount() != nodes.size())
        __builtin_trap();
    return 0;
}

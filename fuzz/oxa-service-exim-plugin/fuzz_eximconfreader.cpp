// libFuzzer target for the Exim settings reader: the input is taken as the settings file and
// the nodes are loaded into the widget's tree with a model attached. Nothing may crash or
// leak, every node is a setting whose name holds no blank, and each becomes a top-level row.

#include <eximconfreader.h>

#include <treenode.h>
#include <treenodemodel.h>

#include <QByteArray>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    const QList<TreeNode *> nodes = EximConfReader::parse(bytes);
    for (const TreeNode *node : nodes) {
        const auto *conf = qobject_cast<const ConfTreeNode *>(node);
        if (!conf || conf->name().isEmpty() || conf->name().contains(QLatin1Char(' ')) ||
            conf->value().contains(QLatin1Char('#')))
            __builtin_trap();
    }
    ConfRootTreeNode root;
    TreeNodeModel model(&root);
    root.loadTreeFromList(nodes);
    if (model.rowCount() != nodes.size())
        __builtin_trap();
    return 0;
}

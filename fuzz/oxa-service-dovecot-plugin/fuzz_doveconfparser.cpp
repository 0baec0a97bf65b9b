// libFuzzer target for the doveconf reader: the input is taken as doveconf's output. Nothing
// may crash, the result always starts with the "DOVECOT" node, and no node has a parent.

#include <doveconfparser.h>

#include <treenode.h>

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
    qDeleteAll(nodes);
    return 0;
}

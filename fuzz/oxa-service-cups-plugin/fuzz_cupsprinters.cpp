// libFuzzer target for the reader of the scheduler's printers.conf and classes.conf: the
// input is read as the printers read reads a file (line by line from a device) and loaded
// into the printers widget's tree with a model attached. Nothing may crash or leak; reading
// the bytes as text must give the same nodes; every node is a printer node whose columns
// show its name, value, policy and labels; a section's policy and labels come from settings
// of its own; and every node of the tree appears once in the model.

#include "cupsfuzzcheck.h"

#include <cupsconfreader.h>
#include <printerstreenode.h>
#include <treenodemodel.h>

#include <QBuffer>
#include <QByteArray>

#include <cstddef>
#include <cstdint>

using namespace CupsConfReader;

namespace {

/// A setting a section shows must be the value of one of its own entries of that name.
bool comesFromChild(const TreeNode *node, const char *name, const QString &value)
{
    if (value.isEmpty())
        return true;
    for (const TreeNode *child : node->childNodes()) {
        const auto *conf = qobject_cast<const ConfTreeNode *>(child);
        if (conf && conf->name() == QLatin1String(name) && conf->value() == value)
            return true;
    }
    return false;
}

void checkPrinter(const TreeNode *node)
{
    const auto *printer = qobject_cast<const PrintersTreeNode *>(node);
    if (!printer)
        __builtin_trap();
    const QStringList columns{printer->name(), printer->value(), printer->policy(),
                              printer->minLabel(), printer->maxLabel()};
    for (int column = 0; column < 5; ++column) {
        if (printer->data(column, Qt::DisplayRole).toString() != columns.at(column))
            __builtin_trap();
    }
    if (!comesFromChild(node, "OpPolicy", printer->policy()) ||
        !comesFromChild(node, "MacLabelMin", printer->minLabel()) ||
        !comesFromChild(node, "MacLabelMax", printer->maxLabel()))
        __builtin_trap();
    for (const TreeNode *child : node->childNodes())
        checkPrinter(child);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));

    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    const Nodes nodes = parse(&buffer, Flavour::Printers);
    const Nodes fromText = parse(bytes, Flavour::Printers);
    if (!nodes.summary.isEmpty() || !fromText.summary.isEmpty() ||
        CupsFuzz::dump(nodes.topLevel) != CupsFuzz::dump(fromText.topLevel))
        __builtin_trap();
    qDeleteAll(fromText.topLevel);

    for (const TreeNode *node : nodes.topLevel) {
        if (node->parentNode() || node->parent())
            __builtin_trap();
        CupsFuzz::checkSubtree(node, 1, true);
        checkPrinter(node);
    }

    PrintersRootTreeNode root;
    TreeNodeModel model(&root);
    root.loadTreeFromList(nodes.topLevel);
    if (root.childCount() != nodes.topLevel.size() ||
        CupsFuzz::modelRows(model, QModelIndex()) != CupsFuzz::nodeCount(&root) - 1)
        __builtin_trap();
    return 0;
}

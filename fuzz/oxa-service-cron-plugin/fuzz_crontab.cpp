// Any bytes as a crontab: the entries never hold a tab, never start with '#' and are never
// empty, building the tree from them keeps every one, and the tree loads into the widget's
// root with a model attached, every row in its place.
#include <crontabreader.h>
#include <crontreenode.h>

#include <treenode.h>
#include <treenodemodel.h>

#include <QByteArray>
#include <QStringList>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray content(reinterpret_cast<const char *>(data), int(size));
    const QStringList lines = CronTabReader::entries(content);
    for (const QString &line : lines) {
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')) || line.contains(QLatin1Char('\t')))
            std::abort();
    }
    const QList<TreeNode *> nodes = CronTabReader::buildTree(CronTabReader::crontabPath(), lines,
                                                             CronTabReader::jobDirectories(), {});
    if (nodes.isEmpty() || nodes.first()->childCount() != lines.size())
        std::abort();
    CronRootTreeNode root;
    TreeNodeModel model(&root);
    root.loadTreeFromList(nodes);
    if (model.rowCount() != nodes.size() || model.rowCount(model.index(0, 0)) != lines.size())
        std::abort();
    return 0;
}

// libFuzzer target for the apache2ctl output parsers: the input is taken as `-S` output and
// as `-M` output (decoded as the tasks decode it), and the host and module rows are placed
// in the sites and modules trees, with a model attached, as the widgets place them. Nothing
// may crash or leak, every row the parsers add must come with its name in the record's
// sets, and every row placed must be one of the tree's.

#include "apacheoutputparser.h"
#include "moduletreenodes.h"
#include "serviceapacheheavyelementdata.h"
#include "sitetreenodes.h"

#include <childprocess.h>
#include <treenodemodel.h>

#include <QByteArray>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    const QString text = ChildProcess::decodeLocal8Bit(bytes);

    ServiceApacheHeavyElementData hosts;
    ApacheOutput::parseVirtualHosts(text, &hosts);
    for (TreeNode *node : hosts.data()) {
        auto *host = qobject_cast<HostTreeNode *>(node);
        if (!host || !hosts.blockedNames().contains(host->name()))
            __builtin_trap();
    }
    {
        SitesRootTreeNode root;
        TreeNodeModel model(&root);
        const int count = hosts.data().size();
        root.loadTreeFromList(hosts.data());
        hosts.data().clear();
        if (model.rowCount() > count)
            __builtin_trap();
    }

    ServiceApacheHeavyElementData modules;
    ApacheOutput::parseModules(text, &modules);
    for (TreeNode *node : modules.data()) {
        const QString name = node->data(0, Qt::DisplayRole).toString();
        const bool isStatic = qobject_cast<ModuleStaticTreeNode *>(node);
        if (!(isStatic ? modules.blockedNames() : modules.checkedNames()).contains(name))
            __builtin_trap();
    }
    ModulesRootTreeNode root;
    TreeNodeModel model(&root);
    const int count = modules.data().size();
    root.loadTreeFromList(modules.data());
    modules.data().clear();
    if (model.rowCount() > count)
        __builtin_trap();
    return 0;
}

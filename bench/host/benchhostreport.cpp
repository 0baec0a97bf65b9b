// Times what batch mode does with large trees: the JSON and text report of an element tree,
// the dump of an item view, and the window's element model taking a tree.
//   bench-hostreport [elements]      (default 10000)
#include "batchreport.h"
#include "elementtreemodel.h"
#include "widgetdumper.h"

#include <consoleregistry.h>
#include <element.h>
#include <elementdata.h>
#include <module.h>
#include <plugin.h>
#include <treenodemodel.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTreeView>

#include <cstdio>

namespace {
class BenchPlugin : public Plugin
{
public:
    BenchPlugin(int count)
    {
        auto *module = new Module(QStringLiteral("BenchModule"), this);
        module->setData(QStringLiteral("administrator"), true);
        auto *root = new Element(module, &Module::isAdministratorHierarchy);
        root->setId(QStringLiteral("BenchRoot"));
        root->setTitle(QStringLiteral("Bench root"));
        module->appendElement(root);
        for (int i = 0; i < count; ++i) {
            auto *element = new ServiceElement(module, &Module::isAdministratorHierarchy);
            element->setId(QStringLiteral("BenchService%1").arg(i));
            element->setParentId(i % 10 == 0 ? QStringLiteral("BenchRoot")
                                             : QStringLiteral("BenchService%1").arg(i - i % 10));
            element->setTitle(QStringLiteral("Service %1").arg(i));
            element->serviceData()->setState(i % 2 == 0);
            element->serviceData()->setProperty(QStringLiteral("port"), 5432 + i);
            module->appendElement(element);
        }
        appendModule(module);
    }
};

template <typename Fn> double timed(Fn fn)
{
    QElapsedTimer clock;
    clock.start();
    fn();
    return clock.nsecsElapsed() / 1e6;
}
} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int count = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 10000;

    BenchPlugin plugin(count);
    ConsoleRegistry registry;
    registry.addPlugin(&plugin, true);
    const double buildMs = timed([&] { registry.build(); });

    QJsonArray tree;
    const double treeMs = timed([&] { tree = BatchReport::tree(&registry); });
    QJsonObject report;
    report.insert(QStringLiteral("tree"), tree);
    QByteArray json;
    const double jsonMs = timed([&] { json = QJsonDocument(report).toJson(); });
    QString text;
    const double textMs = timed([&] { text = BatchReport::toText(report); });

    ElementTreeModel model;
    const double modelMs = timed([&] { model.setRootNode(registry.elementRoot()); });
    QTreeView view;
    view.setModel(&model);
    double dumpMs = timed([&] { view.expandAll(); });
    const double expandMs = dumpMs;
    QJsonObject dump;
    dumpMs = timed([&] { dump = WidgetDumper::dumpChild(&view); });

    std::printf("elements: %d\n", count);
    std::printf("registry build:            %8.1f ms\n", buildMs);
    std::printf("report tree (JSON values): %8.1f ms\n", treeMs);
    std::printf("report JSON text:          %8.1f ms (%lld bytes)\n", jsonMs,
                static_cast<long long>(json.size()));
    std::printf("report text form:          %8.1f ms (%lld chars)\n", textMs,
                static_cast<long long>(text.size()));
    std::printf("element model takes tree:  %8.1f ms\n", modelMs);
    std::printf("tree view expands all:     %8.1f ms\n", expandMs);
    std::printf("dump of the tree view:     %8.1f ms\n", dumpMs);
    return 0;
}

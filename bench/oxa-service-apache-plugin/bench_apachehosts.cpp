// Times the apache2ctl -S parser and the sites widget on output with many virtual hosts, at
// doubling sizes, so that a time that grows faster than the size shows. Times are the CPU
// time of the GUI thread (best of several runs): "parse" builds the host rows of a record
// and deletes it again; "load" is afterSuccessfulRead of the sites widget with the site rows
// and the hosts, ticks included, and the events it causes; "sort" turns the order of the
// sites view, as a click on its header does; "tick" is one tick by name. "vs 250ms" is load
// and sort against the quarter second a user should wait at most; "linear" the parse, load
// and sort against the first size's scaled up to this one (1 when growth is linear).
//
//     QT_QPA_PLATFORM=offscreen bench_apachehosts [hosts...]

#include "../widgetbench.h"
#include "apacheoutputparser.h"
#include "serviceapacheelementwidget.h"
#include "serviceapacheheavyelementdata.h"
#include "serviceapachemodule.h"
#include "sitetreenodes.h"

#include <choicetreenodeproxymodel.h>
#include <element.h>

#include <QApplication>
#include <QTreeView>
#include <choicewidget.h>

#include <cstdio>
#include <ctime>

namespace {

const int hostsPerSite = 100;

/// Output shaped as the real server prints it: per site a name-based block on its own
/// address, and one compact line per site on the wildcard port.
QString sitesOutput(int hosts)
{
    QString text = QStringLiteral("VirtualHost configuration:\n");
    const int sites = (hosts + hostsPerSite - 1) / hostsPerSite;
    int made = 0;
    for (int s = 0; s < sites && made < hosts; ++s) {
        const QString file = QStringLiteral("/etc/apache2/sites-enabled/site%1.conf").arg(s);
        text += QStringLiteral("10.%1.%2.1:80           is a NameVirtualHost\n")
                    .arg(s / 256)
                    .arg(s % 256);
        text += QStringLiteral("         default server h%1-0.example (%2:1)\n").arg(s).arg(file);
        for (int h = 0; h < hostsPerSite - 1 && made < hosts; ++h, ++made)
            text += QStringLiteral("         port 80 namevhost h%1-%2.example (%3:%4)\n")
                        .arg(s)
                        .arg(h)
                        .arg(file)
                        .arg(h * 4 + 1);
        if (made < hosts) {
            text += QStringLiteral("*:%1                 c%2.example (%3:900)\n")
                        .arg(8000 + s)
                        .arg(s)
                        .arg(file);
            ++made;
        }
    }
    text += QStringLiteral("ServerRoot: \"/etc/apache2\"\n");
    return text;
}

/// CPU time of this thread in ms: other programs on a busy machine do not count.
double cpuMs()
{
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

template <typename Fn> double bestOf(int runs, Fn fn)
{
    double best = 1e300;
    for (int i = 0; i < runs; ++i) {
        const double start = cpuMs();
        fn();
        best = qMin(best, cpuMs() - start);
    }
    return best;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QList<int> sizes;
    for (int i = 1; i < argc; ++i)
        sizes << QString::fromLocal8Bit(argv[i]).toInt();
    if (sizes.isEmpty())
        sizes = {1000, 10000, 40000};

    ServiceApacheModule module(nullptr);
    Element *service = module.firstElement();
    auto *widget = qobject_cast<ServiceApacheElementWidget *>(
        module.elementWidget(QStringLiteral("ServiceApache")));
    widget->setElement(service, ElementWidgetRoleView);
    widget->resize(800, 600);
    widget->show();

    std::printf("%8s %8s %10s %10s %10s %10s %10s %9s %9s\n", "hosts", "lines", "parse ms",
                "load ms", "sort ms", "tick ms", "rows shown", "vs 250ms", "linear");
    double referencePerHost = 0;
    for (int hosts : sizes) {
        const QString text = sitesOutput(hosts);
        const int lines = text.count(QLatin1Char('\n'));

        const double parse = bestOf(5, [&] {
            ServiceApacheHeavyElementData record;
            ApacheOutput::parseVirtualHosts(text, &record);
        });

        // A whole read as the widget gets it: the site nodes, then the hosts.
        double load = 1e300;
        for (int run = 0; run < 3; ++run) {
            ServiceApacheHeavyElementData record;
            record.setState(true);
            const int sites = (hosts + hostsPerSite - 1) / hostsPerSite;
            for (int s = 0; s < sites; ++s) {
                const QString name = QStringLiteral("site%1.conf").arg(s);
                record.data().append(new SiteTreeNode(name));
                record.checkedNames().insert(name);
            }
            ApacheOutput::parseVirtualHosts(text, &record);
            const double start = cpuMs();
            widget->afterSuccessfulRead(service, &record);
            QCoreApplication::processEvents();
            load = qMin(load, cpuMs() - start);
            record.data().clear();
        }

        QTreeView *view = WidgetBench::largestView(widget);
        const double sort = !view ? 0 : bestOf(3, [&] {
            view->sortByColumn(0, view->header()->sortIndicatorOrder() == Qt::AscendingOrder
                                      ? Qt::DescendingOrder
                                      : Qt::AscendingOrder);
            QCoreApplication::processEvents();
        });

        widget->blockEditWidget(false);
        const double tick = bestOf(3, [&] {
            widget->choiceModel()->setNameChecked(QStringLiteral("site0.conf"), false);
            widget->choiceModel()->setNameChecked(QStringLiteral("site0.conf"), true);
            QCoreApplication::processEvents();
        });
        widget->blockEditWidget(true);

        int rows = 0;
        const QAbstractItemModel *model = widget->choiceModel();
        for (int r = 0; r < model->rowCount(); ++r)
            rows += 1 + model->rowCount(model->index(r, 0));
        const double perHost = (parse + load + sort) / hosts;
        if (referencePerHost == 0)
            referencePerHost = perHost;
        std::printf("%8d %8d %10.1f %10.1f %10.1f %10.1f %10d %9.2f %9.2f\n", hosts, lines, parse,
                    load, sort, tick / 2, rows, (load + sort) / 250.0, perHost / referencePerHost);
        std::fflush(stdout);
    }
    return 0;
}

#pragma once

// What the benches of the largest inputs share: parse a read's output, hand the record to the
// element's widget as a read's after-run does (the view lays out the rows it shows), and sort
// the view the other way, as a click on its header does. Times are the processor time of the
// GUI thread (best of three): other programs on a busy machine do not count. Each size is
// printed with the smallest one scaled to it as the reference, so that a ratio near 1 means
// linear growth, and the load and sort against the quarter second a user should wait at most.

#include <element.h>
#include <elementdata.h>
#include <vieweditelementwidget.h>

#include <QAbstractItemModel>
#include <QApplication>
#include <QHeaderView>
#include <QTreeView>

#include <cstdio>
#include <ctime>
#include <functional>

namespace WidgetBench {

inline double cpuMs()
{
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

inline int countRows(const QAbstractItemModel *model, const QModelIndex &parent = QModelIndex())
{
    const int rows = model->rowCount(parent);
    int all = rows;
    for (int row = 0; row < rows; ++row) {
        const QModelIndex index = model->index(row, 0, parent);
        if (model->hasChildren(index))
            all += countRows(model, index);
    }
    return all;
}

/// The widget's view with the most rows: the one the record fills.
inline QTreeView *largestView(QWidget *widget)
{
    QTreeView *best = nullptr;
    for (QTreeView *view : widget->findChildren<QTreeView *>()) {
        if (view->model() && (!best || countRows(view->model()) > countRows(best->model())))
            best = view;
    }
    return best;
}

struct Figures
{
    double parse = 0;
    double load = 0;
    double sort = 0;
    int rows = 0;
};

/**
 * One size: @p parse builds a fresh record (its nodes belong to it until the widget takes
 * them); @p widget shows @p element in the viewing role.
 */
inline Figures measure(ViewEditElementWidget *widget, Element *element,
                       const std::function<ServiceHeavyElementData *()> &parse)
{
    Figures best;
    best.parse = best.load = best.sort = 1e300;
    widget->setElement(element, ElementWidgetRoleView);
    widget->resize(900, 700);
    widget->show();
    for (int round = 0; round < 3; ++round) {
        double start = cpuMs();
        ServiceHeavyElementData *record = parse();
        best.parse = qMin(best.parse, cpuMs() - start);
        record->setState(true);
        start = cpuMs();
        widget->afterSuccessfulRead(element, record);
        QCoreApplication::processEvents();
        best.load = qMin(best.load, cpuMs() - start);
        delete record;
        QTreeView *view = largestView(widget);
        if (!view)
            continue;
        const Qt::SortOrder order = view->header()->sortIndicatorOrder() == Qt::AscendingOrder
                                        ? Qt::DescendingOrder
                                        : Qt::AscendingOrder;
        start = cpuMs();
        view->sortByColumn(0, order);
        QCoreApplication::processEvents();
        best.sort = qMin(best.sort, cpuMs() - start);
        best.rows = countRows(view->model());
    }
    return best;
}

inline void printHeader(const char *unit)
{
    std::printf("%9s %8s %10s %10s %10s %10s %9s %9s\n", unit, "rows", "parse ms", "load ms",
                "sort ms", "load+sort", "vs 250ms", "linear");
}

/// Prints one size; @p reference is the smallest size's figures, @p scale the size ratio.
inline void printRow(int size, const Figures &f, const Figures &reference, double scale)
{
    const double total = f.load + f.sort;
    const double referenceTotal = (reference.parse + reference.load + reference.sort) * scale;
    std::printf("%9d %8d %10.1f %10.1f %10.1f %10.1f %9.2f %9.2f\n", size, f.rows, f.parse, f.load,
                f.sort, total, total / 250.0,
                referenceTotal > 0 ? (f.parse + total) / referenceTotal : 0.0);
    std::fflush(stdout);
}

/// Runs @p sizes (smallest first): the "linear" column is the time of all three steps against
/// the smallest size's time scaled up to this size.
inline void series(const char *title, const char *unit, ViewEditElementWidget *widget,
                   Element *element, const QList<int> &sizes,
                   const std::function<ServiceHeavyElementData *(int)> &parse)
{
    std::printf("%s: parse, load into the widget, sort (processor ms, best of 3)\n", title);
    printHeader(unit);
    Figures reference;
    for (int i = 0; i < sizes.size(); ++i) {
        const Figures f = measure(widget, element, [&] { return parse(sizes.at(i)); });
        if (i == 0)
            reference = f;
        printRow(sizes.at(i), f, reference, double(sizes.at(i)) / sizes.first());
    }
}

} // namespace WidgetBench

#include "treenodesortfilterproxymodel.h"

namespace {
// Case-insensitive comparison in which runs of digits compare by value ("eth2" < "eth10").
int naturalCompare(const QString &a, const QString &b)
{
    const int na = a.size();
    const int nb = b.size();
    int i = 0;
    int j = 0;
    while (i < na && j < nb) {
        const QChar ca = a.at(i);
        const QChar cb = b.at(j);
        if (ca.isDigit() && cb.isDigit()) {
            int si = i;
            int sj = j;
            while (si < na && a.at(si) == QLatin1Char('0'))
                ++si;
            while (sj < nb && b.at(sj) == QLatin1Char('0'))
                ++sj;
            int ei = si;
            int ej = sj;
            while (ei < na && a.at(ei).isDigit())
                ++ei;
            while (ej < nb && b.at(ej).isDigit())
                ++ej;
            if (ei - si != ej - sj)
                return (ei - si) < (ej - sj) ? -1 : 1;
            for (int k = 0; k < ei - si; ++k) {
                if (a.at(si + k) != b.at(sj + k))
                    return a.at(si + k) < b.at(sj + k) ? -1 : 1;
            }
            i = ei;
            j = ej;
            continue;
        }
        const QChar la = ca.toCaseFolded();
        const QChar lb = cb.toCaseFolded();
        if (la != lb)
            return la < lb ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < na)
        return 1;
    if (j < nb)
        return -1;
    return QString::compare(a, b); // stable order for texts equal but for case and zeros
}
} // namespace

TreeNodeSortFilterProxyModel::TreeNodeSortFilterProxyModel(int column, QObject *parent)
    : QSortFilterProxyModel(parent)
{
    setSortCaseSensitivity(Qt::CaseInsensitive);
    setFilterCaseSensitivity(Qt::CaseInsensitive);
    setRecursiveFilteringEnabled(true);
    sort(column, Qt::AscendingOrder);
}

bool TreeNodeSortFilterProxyModel::lessThan(const QModelIndex &left,
                                            const QModelIndex &right) const
{
    const QVariant l = left.data(sortRole());
    const QVariant r = right.data(sortRole());
    const int lt = l.userType();
    const int rt = r.userType();
    if ((lt == QMetaType::Int || lt == QMetaType::LongLong)
        && (rt == QMetaType::Int || rt == QMetaType::LongLong))
        return l.toLongLong() < r.toLongLong();
    return naturalCompare(l.toString(), r.toString()) < 0;
}

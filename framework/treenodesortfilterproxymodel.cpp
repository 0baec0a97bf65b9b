#include "treenodesortfilterproxymodel.h"

namespace {
// Sorting compares the same texts many times over: ASCII, by far the most common, is handled
// inline; everything else goes through QChar's tables as before.
inline bool isDigit(QChar c)
{
    const ushort u = c.unicode();
    return u < 0x80 ? (u >= '0' && u <= '9') : c.isDigit();
}

inline QChar folded(QChar c)
{
    const ushort u = c.unicode();
    if (u < 0x80)
        return QChar(ushort(u >= 'A' && u <= 'Z' ? u + ('a' - 'A') : u));
    return c.toCaseFolded();
}

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
        if (isDigit(ca) && isDigit(cb)) {
            int si = i;
            int sj = j;
            while (si < na && a.at(si) == QLatin1Char('0'))
                ++si;
            while (sj < nb && b.at(sj) == QLatin1Char('0'))
                ++sj;
            int ei = si;
            int ej = sj;
            while (ei < na && isDigit(a.at(ei)))
                ++ei;
            while (ej < nb && isDigit(b.at(ej)))
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
        const QChar la = folded(ca);
        const QChar lb = folded(cb);
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

bool TreeNodeSortFilterProxyModel::lessThan(const QModelIndex &left, const QModelIndex &right) const
{
    const QVariant l = left.data(sortRole());
    const QVariant r = right.data(sortRole());
    const int lt = l.userType();
    const int rt = r.userType();
    if ((lt == QMetaType::Int || lt == QMetaType::LongLong) &&
        (rt == QMetaType::Int || rt == QMetaType::LongLong))
        return l.toLongLong() < r.toLongLong();
    return naturalCompare(l.toString(), r.toString()) < 0;
}

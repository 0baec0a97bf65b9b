#pragma once

#include <QList>
#include <QPointer>

/// The objects of @p pointers that still exist, in order (the framework's own lists of guarded
/// objects; not part of its interface).
template <class T> QList<T *> livePointers(const QList<QPointer<T>> &pointers)
{
    QList<T *> alive;
    for (const QPointer<T> &pointer : pointers) {
        if (pointer)
            alive.append(pointer.data());
    }
    return alive;
}

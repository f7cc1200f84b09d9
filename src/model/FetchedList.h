#pragma once

#include <QList>

#include <algorithm>

namespace tessaline {

// Whether `later` is `earlier` with entries added at its end. The store hands
// out its notes and cards in the same order from one fetch to the next, new
// ones last, so what was worked out over the earlier list holds for its part
// of the later one. A pass over pointers, nothing they point at; a list that
// still shares the earlier one's buffer is told at once.
template<typename T>
bool extendsFetched(const QList<T *> &later, const QList<T *> &earlier)
{
    if (later.constData() == earlier.constData() && later.size() == earlier.size())
        return true;
    return later.size() >= earlier.size() && std::equal(earlier.cbegin(), earlier.cend(), later.cbegin());
}

} // namespace tessaline

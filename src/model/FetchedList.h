#pragma once

#include <QList>

#include <algorithm>
#include <optional>

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

// Whether the two lists hold the same entries in the same order. Qt's own
// comparison hands a list that never had entries to memcmp as a null
// pointer, which is undefined even for no bytes, when the other list has a
// buffer (emptied, or reserved).
template<typename T>
bool sameFetched(const QList<T *> &later, const QList<T *> &earlier)
{
    return later.size() == earlier.size() && (later.isEmpty() || later == earlier);
}

// Where the entries stand in `earlier` that `later` no longer holds, when
// `later` is `earlier` with some taken out and nothing else changed (a note
// and its cards deleted for good), ascending; an empty list when the two
// are the same, and none otherwise. A pass over
// pointers alone, so what was worked out over the earlier list can be
// brought along for the entries taken out, rather than worked out again by
// looking at every entity.
template<typename T>
std::optional<QList<qsizetype>> takenFromFetched(const QList<T *> &later, const QList<T *> &earlier)
{
    const qsizetype taken = earlier.size() - later.size();
    if (taken == 0 && sameFetched(later, earlier))
        return QList<qsizetype>();
    if (taken <= 0)
        return std::nullopt;
    QList<qsizetype> positions;
    positions.reserve(taken);
    qsizetype next = std::mismatch(later.cbegin(), later.cend(), earlier.cbegin()).first - later.cbegin();
    for (qsizetype at = next; at < earlier.size(); ++at) {
        if (next < later.size() && earlier.at(at) == later.at(next)) {
            ++next;
        } else {
            if (positions.size() == taken)
                return std::nullopt;
            positions.append(at);
        }
    }
    if (next != later.size())
        return std::nullopt;
    return positions;
}

} // namespace tessaline

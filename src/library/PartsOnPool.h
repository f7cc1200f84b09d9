#pragma once

#include <QSemaphore>
#include <QThreadPool>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <vector>

namespace tessaline {

// How a long list is shared out among a pool's threads: in parts of at
// least `smallest` entries (enough that handing a part over costs nothing
// beside it), at most `mostParts` of them.
struct PoolShare
{
    QThreadPool *pool = nullptr;
    size_t smallest = 0;
    size_t mostParts = 1;
};

// How many parts inPartsOnPool cuts `count` indices into.
inline size_t partsOnPool(const PoolShare &share, size_t count)
{
    if (!share.pool || share.smallest == 0 || count < 2 * share.smallest)
        return 1;
    return std::max(size_t(1), std::min(count / share.smallest, share.mostParts));
}

// Calls `work(part, from, to)` for consecutive parts of the indices below
// `count`, together covering them all. With at least two parts' worth of
// indices, the pool's threads that are free take parts beside the calling
// thread; it takes parts until none is left and waits only for those being
// worked on, never for a thread of a busy pool (Qt's blocking map waits
// for one, which a task on that same pool may never get). Returns how many
// parts there were.
template <typename Work>
size_t inPartsOnPool(const PoolShare &share, size_t count, const Work &work)
{
    const size_t parts = partsOnPool(share, count);
    if (parts == 1) {
        work(size_t(0), size_t(0), count);
        return 1;
    }
    // Outlives this call in a helper that finds no part left: such a one
    // touches nothing else.
    struct Parts
    {
        std::atomic<size_t> next = 0;
        size_t count = 0;
        QSemaphore done;
        std::function<void(size_t)> work;
    };
    const auto shared = std::make_shared<Parts>();
    shared->count = parts;
    const size_t each = (count + parts - 1) / parts;
    shared->work = [&work, each, count](size_t part) {
        work(part, std::min(count, part * each), std::min(count, (part + 1) * each));
    };
    const auto takeParts = [](Parts &taken) {
        for (size_t part = taken.next++; part < taken.count; part = taken.next++) {
            taken.work(part);
            taken.done.release();
        }
    };
    for (size_t helper = 1; helper < parts; ++helper) {
        if (!share.pool->tryStart([shared, takeParts] { takeParts(*shared); }))
            break;
    }
    takeParts(*shared);
    shared->done.acquire(int(parts));
    return parts;
}

// The candidates `isHit` holds, in order: every index below `count`, or,
// given `last` (the hits of a shorter query), only those, looked at in
// parts as above (`isHit` is then called on several threads at once, for
// different candidates).
template <typename Index, typename IsHit>
std::vector<Index> hitsAmong(const PoolShare &share, const std::vector<Index> *last, size_t count, const IsHit &isHit)
{
    const size_t candidates = last ? last->size() : count;
    std::vector<std::vector<Index>> found(partsOnPool(share, candidates));
    const size_t parts = inPartsOnPool(share, candidates, [&](size_t part, size_t from, size_t to) {
        for (size_t at = from; at < to; ++at) {
            const Index candidate = last ? (*last)[at] : Index(at);
            if (isHit(candidate))
                found[part].push_back(candidate);
        }
    });
    std::vector<Index> hits = std::move(found[0]);
    for (size_t part = 1; part < parts; ++part)
        hits.insert(hits.end(), found[part].cbegin(), found[part].cend());
    return hits;
}

} // namespace tessaline

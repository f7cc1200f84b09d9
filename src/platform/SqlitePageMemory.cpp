#include "platform/SqlitePageMemory.h"

#include "platform/PageArena.h"

#include <sqlite3.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace tessaline {
namespace {

#if defined(__GLIBC__)

// Pages of the smallest and the largest page size SQLite has, with the
// cache's headers. A record or a picture read whole is larger, and rare.
constexpr size_t smallestPageBlock = 4096;
constexpr size_t largestPageBlock = 80 * 1024;
// Twice a 5K picture's pages: a burst's next picture finds its pages kept.
constexpr qint64 keptCeiling = qint64(48) << 20;
// Fresh blocks for a keeping thread are cut from slabs of huge pages, so a
// picture's 17 MB of pages cost a few faults where the heap's pages cost
// one per 4 KiB, also the first time after the kept pages went back.
constexpr size_t slabBytes = size_t(4) << 20;
// Before each block in a slab: its size, for SQLite's asking.
constexpr size_t slabBlockHeader = 16;

thread_local bool keepOnThisThread = false;

struct Slab
{
    std::unique_ptr<PageArena> arena;
    // The slab's blocks SQLite holds; with none, all of them are kept and
    // the slab can go whole.
    size_t live = 0;
};

struct KeptBlocks
{
    std::mutex mutex;
    // By the block's usable size: a cache asks for one size over and over.
    std::map<size_t, std::vector<void *>> bySize;
    qint64 bytes = 0;
    std::vector<Slab> slabs;
    // From the lowest slab's start to the highest one's end, read without
    // the lock: a block outside it is the heap's. A block inside may still
    // be, in a gap between slabs.
    std::atomic<uintptr_t> slabsFrom{UINTPTR_MAX};
    std::atomic<uintptr_t> slabsTo{0};

    Slab *slabOf(const void *block)
    {
        for (Slab &slab : slabs) {
            if (slab.arena->holds(block))
                return &slab;
        }
        return nullptr;
    }
    void spanSlabs()
    {
        uintptr_t from = UINTPTR_MAX;
        uintptr_t to = 0;
        for (const Slab &slab : slabs) {
            from = std::min(from, slab.arena->begin());
            to = std::max(to, slab.arena->end());
        }
        slabsFrom.store(from, std::memory_order_release);
        slabsTo.store(to, std::memory_order_release);
    }
    bool mayBeInSlab(const void *block) const
    {
        const auto at = reinterpret_cast<uintptr_t>(block);
        return at >= slabsFrom.load(std::memory_order_acquire) && at < slabsTo.load(std::memory_order_acquire);
    }
    // With the lock held.
    void keepLocked(void *block, size_t size)
    {
        bySize[size].push_back(block);
        bytes += qint64(size);
    }
};

KeptBlocks &kept()
{
    static KeptBlocks blocks;
    return blocks;
}

size_t slabBlockSize(const void *block)
{
    size_t size = 0;
    std::memcpy(&size, static_cast<const uint8_t *>(block) - slabBlockHeader, sizeof size);
    return size;
}

void *takeKept(size_t wanted)
{
    KeptBlocks &blocks = kept();
    const std::lock_guard lock(blocks.mutex);
    const auto found = blocks.bySize.lower_bound(wanted);
    // Not a block much larger than asked for: SQLite counts its memory by
    // the blocks' sizes, and a cache of small pages would grow by it.
    if (found == blocks.bySize.end() || found->first > wanted + wanted / 8)
        return nullptr;
    void *block = found->second.back();
    found->second.pop_back();
    blocks.bytes -= qint64(found->first);
    if (found->second.empty())
        blocks.bySize.erase(found);
    if (Slab *slab = blocks.slabOf(block))
        ++slab->live;
    return block;
}

void *takeFromSlab(size_t wanted)
{
    KeptBlocks &blocks = kept();
    const std::lock_guard lock(blocks.mutex);
    uint8_t *at = blocks.slabs.empty() ? nullptr : blocks.slabs.back().arena->take(slabBlockHeader + wanted);
    if (!at) {
        if (qint64(blocks.slabs.size() + 1) * qint64(slabBytes) > keptCeiling)
            return nullptr;
        auto arena = std::make_unique<PageArena>(slabBytes);
        at = arena->take(slabBlockHeader + wanted);
        if (!at)
            return nullptr;
        blocks.slabs.push_back({std::move(arena), 0});
        blocks.spanSlabs();
    }
    std::memcpy(at, &wanted, sizeof wanted);
    ++blocks.slabs.back().live;
    return at + slabBlockHeader;
}

bool keep(void *block, size_t size)
{
    KeptBlocks &blocks = kept();
    const std::lock_guard lock(blocks.mutex);
    if (blocks.bytes + qint64(size) > keptCeiling)
        return false;
    blocks.keepLocked(block, size);
    return true;
}

// Whether the block is a slab's, then kept: it can go nowhere else.
bool keptInSlab(void *block)
{
    KeptBlocks &blocks = kept();
    if (!blocks.mayBeInSlab(block))
        return false;
    const std::lock_guard lock(blocks.mutex);
    Slab *slab = blocks.slabOf(block);
    if (!slab)
        return false;
    --slab->live;
    blocks.keepLocked(block, slabBlockSize(block));
    return true;
}

bool isSlabBlock(const void *block)
{
    KeptBlocks &blocks = kept();
    if (!blocks.mayBeInSlab(block))
        return false;
    const std::lock_guard lock(blocks.mutex);
    return blocks.slabOf(block) != nullptr;
}

bool pageSized(size_t bytes)
{
    return bytes >= smallestPageBlock && bytes <= largestPageBlock;
}

void *allocate(int bytes)
{
    if (bytes <= 0)
        return nullptr;
    if (keepOnThisThread && pageSized(size_t(bytes))) {
        if (void *block = takeKept(size_t(bytes)))
            return block;
        // A cached page comes with its header, never a power of two long.
        // A block of just a page's size is the pager's scratch page, which
        // lives as long as the connection and would hold its slab.
        if (!std::has_single_bit(unsigned(bytes))) {
            if (void *block = takeFromSlab(size_t(bytes)))
                return block;
        }
    }
    return std::malloc(size_t(bytes));
}

void release(void *block)
{
    if (!block || keptInSlab(block))
        return;
    if (keepOnThisThread) {
        const size_t size = malloc_usable_size(block);
        if (pageSized(size) && keep(block, size))
            return;
    }
    std::free(block);
}

int sizeOf(void *block)
{
    if (!block)
        return 0;
    return int(isSlabBlock(block) ? slabBlockSize(block) : malloc_usable_size(block));
}

void *reallocate(void *block, int bytes)
{
    if (!block || !isSlabBlock(block))
        return std::realloc(block, size_t(bytes));
    void *moved = allocate(bytes);
    if (moved) {
        std::memcpy(moved, block, std::min(size_t(bytes), slabBlockSize(block)));
        release(block);
    }
    return moved;
}

int roundUp(int bytes)
{
    return (bytes + 7) & ~7;
}

int initialise(void *)
{
    return SQLITE_OK;
}

void shutDown(void *) {}

#endif

} // namespace

bool installSqlitePageMemory()
{
#if defined(__GLIBC__)
    static sqlite3_mem_methods methods{allocate, release, reallocate, sizeOf, roundUp, initialise, shutDown, nullptr};
    return sqlite3_config(SQLITE_CONFIG_MALLOC, &methods) == SQLITE_OK;
#else
    return false;
#endif
}

void keepSqlitePagesOnThisThread(bool keep)
{
#if defined(__GLIBC__)
    keepOnThisThread = keep;
#else
    (void)keep;
#endif
}

void releaseKeptSqlitePages()
{
#if defined(__GLIBC__)
    std::vector<void *> heapBlocks;
    std::vector<Slab> emptied;
    {
        KeptBlocks &blocks = kept();
        const std::lock_guard lock(blocks.mutex);
        std::map<size_t, std::vector<void *>> released;
        released.swap(blocks.bySize);
        blocks.bytes = 0;
        // A slab none of whose blocks SQLite holds goes whole, its kept
        // blocks with it; one it still holds a block of keeps the rest.
        const auto end = std::partition(blocks.slabs.begin(), blocks.slabs.end(),
                                        [](const Slab &slab) { return slab.live > 0; });
        std::move(end, blocks.slabs.end(), std::back_inserter(emptied));
        blocks.slabs.erase(end, blocks.slabs.end());
        for (const auto &[size, list] : released) {
            for (void *block : list) {
                if (blocks.slabOf(block))
                    blocks.keepLocked(block, size);
                else if (std::none_of(emptied.cbegin(), emptied.cend(),
                                      [block](const Slab &slab) { return slab.arena->holds(block); }))
                    heapBlocks.push_back(block);
            }
        }
        blocks.spanSlabs();
    }
    for (void *block : heapBlocks)
        std::free(block);
#endif
}

qint64 keptSqlitePageBytes()
{
#if defined(__GLIBC__)
    KeptBlocks &blocks = kept();
    const std::lock_guard lock(blocks.mutex);
    return blocks.bytes;
#else
    return 0;
#endif
}

qint64 sqlitePageSlabBytes()
{
#if defined(__GLIBC__)
    KeptBlocks &blocks = kept();
    const std::lock_guard lock(blocks.mutex);
    qint64 bytes = 0;
    for (const Slab &slab : blocks.slabs)
        bytes += qint64(slab.arena->end() - slab.arena->begin());
    return bytes;
#else
    return 0;
#endif
}

} // namespace tessaline

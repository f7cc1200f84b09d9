#include "platform/SqlitePageMemory.h"

#include <sqlite3.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <cstdlib>
#include <map>
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

thread_local bool keepOnThisThread = false;

struct KeptBlocks
{
    std::mutex mutex;
    // By the block's usable size: a cache asks for one size over and over.
    std::map<size_t, std::vector<void *>> bySize;
    qint64 bytes = 0;
};

KeptBlocks &kept()
{
    static KeptBlocks blocks;
    return blocks;
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
    return block;
}

bool keep(void *block, size_t size)
{
    KeptBlocks &blocks = kept();
    const std::lock_guard lock(blocks.mutex);
    if (blocks.bytes + qint64(size) > keptCeiling)
        return false;
    blocks.bySize[size].push_back(block);
    blocks.bytes += qint64(size);
    return true;
}

void *allocate(int bytes)
{
    if (bytes <= 0)
        return nullptr;
    if (keepOnThisThread && size_t(bytes) >= smallestPageBlock && size_t(bytes) <= largestPageBlock) {
        if (void *block = takeKept(size_t(bytes)))
            return block;
    }
    return std::malloc(size_t(bytes));
}

void release(void *block)
{
    if (!block)
        return;
    if (keepOnThisThread) {
        const size_t size = malloc_usable_size(block);
        if (size >= smallestPageBlock && size <= largestPageBlock && keep(block, size))
            return;
    }
    std::free(block);
}

void *reallocate(void *block, int bytes)
{
    return std::realloc(block, size_t(bytes));
}

int sizeOf(void *block)
{
    return block ? int(malloc_usable_size(block)) : 0;
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
    std::map<size_t, std::vector<void *>> released;
    {
        KeptBlocks &blocks = kept();
        const std::lock_guard lock(blocks.mutex);
        released.swap(blocks.bySize);
        blocks.bytes = 0;
    }
    for (const auto &[size, list] : released) {
        for (void *block : list)
            std::free(block);
    }
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

} // namespace tessaline

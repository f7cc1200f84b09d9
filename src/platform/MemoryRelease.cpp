#include "platform/MemoryRelease.h"

#include <malloc.h>

#ifdef __linux__
#include <sys/mman.h>
#endif

#include <cstdint>

namespace tessaline {

void releaseFreedMemory()
{
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

void returnLargeBlocksToSystem()
{
#if defined(__GLIBC__)
    mallopt(M_MMAP_THRESHOLD, 1024 * 1024);
#endif
}

void adviseHugePages(void *data, size_t bytes)
{
#ifdef __linux__
    constexpr uintptr_t hugePage = uintptr_t(2) << 20;
    const uintptr_t start = (reinterpret_cast<uintptr_t>(data) + hugePage - 1) & ~(hugePage - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + bytes) & ~(hugePage - 1);
    if (end > start)
        madvise(reinterpret_cast<void *>(start), end - start, MADV_HUGEPAGE);
#else
    (void)data;
    (void)bytes;
#endif
}

} // namespace tessaline

#include "platform/MemoryRelease.h"

#include <malloc.h>

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

} // namespace tessaline

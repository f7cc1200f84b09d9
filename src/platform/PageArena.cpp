#include "platform/PageArena.h"

#include "platform/MemoryRelease.h"

#include <sys/mman.h>

#include <cstdint>

namespace tessaline {

PageArena::PageArena(size_t capacity)
{
    if (capacity == 0)
        return;
    // A whole number of huge pages, which the kernel places on a huge
    // page's boundary: every part of the block can then be a huge page,
    // not only those wholly inside wherever a smaller block landed.
    constexpr size_t hugePage = size_t(2) << 20;
    if (capacity >= hugePage && capacity <= SIZE_MAX - hugePage)
        capacity = (capacity + hugePage - 1) & ~(hugePage - 1);
    void *block = mmap(nullptr, capacity, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (block == MAP_FAILED)
        return;
    m_base = static_cast<uint8_t *>(block);
    m_capacity = capacity;
    adviseHugePages(m_base, m_capacity);
}

PageArena::~PageArena()
{
    if (m_base)
        munmap(m_base, m_capacity);
}

uint8_t *PageArena::take(size_t bytes)
{
    constexpr size_t alignment = 64;
    const size_t rounded = (bytes + alignment - 1) & ~(alignment - 1);
    if (!m_base || rounded < bytes || rounded > m_capacity)
        return nullptr;
    size_t used = m_used.load(std::memory_order_relaxed);
    do {
        if (rounded > m_capacity - used)
            return nullptr;
    } while (!m_used.compare_exchange_weak(used, used + rounded, std::memory_order_relaxed));
    return m_base + used;
}

} // namespace tessaline

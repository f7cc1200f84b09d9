#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace tessaline {

// Memory for one picture's encoding, reserved from the system as one block
// that the kernel backs with huge pages where they pay (hugePagesPay), and
// handed out in pieces, from any
// thread. It all goes back at once when the arena goes. A 5K capture's
// compressed strips are some 17 MB in a few hundred pieces: taken one by
// one from the heap, each is fresh pages and a fault per 4 KiB (4,000 and
// more a capture, each a trap to the host on a virtual machine); from here
// they cost a fault per 2 MiB.
class PageArena
{
public:
    // Reserves `capacity` bytes; only what is written is ever taken from
    // the system. A capacity of 0, or a reservation refused, hands out
    // nothing.
    explicit PageArena(size_t capacity);
    ~PageArena();
    PageArena(const PageArena &) = delete;
    PageArena &operator=(const PageArena &) = delete;

    // `bytes` of the block, 64-byte aligned; null once the block is used up,
    // for the caller to take the memory elsewhere.
    uint8_t *take(size_t bytes);
    // Where the block lies; both 0 for an arena that hands out nothing.
    uintptr_t begin() const { return reinterpret_cast<uintptr_t>(m_base); }
    uintptr_t end() const { return begin() + m_capacity; }
    // Whether `data` lies in the block.
    bool holds(const void *data) const
    {
        const auto *at = static_cast<const uint8_t *>(data);
        return m_base && at >= m_base && at < m_base + m_capacity;
    }

private:
    uint8_t *m_base = nullptr;
    size_t m_capacity = 0;
    std::atomic<size_t> m_used{0};
};

} // namespace tessaline

#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace tessaline {

class PageArena;

// Our DEFLATE compressor, made for filtered screen content: greedy LZ77 with
// one candidate per hash slot and no chains, the same place one row up
// tried beside it, and one dynamic Huffman block per piece. Screens are
// long runs and repeated rows, which a single probe finds. On the benchmark
// corpus (bench_pngencoding) it makes PNGs a little smaller than
// libdeflate's level 1 in a quarter to a third of its time.
// One per thread; it keeps its tables from piece to piece.
class ScreenDeflater
{
public:
    ScreenDeflater();
    ~ScreenDeflater();
    ScreenDeflater(const ScreenDeflater &) = delete;
    ScreenDeflater &operator=(const ScreenDeflater &) = delete;

    struct Piece
    {
        // In the deflater's arena, else in `owned`.
        uint8_t *bytes = nullptr;
        size_t size = 0;
        std::unique_ptr<uint8_t[]> owned;
    };

    // Pieces, and the working memory of the largest piece so far, are made
    // in `arena` while it has room, and stay there until it goes; null (as
    // at first) takes them from the heap.
    void makePiecesIn(PageArena *arena) { m_arena = arena; }

    // Compresses `data` (followed by 8 readable bytes) as one block, or as
    // stored blocks when compressing does not pay. `stride` (at least 1) is
    // the distance to the same place one row up. Unless `last`, the block is
    // not final and is followed by an empty stored block, so the next piece
    // starts on a byte boundary and can follow in the same stream. False
    // when memory runs out.
    bool compress(const uint8_t *data, size_t size, size_t stride, bool last, Piece &piece);

private:
    struct Workspace;
    std::unique_ptr<Workspace> m_workspace;
    PageArena *m_arena = nullptr;
};

} // namespace tessaline

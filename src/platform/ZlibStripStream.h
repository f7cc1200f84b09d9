#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

struct libdeflate_compressor;

namespace tessaline {

class ScreenDeflater;

// One zlib stream made of strips compressed independently, on as many
// threads as there are strips or processors: each strip's DEFLATE piece
// ends on a byte boundary without being final (see ScreenDeflater.h and
// DeflateStreamShape.h) and the strips' Adler-32 sums are combined, so the
// result is one ordinary stream, the same whatever the thread count.
// Splitting costs a little size, since no match reaches into the strip
// before; strips of half a megabyte lose well under a percent.
class ZlibStripStream
{
public:
    using StripBytes = std::vector<uint8_t>;

    struct Options
    {
        // 0 is our own compressor (ScreenDeflater); 1 (fastest) to 12
        // (smallest) are libdeflate's levels.
        int level = 0;
        // Threads, the caller's own included; 0 means one fewer than the
        // processors (at least one).
        int maxThreads = 0;
        // For our compressor: the length of a row of the strips' pictures,
        // whose same place one row up it tries as a match.
        size_t rowStride = 1;
        // Told, on the worker thread, of each strip's piece as soon as it is
        // made, so a writer can place it while later strips are still being
        // compressed. The piece stays readable until the stream is gone or
        // lets go of it; its place in the stream depends only on the header
        // and the pieces before it, the checksum coming only at the end.
        std::function<void(size_t index, std::span<const uint8_t> piece)> stripMade;
    };
    // The threads that compress, the caller's own included, for
    // Options::maxThreads (before the strips' count limits them).
    static int threadsFor(int maxThreads);
    // The stream's first piece, the same for every stream made at `level`.
    static std::array<uint8_t, 2> header(int level);
    // Writes strip `index`'s bytes into `bytes` (resizing it); false when it
    // cannot (memory ran out). Runs on any of the worker threads, each strip
    // once; `bytes` is the worker's own buffer, reused from strip to strip.
    using StripFiller = std::function<bool(size_t index, StripBytes &bytes)>;

    // Nothing when a strip could not be made or memory ran out.
    static std::optional<ZlibStripStream> compress(size_t stripCount, const StripFiller &fill, const Options &options);

    // The whole stream's size in bytes: header, strips, checksum.
    size_t size() const;
    // The stream is its pieces in order: the header, one per strip, the
    // checksum. Each can be read on any thread, so a writer can place them
    // all at once once it knows their sizes.
    size_t pieceCount() const { return m_strips.size() + 2; }
    std::span<const uint8_t> piece(size_t index) const;
    // Lets go of a strip's piece once it has been copied out; its size
    // stays known.
    void releasePiece(size_t index);

private:
    struct Strip
    {
        std::unique_ptr<uint8_t[]> compressed;
        size_t compressedSize = 0;
        size_t uncompressedSize = 0;
        uint32_t adler = 1;
    };
    static bool compressOurs(ScreenDeflater &deflater, StripBytes &bytes, size_t stride, bool last, Strip &strip);
    static bool compressLibdeflate(libdeflate_compressor &compressor, const StripBytes &bytes, bool last,
                                   Strip &strip);

    std::vector<Strip> m_strips;
    uint8_t m_header[2] = {};
    uint8_t m_trailer[4] = {};
};

} // namespace tessaline

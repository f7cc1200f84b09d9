#include "platform/ZlibStripStream.h"

#include "platform/DeflateStreamShape.h"
#include "platform/ParallelParts.h"
#include "platform/ScreenDeflater.h"

#include <libdeflate.h>

#include <QtEndian>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>
#include <thread>

namespace tessaline {

namespace {

struct CompressorDeleter
{
    void operator()(libdeflate_compressor *c) const { libdeflate_free_compressor(c); }
};

// Adler-32 of two pieces joined, from the checksums of each and the second's
// length (as zlib's adler32_combine), so strips can be summed in parallel.
uint32_t combineAdler32(uint32_t first, uint32_t second, size_t secondLength)
{
    constexpr uint32_t base = 65521;
    const uint64_t remainder = secondLength % base;
    uint64_t sum1 = first & 0xFFFF;
    uint64_t sum2 = (remainder * sum1) % base;
    sum1 += (second & 0xFFFF) + base - 1;
    sum2 += (first >> 16) + (second >> 16) + base - remainder;
    if (sum1 >= base)
        sum1 -= base;
    if (sum1 >= base)
        sum1 -= base;
    if (sum2 >= uint64_t(base) << 1)
        sum2 -= uint64_t(base) << 1;
    if (sum2 >= base)
        sum2 -= base;
    return uint32_t((sum2 << 16) | sum1);
}

// The match finder reads whole words up to this many bytes past the end.
constexpr size_t matchReadPast = 8;

} // namespace

bool ZlibStripStream::compressOurs(ScreenDeflater &deflater, StripBytes &bytes, size_t stride, bool last, Strip &strip)
{
    const size_t size = bytes.size();
    bytes.resize(size + matchReadPast, 0);
    ScreenDeflater::Piece piece;
    const bool made = deflater.compress(bytes.data(), size, stride, last, piece);
    bytes.resize(size);
    strip.compressed = std::move(piece.bytes);
    strip.compressedSize = piece.size;
    return made;
}

bool ZlibStripStream::compressLibdeflate(libdeflate_compressor &compressor, const StripBytes &bytes, bool last,
                                         Strip &strip)
{
    const size_t bound = libdeflate_deflate_compress_bound(&compressor, bytes.size());
    // The slack lets the stream walker read whole words past the end, and
    // the joining trailer be written in place.
    strip.compressed.reset(new uint8_t[bound + 16]);
    strip.compressedSize =
        libdeflate_deflate_compress(&compressor, bytes.data(), bytes.size(), strip.compressed.get(), bound);
    if (strip.compressedSize == 0)
        return false;
    std::memset(strip.compressed.get() + strip.compressedSize, 0, 16);
    if (last)
        return true;
    const auto joinable = makeDeflateStreamJoinable(strip.compressed.get(), strip.compressedSize);
    if (!joinable)
        return false;
    strip.compressedSize = *joinable;
    return true;
}

std::optional<ZlibStripStream> ZlibStripStream::compress(size_t stripCount, const StripFiller &fill,
                                                         const Options &options)
{
    ZlibStripStream stream;
    const int level = std::clamp(options.level, 0, 12);
    const size_t stride = std::max<size_t>(options.rowStride, 1);
    stream.m_strips.resize(stripCount);
    const int threads = std::max(1, std::min<int>(threadsFor(options.maxThreads), int(stripCount)));

    std::atomic<size_t> next{0};
    std::atomic<bool> failed{false};
    // What one worker keeps from strip to strip, so no strip pays for fresh
    // pages or a compressor of its own.
    auto work = [&](int) {
        StripBytes bytes;
        std::unique_ptr<ScreenDeflater> ours;
        std::unique_ptr<libdeflate_compressor, CompressorDeleter> compressor;
        try {
            if (level == 0)
                ours = std::make_unique<ScreenDeflater>();
        } catch (const std::bad_alloc &) {
            failed = true;
            return;
        }
        if (level > 0)
            compressor.reset(libdeflate_alloc_compressor(level));
        if (!ours && !compressor) {
            failed = true;
            return;
        }
        for (size_t i = next++; i < stripCount && !failed; i = next++) {
            Strip &strip = stream.m_strips[i];
            const bool last = i + 1 == stripCount;
            bool made = false;
            try {
                made = fill(i, bytes);
                if (made) {
                    strip.uncompressedSize = bytes.size();
                    strip.adler = libdeflate_adler32(1, bytes.data(), bytes.size());
                    made = ours ? compressOurs(*ours, bytes, stride, last, strip)
                                : compressLibdeflate(*compressor, bytes, last, strip);
                }
            } catch (const std::bad_alloc &) {
                made = false;
            }
            if (!made) {
                failed = true;
                return;
            }
            if (options.stripMade)
                options.stripMade(i, {strip.compressed.get(), strip.compressedSize});
        }
    };
    runParallelParts(threads, work);
    if (failed || stripCount == 0)
        return std::nullopt;

    const auto made = header(level);
    std::copy(made.begin(), made.end(), stream.m_header);
    uint32_t adler = 1;
    for (const Strip &strip : stream.m_strips)
        adler = combineAdler32(adler, strip.adler, strip.uncompressedSize);
    qToBigEndian(adler, stream.m_trailer);
    return stream;
}

int ZlibStripStream::threadsFor(int maxThreads)
{
    // One processor is left to the rest of the app and the display server:
    // with every one compressing, the main thread and the X server's copy
    // of the next picture wait their turn, and a capture comes out later.
    return maxThreads > 0 ? maxThreads : std::max(1, int(std::thread::hardware_concurrency()) - 1);
}

std::array<uint8_t, 2> ZlibStripStream::header(int level)
{
    // Deflate, 32 KiB window, the level as a hint, check bits.
    level = std::clamp(level, 0, 12);
    const uint8_t levelHint = level < 2 ? 0 : level < 6 ? 1 : level == 6 ? 2 : 3;
    uint16_t header = uint16_t((0x78 << 8) | (levelHint << 6));
    header = uint16_t(header + (31 - header % 31));
    return {uint8_t(header >> 8), uint8_t(header & 0xFF)};
}

size_t ZlibStripStream::size() const
{
    size_t total = sizeof m_header + sizeof m_trailer;
    for (const Strip &strip : m_strips)
        total += strip.compressedSize;
    return total;
}

std::span<const uint8_t> ZlibStripStream::piece(size_t index) const
{
    if (index == 0)
        return m_header;
    if (index > m_strips.size())
        return m_trailer;
    const Strip &strip = m_strips[index - 1];
    return {strip.compressed.get(), strip.compressed ? strip.compressedSize : 0};
}

void ZlibStripStream::releasePiece(size_t index)
{
    if (index > 0 && index <= m_strips.size())
        m_strips[index - 1].compressed.reset();
}

} // namespace tessaline

#include "platform/PngEncoder.h"

#include <libdeflate.h>

#include <QtEndian>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

namespace tessaline {

namespace {

// ---------------------------------------------------------------------------
// Pixels to PNG rows

struct PixelSource
{
    QImage image;
    int channels = 3;
    bool fromUint32 = false; // RGB32/ARGB32 words instead of RGB888/RGBA8888 bytes

    static std::optional<PixelSource> make(const QImage &input)
    {
        PixelSource source;
        switch (input.format()) {
        case QImage::Format_RGB32:
            source.image = input;
            source.channels = 3;
            source.fromUint32 = true;
            return source;
        case QImage::Format_ARGB32:
            source.image = input;
            source.channels = 4;
            source.fromUint32 = true;
            return source;
        case QImage::Format_RGB888:
            source.image = input;
            source.channels = 3;
            return source;
        case QImage::Format_RGBA8888:
            source.image = input;
            source.channels = 4;
            return source;
        default:
            break;
        }
        // Everything else (premultiplied, indexed, grey, 16-bit…) goes through
        // Qt's own conversion to straight 8-bit words once.
        const bool alpha = input.hasAlphaChannel();
        source.image = input.convertToFormat(alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
        if (source.image.isNull())
            return std::nullopt;
        source.channels = alpha ? 4 : 3;
        source.fromUint32 = true;
        return source;
    }

    void readRow(int y, uint8_t *out) const
    {
        const int width = image.width();
        if (!fromUint32) {
            std::memcpy(out, image.constScanLine(y), size_t(width) * size_t(channels));
            return;
        }
        const auto *pixels = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        if (channels == 3) {
            for (int x = 0; x < width; ++x) {
                const QRgb p = pixels[x];
                out[0] = uint8_t(p >> 16);
                out[1] = uint8_t(p >> 8);
                out[2] = uint8_t(p);
                out += 3;
            }
        } else {
            for (int x = 0; x < width; ++x) {
                const QRgb p = pixels[x];
                out[0] = uint8_t(p >> 16);
                out[1] = uint8_t(p >> 8);
                out[2] = uint8_t(p);
                out[3] = uint8_t(p >> 24);
                out += 4;
            }
        }
    }
};

inline uint8_t paethPredictor(int a, int b, int c)
{
    const int p = a + b - c;
    const int pa = std::abs(p - a);
    const int pb = std::abs(p - b);
    const int pc = std::abs(p - c);
    if (pa <= pb && pa <= pc)
        return uint8_t(a);
    if (pb <= pc)
        return uint8_t(b);
    return uint8_t(c);
}

// Writes the filter type byte and the filtered row; returns the sum of the
// filtered bytes read as signed values, for the adaptive choice.
uint64_t filterRow(PngRowFilter filter, const uint8_t *row, const uint8_t *previous, size_t length, int bpp,
                   uint8_t *out)
{
    uint64_t cost = 0;
    auto account = [&cost](uint8_t v) { cost += v < 128 ? v : 256 - v; };
    switch (filter) {
    case PngRowFilter::None:
        out[0] = 0;
        std::memcpy(out + 1, row, length);
        for (size_t i = 0; i < length; ++i)
            account(row[i]);
        break;
    case PngRowFilter::Sub:
        out[0] = 1;
        for (size_t i = 0; i < length; ++i) {
            const uint8_t v = uint8_t(row[i] - (i >= size_t(bpp) ? row[i - bpp] : 0));
            out[1 + i] = v;
            account(v);
        }
        break;
    case PngRowFilter::Up:
        out[0] = 2;
        for (size_t i = 0; i < length; ++i) {
            const uint8_t v = uint8_t(row[i] - previous[i]);
            out[1 + i] = v;
            account(v);
        }
        break;
    case PngRowFilter::Paeth:
        out[0] = 4;
        for (size_t i = 0; i < length; ++i) {
            const int a = i >= size_t(bpp) ? row[i - bpp] : 0;
            const int c = i >= size_t(bpp) ? previous[i - bpp] : 0;
            const uint8_t v = uint8_t(row[i] - paethPredictor(a, previous[i], c));
            out[1 + i] = v;
            account(v);
        }
        break;
    case PngRowFilter::Adaptive:
        break;
    }
    return cost;
}

// ---------------------------------------------------------------------------
// Joining independently compressed strips into one DEFLATE stream
//
// libdeflate only writes complete streams, whose last block is marked final.
// To chain strips, every strip but the last gets that mark cleared and is
// closed with an empty stored block, which pads it to a byte boundary. To
// find the last block and the exact bit where the stream ends, the blocks are
// walked: headers and Huffman codes are read, symbols are skipped, nothing is
// decompressed.

class BitReader
{
public:
    // `data` must be followed by at least 16 readable bytes.
    BitReader(const uint8_t *data, size_t size) : m_data(data), m_size(size) { refill(); }

    // Up to 32 bits; at least 48 are buffered after `ensure48`.
    uint32_t peek(int count)
    {
        if (m_count < count)
            refill();
        return uint32_t(m_buffer & ((uint64_t(1) << count) - 1));
    }
    void skip(int count)
    {
        m_position += uint64_t(count);
        if (count < m_count) {
            m_buffer >>= count;
            m_count -= count;
        } else {
            refill();
        }
    }
    uint32_t take(int count)
    {
        const uint32_t value = peek(count);
        skip(count);
        return value;
    }
    // One match (literal/length code, its extra bits, distance code and its
    // extra bits) takes at most 48 bits, so a symbol loop refills once per
    // symbol at most.
    void ensure48()
    {
        if (m_count < 48)
            refill();
    }
    void alignToByte()
    {
        const uint64_t aligned = (m_position + 7) & ~uint64_t(7);
        m_position = aligned;
        refill();
    }
    uint64_t position() const { return m_position; }
    bool overrun() const { return m_position > uint64_t(m_size) * 8; }

private:
    void refill()
    {
        // Past the end (a damaged stream) reads as zeros; `overrun` tells.
        uint64_t word = 0;
        if ((m_position >> 3) <= m_size + 8)
            std::memcpy(&word, m_data + (m_position >> 3), 8);
        m_buffer = word >> (m_position & 7);
        m_count = 64 - int(m_position & 7);
    }

    const uint8_t *m_data;
    size_t m_size;
    uint64_t m_position = 0;
    uint64_t m_buffer = 0;
    int m_count = 0;
};

class HuffmanTable
{
public:
    bool build(const uint8_t *lengths, int count)
    {
        int perLength[16] = {};
        m_maxLength = 0;
        for (int i = 0; i < count; ++i) {
            ++perLength[lengths[i]];
            m_maxLength = std::max(m_maxLength, int(lengths[i]));
        }
        if (m_maxLength == 0) {
            m_table.assign(2, 0);
            m_maxLength = 1;
            return true;
        }
        perLength[0] = 0;
        int nextCode[16] = {};
        int code = 0;
        for (int bits = 1; bits <= 15; ++bits) {
            code = (code + perLength[bits - 1]) << 1;
            nextCode[bits] = code;
        }
        m_table.assign(size_t(1) << m_maxLength, 0);
        for (int symbol = 0; symbol < count; ++symbol) {
            const int length = lengths[symbol];
            if (length == 0)
                continue;
            const int canonical = nextCode[length]++;
            if (canonical >= (1 << length))
                return false; // over-subscribed
            int reversed = 0;
            for (int b = 0; b < length; ++b)
                reversed |= ((canonical >> b) & 1) << (length - 1 - b);
            for (size_t slot = size_t(reversed); slot < m_table.size(); slot += size_t(1) << length)
                m_table[slot] = uint16_t((symbol << 4) | length);
        }
        return true;
    }

    int decode(BitReader &reader) const
    {
        const uint16_t entry = m_table[reader.peek(m_maxLength)];
        if ((entry & 15) == 0)
            return -1;
        reader.skip(entry & 15);
        return entry >> 4;
    }

private:
    std::vector<uint16_t> m_table;
    int m_maxLength = 0;
};

struct StreamShape
{
    uint64_t finalBlockStart = 0;
    uint64_t endBit = 0;
};

bool skipSymbols(BitReader &reader, const HuffmanTable &literals, const HuffmanTable &distances)
{
    static constexpr uint8_t lengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
    for (;;) {
        if (reader.overrun())
            return false;
        reader.ensure48();
        const int symbol = literals.decode(reader);
        if (symbol < 0)
            return false;
        if (symbol < 256)
            continue;
        if (symbol == 256)
            return true;
        if (symbol > 285)
            return false;
        reader.skip(lengthExtra[symbol - 257]);
        const int distance = distances.decode(reader);
        if (distance < 0 || distance > 29)
            return false;
        reader.skip(distance < 4 ? 0 : distance / 2 - 1);
    }
}

std::optional<StreamShape> walkDeflateStream(const uint8_t *data, size_t size)
{
    BitReader reader(data, size);
    for (;;) {
        const uint64_t blockStart = reader.position();
        const bool isFinal = reader.take(1) != 0;
        const uint32_t type = reader.take(2);
        if (type == 0) {
            reader.alignToByte();
            const uint32_t length = reader.take(16);
            const uint32_t complement = reader.take(16);
            if ((length ^ 0xFFFF) != complement)
                return std::nullopt;
            reader.skip(int(length) * 8);
        } else if (type == 1) {
            uint8_t lengths[288 + 32];
            std::fill(lengths, lengths + 144, 8);
            std::fill(lengths + 144, lengths + 256, 9);
            std::fill(lengths + 256, lengths + 280, 7);
            std::fill(lengths + 280, lengths + 288, 8);
            std::fill(lengths + 288, lengths + 320, 5);
            HuffmanTable literals, distances;
            if (!literals.build(lengths, 288) || !distances.build(lengths + 288, 32))
                return std::nullopt;
            if (!skipSymbols(reader, literals, distances))
                return std::nullopt;
        } else if (type == 2) {
            const int literalCount = int(reader.take(5)) + 257;
            const int distanceCount = int(reader.take(5)) + 1;
            const int codeLengthCount = int(reader.take(4)) + 4;
            static constexpr uint8_t order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5,
                                                  11, 4, 12, 3, 13, 2, 14, 1, 15};
            uint8_t codeLengthLengths[19] = {};
            for (int i = 0; i < codeLengthCount; ++i)
                codeLengthLengths[order[i]] = uint8_t(reader.take(3));
            HuffmanTable codeLengths;
            if (!codeLengths.build(codeLengthLengths, 19))
                return std::nullopt;
            uint8_t lengths[286 + 30] = {};
            int filled = 0;
            const int total = literalCount + distanceCount;
            while (filled < total) {
                if (reader.overrun())
                    return std::nullopt;
                const int symbol = codeLengths.decode(reader);
                if (symbol < 0)
                    return std::nullopt;
                if (symbol < 16) {
                    lengths[filled++] = uint8_t(symbol);
                    continue;
                }
                int repeat = 0;
                uint8_t value = 0;
                if (symbol == 16) {
                    if (filled == 0)
                        return std::nullopt;
                    value = lengths[filled - 1];
                    repeat = 3 + int(reader.take(2));
                } else if (symbol == 17) {
                    repeat = 3 + int(reader.take(3));
                } else {
                    repeat = 11 + int(reader.take(7));
                }
                if (filled + repeat > total)
                    return std::nullopt;
                std::fill(lengths + filled, lengths + filled + repeat, value);
                filled += repeat;
            }
            HuffmanTable literals, distances;
            if (!literals.build(lengths, literalCount) || !distances.build(lengths + literalCount, distanceCount))
                return std::nullopt;
            if (!skipSymbols(reader, literals, distances))
                return std::nullopt;
        } else {
            return std::nullopt;
        }
        if (reader.overrun())
            return std::nullopt;
        if (isFinal)
            return StreamShape{blockStart, reader.position()};
    }
}

// ---------------------------------------------------------------------------

struct Strip
{
    int firstRow = 0;
    int rowCount = 0;
    std::unique_ptr<uint8_t[]> filtered;
    size_t filteredSize = 0;
    std::unique_ptr<uint8_t[]> compressed; // followed by 16 zero bytes of slack
    size_t compressedCapacity = 0;
    size_t compressedSize = 0;
    uint32_t adler = 1;
    bool ok = false;
};

struct CompressorDeleter
{
    void operator()(libdeflate_compressor *c) const { libdeflate_free_compressor(c); }
};

// One row read and filtered in a single pass, for a filter chosen up front:
// no cost is worked out, and the loops are plain enough to vectorise.
void readAndFilterRow(const PixelSource &source, int y, PngRowFilter filter, const uint8_t *previous,
                      uint8_t *current, uint8_t *out)
{
    const int width = source.image.width();
    const int bpp = source.channels;
    const size_t length = size_t(width) * size_t(bpp);
    uint8_t *filtered = out + 1;
    if (filter == PngRowFilter::Up && source.fromUint32 && bpp == 3) {
        // The common case, a capture: subtract the previous row's words as
        // they are, without converting either row to bytes first.
        out[0] = 2;
        const auto *pixels = reinterpret_cast<const QRgb *>(source.image.constScanLine(y));
        const auto *above = y > 0 ? reinterpret_cast<const QRgb *>(source.image.constScanLine(y - 1)) : nullptr;
        for (int x = 0; x < width; ++x) {
            const QRgb p = pixels[x];
            const QRgb q = above ? above[x] : 0;
            filtered[0] = uint8_t((p >> 16) - (q >> 16));
            filtered[1] = uint8_t((p >> 8) - (q >> 8));
            filtered[2] = uint8_t(p - q);
            filtered += 3;
        }
        return;
    }
    source.readRow(y, current);
    switch (filter) {
    case PngRowFilter::None:
        out[0] = 0;
        std::memcpy(filtered, current, length);
        return;
    case PngRowFilter::Sub:
        out[0] = 1;
        std::memcpy(filtered, current, size_t(bpp));
        for (size_t i = size_t(bpp); i < length; ++i)
            filtered[i] = uint8_t(current[i] - current[i - size_t(bpp)]);
        return;
    case PngRowFilter::Up:
        out[0] = 2;
        for (size_t i = 0; i < length; ++i)
            filtered[i] = uint8_t(current[i] - previous[i]);
        return;
    case PngRowFilter::Paeth:
    case PngRowFilter::Adaptive:
        break;
    }
    filterRow(filter, current, previous, length, bpp, out);
}

// A buffer whose bytes are written before they are read, so nothing is
// spent clearing it first.
using Bytes = std::unique_ptr<uint8_t[]>;

Bytes uninitializedBytes(size_t size)
{
    return Bytes(new uint8_t[size]);
}

void encodeStrip(const PixelSource &source, PngRowFilter filter, libdeflate_compressor *compressor, Strip &strip)
{
    const int width = source.image.width();
    const int bpp = source.channels;
    const size_t rowLength = size_t(width) * size_t(bpp);
    std::vector<uint8_t> previous(rowLength, 0);
    std::vector<uint8_t> current(rowLength);
    std::vector<uint8_t> candidate(rowLength + 1);
    std::vector<uint8_t> best(rowLength + 1);
    if (strip.firstRow > 0)
        source.readRow(strip.firstRow - 1, previous.data());

    strip.filteredSize = size_t(strip.rowCount) * (rowLength + 1);
    strip.filtered = uninitializedBytes(strip.filteredSize);
    uint8_t *out = strip.filtered.get();
    for (int r = 0; r < strip.rowCount; ++r) {
        if (filter != PngRowFilter::Adaptive) {
            readAndFilterRow(source, strip.firstRow + r, filter, previous.data(), current.data(), out);
        } else {
            source.readRow(strip.firstRow + r, current.data());
            uint64_t bestCost = UINT64_MAX;
            for (PngRowFilter f : {PngRowFilter::None, PngRowFilter::Sub, PngRowFilter::Up, PngRowFilter::Paeth}) {
                const uint64_t cost = filterRow(f, current.data(), previous.data(), rowLength, bpp, candidate.data());
                if (cost < bestCost) {
                    bestCost = cost;
                    best.swap(candidate);
                }
            }
            std::memcpy(out, best.data(), rowLength + 1);
        }
        out += rowLength + 1;
        previous.swap(current);
    }

    const size_t bound = libdeflate_deflate_compress_bound(compressor, strip.filteredSize);
    // The slack lets the stream walker read whole words past the end, and
    // the joining trailer be written in place.
    strip.compressedCapacity = bound + 16;
    strip.compressed = uninitializedBytes(strip.compressedCapacity);
    strip.compressedSize = libdeflate_deflate_compress(compressor, strip.filtered.get(), strip.filteredSize,
                                                       strip.compressed.get(), bound);
    strip.ok = strip.compressedSize > 0;
    if (strip.ok)
        std::memset(strip.compressed.get() + strip.compressedSize, 0, 16);
    strip.adler = libdeflate_adler32(1, strip.filtered.get(), strip.filteredSize);
    // Only the compressed bytes are needed from here on.
    strip.filtered.reset();
}

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

void appendBigEndian(QByteArray &out, quint32 value)
{
    char bytes[4];
    qToBigEndian(value, bytes);
    out.append(bytes, 4);
}

void appendChunk(QByteArray &out, const char type[4], const char *data, qsizetype size)
{
    appendBigEndian(out, quint32(size));
    const qsizetype start = out.size();
    out.append(type, 4);
    out.append(data, size);
    const quint32 crc = libdeflate_crc32(0, out.constData() + start, size_t(size) + 4);
    appendBigEndian(out, crc);
}

} // namespace

std::optional<QByteArray> encodePng(const QImage &image, const PngEncoderOptions &options)
{
    if (image.isNull() || image.width() <= 0 || image.height() <= 0)
        return std::nullopt;
    const std::optional<PixelSource> source = PixelSource::make(image);
    if (!source)
        return std::nullopt;

    const int width = image.width();
    const int height = image.height();
    const size_t filteredRow = size_t(width) * size_t(source->channels) + 1;
    const int rowsPerStrip = int(std::clamp<qsizetype>(options.stripBytes / qsizetype(filteredRow), 1, height));
    const int level = std::clamp(options.compressionLevel, 1, 12);

    std::vector<Strip> strips;
    for (int row = 0; row < height; row += rowsPerStrip) {
        Strip strip;
        strip.firstRow = row;
        strip.rowCount = std::min(rowsPerStrip, height - row);
        strips.push_back(std::move(strip));
    }

    // By default one processor is left to the user interface, so encoding a
    // capture never starves the main thread's event loop.
    int threads = options.maxThreads > 0 ? options.maxThreads
                                         : std::max(1, int(std::thread::hardware_concurrency()) - 1);
    threads = std::min<int>(threads, int(strips.size()));
    std::atomic<size_t> next{0};
    std::atomic<bool> failed{false};
    auto work = [&]() {
        std::unique_ptr<libdeflate_compressor, CompressorDeleter> compressor(libdeflate_alloc_compressor(level));
        if (!compressor) {
            failed = true;
            return;
        }
        for (size_t i = next++; i < strips.size() && !failed; i = next++) {
            try {
                encodeStrip(*source, options.filter, compressor.get(), strips[i]);
                if (strips[i].ok && i + 1 < strips.size()) {
                    const auto shape = walkDeflateStream(strips[i].compressed.get(), strips[i].compressedSize);
                    if (!shape) {
                        strips[i].ok = false;
                    } else {
                        // Clear the final mark, drop padding bits, then close
                        // with an empty stored block (three zero header bits,
                        // byte alignment, LEN 0, NLEN 0xFFFF).
                        uint8_t *bytes = strips[i].compressed.get();
                        bytes[shape->finalBlockStart >> 3] &= uint8_t(~(1u << (shape->finalBlockStart & 7)));
                        const uint64_t end = shape->endBit;
                        if (end & 7)
                            bytes[end >> 3] &= uint8_t((1u << (end & 7)) - 1);
                        size_t length = size_t((end + 3 + 7) / 8);
                        std::fill(bytes + ((end + 7) / 8), bytes + length, 0);
                        const uint8_t trailer[4] = {0x00, 0x00, 0xFF, 0xFF};
                        // The stream grows by at most five bytes, within the slack.
                        std::memcpy(bytes + length, trailer, 4);
                        strips[i].compressedSize = length + 4;
                    }
                }
            } catch (const std::bad_alloc &) {
                strips[i].ok = false;
            }
            if (!strips[i].ok)
                failed = true;
        }
    };
    if (threads <= 1) {
        work();
    } else {
        std::vector<std::thread> pool;
        pool.reserve(size_t(threads - 1));
        for (int t = 1; t < threads; ++t)
            pool.emplace_back(work);
        work();
        for (std::thread &thread : pool)
            thread.join();
    }
    if (failed)
        return std::nullopt;

    size_t compressedTotal = 0;
    for (const Strip &strip : strips)
        compressedTotal += strip.compressedSize;

    QByteArray idat;
    idat.reserve(qsizetype(compressedTotal + 6));
    // zlib header: deflate, 32 KiB window, level hint, check bits.
    const uint8_t levelHint = level < 2 ? 0 : level < 6 ? 1 : level == 6 ? 2 : 3;
    uint16_t header = uint16_t((0x78 << 8) | (levelHint << 6));
    header = uint16_t(header + (31 - header % 31));
    idat.append(char(header >> 8));
    idat.append(char(header & 0xFF));
    uint32_t adler = 1;
    for (Strip &strip : strips) {
        idat.append(reinterpret_cast<const char *>(strip.compressed.get()), qsizetype(strip.compressedSize));
        adler = combineAdler32(adler, strip.adler, strip.filteredSize);
        strip.compressed.reset();
    }
    appendBigEndian(idat, adler);

    QByteArray png;
    png.reserve(idat.size() + 64);
    static constexpr char signature[8] = {char(0x89), 'P', 'N', 'G', '\r', '\n', char(0x1A), '\n'};
    png.append(signature, 8);
    char ihdr[13];
    qToBigEndian(quint32(width), ihdr);
    qToBigEndian(quint32(height), ihdr + 4);
    ihdr[8] = 8;                               // bit depth
    ihdr[9] = source->channels == 4 ? 6 : 2;   // RGBA or RGB
    ihdr[10] = 0;                              // deflate
    ihdr[11] = 0;                              // adaptive filtering
    ihdr[12] = 0;                              // no interlace
    appendChunk(png, "IHDR", ihdr, 13);
    // Decoders read IDAT as one stream; moderate chunks keep every reader's
    // per-chunk buffers small.
    constexpr qsizetype chunkLimit = 1 << 20;
    for (qsizetype offset = 0; offset < idat.size(); offset += chunkLimit)
        appendChunk(png, "IDAT", idat.constData() + offset, std::min(chunkLimit, idat.size() - offset));
    appendChunk(png, "IEND", nullptr, 0);
    return png;
}

} // namespace tessaline

#include "platform/PngEncoder.h"

#include "platform/ParallelParts.h"

#include <libdeflate.h>

#include <QtEndian>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

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
    bool fromUint32 = false;    // RGB32/ARGB32 words instead of RGB888/RGBA8888 bytes
    bool premultiplied = false; // ARGB32 words with premultiplied colour

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
        case QImage::Format_ARGB32_Premultiplied:
            // Premultiplied words (a rendered picture) are made straight a
            // strip at a time in the workers, not in one pass up front.
            source.image = input;
            source.channels = 4;
            source.fromUint32 = true;
            source.premultiplied = input.format() == QImage::Format_ARGB32_Premultiplied;
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
        // Everything else (indexed, grey, 16-bit…) goes through Qt's own
        // conversion to straight 8-bit words once.
        const bool alpha = input.hasAlphaChannel();
        source.image = input.convertToFormat(alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
        if (source.image.isNull())
            return std::nullopt;
        source.channels = alpha ? 4 : 3;
        source.fromUint32 = true;
        return source;
    }

    const QRgb *words(int y) const { return reinterpret_cast<const QRgb *>(image.constScanLine(y)); }

    void readRow(int y, uint8_t *out) const
    {
        const int width = image.width();
        if (!fromUint32) {
            std::memcpy(out, image.constScanLine(y), size_t(width) * size_t(channels));
            return;
        }
        const QRgb *pixels = words(y);
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
// A fast DEFLATE writer for filtered screen content
//
// Greedy LZ77 with one candidate per hash slot and no chains, one dynamic
// Huffman block per piece. Screens are long runs and repeated rows, which a
// single probe finds; what it misses costs a few percent of size against
// much of the time a chained search would take.

namespace fastdeflate {

constexpr int windowSize = 32768;
constexpr int hashBits = 15;
constexpr int minMatch = 4;
constexpr int maxMatch = 258;

constexpr int literalCodes = 286;
constexpr int distanceCodes = 30;
constexpr int endOfBlock = 256;

// A literal is its byte; a match sets the top bit and packs length − 3 above
// distance − 1.
constexpr uint32_t matchFlag = 0x80000000u;

struct CodeTables
{
    uint8_t lengthCode[256];      // length − 3 → code − 257
    uint8_t distanceCodeLow[256]; // distance − 1 below 256 → code
    uint8_t distanceCodeHigh[256]; // (distance − 1) >> 7 → code
    uint16_t lengthBase[29];
    uint8_t lengthExtra[29];
    uint16_t distanceBase[30];
    uint8_t distanceExtra[30];

    CodeTables()
    {
        static constexpr uint8_t lengthExtraBits[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                        2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
        int length = 0;
        for (int code = 0; code < 28; ++code) {
            lengthBase[code] = uint16_t(length);
            lengthExtra[code] = lengthExtraBits[code];
            for (int i = 0; i < (1 << lengthExtraBits[code]); ++i)
                lengthCode[length++] = uint8_t(code);
        }
        // Length 258 has its own code, not the last of code 27's range.
        lengthBase[28] = 255;
        lengthExtra[28] = 0;
        lengthCode[255] = 28;
        int distance = 0;
        for (int code = 0; code < 30; ++code) {
            distanceBase[code] = uint16_t(distance);
            distanceExtra[code] = uint8_t(code < 4 ? 0 : code / 2 - 1);
            for (int i = 0; i < (1 << distanceExtra[code]); ++i, ++distance) {
                if (distance < 256)
                    distanceCodeLow[distance] = uint8_t(code);
                if ((distance >> 7) < 256 && (distance & 127) == 0)
                    distanceCodeHigh[distance >> 7] = uint8_t(code);
            }
        }
    }

    int distanceCode(uint32_t distanceMinusOne) const
    {
        return distanceMinusOne < 256 ? distanceCodeLow[distanceMinusOne] : distanceCodeHigh[distanceMinusOne >> 7];
    }
};

const CodeTables &tables()
{
    static const CodeTables instance;
    return instance;
}

inline uint32_t load32(const uint8_t *p)
{
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

inline uint64_t load64(const uint8_t *p)
{
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

inline uint32_t hash4(uint32_t v)
{
    return (v * 2654435761u) >> (32 - hashBits);
}

// Code lengths of at most `limit` bits for the used symbols, forming a
// complete code (inflaters refuse incomplete ones). Unused symbols get 0.
void buildCodeLengths(const uint32_t *frequencies, int count, int limit, uint8_t *lengths)
{
    std::fill(lengths, lengths + count, uint8_t(0));
    struct Node
    {
        uint32_t weight;
        int left;
        int right;
    };
    std::vector<int> used;
    used.reserve(size_t(count));
    for (int s = 0; s < count; ++s) {
        if (frequencies[s] > 0)
            used.push_back(s);
    }
    // A code needs two symbols; a lone one is paired with a neighbour that
    // never occurs.
    if (used.empty())
        used.push_back(0);
    if (used.size() == 1)
        used.push_back(used[0] == 0 ? 1 : 0);
    std::stable_sort(used.begin(), used.end(),
                     [frequencies](int a, int b) { return frequencies[a] < frequencies[b]; });

    // Two-queue Huffman construction: leaves in frequency order, inner nodes
    // made in non-decreasing weight order.
    const size_t leaves = used.size();
    std::vector<Node> nodes;
    nodes.reserve(2 * leaves);
    for (int s : used)
        nodes.push_back({frequencies[s], -1, -1});
    size_t nextLeaf = 0;
    size_t nextInner = leaves;
    auto takeSmallest = [&]() {
        if (nextLeaf < leaves && (nextInner >= nodes.size() || nodes[nextLeaf].weight <= nodes[nextInner].weight))
            return int(nextLeaf++);
        return int(nextInner++);
    };
    for (size_t made = 0; made + 1 < leaves; ++made) {
        const int a = takeSmallest();
        const int b = takeSmallest();
        nodes.push_back({nodes[size_t(a)].weight + nodes[size_t(b)].weight, a, b});
    }
    // Depths from the root down; inner nodes come after their children.
    std::vector<uint8_t> depth(nodes.size(), 0);
    int lengthCount[64] = {};
    for (size_t n = nodes.size(); n-- > leaves;) {
        const uint8_t d = uint8_t(std::min<int>(depth[n] + 1, 63));
        depth[size_t(nodes[n].left)] = d;
        depth[size_t(nodes[n].right)] = d;
    }
    for (size_t leaf = 0; leaf < leaves; ++leaf)
        ++lengthCount[std::min<int>(depth[leaf], limit + 1)];

    // Lengths beyond the limit are cut to it, which over-fills the code;
    // then one leaf at a time moves a level down, taking one of the cut
    // codes as its sibling, until the code is exactly full.
    lengthCount[limit] += lengthCount[limit + 1];
    lengthCount[limit + 1] = 0;
    uint64_t total = 0;
    for (int l = 1; l <= limit; ++l)
        total += uint64_t(lengthCount[l]) << (limit - l);
    while (total > (uint64_t(1) << limit)) {
        --lengthCount[limit];
        for (int l = limit - 1; l > 0; --l) {
            if (lengthCount[l] > 0) {
                --lengthCount[l];
                lengthCount[l + 1] += 2;
                break;
            }
        }
        --total;
    }
    // The rarest symbols get the longest codes.
    size_t leaf = 0;
    for (int l = limit; l > 0; --l) {
        for (int i = 0; i < lengthCount[l]; ++i)
            lengths[used[leaf++]] = uint8_t(l);
    }
}

// Canonical codes, bit-reversed so they can be written least significant
// bit first.
void buildCodes(const uint8_t *lengths, int count, uint16_t *codes)
{
    int perLength[16] = {};
    for (int s = 0; s < count; ++s)
        ++perLength[lengths[s]];
    perLength[0] = 0;
    int next[16] = {};
    int code = 0;
    for (int l = 1; l < 16; ++l) {
        code = (code + perLength[l - 1]) << 1;
        next[l] = code;
    }
    for (int s = 0; s < count; ++s) {
        const int l = lengths[s];
        if (l == 0) {
            codes[s] = 0;
            continue;
        }
        const int c = next[l]++;
        int reversed = 0;
        for (int b = 0; b < l; ++b)
            reversed |= ((c >> b) & 1) << (l - 1 - b);
        codes[s] = uint16_t(reversed);
    }
}

class BitWriter
{
public:
    // `out` must have 8 bytes of slack past everything written.
    explicit BitWriter(uint8_t *out) : m_out(out) {}

    void put(uint32_t bits, int count)
    {
        m_buffer |= uint64_t(bits) << m_count;
        m_count += count;
        if (m_count >= 32)
            flush();
    }
    void flush()
    {
        std::memcpy(m_out, &m_buffer, 8);
        const int bytes = m_count >> 3;
        m_out += bytes;
        m_buffer = bytes == 8 ? 0 : m_buffer >> (bytes * 8);
        m_count &= 7;
    }
    // Pads to a byte boundary with zero bits and returns the end.
    uint8_t *finish()
    {
        flush();
        if (m_count > 0) {
            *m_out++ = uint8_t(m_buffer);
            m_buffer = 0;
            m_count = 0;
        }
        return m_out;
    }

private:
    uint8_t *m_out;
    uint64_t m_buffer = 0;
    int m_count = 0;
};

// The piece's symbols and their counts.
struct Parsed
{
    std::unique_ptr<uint32_t[]> symbols;
    size_t capacity = 0;
    size_t count = 0;
    uint32_t literalFrequencies[literalCodes] = {};
    uint32_t distanceFrequencies[distanceCodes] = {};
};

inline size_t matchLength(const uint8_t *a, const uint8_t *b, size_t limit)
{
    size_t length = 0;
    while (length < limit) {
        const uint64_t difference = load64(a + length) ^ load64(b + length);
        if (difference != 0) {
            length += size_t(__builtin_ctzll(difference) >> 3);
            break;
        }
        length += 8;
    }
    return std::min(length, limit);
}

// `data` must be followed by 8 readable bytes. `stride` is the distance to
// the same place one row up, tried beside the hashed candidate.
void parse(const uint8_t *data, size_t size, size_t stride, std::vector<uint32_t> &hashTable, Parsed &parsed)
{
    const CodeTables &t = tables();
    hashTable.assign(size_t(1) << hashBits, 0);
    uint32_t *table = hashTable.data();
    if (parsed.capacity < size + 1) {
        parsed.symbols.reset(new uint32_t[size + 1]);
        parsed.capacity = size + 1;
    }
    uint32_t *symbols = parsed.symbols.get();
    size_t symbolCount = 0;
    uint32_t *literalFrequencies = parsed.literalFrequencies;
    uint32_t *distanceFrequencies = parsed.distanceFrequencies;
    if (stride > size_t(windowSize))
        stride = 0;

    size_t i = 0;
    const size_t searchEnd = size >= size_t(minMatch) ? size - size_t(minMatch) + 1 : 0;
    uint32_t misses = 0;
    while (i < searchEnd) {
        const uint32_t here = load32(data + i);
        const uint32_t h = hash4(here);
        const size_t limit = std::min(size - i, size_t(maxMatch));
        size_t bestLength = 0;
        uint32_t bestDistance = 0;
        const uint32_t candidate = table[h];
        table[h] = uint32_t(i);
        const uint32_t distance = uint32_t(i) - candidate;
        if (distance - 1 < uint32_t(windowSize) && load32(data + candidate) == here) {
            bestLength = minMatch + matchLength(data + i + minMatch, data + candidate + minMatch, limit - minMatch);
            bestDistance = distance;
        }
        if (stride && i >= stride && bestLength < limit && load32(data + i - stride) == here) {
            const size_t length =
                minMatch + matchLength(data + i + minMatch, data + i - stride + minMatch, limit - minMatch);
            if (length > bestLength) {
                bestLength = length;
                bestDistance = uint32_t(stride);
            }
        }
        if (bestLength >= size_t(minMatch)) {
            const uint32_t lengthIndex = uint32_t(bestLength - 3);
            symbols[symbolCount++] = matchFlag | (lengthIndex << 16) | (bestDistance - 1);
            ++literalFrequencies[257 + t.lengthCode[lengthIndex]];
            ++distanceFrequencies[t.distanceCode(bestDistance - 1)];
            // The match's last position seeds the next search.
            i += bestLength;
            if (i < searchEnd)
                table[hash4(load32(data + i - 1))] = uint32_t(i - 1);
            misses = 0;
        } else {
            // Data without matches is stepped over faster the longer it lasts.
            const size_t step = 1 + (misses++ >> 5);
            const size_t end = std::min(i + step, size);
            for (; i < end; ++i) {
                symbols[symbolCount++] = data[i];
                ++literalFrequencies[data[i]];
            }
        }
    }
    for (; i < size; ++i) {
        symbols[symbolCount++] = data[i];
        ++literalFrequencies[data[i]];
    }
    ++literalFrequencies[endOfBlock];
    parsed.count = symbolCount;
}

// The code-length sequence of both codes, run-length coded: each entry is
// a symbol 0–18 with its extra bits above bit 8.
struct LengthCodes
{
    uint8_t literalLengths[literalCodes];
    uint8_t distanceLengths[distanceCodes];
    int literalCount = 257;
    int distanceCount = 1;
    std::vector<uint16_t> sequence;
    uint32_t frequencies[19] = {};
    uint8_t lengths[19] = {};
    uint16_t codes[19] = {};
    int orderCount = 4;
};

constexpr uint8_t codeLengthOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

void encodeLengths(LengthCodes &c)
{
    c.literalCount = literalCodes;
    while (c.literalCount > 257 && c.literalLengths[c.literalCount - 1] == 0)
        --c.literalCount;
    c.distanceCount = distanceCodes;
    while (c.distanceCount > 1 && c.distanceLengths[c.distanceCount - 1] == 0)
        --c.distanceCount;
    uint8_t all[literalCodes + distanceCodes];
    std::copy(c.literalLengths, c.literalLengths + c.literalCount, all);
    std::copy(c.distanceLengths, c.distanceLengths + c.distanceCount, all + c.literalCount);
    const int total = c.literalCount + c.distanceCount;
    c.sequence.clear();
    auto add = [&c](int symbol, int extra) {
        c.sequence.push_back(uint16_t(symbol | (extra << 8)));
        ++c.frequencies[symbol];
    };
    for (int i = 0; i < total;) {
        const uint8_t value = all[i];
        int run = 1;
        while (i + run < total && all[i + run] == value)
            ++run;
        i += run;
        if (value == 0) {
            while (run >= 11) {
                const int n = std::min(run, 138);
                add(18, n - 11);
                run -= n;
            }
            if (run >= 3) {
                add(17, run - 3);
                run = 0;
            }
        } else {
            add(value, 0);
            --run;
            while (run >= 3) {
                const int n = std::min(run, 6);
                add(16, n - 3);
                run -= n;
            }
        }
        for (; run > 0; --run)
            add(value, 0);
    }
    buildCodeLengths(c.frequencies, 19, 7, c.lengths);
    buildCodes(c.lengths, 19, c.codes);
    c.orderCount = 19;
    while (c.orderCount > 4 && c.lengths[codeLengthOrder[c.orderCount - 1]] == 0)
        --c.orderCount;
}

constexpr int lengthCodeExtra[19] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 3, 7};

struct Piece
{
    std::unique_ptr<uint8_t[]> bytes;
    size_t size = 0;
};

// Compresses `data` (followed by 8 readable bytes) as one block, or as
// stored blocks when compressing does not pay. Unless `last`, the block is
// not final and is followed by an empty stored block, so the next piece
// starts on a byte boundary. Returns false when memory runs out.
bool compress(const uint8_t *data, size_t size, size_t stride, bool last, std::vector<uint32_t> &hashTable,
              Parsed &parsed, Piece &piece)
{
    const CodeTables &t = tables();
    std::fill(std::begin(parsed.literalFrequencies), std::end(parsed.literalFrequencies), 0u);
    std::fill(std::begin(parsed.distanceFrequencies), std::end(parsed.distanceFrequencies), 0u);
    parse(data, size, stride, hashTable, parsed);

    LengthCodes lc;
    buildCodeLengths(parsed.literalFrequencies, literalCodes, 15, lc.literalLengths);
    buildCodeLengths(parsed.distanceFrequencies, distanceCodes, 15, lc.distanceLengths);
    encodeLengths(lc);

    // The block's exact size in bits, to size the output and to fall back
    // to stored blocks when compressing does not pay.
    uint64_t bits = 3 + 5 + 5 + 4 + 3 * uint64_t(lc.orderCount);
    for (uint16_t entry : lc.sequence)
        bits += lc.lengths[entry & 0xFF] + lengthCodeExtra[entry & 0xFF];
    for (int s = 0; s < literalCodes; ++s)
        bits += uint64_t(parsed.literalFrequencies[s]) *
                (lc.literalLengths[s] + (s > 256 ? t.lengthExtra[s - 257] : 0));
    for (int d = 0; d < distanceCodes; ++d)
        bits += uint64_t(parsed.distanceFrequencies[d]) * (lc.distanceLengths[d] + t.distanceExtra[d]);
    const size_t storedBlocks = std::max<size_t>(1, (size + 65534) / 65535);
    const size_t storedBytes = size + 5 * storedBlocks;
    const size_t trailer = last ? 0 : 6;
    const bool stored = (bits + 7) / 8 >= storedBytes;
    const size_t capacity = (stored ? storedBytes + 1 : size_t((bits + 7) / 8)) + trailer + 16;
    piece.bytes.reset(new (std::nothrow) uint8_t[capacity]);
    if (!piece.bytes)
        return false;
    uint8_t *out = piece.bytes.get();

    if (stored) {
        size_t at = 0;
        for (size_t b = 0; b < storedBlocks; ++b) {
            const size_t n = std::min<size_t>(65535, size - at);
            *out++ = uint8_t(last && b + 1 == storedBlocks ? 1 : 0);
            out[0] = uint8_t(n);
            out[1] = uint8_t(n >> 8);
            out[2] = uint8_t(~n);
            out[3] = uint8_t(~n >> 8);
            out += 4;
            std::memcpy(out, data + at, n);
            out += n;
            at += n;
        }
    } else {
        uint16_t literalCodesBits[literalCodes];
        uint16_t distanceCodesBits[distanceCodes];
        buildCodes(lc.literalLengths, literalCodes, literalCodesBits);
        buildCodes(lc.distanceLengths, distanceCodes, distanceCodesBits);
        BitWriter writer(out);
        writer.put(last ? 1 : 0, 1);
        writer.put(2, 2);
        writer.put(uint32_t(lc.literalCount - 257), 5);
        writer.put(uint32_t(lc.distanceCount - 1), 5);
        writer.put(uint32_t(lc.orderCount - 4), 4);
        for (int i = 0; i < lc.orderCount; ++i)
            writer.put(lc.lengths[codeLengthOrder[i]], 3);
        for (uint16_t entry : lc.sequence) {
            const int symbol = entry & 0xFF;
            writer.put(lc.codes[symbol], lc.lengths[symbol]);
            if (lengthCodeExtra[symbol])
                writer.put(entry >> 8, lengthCodeExtra[symbol]);
        }
        for (size_t n = 0; n < parsed.count; ++n) {
            const uint32_t symbol = parsed.symbols[n];
            if (!(symbol & matchFlag)) {
                writer.put(literalCodesBits[symbol], lc.literalLengths[symbol]);
                continue;
            }
            const uint32_t lengthIndex = (symbol >> 16) & 0xFF;
            const uint32_t distanceMinusOne = symbol & 0x7FFF;
            const int lengthCode = t.lengthCode[lengthIndex];
            // A length code, its extra bits, a distance code and its extra
            // bits: at most 15 + 5 + 15 + 13 bits, so two writes.
            writer.put(uint32_t(literalCodesBits[257 + lengthCode]) |
                           ((lengthIndex - t.lengthBase[lengthCode]) << lc.literalLengths[257 + lengthCode]),
                       lc.literalLengths[257 + lengthCode] + t.lengthExtra[lengthCode]);
            const int distanceCode = t.distanceCode(distanceMinusOne);
            writer.put(uint32_t(distanceCodesBits[distanceCode]) |
                           ((distanceMinusOne - t.distanceBase[distanceCode]) << lc.distanceLengths[distanceCode]),
                       lc.distanceLengths[distanceCode] + t.distanceExtra[distanceCode]);
        }
        writer.put(literalCodesBits[endOfBlock], lc.literalLengths[endOfBlock]);
        // Unless last, an empty stored block follows: its three zero header
        // bits go straight after the end code, then the padding.
        if (!last)
            writer.put(0, 3);
        out = writer.finish();
    }
    if (!last) {
        // The empty stored block's LEN 0 and NLEN 0xFFFF, after its header.
        if (stored)
            *out++ = 0;
        const uint8_t lengths[4] = {0x00, 0x00, 0xFF, 0xFF};
        std::memcpy(out, lengths, 4);
        out += 4;
    }
    piece.size = size_t(out - piece.bytes.get());
    return true;
}

} // namespace fastdeflate

// ---------------------------------------------------------------------------

struct Strip
{
    int firstRow = 0;
    int rowCount = 0;
    size_t filteredSize = 0;
    std::unique_ptr<uint8_t[]> compressed;
    size_t compressedSize = 0;
    uint32_t adler = 1;
    bool ok = false;
};

struct CompressorDeleter
{
    void operator()(libdeflate_compressor *c) const { libdeflate_free_compressor(c); }
};

inline void store32(uint8_t *p, uint32_t v)
{
    std::memcpy(p, &v, 4);
}

// Each byte of `a` minus the same byte of `b`, without borrows between them.
inline uint32_t subtractBytes(uint32_t a, uint32_t b)
{
    constexpr uint32_t high = 0x80808080u;
    return ((a | high) - (b & ~high)) ^ ((a ^ ~b) & high);
}

// An ARGB word as the bytes R, G, B, A in memory order.
inline uint32_t rgbaBytes(QRgb p)
{
    const uint32_t swapped = __builtin_bswap32(p); // memory order A, R, G, B
    return (swapped >> 8) | (swapped << 24);
}

#if defined(__x86_64__) || defined(__i386__)
#define TESSALINE_PNG_SSSE3 1

bool hasSsse3()
{
    static const bool has = __builtin_cpu_supports("ssse3");
    return has;
}

// The Sub or Up filter of ARGB words, four pixels at a time, written as
// R, G, B (and A) bytes; returns how many pixels were done. Writes up to 4
// bytes past the last group's pixels.
__attribute__((target("ssse3"))) int filterWordsSsse3(const QRgb *pixels, const QRgb *above, bool sub, int width,
                                                      int channels, uint8_t *out)
{
    // In memory a word is B, G, R, A.
    const __m128i order = channels == 3 ? _mm_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1)
                                        : _mm_setr_epi8(2, 1, 0, 3, 6, 5, 4, 7, 10, 9, 8, 11, 14, 13, 12, 15);
    const int step = channels * 4;
    int x = 0;
    for (; x + 4 <= width; x += 4) {
        const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i *>(pixels + x));
        __m128i q;
        if (sub)
            q = x > 0 ? _mm_loadu_si128(reinterpret_cast<const __m128i *>(pixels + x - 1)) : _mm_slli_si128(p, 4);
        else
            q = above ? _mm_loadu_si128(reinterpret_cast<const __m128i *>(above + x)) : _mm_setzero_si128();
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out), _mm_shuffle_epi8(_mm_sub_epi8(p, q), order));
        out += step;
    }
    return x;
}
#endif

// One row read and filtered in a single pass, for a filter chosen up front:
// no cost is worked out. May write up to 4 bytes past the row, which the
// next row (or the strip buffer's slack) takes.
void readAndFilterRow(const PixelSource &source, int y, PngRowFilter filter, const uint8_t *previous,
                      uint8_t *current, uint8_t *out)
{
    const int width = source.image.width();
    const int bpp = source.channels;
    const size_t length = size_t(width) * size_t(bpp);
    uint8_t *filtered = out + 1;
    if (source.fromUint32 && (filter == PngRowFilter::Sub || filter == PngRowFilter::Up)) {
        // Captures and rendered pictures: whole words are subtracted byte by
        // byte and written out in PNG byte order, with no separate pass to
        // convert the row to bytes first.
        const bool sub = filter == PngRowFilter::Sub;
        out[0] = sub ? 1 : 2;
        const QRgb *pixels = source.words(y);
        const QRgb *above = y > 0 ? source.words(y - 1) : nullptr;
        int x = 0;
#if TESSALINE_PNG_SSSE3
        if (hasSsse3()) {
            x = filterWordsSsse3(pixels, above, sub, width, bpp, filtered);
            filtered += size_t(x) * size_t(bpp);
        }
#endif
        // Bytes are subtracted within whole words; PNG's byte order is
        // applied after, as the subtraction never mixes bytes.
        auto difference = [&](int i) {
            const QRgb q = sub ? (i > 0 ? pixels[i - 1] : 0) : above ? above[i] : 0;
            return subtractBytes(pixels[i], q);
        };
        if (bpp == 3) {
            for (; x < width; ++x) {
                // R, G, B as the low three bytes in memory order; the fourth
                // is overwritten by the next pixel.
                store32(filtered, __builtin_bswap32(difference(x) << 8));
                filtered += 3;
            }
        } else {
            for (; x < width; ++x) {
                store32(filtered, rgbaBytes(difference(x)));
                filtered += 4;
            }
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

// What one worker keeps from strip to strip, so no strip pays for fresh
// pages or a cleared buffer of its own.
struct Workspace
{
    std::vector<uint8_t> previous;
    std::vector<uint8_t> current;
    std::vector<uint8_t> candidate;
    std::vector<uint8_t> best;
    std::vector<uint8_t> filtered; // a strip's rows, then 8 bytes of slack
    std::vector<uint32_t> hashTable;
    fastdeflate::Parsed parsed;
    std::unique_ptr<libdeflate_compressor, CompressorDeleter> compressor;
};

// libdeflate only writes complete streams, whose last block is marked
// final: unless last, the mark is cleared and the stream closed with an
// empty stored block, which pads it to a byte boundary. The stream must be
// followed by 16 bytes of slack.
bool chainLibdeflateStream(Strip &strip)
{
    const auto shape = walkDeflateStream(strip.compressed.get(), strip.compressedSize);
    if (!shape)
        return false;
    // Clear the final mark, drop padding bits, then close with an empty
    // stored block (three zero header bits, byte alignment, LEN 0, NLEN
    // 0xFFFF).
    uint8_t *bytes = strip.compressed.get();
    bytes[shape->finalBlockStart >> 3] &= uint8_t(~(1u << (shape->finalBlockStart & 7)));
    const uint64_t end = shape->endBit;
    if (end & 7)
        bytes[end >> 3] &= uint8_t((1u << (end & 7)) - 1);
    const size_t length = size_t((end + 3 + 7) / 8);
    std::fill(bytes + ((end + 7) / 8), bytes + length, 0);
    const uint8_t trailer[4] = {0x00, 0x00, 0xFF, 0xFF};
    // The stream grows by at most five bytes, within the slack.
    std::memcpy(bytes + length, trailer, 4);
    strip.compressedSize = length + 4;
    return true;
}

// Whether rows `top` to `bottom` of an ARGB image are all opaque, when
// premultiplied and straight are the same.
bool isOpaque(const QImage &image, int top, int bottom)
{
    const int width = image.width();
    for (int y = top; y < bottom; ++y) {
        const auto *pixels = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        uint32_t all = 0xFF000000u;
        for (int x = 0; x < width; ++x)
            all &= pixels[x];
        if ((all & 0xFF000000u) != 0xFF000000u)
            return false;
    }
    return true;
}

void encodeStrip(const PixelSource &whole, PngRowFilter filter, int level, bool last, Workspace &work, Strip &strip)
{
    // Premultiplied rows, with the one above for the Up and Paeth filters,
    // are made straight by Qt's own conversion, so the file holds exactly
    // what converting the whole picture would give; opaque ones already are.
    PixelSource source = whole;
    int firstRow = strip.firstRow;
    const int top = std::max(0, strip.firstRow - 1);
    if (whole.premultiplied && !isOpaque(whole.image, top, strip.firstRow + strip.rowCount)) {
        const QImage rows(whole.image.constScanLine(top), whole.image.width(), strip.firstRow + strip.rowCount - top,
                          whole.image.bytesPerLine(), QImage::Format_ARGB32_Premultiplied);
        source.image = rows.convertToFormat(QImage::Format_ARGB32);
        source.premultiplied = false;
        if (source.image.isNull())
            return;
        firstRow -= top;
    }
    const int width = source.image.width();
    const int bpp = source.channels;
    const size_t rowLength = size_t(width) * size_t(bpp);
    work.previous.assign(rowLength, 0);
    work.current.resize(rowLength);
    if (firstRow > 0)
        source.readRow(firstRow - 1, work.previous.data());

    strip.filteredSize = size_t(strip.rowCount) * (rowLength + 1);
    work.filtered.resize(strip.filteredSize + 8);
    uint8_t *const filtered = work.filtered.data();
    uint8_t *out = filtered;
    for (int r = 0; r < strip.rowCount; ++r) {
        if (filter != PngRowFilter::Adaptive) {
            readAndFilterRow(source, firstRow + r, filter, work.previous.data(), work.current.data(), out);
        } else {
            work.candidate.resize(rowLength + 1);
            work.best.resize(rowLength + 1);
            source.readRow(firstRow + r, work.current.data());
            uint64_t bestCost = UINT64_MAX;
            for (PngRowFilter f : {PngRowFilter::None, PngRowFilter::Sub, PngRowFilter::Up, PngRowFilter::Paeth}) {
                const uint64_t cost =
                    filterRow(f, work.current.data(), work.previous.data(), rowLength, bpp, work.candidate.data());
                if (cost < bestCost) {
                    bestCost = cost;
                    work.best.swap(work.candidate);
                }
            }
            std::memcpy(out, work.best.data(), rowLength + 1);
        }
        out += rowLength + 1;
        work.previous.swap(work.current);
    }
    // The fast filters write a little past the last row; the slack is
    // cleared so the match finder's word reads past the end are defined.
    std::memset(filtered + strip.filteredSize, 0, 8);
    strip.adler = libdeflate_adler32(1, filtered, strip.filteredSize);

    if (level == 0) {
        fastdeflate::Piece piece;
        strip.ok = fastdeflate::compress(filtered, strip.filteredSize, rowLength + 1, last, work.hashTable,
                                         work.parsed, piece);
        strip.compressed = std::move(piece.bytes);
        strip.compressedSize = piece.size;
        return;
    }
    if (!work.compressor) {
        work.compressor.reset(libdeflate_alloc_compressor(level));
        if (!work.compressor)
            return;
    }
    const size_t bound = libdeflate_deflate_compress_bound(work.compressor.get(), strip.filteredSize);
    // The slack lets the stream walker read whole words past the end, and
    // the joining trailer be written in place.
    strip.compressed.reset(new uint8_t[bound + 16]);
    strip.compressedSize =
        libdeflate_deflate_compress(work.compressor.get(), filtered, strip.filteredSize, strip.compressed.get(), bound);
    strip.ok = strip.compressedSize > 0;
    if (!strip.ok)
        return;
    std::memset(strip.compressed.get() + strip.compressedSize, 0, 16);
    if (!last)
        strip.ok = chainLibdeflateStream(strip);
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

// Writes PNG chunks into a buffer sized for them up front, with each
// chunk's CRC worked out as its bytes go by.
class ChunkWriter
{
public:
    explicit ChunkWriter(uint8_t *out) : m_out(out) {}

    void raw(const uint8_t *bytes, size_t size)
    {
        std::memcpy(m_out, bytes, size);
        m_out += size;
    }
    void begin(const char type[4], size_t size)
    {
        qToBigEndian(quint32(size), m_out);
        m_out += 4;
        raw(reinterpret_cast<const uint8_t *>(type), 4);
        m_crc = libdeflate_crc32(0, type, 4);
    }
    void data(const uint8_t *bytes, size_t size)
    {
        m_crc = libdeflate_crc32(m_crc, bytes, size);
        raw(bytes, size);
    }
    void end()
    {
        qToBigEndian(quint32(m_crc), m_out);
        m_out += 4;
    }
    const uint8_t *position() const { return m_out; }

private:
    uint8_t *m_out;
    uint32_t m_crc = 0;
};

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
    // Our compressor keeps positions within a strip in 32 bits.
    const qsizetype stripBytes = std::min<qsizetype>(options.stripBytes, qsizetype(1) << 30);
    const int rowsPerStrip = int(std::clamp<qsizetype>(stripBytes / qsizetype(filteredRow), 1, height));
    const int level = std::clamp(options.compressionLevel, 0, 12);

    std::vector<Strip> strips;
    for (int row = 0; row < height; row += rowsPerStrip) {
        Strip strip;
        strip.firstRow = row;
        strip.rowCount = std::min(rowsPerStrip, height - row);
        strips.push_back(std::move(strip));
    }

    int threads = options.maxThreads > 0 ? options.maxThreads : std::max(1, int(std::thread::hardware_concurrency()));
    threads = std::min<int>(threads, int(strips.size()));
    std::atomic<size_t> next{0};
    std::atomic<bool> failed{false};
    auto work = [&]() {
        Workspace workspace;
        for (size_t i = next++; i < strips.size() && !failed; i = next++) {
            try {
                encodeStrip(*source, options.filter, level, i + 1 == strips.size(), workspace, strips[i]);
            } catch (const std::bad_alloc &) {
                strips[i].ok = false;
            }
            if (!strips[i].ok)
                failed = true;
        }
    };
    runParallelParts(threads, [&](int) { work(); });
    if (failed)
        return std::nullopt;

    // The zlib stream: header (deflate, 32 KiB window, level hint, check
    // bits), the strips' pieces, the Adler-32 of all filtered rows.
    const uint8_t levelHint = level < 2 ? 0 : level < 6 ? 1 : level == 6 ? 2 : 3;
    uint16_t header = uint16_t((0x78 << 8) | (levelHint << 6));
    header = uint16_t(header + (31 - header % 31));
    uint32_t adler = 1;
    size_t streamSize = 2 + 4;
    for (const Strip &strip : strips) {
        adler = combineAdler32(adler, strip.adler, strip.filteredSize);
        streamSize += strip.compressedSize;
    }
    uint8_t zlibHeader[2] = {uint8_t(header >> 8), uint8_t(header & 0xFF)};
    uint8_t zlibTrailer[4];
    qToBigEndian(adler, zlibTrailer);

    // Decoders read IDAT as one stream; moderate chunks keep every reader's
    // per-chunk buffers small.
    constexpr size_t chunkLimit = 1 << 20;
    const size_t chunkCount = (streamSize + chunkLimit - 1) / chunkLimit;
    QByteArray png;
    png.resize(qsizetype(8 + 25 + streamSize + 12 * chunkCount + 12));
    ChunkWriter writer(reinterpret_cast<uint8_t *>(png.data()));
    static constexpr uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    writer.raw(signature, 8);
    uint8_t ihdr[13];
    qToBigEndian(quint32(width), ihdr);
    qToBigEndian(quint32(height), ihdr + 4);
    ihdr[8] = 8;                               // bit depth
    ihdr[9] = source->channels == 4 ? 6 : 2;   // RGBA or RGB
    ihdr[10] = 0;                              // deflate
    ihdr[11] = 0;                              // adaptive filtering
    ihdr[12] = 0;                              // no interlace
    writer.begin("IHDR", 13);
    writer.data(ihdr, 13);
    writer.end();

    // The stream is cut into chunks wherever the limit falls, across pieces.
    size_t remainingInChunk = 0;
    size_t remainingInStream = streamSize;
    auto stream = [&](const uint8_t *bytes, size_t size) {
        while (size > 0) {
            if (remainingInChunk == 0) {
                remainingInChunk = std::min(chunkLimit, remainingInStream);
                writer.begin("IDAT", remainingInChunk);
            }
            const size_t n = std::min(size, remainingInChunk);
            writer.data(bytes, n);
            bytes += n;
            size -= n;
            remainingInChunk -= n;
            remainingInStream -= n;
            if (remainingInChunk == 0)
                writer.end();
        }
    };
    stream(zlibHeader, 2);
    for (Strip &strip : strips) {
        stream(strip.compressed.get(), strip.compressedSize);
        strip.compressed.reset();
    }
    stream(zlibTrailer, 4);
    writer.begin("IEND", 0);
    writer.end();
    Q_ASSERT(writer.position() == reinterpret_cast<uint8_t *>(png.data()) + png.size());
    return png;
}

} // namespace tessaline

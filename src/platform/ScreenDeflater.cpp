#include "platform/ScreenDeflater.h"


#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

namespace tessaline {

namespace {

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

using Piece = ScreenDeflater::Piece;

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

} // namespace

struct ScreenDeflater::Workspace
{
    std::vector<uint32_t> hashTable;
    Parsed parsed;
};

ScreenDeflater::ScreenDeflater() : m_workspace(std::make_unique<Workspace>()) {}

ScreenDeflater::~ScreenDeflater() = default;

bool ScreenDeflater::compress(const uint8_t *data, size_t size, size_t stride, bool last, Piece &piece)
{
    return tessaline::compress(data, size, stride, last, m_workspace->hashTable, m_workspace->parsed, piece);
}

} // namespace tessaline

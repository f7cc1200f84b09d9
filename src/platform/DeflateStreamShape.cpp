#include "platform/DeflateStreamShape.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace tessaline {

namespace {

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

} // namespace

std::optional<DeflateStreamShape> DeflateStreamShape::of(const uint8_t *data, size_t size)
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
            return DeflateStreamShape{blockStart, reader.position()};
    }
}

std::optional<size_t> makeDeflateStreamJoinable(uint8_t *bytes, size_t size)
{
    const auto shape = DeflateStreamShape::of(bytes, size);
    if (!shape)
        return std::nullopt;
    // Clear the final mark, drop padding bits, then close with an empty
    // stored block (three zero header bits, byte alignment, LEN 0, NLEN
    // 0xFFFF).
    bytes[shape->finalBlockStart >> 3] &= uint8_t(~(1u << (shape->finalBlockStart & 7)));
    const uint64_t end = shape->endBit;
    if (end & 7)
        bytes[end >> 3] &= uint8_t((1u << (end & 7)) - 1);
    const size_t length = size_t((end + 3 + 7) / 8);
    std::fill(bytes + ((end + 7) / 8), bytes + length, 0);
    const uint8_t trailer[4] = {0x00, 0x00, 0xFF, 0xFF};
    std::memcpy(bytes + length, trailer, 4);
    return length + 4;
}

} // namespace tessaline

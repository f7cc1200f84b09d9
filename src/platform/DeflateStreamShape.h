#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace tessaline {

// Where a complete DEFLATE stream's last block starts and where the stream
// ends, in bits from its first byte.
struct DeflateStreamShape
{
    uint64_t finalBlockStart = 0;
    uint64_t endBit = 0;

    // Walks the stream's blocks: headers and Huffman codes are read,
    // symbols are skipped, nothing is decompressed. Nothing for a damaged
    // stream. `data` must be followed by 16 readable bytes.
    static std::optional<DeflateStreamShape> of(const uint8_t *data, size_t size);
};

// Compressors write complete streams, whose last block is marked final. So
// that independently compressed pieces can follow each other in one stream,
// the mark is cleared and the stream closed with an empty stored block,
// which pads it to a byte boundary. Answers the piece's new size, at most
// five bytes larger, or nothing for a damaged stream. `data` must have 16
// bytes of slack after `size`.
std::optional<size_t> makeDeflateStreamJoinable(uint8_t *data, size_t size);

} // namespace tessaline

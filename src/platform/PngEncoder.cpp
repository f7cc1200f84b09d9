#include "platform/PngEncoder.h"

#include "platform/ParallelParts.h"
#include "platform/PngRowFilter.h"
#include "platform/ZlibStripStream.h"

#include <libdeflate.h>

#include <QtEndian>

#include <algorithm>
#include <array>
#include <atomic>
#include <mutex>
#include <cstring>
#include <span>
#include <vector>

namespace tessaline {

namespace {

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

// The rows a strip's filtering works with.
struct RowBuffers
{
    std::vector<uint8_t> previous;
    std::vector<uint8_t> current;
    std::vector<uint8_t> candidate;
    std::vector<uint8_t> best;
};

// Rows `firstRow` to `firstRow + rowCount` filtered into `filtered`.
bool filterStrip(const PngPixelRows &whole, PngRowFilter filter, int firstRow, int rowCount, RowBuffers &work,
                 ZlibStripStream::StripBytes &filtered)
{
    // Premultiplied rows, with the one above for the Up and Paeth filters,
    // are made straight by Qt's own conversion, so the file holds exactly
    // what converting the whole picture would give; opaque ones already are.
    PngPixelRows source = whole;
    const int top = std::max(0, firstRow - 1);
    if (whole.premultiplied && !isOpaque(whole.image, top, firstRow + rowCount)) {
        const QImage rows(whole.image.constScanLine(top), whole.image.width(), firstRow + rowCount - top,
                          whole.image.bytesPerLine(), QImage::Format_ARGB32_Premultiplied);
        source.image = rows.convertToFormat(QImage::Format_ARGB32);
        source.premultiplied = false;
        if (source.image.isNull())
            return false;
        firstRow -= top;
    }
    const int bpp = source.channels;
    const size_t rowLength = size_t(source.image.width()) * size_t(bpp);
    work.previous.assign(rowLength, 0);
    work.current.resize(rowLength);
    if (firstRow > 0)
        source.readRow(firstRow - 1, work.previous.data());

    // The fast filters write up to 4 bytes past a row, which the next row
    // (or the last row's slack) takes.
    const size_t size = size_t(rowCount) * (rowLength + 1);
    filtered.resize(size + 4);
    uint8_t *out = filtered.data();
    for (int r = 0; r < rowCount; ++r) {
        if (filter != PngRowFilter::Adaptive) {
            readAndFilterPngRow(source, firstRow + r, filter, work.previous.data(), work.current.data(), out);
        } else {
            work.candidate.resize(rowLength + 1);
            work.best.resize(rowLength + 1);
            source.readRow(firstRow + r, work.current.data());
            uint64_t bestCost = UINT64_MAX;
            for (PngRowFilter f : {PngRowFilter::None, PngRowFilter::Sub, PngRowFilter::Up, PngRowFilter::Paeth}) {
                const uint64_t cost =
                    filterPngRow(f, work.current.data(), work.previous.data(), rowLength, bpp, work.candidate.data());
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
    filtered.resize(size);
    return true;
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
    const std::optional<PngPixelRows> source = PngPixelRows::make(image);
    if (!source)
        return std::nullopt;

    const int width = image.width();
    const int height = image.height();
    const size_t filteredRow = size_t(width) * size_t(source->channels) + 1;
    // Our compressor keeps positions within a strip in 32 bits.
    const qsizetype stripBytes = std::min<qsizetype>(options.stripBytes, qsizetype(1) << 30);
    const int rowsPerStrip = int(std::clamp<qsizetype>(stripBytes / qsizetype(filteredRow), 1, height));
    const size_t stripCount = size_t((height + rowsPerStrip - 1) / rowsPerStrip);

    // Decoders read IDAT as one stream; each strip's piece is a chunk of its
    // own (the stream's header goes with the first, its checksum with the
    // last), cut further where it passes the limit: moderate chunks keep
    // every reader's per-chunk buffers small. A strip's chunks are placed in
    // the file, and summed, by the thread that compressed it, as soon as
    // every strip above it is made: the file is then all but complete when
    // the last strip is, rather than copied and summed after it (for a 5K
    // capture's 17 MB, a quarter as long again as compressing them). The
    // last strip waits for the stream's checksum, known only once all are.
    constexpr size_t chunkLimit = 1 << 20;
    const std::array<uint8_t, 2> header = ZlibStripStream::header(options.compressionLevel);
    const size_t strips = stripCount;
    std::vector<std::span<const uint8_t>> pieces(strips);
    auto chunkedBytes = [&](size_t strip, size_t trailer) {
        return pieces[strip].size() + (strip == 0 ? header.size() : 0) + (strip + 1 == strips ? trailer : 0);
    };
    auto framedBytes = [&](size_t bytes) { return bytes + 12 * ((bytes + chunkLimit - 1) / chunkLimit); };
    std::vector<size_t> offsets(strips + 1);
    offsets[0] = 8 + 25;

    // Room for the file at its largest likely size, only the part written
    // ever taken from the system; a file larger still (a picture that does
    // not compress) has its last strips placed once its size is known.
    const size_t filteredBytes = filteredRow * size_t(height);
    const size_t room = offsets[0] + filteredBytes + filteredBytes / 8 + strips * 64 + 4096;
    QByteArray png(qsizetype(room), Qt::Uninitialized);
    if (png.size() != qsizetype(room))
        return std::nullopt;

    auto writeStrip = [&](uint8_t *file, size_t strip, std::span<const uint8_t> trailer) {
        ChunkWriter chunks(file + offsets[strip]);
        size_t remainingInChunk = 0;
        size_t remaining = chunkedBytes(strip, trailer.size());
        auto write = [&](std::span<const uint8_t> bytes) {
            while (!bytes.empty()) {
                if (remainingInChunk == 0) {
                    remainingInChunk = std::min(chunkLimit, remaining);
                    chunks.begin("IDAT", remainingInChunk);
                }
                const size_t n = std::min(bytes.size(), remainingInChunk);
                chunks.data(bytes.data(), n);
                bytes = bytes.subspan(n);
                remainingInChunk -= n;
                remaining -= n;
                if (remainingInChunk == 0)
                    chunks.end();
            }
        };
        if (strip == 0)
            write(header);
        write(pieces[strip]);
        write(trailer);
        Q_ASSERT(chunks.position() == file + offsets[strip + 1]);
    };

    // Strips before `placed` have their offsets (and are being placed or
    // are); made[] marks the strips compressed so far.
    std::mutex placing;
    std::vector<char> made(strips, 0);
    size_t placed = 0;
    auto *early = reinterpret_cast<uint8_t *>(png.data());
    ZlibStripStream::Options streamOptions;
    streamOptions.level = options.compressionLevel;
    streamOptions.maxThreads = options.maxThreads;
    streamOptions.rowStride = filteredRow;
    // As many threads as compress the strips.
    const int threads = ZlibStripStream::threadsFor(options.maxThreads);
    streamOptions.stripMade = [&](size_t index, std::span<const uint8_t> piece) {
        size_t first = 0;
        size_t end = 0;
        {
            const std::lock_guard lock(placing);
            pieces[index] = piece;
            made[index] = 1;
            first = placed;
            while (placed + 1 < strips && made[placed]) {
                const size_t next = offsets[placed] + framedBytes(chunkedBytes(placed, 0));
                if (next + 12 > room)
                    break;
                offsets[placed + 1] = next;
                ++placed;
            }
            end = placed;
        }
        for (size_t strip = first; strip < end; ++strip)
            writeStrip(early, strip, {});
    };
    auto stream = ZlibStripStream::compress(
        stripCount,
        [&](size_t index, ZlibStripStream::StripBytes &bytes) {
            const int firstRow = int(index) * rowsPerStrip;
            const int rowCount = std::min(rowsPerStrip, height - firstRow);
            if (options.waitForRows && !options.waitForRows(firstRow + rowCount))
                return false;
            RowBuffers rows;
            return filterStrip(*source, options.filter, firstRow, rowCount, rows, bytes);
        },
        streamOptions);
    if (!stream)
        return std::nullopt;

    // The strips not placed yet: the last, and any past the room.
    const std::span<const uint8_t> trailer = stream->piece(strips + 1);
    for (size_t strip = placed; strip < strips; ++strip)
        offsets[strip + 1] = offsets[strip] + framedBytes(chunkedBytes(strip, strip + 1 == strips ? trailer.size() : 0));
    const qsizetype size = qsizetype(offsets[strips] + 12);
    if (size > png.size()) {
        png.resize(size);
        if (png.size() != size)
            return std::nullopt;
    }
    auto *file = reinterpret_cast<uint8_t *>(png.data());
    const size_t rest = strips - placed;
    std::atomic<size_t> next{placed};
    runParallelParts(int(std::min<size_t>(size_t(threads), rest)), [&](int) {
        for (size_t strip = next++; strip < strips; strip = next++)
            writeStrip(file, strip, strip + 1 == strips ? trailer : std::span<const uint8_t>());
    });

    ChunkWriter writer(file);
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

    writer = ChunkWriter(file + offsets[strips]);
    writer.begin("IEND", 0);
    writer.end();
    Q_ASSERT(writer.position() == file + size);
    // The room not used goes back to the system; a large buffer shrinks
    // where it lies, or moves.
    png.resize(size);
    png.squeeze();
    return png;
}

} // namespace tessaline

#include "platform/ImageDecoder.h"

#include "platform/TextRecognizer.h"

#include <libdeflate.h>
#include <zlib.h>

#include <QBuffer>
#include <QImageReader>
#include <QtEndian>

#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

namespace tessaline::ImageDecoder {

namespace {

constexpr uchar pngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

struct PngHeader
{
    quint32 width = 0;
    quint32 height = 0;
    quint8 bitDepth = 0;
    quint8 colorType = 0;
    quint8 compression = 0;
    quint8 filter = 0;
    quint8 interlace = 0;
};

// One chunk of the file: its type and where its data lies.
struct Chunk
{
    quint32 type = 0;
    const uchar *data = nullptr;
    quint32 length = 0;
};

constexpr quint32 chunkType(const char (&name)[5])
{
    return quint32(uchar(name[0])) << 24 | quint32(uchar(name[1])) << 16 | quint32(uchar(name[2])) << 8
        | quint32(uchar(name[3]));
}

class ChunkReader
{
public:
    explicit ChunkReader(const QByteArray &bytes)
        : m_data(reinterpret_cast<const uchar *>(bytes.constData())), m_size(size_t(bytes.size()))
    {
        m_valid = m_size >= sizeof pngSignature && std::memcmp(m_data, pngSignature, sizeof pngSignature) == 0;
        m_position = sizeof pngSignature;
    }

    bool isPng() const { return m_valid; }

    // The next chunk; none at the end or when it runs past the end of the
    // bytes or its checksum does not match.
    std::optional<Chunk> next()
    {
        if (m_position + 12 > m_size)
            return std::nullopt;
        const quint32 length = qFromBigEndian<quint32>(m_data + m_position);
        if (length > m_size - m_position - 12)
            return std::nullopt;
        const uchar *typeAndData = m_data + m_position + 4;
        const quint32 stored = qFromBigEndian<quint32>(typeAndData + 4 + length);
        if (libdeflate_crc32(0, typeAndData, size_t(length) + 4) != stored)
            return std::nullopt;
        m_position += size_t(length) + 12;
        return Chunk{qFromBigEndian<quint32>(typeAndData), typeAndData + 4, length};
    }

private:
    const uchar *m_data;
    size_t m_size;
    size_t m_position = 0;
    bool m_valid = false;
};

std::optional<PngHeader> readHeader(ChunkReader &reader)
{
    const std::optional<Chunk> first = reader.next();
    if (!first || first->type != chunkType("IHDR") || first->length != 13)
        return std::nullopt;
    PngHeader header;
    header.width = qFromBigEndian<quint32>(first->data);
    header.height = qFromBigEndian<quint32>(first->data + 4);
    header.bitDepth = first->data[8];
    header.colorType = first->data[9];
    header.compression = first->data[10];
    header.filter = first->data[11];
    header.interlace = first->data[12];
    if (header.width == 0 || header.height == 0 || header.width > 0x7FFFFFFF || header.height > 0x7FFFFFFF)
        return std::nullopt;
    return header;
}

bool exceedsLimit(quint64 width, quint64 height, qint64 allocationLimit)
{
    // 32 bits a pixel in the decoded image; the reading buffers cost about
    // as much again, so they are held to the same limit.
    return width * height > quint64(std::max<qint64>(allocationLimit, 0)) / 4;
}

inline uchar paeth(int a, int b, int c)
{
    const int p = a + b - c;
    const int pa = std::abs(p - a);
    const int pb = std::abs(p - b);
    const int pc = std::abs(p - c);
    if (pa <= pb && pa <= pc)
        return uchar(a);
    return pb <= pc ? uchar(b) : uchar(c);
}

// Undoes the row's filter from `filtered` into `row`; `previous` is the row
// above, already unfiltered (zeros for the first row).
bool unfilterRow(uchar type, const uchar *__restrict filtered, const uchar *__restrict previous,
                 uchar *__restrict row, size_t length, size_t bpp)
{
    switch (type) {
    case 0:
        std::memcpy(row, filtered, length);
        return true;
    case 1:
        std::memcpy(row, filtered, bpp);
        for (size_t i = bpp; i < length; ++i)
            row[i] = uchar(filtered[i] + row[i - bpp]);
        return true;
    case 2:
        for (size_t i = 0; i < length; ++i)
            row[i] = uchar(filtered[i] + previous[i]);
        return true;
    case 3:
        for (size_t i = 0; i < bpp; ++i)
            row[i] = uchar(filtered[i] + (previous[i] >> 1));
        for (size_t i = bpp; i < length; ++i)
            row[i] = uchar(filtered[i] + ((int(row[i - bpp]) + int(previous[i])) >> 1));
        return true;
    case 4:
        for (size_t i = 0; i < bpp; ++i)
            row[i] = uchar(filtered[i] + previous[i]);
        for (size_t i = bpp; i < length; ++i)
            row[i] = uchar(filtered[i] + paeth(row[i - bpp], previous[i], previous[i - bpp]));
        return true;
    default:
        return false;
    }
}

void convertRow(const uchar *__restrict row, QRgb *__restrict out, size_t width, size_t bpp)
{
    if (bpp == 3) {
        for (size_t x = 0; x < width; ++x, row += 3)
            out[x] = 0xFF000000u | quint32(row[0]) << 16 | quint32(row[1]) << 8 | quint32(row[2]);
    } else {
        for (size_t x = 0; x < width; ++x, row += 4)
            out[x] = quint32(row[3]) << 24 | quint32(row[0]) << 16 | quint32(row[1]) << 8 | quint32(row[2]);
    }
}

struct DecompressorDeleter
{
    void operator()(libdeflate_decompressor *d) const { libdeflate_free_decompressor(d); }
};

// The app's own kind of PNG: 8-bit RGB or RGBA, not interlaced. Nothing
// for anything else, which is left to Qt's reader.
std::optional<Expected<QImage, ImageDecodeError>> decodeSimplePng(const QByteArray &bytes, qint64 allocationLimit)
{
    ChunkReader reader(bytes);
    if (!reader.isPng())
        return std::nullopt;
    const std::optional<PngHeader> header = readHeader(reader);
    if (!header)
        return Expected<QImage, ImageDecodeError>(unexpected(ImageDecodeError::unreadable));
    if (header->bitDepth != 8 || (header->colorType != 2 && header->colorType != 6) || header->compression != 0
        || header->filter != 0 || header->interlace != 0)
        return std::nullopt;
    if (exceedsLimit(header->width, header->height, allocationLimit))
        return Expected<QImage, ImageDecodeError>(unexpected(ImageDecodeError::tooLarge));

    // The compressed stream, joined when the encoder split it over chunks.
    QByteArray joined;
    const uchar *stream = nullptr;
    size_t streamSize = 0;
    int idatCount = 0;
    bool ended = false;
    while (!ended) {
        const std::optional<Chunk> chunk = reader.next();
        if (!chunk)
            return Expected<QImage, ImageDecodeError>(unexpected(ImageDecodeError::unreadable));
        if (chunk->type == chunkType("IDAT")) {
            if (++idatCount == 1) {
                stream = chunk->data;
                streamSize = chunk->length;
            } else {
                if (idatCount == 2)
                    joined = QByteArray(reinterpret_cast<const char *>(stream), qsizetype(streamSize));
                joined.append(reinterpret_cast<const char *>(chunk->data), qsizetype(chunk->length));
            }
        } else if (chunk->type == chunkType("IEND")) {
            ended = true;
        } else if (chunk->type != chunkType("PLTE") && !(chunk->type & 0x20000000)) {
            // An unknown critical chunk: Qt's reader decides what it means.
            return std::nullopt;
        }
    }
    if (idatCount == 0)
        return Expected<QImage, ImageDecodeError>(unexpected(ImageDecodeError::unreadable));
    if (idatCount > 1) {
        stream = reinterpret_cast<const uchar *>(joined.constData());
        streamSize = size_t(joined.size());
    }

    const size_t width = header->width;
    const size_t height = header->height;
    const size_t bpp = header->colorType == 6 ? 4 : 3;
    const size_t rowLength = width * bpp;
    const size_t filteredSize = height * (rowLength + 1);
    const size_t pixelsSize = height * width * 4;
    // The filtered rows are inflated into the tail of the picture's own
    // buffer and turned into pixels front to back: row y's pixels never
    // reach a filtered row that is still to be read, and the picture needs
    // no second buffer of its size.
    const size_t bufferSize = std::max(filteredSize, pixelsSize);
    auto *buffer = static_cast<uchar *>(std::malloc(bufferSize));
    std::unique_ptr<uchar[]> rows(new (std::nothrow) uchar[2 * rowLength]());
    if (!buffer || !rows) {
        std::free(buffer);
        return Expected<QImage, ImageDecodeError>(unexpected(ImageDecodeError::tooLarge));
    }
    QImage image(buffer, int(width), int(height), qsizetype(width * 4),
                 bpp == 4 ? QImage::Format_ARGB32 : QImage::Format_RGB32, std::free, buffer);
    if (image.isNull()) {
        std::free(buffer);
        return Expected<QImage, ImageDecodeError>(unexpected(ImageDecodeError::tooLarge));
    }
    uchar *filtered = buffer + bufferSize - filteredSize;

    const std::unique_ptr<libdeflate_decompressor, DecompressorDeleter> decompressor(libdeflate_alloc_decompressor());
    if (!decompressor)
        return Expected<QImage, ImageDecodeError>(unexpected(ImageDecodeError::tooLarge));
    size_t consumed = 0;
    size_t produced = 0;
    if (libdeflate_zlib_decompress_ex(decompressor.get(), stream, streamSize, filtered, filteredSize, &consumed,
                                      &produced)
            != LIBDEFLATE_SUCCESS
        || produced != filteredSize)
        return Expected<QImage, ImageDecodeError>(unexpected(ImageDecodeError::unreadable));

    uchar *previous = rows.get();
    uchar *current = rows.get() + rowLength;
    for (size_t y = 0; y < height; ++y) {
        const uchar *line = filtered + y * (rowLength + 1);
        if (!unfilterRow(line[0], line + 1, previous, current, rowLength, bpp))
            return Expected<QImage, ImageDecodeError>(unexpected(ImageDecodeError::unreadable));
        convertRow(current, reinterpret_cast<QRgb *>(buffer + y * width * 4), width, bpp);
        std::swap(previous, current);
    }
    return Expected<QImage, ImageDecodeError>(std::move(image));
}

struct InflateStream
{
    z_stream stream{};
    bool ready = false;
    InflateStream() { ready = inflateInit(&stream) == Z_OK; }
    ~InflateStream()
    {
        if (ready)
            inflateEnd(&stream);
    }
    InflateStream(const InflateStream &) = delete;
    InflateStream &operator=(const InflateStream &) = delete;
};

// An opaque 8-bit RGB PNG (what a capture is) read straight into the grey
// picture a recogniser reads: each data chunk is inflated as it comes and
// each row unfiltered and made grey as soon as it is whole, so neither the
// joined stream nor the colour picture is ever held (at 5K they are 17 and
// 59 MB beside the grey's 15). Nothing for anything else, which is decoded
// in full and then made grey.
std::optional<Expected<QImage, ImageDecodeError>> decodeGreyPng(const QByteArray &bytes, qint64 allocationLimit)
{
    using Result = Expected<QImage, ImageDecodeError>;
    ChunkReader reader(bytes);
    if (!reader.isPng())
        return std::nullopt;
    const std::optional<PngHeader> header = readHeader(reader);
    if (!header)
        return Result(unexpected(ImageDecodeError::unreadable));
    if (header->bitDepth != 8 || header->colorType != 2 || header->compression != 0 || header->filter != 0
        || header->interlace != 0)
        return std::nullopt;
    // The same limit as the full decode's, so a picture is refused or read
    // alike by both.
    if (exceedsLimit(header->width, header->height, allocationLimit))
        return Result(unexpected(ImageDecodeError::tooLarge));

    const size_t width = header->width;
    const size_t height = header->height;
    constexpr size_t bpp = 3;
    const size_t rowLength = width * bpp;
    const size_t lineLength = rowLength + 1; // the filter type, then the row
    QImage grey(int(width), int(height), QImage::Format_Grayscale8);
    // Several rows' worth at a time keeps inflate in its fast loop.
    const size_t windowLength = std::max<size_t>(1, (size_t(256) * 1024) / lineLength) * lineLength;
    std::unique_ptr<uchar[]> window(new (std::nothrow) uchar[windowLength]);
    std::unique_ptr<uchar[]> rows(new (std::nothrow) uchar[2 * rowLength]());
    InflateStream inflater;
    if (grey.isNull() || !window || !rows || !inflater.ready)
        return Result(unexpected(ImageDecodeError::tooLarge));
    z_stream &stream = inflater.stream;

    uchar *previous = rows.get();
    uchar *current = rows.get() + rowLength;
    size_t y = 0;
    size_t filled = 0; // inflated bytes in the window not yet made rows
    bool streamEnded = false;
    // Turns the window's whole lines into grey rows and keeps the part line.
    auto takeRows = [&]() -> bool {
        size_t offset = 0;
        for (; filled - offset >= lineLength; offset += lineLength, ++y) {
            const uchar *line = window.get() + offset;
            if (!unfilterRow(line[0], line + 1, previous, current, rowLength, bpp))
                return false;
            uchar *target = grey.scanLine(int(y));
            const uchar *pixel = current;
            for (size_t x = 0; x < width; ++x, pixel += 3)
                target[x] = recognitionGreyLevel(pixel[0], pixel[1], pixel[2]);
            std::swap(previous, current);
        }
        filled -= offset;
        if (filled > 0 && offset > 0)
            std::memmove(window.get(), window.get() + offset, filled);
        return true;
    };
    for (bool ended = false; !ended;) {
        const std::optional<Chunk> chunk = reader.next();
        if (!chunk)
            return Result(unexpected(ImageDecodeError::unreadable));
        if (chunk->type == chunkType("IEND")) {
            ended = true;
            continue;
        }
        if (chunk->type != chunkType("IDAT")) {
            if (chunk->type != chunkType("PLTE") && !(chunk->type & 0x20000000))
                return std::nullopt; // an unknown critical chunk: the full decode decides
            continue;
        }
        // Bytes after the stream's end are ignored, as the full decode does.
        stream.next_in = const_cast<uchar *>(chunk->data);
        stream.avail_in = chunk->length;
        while (stream.avail_in > 0 && !streamEnded) {
            // Never more than the rows still to come: a byte beyond them
            // lands in `extra` and makes the picture unreadable.
            const size_t wanted = (height - y) * lineLength - filled;
            uchar extra = 0;
            stream.next_out = wanted > 0 ? window.get() + filled : &extra;
            stream.avail_out = uInt(wanted > 0 ? std::min(wanted, windowLength - filled) : 1);
            const uInt offered = stream.avail_out;
            const int status = inflate(&stream, Z_NO_FLUSH);
            if (status == Z_MEM_ERROR)
                return Result(unexpected(ImageDecodeError::tooLarge));
            if (status != Z_OK && status != Z_STREAM_END)
                return Result(unexpected(ImageDecodeError::unreadable));
            streamEnded = status == Z_STREAM_END;
            const size_t produced = offered - stream.avail_out;
            if (wanted == 0 && produced > 0)
                return Result(unexpected(ImageDecodeError::unreadable));
            filled += produced;
            if (!takeRows())
                return Result(unexpected(ImageDecodeError::unreadable));
        }
    }
    if (!streamEnded || y != height)
        return Result(unexpected(ImageDecodeError::unreadable));
    return Result(std::move(grey));
}

} // namespace

QSize imageSize(const QByteArray &bytes)
{
    ChunkReader reader(bytes);
    if (reader.isPng()) {
        if (const std::optional<PngHeader> header = readHeader(reader))
            return QSize(int(header->width), int(header->height));
        return QSize();
    }
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return QImageReader(&buffer).size();
}

Expected<QImage, ImageDecodeError> decode(const QByteArray &bytes, qint64 allocationLimit)
{
    if (std::optional<Expected<QImage, ImageDecodeError>> fast = decodeSimplePng(bytes, allocationLimit))
        return std::move(*fast);

    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QSize size = reader.size();
    if (size.isValid() && exceedsLimit(quint64(size.width()), quint64(size.height()), allocationLimit))
        return unexpected(ImageDecodeError::tooLarge);
    QImage image;
    if (!reader.read(&image) || image.isNull())
        return unexpected(ImageDecodeError::unreadable);
    // A reader that could not tell the size beforehand is held to the limit
    // afterwards, so callers can rely on it.
    if (exceedsLimit(quint64(image.width()), quint64(image.height()), allocationLimit))
        return unexpected(ImageDecodeError::tooLarge);
    return image;
}

Expected<QImage, ImageDecodeError> decodeGrey(const QByteArray &bytes, qint64 allocationLimit)
{
    if (std::optional<Expected<QImage, ImageDecodeError>> streamed = decodeGreyPng(bytes, allocationLimit))
        return std::move(*streamed);
    return decode(bytes, allocationLimit).transform([](const QImage &image) { return recognitionGreyImage(image); });
}

} // namespace tessaline::ImageDecoder

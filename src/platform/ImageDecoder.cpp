#include "platform/ImageDecoder.h"

#include "platform/TextRecognizer.h"

#include <libdeflate.h>
#include <zlib.h>

#include <QBuffer>
#include <QImageReader>
#include <QtEndian>

#include <cstdlib>
#include <cstring>
#include <limits>
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

    // The compressed stream, joined when the encoder split it over chunks:
    // once, at its whole length, as a 5K picture's is tens of chunks and
    // megabytes long.
    std::vector<std::pair<const uchar *, size_t>> parts;
    size_t streamSize = 0;
    bool ended = false;
    while (!ended) {
        const std::optional<Chunk> chunk = reader.next();
        if (!chunk)
            return Expected<QImage, ImageDecodeError>(unexpected(ImageDecodeError::unreadable));
        if (chunk->type == chunkType("IDAT")) {
            parts.emplace_back(chunk->data, chunk->length);
            streamSize += chunk->length;
        } else if (chunk->type == chunkType("IEND")) {
            ended = true;
        } else if (chunk->type != chunkType("PLTE") && !(chunk->type & 0x20000000)) {
            // An unknown critical chunk: Qt's reader decides what it means.
            return std::nullopt;
        }
    }
    if (parts.empty())
        return Expected<QImage, ImageDecodeError>(unexpected(ImageDecodeError::unreadable));
    QByteArray joined;
    const uchar *stream = parts.front().first;
    if (parts.size() > 1) {
        joined = QByteArray(qsizetype(streamSize), Qt::Uninitialized);
        if (joined.size() != qsizetype(streamSize))
            return Expected<QImage, ImageDecodeError>(unexpected(ImageDecodeError::tooLarge));
        char *to = joined.data();
        for (const auto &[data, length] : parts) {
            std::memcpy(to, data, length);
            to += length;
        }
        stream = reinterpret_cast<const uchar *>(joined.constData());
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
    auto *held = bufferSize <= size_t(std::numeric_limits<qsizetype>::max())
                     ? new (std::nothrow) QByteArray(qsizetype(bufferSize), Qt::Uninitialized)
                     : nullptr;
    std::unique_ptr<uchar[]> rows(new (std::nothrow) uchar[2 * rowLength]());
    if (!held || held->size() != qsizetype(bufferSize) || !rows) {
        delete held;
        return Expected<QImage, ImageDecodeError>(unexpected(ImageDecodeError::tooLarge));
    }
    auto *buffer = reinterpret_cast<uchar *>(held->data());
    const auto release = [](void *owned) { delete static_cast<QByteArray *>(owned); };
    QImage image(buffer, int(width), int(height), qsizetype(width * 4),
                 bpp == 4 ? QImage::Format_ARGB32 : QImage::Format_RGB32, release, held);
    if (image.isNull()) {
        delete held;
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

// An opaque 8-bit RGB PNG (what a capture is) read row by row: each data
// chunk is inflated as it comes and each row unfiltered as soon as it is
// whole and handed to `rows`, so neither the joined stream nor the colour
// picture is ever held (at 5K they are 17 and 59 MB). `rows.start(width,
// height)` comes first and says whether its memory could be had,
// `rows.take(y, rgb)` then sees every row in turn and `rows.result()` is
// the picture. Nothing for anything else, which is decoded in full.
template <typename Rows>
std::optional<Expected<QImage, ImageDecodeError>> streamOpaquePng(const QByteArray &bytes, qint64 allocationLimit,
                                                                  Rows &rows)
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
    // Several rows' worth at a time keeps inflate in its fast loop.
    const size_t windowLength = std::max<size_t>(1, (size_t(256) * 1024) / lineLength) * lineLength;
    std::unique_ptr<uchar[]> window(new (std::nothrow) uchar[windowLength]);
    std::unique_ptr<uchar[]> lines(new (std::nothrow) uchar[2 * rowLength]());
    InflateStream inflater;
    if (!rows.start(width, height) || !window || !lines || !inflater.ready)
        return Result(unexpected(ImageDecodeError::tooLarge));
    z_stream &stream = inflater.stream;

    uchar *previous = lines.get();
    uchar *current = lines.get() + rowLength;
    size_t y = 0;
    size_t filled = 0; // inflated bytes in the window not yet made rows
    bool streamEnded = false;
    // Hands on the window's whole lines as rows and keeps the part line.
    auto takeRows = [&]() -> bool {
        size_t offset = 0;
        for (; filled - offset >= lineLength; offset += lineLength, ++y) {
            const uchar *line = window.get() + offset;
            if (!unfilterRow(line[0], line + 1, previous, current, rowLength, bpp))
                return false;
            rows.take(y, current);
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
    return Result(rows.result());
}

// The rows made grey as a recogniser reads them (15 MB at 5K).
class GreyRows
{
public:
    bool start(size_t width, size_t height)
    {
        m_grey = QImage(int(width), int(height), QImage::Format_Grayscale8);
        return !m_grey.isNull();
    }
    void take(size_t y, const uchar *rgb)
    {
        uchar *target = m_grey.scanLine(int(y));
        for (int x = 0; x < m_grey.width(); ++x, rgb += 3)
            target[x] = recognitionGreyLevel(rgb[0], rgb[1], rgb[2]);
    }
    QImage result() { return std::move(m_grey); }

private:
    QImage m_grey;
};

// The size a picture of `size` is shrunk to so that it fits `bound`, as
// QImage::scaled with Qt::KeepAspectRatio gives it; its own when it fits.
QSize fittedSize(const QSize &size, const QSize &bound)
{
    if (size.width() <= bound.width() && size.height() <= bound.height())
        return size;
    const QSize fitted = size.scaled(bound, Qt::KeepAspectRatio);
    return QSize(std::max(fitted.width(), 1), std::max(fitted.height(), 1));
}

// The rows shrunk as they come: each pixel of the small picture is the mean
// of the source pixels that fall in it, so only the small picture and one
// row of sums are held.
class FittedRows
{
public:
    explicit FittedRows(const QSize &bound) : m_bound(bound) {}

    bool start(size_t width, size_t height)
    {
        m_width = width;
        m_height = height;
        const QSize fitted = fittedSize(QSize(int(width), int(height)), m_bound);
        m_image = QImage(fitted, QImage::Format_RGB32);
        if (m_image.isNull())
            return false;
        const auto columns = size_t(fitted.width());
        m_column.resize(width);
        m_columnCount.assign(columns, 0);
        for (size_t x = 0; x < width; ++x) {
            m_column[x] = quint32(quint64(x) * columns / width);
            ++m_columnCount[m_column[x]];
        }
        m_sums.assign(columns * 3, 0);
        return true;
    }
    void take(size_t y, const uchar *rgb)
    {
        const auto target = int(quint64(y) * quint64(m_image.height()) / m_height);
        if (target != m_row) {
            emitRow();
            m_row = target;
        }
        for (size_t x = 0; x < m_width; ++x, rgb += 3) {
            quint64 *sum = m_sums.data() + size_t(m_column[x]) * 3;
            sum[0] += rgb[0];
            sum[1] += rgb[1];
            sum[2] += rgb[2];
        }
        ++m_rowsSummed;
    }
    QImage result()
    {
        emitRow();
        return std::move(m_image);
    }

private:
    void emitRow()
    {
        if (m_rowsSummed == 0)
            return;
        auto *line = reinterpret_cast<QRgb *>(m_image.scanLine(m_row));
        for (int x = 0; x < m_image.width(); ++x) {
            const quint64 count = quint64(m_columnCount[size_t(x)]) * m_rowsSummed;
            const quint64 *sum = m_sums.data() + size_t(x) * 3;
            line[x] = qRgb(int((sum[0] + count / 2) / count), int((sum[1] + count / 2) / count),
                           int((sum[2] + count / 2) / count));
        }
        std::fill(m_sums.begin(), m_sums.end(), 0);
        m_rowsSummed = 0;
    }

    QSize m_bound;
    size_t m_width = 0;
    size_t m_height = 0;
    QImage m_image;
    std::vector<quint32> m_column; // the small picture's column of each source column
    std::vector<quint32> m_columnCount;
    std::vector<quint64> m_sums; // red, green and blue of each column
    int m_row = 0;
    quint64 m_rowsSummed = 0;
};

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
    GreyRows grey;
    if (std::optional<Expected<QImage, ImageDecodeError>> streamed = streamOpaquePng(bytes, allocationLimit, grey))
        return std::move(*streamed);
    return decode(bytes, allocationLimit).transform([](const QImage &image) { return recognitionGreyImage(image); });
}

Expected<QImage, ImageDecodeError> decodeFitted(const QByteArray &bytes, const QSize &bound, qint64 allocationLimit)
{
    FittedRows fitted(bound);
    if (std::optional<Expected<QImage, ImageDecodeError>> streamed = streamOpaquePng(bytes, allocationLimit, fitted))
        return std::move(*streamed);
    return decode(bytes, allocationLimit).transform([&bound](const QImage &image) {
        const QSize size = fittedSize(image.size(), bound);
        return size == image.size() ? image : image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    });
}

} // namespace tessaline::ImageDecoder

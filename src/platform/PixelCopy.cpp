#include "platform/PixelCopy.h"

#include "platform/ParallelParts.h"

#include <algorithm>
#include <thread>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tessaline {

namespace {

inline quint32 opaquePixel(quint32 p)
{
    return p | 0xff000000u;
}

inline quint32 dimmedPixel(quint32 p)
{
    constexpr quint32 keep = PixelCopy::dimmedKeepOf256;
    const quint32 redBlue = (((p & 0x00ff00ffu) * keep) >> 8) & 0x00ff00ffu;
    const quint32 green = (((p & 0x0000ff00u) * keep) >> 8) & 0x0000ff00u;
    return 0xff000000u | redBlue | green;
}

template<bool dim>
void copyRow(const quint32 *in, quint32 *out, int width, bool streaming)
{
    int x = 0;
#if defined(__SSE2__)
    // Streaming stores want 16-byte aligned targets.
    for (; x < width && (reinterpret_cast<quintptr>(out + x) & 15) != 0; ++x)
        out[x] = dim ? dimmedPixel(in[x]) : opaquePixel(in[x]);
    const __m128i alpha = _mm_set1_epi32(int(0xff000000u));
    const __m128i keep = _mm_set1_epi16(short(PixelCopy::dimmedKeepOf256));
    const __m128i zero = _mm_setzero_si128();
    for (; x + 4 <= width; x += 4) {
        __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + x));
        if constexpr (dim) {
            // Each channel widened to 16 bits, times 169, over 256: the same
            // result as the scalar rounding.
            const __m128i low = _mm_srli_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(p, zero), keep), 8);
            const __m128i high = _mm_srli_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(p, zero), keep), 8);
            p = _mm_packus_epi16(low, high);
        }
        p = _mm_or_si128(p, alpha);
        if (streaming)
            _mm_stream_si128(reinterpret_cast<__m128i *>(out + x), p);
        else
            _mm_store_si128(reinterpret_cast<__m128i *>(out + x), p);
    }
#else
    Q_UNUSED(streaming);
#endif
    for (; x < width; ++x)
        out[x] = dim ? dimmedPixel(in[x]) : opaquePixel(in[x]);
}

} // namespace

bool PixelCopy::prefersStreaming(qint64 bytes)
{
    // Below this a screen's worth of pixels still fits in a shared cache,
    // where the next reader (the X server, or the overlay's first paint)
    // finds it faster than in memory.
    return bytes > 16 * 1024 * 1024;
}

QImage PixelCopy::sampled(const QImage &image, QSize size)
{
    const bool thirtyTwoBits = image.format() == QImage::Format_RGB32 || image.format() == QImage::Format_ARGB32
                               || image.format() == QImage::Format_ARGB32_Premultiplied;
    if (!thirtyTwoBits || size.isEmpty() || size.width() > image.width() || size.height() > image.height())
        return image.scaled(size, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    QImage result(size, image.format());
    if (result.isNull())
        return {};
    // From each pixel's centre, as Qt's own fast scaling picks.
    std::vector<int> columns(size_t(size.width()));
    for (int x = 0; x < size.width(); ++x)
        columns[size_t(x)] = int((qint64(2 * x + 1) * image.width()) / (2 * qint64(size.width())));
    for (int y = 0; y < size.height(); ++y) {
        const int row = int((qint64(2 * y + 1) * image.height()) / (2 * qint64(size.height())));
        const auto *in = reinterpret_cast<const quint32 *>(image.constScanLine(row));
        auto *out = reinterpret_cast<quint32 *>(result.scanLine(y));
        for (int x = 0; x < size.width(); ++x)
            out[x] = in[columns[size_t(x)]];
    }
    result.setDevicePixelRatio(image.devicePixelRatio());
    return result;
}

void PixelCopy::copyRows(const PixelArea &area, Tone tone, int firstRow, int endRow, bool streaming)
{
    for (int row = firstRow; row < endRow; ++row) {
        const auto *in = reinterpret_cast<const quint32 *>(area.source + row * area.sourceStride);
        auto *out = reinterpret_cast<quint32 *>(area.target + row * area.targetStride);
        if (tone == Tone::dimmed)
            copyRow<true>(in, out, area.width, streaming);
        else
            copyRow<false>(in, out, area.width, streaming);
    }
#if defined(__SSE2__)
    if (streaming)
        _mm_sfence();
#endif
}

void PixelCopy::copy(const PixelArea &area, Tone tone)
{
    copy(area, tone, prefersStreaming(qint64(area.height) * area.width * 4));
}

void PixelCopy::copy(const PixelArea &area, Tone tone, bool streaming)
{
    const int rows = area.height;
    if (rows <= 0 || area.width <= 0)
        return;
    const qint64 pixels = qint64(rows) * area.width;
    // Memory bandwidth, not arithmetic, bounds these copies; four threads
    // are about all it takes to use it. Below about 4K, waiting for helper
    // threads to be scheduled on a busy machine costs more than they save.
    const int threads = pixels > 4'000'000 ? int(std::min(4u, std::max(1u, std::thread::hardware_concurrency()))) : 1;
    const int step = (rows + threads - 1) / threads;
    runParallelParts((rows + step - 1) / step, [&](int part) {
        copyRows(area, tone, part * step, std::min(rows, (part + 1) * step), streaming);
    });
}

} // namespace tessaline

#include "platform/PngRowFilter.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include <cstdlib>
#include <cstring>

namespace tessaline {

std::optional<PngPixelRows> PngPixelRows::make(const QImage &input)
{
    PngPixelRows source;
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

void PngPixelRows::readRow(int y, uint8_t *out) const
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

namespace {

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

} // namespace

uint64_t filterPngRow(PngRowFilter filter, const uint8_t *row, const uint8_t *previous, size_t length, int bpp,
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

// No cost is worked out. The bytes written past the row are taken by the
// next row (or the caller's slack).
void readAndFilterPngRow(const PngPixelRows &source, int y, PngRowFilter filter, const uint8_t *previous,
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
    filterPngRow(filter, current, previous, length, bpp, out);
}

} // namespace tessaline

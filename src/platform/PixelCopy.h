#pragma once

#include <QImage>

namespace tessaline {

// Copies of 32-bit pixels (Format_RGB32 / ARGB32_Premultiplied layout) that
// leave every pixel opaque, optionally darkened. These are the whole-screen
// copies between a grab and the first frame of the region overlay, so they
// use SIMD, split very large areas over a few threads, and write past the
// cache when the area is too large to be read back from it anyway.
struct PixelArea
{
    const uchar *source = nullptr;
    qsizetype sourceStride = 0;
    uchar *target = nullptr;
    qsizetype targetStride = 0;
    int width = 0;
    int height = 0;
};

class PixelCopy
{
public:
    enum class Tone { unchanged, dimmed };

    // Black at 34 % over the picture leaves 66 % of every channel; writing
    // that during the copy costs no pass of its own.
    static constexpr quint32 dimmedKeepOf256 = 169; // 169 / 256 ≈ 0.66

    // The whole area, over a few threads when it is large.
    static void copy(const PixelArea &area, Tone tone);
    static void copy(const PixelArea &area, Tone tone, bool streaming);
    // Rows [firstRow, endRow) on the calling thread. streaming: write past
    // the cache (for areas read back by someone else, or much later).
    static void copyRows(const PixelArea &area, Tone tone, int firstRow, int endRow, bool streaming);
    // Whether an area of this many bytes is better written past the cache.
    static bool prefersStreaming(qint64 bytes);

    // A 32-bit picture reduced to `size` by taking the nearest pixel, as a
    // capture's preview is smoothed from. Other formats, and sizes not
    // smaller, are left to Qt's scaling.
    static QImage sampled(const QImage &image, QSize size);
};

} // namespace tessaline

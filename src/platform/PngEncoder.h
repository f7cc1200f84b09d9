#pragma once

#include "platform/PngRowFilter.h"

#include <QByteArray>
#include <QImage>

#include <functional>
#include <optional>

namespace tessaline {

struct PngEncoderOptions
{
    // 0 is our own compressor, made for screen content (ScreenDeflater.h).
    // On the benchmark corpus, with the Sub filter in parallel strips, it
    // takes a fifth to a half of libdeflate level 1's processor time at
    // 1080p and 5K alike, and its files are 0.3 to 3 % smaller than level
    // 1's, 3 to 13 % larger than zlib's default level (bench_pngencoding).
    // 1 (fastest) to 12 (smallest) are libdeflate's levels.
    int compressionLevel = 0;
    // Sub suits captures best: flat runs and text edges along a row become
    // zeros and repeated bytes.
    PngRowFilter filter = PngRowFilter::Sub;
    // Worker threads for the strips, the caller's own included; 0 means one
    // fewer than the processors.
    int maxThreads = 0;
    // Rows are grouped into strips of about this many filtered bytes; each
    // strip is compressed on its own and the pieces are joined into one zlib
    // stream. The output depends on this size, never on the thread count.
    qsizetype stripBytes = 512 * 1024;
    // For a picture still arriving: called before a strip is read with how
    // many rows from the top it needs, and returns once they are there
    // (true) or will never be (false: nothing is made). Strips are taken
    // top first, so the encoding follows the picture down as it comes.
    std::function<bool(int rows)> waitForRows;
};

// Encodes the image as an 8-bit RGB PNG, or RGBA when it has an alpha
// channel (stored straight, not premultiplied). Safe to call from any
// thread; it blocks its caller until the file is complete. Nothing for a
// null image or when memory runs out.
std::optional<QByteArray> encodePng(const QImage &image, const PngEncoderOptions &options = {});

} // namespace tessaline

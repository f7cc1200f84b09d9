#pragma once

#include <QByteArray>
#include <QImage>

#include <optional>

namespace tessaline {

// How each row of pixels is predicted from its neighbours before compression.
// Adaptive picks, per row, the filter whose output has the smallest sum of
// absolute values (the usual PNG heuristic).
enum class PngRowFilter { None, Sub, Up, Paeth, Adaptive };

struct PngEncoderOptions
{
    // libdeflate level, 1 (fastest) to 12 (smallest).
    int compressionLevel = 1;
    PngRowFilter filter = PngRowFilter::Up;
    // Worker threads for the strips; 0 means one per processor but one.
    int maxThreads = 0;
    // Rows are grouped into strips of about this many filtered bytes; each
    // strip is compressed on its own and the pieces are joined into one zlib
    // stream. The output depends on this size, never on the thread count.
    qsizetype stripBytes = 512 * 1024;
};

// Encodes the image as an 8-bit RGB PNG, or RGBA when it has an alpha
// channel (stored straight, not premultiplied). Safe to call from any
// thread; it blocks its caller until the file is complete. Nothing for a
// null image or when memory runs out.
std::optional<QByteArray> encodePng(const QImage &image, const PngEncoderOptions &options = {});

} // namespace tessaline

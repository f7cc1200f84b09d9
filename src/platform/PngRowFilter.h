#pragma once

#include <QImage>

#include <cstddef>
#include <cstdint>
#include <optional>

namespace tessaline {

// How each row of pixels is predicted from its neighbours before compression.
// Adaptive picks, per row, the filter whose output has the smallest sum of
// absolute values (the usual PNG heuristic).
enum class PngRowFilter { None, Sub, Up, Paeth, Adaptive };

// A picture's rows as a PNG holds them: 8-bit R, G, B (and A, straight)
// bytes, read from the picture's own words where it can be done without a
// converted copy.
struct PngPixelRows
{
    QImage image;
    int channels = 3;
    bool fromUint32 = false;    // RGB32/ARGB32 words instead of RGB888/RGBA8888 bytes
    bool premultiplied = false; // ARGB32 words with premultiplied colour

    // Nothing when the picture cannot be converted (memory ran out).
    static std::optional<PngPixelRows> make(const QImage &input);

    const QRgb *words(int y) const { return reinterpret_cast<const QRgb *>(image.constScanLine(y)); }
    // Row `y` as PNG bytes; premultiplied words are taken as they are.
    void readRow(int y, uint8_t *out) const;
};

// Writes the filter type byte and `row` (`length` bytes, `bpp` per pixel)
// filtered against `previous` (zeros above the first row); returns the sum
// of the filtered bytes read as signed values, for the adaptive choice.
// Not for Adaptive itself.
uint64_t filterPngRow(PngRowFilter filter, const uint8_t *row, const uint8_t *previous, size_t length, int bpp,
                      uint8_t *out);

// Row `y` read and filtered in one pass, for a filter chosen up front (not
// Adaptive): the filter type byte, then the row. `previous` holds row y − 1
// as bytes (zeros for the first); `current` receives row y as bytes, unless
// the row was filtered straight from the picture's words. May write up to 4
// bytes past the row.
void readAndFilterPngRow(const PngPixelRows &rows, int y, PngRowFilter filter, const uint8_t *previous,
                         uint8_t *current, uint8_t *out);

} // namespace tessaline

#pragma once

#include "platform/Expected.h"

#include <QByteArray>
#include <QImage>
#include <QSize>

namespace tessaline {

enum class ImageDecodeError {
    // Not a picture Qt or the PNG reader can read, or damaged.
    unreadable,
    // Readable, but decoding it would need more memory than allowed.
    tooLarge,
};

// Reads stored pictures. The 8-bit RGB and RGBA PNGs that the app writes
// itself take a fast path of its own (libdeflate, checksums verified);
// everything else goes through Qt's image readers. Safe on any thread.
namespace ImageDecoder {

// What a stored picture may cost once decoded, 32 bits a pixel: twice an
// 8K display.
inline constexpr qint64 defaultAllocationLimit = qint64(256) * 1024 * 1024;

// The picture's size from its header alone; an invalid size when the
// header cannot be read.
QSize imageSize(const QByteArray &bytes);

// The decoded picture: RGB32 for opaque PNGs, straight ARGB32 for PNGs with
// alpha, Qt's own format otherwise. A picture whose header claims more than
// `allocationLimit` bytes of pixels is refused before anything is allocated.
Expected<QImage, ImageDecodeError> decode(const QByteArray &bytes, qint64 allocationLimit = defaultAllocationLimit);

// The picture as a recogniser reads it: what recognitionGreyImage makes of
// decode's result, with the same limit and errors. An opaque 8-bit PNG is
// read without ever holding its colour pixels; only the grey ones are kept.
Expected<QImage, ImageDecodeError> decodeGrey(const QByteArray &bytes, qint64 allocationLimit = defaultAllocationLimit);

// The picture shrunk to fit `bound` keeping its proportions (at the size
// QImage::scaled gives), or as it is when it fits: what a thumbnail or a
// preview is made from. An opaque 8-bit PNG is read row by row straight into
// the small picture, each of its pixels the mean of the pixels it covers, so
// a 5K capture is never held at full size; anything else is decoded in full
// and scaled smoothly. The same limit and errors as decode; never smaller
// than one pixel.
Expected<QImage, ImageDecodeError> decodeFitted(const QByteArray &bytes, const QSize &bound,
                                                qint64 allocationLimit = defaultAllocationLimit);

} // namespace ImageDecoder

} // namespace tessaline

#pragma once

#include "platform/Expected.h"
#include "platform/ImageDecoder.h"

#include <QByteArray>
#include <QImage>
#include <QString>

#include <optional>

namespace tessaline {

class CanvasCard;

// Why a snip's picture cannot be shown or exported with its annotations.
enum class AnnotatedCardError { pictureUnreadable, annotationsUnreadable, annotationsNotDrawable };
QString message(AnnotatedCardError error);

// The snip's original picture with its stored annotations drawn in, at its
// full pixel size; without annotation data (absent or zero bytes) the plain
// picture. Annotations that cannot be read or drawn faithfully are an error,
// never the plain picture: they may hide something, so every display, copy
// and export of the snip goes through here and shows a placeholder or an
// error instead. Main thread: the card reads its bytes from the store.
Expected<QImage, AnnotatedCardError> renderAnnotatedCard(const CanvasCard &card);

// The same from the card's bytes, for work off the main thread. A picture
// that would need more than `allocationLimit` bytes decoded is unreadable.
Expected<QImage, AnnotatedCardError> renderAnnotatedCard(const std::optional<QByteArray> &originalImageData,
                                                         const std::optional<QByteArray> &annotationDocumentData,
                                                         qint64 allocationLimit = ImageDecoder::defaultAllocationLimit);

} // namespace tessaline

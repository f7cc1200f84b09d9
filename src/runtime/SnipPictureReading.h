#pragma once

#include "model/AnnotatedCardRenderer.h"
#include "platform/BackgroundPool.h"
#include "platform/FutureDelivery.h"

#include <QByteArray>
#include <QFuture>
#include <QImage>

#include <optional>
#include <utility>

namespace tessaline {

class CanvasCard;

// The one road from a snip's stored picture to a screen. A 5K capture is
// megabytes to read from the library and a tenth of a second to decode, and
// a screen that opens on it or copies it must not stand still meanwhile: the
// bytes are read on the store's worker, the picture is made from them on the
// background pool, and the result comes back on the main thread, delivered
// to `receiver` as deliveredTo does (never once the receiver is gone). The
// card itself is only touched now; a card changed or deleted meanwhile is
// the receiver's to notice when the answer arrives.

// The stored bytes, none when the card holds none, handed to `make` on the
// background pool; what `make` returns is delivered.
QFuture<std::optional<QByteArray>> readStoredPicture(QObject *receiver, const CanvasCard &card);

template <typename Make>
auto readCardPicture(QObject *receiver, const CanvasCard &card, Make &&make)
{
    return deliveredTo(receiver, readStoredPicture(receiver, card).then(&backgroundPool(), std::forward<Make>(make)));
}

// What a screen shows of a snip.
enum class SnipPictureDrawing {
    // The picture as captured: what the annotation editor draws over, and
    // what the card editor shows.
    original,
    // With the annotations taken from the card now drawn in: what is framed,
    // copied, saved and pinned. Annotations that cannot be read or drawn are
    // an error, never the plain picture.
    annotated,
};

using SnipPictureResult = Expected<QImage, AnnotatedCardError>;

// The card's picture at full size. When both the picture and its annotations
// fail, the picture's failure is the one told: there is nothing to show
// either way.
QFuture<SnipPictureResult> readSnipPicture(QObject *receiver, const CanvasCard &card, SnipPictureDrawing drawing);

// The same from bytes at hand; safe on any thread.
SnipPictureResult drawSnipPicture(const std::optional<QByteArray> &imageData,
                                  const std::optional<QByteArray> &annotationData, SnipPictureDrawing drawing);

} // namespace tessaline

#pragma once

#include "model/AnnotatedCardRenderer.h"
#include "platform/BackgroundPool.h"
#include "platform/FutureDelivery.h"

#include <QByteArray>
#include <QFuture>
#include <QImage>

#include <functional>
#include <optional>
#include <utility>

namespace tessaline {

class CanvasCard;
class Pasteboard;

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

// Save As and Pin of a stored snip: its picture with its annotations drawn
// in, handed to `use` on the main thread while `receiver` lives. Nothing is
// handed on for a card moved to the trash or deleted meanwhile; `failed`
// runs then, as for a picture that cannot be read or drawn. A card whose
// picture or annotations changed meanwhile is read again: what leaves the
// app never lacks a redaction drawn since it was asked for.
using SnipPictureUse = std::function<void(const CanvasCard &card, const QImage &picture)>;
void exportSnipPicture(QObject *receiver, const CanvasCard &card, SnipPictureUse use,
                       std::function<void()> failed = {});
// Copy the same way, the PNG encoded off the main thread too (another
// tenth of a second at 5K); `done` hears whether the pasteboard took it.
void copySnipPicture(QObject *receiver, const CanvasCard &card, Pasteboard &pasteboard,
                     std::function<void(bool copied)> done = {});

// The same from bytes at hand; safe on any thread.
SnipPictureResult drawSnipPicture(const std::optional<QByteArray> &imageData,
                                  const std::optional<QByteArray> &annotationData, SnipPictureDrawing drawing);

} // namespace tessaline

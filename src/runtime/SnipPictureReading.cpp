#include "runtime/SnipPictureReading.h"

#include "model/CanvasCard.h"
#include "model/ModelContext.h"
#include "platform/ImageDecoder.h"

namespace tessaline {

QFuture<std::optional<QByteArray>> readStoredPicture(QObject *receiver, const CanvasCard &card)
{
    if (ModelContext *context = card.modelContext())
        return context->readCardData(receiver, card, CanvasCard::OriginalImageBlob);
    return deliveredTo(receiver, QtFuture::makeReadyFuture(card.originalImageData()));
}

SnipPictureResult drawSnipPicture(const std::optional<QByteArray> &imageData,
                                  const std::optional<QByteArray> &annotationData, SnipPictureDrawing drawing)
{
    if (drawing == SnipPictureDrawing::annotated) {
        SnipPictureResult drawn = renderAnnotatedCard(imageData, annotationData);
        if (drawn || drawn.error() != AnnotatedCardError::annotationsUnreadable)
            return drawn;
        // Unreadable annotations are found before the picture is decoded.
        if (!drawSnipPicture(imageData, std::nullopt, SnipPictureDrawing::original))
            return unexpected(AnnotatedCardError::pictureUnreadable);
        return drawn;
    }
    if (!imageData || imageData->isEmpty())
        return unexpected(AnnotatedCardError::pictureUnreadable);
    auto image = ImageDecoder::decode(*imageData);
    if (!image)
        return unexpected(AnnotatedCardError::pictureUnreadable);
    return *std::move(image);
}

QFuture<SnipPictureResult> readSnipPicture(QObject *receiver, const CanvasCard &card, SnipPictureDrawing drawing)
{
    std::optional<QByteArray> annotationData;
    if (drawing == SnipPictureDrawing::annotated)
        annotationData = card.annotationDocumentData();
    return readCardPicture(receiver, card, [annotationData, drawing](const std::optional<QByteArray> &imageData) {
        return drawSnipPicture(imageData, annotationData, drawing);
    });
}

} // namespace tessaline

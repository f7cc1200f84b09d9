#include "runtime/SnipPictureReading.h"

#include "model/CanvasCard.h"
#include "model/ModelContext.h"
#include "platform/ImageDecoder.h"
#include "platform/Pasteboard.h"
#include "runtime/ImageExportService.h"

#include <QPointer>

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

namespace {

// What Copy and Save As hand on: the picture, and for Copy its PNG.
struct Exported
{
    QImage picture;
    std::optional<QByteArray> png;
};

template <typename Use>
void handOn(QObject *receiver, const CanvasCard &card, bool encodesPng, Use use, std::function<void()> failed)
{
    // The card is watched, not read again at the end: reading its
    // annotations back would be the main thread's work once more.
    auto changed = std::make_shared<bool>(false);
    const QMetaObject::Connection watch
        = QObject::connect(&card, &PersistentEntity::changed, receiver, [changed](int property) {
              if (property == CanvasCard::OriginalImageDataProperty || property == CanvasCard::AnnotationDocumentDataProperty)
                  *changed = true;
          });
    const std::optional<QByteArray> annotationData = card.annotationDocumentData();
    const QPointer<const CanvasCard> asked(&card);
    readCardPicture(receiver, card, [annotationData, encodesPng](const std::optional<QByteArray> &imageData) {
        Exported exported;
        if (auto picture = drawSnipPicture(imageData, annotationData, SnipPictureDrawing::annotated)) {
            exported.picture = *std::move(picture);
            if (encodesPng)
                exported.png = ImageExportService::pngData(exported.picture);
        }
        return exported;
    }).then(receiver, [receiver, encodesPng, use, failed, changed, watch, asked](const Exported &exported) {
        QObject::disconnect(watch);
        if (asked && asked->isLive() && *changed) {
            handOn(receiver, *asked, encodesPng, use, failed);
            return;
        }
        if (!asked || !asked->isLive() || exported.picture.isNull() || (encodesPng && !exported.png)) {
            if (failed)
                failed();
            return;
        }
        use(*asked, exported);
    });
}

} // namespace

void exportSnipPicture(QObject *receiver, const CanvasCard &card, SnipPictureUse use, std::function<void()> failed)
{
    handOn(receiver, card, false,
           [use = std::move(use)](const CanvasCard &exported, const Exported &made) { use(exported, made.picture); },
           std::move(failed));
}

void copySnipPicture(QObject *receiver, const CanvasCard &card, Pasteboard &pasteboard,
                     std::function<void(bool copied)> done)
{
    handOn(
        receiver, card, true,
        [&pasteboard, done](const CanvasCard &, const Exported &made) {
            const bool copied = pasteboard.setImage(*made.png);
            if (done)
                done(copied);
        },
        [done] {
            if (done)
                done(false);
        });
}

} // namespace tessaline

#include "model/AnnotatedCardRenderer.h"

#include "model/AnnotationDocument.h"
#include "model/AnnotationRenderer.h"
#include "model/CanvasCard.h"

namespace tessaline {

QString message(AnnotatedCardError error)
{
    switch (error) {
    case AnnotatedCardError::pictureUnreadable:
        return QStringLiteral("The snip’s picture could not be read.");
    case AnnotatedCardError::annotationsUnreadable:
        return QStringLiteral("The snip’s annotations could not be read, so the snip is not shown or exported "
                              "without them. Its stored annotations are left as they are.");
    case AnnotatedCardError::annotationsNotDrawable:
        return QStringLiteral("The snip’s annotations could not be drawn, so the snip is not shown or exported "
                              "without them.");
    }
    return QString();
}

Expected<QImage, AnnotatedCardError> renderAnnotatedCard(const CanvasCard &card)
{
    return renderAnnotatedCard(card.originalImageData(), card.annotationDocumentData());
}

Expected<QImage, AnnotatedCardError> renderAnnotatedCard(const std::optional<QByteArray> &originalImageData,
                                                         const std::optional<QByteArray> &annotationDocumentData,
                                                         qint64 allocationLimit)
{
    // The annotations are read first: whether the picture may be shown at all
    // depends on them.
    const auto document = AnnotationDocument::decode(annotationDocumentData);
    if (!document)
        return unexpected(AnnotatedCardError::annotationsUnreadable);
    if (!originalImageData || originalImageData->isEmpty())
        return unexpected(AnnotatedCardError::pictureUnreadable);
    // Held to an allocation limit: a damaged or hostile header must not
    // claim gigabytes.
    auto image = ImageDecoder::decode(*originalImageData, allocationLimit);
    if (!image)
        return unexpected(AnnotatedCardError::pictureUnreadable);
    std::optional<QImage> rendered = AnnotationRenderer::renderImage(*std::move(image), document->items);
    if (!rendered)
        return unexpected(AnnotatedCardError::annotationsNotDrawable);
    return *std::move(rendered);
}

} // namespace tessaline

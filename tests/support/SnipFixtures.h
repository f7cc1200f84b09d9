#pragma once

// Stored snips for tests of the pictures made from them: PNG bytes of one
// colour, a redaction that covers the picture's edges, and a card holding
// both outside any store.

#include "model/AnnotationDocument.h"
#include "model/CanvasCard.h"

#include <QBuffer>
#include <QImage>

#include <memory>

namespace tessaline::testing {

inline QByteArray filledPng(QSize size, const QColor &colour)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// A black frame 60 pixels wide along every edge: whatever lies under it
// must never show in a copy.
inline QByteArray blackFrame()
{
    AnnotationDocument document;
    AnnotationItem item;
    item.id = QUuid::createUuid();
    item.tool = AnnotationTool::rectangle;
    item.points = {{0, 0}, {1, 1}};
    item.color = AnnotationColor{0, 0, 0, 1};
    item.lineWidth = 60;
    document.items.append(item);
    return *document.encode();
}

inline std::unique_ptr<CanvasCard> storedSnip(const std::optional<QByteArray> &picture,
                                              const std::optional<QByteArray> &annotations = std::nullopt)
{
    CanvasCard::Init init;
    init.kind = CardKind::snip;
    init.originalImageData = picture;
    init.annotationDocumentData = annotations;
    init.createdAt = QDateTime::currentDateTimeUtc();
    return std::make_unique<CanvasCard>(init);
}

} // namespace tessaline::testing

#pragma once

// Stored snips for tests of the pictures made from them: a redaction that
// covers the picture's edges, and a card holding a picture (pngOf) and its
// annotations outside any store.

#include "LibraryBuilder.h"

#include "model/AnnotationDocument.h"
#include "model/CanvasCard.h"

#include <memory>

namespace tessaline::testing {

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
    return makeCard(QUuid::createUuid(), CardFields{.created = QDateTime::currentDateTimeUtc(),
                                                    .image = picture,
                                                    .annotations = annotations});
}

} // namespace tessaline::testing

#pragma once

#include "runtime/OCRService.h"
#include "model/AnnotationDocument.h"

#include <QList>
#include <QRectF>
#include <QString>

namespace tessaline {

// What of a snip's recognised text may be kept once its annotations hide
// parts of the picture: the words under a pixelation box are gone from the
// picture every export shows, so they are gone from the stored text, the
// search index and the note brief as well. The boxes of the recogniser's
// words decide; the text comes back in full once the boxes are removed.
namespace TextRedaction {

// The areas the annotations hide, as fractions of the picture (origin
// top-left): every pixelation box the renderer draws on a picture of that
// size (every one when the size is not known).
QList<QRectF> hiddenAreas(const QList<AnnotationItem> &items, const QSize &imageSize);

// The recognised text without the words that overlap a hidden area; a line
// left without words is left out. Without hidden areas, the text as read.
// With hidden areas but no word boxes to go by, nothing is kept.
QString visibleText(const RecognizedText &recognized, const QList<AnnotationItem> &items);

// The same under a card's stored annotations. Annotations that cannot be
// read may hide anything: none of the text is visible then.
QString visibleText(const RecognizedText &recognized, const std::optional<QByteArray> &annotationData);
// Whether stored annotations may hide part of the picture: they hold a
// pixelation box, or they cannot be read.
bool mayHidePicture(const std::optional<QByteArray> &annotationData);
// Whether the stored annotations hide other areas than the previous ones
// did (unreadable ones count as hiding everything).
bool hidesOtherAreas(const std::optional<QByteArray> &previousData, const std::optional<QByteArray> &annotationData,
                     const QSize &imageSize);

} // namespace TextRedaction
} // namespace tessaline

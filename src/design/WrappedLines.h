#pragma once

#include <QStringList>

class QFont;
class QPainter;
class QRectF;

namespace tessaline {

// The lines of `text` wrapped at `width`, at most `maximumLines` of them;
// the last ends in an ellipsis when the text goes on, so a cut is seen.
QStringList wrappedLines(const QString &text, const QFont &font, qreal width, int maximumLines);

// Draws wrappedLines() of `text` for the width of `rect`, from its top, one
// line spacing apart. Returns the height used; the rectangle's height is not
// read.
int drawWrappedLines(QPainter *painter, const QString &text, const QFont &font, const QRectF &rect, int maximumLines);

} // namespace tessaline

#pragma once

#include "design/StudioControls.h"

#include <QColor>
#include <QRectF>
#include <QString>

class QPainter;

namespace tessaline {

// A button look with its colours worked out for one palette, ready to paint;
// two of them blend while a press or hover fades.
struct StudioButtonPaint {
    QColor foreground;
    QColor fill;
    QColor border;
    qreal borderWidth = 0;
    qreal opacity = 1;
    qreal scale = 1;
};

StudioButtonPaint resolveButtonLook(const StudioButtonLook &look, const QPalette &palette, bool increasedContrast);
StudioButtonPaint blendButtonPaint(const StudioButtonPaint &from, const StudioButtonPaint &to, qreal amount);

// What a button shows: a symbol, a text or both. While a symbol is being
// replaced, `previousSystemImage` fades out as `symbolTransition` goes to 1.
struct StudioButtonLabel {
    QString text;
    QString systemImage;
    QString previousSystemImage;
    qreal symbolTransition = 1;
};

// The natural size of a button for its label.
QSizeF studioButtonSize(const StudioButtonMetrics &metrics, const QString &text, const QString &systemImage);

// Paints the whole button into `bounds`: fill, label, then the border inside
// the outline, all at the look's opacity and scale.
void paintStudioButton(QPainter *painter, const QRectF &bounds, const StudioButtonMetrics &metrics,
                       const StudioButtonPaint &paint, const StudioButtonLabel &label,
                       Qt::LayoutDirection direction = Qt::LeftToRight);

// The same for item delegates and canvas items, from the style's tables:
// exactly what the widget shows once a press or hover has settled.
void paintStudioButton(QPainter *painter, const QRectF &bounds, StudioButtonStyle style,
                       StudioControlProminence prominence, StudioControlSize size, const StudioButtonState &state,
                       const QString &text, const QString &systemImage, const QPalette &palette);

// True when `point` lies on the button's rounded shape, for hit tests.
bool studioButtonContains(const QRectF &bounds, const StudioButtonMetrics &metrics, const QPointF &point);

} // namespace tessaline

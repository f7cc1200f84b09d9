#pragma once

#include "design/SemanticColors.h"

#include <QMarginsF>
#include <QRectF>

class QPainter;

namespace tessaline {

enum class QuietCardTone { thought, snip, suggestion };
enum class QuietCardElevation { flat, floating, dragging };

struct QuietCardShadow {
    qreal opacity = 0;
    qreal blurRadius = 0;
    qreal yOffset = 0;
};

// Everything a quiet card surface draws, from its inputs and the contrast.
struct QuietCardLook {
    ColorSpec fill;
    ColorSpec hoverTint;
    ColorSpec border;
    qreal borderWidth = 1;
    bool dashed = false;
    QuietCardShadow shadow;
};

QuietCardLook quietCardLook(QuietCardTone tone, bool isSelected, bool isHovered, QuietCardElevation elevation,
                            bool increasedContrast);

QuietCardShadow quietCardShadow(QuietCardElevation elevation);

// Room a widget keeps around the card's shape so its shadow is not cut off.
QMarginsF quietCardShadowMargins(QuietCardElevation elevation);

struct QuietCardSurface {
    QuietCardTone tone = QuietCardTone::thought;
    bool isSelected = false;
    // How far the pointer's hover has faded in, 0 to 1 (true hover is 1).
    qreal hoverAmount = 0;
    QuietCardElevation elevation = QuietCardElevation::flat;
    qreal cornerRadius = 12;
};

// The card's shadow and fill (under its content) and its hover tint and
// border (over its content). `rect` is the card's shape; the shadow falls
// outside it. Delegates and canvas items call these to look exactly like
// `QuietCard`.
void paintQuietCardBackground(QPainter *painter, const QRectF &rect, const QuietCardSurface &surface,
                              const QPalette &palette, bool increasedContrast);
void paintQuietCardOverlay(QPainter *painter, const QRectF &rect, const QuietCardSurface &surface,
                           const QPalette &palette, bool increasedContrast);
void paintQuietCard(QPainter *painter, const QRectF &rect, const QuietCardSurface &surface, const QPalette &palette,
                    bool increasedContrast);

// The plain background behind canvases and library screens.
void paintQuietCanvas(QPainter *painter, const QRectF &rect, const QPalette &palette);

} // namespace tessaline

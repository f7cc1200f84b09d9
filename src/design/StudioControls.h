#pragma once

#include "design/SemanticColors.h"

#include <QFont>

namespace tessaline {

enum class StudioControlProminence { standard, accent, destructive };

// The three painted button styles; cards have a style of their own.
enum class StudioButtonStyle { primary, compact, icon };

// Only mini, small and large are told apart; every other size draws as regular.
enum class StudioControlSize { mini, small, regular, large, extraLarge };

// What a button style reads when it draws one frame.
struct StudioButtonState {
    bool isEnabled = true;
    bool isPressed = false;
    bool isHovered = false;
    bool isSelected = false;
    bool increasedContrast = false;
    bool reduceMotion = false;
};

// The decoration of one state. Colours stay semantic until painted.
struct StudioButtonLook {
    ColorSpec foreground;
    ColorSpec fill{SemanticColor::primary, 0};
    ColorSpec border{SemanticColor::primary, 0};
    qreal borderWidth = 0;
    // Opacity of the whole button, label included.
    qreal opacity = 1;
    // Scale about the centre.
    qreal scale = 1;
    // Whether press and hover changes fade (off under reduce motion).
    bool animates = true;
};

struct StudioButtonMetrics {
    qreal fontSize = 12;
    QFont::Weight fontWeight = QFont::Medium;
    bool singleLine = true;
    qreal horizontalPadding = 0;
    qreal minimumWidth = 0;
    qreal minimumHeight = 0;
    qreal cornerRadius = 7;
};

StudioButtonMetrics primaryButtonMetrics(StudioControlSize size);
StudioButtonMetrics compactButtonMetrics();
StudioButtonMetrics iconButtonMetrics();

// The main action: an inverted chip in the label colour.
StudioButtonLook primaryButtonLook(const StudioButtonState &state);
// Small text buttons and symbol-only buttons; they share their colours and
// differ in how far they shrink when pressed.
StudioButtonLook compactButtonLook(StudioControlProminence prominence, const StudioButtonState &state);
StudioButtonLook iconButtonLook(StudioControlProminence prominence, const StudioButtonState &state);
// Whole cards and rows acting as buttons: they only dim and shrink a little.
StudioButtonLook cardButtonLook(const StudioButtonState &state);

// By style; the control size matters to the primary style only, the
// prominence to the compact and icon styles only.
StudioButtonMetrics studioButtonMetrics(StudioButtonStyle style, StudioControlSize size);
StudioButtonLook studioButtonLook(StudioButtonStyle style, StudioControlProminence prominence,
                                  const StudioButtonState &state);

} // namespace tessaline

#include "design/StudioControls.h"

namespace tessaline {

StudioButtonMetrics primaryButtonMetrics(StudioControlSize size)
{
    StudioButtonMetrics metrics;
    metrics.fontWeight = QFont::DemiBold;
    metrics.singleLine = true;
    switch (size) {
    case StudioControlSize::mini:
        metrics.fontSize = 10;
        metrics.horizontalPadding = 8;
        metrics.minimumHeight = 22;
        metrics.cornerRadius = 5;
        break;
    case StudioControlSize::small:
        metrics.fontSize = 11;
        metrics.horizontalPadding = 10;
        metrics.minimumHeight = 26;
        metrics.cornerRadius = 6;
        break;
    case StudioControlSize::large:
        metrics.fontSize = 13;
        metrics.horizontalPadding = 16;
        metrics.minimumHeight = 34;
        metrics.cornerRadius = 8;
        break;
    case StudioControlSize::regular:
    case StudioControlSize::extraLarge:
        metrics.fontSize = 12;
        metrics.horizontalPadding = 13;
        metrics.minimumHeight = 30;
        metrics.cornerRadius = 7;
        break;
    }
    return metrics;
}

StudioButtonMetrics compactButtonMetrics()
{
    StudioButtonMetrics metrics;
    metrics.fontSize = 12;
    metrics.fontWeight = QFont::Medium;
    metrics.singleLine = true;
    metrics.horizontalPadding = 8;
    metrics.minimumHeight = 28;
    metrics.cornerRadius = 7;
    return metrics;
}

StudioButtonMetrics iconButtonMetrics()
{
    StudioButtonMetrics metrics;
    metrics.fontSize = 13;
    metrics.fontWeight = QFont::Medium;
    metrics.singleLine = false;
    metrics.horizontalPadding = 0;
    metrics.minimumWidth = 28;
    metrics.minimumHeight = 28;
    metrics.cornerRadius = 7;
    return metrics;
}

StudioButtonLook primaryButtonLook(const StudioButtonState &state)
{
    StudioButtonLook look;
    look.animates = !state.reduceMotion;
    if (state.isEnabled) {
        look.foreground = {SemanticColor::windowBackground, 1.0};
        look.fill = {SemanticColor::label, state.isPressed ? 0.76 : state.isHovered ? 0.88 : 1.0};
        if (state.increasedContrast) {
            look.border = {SemanticColor::windowBackground, 0.75};
            look.borderWidth = 1.0;
        } else {
            look.border = {SemanticColor::windowBackground, 0};
            look.borderWidth = 0;
        }
        look.scale = state.isPressed && !state.reduceMotion ? 0.975 : 1.0;
    } else {
        look.foreground = {SemanticColor::disabledControlText, 1.0};
        look.fill = {SemanticColor::primary, state.increasedContrast ? 0.14 : 0.08};
        look.border = {SemanticColor::separator, 1.0};
        look.borderWidth = 1.0;
        look.scale = 1.0;
    }
    return look;
}

namespace {

StudioButtonLook chipLook(StudioControlProminence prominence, const StudioButtonState &state, qreal pressedScale)
{
    StudioButtonLook look;
    look.animates = !state.reduceMotion;
    switch (prominence) {
    case StudioControlProminence::standard: {
        look.foreground = {SemanticColor::primary, 1.0};
        qreal fill = 0;
        if (state.isSelected)
            fill = state.isPressed ? 0.22 : state.increasedContrast ? 0.18 : 0.11;
        else
            fill = state.isPressed ? 0.12 : state.isHovered ? 0.07 : 0;
        look.fill = {SemanticColor::primary, fill};
        look.border = {SemanticColor::primary, 0.7};
        break;
    }
    case StudioControlProminence::accent:
        look.foreground = {SemanticColor::windowBackground, 1.0};
        look.fill = {SemanticColor::label, state.isPressed ? 0.76 : 1.0};
        look.border = {SemanticColor::windowBackground, 0.55};
        break;
    case StudioControlProminence::destructive:
        look.foreground = {SemanticColor::systemRed, 1.0};
        look.fill = {SemanticColor::systemRed, state.isPressed ? 0.18 : state.isHovered ? 0.12 : 0.07};
        look.border = {SemanticColor::systemRed, 0.7};
        break;
    }
    const bool strongBorder = state.isSelected || prominence != StudioControlProminence::standard;
    look.borderWidth = state.increasedContrast && strongBorder ? 1.5 : 0;
    // A disabled chip keeps its fill and is dimmed as a whole.
    look.opacity = state.isEnabled ? 1.0 : 0.45;
    look.scale = state.isPressed && state.isEnabled && !state.reduceMotion ? pressedScale : 1.0;
    return look;
}

} // namespace

StudioButtonLook compactButtonLook(StudioControlProminence prominence, const StudioButtonState &state)
{
    return chipLook(prominence, state, 0.975);
}

StudioButtonLook iconButtonLook(StudioControlProminence prominence, const StudioButtonState &state)
{
    return chipLook(prominence, state, 0.94);
}

StudioButtonLook cardButtonLook(const StudioButtonState &state)
{
    StudioButtonLook look;
    look.animates = !state.reduceMotion;
    look.opacity = state.isPressed ? 0.84 : state.isEnabled ? 1.0 : 0.5;
    look.scale = state.isPressed && state.isEnabled && !state.reduceMotion ? 0.992 : 1.0;
    return look;
}

StudioButtonMetrics studioButtonMetrics(StudioButtonStyle style, StudioControlSize size)
{
    switch (style) {
    case StudioButtonStyle::primary:
        return primaryButtonMetrics(size);
    case StudioButtonStyle::compact:
        return compactButtonMetrics();
    case StudioButtonStyle::icon:
        return iconButtonMetrics();
    }
    return compactButtonMetrics();
}

StudioButtonLook studioButtonLook(StudioButtonStyle style, StudioControlProminence prominence,
                                  const StudioButtonState &state)
{
    switch (style) {
    case StudioButtonStyle::primary:
        return primaryButtonLook(state);
    case StudioButtonStyle::compact:
        return compactButtonLook(prominence, state);
    case StudioButtonStyle::icon:
        return iconButtonLook(prominence, state);
    }
    return compactButtonLook(prominence, state);
}

} // namespace tessaline

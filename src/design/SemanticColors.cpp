#include "design/SemanticColors.h"

#include <QGuiApplication>

#include <algorithm>
#include <cmath>

namespace tessaline {

bool isDarkPalette(const QPalette &palette)
{
    return palette.color(QPalette::Window).lightnessF() < 0.5;
}

QColor withOpacity(QColor color, qreal opacity)
{
    color.setAlphaF(std::clamp(color.alphaF() * opacity, 0.0, 1.0));
    return color;
}

namespace {

qreal relativeLuminance(const QColor &color)
{
    const auto linear = [](qreal channel) {
        return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
    };
    const QColor rgb = color.toRgb();
    return 0.2126 * linear(rgb.redF()) + 0.7152 * linear(rgb.greenF()) + 0.0722 * linear(rgb.blueF());
}

} // namespace

qreal contrastRatio(const QColor &foreground, const QColor &background)
{
    QColor ground = background.toRgb();
    ground.setAlphaF(1);
    QColor ink = mixColors(ground, QColor(foreground.toRgb().rgb()), foreground.alphaF());
    const qreal a = relativeLuminance(ink);
    const qreal b = relativeLuminance(ground);
    return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
}

QColor selectionFill(const QPalette &palette, QPalette::ColorGroup group)
{
    const QColor highlight = palette.color(group, QPalette::Highlight);
    const QColor text = withOpacity(palette.color(group, QPalette::HighlightedText), selectedSecondaryTextOpacity);
    // Away from the text: darker under light text, lighter under dark.
    const QColor away = relativeLuminance(text) > 0.5 ? QColor(Qt::black) : QColor(Qt::white);
    for (int step = 0; step <= 20; ++step) {
        const QColor candidate = mixColors(highlight, away, step * 0.05);
        if (contrastRatio(text, candidate) >= minimumTextContrast)
            return candidate;
    }
    return away;
}

QColor mixColors(const QColor &from, const QColor &to, qreal amount)
{
    const qreal t = std::clamp(amount, 0.0, 1.0);
    const QColor a = from.toRgb();
    const QColor b = to.toRgb();
    return QColor::fromRgbF(float(a.redF() + (b.redF() - a.redF()) * t), float(a.greenF() + (b.greenF() - a.greenF()) * t),
                            float(a.blueF() + (b.blueF() - a.blueF()) * t),
                            float(a.alphaF() + (b.alphaF() - a.alphaF()) * t));
}

QColor semanticColor(SemanticColor color, const QPalette &palette, bool increasedContrast)
{
    const QColor text = palette.color(QPalette::WindowText);
    switch (color) {
    case SemanticColor::windowBackground:
        return palette.color(QPalette::Window);
    case SemanticColor::controlBackground:
    case SemanticColor::textBackground:
        return palette.color(QPalette::Base);
    case SemanticColor::label:
    case SemanticColor::primary:
        return text;
    case SemanticColor::separator:
        return withOpacity(text, increasedContrast ? 0.4 : 0.12);
    case SemanticColor::unemphasizedSelectedContentBackground:
        return palette.color(QPalette::Inactive, QPalette::Highlight);
    case SemanticColor::shadow:
        return Qt::black;
    // Both stay readable as text on the window and on controls: at least
    // 4.5:1 there (lighter greys were hard to read, small).
    case SemanticColor::secondary:
        return withOpacity(text, increasedContrast ? 0.8 : 0.68);
    case SemanticColor::tertiary:
        return withOpacity(text, increasedContrast ? 0.7 : 0.58);
    case SemanticColor::disabledControlText:
        return withOpacity(text, 0.25);
    case SemanticColor::systemRed:
        if (isDarkPalette(palette))
            return increasedContrast ? QColor(255, 105, 97) : QColor(255, 69, 58);
        return increasedContrast ? QColor(215, 0, 21) : QColor(255, 59, 48);
    }
    return text;
}

QColor resolveColor(const ColorSpec &shade, const QPalette &palette, bool increasedContrast)
{
    return withOpacity(semanticColor(shade.color, palette, increasedContrast), shade.opacity);
}

QPalette readablePalette(const QPalette &palette, bool windowActive)
{
    QPalette readable = palette;
    readable.setCurrentColorGroup(windowActive ? QPalette::Active : QPalette::Inactive);
    return readable;
}

namespace TessalineColors {

QColor separator(bool increasedContrast)
{
    return semanticColor(SemanticColor::separator, QGuiApplication::palette(), increasedContrast);
}

QColor unemphasizedSelectedContentBackground()
{
    return semanticColor(SemanticColor::unemphasizedSelectedContentBackground, QGuiApplication::palette());
}

QColor controlBackground()
{
    return semanticColor(SemanticColor::controlBackground, QGuiApplication::palette());
}

QColor textBackground()
{
    return semanticColor(SemanticColor::textBackground, QGuiApplication::palette());
}

QColor label()
{
    return semanticColor(SemanticColor::label, QGuiApplication::palette());
}

QColor windowBackground()
{
    return semanticColor(SemanticColor::windowBackground, QGuiApplication::palette());
}

QColor shadow()
{
    return semanticColor(SemanticColor::shadow, QGuiApplication::palette());
}

} // namespace TessalineColors

} // namespace tessaline

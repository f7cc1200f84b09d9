#include "design/SemanticColors.h"

#include <QGuiApplication>

#include <algorithm>

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
    case SemanticColor::secondary:
        return withOpacity(text, increasedContrast ? 0.72 : 0.55);
    case SemanticColor::tertiary:
        return withOpacity(text, increasedContrast ? 0.5 : 0.3);
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

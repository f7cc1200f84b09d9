#pragma once

#include <QColor>
#include <QPalette>

namespace tessaline {

// The named colours the design system paints with. Each is read from the
// palette in force when it is asked for, never cached, so a change of theme
// or contrast shows at the next paint.
enum class SemanticColor {
    windowBackground,
    controlBackground,
    textBackground,
    label,
    separator,
    unemphasizedSelectedContentBackground,
    shadow,
    primary,
    secondary,
    tertiary,
    disabledControlText,
    systemRed,
};

// The one mapping from a semantic colour to the palette. Increased contrast
// deepens the translucent greys (separator, secondary, tertiary) and the red.
QColor semanticColor(SemanticColor color, const QPalette &palette, bool increasedContrast = false);

// A semantic colour at an opacity; the opacity multiplies the colour's own
// alpha (the separator is already translucent).
struct ColorSpec {
    SemanticColor color = SemanticColor::label;
    qreal opacity = 1.0;

    friend bool operator==(const ColorSpec &, const ColorSpec &) = default;
};

QColor resolveColor(const ColorSpec &shade, const QPalette &palette, bool increasedContrast = false);

QColor withOpacity(QColor color, qreal opacity);
QColor mixColors(const QColor &from, const QColor &to, qreal amount);

// True when the palette draws light text on a dark window.
bool isDarkPalette(const QPalette &palette);

// How far apart two colours are to the eye (the WCAG contrast ratio, 1 to
// 21); a translucent `foreground` counts as drawn over `background`.
qreal contrastRatio(const QColor &foreground, const QColor &background);
// What body text needs against its ground.
inline constexpr qreal minimumTextContrast = 4.5;
// The most translucent the highlighted text of a selected row is drawn
// (its secondary lines); selectionFill keeps even that readable.
inline constexpr qreal selectedSecondaryTextOpacity = 0.8;
// The fill behind a selected row's text: the palette's highlight, deepened
// as far as it takes for the highlighted text, at
// selectedSecondaryTextOpacity, to reach minimumTextContrast.
QColor selectionFill(const QPalette &palette, QPalette::ColorGroup group = QPalette::Active);

// The palette that text of a list line nobody picks (a heading, a "nothing
// found" line) is read in: a list hands such an item its disabled colours,
// faint against the list; it takes the window's instead.
QPalette readablePalette(const QPalette &palette, bool windowActive);

// The seven colour tokens, read from the application's palette on every call.
namespace TessalineColors {
QColor separator(bool increasedContrast = false);
QColor unemphasizedSelectedContentBackground();
QColor controlBackground();
QColor textBackground();
QColor label();
QColor windowBackground();
QColor shadow();
} // namespace TessalineColors

} // namespace tessaline

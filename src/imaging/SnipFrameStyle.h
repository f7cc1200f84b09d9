#pragma once

#include "platform/Expected.h"

#include <QColor>
#include <QImage>
#include <QJsonValue>
#include <QList>
#include <QSize>
#include <QString>

#include <optional>

namespace tessaline {

// The background a frame puts around a snip.
enum class SnipFramePreset { transparent, cleanPaper, graphite, warmSand, mutedGradient };

namespace SnipFramePresets {

// Every preset, in the order the composer offers them.
QList<SnipFramePreset> all();

// The stored form is the case's own name; anything else reads as nothing.
QString rawValue(SnipFramePreset preset);
std::optional<SnipFramePreset> fromRawValue(QStringView raw);
QJsonValue toJson(SnipFramePreset preset);
std::optional<SnipFramePreset> fromJson(const QJsonValue &value);

QString displayName(SnipFramePreset preset);

// The flat fill of a preset in sRGB; nothing for the transparent and the
// gradient background.
std::optional<QColor> flatColor(SnipFramePreset preset);
// The gradient's two colours in sRGB: the lighter one at the top-left
// corner, the darker at the bottom-right.
QColor gradientStartColor();
QColor gradientEndColor();

} // namespace SnipFramePresets

// How a snip is framed. Lengths are in pixels of the source image; any value
// is accepted and the renderer brings it into range (see clamped()).
struct SnipFrameStyle
{
    SnipFramePreset preset = SnipFramePreset::cleanPaper;
    double padding = 0;
    double cornerRadius = 0;
    bool shadowIsEnabled = false;
    double shadowRadius = 0;
    double shadowOpacity = 0;
    // How far the shadow falls below the image; negative lifts it above.
    double shadowOffsetY = 0;

    // The style with every length and the opacity within what the renderer
    // draws: padding 0…512, corners and shadow radius 0…256, opacity 0…1,
    // offset −256…256. Not-a-number counts as the lower bound.
    SnipFrameStyle clamped() const;

    friend bool operator==(const SnipFrameStyle &, const SnipFrameStyle &) = default;
};

enum class SnipFrameRenderingError {
    sourceImageUnavailable,
    invalidDimensions,
    colorSpaceUnavailable,
    contextCreationFailed,
    outputImageUnavailable,
};

QString snipFrameRenderingErrorMessage(SnipFrameRenderingError error);

// Puts a snip on its frame at the snip's own pixel resolution. Stateless and
// free of widgets, so it may run on any thread.
namespace SnipFrameRenderer {

// The largest side and area of a framed picture. The area bound keeps the
// bitmap at or under 720 MB.
constexpr qint64 maximumSide = 32'768;
constexpr qint64 maximumArea = 180'000'000;

// The padding actually drawn: the clamped padding rounded to whole pixels,
// halves away from zero.
int pixelPadding(const SnipFrameStyle &style);

// The framed picture's pixel size for a source of `source` pixels, or
// invalidDimensions when the source is empty or the result would be too
// large.
Expected<QSize, SnipFrameRenderingError> outputSize(QSize source, const SnipFrameStyle &style);

// The corner radius drawn on a w × h image: never more than half its
// shorter side.
double effectiveCornerRadius(const SnipFrameStyle &style, QSize source);

// The framed picture (premultiplied ARGB, device pixel ratio 1, in the
// source's colour space or sRGB), or why it could not be made.
Expected<QImage, SnipFrameRenderingError> renderFramedImage(const QImage &image, const SnipFrameStyle &style);
// The same for an image held in several resolutions: the one with the most
// pixels is framed (the first of equals).
Expected<QImage, SnipFrameRenderingError> renderFramedImage(const QList<QImage> &representations,
                                                            const SnipFrameStyle &style);

// Blurs an 8-bit alpha mask in place with three box passes per axis, which
// together come close to a Gaussian whose standard deviation is half of
// `blur` (the way a drop shadow's blur radius is usually meant). Pixels
// beyond the edges count as transparent.
void blurAlphaMask(QImage &mask, double blur);

} // namespace SnipFrameRenderer

} // namespace tessaline

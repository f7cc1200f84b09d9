#pragma once

#include <QString>

namespace tessaline {

// How large the gallery shows its image: fitted to the viewport, one image
// pixel per screen point, or at an explicit scale. The gallery starts fitted
// and fits again whenever it steps to another snip.
class SnipZoomMode
{
public:
    enum class Kind { fit, actualSize, custom };

    static SnipZoomMode fit() { return SnipZoomMode(Kind::fit, 1.0); }
    static SnipZoomMode actualSize() { return SnipZoomMode(Kind::actualSize, 1.0); }
    static SnipZoomMode custom(double scale) { return SnipZoomMode(Kind::custom, scale); }

    Kind kind() const { return m_kind; }
    // The explicit scale of a custom mode; 1.0 otherwise.
    double customScale() const { return m_scale; }

    // `fitScale` is what fitting yields in the current viewport.
    double effectiveScale(double fitScale) const;
    // The mode one zoom step (a factor such as 0.8 or 1.25) away, held to
    // the gallery's bounds.
    SnipZoomMode zoomedBy(double factor, double fitScale) const;
    // Double-click: back to fit from actual size, else to actual size.
    SnipZoomMode toggledActualSize() const;

    // Two custom modes compare their scales; the other kinds only the kind.
    friend bool operator==(const SnipZoomMode &a, const SnipZoomMode &b)
    {
        return a.m_kind == b.m_kind && (a.m_kind != Kind::custom || a.m_scale == b.m_scale);
    }

private:
    SnipZoomMode(Kind kind, double scale) : m_kind(kind), m_scale(scale) {}

    Kind m_kind;
    double m_scale;
};

namespace SnipZoom {
inline constexpr double minimumScale = 0.05;
inline constexpr double maximumScale = 8.0;
inline constexpr double zoomOutFactor = 0.8;
inline constexpr double zoomInFactor = 1.25;

// At or below the minimum gives the minimum, above the maximum the maximum.
double bounded(double scale, double minimum = minimumScale, double maximum = maximumScale);
// "125%": the scale in percent, halves rounded away from zero.
QString percentageText(double scale);
} // namespace SnipZoom

} // namespace tessaline

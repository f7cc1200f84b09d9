#pragma once

#include "runtime/SnipPicture.h"
#include "library/SnipZoomMode.h"
#include "library/ZoomableSnipLayout.h"

#include <QAbstractScrollArea>
#include <QPointF>

#include <optional>

class QVariantAnimation;

namespace tessaline {

// The gallery's image area: one snip picture in a scroll area that scrolls
// both ways, fitted, at actual size or at an explicit scale. The owner keeps
// the zoom mode: the view shows the mode it is given (easing to it unless
// reduce motion is on) and reports the user's own zooming (Ctrl+wheel, a
// touchpad pinch where the platform delivers one, a double-click) as an
// edit, and the fit scale of its viewport whenever that changes.
//
// Painting touches only the exposed part of the picture and samples a
// level of it no more than twice the drawn size, so zooming a 6K capture
// stays smooth. The view never takes keyboard focus: the arrow keys and
// Space belong to the gallery.
class ZoomableSnipView : public QAbstractScrollArea
{
    Q_OBJECT
public:
    explicit ZoomableSnipView(QWidget *parent = nullptr);
    ~ZoomableSnipView() override;

    // The picture to show, or null while it loads (a placeholder of
    // `pixelSize` shows meanwhile). Another snip's picture starts at rest
    // (`restart`): no easing from the previous picture's scale.
    void setPicture(SharedSnipPicture picture, const QSize &pixelSize, bool restart = true);
    SharedSnipPicture picture() const { return m_picture; }
    QSize pixelSize() const { return m_pixelSize; }

    SnipZoomMode zoomMode() const { return m_mode; }
    void setZoomMode(const SnipZoomMode &mode);
    // The fit scale of the current viewport, as last reported.
    double fitScale() const { return m_fitScale; }
    // The layout of what is on screen now, easing included.
    ZoomableSnipLayout shownLayout() const;
    // The scale the view is easing towards (or shows, at rest).
    double targetScale() const;
    bool isAnimating() const;

    // Zooms by a factor around a point of the viewport (its centre when none),
    // as the wheel and the pinch do; reported as an edit.
    void zoomBy(double factor, std::optional<QPointF> anchor = std::nullopt);

Q_SIGNALS:
    // The user zoomed in the view; the owner stores the mode and sets it back.
    void zoomModeEdited(const SnipZoomMode &mode);
    void fitScaleChanged(double fitScale);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    bool viewportEvent(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void editZoomMode(const SnipZoomMode &mode, std::optional<QPointF> anchor);
    void reportFitScale();
    // The picture's point (in picture pixels) under a point of the viewport.
    QPointF pixelUnder(const ZoomableSnipLayout &layout, const QPointF &anchor) const;
    // Shows `scale` with the picture's `pixel` under `anchor`.
    void showScaleAround(double scale, const QPointF &pixel, const QPointF &anchor);
    void updateScrollBars();
    QPointF viewportCentre() const;
    void paintShadow(QPainter &painter, const QRectF &image, const QRect &exposed) const;

    SharedSnipPicture m_picture;
    QSize m_pixelSize;
    SnipZoomMode m_mode = SnipZoomMode::fit();
    double m_fitScale = 1.0;
    double m_shownScale = 1.0;
    // The point the zoom under way keeps in place, and the one the next
    // zoom will keep (set while an edit is being reported).
    QPointF m_anchor;
    QPointF m_anchorPixel;
    std::optional<QPointF> m_pendingAnchor;
    QVariantAnimation *m_animation;
    // The scale at which the pinch under way began; none between pinches.
    std::optional<double> m_gestureStartScale;
    double m_gestureMagnification = 1.0;
};

} // namespace tessaline

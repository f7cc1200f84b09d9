#pragma once

#include "runtime/SnipPicture.h"

#include <QPoint>
#include <QRect>
#include <QWidget>

#include <functional>
#include <optional>

class QSlider;

namespace tessaline {

class Pasteboard;
class StudioIconButton;

// The floating window of one pin: the picture fitted into a rounded, frameless
// window that stays above others and never takes the focus. Dragging the
// picture moves the window (the window manager's own move); the corner grip
// resizes it keeping the picture's proportions. While the pointer is over
// it, an opacity slider and a close button show in its top-trailing corner;
// its context menu offers "Copy" and "Close".
class PinnedImageView : public QWidget
{
    Q_OBJECT
public:
    static constexpr int cornerRadius = 10;
    static constexpr int gripSize = 16;
    static constexpr double minimumOpacity = 0.25;

    // `close` ends the pin through its controller; closing the window any
    // other way (the window manager's close) reports `closed` as well.
    PinnedImageView(const QSize &pixelSize, Pasteboard &pasteboard, std::function<void()> close);
    ~PinnedImageView() override;

    // Null while the picture loads: a placeholder shows meanwhile.
    void setPicture(SharedSnipPicture picture);
    SharedSnipPicture picture() const { return m_picture; }
    QSizeF imageSize() const { return m_imageSize; }

    double opacity() const { return m_opacity; }
    void setOpacity(double opacity);
    bool isHovering() const { return m_hovering; }

    // Where the picture lies in the window: fitted, proportions kept.
    QRectF fittedImageRect() const;
    QRect gripRect() const;
    QWidget *controls() const { return m_controls; }
    QSlider *opacitySlider() const { return m_slider; }
    StudioIconButton *closeButton() const { return m_closeButton; }

    // Resizes the window: under Wayland by fixing its size, which keeps it
    // floating on tiling compositors.
    void setWindowSize(const QSize &size);

    // The context menu's "Copy"; a failure is reported in a message box.
    bool copyPicture();

Q_SIGNALS:
    void closed();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void setHovering(bool hovering);
    void placeControls();

    SharedSnipPicture m_picture;
    QSizeF m_imageSize;
    Pasteboard &m_pasteboard;
    std::function<void()> m_close;
    double m_opacity = 1.0;
    bool m_hovering = false;
    bool m_translucent = false;
    QWidget *m_controls;
    QSlider *m_slider;
    StudioIconButton *m_closeButton;
    // The grip drag under way: where it started, in global coordinates,
    // and the window's size then.
    std::optional<QPoint> m_resizeOrigin;
    QSize m_resizeStartSize;
    // A move the window manager could not take over, done by hand.
    std::optional<QPoint> m_manualMoveOffset;
};

} // namespace tessaline

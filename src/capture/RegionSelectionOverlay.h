#pragma once

#include "capture/CaptureValues.h"
#include "capture/RegionSelectionModel.h"

#include <QImage>
#include <QObject>
#include <QPointer>
#include <QRegion>
#include <QWidget>

#include <functional>

class QScreen;

namespace tessaline {

// One region selection, from putting the overlay up to delivering exactly
// one outcome. The coordinator makes a new one for each region capture.
class RegionSelectionSession : public QObject
{
    Q_OBJECT
public:
    using Completion = std::function<void(const RegionSelectionOutcome &)>;
    using QObject::QObject;
    virtual void begin() = 0;

    // Told of a selection the moment it is made, before the session takes
    // its window down and reports the outcome: taking a full-screen window
    // down waits on the window system, which repaints the whole desktop
    // under it first, and the picture's encoding need not wait for that.
    std::function<void(const QRectF &)> onSelected;
};

class RegionSelectionOverlayController;
class RegionSelectionView;

// The overlay's top-level window: frameless, above everything, covering one
// screen. Closing it by any means other than the controller cancels.
class CaptureOverlayWindow : public QWidget
{
    Q_OBJECT
public:
    explicit CaptureOverlayWindow(QScreen *screen);

    void setDelegate(RegionSelectionOverlayController *delegate) { m_delegate = delegate; }
    // The view the pointer's events go on to. They come to the window
    // itself: hiding a widget that had the pointer last makes Qt ask the X
    // server where the pointer is now, a round trip between the button's
    // release and the capture (tens of milliseconds on a busy desktop),
    // which hiding the window that had it never does.
    void setPointerView(RegionSelectionView *view);
    // Allocates and writes the whole backing store while the window is
    // hidden, so its first frame meets no page faults. The writing goes in
    // bands, one per turn of the event loop: at 5K the first touch of its
    // 59 MB holds the main thread for 50 ms.
    void prepareBackingStore();
    // Counts the times the window went back to the pool, so a late idle
    // check can tell whether it is still the same idle spell.
    int poolVisits = 0;

protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void writeBackingStoreBand(int top);

    QPointer<RegionSelectionOverlayController> m_delegate;
    QPointer<RegionSelectionView> m_pointerView;
};

// Shows the frozen image, dimmed, and lets the user drag a rectangle over it.
class RegionSelectionView : public QWidget
{
    Q_OBJECT
public:
    RegionSelectionView(const QImage &image, QWidget *parent);

    std::function<void(const QRectF &)> onSelection;
    std::function<void()> onCancel;
    // Called once, right after the first paint has been handed to the
    // window system.
    std::function<void()> onFirstPaint;

    const RegionSelectionModel &model() const { return m_model; }

Q_SIGNALS:
    // Right after the first paint has been handed to the window system,
    // once onFirstPaint has run.
    void firstFramePainted();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    // Nothing shows focus; QWidget's own handlers would repaint the whole
    // screen when the overlay gets it, right after the first frame.
    void focusInEvent(QFocusEvent *) override {}
    void focusOutEvent(QFocusEvent *) override {}

private:
    friend class CaptureOverlayWindow;

    void respond(RegionSelectionModel::Response response);
    void updateChangedArea();
    static QRegion selectionMarks(const QRectF &selection, const QRectF &label);
    QRectF labelRect() const;
    void drawFrozen(QPainter &painter, const QRect &area, bool dimmed);

    QImage m_image;
    RegionSelectionModel m_model;
    QRectF m_lastSelection;
    QRectF m_lastLabel;
    QRegion m_lastGuides;
    bool m_painted = false;
};

// Puts the overlay up on the display of a frozen capture and reports the
// outcome once.
class RegionSelectionOverlayController : public RegionSelectionSession
{
    Q_OBJECT
public:
    RegionSelectionOverlayController(const FrozenDisplayCapture &capture, Completion completion,
                                     QObject *parent = nullptr);
    ~RegionSelectionOverlayController() override;

    void begin() override;
    void finish(const RegionSelectionOutcome &outcome);
    void windowWillClose();
    // How long after a selection Qt is told the pointer is let go: by then
    // the capture has been stored and shown.
    static constexpr int pointerReleaseDelayMs = 1000;

    bool hasCompleted() const { return m_hasCompleted; }
    // Keyboard and pointer both belong to the overlay.
    bool hasInputGrab() const { return m_hasInputGrab; }
    CaptureOverlayWindow *overlayWindow() const { return m_overlayWindow; }
    RegionSelectionView *view() const { return m_view; }

    // Makes the overlay window of a display, with its backing store, and
    // keeps it hidden until the next selection on that display; nothing is
    // shown. Does nothing when one is kept already.
    static void prepareWindow(quint32 displayID);

    // The Qt screen that shows a display, or none once it is unplugged.
    static QScreen *screenForDisplay(quint32 displayID);

private:
    void grabInput(int attemptsLeft);

    FrozenDisplayCapture m_capture;
    Completion m_completion;
    QPointer<CaptureOverlayWindow> m_overlayWindow;
    QPointer<RegionSelectionView> m_view;
    bool m_hasCompleted = false;
    bool m_hasPushedCursor = false;
    bool m_hasInputGrab = false;
};

} // namespace tessaline

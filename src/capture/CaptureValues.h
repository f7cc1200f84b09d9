#pragma once

#include "platform/EarlyPng.h"

#include <QDateTime>
#include <QImage>
#include <QList>
#include <QMetaType>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QUuid>

#include <optional>

namespace tessaline {

// How a capture was taken. The raw value is what a snip card stores.
enum class CaptureMode { region, display, window };

QString captureModeRawValue(CaptureMode mode);
// Exactly "region", "display" or "window"; anything else gives none.
std::optional<CaptureMode> captureModeFromRawValue(const QString &rawValue);

// Where the current capture stands. The three middle cases are busy: new
// capture requests are ignored while one of them holds.
class CaptureCoordinatorState
{
public:
    enum class Kind { idle, requestingPermission, capturingDisplay, selectingRegion, failed };

    CaptureCoordinatorState() = default;
    static CaptureCoordinatorState idle() { return CaptureCoordinatorState(Kind::idle); }
    static CaptureCoordinatorState requestingPermission() { return CaptureCoordinatorState(Kind::requestingPermission); }
    static CaptureCoordinatorState capturingDisplay() { return CaptureCoordinatorState(Kind::capturingDisplay); }
    static CaptureCoordinatorState selectingRegion() { return CaptureCoordinatorState(Kind::selectingRegion); }
    static CaptureCoordinatorState failed(const QString &message);

    Kind kind() const { return m_kind; }
    QString message() const { return m_message; }
    bool isBusy() const;

    friend bool operator==(const CaptureCoordinatorState &, const CaptureCoordinatorState &) = default;

private:
    explicit CaptureCoordinatorState(Kind kind) : m_kind(kind) {}
    Kind m_kind = Kind::idle;
    QString m_message;
};

struct CaptureSourceApplication
{
    std::optional<QString> name;
    std::optional<QString> bundleIdentifier;

    friend bool operator==(const CaptureSourceApplication &, const CaptureSourceApplication &) = default;
};

struct CaptureDisplayTarget
{
    quint32 displayID = 0;
    // The display's frame in screen coordinates (bottom-left origin, y up).
    QRectF screenFrame;
    QSizeF pointSize;
    // Each side at least 1.
    QSizeF pixelSize;

    // Image pixels per point; a point side of 1 or less divides by 1.
    QSizeF scale() const;
};

struct CaptureResult;

// One still image of a whole display, taken before a region is chosen.
struct FrozenDisplayCapture
{
    QImage image;
    // The image's PNG, when the grab began one (a display kept whole).
    std::optional<EarlyPng> png;
    CaptureDisplayTarget target;
    std::optional<CaptureSourceApplication> sourceApplication;

    // The display-mode result for the whole display, with its PNG.
    CaptureResult captureResult() const;
    // The region-mode result for a selection (display coordinates) and the
    // image cropped from it; the display's PNG does not go along.
    CaptureResult regionResult(const QRectF &selection, const QImage &croppedImage) const;
    // The part of the image under a selection given in display coordinates;
    // none when the selection covers less than a point or a pixel of it.
    // The crop shares the frame's pixels (read-only) and keeps the frame
    // alive until it is dropped; writing to it copies the crop alone.
    std::optional<QImage> croppedImage(const QRectF &selection) const;
};

// The picture of one window.
struct CapturedWindow
{
    QImage image;
    // The image's PNG, when the grab began one.
    std::optional<EarlyPng> png;
    quint32 windowID = 0;
    std::optional<QString> windowTitle;
    quint32 displayID = 0;
    QRectF rectOnScreen;
    QRectF rectInDisplay;
    QSizeF scale;
    std::optional<CaptureSourceApplication> sourceApplication;

    CaptureResult captureResult() const;
};

struct WindowCaptureCandidate
{
    quint32 windowID = 0;
    // In capture-system coordinates.
    QRectF frame;
    int windowLayer = 0;
    bool isOnScreen = false;

    friend bool operator==(const WindowCaptureCandidate &, const WindowCaptureCandidate &) = default;

    // The window to capture: the largest visible ordinary window, of equal
    // ones the lowest number; docks and panels only when nothing else shows.
    static std::optional<WindowCaptureCandidate> preferredCandidate(const QList<WindowCaptureCandidate> &candidates);
    // Whether a comes before b in that choice.
    static bool captureOrder(const WindowCaptureCandidate &a, const WindowCaptureCandidate &b);
};

// One finished capture.
struct CaptureResult
{
    QUuid id;
    QImage image;
    // The image's PNG begun while it was grabbed; whoever stores the
    // capture encodes the image itself without one, or when the image is
    // no longer the picture this encodes.
    std::optional<EarlyPng> png;
    QDateTime capturedAt;
    CaptureMode mode = CaptureMode::region;
    quint32 displayID = 0;
    QRectF selectionRectOnScreen;
    QRectF selectionRectInDisplay;
    QSizeF displayScale;
    std::optional<QString> sourceApplicationName;
    std::optional<QString> sourceBundleIdentifier;
    std::optional<QString> sourceWindowTitle;
};

// The two global hot-key actions. The raw value is the hot key's number.
enum class GlobalHotKeyAction : quint32 { captureRegion = 1, quickThought = 2 };

QList<GlobalHotKeyAction> allGlobalHotKeyActions();
std::optional<GlobalHotKeyAction> globalHotKeyActionFromRawValue(quint32 rawValue);
// "Capture Region" or "Quick Note".
QString globalHotKeyActionName(GlobalHotKeyAction action);

} // namespace tessaline

Q_DECLARE_METATYPE(tessaline::CaptureResult)

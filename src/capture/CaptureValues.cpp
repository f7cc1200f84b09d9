#include "capture/CaptureValues.h"

#include "platform/CoordinateSpaces.h"

#include <QColorSpace>
#include <QDateTime>

#include <algorithm>
#include <cmath>

namespace tessaline {

QString captureModeRawValue(CaptureMode mode)
{
    switch (mode) {
    case CaptureMode::region:
        return QStringLiteral("region");
    case CaptureMode::display:
        return QStringLiteral("display");
    case CaptureMode::window:
        return QStringLiteral("window");
    }
    return {};
}

std::optional<CaptureMode> captureModeFromRawValue(const QString &rawValue)
{
    for (const CaptureMode mode : {CaptureMode::region, CaptureMode::display, CaptureMode::window}) {
        if (captureModeRawValue(mode) == rawValue)
            return mode;
    }
    return std::nullopt;
}

CaptureCoordinatorState CaptureCoordinatorState::failed(const QString &message)
{
    CaptureCoordinatorState state(Kind::failed);
    state.m_message = message;
    return state;
}

bool CaptureCoordinatorState::isBusy() const
{
    return m_kind == Kind::requestingPermission || m_kind == Kind::capturingDisplay
        || m_kind == Kind::selectingRegion;
}

QSizeF CaptureDisplayTarget::scale() const
{
    return QSizeF(pixelSize.width() / std::max(pointSize.width(), 1.0),
                  pixelSize.height() / std::max(pointSize.height(), 1.0));
}

namespace {

CaptureResult newResult(const QImage &image, CaptureMode mode)
{
    CaptureResult result;
    result.id = QUuid::createUuid();
    result.image = image;
    result.capturedAt = QDateTime::currentDateTimeUtc();
    result.mode = mode;
    return result;
}

void applySource(CaptureResult &result, const std::optional<CaptureSourceApplication> &source)
{
    if (source) {
        result.sourceApplicationName = source->name;
        result.sourceBundleIdentifier = source->bundleIdentifier;
    }
}

} // namespace

CaptureResult FrozenDisplayCapture::captureResult() const
{
    CaptureResult result = newResult(image, CaptureMode::display);
    result.png = png;
    result.displayID = target.displayID;
    result.selectionRectOnScreen = target.screenFrame;
    result.selectionRectInDisplay = QRectF(0, 0, target.pointSize.width(), target.pointSize.height());
    result.displayScale = target.scale();
    applySource(result, sourceApplication);
    return result;
}

CaptureResult FrozenDisplayCapture::regionResult(const QRectF &selection, const QImage &croppedImage) const
{
    CaptureResult result = newResult(croppedImage, CaptureMode::region);
    result.displayID = target.displayID;
    result.selectionRectOnScreen = CoordinateSpaces::screenFromDisplay(target.screenFrame, selection);
    result.selectionRectInDisplay = selection;
    result.displayScale = target.scale();
    applySource(result, sourceApplication);
    return result;
}

std::optional<QImage> FrozenDisplayCapture::croppedImage(const QRectF &selection) const
{
    const QRectF bounds(0, 0, target.pointSize.width(), target.pointSize.height());
    const QRectF r = selection.normalized().intersected(bounds.normalized());
    if (r.isEmpty() || r.width() < 1 || r.height() < 1)
        return std::nullopt;
    const double sx = image.width() / std::max(std::abs(target.pointSize.width()), 1.0);
    const double sy = image.height() / std::max(std::abs(target.pointSize.height()), 1.0);
    const qint64 x0 = qint64(std::floor(r.x() * sx));
    const qint64 y0 = qint64(std::floor(r.y() * sy));
    const qint64 x1 = qint64(std::ceil(CoordinateSpaces::maxX(r) * sx));
    const qint64 y1 = qint64(std::ceil(CoordinateSpaces::maxY(r) * sy));
    const qint64 left = std::max<qint64>(x0, 0);
    const qint64 top = std::max<qint64>(y0, 0);
    const qint64 right = std::min<qint64>(x1, image.width());
    const qint64 bottom = std::min<qint64>(y1, image.height());
    if (right - left < 1 || bottom - top < 1)
        return std::nullopt;
    // A 5K frame is 59 MB; copying it on the main thread stalls the window,
    // so the crop is a read-only view over the frame's pixels that keeps the
    // frame alive; writing to it detaches into a copy of the crop alone.
    if (image.depth() < 8) {
        QImage cropped = image.copy(int(left), int(top), int(right - left), int(bottom - top));
        return cropped.isNull() ? std::nullopt : std::optional<QImage>(cropped);
    }
    const uchar *origin = image.constBits() + top * image.bytesPerLine() + left * (image.depth() / 8);
    auto *frame = new QImage(image);
    QImage cropped(origin, int(right - left), int(bottom - top), image.bytesPerLine(), image.format(),
                   [](void *held) { delete static_cast<QImage *>(held); }, frame);
    if (cropped.isNull()) {
        delete frame; // Qt calls the clean-up only for an image it made
        return std::nullopt;
    }
    cropped.setDevicePixelRatio(image.devicePixelRatio());
    cropped.setDotsPerMeterX(image.dotsPerMeterX());
    cropped.setDotsPerMeterY(image.dotsPerMeterY());
    cropped.setColorSpace(image.colorSpace());
    return cropped;
}

CaptureResult CapturedWindow::captureResult() const
{
    CaptureResult result = newResult(image, CaptureMode::window);
    result.png = png;
    result.displayID = displayID;
    result.selectionRectOnScreen = rectOnScreen;
    result.selectionRectInDisplay = rectInDisplay;
    result.displayScale = scale;
    applySource(result, sourceApplication);
    result.sourceWindowTitle = windowTitle;
    return result;
}

namespace {

double area(const QRectF &frame)
{
    return std::max(frame.width(), 0.0) * std::max(frame.height(), 0.0);
}

} // namespace

bool WindowCaptureCandidate::captureOrder(const WindowCaptureCandidate &a, const WindowCaptureCandidate &b)
{
    const double areaA = area(a.frame);
    const double areaB = area(b.frame);
    if (areaA == areaB)
        return a.windowID < b.windowID;
    return areaA > areaB;
}

std::optional<WindowCaptureCandidate> WindowCaptureCandidate::preferredCandidate(
    const QList<WindowCaptureCandidate> &candidates)
{
    QList<WindowCaptureCandidate> visible;
    for (const WindowCaptureCandidate &candidate : candidates) {
        if (candidate.isOnScreen && candidate.frame.width() >= 2 && candidate.frame.height() >= 2)
            visible.append(candidate);
    }
    QList<WindowCaptureCandidate> normal;
    for (const WindowCaptureCandidate &candidate : visible) {
        if (candidate.windowLayer == 0)
            normal.append(candidate);
    }
    const QList<WindowCaptureCandidate> &pool = normal.isEmpty() ? visible : normal;
    if (pool.isEmpty())
        return std::nullopt;
    return *std::min_element(pool.begin(), pool.end(), captureOrder);
}

QList<GlobalHotKeyAction> allGlobalHotKeyActions()
{
    return {GlobalHotKeyAction::captureRegion, GlobalHotKeyAction::quickThought};
}

std::optional<GlobalHotKeyAction> globalHotKeyActionFromRawValue(quint32 rawValue)
{
    if (rawValue == 1)
        return GlobalHotKeyAction::captureRegion;
    if (rawValue == 2)
        return GlobalHotKeyAction::quickThought;
    return std::nullopt;
}

QString globalHotKeyActionName(GlobalHotKeyAction action)
{
    return action == GlobalHotKeyAction::captureRegion ? QStringLiteral("Capture Region")
                                                       : QStringLiteral("Quick Note");
}

} // namespace tessaline

#include "capture/DisplayCaptureService.h"

#include "platform/CoordinateSpaces.h"
#include "platform/FutureDelivery.h"


#include <algorithm>
#include <cmath>

namespace tessaline {

namespace {

// Containment as screens count it: the left and bottom edges are inside,
// the right and top edges are not.
bool screenContains(const QRectF &frame, const QPointF &p)
{
    return p.x() >= frame.x() && p.x() < CoordinateSpaces::maxX(frame) && p.y() >= frame.y()
        && p.y() < CoordinateSpaces::maxY(frame);
}

// The whole pixels that cover a length of points. A window's frame in
// points is its pixel size divided by the screen's scale, and multiplied
// back it can come out a hair over the whole number it was (310 pixels at
// 1.2 come back as 310.00000000000006): rounding that up would ask for one
// pixel more and have the whole picture resampled to it.
int coveringPixels(double points, double scale)
{
    const double pixels = points * scale;
    const double nearest = std::round(pixels);
    const double covering = std::abs(pixels - nearest) < 1e-6 ? nearest : std::ceil(pixels);
    return std::max(int(covering), 1);
}

} // namespace

DisplayCaptureService::DisplayCaptureService(std::unique_ptr<CaptureSystem> system, QObject *parent)
    : QObject(parent)
    , m_system(std::move(system))
{
}

DisplayCaptureService::~DisplayCaptureService() = default;

// Both answer later on this thread, also when the picture was taken at once.
void DisplayCaptureService::captureDisplayUnderPointer(DisplayCompletion completion)
{
    deliveredTo(this, takeDisplayUnderPointer()).then(this, std::move(completion));
}

void DisplayCaptureService::captureWholeDisplayUnderPointer(DisplayCompletion completion)
{
    deliveredTo(this, takeDisplayUnderPointer(true)).then(this, std::move(completion));
}

void DisplayCaptureService::captureFrontmostWindow(WindowCompletion completion)
{
    deliveredTo(this, takeFrontmostWindow()).then(this, std::move(completion));
}

std::optional<quint32> DisplayCaptureService::prepareDisplayUnderPointer()
{
    const auto target = displayTargetUnderPointer();
    if (!target)
        return std::nullopt;
    const auto displays = m_system->shareableDisplays();
    if (!displays)
        return std::nullopt;
    for (const SystemDisplay &display : *displays) {
        if (display.displayID == target->displayID) {
            m_system->prepareDisplayCapture(display);
            return display.displayID;
        }
    }
    return std::nullopt;
}

CaptureDisplayTarget DisplayCaptureService::targetFor(quint32 displayID, const QRectF &screenFrame)
{
    const QSize pixels = m_system->displayPixelSize(displayID);
    CaptureDisplayTarget target;
    target.displayID = displayID;
    target.screenFrame = screenFrame;
    target.pointSize = screenFrame.size();
    target.pixelSize = QSizeF(std::max(pixels.width(), 1), std::max(pixels.height(), 1));
    return target;
}

std::optional<CaptureDisplayTarget> DisplayCaptureService::displayTargetUnderPointer()
{
    if (!m_system)
        return std::nullopt;
    const QPointF p = m_system->pointerLocation();
    const QList<SystemScreen> screens = m_system->screens();
    if (screens.isEmpty())
        return std::nullopt;
    std::optional<SystemScreen> screen;
    for (const SystemScreen &candidate : screens) {
        if (screenContains(candidate.frame, p)) {
            screen = candidate;
            break;
        }
    }
    if (!screen) {
        const auto main = m_system->mainScreenIndex();
        screen = main && *main >= 0 && *main < screens.size() ? screens.at(*main) : screens.first();
    }
    if (!screen->displayNumber)
        return std::nullopt;
    return targetFor(*screen->displayNumber, screen->frame);
}

bool DisplayCaptureService::screenMatches(const SystemScreen &screen, const SystemDisplay &display)
{
    return screen.displayNumber && *screen.displayNumber == display.displayID;
}

std::optional<CaptureDisplayTarget> DisplayCaptureService::displayTarget(const SystemDisplay &display)
{
    for (const SystemScreen &screen : m_system->screens()) {
        if (screenMatches(screen, display))
            return targetFor(display.displayID, screen.frame);
    }
    return std::nullopt;
}

std::optional<SystemDisplay> DisplayCaptureService::bestDisplay(const QList<SystemDisplay> &displays,
                                                               const QRectF &windowFrame)
{
    std::optional<SystemDisplay> best;
    double bestOverlap = 0;
    for (const SystemDisplay &display : displays) {
        const QRectF overlap = display.frame.intersected(windowFrame);
        double area = 0;
        if (!overlap.isEmpty() && std::isfinite(overlap.width()) && std::isfinite(overlap.height()))
            area = std::max(overlap.width(), 0.0) * std::max(overlap.height(), 0.0);
        if (!best || area > bestOverlap) {
            best = display;
            bestOverlap = area;
        }
    }
    if (best && bestOverlap > 0)
        return best;
    return std::nullopt;
}

CaptureSubsystemError DisplayCaptureService::captureError(const CaptureSystemError &error)
{
    if (error.permissionDenied)
        return CaptureSubsystemError::permissionDenied(error.message);
    return CaptureSubsystemError::screenCaptureFailed(error.message);
}

QFuture<CaptureOutcome<FrozenDisplayCapture>> DisplayCaptureService::takeDisplayUnderPointer(bool whole)
{
    using Outcome = CaptureOutcome<FrozenDisplayCapture>;
    const auto target = displayTargetUnderPointer();
    if (!target)
        return QtFuture::makeReadyFuture(Outcome(unexpected(CaptureSubsystemError::noDisplayUnderPointer())));
    // Taken before anything else, so it names the application the user was
    // working in when the request came.
    CaptureSourceApplication source;
    if (const auto application = m_system->frontmostApplication()) {
        source.name = application->localizedName;
        source.bundleIdentifier = application->bundleIdentifier;
    }
    const auto content = m_system->shareableDisplays();
    if (!content)
        return QtFuture::makeReadyFuture(Outcome(unexpected(captureError(content.error()))));
    const QList<SystemDisplay> &displays = *content;
    const auto display = std::find_if(displays.begin(), displays.end(),
                                      [&](const SystemDisplay &d) { return d.displayID == target->displayID; });
    if (display == displays.end())
        return QtFuture::makeReadyFuture(Outcome(unexpected(CaptureSubsystemError::displayUnavailable())));
    const QSize size(std::max(int(target->pixelSize.width()), 1), std::max(int(target->pixelSize.height()), 1));
    // The picture is made into a capture where it arrives: at once, or on a
    // worker thread when the desktop hands it over later.
    const auto frozen = [target = *target, source](WholePicture picture) {
        FrozenDisplayCapture capture;
        capture.image = std::move(picture.image);
        capture.png = std::move(picture.png);
        capture.target = target;
        capture.target.pixelSize = QSizeF(capture.image.size());
        capture.sourceApplication = source;
        return capture;
    };
    if (whole) {
        return m_system->captureWholeDisplayImage(*display, size)
            .then([frozen](const CaptureSystemResult<WholePicture> &picture) {
                return picture.transform_error(&DisplayCaptureService::captureError).transform(frozen);
            });
    }
    // A region is cut from this picture later: no PNG of it goes along.
    return m_system->captureDisplayImage(*display, size).then([frozen](const CaptureSystemResult<QImage> &image) {
        return image.transform_error(&DisplayCaptureService::captureError).transform([&](QImage picture) {
            return frozen(WholePicture{std::move(picture), std::nullopt});
        });
    });
}

QFuture<CaptureOutcome<CapturedWindow>> DisplayCaptureService::takeFrontmostWindow()
{
    using Outcome = CaptureOutcome<CapturedWindow>;
    const auto failed = [](const CaptureSubsystemError &error) { return QtFuture::makeReadyFuture(Outcome(unexpected(error))); };
    // A desktop that never says which window is in front has no window to
    // capture, even while it lets this app know that it is in front itself.
    const QString advice = m_system ? m_system->frontmostWindowAdvice() : QString();
    const auto application = m_system && advice.isEmpty() ? m_system->frontmostApplication() : std::nullopt;
    if (!application)
        return failed(CaptureSubsystemError::frontmostApplicationUnavailable(advice));
    const auto content = m_system->shareableContent();
    if (!content)
        return failed(captureError(content.error()));
    const ShareableContent &shareable = *content;

    QList<SystemWindow> windows;
    QList<WindowCaptureCandidate> candidates;
    for (const SystemWindow &window : shareable.windows) {
        if (window.owningProcessID && *window.owningProcessID == application->processIdentifier) {
            windows.append(window);
            candidates.append(WindowCaptureCandidate{window.windowID, window.frame, window.windowLayer, window.isOnScreen});
        }
    }
    const QString name = application->localizedName.value_or(QStringLiteral("the frontmost application"));
    const auto chosen = WindowCaptureCandidate::preferredCandidate(candidates);
    if (!chosen)
        return failed(CaptureSubsystemError::noCapturableWindow(name));
    const auto window = std::find_if(windows.begin(), windows.end(),
                                     [&](const SystemWindow &w) { return w.windowID == chosen->windowID; });
    if (window == windows.end())
        return failed(CaptureSubsystemError::noCapturableWindow(name));
    const auto display = bestDisplay(shareable.displays, window->frame);
    if (!display)
        return failed(CaptureSubsystemError::displayUnavailable());
    const auto target = displayTarget(*display);
    if (!target)
        return failed(CaptureSubsystemError::displayUnavailable());

    const double scale = std::max(m_system->windowPointPixelScale(*window), 1.0);
    const QSize size(coveringPixels(window->frame.width(), scale), coveringPixels(window->frame.height(), scale));
    CapturedWindow captured;
    captured.windowID = window->windowID;
    captured.windowTitle = window->title;
    captured.displayID = target->displayID;
    captured.rectInDisplay = window->frame.translated(-display->frame.topLeft());
    captured.rectOnScreen = CoordinateSpaces::screenFromDisplay(target->screenFrame, captured.rectInDisplay);
    captured.sourceApplication = CaptureSourceApplication{application->localizedName, application->bundleIdentifier};
    const QSizeF points = window->frame.size();
    return m_system->captureWindowImage(*window, size)
        .then([captured, points](const CaptureSystemResult<WholePicture> &picture) mutable -> Outcome {
            if (!picture)
                return unexpected(captureError(picture.error()));
            captured.image = picture->image;
            captured.png = picture->png;
            captured.scale = QSizeF(captured.image.width() / std::max(points.width(), 1.0),
                                    captured.image.height() / std::max(points.height(), 1.0));
            return captured;
        });
}

} // namespace tessaline

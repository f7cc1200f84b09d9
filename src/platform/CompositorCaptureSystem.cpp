#include "platform/CompositorCaptureSystem.h"

#include "platform/BackgroundPool.h"
#include "platform/X11WindowInfo.h"

#include <QFile>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>

namespace tessaline {

namespace {

using WindowResult = CaptureSystemResult<WholePicture>;

QFuture<WindowResult> failed(const QString &message)
{
    return QtFuture::makeReadyFuture(WindowResult(unexpected(CaptureSystemError{false, message})));
}

// What the kernel calls the process, for a window that names no app.
std::optional<QString> processName(qint64 processID)
{
    QFile comm(QStringLiteral("/proc/%1/comm").arg(processID));
    if (processID <= 0 || !comm.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QString name = QString::fromLocal8Bit(comm.readAll()).trimmed();
    return name.isEmpty() ? std::nullopt : std::optional(name);
}

// A layer for the choice among an app's windows: 3 is the one X11 gives a
// window kept above the others.
constexpr int keptAboveLayer = 3;

} // namespace

SystemApplication CompositorCaptureSystem::applicationOf(const CompositorWindow &window)
{
    SystemApplication application;
    application.processIdentifier = window.processID;
    // Desktops match a Wayland app_id to a desktop file as they match an X
    // client's WM_CLASS: by the file's name, else its StartupWMClass.
    const QString instance = window.appID.isEmpty() ? window.instance : window.appID;
    const QString windowClass = window.appID.isEmpty() ? window.windowClass : window.appID;
    if (instance.isEmpty() && windowClass.isEmpty()) {
        application.localizedName = processName(window.processID);
        return application;
    }
    const DesktopApplication desktop = X11WindowInfo::applicationForClass(instance, windowClass);
    application.localizedName = desktop.name;
    application.bundleIdentifier = desktop.identifier;
    // With no desktop file to name it, an app_id in reverse-domain form
    // ("org.example.Editor") reads as its last part, as an X client's class
    // would; anything else ("gimp-2.10") stays as it is.
    if (!window.appID.isEmpty() && desktop.name == window.appID) {
        const QStringList parts = window.appID.split(u'.');
        const bool reverseDomain = parts.size() >= 3 && std::all_of(parts.cbegin(), parts.cend(), [](const QString &part) {
            return !part.isEmpty() && part.front().isLetter();
        });
        if (reverseDomain)
            application.localizedName = parts.constLast();
    }
    return application;
}

QRect CompositorCaptureSystem::shownPart(const CompositorTree &tree, const CompositorWindow &window)
{
    if (!window.visible)
        return {};
    const CompositorOutput *output = tree.outputShowing(window.content);
    return output ? window.content.intersected(output->rect) : QRect();
}

QList<SystemWindow> CompositorCaptureSystem::windowsOf(const CompositorTree &tree, const CoordinateSpaces &spaces)
{
    QList<SystemWindow> result;
    for (const CompositorWindow &window : tree.windows) {
        const QRect shown = shownPart(tree, window);
        SystemWindow info;
        info.windowID = quint32(window.id);
        info.frame = spaces.captureSystemFromWindowSystem(QRectF(shown.isEmpty() ? window.content : shown));
        if (!window.title.isEmpty())
            info.title = window.title;
        info.windowLayer = window.keptAbove ? keptAboveLayer : 0;
        info.isOnScreen = !shown.isEmpty();
        if (window.processID > 0)
            info.owningProcessID = window.processID;
        result.append(info);
    }
    return result;
}

std::optional<SystemApplication> CompositorCaptureSystem::frontmostApplication()
{
    const auto current = tree();
    const CompositorWindow *focused = current ? current->focusedWindow() : nullptr;
    if (!focused || focused->processID <= 0)
        return std::nullopt;
    return applicationOf(*focused);
}

CaptureSystemResult<ShareableContent> CompositorCaptureSystem::shareableContent()
{
    const auto current = tree();
    if (!current)
        return unexpected(
            CaptureSystemError{false, QStringLiteral("%1 did not say which windows it shows.").arg(compositorName())});
    ShareableContent content;
    content.displays = shareableDisplays().value();
    content.windows = windowsOf(*current, coordinateSpaces());
    return content;
}

double CompositorCaptureSystem::windowPointPixelScale(const SystemWindow &window)
{
    const auto current = tree();
    const CompositorWindow *found = current ? current->window(window.windowID) : nullptr;
    const CompositorOutput *output = found ? current->outputShowing(found->content) : nullptr;
    return output && output->scale > 0 ? output->scale : 1;
}

QFuture<CaptureSystemResult<WholePicture>> CompositorCaptureSystem::captureWindowImage(const SystemWindow &window,
                                                                                      const QSize &size)
{
    // Asked again: the window may have closed, moved or gone to another
    // workspace since the list was made, and its picture is where it is now.
    const auto current = tree();
    if (!current)
        return failed(QStringLiteral("%1 did not say where the window is.").arg(compositorName()));
    const CompositorWindow *found = current->window(window.windowID);
    if (!found)
        return failed(QStringLiteral("The window was closed."));
    const QRect shown = shownPart(*current, *found);
    if (shown.isEmpty())
        return failed(QStringLiteral("The window is not on screen."));
    return captureDesktopPart(current->desktop(), shown, size,
                              QStringLiteral("The desktop's picture does not show the window."))
        .then([](const CaptureSystemResult<QImage> &image) {
            return image.transform([](const QImage &picture) { return WholePicture{picture, std::nullopt}; });
        });
}

void CompositorCaptureSystem::prepareDisplayCapture(const SystemDisplay &display)
{
    PortalCaptureSystem::prepareDisplayCapture(display);
    // The desktop files that name the frontmost application are read now,
    // rather than on the capture's road.
    (void)QtConcurrent::run(&backgroundPool(), &X11WindowInfo::prepareApplicationLookup);
}

} // namespace tessaline

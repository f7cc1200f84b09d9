#include "platform/QtScreenCaptureSystem.h"

#include "platform/WindowSystem.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <QWindow>

namespace tessaline {

CoordinateSpaces QtScreenCaptureSystem::coordinateSpaces()
{
    QScreen *primary = QGuiApplication::primaryScreen();
    return CoordinateSpaces(primary ? QRectF(primary->geometry()) : QRectF());
}

QScreen *QtScreenCaptureSystem::screenForDisplay(quint32 displayID)
{
    const QList<QScreen *> screens = QGuiApplication::screens();
    if (displayID < 1 || displayID > quint32(screens.size()))
        return nullptr;
    return screens.at(displayID - 1);
}

quint32 QtScreenCaptureSystem::displayIDOf(const QScreen *screen)
{
    return quint32(QGuiApplication::screens().indexOf(const_cast<QScreen *>(screen)) + 1);
}

QPointF QtScreenCaptureSystem::pointerLocation()
{
    QPoint global = QCursor::pos();
    // A Wayland client sees the pointer only over its own windows, and
    // places it as if each window stood on the first output: over a window
    // on the second output it would pick the first. The output of the
    // window the user is working in is where they are; while another app
    // has the focus (a capture asked for from the desktop's own key or a
    // launcher), the desktop says which output that is, where it does.
    const QWindow *focus = QGuiApplication::focusWindow();
    if (const QScreen *screen = focus ? focus->screen() : WindowSystem::activeScreen();
        screen && !screen->geometry().contains(global))
        global = screen->geometry().center();
    // A pointer at row y covers the pixel row [y, y+1); in screen
    // coordinates (y up) that row's bottom edge is what contains it.
    QPointF point = coordinateSpaces().screenFromWindowSystem(QPointF(global));
    point.ry() -= 1;
    return point;
}

QList<SystemScreen> QtScreenCaptureSystem::screens()
{
    QList<SystemScreen> result;
    const CoordinateSpaces spaces = coordinateSpaces();
    for (QScreen *screen : QGuiApplication::screens())
        result.append(SystemScreen{spaces.screenFromWindowSystem(QRectF(screen->geometry())), displayIDOf(screen)});
    return result;
}

std::optional<int> QtScreenCaptureSystem::mainScreenIndex()
{
    const QList<QScreen *> screens = QGuiApplication::screens();
    if (screens.isEmpty())
        return std::nullopt;
    return int(std::max<qsizetype>(screens.indexOf(QGuiApplication::primaryScreen()), 0));
}

QSize QtScreenCaptureSystem::displayPixelSize(quint32 displayID)
{
    const QScreen *screen = screenForDisplay(displayID);
    if (!screen)
        return {};
    return (QSizeF(screen->geometry().size()) * screen->devicePixelRatio()).toSize();
}

std::optional<SystemApplication> QtScreenCaptureSystem::frontmostApplication()
{
    return std::nullopt;
}

CaptureSystemResult<QList<SystemDisplay>> QtScreenCaptureSystem::shareableDisplays()
{
    QList<SystemDisplay> result;
    const CoordinateSpaces spaces = coordinateSpaces();
    for (QScreen *screen : QGuiApplication::screens())
        result.append(SystemDisplay{displayIDOf(screen), spaces.captureSystemFromWindowSystem(QRectF(screen->geometry()))});
    return result;
}

CaptureSystemResult<ShareableContent> QtScreenCaptureSystem::shareableContent()
{
    ShareableContent content;
    content.displays = shareableDisplays().value();
    return content;
}

double QtScreenCaptureSystem::windowPointPixelScale(const SystemWindow &)
{
    return 1;
}

QFuture<CaptureSystemResult<WholePicture>> QtScreenCaptureSystem::captureWindowImage(const SystemWindow &, const QSize &)
{
    return QtFuture::makeReadyFuture(CaptureSystemResult<WholePicture>(
        unexpected(CaptureSystemError{false, QStringLiteral("Other applications' windows cannot be captured here.")})));
}

QString NullCaptureSystem::unavailableMessage()
{
    return QStringLiteral("Tessaline can capture the screen only in an X11 or Wayland desktop session, and this "
                          "session is neither.");
}

QFuture<CaptureSystemResult<QImage>> NullCaptureSystem::captureDisplayImage(const SystemDisplay &, const QSize &)
{
    return QtFuture::makeReadyFuture(CaptureSystemResult<QImage>(unexpected(CaptureSystemError{false, unavailableMessage()})));
}

} // namespace tessaline

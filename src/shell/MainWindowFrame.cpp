#include "shell/MainWindowFrame.h"

#include "platform/UserDefaults.h"
#include "platform/WindowSystem.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <utility>

namespace tessaline {

namespace {

const QString frameKey = QStringLiteral("mainWindowFrame");

bool showsOnSomeScreen(const QRect &frame)
{
    const auto screens = QGuiApplication::screens();
    for (const QScreen *screen : screens) {
        const QRect visible = screen->availableGeometry().intersected(frame);
        // The title bar's worth must be reachable to move the window back.
        if (visible.width() >= 100 && visible.height() >= 40)
            return true;
    }
    return false;
}

// Enough for a title bar and borders at any scale.
constexpr QSize decorationRoom(16, 40);

// The window's own part of the screen's free area: below the title bar's
// room, within the borders'.
QRect windowArea(const QScreen &screen)
{
    const QRect available = screen.availableGeometry();
    const QSize room = roomForWindow(screen);
    const QSize decoration = available.size() - room;
    return QRect(available.topLeft() + QPoint(decoration.width() / 2, decoration.height() - decoration.width() / 2), room);
}

// The screen that shows the most of a frame; none when no screen shows it.
const QScreen *screenShowing(const QRect &frame)
{
    const QScreen *best = nullptr;
    qint64 bestArea = 0;
    const auto screens = QGuiApplication::screens();
    for (const QScreen *screen : screens) {
        const QRect shown = screen->geometry().intersected(frame);
        const qint64 area = qint64(shown.width()) * shown.height();
        if (area > bestArea) {
            best = screen;
            bestArea = area;
        }
    }
    return best;
}

// A window remembered larger than the screen it comes back on (that screen
// is smaller now, or shown at a larger scale) would keep its title bar or
// its bottom edge past the screen's: along each side too long for the
// screen it is cut to fit and brought onto it. Along a side that fits, it
// stays where the user put it, even partly off the screen.
void keepWithinItsScreen(QWidget &window)
{
    const QScreen *screen = screenShowing(window.geometry());
    if (!screen || window.isMaximized() || window.isFullScreen())
        return;
    const QRect area = windowArea(*screen);
    QRect frame = window.geometry();
    const QRect restored = frame;
    const auto fit = [](int start, int minimum, int areaStart, int areaLength) {
        const int fitted = std::max(areaLength, minimum);
        return std::pair(std::clamp(start, areaStart, std::max(areaStart, areaStart + areaLength - fitted)), fitted);
    };
    if (frame.width() > area.width()) {
        const auto [left, width] = fit(frame.left(), window.minimumWidth(), area.left(), area.width());
        frame.setRect(left, frame.top(), width, frame.height());
    }
    if (frame.height() > area.height()) {
        const auto [top, height] = fit(frame.top(), window.minimumHeight(), area.top(), area.height());
        frame.setRect(frame.left(), top, frame.width(), height);
    }
    if (frame != restored)
        window.setGeometry(frame);
}

} // namespace

QSize roomForWindow(const QScreen &screen)
{
    return (screen.availableGeometry().size() - decorationRoom).expandedTo(QSize(0, 0));
}

QRect fittedWindowFrame(const QSize &preferred, const QSize &minimum, const QRect &available)
{
    if (available.isEmpty())
        return QRect(QPoint(0, 0), preferred);
    // Never below the window's minimum, even on a screen smaller than it.
    const QSize size = preferred.boundedTo(available.size()).expandedTo(minimum);
    QRect frame(QPoint(0, 0), size);
    frame.moveCenter(available.center());
    frame.moveTopLeft(QPoint(qMax(frame.left(), available.left()), qMax(frame.top(), available.top())));
    return frame;
}

void placeOverMainWindow(QWidget &window, const QWidget &mainWindow)
{
    window.adjustSize();
    if (const QScreen *screen = mainWindow.screen())
        window.setGeometry(fittedWindowFrame(window.size(), window.minimumSize(), screen->availableGeometry()));
    // A hidden main window (closed to the tray) has nothing to open over.
    if (WindowSystem::clientsPlaceWindows() || !mainWindow.isVisible())
        return;
    window.winId();
    if (QWindow *handle = window.windowHandle())
        handle->setTransientParent(mainWindow.windowHandle());
}

void restoreMainWindowFrame(QWidget &window, UserDefaults &defaults)
{
    if (const auto saved = defaults.data(frameKey); saved && window.restoreGeometry(*saved)
        && showsOnSomeScreen(window.frameGeometry())) {
        keepWithinItsScreen(window);
        return;
    }
    const QScreen *screen = QGuiApplication::primaryScreen();
    window.setGeometry(fittedWindowFrame(window.size(), window.minimumSize(), screen ? windowArea(*screen) : QRect()));
}

void rememberMainWindowFrame(const QWidget &window, UserDefaults &defaults)
{
    defaults.setData(frameKey, window.saveGeometry());
}

} // namespace tessaline

#include "shell/MainWindowFrame.h"

#include "platform/UserDefaults.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

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

void restoreMainWindowFrame(QWidget &window, UserDefaults &defaults)
{
    if (const auto saved = defaults.data(frameKey); saved && window.restoreGeometry(*saved)
        && showsOnSomeScreen(window.frameGeometry()))
        return;
    const QScreen *screen = QGuiApplication::primaryScreen();
    QRect available;
    if (screen) {
        // The window's own area, placed below the title bar's room.
        available = screen->availableGeometry();
        const QSize room = roomForWindow(*screen);
        const QSize decoration = available.size() - room;
        available = QRect(available.topLeft() + QPoint(decoration.width() / 2, decoration.height() - decoration.width() / 2),
                          room);
    }
    window.setGeometry(fittedWindowFrame(window.size(), window.minimumSize(), available));
}

void rememberMainWindowFrame(const QWidget &window, UserDefaults &defaults)
{
    defaults.setData(frameKey, window.saveGeometry());
}

} // namespace tessaline

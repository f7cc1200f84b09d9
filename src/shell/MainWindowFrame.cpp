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

} // namespace

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
    const QRect available = screen ? screen->availableGeometry() : QRect();
    window.setGeometry(fittedWindowFrame(window.size(), window.minimumSize(), available));
}

void rememberMainWindowFrame(const QWidget &window, UserDefaults &defaults)
{
    defaults.setData(frameKey, window.saveGeometry());
}

} // namespace tessaline

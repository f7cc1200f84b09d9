#include "platform/WaylandFloatingWindows.h"

#include "platform/KWinScripts.h"
#include "platform/SwayIpc.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <QWindow>

namespace tessaline {

std::unique_ptr<WaylandFloatingWindows> WaylandFloatingWindows::create()
{
    if (!SwayIpc::socketPath().isEmpty())
        return std::unique_ptr<WaylandFloatingWindows>(new WaylandFloatingWindows(Desktop::sway));
    if (KWinScripts::session())
        return std::unique_ptr<WaylandFloatingWindows>(new WaylandFloatingWindows(Desktop::kwin));
    return nullptr;
}

WaylandFloatingWindows::WaylandFloatingWindows(Desktop desktop)
    : m_desktop(desktop)
{
}

WaylandFloatingWindows::~WaylandFloatingWindows() = default;

void WaylandFloatingWindows::keepOnAllWorkspaces(QWindow &window)
{
    if (window.isExposed())
        askCompositor(window);
    else
        window.installEventFilter(this);
}

bool WaylandFloatingWindows::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Expose) {
        auto *window = qobject_cast<QWindow *>(watched);
        if (window && window->isExposed()) {
            window->removeEventFilter(this);
            askCompositor(*window);
        }
    }
    return false;
}

void WaylandFloatingWindows::askCompositor(const QWindow &window)
{
    if (m_desktop == Desktop::kwin) {
        runKWinScript(window);
        return;
    }
    // A window with a parent floats on sway; its size tells it from other
    // windows of ours of the same title. Qt sees the window exposed before
    // its first picture reaches sway, which maps it only then: ask again
    // for a moment until sway knows it.
    const SwayIpc::WindowKey key{QCoreApplication::applicationPid(), window.title(), window.transientParent() != nullptr,
                                 window.size()};
    auto *retry = new QTimer(this);
    retry->setInterval(50);
    connect(retry, &QTimer::timeout, this, [retry, key, tries = 0]() mutable {
        constexpr int lastTry = 40;
        if (SwayIpc::runOnWindow(key, QStringLiteral("sticky enable")) || ++tries >= lastTry)
            retry->deleteLater();
    });
    connect(&window, &QObject::destroyed, retry, &QObject::deleteLater);
    retry->start();
}

void WaylandFloatingWindows::runKWinScript(const QWindow &window)
{
    // The window is ours, of its title, and frameless at its size: KWin
    // knows it by nothing we could name more closely. It may reach KWin after the
    // script has run, so the script also waits for it.
    KWinScripts::session()->run(
        QStringLiteral("floating"),
        QStringLiteral("function keepFloating(c) {"
                       " if (c.pid == %1 && c.caption == %2 && c.frameGeometry.width == %3"
                       "     && c.frameGeometry.height == %4) {"
                       "  c.keepAbove = true; c.onAllDesktops = true;"
                       "  c.skipTaskbar = true; c.skipPager = true; c.skipSwitcher = true; } }"
                       "workspace.clientAdded.connect(keepFloating);"
                       "const list = workspace.clientList();"
                       "for (let i = 0; i < list.length; ++i) keepFloating(list[i]);")
            .arg(QCoreApplication::applicationPid())
            .arg(KWinScripts::quoted(window.title()))
            .arg(window.width())
            .arg(window.height()));
}

} // namespace tessaline

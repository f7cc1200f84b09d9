#include "platform/WaylandFloatingWindows.h"

#include "platform/KWinScripts.h"
#include "platform/SwayIpc.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QEvent>
#include <QPoint>
#include <QRegularExpression>
#include <QTimer>
#include <QWindow>
#include <qpa/qplatformnativeinterface.h>

#include <wayland-client.h>

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

void WaylandFloatingWindows::askCompositor(QWindow &window)
{
    if (m_desktop == Desktop::kwin) {
        runKWinScript(window);
        return;
    }
    // A window with a parent floats on sway.
    runOnSwayWindow(window, window.transientParent() != nullptr, window.size(), QStringLiteral("sticky enable"));
}

void WaylandFloatingWindows::openUnfocusedInCorner(QWindow &window, const QSize &size, int inset)
{
    if (m_desktop != Desktop::sway)
        return;
    // sway hands every window it opens the keyboard unless criteria of its
    // own say otherwise. They last as long as sway and cannot be taken
    // back, so there is one per title, never one of the main window's.
    const QString title = window.title();
    if (!m_unfocusedTitles.contains(title)
        && SwayIpc::run(QStringLiteral("no_focus [pid=%1 title=\"^%2$\"]")
                            .arg(QCoreApplication::applicationPid())
                            .arg(QRegularExpression::escape(title))))
        m_unfocusedTitles.insert(title);
    // sway opens it in the middle of the output; moved once it is there.
    QString command = QStringLiteral("sticky enable");
    const auto output = SwayIpc::focusedOutput();
    const auto tree = output ? SwayIpc::tree() : std::nullopt;
    for (const SwayIpc::Output &each : tree ? tree->outputs : QList<SwayIpc::Output>()) {
        if (each.name == *output) {
            const QPoint corner(each.rect.left() + each.rect.width() - size.width() - inset, each.rect.top() + inset);
            command = QStringLiteral("move absolute position %1 %2, %3").arg(corner.x()).arg(corner.y()).arg(command);
        }
    }
    // A window of a fixed size floats.
    runOnSwayWindow(window, true, size, command);
}

void WaylandFloatingWindows::runOnSwayWindow(const QWindow &window, bool floating, const QSize &size,
                                             const QString &command)
{
    // Its size tells it from other windows of ours of the same title. Qt
    // sees a window exposed before its first picture reaches sway, which
    // maps it only then: ask again for a moment until sway knows it.
    const SwayIpc::WindowKey key{QCoreApplication::applicationPid(), window.title(), floating, size};
    auto *retry = new QTimer(this);
    retry->setInterval(50);
    connect(retry, &QTimer::timeout, this, [retry, key, command, tries = 0]() mutable {
        constexpr int lastTry = 40;
        if (SwayIpc::runOnWindow(key, command) || ++tries >= lastTry)
            retry->deleteLater();
    });
    connect(&window, &QObject::destroyed, retry, &QObject::deleteLater);
    retry->start();
}

void WaylandFloatingWindows::runKWinScript(QWindow &window)
{
    // KWin renames a window whose title another window of the app has
    // ("Tessaline <2>"), and two pins may share a size: a floating window
    // is known by an app id of its own instead, the same for every one, so
    // that each run of the script keeps all of them. The id reaches KWin
    // before the window's first picture; should it come later, the script
    // waits for it.
    if (!setApplicationID(window, floatingApplicationID()))
        return;
    KWinScripts::session()->run(
        QStringLiteral("floating"),
        QStringLiteral("function keepFloating(c) {"
                       " if (c.pid != %1 || (String(c.desktopFileName) != %2 && String(c.resourceClass) != %2))"
                       "  return false;"
                       " c.keepAbove = true; c.onAllDesktops = true;"
                       " c.skipTaskbar = true; c.skipPager = true; c.skipSwitcher = true; return true; }"
                       "function watch(c) {"
                       " if (c.pid == %1 && !keepFloating(c) && c.desktopFileNameChanged)"
                       "  c.desktopFileNameChanged.connect(function () { keepFloating(c); }); }"
                       "workspace.clientAdded.connect(watch);"
                       "const list = workspace.clientList();"
                       "for (let i = 0; i < list.length; ++i) watch(list[i]);")
            .arg(QCoreApplication::applicationPid())
            .arg(KWinScripts::quoted(floatingApplicationID())));
}

QString WaylandFloatingWindows::floatingApplicationID()
{
    const QString app = QGuiApplication::desktopFileName();
    return (app.isEmpty() ? QCoreApplication::applicationName() : app) + QStringLiteral(".floating");
}

bool WaylandFloatingWindows::setApplicationID(QWindow &window, const QString &id)
{
    QPlatformNativeInterface *native = QGuiApplication::platformNativeInterface();
    auto *toplevel = native ? static_cast<wl_proxy *>(native->nativeResourceForWindow("xdg_toplevel", &window)) : nullptr;
    auto *display = native ? static_cast<wl_display *>(native->nativeResourceForIntegration("wl_display")) : nullptr;
    if (!toplevel || !display)
        return false;
    // xdg_toplevel's set_app_id, the request at its fourth place.
    constexpr uint32_t setAppID = 3;
    const QByteArray text = id.toUtf8();
    wl_proxy_marshal_flags(toplevel, setAppID, nullptr, wl_proxy_get_version(toplevel), 0, text.constData());
    wl_display_flush(display);
    return true;
}

} // namespace tessaline

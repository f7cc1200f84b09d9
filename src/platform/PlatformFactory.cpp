#include "platform/PlatformFactory.h"

#include "platform/KWinCaptureSystem.h"
#include "platform/KWinScripts.h"
#include "platform/PlatformTexts.h"
#include "platform/PortalCaptureSystem.h"
#include "platform/PortalHotKeys.h"
#include "platform/PortalRequest.h"
#include "platform/SwayCaptureSystem.h"
#include "platform/SwayIpc.h"
#include "platform/UnavailableHotKeys.h"
#include "platform/WaylandFloatingWindows.h"
#include "platform/WaylandModalDialogs.h"
#include "platform/X11CaptureSystem.h"
#include "platform/X11FloatingWindows.h"
#include "platform/WindowSystem.h"
#include "platform/X11HotKeys.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QGuiApplication>

namespace tessaline {

namespace {

struct OfferedPortals
{
    bool screenshot = false;
    bool globalShortcuts = false;
};

// One question to the bus at start; a desktop without portals answers at
// once that nobody owns the name.
OfferedPortals offeredPortals()
{
    OfferedPortals offered;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return offered;
    const QDBusMessage reply = bus.call(
        QDBusMessage::createMethodCall(PortalRequest::service(), PortalRequest::path(),
                                       QStringLiteral("org.freedesktop.DBus.Introspectable"), QStringLiteral("Introspect")),
        QDBus::Block, 5000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return offered;
    const QString xml = reply.arguments().constFirst().toString();
    offered.screenshot = xml.contains(QLatin1String("\"org.freedesktop.portal.Screenshot\""));
    offered.globalShortcuts = xml.contains(QLatin1String("\"org.freedesktop.portal.GlobalShortcuts\""));
    return offered;
}

// An X11 client of sway's XWayland server: the X11 window manager's hints
// for pins, but sway still places every window it manages itself, in the
// middle of the output with the keyboard, so the capture toast's corner
// is asked of sway as under Wayland.
class SwayXWaylandFloatingWindows final : public FloatingWindows
{
public:
    SwayXWaylandFloatingWindows(std::unique_ptr<FloatingWindows> x11, std::unique_ptr<FloatingWindows> sway)
        : m_x11(std::move(x11))
        , m_sway(std::move(sway))
    {
    }

    void keepOnAllWorkspaces(QWindow &window) override { m_x11->keepOnAllWorkspaces(window); }
    void keepAspectRatio(QWindow &window, const QSizeF &ratio, const QSize &minimum) override
    {
        m_x11->keepAspectRatio(window, ratio, minimum);
    }
    void showOverFullScreen(QWindow &window) override { m_x11->showOverFullScreen(window); }
    bool opensUnfocusedInCorner() const override { return m_sway->opensUnfocusedInCorner(); }
    void openUnfocusedInCorner(QWindow &window, const QSize &size, int inset) override
    {
        m_sway->openUnfocusedInCorner(window, size, inset);
    }

private:
    std::unique_ptr<FloatingWindows> m_x11;
    std::unique_ptr<FloatingWindows> m_sway;
};

} // namespace

WindowSession PlatformFactory::detectSession(const QString &qtPlatformName, bool hasWaylandDisplay)
{
    if (qtPlatformName == QLatin1String("xcb"))
        return WindowSession::x11;
    if (qtPlatformName.startsWith(QLatin1String("wayland")) && hasWaylandDisplay)
        return WindowSession::wayland;
    return WindowSession::none;
}

PlatformBackends PlatformFactory::createNull()
{
    PlatformBackends backends;
    backends.session = WindowSession::none;
    backends.captureSystem = std::make_unique<NullCaptureSystem>();
    backends.hotKeySystem = std::make_unique<UnavailableHotKeys>(HotKeyStatus::noWindowSystem, false);
    return backends;
}

PlatformBackends PlatformFactory::createPortal()
{
    const OfferedPortals offered = offeredPortals();
    PlatformBackends backends;
    backends.session = WindowSession::wayland;
    // sway says, over its own socket, what Wayland keeps from clients, and
    // KWin to a script of ours it runs.
    if (!SwayIpc::socketPath().isEmpty())
        backends.captureSystem = std::make_unique<SwayCaptureSystem>(offered.screenshot);
    else if (KWinScripts::session())
        backends.captureSystem = std::make_unique<KWinCaptureSystem>(offered.screenshot);
    else
        backends.captureSystem = std::make_unique<PortalCaptureSystem>(offered.screenshot);
    PlatformTexts::windowCaptureUnavailable() = !WindowSystem::knowsFrontmostWindow();
    if (offered.globalShortcuts)
        backends.hotKeySystem = std::make_unique<PortalHotKeys>();
    else
        backends.hotKeySystem = std::make_unique<UnavailableHotKeys>(HotKeyStatus::notOffered, true);
    PlatformTexts::shortcutsOnlyThroughCommands() = !offered.globalShortcuts;
    return backends;
}

PlatformBackends PlatformFactory::create()
{
    switch (detectSession(QGuiApplication::platformName(), !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))) {
    case WindowSession::x11: {
        // Through XWayland the X server holds only our own windows: its
        // pictures of the screen come out black and its key grabs see
        // keys only while one of ours has the focus. The desktop's portals
        // see the real screen.
        if (WindowSystem::isWaylandSession())
            return createPortal();
        auto capture = X11CaptureSystem::create();
        auto hotKeys = X11HotKeys::create();
        if (!capture || !hotKeys)
            break;
        PlatformBackends backends;
        backends.session = WindowSession::x11;
        backends.captureSystem = std::move(capture);
        backends.hotKeySystem = std::move(hotKeys);
        return backends;
    }
    case WindowSession::wayland:
        return createPortal();
    case WindowSession::none:
        break;
    }
    return createNull();
}

FloatingWindows &PlatformFactory::floatingWindows()
{
    static const std::unique_ptr<FloatingWindows> backend = []() -> std::unique_ptr<FloatingWindows> {
        if (detectSession(QGuiApplication::platformName(), !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
            == WindowSession::x11) {
            auto x11 = X11FloatingWindows::create();
            if (x11 && WindowSystem::isWaylandSession() && !SwayIpc::socketPath().isEmpty()) {
                if (auto sway = WaylandFloatingWindows::create())
                    return std::make_unique<SwayXWaylandFloatingWindows>(std::move(x11), std::move(sway));
            }
            if (x11)
                return x11;
        } else if (WindowSystem::isWaylandSession()) {
            if (auto wayland = WaylandFloatingWindows::create())
                return wayland;
        }
        return std::make_unique<NullFloatingWindows>();
    }();
    return *backend;
}

std::unique_ptr<QObject> PlatformFactory::dialogPlacement()
{
    return WaylandModalDialogs::create();
}

} // namespace tessaline

#include "platform/WindowSystem.h"

#include "platform/KWinScripts.h"
#include "platform/QtScreenCaptureSystem.h"
#include "platform/SwayIpc.h"
#include "platform/X11CaptureSystem.h"
#include "platform/X11Connection.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QMetaMethod>
#include <qpa/qplatformnativeinterface.h>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <utility>

#include <xcb/xcbext.h>

namespace tessaline::WindowSystem {

namespace {

// Qt's X11 plugin names its tray signal only in its own private classes,
// so it is reached by name, which needs a slot to land in.
class TrayRelay : public QObject
{
    Q_OBJECT
public:
    TrayRelay(QObject *context, std::function<void()> changed) : QObject(context), m_changed(std::move(changed)) {}

public Q_SLOTS:
    void relay() { m_changed(); }

private:
    std::function<void()> m_changed;
};

} // namespace

bool clientsPlaceWindows()
{
    return !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

bool clientsGrabInput()
{
    return QGuiApplication::platformName() == QLatin1String("xcb");
}

void afterServerCaughtUp(QObject *context, std::function<void()> then)
{
    const std::optional<X11Connection> x11 = clientsGrabInput() ? X11Connection::application() : std::nullopt;
    if (!x11) {
        then();
        return;
    }
    xcb_connection_t *connection = x11->connection;
    // The server answers requests in order: the answer to this one says the
    // earlier ones are done. Qt's own thread reads it off the connection and
    // xcb keeps it until asked for or dropped.
    const unsigned int request = xcb_get_input_focus(connection).sequence;
    xcb_flush(connection);
    auto *poll = new QTimer(context);
    poll->setTimerType(Qt::PreciseTimer);
    poll->setInterval(1);
    auto answered = std::make_shared<bool>(false);
    // Gone with its context first, the answer is dropped unread.
    QObject::connect(poll, &QObject::destroyed, [connection, request, answered] {
        if (!*answered)
            xcb_discard_reply(connection, request);
    });
    QElapsedTimer waited;
    waited.start();
    QObject::connect(poll, &QTimer::timeout, poll, [poll, connection, request, answered, waited, then = std::move(then)] {
        void *reply = nullptr;
        xcb_generic_error_t *error = nullptr;
        // A server that never answers (gone, or stuck) is given up on.
        constexpr qint64 patienceMs = 2000;
        if (xcb_poll_for_reply(connection, request, &reply, &error) == 0 && waited.elapsed() < patienceMs
            && !xcb_connection_has_error(connection))
            return;
        *answered = reply || error;
        std::free(reply);
        std::free(error);
        poll->stop();
        poll->deleteLater();
        then();
    });
    poll->start();
}

bool isWaylandSession()
{
    const QString platform = QGuiApplication::platformName();
    if (platform.startsWith(QLatin1String("wayland")))
        return true;
    // XWayland names its outputs so. The environment would say it too, but
    // it also says so to a test's own X server started from a Wayland desktop.
    if (platform == QLatin1String("xcb")) {
        const QList<QScreen *> screens = QGuiApplication::screens();
        for (const QScreen *screen : screens) {
            if (screen->name().startsWith(QLatin1String("XWAYLAND")))
                return true;
        }
    }
    return false;
}

bool watchTrays(QObject *context, std::function<void()> changed)
{
    QObject *native = QGuiApplication::platformNativeInterface();
    if (QGuiApplication::platformName() != QLatin1String("xcb") || !native
        || native->metaObject()->indexOfSignal("systemTrayWindowChanged(QScreen*)") < 0)
        return false;
    auto *relay = new TrayRelay(context, std::move(changed));
    return QObject::connect(native, SIGNAL(systemTrayWindowChanged(QScreen*)), relay, SLOT(relay()));
}

bool knowsFrontmostWindow()
{
    // sway tells any client of its socket, KWin a script of ours.
    if (isWaylandSession())
        return !SwayIpc::socketPath().isEmpty() || KWinScripts::session();
    return QGuiApplication::platformName() == QLatin1String("xcb");
}

QWindow *stackingParent(const QWindow *besides)
{
    const auto ordinary = [besides](QWindow *window) {
        // A capture overlay is gone a moment later, and what belongs to it with it.
        if (!window || window == besides || !window->isVisible()
            || window->flags().testFlag(Qt::BypassWindowManagerHint))
            return false;
        const Qt::WindowType type = window->type();
        return type == Qt::Window || type == Qt::Dialog;
    };
    if (QWindow *focused = QGuiApplication::focusWindow()) {
        // A menu or popup with the keyboard stands for the window it opened from.
        while (focused && !ordinary(focused) && focused->transientParent())
            focused = focused->transientParent();
        if (ordinary(focused))
            return focused;
    }
    const QWindowList windows = QGuiApplication::topLevelWindows();
    for (QWindow *window : windows) {
        if (ordinary(window) && !window->transientParent())
            return window;
    }
    return nullptr;
}

namespace {

// KWin's name for the output it takes as active; none where KWin does not
// run or does not answer in time (it answers in about a millisecond).
std::optional<QString> kwinActiveOutput()
{
    if (!qEnvironmentVariable("XDG_CURRENT_DESKTOP").contains(QLatin1String("KDE"), Qt::CaseInsensitive))
        return std::nullopt;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return std::nullopt;
    const QDBusMessage reply = bus.call(QDBusMessage::createMethodCall(QStringLiteral("org.kde.KWin"), QStringLiteral("/KWin"),
                                                                       QStringLiteral("org.kde.KWin"),
                                                                       QStringLiteral("activeOutputName")),
                                        QDBus::Block, 300);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return std::nullopt;
    const QString name = reply.arguments().constFirst().toString();
    return name.isEmpty() ? std::nullopt : std::optional(name);
}

} // namespace

QScreen *activeScreen()
{
    if (!isWaylandSession())
        return nullptr;
    std::optional<QString> name = SwayIpc::focusedOutput();
    if (!name)
        name = kwinActiveOutput();
    if (!name)
        return nullptr;
    const QList<QScreen *> screens = QGuiApplication::screens();
    const auto named = std::find_if(screens.cbegin(), screens.cend(), [&](const QScreen *screen) {
        return screen->name() == *name;
    });
    return named != screens.cend() ? *named : nullptr;
}

bool bringForwardThroughCompositor(const QWindow &window)
{
    // Shown, not exposed: Qt counts a window as unexposed while the
    // compositor is late with its frame callbacks, as a busy one is, and
    // sway sends none to a window on a workspace out of sight, which is
    // just the window to bring forward.
    if (!isWaylandSession() || !window.isVisible() || !window.handle())
        return false;
    if (!SwayIpc::socketPath().isEmpty()) {
        // A window with a parent floats on sway (see stackingParent).
        return SwayIpc::focusWindow({QCoreApplication::applicationPid(), window.title(),
                                     window.transientParent() != nullptr, window.size()});
    }
    KWinScripts *kwin = KWinScripts::session();
    if (!kwin)
        return false;
    // KWin's own activation passes over its focus-stealing guard, and a
    // full-screen window that loses the focus leaves the layer above the
    // others. Of our windows of that title, the one of that size.
    kwin->run(QStringLiteral("forward"),
              QStringLiteral("(function () {"
                             " const list = workspace.clientList(); let found = null;"
                             " for (let i = 0; i < list.length; ++i) { const c = list[i];"
                             "  if (c.pid == %1 && c.caption == %2 && (!found"
                             "      || (c.clientGeometry.width == %3 && c.clientGeometry.height == %4))) found = c; }"
                             " if (found) { found.minimized = false; workspace.activeClient = found; } })();")
                  .arg(QCoreApplication::applicationPid())
                  .arg(KWinScripts::quoted(window.title()))
                  .arg(window.width())
                  .arg(window.height()));
    return true;
}

void bringForward(QWindow &window)
{
    if (!bringForwardThroughCompositor(window) && prepareActivation())
        window.requestActivate();
}

namespace {

// A launcher's token is good for a few seconds (GNOME lets a start's go
// after fifteen).
constexpr qint64 activationTokenLifetime = 10'000;

struct HeldToken
{
    QString token;
    QElapsedTimer age;
};

HeldToken &heldToken()
{
    static HeldToken held;
    return held;
}

// Whether the compositor shows a banner for a window that asks for the
// keyboard without a token it accepts: mutter marks the window as wanting
// attention, and GNOME Shell says so.
bool activationWithoutTokenNags()
{
    return isWaylandSession()
        && qEnvironmentVariable("XDG_CURRENT_DESKTOP").contains(QLatin1String("GNOME"), Qt::CaseInsensitive);
}

// Whether Qt's own requests for the keyboard, made each time the keyboard
// focus moves (also when the compositor has just handed it over), mark our
// windows: GNOME's banner (above), and sway's urgent mark, red on the
// window's title and its workspace's button, which sway sets by default
// for every request of a window that does not have the keyboard, whatever
// the token: a window of ours that got the keyboard and asked for it again
// as the next came up (the frame composer after the review, say).
bool qtsActivationRequestsMarkWindows()
{
    return activationWithoutTokenNags() || (isWaylandSession() && !SwayIpc::socketPath().isEmpty());
}

} // namespace

void holdActivationToken(const QString &token)
{
    if (token.isEmpty())
        return;
    heldToken().token = token;
    heldToken().age.start();
}

void holdLaunchToken()
{
    // GLib before 2.76 sets only the startup id, which GNOME takes as the token.
    QString token = qEnvironmentVariable("XDG_ACTIVATION_TOKEN");
    if (token.isEmpty())
        token = qEnvironmentVariable("DESKTOP_STARTUP_ID");
    qunsetenv("XDG_ACTIVATION_TOKEN");
    qunsetenv("DESKTOP_STARTUP_ID");
    holdActivationToken(token);
}

bool prepareActivation()
{
    HeldToken &held = heldToken();
    const bool fresh = !held.token.isEmpty() && held.age.isValid() && held.age.elapsed() < activationTokenLifetime;
    // Qt spends a token found here on the next request, once.
    if (fresh)
        qputenv("XDG_ACTIVATION_TOKEN", held.token.toUtf8());
    else
        qunsetenv("XDG_ACTIVATION_TOKEN");
    held.token.clear();
    return fresh || !activationWithoutTokenNags();
}

void keepActivationToOurRequests()
{
    if (!qtsActivationRequestsMarkWindows() || !qGuiApp)
        return;
    // Qt connects it without a receiver of its own, so the application
    // object is the receiver; nothing of ours listens there.
    QObject::disconnect(qGuiApp, QMetaMethod::fromSignal(&QGuiApplication::focusObjectChanged), qGuiApp, QMetaMethod());
}

void keepKeyboardWithBlockingDialogs()
{
    if (!qGuiApp || !isWaylandSession())
        return;
    QObject::connect(qGuiApp, &QGuiApplication::focusWindowChanged, qGuiApp, [](QWindow *focused) {
        QWindow *dialog = QGuiApplication::modalWindow();
        if (!focused || !dialog || dialog == focused || !dialog->isExposed())
            return;
        if (dialog->modality() == Qt::WindowModal) {
            // It blocks only the windows it belongs to.
            const QWindow *owner = dialog->transientParent();
            while (owner && owner != focused)
                owner = owner->transientParent();
            if (!owner)
                return;
        }
        bringForwardThroughCompositor(*dialog);
    });
}

QScreen *screenForDisplay(quint32 displayID)
{
    // Through XWayland the pictures come from the desktop's portal, which
    // numbers the displays as Qt lists its screens, not by X11's outputs.
    const auto x11 = isWaylandSession() ? std::nullopt : X11Connection::application();
    if (!x11)
        return QtScreenCaptureSystem::screenForDisplay(displayID);
    const QList<QScreen *> screens = QGuiApplication::screens();
    for (const X11Display &display : X11CaptureSystem::displaysFor(x11)) {
        if (display.displayID != displayID)
            continue;
        for (QScreen *screen : screens) {
            if (screen->name() == display.name)
                return screen;
        }
    }
    return nullptr;
}

} // namespace tessaline::WindowSystem

#include "WindowSystem.moc"

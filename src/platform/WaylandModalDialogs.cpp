#include "platform/WaylandModalDialogs.h"

#include <QEvent>
#include <QGuiApplication>
#include <QWindow>
#include <qpa/qplatformnativeinterface.h>

#include <wayland-client.h>

#include <cstring>

namespace tessaline {

namespace {

// GTK's shell protocol as far as we speak it: its version 1, every request
// in its place (a request is known by its position) and every event its
// objects may send at that version (an event the client cannot decode ends
// the connection).
extern const wl_interface gtkSurfaceInterface;

const wl_interface *noTypes[6] = {};
const wl_interface *getGtkSurfaceTypes[] = {&gtkSurfaceInterface, &wl_surface_interface};
const wl_interface *systemBellTypes[] = {&gtkSurfaceInterface};

const wl_message gtkShellRequests[] = {
    {"get_gtk_surface", "no", getGtkSurfaceTypes},
    {"set_startup_id", "?s", noTypes},
    {"system_bell", "?o", systemBellTypes},
};
const wl_message gtkShellEvents[] = {
    {"capabilities", "u", noTypes},
};
const wl_message gtkSurfaceRequests[] = {
    {"set_dbus_properties", "?s?s?s?s?s?s", noTypes},
    {"set_modal", "", noTypes},
    {"unset_modal", "", noTypes},
};
const wl_message gtkSurfaceEvents[] = {
    {"configure", "a", noTypes},
};

const wl_interface gtkShellInterface = {"gtk_shell1", 1, 3, gtkShellRequests, 1, gtkShellEvents};
const wl_interface gtkSurfaceInterface = {"gtk_surface1", 1, 3, gtkSurfaceRequests, 1, gtkSurfaceEvents};

constexpr uint32_t getGtkSurface = 0;
constexpr uint32_t setModal = 1;
constexpr uint32_t unsetModal = 2;

void *nativeResource(const char *name, QWindow *window = nullptr)
{
    QPlatformNativeInterface *native = QGuiApplication::platformNativeInterface();
    if (!native)
        return nullptr;
    return window ? native->nativeResourceForWindow(name, window) : native->nativeResourceForIntegration(name);
}

// The compositor's shell object of the protocol, or none where it offers
// none. Asked on a queue of our own, so Qt's events wait where they are.
wl_proxy *bindGtkShell(wl_display *display)
{
    wl_event_queue *queue = wl_display_create_queue(display);
    auto *wrapper = static_cast<wl_display *>(wl_proxy_create_wrapper(display));
    wl_proxy_set_queue(reinterpret_cast<wl_proxy *>(wrapper), queue);
    wl_registry *registry = wl_display_get_registry(wrapper);
    wl_proxy *shell = nullptr;
    static const wl_registry_listener listener = {
        [](void *data, wl_registry *registry, uint32_t name, const char *interface, uint32_t) {
            auto *found = static_cast<wl_proxy **>(data);
            if (!*found && std::strcmp(interface, gtkShellInterface.name) == 0)
                *found = static_cast<wl_proxy *>(wl_registry_bind(registry, name, &gtkShellInterface, 1));
        },
        [](void *, wl_registry *, uint32_t) {},
    };
    wl_registry_add_listener(registry, &listener, &shell);
    const bool answered = wl_display_roundtrip_queue(display, queue) >= 0;
    // Its events (and its surfaces' events, which we leave unheard) go to
    // Qt's queue, which reads them as it reads its own.
    if (shell)
        wl_proxy_set_queue(shell, nullptr);
    wl_registry_destroy(registry);
    wl_proxy_wrapper_destroy(wrapper);
    wl_event_queue_destroy(queue);
    if (!answered && shell) {
        wl_proxy_destroy(shell);
        shell = nullptr;
    }
    return shell;
}

} // namespace

std::unique_ptr<WaylandModalDialogs> WaylandModalDialogs::create()
{
    if (!QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
        return nullptr;
    auto *display = static_cast<wl_display *>(nativeResource("wl_display"));
    if (!display)
        return nullptr;
    wl_proxy *shell = bindGtkShell(display);
    if (!shell)
        return nullptr;
    return std::unique_ptr<WaylandModalDialogs>(new WaylandModalDialogs(shell));
}

WaylandModalDialogs::WaylandModalDialogs(wl_proxy *shell)
    : m_shell(shell)
{
}

WaylandModalDialogs::~WaylandModalDialogs()
{
    // The objects go with the connection, which the compositor cleans up;
    // the client's records of them go here.
    for (const Marked &marked : std::as_const(m_marked))
        wl_proxy_destroy(marked.gtkSurface);
    wl_proxy_destroy(m_shell);
}

bool WaylandModalDialogs::isModalDialog(const QWindow &window)
{
    const Qt::WindowType type = window.type();
    return window.transientParent() && window.modality() != Qt::NonModal
        && (type == Qt::Dialog || type == Qt::Sheet);
}

bool WaylandModalDialogs::opensOverParent(const QWindow &window)
{
    const Qt::WindowType type = window.type();
    return window.transientParent() && window.modality() == Qt::NonModal
        && (type == Qt::Window || type == Qt::Dialog || type == Qt::Tool)
        && !(window.windowStates() & (Qt::WindowFullScreen | Qt::WindowMaximized));
}

bool WaylandModalDialogs::eventFilter(QObject *watched, QEvent *event)
{
    // Qt makes the window's surface a toplevel as it shows it, and sends
    // the first Expose once the compositor has answered, just before the
    // first picture: mutter places the window as that picture arrives, and
    // knows it as a dialog by then.
    if (event->type() == QEvent::Expose) {
        auto *window = qobject_cast<QWindow *>(watched);
        if (window && window->isExposed() && !m_marked.contains(window)) {
            if (isModalDialog(*window)) {
                mark(*window, Marking::whileShown);
            } else if (opensOverParent(*window)) {
                mark(*window, Marking::untilPlaced);
                // Delivered once the compositor has shown the first
                // picture, and so placed the window.
                window->requestUpdate();
            }
        }
    } else if (event->type() == QEvent::UpdateRequest) {
        auto *window = qobject_cast<QWindow *>(watched);
        if (window && m_marked.value(window).marking == Marking::untilPlaced)
            letGo(*window);
    } else if (event->type() == QEvent::Hide) {
        if (auto *window = qobject_cast<QWindow *>(watched); window && m_marked.contains(window))
            forget(window);
    }
    return false;
}

void WaylandModalDialogs::mark(QWindow &window, Marking marking)
{
    auto *surface = static_cast<wl_proxy *>(nativeResource("surface", &window));
    if (!surface)
        return;
    wl_proxy *gtkSurface = wl_proxy_marshal_flags(m_shell, getGtkSurface, &gtkSurfaceInterface,
                                                  wl_proxy_get_version(m_shell), 0, nullptr, surface);
    if (!gtkSurface)
        return;
    wl_proxy_marshal_flags(gtkSurface, setModal, nullptr, wl_proxy_get_version(gtkSurface), 0);
    const QMetaObject::Connection gone = connect(&window, &QObject::destroyed, this, [this, &window] { forget(&window); });
    m_marked.insert(&window, {gtkSurface, gone, marking});
}

void WaylandModalDialogs::letGo(QWindow &window)
{
    // Kept as placed until it hides, so a later Expose (a resize, a
    // restore) does not fasten it to its parent again.
    Marked &marked = m_marked[&window];
    wl_proxy_marshal_flags(marked.gtkSurface, unsetModal, nullptr, wl_proxy_get_version(marked.gtkSurface), 0);
    marked.marking = Marking::placed;
}

void WaylandModalDialogs::forget(QWindow *window)
{
    // Version 1 has no request that ends the object: the compositor drops
    // it with the surface it belonged to.
    const Marked marked = m_marked.take(window);
    disconnect(marked.gone);
    if (marked.gtkSurface)
        wl_proxy_destroy(marked.gtkSurface);
}

} // namespace tessaline

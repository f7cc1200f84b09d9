#include "platform/PortalHotKeys.h"

#include "platform/KdeShortcutRegistry.h"
#include "platform/KeyPositions.h"
#include "platform/PortalRequest.h"
#include "platform/WindowSystem.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>

namespace tessaline {

namespace {

const QString shortcutsInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");

// One entry of the portal's a(sa{sv}) shortcut lists.
struct PortalShortcut
{
    QString id;
    QVariantMap properties;
};
using PortalShortcutList = QList<PortalShortcut>;

QDBusArgument &operator<<(QDBusArgument &argument, const PortalShortcut &shortcut)
{
    argument.beginStructure();
    argument << shortcut.id << shortcut.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, PortalShortcut &shortcut)
{
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.properties;
    argument.endStructure();
    return argument;
}

} // namespace

} // namespace tessaline

Q_DECLARE_METATYPE(tessaline::PortalShortcut)
Q_DECLARE_METATYPE(tessaline::PortalShortcutList)

namespace tessaline {

PortalHotKeys::PortalHotKeys(QString portalService, QObject *parent)
    : QObject(parent)
    , m_service(portalService.isEmpty() ? PortalRequest::service() : std::move(portalService))
{
    qDBusRegisterMetaType<PortalShortcut>();
    qDBusRegisterMetaType<PortalShortcutList>();
    // QtDBus finds a slot's parameter types by name, and a type's name is
    // known only once the type has been registered.
    qRegisterMetaType<QDBusObjectPath>();
    QDBusConnection::sessionBus().connect(m_service, PortalRequest::path(), shortcutsInterface,
                                          QStringLiteral("Activated"), this,
                                          SLOT(handleActivated(QDBusObjectPath,QString,qulonglong,QVariantMap)));
}

PortalHotKeys::~PortalHotKeys()
{
    closeSession();
}

QString PortalHotKeys::shortcutID(const QString &name)
{
    return name.toLower().replace(u' ', u'-');
}

QString PortalHotKeys::preferredTrigger(quint32 keyCode, quint32 modifierFlags)
{
    const QString key = KeyPositions::keysymName(keyCode);
    if (key.isEmpty())
        return {};
    QString trigger;
    if (modifierFlags & HotKeyModifier::command)
        trigger += QStringLiteral("CTRL+");
    if (modifierFlags & HotKeyModifier::option)
        trigger += QStringLiteral("ALT+");
    if (modifierFlags & HotKeyModifier::shift)
        trigger += QStringLiteral("SHIFT+");
    if (modifierFlags & HotKeyModifier::control)
        trigger += QStringLiteral("LOGO+");
    return trigger + key;
}

HotKeyStatus PortalHotKeys::installEventHandler(EventHandler handler)
{
    m_handler = std::move(handler);
    return HotKeyStatus::registered;
}

void PortalHotKeys::removeEventHandler()
{
    m_handler = nullptr;
}

HotKeyStatus PortalHotKeys::registerHotKey(const HotKeyRequest &request, HotKeyReference *reference)
{
    const QString trigger = preferredTrigger(request.keyCode, request.modifierFlags);
    if (trigger.isEmpty())
        return HotKeyStatus::unsupportedKey;
    const HotKeyReference ref = m_nextReference++;
    m_shortcuts.insert(ref, Shortcut{request.id, shortcutID(request.name), request.name, trigger});
    if (reference)
        *reference = ref;
    scheduleBinding();
    return HotKeyStatus::registered;
}

void PortalHotKeys::unregisterHotKey(HotKeyReference reference)
{
    if (m_shortcuts.remove(reference))
        scheduleBinding();
}

std::optional<quint32> PortalHotKeys::keyCodeAtScanCode(quint32 nativeScanCode) const
{
    return KeyPositions::storedKeyCode(nativeScanCode);
}

void PortalHotKeys::scheduleBinding()
{
    // A change of shortcuts unregisters and registers several in one go;
    // the desktop hears about the result once.
    if (m_bindingScheduled)
        return;
    m_bindingScheduled = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_bindingScheduled = false;
            bind();
        },
        Qt::QueuedConnection);
}

void PortalHotKeys::closeSession(std::function<void()> then)
{
    if (m_session.isEmpty()) {
        if (then)
            then();
        return;
    }
    QDBusPendingCall closing = QDBusConnection::sessionBus().asyncCall(QDBusMessage::createMethodCall(
        m_service, m_session, QStringLiteral("org.freedesktop.portal.Session"), QStringLiteral("Close")));
    m_session.clear();
    if (!then)
        return;
    // The next session reuses the token, so it waits until this one is gone.
    auto *watcher = new QDBusPendingCallWatcher(closing, this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [watcher, then = std::move(then)] {
        watcher->deleteLater();
        then();
    });
}

void PortalHotKeys::bind()
{
    if (m_binding) {
        m_bindAgain = true;
        return;
    }
    m_binding = true;
    m_bound.clear();
    closeSession([this] {
        if (m_shortcuts.isEmpty()) {
            bindingEnded({}, true);
            return;
        }
        PortalShortcutList list;
        for (const Shortcut &shortcut : std::as_const(m_shortcuts)) {
            list.append(PortalShortcut{shortcut.shortcutID,
                                       {{QStringLiteral("description"), shortcut.description},
                                        {QStringLiteral("preferred_trigger"), shortcut.trigger}}});
        }
        const QVariant shortcuts = QVariant::fromValue(list);
        // KDE Plasma keeps the keys it gave a session's shortcuts and hands
        // them back to the next session of that token, whatever that one
        // prefers; forgetting ours first lets a changed combination through.
        KdeShortcutRegistry::forget(sessionToken(), this, [this, shortcuts] { createSession(shortcuts); });
    });
}

void PortalHotKeys::createSession(const QVariant &shortcuts)
{
    // Some desktops (KDE Plasma 5.27) register only the shortcuts given
    // when the session is made; the others bind what BindShortcuts names.
    PortalRequest::call(
        shortcutsInterface, QStringLiteral("CreateSession"), {},
        {{QStringLiteral("session_handle_token"), sessionToken()}, {QStringLiteral("shortcuts"), shortcuts}}, this,
        [this, shortcuts](const PortalAnswer &answer) {
            const QVariant handle = answer.results.value(QStringLiteral("session_handle"));
            const QString session = handle.canConvert<QDBusObjectPath>() && handle.userType() != QMetaType::QString
                ? handle.value<QDBusObjectPath>().path()
                : handle.toString();
            if (answer.response != PortalAnswer::success || session.isEmpty()) {
                qWarning("The desktop made no session for global shortcuts (response %u%s%s).", answer.response,
                         answer.callError.isValid() ? ": " : "", qPrintable(answer.callError.message()));
                bindingEnded({}, false);
                return;
            }
            m_session = session;
            bindInSession(session, shortcuts);
        });
}

void PortalHotKeys::bindInSession(const QString &session, const QVariant &shortcuts)
{
    PortalRequest::call(
        shortcutsInterface, QStringLiteral("BindShortcuts"), {QVariant::fromValue(QDBusObjectPath(session)), shortcuts, QString()},
        {}, this, [this, session](const PortalAnswer &answer) {
            if (answer.response != PortalAnswer::success) {
                qWarning("The desktop did not bind the global shortcuts (response %u).", answer.response);
                bindingEnded({}, false);
                return;
            }
            listBound(session);
        });
}

void PortalHotKeys::listBound(const QString &session)
{
    // What BindShortcuts answers is what the desktop meant to bind; the
    // list is what it holds now.
    PortalRequest::call(
        shortcutsInterface, QStringLiteral("ListShortcuts"), {QVariant::fromValue(QDBusObjectPath(session))}, {}, this,
        [this](const PortalAnswer &answer) {
            QMap<QString, QString> listed;
            if (answer.response == PortalAnswer::success) {
                PortalShortcutList list;
                answer.results.value(QStringLiteral("shortcuts")).value<QDBusArgument>() >> list;
                for (const PortalShortcut &shortcut : std::as_const(list))
                    listed.insert(shortcut.id, shortcut.properties.value(QStringLiteral("trigger_description")).toString());
            }
            // KDE Plasma describes the trigger a shortcut asked for, even
            // when another shortcut holds that key; its own registry says
            // which keys it really gave.
            KdeShortcutRegistry::heldKeys(sessionToken(), this, [this, listed](const std::optional<QSet<QString>> &held) {
                if (!held) {
                    bindingEnded(listed, true);
                    return;
                }
                QMap<QString, QString> bound;
                for (auto it = listed.cbegin(); it != listed.cend(); ++it) {
                    if (held->contains(it.key()))
                        bound.insert(it.key(), it.value());
                }
                bindingEnded(bound, true);
            });
        });
}

void PortalHotKeys::bindingEnded(const QMap<QString, QString> &bound, bool sessionMade)
{
    m_binding = false;
    m_bound = bound;
    if (m_bindAgain) {
        m_bindAgain = false;
        bind();
        return;
    }
    // Registering said yes before the desktop was asked; what it then
    // turned down (the user said no, it would not make a session, or it
    // gave the shortcut another key or none) is reported now, in the order
    // of the actions.
    QList<HotKeyID> refused;
    for (const Shortcut &shortcut : std::as_const(m_shortcuts)) {
        const auto found = bound.constFind(shortcut.shortcutID);
        // A key the registry confirms may still be one kept from before,
        // which the desktop describes as it is: both must agree.
        if (found == bound.cend() || !triggerMatches(*found, shortcut.trigger))
            refused.append(shortcut.id);
    }
    std::sort(refused.begin(), refused.end(), [](const HotKeyID &a, const HotKeyID &b) { return a.id < b.id; });
    if (m_bindingHandler)
        m_bindingHandler(refused, sessionMade ? HotKeyStatus::alreadyTaken : HotKeyStatus::refused);
    Q_EMIT bindingFinished();
}

bool PortalHotKeys::triggerMatches(const QString &description, const QString &preferred)
{
    // Desktops spell modifiers their own way and in their own order.
    const auto parts = [](const QString &trigger) {
        QStringList keys = trigger.toUpper().remove(u' ').split(u'+', Qt::SkipEmptyParts);
        for (QString &key : keys) {
            if (key == QLatin1String("CONTROL") || key == QLatin1String("PRIMARY"))
                key = QStringLiteral("CTRL");
            else if (key == QLatin1String("META") || key == QLatin1String("SUPER") || key == QLatin1String("MOD4"))
                key = QStringLiteral("LOGO");
        }
        if (keys.isEmpty())
            return keys;
        const QString key = keys.takeLast();
        std::sort(keys.begin(), keys.end());
        keys.append(key);
        return keys;
    };
    const QStringList given = parts(description);
    const QStringList asked = parts(preferred);
    if (given.isEmpty() || asked.isEmpty() || given.mid(0, given.size() - 1) != asked.mid(0, asked.size() - 1))
        return false;
    // Letters, digits and function keys read the same everywhere; other
    // keys go by names of each desktop's own ("minus", "-"), so there the
    // modifiers have to do.
    static const QRegularExpression plainKey(QStringLiteral("^([A-Z0-9]|F[0-9]{1,2})$"));
    return given.last() == asked.last() || !plainKey.match(asked.last()).hasMatch();
}

void PortalHotKeys::handleActivated(const QDBusObjectPath &session, const QString &shortcut, qulonglong,
                                    const QVariantMap &options)
{
    if (session.path() != m_session || !m_handler)
        return;
    for (const Shortcut &each : std::as_const(m_shortcuts)) {
        if (each.shortcutID == shortcut) {
            // A desktop that hands one over lets the window the key calls up
            // take the keyboard from the app in use.
            WindowSystem::holdActivationToken(options.value(QStringLiteral("activation_token")).toString());
            m_handler(HotKeyEvent{true, each.id});
            return;
        }
    }
}

} // namespace tessaline

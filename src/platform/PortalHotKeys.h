#pragma once

#include "platform/HotKeySystem.h"

#include <QDBusObjectPath>
#include <QMap>
#include <QObject>
#include <QVariantMap>

#include <functional>

namespace tessaline {

// Global hot keys in a Wayland session, through the desktop's
// GlobalShortcuts portal. The desktop owns the keys: we hand it the
// shortcuts with the user's combinations as preferred triggers, it binds them
// (perhaps after asking the user, perhaps to other keys) and tells us when
// one is pressed. Registering therefore succeeds at once and the binding
// follows a moment later; every change binds the whole set afresh in a new
// session under the same session token, because desktops file the shortcuts
// they keep by that token. A shortcut the desktop did not give exactly the
// key asked for counts as refused: its trigger would not be the one the user
// sees in Settings.
class PortalHotKeys : public QObject, public HotKeySystem
{
    Q_OBJECT
public:
    explicit PortalHotKeys(QString portalService = QString(), QObject *parent = nullptr);
    ~PortalHotKeys() override;

    HotKeyStatus installEventHandler(EventHandler handler) override;
    void removeEventHandler() override;
    HotKeyStatus registerHotKey(const HotKeyRequest &request, HotKeyReference *reference) override;
    void unregisterHotKey(HotKeyReference reference) override;
    std::optional<quint32> keyCodeAtScanCode(quint32 nativeScanCode) const override;
    bool bindsLater() const override { return true; }
    void setBindingHandler(BindingHandler handler) override { m_bindingHandler = std::move(handler); }

    // The desktop's own description of each bound shortcut's trigger, by
    // shortcut id; empty until the desktop has answered.
    QMap<QString, QString> boundTriggers() const { return m_bound; }
    bool isBinding() const { return m_binding; }

    // "Capture Region" -> "capture-region".
    static QString shortcutID(const QString &name);
    // The session token every start uses; desktops that keep shortcuts
    // between sessions file them under it.
    static QString sessionToken() { return QStringLiteral("tessaline_shortcuts"); }
    // Whether a desktop's description of a trigger ("Ctrl+Meta+4") names the
    // preferred trigger ("CTRL+LOGO+4"): the same modifiers and key.
    static bool triggerMatches(const QString &description, const QString &preferred);
    // The trigger in the desktop's shortcut notation, "CTRL+LOGO+4".
    static QString preferredTrigger(quint32 keyCode, quint32 modifierFlags);

Q_SIGNALS:
    // The desktop answered a binding, with success or not.
    void bindingFinished();

private Q_SLOTS:
    void handleActivated(const QDBusObjectPath &session, const QString &shortcut, qulonglong timestamp,
                         const QVariantMap &options);

private:
    struct Shortcut
    {
        HotKeyID id;
        QString shortcutID;
        QString description;
        QString trigger;
    };

    void scheduleBinding();
    void bind();
    void createSession(const QVariant &shortcuts);
    void bindInSession(const QString &session, const QVariant &shortcuts);
    void listBound(const QString &session);
    // `bound`: each shortcut the desktop holds a key for, with the
    // desktop's description of that key.
    void bindingEnded(const QMap<QString, QString> &bound, bool sessionMade);
    void closeSession(std::function<void()> then = nullptr);

    QString m_service;
    EventHandler m_handler;
    BindingHandler m_bindingHandler;
    QMap<HotKeyReference, Shortcut> m_shortcuts;
    HotKeyReference m_nextReference = 1;
    QString m_session;
    QMap<QString, QString> m_bound;
    bool m_bindingScheduled = false;
    bool m_binding = false;
    bool m_bindAgain = false;
};

} // namespace tessaline

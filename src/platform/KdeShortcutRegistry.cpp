#include "platform/KdeShortcutRegistry.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QList>
#include <QRegularExpression>

#include <memory>

namespace tessaline::KdeShortcutRegistry {

namespace {

const QString registryService = QStringLiteral("org.kde.kglobalaccel");

// One shortcut as the registry describes it.
struct ShortcutInfo
{
    QString action;
    QString actionName;
    QString component;
    QString componentName;
    QList<int> keys;
    QList<int> defaultKeys;
};

using Reply = std::function<void(const QDBusMessage &reply)>;

void ask(const QString &path, const QString &interface, const QString &method, const QVariantList &arguments,
         QObject *context, Reply reply)
{
    QDBusMessage message = QDBusMessage::createMethodCall(registryService, path, interface, method);
    message.setArguments(arguments);
    // Asking must not start the registry on a desktop that does not run it.
    message.setAutoStartService(false);
    auto *watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(message, 5000), context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context, [watcher, reply = std::move(reply)] {
        watcher->deleteLater();
        reply(watcher->reply());
    });
}

// The registry's components filed under the token: the portal names a
// component after the token, after the app id when the caller has one.
bool isTokenComponent(const QString &path, const QString &token)
{
    const QString name = path.section(u'/', -1);
    return name == token || name.endsWith(u'_' + token);
}

// Earlier versions made each session with a token of its own
// ("tessaline3_1234567"); their components still hold the keys they got.
bool isEarlierComponent(const QString &path)
{
    static const QRegularExpression earlier(QStringLiteral("^(.+_)?tessaline[0-9]+_[0-9]+$"));
    return earlier.match(path.section(u'/', -1)).hasMatch();
}

// The registry goes on listing a component for a while after the component
// lost its last shortcut and left the bus (longer on a busy machine): one
// that is no longer there holds nothing. Taken for an unreadable answer, it
// made forgetting ours forget nothing, and the next session of our token was
// handed back the key it had before.
bool isGone(const QDBusMessage &reply)
{
    return reply.type() == QDBusMessage::ErrorMessage
        && reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.UnknownObject");
}

std::optional<QList<ShortcutInfo>> readInfos(const QDBusMessage &reply)
{
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()
        || reply.signature() != QLatin1String("a(ssssssaiai)"))
        return std::nullopt;
    QList<ShortcutInfo> infos;
    const QDBusArgument argument = reply.arguments().constFirst().value<QDBusArgument>();
    argument.beginArray();
    while (!argument.atEnd()) {
        ShortcutInfo info;
        QString context;
        QString contextName;
        argument.beginStructure();
        argument >> info.action >> info.actionName >> info.component >> info.componentName >> context >> contextName
            >> info.keys >> info.defaultKeys;
        argument.endStructure();
        infos.append(info);
    }
    argument.endArray();
    return infos;
}

// Every shortcut of the token's components, or none when the registry is
// not there or answers in another form.
// Which components a look-up covers.
enum class Components { ofToken, ofTokenAndEarlierVersions };

void tokenShortcuts(const QString &token, Components scope, QObject *context,
                    std::function<void(const std::optional<QList<ShortcutInfo>> &)> then)
{
    ask(QStringLiteral("/kglobalaccel"), QStringLiteral("org.kde.KGlobalAccel"), QStringLiteral("allComponents"), {},
        context, [token, scope, context, then = std::move(then)](const QDBusMessage &reply) {
            if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
                then(std::nullopt);
                return;
            }
            QList<QDBusObjectPath> components;
            reply.arguments().constFirst().value<QDBusArgument>() >> components;
            QStringList ours;
            for (const QDBusObjectPath &component : std::as_const(components)) {
                const bool earlier = scope == Components::ofTokenAndEarlierVersions
                    && isEarlierComponent(component.path());
                if (isTokenComponent(component.path(), token) || earlier)
                    ours.append(component.path());
            }
            if (ours.isEmpty()) {
                then(QList<ShortcutInfo>{});
                return;
            }
            // Answers gather here; the last one hands them on.
            struct Gathered
            {
                qsizetype waiting = 0;
                bool readable = true;
                QList<ShortcutInfo> infos;
            };
            auto gathered = std::make_shared<Gathered>();
            gathered->waiting = ours.size();
            for (const QString &path : std::as_const(ours)) {
                ask(path, QStringLiteral("org.kde.kglobalaccel.Component"), QStringLiteral("allShortcutInfos"), {},
                    context, [gathered, then](const QDBusMessage &infosReply) {
                        if (const auto infos = readInfos(infosReply))
                            gathered->infos += *infos;
                        else if (!isGone(infosReply))
                            gathered->readable = false;
                        if (--gathered->waiting == 0)
                            then(gathered->readable ? std::optional(gathered->infos) : std::nullopt);
                    });
            }
        });
}

bool holdsKey(const QList<int> &keys)
{
    for (const int key : keys) {
        if (key != 0)
            return true;
    }
    return false;
}

} // namespace

void forget(const QString &sessionToken, QObject *context, std::function<void()> then)
{
    const auto forgetAll = [context, then = std::move(then)](const std::optional<QList<ShortcutInfo>> &infos) {
        if (!infos || infos->isEmpty()) {
            then();
            return;
        }
        auto waiting = std::make_shared<qsizetype>(infos->size());
        for (const ShortcutInfo &info : *infos) {
            const QStringList actionID{info.component, info.action, info.componentName, info.actionName};
            ask(QStringLiteral("/kglobalaccel"), QStringLiteral("org.kde.KGlobalAccel"), QStringLiteral("unRegister"),
                {actionID}, context, [waiting, then](const QDBusMessage &) {
                    if (--*waiting == 0)
                        then();
                });
        }
    };
    tokenShortcuts(sessionToken, Components::ofTokenAndEarlierVersions, context, forgetAll);
}

void heldKeys(const QString &sessionToken, QObject *context,
              std::function<void(const std::optional<QSet<QString>> &held)> then)
{
    const auto readHeld = [then = std::move(then)](const std::optional<QList<ShortcutInfo>> &infos) {
        // No component under the token: the portal filed the shortcuts
        // somewhere this cannot find, so the registry cannot tell.
        if (!infos || infos->isEmpty()) {
            then(std::nullopt);
            return;
        }
        // The portal makes the trigger a shortcut asked for its default
        // key; a shortcut that holds another key, or none, did not get it.
        QSet<QString> held;
        for (const ShortcutInfo &info : *infos) {
            if (holdsKey(info.keys) && info.keys == info.defaultKeys)
                held.insert(info.action);
        }
        then(held);
    };
    tokenShortcuts(sessionToken, Components::ofToken, context, readHeld);
}

} // namespace tessaline::KdeShortcutRegistry

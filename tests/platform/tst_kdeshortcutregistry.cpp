// What KDE's registry of global shortcuts says about our token's shortcuts,
// and forgetting them, on a private session bus with a stand-in registry of
// the test's own. The registry goes on listing a component for a while after
// it left the bus; asking that one answers "no such object".
#include "platform/KdeShortcutRegistry.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QObject>
#include <QSet>
#include <QTest>

#include <optional>

using namespace tessaline;

namespace {

const QString registryName = QStringLiteral("org.kde.kglobalaccel");
const QString token = QStringLiteral("tessaline_shortcuts");

// One shortcut as the registry describes it: action, its name, component,
// its name, context, its name, keys, default keys.
struct StandInShortcut
{
    QString action;
    QString actionName;
    QString component;
    QList<int> keys;
    QList<int> defaultKeys;
};

} // namespace

Q_DECLARE_METATYPE(StandInShortcut)

namespace {

QDBusArgument &operator<<(QDBusArgument &argument, const StandInShortcut &shortcut)
{
    argument.beginStructure();
    argument << shortcut.action << shortcut.actionName << shortcut.component << shortcut.component
             << QStringLiteral("default") << QStringLiteral("Default Context") << shortcut.keys << shortcut.defaultKeys;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, StandInShortcut &shortcut)
{
    QString ignored;
    argument.beginStructure();
    argument >> shortcut.action >> shortcut.actionName >> shortcut.component >> ignored >> ignored >> ignored
        >> shortcut.keys >> shortcut.defaultKeys;
    argument.endStructure();
    return argument;
}

class StandInComponent : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.kglobalaccel.Component")
public:
    StandInComponent(QList<StandInShortcut> shortcuts, QObject *parent)
        : QObject(parent), m_shortcuts(std::move(shortcuts))
    {
    }

public Q_SLOTS:
    QList<StandInShortcut> allShortcutInfos() { return m_shortcuts; }

private:
    QList<StandInShortcut> m_shortcuts;
};

// The registry: components by name, each with its shortcuts, and those it
// lists although they have left the bus.
class StandInRegistry : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.KGlobalAccel")
public:
    StandInRegistry()
        : m_connection(QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("stand-in-registry")))
    {
    }
    ~StandInRegistry() override { QDBusConnection::disconnectFromBus(QStringLiteral("stand-in-registry")); }

    bool add(const QString &component, const QList<StandInShortcut> &shortcuts)
    {
        m_components << component;
        return m_connection.registerObject(QStringLiteral("/component/") + component,
                                           new StandInComponent(shortcuts, this), QDBusConnection::ExportAllSlots);
    }
    void listGone(const QString &component) { m_components << component; }
    bool start()
    {
        return m_connection.isConnected()
            && m_connection.registerObject(QStringLiteral("/kglobalaccel"), this, QDBusConnection::ExportAllSlots)
            && m_connection.registerService(registryName);
    }

    QStringList unregistered;

public Q_SLOTS:
    QList<QDBusObjectPath> allComponents()
    {
        QList<QDBusObjectPath> paths;
        for (const QString &component : std::as_const(m_components))
            paths << QDBusObjectPath(QStringLiteral("/component/") + component);
        return paths;
    }
    bool unRegister(const QStringList &actionID)
    {
        unregistered << actionID.value(0) + u'/' + actionID.value(1);
        return true;
    }

private:
    QDBusConnection m_connection;
    QStringList m_components;
};

} // namespace

class KdeShortcutRegistryTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        qDBusRegisterMetaType<StandInShortcut>();
        qDBusRegisterMetaType<QList<StandInShortcut>>();
    }

    // Ours and an earlier version's are forgotten, another app's are not;
    // only a shortcut holding the key it asked for counts as held. A
    // component the registry lists after it has gone holds nothing, and
    // spoils neither answer.
    void forgetsAndReadsOurs_data()
    {
        QTest::addColumn<bool>("goneListed");
        QTest::newRow("every listed component there") << false;
        QTest::newRow("an earlier version's component gone, still listed") << true;
    }

    void forgetsAndReadsOurs()
    {
        QFETCH(bool, goneListed);
        if (!QDBusConnection::sessionBus().isConnected())
            QSKIP("needs a session bus");
        const int ctrlShiftF9 = (Qt::CTRL | Qt::SHIFT | Qt::Key_F9).toCombined();
        const int ctrlShiftF7 = (Qt::CTRL | Qt::SHIFT | Qt::Key_F7).toCombined();
        StandInRegistry registry;
        QVERIFY(registry.add(QStringLiteral("other_app"), {{QStringLiteral("run"), QStringLiteral("Run"),
                                                             QStringLiteral("other_app"), {ctrlShiftF7}, {ctrlShiftF7}}}));
        if (goneListed)
            registry.listGone(QStringLiteral("tessaline3_2706411"));
        QVERIFY(registry.add(token, {{QStringLiteral("capture-region"), QStringLiteral("Capture Region"), token,
                                      {ctrlShiftF9}, {ctrlShiftF9}},
                                     {QStringLiteral("capture-window"), QStringLiteral("Capture Window"), token,
                                      {}, {ctrlShiftF7}}}));
        QVERIFY(registry.add(QStringLiteral("tessaline2_1234"), {{QStringLiteral("hold"), QStringLiteral("Hold"),
                                                                  QStringLiteral("tessaline2_1234"), {0}, {0}}}));
        QVERIFY(registry.start());

        QObject context;
        std::optional<QSet<QString>> held;
        bool answered = false;
        KdeShortcutRegistry::heldKeys(token, &context, [&](const std::optional<QSet<QString>> &given) {
            held = given;
            answered = true;
        });
        QTRY_VERIFY(answered);
        QCOMPARE(held, std::optional(QSet<QString>{QStringLiteral("capture-region")}));

        bool forgotten = false;
        KdeShortcutRegistry::forget(token, &context, [&] { forgotten = true; });
        QTRY_VERIFY(forgotten);
        registry.unregistered.sort();
        QCOMPARE(registry.unregistered, (QStringList{QStringLiteral("tessaline2_1234/hold"), token + QStringLiteral("/capture-region"),
                                                     token + QStringLiteral("/capture-window")}));
    }
};

QTEST_GUILESS_MAIN(KdeShortcutRegistryTest)
#include "tst_kdeshortcutregistry.moc"

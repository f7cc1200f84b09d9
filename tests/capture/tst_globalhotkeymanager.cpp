#include "CaptureFakes.h"

#include "capture/GlobalHotKeyManager.h"
#include "capture/ShortcutRecorderModel.h"

#include <QSignalSpy>
#include <QTest>

using namespace tessaline;
using namespace tessaline::fakes;

Q_DECLARE_METATYPE(tessaline::HotKeyID)
Q_DECLARE_METATYPE(tessaline::HotKeyStatus)

namespace {

constexpr quint8 ctrlSuper = GlobalShortcutModifiers::commandBit | GlobalShortcutModifiers::controlBit;

GlobalShortcut shortcut(quint32 keyCode, quint8 modifiers = ctrlSuper)
{
    return GlobalShortcut{keyCode, GlobalShortcutModifiers(modifiers)};
}

struct Rig
{
    Rig()
    {
        auto fake = std::make_unique<FakeHotKeySystem>();
        system = fake.get();
        manager = std::make_unique<GlobalHotKeyManager>(std::move(fake));
    }
    Expected<void, CaptureSubsystemError> registerPair(const GlobalShortcutConfiguration &configuration)
    {
        return manager->registerConfiguration(configuration, [this] { ++captures; }, [this] { ++quickThoughts; });
    }

    FakeHotKeySystem *system;
    std::unique_ptr<GlobalHotKeyManager> manager;
    int captures = 0;
    int quickThoughts = 0;
};

} // namespace

class GlobalHotKeyManagerTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void registration_data();
    void registration();
    void pressesRunHandlersLater();
    void pressesWhileRecordingGoToTheRecorder();
    void foreignAndUnknownEvents();
    void updateRollsBack();
    void updateToSameConfigurationTouchesNothing();
    void updateBeforeRegistration();
    void installFailure();
    void desktopWithoutGlobalShortcuts();
    void laterRefusalIsReported_data();
    void laterRefusalIsReported();
    void laterRefusalPutsBackThePairTheDesktopBound();
};

void GlobalHotKeyManagerTest::registration_data()
{
    QTest::addColumn<GlobalShortcutConfiguration>("configuration");
    QTest::addColumn<QList<quint32>>("taken");
    QTest::addColumn<QList<quint32>>("registered");
    QTest::addColumn<bool>("handlerInstalled");
    QTest::addColumn<bool>("isRegistered");
    QTest::addColumn<std::optional<CaptureSubsystemError>>("error");

    QTest::newRow("both") << GlobalShortcutConfiguration::defaults() << QList<quint32>{} << QList<quint32>{21, 45}
                          << true << true << std::optional<CaptureSubsystemError>();
    QTest::newRow("quick note only") << GlobalShortcutConfiguration{std::nullopt, shortcut(45)} << QList<quint32>{}
                                     << QList<quint32>{45} << true << true << std::optional<CaptureSubsystemError>();
    QTest::newRow("both off") << GlobalShortcutConfiguration{} << QList<quint32>{} << QList<quint32>{} << false << true
                              << std::optional<CaptureSubsystemError>();
    QTest::newRow("capture taken") << GlobalShortcutConfiguration::defaults() << QList<quint32>{21} << QList<quint32>{}
                                   << false << false
                                   << std::optional(CaptureSubsystemError::hotKeyRegistrationFailed(GlobalHotKeyAction::captureRegion, HotKeyStatus::alreadyTaken));
    QTest::newRow("quick note taken") << GlobalShortcutConfiguration::defaults() << QList<quint32>{45} << QList<quint32>{}
                                      << false << false
                                      << std::optional(CaptureSubsystemError::hotKeyRegistrationFailed(GlobalHotKeyAction::quickThought, HotKeyStatus::alreadyTaken));
    QTest::newRow("invalid") << GlobalShortcutConfiguration{shortcut(20), shortcut(20)} << QList<quint32>{}
                             << QList<quint32>{} << false << false
                             << std::optional(CaptureSubsystemError::invalidShortcutConfiguration());
}

void GlobalHotKeyManagerTest::registration()
{
    QFETCH(GlobalShortcutConfiguration, configuration);
    QFETCH(QList<quint32>, taken);
    QFETCH(QList<quint32>, registered);
    QFETCH(bool, handlerInstalled);
    QFETCH(bool, isRegistered);
    QFETCH(std::optional<CaptureSubsystemError>, error);
    Rig rig;
    for (quint32 code : taken)
        rig.system->takenKeyCodes.insert(code, HotKeyStatus::alreadyTaken);
    const auto outcome = rig.registerPair(configuration);
    QCOMPARE(!outcome, error.has_value());
    if (error)
        QCOMPARE(outcome, unexpected(*error));
    QCOMPARE(rig.system->registeredKeyCodes(), registered);
    QCOMPARE(bool(rig.system->handler), handlerInstalled);
    QCOMPARE(rig.manager->registeredConfiguration().has_value(), isRegistered);
    if (isRegistered) {
        for (const auto &registration : std::as_const(rig.system->registered)) {
            QCOMPARE(registration.id.signature, GlobalHotKeyManager::signature);
            QCOMPARE(registration.modifierFlags, 0x1100u);
        }
    }
}

void GlobalHotKeyManagerTest::pressesRunHandlersLater()
{
    Rig rig;
    QVERIFY(rig.registerPair({std::nullopt, shortcut(45)}));
    QCOMPARE(rig.system->press(45), true);
    QCOMPARE(rig.quickThoughts, 0);
    QCoreApplication::processEvents();
    QCOMPARE(rig.quickThoughts, 1);
    QCOMPARE(rig.captures, 0);
}

// Where the desktop keeps the hot keys (the Wayland portal), their keys
// reach the app only as activations: while a shortcut is recorded, they are
// that recorder's keys, judged there, and run nothing.
void GlobalHotKeyManagerTest::pressesWhileRecordingGoToTheRecorder()
{
    Rig rig;
    QVERIFY(rig.registerPair(GlobalShortcutConfiguration::defaults()));
    QList<std::optional<GlobalShortcut>> offered;
    QString answer = QStringLiteral("Capture Region and Quick Note need different shortcuts.");
    {
        ShortcutRecorderModel recorder;
        recorder.setCommittedShortcut(GlobalShortcutConfiguration::defaults().capture);
        recorder.onChange = [&](const std::optional<GlobalShortcut> &candidate) -> Expected<void, QString> {
            offered.append(candidate);
            if (answer.isEmpty())
                return {};
            return unexpected(answer);
        };
        QSignalSpy refused(&recorder, &ShortcutRecorderModel::refused);
        recorder.beginRecording();
        QCOMPARE(ShortcutRecorderModel::recording(), &recorder);

        QVERIFY(rig.system->press(45));
        QCoreApplication::processEvents();
        QCOMPARE(rig.quickThoughts, 0);
        QCOMPARE(offered, (QList<std::optional<GlobalShortcut>>{GlobalShortcutConfiguration::defaults().quickThought}));
        QCOMPARE(refused.count(), 1);
        QVERIFY(recorder.isRecording());

        answer.clear();
        QVERIFY(rig.system->press(21));
        QCoreApplication::processEvents();
        QCOMPARE(rig.captures, 0);
        QCOMPARE(offered.last(), GlobalShortcutConfiguration::defaults().capture);
        QVERIFY(!recorder.isRecording());
        QCOMPARE(ShortcutRecorderModel::recording(), nullptr);

        // Recording ended: the keys run their actions again.
        QVERIFY(rig.system->press(21));
        QCoreApplication::processEvents();
        QCOMPARE(rig.captures, 1);

        recorder.beginRecording();
    }
    // A recorder gone while recording leaves the keys to their actions.
    QCOMPARE(ShortcutRecorderModel::recording(), nullptr);
    QVERIFY(rig.system->press(45));
    QCoreApplication::processEvents();
    QCOMPARE(rig.quickThoughts, 1);
    QCOMPARE(offered.size(), 2);
}

void GlobalHotKeyManagerTest::foreignAndUnknownEvents()
{
    Rig rig;
    QVERIFY(rig.registerPair(GlobalShortcutConfiguration::defaults()));
    QCOMPARE(rig.system->handler(HotKeyEvent{true, HotKeyID{0x41424344, 1}}), false);
    QCOMPARE(rig.system->handler(HotKeyEvent{false, {}}), false);
    QCOMPARE(rig.system->handler(HotKeyEvent{true, HotKeyID{GlobalHotKeyManager::signature, 3}}), true);
    QCoreApplication::processEvents();
    QCOMPARE(rig.captures + rig.quickThoughts, 0);
}

void GlobalHotKeyManagerTest::updateRollsBack()
{
    Rig rig;
    QVERIFY(rig.registerPair(GlobalShortcutConfiguration::defaults()));
    rig.system->takenKeyCodes.insert(17, HotKeyStatus::alreadyTaken);
    QCOMPARE(rig.manager->update({shortcut(20), shortcut(17)}),
             unexpected(CaptureSubsystemError::hotKeyRegistrationFailed(GlobalHotKeyAction::quickThought, HotKeyStatus::alreadyTaken)));
    QCOMPARE(rig.manager->registeredConfiguration(), GlobalShortcutConfiguration::defaults());
    QCOMPARE(rig.system->registeredKeyCodes(), (QList<quint32>{21, 45}));
    // The handlers came back with the old pair.
    rig.system->press(21);
    QCoreApplication::processEvents();
    QCOMPARE(rig.captures, 1);

    // A working update keeps the handlers.
    QVERIFY(rig.manager->update({shortcut(20), shortcut(34)}));
    QCOMPARE(rig.system->registeredKeyCodes(), (QList<quint32>{20, 34}));
    rig.system->press(34);
    QCoreApplication::processEvents();
    QCOMPARE(rig.quickThoughts, 1);

    // Both the new pair and the old one fail: nothing stays registered.
    rig.system->takenKeyCodes.insert(20, HotKeyStatus::alreadyTaken);
    QVERIFY(!rig.manager->update({shortcut(17), shortcut(22)}));
    QCOMPARE(rig.manager->registeredConfiguration(), std::nullopt);
    QVERIFY(rig.system->registeredKeyCodes().isEmpty());
}

void GlobalHotKeyManagerTest::updateToSameConfigurationTouchesNothing()
{
    Rig rig;
    QVERIFY(rig.registerPair(GlobalShortcutConfiguration::defaults()));
    rig.system->calls.clear();
    QVERIFY(rig.manager->update(GlobalShortcutConfiguration::defaults()));
    QVERIFY(rig.system->calls.isEmpty());

    // From both off to a real pair.
    Rig off;
    QVERIFY(off.registerPair(GlobalShortcutConfiguration{}));
    QVERIFY(off.manager->update(GlobalShortcutConfiguration::defaults()));
    QCOMPARE(off.system->registeredKeyCodes(), (QList<quint32>{21, 45}));
}

void GlobalHotKeyManagerTest::updateBeforeRegistration()
{
    Rig rig;
    QCOMPARE(rig.manager->update(GlobalShortcutConfiguration::defaults()), unexpected(CaptureSubsystemError::hotKeysNotRegistered()));
    QVERIFY(rig.system->calls.isEmpty());
}

void GlobalHotKeyManagerTest::installFailure()
{
    Rig rig;
    rig.system->installStatus = HotKeyStatus::noWindowSystem;
    QCOMPARE(rig.registerPair({std::nullopt, shortcut(45)}),
             unexpected(CaptureSubsystemError::hotKeyRegistrationFailed(GlobalHotKeyAction::captureRegion, HotKeyStatus::noWindowSystem)));
    QCOMPARE(rig.manager->registeredConfiguration(), std::nullopt);
    QCOMPARE(rig.manager->update(GlobalShortcutConfiguration::defaults()),
             unexpected(CaptureSubsystemError::hotKeysNotRegistered()));
}

void GlobalHotKeyManagerTest::desktopWithoutGlobalShortcuts()
{
    // Nothing can fire the keys, which is no fault of the configuration:
    // it counts as registered, later changes go through, and the manager
    // says that the desktop offers none.
    Rig rig;
    rig.system->installStatus = HotKeyStatus::notOffered;
    QVERIFY(rig.manager->globalShortcutsOffered());
    QVERIFY(rig.registerPair(GlobalShortcutConfiguration::defaults()));
    QVERIFY(!rig.manager->globalShortcutsOffered());
    QCOMPARE(rig.manager->registeredConfiguration(), GlobalShortcutConfiguration::defaults());
    QVERIFY(rig.system->registered.isEmpty());
    QVERIFY(rig.manager->update({shortcut(40), std::nullopt}));
    QCOMPARE(rig.manager->registeredConfiguration(), (GlobalShortcutConfiguration{shortcut(40), std::nullopt}));
    QVERIFY(rig.system->registered.isEmpty());
}

void GlobalHotKeyManagerTest::laterRefusalIsReported_data()
{
    QTest::addColumn<QList<HotKeyID>>("refused");
    QTest::addColumn<QList<int>>("reported");
    QTest::addColumn<HotKeyStatus>("status");
    constexpr quint32 ours = GlobalHotKeyManager::signature;
    QTest::newRow("capture") << QList<HotKeyID>{{ours, 1}} << QList<int>{1} << HotKeyStatus::refused;
    QTest::newRow("quick note") << QList<HotKeyID>{{ours, 2}} << QList<int>{2} << HotKeyStatus::refused;
    QTest::newRow("both: the first action") << QList<HotKeyID>{{ours, 1}, {ours, 2}} << QList<int>{1}
                                            << HotKeyStatus::refused;
    QTest::newRow("foreign, then ours") << QList<HotKeyID>{{0x41424344, 1}, {ours, 2}} << QList<int>{2}
                                        << HotKeyStatus::refused;
    QTest::newRow("no such action") << QList<HotKeyID>{{ours, 3}} << QList<int>{} << HotKeyStatus::refused;
    // A key the desktop kept for another shortcut reads as on X11.
    QTest::newRow("key held elsewhere") << QList<HotKeyID>{{ours, 1}} << QList<int>{1} << HotKeyStatus::alreadyTaken;
}

void GlobalHotKeyManagerTest::laterRefusalIsReported()
{
    QFETCH(QList<HotKeyID>, refused);
    QFETCH(QList<int>, reported);
    QFETCH(HotKeyStatus, status);
    Rig rig;
    QVERIFY(rig.registerPair(GlobalShortcutConfiguration::defaults()));
    QSignalSpy spy(rig.manager.get(), &GlobalHotKeyManager::registrationRefused);
    rig.system->refuseLater(refused, status);
    QList<int> actions;
    for (const QList<QVariant> &signal : std::as_const(spy)) {
        const auto error = signal.at(0).value<CaptureSubsystemError>();
        QCOMPARE(error.kind(), CaptureSubsystemError::Kind::hotKeyRegistrationFailed);
        QCOMPARE(error.status(), status);
        actions.append(int(error.action()));
    }
    QCOMPARE(actions, reported);
    // The manager keeps its pair: the desktop, not the app, said no.
    QCOMPARE(rig.manager->registeredConfiguration(), GlobalShortcutConfiguration::defaults());
}

void GlobalHotKeyManagerTest::laterRefusalPutsBackThePairTheDesktopBound()
{
    Rig rig;
    rig.system->answersLater = true;
    const GlobalShortcutConfiguration bound = GlobalShortcutConfiguration::defaults();
    const GlobalShortcutConfiguration second{shortcut(5), bound.quickThought};
    const GlobalShortcutConfiguration third{shortcut(6), bound.quickThought};
    const HotKeyID capture{GlobalHotKeyManager::signature, quint32(GlobalHotKeyAction::captureRegion)};
    QSignalSpy refusals(rig.manager.get(), &GlobalHotKeyManager::registrationRefused);
    QVERIFY(rig.registerPair(bound));
    rig.system->refuseLater({});

    // Two changes before the desktop answered: back to the one it bound.
    QVERIFY(rig.manager->update(second));
    QVERIFY(rig.manager->update(third));
    rig.system->refuseLater({capture}, HotKeyStatus::alreadyTaken);
    QCOMPARE(refusals.count(), 1);
    QCOMPARE(rig.manager->registeredConfiguration(), bound);
    QCOMPARE(rig.system->registeredKeyCodes(), (QList<quint32>{21, 45}));
    // With the handlers it had.
    QVERIFY(rig.system->press(21));
    QTRY_COMPARE(rig.captures, 1);

    // The pair put back refused as well: nothing more to go back to.
    rig.system->refuseLater({capture}, HotKeyStatus::alreadyTaken);
    QCOMPARE(refusals.count(), 2);
    QCOMPARE(rig.manager->registeredConfiguration(), bound);

    // A change the desktop bound is what a later refusal goes back to.
    QVERIFY(rig.manager->update(second));
    rig.system->refuseLater({});
    QVERIFY(rig.manager->update(third));
    rig.system->refuseLater({capture});
    QCOMPARE(rig.manager->registeredConfiguration(), second);
}

QTEST_GUILESS_MAIN(GlobalHotKeyManagerTest)
#include "tst_globalhotkeymanager.moc"

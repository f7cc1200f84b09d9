#include "../support/RuntimeRig.h"

#include "onboarding/SettingsModel.h"
#include "runtime/OnboardingCoordinator.h"
#include "runtime/UpdateService.h"
#include "platform/SymbolIcon.h"

using namespace tessaline;
using namespace tessaline::testing;

namespace {

constexpr quint8 ctrl = GlobalShortcutModifiers::commandBit;
constexpr quint8 alt = GlobalShortcutModifiers::optionBit;
constexpr quint8 super = GlobalShortcutModifiers::controlBit;

GlobalShortcut shortcut(quint32 keyCode, quint8 modifiers)
{
    return GlobalShortcut{keyCode, GlobalShortcutModifiers(modifiers)};
}

// An updater whose settings the test can read back.
class RecordingUpdater : public SoftwareUpdater
{
public:
    void start() override {}
    bool isAvailable() const override { return available; }
    bool canCheckForUpdates() const override { return canCheck; }
    void checkForUpdates() override { ++checks; }
    bool automaticallyChecksForUpdates() const override { return checksAutomatically; }
    void setAutomaticallyChecksForUpdates(bool enabled) override { checksAutomatically = enabled; }
    bool automaticallyDownloadsUpdates() const override { return downloadsAutomatically; }
    void setAutomaticallyDownloadsUpdates(bool enabled) override { downloadsAutomatically = enabled; }
    bool allowsAutomaticUpdates() const override { return allowsAutomatic; }

    bool available = true;
    bool canCheck = true;
    int checks = 0;
    bool checksAutomatically = true;
    bool downloadsAutomatically = true;
    bool allowsAutomatic = true;
};

struct SettingsRig
{
    explicit SettingsRig(std::unique_ptr<RecordingUpdater> updaterToUse = std::make_unique<RecordingUpdater>())
    {
        updater = updaterToUse.get();
        updates = std::make_unique<UpdateService>(std::move(updaterToUse));
        onboarding = std::make_unique<OnboardingCoordinator>(std::make_unique<OnboardingPreferencesStore>(*rig.defaults));
        model = std::make_unique<SettingsModel>(*rig.runtime, onboarding.get(), *updates);
    }

    Rig rig;
    RecordingUpdater *updater = nullptr;
    std::unique_ptr<UpdateService> updates;
    std::unique_ptr<OnboardingCoordinator> onboarding;
    std::unique_ptr<SettingsModel> model;
};

} // namespace

class TestSettingsModel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void changeShortcut_data()
    {
        QTest::addColumn<int>("slot");
        QTest::addColumn<std::optional<GlobalShortcut>>("value");
        QTest::addColumn<QString>("message"); // empty: applied
        QTest::newRow("capture to a free combination")
            << int(SettingsModel::ShortcutSlot::capture) << std::optional(shortcut(40, ctrl | alt)) << QString();
        QTest::newRow("quick note off") << int(SettingsModel::ShortcutSlot::quickThought)
                                        << std::optional<GlobalShortcut>() << QString();
        QTest::newRow("capture onto quick note's")
            << int(SettingsModel::ShortcutSlot::capture) << std::optional(shortcut(45, ctrl | super))
            << QStringLiteral("Capture Region and Quick Note need different shortcuts.");
        QTest::newRow("quick note without a modifier")
            << int(SettingsModel::ShortcutSlot::quickThought) << std::optional(shortcut(45, 0))
            << QStringLiteral("Add Ctrl, Alt, or Super so the shortcut cannot fire while typing.");
        QTest::newRow("reserved") << int(SettingsModel::ShortcutSlot::capture) << std::optional(shortcut(37, super))
                                  << QStringLiteral("That shortcut is reserved by the desktop for locking the screen.");
    }

    void changeShortcut()
    {
        QFETCH(int, slot);
        QFETCH(std::optional<GlobalShortcut>, value);
        QFETCH(QString, message);
        SettingsRig s;
        const GlobalShortcutConfiguration before = s.rig.runtime->shortcutConfiguration();
        QCOMPARE(before, GlobalShortcutConfiguration::defaults());
        QVERIFY(!s.model->canResetShortcuts());
        QSignalSpy changed(s.model.get(), &SettingsModel::shortcutsChanged);

        const Expected<void, QString> answer = s.model->changeShortcut(SettingsModel::ShortcutSlot(slot), value);

        if (message.isEmpty()) {
            QVERIFY(answer);
            GlobalShortcutConfiguration expected = before;
            (slot == int(SettingsModel::ShortcutSlot::capture) ? expected.capture : expected.quickThought) = value;
            QCOMPARE(s.rig.runtime->shortcutConfiguration(), expected);
            QCOMPARE(s.model->shortcutConfiguration(), expected);
            QCOMPARE(changed.count(), 1);
            QVERIFY(s.model->canResetShortcuts());
            // Saved, so the next start has it too.
            QCOMPARE(GlobalShortcutConfigurationStore(*s.rig.defaults).load(), expected);
        } else {
            QCOMPARE(answer, unexpected(message));
            QCOMPARE(s.rig.runtime->shortcutConfiguration(), before);
            QCOMPARE(changed.count(), 0);
            QVERIFY(!s.rig.defaults->contains(GlobalShortcutConfigurationStore::configurationKey()));
        }
    }

    void desktopWithoutGlobalShortcuts_data()
    {
        QTest::addColumn<bool>("offered");
        QTest::newRow("offered") << true;
        QTest::newRow("not offered") << false;
    }

    void desktopWithoutGlobalShortcuts()
    {
        // Where the desktop gives apps no global shortcuts, the window says so
        // and names the commands to bind instead; the shortcuts still save.
        QFETCH(bool, offered);
        SettingsRig s;
        if (!offered)
            s.rig.hotKeys->installStatus = HotKeyStatus::notOffered;
        QVERIFY(s.rig.runtime->captureCoordinator().enableHotKeys());
        const QString notice = s.model->shortcutCommandsNotice();
        // The hint above the notice promises system-wide keys only where
        // the desktop gives them.
        const QString hint = s.model->shortcutHint();
        QVERIFY(hint.startsWith(QStringLiteral("Click a field, then press any supported key combination.")));
        QCOMPARE(hint.contains(QStringLiteral("system-wide")), offered);
        if (offered) {
            QVERIFY(notice.isEmpty());
        } else {
            for (const QString &command : {QStringLiteral("tessaline --capture-region"),
                                           QStringLiteral("tessaline --capture-display"),
                                           QStringLiteral("tessaline --quick-note")})
                QVERIFY2(notice.contains(command), qPrintable(notice));
            // Such a desktop never says which window is in front, so a bound
            // window capture could only fail.
            QVERIFY2(!notice.contains(QStringLiteral("--capture-window")), qPrintable(notice));
            QVERIFY(notice.startsWith(QStringLiteral("This desktop does not let apps set global shortcuts.")));
        }
        QVERIFY(s.model->changeShortcut(SettingsModel::ShortcutSlot::capture, shortcut(40, ctrl | alt)));
        QCOMPARE(GlobalShortcutConfigurationStore(*s.rig.defaults).load().capture, std::optional(shortcut(40, ctrl | alt)));
        // The recorders learn each key's place from the hot keys.
        s.rig.hotKeys->scanCodes.insert(13, 21);
        QCOMPARE(s.model->keyCodeAtScanCode(13), std::optional<quint32>(21));
        QCOMPARE(s.model->keyCodeAtScanCode(14), std::nullopt);
    }

    void registrationFailureKeepsTheWorkingShortcuts()
    {
        SettingsRig s;
        QVERIFY(s.rig.runtime->captureCoordinator().enableHotKeys());
        s.rig.hotKeys->takenKeyCodes.insert(40, HotKeyStatus::alreadyTaken);

        const Expected<void, QString> answer
            = s.model->changeShortcut(SettingsModel::ShortcutSlot::capture, shortcut(40, ctrl | alt));
        QVERIFY(!answer);
        QVERIFY2(answer.error().contains(QStringLiteral("already used")), qPrintable(answer.error()));
        QCOMPARE(s.rig.runtime->shortcutConfiguration(), GlobalShortcutConfiguration::defaults());
        // The previous pair is registered again.
        QCOMPARE(s.rig.hotKeys->registered.count(), 2);
        QList<quint32> codes;
        for (const auto &registration : std::as_const(s.rig.hotKeys->registered))
            codes.append(registration.keyCode);
        std::sort(codes.begin(), codes.end());
        QCOMPARE(codes, (QList<quint32>{21, 45}));
    }

    void resetShortcuts()
    {
        SettingsRig s;
        QVERIFY(s.model->changeShortcut(SettingsModel::ShortcutSlot::capture, std::nullopt));
        s.model->setShortcutValidationMessage(QStringLiteral("An older error."));
        QVERIFY(s.model->canResetShortcuts());

        s.model->resetShortcuts();
        QCOMPARE(s.rig.runtime->shortcutConfiguration(), GlobalShortcutConfiguration::defaults());
        QCOMPARE(s.model->shortcutValidationMessage(), std::nullopt);
        QVERIFY(!s.model->canResetShortcuts());
    }

    void captureBehaviourWritesBothKeys_data()
    {
        QTest::addColumn<bool>("copy");
        QTest::addColumn<bool>("copies");
        QTest::addColumn<bool>("opens");
        QTest::newRow("copy off") << true << false << true;
        QTest::newRow("review off") << false << true << false;
    }

    void captureBehaviourWritesBothKeys()
    {
        QFETCH(bool, copy);
        QFETCH(bool, copies);
        QFETCH(bool, opens);
        SettingsRig s;
        QVERIFY(s.model->copiesCaptures());
        QVERIFY(s.model->opensRegionCaptureReview());
        QSignalSpy changed(s.model.get(), &SettingsModel::captureBehaviorChanged);
        if (copy)
            s.model->setCopiesCaptures(false);
        else
            s.model->setOpensRegionCaptureReview(false);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(s.model->copiesCaptures(), copies);
        QCOMPARE(s.model->opensRegionCaptureReview(), opens);
        // Both keys are written, the untouched one with its current value.
        const UserDefaults &defaults = *s.rig.defaults;
        QCOMPARE(defaults.optionalBoolean(QStringLiteral("automaticallyCopiesCaptures")), std::optional(copies));
        QCOMPARE(defaults.optionalBoolean(QStringLiteral("automaticallyOpensRegionCaptureReview")), std::optional(opens));
    }

    void reminderToggle_data()
    {
        QTest::addColumn<bool>("granted");
        QTest::addColumn<QList<bool>>("requests");
        QTest::addColumn<bool>("finallyOn");
        QTest::addColumn<QString>("error");
        QTest::newRow("granted") << true << QList<bool>{true} << true << QString();
        // The refusal turns the switch back off, and that change asks the
        // runtime for off in turn.
        QTest::newRow("refused") << false << QList<bool>{true, false} << false
                                 << QStringLiteral("Review reminders remain off because notification access is not available.");
    }

    void reminderToggle()
    {
        QFETCH(bool, granted);
        QFETCH(QList<bool>, requests);
        QFETCH(bool, finallyOn);
        QFETCH(QString, error);
        SettingsRig s;
        s.rig.reminderAnswer = granted;

        s.model->setRemindersEnabled(true);
        QVERIFY(s.model->remindersEnabled());
        QVERIFY(s.rig.reminderRequests.isEmpty()); // a later turn asks
        QTRY_COMPARE(s.rig.reminderRequests, requests);
        QCoreApplication::processEvents();
        QCOMPARE(s.rig.reminderRequests, requests);
        QCOMPARE(s.model->remindersEnabled(), finallyOn);
        QCOMPARE(s.rig.runtime->errorMessage().value_or(QString()), error);
        QCOMPARE(s.rig.defaults->boolean(QStringLiteral("remindersEnabled")), finallyOn);
    }

    void reminderRequestOutlivingTheWindowDoesNothing()
    {
        SettingsRig s;
        s.model->setRemindersEnabled(true);
        s.model.reset();
        QCoreApplication::processEvents();
        QVERIFY(s.rig.reminderRequests.isEmpty());
    }

    void permissionActions()
    {
        SettingsRig s;
        CaptureCoordinator &coordinator = s.rig.runtime->captureCoordinator();
        s.rig.permission->access = false;
        coordinator.refreshPermissionState();
        QCOMPARE(s.model->permissionState(), ScreenCapturePermissionState::notRequested);

        // The request is recorded even though the desktop did not grant it.
        s.model->requestAccess();
        QCOMPARE(s.rig.permission->requestCalls, 1);
        QCOMPARE(s.model->permissionState(), ScreenCapturePermissionState::needsSettings);
        s.rig.defaults->setBoolean(QStringLiteral("screenCapturePermission.hasRequestedAccess"), false);
        coordinator.refreshPermissionState();

        QSignalSpy changed(s.model.get(), &SettingsModel::permissionStateChanged);
        s.model->openPrivacySettings();
        QVERIFY(s.rig.defaults->boolean(QStringLiteral("screenCapturePermission.hasRequestedAccess")));
        QVERIFY(coordinator.isReturningFromScreenCaptureSettings());
        QCOMPARE(s.model->permissionState(), ScreenCapturePermissionState::needsSettings);
        QVERIFY(changed.count() >= 1);

        s.rig.permission->access = true;
        s.model->checkAgain();
        QCOMPARE(s.model->permissionState(), ScreenCapturePermissionState::authorized);

        s.model->relaunch();
        QCOMPARE(s.rig.windowing.terminated, 1);
    }

    void permissionTexts()
    {
        QCOMPARE(SettingsModel::permissionTitle(ScreenCapturePermissionState::needsSettings),
                 QStringLiteral("Screen Recording access required"));
        QCOMPARE(SettingsModel::permissionExplanation(ScreenCapturePermissionState::needsSettings),
                 QStringLiteral("Enable this exact copy of Tessaline in your desktop's privacy settings, then return here."));
        for (const auto state : {ScreenCapturePermissionState::notRequested, ScreenCapturePermissionState::needsSettings,
                                 ScreenCapturePermissionState::restartRequired, ScreenCapturePermissionState::authorized}) {
            QVERIFY(SymbolIcon::isKnown(SettingsModel::permissionSystemImage(state)));
            QVERIFY(!SettingsModel::permissionExplanation(state).contains(QStringLiteral("macOS")));
        }
    }

    void gettingStarted_data()
    {
        QTest::addColumn<bool>("introductionShown");
        QTest::addColumn<bool>("tour");
        QTest::newRow("tour") << false << true;
        QTest::newRow("tour while the introduction shows") << true << true;
        QTest::newRow("replay") << false << false;
    }

    void gettingStarted()
    {
        QFETCH(bool, introductionShown);
        QFETCH(bool, tour);
        SettingsRig s;
        NavigationState &navigation = s.rig.runtime->navigation();
        const QUuid card = QUuid::createUuid();
        navigation.setQuickThoughtPresented(true);
        navigation.setFocusedCardID(card);
        navigation.setGalleryCardID(card);
        navigation.setCaptureReviewCardID(card);
        navigation.setInspectorPresented(true);
        s.onboarding->setOnboardingPresented(introductionShown);
        QSignalSpy close(s.model.get(), &SettingsModel::closeRequested);

        if (tour)
            s.model->showGuidedTour();
        else
            s.model->replayIntroduction();

        QCOMPARE(close.count(), 1);
        QCOMPARE(s.rig.windowing.raised, 1);
        QVERIFY(!navigation.isQuickThoughtPresented());
        QCOMPARE(navigation.focusedCardID(), std::nullopt);
        QCOMPARE(navigation.galleryCardID(), std::nullopt);
        QCOMPARE(navigation.captureReviewCardID(), std::nullopt);
        QVERIFY(!navigation.isInspectorPresented());
        if (tour) {
            const auto expected = introductionShown ? std::nullopt : std::optional(GuidedTourStep::capture);
            QCOMPARE(s.onboarding->tourStep(), expected);
        } else {
            QVERIFY(s.onboarding->isOnboardingPresented());
            QVERIFY(s.onboarding->isReplay());
        }
    }

    void automaticUpdateSettings()
    {
        SettingsRig s;
        QVERIFY(s.model->automaticallyChecksForUpdates());
        QVERIFY(s.model->automaticallyDownloadsUpdates());
        QVERIFY(s.model->canChangeAutomaticDownloads());

        s.model->setAutomaticallyChecksForUpdates(false);
        QVERIFY(!s.updater->checksAutomatically);
        QVERIFY(!s.updater->downloadsAutomatically);
        QVERIFY(!s.model->automaticallyDownloadsUpdates());
        QVERIFY(!s.model->canChangeAutomaticDownloads());

        s.model->setAutomaticallyChecksForUpdates(true);
        QVERIFY(s.updater->checksAutomatically);
        QVERIFY(!s.model->automaticallyDownloadsUpdates()); // stays off

        s.updater->allowsAutomatic = false;
        QVERIFY(!s.model->canChangeAutomaticDownloads());

        s.model->checkForUpdates();
        QCOMPARE(s.updater->checks, 1);
    }

    void updatesFromThePackageManager()
    {
        // An updater that cannot check at all (the Linux one): the automatic
        // settings stay off, and a change asked for anyway is answered with
        // the values as they are, so a switch never shows a setting that
        // nothing keeps.
        auto updater = std::make_unique<RecordingUpdater>();
        updater->available = false;
        updater->canCheck = false;
        updater->checksAutomatically = false;
        updater->downloadsAutomatically = false;
        SettingsRig s(std::move(updater));
        QVERIFY(s.model->updatesComeFromPackageManager());
        QVERIFY(s.model->updatesFootnote().contains(QStringLiteral("package manager")));
        QVERIFY(!s.model->canChangeAutomaticChecks());
        QVERIFY(!s.model->canChangeAutomaticDownloads());

        QSignalSpy changed(s.model.get(), &SettingsModel::updatesChanged);
        s.model->setAutomaticallyChecksForUpdates(true);
        s.model->setAutomaticallyDownloadsUpdates(true);
        QCOMPARE(changed.count(), 2);
        QVERIFY(!s.model->automaticallyChecksForUpdates() && !s.model->automaticallyDownloadsUpdates());
        QVERIFY(!s.updater->checksAutomatically && !s.updater->downloadsAutomatically);

        // An updater that can check says nothing of a package manager.
        SettingsRig checking;
        QVERIFY(!checking.model->updatesComeFromPackageManager());
        QVERIFY(!checking.model->updatesFootnote().contains(QStringLiteral("package manager")));
    }

    void cloudSyncSetting()
    {
        SettingsRig s;
        QVERIFY(!SettingsModel::isCloudSyncAvailable());
        QVERIFY(!s.model->cloudSyncEnabled());
        QVERIFY(!s.model->cloudSyncChanged());

        s.model->setCloudSyncEnabled(true);
        QVERIFY(s.rig.defaults->boolean(QStringLiteral("cloudSyncEnabled")));
        QVERIFY(s.model->cloudSyncChanged());
        s.model->setCloudSyncEnabled(false);
        QCOMPARE(s.rig.defaults->optionalBoolean(QStringLiteral("cloudSyncEnabled")), std::optional(false));
        // Turning it back does not take the restart notice away.
        QVERIFY(s.model->cloudSyncChanged());
    }
};

QTEST_MAIN(TestSettingsModel)
#include "tst_settingsmodel.moc"

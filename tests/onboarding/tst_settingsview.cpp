#include "../support/RuntimeRig.h"

#include "onboarding/SettingsView.h"
#include "capture/ShortcutRecorderView.h"
#include "design/StudioSectionHeader.h"
#include "runtime/OnboardingCoordinator.h"
#include "runtime/UpdateService.h"
#include "platform/PlatformTexts.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QToolButton>

using namespace tessaline;
using namespace tessaline::testing;

namespace {

struct ViewRig
{
    ViewRig()
    {
        onboarding = std::make_unique<OnboardingCoordinator>(std::make_unique<OnboardingPreferencesStore>(*rig.defaults));
        view = new SettingsView(*rig.runtime, onboarding.get(), updates);
        view->show();
        QApplication::setActiveWindow(view);
    }
    ~ViewRig() { delete view.data(); }

    template<typename T = QWidget>
    T *find(const char *name) const
    {
        T *widget = view->findChild<T *>(QLatin1String(name));
        if (!widget)
            qWarning("no widget named %s", name);
        return widget;
    }
    bool shows(const char *name) const { return find(name)->isVisibleTo(view); }

    // Clicks the field and types the combination into it.
    void record(ShortcutRecorderView *field, Qt::Key key, Qt::KeyboardModifiers modifiers)
    {
        QTest::mouseClick(field->control(), Qt::LeftButton);
        QTest::keyPress(field->control(), key, modifiers);
        QTest::keyRelease(field->control(), key, modifiers);
    }

    Rig rig;
    UpdateService updates; // the Linux updater: never checks
    std::unique_ptr<OnboardingCoordinator> onboarding;
    QPointer<SettingsView> view;
};

} // namespace

class TestSettingsView : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void sectionsRenderInOrder()
    {
        ViewRig r;
        QVERIFY(QTest::qWaitForWindowExposed(r.view));
        QStringList titles;
        for (const StudioSectionHeader *header : r.view->findChildren<StudioSectionHeader *>())
            titles.append(header->title());
        QCOMPARE(titles, (QStringList{QStringLiteral("Keyboard Shortcuts"), QStringLiteral("Capture"),
                                      QStringLiteral("Thinking"), QStringLiteral("Getting Started"),
                                      QStringLiteral("Updates"), QStringLiteral("Privacy")}));

        QCOMPARE(r.view->captureShortcutField()->control()->text(), QStringLiteral("Ctrl+Super+4"));
        QCOMPARE(r.view->quickNoteShortcutField()->control()->text(), QStringLiteral("Ctrl+Super+N"));
        QVERIFY(!r.find<QPushButton>("resetShortcuts")->isEnabled());
        QVERIFY(!r.shows("shortcutError"));

        QVERIFY(r.find<QCheckBox>("copyCaptures")->isChecked());
        QVERIFY(r.find<QCheckBox>("openRegionCaptures")->isChecked());
        QCOMPARE(r.find<QLabel>("permissionStatus")->text(), QStringLiteral("Screen Recording allowed"));
        for (const char *name : {"checkAgain", "requestAccess", "relaunch", "openPrivacySettings"})
            QVERIFY2(!r.shows(name), name);

        QVERIFY(!r.find<QCheckBox>("remindersToggle")->isChecked());
        QVERIFY(!r.shows("profileRow")); // no stored name

        // The package manager updates the app: nothing here can be switched.
        QVERIFY(!r.find<QPushButton>("checkForUpdates")->isEnabled());
        QVERIFY(!r.find<QCheckBox>("autoCheckUpdates")->isEnabled());
        QVERIFY(!r.find<QCheckBox>("autoDownloadUpdates")->isEnabled());
        QCOMPARE(r.find<QLabel>("updatesFootnote")->text(),
                 QStringLiteral("Updates to Tessaline come from your system's package manager."));

        QVERIFY(!r.find<QCheckBox>("cloudSyncToggle")->isEnabled());
        QVERIFY(r.shows("cloudSyncUnavailable"));
        QVERIFY(!r.shows("cloudSyncRestartNotice"));
        QCOMPARE(r.find<QLabel>("cloudSyncUnavailable")->text(), QStringLiteral("Cloud sync is not available on this system."));
        // Under it, what this system does with the library: no cloud at all.
        QCOMPARE(r.find<QLabel>("privacyFootnote")->text(),
                 QStringLiteral("Your library, captures, recognised text and thoughts stay on this computer; nothing is "
                                "sent to a cloud. The assistant uses a local model server only when one answers on this "
                                "computer (127.0.0.1)."));
    }

    // Building the window opens no other window, not even for a moment: a
    // part shown before it has its place would flash up on the desktop.
    void buildingOpensNoOtherWindow()
    {
        struct ShownWindows : QObject
        {
            QStringList names;
            bool eventFilter(QObject *watched, QEvent *event) override
            {
                if (event->type() == QEvent::Show && watched->isWidgetType()
                    && static_cast<QWidget *>(watched)->isWindow())
                    names.append(QString::fromLatin1(watched->metaObject()->className()) + u' ' + watched->objectName());
                return false;
            }
        } shown;
        qApp->installEventFilter(&shown);
        ViewRig r;
        qApp->removeEventFilter(&shown);
        QCOMPARE(shown.names, QStringList{QStringLiteral("tessaline::SettingsView ")});
    }

    void oneErrorRowForBothShortcuts()
    {
        ViewRig r;
        QVERIFY(QTest::qWaitForWindowActive(r.view));

        // Quick Note onto Capture Region's combination: refused, shown once.
        r.record(r.view->quickNoteShortcutField(), Qt::Key_4, Qt::ControlModifier | Qt::MetaModifier);
        QVERIFY(r.shows("shortcutError"));
        const QString duplicate = QStringLiteral("Capture Region and Quick Note need different shortcuts.");
        QCOMPARE(r.find("shortcutError")->accessibleName(), QStringLiteral("Shortcut error: ") + duplicate);
        QCOMPARE(r.rig.runtime->shortcutConfiguration(), GlobalShortcutConfiguration::defaults());
        QTest::keyClick(r.view->quickNoteShortcutField()->control(), Qt::Key_Escape);

        // A success in the other row clears it.
        r.record(r.view->captureShortcutField(), Qt::Key_K, Qt::ControlModifier | Qt::AltModifier);
        QVERIFY(!r.shows("shortcutError"));
        QCOMPARE(r.view->captureShortcutField()->control()->text(), QStringLiteral("Ctrl+Alt+K"));
        QVERIFY(r.find<QPushButton>("resetShortcuts")->isEnabled());

        QTest::mouseClick(r.find<QPushButton>("resetShortcuts"), Qt::LeftButton);
        QCOMPARE(r.view->captureShortcutField()->control()->text(), QStringLiteral("Ctrl+Super+4"));
        QVERIFY(!r.find<QPushButton>("resetShortcuts")->isEnabled());

        // Clearing one turns it off and shows the prompt.
        QTest::mouseClick(r.view->quickNoteShortcutField()->clearButton(), Qt::LeftButton);
        QCOMPARE(r.rig.runtime->shortcutConfiguration().quickThought, std::nullopt);
        QCOMPARE(r.view->quickNoteShortcutField()->control()->text(), QStringLiteral("Record Shortcut"));
        QVERIFY(!r.view->quickNoteShortcutField()->clearButton()->isEnabled());
    }

    void permissionRowsFollowTheState_data()
    {
        QTest::addColumn<bool>("requested");
        QTest::addColumn<bool>("relaunch");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QStringList>("buttons");
        QTest::addColumn<QString>("advice");
        QTest::newRow("not requested") << false << false << QStringLiteral("Screen Recording not enabled")
                                       << QStringList{QStringLiteral("requestAccess")} << QString();
        QTest::newRow("needs settings") << true << false << QStringLiteral("Screen Recording access required")
                                        << QStringList{QStringLiteral("checkAgain"), QStringLiteral("openPrivacySettings")}
                                        << QString();
        QTest::newRow("restart") << true << true << QStringLiteral("Relaunch required")
                                 << QStringList{QStringLiteral("relaunch"), QStringLiteral("openPrivacySettings")}
                                 << QString();
        // A Wayland desktop's portal: what is missing, and trying again;
        // no privacy pane to open.
        QTest::newRow("portal missing") << true << false << PlatformTexts::screenshotPortalUnavailableTitle()
                                        << QStringList{QStringLiteral("requestAccess")}
                                        << PlatformTexts::screenshotPortalMissing();
    }

    void permissionRowsFollowTheState()
    {
        QFETCH(bool, requested);
        QFETCH(bool, relaunch);
        QFETCH(QString, title);
        QFETCH(QStringList, buttons);
        QFETCH(QString, advice);
        ViewRig r;
        r.rig.permission->access = false;
        r.rig.permission->advice = advice;
        r.rig.defaults->setBoolean(QStringLiteral("screenCapturePermission.hasRequestedAccess"), requested);
        r.rig.defaults->setBoolean(QStringLiteral("screenCapturePermission.relaunchRecommended"), relaunch);
        r.rig.runtime->captureCoordinator().refreshPermissionState();

        QCOMPARE(r.find<QLabel>("permissionStatus")->text(), title);
        if (!advice.isEmpty())
            QCOMPARE(r.find<QLabel>("permissionExplanation")->text(), advice);
        for (const char *name : {"checkAgain", "requestAccess", "relaunch", "openPrivacySettings"})
            QCOMPARE(r.shows(name), buttons.contains(QLatin1String(name)));
    }

    void togglesReachTheRuntime()
    {
        ViewRig r;
        QTest::mouseClick(r.find<QCheckBox>("copyCaptures"), Qt::LeftButton);
        QVERIFY(!r.rig.runtime->captureBehaviorPreferences().automaticallyCopiesCaptures);
        QVERIFY(r.rig.runtime->captureBehaviorPreferences().automaticallyOpensRegionCaptureReview);

        r.rig.reminderAnswer = false;
        r.find<QCheckBox>("remindersToggle")->click(); // below the fold: no pointer needed
        QTRY_COMPARE(r.rig.reminderRequests, (QList<bool>{true, false}));
        QVERIFY(!r.find<QCheckBox>("remindersToggle")->isChecked());
    }

    void profileRowShowsAStoredName()
    {
        ViewRig r;
        OnboardingPreferences preferences = r.onboarding->preferences();
        preferences.profile.name = QStringLiteral("Ada");
        r.onboarding->store().save(preferences);
        auto onboarding = std::make_unique<OnboardingCoordinator>(std::make_unique<OnboardingPreferencesStore>(*r.rig.defaults));
        QCOMPARE(onboarding->preferences().profile.name, QStringLiteral("Ada"));
        SettingsView view(*r.rig.runtime, onboarding.get(), r.updates);
        QWidget *row = view.findChild<QWidget *>(QStringLiteral("profileRow"));
        QVERIFY(row->isVisibleTo(&view));
        bool found = false;
        for (const QLabel *label : row->findChildren<QLabel *>())
            found = found || label->text() == QStringLiteral("Ada");
        QVERIFY(found);
    }

    void guidedTourClosesTheWindow()
    {
        ViewRig r;
        QVERIFY(QTest::qWaitForWindowExposed(r.view));
        r.onboarding->setOnboardingPresented(false); // a fresh record shows the introduction first
        r.find<QPushButton>("showGuidedTour")->click();
        QCOMPARE(r.onboarding->tourStep(), std::optional(GuidedTourStep::capture));
        QCOMPARE(r.rig.windowing.raised, 1);
        QTRY_VERIFY(r.view.isNull()); // closed and gone
    }

    // A keyboard alone closes the window, as Escape closes the app's sheets;
    // Escape while a shortcut field records only ends the recording.
    void keysCloseTheWindow_data()
    {
        QTest::addColumn<QKeySequence>("keys");
        QTest::addColumn<bool>("recording");
        QTest::addColumn<bool>("closes");
        QTest::newRow("Escape") << QKeySequence(Qt::Key_Escape) << false << true;
        QTest::newRow("the desktop's Close keys") << QKeySequence(QKeySequence::Close) << false << true;
        QTest::newRow("Escape while recording") << QKeySequence(Qt::Key_Escape) << true << false;
    }

    void keysCloseTheWindow()
    {
        QFETCH(QKeySequence, keys);
        QFETCH(bool, recording);
        QFETCH(bool, closes);
        ViewRig r;
        QVERIFY(QTest::qWaitForWindowActive(r.view));
        auto *field = r.find<ShortcutRecorderView>("captureShortcut");
        QVERIFY(field);
        QWidget *target = r.find<QWidget>("settingsForm");
        if (recording) {
            QTest::mouseClick(field->control(), Qt::LeftButton);
            target = field->control();
        }
        QTest::keySequence(target, keys);
        if (closes) {
            QTRY_VERIFY(r.view.isNull());
            return;
        }
        // The recording ended and the window stayed.
        QVERIFY(!r.view.isNull());
        QVERIFY(r.view->isVisible());
        QTest::keySequence(r.find<QWidget>("settingsForm"), keys);
        QTRY_VERIFY(r.view.isNull());
    }
};

QTEST_MAIN(TestSettingsView)
#include "tst_settingsview.moc"

#include "../support/MainWindowRig.h"
#include "../support/OffscreenScreen.h"

#include "runtime/LibraryQuery.h"
#include "onboarding/GuidedTourCoachmark.h"
#include "onboarding/OnboardingComponents.h"
#include "onboarding/OnboardingExperienceView.h"
#include "onboarding/SettingsModel.h"
#include "shell/RootView.h"
#include "capture/ScreenCapturePermission.h"
#include "runtime/OnboardingCoordinator.h"
#include "runtime/UpdateService.h"
#include "platform/AccessibilitySettings.h"
#include "platform/PlatformTexts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QFile>
#include <QTemporaryDir>
#include <QScopeGuard>
#include <QScreen>
#include <QTest>

using namespace tessaline;
using namespace tessaline::testing;

namespace {

// A first launch: nothing stored, so the coordinator asks for the setup.
struct Setup
{
    Setup()
    {
        rig.onboarding->setOnboardingPresented(true);
        library = std::make_unique<LibraryQuery>(rig.context());
    }

    OnboardingExperienceView &show()
    {
        view = std::make_unique<OnboardingExperienceView>(*rig.runtime, *rig.onboarding, *library);
        view->show();
        view->activateWindow();
        [[maybe_unused]] const bool active = QTest::qWaitForWindowActive(view.get());
        return *view;
    }

    QStringList pickerTitles() const
    {
        QStringList titles;
        for (int i = 0; i < view->notePicker()->count(); ++i)
            titles << view->notePicker()->itemText(i);
        return titles;
    }

    MainWindowRig rig;
    std::unique_ptr<LibraryQuery> library;
    std::unique_ptr<OnboardingExperienceView> view;
};

QStringList labelTexts(const QWidget *root)
{
    QStringList texts;
    for (const QLabel *label : root->findChildren<QLabel *>()) {
        if (!label->text().isEmpty())
            texts << label->text();
    }
    return texts;
}

// A new permission stage replaces the old one later; this lets it go now.
void settle()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

QPushButton *buttonNamed(const QWidget *root, const char *name)
{
    settle();
    return root->findChild<QPushButton *>(QLatin1String(name));
}

void setPermissionState(MainWindowRig &rig, ScreenCapturePermissionState state)
{
    rig.permission->access = state == ScreenCapturePermissionState::authorized;
    rig.defaults->setBoolean(ScreenCapturePermissionHistoryStore::hasRequestedAccessKey(),
                             state != ScreenCapturePermissionState::notRequested);
    rig.defaults->setBoolean(ScreenCapturePermissionHistoryStore::relaunchRecommendedKey(),
                             state == ScreenCapturePermissionState::restartRequired);
    rig.runtime->captureCoordinator().refreshPermissionState();
}

} // namespace

class OnboardingExperienceTest : public QObject
{
    Q_OBJECT
public:
    // A screen as small as a 1920 by 1080 display at twice the scale, not
    // the offscreen platform's 800 by 600.
    static void initMain()
    {
        useOffscreenScreen(960, 540);
    }

private Q_SLOTS:
    void init() { AccessibilitySettings::shared().setReducesMotion(false); }
    void firstAppearanceShowsWelcome();
    void skipButtonsShowTheKeyboardFocus_data();
    void skipButtonsShowTheKeyboardFocus();
    void nameGatesContinue_data();
    void nameGatesContinue();
    void pagesAdvanceAndGoBack();
    void returnAndEscape();
    void captureText_data();
    void captureText();
    void readyPage();
    void notePickerChoices();
    void finishInTheMainWindowStoresAndCloses();
    void skipInTheMainWindow();
    void permissionStages_data();
    void permissionStages();
    void textsOfferNoWindowCaptureThatIsOff();
    void permissionButtons();
    void welcomeVisualSpreadsOnce_data();
    void welcomeVisualSpreadsOnce();
};

void OnboardingExperienceTest::firstAppearanceShowsWelcome()
{
    Setup s;
    // Asked before, never granted, but not yet re-read: showing the sheet
    // refreshes the state so the panel is current.
    s.rig.permission->access = false;
    s.rig.defaults->setBoolean(ScreenCapturePermissionHistoryStore::hasRequestedAccessKey(), true);
    OnboardingExperienceView &view = s.show();

    QCOMPARE(view.shownPage(), OnboardingPage::welcome);
    QVERIFY(view.pageWidget(OnboardingPage::welcome)->isVisible());
    QVERIFY(!view.pageWidget(OnboardingPage::capture)->isVisible());
    QVERIFY(!view.backButton()->isVisible());
    QVERIFY(view.continueHint()->isVisible());
    QCOMPARE(view.continueHint()->text(), QStringLiteral("Enter your name to continue"));
    QVERIFY(!view.primaryButton()->isEnabled());
    QCOMPARE(view.primaryButton()->text(), QStringLiteral("Continue"));
    QCOMPARE(view.primaryButton()->accessibleDescription(), QStringLiteral("Enter your name before continuing."));
    QCOMPARE(view.pageDots()->accessibleName(), QStringLiteral("Step 1 of 4"));
    QCOMPARE(view.focusWidget(), view.nameField());
    // Its own width; as tall as it is meant to be where the screen has room,
    // and never so tall that its footer leaves the screen.
    const QRect screen = view.screen()->availableGeometry();
    QCOMPARE(view.width(), 790);
    QCOMPARE(view.height(), std::min(570, int(screen.height() * 0.9)));
    QVERIFY(view.height() < screen.height());
    QVERIFY(view.rect().contains(QRect(view.primaryButton()->mapTo(&view, QPoint()), view.primaryButton()->size())));
    // Every page's content fits between the header and the footer.
    const int pageRoom = view.pageWidget(OnboardingPage::welcome)->height();
    for (OnboardingPage page : allOnboardingPages) {
        const int wanted = view.pageWidget(page)->minimumSizeHint().height();
        QVERIFY2(wanted <= pageRoom, qPrintable(QStringLiteral("page %1 needs %2 of %3").arg(int(page)).arg(wanted).arg(pageRoom)));
    }
    // A fixed-size modal offers to close, not to minimise or maximise.
    const Qt::WindowFlags frame = view.windowHandle()->flags();
    QVERIFY(frame.testFlag(Qt::CustomizeWindowHint) && frame.testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(!frame.testFlag(Qt::WindowMinimizeButtonHint) && !frame.testFlag(Qt::WindowMaximizeButtonHint));
    QVERIFY(view.nameField()->text().isEmpty());
    QCOMPARE(view.permissionPanel()->stage(), CapturePermissionGuideStage::systemSettings);
}

void OnboardingExperienceTest::nameGatesContinue_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("canContinue");
    QTest::newRow("nothing") << QString() << false;
    QTest::newRow("spaces") << QStringLiteral("   ") << false;
    QTest::newRow("no-break space") << QStringLiteral("\u00a0") << false;
    QTest::newRow("one letter") << QStringLiteral("A") << true;
    QTest::newRow("padded name") << QStringLiteral("  Ada  ") << true;
}

void OnboardingExperienceTest::nameGatesContinue()
{
    QFETCH(QString, typed);
    QFETCH(bool, canContinue);
    Setup s;
    OnboardingExperienceView &view = s.show();
    QTest::keyClicks(view.nameField(), typed);
    QCOMPARE(s.rig.onboarding->draftName(), typed);
    QCOMPARE(view.primaryButton()->isEnabled(), canContinue);
    QCOMPARE(view.continueHint()->isVisible(), !canContinue);
    QCOMPARE(view.primaryButton()->accessibleDescription(),
             canContinue ? QStringLiteral("Moves to the next setup step.") : QStringLiteral("Enter your name before continuing."));
    // Clicking a disabled button does nothing.
    QTest::mouseClick(view.primaryButton(), Qt::LeftButton);
    QCOMPARE(s.rig.onboarding->page(), canContinue ? OnboardingPage::capture : OnboardingPage::welcome);
}

void OnboardingExperienceTest::pagesAdvanceAndGoBack()
{
    Setup s;
    OnboardingExperienceView &view = s.show();
    QTest::keyClicks(view.nameField(), QStringLiteral("Ada Lovelace"));
    QTest::keyClick(view.nameField(), Qt::Key_Return);
    QCOMPARE(s.rig.onboarding->page(), OnboardingPage::capture);
    QCOMPARE(view.shownPage(), OnboardingPage::capture);
    QVERIFY(view.pageWidget(OnboardingPage::capture)->isVisible());
    QTRY_VERIFY(!view.pageWidget(OnboardingPage::welcome)->isVisible());
    QVERIFY(view.backButton()->isVisible());
    QVERIFY(!view.continueHint()->isVisible());
    QCOMPARE(view.pageDots()->accessibleName(), QStringLiteral("Step 2 of 4"));
    QVERIFY(view.focusWidget() != view.nameField());

    QTest::mouseClick(view.primaryButton(), Qt::LeftButton);
    QCOMPARE(s.rig.onboarding->page(), OnboardingPage::thinking);
    QTest::mouseClick(view.primaryButton(), Qt::LeftButton);
    QCOMPARE(s.rig.onboarding->page(), OnboardingPage::ready);
    QCOMPARE(view.primaryButton()->text(), QStringLiteral("Enter Tessaline"));
    QCOMPARE(view.pageDots()->accessibleName(), QStringLiteral("Step 4 of 4"));

    QTest::mouseClick(view.backButton(), Qt::LeftButton);
    QCOMPARE(s.rig.onboarding->page(), OnboardingPage::thinking);
    QVERIFY(view.isActiveWindow());
    QTest::keyClick(view.primaryButton(), Qt::Key_BracketLeft, Qt::ControlModifier);
    QCOMPARE(s.rig.onboarding->page(), OnboardingPage::capture);
    QTest::mouseClick(view.backButton(), Qt::LeftButton);
    QCOMPARE(s.rig.onboarding->page(), OnboardingPage::welcome);
    QVERIFY(!view.backButton()->isVisible());
    QCOMPARE(view.focusWidget(), view.nameField());
    // The typed name is still there, so Continue stays on.
    QCOMPARE(view.nameField()->text(), QStringLiteral("Ada Lovelace"));
    QVERIFY(view.primaryButton()->isEnabled());
    // A page change arriving mid-transition settles on the last page.
    s.rig.onboarding->advance();
    s.rig.onboarding->back();
    QTRY_VERIFY(!view.pageWidget(OnboardingPage::capture)->isVisible());
    QVERIFY(view.pageWidget(OnboardingPage::welcome)->isVisible());
    QCOMPARE(view.pageWidget(OnboardingPage::welcome)->pos(), QPoint(0, 0));
}

void OnboardingExperienceTest::returnAndEscape()
{
    Setup s;
    AccessibilitySettings::shared().setReducesMotion(true);
    OnboardingExperienceView &view = s.show();
    // Return with no name does nothing, in the field or elsewhere.
    QTest::keyClick(view.nameField(), Qt::Key_Return);
    QTest::keyClick(&view, Qt::Key_Return);
    QCOMPARE(s.rig.onboarding->page(), OnboardingPage::welcome);
    QTest::keyClicks(view.nameField(), QStringLiteral("Grace"));
    // Return in the field moves one page, never two.
    QTest::keyClick(view.nameField(), Qt::Key_Return);
    QCOMPARE(s.rig.onboarding->page(), OnboardingPage::capture);
    // Under reduce motion the old page is gone at once.
    QVERIFY(!view.pageWidget(OnboardingPage::welcome)->isVisible());
    // The window's close control does not dismiss the setup.
    view.close();
    QVERIFY(view.isVisible());
    QVERIFY(s.rig.onboarding->isOnboardingPresented());
    // Escape is Skip: the record is written with both versions and the
    // typed name.
    QTest::keyClick(&view, Qt::Key_Escape);
    QVERIFY(!s.rig.onboarding->isOnboardingPresented());
    const OnboardingPreferences stored = s.rig.onboarding->store().load();
    QCOMPARE(stored.profile.name, QStringLiteral("Grace"));
    QCOMPARE(stored.completedOnboardingVersion, currentOnboardingVersion);
    QCOMPARE(stored.completedTourVersion, currentTourVersion);
    QCOMPARE(s.rig.onboarding->tourStep(), std::nullopt);
    AccessibilitySettings::shared().setReducesMotion(false);
}

void OnboardingExperienceTest::captureText_data()
{
    QTest::addColumn<std::optional<GlobalShortcut>>("shortcut");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<bool>("offered");
    const QString tail = QStringLiteral(" anywhere on your computer. The snip lands in your selected note\u2014or Quick "
                                        "Captures when no note is selected\u2014and can open ready to annotate.");
    QTest::newRow("none") << std::optional<GlobalShortcut>()
                          << QStringLiteral("Use Capture from the menu bar anywhere on your computer. You can record a "
                                            "global shortcut later in Settings.") << true;
    // Key code 21 is the 4 key; command and control are Ctrl and Super here.
    QTest::newRow("ctrl super 4") << std::optional(GlobalShortcut{21, GlobalShortcutModifiers::command()
                                                                          | GlobalShortcutModifiers::control()})
                                  << QStringLiteral("Press Ctrl+Super+4") + tail << true;
    QTest::newRow("unknown key") << std::optional(GlobalShortcut{200, GlobalShortcutModifiers::command()})
                                 << QStringLiteral("Press Unavailable") + tail << true;
    // A desktop without global shortcuts for apps: the command to bind,
    // whatever shortcut is stored.
    QTest::newRow("no global shortcuts")
        << std::optional(GlobalShortcut{21, GlobalShortcutModifiers::command() | GlobalShortcutModifiers::control()})
        << QStringLiteral("Bind tessaline --capture-region to a key in your desktop's keyboard settings, then press it")
            + tail
        << false;
}

void OnboardingExperienceTest::captureText()
{
    QFETCH(std::optional<GlobalShortcut>, shortcut);
    QFETCH(QString, expected);
    QFETCH(bool, offered);
    QCOMPARE(OnboardingExperienceView::captureText(shortcut, offered), expected);
}

void OnboardingExperienceTest::readyPage()
{
    Setup s;
    OnboardingExperienceView &view = s.show();
    QCOMPARE(view.readyTitleLabel()->text(), QStringLiteral("You're ready."));
    s.rig.onboarding->setDraftName(QStringLiteral("\t Ada \n Lovelace "));
    QCOMPARE(view.readyTitleLabel()->text(), QStringLiteral("You're ready, Ada."));
    QCOMPARE(view.nameField()->text(), QStringLiteral("\t Ada \n Lovelace "));
    // The capture page shows the shortcut in force, and follows a change.
    QCOMPARE(view.captureTextLabel()->text(),
             OnboardingExperienceView::captureText(s.rig.runtime->shortcutConfiguration().capture));
    QVERIFY(s.rig.runtime->updateShortcutConfiguration(GlobalShortcutConfiguration{}));
    QCOMPARE(view.captureTextLabel()->text(), OnboardingExperienceView::captureText(std::nullopt));

    // The review switch writes through the runtime at once and follows it.
    QVERIFY(view.reviewToggle()->isChecked());
    view.reviewToggle()->click();
    QVERIFY(!s.rig.runtime->captureBehaviorPreferences().automaticallyOpensRegionCaptureReview);
    QVERIFY(!s.rig.defaults->boolean(QStringLiteral("automaticallyOpensRegionCaptureReview")));
    s.rig.runtime->setAutomaticallyOpensRegionCaptureReview(true);
    QVERIFY(view.reviewToggle()->isChecked());

    // On the last page the name no longer matters.
    s.rig.onboarding->setDraftName(QStringLiteral("Ada"));
    s.rig.onboarding->advance();
    s.rig.onboarding->advance();
    s.rig.onboarding->advance();
    s.rig.onboarding->setDraftName(QStringLiteral("  "));
    QCOMPARE(view.readyTitleLabel()->text(), QStringLiteral("You're ready."));
    QVERIFY(view.primaryButton()->isEnabled());
    QCOMPARE(view.primaryButton()->text(), QStringLiteral("Enter Tessaline"));

    // No page offers what Settings says this system lacks: the library is
    // kept on this computer only.
    QVERIFY(!SettingsModel::isCloudSyncAvailable());
    for (const QLabel *label : view.findChildren<QLabel *>()) {
        QVERIFY2(!label->text().contains(QStringLiteral("sync"), Qt::CaseInsensitive),
                 qPrintable(QStringLiteral("\"%1\" offers cloud sync").arg(label->text())));
    }
}

void OnboardingExperienceTest::notePickerChoices()
{
    Setup s;
    Board *later = s.rig.addNote(QStringLiteral("Later"), 2);
    Board *first = s.rig.addNote(QStringLiteral("First"), 1);
    s.rig.addNote(QStringLiteral("Inbox"), 0, true);
    Board *trashed = s.rig.addNote(QStringLiteral("Trashed"), 3);
    trashed->setDeletedAt(at(5));
    Board *archived = s.rig.addNote(QStringLiteral("Archived"), 4);
    archived->setArchivedAt(at(5));
    QVERIFY(s.rig.context().save());
    s.library->refresh();
    s.rig.navigation().setActiveBoardID(trashed->id());
    OnboardingExperienceView &view = s.show();

    QCOMPARE(s.pickerTitles(), (QStringList{QStringLiteral("Quick Captures"), QStringLiteral("First"),
                                            QStringLiteral("Later"), QStringLiteral("Archived")}));
    // A trashed active note shows as Quick Captures and is left as it is.
    QCOMPARE(view.notePicker()->currentIndex(), 0);
    QCOMPARE(s.rig.navigation().activeBoardID(), std::optional(trashed->id()));

    QComboBox *picker = view.notePicker();
    picker->setCurrentIndex(2);
    Q_EMIT picker->activated(2);
    QCOMPARE(s.rig.navigation().activeBoardID(), std::optional(later->id()));
    picker->setCurrentIndex(0);
    Q_EMIT picker->activated(0);
    QCOMPARE(s.rig.navigation().activeBoardID(), std::nullopt);

    // The picker follows the navigation and the library.
    s.rig.navigation().setActiveBoardID(first->id());
    QCOMPARE(picker->currentText(), QStringLiteral("First"));
    first->setTitle(QStringLiteral("Renamed"));
    QVERIFY(s.rig.context().save());
    s.library->refresh();
    QCOMPARE(picker->currentText(), QStringLiteral("Renamed"));
    // A capture's card changes no choice; a note trashed, or one added or
    // taken out of the inbox, does.
    s.rig.addCard(first, CardKind::snip);
    QVERIFY(s.rig.context().save());
    later->moveToTrash(at(6));
    QVERIFY(s.rig.context().save());
    QCOMPARE(s.pickerTitles(), (QStringList{QStringLiteral("Quick Captures"), QStringLiteral("Renamed"),
                                            QStringLiteral("Archived")}));
    s.rig.addNote(QStringLiteral("Added"), 5);
    archived->setIsInbox(true);
    QVERIFY(s.rig.context().save());
    QCOMPARE(s.pickerTitles(), (QStringList{QStringLiteral("Quick Captures"), QStringLiteral("Renamed"),
                                            QStringLiteral("Added")}));
    QCOMPARE(picker->currentText(), QStringLiteral("Renamed"));
}

void OnboardingExperienceTest::finishInTheMainWindowStoresAndCloses()
{
    MainWindowRig rig;
    rig.onboarding->setOnboardingPresented(true);
    ScreenRegistry screens;
    screens.registerSheet(SheetKind::onboarding, [&rig](ScreenContext &window, const SheetRequest &, QWidget *parent) {
        return new OnboardingExperienceView(*rig.runtime, *rig.onboarding, window.library(), parent);
    });
    UpdateService updates;
    RootView window(*rig.runtime, updates, std::move(screens));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *sheet = qobject_cast<OnboardingExperienceView *>(window.sheetDialog());
    QVERIFY(sheet);
    QVERIFY(sheet->isVisible());
    QCOMPARE(sheet->windowModality(), Qt::WindowModal);

    QTest::keyClicks(sheet->nameField(), QStringLiteral(" Ada  Lovelace "));
    for (int i = 0; i < 3; ++i)
        QTest::mouseClick(sheet->primaryButton(), Qt::LeftButton);
    QCOMPARE(rig.onboarding->page(), OnboardingPage::ready);
    QTest::mouseClick(sheet->primaryButton(), Qt::LeftButton);

    const OnboardingPreferences stored = rig.onboarding->store().load();
    QCOMPARE(stored.profile.name, QStringLiteral("Ada Lovelace"));
    QCOMPARE(stored.completedOnboardingVersion, currentOnboardingVersion);
    QCOMPARE(stored.completedTourVersion, 0);
    QTRY_VERIFY(!window.sheetDialog());
    // Finishing starts the tour.
    QCOMPARE(rig.onboarding->tourStep(), std::optional(GuidedTourStep::capture));
}

void OnboardingExperienceTest::skipInTheMainWindow()
{
    MainWindowRig rig;
    rig.onboarding->setOnboardingPresented(true);
    ScreenRegistry screens;
    screens.registerSheet(SheetKind::onboarding, [&rig](ScreenContext &window, const SheetRequest &, QWidget *parent) {
        return new OnboardingExperienceView(*rig.runtime, *rig.onboarding, window.library(), parent);
    });
    UpdateService updates;
    RootView window(*rig.runtime, updates, std::move(screens));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *sheet = qobject_cast<OnboardingExperienceView *>(window.sheetDialog());
    QVERIFY(sheet);
    QCOMPARE(sheet->skipButton()->accessibleDescription(), QStringLiteral("Closes setup. You can replay it from Settings."));
    QTest::mouseClick(sheet->skipButton(), Qt::LeftButton);
    QTRY_VERIFY(!window.sheetDialog());
    const OnboardingPreferences stored = rig.onboarding->store().load();
    QCOMPARE(stored.profile.name, QString());
    QCOMPARE(stored.completedOnboardingVersion, currentOnboardingVersion);
    QCOMPARE(stored.completedTourVersion, currentTourVersion);
    QCOMPARE(rig.onboarding->tourStep(), std::nullopt);
}

void OnboardingExperienceTest::permissionStages_data()
{
    QTest::addColumn<ScreenCapturePermissionState>("state");
    QTest::addColumn<CapturePermissionGuideStage>("stage");
    QTest::addColumn<QString>("symbol");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("body");
    QTest::addColumn<QStringList>("buttons");
    QTest::addColumn<int>("steps");
    QTest::newRow("not requested") << ScreenCapturePermissionState::notRequested << CapturePermissionGuideStage::explanation
                                   << "display" << "Enable screen capture"
                                   << "The desktop requires Screen Recording access to read the pixels you select."
                                   << QStringList{QStringLiteral("allowScreenRecording")} << 1;
    QTest::newRow("needs settings") << ScreenCapturePermissionState::needsSettings
                                    << CapturePermissionGuideStage::systemSettings << "display"
                                    << "Finish in your desktop's privacy settings"
                                    << "Access was not granted yet. The exact privacy pane is one click away."
                                    << QStringList{QStringLiteral("openPrivacySettings"), QStringLiteral("checkAgain")} << 2;
    QTest::newRow("restart") << ScreenCapturePermissionState::restartRequired << CapturePermissionGuideStage::restartRequired
                             << "display" << "Restart needed after setup"
                             << "The desktop is still reporting the previous permission state to this running copy."
                             << QStringList{QStringLiteral("checkAgain")} << 2;
    QTest::newRow("authorised") << ScreenCapturePermissionState::authorized << CapturePermissionGuideStage::authorized
                                << "checkmark.circle.fill" << "Screen Recording is ready"
                                << "Tessaline can now capture the area, window, or display you choose." << QStringList{}
                                << 0;
}

void OnboardingExperienceTest::permissionStages()
{
    QFETCH(ScreenCapturePermissionState, state);
    QFETCH(CapturePermissionGuideStage, stage);
    QFETCH(QString, symbol);
    QFETCH(QString, title);
    QFETCH(QString, body);
    QFETCH(QStringList, buttons);
    QFETCH(int, steps);
    MainWindowRig rig;
    // Start elsewhere so the panel has to follow the change.
    setPermissionState(rig, state == ScreenCapturePermissionState::authorized ? ScreenCapturePermissionState::notRequested
                                                                              : ScreenCapturePermissionState::authorized);
    CapturePermissionPanel panel(*rig.runtime);
    setPermissionState(rig, state);
    QCOMPARE(panel.stage(), stage);
    settle();
    QCOMPARE(panel.findChildren<QWidget *>(QStringLiteral("permissionStage"), Qt::FindDirectChildrenOnly).size(), 1);
    QCOMPARE(panel.findChild<QWidget *>(QStringLiteral("permissionSymbol"))->property("systemImage").toString(), symbol);
    QCOMPARE(panel.findChild<QLabel *>(QStringLiteral("permissionTitle"))->text(), title);
    QCOMPARE(panel.findChild<QLabel *>(QStringLiteral("permissionBody"))->text(), body);
    settle();
    QStringList shownButtons;
    for (const QPushButton *button : panel.findChildren<QPushButton *>())
        shownButtons << button->objectName();
    QCOMPARE(shownButtons, buttons);
    const QList<PermissionGuideStep *> guide = panel.findChildren<PermissionGuideStep *>();
    QCOMPARE(guide.size(), steps);
    if (steps == 2) {
        // The first step is done, the second is what is left to do.
        QVERIFY(guide.at(0)->isComplete());
        QVERIFY(!guide.at(1)->isComplete());
    }
    const bool authorised = stage == CapturePermissionGuideStage::authorized;
    QCOMPARE(bool(panel.findChild<QLabel *>(QStringLiteral("permissionFootnote"))), !authorised);
    QCOMPARE(bool(panel.findChild<QWidget *>(QStringLiteral("capturesReady"))), authorised);
}

// Where the desktop never says which window is in front (GNOME), the
// window capture is off: neither the setup, the settings nor the tour
// offers it.
void OnboardingExperienceTest::textsOfferNoWindowCaptureThatIsOff()
{
    PlatformTexts::windowCaptureUnavailable() = true;
    const auto restore = qScopeGuard([] { PlatformTexts::windowCaptureUnavailable() = false; });
    MainWindowRig rig;
    setPermissionState(rig, ScreenCapturePermissionState::notRequested);
    CapturePermissionPanel panel(*rig.runtime);
    setPermissionState(rig, ScreenCapturePermissionState::authorized);
    settle();
    QCOMPARE(panel.findChild<QLabel *>(QStringLiteral("permissionBody"))->text(),
             QStringLiteral("Tessaline can now capture the area or display you choose."));
    QCOMPARE(SettingsModel::permissionExplanation(ScreenCapturePermissionState::authorized),
             QStringLiteral("Tessaline can capture the region or display you choose."));
    QCOMPARE(guidedTourStepContent(GuidedTourStep::capture, false).body,
             QStringLiteral("The Capture control inserts a region snip into your selected note. Its menu also captures "
                            "a display; Quick Captures is the fallback."));
}

void OnboardingExperienceTest::permissionButtons()
{
    MainWindowRig rig;
    rig.permission->access = false;
    rig.permission->requestGrantsAccess = false;
    rig.runtime->captureCoordinator().refreshPermissionState();
    CapturePermissionPanel panel(*rig.runtime);
    QCOMPARE(panel.stage(), CapturePermissionGuideStage::explanation);
    const QList<PermissionGuideStep *> explanation = panel.findChildren<PermissionGuideStep *>();
    QCOMPARE(explanation.size(), 1);
    QCOMPARE(explanation.first()->accessibleName(),
             QStringLiteral("Step 1. Approve the desktop's request. Tessaline only reads the region you choose after you "
                            "start a capture. It never records audio or runs a screen recording in the background."));

    // Allow asks the system; refused, the panel moves on to the settings.
    buttonNamed(&panel, "allowScreenRecording")->click();
    QCOMPARE(rig.permission->requestCalls, 1);
    QCOMPARE(panel.stage(), CapturePermissionGuideStage::systemSettings);

    // Opening the settings marks the trip and goes through the runtime.
    QVERIFY(buttonNamed(&panel, "openPrivacySettings"));
    buttonNamed(&panel, "openPrivacySettings")->click();
    QCOMPARE(rig.settingsOpened, 1);
    QVERIFY(rig.runtime->captureCoordinator().isReturningFromScreenCaptureSettings());
    QVERIFY(rig.defaults->boolean(ScreenCapturePermissionHistoryStore::hasRequestedAccessKey()));
    // Twice does the same again.
    buttonNamed(&panel, "openPrivacySettings")->click();
    QCOMPARE(rig.settingsOpened, 2);
    QCOMPARE(panel.stage(), CapturePermissionGuideStage::systemSettings);

    // Back from the settings still without access: a relaunch is advised.
    rig.runtime->applicationDidBecomeActive();
    QTRY_COMPARE(panel.stage(), CapturePermissionGuideStage::restartRequired);

    // Check Again re-reads the state: granted now, the panel says so.
    rig.permission->access = true;
    QVERIFY(buttonNamed(&panel, "checkAgain"));
    buttonNamed(&panel, "checkAgain")->click();
    QCOMPARE(panel.stage(), CapturePermissionGuideStage::authorized);
    QVERIFY(!buttonNamed(&panel, "checkAgain"));
    settle();
    QVERIFY(labelTexts(&panel).contains(QStringLiteral("Captures are ready from any app.")));
}

void OnboardingExperienceTest::welcomeVisualSpreadsOnce_data()
{
    QTest::addColumn<bool>("reduceMotion");
    QTest::newRow("animated") << false;
    QTest::newRow("reduce motion") << true;
}

void OnboardingExperienceTest::welcomeVisualSpreadsOnce()
{
    QFETCH(bool, reduceMotion);
    AccessibilitySettings::shared().setReducesMotion(reduceMotion);
    WelcomeStudioVisual visual;
    visual.resize(310, 330);
    QVERIFY(!visual.hasAppeared());
    QCOMPARE(visual.appearance(), 0.0);
    visual.show();
    QVERIFY(visual.hasAppeared());
    // Under reduce motion the cards are spread from the first frame.
    if (reduceMotion)
        QCOMPARE(visual.appearance(), 1.0);
    QTRY_COMPARE(visual.appearance(), 1.0);
    // Showing it again does not gather the cards back.
    visual.hide();
    visual.show();
    QCOMPARE(visual.appearance(), 1.0);
    AccessibilitySettings::shared().setReducesMotion(false);
}

void OnboardingExperienceTest::skipButtonsShowTheKeyboardFocus_data()
{
    QTest::addColumn<bool>("tour");
    QTest::newRow("setup's Skip") << false;
    QTest::newRow("tour's Skip Tour") << true;
}

// Tabbing onto a quiet text button shows where the keyboard is.
void OnboardingExperienceTest::skipButtonsShowTheKeyboardFocus()
{
    QFETCH(bool, tour);
    Setup s;
    std::unique_ptr<GuidedTourCoachmark> coachmark;
    QPushButton *skip = nullptr;
    QWidget *window = nullptr;
    if (tour) {
        s.rig.onboarding->setTourStep(GuidedTourStep::capture);
        coachmark = std::make_unique<GuidedTourCoachmark>(*s.rig.onboarding, GuidedTourStep::capture, false);
        coachmark->show();
        coachmark->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(coachmark.get()));
        skip = coachmark->skipButton();
        window = coachmark.get();
    } else {
        window = &s.show();
        skip = s.view->skipButton();
    }
    QVERIFY(skip);
    QTRY_VERIFY(window->focusWidget() != skip);
    skip->clearFocus();
    const QImage resting = skip->grab().toImage();
    skip->setFocus(Qt::TabFocusReason);
    QVERIFY(skip->hasFocus());
    QVERIFY(skip->grab().toImage() != resting);
}

QTEST_MAIN(OnboardingExperienceTest)
#include "tst_onboardingexperience.moc"

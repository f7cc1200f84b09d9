#include "../support/MainWindowRig.h"

#include "runtime/LibraryQuery.h"
#include "shell/MainToolbarController.h"
#include "shell/MainWindowCommands.h"
#include "runtime/UpdateService.h"

#include <QSignalSpy>
#include <QTest>

using namespace tessaline;
using namespace tessaline::testing;

namespace {

struct Fixture
{
    Fixture()
        : library(rig.context())
        , toolbar(*rig.runtime, library)
    {
        toolbar.setClock([] { return at(900); });
    }

    // "Title" for a plain item, "Title*" for the checked one, "-" for a
    // divider; each with its symbol after a colon.
    QStringList items() const
    {
        QStringList result;
        for (const CaptureDestinationItem &item : toolbar.captureDestinationItems()) {
            if (item.type == CaptureDestinationItem::Type::divider)
                result << QStringLiteral("-");
            else
                result << item.title + (item.isChecked ? QStringLiteral("*") : QString()) + u':' + item.systemImage;
        }
        return result;
    }

    MainWindowRig rig;
    LibraryQuery library;
    MainToolbarController toolbar;
};

// An updater whose permission to check the test sets.
class SwitchableUpdater : public NullSoftwareUpdater
{
public:
    bool canCheckForUpdates() const override { return allowed; }
    void checkForUpdates() override { ++checks; }
    void setAllowed(bool value)
    {
        allowed = value;
        Q_EMIT canCheckForUpdatesChanged(value);
    }

    bool allowed = false;
    int checks = 0;
};

} // namespace

class MainToolbarTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void captureHelpText_data();
    void captureHelpText();
    void captureDestinations_data();
    void captureDestinations();
    void choosingADestinationChangesOnlyTheActiveNote();
    void captureActionsAndReviewToggle();
    void newNoteOpensItForWriting();
    void newNoteFailureGoesToTheAlert();
    void searchAndInspector();
    void captureHighlightFollowsTheTour();
    void commandShortcuts_data();
    void commandShortcuts();
    void checkForUpdatesFollowsTheUpdater();
};

void MainToolbarTest::captureHelpText_data()
{
    QTest::addColumn<QString>("active");
    QTest::addColumn<bool>("shortcutOn");
    QTest::addColumn<QString>("expected");
    QTest::newRow("no active note") << "none" << true << "Capture Region into Quick Captures (Ctrl+Super+4)";
    QTest::newRow("active note") << "Design & Research" << true << "Capture Region into Design & Research (Ctrl+Super+4)";
    QTest::newRow("shortcut off") << "Design & Research" << false << "Capture Region into Design & Research (shortcut disabled)";
    QTest::newRow("active note in Recently Deleted") << "deleted" << true << "Capture Region into Quick Captures (Ctrl+Super+4)";
}

void MainToolbarTest::captureHelpText()
{
    QFETCH(QString, active);
    QFETCH(bool, shortcutOn);
    QFETCH(QString, expected);
    Fixture f;
    Board *note = f.rig.addNote(active == u"deleted" ? QStringLiteral("Gone") : active);
    if (active == u"deleted")
        note->moveToTrash(at(1));
    QVERIFY(f.rig.context().save());
    if (active != u"none")
        f.rig.navigation().setActiveBoardID(note->id());
    if (!shortcutOn) {
        GlobalShortcutConfiguration configuration = GlobalShortcutConfiguration::defaults();
        configuration.capture.reset();
        QVERIFY(f.rig.runtime->updateShortcutConfiguration(configuration));
    }
    QCOMPARE(f.toolbar.captureHelpText(), expected);
}

void MainToolbarTest::captureDestinations_data()
{
    // Notes are made in the order given with falling sort indexes, so the
    // submenu lists them the other way round.
    QTest::addColumn<QString>("library");
    QTest::addColumn<QString>("active");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("nothing active")
        << "inbox,alpha,beta" << "" << QStringList{"Quick Captures:tray", "-", "Beta:rectangle", "Alpha:rectangle"};
    QTest::newRow("inbox active")
        << "inbox,alpha" << "inbox" << QStringList{"Quick Captures*:checkmark", "-", "Alpha:rectangle"};
    QTest::newRow("note active, parked notes listed too")
        << "inbox,alpha,parked" << "alpha"
        << QStringList{"Quick Captures:tray", "-", "Parked:rectangle", "Alpha*:checkmark"};
    QTest::newRow("no inbox yet: divider still first") << "alpha,beta" << "beta"
                                                       << QStringList{"-", "Beta*:checkmark", "Alpha:rectangle"};
    QTest::newRow("only the inbox") << "inbox" << "" << QStringList{"Quick Captures:tray"};
    QTest::newRow("active note deleted: no check mark")
        << "inbox,alpha,deleted" << "deleted" << QStringList{"Quick Captures:tray", "-", "Alpha:rectangle"};
    QTest::newRow("titles verbatim") << "a & b" << "" << QStringList{"-", "A & b:rectangle"};
}

void MainToolbarTest::captureDestinations()
{
    QFETCH(QString, library);
    QFETCH(QString, active);
    QFETCH(QStringList, expected);
    Fixture f;
    QHash<QString, Board *> notes;
    double index = 10;
    for (const QString &name : library.split(u',')) {
        const bool inbox = name == u"inbox";
        QString title = inbox ? QStringLiteral("Quick Captures") : name;
        title[0] = title[0].toUpper();
        Board *board = f.rig.addNote(title, inbox ? 0 : index--, inbox);
        if (name == u"parked")
            board->setStatus(BoardStatus::parked, at(1));
        if (name == u"deleted")
            board->moveToTrash(at(1));
        notes.insert(name, board);
    }
    QVERIFY(f.rig.context().save());
    if (!active.isEmpty())
        f.rig.navigation().setActiveBoardID(notes.value(active)->id());
    QCOMPARE(f.items(), expected);
}

void MainToolbarTest::choosingADestinationChangesOnlyTheActiveNote()
{
    Fixture f;
    Board *note = f.rig.addNote(QStringLiteral("Target"));
    QVERIFY(f.rig.context().save());
    NavigationState &navigation = f.rig.navigation();
    navigation.setDestination(SidebarDestination::captures());
    const QUuid selected = QUuid::createUuid();
    navigation.setSelectedCardIDs({selected});
    navigation.setGalleryCardID(selected);

    QSignalSpy changed(&f.toolbar, &MainToolbarController::changed);
    f.toolbar.chooseCaptureDestination(note->id());
    QCOMPARE(navigation.activeBoardID(), std::optional(note->id()));
    QCOMPARE(f.rig.defaults->string(QStringLiteral("activeBoardID")).value_or(QString()).toUpper(),
             note->id().toString(QUuid::WithoutBraces).toUpper());
    QCOMPARE(navigation.destination(), SidebarDestination::captures());
    QCOMPARE(navigation.selectedCardIDs(), QSet<QUuid>{selected});
    QCOMPARE(navigation.galleryCardID(), std::optional(selected));
    QVERIFY(changed.count() >= 1);
}

void MainToolbarTest::captureActionsAndReviewToggle()
{
    Fixture f;
    f.toolbar.captureWindow();
    QCoreApplication::processEvents();
    QCOMPARE(f.rig.display->windowRequests, 1);
    f.rig.display->finishWindow(unexpected(CaptureSubsystemError::noCapturableWindow(QStringLiteral("Editor"))));
    f.toolbar.captureDisplay();
    QCoreApplication::processEvents();
    QCOMPARE(f.rig.display->displayRequests, 1);

    QVERIFY(f.toolbar.opensRegionCapturesForAnnotation());
    QSignalSpy changed(&f.toolbar, &MainToolbarController::changed);
    f.toolbar.setOpensRegionCapturesForAnnotation(false);
    QVERIFY(!f.toolbar.opensRegionCapturesForAnnotation());
    QVERIFY(!f.rig.runtime->captureBehaviorPreferences().automaticallyOpensRegionCaptureReview);
    QCOMPARE(changed.count(), 1);
}

void MainToolbarTest::newNoteOpensItForWriting()
{
    Fixture f;
    NavigationState &navigation = f.rig.navigation();
    navigation.setDestination(SidebarDestination::trash());
    f.toolbar.newNote();
    QCOMPARE(f.library.boards().size(), 1);
    const Board *note = f.library.boards().first();
    QCOMPARE(note->title(), QStringLiteral("Untitled Note"));
    QVERIFY(!note->isInbox() && note->isLive());
    QCOMPARE(note->createdAt(), at(900));
    QCOMPARE(navigation.destination(), SidebarDestination::notes());
    QCOMPARE(navigation.activeBoardID(), std::optional(note->id()));
    const QList<BoardWritingBlock> blocks = note->writingDocument().blocks;
    QCOMPARE(navigation.activeWritingAnchorID(),
             blocks.isEmpty() ? std::nullopt : std::optional<QUuid>(blocks.first().id));
    QVERIFY(!f.rig.runtime->errorMessage());
}

void MainToolbarTest::newNoteFailureGoesToTheAlert()
{
    Fixture f;
    Board *existing = f.rig.addNote(QStringLiteral("Existing"));
    QVERIFY(f.rig.context().save());
    NavigationState &navigation = f.rig.navigation();
    navigation.setDestination(SidebarDestination::captures());
    navigation.setActiveBoardID(existing->id());
    f.rig.context().failNextSave(StoreError{QStringLiteral("The library could not be written: disk full")});
    f.toolbar.newNote();
    QCOMPARE(f.rig.runtime->errorMessage(), std::optional(QStringLiteral("The library could not be written: disk full")));
    QCOMPARE(navigation.destination(), SidebarDestination::captures());
    QCOMPARE(navigation.activeBoardID(), std::optional(existing->id()));
    QCOMPARE(f.library.boards().size(), 1);
}

void MainToolbarTest::searchAndInspector()
{
    Fixture f;
    NavigationState &navigation = f.rig.navigation();
    f.toolbar.showSearch();
    QCOMPARE(navigation.destination(), SidebarDestination::search());

    QVERIFY(!f.toolbar.showsInspectorButton());
    navigation.setSelectedCardIDs({QUuid::createUuid()});
    QVERIFY(f.toolbar.showsInspectorButton());
    f.toolbar.toggleInspector();
    QVERIFY(navigation.isInspectorPresented());
    f.toolbar.toggleInspector();
    QVERIFY(!navigation.isInspectorPresented());
    f.toolbar.toggleInspector();
    // Losing the selection hides the button but leaves the inspector flag.
    navigation.setSelectedCardIDs({});
    QVERIFY(!f.toolbar.showsInspectorButton());
    QVERIFY(navigation.isInspectorPresented());
}

void MainToolbarTest::captureHighlightFollowsTheTour()
{
    Fixture f;
    QVERIFY(!f.toolbar.isCaptureHighlighted());
    QSignalSpy changed(&f.toolbar, &MainToolbarController::changed);
    f.rig.onboarding->setTourStep(GuidedTourStep::capture);
    QVERIFY(f.toolbar.isCaptureHighlighted());
    QVERIFY(changed.count() >= 1);
    for (GuidedTourStep step : {GuidedTourStep::today, GuidedTourStep::boards, GuidedTourStep::snipPreview}) {
        f.rig.onboarding->setTourStep(step);
        QVERIFY(!f.toolbar.isCaptureHighlighted());
    }
}

void MainToolbarTest::commandShortcuts_data()
{
    QTest::addColumn<bool>("quickNoteOn");
    QTest::addColumn<quint32>("captureKeyCode");
    QTest::addColumn<QString>("quickNote");
    QTest::addColumn<QString>("captureRegion");
    QTest::addColumn<QString>("quickNoteText");
    QTest::addColumn<QString>("captureRegionText");
    // Qt's own text for a key sequence would read "Meta+Ctrl+4"; the menus
    // show the form the tray and the settings show.
    QTest::newRow("defaults") << true << 21u << "Meta+Ctrl+N" << "Meta+Ctrl+4" << "Quick Note\tCtrl+Super+N"
                              << "Capture Region\tCtrl+Super+4";
    QTest::newRow("quick note off") << false << 21u << "" << "Meta+Ctrl+4" << "Quick Note"
                                    << "Capture Region\tCtrl+Super+4";
    // Keys without a menu character: the hot key works, the menu shows none.
    QTest::newRow("capture on F5") << true << 96u << "Meta+Ctrl+N" << "" << "Quick Note\tCtrl+Super+N"
                                   << "Capture Region";
    QTest::newRow("capture on left arrow") << true << 123u << "Meta+Ctrl+N" << "" << "Quick Note\tCtrl+Super+N"
                                           << "Capture Region";
    QTest::newRow("capture on grave accent") << true << 50u << "Meta+Ctrl+N" << "Meta+Ctrl+`"
                                             << "Quick Note\tCtrl+Super+N" << "Capture Region\tCtrl+Super+`";
}

void MainToolbarTest::commandShortcuts()
{
    QFETCH(bool, quickNoteOn);
    QFETCH(quint32, captureKeyCode);
    QFETCH(QString, quickNote);
    QFETCH(QString, captureRegion);
    MainWindowRig rig;
    UpdateService updates;
    MainWindowCommands commands(*rig.runtime, updates);
    QSignalSpy changed(&commands, &MainWindowCommands::changed);
    GlobalShortcutConfiguration configuration = GlobalShortcutConfiguration::defaults();
    if (!quickNoteOn)
        configuration.quickThought.reset();
    configuration.capture->keyCode = captureKeyCode;
    if (configuration != GlobalShortcutConfiguration::defaults()) {
        QVERIFY(rig.runtime->updateShortcutConfiguration(configuration));
        QCOMPARE(changed.count(), 1);
    }
    QCOMPARE(commands.quickNoteShortcut().toString(QKeySequence::PortableText), quickNote);
    QCOMPARE(commands.captureRegionShortcut().toString(QKeySequence::PortableText), captureRegion);
    QFETCH(QString, quickNoteText);
    QFETCH(QString, captureRegionText);
    QCOMPARE(commands.quickNoteText(), quickNoteText);
    QCOMPARE(commands.captureRegionText(), captureRegionText);

    // The menu and the runtime reach the same entries.
    commands.quickNote();
    QVERIFY(rig.navigation().isQuickThoughtPresented());
    QCOMPARE(rig.windowing.raised, 1);
    commands.captureRegion();
    QCoreApplication::processEvents();
    QCOMPARE(rig.display->displayRequests, 1);
}

void MainToolbarTest::checkForUpdatesFollowsTheUpdater()
{
    MainWindowRig rig;
    auto updater = std::make_unique<SwitchableUpdater>();
    SwitchableUpdater *fake = updater.get();
    UpdateService updates(std::move(updater));
    MainWindowCommands commands(*rig.runtime, updates);
    QSignalSpy changed(&commands, &MainWindowCommands::changed);
    QVERIFY(!commands.canCheckForUpdates());
    fake->setAllowed(true);
    QVERIFY(commands.canCheckForUpdates());
    QCOMPARE(changed.count(), 1);
    commands.checkForUpdates();
    QCOMPARE(fake->checks, 1);
}

QTEST_GUILESS_MAIN(MainToolbarTest)
#include "tst_maintoolbar.moc"

#include "../support/MainWindowRig.h"

#include "runtime/LibraryQuery.h"
#include "shell/RootViewController.h"

#include <QSignalSpy>
#include <QTest>

using namespace tessaline;
using namespace tessaline::testing;

namespace {

QString describe(const DetailScreen &screen)
{
    switch (screen.kind()) {
    case DetailScreen::Kind::notesWorkspace:
        switch (screen.filter().kind()) {
        case NoteListFilter::Kind::all:
            return QStringLiteral("notes:all");
        case NoteListFilter::Kind::favorites:
            return QStringLiteral("notes:favorites");
        case NoteListFilter::Kind::quickCaptures:
            return QStringLiteral("notes:quickCaptures");
        case NoteListFilter::Kind::folder:
            return QStringLiteral("notes:folder:") + screen.filter().folderName();
        }
        break;
    case DetailScreen::Kind::snipsLibrary:
        return QStringLiteral("snips");
    case DetailScreen::Kind::boardCanvas:
        return QStringLiteral("canvas");
    case DetailScreen::Kind::trash:
        return QStringLiteral("trash");
    case DetailScreen::Kind::search:
        return QStringLiteral("search");
    case DetailScreen::Kind::preparingQuickCaptures:
        return QStringLiteral("preparing");
    }
    return {};
}

std::optional<SidebarDestination> destinationNamed(const QString &name)
{
    if (name == u"none")
        return std::nullopt;
    if (name.startsWith(u"folder:"))
        return SidebarDestination::folder(name.mid(7));
    if (name == u"board")
        return SidebarDestination::board(QUuid::createUuid());
    static const QHash<QString, SidebarDestination> named{
        {"notes", SidebarDestination::notes()},       {"today", SidebarDestination::today()},
        {"boards", SidebarDestination::boards()},     {"archive", SidebarDestination::archive()},
        {"favorites", SidebarDestination::favorites()}, {"inbox", SidebarDestination::inbox()},
        {"captures", SidebarDestination::captures()}, {"trash", SidebarDestination::trash()},
        {"search", SidebarDestination::search()}};
    return named.value(name, SidebarDestination::notes());
}

QString sheetName(const std::optional<SheetRequest> &sheet)
{
    if (!sheet)
        return QStringLiteral("none");
    static const char *names[] = {"onboarding", "quickThought", "focusEditor", "gallery", "captureReview", "frameComposer",
                                  "askSuggestion"};
    return QString::fromLatin1(names[int(sheet->kind)]);
}

} // namespace

class RootViewControllerTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void detailScreenPerDestination_data();
    void detailScreenPerDestination();
    void quickCapturesPlaceholderMakesTheNote();
    void quickCapturesPlaceholderFailureStaysQuietly();
    void noteListBinding();
    void destinationChangeDropsSelectionAndInspector();
    void cardSheets_data();
    void cardSheets();
    void quickNoteSheetKeepsTheNoteChosenWhenBuilt();
    void assistantSheetFollowsItsQuestion();
    void firstRunSetupWaits();
    void laterSheetWaitsForTheOneUp();
    void coachmarkVisibility_data();
    void coachmarkVisibility();
    void tourStepArrangesTheWindow_data();
    void tourStepArrangesTheWindow();
    void snipPreviewStep();
    void snipPreviewStepInQuickCaptures();
    void previewTarget_data();
    void previewTarget();
};

void RootViewControllerTest::detailScreenPerDestination_data()
{
    QTest::addColumn<QString>("destination");
    QTest::addColumn<QString>("screen");
    QTest::newRow("none counts as notes") << "none" << "notes:all";
    QTest::newRow("notes") << "notes" << "notes:all";
    QTest::newRow("today") << "today" << "notes:all";
    QTest::newRow("boards") << "boards" << "notes:all";
    QTest::newRow("archive") << "archive" << "notes:all";
    QTest::newRow("favorites") << "favorites" << "notes:favorites";
    QTest::newRow("folder") << "folder:Work" << "notes:folder:Work";
    QTest::newRow("inbox") << "inbox" << "notes:quickCaptures";
    QTest::newRow("captures") << "captures" << "snips";
    QTest::newRow("board that matches no note") << "board" << "canvas";
    QTest::newRow("trash") << "trash" << "trash";
    QTest::newRow("search") << "search" << "search";
}

void RootViewControllerTest::detailScreenPerDestination()
{
    QFETCH(QString, destination);
    QFETCH(QString, screen);
    MainWindowRig rig;
    rig.addNote(QStringLiteral("Quick Captures"), 0, true);
    QVERIFY(rig.context().save());
    RootViewController window(*rig.runtime);
    const auto wanted = destinationNamed(destination);
    rig.navigation().setDestination(wanted);
    QCOMPARE(describe(window.detailScreen()), screen);
    if (wanted && wanted->kind() == SidebarDestination::Kind::board)
        QCOMPARE(window.detailScreen().boardID(), wanted->boardID());
}

void RootViewControllerTest::quickCapturesPlaceholderMakesTheNote()
{
    MainWindowRig rig;
    Board *trashedInbox = rig.addNote(QStringLiteral("Quick Captures"), 0, true);
    trashedInbox->moveToTrash(at(1));
    QVERIFY(rig.context().save());
    RootViewController window(*rig.runtime);
    QSignalSpy finished(&window, &RootViewController::quickCapturesPreparationFinished);
    rig.navigation().setDestination(SidebarDestination::inbox());
    QCOMPARE(describe(window.detailScreen()), QStringLiteral("preparing"));

    QVERIFY(finished.wait(5000));
    QCOMPARE(finished.first().first().toBool(), true);
    QCOMPARE(describe(window.detailScreen()), QStringLiteral("notes:quickCaptures"));
    const Board *inbox = window.library().quickCapturesNote();
    QVERIFY(inbox && inbox != trashedInbox && inbox->isLive());
}

void RootViewControllerTest::quickCapturesPlaceholderFailureStaysQuietly()
{
    MainWindowRig rig;
    RootViewController window(*rig.runtime);
    QSignalSpy finished(&window, &RootViewController::quickCapturesPreparationFinished);
    rig.context().failNextSave(StoreError{QStringLiteral("read-only")});
    rig.navigation().setDestination(SidebarDestination::inbox());
    QVERIFY(finished.wait(5000));
    QCOMPARE(finished.first().first().toBool(), false);
    QCOMPARE(describe(window.detailScreen()), QStringLiteral("preparing"));
    QCOMPARE(rig.runtime->errorMessage(), std::nullopt);
    QCOMPARE(window.library().quickCapturesNote(), nullptr);

    // Leaving before an attempt runs drops it; coming back tries again.
    rig.navigation().setDestination(SidebarDestination::notes());
    rig.navigation().setDestination(SidebarDestination::inbox());
    rig.navigation().setDestination(SidebarDestination::trash());
    QCoreApplication::processEvents();
    QCOMPARE(finished.count(), 1);
    rig.navigation().setDestination(SidebarDestination::inbox());
    QVERIFY(finished.wait(5000));
    QCOMPARE(finished.last().first().toBool(), true);
    QCOMPARE(describe(window.detailScreen()), QStringLiteral("notes:quickCaptures"));
}

void RootViewControllerTest::noteListBinding()
{
    MainWindowRig rig;
    RootViewController window(*rig.runtime);
    QVERIFY(!window.isSidebarVisible());
    QVERIFY(window.isNoteListVisible());

    QSignalSpy listChanged(&window, &RootViewController::noteListVisibleChanged);
    window.setSidebarVisible(true);
    QVERIFY(!window.isNoteListVisible());
    QVERIFY(window.showsNoteList());
    window.setSidebarVisible(false);
    QVERIFY(window.isNoteListVisible());
    QCOMPARE(listChanged.count(), 2);

    window.setNoteListVisible(false);
    QVERIFY(!window.isNoteListVisible());
    window.setSidebarVisible(true);
    // Turning the list on hides the sidebar, and the read follows at once.
    window.setNoteListVisible(true);
    QVERIFY(!window.isSidebarVisible());
    QVERIFY(window.isNoteListVisible());
    // Hiding the list leaves the sidebar where it is.
    window.setNoteListVisible(false);
    QVERIFY(!window.isSidebarVisible());
}

void RootViewControllerTest::destinationChangeDropsSelectionAndInspector()
{
    MainWindowRig rig;
    RootViewController window(*rig.runtime);
    NavigationState &navigation = rig.navigation();
    navigation.setSelectedCardIDs({QUuid::createUuid(), QUuid::createUuid(), QUuid::createUuid()});
    navigation.setInspectorPresented(true);
    navigation.setDestination(SidebarDestination::captures());
    QVERIFY(navigation.selectedCardIDs().isEmpty());
    QVERIFY(!navigation.isInspectorPresented());

    // No change, no clearing.
    navigation.setSelectedCardIDs({QUuid::createUuid()});
    navigation.setDestination(SidebarDestination::captures());
    QCOMPARE(navigation.selectedCardIDs().size(), 1);
}

void RootViewControllerTest::cardSheets_data()
{
    QTest::addColumn<int>("kind");
    QTest::newRow("focus editor") << int(SheetKind::focusEditor);
    QTest::newRow("gallery") << int(SheetKind::gallery);
    QTest::newRow("capture review") << int(SheetKind::captureReview);
    QTest::newRow("frame composer") << int(SheetKind::frameComposer);
}

void RootViewControllerTest::cardSheets()
{
    QFETCH(int, kind);
    MainWindowRig rig;
    RootViewController window(*rig.runtime);
    NavigationState &navigation = rig.navigation();
    auto setID = [&](const std::optional<QUuid> &id) {
        switch (SheetKind(kind)) {
        case SheetKind::focusEditor:
            return navigation.setFocusedCardID(id);
        case SheetKind::gallery:
            return navigation.setGalleryCardID(id);
        case SheetKind::captureReview:
            return navigation.setCaptureReviewCardID(id);
        default:
            return navigation.setFrameComposerCardID(id);
        }
    };
    QSignalSpy changed(&window, &RootViewController::presentedSheetChanged);
    const QUuid first = QUuid::createUuid();
    setID(first);
    QCOMPARE(int(window.presentedSheet()->kind), kind);
    QCOMPARE(window.presentedSheet()->cardID, std::optional(first));

    // Another card for the same sheet rebuilds it for that card; the
    // gallery is the exception: it stays up and pages to the card itself.
    const QUuid second = QUuid::createUuid();
    setID(second);
    const bool rebuilt = SheetKind(kind) != SheetKind::gallery;
    QCOMPARE(window.presentedSheet()->cardID, std::optional(rebuilt ? second : first));
    QCOMPARE(changed.count(), rebuilt ? 2 : 1);

    // Closing the sheet sets its property back.
    window.sheetDismissed(SheetKind(kind));
    QCOMPARE(window.presentedSheet().has_value(), false);
    QCOMPARE(navigation.focusedCardID().has_value() || navigation.galleryCardID().has_value()
                 || navigation.captureReviewCardID().has_value() || navigation.frameComposerCardID().has_value(),
             false);

    // Setting the property back from elsewhere closes it too.
    setID(first);
    setID(std::nullopt);
    QVERIFY(!window.presentedSheet());
}

void RootViewControllerTest::quickNoteSheetKeepsTheNoteChosenWhenBuilt()
{
    MainWindowRig rig;
    RootViewController window(*rig.runtime);
    NavigationState &navigation = rig.navigation();
    const QUuid chosen = QUuid::createUuid();
    navigation.setActiveBoardID(chosen);
    rig.runtime->requestQuickThought();
    QCOMPARE(sheetName(window.presentedSheet()), QStringLiteral("quickThought"));
    navigation.setActiveBoardID(QUuid::createUuid());
    QCOMPARE(window.presentedSheet()->preselectedBoardID, std::optional(chosen));
    window.sheetDismissed(SheetKind::quickThought);
    QVERIFY(!navigation.isQuickThoughtPresented());
}

void RootViewControllerTest::assistantSheetFollowsItsQuestion()
{
    MainWindowRig rig;
    RootViewController window(*rig.runtime);
    NavigationState &navigation = rig.navigation();
    QSignalSpy changed(&window, &RootViewController::presentedSheetChanged);
    const AskSuggestionRequest first{QUuid::createUuid(), {QUuid::createUuid(), QUuid::createUuid()}};
    navigation.setAskSuggestion(first);
    QCOMPARE(sheetName(window.presentedSheet()), QStringLiteral("askSuggestion"));
    QCOMPARE(window.presentedSheet()->ask, std::optional(first));

    // Asking about other cards rebuilds the sheet for them.
    AskSuggestionRequest second = first;
    second.sourceCardIDs.removeLast();
    navigation.setAskSuggestion(second);
    QCOMPARE(window.presentedSheet()->ask, std::optional(second));
    QCOMPARE(changed.count(), 2);

    window.sheetDismissed(SheetKind::askSuggestion);
    QCOMPARE(navigation.askSuggestion(), std::nullopt);
    QVERIFY(!window.presentedSheet());
}

void RootViewControllerTest::firstRunSetupWaits()
{
    MainWindowRig rig;
    rig.onboarding->setOnboardingPresented(true);
    RootViewController window(*rig.runtime);
    // Not before the runtime says its interface is ready.
    QCOMPARE(sheetName(window.presentedSheet()), QStringLiteral("none"));
    rig.runtime->start();
    QCOMPARE(sheetName(window.presentedSheet()), QStringLiteral("onboarding"));

    // Not while the alert has something to say.
    rig.runtime->setErrorMessage(QStringLiteral("Something happened."));
    QCOMPARE(sheetName(window.presentedSheet()), QStringLiteral("none"));
    rig.runtime->setErrorMessage(std::nullopt);
    QCOMPARE(sheetName(window.presentedSheet()), QStringLiteral("onboarding"));

    // Never on top of another sheet.
    rig.navigation().setQuickThoughtPresented(true);
    QCOMPARE(sheetName(window.presentedSheet()), QStringLiteral("quickThought"));
    window.sheetDismissed(SheetKind::quickThought);
    QCOMPARE(sheetName(window.presentedSheet()), QStringLiteral("onboarding"));

    // Closing it through the window changes nothing: it stays.
    window.sheetDismissed(SheetKind::onboarding);
    QVERIFY(rig.onboarding->isOnboardingPresented());
    QCOMPARE(sheetName(window.presentedSheet()), QStringLiteral("onboarding"));
    rig.onboarding->setOnboardingPresented(false);
    QCOMPARE(sheetName(window.presentedSheet()), QStringLiteral("none"));
}

void RootViewControllerTest::laterSheetWaitsForTheOneUp()
{
    MainWindowRig rig;
    RootViewController window(*rig.runtime);
    NavigationState &navigation = rig.navigation();
    const QUuid shown = QUuid::createUuid(), review = QUuid::createUuid();
    navigation.setGalleryCardID(shown);
    navigation.setQuickThoughtPresented(true);
    navigation.setCaptureReviewCardID(review);
    QCOMPARE(sheetName(window.presentedSheet()), QStringLiteral("gallery"));
    window.sheetDismissed(SheetKind::gallery);
    QCOMPARE(sheetName(window.presentedSheet()), QStringLiteral("quickThought"));
    window.sheetDismissed(SheetKind::quickThought);
    QCOMPARE(sheetName(window.presentedSheet()), QStringLiteral("captureReview"));
    QCOMPARE(window.presentedSheet()->cardID, std::optional(review));
}

void RootViewControllerTest::coachmarkVisibility_data()
{
    QTest::addColumn<QString>("condition");
    QTest::addColumn<bool>("visible");
    QTest::newRow("all clear") << "" << true;
    QTest::newRow("no tour") << "no tour" << false;
    QTest::newRow("first-run setup up") << "setup" << false;
    QTest::newRow("interface not ready") << "not ready" << false;
    QTest::newRow("alert up") << "error" << false;
    QTest::newRow("quick note up") << "quick note" << false;
    QTest::newRow("gallery up") << "gallery" << false;
    QTest::newRow("frame composer up") << "composer" << false;
}

void RootViewControllerTest::coachmarkVisibility()
{
    QFETCH(QString, condition);
    QFETCH(bool, visible);
    MainWindowRig rig;
    RootViewController window(*rig.runtime);
    if (condition != u"not ready")
        rig.runtime->start();
    rig.onboarding->setTourStep(condition == u"no tour" ? std::nullopt : std::optional(GuidedTourStep::today));
    QSignalSpy changed(&window, &RootViewController::coachmarkChanged);
    if (condition == u"setup")
        rig.onboarding->setOnboardingPresented(true);
    else if (condition == u"error")
        rig.runtime->setErrorMessage(QStringLiteral("Oops."));
    else if (condition == u"quick note")
        rig.navigation().setQuickThoughtPresented(true);
    else if (condition == u"gallery")
        rig.navigation().setGalleryCardID(QUuid::createUuid());
    else if (condition == u"composer")
        rig.navigation().setFrameComposerCardID(QUuid::createUuid());
    QCOMPARE(window.isCoachmarkVisible(), visible);
    if (!condition.isEmpty() && condition != u"no tour" && condition != u"not ready")
        QVERIFY(changed.count() >= 1);
}

void RootViewControllerTest::tourStepArrangesTheWindow_data()
{
    QTest::addColumn<int>("step");
    QTest::addColumn<bool>("sidebar");
    QTest::addColumn<QString>("destination");
    QTest::newRow("capture") << int(GuidedTourStep::capture) << false << "captures";
    QTest::newRow("today") << int(GuidedTourStep::today) << true << "notes";
    QTest::newRow("boards") << int(GuidedTourStep::boards) << true << "inbox";
    QTest::newRow("tour over") << -1 << false << "captures";
}

void RootViewControllerTest::tourStepArrangesTheWindow()
{
    QFETCH(int, step);
    QFETCH(bool, sidebar);
    QFETCH(QString, destination);
    MainWindowRig rig;
    rig.onboarding->setTourStep(GuidedTourStep::snipPreview);
    RootViewController window(*rig.runtime);
    rig.navigation().setDestination(SidebarDestination::captures());
    window.setSidebarVisible(!sidebar);
    rig.onboarding->setTourStep(step < 0 ? std::nullopt : std::optional(GuidedTourStep(step)));
    QCOMPARE(window.isSidebarVisible(), sidebar);
    QCOMPARE(rig.navigation().destination(), destinationNamed(destination));

    // The same step again does not run its arrangement again.
    window.setSidebarVisible(!sidebar);
    rig.navigation().setDestination(SidebarDestination::trash());
    rig.onboarding->setTourStep(step < 0 ? std::nullopt : std::optional(GuidedTourStep(step)));
    QCOMPARE(window.isSidebarVisible(), !sidebar);
    QCOMPARE(rig.navigation().destination(), SidebarDestination::trash());
}

void RootViewControllerTest::snipPreviewStep()
{
    MainWindowRig rig;
    Board *note = rig.addNote(QStringLiteral("Note"), 1);
    CanvasCard *snip = rig.addCard(note, CardKind::snip, 10);
    QVERIFY(rig.context().save());
    RootViewController window(*rig.runtime);
    NavigationState &navigation = rig.navigation();
    rig.onboarding->setTourStep(GuidedTourStep::boards);
    QCOMPARE(navigation.destination(), SidebarDestination::inbox());
    QVERIFY(window.isSidebarVisible());

    QList<QString> writes;
    connect(&navigation, &NavigationState::destinationChanged, this, [&] { writes << "destination"; });
    connect(&navigation, &NavigationState::activeBoardIDChanged, this, [&] { writes << "active"; });
    connect(&navigation, &NavigationState::selectedCardIDsChanged, this, [&] { writes << "selection"; });
    rig.onboarding->setTourStep(GuidedTourStep::snipPreview);
    QVERIFY(!window.isSidebarVisible());
    QCOMPARE(navigation.destination(), SidebarDestination::notes());
    QCOMPARE(navigation.activeBoardID(), std::optional(note->id()));
    QVERIFY(rig.defaults->contains(QStringLiteral("activeBoardID")));
    // Destination, then note, then selection: the destination's own
    // clearing comes first, so the step's selection stands.
    QCOMPARE(navigation.selectedCardIDs(), QSet<QUuid>{snip->id()});
    const qsizetype destination = writes.indexOf("destination"), active = writes.indexOf("active");
    QVERIFY(destination >= 0 && destination < active);
    QCOMPARE(writes.lastIndexOf("selection"), writes.size() - 1);
    QVERIFY(active < writes.size() - 1);
}

void RootViewControllerTest::snipPreviewStepInQuickCaptures()
{
    MainWindowRig rig;
    Board *inbox = rig.addNote(QStringLiteral("Quick Captures"), 0, true);
    CanvasCard *snip = rig.addCard(inbox, CardKind::snip, 10);
    QVERIFY(rig.context().save());
    RootViewController window(*rig.runtime);
    NavigationState &navigation = rig.navigation();
    rig.onboarding->setTourStep(GuidedTourStep::today);
    QCOMPARE(navigation.destination(), SidebarDestination::notes());

    rig.onboarding->setTourStep(GuidedTourStep::snipPreview);
    QCOMPARE(navigation.destination(), SidebarDestination::inbox());
    QCOMPARE(navigation.activeBoardID(), std::optional(inbox->id()));
    QCOMPARE(navigation.selectedCardIDs(), QSet<QUuid>{snip->id()});
}

void RootViewControllerTest::previewTarget_data()
{
    QTest::addColumn<QString>("scenario");
    QTest::addColumn<QString>("expected");
    QTest::newRow("newest by capture date, else creation") << "dates" << "captured late";
    QTest::newRow("deleted snips and thoughts skipped") << "kinds" << "older live snip";
    QTest::newRow("deleted and archived notes skipped") << "notes" << "none";
}

void RootViewControllerTest::previewTarget()
{
    QFETCH(QString, scenario);
    QFETCH(QString, expected);
    MainWindowRig rig;
    Board *note = rig.addNote(QStringLiteral("Note"));
    QHash<QString, CanvasCard *> cards;
    if (scenario == u"dates") {
        cards["created late"] = rig.addCard(note, CardKind::snip, 50);
        cards["captured late"] = rig.addCard(note, CardKind::snip, 5);
        cards["captured late"]->setCapturedAt(at(80));
    } else if (scenario == u"kinds") {
        cards["older live snip"] = rig.addCard(note, CardKind::snip, 5);
        rig.addCard(note, CardKind::thought, 50);
        rig.addCard(note, CardKind::snip, 60)->moveToTrash(at(61));
    } else {
        Board *deleted = rig.addNote(QStringLiteral("Deleted"));
        deleted->moveToTrash(at(1));
        Board *archived = rig.addNote(QStringLiteral("Archived"));
        archived->setStatus(BoardStatus::done, at(1));
        rig.addCard(deleted, CardKind::snip, 10);
        rig.addCard(archived, CardKind::snip, 20);
        auto *elsewhere = new Board;
        rig.addCard(elsewhere, CardKind::snip, 30);
        delete elsewhere;
    }
    QVERIFY(rig.context().save());
    RootViewController window(*rig.runtime);
    const std::optional<QUuid> target = window.tourPreviewCardID();
    QCOMPARE(target, expected == u"none" ? std::nullopt : std::optional(cards.value(expected)->id()));
}

QTEST_GUILESS_MAIN(RootViewControllerTest)
#include "tst_rootviewcontroller.moc"

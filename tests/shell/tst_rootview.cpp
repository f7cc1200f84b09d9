#include "../support/MainWindowRig.h"
#include "../support/OffscreenScreen.h"

#include "runtime/LibraryQuery.h"
#include "shell/DeferredIconStyle.h"
#include "shell/MainWindowFrame.h"
#include "shell/RootView.h"
#include "shell/SidebarModel.h"
#include "shell/SidebarView.h"
#include "runtime/TrashActions.h"
#include "design/SemanticColors.h"
#include "design/StudioEmptyState.h"
#include "design/StudioText.h"
#include "design/TessalinePrimaryButton.h"
#include "runtime/UpdateService.h"
#include "platform/AccessibilitySettings.h"
#include "platform/PlatformTexts.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QGuiApplication>
#include <QScreen>
#include <QTemporaryDir>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QSignalSpy>
#include <QStyleFactory>
#include <QStyleOption>
#include <QMenuBar>
#include <QTest>
#include <QToolBar>

#include <memory>

using namespace tessaline;
using namespace tessaline::testing;

namespace {

// The title of the empty state a stand-in pane shows; empty when the pane
// is something else.
QString standInTitle(const QWidget *pane)
{
    const auto *state = pane ? pane->findChild<StudioEmptyState *>() : nullptr;
    return state ? state->titleLabel()->text() : QString();
}

QStringList actionTexts(const QMenu *menu)
{
    QStringList texts;
    for (const QAction *action : menu->actions())
        texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
    return texts;
}

// The text a button shows: "&&" is a literal ampersand, a lone "&" marks the
// mnemonic and is not drawn.
QString shownText(const QString &text)
{
    QString shown;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == u'&') {
            if (i + 1 < text.size() && text.at(i + 1) == u'&')
                shown += text.at(++i);
            continue;
        }
        shown += text.at(i);
    }
    return shown;
}

QAbstractButton *buttonTitled(QMessageBox *box, const QString &title)
{
    for (QAbstractButton *button : box->buttons()) {
        if (shownText(button->text()) == title)
            return button;
    }
    return nullptr;
}

struct Fixture
{
    explicit Fixture(ScreenRegistry screens = {})
        : view(*rig.runtime, updates, std::move(screens))
    {
    }

    bool show()
    {
        view.show();
        return QTest::qWaitForWindowExposed(&view);
    }

    MainWindowRig rig;
    UpdateService updates;
    RootView view;
};

} // namespace

class RootViewTest : public QObject
{
    Q_OBJECT
public:
    // A screen the size of a common laptop's rather than the offscreen
    // platform's 800 by 600, so a window can grow on it.
    static void initMain()
    {
        useOffscreenScreen(1920, 1080);
    }

private Q_SLOTS:
    void showingStartsTheRuntime();
    void sidebarListsDestinationsAndFollowsNavigation();
    void choosingARowSwapsTheDetailPane();
    void registeredScreensPlugIn();
    void aScreenGoingAwayReadsTheLibraryNoMore();
    void alertShowsAndClears();
    void alertComesBackWithTheActionsOwnMessage();
    void sheetsFollowNavigation();
    void toolbarAndCaptureMenu();
    void coachmarkSitsBottomTrailingAndStepsBack();
    void tourRingStandsOutsideItsControl();
    void bringToFrontRestores();
    void fileMenuReachesSettingsAndQuit();
    void defaultFrameFitsTheScreen_data();
    void defaultFrameFitsTheScreen();
    void frameComesBackOnlyWhereItCanBeSeen();
    void windowNeverCutsItsColumns();
    void overflowIconIsTheStylesOwn();
};

void RootViewTest::showingStartsTheRuntime()
{
    Fixture f;
    QVERIFY(!f.rig.runtime->isStarted());
    QCOMPARE(f.view.size(), QSize(1180, 780));
    QCOMPARE(f.view.minimumSize(), QSize(880, 580));
    QVERIFY(f.show());
    QVERIFY(f.rig.runtime->isStarted());
    QVERIFY(f.rig.runtime->captureCoordinator().hotKeysAreActive());
    // Start-up made the Quick Captures note; the window saw the save.
    QVERIFY(f.view.controller().library().quickCapturesNote());
}

void RootViewTest::sidebarListsDestinationsAndFollowsNavigation()
{
    Fixture f;
    QVERIFY(f.show());
    SidebarView *sidebar = f.view.sidebarView();
    // The window opens on the detail column alone.
    QVERIFY(!sidebar->isVisible());
    f.view.controller().setSidebarVisible(true);
    QVERIFY(sidebar->isVisible());
    QVERIFY(sidebar->width() >= 190 && sidebar->width() <= 285);

    QStringList titles;
    for (int row = 0; row < sidebar->model()->rowCount(); ++row)
        titles << sidebar->model()->index(row, 0).data().toString();
    QCOMPARE(titles, (QStringList{"Notes", "Quick Captures", "Snips", "Favorites", "", "Recently Deleted"}));
    QCOMPARE(sidebar->selectedRow(), 0);

    f.rig.navigation().setDestination(SidebarDestination::search());
    QCOMPARE(sidebar->selectedRow(), -1);
    f.rig.navigation().setDestination(SidebarDestination::favorites());
    QCOMPARE(sidebar->selectedRow(), 3);
}

void RootViewTest::choosingARowSwapsTheDetailPane()
{
    Fixture f;
    QVERIFY(f.show());
    f.view.controller().setSidebarVisible(true);
    QCOMPARE(standInTitle(f.view.detailWidget()), QStringLiteral("Notes"));
    QWidget *notesPane = f.view.detailWidget();

    SidebarView *sidebar = f.view.sidebarView();
    const int trashRow = f.view.controller().sidebar().rowForDestination(SidebarDestination::trash());
    const QRect rect = sidebar->visualRect(sidebar->model()->index(trashRow, 0));
    QTest::mouseClick(sidebar->viewport(), Qt::LeftButton, {}, rect.center());
    QCOMPARE(f.rig.navigation().destination(), SidebarDestination::trash());
    QVERIFY(f.view.detailWidget() != notesPane);
    QCOMPARE(standInTitle(f.view.detailWidget()), QStringLiteral("Recently Deleted"));

    // Clicking a section line selects nothing and changes nothing.
    const QRect section = sidebar->visualRect(sidebar->model()->index(trashRow - 1, 0));
    QTest::mouseClick(sidebar->viewport(), Qt::LeftButton, {}, section.center());
    QCOMPARE(f.rig.navigation().destination(), SidebarDestination::trash());

    // Destinations with the same screen keep the pane that is up.
    f.rig.navigation().setDestination(SidebarDestination::notes());
    QWidget *allNotes = f.view.detailWidget();
    f.rig.navigation().setDestination(SidebarDestination::today());
    QCOMPARE(f.view.detailWidget(), allNotes);
    f.rig.navigation().setDestination(SidebarDestination::search());
    QCOMPARE(standInTitle(f.view.detailWidget()), QStringLiteral("Search"));
}

void RootViewTest::registeredScreensPlugIn()
{
    ScreenRegistry screens;
    QList<DetailScreen> built;
    screens.registerDetail(DetailScreen::Kind::trash, [&built](ScreenContext &window, const DetailScreen &screen, QWidget *parent) {
        built << screen;
        auto *pane = new QLabel(QStringLiteral("trash screen"), parent);
        pane->setObjectName(QStringLiteral("trash"));
        // A screen calls the window's actions; here, restore something gone.
        window.trashActions().restoreCard(QUuid::createUuid());
        return pane;
    });
    int sheetsBuilt = 0;
    screens.registerSheet(SheetKind::gallery, [&sheetsBuilt](ScreenContext &, const SheetRequest &request, QWidget *parent) {
        ++sheetsBuilt;
        auto *dialog = new QDialog(parent);
        dialog->setObjectName(request.cardID->toString());
        return dialog;
    });
    Fixture f(std::move(screens));
    QVERIFY(f.show());
    f.rig.navigation().setDestination(SidebarDestination::trash());
    QCOMPARE(f.view.detailWidget()->objectName(), QStringLiteral("trash"));
    QCOMPARE(built.size(), 1);

    const QUuid card = QUuid::createUuid();
    f.rig.navigation().setGalleryCardID(card);
    QVERIFY(f.view.sheetDialog());
    QCOMPARE(f.view.sheetDialog()->objectName(), card.toString());
    QCOMPARE(sheetsBuilt, 1);
    // Paging moves the gallery's card; the one gallery stays up.
    QDialog *gallery = f.view.sheetDialog();
    f.rig.navigation().setGalleryCardID(QUuid::createUuid());
    QCOMPARE(f.view.sheetDialog(), gallery);
    QCOMPARE(sheetsBuilt, 1);

    // The inspector stands in under its own name until one is registered.
    f.rig.navigation().setInspectorPresented(true);
    QVERIFY(f.view.findChild<StudioEmptyState *>() != nullptr);
}

void RootViewTest::aScreenGoingAwayReadsTheLibraryNoMore()
{
    // Each pane counts the changes of the library it hears, itself and
    // through a part of it, as a screen and its model re-read the library.
    ScreenRegistry screens;
    for (const DetailScreen::Kind kind : {DetailScreen::Kind::trash, DetailScreen::Kind::snipsLibrary}) {
        screens.registerDetail(kind, [](ScreenContext &window, const DetailScreen &, QWidget *parent) -> QWidget * {
            auto *pane = new QWidget(parent);
            auto *part = new QObject(pane);
            const auto heard = [pane] { pane->setProperty("heard", pane->property("heard").toInt() + 1); };
            QObject::connect(&window.library(), &LibraryQuery::changed, pane, heard);
            QObject::connect(&window.library(), &LibraryQuery::changed, part, heard);
            return pane;
        });
    }
    Fixture f(std::move(screens));
    QVERIFY(f.show());
    f.rig.navigation().setDestination(SidebarDestination::trash());
    QPointer<QWidget> trash = f.view.detailWidget();
    f.rig.navigation().setDestination(SidebarDestination::captures());
    QWidget *snips = f.view.detailWidget();
    QVERIFY(snips != trash);
    // The pane that went is deleted once the event loop runs; the library
    // changing before that (the next screen saving as it opens) is for the
    // pane that came alone.
    QVERIFY(trash);
    f.view.controller().library().refresh();
    QCOMPARE(snips->property("heard").toInt(), 2);
    QCOMPARE(trash->property("heard").toInt(), 0);
    QTRY_VERIFY(!trash);
}

void RootViewTest::alertShowsAndClears()
{
    Fixture f;
    QVERIFY(f.show());
    QVERIFY(!f.view.alertBox());
    f.rig.runtime->setErrorMessage(QStringLiteral("The library could not be written: disk full"));
    QMessageBox *box = f.view.alertBox();
    QVERIFY(box);
    QVERIFY(box->isVisible());
    QVERIFY(f.view.hasAttachedSheet());
    QCOMPARE(box->text(), QStringLiteral("Tessaline needs attention"));
    // Wide enough that a window manager's bolder title font need not cut it.
    QTRY_VERIFY(box->width() >= 2 * box->fontMetrics().horizontalAdvance(box->windowTitle()));
    QCOMPARE(box->informativeText(), QStringLiteral("The library could not be written: disk full"));
    QCOMPARE(box->buttons().size(), 1);

    QAbstractButton *ok = buttonTitled(box, QStringLiteral("OK"));
    QVERIFY(ok);
    ok->click();
    QCOMPARE(f.rig.runtime->errorMessage(), std::nullopt);
    QVERIFY(!f.view.alertBox());

    // Cleared elsewhere: the alert goes away without a button.
    f.rig.runtime->setErrorMessage(QStringLiteral("Again."));
    QVERIFY(f.view.alertBox());
    f.rig.runtime->setErrorMessage(std::nullopt);
    QVERIFY(!f.view.alertBox());
}

void RootViewTest::alertComesBackWithTheActionsOwnMessage()
{
    Fixture f;
    f.rig.settingsOpen = false;
    QVERIFY(f.show());
    f.rig.failCapture(CaptureSubsystemError::permissionDenied());
    QMessageBox *box = f.view.alertBox();
    QVERIFY(box);
    QCOMPARE(box->buttons().size(), 2);
    QAbstractButton *open = buttonTitled(box, PlatformTexts::openPrivacySettingsButton());
    QVERIFY(open);
    QVERIFY(buttonTitled(box, QStringLiteral("Not Now")));
    open->click();
    QCOMPARE(f.rig.settingsOpened, 1);
    QCOMPARE(f.rig.runtime->errorMessage(), std::optional(PlatformTexts::openPrivacySettingsInstruction()));
    QMessageBox *again = f.view.alertBox();
    QVERIFY(again);
    QVERIFY(again != box);
    QCOMPARE(again->informativeText(), PlatformTexts::openPrivacySettingsInstruction());
    QVERIFY(buttonTitled(again, QStringLiteral("OK")));
    buttonTitled(again, QStringLiteral("OK"))->click();

    // The relaunch button shows its ampersand rather than making it a mnemonic.
    f.rig.failCapture(CaptureSubsystemError::permissionRestartRequired());
    QMessageBox *restart = f.view.alertBox();
    QVERIFY(restart);
    QVERIFY(buttonTitled(restart, QStringLiteral("Quit & Reopen Tessaline")));
    QVERIFY(buttonTitled(restart, QStringLiteral("Not Now")));
}

void RootViewTest::sheetsFollowNavigation()
{
    Fixture f;
    QVERIFY(f.show());
    NavigationState &navigation = f.rig.navigation();
    QVERIFY(!f.view.hasAttachedSheet());
    navigation.setCaptureReviewCardID(QUuid::createUuid());
    QDialog *review = f.view.sheetDialog();
    QVERIFY(review);
    QVERIFY(review->isVisible());
    QCOMPARE(review->windowModality(), Qt::WindowModal);
    QVERIFY(f.view.hasAttachedSheet());
    QCOMPARE(standInTitle(review), QStringLiteral("Capture Review"));

    // Closing the sheet sets its property back.
    review->reject();
    QCOMPARE(navigation.captureReviewCardID(), std::nullopt);
    QVERIFY(!f.view.sheetDialog());

    // Setting the property back from elsewhere closes the sheet.
    navigation.setGalleryCardID(QUuid::createUuid());
    QVERIFY(f.view.sheetDialog());
    navigation.setGalleryCardID(std::nullopt);
    QVERIFY(!f.view.sheetDialog());
    QTRY_VERIFY(!f.view.hasAttachedSheet());
}

void RootViewTest::toolbarAndCaptureMenu()
{
    Fixture f;
    QVERIFY(f.show());
    QMenu *menu = f.view.captureMenu();
    // The body of the Capture control captures a region; the menu stays shut.
    auto *capture = f.view.findChild<TessalinePrimaryButton *>();
    QVERIFY(capture);
    QCOMPARE(capture->text(), QStringLiteral("Capture"));
    QVERIFY(capture->toolTip().startsWith(QStringLiteral("Capture Region into ")));
    QTest::mouseClick(capture, Qt::LeftButton);
    QCoreApplication::processEvents();
    QCOMPARE(f.rig.display->displayRequests, 1);
    QVERIFY(!menu->isVisible());

    Q_EMIT menu->aboutToShow();
    QCOMPARE(actionTexts(menu), (QStringList{"Capture Region", "Capture Frontmost Window", "Capture Display Under Pointer",
                                             "-", "Open Region Captures for Annotation", "-", "Insert New Captures In"}));
    QAction *toggle = menu->actions().at(4);
    QVERIFY(toggle->isCheckable() && toggle->isChecked());
    toggle->trigger();
    QVERIFY(!f.rig.runtime->captureBehaviorPreferences().automaticallyOpensRegionCaptureReview);

    // After start-up: Quick Captures and the welcome note.
    QMenu *destinations = menu->actions().last()->menu();
    QVERIFY(destinations);
    const QStringList texts = actionTexts(destinations);
    QCOMPARE(texts.first(), QStringLiteral("Quick Captures"));
    QCOMPARE(texts.at(1), QStringLiteral("-"));
    destinations->actions().first()->trigger();
    QCOMPARE(f.rig.navigation().activeBoardID(), std::optional(f.view.controller().library().quickCapturesNote()->id()));

    auto *toolbar = f.view.findChild<QToolBar *>(QStringLiteral("mainToolbar"));
    QVERIFY(toolbar);
    QAction *inspector = nullptr;
    for (QAction *action : toolbar->actions()) {
        if (action->text() == u"Inspector")
            inspector = action;
    }
    QVERIFY(inspector);
    QVERIFY(!inspector->isVisible());
    f.rig.navigation().setSelectedCardIDs({QUuid::createUuid()});
    QVERIFY(inspector->isVisible());
}

void RootViewTest::coachmarkSitsBottomTrailingAndStepsBack()
{
    ScreenRegistry screens;
    QList<std::pair<GuidedTourStep, bool>> built;
    screens.registerCoachmark([&built](ScreenContext &, GuidedTourStep step, bool hasTarget, QWidget *parent) {
        built.append({step, hasTarget});
        auto *card = new QLabel(QStringLiteral("coachmark"), parent);
        card->setObjectName(QStringLiteral("coachmark"));
        card->setFixedSize(200, 100);
        return card;
    });
    Fixture f(std::move(screens));
    QVERIFY(f.show());
    f.rig.onboarding->setTourStep(GuidedTourStep::today);
    QCOMPARE(built.size(), 1);
    QCOMPARE(built.first().first, GuidedTourStep::today);
    // Start-up seeded the welcome note, which holds no snip.
    QCOMPARE(built.first().second, false);
    auto *card = f.view.findChild<QLabel *>(QStringLiteral("coachmark"));
    QVERIFY(card && card->isVisible());
    QCOMPARE(card->geometry().bottomRight() + QPoint(1, 1), QPoint(f.view.width() - 34, f.view.height() - 30));

    // A sheet sends it away; closing the sheet brings the same step back.
    f.rig.navigation().setQuickThoughtPresented(true);
    QTRY_VERIFY(!f.view.findChild<QLabel *>(QStringLiteral("coachmark")));
    f.view.sheetDialog()->reject();
    QCOMPARE(built.size(), 2);
    QCOMPARE(built.last().first, GuidedTourStep::today);

    // A first snip in the middle of the tour changes only what the last
    // step says: the card stays, and so does the keyboard focus it holds.
    Board *note = f.rig.addNote(QStringLiteral("Note"), 1);
    CanvasCard *snip = f.rig.addCard(note, CardKind::snip, 10);
    QVERIFY(f.rig.context().save());
    QVERIFY(f.view.controller().tourPreviewCardID());
    QCOMPARE(built.size(), 2);
    f.rig.onboarding->setTourStep(GuidedTourStep::snipPreview);
    QCOMPARE(built.size(), 3);
    QCOMPARE(built.last(), std::pair(GuidedTourStep::snipPreview, true));
    // On the last step the card is made again for what it now says.
    snip->moveToTrash(at(20));
    QVERIFY(f.rig.context().save());
    QCOMPARE(built.size(), 4);
    QCOMPARE(built.last(), std::pair(GuidedTourStep::snipPreview, false));
}

// The tour's ring is one look wherever it stands: a 2-point line in the
// primary colour, 4 points outside the control it points at.
void RootViewTest::tourRingStandsOutsideItsControl()
{
    AccessibilitySettings::shared().setReducesMotion(true);
    Fixture f;
    QVERIFY(f.show());
    auto *control = f.view.findChild<QWidget *>(QStringLiteral("captureControl"));
    QVERIFY(control);
    const auto isRing = [](const QImage &image, QPoint at, const QWidget *host) {
        return image.pixelColor(at) == semanticColor(SemanticColor::primary, host->palette());
    };
    // The control's own buttons sit 4 points in from the ring's outer edge.
    const QRect buttons = control->childrenRect();
    QCOMPARE(buttons, control->rect().marginsRemoved(QMargins(4, 4, 4, 4)));

    f.rig.onboarding->setTourStep(GuidedTourStep::capture);
    QImage shown = control->grab().toImage();
    QVERIFY(isRing(shown, QPoint(0, control->height() / 2), control));
    QVERIFY(isRing(shown, QPoint(control->width() / 2, 1), control));

    SidebarView *sidebar = f.view.sidebarView();
    const SidebarModel &rows = f.view.controller().sidebar();
    for (const auto &[step, destination] : {std::pair(GuidedTourStep::today, SidebarDestination::notes()),
                                            std::pair(GuidedTourStep::boards, SidebarDestination::inbox())}) {
        f.rig.onboarding->setTourStep(step);
        QVERIFY(sidebar->isVisible());
        const int row = rows.rowForDestination(destination);
        QCOMPARE(sidebar->tourRingRow(), row);
        const QRect shape = SidebarView::rowShape(sidebar->visualRect(rows.index(row)), row);
        shown = sidebar->viewport()->grab().toImage();
        // Over the row above's edge and at the row's side, outside its shape.
        QVERIFY(isRing(shown, QPoint(shape.center().x(), shape.top() - 3), sidebar));
        QVERIFY(isRing(shown, QPoint(shape.left() - 3, shape.center().y()), sidebar));
        QVERIFY(!isRing(shown, QPoint(shape.left() + 1, shape.center().y()), sidebar));
    }
    QVERIFY(!isRing(control->grab().toImage(), QPoint(0, control->height() / 2), control));

    f.rig.onboarding->completeTour();
    QCOMPARE(sidebar->tourRingOpacity(), 0.0);
    AccessibilitySettings::shared().setReducesMotion(false);
}

void RootViewTest::bringToFrontRestores()
{
    Fixture f;
    QVERIFY(f.show());
    f.view.setWindowState(Qt::WindowMinimized);
    // A sheet asked for while the window is minimised waits for the window:
    // mapped at once, the quick note called from the tray kept the window
    // minimised under a window manager, and bringing it to the front then
    // did nothing.
    f.rig.navigation().setQuickThoughtPresented(true);
    QVERIFY(!f.view.sheetDialog());
    f.view.bringToFront();
    QVERIFY(!(f.view.windowState() & Qt::WindowMinimized));
    QVERIFY(f.view.isVisible());
    QTRY_VERIFY(f.view.sheetDialog() && f.view.sheetDialog()->isVisible());
}

void RootViewTest::fileMenuReachesSettingsAndQuit()
{
    // With no tray these are the only ways to settings and out of the app.
    Fixture f;
    QVERIFY(f.show());
    QAction *settings = nullptr;
    QAction *quit = nullptr;
    for (QAction *menu : f.view.menuBar()->actions()) {
        if (!menu->menu())
            continue;
        for (QAction *action : menu->menu()->actions()) {
            if (action->text().startsWith(QStringLiteral("Settings")))
                settings = action;
            if (action->text() == QStringLiteral("Quit Tessaline"))
                quit = action;
        }
    }
    QVERIFY(settings && quit);
    QCOMPARE(settings->shortcut(), QKeySequence(QStringLiteral("Ctrl+,")));
    // A menu shows the text after a tab as the item's shortcut, else the
    // key sequence in Qt's words ("Meta+Ctrl+4"): the capture command shows
    // the shortcut as the tray and the settings do.
    QAction *capture = nullptr;
    for (QAction *action : f.view.menuBar()->actions().first()->menu()->actions()) {
        if (action->text().startsWith(QStringLiteral("Capture Region")))
            capture = action;
    }
    QVERIFY(capture);
    const qsizetype tab = capture->text().indexOf(u'\t');
    const QString shown = tab >= 0 ? capture->text().mid(tab + 1) : capture->shortcut().toString(QKeySequence::NativeText);
    QCOMPARE(shown, QStringLiteral("Ctrl+Super+4"));
    QCOMPARE(quit->shortcut(), QKeySequence(QKeySequence::Quit));
    // Also from another of the app's windows in front, such as the gallery.
    QWidget other;
    other.setWindowTitle(QStringLiteral("Snip gallery"));
    other.show();
    other.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&other));
    // The offscreen platform binds no key to quitting; desktops bind Ctrl+Q.
    if (quit->shortcut().isEmpty())
        quit->setShortcut(QKeySequence(QStringLiteral("Ctrl+Q")));
    QSignalSpy quitting(quit, &QAction::triggered);
    QTest::keyClick(other.windowHandle(), Qt::Key_Q, Qt::ControlModifier);
    QCOMPARE(quitting.count(), 1);
    QSignalSpy requested(&f.view, &RootView::settingsRequested);
    settings->trigger();
    QCOMPARE(requested.count(), 1);
}

void RootViewTest::defaultFrameFitsTheScreen_data()
{
    QTest::addColumn<QRect>("available");
    QTest::addColumn<QRect>("expected");
    QTest::newRow("roomy screen: centred at its own size") << QRect(0, 0, 1920, 1080) << QRect(370, 150, 1180, 780);
    QTest::newRow("screen beside another, under a panel")
        << QRect(1920, 30, 1600, 970) << QRect(2130, 125, 1180, 780);
    QTest::newRow("short screen: cut to its height") << QRect(0, 0, 1366, 700) << QRect(93, 0, 1180, 700);
    QTest::newRow("smaller than the minimum: the minimum from the corner")
        << QRect(0, 0, 800, 560) << QRect(0, 0, 880, 580);
}

void RootViewTest::defaultFrameFitsTheScreen()
{
    QFETCH(QRect, available);
    QFETCH(QRect, expected);
    QCOMPARE(fittedWindowFrame(QSize(1180, 780), QSize(880, 580), available), expected);
}

void RootViewTest::frameComesBackOnlyWhereItCanBeSeen()
{
    QTemporaryDir dir;
    UserDefaults defaults(dir.filePath("settings.ini"));
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();

    QWidget first;
    first.setMinimumSize(200, 150);
    first.setGeometry(QRect(screen.topLeft() + QPoint(20, 30), QSize(300, 200)));
    rememberMainWindowFrame(first, defaults);
    QWidget second;
    second.setMinimumSize(200, 150);
    restoreMainWindowFrame(second, defaults);
    QCOMPARE(second.geometry(), first.geometry());

    // A screen that is gone leaves the window nowhere to be seen: it opens
    // on the screen there is instead.
    first.setGeometry(QRect(screen.bottomRight() + QPoint(4000, 4000), QSize(300, 200)));
    rememberMainWindowFrame(first, defaults);
    QWidget third;
    third.resize(300, 200);
    restoreMainWindowFrame(third, defaults);
    QVERIFY(screen.contains(third.geometry()));

    // One remembered taller than its screen is now (a smaller screen, or
    // one at a larger scale) comes back as high as the screen has room for,
    // with room above it for its title bar; across, where it fits, it stays
    // where it was.
    first.setGeometry(QRect(screen.topLeft() + QPoint(40, -20), QSize(300, screen.height() + 200)));
    rememberMainWindowFrame(first, defaults);
    QWidget fourth;
    fourth.setMinimumSize(200, 150);
    restoreMainWindowFrame(fourth, defaults);
    QCOMPARE(fourth.geometry().left(), first.geometry().left());
    QCOMPARE(fourth.width(), first.width());
    QCOMPARE(fourth.height(), roomForWindow(*QGuiApplication::primaryScreen()).height());
    QVERIFY(fourth.geometry().top() > screen.top());
    QVERIFY(screen.contains(fourth.geometry()));
}

void RootViewTest::windowNeverCutsItsColumns()
{
    // A notes screen as wide as the real one at its narrowest (list and
    // note), beside the inspector at its own narrowest.
    ScreenRegistry screens;
    QPointer<QWidget> notes;
    screens.registerDetail(DetailScreen::Kind::notesWorkspace,
                           [&notes](ScreenContext &, const DetailScreen &, QWidget *parent) {
                               notes = new QLabel(QStringLiteral("notes"), parent);
                               notes->setMinimumWidth(750);
                               return notes.data();
                           });
    Fixture f(std::move(screens));
    QVERIFY(f.show());
    f.view.resize(f.view.minimumSize());
    QVERIFY(notes);
    QTRY_VERIFY(notes->width() >= notes->minimumWidth());

    // The inspector joins: the window widens rather than cut either off.
    f.rig.navigation().setInspectorPresented(true);
    auto *standIn = f.view.findChild<StudioEmptyState *>();
    QVERIFY(standIn);
    const QWidget *inspector = standIn->parentWidget(); // the inspector's column
    const auto rightEdge = [&f](const QWidget *widget) { return widget->mapTo(&f.view, QPoint(widget->width(), 0)).x(); };
    QTRY_VERIFY2(notes->width() >= notes->minimumWidth() && rightEdge(notes) <= inspector->mapTo(&f.view, QPoint()).x()
                     && rightEdge(inspector) <= f.view.width(),
                 qPrintable(QStringLiteral("notes %1 wide, inspector ends at %2, in a window %3 wide")
                                .arg(notes->width())
                                .arg(rightEdge(inspector))
                                .arg(f.view.width())));

    // Without it the window may be as narrow as before.
    f.rig.navigation().setInspectorPresented(false);
    QTRY_COMPARE(f.view.minimumSize(), QSize(880, 580));

    // Columns wider than the screen ask for no more than the screen, the
    // window's frame included.
    notes->setMinimumWidth(5000);
    const QSize screen = f.view.screen()->availableGeometry().size();
    const int frame = f.view.frameGeometry().width() - f.view.width();
    QTRY_COMPARE(f.view.minimumWidth(), screen.width() - frame);
    QVERIFY(f.view.minimumHeight() <= screen.height());
}

// The app's style reads the toolbar's overflow icon only when it is shown;
// what it shows is the style's own, at any screen ratio, either way round.
void RootViewTest::overflowIconIsTheStylesOwn()
{
    const QString name = QApplication::style()->name();
    DeferredIconStyle deferring(name);
    const std::unique_ptr<QStyle> plain(QStyleFactory::create(name));
    QVERIFY(plain);
    for (const QStyle::StandardPixmap which :
         {QStyle::SP_ToolBarHorizontalExtensionButton, QStyle::SP_ToolBarVerticalExtensionButton}) {
        for (const Qt::LayoutDirection direction : {Qt::LeftToRight, Qt::RightToLeft}) {
            QStyleOption option;
            option.direction = direction;
            const QIcon shown = deferring.standardIcon(which, &option);
            const QIcon own = plain->standardIcon(which, &option);
            QVERIFY(!own.isNull() && !shown.isNull());
            QCOMPARE(shown.availableSizes(), own.availableSizes());
            QCOMPARE(shown.actualSize(QSize(64, 64)), own.actualSize(QSize(64, 64)));
            for (const int side : {8, 16}) {
                for (const qreal ratio : {1.0, 2.0}) {
                    const QPixmap pixmap = shown.pixmap(QSize(side, side), ratio);
                    const QPixmap ownPixmap = own.pixmap(QSize(side, side), ratio);
                    QCOMPARE(pixmap.deviceIndependentSize(), ownPixmap.deviceIndependentSize());
                    QCOMPARE(pixmap.toImage(), ownPixmap.toImage());
                }
            }
        }
    }
}

QTEST_MAIN(RootViewTest)
#include "tst_rootview.moc"

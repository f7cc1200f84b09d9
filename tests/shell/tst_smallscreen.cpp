#include "../support/MainWindowRig.h"
#include "../support/OffscreenScreen.h"
#include "../support/PngBytes.h"

#include "runtime/UpdateService.h"
#include "shell/EveryScreen.h"
#include "shell/MainWindowFrame.h"
#include "shell/RootView.h"
#include "shell/RootViewController.h"

#include <QDialog>
#include <QLayout>
#include <QScreen>
#include <QTest>

#include <functional>
#include <memory>

using namespace tessaline;
using namespace tessaline::testing;

namespace {

// Room a window manager's title bar takes above a window at twice the scale.
constexpr int titleBarRoom = 40;

struct Fixture
{
    Fixture()
        : view(*rig.runtime, updates, everyScreen())
    {
        note = rig.addNote(QStringLiteral("Reading list"));
        snip = addCard(rig.context(), note->id(),
                       CardFields{.kind = CardKind::snip, .image = pngOf(Qt::darkCyan, QSize(1600, 1000))});
        thought = addCard(rig.context(), note->id(),
                          CardFields{.kind = CardKind::thought, .title = QStringLiteral("Why the cache misses")});
    }

    MainWindowRig rig;
    UpdateService updates;
    RootView view;
    Board *note = nullptr;
    CanvasCard *snip = nullptr;
    CanvasCard *thought = nullptr;
};

using Opening = std::function<void(Fixture &)>;

// Where a window stands whole on the screen, with a title bar above it: its
// size, and the least size its contents ask for, which would otherwise
// overlap in a window held smaller.
QString offScreen(const QWidget *window)
{
    const QSize room = window->screen()->availableGeometry().size() - QSize(0, titleBarRoom);
    const QSize least = window->minimumSizeHint().expandedTo(window->minimumSize());
    const QSize shown = window->size();
    if (least.width() <= room.width() && least.height() <= room.height() && shown.width() <= room.width()
        && shown.height() <= room.height())
        return QString();
    return QStringLiteral("%1x%2, at least %3x%4, on a screen with room for %5x%6")
        .arg(shown.width())
        .arg(shown.height())
        .arg(least.width())
        .arg(least.height())
        .arg(room.width())
        .arg(room.height());
}

} // namespace

Q_DECLARE_METATYPE(Opening)

class SmallScreenTest : public QObject
{
    Q_OBJECT
public:
    // A 1920 by 1080 display at twice the scale.
    static void initMain()
    {
        useOffscreenScreen(960, 540);
    }

private Q_SLOTS:
    void mainWindowOpensWhole();
    void mainWindowWideningForItsColumnsStaysWhole();
    void sheetsStayOnTheScreen_data();
    void sheetsStayOnTheScreen();
    void settingsStaysOnTheScreen();
};

void SmallScreenTest::mainWindowOpensWhole()
{
    Fixture f;
    restoreMainWindowFrame(f.view, *f.rig.defaults);
    f.view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.view));
    // Frame and all, as the window manager shows it.
    const QRect screen = f.view.screen()->availableGeometry();
    const QRect frame = f.view.frameGeometry();
    QVERIFY2(screen.contains(frame), qPrintable(QStringLiteral("%1x%2 at %3,%4 on %5x%6")
                                                     .arg(frame.width())
                                                     .arg(frame.height())
                                                     .arg(frame.x())
                                                     .arg(frame.y())
                                                     .arg(screen.width())
                                                     .arg(screen.height())));
}

// The sidebar, a note's map and the inspector together ask for more than
// the screen's width: the window takes the whole width and no more, and
// stays on the screen, frame and all.
void SmallScreenTest::mainWindowWideningForItsColumnsStaysWhole()
{
    Fixture f;
    restoreMainWindowFrame(f.view, *f.rig.defaults);
    f.view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.view));
    f.view.controller().setSidebarVisible(true);
    f.rig.navigation().setActiveBoardID(f.note->id());
    f.rig.navigation().setSelectedCardIDs({f.snip->id()});
    f.rig.navigation().setInspectorPresented(true);
    // The columns have widened the window past its own least width.
    QTRY_VERIFY(f.view.minimumWidth() > 880);
    const QRect screen = f.view.screen()->availableGeometry();
    QTRY_VERIFY2(screen.contains(f.view.frameGeometry()),
                 qPrintable(QStringLiteral("%1x%2 at %3,%4, at least %5 wide")
                                .arg(f.view.frameGeometry().width())
                                .arg(f.view.frameGeometry().height())
                                .arg(f.view.frameGeometry().x())
                                .arg(f.view.frameGeometry().y())
                                .arg(f.view.minimumWidth())));
}

void SmallScreenTest::sheetsStayOnTheScreen_data()
{
    QTest::addColumn<Opening>("open");
    QTest::newRow("snip gallery") << Opening([](Fixture &f) { f.rig.navigation().setGalleryCardID(f.snip->id()); });
    QTest::newRow("focus editor") << Opening([](Fixture &f) { f.rig.navigation().setFocusedCardID(f.thought->id()); });
    QTest::newRow("capture review")
        << Opening([](Fixture &f) { f.rig.navigation().setCaptureReviewCardID(f.snip->id()); });
    QTest::newRow("frame composer")
        << Opening([](Fixture &f) { f.rig.navigation().setFrameComposerCardID(f.snip->id()); });
    QTest::newRow("quick thought") << Opening([](Fixture &f) { f.rig.navigation().setQuickThoughtPresented(true); });
    QTest::newRow("new note") << Opening([](Fixture &f) { f.view.controller().setShowingNewBoard(true); });
    QTest::newRow("assistant") << Opening([](Fixture &f) {
        f.rig.navigation().setAskSuggestion(AskSuggestionRequest{f.note->id(), {f.thought->id()}});
    });
    QTest::newRow("first run") << Opening([](Fixture &f) { f.rig.onboarding->setOnboardingPresented(true); });
}

void SmallScreenTest::sheetsStayOnTheScreen()
{
    QFETCH(Opening, open);
    Fixture f;
    f.view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.view));
    QVERIFY(!f.view.sheetDialog());
    open(f);
    QTRY_VERIFY(f.view.sheetDialog() && f.view.sheetDialog()->isVisible());
    QDialog *sheet = f.view.sheetDialog();
    QVERIFY(QTest::qWaitForWindowExposed(sheet));
    const QString fault = offScreen(sheet);
    QVERIFY2(fault.isEmpty(), qPrintable(fault));
}

void SmallScreenTest::settingsStaysOnTheScreen()
{
    MainWindowRig rig;
    UpdateService updates;
    const std::unique_ptr<QWidget> settings(everyScreen().makeSettings(*rig.runtime, updates));
    QVERIFY(settings);
    settings->show();
    QVERIFY(QTest::qWaitForWindowExposed(settings.get()));
    const QString fault = offScreen(settings.get());
    QVERIFY2(fault.isEmpty(), qPrintable(fault));
}

QTEST_MAIN(SmallScreenTest)
#include "tst_smallscreen.moc"

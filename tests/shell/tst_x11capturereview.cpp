// A region capture on the real X server, from the overlay to the review the
// main window opens for it: the review must be what the screen shows, with
// or without a window manager keeping it above the main window.
#include "../capture/X11TestSupport.h"
#include "../support/MainWindowRig.h"
#include "../support/X11WindowManager.h"

#include "imaging/CaptureReviewView.h"
#include "imaging/AnnotationEditorView.h"
#include "imaging/ImagingScreens.h"
#include "runtime/ScreenRegistry.h"
#include "runtime/UpdateService.h"
#include "shell/RootView.h"
#include "shell/ShellWindowing.h"

#include <QApplication>
#include <QScreen>
#include <QTest>

using namespace tessaline;
using namespace tessaline::testing;
using namespace tessaline::x11test;

namespace {

// Nothing else on screen has this colour, so seeing it means seeing the snip.
const QColor frozenColour(200, 100, 50);

QString number(int value)
{
    return QString::number(value);
}

} // namespace

class X11CaptureReviewTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void reviewIsOnScreenAndTakesTheKeys_data();
    void reviewIsOnScreenAndTakesTheKeys();
};

void X11CaptureReviewTest::initTestCase()
{
    const auto x11 = X11Connection::application();
    if (!x11)
        QSKIP("needs an X11 display");
    // The rows choose the window manager themselves.
    QVERIFY(!x11->windowProperty(x11->root, "_NET_SUPPORTING_WM_CHECK"));
}

void X11CaptureReviewTest::reviewIsOnScreenAndTakesTheKeys_data()
{
    QTest::addColumn<bool>("managed");
    QTest::newRow("no window manager") << false;
    QTest::newRow("openbox") << true;
}

void X11CaptureReviewTest::reviewIsOnScreenAndTakesTheKeys()
{
    QFETCH(bool, managed);
    X11WindowManager windowManager;
    if (managed)
        QVERIFY(windowManager.start(*X11Connection::application()));

    MainWindowRig rig;
    UpdateService updates;
    ScreenRegistry screens;
    imaging::registerScreens(screens);
    RootView view(*rig.runtime, updates, std::move(screens));
    ShellWindowing windowing(*rig.runtime, view);
    rig.runtime->setWindowing(&windowing);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));

    rig.runtime->captureRegion();
    QTRY_COMPARE(rig.display->displayRequests, 1);
    rig.display->finishDisplay(frozenScreen(frozenColour));
    QTRY_VERIFY(rig.runtime->captureCoordinator().overlayController());
    const auto *overlay = static_cast<RegionSelectionOverlayController *>(
        rig.runtime->captureCoordinator().overlayController());
    QTRY_VERIFY_WITH_TIMEOUT(overlay->hasInputGrab(), 5000);
    QVERIFY(xdotool({QStringLiteral("mousemove"), number(200), number(150), QStringLiteral("mousedown"), number(1),
                     QStringLiteral("mousemove"), number(500), number(350), QStringLiteral("mousemove"), number(800),
                     number(550), QStringLiteral("mouseup"), number(1)}));

    CaptureReviewView *review = nullptr;
    QTRY_VERIFY_WITH_TIMEOUT((review = qobject_cast<CaptureReviewView *>(view.sheetDialog())) && review->isVisible(),
                             10000);
    QTRY_VERIFY_WITH_TIMEOUT(review->editor(), 10000);
    // Read back from the screen, not from the review's own buffer: the
    // middle of its editor shows the snip, so nothing covers the review.
    const QRect editor(review->editor()->mapToGlobal(QPoint(0, 0)), review->editor()->size());
    const QRect middle(editor.center() - QPoint(10, 10), QSize(20, 20));
    QTRY_VERIFY_WITH_TIMEOUT(screenShows(middle, frozenColour), 10000);
    // And the keys go to the review, which they unblock, not to the main
    // window under it.
    QTRY_COMPARE(QApplication::activeWindow(), review);
}

QTEST_MAIN(X11CaptureReviewTest)
#include "tst_x11capturereview.moc"

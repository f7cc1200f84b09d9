#include "X11TestSupport.h"

#include "capture/RegionSelectionOverlay.h"

#include <QApplication>
#include <QPaintEvent>
#include <QPointer>
#include <QScreen>
#include <QTimer>

#include <xcb/xcb.h>

#include <cstdlib>

using namespace tessaline;
using namespace tessaline::x11test;

namespace {

const QColor frozenColour(200, 100, 50);

struct Overlay
{
    explicit Overlay(const FrozenDisplayCapture &capture = frozenScreen(frozenColour))
        : controller(capture, [this](const RegionSelectionOutcome &outcome) { outcomes.append(outcome); })
    {
    }
    bool begin()
    {
        controller.begin();
        return QTest::qWaitFor([this] { return controller.hasInputGrab(); }, 5000);
    }
    RegionSelectionOverlayController controller;
    QList<RegionSelectionOutcome> outcomes;
};

QImage screenNow()
{
    X11DisplayCapture capture(*X11Connection::application());
    return capture.grabRoot(QGuiApplication::primaryScreen()->geometry()).value();
}

// The area each paint of the region view covers, in paint order, and
// where the overlay window was each time it was shown.
class PaintedAreas : public QObject
{
public:
    bool eventFilter(QObject *receiver, QEvent *event) override
    {
        if (event->type() == QEvent::Show && qobject_cast<CaptureOverlayWindow *>(receiver))
            shownAt.append(static_cast<QWidget *>(receiver)->geometry());
        if (event->type() == QEvent::Paint && qobject_cast<RegionSelectionView *>(receiver)) {
            qint64 area = 0;
            for (const QRect &rect : static_cast<QPaintEvent *>(event)->region())
                area += qint64(rect.width()) * rect.height();
            areas.append(area);
        }
        return false;
    }
    QList<qint64> areas;
    QList<QRect> shownAt;
};

// Whether another client could take the pointer now.
bool pointerFreeForOthers()
{
    xcb_connection_t *other = xcb_connect(nullptr, nullptr);
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(other)).data->root;
    xcb_grab_pointer_reply_t *reply = xcb_grab_pointer_reply(
        other,
        xcb_grab_pointer(other, false, root, 0, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC, XCB_NONE, XCB_NONE,
                         XCB_CURRENT_TIME),
        nullptr);
    const bool free = reply && reply->status == XCB_GRAB_STATUS_SUCCESS;
    std::free(reply);
    xcb_disconnect(other);
    return free;
}

bool isMapped(const QWidget *window)
{
    const auto x11 = X11Connection::application();
    xcb_get_window_attributes_reply_t *attributes = xcb_get_window_attributes_reply(
        x11->connection, xcb_get_window_attributes(x11->connection, xcb_window_t(window->winId())), nullptr);
    const bool mapped = attributes && attributes->map_state != XCB_MAP_STATE_UNMAPPED;
    std::free(attributes);
    return mapped;
}

QString number(int value)
{
    return QString::number(value);
}

} // namespace

class X11RegionOverlayTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    // First, while no overlay window is kept from an earlier selection.
    void preparedOverlayStaysHiddenAndPaintsTheScreenOnce();
    void dragSelectsARectangle();
    void overlayIsPaintedAsSpecified();
    void cancellations_data();
    void cancellations();
    void clickWithoutDragKeepsTheOverlay();
    void unknownDisplayCancelsAtOnce();
    void hotKeyToRegionCaptureEndToEnd();
};

void X11RegionOverlayTest::initTestCase()
{
    if (!X11Connection::application())
        QSKIP("needs an X11 display");
}

void X11RegionOverlayTest::dragSelectsARectangle()
{
    Overlay overlay;
    QList<QRectF> told;
    bool upWhenTold = false;
    overlay.controller.onSelected = [&](const QRectF &rect) {
        told.append(rect);
        upWhenTold = overlay.controller.overlayWindow() && overlay.controller.overlayWindow()->isVisible()
            && overlay.outcomes.isEmpty();
    };
    QVERIFY(overlay.begin());
    QVERIFY(overlay.controller.overlayWindow()->isVisible());
    QCOMPARE(overlay.controller.overlayWindow()->geometry(), QGuiApplication::primaryScreen()->geometry());
    const QPointer<QWidget> window = overlay.controller.overlayWindow();
    const WId native = window->internalWinId();
    QVERIFY(xdotool({QStringLiteral("mousemove"), number(100), number(120), QStringLiteral("mousedown"), number(1),
                     QStringLiteral("mousemove"), number(200), number(180), QStringLiteral("mousemove"), number(300),
                     number(250), QStringLiteral("mouseup"), number(1)}));
    QTRY_COMPARE(overlay.outcomes.size(), 1);
    QVERIFY(!overlay.outcomes.first().isCancelled);
    QCOMPARE(overlay.outcomes.first().rect, QRectF(100, 120, 200, 130));
    // Told of once, before the overlay came down and before the outcome.
    QCOMPARE(told, QList<QRectF>{QRectF(100, 120, 200, 130)});
    QVERIFY(upWhenTold);
    QVERIFY(!overlay.controller.overlayWindow());
    // Down, but kept for the next selection with its native window and
    // backing store.
    QVERIFY(window && !window->isVisible() && !isMapped(window));
    QCOMPARE(window->internalWinId(), native);
    // The pointer is free for others as soon as the overlay is down.
    QVERIFY(pointerFreeForOthers());
    // Escape after the end delivers nothing more.
    QVERIFY(xdotool({QStringLiteral("key"), QStringLiteral("Escape")}));
    QVERIFY(earlierEventsHandled());
    QCOMPARE(overlay.outcomes.size(), 1);

    // A selection begun at once, in the same window, keeps the pointer after
    // the last one's release has been tidied up.
    bool tidied = false;
    QTimer::singleShot(RegionSelectionOverlayController::pointerReleaseDelayMs, [&tidied] { tidied = true; });
    Overlay next;
    QVERIFY(next.begin());
    QCOMPARE(next.controller.overlayWindow(), window.data());
    QTRY_VERIFY_WITH_TIMEOUT(tidied, 10000);
    QVERIFY(!pointerFreeForOthers());
    next.controller.finish(RegionSelectionOutcome::cancelled());
    QVERIFY(pointerFreeForOthers());
}

void X11RegionOverlayTest::overlayIsPaintedAsSpecified()
{
    Overlay overlay;
    QVERIFY(overlay.begin());
    QVERIFY(xdotool({QStringLiteral("mousemove"), number(400), number(300), QStringLiteral("mousedown"), number(1),
                     QStringLiteral("mousemove"), number(600), number(450), QStringLiteral("mousemove"), number(800),
                     number(600)}));
    // Drawn once the pointer has reached the far corner: the picture shows
    // undimmed there, and the edge is up.
    QTRY_VERIFY(screenShows(QRect(790, 590, 4, 4), frozenColour) && screenShows(QRect(400, 450, 1, 1), Qt::white));
    const QImage screen = screenNow();
    // Inside the selection the frozen picture shows as it is; outside it is
    // dimmed by black at 34 %; the edge is white.
    QCOMPARE(QColor(screen.pixel(600, 450)), frozenColour);
    const QColor dimmed(screen.pixel(1200, 900));
    QVERIFY(qAbs(dimmed.red() - 132) <= 2 && qAbs(dimmed.green() - 66) <= 2 && qAbs(dimmed.blue() - 33) <= 2);
    QCOMPARE(QColor(screen.pixel(400, 450)), QColor(Qt::white));
    // The size label sits below the selection, with the size in it.
    const QColor label(screen.pixel(410, 615));
    QVERIFY(label.red() < 60);

    // Grown and then shrunk, the selection is drawn again only where it
    // changed (the inside it kept is not), and the screen shows the new
    // selection: what left it is dimmed again, the old edge and label gone.
    const auto dimmedAt = [](const QImage &shot, int x, int y) {
        const QColor colour(shot.pixel(x, y));
        return qAbs(colour.red() - 132) <= 2 && qAbs(colour.green() - 66) <= 2 && qAbs(colour.blue() - 33) <= 2;
    };
    PaintedAreas painted;
    qApp->installEventFilter(&painted);
    QVERIFY(xdotool({QStringLiteral("mousemove"), number(820), number(630)}));
    QTRY_VERIFY(screenShows(QRect(810, 620, 8, 8), frozenColour));
    QVERIFY(xdotool({QStringLiteral("mousemove"), number(790), number(590)}));
    QTRY_VERIFY(screenShows(QRect(400, 450, 1, 1), Qt::white) && dimmedAt(screenNow(), 795, 595));
    qApp->removeEventFilter(&painted);
    const qint64 selectionArea = 400 * 300;
    for (const qint64 area : std::as_const(painted.areas))
        QVERIFY2(area < selectionArea / 3, qPrintable(QString::number(area)));
    const QImage shrunk = screenNow();
    QCOMPARE(QColor(shrunk.pixel(780, 580)), frozenColour);
    for (const QPoint dimmed : {QPoint(810, 620), QPoint(799, 450), QPoint(600, 599), QPoint(410, 645)})
        QVERIFY2(dimmedAt(shrunk, dimmed.x(), dimmed.y()), qPrintable(QStringLiteral("%1,%2").arg(dimmed.x()).arg(dimmed.y())));

    QVERIFY(xdotool({QStringLiteral("mouseup"), number(1)}));
    QTRY_COMPARE(overlay.outcomes.size(), 1);
    QCOMPARE(overlay.outcomes.first().rect, QRectF(400, 300, 390, 290));
}

void X11RegionOverlayTest::cancellations_data()
{
    QTest::addColumn<QStringList>("input"); // empty: the window is closed
    QTest::newRow("Escape") << QStringList{QStringLiteral("key"), QStringLiteral("Escape")};
    QTest::newRow("right click") << QStringList{QStringLiteral("click"), QStringLiteral("3")};
    QTest::newRow("window closed") << QStringList{};
}

void X11RegionOverlayTest::cancellations()
{
    QFETCH(QStringList, input);
    Overlay overlay;
    int told = 0;
    overlay.controller.onSelected = [&](const QRectF &) { ++told; };
    QVERIFY(overlay.begin());
    if (input.isEmpty())
        overlay.controller.overlayWindow()->close();
    else
        QVERIFY(xdotool(input));
    QTRY_COMPARE(overlay.outcomes.size(), 1);
    QVERIFY(overlay.outcomes.first().isCancelled);
    QCOMPARE(told, 0);
    QVERIFY(xdotool({QStringLiteral("key"), QStringLiteral("Escape")}));
    QVERIFY(earlierEventsHandled());
    QCOMPARE(overlay.outcomes.size(), 1);
}

void X11RegionOverlayTest::clickWithoutDragKeepsTheOverlay()
{
    Overlay overlay;
    QVERIFY(overlay.begin());
    // Within the smallest screen an X server is started with (xvfb-run's
    // 640×480), so the test holds wherever it runs.
    QVERIFY(xdotool({QStringLiteral("mousemove"), number(300), number(200), QStringLiteral("click"), number(1)}));
    QVERIFY(earlierEventsHandled());
    QVERIFY(overlay.outcomes.isEmpty());
    QVERIFY(overlay.controller.overlayWindow()->isVisible());
    QCOMPARE(overlay.controller.view()->model().pointerLocation(), std::optional<QPointF>(QPointF(300, 200)));
    // The guides cross at the click, and run to the screen's edge.
    const QImage screen = screenNow();
    QVERIFY(QColor(screen.pixel(screen.width() - 20, 200)).red() > 150);
    QVERIFY(xdotool({QStringLiteral("key"), QStringLiteral("Escape")}));
    QTRY_COMPARE(overlay.outcomes.size(), 1);
}

void X11RegionOverlayTest::unknownDisplayCancelsAtOnce()
{
    FrozenDisplayCapture capture = frozenScreen(frozenColour);
    capture.target.displayID = 0xfffffff0u;
    Overlay overlay(capture);
    overlay.controller.begin();
    QCOMPARE(overlay.outcomes.size(), 1);
    QVERIFY(overlay.outcomes.first().isCancelled);
    QVERIFY(!overlay.controller.overlayWindow());
}

void X11RegionOverlayTest::preparedOverlayStaysHiddenAndPaintsTheScreenOnce()
{
    CaptureRig rig;
    const QColor colour(0x20, 0xa0, 0x60);
    const QRect geometry(100, 100, 200, 150);
    auto window = colouredWindow(geometry, colour);
    QTRY_VERIFY(screenShows(geometry, colour));

    // As the app does once it is idle: the overlay window is made, and
    // nothing of it reaches the screen.
    PaintedAreas painted;
    qApp->installEventFilter(&painted);
    rig.coordinator.prepareForFirstCapture();
    const QRect desktop = QGuiApplication::primaryScreen()->virtualGeometry();
    for (const QRect &shown : std::as_const(painted.shownAt))
        QVERIFY(!shown.intersects(desktop));
    QPointer<QWidget> prepared;
    for (QWidget *topLevel : QApplication::topLevelWidgets()) {
        if (qobject_cast<CaptureOverlayWindow *>(topLevel))
            prepared = topLevel;
    }
    QVERIFY(prepared);
    QVERIFY(earlierEventsHandled());
    QVERIFY(!prepared->isVisible());
    QVERIFY(!isMapped(prepared));
    QVERIFY(screenShows(geometry, colour));

    QVERIFY(painted.areas.isEmpty());
    rig.coordinator.beginCapture(CaptureMode::region);
    QTRY_COMPARE(rig.coordinator.state().kind(), CaptureCoordinatorState::Kind::selectingRegion);
    auto *overlay = qobject_cast<RegionSelectionOverlayController *>(rig.coordinator.overlayController());
    QVERIFY(overlay);
    QCOMPARE(overlay->overlayWindow(), prepared.data());
    QTRY_VERIFY(overlay->hasInputGrab() && prepared->isActiveWindow());
    QTRY_VERIFY(screenShows(geometry.adjusted(10, 10, -10, -10), QColor(21, 105, 63)));
    // Showing, activation and focus cost no second screenful.
    QVERIFY(earlierEventsHandled());
    const qint64 screen = qint64(prepared->width()) * prepared->height();
    QCOMPARE(painted.areas.value(0), screen);
    for (qsizetype i = 1; i < painted.areas.size(); ++i)
        QVERIFY2(painted.areas.at(i) < screen / 10, qPrintable(QString::number(painted.areas.at(i))));
    // The pointer moving repaints the strips of the two guides only.
    const qsizetype before = painted.areas.size();
    QVERIFY(xdotool({QStringLiteral("mousemove"), number(500), number(400)}));
    QTRY_COMPARE(overlay->view()->model().pointerLocation(), std::optional<QPointF>(QPointF(500, 400)));
    QTRY_VERIFY(painted.areas.size() > before);
    for (qsizetype i = before; i < painted.areas.size(); ++i)
        QVERIFY(painted.areas.at(i) < screen / 10);
    qApp->removeEventFilter(&painted);
    QVERIFY(xdotool({QStringLiteral("key"), QStringLiteral("Escape")}));
    QTRY_COMPARE(rig.cancellations, 1);
}

void X11RegionOverlayTest::hotKeyToRegionCaptureEndToEnd()
{
    CaptureRig rig;
    CaptureCoordinator &coordinator = rig.coordinator;
    QList<CaptureResult> results;
    coordinator.onCaptureCompleted = [&](const CaptureResult &result) { results.append(result); };
    QCOMPARE(coordinator.permissionState(), ScreenCapturePermissionState::authorized);
    QVERIFY(coordinator.enableHotKeys());

    const QColor colour(0x10, 0x80, 0xf0);
    const QRect geometry(700, 500, 300, 200);
    auto window = colouredWindow(geometry, colour);
    QTRY_VERIFY(screenShows(geometry, colour));

    QVERIFY(xdotool({QStringLiteral("mousemove"), number(50), number(50)}));
    QVERIFY(xdotool({QStringLiteral("key"), QStringLiteral("ctrl+super+4")}));
    QTRY_COMPARE(coordinator.state().kind(), CaptureCoordinatorState::Kind::selectingRegion);
    auto *overlay = qobject_cast<RegionSelectionOverlayController *>(coordinator.overlayController());
    QVERIFY(overlay);
    QTRY_VERIFY(overlay->hasInputGrab());
    QVERIFY(xdotool({QStringLiteral("mousemove"), number(750), number(550), QStringLiteral("mousedown"), number(1),
                     QStringLiteral("mousemove"), number(800), number(600), QStringLiteral("mousemove"), number(850),
                     number(620), QStringLiteral("mouseup"), number(1)}));
    QTRY_COMPARE(results.size(), 1);
    QCOMPARE(coordinator.state().kind(), CaptureCoordinatorState::Kind::idle);
    const CaptureResult &result = results.first();
    QCOMPARE(result.mode, CaptureMode::region);
    QCOMPARE(result.selectionRectInDisplay, QRectF(750, 550, 100, 70));
    const int screenHeight = QGuiApplication::primaryScreen()->geometry().height();
    QCOMPARE(result.selectionRectOnScreen, QRectF(750, screenHeight - 620, 100, 70));
    QCOMPARE(result.image.size(), QSize(100, 70));
    // The frozen picture, not the dimmed overlay, is what was cut out.
    for (const QPoint p : {QPoint(0, 0), QPoint(99, 69), QPoint(50, 35)})
        QCOMPARE(QColor(result.image.pixel(p)), colour);

    // The next selection comes up on the window the first one left.
    QVERIFY(xdotool({QStringLiteral("key"), QStringLiteral("ctrl+super+4")}));
    QTRY_COMPARE(coordinator.state().kind(), CaptureCoordinatorState::Kind::selectingRegion);
    overlay = qobject_cast<RegionSelectionOverlayController *>(coordinator.overlayController());
    QVERIFY(overlay);
    QTRY_VERIFY(overlay->hasInputGrab() && overlayShown(*X11Connection::application()));
    QVERIFY(xdotool({QStringLiteral("mousemove"), number(720), number(520), QStringLiteral("mousedown"), number(1),
                     QStringLiteral("mousemove"), number(760), number(560), QStringLiteral("mouseup"), number(1)}));
    QTRY_COMPARE(results.size(), 2);
    QCOMPARE(results.last().selectionRectInDisplay, QRectF(720, 520, 40, 40));
    QCOMPARE(QColor(results.last().image.pixel(20, 20)), colour);
}

QTEST_MAIN(X11RegionOverlayTest)
#include "tst_x11regionoverlay.moc"

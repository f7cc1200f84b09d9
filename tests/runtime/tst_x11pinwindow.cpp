#include "../support/X11WindowManager.h"

#include "platform/PlatformFactory.h"
#include "platform/Pasteboard.h"
#include "platform/X11Connection.h"
#include "runtime/PinWindowController.h"
#include "runtime/PinnedImageView.h"

#include <QApplication>
#include <QMouseEvent>
#include <QProcess>
#include <QScreen>
#include <QTest>

#include <xcb/xcb.h>

#include <cstdlib>

using namespace tessaline;
using namespace tessaline::testing;

namespace {

class NullPasteboard : public Pasteboard
{
public:
    void clearContents() override {}
    void declareTypes(const QStringList &) override {}
    bool setData(const QByteArray &, const QString &) override { return true; }
};

bool xdotool(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral("xdotool"), arguments);
    return process.waitForFinished(10000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

bool isViewable(const X11Connection &x11, xcb_window_t window)
{
    xcb_get_window_attributes_reply_t *reply =
        xcb_get_window_attributes_reply(x11.connection, xcb_get_window_attributes(x11.connection, window), nullptr);
    const bool viewable = reply && reply->map_state == XCB_MAP_STATE_VIEWABLE;
    std::free(reply);
    return viewable;
}

// The window's size as the X server has it, whatever Qt has heard yet.
QSize serverSize(const X11Connection &x11, xcb_window_t window)
{
    xcb_get_geometry_reply_t *reply =
        xcb_get_geometry_reply(x11.connection, xcb_get_geometry(x11.connection, window), nullptr);
    const QSize size = reply ? QSize(reply->width, reply->height) : QSize();
    std::free(reply);
    return size;
}

// Where the window's top left lies on the screen, as the X server has it.
QPoint serverPosition(const X11Connection &x11, xcb_window_t window)
{
    xcb_translate_coordinates_reply_t *reply = xcb_translate_coordinates_reply(
        x11.connection, xcb_translate_coordinates(x11.connection, window, x11.root, 0, 0), nullptr);
    const QPoint position = reply ? QPoint(reply->dst_x, reply->dst_y) : QPoint(-1, -1);
    std::free(reply);
    return position;
}

// Bottom to top, as the window manager stacks its clients.
QList<xcb_window_t> stacking(const X11Connection &x11)
{
    QList<xcb_window_t> windows;
    if (const auto bytes = x11.property(x11.root, x11.atom("_NET_CLIENT_LIST_STACKING"), XCB_ATOM_WINDOW)) {
        const auto *ids = reinterpret_cast<const xcb_window_t *>(bytes->constData());
        for (qsizetype i = 0; i < bytes->size() / qsizetype(sizeof(xcb_window_t)); ++i)
            windows.append(ids[i]);
    }
    return windows;
}

// The WM_NORMAL_HINTS aspect bounds (smallest, largest), when set.
std::optional<std::pair<QSize, QSize>> aspect(const X11Connection &x11, xcb_window_t window)
{
    const auto bytes = x11.property(window, XCB_ATOM_WM_NORMAL_HINTS, XCB_ATOM_WM_SIZE_HINTS, 18);
    if (!bytes || bytes->size() < qsizetype(18 * sizeof(quint32)))
        return std::nullopt;
    const auto *hints = reinterpret_cast<const quint32 *>(bytes->constData());
    if (!(hints[0] & (1 << 7)))
        return std::nullopt;
    return std::pair(QSize(int(hints[11]), int(hints[12])), QSize(int(hints[13]), int(hints[14])));
}

// A left-button drag inside the pin, from `from` by `offset`.
void drag(QWidget *pin, const QPoint &from, const QPoint &offset)
{
    QTest::mousePress(pin, Qt::LeftButton, {}, from);
    const QPointF to(from + offset);
    QMouseEvent move(QEvent::MouseMove, to, pin->mapToGlobal(to), Qt::NoButton, Qt::LeftButton, {});
    QApplication::sendEvent(pin, &move);
    QTest::mouseRelease(pin, Qt::LeftButton, {}, from + offset);
}

} // namespace

class X11PinWindowTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void aPinFloatsOnEveryWorkspaceWithoutTakingFocus();
    void aPinClosedByTheWindowManagerCanBePinnedAgain();
    void aPinOpensAtItsFirstSize_data();
    void aPinOpensAtItsFirstSize();
    void gripResizeNearTheScreenEdgeStaysUnderThePointer_data();
    void gripResizeNearTheScreenEdgeStaysUnderThePointer();
    void aPinShowsOverAFocusedFullScreenWindow();
    void aPinIsSeeThroughWhileACompositingManagerRuns();

private:
    std::optional<X11Connection> m_x11;
    X11WindowManager m_windowManager;
    NullPasteboard m_pasteboard;
};

void X11PinWindowTest::initTestCase()
{
    m_x11 = X11Connection::application();
    if (!m_x11)
        QSKIP("needs an X11 display");
    QVERIFY(!m_x11->windowProperty(m_x11->root, "_NET_SUPPORTING_WM_CHECK"));
    QVERIFY(m_windowManager.start(*m_x11));
}

void X11PinWindowTest::aPinFloatsOnEveryWorkspaceWithoutTakingFocus()
{
    const X11Connection &x11 = *m_x11;
    QWidget other;
    other.setWindowTitle(QStringLiteral("Other work"));
    other.setGeometry(100, 100, 900, 700);
    other.show();
    QVERIFY(QTest::qWaitForWindowExposed(&other));
    const auto otherID = xcb_window_t(other.winId());
    QVERIFY(xdotool({QStringLiteral("windowactivate"), QString::number(otherID)}));
    QTRY_COMPARE_WITH_TIMEOUT(x11.windowProperty(x11.root, "_NET_ACTIVE_WINDOW"), std::optional(otherID), 10000);

    PinWindowController pins(PlatformFactory::floatingWindows(), m_pasteboard);
    QImage image(800, 450, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    const QUuid card = QUuid::createUuid();
    pins.pin(image, card);
    PinnedImageView *pin = pins.window(card);
    QVERIFY(QTest::qWaitForWindowExposed(pin));
    const auto pinID = xcb_window_t(pin->winId());

    // Above, on all desktops, as the window manager keeps it (this one has
    // no sticky state of its own: all desktops is how it says so).
    QTRY_VERIFY_WITH_TIMEOUT(x11.atomListProperty(pinID, "_NET_WM_STATE").contains(x11.atom("_NET_WM_STATE_ABOVE")),
                             10000);
    QTRY_COMPARE_WITH_TIMEOUT(x11.cardinalProperty(pinID, "_NET_WM_DESKTOP"), std::optional<quint32>(0xFFFFFFFF),
                              10000);
    // No taskbar or pager entry of its own.
    QVERIFY(x11.atomListProperty(pinID, "_NET_WM_STATE").contains(x11.atom("_NET_WM_STATE_SKIP_TASKBAR")));
    QVERIFY(x11.atomListProperty(pinID, "_NET_WM_STATE").contains(x11.atom("_NET_WM_STATE_SKIP_PAGER")));
    // The window manager's resizes keep the picture's proportions, 16:9.
    QTRY_VERIFY_WITH_TIMEOUT(aspect(x11, pinID).has_value(), 10000);
    QCOMPARE(aspect(x11, pinID)->first.width() * 9, aspect(x11, pinID)->first.height() * 16);
    QCOMPARE(aspect(x11, pinID)->first, aspect(x11, pinID)->second);
    // Shown without taking the focus from the window in use.
    QCOMPARE(x11.windowProperty(x11.root, "_NET_ACTIVE_WINDOW"), std::optional(otherID));

    // The other window raised and active again: the pin stays above it.
    QVERIFY(xdotool({QStringLiteral("windowactivate"), QString::number(otherID)}));
    QTRY_VERIFY_WITH_TIMEOUT(stacking(x11).contains(pinID) && stacking(x11).contains(otherID), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(stacking(x11).indexOf(pinID) > stacking(x11).indexOf(otherID), 10000);

    // Another workspace: the other window goes, the pin stays.
    QVERIFY(xdotool({QStringLiteral("set_desktop"), QStringLiteral("1")}));
    QTRY_VERIFY_WITH_TIMEOUT(!isViewable(x11, otherID), 10000);
    QVERIFY(isViewable(x11, pinID));
    QVERIFY(xdotool({QStringLiteral("set_desktop"), QStringLiteral("0")}));
    QTRY_VERIFY_WITH_TIMEOUT(isViewable(x11, otherID), 10000);
}

void X11PinWindowTest::aPinClosedByTheWindowManagerCanBePinnedAgain()
{
    const X11Connection &x11 = *m_x11;
    PinWindowController pins(PlatformFactory::floatingWindows(), m_pasteboard);
    QImage image(300, 200, QImage::Format_RGB32);
    image.fill(Qt::darkMagenta);
    const QUuid card = QUuid::createUuid();
    pins.pin(image, card);
    QVERIFY(QTest::qWaitForWindowExposed(pins.window(card)));
    const auto pinID = xcb_window_t(pins.window(card)->winId());

    // The window manager's close: it asks the window to delete itself.
    xcb_client_message_event_t close{};
    close.response_type = XCB_CLIENT_MESSAGE;
    close.format = 32;
    close.window = pinID;
    close.type = x11.atom("_NET_CLOSE_WINDOW");
    close.data.data32[0] = XCB_CURRENT_TIME;
    close.data.data32[1] = 2; // from a pager
    xcb_send_event(x11.connection, false, x11.root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char *>(&close));
    x11.sync();
    QTRY_VERIFY_WITH_TIMEOUT(pins.pinnedIDs().isEmpty(), 10000);

    pins.pin(image, card);
    QVERIFY(pins.window(card));
    QVERIFY(QTest::qWaitForWindowExposed(pins.window(card)));
}

// The window manager keeps a window to the proportions it is given after
// its smallest size, so asked to keep a thin picture's it would shrink the
// window under that size.
void X11PinWindowTest::aPinOpensAtItsFirstSize_data()
{
    QTest::addColumn<QSize>("image");
    QTest::addColumn<QSize>("window");
    QTest::newRow("wide thin: height raised") << QSize(455, 50) << QSize(455, 120);
    QTest::newRow("small: both sides raised") << QSize(100, 50) << QSize(180, 120);
    QTest::newRow("wide: scaled, proportions kept") << QSize(1600, 900) << QSize(560, 315);
}

void X11PinWindowTest::aPinOpensAtItsFirstSize()
{
    QFETCH(QSize, image);
    QFETCH(QSize, window);
    PinWindowController pins(PlatformFactory::floatingWindows(), m_pasteboard);
    QImage picture(image, QImage::Format_RGB32);
    picture.fill(Qt::darkYellow);
    const QUuid card = QUuid::createUuid();
    pins.pin(picture, card);
    PinnedImageView *pin = pins.window(card);
    QVERIFY(QTest::qWaitForWindowExposed(pin));
    QTRY_VERIFY(pin->picture());
    const auto pinID = xcb_window_t(pin->winId());
    QTRY_VERIFY_WITH_TIMEOUT(stacking(*m_x11).contains(pinID), 10000);
    QVERIFY(X11WindowManager::caughtUp(*m_x11));
    QCOMPARE(serverSize(*m_x11, pinID), window);
    QCOMPARE(pin->size(), window);
}

void X11PinWindowTest::gripResizeNearTheScreenEdgeStaysUnderThePointer_data()
{
    QTest::addColumn<QSize>("image");
    QTest::addColumn<QPoint>("drag");
    QTest::addColumn<QSize>("window");
    // 60 pixels of room to the right of the pin in each.
    QTest::newRow("sideways: grows to the edge") << QSize(400, 300) << QPoint(300, 0) << QSize(460, 345);
    // Its proportions at the edge would be under the smallest height.
    QTest::newRow("wide thin, downwards: as wide as the room") << QSize(455, 50) << QPoint(0, 40) << QSize(515, 90);
}

void X11PinWindowTest::gripResizeNearTheScreenEdgeStaysUnderThePointer()
{
    QFETCH(QSize, image);
    QFETCH(QPoint, drag);
    QFETCH(QSize, window);
    PinWindowController pins(PlatformFactory::floatingWindows(), m_pasteboard);
    QImage picture(image, QImage::Format_RGB32);
    picture.fill(Qt::darkGreen);
    const QUuid card = QUuid::createUuid();
    pins.pin(picture, card);
    PinnedImageView *pin = pins.window(card);
    QVERIFY(QTest::qWaitForWindowExposed(pin));
    QTRY_VERIFY(pin->picture());
    const QRect available = pin->screen()->availableGeometry();
    const QPoint corner(available.right() + 1 - pin->width() - 60, available.top() + 100);
    pin->move(corner);
    QTRY_COMPARE_WITH_TIMEOUT(pin->pos(), corner, 10000);

    const QPoint grip = pin->gripRect().center();
    ::drag(pin, grip, drag);
    // It grew to the screen's edge and no further, and stayed where it was.
    QTRY_COMPARE_WITH_TIMEOUT(pin->size(), window, 10000);
    QVERIFY(X11WindowManager::caughtUp(*m_x11));
    const auto pinID = xcb_window_t(pin->winId());
    QCOMPARE(serverPosition(*m_x11, pinID), corner);
    QCOMPARE(serverSize(*m_x11, pinID), window);
}

void X11PinWindowTest::aPinShowsOverAFocusedFullScreenWindow()
{
    const X11Connection &x11 = *m_x11;
    QWidget film;
    film.setWindowTitle(QStringLiteral("A film"));
    QPalette red;
    red.setColor(QPalette::Window, Qt::red);
    film.setPalette(red);
    film.setAutoFillBackground(true);
    film.showFullScreen();
    QVERIFY(QTest::qWaitForWindowExposed(&film));
    const auto filmID = xcb_window_t(film.winId());
    QVERIFY(xdotool({QStringLiteral("windowactivate"), QString::number(filmID)}));
    QTRY_COMPARE_WITH_TIMEOUT(x11.windowProperty(x11.root, "_NET_ACTIVE_WINDOW"), std::optional(filmID), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(
        x11.atomListProperty(filmID, "_NET_WM_STATE").contains(x11.atom("_NET_WM_STATE_FULLSCREEN")), 10000);

    PinWindowController pins(PlatformFactory::floatingWindows(), m_pasteboard);
    QImage image(400, 300, QImage::Format_RGB32);
    image.fill(Qt::blue);
    const QUuid card = QUuid::createUuid();
    pins.pin(image, card);
    PinnedImageView *pin = pins.window(card);
    QVERIFY(QTest::qWaitForWindowExposed(pin));
    QTRY_VERIFY(pin->picture());
    // What the screen really shows there, whoever is stacked where.
    const auto shownAt = [&](const QPoint &point) {
        return pin->screen()->grabWindow(0, point.x(), point.y(), 1, 1).toImage().pixelColor(0, 0);
    };
    const auto isPicture = [](const QColor &colour) { return colour.blue() > 200 && colour.red() < 60; };
    const QPoint start = pin->geometry().center();
    QTRY_VERIFY_WITH_TIMEOUT(isPicture(shownAt(start)), 10000);
    // The film keeps the focus, and so its full screen.
    QCOMPARE(x11.windowProperty(x11.root, "_NET_ACTIVE_WINDOW"), std::optional(filmID));

    // Dragged by its body over the film, it moves.
    const QPoint grab = pin->rect().center();
    const QPoint offset(-500, 0);
    drag(pin, grab, offset);
    QTRY_VERIFY_WITH_TIMEOUT(isPicture(shownAt(start + offset)), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(!isPicture(shownAt(start)), 10000);
    const QPoint moved = pin->pos();
    const auto pinID = xcb_window_t(pin->winId());

    // Each time the film has the focus again, after another window had it
    // and the pin went back into the window manager's care, the pin shows
    // over it again.
    QWidget other;
    other.setWindowTitle(QStringLiteral("Other work"));
    other.setGeometry(100, 100, 600, 400);
    other.show();
    QVERIFY(QTest::qWaitForWindowExposed(&other));
    const auto otherID = xcb_window_t(other.winId());
    for (int round = 0; round < 8; ++round) {
        QVERIFY(xdotool({QStringLiteral("windowactivate"), QString::number(otherID)}));
        QTRY_COMPARE_WITH_TIMEOUT(x11.windowProperty(x11.root, "_NET_ACTIVE_WINDOW"), std::optional(otherID), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(stacking(x11).contains(pinID), 10000);
        QVERIFY(xdotool({QStringLiteral("windowactivate"), QString::number(filmID)}));
        QTRY_COMPARE_WITH_TIMEOUT(x11.windowProperty(x11.root, "_NET_ACTIVE_WINDOW"), std::optional(filmID), 10000);
        QTRY_VERIFY2_WITH_TIMEOUT(isViewable(x11, pinID) && isPicture(shownAt(pin->geometry().center())),
                                  qPrintable(QStringLiteral("round %1").arg(round)), 10000);
    }
    other.hide();

    // Once the film leaves full screen, the window manager keeps the pin
    // again: above, on every desktop, where it was left.
    film.showNormal();
    QTRY_VERIFY_WITH_TIMEOUT(stacking(x11).contains(pinID), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(x11.atomListProperty(pinID, "_NET_WM_STATE").contains(x11.atom("_NET_WM_STATE_ABOVE")),
                             10000);
    QTRY_COMPARE_WITH_TIMEOUT(x11.cardinalProperty(pinID, "_NET_WM_DESKTOP"), std::optional<quint32>(0xFFFFFFFF),
                              10000);
    QTRY_COMPARE_WITH_TIMEOUT(pin->pos(), moved, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(isPicture(shownAt(pin->geometry().center())), 10000);
}

// A compositing manager is whoever owns the screen's _NET_WM_CM selection:
// another client takes it, and lets it go by leaving.
void X11PinWindowTest::aPinIsSeeThroughWhileACompositingManagerRuns()
{
    const auto pinIsSeeThrough = [this] {
        PinWindowController pins(PlatformFactory::floatingWindows(), m_pasteboard);
        QImage image(320, 180, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        const QUuid card = QUuid::createUuid();
        pins.pin(image, card);
        return pins.window(card)->testAttribute(Qt::WA_TranslucentBackground);
    };
    QVERIFY(!pinIsSeeThrough());

    xcb_connection_t *manager = xcb_connect(nullptr, nullptr);
    QVERIFY(!xcb_connection_has_error(manager));
    const xcb_window_t owner = xcb_generate_id(manager);
    xcb_create_window(manager, XCB_COPY_FROM_PARENT, owner, m_x11->root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                      XCB_COPY_FROM_PARENT, 0, nullptr);
    xcb_set_selection_owner(manager, owner, m_x11->atom("_NET_WM_CM_S0"), XCB_CURRENT_TIME);
    xcb_flush(manager);
    QTRY_VERIFY_WITH_TIMEOUT(pinIsSeeThrough(), 10000);

    xcb_disconnect(manager);
    QTRY_VERIFY_WITH_TIMEOUT(!pinIsSeeThrough(), 10000);
}

QTEST_MAIN(X11PinWindowTest)
#include "tst_x11pinwindow.moc"

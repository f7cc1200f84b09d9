// Pins, the capture toast and sheets in real (headless) Wayland sessions,
// read back from the compositor itself: sway's tree, GNOME Shell's window
// list, or a KWin script's. A pin floats at its picture's size, moves when its body is dragged
// and stays above the window it belongs to, and on every workspace (sway,
// KDE) and above other apps' windows (KDE); the toast shows at that window's
// top right and leaves the keyboard where it was; the first-run sheet
// belongs to the main window.
#include "../support/KWinTestScript.h"
#include "../support/MainWindowRig.h"
#include "../support/WaylandTestSupport.h"

#include "onboarding/SettingsView.h"
#include "shell/CaptureCompletionToastView.h"
#include "shell/CaptureToastWindowController.h"
#include "shell/MainWindowFrame.h"
#include "shell/PopupPlacementGuard.h"
#include "shell/RootView.h"
#include "platform/Pasteboard.h"
#include "platform/PlatformFactory.h"
#include "platform/WindowSystem.h"
#include "runtime/PinWindowController.h"
#include "runtime/PinnedImageView.h"
#include "runtime/ScreenRegistry.h"
#include "runtime/UpdateService.h"

#include <QAbstractButton>
#include <QAbstractEventDispatcher>
#include <QDialog>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QScreen>
#include <qpa/qplatformnativeinterface.h>

#include <wayland-client-core.h>

using namespace tessaline;
using namespace tessaline::testing;
using namespace tessaline::waylandtest;

Q_DECLARE_METATYPE(std::optional<QUuid>)

namespace {

// One window as the compositor shows it. `above` counts the windows stacked
// below it (GNOME, KDE), or is 1 for sway's floating windows and 0 for tiled
// ones.
struct ShownWindow
{
    QString title;
    QRect frame;
    bool focused = false;
    bool floating = false;
    int above = 0;
    // GNOME and KDE say which window a window belongs to.
    QString transientFor;
    // What we may ask of KWin (both) and sway (every workspace).
    bool onEveryWorkspace = false;
    bool keptAbove = false;
    // sway marks a window that asked for the keyboard and did not get it.
    bool urgent = false;
};

QList<ShownWindow> swayWindows()
{
    QProcess swaymsg;
    swaymsg.start(QStringLiteral("swaymsg"), {QStringLiteral("-t"), QStringLiteral("get_tree"), QStringLiteral("-r")});
    if (!swaymsg.waitForFinished(patience))
        return {};
    QList<ShownWindow> windows;
    QList<std::pair<QJsonObject, bool>> nodes{{QJsonDocument::fromJson(swaymsg.readAllStandardOutput()).object(), false}};
    while (!nodes.isEmpty()) {
        const auto [node, floating] = nodes.takeLast();
        if (node.value(QStringLiteral("pid")).toInteger() == QCoreApplication::applicationPid()) {
            const QJsonObject rect = node.value(QStringLiteral("rect")).toObject();
            windows.append({node.value(QStringLiteral("name")).toString(),
                            QRect(rect.value(QStringLiteral("x")).toInt(), rect.value(QStringLiteral("y")).toInt(),
                                  rect.value(QStringLiteral("width")).toInt(), rect.value(QStringLiteral("height")).toInt()),
                            node.value(QStringLiteral("focused")).toBool(), floating, floating ? 1 : 0, QString(),
                            node.value(QStringLiteral("sticky")).toBool()});
            windows.last().urgent = node.value(QStringLiteral("urgent")).toBool();
        }
        for (const QJsonValue child : node.value(QStringLiteral("nodes")).toArray())
            nodes.append({child.toObject(), floating});
        for (const QJsonValue child : node.value(QStringLiteral("floating_nodes")).toArray())
            nodes.append({child.toObject(), true});
    }
    return windows;
}

// Has sway hand the keyboard to our window of that title, waiting for
// nothing of ours meanwhile.
bool swayFocus(const QString &title)
{
    QProcess swaymsg;
    swaymsg.start(QStringLiteral("swaymsg"), {QStringLiteral("[pid=%1 title=\"^%2$\"] focus")
                                                  .arg(QCoreApplication::applicationPid())
                                                  .arg(QRegularExpression::escape(title))});
    return swaymsg.waitForFinished(patience) && swaymsg.exitCode() == 0;
}

QList<ShownWindow> gnomeWindows()
{
    QDBusMessage eval = QDBusMessage::createMethodCall(QStringLiteral("org.gnome.Shell"), QStringLiteral("/org/gnome/Shell"),
                                                       QStringLiteral("org.gnome.Shell"), QStringLiteral("Eval"));
    eval.setArguments({QStringLiteral(
        "global.display.sort_windows_by_stacking(global.display.list_all_windows())"
        ".filter(w => w.get_pid() == %1).map(w => { const r = w.get_frame_rect();"
        " const t = w.get_transient_for();"
        " return [w.get_title(), r.x, r.y, r.width, r.height, w.has_focus(), t ? t.get_title() : '']; })")
                           .arg(QCoreApplication::applicationPid())});
    const QDBusMessage reply = QDBusConnection::sessionBus().call(eval, QDBus::Block, patience);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() < 2 || !reply.arguments().at(0).toBool())
        return {};
    QList<ShownWindow> windows;
    const QJsonArray list = QJsonDocument::fromJson(reply.arguments().at(1).toString().toUtf8()).array();
    for (qsizetype i = 0; i < list.size(); ++i) {
        const QJsonArray w = list.at(i).toArray();
        windows.append({w.at(0).toString(), QRect(w.at(1).toInt(), w.at(2).toInt(), w.at(3).toInt(), w.at(4).toInt()),
                        w.at(5).toBool(), true, int(i), w.at(6).toString()});
    }
    return windows;
}

// GNOME Shell puts up its "is ready" banner for each window that asks for
// attention; a watch of ours counts them by process, for the life of the
// shell, from here on.
QVariant gnomeEval(const QString &script)
{
    QDBusMessage eval = QDBusMessage::createMethodCall(QStringLiteral("org.gnome.Shell"), QStringLiteral("/org/gnome/Shell"),
                                                       QStringLiteral("org.gnome.Shell"), QStringLiteral("Eval"));
    eval.setArguments({script});
    const QDBusMessage reply = QDBusConnection::sessionBus().call(eval, QDBus::Block, patience);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() < 2 || !reply.arguments().at(0).toBool())
        return {};
    // Answered as JSON text, which may be a bare value.
    const QByteArray json = '[' + reply.arguments().at(1).toString().toUtf8() + ']';
    return QJsonDocument::fromJson(json).array().first().toVariant();
}

// A click under GNOME, over once GNOME Shell has seen the button go down
// and up again at that point: its pointer says so.
bool gnomeClick(const QPoint &point)
{
    const auto pointerIs = [&](bool down) {
        const QVariantList pointer = gnomeEval(QStringLiteral("global.get_pointer()")).toList();
        constexpr int firstButton = 1 << 8;
        return pointer.size() == 3 && QPoint(pointer.at(0).toInt(), pointer.at(1).toInt()) == point
            && bool(pointer.at(2).toInt() & firstButton) == down;
    };
    return input({QStringLiteral("move"), QString::number(point.x()), QString::number(point.y()), QStringLiteral("down")})
        && QTest::qWaitFor([&] { return pointerIs(true); }, patience) && input({QStringLiteral("up")})
        && QTest::qWaitFor([&] { return pointerIs(false); }, patience);
}

bool watchGnomeAttention()
{
    return gnomeEval(QStringLiteral(
                         "if (!global.tessalineAttention) { global.tessalineAttention = [];"
                         " const count = (display, window) => global.tessalineAttention.push(window.get_pid());"
                         " global.display.connect('window-demands-attention', count);"
                         " global.display.connect('window-marked-urgent', count); } true"))
        .toBool();
}

int gnomeAttentionOf(qint64 pid)
{
    return gnomeEval(QStringLiteral("global.tessalineAttention.filter(p => p == %1).length").arg(pid)).toInt();
}

std::optional<ShownWindow> shown(const QString &title);

// What the desktop has shown of our windows asking for the keyboard
// without getting it: GNOME Shell's "is ready" banners so far, or the
// windows sway now marks urgent (0 under KDE), once the compositor has
// handled what Qt asked on the way here, the input's end included; -1 when
// it did not get that far. Each client's requests are handled in order: a
// title set after Qt's request for a token, then after its answer, then
// after the token is spent, shows last.
int attentionSoFar(QWidget &window)
{
    if (flavour() == QLatin1String("kde"))
        return 0;
    const QString title = window.windowTitle();
    for (const QString &marker : {QStringLiteral("Token asked"), QStringLiteral("Token answered"),
                                  QStringLiteral("Token spent"), title}) {
        window.setWindowTitle(marker);
        if (!QTest::qWaitFor([&] { return shown(marker).has_value(); }, patience))
            return -1;
    }
    if (flavour() == QLatin1String("sway")) {
        const QList<ShownWindow> windows = swayWindows();
        return int(std::count_if(windows.cbegin(), windows.cend(), [](const ShownWindow &w) { return w.urgent; }));
    }
    return gnomeAttentionOf(QCoreApplication::applicationPid());
}

// KWin runs a script of ours that prints what it sees into KWin's log.
QList<ShownWindow> kdeWindows()
{
    QList<ShownWindow> windows;
    const QList<QJsonArray> reported = kwinReport(QStringLiteral(
        "const list = workspace.clientList(); const all = [];"
        "for (let i = 0; i < list.length; ++i) { if (list[i].pid == %1) all.push(list[i]); }"
        "all.sort((a, b) => a.stackingOrder - b.stackingOrder);"
        "for (let i = 0; i < all.length; ++i) { const c = all[i]; const g = c.frameGeometry;"
        " report([c.caption, g.x, g.y, g.width, g.height, c.active,"
        " c.transientFor ? c.transientFor.caption : '', c.onAllDesktops, c.keepAbove]); }")
                                                      .arg(QCoreApplication::applicationPid()));
    for (const QJsonArray &w : reported) {
        windows.append({w.at(0).toString(), QRect(w.at(1).toInt(), w.at(2).toInt(), w.at(3).toInt(), w.at(4).toInt()),
                        w.at(5).toBool(), true, int(windows.size()), w.at(6).toString(), w.at(7).toBool(), w.at(8).toBool()});
    }
    return windows;
}

QList<ShownWindow> shownWindows()
{
    if (flavour() == QLatin1String("sway"))
        return swayWindows();
    if (flavour() == QLatin1String("kde"))
        return kdeWindows();
    return gnomeWindows();
}

std::optional<ShownWindow> shown(const QString &title)
{
    for (const ShownWindow &window : shownWindows()) {
        if (window.title == title)
            return window;
    }
    return std::nullopt;
}

// Once true, the compositor has handled every request we made before: it
// takes each client's in order, and answers this one after them. Asked on a
// queue of our own, so Qt's events wait where they are.
bool compositorHasOurRequests()
{
    QPlatformNativeInterface *native = QGuiApplication::platformNativeInterface();
    auto *display = native ? static_cast<wl_display *>(native->nativeResourceForIntegration("wl_display")) : nullptr;
    if (!display)
        return false;
    wl_event_queue *queue = wl_display_create_queue(display);
    const bool answered = wl_display_roundtrip_queue(display, queue) >= 0;
    wl_event_queue_destroy(queue);
    return answered;
}

// Whether a window has been pressed on.
class PressSeen : public QObject
{
public:
    explicit PressSeen(QWindow *window) : m_window(window) { qApp->installEventFilter(this); }
    bool pressed = false;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_window && event->type() == QEvent::MouseButtonPress)
            pressed = true;
        return false;
    }

private:
    QWindow *m_window;
};

bool click(const QPoint &point)
{
    return input({QStringLiteral("click"), QString::number(point.x()), QString::number(point.y())});
}

// Where sway shows something of ours painted in a colour of its own: the
// bounds of that colour in a picture of the output (sway lists no pop-ups
// in its tree; grim comes with the sway session).
std::optional<QRect> swayShownInColour(const QColor &colour)
{
    QProcess grim;
    grim.start(QStringLiteral("grim"), {QStringLiteral("-")});
    if (!grim.waitForFinished(patience) || grim.exitCode() != 0)
        return std::nullopt;
    const QImage output = QImage::fromData(grim.readAllStandardOutput()).convertToFormat(QImage::Format_RGB32);
    QRect found;
    for (int y = 0; y < output.height(); ++y) {
        const auto *row = reinterpret_cast<const QRgb *>(output.constScanLine(y));
        for (int x = 0; x < output.width(); ++x) {
            if (sameColour(QColor::fromRgb(row[x]), colour))
                found |= QRect(x, y, 1, 1);
        }
    }
    if (found.isEmpty())
        return std::nullopt;
    return found;
}

class NullPasteboard : public Pasteboard
{
public:
    void clearContents() override {}
    void declareTypes(const QStringList &) override {}
    bool setData(const QByteArray &, const QString &) override { return true; }
};

const QString mainTitle = QStringLiteral("Main window of the test");

// Places dialogs and owned windows over their parent while it lives, as
// the app does from its start (none where the compositor does it itself).
class DialogPlacement
{
public:
    DialogPlacement()
        : m_placement(PlatformFactory::dialogPlacement())
    {
        if (m_placement)
            qApp->installEventFilter(m_placement.get());
    }
    ~DialogPlacement()
    {
        if (m_placement)
            qApp->removeEventFilter(m_placement.get());
    }

private:
    std::unique_ptr<QObject> m_placement;
};

// A small display capture stored through the runtime: the toast's card.
std::optional<QUuid> storedCapture(MainWindowRig &rig)
{
    CaptureResult capture;
    capture.id = QUuid::createUuid();
    capture.image = QImage(40, 30, QImage::Format_RGB32);
    capture.image.fill(Qt::darkCyan);
    capture.capturedAt = QDateTime::currentDateTimeUtc();
    capture.mode = CaptureMode::display;
    QSignalSpy handled(rig.runtime.get(), &AppRuntime::captureHandled);
    rig.runtime->handleCaptureResult(capture);
    if (!handled.wait(patience))
        return std::nullopt;
    return handled.first().first().value<std::optional<QUuid>>();
}

// Starts the rig's runtime, stores a capture through it and shows that
// capture's toast; the toast's panel, or null when any step failed.
QWidget *toastOfStoredCapture(MainWindowRig &rig)
{
    rig.runtime->start();
    const std::optional<QUuid> card = storedCapture(rig);
    if (!card)
        return nullptr;
    CaptureToastWindowController::shared().show(*card, *rig.runtime);
    return CaptureToastWindowController::shared().panel();
}

} // namespace

class WaylandWindowsTest : public QObject
{
    Q_OBJECT
public:
    static void initMain() { runOffscreenWithoutSession(); }
private Q_SLOTS:
    void initTestCase()
    {
        if (const QString missing = missingSession(); !missing.isEmpty())
            TESSALINE_SKIP_WITHOUT_SESSION(qPrintable(missing));
        // As the app does from its start.
        WindowSystem::keepActivationToOurRequests();
        WindowSystem::keepKeyboardWithBlockingDialogs();
        if (flavour() == QLatin1String("gnome"))
            QVERIFY(watchGnomeAttention());
    }

    void init()
    {
        m_main = std::make_unique<QWidget>();
        m_main->setWindowTitle(mainTitle);
        m_main->resize(900, 600);
        m_main->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_main.get(), patience));
        QTRY_VERIFY_WITH_TIMEOUT(shown(mainTitle) && shown(mainTitle)->focused, patience);
    }

    void cleanup() { m_main.reset(); }

    void pinFloatsAtItsSizeMovesByDragAndStaysAbove()
    {
        const DialogPlacement placement;
        NullPasteboard pasteboard;
        PinWindowController pins(PlatformFactory::floatingWindows(), pasteboard);
        QImage image(800, 450, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        const QUuid card = QUuid::createUuid();
        pins.pin(image, card);
        QVERIFY(QTest::qWaitForWindowExposed(pins.window(card), patience));
        // Its rounded corners show what is beneath: a Wayland compositor
        // blends every window.
        QVERIFY(pins.window(card)->windowHandle()->requestedFormat().hasAlpha());

        // Floating at the picture's size, not tiled beside the main window.
        QTRY_COMPARE_WITH_TIMEOUT(shown(QStringLiteral("Tessaline")).value_or(ShownWindow()).frame.size(), QSize(560, 315),
                                  patience);
        ShownWindow pin = *shown(QStringLiteral("Tessaline"));
        QVERIFY(pin.floating);
        // Over the window it belongs to, where X11 centres it on the screen
        // (GNOME cascaded it from the output's top left); sway centres it
        // on the output, a bar's height taller than the window.
        const auto offCentre = [&] {
            return shown(QStringLiteral("Tessaline")).value_or(ShownWindow()).frame.center()
                - shown(mainTitle).value_or(ShownWindow()).frame.center();
        };
        QTRY_VERIFY2_WITH_TIMEOUT(std::abs(offCentre().x()) <= 8 && std::abs(offCentre().y()) <= 24,
                                  qPrintable(QStringLiteral("pin's centre off the window's by %1,%2")
                                                 .arg(offCentre().x()).arg(offCentre().y())),
                                  patience);
        // Above other apps' windows and on every workspace, as far as the
        // desktop lets an app ask: KWin for both; sway for the workspaces
        // (a floating window is above the tiled ones there, and there is no
        // layer above that); GNOME for neither.
        if (flavour() != QLatin1String("gnome"))
            QTRY_VERIFY_WITH_TIMEOUT(shown(QStringLiteral("Tessaline")).value_or(ShownWindow()).onEveryWorkspace, patience);
        if (flavour() == QLatin1String("kde"))
            QVERIFY(shown(QStringLiteral("Tessaline"))->keptAbove);
        const ShownWindow main = *shown(mainTitle);
        if (flavour() == QLatin1String("sway"))
            QCOMPARE(main.frame.width(), m_main->screen()->geometry().width()); // the whole workspace, unshared
        else
            QVERIFY(main.frame.width() >= 900); // with the frame Qt draws around it

        // The main window clicked away from the pin: the pin stays above it.
        const QPoint away = main.frame.bottomLeft() + QPoint(12, -12);
        QVERIFY(!pin.frame.contains(away));
        QVERIFY(click(away));
        QTRY_VERIFY_WITH_TIMEOUT(shown(mainTitle)->focused, patience);
        QVERIFY(shown(QStringLiteral("Tessaline"))->above > shown(mainTitle)->above);

        // Dragging the picture moves the window.
        pin = *shown(QStringLiteral("Tessaline"));
        const QPoint from = pin.frame.center();
        const QPoint by(-150, 90);
        const auto movedBy = [&] { return shown(QStringLiteral("Tessaline")).value_or(pin).frame.topLeft() - pin.frame.topLeft(); };
        // The pin asks the compositor to move it as the press reaches it;
        // the pointer moves on once the compositor has that request, and
        // lets go once the window has followed it all the way.
        PressSeen press(pins.window(card)->windowHandle());
        const auto at = [](const QPoint &point) {
            return QStringList{QStringLiteral("move"), QString::number(point.x()), QString::number(point.y())};
        };
        QList<PointerGesture::Step> steps{
            {at(from) << QStringLiteral("down"), [&] { return press.pressed && compositorHasOurRequests(); }}};
        constexpr int moves = 10;
        for (int i = 1; i <= moves; ++i)
            steps.append({at(from + by * i / moves)});
        steps.last().arrived = [&] { return (movedBy() - by).manhattanLength() <= 4; };
        steps.append({{QStringLiteral("up")}});
        PointerGesture gesture(steps);
        QVERIFY2(gesture.waitForEnd(), qPrintable(gesture.failure()));
        QTRY_VERIFY2_WITH_TIMEOUT((movedBy() - by).manhattanLength() <= 4,
                                  qPrintable(QStringLiteral("moved by %1,%2").arg(movedBy().x()).arg(movedBy().y())),
                                  patience);
        QCOMPARE(shown(QStringLiteral("Tessaline"))->frame.size(), QSize(560, 315));
    }

    // KWin names a window apart from another of its title ("Tessaline
    // <2>" beside the app's main window), and two pins may share a size:
    // each is kept above and on every desktop all the same.
    void pinsBesideAWindowOfTheirTitleStayAbove()
    {
        if (flavour() != QLatin1String("kde"))
            QSKIP("only KWin is asked to keep windows above others");
        m_main->setWindowTitle(QStringLiteral("Tessaline"));
        QTRY_VERIFY_WITH_TIMEOUT(shown(QStringLiteral("Tessaline")).has_value(), patience);
        NullPasteboard pasteboard;
        PinWindowController pins(PlatformFactory::floatingWindows(), pasteboard);
        QImage image(800, 450, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        for (int i = 0; i < 2; ++i) {
            const QUuid card = QUuid::createUuid();
            pins.pin(image, card);
            QVERIFY(QTest::qWaitForWindowExposed(pins.window(card)));
        }
        const auto keptPins = [] {
            const QList<ShownWindow> windows = shownWindows();
            return std::count_if(windows.cbegin(), windows.cend(), [](const ShownWindow &w) {
                return w.frame.size() == QSize(560, 315) && w.keptAbove && w.onEveryWorkspace;
            });
        };
        QTRY_COMPARE_WITH_TIMEOUT(keptPins(), 2, patience);
        // The main window is left as it is.
        QVERIFY(!shown(QStringLiteral("Tessaline"))->keptAbove);
    }

    void toastShowsAtTheWindowsCornerWithoutTheKeyboard()
    {
        MainWindowRig rig;
        rig.runtime->start();
        const std::optional<QUuid> card = storedCapture(rig);
        QVERIFY(card);
        const qsizetype windowsBefore = shownWindows().size();
        CaptureToastWindowController::shared().show(*card, *rig.runtime);
        QWidget *toast = nullptr;
        for (QWidget *each : QApplication::topLevelWidgets()) {
            if (each->objectName() == QLatin1String("CaptureToast"))
                toast = each;
        }
        QVERIFY(toast);
        QVERIFY(QTest::qWaitForWindowExposed(toast, patience));
        QVERIFY(toast->windowHandle()->requestedFormat().hasAlpha());

        // The keyboard stays with the window in use.
        const ShownWindow main = *shown(mainTitle);
        QVERIFY(main.focused);
        QCOMPARE(QGuiApplication::focusWindow(), m_main->windowHandle());
        if (flavour() == QLatin1String("sway")) {
            // A popup of that window: no window of its own in the layout.
            QCOMPARE(shownWindows().size(), windowsBefore);
        } else if (flavour() == QLatin1String("kde")) {
            // KWin's scripts do not see popups; the keyboard is what counts.
            QVERIFY(shown(mainTitle)->focused);
        } else {
            QTRY_VERIFY_WITH_TIMEOUT(shownWindows().size() == windowsBefore + 1, patience);
            QTRY_COMPARE_WITH_TIMEOUT(shownWindows().constLast().frame.size(), toast->size(), patience);
            const ShownWindow shownToast = shownWindows().constLast();
            // At the top right of the window in use, above it.
            QVERIFY2(std::abs(shownToast.frame.right() - main.frame.right()) <= 40
                         && std::abs(shownToast.frame.top() - main.frame.top()) <= 80,
                     qPrintable(QStringLiteral("toast at %1,%2; window %3,%4 %5x%6")
                                    .arg(shownToast.frame.x()).arg(shownToast.frame.y()).arg(main.frame.x())
                                    .arg(main.frame.y()).arg(main.frame.width()).arg(main.frame.height())));
            QVERIFY(shownToast.above > main.above);
        }
        CaptureToastWindowController::shared().close();
    }

    // With another app in use, sway would neither draw the toast as a popup
    // of our window nor leave that app the keyboard as the toast opened as
    // a window of its own; it opens at the output's corner, the keyboard
    // where it was. So it does for the app started as an X11 client, whose
    // windows sway places too, in the middle with the keyboard.
    void toastOpensInTheCornerWithoutTheKeyboard_data()
    {
        QTest::addColumn<bool>("x11Client");
        QTest::addColumn<bool>("anotherAppInUse");
        QTest::newRow("another app in use") << false << true;
        QTest::newRow("X11 client, another app in use") << true << true;
        QTest::newRow("X11 client, its window in use") << true << false;
    }

    void toastOpensInTheCornerWithoutTheKeyboard()
    {
        if (flavour() != QLatin1String("sway"))
            QSKIP("only sway draws no popups of a window without the keyboard");
        QFETCH(bool, x11Client);
        QFETCH(bool, anotherAppInUse);
        if (x11Client && !runsAsX11Client()) {
            if (x11Display().isEmpty())
                TESSALINE_SKIP_WITHOUT_SESSION("the session runs no XWayland server");
            runAsX11Client(QStringLiteral("%1:%2").arg(QString::fromLatin1(QTest::currentTestFunction()),
                                                       QString::fromLatin1(QTest::currentDataTag())));
            return;
        }
        QProcess other;
        const auto stop = qScopeGuard([&] {
            other.kill();
            other.waitForFinished();
        });
        if (anotherAppInUse) {
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland"));
            other.setProcessEnvironment(environment);
            other.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--another-app")});
            QVERIFY(other.waitForStarted());
            QTRY_VERIFY_WITH_TIMEOUT(!shown(mainTitle)->focused && !QGuiApplication::focusWindow(), patience);
        }
        MainWindowRig rig;
        QWidget *toast = toastOfStoredCapture(rig);
        QVERIFY(toast);
        const QRect output = m_main->screen()->geometry();
        const auto inCorner = [&] {
            const auto window = shown(toast->windowTitle());
            return window && window->frame.size() == toast->size() && std::abs(window->frame.right() - output.right()) <= 40
                && window->frame.top() - output.top() <= 40 && window->onEveryWorkspace;
        };
        QTRY_VERIFY_WITH_TIMEOUT(inCorner(), patience);
        for (const ShownWindow &ours : shownWindows())
            QVERIFY2(ours.focused == (!anotherAppInUse && ours.title == mainTitle), qPrintable(ours.title));
        QCOMPARE(QGuiApplication::focusWindow(), anotherAppInUse ? nullptr : m_main->windowHandle());
        CaptureToastWindowController::shared().close();
    }

    // The toast never has the keyboard: once its caption is clicked, what
    // is typed is the caption's, not the window's the keyboard is with,
    // until that window is clicked again. The keyboard going from field to
    // field puts up no "is ready" banner under GNOME, no urgent mark under
    // sway.
    void toastCaptionTakesWhatIsTypedOnceClicked()
    {
        const int banners = attentionSoFar(*m_main);
        QVERIFY(banners >= 0);
        auto *field = new QLineEdit(m_main.get());
        field->show();
        field->setFocus();
        MainWindowRig rig;
        auto *toast = qobject_cast<CaptureCompletionToastView *>(toastOfStoredCapture(rig));
        QVERIFY(toast);
        QVERIFY(QTest::qWaitForWindowExposed(toast, patience));
        QLineEdit *caption = toast->captionField();

        QTest::mouseClick(caption, Qt::LeftButton);
        QVERIFY(input({QStringLiteral("type"), QStringLiteral("Seen twice")}));
        QTRY_COMPARE_WITH_TIMEOUT(caption->text(), QStringLiteral("Seen twice"), patience);
        QCOMPARE(field->text(), QString());

        QTest::mouseClick(field, Qt::LeftButton);
        QVERIFY(input({QStringLiteral("type"), QStringLiteral("mine")}));
        QTRY_COMPARE_WITH_TIMEOUT(field->text(), QStringLiteral("mine"), patience);
        QCOMPARE(caption->text(), QStringLiteral("Seen twice"));
        CaptureToastWindowController::shared().close();
        QCOMPARE(attentionSoFar(*m_main), banners);
    }

    // Under Wayland the toast is a popup, which cannot own a window: Save…
    // asks where to save in a dialog of the window the toast stands on
    // (owned by the popup, Qt's Wayland client ended the app), and the
    // toast goes, as the desktop would close it anyway.
    void saveFromTheToastAsksInAWindowOfItsOwn()
    {
        MainWindowRig rig;
        QWidget *toast = toastOfStoredCapture(rig);
        QVERIFY(toast);
        QVERIFY(QTest::qWaitForWindowExposed(toast, patience));
        QAbstractButton *save = nullptr;
        for (QAbstractButton *button : toast->findChildren<QAbstractButton *>()) {
            if (button->text() == QStringLiteral("Save\u2026"))
                save = button;
        }
        QVERIFY(save);
        save->click();

        QFileDialog *dialog = nullptr;
        QTRY_VERIFY_WITH_TIMEOUT((dialog = toast->findChild<QFileDialog *>(QString(), Qt::FindChildrenRecursively))
                                     || (dialog = m_main->findChild<QFileDialog *>()),
                                 patience);
        QVERIFY(QTest::qWaitForWindowExposed(dialog, patience));
        QCOMPARE(dialog->windowHandle()->transientParent(), m_main->windowHandle());
        QVERIFY(!toast->isVisible());
        dialog->reject();
        // The save, given up, lets the toast's next card be saved again.
        QTRY_VERIFY_WITH_TIMEOUT(save->isEnabled(), patience);
        CaptureToastWindowController::shared().close();
    }

    // A sheet the main window puts up as it first shows (the first-run
    // setup) is that window's, so the compositor keeps it above it: sway
    // floats such a window, GNOME names its parent. A second start that
    // brings the window forward without a token GNOME accepts asks GNOME
    // nothing: its answer would be an "is ready" banner and no more.
    void firstRunSheetBelongsToTheMainWindow()
    {
        m_main.reset();
        MainWindowRig rig;
        rig.onboarding->setOnboardingPresented(true);
        ScreenRegistry screens;
        screens.registerSheet(SheetKind::onboarding, [](ScreenContext &, const SheetRequest &, QWidget *parent) {
            auto *dialog = new QDialog(parent);
            dialog->setWindowTitle(QStringLiteral("First run of the test"));
            dialog->resize(500, 300);
            return dialog;
        });
        UpdateService updates;
        RootView window(*rig.runtime, updates, std::move(screens));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window, patience));
        QTRY_VERIFY_WITH_TIMEOUT(shown(QStringLiteral("First run of the test")).has_value(), patience);
        const ShownWindow sheet = *shown(QStringLiteral("First run of the test"));
        const std::optional<ShownWindow> main = shown(window.windowTitle());
        QVERIFY(main.has_value());
        if (flavour() == QLatin1String("sway")) {
            QVERIFY(sheet.floating);
        } else {
            QCOMPARE(sheet.transientFor, window.windowTitle());
            QTRY_VERIFY_WITH_TIMEOUT(shown(QStringLiteral("First run of the test"))->above
                                         > shown(window.windowTitle())->above,
                                     patience);
        }

        const int banners = attentionSoFar(window);
        QVERIFY(banners >= 0);
        // A token the launcher left in the environment long ago: Qt would
        // spend it on the next request, whatever GNOME makes of it.
        qputenv("XDG_ACTIVATION_TOKEN", "launched-long-ago_TIME0");
        window.bringToFront();
        QCOMPARE(attentionSoFar(window), banners);
        QVERIFY(qEnvironmentVariableIsEmpty("XDG_ACTIVATION_TOKEN"));
        const bool gnome = flavour() == QLatin1String("gnome");
        // Only GNOME is asked nothing without a token; a token handed over
        // (a second start's, a notification's) goes to Qt for one request.
        QCOMPARE(WindowSystem::prepareActivation(), !gnome);
        WindowSystem::holdActivationToken(QStringLiteral("token-of-a-second-start"));
        QVERIFY(WindowSystem::prepareActivation());
        QCOMPARE(qgetenv("XDG_ACTIVATION_TOKEN"), QByteArray("token-of-a-second-start"));
        QCOMPARE(WindowSystem::prepareActivation(), !gnome);
        QVERIFY(qEnvironmentVariableIsEmpty("XDG_ACTIVATION_TOKEN"));
    }

    // A sheet opens over the middle of the window it belongs to, as X11
    // window managers place it, also when shown again. GNOME put it at the
    // output's top left until told that it is that window's modal dialog.
    // The settings window opens there too, yet leaves the main window free
    // to use: GNOME cascaded it from the top left, and a window that stayed
    // its modal dialog would take the main window's clicks.
    void windowOpensCentredOverItsWindow_data()
    {
        QTest::addColumn<bool>("modal");
        QTest::newRow("sheet") << true;
        QTest::newRow("settings window") << false;
    }

    void windowOpensCentredOverItsWindow()
    {
        QFETCH(const bool, modal);
        const DialogPlacement placement;
        QTRY_VERIFY_WITH_TIMEOUT(!shown(mainTitle).value_or(ShownWindow()).frame.isEmpty(), patience);
        MainWindowRig rig;
        UpdateService updates;
        std::unique_ptr<QWidget> window;
        if (modal) {
            auto sheet = std::make_unique<QDialog>(m_main.get());
            sheet->setWindowModality(Qt::WindowModal);
            sheet->resize(360, 180);
            window = std::move(sheet);
        } else {
            window = std::make_unique<SettingsView>(*rig.runtime, rig.onboarding.get(), updates);
            window->setAttribute(Qt::WA_DeleteOnClose, false);
            placeOverMainWindow(*window, *m_main);
        }
        const QString title = QStringLiteral("Window of the test");
        window->setWindowTitle(title);
        for (int showing = 1; showing <= 2; ++showing) {
            window->show();
            QVERIFY(QTest::qWaitForWindowExposed(window.get(), patience));
            QTRY_VERIFY_WITH_TIMEOUT(!shown(title).value_or(ShownWindow()).frame.isEmpty(), patience);
            const QRect main = shown(mainTitle)->frame;
            const auto describe = [&] {
                const QRect frame = shown(title).value_or(ShownWindow()).frame;
                return QStringLiteral("showing %1: window at %2,%3 %4x%5 over a window at %6,%7 %8x%9")
                    .arg(showing).arg(frame.x()).arg(frame.y()).arg(frame.width()).arg(frame.height())
                    .arg(main.x()).arg(main.y()).arg(main.width()).arg(main.height());
            };
            // sway centres it on the output, which its bar leaves a little
            // taller than the window.
            const auto off = [&] { return shown(title).value_or(ShownWindow()).frame.center() - main.center(); };
            QTRY_VERIFY2_WITH_TIMEOUT(std::abs(off().x()) <= 8 && std::abs(off().y()) <= 24, qPrintable(describe()), patience);
            const QRect frame = shown(title)->frame;
            const QPoint beside(main.left() + 12, main.bottom() - 12);
            QVERIFY2(!frame.contains(beside), qPrintable(describe()));
            if (modal) {
                // A click on the window it blocks leaves it the keyboard
                // (the gallery's arrows and Escape, say).
                QTRY_VERIFY_WITH_TIMEOUT(shown(title)->focused, patience);
                if (flavour() == QLatin1String("gnome")) {
                    // GNOME keeps the keyboard with a dialog attached to
                    // its window: nothing moves, the click is just over.
                    QVERIFY(gnomeClick(beside));
                } else {
                    QSignalSpy keyboard(qGuiApp, &QGuiApplication::focusWindowChanged);
                    QVERIFY(click(beside));
                    QTRY_VERIFY_WITH_TIMEOUT(!keyboard.isEmpty() || !shown(title)->focused, patience);
                }
                QTRY_VERIFY_WITH_TIMEOUT(shown(title)->focused, patience);
            } else {
                // A click on the main window, beside it, gives that window the keyboard.
                QVERIFY(click(beside));
                QTRY_VERIFY_WITH_TIMEOUT(shown(mainTitle)->focused, patience);
                // Asked for again (File › Settings…), it comes forward with
                // the keyboard, where the desktop lets an app bring a window
                // forward (not GNOME, without a token): each time it is
                // asked (KWin ran every other script of ours).
                for (int asked = 1; asked <= 2 && flavour() != QLatin1String("gnome"); ++asked) {
                    if (asked > 1) {
                        QVERIFY(click(beside));
                        QTRY_VERIFY_WITH_TIMEOUT(shown(mainTitle)->focused, patience);
                    }
                    WindowSystem::bringForward(*window->windowHandle());
                    QTRY_VERIFY_WITH_TIMEOUT(shown(title)->focused, patience);
                    QCOMPARE(attentionSoFar(*m_main), 0);
                }
                // The keyboard passing through the main window while the
                // app is busy (the frame composer coming up as the review
                // goes): Qt's own request for the main window, made as it
                // got the keyboard, came once it had lost it again, and
                // sway marked it urgent (a red title).
                if (flavour() == QLatin1String("sway")) {
                    QVERIFY(click(frame.center()));
                    QTRY_VERIFY_WITH_TIMEOUT(shown(title)->focused, patience);
                    // Once Qt has sent what it asks as the main window gets
                    // the keyboard, and before it reads the answer.
                    bool passed = false;
                    bool gotKeyboard = false;
                    const QMetaObject::Connection gets = connect(
                        qGuiApp, &QGuiApplication::focusObjectChanged, m_main.get(),
                        [&] { gotKeyboard = gotKeyboard || QGuiApplication::focusWindow() == m_main->windowHandle(); });
                    // Qt sends its requests as the event loop wakes or goes
                    // to sleep; this runs after it.
                    const auto pass = [&] {
                        if (gotKeyboard && !passed)
                            passed = swayFocus(title);
                    };
                    QAbstractEventDispatcher *loop = QAbstractEventDispatcher::instance();
                    const QMetaObject::Connection sent[] = {
                        connect(loop, &QAbstractEventDispatcher::aboutToBlock, m_main.get(), pass),
                        connect(loop, &QAbstractEventDispatcher::awake, m_main.get(), pass)};
                    QVERIFY(click(beside));
                    QTRY_VERIFY_WITH_TIMEOUT(passed, patience);
                    disconnect(gets);
                    for (const QMetaObject::Connection &connection : sent)
                        disconnect(connection);
                    QTRY_VERIFY_WITH_TIMEOUT(shown(title)->focused, patience);
                    QCOMPARE(attentionSoFar(*m_main), 0);
                }
            }
            window->hide();
            QTRY_VERIFY_WITH_TIMEOUT(!shown(title).has_value(), patience);
        }
    }

    // The settings window is its form's size: sway floats it rather than
    // tiling it beside the main window, stretched around the form.
    void settingsWindowShowsAtItsOwnSize()
    {
        MainWindowRig rig;
        UpdateService updates;
        SettingsView settings(*rig.runtime, rig.onboarding.get(), updates);
        settings.setAttribute(Qt::WA_DeleteOnClose, false);
        settings.show();
        QVERIFY(QTest::qWaitForWindowExposed(&settings, patience));
        const QString title = settings.windowTitle();
        // GNOME lists a window before it has its size.
        QTRY_VERIFY_WITH_TIMEOUT(!shown(title).value_or(ShownWindow()).frame.isEmpty(), patience);
        const ShownWindow shownSettings = *shown(title);
        if (flavour() == QLatin1String("sway"))
            QVERIFY(shownSettings.floating);
        // Only the frame the desktop or Qt draws around it may add to it.
        const QSize extra = shownSettings.frame.size() - settings.size();
        QVERIFY2(extra.width() >= 0 && extra.width() <= 40 && extra.height() >= 0 && extra.height() <= 80,
                 qPrintable(QStringLiteral("shown at %1x%2 for a window of %3x%4")
                                .arg(shownSettings.frame.width()).arg(shownSettings.frame.height())
                                .arg(settings.width()).arg(settings.height())));
    }

    // A menu opened from a button at the right edge of a window as wide as
    // the output opens beside that button. Qt slides it against the
    // screen's edge as if the window stood at the output's corner; sway
    // keeps its windows inside a border, so the menu ended past the output
    // and sway flipped it a whole menu's width to the left.
    void menuAtTheWindowsRightEdgeOpensBesideItsButton()
    {
        if (flavour() != QLatin1String("sway"))
            QSKIP("pop-ups are found in sway's picture of the output");
        PopupPlacementGuard guard;
        qApp->installEventFilter(&guard);
        m_main->showMaximized();
        const int outputWidth = m_main->screen()->geometry().width();
        QTRY_VERIFY_WITH_TIMEOUT(m_main->width() >= outputWidth - 8, patience);
        const QColor cyan(0, 255, 255);
        const QColor magenta(255, 0, 255);
        auto *button = new QPushButton(QStringLiteral("\u22ee"), m_main.get());
        button->setStyleSheet(QStringLiteral("background-color: %1; border: none;").arg(cyan.name()));
        button->setFixedSize(28, 24);
        button->move(m_main->width() - button->width() - 4, 4);
        button->show();
        QMenu menu(button);
        menu.setStyleSheet(QStringLiteral("QMenu { background-color: %1; }").arg(magenta.name()));
        for (const QString &item : {QStringLiteral("Arrange on Canvas\u2026"), QStringLiteral("Export Note Brief\u2026")})
            menu.addAction(item);
        // As a tool button opens its menu: at its bottom left, slid on screen.
        connect(button, &QPushButton::pressed, &menu,
                [&] { menu.popup(button->mapToGlobal(button->rect().bottomLeft())); });

        std::optional<QRect> shownButton;
        QTRY_VERIFY_WITH_TIMEOUT((shownButton = swayShownInColour(cyan)).has_value(), patience);
        QVERIFY(click(shownButton->center()));
        QTRY_VERIFY_WITH_TIMEOUT(menu.isVisible(), patience);
        std::optional<QRect> shownMenu;
        QTRY_VERIFY_WITH_TIMEOUT((shownMenu = swayShownInColour(magenta)).has_value(), patience);
        QVERIFY2(shownMenu->right() < outputWidth && shownMenu->right() >= shownButton->left(),
                 qPrintable(QStringLiteral("menu from x %1 to %2 for a button from x %3 to %4")
                                .arg(shownMenu->left()).arg(shownMenu->right())
                                .arg(shownButton->left()).arg(shownButton->right())));
        menu.close();
        qApp->removeEventFilter(&guard);
    }

private:
    std::unique_ptr<QWidget> m_main;
};

int main(int argc, char *argv[])
{
    // Started again by a test, as another app whose window has the keyboard.
    if (argc > 1 && qstrcmp(argv[1], "--another-app") == 0) {
        QApplication app(argc, argv);
        QWidget window;
        window.setWindowTitle(QStringLiteral("Another app"));
        window.resize(400, 300);
        window.show();
        return app.exec();
    }
    QTest::Internal::callInitMain<WaylandWindowsTest>();
    QTEST_MAIN_SETUP()
    WaylandWindowsTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_waylandwindows.moc"

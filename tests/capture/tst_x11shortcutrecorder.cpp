#include "X11TestSupport.h"

#include "capture/GlobalHotKeyManager.h"
#include "capture/ShortcutRecorderView.h"
#include "platform/X11Connection.h"
#include "platform/X11HotKeys.h"

#include <QVBoxLayout>

using namespace tessaline;
using namespace tessaline::x11test;

namespace {

constexpr quint8 ctrlSuper = GlobalShortcutModifiers::commandBit | GlobalShortcutModifiers::controlBit;

} // namespace

// The recorder on a real X server: while it records it holds the keyboard,
// so a combination that is registered as a global hot key is recorded
// instead of firing.
class X11ShortcutRecorderTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        if (!X11Connection::application())
            QSKIP("needs an X11 display");
    }

    void recordingHoldsBackTheGlobalHotKeys()
    {
        GlobalHotKeyManager manager(X11HotKeys::create());
        int captures = 0;
        QCOMPARE(manager.registerConfiguration(GlobalShortcutConfiguration::defaults(), [&captures] { ++captures; }, [] {}),
                 std::nullopt);

        QWidget window(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::BypassWindowManagerHint);
        window.setGeometry(100, 100, 300, 120);
        auto *layout = new QVBoxLayout(&window);
        auto *field = new ShortcutRecorderView(QStringLiteral("Quick Note shortcut"));
        field->model().keyCodeAtScanCode = [&manager](quint32 scanCode) { return manager.keyCodeAtScanCode(scanCode); };
        layout->addWidget(field);
        QList<std::optional<GlobalShortcut>> applied;
        field->model().onChange = [&applied](const std::optional<GlobalShortcut> &value) -> std::optional<QString> {
            applied.append(value);
            return std::nullopt;
        };
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));

        // The hot key works while nothing records.
        QVERIFY(xdotool({QStringLiteral("key"), QStringLiteral("ctrl+super+4")}));
        QTRY_COMPARE(captures, 1);

        QTest::mouseClick(field->control(), Qt::LeftButton);
        settle(150);

        // Taking the keyboard does not count as focus moving away.
        QVERIFY(field->model().isRecording());

        QVERIFY(xdotool({QStringLiteral("key"), QStringLiteral("ctrl+super+4")}));
        QTRY_COMPARE(applied.count(), 1);
        QCOMPARE(applied.first(), std::optional<GlobalShortcut>(GlobalShortcut{21, GlobalShortcutModifiers(ctrlSuper)}));
        QVERIFY(!field->model().isRecording());
        settle(100);
        QCOMPARE(captures, 1);

        // Once recording ends the keyboard is given back.
        QVERIFY(xdotool({QStringLiteral("key"), QStringLiteral("ctrl+super+4")}));
        QTRY_COMPARE(captures, 2);

        // Another window taking focus ends a recording and frees the keyboard.
        QTest::mouseClick(field->control(), Qt::LeftButton);
        settle(100);
        QVERIFY(field->model().isRecording());
        auto other = colouredWindow(QRect(500, 100, 200, 100), Qt::gray);
        QVERIFY(QTest::qWaitForWindowExposed(other.get()));
        other->activateWindow();
        QTRY_VERIFY(!field->model().isRecording());
        QVERIFY(xdotool({QStringLiteral("key"), QStringLiteral("ctrl+super+4")}));
        QTRY_COMPARE(captures, 3);
        QCOMPARE(applied.count(), 1);
    }

    void keysAreNamedByTheirPlace()
    {
        QWidget window(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::BypassWindowManagerHint);
        window.setGeometry(100, 100, 300, 120);
        auto *layout = new QVBoxLayout(&window);
        auto *field = new ShortcutRecorderView(QStringLiteral("Capture Region shortcut"));
        layout->addWidget(field);
        QList<std::optional<GlobalShortcut>> applied;
        field->model().onChange = [&applied](const std::optional<GlobalShortcut> &value) -> std::optional<QString> {
            applied.append(value);
            return std::nullopt;
        };
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));

        // Shift turns the 4 key into "$"; the recorder still sees the 4 key.
        QTest::mouseClick(field->control(), Qt::LeftButton);
        settle(100);
        QVERIFY(xdotool({QStringLiteral("key"), QStringLiteral("ctrl+alt+shift+4")}));
        QTRY_COMPARE(applied.count(), 1);
        QCOMPARE(applied.first()->keyCode, quint32(21));
        QCOMPARE(applied.first()->modifiers.rawValue(),
                 quint8(GlobalShortcutModifiers::commandBit | GlobalShortcutModifiers::optionBit
                        | GlobalShortcutModifiers::shiftBit));
        QCOMPARE(field->control()->text(), QStringLiteral("Ctrl+Alt+Shift+4"));
    }
};

QTEST_MAIN(X11ShortcutRecorderTest)
#include "tst_x11shortcutrecorder.moc"

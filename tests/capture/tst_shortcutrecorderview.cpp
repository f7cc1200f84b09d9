#include "capture/ShortcutRecorderView.h"

#include <QAction>
#include <QApplication>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>

using namespace tessaline;

namespace {

constexpr quint8 ctrl = GlobalShortcutModifiers::commandBit;
constexpr quint8 alt = GlobalShortcutModifiers::optionBit;
constexpr quint8 super = GlobalShortcutModifiers::controlBit;

GlobalShortcut shortcut(quint32 keyCode, quint8 modifiers)
{
    return GlobalShortcut{keyCode, GlobalShortcutModifiers(modifiers)};
}

// A window holding the field, a plain button to take focus, and a window
// shortcut that must stay silent while the field records.
struct Window
{
    Window()
    {
        auto *layout = new QVBoxLayout(&window);
        field = new ShortcutRecorderView(QStringLiteral("Capture Region shortcut"));
        layout->addWidget(field);
        other = new QPushButton(QStringLiteral("Other"));
        layout->addWidget(other);
        action = new QAction(&window);
        action->setShortcut(QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_K));
        action->setShortcutContext(Qt::WindowShortcut);
        window.addAction(action);
        field->model().onChange = [this](const std::optional<GlobalShortcut> &value) -> Expected<void, QString> {
            applied.append(value);
            if (answer)
                return unexpected(*answer);
            return {};
        };
        field->setShortcut(shortcut(21, ctrl | super));
        window.show();
        QApplication::setActiveWindow(&window);
        other->setFocus();
    }

    QWidget window;
    ShortcutRecorderView *field = nullptr;
    QPushButton *other = nullptr;
    QAction *action = nullptr;
    QList<std::optional<GlobalShortcut>> applied;
    std::optional<QString> answer;
};

} // namespace

class TestShortcutRecorderView : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void clickRecordsAndWindowShortcutsStaySilent()
    {
        Window w;
        QVERIFY(QTest::qWaitForWindowActive(&w.window));
        QSignalSpy triggered(w.action, &QAction::triggered);
        ShortcutRecorderControl *control = w.field->control();
        QCOMPARE(control->text(), QStringLiteral("Ctrl+Super+4"));
        QCOMPARE(control->toolTip(), QStringLiteral("Click, then type a shortcut. Press Escape to cancel."));

        QTest::mouseClick(control, Qt::LeftButton);
        QVERIFY(w.field->model().isRecording());
        QVERIFY(control->hasFocus());
        QCOMPARE(control->text(), QStringLiteral("Type shortcut\u2026"));

        // Holding Ctrl previews it; the press alone commits nothing.
        QTest::keyPress(control, Qt::Key_Control);
        QCOMPARE(control->text(), QStringLiteral("Ctrl+\u2026"));
        QTest::keyRelease(control, Qt::Key_Control, Qt::ControlModifier);
        QCOMPARE(control->text(), QStringLiteral("Type shortcut\u2026"));
        QVERIFY(w.applied.isEmpty());

        // Tab neither moves focus nor is taken: it needs a modifier.
        QTest::keyClick(control, Qt::Key_Tab);
        QVERIFY(control->hasFocus());
        QVERIFY(w.field->model().isRecording());
        QCOMPARE(control->text(), QStringLiteral("Try another shortcut"));

        // A combination the window has a shortcut for comes to the recorder.
        QTest::keyClick(control, Qt::Key_K, Qt::ControlModifier | Qt::AltModifier);
        QCOMPARE(triggered.count(), 0);
        QCOMPARE(w.applied, (QList<std::optional<GlobalShortcut>>{shortcut(40, ctrl | alt)}));
        QVERIFY(!w.field->model().isRecording());
        QVERIFY(!control->hasFocus());
        QCOMPARE(control->text(), QStringLiteral("Ctrl+Alt+K"));

        // Idle again, the window's shortcut works as before.
        w.other->setFocus();
        QTest::keyClick(w.other, Qt::Key_K, Qt::ControlModifier | Qt::AltModifier);
        QCOMPARE(triggered.count(), 1);
    }

    void escapeAndFocusLossCancel()
    {
        Window w;
        QVERIFY(QTest::qWaitForWindowActive(&w.window));
        ShortcutRecorderControl *control = w.field->control();

        QTest::mouseClick(control, Qt::LeftButton);
        QTest::keyClick(control, Qt::Key_Escape);
        QVERIFY(!w.field->model().isRecording());
        QCOMPARE(control->text(), QStringLiteral("Ctrl+Super+4"));

        QTest::mouseClick(control, Qt::LeftButton);
        QVERIFY(w.field->model().isRecording());
        w.other->setFocus(Qt::MouseFocusReason);
        QVERIFY(!w.field->model().isRecording());
        QCOMPARE(control->text(), QStringLiteral("Ctrl+Super+4"));
        QVERIFY(w.applied.isEmpty());
    }

    void ownerRefusalKeepsRecording()
    {
        Window w;
        QVERIFY(QTest::qWaitForWindowActive(&w.window));
        ShortcutRecorderControl *control = w.field->control();
        QSignalSpy reported(&w.field->model(), &ShortcutRecorderModel::validationMessageReported);
        w.answer = QStringLiteral("Taken by another app.");
        QTest::mouseClick(control, Qt::LeftButton);
        QTest::keyPress(control, Qt::Key_J, Qt::ControlModifier | Qt::MetaModifier);
        QVERIFY(w.field->model().isRecording());
        QCOMPARE(control->text(), QStringLiteral("Try another shortcut"));
        QCOMPARE(control->accessibleDescription(), QStringLiteral("Taken by another app."));
        QTest::keyRelease(control, Qt::Key_J, Qt::ControlModifier | Qt::MetaModifier);
        QCOMPARE(reported.last().first().value<std::optional<QString>>(), w.answer);

        w.answer = std::nullopt;
        QTest::keyClick(control, Qt::Key_J, Qt::ControlModifier | Qt::MetaModifier);
        QVERIFY(!w.field->model().isRecording());
        QCOMPARE(reported.last().first().value<std::optional<QString>>(), std::nullopt);
    }

    void clearButtonTurnsTheShortcutOff()
    {
        Window w;
        QToolButton *clear = w.field->clearButton();
        QVERIFY(clear->isEnabled());
        QCOMPARE(clear->accessibleName(), QStringLiteral("Disable Capture Region shortcut"));
        QTest::mouseClick(clear, Qt::LeftButton);
        QCOMPARE(w.applied, (QList<std::optional<GlobalShortcut>>{std::nullopt}));

        // The owner's new value comes back in and the button follows it.
        w.field->setShortcut(std::nullopt);
        QVERIFY(!clear->isEnabled());
        QCOMPARE(w.field->control()->text(), QStringLiteral("Record Shortcut"));
        QCOMPARE(w.field->control()->accessibleDescription(), QStringLiteral("Disabled"));
    }
};

QTEST_MAIN(TestShortcutRecorderView)
#include "tst_shortcutrecorderview.moc"

#include "capture/ShortcutRecorderModel.h"
#include "platform/KeyPositions.h"

#include <QSignalSpy>
#include <QTest>

using namespace tessaline;

namespace {

constexpr quint8 ctrl = GlobalShortcutModifiers::commandBit;
constexpr quint8 alt = GlobalShortcutModifiers::optionBit;
constexpr quint8 super = GlobalShortcutModifiers::controlBit;
constexpr quint8 shift = GlobalShortcutModifiers::shiftBit;

GlobalShortcut shortcut(quint32 keyCode, quint8 modifiers)
{
    return GlobalShortcut{keyCode, GlobalShortcutModifiers(modifiers)};
}

using Outcome = ShortcutRecorderModel::KeyOutcome;

const QString missingModifier = QStringLiteral("Add Ctrl, Alt, or Super so the shortcut cannot fire while typing.");

} // namespace

class TestShortcutRecorderModel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void titleFollowsTheCommittedShortcut()
    {
        ShortcutRecorderModel model;
        QCOMPARE(model.title(), QStringLiteral("Record Shortcut"));
        QCOMPARE(model.accessibleValue(), QStringLiteral("Disabled"));
        QVERIFY(!model.canClear());

        model.setCommittedShortcut(shortcut(21, ctrl | super));
        QCOMPARE(model.title(), QStringLiteral("Ctrl+Super+4"));
        QCOMPARE(model.accessibleValue(), QStringLiteral("Ctrl+Super+4"));
        QVERIFY(model.canClear());

        // A code the catalog does not know still shows, as unavailable.
        model.setCommittedShortcut(shortcut(200, ctrl));
        QCOMPARE(model.title(), QStringLiteral("Unavailable"));
    }

    void escapeAloneCancelsAndChangesNothing()
    {
        ShortcutRecorderModel model;
        model.setCommittedShortcut(shortcut(45, ctrl | super));
        int calls = 0;
        model.onChange = [&calls](const std::optional<GlobalShortcut> &) -> Expected<void, QString> {
            ++calls;
            return {};
        };
        QSignalSpy recording(&model, &ShortcutRecorderModel::recordingChanged);
        QSignalSpy reported(&model, &ShortcutRecorderModel::validationMessageReported);

        model.beginRecording();
        QVERIFY(model.isRecording());
        QCOMPARE(model.title(), QStringLiteral("Type shortcut\u2026"));
        QCOMPARE(model.accessibleValue(), QStringLiteral("Recording. Type a shortcut, or press Escape to cancel."));

        QCOMPARE(model.handleKey(53, GlobalShortcutModifiers()), Outcome::cancelled);
        QVERIFY(!model.isRecording());
        QCOMPARE(model.title(), QStringLiteral("Ctrl+Super+N"));
        QCOMPARE(model.committedShortcut(), shortcut(45, ctrl | super));
        QCOMPARE(calls, 0);
        QCOMPARE(reported.count(), 0);
        QCOMPARE(recording.count(), 2);

        // Keys pressed while idle belong to the button, not the recorder.
        QCOMPARE(model.handleKey(40, GlobalShortcutModifiers(ctrl | alt)), Outcome::ignored);
        QCOMPARE(calls, 0);
    }

    void candidates_data()
    {
        QTest::addColumn<quint32>("keyCode");
        QTest::addColumn<quint8>("modifiers");
        QTest::addColumn<QString>("ownerAnswer"); // empty: the owner accepts
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QString>("message");     // reported and read out; empty: none
        QTest::addColumn<bool>("ownerAsked");

        const QString none;
        QTest::newRow("plain letter") << quint32(0) << quint8(0) << none << int(Outcome::refused) << missingModifier << false;
        QTest::newRow("shift is not enough") << quint32(0) << shift << none << int(Outcome::refused) << missingModifier << false;
        // Backspace and Delete mean nothing special: the clear button turns a shortcut off.
        QTest::newRow("plain backspace") << quint32(51) << quint8(0) << none << int(Outcome::refused) << missingModifier << false;
        QTest::newRow("plain delete") << quint32(117) << quint8(0) << none << int(Outcome::refused) << missingModifier << false;
        QTest::newRow("unknown key") << quint32(ShortcutRecorderModel::unknownKeyCode) << quint8(ctrl) << none
                                     << int(Outcome::refused)
                                     << QStringLiteral("That key cannot be used as a global shortcut.") << false;
        QTest::newRow("reserved by the desktop") << quint32(48) << alt << none << int(Outcome::refused)
                                                 << QStringLiteral("That shortcut is reserved by the desktop for switching windows.")
                                                 << false;
        QTest::newRow("owner refuses") << quint32(40) << quint8(ctrl | alt) << QStringLiteral("Already taken.")
                                       << int(Outcome::refused) << QStringLiteral("Already taken.") << true;
        QTest::newRow("escape with modifiers") << quint32(53) << quint8(ctrl | super) << none << int(Outcome::accepted)
                                               << none << true;
        QTest::newRow("ctrl alt k") << quint32(40) << quint8(ctrl | alt) << none << int(Outcome::accepted) << none << true;
        QTest::newRow("super f5") << quint32(96) << super << none << int(Outcome::accepted) << none << true;
    }

    void candidates()
    {
        QFETCH(quint32, keyCode);
        QFETCH(quint8, modifiers);
        QFETCH(QString, ownerAnswer);
        QFETCH(int, outcome);
        QFETCH(QString, message);
        QFETCH(bool, ownerAsked);

        const GlobalShortcut previous = shortcut(21, ctrl | super);
        ShortcutRecorderModel model;
        model.setCommittedShortcut(previous);
        QList<std::optional<GlobalShortcut>> asked;
        model.onChange = [&](const std::optional<GlobalShortcut> &candidate) -> Expected<void, QString> {
            asked.append(candidate);
            if (!ownerAnswer.isEmpty())
                return unexpected(ownerAnswer);
            return {};
        };
        QSignalSpy reported(&model, &ShortcutRecorderModel::validationMessageReported);
        QSignalSpy refused(&model, &ShortcutRecorderModel::refused);

        model.beginRecording();
        const GlobalShortcut candidate = shortcut(keyCode, modifiers);
        QCOMPARE(int(model.handleKey(keyCode, GlobalShortcutModifiers(modifiers))), outcome);

        QCOMPARE(asked.count(), ownerAsked ? 1 : 0);
        if (ownerAsked)
            QCOMPARE(asked.first(), std::optional<GlobalShortcut>(candidate));
        QCOMPARE(reported.count(), 1);
        const auto reportedMessage = reported.first().first().value<std::optional<QString>>();
        QCOMPARE(reportedMessage.value_or(QString()), message);

        if (outcome == int(Outcome::refused)) {
            QVERIFY(model.isRecording());
            QCOMPARE(model.title(), QStringLiteral("Try another shortcut"));
            QCOMPARE(model.accessibleValue(), message);
            QCOMPARE(model.committedShortcut(), std::optional<GlobalShortcut>(previous));
            QCOMPARE(refused.count(), 1);
        } else {
            QVERIFY(!model.isRecording());
            QCOMPARE(model.committedShortcut(), std::optional<GlobalShortcut>(candidate));
            QCOMPARE(model.title(), candidate.displayText());
            QCOMPARE(refused.count(), 0);
        }
    }

    void refusedCandidateKeepsRecordingUntilAnAcceptedOne()
    {
        ShortcutRecorderModel model;
        model.onChange = [](const std::optional<GlobalShortcut> &) -> Expected<void, QString> { return {}; };
        model.beginRecording();
        QCOMPARE(model.handleKey(0, GlobalShortcutModifiers()), Outcome::refused);
        QCOMPARE(model.title(), QStringLiteral("Try another shortcut"));
        model.previewModifiers(GlobalShortcutModifiers(ctrl));
        QCOMPARE(model.title(), QStringLiteral("Ctrl+\u2026"));
        // Letting go of a refused combination keeps the refusal on show.
        QCOMPARE(model.handleKey(0, GlobalShortcutModifiers(shift)), Outcome::refused);
        model.previewModifiers(GlobalShortcutModifiers());
        QCOMPARE(model.title(), QStringLiteral("Try another shortcut"));
        model.previewModifiers(GlobalShortcutModifiers(ctrl));
        QCOMPARE(model.title(), QStringLiteral("Ctrl+\u2026"));
        QCOMPARE(model.handleKey(0, GlobalShortcutModifiers(ctrl | shift)), Outcome::accepted);
        QCOMPARE(model.committedShortcut(), std::optional<GlobalShortcut>(shortcut(0, ctrl | shift)));
    }

    void modifiersArePreviewedWhileRecording()
    {
        ShortcutRecorderModel model;
        model.previewModifiers(GlobalShortcutModifiers(ctrl | super));
        QCOMPARE(model.title(), QStringLiteral("Record Shortcut")); // idle: no preview

        model.beginRecording();
        model.previewModifiers(GlobalShortcutModifiers(ctrl | super));
        QCOMPARE(model.title(), QStringLiteral("Ctrl+Super+\u2026"));
        model.previewModifiers(GlobalShortcutModifiers(ctrl | alt | shift | super));
        QCOMPARE(model.title(), QStringLiteral("Ctrl+Alt+Shift+Super+\u2026"));
        model.previewModifiers(GlobalShortcutModifiers());
        QCOMPARE(model.title(), QStringLiteral("Type shortcut\u2026"));
        QVERIFY(model.isRecording());
        QCOMPARE(model.committedShortcut(), std::nullopt);
    }

    void ownerUpdateDuringRecordingKeepsThePrompt()
    {
        ShortcutRecorderModel model;
        model.beginRecording();
        model.setCommittedShortcut(shortcut(45, ctrl | super));
        QCOMPARE(model.title(), QStringLiteral("Type shortcut\u2026"));
        model.cancelRecording();
        QCOMPARE(model.title(), QStringLiteral("Ctrl+Super+N"));
    }

    void clearHandsNoneToTheOwner()
    {
        ShortcutRecorderModel model;
        model.setAccessibleLabel(QStringLiteral("Quick Note shortcut"));
        QCOMPARE(model.clearButtonTitle(), QStringLiteral("Disable Quick Note shortcut"));
        model.setCommittedShortcut(shortcut(45, ctrl | super));
        QList<std::optional<GlobalShortcut>> asked;
        std::optional<QString> answer = QStringLiteral("Could not turn it off.");
        model.onChange = [&](const std::optional<GlobalShortcut> &value) -> Expected<void, QString> {
            asked.append(value);
            if (answer)
                return unexpected(*answer);
            return {};
        };
        QSignalSpy reported(&model, &ShortcutRecorderModel::validationMessageReported);
        model.clear();
        answer = std::nullopt;
        model.clear();
        QCOMPARE(asked, (QList<std::optional<GlobalShortcut>>{std::nullopt, std::nullopt}));
        QCOMPARE(reported.count(), 2);
        QCOMPARE(reported.at(0).first().value<std::optional<QString>>(), std::optional<QString>(QStringLiteral("Could not turn it off.")));
        QCOMPARE(reported.at(1).first().value<std::optional<QString>>(), std::nullopt);
        // The owner's next value, not the clear itself, changes what shows.
        QCOMPARE(model.committedShortcut(), std::optional<GlobalShortcut>(shortcut(45, ctrl | super)));
    }

    void qtModifiers_data()
    {
        QTest::addColumn<int>("qtModifiers");
        QTest::addColumn<quint8>("expected");
        QTest::newRow("none") << int(Qt::NoModifier) << quint8(0);
        QTest::newRow("ctrl is command") << int(Qt::ControlModifier) << ctrl;
        QTest::newRow("alt is option") << int(Qt::AltModifier) << alt;
        QTest::newRow("super is control") << int(Qt::MetaModifier) << super;
        QTest::newRow("shift") << int(Qt::ShiftModifier) << shift;
        QTest::newRow("keypad and group switch ignored")
            << int(Qt::KeypadModifier | Qt::GroupSwitchModifier | Qt::ControlModifier) << ctrl;
        QTest::newRow("all four") << int(Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier | Qt::ShiftModifier)
                                  << quint8(ctrl | alt | super | shift);
    }

    void qtModifiers()
    {
        QFETCH(int, qtModifiers);
        QFETCH(quint8, expected);
        QCOMPARE(ShortcutRecorderModel::modifiers(Qt::KeyboardModifiers(qtModifiers)).rawValue(), expected);
    }

    void modifierKeyEvents_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("qtModifiers");
        QTest::addColumn<bool>("pressed");
        QTest::addColumn<quint8>("expected");
        // A press reports the state from before its own key went down.
        QTest::newRow("ctrl down") << int(Qt::Key_Control) << int(Qt::NoModifier) << true << ctrl;
        QTest::newRow("super down with ctrl") << int(Qt::Key_Super_L) << int(Qt::ControlModifier) << true
                                              << quint8(ctrl | super);
        QTest::newRow("meta down") << int(Qt::Key_Meta) << int(Qt::NoModifier) << true << super;
        QTest::newRow("ctrl up with super") << int(Qt::Key_Control) << int(Qt::ControlModifier | Qt::MetaModifier)
                                            << false << super;
        QTest::newRow("alt up") << int(Qt::Key_Alt) << int(Qt::AltModifier) << false << quint8(0);
        QTest::newRow("caps lock adds nothing") << int(Qt::Key_CapsLock) << int(Qt::ShiftModifier) << true << shift;
    }

    void modifierKeyEvents()
    {
        QFETCH(int, key);
        QFETCH(int, qtModifiers);
        QFETCH(bool, pressed);
        QFETCH(quint8, expected);
        QVERIFY(ShortcutRecorderModel::isModifierKey(key));
        QCOMPARE(ShortcutRecorderModel::modifiersAfter(key, Qt::KeyboardModifiers(qtModifiers), pressed).rawValue(),
                 expected);
    }

    void keyCodes_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("qtModifiers");
        QTest::addColumn<int>("xKeyCode"); // -1: none
        QTest::addColumn<quint32>("expected");
        QTest::newRow("4") << int(Qt::Key_4) << 0 << -1 << quint32(21);
        QTest::newRow("shifted 4 is the same key") << int(Qt::Key_Dollar) << int(Qt::ShiftModifier) << -1 << quint32(21);
        QTest::newRow("N") << int(Qt::Key_N) << int(Qt::ControlModifier) << -1 << quint32(45);
        QTest::newRow("keypad 4") << int(Qt::Key_4) << int(Qt::KeypadModifier) << -1 << quint32(86);
        QTest::newRow("keypad enter") << int(Qt::Key_Enter) << int(Qt::KeypadModifier) << -1 << quint32(76);
        QTest::newRow("escape") << int(Qt::Key_Escape) << 0 << -1 << quint32(53);
        QTest::newRow("backtab is tab") << int(Qt::Key_Backtab) << int(Qt::ShiftModifier) << -1 << quint32(48);
        QTest::newRow("F5") << int(Qt::Key_F5) << 0 << -1 << quint32(96);
        QTest::newRow("forward delete") << int(Qt::Key_Delete) << 0 << -1 << quint32(117);
        QTest::newRow("print") << int(Qt::Key_Print) << 0 << -1 << quint32(105);
        QTest::newRow("volume key") << int(Qt::Key_VolumeUp) << 0 << -1 << ShortcutRecorderModel::unknownKeyCode;
        // The X key code names the place: evdev 5 (+8) is the 4 key whatever
        // the layout prints on it.
        QTest::newRow("x key of 4 on another layout") << int(Qt::Key_Apostrophe) << 0 << 13 << quint32(21);
        QTest::newRow("x key of keypad 4") << int(Qt::Key_Left) << 0 << 83 << quint32(86);
        QTest::newRow("x key unknown falls back") << int(Qt::Key_K) << 0 << 250 << quint32(40);
    }

    void keyCodes()
    {
        QFETCH(int, key);
        QFETCH(int, qtModifiers);
        QFETCH(int, xKeyCode);
        QFETCH(quint32, expected);
        const std::optional<quint32> placed = xKeyCode < 0 ? std::nullopt : KeyPositions::storedKeyCode(quint32(xKeyCode));
        QCOMPARE(ShortcutRecorderModel::catalogKeyCode(key, Qt::KeyboardModifiers(qtModifiers), placed), expected);
    }
};

QTEST_GUILESS_MAIN(TestShortcutRecorderModel)
#include "tst_shortcutrecordermodel.moc"

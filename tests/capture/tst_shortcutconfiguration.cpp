#include "capture/GlobalShortcutConfigurationStore.h"
#include "capture/GlobalShortcutKeyCatalog.h"
#include "platform/UserDefaults.h"

#include <QTemporaryDir>
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

const QByteArray defaultJson = R"({"capture":{"keyCode":21,"modifiers":5},"quickThought":{"keyCode":45,"modifiers":5}})";

} // namespace

using OptionalConfiguration = std::optional<GlobalShortcutConfiguration>;

class ShortcutConfigurationTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void displayText_data();
    void displayText();
    void catalog();
    void validation_data();
    void validation();
    void load_data();
    void load();
    void saveWritesTheStoredForm();
    void saveDropsInvalidConfigurations();
};

void ShortcutConfigurationTest::displayText_data()
{
    QTest::addColumn<GlobalShortcut>("shortcut");
    QTest::addColumn<QString>("text");
    QTest::newRow("default capture") << shortcut(21, ctrl | super) << "Ctrl+Super+4";
    QTest::newRow("every modifier, in order") << shortcut(49, ctrl | alt | shift | super) << "Ctrl+Alt+Shift+Super+Space";
    QTest::newRow("minus sign") << shortcut(27, alt) << QString::fromUtf16(u"Alt+\u2212");
    QTest::newRow("print position") << shortcut(105, super) << "Super+Print";
    QTest::newRow("modifier key itself") << shortcut(55, ctrl) << "Unavailable";
    QTest::newRow("caps lock") << shortcut(57, ctrl) << "Unavailable";
    QTest::newRow("past the table") << shortcut(127, ctrl) << "Unavailable";
}

void ShortcutConfigurationTest::displayText()
{
    QFETCH(GlobalShortcut, shortcut);
    QFETCH(QString, text);
    QCOMPARE(shortcut.displayText(), text);
}

void ShortcutConfigurationTest::catalog()
{
    int listed = 0;
    int withEquivalent = 0;
    for (quint32 code = 0; code < 140; ++code) {
        const auto descriptor = GlobalShortcutKeyCatalog::descriptor(code);
        if (!descriptor)
            continue;
        ++listed;
        if (descriptor->keyEquivalent) {
            ++withEquivalent;
            QVERIFY2(code <= 50, qPrintable(QString::number(code)));
        }
    }
    QCOMPARE(listed, 100);
    QCOMPARE(withEquivalent, 51);
    QCOMPARE(GlobalShortcutKeyCatalog::descriptor(0)->keyEquivalent, std::optional<QString>(QStringLiteral("a")));
    QCOMPARE(GlobalShortcutKeyCatalog::descriptor(27)->keyEquivalent, std::optional<QString>(QStringLiteral("-")));
    QCOMPARE(GlobalShortcutKeyCatalog::descriptor(36)->keyEquivalent, std::optional<QString>(QStringLiteral("\r")));
    QCOMPARE(GlobalShortcutKeyCatalog::descriptor(10)->keyEquivalent, std::optional<QString>(QString::fromUtf16(u"\u00A7")));
    QCOMPARE(GlobalShortcutModifiers(ctrl | alt | shift | super).carbonFlags(), 0x1B00u);
}

void ShortcutConfigurationTest::validation_data()
{
    QTest::addColumn<GlobalShortcutConfiguration>("configuration");
    QTest::addColumn<QString>("message"); // empty: valid

    QTest::newRow("defaults") << GlobalShortcutConfiguration::defaults() << "";
    QTest::newRow("both off") << GlobalShortcutConfiguration{} << "";
    QTest::newRow("function key without equivalent") << GlobalShortcutConfiguration{shortcut(96, ctrl), std::nullopt} << "";
    QTest::newRow("shift only") << GlobalShortcutConfiguration{shortcut(96, shift), std::nullopt}
                                << "Add Ctrl, Alt, or Super so the shortcut cannot fire while typing.";
    QTest::newRow("unknown key") << GlobalShortcutConfiguration{std::nullopt, shortcut(57, ctrl)}
                                 << "That key cannot be used as a global shortcut.";
    QTest::newRow("same twice") << GlobalShortcutConfiguration{shortcut(20, ctrl), shortcut(20, ctrl)}
                                << "Capture Region and Quick Note need different shortcuts.";
    QTest::newRow("switching windows") << GlobalShortcutConfiguration{shortcut(48, alt), std::nullopt}
                                       << "That shortcut is reserved by the desktop for switching windows.";
    QTest::newRow("locking the screen") << GlobalShortcutConfiguration{shortcut(37, super), std::nullopt}
                                        << "That shortcut is reserved by the desktop for locking the screen.";
    QTest::newRow("logging out") << GlobalShortcutConfiguration{shortcut(117, ctrl | alt), std::nullopt}
                                 << "That shortcut is reserved by the desktop for logging out.";
    QTest::newRow("screenshots") << GlobalShortcutConfiguration{shortcut(105, alt), std::nullopt}
                                 << "That shortcut is reserved by the desktop for screenshots.";
    QTest::newRow("extra modifier frees it") << GlobalShortcutConfiguration{shortcut(37, super | alt), std::nullopt} << "";
    // The first issue found wins: capture is checked before quick note.
    QTest::newRow("capture first") << GlobalShortcutConfiguration{shortcut(57, ctrl), shortcut(20, shift)}
                                   << "That key cannot be used as a global shortcut.";
}

void ShortcutConfigurationTest::validation()
{
    QFETCH(GlobalShortcutConfiguration, configuration);
    QFETCH(QString, message);
    const auto issue = configuration.validationIssue();
    QCOMPARE(issue ? issue->message() : QString(), message);
}

void ShortcutConfigurationTest::load_data()
{
    QTest::addColumn<QVariant>("stored");          // invalid: key absent
    QTest::addColumn<QString>("legacyCapture");    // empty: absent
    QTest::addColumn<QString>("legacyQuickThought");
    QTest::addColumn<GlobalShortcutConfiguration>("expected");
    QTest::addColumn<QByteArray>("storedAfter");   // empty: key absent

    const GlobalShortcutConfiguration defaults = GlobalShortcutConfiguration::defaults();
    QTest::newRow("fresh") << QVariant() << "" << "" << defaults << QByteArray();
    QTest::newRow("stored pair") << QVariant(QByteArray(R"({"quickThought":{"modifiers":3,"keyCode":17},"capture":{"keyCode":20,"modifiers":6}})"))
                                 << "four" << "n"
                                 << GlobalShortcutConfiguration{shortcut(20, alt | super), shortcut(17, ctrl | alt)}
                                 << QByteArray(R"({"quickThought":{"modifiers":3,"keyCode":17},"capture":{"keyCode":20,"modifiers":6}})");
    QTest::newRow("only capture") << QVariant(QByteArray(R"({"capture":{"keyCode":20,"modifiers":5}})")) << "" << ""
                                  << GlobalShortcutConfiguration{shortcut(20, ctrl | super), std::nullopt}
                                  << QByteArray(R"({"capture":{"keyCode":20,"modifiers":5}})");
    QTest::newRow("both off") << QVariant(QByteArray("{}")) << "" << "" << GlobalShortcutConfiguration{} << QByteArray("{}");
    QTest::newRow("equal pair is ignored") << QVariant(QByteArray(R"({"capture":{"keyCode":20,"modifiers":5},"quickThought":{"keyCode":20,"modifiers":5}})"))
                                           << "" << "" << defaults
                                           << QByteArray(R"({"capture":{"keyCode":20,"modifiers":5},"quickThought":{"keyCode":20,"modifiers":5}})");
    QTest::newRow("modifiers above 255") << QVariant(QByteArray(R"({"capture":{"keyCode":20,"modifiers":256}})"))
                                         << "" << "" << defaults << QByteArray(R"({"capture":{"keyCode":20,"modifiers":256}})");
    QTest::newRow("missing modifiers") << QVariant(QByteArray(R"({"capture":{"keyCode":20}})")) << "" << "" << defaults
                                       << QByteArray(R"({"capture":{"keyCode":20}})");
    QTest::newRow("not JSON, legacy keys") << QVariant(QByteArray("garbage")) << "four" << "n"
                                           << defaults << defaultJson;
    QTest::newRow("legacy three and t") << QVariant() << "three" << "t"
                                        << GlobalShortcutConfiguration{shortcut(20, ctrl | super), shortcut(17, ctrl | super)}
                                        << QByteArray(R"({"capture":{"keyCode":20,"modifiers":5},"quickThought":{"keyCode":17,"modifiers":5}})");
    QTest::newRow("legacy pair equal") << QVariant() << "four" << "four" << defaults << QByteArray();
    QTest::newRow("legacy unknown name") << QVariant() << "seven" << "n" << defaults << QByteArray();
    QTest::newRow("legacy half there") << QVariant() << "four" << "" << defaults << QByteArray();
}

void ShortcutConfigurationTest::load()
{
    QFETCH(QVariant, stored);
    QFETCH(QString, legacyCapture);
    QFETCH(QString, legacyQuickThought);
    QFETCH(GlobalShortcutConfiguration, expected);
    QFETCH(QByteArray, storedAfter);
    QTemporaryDir dir;
    UserDefaults defaults(dir.filePath(QStringLiteral("settings.ini")));
    if (stored.isValid())
        defaults.setData(GlobalShortcutConfigurationStore::configurationKey(), stored.toByteArray());
    if (!legacyCapture.isEmpty())
        defaults.setString(GlobalShortcutConfigurationStore::legacyCaptureKey(), legacyCapture);
    if (!legacyQuickThought.isEmpty())
        defaults.setString(GlobalShortcutConfigurationStore::legacyQuickThoughtKey(), legacyQuickThought);
    GlobalShortcutConfigurationStore store(defaults);
    QCOMPARE(store.load(), expected);
    QCOMPARE(defaults.data(GlobalShortcutConfigurationStore::configurationKey()).value_or(QByteArray()), storedAfter);
    // The older keys are never removed.
    QCOMPARE(defaults.contains(GlobalShortcutConfigurationStore::legacyCaptureKey()), !legacyCapture.isEmpty());
}

void ShortcutConfigurationTest::saveWritesTheStoredForm()
{
    QTemporaryDir dir;
    UserDefaults defaults(dir.filePath(QStringLiteral("settings.ini")));
    GlobalShortcutConfigurationStore store(defaults);
    store.save(GlobalShortcutConfiguration::defaults());
    QCOMPARE(*defaults.data(GlobalShortcutConfigurationStore::configurationKey()), defaultJson);
    store.save(GlobalShortcutConfiguration{std::nullopt, shortcut(45, ctrl | super)});
    QCOMPARE(*defaults.data(GlobalShortcutConfigurationStore::configurationKey()),
             QByteArray(R"({"quickThought":{"keyCode":45,"modifiers":5}})"));
    // Survives a reopen of the settings file.
    defaults.sync();
    UserDefaults reopened(dir.filePath(QStringLiteral("settings.ini")));
    GlobalShortcutConfigurationStore reopenedStore(reopened);
    QCOMPARE(reopenedStore.load(), (GlobalShortcutConfiguration{std::nullopt, shortcut(45, ctrl | super)}));
}

void ShortcutConfigurationTest::saveDropsInvalidConfigurations()
{
    QTemporaryDir dir;
    UserDefaults defaults(dir.filePath(QStringLiteral("settings.ini")));
    GlobalShortcutConfigurationStore store(defaults);
    store.save(GlobalShortcutConfiguration{shortcut(20, ctrl), shortcut(20, ctrl)});
    store.save(GlobalShortcutConfiguration{shortcut(48, alt), std::nullopt});
    QVERIFY(!defaults.contains(GlobalShortcutConfigurationStore::configurationKey()));
}

QTEST_GUILESS_MAIN(ShortcutConfigurationTest)
#include "tst_shortcutconfiguration.moc"

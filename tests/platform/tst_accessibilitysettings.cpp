#include "platform/AccessibilitySettings.h"
#include "platform/UserDefaults.h"

#include <QSemaphore>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace tessaline;

class AccessibilitySettingsTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void desktopSeedsReduceMotion_data();
    void desktopSeedsReduceMotion();
    void desktopAnswersWithoutHoldingUpTheLoad();
    void settersPersistAndSignalOnlyOnChange();
    void followsSettingsWrittenElsewhere();
};

void AccessibilitySettingsTest::desktopSeedsReduceMotion_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<int>("desktop"); // -1 unknown, 0 no animations, 1 animations
    QTest::addColumn<bool>("expected");
    QTest::addColumn<bool>("probeAsked");

    QTest::newRow("nothing anywhere") << QVariant() << -1 << false << true;
    QTest::newRow("desktop animates") << QVariant() << 1 << false << true;
    QTest::newRow("desktop without animations") << QVariant() << 0 << true << true;
    QTest::newRow("our NO beats the desktop") << QVariant("NO") << 0 << false << false;
    QTest::newRow("our yes beats the desktop") << QVariant("yes") << 1 << true << false;
}

void AccessibilitySettingsTest::desktopSeedsReduceMotion()
{
    QFETCH(QVariant, stored);
    QFETCH(int, desktop);
    QFETCH(bool, expected);
    QFETCH(bool, probeAsked);

    QTemporaryDir dir;
    UserDefaults defaults(dir.filePath("defaults.conf"));
    if (stored.isValid())
        defaults.setValue(AccessibilitySettings::reduceMotionKey, stored);

    bool asked = false;
    AccessibilitySettings settings;
    settings.load(&defaults, [&]() -> std::optional<bool> {
        asked = true;
        if (desktop < 0)
            return std::nullopt;
        return desktop == 1;
    });
    QCOMPARE(settings.reducesMotion(), expected);
    QCOMPARE(asked, probeAsked);
    // The desktop's answer is not written into our settings.
    QCOMPARE(defaults.contains(AccessibilitySettings::reduceMotionKey), stored.isValid());
    QCOMPARE(settings.reducesTransparency(), false);
    QCOMPARE(settings.increasesContrast(), false);
}

// The desktop's tool takes a while to start: the load goes on without it,
// and the first read of reduce motion has its answer.
void AccessibilitySettingsTest::desktopAnswersWithoutHoldingUpTheLoad()
{
    QTemporaryDir dir;
    UserDefaults defaults(dir.filePath("defaults.conf"));
    AccessibilitySettings settings;
    QSemaphore loaded;
    settings.load(&defaults, [&]() -> std::optional<bool> {
        // Answers "no animations" only once the load has returned; a probe
        // asked within the load gives up after a while and knows nothing.
        if (!loaded.tryAcquire(1, 3000))
            return std::nullopt;
        return false;
    });
    loaded.release();
    QSignalSpy changed(&settings, &AccessibilitySettings::changed);
    QVERIFY(settings.reducesMotion());
    QVERIFY(settings.reducesMotion());
    // Said once, after the read, for whoever drew before the answer came.
    QCOMPARE(changed.count(), 0);
    QVERIFY(changed.wait());
    QCOMPARE(changed.count(), 1);
}

void AccessibilitySettingsTest::settersPersistAndSignalOnlyOnChange()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("defaults.conf");
    {
        UserDefaults defaults(path);
        AccessibilitySettings settings;
        settings.load(&defaults, [] { return std::optional<bool>(true); });
        QSignalSpy changed(&settings, &AccessibilitySettings::changed);

        settings.setIncreasesContrast(true);
        QCOMPARE(changed.count(), 1);
        settings.setIncreasesContrast(true);
        QCOMPARE(changed.count(), 1);
        settings.setReducesTransparency(true);
        settings.setReducesMotion(true);
        QCOMPARE(changed.count(), 3);
        defaults.sync();
    }
    UserDefaults reopened(path);
    AccessibilitySettings settings;
    settings.load(&reopened, [] { return std::optional<bool>(true); });
    QVERIFY(settings.reducesMotion());
    QVERIFY(settings.reducesTransparency());
    QVERIFY(settings.increasesContrast());
}

void AccessibilitySettingsTest::followsSettingsWrittenElsewhere()
{
    QTemporaryDir dir;
    UserDefaults defaults(dir.filePath("defaults.conf"));
    AccessibilitySettings settings;
    settings.load(&defaults, {});
    QSignalSpy changed(&settings, &AccessibilitySettings::changed);

    defaults.setBoolean(AccessibilitySettings::reduceTransparencyKey, true);
    QVERIFY(settings.reducesTransparency());
    QCOMPARE(changed.count(), 1);

    defaults.setValue(QStringLiteral("unrelated"), 1);
    QCOMPARE(changed.count(), 1);

    defaults.remove(AccessibilitySettings::reduceTransparencyKey);
    QVERIFY(!settings.reducesTransparency());
    QCOMPARE(changed.count(), 2);
}

QTEST_GUILESS_MAIN(AccessibilitySettingsTest)
#include "tst_accessibilitysettings.moc"

#include "platform/UserDefaults.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace tessaline;

class UserDefaultsTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void booleanConversion_data();
    void booleanConversion();
    void valuesSurviveReopening();
    void removeAndContains();
};

void UserDefaultsTest::booleanConversion_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<bool>("expected");
    QTest::newRow("NO") << QVariant("NO") << false;
    QTest::newRow("no") << QVariant("no") << false;
    QTest::newRow("yes") << QVariant("yes") << true;
    QTest::newRow("YES") << QVariant("YES") << true;
    QTest::newRow("true") << QVariant("true") << true;
    QTest::newRow("false") << QVariant("false") << false;
    QTest::newRow("text 0") << QVariant("0") << false;
    QTest::newRow("text 007") << QVariant("007") << true;
    QTest::newRow("text  -1") << QVariant("  -1") << true;
    QTest::newRow("number 0") << QVariant(0) << false;
    QTest::newRow("number 2") << QVariant(2) << true;
    QTest::newRow("bool true") << QVariant(true) << true;
    QTest::newRow("garbage") << QVariant("maybe") << false;
    QTest::newRow("absent") << QVariant() << false;
}

void UserDefaultsTest::booleanConversion()
{
    QFETCH(QVariant, stored);
    QFETCH(bool, expected);
    QTemporaryDir dir;
    const QString path = dir.filePath("defaults.conf");
    {
        UserDefaults defaults(path);
        if (stored.isValid())
            defaults.setValue("key", stored);
        defaults.sync();
    }
    // Read back from the file, where everything is text.
    UserDefaults reopened(path);
    QCOMPARE(reopened.boolean("key"), expected);
    QCOMPARE(userDefaultsBoolean(stored), expected);
}

void UserDefaultsTest::valuesSurviveReopening()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("defaults.conf");
    const QByteArray json = R"({"capture":{"keyCode":21,"modifiers":5}})";
    {
        UserDefaults defaults(path);
        defaults.setString("activeBoardID", "0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D");
        defaults.setData("tessaline.shortcuts.configuration.v2", json);
        defaults.setBoolean("remindersEnabled", true);
        defaults.setBoolean("automaticallyCopiesCaptures", false);
        defaults.sync();
    }
    UserDefaults reopened(path);
    QCOMPARE(reopened.string("activeBoardID"), std::optional<QString>("0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D"));
    QCOMPARE(reopened.data("tessaline.shortcuts.configuration.v2"), std::optional<QByteArray>(json));
    QVERIFY(reopened.boolean("remindersEnabled"));
    QCOMPARE(reopened.optionalBoolean("automaticallyCopiesCaptures"), std::optional<bool>(false));
    QCOMPARE(reopened.optionalBoolean("neverWritten"), std::optional<bool>());
}

void UserDefaultsTest::removeAndContains()
{
    QTemporaryDir dir;
    UserDefaults defaults(dir.filePath("defaults.conf"));
    QSignalSpy spy(&defaults, &UserDefaults::changed);
    defaults.setString("a", "b");
    QVERIFY(defaults.contains("a"));
    defaults.remove("a");
    QVERIFY(!defaults.contains("a"));
    QVERIFY(!defaults.string("a"));
    QCOMPARE(spy.count(), 2);
}

QTEST_GUILESS_MAIN(UserDefaultsTest)
#include "tst_userdefaults.moc"

#include "platform/UserDefaults.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

using namespace tessaline;

class UserDefaultsTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void booleanConversion_data();
    void booleanConversion();
    void valuesSurviveReopening();
    void removeAndContains();
    void aFileThatCannotBeWrittenIsSaidOnce();
    void settingsAreTheirOwnersAlone_data();
    void settingsAreTheirOwnersAlone();
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

// A settings file a full disk will not take: the user is told once, the
// settings stay as set, and a later sync with room writes them. The full
// disk is this process's file size limit, past which every write fails.
void UserDefaultsTest::aFileThatCannotBeWrittenIsSaidOnce()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("defaults.conf");
    UserDefaults defaults(path);
    defaults.setString("activeBoardID", "A");
    defaults.sync();
    QSignalSpy failures(&defaults, &UserDefaults::writeFailed);

    rlimit before{};
    ::getrlimit(RLIMIT_FSIZE, &before);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit full = before;
    full.rlim_cur = 1;
    ::setrlimit(RLIMIT_FSIZE, &full);
    defaults.setBoolean("automaticallyCopiesCaptures", false);
    defaults.sync();
    defaults.setString("activeBoardID", "B");
    defaults.sync();
    ::setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, previousHandler);

    QCOMPARE(failures.count(), 1);
    QVERIFY(failures.constFirst().constFirst().toString().contains(path));
    // Read as bytes: another settings object of this process on the same
    // file would share this one's unsaved values.
    const auto stored = [&path] {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    QVERIFY(stored().contains("activeBoardID=A"));
    QCOMPARE(defaults.optionalBoolean("automaticallyCopiesCaptures"), std::optional<bool>(false));
    defaults.sync();
    QVERIFY(stored().contains("activeBoardID=B"));
    QVERIFY(stored().contains("automaticallyCopiesCaptures=false"));
}

// The settings name notes and hold the shortcuts: other users may read
// neither them nor their folder, whether the folder is new or an earlier
// version left it and its file open to everyone.
void UserDefaultsTest::settingsAreTheirOwnersAlone_data()
{
    QTest::addColumn<bool>("leftBefore");
    QTest::addColumn<QFileDevice::Permissions>("filePermissions");
    using P = QFileDevice;
    const P::Permissions everyone = P::ReadOwner | P::WriteOwner | P::ReadUser | P::WriteUser | P::ReadGroup | P::ReadOther;
    QTest::newRow("new") << false << P::Permissions(P::ReadOwner | P::WriteOwner | P::ReadUser | P::WriteUser);
    QTest::newRow("left readable by everyone") << true << everyone;
}

void UserDefaultsTest::settingsAreTheirOwnersAlone()
{
    QFETCH(bool, leftBefore);
    QFETCH(QFileDevice::Permissions, filePermissions);
    QTemporaryDir dir;
    const QString folder = dir.filePath("Tessaline");
    const QString path = folder + "/Tessaline.conf";
    using P = QFileDevice;
    if (leftBefore) {
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(QFile::setPermissions(folder, P::ReadOwner | P::WriteOwner | P::ExeOwner | P::ReadUser | P::WriteUser
                                                  | P::ExeUser | P::ReadGroup | P::ExeGroup | P::ReadOther | P::ExeOther));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[General]\nremindersEnabled=true\n");
        file.close();
        QVERIFY(QFile::setPermissions(path, filePermissions));
    }
    {
        UserDefaults defaults(path);
        defaults.setString("activeBoardID", "A");
        defaults.sync();
        if (leftBefore)
            QVERIFY(defaults.boolean("remindersEnabled"));
    }
    const P::Permissions others = P::ReadGroup | P::WriteGroup | P::ExeGroup | P::ReadOther | P::WriteOther | P::ExeOther;
    QCOMPARE(QFile::permissions(folder) & others, P::Permissions());
    QCOMPARE(QFile::permissions(path), filePermissions & ~others);
}

QTEST_GUILESS_MAIN(UserDefaultsTest)
#include "tst_userdefaults.moc"

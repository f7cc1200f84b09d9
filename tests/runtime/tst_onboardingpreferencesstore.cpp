#include "runtime/OnboardingPreferencesStore.h"

#include "platform/UserDefaults.h"

#include <QTemporaryDir>
#include <QTest>

using namespace tessaline;

namespace {

OnboardingPreferences record(const QString &name, qint64 onboardingVersion, qint64 tourVersion)
{
    OnboardingPreferences preferences;
    preferences.profile.name = name;
    preferences.completedOnboardingVersion = onboardingVersion;
    preferences.completedTourVersion = tourVersion;
    return preferences;
}

} // namespace

class OnboardingPreferencesStoreTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void encodesKeysInDeclaredOrder_data();
    void encodesKeysInDeclaredOrder();
    void loadsStoredData_data();
    void loadsStoredData();
    void missingKeyAndNonDataValueReadAsDefaults();
    void recordSurvivesReopening();
    void unreadableRecordIsLeftUntilNextSave();
    void unencodableRecordKeepsPreviousData();
};

void OnboardingPreferencesStoreTest::encodesKeysInDeclaredOrder_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<qint64>("onboardingVersion");
    QTest::addColumn<qint64>("tourVersion");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("default record")
        << QString() << qint64(0) << qint64(0)
        << QByteArray(R"({"profile":{"name":""},"completedOnboardingVersion":0,"completedTourVersion":0})");
    QTest::newRow("completed")
        << QStringLiteral("Ada Lovelace") << qint64(1) << qint64(2)
        << QByteArray(R"({"profile":{"name":"Ada Lovelace"},"completedOnboardingVersion":1,"completedTourVersion":2})");
    QTest::newRow("escapes and raw UTF-8")
        << QStringLiteral("Zoë \"Z\" a/b\\c") << qint64(1) << qint64(1)
        << QByteArray("{\"profile\":{\"name\":\"Zo\xc3\xab \\\"Z\\\" a\\/b\\\\c\"},"
                      "\"completedOnboardingVersion\":1,\"completedTourVersion\":1}");
}

void OnboardingPreferencesStoreTest::encodesKeysInDeclaredOrder()
{
    QFETCH(QString, name);
    QFETCH(qint64, onboardingVersion);
    QFETCH(qint64, tourVersion);
    QFETCH(QByteArray, expected);
    const OnboardingPreferences preferences = record(name, onboardingVersion, tourVersion);
    const auto encoded = OnboardingPreferencesStore::encode(preferences);
    QVERIFY(encoded);
    QCOMPARE(*encoded, expected);
    QCOMPARE(OnboardingPreferencesStore::decode(*encoded), std::optional(preferences));
}

void OnboardingPreferencesStoreTest::loadsStoredData_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<bool>("readable");
    QTest::addColumn<QString>("name");
    QTest::addColumn<qint64>("onboardingVersion");
    QTest::addColumn<qint64>("tourVersion");

    QTest::newRow("other key order and extra keys")
        << QByteArray(R"({"completedTourVersion":1,"extra":[1,2],"profile":{"nickname":"x","name":"Grace"},"completedOnboardingVersion":1})")
        << true << QStringLiteral("Grace") << qint64(1) << qint64(1);
    QTest::newRow("versions ahead of this build")
        << QByteArray(R"({"profile":{"name":""},"completedOnboardingVersion":7,"completedTourVersion":9})")
        << true << QString() << qint64(7) << qint64(9);
    QTest::newRow("integral number written with a fraction")
        << QByteArray(R"({"profile":{"name":"A"},"completedOnboardingVersion":1.0,"completedTourVersion":2e0})")
        << true << QStringLiteral("A") << qint64(1) << qint64(2);
    QTest::newRow("escaped surrogate pair")
        << QByteArray(R"({"profile":{"name":"\ud83d\ude00"},"completedOnboardingVersion":1,"completedTourVersion":0})")
        << true << QStringLiteral("\U0001F600") << qint64(1) << qint64(0);
    // Half a pair is no character; the JSON reader gives U+FFFD for it.
    QTest::newRow("name with half a surrogate pair")
        << QByteArray(R"({"profile":{"name":"\ud800"},"completedOnboardingVersion":1,"completedTourVersion":2})")
        << true << QString(QChar::ReplacementCharacter) << qint64(1) << qint64(2);

    const auto unreadable = [](const char *tag, const char *json) {
        QTest::newRow(tag) << QByteArray(json) << false << QString() << qint64(0) << qint64(0);
    };
    unreadable("no tour version", R"({"profile":{"name":"Grace"},"completedOnboardingVersion":1})");
    unreadable("no onboarding version", R"({"profile":{"name":"Grace"},"completedTourVersion":2})");
    unreadable("no profile", R"({"completedOnboardingVersion":1,"completedTourVersion":2})");
    unreadable("profile without name", R"({"profile":{},"completedOnboardingVersion":1,"completedTourVersion":2})");
    unreadable("onboarding version as text", R"({"profile":{"name":"G"},"completedOnboardingVersion":"1","completedTourVersion":2})");
    unreadable("tour version as boolean", R"({"profile":{"name":"G"},"completedOnboardingVersion":1,"completedTourVersion":true})");
    unreadable("version null", R"({"profile":{"name":"G"},"completedOnboardingVersion":null,"completedTourVersion":2})");
    unreadable("fractional version", R"({"profile":{"name":"G"},"completedOnboardingVersion":1.5,"completedTourVersion":2})");
    unreadable("version too large", R"({"profile":{"name":"G"},"completedOnboardingVersion":1e300,"completedTourVersion":2})");
    unreadable("name as number", R"({"profile":{"name":5},"completedOnboardingVersion":1,"completedTourVersion":2})");
    unreadable("profile as text", R"({"profile":"G","completedOnboardingVersion":1,"completedTourVersion":2})");
    unreadable("array", R"([1,2])");
    unreadable("truncated", R"({"profile":{"name":"G"},"completedOnboard)");
    unreadable("not JSON", "not json at all");
    unreadable("empty data", "");
}

void OnboardingPreferencesStoreTest::loadsStoredData()
{
    QFETCH(QByteArray, stored);
    QFETCH(bool, readable);
    QFETCH(QString, name);
    QFETCH(qint64, onboardingVersion);
    QFETCH(qint64, tourVersion);

    QTemporaryDir dir;
    UserDefaults defaults(dir.filePath("defaults.conf"));
    defaults.setData(OnboardingPreferencesStore::preferencesKey(), stored);
    defaults.sync();

    // Read back from the file as the next launch would.
    UserDefaults reopened(dir.filePath("defaults.conf"));
    const OnboardingPreferencesStore store(reopened);
    QCOMPARE(store.load(), record(name, onboardingVersion, tourVersion));
    QCOMPARE(OnboardingPreferencesStore::decode(stored).has_value(), readable);
}

void OnboardingPreferencesStoreTest::missingKeyAndNonDataValueReadAsDefaults()
{
    QTemporaryDir dir;
    UserDefaults defaults(dir.filePath("defaults.conf"));
    const OnboardingPreferencesStore store(defaults);
    QCOMPARE(store.load(), OnboardingPreferences());

    // The same JSON kept as text rather than data is not the record.
    defaults.setString(OnboardingPreferencesStore::preferencesKey(),
                       QStringLiteral(R"({"profile":{"name":"G"},"completedOnboardingVersion":1,"completedTourVersion":2})"));
    QCOMPARE(store.load(), OnboardingPreferences());
}

void OnboardingPreferencesStoreTest::recordSurvivesReopening()
{
    QTemporaryDir dir;
    const OnboardingPreferences saved = record(QStringLiteral("Zoë Ångström"), 1, 2);
    {
        UserDefaults defaults(dir.filePath("defaults.conf"));
        OnboardingPreferencesStore store(defaults);
        store.save(saved);
        defaults.sync();
    }
    UserDefaults reopened(dir.filePath("defaults.conf"));
    QCOMPARE(OnboardingPreferencesStore(reopened).load(), saved);
}

void OnboardingPreferencesStoreTest::unreadableRecordIsLeftUntilNextSave()
{
    QTemporaryDir dir;
    UserDefaults defaults(dir.filePath("defaults.conf"));
    const QByteArray broken = R"({"profile":{"name":"G"}})";
    defaults.setData(OnboardingPreferencesStore::preferencesKey(), broken);
    OnboardingPreferencesStore store(defaults);

    QCOMPARE(store.load(), OnboardingPreferences());
    QCOMPARE(defaults.data(OnboardingPreferencesStore::preferencesKey()), std::optional(broken));

    const OnboardingPreferences repaired = record(QStringLiteral("G"), 1, 0);
    store.save(repaired);
    QCOMPARE(store.load(), repaired);
}

void OnboardingPreferencesStoreTest::unencodableRecordKeepsPreviousData()
{
    QTemporaryDir dir;
    UserDefaults defaults(dir.filePath("defaults.conf"));
    OnboardingPreferencesStore store(defaults);
    const OnboardingPreferences good = record(QStringLiteral("Grace"), 1, 1);
    store.save(good);
    const auto before = defaults.data(OnboardingPreferencesStore::preferencesKey());

    QString halfPair = QStringLiteral("Gr");
    halfPair.append(QChar(0xD800));
    QVERIFY(!OnboardingPreferencesStore::encode(record(halfPair, 1, 2)));
    store.save(record(halfPair, 1, 2));

    QCOMPARE(defaults.data(OnboardingPreferencesStore::preferencesKey()), before);
    QCOMPARE(store.load(), good);
}

QTEST_GUILESS_MAIN(OnboardingPreferencesStoreTest)
#include "tst_onboardingpreferencesstore.moc"

#include "runtime/NavigationState.h"
#include "platform/UserDefaults.h"
#include "platform/UuidText.h"

#include <QJsonDocument>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace tessaline;

class NavigationStateTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }

    void startsEmpty();
    void activeNoteIsPersistedOnEveryAssignment();
    void unusableStoredNoteReadsAsNone();
    void remindersArePersisted();
    void selection();
    void gallery_data();
    void gallery();
    void searchFromOutside();
    void destinationCoding_data();
    void destinationCoding();
    void destinationDecodingFailures_data();
    void destinationDecodingFailures();

private:
    UserDefaults *defaults()
    {
        if (!m_defaults || m_defaults->filePath() != m_dir->filePath("d.conf"))
            m_defaults = std::make_unique<UserDefaults>(m_dir->filePath("d.conf"));
        return m_defaults.get();
    }
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<UserDefaults> m_defaults;
};

void NavigationStateTest::startsEmpty()
{
    NavigationState state(*defaults());
    QCOMPARE(state.destination(), std::optional(SidebarDestination::notes()));
    QVERIFY(state.selectedCardIDs().isEmpty());
    QVERIFY(!state.focusedCardID() && !state.captureReviewCardID() && !state.galleryCardID());
    QVERIFY(!state.activeBoardID());
    QVERIFY(!state.remindersEnabled());
    QVERIFY(!defaults()->contains("activeBoardID")); // construction writes nothing
}

void NavigationStateTest::activeNoteIsPersistedOnEveryAssignment()
{
    const QUuid id = QUuid::createUuid();
    {
        NavigationState state(*defaults());
        QSignalSpy spy(&state, &NavigationState::activeBoardIDChanged);
        state.setActiveBoardID(id);
        defaults()->remove("activeBoardID"); // someone else cleared it
        state.setActiveBoardID(id); // same value: no notice, but written again
        QCOMPARE(spy.count(), 1);
        QCOMPARE(defaults()->string("activeBoardID"), std::optional(uuidText(id)));
    }
    {
        NavigationState state(*defaults());
        QCOMPARE(state.activeBoardID(), std::optional(id));
        // The note the last session ended on, opened again at the start,
        // leaves the settings file as it is.
        QSignalSpy written(defaults(), &UserDefaults::changed);
        state.setActiveBoardID(id);
        QVERIFY(written.isEmpty());
        state.setActiveBoardID(std::nullopt);
        QVERIFY(!defaults()->contains("activeBoardID"));
    }
    NavigationState state(*defaults());
    QVERIFY(!state.activeBoardID());
}

void NavigationStateTest::unusableStoredNoteReadsAsNone()
{
    defaults()->setString("activeBoardID", "not-a-uuid");
    NavigationState state(*defaults());
    QVERIFY(!state.activeBoardID());
    QCOMPARE(defaults()->string("activeBoardID"), std::optional<QString>("not-a-uuid"));
}

void NavigationStateTest::remindersArePersisted()
{
    NavigationState state(*defaults());
    QSignalSpy spy(&state, &NavigationState::remindersEnabledChanged);
    state.setRemindersEnabled(false);
    QCOMPARE(spy.count(), 0);
    QCOMPARE(defaults()->optionalBoolean("remindersEnabled"), std::optional(false));
    state.setRemindersEnabled(true);
    QCOMPARE(spy.count(), 1);
    QVERIFY(NavigationState(*defaults()).remindersEnabled());
}

void NavigationStateTest::selection()
{
    NavigationState state(*defaults());
    const QUuid a = QUuid::createUuid(), b = QUuid::createUuid();
    QSignalSpy spy(&state, &NavigationState::selectedCardIDsChanged);
    QSignalSpy inspector(&state, &NavigationState::inspectorPresentedChanged);
    state.select(a, false);
    state.select(a, false); // already exactly that: no notice
    QCOMPARE(spy.count(), 1);
    state.select(b, true);
    QCOMPARE(state.selectedCardIDs(), (QSet<QUuid>{a, b}));
    state.select(a, true);
    QCOMPARE(state.selectedCardIDs(), QSet<QUuid>{b});
    state.select(a, true);
    state.select(b, false);
    QCOMPARE(state.selectedCardIDs(), QSet<QUuid>{b});
    const int before = int(spy.count());
    state.clearSelection();
    state.clearSelection(); // always notifies the selection
    QCOMPARE(spy.count(), before + 2);
    QCOMPARE(inspector.count(), 0); // the inspector was closed all along
}

void NavigationStateTest::gallery_data()
{
    QTest::addColumn<std::optional<QList<int>>>("given");
    QTest::addColumn<int>("card");
    QTest::addColumn<std::optional<QList<int>>>("stored");
    QTest::newRow("repeats dropped") << std::optional(QList<int>{0, 1, 0, 2}) << 2 << std::optional(QList<int>{0, 1, 2});
    QTest::newRow("card not in list") << std::optional(QList<int>{0, 1}) << 2 << std::optional<QList<int>>();
    QTest::newRow("no list") << std::optional<QList<int>>() << 2 << std::optional<QList<int>>();
}

void NavigationStateTest::gallery()
{
    QFETCH(std::optional<QList<int>>, given);
    QFETCH(int, card);
    QFETCH(std::optional<QList<int>>, stored);
    const QList<QUuid> ids{QUuid::createUuid(), QUuid::createUuid(), QUuid::createUuid()};
    auto toIDs = [&](const std::optional<QList<int>> &indices) -> std::optional<QList<QUuid>> {
        if (!indices)
            return std::nullopt;
        QList<QUuid> result;
        for (int i : *indices)
            result.append(ids[i]);
        return result;
    };
    NavigationState state(*defaults());
    state.setGalleryBrowseCardIDs(QList<QUuid>{QUuid::createUuid()});
    // The list is in place by the time the gallery card changes.
    std::optional<QList<QUuid>> listSeenByGallery;
    connect(&state, &NavigationState::galleryCardIDChanged, this,
            [&] { listSeenByGallery = state.galleryBrowseCardIDs(); });
    state.openGallery(ids[card], toIDs(given));
    QCOMPARE(state.galleryCardID(), std::optional(ids[card]));
    QCOMPARE(state.galleryBrowseCardIDs(), toIDs(stored));
    QCOMPARE(listSeenByGallery, toIDs(stored));
}

void NavigationStateTest::searchFromOutside()
{
    NavigationState navigation(*defaults());
    const QUuid card = QUuid::createUuid();
    navigation.setGalleryCardID(card);
    navigation.setFocusedCardID(card);
    // The screen is made when the destination changes: by then the text
    // it shows is in place.
    QString textWhenShown;
    connect(&navigation, &NavigationState::destinationChanged, this,
            [&] { textWhenShown = navigation.searchText(); });
    navigation.showSearch(QStringLiteral("harbour fees"));
    QCOMPARE(navigation.destination(), std::optional(SidebarDestination::search()));
    QCOMPARE(textWhenShown, QStringLiteral("harbour fees"));
    QCOMPARE(navigation.galleryCardID(), std::nullopt);
    QCOMPARE(navigation.focusedCardID(), std::nullopt);
}

void NavigationStateTest::destinationCoding_data()
{
    QTest::addColumn<SidebarDestination>("destination");
    QTest::addColumn<QByteArray>("json");
    QTest::newRow("notes") << SidebarDestination::notes() << QByteArray(R"({"notes":{}})");
    QTest::newRow("trash") << SidebarDestination::trash() << QByteArray(R"({"trash":{}})");
    QTest::newRow("folder") << SidebarDestination::folder("Work") << QByteArray(R"({"folder":{"_0":"Work"}})");
    QTest::newRow("board") << SidebarDestination::board(*parseUuid(u"0a000000-0000-0000-0000-00000000000a"))
                           << QByteArray(R"({"board":{"_0":"0A000000-0000-0000-0000-00000000000A"}})");
}

void NavigationStateTest::destinationCoding()
{
    QFETCH(SidebarDestination, destination);
    QFETCH(QByteArray, json);
    QCOMPARE(QJsonDocument(destination.encoded()).toJson(QJsonDocument::Compact), json);
    const auto decoded = SidebarDestination::decode(QJsonDocument::fromJson(json).object());
    QVERIFY(decoded);
    QCOMPARE(*decoded, destination);
    QCOMPARE(qHash(*decoded), qHash(destination));
    // Keys that name no destination are ignored.
    QJsonObject withExtra = destination.encoded();
    withExtra.insert("unrelated", 1);
    QCOMPARE(*SidebarDestination::decode(withExtra), destination);
}

void NavigationStateTest::destinationDecodingFailures_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("message");
    QTest::newRow("empty") << QByteArray("{}") << "Invalid number of keys found, expected one.";
    QTest::newRow("two cases") << QByteArray(R"({"notes":{},"trash":{}})") << "Invalid number of keys found, expected one.";
    QTest::newRow("board without uuid") << QByteArray(R"({"board":{"_0":"nope"}})") << "Expected a UUID for the note.";
    QTest::newRow("folder without name") << QByteArray(R"({"folder":{}})") << "Expected a string for the folder name.";
}

void NavigationStateTest::destinationDecodingFailures()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, message);
    const auto decoded = SidebarDestination::decode(QJsonDocument::fromJson(json).object());
    QVERIFY(!decoded);
    QCOMPARE(decoded.error(), message);
    QVERIFY(SidebarDestination::folder("a") != SidebarDestination::folder("b"));
}

QTEST_GUILESS_MAIN(NavigationStateTest)
#include "tst_navigationstate.moc"

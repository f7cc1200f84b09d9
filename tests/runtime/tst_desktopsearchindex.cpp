#include "runtime/DesktopSearchIndexService.h"

#include "../support/PngBytes.h"
#include "../support/WorkerGate.h"

#include "platform/UuidText.h"

#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <algorithm>
#include <mutex>

using namespace tessaline;
using tessaline::testing::WorkerGate;

Q_DECLARE_METATYPE(tessaline::DesktopSearchRecord)
Q_DECLARE_METATYPE(tessaline::SearchableItem)

namespace {

// Records what reaches the index and on which thread.
struct IndexLog
{
    std::mutex mutex;
    QList<SearchableItem> indexed;
    QStringList deleted;
    QThread *thread = nullptr;
    std::optional<SearchIndexError> failWith;
    // When set, each call waits here before it touches the index.
    WorkerGate *gate = nullptr;

    DesktopSearchIndexService::Outcome outcome() const
    {
        if (failWith)
            return unexpected(*failWith);
        return {};
    }
};

class FakeIndex final : public SearchIndexing
{
public:
    explicit FakeIndex(std::shared_ptr<IndexLog> log) : m_log(std::move(log)) {}
    DesktopSearchIndexService::Outcome indexItems(const QList<SearchableItem> &items) override
    {
        if (m_log->gate)
            m_log->gate->pass();
        std::lock_guard lock(m_log->mutex);
        m_log->thread = QThread::currentThread();
        m_log->indexed += items;
        return m_log->outcome();
    }
    DesktopSearchIndexService::Outcome deleteItems(const QStringList &identifiers) override
    {
        std::lock_guard lock(m_log->mutex);
        m_log->deleted += identifiers;
        return m_log->outcome();
    }

private:
    std::shared_ptr<IndexLog> m_log;
};

const QUuid cardID(QStringLiteral("{0f8fad5b-d9cb-469f-a165-70867728950e}"));

} // namespace

class DesktopSearchIndexTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void mapping_data();
    void mapping();
    void indexesOnWorkerAndAnswersOnCaller();
    void failuresComeBackUnchanged();
    void noAnswerOnceReceiverIsGone();
    void removeTakesTheCardOut();
    void realIndexRoundTrip();
    void removedWordsAreTidiedAway();
    void tidyingLeftUndoneIsDoneAtTheNextStart();
    void keepOnlyTakesOutEntriesOfOtherCards();
};

void DesktopSearchIndexTest::mapping_data()
{
    QTest::addColumn<DesktopSearchRecord>("record");
    QTest::addColumn<QStringList>("keywords");
    QTest::addColumn<std::optional<QString>>("creator");

    const DesktopSearchRecord full{cardID, "Chart", "Revenue", QString("Research"), QString("Firefox"), QByteArray("png")};
    QTest::newRow("both") << full << QStringList{"Research", "Firefox"} << std::optional<QString>("Firefox");
    DesktopSearchRecord none = full;
    none.boardName.reset();
    none.sourceApplication.reset();
    QTest::newRow("neither: empty keywords, no creator") << none << QStringList{} << std::optional<QString>();
    DesktopSearchRecord emptyName = none;
    emptyName.boardName = QString();
    QTest::newRow("empty note name stays") << emptyName << QStringList{QString()} << std::optional<QString>();
    DesktopSearchRecord fallback = none;
    fallback.boardName = QStringLiteral("Tessaline");
    fallback.sourceApplication = QStringLiteral("Terminal");
    QTest::newRow("note not found") << fallback << QStringList{"Tessaline", "Terminal"}
                                    << std::optional<QString>("Terminal");
}

void DesktopSearchIndexTest::mapping()
{
    QFETCH(DesktopSearchRecord, record);
    QFETCH(QStringList, keywords);
    QFETCH(std::optional<QString>, creator);
    const SearchableItem item = DesktopSearchIndexService::searchableItem(record, QStringLiteral("domain.cards"));
    QCOMPARE(item.uniqueIdentifier, QStringLiteral("0F8FAD5B-D9CB-469F-A165-70867728950E"));
    QCOMPARE(item.domainIdentifier, QStringLiteral("domain.cards"));
    QCOMPARE(item.title, record.title);
    QCOMPARE(item.contentDescription, record.text);
    QCOMPARE(item.keywords, keywords);
    QCOMPARE(item.creator, creator);
    QCOMPARE(item.thumbnailData, record.thumbnailData);
}

void DesktopSearchIndexTest::indexesOnWorkerAndAnswersOnCaller()
{
    auto log = std::make_shared<IndexLog>();
    DesktopSearchIndexService service([log]() { return std::make_unique<FakeIndex>(log); });
    QVERIFY(service.domainIdentifier().endsWith(QStringLiteral(".cards")));
    QObject receiver;
    int answers = 0;
    QList<QThread *> finishedOn;
    for (int i = 0; i < 3; ++i) {
        service.index({cardID, QString::number(i), "", {}, {}, {}}, &receiver)
            .then([&](const DesktopSearchIndexService::Outcome &outcome) {
                // A continuation without a context runs where the future finishes.
                finishedOn << QThread::currentThread();
                return outcome;
            })
            .then(&receiver, [&](const DesktopSearchIndexService::Outcome &outcome) {
                QVERIFY(outcome);
                ++answers;
            });
    }
    QTRY_COMPARE(answers, 3);
    QCOMPARE(finishedOn, QList<QThread *>(3, QThread::currentThread()));
    std::lock_guard lock(log->mutex);
    QVERIFY(log->thread && log->thread != QThread::currentThread());
    QCOMPARE(log->indexed.size(), 3);
    QCOMPARE(log->indexed.at(2).title, QStringLiteral("2")); // in call order
    QCOMPARE(log->indexed.at(0).domainIdentifier, service.domainIdentifier());
}

void DesktopSearchIndexTest::failuresComeBackUnchanged()
{
    auto log = std::make_shared<IndexLog>();
    log->failWith = SearchIndexError{QStringLiteral("disk full")};
    DesktopSearchIndexService service([log]() { return std::make_unique<FakeIndex>(log); });
    QObject receiver;
    std::optional<DesktopSearchIndexService::Outcome> outcome;
    const auto keep = [&](const DesktopSearchIndexService::Outcome &answer) { outcome = answer; };
    service.index({cardID, "t", "", {}, {}, {}}, &receiver).then(&receiver, keep);
    QTRY_VERIFY(outcome.has_value());
    QVERIFY(!*outcome);
    QCOMPARE(outcome->error().message, QStringLiteral("disk full"));

    DesktopSearchIndexService broken([]() { return std::unique_ptr<SearchIndexing>(); });
    outcome.reset();
    broken.index({cardID, "t", "", {}, {}, {}}, &receiver).then(&receiver, keep);
    QTRY_VERIFY(outcome.has_value());
    QVERIFY(!*outcome);
}

void DesktopSearchIndexTest::noAnswerOnceReceiverIsGone()
{
    auto log = std::make_shared<IndexLog>();
    WorkerGate gate;
    log->gate = &gate;
    DesktopSearchIndexService service([log]() { return std::make_unique<FakeIndex>(log); });
    bool answered = false;
    auto *receiver = new QObject;
    QFuture<DesktopSearchIndexService::Outcome> indexed = service.index({cardID, "t", "", {}, {}, {}}, receiver);
    indexed.then(receiver, [&](const DesktopSearchIndexService::Outcome &) { answered = true; });
    // The worker is inside the index while the receiver goes away.
    QVERIFY(gate.waitUntilEntered());
    delete receiver;
    gate.open();

    // Calls are answered in order: once a later one is, the first has been
    // dealt with.
    QObject later;
    bool laterAnswered = false;
    service.remove(cardID, &later).then(&later, [&](const DesktopSearchIndexService::Outcome &) { laterAnswered = true; });
    QTRY_VERIFY(laterAnswered);
    QVERIFY(!answered);
    QVERIFY(!indexed.isFinished()); // nothing attached to it looks for the receiver again
    std::lock_guard lock(log->mutex);
    QCOMPARE(log->indexed.size(), 1); // the work itself was done
}

void DesktopSearchIndexTest::removeTakesTheCardOut()
{
    auto log = std::make_shared<IndexLog>();
    DesktopSearchIndexService service([log]() { return std::make_unique<FakeIndex>(log); });
    QObject receiver;
    bool done = false;
    service.remove(cardID, &receiver).then(&receiver, [&](const DesktopSearchIndexService::Outcome &outcome) {
        done = outcome.hasValue();
    });
    QTRY_VERIFY(done);
    std::lock_guard lock(log->mutex);
    QCOMPARE(log->deleted, QStringList{"0F8FAD5B-D9CB-469F-A165-70867728950E"});
}

void DesktopSearchIndexTest::realIndexRoundTrip()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("SearchIndex.sqlite"));
    {
        DesktopSearchIndexService service([path]() { return std::make_unique<SearchIndex>(path); });
        QObject receiver;
        int answers = 0;
        const DesktopSearchRecord record{cardID, "Whiteboard", "sprint goals", QString("Planning"), QString("Chromium"), {}};
        const auto count = [&](const DesktopSearchIndexService::Outcome &outcome) { answers += outcome ? 1 : 100; };
        service.index(record, &receiver).then(&receiver, count);
        service.remove(QUuid::createUuid(), &receiver).then(&receiver, count);
        QTRY_COMPARE(answers, 2);
    } // the service ends its worker and closes the index
    SearchIndex index(path);
    QCOMPARE(index.search(QStringLiteral("sprint chromium")), QStringList{"0F8FAD5B-D9CB-469F-A165-70867728950E"});
    QCOMPARE(index.item(QStringLiteral("0F8FAD5B-D9CB-469F-A165-70867728950E"))->keywords,
             QStringList({"Planning", "Chromium"}));
}

namespace {

// Whether the word's first trigram, in the order terms are stored, is
// anywhere in the trigram table's pages. Stored whole where the term before
// it shares no byte with it: for a word in a script no other text uses.
bool trigramStored(const QString &path, const QString &word)
{
    QList<QByteArray> trigrams;
    for (qsizetype i = 0; i + 3 <= word.size(); ++i)
        trigrams << word.mid(i, 3).toUtf8();
    std::sort(trigrams.begin(), trigrams.end());
    const QString name = QStringLiteral("raw-trigrams");
    bool stored = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        if (db.open()) {
            QSqlQuery query(db);
            query.prepare(QStringLiteral("SELECT 1 FROM item_trigrams_data WHERE instr(block, ?) > 0"));
            query.addBindValue(trigrams.value(0));
            stored = query.exec() && query.next();
        }
    }
    QSqlDatabase::removeDatabase(name);
    return stored;
}

// Whether any of the index's files holds the bytes, as they are or were
// written: pages of a row removed linger in the write-ahead log.
bool anyIndexFileHolds(const QString &path, const QByteArray &bytes)
{
    for (const QString &file : {path, path + QStringLiteral("-wal"), path + QStringLiteral("-journal")}) {
        QFile read(file);
        if (read.open(QIODevice::ReadOnly) && read.readAll().contains(bytes))
            return true;
    }
    return false;
}

} // namespace

// A snip deleted for good leaves none of its words in the index once the
// service has had a pause, nor any byte of its words or picture in the
// index's files.
void DesktopSearchIndexTest::removedWordsAreTidiedAway()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("SearchIndex.sqlite"));
    DesktopSearchIndexService service([path]() { return std::make_unique<SearchIndex>(path); },
                                      DesktopSearchIndexService::defaultDomainIdentifier(), std::chrono::milliseconds(0));
    QObject receiver;
    int answers = 0;
    const auto count = [&](const DesktopSearchIndexService::Outcome &outcome) { answers += outcome ? 1 : 100; };
    // A word in a script no other snip uses, so its trigrams are seen whole.
    const QByteArray picture = tessaline::testing::pngOf(Qt::darkMagenta, QSize(48, 32));
    service.index({cardID, "Ψωξζ", "quartzite hunter2", QString("Planning"), {}, picture}, &receiver)
        .then(&receiver, count);
    const QUuid other = QUuid::createUuid();
    service.index({other, "Whiteboard", "sprint goals", QString("Planning"), {}, {}}, &receiver).then(&receiver, count);
    QTRY_COMPARE(answers, 2);
    QVERIFY(trigramStored(path, QStringLiteral("ψωξζ")));
    service.remove(cardID, &receiver).then(&receiver, count);
    QTRY_COMPARE(answers, 3);
    QTRY_VERIFY(!trigramStored(path, QStringLiteral("ψωξζ")));
    QVERIFY(!picture.isEmpty());
    QTRY_VERIFY(!anyIndexFileHolds(path, QByteArrayLiteral("quartzite hunter2"))
                && !anyIndexFileHolds(path, QStringLiteral("Ψωξζ").toUtf8()) && !anyIndexFileHolds(path, picture));
    SearchIndex index(path);
    QCOMPARE(index.search(QStringLiteral("sprint planning")), QStringList{uuidText(other)});
    QVERIFY(!index.upkeepDue());
}

// The app ended before its worker had the pause in which it tidies: the
// next start's check of the index does it.
void DesktopSearchIndexTest::tidyingLeftUndoneIsDoneAtTheNextStart()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("SearchIndex.sqlite"));
    const auto factory = [path]() { return std::make_unique<SearchIndex>(path); };
    QObject receiver;
    int answers = 0;
    const auto count = [&](const DesktopSearchIndexService::Outcome &outcome) { answers += outcome ? 1 : 100; };
    {
        DesktopSearchIndexService ending(factory, DesktopSearchIndexService::defaultDomainIdentifier(),
                                         std::chrono::hours(1));
        ending.index({cardID, "Ψωξζ", "quartzite hunter2", QString("Planning"), {}, {}}, &receiver).then(&receiver, count);
        ending.remove(cardID, &receiver).then(&receiver, count);
        QTRY_COMPARE(answers, 2);
    }
    QVERIFY(trigramStored(path, QStringLiteral("ψωξζ")));

    DesktopSearchIndexService next(factory, DesktopSearchIndexService::defaultDomainIdentifier(),
                                   std::chrono::milliseconds(0));
    next.keepOnly({}, &receiver).then(&receiver, count);
    QTRY_COMPARE(answers, 3);
    QTRY_VERIFY(!trigramStored(path, QStringLiteral("ψωξζ")));
    QTRY_VERIFY(!anyIndexFileHolds(path, QByteArrayLiteral("quartzite hunter2")));
    // The step that finds nothing left to merge says so a moment later.
    QTRY_VERIFY(!SearchIndex(path).upkeepDue());
}

// Given every card the library holds, the entries of cards it no longer
// holds go, words and picture; the others, and entries not named by a
// card's id, stay.
void DesktopSearchIndexTest::keepOnlyTakesOutEntriesOfOtherCards()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("SearchIndex.sqlite"));
    const QUuid gone = QUuid::createUuid();
    DesktopSearchIndexService service([path]() { return std::make_unique<SearchIndex>(path); });
    QObject receiver;
    int answers = 0;
    const auto count = [&](const DesktopSearchIndexService::Outcome &outcome) { answers += outcome ? 1 : 100; };
    // Where no index was made yet, there is nothing to take out, and no
    // index is made for it.
    service.keepOnly({cardID}, &receiver).then(&receiver, count);
    QTRY_COMPARE(answers, 1);
    QVERIFY(!QFileInfo::exists(path));
    answers = 0;
    {
        SearchIndex index(path);
        SearchableItem foreign{QStringLiteral("not-a-card"), QStringLiteral("other.domain"), QStringLiteral("Other"),
                               QString(), {}, {}, {}};
        QVERIFY(index.indexItems({foreign}));
    }
    service.index({cardID, "Whiteboard", "sprint goals", QString("Planning"), {}, {}}, &receiver).then(&receiver, count);
    service.index({gone, "Login", "hunter2 password", QString("Planning"), {}, tessaline::testing::pngOf(Qt::red)}, &receiver)
        .then(&receiver, count);
    service.keepOnly({cardID, QUuid::createUuid()}, &receiver).then(&receiver, count);
    QTRY_COMPARE(answers, 3);
    SearchIndex index(path);
    QVERIFY(!index.item(uuidText(gone)));
    QCOMPARE(index.search(QStringLiteral("hunter2")), QStringList());
    QCOMPARE(index.search(QStringLiteral("planning")), QStringList{uuidText(cardID)});
    QVERIFY(index.item(QStringLiteral("not-a-card")));
    QCOMPARE(index.count(), 2);
}

QTEST_GUILESS_MAIN(DesktopSearchIndexTest)
#include "tst_desktopsearchindex.moc"

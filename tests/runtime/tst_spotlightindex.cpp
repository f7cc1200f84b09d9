#include "runtime/SpotlightIndexService.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <mutex>

using namespace tessaline;

Q_DECLARE_METATYPE(tessaline::SpotlightRecord)
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
};

class FakeIndex final : public SearchIndexing
{
public:
    explicit FakeIndex(std::shared_ptr<IndexLog> log) : m_log(std::move(log)) {}
    std::optional<SearchIndexError> indexItems(const QList<SearchableItem> &items) override
    {
        std::lock_guard lock(m_log->mutex);
        m_log->thread = QThread::currentThread();
        m_log->indexed += items;
        return m_log->failWith;
    }
    std::optional<SearchIndexError> deleteItems(const QStringList &identifiers) override
    {
        std::lock_guard lock(m_log->mutex);
        m_log->deleted += identifiers;
        return m_log->failWith;
    }

private:
    std::shared_ptr<IndexLog> m_log;
};

const QUuid cardID(QStringLiteral("{0f8fad5b-d9cb-469f-a165-70867728950e}"));

} // namespace

class SpotlightIndexTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void mapping_data();
    void mapping();
    void indexesOnWorkerAndAnswersOnCaller();
    void failuresComeBackUnchanged();
    void removeTakesTheCardOut();
    void realIndexRoundTrip();
};

void SpotlightIndexTest::mapping_data()
{
    QTest::addColumn<SpotlightRecord>("record");
    QTest::addColumn<QStringList>("keywords");
    QTest::addColumn<std::optional<QString>>("creator");

    const SpotlightRecord full{cardID, "Chart", "Revenue", QString("Research"), QString("Firefox"), QByteArray("png")};
    QTest::newRow("both") << full << QStringList{"Research", "Firefox"} << std::optional<QString>("Firefox");
    SpotlightRecord none = full;
    none.boardName.reset();
    none.sourceApplication.reset();
    QTest::newRow("neither: empty keywords, no creator") << none << QStringList{} << std::optional<QString>();
    SpotlightRecord emptyName = none;
    emptyName.boardName = QString();
    QTest::newRow("empty note name stays") << emptyName << QStringList{QString()} << std::optional<QString>();
    SpotlightRecord fallback = none;
    fallback.boardName = QStringLiteral("Tessaline");
    fallback.sourceApplication = QStringLiteral("Terminal");
    QTest::newRow("note not found") << fallback << QStringList{"Tessaline", "Terminal"}
                                    << std::optional<QString>("Terminal");
}

void SpotlightIndexTest::mapping()
{
    QFETCH(SpotlightRecord, record);
    QFETCH(QStringList, keywords);
    QFETCH(std::optional<QString>, creator);
    const SearchableItem item = SpotlightIndexService::searchableItem(record, QStringLiteral("domain.cards"));
    QCOMPARE(item.uniqueIdentifier, QStringLiteral("0F8FAD5B-D9CB-469F-A165-70867728950E"));
    QCOMPARE(item.domainIdentifier, QStringLiteral("domain.cards"));
    QCOMPARE(item.title, record.title);
    QCOMPARE(item.contentDescription, record.text);
    QCOMPARE(item.keywords, keywords);
    QCOMPARE(item.creator, creator);
    QCOMPARE(item.thumbnailData, record.thumbnailData);
}

void SpotlightIndexTest::indexesOnWorkerAndAnswersOnCaller()
{
    auto log = std::make_shared<IndexLog>();
    SpotlightIndexService service([log]() { return std::make_unique<FakeIndex>(log); });
    QVERIFY(service.domainIdentifier().endsWith(QStringLiteral(".cards")));
    QObject receiver;
    int answers = 0;
    QThread *answeredOn = nullptr;
    for (int i = 0; i < 3; ++i) {
        service.index({cardID, QString::number(i), "", {}, {}, {}}, &receiver,
                      [&](std::optional<SearchIndexError> error) {
                          QVERIFY(!error);
                          answeredOn = QThread::currentThread();
                          ++answers;
                      });
    }
    QTRY_COMPARE(answers, 3);
    QCOMPARE(answeredOn, QThread::currentThread());
    std::lock_guard lock(log->mutex);
    QVERIFY(log->thread && log->thread != QThread::currentThread());
    QCOMPARE(log->indexed.size(), 3);
    QCOMPARE(log->indexed.at(2).title, QStringLiteral("2")); // in call order
    QCOMPARE(log->indexed.at(0).domainIdentifier, service.domainIdentifier());
}

void SpotlightIndexTest::failuresComeBackUnchanged()
{
    auto log = std::make_shared<IndexLog>();
    log->failWith = SearchIndexError{QStringLiteral("disk full")};
    SpotlightIndexService service([log]() { return std::make_unique<FakeIndex>(log); });
    QObject receiver;
    std::optional<std::optional<SearchIndexError>> outcome;
    service.index({cardID, "t", "", {}, {}, {}}, &receiver, [&](auto error) { outcome = error; });
    QTRY_VERIFY(outcome.has_value());
    QVERIFY(outcome->has_value());
    QCOMPARE((*outcome)->message, QStringLiteral("disk full"));

    SpotlightIndexService broken([]() { return std::unique_ptr<SearchIndexing>(); });
    outcome.reset();
    broken.index({cardID, "t", "", {}, {}, {}}, &receiver, [&](auto error) { outcome = error; });
    QTRY_VERIFY(outcome.has_value());
    QVERIFY(outcome->has_value());
}

void SpotlightIndexTest::removeTakesTheCardOut()
{
    auto log = std::make_shared<IndexLog>();
    SpotlightIndexService service([log]() { return std::make_unique<FakeIndex>(log); });
    QObject receiver;
    bool done = false;
    service.remove(cardID, &receiver, [&](auto error) { done = !error; });
    QTRY_VERIFY(done);
    std::lock_guard lock(log->mutex);
    QCOMPARE(log->deleted, QStringList{"0F8FAD5B-D9CB-469F-A165-70867728950E"});
}

void SpotlightIndexTest::realIndexRoundTrip()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("SearchIndex.sqlite"));
    {
        SpotlightIndexService service([path]() { return std::make_unique<SearchIndex>(path); });
        QObject receiver;
        int answers = 0;
        const SpotlightRecord record{cardID, "Whiteboard", "sprint goals", QString("Planning"), QString("Chromium"), {}};
        service.index(record, &receiver, [&](auto error) { answers += error ? 100 : 1; });
        service.remove(QUuid::createUuid(), &receiver, [&](auto error) { answers += error ? 100 : 1; });
        QTRY_COMPARE(answers, 2);
    } // the service ends its worker and closes the index
    SearchIndex index(path);
    QCOMPARE(index.search(QStringLiteral("sprint chromium")), QStringList{"0F8FAD5B-D9CB-469F-A165-70867728950E"});
    QCOMPARE(index.item(QStringLiteral("0F8FAD5B-D9CB-469F-A165-70867728950E"))->keywords,
             QStringList({"Planning", "Chromium"}));
}

QTEST_GUILESS_MAIN(SpotlightIndexTest)
#include "tst_spotlightindex.moc"

#include "library/PartsOnPool.h"

#include <QMutex>
#include <QSemaphore>
#include <QTest>

using namespace tessaline;

class PartsOnPoolTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // Whether shared out or not, every candidate is looked at once and the
    // hits come back in the candidates' order.
    void hitsAreFoundOnceInOrder_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<bool>("narrowing");
        QTest::addColumn<int>("mostParts");
        QTest::addColumn<int>("smallest");
        QTest::addColumn<int>("parts");
        QTest::newRow("too short to share") << 1999 << false << 4 << 1000 << 1;
        QTest::newRow("two parts' worth") << 2000 << false << 4 << 1000 << 2;
        QTest::newRow("held to the most parts") << 100'003 << false << 4 << 1000 << 4;
        QTest::newRow("among the last hits") << 100'003 << true << 3 << 1000 << 3;
        QTest::newRow("nothing to look at") << 0 << false << 4 << 1000 << 1;
        // Rounded up, three parts would cover them: the fourth is empty.
        QTest::newRow("a part left empty") << 5 << false << 4 << 1 << 4;
    }
    void hitsAreFoundOnceInOrder()
    {
        QFETCH(int, count);
        QFETCH(bool, narrowing);
        QFETCH(int, mostParts);
        QFETCH(int, smallest);
        QFETCH(int, parts);
        QThreadPool pool;
        pool.setMaxThreadCount(mostParts);
        const PoolShare share{&pool, size_t(smallest), size_t(mostParts)};

        std::vector<int> last;
        for (int i = 0; i < count; i += 2)
            last.push_back(i);
        const std::vector<int> *among = narrowing ? &last : nullptr;
        const auto isHit = [](int index) { return index % 3 == 0; };
        std::vector<int> expected;
        for (int i = 0; i < count; ++i) {
            if ((!narrowing || i % 2 == 0) && isHit(i))
                expected.push_back(i);
        }

        QMutex lock;
        QList<int> looked;
        const std::vector<int> hits = hitsAmong(share, among, size_t(count), [&](int index) {
            const QMutexLocker locked(&lock);
            looked.append(index);
            return isHit(index);
        });
        QCOMPARE(hits, expected);
        std::sort(looked.begin(), looked.end());
        QCOMPARE(looked.size(), qsizetype(narrowing ? last.size() : count));
        QVERIFY(std::adjacent_find(looked.cbegin(), looked.cend()) == looked.cend());

        QList<std::pair<size_t, size_t>> spans;
        QCOMPARE(inPartsOnPool(share, size_t(count),
                               [&](size_t, size_t from, size_t to) {
                                   const QMutexLocker locked(&lock);
                                   spans.append({from, to});
                               }),
                 size_t(parts));
        std::sort(spans.begin(), spans.end());
        size_t covered = 0;
        for (const auto &[from, to] : std::as_const(spans)) {
            QCOMPARE(from, covered);
            QVERIFY(to >= from);
            covered = to;
        }
        QCOMPARE(covered, size_t(count));
    }

    // A pool whose every thread is taken still gets the work done, by the
    // thread that asked.
    void aBusyPoolDoesNotHoldTheWorkUp()
    {
        QThreadPool pool;
        pool.setMaxThreadCount(1);
        QSemaphore release;
        pool.start([&release] { release.acquire(); });
        const std::vector<int> hits =
            hitsAmong(PoolShare{&pool, 10, 4}, static_cast<const std::vector<int> *>(nullptr), 100,
                      [](int index) { return index >= 95; });
        release.release();
        QCOMPARE(hits, (std::vector<int>{95, 96, 97, 98, 99}));
    }
};

QTEST_GUILESS_MAIN(PartsOnPoolTest)
#include "tst_partsonpool.moc"

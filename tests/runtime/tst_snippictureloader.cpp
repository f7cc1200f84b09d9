#include "../support/SnipFixtures.h"

#include "model/CanvasCard.h"
#include "runtime/SnipPictureLoader.h"

#include <QSignalSpy>
#include <QTest>

using namespace tessaline;
using namespace tessaline::testing;

using State = SnipPictureLoader::State;
Q_DECLARE_METATYPE(tessaline::SnipPictureLoader::State)

class SnipPictureLoaderTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void outcomes_data();
    void outcomes();
    void followsEditsAndKeepsOnlyWhatItIsTold();
};

void SnipPictureLoaderTest::outcomes_data()
{
    QTest::addColumn<std::optional<QByteArray>>("picture");
    QTest::addColumn<std::optional<QByteArray>>("annotations");
    QTest::addColumn<qint64>("limit");
    QTest::addColumn<State>("state");
    QTest::addColumn<QSize>("storedSize");
    QTest::addColumn<int>("levels");
    const qint64 plenty = qint64(256) << 20;
    const QByteArray large = pngOf(Qt::white, QSize(2000, 1200));
    QTest::newRow("annotated, with levels down to 512")
        << std::optional(large) << std::optional(blackFrame()) << plenty << State::ready << QSize(2000, 1200) << 2;
    QTest::newRow("small: no levels") << std::optional(pngOf(Qt::white, QSize(400, 300))) << std::optional<QByteArray>()
                                      << plenty << State::ready << QSize(400, 300) << 0;
    // 2000 × 1200 pixels need 9.6 MB decoded.
    QTest::newRow("over the allocation limit") << std::optional(large) << std::optional<QByteArray>() << qint64(8 << 20)
                                               << State::unavailable << QSize(2000, 1200) << 0;
    QTest::newRow("damaged") << std::optional(large.left(large.size() / 2)) << std::optional<QByteArray>() << plenty
                             << State::unavailable << QSize(2000, 1200) << 0;
    QTest::newRow("no picture") << std::optional<QByteArray>() << std::optional<QByteArray>() << plenty
                                << State::unavailable << QSize() << 0;
}

void SnipPictureLoaderTest::outcomes()
{
    QFETCH(std::optional<QByteArray>, picture);
    QFETCH(std::optional<QByteArray>, annotations);
    QFETCH(qint64, limit);
    QFETCH(State, state);
    QFETCH(QSize, storedSize);
    QFETCH(int, levels);
    SnipPictureLoader loader;
    loader.setAllocationLimit(limit);
    const auto card = storedSnip(picture, annotations);
    // What each change told: the size arrives with the bytes, before the
    // picture is decoded.
    QList<std::pair<State, QSize>> told;
    connect(&loader, &SnipPictureLoader::pictureChanged, this,
            [&] { told.append({loader.state(*card), loader.storedSize(*card)}); });
    QFuture<SharedSnipPicture> future = loader.load(*card);
    const QFuture<QSize> sized = loader.storedSizeFuture(*card);
    loader.waitForPending();
    QVERIFY(sized.isFinished());
    QCOMPARE(sized.result(), storedSize);
    QCOMPARE(loader.storedSize(*card), storedSize);
    using Told = QList<std::pair<State, QSize>>;
    const Told expected = picture ? Told{{State::loading, storedSize}, {state, storedSize}} : Told{};
    QCOMPARE(told, expected);
    QCOMPARE(loader.state(*card), state);
    const SharedSnipPicture shown = loader.picture(*card);
    QCOMPARE(bool(shown), state == State::ready);
    QVERIFY(future.isFinished());
    QCOMPARE(future.result(), shown);
    if (!shown)
        return;
    QCOMPARE(shown->size(), storedSize);
    QCOMPARE(shown->levels().size(), levels);
    // Annotations are drawn in; a small drawing samples a level.
    QCOMPARE(shown->image().pixelColor(5, storedSize.height() / 2), annotations ? QColor(Qt::black) : QColor(Qt::white));
    if (levels > 0) {
        QCOMPARE(&shown->imageForScale(0.3), &shown->levels().at(0));
        QCOMPARE(&shown->imageForScale(0.2), &shown->levels().at(1));
        QCOMPARE(&shown->imageForScale(0.6), &shown->image());
    }
}

void SnipPictureLoaderTest::followsEditsAndKeepsOnlyWhatItIsTold()
{
    SnipPictureLoader loader;
    const auto first = storedSnip(pngOf(Qt::white, QSize(300, 200)), std::nullopt);
    const auto second = storedSnip(pngOf(Qt::green, QSize(300, 200)), std::nullopt);
    loader.load(*first);
    loader.load(*second);
    loader.waitForPending();
    QVERIFY(loader.picture(*first) && loader.picture(*second));

    // An annotation written, not yet saved: the old picture is gone at once.
    QSignalSpy changed(&loader, &SnipPictureLoader::pictureChanged);
    first->setAnnotationDocumentData(blackFrame());
    QCOMPARE(changed.count(), 1);
    QVERIFY(!loader.picture(*first));
    QVERIFY(loader.state(*first) != State::unavailable); // loading again, or done already
    loader.waitForPending();
    QCOMPARE(loader.picture(*first)->image().pixelColor(5, 100), QColor(Qt::black));

    loader.keepOnly({second->id()});
    QVERIFY(!loader.picture(*first));
    QVERIFY(loader.picture(*second));
}

QTEST_MAIN(SnipPictureLoaderTest)
#include "tst_snippictureloader.moc"

#include "../model/StoreFixture.h"
#include "../support/PngBytes.h"

#include "model/CanvasCard.h"
#include "runtime/SnipImageCache.h"

#include <QImage>
#include <QSignalSpy>

#include <functional>

using namespace tessaline;
using namespace tessaline::testing;

namespace {

QByteArray png(const QColor &colour) { return pngOf(colour, QSize(160, 100)); }

// A black rectangle around the picture, its line over the picture's edges.
QByteArray rectangleOverAll()
{
    return R"({"version":2,"items":[{"id":"0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D","tool":"rectangle",)"
           R"("points":[{"x":0,"y":0},{"x":160,"y":100}],"color":{"red":0,"green":0,"blue":0,"alpha":1},)"
           R"("lineWidth":20}]})";
}

using Edit = std::function<void(CanvasCard &)>;

} // namespace

Q_DECLARE_METATYPE(Edit)

class SnipImageCacheTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void drawnAgainOnlyWhenThePictureChanges_data()
    {
        QTest::addColumn<Edit>("edit");
        QTest::addColumn<bool>("drawnAgain");
        QTest::addColumn<QColor>("colour");
        const QColor red(Qt::red);
        QTest::newRow("its words read") << Edit([](CanvasCard &card) { card.setOcrText(QStringLiteral("words")); })
                                        << false << red;
        QTest::newRow("moved") << Edit([](CanvasCard &card) { card.setCanvasX(500); }) << false << red;
        QTest::newRow("put in the trash")
            << Edit([](CanvasCard &card) { card.setDeletedAt(QDateTime::fromSecsSinceEpoch(1'800'000'000)); }) << false
            << red;
        QTest::newRow("annotated") << Edit([](CanvasCard &card) { card.setAnnotationDocumentData(rectangleOverAll()); })
                                   << true << QColor(Qt::black);
        QTest::newRow("another picture") << Edit([](CanvasCard &card) { card.setOriginalImageData(png(Qt::green)); })
                                         << true << QColor(Qt::green);
    }

    // Every edit of a card moves its change stamp; only those of what its
    // picture is drawn from have it read and decoded again.
    void drawnAgainOnlyWhenThePictureChanges()
    {
        QFETCH(Edit, edit);
        QFETCH(bool, drawnAgain);
        QFETCH(QColor, colour);
        auto store = memoryStore();
        ModelContext &context = *store->mainContext();
        CanvasCard *card = addCard(context, addNote(context, QStringLiteral("Notes"), at(0)), CardKind::snip, at(1));
        card->setOriginalImageData(png(Qt::red));
        QVERIFY(context.save());

        SnipImageCache cache;
        const QSize size(80, 50);
        QCOMPARE(cache.state(*card), SnipImageCache::State::loading);
        cache.waitForPending();
        QCOMPARE(cache.pixmap(*card, size).toImage().pixelColor(1, 1), QColor(Qt::red));

        edit(*card);
        card->setUpdatedAt(at(99));
        QVERIFY(context.save());
        QCOMPARE(cache.state(*card),
                 drawnAgain ? SnipImageCache::State::loading : SnipImageCache::State::ready);
        cache.waitForPending();
        QCOMPARE(cache.state(*card), SnipImageCache::State::ready);
        QCOMPARE(cache.pixmap(*card, size).toImage().pixelColor(1, 1), colour);
    }
};

QTEST_MAIN(SnipImageCacheTest)
#include "tst_snipimagecache.moc"

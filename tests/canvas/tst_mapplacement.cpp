#include "../model/StoreFixture.h"

#include "canvas/MapPlacement.h"

using namespace tessaline;
using namespace tessaline::testing;

class MapPlacementTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void gridSlot_data()
    {
        QTest::addColumn<int>("placed");
        QTest::addColumn<QPointF>("slot");
        QTest::newRow("empty map") << 0 << QPointF(80, 80);
        QTest::newRow("second") << 1 << QPointF(460, 80);
        QTest::newRow("end of the first row") << 3 << QPointF(1220, 80);
        QTest::newRow("next row") << 4 << QPointF(80, 360);
        QTest::newRow("five placed") << 5 << QPointF(460, 360);
        QTest::newRow("far down") << 41 << QPointF(460, 80 + 280 * 10);
    }

    void gridSlot()
    {
        QFETCH(int, placed);
        QFETCH(QPointF, slot);
        QCOMPARE(MapPlacement::gridSlot(placed), slot);
    }

    void dropOrigin_data()
    {
        QTest::addColumn<QPointF>("location");
        QTest::addColumn<QPointF>("origin");
        QTest::newRow("near the corner") << QPointF(100, 50) << QPointF(24, 24);
        QTest::newRow("open map") << QPointF(400, 300) << QPointF(250, 200);
        QTest::newRow("exactly on the margin") << QPointF(174, 124) << QPointF(24, 24);
        QTest::newRow("left of the map") << QPointF(-500, 900) << QPointF(24, 800);
        QTest::newRow("not a number") << QPointF(qQNaN(), 300) << QPointF(24, 200);
    }

    void dropOrigin()
    {
        QFETCH(QPointF, location);
        QFETCH(QPointF, origin);
        QCOMPARE(MapPlacement::dropOrigin(location), origin);
    }

    void contentSize_data()
    {
        QTest::addColumn<QList<QRectF>>("frames");
        QTest::addColumn<QSizeF>("size");
        QTest::newRow("no card") << QList<QRectF>{} << QSizeF(1800, 1180);
        QTest::newRow("within the minimum") << QList<QRectF>{{1200, 700, 320, 220}} << QSizeF(1800, 1180);
        QTest::newRow("one far right") << QList<QRectF>{{2000, 0, 320, 220}} << QSizeF(2560, 1180);
        QTest::newRow("farthest of each axis")
            << QList<QRectF>{{2000, 0, 320, 220}, {0, 3000, 500, 400}} << QSizeF(2560, 3640);
    }

    void contentSize()
    {
        QFETCH(QList<QRectF>, frames);
        QFETCH(QSizeF, size);
        auto store = memoryStore();
        Board *note = addNote(*store->mainContext(), QStringLiteral("Map"), at(0));
        QList<CanvasCard *> cards;
        for (const QRectF &frame : frames) {
            CanvasCard *card = addCard(*store->mainContext(), note, CardKind::snip, at(1));
            card->setCanvasX(frame.x());
            card->setCanvasY(frame.y());
            card->setCanvasWidth(frame.width());
            card->setCanvasHeight(frame.height());
            cards.append(card);
        }
        QCOMPARE(MapPlacement::contentSize(cards), size);
    }
};

QTEST_GUILESS_MAIN(MapPlacementTest)
#include "tst_mapplacement.moc"

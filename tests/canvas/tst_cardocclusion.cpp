#include "canvas/CardOcclusion.h"

#include <QTest>

using namespace tessaline;

namespace {

StackedCard at(qreal x, qreal y, qreal width = 320, qreal height = 220, bool opaque = true, bool mayBeHidden = true)
{
    return {QRectF(x, y, width, height), opaque, mayBeHidden};
}

} // namespace

class CardOcclusionTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void hiddenCards_data()
    {
        QTest::addColumn<QList<StackedCard>>("stack");
        QTest::addColumn<QList<bool>>("hidden");
        QTest::newRow("a pile on one spot shows its top")
            << QList{at(40, 40), at(40, 40), at(40, 40)} << QList{true, true, false};
        QTest::newRow("under a larger card") << QList{at(50, 50, 100, 80), at(40, 40)} << QList{true, false};
        QTest::newRow("one point out from under")
            << QList{at(39, 40), at(40, 40)} << QList{false, false};
        QTest::newRow("a larger card under a smaller one")
            << QList{at(40, 40), at(50, 50, 100, 80)} << QList{false, false};
        QTest::newRow("under a card fading in")
            << QList{at(40, 40), at(40, 40, 320, 220, false)} << QList{false, false};
        QTest::newRow("a fading card under an opaque one hides with the card under it")
            << QList{at(40, 40), at(40, 40, 320, 220, false), at(40, 40)} << QList{true, true, false};
        QTest::newRow("a dragged or ringed card stays painted")
            << QList{at(40, 40, 320, 220, true, false), at(40, 40)} << QList{false, false};
        QTest::newRow("covered by two cards together, by neither alone")
            << QList{at(0, 0, 200, 100), at(0, 0, 100, 100), at(100, 0, 100, 100)} << QList{false, false, false};
        QTest::newRow("across the edges of the search's cells")
            << QList{at(500, 500, 100, 100), at(400, 400, 400, 400)} << QList{true, false};
        QTest::newRow("displaced past the map's top-left corner")
            << QList{at(-50, -50, 100, 100), at(-60, -60, 200, 200)} << QList{true, false};
        QTest::newRow("an empty card hides nothing and is not hidden")
            << QList{at(40, 40), at(40, 40, 0, 0), at(50, 50, 10, 10)} << QList{false, false, false};
    }

    void hiddenCards()
    {
        QFETCH(QList<StackedCard>, stack);
        QFETCH(QList<bool>, hidden);
        QCOMPARE(tessaline::hiddenCards(stack), hidden);
    }
};

QTEST_MAIN(CardOcclusionTest)
#include "tst_cardocclusion.moc"

#include "SnipsLibraryRig.h"

#include "library/SnipGallerySequence.h"
#include "library/SnipZoomMode.h"
#include "library/ZoomableSnipLayout.h"

#include <QTest>

using namespace tessaline;
using namespace tessaline::testing;

Q_DECLARE_METATYPE(tessaline::SnipZoomMode)
using IdList = QList<QUuid>;
using OptionalIdList = std::optional<QList<QUuid>>;
Q_DECLARE_METATYPE(OptionalIdList)

namespace {

QUuid id(const char *text)
{
    return QUuid(QString::fromLatin1(text));
}

// Fixed identifiers, in the order of their text.
const QUuid idA = id("{10000000-0000-0000-0000-000000000000}");
const QUuid idB = id("{20000000-0000-0000-0000-000000000000}");
const QUuid idC = id("{30000000-0000-0000-0000-000000000000}");
const QUuid idX = id("{40000000-0000-0000-0000-000000000000}");
const QUuid idLow = id("{0A000000-0000-0000-0000-000000000000}");
const QUuid idHigh = id("{A0000000-0000-0000-0000-000000000000}");

} // namespace

class SnipGallerySequenceTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void sequence_data();
    void sequence();
    void defaultOrderFollowsCaptureThenIdentifier();
    void zoomSteps_data();
    void zoomSteps();
    void fitGeometry_data();
    void fitGeometry();
};

void SnipGallerySequenceTest::sequence_data()
{
    QTest::addColumn<QUuid>("current");
    QTest::addColumn<OptionalIdList>("browse");
    QTest::addColumn<IdList>("available");
    QTest::addColumn<IdList>("defaults");
    QTest::addColumn<IdList>("ordered");
    QTest::addColumn<QString>("position");
    QTest::addColumn<QUuid>("previous");
    QTest::addColumn<QUuid>("next");

    const IdList available{idA, idB};
    // X is deleted and C has no picture: neither is available.
    QTest::newRow("browse list filtered, repeats dropped")
        << idA << OptionalIdList(IdList{idB, idA, idB, idX, idC}) << available << IdList{idA} << IdList{idB, idA}
        << "2 of 2" << idB << QUuid();
    QTest::newRow("no browse list: the note's own snips")
        << idB << OptionalIdList() << IdList{idA, idB, idC} << IdList{idA, idB, idC} << IdList{idA, idB, idC}
        << "2 of 3" << idA << idC;
    QTest::newRow("browse list without the current snip falls back")
        << idA << OptionalIdList(IdList{idX, idC}) << IdList{idA, idB} << IdList{idB, idA} << IdList{idB, idA}
        << "2 of 2" << idB << QUuid();
    QTest::newRow("first of the list: nothing before, no wrap-around")
        << idA << OptionalIdList(IdList{idA, idB, idC}) << IdList{idA, idB, idC} << IdList{} << IdList{idA, idB, idC}
        << "1 of 3" << QUuid() << idB;
    QTest::newRow("last of the list: nothing after, no wrap-around")
        << idC << OptionalIdList(IdList{idA, idB, idC}) << IdList{idA, idB, idC} << IdList{} << IdList{idA, idB, idC}
        << "3 of 3" << idB << QUuid();
    QTest::newRow("current snip gone: in no list") << idX << OptionalIdList(IdList{idA, idX}) << IdList{idA}
                                                    << IdList{} << IdList{} << "" << QUuid() << QUuid();
    QTest::newRow("alone in its note") << idA << OptionalIdList() << IdList{idA, idB} << IdList{idA} << IdList{idA}
                                       << "1 of 1" << QUuid() << QUuid();
}

void SnipGallerySequenceTest::sequence()
{
    QFETCH(QUuid, current);
    QFETCH(OptionalIdList, browse);
    QFETCH(IdList, available);
    QFETCH(IdList, defaults);
    QFETCH(IdList, ordered);
    QFETCH(QString, position);
    QFETCH(QUuid, previous);
    QFETCH(QUuid, next);
    const SnipGallerySequence sequence(current, browse, available, defaults);
    QCOMPARE(sequence.orderedIDs(), ordered);
    QCOMPARE(sequence.currentID(), current);
    QCOMPARE(sequence.positionText(), position);
    QCOMPARE(sequence.step(false).value_or(QUuid()), previous);
    QCOMPARE(sequence.step(true).value_or(QUuid()), next);
}

void SnipGallerySequenceTest::defaultOrderFollowsCaptureThenIdentifier()
{
    SnipsLibraryRig rig;
    Board *note = rig.addNote(QStringLiteral("Atlas"));
    Board *other = rig.addNote(QStringLiteral("Elsewhere"));
    const QByteArray png = pngOf(Qt::red);
    auto snip = [&](const QUuid &snipID, const Board *owner, qint64 created, std::optional<qint64> captured) {
        CanvasCard *card = rig.addSnip(owner->id(), QString(), created, captured, snipID);
        card->setOriginalImageData(png);
        return card;
    };
    // Stored newest first, so the store's order is not the answer.
    snip(idC, note, 90, 300);
    snip(idHigh, note, 1, 100); // same capture instant as idLow: text order
    snip(idLow, note, 1, 100);
    snip(idA, note, 50, std::nullopt); // never captured: its creation date
    snip(idB, other, 1, 10);           // another note
    CanvasCard *trashed = snip(idX, note, 1, 20);
    trashed->setDeletedAt(snipTime(30));
    CanvasCard *pictureless = rig.addSnip(note->id(), QString(), 1, 40);
    rig.save();

    const QList<CanvasCard *> cards = rig.library->cards();
    const CanvasCard *current = SnipGallerySequence::currentCard(cards, idLow);
    QVERIFY(current);
    QList<QUuid> order;
    for (const CanvasCard *card : SnipGallerySequence::defaultSequenceCards(cards, current))
        order.append(card->id());
    QCOMPARE(order, (IdList{idA, idLow, idHigh, idC}));

    // A current snip without a picture is still the current card, but not
    // pageable; one in Recently Deleted is neither.
    QVERIFY(SnipGallerySequence::currentCard(cards, pictureless->id()));
    QVERIFY(!SnipGallerySequence::currentCard(cards, idX));
    const SnipGallerySequence sequence = SnipGallerySequence::forCards(cards, pictureless->id(), std::nullopt);
    QCOMPARE(sequence.positionText(), QString());
    QVERIFY(!sequence.step(true) && !sequence.step(false));

    // Over the library's cards: the note's own pageable snips without a
    // browse list; a browse list keeps, once each, the pageable snips of
    // any note and drops the trashed, the pictureless and the unknown.
    QCOMPARE(SnipGallerySequence::forCards(cards, idLow, std::nullopt).orderedIDs(), (IdList{idA, idLow, idHigh, idC}));
    const IdList browse{idX, idB, pictureless->id(), idLow, QUuid::createUuid(), idB, idC};
    const SnipGallerySequence browsing = SnipGallerySequence::forCards(cards, idLow, browse);
    QCOMPARE(browsing.orderedIDs(), (IdList{idB, idLow, idC}));
    QCOMPARE(browsing.positionText(), QStringLiteral("2 of 3"));
    // A browse list without the current snip gives way to its note's list.
    QCOMPARE(SnipGallerySequence::forCards(cards, idLow, IdList{idB, idC}).orderedIDs(),
             (IdList{idA, idLow, idHigh, idC}));
}

void SnipGallerySequenceTest::zoomSteps_data()
{
    QTest::addColumn<SnipZoomMode>("mode");
    QTest::addColumn<double>("fitScale");
    QTest::addColumn<double>("factor");
    QTest::addColumn<double>("zoomed");
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("after");
    QTest::newRow("in from actual size") << SnipZoomMode::actualSize() << 0.5 << 1.25 << 1.25 << "100%" << "125%";
    QTest::newRow("out from fit multiplies the fit scale")
        << SnipZoomMode::fit() << 0.5 << 0.8 << 0.4 << "50%" << "40%";
    QTest::newRow("out stops at 5 %") << SnipZoomMode::custom(0.06) << 1.0 << 0.8 << 0.05 << "6%" << "5%";
    QTest::newRow("at 5 % stays") << SnipZoomMode::custom(0.05) << 1.0 << 0.8 << 0.05 << "5%" << "5%";
    QTest::newRow("in stops at 800 %") << SnipZoomMode::custom(7.0) << 1.0 << 1.25 << 8.0 << "700%" << "800%";
    QTest::newRow("at 800 % stays") << SnipZoomMode::custom(8.0) << 1.0 << 1.25 << 8.0 << "800%" << "800%";
    QTest::newRow("halves round away from zero")
        << SnipZoomMode::custom(0.1) << 1.0 << 1.25 << 0.125 << "10%" << "13%";
    QTest::newRow("fit before the view reported") << SnipZoomMode::fit() << 1.0 << 1.25 << 1.25 << "100%" << "125%";
}

void SnipGallerySequenceTest::zoomSteps()
{
    QFETCH(SnipZoomMode, mode);
    QFETCH(double, fitScale);
    QFETCH(double, factor);
    QFETCH(double, zoomed);
    QFETCH(QString, before);
    QFETCH(QString, after);
    QCOMPARE(SnipZoom::percentageText(mode.effectiveScale(fitScale)), before);
    const SnipZoomMode result = mode.zoomedBy(factor, fitScale);
    QCOMPARE(result.kind(), SnipZoomMode::Kind::custom);
    QVERIFY(qFuzzyCompare(result.customScale(), zoomed));
    QCOMPARE(SnipZoom::percentageText(result.effectiveScale(fitScale)), after);
    // The double-click toggles between fit and actual size.
    QCOMPARE(result.toggledActualSize(), SnipZoomMode::actualSize());
    QCOMPARE(SnipZoomMode::actualSize().toggledActualSize(), SnipZoomMode::fit());
}

void SnipGallerySequenceTest::fitGeometry_data()
{
    QTest::addColumn<QSize>("pixels");
    QTest::addColumn<QSizeF>("viewport");
    QTest::addColumn<SnipZoomMode>("mode");
    QTest::addColumn<double>("fit");
    QTest::addColumn<double>("shown");
    QTest::addColumn<QSizeF>("display");
    QTest::addColumn<QSizeF>("content");
    QTest::newRow("fitted: nothing scrolls") << QSize(2000, 1000) << QSizeF(1072, 772) << SnipZoomMode::fit() << 0.5
                                             << 0.5 << QSizeF(1000, 500) << QSizeF(1072, 772);
    QTest::newRow("actual size: 28 points around") << QSize(2000, 1000) << QSizeF(1072, 772)
                                                   << SnipZoomMode::actualSize() << 0.5 << 1.0 << QSizeF(2000, 1000)
                                                   << QSizeF(2056, 1056);
    QTest::newRow("narrow viewport: raised to the minimum") << QSize(100, 100) << QSizeF(60, 400) << SnipZoomMode::fit()
                                                            << 0.05 << 0.05 << QSizeF(5, 5) << QSizeF(61, 400);
    QTest::newRow("custom beyond the bounds is shown bounded")
        << QSize(100, 50) << QSizeF(800, 600) << SnipZoomMode::custom(20) << 7.28 << 8.0 << QSizeF(800, 400)
        << QSizeF(856, 600);
    QTest::newRow("an empty side: fit 1.0, drawn 1 point")
        << QSize(0, 300) << QSizeF(800, 600) << SnipZoomMode::fit() << 1.0 << 1.0 << QSizeF(1, 300) << QSizeF(800, 600);
    QTest::newRow("small picture stays centred") << QSize(200, 100) << QSizeF(1000, 800) << SnipZoomMode::actualSize()
                                                 << 4.64 << 1.0 << QSizeF(200, 100) << QSizeF(1000, 800);
}

void SnipGallerySequenceTest::fitGeometry()
{
    QFETCH(QSize, pixels);
    QFETCH(QSizeF, viewport);
    QFETCH(SnipZoomMode, mode);
    QFETCH(double, fit);
    QFETCH(double, shown);
    QFETCH(QSizeF, display);
    QFETCH(QSizeF, content);
    const ZoomableSnipLayout layout(pixels, viewport, mode);
    QVERIFY2(qAbs(layout.fitScale - fit) < 1e-9, qPrintable(QString::number(layout.fitScale)));
    QVERIFY(qFuzzyCompare(layout.effectiveScale, shown));
    QCOMPARE(layout.displaySize, display);
    QCOMPARE(layout.contentSize, content);
    // The picture sits in the middle of the content.
    QCOMPARE(layout.imageRect.center(), QRectF(QPointF(), content).center());
    QCOMPARE(layout.smoothScaling, shown < 1.0);
}

QTEST_MAIN(SnipGallerySequenceTest)
#include "tst_snipgallerysequence.moc"

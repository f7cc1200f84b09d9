#include "model/AnnotationRenderer.h"

#include <QPainter>
#include <QTest>

#include <cmath>
#include <limits>

using namespace tessaline;

namespace {

AnnotationItem makeItem(AnnotationTool tool, QList<NormalizedPoint> points, double lineWidth = 4,
                        AnnotationColor color = {0, 0, 0, 1}, std::optional<QString> text = std::nullopt)
{
    AnnotationItem made;
    made.id = QUuid::createUuid();
    made.tool = tool;
    made.points = std::move(points);
    made.color = color;
    made.lineWidth = lineWidth;
    made.text = std::move(text);
    return made;
}

QImage whiteImage(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    return image;
}

// Every pixel different from its neighbours, so that any averaging or
// misplaced cell edge shows.
QImage patternImage(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            line[x] = qRgb((x * 7 + y * 3) % 256, (x * 13 + y * 29) % 256, (x * y) % 256);
    }
    return image;
}

QImage render(const QImage &image, const QList<AnnotationItem> &items)
{
    const auto rendered = AnnotationRenderer::renderImage(image, items);
    if (!rendered)
        return QImage();
    return rendered->convertToFormat(QImage::Format_RGB32);
}

bool isInk(QRgb pixel)
{
    return qGray(pixel) < 128;
}

bool isWhite(QRgb pixel)
{
    return qRed(pixel) == 255 && qGreen(pixel) == 255 && qBlue(pixel) == 255;
}

// The bounding box of dark pixels.
QRect inkBounds(const QImage &image)
{
    QRect bounds;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (isInk(image.pixel(x, y)))
                bounds |= QRect(x, y, 1, 1);
        }
    }
    return bounds;
}

bool sameImage(const QImage &a, const QImage &b)
{
    return a.convertToFormat(QImage::Format_RGB32) == b.convertToFormat(QImage::Format_RGB32);
}

// Lengths of the runs of equal pixels along one row (or column), between
// two columns (or rows).
QList<int> runLengths(const QImage &image, int line, int from, int to, Qt::Orientation along = Qt::Horizontal)
{
    auto at = [&](int i) { return along == Qt::Horizontal ? image.pixel(i, line) : image.pixel(line, i); };
    QList<int> runs;
    for (int i = from; i < to; ++i) {
        if (i == from || at(i) != at(i - 1))
            runs.append(0);
        ++runs.last();
    }
    return runs;
}

} // namespace

class AnnotationRendererTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void emptyListReturnsTheSameImage();
    void aSourceHandedOverIsDrawnIntoAndAKeptOneIsNot_data();
    void aSourceHandedOverIsDrawnIntoAndAKeptOneIsNot();
    void selectOnlyGivesAnUnchangedCopy();
    void keepsTheFullPixelSize();
    void failsInsteadOfDroppingAnnotations_data();
    void failsInsteadOfDroppingAnnotations();
    void arrow();
    void arrowWithoutLengthDrawsNothing_data();
    void arrowWithoutLengthDrawsNothing();
    void highlightWidthAndRoundEnds();
    void translucentStrokeIsStrokedOnce();
    void rectangleOutline();
    void farAwayPointsKeepTheVisiblePart();
    void strokeWidthIsCapped();
    void pixelationCells_data();
    void pixelationCells();
    void pixelationAveragesTheSourceCell();
    void tinyPixelationBoxes_data();
    void tinyPixelationBoxes();
    void pixelationBeyondTheImage();
    void pixelationCoversEarlierItemsOnly();
    void textPlacement();
    void textIsTrimmed();
    void multiLineTextGrowsUpward();
    void everyLineKeepsItsOwnDirection();
};

void AnnotationRendererTest::emptyListReturnsTheSameImage()
{
    const QImage source = patternImage(64, 32);
    const auto rendered = AnnotationRenderer::renderImage(source, {});
    QVERIFY(rendered);
    QCOMPARE(rendered->cacheKey(), source.cacheKey());

    // Nothing to draw on nothing is no failure either.
    QVERIFY(AnnotationRenderer::renderImage(QImage(), {}));
}

void AnnotationRendererTest::aSourceHandedOverIsDrawnIntoAndAKeptOneIsNot_data()
{
    QTest::addColumn<QImage::Format>("format");
    QTest::addColumn<bool>("pixelates");
    QTest::addColumn<bool>("drawnIntoItself");
    QTest::newRow("opaque") << QImage::Format_RGB32 << false << true;
    QTest::newRow("premultiplied") << QImage::Format_ARGB32_Premultiplied << false << true;
    QTest::newRow("straight alpha, converted where it lies") << QImage::Format_ARGB32 << false << true;
    QTest::newRow("pixelated: read as it was") << QImage::Format_RGB32 << true << false;
    QTest::newRow("another format") << QImage::Format_RGB888 << false << false;
}

void AnnotationRendererTest::aSourceHandedOverIsDrawnIntoAndAKeptOneIsNot()
{
    QFETCH(QImage::Format, format);
    QFETCH(bool, pixelates);
    QFETCH(bool, drawnIntoItself);
    const QImage pattern = patternImage(64, 32).convertToFormat(format);
    QList<AnnotationItem> items{makeItem(AnnotationTool::freehand, {{0.1, 0.5}, {0.9, 0.5}}, 4)};
    if (pixelates)
        items.append(makeItem(AnnotationTool::pixelate, {{0.0, 0.0}, {0.5, 1.0}}, 8));

    const QImage kept = pattern.copy();
    const auto fromKept = AnnotationRenderer::renderImage(kept, items);
    QVERIFY(fromKept);
    QVERIFY(sameImage(kept, pattern));

    QImage handed = pattern.copy();
    const uchar *bits = handed.constBits();
    const auto fromHanded = AnnotationRenderer::renderImage(std::move(handed), items);
    QVERIFY(fromHanded);
    QCOMPARE(fromHanded->constBits() == bits, drawnIntoItself);
    // Either way the same picture comes out.
    QVERIFY(sameImage(*fromHanded, *fromKept));
    QVERIFY(isInk(fromHanded->pixel(48, 16)));
}

void AnnotationRendererTest::selectOnlyGivesAnUnchangedCopy()
{
    const QImage source = patternImage(64, 32);
    const auto rendered = AnnotationRenderer::renderImage(source, {makeItem(AnnotationTool::select, {{0.1, 0.1}, {0.9, 0.9}})});
    QVERIFY(rendered);
    QVERIFY(rendered->cacheKey() != source.cacheKey());
    QCOMPARE(rendered->size(), source.size());
    QVERIFY(sameImage(*rendered, source));
}

void AnnotationRendererTest::keepsTheFullPixelSize()
{
    // A capture of 800 × 600 logical pixels on a double-density screen.
    QImage source = whiteImage(1600, 1200);
    source.setDevicePixelRatio(2);
    const auto rendered = AnnotationRenderer::renderImage(
        source, {makeItem(AnnotationTool::freehand, {{0.5, 0.5}, {0.75, 0.5}}, 4)});
    QVERIFY(rendered);
    QCOMPARE(rendered->size(), QSize(1600, 1200));
    QCOMPARE(rendered->devicePixelRatio(), 1.0);
    // Drawn in source pixels, not in logical ones.
    QVERIFY(isInk(rendered->pixel(1000, 600)));
    QVERIFY(isWhite(rendered->pixel(500, 300)));
}

void AnnotationRendererTest::failsInsteadOfDroppingAnnotations_data()
{
    QTest::addColumn<QImage>("image");
    QTest::addColumn<AnnotationItem>("item");
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double infinity = std::numeric_limits<double>::infinity();

    QTest::newRow("no pixels to draw on") << QImage() << makeItem(AnnotationTool::pixelate, {{0.1, 0.1}, {0.9, 0.9}});
    QTest::newRow("NaN in a pixelation box")
        << whiteImage(50, 50) << makeItem(AnnotationTool::pixelate, {{0.1, 0.1}, {nan, 0.9}});
    QTest::newRow("infinite pixelation box")
        << whiteImage(50, 50) << makeItem(AnnotationTool::pixelate, {{0.1, 0.1}, {infinity, 0.9}});
    QTest::newRow("NaN line width") << whiteImage(50, 50)
                                    << makeItem(AnnotationTool::freehand, {{0.1, 0.1}, {0.9, 0.9}}, nan);
    QTest::newRow("NaN colour") << whiteImage(50, 50)
                                << makeItem(AnnotationTool::arrow, {{0.1, 0.1}, {0.9, 0.9}}, 4, {nan, 0, 0, 1});
}

void AnnotationRendererTest::failsInsteadOfDroppingAnnotations()
{
    QFETCH(QImage, image);
    QFETCH(AnnotationItem, item);
    QVERIFY(!AnnotationRenderer::renderImage(image, {item}));
}

void AnnotationRendererTest::arrow()
{
    const QImage rendered = render(whiteImage(1000, 1000), {makeItem(AnnotationTool::arrow, {{0.1, 0.1}, {0.5, 0.1}}, 4)});
    // The shaft, 4 pixels wide along y = 100.
    QVERIFY(isInk(rendered.pixel(300, 99)));
    QVERIFY(isInk(rendered.pixel(300, 100)));
    QVERIFY(isWhite(rendered.pixel(300, 103)));
    QVERIFY(isWhite(rendered.pixel(300, 96)));
    // Barbs 16 pixels long, π/7 either side of the shaft, ending near
    // (485.6, 93.1) and (485.6, 106.9).
    QVERIFY(isInk(rendered.pixel(492, 96)));
    QVERIFY(isInk(rendered.pixel(492, 103)));
    QVERIFY(isInk(rendered.pixel(485, 93)));
    QVERIFY(isInk(rendered.pixel(485, 106)));
    QVERIFY(isWhite(rendered.pixel(481, 90)));
    QVERIFY(isWhite(rendered.pixel(481, 109)));
    QVERIFY(isWhite(rendered.pixel(492, 90)));
    // The tail has a round cap and no head.
    QVERIFY(isInk(rendered.pixel(98, 100)));
    QVERIFY(isWhite(rendered.pixel(97, 94)));
    const QRect ink = inkBounds(rendered);
    QVERIFY2(ink.left() >= 97 && ink.right() <= 502 && ink.top() >= 90 && ink.bottom() <= 109,
             qPrintable(QStringLiteral("%1,%2 %3x%4").arg(ink.x()).arg(ink.y()).arg(ink.width()).arg(ink.height())));
}

void AnnotationRendererTest::arrowWithoutLengthDrawsNothing_data()
{
    QTest::addColumn<QList<NormalizedPoint>>("points");
    QTest::newRow("one point") << QList<NormalizedPoint>{{0.5, 0.5}};
    QTest::newRow("equal ends") << QList<NormalizedPoint>{{0.5, 0.5}, {0.2, 0.9}, {0.5, 0.5}};
    QTest::newRow("no points") << QList<NormalizedPoint>{};
}

void AnnotationRendererTest::arrowWithoutLengthDrawsNothing()
{
    QFETCH(QList<NormalizedPoint>, points);
    const QImage source = whiteImage(100, 100);
    QVERIFY(sameImage(render(source, {makeItem(AnnotationTool::arrow, points, 10)}), source));
}

void AnnotationRendererTest::highlightWidthAndRoundEnds()
{
    const QImage rendered = render(whiteImage(200, 200),
                                   {makeItem(AnnotationTool::highlight, {{0.2, 0.5}, {0.8, 0.5}}, 5, {0, 0, 0, 1})});
    // 4 × 5 = 20 pixels wide: rows 90 to 109.
    QVERIFY(isInk(rendered.pixel(100, 90)));
    QVERIFY(isInk(rendered.pixel(100, 109)));
    QVERIFY(isWhite(rendered.pixel(100, 88)));
    QVERIFY(isWhite(rendered.pixel(100, 111)));
    // A round end of radius 10 around (40, 100): reaches x = 30 on the axis
    // but not the square corner.
    QVERIFY(isInk(rendered.pixel(31, 100)));
    QVERIFY(isWhite(rendered.pixel(28, 100)));
    QVERIFY(isWhite(rendered.pixel(31, 91)));
}

void AnnotationRendererTest::translucentStrokeIsStrokedOnce()
{
    const AnnotationColor yellow{1, 1, 0, 0.38};
    // Back over itself: overlapping parts of one stroke must not darken.
    const QImage rendered = render(
        whiteImage(200, 200), {makeItem(AnnotationTool::highlight, {{0.2, 0.5}, {0.8, 0.5}, {0.5, 0.5}}, 5, yellow)});
    const QRgb single = rendered.pixel(70, 100);
    const QRgb doubled = rendered.pixel(130, 100);
    QCOMPARE(single, doubled);
    // The stored alpha, unchanged: 62% of the white background shows.
    QVERIFY(std::abs(qBlue(single) - 158) <= 2);
    QCOMPARE(qRed(single), 255);
}

void AnnotationRendererTest::rectangleOutline()
{
    const QImage rendered = render(whiteImage(200, 200),
                                   {makeItem(AnnotationTool::rectangle, {{0.75, 0.5}, {0.25, 0.25}}, 6)});
    // Edges at x = 50 and 150, y = 50 and 100, stroke centred on them.
    QVERIFY(isInk(rendered.pixel(47, 75)));
    QVERIFY(isInk(rendered.pixel(52, 75)));
    QVERIFY(isWhite(rendered.pixel(55, 75)));
    QVERIFY(isInk(rendered.pixel(152, 75)));
    QVERIFY(isInk(rendered.pixel(100, 102)));
    QVERIFY(isWhite(rendered.pixel(100, 75)));
    QVERIFY(isWhite(rendered.pixel(100, 105)));
    // Round joins: the outer corner is cut off.
    QVERIFY(!isInk(rendered.pixel(47, 47)));
    QVERIFY(isInk(rendered.pixel(49, 49)));
}

void AnnotationRendererTest::farAwayPointsKeepTheVisiblePart()
{
    const QImage rendered = render(whiteImage(100, 100),
                                   {makeItem(AnnotationTool::freehand, {{0.5, 0.5}, {1e300, 0.5}}, 4),
                                    makeItem(AnnotationTool::freehand, {{-1e6, -1e6}, {1e6, 1e6}}, 2),
                                    makeItem(AnnotationTool::rectangle, {{-1e300, 0.2}, {0.3, 1e300}}, 2)});
    // The first stroke runs right from the centre, level.
    QVERIFY(isInk(rendered.pixel(75, 50)));
    QVERIFY(isInk(rendered.pixel(99, 50)));
    QVERIFY(isWhite(rendered.pixel(75, 46)));
    QVERIFY(isWhite(rendered.pixel(25, 50)));
    // The second is the diagonal through the image.
    QVERIFY(isInk(rendered.pixel(10, 10)));
    QVERIFY(isInk(rendered.pixel(90, 90)));
    QVERIFY(isWhite(rendered.pixel(20, 10)));
    // Of the rectangle, only its top edge and right edge cross the image.
    QVERIFY(isInk(rendered.pixel(5, 20)));
    QVERIFY(isInk(rendered.pixel(10, 20)));
    QVERIFY(isInk(rendered.pixel(30, 80)));
    QVERIFY(isWhite(rendered.pixel(20, 80)));

    // Both ends astronomically far: whatever little shows, it is drawn.
    QVERIFY(AnnotationRenderer::renderImage(whiteImage(100, 100),
                                            {makeItem(AnnotationTool::highlight, {{-1e300, -1e300}, {1e300, 1e300}}, 20),
                                             makeItem(AnnotationTool::arrow, {{-1e300, 5}, {1e300, -7}}, 20)}));
}

void AnnotationRendererTest::strokeWidthIsCapped()
{
    const QImage rendered = render(whiteImage(1000, 1000),
                                   {makeItem(AnnotationTool::freehand, {{0.5, 0.5}, {0.6, 0.5}}, 1e9)});
    QVERIFY(isInk(rendered.pixel(550, 540)));
    QVERIFY(isWhite(rendered.pixel(550, 560)));
    QVERIFY(isWhite(rendered.pixel(0, 0)));
}

void AnnotationRendererTest::pixelationCells_data()
{
    QTest::addColumn<QRect>("box");
    QTest::addColumn<int>("cells");
    QTest::addColumn<QList<int>>("fullCellLengths");

    // 100 × 24: a third of 24 is 8, the smallest cell. One cell is centred
    // on x = 100, five more lie either side, and 6 pixels are left at each end.
    QTest::newRow("smaller side of 24") << QRect(50, 50, 100, 24) << 13 << QList<int>{8};
    // 100 × 15: a third of 15 is below 8, so cells of 8 all the same.
    QTest::newRow("never below 8") << QRect(50, 50, 100, 15) << 13 << QList<int>{8};
    // 280 × 43: cells of 43 / 3 ≈ 14.33, so runs of 14 and 15; 9.3 cells
    // either side of the centred one.
    QTest::newRow("cell of a third of 43") << QRect(60, 100, 280, 43) << 21 << QList<int>{14, 15};
    // 200 × 300: text as tall as 200 could lie inside, so cells of 66.7,
    // not the 14.3 of a fourteenth.
    QTest::newRow("cell of a third of 200") << QRect(100, 50, 200, 300) << 3 << QList<int>{66, 67};
}

void AnnotationRendererTest::pixelationCells()
{
    QFETCH(QRect, box);
    QFETCH(int, cells);
    QFETCH(QList<int>, fullCellLengths);

    const QImage source = patternImage(400, 400);
    const QImage rendered = render(source, {makeItem(AnnotationTool::pixelate,
                                                      {{box.left() / 400.0, box.top() / 400.0},
                                                       {(box.left() + box.width()) / 400.0, (box.top() + box.height()) / 400.0}})});
    const int y = box.top() + box.height() / 2;
    const QList<int> runs = runLengths(rendered, y, box.left(), box.left() + box.width());
    QCOMPARE(runs.size(), cells);
    QCOMPARE(runs.first(), runs.last());
    for (qsizetype i = 1; i + 1 < runs.size(); ++i)
        QVERIFY2(fullCellLengths.contains(runs.at(i)), qPrintable(QString::number(runs.at(i))));

    // Rows are cut the same way, and nothing outside the box changes.
    const QList<int> columnRuns =
        runLengths(rendered, box.left() + box.width() / 2, box.top(), box.top() + box.height(), Qt::Vertical);
    QVERIFY(columnRuns.size() > 2);
    for (qsizetype i = 1; i + 1 < columnRuns.size(); ++i)
        QVERIFY(fullCellLengths.contains(columnRuns.at(i)));
    QCOMPARE(rendered.pixel(box.left() - 1, y), source.pixel(box.left() - 1, y));
    QCOMPARE(rendered.pixel(box.left() + box.width(), y), source.pixel(box.left() + box.width(), y));
    QCOMPARE(rendered.pixel(box.left() + 3, box.top() - 1), source.pixel(box.left() + 3, box.top() - 1));
}

void AnnotationRendererTest::pixelationAveragesTheSourceCell()
{
    // Box (50, 188.3)-(150, 211.7), cells of 8 centred on (100, 200): the cell
    // spanning x 96...104, y 196...204 is the mean of those 64 source pixels.
    const QImage source = patternImage(400, 400);
    const QImage rendered = render(source, {makeItem(AnnotationTool::pixelate, {{0.125, 0.470703125}, {0.375, 0.529296875}})});
    double red = 0, green = 0, blue = 0;
    for (int y = 196; y < 204; ++y) {
        for (int x = 96; x < 104; ++x) {
            const QRgb pixel = source.pixel(x, y);
            red += qRed(pixel);
            green += qGreen(pixel);
            blue += qBlue(pixel);
        }
    }
    for (const QPoint &p : {QPoint(96, 196), QPoint(103, 203), QPoint(100, 200)}) {
        const QRgb pixel = rendered.pixel(p);
        QVERIFY(std::abs(qRed(pixel) - red / 64) <= 0.5);
        QVERIFY(std::abs(qGreen(pixel) - green / 64) <= 0.5);
        QVERIFY(std::abs(qBlue(pixel) - blue / 64) <= 0.5);
    }
    QVERIFY(rendered.pixel(95, 200) != rendered.pixel(96, 200));
    QVERIFY(rendered.pixel(104, 200) != rendered.pixel(103, 200));
}

void AnnotationRendererTest::tinyPixelationBoxes_data()
{
    QTest::addColumn<QRectF>("box");
    QTest::addColumn<QRect>("flattened");

    QTest::newRow("1 pixel wide: skipped") << QRectF(10, 10, 1, 30) << QRect();
    QTest::newRow("1 pixel high: skipped") << QRectF(10, 10, 30, 1) << QRect();
    QTest::newRow("1.5 square over 2 × 2") << QRectF(10.25, 10.25, 1.5, 1.5) << QRect(10, 10, 2, 2);
    QTest::newRow("1.5 square over 3 × 3") << QRectF(10.75, 10.75, 1.5, 1.5) << QRect(10, 10, 3, 3);
}

void AnnotationRendererTest::tinyPixelationBoxes()
{
    QFETCH(QRectF, box);
    QFETCH(QRect, flattened);
    const QImage source = patternImage(100, 100);
    const QImage rendered = render(source, {makeItem(AnnotationTool::pixelate,
                                                      {{box.left() / 100, box.top() / 100},
                                                       {box.right() / 100, box.bottom() / 100}})});
    QVERIFY(!rendered.isNull());
    if (flattened.isEmpty()) {
        QVERIFY(sameImage(rendered, source));
        return;
    }
    // The whole-pixel rectangle becomes one flat cell; nothing around it changes.
    for (int y = flattened.top(); y <= flattened.bottom(); ++y) {
        for (int x = flattened.left(); x <= flattened.right(); ++x)
            QCOMPARE(rendered.pixel(x, y), rendered.pixel(flattened.topLeft()));
    }
    QVERIFY(rendered.pixel(flattened.topLeft()) != source.pixel(flattened.topLeft()));
    for (const QPoint &p : {flattened.topLeft() - QPoint(1, 1), flattened.bottomRight() + QPoint(1, 1),
                            QPoint(flattened.right() + 1, flattened.top())})
        QCOMPARE(rendered.pixel(p), source.pixel(p));
}

void AnnotationRendererTest::pixelationBeyondTheImage()
{
    const QImage source = patternImage(100, 100);
    // Partly outside: only the part inside is flattened.
    const QImage partly = render(source, {makeItem(AnnotationTool::pixelate, {{0.9, 0.9}, {1e300, 1e300}})});
    QVERIFY(!partly.isNull());
    QCOMPARE(partly.pixel(50, 50), source.pixel(50, 50));
    QCOMPARE(partly.pixel(89, 95), source.pixel(89, 95));
    const QList<int> runs = runLengths(partly, 95, 90, 100);
    QVERIFY(runs.size() <= 2);

    // Wholly outside: nothing to do, and no failure.
    const auto outside = AnnotationRenderer::renderImage(source, {makeItem(AnnotationTool::pixelate, {{1.2, 0.1}, {1.5, 0.5}})});
    QVERIFY(outside);
    QVERIFY(sameImage(*outside, source));
}

void AnnotationRendererTest::pixelationCoversEarlierItemsOnly()
{
    const QImage source = whiteImage(200, 200);
    const AnnotationItem before = makeItem(AnnotationTool::freehand, {{0.1, 0.5}, {0.9, 0.5}}, 6);
    const AnnotationItem box = makeItem(AnnotationTool::pixelate, {{0.5, 0.25}, {0.75, 0.75}});
    const AnnotationItem after = makeItem(AnnotationTool::freehand, {{0.1, 0.6}, {0.9, 0.6}}, 6);
    const QImage rendered = render(source, {before, box, after});
    // Inside the box the earlier stroke is gone: the box shows the source.
    QVERIFY(isWhite(rendered.pixel(125, 100)));
    QVERIFY(isInk(rendered.pixel(60, 100)));
    QVERIFY(isInk(rendered.pixel(160, 100)));
    // The later stroke is drawn over the pixelation.
    QVERIFY(isInk(rendered.pixel(125, 120)));
}

void AnnotationRendererTest::textPlacement()
{
    // Anchor (100, 100); lineWidth 5 gives 20-pixel text whose layout box
    // ends 20 pixels below the anchor.
    const QImage rendered = render(
        whiteImage(400, 200), {makeItem(AnnotationTool::text, {{0.25, 0.5}}, 5, {0, 0, 0, 1}, u"HH"_qs)});
    const QRect ink = inkBounds(rendered);
    QVERIFY(!ink.isEmpty());
    QVERIFY2(ink.left() >= 100 && ink.left() <= 104, qPrintable(QString::number(ink.left())));
    QVERIFY2(ink.bottom() < 120 && ink.bottom() >= 110, qPrintable(QString::number(ink.bottom())));
    // A capital is about three quarters of the font size high.
    QVERIFY2(ink.height() >= 12 && ink.height() <= 17, qPrintable(QString::number(ink.height())));
    QVERIFY(ink.top() >= 96);

    // Below the smallest size, text is 14 pixels.
    const QImage small = render(
        whiteImage(400, 200), {makeItem(AnnotationTool::text, {{0.25, 0.5}}, 1, {0, 0, 0, 1}, u"HH"_qs)});
    const QRect smallInk = inkBounds(small);
    QVERIFY2(smallInk.height() >= 8 && smallInk.height() <= 12, qPrintable(QString::number(smallInk.height())));
    QVERIFY(smallInk.bottom() < 114);

    // An absurd width is held to the cap: 400-pixel text, not a glyph the
    // size of a city.
    const QImage huge = render(
        whiteImage(1000, 600), {makeItem(AnnotationTool::text, {{0.1, 0.05}}, 1e12, {0, 0, 0, 1}, u"H"_qs)});
    const QRect hugeInk = inkBounds(huge);
    QVERIFY2(hugeInk.height() >= 250 && hugeInk.height() <= 320, qPrintable(QString::number(hugeInk.height())));
    QVERIFY(hugeInk.bottom() < 430);
}

void AnnotationRendererTest::textIsTrimmed()
{
    const QImage source = whiteImage(300, 100);
    const auto label = [](const QString &text) {
        return makeItem(AnnotationTool::text, {{0.1, 0.3}}, 5, {0, 0, 0, 1}, text);
    };
    QVERIFY(sameImage(render(source, {label(u" \n\t  \n"_qs)}), source));
    QVERIFY(sameImage(render(source, {makeItem(AnnotationTool::text, {{0.1, 0.3}}, 5)}), source));
    const QImage padded = render(source, {label(u"  Hi "_qs)});
    QVERIFY(!sameImage(padded, source));
    QVERIFY(sameImage(padded, render(source, {label(u"Hi"_qs)})));
}

void AnnotationRendererTest::multiLineTextGrowsUpward()
{
    const QImage source = whiteImage(300, 300);
    const auto label = [](const QString &text) {
        return makeItem(AnnotationTool::text, {{0.2, 0.5}}, 5, {0, 0, 0, 1}, text);
    };
    const QRect one = inkBounds(render(source, {label(u"H"_qs)}));
    const QRect two = inkBounds(render(source, {label(u"H\nH"_qs)}));
    const QRect crlf = inkBounds(render(source, {label(u"H\r\nH"_qs)}));
    QCOMPARE(two.bottom(), one.bottom());
    QVERIFY2(two.top() <= one.top() - 18 && two.top() >= one.top() - 30, qPrintable(QString::number(two.top())));
    QCOMPARE(crlf, two);
}

QRect inkBoundsInRows(const QImage &image, int top, int bottom)
{
    return inkBounds(image.copy(0, top, image.width(), bottom - top + 1)).translated(0, top);
}

void AnnotationRendererTest::everyLineKeepsItsOwnDirection()
{
    const QImage source = whiteImage(500, 300);
    const auto label = [](const QString &text) {
        return makeItem(AnnotationTool::text, {{0.1, 0.5}}, 8, {0, 0, 0, 1}, text);
    };
    const QString hebrew = u"\u05E9\u05DC\u05D5\u05DD!"_qs;

    // A Latin line under a Hebrew one reads left to right from the anchor,
    // exactly as it does on its own: the Hebrew line does not turn it round.
    const QImage alone = render(source, {label(u"Hi!"_qs)});
    const QImage mixed = render(source, {label(hebrew + u"\nHi!"_qs)});
    const QRect aloneInk = inkBounds(alone);
    QVERIFY(!inkBoundsInRows(mixed, 0, aloneInk.top() - 1).isEmpty());
    QCOMPARE(mixed.copy(0, aloneInk.top(), 500, 300 - aloneInk.top()),
             alone.copy(0, aloneInk.top(), 500, 300 - aloneInk.top()));

    // A Hebrew line under a longer Latin one stands against the box's right
    // edge, where the Latin line ends, not at the anchor.
    const QRect hebrewInk = inkBounds(render(source, {label(hebrew)}));
    const QImage latinFirst = render(source, {label(u"Hello world\n"_qs + hebrew)});
    const QRect upper = inkBoundsInRows(latinFirst, 0, hebrewInk.top() - 1);
    const QRect lower = inkBoundsInRows(latinFirst, hebrewInk.top(), hebrewInk.bottom());
    // Only the Hebrew line lies in those rows (a fractional shift may widen its ink by a pixel).
    QVERIFY(std::abs(lower.width() - hebrewInk.width()) <= 2);
    QVERIFY2(std::abs(lower.right() - upper.right()) <= 4,
             qPrintable(QStringLiteral("%1 %2").arg(lower.right()).arg(upper.right())));
    QVERIFY2(lower.left() > hebrewInk.left() + 40,
             qPrintable(QStringLiteral("%1 %2").arg(lower.left()).arg(hebrewInk.left())));
}

QTEST_MAIN(AnnotationRendererTest)
#include "tst_annotationrenderer.moc"

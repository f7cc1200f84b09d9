#include "model/AnnotationDocument.h"

#include <QTest>

using namespace tessaline;

namespace {

AnnotationItem makeItem(AnnotationTool tool, QList<NormalizedPoint> points, double lineWidth = 4,
                        std::optional<QString> text = std::nullopt)
{
    AnnotationItem made;
    made.id = QUuid::createUuid();
    made.tool = tool;
    made.points = std::move(points);
    made.color = {1, 0, 0, 1};
    made.lineWidth = lineWidth;
    made.text = std::move(text);
    return made;
}

const QSizeF viewSize(1000, 500);

} // namespace

class AnnotationGeometryTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void translated_data();
    void translated();
    void translatedKeepsEverythingElse();
    void frame_data();
    void frame();
    void hitTest_data();
    void hitTest();
    void itemLookup();
    void updateText();
    void updateStyle_data();
    void updateStyle();
    void replaceAndRemove();
};

void AnnotationGeometryTest::translated_data()
{
    QTest::addColumn<QList<NormalizedPoint>>("points");
    QTest::addColumn<double>("dx");
    QTest::addColumn<double>("dy");
    QTest::addColumn<QList<NormalizedPoint>>("expected");

    const QList<NormalizedPoint> span{{0.6, 0.2}, {0.9, 0.4}};
    QTest::newRow("stops at the right edge") << span << 0.5 << 0.0 << QList<NormalizedPoint>{{0.7, 0.2}, {1.0, 0.4}};
    QTest::newRow("stops at the left edge") << span << -0.8 << 0.0 << QList<NormalizedPoint>{{0.0, 0.2}, {0.3, 0.4}};
    QTest::newRow("free move") << span << -0.5 << 0.25 << QList<NormalizedPoint>{{0.1, 0.45}, {0.4, 0.65}};
    QTest::newRow("stops at the bottom") << span << 0.0 << 2.0 << QList<NormalizedPoint>{{0.6, 0.8}, {0.9, 1.0}};
    QTest::newRow("no points") << QList<NormalizedPoint>{} << 0.3 << 0.3 << QList<NormalizedPoint>{};
    // Lower bound first, then the upper one: wider than the image ends flush
    // right; outlying points are clamped into the image.
    QTest::newRow("wider than the image") << QList<NormalizedPoint>{{-0.2, 0.5}, {1.1, 0.5}} << -0.3 << 0.0
                                          << QList<NormalizedPoint>{{0.0, 0.5}, {1.0, 0.5}};
}

void AnnotationGeometryTest::translated()
{
    QFETCH(QList<NormalizedPoint>, points);
    QFETCH(double, dx);
    QFETCH(double, dy);
    QFETCH(QList<NormalizedPoint>, expected);
    const AnnotationItem moved = makeItem(AnnotationTool::freehand, points).translated(dx, dy);
    QCOMPARE(moved.points.size(), expected.size());
    for (qsizetype i = 0; i < expected.size(); ++i) {
        QVERIFY2(qFuzzyCompare(1 + moved.points[i].x, 1 + expected[i].x), qPrintable(QString::number(moved.points[i].x)));
        QVERIFY2(qFuzzyCompare(1 + moved.points[i].y, 1 + expected[i].y), qPrintable(QString::number(moved.points[i].y)));
    }
}

void AnnotationGeometryTest::translatedKeepsEverythingElse()
{
    const AnnotationItem source = makeItem(AnnotationTool::text, {{0.5, 0.5}}, 7, u"label"_qs);
    AnnotationItem moved = source.translated(0.1, -0.1);
    QCOMPARE(moved.id, source.id);
    QCOMPARE(moved.text, source.text);
    QCOMPARE(moved.lineWidth, 7.0);
    QCOMPARE(source.points.first(), (NormalizedPoint{0.5, 0.5}));
    moved.points = source.points;
    QVERIFY(moved == source);

    const AnnotationItem empty = makeItem(AnnotationTool::arrow, {});
    QVERIFY(empty.translated(0.4, 0.4) == empty);
}

void AnnotationGeometryTest::frame_data()
{
    QTest::addColumn<AnnotationItem>("item");
    QTest::addColumn<std::optional<QRectF>>("expected");

    QTest::newRow("text, five characters") << makeItem(AnnotationTool::text, {{0.1, 0.2}}, 2, u"Hello"_qs)
                                           << std::optional(QRectF(100, 100, 43.4, 17.5));
    QTest::newRow("text, absent") << makeItem(AnnotationTool::text, {{0.1, 0.2}}, 5)
                                  << std::optional(QRectF(100, 100, 30, 25));
    QTest::newRow("text, one line feed") << makeItem(AnnotationTool::text, {{0.1, 0.2}}, 5, u"\n"_qs)
                                         << std::optional(QRectF(100, 100, 30, 50));
    QTest::newRow("text, CR LF stays one line")
        << makeItem(AnnotationTool::text, {{0.1, 0.2}}, 10, u"abcd\r\nefgh"_qs)
        << std::optional(QRectF(100, 100, 0.62 * 40 * 9, 50));
    QTest::newRow("text, graphemes not code units")
        << makeItem(AnnotationTool::text, {{0, 0}}, 1, u"ab\ne\u0301\U0001F469\u200D\U0001F467xyz"_qs)
        << std::optional(QRectF(0, 0, 0.62 * 14 * 5, 35));
    QTest::newRow("text measured untrimmed") << makeItem(AnnotationTool::text, {{0, 0}}, 1, u"   a   "_qs)
                                             << std::optional(QRectF(0, 0, 0.62 * 14 * 7, 17.5));
    QTest::newRow("rectangle, coinciding corners") << makeItem(AnnotationTool::rectangle, {{0.3, 0.4}, {0.3, 0.4}})
                                                   << std::optional(QRectF(300, 200, 1, 1));
    QTest::newRow("freehand bounding box")
        << makeItem(AnnotationTool::freehand, {{0.5, 0.5}, {0.2, 0.9}, {0.7, 0.6}})
        << std::optional(QRectF(200, 250, 500, 200));
    QTest::newRow("pixelate, reversed corners") << makeItem(AnnotationTool::pixelate, {{0.5, 0.5}, {0.1, 0.1}})
                                                << std::optional(QRectF(100, 50, 400, 200));
    QTest::newRow("select, thin") << makeItem(AnnotationTool::select, {{0.1, 0.1}, {0.1005, 0.5}})
                                  << std::optional(QRectF(100, 50, 1, 200));
    QTest::newRow("rectangle without points") << makeItem(AnnotationTool::rectangle, {})
                                              << std::optional<QRectF>();
    QTest::newRow("text without points") << makeItem(AnnotationTool::text, {}, 1, u"x"_qs)
                                         << std::optional<QRectF>();
}

void AnnotationGeometryTest::frame()
{
    QFETCH(AnnotationItem, item);
    QFETCH(std::optional<QRectF>, expected);
    const auto frame = item.frame(viewSize);
    QCOMPARE(frame.has_value(), expected.has_value());
    if (expected) {
        QVERIFY2(qFuzzyCompare(frame->x() + 1, expected->x() + 1) && qFuzzyCompare(frame->y() + 1, expected->y() + 1)
                     && qFuzzyCompare(frame->width(), expected->width())
                     && qFuzzyCompare(frame->height(), expected->height()),
                 qPrintable(QStringLiteral("%1,%2 %3x%4").arg(frame->x()).arg(frame->y()).arg(frame->width()).arg(frame->height())));
    }
}

void AnnotationGeometryTest::hitTest_data()
{
    QTest::addColumn<AnnotationItem>("item");
    QTest::addColumn<QPointF>("point");
    QTest::addColumn<bool>("hit");

    // A horizontal stroke along y = 250 from x = 100 to x = 900.
    const QList<NormalizedPoint> line{{0.1, 0.5}, {0.5, 0.5}, {0.9, 0.5}};
    QTest::newRow("wide stroke, 10 away") << makeItem(AnnotationTool::freehand, line, 20) << QPointF(400, 260) << true;
    QTest::newRow("wide stroke, 10.5 away") << makeItem(AnnotationTool::freehand, line, 20) << QPointF(400, 260.5) << false;
    QTest::newRow("thin stroke, 8 away") << makeItem(AnnotationTool::freehand, line, 4) << QPointF(400, 242) << true;
    QTest::newRow("thin stroke, 9 away") << makeItem(AnnotationTool::freehand, line, 4) << QPointF(400, 241) << false;
    QTest::newRow("beyond the end, within tolerance") << makeItem(AnnotationTool::highlight, line, 4)
                                                      << QPointF(907, 250) << true;
    QTest::newRow("beyond the end, outside") << makeItem(AnnotationTool::highlight, line, 4) << QPointF(909, 250) << false;
    QTest::newRow("zero-length segment") << makeItem(AnnotationTool::freehand, {{0.5, 0.5}, {0.5, 0.5}}, 4)
                                         << QPointF(505, 255) << true;
    QTest::newRow("one-point arrow, within") << makeItem(AnnotationTool::arrow, {{0.5, 0.5}}, 20) << QPointF(506, 250)
                                             << true;
    QTest::newRow("one-point arrow, width plays no part") << makeItem(AnnotationTool::arrow, {{0.5, 0.5}}, 20)
                                                          << QPointF(509, 250) << false;
    QTest::newRow("arrow head is not part of the line")
        << makeItem(AnnotationTool::arrow, {{0.1, 0.5}, {0.5, 0.5}}, 4) << QPointF(485, 235) << false;

    // A box from (100, 100) to (300, 200), tolerance 8.
    const QList<NormalizedPoint> box{{0.3, 0.4}, {0.1, 0.2}};
    QTest::newRow("rectangle, empty interior") << makeItem(AnnotationTool::rectangle, box) << QPointF(200, 150) << true;
    QTest::newRow("rectangle, grown left edge") << makeItem(AnnotationTool::rectangle, box) << QPointF(92, 150) << true;
    QTest::newRow("rectangle, grown right edge") << makeItem(AnnotationTool::rectangle, box) << QPointF(308, 150) << false;
    QTest::newRow("rectangle, just inside right") << makeItem(AnnotationTool::rectangle, box) << QPointF(307.999, 150)
                                                  << true;
    QTest::newRow("rectangle, grown bottom edge") << makeItem(AnnotationTool::rectangle, box) << QPointF(200, 208) << false;
    QTest::newRow("rectangle, grown top edge") << makeItem(AnnotationTool::rectangle, box) << QPointF(200, 92) << true;
    QTest::newRow("pixelate, inside") << makeItem(AnnotationTool::pixelate, box) << QPointF(150, 120) << true;
    QTest::newRow("pixelate, middle point ignored")
        << makeItem(AnnotationTool::pixelate, {{0.1, 0.2}, {0.9, 0.9}, {0.3, 0.4}}) << QPointF(600, 400) << false;

    // Text frame at (100, 100), 43.4 × 17.5.
    const AnnotationItem label = makeItem(AnnotationTool::text, {{0.1, 0.2}}, 2, u"Hello"_qs);
    QTest::newRow("text, inside") << label << QPointF(120, 110) << true;
    QTest::newRow("text, within tolerance") << label << QPointF(150, 124) << true;
    QTest::newRow("text, far edge") << label << QPointF(151.4, 110) << false;

    QTest::newRow("select") << makeItem(AnnotationTool::select, box) << QPointF(200, 150) << false;
    QTest::newRow("no points") << makeItem(AnnotationTool::rectangle, {}) << QPointF(0, 0) << false;
}

void AnnotationGeometryTest::hitTest()
{
    QFETCH(AnnotationItem, item);
    QFETCH(QPointF, point);
    QFETCH(bool, hit);
    QCOMPARE(item.hitTest(point, viewSize, 8), hit);
}

void AnnotationGeometryTest::itemLookup()
{
    AnnotationDocument document;
    const AnnotationItem first = makeItem(AnnotationTool::arrow, {{0.1, 0.1}});
    AnnotationItem duplicate = makeItem(AnnotationTool::rectangle, {{0.2, 0.2}});
    duplicate.id = first.id;
    document.items = {first, duplicate};
    QVERIFY(document.item(first.id) == first);
    QVERIFY(!document.item(std::nullopt));
    QVERIFY(!document.item(QUuid::createUuid()));
}

void AnnotationGeometryTest::updateText()
{
    AnnotationDocument document;
    const AnnotationItem label = makeItem(AnnotationTool::text, {{0.1, 0.1}}, 4, u"old"_qs);
    const AnnotationItem arrow = makeItem(AnnotationTool::arrow, {{0.1, 0.1}}, 4, u"arrow"_qs);
    document.items = {arrow, label};
    const AnnotationDocument before = document;

    QVERIFY(!document.updateText(u" \n\t "_qs, label.id));
    QVERIFY(!document.updateText(u"new"_qs, arrow.id));
    QVERIFY(!document.updateText(u"new"_qs, QUuid::createUuid()));
    QVERIFY(document == before);

    QVERIFY(document.updateText(u"  new text\n"_qs, label.id));
    QCOMPARE(document.items[1].text, std::optional<QString>(u"new text"_qs));
    QVERIFY(document.items[0] == arrow);
}

void AnnotationGeometryTest::updateStyle_data()
{
    QTest::addColumn<AnnotationTool>("tool");
    QTest::addColumn<std::optional<AnnotationColor>>("color");
    QTest::addColumn<std::optional<double>>("lineWidth");
    QTest::addColumn<bool>("changed");
    QTest::addColumn<AnnotationColor>("storedColor");
    QTest::addColumn<double>("storedWidth");

    const AnnotationColor original{1, 0, 0, 1};
    const AnnotationColor opaqueBlue{0, 0, 1, 0.9};
    QTest::newRow("select refuses") << AnnotationTool::select << std::optional(opaqueBlue) << std::optional(5.0)
                                    << false << original << 4.0;
    QTest::newRow("pixelate refuses") << AnnotationTool::pixelate << std::optional(opaqueBlue) << std::optional(5.0)
                                      << false << original << 4.0;
    QTest::newRow("highlight alpha capped") << AnnotationTool::highlight << std::optional(opaqueBlue)
                                            << std::optional<double>() << true << AnnotationColor{0, 0, 1, 0.38} << 4.0;
    QTest::newRow("highlight negative alpha") << AnnotationTool::highlight
                                              << std::optional(AnnotationColor{0, 0, 1, -0.5}) << std::optional<double>()
                                              << true << AnnotationColor{0, 0, 1, 0} << 4.0;
    QTest::newRow("arrow alpha kept") << AnnotationTool::arrow << std::optional(opaqueBlue) << std::optional<double>()
                                      << true << opaqueBlue << 4.0;
    QTest::newRow("out-of-range colour kept") << AnnotationTool::text
                                              << std::optional(AnnotationColor{1.5, -1, 0, 2}) << std::optional<double>()
                                              << true << AnnotationColor{1.5, -1, 0, 2} << 4.0;
    QTest::newRow("width below range") << AnnotationTool::freehand << std::optional<AnnotationColor>()
                                       << std::optional(0.0) << true << original << 1.0;
    QTest::newRow("width above range") << AnnotationTool::rectangle << std::optional<AnnotationColor>()
                                       << std::optional(35.0) << true << original << 20.0;
    QTest::newRow("width in range") << AnnotationTool::rectangle << std::optional<AnnotationColor>()
                                    << std::optional(7.5) << true << original << 7.5;
    QTest::newRow("NaN width") << AnnotationTool::arrow << std::optional<AnnotationColor>()
                               << std::optional(std::numeric_limits<double>::quiet_NaN()) << true << original << 1.0;
    QTest::newRow("nothing given") << AnnotationTool::arrow << std::optional<AnnotationColor>()
                                   << std::optional<double>() << true << original << 4.0;
}

void AnnotationGeometryTest::updateStyle()
{
    QFETCH(AnnotationTool, tool);
    QFETCH(std::optional<AnnotationColor>, color);
    QFETCH(std::optional<double>, lineWidth);
    QFETCH(bool, changed);
    QFETCH(AnnotationColor, storedColor);
    QFETCH(double, storedWidth);

    AnnotationDocument document;
    document.items = {makeItem(AnnotationTool::arrow, {{0.1, 0.1}}), makeItem(tool, {{0.2, 0.2}})};
    const QUuid id = document.items[1].id;
    const AnnotationDocument before = document;
    QCOMPARE(document.updateStyle(color, lineWidth, id), changed);
    QVERIFY(document.items[1].color == storedColor);
    QCOMPARE(document.items[1].lineWidth, storedWidth);
    QVERIFY(document.items[0] == before.items[0]);
    QVERIFY(!document.updateStyle(color, lineWidth, QUuid::createUuid()));
}

void AnnotationGeometryTest::replaceAndRemove()
{
    AnnotationDocument document;
    const AnnotationItem a = makeItem(AnnotationTool::arrow, {{0.1, 0.1}});
    const AnnotationItem b = makeItem(AnnotationTool::freehand, {{0.2, 0.2}});
    const AnnotationItem c = makeItem(AnnotationTool::text, {{0.3, 0.3}}, 2, u"c"_qs);
    document.items = {a, b, c};

    AnnotationItem movedB = b.translated(0.1, 0.1);
    QVERIFY(document.replaceItem(movedB));
    QVERIFY(document.items[1] == movedB);
    QVERIFY(!document.replaceItem(makeItem(AnnotationTool::arrow, {})));
    QCOMPARE(document.items.size(), 3);

    const auto removed = document.removeItem(b.id);
    QVERIFY(removed && *removed == movedB);
    QCOMPARE(document.items.size(), 2);
    QVERIFY(document.items[0] == a);
    QVERIFY(document.items[1] == c);
    QVERIFY(!document.removeItem(b.id));
    QCOMPARE(document.items.size(), 2);
}

QTEST_GUILESS_MAIN(AnnotationGeometryTest)
#include "tst_annotationgeometry.moc"

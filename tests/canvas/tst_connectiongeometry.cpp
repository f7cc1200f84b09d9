#include "canvas/ConnectionGeometry.h"

#include <QTest>

#include <algorithm>
#include <cmath>
#include <limits>

using namespace tessaline;

class ConnectionGeometryTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void curve_data()
    {
        QTest::addColumn<QRectF>("source");
        QTest::addColumn<QRectF>("destination");
        QTest::addColumn<double>("bow");
        QTest::addColumn<QPointF>("firstControl");
        QTest::addColumn<QPointF>("secondControl");
        QTest::newRow("one above the other")
            << QRectF(0, 0, 320, 220) << QRectF(0, 500, 320, 220) << 60.0 << QPointF(220, 110) << QPointF(100, 610);
        QTest::newRow("400 apart") << QRectF(0, 0, 200, 100) << QRectF(400, 0, 200, 100) << 180.0
                                   << QPointF(280, 50) << QPointF(320, 50);
        // Leaves to the right, comes in from the left: an S.
        QTest::newRow("destination on the left") << QRectF(1000, 0, 200, 100) << QRectF(0, 300, 200, 100) << 450.0
                                                 << QPointF(1550, 50) << QPointF(-350, 350);
    }

    void curve()
    {
        QFETCH(QRectF, source);
        QFETCH(QRectF, destination);
        QFETCH(double, bow);
        QFETCH(QPointF, firstControl);
        QFETCH(QPointF, secondControl);
        const ConnectionCurve curve = ConnectionCurve::between(source, destination);
        QCOMPARE(curve.bow, bow);
        QCOMPARE(curve.firstControl, firstControl);
        QCOMPARE(curve.secondControl, secondControl);
        const QPainterPath path = curve.path();
        QCOMPARE(path.pointAtPercent(0), source.center());
        QCOMPARE(path.pointAtPercent(1), destination.center());
        // The label's centre is the curve's point at parameter 0.5.
        const QPointF half = path.elementCount() == 4
            ? (path.elementAt(0) + 3 * QPointF(path.elementAt(1)) + 3 * QPointF(path.elementAt(2)) +
               QPointF(path.elementAt(3))) / 8
            : QPointF();
        QCOMPARE(curve.midpoint(), half);
    }

    // The drawn pieces follow the true curve, and a long connection takes
    // few of them (each piece crossing the view is drawn on every scroll).
    void flattened_data()
    {
        QTest::addColumn<QRectF>("source");
        QTest::addColumn<QRectF>("destination");
        QTest::addColumn<int>("mostPieces");
        QTest::newRow("level: one straight piece") << QRectF(0, 0, 200, 100) << QRectF(400, 0, 200, 100) << 1;
        QTest::newRow("one above the other") << QRectF(0, 0, 320, 220) << QRectF(0, 500, 320, 220) << 64;
        QTest::newRow("across a big map") << QRectF(0, 0, 320, 220) << QRectF(24000, 16000, 320, 220) << 512;
        QTest::newRow("far down, close across") << QRectF(0, 0, 320, 220) << QRectF(40, 30000, 320, 220) << 100;
        QTest::newRow("back to the left") << QRectF(18000, 0, 200, 100) << QRectF(0, 900, 200, 100) << 200;
    }

    void flattened()
    {
        QFETCH(QRectF, source);
        QFETCH(QRectF, destination);
        QFETCH(int, mostPieces);
        constexpr double tolerance = 0.1;
        const ConnectionCurve curve = ConnectionCurve::between(source, destination);
        const QPolygonF points = curve.flattened(tolerance);
        QCOMPARE(points.first(), curve.start);
        QCOMPARE(points.last(), curve.end);
        QVERIFY2(points.size() - 1 <= mostPieces, qPrintable(QString::number(points.size() - 1)));
        const auto distanceToPieces = [&points](const QPointF &p) {
            double nearest = std::numeric_limits<double>::max();
            for (qsizetype i = 0; i + 1 < points.size(); ++i) {
                const QPointF a = points.at(i), ab = points.at(i + 1) - a;
                const double length = QPointF::dotProduct(ab, ab);
                const double t = length > 0 ? std::clamp(QPointF::dotProduct(p - a, ab) / length, 0.0, 1.0) : 0.0;
                const QPointF off = p - (a + t * ab);
                nearest = std::min(nearest, std::hypot(off.x(), off.y()));
            }
            return nearest;
        };
        for (int i = 0; i <= 2000; ++i) {
            const double t = i / 2000.0;
            const double u = 1 - t;
            const QPointF onCurve = u * u * u * curve.start + 3 * u * u * t * curve.firstControl +
                3 * u * t * t * curve.secondControl + t * t * t * curve.end;
            QVERIFY2(distanceToPieces(onCurve) <= tolerance * 1.001, qPrintable(QString::number(t)));
        }
    }

    void accessibilityLabel_data()
    {
        QTest::addColumn<std::optional<QString>>("label");
        QTest::addColumn<QString>("spoken");
        QTest::addColumn<bool>("drawn");
        const QString base = QStringLiteral("Connection from Idea to Evidence");
        QTest::newRow("no label") << std::optional<QString>() << base << false;
        QTest::newRow("empty label") << std::optional<QString>(QString()) << base << false;
        QTest::newRow("only spaces: drawn, not spoken") << std::optional<QString>(QStringLiteral("   ")) << base << true;
        QTest::newRow("trimmed when spoken") << std::optional<QString>(QStringLiteral("  supports\n"))
                                             << base + QStringLiteral(", labeled supports") << true;
    }

    void accessibilityLabel()
    {
        QFETCH(std::optional<QString>, label);
        QFETCH(QString, spoken);
        QFETCH(bool, drawn);
        QCOMPARE(ConnectionTexts::accessibilityLabel(QStringLiteral("Idea"), QStringLiteral("Evidence"), label), spoken);
        QCOMPARE(ConnectionTexts::drawsLabel(label), drawn);
    }

    void gridArea_data()
    {
        QTest::addColumn<QSizeF>("map");
        QTest::addColumn<QRectF>("exposed");
        QTest::addColumn<QRectF>("area");
        // Dots start at multiples of 28 inside the area: 28, 56, 84 across
        // and 28, 56 down here.
        QTest::newRow("small map") << QSizeF(100, 60) << QRectF(0, 0, 100, 60) << QRectF(28, 28, 72, 32);
        QTest::newRow("too narrow") << QSizeF(28, 600) << QRectF(0, 0, 28, 600) << QRectF();
        // A dot would start exactly on the far edge: the area stops before it.
        QTest::newRow("far edge") << QSizeF(56, 56) << QRectF(0, 0, 56, 56) << QRectF(28, 28, 28, 28);
        QTest::newRow("only the exposed part") << QSizeF(1800, 1180) << QRectF(100, 100, 41, 20)
                                               << QRectF(100, 100, 41, 20);
        QTest::newRow("exposed along the top edge") << QSizeF(1800, 1180) << QRectF(0, 0, 300, 30)
                                                    << QRectF(28, 28, 272, 2);
    }

    void gridArea()
    {
        QFETCH(QSizeF, map);
        QFETCH(QRectF, exposed);
        QFETCH(QRectF, area);
        QCOMPARE(CanvasGrid::dottedArea(map, exposed), area);
    }
};

QTEST_GUILESS_MAIN(ConnectionGeometryTest)
#include "tst_connectiongeometry.moc"

#include "runtime/PinGeometry.h"

#include <QTest>

using namespace tessaline;

class PinGeometryTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initialSize_data();
    void initialSize();
    void cornerGripKeepsProportions_data();
    void cornerGripKeepsProportions();
    void windowManagerKeepsProportionsOnlyWhereTheWindowHasThem_data();
    void windowManagerKeepsProportionsOnlyWhereTheWindowHasThem();
};

void PinGeometryTest::initialSize_data()
{
    QTest::addColumn<QSizeF>("image");
    QTest::addColumn<QSize>("window");
    QTest::newRow("wide: scaled to 560") << QSizeF(1600, 900) << QSize(560, 315);
    QTest::newRow("small enough: kept") << QSizeF(300, 200) << QSize(300, 200);
    QTest::newRow("tiny: each side raised on its own") << QSizeF(100, 50) << QSize(180, 120);
    QTest::newRow("tall: height not limited") << QSizeF(1000, 3000) << QSize(560, 1680);
    QTest::newRow("at most a point wide: scale 1") << QSizeF(1, 40) << QSize(180, 120);
}

void PinGeometryTest::initialSize()
{
    QFETCH(QSizeF, image);
    QFETCH(QSize, window);
    QCOMPARE(PinGeometry::initialSize(image), window);
}

void PinGeometryTest::cornerGripKeepsProportions_data()
{
    QTest::addColumn<QSize>("start");
    QTest::addColumn<QPoint>("drag");
    QTest::addColumn<QSizeF>("image");
    QTest::addColumn<QSize>("result");
    QTest::addColumn<QSize>("limit");
    QTest::newRow("sideways") << QSize(560, 315) << QPoint(100, 10) << QSizeF(1600, 900) << QSize(660, 371) << QSize();
    QTest::newRow("downwards, height leads") << QSize(560, 315) << QPoint(10, 90) << QSizeF(1600, 900)
                                              << QSize(720, 405) << QSize();
    QTest::newRow("smaller than allowed: height at 90") << QSize(560, 315) << QPoint(-1000, 0) << QSizeF(1600, 900)
                                                         << QSize(160, 90) << QSize();
    QTest::newRow("tall picture: width at 140") << QSize(560, 1680) << QPoint(-600, 0) << QSizeF(1000, 3000)
                                                 << QSize(140, 420) << QSize();
    QTest::newRow("first drag takes the picture's shape") << QSize(180, 120) << QPoint(0, 0) << QSizeF(100, 50)
                                                           << QSize(180, 90) << QSize();
    // A window raised to its smallest size on one side: the drag grows the
    // picture as shown, and only the short side stays raised.
    QTest::newRow("long thin picture: a small drag stays small") << QSize(180, 120) << QPoint(1, 0) << QSizeF(1, 100)
                                                                 << QSize(140, 220) << QSize();
    QTest::newRow("long thin picture: dragged down") << QSize(140, 220) << QPoint(0, 100) << QSizeF(1, 100)
                                                     << QSize(140, 320) << QSize();
    QTest::newRow("long thin picture: mostly down, the height follows")
        << QSize(180, 300) << QPoint(5, 19) << QSizeF(4, 300) << QSize(140, 319) << QSize();
    QTest::newRow("wide thin picture: height stays at 90") << QSize(180, 120) << QPoint(10, 0) << QSizeF(100, 1)
                                                           << QSize(190, 90) << QSize();
    // Near the screen's edge the window stops growing where the room ends.
    QTest::newRow("room to the right ends") << QSize(560, 315) << QPoint(300, 0) << QSizeF(1600, 900)
                                            << QSize(640, 360) << QSize(640, 900);
    QTest::newRow("room below ends") << QSize(560, 315) << QPoint(0, 300) << QSizeF(1600, 900) << QSize(480, 270)
                                     << QSize(1000, 270);
    QTest::newRow("room left is enough") << QSize(560, 315) << QPoint(100, 10) << QSizeF(1600, 900)
                                         << QSize(660, 371) << QSize(1000, 1000);
    QTest::newRow("no room: never below the smallest size") << QSize(560, 315) << QPoint(100, 0)
                                                            << QSizeF(1600, 900) << QSize(140, 90) << QSize(50, 50);
    // Kept in proportions at the room's width, a wide thin picture would be
    // under the smallest height: the width stops at the room on its own.
    QTest::newRow("wide thin picture dragged down near the right edge")
        << QSize(455, 120) << QPoint(0, 40) << QSizeF(455, 50) << QSize(515, 90) << QSize(515, 900);
    QTest::newRow("wide thin picture grown: proportions kept at the room")
        << QSize(819, 90) << QPoint(0, 30) << QSizeF(455, 50) << QSize(900, 99) << QSize(900, 600);
}

void PinGeometryTest::cornerGripKeepsProportions()
{
    QFETCH(QSize, start);
    QFETCH(QPoint, drag);
    QFETCH(QSizeF, image);
    QFETCH(QSize, result);
    QFETCH(QSize, limit);
    QCOMPARE(PinGeometry::resizedSize(start, drag, image, limit), result);
}

void PinGeometryTest::windowManagerKeepsProportionsOnlyWhereTheWindowHasThem_data()
{
    QTest::addColumn<QSize>("window");
    QTest::addColumn<QSizeF>("image");
    // The smallest size the manager may make it; none: it is not asked to
    // keep proportions.
    QTest::addColumn<QSize>("minimum");
    QTest::newRow("in proportions") << QSize(560, 315) << QSizeF(1600, 900) << QSize(160, 90);
    QTest::newRow("a side rounded") << QSize(561, 316) << QSizeF(1600, 900) << QSize(160, 90);
    QTest::newRow("tall") << QSize(560, 1680) << QSizeF(1000, 3000) << QSize(140, 420);
    QTest::newRow("wide thin, grown into its proportions") << QSize(910, 100) << QSizeF(455, 50) << QSize(819, 90);
    // Kept by the manager, these would shrink to the picture's shape, under
    // the smallest size.
    QTest::newRow("first size raised on one side") << QSize(455, 120) << QSizeF(455, 50) << QSize();
    QTest::newRow("first size raised on both sides") << QSize(180, 120) << QSizeF(100, 50) << QSize();
    QTest::newRow("thin picture's short side raised") << QSize(140, 220) << QSizeF(1, 100) << QSize();
    QTest::newRow("no picture yet") << QSize(180, 120) << QSizeF() << QSize();
}

void PinGeometryTest::windowManagerKeepsProportionsOnlyWhereTheWindowHasThem()
{
    QFETCH(QSize, window);
    QFETCH(QSizeF, image);
    QFETCH(QSize, minimum);
    const auto managed = PinGeometry::managedResize(window, image);
    QCOMPARE(managed.has_value(), minimum.isValid());
    if (!managed)
        return;
    QCOMPARE(managed->aspect, image);
    QCOMPARE(managed->minimum, minimum);
    QVERIFY(managed->minimum.width() >= PinGeometry::minimumSize.width());
    QVERIFY(managed->minimum.height() >= PinGeometry::minimumSize.height());
}

QTEST_APPLESS_MAIN(PinGeometryTest)
#include "tst_pingeometry.moc"

// Where a pop-up opens under Wayland: one that Qt slid against the screen's
// right edge, past the window it belongs to, is slid against that window's
// edge instead; every other pop-up stays where Qt put it.
#include "shell/PopupPlacementGuard.h"

#include <QTest>

using namespace tessaline;

class TestPopupPlacementGuard : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void placement_data()
    {
        QTest::addColumn<QRect>("popup");
        QTest::addColumn<QRect>("window");
        QTest::addColumn<QRect>("expected");
        const QRect tiled(0, 0, 1916, 1053);
        QTest::newRow("a menu slid to the screen's last column")
            << QRect(1637, 30, 283, 90) << tiled << QRect(1633, 30, 283, 90);
        QTest::newRow("a tool button's menu, slid to the column before it")
            << QRect(1636, 30, 283, 90) << tiled << QRect(1633, 30, 283, 90);
        QTest::newRow("a menu within the window stays") << QRect(1500, 30, 283, 90) << tiled << QRect(1500, 30, 283, 90);
        QTest::newRow("a menu past a narrow window, clear of the screen's edge, stays")
            << QRect(800, 30, 283, 90) << QRect(0, 0, 900, 600) << QRect(800, 30, 283, 90);
        QTest::newRow("a menu wider than its window goes no further left than the window")
            << QRect(1600, 30, 320, 90) << QRect(1500, 0, 250, 300) << QRect(1500, 30, 320, 90);
        QTest::newRow("a window past the screen's edge keeps the menu where Qt put it")
            << QRect(1637, 30, 283, 90) << QRect(400, 0, 1916, 1053) << QRect(1637, 30, 283, 90);
    }

    void placement()
    {
        QFETCH(QRect, popup);
        QFETCH(QRect, window);
        QFETCH(QRect, expected);
        QCOMPARE(PopupPlacementGuard::placement(popup, window, QRect(0, 0, 1920, 1080)), expected);
    }
};

QTEST_MAIN(TestPopupPlacementGuard)
#include "tst_popupplacementguard.moc"

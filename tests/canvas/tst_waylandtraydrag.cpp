// A snip dragged from the tray onto the map with the pointer of a real
// (headless) Wayland session: the drag goes through the compositor's data
// device, and the drop places the snip where it was let go.

#include "MapRig.h"
#include "../support/WaylandTestSupport.h"

#include "canvas/BoardMapScene.h"
#include "canvas/BoardMapView.h"
#include "canvas/CardItem.h"
#include "canvas/MapPlacement.h"
#include "canvas/SnipTrayView.h"

#include <QGraphicsView>
#include <QListView>

using namespace tessaline;
using namespace tessaline::testing;
using namespace tessaline::waylandtest;

class WaylandTrayDragTest : public QObject
{
    Q_OBJECT
public:
    static void initMain() { runOffscreenWithoutSession(); }

private Q_SLOTS:
    void initTestCase()
    {
        if (const QString missing = missingSession(); !missing.isEmpty())
            TESSALINE_SKIP_WITHOUT_SESSION(qPrintable(missing));
    }

    void dragFromTheTrayPlacesTheSnip()
    {
        MapRig rig;
        CanvasCard *snip = rig.card(CardKind::snip, 1);
        QVERIFY(rig.context->save());
        BoardMapView view(*rig.context, *rig.navigation, rig.note->id(), &rig.stack, BoardMapServices{});
        view.setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
        view.setTrayShown(true);
        // Full screen, the window's points are the output's: the pointer is
        // placed in the output's coordinates.
        view.showFullScreen();
        QVERIFY(QTest::qWaitForWindowExposed(&view, patience));
        QTRY_COMPARE_WITH_TIMEOUT(view.size(), view.screen()->size(), patience);

        QListView *tray = view.tray()->list();
        QTRY_VERIFY_WITH_TIMEOUT(tray->isVisible() && tray->model()->rowCount() == 1, patience);
        const QPoint from = tray->viewport()->mapTo(&view, tray->visualRect(tray->model()->index(0, 0)).center());
        const QPointF target(400, 300);
        const QPoint to = view.graphicsView()->viewport()->mapTo(&view, view.graphicsView()->mapFromScene(target));

        QStringList steps{QStringLiteral("move"), QString::number(from.x()), QString::number(from.y()),
                          QStringLiteral("down")};
        for (int i = 1; i <= 20; ++i) {
            const QPoint at = from + (to - from) * i / 20;
            steps << QStringLiteral("sleep") << QStringLiteral("30") << QStringLiteral("move")
                  << QString::number(at.x()) << QString::number(at.y());
        }
        steps << QStringLiteral("sleep") << QStringLiteral("100") << QStringLiteral("up");
        QProcess gesture;
        gesture.start(QStringLiteral("bash"), QStringList{QStringLiteral(TESSALINE_WAYLAND_SESSION), QStringLiteral("input")} + steps);
        QVERIFY(gesture.waitForStarted());

        QTRY_VERIFY_WITH_TIMEOUT(snip->isPlaced(), patience);
        QTRY_VERIFY_WITH_TIMEOUT(gesture.state() == QProcess::NotRunning, patience);
        const QPointF expected = MapPlacement::dropOrigin(target);
        QVERIFY2(std::abs(snip->canvasX() - expected.x()) <= 2 && std::abs(snip->canvasY() - expected.y()) <= 2,
                 qPrintable(QStringLiteral("placed at %1, %2").arg(snip->canvasX()).arg(snip->canvasY())));
        QCOMPARE(rig.stack.undoText(), QStringLiteral("Place Card"));
        QTRY_COMPARE_WITH_TIMEOUT(view.tray()->trayModel().rowCount(), 0, patience);
    }
};

QTEST_MAIN(WaylandTrayDragTest)
#include "tst_waylandtraydrag.moc"

// A snip dragged from the tray onto the map with the real pointer of the X
// server (xdotool): the drop places it where it was let go.

#include "MapRig.h"

#include "canvas/BoardMapScene.h"
#include "canvas/BoardMapView.h"
#include "canvas/CardItem.h"
#include "canvas/MapPlacement.h"
#include "canvas/SnipTrayView.h"

#include <QGraphicsView>
#include <QListView>
#include <QProcess>

using namespace tessaline;
using namespace tessaline::testing;

class X11TrayDragTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void dragFromTheTrayPlacesTheSnip()
    {
        MapRig rig;
        CanvasCard *snip = rig.card(CardKind::snip, 1);
        QVERIFY(rig.context->save());
        BoardMapView view(*rig.context, *rig.navigation, rig.note->id(), &rig.stack, BoardMapServices{});
        view.setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::BypassWindowManagerHint);
        view.setGeometry(100, 100, 1000, 700);
        view.setTrayShown(true);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));

        QListView *tray = view.tray()->list();
        QTRY_VERIFY(tray->isVisible() && tray->model()->rowCount() == 1);
        const QPoint from = tray->viewport()->mapToGlobal(tray->visualRect(tray->model()->index(0, 0)).center());
        const QPointF target(400, 300);
        const QPoint to = view.graphicsView()->viewport()->mapToGlobal(view.graphicsView()->mapFromScene(target));

        // One xdotool run for the whole gesture: the drag's own event loop
        // runs inside Qt while the pointer moves.
        QStringList steps{QStringLiteral("mousemove"), QString::number(from.x()), QString::number(from.y()),
                          QStringLiteral("mousedown"), QStringLiteral("1")};
        for (int i = 1; i <= 10; ++i) {
            const QPoint at = from + (to - from) * i / 10;
            steps << QStringLiteral("sleep") << QStringLiteral("0.05") << QStringLiteral("mousemove")
                  << QString::number(at.x()) << QString::number(at.y());
        }
        steps << QStringLiteral("sleep") << QStringLiteral("0.1") << QStringLiteral("mouseup") << QStringLiteral("1");
        QProcess gesture;
        gesture.start(QStringLiteral("xdotool"), steps);
        QVERIFY(gesture.waitForStarted());

        QTRY_VERIFY_WITH_TIMEOUT(snip->isPlaced(), 10000);
        QTRY_VERIFY(gesture.state() == QProcess::NotRunning);
        // Within a few points of where it was let go, as the pointer lands
        // on whole pixels.
        const QPointF expected = MapPlacement::dropOrigin(target);
        QVERIFY2(std::abs(snip->canvasX() - expected.x()) <= 2 && std::abs(snip->canvasY() - expected.y()) <= 2,
                 qPrintable(QStringLiteral("placed at %1, %2").arg(snip->canvasX()).arg(snip->canvasY())));
        QCOMPARE(rig.stack.undoText(), QStringLiteral("Place Card"));
        QTRY_VERIFY(view.scene().cardItem(snip->id()));
        QTRY_COMPARE(view.tray()->trayModel().rowCount(), 0);
    }
};

QTEST_MAIN(X11TrayDragTest)
#include "tst_x11traydrag.moc"

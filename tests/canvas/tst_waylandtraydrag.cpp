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

#include <QDropEvent>
#include <QGraphicsView>
#include <QListView>
#include <QMouseEvent>

using namespace tessaline;
using namespace tessaline::testing;
using namespace tessaline::waylandtest;

namespace {

// Where the window last saw the pointer, pressed or moving, and whether the
// compositor carries a drag over it: once our drag has begun, its motions
// come through the data device, not the pointer.
class PointerSeen : public QObject
{
public:
    explicit PointerSeen(QWindow *window) : m_window(window) { qApp->installEventFilter(this); }

    QPoint pressedAt{-1, -1};
    QPoint at{-1, -1};
    bool dragged = false;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched != m_window)
            return false;
        switch (event->type()) {
        case QEvent::MouseButtonPress:
            pressedAt = static_cast<QMouseEvent *>(event)->position().toPoint();
            at = pressedAt;
            break;
        case QEvent::MouseMove:
            at = static_cast<QMouseEvent *>(event)->position().toPoint();
            break;
        case QEvent::DragEnter:
        case QEvent::DragMove:
            at = static_cast<QDropEvent *>(event)->position().toPoint();
            dragged = true;
            break;
        default:
            break;
        }
        return false;
    }

private:
    QWindow *m_window;
};

} // namespace

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

        PointerSeen seen(view.windowHandle());
        const auto at = [](const QPoint &point) {
            return QStringList{QStringLiteral("move"), QString::number(point.x()), QString::number(point.y())};
        };
        QList<PointerGesture::Step> steps{{at(from) << QStringLiteral("down"), [&] { return seen.pressedAt == from; }}};
        constexpr int moves = 10;
        for (int i = 1; i <= moves; ++i) {
            const QPoint point = from + (to - from) * i / moves;
            steps.append({at(point), [&seen, point] { return seen.at == point; }});
        }
        // Let go only over the target with the drag begun.
        steps.last().arrived = [&seen, to] { return seen.dragged && seen.at == to; };
        steps.append({{QStringLiteral("up")}});
        PointerGesture gesture(steps);
        QVERIFY2(gesture.waitForEnd(), qPrintable(gesture.failure()));

        QTRY_VERIFY_WITH_TIMEOUT(snip->isPlaced(), patience);
        const QPointF expected = MapPlacement::dropOrigin(target);
        QVERIFY2(std::abs(snip->canvasX() - expected.x()) <= 2 && std::abs(snip->canvasY() - expected.y()) <= 2,
                 qPrintable(QStringLiteral("placed at %1, %2").arg(snip->canvasX()).arg(snip->canvasY())));
        QCOMPARE(rig.stack.undoText(), QStringLiteral("Place Card"));
        QTRY_COMPARE_WITH_TIMEOUT(view.tray()->trayModel().rowCount(), 0, patience);
    }
};

QTEST_MAIN(WaylandTrayDragTest)
#include "tst_waylandtraydrag.moc"

#include "MapRig.h"

#include "canvas/BoardMapModel.h"
#include "canvas/BoardMapScene.h"
#include "canvas/BoardMapView.h"
#include "canvas/CanvasEmptyStateCard.h"
#include "canvas/CardItem.h"
#include "canvas/ConnectionEditorView.h"
#include "canvas/ConnectionItem.h"
#include "canvas/SnipTrayView.h"
#include "canvas/StudioSelectionPalette.h"
#include "design/StudioActionButton.h"
#include "design/StudioIconButton.h"
#include "model/Connection.h"

#include <QGraphicsProxyWidget>
#include <QGraphicsSceneDragDropEvent>
#include <QGraphicsView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMimeData>
#include <QSignalSpy>

using namespace tessaline;
using namespace tessaline::testing;

class BoardMapViewTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<MapRig> rig;
    std::unique_ptr<BoardMapView> view;

    void show()
    {
        view = std::make_unique<BoardMapView>(*rig->context, *rig->navigation, rig->note->id(), &rig->stack,
                                              BoardMapServices{});
        view->resize(1180, 720);
        view->show();
        QVERIFY(QTest::qWaitForWindowExposed(view.get()));
    }

    Connection *connect(CanvasCard *from, CanvasCard *to, const QString &label)
    {
        auto *connection = new Connection;
        connection->setBoardID(rig->note->id());
        connection->setSourceCardID(from->id());
        connection->setDestinationCardID(to->id());
        connection->setLabel(label);
        rig->context->insert(connection);
        return connection;
    }

    QPoint onView(const QPointF &mapPoint) const { return view->graphicsView()->mapFromScene(mapPoint); }
    QWidget *viewport() const { return view->graphicsView()->viewport(); }

private Q_SLOTS:
    void init() { rig = std::make_unique<MapRig>(); }
    void cleanup() { view.reset(); }

    void sceneFollowsTheLibrary()
    {
        MapRig &r = *rig;
        show();
        QVERIFY(view->scene().emptyStateItem()->isVisible());
        QVERIFY(view->emptyState()->captureRegionButton()->isVisibleTo(view->emptyState()));
        // The map opens at its top-left corner.
        QCOMPARE(view->graphicsView()->mapToScene(QPoint(0, 0)), QPointF(0, 0));

        CanvasCard *older = r.card(CardKind::snip, 1, true);
        CanvasCard *newer = r.card(CardKind::thought, 2, true);
        newer->setCanvasX(600);
        CanvasCard *inTray = r.card(CardKind::snip, 3);
        connect(older, newer, QStringLiteral("supports"));
        connect(older, inTray, QStringLiteral("hidden"));
        QVERIFY(r.context->save());

        QTRY_COMPARE(view->scene().cardItems().size(), 2);
        QVERIFY(!view->scene().emptyStateItem()->isVisible());
        // Newest on top; only connections between placed cards are drawn.
        QVERIFY(view->scene().cardItem(newer->id())->zValue() > view->scene().cardItem(older->id())->zValue());
        QCOMPARE(view->scene().connectionItems().size(), 1);
        const ConnectionItem *line = view->scene().connectionItems().first();
        QCOMPARE(line->curve().start, QPointF(160, 110));
        QCOMPARE(line->curve().end, QPointF(760, 110));

        // A move elsewhere (an undo, say) moves the item and its line at once.
        newer->setCanvasY(400);
        QCOMPARE(view->scene().cardItem(newer->id())->pos(), QPointF(600, 400));
        QCOMPARE(line->curve().end, QPointF(760, 510));
        r.context->rollback();

        // A library holding one id twice shows the first card with it.
        CanvasCard::Init twin;
        twin.id = older->id();
        twin.boardID = r.note->id();
        twin.isPlaced = true;
        twin.createdAt = at(9);
        r.context->insert(new CanvasCard(twin));
        QSignalSpy reread(&view->model(), &BoardMapModel::cardsChanged);
        QVERIFY(r.context->save());
        QVERIFY(reread.wait());
        QCOMPARE(view->scene().cardItems().size(), 2);
        QCOMPARE(view->scene().cardItem(older->id())->card(), older);

        // Placing the tray's snip brings its connection in.
        r.map->placeInNextSlot(*inTray);
        QTRY_COMPARE(view->scene().connectionItems().size(), 2);
        r.map->returnCardToTray(*inTray);
        QTRY_COMPARE(view->scene().connectionItems().size(), 1);
        QCOMPARE(view->scene().cardItems().size(), 2);
    }

    void dragAndHandleEndInOneEditEach()
    {
        MapRig &r = *rig;
        CanvasCard *card = r.card(CardKind::snip, 1, true);
        card->setCanvasX(100);
        card->setCanvasY(100);
        CanvasCard *partner = r.card(CardKind::thought, 2, true);
        partner->setCanvasX(800);
        connect(card, partner, QString());
        QVERIFY(r.context->save());
        show();
        ConnectionItem *line = view->scene().connectionItems().first();

        QTest::mousePress(viewport(), Qt::LeftButton, {}, onView({200, 200}));
        QCOMPARE(r.navigation->selectedCardIDs(), QSet<QUuid>{card->id()});
        QTest::mouseMove(viewport(), onView({230, 240}));
        QTest::mouseMove(viewport(), onView({250, 260}));
        // Shown displaced, the line following; nothing stored yet.
        QCOMPARE(view->scene().cardItem(card->id())->pos(), QPointF(150, 160));
        QCOMPARE(line->curve().start, QPointF(310, 270));
        QCOMPARE(card->canvasX(), 100.0);
        QTest::mouseRelease(viewport(), Qt::LeftButton, {}, onView({250, 260}));
        QCOMPARE(QPointF(card->canvasX(), card->canvasY()), QPointF(150, 160));
        QCOMPARE(r.stack.count(), 1);
        QCOMPARE(r.stack.undoText(), QStringLiteral("Move Card"));

        // The resize handle of the selected card: only the end counts.
        const QPointF corner(150 + 320 - 10, 160 + 220 - 10);
        QTest::mousePress(viewport(), Qt::LeftButton, {}, onView(corner));
        QTest::mouseMove(viewport(), onView(corner + QPointF(-400, -400)));
        QCOMPARE(card->canvasWidth(), 320.0);
        QTest::mouseRelease(viewport(), Qt::LeftButton, {}, onView(corner + QPointF(-400, -400)));
        QCOMPARE(QSizeF(card->canvasWidth(), card->canvasHeight()), QSizeF(180, 120));
        QCOMPARE(QPointF(card->canvasX(), card->canvasY()), QPointF(150, 160));
        QCOMPARE(r.stack.count(), 2);

        r.stack.undo();
        r.stack.undo();
        QCOMPARE(view->scene().cardItem(card->id())->pos(), QPointF(100, 100));
        QCOMPARE(line->curve().start, QPointF(260, 210));
    }

    void keysMoveAndResizeTheFocusedCard_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
        QTest::addColumn<QRectF>("frame");
        QTest::newRow("right") << int(Qt::Key_Right) << Qt::KeyboardModifiers() << QRectF(108, 100, 320, 220);
        QTest::newRow("shift+down") << int(Qt::Key_Down) << Qt::KeyboardModifiers(Qt::ShiftModifier)
                                    << QRectF(100, 124, 320, 220);
        QTest::newRow("alt+right") << int(Qt::Key_Right) << Qt::KeyboardModifiers(Qt::AltModifier)
                                   << QRectF(100, 100, 328, 220);
        QTest::newRow("alt+up") << int(Qt::Key_Up) << Qt::KeyboardModifiers(Qt::AltModifier)
                                << QRectF(100, 100, 320, 212);
    }

    void keysMoveAndResizeTheFocusedCard()
    {
        QFETCH(int, key);
        QFETCH(Qt::KeyboardModifiers, modifiers);
        QFETCH(QRectF, frame);
        MapRig &r = *rig;
        CanvasCard *card = r.card(CardKind::thought, 1, true);
        card->setCanvasX(100);
        card->setCanvasY(100);
        QVERIFY(r.context->save());
        show();
        QTest::mouseClick(viewport(), Qt::LeftButton, {}, onView({200, 200}));
        QTRY_VERIFY(view->scene().cardItem(card->id())->hasFocus());
        QTest::keyClick(viewport(), Qt::Key(key), modifiers);
        QCOMPARE(QRectF(card->canvasX(), card->canvasY(), card->canvasWidth(), card->canvasHeight()), frame);
        QCOMPARE(r.stack.count(), 1);
        // The view tells assistive technology which card it is on.
        QVERIFY(view->graphicsView()->accessibleDescription().startsWith(QStringLiteral("Thought: Card 1, Selected.")));

        QTest::keyClick(viewport(), Qt::Key_Return);
        QCOMPARE(r.navigation->focusedCardID(), std::optional(card->id()));
    }

    void clicksSelect()
    {
        MapRig &r = *rig;
        CanvasCard *a = r.card(CardKind::snip, 1, true);
        CanvasCard *b = r.card(CardKind::snip, 2, true);
        b->setCanvasX(500);
        QVERIFY(r.context->save());
        show();
        QTest::mouseClick(viewport(), Qt::LeftButton, {}, onView({100, 100}));
        QTest::mouseClick(viewport(), Qt::LeftButton, Qt::ControlModifier, onView({600, 100}));
        QCOMPARE(r.navigation->selectedCardIDs(), (QSet<QUuid>{a->id(), b->id()}));
        QVERIFY(view->palette()->isVisible());
        QVERIFY(view->palette()->caption()->isVisible());
        QCOMPARE(view->palette()->caption()->toolTip(), QStringLiteral("2 cards selected"));
        QVERIFY(view->palette()->button(StudioSelectionAction::connect)->isEnabled());
        QVERIFY(!view->palette()->button(StudioSelectionAction::annotate)->isEnabled());
        QVERIFY(!view->palette()->button(StudioSelectionAction::ask)->isEnabled());
        QVERIFY(view->palette()->button(StudioSelectionAction::ask)->toolTip().contains(QStringLiteral("not available")));

        // Connect opens the editor for the two cards, the first first.
        view->palette()->button(StudioSelectionAction::connect)->click();
        auto *editor = view->findChild<ConnectionEditorView *>();
        QVERIFY(editor);
        QTRY_VERIFY(editor->isVisible());
        QCOMPARE(editor->sourceChip()->text(), QStringLiteral("Card 1"));
        editor->labelField()->setText(QStringLiteral("leads to"));
        QTest::keyClick(editor->labelField(), Qt::Key_Return);
        QTRY_COMPARE(view->scene().connectionItems().size(), 1);
        QCOMPARE(view->scene().connectionItems().first()->label(), std::optional(QStringLiteral("leads to")));

        // A click on the map itself ends the selection.
        QTest::mouseClick(viewport(), Qt::LeftButton, {}, onView({1000, 600}));
        QVERIFY(r.navigation->selectedCardIDs().isEmpty());
        QTRY_VERIFY(!view->palette()->isVisible());
    }

    void dropFromTheTrayPlacesTheCard()
    {
        MapRig &r = *rig;
        CanvasCard *snip = r.card(CardKind::snip, 1);
        QVERIFY(r.context->save());
        show();
        view->setTrayShown(true);
        QCOMPARE(view->tray()->trayModel().rowCount(), 1);
        QCOMPARE(view->tray()->trayModel().index(0).data(Qt::ToolTipRole).toString(),
                 QStringLiteral("Place Card 1 on Canvas"));
        std::unique_ptr<QMimeData> mime(view->tray()->trayModel().mimeData({view->tray()->trayModel().index(0)}));

        QGraphicsSceneDragDropEvent drop(QEvent::GraphicsSceneDrop);
        drop.setMimeData(mime.get());
        drop.setScenePos(QPointF(400, 300));
        drop.setPossibleActions(Qt::CopyAction);
        QCoreApplication::sendEvent(&view->scene(), &drop);
        QVERIFY(drop.isAccepted());
        QCOMPARE(QPointF(snip->canvasX(), snip->canvasY()), QPointF(250, 200));
        QTRY_COMPARE(view->tray()->trayModel().rowCount(), 0);
        QVERIFY(view->tray()->emptyText()->isVisibleTo(view->tray()));
    }

    void cardMenus_data()
    {
        QTest::addColumn<CardKind>("kind");
        QTest::addColumn<QStringList>("entries");
        QTest::newRow("snip") << CardKind::snip
                              << QStringList{"Open", "Reference in Writing", "Annotate", "Pin", "Copy",
                                             "Export PNG\u2026", "Return to Tray", "", "Move to Trash"};
        QTest::newRow("thought") << CardKind::thought
                                 << QStringList{"Open", "Reference in Writing", "Kind", "", "Move to Trash"};
    }

    void cardMenus()
    {
        QFETCH(CardKind, kind);
        QFETCH(QStringList, entries);
        MapRig &r = *rig;
        CanvasCard *card = r.card(kind, 1, true);
        QVERIFY(r.context->save());
        show();
        std::unique_ptr<QMenu> menu(view->makeCardMenu(card->id(), nullptr));
        QStringList shown;
        for (const QAction *action : menu->actions()) {
            shown.append(action->text());
            // Pins need a taker: without one the entry says so by being off.
            QCOMPARE(action->isEnabled(), action->text() != QStringLiteral("Pin"));
        }
        QCOMPARE(shown, entries);

        QSignalSpy references(view.get(), &BoardMap::referenceInWritingRequested);
        menu->actions().at(1)->trigger();
        QCOMPARE(references.count(), 1);
        r.navigation->select(card->id(), false);
        menu->actions().constLast()->trigger();
        QTRY_VERIFY(view->scene().cardItems().isEmpty());
        QVERIFY(r.navigation->selectedCardIDs().isEmpty());
        QVERIFY(view->scene().emptyStateItem()->isVisible());
    }
};

QTEST_MAIN(BoardMapViewTest)
#include "tst_boardmapview.moc"

#include "MapRig.h"

#include "canvas/BoardMapModel.h"
#include "canvas/BoardMapScene.h"
#include "canvas/BoardMapView.h"
#include "canvas/CanvasEmptyStateCard.h"
#include "canvas/CardItem.h"
#include "canvas/ConnectionEditorView.h"
#include "canvas/ConnectionItem.h"
#include "canvas/MapAccessibility.h"
#include "canvas/SnipTrayView.h"
#include "canvas/StudioSelectionPalette.h"
#include "design/StudioActionButton.h"
#include "design/StudioIconButton.h"
#include "model/Connection.h"
#include "platform/AccessibilitySettings.h"
#include "runtime/GuidedTourTarget.h"
#include "runtime/LibraryQuery.h"
#include "runtime/OnboardingCoordinator.h"
#include "runtime/OnboardingPreferencesStore.h"
#include "../support/DesktopAppearance.h"

#include <QAccessible>
#include <QGraphicsProxyWidget>
#include <QGraphicsSceneDragDropEvent>
#include <QGraphicsView>
#include <QLabel>
#include <QApplication>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QStyleOptionGraphicsItem>

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

    // The map's accessible elements of one role, in the order a screen
    // reader meets them.
    QList<QAccessibleInterface *> elements(QAccessible::Role role) const
    {
        QList<QAccessibleInterface *> found;
        QAccessibleInterface *map = QAccessible::queryAccessibleInterface(viewport());
        for (int i = 0; map && i < map->childCount(); ++i) {
            if (QAccessibleInterface *child = map->child(i); child && child->role() == role)
                found.append(child);
        }
        return found;
    }
    QStringList names(QAccessible::Role role) const
    {
        QStringList texts;
        for (QAccessibleInterface *each : elements(role))
            texts.append(each->text(QAccessible::Name));
        return texts;
    }

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

    void dropEasesIntoPlace_data()
    {
        QTest::addColumn<bool>("reducesMotion");
        QTest::newRow("easing") << false;
        QTest::newRow("reduce motion") << true;
    }

    // Let go where part of it would lie off the map, the card eases from the
    // drop into its stored place at the map's edge instead of jumping.
    void dropEasesIntoPlace()
    {
        QFETCH(bool, reducesMotion);
        AccessibilitySettings::shared().setReducesMotion(reducesMotion);
        MapRig &r = *rig;
        CanvasCard *card = r.card(CardKind::snip, 1, true);
        card->setCanvasX(100);
        card->setCanvasY(100);
        QVERIFY(r.context->save());
        show();
        CardItem *item = view->scene().cardItem(card->id());
        QTest::mousePress(viewport(), Qt::LeftButton, {}, onView({200, 200}));
        QTest::mouseMove(viewport(), onView({150, 150}));
        QTest::mouseMove(viewport(), onView({50, 50}));
        QCOMPARE(item->pos(), QPointF(-50, -50));
        QTest::mouseRelease(viewport(), Qt::LeftButton, {}, onView({50, 50}));
        QCOMPARE(QPointF(card->canvasX(), card->canvasY()), QPointF(0, 0));
        if (reducesMotion) {
            QCOMPARE(item->pos(), QPointF(0, 0));
        } else {
            QVERIFY(item->isSettling());
            QVERIFY(item->pos().x() < 0 && item->pos().y() < 0);
            QTRY_COMPARE(item->pos(), QPointF(0, 0));
        }
        QVERIFY(!item->isSettling());
        QCOMPARE(item->shownFrame(), item->storedFrame());
        AccessibilitySettings::shared().setReducesMotion(false);
    }

    void smallControlsHaveTooltips()
    {
        MapRig &r = *rig;
        CanvasCard *card = r.card(CardKind::thought, 1, true);
        card->setGroupID(QUuid::createUuid());
        QVERIFY(r.context->save());
        show();
        CardItem *item = view->scene().cardItem(card->id());
        QVERIFY(!item->groupMarkRect().isEmpty());
        // Hovering over each, as the pointer does before the tooltip shows.
        const auto tipOver = [&](const QPointF &itemPoint) {
            // From next door, so each try is a move.
            QTest::mouseMove(viewport(), onView(item->mapToScene(itemPoint)) + QPoint(1, 1));
            QTest::mouseMove(viewport(), onView(item->mapToScene(itemPoint)));
            return item->toolTip();
        };
        QTRY_COMPARE(tipOver(item->groupMarkRect().center()), QStringLiteral("Grouped"));
        const QString cardTip = QStringLiteral("Double-click or press Space to open");
        QTRY_COMPARE(tipOver(QPointF(60, 120)), cardTip);
        // The handle is there once the card is selected.
        QTRY_COMPARE(tipOver(item->handleRect().center()), cardTip);
        QTest::mouseClick(viewport(), Qt::LeftButton, {}, onView(item->mapToScene(QPointF(60, 120))));
        QVERIFY(item->isCardSelected());
        QTRY_COMPARE(tipOver(item->handleRect().center()), QStringLiteral("Resize card"));
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

    // Tab goes from card to card in their drawing order, oldest first, and
    // only past the last one out of the map; Shift+Tab comes back.
    void tabWalksTheCards()
    {
        MapRig &r = *rig;
        QList<CanvasCard *> cards;
        for (qint64 n : {1, 2, 3}) {
            CanvasCard *card = r.card(CardKind::thought, n, true);
            card->setCanvasX(100 + 400 * double(n - 1));
            cards.append(card);
        }
        QVERIFY(r.context->save());
        show();
        auto *outside = new QLineEdit(view.get());
        outside->show();
        QWidget::setTabOrder(outside, view->graphicsView());
        QWidget::setTabOrder(view->graphicsView(), outside);
        view->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(view.get()));
        outside->setFocus();
        QTRY_VERIFY(outside->hasFocus());
        QTest::keyClick(outside, Qt::Key_Tab);
        const auto focused = [this]() -> std::optional<QUuid> {
            QGraphicsItem *item = view->scene().focusItem();
            if (!item || !view->graphicsView()->hasFocus())
                return std::nullopt;
            for (CardItem *card : view->scene().cardItems()) {
                if (card == item)
                    return card->cardID();
            }
            return std::nullopt;
        };
        QTRY_COMPARE(focused(), std::optional(cards[0]->id()));
        for (CanvasCard *next : {cards[1], cards[2]}) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(focused(), std::optional(next->id()));
        }
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
        QCOMPARE(focused(), std::optional(cards[1]->id()));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QTRY_VERIFY(outside->hasFocus());
        // Tabbing is not choosing: the selection stays as it was.
        QVERIFY(r.navigation->selectedCardIDs().isEmpty());
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

    void connectionsAreAccessibleElements_data()
    {
        QTest::addColumn<bool>("hasLabel");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("name");
        const QString plain = QStringLiteral("Connection from Card 1 to Card 2");
        QTest::newRow("no label") << false << QString() << plain;
        QTest::newRow("empty label") << true << QString() << plain;
        QTest::newRow("blank label") << true << QStringLiteral("  \n") << plain;
        QTest::newRow("label trimmed") << true << QStringLiteral(" supports\n") << plain + QStringLiteral(", labeled supports");
    }

    void connectionsAreAccessibleElements()
    {
        QFETCH(bool, hasLabel);
        QFETCH(QString, label);
        QFETCH(QString, name);
        MapRig &r = *rig;
        CanvasCard *from = r.card(CardKind::snip, 1, true);
        CanvasCard *to = r.card(CardKind::thought, 2, true);
        to->setCanvasX(700);
        to->setCanvasY(300);
        Connection *line = connect(from, to, label);
        if (!hasLabel)
            line->setLabel(std::nullopt);
        QVERIFY(r.context->save());
        show();

        const QList<QAccessibleInterface *> connections = elements(QAccessible::Graphic);
        QCOMPARE(connections.size(), 1);
        QAccessibleInterface *element = connections.first();
        QCOMPARE(element->text(QAccessible::Name), name);
        QCOMPARE(element->text(QAccessible::Description), QStringLiteral("Relationship between two cards on this board"));
        QVERIFY(!element->interface_cast(QAccessible::ActionInterface));
        // A small box centred where the label sits, and found there.
        const QPointF middle = view->scene().connectionItem(line->id())->curve().midpoint();
        const QPoint centre = viewport()->mapToGlobal(onView(middle));
        QVERIFY2((QRectF(element->rect()).center() - centre).manhattanLength() <= 1, "centred on the curve's middle");
        QCOMPARE(element->rect().size(), QSize(44, 24));
        QAccessibleInterface *map = QAccessible::queryAccessibleInterface(viewport());
        QCOMPARE(map->childAt(centre.x(), centre.y()), element);
        QCOMPARE(element->parent(), map);
        QCOMPARE(map->indexOfChild(element), map->childCount() - 3);
    }

    void cardsAreAccessibleElementsWithTheirActions()
    {
        MapRig &r = *rig;
        CanvasCard *snip = r.card(CardKind::snip, 1, true);
        CanvasCard *thought = r.card(CardKind::thought, 2, true);
        thought->setCanvasX(700);
        CanvasCard *inTray = r.card(CardKind::snip, 3);
        connect(snip, thought, QStringLiteral("leads to"));
        connect(snip, inTray, QString());
        QVERIFY(r.context->save());
        show();

        // Connections lie under the cards; one to a card in the tray is not there.
        QCOMPARE(names(QAccessible::Graphic), QStringList{QStringLiteral("Connection from Card 1 to Card 2, labeled leads to")});
        QCOMPARE(names(QAccessible::ListItem),
                 (QStringList{QStringLiteral("Snip: Card 1"), QStringLiteral("Thought: Card 2")}));
        QAccessibleInterface *card = elements(QAccessible::ListItem).first();
        QCOMPARE(card->text(QAccessible::Value), QStringLiteral("Not selected"));
        QVERIFY(card->text(QAccessible::Description).startsWith(QStringLiteral("Press Space or Return to preview")));
        QVERIFY(!card->state().selected);
        QCOMPARE(card->rect(), QRect(viewport()->mapToGlobal(onView({snip->canvasX(), snip->canvasY()})),
                                     QSize(int(snip->canvasWidth()), int(snip->canvasHeight()))));

        // "Select" selects without taking the keyboard focus; "Open" opens.
        auto *actions = card->actionInterface();
        QVERIFY(actions);
        QCOMPARE(actions->actionNames(), (QStringList{QStringLiteral("Select"), QStringLiteral("Open")}));
        actions->doAction(QStringLiteral("Select"));
        QCOMPARE(r.navigation->selectedCardIDs(), QSet<QUuid>{snip->id()});
        QVERIFY(card->state().selected);
        QCOMPARE(card->text(QAccessible::Value), QStringLiteral("Selected"));
        QVERIFY(!view->scene().cardItem(snip->id())->hasFocus());
        elements(QAccessible::ListItem).at(1)->actionInterface()->doAction(QStringLiteral("Open"));
        QCOMPARE(r.navigation->focusedCardID(), std::optional(thought->id()));

        // The elements follow the map: a card placed brings its connection,
        // a card returned takes its own away.
        r.map->placeInNextSlot(*inTray);
        QTRY_COMPARE(elements(QAccessible::Graphic).size(), 2);
        r.map->returnCardToTray(*thought);
        QTRY_COMPARE(names(QAccessible::ListItem), (QStringList{QStringLiteral("Snip: Card 1"), QStringLiteral("Snip: Card 3")}));
        QCOMPARE(names(QAccessible::Graphic), QStringList{QStringLiteral("Connection from Card 1 to Card 3")});
    }

    // A pile of cards on one spot paints only its top card, yet each card
    // under it stays on the map: selectable, an accessible element, the end
    // of its connection; moved off the pile, the top shows the card below.
    void aPileShowsItsTopCardOnly()
    {
        MapRig &r = *rig;
        CanvasCard *bottom = r.card(CardKind::snip, 1, true);
        CanvasCard *middle = r.card(CardKind::thought, 2, true);
        CanvasCard *top = r.card(CardKind::snip, 3, true);
        CanvasCard *aside = r.card(CardKind::thought, 4, true);
        aside->setCanvasX(700);
        connect(bottom, aside, QStringLiteral("under the pile"));
        QVERIFY(r.context->save());
        show();
        BoardMapScene &scene = view->scene();
        const auto covered = [&scene](const CanvasCard *card) { return scene.cardItem(card->id())->isCovered(); };
        QVERIFY(covered(bottom));
        QVERIFY(covered(middle));
        QVERIFY(!covered(top));
        QVERIFY(!covered(aside));

        QCOMPARE(names(QAccessible::ListItem).size(), 4);
        QCOMPARE(names(QAccessible::Graphic), QStringList{QStringLiteral("Connection from Card 1 to Card 4, labeled under the pile")});
        elements(QAccessible::ListItem).first()->actionInterface()->doAction(QStringLiteral("Select"));
        QCOMPARE(r.navigation->selectedCardIDs(), QSet<QUuid>{bottom->id()});
        QVERIFY(scene.cardItem(bottom->id())->isCardSelected());

        // Dragged off, the top card uncovers the one under it at once.
        QTest::mousePress(viewport(), Qt::LeftButton, {}, onView({100, 100}));
        QTest::mouseMove(viewport(), onView({300, 150}));
        QTest::mouseMove(viewport(), onView({600, 150}));
        viewport()->repaint();
        QVERIFY(!covered(middle));
        QVERIFY(covered(bottom));
        QTest::mouseRelease(viewport(), Qt::LeftButton, {}, onView({600, 150}));
        QCOMPARE(top->canvasX(), 500.0);
        QCoreApplication::sendPostedEvents(&scene, QEvent::MetaCall);
        QVERIFY(!covered(top));
        QVERIFY(!covered(middle));

        // Undone, it covers the pile again.
        r.stack.undo();
        QTRY_VERIFY(covered(middle));
        QVERIFY(!covered(top));

        // A card placed on the pile lets it show through while it fades in.
        CanvasCard *latest = r.card(CardKind::thought, 9, true);
        QVERIFY(r.context->save());
        QTRY_VERIFY(scene.cardItem(latest->id()));
        QVERIFY(scene.cardItem(latest->id())->opacity() < 1);
        viewport()->repaint();
        QVERIFY(!covered(top));
        QTRY_VERIFY(covered(top));
        QVERIFY(!covered(latest));
    }

    // Cards keep their drawing in a cache: after the desktop turned dark a
    // card went on showing the light header it was drawn with, light text on
    // a light bar, until something moved it.
    // A scroll exposes strips: each strip of a connection must be drawn as it
    // is when the whole is drawn, and the line must follow the curve.
    void aConnectionDrawsTheSameInStripsAsWhole_data()
    {
        QTest::addColumn<QRectF>("destination");
        QTest::addColumn<qreal>("ratio");
        QTest::newRow("across and down") << QRectF(2200, 1500, 200, 100) << 1.0;
        QTest::newRow("far down, close across") << QRectF(80, 2600, 200, 100) << 1.0;
        QTest::newRow("back to the left, doubled") << QRectF(-1400, 700, 200, 100) << 2.0;
    }

    void aConnectionDrawsTheSameInStripsAsWhole()
    {
        QFETCH(QRectF, destination);
        QFETCH(qreal, ratio);
        ConnectionItem line(Connection(), QRectF(0, 0, 200, 100), destination);
        const QRectF bounds = line.boundingRect();
        const auto drawn = [&](const QList<QRectF> &parts) {
            QImage image((bounds.size() * ratio).toSize() + QSize(1, 1), QImage::Format_ARGB32_Premultiplied);
            image.setDevicePixelRatio(ratio);
            image.fill(Qt::transparent);
            QPainter painter(&image);
            painter.translate(-bounds.topLeft());
            for (const QRectF &part : parts) {
                painter.save();
                painter.setClipRect(part);
                QStyleOptionGraphicsItem option;
                option.exposedRect = part;
                line.paint(&painter, &option, nullptr);
                painter.restore();
            }
            return image;
        };
        const QImage whole = drawn({bounds});
        QList<QRectF> strips;
        for (qreal top = bounds.top(); top < bounds.bottom(); top += 97)
            strips.append(QRectF(bounds.left(), top, bounds.width(), 97));
        const QImage inStrips = drawn(strips);

        const ConnectionCurve curve = line.curve();
        int worst = 0;
        qsizetype inked = 0;
        for (int y = 0; y < whole.height(); ++y) {
            for (int x = 0; x < whole.width(); ++x) {
                const int alpha = qAlpha(whole.pixel(x, y));
                worst = std::max(worst, std::abs(alpha - qAlpha(inStrips.pixel(x, y))));
                inked += alpha > 0;
            }
        }
        // Pieces cut at a strip's edge meet again within antialiasing's
        // rounding; a missing or doubled run would differ by the line's alpha.
        QVERIFY2(worst <= 12, qPrintable(QString::number(worst)));
        // Every point of the curve is inked (to the line's edge pixels), and
        // nothing far off it.
        for (int i = 4; i <= 396; ++i) {
            const qreal t = i / 400.0;
            const qreal u = 1 - t;
            const QPointF point = u * u * u * curve.start + 3 * u * u * t * curve.firstControl +
                3 * u * t * t * curve.secondControl + t * t * t * curve.end;
            const QPoint pixel = ((point - bounds.topLeft()) * ratio).toPoint();
            int alpha = 0;
            for (int dy = -1; dy <= 1; ++dy) {
                for (int dx = -1; dx <= 1; ++dx)
                    alpha = std::max(alpha, qAlpha(whole.pixel(pixel + QPoint(dx, dy))));
            }
            QVERIFY2(alpha > 50, qPrintable(QStringLiteral("%1 at %2").arg(alpha).arg(t)));
        }
        const qreal length = curve.path().length();
        QVERIFY2(inked < length * ratio * (1.5 * ratio + 3), qPrintable(QString::number(inked)));
    }

    void cardsFollowTheDesktopsAppearance()
    {
        MapRig &r = *rig;
        CanvasCard *card = r.card(CardKind::thought, 1, true);
        QVERIFY(r.context->save());
        show();
        const QRectF frame = view->scene().cardItem(card->id())->storedFrame();
        const auto darkShare = [&] {
            const QImage shot = viewport()->grab().toImage();
            const qreal ratio = shot.devicePixelRatio();
            const int y = qRound(onView(frame.topLeft() + QPointF(0, CardItem::headerHeight / 2)).y() * ratio);
            const int left = qRound(onView(frame.topLeft()).x() * ratio) + 12;
            const int right = qRound(onView(frame.topRight()).x() * ratio) - 12;
            int dark = 0;
            for (int x = left; x < right; ++x)
                dark += shot.pixelColor(x, y).lightnessF() < 0.5;
            return qreal(dark) / std::max(1, right - left);
        };
        QVERIFY(darkShare() < 0.2);
        const QPalette light = QApplication::palette();
        const auto restore = qScopeGuard([light] { QApplication::setPalette(light); });
        QApplication::setPalette(testing::darkAppearance(light));
        QTRY_VERIFY(darkShare() > 0.8);
    }

    void theTourRingsItsPreviewCardOnItsLastStep()
    {
        MapRig &r = *rig;
        CanvasCard *older = r.card(CardKind::snip, 1, true);
        CanvasCard *newer = r.card(CardKind::snip, 2, true);
        CanvasCard *thought = r.card(CardKind::thought, 9, true);
        QVERIFY(r.context->save());
        OnboardingCoordinator onboarding(std::make_unique<OnboardingPreferencesStore>(*r.defaults));
        LibraryQuery library(*r.context);
        GuidedTourTarget tour(&onboarding, library);
        show();
        view->setGuidedTour(&tour);
        const auto ringed = [this] {
            QList<QUuid> ids;
            for (const CardItem *item : view->scene().cardItems()) {
                if (item->isTourHighlighted())
                    ids.append(item->cardID());
            }
            return ids;
        };
        QVERIFY(ringed().isEmpty());
        onboarding.setTourStep(GuidedTourStep::boards);
        QVERIFY(ringed().isEmpty());
        // The newest snip, never a thought, however new.
        onboarding.setTourStep(GuidedTourStep::snipPreview);
        QCOMPARE(ringed(), QList<QUuid>{newer->id()});
        Q_UNUSED(thought);

        // A newer capture placed on the map takes the ring over.
        CanvasCard *latest = r.card(CardKind::snip, 20);
        QVERIFY(r.context->save());
        r.map->placeInNextSlot(*latest);
        QTRY_COMPARE(ringed(), QList<QUuid>{latest->id()});
        latest->moveToTrash(at(30));
        QVERIFY(r.context->save());
        QTRY_COMPARE(ringed(), QList<QUuid>{newer->id()});

        onboarding.completeTour();
        QVERIFY(ringed().isEmpty());
        Q_UNUSED(older);
    }
};

QTEST_MAIN(BoardMapViewTest)
#include "tst_boardmapview.moc"

#include "MapRig.h"

#include "model/Connection.h"
#include "platform/UuidText.h"
#include "runtime/KeptChanges.h"

#include <QSignalSpy>

using namespace tessaline;
using namespace tessaline::testing;

using A = StudioSelectionAction;

class BoardMapModelTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<MapRig> rig;

private Q_SLOTS:
    void init() { rig = std::make_unique<MapRig>(); }

    void listsFollowTheNote()
    {
        MapRig &r = *rig;
        CanvasCard *oldSnip = r.card(CardKind::snip, 10);
        CanvasCard *newSnip = r.card(CardKind::snip, 20);
        CanvasCard *capturedLate = r.card(CardKind::snip, 5);
        capturedLate->setCapturedAt(at(30));
        CanvasCard *thought = r.card(CardKind::thought, 40);
        CanvasCard *placedLate = r.card(CardKind::thought, 90, true);
        CanvasCard *placedEarly = r.card(CardKind::snip, 60, true);
        placedEarly->setCanvasX(2000);
        r.card(CardKind::snip, 70)->moveToTrash(at(71));
        r.card(CardKind::snip, 80, true, r.other);
        QVERIFY(r.context->save());

        // Newest moment first; thoughts never wait in the tray.
        QCOMPARE(r.map->trayCards(), (QList<CanvasCard *>{capturedLate, newSnip, oldSnip}));
        // Oldest first, so the newest is drawn on top.
        QCOMPARE(r.map->placedCards(), (QList<CanvasCard *>{placedEarly, placedLate}));
        QCOMPARE(r.map->contentSize(), QSizeF(2560, 1180));
        QVERIFY(!r.map->trayCards().contains(thought));
        QVERIFY(r.map->offersPlaceLatest());

        r.map->placeLatest();
        QVERIFY(capturedLate->isPlaced());
        QCOMPARE(QPointF(capturedLate->canvasX(), capturedLate->canvasY()), QPointF(840, 80));

        // The lists follow every change of which cards the note holds, saved
        // or not, and one taken back.
        const auto tray = [&r] { return r.map->trayCards(); };
        oldSnip->setBoardID(r.other->id());
        QCOMPARE(tray(), (QList<CanvasCard *>{newSnip}));
        CanvasCard *arrived = r.card(CardKind::snip, 95);
        QCOMPARE(tray(), (QList<CanvasCard *>{arrived, newSnip}));
        QVERIFY(r.context->save());
        newSnip->moveToTrash(at(96));
        QCOMPARE(tray(), (QList<CanvasCard *>{arrived}));
        r.context->rollback();
        QCOMPARE(tray(), (QList<CanvasCard *>{arrived, newSnip}));
        r.context->remove(arrived);
        QVERIFY(r.context->save());
        QCOMPARE(tray(), (QList<CanvasCard *>{newSnip}));
        r.card(CardKind::snip, 97, false, r.other)->setBoardID(r.note->id());
        QCOMPARE(tray().size(), 2);
    }

    void drops_data()
    {
        QTest::addColumn<int>("payload"); // 0 this note's snip, 1 not an id, 2 another note's card, 3 two ids
        QTest::addColumn<QPointF>("location");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QPointF>("origin");
        QTest::newRow("near the corner") << 0 << QPointF(100, 50) << true << QPointF(24, 24);
        QTest::newRow("open map") << 0 << QPointF(400, 300) << true << QPointF(250, 200);
        QTest::newRow("not an id") << 1 << QPointF(400, 300) << false << QPointF(0, 0);
        QTest::newRow("a card of another note") << 2 << QPointF(400, 300) << false << QPointF(0, 0);
        QTest::newRow("two ids: the first only") << 3 << QPointF(400, 300) << true << QPointF(250, 200);
    }

    void drops()
    {
        QFETCH(int, payload);
        QFETCH(QPointF, location);
        QFETCH(bool, accepted);
        QFETCH(QPointF, origin);
        MapRig &r = *rig;
        CanvasCard *snip = r.card(CardKind::snip, 1);
        CanvasCard *second = r.card(CardKind::snip, 2);
        CanvasCard *foreign = r.card(CardKind::snip, 3, false, r.other);
        QVERIFY(r.context->save());
        const QStringList items = payload == 1   ? QStringList{QStringLiteral("{not-a-card}")}
                                  : payload == 2 ? QStringList{uuidText(foreign->id())}
                                  : payload == 3 ? QStringList{uuidText(snip->id()), uuidText(second->id())}
                                                 : QStringList{uuidText(snip->id()).toLower()};
        QCOMPARE(r.map->handleMapDrop(items, location), accepted);
        QCOMPARE(snip->isPlaced(), accepted);
        QCOMPARE(QPointF(snip->canvasX(), snip->canvasY()), origin);
        QVERIFY(!second->isPlaced());
        QVERIFY(!foreign->isPlaced());
        QCOMPARE(r.stack.count(), accepted ? 1 : 0);
        if (accepted)
            QCOMPARE(r.stack.undoText(), QStringLiteral("Place Card"));
        QVERIFY(!r.context->hasChanges());
    }

    void nextSlotIgnoresWhatLiesThere()
    {
        MapRig &r = *rig;
        for (int i = 0; i < 5; ++i)
            r.card(CardKind::thought, i, true);
        CanvasCard *snip = r.card(CardKind::snip, 10);
        QVERIFY(r.context->save());
        r.map->placeInNextSlot(*snip);
        QCOMPARE(QPointF(snip->canvasX(), snip->canvasY()), QPointF(460, 360));
    }

    void paletteActions_data()
    {
        QTest::addColumn<A>("action");
        QTest::newRow("annotate") << A::annotate;
        QTest::newRow("connect") << A::connect;
        QTest::newRow("ask") << A::ask;
        QTest::newRow("group") << A::group;
        QTest::newRow("more") << A::more;
    }

    void paletteActions()
    {
        QFETCH(A, action);
        MapRig &r = *rig;
        CanvasCard *first = r.card(CardKind::snip, 1, true);
        CanvasCard *second = r.card(CardKind::thought, 2, true);
        CanvasCard *elsewhere = r.card(CardKind::snip, 3, true, r.other);
        QVERIFY(r.context->save());
        const QSet<QUuid> selection{second->id(), elsewhere->id(), first->id()};
        r.navigation->setSelectedCardIDs(selection);
        r.map->setAssistantAvailable(true);
        QCOMPARE(r.map->selectedCount(), 3);
        QCOMPARE(r.map->disabledSelectionActions(), QSet<A>{A::annotate});

        QSignalSpy connects(r.map.get(), &BoardMapModel::connectRequested);
        r.map->handleSelectionAction(action);

        // Selected ids of other notes are counted, never acted on.
        switch (action) {
        case A::annotate:
            QCOMPARE(r.navigation->captureReviewCardID(), std::optional(first->id()));
            break;
        case A::connect:
            QCOMPARE(connects.count(), 1);
            QCOMPARE(connects.first().at(0).toUuid(), first->id());
            QCOMPARE(connects.first().at(1).toUuid(), second->id());
            break;
        case A::ask:
            QCOMPARE(r.navigation->askSuggestion(),
                     std::optional(AskSuggestionRequest{r.note->id(), {first->id(), second->id()}}));
            break;
        case A::group:
            QVERIFY(first->groupID());
            QCOMPARE(first->groupID(), second->groupID());
            QVERIFY(!elsewhere->groupID());
            QCOMPARE(r.stack.undoText(), QStringLiteral("Group Cards"));
            r.stack.undo();
            QVERIFY(!first->groupID() && !second->groupID());
            break;
        case A::more:
            QVERIFY(r.navigation->isInspectorPresented());
            break;
        }
        QCOMPARE(r.navigation->selectedCardIDs(), selection);
    }

    void askWaitsForTheAssistant()
    {
        MapRig &r = *rig;
        CanvasCard *card = r.card(CardKind::snip, 1, true);
        QVERIFY(r.context->save());
        r.navigation->select(card->id(), false);
        QVERIFY(r.map->disabledSelectionActions().contains(A::ask));
        r.map->handleSelectionAction(A::ask);
        QCOMPARE(r.navigation->askSuggestion(), std::nullopt);
    }

    void trashingLeavesTheSelection_data()
    {
        QTest::addColumn<bool>("saveFails");
        QTest::newRow("saved") << false;
        QTest::newRow("save fails") << true;
    }

    void trashingLeavesTheSelection()
    {
        QFETCH(bool, saveFails);
        MapRig &r = *rig;
        CanvasCard *card = r.card(CardKind::snip, 1, true);
        CanvasCard *kept = r.card(CardKind::snip, 2, true);
        auto *connection = new Connection;
        connection->setBoardID(r.note->id());
        connection->setSourceCardID(card->id());
        connection->setDestinationCardID(kept->id());
        r.context->insert(connection);
        QVERIFY(r.context->save());
        r.navigation->setSelectedCardIDs({card->id(), kept->id()});
        if (saveFails)
            r.context->failNextSave(StoreError{QStringLiteral("disk full")});

        r.map->trashCard(*card);

        QCOMPARE(r.map->placedCards().size(), saveFails ? 2 : 1);
        QCOMPARE(r.map->boardConnections().isEmpty(), !saveFails);
        QCOMPARE(r.navigation->selectedCardIDs().contains(card->id()), saveFails);
        QVERIFY(r.navigation->selectedCardIDs().contains(kept->id()));
        QCOMPARE(r.map->operationError(), saveFails ? std::optional(QStringLiteral("disk full")) : std::nullopt);
    }

    void failedLayoutEditIsShownAndPutBack()
    {
        MapRig &r = *rig;
        CanvasCard *card = r.card(CardKind::snip, 1, true);
        QVERIFY(r.context->save());
        QSignalSpy errors(r.map.get(), &BoardMapModel::operationErrorChanged);
        r.context->failNextSave(StoreError{QStringLiteral("disk full")});
        r.map->moveCard(*card, QPointF(300, 300));
        QCOMPARE(QPointF(card->canvasX(), card->canvasY()), QPointF(0, 0));
        QCOMPARE(r.map->operationError(), std::optional(QStringLiteral("disk full")));
        QCOMPARE(errors.count(), 1);
        QCOMPARE(r.stack.count(), 0);
    }

    void cardActions()
    {
        MapRig &r = *rig;
        CanvasCard *snip = r.card(CardKind::snip, 1, true);
        CanvasCard *thought = r.card(CardKind::thought, 2, true);
        QVERIFY(r.context->save());
        r.map->openCard(*snip);
        QCOMPARE(r.navigation->galleryCardID(), std::optional(snip->id()));
        QCOMPARE(r.navigation->focusedCardID(), std::nullopt);
        r.map->openCard(*thought);
        QCOMPARE(r.navigation->focusedCardID(), std::optional(thought->id()));

        r.map->setCardThoughtKind(*thought, ThoughtKind::decision);
        QCOMPARE(thought->thoughtKindRawValue(), QStringLiteral("decision"));
        QCOMPARE(thought->updatedAt(), r.clock);
        QVERIFY(!r.context->hasChanges());
        QCOMPARE(r.map->operationError(), std::nullopt);
        // A kind the library will not take now is said, and kept for the
        // next save.
        r.context->failNextSave(StoreError{QStringLiteral("disk full")});
        r.map->setCardThoughtKind(*thought, ThoughtKind::question);
        QCOMPARE(r.map->operationError(), std::optional(keptChangesMessage(QStringLiteral("disk full"))));
        QCOMPARE(thought->thoughtKindRawValue(), QStringLiteral("question"));
        QVERIFY(r.context->hasChanges());
        QVERIFY(r.context->save());

        r.map->returnCardToTray(*snip);
        QVERIFY(!snip->isPlaced());
        QCOMPARE(r.stack.undoText(), QStringLiteral("Return Card to Tray"));
        QCOMPARE(r.map->emptyStateMessage(), QStringLiteral("Drag a snip from the tray, or place the newest one now."));
    }

    void ctrlClickTogglesTheSelection()
    {
        MapRig &r = *rig;
        CanvasCard *a = r.card(CardKind::snip, 1, true);
        CanvasCard *b = r.card(CardKind::snip, 2, true);
        QVERIFY(r.context->save());
        r.map->selectCard(*a, false);
        r.map->selectCard(*b, true);
        QCOMPARE(r.map->selectedCards(), (QList<CanvasCard *>{a, b}));
        r.map->selectCard(*a, true);
        QCOMPARE(r.map->selectedCards(), QList<CanvasCard *>{b});
        r.map->selectCard(*a, false);
        QCOMPARE(r.map->selectedCards(), QList<CanvasCard *>{a});
        r.navigation->setInspectorPresented(true);
        r.map->clearSelection();
        QVERIFY(r.map->selectedCards().isEmpty());
        QVERIFY(!r.navigation->isInspectorPresented());
    }
};

QTEST_GUILESS_MAIN(BoardMapModelTest)
#include "tst_boardmapmodel.moc"

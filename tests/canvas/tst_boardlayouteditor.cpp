#include "../model/StoreFixture.h"

#include "canvas/BoardLayoutEditor.h"
#include "canvas/CanvasCardLayoutSnapshot.h"
#include "model/StoreUndoStack.h"

#include <QSignalSpy>

using namespace tessaline;
using namespace tessaline::testing;

Q_DECLARE_METATYPE(CanvasCardLayoutSnapshot)

namespace {

enum class Edit { place, move, resize, returnToTray, group };

} // namespace

Q_DECLARE_METATYPE(Edit)

class BoardLayoutEditorTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<ModelContainer> store;
    ModelContext *context = nullptr;
    Board *note = nullptr;
    QList<CanvasCard *> cards;
    QDateTime clock;
    std::unique_ptr<StoreUndoStack> stack;
    std::unique_ptr<BoardLayoutEditor> editor;

    // Three placed cards in one group, each with its own frame and date.
    void makeCards()
    {
        const QUuid group = QUuid::createUuid();
        for (int i = 0; i < 3; ++i) {
            CanvasCard *card = addCard(*context, note, i == 2 ? CardKind::thought : CardKind::snip, at(i));
            card->setCanvasX(10 + i);
            card->setCanvasY(20 + i);
            card->setCanvasWidth(300 + i);
            card->setCanvasHeight(200 + i);
            card->setIsPlaced(true);
            card->setGroupID(group);
            card->setUpdatedAt(at(100 + i));
            cards.append(card);
        }
        QVERIFY(context->save());
    }

    Expected<void, StoreError> run(Edit edit)
    {
        CanvasCard &card = *cards.first();
        switch (edit) {
        case Edit::place: return editor->placeCard(card, 460, 360);
        case Edit::move: return editor->moveCard(card, -40, 5000);
        case Edit::resize: return editor->resizeCard(card, 500, 50);
        case Edit::returnToTray: return editor->returnCardToTray(card);
        case Edit::group: return editor->groupCards(cards, QUuid::createUuid());
        }
        return {};
    }

    QList<CanvasCardLayoutSnapshot> layouts() const { return layoutSnapshots(cards); }
    // What the library holds: unsaved values are dropped first.
    QList<CanvasCardLayoutSnapshot> storedLayouts() const
    {
        context->rollback();
        return layouts();
    }

private Q_SLOTS:
    void init()
    {
        store = memoryStore();
        context = store->mainContext();
        note = addNote(*context, QStringLiteral("Map"), at(0));
        cards.clear();
        makeCards();
        clock = at(1000);
        stack = std::make_unique<StoreUndoStack>();
        editor = std::make_unique<BoardLayoutEditor>(*context, stack.get(), [this] { return clock; });
    }

    void undoAndRedoRestoreEveryLayoutField_data()
    {
        QTest::addColumn<Edit>("edit");
        QTest::addColumn<QString>("actionName");
        QTest::newRow("place") << Edit::place << BoardLayoutEditor::placeActionName();
        QTest::newRow("move") << Edit::move << BoardLayoutEditor::moveActionName();
        QTest::newRow("resize") << Edit::resize << BoardLayoutEditor::resizeActionName();
        QTest::newRow("return to tray") << Edit::returnToTray << BoardLayoutEditor::returnActionName();
        QTest::newRow("group") << Edit::group << BoardLayoutEditor::groupActionName();
    }

    void undoAndRedoRestoreEveryLayoutField()
    {
        QFETCH(Edit, edit);
        QFETCH(QString, actionName);
        cards.first()->setIsPlaced(edit != Edit::place);
        QVERIFY(context->save());
        const auto before = layouts();

        QVERIFY(run(edit));
        const auto after = storedLayouts();
        QVERIFY(after != before);
        QCOMPARE(after.first().updatedAt, clock);
        QCOMPARE(stack->undoText(), actionName);

        clock = at(2000); // an undo or redo never stamps a new date
        for (int round = 0; round < 2; ++round) {
            stack->undo();
            QCOMPARE(storedLayouts(), before);
            stack->redo();
            QCOMPARE(storedLayouts(), after);
        }
        QCOMPARE(stack->count(), 1);
    }

    void editsWriteWhatTheyAreGiven_data()
    {
        QTest::addColumn<Edit>("edit");
        QTest::addColumn<CanvasCardLayoutSnapshot>("expected");
        const QDateTime now = at(1000);
        // Fields of the first card after the edit; the rest stay.
        QTest::newRow("place") << Edit::place << CanvasCardLayoutSnapshot{{}, 460, 360, 300, 200, true, {}, now};
        QTest::newRow("move is not clamped")
            << Edit::move << CanvasCardLayoutSnapshot{{}, -40, 5000, 300, 200, true, {}, now};
        QTest::newRow("resize raises to the floor, keeps the place")
            << Edit::resize << CanvasCardLayoutSnapshot{{}, 10, 20, 500, 80, true, {}, now};
        QTest::newRow("return to tray leaves the group")
            << Edit::returnToTray << CanvasCardLayoutSnapshot{{}, 10, 20, 300, 200, false, {}, now};
    }

    void editsWriteWhatTheyAreGiven()
    {
        QFETCH(Edit, edit);
        QFETCH(CanvasCardLayoutSnapshot, expected);
        const std::optional<QUuid> group = cards.first()->groupID();
        QVERIFY(run(edit));
        CanvasCardLayoutSnapshot stored = storedLayouts().first();
        expected.id = stored.id;
        expected.groupID = edit == Edit::returnToTray ? std::nullopt : group;
        QCOMPARE(stored, expected);
    }

    void resizeFloor_data()
    {
        QTest::addColumn<QSizeF>("requested");
        QTest::addColumn<QSizeF>("stored");
        QTest::newRow("below both") << QSizeF(100, 50) << QSizeF(120, 80);
        QTest::newRow("just above") << QSizeF(121, 81) << QSizeF(121, 81);
        QTest::newRow("not a number") << QSizeF(qQNaN(), 200) << QSizeF(120, 200);
    }

    void resizeFloor()
    {
        QFETCH(QSizeF, requested);
        QFETCH(QSizeF, stored);
        CanvasCard &card = *cards.first();
        card.setIsPlaced(false); // a tray card that is resized is placed where it was
        QVERIFY(context->save());
        QVERIFY(editor->resizeCard(card, requested.width(), requested.height()));
        const auto layout = storedLayouts().first();
        QCOMPARE(QSizeF(layout.width, layout.height), stored);
        QVERIFY(layout.isPlaced);
        QCOMPARE(QPointF(layout.x, layout.y), QPointF(10, 20));
    }

    void failedSaveKeepsTheLayoutAndTheHistory_data()
    {
        QTest::addColumn<Edit>("edit");
        QTest::addColumn<int>("failingStep"); // 0 the edit, 1 its undo, 2 its redo
        QTest::newRow("move") << Edit::move << 0;
        QTest::newRow("group") << Edit::group << 0;
        QTest::newRow("undo of a resize") << Edit::resize << 1;
        QTest::newRow("undo of a group") << Edit::group << 1;
        QTest::newRow("redo of a return") << Edit::returnToTray << 2;
    }

    void failedSaveKeepsTheLayoutAndTheHistory()
    {
        QFETCH(Edit, edit);
        QFETCH(int, failingStep);
        QVERIFY(editor->moveCard(*cards.last(), 7, 7)); // an earlier step that must survive
        QSignalSpy reported(stack.get(), &StoreUndoStack::failed);
        const StoreError error{QStringLiteral("The library could not be written: disk full")};

        if (failingStep > 0)
            QVERIFY(run(edit));
        if (failingStep > 1)
            stack->undo();
        const auto before = layouts();
        const int steps = stack->count();
        context->failNextSave(error);
        if (failingStep == 0) {
            const auto result = run(edit);
            QVERIFY(!result);
            QCOMPARE(result.error(), error);
        } else {
            failingStep == 1 ? stack->undo() : stack->redo();
        }

        QCOMPARE(layouts(), before);
        QCOMPARE(storedLayouts(), before);
        // An edit's failure is the caller's to show; an undo's the stack's.
        QCOMPARE(reported.count(), failingStep == 0 ? 0 : 1);
        QCOMPARE(stack->count(), failingStep == 0 ? steps : steps - 1);
        QVERIFY(!stack->canRedo());
        stack->undo(); // the earlier step
        QCOMPARE(storedLayouts().last().x, 12.0);
    }

    void groupsAreOneStepOverEveryCard()
    {
        const auto firstGroup = cards.first()->groupID();
        const auto before = layouts();
        QVERIFY(editor->groupCards({cards[0], cards[1]}, QUuid::createUuid()));
        const auto pair = cards[0]->groupID();
        QVERIFY(pair != firstGroup);
        QCOMPARE(cards[1]->groupID(), pair);
        QCOMPARE(cards[2]->groupID(), firstGroup);

        // Overlapping: the second group replaces the first where they meet.
        QVERIFY(editor->groupCards({cards[1], cards[2], cards[1]}, QUuid::createUuid()));
        QCOMPARE(cards[0]->groupID(), pair);
        QVERIFY(cards[1]->groupID() != pair);
        QCOMPARE(cards[2]->groupID(), cards[1]->groupID());

        stack->undo();
        stack->undo();
        QCOMPARE(storedLayouts(), before);
    }

    void undoFindsCardsByIdAtUndoTime()
    {
        const auto before = layouts();
        QVERIFY(editor->groupCards(cards, QUuid::createUuid()));
        const auto grouped = layouts();
        // One card goes to the trash, one leaves the library for good.
        cards[1]->moveToTrash(at(3000));
        context->remove(cards[2]);
        QVERIFY(context->save());
        const auto trashedAt = cards[1]->deletedAt();

        stack->undo();
        QVERIFY(!context->hasChanges());
        QCOMPARE(layoutSnapshot(*cards[0]), before[0]);
        QCOMPARE(layoutSnapshot(*cards[1]), before[1]);
        QCOMPARE(cards[1]->deletedAt(), trashedAt); // it stays in the trash
        QCOMPARE(layoutSnapshot(*cards[2]), grouped[2]); // gone: nothing written to it

        stack->redo();
        QCOMPARE(layoutSnapshot(*cards[0]), grouped[0]);
        QCOMPARE(layoutSnapshot(*cards[1]).groupID, grouped[1].groupID);
    }

    void aStoreHoldingOneIdTwiceRestoresTheFirst()
    {
        CanvasCard::Init init;
        init.id = cards[0]->id();
        init.boardID = note->id();
        init.createdAt = at(50);
        init.canvasX = 999;
        auto *twin = new CanvasCard(init);
        context->insert(twin);
        QVERIFY(context->save());

        QVERIFY(editor->moveCard(*cards[0], 400, 400));
        stack->undo();
        QCOMPARE(cards[0]->canvasX(), 10.0);
        QCOMPARE(twin->canvasX(), 999.0);
    }

    void withoutAStackEditsAreSavedAndNotUndoable()
    {
        editor->setUndoStack(nullptr);
        QVERIFY(editor->moveCard(*cards[0], 400, 400));
        QCOMPARE(storedLayouts().first().x, 400.0);
        QCOMPARE(stack->count(), 0);
    }
};

QTEST_GUILESS_MAIN(BoardLayoutEditorTest)
#include "tst_boardlayouteditor.moc"

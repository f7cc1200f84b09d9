#include "StoreFixture.h"

#include "model/StoreUndoCommand.h"
#include "model/StoreUndoStack.h"

#include <QSignalSpy>

using namespace tessaline;
using namespace tessaline::testing;

namespace {

// Trades a note's title with the one it holds, finding the note by id.
class TitleCommand : public StoreUndoCommand
{
public:
    TitleCommand(ModelContext &context, const QUuid &boardID, const QString &title)
        : StoreUndoCommand(context, QStringLiteral("Rename")), m_boardID(boardID), m_title(title)
    {
    }

protected:
    Expected<void, StoreError> exchange(ModelContext &context) override
    {
        const auto boards = context.fetchBoards();
        if (!boards)
            return unexpected(boards.error());
        for (Board *board : *boards) {
            if (board->id() == m_boardID) {
                const QString present = board->title();
                board->setTitle(m_title);
                m_title = present;
            }
        }
        return {};
    }

private:
    QUuid m_boardID;
    QString m_title;
};

} // namespace

class StoreUndoStackTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<ModelContainer> store;
    ModelContext *context = nullptr;
    Board *note = nullptr;

    Expected<void, StoreError> rename(StoreUndoStack *stack, const QString &title)
    {
        auto command = std::make_unique<TitleCommand>(*context, note->id(), note->title());
        return StoreUndoStack::perform(stack, std::move(command), [&] { note->setTitle(title); });
    }

    // The last saved values: whatever is unsaved is dropped first.
    QString storedTitle() const
    {
        context->rollback();
        return note->title();
    }

private Q_SLOTS:
    void init()
    {
        store = memoryStore();
        context = store->mainContext();
        note = addNote(*context, QStringLiteral("First"), at(0));
        QVERIFY(context->save());
    }

    void editsAreSavedBeforeTheyAreRegistered()
    {
        StoreUndoStack stack;
        QVERIFY(rename(&stack, QStringLiteral("Second")));
        QCOMPARE(stack.count(), 1);
        QCOMPARE(stack.undoText(), QStringLiteral("Rename"));
        QVERIFY(!context->hasChanges());

        // Undo and redo alternate as often as asked, each one saved.
        for (int round = 0; round < 3; ++round) {
            stack.undo();
            QCOMPARE(storedTitle(), QStringLiteral("First"));
            stack.redo();
            QCOMPARE(storedTitle(), QStringLiteral("Second"));
        }
        QCOMPARE(stack.count(), 1);
    }

    void failedSaveTakesTheEditBackAndRegistersNothing()
    {
        StoreUndoStack stack;
        QVERIFY(rename(&stack, QStringLiteral("Second")));
        stack.undo(); // leaves a redo step that a failed edit must not destroy
        QSignalSpy failures(&stack, &StoreUndoStack::failed);

        context->failNextSave(StoreError{QStringLiteral("disk full")});
        const auto result = rename(&stack, QStringLiteral("Third"));
        QVERIFY(!result);
        QCOMPARE(result.error().message, QStringLiteral("disk full"));
        QCOMPARE(note->title(), QStringLiteral("First"));
        QVERIFY(!context->hasChanges());
        // The caller reports it; the stack says nothing and keeps its steps.
        QCOMPARE(failures.count(), 0);
        QCOMPARE(stack.count(), 1);
        QVERIFY(stack.canRedo());
    }

    // An edit waiting in the context by design (a card editor's text, say)
    // outlives another edit's failed save.
    void failedSaveKeepsOtherUnsavedEdits()
    {
        StoreUndoStack stack;
        Board *other = addNote(*context, QStringLiteral("Other"), at(1));
        QVERIFY(context->save());
        other->setTitle(QStringLiteral("Draft"));
        context->failNextSave(StoreError{QStringLiteral("disk full")});
        QVERIFY(!rename(&stack, QStringLiteral("Second")));
        QCOMPARE(note->title(), QStringLiteral("First"));
        QCOMPARE(other->title(), QStringLiteral("Draft"));
        QVERIFY(other->hasChanges());
    }

    void failedUndoOrRedoRestoresReportsOnceAndDropsTheStep_data()
    {
        QTest::addColumn<bool>("duringRedo");
        QTest::addColumn<bool>("fetchFails");
        QTest::newRow("undo, save fails") << false << false;
        QTest::newRow("undo, cards cannot be read") << false << true;
        QTest::newRow("redo, save fails") << true << false;
        QTest::newRow("redo, cards cannot be read") << true << true;
    }

    void failedUndoOrRedoRestoresReportsOnceAndDropsTheStep()
    {
        QFETCH(bool, duringRedo);
        QFETCH(bool, fetchFails);
        StoreUndoStack stack;
        QVERIFY(rename(&stack, QStringLiteral("Second")));
        QVERIFY(rename(&stack, QStringLiteral("Third")));
        if (duringRedo)
            stack.undo();
        const QString before = note->title();
        QSignalSpy failures(&stack, &StoreUndoStack::failed);

        const StoreError error{QStringLiteral("disk full")};
        if (fetchFails)
            context->failNextFetch(error);
        else
            context->failNextSave(error);
        duringRedo ? stack.redo() : stack.undo();

        QCOMPARE(note->title(), before);
        QCOMPARE(storedTitle(), before);
        QCOMPARE(failures.count(), 1);
        QCOMPARE(failures.first().first().toString(), error.message);
        QCOMPARE(stack.count(), 1);
        QVERIFY(!stack.canRedo());
        // The step that is left still works.
        stack.undo();
        QCOMPARE(storedTitle(), QStringLiteral("First"));
    }

    void withoutAStackTheEditIsSavedAndNotUndoable()
    {
        QVERIFY(rename(nullptr, QStringLiteral("Second")));
        QCOMPARE(storedTitle(), QStringLiteral("Second"));
    }

    void aStepOutlivingItsLibraryDoesNothing()
    {
        StoreUndoStack stack;
        QVERIFY(rename(&stack, QStringLiteral("Second")));
        QSignalSpy failures(&stack, &StoreUndoStack::failed);
        note = nullptr;
        context = nullptr;
        store.reset();
        stack.undo();
        QCOMPARE(stack.count(), 0);
        QCOMPARE(failures.count(), 0);
    }
};

QTEST_GUILESS_MAIN(StoreUndoStackTest)
#include "tst_storeundostack.moc"

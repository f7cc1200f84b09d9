#include "../support/MainWindowRig.h"

#include "runtime/LibraryQuery.h"
#include "runtime/NavigationState.h"
#include "notes/QuickThoughtModel.h"
#include "runtime/SidebarDestination.h"
#include "model/Board.h"
#include "model/BoardWritingDocument.h"

#include <QSignalSpy>
#include <QTest>

using namespace tessaline;
using namespace tessaline::testing;

namespace {

// Three notes opened at different times, the Quick Captures note and a
// note in Recently Deleted, all saved.
struct Fixture
{
    Fixture()
    {
        inbox = rig.addNote(QStringLiteral("Quick Captures"), 0, true);
        older = rig.addNote(QStringLiteral("Older"), 1);
        older->setLastOpenedAt(at(10));
        newest = rig.addNote(QStringLiteral("Newest"), 2);
        newest->setLastOpenedAt(at(30));
        middle = rig.addNote(QStringLiteral("Middle"), 3);
        middle->setLastOpenedAt(at(20));
        trashed = rig.addNote(QStringLiteral("Trashed"), 4);
        trashed->setLastOpenedAt(at(40));
        trashed->moveToTrash(at(41));
        if (!rig.context().save())
            qFatal("fixture save failed");
        library = std::make_unique<LibraryQuery>(rig.context());
    }

    std::unique_ptr<QuickThoughtModel> model(std::optional<QUuid> preselected)
    {
        auto made = std::make_unique<QuickThoughtModel>(*library, rig.navigation(), preselected);
        made->setClock([] { return at(500); });
        return made;
    }

    Board *byName(const QString &name) const
    {
        for (Board *board : {inbox, older, newest, middle, trashed}) {
            if (board->title() == name)
                return board;
        }
        return nullptr;
    }

    MainWindowRig rig;
    Board *inbox = nullptr;
    Board *older = nullptr;
    Board *newest = nullptr;
    Board *middle = nullptr;
    Board *trashed = nullptr;
    std::unique_ptr<LibraryQuery> library;
};

QStringList titles(const QList<Board *> &boards)
{
    QStringList list;
    for (const Board *board : boards)
        list << board->title();
    return list;
}

} // namespace

class QuickThoughtModelTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void offersLiveNotesMostRecentlyOpenedFirst()
    {
        Fixture f;
        auto model = f.model(std::nullopt);
        QCOMPARE(titles(model->availableNotes()), (QStringList{"Newest", "Middle", "Older"}));
    }

    void chooseDefaultTarget_data()
    {
        QTest::addColumn<QString>("preselected");
        QTest::addColumn<QString>("active");
        QTest::addColumn<QString>("chosen");
        QTest::newRow("proposed live note") << "Middle" << "" << "Middle";
        QTest::newRow("the workspace's note wins over the active one") << "Older" << "Newest" << "Older";
        QTest::newRow("nothing proposed: the active note") << "" << "Newest" << "Newest";
        QTest::newRow("nothing at all") << "" << "" << "";
        QTest::newRow("proposed note in Recently Deleted") << "Trashed" << "Newest" << "";
        QTest::newRow("proposed Quick Captures") << "Quick Captures" << "" << "";
        QTest::newRow("proposed unknown note") << "unknown" << "Newest" << "";
    }
    void chooseDefaultTarget()
    {
        QFETCH(QString, preselected);
        QFETCH(QString, active);
        QFETCH(QString, chosen);
        Fixture f;
        auto idOf = [&f](const QString &name) -> std::optional<QUuid> {
            if (name.isEmpty())
                return std::nullopt;
            Board *board = f.byName(name);
            return board ? board->id() : QUuid::createUuid();
        };
        f.rig.navigation().setActiveBoardID(idOf(active));
        auto model = f.model(idOf(preselected));
        model->setBoardID(f.inbox->id()); // an earlier choice is replaced
        QSignalSpy focus(model.get(), &QuickThoughtModel::editorFocusRequested);
        model->chooseDefaultTarget();
        QCOMPARE(model->boardID(), chosen.isEmpty() ? std::nullopt : std::optional<QUuid>(f.byName(chosen)->id()));
        QCOMPARE(focus.count(), 1);
    }

    void blankTextCannotBeAdded_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("placeholder");
        QTest::addColumn<bool>("canSave");
        QTest::newRow("empty") << "" << true << false;
        QTest::newRow("spaces and newlines") << " \n\t \n" << false << false;
        QTest::newRow("a word") << "idea" << false << true;
        QTest::newRow("padded word") << "\n  idea \n" << false << true;
    }
    void blankTextCannotBeAdded()
    {
        QFETCH(QString, text);
        QFETCH(bool, placeholder);
        QFETCH(bool, canSave);
        Fixture f;
        auto model = f.model(f.middle->id());
        model->setNoteText(text);
        QCOMPARE(model->isPlaceholderVisible(), placeholder);
        QCOMPARE(model->canSave(), canSave);

        // Return with a blank paragraph stores nothing and keeps the sheet.
        const QString before = f.middle->writingDocumentStorage();
        QSignalSpy dismissed(model.get(), &QuickThoughtModel::dismissRequested);
        model->chooseDefaultTarget();
        model->submit();
        QCOMPARE(dismissed.count(), canSave ? 1 : 0);
        QCOMPARE(f.middle->writingDocumentStorage() != before, canSave);
    }

    void savesTrimmedParagraphAndOpensTheNote()
    {
        Fixture f;
        NavigationState &navigation = f.rig.navigation();
        const QUuid card = QUuid::createUuid();
        navigation.setDestination(SidebarDestination::trash());
        navigation.setSelectedCardIDs({card});
        navigation.setInspectorPresented(true);
        navigation.setQuickThoughtPresented(true);
        BoardWritingDocument written;
        written.blocks = {BoardWritingBlock::paragraph(QStringLiteral("first"))};
        f.middle->updateWritingDocument(written, at(1));
        QVERIFY(f.rig.context().save());

        auto model = f.model(f.middle->id());
        model->chooseDefaultTarget();
        model->setNoteText(QStringLiteral("\n\n  a second thought \n\n"));
        QSignalSpy dismissed(model.get(), &QuickThoughtModel::dismissRequested);
        QVERIFY(model->save());

        const QList<BoardWritingBlock> blocks = f.middle->writingDocument().blocks;
        QCOMPARE(blocks.size(), 2);
        QCOMPARE(blocks.at(1).text, QStringLiteral("a second thought"));
        QCOMPARE(navigation.destination(), std::optional(SidebarDestination::notes()));
        QCOMPARE(navigation.activeBoardID(), std::optional(f.middle->id()));
        QCOMPARE(navigation.activeWritingAnchorID(), std::optional(blocks.at(1).id));
        QVERIFY(navigation.selectedCardIDs().isEmpty());
        QVERIFY(!navigation.isInspectorPresented());
        QVERIFY(!navigation.isQuickThoughtPresented());
        QCOMPARE(dismissed.count(), 1);
        QVERIFY(!f.rig.context().hasChanges());
    }

    void fillsATrailingBlankParagraph()
    {
        Fixture f;
        const QUuid blank = QUuid::createUuid();
        BoardWritingDocument written;
        written.blocks = {BoardWritingBlock::paragraph(QStringLiteral("first")),
                          BoardWritingBlock::paragraph(QStringLiteral("  "), blank)};
        f.older->updateWritingDocument(written, at(1));
        QVERIFY(f.rig.context().save());

        auto model = f.model(f.older->id());
        model->chooseDefaultTarget();
        model->setNoteText(QStringLiteral("filled"));
        QVERIFY(model->save());
        const QList<BoardWritingBlock> blocks = f.older->writingDocument().blocks;
        QCOMPARE(blocks.size(), 2);
        QCOMPARE(blocks.at(1).id, blank);
        QCOMPARE(blocks.at(1).text, QStringLiteral("filled"));
        QCOMPARE(f.rig.navigation().activeWritingAnchorID(), std::optional(blank));
    }

    void quickCapturesOpensTheInbox_data()
    {
        QTest::addColumn<bool>("trashChosenNote");
        QTest::newRow("Quick Captures chosen") << false;
        QTest::newRow("chosen note deleted while the sheet is open") << true;
    }
    void quickCapturesOpensTheInbox()
    {
        QFETCH(bool, trashChosenNote);
        Fixture f;
        auto model = f.model(trashChosenNote ? std::optional(f.newest->id()) : std::nullopt);
        model->chooseDefaultTarget();
        if (trashChosenNote) {
            QCOMPARE(model->boardID(), std::optional(f.newest->id()));
            f.newest->moveToTrash(at(200));
            QVERIFY(f.rig.context().save());
        }
        const QString before = f.newest->writingDocumentStorage();
        model->setNoteText(QStringLiteral("to the inbox"));
        QVERIFY(model->save());
        QCOMPARE(f.inbox->writingDocument().blocks.last().text, QStringLiteral("to the inbox"));
        QCOMPARE(f.newest->writingDocumentStorage(), before);
        QCOMPARE(f.rig.navigation().destination(), std::optional(SidebarDestination::inbox()));
        QCOMPARE(f.rig.navigation().activeBoardID(), std::optional(f.inbox->id()));
    }

    void failedSaveKeepsEverything()
    {
        Fixture f;
        NavigationState &navigation = f.rig.navigation();
        navigation.setActiveBoardID(f.older->id());
        navigation.setQuickThoughtPresented(true);
        const QUuid card = QUuid::createUuid();
        navigation.setSelectedCardIDs({card});
        auto model = f.model(f.middle->id());
        model->chooseDefaultTarget();
        model->setNoteText(QStringLiteral("kept"));
        QSignalSpy dismissed(model.get(), &QuickThoughtModel::dismissRequested);
        // A rename typed elsewhere and not saved yet outlives the failure.
        f.older->setTitle(QStringLiteral("Older, renamed"));
        f.rig.context().failNextSave(StoreError{QStringLiteral("The library could not be written: disk full")});

        QVERIFY(!model->save());
        QCOMPARE(model->errorMessage(), std::optional<QString>("The library could not be written: disk full"));
        QCOMPARE(model->noteText(), QStringLiteral("kept"));
        QCOMPARE(model->boardID(), std::optional(f.middle->id()));
        QCOMPARE(navigation.activeBoardID(), std::optional(f.older->id()));
        QCOMPARE(navigation.selectedCardIDs(), QSet<QUuid>{card});
        QVERIFY(navigation.isQuickThoughtPresented());
        QCOMPARE(dismissed.count(), 0);
        QVERIFY(f.middle->writingDocument().blocks.isEmpty() || f.middle->writingDocument().blocks.last().text != "kept");
        QCOMPARE(f.older->title(), QStringLiteral("Older, renamed"));

        model->clearErrorMessage();
        QCOMPARE(model->errorMessage(), std::nullopt);
        QCOMPARE(model->noteText(), QStringLiteral("kept"));
        QVERIFY(model->save()); // a retry goes through, once
        QCOMPARE(f.middle->writingDocument().blocks.last().text, QStringLiteral("kept"));
        const QList<BoardWritingBlock> blocks = f.middle->writingDocument().blocks;
        QCOMPARE(std::count_if(blocks.cbegin(), blocks.cend(),
                               [](const BoardWritingBlock &block) { return block.text == QLatin1String("kept"); }),
                 1);
        QVERIFY(!f.rig.context().hasChanges());
        QCOMPARE(f.older->title(), QStringLiteral("Older, renamed"));
    }

    void cancelStoresNothing()
    {
        Fixture f;
        auto model = f.model(f.middle->id());
        model->chooseDefaultTarget();
        model->setNoteText(QStringLiteral("dropped"));
        QSignalSpy dismissed(model.get(), &QuickThoughtModel::dismissRequested);
        model->cancel();
        QCOMPARE(dismissed.count(), 1);
        QVERIFY(!f.rig.context().hasChanges());
        QVERIFY(f.middle->writingDocument().blocks.isEmpty());
    }
};

QTEST_GUILESS_MAIN(QuickThoughtModelTest)
#include "tst_quickthoughtmodel.moc"

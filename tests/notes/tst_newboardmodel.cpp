#include "../support/MainWindowRig.h"

#include "runtime/NavigationState.h"
#include "notes/NewBoardModel.h"
#include "runtime/SidebarDestination.h"
#include "model/Board.h"

#include <QSignalSpy>
#include <QTest>

using namespace tessaline;
using namespace tessaline::testing;

namespace {

QList<Board *> liveNotes(ModelContext &context)
{
    QList<Board *> notes;
    for (Board *board : *context.fetchBoards()) {
        if (!board->deletedAt())
            notes.append(board);
    }
    return notes;
}

} // namespace

class NewBoardModelTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void createsTheNoteAsTyped_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("question");
        QTest::addColumn<QString>("storedTitle");
        QTest::newRow("plain") << "Garden" << "What grows?" << "Garden";
        QTest::newRow("name trimmed, question kept as typed") << "  \nGarden \t" << "  why?  " << "Garden";
        QTest::newRow("empty question stays empty") << "Garden" << "" << "Garden";
    }
    void createsTheNoteAsTyped()
    {
        QFETCH(QString, title);
        QFETCH(QString, question);
        QFETCH(QString, storedTitle);
        MainWindowRig rig;
        NavigationState &navigation = rig.navigation();
        navigation.setDestination(SidebarDestination::trash());
        const QUuid anchor = QUuid::createUuid();
        const QUuid card = QUuid::createUuid();
        navigation.setActiveWritingAnchorID(anchor);
        navigation.setSelectedCardIDs({card});
        NewBoardModel model(rig.context(), navigation);
        model.setClock([] { return at(300); });
        QSignalSpy dismissed(&model, &NewBoardModel::dismissRequested);
        model.setTitle(title);
        model.setFocusQuestion(question);
        model.submit();

        const QList<Board *> notes = liveNotes(rig.context());
        QCOMPARE(notes.size(), 1);
        const Board *note = notes.first();
        QCOMPARE(note->title(), storedTitle);
        QCOMPARE(note->focusQuestion(), std::optional<QString>(question));
        QCOMPARE(note->createdAt(), at(300));
        QVERIFY(!rig.context().hasChanges());
        QCOMPARE(navigation.destination(), std::optional(SidebarDestination::notes()));
        QCOMPARE(navigation.activeBoardID(), std::optional(note->id()));
        // The writing position and the selection are not the sheet's business.
        QCOMPARE(navigation.activeWritingAnchorID(), std::optional(anchor));
        QCOMPARE(navigation.selectedCardIDs(), QSet<QUuid>{card});
        QCOMPARE(dismissed.count(), 1);
    }

    void blankNameCannotCreate_data()
    {
        QTest::addColumn<QString>("title");
        QTest::newRow("empty") << "";
        QTest::newRow("spaces and newlines") << " \n \t";
    }
    void blankNameCannotCreate()
    {
        QFETCH(QString, title);
        MainWindowRig rig;
        NewBoardModel model(rig.context(), rig.navigation());
        QSignalSpy dismissed(&model, &NewBoardModel::dismissRequested);
        model.setTitle(title);
        model.setFocusQuestion(QStringLiteral("a question"));
        QVERIFY(!model.canCreate());
        model.submit();
        QVERIFY(liveNotes(rig.context()).isEmpty());
        QCOMPARE(dismissed.count(), 0);
    }

    void failedCreateKeepsEverything()
    {
        MainWindowRig rig;
        NavigationState &navigation = rig.navigation();
        navigation.setDestination(SidebarDestination::trash());
        NewBoardModel model(rig.context(), navigation);
        QSignalSpy dismissed(&model, &NewBoardModel::dismissRequested);
        model.setTitle(QStringLiteral("Garden"));
        model.setFocusQuestion(QStringLiteral("What grows?"));
        rig.context().failNextSave(StoreError{QStringLiteral("read-only")});

        QVERIFY(!model.create());
        QCOMPARE(model.errorMessage(), std::optional<QString>("read-only"));
        QCOMPARE(model.title(), QStringLiteral("Garden"));
        QCOMPARE(model.focusQuestion(), QStringLiteral("What grows?"));
        QCOMPARE(navigation.destination(), std::optional(SidebarDestination::trash()));
        QCOMPARE(navigation.activeBoardID(), std::nullopt);
        QCOMPARE(dismissed.count(), 0);
        QVERIFY(liveNotes(rig.context()).isEmpty());

        model.clearErrorMessage();
        QCOMPARE(model.errorMessage(), std::nullopt);
        QVERIFY(model.create());
        QCOMPARE(liveNotes(rig.context()).size(), 1);
    }

    void cancelStoresNothing()
    {
        MainWindowRig rig;
        NewBoardModel model(rig.context(), rig.navigation());
        QSignalSpy dismissed(&model, &NewBoardModel::dismissRequested);
        model.setTitle(QStringLiteral("Garden"));
        model.cancel();
        QCOMPARE(dismissed.count(), 1);
        QVERIFY(liveNotes(rig.context()).isEmpty());
    }
};

QTEST_GUILESS_MAIN(NewBoardModelTest)
#include "tst_newboardmodel.moc"

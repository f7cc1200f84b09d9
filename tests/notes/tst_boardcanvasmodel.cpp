#include "../support/MainWindowRig.h"

#include "model/Board.h"
#include "model/BoardWritingDocument.h"
#include "model/CanvasCard.h"
#include "model/ModelChangeScope.h"
#include "model/ThinkingSessionService.h"
#include "notes/BoardCanvasModel.h"
#include "platform/UuidText.h"
#include "runtime/KeptChanges.h"
#include "runtime/LibraryQuery.h"
#include "runtime/NavigationState.h"

#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

using namespace tessaline;
using namespace tessaline::testing;

namespace {

using Kind = BoardWritingBlock::Kind;

// A note with two paragraphs, a snip and a thought of its own, a snip and a
// thought of another note, and an open workspace over it.
struct Fixture
{
    explicit Fixture(const QString &libraryDirectory = QString()) : rig(libraryDirectory)
    {
        note = rig.addNote(QStringLiteral("Garden"));
        note->setUpdatedAt(at(0));
        other = rig.addNote(QStringLiteral("Elsewhere"));
        first = QUuid::createUuid();
        second = QUuid::createUuid();
        BoardWritingDocument writing;
        writing.blocks = {BoardWritingBlock::paragraph(QStringLiteral("Opening"), first),
                          BoardWritingBlock::paragraph(QString(), second)};
        note->updateWritingDocument(writing, at(0));
        snip = rig.addCard(note, CardKind::snip, 10);
        thought = rig.addCard(note, CardKind::thought, 11);
        otherSnip = rig.addCard(other, CardKind::snip, 12);
        otherThought = rig.addCard(other, CardKind::thought, 13);
        if (!rig.context().save())
            qFatal("fixture save failed");
        library = std::make_unique<LibraryQuery>(rig.context());
        QObject::connect(&rig.context(), &ModelContext::didSave, [this] { ++saves; });
        workspace = std::make_unique<BoardCanvasModel>(*library, rig.navigation(), note->id());
        workspace->setClock([this] { return at(1000 + ticks++); });
    }

    QList<Kind> kinds() const
    {
        QList<Kind> kinds;
        for (const BoardWritingBlock &block : workspace->writingDocument().blocks)
            kinds.append(block.kind);
        return kinds;
    }

    // Edits the first paragraph, as typing in it does.
    void type(const QString &text)
    {
        BoardWritingDocument document = workspace->writingDocument();
        document.blocks.first().text = text;
        workspace->setWritingDocument(document);
    }

    CanvasCard *card(const QString &name) const
    {
        if (name == QLatin1String("snip"))
            return snip;
        if (name == QLatin1String("thought"))
            return thought;
        if (name == QLatin1String("other snip"))
            return otherSnip;
        return otherThought;
    }

    MainWindowRig rig;
    std::unique_ptr<LibraryQuery> library;
    std::unique_ptr<BoardCanvasModel> workspace;
    Board *note = nullptr;
    Board *other = nullptr;
    CanvasCard *snip = nullptr;
    CanvasCard *thought = nullptr;
    CanvasCard *otherSnip = nullptr;
    CanvasCard *otherThought = nullptr;
    QUuid first;
    QUuid second;
    int saves = 0;
    int ticks = 0;
};

} // namespace

class BoardCanvasModelTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void insertion_data();
    void insertion();
    void referenceEdits();
    void openCard();
    void burstOfEditsSavesOnce();
    void steadyTypingIsSavedEveryTwoSeconds();
    void closingSavesAtOnce();
    void writingWaitsForAnotherProgramWithoutHoldingTheWindow();
    void headerChangesThatCannotBeSavedAreReportedAndKept_data();
    void headerChangesThatCannotBeSavedAreReportedAndKept();
    void unreadableWritingIsKept_data();
    void unreadableWritingIsKept();
    void encodingFailureKeepsTheOldText();
    void noteGoneWhileEditIsPending_data();
    void noteGoneWhileEditIsPending();
    void typedTextSurvivesAnotherFailedSave();
    void outsideChangeIsTakenOver();
    void insertSnipSections_data();
    void insertSnipSections();
    void availableSnipsWorkedOutInSlices();
    void helpMeThink();
    void writingCardsFollowEveryChange_data();
    void writingCardsFollowEveryChange();
    void writingCardsFollowSequencesAsFoundAfresh_data();
    void writingCardsFollowSequencesAsFoundAfresh();
};

void BoardCanvasModelTest::insertion_data()
{
    QTest::addColumn<QString>("card");
    QTest::addColumn<QString>("anchor");
    QTest::addColumn<QList<Kind>>("kinds");
    const QList<Kind> unchanged{Kind::paragraph, Kind::paragraph};
    QTest::newRow("after the anchor") << QStringLiteral("snip") << QStringLiteral("first")
                                      << QList<Kind>{Kind::paragraph, Kind::cardReference, Kind::paragraph};
    QTest::newRow("no anchor: before the trailing empty paragraph")
        << QStringLiteral("thought") << QString()
        << QList<Kind>{Kind::paragraph, Kind::cardReference, Kind::paragraph};
    QTest::newRow("an anchor that is gone counts as none")
        << QStringLiteral("snip") << QStringLiteral("gone")
        << QList<Kind>{Kind::paragraph, Kind::cardReference, Kind::paragraph};
    QTest::newRow("a snip of another note") << QStringLiteral("other snip") << QStringLiteral("second")
                                            << QList<Kind>{Kind::paragraph, Kind::paragraph, Kind::cardReference,
                                                           Kind::paragraph};
    QTest::newRow("a thought of another note is refused") << QStringLiteral("other thought") << QStringLiteral("first")
                                                         << unchanged;
    QTest::newRow("a card in Recently Deleted is refused") << QStringLiteral("deleted") << QStringLiteral("first")
                                                          << unchanged;
    QTest::newRow("a card no one knows") << QStringLiteral("unknown") << QStringLiteral("first") << unchanged;
}

void BoardCanvasModelTest::insertion()
{
    QFETCH(QString, card);
    QFETCH(QString, anchor);
    QFETCH(QList<Kind>, kinds);
    Fixture f;
    f.workspace->appear();
    const QDateTime opened = f.note->updatedAt();
    QUuid cardID;
    if (card == QLatin1String("deleted")) {
        f.snip->setDeletedAt(at(20));
        cardID = f.snip->id();
    } else if (card == QLatin1String("unknown")) {
        cardID = QUuid::createUuid();
    } else {
        cardID = f.card(card)->id();
    }
    const std::optional<QUuid> anchorID = anchor == QLatin1String("first")    ? std::optional(f.first)
                                        : anchor == QLatin1String("second")   ? std::optional(f.second)
                                        : anchor == QLatin1String("gone")     ? std::optional(QUuid::createUuid())
                                                                              : std::nullopt;
    f.workspace->insertCardReference(cardID, anchorID, false);
    QCOMPARE(f.kinds(), kinds);
    const bool inserted = kinds.size() > 2;
    // The note holds the new writing at once; the disk a little later.
    QCOMPARE(f.note->writingDocument().blocks, f.workspace->writingDocument().blocks);
    QCOMPARE(f.note->updatedAt() > opened, inserted);
    QCOMPARE(f.workspace->isAutosavePending(), inserted);
    if (inserted) {
        QCOMPARE(f.workspace->writingDocument().referencedCardIDs(), QList<QUuid>{cardID});
        // An inserted snip of another note stays that note's card.
        QCOMPARE(f.card(card)->boardID(), card == QLatin1String("other snip") ? f.other->id() : f.note->id());
        QVERIFY(f.workspace->writingCards().contains(f.card(card)));
    }
}

void BoardCanvasModelTest::referenceEdits()
{
    Fixture f;
    f.workspace->appear();
    f.workspace->insertCardReference(f.snip->id(), f.first, false);
    f.workspace->insertCardReference(f.snip->id(), std::nullopt, false);
    QList<QUuid> references;
    for (const BoardWritingBlock &block : f.workspace->writingDocument().blocks) {
        if (block.isCardReference())
            references.append(block.id);
    }
    QCOMPARE(references.size(), 2);

    f.workspace->setReferenceSize(references.last(), NoteAttachmentSize::fullWidth);
    for (const BoardWritingBlock &block : f.workspace->writingDocument().blocks) {
        if (block.isCardReference())
            QCOMPARE(*block.attachmentSizeRawValue,
                     block.id == references.last() ? QStringLiteral("fullWidth") : QStringLiteral("medium"));
    }
    // Removing one of two references to the same snip keeps the other; a
    // paragraph's id removes nothing.
    f.workspace->removeCardReference(f.first);
    f.workspace->removeCardReference(references.first());
    QCOMPARE(f.workspace->writingDocument().referencedCardIDs(), QList<QUuid>{f.snip->id()});
    QCOMPARE(f.workspace->writingDocument().blocks.first().id, f.first);
    QCOMPARE(f.note->writingDocument().blocks, f.workspace->writingDocument().blocks);

    // The writing position is the navigation state's.
    f.workspace->rememberWritingAnchor(f.second);
    QCOMPARE(f.rig.navigation().activeWritingAnchorID(), std::optional(f.second));
    f.workspace->insertSnipAtAnchor(f.otherSnip->id());
    const QList<BoardWritingBlock> blocks = f.workspace->writingDocument().blocks;
    for (qsizetype i = 0; i < blocks.size(); ++i) {
        if (blocks.at(i).id == f.second)
            QCOMPARE(blocks.at(i + 1).cardID, std::optional(f.otherSnip->id()));
    }
}

void BoardCanvasModelTest::openCard()
{
    Fixture f;
    NavigationState &navigation = f.rig.navigation();
    f.workspace->openCard(f.snip);
    QCOMPARE(navigation.galleryCardID(), std::optional(f.snip->id()));
    QCOMPARE(navigation.focusedCardID(), std::nullopt);
    navigation.setGalleryCardID(std::nullopt);
    f.workspace->openCard(f.thought);
    QCOMPARE(navigation.focusedCardID(), std::optional(f.thought->id()));
    QCOMPARE(navigation.galleryCardID(), std::nullopt);
}

void BoardCanvasModelTest::burstOfEditsSavesOnce()
{
    Fixture f;
    f.workspace->appear();
    const int savesBefore = f.saves;
    QList<QDateTime> stamps;
    for (const QString &text : {QStringLiteral("O"), QStringLiteral("On"), QStringLiteral("One"), QStringLiteral("One "),
                                QStringLiteral("One w")}) {
        f.type(text);
        stamps.append(f.note->updatedAt());
        QCOMPARE(f.note->writingDocument().blocks.first().text, text);
    }
    // Every edit is in the note at once, each with its own date ...
    QCOMPARE(QSet<QDateTime>(stamps.cbegin(), stamps.cend()).size(), 5);
    QCOMPARE(f.saves, savesBefore);
    QVERIFY(f.workspace->isAutosavePending());
    // ... and the burst is saved once, after a quiet moment.
    QTRY_COMPARE(f.saves, savesBefore + 1);
    QVERIFY(!f.workspace->isAutosavePending());
    QVERIFY(!f.rig.context().hasChanges());
    QCOMPARE(f.workspace->operationError(), std::nullopt);
}

void BoardCanvasModelTest::steadyTypingIsSavedEveryTwoSeconds()
{
    Fixture f;
    qint64 now = 0;
    f.workspace->setContinuousClock([&now] { return now; });
    f.workspace->appear();
    const int savesBefore = f.saves;
    // Keystrokes 300 ms apart never leave the quiet moment a save waits for;
    // the event loop turns between them, as it does between real keystrokes.
    QString text;
    QList<qint64> savedAt;
    for (; now <= 5700; now += 300) {
        text += u'a';
        f.type(text);
        QCoreApplication::processEvents();
        if (!f.rig.context().hasChanges())
            savedAt.append(now);
    }
    // The oldest unsaved keystroke waits at most two seconds.
    QCOMPARE(savedAt, (QList<qint64>{2100, 4500}));
    QCOMPARE(f.saves, savesBefore + 2);
    QCOMPARE(f.workspace->operationError(), std::nullopt);
    // The last ones are saved after the quiet moment, as ever.
    QVERIFY(f.workspace->isAutosavePending());
    QTRY_COMPARE(f.saves, savesBefore + 3);
    QCOMPARE(f.note->writingDocument().blocks.first().text, text);

    // A failed save says so, and the next try waits two seconds more rather
    // than coming at every keystroke.
    f.rig.context().failNextSave(StoreError{QStringLiteral("The disk is full.")});
    const int savesBeforeFailure = f.saves;
    for (const qint64 start = now; now < start + 4000; now += 300) {
        text += u'b';
        f.type(text);
        QCoreApplication::processEvents();
    }
    QCOMPARE(f.workspace->operationError(), std::optional(QStringLiteral("The disk is full.")));
    QCOMPARE(f.saves, savesBeforeFailure);
    QTRY_COMPARE(f.saves, savesBeforeFailure + 1);
    QCOMPARE(f.note->writingDocument().blocks.first().text, text);
}

// Another program (an SQLite shell left in a transaction) holds the
// library's write lock while the user types: the window goes on handling
// events, the note says who is in the way, and the writing is saved once
// the program lets go, with no keystroke to ask.
void BoardCanvasModelTest::writingWaitsForAnotherProgramWithoutHoldingTheWindow()
{
    QTemporaryDir directory;
    Fixture f(directory.path());
    f.workspace->appear();
    const QString path = f.rig.context().filePath();
    const QString holderName = QStringLiteral("another program");
    {
        QSqlDatabase holder = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), holderName);
        holder.setDatabaseName(path);
        QVERIFY(holder.open());
        QSqlQuery holding(holder);
        QVERIFY(holding.exec(QStringLiteral("BEGIN IMMEDIATE")));
        QVERIFY(holding.exec(QStringLiteral("UPDATE Metadata SET value = value")));

        const int savesBefore = f.saves;
        f.type(QStringLiteral("Typed while another program writes"));
        QTRY_VERIFY_WITH_TIMEOUT(f.workspace->operationError()
                                     && f.workspace->operationError()->contains(QStringLiteral("another program")),
                                 30000);
        // The lock is still held; an event posted now is handled now.
        bool handled = false;
        QMetaObject::invokeMethod(f.workspace.get(), [&handled] { handled = true; }, Qt::QueuedConnection);
        QTRY_VERIFY_WITH_TIMEOUT(handled, 30000);
        QCOMPARE(f.saves, savesBefore);
        QVERIFY(f.rig.context().hasChanges());
        QVERIFY(f.workspace->isAutosavePending());

        QVERIFY(holding.exec(QStringLiteral("ROLLBACK")));
        holding.finish();
        holder.close();
    }
    QSqlDatabase::removeDatabase(holderName);
    QTRY_VERIFY_WITH_TIMEOUT(!f.rig.context().hasChanges(), 30000);

    QString stored;
    {
        QSqlDatabase reader = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), holderName);
        reader.setDatabaseName(path);
        QVERIFY(reader.open());
        QSqlQuery query(reader);
        query.prepare(QStringLiteral("SELECT writingDocumentStorage FROM Board WHERE title = ?"));
        query.addBindValue(QStringLiteral("Garden"));
        QVERIFY(query.exec() && query.next());
        stored = query.value(0).toString();
    }
    QSqlDatabase::removeDatabase(holderName);
    QVERIFY2(stored.contains(QStringLiteral("Typed while another program writes")), qPrintable(stored));
}

void BoardCanvasModelTest::closingSavesAtOnce()
{
    Fixture f;
    f.workspace->appear();
    f.rig.navigation().setActiveWritingAnchorID(f.first);
    const int savesBefore = f.saves;
    f.type(QStringLiteral("Closing soon"));
    f.note->setTitle(QStringLiteral("Renamed, not yet saved"));
    f.workspace->disappear();
    QCOMPARE(f.saves, savesBefore + 1);
    QVERIFY(!f.workspace->isAutosavePending());
    QVERIFY(!f.rig.context().hasChanges());
    QCOMPARE(f.rig.navigation().activeWritingAnchorID(), std::nullopt);

    // A flush whose save fails says so.
    f.type(QStringLiteral("Again"));
    f.rig.context().failNextSave(StoreError{QStringLiteral("The disk is full.")});
    f.workspace->flush();
    QCOMPARE(f.workspace->operationError(), std::optional(QStringLiteral("The disk is full.")));
    QCOMPARE(f.note->writingDocument().blocks.first().text, QStringLiteral("Again"));
}

void BoardCanvasModelTest::headerChangesThatCannotBeSavedAreReportedAndKept_data()
{
    QTest::addColumn<bool>("title");
    QTest::addColumn<bool>("readOnly");
    QTest::newRow("title kept with Return") << true << false;
    QTest::newRow("favourite") << false << false;
    // No later save can carry it: the user is told that, not that it waits.
    QTest::newRow("title, library opened for reading") << true << true;
    QTest::newRow("favourite, library opened for reading") << false << true;
}

void BoardCanvasModelTest::headerChangesThatCannotBeSavedAreReportedAndKept()
{
    QFETCH(bool, title);
    QFETCH(bool, readOnly);
    Fixture f;
    f.workspace->appear();
    QVERIFY(!f.rig.context().hasChanges());
    const StoreError refusal{readOnly ? QStringLiteral("The library can only be read; changes will not be kept.")
                                      : QStringLiteral("The disk is full.")};
    if (readOnly)
        f.rig.context().setReadOnly(refusal);
    else
        f.rig.context().failNextSave(refusal);
    if (title) {
        f.workspace->setTitle(QStringLiteral("Garden plans"));
        f.workspace->submitTitle();
    } else {
        f.workspace->toggleFavorite();
    }
    QCOMPARE(f.workspace->operationError(),
             std::optional(readOnly ? refusal.message : keptChangesMessage(refusal.message)));
    // Kept as typed, for the next save that can.
    QCOMPARE(f.workspace->title(), title ? QStringLiteral("Garden plans") : QStringLiteral("Garden"));
    QCOMPARE(f.workspace->isFavorite(), !title);
    QVERIFY(f.rig.context().hasChanges());
    f.workspace->setOperationError(std::nullopt);
    if (readOnly)
        return;
    // Trying again once there is room writes it and says nothing.
    if (title)
        f.workspace->submitTitle();
    else
        QVERIFY(f.rig.context().save());
    QVERIFY(!f.rig.context().hasChanges());
    QCOMPARE(f.workspace->operationError(), std::nullopt);
}

void BoardCanvasModelTest::unreadableWritingIsKept_data()
{
    QTest::addColumn<bool>("edit");
    QTest::newRow("opened and closed") << false;
    QTest::newRow("written in") << true;
}

void BoardCanvasModelTest::unreadableWritingIsKept()
{
    QFETCH(bool, edit);
    Fixture f;
    const QString unreadable = QStringLiteral("{\"blocks\":[{\"text\":\"my words\"");
    f.note->setWritingDocumentStorage(unreadable);
    QVERIFY(f.rig.context().save());
    f.workspace->appear();
    QCOMPARE(f.workspace->keptWritingTexts(), QStringList{unreadable});
    QCOMPARE(f.note->writingDocumentStorage(), unreadable);
    if (edit)
        f.type(QStringLiteral("New start"));
    f.workspace->disappear();
    QVERIFY(!f.rig.context().hasChanges());
    if (!edit) {
        QCOMPARE(f.note->writingDocumentStorage(), unreadable);
        QCOMPARE(f.rig.context().writingRecoveries(f.note->id())->size(), 0);
        return;
    }
    QCOMPARE(f.note->writingDocument().blocks.first().text, QStringLiteral("New start"));
    const QList<WritingRecovery> kept = *f.rig.context().writingRecoveries(f.note->id());
    QCOMPARE(kept.size(), 1);
    QCOMPARE(kept.constFirst().text, unreadable);

    // The copy kept since the last opening is offered once more when the
    // note opens again, then no longer.
    for (const QStringList &offered : {QStringList{unreadable}, QStringList{}}) {
        BoardCanvasModel reopened(*f.library, f.rig.navigation(), f.note->id());
        reopened.setClock([&f] { return at(5000 + f.ticks++); });
        reopened.appear();
        QCOMPARE(reopened.keptWritingTexts(), offered);
        reopened.disappear();
    }
}

void BoardCanvasModelTest::encodingFailureKeepsTheOldText()
{
    Fixture f;
    f.workspace->appear();
    f.type(QStringLiteral("Kept"));
    QTRY_VERIFY(!f.workspace->isAutosavePending());
    const QString stored = f.note->writingDocumentStorage();
    const QDateTime updated = f.note->updatedAt();
    f.type(QStringLiteral("broken ") + QChar(0xD800));
    QCOMPARE(f.note->writingDocumentStorage(), stored);
    QCOMPARE(f.note->updatedAt(), updated);
    QVERIFY(f.workspace->operationError());
    QVERIFY(!f.workspace->isAutosavePending());

    // Closed on such writing, straight after opening, the page says again
    // that it cannot be kept: the note still holds the text it was read from.
    Fixture opened;
    opened.workspace->appear();
    opened.type(QStringLiteral("broken ") + QChar(0xD800));
    opened.workspace->setOperationError(std::nullopt);
    opened.workspace->flush();
    QVERIFY(opened.workspace->operationError());
}

void BoardCanvasModelTest::noteGoneWhileEditIsPending_data()
{
    QTest::addColumn<bool>("purged");
    QTest::newRow("moved to Recently Deleted") << false;
    QTest::newRow("deleted for good") << true;
}

void BoardCanvasModelTest::noteGoneWhileEditIsPending()
{
    QFETCH(bool, purged);
    Fixture f;
    f.workspace->appear();
    QSignalSpy boardChanged(f.workspace.get(), &BoardCanvasModel::boardChanged);
    f.type(QStringLiteral("Last words"));
    QVERIFY(f.workspace->isAutosavePending());
    if (purged)
        f.rig.context().remove(f.note);
    else
        f.note->moveToTrash(at(50));
    QVERIFY(f.rig.context().save());
    QVERIFY(!f.workspace->board());
    QVERIFY(!boardChanged.isEmpty());
    // The pending save and the flush run against a note that is gone.
    QTRY_VERIFY(!f.workspace->isAutosavePending());
    f.type(QStringLiteral("Typed into nothing"));
    f.workspace->disappear();
    QCOMPARE(f.workspace->operationError(), std::nullopt);
    QVERIFY(!f.rig.context().hasChanges());
    if (!purged)
        QCOMPARE(f.note->writingDocument().blocks.first().text, QStringLiteral("Last words"));
}

void BoardCanvasModelTest::typedTextSurvivesAnotherFailedSave()
{
    Fixture f;
    f.workspace->appear();
    f.type(QStringLiteral("Not yet on disk"));
    // Another part of the app fails to save and takes the library back.
    f.rig.context().failNextSave(StoreError{QStringLiteral("The disk is full.")});
    QVERIFY(!ThinkingSessionService(f.rig.context()).createNote(QStringLiteral("Other"), std::nullopt, at(60)));
    QCOMPARE(f.note->writingDocument().blocks.first().text, QStringLiteral("Not yet on disk"));
    QCOMPARE(f.workspace->writingDocument().blocks.first().text, QStringLiteral("Not yet on disk"));
    QVERIFY(f.workspace->isAutosavePending());
    QTRY_VERIFY(!f.rig.context().hasChanges());
    QCOMPARE(f.note->writingDocument().blocks.first().text, QStringLiteral("Not yet on disk"));
}

void BoardCanvasModelTest::outsideChangeIsTakenOver()
{
    Fixture f;
    f.workspace->appear();
    f.type(QStringLiteral("Mine"));
    QSignalSpy reloaded(f.workspace.get(), &BoardCanvasModel::writingDocumentChanged);
    // A capture files a snip into the open note, from the note's own text.
    BoardWritingDocument stored = f.note->writingDocument();
    stored.insertCardReference(f.otherSnip->id());
    f.note->updateWritingDocument(stored, at(70));
    QCOMPARE(reloaded.size(), 1);
    QCOMPARE(f.workspace->writingDocument().blocks, BoardWritingDocument::normalizedBlocks(stored.blocks));
    QCOMPARE(f.workspace->writingDocument().blocks.first().text, QStringLiteral("Mine"));
    // What was typed is still saved.
    QVERIFY(f.workspace->isAutosavePending());
    QTRY_VERIFY(!f.rig.context().hasChanges());
}

void BoardCanvasModelTest::availableSnipsWorkedOutInSlices()
{
    Fixture f;
    CanvasCard *later = f.rig.addCard(f.other, CardKind::snip, 20);
    QVERIFY(f.rig.context().save());
    const qsizetype cards = f.library->cards().size();
    // A card a call, ready at the call that reads the last one; the note's
    // snip trashed after the first call starts the work over, without it.
    int calls = 1;
    while (!f.workspace->workOutAvailableSnips(1)) {
        if (calls++ == 1)
            f.snip->moveToTrash(at(40));
    }
    QCOMPARE(calls, cards + 1);
    QCOMPARE(f.workspace->availableSnips(), (QList<CanvasCard *>{later, f.otherSnip}));

    // A save that moves no snip keeps the order; a new moment does not.
    later->setTitle(QStringLiteral("Renamed"));
    QVERIFY(f.rig.context().save());
    QVERIFY(f.workspace->workOutAvailableSnips(1));
    later->setCapturedAt(at(1));
    QVERIFY(!f.workspace->workOutAvailableSnips(1));
    QCOMPARE(f.workspace->availableSnips(), (QList<CanvasCard *>{f.otherSnip, later}));
}

void BoardCanvasModelTest::insertSnipSections_data()
{
    QTest::addColumn<bool>("ownSnip");
    QTest::addColumn<bool>("otherSnip");
    QTest::addColumn<QStringList>("titles");
    QTest::newRow("both") << true << true << QStringList{QStringLiteral("This Note"), QStringLiteral("Other Notes")};
    QTest::newRow("only other notes") << false << true << QStringList{QStringLiteral("All Snips")};
    QTest::newRow("only this note") << true << false << QStringList{QStringLiteral("This Note")};
    QTest::newRow("none") << false << false << QStringList{};
}

void BoardCanvasModelTest::insertSnipSections()
{
    QFETCH(bool, ownSnip);
    QFETCH(bool, otherSnip);
    QFETCH(QStringList, titles);
    Fixture f;
    // A second snip of the other note captured at the same moment, ordered
    // by identifier text; deleted snips are never offered.
    CanvasCard *tie = f.rig.addCard(f.other, CardKind::snip, 12);
    tie->setCapturedAt(f.otherSnip->createdAt());
    if (!ownSnip)
        f.snip->setDeletedAt(at(30));
    if (!otherSnip) {
        f.otherSnip->setDeletedAt(at(30));
        tie->setDeletedAt(at(30));
    }
    QVERIFY(f.rig.context().save());
    const QList<BoardCanvasModel::SnipSection> sections = f.workspace->insertSnipSections();
    QStringList found;
    for (const BoardCanvasModel::SnipSection &section : sections)
        found.append(section.title);
    QCOMPARE(found, titles);
    QCOMPARE(f.workspace->hasAvailableSnips(), !titles.isEmpty());
    if (otherSnip) {
        const QList<CanvasCard *> others = sections.constLast().cards;
        QCOMPARE(others.size(), 2);
        const bool tieFirst = uuidText(tie->id()) < uuidText(f.otherSnip->id());
        QCOMPARE(others.constFirst(), tieFirst ? tie : f.otherSnip);
    }
    if (ownSnip)
        QCOMPARE(sections.constFirst().cards, QList<CanvasCard *>{f.snip});
}

void BoardCanvasModelTest::helpMeThink()
{
    Fixture f;
    QList<CanvasCard *> placed;
    for (int i = 0; i < 10; ++i) {
        CanvasCard *card = f.rig.addCard(f.note, CardKind::thought, 100 - i);
        card->setIsPlaced(true);
        placed.prepend(card);
    }
    QVERIFY(f.rig.context().save());
    NavigationState &navigation = f.rig.navigation();
    // Without the assistant the item stays off and says why.
    QVERIFY(!f.workspace->canHelpMeThink());
    QVERIFY(!f.workspace->helpMeThinkToolTip().isEmpty());
    f.workspace->helpMeThink();
    QCOMPARE(navigation.askSuggestion(), std::nullopt);

    f.workspace->setAssistantAvailable(true);
    QVERIFY(f.workspace->canHelpMeThink());
    f.workspace->helpMeThink();
    QList<QUuid> oldest;
    for (int i = 0; i < BoardCanvasModel::maximumAskCards; ++i)
        oldest.append(placed.at(i)->id());
    QCOMPARE(navigation.askSuggestion(), std::optional(AskSuggestionRequest{f.note->id(), oldest}));
}

void BoardCanvasModelTest::writingCardsFollowEveryChange_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("nothing changed") << QStringLiteral("none") << QStringList{"snip", "thought"};
    QTest::newRow("a snip of another note referenced")
        << QStringLiteral("reference") << QStringList{"snip", "thought", "other snip"};
    QTest::newRow("own card trashed, not yet saved") << QStringLiteral("trash") << QStringList{"thought"};
    QTest::newRow("own card trashed and saved") << QStringLiteral("trash and save") << QStringList{"thought"};
    QTest::newRow("own card moved to another note") << QStringLiteral("move away") << QStringList{"thought"};
    QTest::newRow("another note's card moved here")
        << QStringLiteral("move here") << QStringList{"snip", "thought", "other thought"};
    QTest::newRow("a referenced card trashed")
        << QStringLiteral("reference, then trash it") << QStringList{"snip", "thought"};
    QTest::newRow("a new card of the note saved")
        << QStringLiteral("new card") << QStringList{"snip", "thought", "new"};
    QTest::newRow("own card trashed, the save failed and taken back, another saved")
        << QStringLiteral("trash, fail, save another") << QStringList{"snip", "thought"};
}

// What the writing page is handed is read again whenever something it
// depends on changes, though it is kept between keystrokes.
void BoardCanvasModelTest::writingCardsFollowEveryChange()
{
    QFETCH(QString, change);
    QFETCH(QStringList, expected);
    Fixture f;
    f.workspace->appear();
    QCOMPARE(f.workspace->writingCards(), (QList<CanvasCard *>{f.snip, f.thought}));
    f.type(QStringLiteral("A keystroke"));
    QCOMPARE(f.workspace->writingCards(), (QList<CanvasCard *>{f.snip, f.thought}));

    CanvasCard *added = nullptr;
    if (change.startsWith(QLatin1String("reference")))
        f.workspace->insertCardReference(f.otherSnip->id(), f.first, false);
    if (change == QLatin1String("reference")) {
        // nothing more
    } else if (change == QLatin1String("reference, then trash it")) {
        QVERIFY(f.workspace->writingCards().contains(f.otherSnip));
        f.otherSnip->setDeletedAt(at(30));
    } else if (change == QLatin1String("trash")) {
        f.snip->setDeletedAt(at(30));
    } else if (change == QLatin1String("trash and save")) {
        f.snip->setDeletedAt(at(30));
        QVERIFY(f.rig.context().save());
    } else if (change == QLatin1String("move away")) {
        f.snip->setBoardID(f.other->id());
    } else if (change == QLatin1String("move here")) {
        f.otherThought->setBoardID(f.note->id());
    } else if (change == QLatin1String("trash, fail, save another")) {
        {
            ModelChangeScope scope(f.rig.context());
            f.snip->setDeletedAt(at(30));
            QCOMPARE(f.workspace->writingCards(), QList<CanvasCard *>{f.thought});
            f.rig.context().failNextSave(StoreError{QStringLiteral("The disk is full.")});
            QVERIFY(!scope.saveOrUndo());
        }
        QVERIFY(f.snip->isLive());
        f.other->setTitle(QStringLiteral("Renamed"));
        QVERIFY(f.rig.context().save());
    } else if (change == QLatin1String("new card")) {
        added = f.rig.addCard(f.note, CardKind::thought, 40);
        QVERIFY(f.rig.context().save());
    }

    QStringList shown;
    for (const CanvasCard *card : f.workspace->writingCards()) {
        if (card == added)
            shown << QStringLiteral("new");
        else
            for (const QString &name : QStringList{"snip", "thought", "other snip", "other thought"})
                if (f.card(name) == card)
                    shown << name;
    }
    QCOMPARE(shown, expected);
}

void BoardCanvasModelTest::writingCardsFollowSequencesAsFoundAfresh_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::newRow("captures here and elsewhere") << QStringList{"add here", "add there", "add here"};
    QTest::newRow("references come and go")
        << QStringList{"reference other snip", "add there", "reference last", "unreference", "add here"};
    QTest::newRow("a card referenced before it is saved")
        << QStringList{"add there unsaved", "reference last", "save", "add here"};
    QTest::newRow("moved, trashed, restored")
        << QStringList{"reference other snip", "move here", "move away", "trash", "restore", "add here"};
    QTest::newRow("ids written") << QStringList{"reference other snip", "new ids", "reference other snip", "add there"};
    QTest::newRow("an id two cards hold")
        << QStringList{"share id", "reference other snip", "add here", "unreference", "reference other snip"};
    QTest::newRow("deleted for good") << QStringList{"add here", "purge", "reference other snip", "add here"};
    // Worked out afresh (after a purge) with references to cards here and
    // elsewhere, then with an id a card here shares with one elsewhere.
    QTest::newRow("references found afresh")
        << QStringList{"reference snip", "reference other snip", "add here", "purge",
                       "share snip's id",  "add here",             "purge"};
    QTest::newRow("writes taken back")
        << QStringList{"add here", "trash and roll back", "reference other snip", "fail", "add there"};
}

// Cards added, written, referenced or no longer referenced are looked at
// alone: after every step the page is handed what a walk over every card
// finds.
void BoardCanvasModelTest::writingCardsFollowSequencesAsFoundAfresh()
{
    QFETCH(QStringList, steps);
    Fixture f;
    f.workspace->appear();
    ModelContext &context = f.rig.context();
    CanvasCard *last = f.snip;
    const auto unreferenced = [&] {
        BoardWritingDocument document = f.workspace->writingDocument();
        document.blocks.removeIf([](const BoardWritingBlock &block) { return block.isCardReference(); });
        f.workspace->setWritingDocument(document);
    };
    QCOMPARE(f.workspace->writingCards(), (QList<CanvasCard *>{f.snip, f.thought}));
    for (const QString &step : steps) {
        if (step == QLatin1String("add here")) {
            last = f.rig.addCard(f.note, CardKind::snip, 50);
            QVERIFY(context.save());
        } else if (step == QLatin1String("add there")) {
            last = f.rig.addCard(f.other, CardKind::snip, 51);
            QVERIFY(context.save());
        } else if (step == QLatin1String("add there unsaved")) {
            last = f.rig.addCard(f.other, CardKind::snip, 52);
        } else if (step == QLatin1String("save")) {
            QVERIFY(context.save());
        } else if (step == QLatin1String("reference other snip")) {
            f.workspace->insertCardReference(f.otherSnip->id(), f.first, false);
        } else if (step == QLatin1String("reference snip")) {
            f.workspace->insertCardReference(f.snip->id(), f.first, false);
        } else if (step == QLatin1String("share snip's id")) {
            f.otherThought->setId(f.snip->id());
            QVERIFY(context.save());
        } else if (step == QLatin1String("reference last")) {
            f.workspace->insertCardReference(last->id(), f.first, false);
        } else if (step == QLatin1String("unreference")) {
            unreferenced();
        } else if (step == QLatin1String("move here")) {
            f.otherThought->setBoardID(f.note->id());
        } else if (step == QLatin1String("move away")) {
            f.snip->setBoardID(f.other->id());
            QVERIFY(context.save());
        } else if (step == QLatin1String("trash")) {
            f.otherSnip->setDeletedAt(at(30));
        } else if (step == QLatin1String("restore")) {
            f.otherSnip->setDeletedAt(std::nullopt);
            QVERIFY(context.save());
        } else if (step == QLatin1String("new ids")) {
            f.otherSnip->setId(QUuid::createUuid());
            f.otherThought->setId(QUuid::createUuid());

        } else if (step == QLatin1String("share id")) {
            f.otherThought->setId(f.otherSnip->id());
            QVERIFY(context.save());
        } else if (step == QLatin1String("purge")) {
            context.remove(last);
            QVERIFY(context.save());
        } else if (step == QLatin1String("trash and roll back")) {
            last->setDeletedAt(at(31));
            QVERIFY(!f.workspace->writingCards().contains(last));
            context.rollback();
        } else if (step == QLatin1String("fail")) {
            ModelChangeScope scope(context);
            f.otherSnip->setBoardID(f.other->id() == f.otherSnip->boardID() ? f.note->id() : f.other->id());
            QVERIFY(f.workspace->writingCards().contains(f.otherSnip));
            f.rig.context().failNextSave(StoreError{QStringLiteral("The disk is full.")});
            QVERIFY(!scope.saveOrUndo());
        }
        const QList<QUuid> referenced = f.workspace->writingDocument().referencedCardIDs();
        QList<CanvasCard *> expected;
        for (CanvasCard *card : f.library->cards()) {
            if (card->isLive() && (card->boardID() == f.note->id() || referenced.contains(card->id())))
                expected.append(card);
        }
        QVERIFY2(f.workspace->writingCards() == expected, qPrintable(step));
        // A page made now finds the note's cards through the library's
        // groups of cards and the cards written since they were counted.
        BoardCanvasModel made(*f.library, f.rig.navigation(), f.note->id());
        expected.removeIf([&](const CanvasCard *card) { return card->boardID() != f.note->id(); });
        QVERIFY2(made.boardCards() == expected, qPrintable(step));
        QVERIFY2(made.writingCards() == expected, qPrintable(step));
    }
}

QTEST_MAIN(BoardCanvasModelTest)
#include "tst_boardcanvasmodel.moc"

#include "../support/PngBytes.h"
#include "../support/RuntimeRig.h"

#include "runtime/CapturePipeline.h"
#include "model/AnnotationDocument.h"
#include "model/TessalineStore.h"
#include "model/ThinkingSessionService.h"
#include "platform/PngEncoder.h"
#include "platform/UuidText.h"
#include "runtime/ImageExportService.h"
#include "runtime/SnipPictureReading.h"

#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTimer>

using namespace tessaline;
using namespace tessaline::testing;

namespace {

// What happens between a capture and the app's next start.
enum class Interlude { appEnds, recognised, notIndexed, deletedForGood, pictureUnreadable, olderLibrary };

// Runs statements on the library file through a connection of the test's
// own, as another process (or the state a crash leaves) would; answers the
// number the last one selects.
qint64 onLibrary(const QString &file, const QStringList &statements)
{
    const QString name = QStringLiteral("test-library-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    qint64 answer = -1;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(file);
        if (db.open()) {
            QSqlQuery query(db);
            for (const QString &statement : statements) {
                if (!query.exec(statement))
                    qWarning() << statement << query.lastError().text();
                if (query.next())
                    answer = query.value(0).toLongLong();
                query.finish();
            }
        }
    }
    QSqlDatabase::removeDatabase(name);
    return answer;
}

qint64 pendingMarks(const QString &file)
{
    return onLibrary(file, {QStringLiteral("SELECT COUNT(*) FROM TextRecognitionPending")});
}

} // namespace

Q_DECLARE_METATYPE(Interlude)

class AppRuntimeTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void firstStartSeedsAndActivatesTheWelcomeNote();
    void activeNoteRepair_data();
    void activeNoteRepair();
    void failedHotKeysLeaveStartToRunAgain();
    void libraryThatCanOnlyBeReadStartsForReading();
    void regionCaptureBecomesASnip();
    void reviewOrToast_data();
    void reviewOrToast();
    void captureIntoATrashedNoteLandsInQuickCaptures();
    void capturesStoreTheirEarlyPngOnlyForTheirOwnPicture_data();
    void capturesStoreTheirEarlyPngOnlyForTheirOwnPicture();
    void capturesAreStoredInArrivalOrderIntoTheirNotes();
    void capturesUnderWayAreStoredBeforeTheAppEnds();
    void failedCaptureSaveLeavesNothingBehind_data();
    void failedCaptureSaveLeavesNothingBehind();
    void copyOutcomeDecidesLastCopiedCard();
    void recognitionSkipsTrashedCardsAndOutlivedRuntimes();
    void cardDeletedForGoodWhileIndexedStaysOutOfTheIndex();
    void redactionKeptWhileTextIsIndexedKeepsItsWordsOutOfTheIndex();
    void entriesOfCardsDeletedForGoodLeaveTheIndexAtTheNextStart();
    void snipsOfALibraryRestoredWithoutItsIndexAreIndexedAtStart();
    void capturesAreReadOneAtATimeFromTheLibrary();
    void recognitionOwedWhenTheAppEndsIsDoneAtItsNextStart_data();
    void recognitionOwedWhenTheAppEndsIsDoneAtItsNextStart();
    void restoredSnipWhoseTextIsOwedIsReadAtOnce_data();
    void restoredSnipWhoseTextIsOwedIsReadAtOnce();
    void behaviourSettersWriteBothKeys();
    void reminders();
    void screenRecordingSettingsAndRelaunch();
    void annotatedCopy();
};

void AppRuntimeTest::firstStartSeedsAndActivatesTheWelcomeNote()
{
    Rig rig;
    QVERIFY(!rig.runtime->isUIReady());
    rig.runtime->start();
    QVERIFY(!rig.runtime->errorMessage());
    QVERIFY(rig.runtime->isUIReady() && rig.runtime->isStarted());
    const auto boards = *rig.context().fetchBoards();
    QCOMPARE(boards.size(), 2);
    QCOMPARE(rig.runtime->navigation().activeBoardID(), std::optional(boards[1]->id()));
    QCOMPARE(boards[1]->title(), QStringLiteral("Welcome to Tessaline"));
    QVERIFY(rig.runtime->captureCoordinator().hotKeysAreActive());
    QVERIFY(rig.defaults->contains("activeBoardID"));

    // A second start does nothing at all.
    QSignalSpy started(rig.runtime.get(), &AppRuntime::startedChanged);
    rig.runtime->start();
    QCOMPARE(started.count(), 0);
    QCOMPARE(rig.context().fetchBoards()->size(), 2);
}

void AppRuntimeTest::activeNoteRepair_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("expected");
    QTest::newRow("trashed note stays active") << "trashed" << "trashed";
    QTest::newRow("parked note stays active") << "parked" << "parked";
    QTest::newRow("unknown id replaced by newest live note") << "unknown" << "recent";
    QTest::newRow("nothing stored") << "none" << "recent";
}

void AppRuntimeTest::activeNoteRepair()
{
    QFETCH(QString, stored);
    QFETCH(QString, expected);
    Rig rig;
    ModelContext &context = rig.context();
    QHash<QString, Board *> notes;
    for (const QString &name : QStringList{"old", "recent", "trashed", "parked"}) {
        auto *board = new Board;
        board->setTitle(name);
        board->setLastOpenedAt(at(name == u"recent" ? 50 : name == u"old" ? 10 : 90));
        context.insert(board);
        notes[name] = board;
    }
    notes["trashed"]->moveToTrash(at(1));
    notes["parked"]->setStatus(BoardStatus::parked, at(1));
    QVERIFY(context.save());
    if (stored == u"unknown")
        rig.runtime->navigation().setActiveBoardID(QUuid::createUuid());
    else if (stored != u"none")
        rig.runtime->navigation().setActiveBoardID(notes[stored]->id());

    rig.runtime->start();
    QCOMPARE(rig.runtime->navigation().activeBoardID(), std::optional(notes[expected]->id()));
}

void AppRuntimeTest::failedHotKeysLeaveStartToRunAgain()
{
    Rig rig;
    rig.runtime->navigation().setRemindersEnabled(true);
    rig.hotKeys->takenKeyCodes[21] = HotKeyStatus::alreadyTaken; // the default capture key is taken
    rig.runtime->start();
    QVERIFY(rig.runtime->isUIReady());
    QVERIFY(!rig.runtime->isStarted());
    QVERIFY(rig.runtime->errorMessage());
    QVERIFY(!rig.runtime->errorMessage()->isEmpty());
    QCOMPARE(rig.reminderRequests, QList<bool>()); // the start stopped before the reminder

    // Shortcuts that register complete the start, the reminder's renewal
    // included (no later start runs to do it), once.
    rig.hotKeys->takenKeyCodes.clear();
    GlobalShortcutConfiguration other = rig.runtime->shortcutConfiguration();
    other.capture = GlobalShortcut{5, GlobalShortcutModifiers::command() | GlobalShortcutModifiers::control()};
    QVERIFY(rig.runtime->updateShortcutConfiguration(other));
    QVERIFY(rig.runtime->isStarted());
    QCOMPARE(rig.runtime->shortcutConfiguration(), other);
    QCOMPARE(rig.reminderRequests, QList<bool>{true});
    other.capture = GlobalShortcut{6, GlobalShortcutModifiers::command() | GlobalShortcutModifiers::control()};
    QVERIFY(rig.runtime->updateShortcutConfiguration(other));
    rig.runtime->start();
    QCOMPARE(rig.reminderRequests, QList<bool>{true});

    // A desktop that binds the keys later and then says no is heard of the
    // same way, in the window's alert.
    rig.runtime->setErrorMessage(std::nullopt);
    rig.hotKeys->refuseLater({HotKeyID{GlobalHotKeyManager::signature, quint32(GlobalHotKeyAction::quickThought)}});
    QCOMPARE(rig.runtime->errorMessage(),
             std::optional(QStringLiteral("The desktop did not allow the Quick Note shortcut. Your previous shortcut is still active.")));

    // Refused after a change it had taken, the keys it bound before come
    // back, shown and kept, and the message holds true.
    rig.hotKeys->answersLater = true;
    const GlobalShortcutConfiguration bound = rig.runtime->shortcutConfiguration();
    other.capture = GlobalShortcut{7, GlobalShortcutModifiers::command() | GlobalShortcutModifiers::control()};
    QVERIFY(rig.runtime->updateShortcutConfiguration(other));
    QSignalSpy shown(rig.runtime.get(), &AppRuntime::shortcutConfigurationChanged);
    rig.hotKeys->refuseLater({HotKeyID{GlobalHotKeyManager::signature, quint32(GlobalHotKeyAction::captureRegion)}},
                             HotKeyStatus::alreadyTaken);
    QCOMPARE(rig.runtime->shortcutConfiguration(), bound);
    QCOMPARE(shown.count(), 1);
    QCOMPARE(rig.runtime->captureCoordinator().shortcutConfiguration(), bound);
    QCOMPARE(rig.hotKeys->registeredKeyCodes().first(), bound.capture->keyCode);
}

// Nothing can be seeded into a library that can only be read: the app
// starts all the same, shows what is there, and a capture is refused with
// the reason instead of being lost unsaid.
void AppRuntimeTest::libraryThatCanOnlyBeReadStartsForReading()
{
    Rig rig(Rig::Library::onDisk);
    const StoreError readOnly{QStringLiteral("The library can only be read.")};
    rig.context().setReadOnly(readOnly);
    rig.runtime->start();
    QVERIFY(rig.runtime->isUIReady());
    QVERIFY(rig.runtime->isStarted());
    QVERIFY(rig.context().fetchBoards()->isEmpty());
    QVERIFY(!rig.context().hasChanges());

    rig.runtime->handleCaptureResult(rig.capture(CaptureMode::region));
    QTRY_VERIFY(rig.runtime->errorMessage());
    QVERIFY2(rig.runtime->errorMessage()->contains(readOnly.message), qPrintable(*rig.runtime->errorMessage()));
    QVERIFY(rig.context().fetchCards()->isEmpty());
}

void AppRuntimeTest::regionCaptureBecomesASnip()
{
    Rig rig;
    rig.runtime->start();
    Board *note = *ThinkingSessionService(rig.context()).resolveNote(rig.runtime->navigation().activeBoardID(), at(0));
    const QUuid anchor = note->writingDocument().blocks.first().id;
    rig.runtime->navigation().setActiveWritingAnchorID(anchor);

    const auto cardID = rig.handle(rig.capture(CaptureMode::region));
    QVERIFY(cardID);
    CanvasCard *card = rig.card(*cardID);
    QVERIFY(card);
    QCOMPARE(card->boardID(), note->id());
    QVERIFY(card->isSnip());
    QCOMPARE(card->captureModeRawValue(), std::optional<QString>("region"));
    QCOMPARE(card->sourceWindowTitle(), std::optional<QString>("notes.txt"));
    QCOMPARE(card->createdAt(), at(100));
    QCOMPARE(card->capturedAt(), std::optional(at(100)));
    QCOMPARE(QImage::fromData(*card->originalImageData()).size(), QSize(40, 30));
    // The reference stands right after the anchor paragraph.
    const auto blocks = note->writingDocument().blocks;
    QCOMPARE(blocks[0].id, anchor);
    QCOMPARE(blocks[1].cardID, std::optional(*cardID));
    QCOMPARE(note->updatedAt(), at(100));
    QCOMPARE(rig.runtime->navigation().selectedCardIDs(), QSet<QUuid>{*cardID});
    QCOMPARE(rig.pasteboard.types, (QStringList{"image/png", "image/tiff"}));
    QCOMPARE(rig.runtime->lastAutomaticallyCopiedCardID(), cardID);
    QCOMPARE(rig.runtime->navigation().captureReviewCardID(), cardID);
    QVERIFY(rig.windowing.toasts.isEmpty());
    QCOMPARE(rig.windowing.toastsClosed, 1);
    QVERIFY(!rig.context().hasChanges());

    // Recognised text is stored, then indexed under the note's name.
    QSignalSpy applied(&rig.runtime->capturePipeline(), &CapturePipeline::recognitionApplied);
    rig.ocr->answer(QStringLiteral("Hello from the screen"));
    QVERIFY(applied.wait(5000));
    QCOMPARE(card->ocrText(), QStringLiteral("Hello from the screen"));
    QCOMPARE(rig.indexed.size(), 1);
    QCOMPARE(rig.indexed.first().uniqueIdentifier, uuidText(*cardID));
    QVERIFY(rig.indexed.first().keywords.contains(note->title()));
}

void AppRuntimeTest::reviewOrToast_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("situation");
    QTest::addColumn<bool>("review");
    QTest::newRow("region") << int(CaptureMode::region) << "" << true;
    QTest::newRow("window") << int(CaptureMode::window) << "" << false;
    QTest::newRow("display") << int(CaptureMode::display) << "" << false;
    QTest::newRow("preference off") << int(CaptureMode::region) << "off" << false;
    QTest::newRow("card focused") << int(CaptureMode::region) << "focused" << false;
    QTest::newRow("gallery open") << int(CaptureMode::region) << "gallery" << false;
    QTest::newRow("review open") << int(CaptureMode::region) << "review" << false;
    QTest::newRow("quick note up") << int(CaptureMode::region) << "quick" << false;
    QTest::newRow("a sheet is open") << int(CaptureMode::region) << "sheet" << false;
    QTest::newRow("turned off before the review's turn") << int(CaptureMode::region) << "late-off" << false;
}

void AppRuntimeTest::reviewOrToast()
{
    QFETCH(int, mode);
    QFETCH(QString, situation);
    QFETCH(bool, review);
    Rig rig;
    rig.runtime->start();
    NavigationState &navigation = rig.runtime->navigation();
    const QUuid other = QUuid::createUuid();
    if (situation == u"off")
        rig.runtime->setAutomaticallyOpensRegionCaptureReview(false);
    else if (situation == u"focused")
        navigation.setFocusedCardID(other);
    else if (situation == u"gallery")
        navigation.setGalleryCardID(other);
    else if (situation == u"review")
        navigation.setCaptureReviewCardID(other);
    else if (situation == u"quick")
        navigation.setQuickThoughtPresented(true);
    else if (situation == u"sheet")
        rig.windowing.sheetOpen = true;
    else if (situation == u"late-off")
        connect(rig.runtime.get(), &AppRuntime::captureHandled, this,
                [&] { rig.runtime->setAutomaticallyOpensRegionCaptureReview(false); });

    const auto cardID = rig.handle(rig.capture(CaptureMode(mode)));
    QVERIFY(cardID);
    QCOMPARE(navigation.captureReviewCardID() == cardID, review);
    QCOMPARE(rig.windowing.toasts, review ? QList<QUuid>{} : QList<QUuid>{*cardID});
}

void AppRuntimeTest::captureIntoATrashedNoteLandsInQuickCaptures()
{
    Rig rig;
    rig.runtime->start();
    Board *active = *ThinkingSessionService(rig.context()).resolveNote(rig.runtime->navigation().activeBoardID(), at(0));
    active->moveToTrash(at(1));
    QVERIFY(rig.context().save());
    const auto cardID = rig.handle(rig.capture(CaptureMode::window));
    Board *inbox = *TessalineStore::quickCapturesNote(rig.context(), at(2));
    QCOMPARE(rig.card(*cardID)->boardID(), inbox->id());
    QVERIFY(inbox->writingDocument().referencedCardIDs().contains(*cardID));
}

void AppRuntimeTest::capturesStoreTheirEarlyPngOnlyForTheirOwnPicture_data()
{
    QTest::addColumn<QString>("picture");
    QTest::addColumn<bool>("early");
    QTest::newRow("the picture it was made of") << "same" << true;
    QTest::newRow("a region of it at its corner") << "corner" << false;
    QTest::newRow("the picture written to since") << "changed" << false;
    QTest::newRow("its encoding came to nothing") << "failed" << false;
}

// A picture grabbed whole comes with a PNG made while it arrived; a region
// cut from it, or a copy written to, shares its pixels or its key, and must
// not be stored under that PNG, nor a capture be lost when it failed.
void AppRuntimeTest::capturesStoreTheirEarlyPngOnlyForTheirOwnPicture()
{
    QFETCH(QString, picture);
    QFETCH(bool, early);
    Rig rig;
    rig.runtime->start();

    QImage whole(96, 64, QImage::Format_RGB32);
    for (int y = 0; y < whole.height(); ++y) {
        for (int x = 0; x < whole.width(); ++x)
            whole.setPixel(x, y, qRgb(x / 8 * 20, y / 4 * 15, (x + y) % 3 * 90));
    }
    // Another compressor's file of the same picture, so it shows which was
    // stored.
    PngEncoderOptions otherOptions;
    otherOptions.compressionLevel = 1;
    const std::optional<QByteArray> earlyFile = picture == u"failed" ? std::nullopt : encodePng(whole, otherOptions);
    QVERIFY(earlyFile != ImageExportService::pngData(whole));

    CaptureResult capture = rig.capture(CaptureMode::display);
    capture.image = whole;
    capture.png = EarlyPng(whole, QtFuture::makeReadyFuture(earlyFile));
    if (picture == u"corner")
        capture.image = QImage(whole.constBits(), 96, 40, whole.bytesPerLine(), whole.format());
    else if (picture == u"changed")
        capture.image.setPixel(5, 5, qRgb(1, 2, 3));

    const auto cardID = rig.handle(capture);
    QVERIFY(cardID);
    const std::optional<QByteArray> stored = rig.card(*cardID)->originalImageData();
    QCOMPARE(stored, early ? earlyFile : ImageExportService::pngData(capture.image));
}

void AppRuntimeTest::capturesAreStoredInArrivalOrderIntoTheirNotes()
{
    Rig rig;
    rig.runtime->start();
    NavigationState &navigation = rig.runtime->navigation();
    Board *first = *ThinkingSessionService(rig.context()).resolveNote(navigation.activeBoardID(), at(0));
    auto *second = new Board;
    second->setTitle(QStringLiteral("Second"));
    rig.context().insert(second);
    QVERIFY(rig.context().save());

    // A large capture whose PNG takes long to encode (noise does not
    // compress), then a tiny one taken after the user switched notes.
    CaptureResult large = rig.capture(CaptureMode::window);
    large.image = noisePicture(QSize(2400, 1600));
    const CaptureResult small = rig.capture(CaptureMode::window);

    QSignalSpy handled(rig.runtime.get(), &AppRuntime::captureHandled);
    rig.runtime->handleCaptureResult(large);
    navigation.setActiveBoardID(second->id());
    rig.runtime->handleCaptureResult(small);
    QTRY_COMPARE_WITH_TIMEOUT(handled.count(), 2, 20000);

    const auto largeID = handled.at(0).first().value<std::optional<QUuid>>();
    const auto smallID = handled.at(1).first().value<std::optional<QUuid>>();
    QVERIFY(largeID && smallID);
    QCOMPARE(QImage::fromData(*rig.card(*largeID)->originalImageData()).size(), large.image.size());
    QCOMPARE(rig.card(*largeID)->boardID(), first->id());
    QVERIFY(first->writingDocument().referencedCardIDs().contains(*largeID));
    QCOMPARE(rig.card(*smallID)->boardID(), second->id());
    QVERIFY(second->writingDocument().referencedCardIDs().contains(*smallID));
    // Store order, toasts and the selection follow arrival.
    const auto cards = *rig.context().fetchCards();
    QVERIFY(cards.indexOf(rig.card(*largeID)) < cards.indexOf(rig.card(*smallID)));
    QCOMPARE(rig.windowing.toasts, (QList<QUuid>{*largeID, *smallID}));
    QCOMPARE(navigation.selectedCardIDs(), QSet<QUuid>{*smallID});
}

void AppRuntimeTest::capturesUnderWayAreStoredBeforeTheAppEnds()
{
    QTemporaryDir libraryDirectory;
    Rig rig(Rig::Library::onDisk, libraryDirectory.path());
    rig.runtime->start();
    QVERIFY(rig.runtime->finishStoringCaptures(std::chrono::milliseconds(0)));

    // Noise takes a while to encode: still under way when the app is told
    // to end, a turn of the event loop after it was taken.
    CaptureResult capture = rig.capture(CaptureMode::display);
    capture.image = noisePicture(QSize(1600, 1200));
    const QString file = rig.context().filePath();
    const QString stored = QStringLiteral("SELECT COUNT(*) FROM CanvasCard JOIN CanvasCardData ON cardRow = row");
    rig.runtime->handleCaptureResult(capture);
    QVERIFY(!rig.runtime->finishStoringCaptures(std::chrono::milliseconds(0)));
    QCOMPARE(onLibrary(file, {stored}), 0);

    QVERIFY(rig.runtime->finishStoringCaptures(std::chrono::seconds(30)));
    QCOMPARE(onLibrary(file, {stored}), 1);
}

void AppRuntimeTest::failedCaptureSaveLeavesNothingBehind_data()
{
    QTest::addColumn<bool>("onDisk");
    QTest::addColumn<bool>("pictureWriteFails");
    QTest::newRow("card save fails") << false << false;
    // In a library file the picture is written ahead, off the main thread.
    QTest::newRow("card save fails after its picture is written") << true << false;
    QTest::newRow("picture write fails") << true << true;
}

// A capture whose save fails is gone for good: a later, unrelated save must
// not store it half-made, and edits waiting elsewhere are left alone.
void AppRuntimeTest::failedCaptureSaveLeavesNothingBehind()
{
    QFETCH(bool, onDisk);
    QFETCH(bool, pictureWriteFails);
    Rig rig(onDisk ? Rig::Library::onDisk : Rig::Library::inMemory);
    rig.runtime->start();
    Board *note = *ThinkingSessionService(rig.context()).resolveNote(rig.runtime->navigation().activeBoardID(), at(0));
    const QList<QUuid> referencesBefore = note->writingDocument().referencedCardIDs();
    const qsizetype cardsBefore = rig.context().fetchCards()->size();
    note->setFocusQuestion(QStringLiteral("typed but not yet saved"));

    const StoreError diskFull{QStringLiteral("disk full")};
    if (pictureWriteFails)
        rig.context().failNextStaging(diskFull);
    else
        rig.context().failNextSave(diskFull);
    QVERIFY(!rig.handle(rig.capture(CaptureMode::window)));
    QCOMPARE(rig.runtime->errorMessage(), std::optional<QString>(QStringLiteral("disk full")));
    QCOMPARE(rig.context().fetchCards()->size(), cardsBefore);
    QCOMPARE(note->writingDocument().referencedCardIDs(), referencesBefore);
    QCOMPARE(note->focusQuestion(), std::optional<QString>(QStringLiteral("typed but not yet saved")));

    QVERIFY(rig.context().save());
    rig.context().rollback();
    QCOMPARE(rig.context().fetchCards()->size(), cardsBefore);
    QCOMPARE(note->writingDocument().referencedCardIDs(), referencesBefore);
    if (!onDisk)
        return;

    // No picture is left in the file without its card, and the next
    // capture is stored whole: read back from the file, not from memory.
    const QString path = rig.runtime->modelContainer().filePath();
    auto storedPictures = [&] {
        int count = -1;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("check"));
            db.setDatabaseName(path);
            QSqlQuery query(db);
            if (db.open() && query.exec(QStringLiteral("SELECT COUNT(*) FROM CanvasCardData")) && query.next())
                count = query.value(0).toInt();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("check"));
        return count;
    };
    QTRY_COMPARE(storedPictures(), 0);
    const auto cardID = rig.handle(rig.capture(CaptureMode::window));
    QVERIFY(cardID);
    QCOMPARE(storedPictures(), 1);
    ModelContainer::Configuration configuration;
    configuration.directory = QFileInfo(path).path();
    auto reopened = ModelContainer::open(configuration);
    QVERIFY(reopened);
    const auto cards = *(*reopened)->mainContext()->fetchCards();
    const auto card = std::find_if(cards.cbegin(), cards.cend(), [&](CanvasCard *c) { return c->id() == *cardID; });
    QVERIFY(card != cards.cend());
    QCOMPARE(QImage::fromData(*(*card)->originalImageData()).size(), QSize(40, 30));
}

void AppRuntimeTest::copyOutcomeDecidesLastCopiedCard()
{
    Rig rig;
    rig.runtime->start();
    QVERIFY(rig.handle(rig.capture(CaptureMode::window)));
    QVERIFY(rig.runtime->lastAutomaticallyCopiedCardID());

    rig.pasteboard.failWrites = true;
    QVERIFY(rig.handle(rig.capture(CaptureMode::window)));
    QVERIFY(!rig.runtime->lastAutomaticallyCopiedCardID());
    QVERIFY(rig.pasteboard.types.isEmpty()); // nothing half-written is left

    rig.pasteboard.failWrites = false;
    rig.runtime->setAutomaticallyCopiesCaptures(false);
    QVERIFY(rig.handle(rig.capture(CaptureMode::window)));
    QVERIFY(!rig.runtime->lastAutomaticallyCopiedCardID());
}

void AppRuntimeTest::recognitionSkipsTrashedCardsAndOutlivedRuntimes()
{
    Rig rig;
    rig.runtime->start();
    const auto cardID = rig.handle(rig.capture(CaptureMode::window));
    const auto laterID = rig.handle(rig.capture(CaptureMode::window));
    CanvasCard *card = rig.card(*cardID);
    QVERIFY(ThinkingSessionService(rig.context()).moveCardToTrash(card, at(200)));
    QSignalSpy applied(&rig.runtime->capturePipeline(), &CapturePipeline::recognitionApplied);
    // The first snip was being read when it was trashed; the later one is
    // asked for once that answer is in.
    QTRY_COMPARE(rig.ocr->pending.size(), 1);
    rig.ocr->answer(QStringLiteral("secret"));
    QTRY_COMPARE(rig.ocr->pending.size(), 1);
    rig.ocr->answer(QStringLiteral("later"));
    QVERIFY(applied.wait(5000));
    QCOMPARE(applied.constFirst().constFirst().toUuid(), *laterID);
    QCOMPARE(card->ocrText(), QString());
    QCOMPARE(rig.indexed.size(), 1);
    QCOMPARE(rig.indexed.constFirst().uniqueIdentifier, uuidText(*laterID));

    // The runtime is gone when the answer comes: nothing happens, no crash.
    QVERIFY(rig.handle(rig.capture(CaptureMode::window)));
    QTRY_COMPARE(rig.ocr->pending.size(), 1);
    rig.runtime.reset();
    rig.ocr->answer(QStringLiteral("late"));
    QCoreApplication::sendPostedEvents(); // where a delivered answer would arrive
    QCOMPARE(rig.indexed.size(), 1);
}

// The text is stored, and the picture is being read for the index entry,
// when the card is deleted for good (its entry removed): the entry must
// not come back once the picture is there.
void AppRuntimeTest::cardDeletedForGoodWhileIndexedStaysOutOfTheIndex()
{
    Rig rig;
    rig.runtime->start();
    const auto cardID = rig.handle(rig.capture(CaptureMode::window));
    QVERIFY(cardID);
    QTRY_COMPARE(rig.ocr->pending.size(), 1);
    auto textStored = std::make_shared<QMetaObject::Connection>();
    *textStored = connect(&rig.context(), &ModelContext::didSave, rig.runtime.get(), [&rig, cardID, textStored] {
        QObject::disconnect(*textStored);
        QVERIFY(rig.card(*cardID)->ocrText() == QStringLiteral("secret"));
        // Next turn, as a click in Recently Deleted would come, and as it
        // deletes: the card, then its entry.
        QTimer::singleShot(0, rig.runtime.get(), [&rig, cardID] {
            rig.context().remove(rig.card(*cardID));
            QVERIFY(rig.context().save());
            (void)rig.runtime->desktopSearchIndex()->remove(*cardID, rig.runtime.get());
        });
    });
    rig.ocr->answer(QStringLiteral("secret"));
    QTRY_VERIFY(!rig.card(*cardID));

    // A later snip's entry, written by the same worker in turn, is the
    // only one held: the deleted snip's, if written before it went, was
    // taken out and never written again.
    QSignalSpy applied(&rig.runtime->capturePipeline(), &CapturePipeline::recognitionApplied);
    const auto laterID = rig.handle(rig.capture(CaptureMode::window));
    QTRY_COMPARE(rig.ocr->pending.size(), 1);
    rig.ocr->answer(QStringLiteral("later"));
    QVERIFY(applied.wait(5000));
    QCOMPARE(rig.index.held(), QStringList{uuidText(*laterID)});
    QVERIFY(rig.index.broughtBack.isEmpty());
}

// The words read from a snip go to the index once its picture is at hand
// for the entry; a pixelation kept in that while hides words the entry must
// not bring back, whether or not the picture is ever read again.
void AppRuntimeTest::redactionKeptWhileTextIsIndexedKeepsItsWordsOutOfTheIndex()
{
    Rig rig;
    rig.runtime->start();
    const auto cardID = rig.handle(rig.capture(CaptureMode::window));
    QVERIFY(cardID);
    QTRY_COMPARE(rig.ocr->pending.size(), 1);
    AnnotationItem pixelation;
    pixelation.id = QUuid::createUuid();
    pixelation.tool = AnnotationTool::pixelate;
    pixelation.points = {NormalizedPoint{0, 0}, NormalizedPoint{1, 1}};
    const QByteArray hidden = *AnnotationDocument{2, {pixelation}}.encode();
    auto textStored = std::make_shared<QMetaObject::Connection>();
    *textStored = connect(&rig.context(), &ModelContext::didSave, rig.runtime.get(), [&rig, cardID, hidden, textStored] {
        QObject::disconnect(*textStored);
        QCOMPARE(rig.card(*cardID)->ocrText(), QStringLiteral("secret"));
        // Next turn, as the review's Keep would come: the whole picture
        // pixelated, stored, and the picture given to be read again.
        QTimer::singleShot(0, rig.runtime.get(), [&rig, cardID, hidden] {
            CanvasCard *card = rig.card(*cardID);
            const std::optional<QByteArray> previous = card->annotationDocumentData();
            card->setAnnotationDocumentData(hidden);
            QVERIFY(rig.runtime->capturePipeline().prepareAnnotationChange(*card, previous, QSize(40, 30)));
            QVERIFY(rig.context().save());
            QImage picture(40, 30, QImage::Format_RGB32);
            picture.fill(Qt::darkCyan);
            rig.runtime->capturePipeline().recognizeTextAgain(*cardID, picture);
        });
    });
    QSignalSpy applied(&rig.runtime->capturePipeline(), &CapturePipeline::recognitionApplied);
    rig.ocr->answer(QStringLiteral("secret"));
    // The second reading never answers, as when the app ends first: the
    // entry written after the redaction and the one the first reading
    // started are in, neither with the hidden words.
    QTRY_COMPARE(rig.ocr->pending.size(), 1);
    QTRY_COMPARE(applied.size(), 1);
    QCOMPARE(rig.indexed.size(), 2);
    const std::optional<SearchableItem> entry = rig.index.latest(uuidText(*cardID));
    QVERIFY(entry);
    QVERIFY2(!entry->contentDescription.contains(QStringLiteral("secret")), qPrintable(entry->contentDescription));
    QVERIFY2(!entry->title.contains(QStringLiteral("secret")), qPrintable(entry->title));
    QVERIFY(!entry->thumbnailData);
    // The first reading's end does not settle the one the redaction asked
    // for: the words left visible are read at the next start.
    QCOMPARE(*rig.context().textRecognitionsPending(), QList<QUuid>{*cardID});
}

// A snip deleted for good whose entry was never taken out of the index (the
// app ended before the index's worker got to it, or the index could not be
// written then) leaves it at the next start; the entries of live and
// trashed snips, and any the app did not make, stay.
void AppRuntimeTest::entriesOfCardsDeletedForGoodLeaveTheIndexAtTheNextStart()
{
    Rig rig;
    const Board *note = addNote(rig.context(), {});
    const CanvasCard *live = addCard(rig.context(), note->id(), {});
    CanvasCard *trashed = addCard(rig.context(), note->id(), {});
    trashed->moveToTrash(at(50));
    QVERIFY(rig.context().save());
    const QString gone = uuidText(QUuid::createUuid());
    const QStringList stay{uuidText(live->id()), uuidText(trashed->id()), QStringLiteral("not-a-card")};
    for (const QString &identifier : stay + QStringList{gone})
        rig.index.indexed << SearchableItem{identifier, QStringLiteral("test.domain"), QStringLiteral("Password"),
                                            QStringLiteral("hunter2"), {}, {}, QByteArray("png")};
    // The live snip was filed here from a note since deleted for good, whose
    // name its entry still carries; the trashed one's names its note.
    rig.index.indexed.first().keywords = {QStringLiteral("Salary talks"), QStringLiteral("Firefox")};
    rig.index.indexed[1].keywords = {note->title(), QStringLiteral("Firefox")};
    const qsizetype written = rig.index.indexed.size();

    rig.runtime->start();
    QTRY_COMPARE(rig.index.removedNow(), QStringList{gone});
    RecordingIndex held(&rig.index);
    QCOMPARE(*held.itemIdentifiers(), stay);
    QTRY_COMPARE(held.item(stay.first())->keywords, (QStringList{note->title(), QStringLiteral("Firefox")}));
    QCOMPARE(held.item(stay.first())->contentDescription, QStringLiteral("hunter2"));
    QCOMPARE(rig.index.indexed.size(), written + 1);
}

// A library restored from a backup without the index file beside it: its
// live snips get their entries at the next start, each with its words and
// its picture read back from the file, unless its annotations hide part of
// it; trashed snips and thoughts, never indexed, stay out.
void AppRuntimeTest::snipsOfALibraryRestoredWithoutItsIndexAreIndexedAtStart()
{
    Rig before(Rig::Library::onDisk);
    const Board *note = addNote(before.context(), {});
    AnnotationItem pixelation;
    pixelation.id = QUuid::createUuid();
    pixelation.tool = AnnotationTool::pixelate;
    pixelation.points = {NormalizedPoint{0, 0}, NormalizedPoint{1, 1}};
    const QByteArray picture("picture bytes");
    const std::optional<QByteArray> annotations[] = {std::nullopt, std::nullopt,
                                                     *AnnotationDocument{2, {pixelation}}.encode()};
    QStringList restored;
    for (int i = 0; i < 3; ++i) {
        CanvasCard *snip = addCard(before.context(), note->id(), {.image = picture, .annotations = annotations[i]});
        snip->setOcrText(QStringLiteral("Snip %1\nits words").arg(i));
        restored.append(uuidText(snip->id()));
    }
    addCard(before.context(), note->id(), {})->moveToTrash(at(50));
    addCard(before.context(), note->id(), {.kind = CardKind::thought});
    QVERIFY(before.context().save());

    // Started again over that library, its texts not read yet, with an
    // index that kept one entry.
    Rig rig(Rig::Library::onDisk, before.dir.path());
    rig.index.indexed << SearchableItem{restored[0], QStringLiteral("test.domain"), QStringLiteral("Snip 0"),
                                        QStringLiteral("Snip 0\n\nits words"), {}, {}, {}};
    rig.runtime->start();
    for (int i = 1; i < 3; ++i) {
        QTRY_VERIFY(rig.index.latest(restored[i]));
        const SearchableItem entry = *rig.index.latest(restored[i]);
        QCOMPARE(entry.title, QStringLiteral("Snip %1").arg(i));
        QCOMPARE(entry.contentDescription, QStringLiteral("Snip %1\nits words").arg(i));
        QCOMPARE(entry.thumbnailData, i == 1 ? std::optional<QByteArray>(picture) : std::nullopt);
    }
    QStringList held = rig.index.held();
    held.sort();
    restored.sort();
    QCOMPARE(held, restored);
    // Read for the index, not kept by the library's cards.
    const auto cards = rig.context().fetchCards();
    QVERIFY(cards);
    for (const CanvasCard *card : *cards)
        QVERIFY(card->unreadTextsRow() > 0);
}

void AppRuntimeTest::capturesAreReadOneAtATimeFromTheLibrary()
{
    // On disk, so every picture is read back from the library file.
    Rig rig(Rig::Library::onDisk);
    rig.runtime->start();
    QList<QUuid> ids;
    for (int i = 0; i < 4; ++i) {
        CaptureResult result = rig.capture(CaptureMode::window);
        result.image = QImage(40 + 10 * i, 30, QImage::Format_RGB32);
        result.image.fill(Qt::darkCyan);
        const auto id = rig.handle(result);
        QVERIFY(id);
        ids.append(*id);
    }
    // A burst waits as cards: one picture at a time is with recognition.
    QTRY_COMPARE(rig.ocr->pending.size(), 1);
    // One trashed before its turn is never read, and holds up nothing.
    QVERIFY(ThinkingSessionService(rig.context()).moveCardToTrash(rig.card(ids[2]), at(200)));
    QSignalSpy applied(&rig.runtime->capturePipeline(), &CapturePipeline::recognitionApplied);
    for (const int i : {0, 1, 3}) {
        QTRY_COMPARE(rig.ocr->pending.size(), 1);
        rig.ocr->answer(QStringLiteral("words of %1").arg(i));
        QTRY_COMPARE(applied.size(), i == 3 ? 3 : i + 1);
        QCOMPARE(applied.constLast().constFirst().toUuid(), ids[i]);
        QCOMPARE(rig.card(ids[i])->ocrText(), QStringLiteral("words of %1").arg(i));
    }
    QCOMPARE(rig.ocr->askedSizes, (QList<QSize>{QSize(40, 30), QSize(50, 30), QSize(70, 30)}));
    QCOMPARE(rig.card(ids[2])->ocrText(), QString());
    QVERIFY(rig.ocr->pending.isEmpty());

    // A large capture, whose PNG takes long to encode (noise).
    CaptureResult large = rig.capture(CaptureMode::window);
    large.image = QImage(2400, 1600, QImage::Format_RGB32);
    quint32 seed = 7;
    for (int y = 0; y < large.image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(large.image.scanLine(y));
        for (int x = 0; x < large.image.width(); ++x) {
            seed = seed * 1664525u + 1013904223u;
            line[x] = 0xff000000u | (seed >> 8);
        }
    }

    // A later capture is read at once: the queue did not stall. Its words,
    // read while another capture is being stored, are saved once that
    // capture's card is.
    const auto later = rig.handle(rig.capture(CaptureMode::window));
    QVERIFY(later);
    QTRY_COMPARE(rig.ocr->pending.size(), 1);
    QCOMPARE(rig.ocr->askedSizes.constLast(), QSize(40, 30));
    const qsizetype cardsBefore = rig.context().fetchCards()->size();
    std::optional<qsizetype> cardsWhenApplied;
    connect(&rig.runtime->capturePipeline(), &CapturePipeline::recognitionApplied, this,
            [&] { cardsWhenApplied = rig.context().fetchCards()->size(); });
    rig.runtime->handleCaptureResult(large);
    rig.ocr->answer(QStringLiteral("later"));
    QTRY_VERIFY_WITH_TIMEOUT(cardsWhenApplied, 20000);
    QCOMPARE(*cardsWhenApplied, cardsBefore + 1);
    QCOMPARE(rig.card(*later)->ocrText(), QStringLiteral("later"));
    QTRY_COMPARE(rig.ocr->pending.size(), 1);
    rig.ocr->answer(QStringLiteral("noise"));
    QTRY_VERIFY(rig.ocr->pending.isEmpty());

    // Nothing is read while a capture is still being stored: a small one,
    // then the large one again.
    const qsizetype askedBefore = rig.ocr->askedSizes.size();
    QList<qsizetype> askedWhenStored;
    connect(rig.runtime.get(), &AppRuntime::captureHandled, this,
            [&] { askedWhenStored << rig.ocr->askedSizes.size() - askedBefore; });
    rig.runtime->handleCaptureResult(rig.capture(CaptureMode::window));
    rig.runtime->handleCaptureResult(large);
    QTRY_COMPARE_WITH_TIMEOUT(askedWhenStored.size(), 2, 20000);
    QCOMPARE(askedWhenStored, (QList<qsizetype>{0, 0}));
    QTRY_COMPARE(rig.ocr->pending.size(), 1);
    QCOMPARE(rig.ocr->askedSizes.constLast(), QSize(40, 30));
}

void AppRuntimeTest::recognitionOwedWhenTheAppEndsIsDoneAtItsNextStart_data()
{
    QTest::addColumn<Interlude>("interlude");
    QTest::addColumn<bool>("readAgain");
    QTest::newRow("app ends before the text is read") << Interlude::appEnds << true;
    QTest::newRow("text read before the app ends") << Interlude::recognised << false;
    QTest::newRow("text read but not indexed before the app ends") << Interlude::notIndexed << true;
    QTest::newRow("snip deleted for good while waiting") << Interlude::deletedForGood << false;
    QTest::newRow("picture that cannot be decoded") << Interlude::pictureUnreadable << false;
    QTest::newRow("library of a version without the marks") << Interlude::olderLibrary << false;
}

void AppRuntimeTest::recognitionOwedWhenTheAppEndsIsDoneAtItsNextStart()
{
    QFETCH(Interlude, interlude);
    QFETCH(bool, readAgain);
    QTemporaryDir libraryDirectory;
    QString file;
    QUuid cardID;
    {
        Rig first(Rig::Library::onDisk, libraryDirectory.path());
        first.runtime->start();
        const auto stored = first.handle(first.capture(CaptureMode::window));
        QVERIFY(stored);
        cardID = *stored;
        file = first.context().filePath();
        // Committed with the card, before anything is read.
        QCOMPARE(pendingMarks(file), 1);
        QTRY_COMPARE(first.ocr->pending.size(), 1);
        if (interlude == Interlude::recognised) {
            QSignalSpy applied(&first.runtime->capturePipeline(), &CapturePipeline::recognitionApplied);
            first.ocr->answer(QStringLiteral("read the first time"));
            QVERIFY(applied.wait(5000));
            QTRY_COMPARE(pendingMarks(file), 0);
        } else if (interlude == Interlude::notIndexed) {
            QSignalSpy applied(&first.runtime->capturePipeline(), &CapturePipeline::recognitionApplied);
            first.index.refusesItems = true;
            first.ocr->answer(QStringLiteral("read the first time"));
            QVERIFY(applied.wait(5000));
            QCOMPARE(pendingMarks(file), 1);
        } else if (interlude == Interlude::deletedForGood) {
            first.context().remove(first.card(cardID));
            QVERIFY(first.context().save());
            QCOMPARE(pendingMarks(file), 0);
        }
        // The runtime and its library go without any step of a quit, as
        // in a crash, whatever is still being read.
    }
    if (interlude == Interlude::pictureUnreadable) {
        onLibrary(file, {QStringLiteral("UPDATE CanvasCardData SET bytes = X'00FF00' WHERE cardRow = "
                                        "(SELECT row FROM CanvasCard WHERE id = '%1')")
                             .arg(uuidText(cardID))});
    } else if (interlude == Interlude::olderLibrary) {
        onLibrary(file, {QStringLiteral("DROP TABLE TextRecognitionPending")});
    }

    Rig second(Rig::Library::onDisk, libraryDirectory.path());
    QSignalSpy applied(&second.runtime->capturePipeline(), &CapturePipeline::recognitionApplied);
    second.runtime->start();
    if (readAgain) {
        QTRY_COMPARE(second.ocr->pending.size(), 1);
        second.ocr->answer(QStringLiteral("read after the restart"));
        QVERIFY(applied.wait(5000));
        QCOMPARE(applied.constFirst().constFirst().toUuid(), cardID);
        // Stored, so the library's search finds it, and in the desktop's index.
        QCOMPARE(onLibrary(file, {QStringLiteral("SELECT COUNT(*) FROM CanvasCard WHERE id = '%1' AND ocrText = "
                                                 "'read after the restart'")
                                      .arg(uuidText(cardID))}),
                 1);
        QCOMPARE(second.indexed.size(), 1);
        QCOMPARE(second.indexed.constFirst().uniqueIdentifier, uuidText(cardID));
        QVERIFY(second.indexed.constFirst().contentDescription.contains(QStringLiteral("read after the restart")));
        QTRY_COMPARE(pendingMarks(file), 0);
    }
    if (interlude == Interlude::recognised)
        QCOMPARE(second.card(cardID)->ocrText(), QStringLiteral("read the first time"));
    if (interlude == Interlude::deletedForGood)
        QVERIFY(!second.card(cardID));

    // A new capture is the next picture read: nothing else was owed, and an
    // undecodable picture gave up its mark rather than be tried at every start.
    CaptureResult later = second.capture(CaptureMode::window);
    later.image = QImage(60, 20, QImage::Format_RGB32);
    later.image.fill(Qt::darkRed);
    const auto laterID = second.handle(later);
    QVERIFY(laterID);
    QTRY_COMPARE(second.ocr->pending.size(), 1);
    QCOMPARE(second.ocr->askedSizes.size(), readAgain ? 2 : 1);
    QCOMPARE(second.ocr->askedSizes.constLast(), QSize(60, 20));
    QCOMPARE(pendingMarks(file), 1);
    second.ocr->answer(QStringLiteral("later"));
    QTRY_COMPARE(applied.size(), readAgain ? 2 : 1);
    QCOMPARE(applied.constLast().constFirst().toUuid(), *laterID);
    QTRY_COMPARE(pendingMarks(file), 0);
}

void AppRuntimeTest::restoredSnipWhoseTextIsOwedIsReadAtOnce_data()
{
    QTest::addColumn<bool>("whileRead");
    QTest::newRow("trashed while waiting its turn") << false;
    QTest::newRow("trashed while its text was read") << true;
}

void AppRuntimeTest::restoredSnipWhoseTextIsOwedIsReadAtOnce()
{
    QFETCH(bool, whileRead);
    Rig rig(Rig::Library::onDisk);
    rig.runtime->start();
    const QString file = rig.context().filePath();
    QSignalSpy applied(&rig.runtime->capturePipeline(), &CapturePipeline::recognitionApplied);
    const auto first = rig.handle(rig.capture(CaptureMode::window));
    const auto second = rig.handle(rig.capture(CaptureMode::window));
    QVERIFY(first && second);
    QTRY_COMPARE(rig.ocr->pending.size(), 1);
    const QUuid trashedID = whileRead ? *first : *second;
    QVERIFY(ThinkingSessionService(rig.context()).moveCardToTrash(rig.card(trashedID), at(200)));
    rig.ocr->answer(QStringLiteral("first"));
    if (whileRead) {
        // The second is asked for once the first one's answer is in.
        QTRY_COMPARE(rig.ocr->pending.size(), 1);
        rig.ocr->answer(QStringLiteral("second"));
    }
    QVERIFY(applied.wait(5000));
    QCOMPARE(applied.constLast().constFirst().toUuid(), whileRead ? *second : *first);
    // The trashed one's text is still owed, and nothing is being read. The
    // read one's mark may go a moment later, should the writer hold the lock.
    QTRY_COMPARE(pendingMarks(file), 1);
    QVERIFY(rig.ocr->pending.isEmpty());
    QCOMPARE(rig.card(trashedID)->ocrText(), QString());

    rig.card(trashedID)->restoreFromTrash(at(300));
    QVERIFY(rig.context().save());
    QTRY_COMPARE(rig.ocr->pending.size(), 1);
    rig.ocr->answer(QStringLiteral("read once restored"));
    QTRY_VERIFY(!applied.isEmpty() && applied.constLast().constFirst().toUuid() == trashedID);
    QCOMPARE(rig.card(trashedID)->ocrText(), QStringLiteral("read once restored"));
    QTRY_COMPARE(pendingMarks(file), 0);
    QVERIFY(rig.ocr->pending.isEmpty());
}

void AppRuntimeTest::behaviourSettersWriteBothKeys()
{
    Rig rig;
    QVERIFY(!rig.defaults->contains("automaticallyOpensRegionCaptureReview"));
    rig.runtime->setAutomaticallyCopiesCaptures(false);
    QCOMPARE(rig.defaults->optionalBoolean("automaticallyOpensRegionCaptureReview"), std::optional(true));
    QCOMPARE(rig.defaults->optionalBoolean("automaticallyCopiesCaptures"), std::optional(false));
    rig.runtime->setAutomaticallyOpensRegionCaptureReview(false);
    QCOMPARE(rig.defaults->optionalBoolean("automaticallyCopiesCaptures"), std::optional(false));
    QCOMPARE(rig.runtime->captureBehaviorPreferences(), (CaptureBehaviorPreferences{false, false}));
}

void AppRuntimeTest::reminders()
{
    Rig rig;
    rig.reminderAnswer = false;
    rig.runtime->setReviewRemindersEnabled(true, true);
    QVERIFY(!rig.runtime->navigation().remindersEnabled());
    QCOMPARE(rig.runtime->errorMessage(),
             std::optional<QString>("Review reminders remain off because notification access is not available."));

    rig.runtime->setErrorMessage(std::nullopt);
    rig.runtime->setReviewRemindersEnabled(false, true); // turning off never complains
    QVERIFY(!rig.runtime->errorMessage());

    rig.reminderAnswer = unexpected(QStringLiteral("no timer"));
    rig.runtime->setReviewRemindersEnabled(true, true);
    QCOMPARE(rig.runtime->errorMessage(), std::optional<QString>("Review reminders could not be scheduled. no timer"));

    // At start-up a wanted reminder is scheduled again without messages.
    rig.runtime->setErrorMessage(std::nullopt);
    rig.runtime->navigation().setRemindersEnabled(true);
    rig.reminderAnswer = true;
    rig.reminderRequests.clear();
    rig.runtime->start();
    QCOMPARE(rig.reminderRequests, QList<bool>{true});
    QVERIFY(rig.runtime->navigation().remindersEnabled());
}

void AppRuntimeTest::screenRecordingSettingsAndRelaunch()
{
    Rig rig;
    rig.runtime->setErrorMessage(QStringLiteral("old"));
    rig.runtime->openScreenRecordingSettings();
    QVERIFY(!rig.runtime->errorMessage());
    QVERIFY(rig.defaults->boolean(ScreenCapturePermissionHistoryStore::hasRequestedAccessKey()));
    QVERIFY(rig.runtime->captureCoordinator().isReturningFromScreenCaptureSettings());

    rig.settingsOpen = false;
    rig.runtime->openScreenRecordingSettings();
    QCOMPARE(rig.runtime->errorMessage(), std::optional<QString>("Open your desktop's privacy settings, then enable Tessaline."));

    // Coming back while access is still missing marks a relaunch as needed.
    rig.permission->access = false;
    rig.runtime->applicationDidBecomeActive();
    QTRY_VERIFY(!rig.runtime->captureCoordinator().isReturningFromScreenCaptureSettings());
    QVERIFY(rig.defaults->boolean(ScreenCapturePermissionHistoryStore::relaunchRecommendedKey()));
    QCOMPARE(rig.runtime->captureCoordinator().permissionState(), ScreenCapturePermissionState::restartRequired);

    rig.launchFailure = QStringLiteral("No such file.");
    rig.runtime->relaunchApplication();
    QCOMPARE(rig.windowing.terminated, 0);
    QCOMPARE(rig.runtime->errorMessage(),
             std::optional<QString>("Tessaline could not reopen automatically. Quit it and open it again. No such file."));
    rig.launchFailure.reset();
    rig.runtime->relaunchApplication();
    QCOMPARE(rig.windowing.terminated, 1);
}

void AppRuntimeTest::annotatedCopy()
{
    Rig rig;
    rig.runtime->start();
    const auto cardID = rig.handle(rig.capture(CaptureMode::window));
    CanvasCard *card = rig.card(*cardID);
    const auto annotated = [](const CanvasCard &drawn) {
        return drawSnipPicture(drawn.originalImageData(), drawn.annotationDocumentData(), SnipPictureDrawing::annotated);
    };
    const auto picture = annotated(*card);
    QVERIFY(picture);

    auto *thought = new CanvasCard;
    rig.context().insert(thought);
    QVERIFY(!annotated(*thought));
    QVERIFY(!rig.runtime->copyCardImage(*thought, QImage(), rig.pasteboard));

    rig.runtime->setAutomaticallyCopiesCaptures(false);
    const auto before = rig.runtime->lastAutomaticallyCopiedCardID();
    QVERIFY(!rig.runtime->copyCardImage(*card, *picture, rig.pasteboard));
    QCOMPARE(rig.runtime->lastAutomaticallyCopiedCardID(), before);
    rig.runtime->setAutomaticallyCopiesCaptures(true);
    QVERIFY(rig.runtime->copyCardImage(*card, *picture, rig.pasteboard));
    QCOMPARE(rig.runtime->lastAutomaticallyCopiedCardID(), cardID);
}

QTEST_MAIN(AppRuntimeTest)
#include "tst_appruntime.moc"

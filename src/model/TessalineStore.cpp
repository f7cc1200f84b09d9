#include "model/TessalineStore.h"

#include "model/ModelChangeScope.h"
#include "model/ModelContext.h"
#include "platform/PlatformTexts.h"
#include "platform/UuidText.h"

#include <QHash>
#include <QSet>

#include <algorithm>

namespace tessaline::TessalineStore {
namespace {

// Fetch and save failures take back what the operation changed, and only that.
template <typename T>
Expected<T, StoreError> failed(ModelChangeScope &scope, const StoreError &error)
{
    scope.undo();
    return unexpected(error);
}

Board *makeQuickCapturesNote(const QDateTime &now)
{
    Board::Init init;
    init.title = QStringLiteral("Quick Captures");
    init.focusQuestion = QStringLiteral("What caught your attention?");
    init.isInbox = true;
    init.sortIndex = -1;
    init.createdAt = init.updatedAt = init.lastOpenedAt = now;
    init.workspaceModeRawValue = QStringLiteral("write");
    init.writingDocument = BoardWritingDocument::empty();
    init.hasCompletedNoteMigration = true;
    return new Board(init);
}

Board *makeWelcomeNote(const QDateTime &now)
{
    Board::Init init;
    init.title = QStringLiteral("Welcome to Tessaline");
    init.createdAt = init.updatedAt = init.lastOpenedAt = now;
    init.workspaceModeRawValue = QStringLiteral("write");
    init.writingDocument.blocks = {
        BoardWritingBlock::paragraph(QStringLiteral("Tessaline is a notes app built around screenshots.")),
        BoardWritingBlock::paragraph(PlatformTexts::welcomeCaptureParagraph()),
        BoardWritingBlock::paragraph(PlatformTexts::welcomeShortcutParagraph()),
    };
    init.hasCompletedNoteMigration = true;
    return new Board(init);
}

QDateTime placementDate(const CanvasCard *card)
{
    return card->capturedAt().value_or(card->createdAt());
}

const QString migrationRecordKey = QStringLiteral("noteMigrationFingerprint");

// Everything the note migration looks at, as one text: equal texts mean the
// migration would come to the same result. Kept when a pass found nothing
// to do, so the passes after it (one at every start, one at every capture
// to the inbox) cost a hash of the notes' text instead of reading every
// note's writing. Its form is the number it starts with: the earlier form
// hashed the writing as UTF-16, which notes no longer keep.
enum class FingerprintForm { utf16Writing = 1, utf8Writing = 2 };

QString migrationFingerprint(const QList<Board *> &boards, const QList<CanvasCard *> &cards,
                             FingerprintForm form = FingerprintForm::utf8Writing)
{
    // A fixed seed: the text is compared with one made by another process.
    constexpr size_t seed = 0x6d696772;
    size_t notes = seed;
    for (const Board *board : boards) {
        if (form == FingerprintForm::utf8Writing) {
            notes = qHashMulti(notes, board->id(), board->title(), board->isInbox(),
                               board->hasCompletedNoteMigration(), board->writingDocumentUtf8());
        } else {
            notes = qHashMulti(notes, board->id(), board->title(), board->isInbox(),
                               board->hasCompletedNoteMigration(), board->writingDocumentStorage());
        }
    }
    size_t liveCards = seed;
    qsizetype liveCount = 0;
    for (const CanvasCard *card : cards) {
        if (card->isLive()) {
            liveCards = qHashMulti(liveCards, card->id(), card->boardID());
            ++liveCount;
        }
    }
    return QStringLiteral("%1 %2 %3 %4 %5")
        .arg(int(form))
        .arg(boards.size())
        .arg(liveCount)
        .arg(quint64(notes), 16, 16, QLatin1Char('0'))
        .arg(quint64(liveCards), 16, 16, QLatin1Char('0'));
}

} // namespace

Expected<std::unique_ptr<ModelContainer>, StoreError> makeModelContainer(
    bool isStoredInMemoryOnly, const std::optional<QString> &cloudSyncContainerIdentifier, const QString &directory)
{
    ModelContainer::Configuration configuration;
    configuration.isStoredInMemoryOnly = isStoredInMemoryOnly;
    configuration.cloudSyncContainerIdentifier = cloudSyncContainerIdentifier;
    configuration.directory = directory;
    // The app's library is this process's alone: two sessions of the same
    // user writing whole rows from memory would each silently drop what the
    // other wrote.
    configuration.holdsLibrary = !isStoredInMemoryOnly;
    return ModelContainer::open(configuration);
}

bool noteCreationOrder(const Board *a, const Board *b)
{
    if (a->createdAt() != b->createdAt())
        return a->createdAt() < b->createdAt();
    return uuidTextLess(a->id(), b->id());
}

bool cardPlacementOrder(const CanvasCard *a, const CanvasCard *b)
{
    const QDateTime dateA = placementDate(a);
    const QDateTime dateB = placementDate(b);
    if (dateA != dateB)
        return dateA < dateB;
    return uuidTextLess(a->id(), b->id());
}

Expected<Board *, StoreError> seedWelcomeNoteIfNeeded(ModelContext &context, const QDateTime &now)
{
    ModelChangeScope scope(context);
    const auto cards = context.fetchCards();
    if (!cards)
        return failed<Board *>(scope, cards.error());
    const auto boards = context.fetchBoards();
    if (!boards)
        return failed<Board *>(scope, boards.error());
    if (!cards->isEmpty() || !boards->isEmpty())
        return static_cast<Board *>(nullptr);

    const auto inbox = quickCapturesNote(context, now);
    if (!inbox)
        return unexpected(inbox.error());

    Board *welcome = makeWelcomeNote(now);
    context.insert(welcome);
    if (auto saved = scope.saveOrUndo(); !saved)
        return unexpected(saved.error());

    const auto migrated = migrateNotes(context, now);
    if (!migrated)
        return unexpected(migrated.error());
    return welcome;
}

Expected<Board *, StoreError> quickCapturesNote(ModelContext &context, const QDateTime &now)
{
    ModelChangeScope scope(context);
    const auto boards = context.fetchBoards();
    if (!boards)
        return failed<Board *>(scope, boards.error());

    Board *inbox = nullptr;
    for (Board *board : *boards) {
        if (board->isInbox() && board->isLive() && (!inbox || noteCreationOrder(board, inbox)))
            inbox = board;
    }
    if (!inbox) {
        inbox = makeQuickCapturesNote(now);
        context.insert(inbox);
        if (auto saved = scope.saveOrUndo(); !saved)
            return unexpected(saved.error());
    }

    const auto migrated = migrateNotes(context, now);
    if (!migrated)
        return unexpected(migrated.error());
    return inbox;
}

Expected<SeededLibrary, StoreError> seedLibrary(ModelContext &context, const QDateTime &now)
{
    // A clash means the other process has finished a save; it is not likely
    // to be repeated more than once or twice.
    constexpr int attempts = 4;
    context.setSavesCheckForOtherWriters(true);
    Expected<SeededLibrary, StoreError> result = unexpected(ModelContext::writtenElsewhere());
    for (int attempt = 0; attempt < attempts; ++attempt) {
        const auto welcome = seedWelcomeNoteIfNeeded(context, now);
        const auto inbox = welcome ? quickCapturesNote(context, now) : unexpected(welcome.error());
        if (welcome && inbox) {
            result = SeededLibrary{*welcome, *inbox};
            break;
        }
        result = unexpected(inbox.error());
        if (!(inbox.error() == ModelContext::writtenElsewhere()))
            break;
        if (auto reread = context.readStoreAgain(); !reread) {
            result = unexpected(reread.error());
            break;
        }
    }
    context.setSavesCheckForOtherWriters(false);
    return result;
}

Expected<NoteMigrationSummary, StoreError> migrateNotes(ModelContext &context, const QDateTime &now)
{
    ModelChangeScope scope(context);
    const auto boards = context.fetchBoards();
    if (!boards)
        return failed<NoteMigrationSummary>(scope, boards.error());
    const auto cards = context.fetchCards();
    if (!cards)
        return failed<NoteMigrationSummary>(scope, cards.error());

    NoteMigrationSummary summary;
    if (boards->isEmpty())
        return summary;
    const std::optional<QString> recorded = context.bookkeepingValue(migrationRecordKey);
    if (recorded && *recorded == migrationFingerprint(*boards, *cards))
        return summary;
    // Recorded by a build that hashed the writing as UTF-16: the same
    // library still gives the same record in that form, and then needs no
    // pass, only its record in the form of now.
    if (recorded && recorded->startsWith(u"1 ")
        && *recorded == migrationFingerprint(*boards, *cards, FingerprintForm::utf16Writing)) {
        (void)context.setBookkeepingValue(migrationRecordKey, migrationFingerprint(*boards, *cards));
        return summary;
    }

    QHash<QUuid, QList<CanvasCard *>> liveCardsByNote;
    for (CanvasCard *card : *cards) {
        if (card->isLive())
            liveCardsByNote[card->boardID()].append(card);
    }

    for (Board *board : *boards) {
        bool changed = false;
        // Text that cannot be read is the user's until they replace it: the
        // start-up pass never writes over it, not even to add references.
        const bool repairsWriting = !board->hasUnreadableWriting();
        if (!repairsWriting)
            summary.unrepairedNoteIDs.append(board->id());
        BoardWritingDocument document{board->normalizedWritingBlocks()};
        const QList<QUuid> referencedList = document.referencedCardIDs();
        QSet<QUuid> referenced(referencedList.cbegin(), referencedList.cend());

        QList<CanvasCard *> noteCards = liveCardsByNote.value(board->id());
        std::sort(noteCards.begin(), noteCards.end(), cardPlacementOrder);
        QList<CanvasCard *> missing;
        for (CanvasCard *card : std::as_const(noteCards)) {
            if (!referenced.contains(card->id())) {
                referenced.insert(card->id());
                missing.append(card);
            }
        }

        if (repairsWriting && (!board->hasCompletedNoteMigration() || !missing.isEmpty())) {
            const QByteArray before = board->writingDocumentUtf8();
            for (CanvasCard *card : std::as_const(missing))
                document.insertCardReference(card->id());
            // The migration is bookkeeping, not an edit: the note keeps its date.
            if (board->updateWritingDocument(document, board->updatedAt())) {
                if (board->writingDocumentUtf8() != before)
                    changed = true;
                if (!board->hasCompletedNoteMigration()) {
                    board->setHasCompletedNoteMigration(true);
                    changed = true;
                }
                summary.insertedReferenceCount += int(missing.size());
            } else {
                summary.unrepairedNoteIDs.append(board->id());
            }
        }

        if (board->isInbox() && board->title() == u"Inbox") {
            board->setTitle(QStringLiteral("Quick Captures"));
            board->setUpdatedAt(now);
            ++summary.retitledInboxCount;
            changed = true;
        }
        if (changed)
            ++summary.changedNoteCount;
    }

    if (summary.changedNoteCount > 0) {
        if (auto saved = scope.saveOrUndo(); !saved)
            return unexpected(saved.error());
    }
    // What a pass leaves, the next would leave as it is; a note it could not
    // repair it would look at again.
    if (summary.unrepairedNoteIDs.isEmpty()) {
        const QString fingerprint = migrationFingerprint(*boards, *cards);
        if (recorded != fingerprint)
            (void)context.setBookkeepingValue(migrationRecordKey, fingerprint);
    }
    return summary;
}

} // namespace tessaline::TessalineStore

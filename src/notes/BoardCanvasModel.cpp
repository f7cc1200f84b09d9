#include "notes/BoardCanvasModel.h"

#include "model/Board.h"
#include "model/CanvasCard.h"
#include "model/Connection.h"
#include "model/FetchedList.h"
#include "model/ModelContext.h"
#include "platform/UuidText.h"
#include "runtime/KeptChanges.h"
#include "runtime/LibraryQuery.h"
#include "runtime/NavigationState.h"

#include <QElapsedTimer>
#include <QSet>
#include <QTimer>

#include <algorithm>
#include <utility>
#include <vector>

namespace tessaline {

namespace {

QString encodingFailureMessage()
{
    return QStringLiteral("The writing could not be stored because it holds text that is not valid Unicode. "
                          "The note keeps what it held before.");
}

QDateTime moment(const CanvasCard &card)
{
    return card.capturedAt().value_or(card.createdAt());
}

qint64 continuousMilliseconds()
{
    static QElapsedTimer clock = [] {
        QElapsedTimer started;
        started.start();
        return started;
    }();
    return clock.elapsed();
}

} // namespace

BoardCanvasModel::BoardCanvasModel(LibraryQuery &library, NavigationState &navigation, const QUuid &boardID,
                                   QObject *parent)
    : QObject(parent)
    , m_library(library)
    , m_navigation(navigation)
    , m_boardID(boardID)
    , m_autosave(new QTimer(this))
    , m_clock([] { return QDateTime::currentDateTimeUtc(); })
    , m_continuousClock([] { return continuousMilliseconds(); })
{
    m_autosave->setSingleShot(true);
    m_autosave->setInterval(autosaveDelayMs);
    m_autosave->setTimerType(Qt::PreciseTimer);
    connect(m_autosave, &QTimer::timeout, this, &BoardCanvasModel::autosave);
    connect(&m_library.context(), &ModelContext::entityWritten, this, [this](PersistentEntity *entity, int property) {
        if (!qobject_cast<CanvasCard *>(entity))
            return;
        ++m_insertSnipRevision;
        // What decides whether a card is offered and where; its texts,
        // place on the map and the rest do not.
        if (property == CanvasCard::IdProperty || property == CanvasCard::BoardIDProperty
            || property == CanvasCard::KindRawValueProperty || property == CanvasCard::CreatedAtProperty
            || property == CanvasCard::CapturedAtProperty || property == CanvasCard::DeletedAtProperty)
            forgetAvailableSnips();
        // What decides whether a card belongs on the page; its texts do not.
        if (property == CanvasCard::IdProperty || property == CanvasCard::BoardIDProperty
            || property == CanvasCard::DeletedAtProperty) {
            if (m_writingCards)
                m_writingCardsWritten.insert(static_cast<CanvasCard *>(entity));
        }
    });
    connect(&m_library.context(), &ModelContext::writesTakenBack, this, [this] {
        ++m_insertSnipRevision;
        forgetAvailableSnips();
        m_writingCards.reset();
    });
    connect(&m_library, &LibraryQuery::changed, this, [this] {
        ++m_insertSnipRevision;
        const bool wasPresent = m_wasPresent;
        watchBoard();
        if (wasPresent != m_wasPresent)
            Q_EMIT boardChanged();
        Q_EMIT cardsChanged();
    });
    connect(&m_library.context(), &ModelContext::didSave, this, [this] {
        // Everything in the library is on disk now, the writing included.
        if (m_watchedBoard)
            m_savedStorage = m_watchedBoard->writingDocumentUtf8();
        m_hasUnsavedWriting = false;
        m_unsavedSince.reset();
    });
    watchBoard();
    if (m_watchedBoard)
        m_savedStorage = m_watchedBoard->writingDocumentUtf8();
}

BoardCanvasModel::~BoardCanvasModel() = default;

void BoardCanvasModel::watchBoard()
{
    Board *found = m_library.firstBoard(m_boardID);
    if (found != m_watchedBoard.data()) {
        if (m_watchedBoard)
            disconnect(m_watchedBoard, nullptr, this, nullptr);
        m_watchedBoard = found;
        if (found)
            connect(found, &Board::changed, this, &BoardCanvasModel::boardPropertyChanged);
    }
    m_wasPresent = board() != nullptr;
}

Board *BoardCanvasModel::board() const
{
    Board *found = m_watchedBoard.data();
    return found && found->isLive() ? found : nullptr;
}

void BoardCanvasModel::boardPropertyChanged(int property)
{
    switch (property) {
    case Board::WritingDocumentStorageProperty:
        storedWritingChanged();
        break;
    case Board::TitleProperty:
    case Board::IsFavoriteProperty:
    case Board::DeletedAtProperty:
        m_wasPresent = board() != nullptr;
        Q_EMIT boardChanged();
        break;
    default:
        break;
    }
}

QList<CanvasCard *> BoardCanvasModel::boardCards() const
{
    const QList<CanvasCard *> &all = m_library.cards();
    QList<CanvasCard *> cards;
    for (qint32 at : m_library.cardPositionsOfNote(m_boardID)) {
        CanvasCard *card = all.at(at);
        if (card->boardID() == m_boardID && card->isLive())
            cards.append(card);
    }
    return cards;
}

QList<CanvasCard *> BoardCanvasModel::writingCards() const
{
    const QList<QUuid> referenced = m_writingDocument.referencedCardIDs();
    const QList<CanvasCard *> &all = m_library.cards();
    const bool extended = extendsFetched(all, m_writingCardsFrom);
    const bool sameReferences = referenced == m_writingCardsReferences;
    if (m_writingCards && extended && sameReferences && all.size() == m_writingCardsFrom.size()
        && m_writingCardsWritten.isEmpty())
        return *m_writingCards;
    const QSet<QUuid> references(referenced.cbegin(), referenced.cend());
    const auto belongs = [&](const CanvasCard &card) {
        return card.isLive() && (card.boardID() == m_boardID || references.contains(card.id()));
    };
    const bool follows = m_writingCards && extended;
    if (!follows)
        m_writingCards.emplace();
    QList<CanvasCard *> &cards = *m_writingCards;
    // Shows or hides a card as it belongs now, keeping the list's order.
    const auto place = [&](CanvasCard *card, qint32 at) {
        const auto found = std::lower_bound(m_writingCardsAt.cbegin(), m_writingCardsAt.cend(), at);
        const qsizetype index = found - m_writingCardsAt.cbegin();
        const bool shown = found != m_writingCardsAt.cend() && *found == at;
        if (belongs(*card) == shown)
            return;
        if (shown) {
            cards.removeAt(index);
            m_writingCardsAt.removeAt(index);
        } else {
            cards.insert(index, card);
            m_writingCardsAt.insert(index, at);
        }
    };
    if (follows) {
        for (qsizetype at = m_writingCardsFrom.size(); at < all.size(); ++at) {
            if (belongs(*all.at(at))) {
                cards.append(all.at(at));
                m_writingCardsAt.append(qint32(at));
            }
        }
        if (!sameReferences) {
            // The cards of references that came and went, found by their ids
            // (a capture added to the note's writing).
            const QSet<QUuid> before(m_writingCardsReferences.cbegin(), m_writingCardsReferences.cend());
            for (qint32 at : m_library.cardPositions(references - before))
                place(all.at(at), at);
            const QSet<QUuid> gone = before - references;
            for (qsizetype index = cards.size() - 1; index >= 0; --index) {
                if (gone.contains(cards.at(index)->id()))
                    place(cards.at(index), m_writingCardsAt.at(index));
            }
        }
        for (CanvasCard *card : std::as_const(m_writingCardsWritten)) {
            // One not listed yet comes with the list that adds it.
            if (const qsizetype at = all.indexOf(card); at >= 0)
                place(card, qint32(at));
        }
    } else {
        // The note's cards as the library groups them and the cards its
        // references name, instead of a walk over every card of the library.
        // A long note refers mostly to its own cards, found by their places
        // already: only the others are looked up by id, as each look-up in
        // the ids of a large library costs a miss of the processor's cache.
        QList<qint32> candidates = m_library.cardPositionsOfNote(m_boardID);
        QSet<QUuid> elsewhere = references;
        if (!elsewhere.isEmpty() && !m_library.cardIDsRepeat()) {
            for (qint32 at : std::as_const(candidates)) {
                const CanvasCard *card = all.at(at);
                if (card->boardID() == m_boardID && card->isLive())
                    elsewhere.remove(card->id());
            }
        }
        if (!elsewhere.isEmpty())
            candidates.append(m_library.cardPositions(elsewhere));
        std::sort(candidates.begin(), candidates.end());
        candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());
        m_writingCardsAt.clear();
        for (qint32 at : std::as_const(candidates)) {
            if (belongs(*all.at(at))) {
                cards.append(all.at(at));
                m_writingCardsAt.append(at);
            }
        }
    }
    m_writingCardsReferences = referenced;
    m_writingCardsFrom = all;
    m_writingCardsWritten.clear();
    return cards;
}

QList<CanvasCard *> BoardCanvasModel::availableSnips() const
{
    if (!m_availableSnips || m_library.cards() != m_availableSnipsFrom)
        workOutAvailableSnips(m_library.cards().size());
    return *m_availableSnips;
}

bool BoardCanvasModel::workOutAvailableSnips(qsizetype cards) const
{
    const QList<CanvasCard *> &all = m_library.cards();
    if (m_availableSnips && all == m_availableSnipsFrom)
        return true;
    if (all != m_snipKeysFrom)
        forgetAvailableSnips();
    m_snipKeysFrom = all;
    // Ordered on keys made once a snip: working out a moment at each
    // comparison made the ordering most of what opening the Insert Snip
    // picker cost.
    const qsizetype end = std::min(all.size(), m_snipKeysNext + std::max<qsizetype>(cards, 1));
    for (qsizetype i = m_snipKeysNext; i < end; ++i) {
        CanvasCard *card = all.at(i);
        if (card->isSnip() && card->isLive())
            m_snipKeys.push_back({card->boardID() == m_boardID, moment(*card).toMSecsSinceEpoch(), card->id(), card});
    }
    m_snipKeysNext = end;
    if (end < all.size())
        return false;
    std::sort(m_snipKeys.begin(), m_snipKeys.end(), [](const SnipKey &a, const SnipKey &b) {
        if (a.here != b.here)
            return a.here;
        if (a.moment != b.moment)
            return a.moment > b.moment;
        return uuidTextLess(a.id, b.id);
    });
    QList<CanvasCard *> snips;
    snips.reserve(qsizetype(m_snipKeys.size()));
    for (const SnipKey &key : m_snipKeys)
        snips.append(key.card);
    forgetAvailableSnips();
    m_availableSnips = std::move(snips);
    m_availableSnipsFrom = all;
    return true;
}

void BoardCanvasModel::forgetAvailableSnips() const
{
    m_availableSnips.reset();
    m_availableSnipsFrom.clear();
    m_snipKeys.clear();
    m_snipKeysNext = 0;
    m_snipKeysFrom.clear();
}

bool BoardCanvasModel::hasAvailableSnips() const
{
    const QList<CanvasCard *> &cards = m_library.cards();
    return std::any_of(cards.cbegin(), cards.cend(),
                       [](const CanvasCard *card) { return card->kind() == CardKind::snip && card->isLive(); });
}

QList<CanvasCard *> BoardCanvasModel::placedCards() const
{
    QList<CanvasCard *> placed;
    for (CanvasCard *card : boardCards()) {
        if (card->isPlaced())
            placed.append(card);
    }
    std::stable_sort(placed.begin(), placed.end(),
                     [](const CanvasCard *a, const CanvasCard *b) { return a->createdAt() < b->createdAt(); });
    return placed;
}

QList<Connection *> BoardCanvasModel::boardConnections() const
{
    QList<Connection *> connections;
    for (Connection *connection : m_library.connectionsOfNote(m_boardID)) {
        if (connection->isLive())
            connections.append(connection);
    }
    return connections;
}

void BoardCanvasModel::showCanvas()
{
    if (!m_showingCanvas) {
        m_showingCanvas = true;
        Q_EMIT modeChanged();
    }
    m_navigation.clearSelection();
}

void BoardCanvasModel::showWriting()
{
    if (m_showingCanvas || m_showingCanvasShelf) {
        m_showingCanvas = false;
        m_showingCanvasShelf = false;
        Q_EMIT modeChanged();
    }
    m_navigation.clearSelection();
}

void BoardCanvasModel::toggleCanvasShelf()
{
    setShowingCanvasShelf(!m_showingCanvasShelf);
}

void BoardCanvasModel::setShowingCanvasShelf(bool shown)
{
    if (m_showingCanvasShelf == shown)
        return;
    m_showingCanvasShelf = shown;
    Q_EMIT modeChanged();
}

void BoardCanvasModel::setOperationError(const std::optional<QString> &message)
{
    if (m_operationError == message)
        return;
    m_operationError = message;
    Q_EMIT operationErrorChanged();
}

void BoardCanvasModel::setWritingDocument(const BoardWritingDocument &document)
{
    if (document == m_writingDocument)
        return;
    m_writingDocument = document;
    commit();
}

bool BoardCanvasModel::isAutosavePending() const
{
    return m_autosave->isActive();
}

void BoardCanvasModel::commit()
{
    m_documentReadFrom.clear();
    m_userEdited = true;
    Board *note = board();
    if (!note)
        return;
    m_committing = true;
    const bool written = note->updateWritingDocument(m_writingDocument, m_clock());
    m_committing = false;
    if (!written) {
        setOperationError(encodingFailureMessage());
        return;
    }
    m_hasUnsavedWriting = true;
    scheduleAutosave();
}

void BoardCanvasModel::scheduleAutosave()
{
    const qint64 now = m_continuousClock();
    if (!m_unsavedSince)
        m_unsavedSince = now;
    // Someone typing without a pause would otherwise never be saved; once the
    // oldest unsaved change is old enough the save comes at the next turn of
    // the event loop, between two keystrokes.
    const bool overdue = now - *m_unsavedSince >= longestUnsavedMs;
    m_autosave->start(overdue ? 0 : autosaveDelayMs);
}

void BoardCanvasModel::autosave()
{
    ModelContext &context = m_library.context();
    const auto saved = context.save();
    const bool locked = !saved && context.isLockedByAnotherProgram();
    // Said once while the program holds on, not at every try.
    if (!saved && !(locked && m_saidLibraryLocked))
        setOperationError(saved.error().message);
    m_saidLibraryLocked = locked;
    if (saved)
        return;
    // The next wait counts from this attempt, so a failing disk is not
    // tried again (and reported again) at every keystroke.
    m_unsavedSince = m_continuousClock();
    // The save did not wait for the program in the way; the writing lands
    // once it lets go, whether or not anything is typed.
    if (locked)
        m_autosave->start(lockedLibraryRetryMs);
}

QList<BoardWritingBlock> BoardCanvasModel::storedBlocks(const Board &board) const
{
    return board.normalizedWritingBlocks();
}

void BoardCanvasModel::storedWritingChanged()
{
    if (m_committing || !m_hasAppeared)
        return;
    Board *note = board();
    if (!note)
        return;
    if (m_hasUnsavedWriting && note->writingDocumentUtf8() == m_savedStorage) {
        // The library took back its unsaved changes after a failed save
        // elsewhere: what was typed here is written again.
        commit();
        return;
    }
    if (note->hasUnreadableWriting())
        return;
    const QList<BoardWritingBlock> stored = storedBlocks(*note);
    if (stored == m_writingDocument.blocks)
        return;
    // Someone else wrote the note (a capture added its reference); their
    // text was made from this one, so it is taken over as it is.
    m_autosave->stop();
    m_writingDocument.blocks = stored;
    m_documentReadFrom = note->writingDocumentUtf8();
    if (m_hasUnsavedWriting)
        scheduleAutosave();
    Q_EMIT writingDocumentChanged();
}

void BoardCanvasModel::insertCardReference(const QUuid &cardID, const std::optional<QUuid> &anchorBlockID,
                                           bool revealWriting)
{
    const QList<CanvasCard *> cards = m_library.cardsWithID(cardID);
    const auto found = std::find_if(cards.cbegin(), cards.cend(), [](const CanvasCard *card) { return card->isLive(); });
    if (found == cards.cend())
        return;
    // A thought of another note is never referenced; a snip is, and stays
    // its own note's.
    if ((*found)->boardID() != m_boardID && (*found)->kind() != CardKind::snip)
        return;
    BoardWritingDocument document;
    document.blocks = BoardWritingDocument::normalizedBlocks(m_writingDocument.blocks);
    document.insertCardReference(cardID, anchorBlockID);
    m_writingDocument = document;
    commit();
    Q_EMIT writingDocumentChanged();
    if (revealWriting && m_showingCanvas)
        showWriting();
}

void BoardCanvasModel::removeCardReference(const QUuid &blockID)
{
    QList<BoardWritingBlock> blocks = m_writingDocument.blocks;
    blocks.removeIf([&blockID](const BoardWritingBlock &block) {
        return block.id == blockID && block.isCardReference();
    });
    BoardWritingDocument document{BoardWritingDocument::normalizedBlocks(blocks)};
    if (document == m_writingDocument)
        return;
    m_writingDocument = document;
    commit();
    Q_EMIT writingDocumentChanged();
}

void BoardCanvasModel::setReferenceSize(const QUuid &blockID, NoteAttachmentSize size)
{
    BoardWritingDocument document = m_writingDocument;
    document.setAttachmentSize(blockID, size);
    if (document == m_writingDocument)
        return;
    m_writingDocument = document;
    commit();
    Q_EMIT writingDocumentChanged();
}

void BoardCanvasModel::rememberWritingAnchor(const std::optional<QUuid> &blockID)
{
    m_navigation.setActiveWritingAnchorID(blockID);
}

void BoardCanvasModel::openCard(const CanvasCard *card)
{
    if (!card)
        return;
    if (card->kind() == CardKind::snip)
        m_navigation.setGalleryCardID(card->id());
    else
        m_navigation.setFocusedCardID(card->id());
}

void BoardCanvasModel::insertSnipAtAnchor(const QUuid &cardID)
{
    insertCardReference(cardID, m_navigation.activeWritingAnchorID(), false);
}

void BoardCanvasModel::collectKeptWriting(const Board &note, const QDateTime &previouslyOpened, bool readable)
{
    QStringList texts;
    if (!readable && note.hasUnreadableWriting())
        texts.append(note.writingDocumentStorage());
    // Copies kept when unreadable text was replaced while the note was
    // closed (a capture filed into it, say) are offered once, on the next
    // opening.
    if (const auto records = m_library.context().writingRecoveries(note.id())) {
        for (const WritingRecovery &record : *records) {
            if (record.savedAt >= previouslyOpened && !texts.contains(record.text))
                texts.append(record.text);
        }
    }
    if (texts != m_keptWritingTexts) {
        m_keptWritingTexts = texts;
        Q_EMIT keptWritingTextsChanged();
    }
}

void BoardCanvasModel::appear()
{
    m_hasAppeared = true;
    Board *note = board();
    if (!note)
        return;
    const QDateTime now = m_clock();
    const QDateTime previouslyOpened = note->lastOpenedAt();
    m_savedStorage = note->writingDocumentUtf8();
    note->markOpened(now);
    m_autosave->stop();
    m_committing = true;
    std::optional<QList<BoardWritingBlock>> normalBlocks;
    note->normalizeWritingDocumentStorage(now, &normalBlocks);
    m_committing = false;
    const bool readable = normalBlocks.has_value();
    m_writingDocument.blocks = normalBlocks ? *std::move(normalBlocks) : storedBlocks(*note);
    m_documentReadFrom = note->writingDocumentUtf8();
    collectKeptWriting(*note, previouslyOpened, readable);
    // A failed save keeps the opening stamp for the next save. Synced on the
    // store's worker: a note's page comes up with the window, at the start
    // too, and a sync of the log here waits for whatever else the disk has
    // to write first, with the window's first frame held back behind it.
    // Unsynced, a power loss takes the save back whole, and a failed sync
    // leaves it for the next synced save.
    ModelContext &context = m_library.context();
    if (context.save(SaveDurability::deferred))
        (void)context.syncDeferredSaves(this);
    Q_EMIT writingDocumentChanged();
}

void BoardCanvasModel::flush()
{
    m_autosave->stop();
    const auto readFromNow = [this](const Board &note) {
        const QByteArray &storage = note.writingDocumentUtf8();
        return !m_documentReadFrom.isNull() && storage.size() == m_documentReadFrom.size()
            && (storage.constData() == m_documentReadFrom.constData() || storage == m_documentReadFrom);
    };
    // The writing as it was read from the note's text, which has not changed
    // since, is that text already: a note that gathers captures holds
    // thousands of blocks, read twice over to find that out.
    if (Board *note = board(); note && m_hasAppeared && !readFromNow(*note)) {
        // Text that could not be read is replaced only by new writing.
        const bool keepsUnreadable = note->hasUnreadableWriting() && !m_userEdited;
        if (!keepsUnreadable && storedBlocks(*note) != m_writingDocument.blocks) {
            m_committing = true;
            const bool written = note->updateWritingDocument(m_writingDocument, m_clock());
            m_committing = false;
            if (!written)
                setOperationError(encodingFailureMessage());
        }
    }
    ModelContext &context = m_library.context();
    if (!context.hasChanges())
        return;
    if (const auto saved = context.save(); !saved)
        setOperationError(saved.error().message);
}

void BoardCanvasModel::disappear()
{
    flush();
    // A writing position in another note (the one just made, say) is that
    // note's to keep.
    const std::optional<QUuid> anchor = m_navigation.activeWritingAnchorID();
    if (anchor && std::any_of(m_writingDocument.blocks.cbegin(), m_writingDocument.blocks.cend(),
                              [&anchor](const BoardWritingBlock &block) { return block.id == *anchor; }))
        m_navigation.setActiveWritingAnchorID(std::nullopt);
}

std::optional<QUuid> BoardCanvasModel::anchorParagraph() const
{
    const std::optional<QUuid> anchor = m_navigation.activeWritingAnchorID();
    if (!anchor)
        return std::nullopt;
    for (const BoardWritingBlock &block : m_writingDocument.blocks) {
        if (block.id == *anchor && block.isParagraph())
            return anchor;
    }
    return std::nullopt;
}

QString BoardCanvasModel::title() const
{
    const Board *note = board();
    return note ? note->title() : QString();
}

void BoardCanvasModel::setTitle(const QString &title)
{
    Board *note = board();
    if (!note)
        return;
    note->setTitle(title);
    note->setUpdatedAt(m_clock());
}

void BoardCanvasModel::submitTitle()
{
    saveUserChange();
}

bool BoardCanvasModel::isFavorite() const
{
    const Board *note = board();
    return note && note->isFavorite();
}

void BoardCanvasModel::toggleFavorite()
{
    Board *note = board();
    if (!note)
        return;
    note->setFavorite(!note->isFavorite(), m_clock());
    saveUserChange();
}

void BoardCanvasModel::saveUserChange()
{
    if (const auto saved = saveKeepingChanges(m_library.context()); !saved)
        setOperationError(saved.error());
}

QList<BoardCanvasModel::SnipSection> BoardCanvasModel::insertSnipSections() const
{
    SnipSection here{QStringLiteral("This Note"), {}};
    SnipSection elsewhere;
    for (CanvasCard *card : availableSnips())
        (card->boardID() == m_boardID ? here : elsewhere).cards.append(card);
    QList<SnipSection> sections;
    if (!here.cards.isEmpty())
        sections.append(here);
    if (!elsewhere.cards.isEmpty()) {
        elsewhere.title = here.cards.isEmpty() ? QStringLiteral("All Snips") : QStringLiteral("Other Notes");
        sections.append(elsewhere);
    }
    return sections;
}

void BoardCanvasModel::setAssistantAvailable(bool available)
{
    if (m_assistantAvailable == available)
        return;
    m_assistantAvailable = available;
    Q_EMIT assistantAvailableChanged();
}

bool BoardCanvasModel::canHelpMeThink() const
{
    if (!m_assistantAvailable)
        return false;
    const QList<CanvasCard *> &cards = m_library.cards();
    return std::any_of(cards.cbegin(), cards.cend(), [this](const CanvasCard *card) {
        return card->boardID() == m_boardID && card->isLive() && card->isPlaced();
    });
}

QString BoardCanvasModel::helpMeThinkToolTip() const
{
    if (!m_assistantAvailable)
        return QStringLiteral("Help Me Think needs the thinking assistant, which is not available yet");
    return QString();
}

void BoardCanvasModel::helpMeThink()
{
    if (!canHelpMeThink())
        return;
    AskSuggestionRequest request{m_boardID, {}};
    for (const CanvasCard *card : placedCards()) {
        if (request.sourceCardIDs.size() == maximumAskCards)
            break;
        request.sourceCardIDs.append(card->id());
    }
    m_navigation.setAskSuggestion(request);
}

} // namespace tessaline

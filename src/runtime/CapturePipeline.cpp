#include "runtime/CapturePipeline.h"

#include "runtime/DesktopSearchIndexService.h"
#include "runtime/ImageExportService.h"
#include "runtime/OCRService.h"
#include "runtime/SearchIndexRestorer.h"
#include "runtime/TextRedaction.h"
#include "model/Board.h"
#include "model/BoardWritingDocument.h"
#include "model/CanvasCard.h"
#include "model/ModelChangeScope.h"
#include "model/ModelContext.h"
#include "model/ThinkingSessionService.h"
#include "platform/BackgroundPool.h"
#include "platform/FutureDelivery.h"
#include "platform/MemoryRelease.h"
#include "platform/PixelCopy.h"

#include <QScopeGuard>
#include <QTimer>

#include <algorithm>

namespace tessaline {

CapturePipeline::CapturePipeline(ModelContext &context, std::shared_ptr<OCRServicing> recognition,
                                 std::shared_ptr<DesktopSearchIndexService> index, QObject *parent)
    : QObject(parent)
    , m_context(context)
    , m_recognition(std::move(recognition))
    , m_index(std::move(index))
{
    // A snip whose text was still owed when it went to Recently Deleted
    // keeps its mark there. Brought back (from Recently Deleted, or by an
    // undo), it is read now rather than at the next start.
    connect(&m_context, &ModelContext::entityWritten, this, [this](PersistentEntity *entity, int property) {
        if (property != CanvasCard::DeletedAtProperty || !m_caughtUp)
            return;
        if (const auto *card = qobject_cast<CanvasCard *>(entity); card && card->isLive())
            recognizePendingTextSoon();
    });
}

CapturePipeline::~CapturePipeline() = default;

void CapturePipeline::submit(const CaptureResult &result, const CaptureDestination &destination)
{
    auto pending = std::make_shared<Pending>();
    pending->result = result;
    pending->destination = destination;
    m_pending.push_back(pending);
    encodeNext();
}

void CapturePipeline::encodeNext()
{
    // One capture at a time, oldest first: the encoder has every processor
    // at work already, and two at once would only each take twice as long
    // and hold their working buffers (tens of megabytes at 5K) together.
    if (m_isEncoding)
        return;
    const auto next = std::find_if(m_pending.cbegin(), m_pending.cend(), [](const auto &capture) {
        return !capture->isEncoded;
    });
    if (next == m_pending.cend())
        return;
    m_isEncoding = true;
    const std::shared_ptr<Pending> pending = *next;
    // Encoding a large capture takes longer than a frame; it runs on the
    // thread pool and the rest continues here. The clipboard's TIFF is made
    // only when a client asks for it. A picture grabbed whole comes with its
    // PNG mostly made already (encodePng's default options, as pngData's);
    // a crop or a changed copy of it is encoded here, and so is a picture
    // whose early encoding came to nothing.
    runInBackground(this, [image = pending->result.image, early = pending->result.png] {
        if (early && early->encodes(image)) {
            if (auto png = early->result())
                return png;
        }
        return ImageExportService::pngData(image);
    }).then(this, [this, pending](const std::optional<QByteArray> &png) {
        m_isEncoding = false;
        // The early encoding shares the file's bytes, which go once
        // stored, on a worker (storeReady).
        pending->result.png.reset();
        pending->png = png;
        pending->isEncoded = true;
        // The preview is made while the picture is written, which waits
        // on the disk, rather than beside the encoding, which has every
        // processor busy. Without a PNG there is nothing to show.
        if (png)
            makePreview(pending);
        else
            pending->preview = QImage();
        dropFrameOnceMade(*pending);
        encodeNext();
        storeReady();
    });
}

void CapturePipeline::makePreview(const std::shared_ptr<Pending> &pending)
{
    // Made from the frame, so no thumbnail of the capture has to decode the
    // stored picture (at 5K, a third of a second of the main thread and the
    // whole frame in memory again).
    runInBackground(this, [image = pending->result.image] {
        // Sampled down to four times the preview first: smoothing the whole
        // frame would take longer than the preview itself.
        const QSize bound(previewSide, previewSide);
        QImage preview = image;
        if (preview.width() > 4 * previewSide || preview.height() > 4 * previewSide)
            preview = PixelCopy::sampled(preview, preview.size().scaled(bound * 4, Qt::KeepAspectRatio));
        if (preview.width() > previewSide || preview.height() > previewSide)
            preview = preview.scaled(bound, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        return preview.copy();
    }).then(this, [this, pending](const QImage &preview) {
        pending->preview = preview;
        dropFrameOnceMade(*pending);
        storeReady();
    });
}

void CapturePipeline::dropFrameOnceMade(Pending &capture)
{
    // Nothing after the PNG and the preview reads the frame (60 MB at 5K):
    // it goes now, not once the picture is written into the library.
    if (capture.isEncoded && capture.preview)
        capture.result.image = QImage();
}

void CapturePipeline::storeReady()
{
    // A capture reported here may run a nested event loop (an alert, a test
    // waiting on a signal); the outer pass stores whatever is ready then.
    if (m_isStoring)
        return;
    m_isStoring = true;
    while (!m_pending.empty() && m_pending.front()->isEncoded) {
        const std::shared_ptr<Pending> capture = m_pending.front();
        if (capture->png && !capture->staged) {
            // One picture at a time, each after the card before it is
            // saved: the light save here then never waits for the library
            // while a picture is being written into it.
            if (!capture->isStaging) {
                capture->isStaging = true;
                m_context.stageCardData(this, CanvasCard::OriginalImageBlob, *capture->png)
                    .then(this, [this, capture](const Expected<StagedCardData, StoreError> &staged) {
                        capture->staged = staged;
                        storeReady();
                    });
            }
            break;
        }
        if (capture->png && !capture->preview)
            break;
        m_pending.pop_front();
        // Text waiting for the captures to be stored is read, or applied,
        // a turn after the last, behind what is done for this one.
        const auto readTextAfter = qScopeGuard(
            [this] { QTimer::singleShot(0, this, &CapturePipeline::recognizeCapturedText); });
        if (!capture->png) {
            if (onFailed)
                onFailed(imageExportErrorMessage(ImageExportError::encodingFailed));
            continue;
        }
        if (!*capture->staged) {
            if (onFailed)
                onFailed(capture->staged->error().message);
            continue;
        }
        const auto card = store(*capture, **capture->staged);
        if (!card) {
            if (onFailed)
                onFailed(card.error());
            continue;
        }
        // The PNG is in the library now. Its bytes (17 MB at 5K) go back to
        // the system on a worker: the unmapping stops every processor a
        // moment, and here it would hold up the frames after the save.
        backgroundPool().start([png = *std::exchange(capture->png, QByteArray())]() {});
        const StoredCapture stored{(*card)->id(), *card, capture->result, *capture->preview};
        keep(stored);
        if (onStored)
            onStored(stored);
    }
    m_isStoring = false;
}

Expected<CanvasCard *, QString> CapturePipeline::store(const Pending &capture, const StagedCardData &staged)
{
    const CaptureResult &result = capture.result;
    const auto note = ThinkingSessionService(m_context).resolveNote(capture.destination.noteID, result.capturedAt);
    if (!note) {
        m_context.discardStagedCardData(staged);
        return unexpected(note.error().message);
    }

    CanvasCard::Init init;
    init.boardID = (*note)->id();
    init.kind = CardKind::snip;
    init.thoughtKind = ThoughtKind::thought;
    init.sourceApplicationName = result.sourceApplicationName;
    init.sourceBundleIdentifier = result.sourceBundleIdentifier;
    init.sourceWindowTitle = result.sourceWindowTitle;
    init.captureModeRawValue = captureModeRawValue(result.mode);
    init.originalImageData = capture.png;
    init.createdAt = result.capturedAt;
    init.updatedAt = result.capturedAt;
    init.capturedAt = result.capturedAt;
    // A capture that cannot be stored leaves nothing behind: not the card, not
    // its reference in the note, not its picture (undoing the insert drops
    // it), and no other unsaved edit is touched.
    ModelChangeScope scope(m_context);
    auto *card = new CanvasCard(init);
    const QUuid cardID = card->id();
    m_context.insert(card, staged);
    // Stored with the card, so a capture whose text the app did not get to
    // read before it ended is read at its next start.
    m_context.setTextRecognitionPending(*card, true);

    BoardWritingDocument document{(*note)->normalizedWritingBlocks()};
    document.insertCardReference(cardID, capture.destination.anchorID);
    if (!(*note)->updateWritingDocument(document, result.capturedAt)) {
        scope.undo();
        return unexpected(message(ThinkingSessionError::writingNotStorable));
    }
    // Synced on the store's worker rather than here: on a busy disk the
    // sync waits for whatever else the file system has to write first,
    // which held the window still for 700 ms after a capture.
    if (auto saved = scope.saveOrUndo(SaveDurability::deferred); !saved)
        return unexpected(saved.error().message);
    m_context.syncDeferredSaves(this).then(this, [this](const Expected<void, StoreError> &synced) {
        if (!synced && onFailed)
            onFailed(synced.error().message);
    });
    return card;
}

} // namespace tessaline

namespace tessaline {

void CapturePipeline::keep(const StoredCapture &capture)
{
    // A toast per capture at most, so a few cover a burst.
    m_previews.emplace_back(capture.cardID, capture.preview);
    if (m_previews.size() > 4)
        m_previews.pop_front();
    m_capturesAwaitingText.push_back(capture.cardID);
    m_capturedCards.insert(capture.cardID, capture.card);
    // The last of a burst stored: the encoders' freed buffers go back to
    // the system now, before the text is read.
    if (isIdle())
        QTimer::singleShot(0, this, [] { backgroundPool().start(&releaseFreedMemory); });
}

std::optional<QImage> CapturePipeline::preview(const QUuid &cardID) const
{
    for (const auto &[id, preview] : m_previews) {
        if (id == cardID && !preview.isNull())
            return preview;
    }
    return std::nullopt;
}

CanvasCard *CapturePipeline::cardWithID(const QUuid &cardID)
{
    if (CanvasCard *known = m_capturedCards.value(cardID); known && known->id() == cardID
                                                          && known->modelContext() == &m_context)
        return known;
    // A capture's card is the newest of those holding its id.
    const auto cards = m_context.fetchCards(cardID);
    return cards && !cards->isEmpty() ? cards->last() : nullptr;
}

void CapturePipeline::catchUp()
{
    m_caughtUp = true;
    recognizePendingText();
    tidyIndex();
}

void CapturePipeline::recognizeCapturedText()
{
    // The heap's free pages go back to the system after the engines have
    // let go of theirs, a few seconds after the last capture was read (the
    // recognition service does that), not as that reading ends: handing them
    // back holds the main thread's heap for up to a frame, and a capture
    // asked for just then would wait. When nothing reads text they go now;
    // queued, so the frames held by the caller are gone by then, and on the
    // thread pool, since it walks the whole heap.
    if (!m_recognition) {
        m_capturesAwaitingText.clear();
        m_capturedCards.clear();
        QTimer::singleShot(0, this, [] { backgroundPool().start(&releaseFreedMemory); });
        return;
    }
    // One capture at a time, its picture read back from the library when
    // its turn comes: a burst of captures waits as card ids, not as pictures
    // (a grey copy of a 5K capture is 15 MB). Not while captures are still
    // being stored: the engines' memory and processors would add to theirs.
    if (m_textAwaitingStoredCaptures && isIdle())
        return std::exchange(m_textAwaitingStoredCaptures, {})();
    while (!m_captureTextBeingRead && !m_capturesAwaitingText.empty() && isIdle()) {
        const QUuid cardID = m_capturesAwaitingText.front();
        m_capturesAwaitingText.pop_front();
        const CanvasCard *card = cardWithID(cardID);
        // Trashed or deleted before its turn: nothing to read (a trashed
        // card keeps its mark, should it come back). Without a picture there
        // is nothing to read ever.
        if (card && card->isLive() && !card->hasOriginalImageData())
            clearRecognitionMark(*card);
        if (!card || !card->isLive() || !card->hasOriginalImageData()) {
            m_capturedCards.remove(cardID);
            continue;
        }
        m_captureTextBeingRead = cardID;
        const auto next = [this, cardID] {
            m_capturedCards.remove(cardID);
            m_captureTextBeingRead.reset();
            // Between the readings of a burst the heap goes back at once:
            // what each reading freed would otherwise pile up until the
            // last is read.
            if (!m_capturesAwaitingText.empty())
                QTimer::singleShot(0, this, [] { backgroundPool().start(&releaseFreedMemory); });
            recognizeCapturedText();
        };
        const auto giveUp = [this, cardID] {
            if (const CanvasCard *unreadable = cardWithID(cardID))
                clearRecognitionMark(*unreadable);
        };
        m_context.readCardData(this, *card, CanvasCard::OriginalImageBlob)
            .then(this, [this, cardID, next, giveUp](const std::optional<QByteArray> &picture) {
                if (!picture) {
                    giveUp();
                    return next();
                }
                // A burst's backlog is read with fewer engines: no one waits
                // on it, and its captures have the memory high.
                m_recognition->setReadingFrugally(!m_capturesAwaitingText.empty() || !isIdle());
                m_recognition->recognizeStoredPicture(*picture, this)
                    .then(this, [this, cardID, next, giveUp](const OCRResult &recognized) {
                        if (recognized)
                            return applyOnceCapturesStored(*recognized, cardID, next);
                        if (recognized.error().isPictureUnreadable)
                            giveUp();
                        next();
                    });
            });
    }
}

void CapturePipeline::applyOnceCapturesStored(const RecognizedText &recognized, const QUuid &cardID,
                                              const std::function<void()> &next)
{
    const auto apply = [this, recognized, cardID, next] {
        applyRecognizedText(recognized, cardID);
        next();
    };
    if (isIdle())
        return apply();
    // A capture taken meanwhile writes its picture into the library holding
    // the write lock (50-60 ms at 5K), and the text's save on this thread
    // would wait for it. Every capture stored or failed looks again.
    m_textAwaitingStoredCaptures = apply;
}

void CapturePipeline::recognizePendingText()
{
    if (m_context.isReadOnly() || !m_recognition)
        return;
    const auto pending = m_context.textRecognitionsPending();
    if (!pending || pending->isEmpty())
        return;
    for (const QUuid &cardID : *pending) {
        if (cardID != m_captureTextBeingRead
            && std::find(m_capturesAwaitingText.cbegin(), m_capturesAwaitingText.cend(), cardID)
                == m_capturesAwaitingText.cend())
            m_capturesAwaitingText.push_back(cardID);
    }
    recognizeCapturedText();
}

void CapturePipeline::recognizePendingTextSoon()
{
    // Once the change that asked for it has been saved (the restore is
    // saved right after it is made), and once for many cards restored at once.
    if (std::exchange(m_pendingTextLookScheduled, true))
        return;
    QTimer::singleShot(0, this, [this] {
        m_pendingTextLookScheduled = false;
        recognizePendingText();
    });
}

void CapturePipeline::clearRecognitionMark(const CanvasCard &card)
{
    // Nobody waits on the mark to tell: the library tries it again with the
    // next, and should the app end first the picture is read again at the
    // next start, which the log explains.
    if (const auto cleared = m_context.clearTextRecognitionPending(card); !cleared)
        qWarning("The text of snip %s stays marked as owed: %s", qUtf8Printable(card.id().toString(QUuid::WithoutBraces)),
                 qUtf8Printable(cleared.error().message));
}

DesktopSearchRecord CapturePipeline::desktopSearchRecord(const CanvasCard *card, const QList<Board *> &boards,
                                                         bool readsOriginalImage)
{
    DesktopSearchRecord record;
    record.id = card->id();
    record.title = card->displayTitle();
    record.text = card->combinedText();
    record.boardName = DesktopSearchIndexService::noteName(*card, boards);
    record.sourceApplication = card->sourceApplicationName();
    // The stored pictures show what the annotations hide; a redacted snip
    // goes into the index without one.
    if (!TextRedaction::mayHidePicture(card->annotationDocumentData()))
        record.thumbnailData = card->hasThumbnailImageData() ? card->thumbnailImageData()
                               : readsOriginalImage            ? card->originalImageData()
                                                               : std::nullopt;
    return record;
}

void CapturePipeline::applyRecognizedText(const RecognizedText &recognized, const QUuid &cardID)
{
    CanvasCard *card = cardWithID(cardID);
    // A card trashed while its text was read keeps no text and stays out of
    // the search index.
    if (!card || !card->isLive())
        return;
    // The annotations of the moment decide: they may have changed while the
    // picture was being read.
    ModelChangeScope scope(m_context);
    card->setOcrText(TextRedaction::visibleText(recognized, card->annotationDocumentData()));
    card->setUpdatedAt(QDateTime::currentDateTimeUtc());
    // Text that cannot be stored is dropped, so a later unrelated save does
    // not store it unindexed. Neither it nor the mark's removal after it is
    // synced here: lost at a power cut, they go together (the log keeps
    // their order) and the picture is read again at the next start.
    if (!scope.saveOrUndo(SaveDurability::deferred))
        return;
    // The mark goes once the desktop's index holds the text as well: the
    // index is written after the library, and a snip whose entry never got
    // there (the app ended in between, the index refused it) would stay out
    // of the desktop's search for good. Kept, it is read and indexed again
    // at the next start.
    //
    // Nor does the mark go when annotations saved since this text asked for
    // the picture to be read again: that reading is owed still, and with it
    // the words the new annotations leave visible.
    indexCard(card, [this, cardID, asked = m_readingsAskedByAnnotations.value(cardID)](bool indexed) {
        const CanvasCard *stored = cardWithID(cardID);
        if (indexed && stored && m_readingsAskedByAnnotations.value(cardID) == asked)
            clearRecognitionMark(*stored);
        Q_EMIT recognitionApplied(cardID);
    });
}

void CapturePipeline::indexCard(const CanvasCard *card, std::function<void(bool indexed)> done)
{
    if (!m_index) {
        if (done)
            done(true);
        return;
    }
    const auto boards = m_context.fetchBoards();
    if (!boards) {
        if (done)
            done(false);
        return;
    }
    auto index = [this, done = std::move(done)](const DesktopSearchRecord &record) {
        m_index->index(record, this).then(this, [done](const DesktopSearchIndexService::Outcome &outcome) {
            if (done)
                done(bool(outcome));
        });
    };
    DesktopSearchRecord record = desktopSearchRecord(card, *boards, false);
    const bool picturesOriginal = card->hasOriginalImageData() && !card->hasThumbnailImageData()
        && !TextRedaction::mayHidePicture(card->annotationDocumentData());
    if (!picturesOriginal) {
        index(record);
        return;
    }
    // The annotations are asked again once the picture is there: a
    // redaction saved meanwhile keeps it out of the index. A card deleted
    // for good meanwhile has had its entry removed, which this must not
    // bring back.
    auto keptInIndex = [card = QPointer<const CanvasCard>(card), record,
                        index](const std::optional<QByteArray> &picture) mutable {
        if (!card || !card->modelContext())
            return;
        // The words too are taken as they are now: a redaction saved
        // meanwhile took some out of the text, and this entry, written
        // after the redaction's own, would put them back.
        record.title = card->displayTitle();
        record.text = card->combinedText();
        const bool shown = !TextRedaction::mayHidePicture(card->annotationDocumentData());
        record.thumbnailData = shown ? picture : std::nullopt;
        index(record);
    };
    // A capture just made has its preview at hand, which stands for the
    // picture at the index's size: the picture itself, megabytes at 5K, is
    // read back on the store's worker, and the next capture's write waits
    // behind that read.
    if (const auto shown = preview(card->id())) {
        ImageExportService::pngDataAsync(*shown).then(this, std::move(keptInIndex));
        return;
    }
    m_context.readCardData(this, *card, CanvasCard::OriginalImageBlob).then(this, std::move(keptInIndex));
}

void CapturePipeline::tidyIndex()
{
    // A removal queued as a card was deleted for good is dropped when the
    // app ends before the index's worker gets to it (a large note deleted
    // and the app quit, the session ending, a crash), and one the index
    // refused is not tried again: the card's words and picture would stay
    // in the index file for good.
    if (!m_index)
        return;
    const auto cards = m_context.fetchCards();
    if (!cards)
        return;
    QList<QUuid> held;
    held.reserve(cards->size());
    walkCards(*cards, 0, [&held](qsizetype, const CanvasCard *card) { held.append(card->id()); });
    // Both are tried again at the next start, whatever their outcome.
    (void)m_index->keepOnly(held, this);
    // Likewise a note deleted for good whose snips went on in other notes,
    // when the app ended before its name left their entries.
    if (const auto boards = m_context.fetchBoards())
        (void)m_index->renameNotes(DesktopSearchIndexService::noteNaming(*boards, *cards), this);
    // A library restored without its index file.
    if (!m_indexRestorer) {
        m_indexRestorer = new SearchIndexRestorer(m_context, *m_index, this);
        m_indexRestorer->restore(*cards);
    }
}

bool CapturePipeline::prepareAnnotationChange(CanvasCard &card, const std::optional<QByteArray> &previousAnnotations,
                                              const QSize &imageSize)
{
    if (!TextRedaction::hidesOtherAreas(previousAnnotations, card.annotationDocumentData(), imageSize))
        return false;
    // Without the words' boxes at hand, no word may stay that a new box
    // could cover; reading the picture again brings back what is visible.
    if (TextRedaction::mayHidePicture(card.annotationDocumentData()))
        card.setOcrText(QString());
    m_context.setTextRecognitionPending(card, true);
    ++m_readingsAskedByAnnotations[card.id()];
    return true;
}

void CapturePipeline::recognizeTextAgain(const QUuid &cardID, const QImage &image)
{
    const CanvasCard *card = cardWithID(cardID);
    if (!card || !card->isLive())
        return;
    // The index must not keep the words the text has just lost, even if
    // reading the picture fails.
    indexCard(card, nullptr);
    if (!m_recognition)
        return;
    m_recognition->recognizeText(image, this).then(this, [this, cardID](const OCRResult &recognized) {
        if (recognized)
            applyRecognizedText(*recognized, cardID);
    });
}

} // namespace tessaline

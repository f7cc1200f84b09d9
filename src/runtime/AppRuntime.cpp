#include "runtime/AppRuntime.h"

#include "model/ModelChangeScope.h"
#include "model/ModelContainer.h"
#include "model/ModelContext.h"
#include "model/TessalineStore.h"
#include "model/ThinkingSessionService.h"
#include "platform/BackgroundPool.h"
#include "platform/FutureDelivery.h"
#include "platform/MemoryRelease.h"
#include "platform/Pasteboard.h"
#include "platform/PlatformTexts.h"
#include "platform/TesseractRecognizer.h"
#include "platform/UserDefaults.h"
#include "runtime/CapturePipeline.h"
#include "runtime/DesktopSearchIndexService.h"
#include "runtime/ImageExportService.h"
#include "runtime/OCRService.h"
#include "runtime/SearchIndexRestorer.h"
#include "runtime/TextRedaction.h"

#include <QEventLoop>
#include <QGuiApplication>
#include <QThreadPool>
#include <QTimer>

#include <algorithm>

namespace tessaline {

AppRuntime::AppRuntime(AppRuntimeServices services, QObject *parent)
    : QObject(parent)
    , m_services(std::move(services))
    , m_navigation(std::make_unique<NavigationState>(*m_services.defaults))
    , m_preferencesStore(*m_services.defaults)
{
    m_shortcutConfiguration = m_services.captureCoordinator->shortcutConfiguration();
    m_captureBehaviorPreferences = m_preferencesStore.load();
    m_capturePipeline = std::make_unique<CapturePipeline>(modelContext());
    // What follows a stored capture (the toast, the selection, the copy,
    // the screens' updates) comes a turn of the event loop after the save:
    // together they held the main thread for more than a frame. Failures
    // take the same road, so reports keep the captures' order.
    m_capturePipeline->onStored = [this](const StoredCapture &capture) {
        QTimer::singleShot(0, this, [this, capture] { captureStored(capture); });
    };
    m_capturePipeline->onFailed = [this](const QString &message) {
        QTimer::singleShot(0, this, [this, message] {
            fail(message);
            Q_EMIT captureHandled(std::nullopt);
            recognizeCapturedText();
        });
    };
    installCaptureCallbacks();
    // A snip whose text was still owed when it went to Recently Deleted
    // keeps its mark there. Brought back (from Recently Deleted, or by an
    // undo), it is read now rather than at the next start.
    connect(&modelContext(), &ModelContext::entityWritten, this, [this](PersistentEntity *entity, int property) {
        if (property != CanvasCard::DeletedAtProperty || !m_isUIReady)
            return;
        if (const auto *card = qobject_cast<CanvasCard *>(entity); card && card->isLive())
            recognizePendingTextSoon();
    });
    if (auto *application = qobject_cast<QGuiApplication *>(QCoreApplication::instance())) {
        connect(application, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
            if (state == Qt::ApplicationActive)
                applicationDidBecomeActive();
        });
    }
}

AppRuntime::~AppRuntime()
{
    // A capture on the clipboard is read from the library when pasted; a
    // clipboard manager may take it over as the app ends, after the library.
    if (m_services.pasteboard)
        m_services.pasteboard->holdImageSourceBytes();
    // The coordinator may outlive nothing of ours: drop its callbacks first.
    if (m_services.captureCoordinator) {
        m_services.captureCoordinator->onCaptureCompleted = nullptr;
        m_services.captureCoordinator->onCaptureError = nullptr;
        m_services.captureCoordinator->onRegionCaptureRequested = nullptr;
        m_services.captureCoordinator->onQuickThoughtRequested = nullptr;
    }
}

ModelContext &AppRuntime::modelContext() const
{
    return *m_services.modelContainer->mainContext();
}

void AppRuntime::installCaptureCallbacks()
{
    CaptureCoordinator &coordinator = *m_services.captureCoordinator;
    const QPointer<AppRuntime> self(this);
    coordinator.onRegionCaptureRequested = [self] {
        if (self)
            self->captureCoordinator().beginCapture(CaptureMode::region);
    };
    coordinator.onCaptureCompleted = [self](const CaptureResult &result) {
        if (self)
            self->handleCaptureResult(result);
    };
    coordinator.onQuickThoughtRequested = [self] {
        if (self)
            self->requestQuickThought();
    };
    coordinator.onCaptureError = [self](const CaptureSubsystemError &error) {
        if (self)
            self->setActiveCaptureError(error);
        if (self)
            self->setErrorMessage(error.errorDescription());
        if (self)
            self->bringMainWindowToFront();
    };
    // A desktop that binds the hot keys some time after they were
    // registered may still turn them down; the user hears of it as of a
    // refusal at start-up, and sees the keys the coordinator put back.
    connect(&coordinator.hotKeyManager(), &GlobalHotKeyManager::registrationRefused, this,
            [this](const CaptureSubsystemError &error) {
                if (m_shortcutConfiguration != captureCoordinator().shortcutConfiguration()) {
                    m_shortcutConfiguration = captureCoordinator().shortcutConfiguration();
                    Q_EMIT shortcutConfigurationChanged();
                }
                setErrorMessage(error.errorDescription());
            });
}

void RuntimeWindowing::afterFirstFrame(QObject *context, std::function<void()> task)
{
    QTimer::singleShot(0, context, std::move(task));
}

void AppRuntime::setErrorMessage(const std::optional<QString> &message)
{
    m_errorMessage = message;
    Q_EMIT errorMessageChanged();
}

void AppRuntime::setActiveCaptureError(const std::optional<CaptureSubsystemError> &error)
{
    m_activeCaptureError = error;
    Q_EMIT activeCaptureErrorChanged();
}

void AppRuntime::fail(const QString &message)
{
    setErrorMessage(message);
}

void AppRuntime::start()
{
    if (m_isStarted)
        return;
    ModelContext &context = modelContext();

    auto seeded = TessalineStore::seedLibrary(context, QDateTime::currentDateTimeUtc());
    if (!seeded) {
        // A library that can only be read is shown as it stands; the
        // start-up message has said why nothing can be added to it.
        if (!context.isReadOnly())
            return fail(seeded.error().message);
        seeded = TessalineStore::SeededLibrary{};
    }
    const auto fetched = context.fetchBoards();
    if (!fetched)
        return fail(fetched.error().message);

    QList<Board *> boards = *fetched;
    std::stable_sort(boards.begin(), boards.end(),
                     [](const Board *a, const Board *b) { return a->lastOpenedAt() > b->lastOpenedAt(); });
    Board *candidate = seeded->welcome;
    if (!candidate) {
        for (Board *board : std::as_const(boards)) {
            const QString status = board->statusRawValue();
            if (!board->isInbox() && status != u"parked" && status != u"done" && board->isLive()) {
                candidate = board;
                break;
            }
        }
    }
    const std::optional<QUuid> active = m_navigation->activeBoardID();
    const bool activeExists = active && std::any_of(boards.cbegin(), boards.cend(), [&](const Board *board) {
        return board->id() == *active;
    });
    if (!activeExists) {
        if (const Board *shown = candidate ? candidate : seeded->inbox)
            m_navigation->setActiveBoardID(shown->id());
    }

    if (!m_isUIReady) {
        m_isUIReady = true;
        Q_EMIT uiReadyChanged();
        // Once the first screen is up, never in the way of it: going through
        // every card of a large library for the index takes the time of a
        // frame or two, which the window would otherwise be painted later by.
        const auto upkeep = [this] {
            recognizePendingText();
            forgetDeletedCardsInIndex();
        };
        if (m_services.windowing)
            m_services.windowing->afterFirstFrame(this, upkeep);
        else
            QTimer::singleShot(0, this, upkeep);
    }
    captureCoordinator().refreshPermissionState();
    const auto hotKeys = m_services.captureStartup ? m_services.captureStartup() : captureCoordinator().enableHotKeys();
    if (!hotKeys)
        return fail(hotKeys.error().errorDescription());
    completeStart();
}

void AppRuntime::completeStart()
{
    m_isStarted = true;
    Q_EMIT startedChanged();

    if (m_navigation->remindersEnabled() && m_services.setRemindersEnabled) {
        m_services.setRemindersEnabled(true, this, [this](const Expected<bool, QString> &answer) {
            m_navigation->setRemindersEnabled(answer.hasValue() && answer.value());
        });
    }
}

void AppRuntime::requestQuickThought()
{
    m_navigation->setQuickThoughtPresented(true);
    bringMainWindowToFront();
}

void AppRuntime::bringMainWindowToFront()
{
    if (m_services.windowing)
        m_services.windowing->bringMainWindowToFront();
}

void AppRuntime::applicationDidBecomeActive()
{
    QTimer::singleShot(0, this, [this] {
        CaptureCoordinator &coordinator = captureCoordinator();
        if (coordinator.isReturningFromScreenCaptureSettings()) {
            coordinator.setReturningFromScreenCaptureSettings(false);
            if (!coordinator.permissionController().hasAccess()) {
                UserDefaults &history = coordinator.permissionHistoryStore().defaults();
                history.setBoolean(ScreenCapturePermissionHistoryStore::hasRequestedAccessKey(), true);
                history.setBoolean(ScreenCapturePermissionHistoryStore::relaunchRecommendedKey(), true);
            }
        }
        coordinator.refreshPermissionState();
    });
}

bool AppRuntime::finishStoringCaptures(std::chrono::milliseconds limit)
{
    // A region being dragged or access being asked for waits on the user,
    // whom nobody asks any more.
    const auto settled = [this] {
        return m_capturePipeline->isIdle()
            && captureCoordinator().state().kind() != CaptureCoordinatorState::Kind::capturingDisplay;
    };
    if (settled())
        return true;
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    // Looked at once the signal's handlers are done: a picture taken
    // changes the state before it is handed to the pipeline.
    const auto lookAgain = [&] {
        QTimer::singleShot(0, &loop, [&] {
            if (settled())
                loop.quit();
        });
    };
    connect(this, &AppRuntime::captureHandled, &loop, lookAgain);
    connect(&captureCoordinator(), &CaptureCoordinator::stateChanged, &loop, lookAgain);
    deadline.start(limit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    return settled();
}

void AppRuntime::handleCaptureResult(const CaptureResult &result)
{
    if (result.image.isNull()) {
        fail(imageExportErrorMessage(ImageExportError::encodingFailed));
        Q_EMIT captureHandled(std::nullopt);
        return;
    }
    m_capturePipeline->submit(result, {m_navigation->activeBoardID(), m_navigation->activeWritingAnchorID()});
}

std::optional<QImage> AppRuntime::capturePreview(const QUuid &cardID) const
{
    for (const auto &[id, preview] : m_capturePreviews) {
        if (id == cardID && !preview.isNull())
            return preview;
    }
    return std::nullopt;
}

void AppRuntime::captureStored(const StoredCapture &capture)
{
    const QUuid cardID = capture.cardID;
    // A toast per capture at most, so a few cover a burst.
    m_capturePreviews.emplace_back(cardID, capture.preview);
    if (m_capturePreviews.size() > 4)
        m_capturePreviews.pop_front();
    m_navigation->setSelectedCardIDs({cardID});

    bool copied = false;
    m_automaticCopyHeldBackCardID.reset();
    if (m_captureBehaviorPreferences.automaticallyCopiesCaptures && m_services.pasteboard) {
        // A copy the desktop would drop is not tried: the toast then says
        // so rather than claiming a copy. A region was just dragged over our
        // own overlay, which is input of the user's the desktop counts,
        // unless the copy is refused all the same.
        if (capture.result.mode == CaptureMode::region || m_services.pasteboard->acceptsUnpromptedWrites())
            copied = m_services.pasteboard->setImageSource(storedPictureSource(cardID));
        if (!copied)
            m_automaticCopyHeldBackCardID = cardID;
    }
    setLastAutomaticallyCopiedCardID(copied ? std::optional<QUuid>(cardID) : std::nullopt);

    if (capture.result.mode == CaptureMode::region && m_captureBehaviorPreferences.automaticallyOpensRegionCaptureReview) {
        if (m_services.windowing)
            m_services.windowing->closeCaptureToast();
        // One turn of the event loop first, so whatever the capture was
        // interrupting settles before the review decision is taken.
        QTimer::singleShot(0, this, [this, cardID] { presentCaptureReviewIfPossible(cardID); });
    } else if (m_services.windowing) {
        m_services.windowing->showCaptureToast(cardID);
    }

    m_capturesAwaitingText.push_back(cardID);
    m_capturedCards.insert(cardID, capture.card);
    // The last of a burst stored: the encoders' freed buffers go back to
    // the system now, before the text is read.
    if (m_capturePipeline->isIdle())
        QTimer::singleShot(0, this, [] { backgroundPool().start(&releaseFreedMemory); });
    recognizeCapturedText();
    Q_EMIT captureHandled(cardID);
}

void AppRuntime::presentCaptureReviewIfPossible(const QUuid &cardID)
{
    const bool wanted = m_captureBehaviorPreferences.automaticallyOpensRegionCaptureReview;
    const bool possible = canPresentCaptureReview();
    if (wanted && possible) {
        m_navigation->setCaptureReviewCardID(cardID);
        bringMainWindowToFront();
    } else if (m_services.windowing) {
        m_services.windowing->showCaptureToast(cardID);
    }
}

bool AppRuntime::canPresentCaptureReview() const
{
    return !m_navigation->captureReviewCardID() && !m_navigation->focusedCardID() && !m_navigation->galleryCardID()
        && !m_navigation->isQuickThoughtPresented()
        && !(m_services.windowing && m_services.windowing->anyWindowHasSheet());
}

Pasteboard::PngSource AppRuntime::storedPictureSource(const QUuid &cardID)
{
    // The clipboard holds none of the capture's bytes (17 MB at 5K) while it
    // waits for a paste, which reads them back from the library. A card in
    // Recently Deleted still gives its picture: it is what was copied.
    return [self = QPointer<AppRuntime>(this), cardID]() -> std::optional<QByteArray> {
        const CanvasCard *card = self ? self->cardWithID(cardID) : nullptr;
        return card ? card->originalImageData() : std::nullopt;
    };
}

void AppRuntime::recognizeCapturedText()
{
    // The heap's free pages go back to the system after the engines have
    // let go of theirs, a few seconds after the last capture was read (the
    // recognition service does that), not as that reading ends: handing them
    // back holds the main thread's heap for up to a frame, and a capture
    // asked for just then would wait. When nothing reads text they go now;
    // queued, so the frames held by the caller are gone by then, and on the
    // thread pool, since it walks the whole heap.
    if (!m_services.ocrService) {
        m_capturesAwaitingText.clear();
        m_capturedCards.clear();
        QTimer::singleShot(0, this, [] { backgroundPool().start(&releaseFreedMemory); });
        return;
    }
    // One capture at a time, its picture read back from the library when
    // its turn comes: a burst of captures waits as card ids, not as pictures
    // (a grey copy of a 5K capture is 15 MB). Not while captures are still
    // being stored: the engines' memory and processors would add to theirs.
    if (m_textAwaitingStoredCaptures && m_capturePipeline->isIdle())
        return std::exchange(m_textAwaitingStoredCaptures, {})();
    while (!m_captureTextBeingRead && !m_capturesAwaitingText.empty() && m_capturePipeline->isIdle()) {
        const QUuid cardID = m_capturesAwaitingText.front();
        m_capturesAwaitingText.pop_front();
        const CanvasCard *card = cardWithID(cardID);
        // Trashed or deleted before its turn: nothing to read (a trashed
        // card keeps its mark, should it come back). Without a picture there
        // is nothing to read ever.
        if (card && card->isLive() && !card->hasOriginalImageData())
            modelContext().clearTextRecognitionPending(*card);
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
        modelContext()
            .readCardData(this, *card, CanvasCard::OriginalImageBlob)
            .then(this, [this, cardID, next](const std::optional<QByteArray> &picture) {
                if (!picture) {
                    giveUpRecognition(cardID);
                    return next();
                }
                // A burst's backlog is read with fewer engines: no one waits
                // on it, and its captures have the memory high.
                m_services.ocrService->setReadingFrugally(!m_capturesAwaitingText.empty()
                                                          || !m_capturePipeline->isIdle());
                m_services.ocrService->recognizeStoredPicture(*picture, this)
                    .then(this, [this, cardID, next](const OCRResult &recognized) {
                        if (recognized)
                            return applyOnceCapturesStored(*recognized, cardID, next);
                        if (recognized.error().isPictureUnreadable)
                            giveUpRecognition(cardID);
                        next();
                    });
            });
    }
}

void AppRuntime::applyOnceCapturesStored(const RecognizedText &recognized, const QUuid &cardID,
                                         const std::function<void()> &next)
{
    const auto apply = [this, recognized, cardID, next] {
        applyRecognizedText(recognized, cardID);
        next();
    };
    if (m_capturePipeline->isIdle())
        return apply();
    // A capture taken meanwhile writes its picture into the library holding
    // the write lock (50-60 ms at 5K), and the text's save on this thread
    // would wait for it. Every capture stored or failed looks again.
    m_textAwaitingStoredCaptures = apply;
}

void AppRuntime::recognizePendingText()
{
    ModelContext &context = modelContext();
    if (context.isReadOnly() || !m_services.ocrService)
        return;
    const auto pending = context.textRecognitionsPending();
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

void AppRuntime::recognizePendingTextSoon()
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

void AppRuntime::giveUpRecognition(const QUuid &cardID)
{
    if (const CanvasCard *card = cardWithID(cardID))
        modelContext().clearTextRecognitionPending(*card);
}

CanvasCard *AppRuntime::cardWithID(const QUuid &cardID)
{
    if (CanvasCard *known = m_capturedCards.value(cardID); known && known->id() == cardID
                                                          && known->modelContext() == &modelContext())
        return known;
    // A capture's card is the newest of those holding its id.
    const auto cards = modelContext().fetchCards(cardID);
    return cards && !cards->isEmpty() ? cards->last() : nullptr;
}

DesktopSearchRecord AppRuntime::desktopSearchRecord(const CanvasCard *card, const QList<Board *> &boards, bool readsOriginalImage)
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

void AppRuntime::applyRecognizedText(const RecognizedText &recognized, const QUuid &cardID)
{
    ModelContext &context = modelContext();
    CanvasCard *card = cardWithID(cardID);
    // A card trashed while its text was read keeps no text and stays out of
    // the search index.
    if (!card || !card->isLive())
        return;
    // The annotations of the moment decide: they may have changed while the
    // picture was being read.
    ModelChangeScope scope(context);
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
            (void)modelContext().clearTextRecognitionPending(*stored);
        Q_EMIT recognitionApplied(cardID);
    });
}

void AppRuntime::indexCard(const CanvasCard *card, std::function<void(bool indexed)> done)
{
    if (!m_services.desktopSearchIndex) {
        if (done)
            done(true);
        return;
    }
    const auto boards = modelContext().fetchBoards();
    if (!boards) {
        if (done)
            done(false);
        return;
    }
    auto index = [this, done = std::move(done)](const DesktopSearchRecord &record) {
        m_services.desktopSearchIndex->index(record, this).then(this, [done](const DesktopSearchIndexService::Outcome &outcome) {
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
    if (const auto preview = capturePreview(card->id())) {
        ImageExportService::pngDataAsync(*preview).then(this, std::move(keptInIndex));
        return;
    }
    modelContext().readCardData(this, *card, CanvasCard::OriginalImageBlob).then(this, std::move(keptInIndex));
}

void AppRuntime::forgetDeletedCardsInIndex()
{
    // A removal queued as a card was deleted for good is dropped when the
    // app ends before the index's worker gets to it (a large note deleted
    // and the app quit, the session ending, a crash), and one the index
    // refused is not tried again: the card's words and picture would stay
    // in the index file for good.
    if (!m_services.desktopSearchIndex)
        return;
    const auto cards = modelContext().fetchCards();
    if (!cards)
        return;
    QList<QUuid> held;
    held.reserve(cards->size());
    walkCards(*cards, 0, [&held](qsizetype, const CanvasCard *card) { held.append(card->id()); });
    (void)m_services.desktopSearchIndex->keepOnly(held, this);
    // Likewise a note deleted for good whose snips went on in other notes,
    // when the app ended before its name left their entries.
    if (const auto boards = modelContext().fetchBoards())
        (void)m_services.desktopSearchIndex->renameNotes(DesktopSearchIndexService::noteNaming(*boards, *cards), this);
    // A library restored without its index file.
    if (!m_indexRestorer) {
        m_indexRestorer = new SearchIndexRestorer(modelContext(), *m_services.desktopSearchIndex, this);
        m_indexRestorer->restore(*cards);
    }
}

bool AppRuntime::prepareAnnotationChange(CanvasCard &card, const std::optional<QByteArray> &previousAnnotations,
                                         const QSize &imageSize)
{
    if (!TextRedaction::hidesOtherAreas(previousAnnotations, card.annotationDocumentData(), imageSize))
        return false;
    // Without the words' boxes at hand, no word may stay that a new box
    // could cover; reading the picture again brings back what is visible.
    if (TextRedaction::mayHidePicture(card.annotationDocumentData()))
        card.setOcrText(QString());
    modelContext().setTextRecognitionPending(card, true);
    ++m_readingsAskedByAnnotations[card.id()];
    return true;
}

void AppRuntime::recognizeTextAgain(const QUuid &cardID, const QImage &image)
{
    const CanvasCard *card = cardWithID(cardID);
    if (!card || !card->isLive())
        return;
    // The index must not keep the words the text has just lost, even if
    // reading the picture fails.
    indexCard(card, nullptr);
    if (!m_services.ocrService)
        return;
    m_services.ocrService->recognizeText(image, this).then(this, [this, cardID](const OCRResult &recognized) {
        if (recognized)
            applyRecognizedText(*recognized, cardID);
    });
}

void AppRuntime::setLastAutomaticallyCopiedCardID(const std::optional<QUuid> &id)
{
    m_lastAutomaticallyCopiedCardID = id;
    Q_EMIT lastAutomaticallyCopiedCardIDChanged();
}

void AppRuntime::captureRegion() { captureCoordinator().beginCapture(CaptureMode::region); }
void AppRuntime::captureWindow() { captureCoordinator().beginCapture(CaptureMode::window); }
void AppRuntime::captureDisplay() { captureCoordinator().beginCapture(CaptureMode::display); }

Expected<void, QString> AppRuntime::updateShortcutConfiguration(const GlobalShortcutConfiguration &configuration)
{
    return captureCoordinator()
        .updateShortcuts(configuration)
        .transform([this] {
            m_shortcutConfiguration = captureCoordinator().shortcutConfiguration();
            Q_EMIT shortcutConfigurationChanged();
            // A working registration completes a start whose hot-key step
            // failed, with the start's last step: no later start comes to
            // renew the weekly reminder.
            if (m_isUIReady && !m_isStarted)
                completeStart();
        })
        .transform_error(&CaptureSubsystemError::errorDescription);
}

void AppRuntime::setCaptureBehaviorPreferences(const CaptureBehaviorPreferences &preferences)
{
    m_captureBehaviorPreferences = preferences;
    Q_EMIT captureBehaviorPreferencesChanged();
}

void AppRuntime::setAutomaticallyOpensRegionCaptureReview(bool value)
{
    CaptureBehaviorPreferences preferences = m_captureBehaviorPreferences;
    preferences.automaticallyOpensRegionCaptureReview = value;
    m_preferencesStore.save(preferences);
    setCaptureBehaviorPreferences(preferences);
}

void AppRuntime::setAutomaticallyCopiesCaptures(bool value)
{
    CaptureBehaviorPreferences preferences = m_captureBehaviorPreferences;
    preferences.automaticallyCopiesCaptures = value;
    m_preferencesStore.save(preferences);
    setCaptureBehaviorPreferences(preferences);
}

void AppRuntime::openScreenRecordingSettings()
{
    CaptureCoordinator &coordinator = captureCoordinator();
    coordinator.permissionHistoryStore().defaults().setBoolean(
        ScreenCapturePermissionHistoryStore::hasRequestedAccessKey(), true);
    coordinator.setReturningFromScreenCaptureSettings(true);
    coordinator.refreshPermissionState();
    const bool opened = m_services.openScreenRecordingSettings
        ? m_services.openScreenRecordingSettings()
        : ScreenCapturePermissionController::openScreenRecordingSettings();
    setErrorMessage(std::nullopt);
    setActiveCaptureError(std::nullopt);
    coordinator.clearFailure();
    if (!opened)
        setErrorMessage(PlatformTexts::openPrivacySettingsInstruction());
}

void AppRuntime::relaunchApplication()
{
    const Expected<void, QString> launched = m_services.launchNewInstance ? m_services.launchNewInstance()
                                                                          : Expected<void, QString>();
    if (launched) {
        if (m_services.windowing)
            m_services.windowing->terminate();
        return;
    }
    setErrorMessage(QStringLiteral("Tessaline could not reopen automatically. Quit it and open it again. ")
                    + launched.error());
    bringMainWindowToFront();
}

void AppRuntime::setReviewRemindersEnabled(bool wanted, bool reportFailures)
{
    if (!m_services.setRemindersEnabled)
        return;
    m_services.setRemindersEnabled(wanted, this, [this, wanted, reportFailures](const Expected<bool, QString> &answer) {
        if (answer) {
            m_navigation->setRemindersEnabled(*answer);
            if (wanted && !*answer && reportFailures) {
                setErrorMessage(QStringLiteral("Review reminders remain off because notification access is not available."));
                bringMainWindowToFront();
            }
            return;
        }
        m_navigation->setRemindersEnabled(false);
        if (reportFailures) {
            setErrorMessage(QStringLiteral("Review reminders could not be scheduled. ") + answer.error());
            bringMainWindowToFront();
        }
    });
}

bool AppRuntime::copyCardImage(const CanvasCard &card, const QImage &picture, Pasteboard &pasteboard)
{
    if (!m_captureBehaviorPreferences.automaticallyCopiesCaptures)
        return false;
    return copyCardPng(card.id(), picture.isNull() ? std::nullopt : ImageExportService::pngData(picture), pasteboard);
}

bool AppRuntime::copyCardPng(const QUuid &cardID, const std::optional<QByteArray> &png, Pasteboard &pasteboard)
{
    if (!m_captureBehaviorPreferences.automaticallyCopiesCaptures)
        return false;
    const bool copied = png && pasteboard.setImage(*png);
    setLastAutomaticallyCopiedCardID(copied ? std::optional<QUuid>(cardID) : std::nullopt);
    return copied;
}

} // namespace tessaline

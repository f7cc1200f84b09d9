#include "runtime/CapturePipeline.h"

#include "runtime/ImageExportService.h"
#include "model/Board.h"
#include "model/BoardWritingDocument.h"
#include "model/CanvasCard.h"
#include "model/ModelChangeScope.h"
#include "model/ModelContext.h"
#include "model/ThinkingSessionService.h"
#include "platform/BackgroundPool.h"
#include "platform/FutureDelivery.h"
#include "platform/PixelCopy.h"

#include <algorithm>

namespace tessaline {

CapturePipeline::CapturePipeline(ModelContext &context, QObject *parent) : QObject(parent), m_context(context) {}

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
        if (onStored)
            onStored(StoredCapture{(*card)->id(), *card, capture->result, *capture->preview});
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

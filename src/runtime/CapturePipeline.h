#pragma once

#include "capture/CaptureValues.h"
#include "model/CardDataWriter.h"
#include "platform/Expected.h"

#include <QByteArray>
#include <QImage>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUuid>

#include <QHash>

#include <deque>
#include <functional>
#include <memory>
#include <optional>

namespace tessaline {

class Board;
class DesktopSearchIndexService;
class ModelContext;
class OCRServicing;
class SearchIndexRestorer;
struct DesktopSearchRecord;
struct RecognizedText;

// Where a finished capture goes: the note active when it arrived, after the
// reference paragraph active then (none: the note the library picks).
struct CaptureDestination
{
    std::optional<QUuid> noteID;
    std::optional<QUuid> anchorID;
};

// A capture as stored: its card, and what the steps after the store use.
struct StoredCapture
{
    QUuid cardID;
    // The card as saved, for as long as it lives: looking it up again by
    // its id is a pass over the whole library.
    QPointer<CanvasCard> card;
    CaptureResult result; // without its image and its early PNG, gone by then
    QImage preview; // the picture reduced to fit previewSide, for a thumbnail
};

// The road from a finished capture to a snip the desktop's search finds by
// its words: the capture becomes a snip card, its text is read, stored and
// handed to the search index with the card.
//
// The PNG (one capture at a time), then a small preview, are made on the
// thread pool, the PNG is written into the library on the store's worker,
// and only the light card and note rows are saved on the main thread.
// Captures are stored (and reported) in the order they arrive, whichever
// finishes encoding first. Nothing is kept for text recognition, which
// reads the stored picture back when its turn comes, one capture at a time
// and never while captures are being stored. Main thread only; nothing is
// reported once it is gone.
class CapturePipeline : public QObject
{
    Q_OBJECT
public:
    // Without `recognition` no text is read; without `index` nothing is
    // indexed.
    CapturePipeline(ModelContext &context, std::shared_ptr<OCRServicing> recognition,
                    std::shared_ptr<DesktopSearchIndexService> index, QObject *parent = nullptr);
    ~CapturePipeline() override;

    // The longest side of a capture's preview: a thumbnail at three times
    // its size, never the whole picture decoded again for it.
    static constexpr int previewSide = 320;

    void submit(const CaptureResult &result, const CaptureDestination &destination);
    // No capture is being encoded or stored (its text may still be read).
    bool isIdle() const { return m_pending.empty(); }
    // The reduced picture a recent capture made for its thumbnails (at most
    // previewSide on a side); none for other cards.
    std::optional<QImage> preview(const QUuid &cardID) const;
    // The card with this id, live or not: a capture's own card when it is
    // still that card, else the newest in the library, or none.
    CanvasCard *cardWithID(const QUuid &cardID);

    // Once the first screen is up: reads the text the app did not get to
    // before it last ended, as marked in the library, and tidies the search
    // index (entries of cards deleted for good, a library restored without
    // its index). From then on, a snip whose text is owed is read as soon
    // as it comes back from Recently Deleted.
    void catchUp();

    // Keeps recognised text from outliving a redaction, in two steps around
    // the save of a card's new annotations. Before: when the areas they
    // hide differ from those of `previousAnnotations`, clears a text the new
    // areas could cover and marks the card's text as owed (as a capture's
    // is), both to be saved along with them; true when the picture must then
    // be read again. After the save: indexes what is stored and reads
    // `image` (the card's picture) again; should the app end first, the
    // mark has it read at the next start.
    bool prepareAnnotationChange(CanvasCard &card, const std::optional<QByteArray> &previousAnnotations,
                                 const QSize &imageSize);
    void recognizeTextAgain(const QUuid &cardID, const QImage &image);

    // Without `readsOriginalImage`, a thumbnail that would be the card's
    // original picture is left out.
    static DesktopSearchRecord desktopSearchRecord(const CanvasCard *card, const QList<Board *> &boards,
                                                   bool readsOriginalImage = true);

    // Called on the main thread, once per submitted capture, in order.
    std::function<void(const StoredCapture &)> onStored;
    std::function<void(const QString &message)> onFailed;

Q_SIGNALS:
    // Recognised text has been stored and handed to the index.
    void recognitionApplied(const QUuid &cardID);

private:
    struct Pending
    {
        CaptureResult result;
        CaptureDestination destination;
        bool isEncoded = false;
        std::optional<QByteArray> png; // none when encoding failed
        std::optional<QImage> preview;
        bool isStaging = false;
        std::optional<Expected<StagedCardData, StoreError>> staged;
    };

    void encodeNext();
    void makePreview(const std::shared_ptr<Pending> &pending);
    static void dropFrameOnceMade(Pending &capture);
    void storeReady();
    // The card and its reference saved; the message when that failed.
    Expected<CanvasCard *, QString> store(const Pending &capture, const StagedCardData &staged);
    // A capture stored: its preview kept, its text queued.
    void keep(const StoredCapture &capture);

    // Reads the text of the next capture waiting for it, unless one is being
    // read or captures are being stored.
    void recognizeCapturedText();
    // Applies a capture's recognised text, then reads the next, once no
    // capture is being stored.
    void applyOnceCapturesStored(const RecognizedText &recognized, const QUuid &cardID,
                                 const std::function<void()> &next);
    // Stores recognised text on a live card, without the words its
    // annotations hide at that moment, and indexes it.
    void applyRecognizedText(const RecognizedText &recognized, const QUuid &cardID);
    // Queues the cards whose text is owed, as marked in the library.
    void recognizePendingText();
    // The same from the event loop, once however often it is asked for
    // meanwhile.
    void recognizePendingTextSoon();
    // Clears the card's mark: its text is stored and indexed, or can never
    // be read. A mark that cannot be cleared has the picture read again at
    // the next start, which is said in the log.
    void clearRecognitionMark(const CanvasCard &card);
    // Hands the card as stored to the search index, its picture read off the
    // main thread; `done` runs once the index has answered, told whether the
    // card is in (true too when there is no index to hold it).
    void indexCard(const CanvasCard *card, std::function<void(bool indexed)> done);
    // Takes out of the search index what is left there of cards deleted for
    // good before the app last ended, and indexes the snips of a library
    // restored without its index.
    void tidyIndex();

    ModelContext &m_context;
    std::shared_ptr<OCRServicing> m_recognition;
    std::shared_ptr<DesktopSearchIndexService> m_index;
    // Oldest first.
    std::deque<std::shared_ptr<Pending>> m_pending;
    bool m_isEncoding = false;
    bool m_isStoring = false;
    // The last few captures' previews, newest last.
    std::deque<std::pair<QUuid, QImage>> m_previews;
    // Captures whose text is yet to be read, oldest first.
    std::deque<QUuid> m_capturesAwaitingText;
    // The capture whose text is with recognition now, if any.
    std::optional<QUuid> m_captureTextBeingRead;
    // Its text, read while captures were being stored, waiting for them.
    std::function<void()> m_textAwaitingStoredCaptures;
    // The cards of the captures above, as their saves made them.
    QHash<QUuid, QPointer<CanvasCard>> m_capturedCards;
    // How many times each card's annotations have asked for its picture to
    // be read again, this session.
    QHash<QUuid, quint64> m_readingsAskedByAnnotations;
    SearchIndexRestorer *m_indexRestorer = nullptr;
    bool m_caughtUp = false;
    bool m_pendingTextLookScheduled = false;
};

} // namespace tessaline

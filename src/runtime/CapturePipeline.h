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

#include <deque>
#include <functional>
#include <memory>
#include <optional>

namespace tessaline {

class ModelContext;

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

// Turns finished captures into snip cards. The PNG (one capture at a time),
// then a small preview, are made on the thread pool, the PNG is written into the library on the
// store's worker, and only the light card and note rows are saved on the
// main thread. Captures are stored (and reported) in the order they arrive,
// whichever finishes encoding first. Nothing is kept for text recognition,
// which reads the stored picture back when its turn comes. Main thread only;
// nothing is reported once it is gone.
class CapturePipeline : public QObject
{
    Q_OBJECT
public:
    explicit CapturePipeline(ModelContext &context, QObject *parent = nullptr);
    ~CapturePipeline() override;

    // The longest side of a capture's preview: a thumbnail at three times
    // its size, never the whole picture decoded again for it.
    static constexpr int previewSide = 320;

    void submit(const CaptureResult &result, const CaptureDestination &destination);
    bool isIdle() const { return m_pending.empty(); }

    // Called on the main thread, once per submitted capture, in order.
    std::function<void(const StoredCapture &)> onStored;
    std::function<void(const QString &message)> onFailed;

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

    ModelContext &m_context;
    // Oldest first.
    std::deque<std::shared_ptr<Pending>> m_pending;
    bool m_isEncoding = false;
    bool m_isStoring = false;
};

} // namespace tessaline

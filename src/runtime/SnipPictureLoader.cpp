#include "runtime/SnipPictureLoader.h"

#include "model/AnnotationDocument.h"
#include "model/AnnotationRenderer.h"
#include "model/CanvasCard.h"
#include "platform/ImageDecoder.h"

#include <QCoreApplication>
#include <QtConcurrent/QtConcurrentRun>

namespace tessaline {

SnipPictureLoader::SnipPictureLoader(QObject *parent)
    : QObject(parent), m_allocationLimit(ImageDecoder::defaultAllocationLimit)
{
}

// Loads under way hold copies of their bytes; their continuations go with
// this object.
SnipPictureLoader::~SnipPictureLoader() = default;

SharedSnipPicture SnipPictureLoader::render(const QByteArray &imageData, const std::optional<QByteArray> &annotationData,
                                            qint64 allocationLimit)
{
    // TODO: flatten through the model's one card renderer once it can take
    // a picture decoded under an allocation limit.
    auto decoded = ImageDecoder::decode(imageData, allocationLimit);
    if (!decoded)
        return nullptr;
    const AnnotationDocument annotations = AnnotationDocument::decode(annotationData);
    std::optional<QImage> rendered = AnnotationRenderer::renderImage(*decoded, annotations.items);
    if (!rendered)
        return nullptr;
    return std::make_shared<const SnipPicture>(std::move(*rendered));
}

QFuture<SharedSnipPicture> SnipPictureLoader::load(const CanvasCard &card)
{
    const auto found = m_entries.constFind(card.id());
    if (found != m_entries.cend() && found->version == card.updatedAt())
        return found->future;

    Entry fresh;
    fresh.version = card.updatedAt();
    // The store is read here, on the main thread; only bytes cross over.
    const std::optional<QByteArray> imageData = card.hasOriginalImageData() ? card.originalImageData() : std::nullopt;
    if (!imageData || imageData->isEmpty()) {
        fresh.state = State::unavailable;
        fresh.future = QtFuture::makeReadyFuture(SharedSnipPicture());
        m_entries.insert(card.id(), fresh);
        return fresh.future;
    }
    fresh.storedSize = ImageDecoder::imageSize(*imageData);
    const std::optional<QByteArray> annotationData = card.annotationDocumentData();
    const QUuid cardID = card.id();
    const QDateTime version = fresh.version;
    fresh.work = QtConcurrent::run(&SnipPictureLoader::render, *imageData, annotationData, m_allocationLimit);
    fresh.future = fresh.work.then(this, [this, cardID, version](SharedSnipPicture picture) {
                           const auto it = m_entries.find(cardID);
                           if (it != m_entries.end() && it->version == version) {
                               it->state = picture ? State::ready : State::unavailable;
                               it->picture = picture;
                               Q_EMIT pictureChanged(cardID);
                           }
                           return picture;
                       });
    m_entries.insert(cardID, fresh);
    return fresh.future;
}

const SnipPictureLoader::Entry *SnipPictureLoader::entry(const CanvasCard &card) const
{
    const auto found = m_entries.constFind(card.id());
    if (found == m_entries.cend() || found->version != card.updatedAt())
        return nullptr;
    return &*found;
}

SnipPictureLoader::State SnipPictureLoader::state(const CanvasCard &card)
{
    if (const Entry *known = entry(card))
        return known->state;
    load(card);
    return m_entries.value(card.id()).state;
}

SharedSnipPicture SnipPictureLoader::picture(const CanvasCard &card) const
{
    const Entry *known = entry(card);
    return known ? known->picture : nullptr;
}

QSize SnipPictureLoader::storedSize(const CanvasCard &card) const
{
    const Entry *known = entry(card);
    return known ? known->storedSize : QSize();
}

void SnipPictureLoader::keepOnly(const QList<QUuid> &cardIDs)
{
    for (auto it = m_entries.begin(); it != m_entries.end();) {
        if (cardIDs.contains(it.key()))
            ++it;
        else
            it = m_entries.erase(it);
    }
}

void SnipPictureLoader::waitForPending()
{
    for (;;) {
        bool pending = false;
        for (const Entry &known : std::as_const(m_entries)) {
            if (known.state == State::loading) {
                pending = true;
                // Not the hand-back: it needs this thread to run.
                QFuture<SharedSnipPicture> work = known.work;
                work.waitForFinished();
                break;
            }
        }
        if (!pending)
            return;
        // The continuation runs on this thread; deliver it now.
        QCoreApplication::sendPostedEvents();
    }
}

} // namespace tessaline

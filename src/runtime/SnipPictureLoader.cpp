#include "runtime/SnipPictureLoader.h"

#include "model/AnnotatedCardRenderer.h"
#include "model/CanvasCard.h"
#include "model/PersistentEntity.h"
#include "platform/BackgroundPool.h"
#include "platform/FutureDelivery.h"
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
    auto rendered = renderAnnotatedCard(imageData, annotationData, allocationLimit);
    if (!rendered)
        return nullptr;
    return std::make_shared<const SnipPicture>(std::move(*rendered));
}

QFuture<SharedSnipPicture> SnipPictureLoader::load(const CanvasCard &card)
{
    const auto found = m_entries.constFind(card.id());
    if (found != m_entries.cend() && found->version == card.updatedAt())
        return found->future;

    forget(card.id());
    Entry fresh;
    fresh.version = card.updatedAt();
    const QUuid cardID = card.id();
    // An edit need not touch the change date until it is saved; the picture
    // must follow the annotations at once, or a copy could miss a redaction.
    fresh.watch = connect(&card, &PersistentEntity::changed, this, [this, cardID](int property) {
        if (property == CanvasCard::OriginalImageDataProperty || property == CanvasCard::AnnotationDocumentDataProperty) {
            forget(cardID);
            Q_EMIT pictureChanged(cardID);
        }
    });
    // The store is read here, on the main thread; only bytes cross over.
    const std::optional<QByteArray> imageData = card.hasOriginalImageData() ? card.originalImageData() : std::nullopt;
    if (!imageData || imageData->isEmpty()) {
        fresh.state = State::unavailable;
        fresh.future = QtFuture::makeReadyFuture(SharedSnipPicture());
        m_entries.insert(cardID, fresh);
        return fresh.future;
    }
    fresh.storedSize = ImageDecoder::imageSize(*imageData);
    const std::optional<QByteArray> annotationData = card.annotationDocumentData();
    const quint64 generation = fresh.generation = ++m_generations;
    fresh.work = QtConcurrent::run(&backgroundPool(), &SnipPictureLoader::render, *imageData, annotationData, m_allocationLimit);
    QFuture<SharedSnipPicture> work = fresh.work;
    m_entries.insert(cardID, fresh);
    const QFuture<SharedSnipPicture> handedBack
        = deliveredTo(this, work).then(this, [this, cardID, generation](SharedSnipPicture picture) {
              const auto it = m_entries.find(cardID);
              if (it != m_entries.end() && it->generation == generation) {
                  it->state = picture ? State::ready : State::unavailable;
                  it->picture = picture;
                  Q_EMIT pictureChanged(cardID);
              }
              return picture;
          });
    const auto it = m_entries.find(cardID);
    if (it != m_entries.end() && it->generation == generation)
        it->future = handedBack;
    return handedBack;
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

void SnipPictureLoader::forget(const QUuid &cardID)
{
    const auto found = m_entries.find(cardID);
    if (found == m_entries.end())
        return;
    disconnect(found->watch);
    m_entries.erase(found);
}

void SnipPictureLoader::keepOnly(const QList<QUuid> &cardIDs)
{
    for (auto it = m_entries.begin(); it != m_entries.end();) {
        if (cardIDs.contains(it.key())) {
            ++it;
        } else {
            disconnect(it->watch);
            it = m_entries.erase(it);
        }
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

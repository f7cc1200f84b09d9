#include "runtime/SnipPictureLoader.h"

#include "model/AnnotatedCardRenderer.h"
#include "model/CanvasCard.h"
#include "model/PersistentEntity.h"
#include "platform/BackgroundPool.h"
#include "platform/FutureDelivery.h"
#include "platform/ImageDecoder.h"
#include "runtime/SnipPictureReading.h"

#include <QCoreApplication>

#include <algorithm>

namespace tessaline {

SnipPictureLoader::SnipPictureLoader(QObject *parent)
    : QObject(parent), m_allocationLimit(ImageDecoder::defaultAllocationLimit)
{
}

// Loads under way hold their own bytes; their steps on this thread go with
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
    if (!card.hasOriginalImageData()) {
        fresh.state = State::unavailable;
        fresh.sized = QtFuture::makeReadyFuture(QSize());
        fresh.future = QtFuture::makeReadyFuture(SharedSnipPicture());
        m_entries.insert(cardID, fresh);
        return fresh.future;
    }
    const std::optional<QByteArray> annotationData = card.annotationDocumentData();
    const quint64 generation = fresh.generation = ++m_generations;
    // Reported on this thread as soon as the bytes are here: a pin opens at
    // its size, and the gallery lays out, before the picture is decoded.
    QFutureInterface<QSize> sized;
    sized.reportStarted();
    fresh.sized = sized.future();
    m_entries.insert(cardID, fresh);
    const qint64 allocationLimit = m_allocationLimit;
    // A load dropped by keepOnly or an edit still finishes: whoever holds
    // its future (a pin opening) gets the picture.
    const QFuture<SharedSnipPicture> decoded
        = readStoredPicture(this, card)
              .then(this,
                    [this, cardID, generation, sized](const std::optional<QByteArray> &imageData) mutable {
                        const QSize size = imageData && !imageData->isEmpty() ? ImageDecoder::imageSize(*imageData)
                                                                                : QSize();
                        if (Entry *known = current(cardID, generation)) {
                            known->storedSize = size;
                            Q_EMIT pictureChanged(cardID);
                        }
                        sized.reportResult(size);
                        sized.reportFinished();
                        return imageData;
                    })
              .then(&backgroundPool(), [annotationData, allocationLimit](const std::optional<QByteArray> &imageData) {
                  if (!imageData || imageData->isEmpty())
                      return SharedSnipPicture();
                  return render(*imageData, annotationData, allocationLimit);
              });
    const QFuture<SharedSnipPicture> handedBack
        = deliveredTo(this, decoded).then(this, [this, cardID, generation](SharedSnipPicture picture) {
              if (Entry *known = current(cardID, generation)) {
                  known->state = picture ? State::ready : State::unavailable;
                  known->picture = picture;
                  Q_EMIT pictureChanged(cardID);
              }
              return picture;
          });
    if (Entry *known = current(cardID, generation))
        known->future = handedBack;
    return handedBack;
}

SnipPictureLoader::Entry *SnipPictureLoader::current(const QUuid &cardID, quint64 generation)
{
    const auto found = m_entries.find(cardID);
    return found != m_entries.end() && found->generation == generation ? &*found : nullptr;
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

QFuture<QSize> SnipPictureLoader::storedSizeFuture(const CanvasCard &card) const
{
    const Entry *known = entry(card);
    return known ? known->sized : QtFuture::makeReadyFuture(QSize());
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
    // Every step hands back through this thread's events: the read, the
    // size, the decoded picture.
    const auto pending = [this] {
        return std::any_of(m_entries.cbegin(), m_entries.cend(),
                           [](const Entry &known) { return known.state == State::loading; });
    };
    while (pending())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

} // namespace tessaline

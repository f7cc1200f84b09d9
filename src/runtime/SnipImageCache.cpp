#include "runtime/SnipImageCache.h"

#include "model/AnnotatedCardRenderer.h"
#include "model/CanvasCard.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QFutureWatcher>
#include <QImageReader>
#include <QtConcurrent/QtConcurrentRun>

#include <cmath>

namespace tessaline {

namespace {

// Masters only serve a new drawn size; the fitted pixmaps are what painting
// uses, so they get the larger share.
constexpr int masterBudgetKiB = 96 * 1024;
constexpr int scaledBudgetKiB = 192 * 1024;

// The widest column and the tallest picture of any size, in points.
constexpr QSize largestDrawnPicture(940, 460);

int costKiB(const QImage &image)
{
    return std::max(1, int(image.sizeInBytes() / 1024));
}

struct Decoded
{
    std::optional<QImage> master;
    QSize imageSize;
};

Decoded decode(const std::optional<QByteArray> &imageData, const std::optional<QByteArray> &annotationData,
               const QSize &limit)
{
    std::optional<QImage> image = SnipImageCache::annotatedImage(imageData, annotationData);
    if (!image)
        return {};
    const QSize size = image->size();
    if (size.width() > limit.width() || size.height() > limit.height())
        image = image->scaled(limit, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return {std::move(image), size};
}

} // namespace

class SnipImageCache::Decoder : public QFutureWatcher<Decoded>
{
public:
    Key key;
};

SnipImageCache::SnipImageCache(QObject *parent)
    : QObject(parent)
{
    m_masters.setMaxCost(masterBudgetKiB);
    m_scaled.setMaxCost(scaledBudgetKiB);
}

// Pending decoders are children: a running decode holds only copies of the
// bytes and finishes unobserved.
SnipImageCache::~SnipImageCache() = default;

QSize SnipImageCache::masterLimit()
{
    qreal ratio = 1;
    for (const QScreen *screen : QGuiApplication::screens())
        ratio = std::max(ratio, screen->devicePixelRatio());
    return QSize(int(std::ceil(largestDrawnPicture.width() * ratio)), int(std::ceil(largestDrawnPicture.height() * ratio)));
}

SnipImageCache::Key SnipImageCache::keyOf(const CanvasCard &card)
{
    return {card.id(), card.updatedAt()};
}

SnipImageCache::State SnipImageCache::state(const CanvasCard &card)
{
    const Key key = keyOf(card);
    const auto entry = m_entries.constFind(key);
    if (entry == m_entries.cend()) {
        start(card, key);
        return m_entries.value(key).state;
    }
    return entry->state;
}

std::optional<QSize> SnipImageCache::imageSize(const CanvasCard &card) const
{
    const auto entry = m_entries.constFind(keyOf(card));
    if (entry == m_entries.cend() || entry->state != State::ready)
        return std::nullopt;
    return entry->imageSize;
}

QPixmap SnipImageCache::pixmap(const CanvasCard &card, const QSize &devicePixels)
{
    if (devicePixels.isEmpty() || state(card) != State::ready)
        return QPixmap();
    const Key key = keyOf(card);
    const Scaled scaledKey{key, devicePixels};
    if (const QPixmap *cached = m_scaled.object(scaledKey))
        return *cached;
    const QImage *master = m_masters.object(key);
    if (!master) {
        // Evicted since: decode again and draw the placeholder meanwhile.
        m_entries[key].state = State::loading;
        start(card, key);
        return QPixmap();
    }
    const QImage fitted = master->size() == devicePixels
        ? *master
        : master->scaled(devicePixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    auto *result = new QPixmap(QPixmap::fromImage(fitted));
    const QPixmap copy = *result;
    m_scaled.insert(scaledKey, result, costKiB(fitted));
    return copy;
}

void SnipImageCache::start(const CanvasCard &card, const Key &key)
{
    m_entries.insert(key, Entry{});
    // The store is read here, on the main thread; only bytes cross over.
    const std::optional<QByteArray> imageData = card.originalImageData();
    if (!imageData || imageData->isEmpty()) {
        m_entries[key].state = State::unavailable;
        return;
    }
    const std::optional<QByteArray> annotationData = card.annotationDocumentData();

    auto *decoder = new Decoder;
    decoder->setParent(this);
    decoder->key = key;
    m_pending.append(decoder);
    connect(decoder, &QFutureWatcher<Decoded>::finished, this, [this, decoder]() {
        if (!m_pending.removeOne(decoder))
            return;
        const Decoded decoded = decoder->result();
        Entry &entry = m_entries[decoder->key];
        if (decoded.master) {
            entry.state = State::ready;
            entry.imageSize = decoded.imageSize;
            m_masters.insert(decoder->key, new QImage(*decoded.master), costKiB(*decoded.master));
        } else {
            entry.state = State::unavailable;
        }
        const QUuid cardID = decoder->key.cardID;
        decoder->deleteLater();
        Q_EMIT imageReady(cardID);
    });
    decoder->setFuture(QtConcurrent::run(decode, imageData, annotationData, masterLimit()));
}

void SnipImageCache::waitForPending()
{
    while (!m_pending.isEmpty()) {
        Decoder *decoder = m_pending.constFirst();
        decoder->waitForFinished();
        // Delivers the watcher's finished signal now.
        QCoreApplication::sendPostedEvents(decoder);
        if (m_pending.contains(decoder) && decoder->future().isFinished())
            Q_EMIT decoder->finished();
    }
}

std::optional<QImage> SnipImageCache::annotatedImage(const CanvasCard &card)
{
    auto image = renderAnnotatedCard(card);
    if (!image)
        return std::nullopt;
    return *std::move(image);
}

std::optional<QImage> SnipImageCache::annotatedImage(const std::optional<QByteArray> &imageData,
                                                     const std::optional<QByteArray> &annotationData)
{
    auto image = renderAnnotatedCard(imageData, annotationData);
    if (!image)
        return std::nullopt;
    return *std::move(image);
}

} // namespace tessaline

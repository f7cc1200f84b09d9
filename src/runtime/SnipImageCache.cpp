#include "runtime/SnipImageCache.h"

#include "model/AnnotationDocument.h"
#include "model/CanvasCard.h"
#include "platform/ImageDecoder.h"
#include "runtime/SnipPictureReading.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QImageReader>
#include <QThread>

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

} // namespace

SnipImageCache::Decoded SnipImageCache::decode(const std::optional<QByteArray> &imageData,
                                               const std::optional<QByteArray> &annotationData, const QSize &limit)
{
    // A picture with nothing drawn on it is read straight into the master's
    // size: a 5K capture in full is 60 MB, for a picture of a column's width.
    // Its own size comes from its header; a picture whose header does not
    // tell is read in full.
    const auto document = AnnotationDocument::decode(annotationData);
    if (const QSize size = imageData ? ImageDecoder::imageSize(*imageData) : QSize();
        document && document->items.isEmpty() && size.isValid()) {
        auto fitted = ImageDecoder::decodeFitted(*imageData, limit);
        if (!fitted)
            return {};
        return {*std::move(fitted), size};
    }
    auto drawn = drawSnipPicture(imageData, annotationData, SnipPictureDrawing::annotated);
    if (!drawn)
        return {};
    std::optional<QImage> image = *std::move(drawn);
    const QSize size = image->size();
    if (size.width() > limit.width() || size.height() > limit.height())
        image = image->scaled(limit, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return {std::move(image), size};
}

SnipImageCache::SnipImageCache(QObject *parent)
    : QObject(parent)
{
    m_masters.setMaxCost(masterBudgetKiB);
    m_scaled.setMaxCost(scaledBudgetKiB);
}

// A running decode holds only copies of the bytes and finishes unobserved.
SnipImageCache::~SnipImageCache() = default;

QSize SnipImageCache::masterLimit()
{
    qreal ratio = 1;
    for (const QScreen *screen : QGuiApplication::screens())
        ratio = std::max(ratio, screen->devicePixelRatio());
    return QSize(int(std::ceil(largestDrawnPicture.width() * ratio)), int(std::ceil(largestDrawnPicture.height() * ratio)));
}

SnipImageCache::Key SnipImageCache::keyOf(const CanvasCard &card) const
{
    return {card.id(), m_revisions.revision(card)};
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
    return scaledPixmap(card, devicePixels, false);
}

QPixmap SnipImageCache::coveringPixmap(const CanvasCard &card, const QSize &devicePixels)
{
    return scaledPixmap(card, devicePixels, true);
}

QPixmap SnipImageCache::scaledPixmap(const CanvasCard &card, const QSize &devicePixels, bool covering)
{
    if (devicePixels.isEmpty() || state(card) != State::ready)
        return QPixmap();
    const Key key = keyOf(card);
    const Scaled scaledKey{key, devicePixels, covering};
    if (const QPixmap *cached = m_scaled.object(scaledKey))
        return *cached;
    const QImage *master = m_masters.object(key);
    if (!master) {
        // Evicted since: decode again and draw the placeholder meanwhile.
        m_entries[key].state = State::loading;
        start(card, key);
        return QPixmap();
    }
    QImage fitted;
    if (master->size() == devicePixels) {
        fitted = *master;
    } else if (covering) {
        const QImage cover = master->scaled(devicePixels, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
        fitted = cover.copy(QRect(QPoint((cover.width() - devicePixels.width()) / 2,
                                         (cover.height() - devicePixels.height()) / 2),
                                  devicePixels));
    } else {
        fitted = master->scaled(devicePixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    auto *result = new QPixmap(QPixmap::fromImage(fitted));
    const QPixmap copy = *result;
    m_scaled.insert(scaledKey, result, costKiB(fitted));
    return copy;
}

void SnipImageCache::start(const CanvasCard &card, const Key &key)
{
    m_entries.insert(key, Entry{});
    if (!card.hasOriginalImageData()) {
        m_entries[key].state = State::unavailable;
        return;
    }
    m_waiting.emplace_back(key, &card);
    startWaiting();
}

void SnipImageCache::startWaiting()
{
    while (m_running < concurrentDecodes && !m_waiting.empty()) {
        const auto [key, card] = m_waiting.front();
        m_waiting.pop_front();
        // A card gone or changed since is asked for again under its new
        // version, if at all.
        if (!card || keyOf(*card) != key) {
            m_entries.remove(key);
            continue;
        }
        ++m_running;
        readCardPicture(this, *card,
                        [annotationData = card->annotationDocumentData(), limit = masterLimit()](
                            const std::optional<QByteArray> &imageData) {
                            return imageData && !imageData->isEmpty() ? decode(imageData, annotationData, limit)
                                                                      : Decoded{};
                        })
            .then(this, [this, key](const Decoded &decoded) { finish(key, decoded); });
    }
}

void SnipImageCache::finish(const Key &key, const Decoded &decoded)
{
    --m_running;
    Entry &entry = m_entries[key];
    if (decoded.master) {
        entry.state = State::ready;
        entry.imageSize = decoded.imageSize;
        m_masters.insert(key, new QImage(*decoded.master), costKiB(*decoded.master));
    } else {
        entry.state = State::unavailable;
    }
    Q_EMIT imageReady(key.cardID);
    startWaiting();
}

void SnipImageCache::waitForPending()
{
    // Reads answer on the store's worker and decodes on the pool; both come
    // back as events.
    while (m_running > 0 || !m_waiting.empty()) {
        QThread::yieldCurrentThread();
        QCoreApplication::sendPostedEvents();
    }
}

} // namespace tessaline

#include "canvas/CardPictures.h"

#include "canvas/CardPresentation.h"
#include "model/CanvasCard.h"
#include "runtime/SnipImageCache.h"

#include <QImage>

namespace tessaline {

namespace {

// Fitted pixmaps of the cards on screen and those scrolled past lately.
constexpr int budgetKiB = 128 * 1024;

QSize fillSize(const QSize &image, const QSize &target)
{
    return image.scaled(target, Qt::KeepAspectRatioByExpanding);
}

int costKiB(const QPixmap &pixmap)
{
    return std::max(1, int(qint64(pixmap.width()) * pixmap.height() * 4 / 1024));
}

} // namespace

CardPictures::CardPictures(SnipImageCache &cache, QObject *parent)
    : QObject(parent)
    , m_cache(&cache)
{
    m_entries.setMaxCost(budgetKiB);
    connect(&cache, &SnipImageCache::imageReady, this, [this](const QUuid &cardID) {
        if (m_revisions.watches(cardID))
            Q_EMIT pictureReady(cardID);
    });
}

CardPictures::Picture CardPictures::store(const QUuid &id, int revision, State state, const QSize &devicePixels,
                                          const QPixmap &pixmap)
{
    m_entries.insert(id, new Entry{revision, state, devicePixels, pixmap}, pixmap.isNull() ? 1 : costKiB(pixmap));
    return {state, pixmap};
}

CardPictures::Picture CardPictures::picture(const CanvasCard &card, const QSize &devicePixels)
{
    const QUuid id = card.id();
    const int current = m_revisions.revision(card);
    const Entry *entry = m_entries.object(id);
    if (entry && entry->revision == current && entry->state != State::loading &&
        (entry->state == State::unavailable || entry->devicePixels == devicePixels))
        return {entry->state, entry->pixmap};

    const CardPresentation::PictureSource source = CardPresentation::of(card).pictureSource;
    if (source == CardPresentation::PictureSource::none || devicePixels.isEmpty() || !m_cache)
        return store(id, current, State::unavailable, devicePixels, {});

    if (source == CardPresentation::PictureSource::thumbnail) {
        // Thumbnails are small: read and decoded here, once per revision and size.
        QImage image;
        const std::optional<QByteArray> data = card.thumbnailImageData();
        if (!data || !image.loadFromData(*data) || image.isNull())
            return store(id, current, State::unavailable, devicePixels, {});
        const QImage fitted = image.scaled(fillSize(image.size(), devicePixels), Qt::IgnoreAspectRatio,
                                           Qt::SmoothTransformation);
        return store(id, current, State::ready, devicePixels, QPixmap::fromImage(fitted));
    }

    const QPixmap stale = entry ? entry->pixmap : QPixmap();
    switch (m_cache->state(card)) {
    case SnipImageCache::State::unavailable:
        return store(id, current, State::unavailable, devicePixels, {});
    case SnipImageCache::State::loading:
        return {State::loading, stale};
    case SnipImageCache::State::ready:
        break;
    }
    const std::optional<QSize> imageSize = m_cache->imageSize(card);
    const QPixmap fitted = imageSize ? m_cache->pixmap(card, fillSize(*imageSize, devicePixels)) : QPixmap();
    if (fitted.isNull()) // dropped from the cache meanwhile: being decoded again
        return {State::loading, stale};
    return store(id, current, State::ready, devicePixels, fitted);
}

} // namespace tessaline

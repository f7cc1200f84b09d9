#pragma once

#include "runtime/CardPictureRevisions.h"

#include <QCache>
#include <QFuture>
#include <QHash>
#include <QImage>
#include <QObject>
#include <QPixmap>
#include <QPointer>
#include <QSize>
#include <QUuid>

#include <deque>
#include <optional>

namespace tessaline {

class CanvasCard;

// The pictures of snips shown inside a note's writing. A card's stored PNG is
// read from the library on the store's worker, decoded, its annotations drawn
// and the result scaled down once, off the main thread; the result is kept
// per card and per change of what the picture is drawn from
// (CardPictureRevisions), and each drawn size is scaled once from it. Painting only ever blits a ready pixmap. Pictures are
// read and decoded in turn: a burst of 5K captures would otherwise hold every
// one decoded at once.
class SnipImageCache : public QObject
{
    Q_OBJECT
public:
    // The largest picture kept per card, in device pixels: the widest column
    // at the tallest size, at the densest screen's pixel ratio.
    static QSize masterLimit();

    // How many pictures are read and decoded at the same time: one, as a
    // decoded 5K picture alone is 60 MB.
    static constexpr int concurrentDecodes = 1;

    explicit SnipImageCache(QObject *parent = nullptr);
    ~SnipImageCache() override;

    enum class State { loading, ready, unavailable };

    // Starts decoding when nothing is known of this version of the card.
    State state(const CanvasCard &card);
    // The picture's own size once it is ready.
    std::optional<QSize> imageSize(const CanvasCard &card) const;
    // The picture fitted in `devicePixels`, once ready; a null pixmap before.
    // The caller keeps the picture's proportions: the size is taken as asked.
    QPixmap pixmap(const CanvasCard &card, const QSize &devicePixels);
    // The picture, proportions kept, covering `devicePixels`: what falls
    // outside is cut off evenly on both sides. For tiles of one fixed shape.
    QPixmap coveringPixmap(const CanvasCard &card, const QSize &devicePixels);

    // Waits for every decoding started so far (tests and benchmarks).
    void waitForPending();

Q_SIGNALS:
    // A card's picture became ready or turned out unavailable.
    void imageReady(const QUuid &cardID);

private:
    struct Key
    {
        QUuid cardID;
        int revision = 0;
        friend bool operator==(const Key &, const Key &) = default;
    };
    friend size_t qHash(const Key &key, size_t seed) { return qHashMulti(seed, key.cardID, key.revision); }

    struct Entry
    {
        State state = State::loading;
        QSize imageSize;
    };
    struct Scaled
    {
        Key key;
        QSize devicePixels;
        bool covering = false;
        friend bool operator==(const Scaled &, const Scaled &) = default;
    };
    friend size_t qHash(const Scaled &scaled, size_t seed)
    {
        return qHashMulti(seed, scaled.key.cardID, scaled.key.revision, scaled.devicePixels.width(),
                          scaled.devicePixels.height(), scaled.covering);
    }

    struct Decoded
    {
        std::optional<QImage> master;
        QSize imageSize;
    };

    static Decoded decode(const std::optional<QByteArray> &imageData, const std::optional<QByteArray> &annotationData,
                          const QSize &limit);
    Key keyOf(const CanvasCard &card) const;
    QPixmap scaledPixmap(const CanvasCard &card, const QSize &devicePixels, bool covering);
    void start(const CanvasCard &card, const Key &key);
    void startWaiting();
    void finish(const Key &key, const Decoded &decoded);

    // Watching a card is no change of what the cache holds.
    mutable CardPictureRevisions m_revisions;
    QHash<Key, Entry> m_entries;
    // Bounded by bytes; an evicted master is decoded again when a new size
    // is asked for.
    QCache<Key, QImage> m_masters;
    QCache<Scaled, QPixmap> m_scaled;
    // Pictures waiting for their turn, oldest first.
    std::deque<std::pair<Key, QPointer<const CanvasCard>>> m_waiting;
    // Pictures being read or decoded, until their result is taken in here.
    int m_running = 0;
};

} // namespace tessaline

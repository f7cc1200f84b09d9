#pragma once

#include "runtime/SnipPicture.h"

#include <QDateTime>
#include <QFuture>
#include <QHash>
#include <QObject>
#include <QSize>
#include <QUuid>

namespace tessaline {

class CanvasCard;

// Turns stored snips into pictures for the gallery and the pins: the bytes
// are read on the store's worker (a 5K capture is megabytes, tens of
// milliseconds to read), their header tells the size on the main thread,
// then they are decoded (held to an allocation limit), annotated and given
// their levels on the thread pool, and handed back on the main thread. Only the pictures it is told to keep
// stay in memory, so paging through any number of snips costs the same.
class SnipPictureLoader : public QObject
{
    Q_OBJECT
public:
    enum class State { loading, ready, unavailable };

    explicit SnipPictureLoader(QObject *parent = nullptr);
    ~SnipPictureLoader() override;

    // Decoded bytes a stored picture may need; larger ones are unavailable.
    void setAllocationLimit(qint64 bytes) { m_allocationLimit = bytes; }

    // The picture of this version of the card (a later change of its
    // picture or its annotations, saved or not, is a new version); starts
    // loading it when it is not known yet. Delivers null
    // when the card has no readable picture or its annotations cannot be
    // drawn: a snip is never shown or exported without them.
    QFuture<SharedSnipPicture> load(const CanvasCard &card);
    State state(const CanvasCard &card);
    // Null unless ready.
    SharedSnipPicture picture(const CanvasCard &card) const;
    // The pixel size the stored header gives, known once the bytes have
    // been read, well before the picture is decoded (pictureChanged tells);
    // invalid before or when unreadable.
    QSize storedSize(const CanvasCard &card) const;
    // The same as it becomes known, for the load last started for the card;
    // finishes on this thread, invalid when there is no readable picture.
    QFuture<QSize> storedSizeFuture(const CanvasCard &card) const;

    // Drops every picture except these cards'. Loads under way for other
    // cards finish unobserved.
    void keepOnly(const QList<QUuid> &cardIDs);

    // Blocks until every load started so far has been handed back (tests and
    // benchmarks).
    void waitForPending();

    // The whole road off the main thread, from stored bytes; null when
    // unreadable, too large or not drawable with its annotations.
    static SharedSnipPicture render(const QByteArray &imageData, const std::optional<QByteArray> &annotationData,
                                    qint64 allocationLimit);

Q_SIGNALS:
    // The card's picture became ready or unavailable, or its stored size
    // became known.
    void pictureChanged(const QUuid &cardID);

private:
    struct Entry
    {
        QDateTime version;
        // Tells this load's hand-back from an earlier one's of the card.
        quint64 generation = 0;
        State state = State::loading;
        QSize storedSize;
        QFuture<QSize> sized;
        // The hand-back on this thread.
        QFuture<SharedSnipPicture> future;
        SharedSnipPicture picture;
        // Drops the entry when the card's picture or annotations change.
        QMetaObject::Connection watch;
    };

    const Entry *entry(const CanvasCard &card) const;
    Entry *current(const QUuid &cardID, quint64 generation);
    void forget(const QUuid &cardID);

    qint64 m_allocationLimit;
    quint64 m_generations = 0;
    QHash<QUuid, Entry> m_entries;
};

} // namespace tessaline

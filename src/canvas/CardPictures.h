#pragma once

#include "runtime/CardPictureRevisions.h"

#include <QCache>
#include <QHash>
#include <QObject>
#include <QPixmap>
#include <QPointer>
#include <QSize>
#include <QUuid>

namespace tessaline {

class CanvasCard;
class SnipImageCache;

// The pictures of snips on a map. Stored pictures are decoded once (by the
// app's snip image cache, with their annotations drawn) and fitted once per
// drawn size; a card that only moves or resizes keeps its picture, so
// layout edits never decode again or flash a placeholder. A thumbnail, when
// a card has one, is shown instead of the original and is decoded here.
class CardPictures : public QObject
{
    Q_OBJECT
public:
    enum class State { loading, ready, unavailable };

    struct Picture
    {
        State state = State::loading;
        // Fills `devicePixels` with the aspect ratio kept (its overflow is
        // for the painter to cut). While loading, an older picture of the
        // card when there is one.
        QPixmap pixmap;
    };

    explicit CardPictures(SnipImageCache &cache, QObject *parent = nullptr);

    Picture picture(const CanvasCard &card, const QSize &devicePixels);

Q_SIGNALS:
    // A picture asked for earlier is ready, or turned out unreadable.
    void pictureReady(const QUuid &cardID);

private:
    struct Entry
    {
        int revision = 0;
        State state = State::loading;
        QSize devicePixels;
        QPixmap pixmap;
    };

    Picture store(const QUuid &id, int revision, State state, const QSize &devicePixels, const QPixmap &pixmap);

    QPointer<SnipImageCache> m_cache;
    CardPictureRevisions m_revisions;
    QCache<QUuid, Entry> m_entries;
};

} // namespace tessaline

#pragma once

#include "runtime/SnipPicture.h"

#include <QFuture>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QSize>
#include <QUuid>

namespace tessaline {

class CanvasCard;
class FloatingWindows;
class Pasteboard;
class PinnedImageView;
class SnipPictureLoader;

// Owns the pins: at most one floating window per card. Pinning a card that
// is pinned already only raises its window (keeping its size, place and
// opacity); a pin ends when the user closes it, from its own controls or
// through the window manager, after which the card can be pinned afresh.
// Pins are not kept across runs. Main thread only.
class PinWindowController : public QObject
{
    Q_OBJECT
public:
    // The process's one controller, on the session's window system.
    static PinWindowController &shared();

    PinWindowController(FloatingWindows &floating, Pasteboard &pasteboard, QObject *parent = nullptr);
    ~PinWindowController() override;

    // Shows the pin of the card with this picture.
    void pin(const QImage &image, const QUuid &id);
    // Shows the pin of a stored snip with its annotations drawn in: it opens
    // at its size once the bytes are read on the store's worker, and shows a
    // placeholder until the picture is decoded on the pool. Nothing happens
    // for a card without a readable picture, or one gone meanwhile.
    void pinCard(const CanvasCard &card);
    // Shows the pin at once at the picture's size, with a placeholder until
    // the picture is delivered; a picture that cannot be made closes it.
    void pin(const QUuid &id, const QSize &pixelSize, const QFuture<SharedSnipPicture> &picture);
    void close(const QUuid &id);

    PinnedImageView *window(const QUuid &id) const;
    QList<QUuid> pinnedIDs() const { return m_windows.keys(); }

Q_SIGNALS:
    void pinsChanged();

protected:
    // Keeps the window manager's resizes to the picture's proportions while
    // the window has them.
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    PinnedImageView *open(const QUuid &id, const QSize &pixelSize);
    void forget(const QUuid &id, PinnedImageView *window);

    FloatingWindows &m_floating;
    Pasteboard &m_pasteboard;
    SnipPictureLoader *m_pictures;
    QHash<QUuid, QPointer<PinnedImageView>> m_windows;
};

} // namespace tessaline

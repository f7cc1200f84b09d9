#pragma once

#include "model/CanvasCard.h"
#include "model/BoardWritingDocument.h"

#include <QPointer>
#include <QWidget>

#include <functional>

namespace tessaline {

class SnipImageCache;

// A snip's picture inside its reference: scaled to fit the size's limits,
// centred, clipped to a rounded rectangle with a thin border, or a quiet fill
// with a photo symbol while there is no picture. Clicking the picture opens
// the card. Paints only ready pixmaps from the cache.
class SnipImageView : public QWidget
{
    Q_OBJECT
public:
    SnipImageView(CanvasCard *card, NoteAttachmentSize size, SnipImageCache *images, QWidget *parent = nullptr);

    // The picture's rectangle inside the widget (also the click area).
    QRectF imageRect() const;

    bool hasHeightForWidth() const override;
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    std::function<void()> onClick;

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;

private:
    std::optional<QSizeF> knownImageSize() const;
    QSizeF fittedSize(qreal available) const;

    QPointer<CanvasCard> m_card;
    NoteAttachmentSize m_size;
    SnipImageCache *m_images;
    bool m_pressed = false;
};

} // namespace tessaline

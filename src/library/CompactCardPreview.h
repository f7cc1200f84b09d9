#pragma once

#include "design/QuietSurfaces.h"

#include <QDateTime>
#include <QObject>
#include <QPixmap>
#include <QPointer>
#include <QString>
#include <QUuid>

#include <optional>

class QPainter;
class QPalette;
class QWidget;

namespace tessaline {

class AnimatedAmount;
class CanvasCard;
class GuidedTourTarget;

// The read-only tile of one card in search results and Recently Deleted:
// everything it shows, worked out from the card when it is made. Holds no
// reference to the card, so a list can keep it between repaints.
struct CompactCardPreview
{
    CompactCardPreview(const CanvasCard &card, const std::optional<QString> &boardTitle, bool showsBoardName);

    QUuid cardID;
    bool isSnip = false;
    bool isAIGenerated = false;
    QuietCardTone tone = QuietCardTone::thought;
    QString kindLabel;
    QString kindSymbol;
    QString title;
    // Whitespace runs made single spaces, at most 220 characters; empty when
    // it would only repeat the title.
    QString excerpt;
    // The note when it may be named, else the source application, else none.
    QString sourceText;
    QString sourceSymbol;
    QDateTime displayDate;
    QString accessibilitySummary;

    // The tile's height at any width: every line takes its full room.
    static int height(bool isSnip);
    // The picture's band across the top of a snip's tile, in device pixels:
    // the size to ask SnipImageCache::coveringPixmap for.
    static QSize pictureSize(qreal tileWidth, qreal devicePixelRatio);
    // Where the mark of a kept assistant suggestion lies in a tile painted
    // into `rect` with or without a picture.
    QRectF assistantMarkRect(const QRectF &rect, bool hasImage) const;
    // Paints the tile into `rect`. `image` is the snip's picture, null while
    // there is none (the placeholder shows then). `tourRing` is how far the
    // guided tour's ring round the tile has faded in (TourRing::opacity).
    void paint(QPainter *painter, const QRectF &rect, const QPixmap &image, const QPalette &palette,
               bool isHovered, const QDateTime &now, qreal tourRing = 0) const;

    // The guided tour's ring for a grid of card tiles: the tile of the card
    // the tour's last step (`snipPreview`) points at wears it, fading in and
    // out with the tour; no tile does at any other step or with no tour.
    // Repaints `viewport` while it fades.
    class TourRing : public QObject
    {
    public:
        explicit TourRing(QWidget *viewport);
        ~TourRing() override;

        // Follows this tour; none: no tile wears the ring.
        void setGuidedTour(GuidedTourTarget *tour);
        // How far the ring round this card's tile has faded in, 0 to 1.
        qreal opacity(const QUuid &cardID) const;
        // The card whose tile wears the ring now, faded in even a little.
        std::optional<QUuid> shownCardID() const;

    private:
        void follow();

        QPointer<QWidget> m_viewport;
        QPointer<GuidedTourTarget> m_tour;
        QMetaObject::Connection m_watch;
        AnimatedAmount *m_amount;
        QUuid m_cardID;
    };
};

} // namespace tessaline

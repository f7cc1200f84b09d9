#include "library/CompactCardPreview.h"

#include "design/AnimatedAmount.h"
#include "design/DesignEnvironment.h"
#include "design/DesignTokens.h"
#include "design/GuidedTourHighlight.h"
#include "design/SemanticColors.h"
#include "design/StudioContentComponents.h"
#include "design/TextInputDirection.h"
#include "design/WrappedLines.h"
#include "model/CanvasCard.h"
#include "model/CardSummary.h"
#include "platform/SymbolIcon.h"
#include "platform/TextUtilities.h"
#include "runtime/GuidedTourTarget.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QStringList>
#include <QWidget>

namespace tessaline {

namespace {

constexpr int padding = 14;
constexpr int imageHeight = 112;
constexpr int placeholderHeight = 76;
constexpr int spacing = 9;
constexpr int excerptLength = 220;

int lineHeight(const QFont &font) { return QFontMetrics(font).lineSpacing(); }

} // namespace

CompactCardPreview::CompactCardPreview(const CanvasCard &card, const std::optional<QString> &boardTitle,
                                       bool showsBoardName)
    : cardID(card.id())
    , isSnip(card.kind() == CardKind::snip)
    , isAIGenerated(card.isAIGenerated())
    , title(card.displayTitle())
{
    switch (card.kind()) {
    case CardKind::snip:
        tone = QuietCardTone::snip;
        break;
    case CardKind::thought:
        tone = QuietCardTone::thought;
        break;
    case CardKind::ghost:
        tone = QuietCardTone::suggestion;
        break;
    }
    kindLabel = CardSummary::kindLabel(card);
    kindSymbol = CardSummary::kindSymbol(card);
    excerpt = CardSummary::excerpt(card, excerptLength);

    const bool namesBoard = showsBoardName && boardTitle && !boardTitle->isEmpty();
    if (namesBoard) {
        sourceText = *boardTitle;
        sourceSymbol = QStringLiteral("rectangle.3.group");
    } else if (card.sourceApplicationName() && !card.sourceApplicationName()->isEmpty()) {
        sourceText = *card.sourceApplicationName();
        sourceSymbol = QStringLiteral("app");
    }
    displayDate = card.capturedAt().value_or(card.updatedAt());

    QStringList summary{kindLabel, title};
    if (namesBoard)
        summary.append(QStringLiteral("Board: ") + *boardTitle);
    accessibilitySummary = summary.join(QStringLiteral(", "));
}

int CompactCardPreview::height(bool isSnip)
{
    using namespace TessalineTypography;
    const int details = padding + 22 + spacing + 2 * lineHeight(TessalineTypography::title()) + spacing + 3 * lineHeight(body()) + spacing
        + lineHeight(caption()) + padding;
    return details + (isSnip ? imageHeight + 1 : 0);
}

QSize CompactCardPreview::pictureSize(qreal tileWidth, qreal devicePixelRatio)
{
    return (QSizeF(tileWidth, imageHeight) * devicePixelRatio).toSize();
}

QRectF CompactCardPreview::assistantMarkRect(const QRectF &rect, bool hasImage) const
{
    const qreal picture = isSnip ? (hasImage ? imageHeight : placeholderHeight) + 1 : 0;
    const qreal tagHeight = 22;
    return QRectF(rect.right() - padding - 14, rect.top() + picture + padding + (tagHeight - 14) / 2, 14, 14);
}

void CompactCardPreview::paint(QPainter *painter, const QRectF &rect, const QPixmap &image, const QPalette &palette,
                               bool isHovered, const QDateTime &now, qreal tourRing) const
{
    using namespace TessalineTypography;
    const bool contrast = DesignEnvironment::current().increasedContrast;
    QuietCardSurface surface;
    surface.tone = tone;
    surface.hoverAmount = isHovered ? 1 : 0;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    paintQuietCardBackground(painter, rect, surface, palette, contrast);

    qreal y = rect.top();
    if (isSnip) {
        QPainterPath clip;
        clip.addRoundedRect(rect, surface.cornerRadius, surface.cornerRadius);
        painter->save();
        painter->setClipPath(clip);
        if (!image.isNull()) {
            const QRectF box(rect.left(), y, rect.width(), imageHeight);
            const QSizeF scaled = image.deviceIndependentSize().scaled(box.size(), Qt::KeepAspectRatioByExpanding);
            painter->setClipRect(box, Qt::IntersectClip);
            painter->drawPixmap(QRectF(box.center().x() - scaled.width() / 2, box.center().y() - scaled.height() / 2,
                                       scaled.width(), scaled.height()),
                                image, QRectF(QPointF(), image.size()));
            y += imageHeight;
        } else {
            const QRectF box(rect.left(), y, rect.width(), placeholderHeight);
            painter->fillRect(box, withOpacity(semanticColor(SemanticColor::unemphasizedSelectedContentBackground,
                                                             palette), 0.35));
            SymbolIcon::icon(kindSymbol).paint(painter, QRectF(box.center() - QPointF(11, 11), QSizeF(22, 22)).toRect());
            y += placeholderHeight;
        }
        painter->restore();
        painter->fillRect(QRectF(rect.left(), y, rect.width(), 1), semanticColor(SemanticColor::separator, palette));
        y += 1;
    }

    const qreal left = rect.left() + padding;
    const qreal width = rect.width() - 2 * padding;
    y += padding;
    const QRectF tag = paintStudioTag(painter, QPointF(left, y), kindLabel, kindSymbol, false, palette, contrast,
                                      isAIGenerated ? width - 20 : width);
    if (isAIGenerated)
        SymbolIcon::icon(QStringLiteral("sparkles")).paint(painter, assistantMarkRect(rect, !image.isNull()).toRect());
    y = tag.bottom() + spacing;
    painter->setPen(semanticColor(SemanticColor::primary, palette));
    y += drawWrappedLines(painter, title, TessalineTypography::title(), QRectF(left, y, width, 0), 2) + spacing;
    if (!excerpt.isEmpty()) {
        painter->setPen(semanticColor(SemanticColor::secondary, palette));
        drawWrappedLines(painter, excerpt, body(), QRectF(left, y, width, 0), 3);
    }

    // The footer sits on the tile's bottom edge so tiles of one row line up.
    painter->setFont(caption());
    painter->setPen(semanticColor(SemanticColor::tertiary, palette));
    const QFontMetrics metrics(caption());
    const qreal footerY = rect.bottom() - padding - metrics.lineSpacing();
    const QString date = relativeTimeText(displayDate, now);
    const int dateWidth = metrics.horizontalAdvance(date);
    painter->drawText(QRectF(left + width - dateWidth, footerY, dateWidth, metrics.lineSpacing()), Qt::AlignVCenter, date);
    if (!sourceText.isEmpty()) {
        SymbolIcon::icon(sourceSymbol).paint(painter, QRectF(left, footerY, 12, 12).toRect());
        const qreal textWidth = width - dateWidth - 4 - 16;
        painter->drawText(QRectF(left + 16, footerY, textWidth, metrics.lineSpacing()), Qt::AlignVCenter,
                          elidedInItsOwnDirection(sourceText, QFontMetricsF(caption()), textWidth));
    }
    paintQuietCardOverlay(painter, rect, surface, palette, contrast);
    GuidedTourHighlight::paint(painter, rect, surface.cornerRadius, tourRing, palette, contrast);
    painter->restore();
}

CompactCardPreview::TourRing::TourRing(QWidget *viewport)
    : QObject(viewport)
    , m_viewport(viewport)
    , m_amount(new AnimatedAmount(this, GuidedTourHighlight::motion()))
{
    connect(m_amount, &AnimatedAmount::valueChanged, this, [this] {
        if (m_viewport)
            m_viewport->update();
    });
}

CompactCardPreview::TourRing::~TourRing() = default;

void CompactCardPreview::TourRing::setGuidedTour(GuidedTourTarget *tour)
{
    disconnect(m_watch);
    m_tour = tour;
    if (tour)
        m_watch = connect(tour, &GuidedTourTarget::changed, this, &TourRing::follow);
    follow();
}

qreal CompactCardPreview::TourRing::opacity(const QUuid &cardID) const
{
    return !m_cardID.isNull() && cardID == m_cardID ? m_amount->value() : 0;
}

std::optional<QUuid> CompactCardPreview::TourRing::shownCardID() const
{
    return !m_cardID.isNull() && m_amount->value() > 0 ? std::optional(m_cardID) : std::nullopt;
}

void CompactCardPreview::TourRing::follow()
{
    // Only the last step lights a tile; working out its snip walks the
    // whole library, so no other step asks.
    const bool lastStep = m_tour && m_tour->step() == GuidedTourStep::snipPreview;
    const std::optional<QUuid> card = lastStep ? m_tour->previewCardID() : std::nullopt;
    const bool on = card && m_tour->highlightsCard(*card);
    if (on && *card != m_cardID) {
        // Another card: the ring leaves the old tile at once and fades in
        // round the new one.
        m_amount->setOn(false);
        m_cardID = *card;
        if (m_viewport)
            m_viewport->update();
    }
    m_amount->setOn(on);
}

} // namespace tessaline

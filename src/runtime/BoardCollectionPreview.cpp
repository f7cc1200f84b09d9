#include "runtime/BoardCollectionPreview.h"

#include "design/DesignEnvironment.h"
#include "design/DesignTokens.h"
#include "design/QuietSurfaces.h"
#include "design/SemanticColors.h"
#include "design/StudioContentComponents.h"
#include "design/TextInputDirection.h"
#include "model/Board.h"
#include "platform/SymbolIcon.h"
#include "platform/TextUtilities.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>

namespace tessaline {

namespace {

constexpr int padding = 14;
constexpr int spacing = 12;
constexpr int minimumContentHeight = 112;
constexpr int focusLines = 3;

QString tr(const char *text)
{
    return QCoreApplication::translate("BoardCollectionPreview", text);
}

int lineHeight(const QFont &font)
{
    return QFontMetrics(font).lineSpacing();
}

// A symbol and a text on one line, centred on `centreY`; returns where the
// text ends.
qreal drawLabel(QPainter *painter, qreal left, qreal centreY, const QString &symbol, const QString &text, qreal maxWidth,
                const QColor &colour)
{
    const int size = 12;
    painter->drawPixmap(QPointF(left, centreY - size / 2.0),
                        SymbolIcon::tintedPixmap(symbol, QSize(size, size), painter->device()->devicePixelRatioF(), colour));
    const QFontMetrics metrics(painter->font());
    const qreal textLeft = left + size + 4;
    const QString shown = metrics.elidedText(text, Qt::ElideRight, int(std::max<qreal>(0, maxWidth - size - 4)));
    painter->setPen(colour);
    painter->drawText(QRectF(textLeft, centreY - metrics.height() / 2.0, maxWidth, metrics.height()),
                      Qt::AlignLeft | Qt::AlignVCenter, shown);
    return textLeft + metrics.horizontalAdvance(shown);
}

} // namespace

BoardCollectionPreview::BoardCollectionPreview(const Board &board, int snipCount, int thoughtCount)
    : boardID(board.id())
    , title(board.title())
    , snipCount(snipCount)
    , thoughtCount(thoughtCount)
    , updatedAt(board.updatedAt())
{
    const BoardStatus status = board.status();
    statusLabel = statusLabelFor(status);
    statusSymbol = statusSymbolFor(status);
    showsStatusTag = status != BoardStatus::active;
    const std::optional<QString> focus = board.focusQuestion();
    hasFocusQuestion = focus && !focus->isEmpty();
    focusText = hasFocusQuestion ? *focus : tr("No focus question yet");
    accessibilitySummary = tr("%1, %2, %3 snips, %4 thoughts")
                               .arg(title, statusLabel, QString::number(snipCount), QString::number(thoughtCount));
}

QString BoardCollectionPreview::statusLabelFor(BoardStatus status)
{
    switch (status) {
    case BoardStatus::parked:
        return tr("Parked");
    case BoardStatus::done:
        return tr("Done");
    case BoardStatus::active:
        break;
    }
    return tr("Active");
}

QString BoardCollectionPreview::statusSymbolFor(BoardStatus status)
{
    switch (status) {
    case BoardStatus::parked:
        return QStringLiteral("pause.circle");
    case BoardStatus::done:
        return QStringLiteral("checkmark.circle");
    case BoardStatus::active:
        break;
    }
    return QStringLiteral("rectangle.3.group");
}

int BoardCollectionPreview::minimumHeight()
{
    return minimumContentHeight + 2 * padding;
}

int BoardCollectionPreview::height()
{
    using namespace TessalineTypography;
    const int header = std::max(20, lineHeight(TessalineTypography::title()));
    const int content = header + spacing + focusLines * lineHeight(body()) + spacing + lineHeight(caption());
    return std::max(minimumHeight(), content + 2 * padding);
}

void BoardCollectionPreview::paint(QPainter *painter, const QRectF &rect, const QPalette &palette, bool isHovered,
                                   const QDateTime &now) const
{
    using namespace TessalineTypography;
    const bool contrast = DesignEnvironment::current().increasedContrast;
    QuietCardSurface surface;
    surface.tone = QuietCardTone::thought;
    surface.hoverAmount = isHovered ? 1 : 0;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    paintQuietCardBackground(painter, rect, surface, palette, contrast);

    const QRectF content = rect.adjusted(padding, padding, -padding, -padding);
    // Header: status symbol, title on one line, and the tag of a parked or
    // done note at the trailing end.
    painter->setFont(TessalineTypography::title());
    const qreal headerHeight = std::max(20, lineHeight(TessalineTypography::title()));
    qreal titleRight = content.right();
    if (showsStatusTag) {
        const QSizeF tag = studioTagSize(statusLabel, statusSymbol);
        paintStudioTag(painter, QPointF(content.right() - tag.width(), content.top() + (headerHeight - tag.height()) / 2),
                       statusLabel, statusSymbol, false, palette, contrast);
        titleRight -= tag.width() + 4;
    }
    const qreal headerCentre = content.top() + headerHeight / 2;
    const QColor secondary = semanticColor(SemanticColor::secondary, palette, contrast);
    painter->drawPixmap(QPointF(content.left(), headerCentre - 7),
                        SymbolIcon::tintedPixmap(statusSymbol, QSize(14, 14), painter->device()->devicePixelRatioF(),
                                                 secondary));
    painter->setFont(TessalineTypography::title());
    painter->setPen(semanticColor(SemanticColor::label, palette, contrast));
    const QFontMetricsF titleMetrics(painter->font());
    const qreal titleLeft = content.left() + 14 + 8;
    painter->drawText(QRectF(titleLeft, content.top(), std::max<qreal>(0, titleRight - titleLeft), headerHeight),
                      Qt::AlignLeft | Qt::AlignVCenter,
                      elidedInItsOwnDirection(title, titleMetrics, std::max<qreal>(0, titleRight - titleLeft)));

    // Focus question, or its absence in italics.
    QFont focusFont = body();
    focusFont.setItalic(!hasFocusQuestion);
    painter->setFont(focusFont);
    painter->setPen(semanticColor(hasFocusQuestion ? SemanticColor::secondary : SemanticColor::tertiary, palette, contrast));
    const QFontMetrics focusMetrics(focusFont);
    const QRectF focus(content.left(), content.top() + headerHeight + spacing, content.width(),
                       focusLines * focusMetrics.lineSpacing());
    painter->drawText(focus, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, focusText);

    // Counts at the bottom: snips, thoughts, then the last change.
    painter->setFont(caption());
    const QColor tertiary = semanticColor(SemanticColor::tertiary, palette, contrast);
    const qreal countsCentre = content.bottom() - lineHeight(caption()) / 2.0;
    const qreal afterSnips = drawLabel(painter, content.left(), countsCentre, QStringLiteral("viewfinder"),
                                       QString::number(snipCount), 60, tertiary);
    drawLabel(painter, afterSnips + 10, countsCentre, QStringLiteral("text.bubble"), QString::number(thoughtCount), 60,
              tertiary);
    painter->setPen(tertiary);
    painter->drawText(QRectF(content.left(), countsCentre - lineHeight(caption()), content.width(), 2 * lineHeight(caption())),
                      Qt::AlignRight | Qt::AlignVCenter, relativeTimeText(updatedAt, now));

    paintQuietCardOverlay(painter, rect, surface, palette, contrast);
    painter->restore();
}

} // namespace tessaline

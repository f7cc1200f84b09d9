#include "canvas/CardItem.h"

#include "canvas/BoardMapModel.h"
#include "canvas/BoardMapScene.h"
#include "canvas/CardGestures.h"
#include "canvas/CardPictures.h"
#include "design/AnimatedAmount.h"
#include "design/DesignEnvironment.h"
#include "design/DesignTokens.h"
#include "design/GuidedTourHighlight.h"
#include "design/SemanticColors.h"
#include "design/WrappedLines.h"
#include "design/ShapePainting.h"
#include "design/StudioContentComponents.h"
#include "model/CanvasCard.h"
#include "platform/SymbolIcon.h"
#include "platform/TextUtilities.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QGraphicsSceneContextMenuEvent>
#include <QGraphicsSceneMouseEvent>
#include <QGraphicsSceneWheelEvent>
#include <QGraphicsView>
#include <QKeyEvent>
#include <QPainter>
#include <QTextBlock>
#include <QTextCursor>
#include <QVariantAnimation>

#include <cmath>

namespace tessaline {

namespace {

// A thought's Markdown laid out as text only: no HTML, and a picture is
// shown as its description, never fetched or read from a file.
class ThoughtDocument : public QTextDocument
{
public:
    explicit ThoughtDocument(const QString &markdown)
    {
        setDocumentMargin(0);
        setDefaultFont(TessalineTypography::body());
        setMarkdown(markdown, QTextDocument::MarkdownFeatures(QTextDocument::MarkdownDialectGitHub |
                                                             QTextDocument::MarkdownNoHTML));
        replacePictures();
    }

protected:
    QVariant loadResource(int, const QUrl &) override { return {}; }

private:
    void replacePictures()
    {
        QList<std::pair<int, QString>> pictures;
        for (QTextBlock block = begin(); block.isValid(); block = block.next()) {
            for (auto it = block.begin(); !it.atEnd(); ++it) {
                const QTextFragment fragment = it.fragment();
                if (fragment.charFormat().isImageFormat())
                    pictures.append({fragment.position(), fragment.charFormat().property(QTextFormat::ImageAltText).toString()});
            }
        }
        // From the end, so earlier positions stay valid.
        for (auto it = pictures.crbegin(); it != pictures.crend(); ++it) {
            QTextCursor cursor(this);
            cursor.setPosition(it->first);
            cursor.setPosition(it->first + 1, QTextCursor::KeepAnchor);
            cursor.insertText(it->second, QTextCharFormat());
        }
    }
};

constexpr qreal sidePadding = 12;

QPalette paletteFor(QWidget *widget)
{
    return widget ? widget->palette() : QApplication::palette();
}

void paintSymbol(QPainter *painter, const QString &name, const QRectF &rect, const QColor &color)
{
    const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
    painter->drawPixmap(rect, SymbolIcon::tintedPixmap(name, rect.size().toSize(), ratio, color),
                        QRectF(QPointF(), rect.size() * ratio));
}

} // namespace

CardItem::CardItem(CanvasCard &card, BoardMapScene &scene)
    : m_scene(scene)
    , m_card(&card)
    , m_cardID(card.id())
{
    setFlags(ItemIsFocusable);
    setAcceptHoverEvents(true);
    // Painting a card (its shadow, picture and text) costs more than
    // copying it, and a dragged card repaints every frame.
    setCacheMode(DeviceCoordinateCache);
    syncLook();
    syncGeometry();
}

CardItem::~CardItem() = default;

QRectF CardItem::storedFrame() const
{
    if (!m_card)
        return QRectF(pos() - m_dragOffset, m_size);
    return QRectF(m_card->canvasX(), m_card->canvasY(), m_card->canvasWidth(), m_card->canvasHeight());
}

QRectF CardItem::shownFrame() const
{
    return storedFrame().translated(m_dragOffset);
}

QuietCardElevation CardItem::elevation() const
{
    return m_dragging ? QuietCardElevation::dragging : QuietCardElevation::flat;
}

void CardItem::syncGeometry()
{
    const QRectF frame = storedFrame();
    if (frame.size() != m_size) {
        prepareGeometryChange();
        m_size = frame.size();
        m_bodyScroll = 0;
    }
    setPos(frame.topLeft() + m_dragOffset);
}

const CardPresentation &CardItem::presentation() const
{
    if (!m_presentation)
        m_presentation = m_card ? CardPresentation::of(*m_card) : CardPresentation();
    return *m_presentation;
}

void CardItem::syncLook()
{
    if (!m_card)
        return;
    m_presentation.reset();
    setToolTip(CardPresentation::tooltipOf(*m_card));
    update();
}

void CardItem::setCardSelected(bool selected)
{
    if (m_selected == selected)
        return;
    m_selected = selected;
    update();
}

void CardItem::setTourHighlighted(bool highlighted)
{
    if (!m_tourRing) {
        if (!highlighted)
            return;
        m_tourRing = std::make_unique<AnimatedAmount>(nullptr, GuidedTourHighlight::motion());
        QObject::connect(m_tourRing.get(), &AnimatedAmount::valueChanged, [this] { update(); });
        m_scene.cardStackingChanged(*this);
    }
    m_tourRing->setOn(highlighted);
}

bool CardItem::isTourHighlighted() const
{
    return m_tourRing && m_tourRing->isOn();
}

void CardItem::appear()
{
    static const TessalineAnimation placing{QEasingCurve(QEasingCurve::OutCubic), 200};
    static const TessalineAnimation placingReduced{QEasingCurve(QEasingCurve::OutCubic), 100};
    m_appearance = std::make_unique<AnimatedAmount>(nullptr, placing, placingReduced);
    setTransformOriginPoint(QRectF(QPointF(), m_size).center());
    const auto follow = [this](qreal value) {
        const bool wasOpaque = hidesCardsUnder();
        setOpacity(value);
        // Under reduce motion the card only fades.
        setScale(DesignEnvironment::current().reduceMotion ? 1.0 : 0.98 + 0.02 * value);
        if (hidesCardsUnder() != wasOpaque)
            m_scene.cardStackingChanged(*this);
    };
    QObject::connect(m_appearance.get(), &AnimatedAmount::valueChanged, follow);
    follow(0);
    m_appearance->setOn(true);
}

QRectF CardItem::handleRect() const
{
    const qreal side = handleSize + 2 * handlePadding;
    return QRectF(m_size.width() - side, m_size.height() - side, side, side);
}

qreal CardItem::ageWidth() const
{
    if (!m_card)
        return 0;
    const QString age = relativeTimeText(m_card->createdAt(), QDateTime::currentDateTimeUtc());
    return QFontMetricsF(TessalineTypography::systemFont(10, QFont::Normal)).horizontalAdvance(age);
}

QRectF CardItem::groupMarkRect() const
{
    if (!presentation().showsGroupMark)
        return {};
    constexpr qreal top = 10;
    const qreal lineHeight = headerHeight - top - 8;
    const qreal right = m_size.width() - sidePadding - ageWidth() - 6;
    return QRectF(right - 10, top + (lineHeight - 10) / 2, 10, 10);
}

QString CardItem::toolTipAt(const QPointF &position) const
{
    if (m_selected && handleRect().contains(position))
        return QStringLiteral("Resize card");
    // The mark is small: a little room round it still counts.
    if (groupMarkRect().adjusted(-3, -3, 3, 3).contains(position))
        return QStringLiteral("Grouped");
    return presentation().tooltip;
}

bool CardItem::isSettling() const
{
    return m_settle && m_settle->state() == QAbstractAnimation::Running;
}

QRectF CardItem::paintedFrame() const
{
    const QRectF frame(QPointF(), m_size);
    // Only a card growing in is scaled.
    return scale() == 1.0 ? frame.translated(pos()) : mapRectToScene(frame);
}

bool CardItem::hidesCardsUnder() const
{
    return isVisible() && opacity() >= 1.0 && scale() >= 1.0;
}

bool CardItem::canBeCovered() const
{
    // The tour's ring and the drag shadow lie outside the card.
    return !m_dragging && !m_tourRing;
}

void CardItem::setCovered(bool covered, const QRectF &frame)
{
    m_stackedFrame = frame;
    if (m_covered == covered)
        return;
    m_covered = covered;
    setFlag(ItemHasNoContents, covered);
    // Updates asked for while covered were dropped: the whole card is drawn
    // anew.
    if (!covered)
        update();
}

QRectF CardItem::boundingRect() const
{
    // Room for the drag shadow and the tour's outline around the card.
    const QMarginsF shadow = quietCardShadowMargins(QuietCardElevation::dragging);
    const qreal outline = 8;
    return QRectF(QPointF(), m_size)
        .marginsAdded(QMarginsF(std::max(shadow.left(), outline), std::max(shadow.top(), outline),
                                std::max(shadow.right(), outline), std::max(shadow.bottom(), outline)));
}

QPainterPath CardItem::shape() const
{
    QPainterPath path;
    path.addRect(QRectF(QPointF(), m_size));
    return path;
}

void CardItem::paint(QPainter *painter, const QStyleOptionGraphicsItem *, QWidget *widget)
{
    if (!m_card)
        return;
    const QPalette palette = paletteFor(widget);
    const bool contrast = DesignEnvironment::current().increasedContrast;
    const QRectF rect(QPointF(), m_size);
    const QuietCardSurface surface{presentation().tone, m_selected, m_hovered ? 1.0 : 0.0, elevation(),
                                   QuietCardSurface().cornerRadius};
    painter->setRenderHint(QPainter::Antialiasing);
    paintQuietCardBackground(painter, rect, surface, palette, contrast);

    painter->save();
    painter->setClipPath(roundedShape(rect, surface.cornerRadius));
    paintHeader(painter, QRectF(0, 0, rect.width(), headerHeight), palette, contrast);
    const QRectF body(0, headerHeight, rect.width(), std::max(0.0, rect.height() - headerHeight));
    if (presentation().isSnip)
        paintSnipBody(painter, body, palette, contrast);
    else
        paintThoughtBody(painter, body, palette, contrast);
    painter->restore();

    paintQuietCardOverlay(painter, rect, surface, palette, contrast);
    if (hasFocus())
        paintFocusRing(painter, rect, surface.cornerRadius, palette, contrast);
    if (m_selected)
        paintHandle(painter, palette, contrast);
    if (m_tourRing)
        GuidedTourHighlight::paint(painter, rect, surface.cornerRadius, m_tourRing->value(), palette, contrast);
}

void CardItem::paintHeader(QPainter *painter, const QRectF &rect, const QPalette &palette, bool contrast)
{
    const QColor secondary = semanticColor(SemanticColor::secondary, palette, contrast);
    const QColor tertiary = semanticColor(SemanticColor::tertiary, palette, contrast);
    const qreal top = 10;
    const qreal lineHeight = rect.height() - top - 8;
    qreal left = sidePadding;
    qreal right = rect.width() - sidePadding;

    paintSymbol(painter, presentation().kindSymbol, QRectF(left, top + (lineHeight - 12) / 2, 12, 12), secondary);
    left += 12 + 6;

    const QFont small = TessalineTypography::systemFont(10, QFont::Normal);
    painter->setFont(small);
    const QString age = relativeTimeText(m_card->createdAt(), QDateTime::currentDateTimeUtc());
    const qreal ageWidth = QFontMetricsF(small).horizontalAdvance(age);
    painter->setPen(tertiary);
    painter->drawText(QRectF(right - ageWidth, top, ageWidth, lineHeight), Qt::AlignVCenter | Qt::AlignRight, age);
    right -= ageWidth + 6;
    if (presentation().showsGroupMark) {
        paintSymbol(painter, QStringLiteral("square.3.layers.3d"), groupMarkRect(), tertiary);
        right -= 10 + 6;
    }

    const QFont labelFont = TessalineTypography::systemFont(11, QFont::Medium);
    painter->setFont(labelFont);
    painter->setPen(secondary);
    const qreal labelWidth = std::min(QFontMetricsF(labelFont).horizontalAdvance(presentation().kindLabel),
                                      std::max(0.0, right - 4 - left));
    painter->drawText(QRectF(left, top, labelWidth, lineHeight), Qt::AlignVCenter | Qt::AlignLeft,
                      QFontMetricsF(labelFont).elidedText(presentation().kindLabel, Qt::ElideRight, labelWidth));
    left += labelWidth + 6;
    if (presentation().showsSuggestedTag && right - 4 > left) {
        const QSizeF tag = studioTagSize(CardPresentation::suggestedTagTitle(), QStringLiteral("sparkles"));
        paintStudioTag(painter, QPointF(left, top + (lineHeight - tag.height()) / 2),
                       CardPresentation::suggestedTagTitle(), QStringLiteral("sparkles"), true, palette, contrast,
                       right - 4 - left);
    }
}

void CardItem::paintSnipBody(QPainter *painter, const QRectF &rect, const QPalette &palette, bool contrast)
{
    QRectF picture = rect;
    if (presentation().showsCaption) {
        const QFont font = TessalineTypography::body();
        const QFontMetricsF metrics(font);
        const qreal captionHeight = std::ceil(metrics.lineSpacing() * 2);
        const QRectF caption(rect.left() + sidePadding, rect.bottom() - 10 - captionHeight,
                             rect.width() - 2 * sidePadding, captionHeight);
        picture.setBottom(caption.top() - 8);
        painter->setPen(semanticColor(SemanticColor::label, palette, contrast));
        drawWrappedLines(painter, m_card->contextText(), font, caption, 2);
    }
    if (picture.height() <= 0)
        return;

    const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
    const QSize devicePixels(int(std::ceil(picture.width() * ratio)), int(std::ceil(picture.height() * ratio)));
    const CardPictures::Picture shown = m_scene.pictures().picture(*m_card, devicePixels);
    if (!shown.pixmap.isNull()) {
        painter->save();
        painter->setClipRect(picture, Qt::IntersectClip);
        painter->setRenderHint(QPainter::SmoothPixmapTransform);
        const QSizeF size = QSizeF(shown.pixmap.size()) / ratio;
        const QSizeF fill = size.scaled(picture.size(), Qt::KeepAspectRatioByExpanding);
        const QRectF target(picture.center() - QPointF(fill.width() / 2, fill.height() / 2), fill);
        painter->drawPixmap(target, shown.pixmap, QRectF(shown.pixmap.rect()));
        painter->restore();
        return;
    }
    painter->fillRect(picture, withOpacity(semanticColor(SemanticColor::secondary, palette, contrast), 0.08));
    if (shown.state == CardPictures::State::unavailable) {
        const QRectF symbol(picture.center() - QPointF(12, 12), QSizeF(24, 24));
        paintSymbol(painter, CardPresentation::placeholderSymbol(), symbol,
                    semanticColor(SemanticColor::tertiary, palette, contrast));
    }
}

QTextDocument &CardItem::thoughtBody(qreal width)
{
    const QString text = m_card->markdownText();
    if (!m_body || text != m_bodyText) {
        // Only as much as any screen shows: the whole of a thought of
        // megabytes, kept from before, took seconds to lay out.
        const QString shown = prefixWithin(text, CanvasCard::maximumShownTextLength);
        m_body = std::make_unique<ThoughtDocument>(shown.size() < text.size() ? shown + QStringLiteral("…") : shown);
        m_bodyText = text;
    }
    if (!qFuzzyCompare(m_body->textWidth(), width))
        m_body->setTextWidth(width);
    return *m_body;
}

qreal CardItem::bodyOverflow() const
{
    if (!m_body)
        return 0;
    const qreal visible = m_size.height() - headerHeight - 14;
    return std::max(0.0, m_body->size().height() - visible);
}

void CardItem::paintThoughtBody(QPainter *painter, const QRectF &rect, const QPalette &palette, bool contrast)
{
    const QRectF text = rect.adjusted(14, 0, -14, -14);
    if (text.width() <= 0 || text.height() <= 0)
        return;
    QTextDocument &document = thoughtBody(text.width());
    m_bodyScroll = std::clamp(m_bodyScroll, 0.0, bodyOverflow());
    painter->save();
    painter->setClipRect(text, Qt::IntersectClip);
    painter->translate(text.topLeft() - QPointF(0, m_bodyScroll));
    QAbstractTextDocumentLayout::PaintContext context;
    context.palette = palette;
    context.palette.setColor(QPalette::Text, semanticColor(SemanticColor::label, palette, contrast));
    context.clip = QRectF(0, m_bodyScroll, text.width(), text.height());
    document.documentLayout()->draw(painter, context);
    painter->restore();
}

void CardItem::paintHandle(QPainter *painter, const QPalette &palette, bool contrast)
{
    const QRectF square = handleRect().marginsRemoved(QMarginsF(handlePadding, handlePadding, handlePadding, handlePadding));
    painter->save();
    painter->setPen(QPen(semanticColor(SemanticColor::separator, palette, contrast), 1));
    painter->setBrush(withOpacity(semanticColor(SemanticColor::windowBackground, palette, contrast), 0.85));
    painter->drawPath(roundedShape(square, 6));
    paintSymbol(painter, QStringLiteral("arrow.down.right.and.arrow.up.left"),
                QRectF(square.center() - QPointF(5, 5), QSizeF(10, 10)),
                semanticColor(SemanticColor::secondary, palette, contrast));
    painter->restore();
}

void CardItem::setDragOffset(const QPointF &offset)
{
    m_dragOffset = offset;
    setPos(storedFrame().topLeft() + offset);
    m_scene.cardShownFrameChanged(*this);
}

void CardItem::settleFrom(const QPointF &offset)
{
    static const TessalineAnimation settling{QEasingCurve(QEasingCurve::OutCubic), 120};
    if (m_settle)
        m_settle->stop();
    if (offset.isNull() || DesignEnvironment::current().reduceMotion) {
        setDragOffset(QPointF());
        return;
    }
    if (!m_settle) {
        m_settle = std::make_unique<QVariantAnimation>();
        m_settle->setEasingCurve(settling.curve);
        m_settle->setDuration(settling.durationMs);
        QObject::connect(m_settle.get(), &QVariantAnimation::valueChanged,
                         [this](const QVariant &value) { setDragOffset(value.toPointF()); });
    }
    m_settle->setStartValue(offset);
    m_settle->setEndValue(QPointF());
    setDragOffset(offset);
    m_settle->start();
}

void CardItem::mousePressEvent(QGraphicsSceneMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !m_card) {
        event->ignore();
        return;
    }
    setFocus(Qt::MouseFocusReason);
    if (isSettling()) {
        m_settle->stop();
        setDragOffset(QPointF());
    }
    m_press = m_selected && handleRect().contains(event->pos()) ? Press::handle : Press::card;
    m_pressScenePos = event->scenePos();
    // Ctrl adds to the selection (or takes the card out of it).
    m_scene.model().selectCard(*m_card, event->modifiers().testFlag(Qt::ControlModifier));
    event->accept();
}

void CardItem::mouseMoveEvent(QGraphicsSceneMouseEvent *event)
{
    const QPointF translation = event->scenePos() - m_pressScenePos;
    if (m_press != Press::card)
        return;
    if (!m_dragging && std::hypot(translation.x(), translation.y()) < CardGestures::dragThreshold)
        return;
    if (!m_dragging) {
        m_dragging = true;
        update();
        m_scene.cardStackingChanged(*this);
    }
    setDragOffset(translation);
}

void CardItem::mouseReleaseEvent(QGraphicsSceneMouseEvent *event)
{
    const Press press = std::exchange(m_press, Press::none);
    const QPointF translation = event->scenePos() - m_pressScenePos;
    if (!m_card)
        return;
    const QRectF frame = storedFrame();
    if (press == Press::card && m_dragging) {
        m_dragging = false;
        update();
        m_scene.cardStackingChanged(*this);
        m_scene.model().moveCard(*m_card, CardGestures::movedOrigin(frame, translation));
        // The card was let go at its shown place; from there it eases to
        // where it is stored now (kept off the map's edge, or back where it
        // was when the move did not take) rather than jumping.
        if (m_card)
            settleFrom(frame.topLeft() + translation - storedFrame().topLeft());
    } else if (press == Press::handle &&
               std::hypot(translation.x(), translation.y()) >= CardGestures::handleDragThreshold) {
        m_scene.model().resizeCard(*m_card, CardGestures::resizedSize(frame, QSizeF(translation.x(), translation.y())));
    }
}

void CardItem::mouseDoubleClickEvent(QGraphicsSceneMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && m_card)
        m_scene.model().openCard(*m_card);
}

bool CardItem::handleKey(int key, Qt::KeyboardModifiers modifiers)
{
    if (!m_card)
        return false;
    if (CardGestures::isOpenKey(key)) {
        m_scene.model().openCard(*m_card);
        return true;
    }
    const auto request = CardGestures::arrowKeyRequest(key, modifiers, storedFrame());
    if (!request)
        return false;
    if (request->kind == CardRequest::Kind::move)
        m_scene.model().moveCard(*m_card, request->origin);
    else
        m_scene.model().resizeCard(*m_card, request->size);
    return true;
}

void CardItem::keyPressEvent(QKeyEvent *event)
{
    if (!handleKey(event->key(), event->modifiers()))
        event->ignore();
}

void CardItem::contextMenuEvent(QGraphicsSceneContextMenuEvent *event)
{
    if (!m_card)
        return;
    m_scene.requestContextMenu(*this, event->screenPos());
    event->accept();
}

void CardItem::hoverEnterEvent(QGraphicsSceneHoverEvent *)
{
    m_hovered = true;
    update();
}

void CardItem::hoverLeaveEvent(QGraphicsSceneHoverEvent *)
{
    m_hovered = false;
    update();
}

void CardItem::hoverMoveEvent(QGraphicsSceneHoverEvent *event)
{
    // The scene shows the tooltip of the item under the pointer; the small
    // controls on the card have their own.
    const QString tip = toolTipAt(event->pos());
    if (tip != toolTip())
        setToolTip(tip);
}

void CardItem::wheelEvent(QGraphicsSceneWheelEvent *event)
{
    // A thought longer than its card scrolls inside it; otherwise the map does.
    const qreal overflow = presentation().isSnip ? 0 : bodyOverflow();
    const qreal next = std::clamp(m_bodyScroll - event->delta() / 4.0, 0.0, overflow);
    if (event->orientation() != Qt::Vertical || overflow <= 0 || next == m_bodyScroll) {
        event->ignore();
        return;
    }
    m_bodyScroll = next;
    update();
}

void CardItem::focusInEvent(QFocusEvent *)
{
    update();
    m_scene.cardFocusChanged(this);
}

void CardItem::focusOutEvent(QFocusEvent *)
{
    update();
    m_scene.cardFocusChanged(nullptr);
}

} // namespace tessaline

#include "design/QuietCard.h"

#include "design/AnimatedAmount.h"
#include "design/DesignEnvironment.h"
#include "design/PaintOverlay.h"
#include "design/ShapePainting.h"
#include "platform/AccessibilitySettings.h"

#include <QFocusEvent>
#include <QPainter>
#include <QVBoxLayout>

#include <cmath>

namespace tessaline {

QuietCard::QuietCard(QuietCardTone tone, bool isSelected, QuietCardElevation elevation, qreal contentPadding,
                     QWidget *parent)
    : QWidget(parent)
    , m_tone(tone)
    , m_selected(isSelected)
    , m_elevation(elevation)
    , m_contentPadding(contentPadding)
    , m_layout(new QVBoxLayout(this))
    , m_hover(new AnimatedAmount(this))
    , m_overlay(new PaintOverlay(this, [this](QPainter &painter) {
        const bool increasedContrast = DesignEnvironment::current().increasedContrast;
        paintQuietCardOverlay(&painter, cardRect(), surface(), palette(), increasedContrast);
        // Over the border and the content, so a picture filling the card
        // cannot hide it.
        if (m_keyboardFocus && hasFocus())
            paintFocusRing(&painter, cardRect(), cornerRadius, palette(), increasedContrast);
    }))
{
    m_layout->setSpacing(0);
    setAttribute(Qt::WA_Hover);
    updateMargins();
    connect(m_hover, &AnimatedAmount::valueChanged, m_overlay, qOverload<>(&QWidget::update));
    connect(&AccessibilitySettings::shared(), &AccessibilitySettings::changed, this, &QuietCard::repaintAll);
}

void QuietCard::setTone(QuietCardTone tone)
{
    if (m_tone == tone)
        return;
    m_tone = tone;
    repaintAll();
}

void QuietCard::setSelected(bool selected)
{
    if (m_selected == selected)
        return;
    m_selected = selected;
    repaintAll();
}

void QuietCard::setElevation(QuietCardElevation elevation)
{
    if (m_elevation == elevation)
        return;
    m_elevation = elevation;
    updateMargins();
    repaintAll();
}

void QuietCard::setContentPadding(qreal padding)
{
    if (m_contentPadding == padding)
        return;
    m_contentPadding = padding;
    updateMargins();
}

bool QuietCard::isHovered() const
{
    return m_hover->isOn();
}

qreal QuietCard::hoverAmount() const
{
    return m_hover->value();
}

void QuietCard::setContent(QWidget *content)
{
    if (m_content == content)
        return;
    if (m_content)
        m_content->deleteLater();
    m_content = content;
    if (content)
        m_layout->addWidget(content);
    m_overlay->raise();
}

QRectF QuietCard::cardRect() const
{
    return QRectF(rect()) - quietCardShadowMargins(m_elevation);
}

QuietCardSurface QuietCard::surface() const
{
    return {m_tone, m_selected, m_hover->value(), m_elevation, cornerRadius};
}

void QuietCard::updateMargins()
{
    const QMarginsF shadow = quietCardShadowMargins(m_elevation);
    const auto side = [this](qreal room) { return int(std::ceil(room + m_contentPadding)); };
    m_layout->setContentsMargins(side(shadow.left()), side(shadow.top()), side(shadow.right()), side(shadow.bottom()));
}

void QuietCard::repaintAll()
{
    update();
    m_overlay->update();
}

void QuietCard::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    paintQuietCardBackground(&painter, cardRect(), surface(), palette(), DesignEnvironment::current().increasedContrast);
}

void QuietCard::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    m_overlay->setGeometry(rect());
    m_overlay->raise();
}

void QuietCard::enterEvent(QEnterEvent *event)
{
    QWidget::enterEvent(event);
    m_hover->setOn(true);
}

void QuietCard::leaveEvent(QEvent *event)
{
    QWidget::leaveEvent(event);
    m_hover->setOn(false);
}

void QuietCard::focusInEvent(QFocusEvent *event)
{
    QWidget::focusInEvent(event);
    const Qt::FocusReason reason = event->reason();
    if (reason == Qt::PopupFocusReason || reason == Qt::ActiveWindowFocusReason)
        return;
    m_keyboardFocus = reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason || reason == Qt::ShortcutFocusReason;
    m_overlay->update();
}

void QuietCard::focusOutEvent(QFocusEvent *event)
{
    QWidget::focusOutEvent(event);
    // A menu opened from the card, or another window, takes the keyboard
    // for a while; the focus comes back, and so does the ring with it.
    if (event->reason() != Qt::PopupFocusReason && event->reason() != Qt::ActiveWindowFocusReason)
        m_keyboardFocus = false;
    m_overlay->update();
}

} // namespace tessaline

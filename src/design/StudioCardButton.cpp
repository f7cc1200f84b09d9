#include "design/StudioCardButton.h"

#include "design/AnimatedAmount.h"
#include "design/DesignEnvironment.h"
#include "design/ShapePainting.h"
#include "platform/AccessibilitySettings.h"

#include <QEvent>
#include <QFocusEvent>
#include <QGraphicsEffect>
#include <QPainter>
#include <QVBoxLayout>

namespace tessaline {

// Draws the button with its children at an opacity and a scale about the
// centre, so the content dims and shrinks as one piece.
class StudioCardButton::PressEffect : public QGraphicsEffect
{
public:
    using QGraphicsEffect::QGraphicsEffect;

    void setLook(qreal opacity, qreal scale)
    {
        if (qFuzzyCompare(m_opacity, opacity) && qFuzzyCompare(m_scale, scale))
            return;
        m_opacity = opacity;
        m_scale = scale;
        update();
    }

protected:
    void draw(QPainter *painter) override
    {
        if (qFuzzyCompare(m_opacity, 1.0) && qFuzzyCompare(m_scale, 1.0)) {
            drawSource(painter);
            return;
        }
        QPoint offset;
        const QPixmap pixmap = sourcePixmap(Qt::LogicalCoordinates, &offset, QGraphicsEffect::NoPad);
        if (pixmap.isNull())
            return;
        painter->save();
        painter->setOpacity(painter->opacity() * m_opacity);
        painter->setRenderHint(QPainter::SmoothPixmapTransform);
        const QRectF bounds = boundingRect();
        painter->translate(bounds.center());
        painter->scale(m_scale, m_scale);
        painter->translate(-bounds.center());
        painter->drawPixmap(offset, pixmap);
        painter->restore();
    }

private:
    qreal m_opacity = 1;
    qreal m_scale = 1;
};

// Lies over the content, takes no clicks, and draws the ring while the
// button has keyboard focus.
class StudioCardButton::FocusRing : public QWidget
{
public:
    static constexpr qreal radius = 12;

    explicit FocusRing(QWidget *parent)
        : QWidget(parent)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
        setFocusPolicy(Qt::NoFocus);
        hide();
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        paintFocusRing(&painter, rect(), radius, palette(), DesignEnvironment::current().increasedContrast);
    }
};

StudioCardButton::StudioCardButton(QWidget *parent)
    : QAbstractButton(parent)
    , m_layout(new QVBoxLayout(this))
    , m_press(new AnimatedAmount(this))
    , m_effect(new PressEffect(this))
    , m_focusRing(new FocusRing(this))
{
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(0);
    setFocusPolicy(Qt::StrongFocus);
    setGraphicsEffect(m_effect);
    connect(this, &QAbstractButton::pressed, this, [this] { m_press->setOn(isDown()); });
    connect(this, &QAbstractButton::released, this, [this] { m_press->setOn(isDown()); });
    connect(m_press, &AnimatedAmount::valueChanged, this, &StudioCardButton::refreshEffect);
    connect(&AccessibilitySettings::shared(), &AccessibilitySettings::changed, this, &StudioCardButton::refreshEffect);
    refreshEffect();
}

void StudioCardButton::setContent(QWidget *content)
{
    if (m_content == content)
        return;
    if (m_content)
        m_content->deleteLater();
    m_content = content;
    if (content) {
        // The content shows; the button takes its clicks.
        content->setAttribute(Qt::WA_TransparentForMouseEvents);
        m_layout->addWidget(content);
    }
    m_focusRing->raise();
}

StudioButtonState StudioCardButton::state() const
{
    const DesignEnvironment environment = DesignEnvironment::current();
    StudioButtonState state;
    state.isEnabled = isEnabled();
    state.isPressed = isDown();
    state.increasedContrast = environment.increasedContrast;
    state.reduceMotion = environment.reduceMotion;
    return state;
}

StudioButtonLook StudioCardButton::look() const
{
    return cardButtonLook(state());
}

QSize StudioCardButton::sizeHint() const
{
    return m_layout->sizeHint();
}

QSize StudioCardButton::minimumSizeHint() const
{
    return m_layout->minimumSize();
}

void StudioCardButton::paintEvent(QPaintEvent *)
{
    // The card draws nothing of its own; its content does.
}

void StudioCardButton::changeEvent(QEvent *event)
{
    QAbstractButton::changeEvent(event);
    if (event->type() == QEvent::EnabledChange)
        refreshEffect();
}

void StudioCardButton::resizeEvent(QResizeEvent *event)
{
    QAbstractButton::resizeEvent(event);
    m_focusRing->setGeometry(rect());
}

void StudioCardButton::focusInEvent(QFocusEvent *event)
{
    QAbstractButton::focusInEvent(event);
    // Only keyboard focus shows the ring; a click does not.
    const Qt::FocusReason reason = event->reason();
    if (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason || reason == Qt::ShortcutFocusReason) {
        m_focusRing->raise();
        m_focusRing->show();
    }
}

void StudioCardButton::focusOutEvent(QFocusEvent *event)
{
    QAbstractButton::focusOutEvent(event);
    m_focusRing->hide();
}

void StudioCardButton::refreshEffect()
{
    StudioButtonState rest = state();
    rest.isPressed = false;
    StudioButtonState pressed = rest;
    pressed.isPressed = true;
    const StudioButtonLook a = cardButtonLook(rest);
    const StudioButtonLook b = cardButtonLook(pressed);
    const qreal t = m_press->value();
    m_effect->setLook(a.opacity + (b.opacity - a.opacity) * t, a.scale + (b.scale - a.scale) * t);
}

} // namespace tessaline

#include "design/StudioButton.h"

#include "design/AnimatedAmount.h"
#include "design/DesignEnvironment.h"
#include "design/DesignTokens.h"
#include "design/StudioButtonPainting.h"
#include "design/ShapePainting.h"
#include "platform/AccessibilitySettings.h"

#include <QFocusEvent>
#include <QPainter>
#include <QVariantAnimation>

#include <cmath>

namespace tessaline {

StudioButton::StudioButton(Style style, QWidget *parent)
    : QPushButton(parent)
    , m_style(style)
    , m_hover(new AnimatedAmount(this))
    , m_press(new AnimatedAmount(this))
    , m_symbolAnimation(new QVariantAnimation(this))
{
    setAttribute(Qt::WA_Hover);
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
    connect(this, &QAbstractButton::pressed, this, [this] { m_press->setOn(isDown()); });
    connect(this, &QAbstractButton::released, this, [this] { m_press->setOn(isDown()); });
    connect(&AccessibilitySettings::shared(), &AccessibilitySettings::changed, this, [this] { update(); });

    const TessalineAnimation &motion = TessalineMotion::snappy();
    m_symbolAnimation->setEasingCurve(motion.curve);
    m_symbolAnimation->setDuration(motion.durationMs * 2);
    m_symbolAnimation->setStartValue(0.0);
    m_symbolAnimation->setEndValue(1.0);
    connect(m_symbolAnimation, &QVariantAnimation::valueChanged, this, [this](const QVariant &value) {
        m_symbolTransition = value.toReal();
        update();
    });
}

StudioButton::~StudioButton() = default;

void StudioButton::setSelected(bool selected)
{
    if (m_selected == selected)
        return;
    m_selected = selected;
    update();
}

void StudioButton::setProminence(StudioControlProminence prominence)
{
    if (m_prominence == prominence)
        return;
    m_prominence = prominence;
    update();
}

void StudioButton::setControlSize(StudioControlSize size)
{
    if (m_controlSize == size)
        return;
    m_controlSize = size;
    updateGeometry();
    update();
}

void StudioButton::setTracksHover(bool tracks)
{
    m_tracksHover = tracks;
    if (tracks)
        m_hover->setOn(underMouse());
}

bool StudioButton::isHovered() const
{
    return m_hover->isOn();
}

void StudioButton::setHovered(bool hovered)
{
    m_hover->setOn(hovered);
}

void StudioButton::setSystemImage(const QString &systemName)
{
    if (m_systemImage == systemName)
        return;
    m_previousSystemImage = m_systemImage;
    m_systemImage = systemName;
    m_symbolAnimation->stop();
    if (DesignEnvironment::current().reduceMotion || !isVisible() || m_previousSystemImage.isEmpty()
        || systemName.isEmpty()) {
        m_symbolTransition = 1;
    } else {
        m_symbolTransition = 0;
        m_symbolAnimation->start();
    }
    updateGeometry();
    update();
}

StudioButtonMetrics StudioButton::metrics() const
{
    return studioButtonMetrics(m_style, m_controlSize);
}

StudioButtonState StudioButton::state() const
{
    const DesignEnvironment environment = DesignEnvironment::current();
    StudioButtonState state;
    state.isEnabled = isEnabled();
    state.isPressed = isDown();
    state.isHovered = m_hover->isOn();
    state.isSelected = m_selected;
    state.increasedContrast = environment.increasedContrast;
    state.reduceMotion = environment.reduceMotion;
    return state;
}

StudioButtonLook StudioButton::lookFor(const StudioButtonState &state) const
{
    return studioButtonLook(m_style, m_prominence, state);
}

StudioButtonLook StudioButton::look() const
{
    return lookFor(state());
}

QSize StudioButton::sizeHint() const
{
    return studioButtonSize(metrics(), text(), m_systemImage).toSize();
}

QSize StudioButton::minimumSizeHint() const
{
    const StudioButtonMetrics m = metrics();
    QSize hint = sizeHint();
    if (m.singleLine && !text().isEmpty()) {
        // A single-line label may be cut short with an ellipsis, never below
        // its symbol and a few characters.
        const QSizeF shortest = studioButtonSize(m, QStringLiteral("M…"), m_systemImage);
        hint.setWidth(std::min(hint.width(), int(std::ceil(shortest.width()))));
    }
    return hint;
}

void StudioButton::paintEvent(QPaintEvent *)
{
    // setDown() alone sends no pressed signal; catch up with it here.
    if (m_press->isOn() != isDown())
        m_press->setOn(isDown());
    const StudioButtonMetrics m = metrics();
    StudioButtonState base = state();
    const bool increasedContrast = base.increasedContrast;
    const QPalette pal = palette();

    // The look at the four corners of hover and press, blended by how far
    // each has faded in: the ends are the tables' rows exactly.
    const auto corner = [&](bool hovered, bool pressed) {
        StudioButtonState s = base;
        s.isHovered = hovered;
        s.isPressed = pressed;
        return resolveButtonLook(lookFor(s), pal, increasedContrast);
    };
    const qreal h = m_hover->value();
    const StudioButtonPaint paint =
        blendButtonPaint(blendButtonPaint(corner(false, false), corner(true, false), h),
                         blendButtonPaint(corner(false, true), corner(true, true), h), m_press->value());

    QPainter painter(this);
    const QRectF bounds = rect();
    paintStudioButton(&painter, bounds, m, paint, {text(), m_systemImage, m_previousSystemImage, m_symbolTransition},
                      layoutDirection());

    if (m_showsFocusRing && hasFocus()) {
        painter.setOpacity(1);
        paintFocusRing(&painter, bounds, m.cornerRadius, pal, increasedContrast);
    }
}

void StudioButton::enterEvent(QEnterEvent *event)
{
    QPushButton::enterEvent(event);
    if (m_tracksHover)
        m_hover->setOn(true);
}

void StudioButton::leaveEvent(QEvent *event)
{
    QPushButton::leaveEvent(event);
    if (m_tracksHover)
        m_hover->setOn(false);
}

void StudioButton::focusInEvent(QFocusEvent *event)
{
    // Only keyboard focus shows the ring; a click does not.
    m_showsFocusRing = event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason
        || event->reason() == Qt::ShortcutFocusReason;
    QPushButton::focusInEvent(event);
}

void StudioButton::focusOutEvent(QFocusEvent *event)
{
    m_showsFocusRing = false;
    QPushButton::focusOutEvent(event);
}

bool StudioButton::hitButton(const QPoint &pos) const
{
    return roundedShape(rect(), metrics().cornerRadius).contains(QPointF(pos) + QPointF(0.5, 0.5));
}

} // namespace tessaline

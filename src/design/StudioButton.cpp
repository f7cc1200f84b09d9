#include "design/StudioButton.h"

#include "design/AnimatedAmount.h"
#include "design/DesignEnvironment.h"
#include "design/DesignTokens.h"
#include "design/ShapePainting.h"
#include "platform/AccessibilitySettings.h"
#include "platform/SymbolIcon.h"

#include <QFocusEvent>
#include <QPainter>
#include <QTextLayout>
#include <QVariantAnimation>

#include <cmath>

namespace tessaline {

namespace {

constexpr qreal symbolSpacing = 5;

qreal lerp(qreal a, qreal b, qreal t)
{
    return a + (b - a) * t;
}

} // namespace

StudioButton::StudioButton(Style style, QWidget *parent)
    : QAbstractButton(parent)
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
    switch (m_style) {
    case Style::primary:
        return primaryButtonMetrics(m_controlSize);
    case Style::compact:
        return compactButtonMetrics();
    case Style::icon:
        return iconButtonMetrics();
    }
    return compactButtonMetrics();
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
    switch (m_style) {
    case Style::primary:
        return primaryButtonLook(state);
    case Style::compact:
        return compactButtonLook(m_prominence, state);
    case Style::icon:
        return iconButtonLook(m_prominence, state);
    }
    return compactButtonLook(m_prominence, state);
}

StudioButtonLook StudioButton::look() const
{
    return lookFor(state());
}

QFont StudioButton::labelFont() const
{
    const StudioButtonMetrics m = metrics();
    return TessalineTypography::systemFont(m.fontSize, m.fontWeight);
}

int StudioButton::symbolSize() const
{
    return int(std::lround(metrics().fontSize * 1.25));
}

QSize StudioButton::sizeHint() const
{
    const StudioButtonMetrics m = metrics();
    const QFontMetricsF fm(labelFont());
    qreal width = 0;
    qreal height = 0;
    if (!m_systemImage.isEmpty()) {
        width += symbolSize();
        height = symbolSize();
    }
    if (!text().isEmpty()) {
        if (width > 0)
            width += symbolSpacing;
        width += fm.horizontalAdvance(text());
        height = std::max(height, fm.height());
    }
    width += 2 * m.horizontalPadding;
    width = std::max(width, m.minimumWidth);
    height = std::max(height, m.minimumHeight);
    return QSize(int(std::ceil(width)), int(std::ceil(height)));
}

QSize StudioButton::minimumSizeHint() const
{
    const StudioButtonMetrics m = metrics();
    QSize hint = sizeHint();
    if (m.singleLine && !text().isEmpty()) {
        // A single-line label may be cut short with an ellipsis, never below
        // its symbol and a few characters.
        const QFontMetricsF fm(labelFont());
        const qreal shortest = 2 * m.horizontalPadding + fm.horizontalAdvance(QStringLiteral("M…"))
            + (m_systemImage.isEmpty() ? 0 : symbolSize() + symbolSpacing);
        hint.setWidth(std::min(hint.width(), int(std::ceil(std::max(shortest, m.minimumWidth)))));
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
    const qreal h = m_hover->value();
    const qreal p = m_press->value();
    StudioButtonLook corners[2][2];
    for (int hovered = 0; hovered < 2; ++hovered) {
        for (int pressed = 0; pressed < 2; ++pressed) {
            StudioButtonState s = base;
            s.isHovered = hovered;
            s.isPressed = pressed;
            corners[hovered][pressed] = lookFor(s);
        }
    }
    const auto color = [&](auto member) {
        const QColor c00 = resolveColor(corners[0][0].*member, pal, increasedContrast);
        const QColor c10 = resolveColor(corners[1][0].*member, pal, increasedContrast);
        const QColor c01 = resolveColor(corners[0][1].*member, pal, increasedContrast);
        const QColor c11 = resolveColor(corners[1][1].*member, pal, increasedContrast);
        return mixColors(mixColors(c00, c10, h), mixColors(c01, c11, h), p);
    };
    const auto number = [&](auto member) {
        return lerp(lerp(corners[0][0].*member, corners[1][0].*member, h),
                    lerp(corners[0][1].*member, corners[1][1].*member, h), p);
    };
    const QColor fill = color(&StudioButtonLook::fill);
    const QColor border = color(&StudioButtonLook::border);
    const QColor foreground = color(&StudioButtonLook::foreground);
    const qreal borderWidth = number(&StudioButtonLook::borderWidth);
    const qreal opacity = number(&StudioButtonLook::opacity);
    const qreal scale = number(&StudioButtonLook::scale);

    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(opacity);
    const QRectF bounds = rect();
    if (!qFuzzyCompare(scale, 1.0)) {
        painter.translate(bounds.center());
        painter.scale(scale, scale);
        painter.translate(-bounds.center());
    }
    if (fill.alpha() > 0) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(fill);
        painter.drawPath(roundedShape(bounds, m.cornerRadius));
    }
    paintLabel(&painter, bounds.adjusted(m.horizontalPadding, 0, -m.horizontalPadding, 0), foreground);
    strokeInside(&painter, bounds, m.cornerRadius, {border, borderWidth, Qt::FlatCap, Qt::MiterJoin, {}});

    if (m_showsFocusRing && hasFocus()) {
        // Monochrome like the controls themselves: a label-coloured ring with
        // a window-coloured line inside, so it shows on any fill.
        painter.setOpacity(1);
        const bool contrast = increasedContrast;
        strokeInside(&painter, bounds, m.cornerRadius,
                     {resolveColor({SemanticColor::label, 0.8}, pal, contrast), 2, Qt::FlatCap, Qt::MiterJoin, {}});
        strokeInside(&painter, bounds.adjusted(2, 2, -2, -2), std::max(0.0, m.cornerRadius - 2),
                     {resolveColor({SemanticColor::windowBackground, 0.9}, pal, contrast), 1, Qt::FlatCap,
                      Qt::MiterJoin, {}});
    }
}

void StudioButton::paintLabel(QPainter *painter, const QRectF &area, const QColor &color)
{
    const QFont font = labelFont();
    const QFontMetricsF fm(font);
    const bool hasSymbol = !m_systemImage.isEmpty();
    const int symbol = hasSymbol ? symbolSize() : 0;
    const qreal spacing = hasSymbol && !text().isEmpty() ? symbolSpacing : 0;
    const qreal available = std::max(0.0, area.width() - symbol - spacing);

    QString label = text();
    if (metrics().singleLine)
        label = fm.elidedText(label, Qt::ElideRight, available);
    const qreal textWidth = label.isEmpty() ? 0 : std::min(available, fm.horizontalAdvance(label));
    const qreal contentWidth = symbol + spacing + textWidth;
    qreal x = area.left() + (area.width() - contentWidth) / 2;
    const bool mirrored = layoutDirection() == Qt::RightToLeft;

    if (hasSymbol) {
        const qreal symbolX = mirrored ? area.right() - (x - area.left()) - symbol : x;
        const QRectF target(symbolX, area.center().y() - symbol / 2.0, symbol, symbol);
        const qreal ratio = devicePixelRatioF();
        if (m_symbolTransition < 1 && !m_previousSystemImage.isEmpty()) {
            // The old symbol shrinks and fades as the new one grows in.
            const qreal t = m_symbolTransition;
            painter->save();
            painter->setOpacity(painter->opacity() * (1 - t));
            const QRectF old = QRectF(0, 0, symbol * (1 - 0.3 * t), symbol * (1 - 0.3 * t));
            const QPixmap before = SymbolIcon::tintedPixmap(m_previousSystemImage, QSize(symbol, symbol), ratio, color);
            painter->drawPixmap(old.translated(target.center() - old.center()), before,
                                QRectF(QPointF(), before.size()));
            painter->restore();
            painter->save();
            painter->setOpacity(painter->opacity() * t);
            const QRectF grown = QRectF(0, 0, symbol * (0.7 + 0.3 * t), symbol * (0.7 + 0.3 * t));
            const QPixmap after = SymbolIcon::tintedPixmap(m_systemImage, QSize(symbol, symbol), ratio, color);
            painter->drawPixmap(grown.translated(target.center() - grown.center()), after,
                                QRectF(QPointF(), after.size()));
            painter->restore();
        } else {
            painter->drawPixmap(target.topLeft(),
                                SymbolIcon::tintedPixmap(m_systemImage, QSize(symbol, symbol), ratio, color));
        }
        x += symbol + spacing;
    }
    if (!label.isEmpty()) {
        painter->setFont(font);
        painter->setPen(color);
        QRectF textRect(x, area.top(), textWidth, area.height());
        if (mirrored)
            textRect.moveLeft(area.right() - (x - area.left()) - textWidth);
        const int flags = Qt::AlignVCenter | Qt::AlignHCenter | (metrics().singleLine ? Qt::TextSingleLine : Qt::TextWordWrap);
        painter->drawText(textRect, flags, label);
    }
}

void StudioButton::enterEvent(QEnterEvent *event)
{
    QAbstractButton::enterEvent(event);
    if (m_tracksHover)
        m_hover->setOn(true);
}

void StudioButton::leaveEvent(QEvent *event)
{
    QAbstractButton::leaveEvent(event);
    if (m_tracksHover)
        m_hover->setOn(false);
}

void StudioButton::focusInEvent(QFocusEvent *event)
{
    // Only keyboard focus shows the ring; a click does not.
    m_showsFocusRing = event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason
        || event->reason() == Qt::ShortcutFocusReason;
    QAbstractButton::focusInEvent(event);
}

void StudioButton::focusOutEvent(QFocusEvent *event)
{
    m_showsFocusRing = false;
    QAbstractButton::focusOutEvent(event);
}

bool StudioButton::hitButton(const QPoint &pos) const
{
    return roundedShape(rect(), metrics().cornerRadius).contains(QPointF(pos) + QPointF(0.5, 0.5));
}

} // namespace tessaline

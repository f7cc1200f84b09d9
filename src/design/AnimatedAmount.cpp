#include "design/AnimatedAmount.h"

#include "design/DesignEnvironment.h"
#include "design/DesignTokens.h"

#include <QVariantAnimation>
#include <QWidget>

namespace tessaline {

AnimatedAmount::AnimatedAmount(QWidget *widget)
    : AnimatedAmount(static_cast<QObject *>(widget))
{
    m_widget = widget;
}

AnimatedAmount::AnimatedAmount(QObject *owner)
    : QObject(owner)
    , m_animation(new QVariantAnimation(this))
{
    const TessalineAnimation &motion = TessalineMotion::snappy();
    m_animation->setEasingCurve(motion.curve);
    m_animation->setDuration(motion.durationMs);
    connect(m_animation, &QVariantAnimation::valueChanged, this, [this](const QVariant &value) {
        m_value = value.toReal();
        if (m_widget)
            m_widget->update();
        Q_EMIT valueChanged(m_value);
    });
}

void AnimatedAmount::setOn(bool on)
{
    if (m_on == on)
        return;
    m_on = on;
    const qreal target = on ? 1.0 : 0.0;
    m_animation->stop();
    const bool hiddenWidget = m_widget && !m_widget->isVisible();
    if (DesignEnvironment::current().reduceMotion || hiddenWidget) {
        m_value = target;
        if (m_widget)
            m_widget->update();
        Q_EMIT valueChanged(m_value);
        return;
    }
    m_animation->setStartValue(m_value);
    m_animation->setEndValue(target);
    m_animation->start();
}

} // namespace tessaline

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
    : AnimatedAmount(owner, TessalineMotion::snappy())
{
}

AnimatedAmount::AnimatedAmount(QObject *owner, const TessalineAnimation &motion,
                               std::optional<TessalineAnimation> reducedMotion)
    : QObject(owner)
    , m_animation(new QVariantAnimation(this))
    , m_motion(motion)
    , m_reducedMotion(std::move(reducedMotion))
{
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
    const bool reduceMotion = DesignEnvironment::current().reduceMotion;
    if ((reduceMotion && !m_reducedMotion) || hiddenWidget) {
        m_value = target;
        if (m_widget)
            m_widget->update();
        Q_EMIT valueChanged(m_value);
        return;
    }
    const TessalineAnimation &motion = reduceMotion ? *m_reducedMotion : m_motion;
    m_animation->setEasingCurve(motion.curve);
    m_animation->setDuration(motion.durationMs);
    m_animation->setStartValue(m_value);
    m_animation->setEndValue(target);
    m_animation->start();
}

} // namespace tessaline

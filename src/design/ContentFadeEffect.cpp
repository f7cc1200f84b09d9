#include "design/ContentFadeEffect.h"

#include "design/DesignEnvironment.h"

#include <QPainter>
#include <QPropertyAnimation>
#include <QWidget>

namespace tessaline {

ContentFadeEffect::ContentFadeEffect(QObject *parent)
    : QGraphicsEffect(parent)
{
}

void ContentFadeEffect::setOpacity(qreal opacity)
{
    opacity = std::clamp(opacity, 0.0, 1.0);
    if (qFuzzyCompare(opacity, m_opacity))
        return;
    m_opacity = opacity;
    update();
}

void ContentFadeEffect::draw(QPainter *painter)
{
    m_drewKept = false;
    if (qFuzzyIsNull(m_opacity))
        return;
    if (qFuzzyCompare(m_opacity, 1.0)) {
        m_picture = QPixmap();
        drawSource(painter);
        return;
    }
    // Drawn somewhere else than the picture was (the window scrolled or
    // grabbed elsewhere): drawn anew.
    if (m_picture.isNull() || painter->worldTransform() != m_pictureTransform) {
        m_picture = sourcePixmap(Qt::DeviceCoordinates, &m_offset, QGraphicsEffect::NoPad);
        m_pictureTransform = painter->worldTransform();
    } else {
        m_drewKept = true;
    }
    if (m_picture.isNull())
        return;
    painter->save();
    painter->setOpacity(m_opacity);
    painter->setWorldTransform(QTransform());
    painter->drawPixmap(m_offset, m_picture);
    painter->restore();
}

void ContentFadeEffect::sourceChanged(ChangeFlags)
{
    m_picture = QPixmap();
}

ContentFadeEffect *ContentFadeEffect::fadeIn(QWidget *widget)
{
    auto *effect = new ContentFadeEffect(widget);
    effect->setOpacity(0);
    widget->setGraphicsEffect(effect);
    auto *fade = new QPropertyAnimation(effect, "opacity", effect);
    fade->setStartValue(0.0);
    fade->setEndValue(1.0);
    fade->setEasingCurve(QEasingCurve::OutCubic);
    fade->setDuration(DesignEnvironment::current().reduceMotion ? 100 : 200);
    QObject::connect(fade, &QPropertyAnimation::finished, widget, [widget] { widget->setGraphicsEffect(nullptr); });
    fade->start();
    return effect;
}

} // namespace tessaline

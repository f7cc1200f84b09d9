#pragma once

#include "design/DesignTokens.h"

#include <QObject>
#include <QPointer>

#include <optional>

class QVariantAnimation;
class QWidget;

namespace tessaline {

// A value between 0 and 1 that follows an on/off state, fading with
// TessalineMotion::snappy() (or the motion it is given) and switching at once
// while reduce motion is on, unless it is given a shorter motion for then.
// A widget it belongs to is repainted on every step (and switches at once
// while hidden); other owners, such as canvas items, follow `valueChanged`.
class AnimatedAmount : public QObject
{
    Q_OBJECT
public:
    explicit AnimatedAmount(QWidget *widget);
    explicit AnimatedAmount(QObject *owner);
    AnimatedAmount(QObject *owner, const TessalineAnimation &motion,
                   std::optional<TessalineAnimation> reducedMotion = std::nullopt);

    bool isOn() const { return m_on; }
    qreal value() const { return m_value; }

    // Moves towards 1 (on) or 0 (off).
    void setOn(bool on);

Q_SIGNALS:
    void valueChanged(qreal value);

private:
    QPointer<QWidget> m_widget;
    QVariantAnimation *m_animation;
    TessalineAnimation m_motion;
    std::optional<TessalineAnimation> m_reducedMotion;
    bool m_on = false;
    qreal m_value = 0;
};

} // namespace tessaline

#pragma once

#include <QObject>
#include <QPointer>

class QVariantAnimation;
class QWidget;

namespace tessaline {

// A value between 0 and 1 that follows an on/off state, fading with
// TessalineMotion::snappy() and switching at once while reduce motion is on.
// A widget it belongs to is repainted on every step (and switches at once
// while hidden); other owners, such as canvas items, follow `valueChanged`.
class AnimatedAmount : public QObject
{
    Q_OBJECT
public:
    explicit AnimatedAmount(QWidget *widget);
    explicit AnimatedAmount(QObject *owner);

    bool isOn() const { return m_on; }
    qreal value() const { return m_value; }

    // Moves towards 1 (on) or 0 (off).
    void setOn(bool on);

Q_SIGNALS:
    void valueChanged(qreal value);

private:
    QPointer<QWidget> m_widget;
    QVariantAnimation *m_animation;
    bool m_on = false;
    qreal m_value = 0;
};

} // namespace tessaline

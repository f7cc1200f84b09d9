#pragma once

#include <QGraphicsEffect>
#include <QPixmap>
#include <QTransform>

class QWidget;

namespace tessaline {

// Fades a widget in from transparent, drawing it once and showing that
// picture at each step of the fade. A plain opacity effect draws the widget
// again for every frame: a map of a thousand cards would paint them all a
// dozen times over 200 ms. What changes in the widget during the fade shows
// once it ends (or at once when the widget moves or resizes).
class ContentFadeEffect : public QGraphicsEffect
{
    Q_OBJECT
    Q_PROPERTY(qreal opacity READ opacity WRITE setOpacity)
public:
    explicit ContentFadeEffect(QObject *parent = nullptr);

    qreal opacity() const { return m_opacity; }
    void setOpacity(qreal opacity);
    // Whether a step drew the picture kept from an earlier one.
    bool drewKeptPicture() const { return m_drewKept; }

    // Fades `widget` in over the content fade's time (half under reduce
    // motion); the effect goes once it is done.
    static ContentFadeEffect *fadeIn(QWidget *widget);

protected:
    void draw(QPainter *painter) override;
    void sourceChanged(ChangeFlags flags) override;

private:
    qreal m_opacity = 1;
    QPixmap m_picture;
    QPoint m_offset;
    QTransform m_pictureTransform;
    bool m_drewKept = false;
};

} // namespace tessaline

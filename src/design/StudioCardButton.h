#pragma once

#include "design/StudioControls.h"

#include <QAbstractButton>
#include <QPointer>

class QVBoxLayout;

namespace tessaline {

class AnimatedAmount;

// A whole card or row that acts as a button. Its content keeps its own look;
// the button only dims it (pressed or disabled) and shrinks it slightly
// while pressed. Clicks anywhere on the content reach the button. Keyboard
// focus shows the controls' focus ring around it, in the corner radius of
// the cards it usually holds.
class StudioCardButton : public QAbstractButton
{
    Q_OBJECT
public:
    explicit StudioCardButton(QWidget *parent = nullptr);

    // Takes ownership of `content`, which fills the button.
    void setContent(QWidget *content);
    QWidget *content() const { return m_content; }

    StudioButtonState state() const;
    StudioButtonLook look() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    class PressEffect;
    class FocusRing;
    void refreshEffect();

    QPointer<QWidget> m_content;
    QVBoxLayout *m_layout;
    AnimatedAmount *m_press;
    PressEffect *m_effect;
    FocusRing *m_focusRing;
};

} // namespace tessaline

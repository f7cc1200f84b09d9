#pragma once

#include "design/StudioControls.h"

#include <QPushButton>

class QVariantAnimation;

namespace tessaline {

class AnimatedAmount;

// A push button painted with one of the app's button styles. Press and hover
// changes fade with TessalineMotion::snappy() unless reduce motion is on; the
// hit area is the button's rounded shape. Screens use the ready-made
// subclasses (TessalinePrimaryButton, StudioCompactButton, StudioActionButton,
// StudioIconButton); this class holds what they share. It is a push button,
// so a dialog's Return key reaches it as the default button (setDefault) and
// it can open a menu (setMenu).
class StudioButton : public QPushButton
{
    Q_OBJECT
public:
    using Style = StudioButtonStyle;

    explicit StudioButton(Style style, QWidget *parent = nullptr);
    ~StudioButton() override;

    Style buttonStyle() const { return m_style; }

    // The compact and icon styles' chosen state and prominence.
    bool isSelected() const { return m_selected; }
    void setSelected(bool selected);
    StudioControlProminence prominence() const { return m_prominence; }
    void setProminence(StudioControlProminence prominence);

    // The primary style's size; the others ignore it.
    StudioControlSize controlSize() const { return m_controlSize; }
    void setControlSize(StudioControlSize size);

    // When the button tracks hover itself, the pointer sets it; otherwise the
    // owner does, through setHovered.
    bool tracksHover() const { return m_tracksHover; }
    void setTracksHover(bool tracks);
    bool isHovered() const;
    void setHovered(bool hovered);

    // The symbol shown before the text (or alone). A new name replaces the
    // old symbol with a short cross-fade, at once under reduce motion.
    QString systemImage() const { return m_systemImage; }
    void setSystemImage(const QString &systemName);

    StudioButtonMetrics metrics() const;
    // The state as the style sees it right now, and its look.
    StudioButtonState state() const;
    StudioButtonLook look() const;
    StudioButtonLook lookFor(const StudioButtonState &state) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    bool hitButton(const QPoint &pos) const override;

private:
    Style m_style;
    StudioControlProminence m_prominence = StudioControlProminence::standard;
    StudioControlSize m_controlSize = StudioControlSize::regular;
    bool m_selected = false;
    bool m_tracksHover = false;
    bool m_showsFocusRing = false;
    QString m_systemImage;
    QString m_previousSystemImage;
    qreal m_symbolTransition = 1;
    AnimatedAmount *m_hover;
    AnimatedAmount *m_press;
    QVariantAnimation *m_symbolAnimation;
};

} // namespace tessaline

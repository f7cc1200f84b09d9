#pragma once

#include "design/QuietSurfaces.h"

#include <QPointer>
#include <QWidget>

class QVBoxLayout;

namespace tessaline {

class PaintOverlay;

class AnimatedAmount;

// A card holding a thought, a snip or a suggestion. Its fill follows the
// tone, its border answers selection, hover and contrast, a faint tint shows
// under the pointer, and its shadow grows with elevation (the widget keeps
// room around the card for it). Tint and border lie over the content and let
// clicks through. A card given a focus policy wears the controls' focus ring
// while it holds focus that came from the keyboard; a click shows none.
class QuietCard : public QWidget
{
    Q_OBJECT
public:
    static constexpr qreal cornerRadius = 12;

    explicit QuietCard(QuietCardTone tone = QuietCardTone::thought, bool isSelected = false,
                       QuietCardElevation elevation = QuietCardElevation::flat, qreal contentPadding = 12,
                       QWidget *parent = nullptr);

    QuietCardTone tone() const { return m_tone; }
    void setTone(QuietCardTone tone);
    bool isSelected() const { return m_selected; }
    void setSelected(bool selected);
    QuietCardElevation elevation() const { return m_elevation; }
    void setElevation(QuietCardElevation elevation);
    qreal contentPadding() const { return m_contentPadding; }
    void setContentPadding(qreal padding);

    bool isHovered() const;
    // The hover as drawn right now, fading between 0 and 1.
    qreal hoverAmount() const;

    // Takes ownership of `content`, inset by the content padding.
    void setContent(QWidget *content);
    QWidget *content() const { return m_content; }

    // The focus ring is on: the card holds focus that came by Tab, Shift+Tab
    // or a shortcut.
    bool showsKeyboardFocus() const { return m_keyboardFocus && hasFocus(); }

    // The card's own shape inside the widget (the widget minus shadow room).
    QRectF cardRect() const;
    QuietCardSurface surface() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    void updateMargins();
    void repaintAll();

    QuietCardTone m_tone;
    bool m_selected;
    QuietCardElevation m_elevation;
    qreal m_contentPadding;
    bool m_keyboardFocus = false;
    QPointer<QWidget> m_content;
    QVBoxLayout *m_layout;
    AnimatedAmount *m_hover;
    PaintOverlay *m_overlay;
};

} // namespace tessaline

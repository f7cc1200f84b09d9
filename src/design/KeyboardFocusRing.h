#pragma once

#include <QObject>

class QAbstractItemView;
class QWidget;
class QPainter;
class QRectF;
class QStyleOptionViewItem;

namespace tessaline {

// Whether a list is in use from the keyboard, for its delegate to ring the
// row its keys act on: on once the focus comes by Tab or a shortcut, or a key
// is pressed in the list; off after a click, which the selection answers
// already. The list is repainted when that changes.
class KeyboardFocusRing : public QObject
{
public:
    explicit KeyboardFocusRing(QAbstractItemView *view);

    // Paints the controls' focus ring round `shape` when the row of `option`
    // is the list's current one while the keyboard is in use.
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QRectF &shape, qreal radius) const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QAbstractItemView *m_view;
    // Kept apart from the view: the filter also hears the viewport's
    // destruction, when the view is half destroyed and no longer a scroll
    // area whose viewport could be asked for.
    QWidget *m_viewport;
    bool m_keyboard = false;
};

} // namespace tessaline

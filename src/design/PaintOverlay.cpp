#include "design/PaintOverlay.h"

#include <QPainter>

namespace tessaline {

PaintOverlay::PaintOverlay(QWidget *owner, Painter paint)
    : QWidget(owner)
    , m_paint(std::move(paint))
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
}

void PaintOverlay::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    m_paint(painter);
}

} // namespace tessaline

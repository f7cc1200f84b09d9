#pragma once

#include <QWidget>

#include <functional>

namespace tessaline {

// A see-through layer over a widget's content that draws chrome on top of
// it (a hairline, a selection ring) and lets every click through, so borders
// never take input. The owner keeps it covering itself and raised.
class PaintOverlay : public QWidget
{
public:
    using Painter = std::function<void(QPainter &)>;

    PaintOverlay(QWidget *owner, Painter paint);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    Painter m_paint;
};

} // namespace tessaline

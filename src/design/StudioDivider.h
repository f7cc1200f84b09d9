#pragma once

#include <QWidget>

namespace tessaline {

// The design system's hairline between two parts of a view: one pixel in
// the separator colour, read from the palette at every paint so a change of
// theme or contrast shows at once. A plain frame line would paint in the
// text colour instead.
class StudioDivider : public QWidget
{
    Q_OBJECT
public:
    explicit StudioDivider(Qt::Orientation orientation, QWidget *parent = nullptr);

    Qt::Orientation orientation() const { return m_orientation; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    Qt::Orientation m_orientation;
};

} // namespace tessaline

#pragma once

#include <QWidget>

class QVariantAnimation;

namespace tessaline {

// An indeterminate progress indicator at the small size: a ring of spokes
// that turns while the widget is shown.
class StudioSpinner : public QWidget
{
    Q_OBJECT
public:
    explicit StudioSpinner(QWidget *parent = nullptr);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    QVariantAnimation *m_rotation;
    int m_step = 0;
};

} // namespace tessaline

#pragma once

#include <QPointer>
#include <QWidget>

class QGridLayout;

namespace tessaline {

// The plain window-coloured background behind a canvas or library screen.
// It takes all the room it is offered and places its content by `alignment`.
class QuietCanvas : public QWidget
{
    Q_OBJECT
public:
    explicit QuietCanvas(Qt::Alignment alignment = Qt::AlignCenter, QWidget *parent = nullptr);

    Qt::Alignment alignment() const { return m_alignment; }
    void setAlignment(Qt::Alignment alignment);

    // Takes ownership of `content`.
    void setContent(QWidget *content);
    QWidget *content() const { return m_content; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    Qt::Alignment m_alignment;
    QPointer<QWidget> m_content;
    QGridLayout *m_layout;
};

} // namespace tessaline

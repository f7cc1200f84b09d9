#include "design/QuietCanvas.h"

#include "design/QuietSurfaces.h"

#include <QGridLayout>
#include <QPaintEvent>
#include <QPainter>

namespace tessaline {

QuietCanvas::QuietCanvas(Qt::Alignment alignment, QWidget *parent)
    : QWidget(parent)
    , m_alignment(alignment)
    , m_layout(new QGridLayout(this))
{
    m_layout->setContentsMargins(0, 0, 0, 0);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void QuietCanvas::setAlignment(Qt::Alignment alignment)
{
    m_alignment = alignment;
    if (m_content)
        m_layout->setAlignment(m_content, alignment);
}

void QuietCanvas::setContent(QWidget *content)
{
    if (m_content == content)
        return;
    if (m_content)
        m_content->deleteLater();
    m_content = content;
    if (content)
        m_layout->addWidget(content, 0, 0, m_alignment);
}

void QuietCanvas::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    paintQuietCanvas(&painter, event->rect(), palette());
}

} // namespace tessaline

#include "design/SymbolLabel.h"

#include "design/DesignEnvironment.h"
#include "platform/SymbolIcon.h"

#include <QPaintEngine>
#include <QPainter>

namespace tessaline {

SymbolLabel::SymbolLabel(const QString &systemName, int pointSize, SemanticColor color, QWidget *parent)
    : QWidget(parent)
    , m_systemName(systemName)
    , m_pointSize(pointSize)
    , m_color(color)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void SymbolLabel::setSystemName(const QString &systemName)
{
    if (m_systemName == systemName)
        return;
    m_systemName = systemName;
    update();
}

QSize SymbolLabel::sizeHint() const
{
    return QSize(m_pointSize + 2, m_pointSize + 2);
}

void SymbolLabel::paintEvent(QPaintEvent *)
{
    const QColor color = semanticColor(m_color, palette(), DesignEnvironment::current().increasedContrast);
    QPainter painter(this);
    // Drawn for the pixels painted into: the window's, or those of whatever
    // the label is grabbed or rendered into (the painter's device is the
    // label itself even then; its engine's is the real one).
    const QPaintDevice *target = painter.paintEngine() ? painter.paintEngine()->paintDevice() : nullptr;
    const QPixmap pixmap = SymbolIcon::tintedPixmap(m_systemName, QSize(m_pointSize, m_pointSize),
                                                    target ? target->devicePixelRatioF() : devicePixelRatioF(), color);
    const QSizeF logical = QSizeF(pixmap.size()) / pixmap.devicePixelRatio();
    painter.drawPixmap(QPointF((width() - logical.width()) / 2, (height() - logical.height()) / 2), pixmap);
}

} // namespace tessaline

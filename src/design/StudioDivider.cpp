#include "design/StudioDivider.h"

#include "design/DesignEnvironment.h"
#include "design/SemanticColors.h"
#include "platform/AccessibilitySettings.h"

#include <QPainter>

namespace tessaline {

StudioDivider::StudioDivider(Qt::Orientation orientation, QWidget *parent)
    : QWidget(parent), m_orientation(orientation)
{
    if (orientation == Qt::Horizontal) {
        setFixedHeight(1);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    } else {
        setFixedWidth(1);
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    }
    setAttribute(Qt::WA_TransparentForMouseEvents);
    connect(&AccessibilitySettings::shared(), &AccessibilitySettings::changed, this, [this] { update(); });
}

QSize StudioDivider::sizeHint() const
{
    return QSize(1, 1);
}

void StudioDivider::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), semanticColor(SemanticColor::separator, palette(),
                                           DesignEnvironment::current().increasedContrast));
}

} // namespace tessaline

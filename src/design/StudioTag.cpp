#include "design/StudioTag.h"

#include "design/DesignEnvironment.h"
#include "design/StudioContentComponents.h"
#include "platform/AccessibilitySettings.h"

#include <QPainter>

#include <cmath>

namespace tessaline {

StudioTag::StudioTag(const QString &title, const QString &systemImage, bool isSelected, QWidget *parent)
    : QWidget(parent)
    , m_title(title)
    , m_systemImage(systemImage)
    , m_selected(isSelected)
{
    setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
    setAccessibleName(title);
    connect(&AccessibilitySettings::shared(), &AccessibilitySettings::changed, this, [this] { update(); });
}

void StudioTag::setTitle(const QString &title)
{
    if (m_title == title)
        return;
    m_title = title;
    setAccessibleName(title);
    updateGeometry();
    update();
}

void StudioTag::setSystemImage(const QString &systemName)
{
    if (m_systemImage == systemName)
        return;
    m_systemImage = systemName;
    updateGeometry();
    update();
}

void StudioTag::setSelected(bool selected)
{
    if (m_selected == selected)
        return;
    m_selected = selected;
    update();
}

QSize StudioTag::sizeHint() const
{
    const QSizeF size = studioTagSize(m_title, m_systemImage);
    return QSize(int(std::ceil(size.width())), int(std::ceil(size.height())));
}

QSize StudioTag::minimumSizeHint() const
{
    // Narrower than its title, a tag cuts the title short; it never wraps.
    const QSizeF bare = studioTagSize(QStringLiteral("…"), m_systemImage);
    return QSize(std::min(sizeHint().width(), int(std::ceil(bare.width()))), sizeHint().height());
}

void StudioTag::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QSize natural = sizeHint();
    const QPointF origin(0, (height() - natural.height()) / 2.0);
    paintStudioTag(&painter, origin, m_title, m_systemImage, m_selected, palette(),
                   DesignEnvironment::current().increasedContrast, width());
}

} // namespace tessaline

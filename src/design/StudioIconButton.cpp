#include "design/StudioIconButton.h"

namespace tessaline {

StudioIconButton::StudioIconButton(const QString &title, const QString &systemImage, bool isSelected,
                                   StudioControlProminence prominence, std::function<void()> action, QWidget *parent)
    : StudioButton(Style::icon, parent)
{
    setTracksHover(true);
    setTitle(title);
    setSystemImage(systemImage);
    setSelected(isSelected);
    setProminence(prominence);
    if (action)
        connect(this, &QAbstractButton::clicked, this, [action = std::move(action)] { action(); });
}

void StudioIconButton::setTitle(const QString &title)
{
    m_title = title;
    setToolTip(title);
    setAccessibleName(title);
}

} // namespace tessaline

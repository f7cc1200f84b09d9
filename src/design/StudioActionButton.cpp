#include "design/StudioActionButton.h"

namespace tessaline {

StudioActionButton::StudioActionButton(const QString &title, const QString &systemImage, bool isSelected,
                                       StudioControlProminence prominence, std::function<void()> action,
                                       QWidget *parent)
    : StudioButton(Style::compact, parent)
{
    setTracksHover(true);
    setText(title);
    setSystemImage(systemImage);
    setSelected(isSelected);
    setProminence(prominence);
    if (action)
        connect(this, &QAbstractButton::clicked, this, [action = std::move(action)] { action(); });
}

} // namespace tessaline

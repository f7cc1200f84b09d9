#include "design/StudioCompactButton.h"

namespace tessaline {

StudioCompactButton::StudioCompactButton(const QString &title, bool isSelected, StudioControlProminence prominence,
                                         QWidget *parent)
    : StudioButton(Style::compact, parent)
{
    setText(title);
    setSelected(isSelected);
    setProminence(prominence);
}

} // namespace tessaline

#pragma once

#include "design/StudioButton.h"

namespace tessaline {

// A small text button in the compact style. Its owner decides whether it
// looks hovered (setHovered); StudioActionButton tracks the pointer itself.
class StudioCompactButton : public StudioButton
{
    Q_OBJECT
public:
    explicit StudioCompactButton(const QString &title = {}, bool isSelected = false,
                                 StudioControlProminence prominence = StudioControlProminence::standard,
                                 QWidget *parent = nullptr);
};

} // namespace tessaline

#pragma once

#include "design/StudioButton.h"

#include <functional>

namespace tessaline {

// A compact-style button with a text and an optional symbol before it. It
// tracks the pointer itself; assistive technology reads its text.
class StudioActionButton : public StudioButton
{
    Q_OBJECT
public:
    StudioActionButton(const QString &title, const QString &systemImage, bool isSelected,
                       StudioControlProminence prominence, std::function<void()> action = {},
                       QWidget *parent = nullptr);

    QString title() const { return text(); }
};

} // namespace tessaline

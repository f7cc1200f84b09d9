#pragma once

#include "design/StudioButton.h"

#include <functional>

namespace tessaline {

// A square button that shows only a symbol. Its title is the tooltip and what
// assistive technology reads, since no text shows.
class StudioIconButton : public StudioButton
{
    Q_OBJECT
public:
    StudioIconButton(const QString &title, const QString &systemImage, bool isSelected = false,
                     StudioControlProminence prominence = StudioControlProminence::standard,
                     std::function<void()> action = {}, QWidget *parent = nullptr);

    QString title() const { return m_title; }
    void setTitle(const QString &title);

private:
    QString m_title;
};

} // namespace tessaline

#pragma once

#include <QColor>
#include <QPalette>

namespace tessaline::testing {

// `palette` as a desktop turned dark gives it: dark fills under light text.
inline QPalette darkAppearance(QPalette palette)
{
    palette.setColor(QPalette::Window, QColor(36, 36, 38));
    palette.setColor(QPalette::WindowText, QColor(236, 236, 236));
    palette.setColor(QPalette::Base, QColor(28, 28, 30));
    palette.setColor(QPalette::Text, QColor(236, 236, 236));
    return palette;
}

} // namespace tessaline::testing

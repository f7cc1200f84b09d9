#pragma once

#include "design/SemanticColors.h"

#include <QPalette>

#include <initializer_list>

class QWidget;

namespace tessaline {

// One palette role of a widget given in a semantic colour.
struct SemanticRole {
    QPalette::ColorRole role;
    ColorSpec color;
};

// Gives `widget` these roles in their semantic colours, read from its
// surroundings, and gives them again whenever the surroundings change: the
// desktop turning light or dark, increased contrast, another parent. A colour
// copied once into a widget's palette stays that of the appearance it was
// read in, and the desktop's next switch leaves light text on a light fill.
void keepSemanticColors(QWidget *widget, std::initializer_list<SemanticRole> roles);

} // namespace tessaline

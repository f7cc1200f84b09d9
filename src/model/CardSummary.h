#pragma once

#include <QString>

namespace tessaline {

class CanvasCard;

// What a card's small tile says about it, the same on every screen that
// lists cards (search, Recently Deleted, the library).
namespace CardSummary {

// "Snip", or the thought's kind ("Thought", "Question", …).
QString kindLabel(const CanvasCard &card);
// The symbol shown beside the kind.
QString kindSymbol(const CanvasCard &card);
// The caption (or recognised text) of a snip, the text of a thought, with
// every run of white space made one space; empty when it only repeats the
// title; at most `maxCharacters` user-perceived characters.
QString excerpt(const CanvasCard &card, qsizetype maxCharacters = 220);

} // namespace CardSummary
} // namespace tessaline

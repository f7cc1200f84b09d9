#pragma once

#include <QList>
#include <QUuid>

#include <optional>

namespace tessaline {

// The sheets of the main window.
enum class SheetKind { onboarding, quickThought, focusEditor, gallery, captureReview, frameComposer, askSuggestion, newBoard };

// What the thinking assistant is asked about: cards of one note, whose
// thought the kept answer becomes.
struct AskSuggestionRequest
{
    QUuid boardID;
    QList<QUuid> sourceCardIDs;

    friend bool operator==(const AskSuggestionRequest &, const AskSuggestionRequest &) = default;
};

// A sheet to show, with what it was asked for.
struct SheetRequest
{
    SheetKind kind = SheetKind::quickThought;
    // The card of the focus editor, gallery, capture review and frame composer.
    std::optional<QUuid> cardID;
    // The quick note's chosen note: the active note when the sheet was built.
    std::optional<QUuid> preselectedBoardID;
    // The thinking assistant's note and cards.
    std::optional<AskSuggestionRequest> ask;

    // Two requests show the same sheet when kind, card and question agree.
    // The gallery is one sheet whatever card it shows: it pages by moving
    // its card.
    bool isSameSheet(const SheetRequest &other) const
    {
        return kind == other.kind && (kind == SheetKind::gallery || cardID == other.cardID) && ask == other.ask;
    }
};

} // namespace tessaline

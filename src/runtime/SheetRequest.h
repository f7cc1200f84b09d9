#pragma once

#include <QUuid>

#include <optional>

namespace tessaline {

// The six sheets of the main window.
enum class SheetKind { onboarding, quickThought, focusEditor, gallery, captureReview, frameComposer };

// A sheet to show, with what it was asked for.
struct SheetRequest
{
    SheetKind kind = SheetKind::quickThought;
    // The card of the focus editor, gallery, capture review and frame composer.
    std::optional<QUuid> cardID;
    // The quick note's chosen note: the active note when the sheet was built.
    std::optional<QUuid> preselectedBoardID;

    // Two requests show the same sheet when kind and card agree. The gallery
    // is one sheet whatever card it shows: it pages by moving its card.
    bool isSameSheet(const SheetRequest &other) const
    {
        return kind == other.kind && (kind == SheetKind::gallery || cardID == other.cardID);
    }
};

} // namespace tessaline

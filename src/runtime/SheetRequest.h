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

    // Two requests show the same sheet when kind and card agree.
    bool isSameSheet(const SheetRequest &other) const { return kind == other.kind && cardID == other.cardID; }
};

} // namespace tessaline

#pragma once

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

#include <optional>

namespace tessaline {

class CanvasCard;

// The actions the map offers on its selected cards, in the palette's order.
enum class StudioSelectionAction { annotate, connect, ask, group, more };

QString rawValue(StudioSelectionAction action);
std::optional<StudioSelectionAction> selectionActionFromRawValue(const QString &rawValue);
QList<StudioSelectionAction> allSelectionActions();
QString title(StudioSelectionAction action);
QString systemImage(StudioSelectionAction action);

inline size_t qHash(StudioSelectionAction action, size_t seed = 0)
{
    return ::qHash(int(action), seed);
}

// Which actions the selection allows. `selectedCards` are the selected live
// cards of the open note (selected ids of other notes do not count).
// Annotate needs exactly one snip, Connect exactly two cards, Ask and Group
// at least one; More is always there. Ask also needs the assistant.
QSet<StudioSelectionAction> disabledSelectionActions(const QList<CanvasCard *> &selectedCards, bool assistantAvailable);

// The palette's texts.
namespace SelectionPaletteTexts {

// The caption is shown from two selected cards on.
bool showsCaption(qsizetype selectedCount);
// "3 cards selected": the caption's tooltip and what assistive technology
// reads for it.
QString captionDescription(qsizetype selectedCount);
// The button's tooltip: its title, or why Ask cannot be used yet.
QString tooltip(StudioSelectionAction action, bool assistantAvailable);

} // namespace SelectionPaletteTexts

} // namespace tessaline

#include "canvas/CardMenuEntry.h"

namespace tessaline {

QList<CardMenuEntry> CardMenuEntry::entries(CardKind kind)
{
    using A = Action;
    QList<CardMenuEntry> entries{
        {A::open, QStringLiteral("Open"), {}, {}, false},
        {A::referenceInWriting, QStringLiteral("Reference in Writing"), QStringLiteral("text.badge.plus"), {}, false},
    };
    if (kind == CardKind::snip) {
        entries += {
            {A::annotate, QStringLiteral("Annotate"), {}, {}, false},
            {A::pin, QStringLiteral("Pin"), {}, {}, false},
            {A::copy, QStringLiteral("Copy"), {}, {}, false},
            {A::exportPNG, QStringLiteral("Export PNG\u2026"), {}, {}, false},
        };
    }
    if (kind == CardKind::thought) {
        for (ThoughtKind thoughtKind : allThoughtKinds())
            entries.append({A::setThoughtKind, displayName(thoughtKind), {}, thoughtKind, false});
    }
    if (kind == CardKind::snip)
        entries.append({A::returnToTray, QStringLiteral("Return to Tray"), {}, {}, false});
    entries.append({A::separator, {}, {}, {}, false});
    entries.append({A::moveToTrash, QStringLiteral("Move to Trash"), {}, {}, true});
    return entries;
}

} // namespace tessaline

#pragma once

#include "model/CanvasCard.h"

#include <QList>
#include <QString>

#include <optional>

namespace tessaline {

// One entry of a map card's context menu. None is ever disabled; which
// appear depends on the card's kind.
struct CardMenuEntry
{
    enum class Action {
        open,
        referenceInWriting,
        annotate,
        pin,
        copy,
        exportPNG,
        setThoughtKind, // one entry per kind, in the "Kind" submenu
        returnToTray,
        separator,
        moveToTrash,
    };

    Action action = Action::open;
    QString title;
    QString systemImage;
    std::optional<ThoughtKind> thoughtKind;
    bool isDestructive = false;

    // The entries for a card of this kind, top to bottom: a snip offers the
    // image actions and Return to Tray, a thought the Kind submenu, a ghost
    // card only what every card offers.
    static QList<CardMenuEntry> entries(CardKind kind);
    static QString kindSubmenuTitle() { return QStringLiteral("Kind"); }
};

} // namespace tessaline

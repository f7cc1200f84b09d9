#include "canvas/StudioSelectionAction.h"

#include "model/CanvasCard.h"

namespace tessaline {

QString rawValue(StudioSelectionAction action)
{
    switch (action) {
    case StudioSelectionAction::annotate: return QStringLiteral("annotate");
    case StudioSelectionAction::connect: return QStringLiteral("connect");
    case StudioSelectionAction::ask: return QStringLiteral("ask");
    case StudioSelectionAction::group: return QStringLiteral("group");
    case StudioSelectionAction::more: return QStringLiteral("more");
    }
    return QString();
}

std::optional<StudioSelectionAction> selectionActionFromRawValue(const QString &raw)
{
    for (StudioSelectionAction action : allSelectionActions()) {
        if (raw == rawValue(action))
            return action;
    }
    return std::nullopt;
}

QList<StudioSelectionAction> allSelectionActions()
{
    return {StudioSelectionAction::annotate, StudioSelectionAction::connect, StudioSelectionAction::ask,
            StudioSelectionAction::group, StudioSelectionAction::more};
}

QString title(StudioSelectionAction action)
{
    switch (action) {
    case StudioSelectionAction::annotate: return QStringLiteral("Annotate");
    case StudioSelectionAction::connect: return QStringLiteral("Connect");
    case StudioSelectionAction::ask: return QStringLiteral("Ask");
    case StudioSelectionAction::group: return QStringLiteral("Group");
    case StudioSelectionAction::more: return QStringLiteral("More");
    }
    return QString();
}

QString systemImage(StudioSelectionAction action)
{
    switch (action) {
    case StudioSelectionAction::annotate: return QStringLiteral("pencil.tip");
    case StudioSelectionAction::connect: return QStringLiteral("link");
    case StudioSelectionAction::ask: return QStringLiteral("sparkles");
    case StudioSelectionAction::group: return QStringLiteral("square.3.layers.3d");
    case StudioSelectionAction::more: return QStringLiteral("ellipsis.circle");
    }
    return QString();
}

QSet<StudioSelectionAction> disabledSelectionActions(const QList<CanvasCard *> &selectedCards, bool assistantAvailable)
{
    const qsizetype n = selectedCards.size();
    QSet<StudioSelectionAction> disabled;
    if (n != 1 || selectedCards.constFirst()->kind() != CardKind::snip)
        disabled.insert(StudioSelectionAction::annotate);
    if (n != 2)
        disabled.insert(StudioSelectionAction::connect);
    if (n == 0) {
        disabled.insert(StudioSelectionAction::ask);
        disabled.insert(StudioSelectionAction::group);
    }
    if (!assistantAvailable)
        disabled.insert(StudioSelectionAction::ask);
    return disabled;
}

namespace SelectionPaletteTexts {

bool showsCaption(qsizetype selectedCount)
{
    return selectedCount >= 2;
}

QString captionDescription(qsizetype selectedCount)
{
    return QString::number(selectedCount) + QStringLiteral(" cards selected");
}

QString tooltip(StudioSelectionAction action, bool assistantAvailable)
{
    if (action == StudioSelectionAction::ask && !assistantAvailable)
        return QStringLiteral("Ask needs the thinking assistant, which is not available yet");
    return title(action);
}

} // namespace SelectionPaletteTexts

} // namespace tessaline

#include "notes/WritingReferencePresentation.h"

#include "platform/TextUtilities.h"
#include "platform/UuidText.h"

#include <algorithm>

namespace tessaline {

namespace WritingReferencePresentation {

SnipLayout snipLayout(NoteAttachmentSize size)
{
    switch (size) {
    case NoteAttachmentSize::small:
        return {220.0, 145, true, 12, 580.0};
    case NoteAttachmentSize::medium:
        return {560.0, 330, false, 9, 580.0};
    case NoteAttachmentSize::fullWidth:
        return {std::nullopt, 460, false, 9, std::nullopt};
    }
    return {560.0, 330, false, 9, 580.0};
}

QSizeF fittedImageSize(const std::optional<QSizeF> &imageSize, qreal available, NoteAttachmentSize size)
{
    const SnipLayout layout = snipLayout(size);
    const qreal maxWidth = std::max<qreal>(0, layout.imageMaxWidth ? std::min(*layout.imageMaxWidth, available) : available);
    const qreal maxHeight = layout.imageMaxHeight;
    QSizeF source = imageSize && !imageSize->isEmpty() ? *imageSize : QSizeF(missingImageAspectRatio, 1);
    // Scaled to fit, up or down, as a resizable image is.
    const qreal scale = std::min(maxWidth / source.width(), maxHeight / source.height());
    return source * scale;
}

SnipCaption snipCaption(const CanvasCard &card, NoteAttachmentSize size)
{
    const QString caption = card.contextText();
    if (!isBlank(caption))
        return {SnipCaption::Kind::caption, caption, QString()};
    if (size == NoteAttachmentSize::small)
        return {SnipCaption::Kind::titleAndHint, card.displayTitle(),
                QStringLiteral("Add a caption from Annotate or the inspector.")};
    return {};
}

QString thoughtSymbol(ThoughtKind kind)
{
    switch (kind) {
    case ThoughtKind::thought: return QStringLiteral("text.bubble");
    case ThoughtKind::question: return QStringLiteral("questionmark.circle");
    case ThoughtKind::decision: return QStringLiteral("checkmark.seal");
    case ThoughtKind::nextStep: return QStringLiteral("arrow.right.circle");
    }
    return QStringLiteral("text.bubble");
}

QString accessibleName(const CanvasCard &card)
{
    return QStringLiteral("Reference to ") + card.displayTitle();
}

QString accessibleDescription(const CanvasCard &card)
{
    return QStringLiteral("Opens the original ") + (card.kind() == CardKind::snip ? QStringLiteral("Snip") : QStringLiteral("Thought"));
}

QString missingAccessibleValue(const std::optional<QUuid> &cardID)
{
    return cardID ? uuidText(*cardID) : QStringLiteral("Missing identifier");
}

QList<MenuEntry> actionsMenuContent(const CanvasCard &card, NoteAttachmentSize size, bool copied)
{
    using Action = MenuEntry::Action;
    QList<MenuEntry> entries;
    entries.append({Action::open, QStringLiteral("Open Preview"), QStringLiteral("eye"), false, {}});
    if (card.kind() == CardKind::snip) {
        entries.append({Action::copy, copied ? QStringLiteral("Copied") : QStringLiteral("Copy"),
                        copied ? QStringLiteral("checkmark") : QStringLiteral("doc.on.doc"), false, {}});
        entries.append({Action::saveAs, QStringLiteral("Save As…"), QStringLiteral("square.and.arrow.down"), false, {}});
        entries.append({Action::annotate, QStringLiteral("Annotate"), QStringLiteral("pencil.tip"), false, {}});
        entries.append({Action::copyWithFrame, QStringLiteral("Copy with Frame…"), QStringLiteral("rectangle.inset.filled"),
                        false, {}});
        MenuEntry viewAs{Action::viewAs, QStringLiteral("View As"), QStringLiteral("rectangle.expand.vertical"), false, {}};
        for (NoteAttachmentSize choice : {NoteAttachmentSize::small, NoteAttachmentSize::medium, NoteAttachmentSize::fullWidth})
            viewAs.sizes.append({choice, displayName(choice),
                                 choice == size ? QStringLiteral("checkmark") : QStringLiteral("rectangle")});
        entries.append(viewAs);
    }
    entries.append({Action::separator, QString(), QString(), false, {}});
    entries.append({Action::remove, QStringLiteral("Remove from Note"), QStringLiteral("link.badge.minus"), true, {}});
    return entries;
}

} // namespace WritingReferencePresentation

} // namespace tessaline

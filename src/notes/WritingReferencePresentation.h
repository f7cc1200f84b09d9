#pragma once

#include "model/BoardWritingDocument.h"
#include "model/CanvasCard.h"

#include <QList>
#include <QSizeF>
#include <QString>
#include <QUuid>

#include <optional>

namespace tessaline {

// How a card reference in a note's writing is drawn and what its menu offers,
// apart from the widgets that show it.
namespace WritingReferencePresentation {

inline constexpr qreal imageCornerRadius = 9;
inline constexpr qreal imageBorderOpacity = 0.55;
inline constexpr qreal snipContentPadding = 10;
inline constexpr qreal missingImageAspectRatio = 1.6;
inline constexpr qreal missingImageFillOpacity = 0.035;
inline constexpr qreal actionsButtonSize = 28;
inline constexpr qreal actionsButtonPadding = 14;
inline constexpr qreal thoughtRowPadding = 13;
inline constexpr qreal thoughtRowSpacing = 12;
inline constexpr qreal missingContentPadding = 13;
inline constexpr qreal missingRowSpacing = 11;

struct SnipLayout
{
    // No value: no limit (the column's width).
    std::optional<qreal> imageMaxWidth;
    qreal imageMaxHeight = 0;
    // Image left of the caption instead of above it.
    bool sideBySide = false;
    qreal spacing = 0;
    // The card's content, padding included; no value: the column's width.
    std::optional<qreal> contentMaxWidth;
};

SnipLayout snipLayout(NoteAttachmentSize size);

// The size an image of `imageSize` (or the missing-image fill, when there is
// no image) takes when scaled to fit `available` width and the size's limits,
// keeping its aspect ratio.
QSizeF fittedImageSize(const std::optional<QSizeF> &imageSize, qreal available, NoteAttachmentSize size);

// What stands below or beside a snip's image.
struct SnipCaption
{
    enum class Kind { caption, titleAndHint, nothing };
    Kind kind = Kind::nothing;
    // The caption as stored, or the display title with the hint.
    QString text;
    QString hint;
};
SnipCaption snipCaption(const CanvasCard &card, NoteAttachmentSize size);

// "text.bubble", "questionmark.circle", "checkmark.seal", "arrow.right.circle".
QString thoughtSymbol(ThoughtKind kind);

// "Reference to <title>" and "Opens the original Snip" or "… Thought".
QString accessibleName(const CanvasCard &card);
QString accessibleDescription(const CanvasCard &card);

// The placeholder's accessible value: the UUID text, or "Missing identifier".
QString missingAccessibleValue(const std::optional<QUuid> &cardID);

// One entry of the actions menu, in menu order.
struct MenuEntry
{
    enum class Action { open, copy, saveAs, annotate, copyWithFrame, viewAs, separator, remove };
    Action action = Action::open;
    QString title;
    QString systemImage;
    bool isDestructive = false;
    // The "View As" submenu: one entry per size, the current one checked.
    struct SizeChoice
    {
        NoteAttachmentSize size;
        QString title;
        QString systemImage;
    };
    QList<SizeChoice> sizes;
};

// The card's context menu and its snip hover menu alike.
QList<MenuEntry> actionsMenuContent(const CanvasCard &card, NoteAttachmentSize size, bool copied);

} // namespace WritingReferencePresentation

} // namespace tessaline

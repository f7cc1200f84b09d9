#pragma once

#include "model/CanvasCard.h"
#include "model/BoardWritingDocument.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QUuid>

#include <functional>
#include <optional>

namespace tessaline {


// What a card-reference block shows: its card at a size, or the placeholder
// of an unavailable card (naming the card id when the block has one).
struct WritingReferenceResolution
{
    CanvasCard *card = nullptr;
    NoteAttachmentSize size = NoteAttachmentSize::medium;
    std::optional<QUuid> missingCardID;

    bool isMissing() const { return card == nullptr; }
};

// The rules of a note's writing page, apart from its widgets: which text each
// paragraph shows, what a reference resolves to, which drops are taken and
// which paragraph is the writing position.
//
// The document is the workspace's: the page changes it in exactly one way,
// replacing a paragraph's text, and hands every such change back through
// `onDocumentChange`. Inserting, removing and resizing references are
// requests through the actions; the workspace decides and hands the new
// document back with `setDocument`.
class BoardWritingSurfaceModel : public QObject
{
    Q_OBJECT
public:
    explicit BoardWritingSurfaceModel(QObject *parent = nullptr);

    const BoardWritingDocument &document() const { return m_document; }
    // A new document from the workspace; emits documentChanged when it differs.
    void setDocument(const BoardWritingDocument &document);

    // The cards a reference may show and a drop may name, in the workspace's
    // order (the first with an id wins).
    QList<CanvasCard *> cards() const;
    void setCards(const QList<CanvasCard *> &cards);
    CanvasCard *card(const QUuid &cardID) const;

    // The id of the first paragraph, none when the document has none.
    std::optional<QUuid> firstParagraphID() const;
    // Where Tab (Shift+Tab: `forward` false) takes the keyboard from the
    // block `blockID`: the block after (before) it in document order, a
    // paragraph or a card reference alike, so every card can be reached
    // without a pointer. None at either end, where the keyboard leaves the
    // writing, and for an id the document does not hold. Coming from
    // outside the writing (no block), Tab enters at the first block and
    // Shift+Tab at the last, whatever order their views were made in.
    std::optional<QUuid> tabTarget(const std::optional<QUuid> &blockID, bool forward) const;

    // Where the keyboard goes when the view of `blockID`, which held it,
    // left the page, the blocks having been shown in `shownOrder` until
    // then: to the block itself when the document still holds it (its card
    // came or went, and it is shown another way); else to the nearest block
    // after it that the document still holds, a paragraph taking the caret
    // at its start; else to the nearest one before it, the caret at its end.
    // None when the document holds none of them: the writing itself keeps
    // the keyboard. Never nowhere, so a card removed from the keyboard
    // leaves it where the card was.
    struct KeyboardLanding
    {
        QUuid blockID;
        bool atStart = true;
    };
    std::optional<KeyboardLanding> keyboardLanding(const QList<QUuid> &shownOrder, const QUuid &blockID) const;
    // The text of the first block with that id, of any kind; "" when none.
    QString paragraphText(const QUuid &blockID) const;
    // Replaces the paragraph's text exactly as typed and hands the document
    // to the workspace. False, and nothing happens, when no paragraph has the
    // id or the text is already that.
    bool setParagraphText(const QUuid &blockID, const QString &text);

    static constexpr qsizetype maximumWritingCharacters = BoardWritingDocument::maximumCharacters;
    // Whether a paste of `pasted` characters over `replaced` selected ones
    // may go into the paragraph. When the writing would grow past the limit
    // the paste is refused, and onPasteRefused says so.
    bool acceptsPaste(const QUuid &blockID, qsizetype pasted, qsizetype replaced) const;

    // "Start writing…" for the first paragraph, "Keep writing…" for the
    // others; "" while the paragraph holds any text (spaces count).
    QString placeholderText(const QUuid &paragraphID) const;
    QString accessibleName(const QUuid &paragraphID) const;
    static QString accessibleDescription();

    WritingReferenceResolution resolveReference(const BoardWritingBlock &block) const;

    // A dropped plain-text list: only the first item is read; it must be a
    // UUID naming one of the cards. Then onInsertReference runs with the
    // anchor (the paragraph dropped on, or none) and true comes back.
    bool dropTexts(const QStringList &texts, const std::optional<QUuid> &anchorParagraphID);
    // The card a drag would bring, for accepting it while it hovers.
    std::optional<QUuid> droppableCardID(const QStringList &texts) const;

    std::optional<QUuid> focusedParagraphID() const { return m_focusedParagraphID; }
    // Reports every change through onFocusParagraph once the page has been shown.
    void setFocusedParagraphID(const std::optional<QUuid> &paragraphID);
    void pageShown();
    // The page left the screen: the writing position is gone.
    void pageHidden();

    // The animation of a change of the block list.
    static int blockListAnimationMs(bool reduceMotion);

    // Forwarded by reference rows; they name the block, never the card.
    void openCard(CanvasCard *card);
    void removeReference(const QUuid &blockID);
    void updateReferenceSize(const QUuid &blockID, NoteAttachmentSize size);

    std::function<void(const BoardWritingDocument &)> onDocumentChange;
    std::function<void(CanvasCard *)> onOpenCard;
    std::function<void(const QUuid &cardID, const std::optional<QUuid> &anchorBlockID)> onInsertReference;
    std::function<void(const QUuid &blockID)> onRemoveReference;
    std::function<void(const QUuid &blockID, NoteAttachmentSize size)> onUpdateReferenceSize;
    std::function<void(const std::optional<QUuid> &blockID)> onFocusParagraph;
    std::function<void(const QString &message)> onPasteRefused;
    // Handed over by the workspace; nothing on the page calls it.
    std::function<void()> onNewThought;

Q_SIGNALS:
    // The workspace handed in a different document.
    void documentChanged();
    // A paragraph's text was edited on the page.
    void paragraphTextChanged(const QUuid &blockID);
    void cardsChanged();

private:
    BoardWritingDocument m_document;
    QList<QPointer<CanvasCard>> m_cards;
    // Where each id is first held in `m_cards`, as the cards were handed in.
    QHash<QUuid, int> m_firstIndexByID;
    std::optional<QUuid> m_focusedParagraphID;
    bool m_shown = false;
};

} // namespace tessaline

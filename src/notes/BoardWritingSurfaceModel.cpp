#include "notes/BoardWritingSurfaceModel.h"

#include "model/CanvasCard.h"
#include "platform/UuidText.h"

#include <QLocale>
#include <QSet>

#include <algorithm>

namespace tessaline {

BoardWritingSurfaceModel::BoardWritingSurfaceModel(QObject *parent)
    : QObject(parent)
{
}

void BoardWritingSurfaceModel::setDocument(const BoardWritingDocument &document)
{
    if (m_document == document)
        return;
    m_document = document;
    Q_EMIT documentChanged();
}

QList<CanvasCard *> BoardWritingSurfaceModel::cards() const
{
    QList<CanvasCard *> result;
    result.reserve(m_cards.size());
    for (const QPointer<CanvasCard> &card : m_cards) {
        if (card)
            result.append(card.data());
    }
    return result;
}

void BoardWritingSurfaceModel::setCards(const QList<CanvasCard *> &cards)
{
    m_cards.clear();
    m_cards.reserve(cards.size());
    m_firstIndexByID.clear();
    m_firstIndexByID.reserve(cards.size());
    for (CanvasCard *card : cards) {
        if (card && !m_firstIndexByID.contains(card->id()))
            m_firstIndexByID.insert(card->id(), int(m_cards.size()));
        m_cards.append(card);
    }
    Q_EMIT cardsChanged();
}

CanvasCard *BoardWritingSurfaceModel::card(const QUuid &cardID) const
{
    // Each reference of a long note asks: the index answers at once while
    // its first holder of the id is still there with that id.
    if (const auto index = m_firstIndexByID.constFind(cardID); index != m_firstIndexByID.cend()) {
        const QPointer<CanvasCard> &first = m_cards.at(*index);
        if (first && first->id() == cardID)
            return first.data();
    }
    for (const QPointer<CanvasCard> &card : m_cards) {
        if (card && card->id() == cardID)
            return card.data();
    }
    return nullptr;
}

std::optional<QUuid> BoardWritingSurfaceModel::firstParagraphID() const
{
    for (const BoardWritingBlock &block : m_document.blocks) {
        if (block.isParagraph())
            return block.id;
    }
    return std::nullopt;
}

std::optional<QUuid> BoardWritingSurfaceModel::tabTarget(const std::optional<QUuid> &blockID, bool forward) const
{
    const QList<BoardWritingBlock> &blocks = m_document.blocks;
    if (!blockID) {
        if (blocks.isEmpty())
            return std::nullopt;
        return forward ? blocks.constFirst().id : blocks.constLast().id;
    }
    const auto at = std::find_if(blocks.cbegin(), blocks.cend(), [&](const BoardWritingBlock &block) { return block.id == *blockID; });
    if (at == blocks.cend())
        return std::nullopt;
    const qsizetype index = at - blocks.cbegin() + (forward ? 1 : -1);
    if (index < 0 || index >= blocks.size())
        return std::nullopt;
    return blocks.at(index).id;
}

std::optional<BoardWritingSurfaceModel::KeyboardLanding>
BoardWritingSurfaceModel::keyboardLanding(const QList<QUuid> &shownOrder, const QUuid &blockID) const
{
    QSet<QUuid> held;
    held.reserve(m_document.blocks.size());
    for (const BoardWritingBlock &block : m_document.blocks)
        held.insert(block.id);
    if (held.contains(blockID))
        return KeyboardLanding{blockID, true};
    const qsizetype at = shownOrder.indexOf(blockID);
    if (at < 0)
        return std::nullopt;
    for (qsizetype index = at + 1; index < shownOrder.size(); ++index) {
        if (held.contains(shownOrder.at(index)))
            return KeyboardLanding{shownOrder.at(index), true};
    }
    for (qsizetype index = at - 1; index >= 0; --index) {
        if (held.contains(shownOrder.at(index)))
            return KeyboardLanding{shownOrder.at(index), false};
    }
    return std::nullopt;
}

QString BoardWritingSurfaceModel::paragraphText(const QUuid &blockID) const
{
    for (const BoardWritingBlock &block : m_document.blocks) {
        if (block.id == blockID)
            return block.text;
    }
    return QString();
}

bool BoardWritingSurfaceModel::setParagraphText(const QUuid &blockID, const QString &text)
{
    // Checked first so an editor echoing the document back changes nothing
    // and a keystroke costs one pass over the blocks.
    const auto paragraph = std::find_if(m_document.blocks.cbegin(), m_document.blocks.cend(),
                                        [&](const BoardWritingBlock &block) {
                                            return block.id == blockID && block.isParagraph();
                                        });
    if (paragraph == m_document.blocks.cend() || paragraph->text == text)
        return false;
    m_document.updateParagraphText(blockID, text);
    Q_EMIT paragraphTextChanged(blockID);
    if (onDocumentChange)
        onDocumentChange(m_document);
    return true;
}

bool BoardWritingSurfaceModel::acceptsPaste(const QUuid &blockID, qsizetype pasted, qsizetype replaced) const
{
    const bool found = std::any_of(m_document.blocks.cbegin(), m_document.blocks.cend(), [&](const BoardWritingBlock &block) {
        return block.id == blockID && block.isParagraph();
    });
    if (!found)
        return false;
    const qsizetype writing = m_document.characterCount();
    if (BoardWritingDocument::admits(writing, pasted, replaced))
        return true;
    if (onPasteRefused)
        onPasteRefused(BoardWritingDocument::refusal(writing, pasted));
    return false;
}

QString BoardWritingSurfaceModel::placeholderText(const QUuid &paragraphID) const
{
    if (!paragraphText(paragraphID).isEmpty())
        return QString();
    return firstParagraphID() == paragraphID ? QStringLiteral("Start writing…") : QStringLiteral("Keep writing…");
}

QString BoardWritingSurfaceModel::accessibleName(const QUuid &paragraphID) const
{
    return firstParagraphID() == paragraphID ? QStringLiteral("Board writing") : QStringLiteral("Writing paragraph");
}

QString BoardWritingSurfaceModel::accessibleDescription()
{
    return QStringLiteral("Type your thought, or drag a card here to reference it after this paragraph");
}

WritingReferenceResolution BoardWritingSurfaceModel::resolveReference(const BoardWritingBlock &block) const
{
    WritingReferenceResolution resolution;
    if (!block.cardID)
        return resolution;
    resolution.card = card(*block.cardID);
    if (!resolution.card) {
        resolution.missingCardID = block.cardID;
        return resolution;
    }
    if (block.attachmentSizeRawValue) {
        if (const auto size = noteAttachmentSizeFromRawValue(*block.attachmentSizeRawValue))
            resolution.size = *size;
    }
    return resolution;
}

std::optional<QUuid> BoardWritingSurfaceModel::droppableCardID(const QStringList &texts) const
{
    if (texts.isEmpty())
        return std::nullopt;
    const std::optional<QUuid> cardID = parseUuid(texts.constFirst());
    if (!cardID || !card(*cardID))
        return std::nullopt;
    return cardID;
}

bool BoardWritingSurfaceModel::dropTexts(const QStringList &texts, const std::optional<QUuid> &anchorParagraphID)
{
    const std::optional<QUuid> cardID = droppableCardID(texts);
    if (!cardID)
        return false;
    if (onInsertReference)
        onInsertReference(*cardID, anchorParagraphID);
    return true;
}

void BoardWritingSurfaceModel::setFocusedParagraphID(const std::optional<QUuid> &paragraphID)
{
    if (m_focusedParagraphID == paragraphID)
        return;
    m_focusedParagraphID = paragraphID;
    if (m_shown && onFocusParagraph)
        onFocusParagraph(paragraphID);
}

void BoardWritingSurfaceModel::pageShown()
{
    m_shown = true;
}

void BoardWritingSurfaceModel::pageHidden()
{
    m_focusedParagraphID.reset();
    if (m_shown && onFocusParagraph)
        onFocusParagraph(std::nullopt);
    m_shown = false;
}

int BoardWritingSurfaceModel::blockListAnimationMs(bool reduceMotion)
{
    return reduceMotion ? 100 : 180;
}

void BoardWritingSurfaceModel::openCard(CanvasCard *card)
{
    if (card && onOpenCard)
        onOpenCard(card);
}

void BoardWritingSurfaceModel::removeReference(const QUuid &blockID)
{
    if (onRemoveReference)
        onRemoveReference(blockID);
}

void BoardWritingSurfaceModel::updateReferenceSize(const QUuid &blockID, NoteAttachmentSize size)
{
    if (onUpdateReferenceSize)
        onUpdateReferenceSize(blockID, size);
}

} // namespace tessaline

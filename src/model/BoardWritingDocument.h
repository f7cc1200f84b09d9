#pragma once

#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QUuid>

#include <optional>

namespace tessaline {

enum class NoteAttachmentSize { small, medium, fullWidth };

QString rawValue(NoteAttachmentSize size);
std::optional<NoteAttachmentSize> noteAttachmentSizeFromRawValue(const QString &rawValue);
// "Small", "Medium", "Full Width".
QString displayName(NoteAttachmentSize size);

struct BoardWritingBlock
{
    enum class Kind { paragraph, cardReference };

    QUuid id;
    Kind kind = Kind::paragraph;
    QString text;
    std::optional<QUuid> cardID;
    std::optional<QString> attachmentSizeRawValue;

    static BoardWritingBlock paragraph(const QString &text = QString(), const QUuid &id = QUuid::createUuid());
    static BoardWritingBlock cardReference(const QUuid &cardID, NoteAttachmentSize size = NoteAttachmentSize::medium,
                                           const QUuid &id = QUuid::createUuid());

    bool isParagraph() const { return kind == Kind::paragraph; }
    bool isCardReference() const { return kind == Kind::cardReference; }

    friend bool operator==(const BoardWritingBlock &, const BoardWritingBlock &) = default;
};

// A note's writing: paragraphs and card references, top to bottom. Stored in
// the note as compact JSON; every stored document passes normalizedBlocks().
struct BoardWritingDocument
{
    QList<BoardWritingBlock> blocks;

    static const BoardWritingDocument &empty();

    // The most characters a note's writing takes in, whichever way they come
    // (a paste, the quick note). Every keystroke, save, listing and start of
    // the app goes over the whole writing, so a note far larger would hold
    // the window up for seconds.
    static constexpr qsizetype maximumCharacters = 200'000;
    // The characters of its paragraphs.
    qsizetype characterCount() const;
    // Whether `added` characters in place of `replaced` ones may go into
    // writing of `writingCharacters`: a change that shrinks the writing, or
    // keeps it within the limit, is taken even in a note already past it.
    static bool admits(qsizetype writingCharacters, qsizetype added, qsizetype replaced);
    // The words of a refusal, for the sizes given: nothing of a text is ever
    // left out without a word.
    static QString refusal(qsizetype writingCharacters, qsizetype added);

    // At least one block, unique ids, well-formed paragraphs and references,
    // and a paragraph last (see the .cpp for the passes).
    static QList<BoardWritingBlock> normalizedBlocks(const QList<BoardWritingBlock> &blocks);
    // True when normalizedBlocks() would leave out written words: the text of
    // a paragraph that also carries a card id (the block is dropped) or of a
    // card reference (a reference carries no text).
    static bool normalizationDropsText(const QList<BoardWritingBlock> &blocks);

    // Inserts a medium reference after the anchor block, or before the
    // trailing empty paragraph, then normalises. Always succeeds.
    bool insertCardReference(const QUuid &cardID, const std::optional<QUuid> &anchorBlockID = std::nullopt);
    void updateParagraphText(const QUuid &blockID, const QString &text);
    void setAttachmentSize(const QUuid &blockID, NoteAttachmentSize size);
    QList<QUuid> referencedCardIDs() const;

    // The JSON text; the empty string when it cannot be encoded.
    static QString encodedString(const QList<BoardWritingBlock> &blocks);
    // The JSON text, or no value when it cannot be encoded (text holding
    // broken UTF-16), so callers can keep what they had instead.
    static std::optional<QString> encode(const QList<BoardWritingBlock> &blocks);
    // No value when the text is not a readable document.
    static std::optional<BoardWritingDocument> decode(const QString &text);
    // The same, of the text as UTF-8 (the form a note keeps it in); what is
    // not UTF-8 in it reads as replacement characters.
    static std::optional<BoardWritingDocument> decode(QByteArrayView utf8);
    // The text of the first paragraph that is not blank in the document the
    // text reads as; none when it is unreadable or has no such paragraph.
    // Cheaper than decoding: no other block is made.
    static std::optional<QString> firstWrittenParagraph(const QString &text);
    static std::optional<QString> firstWrittenParagraph(QByteArrayView utf8);

    friend bool operator==(const BoardWritingDocument &, const BoardWritingDocument &) = default;
};

} // namespace tessaline

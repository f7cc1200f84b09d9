#include "model/BoardWritingDocument.h"

#include "platform/Json.h"
#include "platform/TextUtilities.h"
#include "platform/UuidText.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QSet>

#include <algorithm>

namespace tessaline {
namespace {

const QLatin1StringView kBlocks("blocks");
const QLatin1StringView kID("id");
const QLatin1StringView kKind("kind");
const QLatin1StringView kText("text");
const QLatin1StringView kCardID("cardID");
const QLatin1StringView kSize("attachmentSizeRawValue");

std::optional<BoardWritingBlock::Kind> kindFromRawValue(const QString &raw)
{
    if (raw == u"paragraph")
        return BoardWritingBlock::Kind::paragraph;
    if (raw == u"cardReference")
        return BoardWritingBlock::Kind::cardReference;
    return std::nullopt;
}

bool isTrimmedEmptyParagraph(const BoardWritingBlock &block)
{
    return block.isParagraph() && isBlank(block.text);
}

} // namespace

QString rawValue(NoteAttachmentSize size)
{
    switch (size) {
    case NoteAttachmentSize::small: return QStringLiteral("small");
    case NoteAttachmentSize::medium: return QStringLiteral("medium");
    case NoteAttachmentSize::fullWidth: return QStringLiteral("fullWidth");
    }
    return QStringLiteral("medium");
}

std::optional<NoteAttachmentSize> noteAttachmentSizeFromRawValue(const QString &raw)
{
    for (NoteAttachmentSize size : {NoteAttachmentSize::small, NoteAttachmentSize::medium, NoteAttachmentSize::fullWidth}) {
        if (raw == rawValue(size))
            return size;
    }
    return std::nullopt;
}

QString displayName(NoteAttachmentSize size)
{
    switch (size) {
    case NoteAttachmentSize::small: return QStringLiteral("Small");
    case NoteAttachmentSize::medium: return QStringLiteral("Medium");
    case NoteAttachmentSize::fullWidth: return QStringLiteral("Full Width");
    }
    return QString();
}

BoardWritingBlock BoardWritingBlock::paragraph(const QString &text, const QUuid &id)
{
    return BoardWritingBlock{id, Kind::paragraph, text, std::nullopt, std::nullopt};
}

BoardWritingBlock BoardWritingBlock::cardReference(const QUuid &cardID, NoteAttachmentSize size, const QUuid &id)
{
    return BoardWritingBlock{id, Kind::cardReference, QString(), cardID, rawValue(size)};
}

const BoardWritingDocument &BoardWritingDocument::empty()
{
    static const BoardWritingDocument document;
    return document;
}

QList<BoardWritingBlock> BoardWritingDocument::normalizedBlocks(const QList<BoardWritingBlock> &blocks)
{
    // Pass 1: drop malformed blocks, strip fields a kind doesn't carry.
    QList<BoardWritingBlock> kept;
    kept.reserve(blocks.size() + 1);
    for (const BoardWritingBlock &block : blocks) {
        if (block.isParagraph()) {
            if (block.cardID)
                continue;
            kept.append(BoardWritingBlock::paragraph(block.text, block.id));
        } else {
            if (!block.cardID)
                continue;
            const auto size = block.attachmentSizeRawValue ? noteAttachmentSizeFromRawValue(*block.attachmentSizeRawValue)
                                                           : std::nullopt;
            kept.append(BoardWritingBlock::cardReference(*block.cardID, size.value_or(NoteAttachmentSize::medium), block.id));
        }
    }

    // Pass 2: a repeated id gets a fresh one; the first holder keeps it.
    QSet<QUuid> seen;
    seen.reserve(kept.size());
    for (BoardWritingBlock &block : kept) {
        if (seen.contains(block.id))
            block.id = QUuid::createUuid();
        seen.insert(block.id);
    }

    // Passes 3 and 4: never empty, and a paragraph to type into at the end.
    if (kept.isEmpty() || kept.constLast().isCardReference())
        kept.append(BoardWritingBlock::paragraph());
    return kept;
}

bool BoardWritingDocument::normalizationDropsText(const QList<BoardWritingBlock> &blocks)
{
    return std::any_of(blocks.cbegin(), blocks.cend(), [](const BoardWritingBlock &block) {
        const bool dropsText = block.isParagraph() ? block.cardID.has_value() : true;
        return dropsText && !isBlank(block.text);
    });
}

bool BoardWritingDocument::insertCardReference(const QUuid &cardID, const std::optional<QUuid> &anchorBlockID)
{
    qsizetype position = -1;
    if (anchorBlockID) {
        for (qsizetype i = 0; i < blocks.size(); ++i) {
            if (blocks.at(i).id == *anchorBlockID) {
                position = i + 1;
                break;
            }
        }
    }
    if (position < 0) {
        if (!blocks.isEmpty() && isTrimmedEmptyParagraph(blocks.constLast()))
            position = blocks.size() - 1;
        else
            position = blocks.size();
    }

    blocks.insert(position, BoardWritingBlock::cardReference(cardID));
    const qsizetype next = position + 1;
    if (next >= blocks.size() || !blocks.at(next).isParagraph())
        blocks.insert(next, BoardWritingBlock::paragraph());
    blocks = normalizedBlocks(blocks);
    return true;
}

void BoardWritingDocument::updateParagraphText(const QUuid &blockID, const QString &text)
{
    for (BoardWritingBlock &block : blocks) {
        if (block.id == blockID && block.isParagraph()) {
            block.text = text;
            return;
        }
    }
}

void BoardWritingDocument::setAttachmentSize(const QUuid &blockID, NoteAttachmentSize size)
{
    for (BoardWritingBlock &block : blocks) {
        if (block.id == blockID && block.isCardReference()) {
            block.attachmentSizeRawValue = rawValue(size);
            return;
        }
    }
}

QList<QUuid> BoardWritingDocument::referencedCardIDs() const
{
    QList<QUuid> ids;
    for (const BoardWritingBlock &block : blocks) {
        if (block.isCardReference() && block.cardID)
            ids.append(*block.cardID);
    }
    return ids;
}

namespace {

// A JSON string in the stored form (the one writeJson gives: "/" escaped,
// other non-ASCII text as it is), straight into UTF-16. False for text that
// is not valid Unicode (a lone surrogate).
bool appendJsonString(QString &out, QStringView text)
{
    out.append(u'"');
    const qsizetype size = text.size();
    qsizetype plainStart = 0;
    auto flush = [&](qsizetype end) {
        if (end > plainStart)
            out.append(text.mid(plainStart, end - plainStart));
    };
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t c = text[i].unicode();
        if (c >= 0x20 && c != u'"' && c != u'\\' && c != u'/' && !QChar::isSurrogate(c))
            continue;
        if (QChar::isHighSurrogate(c)) {
            if (i + 1 >= size || !QChar::isLowSurrogate(text[i + 1].unicode()))
                return false;
            ++i;
            continue;
        }
        if (QChar::isLowSurrogate(c))
            return false;
        flush(i);
        plainStart = i + 1;
        switch (c) {
        case u'"': out.append(u"\\\""); break;
        case u'\\': out.append(u"\\\\"); break;
        case u'/': out.append(u"\\/"); break;
        case u'\b': out.append(u"\\b"); break;
        case u'\f': out.append(u"\\f"); break;
        case u'\n': out.append(u"\\n"); break;
        case u'\r': out.append(u"\\r"); break;
        case u'\t': out.append(u"\\t"); break;
        default: {
            static const char16_t hex[] = u"0123456789abcdef";
            const char16_t escaped[] = {u'\\', u'u', u'0', u'0', hex[c >> 4], hex[c & 0xF]};
            out.append(QStringView(escaped, 6));
        }
        }
    }
    flush(size);
    out.append(u'"');
    return true;
}

} // namespace

std::optional<QString> BoardWritingDocument::encode(const QList<BoardWritingBlock> &blocks)
{
    // Written by hand rather than through QJsonObject: a long note is
    // encoded on every keystroke. The keys are in ascending order, as in
    // every stored document.
    qsizetype expected = 16;
    for (const BoardWritingBlock &block : blocks)
        expected += block.text.size() + 140;
    QString out;
    out.reserve(expected);
    out.append(u"{\"blocks\":[");
    bool first = true;
    for (const BoardWritingBlock &block : blocks) {
        if (!first)
            out.append(u',');
        first = false;
        out.append(u'{');
        if (block.attachmentSizeRawValue) {
            out.append(u"\"attachmentSizeRawValue\":");
            if (!appendJsonString(out, *block.attachmentSizeRawValue))
                return std::nullopt;
            out.append(u',');
        }
        if (block.cardID) {
            out.append(u"\"cardID\":\"");
            out.append(uuidText(*block.cardID));
            out.append(u"\",");
        }
        out.append(u"\"id\":\"");
        out.append(uuidText(block.id));
        out.append(u"\",\"kind\":");
        out.append(block.kind == BoardWritingBlock::Kind::paragraph ? u"\"paragraph\"" : u"\"cardReference\"");
        out.append(u",\"text\":");
        if (!appendJsonString(out, block.text))
            return std::nullopt;
        out.append(u'}');
    }
    out.append(u"]}");
    return out;
}

QString BoardWritingDocument::encodedString(const QList<BoardWritingBlock> &blocks)
{
    return encode(blocks).value_or(QString());
}

std::optional<BoardWritingDocument> BoardWritingDocument::decode(const QString &text)
{
    const auto root = parseJson(text.toUtf8());
    if (!root || !root->isObject())
        return std::nullopt;
    const auto array = json::array(root->toObject(), kBlocks);
    if (!array)
        return std::nullopt;

    BoardWritingDocument document;
    document.blocks.reserve(array->size());
    for (const QJsonValue &value : *array) {
        if (!value.isObject())
            return std::nullopt;
        const QJsonObject object = value.toObject();
        const auto id = json::uuid(object, kID);
        const auto kindText = json::string(object, kKind);
        const auto kind = kindText ? kindFromRawValue(*kindText) : std::nullopt;
        const auto blockText = json::string(object, kText);
        const auto cardID = json::optionalUuid(object, kCardID);
        const auto size = json::optionalString(object, kSize);
        if (!id || !kind || !blockText || !cardID || !size)
            return std::nullopt;
        document.blocks.append(BoardWritingBlock{*id, *kind, *blockText, *cardID, *size});
    }
    return document;
}

} // namespace tessaline

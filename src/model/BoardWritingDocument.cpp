#include "model/BoardWritingDocument.h"

#include "platform/Json.h"
#include "platform/TextUtilities.h"
#include "platform/UuidText.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QSet>
#include <QtAlgorithms>

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

namespace {

// Reads the exact form encode() writes, straight from the UTF-16 text: keys
// in that order, no spaces, only the escapes it makes. Every note's writing
// is read at start-up (the note list's excerpts) and on every change of a
// note, and nearly all of it is in this form. Gives up, for the general
// reader to decide, at anything else: another form, an escaped surrogate,
// a noncharacter, text the general reader would refuse.
class CanonicalReader
{
public:
    explicit CanonicalReader(QStringView text) : m_text(text) {}

    std::optional<BoardWritingDocument> read()
    {
        BoardWritingDocument document;
        if (!readAll([&](BoardWritingBlock &&block) { document.blocks.append(std::move(block)); }))
            return std::nullopt;
        return document;
    }

    // Reads the whole text as read() does, making only the first paragraph
    // that is not blank; none in the outer optional when the text is not in
    // the stored form.
    std::optional<std::optional<QString>> firstWrittenParagraph()
    {
        std::optional<QString> found;
        m_onlyChecking = false;
        const bool read = readAll([&](BoardWritingBlock &&block) {
            if (!found && block.isParagraph() && !isBlank(block.text)) {
                found = std::move(block.text);
                m_onlyChecking = true;
            }
        });
        if (!read)
            return std::nullopt;
        return found;
    }

private:
    template <typename Take>
    bool readAll(Take &&takeBlock)
    {
        if (!take(u"{\"blocks\":["))
            return false;
        if (!take(u"]}")) {
            do {
                auto block = readBlock();
                if (!block)
                    return false;
                takeBlock(std::move(*block));
            } while (take(u","));
            if (!take(u"]}"))
                return false;
        }
        return m_at == m_text.size();
    }

    // Every take is of a literal: its length known here, the comparison
    // is made in place rather than by a call per key.
    template <size_t N>
    bool take(const char16_t (&expected)[N])
    {
        constexpr qsizetype length = N - 1;
        if (m_text.size() - m_at < length
            || std::memcmp(m_text.utf16() + m_at, expected, size_t(length) * sizeof(char16_t)) != 0)
            return false;
        m_at += length;
        return true;
    }

    std::optional<BoardWritingBlock> readBlock()
    {
        if (!take(u"{"))
            return std::nullopt;
        BoardWritingBlock block;
        if (take(u"\"attachmentSizeRawValue\":")) {
            auto size = readString();
            if (!size || !take(u","))
                return std::nullopt;
            block.attachmentSizeRawValue = std::move(*size);
        }
        if (take(u"\"cardID\":")) {
            auto cardID = readUuid();
            if (!cardID || !take(u","))
                return std::nullopt;
            block.cardID = *cardID;
        }
        if (!take(u"\"id\":"))
            return std::nullopt;
        auto id = readUuid();
        if (!id || !take(u",\"kind\":"))
            return std::nullopt;
        block.id = *id;
        if (take(u"\"paragraph\""))
            block.kind = BoardWritingBlock::Kind::paragraph;
        else if (take(u"\"cardReference\""))
            block.kind = BoardWritingBlock::Kind::cardReference;
        else
            return std::nullopt;
        if (!take(u",\"text\":"))
            return std::nullopt;
        auto text = readString();
        if (!text || !take(u"}"))
            return std::nullopt;
        block.text = std::move(*text);
        return block;
    }

    std::optional<QUuid> readUuid()
    {
        constexpr qsizetype length = 36;
        if (m_at + length + 2 > m_text.size() || m_text[m_at] != u'"' || m_text[m_at + length + 1] != u'"')
            return std::nullopt;
        const QStringView text = m_text.sliced(m_at + 1, length);
        m_at += length + 2;
        if (!m_onlyChecking)
            return parseUuid(text);
        // The same test parseUuid makes, without making the identifier.
#if defined(__SSE2__)
        // A note refers to each of its cards: as many identifiers as blocks
        // are checked at start-up, each eight characters at a time.
        const auto in = [](__m128i c, char16_t first, char16_t last) {
            return _mm_and_si128(_mm_cmpgt_epi16(c, _mm_set1_epi16(short(first - 1))),
                                 _mm_cmplt_epi16(c, _mm_set1_epi16(short(last + 1))));
        };
        const auto hex = [&](__m128i c) {
            return _mm_or_si128(_mm_or_si128(in(c, u'0', u'9'), in(c, u'a', u'f')), in(c, u'A', u'F'));
        };
        // Where `hyphens` has a lane, a hyphen; elsewhere a hex digit.
        const auto hexAndHyphens = [&](__m128i c, __m128i hyphens) {
            return _mm_or_si128(_mm_and_si128(hyphens, _mm_cmpeq_epi16(c, _mm_set1_epi16(short(u'-')))),
                                _mm_andnot_si128(hyphens, hex(c)));
        };
        const auto load = [&](qsizetype at) { return _mm_loadu_si128(reinterpret_cast<const __m128i *>(text.utf16() + at)); };
        // The hyphens at 8, 13, 18 and 23 fall in the chunks at 8 and 16;
        // the last chunk overlaps the one before it.
        const __m128i good = _mm_and_si128(
            _mm_and_si128(_mm_and_si128(hex(load(0)), hex(load(24))), hex(load(28))),
            _mm_and_si128(hexAndHyphens(load(8), _mm_setr_epi16(-1, 0, 0, 0, 0, -1, 0, 0)),
                          hexAndHyphens(load(16), _mm_setr_epi16(0, 0, -1, 0, 0, 0, 0, -1))));
        if (_mm_movemask_epi8(good) != 0xFFFF)
            return std::nullopt;
        return QUuid();
#else
        if (text[8] != u'-' || text[13] != u'-' || text[18] != u'-' || text[23] != u'-')
            return std::nullopt;
        static constexpr auto notHex = [] {
            std::array<bool, 128> table{};
            table.fill(true);
            for (char c : std::string_view("0123456789abcdefABCDEF"))
                table[size_t(c)] = false;
            return table;
        }();
        bool bad = false;
        for (const qsizetype start : {0, 9, 14, 19, 24}) {
            const qsizetype end = start == 24 ? length : start + (start == 0 ? 8 : 4);
            for (qsizetype i = start; i < end; ++i) {
                const char16_t c = text[i].unicode();
                bad |= c > 127 || notHex[c & 127];
            }
        }
        if (bad)
            return std::nullopt;
        return QUuid();
#endif
    }

    static int hexDigit(char16_t c)
    {
        if (c >= u'0' && c <= u'9')
            return c - u'0';
        if (c >= u'a' && c <= u'f')
            return c - u'a' + 10;
        if (c >= u'A' && c <= u'F')
            return c - u'A' + 10;
        return -1;
    }

    static bool isNoncharacter(char32_t c) { return (c >= 0xFDD0 && c <= 0xFDEF) || (c & 0xFFFE) == 0xFFFE; }

    // How many characters from `at` need no look of their own: no quote,
    // backslash or control character, nothing from the surrogates up. Nearly
    // all of a note's writing is such text, and every note's is read at
    // start-up, so it is passed eight characters at a time.
    static qsizetype plainRun(const char16_t *at, const char16_t *end)
    {
        const char16_t *p = at;
#if defined(__SSE2__)
        // Unsigned 16-bit comparisons as signed ones, on values offset by
        // 0x8000.
        const __m128i offset = _mm_set1_epi16(short(0x8000));
        const __m128i belowSpace = _mm_set1_epi16(short(0x20 ^ 0x8000));
        const __m128i belowSurrogates = _mm_set1_epi16(short((0xD800 ^ 0x8000) - 1));
        const __m128i quote = _mm_set1_epi16(short(u'"'));
        const __m128i backslash = _mm_set1_epi16(short(u'\\'));
        for (; end - p >= 8; p += 8) {
            const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
            const __m128i shifted = _mm_xor_si128(c, offset);
            const __m128i stop = _mm_or_si128(
                _mm_or_si128(_mm_cmplt_epi16(shifted, belowSpace), _mm_cmpgt_epi16(shifted, belowSurrogates)),
                _mm_or_si128(_mm_cmpeq_epi16(c, quote), _mm_cmpeq_epi16(c, backslash)));
            if (const int mask = _mm_movemask_epi8(stop))
                return (p - at) + qCountTrailingZeroBits(uint(mask)) / 2;
        }
#endif
        for (; p < end; ++p) {
            const char16_t c = *p;
            if (c < 0x20 || c >= 0xD800 || c == u'"' || c == u'\\')
                break;
        }
        return p - at;
    }

    std::optional<QString> readString()
    {
        if (!take(u"\""))
            return std::nullopt;
        QString out;
        qsizetype plainStart = m_at;
        const qsizetype size = m_text.size();
        while (m_at < size) {
            m_at += plainRun(m_text.utf16() + m_at, m_text.utf16() + size);
            if (m_at == size)
                break;
            const char16_t c = m_text[m_at].unicode();
            if (c == u'"') {
                if (!m_onlyChecking)
                    out.append(m_text.sliced(plainStart, m_at - plainStart));
                ++m_at;
                return out;
            }
            if (c < 0x20)
                return std::nullopt;
            if (QChar::isHighSurrogate(c)) {
                if (m_at + 1 >= size || !QChar::isLowSurrogate(m_text[m_at + 1].unicode())
                    || isNoncharacter(QChar::surrogateToUcs4(c, m_text[m_at + 1].unicode())))
                    return std::nullopt;
                m_at += 2;
                continue;
            }
            if (QChar::isLowSurrogate(c) || isNoncharacter(c))
                return std::nullopt;
            if (c != u'\\') {
                ++m_at;
                continue;
            }
            if (!m_onlyChecking)
                out.append(m_text.sliced(plainStart, m_at - plainStart));
            if (m_at + 1 >= size)
                return std::nullopt;
            const char16_t escaped = m_text[m_at + 1].unicode();
            m_at += 2;
            switch (escaped) {
            case u'"': out.append(u'"'); break;
            case u'\\': out.append(u'\\'); break;
            case u'/': out.append(u'/'); break;
            case u'b': out.append(u'\b'); break;
            case u'f': out.append(u'\f'); break;
            case u'n': out.append(u'\n'); break;
            case u'r': out.append(u'\r'); break;
            case u't': out.append(u'\t'); break;
            case u'u': {
                // Only what encode() escapes this way: characters below 0x20.
                if (m_at + 4 > size || m_text[m_at] != u'0' || m_text[m_at + 1] != u'0')
                    return std::nullopt;
                const int high = hexDigit(m_text[m_at + 2].unicode());
                const int low = hexDigit(m_text[m_at + 3].unicode());
                if (high < 0 || low < 0 || high > 1)
                    return std::nullopt;
                out.append(QChar(char16_t(high << 4 | low)));
                m_at += 4;
                break;
            }
            default:
                return std::nullopt;
            }
            plainStart = m_at;
        }
        return std::nullopt;
    }

    QStringView m_text;
    qsizetype m_at = 0;
    // Past what the caller wants: the rest is only checked, nothing made.
    bool m_onlyChecking = false;
};

} // namespace

std::optional<QString> BoardWritingDocument::firstWrittenParagraph(const QString &text)
{
    if (text.isEmpty())
        return std::nullopt;
    if (auto canonical = CanonicalReader(text).firstWrittenParagraph())
        return *canonical;
    const auto document = decode(text);
    if (!document)
        return std::nullopt;
    for (const BoardWritingBlock &block : document->blocks) {
        if (block.isParagraph() && !isBlank(block.text))
            return block.text;
    }
    return std::nullopt;
}

std::optional<BoardWritingDocument> BoardWritingDocument::decode(const QString &text)
{
    if (auto canonical = CanonicalReader(text).read())
        return canonical;
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

#include "model/BoardWritingDocument.h"

#include <QLocale>

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

qsizetype BoardWritingDocument::characterCount() const
{
    qsizetype count = 0;
    for (const BoardWritingBlock &block : blocks)
        count += block.text.size();
    return count;
}

bool BoardWritingDocument::admits(qsizetype writingCharacters, qsizetype added, qsizetype replaced)
{
    return added <= replaced || writingCharacters - replaced + added <= maximumCharacters;
}

QString BoardWritingDocument::refusal(qsizetype writingCharacters, qsizetype added)
{
    const QLocale locale;
    const QString room = writingCharacters >= maximumCharacters
        ? QStringLiteral("This note is already full.")
        : QStringLiteral("There is room for %1 more.").arg(locale.toString(qlonglong(maximumCharacters - writingCharacters)));
    return QStringLiteral("The pasted text is too long for this note: it has %1 characters, and a note holds up "
                          "to %2. %3 Nothing was pasted; the text is still on the clipboard.")
        .arg(locale.toString(qlonglong(added)), locale.toString(qlonglong(maximumCharacters)), room);
}

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

// Reads the exact form encode() writes, straight from the stored text, as
// UTF-16 (char16_t) or as UTF-8 (char): keys in that order, no spaces, only
// the escapes it makes. Every note's writing is read at start-up (the note
// list's excerpts) and on every change of a note, and nearly all of it is in
// this form. Gives up, for the general reader to decide, at anything else:
// another form, an escaped surrogate, a noncharacter, text the general
// reader would refuse, and in UTF-8 any byte sequence that is not UTF-8.
template <typename Unit>
class CanonicalReader
{
    static constexpr bool utf8 = sizeof(Unit) == 1;

public:
    explicit CanonicalReader(const Unit *text, qsizetype size) : m_text(text), m_size(size) {}

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
        return m_at == m_size;
    }

    // Every take is of a literal: its length known here, the comparison
    // is made in place rather than by a call per key.
    template <size_t N>
    bool take(const char16_t (&expected)[N])
    {
        constexpr qsizetype length = N - 1;
        if (m_size - m_at < length)
            return false;
        if constexpr (utf8) {
            for (qsizetype i = 0; i < length; ++i) {
                if (char16_t(uchar(m_text[m_at + i])) != expected[i])
                    return false;
            }
        } else if (std::memcmp(m_text + m_at, expected, size_t(length) * sizeof(char16_t)) != 0) {
            return false;
        }
        m_at += length;
        return true;
    }

    char16_t at(qsizetype i) const { return char16_t(std::make_unsigned_t<Unit>(m_text[i])); }

    QString made(qsizetype start, qsizetype length) const
    {
        if constexpr (utf8)
            return QString::fromUtf8(m_text + start, length);
        else
            return QStringView(m_text + start, length).toString();
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
        if (m_at + length + 2 > m_size || at(m_at) != u'"' || at(m_at + length + 1) != u'"')
            return std::nullopt;
        const Unit *text = m_text + m_at + 1;
        m_at += length + 2;
        if (!m_onlyChecking) {
            if constexpr (utf8)
                return parseUuid(QLatin1StringView(text, length));
            else
                return parseUuid(QStringView(text, length));
        }
        // The same test parseUuid makes, without making the identifier.
#if defined(__SSE2__)
        // A note refers to each of its cards: as many identifiers as blocks
        // are checked at start-up, each eight characters at a time (sixteen
        // in UTF-8).
        if constexpr (utf8) {
            const auto in = [](__m128i c, char first, char last) {
                return _mm_and_si128(_mm_cmpgt_epi8(c, _mm_set1_epi8(char(first - 1))),
                                     _mm_cmplt_epi8(c, _mm_set1_epi8(char(last + 1))));
            };
            const auto hex = [&](__m128i c) {
                return _mm_or_si128(_mm_or_si128(in(c, '0', '9'), in(c, 'a', 'f')), in(c, 'A', 'F'));
            };
            const auto hexAndHyphens = [&](__m128i c, __m128i hyphens) {
                return _mm_or_si128(_mm_and_si128(hyphens, _mm_cmpeq_epi8(c, _mm_set1_epi8('-'))),
                                    _mm_andnot_si128(hyphens, hex(c)));
            };
            const auto load = [&](qsizetype offset) {
                return _mm_loadu_si128(reinterpret_cast<const __m128i *>(text + offset));
            };
            // The hyphens at 8 and 13 fall in the chunk at 0, those at 18
            // and 23 in the one at 16; the last chunk overlaps it, and 23.
            const __m128i good = _mm_and_si128(
                _mm_and_si128(hexAndHyphens(load(0), _mm_setr_epi8(0, 0, 0, 0, 0, 0, 0, 0, -1, 0, 0, 0, 0, -1, 0, 0)),
                              hexAndHyphens(load(16), _mm_setr_epi8(0, 0, -1, 0, 0, 0, 0, -1, 0, 0, 0, 0, 0, 0, 0, 0))),
                hexAndHyphens(load(20), _mm_setr_epi8(0, 0, 0, -1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0)));
            if (_mm_movemask_epi8(good) != 0xFFFF)
                return std::nullopt;
            return QUuid();
        } else {
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
            const auto load = [&](qsizetype offset) {
                return _mm_loadu_si128(reinterpret_cast<const __m128i *>(text + offset));
            };
            // The hyphens at 8, 13, 18 and 23 fall in the chunks at 8 and 16;
            // the last chunk overlaps the one before it.
            const __m128i good = _mm_and_si128(
                _mm_and_si128(_mm_and_si128(hex(load(0)), hex(load(24))), hex(load(28))),
                _mm_and_si128(hexAndHyphens(load(8), _mm_setr_epi16(-1, 0, 0, 0, 0, -1, 0, 0)),
                              hexAndHyphens(load(16), _mm_setr_epi16(0, 0, -1, 0, 0, 0, 0, -1))));
            if (_mm_movemask_epi8(good) != 0xFFFF)
                return std::nullopt;
            return QUuid();
        }
#else
        const auto unit = [&](qsizetype i) { return char16_t(std::make_unsigned_t<Unit>(text[i])); };
        if (unit(8) != u'-' || unit(13) != u'-' || unit(18) != u'-' || unit(23) != u'-')
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
                const char16_t c = unit(i);
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

    // How many units from `at` need no look of their own: no quote,
    // backslash or control character, nothing from the surrogates up (in
    // UTF-8: nothing but ASCII). Nearly all of a note's writing is such
    // text, and every note's is read at start-up, so it is passed sixteen
    // bytes at a time.
    static qsizetype plainRun(const Unit *at, const Unit *end)
    {
        const Unit *p = at;
#if defined(__SSE2__)
        if constexpr (utf8) {
            // Bytes from 0x80 are negative as signed ones: below the space.
            const __m128i belowSpace = _mm_set1_epi8(0x20);
            const __m128i quote = _mm_set1_epi8('"');
            const __m128i backslash = _mm_set1_epi8('\\');
            for (; end - p >= 16; p += 16) {
                const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
                const __m128i stop = _mm_or_si128(_mm_cmplt_epi8(c, belowSpace),
                                                  _mm_or_si128(_mm_cmpeq_epi8(c, quote), _mm_cmpeq_epi8(c, backslash)));
                if (const int mask = _mm_movemask_epi8(stop))
                    return (p - at) + qCountTrailingZeroBits(uint(mask));
            }
        } else {
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
        }
#endif
        for (; p < end; ++p) {
            const char16_t c = char16_t(std::make_unsigned_t<Unit>(*p));
            if (c < 0x20 || c >= (utf8 ? 0x80 : 0xD800) || c == u'"' || c == u'\\')
                break;
        }
        return p - at;
    }

    // The length of the UTF-8 sequence at m_at of a character that is not
    // ASCII, 0 when it is not one or is a noncharacter.
    qsizetype sequenceLength() const
    {
        const auto byte = [&](qsizetype i) { return uchar(m_text[i]); };
        const uchar lead = byte(m_at);
        qsizetype length = 0;
        char32_t c = 0;
        char32_t least = 0;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            c = lead & 0x1F;
            least = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            c = lead & 0x0F;
            least = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            c = lead & 0x07;
            least = 0x10000;
        } else {
            return 0;
        }
        if (m_at + length > m_size)
            return 0;
        for (qsizetype i = 1; i < length; ++i) {
            const uchar next = byte(m_at + i);
            if ((next & 0xC0) != 0x80)
                return 0;
            c = c << 6 | (next & 0x3F);
        }
        if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF) || isNoncharacter(c))
            return 0;
        return length;
    }

    std::optional<QString> readString()
    {
        if (!take(u"\""))
            return std::nullopt;
        QString out;
        qsizetype plainStart = m_at;
        const qsizetype size = m_size;
        while (m_at < size) {
            m_at += plainRun(m_text + m_at, m_text + size);
            if (m_at == size)
                break;
            const char16_t c = at(m_at);
            if (c == u'"') {
                if (!m_onlyChecking)
                    out.append(made(plainStart, m_at - plainStart));
                ++m_at;
                return out;
            }
            if (c < 0x20)
                return std::nullopt;
            if constexpr (utf8) {
                if (c >= 0x80) {
                    const qsizetype length = sequenceLength();
                    if (length == 0)
                        return std::nullopt;
                    m_at += length;
                    continue;
                }
            } else {
                if (QChar::isHighSurrogate(c)) {
                    if (m_at + 1 >= size || !QChar::isLowSurrogate(at(m_at + 1))
                        || isNoncharacter(QChar::surrogateToUcs4(c, at(m_at + 1))))
                        return std::nullopt;
                    m_at += 2;
                    continue;
                }
                if (QChar::isLowSurrogate(c) || isNoncharacter(c))
                    return std::nullopt;
            }
            if (c != u'\\') {
                ++m_at;
                continue;
            }
            if (!m_onlyChecking)
                out.append(made(plainStart, m_at - plainStart));
            if (m_at + 1 >= size)
                return std::nullopt;
            const char16_t escaped = at(m_at + 1);
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
                if (m_at + 4 > size || at(m_at) != u'0' || at(m_at + 1) != u'0')
                    return std::nullopt;
                const int high = hexDigit(at(m_at + 2));
                const int low = hexDigit(at(m_at + 3));
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

    const Unit *m_text;
    qsizetype m_size;
    qsizetype m_at = 0;
    // Past what the caller wants: the rest is only checked, nothing made.
    bool m_onlyChecking = false;
};

CanonicalReader<char16_t> readerOf(const QString &text)
{
    return CanonicalReader<char16_t>(reinterpret_cast<const char16_t *>(text.utf16()), text.size());
}

CanonicalReader<char> readerOf(QByteArrayView utf8)
{
    return CanonicalReader<char>(utf8.data(), utf8.size());
}

std::optional<QString> firstParagraphOf(const BoardWritingDocument &document)
{
    for (const BoardWritingBlock &block : document.blocks) {
        if (block.isParagraph() && !isBlank(block.text))
            return block.text;
    }
    return std::nullopt;
}

} // namespace

std::optional<QString> BoardWritingDocument::firstWrittenParagraph(const QString &text)
{
    if (text.isEmpty())
        return std::nullopt;
    if (auto canonical = readerOf(text).firstWrittenParagraph())
        return *canonical;
    const auto document = decode(text);
    return document ? firstParagraphOf(*document) : std::nullopt;
}

std::optional<QString> BoardWritingDocument::firstWrittenParagraph(QByteArrayView utf8)
{
    if (utf8.isEmpty())
        return std::nullopt;
    if (auto canonical = readerOf(utf8).firstWrittenParagraph())
        return *canonical;
    const auto document = decode(QString::fromUtf8(utf8));
    return document ? firstParagraphOf(*document) : std::nullopt;
}

std::optional<BoardWritingDocument> BoardWritingDocument::decode(QByteArrayView utf8)
{
    if (auto canonical = readerOf(utf8).read())
        return canonical;
    // As the text would read once made UTF-16: what is not UTF-8 in it
    // becomes replacement characters.
    return decode(QString::fromUtf8(utf8));
}

std::optional<BoardWritingDocument> BoardWritingDocument::decode(const QString &text)
{
    if (auto canonical = readerOf(text).read())
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

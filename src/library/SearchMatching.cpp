#include "library/SearchMatching.h"

#include "model/Board.h"
#include "model/CanvasCard.h"
#include "platform/TextUtilities.h"
#include "platform/UuidText.h"

#include <QStringList>

#include <algorithm>

namespace tessaline {

namespace {

// Compatibility decomposition folds width and ligatures and splits accented
// letters from their marks; the marks are then dropped and case folded.
QString foldedForSearch(const QString &text)
{
    // Most text is plain ASCII, which has no marks or wide forms to fold.
    if (std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x80; }))
        return text.toLower();
    const QString decomposed = text.normalized(QString::NormalizationForm_KD);
    QString folded;
    folded.reserve(decomposed.size());
    for (qsizetype i = 0; i < decomposed.size(); ++i) {
        const char32_t code = decomposed.at(i).isHighSurrogate() && i + 1 < decomposed.size()
            ? QChar::surrogateToUcs4(decomposed.at(i), decomposed.at(i + 1))
            : decomposed.at(i).unicode();
        const qsizetype width = code > 0xFFFF ? 2 : 1;
        if (QChar::category(code) != QChar::Mark_NonSpacing)
            folded.append(decomposed.mid(i, width));
        i += width - 1;
    }
    return folded.toCaseFolded();
}

bool isSearchableCard(const CanvasCard &card)
{
    return card.isLive() && card.kind() != CardKind::ghost;
}

QList<QString> paragraphTexts(const Board &note)
{
    QList<QString> texts;
    for (const BoardWritingBlock &block : note.writingDocument().blocks) {
        if (block.isParagraph())
            texts.append(block.text);
    }
    return texts;
}

// Newest first; equal dates fall back to the id text so the order never
// depends on the store's.
template<typename Entity>
void sortByResultOrder(QList<Entity *> &items)
{
    std::stable_sort(items.begin(), items.end(), [](const Entity *a, const Entity *b) {
        if (a->updatedAt() == b->updatedAt())
            return uuidTextLess(a->id(), b->id());
        return a->updatedAt() > b->updatedAt();
    });
}

} // namespace

QString rawValue(SearchScope scope)
{
    switch (scope) {
    case SearchScope::all:
        return QStringLiteral("All");
    case SearchScope::notes:
        return QStringLiteral("Notes");
    case SearchScope::snips:
        return QStringLiteral("Snips");
    }
    return QStringLiteral("All");
}

std::optional<SearchScope> searchScopeFromRawValue(const QString &raw)
{
    for (SearchScope scope : allSearchScopes()) {
        if (rawValue(scope) == raw)
            return scope;
    }
    return std::nullopt;
}

QList<SearchScope> allSearchScopes()
{
    return {SearchScope::all, SearchScope::notes, SearchScope::snips};
}

bool localizedStandardContains(const QString &haystack, const QString &needle)
{
    const QString foldedNeedle = foldedForSearch(needle);
    if (foldedNeedle.isEmpty())
        return false;
    return foldedForSearch(haystack).contains(foldedNeedle);
}

QString noteWritingText(const Board &note)
{
    return paragraphTexts(note).join(QLatin1Char('\n'));
}

QString cardSearchText(const CanvasCard &card)
{
    const QStringList parts{
        card.displayTitle(),
        card.markdownText(),
        card.contextText(),
        card.ocrText(),
        card.sourceApplicationName().value_or(QString()),
        card.sourceWindowTitle().value_or(QString()),
        displayName(card.thoughtKind()),
    };
    return parts.join(QLatin1Char('\n'));
}

bool noteMatchesQuery(const Board &note, const QList<CanvasCard *> &cards, const QString &query)
{
    const QString needle = trimmedWhitespace(query);
    if (needle.isEmpty() || !note.isLive())
        return false;
    QStringList haystack{
        note.title(),
        note.focusQuestion().value_or(QString()),
        note.folderName().value_or(QString()),
        noteWritingText(note),
    };
    for (const CanvasCard *card : cards) {
        if (card && isSearchableCard(*card))
            haystack.append(cardSearchText(*card));
    }
    return localizedStandardContains(haystack.join(QLatin1Char('\n')), needle);
}

bool snipMatchesQuery(const CanvasCard &card, const Board &note, const QString &query)
{
    const QString needle = trimmedWhitespace(query);
    if (needle.isEmpty() || !card.isLive() || card.kind() != CardKind::snip || !note.isLive())
        return false;
    return localizedStandardContains(cardSearchText(card) + QLatin1Char('\n') + note.title(), needle);
}

QString noteSearchExcerpt(const Board &note, const QList<CanvasCard *> &cards, const QString &query)
{
    QStringList paragraphs;
    for (const QString &text : paragraphTexts(note)) {
        const QString trimmed = trimmedWhitespace(text);
        if (!trimmed.isEmpty())
            paragraphs.append(trimmed);
    }
    if (!paragraphs.isEmpty()) {
        for (const QString &paragraph : std::as_const(paragraphs)) {
            if (localizedStandardContains(paragraph, query))
                return paragraph;
        }
        return paragraphs.first();
    }
    for (const CanvasCard *card : cards) {
        if (!card || !isSearchableCard(*card))
            continue;
        const QString text = cardSearchText(*card);
        if (localizedStandardContains(text, query))
            return text;
    }
    return QString();
}

QString searchResultCountText(qsizetype count)
{
    return count == 1 ? QStringLiteral("1 Result") : QStringLiteral("%1 Results").arg(count);
}

QString searchMatchCountText(qsizetype count)
{
    return count == 1 ? QStringLiteral("1 match") : QStringLiteral("%1 matches").arg(count);
}

SearchResults::SearchResults(const QList<Board *> &boards, const QList<CanvasCard *> &cards,
                             const QString &searchText, SearchScope scope)
    : m_query(trimmedWhitespace(searchText))
    , m_scope(scope)
{
    for (Board *board : boards) {
        if (!board || !board->isLive())
            continue;
        auto stored = m_boardsByID.find(board->id());
        if (stored == m_boardsByID.end())
            m_boardsByID.insert(board->id(), board);
        else if ((*stored)->updatedAt() < board->updatedAt())
            *stored = board;
    }
    for (CanvasCard *card : cards) {
        if (card && isSearchableCard(*card))
            m_cardsByBoardID[card->boardID()].append(card);
    }
    if (m_query.isEmpty())
        return;

    if (scope != SearchScope::snips) {
        for (Board *board : std::as_const(m_boardsByID)) {
            if (noteMatchesQuery(*board, m_cardsByBoardID.value(board->id()), m_query))
                m_noteResults.append(board);
        }
        sortByResultOrder(m_noteResults);
    }
    if (scope != SearchScope::notes) {
        for (CanvasCard *card : cards) {
            if (!card || !card->isLive() || card->kind() != CardKind::snip)
                continue;
            const Board *note = m_boardsByID.value(card->boardID());
            if (note && snipMatchesQuery(*card, *note, m_query))
                m_snipResults.append(card);
        }
        sortByResultOrder(m_snipResults);
    }
}

} // namespace tessaline

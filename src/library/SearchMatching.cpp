#include "library/SearchMatching.h"

#include "library/SearchCorpus.h"

#include "model/Board.h"
#include "model/CanvasCard.h"
#include "platform/TextUtilities.h"

#include <QStringList>

#include <algorithm>

namespace tessaline {

namespace {

QList<QString> paragraphTexts(const BoardWritingDocument &document)
{
    QList<QString> texts;
    for (const BoardWritingBlock &block : document.blocks) {
        if (block.isParagraph())
            texts.append(block.text);
    }
    return texts;
}

QList<QString> paragraphTexts(const Board &note)
{
    return paragraphTexts(note.writingDocument());
}

} // namespace

bool isSearchableCard(const CanvasCard &card)
{
    return card.isLive() && card.kind() != CardKind::ghost;
}

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
    const QString foldedNeedle = foldedSearchText(needle);
    if (foldedNeedle.isEmpty())
        return false;
    return foldedSearchText(haystack).contains(foldedNeedle);
}

QString noteWritingText(const Board &note)
{
    return paragraphTexts(note).join(QLatin1Char('\n'));
}

QString writingText(const QByteArray &writingStorage)
{
    // As the note reads its document: empty or unreadable text has no blocks.
    if (writingStorage.isEmpty())
        return QString();
    const auto document = BoardWritingDocument::decode(QByteArrayView(writingStorage));
    return document ? paragraphTexts(*document).join(QLatin1Char('\n')) : QString();
}

QString cardSearchText(const CanvasCard &card)
{
    return cardSearchParts(card).join(QLatin1Char('\n'));
}

QStringList cardSearchParts(const CanvasCard &card)
{
    return cardSearchParts(CardSearchFields{card.title(), card.markdownText(), card.contextText(), card.ocrText(),
                                            card.sourceApplicationName(), card.sourceWindowTitle(), card.kind(),
                                            card.thoughtKind()});
}

QStringList cardSearchParts(const CardSearchFields &fields)
{
    return QStringList{
        CanvasCard::displayTitle({fields.title, fields.markdownText, fields.contextText, fields.ocrText, fields.kind}),
        fields.markdownText,
        fields.contextText,
        fields.ocrText,
        fields.sourceApplicationName.value_or(QString()),
        fields.sourceWindowTitle.value_or(QString()),
        displayName(fields.thoughtKind),
    };
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
    // Folded once, not for each paragraph and card it is held against.
    const QString needle = foldedSearchText(query);
    const auto holds = [&needle](const QString &text) { return !needle.isEmpty() && foldedSearchText(text).contains(needle); };
    QStringList paragraphs;
    for (const QString &text : paragraphTexts(note)) {
        const QString trimmed = trimmedWhitespace(text);
        if (!trimmed.isEmpty())
            paragraphs.append(trimmed);
    }
    if (!paragraphs.isEmpty()) {
        for (const QString &paragraph : std::as_const(paragraphs)) {
            if (holds(paragraph))
                return paragraph;
        }
        return paragraphs.first();
    }
    for (const CanvasCard *card : cards) {
        if (!card || !isSearchableCard(*card))
            continue;
        const QString text = cardSearchText(*card);
        if (holds(text))
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
    : SearchResults(boards, cards, searchText, scope, SearchCorpus(SearchCorpus::SingleSearch()))
{
}

SearchResults::SearchResults(const QList<Board *> &boards, const QList<CanvasCard *> &cards,
                             const QString &searchText, SearchScope scope, SearchCorpus &&corpus)
    : SearchResults(boards, cards, searchText, scope, corpus)
{
}

SearchResults::SearchResults(const QList<Board *> &boards, const QList<CanvasCard *> &cards,
                             const QString &searchText, SearchScope scope, SearchCorpus &corpus)
    : m_query(trimmedWhitespace(searchText))
    , m_scope(scope)
{
    take(corpus.find(boards, cards, m_query, scope));
}

SearchResults::SearchResults(const QString &searchText, SearchScope scope, SearchCorpus &corpus)
    : m_query(trimmedWhitespace(searchText))
    , m_scope(scope)
{
    take(corpus.find(m_query, scope));
}

SearchResults::SearchResults(const QString &searchText, SearchScope scope, SearchHits found)
    : m_query(trimmedWhitespace(searchText))
    , m_scope(scope)
{
    take(std::move(found));
}

void SearchResults::take(SearchHits found)
{
    m_boardsByID = std::move(found.boardsByID);
    m_cardsByBoardID = std::move(found.cardsByBoardID);
    m_noteResults = std::move(found.notes);
    m_snipResults = std::move(found.snips);
}

} // namespace tessaline

#pragma once

#include "model/CanvasCard.h"
#include "platform/TextUtilities.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <optional>

namespace tessaline {

class Board;
class CanvasCard;
class SearchCorpus;

// Which kinds of item a search looks at.
enum class SearchScope { all, notes, snips };

// "All", "Notes", "Snips": the stored form and the picker's segment labels.
QString rawValue(SearchScope scope);
std::optional<SearchScope> searchScopeFromRawValue(const QString &rawValue);
// In the order the picker shows them.
QList<SearchScope> allSearchScopes();

// Whether `haystack` contains `needle`, ignoring letter case, accents and
// character width (so "cafe" finds "Café" and "ＡＢ" finds "ab"). An empty
// needle is found nowhere.
bool localizedStandardContains(const QString &haystack, const QString &needle);

// Live and not a suggestion: the cards whose words count for their note.
bool isSearchableCard(const CanvasCard &card);

// A note's paragraphs as stored, untrimmed, one per line; card references
// add nothing.
QString noteWritingText(const Board &note);
// The same of a note's stored writing (its UTF-8), read on any thread.
QString writingText(const QByteArray &writingStorage);
// Title, writing, caption, recognised text, source application, window
// title and kind label, one per line (empty ones keep their line).
QString cardSearchText(const CanvasCard &card);
// The seven texts cardSearchText joins.
QStringList cardSearchParts(const CanvasCard &card);
// What those are made of: a card's own values, or ones read elsewhere (its
// long texts from the library file, on another thread).
struct CardSearchFields
{
    std::optional<QString> title;
    QString markdownText;
    QString contextText;
    QString ocrText;
    std::optional<QString> sourceApplicationName;
    std::optional<QString> sourceWindowTitle;
    CardKind kind = CardKind::thought;
    ThoughtKind thoughtKind = ThoughtKind::thought;
};
QStringList cardSearchParts(const CardSearchFields &fields);

// A live note is a hit when its title, focus question, folder, writing or
// any of its live, non-suggestion cards holds the query.
bool noteMatchesQuery(const Board &note, const QList<CanvasCard *> &cards, const QString &query);
// A live snip of a live note is a hit on its own words and its note's title.
bool snipMatchesQuery(const CanvasCard &card, const Board &note, const QString &query);
// The line shown under a note hit: its first paragraph holding the query
// (else its first paragraph); without writing, the whole search text of the
// first card holding it; else nothing.
QString noteSearchExcerpt(const Board &note, const QList<CanvasCard *> &cards, const QString &query);

// "1 Result" / "n Results" and "1 match" / "n matches".
QString searchResultCountText(qsizetype count);
QString searchMatchCountText(qsizetype count);

// What a search over the lists finds: the live notes by id, the live,
// non-suggestion cards under their note's id, and both hit lists in result
// order.
struct SearchHits
{
    QHash<QUuid, Board *> boardsByID;
    QHash<QUuid, QList<CanvasCard *>> cardsByBoardID;
    QList<Board *> notes;
    QList<CanvasCard *> snips;
};

// Both hit lists of one search over the window's live lists, worked out
// on construction. Holds the entities by pointer: build a new one whenever
// the lists, the text or the scope change. A screen that searches as the
// user types passes its corpus, so texts are folded once, not per keystroke.
class SearchResults
{
public:
    SearchResults(const QList<Board *> &boards, const QList<CanvasCard *> &cards, const QString &searchText,
                  SearchScope scope);
    SearchResults(const QList<Board *> &boards, const QList<CanvasCard *> &cards, const QString &searchText,
                  SearchScope scope, SearchCorpus &corpus);
    // Over the library the corpus follows.
    SearchResults(const QString &searchText, SearchScope scope, SearchCorpus &corpus);
    // Of hits found already (on a worker), or none yet.
    SearchResults(const QString &searchText, SearchScope scope, SearchHits found);
    // No text: no hits.
    SearchResults() = default;

    // The search text trimmed of whitespace and newlines.
    QString query() const { return m_query; }
    SearchScope scope() const { return m_scope; }

    // Live notes by id; of notes sharing an id the one changed last wins,
    // on equal dates the one met first.
    const QHash<QUuid, Board *> &boardsByID() const { return m_boardsByID; }
    // Live, non-suggestion cards under their note's id, in list order.
    const QHash<QUuid, QList<CanvasCard *>> &cardsByBoardID() const { return m_cardsByBoardID; }
    QList<CanvasCard *> cardsOfBoard(const QUuid &boardID) const { return m_cardsByBoardID.value(boardID); }

    // Newest change first; equal dates by ascending id text.
    const QList<Board *> &noteResults() const { return m_noteResults; }
    const QList<CanvasCard *> &snipResults() const { return m_snipResults; }

    qsizetype resultCount() const { return m_noteResults.size() + m_snipResults.size(); }

private:
    SearchResults(const QList<Board *> &boards, const QList<CanvasCard *> &cards, const QString &searchText,
                  SearchScope scope, SearchCorpus &&corpus);

    void take(SearchHits found);

    QString m_query;
    SearchScope m_scope = SearchScope::all;
    QHash<QUuid, Board *> m_boardsByID;
    QHash<QUuid, QList<CanvasCard *>> m_cardsByBoardID;
    QList<Board *> m_noteResults;
    QList<CanvasCard *> m_snipResults;
};

} // namespace tessaline

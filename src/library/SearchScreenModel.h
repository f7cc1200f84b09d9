#pragma once

#include "library/SearchMatching.h"

#include <QObject>
#include <QString>
#include <QUuid>

#include <functional>
#include <memory>
#include <optional>

namespace tessaline {

class Board;
class CanvasCard;
class LibraryQuery;
class NavigationState;
class SearchCorpus;

// The Search screen's rules above its widgets: the phrase (kept in the
// navigation state, so it outlasts the screen), the scope, the hits worked
// out over the window's kept corpus, the header's and sections' texts, the
// empty states, and the two open actions. The hits follow the phrase, the
// scope, every save of the library and the corpus's background folds; over
// a large library they are found on a worker, and the main thread never
// waits for them.
class SearchScreenModel : public QObject
{
    Q_OBJECT
public:
    using Scope = SearchScope;
    // (note id, card id)
    using OpenCardHandler = std::function<void(const QUuid &, const QUuid &)>;

    // What stands under the search row; nothing while a kept phrase is
    // searched on a worker (`searching`).
    enum class Content { prompt, noMatches, results, searching };

    SearchScreenModel(LibraryQuery &library, NavigationState &navigation, SearchCorpus &corpus,
                      OpenCardHandler onOpenCard, QObject *parent = nullptr);

    // The phrase exactly as typed.
    QString searchText() const;
    void setSearchText(const QString &text);
    // Empties the phrase (the screen then puts the focus back in the field).
    void clear();
    // Shown while anything is typed, spaces alone included.
    bool showsClearButton() const;

    Scope scope() const { return m_scope; }
    void setScope(Scope scope);

    // The phrase trimmed of whitespace and line breaks.
    QString query() const { return m_results->query(); }
    // "Looking for “…”" while there is a query; else the line saying that
    // everything stays searchable, which may wrap.
    QString subtitle() const;
    bool subtitleWraps() const { return query().isEmpty(); }

    Content content() const;
    // The empty state's title, message and symbol; empty with results.
    QString emptyTitle() const;
    QString emptyMessage() const;
    QString emptySymbol() const;

    // "n Results", and each section's "n matches".
    QString resultCountText() const { return searchResultCountText(m_results->resultCount()); }
    QString noteMatchText() const { return searchMatchCountText(noteResults().size()); }
    QString snipMatchText() const { return searchMatchCountText(snipResults().size()); }

    const QList<Board *> &noteResults() const { return m_results->noteResults(); }
    const QList<CanvasCard *> &snipResults() const { return m_results->snipResults(); }
    // The hits as they stand; kept by whoever shows them, so rows made later
    // read the search they were listed by.
    std::shared_ptr<const SearchResults> results() const { return m_results; }

    // The line under a note hit, for the current query.
    QString excerpt(const Board &note) const;
    // The title of the snip's note, shown on its tile.
    std::optional<QString> boardTitle(const CanvasCard &card) const;

    // Shows the note in its destination (the inbox for Quick Captures).
    void openNote(const Board &note);
    // Hands the snip to the window's open-card handler.
    void openSnip(const CanvasCard &card);
    // The same, by the id a tile carries; nothing when it is no longer a hit.
    void openNote(const QUuid &id);
    void openSnip(const QUuid &id);

Q_SIGNALS:
    void searchTextChanged();
    void scopeChanged();
    // The hits, and so every text derived from them, were worked out anew.
    void resultsChanged();

private:
    void search();
    // Over a large library the hits are delivered once found. Meanwhile a
    // screen opening on a kept phrase shows its frame, and a keystroke
    // leaves the hits of the phrase before (all the texts follow the phrase
    // searched, which the hits catch up with).
    enum class Waiting { showsSearching, showsLastResults };
    void searchInBackground(Waiting waiting);

    LibraryQuery &m_library;
    NavigationState &m_navigation;
    SearchCorpus &m_corpus;
    OpenCardHandler m_onOpenCard;
    Scope m_scope = Scope::all;
    std::shared_ptr<const SearchResults> m_results;
    bool m_searching = false;
    // Counts searches, so that hits delivered after a newer search are
    // dropped.
    quint64 m_searches = 0;
};

} // namespace tessaline

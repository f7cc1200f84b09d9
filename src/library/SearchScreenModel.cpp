#include "library/SearchScreenModel.h"

#include "library/SearchCorpus.h"
#include "model/Board.h"
#include "model/CanvasCard.h"
#include "platform/PlatformTexts.h"
#include "runtime/LibraryQuery.h"
#include "runtime/NavigationState.h"

#include <QFuture>

namespace tessaline {

SearchScreenModel::SearchScreenModel(LibraryQuery &library, NavigationState &navigation, SearchCorpus &corpus,
                                     OpenCardHandler onOpenCard, QObject *parent)
    : QObject(parent)
    , m_library(library)
    , m_navigation(navigation)
    , m_corpus(corpus)
    , m_onOpenCard(std::move(onOpenCard))
    , m_results(std::make_shared<const SearchResults>())
{
    connect(&m_navigation, &NavigationState::searchTextChanged, this, [this] {
        Q_EMIT searchTextChanged();
        search();
    });
    connect(&m_library, &LibraryQuery::changed, this, &SearchScreenModel::search);
    connect(&m_corpus, &SearchCorpus::prepared, this, [this] {
        if (m_searching)
            searchInBackground(Waiting::showsSearching);
        else if (!trimmedWhitespace(searchText()).isEmpty())
            search();
    });
    if (m_corpus.isLarge() && !trimmedWhitespace(searchText()).isEmpty())
        searchInBackground(Waiting::showsSearching);
    else
        search();
}

QString SearchScreenModel::searchText() const
{
    return m_navigation.searchText();
}

void SearchScreenModel::setSearchText(const QString &text)
{
    m_navigation.setSearchText(text);
}

void SearchScreenModel::clear()
{
    m_navigation.setSearchText(QString());
}

bool SearchScreenModel::showsClearButton() const
{
    return !searchText().isEmpty();
}

void SearchScreenModel::setScope(Scope scope)
{
    if (m_scope == scope)
        return;
    m_scope = scope;
    Q_EMIT scopeChanged();
    search();
}

QString SearchScreenModel::subtitle() const
{
    const QString trimmed = query();
    if (trimmed.isEmpty())
        return PlatformTexts::searchStaysLocal();
    return QStringLiteral("Looking for \u201C") + trimmed + QStringLiteral("\u201D");
}

SearchScreenModel::Content SearchScreenModel::content() const
{
    if (query().isEmpty())
        return Content::prompt;
    if (m_searching)
        return Content::searching;
    return m_results->resultCount() == 0 ? Content::noMatches : Content::results;
}

QString SearchScreenModel::emptyTitle() const
{
    switch (content()) {
    case Content::prompt:
        return QStringLiteral("Find a note or snip");
    case Content::noMatches:
        return QStringLiteral("No matches");
    case Content::results:
    case Content::searching:
        break;
    }
    return QString();
}

QString SearchScreenModel::emptyMessage() const
{
    switch (content()) {
    case Content::prompt:
        return QStringLiteral("Search note titles and writing, capture context, OCR, and source apps.");
    case Content::noMatches:
        return QStringLiteral("Try a shorter phrase or choose a different item type.");
    case Content::results:
    case Content::searching:
        break;
    }
    return QString();
}

QString SearchScreenModel::emptySymbol() const
{
    switch (content()) {
    case Content::prompt:
        return QStringLiteral("magnifyingglass");
    case Content::noMatches:
        return QStringLiteral("text.magnifyingglass");
    case Content::results:
    case Content::searching:
        break;
    }
    return QString();
}

QString SearchScreenModel::excerpt(const Board &note) const
{
    return noteSearchExcerpt(note, m_results->cardsOfBoard(note.id()), query());
}

std::optional<QString> SearchScreenModel::boardTitle(const CanvasCard &card) const
{
    if (const Board *note = m_results->boardsByID().value(card.boardID()))
        return note->title();
    return std::nullopt;
}

void SearchScreenModel::openNote(const Board &note)
{
    m_navigation.setDestination(note.isInbox() ? SidebarDestination::inbox() : SidebarDestination::notes());
    m_navigation.setActiveBoardID(note.id());
    m_navigation.setActiveWritingAnchorID(std::nullopt);
    m_navigation.clearSelection();
}

void SearchScreenModel::openSnip(const CanvasCard &card)
{
    if (m_onOpenCard)
        m_onOpenCard(card.boardID(), card.id());
}

void SearchScreenModel::openNote(const QUuid &id)
{
    // Held by the results the tile was listed by, which a save may have
    // replaced since.
    const std::shared_ptr<const SearchResults> results = m_results;
    for (const Board *note : results->noteResults()) {
        if (note->id() == id) {
            openNote(*note);
            return;
        }
    }
}

void SearchScreenModel::openSnip(const QUuid &id)
{
    const std::shared_ptr<const SearchResults> results = m_results;
    for (const CanvasCard *card : results->snipResults()) {
        if (card->id() == id) {
            openSnip(*card);
            return;
        }
    }
}

void SearchScreenModel::search()
{
    // A large library's texts are scanned on a worker, whatever is typed:
    // the window goes on, and the hits are shown once they are in.
    if (m_corpus.isLarge() && !trimmedWhitespace(searchText()).isEmpty())
        return searchInBackground(Waiting::showsLastResults);
    ++m_searches;
    m_searching = false;
    m_results = std::make_shared<const SearchResults>(searchText(), m_scope, m_corpus);
    Q_EMIT resultsChanged();
}

void SearchScreenModel::searchInBackground(Waiting waiting)
{
    const quint64 search = ++m_searches;
    const QString text = searchText();
    const Scope scope = m_scope;
    if (waiting == Waiting::showsSearching) {
        m_searching = true;
        m_results = std::make_shared<const SearchResults>(text, scope, SearchHits());
    }
    m_corpus.findInBackground(this, trimmedWhitespace(text), scope).then(this, [this, search, text, scope](const SearchHits &found) {
        if (search != m_searches)
            return;
        // Nothing was grouped yet: the hits come with the corpus's
        // `prepared`, and "No matches" would be untrue until then.
        if (found.notes.isEmpty() && found.snips.isEmpty() && !m_corpus.isPrepared())
            return;
        m_searching = false;
        m_results = std::make_shared<const SearchResults>(text, scope, found);
        Q_EMIT resultsChanged();
    });
    if (waiting == Waiting::showsSearching)
        Q_EMIT resultsChanged();
}

} // namespace tessaline

#pragma once

#include "model/CanvasCard.h"

#include <QAbstractListModel>
#include <QDateTime>
#include <QHash>
#include <QImage>
#include <QList>
#include <QString>
#include <QUuid>

#include <algorithm>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace tessaline {

class Board;
class CanvasCard;
class LibraryQuery;
class NavigationState;
class Pasteboard;

// The Snips library's rules over the live library: which snips the grid
// shows and in which order, what each tile reads, and what each of the
// tile's actions does to the store and the navigation. One row per shown
// snip; the list is worked out again whenever the library is saved or the
// filter text changes.
class SnipsLibraryModel : public QAbstractListModel
{
    Q_OBJECT
public:
    enum Role {
        CardIDRole = Qt::UserRole + 1,
        // The tile's heading: the caption as stored, else the display title.
        TileTitleRole,
        NoteTitleRole,
        // The capture date (creation date when there is none), relative to now.
        DateTextRole,
        // Milliseconds from now until the date text reads otherwise.
        DateTextChangeRole,
    };

    // Which picture of the navigation the "Annotate" and "Copy with Frame…"
    // entries name the card in.
    enum class NavigationTarget { captureReview, frameComposer };

    // What stands where the grid would be.
    enum class Content { grid, noMatches, noSnips };

    using Clock = std::function<QDateTime()>;

    SnipsLibraryModel(LibraryQuery &library, NavigationState &navigation, QObject *parent = nullptr);
    ~SnipsLibraryModel() override;

    LibraryQuery &library() const { return m_library; }
    NavigationState &navigation() const { return m_navigation; }
    void setClock(Clock clock);

    // The filter text exactly as typed.
    QString query() const { return m_query; }
    // Over a library of this many cards or more, a filter text is looked for
    // on a worker thread, so that no key waits for every text to be read;
    // the grid keeps its snips until the hits are in.
    void setLargeLibrary(qsizetype cards) { m_largeLibrary = cards; }
    // The snips copied out for the worker in one turn of the event loop.
    void setCopySlice(qsizetype snips) { m_copySlice = std::max<qsizetype>(1, snips); }
    void setQuery(const QString &query);
    // Whether the hits of the filter text are still being looked for.
    bool isFilterPending() const;
    // Whether the snips' texts copied out for the worker are held: only
    // while a filter text is typed.
    bool holdsFilterTexts() const { return m_candidates != nullptr || m_hits.has_value(); }

    // The message of the screen's alert; none while no alert is up.
    std::optional<QString> errorMessage() const { return m_errorMessage; }
    void setErrorMessage(const std::optional<QString> &message);

    Content content() const;
    CanvasCard *cardAt(int row) const;
    const QList<CanvasCard *> &shownCards() const { return m_cards; }

    // Tells the views that the date texts of these rows may read otherwise
    // now that time has moved on.
    void refreshDateTexts(int firstRow, int lastRow);

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

    // -- Rules ---------------------------------------------------------------

    // The live snips whose texts hold the trimmed query (letter case ignored),
    // newest capture first.
    static QList<CanvasCard *> filteredCards(const QList<CanvasCard *> &cards, const QList<Board *> &boards,
                                             const QString &query);
    // True when `a` goes before `b` in the grid.
    static bool gridOrder(const CanvasCard *a, const CanvasCard *b);
    // The title of the card's note, deleted or not; "Quick Captures" when the
    // note is gone.
    static QString noteTitle(const CanvasCard *card, const QList<Board *> &boards);
    static QString tileTitle(const CanvasCard *card);
    // The live notes other than the inbox and the card's own, by title in
    // natural order, equal titles by identifier text.
    static QList<Board *> noteTargets(const CanvasCard *card, const QList<Board *> &boards);
    // "Move to Note" for a snip of the inbox, else "Add to Note".
    static QString noteMenuTitle(const CanvasCard *card, const QList<Board *> &boards);
    static Content contentFor(bool hasCards, const QString &query);

    // -- Actions -------------------------------------------------------------

    // Opens the gallery on the card, browsing the grid's current list.
    void openPreview(const CanvasCard *card);
    void showInNote(const CanvasCard *card);
    void setNavigationCardID(const CanvasCard *card, NavigationTarget target);
    // Without a question; the card's connections and references stay. A
    // save that fails puts the card back as it was, silently.
    void moveToTrash(CanvasCard *card);
    // Files the snip into the note; a refusal or a failed save becomes the
    // alert's message.
    void addSnip(const CanvasCard *card, const Board *note);
    QList<Board *> noteTargets(const CanvasCard *card) const;
    QString noteMenuTitle(const CanvasCard *card) const;

    // Copies the stored image with its annotations drawn in, read off the
    // main thread; `done` hears whether it was copied. Nothing happens
    // without a readable image; the result is not reported.
    void copyImage(const CanvasCard *card, Pasteboard &pasteboard, std::function<void(bool copied)> done = {});

Q_SIGNALS:
    void queryChanged();
    void errorMessageChanged();
    void contentChanged();

private:
    // A live snip's texts as the filter reads them, copied for the worker.
    struct Candidate
    {
        CanvasCard *card;
        CanvasCard::TitleSources title;
        QString application;
        QString note;
        // The card's row while its long texts are only in the library file:
        // the worker reads them there, so the first key does not read every
        // snip's text on the main thread.
        qint64 textsRow = 0;
    };
    struct Candidates
    {
        // Filled in by the first worker to need the texts, inside
        // `textsRead`, before any worker reads them.
        mutable std::vector<Candidate> list;
        QString filePath;
        mutable std::once_flag textsRead;
        mutable bool textsMissing = false;
    };
    // The last hits found on the worker: indices into `candidates`.
    struct Hits
    {
        std::shared_ptr<const Candidates> candidates;
        QString text;
        std::vector<qsizetype> indices;
    };

    // The candidates being made, a slice a turn of the event loop.
    struct CandidatesMade
    {
        std::shared_ptr<Candidates> candidates;
        QList<CanvasCard *> snips;
        QHash<QUuid, const Board *> notes;
        qsizetype next = 0;
    };

    void libraryChanged();
    void dropFilterTexts();
    // Every live snip in grid order, copied once for each state of the
    // lists: null until the last slice of them is made.
    std::shared_ptr<const Candidates> candidates();
    void filterInBackground(const QString &text);
    // The live snips among `cards` whose texts hold `text`, in their order.
    static QList<CanvasCard *> matchingCards(const QList<CanvasCard *> &cards, const QList<Board *> &boards,
                                             const QString &text);
    void rebuild();
    void show(QList<CanvasCard *> cards);
    QDateTime now() const;

    LibraryQuery &m_library;
    NavigationState &m_navigation;
    Clock m_clock;
    QString m_query;
    std::optional<QString> m_errorMessage;
    QList<CanvasCard *> m_cards;
    qsizetype m_largeLibrary = 5000;
    // About a microsecond a snip: tens of thousands would hold the key that
    // asked for them past a frame.
    qsizetype m_copySlice = 4096;
    // Set when the library file could not give the texts: they come from the
    // model from then on.
    bool m_textsFromModel = false;
    std::shared_ptr<const Candidates> m_candidates;
    std::optional<CandidatesMade> m_making;
    std::optional<Hits> m_hits;
    // Each filtering and each change of the lists is a round; only the
    // latest round's hits are shown.
    quint64 m_filterRound = 0;
    std::optional<quint64> m_pendingRound;
};

} // namespace tessaline

#pragma once

#include "model/BoardWritingDocument.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <functional>
#include <optional>
#include <vector>

class QTimer;

namespace tessaline {

class Board;
class CanvasCard;
class Connection;
class LibraryQuery;
class NavigationState;

// The workspace of one open note apart from its widgets: the note's cards
// and connections as the library holds them now, writing or map mode, the
// note's writing while it is edited, the header's actions and the one error
// the workspace shows.
//
// Writing: every change of the document is written into the note at once
// and saved 350 milliseconds after the last change, and while changes keep
// coming at least every 2 seconds, so a crash during long typing loses
// little; closing the workspace (or quitting) saves at once. Writing the note never replaces stored text
// that could not be read unless the user has written something new; the
// unreadable text is offered back to the user, and the library keeps a copy.
class BoardCanvasModel : public QObject
{
    Q_OBJECT
public:
    static constexpr int autosaveDelayMs = 350;
    // The longest a change waits for its save while typing goes on.
    static constexpr int longestUnsavedMs = 2000;
    // How often writing is tried again while another program holds the
    // library's lock, with no keystroke to ask.
    static constexpr int lockedLibraryRetryMs = 1000;
    // "Help Me Think" hands over at most this many placed cards.
    static constexpr int maximumAskCards = 8;

    BoardCanvasModel(LibraryQuery &library, NavigationState &navigation, const QUuid &boardID,
                     QObject *parent = nullptr);
    ~BoardCanvasModel() override;

    void setClock(std::function<QDateTime()> clock) { m_clock = std::move(clock); }
    // Milliseconds on a clock that only moves forward, for the autosave's waits.
    void setContinuousClock(std::function<qint64()> clock) { m_continuousClock = std::move(clock); }

    QUuid boardID() const { return m_boardID; }
    LibraryQuery &library() const { return m_library; }
    NavigationState &navigation() const { return m_navigation; }

    // The note while it is in the library and not in Recently Deleted.
    Board *board() const;

    // Live cards of the note, in the library's order.
    QList<CanvasCard *> boardCards() const;
    // The note's live cards and every live card its writing references.
    QList<CanvasCard *> writingCards() const;
    // Every live snip: this note's first, then newest moment first, equal
    // moments by the identifier's text.
    QList<CanvasCard *> availableSnips() const;
    // Works availableSnips() out a slice at a time, for a caller that must
    // not hold the event loop long: each call reads at most `cards` more of
    // the library's cards. True once the order is worked out, when
    // availableSnips() returns it at once; a change that decides it starts
    // the work over.
    bool workOutAvailableSnips(qsizetype cards) const;
    bool hasAvailableSnips() const;
    QList<CanvasCard *> placedCards() const;
    QList<Connection *> boardConnections() const;

    // Modes: writing (initially) or the map, with its snip tray.
    bool isShowingCanvas() const { return m_showingCanvas; }
    bool isShowingCanvasShelf() const { return m_showingCanvasShelf; }
    void showCanvas();
    void showWriting();
    void toggleCanvasShelf();
    void setShowingCanvasShelf(bool shown);

    std::optional<QString> operationError() const { return m_operationError; }
    void setOperationError(const std::optional<QString> &message);

    // The writing as it is being edited. A new document is written into the
    // note at once and saved after a quiet moment.
    const BoardWritingDocument &writingDocument() const { return m_writingDocument; }
    void setWritingDocument(const BoardWritingDocument &document);
    bool isAutosavePending() const;

    // The writing bridge: references in, out and resized, the writing
    // position, and opening a card.
    void insertCardReference(const QUuid &cardID, const std::optional<QUuid> &anchorBlockID, bool revealWriting);
    void removeCardReference(const QUuid &blockID);
    void setReferenceSize(const QUuid &blockID, NoteAttachmentSize size);
    void rememberWritingAnchor(const std::optional<QUuid> &blockID);
    void openCard(const CanvasCard *card);
    // Insert Snip: after the remembered writing position, mode unchanged.
    void insertSnipAtAnchor(const QUuid &cardID);

    // The workspace came up: the note is marked opened, its writing read.
    void appear();
    // The pending save runs now; the note keeps what was written.
    void flush();
    // The workspace went away: flushed, and its writing position forgotten.
    void disappear();
    // The writing position when it is a paragraph of this note (a new note
    // starts at its first paragraph), where typing begins.
    std::optional<QUuid> anchorParagraph() const;

    // The writing header. The title is saved on Return, and a favourite at
    // once; what cannot be saved stays in the library and is reported.
    QString title() const;
    void setTitle(const QString &title);
    void submitTitle();
    bool isFavorite() const;
    void toggleFavorite();

    // The Insert Snip picker: "This Note", then "Other Notes" (or "All
    // Snips" when the note has none of its own).
    struct SnipSection
    {
        QString title;
        QList<CanvasCard *> cards;
    };
    QList<SnipSection> insertSnipSections() const;
    // Changes whenever the picker's sections may have: after every save,
    // at every unsaved write of a card (a title, a note, a deletion) and
    // when unsaved writes are taken back.
    quint64 insertSnipRevision() const { return m_insertSnipRevision; }

    // "Help Me Think": the thinking assistant over the oldest placed cards.
    bool isAssistantAvailable() const { return m_assistantAvailable; }
    void setAssistantAvailable(bool available);
    bool canHelpMeThink() const;
    QString helpMeThinkToolTip() const;
    // Opens the assistant sheet over the oldest placed cards.
    void helpMeThink();

    // Text of this note's writing that could not be read: the stored text
    // when it is unreadable now, and copies the library kept since the note
    // was last opened. Empty when there is nothing to offer.
    QStringList keptWritingTexts() const { return m_keptWritingTexts; }

Q_SIGNALS:
    // The note appeared, went to Recently Deleted, or its title or favourite
    // changed.
    void boardChanged();
    // The library's cards or connections may have changed.
    void cardsChanged();
    // A document other than the one just handed in (a reload, an inserted or
    // removed reference, a new size).
    void writingDocumentChanged();
    void modeChanged();
    void operationErrorChanged();
    void keptWritingTextsChanged();
    void assistantAvailableChanged();

private:
    void watchBoard();
    void boardPropertyChanged(int property);
    void storedWritingChanged();
    void commit();
    void scheduleAutosave();
    void autosave();
    void saveUserChange();
    QList<BoardWritingBlock> storedBlocks(const Board &board) const;
    // `readable` says the note's text was just read whole, which need not
    // be done twice for a note of thousands of blocks.
    void collectKeptWriting(const Board &board, const QDateTime &previouslyOpened, bool readable);
    void forgetAvailableSnips() const;

    LibraryQuery &m_library;
    NavigationState &m_navigation;
    QUuid m_boardID;
    // writingCards() as last worked out, for the references it was worked
    // out for, with where each stands in the library's list they were found
    // in: the page asks for them on every keystroke. Cards added at the
    // list's end since, cards written in a way that decides them and the
    // cards of references that came or went are looked at alone; a list
    // that lost or reordered cards, or writes taken back, find them again.
    mutable std::optional<QList<CanvasCard *>> m_writingCards;
    mutable QList<qint32> m_writingCardsAt;
    mutable QList<QUuid> m_writingCardsReferences;
    mutable QList<CanvasCard *> m_writingCardsFrom;
    mutable QSet<CanvasCard *> m_writingCardsWritten;
    quint64 m_insertSnipRevision = 0;
    // availableSnips() as last worked out, from the library's list of cards
    // then; dropped when a card is written in a way that decides it or
    // writes are taken back. Saves that leave every snip where it was (the
    // writing typed, a title) keep it: ordering every snip of a large
    // library is most of what opening the Insert Snip picker costs.
    mutable std::optional<QList<CanvasCard *>> m_availableSnips;
    mutable QList<CanvasCard *> m_availableSnipsFrom;
    // The ordering keys of the snips among the first `m_snipKeysNext` cards
    // of `m_snipKeysFrom`, while the order is worked out in slices.
    struct SnipKey
    {
        bool here;
        qint64 moment;
        QUuid id;
        CanvasCard *card;
    };
    mutable std::vector<SnipKey> m_snipKeys;
    mutable qsizetype m_snipKeysNext = 0;
    mutable QList<CanvasCard *> m_snipKeysFrom;
    QPointer<Board> m_watchedBoard;
    QTimer *m_autosave;
    // Another program's lock has been reported, and not let go of since.
    bool m_saidLibraryLocked = false;
    BoardWritingDocument m_writingDocument;
    // The note's text the writing was read from while no edit has changed
    // it since; null once one has.
    QByteArray m_documentReadFrom;
    // What the note's text was at the last save, to tell a rollback of the
    // writing (which must not undo what is typed) from a new text.
    QByteArray m_savedStorage;
    bool m_hasUnsavedWriting = false;
    // When the oldest change not yet on disk was made, on the continuous clock.
    std::optional<qint64> m_unsavedSince;
    bool m_userEdited = false;
    bool m_committing = false;
    bool m_hasAppeared = false;
    bool m_showingCanvas = false;
    bool m_showingCanvasShelf = false;
    bool m_assistantAvailable = false;
    bool m_wasPresent = false;
    std::optional<QString> m_operationError;
    QStringList m_keptWritingTexts;
    std::function<QDateTime()> m_clock;
    std::function<qint64()> m_continuousClock;
};

} // namespace tessaline

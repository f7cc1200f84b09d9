#pragma once

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QUuid>

#include <functional>
#include <optional>

namespace tessaline {

class Board;
class LibraryQuery;
class NavigationState;

// What the quick note sheet decides: the paragraph as typed, the note it
// goes to (none for Quick Captures), and what a successful save hands to
// the main window. The store is changed only through the note service.
class QuickThoughtModel : public QObject
{
    Q_OBJECT
public:
    // `preselectedBoardID` is the note the presenter proposes; `library`
    // is the window's live reading of the notes and its context the store
    // the paragraph is saved into.
    QuickThoughtModel(LibraryQuery &library, NavigationState &navigation, std::optional<QUuid> preselectedBoardID,
                      QObject *parent = nullptr);

    void setClock(std::function<QDateTime()> clock) { m_clock = std::move(clock); }

    QString noteText() const { return m_noteText; }
    void setNoteText(const QString &text);
    // Shown while nothing at all is typed; spaces already hide it.
    bool isPlaceholderVisible() const { return m_noteText.isEmpty(); }
    // A paragraph of blanks cannot be added.
    bool canSave() const;
    // Whether a paste of `pasted` characters over `replaced` selected ones
    // may go into the editor: the paragraph must fit the chosen note's
    // writing, as a paste straight into the note must. When it does not,
    // the alert says so in the same words, and nothing is pasted.
    bool acceptsPaste(qsizetype pasted, qsizetype replaced);

    // The chosen note; none picks Quick Captures.
    std::optional<QUuid> boardID() const { return m_boardID; }
    void setBoardID(const std::optional<QUuid> &id);

    // The notes a paragraph can go to besides Quick Captures: live, not the
    // inbox, most recently opened first.
    QList<Board *> availableNotes() const;

    std::optional<QString> errorMessage() const { return m_errorMessage; }
    void clearErrorMessage();

    // The sheet appeared: the proposed note (else the active one) when it
    // is offered, else Quick Captures; then typing goes to the editor.
    void chooseDefaultTarget();
    // Return: adds the paragraph when it can be added, else does nothing.
    void submit();
    // Adds the paragraph; on success the receiving note opens at it and the
    // sheet closes, on failure the alert shows and nothing else changes.
    bool save();
    // Closes the sheet; nothing is stored.
    void cancel();

Q_SIGNALS:
    void changed();
    // The live notes were read again: the picker's entries may differ.
    void notesChanged();
    void editorFocusRequested();
    void dismissRequested();

private:
    // The characters of the writing the paragraph would go into.
    qsizetype targetWritingCharacters() const;

    LibraryQuery &m_library;
    NavigationState &m_navigation;
    std::optional<QUuid> m_preselectedBoardID;
    QString m_noteText;
    std::optional<QUuid> m_boardID;
    std::optional<QString> m_errorMessage;
    std::function<QDateTime()> m_clock;
};

} // namespace tessaline

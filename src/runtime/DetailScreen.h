#pragma once

#include "runtime/NoteListFilter.h"
#include "runtime/SidebarDestination.h"

#include <QList>
#include <QUuid>

#include <optional>

namespace tessaline {

class Board;

// Which screen the main window's detail pane shows, with its arguments.
// Destinations that show the same screen with the same arguments give equal
// values, so moving between them keeps the screen that is up.
class DetailScreen
{
public:
    enum class Kind {
        notesWorkspace,      // with a note-list filter
        snipsLibrary,
        boardCanvas,         // with a note id
        trash,
        search,
        // The Quick Captures note is being made; the pane waits for it.
        preparingQuickCaptures,
    };

    static DetailScreen notesWorkspace(const NoteListFilter &filter) { return DetailScreen(Kind::notesWorkspace, filter); }
    static DetailScreen snipsLibrary() { return DetailScreen(Kind::snipsLibrary); }
    static DetailScreen boardCanvas(const QUuid &boardID);
    static DetailScreen trash() { return DetailScreen(Kind::trash); }
    static DetailScreen search() { return DetailScreen(Kind::search); }
    static DetailScreen preparingQuickCaptures() { return DetailScreen(Kind::preparingQuickCaptures); }

    // The screen of a destination; none counts as the notes screen. The
    // Quick Captures destination waits while no live inbox note exists.
    static DetailScreen forDestination(const std::optional<SidebarDestination> &destination,
                                       const QList<Board *> &boards);

    Kind kind() const { return m_kind; }
    NoteListFilter filter() const { return m_filter; }
    QUuid boardID() const { return m_boardID; }

    friend bool operator==(const DetailScreen &, const DetailScreen &) = default;

private:
    explicit DetailScreen(Kind kind, NoteListFilter filter = NoteListFilter::all()) : m_kind(kind), m_filter(filter) {}

    Kind m_kind;
    NoteListFilter m_filter;
    QUuid m_boardID;
};

} // namespace tessaline

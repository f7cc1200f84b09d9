#include "runtime/DetailScreen.h"

#include "runtime/LibraryQuery.h"

namespace tessaline {

DetailScreen DetailScreen::boardCanvas(const QUuid &boardID)
{
    DetailScreen screen(Kind::boardCanvas);
    screen.m_boardID = boardID;
    return screen;
}

DetailScreen DetailScreen::forDestination(const std::optional<SidebarDestination> &destination,
                                          const QList<Board *> &boards)
{
    if (!destination)
        return notesWorkspace(NoteListFilter::all());
    switch (destination->kind()) {
    case SidebarDestination::Kind::notes:
    case SidebarDestination::Kind::today:
    case SidebarDestination::Kind::boards:
    case SidebarDestination::Kind::archive:
        return notesWorkspace(NoteListFilter::all());
    case SidebarDestination::Kind::favorites:
        return notesWorkspace(NoteListFilter::favorites());
    case SidebarDestination::Kind::folder:
        return notesWorkspace(NoteListFilter::folder(destination->folderName()));
    case SidebarDestination::Kind::inbox:
        return LibraryQuery::quickCapturesNote(boards) ? notesWorkspace(NoteListFilter::quickCaptures())
                                                       : preparingQuickCaptures();
    case SidebarDestination::Kind::captures:
        return snipsLibrary();
    case SidebarDestination::Kind::board:
        return boardCanvas(destination->boardID());
    case SidebarDestination::Kind::trash:
        return trash();
    case SidebarDestination::Kind::search:
        return search();
    }
    return notesWorkspace(NoteListFilter::all());
}

} // namespace tessaline

#pragma once

#include "notes/NoteList.h"
#include "runtime/NoteListFilter.h"

#include <QObject>

#include <memory>
#include <utility>
#include <vector>

namespace tessaline {

class Board;
class LibraryQuery;
class PersistentEntity;

// The window's note lists, one per filter, kept with its reading of the
// library and told of every write of a note or card while no screen shows
// them: each sidebar destination makes a notes screen of its own, which
// would otherwise list its thousands of notes again from nothing. Main
// thread.
class KeptNoteLists : public QObject
{
    Q_OBJECT
public:
    static KeptNoteLists &of(LibraryQuery &library);

    NoteList &list(const NoteListFilter &filter);

private:
    explicit KeptNoteLists(LibraryQuery &library);
    void entityWritten(PersistentEntity *entity, int property);
    void notesRead();

    LibraryQuery &m_library;
    std::vector<std::pair<NoteListFilter, std::unique_ptr<NoteList>>> m_lists;
    // The notes as the last reading of the library had them.
    QList<Board *> m_notes;
};

} // namespace tessaline

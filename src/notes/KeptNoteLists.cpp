#include "notes/KeptNoteLists.h"

#include "model/Board.h"
#include "model/CanvasCard.h"
#include "model/ModelContext.h"
#include "runtime/LibraryQuery.h"

#include <QSet>

#include <algorithm>

namespace tessaline {

KeptNoteLists &KeptNoteLists::of(LibraryQuery &library)
{
    return keptWith<KeptNoteLists>(library, [&library] { return new KeptNoteLists(library); });
}

KeptNoteLists::KeptNoteLists(LibraryQuery &library)
    : QObject(&library)
    , m_library(library)
{
    connect(&library.context(), &ModelContext::entityWritten, this, &KeptNoteLists::entityWritten);
    connect(&library.context(), &ModelContext::writesTakenBack, this, [this] {
        // Any entity written since the last save may have an earlier value
        // again, without a word about which: every row is made again.
        for (auto &[filter, list] : m_lists)
            list->invalidateNotes();
    });
    connect(&library, &LibraryQuery::changed, this, &KeptNoteLists::notesRead);
    m_notes = library.boards();
}

void KeptNoteLists::notesRead()
{
    // A note deleted for good is told at the save that took it: a list left
    // unseen for long must not take a note made later in its memory for it.
    const QList<Board *> &notes = m_library.boards();
    if (notes.constData() != m_notes.constData() || notes.size() != m_notes.size()) {
        const QSet<const Board *> present(notes.cbegin(), notes.cend());
        const bool lost = std::any_of(m_notes.cbegin(), m_notes.cend(),
                                      [&present](const Board *note) { return !present.contains(note); });
        if (lost) {
            for (auto &[filter, list] : m_lists)
                list->invalidateNotes();
        }
    }
    m_notes = notes;
}

NoteList &KeptNoteLists::list(const NoteListFilter &filter)
{
    for (auto &[kept, list] : m_lists) {
        if (kept == filter)
            return *list;
    }
    m_lists.emplace_back(filter, std::make_unique<NoteList>(m_library.noteCardGroups()));
    return *m_lists.back().second;
}

void KeptNoteLists::entityWritten(PersistentEntity *entity, int property)
{
    if (auto *card = qobject_cast<CanvasCard *>(entity)) {
        switch (property) {
        // What a card's title is made of, which a note without writing shows.
        case CanvasCard::TitleProperty:
        case CanvasCard::MarkdownTextProperty:
        case CanvasCard::ContextTextProperty:
        case CanvasCard::OcrTextProperty:
            for (auto &[filter, list] : m_lists)
                list->cardTextsWritten(card->boardID());
            break;
        default:
            break;
        }
        return;
    }
    auto *note = qobject_cast<Board *>(entity);
    if (!note || !NoteList::showsProperty(property))
        return;
    for (auto &[filter, list] : m_lists)
        list->noteWritten(note);
}

} // namespace tessaline

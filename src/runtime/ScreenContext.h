#pragma once

namespace tessaline {

class AppRuntime;
class GuidedTourTarget;
class LibraryQuery;
class ScreenRegistry;
class StoreUndoStack;
class TrashActions;
class NoteListVisibility;

// What a screen gets from the main window that shows it: the runtime, the
// window's live queries and its trash and open-card actions. The window owns
// all three and outlives every screen it makes.
class ScreenContext
{
public:
    ScreenContext(AppRuntime &runtime, LibraryQuery &library, TrashActions &trashActions)
        : m_runtime(runtime), m_library(library), m_trashActions(trashActions)
    {
    }

    // Whether the notes screen shows its note list: the window decides, since
    // the list and the sidebar share the space. Null when the window keeps no
    // such flag; the notes screen then keeps its own.
    NoteListVisibility *noteListVisibility() const { return m_noteListVisibility; }
    void setNoteListVisibility(NoteListVisibility *visibility) { m_noteListVisibility = visibility; }

    AppRuntime &runtime() const { return m_runtime; }
    LibraryQuery &library() const { return m_library; }
    TrashActions &trashActions() const { return m_trashActions; }

    // The window's undo history of library edits (its Edit menu's Undo and
    // Redo). Without one, edits are saved and cannot be undone.
    StoreUndoStack *undoStack() const { return m_undoStack; }
    void setUndoStack(StoreUndoStack *stack) { m_undoStack = stack; }
    // The screens the window was given, so that one screen can host a part
    // another provides (the notes workspace hosts the canvas's map).
    const ScreenRegistry *registry() const { return m_registry; }
    void setRegistry(const ScreenRegistry *registry) { m_registry = registry; }

    // Where the guided tour points, for screens whose controls wear its
    // ring. Null when the window runs no tour.
    GuidedTourTarget *guidedTour() const { return m_guidedTour; }
    void setGuidedTour(GuidedTourTarget *target) { m_guidedTour = target; }

private:
    GuidedTourTarget *m_guidedTour = nullptr;
    NoteListVisibility *m_noteListVisibility = nullptr;
    AppRuntime &m_runtime;
    LibraryQuery &m_library;
    TrashActions &m_trashActions;
    StoreUndoStack *m_undoStack = nullptr;
    const ScreenRegistry *m_registry = nullptr;
};

} // namespace tessaline

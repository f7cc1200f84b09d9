#pragma once

namespace tessaline {

class AppRuntime;
class LibraryQuery;
class TrashActions;

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

    AppRuntime &runtime() const { return m_runtime; }
    LibraryQuery &library() const { return m_library; }
    TrashActions &trashActions() const { return m_trashActions; }

private:
    AppRuntime &m_runtime;
    LibraryQuery &m_library;
    TrashActions &m_trashActions;
};

} // namespace tessaline

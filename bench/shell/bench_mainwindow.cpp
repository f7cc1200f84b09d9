// What the main window does after every save of a large library (the
// writing surface saves while the user types): read the three lists again
// and work out the sidebar's rows, counts and folders, and the capture
// menu's destinations, and, on the notes screen, the note list's rows with
// every note's cards counted again. The sidebar keeps no cache, so this is
// paid in full on each save.
#include "BenchmarkMain.h"
#include "support/LibraryFixture.h"
#include "runtime/LibraryQuery.h"
#include "shell/SidebarModel.h"
#include "model/ModelContainer.h"
#include "model/ModelContext.h"
#include "notes/NotesWorkspaceModel.h"
#include "platform/UserDefaults.h"
#include "runtime/NavigationState.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QTemporaryDir>

using namespace tessaline;

namespace {

// The disk library of 50,000 cards in 2,000 notes, copied for this run: each
// save writes the file, as in the app.
struct Library
{
    Library()
    {
        container = bench::LibraryFixture::open(bench::LibraryShape{50000, 2000}, directory.path());
        if (!container)
            qFatal("the library could not be opened");
        const QList<CanvasCard *> cards = *container->mainContext()->fetchCards();
        edited = cards.at(cards.size() / 2);
    }

    QTemporaryDir directory;
    std::unique_ptr<ModelContainer> container;
    CanvasCard *edited = nullptr;
};

Library &library()
{
    static Library shared;
    return shared;
}

// One edit saved, with the window's query and sidebar listening.
void BM_SaveWithMainWindow(benchmark::State &state)
{
    Library &lib = library();
    ModelContext &context = *lib.container->mainContext();
    LibraryQuery query(context);
    SidebarModel sidebar(query, nullptr);
    int round = 0;
    for (auto _ : state) {
        lib.edited->setMarkdownText(QStringLiteral("edit %1").arg(++round));
        benchmark::DoNotOptimize(context.save());
    }
    state.counters["rows"] = sidebar.rowCount();
}
BENCHMARK(BM_SaveWithMainWindow)->Unit(benchmark::kMillisecond);

// The same save with the notes screen's list of all notes shown as well.
void BM_SaveWithNotesScreen(benchmark::State &state)
{
    Library &lib = library();
    ModelContext &context = *lib.container->mainContext();
    LibraryQuery query(context);
    SidebarModel sidebar(query, nullptr);
    UserDefaults defaults(lib.directory.filePath(QStringLiteral("settings.ini")));
    NavigationState navigation(defaults);
    NotesWorkspaceModel notes(query, navigation, NoteListFilter::all());
    notes.appear();
    int round = 0;
    for (auto _ : state) {
        lib.edited->setMarkdownText(QStringLiteral("notes %1").arg(++round));
        benchmark::DoNotOptimize(context.save());
    }
    state.counters["rows"] = double(notes.rows().size());
}
BENCHMARK(BM_SaveWithNotesScreen)->Unit(benchmark::kMillisecond);

// The same save with nobody listening, for the difference.
void BM_SaveAlone(benchmark::State &state)
{
    Library &lib = library();
    ModelContext &context = *lib.container->mainContext();
    int round = 0;
    for (auto _ : state) {
        lib.edited->setMarkdownText(QStringLiteral("alone %1").arg(++round));
        benchmark::DoNotOptimize(context.save());
    }
}
BENCHMARK(BM_SaveAlone)->Unit(benchmark::kMillisecond);

void BM_SidebarRows(benchmark::State &state)
{
    LibraryQuery query(*library().container->mainContext());
    for (auto _ : state)
        benchmark::DoNotOptimize(SidebarModel::makeRows(query.boards(), query.cards(), std::nullopt));
}
BENCHMARK(BM_SidebarRows)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    return runBenchmarks<QCoreApplication>(argc, argv);
}

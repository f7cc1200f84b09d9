// What the main window does after every save of a large library (the
// writing surface saves while the user types): read the three lists again
// and work out the sidebar's rows, counts and folders, and the capture
// menu's destinations. The sidebar keeps no cache, so this is paid in full
// on each save.
#include "BenchmarkMain.h"
#include "runtime/LibraryQuery.h"
#include "shell/SidebarModel.h"
#include "model/ModelContainer.h"
#include "model/ModelContext.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>

using namespace tessaline;

namespace {

constexpr int kNotes = 2000;
constexpr int kCards = 40000;
constexpr int kConnections = 10000;

struct Library
{
    Library()
    {
        ModelContainer::Configuration configuration;
        configuration.isStoredInMemoryOnly = true;
        container = std::move(*ModelContainer::open(configuration));
        ModelContext &context = *container->mainContext();
        const QDateTime now = QDateTime::currentDateTimeUtc();
        QList<Board *> notes;
        for (int i = 0; i < kNotes; ++i) {
            auto *note = new Board;
            note->setTitle(QStringLiteral("Note %1").arg(i));
            note->setSortIndex(kNotes - i);
            note->setIsInbox(i == 0);
            if (i % 3 == 0)
                note->setFolderNameValue(QStringLiteral("Folder %1").arg(i % 40));
            if (i % 10 == 9)
                note->moveToTrash(now);
            context.insert(note);
            notes.append(note);
        }
        QList<CanvasCard *> cards;
        for (int i = 0; i < kCards; ++i) {
            CanvasCard::Init init;
            init.boardID = notes.at(i % kNotes)->id();
            init.kind = i % 2 ? CardKind::snip : CardKind::thought;
            init.createdAt = now;
            init.deletedAt = i % 20 == 0 ? std::optional(now) : std::nullopt;
            auto *card = new CanvasCard(init);
            context.insert(card);
            cards.append(card);
        }
        for (int i = 0; i < kConnections; ++i) {
            Connection::Values values;
            values.boardID = cards.at(i)->boardID();
            values.sourceCardID = cards.at(i)->id();
            values.destinationCardID = cards.at(i + kNotes)->id();
            context.insert(new Connection(values));
        }
        (void)context.save();
        edited = cards.at(kCards / 2);
    }

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

// What the Recently Deleted screen does after every save of a large library:
// pick out the deleted notes and cards, order them, and give the two grids
// their rows (with every note tile's card counts). Nothing is cached between
// saves, so this is paid in full each time.
#include "BenchmarkMain.h"
#include "library/TrashModel.h"
#include "model/Board.h"
#include "model/CanvasCard.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>

#include <memory>

using namespace tessaline;

namespace {

struct Library
{
    Library(int noteCount, int cardCount)
    {
        const QDateTime base = QDateTime::fromSecsSinceEpoch(1'800'000'000, Qt::UTC);
        for (int i = 0; i < noteCount; ++i) {
            auto note = std::make_unique<Board>();
            note->setTitle(QStringLiteral("Note %1").arg(i));
            // One note in ten is deleted, some at the same moment.
            if (i % 10 == 0)
                note->setDeletedAt(base.addSecs(i / 20));
            boards << note.get();
            ownedBoards.push_back(std::move(note));
        }
        for (int i = 0; i < cardCount; ++i) {
            CanvasCard::Init init;
            init.boardID = boards.at(i % noteCount)->id();
            init.kind = i % 3 == 0 ? CardKind::snip : (i % 7 == 0 ? CardKind::ghost : CardKind::thought);
            init.createdAt = base;
            auto card = std::make_unique<CanvasCard>(init);
            if (i % 8 == 0)
                card->setDeletedAt(base.addSecs(i / 16));
            cards << card.get();
            ownedCards.push_back(std::move(card));
        }
    }

    std::vector<std::unique_ptr<Board>> ownedBoards;
    std::vector<std::unique_ptr<CanvasCard>> ownedCards;
    QList<Board *> boards;
    QList<CanvasCard *> cards;
};

void BM_TrashAfterSave(benchmark::State &state)
{
    const Library library(int(state.range(0)), int(state.range(1)));
    TrashItemModel boards(TrashItemModel::Section::boards);
    TrashItemModel cards(TrashItemModel::Section::cards);
    for (auto _ : state) {
        const TrashContents contents = TrashContents::from(library.boards, library.cards);
        boards.setContents(contents);
        cards.setContents(contents);
        benchmark::DoNotOptimize(contents.count());
    }
    state.counters["rows"] = double(boards.rowCount() + cards.rowCount());
}
BENCHMARK(BM_TrashAfterSave)->Args({200, 4000})->Args({2000, 40000})->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    return runBenchmarks<QCoreApplication>(argc, argv);
}

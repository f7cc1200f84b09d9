#include "library/SnipsLibraryModel.h"
#include "model/Board.h"
#include "model/CanvasCard.h"

#include <benchmark/benchmark.h>

#include <QObject>

using namespace tessaline;

namespace {

// `snips` snips spread over 200 notes, every other one captured at the same
// second as its neighbour so the order's tie-break runs too.
struct Library
{
    explicit Library(int snips)
    {
        const QDateTime base = QDateTime(QDate(2026, 1, 1), QTime(0, 0), Qt::UTC);
        for (int n = 0; n < 200; ++n) {
            Board::Init init;
            init.title = QStringLiteral("Research note %1").arg(n);
            init.createdAt = base;
            init.updatedAt = base;
            init.lastOpenedAt = base;
            boards.append(new Board(init, &owner));
        }
        for (int s = 0; s < snips; ++s) {
            CanvasCard::Init card;
            card.boardID = boards.at(s % boards.size())->id();
            card.kind = CardKind::snip;
            card.contextText = QStringLiteral("Caption %1").arg(s);
            card.ocrText = QStringLiteral("Invoice total 42.00 EUR\nReference %1").arg(s);
            card.sourceApplicationName = QStringLiteral("Firefox");
            card.createdAt = base;
            card.capturedAt = base.addSecs(s / 2);
            cards.append(new CanvasCard(card, &owner));
        }
    }

    QObject owner;
    QList<Board *> boards;
    QList<CanvasCard *> cards;
};

// The grid's list with no filter: kind, liveness and the sort.
void BM_SnipsUnfiltered(benchmark::State &state)
{
    Library library(int(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(SnipsLibraryModel::filteredCards(library.cards, library.boards, QString()));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_SnipsUnfiltered)->Arg(1000)->Arg(10000);

// A filter text that only the note title holds, so every text of every snip
// is read and each note title looked up.
void BM_SnipsFilteredByNote(benchmark::State &state)
{
    Library library(int(state.range(0)));
    const QString query = QStringLiteral("research note 17");
    for (auto _ : state)
        benchmark::DoNotOptimize(SnipsLibraryModel::filteredCards(library.cards, library.boards, query));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_SnipsFilteredByNote)->Arg(1000)->Arg(10000);

} // namespace

BENCHMARK_MAIN();

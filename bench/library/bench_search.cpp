#include "library/SearchMatching.h"
#include "model/Board.h"
#include "model/CanvasCard.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QObject>

using namespace tessaline;

namespace {

// A library of `notes` notes, each with a few paragraphs and `cardsPerNote`
// cards (half snips with recognised text), nothing cached between runs.
struct Library
{
    Library(int notes, int cardsPerNote)
    {
        const QDateTime base = QDateTime(QDate(2026, 1, 1), QTime(0, 0), Qt::UTC);
        for (int n = 0; n < notes; ++n) {
            Board::Init init;
            init.title = QStringLiteral("Note %1 about café planning").arg(n);
            init.createdAt = base;
            init.updatedAt = base.addSecs(n % 97);
            init.lastOpenedAt = base;
            init.writingDocument.blocks = {
                BoardWritingBlock::paragraph(QStringLiteral("First paragraph of note %1 with ordinary words.").arg(n)),
                BoardWritingBlock::paragraph(QStringLiteral("Second paragraph mentions the résumé and a budget.")),
            };
            auto *board = new Board(init, &owner);
            boards.append(board);
            for (int c = 0; c < cardsPerNote; ++c) {
                CanvasCard::Init card;
                card.boardID = board->id();
                card.kind = c % 2 ? CardKind::snip : CardKind::thought;
                card.markdownText = QStringLiteral("Card %1 of note %2").arg(c).arg(n);
                card.ocrText = QStringLiteral("Invoice total 42.00 EUR\nReference %1-%2").arg(n).arg(c);
                card.sourceApplicationName = QStringLiteral("Firefox");
                card.createdAt = base.addSecs(c);
                cards.append(new CanvasCard(card, &owner));
            }
        }
    }
    QObject owner;
    QList<Board *> boards;
    QList<CanvasCard *> cards;
};

void searchLibrary(benchmark::State &state, const QString &query)
{
    const Library library(int(state.range(0)), 10);
    qsizetype hits = 0;
    for (auto _ : state) {
        const SearchResults results(library.boards, library.cards, query, SearchScope::all);
        hits = results.resultCount();
        benchmark::DoNotOptimize(hits);
    }
    state.counters["hits"] = double(hits);
    state.counters["cards"] = double(library.cards.size());
}

void BM_SearchNoHits(benchmark::State &state) { searchLibrary(state, QStringLiteral("zebra crossing")); }
void BM_SearchManyHits(benchmark::State &state) { searchLibrary(state, QStringLiteral("invoice")); }

} // namespace

BENCHMARK(BM_SearchNoHits)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SearchManyHits)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

// Library-scale costs: opening a large store and listing everything in it,
// one edit saved, a migration that finds nothing to do, and writing a long
// note's document. Image bytes must never be read while listing.
#include "BenchmarkMain.h"
#include "model/ModelContainer.h"
#include "model/ModelContext.h"
#include "model/TessalineStore.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <algorithm>

using namespace tessaline;

namespace {

constexpr int kNotes = 1000;
constexpr int kCards = 10000;
constexpr int kCardsWithImages = 2000;

long peakRssKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

QString libraryDirectory()
{
    static QTemporaryDir dir;
    static bool built = false;
    if (built)
        return dir.path();
    built = true;
    ModelContainer::Configuration configuration;
    configuration.directory = dir.path();
    auto container = ModelContainer::open(configuration);
    ModelContext *context = (*container)->mainContext();
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QByteArray image(1024 * 1024, '\x5a');
    QList<Board *> notes;
    for (int i = 0; i < kNotes; ++i) {
        auto *note = new Board;
        note->setTitle(QStringLiteral("Note %1").arg(i));
        note->setHasCompletedNoteMigration(true);
        context->insert(note);
        notes.append(note);
    }
    QHash<Board *, BoardWritingDocument> documents;
    for (int i = 0; i < kCards; ++i) {
        CanvasCard::Init init;
        Board *note = notes[i % kNotes];
        init.boardID = note->id();
        init.kind = CardKind::snip;
        init.ocrText = QStringLiteral("Recognised text of card %1").arg(i);
        init.createdAt = now.addSecs(i);
        if (i < kCardsWithImages)
            init.originalImageData = image;
        auto *card = new CanvasCard(init);
        context->insert(card);
        documents[note].insertCardReference(card->id());
        if (i % 500 == 499)
            (void)context->save();
    }
    for (Board *note : notes)
        note->updateWritingDocument(documents[note], now);
    (void)context->save();
    return dir.path();
}

std::unique_ptr<ModelContainer> openLibrary()
{
    ModelContainer::Configuration configuration;
    configuration.directory = libraryDirectory();
    return std::move(*ModelContainer::open(configuration));
}

void BM_OpenAndFetchAll(benchmark::State &state)
{
    libraryDirectory();
    const long rssBefore = peakRssKiB();
    for (auto _ : state) {
        auto container = openLibrary();
        auto boards = container->mainContext()->fetchBoards();
        auto cards = container->mainContext()->fetchCards();
        benchmark::DoNotOptimize(boards->size() + cards->size());
    }
    state.counters["peakRSS_MiB"] = double(peakRssKiB()) / 1024.0;
    state.counters["peakRSSGrowth_MiB"] = double(peakRssKiB() - rssBefore) / 1024.0;
}
BENCHMARK(BM_OpenAndFetchAll)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_EditOneCardAndSave(benchmark::State &state)
{
    auto container = openLibrary();
    ModelContext *context = container->mainContext();
    const QList<CanvasCard *> cards = *context->fetchCards();
    int i = 0;
    for (auto _ : state) {
        CanvasCard *card = cards[(i++ * 7919) % cards.size()];
        card->setContextText(QStringLiteral("caption %1").arg(i));
        card->setUpdatedAt(QDateTime::currentDateTimeUtc());
        benchmark::DoNotOptimize(context->save().hasValue());
    }
}
BENCHMARK(BM_EditOneCardAndSave)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true)
    ->ComputeStatistics("p99", [](const std::vector<double> &v) {
        std::vector<double> sorted = v;
        std::sort(sorted.begin(), sorted.end());
        return sorted[std::min(sorted.size() - 1, size_t(double(sorted.size()) * 0.99))];
    });

void BM_NoOpMigration(benchmark::State &state)
{
    auto container = openLibrary();
    ModelContext *context = container->mainContext();
    (void)TessalineStore::migrateNotes(*context, QDateTime::currentDateTimeUtc());
    for (auto _ : state) {
        const auto summary = TessalineStore::migrateNotes(*context, QDateTime::currentDateTimeUtc());
        benchmark::DoNotOptimize(summary->changedNoteCount);
    }
}
BENCHMARK(BM_NoOpMigration)->Unit(benchmark::kMillisecond);

void BM_NormaliseAndEncodeLongDocument(benchmark::State &state)
{
    QList<BoardWritingBlock> blocks;
    for (int i = 0; i < 1000; ++i) {
        if (i % 5 == 4)
            blocks.append(BoardWritingBlock::cardReference(QUuid::createUuid()));
        else
            blocks.append(BoardWritingBlock::paragraph(QStringLiteral("Paragraph %1 with some words / and “quotes”.").arg(i)));
    }
    for (auto _ : state) {
        const QString text = BoardWritingDocument::encodedString(BoardWritingDocument::normalizedBlocks(blocks));
        benchmark::DoNotOptimize(text.size());
    }
}
BENCHMARK(BM_NormaliseAndEncodeLongDocument)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    return runBenchmarks<QCoreApplication>(argc, argv);
}

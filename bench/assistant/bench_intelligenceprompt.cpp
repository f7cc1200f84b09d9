#include "assistant/SystemIntelligenceService.h"

#include <benchmark/benchmark.h>

#include <QUuid>

using namespace tessaline;

namespace {

// `count` cards whose titles and texts are `length` characters of accented
// words (two code points per accented letter), padded with blanks.
QList<CardExcerpt> excerpts(int count, int length)
{
    const QString word = QStringLiteral("cafe\u0301 ");
    QString text = QStringLiteral("  \n");
    while (text.size() < length)
        text += word;
    text += QStringLiteral("\n  ");
    QList<CardExcerpt> list;
    for (int i = 0; i < count; ++i)
        list << CardExcerpt{QUuid::createUuid(), text.left(std::min(length, 400)), text};
    return list;
}

// The model prompt over a selection: at most eight sources, each cut to a
// bounded length, so its cost should not follow the cards' own length.
void BM_ModelPrompt(benchmark::State &state)
{
    const QList<CardExcerpt> sources = excerpts(int(state.range(0)), int(state.range(1)));
    qsizetype bytes = 0;
    for (auto _ : state) {
        const QString prompt = SystemIntelligenceService::makePrompt(ThinkingPrompt::connections, sources);
        bytes = prompt.size() * qsizetype(sizeof(QChar));
        benchmark::DoNotOptimize(prompt.constData());
    }
    state.counters["prompt_bytes"] = double(bytes);
}
BENCHMARK(BM_ModelPrompt)->Args({2, 200})->Args({10, 2'000})->Args({10, 200'000})->Args({100, 200'000});

void BM_FallbackReflection(benchmark::State &state)
{
    const QList<CardExcerpt> sources = excerpts(int(state.range(0)), 2'000);
    for (auto _ : state) {
        const GhostSuggestion suggestion = SystemIntelligenceService::fallbackSuggestion(
            ThinkingPrompt::conflicts, sources, IntelligenceUnavailableReason::unsupportedOperatingSystem);
        benchmark::DoNotOptimize(suggestion.markdownText.constData());
    }
}
BENCHMARK(BM_FallbackReflection)->Arg(2)->Arg(100);

} // namespace

BENCHMARK_MAIN();

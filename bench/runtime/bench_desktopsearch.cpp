// The desktop's search as GNOME Shell and KRunner ask it, over a library of
// 10,000 snips on disk (the library file and the search index in a folder
// under the build, not in memory), each with a title, a note, a source app,
// a few hundred characters of recognised text and a small thumbnail.
// Steady state: the answering process keeps its connections and its list of
// live snips between keystrokes. "cold": a new reader for each answer, as
// the first call after a start. TESSALINE_BENCH_KEEP_LIBRARY=1 leaves the
// folder behind (its path is printed), to measure the app started for the
// search alone over it. The `cards` benchmarks answer over the disk
// libraries of 1,000 to 50,000 cards of long use, every live snip indexed
// (kept as well when asked, to look into the index file).

#include "BenchmarkMain.h"
#include "model/CardCatalog.h"
#include "model/ModelContainer.h"
#include "model/ModelContext.h"
#include "platform/DesktopSearchBus.h"
#include "platform/SearchIndex.h"
#include "platform/UuidText.h"
#include "runtime/DesktopSearch.h"
#include "runtime/DesktopSearchIndexService.h"
#include "support/LibraryFixture.h"

#include <benchmark/benchmark.h>

#include <QBuffer>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QRandomGenerator>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>

using namespace tessaline;

namespace {

constexpr int snipCount = 10'000;

// Word-like tokens of three to nine letters; the common ones come up often,
// as in real screen text.
QStringList vocabulary()
{
    QRandomGenerator random(11);
    QStringList words;
    for (int i = 0; i < 3000; ++i) {
        QString word;
        const int length = 3 + int(random.bounded(7));
        for (int c = 0; c < length; ++c)
            word.append(QChar(u'a' + char16_t(random.bounded(26))));
        words << word;
    }
    return words;
}

struct Library
{
    QTemporaryDir directory{QDir::currentPath() + QStringLiteral("/bench-desktopsearch-XXXXXX")};
    QString libraryPath;
    QString indexPath;

    Library()
    {
        // Kept when asked, to start the app's search alone over it.
        directory.setAutoRemove(qEnvironmentVariableIntValue("TESSALINE_BENCH_KEEP_LIBRARY") != 1);
        const QStringList words = vocabulary();
        QRandomGenerator random(5);
        const auto word = [&] {
            // Squared, so low indexes (common words) come up far more often.
            const double u = random.generateDouble();
            return words.at(int(u * u * double(words.size())));
        };
        const QStringList apps{"Firefox", "Terminal", "LibreOffice Calc", "Files", "Slack", "Evince"};
        const QStringList notes{"Research", "Quarterly planning", "Travel", "Receipts", "Design review"};

        QImage picture(256, 144, QImage::Format_RGB32);
        picture.fill(QColor(40, 90, 160));
        QByteArray thumbnail;
        QBuffer buffer(&thumbnail);
        buffer.open(QIODevice::WriteOnly);
        picture.save(&buffer, "PNG");

        ModelContainer::Configuration configuration;
        configuration.directory = directory.path();
        auto container = ModelContainer::open(configuration);
        libraryPath = (*container)->filePath();
        indexPath = directory.filePath(QStringLiteral("SearchIndex.sqlite"));
        ModelContext &context = *(*container)->mainContext();
        QList<Board *> boards;
        for (const QString &title : notes) {
            auto *board = new Board;
            board->setTitle(title);
            board->setHasCompletedNoteMigration(true);
            context.insert(board);
            boards << board;
        }
        QList<SearchableItem> items;
        const QDateTime base = QDateTime::fromSecsSinceEpoch(1'800'000'000, Qt::UTC);
        for (int i = 0; i < snipCount; ++i) {
            QStringList text;
            const int length = 40 + int(random.bounded(80));
            for (int w = 0; w < length; ++w)
                text << word();
            CanvasCard::Init init;
            init.boardID = boards.at(i % boards.size())->id();
            init.kind = CardKind::snip;
            init.title = word() + QLatin1Char(' ') + word();
            init.ocrText = text.join(QLatin1Char(' '));
            init.sourceApplicationName = apps.at(i % apps.size());
            init.createdAt = base.addSecs(i);
            auto *card = new CanvasCard(init);
            context.insert(card);

            SearchableItem item;
            item.uniqueIdentifier = uuidText(card->id());
            item.domainIdentifier = QStringLiteral("org.tessaline.Tessaline.cards");
            item.title = *init.title;
            item.contentDescription = init.ocrText;
            item.keywords = {boards.at(i % boards.size())->title(), *init.sourceApplicationName};
            item.creator = init.sourceApplicationName;
            item.thumbnailData = thumbnail;
            items << item;
        }
        (void)context.save();
        SearchIndex index(indexPath);
        (void)index.indexItems(items);
        if (!directory.autoRemove())
            std::fprintf(stderr, "library kept in %s\n", qPrintable(directory.path()));
    }
};

Library &library()
{
    static Library shared;
    return shared;
}

std::unique_ptr<DesktopSearch> reader()
{
    return std::make_unique<DesktopSearch>(
        std::make_unique<SearchIndex>(library().indexPath, SearchIndex::Creation::existingOnly),
        std::make_unique<CardCatalog>(library().libraryPath));
}

// What a user would type: a rarer word (a few dozen hits), a common one
// (hundreds), and two words found nowhere together.
QStringList terms(int which)
{
    const QStringList words = vocabulary();
    switch (which) {
    case 0:
        return {words.at(400)};
    case 1:
        return {words.at(0)};
    default:
        return {words.at(0), QStringLiteral("zzzzq")};
    }
}

// The app's answering end as it runs in the app: on a connection of its
// own to the session bus, on a thread of its own here, so the shell's side
// of each call waits on the bus as GNOME Shell's does.
class Answering : public QThread
{
public:
    ~Answering() override
    {
        quit();
        wait();
    }
    // Whether it answers under the app's bus name.
    bool begin()
    {
        start();
        m_ready.acquire();
        return m_answers;
    }

protected:
    void run() override
    {
        {
            const auto search = reader();
            QDBusConnection connection =
                QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("bench-answering"));
            DesktopSearchBus bus(*search, connection);
            m_answers = bool(bus.registerOnBus());
            m_ready.release();
            if (m_answers)
                exec();
        }
        QDBusConnection::disconnectFromBus(QStringLiteral("bench-answering"));
    }

private:
    QSemaphore m_ready;
    bool m_answers = false;
};

// One keystroke in GNOME Shell's overview over the 10,000 snips, through
// the session bus: the result set, then the names and icons of the five
// rows the shell shows. Run under dbus-run-session.
void gnomeKeystroke(benchmark::State &state)
{
    Answering answering;
    if (!answering.begin()) {
        state.SkipWithError("no session bus to answer on");
        return;
    }
    QDBusInterface provider(DesktopSearchBus::serviceName(), DesktopSearchBus::searchProviderPath(),
                            QStringLiteral("org.gnome.Shell.SearchProvider2"));
    const QStringList asked = terms(int(state.range(0)));
    qsizetype shown = 0;
    for (auto _ : state) {
        const QDBusReply<QStringList> ids = provider.call(QStringLiteral("GetInitialResultSet"), asked);
        const QDBusMessage metas = provider.call(QStringLiteral("GetResultMetas"), QStringList(ids.value().mid(0, 5)));
        if (metas.type() != QDBusMessage::ReplyMessage) {
            state.SkipWithError("the provider did not answer");
            return;
        }
        shown = ids.value().mid(0, 5).size();
    }
    state.counters["rows"] = double(shown);
}

void answer(benchmark::State &state)
{
    auto search = reader();
    const QStringList asked = terms(int(state.range(0)));
    qsizetype found = 0;
    for (auto _ : state) {
        // What the shell asks for each keystroke: the result set, then the
        // names and pictures of the rows it shows.
        const QStringList ids = search->resultIdentifiers(asked);
        const QList<DesktopSearchResult> results = search->results(ids);
        found = results.size();
        benchmark::DoNotOptimize(found);
    }
    state.counters["results"] = double(found);
}

void answerCold(benchmark::State &state)
{
    const QStringList asked = terms(int(state.range(0)));
    for (auto _ : state) {
        auto search = reader();
        benchmark::DoNotOptimize(search->results(search->resultIdentifiers(asked)));
    }
}

// A disk library of long use with each of its live snips in the index, as the
// app leaves them.
struct FixtureLibrary
{
    explicit FixtureLibrary(int cards)
    {
        directory.setAutoRemove(qEnvironmentVariableIntValue("TESSALINE_BENCH_KEEP_LIBRARY") != 1);
        auto container = bench::LibraryFixture::open(bench::LibraryShape{cards}, directory.path());
        if (!container)
            qFatal("the library could not be opened");
        libraryPath = container->filePath();
        indexPath = directory.filePath(QStringLiteral("SearchIndex.sqlite"));
        ModelContext &context = *container->mainContext();
        QHash<QUuid, QString> noteNames;
        for (const Board *board : *context.fetchBoards())
            noteNames.insert(board->id(), board->title());
        QList<SearchableItem> items;
        for (const CanvasCard *card : *context.fetchCards()) {
            if (card->kind() != CardKind::snip)
                continue;
            DesktopSearchRecord record;
            record.id = card->id();
            record.title = card->displayTitle();
            record.text = card->ocrText();
            record.boardName = noteNames.value(card->boardID());
            record.sourceApplication = card->sourceApplicationName();
            items << DesktopSearchIndexService::searchableItem(record,
                                                               DesktopSearchIndexService::defaultDomainIdentifier());
        }
        SearchIndex index(indexPath);
        if (!index.indexItems(items))
            qFatal("the index could not be written");
        if (!directory.autoRemove())
            std::fprintf(stderr, "library of %d cards kept in %s\n", cards, qPrintable(directory.path()));
    }

    QTemporaryDir directory;
    QString libraryPath;
    QString indexPath;
};

// range(0) cards; range(1): 0 a common word (hundreds of hits or more),
// 1 two words found nowhere together, 2 a source application about one snip in eight
// holds, 3 a note name one in twenty holds: too few among the newest to
// fill the list from them; 4 a word found nowhere though its trigrams are in
// most snips, as a typo's are.
void answerInLibrary(benchmark::State &state)
{
    static std::unique_ptr<FixtureLibrary> kept;
    static int keptCards = 0;
    if (!kept || keptCards != state.range(0)) {
        kept.reset();
        kept = std::make_unique<FixtureLibrary>(int(state.range(0)));
        keptCards = int(state.range(0));
    }
    DesktopSearch search(std::make_unique<SearchIndex>(kept->indexPath, SearchIndex::Creation::existingOnly),
                         std::make_unique<CardCatalog>(kept->libraryPath));
    const QList<QStringList> queries{
        {QStringLiteral("budget")},
        {QStringLiteral("budget"), QStringLiteral("zzzzq")},
        {QStringLiteral("terminal")},
        {QStringLiteral("captures")},
        {QStringLiteral("ticketing")},
    };
    const QStringList asked = queries.at(int(state.range(1)));
    qsizetype found = 0;
    // The first answer reads the live snips from the library file.
    QElapsedTimer first;
    first.start();
    benchmark::DoNotOptimize(search.results(search.resultIdentifiers(asked)));
    const double firstMs = first.nsecsElapsed() / 1e6;
    for (auto _ : state) {
        const QList<DesktopSearchResult> results = search.results(search.resultIdentifiers(asked));
        found = results.size();
        benchmark::DoNotOptimize(found);
    }
    state.counters["results"] = double(found);
    state.counters["firstAnswerMs"] = firstMs;
    state.counters["indexMB"] = double(QFileInfo(kept->indexPath).size()) / (1024 * 1024);
}

// The index's upkeep after range(1) snips of range(0) cards are deleted for
// good: each step's hold of the write lock, and all of it.
void tidyAfterRemovals(benchmark::State &state)
{
    FixtureLibrary fixture(int(state.range(0)));
    SearchIndex index(fixture.indexPath);
    CardCatalog catalog(fixture.libraryPath);
    const QStringList live = catalog.liveSnipsNewestFirst();
    QStringList removed;
    for (qsizetype i = 0; i < live.size() && removed.size() < state.range(1); i += 97)
        removed << live.at(i);
    if (!index.deleteItems(removed))
        qFatal("the index could not be written");
    const double before = double(QFileInfo(fixture.indexPath).size()) / (1024 * 1024);
    double longestMs = 0;
    double totalMs = 0;
    int steps = 0;
    for (auto _ : state) {
        for (bool more = true; more;) {
            QElapsedTimer step;
            step.start();
            const Expected<bool, SearchIndexError> done = index.upkeepStep();
            const double ms = step.nsecsElapsed() / 1e6;
            if (!done)
                qFatal("the upkeep failed");
            more = *done;
            longestMs = std::max(longestMs, ms);
            totalMs += ms;
            ++steps;
        }
    }
    state.counters["steps"] = steps;
    state.counters["longestStepMs"] = longestMs;
    state.counters["totalMs"] = totalMs;
    state.counters["indexMB"] = before;
}

} // namespace

BENCHMARK(answerInLibrary)
    ->ArgsProduct({{1000, 10000, 50000}, {0, 1, 2, 3, 4}})
    ->ArgNames({"cards", "query"})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(tidyAfterRemovals)
    ->Args({50000, 200})
    ->ArgNames({"cards", "removed"})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(gnomeKeystroke)->DenseRange(0, 1)->Unit(benchmark::kMillisecond)->ArgName("query");
BENCHMARK(answer)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->ArgName("query");
BENCHMARK(answerCold)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->ArgName("query");

int main(int argc, char **argv)
{
    return runBenchmarks<QGuiApplication>(argc, argv, [] { library(); });
}

#include "support/LibraryFixture.h"

#include "model/Board.h"
#include "model/CanvasCard.h"
#include "model/Connection.h"
#include "model/ModelContext.h"
#include "model/TessalineStore.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <array>

namespace tessaline::bench {
namespace {

// Bumped whenever what is generated changes, so kept files are made anew.
constexpr int kFixtureVersion = 4;

const QDateTime kStart = QDateTime::fromSecsSinceEpoch(1'700'000'000, Qt::UTC);
// Three years of use.
constexpr qint64 kSpanSeconds = 3LL * 365 * 24 * 3600;

const std::array kWords = {
    "capture", "screen", "design", "review", "budget", "meeting", "release", "server", "latency", "customer",
    "invoice", "draft", "roadmap", "migration", "schema", "button", "layout", "contrast", "keyboard", "shortcut",
    "deadline", "summary", "question", "decision", "research", "interview", "finding", "chart", "quarter", "revenue",
    "error", "warning", "stack", "trace", "commit", "branch", "merge", "window", "panel", "sidebar",
    "settings", "profile", "account", "payment", "order", "shipping", "tracking", "support", "ticket", "priority",
    "the", "a", "of", "and", "to", "in", "for", "with", "on", "is",
    "we", "should", "could", "will", "after", "before", "because", "when", "this", "that",
    "page", "table", "column", "filter", "search", "result", "report", "export", "import", "file",
};

struct Source
{
    const char *application;
    const char *identifier;
    const char *titleStem;
    bool hasURL;
};

const std::array kSources = {
    Source{"Web Browser", "org.example.Browser", "Research notes — Web Browser", true},
    Source{"Terminal", "org.example.Terminal", "build@workstation: ~/src/project", false},
    Source{"Code Editor", "org.example.CodeEditor", "RenderQueue.cpp — project", false},
    Source{"Document Viewer", "org.example.Documents", "Quarterly plan.pdf", false},
    Source{"Mail", "org.example.Mail", "Re: launch checklist", false},
    Source{"Chat", "org.example.Chat", "#design-review", false},
    Source{"Spreadsheet", "org.example.Sheets", "Budget 2026.ods", false},
    Source{"Image Viewer", "org.example.Images", "mockup-v3.png", false},
};

class Generator
{
public:
    explicit Generator(quint32 seed) : m_random(seed) {}

    int below(int bound) { return int(m_random.bounded(quint32(bound))); }

    QUuid uuid()
    {
        const quint64 high = m_random.generate64();
        const quint64 low = m_random.generate64();
        // Version 4, RFC 4122 variant, like the app's own.
        return QUuid(uint(high >> 32), ushort(high >> 16), ushort((high & 0x0fff) | 0x4000),
                     uchar(((low >> 56) & 0x3f) | 0x80), uchar(low >> 48), uchar(low >> 40), uchar(low >> 32),
                     uchar(low >> 24), uchar(low >> 16), uchar(low >> 8), uchar(low));
    }

    QString words(int count)
    {
        QString text;
        text.reserve(count * 8);
        for (int i = 0; i < count; ++i) {
            if (i > 0)
                text += (i % 11 == 0) ? QStringLiteral(". ") : QStringLiteral(" ");
            text += QLatin1String(kWords[below(int(kWords.size()))]);
        }
        return text;
    }

    QDateTime dateWithin(qint64 fromSeconds, qint64 spanSeconds)
    {
        return kStart.addSecs(fromSeconds + qint64(m_random.bounded(quint64(std::max<qint64>(1, spanSeconds)))));
    }

private:
    QRandomGenerator m_random;
};

// A window-like picture: a title bar, a sidebar, lines of text drawn as runs
// of word-sized bars, a few controls; `variant` varies the widths and colours.
QByteArray picturePng(int width, int height, int variant)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(QColor(246, 246, 248));
    QPainter painter(&image);
    QRandomGenerator random(quint32(variant) * 7919 + 13);
    const int bar = std::max(6, height / 28);
    painter.fillRect(QRect(0, 0, width, bar), QColor(222, 222, 228));
    const int sidebar = width / 5;
    painter.fillRect(QRect(0, bar, sidebar, height), QColor(232 - variant % 16, 235, 240));
    const int line = std::max(3, height / 50);
    const QColor ink(40 + variant % 30, 40, 48);
    for (int y = bar + line * 2; y < height - line; y += line * 2) {
        for (int x = sidebar + line * 2; x < width - line * 4;) {
            const int word = line * int(1 + random.bounded(6));
            painter.fillRect(QRect(x, y, std::min(word, width - x), line), ink);
            x += word + line;
        }
        if (random.bounded(9) == 0)
            painter.fillRect(QRect(sidebar + line * 2, y, line * 12, line * 2), QColor(0, 110, 230));
    }
    painter.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

QString fileName(const LibraryShape &shape)
{
    return QStringLiteral("library-%1cards-%2notes-v%3-schema%4.sqlite")
        .arg(shape.cards)
        .arg(shape.noteCount())
        .arg(kFixtureVersion)
        .arg(ModelContainer::schemaVersion());
}

// Fills the library in `directory`; false when a save failed.
bool generate(const LibraryShape &shape, const QString &directory)
{
    ModelContainer::Configuration configuration;
    configuration.directory = directory;
    auto opened = ModelContainer::open(configuration);
    if (!opened)
        return false;
    ModelContext &context = *(*opened)->mainContext();
    Generator random(27);
    const int noteCount = shape.noteCount();

    // Small pictures for most snips (what a library of long use holds is
    // beside the point of reading it at start-up); the most recently opened
    // note, which the window opens first, holds captures of a real size.
    QList<QByteArray> smallPictures;
    for (int i = 0; i < 48; ++i)
        smallPictures.append(picturePng(240, 150, i));
    QList<QByteArray> largePictures;
    for (int i = 0; i < 6; ++i)
        largePictures.append(picturePng(1280 + 80 * i, 760 + 40 * i, 100 + i));

    QList<Board *> notes;
    for (int i = 0; i < noteCount; ++i) {
        Board::Init init;
        init.id = random.uuid();
        init.isInbox = i == 0;
        init.title = init.isInbox ? QStringLiteral("Quick Captures") : random.words(2 + random.below(4));
        init.focusQuestion = i % 4 == 1 ? std::optional(random.words(6) + QLatin1Char('?')) : std::nullopt;
        init.status = i % 17 == 5 ? BoardStatus::parked : i % 23 == 7 ? BoardStatus::done : BoardStatus::active;
        init.sortIndex = init.isInbox ? -1 : noteCount - i;
        init.createdAt = kStart.addSecs(kSpanSeconds * i / noteCount);
        init.updatedAt = random.dateWithin(kSpanSeconds * i / noteCount, kSpanSeconds / 8);
        // Note 1 was opened last.
        init.lastOpenedAt = i == 1 ? kStart.addSecs(kSpanSeconds + 3600) : init.updatedAt;
        init.deletedAt = i % 31 == 30 ? std::optional(init.updatedAt.addDays(2)) : std::nullopt;
        init.workspaceModeRawValue = i % 5 == 4 ? QStringLiteral("map") : QStringLiteral("write");
        init.isFavorite = i % 13 == 3;
        init.folderName = i % 3 == 2 ? std::optional(QStringLiteral("Project %1").arg(i % 12 + 1)) : std::nullopt;
        init.hasCompletedNoteMigration = true;
        auto *note = new Board(init);
        context.insert(note);
        notes.append(note);
    }

    // A twentieth of the cards wait in the inbox, the rest spread over the
    // notes, a third of them thoughts.
    QList<QList<CanvasCard *>> cardsOf(noteCount);
    for (int i = 0; i < shape.cards; ++i) {
        const int noteIndex = i % 20 == 0 || noteCount == 1 ? 0 : 1 + (i * 7) % (noteCount - 1);
        CanvasCard::Init init;
        init.id = random.uuid();
        init.boardID = notes.at(noteIndex)->id();
        init.kind = i % 3 == 2 ? CardKind::thought : CardKind::snip;
        init.createdAt = random.dateWithin(kSpanSeconds * i / shape.cards, 3600 * 24);
        init.updatedAt = init.createdAt.addSecs(random.below(3600 * 24 * 30));
        if (init.kind == CardKind::snip) {
            const Source &source = kSources[random.below(int(kSources.size()))];
            init.capturedAt = init.createdAt;
            init.sourceApplicationName = QString::fromUtf8(source.application);
            init.sourceBundleIdentifier = QString::fromUtf8(source.identifier);
            init.sourceWindowTitle = QString::fromUtf8(source.titleStem);
            init.captureModeRawValue = QStringLiteral("region");
            if (source.hasURL)
                init.sourceURLString = QStringLiteral("https://docs.example.org/%1/%2").arg(i % 97).arg(i);
            // Recognised text of a region of a screen full of words.
            init.ocrText = random.words(40 + random.below(260));
            init.contextText = i % 4 == 0 ? random.words(8 + random.below(20)) : QString();
            init.title = i % 6 == 0 ? std::optional(random.words(3)) : std::nullopt;
            init.originalImageData = noteIndex == 1 ? largePictures.at(i % largePictures.size())
                                                    : smallPictures.at(i % smallPictures.size());
        } else {
            init.thoughtKind = ThoughtKind(i % 4);
            init.markdownText = random.words(10 + random.below(70));
        }
        init.isPlaced = i % 2 == 0;
        init.canvasX = 40 + (i % 9) * 360;
        init.canvasY = 40 + (i / 9 % 12) * 260;
        init.deletedAt = i % 29 == 28 ? std::optional(init.updatedAt->addDays(1)) : std::nullopt;
        auto *card = new CanvasCard(init);
        context.insert(card);
        cardsOf[noteIndex].append(card);
    }

    // Every live card is referenced from its note's writing, between
    // paragraphs, as capturing into a note leaves it.
    for (int n = 0; n < noteCount; ++n) {
        BoardWritingDocument document;
        const QList<CanvasCard *> &cards = cardsOf.at(n);
        const int paragraphs = 2 + random.below(8);
        int next = 0;
        for (int p = 0; p < paragraphs || next < cards.size(); ++p) {
            if (p < paragraphs)
                document.blocks.append(BoardWritingBlock::paragraph(random.words(12 + random.below(60)), random.uuid()));
            const int take = 1 + random.below(3);
            for (int r = 0; r < take && next < cards.size(); ++next) {
                if (!cards.at(next)->isLive())
                    continue;
                document.blocks.append(
                    BoardWritingBlock::cardReference(cards.at(next)->id(), NoteAttachmentSize::medium, random.uuid()));
                ++r;
            }
        }
        Board *note = notes.at(n);
        if (!note->updateWritingDocument(document, note->updatedAt()))
            return false;
    }

    // One connection for every five cards, between neighbours on a map.
    for (int n = 0; n < noteCount; ++n) {
        const QList<CanvasCard *> &cards = cardsOf.at(n);
        for (int c = 0; c + 1 < cards.size(); c += 5) {
            Connection::Values values;
            values.id = random.uuid();
            values.boardID = notes.at(n)->id();
            values.sourceCardID = cards.at(c)->id();
            values.destinationCardID = cards.at(c + 1)->id();
            values.label = c % 3 == 0 ? std::optional(random.words(2)) : std::nullopt;
            values.createdAt = values.updatedAt = cards.at(c + 1)->createdAt();
            context.insert(new Connection(values));
        }
    }
    if (!context.save())
        return false;
    // As the app leaves a library it has started on before: its migration
    // pass run, and opened once more, which leaves the opening's own
    // bookkeeping in the file.
    if (!TessalineStore::migrateNotes(context, kStart.addSecs(kSpanSeconds)).hasValue())
        return false;
    opened->reset();
    return ModelContainer::open(configuration).hasValue();
}

QString cacheDirectory()
{
#ifdef TESSALINE_BENCH_LIBRARY_CACHE
    return QStringLiteral(TESSALINE_BENCH_LIBRARY_CACHE);
#else
    return QDir::temp().filePath(QStringLiteral("tessaline-bench-libraries"));
#endif
}

QString appFileName()
{
    return ModelContainer::Configuration().name + QStringLiteral(".sqlite");
}

} // namespace

QString LibraryFixture::cachedFile(const LibraryShape &shape)
{
    const QDir cache(cacheDirectory());
    const QString path = cache.filePath(fileName(shape));
    if (QFile::exists(path))
        return path;
    if (!QDir().mkpath(cache.path()))
        return QString();
    // Made beside the kept file and moved into place whole, so a benchmark
    // running at the same time never finds half a library.
    QTemporaryDir scratch(cache.filePath(QStringLiteral("making-XXXXXX")));
    if (!scratch.isValid() || !generate(shape, scratch.path()))
        return QString();
    // The container is closed by now: its log is folded into the file.
    const QString made = QDir(scratch.path()).filePath(appFileName());
    if (!QFile::rename(made, path) && !QFile::exists(path))
        return QString();
    return path;
}

bool LibraryFixture::copyInto(const LibraryShape &shape, const QString &directory)
{
    const QString source = cachedFile(shape);
    if (source.isEmpty() || !QDir().mkpath(directory))
        return false;
    const QString target = QDir(directory).filePath(appFileName());
    for (const QString &leftover : {target, target + QStringLiteral("-wal"), target + QStringLiteral("-shm")})
        QFile::remove(leftover);
    return QFile::copy(source, target);
}

std::unique_ptr<ModelContainer> LibraryFixture::open(const LibraryShape &shape, const QString &directory)
{
    if (!copyInto(shape, directory))
        return nullptr;
    ModelContainer::Configuration configuration;
    configuration.directory = directory;
    auto opened = ModelContainer::open(configuration);
    return opened ? std::move(*opened) : nullptr;
}

QString LibraryFixture::appDataDirectory(const QString &dataHome)
{
    return QDir(dataHome).filePath(QStringLiteral("Tessaline"));
}

} // namespace tessaline::bench

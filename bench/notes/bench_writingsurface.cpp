// A long note on the writing page: 1,000 blocks, 200 of them snip
// references. Measures building the page, repainting while scrolling and
// what one keystroke costs until the document is handed back.

#include "BenchmarkMain.h"
#include "model/CanvasCard.h"
#include "notes/BoardWritingSurface.h"
#include "runtime/SnipImageCache.h"
#include "notes/WritingParagraphEditor.h"
#include "support/ScrollSweep.h"

#include <QApplication>
#include <QBuffer>
#include <QKeyEvent>
#include <QLinearGradient>
#include <QPainter>
#include <QScrollBar>
#include <QTimeZone>

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

using namespace tessaline;

namespace {

constexpr int blockCount = 1000;
constexpr int referenceEvery = 5; // 200 references
constexpr int distinctPictures = 8;

QByteArray picture(int variant)
{
    QImage image(1440, 900, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient gradient(0, 0, image.width(), image.height());
    gradient.setColorAt(0, QColor::fromHsv((variant * 40) % 360, 120, 230));
    gradient.setColorAt(1, QColor::fromHsv((variant * 40 + 180) % 360, 160, 90));
    painter.fillRect(image.rect(), gradient);
    painter.setPen(Qt::white);
    for (int i = 0; i < 30; ++i)
        painter.drawText(40, 40 + i * 28, QStringLiteral("Line %1 of a captured window, variant %2").arg(i).arg(variant));
    painter.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

struct Note
{
    std::vector<std::unique_ptr<CanvasCard>> owned;
    QList<CanvasCard *> cards;
    BoardWritingDocument document;
};

const Note &note()
{
    static const Note built = [] {
        Note n;
        QList<QByteArray> pictures;
        for (int i = 0; i < distinctPictures; ++i)
            pictures << picture(i);
        const QString sentence = QStringLiteral("A thought about the captured screen and what it means for the plan. ");
        for (int i = 0; i < blockCount; ++i) {
            if (i % referenceEvery == referenceEvery - 1) {
                CanvasCard::Init init;
                init.kind = CardKind::snip;
                init.title = QStringLiteral("Snip %1").arg(i);
                init.contextText = i % 2 ? QStringLiteral("Caption of snip %1").arg(i) : QString();
                init.originalImageData = pictures.at(i % distinctPictures);
                init.createdAt = QDateTime(QDate(2026, 1, 1), QTime(8, 0), QTimeZone::utc()).addSecs(i);
                auto card = std::make_unique<CanvasCard>(init);
                n.document.blocks.append(BoardWritingBlock::cardReference(card->id()));
                n.cards.append(card.get());
                n.owned.push_back(std::move(card));
            } else {
                n.document.blocks.append(BoardWritingBlock::paragraph(sentence.repeated(1 + i % 4)));
            }
        }
        n.document.blocks = BoardWritingDocument::normalizedBlocks(n.document.blocks);
        return n;
    }();
    return built;
}

std::unique_ptr<BoardWritingSurface> makeSurface()
{
    auto surface = std::make_unique<BoardWritingSurface>();
    surface->resize(1180, 780);
    surface->model()->setCards(note().cards);
    surface->model()->setDocument(note().document);
    surface->show();
    QApplication::processEvents();
    return surface;
}

void BM_BuildPage(benchmark::State &state)
{
    for (auto _ : state) {
        auto surface = makeSurface();
        benchmark::DoNotOptimize(surface->page()->height());
        state.PauseTiming();
        surface.reset();
        QApplication::processEvents();
        state.ResumeTiming();
    }
    state.counters["blocks"] = note().document.blocks.size();
}

void BM_ScrollRepaint(benchmark::State &state)
{
    auto surface = makeSurface();
    QScrollBar *bar = surface->verticalScrollBar();
    // Reading back and forth through about a fifth of the note (some forty
    // snips). A first pass paints those rows once, so their pictures are
    // decoded and fitted; the measured frames show scrolling from then on.
    const int range = std::min(bar->maximum(), bar->maximum() / 5);
    for (int value = 0; value <= range; value += 300) {
        bar->setValue(value);
        surface->viewport()->repaint();
        surface->imageCache()->waitForPending();
        QApplication::processEvents();
    }
    bench::ScrollSweep sweep(range);
    for (auto _ : state) {
        bar->setValue(sweep.next());
        surface->viewport()->repaint();
    }
    state.counters["page_height_px"] = surface->page()->height();
    state.counters["scrolled_px"] = range;
}

void BM_ScrollRepaintCold(benchmark::State &state)
{
    // Every frame shows rows never painted before: the pictures are still
    // decoding off the main thread, so a frame draws their placeholders.
    for (auto _ : state) {
        state.PauseTiming();
        auto surface = makeSurface();
        QScrollBar *bar = surface->verticalScrollBar();
        state.ResumeTiming();
        for (int value = 0; value <= bar->maximum(); value += 780) {
            bar->setValue(value);
            surface->viewport()->repaint();
        }
        state.PauseTiming();
        surface->imageCache()->waitForPending();
        surface.reset();
        QApplication::processEvents();
        state.ResumeTiming();
    }
}

void typeOne(WritingParagraphEditor *editor, int i)
{
    const QChar letter(u'a' + i % 26);
    QKeyEvent press(QEvent::KeyPress, Qt::Key_A + i % 26, Qt::NoModifier, QString(letter));
    QApplication::sendEvent(editor, &press);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_A + i % 26, Qt::NoModifier, QString(letter));
    QApplication::sendEvent(editor, &release);
}

void runKeystrokes(benchmark::State &state, bool storeLikeTheWorkspace)
{
    auto surface = makeSurface();
    BoardWritingSurfaceModel *model = surface->model();
    BoardWritingDocument stored = model->document();
    qsizetype storedBytes = 0;
    model->onDocumentChange = [&](const BoardWritingDocument &document) {
        if (!storeLikeTheWorkspace)
            return;
        // What the workspace does with each change: normalise, encode,
        // hand the result back.
        stored.blocks = BoardWritingDocument::normalizedBlocks(document.blocks);
        storedBytes = BoardWritingDocument::encodedString(stored.blocks).size();
        model->setDocument(stored);
    };
    // A paragraph in the middle of the note.
    const QUuid target = note().document.blocks.at(blockCount / 2).id;
    surface->focusParagraph(target);
    WritingParagraphEditor *editor = surface->paragraphEditor(target);
    int i = 0;
    for (auto _ : state) {
        typeOne(editor, i++);
        if (i % 200 == 0) {
            state.PauseTiming();
            editor->setText(QString()); // keep the paragraph a realistic length
            state.ResumeTiming();
        }
    }
    state.counters["encoded_bytes"] = double(storedBytes);
}

void BM_Keystroke(benchmark::State &state) { runKeystrokes(state, false); }
void BM_KeystrokeWithWorkspaceStore(benchmark::State &state) { runKeystrokes(state, true); }

} // namespace

BENCHMARK(BM_BuildPage)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_ScrollRepaint)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ScrollRepaintCold)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Keystroke)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_KeystrokeWithWorkspaceStore)->Unit(benchmark::kMicrosecond);

int main(int argc, char **argv)
{
    return runBenchmarks<QApplication>(argc, argv, [] { note(); });
}

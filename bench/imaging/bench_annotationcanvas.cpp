// What the user feels while drawing: one repaint of a busy canvas, and one
// step of dragging a selected mark across it.

#include "BenchmarkMain.h"
#include "imaging/AnnotationCanvasPainter.h"
#include "imaging/AnnotationCanvasView.h"
#include "imaging/AnnotationEditorModel.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QPainter>

#include <cmath>

using namespace tessaline;

namespace {

const QSize canvasSize(1200, 800);

// A 2400 × 1600 capture shown at 1200 × 800, like a region captured on a scale-2 display shown on
// an ordinary window.
QImage capture()
{
    QImage image(2400, 1600, QImage::Format_RGB32);
    QPainter painter(&image);
    for (int y = 0; y < image.height(); y += 40)
        painter.fillRect(0, y, image.width(), 40, QColor::fromHsv((y / 40 * 17) % 360, 40, 240));
    return image;
}

AnnotationItem item(AnnotationTool tool, QList<NormalizedPoint> points, double width = 4)
{
    return {QUuid::createUuid(), tool, std::move(points), {0.96, 0.29, 0.27, tool == AnnotationTool::highlight ? 0.38 : 1},
            width, tool == AnnotationTool::text ? std::optional<QString>(QStringLiteral("Check this value")) : std::nullopt};
}

// 100 marks: five long freehand strokes of 2,000 points each and 95 of the
// other kinds spread over the snip.
AnnotationDocument busyDocument()
{
    AnnotationDocument document;
    for (int s = 0; s < 5; ++s) {
        QList<NormalizedPoint> points;
        points.reserve(2000);
        for (int i = 0; i < 2000; ++i) {
            const double t = i / 2000.0;
            points.append({0.05 + 0.9 * t, 0.15 + 0.15 * s + 0.05 * std::sin(t * 60 + s)});
        }
        document.items.append(item(AnnotationTool::freehand, points));
    }
    const AnnotationTool kinds[] = {AnnotationTool::arrow, AnnotationTool::rectangle, AnnotationTool::text,
                                    AnnotationTool::highlight, AnnotationTool::pixelate};
    for (int i = 0; i < 95; ++i) {
        const double x = 0.05 + 0.09 * (i % 10);
        const double y = 0.05 + 0.09 * (i / 10);
        const AnnotationTool tool = kinds[i % 5];
        if (tool == AnnotationTool::text)
            document.items.append(item(tool, {{x, y}}));
        else if (tool == AnnotationTool::highlight)
            document.items.append(item(tool, {{x, y}, {x + 0.03, y + 0.01}, {x + 0.06, y}}));
        else
            document.items.append(item(tool, {{x, y}, {x + 0.06, y + 0.05}}));
    }
    return document;
}

struct Scene
{
    Scene() : view(capture(), model)
    {
        model.setDocument(busyDocument());
        view.resize(canvasSize);
        view.show();
        QApplication::processEvents();
        // Select the arrow in the middle, so the outline is drawn too.
        model.selectTool(AnnotationTool::select);
        const QPointF grab = AnnotationEditorModel::toCanvas({0.5 + 0.03, 0.5 + 0.025}, QSizeF(canvasSize));
        model.pointerPressed(grab, QSizeF(canvasSize));
        start = grab;
    }

    AnnotationEditorModel model;
    AnnotationCanvasView view;
    QPointF start;
};

void BM_CanvasRepaint(benchmark::State &state)
{
    Scene scene;
    if (!scene.model.selectedItemID())
        state.SkipWithError("nothing grabbed");
    for (auto _ : state)
        scene.view.repaint();
}
BENCHMARK(BM_CanvasRepaint)->Unit(benchmark::kMillisecond);

// Every mark drawn afresh, as happens once when the selection changes or the
// size does; the repaints above reuse the result.
void BM_AllMarksDrawnAfresh(benchmark::State &state)
{
    Scene scene;
    QImage target(canvasSize, QImage::Format_ARGB32_Premultiplied);
    const auto colors = AnnotationCanvasPainter::Colors::from(scene.view.palette());
    for (auto _ : state) {
        QPainter painter(&target);
        painter.setRenderHint(QPainter::Antialiasing);
        AnnotationCanvasPainter::render(painter, scene.model, QSizeF(canvasSize), colors);
    }
}
BENCHMARK(BM_AllMarksDrawnAfresh)->Unit(benchmark::kMillisecond);

// One pointer step of a selection drag: the move in the model, then the
// repaint it causes.
void BM_SelectionDragStep(benchmark::State &state)
{
    Scene scene;
    int step = 0;
    for (auto _ : state) {
        const double offset = 5 + (step++ % 40);
        scene.model.pointerMoved(scene.start + QPointF(offset, offset / 2), QSizeF(canvasSize));
        scene.view.repaint();
    }
    if (!scene.model.selectionDidMove())
        state.SkipWithError("the drag moved nothing");
}
BENCHMARK(BM_SelectionDragStep)->Unit(benchmark::kMillisecond);

// One pointer step while a freehand stroke of 2,000 points is being drawn:
// the stroke's preview is drawn whole on every step.
void BM_LongStrokePreviewStep(benchmark::State &state)
{
    Scene scene;
    scene.model.pointerReleased(scene.start, QSizeF(canvasSize));
    scene.model.selectTool(AnnotationTool::freehand);
    const auto location = [](int i) {
        return QPointF(60 + (i % 1080), 400 + 60 * std::sin(i / 30.0));
    };
    scene.model.pointerPressed(location(0), QSizeF(canvasSize));
    for (int i = 1; i <= 2000; ++i)
        scene.model.pointerMoved(location(i), QSizeF(canvasSize));
    scene.view.repaint();
    int i = 2000;
    for (auto _ : state) {
        scene.model.pointerMoved(location(++i % 2000), QSizeF(canvasSize));
        scene.view.repaint();
        state.PauseTiming();
        // Keep the stroke at its length so every step measures the same.
        scene.model.pointerReleased(location(i), QSizeF(canvasSize));
        scene.model.undo();
        scene.model.pointerPressed(location(0), QSizeF(canvasSize));
        for (int j = 1; j <= 2000; ++j)
            scene.model.pointerMoved(location(j), QSizeF(canvasSize));
        scene.view.repaint();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_LongStrokePreviewStep)->Unit(benchmark::kMillisecond);

void BM_SelectionDragModelOnly(benchmark::State &state)
{
    Scene scene;
    int step = 0;
    for (auto _ : state) {
        const double offset = 5 + (step++ % 40);
        scene.model.pointerMoved(scene.start + QPointF(offset, offset / 2), QSizeF(canvasSize));
    }
}
BENCHMARK(BM_SelectionDragModelOnly)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    return runBenchmarks<QApplication>(argc, argv);
}

#include "imaging/AnnotationEditorModel.h"

#include <QSignalSpy>
#include <QTest>

#include <cmath>

using namespace tessaline;

namespace {

const QSizeF canvas(400, 300);

// One drag as the canvas reports it: press, the moves, release at the last.
void drag(AnnotationEditorModel &model, QPointF from, const QList<QPointF> &moves)
{
    model.pointerPressed(from, canvas);
    for (const QPointF &to : moves)
        model.pointerMoved(to, canvas);
    model.pointerReleased(moves.isEmpty() ? from : moves.last(), canvas);
}

void click(AnnotationEditorModel &model, QPointF at)
{
    drag(model, at, {});
}

void drawArrow(AnnotationEditorModel &model, QPointF from, QPointF to)
{
    model.selectTool(AnnotationTool::arrow);
    drag(model, from, {(from + to) / 2, to});
}

AnnotationItem textItem(const QString &text, NormalizedPoint at)
{
    AnnotationItem item;
    item.id = QUuid::createUuid();
    item.tool = AnnotationTool::text;
    item.points = {at};
    item.color = {0.05, 0.05, 0.05, 1};
    item.lineWidth = 6;
    item.text = text;
    return item;
}

} // namespace

class AnnotationEditorModelTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void freshEditor();
    void styleControls_data();
    void styleControls();
    void swatchNames_data();
    void swatchNames();
    void historyKeepsTheNewestSixty();
    void redoIsClearedOnlyByARealChange();
    void undoAndTheSelection();
    void widthDragIsOneUndoStep();
    void coloursOfSelectedItems();
    void strokeCommitRule_data();
    void strokeCommitRule();
    void selectionDrag_data();
    void selectionDrag();
    void pressWithoutReleaseEndsTheDrag();
    void textEntry();
    void retypingText();
    void textPanelPlacement_data();
    void textPanelPlacement();
    void deleteAndEscape();
    void announcesOnlyRealChanges();
};

void AnnotationEditorModelTest::freshEditor()
{
    AnnotationEditorModel model;
    QCOMPARE(model.tool(), AnnotationTool::arrow);
    QCOMPARE(model.color(), (AnnotationColor{0.96, 0.29, 0.27, 1.0}));
    QCOMPARE(model.displayedLineWidth(), 4.0);
    QVERIFY(model.showsStyleControls());
    QVERIFY(!model.isTextSizing());
    QVERIFY(!model.canUndo() && !model.canRedo());
    QVERIFY(!model.selectedItem());
    QVERIFY(AnnotationEditorModel::matchesSwatch(AnnotationEditorModel::swatches().first(), model.color()));
}

void AnnotationEditorModelTest::styleControls_data()
{
    QTest::addColumn<AnnotationTool>("tool");
    QTest::addColumn<bool>("selectText");
    QTest::addColumn<bool>("showsStyle");
    QTest::addColumn<bool>("pixelateHint");
    QTest::addColumn<bool>("textSizing");
    QTest::newRow("select, nothing selected") << AnnotationTool::select << false << false << false << false;
    QTest::newRow("pixelate shows its hint") << AnnotationTool::pixelate << false << false << true << false;
    QTest::newRow("text tool sizes text") << AnnotationTool::text << false << true << false << true;
    QTest::newRow("freehand") << AnnotationTool::freehand << false << true << false << false;
    QTest::newRow("selected text item, select tool") << AnnotationTool::select << true << true << false << true;
}

void AnnotationEditorModelTest::styleControls()
{
    QFETCH(AnnotationTool, tool);
    QFETCH(bool, selectText);
    AnnotationEditorModel model;
    AnnotationDocument document;
    document.items = {textItem("Note", {0.25, 0.25})};
    model.setDocument(document);
    model.selectTool(tool);
    if (selectText)
        click(model, QPointF(105, 80));
    QCOMPARE(model.selectedItem().has_value(), selectText);
    QTEST(model.showsStyleControls(), "showsStyle");
    QTEST(model.showsPixelateHint(), "pixelateHint");
    QTEST(model.isTextSizing(), "textSizing");
    if (selectText)
        QCOMPARE(model.displayedLineWidth(), 6.0);
}

void AnnotationEditorModelTest::swatchNames_data()
{
    QTest::addColumn<AnnotationColor>("color");
    QTest::addColumn<QString>("name");
    QTest::newRow("coral") << AnnotationColor{0.96, 0.29, 0.27, 1} << "Coral";
    QTest::newRow("coral within tolerance") << AnnotationColor{0.97, 0.28, 0.28, 0.2} << "Coral";
    QTest::newRow("yellow, any alpha") << AnnotationColor{1, 0.78, 0.12, 1} << "Yellow";
    QTest::newRow("white") << AnnotationColor{1, 1, 1, 1} << "White";
    QTest::newRow("black") << AnnotationColor{0.05, 0.05, 0.05, 1} << "Black";
    QTest::newRow("red not near 1 is black") << AnnotationColor{0.5, 0.78, 0.12, 1} << "Black";
    QTest::newRow("pink is black") << AnnotationColor{1, 0.5, 0.5, 1} << "Black";
    QTest::newRow("just outside coral") << AnnotationColor{0.96, 0.31, 0.27, 1} << "Black";
}

void AnnotationEditorModelTest::swatchNames()
{
    QFETCH(AnnotationColor, color);
    QTEST(AnnotationEditorModel::swatchName(color), "name");
}

void AnnotationEditorModelTest::historyKeepsTheNewestSixty()
{
    AnnotationEditorModel model;
    for (int i = 0; i < 61; ++i)
        drawArrow(model, QPointF(10, 2 + 4 * i), QPointF(200, 2 + 4 * i));
    QCOMPARE(model.document().items.size(), 61);
    QCOMPARE(model.undoSnapshots().size(), AnnotationEditorModel::undoLimit);
    for (int i = 0; i < 60; ++i)
        model.undo();
    QVERIFY(!model.canUndo());
    // The oldest step (the empty document) is gone: the first edit remains.
    QCOMPARE(model.document().items.size(), 1);
    QCOMPARE(model.redoSnapshots().size(), 60);
    model.redo();
    QCOMPARE(model.document().items.size(), 2);
    QCOMPARE(model.undoSnapshots().size() + model.redoSnapshots().size(), 60);
}

void AnnotationEditorModelTest::redoIsClearedOnlyByARealChange()
{
    AnnotationEditorModel model;
    drawArrow(model, QPointF(10, 10), QPointF(200, 10));
    drawArrow(model, QPointF(10, 100), QPointF(200, 100));
    model.undo();
    QCOMPARE(model.redoSnapshots().size(), 1);

    model.selectTool(AnnotationTool::select);
    click(model, QPointF(100, 10)); // selecting records nothing
    QVERIFY(model.selectedItem());
    model.applyColor(AnnotationEditorModel::swatches().first()); // the colour it has
    QCOMPARE(model.redoSnapshots().size(), 1);
    QCOMPARE(model.undoSnapshots().size(), 1);

    model.applyColor(AnnotationEditorModel::swatches()[2]);
    QCOMPARE(model.redoSnapshots().size(), 0);
    QCOMPARE(model.undoSnapshots().size(), 2);
}

void AnnotationEditorModelTest::undoAndTheSelection()
{
    AnnotationEditorModel model;
    drawArrow(model, QPointF(10, 10), QPointF(200, 10));
    model.setDisplayedLineWidth(7); // nothing selected: only new marks change
    model.applyColor(AnnotationEditorModel::swatches()[3]);
    drawArrow(model, QPointF(10, 100), QPointF(200, 100));

    // Undoing the creation of the selected item drops the selection and
    // leaves the controls as they were.
    model.selectTool(AnnotationTool::select);
    click(model, QPointF(100, 100));
    QVERIFY(model.selectedItem());
    model.undo();
    QVERIFY(!model.selectedItemID());
    QCOMPARE(model.lineWidth(), 7.0);
    QCOMPARE(AnnotationEditorModel::swatchName(model.color()), QStringLiteral("Black"));

    // Undoing a move keeps the selection and takes the restored item's style.
    drag(model, QPointF(100, 10), {QPointF(100, 40)});
    const std::optional<AnnotationItem> moved = model.selectedItem();
    QVERIFY(moved);
    QCOMPARE(moved->points.first().y, 40.0 / 300);
    model.applyColor(AnnotationEditorModel::swatches()[3]); // controls now black
    model.undo(); // the colour change
    model.undo(); // the move
    QCOMPARE(model.selectedItemID(), moved->id);
    QCOMPARE(model.selectedItem()->points.first().y, 10.0 / 300);
    QCOMPARE(model.lineWidth(), 4.0);
    QCOMPARE(AnnotationEditorModel::swatchName(model.color()), QStringLiteral("Coral"));
}

void AnnotationEditorModelTest::widthDragIsOneUndoStep()
{
    AnnotationEditorModel model;
    drawArrow(model, QPointF(10, 10), QPointF(200, 10));
    model.selectTool(AnnotationTool::select);
    click(model, QPointF(100, 10));
    const qsizetype steps = model.undoSnapshots().size();

    model.lineWidthEditingChanged(true);
    for (int width = 5; width <= 9; ++width) {
        model.setDisplayedLineWidth(width);
        QCOMPARE(model.selectedItem()->lineWidth, double(width));
    }
    model.lineWidthEditingChanged(false);
    QCOMPARE(model.undoSnapshots().size(), steps + 1);
    QVERIFY(!model.styleChangeOrigin());
    model.undo();
    QCOMPARE(model.selectedItem()->lineWidth, 4.0);
    QCOMPARE(model.displayedLineWidth(), 4.0);

    // A drag that ends where it began records nothing.
    model.lineWidthEditingChanged(true);
    model.setDisplayedLineWidth(6);
    model.setDisplayedLineWidth(4);
    model.lineWidthEditingChanged(false);
    QCOMPARE(model.undoSnapshots().size(), steps);
    QCOMPARE(model.redoSnapshots().size(), 1);
}

void AnnotationEditorModelTest::coloursOfSelectedItems()
{
    AnnotationEditorModel model;
    model.selectTool(AnnotationTool::highlight);
    drag(model, QPointF(10, 50), {QPointF(60, 50), QPointF(120, 50)});
    QCOMPARE(model.document().items.size(), 1);
    // A highlight is stored, like its preview, at most 0.38 opaque.
    QCOMPARE(model.document().items.first().color.alpha, 0.38);

    const AnnotationColor yellow = AnnotationEditorModel::swatches()[1];
    model.selectTool(AnnotationTool::select);
    click(model, QPointF(60, 50));
    model.applyColor(yellow);
    QCOMPARE(model.selectedItem()->color, (AnnotationColor{1.0, 0.78, 0.12, 0.38}));
    QCOMPARE(model.color(), (AnnotationColor{1.0, 0.78, 0.12, 1.0}));
    QVERIFY(AnnotationEditorModel::matchesSwatch(yellow, model.color()));

    // An arrow keeps the swatch's own alpha.
    drawArrow(model, QPointF(10, 200), QPointF(300, 200));
    model.selectTool(AnnotationTool::select);
    click(model, QPointF(150, 200));
    model.applyColor(yellow);
    QCOMPARE(model.selectedItem()->color.alpha, 0.42);
}

void AnnotationEditorModelTest::strokeCommitRule_data()
{
    QTest::addColumn<AnnotationTool>("tool");
    QTest::addColumn<QList<QPointF>>("moves");
    QTest::addColumn<bool>("committed");
    const QPointF s(100, 100);
    QTest::newRow("arrow of 1.5 points") << AnnotationTool::arrow << QList<QPointF>{s + QPointF(1.5, 0)} << false;
    QTest::newRow("arrow of 2 points") << AnnotationTool::arrow << QList<QPointF>{s + QPointF(2, 0)} << true;
    QTest::newRow("arrow back to its start")
        << AnnotationTool::arrow << QList<QPointF>{s + QPointF(30, 0), s + QPointF(1, 0)} << false;
    QTest::newRow("rectangle drawn up and left")
        << AnnotationTool::rectangle << QList<QPointF>{s - QPointF(40, 30)} << true;
    QTest::newRow("freehand that never left its press")
        << AnnotationTool::freehand << QList<QPointF>{s + QPointF(1.5, 0), s + QPointF(0.5, 1)} << false;
    QTest::newRow("freehand of one move is a single point") << AnnotationTool::freehand
                                                              << QList<QPointF>{s + QPointF(3, 0)} << false;
    QTest::newRow("highlight of one long move is a single point")
        << AnnotationTool::highlight << QList<QPointF>{s + QPointF(80, 40)} << false;
    QTest::newRow("freehand of 1 point end to end")
        << AnnotationTool::freehand << QList<QPointF>{s + QPointF(3, 0), s + QPointF(4, 0)} << true;
    QTest::newRow("freehand loop closed on its press")
        << AnnotationTool::freehand << QList<QPointF>{s + QPointF(30, 0), s + QPointF(30, 30), s + QPointF(0, 30), s}
        << true;
    QTest::newRow("highlight scribble back to start")
        << AnnotationTool::highlight << QList<QPointF>{s + QPointF(3, 0), s + QPointF(20, 20), s + QPointF(0, 0.5)}
        << true;
    QTest::newRow("pixelate") << AnnotationTool::pixelate << QList<QPointF>{s + QPointF(50, 50)} << true;
}

void AnnotationEditorModelTest::strokeCommitRule()
{
    QFETCH(AnnotationTool, tool);
    QFETCH(QList<QPointF>, moves);
    QFETCH(bool, committed);
    AnnotationEditorModel model;
    AnnotationDocument document;
    document.items = {textItem("Keep", {0.9, 0.9})};
    model.setDocument(document);
    model.selectTool(tool);

    drag(model, QPointF(100, 100), moves);
    QVERIFY(model.workingPoints().isEmpty());
    QCOMPARE(model.document().items.size(), committed ? 2 : 1);
    QCOMPARE(model.undoSnapshots().size(), committed ? 1 : 0);
    if (!committed)
        return;
    const AnnotationItem item = model.document().items.last();
    QCOMPARE(item.tool, tool);
    QCOMPARE(item.lineWidth, 4.0);
    QVERIFY(!item.text);
    if (tool != AnnotationTool::freehand && tool != AnnotationTool::highlight) {
        QCOMPARE(item.points.size(), 2);
        QCOMPARE(item.points.first(), (NormalizedPoint{100.0 / 400, 100.0 / 300}));
        const QPointF end = moves.last();
        QCOMPARE(item.points.last(), (NormalizedPoint{end.x() / 400, end.y() / 300}));
    } else {
        // Every change is a point; the press itself is not.
        QCOMPARE(item.points.size(), moves.size());
        QCOMPARE(item.points.first(), (NormalizedPoint{moves.first().x() / 400, moves.first().y() / 300}));
    }
}

void AnnotationEditorModelTest::selectionDrag_data()
{
    QTest::addColumn<QPointF>("grab");
    QTest::addColumn<QPointF>("translation");
    QTest::addColumn<int>("grabbedIndex"); // -1: nothing
    QTest::addColumn<QPointF>("expectedStart");
    QTest::addColumn<int>("undoSteps");
    QTest::newRow("0.9 points moves nothing") << QPointF(100, 50) << QPointF(0.9, 0) << 0 << QPointF(40, 50) << 0;
    QTest::newRow("1 point moves the whole way") << QPointF(100, 50) << QPointF(1, 0) << 0 << QPointF(41, 50) << 1;
    QTest::newRow("kept inside the image") << QPointF(100, 50) << QPointF(0, -80) << 0 << QPointF(40, 0) << 1;
    QTest::newRow("overlap grabs the later item") << QPointF(150, 52) << QPointF(0, 10) << 1 << QPointF(150, 20) << 1;
    QTest::newRow("empty canvas deselects") << QPointF(300, 250) << QPointF(20, 20) << -1 << QPointF() << 0;
}

void AnnotationEditorModelTest::selectionDrag()
{
    QFETCH(QPointF, grab);
    QFETCH(QPointF, translation);
    QFETCH(int, grabbedIndex);
    QFETCH(QPointF, expectedStart);
    QFETCH(int, undoSteps);

    AnnotationEditorModel model;
    drawArrow(model, QPointF(40, 50), QPointF(200, 50));
    // A vertical line crossing the first arrow near x = 150.
    drawArrow(model, QPointF(150, 10), QPointF(150, 120));
    const AnnotationDocument before = model.document();
    model.selectTool(AnnotationTool::select);
    click(model, QPointF(150, 100)); // some selection to lose
    const qsizetype stepsBefore = model.undoSnapshots().size();

    // The move follows the drag in steps; each step places the item
    // relative to where it began.
    drag(model, grab, {grab + translation / 2, grab + translation});
    QCOMPARE(model.undoSnapshots().size() - stepsBefore, undoSteps);
    QVERIFY(!model.selectionDragStarted());
    if (grabbedIndex < 0) {
        QVERIFY(!model.selectedItemID());
        QCOMPARE(model.document(), before);
        return;
    }
    const AnnotationItem grabbed = model.document().items[grabbedIndex];
    QCOMPARE(model.selectedItemID(), grabbed.id);
    const QPointF start = AnnotationEditorModel::toCanvas(grabbed.points.first(), canvas);
    QVERIFY2(std::abs(start.x() - expectedStart.x()) < 1e-9 && std::abs(start.y() - expectedStart.y()) < 1e-9,
             qPrintable(QStringLiteral("start at %1, %2").arg(start.x()).arg(start.y())));
    if (undoSteps) {
        model.undo();
        QCOMPARE(model.document(), before);
        QCOMPARE(model.selectedItemID(), grabbed.id);
    }
}

void AnnotationEditorModelTest::pressWithoutReleaseEndsTheDrag()
{
    AnnotationEditorModel model;
    model.pointerPressed(QPointF(10, 10), canvas);
    model.pointerMoved(QPointF(120, 60), canvas);
    // The release was lost; the next press finishes the arrow first.
    model.pointerPressed(QPointF(300, 250), canvas);
    QCOMPARE(model.document().items.size(), 1);
    QCOMPARE(model.document().items.first().points.last(), (NormalizedPoint{120.0 / 400, 60.0 / 300}));
    model.pointerReleased(QPointF(300, 250), canvas);

    model.selectTool(AnnotationTool::select);
    model.pointerPressed(QPointF(65, 35), canvas);
    model.pointerMoved(QPointF(65, 45), canvas);
    QVERIFY(model.selectionDragStarted());
    model.pointerPressed(QPointF(380, 290), canvas); // empty canvas
    QVERIFY(!model.selectedItemID());
    QCOMPARE(model.undoSnapshots().size(), 2); // the arrow and its move
}

void AnnotationEditorModelTest::textEntry()
{
    AnnotationEditorModel model;
    model.selectTool(AnnotationTool::text);
    QSignalSpy changed(&model, &AnnotationEditorModel::stateChanged);
    click(model, QPointF(100, 150));
    QCOMPARE(model.textEditingContext(), (TextEditingContext{std::nullopt, {0.25, 0.5}}));
    QVERIFY(!model.canUndo());
    // Focus lands once the panel exists, a turn of the event loop later.
    QVERIFY(!model.isTextEditorFocused());
    QTRY_VERIFY(model.isTextEditorFocused());

    // Clicks and drags on the canvas do nothing while the panel is open.
    drag(model, QPointF(10, 10), {QPointF(90, 90)});
    QCOMPARE(model.textEditingContext()->point, (NormalizedPoint{0.25, 0.5}));

    model.setTextDraft(QStringLiteral("  \n "));
    QVERIFY(!model.canCommitText());
    QVERIFY(!model.commitText());
    QVERIFY(model.isTextEditing());

    model.setDisplayedLineWidth(25); // out of the model's range
    model.setTextDraft(QStringLiteral("  Look here\n"));
    QVERIFY(model.commitText());
    QVERIFY(!model.isTextEditing());
    QCOMPARE(model.textDraft(), QString());
    QCOMPARE(model.document().items.size(), 1);
    const AnnotationItem item = model.document().items.first();
    QCOMPARE(item.text, std::optional<QString>(QStringLiteral("Look here")));
    QCOMPARE(item.points, (QList<NormalizedPoint>{{0.25, 0.5}}));
    QCOMPARE(item.lineWidth, 20.0);
    QCOMPARE(model.selectedItemID(), item.id);
    QCOMPARE(model.tool(), AnnotationTool::select);
    QCOMPARE(model.undoSnapshots().size(), 1);
    QVERIFY(changed.count() > 0);
}

void AnnotationEditorModelTest::retypingText()
{
    AnnotationEditorModel model;
    AnnotationDocument document;
    const AnnotationItem original = textItem("Hello", {0.25, 0.25});
    document.items = {original};
    model.setDocument(document);

    // Double clicks do nothing with other tools.
    model.doubleClicked(QPointF(105, 80), canvas);
    model.pointerReleased(QPointF(105, 80), canvas);
    QVERIFY(!model.isTextEditing());

    model.selectTool(AnnotationTool::select);
    click(model, QPointF(105, 80));
    model.doubleClicked(QPointF(105, 80), canvas);
    model.pointerReleased(QPointF(105, 80), canvas);
    QCOMPARE(model.textEditingContext(), (TextEditingContext{original.id, {0.25, 0.25}}));
    QCOMPARE(model.textDraft(), QStringLiteral("Hello"));
    QCOMPARE(model.hiddenItemID(), original.id);
    QCOMPARE(model.lineWidth(), 6.0);
    QVERIFY(!model.canUndo() && !model.canEditSelectedText());

    // Escape closes the panel and keeps the selection; the item is back.
    model.handleExitCommand();
    QVERIFY(!model.isTextEditing());
    QCOMPARE(model.selectedItemID(), original.id);
    QCOMPARE(model.document(), document);
    model.handleExitCommand();
    QVERIFY(!model.selectedItemID());

    click(model, QPointF(105, 80));
    model.editSelectedText();
    model.applyColor(AnnotationEditorModel::swatches()[2]); // restyles the item at once
    model.setTextDraft(QStringLiteral("Hello again "));
    QVERIFY(model.commitText());
    const AnnotationItem updated = *model.document().item(original.id);
    QCOMPARE(updated.text, std::optional<QString>(QStringLiteral("Hello again")));
    QCOMPARE(updated.color, (AnnotationColor{1, 1, 1, 1}));
    QCOMPARE(model.undoSnapshots().size(), 2);

    // Retyping an item that is gone meanwhile keeps the panel open.
    model.editSelectedText();
    AnnotationDocument without = model.document();
    without.removeItem(original.id);
    model.setDocument(without);
    model.setTextDraft(QStringLiteral("Lost"));
    QVERIFY(!model.commitText());
    QVERIFY(model.isTextEditing());
}

void AnnotationEditorModelTest::textPanelPlacement_data()
{
    QTest::addColumn<NormalizedPoint>("anchor");
    QTest::addColumn<QSizeF>("size");
    QTest::addColumn<double>("width");
    QTest::addColumn<QPointF>("center");
    QTest::newRow("room everywhere") << NormalizedPoint{0.25, 0.5} << QSizeF(800, 600) << 304.0 << QPointF(352, 346);
    QTest::newRow("narrowest panel") << NormalizedPoint{0, 0.5} << QSizeF(400, 600) << 210.0 << QPointF(113, 346);
    QTest::newRow("held off the right edge")
        << NormalizedPoint{0.9, 0.5} << QSizeF(1000, 600) << 330.0 << QPointF(827, 346);
    QTest::newRow("held off the top") << NormalizedPoint{0.5, 0} << QSizeF(1000, 600) << 330.0 << QPointF(665, 54);
    QTest::newRow("held off the bottom") << NormalizedPoint{0.5, 1} << QSizeF(1000, 600) << 330.0 << QPointF(665, 546);
    QTest::newRow("too narrow: right limit wins")
        << NormalizedPoint{0.1, 0.5} << QSizeF(200, 600) << 210.0 << QPointF(200 - 105 - 8, 346);
    QTest::newRow("too low: bottom limit wins") << NormalizedPoint{0.5, 0.5} << QSizeF(1000, 80) << 330.0
                                                << QPointF(665, 26);
}

void AnnotationEditorModelTest::textPanelPlacement()
{
    QFETCH(NormalizedPoint, anchor);
    QFETCH(QSizeF, size);
    QFETCH(double, width);
    QFETCH(QPointF, center);
    const double panelWidth = AnnotationEditorModel::textPanelWidth(size.width());
    QCOMPARE(panelWidth, width);
    QCOMPARE(AnnotationEditorModel::textPanelCenter(anchor, size, panelWidth), center);
}

void AnnotationEditorModelTest::deleteAndEscape()
{
    AnnotationEditorModel model;
    drawArrow(model, QPointF(10, 10), QPointF(200, 10));
    const AnnotationDocument drawn = model.document();
    model.deleteSelectedItem(); // nothing selected
    QCOMPARE(model.document(), drawn);
    QCOMPARE(model.undoSnapshots().size(), 1);

    model.selectTool(AnnotationTool::select);
    click(model, QPointF(100, 10));
    const std::optional<QUuid> selected = model.selectedItemID();
    QVERIFY(selected);

    model.selectTool(AnnotationTool::text); // drops the selection
    QVERIFY(!model.selectedItemID());
    click(model, QPointF(300, 200));
    QVERIFY(model.isTextEditing());
    model.selectTool(AnnotationTool::select); // refused while typing
    QCOMPARE(model.tool(), AnnotationTool::text);
    model.handleExitCommand();
    model.selectTool(AnnotationTool::select);
    click(model, QPointF(100, 10));

    model.beginNewText({0.5, 0.5});
    model.deleteSelectedItem(); // refused while typing
    QCOMPARE(model.document(), drawn);
    model.cancelTextEditing();

    click(model, QPointF(100, 10));
    model.deleteSelectedItem();
    QVERIFY(model.document().items.isEmpty());
    QVERIFY(!model.selectedItemID());
    model.undo();
    QCOMPARE(model.document(), drawn);
}

void AnnotationEditorModelTest::announcesOnlyRealChanges()
{
    AnnotationEditorModel model;
    QSignalSpy state(&model, &AnnotationEditorModel::stateChanged);
    QSignalSpy document(&model, &AnnotationEditorModel::documentChanged);
    model.selectTool(AnnotationTool::arrow);
    model.handleExitCommand();
    model.undo();
    model.applyColor(AnnotationEditorModel::swatches().first());
    QCOMPARE(state.count(), 0);

    drawArrow(model, QPointF(10, 10), QPointF(200, 10));
    QCOMPARE(document.count(), 1);
    QVERIFY(state.count() > 0);
}

QTEST_GUILESS_MAIN(AnnotationEditorModelTest)
#include "tst_annotationeditormodel.moc"

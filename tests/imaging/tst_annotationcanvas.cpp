#include "design/StudioActionButton.h"
#include "design/StudioIconButton.h"
#include "design/StudioText.h"
#include "design/TessalinePrimaryButton.h"
#include "imaging/AnnotationCanvasPainter.h"
#include "imaging/AnnotationCanvasView.h"
#include "imaging/AnnotationEditorModel.h"
#include "imaging/AnnotationEditorView.h"
#include "imaging/AnnotationTextEntryPanel.h"
#include "imaging/AnnotationToolbar.h"
#include "platform/AccessibilitySettings.h"

#include <QColorDialog>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QSlider>
#include <QTest>

using namespace tessaline;

namespace {

const QColor paper(230, 230, 230);

QImage snip()
{
    QImage image(400, 300, QImage::Format_RGB32);
    image.fill(paper);
    return image;
}

// An editor on screen over a plain 400 × 300 snip.
struct Editor
{
    explicit Editor(QSize size = QSize(900, 700), const QImage &picture = snip()) : view(picture, model)
    {
        view.resize(size);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
    }

    AnnotationCanvasView *canvas() const { return view.canvas(); }
    // A point of the snip, given as fractions, in the canvas widget.
    QPoint at(double x, double y) const
    {
        const QRectF fitted = canvas()->fittedRect();
        return (fitted.topLeft() + QPointF(x * fitted.width(), y * fitted.height())).toPoint();
    }
    void drag(QPoint from, QPoint to)
    {
        QTest::mousePress(canvas(), Qt::LeftButton, {}, from);
        const QPoint step = (to - from) / 4;
        for (int i = 1; i < 4; ++i)
            QTest::mouseMove(canvas(), from + step * i);
        QTest::mouseMove(canvas(), to);
        QTest::mouseRelease(canvas(), Qt::LeftButton, {}, to);
    }
    QColor pixel(QPoint point) const { return canvas()->grab().toImage().pixelColor(point); }

    AnnotationEditorModel model;
    AnnotationEditorView view;
};

bool near(const QColor &a, const QColor &b, int tolerance = 6)
{
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance
        && std::abs(a.blue() - b.blue()) <= tolerance;
}

} // namespace

class AnnotationCanvasTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void snipKeepsItsAspectRatio();
    void pictureIsShownSmoothlyScaled_data();
    void pictureIsShownSmoothlyScaled();
    void arrowDragThenMoveAndUndo();
    void textEntryThroughThePanel();
    void panelHidesThePictureUnderIt();
    void panelShowsAtOnceUnderReduceMotion();
    void keyboardDeletesAndEscapes();
    void keptMarksPaintLikeAFreshDrawing();
    void toolbarFollowsTheModel();
    void toolbarWrapsWhenNarrow();
    void customColourPicker();
};

void AnnotationCanvasTest::snipKeepsItsAspectRatio()
{
    QCOMPARE(AnnotationCanvasView::fittedSize(QSizeF(400, 300), QSizeF(1000, 600)), QSizeF(800, 600));
    QCOMPARE(AnnotationCanvasView::fittedSize(QSizeF(400, 300), QSizeF(200, 600)), QSizeF(200, 150));
    QCOMPARE(AnnotationCanvasView::fittedSize(QSizeF(0, 300), QSizeF(200, 600)), QSizeF(200, 600));

    Editor editor;
    const QRectF fitted = editor.canvas()->fittedRect();
    QCOMPARE(fitted.width() / fitted.height(), 4.0 / 3.0);
    QVERIFY(near(editor.pixel(editor.at(0.5, 0.5)), paper, 2));
}

void AnnotationCanvasTest::pictureIsShownSmoothlyScaled_data()
{
    QTest::addColumn<QSize>("pictureSize");
    QTest::newRow("five times as wide as shown") << QSize(4800, 3600);
    QTest::newRow("a 5K capture") << QSize(5120, 2880);
}

// A picture of single-pixel stripes, black and white, averages to a mid
// grey once scaled down smoothly; a sampled scale shows only black or white.
// After a resize, the picture settles at the new size too, under a shadow
// that fades out beside it.
void AnnotationCanvasTest::pictureIsShownSmoothlyScaled()
{
    QFETCH(QSize, pictureSize);
    QImage stripes(pictureSize, QImage::Format_RGB32);
    for (int x = 0; x < stripes.width(); ++x) {
        const QRgb shade = x % 2 ? qRgb(255, 255, 255) : qRgb(0, 0, 0);
        for (int y = 0; y < stripes.height(); ++y)
            stripes.setPixel(x, y, shade);
    }
    Editor editor(QSize(900, 700), stripes);
    const QColor grey(128, 128, 128);
    QTRY_VERIFY_WITH_TIMEOUT(near(editor.pixel(editor.at(0.5, 0.5)), grey, 24), 20000);

    const QRectF first = editor.canvas()->fittedRect();
    editor.view.resize(1200, 600);
    QTRY_VERIFY_WITH_TIMEOUT(editor.canvas()->fittedRect() != first, 20000);
    QTRY_VERIFY_WITH_TIMEOUT(near(editor.pixel(editor.at(0.3, 0.6)), grey, 24), 20000);

    const QImage shown = editor.canvas()->grab().toImage();
    const QRectF fitted = editor.canvas()->fittedRect();
    const QColor background = shown.pixelColor(2, 2);
    // Beside the snip where the canvas leaves the more room: right or above.
    const int right = shown.width() - 1 - int(fitted.right());
    const int above = int(fitted.top());
    QVERIFY(std::max(right, above) > 32);
    const QPoint inShadow = right >= above ? QPoint(int(fitted.right()) + 3, int(fitted.center().y()))
                                       : QPoint(int(fitted.center().x()), above - 3);
    const QPoint far = right >= above ? QPoint(shown.width() - 2, inShadow.y()) : QPoint(inShadow.x(), 1);
    const QColor shadow = shown.pixelColor(inShadow);
    const QColor faded = shown.pixelColor(far);
    QVERIFY2(shadow.lightness() < background.lightness(), qPrintable(shadow.name() + " " + background.name()));
    QVERIFY(near(faded, background, 2));
}

void AnnotationCanvasTest::arrowDragThenMoveAndUndo()
{
    Editor editor;
    editor.drag(editor.at(0.1, 0.5), editor.at(0.6, 0.5));
    QCOMPARE(editor.model.document().items.size(), 1);
    const AnnotationItem arrow = editor.model.document().items.first();
    QCOMPARE(arrow.tool, AnnotationTool::arrow);
    QCOMPARE(arrow.points.size(), 2);
    QVERIFY(std::abs(arrow.points.first().x - 0.1) < 0.01 && std::abs(arrow.points.last().x - 0.6) < 0.01);
    QVERIFY(near(editor.pixel(editor.at(0.35, 0.5)), QColor::fromRgbF(0.96f, 0.29f, 0.27f), 12));
    QVERIFY(editor.view.toolbar()->undoButton()->isEnabled());

    editor.view.toolbar()->toolButton(AnnotationTool::select)->click();
    QCOMPARE(editor.model.tool(), AnnotationTool::select);
    const QRectF fitted = editor.canvas()->fittedRect();
    editor.drag(editor.at(0.35, 0.5), editor.at(0.35, 0.5) + QPoint(0, 60));
    const AnnotationItem moved = *editor.model.document().item(arrow.id);
    QVERIFY(std::abs(moved.points.first().y - (arrow.points.first().y + 60 / fitted.height())) < 1e-9);
    QCOMPARE(editor.model.selectedItemID(), arrow.id);
    QCOMPARE(editor.model.undoSnapshots().size(), 2);
    // The old place is bare again, the new one drawn and outlined.
    QVERIFY(near(editor.pixel(editor.at(0.35, 0.5)), paper, 2));
    QVERIFY(!near(editor.pixel(editor.at(0.35, 0.5) + QPoint(0, 60)), paper, 2));

    editor.view.toolbar()->undoButton()->click();
    QCOMPARE(*editor.model.document().item(arrow.id), arrow);
    QVERIFY(editor.view.toolbar()->redoButton()->isEnabled());
    QVERIFY(near(editor.pixel(editor.at(0.35, 0.5)), QColor::fromRgbF(0.96f, 0.29f, 0.27f), 24));
}

void AnnotationCanvasTest::textEntryThroughThePanel()
{
    Editor editor;
    editor.view.toolbar()->toolButton(AnnotationTool::text)->click();
    const QPoint anchor = editor.at(0.2, 0.3);
    QTest::mouseClick(editor.canvas(), Qt::LeftButton, {}, anchor);
    AnnotationTextEntryPanel *panel = editor.canvas()->textEntryPanel();
    QTRY_VERIFY(panel->isVisible());
    QTRY_VERIFY(panel->field()->hasFocus());
    QCOMPARE(panel->confirmButton()->text(), QStringLiteral("Add"));
    QCOMPARE(panel->hintLabel()->text(), QStringLiteral("Return to add"));
    QVERIFY(!panel->confirmButton()->isEnabled());
    QVERIFY(!editor.view.toolbar()->toolButton(AnnotationTool::arrow)->isEnabled());

    // The panel's body starts at the anchor and hangs 46 points below it.
    const QRect body = panel->geometry().adjusted(AnnotationTextEntryPanel::shadowMargin,
                                                  AnnotationTextEntryPanel::shadowMargin,
                                                  -AnnotationTextEntryPanel::shadowMargin,
                                                  -AnnotationTextEntryPanel::shadowMargin);
    QVERIFY(std::abs(body.left() - anchor.x()) <= 1);
    QVERIFY(std::abs(body.center().y() - (anchor.y() + 46)) <= 1);

    QTest::keyClicks(panel->field(), QStringLiteral("Look"));
    QCOMPARE(editor.model.textDraft(), QStringLiteral("Look"));
    QVERIFY(panel->confirmButton()->isEnabled());
    QTest::keyClick(panel->field(), Qt::Key_Return);
    QCOMPARE(editor.model.document().items.size(), 1);
    QCOMPARE(editor.model.document().items.first().text, std::optional<QString>(QStringLiteral("Look")));
    QCOMPARE(editor.model.tool(), AnnotationTool::select);
    QTRY_VERIFY(!panel->isVisible());

    // Double-clicking the text opens it again with its words, hiding it on
    // the canvas; Escape in the field puts it back unchanged.
    const QPoint onText = anchor + QPoint(8, 8);
    // A double click as the window system delivers it.
    QTest::mouseClick(editor.canvas(), Qt::LeftButton, {}, onText);
    QTest::mouseDClick(editor.canvas(), Qt::LeftButton, {}, onText);
    QTest::mouseRelease(editor.canvas(), Qt::LeftButton, {}, onText);
    QTRY_VERIFY(panel->isVisible());
    QCOMPARE(panel->field()->toPlainText(), QStringLiteral("Look"));
    QCOMPARE(panel->confirmButton()->text(), QStringLiteral("Update"));
    QCOMPARE(panel->hintLabel()->text(), QStringLiteral("Return to update"));
    QTRY_VERIFY(panel->field()->hasFocus());
    QTest::keyClick(panel->field(), Qt::Key_Escape);
    QVERIFY(!editor.model.isTextEditing());
    QCOMPARE(editor.model.document().items.first().text, std::optional<QString>(QStringLiteral("Look")));
}

void AnnotationCanvasTest::panelHidesThePictureUnderIt()
{
    QImage dark(400, 300, QImage::Format_RGB32);
    dark.fill(Qt::black);
    Editor editor(QSize(900, 700), dark);
    editor.model.selectTool(AnnotationTool::text);
    QTest::mouseClick(editor.canvas(), Qt::LeftButton, {}, editor.at(0.2, 0.3));
    AnnotationTextEntryPanel *panel = editor.canvas()->textEntryPanel();
    QTRY_VERIFY(panel->isVisible());
    const QRect body = panel->geometry().adjusted(AnnotationTextEntryPanel::shadowMargin,
                                                  AnnotationTextEntryPanel::shadowMargin,
                                                  -AnnotationTextEntryPanel::shadowMargin,
                                                  -AnnotationTextEntryPanel::shadowMargin);
    // Inside the body, beside the field and the buttons: the panel's own
    // fill and nothing of the black picture.
    const QPoint inside = body.topLeft() + QPoint(5, body.height() / 2);
    QVERIFY(editor.canvas()->fittedRect().contains(inside));
    const QColor fill = panel->palette().color(QPalette::Window);
    QTRY_VERIFY2(near(editor.pixel(inside), fill, 1),
                 qPrintable(editor.pixel(inside).name() + QStringLiteral(" over ") + fill.name()));
}

void AnnotationCanvasTest::panelShowsAtOnceUnderReduceMotion()
{
    AccessibilitySettings::shared().setReducesMotion(true);
    Editor editor;
    editor.model.selectTool(AnnotationTool::text);
    QTest::mouseClick(editor.canvas(), Qt::LeftButton, {}, editor.at(0.5, 0.5));
    QVERIFY(editor.canvas()->textEntryPanel()->isVisible());
    editor.model.cancelTextEditing();
    QVERIFY(!editor.canvas()->textEntryPanel()->isVisible());
    AccessibilitySettings::shared().setReducesMotion(false);
}

void AnnotationCanvasTest::keyboardDeletesAndEscapes()
{
    Editor editor;
    editor.drag(editor.at(0.1, 0.2), editor.at(0.5, 0.2));
    editor.model.selectTool(AnnotationTool::select);
    QTest::mouseClick(editor.canvas(), Qt::LeftButton, {}, editor.at(0.3, 0.2));
    QVERIFY(editor.model.selectedItemID());
    QTest::keyClick(editor.canvas(), Qt::Key_Escape);
    QVERIFY(!editor.model.selectedItemID());

    QTest::mouseClick(editor.canvas(), Qt::LeftButton, {}, editor.at(0.3, 0.2));
    QTest::keyClick(editor.canvas(), Qt::Key_Delete);
    QVERIFY(editor.model.document().items.isEmpty());
    editor.model.undo();
    QCOMPARE(editor.model.document().items.size(), 1);
}

// The canvas keeps the marks under and over the selection as pixmaps; what
// it shows must stay what drawing every mark afresh in order shows.
void AnnotationCanvasTest::keptMarksPaintLikeAFreshDrawing()
{
    Editor editor;
    const QImage bare = editor.canvas()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QRectF fitted = editor.canvas()->fittedRect();
    const auto expected = [&] {
        QImage image = bare;
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
        painter.translate(fitted.topLeft());
        AnnotationCanvasPainter::render(painter, editor.model, fitted.size(),
                                        AnnotationCanvasPainter::Colors::from(editor.canvas()->palette()));
        return image;
    };
    const auto differs = [&] {
        const QImage shown = editor.canvas()->grab().toImage().convertToFormat(QImage::Format_RGB32);
        const QImage wanted = expected();
        int worst = 0;
        for (int y = 0; y < shown.height(); ++y) {
            for (int x = 0; x < shown.width(); ++x) {
                const QRgb a = shown.pixel(x, y);
                const QRgb b = wanted.pixel(x, y);
                worst = std::max({worst, std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                                  std::abs(qBlue(a) - qBlue(b))});
            }
        }
        return worst;
    };

    // Crossing translucent highlights and opaque marks between them.
    editor.model.selectTool(AnnotationTool::highlight);
    editor.drag(editor.at(0.1, 0.3), editor.at(0.8, 0.35));
    editor.model.selectTool(AnnotationTool::arrow);
    editor.drag(editor.at(0.2, 0.1), editor.at(0.5, 0.6));
    editor.model.selectTool(AnnotationTool::highlight);
    editor.drag(editor.at(0.4, 0.1), editor.at(0.45, 0.7));
    editor.model.selectTool(AnnotationTool::pixelate);
    editor.drag(editor.at(0.3, 0.25), editor.at(0.6, 0.5));
    QCOMPARE(editor.model.document().items.size(), 4);
    QVERIFY(differs() <= 2); // rounding of translucent blends

    editor.model.selectTool(AnnotationTool::select);
    editor.drag(editor.at(0.23, 0.15), editor.at(0.23, 0.15) + QPoint(30, 10));
    QCOMPARE(editor.model.selectedItemID(), editor.model.document().items[1].id);
    QVERIFY(differs() <= 2); // rounding of translucent blends

    editor.model.selectTool(AnnotationTool::rectangle);
    editor.drag(editor.at(0.05, 0.05), editor.at(0.9, 0.9));
    QVERIFY(differs() <= 2); // rounding of translucent blends
    editor.model.undo();
    editor.model.undo();
    QVERIFY(differs() <= 2); // rounding of translucent blends
}

void AnnotationCanvasTest::toolbarFollowsTheModel()
{
    Editor editor;
    AnnotationToolbar *toolbar = editor.view.toolbar();
    QVERIFY(toolbar->toolButton(AnnotationTool::arrow)->isSelected());
    QCOMPARE(toolbar->widthSymbol(), QStringLiteral("lineweight"));
    QCOMPARE(toolbar->widthSlider()->toolTip(), QStringLiteral("Stroke width"));
    QCOMPARE(toolbar->widthValueLabel()->text(), QStringLiteral("4"));
    QVERIFY(!toolbar->undoButton()->isEnabled() && !toolbar->redoButton()->isEnabled());
    QVERIFY(toolbar->itemActions()->isHidden());

    toolbar->toolButton(AnnotationTool::pixelate)->click();
    QVERIFY(toolbar->styleControls()->isHidden());
    QVERIFY(!toolbar->pixelateHint()->isHidden());
    toolbar->toolButton(AnnotationTool::text)->click();
    QVERIFY(!toolbar->styleControls()->isHidden());
    QCOMPARE(toolbar->widthSymbol(), QStringLiteral("textformat.size"));
    QCOMPARE(toolbar->widthSlider()->toolTip(), QStringLiteral("Text size"));

    // A width step from the keyboard on a selected item is one undo step.
    toolbar->toolButton(AnnotationTool::arrow)->click();
    editor.drag(editor.at(0.1, 0.2), editor.at(0.5, 0.2));
    toolbar->toolButton(AnnotationTool::select)->click();
    QTest::mouseClick(editor.canvas(), Qt::LeftButton, {}, editor.at(0.3, 0.2));
    QVERIFY(!toolbar->itemActions()->isHidden());
    QVERIFY(toolbar->editTextButton()->isHidden());
    toolbar->widthSlider()->setValue(7);
    QCOMPARE(editor.model.selectedItem()->lineWidth, 7.0);
    QCOMPARE(toolbar->widthValueLabel()->text(), QStringLiteral("7"));
    QCOMPARE(editor.model.undoSnapshots().size(), 2);
}

void AnnotationCanvasTest::toolbarWrapsWhenNarrow()
{
    Editor editor(QSize(1600, 700));
    AnnotationDocument document;
    AnnotationItem text;
    text.id = QUuid::createUuid();
    text.tool = AnnotationTool::text;
    text.points = {{0.5, 0.5}};
    text.lineWidth = 4;
    text.text = QStringLiteral("Words");
    document.items = {text};
    editor.model.setDocument(document);
    editor.model.selectTool(AnnotationTool::select);
    QTest::mouseClick(editor.canvas(), Qt::LeftButton, {}, editor.at(0.5, 0.5) + QPoint(4, 4));
    QVERIFY(editor.model.selectedItemID());
    QVERIFY(editor.view.toolbar()->isSingleRow());
    editor.view.resize(720, 700);
    QTRY_VERIFY(!editor.view.toolbar()->isSingleRow());
    // Tools and history share the first row, the style controls go below.
    AnnotationToolbar *toolbar = editor.view.toolbar();
    const auto top = [toolbar](QWidget *widget) { return widget->mapTo(toolbar, QPoint(0, 0)).y(); };
    QTRY_VERIFY(top(toolbar->widthSlider()) > top(toolbar->toolButton(AnnotationTool::select)) + 20);
    QVERIFY(std::abs(top(toolbar->toolButton(AnnotationTool::select)) - top(toolbar->undoButton())) < 12);
    QVERIFY(top(toolbar->deleteButton()) > top(toolbar->undoButton()) + 20);
}

void AnnotationCanvasTest::customColourPicker()
{
    Editor editor;
    editor.drag(editor.at(0.1, 0.2), editor.at(0.5, 0.2));
    editor.view.toolbar()->toolButton(AnnotationTool::select)->click();
    QTest::mouseClick(editor.canvas(), Qt::LeftButton, {}, editor.at(0.3, 0.2));
    const qsizetype steps = editor.model.undoSnapshots().size();

    const auto buttons = editor.view.toolbar()->findChildren<StudioIconButton *>();
    const auto palette = std::find_if(buttons.begin(), buttons.end(), [](StudioIconButton *button) {
        return button->systemImage() == u"paintpalette";
    });
    QVERIFY(palette != buttons.end());
    (*palette)->click();
    QVERIFY(editor.model.showsCustomColorPicker());
    QWidget *popover = editor.view.toolbar()->customColorPopover();
    QVERIFY(popover && popover->isVisible());
    // Opening the picker changes nothing by itself.
    QCOMPARE(editor.model.undoSnapshots().size(), steps);

    auto *picker = popover->findChild<QColorDialog *>();
    QVERIFY(picker);
    picker->setCurrentColor(QColor(0, 102, 255));
    for (const AnnotationColor &color : {editor.model.color(), editor.model.selectedItem()->color}) {
        QCOMPARE(color.red, 0.0);
        QVERIFY(std::abs(color.green - 0.4) < 1e-6);
        QCOMPARE(color.blue, 1.0);
        QCOMPARE(color.alpha, 1.0);
    }
    QCOMPARE(editor.model.undoSnapshots().size(), steps + 1);

    popover->hide();
    QVERIFY(!editor.model.showsCustomColorPicker());

    // Escape inside the picker closes the popover, and the picker is there
    // again when it reopens.
    (*palette)->click();
    QTRY_VERIFY(popover->isVisible());
    QTest::keyClick(picker, Qt::Key_Escape);
    QTRY_VERIFY(!popover->isVisible());
    QVERIFY(!editor.model.showsCustomColorPicker());
    (*palette)->click();
    QTRY_VERIFY(popover->isVisible());
    QVERIFY(picker->isVisible());
    popover->hide();
}

QTEST_MAIN(AnnotationCanvasTest)
#include "tst_annotationcanvas.moc"

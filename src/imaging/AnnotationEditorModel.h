#pragma once

#include "model/AnnotationDocument.h"

#include <QList>
#include <QObject>
#include <QPointF>
#include <QSizeF>
#include <QString>
#include <QUuid>

#include <optional>

namespace tessaline {

// The open text entry: the text item being retyped (none while a new one is
// typed) and where the text stands, its top-left corner.
struct TextEditingContext
{
    std::optional<QUuid> itemID;
    NormalizedPoint point;

    friend bool operator==(const TextEditingContext &, const TextEditingContext &) = default;
};

// Everything the annotation editor knows apart from pixels: the document
// being edited, the tool, colour and width of new marks, the selection, the
// stroke being dragged, the text entry and the undo history of whole-document
// snapshots. The editor's widgets draw this state and forward the pointer and
// keys to it; every rule lives here so it can be checked without a screen.
//
// Pointer positions are in canvas coordinates: points of the displayed image,
// origin at its top-left corner, with `size` the displayed size.
class AnnotationEditorModel : public QObject
{
    Q_OBJECT
public:
    static constexpr int undoLimit = 60;
    static constexpr double hitTolerance = 8;
    static constexpr double swatchTolerance = 0.015;
    static constexpr double defaultLineWidth = 4;
    static constexpr double highlightAlphaCap = 0.38;

    explicit AnnotationEditorModel(QObject *parent = nullptr);

    // The colour buttons, in toolbar order: Coral, Yellow, White, Black.
    static const QList<AnnotationColor> &swatches();
    // Names a colour after the nearest swatch; anything not near coral,
    // yellow or white is "Black". Alpha is not looked at.
    static QString swatchName(const AnnotationColor &color);
    // Whether the swatch is the current colour: red, green and blue each
    // within the tolerance, alpha ignored.
    static bool matchesSwatch(const AnnotationColor &swatch, const AnnotationColor &color);

    // A point of the canvas as fractions of its size, each clamped to 0...1;
    // an axis of zero length gives 0.
    static NormalizedPoint normalized(QPointF location, QSizeF size);
    static QPointF toCanvas(const NormalizedPoint &point, QSizeF size);

    // The text-entry panel: its width for a canvas of width W, and where its
    // centre goes for a panel of that width.
    static double textPanelWidth(double canvasWidth);
    static QPointF textPanelCenter(const NormalizedPoint &anchor, QSizeF size, double panelWidth);

    // The document being edited. Setting it is what the host does when it
    // loads a card; the history is left alone.
    const AnnotationDocument &document() const { return m_document; }
    void setDocument(const AnnotationDocument &document);

    AnnotationTool tool() const { return m_tool; }
    AnnotationColor color() const { return m_color; }
    double lineWidth() const { return m_lineWidth; }
    const QList<NormalizedPoint> &workingPoints() const { return m_workingPoints; }
    std::optional<QUuid> selectedItemID() const { return m_selectedItemID; }
    const QList<AnnotationDocument> &undoSnapshots() const { return m_undoSnapshots; }
    const QList<AnnotationDocument> &redoSnapshots() const { return m_redoSnapshots; }
    std::optional<TextEditingContext> textEditingContext() const { return m_textEditingContext; }
    bool isTextEditing() const { return m_textEditingContext.has_value(); }
    QString textDraft() const { return m_textDraft; }
    void setTextDraft(const QString &text);
    bool isTextEditorFocused() const { return m_textEditorFocused; }
    void setTextEditorFocused(bool focused);
    bool showsCustomColorPicker() const { return m_showsCustomColorPicker; }
    void setShowsCustomColorPicker(bool shows);
    std::optional<AnnotationDocument> styleChangeOrigin() const { return m_styleChangeOrigin; }
    bool selectionDragStarted() const { return m_selectionDragStarted; }
    bool selectionDidMove() const { return m_selectionDidMove; }

    // Derived on every call.
    std::optional<AnnotationItem> selectedItem() const;
    // Colour and width controls show unless the selected item's tool (or the
    // current tool, with nothing selected) is select or pixelate.
    bool showsStyleControls() const;
    // The pixelate tool with nothing selected shows a hint instead.
    bool showsPixelateHint() const;
    // The width control speaks of text size.
    bool isTextSizing() const;
    double displayedLineWidth() const;
    // The slider: sets the width of new marks and restyles the selected item
    // without recording an undo step; the end of the drag records it.
    void setDisplayedLineWidth(double width);
    bool canUndo() const { return !m_undoSnapshots.isEmpty() && !isTextEditing(); }
    bool canRedo() const { return !m_redoSnapshots.isEmpty() && !isTextEditing(); }
    bool canEditSelectedText() const;
    // The stroke being dragged as an item, for the canvas to preview.
    std::optional<AnnotationItem> previewItem() const;
    // The item the canvas hides while its text is being retyped.
    std::optional<QUuid> hiddenItemID() const;

    // Toolbar and keyboard.
    void selectTool(AnnotationTool tool);
    void deleteSelectedItem();
    void handleExitCommand();
    void editSelectedText();
    void undo();
    void redo();
    void pushUndoSnapshot(const AnnotationDocument &previous);
    void syncStyleFromSelection();
    void applyColor(const AnnotationColor &color);
    void lineWidthEditingChanged(bool isEditing);

    // The pointer as the canvas reports it. A drag is recognised once it has
    // gone `dragMinimumDistance()` from where it began (at once for the
    // select and text tools), and only a recognised drag ends.
    double dragMinimumDistance() const;
    void pointerPressed(QPointF location, QSizeF size);
    void pointerMoved(QPointF location, QSizeF size);
    void pointerReleased(QPointF location, QSizeF size);
    void doubleClicked(QPointF location, QSizeF size);

    // The drag's reactions, by tool.
    void handleDragChanged(QPointF startLocation, QPointF location, QSizeF size);
    void handleSelectionDrag(QPointF startLocation, QPointF translation, QSizeF size);
    void handleDragEnded(QPointF location, QSizeF size);
    void finishSelectionDrag();
    bool shouldCommitStroke(QSizeF size) const;
    void commitStroke(QSizeF size);
    void handleDoubleClick(QPointF location, QSizeF size);

    // Text entry.
    void beginNewText(const NormalizedPoint &point);
    // False when nothing was committed and the panel stays open.
    bool commitText();
    void cancelTextEditing();
    bool canCommitText() const;

Q_SIGNALS:
    // The document differs from what it was.
    void documentChanged();
    // Anything the toolbar or the canvas shows has changed.
    void stateChanged();

private:
    class ChangeNotice;
    struct Observed;
    Observed observed() const;

    std::optional<QUuid> hitItem(QPointF location, QSizeF size) const;
    void requestTextEditorFocus();
    AnnotationItem strokeItem(const QUuid &id) const;

    AnnotationDocument m_document;
    AnnotationTool m_tool = AnnotationTool::arrow;
    AnnotationColor m_color;
    double m_lineWidth = defaultLineWidth;
    QList<NormalizedPoint> m_workingPoints;
    std::optional<QUuid> m_selectedItemID;
    QList<AnnotationDocument> m_undoSnapshots;
    QList<AnnotationDocument> m_redoSnapshots;
    std::optional<TextEditingContext> m_textEditingContext;
    QString m_textDraft;
    bool m_selectionDragStarted = false;
    std::optional<AnnotationItem> m_selectionDragOriginalItem;
    std::optional<AnnotationDocument> m_selectionDragOriginDocument;
    bool m_selectionDidMove = false;
    std::optional<AnnotationDocument> m_styleChangeOrigin;
    bool m_showsCustomColorPicker = false;
    bool m_textEditorFocused = false;

    // The pointer between press and release.
    std::optional<QPointF> m_pressLocation;
    QPointF m_lastPointerLocation;
    bool m_dragRecognized = false;
    bool m_pendingDoubleClick = false;

    int m_noticeDepth = 0;
};

} // namespace tessaline

#include "imaging/AnnotationEditorModel.h"

#include "platform/TextUtilities.h"

#include <QTimer>

#include <algorithm>
#include <cmath>
#include <utility>

namespace tessaline {

namespace {

constexpr double minimumStoredWidth = 1;
constexpr double maximumStoredWidth = 20;
// Drawing tools wait for this much movement so that a plain click is no stroke.
constexpr double drawingDragThreshold = 2;
constexpr double selectionMoveThreshold = 1;
constexpr double panelEdgeMargin = 8;
constexpr double panelAnchorDrop = 46;
constexpr double panelVerticalLimit = 54;

AnnotationColor coral() { return {0.96, 0.29, 0.27, 1.0}; }

AnnotationColor opaque(const AnnotationColor &color) { return {color.red, color.green, color.blue, 1.0}; }

AnnotationColor cappedForTool(AnnotationColor color, AnnotationTool tool)
{
    if (tool == AnnotationTool::highlight)
        color.alpha = std::clamp(std::min(color.alpha, AnnotationEditorModel::highlightAlphaCap), 0.0, 1.0);
    return color;
}

} // namespace

// What the widgets show. Compared before and after each operation so that
// listeners hear about real changes only.
struct AnnotationEditorModel::Observed
{
    AnnotationDocument document;
    AnnotationTool tool;
    AnnotationColor color;
    double lineWidth;
    QList<NormalizedPoint> workingPoints;
    std::optional<QUuid> selectedItemID;
    qsizetype undoCount;
    qsizetype redoCount;
    std::optional<TextEditingContext> textEditingContext;
    QString textDraft;
    bool textEditorFocused;
    bool showsCustomColorPicker;

    bool sameStateAs(const Observed &other) const
    {
        return tool == other.tool && color == other.color && lineWidth == other.lineWidth
            && workingPoints == other.workingPoints && selectedItemID == other.selectedItemID
            && undoCount == other.undoCount && redoCount == other.redoCount
            && textEditingContext == other.textEditingContext && textDraft == other.textDraft
            && textEditorFocused == other.textEditorFocused && showsCustomColorPicker == other.showsCustomColorPicker;
    }
};

// Operations call each other; only the outermost one announces the change.
class AnnotationEditorModel::ChangeNotice
{
public:
    explicit ChangeNotice(AnnotationEditorModel *model) : m_model(model)
    {
        if (m_model->m_noticeDepth++ == 0)
            m_before = m_model->observed();
    }
    ~ChangeNotice()
    {
        if (--m_model->m_noticeDepth != 0 || !m_before)
            return;
        const Observed after = m_model->observed();
        const bool documentChanged = !(after.document == m_before->document);
        if (documentChanged)
            Q_EMIT m_model->documentChanged();
        if (documentChanged || !after.sameStateAs(*m_before))
            Q_EMIT m_model->stateChanged();
    }
    ChangeNotice(const ChangeNotice &) = delete;
    ChangeNotice &operator=(const ChangeNotice &) = delete;

private:
    AnnotationEditorModel *m_model;
    std::optional<Observed> m_before;
};

AnnotationEditorModel::AnnotationEditorModel(QObject *parent) : QObject(parent), m_color(coral()) {}

AnnotationEditorModel::Observed AnnotationEditorModel::observed() const
{
    return {m_document,         m_tool,
            m_color,            m_lineWidth,
            m_workingPoints,    m_selectedItemID,
            m_undoSnapshots.size(), m_redoSnapshots.size(),
            m_textEditingContext, m_textDraft,
            m_textEditorFocused, m_showsCustomColorPicker};
}

const QList<AnnotationColor> &AnnotationEditorModel::swatches()
{
    static const QList<AnnotationColor> list{
        coral(),
        {1.0, 0.78, 0.12, 0.42},
        {1.0, 1.0, 1.0, 1.0},
        {0.05, 0.05, 0.05, 1.0},
    };
    return list;
}

QString AnnotationEditorModel::swatchName(const AnnotationColor &color)
{
    const auto near = [](double value, double target) { return std::abs(value - target) <= swatchTolerance; };
    if (near(color.red, 0.96) && near(color.green, 0.29) && near(color.blue, 0.27))
        return QStringLiteral("Coral");
    if (!near(color.red, 1.0))
        return QStringLiteral("Black");
    if (near(color.green, 0.78) && near(color.blue, 0.12))
        return QStringLiteral("Yellow");
    if (near(color.green, 1.0) && near(color.blue, 1.0))
        return QStringLiteral("White");
    return QStringLiteral("Black");
}

bool AnnotationEditorModel::matchesSwatch(const AnnotationColor &swatch, const AnnotationColor &color)
{
    return std::abs(swatch.red - color.red) <= swatchTolerance && std::abs(swatch.green - color.green) <= swatchTolerance
        && std::abs(swatch.blue - color.blue) <= swatchTolerance;
}

NormalizedPoint AnnotationEditorModel::normalized(QPointF location, QSizeF size)
{
    const double x = size.width() > 0 ? location.x() / size.width() : 0;
    const double y = size.height() > 0 ? location.y() / size.height() : 0;
    return {std::clamp(x, 0.0, 1.0), std::clamp(y, 0.0, 1.0)};
}

QPointF AnnotationEditorModel::toCanvas(const NormalizedPoint &point, QSizeF size)
{
    return QPointF(point.x * size.width(), point.y * size.height());
}

double AnnotationEditorModel::textPanelWidth(double canvasWidth)
{
    return std::min(std::max(canvasWidth * 0.38, 210.0), 330.0);
}

QPointF AnnotationEditorModel::textPanelCenter(const NormalizedPoint &anchor, QSizeF size, double panelWidth)
{
    const double width = size.width();
    const double height = size.height();
    // Where both limits of an axis cannot hold, the far one wins.
    const double x = std::min(std::max(anchor.x * width + panelWidth / 2, panelWidth / 2 + panelEdgeMargin),
                              width - panelWidth / 2 - panelEdgeMargin);
    const double y = std::min(std::max(anchor.y * height + panelAnchorDrop, panelVerticalLimit),
                              height - panelVerticalLimit);
    return QPointF(x, y);
}

void AnnotationEditorModel::setDocument(const AnnotationDocument &document)
{
    ChangeNotice notice(this);
    m_document = document;
}

void AnnotationEditorModel::setTextDraft(const QString &text)
{
    ChangeNotice notice(this);
    m_textDraft = text;
}

void AnnotationEditorModel::setTextEditorFocused(bool focused)
{
    ChangeNotice notice(this);
    m_textEditorFocused = focused;
}

void AnnotationEditorModel::setShowsCustomColorPicker(bool shows)
{
    ChangeNotice notice(this);
    m_showsCustomColorPicker = shows;
}

std::optional<AnnotationItem> AnnotationEditorModel::selectedItem() const
{
    return m_document.item(m_selectedItemID);
}

bool AnnotationEditorModel::showsStyleControls() const
{
    const std::optional<AnnotationItem> selected = selectedItem();
    const AnnotationTool governing = selected ? selected->tool : m_tool;
    return governing != AnnotationTool::select && governing != AnnotationTool::pixelate;
}

bool AnnotationEditorModel::showsPixelateHint() const
{
    return !showsStyleControls() && m_tool == AnnotationTool::pixelate;
}

bool AnnotationEditorModel::isTextSizing() const
{
    if (const std::optional<AnnotationItem> selected = selectedItem())
        return selected->tool == AnnotationTool::text;
    return m_tool == AnnotationTool::text;
}

double AnnotationEditorModel::displayedLineWidth() const
{
    if (const std::optional<AnnotationItem> selected = selectedItem())
        return selected->lineWidth;
    return m_lineWidth;
}

void AnnotationEditorModel::setDisplayedLineWidth(double width)
{
    ChangeNotice notice(this);
    m_lineWidth = width;
    if (!m_selectedItemID)
        return;
    if (!m_styleChangeOrigin)
        m_styleChangeOrigin = m_document;
    AnnotationDocument changed = m_document;
    changed.updateStyle(std::nullopt, width, *m_selectedItemID);
    m_document = changed;
}

bool AnnotationEditorModel::canEditSelectedText() const
{
    const std::optional<AnnotationItem> selected = selectedItem();
    return selected && selected->tool == AnnotationTool::text && !isTextEditing();
}

std::optional<AnnotationItem> AnnotationEditorModel::previewItem() const
{
    if (m_workingPoints.isEmpty())
        return std::nullopt;
    return strokeItem(QUuid::createUuid());
}

std::optional<QUuid> AnnotationEditorModel::hiddenItemID() const
{
    return m_textEditingContext ? m_textEditingContext->itemID : std::nullopt;
}

AnnotationItem AnnotationEditorModel::strokeItem(const QUuid &id) const
{
    AnnotationItem item;
    item.id = id;
    item.tool = m_tool;
    item.points = m_workingPoints;
    item.color = cappedForTool(m_color, m_tool);
    item.lineWidth = m_lineWidth;
    return item;
}

void AnnotationEditorModel::selectTool(AnnotationTool tool)
{
    if (isTextEditing())
        return;
    ChangeNotice notice(this);
    m_tool = tool;
    m_workingPoints.clear();
    m_selectedItemID.reset();
}

void AnnotationEditorModel::deleteSelectedItem()
{
    if (isTextEditing() || !m_selectedItemID)
        return;
    ChangeNotice notice(this);
    const AnnotationDocument previous = m_document;
    AnnotationDocument changed = m_document;
    if (!changed.removeItem(*m_selectedItemID))
        return;
    m_document = changed;
    m_selectedItemID.reset();
    pushUndoSnapshot(previous);
}

void AnnotationEditorModel::handleExitCommand()
{
    ChangeNotice notice(this);
    if (isTextEditing()) {
        cancelTextEditing();
        return;
    }
    m_selectedItemID.reset();
}

void AnnotationEditorModel::editSelectedText()
{
    const std::optional<AnnotationItem> item = selectedItem();
    if (!item || item->tool != AnnotationTool::text || item->points.isEmpty())
        return;
    ChangeNotice notice(this);
    m_color = opaque(item->color);
    m_lineWidth = item->lineWidth;
    m_textDraft = item->text.value_or(QString());
    m_textEditingContext = TextEditingContext{item->id, item->points.first()};
    requestTextEditorFocus();
}

void AnnotationEditorModel::requestTextEditorFocus()
{
    // The panel is built on this turn of the event loop; focus can only land
    // once it exists.
    QTimer::singleShot(0, this, [this] {
        if (isTextEditing())
            setTextEditorFocused(true);
    });
}

void AnnotationEditorModel::pushUndoSnapshot(const AnnotationDocument &previous)
{
    if (previous == m_document)
        return;
    ChangeNotice notice(this);
    m_undoSnapshots.append(previous);
    if (m_undoSnapshots.size() > undoLimit)
        m_undoSnapshots.remove(0, m_undoSnapshots.size() - undoLimit);
    m_redoSnapshots.clear();
}

void AnnotationEditorModel::undo()
{
    if (m_undoSnapshots.isEmpty())
        return;
    ChangeNotice notice(this);
    m_redoSnapshots.append(m_document);
    m_document = m_undoSnapshots.takeLast();
    if (m_selectedItemID && !m_document.item(m_selectedItemID))
        m_selectedItemID.reset();
    syncStyleFromSelection();
}

void AnnotationEditorModel::redo()
{
    if (m_redoSnapshots.isEmpty())
        return;
    ChangeNotice notice(this);
    m_undoSnapshots.append(m_document);
    m_document = m_redoSnapshots.takeLast();
    if (m_selectedItemID && !m_document.item(m_selectedItemID))
        m_selectedItemID.reset();
    syncStyleFromSelection();
}

void AnnotationEditorModel::syncStyleFromSelection()
{
    const std::optional<AnnotationItem> item = selectedItem();
    if (!item)
        return;
    ChangeNotice notice(this);
    m_color = opaque(item->color);
    m_lineWidth = item->lineWidth;
}

void AnnotationEditorModel::applyColor(const AnnotationColor &color)
{
    ChangeNotice notice(this);
    m_color = opaque(color);
    if (!m_selectedItemID)
        return;
    const AnnotationDocument previous = m_document;
    AnnotationDocument changed = m_document;
    if (!changed.updateStyle(color, std::nullopt, *m_selectedItemID))
        return;
    m_document = changed;
    pushUndoSnapshot(previous);
}

void AnnotationEditorModel::lineWidthEditingChanged(bool isEditing)
{
    if (!m_selectedItemID)
        return;
    ChangeNotice notice(this);
    if (isEditing) {
        if (!m_styleChangeOrigin)
            m_styleChangeOrigin = m_document;
        return;
    }
    if (const std::optional<AnnotationDocument> origin = std::exchange(m_styleChangeOrigin, std::nullopt))
        pushUndoSnapshot(*origin);
}

double AnnotationEditorModel::dragMinimumDistance() const
{
    return m_tool == AnnotationTool::select || m_tool == AnnotationTool::text ? 0 : drawingDragThreshold;
}

void AnnotationEditorModel::pointerPressed(QPointF location, QSizeF size)
{
    // A press whose release never came (the pointer was taken away) ends
    // where it was last seen, so its drag state cannot leak into this one.
    if (m_pressLocation && m_dragRecognized)
        handleDragEnded(m_lastPointerLocation, size);
    m_pressLocation = location;
    m_lastPointerLocation = location;
    m_pendingDoubleClick = false;
    m_dragRecognized = dragMinimumDistance() <= 0;
    if (m_dragRecognized)
        handleDragChanged(location, location, size);
}

void AnnotationEditorModel::pointerMoved(QPointF location, QSizeF size)
{
    if (!m_pressLocation)
        return;
    m_lastPointerLocation = location;
    if (!m_dragRecognized) {
        const QPointF delta = location - *m_pressLocation;
        m_dragRecognized = std::hypot(delta.x(), delta.y()) >= dragMinimumDistance();
    }
    if (m_dragRecognized)
        handleDragChanged(*m_pressLocation, location, size);
}

void AnnotationEditorModel::pointerReleased(QPointF location, QSizeF size)
{
    if (!m_pressLocation)
        return;
    const QPointF pressed = *m_pressLocation;
    const bool recognized = m_dragRecognized;
    const bool doubleClick = m_pendingDoubleClick;
    m_pressLocation.reset();
    m_dragRecognized = false;
    m_pendingDoubleClick = false;
    if (recognized)
        handleDragEnded(location, size);
    if (doubleClick)
        handleDoubleClick(pressed, size);
}

void AnnotationEditorModel::doubleClicked(QPointF location, QSizeF size)
{
    // The second press of a double click is still a press for the drag.
    pointerPressed(location, size);
    m_pendingDoubleClick = true;
}

void AnnotationEditorModel::handleDragChanged(QPointF startLocation, QPointF location, QSizeF size)
{
    if (isTextEditing())
        return;
    ChangeNotice notice(this);
    switch (m_tool) {
    case AnnotationTool::freehand:
    case AnnotationTool::highlight:
        // Only the drag's own changes make the stroke: a press followed by a
        // single twitch stays one point, which the commit test refuses.
        m_workingPoints.append(normalized(location, size));
        break;
    case AnnotationTool::text:
        break;
    case AnnotationTool::select:
        handleSelectionDrag(startLocation, location - startLocation, size);
        break;
    case AnnotationTool::arrow:
    case AnnotationTool::rectangle:
    case AnnotationTool::pixelate: {
        const NormalizedPoint current = normalized(location, size);
        if (m_workingPoints.isEmpty())
            m_workingPoints = {normalized(startLocation, size), current};
        else if (m_workingPoints.size() == 1)
            m_workingPoints.append(current);
        else
            m_workingPoints[1] = current;
        break;
    }
    }
}

void AnnotationEditorModel::handleSelectionDrag(QPointF startLocation, QPointF translation, QSizeF size)
{
    ChangeNotice notice(this);
    if (!m_selectionDragStarted) {
        m_selectionDragStarted = true;
        m_selectedItemID = hitItem(startLocation, size);
        m_selectionDragOriginalItem = m_document.item(m_selectedItemID);
        m_selectionDragOriginDocument =
            m_selectionDragOriginalItem ? std::optional<AnnotationDocument>(m_document) : std::nullopt;
        m_selectionDidMove = false;
        syncStyleFromSelection();
    }
    if (!m_selectionDragOriginalItem || size.width() <= 0 || size.height() <= 0
        || std::hypot(translation.x(), translation.y()) < selectionMoveThreshold)
        return;
    m_selectionDidMove = true;
    // Always relative to where the item was when the drag began, so rounding
    // never accumulates over the steps of one drag.
    const AnnotationItem moved = m_selectionDragOriginalItem->translated(translation.x() / size.width(),
                                                                         translation.y() / size.height());
    AnnotationDocument changed = m_document;
    if (changed.replaceItem(moved))
        m_document = changed;
}

void AnnotationEditorModel::handleDragEnded(QPointF location, QSizeF size)
{
    if (isTextEditing())
        return;
    switch (m_tool) {
    case AnnotationTool::text:
        beginNewText(normalized(location, size));
        break;
    case AnnotationTool::select:
        finishSelectionDrag();
        break;
    default:
        commitStroke(size);
        break;
    }
}

void AnnotationEditorModel::finishSelectionDrag()
{
    ChangeNotice notice(this);
    if (m_selectionDidMove && m_selectionDragOriginDocument)
        pushUndoSnapshot(*m_selectionDragOriginDocument);
    m_selectionDragStarted = false;
    m_selectionDragOriginalItem.reset();
    m_selectionDragOriginDocument.reset();
    m_selectionDidMove = false;
}

bool AnnotationEditorModel::shouldCommitStroke(QSizeF size) const
{
    if (m_workingPoints.isEmpty())
        return false;
    const QPointF first = toCanvas(m_workingPoints.first(), size);
    auto reaches = [&first](QPointF point, double threshold) {
        return std::hypot(point.x() - first.x(), point.y() - first.y()) >= threshold;
    };
    if (m_tool == AnnotationTool::freehand || m_tool == AnnotationTool::highlight) {
        // A closed loop ends where it began; only a stroke that never left
        // its first point is a slip of the hand.
        return std::any_of(m_workingPoints.cbegin(), m_workingPoints.cend(),
                           [&](const NormalizedPoint &point) { return reaches(toCanvas(point, size), 1); });
    }
    return reaches(toCanvas(m_workingPoints.last(), size), 2);
}

void AnnotationEditorModel::commitStroke(QSizeF size)
{
    ChangeNotice notice(this);
    if (shouldCommitStroke(size)) {
        const AnnotationDocument previous = m_document;
        m_document.items.append(strokeItem(QUuid::createUuid()));
        m_selectedItemID.reset();
        pushUndoSnapshot(previous);
    }
    m_workingPoints.clear();
}

void AnnotationEditorModel::handleDoubleClick(QPointF location, QSizeF size)
{
    if (m_tool != AnnotationTool::select || isTextEditing())
        return;
    const std::optional<QUuid> hit = hitItem(location, size);
    if (!hit)
        return;
    const std::optional<AnnotationItem> item = m_document.item(hit);
    if (!item || item->tool != AnnotationTool::text)
        return;
    ChangeNotice notice(this);
    m_selectedItemID = hit;
    syncStyleFromSelection();
    editSelectedText();
}

std::optional<QUuid> AnnotationEditorModel::hitItem(QPointF location, QSizeF size) const
{
    // The topmost item is the last one drawn.
    for (auto it = m_document.items.crbegin(); it != m_document.items.crend(); ++it) {
        if (it->hitTest(location, size, hitTolerance))
            return it->id;
    }
    return std::nullopt;
}

void AnnotationEditorModel::beginNewText(const NormalizedPoint &point)
{
    ChangeNotice notice(this);
    m_selectedItemID.reset();
    m_textDraft.clear();
    m_textEditingContext = TextEditingContext{std::nullopt, point};
    requestTextEditorFocus();
}

bool AnnotationEditorModel::canCommitText() const
{
    return isTextEditing() && !trimmedWhitespace(m_textDraft).isEmpty();
}

bool AnnotationEditorModel::commitText()
{
    if (!m_textEditingContext)
        return false;
    const QString text = trimmedWhitespace(m_textDraft);
    if (text.isEmpty())
        return false;
    ChangeNotice notice(this);
    const AnnotationDocument previous = m_document;
    const TextEditingContext context = *m_textEditingContext;
    if (!context.itemID) {
        AnnotationItem item;
        item.id = QUuid::createUuid();
        item.tool = AnnotationTool::text;
        item.points = {context.point};
        item.color = m_color;
        item.lineWidth = std::clamp(m_lineWidth, minimumStoredWidth, maximumStoredWidth);
        item.text = text;
        m_document.items.append(item);
        m_selectedItemID = item.id;
        m_tool = AnnotationTool::select;
    } else {
        AnnotationDocument changed = m_document;
        if (!changed.updateText(text, *context.itemID))
            return false;
        changed.updateStyle(m_color, m_lineWidth, *context.itemID);
        m_document = changed;
        m_selectedItemID = context.itemID;
    }
    m_textEditingContext.reset();
    m_textDraft.clear();
    m_textEditorFocused = false;
    pushUndoSnapshot(previous);
    return true;
}

void AnnotationEditorModel::cancelTextEditing()
{
    ChangeNotice notice(this);
    m_textEditingContext.reset();
    m_textDraft.clear();
    m_textEditorFocused = false;
}

} // namespace tessaline

#include "notes/BoardWritingSurface.h"

#include "runtime/NavigationState.h"
#include "design/DesignEnvironment.h"
#include "design/QuietCard.h"
#include "design/SemanticColors.h"
#include "model/CanvasCard.h"
#include "notes/BoardMissingWritingReferenceView.h"
#include "notes/BoardWritingReferenceView.h"
#include "runtime/GuidedTourTarget.h"
#include "runtime/SnipImageCache.h"
#include "notes/WritingParagraphEditor.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QEasingCurve>
#include <QFocusEvent>
#include <QGraphicsOpacityEffect>
#include <QLayout>
#include <QMimeData>
#include <QPainter>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QSet>
#include <QElapsedTimer>
#include <QTimer>
#include <QVariantAnimation>

#include <algorithm>
#include <cmath>
#include <utility>

namespace tessaline {

namespace {

// How far an entering row travels down into place.
constexpr int entranceOffset = 16;

QStringList droppedTexts(const QMimeData *data)
{
    if (!data || !data->hasText())
        return {};
    return {data->text()};
}

QMargins shadowRoom(QWidget *row)
{
    if (auto *card = qobject_cast<QuietCard *>(row)) {
        const QMarginsF room = quietCardShadowMargins(card->elevation());
        return QMargins(int(std::ceil(room.left())), int(std::ceil(room.top())), int(std::ceil(room.right())),
                        int(std::ceil(room.bottom())));
    }
    return {};
}

// Fades a row in or out while it glides. Qt's own opacity effect draws the
// row again at every frame, since each move of the row invalidates what it
// rendered: a card with its picture, border and shadow a dozen times while
// a capture arrives. A still row (a card, or any row on its way out) shows
// nothing new meanwhile, so its first rendering serves every frame; a
// paragraph coming in may already be typed into, and is drawn afresh.
class RowFade : public QGraphicsOpacityEffect
{
public:
    RowFade(qreal opacity, bool still, QObject *parent) : QGraphicsOpacityEffect(parent), m_still(still)
    {
        setOpacity(opacity);
    }

protected:
    void draw(QPainter *painter) override
    {
        const qreal fade = opacity();
        if (!m_still || fade <= 0 || fade >= 1) {
            QGraphicsOpacityEffect::draw(painter);
            return;
        }
        if (m_rendering.isNull())
            m_rendering = sourcePixmap(Qt::LogicalCoordinates, &m_offset, QGraphicsEffect::NoPad);
        painter->save();
        painter->setOpacity(painter->opacity() * fade);
        painter->drawPixmap(m_offset, m_rendering);
        painter->restore();
    }

    void sourceChanged(ChangeFlags flags) override
    {
        if (flags & (SourceBoundingRectChanged | SourceDetached))
            m_rendering = QPixmap();
        QGraphicsOpacityEffect::sourceChanged(flags);
    }

private:
    const bool m_still;
    QPixmap m_rendering;
    QPoint m_offset;
};

} // namespace

// The page under the scroll area: it places the rows itself, so a card's
// shadow can reach past its slot and a hovered card never shifts its
// neighbours, and it animates changes of the block list.
class BoardWritingSurface::Page : public QWidget
{
public:
    explicit Page(BoardWritingSurface *surface)
        : QWidget(surface)
        , m_surface(surface)
        , m_animation(new QVariantAnimation(this))
        , m_ahead(new QTimer(this))
    {
        setAcceptDrops(true);
        m_ahead->setSingleShot(true);
        m_ahead->setInterval(0);
        connect(m_ahead, &QTimer::timeout, this, [this]() { materializeAhead(); });
        m_animation->setStartValue(0.0);
        m_animation->setEndValue(1.0);
        m_animation->setEasingCurve(QEasingCurve::OutCubic);
        // A frame of the glide moves the rows to places worked out as it
        // began (or at a layout request since): working them out again at
        // every frame passed over every row of the note, thousands in a
        // note that gathers captures.
        connect(m_animation, &QVariantAnimation::valueChanged, this, [this]() { moveRows(); });
        connect(m_animation, &QVariantAnimation::finished, this, [this]() { finish(); });
    }

    struct Slot
    {
        QWidget *widget;
        QRect geometry;
        QRect dropArea;
        QUuid id;
        bool isParagraph;
    };

    int columnWidth() const
    {
        return std::max(1, std::min(columnMaximumWidth, m_surface->viewport()->width() - 2 * horizontalPadding));
    }

    // Where every row goes at the current width, into `slots` (whose room is
    // kept from pass to pass: a note of thousands of captures would
    // otherwise allocate and fault in a fresh list at every pass).
    void targets(std::vector<Slot> &slots, int *contentHeight) const
    {
        const int pageWidth = m_surface->viewport()->width();
        const int column = columnWidth();
        const bool rightToLeft = layoutDirection() == Qt::RightToLeft;
        slots.clear();
        slots.reserve(m_surface->m_rows.size());
        int y = topPadding;
        bool first = true;
        for (Row &row : m_surface->m_rows) {
            if (!first)
                y += blockSpacing;
            first = false;
            if (row.isParagraph) {
                const int height = row.editor ? row.editor->heightForWidth(column) : m_surface->paragraphHeight(row, column);
                const QRect slot(horizontalPadding, y, column, height + 2 * paragraphPadding);
                slots.push_back({row.widget, QRect(horizontalPadding, y + paragraphPadding, column, height), slot, row.id, true});
                y += slot.height();
            } else if (!row.widget) {
                const int height = m_surface->estimatedReferenceHeight(row);
                const int x = rightToLeft ? pageWidth - horizontalPadding - column : horizontalPadding;
                const QRect slot(x, y, column, height);
                slots.push_back({nullptr, slot, slot, row.id, false});
                y += height;
            } else {
                const QMargins room = shadowRoom(row.widget);
                // A card is as wide as its content allows (a medium snip
                // stays at 580 points), never wider than the column.
                int outerMaximum = row.widget->maximumWidth();
                if (QLayout *layout = row.widget->layout())
                    outerMaximum = std::min(outerMaximum, layout->maximumSize().width());
                const int maximum = outerMaximum >= QWIDGETSIZE_MAX ? column
                                                                    : outerMaximum - room.left() - room.right();
                const int width = std::max(1, std::min(column, maximum));
                const int outerWidth = width + room.left() + room.right();
                const int outerHeight = row.widget->hasHeightForWidth() ? row.widget->heightForWidth(outerWidth)
                                                                         : row.widget->sizeHint().height();
                const int height = std::max(0, outerHeight - room.top() - room.bottom());
                m_surface->rememberReferenceHeight(row, column, height);
                const int x = rightToLeft ? pageWidth - horizontalPadding - width : horizontalPadding;
                const QRect slot(x, y, width, height);
                slots.push_back({row.widget, slot.marginsAdded(room), slot, row.id, false});
                y += height;
            }
        }
        if (contentHeight)
            *contentHeight = y + bottomPadding;
    }

    void relayout()
    {
        // Views that came into view take their real heights, which can bring
        // further rows into view; a few rounds settle it.
        for (int round = 0; round < 4; ++round) {
            if (!placeRows())
                break;
        }
    }

    // Scrolled: what came near the visible part gets its views. The rows
    // stay where they were last placed (a change of the page places them
    // again), so a step looks at the rows near the view, not at every row
    // of a note that gathers thousands of captures.
    void showVisible()
    {
        if (materializeVisible(m_placed, Reach::inView))
            relayout();
        else
            scheduleAhead();
    }

    // Where a block's row was last placed on the page; none before it was.
    std::optional<QRect> placedArea(const QUuid &blockID) const
    {
        for (const Slot &slot : m_placed) {
            if (slot.id == blockID)
                return slot.dropArea;
        }
        return std::nullopt;
    }

private:
    // True when views were made for rows that came into view, which places
    // every row again.
    bool placeRows()
    {
        // The first row reaching into the view keeps its place on screen when
        // rows above it change height (a paragraph measured at last).
        QScrollBar *scroll = m_surface->verticalScrollBar();
        const int scrolled = scroll->value();
        std::optional<std::pair<QUuid, int>> anchor;
        if (scrolled > 0) {
            if (const auto first = firstReaching(m_placed, scrolled); first != m_placed.cend())
                anchor = std::pair(first->id, first->dropArea.top() - scrolled);
        }
        int contentHeight = 0;
        targets(m_scratch, &contentHeight);
        std::swap(m_placed, m_scratch);
        const std::vector<Slot> &slots = m_placed;
        const QSize size(m_surface->viewport()->width(), std::max(contentHeight, m_surface->viewport()->height()));
        if (this->size() != size)
            resize(size);
        m_shown.clear();
        for (const Slot &slot : slots) {
            if (slot.widget)
                m_shown.append({slot.widget, slot.geometry});
        }
        if (anchor) {
            for (const Slot &slot : slots) {
                if (slot.id == anchor->first) {
                    const int wanted = slot.dropArea.top() - anchor->second;
                    if (wanted != scroll->value()) {
                        const QSignalBlocker blocker(scroll);
                        scroll->setValue(wanted);
                    }
                    break;
                }
            }
        }
        moveRows();
        const bool made = materializeVisible(slots, Reach::inView);
        scheduleAhead();
        return made;
    }

    // The first slot whose row reaches down to `y` or below: slots run down
    // the page in order, each below the one before.
    static std::vector<Slot>::const_iterator firstReaching(const std::vector<Slot> &slots, int y)
    {
        return std::partition_point(slots.cbegin(), slots.cend(),
                                    [y](const Slot &slot) { return slot.dropArea.bottom() < y; });
    }

    // Puts the rows that have views where they were last placed, or on
    // their way there while the glide runs.
    void moveRows()
    {
        const qreal progress = m_animation->state() == QAbstractAnimation::Running ? m_animation->currentValue().toReal() : 1.0;
        for (const auto &[widget, target] : std::as_const(m_shown)) {
            if (!widget)
                continue;
            QRect geometry = target;
            if (progress < 1.0) {
                const auto from = m_startY.constFind(widget);
                if (from != m_startY.cend())
                    geometry.moveTop(int(std::lround(*from + (geometry.top() - *from) * progress)));
                if (auto *effect = qobject_cast<QGraphicsOpacityEffect *>(widget->graphicsEffect());
                    effect && m_entering.contains(widget))
                    effect->setOpacity(progress);
            }
            if (widget->geometry() != geometry)
                widget->setGeometry(geometry);
            if (widget->isHidden())
                widget->show();
        }
        for (QWidget *leaving : std::as_const(m_leaving)) {
            if (auto *effect = qobject_cast<QGraphicsOpacityEffect *>(leaving->graphicsEffect()))
                effect->setOpacity(1.0 - progress);
        }
    }

    // Rows in view get their views at once; rows a screen above or two
    // below (where a scroll step goes next) get theirs on later turns of the
    // event loop, a few at a time, so opening a note costs one screenful of
    // views, not three.
    enum class Reach { inView, ahead };

    QRect band(Reach reach) const
    {
        const int view = std::max(1, m_surface->viewport()->height());
        const int top = m_surface->verticalScrollBar()->value();
        if (reach == Reach::inView)
            return QRect(0, top, std::max(1, width()), view);
        const int screen = std::max(view, 600);
        return QRect(0, top - screen, std::max(1, width()), 3 * screen);
    }

    // Whether a row near the view still has no view of its own.
    bool bareAhead() const
    {
        const QRect area = band(Reach::ahead);
        for (auto it = firstReaching(m_placed, area.top()); it != m_placed.cend() && it->dropArea.top() <= area.bottom(); ++it) {
            // (A slot kept from the last placement may name a row that has
            // had its view made since.)
            if (!it->widget && it->dropArea.intersects(area)) {
                if (const Row *row = m_surface->findRow(it->id); row && !row->widget)
                    return true;
            }
        }
        return false;
    }

    void scheduleAhead()
    {
        if (isVisible() && !m_ahead->isActive() && bareAhead())
            m_ahead->start();
    }

    void materializeAhead()
    {
        constexpr qint64 budgetNs = 4'000'000;
        QElapsedTimer spent;
        spent.start();
        if (materializeVisible(m_placed, Reach::ahead, &spent, budgetNs))
            relayout();
        else
            moveRows();
        scheduleAhead();
    }

    // Paragraphs in `reach` of the visible part of the page get their
    // editors, card references their views; the rest stay measured text and
    // estimated cards until they are scrolled to. With a budget it stops
    // once that is spent. True when a card view was made, as its height is
    // only known now.
    bool materializeVisible(const std::vector<Slot> &slots, Reach reach, const QElapsedTimer *spent = nullptr,
                            qint64 budgetNs = 0)
    {
        const QRect area = band(reach);
        bool madeReferences = false;
        for (auto it = firstReaching(slots, area.top()); it != slots.cend() && it->dropArea.top() <= area.bottom(); ++it) {
            const Slot &slot = *it;
            if (slot.widget || !slot.dropArea.intersects(area))
                continue;
            // Slots kept from the last placement may name a row that has
            // had its view made since, or that has gone.
            const Row *row = m_surface->findRow(slot.id);
            if (!row || row->widget)
                continue;
            if (spent && spent->nsecsElapsed() > budgetNs)
                break;
            if (slot.isParagraph) {
                WritingParagraphEditor *editor = m_surface->materializeParagraph(slot.id);
                editor->setGeometry(slot.geometry);
                editor->show();
            } else if (QWidget *reference = m_surface->materializeReference(slot.id)) {
                reference->setGeometry(slot.geometry);
                madeReferences = true;
            }
        }
        return madeReferences;
    }

public:

    // The block list changed: rows that stay glide to their places, new
    // ones come in, removed ones fade out.
    void animateChange(const QList<QWidget *> &entering, const QList<QWidget *> &leaving, bool initial)
    {
        if (initial || !isVisible()) {
            for (QWidget *widget : leaving) {
                widget->hide();
                widget->deleteLater();
            }
            relayout();
            return;
        }
        // Rows that stay glide from where they are drawn now, also when an
        // earlier change is still animating.
        const bool reduceMotion = DesignEnvironment::current().reduceMotion;
        targets(m_scratch, nullptr);
        QHash<QWidget *, int> startY;
        for (const Slot &slot : std::as_const(m_scratch)) {
            if (!slot.widget)
                continue;
            if (entering.contains(slot.widget))
                startY.insert(slot.widget, slot.geometry.top() - (reduceMotion ? 0 : entranceOffset));
            else
                startY.insert(slot.widget, slot.widget->geometry().top());
        }
        settle();
        m_startY = std::move(startY);
        m_entering = entering;
        m_leaving = leaving;
        for (QWidget *widget : entering + leaving) {
            const bool isEntering = entering.contains(widget);
            const bool still = !isEntering || !qobject_cast<WritingParagraphEditor *>(widget);
            widget->setGraphicsEffect(new RowFade(isEntering ? 0.0 : 1.0, still, widget));
        }
        for (QWidget *widget : leaving)
            widget->setAttribute(Qt::WA_TransparentForMouseEvents);
        m_animation->setDuration(BoardWritingSurfaceModel::blockListAnimationMs(reduceMotion));
        m_animation->start();
        relayout();
    }

    void finish()
    {
        settle();
        relayout();
    }

    // Ends a running animation without placing the rows.
    void settle()
    {
        if (m_animation->state() == QAbstractAnimation::Running) {
            const QSignalBlocker blocker(m_animation);
            m_animation->stop();
        }
        for (QWidget *widget : std::as_const(m_entering)) {
            widget->setGraphicsEffect(nullptr);
        }
        for (QWidget *widget : std::as_const(m_leaving)) {
            widget->hide();
            widget->deleteLater();
        }
        m_entering.clear();
        m_leaving.clear();
        m_startY.clear();
    }

    // Forgets a row that is about to be deleted outside an animation.
    void forget(QWidget *widget)
    {
        m_entering.removeAll(widget);
        m_startY.remove(widget);
    }

    std::optional<QUuid> paragraphAt(const QPoint &position)
    {
        targets(m_scratch, nullptr);
        for (const Slot &slot : std::as_const(m_scratch)) {
            if (slot.isParagraph && slot.dropArea.contains(position))
                return slot.id;
        }
        return std::nullopt;
    }

protected:
    bool event(QEvent *event) override
    {
        if (event->type() == QEvent::LayoutRequest) {
            relayout();
            return true;
        }
        return QWidget::event(event);
    }

    void dragEnterEvent(QDragEnterEvent *event) override
    {
        if (m_surface->canDrop(event->mimeData()))
            event->acceptProposedAction();
        else
            event->ignore();
    }

    void dragMoveEvent(QDragMoveEvent *event) override
    {
        if (m_surface->canDrop(event->mimeData()))
            event->acceptProposedAction();
        else
            event->ignore();
    }

    void dropEvent(QDropEvent *event) override
    {
        // The padding of a paragraph row belongs to that paragraph.
        if (m_surface->drop(event->mimeData(), paragraphAt(event->position().toPoint())))
            event->acceptProposedAction();
        else
            event->ignore();
    }

private:
    BoardWritingSurface *m_surface;
    QVariantAnimation *m_animation;
    QTimer *m_ahead;
    std::vector<Slot> m_placed;
    // The room a pass works in before it becomes `m_placed`.
    std::vector<Slot> m_scratch;
    // The rows of m_placed that have views, and where they go.
    QList<std::pair<QPointer<QWidget>, QRect>> m_shown;
    QHash<QWidget *, int> m_startY;
    QList<QWidget *> m_entering;
    QList<QWidget *> m_leaving;
};

BoardWritingSurface::BoardWritingSurface(QWidget *parent)
    : QScrollArea(parent)
    , m_model(new BoardWritingSurfaceModel(this))
    , m_images(new SnipImageCache(this))
    , m_page(new Page(this))
    , m_measuring(new QTimer(this))
{
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(false);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    viewport()->setAutoFillBackground(true);
    applyPageColour();
    setWidget(m_page);
    m_page->setAutoFillBackground(false);

    // A paragraph's own edits need no new rows; only a replaced document does.
    connect(m_model, &BoardWritingSurfaceModel::documentChanged, this, &BoardWritingSurface::reconcile);
    connect(m_model, &BoardWritingSurfaceModel::cardsChanged, this, &BoardWritingSurface::reconcile);
    connect(qApp, &QApplication::focusChanged, this, &BoardWritingSurface::focusChanged);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this,
            [this]() { m_page->showVisible(); });
    m_measuring->setSingleShot(true);
    m_measuring->setInterval(0);
    connect(m_measuring, &QTimer::timeout, this, &BoardWritingSurface::measureSome);
    reconcile();
}

BoardWritingSurface::~BoardWritingSurface()
{
    disconnect(qApp, &QApplication::focusChanged, this, nullptr);
}

QWidget *BoardWritingSurface::page() const
{
    return m_page;
}

void BoardWritingSurface::setNavigation(NavigationState *navigation)
{
    m_navigation = navigation;
    for (const Row &row : std::as_const(m_rows)) {
        if (auto *reference = qobject_cast<BoardWritingReferenceView *>(row.widget))
            reference->setNavigation(navigation);
    }
}

void BoardWritingSurface::setGuidedTour(GuidedTourTarget *tour)
{
    disconnect(m_guidedTourWatch);
    m_guidedTour = tour;
    if (tour)
        m_guidedTourWatch = connect(tour, &GuidedTourTarget::changed, this, [this]() { followGuidedTour(); });
    followGuidedTour();
}

void BoardWritingSurface::followGuidedTour()
{
    std::optional<QUuid> target;
    if (m_guidedTour && m_guidedTour->step() == GuidedTourStep::snipPreview)
        target = m_guidedTour->previewCardID();
    for (const Row &row : std::as_const(m_rows)) {
        if (auto *reference = qobject_cast<BoardWritingReferenceView *>(row.widget))
            reference->setTourHighlighted(target && row.card && row.card->id() == *target);
    }
    if (target != m_tourCardID) {
        m_tourCardID = target;
        m_tourCardRevealPending = target.has_value();
    }
    revealTourCard();
}

void BoardWritingSurface::revealTourCard()
{
    // Captures are added at the end of a note's writing, so the newest snip
    // the tour points at is below the fold of any note that gathers a few:
    // the page goes to it once, where its ring can be seen.
    if (!m_tourCardRevealPending || !m_tourCardID || !isVisible())
        return;
    for (const Row &row : std::as_const(m_rows)) {
        if (!row.card || row.card->id() != *m_tourCardID)
            continue;
        const std::optional<QRect> area = m_page->placedArea(row.id);
        if (!area)
            return;
        m_tourCardRevealPending = false;
        ensureVisible(area->center().x(), area->center().y(), 0, area->height() / 2 + blockSpacing);
        return;
    }
}

void BoardWritingSurface::setPasteboard(Pasteboard *pasteboard)
{
    m_pasteboard = pasteboard;
    for (const Row &row : std::as_const(m_rows)) {
        if (auto *reference = qobject_cast<BoardWritingReferenceView *>(row.widget))
            reference->setPasteboard(pasteboard);
    }
}

QWidget *BoardWritingSurface::rowWidget(const QUuid &blockID) const
{
    const Row *row = findRow(blockID);
    return row ? row->widget : nullptr;
}

WritingParagraphEditor *BoardWritingSurface::paragraphEditor(const QUuid &blockID) const
{
    const Row *row = findRow(blockID);
    return row ? row->editor : nullptr;
}

BoardWritingSurface::Row *BoardWritingSurface::findRow(const QUuid &blockID)
{
    const auto index = m_rowIndex.constFind(blockID);
    return index == m_rowIndex.cend() ? nullptr : &m_rows[size_t(*index)];
}

const BoardWritingSurface::Row *BoardWritingSurface::findRow(const QUuid &blockID) const
{
    const auto index = m_rowIndex.constFind(blockID);
    return index == m_rowIndex.cend() ? nullptr : &m_rows[size_t(*index)];
}

void BoardWritingSurface::finishAnimations()
{
    m_page->finish();
}

BoardWritingSurface::Row BoardWritingSurface::makeParagraphRow(const BoardWritingBlock &block)
{
    Row row;
    row.isParagraph = true;
    row.text = block.text;
    return row;
}

WritingParagraphEditor *BoardWritingSurface::materializeParagraph(const QUuid &blockID)
{
    Row &row = *findRow(blockID);
    if (row.editor)
        return row.editor;
    auto *editor = new WritingParagraphEditor(blockID, m_page);
    // Sized to the column before the text goes in, so the text is laid out
    // once, at the width it is shown at.
    editor->resize(m_page->columnWidth(), WritingParagraphEditor::minimumHeight);
    editor->document()->setTextWidth(m_page->columnWidth());
    editor->setText(row.text);
    editor->setAccessibleDescription(BoardWritingSurfaceModel::accessibleDescription());
    editor->canDrop = [this](const QMimeData *data) { return canDrop(data); };
    editor->onDrop = [this, blockID](const QMimeData *data) { return drop(data, blockID); };
    editor->acceptsPaste = [this, blockID](qsizetype pasted, qsizetype replaced) {
        return m_model->acceptsPaste(blockID, pasted, replaced);
    };
    editor->onArrowPastEdge = [this, blockID](bool down, int x) { return moveCaretPast(blockID, down, x); };
    // Tab is the one way a keyboard reaches the cards between paragraphs.
    editor->setTabChangesFocus(true);
    connect(editor, &QTextEdit::textChanged, this, [this, editor]() {
        const QString text = editor->text();
        if (Row *row = findRow(editor->blockID()); row && row->editor == editor)
            row->text = text;
        m_model->setParagraphText(editor->blockID(), text);
    });
    connect(editor, &QTextEdit::cursorPositionChanged, this, [this, editor]() { ensureCaretVisible(editor); });
    editor->installEventFilter(this);
    row.widget = editor;
    row.editor = editor;
    updateParagraphRow(row, BoardWritingBlock::paragraph(row.text, blockID));
    return editor;
}

int BoardWritingSurface::paragraphHeight(Row &row, int width)
{
    if (row.measuredWidth == width)
        return row.measuredHeight;
    // Measured a little at a time once the page is up; guessed till then.
    if (!m_measuring->isActive())
        m_measuring->start();
    if (row.estimatedWidth != width) {
        row.estimatedHeight = WritingParagraphEditor::estimatedHeightForText(row.text, width);
        row.estimatedWidth = width;
    }
    return row.estimatedHeight;
}

void BoardWritingSurface::measureSome()
{
    constexpr qint64 budgetNs = 4'000'000;
    QElapsedTimer spent;
    spent.start();
    const int width = m_page->columnWidth();
    bool changed = false;
    bool done = true;
    for (Row &row : m_rows) {
        if (!row.isParagraph || row.editor || row.measuredWidth == width)
            continue;
        if (spent.nsecsElapsed() > budgetNs) {
            done = false;
            break;
        }
        row.measuredHeight = WritingParagraphEditor::heightForText(row.text, width);
        row.measuredWidth = width;
        changed = true;
    }
    if (changed)
        m_page->relayout();
    if (!done)
        m_measuring->start();
}

void BoardWritingSurface::focusParagraph(const QUuid &blockID)
{
    if (const Row *row = findRow(blockID); !row || !row->isParagraph)
        return;
    auto *editor = static_cast<WritingParagraphEditor *>(placedView(blockID));
    ensureWidgetVisible(editor, 0, blockSpacing);
    editor->setFocus(Qt::OtherFocusReason);
    editor->moveCursor(QTextCursor::End);
}

QWidget *BoardWritingSurface::placedView(const QUuid &blockID)
{
    // Placed before, so the row's view is made where it stands, and again,
    // as a view made takes its own height.
    m_page->relayout();
    const Row *row = findRow(blockID);
    QWidget *view = row->isParagraph ? materializeParagraph(blockID) : materializeReference(blockID);
    m_page->relayout();
    view->show();
    return view;
}

bool BoardWritingSurface::moveCaretPast(const QUuid &blockID, bool down, int x)
{
    const auto at = m_rowIndex.constFind(blockID);
    if (at == m_rowIndex.cend())
        return false;
    const qsizetype step = down ? 1 : -1;
    qsizetype index = *at + step;
    while (index >= 0 && index < qsizetype(m_rows.size()) && !m_rows[size_t(index)].isParagraph)
        index += step;
    if (index < 0 || index >= qsizetype(m_rows.size()))
        return false;
    auto *editor = static_cast<WritingParagraphEditor *>(placedView(m_rows[size_t(index)].id));
    const QRect lines = editor->viewport()->rect();
    editor->setTextCursor(editor->cursorForPosition(QPoint(x, down ? lines.top() + 1 : lines.bottom() - 1)));
    editor->setFocus(Qt::OtherFocusReason);
    ensureCaretVisible(editor);
    return true;
}

bool BoardWritingSurface::focusNextPrevChild(bool next)
{
    // The row holding the keyboard: the page's child that is, or holds, the
    // focused widget.
    QWidget *held = QApplication::focusWidget();
    while (held && held->parentWidget() != m_page)
        held = held->parentWidget();
    const auto from = held ? std::find_if(m_rows.cbegin(), m_rows.cend(), [held](const Row &row) { return row.widget == held; })
                           : m_rows.cend();
    if (from == m_rows.cend())
        return QScrollArea::focusNextPrevChild(next);
    if (const std::optional<QUuid> target = m_model->tabTarget(from->id, next); target && findRow(*target)) {
        tabToRow(*target, next);
        return true;
    }
    return tabOutOfWriting(next);
}

void BoardWritingSurface::tabToRow(const QUuid &blockID, bool forward)
{
    const Qt::FocusReason reason = forward ? Qt::TabFocusReason : Qt::BacktabFocusReason;
    QWidget *widget = placedView(blockID);
    ensureWidgetVisible(widget, 0, blockSpacing);
    if (auto *editor = qobject_cast<WritingParagraphEditor *>(widget))
        editor->moveCursor(forward ? QTextCursor::Start : QTextCursor::End);
    const QScopedValueRollback moving(m_movingKeyboard, true);
    widget->setFocus(reason);
}

bool BoardWritingSurface::enterWriting(QWidget *receiver, QFocusEvent *event)
{
    const Qt::FocusReason reason = event->reason();
    if (m_movingKeyboard || (reason != Qt::TabFocusReason && reason != Qt::BacktabFocusReason))
        return false;
    const bool forward = reason == Qt::TabFocusReason;
    const std::optional<QUuid> target = m_model->tabTarget(std::nullopt, forward);
    if (!target || !findRow(*target))
        return false;
    if (rowWidget(*target) == receiver) {
        // The chain reached the right row: it takes the keyboard as Tab
        // within the writing would give it.
        ensureWidgetVisible(receiver, 0, blockSpacing);
        if (auto *editor = qobject_cast<WritingParagraphEditor *>(receiver))
            editor->moveCursor(forward ? QTextCursor::Start : QTextCursor::End);
        return false;
    }
    tabToRow(*target, forward);
    return true;
}

void BoardWritingSurface::focusInEvent(QFocusEvent *event)
{
    // The page itself is a stop of the window's focus chain, made before
    // any of its rows.
    if (!enterWriting(this, event))
        QScrollArea::focusInEvent(event);
}

bool BoardWritingSurface::eventFilter(QObject *watched, QEvent *event)
{
    // A row the chain reached but the keyboard went on from hears nothing
    // of it: it has the keyboard no longer.
    if (event->type() == QEvent::FocusIn && watched->parent() == m_page)
        return enterWriting(static_cast<QWidget *>(watched), static_cast<QFocusEvent *>(event));
    return QScrollArea::eventFilter(watched, event);
}

void BoardWritingSurface::landKeyboard(const QList<QUuid> &shownOrder, const QUuid &blockID)
{
    const std::optional<BoardWritingSurfaceModel::KeyboardLanding> landing = m_model->keyboardLanding(shownOrder, blockID);
    if (!landing || !findRow(landing->blockID)) {
        setFocus(Qt::OtherFocusReason);
        return;
    }
    // Made, placed and shown by now: a view still hidden would let the
    // keyboard go by it.
    tabToRow(landing->blockID, landing->atStart);
}

bool BoardWritingSurface::tabOutOfWriting(bool forward)
{
    // The rows stand in the window's focus chain in the order they were
    // made, not in the document's: the first widget of the chain outside
    // the writing that takes Tab is where the keyboard goes.
    QWidget *start = QApplication::focusWidget();
    for (QWidget *candidate = forward ? start->nextInFocusChain() : start->previousInFocusChain(); candidate != start;
         candidate = forward ? candidate->nextInFocusChain() : candidate->previousInFocusChain()) {
        if (candidate == this || isAncestorOf(candidate) || candidate->window() != window())
            continue;
        if ((candidate->focusPolicy() & Qt::TabFocus) && candidate->isVisible() && candidate->isEnabled()) {
            candidate->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
            return true;
        }
    }
    // Nothing else to go to: the keyboard stays, and Tab writes nothing.
    return true;
}

BoardWritingSurface::Row BoardWritingSurface::makeReferenceRow(const WritingReferenceResolution &resolution)
{
    Row row;
    row.isReference = true;
    if (resolution.isMissing()) {
        row.isMissing = true;
        row.missingCardID = resolution.missingCardID;
        row.kind = referenceKind(row);
        return row;
    }
    row.card = resolution.card;
    row.size = resolution.size;
    row.kind = referenceKind(row);
    return row;
}

QWidget *BoardWritingSurface::materializeReference(const QUuid &blockID)
{
    Row *found = findRow(blockID);
    if (!found || !found->isReference)
        return nullptr;
    Row &row = *found;
    if (row.widget)
        return row.widget;
    if (row.isMissing) {
        auto *missing = new BoardMissingWritingReferenceView(row.missingCardID, m_page);
        missing->onRemove = [this, blockID]() { m_model->removeReference(blockID); };
        missing->installEventFilter(this);
        row.widget = missing;
        return missing;
    }
    auto *reference = new BoardWritingReferenceView(row.card, row.size, m_images, m_page);
    reference->setNavigation(m_navigation);
    reference->setPasteboard(m_pasteboard);
    if (m_guidedTour && row.card)
        reference->setTourHighlighted(m_guidedTour->highlightsCard(row.card->id()));
    const QPointer<CanvasCard> card(row.card);
    reference->onOpen = [this, card]() { m_model->openCard(card.data()); };
    reference->onRemove = [this, blockID]() { m_model->removeReference(blockID); };
    reference->onChangeSize = [this, blockID](NoteAttachmentSize size) { m_model->updateReferenceSize(blockID, size); };
    reference->installEventFilter(this);
    row.widget = reference;
    return reference;
}

// The card's kind (missing, snip, other) and the reference's size, in one
// number: the kind in the eights, the size below.
int BoardWritingSurface::referenceKind(const Row &row)
{
    const int kind = row.isMissing ? 0 : (row.card && row.card->isSnip() ? 1 : 2);
    return kind * 8 + int(row.size);
}

bool BoardWritingSurface::isSnipKind(int kind)
{
    return kind / 8 == 1;
}

void BoardWritingSurface::rememberReferenceHeight(const Row &row, int width, int height)
{
    if (m_referenceHeightsWidth != width) {
        m_referenceHeights.fill(0);
        m_referenceHeightsWidth = width;
    }
    // Never 0, which stands for "not seen".
    m_referenceHeights[size_t(row.kind)] = std::max(1, height);
}

int BoardWritingSurface::estimatedReferenceHeight(const Row &row) const
{
    if (m_referenceHeightsWidth == m_page->columnWidth()) {
        if (const int known = m_referenceHeights[size_t(row.kind)]; known > 0)
            return known;
    }
    // Until a view of the kind has been measured: about what one takes.
    if (row.isMissing)
        return 56;
    if (isSnipKind(row.kind)) {
        switch (row.size) {
        case NoteAttachmentSize::small:
            return 180;
        case NoteAttachmentSize::medium:
            return 380;
        case NoteAttachmentSize::fullWidth:
            return 560;
        }
    }
    return 96;
}

bool BoardWritingSurface::rowMatches(const Row &row, const BoardWritingBlock &block,
                                     const WritingReferenceResolution &resolution) const
{
    if (block.isParagraph())
        return row.isParagraph;
    if (!row.isReference || row.isMissing != resolution.isMissing())
        return false;
    if (row.isMissing)
        return row.missingCardID == resolution.missingCardID;
    return row.card == resolution.card;
}

void BoardWritingSurface::updateParagraphRow(const Row &row, const BoardWritingBlock &block)
{
    if (!row.editor)
        return;
    row.editor->setText(block.text);
    const QString placeholder = m_model->firstParagraphID() == block.id ? QStringLiteral("Start writing…")
                                                                        : QStringLiteral("Keep writing…");
    if (row.editor->placeholderText() != placeholder)
        row.editor->setPlaceholderText(placeholder);
    const QString name = m_model->accessibleName(block.id);
    if (row.editor->accessibleName() != name)
        row.editor->setAccessibleName(name);
}

void BoardWritingSurface::applyReferenceSize(Row &row, const WritingReferenceResolution &resolution)
{
    row.size = resolution.size;
    row.kind = referenceKind(row);
    if (auto *reference = qobject_cast<BoardWritingReferenceView *>(row.widget))
        reference->setSize(resolution.size);
}

bool BoardWritingSurface::bringsUnlistedCard() const
{
    for (const BoardWritingBlock &block : m_model->document().blocks) {
        if (!block.isParagraph() && !m_rowIndex.contains(block.id) && m_model->resolveReference(block).isMissing())
            return true;
    }
    return false;
}

void BoardWritingSurface::reconcile()
{
    const bool initial = m_rows.empty() && m_order.isEmpty();
    // A capture into the open note names its card in the writing before the
    // save that lists the card. Shown at once, the card would come in as
    // missing and then be swapped for itself. So a reference to a card not
    // listed yet waits one turn of the event loop; the save's notice almost
    // always brings the card before then. So does a note being opened, whose
    // workspace hands in the writing before its cards: built at once, every
    // card of the first screenful would be made as missing, then swapped
    // for itself, and a note of thousands of captures placed twice over.
    if (!m_awaitingCards && bringsUnlistedCard()) {
        m_awaitingCards = true;
        QTimer::singleShot(0, this, [this] {
            if (m_awaitingCards)
                reconcile();
        });
        return;
    }
    m_awaitingCards = false;
    std::vector<Row> previousRows = std::move(m_rows);
    QHash<QUuid, qsizetype> previous = std::move(m_rowIndex);
    m_rows.clear();
    m_rowIndex.clear();
    m_rows.reserve(size_t(m_model->document().blocks.size()));
    m_rowIndex.reserve(m_model->document().blocks.size());
    QList<QUuid> order;
    order.reserve(m_model->document().blocks.size());
    QList<QWidget *> entering;
    QList<QUuid> newParagraphs;
    QList<QUuid> newReferences;

    for (const BoardWritingBlock &block : m_model->document().blocks) {
        if (m_rowIndex.contains(block.id))
            continue; // a repeated id shows once, as its first holder
        const WritingReferenceResolution resolution = block.isParagraph() ? WritingReferenceResolution{}
                                                                          : m_model->resolveReference(block);
        auto existing = previous.find(block.id);
        Row row;
        if (existing != previous.end() && rowMatches(previousRows[size_t(*existing)], block, resolution)) {
            row = std::move(previousRows[size_t(*existing)]);
            previous.erase(existing);
            if (!block.isParagraph()) {
                applyReferenceSize(row, resolution);
            } else if (row.text != block.text) {
                row.text = block.text;
                row.measuredWidth = -1;
                row.estimatedWidth = -1;
            }
        } else if (block.isParagraph()) {
            row = makeParagraphRow(block);
            newParagraphs.append(block.id);
        } else {
            row = makeReferenceRow(resolution);
            newReferences.append(block.id);
        }
        row.id = block.id;
        m_rowIndex.insert(block.id, qsizetype(m_rows.size()));
        m_rows.push_back(std::move(row));
        order.append(block.id);
    }
    // A paragraph or two that came in (an inserted reference brings one)
    // enter with their editors; a whole new page waits to be scrolled to.
    constexpr int eagerParagraphs = 8;
    if (!initial && newParagraphs.size() <= eagerParagraphs) {
        for (const QUuid &id : std::as_const(newParagraphs))
            entering.append(materializeParagraph(id));
    }
    // So do a few cards that came in (a capture into the open note); many
    // at once (the note itself replaced) come as they are scrolled to.
    if (!initial && newReferences.size() <= eagerParagraphs) {
        for (const QUuid &id : std::as_const(newReferences))
            entering.append(materializeReference(id));
    }
    // Texts, placeholders and names depend on which paragraph comes first.
    for (const Row &row : m_rows) {
        if (row.editor)
            updateParagraphRow(row, BoardWritingBlock::paragraph(row.text, row.id));
    }

    // The widget that has the keyboard, or will have it once the window is
    // active again; while a popup holds it, the popup keeps it.
    QWidget *keyboard = QApplication::activePopupWidget() ? nullptr : window()->focusWidget();
    std::optional<QUuid> keyboardLeft;
    QList<QWidget *> leaving;
    for (const qsizetype index : std::as_const(previous)) {
        const Row &row = previousRows[size_t(index)];
        if (!row.widget)
            continue;
        m_page->forget(row.widget);
        if (keyboard && (row.widget == keyboard || row.widget->isAncestorOf(keyboard))) {
            m_model->setFocusedParagraphID(std::nullopt);
            // Taken away before the row is hidden, which would hand the
            // keyboard on down the window's focus chain.
            row.widget->clearFocus();
            keyboardLeft = row.id;
        }
        leaving.append(row.widget);
    }
    const bool orderChanged = order != m_order;
    const QList<QUuid> shownOrder = std::exchange(m_order, std::move(order));
    if (orderChanged || !leaving.isEmpty() || !entering.isEmpty())
        m_page->animateChange(entering, leaving, initial);
    else
        m_page->relayout();
    if (keyboardLeft && isVisible())
        landKeyboard(shownOrder, *keyboardLeft);
    revealTourCard();
}

void BoardWritingSurface::focusChanged(QWidget *old, QWidget *now)
{
    auto ownEditor = [this](QWidget *widget) -> WritingParagraphEditor * {
        auto *editor = qobject_cast<WritingParagraphEditor *>(widget);
        const Row *row = editor ? findRow(editor->blockID()) : nullptr;
        if (!row || row->editor != editor)
            return nullptr;
        return editor;
    };
    if (WritingParagraphEditor *editor = ownEditor(now)) {
        m_model->setFocusedParagraphID(editor->blockID());
        return;
    }
    if (!ownEditor(old))
        return;
    // A window losing activation keeps its writing position.
    if (!now && old && old->window() != QApplication::activeWindow() && !old->window()->isActiveWindow())
        return;
    // Nor does a popup taking the keyboard (the Insert Snip picker's field):
    // the picker inserts at that position, and the keyboard comes back to
    // the paragraph when it closes.
    if (now && now->window()->windowType() == Qt::Popup)
        return;
    m_model->setFocusedParagraphID(std::nullopt);
}

bool BoardWritingSurface::canDrop(const QMimeData *data) const
{
    return m_model->droppableCardID(droppedTexts(data)).has_value();
}

bool BoardWritingSurface::drop(const QMimeData *data, const std::optional<QUuid> &anchor)
{
    return m_model->dropTexts(droppedTexts(data), anchor);
}

void BoardWritingSurface::ensureCaretVisible(WritingParagraphEditor *editor)
{
    if (!editor->hasFocus())
        return;
    const QRect caret = editor->cursorRect();
    const QPoint centre = editor->viewport()->mapTo(m_page, caret.center());
    ensureVisible(centre.x(), centre.y(), 0, caret.height() / 2 + blockSpacing);
}

void BoardWritingSurface::applyPageColour()
{
    // The page is the text background and reaches under every edge.
    QPalette colours = viewport()->palette();
    colours.setColor(QPalette::Window, semanticColor(SemanticColor::textBackground, palette()));
    viewport()->setPalette(colours);
}

void BoardWritingSurface::changeEvent(QEvent *event)
{
    QScrollArea::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange)
        applyPageColour();
}

void BoardWritingSurface::resizeEvent(QResizeEvent *event)
{
    QScrollArea::resizeEvent(event);
    m_page->relayout();
}

void BoardWritingSurface::showEvent(QShowEvent *event)
{
    QScrollArea::showEvent(event);
    if (!event->spontaneous())
        m_model->pageShown();
    m_page->relayout();
    revealTourCard();
}

void BoardWritingSurface::hideEvent(QHideEvent *event)
{
    QScrollArea::hideEvent(event);
    // Minimising keeps the writing position; leaving the screen does not.
    if (!event->spontaneous())
        m_model->pageHidden();
}

} // namespace tessaline

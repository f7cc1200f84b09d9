#include "library/TrashView.h"

#include "design/DesignEnvironment.h"
#include "design/DesignTokens.h"
#include "design/QuietSurfaces.h"
#include "design/SemanticColors.h"
#include "design/ShapePainting.h"
#include "design/StudioButtonPainting.h"
#include "design/StudioControls.h"
#include "design/StudioEmptyState.h"
#include "design/StudioSectionHeader.h"
#include "design/TextInputDirection.h"
#include "library/GridHover.h"
#include "model/CanvasCard.h"
#include "platform/SymbolIcon.h"
#include "platform/TextUtilities.h"
#include "runtime/SnipImageCache.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QHBoxLayout>
#include <QImage>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QFontMetricsF>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QToolTip>
#include <QVBoxLayout>

#include <utility>

namespace tessaline {

using namespace TessalineTypography;

namespace {

const QString restoreSymbol = QStringLiteral("arrow.uturn.backward");
const QString deleteSymbol = QStringLiteral("trash.slash");

constexpr int tilePadding = 14;

QString restoreTitle() { return TrashView::tr("Restore"); }
QString deleteTitle() { return TrashView::tr("Delete Permanently"); }

QColor colorOf(SemanticColor color, const QPalette &palette)
{
    return semanticColor(color, palette, DesignEnvironment::current().increasedContrast);
}

void drawSymbol(QPainter *painter, const QString &name, const QRect &box, const QColor &color)
{
    const QPixmap pixmap = SymbolIcon::tintedPixmap(name, box.size(), painter->device()->devicePixelRatioF(), color);
    painter->drawPixmap(box.topLeft(), pixmap);
}

// A symbol and a text on one line from `x`; returns where the text ends.
int drawLabel(QPainter *painter, int x, int centreY, const QString &symbol, const QString &text, int maxWidth,
              const QColor &color)
{
    const int size = painter->fontMetrics().height() - 2;
    drawSymbol(painter, symbol, QRect(x, centreY - size / 2, size, size), color);
    x += size + 4;
    const QString shown = elidedInItsOwnDirection(text, QFontMetricsF(painter->font()), std::max(0, maxWidth - size - 4));
    painter->setPen(color);
    painter->drawText(QRect(x, centreY - painter->fontMetrics().height() / 2, maxWidth, painter->fontMetrics().height()),
                      Qt::AlignLeft | Qt::AlignVCenter, shown);
    return x + painter->fontMetrics().horizontalAdvance(shown);
}

// A small chip like the design system's tag: a symbol and a word.
int tagWidth(const QString &title)
{
    return QFontMetrics(caption()).horizontalAdvance(title) + 12 + 14 + 4;
}

void drawTag(QPainter *painter, const QRect &rect, const QString &title, const QString &symbol)
{
    const QPalette &palette = QPalette();
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(Qt::NoPen);
    painter->setBrush(withOpacity(colorOf(SemanticColor::secondary, palette), 0.12));
    painter->drawRoundedRect(rect, rect.height() / 2.0, rect.height() / 2.0);
    painter->setFont(caption());
    drawLabel(painter, rect.left() + 6, rect.center().y(), symbol, title, rect.width() - 12,
              colorOf(SemanticColor::secondary, palette));
    painter->restore();
}

int lineHeight(const QFont &font) { return QFontMetrics(font).lineSpacing(); }

int boardTileHeight()
{
    return 2 * tilePadding + std::max(112, 20 + 12 + 3 * lineHeight(body()) + 12 + lineHeight(caption()));
}

QSizeF restoreButtonSize()
{
    return studioButtonSize(compactButtonMetrics(), restoreTitle(), restoreSymbol);
}

QSizeF deleteButtonSize()
{
    return studioButtonSize(iconButtonMetrics(), QString(), deleteSymbol);
}

} // namespace

// ---- TrashGridView -------------------------------------------------------

TrashGridView::TrashGridView(TrashItemModel *model, int minimumWidth, int maximumWidth, int spacing, bool showsDelete,
                             QWidget *parent)
    : QListView(parent)
    , m_minimumWidth(minimumWidth)
    , m_maximumWidth(maximumWidth)
    , m_spacing(spacing)
    , m_showsDelete(showsDelete)
    , m_tileWidth(minimumWidth)
{
    setModel(model);
    setItemDelegate(new TrashTileDelegate(this));
    // A list that wraps places each tile by arithmetic; the icon mode would
    // make, place and index an item for each of thousands of deleted cards
    // every time the screen came up.
    setViewMode(QListView::ListMode);
    setFlow(QListView::LeftToRight);
    setWrapping(true);
    setMovement(QListView::Static);
    setResizeMode(QListView::Adjust);
    setSpacing(spacing / 2);
    setSelectionMode(QAbstractItemView::NoSelection);
    setFrameShape(QFrame::NoFrame);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setMouseTracking(true);
    viewport()->setAttribute(Qt::WA_Hover);
    viewport()->setAutoFillBackground(false);
    setAutoFillBackground(false);
    setContextMenuPolicy(Qt::CustomContextMenu);
    QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    // Other tiles: the heights the screen's layout keeps for every width
    // are stale.
    connect(model, &QAbstractItemModel::modelReset, this, [this] { relayout(true); });
    connect(model, &QAbstractItemModel::rowsRemoved, this, [this] { relayout(true); });
    connect(model, &QAbstractItemModel::rowsInserted, this, [this] { relayout(true); });
    if (model->section() == TrashItemModel::Section::cards) {
        // The same pictures, annotations drawn in, as every other view of
        // a snip; unreadable annotations leave the placeholder.
        m_pictures = new SnipImageCache(this);
        connect(m_pictures, &SnipImageCache::imageReady, this, &TrashGridView::pictureArrived);
        m_tourRing = new CompactCardPreview::TourRing(viewport());
    }
    relayout(false);
}

TrashItemModel::Section TrashGridView::section() const
{
    return static_cast<TrashItemModel *>(model())->section();
}

QRect TrashGridView::tileRect(int row) const
{
    QRect rect = visualRect(model()->index(row, 0));
    rect.setBottom(rect.bottom() - TrashTileDelegate::buttonRowHeight - TrashTileDelegate::buttonGap);
    return rect;
}

QRect TrashGridView::markRect(const QModelIndex &index) const
{
    const auto *items = static_cast<const TrashItemModel *>(model());
    const CanvasCard *card = items->cardAt(index.row());
    if (!card || !card->isAIGenerated())
        return {};
    const CompactCardPreview preview(*card, items->boardTitle(*card), true);
    return preview.assistantMarkRect(QRectF(tileRect(index.row())), !picture(index.row()).isNull()).toAlignedRect();
}

int TrashGridView::tileHeight(int row) const
{
    if (row >= 0 && row < m_tileHeights.size())
        return m_tileHeights.at(row);
    return TrashTileDelegate::tileHeight(section(), isSnip(row));
}

bool TrashGridView::isSnip(int row) const
{
    const CanvasCard *card = static_cast<const TrashItemModel *>(model())->cardAt(row);
    return card && card->isSnip();
}

QPixmap TrashGridView::picture(int row) const
{
    const CanvasCard *card = static_cast<const TrashItemModel *>(model())->cardAt(row);
    if (!m_pictures || !card || card->kind() != CardKind::snip)
        return {};
    // Only tiles in view ask, so this stays a few screenfuls.
    if (m_pictureRows.size() > 1024)
        m_pictureRows.clear();
    m_pictureRows.insert(card->id(), row);
    if (m_pictures->state(*card) != SnipImageCache::State::ready)
        return {};
    return m_pictures->coveringPixmap(*card, CompactCardPreview::pictureSize(m_tileWidth, devicePixelRatioF()));
}

void TrashGridView::pictureArrived(const QUuid &cardID)
{
    // Pictures come in one by one for the tiles in view; repainting every
    // tile for each kept the screen busy for as long as they came in. The
    // row the tile was last drawn at may be stale once the list changed.
    const auto row = m_pictureRows.constFind(cardID);
    const CanvasCard *card =
        row != m_pictureRows.cend() ? static_cast<const TrashItemModel *>(model())->cardAt(*row) : nullptr;
    if (card && card->id() == cardID)
        viewport()->update(visualRect(model()->index(*row, 0)));
    else
        viewport()->update();
}

QRect TrashGridView::deleteButtonRect(int row) const
{
    if (!m_showsDelete)
        return {};
    const QRect item = visualRect(model()->index(row, 0));
    const QSize size = deleteButtonSize().toSize();
    return QRect(item.right() + 1 - size.width(), item.bottom() + 1 - TrashTileDelegate::buttonRowHeight
                 + (TrashTileDelegate::buttonRowHeight - size.height()) / 2, size.width(), size.height());
}

QRect TrashGridView::restoreButtonRect(int row) const
{
    const QRect item = visualRect(model()->index(row, 0));
    const QSize size = restoreButtonSize().toSize();
    const int right = m_showsDelete ? deleteButtonRect(row).left() - 4 : item.right() + 1;
    return QRect(right - size.width(), item.bottom() + 1 - TrashTileDelegate::buttonRowHeight
                 + (TrashTileDelegate::buttonRowHeight - size.height()) / 2, size.width(), size.height());
}

QSize TrashGridView::sizeHint() const
{
    return QSize(m_minimumWidth, heightForWidth(width()));
}

int TrashGridView::columnsFor(int width) const
{
    // A wrapping list fits a row into its width less one pixel; items carry
    // half the spacing on each side.
    return std::max(1, std::max(0, width - 1) / (m_minimumWidth + m_spacing));
}

int TrashGridView::heightForWidth(int width) const
{
    // The grid has no frame and no scroll bars: its viewport is its width.
    const int columns = columnsFor(width);
    return columns == m_columns ? m_linesHeight : linesHeight(columns, nullptr);
}

int TrashGridView::linesHeight(int columns, QList<int> *tileHeights) const
{
    const int rows = model()->rowCount();
    if (tileHeights)
        tileHeights->resize(rows);
    // A tile's height depends on whether it shows a picture alone: measured
    // once each, not for every one of thousands of tiles.
    const int thoughtHeight = TrashTileDelegate::tileHeight(section(), false);
    const int snipHeight = TrashTileDelegate::tileHeight(section(), true);
    int total = 0;
    for (int first = 0; first < rows; first += columns) {
        const int last = std::min(rows, first + columns);
        int rowHeight = 0;
        for (int row = first; row < last; ++row)
            rowHeight = std::max(rowHeight, isSnip(row) ? snipHeight : thoughtHeight);
        if (tileHeights)
            std::fill(tileHeights->begin() + first, tileHeights->begin() + last, rowHeight);
        total += rowHeight + TrashTileDelegate::buttonGap + TrashTileDelegate::buttonRowHeight + m_spacing;
    }
    return total;
}

void TrashGridView::relayout(bool tilesChanged)
{
    // Adaptive columns: as many of at least the minimum width as fit, each
    // widened up to the maximum.
    const int available = std::max(0, viewport()->width() - 1);
    const int columns = columnsFor(viewport()->width());
    m_tileWidth = std::clamp(available / columns - m_spacing, std::min(m_minimumWidth, std::max(1, available)),
                             m_maximumWidth);
    const int before = std::exchange(m_linesHeight, linesHeight(columns, &m_tileHeights));
    m_columns = columns;
    // Its size hint follows its width; other tiles change its height for
    // every width the screen's layout may have asked about.
    if (tilesChanged || m_linesHeight != before || height() != m_linesHeight)
        updateGeometry();
    doItemsLayout();
}

void TrashGridView::resizeEvent(QResizeEvent *event)
{
    const int before = m_tileWidth;
    QListView::resizeEvent(event);
    relayout(false);
    if (before != m_tileWidth)
        viewport()->update();
}

void TrashGridView::mouseReleaseEvent(QMouseEvent *event)
{
    const QPoint point = event->position().toPoint();
    const QModelIndex index = indexAt(point);
    const bool clicked = event->button() == Qt::LeftButton && index.isValid();
    // The list view finishes its own handling first: an action may take
    // the screen away.
    QListView::mouseReleaseEvent(event);
    if (!clicked)
        return;
    const int row = index.row();
    if (restoreButtonRect(row).contains(point))
        Q_EMIT restoreRequested(row);
    else if (deleteButtonRect(row).contains(point))
        Q_EMIT deleteRequested(row);
    else if (tileRect(row).contains(point))
        Q_EMIT openRequested(row);
}

void TrashGridView::paintEvent(QPaintEvent *event)
{
    // Asked of the display server once for all the tiles painted.
    m_pointer = viewport()->mapFromGlobal(QCursor::pos());
    QListView::paintEvent(event);
}

void TrashGridView::mouseMoveEvent(QMouseEvent *event)
{
    QListView::mouseMoveEvent(event);
    // The buttons light up under the pointer, inside one item too.
    const QModelIndex index = indexAt(event->position().toPoint());
    if (index.isValid())
        viewport()->update(visualRect(index));
}

bool TrashGridView::viewportEvent(QEvent *event)
{
    if (deliverHoverEdgeAsMove(event, [this](QEvent *moved) { QListView::viewportEvent(moved); }))
        return true;
    if (event->type() == QEvent::ToolTip) {
        auto *help = static_cast<QHelpEvent *>(event);
        const QModelIndex index = indexAt(help->pos());
        if (index.isValid()) {
            QString text;
            if (deleteButtonRect(index.row()).contains(help->pos()))
                text = deleteTitle();
            else if (restoreButtonRect(index.row()).contains(help->pos()))
                text = restoreTitle();
            else if (markRect(index).contains(help->pos()))
                text = tr("Kept assistant suggestion");
            else if (tileRect(index.row()).contains(help->pos()))
                text = index.data(Qt::ToolTipRole).toString();
            if (text.isEmpty())
                QToolTip::hideText();
            else
                QToolTip::showText(help->globalPos(), text, viewport());
            return true;
        }
    }
    return QListView::viewportEvent(event);
}

void TrashGridView::keyPressEvent(QKeyEvent *event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter || event->key() == Qt::Key_Space)
        && currentIndex().isValid()) {
        Q_EMIT openRequested(currentIndex().row());
        return;
    }
    QListView::keyPressEvent(event);
}

// ---- TrashTileDelegate ---------------------------------------------------

TrashTileDelegate::TrashTileDelegate(TrashGridView *view)
    : QStyledItemDelegate(view)
    , m_view(view)
{
}

int TrashTileDelegate::tileHeight(TrashItemModel::Section section, bool isSnip)
{
    if (section == TrashItemModel::Section::boards)
        return boardTileHeight();
    return CompactCardPreview::height(isSnip);
}

QSize TrashTileDelegate::sizeHint(const QStyleOptionViewItem &, const QModelIndex &index) const
{
    return QSize(m_view->tileWidth(), m_view->tileHeight(index.row()) + buttonGap + buttonRowHeight);
}

void TrashTileDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    const int row = index.row();
    const QRect tile = m_view->tileRect(row);
    const bool increasedContrast = DesignEnvironment::current().increasedContrast;
    QuietCardSurface surface;
    surface.tone = static_cast<QuietCardTone>(index.data(TrashItemModel::ToneRole).toInt());
    const QPoint pointer = m_view->pointer();
    const bool hovered = (option.state & QStyle::State_MouseOver) && tile.contains(pointer);
    if (m_view->section() == TrashItemModel::Section::boards && hovered) {
        // The hover tint lies over the texts.
        surface.hoverAmount = 1;
        paintQuietCardBackground(painter, tile, surface, option.palette, increasedContrast);
        painter->save();
        painter->setClipPath(roundedShape(tile, surface.cornerRadius));
        paintBoard(painter, tile, option, index);
        painter->restore();
        paintQuietCardOverlay(painter, tile, surface, option.palette, increasedContrast);
    } else if (m_view->section() == TrashItemModel::Section::boards) {
        // At rest the border lies clear of the texts: face and border are
        // one picture under them.
        const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        const QString look =
            QStringLiteral("%1/%2/%3").arg(int(surface.tone)).arg(increasedContrast).arg(option.palette.cacheKey());
        painter->drawPixmap(tile.topLeft(), m_faces.face(look, tile.size(), ratio, [&](QPainter &face) {
            const QRectF shape(QPointF(), QSizeF(tile.size()));
            paintQuietCardBackground(&face, shape, surface, option.palette, increasedContrast);
            paintQuietCardOverlay(&face, shape, surface, option.palette, increasedContrast);
        }));
        painter->save();
        painter->setClipPath(roundedShape(tile, surface.cornerRadius));
        paintBoard(painter, tile, option, index);
        painter->restore();
    } else {
        paintCard(painter, tile, option, row, hovered);
    }
    if ((option.state & QStyle::State_HasFocus) && m_view->hasFocus())
        paintFocusRing(painter, tile, surface.cornerRadius, option.palette, increasedContrast);

    StudioButtonState state;
    state.increasedContrast = increasedContrast;
    const QRect restore = m_view->restoreButtonRect(row);
    state.isHovered = restore.contains(pointer);
    paintStudioButton(painter, restore, StudioButtonStyle::compact, StudioControlProminence::standard,
                      StudioControlSize::regular, state, restoreTitle(), restoreSymbol, option.palette);
    if (m_view->showsDelete()) {
        const QRect remove = m_view->deleteButtonRect(row);
        state.isHovered = remove.contains(pointer);
        paintStudioButton(painter, remove, StudioButtonStyle::icon, StudioControlProminence::destructive,
                          StudioControlSize::regular, state, QString(), deleteSymbol, option.palette);
    }
    painter->restore();
}

void TrashTileDelegate::paintBoard(QPainter *painter, const QRect &tile, const QStyleOptionViewItem &option,
                                   const QModelIndex &index) const
{
    const QPalette &palette = option.palette;
    const QRect content = tile.adjusted(tilePadding, tilePadding, -tilePadding, -tilePadding);
    // Header: status symbol, title, and a tag for a parked or done note.
    painter->setFont(title());
    const int headerHeight = std::max(20, painter->fontMetrics().height());
    int titleRight = content.right();
    if (index.data(TrashItemModel::ShowsTagRole).toBool()) {
        const QString label = index.data(TrashItemModel::KindLabelRole).toString();
        const int width = tagWidth(label);
        drawTag(painter, QRect(content.right() + 1 - width, content.top(), width, 20), label,
                index.data(TrashItemModel::KindSymbolRole).toString());
        titleRight -= width + 4;
    }
    painter->setFont(title());
    drawLabel(painter, content.left(), content.top() + headerHeight / 2,
              index.data(TrashItemModel::KindSymbolRole).toString(), index.data(TrashItemModel::TitleRole).toString(),
              titleRight - content.left(), colorOf(SemanticColor::label, palette));
    // Focus question, or its absence in italics.
    QFont focusFont = body();
    const bool hasFocus = index.data(TrashItemModel::HasDetailRole).toBool();
    focusFont.setItalic(!hasFocus);
    painter->setFont(focusFont);
    painter->setPen(colorOf(hasFocus ? SemanticColor::secondary : SemanticColor::tertiary, palette));
    const QRect focus(content.left(), content.top() + headerHeight + 12, content.width(), 3 * lineHeight(focusFont));
    painter->drawText(focus, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
                      index.data(TrashItemModel::DetailRole).toString());
    // Counts row at the bottom: snips, thoughts, then the last change.
    painter->setFont(caption());
    const QColor tertiary = colorOf(SemanticColor::tertiary, palette);
    const int y = content.bottom() - lineHeight(caption()) / 2;
    int x = drawLabel(painter, content.left(), y, QStringLiteral("viewfinder"),
                      QString::number(index.data(TrashItemModel::SnipCountRole).toInt()), 60, tertiary);
    drawLabel(painter, x + 10, y, QStringLiteral("text.bubble"),
              QString::number(index.data(TrashItemModel::ThoughtCountRole).toInt()), 60, tertiary);
    const QString date = relativeTimeText(index.data(TrashItemModel::DateRole).toDateTime(),
                                                      QDateTime::currentDateTimeUtc());
    painter->setPen(tertiary);
    painter->drawText(QRect(content.left(), y - lineHeight(caption()), content.width(), 2 * lineHeight(caption())),
                      Qt::AlignRight | Qt::AlignVCenter, date);
}

void TrashTileDelegate::paintCard(QPainter *painter, const QRect &tile, const QStyleOptionViewItem &option, int row,
                                  bool isHovered) const
{
    const auto *items = static_cast<const TrashItemModel *>(m_view->model());
    const CanvasCard *card = items->cardAt(row);
    if (!card)
        return;
    // The card tile every screen shows, so a deleted snip looks as it did.
    const CompactCardPreview preview(*card, items->boardTitle(*card), true);
    const qreal ring = m_view->tourRing() ? m_view->tourRing()->opacity(card->id()) : 0;
    preview.paint(painter, QRectF(tile).adjusted(0.5, 0.5, -0.5, -0.5), m_view->picture(row), option.palette, isHovered,
                  QDateTime::currentDateTimeUtc(), ring);
}

// ---- TrashView -----------------------------------------------------------

TrashView::TrashView(LibraryQuery &library, TrashModel::Actions actions, QWidget *parent)
    : QWidget(parent)
    , m_model(new TrashModel(library, std::move(actions), this))
{
    setWindowTitle(tr("Trash"));
    auto *scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(scroll);

    auto *page = new QWidget;
    auto *centring = new QHBoxLayout(page);
    centring->setContentsMargins(0, 0, 0, 0);
    auto *column = new QWidget;
    column->setMaximumWidth(1080 + 64);
    // The column takes the width up to its maximum; the rest is shared
    // evenly on both sides, which centres it.
    centring->addStretch(1);
    centring->addWidget(column, 100);
    centring->addStretch(1);
    auto *stack = new QVBoxLayout(column);
    stack->setContentsMargins(32, 30, 32, 30);
    stack->setSpacing(28);

    m_header = new StudioSectionHeader(tr("Trash"), m_model->contents().subtitle());
    stack->addWidget(m_header);

    m_emptyState = new StudioEmptyState(tr("Trash is empty"),
                                        tr("Boards and cards you remove will wait here so you can recover them."),
                                        QStringLiteral("trash"));
    m_emptyState->setMinimumHeight(300);
    stack->addWidget(m_emptyState);

    const auto makeSection = [this, stack](const QString &title, const QString &subtitle, TrashGridView *grid) {
        auto *section = new QWidget;
        auto *layout = new QVBoxLayout(section);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(12);
        layout->addWidget(new StudioSectionHeader(title, subtitle));
        layout->addWidget(grid);
        stack->addWidget(section);
        connect(grid, &TrashGridView::openRequested, this, [this, grid](int row) { m_model->open(grid->section(), row); });
        connect(grid, &TrashGridView::restoreRequested, this,
                [this, grid](int row) { m_model->restore(grid->section(), row); });
        connect(grid, &TrashGridView::deleteRequested, this,
                [this, grid](int row) { m_model->requestDeletion(grid->section(), row); });
        connect(grid, &QWidget::customContextMenuRequested, this, [this, grid](const QPoint &point) {
            QModelIndex index = grid->indexAt(point);
            QPoint at = point;
            // From the keyboard the menu belongs to the current tile.
            if (!index.isValid() && grid->hasFocus() && grid->currentIndex().isValid()) {
                index = grid->currentIndex();
                at = grid->tileRect(index.row()).center();
            }
            if (!index.isValid())
                return;
            QMenu *menu = makeContextMenu(grid->section(), index.row(), this);
            menu->setAttribute(Qt::WA_DeleteOnClose);
            menu->popup(grid->viewport()->mapToGlobal(at));
        });
        return section;
    };
    m_boardsGrid = new TrashGridView(m_model->boards(), 270, 360, 16,
                                     m_model->canDelete(TrashItemModel::Section::boards));
    m_boardsSection = makeSection(tr("Boards"), tr("Restoring a board returns all of its contents"), m_boardsGrid);
    m_cardsGrid = new TrashGridView(m_model->cards(), 230, 310, 14, m_model->canDelete(TrashItemModel::Section::cards));
    m_cardsSection = makeSection(tr("Cards"), tr("Items removed from boards that are still available"), m_cardsGrid);
    stack->addStretch(1);

    connect(m_model, &TrashModel::contentsChanged, this, &TrashView::syncContents);
    connect(m_model, &TrashModel::pendingDeletionChanged, this, &TrashView::syncConfirmation);
    syncContents();
    // Handed to the scroll area whole: it reads at once whether the page's
    // height follows its width, and a page handed in empty would keep it
    // that its height does not until a later pass, after the first paint.
    scroll->setWidget(page);
}

TrashGridView *TrashView::gridFor(TrashItemModel::Section section) const
{
    return section == TrashItemModel::Section::boards ? m_boardsGrid : m_cardsGrid;
}

QMenu *TrashView::makeContextMenu(TrashItemModel::Section section, int row, QWidget *parent)
{
    auto *menu = new QMenu(parent);
    const bool isBoard = section == TrashItemModel::Section::boards;
    // The menu stays up while the lists may change: it names its item.
    const QUuid id = m_model->idAt(section, row);
    menu->addAction(SymbolIcon::icon(restoreSymbol), isBoard ? tr("Restore Board") : tr("Restore Card"), this,
                    [this, section, id] { m_model->restore(section, id); });
    if (m_model->canDelete(section)) {
        menu->addSeparator();
        QAction *remove = menu->addAction(SymbolIcon::icon(deleteSymbol), deleteTitle(), this,
                                          [this, section, id] { m_model->requestDeletion(section, id); });
        remove->setProperty("destructive", true);
    }
    return menu;
}

void TrashView::setGuidedTour(GuidedTourTarget *tour)
{
    m_cardsGrid->tourRing()->setGuidedTour(tour);
}

void TrashView::syncContents()
{
    const TrashContents &contents = m_model->contents();
    m_header->setSubtitle(contents.subtitle());
    m_emptyState->setVisible(contents.isEmpty());
    m_boardsSection->setVisible(!contents.deletedBoards.isEmpty());
    m_cardsSection->setVisible(!contents.deletedCards.isEmpty());
    settleLayouts();
}

void TrashView::settleLayouts()
{
    // A grid that lost a line of tiles is shorter at once; its section, the
    // column and the scrolled page would each follow it an event later,
    // and the window paint every step between. They follow here, from the
    // grid up, so the next paint is the only one.
    m_cardsSection->layout()->activate();
    for (QWidget *widget = m_boardsSection; widget; widget = widget->parentWidget()) {
        if (QLayout *layout = widget->layout())
            layout->activate();
        if (qobject_cast<QScrollArea *>(widget)) {
            QEvent request(QEvent::LayoutRequest);
            QCoreApplication::sendEvent(widget, &request);
            return;
        }
    }
}

void TrashView::syncConfirmation()
{
    const bool pending = m_model->pendingDeletion().has_value();
    if (pending && !m_confirmation) {
        auto *box = new QMessageBox(QMessageBox::Warning, tr("Delete Permanently?"), tr("Delete Permanently?"),
                                    QMessageBox::NoButton, this);
        box->setInformativeText(tr("This cannot be undone."));
        box->setTextFormat(Qt::PlainText);
        QPushButton *confirm = box->addButton(deleteTitle(), QMessageBox::DestructiveRole);
        QPushButton *cancel = box->addButton(tr("Cancel"), QMessageBox::RejectRole);
        box->setDefaultButton(cancel);
        box->setEscapeButton(cancel);
        box->setAttribute(Qt::WA_DeleteOnClose);
        // The button's choice comes first; any other ending is a cancel.
        connect(box, &QMessageBox::buttonClicked, this, [this, confirm](QAbstractButton *button) {
            if (button == confirm)
                m_model->confirmDeletion();
            else
                m_model->cancelDeletion();
        });
        connect(box, &QDialog::finished, this, [this] { m_model->cancelDeletion(); });
        m_confirmation = box;
        box->open();
    } else if (!pending && m_confirmation) {
        QMessageBox *box = m_confirmation;
        m_confirmation = nullptr;
        if (box->isVisible())
            box->close();
    }
}

} // namespace tessaline

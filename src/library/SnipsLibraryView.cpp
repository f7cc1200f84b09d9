#include "library/SnipsLibraryView.h"

#include "runtime/LibraryQuery.h"
#include "design/DesignTokens.h"
#include "design/KeyboardFocusRing.h"
#include "design/QuietCanvas.h"
#include "design/SemanticColors.h"
#include "design/StudioEmptyState.h"
#include "design/StudioText.h"
#include "design/TessalinePrimaryButton.h"
#include "design/TextInputDirection.h"
#include "library/GridHover.h"
#include "library/SnipsLibraryModel.h"
#include "library/TileFaces.h"
#include "model/Board.h"
#include "model/CanvasCard.h"
#include "runtime/SnipImageCache.h"
#include "runtime/SnipPictureReading.h"
#include "platform/SymbolIcon.h"
#include "platform/TextUtilities.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QCache>
#include <QHash>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QResizeEvent>
#include <QScrollBar>
#include <QStackedWidget>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QVBoxLayout>

#include <cmath>
#include <functional>
#include <optional>

namespace tessaline {

namespace {

constexpr int minimumColumn = 210;
constexpr int maximumColumn = 300;
constexpr int columnGap = 16;
constexpr int rowGap = 18;
constexpr int gridPadding = 24;
constexpr int tilePadding = 10;
constexpr int tileSpacing = 10;
constexpr int textSpacing = 4;
constexpr qreal tileRadius = 13;
constexpr qreal previewRadius = 10;
constexpr qreal previewAspect = 1.6;

QFont titleFont()
{
    return TessalineTypography::systemFont(12, QFont::Medium);
}

QFont metaFont()
{
    return TessalineTypography::systemFont(10, QFont::Normal);
}

int previewHeight(int tileWidth)
{
    return int(std::lround((tileWidth - 2 * tilePadding) / previewAspect));
}

int tileHeight(int tileWidth)
{
    const QFontMetrics title(titleFont());
    const QFontMetrics meta(metaFont());
    return tilePadding + previewHeight(tileWidth) + tileSpacing + 2 * title.lineSpacing() + textSpacing
        + std::max(meta.height(), 10) + tilePadding;
}

// The tile of one snip: its picture filling a 1.6 : 1 frame, its caption or
// title on up to two lines, and its note and age below.
class SnipTileDelegate : public QStyledItemDelegate
{
public:
    SnipTileDelegate(SnipsLibraryModel *model, SnipImageCache *images, QAbstractItemView *view)
        : QStyledItemDelegate(view), m_model(model), m_images(images), m_focusRing(new KeyboardFocusRing(view))
    {
    }

    void setTileWidth(int width) { m_tileWidth = width; }
    // Hears, for each tile painted, its row and how long its date text
    // holds.
    std::function<void(int row, qint64 holdsFor)> datePainted;

    QSize sizeHint(const QStyleOptionViewItem &, const QModelIndex &) const override
    {
        return QSize(m_tileWidth, tileHeight(m_tileWidth));
    }

    // The row a card's tile was last painted at: a picture that arrives
    // repaints its own tile, not every tile on the screen. It may be stale
    // after the list changed, hence the caller checks it against the model.
    std::optional<int> paintedRow(const QUuid &cardID) const
    {
        const auto row = m_paintedRows.constFind(cardID);
        return row == m_paintedRows.cend() ? std::nullopt : std::optional<int>(*row);
    }

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        const CanvasCard *card = m_model->cardAt(index.row());
        if (!card)
            return;
        // Only tiles on the screen are painted, so this stays a few screenfuls.
        if (m_paintedRows.size() > 1024)
            m_paintedRows.clear();
        m_paintedRows.insert(card->id(), index.row());
        const QPalette &palette = option.palette;
        const bool hovered = option.state.testFlag(QStyle::State_MouseOver);
        const QRectF tile = QRectF(option.rect).adjusted(0.5, 0.5, -0.5, -0.5);

        const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        const QRect preview(option.rect.left() + tilePadding, option.rect.top() + tilePadding,
                            option.rect.width() - 2 * tilePadding, previewHeight(option.rect.width()));
        const std::optional<QPixmap> picture = previewPicture(*card, preview.size(), ratio);

        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setRenderHint(QPainter::SmoothPixmapTransform);
        painter->drawPixmap(option.rect.topLeft(), frame(option.rect.size(), hovered, !picture, palette, ratio));
        if (picture)
            painter->drawPixmap(preview.topLeft(), *picture);
        else if (m_images->state(*card) == SnipImageCache::State::unavailable)
            paintUnavailable(painter, preview, palette, ratio);

        // Text block.
        const QColor label = semanticColor(SemanticColor::label, palette);
        const QColor secondary = semanticColor(SemanticColor::secondary, palette);
        const QFont title = titleFont();
        const QFontMetrics titleMetrics(title);
        const int textLeft = option.rect.left() + tilePadding;
        const int textWidth = option.rect.width() - 2 * tilePadding;
        int y = preview.bottom() + 1 + tileSpacing;
        painter->setFont(title);
        painter->setPen(label);
        const QRect titleRect(textLeft, y, textWidth, 2 * titleMetrics.lineSpacing());
        painter->drawText(titleRect, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
                          titleLines(index.data(SnipsLibraryModel::TileTitleRole).toString(), title, textWidth));
        y = titleRect.bottom() + 1 + textSpacing;

        const QFont meta = metaFont();
        const QFontMetrics metaMetrics(meta);
        const int metaHeight = std::max(metaMetrics.height(), 10);
        painter->setFont(meta);
        painter->setPen(secondary);
        const QPixmap symbol = SymbolIcon::tintedPixmap(QStringLiteral("note.text"), QSize(10, 10), ratio, secondary);
        painter->drawPixmap(QRect(textLeft, y + (metaHeight - 10) / 2, 10, 10), symbol);
        const QString date = index.data(SnipsLibraryModel::DateTextRole).toString();
        if (datePainted)
            datePainted(index.row(), index.data(SnipsLibraryModel::DateTextChangeRole).toLongLong());
        const int dateWidth = metaMetrics.horizontalAdvance(date);
        const int noteLeft = textLeft + 10 + 5;
        const int noteWidth = std::max(0, textLeft + textWidth - dateWidth - 4 - 5 - noteLeft);
        const QString note = elidedInItsOwnDirection(index.data(SnipsLibraryModel::NoteTitleRole).toString(),
                                                     QFontMetricsF(meta), noteWidth);
        painter->drawText(QRect(noteLeft, y, noteWidth, metaHeight), Qt::AlignLeft | Qt::AlignVCenter, note);
        painter->drawText(QRect(textLeft, y, textWidth, metaHeight), Qt::AlignRight | Qt::AlignVCenter, date);
        m_focusRing->paint(painter, option, tile, tileRadius);
        painter->restore();
    }

private:
    // Kept per text, font and width: the grid is painted again as each
    // picture arrives, and breaking a caption measures its beginnings one by
    // one, most of what painting a screenful of long captions cost.
    QString titleLines(const QString &text, const QFont &font, int width) const
    {
        const QString key = font.key() + QLatin1Char('/') + QString::number(width) + QLatin1Char('/') + text;
        if (const QString *kept = m_titleLines.object(key))
            return *kept;
        const QString lines = twoLines(text, font, width);
        m_titleLines.insert(key, new QString(lines));
        return lines;
    }

    static QString twoLines(const QString &text, const QFont &font, int width)
    {
        const QFontMetrics metrics(font);
        // Whole words on the first line, the rest elided on the second.
        const QString flat = QString(text).replace(QLatin1Char('\n'), QLatin1Char(' '));
        if (metrics.horizontalAdvance(flat) <= width)
            return flat;
        int cut = 0;
        for (int i = 1; i <= flat.size(); ++i) {
            if (metrics.horizontalAdvance(flat.left(i)) > width)
                break;
            cut = i;
        }
        const int space = flat.lastIndexOf(QLatin1Char(' '), cut);
        if (space > 0)
            cut = space + 1;
        if (cut <= 0)
            return elidedInItsOwnDirection(flat, QFontMetricsF(font), width);
        return flat.left(cut).trimmed() + QLatin1Char('\n')
            + elidedInItsOwnDirection(flat.mid(cut).trimmed(), QFontMetricsF(font), width);
    }

    // The tile's rounded face and border, and the empty picture frame while
    // there is no picture: the same for every tile of a size.
    QPixmap frame(const QSize &size, bool hovered, bool emptyPicture, const QPalette &palette, qreal ratio) const
    {
        const QColor face = withOpacity(semanticColor(SemanticColor::primary, palette), hovered ? 0.065 : 0.035);
        const QColor edge = withOpacity(semanticColor(SemanticColor::separator, palette), hovered ? 0.9 : 0.45);
        const QColor empty = withOpacity(semanticColor(SemanticColor::primary, palette), 0.035);
        const QString look = QStringLiteral("%1/%2/%3")
                                 .arg(face.rgba())
                                 .arg(edge.rgba())
                                 .arg(emptyPicture ? QString::number(empty.rgba()) : QStringLiteral("-"));
        return m_frames.face(look, size, ratio, [&](QPainter &painter) {
            const QRectF tile = QRectF(QPointF(), QSizeF(size)).adjusted(0.5, 0.5, -0.5, -0.5);
            QPainterPath outline;
            outline.addRoundedRect(tile, tileRadius, tileRadius);
            painter.fillPath(outline, face);
            if (emptyPicture) {
                QPainterPath picture;
                picture.addRoundedRect(QRectF(tilePadding, tilePadding, size.width() - 2 * tilePadding,
                                              previewHeight(size.width())),
                                       previewRadius, previewRadius);
                painter.fillPath(picture, empty);
            }
            QPen border(edge);
            border.setWidthF(1);
            painter.setPen(border);
            painter.setBrush(Qt::NoBrush);
            painter.drawRoundedRect(tile, tileRadius, tileRadius);
        });
    }

    // The card's picture filling the frame with its corners rounded, once it
    // is ready; cut again whenever the image cache hands out another pixmap.
    std::optional<QPixmap> previewPicture(const CanvasCard &card, const QSize &frame, qreal ratio) const
    {
        const std::optional<QSize> size = m_images->imageSize(card);
        if (m_images->state(card) != SnipImageCache::State::ready || !size || size->isEmpty())
            return std::nullopt;
        // Scaled to fill the frame, the overflow cropped by the rounded clip.
        const qreal scale = std::max(qreal(frame.width()) / size->width(), qreal(frame.height()) / size->height());
        const QSizeF logical(size->width() * scale, size->height() * scale);
        const QSize device(int(std::ceil(logical.width() * ratio)), int(std::ceil(logical.height() * ratio)));
        const QPixmap source = m_images->pixmap(card, device);
        if (source.isNull())
            return std::nullopt;
        const QString key =
            QStringLiteral("%1/%2x%3@%4").arg(source.cacheKey()).arg(frame.width()).arg(frame.height()).arg(ratio);
        if (const QPixmap *kept = m_pictures.object(key))
            return *kept;
        QPixmap rounded((QSizeF(frame) * ratio).toSize());
        rounded.setDevicePixelRatio(ratio);
        rounded.fill(Qt::transparent);
        QPainter painter(&rounded);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        QPainterPath clip;
        clip.addRoundedRect(QRectF(QPointF(), QSizeF(frame)), previewRadius, previewRadius);
        painter.setClipPath(clip);
        const QRectF target(frame.width() / 2.0 - logical.width() / 2, frame.height() / 2.0 - logical.height() / 2,
                            logical.width(), logical.height());
        painter.drawPixmap(target, source, QRectF(source.rect()));
        painter.end();
        m_pictures.insert(key, new QPixmap(rounded), std::max(1, int(rounded.width() * rounded.height() * 4 / 1024)));
        return rounded;
    }

    static void paintUnavailable(QPainter *painter, const QRect &frame, const QPalette &palette, qreal ratio)
    {
        const QColor tertiary = semanticColor(SemanticColor::tertiary, palette);
        const QSize symbolSize(22, 22);
        const QPixmap symbol = SymbolIcon::tintedPixmap(QStringLiteral("photo"), symbolSize, ratio, tertiary);
        QRect place(QPoint(), symbolSize);
        place.moveCenter(frame.center());
        painter->drawPixmap(place, symbol);
    }

    SnipsLibraryModel *m_model;
    SnipImageCache *m_images;
    KeyboardFocusRing *m_focusRing;
    int m_tileWidth = minimumColumn;
    // A few screenfuls of tiles.
    mutable QCache<QString, QString> m_titleLines{256};
    // A few sizes, hovered or not, with or without a picture.
    TileFaces m_frames{16};
    // A screenful of pictures or more, in KiB: they are cut again from the
    // image cache's when gone.
    mutable QCache<QString, QPixmap> m_pictures{24 * 1024};
    mutable QHash<QUuid, int> m_paintedRows;
};

// The list view with the grid's padding inside its scrolling area.
class SnipGrid : public QListView
{
public:
    SnipGrid(std::function<void(const QModelIndex &)> open, QWidget *parent)
        : QListView(parent), m_open(std::move(open))
    {
        // Each tile sits at the left of a cell one gap wider, so the tiles
        // stay 24 points in on the left and the right margin gives the last
        // cell's gap back.
        setViewportMargins(gridPadding, gridPadding, gridPadding - columnGap, gridPadding);
    }

protected:
    // A tile is a button: Return, Enter or Space on the one the arrow keys
    // reached opens it as a click does.
    void keyPressEvent(QKeyEvent *event) override
    {
        if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter || event->key() == Qt::Key_Space)
            && currentIndex().isValid()) {
            m_open(currentIndex());
            return;
        }
        QListView::keyPressEvent(event);
    }
    bool viewportEvent(QEvent *event) override
    {
        if (deliverHoverEdgeAsMove(event, [this](QEvent *moved) { QListView::viewportEvent(moved); }))
            return true;
        return QListView::viewportEvent(event);
    }

private:
    std::function<void(const QModelIndex &)> m_open;
};

} // namespace

SnipsLibraryView::SnipsLibraryView(LibraryQuery &library, NavigationState &navigation, SnipsLibraryServices services,
                                   QWidget *parent)
    : QWidget(parent),
      m_services(std::move(services)),
      m_model(new SnipsLibraryModel(library, navigation, this)),
      m_images(new SnipImageCache(this))
{
    setWindowTitle(tr("Snips"));

    // The column fills the canvas (its content starts top-leading); a
    // placed column would shrink to its size hint.
    auto *canvas = new QuietCanvas(Qt::Alignment(), this);
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(canvas);

    auto *column = new QWidget;
    auto *stack = new QVBoxLayout(column);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(0);

    // Header.
    auto *header = new QWidget;
    header->setFixedHeight(64);
    auto *row = new QHBoxLayout(header);
    row->setContentsMargins(24, 0, 24, 0);
    row->setSpacing(12);
    auto *titles = new QVBoxLayout;
    titles->setSpacing(2);
    titles->addStretch(1);
    titles->addWidget(new StudioText(tr("Snips"), TessalineTypography::systemFont(20, QFont::DemiBold),
                                     SemanticColor::label));
    titles->addWidget(new StudioText(tr("Every screenshot, still connected to its note"),
                                     TessalineTypography::systemFont(11, QFont::Normal), SemanticColor::secondary));
    titles->addStretch(1);
    row->addLayout(titles);
    row->addStretch(1);
    m_filter = new QLineEdit;
    m_filter->setPlaceholderText(tr("Search snips"));
    m_filter->setFixedWidth(220);
    m_filter->setClearButtonEnabled(false);
    textInputDirection(m_filter);
    row->addWidget(m_filter);
    m_capture = new TessalinePrimaryButton(tr("Capture"), QStringLiteral("viewfinder"));
    row->addWidget(m_capture);
    stack->addWidget(header);

    m_divider = new QWidget;
    m_divider->setFixedHeight(1);
    m_divider->setAutoFillBackground(true);
    updateDivider();
    stack->addWidget(m_divider);

    // Content.
    m_content = new QStackedWidget;
    const auto openPreview = [this](const QModelIndex &index) {
        if (const CanvasCard *card = m_model->cardAt(index.row()))
            m_model->openPreview(card);
    };
    m_grid = new SnipGrid(openPreview, m_content);
    // The list mode's static layout places a cell per snip by arithmetic;
    // the icon mode would make and sort an item for each of tens of
    // thousands of snips every time the screen comes up.
    m_grid->setViewMode(QListView::ListMode);
    m_grid->setFlow(QListView::LeftToRight);
    m_grid->setWrapping(true);
    m_grid->setResizeMode(QListView::Adjust);
    m_grid->setMovement(QListView::Static);
    m_grid->setUniformItemSizes(true);
    m_grid->setSelectionMode(QAbstractItemView::NoSelection);
    m_grid->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_grid->setFrameShape(QFrame::NoFrame);
    m_grid->setMouseTracking(true);
    m_grid->viewport()->setAttribute(Qt::WA_Hover);
    m_grid->viewport()->setAutoFillBackground(false);
    m_grid->setContextMenuPolicy(Qt::CustomContextMenu);
    m_grid->setModel(m_model);
    auto *tiles = new SnipTileDelegate(m_model, m_images, m_grid);
    m_grid->setItemDelegate(tiles);
    // One timer for the whole grid, set for the first date text among the
    // tiles painted to read otherwise ("3 seconds ago" a second later);
    // painting them anew sets it again.
    m_dateTimer = new QTimer(this);
    m_dateTimer->setSingleShot(true);
    tiles->datePainted = [this](int row, qint64 holdsFor) {
        m_datedRows = {std::min(m_datedRows.first, row), std::max(m_datedRows.second, row)};
        const qint64 wait = std::clamp<qint64>(holdsFor, 0, std::numeric_limits<int>::max());
        if (!m_dateTimer->isActive() || wait < m_dateTimer->remainingTime())
            m_dateTimer->start(int(wait));
    };
    connect(m_dateTimer, &QTimer::timeout, this, [this] {
        const auto rows = std::exchange(m_datedRows, {std::numeric_limits<int>::max(), -1});
        m_model->refreshDateTexts(rows.first, rows.second);
    });
    m_grid->setAccessibleName(tr("Snips"));
    m_content->addWidget(m_grid);

    m_noMatches = new StudioEmptyState(tr("No matching snips"),
                                       tr("Try a different title, caption, source, or recognized word."),
                                       QStringLiteral("magnifyingglass"));
    m_noSnips = new StudioEmptyState(
        tr("No snips yet"), tr("Capture any part of your screen and it will appear here and inside the selected note."),
        QStringLiteral("photo.on.rectangle"), tr("Capture Region"), QStringLiteral("viewfinder"), [this] {
            if (m_services.captureRegion)
                m_services.captureRegion();
        });
    m_content->addWidget(m_noMatches);
    m_content->addWidget(m_noSnips);
    stack->addWidget(m_content, 1);
    canvas->setContent(column);

    connect(m_filter, &QLineEdit::textChanged, this, [this](const QString &text) {
        m_model->setQuery(text);
        textInputDirection(m_filter);
    });
    connect(m_capture, &QAbstractButton::clicked, this, [this] {
        if (m_services.captureRegion)
            m_services.captureRegion();
    });
    connect(m_grid, &QAbstractItemView::clicked, this, openPreview);
    connect(m_grid, &QWidget::customContextMenuRequested, this, &SnipsLibraryView::showCardMenu);
    connect(m_model, &SnipsLibraryModel::contentChanged, this, &SnipsLibraryView::updateContent);
    connect(m_model, &SnipsLibraryModel::errorMessageChanged, this, &SnipsLibraryView::updateAlert);
    m_grid->viewport()->installEventFilter(this);
    connect(m_images, &SnipImageCache::imageReady, this, &SnipsLibraryView::repaintTile);

    updateContent();
    updateGridSize();
}

SnipsLibraryView::~SnipsLibraryView() = default;

StudioEmptyState *SnipsLibraryView::emptyState() const
{
    return m_content->currentWidget() == m_grid ? nullptr : static_cast<StudioEmptyState *>(m_content->currentWidget());
}

int SnipsLibraryView::columnWidth(int availableWidth)
{
    // Cells are a tile and one gap wide, and a row holds only whole cells.
    const int columns = std::max(1, availableWidth / (minimumColumn + columnGap));
    return std::clamp(availableWidth / columns - columnGap, minimumColumn, maximumColumn);
}

bool SnipsLibraryView::eventFilter(QObject *watched, QEvent *event)
{
    // The grid's own width settles after the screen's layout has run, so
    // the columns follow the viewport rather than the screen.
    if (watched == m_grid->viewport() && event->type() == QEvent::Resize)
        updateGridSize();
    return QWidget::eventFilter(watched, event);
}

void SnipsLibraryView::updateGridSize()
{
    const int scrollBar = m_grid->verticalScrollBar()->isVisible() ? 0 : m_grid->verticalScrollBar()->sizeHint().width();
    // A list view fits a row into its width less one pixel: cells exactly
    // as wide as the viewport would send the last column to the next row.
    const int available = std::max(minimumColumn, m_grid->viewport()->width() - scrollBar - 1);
    const int width = columnWidth(available);
    auto *delegate = static_cast<SnipTileDelegate *>(m_grid->itemDelegate());
    delegate->setTileWidth(width);
    const QSize cell(width + columnGap, tileHeight(width) + rowGap);
    if (m_grid->gridSize() != cell)
        m_grid->setGridSize(cell);
}

void SnipsLibraryView::repaintTile(const QUuid &cardID)
{
    // Pictures arrive one by one for a screenful of tiles; repainting the
    // whole grid for each kept the screen busy for as long as they came in.
    const auto *delegate = static_cast<const SnipTileDelegate *>(m_grid->itemDelegate());
    const std::optional<int> row = delegate->paintedRow(cardID);
    const CanvasCard *card = row ? m_model->cardAt(*row) : nullptr;
    if (card && card->id() == cardID)
        m_grid->viewport()->update(m_grid->visualRect(m_model->index(*row)));
    else
        m_grid->viewport()->update();
}

void SnipsLibraryView::updateDivider()
{
    QPalette palette = m_divider->palette();
    palette.setColor(QPalette::Window, semanticColor(SemanticColor::separator, this->palette()));
    m_divider->setPalette(palette);
}

void SnipsLibraryView::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        updateDivider();
}

void SnipsLibraryView::updateContent()
{
    switch (m_model->content()) {
    case SnipsLibraryModel::Content::grid:
        m_content->setCurrentWidget(m_grid);
        break;
    case SnipsLibraryModel::Content::noMatches:
        m_content->setCurrentWidget(m_noMatches);
        break;
    case SnipsLibraryModel::Content::noSnips:
        m_content->setCurrentWidget(m_noSnips);
        break;
    }
}

void SnipsLibraryView::updateAlert()
{
    const std::optional<QString> message = m_model->errorMessage();
    if (!message) {
        if (m_alert)
            m_alert->close();
        return;
    }
    if (!m_alert) {
        m_alert = new QMessageBox(QMessageBox::Warning, tr("Couldn’t finish that action"),
                                  tr("Couldn’t finish that action"), QMessageBox::Ok, this);
        m_alert->setAttribute(Qt::WA_DeleteOnClose);
        m_alert->setWindowModality(Qt::WindowModal);
        connect(m_alert, &QDialog::finished, this, [this] { m_model->setErrorMessage(std::nullopt); });
    }
    m_alert->setInformativeText(message->isEmpty() ? tr("Unknown error") : *message);
    m_alert->open();
}

void SnipsLibraryView::showCardMenu(const QPoint &position)
{
    const QModelIndex index = m_grid->indexAt(position);
    CanvasCard *card = m_model->cardAt(index.row());
    if (!index.isValid() || !card)
        return;
    QMenu *menu = cardMenu(card, this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(m_grid->viewport()->mapToGlobal(position));
}

QMenu *SnipsLibraryView::cardMenu(CanvasCard *card, QWidget *parent)
{
    // The card may leave the library while the menu is up (a save elsewhere
    // re-reads the lists); each entry looks it up again by id.
    const QUuid cardID = card->id();
    auto live = [this, cardID]() -> CanvasCard * { return m_model->library().firstCard(cardID); };
    auto *menu = new QMenu(parent);
    auto add = [&](QMenu *target, const QString &title, const QString &symbol, std::function<void(CanvasCard *)> run) {
        QAction *action = target->addAction(SymbolIcon::icon(symbol), title);
        connect(action, &QAction::triggered, this, [live, run = std::move(run)] {
            if (CanvasCard *current = live())
                run(current);
        });
        return action;
    };

    add(menu, tr("Open Preview"), QStringLiteral("eye"), [this](CanvasCard *c) { m_model->openPreview(c); });
    add(menu, tr("Show in Note"), QStringLiteral("note.text"), [this](CanvasCard *c) { m_model->showInNote(c); });

    QMenu *notes = menu->addMenu(SymbolIcon::icon(QStringLiteral("note.text.badge.plus")), m_model->noteMenuTitle(card));
    const QList<Board *> targets = m_model->noteTargets(card);
    if (targets.isEmpty()) {
        notes->addAction(tr("No other notes"))->setEnabled(false);
        notes->setEnabled(false);
    }
    for (const Board *target : targets) {
        const QUuid noteID = target->id();
        QAction *action = notes->addAction(menuEscapedText(target->title()));
        connect(action, &QAction::triggered, this, [this, live, noteID] {
            CanvasCard *current = live();
            const Board *note = m_model->library().firstBoard(noteID);
            if (current && note)
                m_model->addSnip(current, note);
        });
    }
    menu->addSeparator();

    add(menu, tr("Copy"), QStringLiteral("doc.on.doc"), [this](CanvasCard *c) { copyImage(c); });
    add(menu, tr("Save As…"), QStringLiteral("square.and.arrow.down"), [this](CanvasCard *c) { saveImage(c); });
    add(menu, tr("Annotate"), QStringLiteral("pencil.tip"), [this](CanvasCard *c) {
        m_model->setNavigationCardID(c, SnipsLibraryModel::NavigationTarget::captureReview);
    });
    add(menu, tr("Copy with Frame…"), QStringLiteral("rectangle.inset.filled"), [this](CanvasCard *c) {
        m_model->setNavigationCardID(c, SnipsLibraryModel::NavigationTarget::frameComposer);
    });
    QAction *pin = add(menu, tr("Pin"), QStringLiteral("pin"), [this](CanvasCard *c) {
        if (m_services.pinCard && c->hasOriginalImageData())
            m_services.pinCard(*c);
    });
    pin->setEnabled(bool(m_services.pinCard));
    menu->addSeparator();
    add(menu, tr("Move to Recently Deleted"), QStringLiteral("trash"), [this](CanvasCard *c) { m_model->moveToTrash(c); });
    return menu;
}

void SnipsLibraryView::copyImage(const CanvasCard *card)
{
    if (m_services.pasteboard)
        m_model->copyImage(card, *m_services.pasteboard);
}

void SnipsLibraryView::saveImage(const CanvasCard *card)
{
    if (!m_services.saveImage)
        return;
    exportSnipPicture(this, *card, [this](const CanvasCard &saved, const QImage &image) {
        m_services.saveImage(image, saved.displayTitle(), this,
                             [model = QPointer<SnipsLibraryModel>(m_model)](const SaveFileOutcome &outcome) {
                                 if (model && !outcome)
                                     model->setErrorMessage(outcome.error());
                             });
    });
}

} // namespace tessaline

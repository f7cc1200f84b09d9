#include "library/SearchView.h"

#include "runtime/LibraryQuery.h"
#include "design/DesignEnvironment.h"
#include "design/DesignTokens.h"
#include "design/GuidedTourHighlight.h"
#include "design/KeyboardFocusRing.h"
#include "design/PaintOverlay.h"
#include "design/QuietCanvas.h"
#include "design/SemanticColors.h"
#include "design/StudioContentComponents.h"
#include "design/StudioEmptyState.h"
#include "design/StudioSectionHeader.h"
#include "design/TextInputDirection.h"
#include "design/WrappedLines.h"
#include "library/CompactCardPreview.h"
#include "library/SearchCorpus.h"
#include "library/SearchScreenModel.h"
#include "model/Board.h"
#include "model/CanvasCard.h"
#include "runtime/SnipImageCache.h"
#include "platform/SymbolIcon.h"
#include "platform/TextUtilities.h"

#include <QAbstractItemDelegate>
#include <QButtonGroup>
#include <QFontMetrics>
#include <QHash>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QAbstractListModel>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <optional>

namespace tessaline {

namespace {

constexpr int IdRole = Qt::UserRole + 1;
constexpr int RowRole = Qt::UserRole + 2;
constexpr int gridSpacing = 14;

// The width of one tile in the grid showing it: each delegate asks for
// exactly that, so the list view, which centres an item in its cell, puts it
// flush with the cell instead of pushing it past the cell's right edge.
int gridTileWidth(const QWidget *grid);

// What one note hit shows: its tag, title, excerpt, folder and date.
struct NoteSearchResultRow
{
    QString title;
    QString excerpt;
    bool isInbox = false;
    bool isFavorite = false;
    QString folderName;
    QDateTime updatedAt;

    static int height()
    {
        using namespace TessalineTypography;
        return 14 + 22 + 10 + 2 * QFontMetrics(TessalineTypography::title()).lineSpacing() + 10 + 3 * QFontMetrics(body()).lineSpacing()
            + 10 + QFontMetrics(caption()).lineSpacing() + 14;
    }
};

// Rows of a hit list, made the first time something asks for one (the view
// paints its tile, a screen reader asks its name): a search with thousands
// of hits builds only what is looked at.
template<typename Row>
class LazyRows
{
public:
    void reset(qsizetype count, std::function<Row(qsizetype)> make)
    {
        m_rows.clear();
        m_count = count;
        m_make = std::move(make);
    }
    qsizetype size() const { return m_count; }
    const Row *at(qsizetype row) const
    {
        if (row < 0 || row >= m_count)
            return nullptr;
        auto found = m_rows.find(row);
        if (found == m_rows.end())
            found = m_rows.insert(row, m_make(row));
        return &*found;
    }

private:
    qsizetype m_count = 0;
    std::function<Row(qsizetype)> m_make;
    mutable QHash<qsizetype, Row> m_rows;
};

class NoteRowDelegate : public QAbstractItemDelegate
{
public:
    explicit NoteRowDelegate(QAbstractItemView *view)
        : QAbstractItemDelegate(view)
        , m_focusRing(new KeyboardFocusRing(view))
    {
    }
    LazyRows<NoteSearchResultRow> rows;

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &) const override
    {
        return QSize(gridTileWidth(option.widget), NoteSearchResultRow::height());
    }

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        const NoteSearchResultRow *found = rows.at(index.data(RowRole).toInt());
        if (!found)
            return;
        const NoteSearchResultRow &note = *found;
        const QPalette &palette = option.palette;
        const QRectF rect = QRectF(option.rect).adjusted(0.5, 0.5, -0.5, -0.5);
        QuietCardSurface surface;
        surface.hoverAmount = option.state & QStyle::State_MouseOver ? 1 : 0;
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        paintQuietCardBackground(painter, rect, surface, palette, false);
        const qreal left = rect.left() + 14;
        const qreal width = rect.width() - 28;
        qreal y = rect.top() + 14;
        const QRectF tag = paintStudioTag(painter, QPointF(left, y),
                                          note.isInbox ? QStringLiteral("Quick Captures") : QStringLiteral("Note"),
                                          note.isInbox ? QStringLiteral("tray") : QStringLiteral("note.text"), false,
                                          palette, false, width - 20);
        if (note.isFavorite)
            SymbolIcon::icon(QStringLiteral("star.fill")).paint(painter, QRectF(left + width - 12, tag.center().y() - 6, 12, 12).toRect());
        y = tag.bottom() + 10;
        painter->setPen(semanticColor(SemanticColor::primary, palette));
        y += drawWrappedLines(painter, note.title, TessalineTypography::title(), QRectF(left, y, width, 0), 2) + 10;
        if (!note.excerpt.isEmpty()) {
            painter->setPen(semanticColor(SemanticColor::secondary, palette));
            drawWrappedLines(painter, note.excerpt, TessalineTypography::body(), QRectF(left, y, width, 0), 3);
        }
        const QFont caption = TessalineTypography::caption();
        const QFontMetrics metrics(caption);
        painter->setFont(caption);
        painter->setPen(semanticColor(SemanticColor::tertiary, palette));
        const qreal footerY = rect.bottom() - 14 - metrics.lineSpacing();
        const QString date = relativeTimeText(note.updatedAt, QDateTime::currentDateTimeUtc());
        const int dateWidth = metrics.horizontalAdvance(date);
        painter->drawText(QRectF(left + width - dateWidth, footerY, dateWidth, metrics.lineSpacing()), Qt::AlignVCenter, date);
        if (!note.folderName.isEmpty()) {
            SymbolIcon::icon(QStringLiteral("folder")).paint(painter, QRectF(left, footerY, 12, 12).toRect());
            const qreal textWidth = width - dateWidth - 20;
            painter->drawText(QRectF(left + 16, footerY, textWidth, metrics.lineSpacing()), Qt::AlignVCenter,
                              elidedInItsOwnDirection(note.folderName, QFontMetricsF(caption), textWidth));
        }
        paintQuietCardOverlay(painter, rect, surface, palette, false);
        m_focusRing->paint(painter, option, rect, surface.cornerRadius);
        painter->restore();
    }

private:
    KeyboardFocusRing *m_focusRing;
};

// A snip hit's tile, as every tile of the screen is made.
CompactCardPreview snipTile(const CanvasCard &card, const SearchResults &found)
{
    std::optional<QString> boardTitle;
    if (const Board *note = found.boardsByID().value(card.boardID()))
        boardTitle = note->title();
    return CompactCardPreview(card, boardTitle, true);
}

class SnipTileDelegate : public QAbstractItemDelegate
{
public:
    SnipTileDelegate(SnipImageCache &images, QAbstractItemView *view)
        : QAbstractItemDelegate(view)
        , m_images(images)
        , m_focusRing(new KeyboardFocusRing(view))
    {
    }
    LazyRows<std::optional<CompactCardPreview>> previews;
    // The search the tiles were listed by.
    std::shared_ptr<const SearchResults> found;

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &) const override
    {
        return QSize(gridTileWidth(option.widget), CompactCardPreview::height(true));
    }

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        const int row = index.data(RowRole).toInt();
        const std::optional<CompactCardPreview> *preview = previews.at(row);
        if (!preview || !*preview)
            return;
        QPixmap image;
        if (CanvasCard *card = cardOf(index)) {
            // Only tiles in view are painted, so this stays a few screenfuls.
            if (m_paintedRows.size() > 1024)
                m_paintedRows.clear();
            m_paintedRows.insert(card->id(), index.row());
            if (m_images.state(*card) == SnipImageCache::State::ready) {
                const qreal ratio = painter->device()->devicePixelRatioF();
                image = m_images.coveringPixmap(*card, CompactCardPreview::pictureSize(option.rect.width(), ratio));
            }
        }
        const QRectF tile = QRectF(option.rect).adjusted(0.5, 0.5, -0.5, -0.5);
        (*preview)->paint(painter, tile, image, option.palette, option.state & QStyle::State_MouseOver,
                          QDateTime::currentDateTimeUtc());
        m_focusRing->paint(painter, option, tile, QuietCardSurface().cornerRadius);
    }

    // The row a card's tile was last painted at, while it still shows that
    // card: a picture that arrives repaints its own tile, not every tile.
    std::optional<int> paintedRow(const QUuid &cardID, const QAbstractItemModel &model) const
    {
        const auto row = m_paintedRows.constFind(cardID);
        if (row == m_paintedRows.cend())
            return std::nullopt;
        const CanvasCard *card = cardOf(model.index(*row, 0));
        return card && card->id() == cardID ? std::optional<int>(*row) : std::nullopt;
    }

private:
    CanvasCard *cardOf(const QModelIndex &index) const
    {
        return found && index.isValid() ? found->snipResults().value(index.data(RowRole).toInt()) : nullptr;
    }

    SnipImageCache &m_images;
    KeyboardFocusRing *m_focusRing;
    mutable QHash<QUuid, int> m_paintedRows;
};

// A grid of equal tiles that wraps to its width and is as tall as its rows,
// so the screen's own scroll area does the scrolling.
class ResultGrid : public QListView
{
public:
    ResultGrid(int minimumColumn, int maximumColumn, int tileHeight, QWidget *parent)
        : QListView(parent), m_minimum(minimumColumn), m_maximum(maximumColumn), m_tileHeight(tileHeight)
    {
        // A list that wraps places each cell by arithmetic; the icon mode
        // would make, place and index an item for each of thousands of
        // hits at every key.
        setViewMode(QListView::ListMode);
        setFlow(QListView::LeftToRight);
        setMovement(QListView::Static);
        setResizeMode(QListView::Adjust);
        setWrapping(true);
        setUniformItemSizes(true);
        setSelectionMode(QAbstractItemView::NoSelection);
        setFrameShape(QFrame::NoFrame);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setMouseTracking(true);
        setContextMenuPolicy(Qt::CustomContextMenu);
        viewport()->setAutoFillBackground(false);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }

    // As many columns of at least the narrowest tile as fit, each an equal
    // share of the width (so the list view, which wraps a row where the
    // next cell would pass its right edge, puts exactly that many on each
    // row); the tile fills its cell less the gap, up to the widest tile.
    // The grid is as tall as its rows: every hit shows, and the screen's
    // own scroll area does the scrolling.
    int columns() const { return std::max(1, viewport()->width() / (m_minimum + gridSpacing)); }

    void relayout()
    {
        const int count = model() ? model()->rowCount() : 0;
        const int columns = this->columns();
        const int cell = std::max(1, (viewport()->width() - 1) / columns);
        m_tileWidth = std::clamp(cell - gridSpacing, 1, m_maximum);
        setGridSize(QSize(cell, m_tileHeight + gridSpacing));
        const int rows = (count + columns - 1) / columns;
        setFixedHeight(std::max(0, rows * (m_tileHeight + gridSpacing) - gridSpacing));
        doItemsLayout();
    }

    int tileWidth() const { return m_tileWidth; }

protected:
    void resizeEvent(QResizeEvent *event) override
    {
        QListView::resizeEvent(event);
        relayout();
    }

    // The list view counts the gap below the last row as content, so it
    // would keep a step to scroll by and take the wheel from the page. The
    // grid shows every tile: it never scrolls.
    void updateGeometries() override
    {
        QListView::updateGeometries();
        verticalScrollBar()->setRange(0, 0);
        horizontalScrollBar()->setRange(0, 0);
    }

    // A hit is a button: Space opens the one the arrow keys reached, as
    // Return and Enter do.
    void keyPressEvent(QKeyEvent *event) override
    {
        if (event->key() == Qt::Key_Space && currentIndex().isValid()) {
            Q_EMIT activated(currentIndex());
            return;
        }
        QListView::keyPressEvent(event);
    }

    QStyleOptionViewItem tileOption() const
    {
        QStyleOptionViewItem option;
        initViewItemOption(&option);
        return option;
    }

    // Tiles fill their grid cell less the gap, flush to the cell's corner.
    QRect visualRect(const QModelIndex &index) const override
    {
        const QRect cell = QListView::visualRect(index);
        return QRect(cell.topLeft(), QSize(m_tileWidth, m_tileHeight));
    }

private:
    int m_minimum;
    int m_maximum;
    int m_tileHeight;
    int m_tileWidth = 240;
};

int gridTileWidth(const QWidget *grid)
{
    const auto *shown = dynamic_cast<const ResultGrid *>(grid);
    return shown ? shown->tileWidth() : 240;
}

QLabel *makeLabel(const QFont &font, QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setFont(font);
    label->setTextFormat(Qt::PlainText);
    return label;
}

} // namespace

// A hit list's rows: each hit's id and spoken name, asked for only when
// read, so a search with thousands of hits copies nothing per hit.
class HitListModel : public QAbstractListModel
{
public:
    using QAbstractListModel::QAbstractListModel;

    void reset(qsizetype count, std::function<QUuid(qsizetype)> id, std::function<QString(qsizetype)> describe)
    {
        beginResetModel();
        m_count = count;
        m_id = std::move(id);
        m_describe = std::move(describe);
        endResetModel();
    }

    int rowCount(const QModelIndex &parent = {}) const override { return parent.isValid() ? 0 : int(m_count); }

    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!index.isValid() || index.row() >= m_count)
            return {};
        switch (role) {
        case IdRole:
            return m_id(index.row());
        case RowRole:
            return index.row();
        case Qt::AccessibleTextRole:
            return m_describe ? m_describe(index.row()) : QString();
        default:
            return {};
        }
    }

    Qt::ItemFlags flags(const QModelIndex &index) const override
    {
        return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
    }

private:
    qsizetype m_count = 0;
    std::function<QUuid(qsizetype)> m_id;
    std::function<QString(qsizetype)> m_describe;
};

SearchView::SearchView(LibraryQuery &library, NavigationState &navigation, OpenCardHandler onOpenCard, QWidget *parent)
    : QWidget(parent)
    , m_model(new SearchScreenModel(library, navigation, SearchCorpus::of(library), std::move(onOpenCard), this))
    , m_images(new SnipImageCache(this))
{
    setWindowTitle(QStringLiteral("Search"));
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    // The scroll area fills the canvas; the column inside it keeps to the top.
    auto *canvas = new QuietCanvas(Qt::Alignment(), this);
    outer->addWidget(canvas);
    auto *scroll = new QScrollArea;
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->viewport()->setAutoFillBackground(false);
    scroll->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    canvas->setContent(scroll);

    auto *page = new QWidget;
    page->setAutoFillBackground(false);
    auto *pageLayout = new QHBoxLayout(page);
    pageLayout->setContentsMargins(0, 0, 0, 0);
    auto *column = new QWidget(page);
    column->setMaximumWidth(int(TessalineMetrics::maximumContentWidth));
    pageLayout->addStretch(1);
    pageLayout->addWidget(column, 1000);
    pageLayout->addStretch(1);
    page->setContentsMargins(32, 30, 32, 30);
    scroll->setWidget(page);
    // The tour's ring stands outside its tile, past the grid's edge for
    // tiles on the grid's rim: it is drawn over the page, whose margins
    // leave it room, not in the grid, which would cut it off.
    m_ringLayer = new PaintOverlay(page, [this](QPainter &painter) { paintTourRing(painter); });
    page->installEventFilter(this);

    pageLayout->setAlignment(column, Qt::AlignTop);
    auto *layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(24);

    auto *header = new QWidget(column);
    auto *headerLayout = new QVBoxLayout(header);
    headerLayout->setContentsMargins(0, 0, 0, 0);
    headerLayout->setSpacing(5);
    auto *title = makeLabel(TessalineTypography::systemFont(28, QFont::DemiBold), header);
    title->setText(QStringLiteral("Search"));
    m_subtitle = makeLabel(TessalineTypography::body(), header);
    m_subtitle->setForegroundRole(QPalette::PlaceholderText);
    headerLayout->addWidget(title);
    headerLayout->addWidget(m_subtitle);
    layout->addWidget(header);

    auto *row = new QWidget(column);
    auto *rowLayout = new QHBoxLayout(row);
    rowLayout->setContentsMargins(0, 0, 0, 0);
    rowLayout->setSpacing(12);
    m_field = new QLineEdit(row);
    m_field->setPlaceholderText(QStringLiteral("Search notes, snips, and OCR"));
    m_field->setMaximumWidth(560);
    m_field->setMinimumHeight(32);
    m_field->addAction(SymbolIcon::icon(QStringLiteral("magnifyingglass")), QLineEdit::LeadingPosition);
    m_field->setAccessibleName(QStringLiteral("Search"));
    textInputDirection(m_field);
    // Inside the field, so showing it takes no width from the field.
    m_clearAction = m_field->addAction(SymbolIcon::icon(QStringLiteral("xmark.circle.fill")), QLineEdit::TrailingPosition);
    m_clearAction->setText(QStringLiteral("Clear Search"));
    m_clearAction->setToolTip(QStringLiteral("Clear Search"));
    for (QObject *shown : m_clearAction->associatedObjects()) {
        if (auto *button = qobject_cast<QToolButton *>(shown))
            m_clear = button;
    }
    Q_ASSERT(m_clear);
    m_clear->setAccessibleName(QStringLiteral("Clear Search"));
    rowLayout->addWidget(m_field, 1);
    auto *scopes = new QWidget(row);
    scopes->setFixedWidth(240);
    scopes->setAccessibleName(QStringLiteral("Item type"));
    auto *scopesLayout = new QHBoxLayout(scopes);
    scopesLayout->setContentsMargins(0, 0, 0, 0);
    scopesLayout->setSpacing(0);
    auto *group = new QButtonGroup(this);
    for (Scope scope : allSearchScopes()) {
        auto *button = new QToolButton(scopes);
        button->setText(rawValue(scope));
        button->setCheckable(true);
        button->setChecked(scope == m_model->scope());
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
        group->addButton(button);
        scopesLayout->addWidget(button);
        m_scopeButtons.append(button);
        connect(button, &QToolButton::clicked, this, [this, scope] { m_model->setScope(scope); });
    }
    rowLayout->addWidget(scopes);
    layout->addWidget(row);

    m_emptyState = new StudioEmptyState(QString(), QString(), QString(), std::nullopt, std::nullopt, {}, column);
    m_emptyState->setMinimumHeight(260);
    layout->addWidget(m_emptyState);
    m_resultHeader = new StudioSectionHeader(QString(), QStringLiteral("Most recently changed first"), nullptr, column);
    layout->addWidget(m_resultHeader);

    auto makeSection = [column, layout](const QString &name, StudioSectionHeader *&sectionHeader, QListView *grid) {
        auto *section = new QWidget(column);
        auto *sectionLayout = new QVBoxLayout(section);
        sectionLayout->setContentsMargins(0, 0, 0, 0);
        sectionLayout->setSpacing(12);
        sectionHeader = new StudioSectionHeader(name, QString(), nullptr, section);
        sectionLayout->addWidget(sectionHeader);
        grid->setParent(section);
        sectionLayout->addWidget(grid);
        layout->addWidget(section);
        return section;
    };
    m_noteList = new ResultGrid(240, 360, NoteSearchResultRow::height(), nullptr);
    m_noteModel = new HitListModel(this);
    m_noteList->setModel(m_noteModel);
    m_noteList->setItemDelegate(new NoteRowDelegate(m_noteList));
    m_noteList->setAccessibleDescription(QStringLiteral("Opens this note"));
    m_notesSection = makeSection(QStringLiteral("Notes"), m_notesHeader, m_noteList);
    m_snipList = new ResultGrid(240, 320, CompactCardPreview::height(true), nullptr);
    m_snipModel = new HitListModel(this);
    m_snipList->setModel(m_snipModel);
    m_tourRing = new CompactCardPreview::TourRing(m_ringLayer);
    m_snipList->setItemDelegate(new SnipTileDelegate(*m_images, m_snipList));
    m_snipList->installEventFilter(this);
    m_snipList->setAccessibleDescription(QStringLiteral("Opens this snip in its note"));
    m_snipsSection = makeSection(QStringLiteral("Snips"), m_snipsHeader, m_snipList);
    layout->addStretch(1);

    connect(m_field, &QLineEdit::textEdited, m_model, &SearchScreenModel::setSearchText);
    connect(m_clearAction, &QAction::triggered, this, [this] {
        m_model->clear();
        m_field->setFocus();
    });
    connect(m_model, &SearchScreenModel::searchTextChanged, this, &SearchView::showText);
    connect(m_model, &SearchScreenModel::scopeChanged, this, &SearchView::showScope);
    connect(m_model, &SearchScreenModel::resultsChanged, this, &SearchView::showResults);
    connect(m_noteList, &QListView::activated, this, &SearchView::openNoteAt);
    connect(m_noteList, &QListView::clicked, this, &SearchView::openNoteAt);
    connect(m_snipList, &QListView::activated, this, &SearchView::openSnipAt);
    connect(m_snipList, &QListView::clicked, this, &SearchView::openSnipAt);
    connect(m_noteList, &QListView::customContextMenuRequested, this,
            [this](const QPoint &position) { showMenu(m_noteList, position); });
    connect(m_snipList, &QListView::customContextMenuRequested, this,
            [this](const QPoint &position) { showMenu(m_snipList, position); });
    connect(m_images, &SnipImageCache::imageReady, this, [this](const QUuid &cardID) {
        // Pictures come in one by one for the tiles in view; repainting
        // every tile for each kept the screen busy while they came in.
        const auto *tiles = static_cast<const SnipTileDelegate *>(m_snipList->itemDelegate());
        if (const std::optional<int> row = tiles->paintedRow(cardID, *m_snipList->model()))
            m_snipList->viewport()->update(m_snipList->visualRect(m_snipList->model()->index(*row, 0)));
        else
            m_snipList->viewport()->update();
    });
    showText();
    showResults();
}

SearchView::~SearchView() = default;

QToolButton *SearchView::scopeButton(Scope scope) const
{
    return m_scopeButtons.value(allSearchScopes().indexOf(scope));
}

void SearchView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    QTimer::singleShot(0, m_field, [field = m_field] { field->setFocus(); });
}

void SearchView::showText()
{
    const QString text = m_model->searchText();
    if (m_field->text() != text)
        m_field->setText(text);
    m_clearAction->setVisible(m_model->showsClearButton());
}

void SearchView::showScope()
{
    for (QToolButton *button : std::as_const(m_scopeButtons))
        button->setChecked(button->text() == rawValue(m_model->scope()));
}

void SearchView::showResults()
{
    const SearchScreenModel &model = *m_model;
    const std::shared_ptr<const SearchResults> found = model.results();
    m_subtitle->setText(model.subtitle());
    m_subtitle->setWordWrap(model.subtitleWraps());

    const SearchScreenModel::Content content = model.content();
    const bool hasResults = content == SearchScreenModel::Content::results;
    const bool isEmpty = !hasResults && content != SearchScreenModel::Content::searching;
    if (isEmpty) {
        m_emptyState->setTitle(model.emptyTitle());
        m_emptyState->setMessage(model.emptyMessage());
        m_emptyState->setSystemImage(model.emptySymbol());
    }
    m_emptyState->setVisible(isEmpty);
    m_resultHeader->setVisible(hasResults);
    m_resultHeader->setTitle(model.resultCountText());

    // Rows are read from the results they were listed by; the entities
    // stay valid for as long as the library does.
    const QList<Board *> &noteHits = found->noteResults();
    auto *notes = static_cast<NoteRowDelegate *>(m_noteList->itemDelegate());
    notes->rows.reset(noteHits.size(), [found](qsizetype row) {
        NoteSearchResultRow made;
        const Board *note = found->noteResults().at(row);
        made.title = note->title();
        made.excerpt = noteSearchExcerpt(*note, found->cardsOfBoard(note->id()), found->query());
        made.isInbox = note->isInbox();
        made.isFavorite = note->isFavorite();
        made.folderName = note->folderName().value_or(QString());
        made.updatedAt = note->updatedAt();
        return made;
    });
    m_noteModel->reset(
        noteHits.size(), [found](qsizetype row) { return found->noteResults().at(row)->id(); },
        [notes](qsizetype row) {
            const NoteSearchResultRow *made = notes->rows.at(row);
            return made ? QStringLiteral("Note, ") + made->title + QStringLiteral(", ") + made->excerpt : QString();
        });
    m_notesHeader->setSubtitle(model.noteMatchText());
    m_notesSection->setVisible(!noteHits.isEmpty());

    const QList<CanvasCard *> &snipHits = found->snipResults();
    auto *snips = static_cast<SnipTileDelegate *>(m_snipList->itemDelegate());
    snips->found = found;
    snips->previews.reset(snipHits.size(), [found](qsizetype row) {
        return std::make_optional(snipTile(*found->snipResults().at(row), *found));
    });
    m_snipModel->reset(
        snipHits.size(), [found](qsizetype row) { return found->snipResults().at(row)->id(); },
        [snips](qsizetype row) {
            const std::optional<CompactCardPreview> *preview = snips->previews.at(row);
            return preview && *preview ? (*preview)->accessibilitySummary : QString();
        });
    m_snipsHeader->setSubtitle(model.snipMatchText());
    m_snipsSection->setVisible(!snipHits.isEmpty());
    static_cast<ResultGrid *>(m_noteList)->relayout();
    static_cast<ResultGrid *>(m_snipList)->relayout();
    m_ringLayer->update();
}

void SearchView::openNoteAt(const QModelIndex &index)
{
    m_model->openNote(index.data(IdRole).toUuid());
}

void SearchView::openSnipAt(const QModelIndex &index)
{
    m_model->openSnip(index.data(IdRole).toUuid());
}

QMenu *SearchView::contextMenu(QListView *list, const QModelIndex &index)
{
    if (!index.isValid() || (list != m_noteList && list != m_snipList))
        return nullptr;
    auto *menu = new QMenu(this);
    const bool isNote = list == m_noteList;
    QAction *open = menu->addAction(isNote ? QStringLiteral("Open Note") : QStringLiteral("Open Snip"));
    const QPersistentModelIndex target(index);
    connect(open, &QAction::triggered, this, [this, isNote, target] {
        if (isNote)
            openNoteAt(target);
        else
            openSnipAt(target);
    });
    return menu;
}

void SearchView::showMenu(QListView *list, const QPoint &position)
{
    QMenu *menu = contextMenu(list, list->indexAt(position));
    if (!menu)
        return;
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(list->viewport()->mapToGlobal(position));
}

bool SearchView::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_ringLayer->parentWidget() && event->type() == QEvent::Resize) {
        m_ringLayer->setGeometry(m_ringLayer->parentWidget()->rect());
        m_ringLayer->raise();
    } else if (watched == m_snipList && (event->type() == QEvent::Move || event->type() == QEvent::Resize)) {
        m_ringLayer->update();
    }
    return QWidget::eventFilter(watched, event);
}

void SearchView::paintTourRing(QPainter &painter)
{
    const std::optional<QUuid> cardID = m_tourRing->shownCardID();
    if (!cardID || !m_snipList->isVisible())
        return;
    // Only while the tour's last step shows the ring: a walk over the hits.
    const QList<CanvasCard *> &hits = m_model->snipResults();
    const auto found = std::find_if(hits.cbegin(), hits.cend(), [&](const CanvasCard *card) { return card->id() == *cardID; });
    if (found == hits.cend())
        return;
    const QRect tile = m_snipList->visualRect(m_snipModel->index(int(found - hits.cbegin()), 0));
    const QPoint onPage = m_snipList->viewport()->mapTo(m_ringLayer->parentWidget(), tile.topLeft());
    GuidedTourHighlight::paint(&painter, QRectF(QRect(onPage, tile.size())).adjusted(0.5, 0.5, -0.5, -0.5),
                               QuietCardSurface().cornerRadius, m_tourRing->opacity(*cardID), palette(),
                               DesignEnvironment::current().increasedContrast);
}

void SearchView::setGuidedTour(GuidedTourTarget *tour)
{
    m_tourRing->setGuidedTour(tour);
}

} // namespace tessaline

#include "notes/NotesWorkspaceView.h"

#include "design/DesignEnvironment.h"
#include "design/DesignTokens.h"
#include "design/SemanticColors.h"
#include "design/SemanticPalette.h"
#include "design/StudioDivider.h"
#include "design/StudioEmptyState.h"
#include "design/StudioText.h"
#include "design/SymbolLabel.h"
#include "model/Board.h"
#include "notes/BoardCanvasModel.h"
#include "notes/NewFolderSheet.h"
#include "notes/NoteListItemModel.h"
#include "notes/NoteListRowDelegate.h"
#include "notes/NotesWorkspaceModel.h"
#include "platform/SymbolIcon.h"
#include "platform/TextUtilities.h"
#include "runtime/LibraryQuery.h"
#include "runtime/NavigationState.h"
#include "runtime/NoteListVisibility.h"

#include <QCoreApplication>
#include <QFrame>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QListView>
#include <QMenu>
#include <QMouseEvent>
#include <QResizeEvent>
#include <QShowEvent>
#include <QSplitter>
#include <QStackedLayout>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <QVariantAnimation>

namespace tessaline {

namespace {

constexpr int columnMinimumWidth = 220;
constexpr int columnIdealWidth = 252;
constexpr int columnMaximumWidth = 310;
constexpr int detailMinimumWidth = 520;
constexpr int headerHeight = 46;

QToolButton *headerButton(const QString &systemImage, const QString &title, QWidget *parent)
{
    auto *button = new QToolButton(parent);
    button->setAutoRaise(true);
    button->setIcon(SymbolIcon::icon(systemImage));
    button->setToolTip(title);
    button->setAccessibleName(title);
    return button;
}

// A row is as tall as its excerpt, and the list's model announces a changed
// excerpt as a change of the layout. Any other change of a row (its date,
// its snip count after a capture) repaints that row alone, where a list
// view would lay out every note of the library again and repaint them all.
class NoteListView : public QListView
{
public:
    using QListView::QListView;

protected:
    void dataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight, const QList<int> &roles) override
    {
        QAbstractItemView::dataChanged(topLeft, bottomRight, roles);
    }

    // Rows are as wide as the viewport: the scroll bar coming with a long
    // list narrows them, and their excerpts wrap anew. The list view lays
    // out again only when it is resized itself, which it is not then.
    bool viewportEvent(QEvent *event) override
    {
        if (event->type() == QEvent::Resize && resizeMode() == QListView::Adjust) {
            const auto *resize = static_cast<QResizeEvent *>(event);
            if (resize->size().width() != resize->oldSize().width())
                scheduleDelayedItemsLayout();
        }
        return QListView::viewportEvent(event);
    }
};

} // namespace

NotesWorkspaceView::NotesWorkspaceView(LibraryQuery &library, NavigationState &navigation, const NoteListFilter &filter,
                                       NoteListVisibility *noteList, BoardCanvasServices services, QWidget *parent)
    : QWidget(parent)
    , m_model(new NotesWorkspaceModel(library, navigation, filter, this))
    , m_listModel(new NoteListItemModel(*m_model, this))
    , m_services(std::move(services))
    , m_noteList(noteList ? noteList : new NoteListVisibility(this))
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_splitter = new QSplitter(Qt::Horizontal, this);
    m_splitter->setChildrenCollapsible(false);
    m_listColumn = buildListColumn();
    m_splitter->addWidget(m_listColumn);

    m_detailHost = new QWidget(m_splitter);
    m_detailHost->setMinimumWidth(detailMinimumWidth);
    m_detail = new QStackedLayout(m_detailHost);
    m_detail->setContentsMargins(0, 0, 0, 0);
    m_emptyDetail = buildEmptyDetail();
    m_detail->addWidget(m_emptyDetail);
    m_splitter->addWidget(m_detailHost);
    m_splitter->setStretchFactor(0, 0);
    m_splitter->setStretchFactor(1, 1);
    m_splitter->setSizes({columnIdealWidth, 1000});
    m_columnWidth = columnIdealWidth;
    layout->addWidget(m_splitter);

    const TessalineAnimation &motion = TessalineMotion::smooth();
    m_columnSlide = new QVariantAnimation(this);
    m_columnSlide->setEasingCurve(motion.curve);
    m_columnSlide->setDuration(motion.durationMs);
    connect(m_columnSlide, &QVariantAnimation::valueChanged, this, [this](const QVariant &value) {
        const int width = std::max(1, value.toInt());
        const QList<int> sizes = m_splitter->sizes();
        const int total = sizes.value(0) + sizes.value(1);
        m_splitter->setSizes({width, std::max(0, total - width)});
        if (m_columnFade)
            m_columnFade->setOpacity(std::clamp(qreal(width) / std::max(1, m_columnWidth), 0.0, 1.0));
    });
    connect(m_columnSlide, &QVariantAnimation::finished, this, &NotesWorkspaceView::finishColumnSlide);

    connect(m_model, &NotesWorkspaceModel::rowsChanged, this, &NotesWorkspaceView::refreshList);
    connect(m_model, &NotesWorkspaceModel::activeNoteChanged, this, [this] {
        refreshSelection();
        refreshDetail();
    });
    connect(m_model, &NotesWorkspaceModel::folderSheetChanged, this, &NotesWorkspaceView::refreshFolderSheet);
    connect(m_noteList, &NoteListVisibility::visibleChanged, this, &NotesWorkspaceView::refreshColumn);
    connect(qApp, &QCoreApplication::aboutToQuit, m_model, &NotesWorkspaceModel::savePendingEdits);

    refreshList();
    refreshColumn();
    refreshDetail();
}

NotesWorkspaceView::~NotesWorkspaceView()
{
    // Hidden while still whole: hiding writes the open note, and the store's
    // answer refreshes this view, which it must not reach once only the
    // QWidget part is left (as when a window is closed by its destruction).
    hide();
    delete m_folderSheet;
}

QWidget *NotesWorkspaceView::buildListColumn()
{
    auto *column = new QWidget(this);
    column->setMinimumWidth(columnMinimumWidth);
    column->setMaximumWidth(columnMaximumWidth);
    column->setAutoFillBackground(true);
    keepSemanticColors(column, {{QPalette::Window, {SemanticColor::controlBackground}}});
    auto *stack = new QVBoxLayout(column);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(0);

    auto *header = new QWidget(column);
    header->setFixedHeight(headerHeight);
    auto *row = new QHBoxLayout(header);
    row->setContentsMargins(14, 0, 14, 0);
    row->setSpacing(10);
    m_headerTitle = new StudioText(m_model->headerTitle(), TessalineTypography::systemFont(14, QFont::DemiBold),
                                   SemanticColor::label, header);
    m_headerTitle->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_headerTitle->setElidesInItsOwnDirection(true);
    row->addWidget(m_headerTitle, 1);
    m_hideList = headerButton(QStringLiteral("sidebar.left"), QStringLiteral("Hide Note List"), header);
    connect(m_hideList, &QToolButton::clicked, this, [this] { m_noteList->toggle(); });
    row->addWidget(m_hideList);
    m_newNote = headerButton(QStringLiteral("square.and.pencil"), QStringLiteral("New Note"), header);
    connect(m_newNote, &QToolButton::clicked, m_model, &NotesWorkspaceModel::createNewNote);
    m_newNote->setVisible(m_model->showsNewNoteButton());
    row->addWidget(m_newNote);
    stack->addWidget(header);

    stack->addWidget(new StudioDivider(Qt::Horizontal, column));

    m_listStack = new QStackedWidget(column);
    m_emptyList = new QWidget(m_listStack);
    auto *empty = new QVBoxLayout(m_emptyList);
    empty->setSpacing(8);
    empty->addStretch(1);
    auto *symbol = new SymbolLabel(m_model->emptyListSymbol(), 22, SemanticColor::tertiary, m_emptyList);
    empty->addWidget(symbol, 0, Qt::AlignHCenter);
    empty->addWidget(new StudioText(m_model->emptyListText(), TessalineTypography::systemFont(12, QFont::Medium),
                                    SemanticColor::secondary, m_emptyList),
                     0, Qt::AlignHCenter);
    empty->addStretch(1);
    m_listStack->addWidget(m_emptyList);

    m_listView = new NoteListView(m_listStack);
    m_listView->setFrameShape(QFrame::NoFrame);
    // Its rows fill its width: there is never anything beside them.
    m_listView->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Before the delegate's: filters hear events newest first, and its focus
    // ring must still hear the arrow keys that this one takes.
    m_listView->installEventFilter(this);
    m_listView->setItemDelegate(new NoteListRowDelegate(m_listView));
    // Rows differ in height with their excerpts, which wrap with the
    // column's width.
    m_listView->setResizeMode(QListView::Adjust);
    m_listView->setSelectionMode(QAbstractItemView::SingleSelection);
    // Before the rows come: changing the scroll mode lays out every row to
    // keep the top one in place, at a width the column does not have yet,
    // and a list of thousands of notes measured each excerpt for nothing.
    m_listView->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_listView->setModel(m_listModel);
    m_listView->setMouseTracking(true);
    m_listView->setContextMenuPolicy(Qt::CustomContextMenu);
    m_listView->setAccessibleName(m_model->headerTitle());
    m_listView->viewport()->setAutoFillBackground(false);
    connect(m_listView->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex &current) {
                if (m_syncingSelection || !current.isValid())
                    return;
                m_model->selectNote(current.data(NoteListItemModel::NoteIDRole).toUuid());
            });
    // Opening a note moves it to the top while the press that opened it is
    // still being handled; the list's own press handling would then select
    // whatever note now sits under the pointer. Presses open notes here.
    m_listView->viewport()->installEventFilter(this);
    connect(m_listView, &QListView::customContextMenuRequested, this, [this](const QPoint &position) {
        const QModelIndex index = m_listView->indexAt(position);
        if (!index.isValid())
            return;
        QMenu *menu = createRowMenu(index.data(NoteListItemModel::NoteIDRole).toUuid(), this);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(m_listView->viewport()->mapToGlobal(position));
    });
    connect(m_listModel, &QAbstractItemModel::modelReset, this, &NotesWorkspaceView::refreshSelection);
    m_listStack->addWidget(m_listView);
    stack->addWidget(m_listStack, 1);
    return column;
}

QWidget *NotesWorkspaceView::buildEmptyDetail()
{
    auto *page = new QWidget(m_detailHost);
    page->setAutoFillBackground(true);
    keepSemanticColors(page, {{QPalette::Window, {SemanticColor::windowBackground}}});
    auto *layout = new QVBoxLayout(page);
    const NotesWorkspaceModel::EmptyState state = m_model->emptyState();
    std::function<void()> action;
    if (state.actionTitle)
        action = [model = m_model] { model->createNewNote(); };
    m_emptyState = new StudioEmptyState(state.title, state.message, state.systemImage, state.actionTitle,
                                        state.actionSystemImage, action, page);
    // Not aligned: an aligned widget gets no more than its size hint, and the
    // message's hint is as narrow as its longest word allows.
    layout->addWidget(m_emptyState);

    m_showList = headerButton(QStringLiteral("sidebar.left"), QStringLiteral("Show Note List"), page);
    m_showList->setFixedSize(28, 28);
    m_showList->move(16, 16);
    connect(m_showList, &QToolButton::clicked, this, [this] { m_noteList->toggle(); });
    return page;
}

QMenu *NotesWorkspaceView::createRowMenu(const QUuid &noteID, QWidget *parent)
{
    auto *menu = new QMenu(parent);
    const Board *note = m_model->library().firstBoard(noteID);
    if (!note)
        return menu;
    const bool favorite = note->isFavorite();
    QAction *toggle = menu->addAction(SymbolIcon::icon(favorite ? QStringLiteral("star.slash") : QStringLiteral("star")),
                                      favorite ? QStringLiteral("Remove from Favorites") : QStringLiteral("Add to Favorites"));
    connect(toggle, &QAction::triggered, m_model, [model = m_model, noteID] { model->toggleFavorite(noteID); });

    QMenu *folders = menu->addMenu(SymbolIcon::icon(QStringLiteral("folder")), QStringLiteral("Move to Folder"));
    connect(folders->addAction(QStringLiteral("No Folder")), &QAction::triggered, m_model,
            [model = m_model, noteID] { model->removeNoteFromFolder(noteID); });
    for (const QString &name : m_model->folderNames()) {
        connect(folders->addAction(menuEscapedText(name)), &QAction::triggered, m_model,
                [model = m_model, noteID, name] { model->moveNote(noteID, name); });
    }
    folders->addSeparator();
    connect(folders->addAction(QStringLiteral("New Folder…")), &QAction::triggered, m_model,
            [model = m_model, noteID] { model->beginNewFolder(noteID); });

    menu->addSeparator();
    QAction *trash = menu->addAction(SymbolIcon::icon(QStringLiteral("trash")), QStringLiteral("Move to Recently Deleted"));
    connect(trash, &QAction::triggered, m_model, [model = m_model, noteID] { model->moveNoteToRecentlyDeleted(noteID); });
    return menu;
}

bool NotesWorkspaceView::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_listView) {
        if (event->type() == QEvent::KeyPress) {
            const auto *key = static_cast<QKeyEvent *>(event);
            const int step = key->key() == Qt::Key_Down ? 1 : key->key() == Qt::Key_Up ? -1 : 0;
            if (step && !(key->modifiers() & ~Qt::KeypadModifier))
                return stepThroughNotes(step);
            m_keyboardOrder.clear();
        } else if (event->type() == QEvent::FocusOut) {
            m_keyboardOrder.clear();
        }
        return QWidget::eventFilter(watched, event);
    }
    if (watched != m_listView->viewport())
        return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
        m_keyboardOrder.clear();
        const auto *press = static_cast<QMouseEvent *>(event);
        const QModelIndex index = m_listView->indexAt(press->position().toPoint());
        if (!index.isValid())
            return false;
        if (press->button() == Qt::LeftButton)
            m_model->selectNote(index.data(NoteListItemModel::NoteIDRole).toUuid());
        refreshSelection();
        return true;
    }
    case QEvent::MouseMove:
        // No rubber band over the notes: the list never selects by dragging.
        return static_cast<QMouseEvent *>(event)->buttons() != Qt::NoButton;
    default:
        return false;
    }
}

// Opening a note moves it to the top of the list, where the list's own
// arrow keys would only ever go back to the note below it. They walk the
// notes in the order the list showed when they began instead; a note that
// has left the list since is passed over.
bool NotesWorkspaceView::stepThroughNotes(int step)
{
    const Board *active = m_model->activeNote();
    const auto position = [&] { return active ? m_keyboardOrder.indexOf(active->id()) : -1; };
    if (position() < 0) {
        m_keyboardOrder.clear();
        for (const NoteListRow &row : m_model->rows())
            m_keyboardOrder.append(row.id);
    }
    const qsizetype at = position();
    qsizetype next = at < 0 ? (step > 0 ? 0 : m_keyboardOrder.size() - 1) : at + step;
    while (next >= 0 && next < m_keyboardOrder.size() && m_listModel->rowOf(m_keyboardOrder.at(next)) < 0)
        next += step;
    if (next < 0 || next >= m_keyboardOrder.size())
        return true;
    m_model->selectNote(m_keyboardOrder.at(next));
    refreshSelection();
    return true;
}

void NotesWorkspaceView::refreshList()
{
    m_listStack->setCurrentWidget(m_model->rows().isEmpty() ? m_emptyList : static_cast<QWidget *>(m_listView));
    refreshSelection();
}

void NotesWorkspaceView::refreshSelection()
{
    const Board *active = m_model->activeNote();
    const int row = active ? m_listModel->rowOf(active->id()) : -1;
    const QModelIndex wanted = row >= 0 ? m_listModel->index(row) : QModelIndex();
    if (m_listView->selectionModel()->currentIndex() == wanted
        && (!wanted.isValid() || m_listView->selectionModel()->isSelected(wanted)))
        return;
    m_syncingSelection = true;
    if (wanted.isValid()) {
        m_listView->selectionModel()->setCurrentIndex(wanted, QItemSelectionModel::ClearAndSelect);
        m_listView->scrollTo(wanted);
    } else {
        m_listView->selectionModel()->clear();
    }
    m_syncingSelection = false;
}

void NotesWorkspaceView::refreshDetail()
{
    const Board *active = m_model->activeNote();
    const std::optional<QUuid> wanted = active ? std::optional<QUuid>(active->id()) : std::nullopt;
    if (m_workspace && wanted && m_workspace->model().boardID() == *wanted)
        return;
    if (BoardCanvasView *previous = m_workspace) {
        // Hidden first, so the note it held is written before it goes.
        m_workspace = nullptr;
        m_detail->removeWidget(previous);
        previous->hide();
        previous->deleteLater();
    }
    if (wanted) {
        m_workspace = new BoardCanvasView(m_model->library(), m_model->navigation(), *wanted, m_noteList, m_services,
                                          m_detailHost);
        m_detail->addWidget(m_workspace);
        m_detail->setCurrentWidget(m_workspace);
    } else {
        m_detail->setCurrentWidget(m_emptyDetail);
    }
}

void NotesWorkspaceView::refreshColumn()
{
    const bool visible = m_noteList->isVisible();
    slideColumn(visible);
    m_showList->setVisible(!visible);
    m_showList->raise();
}

void NotesWorkspaceView::slideColumn(bool shown)
{
    if (shown == m_columnShown && m_columnSlide->state() != QAbstractAnimation::Running) {
        m_listColumn->setVisible(shown);
        return;
    }
    const bool sliding = m_columnSlide->state() == QAbstractAnimation::Running;
    m_columnSlide->stop();
    if (!shown && !sliding && m_listColumn->isVisible())
        m_columnWidth = std::clamp(m_listColumn->width(), columnMinimumWidth, columnMaximumWidth);
    m_columnShown = shown;
    if (!isVisible() || DesignEnvironment::current().reduceMotion) {
        finishColumnSlide();
        return;
    }
    // While it slides the column may be narrower than it could ever be
    // made by hand, and its rows keep their layout until it stops.
    m_listColumn->setMinimumWidth(1);
    m_listView->setResizeMode(QListView::Fixed);
    if (!m_columnFade) {
        m_columnFade = new QGraphicsOpacityEffect(m_listColumn);
        m_listColumn->setGraphicsEffect(m_columnFade);
    }
    const int from = m_listColumn->isVisible() ? m_listColumn->width() : 1;
    if (!m_listColumn->isVisible()) {
        m_columnFade->setOpacity(0);
        m_listColumn->setVisible(true);
        const QList<int> sizes = m_splitter->sizes();
        m_splitter->setSizes({1, std::max(0, sizes.value(0) + sizes.value(1) - 1)});
    }
    m_columnSlide->setStartValue(from);
    m_columnSlide->setEndValue(shown ? m_columnWidth : 1);
    m_columnSlide->start();
}

void NotesWorkspaceView::finishColumnSlide()
{
    if (m_columnFade) {
        m_listColumn->setGraphicsEffect(nullptr);
        m_columnFade = nullptr;
    }
    m_listColumn->setMinimumWidth(columnMinimumWidth);
    m_listView->setResizeMode(QListView::Adjust);
    m_listColumn->setVisible(m_columnShown);
    if (m_columnShown) {
        const QList<int> sizes = m_splitter->sizes();
        m_splitter->setSizes({m_columnWidth, std::max(0, sizes.value(0) + sizes.value(1) - m_columnWidth)});
        m_listView->doItemsLayout();
    }
}

void NotesWorkspaceView::refreshFolderSheet()
{
    if (!m_model->folderTargetID() || m_folderSheet)
        return;
    auto *sheet = new NewFolderSheet(*m_model, this);
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    sheet->setWindowModality(Qt::WindowModal);
    m_folderSheet = sheet;
    connect(sheet, &QDialog::finished, m_model, [model = m_model] { model->cancelNewFolder(); });
    sheet->open();
}

void NotesWorkspaceView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        m_model->appear();
}

void NotesWorkspaceView::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    // The window closing keeps nothing waiting (a favourite, a folder).
    if (!event->spontaneous())
        m_model->savePendingEdits();
}

} // namespace tessaline

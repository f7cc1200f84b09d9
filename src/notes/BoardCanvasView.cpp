#include "notes/BoardCanvasView.h"

#include "design/ContentFadeEffect.h"
#include "design/DesignTokens.h"
#include "design/ErrorAlert.h"
#include "design/SemanticColors.h"
#include "design/StudioCompactButton.h"
#include "design/StudioDivider.h"
#include "design/StudioEmptyState.h"
#include "design/StudioText.h"
#include "design/SymbolLabel.h"
#include "design/TextInputDirection.h"
#include "model/Board.h"
#include "model/CanvasCard.h"
#include "notes/BoardBriefExportService.h"
#include "notes/BoardCanvasModel.h"
#include "notes/BoardWritingSurface.h"
#include "notes/InsertSnipListModel.h"
#include "notes/InsertSnipPicker.h"
#include "notes/QuickThoughtView.h"
#include "notes/WritingParagraphEditor.h"
#include "platform/Pasteboard.h"
#include "platform/SymbolIcon.h"
#include "runtime/BoardMap.h"
#include "runtime/ImageExportService.h"
#include "runtime/LibraryQuery.h"
#include "runtime/NavigationState.h"
#include "runtime/NoteListVisibility.h"

#include <QCoreApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QShowEvent>
#include <QStackedLayout>
#include <QStackedWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace tessaline {

namespace {

constexpr int writingHeaderHeight = 62;
constexpr int writingHeaderPadding = 30;
constexpr int mapHeaderHeight = 48;
constexpr int mapHeaderPadding = 18;

QToolButton *borderlessButton(const QString &systemImage, QWidget *parent)
{
    auto *button = new QToolButton(parent);
    button->setAutoRaise(true);
    button->setIcon(SymbolIcon::icon(systemImage));
    button->setFocusPolicy(Qt::TabFocus);
    return button;
}

QWidget *divider(Qt::Orientation orientation, QWidget *parent)
{
    return new StudioDivider(orientation, parent);
}

QString keptWritingText(const QStringList &texts)
{
    return texts.join(QStringLiteral("\n\n"));
}

} // namespace

BoardCanvasView::BoardCanvasView(LibraryQuery &library, NavigationState &navigation, const QUuid &boardID,
                                 NoteListVisibility *noteList, BoardCanvasServices services, QWidget *parent)
    : QWidget(parent)
    , m_model(new BoardCanvasModel(library, navigation, boardID, this))
    , m_services(std::move(services))
    , m_noteList(noteList)
{
    m_states = new QStackedLayout(this);
    m_states->setContentsMargins(0, 0, 0, 0);

    m_missing = new StudioEmptyState(QStringLiteral("Note not found"),
                                     QStringLiteral("It may have been moved to Recently Deleted."),
                                     QStringLiteral("rectangle.slash"));
    auto *missingPage = new QWidget(this);
    auto *missingLayout = new QVBoxLayout(missingPage);
    missingLayout->addWidget(m_missing);
    m_states->addWidget(missingPage);

    auto *workspace = new QWidget(this);
    auto *column = new QVBoxLayout(workspace);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    m_headers = new QStackedWidget(workspace);
    m_headers->addWidget(buildWritingHeader());
    m_headers->addWidget(buildMapHeader());
    column->addWidget(m_headers);
    column->addWidget(divider(Qt::Horizontal, workspace));
    m_keptNotice = buildKeptNotice();
    column->addWidget(m_keptNotice);

    m_content = new QStackedWidget(workspace);
    m_surface = new BoardWritingSurface(m_content);
    m_surface->setNavigation(&navigation);
    m_surface->setPasteboard(m_services.pasteboard);
    m_surface->setGuidedTour(m_services.guidedTour);
    BoardWritingSurfaceModel *writing = m_surface->model();
    writing->onDocumentChange = [this](const BoardWritingDocument &document) { m_model->setWritingDocument(document); };
    writing->onOpenCard = [this](CanvasCard *card) { m_model->openCard(card); };
    writing->onInsertReference = [this](const QUuid &cardID, const std::optional<QUuid> &anchor) {
        m_model->insertCardReference(cardID, anchor, false);
    };
    writing->onRemoveReference = [this](const QUuid &blockID) { m_model->removeCardReference(blockID); };
    writing->onUpdateReferenceSize = [this](const QUuid &blockID, NoteAttachmentSize size) {
        m_model->setReferenceSize(blockID, size);
    };
    writing->onFocusParagraph = [this](const std::optional<QUuid> &blockID) { m_model->rememberWritingAnchor(blockID); };
    writing->onNewThought = [this]() { presentQuickNote(); };
    writing->onPasteRefused = [this](const QString &message) { m_model->setOperationError(message); };
    m_content->addWidget(m_surface);
    m_mapHost = new QWidget(m_content);
    auto *mapLayout = new QVBoxLayout(m_mapHost);
    mapLayout->setContentsMargins(0, 0, 0, 0);
    m_content->addWidget(m_mapHost);
    column->addWidget(m_content, 1);
    m_states->addWidget(workspace);

    connect(m_model, &BoardCanvasModel::boardChanged, this, &BoardCanvasView::refreshBoard);
    connect(m_model, &BoardCanvasModel::cardsChanged, this, &BoardCanvasView::refreshCards);
    connect(m_model, &BoardCanvasModel::writingDocumentChanged, this, [this] {
        m_surface->model()->setDocument(m_model->writingDocument());
        refreshCards();
    });
    connect(m_model, &BoardCanvasModel::modeChanged, this, &BoardCanvasView::refreshMode);
    connect(m_model, &BoardCanvasModel::operationErrorChanged, this, &BoardCanvasView::refreshAlert);
    connect(m_model, &BoardCanvasModel::keptWritingTextsChanged, this, &BoardCanvasView::refreshKeptNotice);
    m_model->setAssistantAvailable(m_services.assistantAvailable);
    if (m_noteList)
        connect(m_noteList, &NoteListVisibility::visibleChanged, this, &BoardCanvasView::refreshNoteListToggle);
    // A paragraph the quick note sheet added to this note becomes the writing
    // position while the note stays open; typing goes on there, as it does
    // in a note opened for it, not in whatever had the keyboard before.
    connect(&m_model->navigation(), &NavigationState::activeWritingAnchorIDChanged, this,
            [this] { QTimer::singleShot(0, this, &BoardCanvasView::takeTypingAtAnchor); });
    // Quitting closes no window: what is pending is written here.
    connect(qApp, &QCoreApplication::aboutToQuit, this, [this] {
        if (m_isOpen)
            m_model->flush();
    });

    refreshBoard();
    refreshCards();
    refreshMode();
    refreshNoteListToggle();
    refreshKeptNotice();
}

BoardCanvasView::~BoardCanvasView()
{
    // A workspace torn down while on screen still writes what is pending.
    if (m_isOpen)
        m_model->flush();
    delete m_alert;
}

QWidget *BoardCanvasView::buildWritingHeader()
{
    auto *header = new QWidget(this);
    header->setFixedHeight(writingHeaderHeight);
    auto *row = new QHBoxLayout(header);
    row->setContentsMargins(writingHeaderPadding, 0, writingHeaderPadding, 0);
    row->setSpacing(10);

    m_listToggle = borderlessButton(QStringLiteral("sidebar.left"), header);
    connect(m_listToggle, &QToolButton::clicked, this, [this] {
        if (m_noteList)
            m_noteList->toggle();
    });
    m_listToggle->setVisible(m_noteList != nullptr);
    row->addWidget(m_listToggle);

    m_titleField = new QLineEdit(header);
    m_titleField->setFrame(false);
    m_titleField->setPlaceholderText(QStringLiteral("Note title"));
    m_titleField->setAccessibleName(QStringLiteral("Note title"));
    m_titleField->setFont(TessalineTypography::systemFont(25, QFont::DemiBold));
    QPalette fieldColours = m_titleField->palette();
    fieldColours.setColor(QPalette::Base, Qt::transparent);
    m_titleField->setPalette(fieldColours);
    textInputDirection(m_titleField);
    connect(m_titleField, &QLineEdit::textEdited, m_model, &BoardCanvasModel::setTitle);
    connect(m_titleField, &QLineEdit::returnPressed, m_model, &BoardCanvasModel::submitTitle);
    row->addWidget(m_titleField, 1);

    m_insertSnip = borderlessButton(QStringLiteral("paperclip"), header);
    m_insertSnip->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_insertSnip->setFont(TessalineTypography::systemFont(12, QFont::Medium));
    m_insertSnip->setAccessibleDescription(QStringLiteral("References the original Snip without copying its image"));
    // A popup list rather than a menu: a menu makes an item for each of the
    // library's snips before it shows, a list only the rows in sight.
    m_insertSnipRows = new InsertSnipListModel(*m_model, this);
    m_insertSnipPicker = new InsertSnipPicker(*m_insertSnipRows, m_insertSnip);
    connect(m_insertSnip, &QToolButton::clicked, this, &BoardCanvasView::openInsertSnipPicker);
    connect(m_insertSnipPicker, &InsertSnipPicker::snipChosen, m_model, &BoardCanvasModel::insertSnipAtAnchor);
    row->addWidget(m_insertSnip);

    m_favorite = borderlessButton(QStringLiteral("star"), header);
    connect(m_favorite, &QToolButton::clicked, m_model, &BoardCanvasModel::toggleFavorite);
    row->addWidget(m_favorite);

    m_more = borderlessButton(QStringLiteral("ellipsis.circle"), header);
    m_more->setPopupMode(QToolButton::InstantPopup);
    m_more->setAccessibleName(QStringLiteral("More"));
    m_moreMenu = new QMenu(m_more);
    m_moreMenu->setToolTipsVisible(true);
    connect(m_moreMenu, &QMenu::aboutToShow, this, &BoardCanvasView::rebuildMoreMenu);
    m_more->setMenu(m_moreMenu);
    row->addWidget(m_more);
    return header;
}

QWidget *BoardCanvasView::buildMapHeader()
{
    auto *header = new QWidget(this);
    header->setFixedHeight(mapHeaderHeight);
    auto *row = new QHBoxLayout(header);
    row->setContentsMargins(mapHeaderPadding, 0, mapHeaderPadding, 0);
    row->setSpacing(10);

    m_backToNote = borderlessButton(QStringLiteral("chevron.left"), header);
    m_backToNote->setText(QStringLiteral("Back to Note"));
    m_backToNote->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    connect(m_backToNote, &QToolButton::clicked, this, [this] {
        m_model->showWriting();
        fadeInContent();
    });
    row->addWidget(m_backToNote);

    QWidget *line = divider(Qt::Vertical, header);
    line->setFixedHeight(18);
    row->addWidget(line);

    // The note's title, cut short beside the map's buttons.
    auto *mapTitle = new StudioText(QString(), TessalineTypography::systemFont(14, QFont::DemiBold),
                                    SemanticColor::label, header);
    mapTitle->setElidesInItsOwnDirection(true);
    m_mapTitle = mapTitle;
    m_mapTitle->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    row->addWidget(m_mapTitle, 1);

    m_snips = borderlessButton(QStringLiteral("photo.stack"), header);
    m_snips->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    connect(m_snips, &QToolButton::clicked, m_model, &BoardCanvasModel::toggleCanvasShelf);
    row->addWidget(m_snips);
    return header;
}

QWidget *BoardCanvasView::buildKeptNotice()
{
    auto *notice = new QFrame(this);
    notice->setObjectName(QStringLiteral("keptWritingNotice"));
    auto *row = new QHBoxLayout(notice);
    row->setContentsMargins(writingHeaderPadding, 10, writingHeaderPadding, 10);
    row->setSpacing(10);
    row->addWidget(new SymbolLabel(QStringLiteral("exclamationmark.triangle"), 16, SemanticColor::secondary, notice),
                   0, Qt::AlignTop);
    auto *text = new StudioText(QStringLiteral("Some of this note’s writing could not be read. Tessaline kept it "
                                               "as it was stored: copy it or save it as a text file."),
                                TessalineTypography::body(), SemanticColor::secondary, notice);
    text->setWordWrap(true);
    row->addWidget(text, 1);
    auto *copy = new StudioCompactButton(QStringLiteral("Copy Text"), false, StudioControlProminence::standard, notice);
    copy->setObjectName(QStringLiteral("copyKeptWriting"));
    copy->setTracksHover(true);
    connect(copy, &QAbstractButton::clicked, this, &BoardCanvasView::copyKeptWriting);
    row->addWidget(copy, 0, Qt::AlignVCenter);
    auto *save = new StudioCompactButton(QStringLiteral("Save as Text File…"), false, StudioControlProminence::standard,
                                         notice);
    save->setObjectName(QStringLiteral("saveKeptWriting"));
    save->setTracksHover(true);
    connect(save, &QAbstractButton::clicked, this, &BoardCanvasView::saveKeptWriting);
    row->addWidget(save, 0, Qt::AlignVCenter);
    return notice;
}

bool BoardCanvasView::isShowingMissingNote() const
{
    return m_states->currentIndex() == 0;
}

void BoardCanvasView::refreshBoard()
{
    const Board *board = m_model->board();
    m_states->setCurrentIndex(board ? 1 : 0);
    if (!board)
        return;
    const QString title = board->title();
    if (m_titleField->text() != title)
        setTextFromItsStart(m_titleField, title);
    m_mapTitle->setText(title);
    m_surface->setAccessibleName(title + QStringLiteral(" writing view"));
    const bool favorite = board->isFavorite();
    m_favorite->setIcon(SymbolIcon::icon(favorite ? QStringLiteral("star.fill") : QStringLiteral("star")));
    const QString favoriteText = favorite ? QStringLiteral("Remove from Favorites") : QStringLiteral("Add to Favorites");
    m_favorite->setToolTip(favoriteText);
    m_favorite->setAccessibleName(favoriteText);
}

void BoardCanvasView::refreshCards()
{
    const bool hasSnips = m_model->hasAvailableSnips();
    m_insertSnip->setText(hasSnips ? QStringLiteral("Insert Snip") : QStringLiteral("No Snips"));
    m_insertSnip->setEnabled(hasSnips);
    m_insertSnip->setToolTip(hasSnips ? QStringLiteral("Insert an existing Snip at the current writing position")
                                      : QStringLiteral("Capture a Snip before inserting one"));
    m_insertSnip->setAccessibleName(hasSnips ? QStringLiteral("Insert Snip") : QStringLiteral("No Snips available"));
    // The page's cards follow its document, read as the note opens: worked
    // out before that, from no document, they cost a second walk over
    // every card of the library.
    if (!m_isOpen)
        return;
    // A new list of cards rebuilds the page's references; the same list
    // keeps them.
    const QList<CanvasCard *> cards = m_model->writingCards();
    if (cards != m_surface->model()->cards())
        m_surface->model()->setCards(cards);
}

void BoardCanvasView::refreshMode()
{
    const bool canvas = m_model->isShowingCanvas();
    m_headers->setCurrentIndex(canvas ? 1 : 0);
    m_headers->setFixedHeight(canvas ? mapHeaderHeight : writingHeaderHeight);
    if (canvas)
        ensureMap();
    m_content->setCurrentIndex(canvas ? 1 : 0);
    const bool shelf = m_model->isShowingCanvasShelf();
    m_snips->setText(shelf ? QStringLiteral("Hide Snips") : QStringLiteral("Show Snips"));
    if (m_map && m_map->isTrayShown() != shelf)
        m_map->setTrayShown(shelf);
}

void BoardCanvasView::refreshNoteListToggle()
{
    const bool visible = m_noteList && m_noteList->isVisible();
    const QString text = visible ? QStringLiteral("Hide Note List") : QStringLiteral("Show Note List");
    m_listToggle->setToolTip(text);
    m_listToggle->setAccessibleName(text);
}

void BoardCanvasView::refreshKeptNotice()
{
    m_keptNotice->setVisible(!m_model->keptWritingTexts().isEmpty());
}

void BoardCanvasView::refreshAlert()
{
    syncErrorAlert(m_alert, this, QStringLiteral("Couldn’t complete that action"), m_model->operationError(),
                   [model = QPointer<BoardCanvasModel>(m_model)] {
                       if (model)
                           model->setOperationError(std::nullopt);
                   });
}

void BoardCanvasView::ensureMap()
{
    if (m_map || m_mapHost->layout()->count() > 0)
        return;
    BoardMap *map = m_services.makeMap ? m_services.makeMap(m_model->boardID(), m_mapHost) : nullptr;
    if (!map) {
        auto *state = new StudioEmptyState(QStringLiteral("No map here"),
                                           QStringLiteral("This copy of Tessaline cannot show a note as a map."),
                                           QStringLiteral("square.grid.2x2"));
        m_mapHost->layout()->addWidget(state);
        return;
    }
    m_map = map;
    m_mapHost->layout()->addWidget(map);
    map->setTrayShown(m_model->isShowingCanvasShelf());
    connect(map, &BoardMap::trayShownChanged, m_model, &BoardCanvasModel::setShowingCanvasShelf);
    connect(map, &BoardMap::referenceInWritingRequested, this, [this](const QUuid &cardID) {
        m_model->insertCardReference(cardID, std::nullopt, true);
        fadeInContent();
    });
    connect(map, &BoardMap::newThoughtRequested, this, &BoardCanvasView::presentQuickNote);
}

void BoardCanvasView::fadeInContent()
{
    // The new content fades in; under reduced motion in half the time.
    ContentFadeEffect::fadeIn(m_content);
}

void BoardCanvasView::openInsertSnipPicker()
{
    if (!m_model->hasAvailableSnips())
        return;
    m_insertSnipPicker->popup(QRect(m_insertSnip->mapToGlobal(QPoint(0, 0)), m_insertSnip->size()));
}

void BoardCanvasView::rebuildMoreMenu()
{
    m_moreMenu->clear();
    QAction *arrange = m_moreMenu->addAction(SymbolIcon::icon(QStringLiteral("square.grid.2x2")),
                                             QStringLiteral("Arrange on Canvas…"));
    connect(arrange, &QAction::triggered, this, [this] {
        m_model->showCanvas();
        fadeInContent();
    });
    QAction *think = m_moreMenu->addAction(SymbolIcon::icon(QStringLiteral("sparkles")), QStringLiteral("Help Me Think"));
    think->setEnabled(m_model->canHelpMeThink());
    think->setToolTip(m_model->helpMeThinkToolTip());
    connect(think, &QAction::triggered, m_model, &BoardCanvasModel::helpMeThink);
    QAction *brief = m_moreMenu->addAction(SymbolIcon::icon(QStringLiteral("doc.text")), QStringLiteral("Export Note Brief…"));
    connect(brief, &QAction::triggered, this, &BoardCanvasView::exportNoteBrief);
}

void BoardCanvasView::exportNoteBrief()
{
    const Board *board = m_model->board();
    if (!board)
        return;
    // A cancelled dialog says nothing; a failure shows in the note's alert.
    BoardBriefExportService::exportBrief(
        *board, m_model->boardCards(), m_model->boardConnections(), this,
        [model = QPointer<BoardCanvasModel>(m_model)](const SaveFileOutcome &outcome) {
            if (model && !outcome)
                model->setOperationError(BoardBriefExportService::saveFailureTitle() + QLatin1Char(' ') + outcome.error());
        });
}

void BoardCanvasView::copyKeptWriting()
{
    Pasteboard &pasteboard = m_services.pasteboard ? *m_services.pasteboard : ClipboardPasteboard::general();
    const QString type = QStringLiteral("text/plain");
    pasteboard.clearContents();
    pasteboard.declareTypes({type});
    if (!pasteboard.setData(keptWritingText(m_model->keptWritingTexts()).toUtf8(), type))
        m_model->setOperationError(QStringLiteral("The kept text could not be copied to the clipboard."));
}

void BoardCanvasView::saveKeptWriting()
{
    const QByteArray text = keptWritingText(m_model->keptWritingTexts()).toUtf8();
    SaveFileRequest request;
    request.fileName = ImageExportService::safeFileNameStem(m_model->title(), u"/:", QStringLiteral("Kept Writing"), -1,
                                                            QStringLiteral(".txt"))
        + QStringLiteral(".txt");
    request.mimeTypes = {QStringLiteral("text/plain")};
    request.defaultSuffix = QStringLiteral("txt");
    SaveFileFlow::save(
        this, request, [text]() -> Expected<QByteArray, QString> { return text; },
        [model = QPointer<BoardCanvasModel>(m_model)](const SaveFileOutcome &outcome) {
            if (model && !outcome)
                model->setOperationError(QStringLiteral("The kept text could not be saved. ") + outcome.error());
        });
}

void BoardCanvasView::presentQuickNote()
{
    auto *sheet = new QuickThoughtView(m_model->library(), m_model->navigation(), m_model->boardID(), this);
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    sheet->setWindowModality(Qt::WindowModal);
    sheet->open();
}

void BoardCanvasView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (event->spontaneous() || m_isOpen)
        return;
    m_isOpen = true;
    m_model->appear();
    m_surface->model()->setDocument(m_model->writingDocument());
    refreshBoard();
    refreshCards();
    // A note that starts at a paragraph (a new one) takes typing there; the
    // position is set once the note is open.
    QTimer::singleShot(0, this, [this] {
        if (const std::optional<QUuid> anchor = m_model->anchorParagraph(); anchor && m_isOpen)
            m_surface->focusParagraph(*anchor);
    });
}

// Focus in a paragraph makes it the writing position, so a position that no
// focused paragraph holds was set from outside the page.
void BoardCanvasView::takeTypingAtAnchor()
{
    if (!m_isOpen || m_model->isShowingCanvas())
        return;
    const std::optional<QUuid> anchor = m_model->anchorParagraph();
    if (!anchor)
        return;
    if (const WritingParagraphEditor *editor = m_surface->paragraphEditor(*anchor); editor && editor->hasFocus())
        return;
    m_surface->focusParagraph(*anchor);
}

void BoardCanvasView::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    // Minimising keeps the note open; closing the window or switching notes
    // does not.
    if (event->spontaneous() || !m_isOpen)
        return;
    m_isOpen = false;
    m_model->disappear();
}

} // namespace tessaline

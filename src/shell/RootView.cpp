#include "shell/RootView.h"

#include "model/StoreUndoStack.h"

#include "runtime/AppRuntime.h"
#include "shell/ErrorAlertController.h"
#include "runtime/LibraryQuery.h"
#include "shell/MainToolbarController.h"
#include "shell/MainWindowCommands.h"
#include "shell/MainWindowFrame.h"
#include "shell/SidebarModel.h"
#include "shell/SidebarView.h"
#include "design/AnimatedAmount.h"
#include "design/DesignEnvironment.h"
#include "design/GuidedTourHighlight.h"
#include "design/TessalinePrimaryButton.h"
#include "platform/SymbolIcon.h"
#include "platform/TextUtilities.h"
#include "platform/WindowSystem.h"

#include <algorithm>
#include <QAction>
#include <QDialog>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QWindowStateChangeEvent>
#include <QWindow>
#include <QPainter>
#include <QApplication>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QStackedLayout>
#include <QToolBar>
#include <QToolButton>

namespace tessaline {

namespace {

constexpr int sidebarMinimumWidth = 190;
constexpr int sidebarIdealWidth = 218;
constexpr int sidebarMaximumWidth = 285;
// The attention alert's narrowest width, in logical pixels.
constexpr int alertMinimumWidth = 380;
constexpr QSize windowMinimumSize(880, 580);
constexpr int inspectorMinimumWidth = 250;
constexpr int inspectorIdealWidth = 300;
constexpr int inspectorMaximumWidth = 390;
constexpr int coachmarkSideInset = 34;
constexpr int coachmarkBottomInset = 30;

// The Capture control: the primary button runs a region capture, the arrow
// beside it opens the capture menu. During the tour's first step the tour's
// ring stands round the two, in the margin the control keeps for it.
class CaptureControl : public QWidget
{
public:
    explicit CaptureControl(QWidget *parent = nullptr)
        : QWidget(parent)
        , m_ring(new AnimatedAmount(this, GuidedTourHighlight::motion()))
    {
        setObjectName(QStringLiteral("captureControl"));
        connect(m_ring, &AnimatedAmount::valueChanged, this, qOverload<>(&QWidget::update));
    }

    void setHighlighted(bool highlighted) { m_ring->setOn(highlighted); }
    bool isHighlighted() const { return m_ring->isOn(); }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        GuidedTourHighlight::paint(&painter, QRectF(rect()).marginsRemoved(QMarginsF(contentsMargins())), 7,
                                   m_ring->value(), palette(), DesignEnvironment::current().increasedContrast);
    }

private:
    AnimatedAmount *m_ring;
};

} // namespace

RootView::RootView(AppRuntime &runtime, UpdateService &updates, ScreenRegistry screens, QWidget *parent)
    : QMainWindow(parent)
    , m_controller(new RootViewController(runtime, this))
    , m_commands(new MainWindowCommands(runtime, updates, this))
    , m_screens(std::move(screens))
{
    // Screens may host parts other screens provide (the notes workspace
    // shows the canvas's map).
    m_controller->screens().setRegistry(&m_screens);
    setWindowTitle(QStringLiteral("Tessaline"));
    resize(1180, 780);
    // A screen shorter than the minimum (1080 lines at twice the scale)
    // would otherwise get a first frame that runs off its bottom.
    QSize minimum = windowMinimumSize;
    if (const QScreen *shownOn = screen())
        minimum = minimum.boundedTo(QSize(shownOn->availableGeometry().width(), roomForWindow(*shownOn).height()));
    setMinimumSize(minimum);

    m_splitter = new QSplitter(Qt::Horizontal, this);
    m_splitter->setChildrenCollapsible(false);

    m_sidebarView = new SidebarView(m_controller->sidebar(), runtime.navigation(), m_splitter);
    m_sidebarView->setMinimumWidth(sidebarMinimumWidth);
    m_sidebarView->setMaximumWidth(sidebarMaximumWidth);
    m_splitter->addWidget(m_sidebarView);

    m_detailHost = new QWidget(m_splitter);
    m_detailLayout = new QStackedLayout(m_detailHost);
    m_detailLayout->setContentsMargins(0, 0, 0, 0);
    m_splitter->addWidget(m_detailHost);

    m_inspectorHost = new QWidget(m_splitter);
    m_inspectorHost->setMinimumWidth(inspectorMinimumWidth);
    m_inspectorHost->setMaximumWidth(inspectorMaximumWidth);
    auto *inspectorLayout = new QVBoxLayout(m_inspectorHost);
    inspectorLayout->setContentsMargins(0, 0, 0, 0);
    m_splitter->addWidget(m_inspectorHost);

    m_splitter->setStretchFactor(0, 0);
    m_splitter->setStretchFactor(1, 1);
    m_splitter->setStretchFactor(2, 0);
    m_splitter->setSizes({sidebarIdealWidth, 1180 - sidebarIdealWidth, inspectorIdealWidth});
    setCentralWidget(m_splitter);

    buildToolbar();
    buildMenus();

    RootViewController &controller = *m_controller;
    connect(&controller, &RootViewController::sidebarVisibleChanged, this, &RootView::syncColumns);
    connect(&controller, &RootViewController::detailScreenChanged, this, &RootView::syncDetail);
    connect(&controller, &RootViewController::presentedSheetChanged, this, &RootView::syncSheet);
    connect(&controller, &RootViewController::coachmarkChanged, this, &RootView::syncCoachmark);
    connect(&controller.alert(), &ErrorAlertController::changed, this, &RootView::syncAlert);
    connect(&controller.toolbar(), &MainToolbarController::changed, this, &RootView::syncToolbar);
    connect(&runtime.navigation(), &NavigationState::inspectorPresentedChanged, this, &RootView::syncInspector);
    // A single note's screen is named after the note; a rename shows there.
    connect(&controller.library(), &LibraryQuery::changed, this, [this] {
        if (m_shownDetail && m_shownDetail->kind() == DetailScreen::Kind::boardCanvas
            && !m_screens.hasDetail(DetailScreen::Kind::boardCanvas)) {
            m_shownDetail.reset();
            syncDetail();
        }
    });

    syncColumns();
    syncDetail();
    syncInspector();
    syncToolbar();
    fitMinimumSizeToColumns();

    // Children go in the order they joined: moving the controller to the
    // end lets every view that reads it go first when the window is deleted.
    m_controller->setParent(nullptr);
    m_controller->setParent(this);
}

RootView::~RootView()
{
    // Sheets and the alert must not report back while the window goes, and
    // go before the controller they were made from.
    if (m_sheetDialog) {
        m_sheetDialog->disconnect(this);
        delete m_sheetDialog;
    }
    if (m_alertBox) {
        m_alertBox->disconnect(this);
        delete m_alertBox;
    }
    delete m_coachmark;
    // Hidden here, while the window is still whole: QWidget's destructor
    // would hide a window still shown, and the screens' hiding (which
    // writes what is typed) would then call back into a window already
    // taken apart.
    hide();
}

void RootView::buildToolbar()
{
    auto *toolbar = addToolBar(QStringLiteral("Toolbar"));
    toolbar->setObjectName(QStringLiteral("mainToolbar"));
    toolbar->setMovable(false);
    toolbar->setFloatable(false);
    toolbar->setContextMenuPolicy(Qt::PreventContextMenu);
    toolbar->setToolButtonStyle(Qt::ToolButtonIconOnly);

    // The split view's own control: the window starts with the sidebar
    // hidden, so this is how it comes back.
    m_sidebarToggle = toolbar->addAction(SymbolIcon::icon(QStringLiteral("sidebar.left")), QStringLiteral("Sidebar"));
    m_sidebarToggle->setCheckable(true);
    connect(m_sidebarToggle, &QAction::triggered, this,
            [this](bool checked) { m_controller->setSidebarVisible(checked); });

    auto *spacer = new QWidget(toolbar);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    toolbar->addWidget(spacer);

    MainToolbarController &actions = m_controller->toolbar();
    QAction *newNote = toolbar->addAction(SymbolIcon::icon(QStringLiteral("square.and.pencil")), QStringLiteral("New Note"));
    newNote->setToolTip(QStringLiteral("New Note"));
    connect(newNote, &QAction::triggered, &actions, &MainToolbarController::newNote);
    if (QWidget *button = toolbar->widgetForAction(newNote))
        button->setAccessibleName(QStringLiteral("New Note"));

    auto *control = new CaptureControl(toolbar);
    auto *controlLayout = new QHBoxLayout(control);
    // Room for the tour's ring, which stands outside the control.
    const int ring = int(GuidedTourHighlight::outset);
    control->setContentsMargins(ring, ring, ring, ring);
    controlLayout->setContentsMargins(0, 0, 0, 0);
    controlLayout->setSpacing(0);
    m_captureButton = new TessalinePrimaryButton(QStringLiteral("Capture"), QStringLiteral("viewfinder"), control);
    connect(m_captureButton, &QAbstractButton::clicked, &actions, &MainToolbarController::captureRegion);
    controlLayout->addWidget(m_captureButton);
    m_captureMenu = new QMenu(control);
    // Built when it opens: a library with many notes makes a long submenu,
    // and saves come often while the user writes.
    connect(m_captureMenu, &QMenu::aboutToShow, this, &RootView::rebuildCaptureMenu);
    m_captureMenuButton = new QToolButton(control);
    m_captureMenuButton->setArrowType(Qt::DownArrow);
    m_captureMenuButton->setAutoRaise(true);
    m_captureMenuButton->setPopupMode(QToolButton::InstantPopup);
    m_captureMenuButton->setMenu(m_captureMenu);
    m_captureMenuButton->setAccessibleName(QStringLiteral("Capture Options"));
    controlLayout->addWidget(m_captureMenuButton);
    m_captureControl = control;
    toolbar->addWidget(control);

    QAction *search = toolbar->addAction(SymbolIcon::icon(QStringLiteral("magnifyingglass")), QStringLiteral("Search"));
    search->setToolTip(QStringLiteral("Search"));
    connect(search, &QAction::triggered, &actions, &MainToolbarController::showSearch);

    m_inspectorAction = toolbar->addAction(SymbolIcon::icon(QStringLiteral("sidebar.right")), QStringLiteral("Inspector"));
    m_inspectorAction->setToolTip(QStringLiteral("Inspector"));
    connect(m_inspectorAction, &QAction::triggered, &actions, &MainToolbarController::toggleInspector);
    if (QWidget *button = toolbar->widgetForAction(m_inspectorAction))
        button->setAccessibleName(QStringLiteral("Inspector"));
}

void RootView::rebuildCaptureMenu()
{
    MainToolbarController &actions = m_controller->toolbar();
    // clear() drops the actions but leaves a submenu alive as a child.
    const QList<QMenu *> submenus = m_captureMenu->findChildren<QMenu *>(QString(), Qt::FindDirectChildrenOnly);
    m_captureMenu->clear();
    qDeleteAll(submenus);
    connect(m_captureMenu->addAction(SymbolIcon::icon(QStringLiteral("viewfinder")), QStringLiteral("Capture Region")),
            &QAction::triggered, &actions, &MainToolbarController::captureRegion);
    QAction *frontmost = m_captureMenu->addAction(SymbolIcon::icon(QStringLiteral("macwindow")),
                                                  QStringLiteral("Capture Frontmost Window"));
    connect(frontmost, &QAction::triggered, &actions, &MainToolbarController::captureWindow);
    MainWindowCommands::setFrontmostWindowAvailability(*frontmost);
    connect(m_captureMenu->addAction(SymbolIcon::icon(QStringLiteral("display")),
                                     QStringLiteral("Capture Display Under Pointer")),
            &QAction::triggered, &actions, &MainToolbarController::captureDisplay);
    m_captureMenu->addSeparator();
    QAction *review = m_captureMenu->addAction(QStringLiteral("Open Region Captures for Annotation"));
    review->setCheckable(true);
    review->setChecked(actions.opensRegionCapturesForAnnotation());
    connect(review, &QAction::toggled, &actions, &MainToolbarController::setOpensRegionCapturesForAnnotation);
    m_captureMenu->addSeparator();
    QMenu *destinations = m_captureMenu->addMenu(SymbolIcon::icon(QStringLiteral("arrow.down.to.line")),
                                                 QStringLiteral("Insert New Captures In"));
    for (const CaptureDestinationItem &item : actions.captureDestinationItems()) {
        if (item.type == CaptureDestinationItem::Type::divider) {
            destinations->addSeparator();
            continue;
        }
        QAction *choice = destinations->addAction(SymbolIcon::icon(item.systemImage), menuEscapedText(item.title));
        const QUuid boardID = item.boardID;
        connect(choice, &QAction::triggered, &actions, [&actions, boardID] { actions.chooseCaptureDestination(boardID); });
    }
}

void RootView::buildMenus()
{
    QMenu *file = menuBar()->addMenu(QStringLiteral("&File"));
    m_quickNoteCommand = file->addAction(QStringLiteral("Quick Note"));
    connect(m_quickNoteCommand, &QAction::triggered, m_commands, &MainWindowCommands::quickNote);
    m_captureRegionCommand = file->addAction(QStringLiteral("Capture Region"));
    connect(m_captureRegionCommand, &QAction::triggered, m_commands, &MainWindowCommands::captureRegion);
    QAction *frontmost = file->addAction(QStringLiteral("Capture Frontmost Window"));
    connect(frontmost, &QAction::triggered, m_commands, &MainWindowCommands::captureWindow);
    MainWindowCommands::setFrontmostWindowAvailability(*frontmost);
    connect(file->addAction(QStringLiteral("Capture Display Under Pointer")), &QAction::triggered, m_commands,
            &MainWindowCommands::captureDisplay);
    // Without a tray (GNOME has none) these are the only ways to settings
    // and out of the app, which keeps running when its window is closed.
    file->addSeparator();
    QAction *settings = file->addAction(SymbolIcon::icon(QStringLiteral("gearshape")),
                                        QStringLiteral("Settings && Shortcuts\u2026"));
    settings->setShortcut(QKeySequence(QStringLiteral("Ctrl+,")));
    connect(settings, &QAction::triggered, this, &RootView::settingsRequested);
    QAction *quit = file->addAction(QStringLiteral("Quit Tessaline"));
    quit->setShortcut(QKeySequence::Quit);
    // The gallery, a pin or the settings may be the window in front; the
    // app quits from any of its windows, as the tray's Quit does.
    quit->setShortcutContext(Qt::ApplicationShortcut);
    connect(quit, &QAction::triggered, qApp, &QCoreApplication::quit);

    QMenu *edit = menuBar()->addMenu(QStringLiteral("&Edit"));
    // Text fields take Ctrl+Z for their own text while they have the focus.
    QAction *undo = m_controller->undoStack().createUndoAction(edit, QStringLiteral("Undo"));
    undo->setShortcut(QKeySequence::Undo);
    edit->addAction(undo);
    QAction *redo = m_controller->undoStack().createRedoAction(edit, QStringLiteral("Redo"));
    redo->setShortcut(QKeySequence::Redo);
    edit->addAction(redo);

    QMenu *help = menuBar()->addMenu(QStringLiteral("&Help"));
    m_checkForUpdatesCommand = help->addAction(QStringLiteral("Check for Updates\u2026"));
    connect(m_checkForUpdatesCommand, &QAction::triggered, m_commands, &MainWindowCommands::checkForUpdates);

    auto syncCommands = [this] {
        m_quickNoteCommand->setText(m_commands->quickNoteText());
        m_quickNoteCommand->setShortcut(m_commands->quickNoteShortcut());
        m_captureRegionCommand->setText(m_commands->captureRegionText());
        m_captureRegionCommand->setShortcut(m_commands->captureRegionShortcut());
        m_checkForUpdatesCommand->setEnabled(m_commands->canCheckForUpdates());
    };
    connect(m_commands, &MainWindowCommands::changed, this, syncCommands);
    syncCommands();
}

void RootView::syncToolbar()
{
    const MainToolbarController &actions = m_controller->toolbar();
    m_captureControl->setToolTip(actions.captureHelpText());
    m_captureButton->setToolTip(actions.captureHelpText());
    static_cast<CaptureControl *>(m_captureControl)->setHighlighted(actions.isCaptureHighlighted());
    m_inspectorAction->setVisible(actions.showsInspectorButton());
}

void RootView::syncColumns()
{
    const bool visible = m_controller->isSidebarVisible();
    m_sidebarView->setVisible(visible);
    m_sidebarToggle->setChecked(visible);
    m_sidebarToggle->setToolTip(visible ? QStringLiteral("Hide Sidebar") : QStringLiteral("Show Sidebar"));
}

void RootView::syncDetail()
{
    const DetailScreen screen = m_controller->detailScreen();
    if (m_detail && m_shownDetail == screen)
        return;
    QWidget *previous = m_detail;
    m_detail = m_screens.makeDetail(m_controller->screens(), screen, m_detailHost);
    m_shownDetail = screen;
    // The screen going away reads the library no more: the one coming up
    // saves as it opens (a note is stamped opened), and the going one would
    // read every card again for nothing before it is deleted.
    if (previous) {
        const LibraryQuery &library = m_controller->library();
        QObject::disconnect(&library, &LibraryQuery::changed, previous, nullptr);
        for (QObject *part : previous->findChildren<QObject *>())
            QObject::disconnect(&library, &LibraryQuery::changed, part, nullptr);
    }
    m_detailLayout->addWidget(m_detail);
    m_detailLayout->setCurrentWidget(m_detail);
    if (previous) {
        m_detailLayout->removeWidget(previous);
        previous->hide();
        previous->deleteLater();
    }
}

void RootView::syncInspector()
{
    const bool presented = m_controller->runtime().navigation().isInspectorPresented();
    if (presented && !m_inspector) {
        m_inspector = m_screens.makeInspector(m_controller->screens(), m_inspectorHost);
        m_inspectorHost->layout()->addWidget(m_inspector);
    }
    m_inspectorHost->setVisible(presented);
}

bool RootView::isShownNatively() const
{
    return isVisible() && !isMinimized() && windowHandle() && windowHandle()->isVisible();
}

void RootView::syncSheet()
{
    const std::optional<SheetRequest> wanted = m_controller->presentedSheet();
    if (m_sheetDialog && m_shownSheet && wanted && wanted->isSameSheet(*m_shownSheet))
        return;
    if (QDialog *current = m_sheetDialog) {
        // Closed because its property was set back elsewhere: nothing to
        // write back.
        m_sheetDialog = nullptr;
        m_shownSheet.reset();
        current->disconnect(this);
        current->hide();
        current->deleteLater();
    }
    // Sheets hang off a window on screen; showing the window brings them.
    if (!wanted || !isShownNatively())
        return;
    QDialog *dialog = m_screens.makeSheet(m_controller->screens(), *wanted, this);
    if (!dialog)
        return;
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setAttribute(Qt::WA_DeleteOnClose, false);
    m_sheetDialog = dialog;
    m_shownSheet = wanted;
    const SheetKind kind = wanted->kind;
    connect(dialog, &QDialog::finished, this, [this, dialog, kind] {
        if (m_sheetDialog != dialog)
            return;
        m_sheetDialog = nullptr;
        m_shownSheet.reset();
        dialog->deleteLater();
        m_controller->sheetDismissed(kind);
        // The first-run setup stays while it is asked for; another sheet
        // that waited behind this one comes up now.
        syncSheet();
    });
    dialog->open();
}

void RootView::syncAlert()
{
    ErrorAlertController &alert = m_controller->alert();
    if (!alert.isPresented()) {
        if (QMessageBox *box = m_alertBox) {
            m_alertBox = nullptr;
            box->disconnect(this);
            box->hide();
            box->deleteLater();
        }
        return;
    }
    if (m_alertBox) {
        m_alertBox->setInformativeText(alert.message());
        return;
    }
    if (!isShownNatively())
        return;
    auto *box = new QMessageBox(this);
    box->setIcon(QMessageBox::Warning);
    box->setWindowTitle(alert.title());
    box->setText(alert.title());
    box->setTextFormat(Qt::PlainText);
    box->setInformativeText(alert.message());
    box->setWindowModality(Qt::WindowModal);
    // QMessageBox sizes itself to its words alone: a short message made a
    // box too narrow for its title, which window managers then cut, and a
    // long one wrapped into a tall column.
    if (auto *grid = qobject_cast<QGridLayout *>(box->layout())) {
        const int wide = std::max(alertMinimumWidth, 2 * box->fontMetrics().horizontalAdvance(alert.title()));
        grid->addItem(new QSpacerItem(wide, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(), 0, 1,
                      grid->columnCount());
    }
    QHash<QAbstractButton *, ErrorAlertController::Action> actions;
    for (const ErrorAlertController::Button &button : alert.buttons()) {
        QPushButton *pushButton = box->addButton(menuEscapedText(button.title), button.isCancel ? QMessageBox::RejectRole : QMessageBox::AcceptRole);
        actions.insert(pushButton, button.action);
        if (button.isCancel)
            box->setEscapeButton(pushButton);
        if (!box->defaultButton())
            box->setDefaultButton(pushButton);
    }
    m_alertBox = box;
    connect(box, &QMessageBox::finished, this, [this, box, actions] {
        if (m_alertBox != box)
            return;
        m_alertBox = nullptr;
        box->deleteLater();
        const auto chosen = actions.constFind(box->clickedButton());
        if (chosen != actions.constEnd())
            m_controller->alert().trigger(*chosen);
        else
            m_controller->alert().dismiss();
    });
    box->open();
}

void RootView::syncCoachmark()
{
    const bool visible = m_controller->isCoachmarkVisible();
    const std::optional<GuidedTourStep> step = visible ? m_controller->tourStep() : std::nullopt;
    const bool hasTarget = visible && m_controller->tourPreviewCardID().has_value();
    // A new card moves the keyboard focus onto itself, so it is made only
    // for a new step, or for the last step when what it says of the snip
    // changes; a capture in the middle of the tour leaves the focus be.
    if (m_coachmark && step == m_coachmarkStep
        && (hasTarget == m_coachmarkHasTarget || step != GuidedTourStep::snipPreview)) {
        m_coachmarkHasTarget = hasTarget;
        return;
    }
    if (m_coachmark)
        m_coachmark->deleteLater();
    m_coachmark = nullptr;
    m_coachmarkStep = step;
    m_coachmarkHasTarget = hasTarget;
    if (!step || !isVisible())
        return;
    m_coachmark = m_screens.makeCoachmark(m_controller->screens(), *step, hasTarget, this);
    if (!m_coachmark)
        return;
    m_coachmark->show();
    placeCoachmark();
}

void RootView::placeCoachmark()
{
    if (!m_coachmark)
        return;
    // The insets measure to the card; a coachmark keeps the room its shadow
    // falls into as contents margins, outside them.
    const QMargins shadow = m_coachmark->contentsMargins();
    const QSize size = m_coachmark->sizeHint().boundedTo(
        QSize(width() - 2 * coachmarkSideInset + shadow.left() + shadow.right(),
              height() - 2 * coachmarkBottomInset + shadow.top() + shadow.bottom()));
    m_coachmark->setGeometry(width() - coachmarkSideInset + shadow.right() - size.width(),
                             height() - coachmarkBottomInset + shadow.bottom() - size.height(), size.width(),
                             size.height());
    m_coachmark->raise();
}

void RootView::keyPressEvent(QKeyEvent *event)
{
    // The coachmark's Return and Escape serve the whole window, like a
    // dialog's default and cancel buttons: a press no control took reaches
    // the card wherever the focus is.
    const bool tourKey = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter
        || event->key() == Qt::Key_Escape;
    const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if (tourKey && plain && m_coachmark && m_coachmark->isVisible()) {
        QCoreApplication::sendEvent(m_coachmark, event);
        if (event->isAccepted())
            return;
    }
    QMainWindow::keyPressEvent(event);
}

void RootView::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    placeCoachmark();
}

bool RootView::event(QEvent *event)
{
    // What was asked for while the window was minimised comes with it.
    if (event->type() == QEvent::WindowStateChange
        && (static_cast<QWindowStateChangeEvent *>(event)->oldState() & Qt::WindowMinimized) && !isMinimized())
        syncPresentationSoon();
    const bool handled = QMainWindow::event(event);
    // A column shown, or a screen that needs more room, asks for a new
    // layout: the window grows with it rather than cut a column off.
    if (event->type() == QEvent::LayoutRequest)
        fitMinimumSizeToColumns();
    return handled;
}

void RootView::fitMinimumSizeToColumns()
{
    QSize wanted = layout()->totalMinimumSize().expandedTo(windowMinimumSize);
    const QScreen *shownOn = screen();
    // Never past the screen, where the window could not be seen whole: its
    // frame, once the window manager has put one round it, counts too.
    const QSize frame = frameGeometry().size() - size();
    if (shownOn) {
        const QSize available = shownOn->availableGeometry().size() - frame;
        wanted = wanted.boundedTo(QSize(available.width(), std::min(available.height(), roomForWindow(*shownOn).height())));
    }
    const QSize before = size();
    if (minimumSize() != wanted)
        setMinimumSize(wanted);
    // Widened for its columns near the screen's edge, or brought back wider
    // than the screen, the window shrinks and moves back whole onto it. One
    // the user has put partly off the screen stays where it is, and a
    // Wayland compositor places windows itself.
    if (!shownOn || !isVisible() || isMaximized() || isFullScreen())
        return;
    const QRect available = shownOn->availableGeometry();
    const QSize room = available.size() - frame;
    const bool tooLarge = width() > room.width() || height() > room.height();
    if (!tooLarge && size() == before)
        return;
    if (tooLarge)
        resize(size().boundedTo(room).expandedTo(minimumSize()));
    const QRect shown = frameGeometry();
    QPoint inside = shown.topLeft();
    inside.setX(std::max(available.left(), std::min(shown.left(), available.right() + 1 - shown.width())));
    inside.setY(std::max(available.top(), std::min(shown.top(), available.bottom() + 1 - shown.height())));
    if (inside != shown.topLeft())
        move(inside);
}

void RootView::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    // Each showing tries again until one start has gone through.
    m_controller->runtime().start();
    // The native window is shown only after this event. A sheet shown
    // before it would have no parent window as the compositor sees it, and
    // a Wayland compositor then stacks it as a window of its own, behind
    // this one once this appears.
    syncPresentationSoon();
}

void RootView::syncPresentationSoon()
{
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (!isShownNatively())
                return;
            const QDialog *sheet = m_sheetDialog;
            const QMessageBox *alert = m_alertBox;
            syncAlert();
            syncSheet();
            syncCoachmark();
            // The window asked for the focus as it was shown, and under
            // Wayland the desktop answers later, after a sheet opened now
            // has appeared: the quick note called up from a key would
            // stand there without the keyboard. Its sheets ask after it.
            if (m_sheetDialog != sheet || m_alertBox != alert)
                activateTopSheet();
        },
        Qt::QueuedConnection);
}

void RootView::bringToFront()
{
    // Restored without asking for the keyboard here: activateTopSheet asks
    // once, for the window that is to have it.
    if (isMinimized())
        setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    QWidget *front = activateTopSheet();
    // sway hands a second start no activation token and ignores a request
    // without one; KWin refuses one while another app has the focus (a
    // full-screen player, say). The compositor's own command brings the
    // window forward.
    if (const QWindow *window = front->windowHandle())
        WindowSystem::bringForwardThroughCompositor(*window);
}

QWidget *RootView::activateTopSheet()
{
    // Without a window manager nothing keeps a sheet above the window it
    // belongs to: raised alone, the window would cover its own sheet (the
    // review that a capture just opened, say) and, blocked by it, take no
    // input. Its sheets, and theirs, go back on top, the last opened
    // highest, and the top one gets the focus.
    QWidget *front = this;
    for (QDialog *dialog : findChildren<QDialog *>()) {
        if (dialog->isVisible() && dialog->isWindow() && dialog->windowModality() != Qt::NonModal) {
            dialog->raise();
            front = dialog;
        }
    }
    if (WindowSystem::prepareActivation())
        front->activateWindow();
    return front;
}

bool RootView::hasAttachedSheet() const
{
    const QList<QDialog *> dialogs = findChildren<QDialog *>();
    return std::any_of(dialogs.cbegin(), dialogs.cend(), [](const QDialog *dialog) {
        return dialog->isVisible() && dialog->windowModality() != Qt::NonModal;
    });
}

} // namespace tessaline

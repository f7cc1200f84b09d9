#include "library/SnipGalleryView.h"

#include "design/DesignEnvironment.h"
#include "design/DesignTokens.h"
#include "design/ErrorAlert.h"
#include "design/FunctionalSurface.h"
#include "design/SemanticColors.h"
#include "design/SheetSize.h"
#include "design/StudioDivider.h"
#include "design/StudioEmptyState.h"
#include "design/StudioIconButton.h"
#include "design/StudioText.h"
#include "library/SnipGalleryInfoPanel.h"
#include "library/ZoomableSnipView.h"
#include "model/Board.h"
#include "model/CanvasCard.h"
#include "platform/AccessibilitySettings.h"
#include "platform/SymbolIcon.h"
#include "platform/TextUtilities.h"
#include "runtime/ImageExportService.h"
#include "runtime/LibraryQuery.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QScrollArea>
#include <QShortcut>
#include <QStackedWidget>
#include <QToolButton>
#include <QVariantAnimation>
#include <QVBoxLayout>

namespace tessaline {

namespace {

constexpr int barHeight = 48;
constexpr int animationMs = 160;

QWidget *verticalDivider()
{
    auto *line = new StudioDivider(Qt::Vertical);
    line->setFixedHeight(18);
    return line;
}

StudioIconButton *barButton(const QString &title, const QString &symbol, std::function<void()> action)
{
    auto *button = new StudioIconButton(title, symbol, false, StudioControlProminence::standard, std::move(action));
    // Left, Right and Space are the gallery's; no button may take them, nor
    // Return as a dialog's default button.
    button->setFocusPolicy(Qt::NoFocus);
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

QToolButton *zoomButton(const QString &help, const QString &symbol)
{
    auto *button = new QToolButton;
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    button->setIcon(SymbolIcon::icon(symbol));
    button->setToolTip(help);
    button->setAccessibleName(help);
    return button;
}

} // namespace

SnipGalleryView::SnipGalleryView(LibraryQuery &library, NavigationState &navigation, const QUuid &initialCardID,
                                 SnipGalleryServices services, QWidget *parent)
    : QDialog(parent), m_infoAnimation(new QVariantAnimation(this))
{
    if (!services.reducesMotion)
        services.reducesMotion = [] { return AccessibilitySettings::shared().reducesMotion(); };
    if (!services.saveImage) {
        services.saveImage = [this](const QImage &image, const QString &name, SaveFileFlow::Completion done) {
            ImageExportService::savePNG(image, name, this, std::move(done));
        };
    }
    m_model = new SnipGalleryModel(library, navigation, initialCardID, std::move(services), this);

    setWindowTitle(tr("Snip gallery"));
    setAccessibleName(tr("Snip gallery"));
    // Roomy where the screen allows; a small or scaled-up screen still
    // shows the whole sheet, title bar and all.
    setMinimumSize(sheetSizeWithinScreen(this, QSize(900, 620), 0.85));
    setFocusPolicy(Qt::StrongFocus);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Window);

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    // Top bar.
    auto *bar = new FunctionalSurface(FunctionalSurfaceRole::toolbar, 0);
    bar->setFixedHeight(barHeight);
    auto *barContent = new QWidget;
    auto *row = new QHBoxLayout(barContent);
    row->setContentsMargins(14, 0, 14, 0);
    row->setSpacing(8);
    row->addWidget(barButton(tr("Close gallery (Space or Escape)"), QStringLiteral("xmark"),
                             [this] { m_model->closeGallery(); }));
    row->addWidget(verticalDivider());
    m_previous = barButton(tr("Previous snip (Left Arrow)"), QStringLiteral("chevron.left"),
                           [this] { m_model->showNeighbour(false); });
    m_next = barButton(tr("Next snip (Right Arrow)"), QStringLiteral("chevron.right"),
                       [this] { m_model->showNeighbour(true); });
    row->addWidget(m_previous);
    row->addWidget(m_next);
    m_position = new StudioText(QString(), TessalineTypography::systemFont(11, QFont::Medium), SemanticColor::secondary);
    m_position->setMinimumWidth(48);
    row->addWidget(m_position);
    auto *title = new StudioText(QString(), TessalineTypography::systemFont(13, QFont::Medium), SemanticColor::label);
    title->setElidesInItsOwnDirection(true);
    m_title = title;
    m_title->setAlignment(Qt::AlignCenter);
    m_title->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    row->addWidget(m_title, 1);

    auto *zoomGroup = new FunctionalSurface(FunctionalSurfaceRole::contextualPalette, 8);
    auto *zoomContent = new QWidget;
    auto *zoomRow = new QHBoxLayout(zoomContent);
    zoomRow->setContentsMargins(8, 5, 8, 5);
    zoomRow->setSpacing(7);
    m_zoomOut = zoomButton(tr("Zoom out"), QStringLiteral("minus.magnifyingglass"));
    m_zoomIn = zoomButton(tr("Zoom in"), QStringLiteral("plus.magnifyingglass"));
    m_zoomMenu = new QToolButton;
    m_zoomMenu->setAutoRaise(true);
    m_zoomMenu->setFocusPolicy(Qt::NoFocus);
    m_zoomMenu->setToolTip(tr("Zoom options"));
    m_zoomMenu->setPopupMode(QToolButton::InstantPopup);
    QFont percentage = TessalineTypography::systemFont(11, QFont::Medium);
    percentage.setFamilies({QStringLiteral("DejaVu Sans Mono"), QStringLiteral("monospace")});
    percentage.setStyleHint(QFont::Monospace);
    m_zoomMenu->setFont(percentage);
    m_zoomMenu->setFixedWidth(46);
    auto *zoomOptions = new QMenu(m_zoomMenu);
    m_fitAction = zoomOptions->addAction(tr("Fit to Window"), this, [this] { m_model->setZoomMode(SnipZoomMode::fit()); });
    m_actualSizeAction = zoomOptions->addAction(tr("Actual Size"), this,
                                                [this] { m_model->setZoomMode(SnipZoomMode::actualSize()); });
    m_zoomMenu->setMenu(zoomOptions);
    zoomRow->addWidget(m_zoomOut);
    zoomRow->addWidget(m_zoomMenu);
    zoomRow->addWidget(m_zoomIn);
    zoomGroup->setContent(zoomContent);
    row->addWidget(zoomGroup);
    connect(m_zoomOut, &QToolButton::clicked, this, [this] { m_model->zoom(SnipZoom::zoomOutFactor); });
    connect(m_zoomIn, &QToolButton::clicked, this, [this] { m_model->zoom(SnipZoom::zoomInFactor); });

    row->addWidget(verticalDivider());
    m_copy = barButton(tr("Copy rendered snip"), QStringLiteral("doc.on.doc"), [this] { m_model->copyRenderedSnip(); });
    m_save = barButton(tr("Save rendered snip"), QStringLiteral("square.and.arrow.down"),
                       [this] { m_model->saveRenderedSnip(); });
    m_frame = barButton(tr("Frame"), QStringLiteral("macwindow"),
                        [this] { m_model->closeAndPresent(SnipGalleryModel::HandOff::frameComposer); });
    m_annotate = barButton(tr("Annotate"), QStringLiteral("pencil.tip"),
                           [this] { m_model->closeAndPresent(SnipGalleryModel::HandOff::annotation); });
    m_noteMenu = barButton(tr("Add to Note"), QStringLiteral("note.text.badge.plus"), {});
    auto *notes = new QMenu(m_noteMenu);
    m_noteMenu->setMenu(notes);
    connect(notes, &QMenu::aboutToShow, this, &SnipGalleryView::rebuildNoteMenu);
    m_infoToggle = barButton(tr("Show details"), QStringLiteral("info.circle"),
                             [this] { m_model->setShowsInfo(!m_model->showsInfo()); });
    for (QWidget *button : {static_cast<QWidget *>(m_copy), static_cast<QWidget *>(m_save),
                            static_cast<QWidget *>(m_frame), static_cast<QWidget *>(m_annotate),
                            static_cast<QWidget *>(m_noteMenu), static_cast<QWidget *>(m_infoToggle)})
        row->addWidget(button);
    bar->setContent(barContent);
    outer->addWidget(bar);

    outer->addWidget(new StudioDivider(Qt::Horizontal));

    // Main area: the picture and the details, or the unavailable state.
    m_main = new QStackedWidget;
    m_content = new QWidget;
    auto *content = new QHBoxLayout(m_content);
    content->setContentsMargins(0, 0, 0, 0);
    content->setSpacing(0);
    m_zoomable = new ZoomableSnipView;
    content->addWidget(m_zoomable, 1);
    m_infoDivider = new StudioDivider(Qt::Vertical);
    content->addWidget(m_infoDivider);
    m_infoScroll = new QScrollArea;
    m_infoScroll->setFrameShape(QFrame::NoFrame);
    m_infoScroll->setFocusPolicy(Qt::NoFocus);
    m_infoScroll->setWidgetResizable(true);
    m_infoScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_info = new SnipGalleryInfoPanel(*m_model);
    m_infoScroll->setWidget(m_info);
    m_infoScroll->setFixedWidth(SnipGalleryInfoPanel::panelWidth);
    content->addWidget(m_infoScroll);
    m_main->addWidget(m_content);
    m_unavailable = new StudioEmptyState(tr("Snip unavailable"), tr("This capture may have been moved or deleted."),
                                         QStringLiteral("photo.badge.exclamationmark"));
    m_main->addWidget(m_unavailable);
    outer->addWidget(m_main, 1);

    m_infoAnimation->setDuration(animationMs);
    m_infoAnimation->setEasingCurve(QEasingCurve::OutCubic);
    connect(m_infoAnimation, &QVariantAnimation::valueChanged, this, [this](const QVariant &value) {
        m_infoScroll->setFixedWidth(value.toInt());
    });
    connect(m_infoAnimation, &QVariantAnimation::finished, this, [this] { updateShowsInfo(); });

    // The keys: each is taken by the gallery whatever has the focus, and
    // each counts as handled even when nothing changes.
    auto shortcut = [this](const QKeySequence &keys, std::function<void()> run) {
        auto *key = new QShortcut(keys, this);
        key->setContext(Qt::WindowShortcut);
        connect(key, &QShortcut::activated, this, std::move(run));
    };
    shortcut(QKeySequence(Qt::Key_Left), [this] { m_model->showNeighbour(false); });
    shortcut(QKeySequence(Qt::Key_Right), [this] { m_model->showNeighbour(true); });
    shortcut(QKeySequence(Qt::Key_Space), [this] { m_model->closeGallery(); });
    shortcut(QKeySequence(Qt::Key_Escape), [this] { m_model->closeGallery(); });
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_Equal), [this] { m_model->zoom(SnipZoom::zoomInFactor); });
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_Plus), [this] { m_model->zoom(SnipZoom::zoomInFactor); });
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_Minus), [this] { m_model->zoom(SnipZoom::zoomOutFactor); });

    connect(m_zoomable, &ZoomableSnipView::zoomModeEdited, m_model, &SnipGalleryModel::setZoomMode);
    connect(m_zoomable, &ZoomableSnipView::fitScaleChanged, m_model, &SnipGalleryModel::setFitScale);
    connect(m_model, &SnipGalleryModel::currentCardChanged, this, &SnipGalleryView::updateCard);
    connect(m_model, &SnipGalleryModel::pictureChanged, this, &SnipGalleryView::updatePicture);
    connect(m_model, &SnipGalleryModel::zoomModeChanged, this, &SnipGalleryView::updateZoom);
    connect(m_model, &SnipGalleryModel::fitScaleChanged, this, &SnipGalleryView::updateZoom);
    connect(m_model, &SnipGalleryModel::copiedChanged, this, &SnipGalleryView::updateCopied);
    connect(m_model, &SnipGalleryModel::exportingChanged, this, [this] { m_save->setEnabled(!m_model->isExporting() && m_model->picture()); });
    connect(m_model, &SnipGalleryModel::keyboardFocusWanted, this, &SnipGalleryView::takeKeyboardFocus);
    connect(m_model, &SnipGalleryModel::dismissRequested, this, [this] { QDialog::done(QDialog::Rejected); });
    connect(m_model, &SnipGalleryModel::showsInfoChanged, this, [this] {
        m_infoToggle->setTitle(m_model->showsInfo() ? tr("Hide details") : tr("Show details"));
        m_infoToggle->setSelected(m_model->showsInfo());
        const int target = m_model->showsInfo() ? SnipGalleryInfoPanel::panelWidth : 0;
        m_infoAnimation->stop();
        if (m_model->showsInfo()) {
            m_info->rebuild();
            // A hidden panel, the first time too, comes in from nothing.
            if (!m_infoScroll->isVisible())
                m_infoScroll->setFixedWidth(0);
            m_infoDivider->show();
            m_infoScroll->show();
        }
        if (AccessibilitySettings::shared().reducesMotion() || !isVisible()) {
            m_infoScroll->setFixedWidth(target);
            updateShowsInfo();
            return;
        }
        m_infoAnimation->setStartValue(m_infoScroll->width());
        m_infoAnimation->setEndValue(target);
        m_infoAnimation->start();
    });
    connect(m_model, &SnipGalleryModel::errorMessageChanged, this, [this] {
        syncErrorAlert(m_alert, this, tr("Couldn’t finish that action"), m_model->errorMessage(),
                       [this] { m_model->setErrorMessage(std::nullopt); });
    });

    updateShowsInfo();
    updateCard();
    updatePicture();
    updateZoom();
    updateCopied();
    takeKeyboardFocus();
}

SnipGalleryView::~SnipGalleryView()
{
    m_model->disappeared();
}

QSize SnipGalleryView::sizeHint() const
{
    return sheetSizeWithinScreen(this, QSize(1140, 760), 0.92).expandedTo(minimumSize());
}

void SnipGalleryView::reject()
{
    // The window manager's close and the dialog's own Escape end the
    // gallery like its close button.
    m_model->closeGallery();
}

StudioEmptyState *SnipGalleryView::unavailableState() const
{
    return m_main->currentWidget() == m_unavailable ? m_unavailable : nullptr;
}

QMenu *SnipGalleryView::noteMenu() const
{
    const_cast<SnipGalleryView *>(this)->rebuildNoteMenu();
    return m_noteMenu->menu();
}

void SnipGalleryView::takeKeyboardFocus()
{
    setFocus(Qt::OtherFocusReason);
}

void SnipGalleryView::updateCard()
{
    const CanvasCard *card = m_model->currentCard();
    const SnipGallerySequence sequence = m_model->sequence();
    m_title->setText(m_model->title());
    m_position->setText(sequence.positionText());
    m_previous->setEnabled(sequence.step(false).has_value());
    m_next->setEnabled(sequence.step(true).has_value());
    m_noteMenu->setVisible(card != nullptr);
    if (card) {
        const QString title = m_model->noteMenuTitle();
        m_noteMenu->setTitle(title);
        m_noteMenu->setEnabled(m_model->hasNoteTargets());
    }
    m_frame->setEnabled(card != nullptr);
    m_annotate->setEnabled(card != nullptr);
    if (m_model->showsInfo())
        m_info->rebuild();
}

void SnipGalleryView::updatePicture()
{
    const bool unavailable = m_model->isUnavailable();
    m_main->setCurrentWidget(unavailable ? static_cast<QWidget *>(m_unavailable) : m_content);
    const SharedSnipPicture picture = m_model->picture();
    const QUuid cardID = m_model->currentCardID();
    // Each snip starts at rest, fitted; only zooming within one eases.
    m_zoomable->setPicture(picture, m_model->pictureSize(), cardID != m_shownCardID);
    m_shownCardID = cardID;
    m_copy->setEnabled(picture != nullptr);
    m_save->setEnabled(picture != nullptr && !m_model->isExporting());
    if (m_model->showsInfo())
        m_info->rebuild();
}

void SnipGalleryView::updateZoom()
{
    m_zoomable->setZoomMode(m_model->zoomMode());
    m_zoomMenu->setText(m_model->zoomPercentageText());
    const SnipZoomMode::Kind kind = m_model->zoomMode().kind();
    m_fitAction->setIcon(SymbolIcon::icon(kind == SnipZoomMode::Kind::fit
                                              ? QStringLiteral("checkmark")
                                              : QStringLiteral("arrow.up.left.and.arrow.down.right")));
    m_actualSizeAction->setIcon(SymbolIcon::icon(kind == SnipZoomMode::Kind::actualSize ? QStringLiteral("checkmark")
                                                                                         : QStringLiteral("1.magnifyingglass")));
}

void SnipGalleryView::updateShowsInfo()
{
    const bool shows = m_model->showsInfo();
    m_infoDivider->setVisible(shows);
    m_infoScroll->setVisible(shows);
    if (shows)
        m_infoScroll->setFixedWidth(SnipGalleryInfoPanel::panelWidth);
}

void SnipGalleryView::updateCopied()
{
    const bool copied = m_model->isCopied();
    m_copy->setTitle(copied ? tr("Copied") : tr("Copy rendered snip"));
    m_copy->setSystemImage(copied ? QStringLiteral("checkmark") : QStringLiteral("doc.on.doc"));
}

void SnipGalleryView::rebuildNoteMenu()
{
    QMenu *menu = m_noteMenu->menu();
    menu->clear();
    const QList<Board *> targets = m_model->noteTargets();
    if (targets.isEmpty()) {
        menu->addAction(tr("No other notes"))->setEnabled(false);
        return;
    }
    for (const Board *target : targets) {
        const QUuid noteID = target->id();
        // The snip the menu was built for, looked up again when chosen.
        const QUuid cardID = m_model->currentCardID();
        menu->addAction(menuEscapedText(target->title()), this, [this, cardID, noteID] {
            if (const CanvasCard *card = m_model->library().firstCard(cardID))
                m_model->addCurrentSnip(*card, noteID);
        });
    }
}

} // namespace tessaline

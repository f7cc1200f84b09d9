#include "canvas/BoardMapView.h"

#include "canvas/BoardMapModel.h"
#include "canvas/BoardMapScene.h"
#include "canvas/CanvasEmptyStateCard.h"
#include "canvas/CardItem.h"
#include "canvas/CardMenuEntry.h"
#include "canvas/CardPictures.h"
#include "canvas/CardPresentation.h"
#include "canvas/ConnectionEditorView.h"
#include "canvas/MapAccessibility.h"
#include "canvas/SnipTrayView.h"
#include "canvas/StudioSelectionPalette.h"
#include "design/ErrorAlert.h"
#include "design/FunctionalSurface.h"
#include "model/Board.h"
#include "model/CanvasCard.h"
#include "platform/SymbolIcon.h"
#include "platform/TextUtilities.h"
#include "runtime/GuidedTourTarget.h"
#include "runtime/NavigationState.h"
#include "runtime/SnipImageCache.h"

#include <QAccessible>
#include <QGraphicsProxyWidget>
#include <QGraphicsView>
#include <QMenu>
#include <QMessageBox>
#include <QResizeEvent>
#include <QScrollBar>
#include <QVBoxLayout>

namespace tessaline {

namespace {

constexpr int overlayMargin = 18;

} // namespace

BoardMapView::BoardMapView(ModelContext &context, NavigationState &navigation, const QUuid &boardID,
                           StoreUndoStack *undoStack, BoardMapServices services, QWidget *parent)
    : BoardMap(parent)
    , m_services(std::move(services))
    , m_model(new BoardMapModel(context, navigation, boardID, undoStack, {}, this))
    , m_images(new SnipImageCache(this))
    , m_pictures(new CardPictures(*m_images, this))
    , m_scene(new BoardMapScene(*m_model, *m_pictures, this))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    MapAccessibility::install();
    m_view = new QGraphicsView(m_scene, this);
    m_view->viewport()->setObjectName(MapAccessibility::viewportName());
    m_view->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // Like any scroll view: a resize keeps the top-left corner in place.
    m_view->setResizeAnchor(QGraphicsView::NoAnchor);
    m_view->setTransformationAnchor(QGraphicsView::NoAnchor);
    m_view->setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform | QPainter::TextAntialiasing);
    m_view->setFrameShape(QFrame::NoFrame);
    m_view->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_view->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_view->setAcceptDrops(true);
    m_view->setFocusPolicy(Qt::StrongFocus);
    layout->addWidget(m_view);

    m_emptyState = new CanvasEmptyStateCard({[this] { Q_EMIT newThoughtRequested(); },
                                             [this] { m_model->placeLatest(); },
                                             [this] {
                                                 if (m_services.captureRegion)
                                                     m_services.captureRegion();
                                             }});
    m_scene->setEmptyStateWidget(m_emptyState);

    m_overlay = new QWidget(this);
    auto *overlay = new QVBoxLayout(m_overlay);
    overlay->setContentsMargins(0, 0, 0, 0);
    overlay->setSpacing(10);
    m_trayContainer = new FunctionalSurface(FunctionalSurfaceRole::contextualPalette, 13, m_overlay);
    auto *trayHolder = new QWidget(m_trayContainer);
    auto *trayLayout = new QVBoxLayout(trayHolder);
    trayLayout->setContentsMargins(10, 10, 10, 10);
    m_tray = new SnipTrayView(*m_model, *m_pictures, trayHolder);
    trayLayout->addWidget(m_tray);
    m_trayContainer->setContent(trayHolder);
    m_trayContainer->setFixedHeight(78);
    m_trayContainer->setMaximumWidth(760);
    m_trayContainer->setVisible(false);
    connect(m_tray, &SnipTrayView::closeRequested, this, [this] { setTrayShown(false); });
    overlay->addWidget(m_trayContainer, 0, Qt::AlignHCenter);
    m_palette = new StudioSelectionPalette(
        [this](StudioSelectionAction action) { m_model->handleSelectionAction(action); }, m_overlay);
    m_palette->setVisible(false);
    overlay->addWidget(m_palette, 0, Qt::AlignHCenter);

    connect(m_model, &BoardMapModel::cardsChanged, this, &BoardMapView::refresh);
    connect(m_model, &BoardMapModel::selectionChanged, this, &BoardMapView::refreshSelection);
    connect(m_model, &BoardMapModel::assistantAvailableChanged, this, &BoardMapView::refreshSelection);
    connect(m_model, &BoardMapModel::operationErrorChanged, this, [this] {
        syncErrorAlert(m_alert, this, QStringLiteral("Couldn\u2019t complete that action"), m_model->operationError(),
                       [model = m_model] { model->setOperationError(std::nullopt); });
    });
    connect(m_model, &BoardMapModel::connectRequested, this, &BoardMapView::presentConnectionEditor);
    connect(m_scene, &BoardMapScene::cardContextMenuRequested, this, [this](const QUuid &cardID, const QPoint &at) {
        if (QMenu *menu = makeCardMenu(cardID, this)) {
            menu->setAttribute(Qt::WA_DeleteOnClose);
            menu->popup(at);
        }
    });
    connect(m_scene, &BoardMapScene::focusedCardChanged, this, &BoardMapView::focusedCardChanged);
    refresh();
    refreshSelection();
}

BoardMapView::~BoardMapView()
{
    // The scene's items reach the model and the pictures while they go.
    delete m_scene;
}

void BoardMapView::refresh()
{
    const Board *board = m_model->board();
    m_view->setAccessibleName((board ? board->title() : QString()) + QStringLiteral(" canvas"));
    m_emptyState->setState(m_model->emptyStateMessage(), m_model->offersPlaceLatest());
    if (QGraphicsProxyWidget *proxy = m_scene->emptyStateItem())
        proxy->resize(m_emptyState->sizeHint());
    placeOverlay();
    describeFocusedCard();
    announceMapChange();
}

void BoardMapView::announceMapChange()
{
    if (!QAccessible::isActive())
        return;
    QAccessibleEvent event(m_view->viewport(), QAccessible::ObjectReorder);
    QAccessible::updateAccessibility(&event);
}

void BoardMapView::refreshSelection()
{
    const qsizetype count = m_model->selectedCount();
    m_palette->setState(count, m_model->disabledSelectionActions(), m_model->isAssistantAvailable());
    m_palette->setVisible(count > 0);
    placeOverlay();
    describeFocusedCard();
}

void BoardMapView::setTrayShown(bool shown)
{
    if (m_trayShown == shown)
        return;
    m_trayShown = shown;
    m_trayContainer->setVisible(shown);
    placeOverlay();
    Q_EMIT trayShownChanged(shown);
}

void BoardMapView::setAssistantAvailable(bool available)
{
    m_model->setAssistantAvailable(available);
}

void BoardMapView::setGuidedTour(GuidedTourTarget *target)
{
    disconnect(m_guidedTourWatch);
    m_guidedTour = target;
    const auto follow = [this] {
        const bool onLastStep = m_guidedTour && m_guidedTour->step() == GuidedTourStep::snipPreview;
        m_scene->setTourPreviewCardID(onLastStep ? m_guidedTour->previewCardID() : std::nullopt);
    };
    if (target)
        m_guidedTourWatch = connect(target, &GuidedTourTarget::changed, this, follow);
    follow();
}

void BoardMapView::showEvent(QShowEvent *event)
{
    BoardMap::showEvent(event);
    // The map opens at its top-left corner, where the first cards go.
    if (!std::exchange(m_hasBeenShown, true)) {
        m_view->horizontalScrollBar()->setValue(m_view->horizontalScrollBar()->minimum());
        m_view->verticalScrollBar()->setValue(m_view->verticalScrollBar()->minimum());
    }
}

void BoardMapView::resizeEvent(QResizeEvent *event)
{
    BoardMap::resizeEvent(event);
    placeOverlay();
}

void BoardMapView::placeOverlay()
{
    const bool shown = m_trayShown || m_model->selectedCount() > 0;
    m_overlay->setVisible(shown);
    if (!shown)
        return;
    // Only as wide as what it shows, so the map takes the clicks beside it.
    const int available = std::max(0, this->width() - 2 * overlayMargin);
    int width = 0;
    if (m_trayShown) {
        width = std::min(760, available);
        m_trayContainer->setFixedWidth(width);
    }
    if (m_palette->isVisible())
        width = std::max(width, std::min(available, m_palette->sizeHint().width()));
    m_overlay->layout()->activate();
    const QSize size(width, m_overlay->layout()->sizeHint().height());
    m_overlay->setGeometry(QRect(QPoint((this->width() - size.width()) / 2, height() - overlayMargin - size.height()),
                                 size));
    m_overlay->raise();
}

void BoardMapView::focusedCardChanged(const std::optional<QUuid> &cardID)
{
    m_focusedCardID = cardID;
    describeFocusedCard();
    if (!cardID || !QAccessible::isActive())
        return;
    auto *map = dynamic_cast<MapAccessibility *>(QAccessible::queryAccessibleInterface(m_view->viewport()));
    if (QAccessibleInterface *element = map ? map->cardElement(*cardID) : nullptr) {
        QAccessibleEvent event(element, QAccessible::Focus);
        QAccessible::updateAccessibility(&event);
    }
}

void BoardMapView::describeFocusedCard()
{
    const CanvasCard *card = m_focusedCardID ? m_model->card(*m_focusedCardID) : nullptr;
    if (!card) {
        m_view->setAccessibleDescription(QString());
        return;
    }
    m_view->setAccessibleDescription(CardPresentation::of(*card).accessibilityLabel + QStringLiteral(", ") +
                                     CardPresentation::accessibilityValue(m_model->isSelected(card->id())) +
                                     QStringLiteral(". ") + CardPresentation::accessibilityHint());
}

void BoardMapView::presentConnectionEditor(const QUuid &sourceCardID, const QUuid &destinationCardID)
{
    auto *editor = new ConnectionEditorView(m_model->context(), sourceCardID, destinationCardID, this);
    editor->setAttribute(Qt::WA_DeleteOnClose);
    editor->setWindowModality(Qt::WindowModal);
    editor->open();
}

QMenu *BoardMapView::makeCardMenu(const QUuid &cardID, QWidget *parent)
{
    const CanvasCard *card = m_model->card(cardID);
    if (!card)
        return nullptr;
    auto *menu = new QMenu(parent);
    QMenu *kinds = nullptr;
    for (const CardMenuEntry &entry : CardMenuEntry::entries(card->kind())) {
        if (entry.action == CardMenuEntry::Action::separator) {
            menu->addSeparator();
            continue;
        }
        QMenu *target = menu;
        if (entry.thoughtKind) {
            if (!kinds)
                kinds = menu->addMenu(CardMenuEntry::kindSubmenuTitle());
            target = kinds;
        }
        QAction *action = target->addAction(menuEscapedText(entry.title));
        if (!entry.systemImage.isEmpty())
            action->setIcon(SymbolIcon::icon(entry.systemImage));
        if (entry.action == CardMenuEntry::Action::pin && !m_services.pinImage)
            action->setEnabled(false);
        const int kind = entry.thoughtKind ? int(*entry.thoughtKind) : -1;
        connect(action, &QAction::triggered, this,
                [this, cardID, which = int(entry.action), kind] { runCardAction(cardID, which, kind); });
    }
    return menu;
}

void BoardMapView::runCardAction(const QUuid &cardID, int which, int thoughtKind)
{
    // Looked up again: the card may have gone while the menu was open.
    CanvasCard *card = m_model->card(cardID);
    if (!card)
        return;
    const auto withImage = [&](SnipPictureUse use) {
        if (m_services.annotatedImage)
            m_services.annotatedImage(cardID, this, std::move(use));
    };
    using Action = CardMenuEntry::Action;
    switch (Action(which)) {
    case Action::open:
        m_model->openCard(*card);
        break;
    case Action::referenceInWriting:
        Q_EMIT referenceInWritingRequested(cardID);
        break;
    case Action::annotate:
        m_model->annotateCard(*card);
        break;
    case Action::pin:
        if (m_services.pinImage) {
            withImage([this, cardID](const CanvasCard &, const QImage &picture) {
                m_services.pinImage(picture, cardID);
            });
        }
        break;
    case Action::copy:
        if (m_services.copyImage)
            m_services.copyImage(cardID, this);
        break;
    case Action::exportPNG:
        if (m_services.saveImage) {
            withImage([this](const CanvasCard &exported, const QImage &picture) {
                m_services.saveImage(picture, exported.displayTitle(), this,
                                     [model = QPointer<BoardMapModel>(m_model)](const SaveFileOutcome &outcome) {
                                         if (model && !outcome)
                                             model->setOperationError(outcome.error());
                                     });
            });
        }
        break;
    case Action::setThoughtKind:
        if (thoughtKind >= 0)
            m_model->setCardThoughtKind(*card, ThoughtKind(thoughtKind));
        break;
    case Action::returnToTray:
        m_model->returnCardToTray(*card);
        break;
    case Action::moveToTrash:
        m_model->trashCard(*card);
        break;
    case Action::separator:
        break;
    }
}

} // namespace tessaline

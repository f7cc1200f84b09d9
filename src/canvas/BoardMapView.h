#pragma once

#include "runtime/BoardMap.h"
#include "runtime/SaveFileFlow.h"
#include "runtime/SnipPictureReading.h"

#include <QImage>
#include <QMessageBox>
#include <QMetaObject>
#include <QPointer>

#include <functional>
#include <optional>

class QGraphicsView;
class QMenu;

namespace tessaline {

class AppRuntime;
class BoardMapModel;
class BoardMapScene;
class CanvasEmptyStateCard;
class CardPictures;
class FunctionalSurface;
class GuidedTourTarget;
class LibraryQuery;
class ModelContext;
class NavigationState;
class SnipImageCache;
class SnipTrayView;
class StoreUndoStack;
class StudioSelectionPalette;

// What the map needs of the rest of the app besides the library.
struct BoardMapServices
{
    // Starts a region capture (the empty state's "Capture Region").
    std::function<void()> captureRegion;
    // Hands the card's picture, its annotations drawn, to `use` once read
    // off the main thread, while `receiver` lives; nothing when unreadable.
    std::function<void(const QUuid &cardID, QObject *receiver, SnipPictureUse use)> annotatedImage;
    // Puts the card's picture, its annotations drawn, on the clipboard, made
    // off the main thread while `receiver` lives.
    std::function<void(const QUuid &cardID, QObject *receiver)> copyImage;
    // Asks where to save the picture as PNG and answers once: saved,
    // cancelled, or the reason it failed.
    std::function<void(const QImage &image, const QString &name, QWidget *owner, SaveFileFlow::Completion done)>
        saveImage;
    // Shows the picture in a floating pin window; "Pin" is unavailable while
    // nothing takes pins.
    std::function<void(const QImage &image, const QUuid &cardID)> pinImage;
};

// The map mode of a note's workspace: the scrollable map with its grid,
// connections and cards, the snip tray and the selection palette at its
// bottom, the card menus, the connection editor and the map's error alert.
class BoardMapView : public BoardMap
{
    Q_OBJECT
public:
    BoardMapView(ModelContext &context, NavigationState &navigation, const QUuid &boardID, StoreUndoStack *undoStack,
                 BoardMapServices services, QWidget *parent = nullptr);
    ~BoardMapView() override;

    BoardMapModel &model() const { return *m_model; }
    BoardMapScene &scene() const { return *m_scene; }
    QGraphicsView *graphicsView() const { return m_view; }
    SnipImageCache *imageCache() const { return m_images; }
    SnipTrayView *tray() const { return m_tray; }
    StudioSelectionPalette *palette() const { return m_palette; }
    CanvasEmptyStateCard *emptyState() const { return m_emptyState; }
    QMessageBox *errorAlert() const { return m_alert; }

    bool isTrayShown() const override { return m_trayShown; }
    void setTrayShown(bool shown) override;
    // Whether the window can show the thinking assistant for the palette's
    // Ask; until it can, Ask is disabled and says why.
    void setAssistantAvailable(bool available);
    // The tour's last step puts its ring on the card it points at.
    void setGuidedTour(GuidedTourTarget *target);

    // The card's context menu, as a right-click shows it.
    QMenu *makeCardMenu(const QUuid &cardID, QWidget *parent);

protected:
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void announceMapChange();
    void refresh();
    void refreshSelection();
    void placeOverlay();
    void focusedCardChanged(const std::optional<QUuid> &cardID);
    // What assistive technology hears for the card with keyboard focus.
    void describeFocusedCard();
    void presentConnectionEditor(const QUuid &sourceCardID, const QUuid &destinationCardID);
    void runCardAction(const QUuid &cardID, int action, int thoughtKind);

    BoardMapServices m_services;
    BoardMapModel *m_model;
    SnipImageCache *m_images;
    CardPictures *m_pictures;
    BoardMapScene *m_scene;
    QGraphicsView *m_view;
    CanvasEmptyStateCard *m_emptyState;
    QWidget *m_overlay;
    FunctionalSurface *m_trayContainer;
    SnipTrayView *m_tray;
    StudioSelectionPalette *m_palette;
    QPointer<QMessageBox> m_alert;
    bool m_trayShown = false;
    bool m_hasBeenShown = false;
    QPointer<GuidedTourTarget> m_guidedTour;
    QMetaObject::Connection m_guidedTourWatch;
    std::optional<QUuid> m_focusedCardID;
};

} // namespace tessaline

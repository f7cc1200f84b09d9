#pragma once

#include "canvas/BoardLayoutEditor.h"
#include "canvas/StudioSelectionAction.h"
#include "model/CanvasCard.h"

#include <QObject>
#include <QPointF>
#include <QPointer>
#include <QSizeF>
#include <QStringList>
#include <QUuid>

#include <optional>

namespace tessaline {

class Board;
class CanvasCard;
class Connection;
class ModelContext;
class NavigationState;
class StoreUndoStack;

// The map of one open note: which of its cards are placed, wait in the tray
// or are selected, and every edit and action the map, its tray, its card
// menus and its selection palette offer. Reads the library afresh on each
// use; the screen redraws on `cardsChanged`.
class BoardMapModel : public QObject
{
    Q_OBJECT
public:
    using Clock = BoardLayoutEditor::Clock;

    BoardMapModel(ModelContext &context, NavigationState &navigation, const QUuid &boardID, StoreUndoStack *undoStack,
                  Clock now = {}, QObject *parent = nullptr);

    QUuid boardID() const { return m_boardID; }
    ModelContext &context() const { return m_context; }
    NavigationState &navigation() const { return m_navigation; }
    BoardLayoutEditor &layoutEditor() { return m_editor; }

    // The live note, else none (it was deleted or moved to the trash).
    Board *board() const;
    // The note's live cards, in the library's order.
    QList<CanvasCard *> boardCards() const;
    // Placed cards of any kind, oldest first: the newest is drawn on top.
    QList<CanvasCard *> placedCards() const;
    // Unplaced snips, newest moment (capture, else creation) first.
    QList<CanvasCard *> trayCards() const;
    // The note's live connections, in the library's order.
    QList<Connection *> boardConnections() const;
    QSizeF contentSize() const;
    // The live card of this note with that id.
    CanvasCard *card(const QUuid &id) const;

    // Selection. The palette counts every selected id; its actions use only
    // the selected cards of this note.
    bool isSelected(const QUuid &cardID) const;
    QList<CanvasCard *> selectedCards() const;
    qsizetype selectedCount() const;
    // Ctrl-click adds to or takes from the selection.
    void selectCard(const CanvasCard &card, bool additive);
    void clearSelection();

    // Layout edits; a failure is shown through `operationError`.
    void placeCard(CanvasCard &card, const QPointF &origin);
    void placeInNextSlot(CanvasCard &card);
    // A drop of card ids from the tray (or the map): only the first is
    // looked at, and only a card of this note is placed. False when refused.
    bool handleMapDrop(const QStringList &items, const QPointF &location);
    void moveCard(CanvasCard &card, const QPointF &origin);
    void resizeCard(CanvasCard &card, const QSizeF &size);
    void returnCardToTray(CanvasCard &card);
    void groupSelectedCards();

    // Card actions.
    void openCard(const CanvasCard &card);
    void annotateCard(const CanvasCard &card);
    // Not undoable; a failed save keeps the kind set and is reported.
    void setCardThoughtKind(CanvasCard &card, ThoughtKind kind);
    // Not undoable; the card leaves the selection.
    void trashCard(CanvasCard &card);

    // The selection palette.
    bool isAssistantAvailable() const { return m_assistantAvailable; }
    void setAssistantAvailable(bool available);
    QSet<StudioSelectionAction> disabledSelectionActions() const;
    void handleSelectionAction(StudioSelectionAction action);

    // The empty state, shown while no card is placed.
    QString emptyStateMessage() const;
    bool offersPlaceLatest() const;
    void placeLatest();

    std::optional<QString> operationError() const { return m_operationError; }
    void setOperationError(const std::optional<QString> &message);

    static QString emptyStateTitle() { return QStringLiteral("Start shaping this board"); }
    static QString trayEmptyText() { return QStringLiteral("Every snip in this note is already on the canvas."); }
    static QString trayTileTooltip(const CanvasCard &card);
    static QString cardDragMimeType() { return QStringLiteral("text/plain"); }

Q_SIGNALS:
    // The note's cards or connections changed: placed, returned, trashed,
    // added, moved, relabelled. Sent at most once per turn of the event loop.
    void cardsChanged();
    void selectionChanged();
    void assistantAvailableChanged();
    void operationErrorChanged();
    // The palette's Connect: the screen presents the connection editor.
    void connectRequested(const QUuid &sourceCardID, const QUuid &destinationCardID);

private:
    void report(const Expected<void, StoreError> &result);
    void scheduleCardsChanged();

    ModelContext &m_context;
    NavigationState &m_navigation;
    QUuid m_boardID;
    BoardLayoutEditor m_editor;
    Clock m_now;
    bool m_assistantAvailable = false;
    bool m_cardsChangePending = false;
    std::optional<QString> m_operationError;
    // The note's live cards, and the library's card list they were picked
    // from; dropped when a card's note, deletion or id is written.
    mutable std::optional<QList<CanvasCard *>> m_boardCards;
    mutable QList<CanvasCard *> m_boardCardsFrom;
};

} // namespace tessaline

#pragma once

#include "runtime/NavigationState.h"
#include "model/CanvasCard.h"
#include "design/QuietCard.h"
#include "model/BoardWritingDocument.h"

#include <QPointer>
#include <QStringList>

#include <functional>

class QMenu;

namespace tessaline {

class AnimatedAmount;
class Pasteboard;
class SnipImageCache;
class SnipImageView;
class StudioIconButton;

// A card referenced inside a note's writing: a snip as its picture with its
// caption and a menu of snip actions, any other card as a compact row that
// opens it. It changes nothing itself: opening, removing and resizing are
// the actions handed in; the snip actions copy, save or open a sheet through
// the navigation state. It takes the keyboard by Tab alone, so a click still
// leaves the caret where it was: then Return or Space opens it as a click
// does, and the Menu key or Shift+F10 opens its actions menu.
class BoardWritingReferenceView : public QuietCard
{
    Q_OBJECT
public:
    BoardWritingReferenceView(CanvasCard *card, NoteAttachmentSize size, SnipImageCache *images,
                              QWidget *parent = nullptr);

    CanvasCard *card() const { return m_card; }
    NoteAttachmentSize size() const { return m_size; }
    // A new size keeps the row (and whether Copy succeeded).
    void setSize(NoteAttachmentSize size);

    // The target of "Annotate" and "Copy with Frame…"; none leaves them inert.
    void setNavigation(NavigationState *navigation) { m_navigation = navigation; }
    // Where Copy puts the picture; the desktop clipboard unless set.
    void setPasteboard(Pasteboard *pasteboard) { m_pasteboard = pasteboard; }

    // The guided tour's ring round the snip's picture: its last step points
    // at this snip. It fades in and out.
    void setTourHighlighted(bool highlighted);
    bool isTourHighlighted() const;
    // Where the ring stands in this view; empty while there is none.
    QRectF tourRingRect() const;

    bool isCopied() const { return m_copied; }
    // The actions menu as the context menu and the hover button show it.
    QMenu *createActionsMenu(QWidget *parent);
    // Runs Copy as its menu entry does.
    void copyImage();

    std::function<void()> onOpen;
    std::function<void()> onRemove;
    std::function<void(NoteAttachmentSize)> onChangeSize;

protected:
    void contextMenuEvent(QContextMenuEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void rebuild();
    // What the content shows of the card, as texts: it is made again only
    // when this changes.
    QStringList shownTexts() const;
    QWidget *buildSnipContent();
    QWidget *buildThoughtContent();
    void setHoverShown(bool shown);
    void placeActionsButton();
    void saveImage();
    void open();
    // The actions menu at `globalPosition`; at most one at a time.
    void popUpActionsMenu(const QPoint &globalPosition);
    // Where a menu opened from the keyboard stands: under the actions button
    // of a snip, at the card's top corner otherwise.
    QPoint keyboardMenuPosition() const;

    QPointer<CanvasCard> m_card;
    NoteAttachmentSize m_size;
    SnipImageCache *m_images;
    QPointer<NavigationState> m_navigation;
    Pasteboard *m_pasteboard = nullptr;
    StudioIconButton *m_actionsButton = nullptr;
    QPointer<SnipImageView> m_image;
    QPointer<QMenu> m_menu;
    AnimatedAmount *m_tourRing = nullptr;
    bool m_copied = false;
    QStringList m_shown;
};

} // namespace tessaline

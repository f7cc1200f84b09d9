#pragma once

#include "library/SnipGalleryModel.h"

#include <QDialog>
#include <QMessageBox>
#include <QPointer>

class QLabel;
class QMenu;
class QScrollArea;
class QStackedWidget;
class QToolButton;
class QVariantAnimation;

namespace tessaline {

class LibraryQuery;
class NavigationState;
class SnipGalleryInfoPanel;
class StudioEmptyState;
class StudioIconButton;
class ZoomableSnipView;

// One snip large, over the main window: pages through its sequence with
// Left and Right (or the top bar), zooms, copies and saves the rendered
// snip, hands it to the frame composer or the annotation window, files it
// into another note and shows its details. Space and Escape close it. The
// keys belong to the gallery itself: no button ever takes the focus.
class SnipGalleryView : public QDialog
{
    Q_OBJECT
public:
    SnipGalleryView(LibraryQuery &library, NavigationState &navigation, const QUuid &initialCardID,
                    SnipGalleryServices services, QWidget *parent = nullptr);
    ~SnipGalleryView() override;

    SnipGalleryModel *model() const { return m_model; }
    ZoomableSnipView *zoomableView() const { return m_zoomable; }
    SnipGalleryInfoPanel *infoPanel() const { return m_info; }
    QLabel *positionLabel() const { return m_position; }
    QLabel *titleLabel() const { return m_title; }
    StudioIconButton *previousButton() const { return m_previous; }
    StudioIconButton *nextButton() const { return m_next; }
    StudioIconButton *copyButton() const { return m_copy; }
    StudioIconButton *saveButton() const { return m_save; }
    StudioIconButton *noteMenuButton() const { return m_noteMenu; }
    StudioIconButton *infoButton() const { return m_infoToggle; }
    QToolButton *zoomMenuButton() const { return m_zoomMenu; }
    // The empty state while the snip is unavailable, else null.
    StudioEmptyState *unavailableState() const;
    QMessageBox *alert() const { return m_alert; }
    // The note menu as it would open now (tests).
    QMenu *noteMenu() const;

    QSize sizeHint() const override;

public Q_SLOTS:
    void reject() override;

private:
    void updateCard();
    void updatePicture();
    void updateZoom();
    void updateShowsInfo();
    void updateCopied();
    void rebuildNoteMenu();
    void takeKeyboardFocus();

    SnipGalleryModel *m_model;
    QLabel *m_position;
    QLabel *m_title;
    StudioIconButton *m_previous;
    StudioIconButton *m_next;
    StudioIconButton *m_copy;
    StudioIconButton *m_save;
    StudioIconButton *m_frame;
    StudioIconButton *m_annotate;
    StudioIconButton *m_noteMenu;
    StudioIconButton *m_infoToggle;
    QToolButton *m_zoomOut;
    QToolButton *m_zoomMenu;
    QToolButton *m_zoomIn;
    QAction *m_fitAction;
    QAction *m_actualSizeAction;
    QStackedWidget *m_main;
    QWidget *m_content;
    ZoomableSnipView *m_zoomable;
    QWidget *m_infoDivider;
    QScrollArea *m_infoScroll;
    SnipGalleryInfoPanel *m_info;
    StudioEmptyState *m_unavailable;
    QVariantAnimation *m_infoAnimation;
    QPointer<QMessageBox> m_alert;
    QUuid m_shownCardID;
};

} // namespace tessaline

#pragma once

#include "runtime/SaveFileFlow.h"

#include <QImage>
#include <QMessageBox>
#include <QPointer>
#include <QUuid>
#include <QWidget>

#include <functional>
#include <limits>
#include <utility>

class QLineEdit;
class QListView;
class QMenu;

class QStackedWidget;
class QTimer;

namespace tessaline {

class CanvasCard;
class LibraryQuery;
class NavigationState;
class Pasteboard;
class SnipImageCache;
class SnipsLibraryModel;
class StudioEmptyState;
class TessalinePrimaryButton;

// What the library hands work to outside itself.
struct SnipsLibraryServices
{
    // Starts an interactive region capture.
    std::function<void()> captureRegion;
    Pasteboard *pasteboard = nullptr;
    // Asks where to save the image as PNG and writes it, then answers once;
    // the screen shows a failure in its alert.
    std::function<void(const QImage &image, const QString &suggestedName, QWidget *parent,
                       SaveFileFlow::Completion completion)>
        saveImage;
    // Shows the snip, annotations drawn in, in a floating pin window; "Pin"
    // is unavailable while nothing takes pins.
    std::function<void(const CanvasCard &card)> pinCard;
};

// The main window's "Snips" screen: every live snip of every note as a grid
// of tiles, newest capture first, with a filter field, a context menu on
// each tile and one alert for what the note menu reports. The grid is one
// list view painted by a delegate, so thousands of snips cost one widget;
// pictures are decoded and scaled off the main thread by the image cache.
class SnipsLibraryView : public QWidget
{
    Q_OBJECT
public:
    SnipsLibraryView(LibraryQuery &library, NavigationState &navigation, SnipsLibraryServices services,
                     QWidget *parent = nullptr);
    ~SnipsLibraryView() override;

    SnipsLibraryModel *model() const { return m_model; }
    SnipImageCache *imageCache() const { return m_images; }
    QLineEdit *filterField() const { return m_filter; }
    TessalinePrimaryButton *captureButton() const { return m_capture; }
    QListView *grid() const { return m_grid; }
    // The empty state on show, or null while the grid is.
    StudioEmptyState *emptyState() const;
    QMessageBox *alert() const { return m_alert; }

    // The tile's context menu, built for the card; the caller owns it.
    QMenu *cardMenu(CanvasCard *card, QWidget *parent);

    // The width of one grid column for the space the grid has.
    static int columnWidth(int availableWidth);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void updateContent();
    void updateDivider();
    void repaintTile(const QUuid &cardID);
    void updateGridSize();
    void updateAlert();
    void showCardMenu(const QPoint &position);
    void copyImage(const CanvasCard *card);
    void saveImage(const CanvasCard *card);

    SnipsLibraryServices m_services;
    SnipsLibraryModel *m_model;
    SnipImageCache *m_images;
    QLineEdit *m_filter;
    TessalinePrimaryButton *m_capture;
    QWidget *m_divider;
    QStackedWidget *m_content;
    QListView *m_grid;
    StudioEmptyState *m_noMatches;
    StudioEmptyState *m_noSnips;
    QPointer<QMessageBox> m_alert;
    QTimer *m_dateTimer;
    // The rows whose date texts were painted since the timer last fired.
    std::pair<int, int> m_datedRows{std::numeric_limits<int>::max(), -1};
};

} // namespace tessaline

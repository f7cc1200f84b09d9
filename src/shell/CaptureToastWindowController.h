#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QUuid>

#include <optional>

class QWidget;
class QWindow;

namespace tessaline {

class AppRuntime;
class CaptureCompletionToastView;

// Keeps at most one capture toast on screen: a small frameless window near
// the top-right corner of the screen under the pointer, above other windows
// and on every workspace, shown without taking focus from the application
// in front. Each new toast replaces the previous one. The window is made
// once and shown again for each capture: making it (its widgets, fonts,
// icons and native window) holds the main thread longer than a frame.
class CaptureToastWindowController : public QObject
{
    Q_OBJECT
public:
    // The toast's size where its texts fit in it; it grows where they
    // need more room (wider desktop fonts, a long note name).
    static constexpr QSize toastSize{430, 164};
    static QSize fittedSize(QWidget &toast);
    static constexpr int cornerInset = 18;

    static CaptureToastWindowController &shared();

    ~CaptureToastWindowController() override;

    // Makes the window, hidden, unless it is there already: called while a
    // capture is being stored, so its toast only has to be shown.
    void prepare(AppRuntime &runtime);
    void show(const QUuid &cardID, AppRuntime &runtime);
    void close();
    // The toast on screen, or none.
    QWidget *panel() const;

    // Where a toast goes for a pointer position and the screens' geometries
    // and available areas (top-left origin): inside the top-right corner of
    // the screen holding the pointer (a point on a screen's left or bottom
    // edge counts as inside, on its right or top edge as outside), else of
    // the primary screen, for a toast of `size`. None when there is no
    // screen: centre it.
    static std::optional<QPoint> toastPosition(const QPoint &pointer, const QList<QRect> &screenGeometries,
                                               const QList<QRect> &availableGeometries, int primaryIndex,
                                               const QSize &size = toastSize);

private:
    // Whether the toast is a popup of one of our windows rather than a
    // window of its own (see show()).
    static bool isPopupOf(QWindow *parent) { return parent != nullptr; }
    void build(AppRuntime &runtime, bool popup);
    void discard();

    QPointer<CaptureCompletionToastView> m_view;
    AppRuntime *m_runtime = nullptr;
    QMetaObject::Connection m_runtimeGone;
    bool m_isPopup = false;
    bool m_isShown = false;
};

} // namespace tessaline

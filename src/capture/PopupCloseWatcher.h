#pragma once

#include <QElapsedTimer>
#include <QObject>

namespace tessaline {

// Notes when one of the app's own menus or popups last closed. A capture
// asked for from a menu would otherwise picture the menu: it has only just
// been asked to close, and what lay under it is not drawn again yet.
class PopupCloseWatcher : public QObject
{
    Q_OBJECT
public:
    // How long the screen takes to show what a closed menu covered: the
    // window system unmaps it, and the windows under it, ours and other
    // applications', draw again.
    static constexpr int settleMilliseconds = 150;

    explicit PopupCloseWatcher(QObject *parent = nullptr);
    ~PopupCloseWatcher() override;

    // What is left of the settling time after the last popup closed; 0
    // once it has passed or when no popup has closed.
    int settleRemaining() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QElapsedTimer m_sinceClosed;
};

} // namespace tessaline

#pragma once

#include <QObject>
#include <QRect>

namespace tessaline {

// Keeps a pop-up that Qt slid against the screen's edge beside what it
// opened from. Qt keeps a menu on screen by sliding it against the edge of
// the screen, as if the window it belongs to stood at the screen's corner;
// under Wayland it rarely does (a tiled window sits inside the compositor's
// border), so the menu ends a few pixels past the output and the compositor
// flips it to the far side of where it was asked to open: a whole menu's
// width away from the button at the window's right edge. Slid against its
// window's edge instead, which the compositor keeps on screen, it stays
// beside the button. Installed on the application; only Wayland needs it.
class PopupPlacementGuard : public QObject
{
public:
    explicit PopupPlacementGuard(QObject *parent = nullptr);

    bool eventFilter(QObject *watched, QEvent *event) override;

    // Where a pop-up Qt put at `popup` (global) goes: within the window it
    // belongs to when Qt slid it against the screen's right edge past that
    // window's right edge; left as it is otherwise.
    static QRect placement(const QRect &popup, const QRect &window, const QRect &screen);
};

} // namespace tessaline

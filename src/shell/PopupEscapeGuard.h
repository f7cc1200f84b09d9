#pragma once

#include <QObject>

namespace tessaline {

// Keeps Escape to the pop-up list it closed. A combo box's list closes as
// soon as Escape is announced, before the key itself is delivered; under X11
// the key then goes to the list's window, now gone, but under Wayland the
// keyboard stays with the window the list came from, so the same key goes on
// to that window too: the first-run setup skipped itself, and a sheet
// closed, when all the user meant was to close the list. Installed on the
// application; a pop-up still open when the key arrives (a menu closes on
// the key itself) has it as before.
class PopupEscapeGuard : public QObject
{
public:
    explicit PopupEscapeGuard(QObject *parent = nullptr);

    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // The announced Escape a pop-up had when it came; the key press of the
    // same event carries the same time.
    bool m_announcedToPopup = false;
    quint64 m_announcedAt = 0;
};

} // namespace tessaline

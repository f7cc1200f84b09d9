#include "shell/PopupEscapeGuard.h"

#include <QApplication>
#include <QKeyEvent>
#include <QKeySequence>

#include <utility>

namespace tessaline {

PopupEscapeGuard::PopupEscapeGuard(QObject *parent)
    : QObject(parent)
{
}

bool PopupEscapeGuard::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::ShortcutOverride && type != QEvent::KeyPress)
        return QObject::eventFilter(watched, event);
    const auto *key = static_cast<const QKeyEvent *>(event);
    if (type == QEvent::ShortcutOverride) {
        // Announced to each receiver on its way up: the list is closed by
        // the time the later ones hear it.
        if (!key->matches(QKeySequence::Cancel))
            return false;
        if (QApplication::activePopupWidget()) {
            m_announcedToPopup = true;
            m_announcedAt = key->timestamp();
        } else if (key->timestamp() != m_announcedAt) {
            m_announcedToPopup = false;
        }
        return false;
    }
    if (!std::exchange(m_announcedToPopup, false))
        return false;
    return key->matches(QKeySequence::Cancel) && key->timestamp() == m_announcedAt
        && !QApplication::activePopupWidget();
}

} // namespace tessaline

#include "design/DialogOwner.h"

#include <QApplication>
#include <QWidget>
#include <QWindow>

namespace tessaline {

namespace {

bool isPopup(const QWidget *window)
{
    return window->windowType() == Qt::Popup || window->windowType() == Qt::ToolTip;
}

QWidget *widgetOf(const QWindow *window)
{
    if (!window)
        return nullptr;
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget *each : windows) {
        if (each->windowHandle() == window)
            return each;
    }
    return nullptr;
}

} // namespace

void keepDialogOffPopups(QWidget &dialog)
{
    const QWidget *parent = dialog.parentWidget();
    if (!dialog.isWindow() || !parent)
        return;
    QWidget *popup = parent->window();
    if (!isPopup(popup))
        return;
    // A popup's parent window, where nothing parents it as a widget (the
    // toast), is the window it was given to stand on.
    QWidget *owner = popup;
    while (owner && isPopup(owner)) {
        const QWindow *handle = owner->windowHandle();
        QWidget *below = owner->parentWidget() ? owner->parentWidget()->window()
                                               : (handle ? widgetOf(handle->transientParent()) : nullptr);
        owner = below;
    }
    if (!owner)
        return;
    dialog.setParent(owner, dialog.windowFlags());
    QObject::connect(popup, &QObject::destroyed, &dialog, &QWidget::close);
}

} // namespace tessaline

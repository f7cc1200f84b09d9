#pragma once

#include <QMessageBox>
#include <QPointer>
#include <QString>

#include <functional>
#include <optional>

namespace tessaline {

// Puts what failed and why into a box, as plain text: the title is said in
// the box as well, since desktops cut a small dialog's title bar short or
// show none, and the reason alone ("Operation not permitted") does not say
// what failed.
void sayWhatFailed(QMessageBox &box, const QString &title, const QString &reason);

// Keeps one window-modal alert in step with a screen's optional error
// message: opened (plain text, "Unknown error" for an empty message) while
// there is one, closed when it is gone. Closing it calls `dismissed`, which
// clears the message.
void syncErrorAlert(QPointer<QMessageBox> &alert, QWidget *parent, const QString &title,
                    const std::optional<QString> &message, const std::function<void()> &dismissed);

} // namespace tessaline

#include "design/ErrorAlert.h"

namespace tessaline {

void syncErrorAlert(QPointer<QMessageBox> &alert, QWidget *parent, const QString &title,
                    const std::optional<QString> &message, const std::function<void()> &dismissed)
{
    if (!message) {
        if (alert)
            alert->close();
        return;
    }
    if (alert)
        return;
    // The title goes into the box as well: desktops cut a small dialog's
    // title bar short or show none, and the reason alone ("Operation not
    // permitted") does not say what failed.
    alert = new QMessageBox(QMessageBox::NoIcon, title, title, QMessageBox::Ok, parent);
    alert->setInformativeText(message->isEmpty() ? QStringLiteral("Unknown error") : *message);
    // After the informative text, so that its label is plain too.
    alert->setTextFormat(Qt::PlainText);
    alert->setAttribute(Qt::WA_DeleteOnClose);
    alert->setWindowModality(Qt::WindowModal);
    QObject::connect(alert, &QMessageBox::finished, parent, [dismissed] { dismissed(); });
    alert->open();
}

} // namespace tessaline

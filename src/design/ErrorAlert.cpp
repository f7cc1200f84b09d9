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
    alert = new QMessageBox(QMessageBox::NoIcon, title, message->isEmpty() ? QStringLiteral("Unknown error") : *message,
                            QMessageBox::Ok, parent);
    alert->setTextFormat(Qt::PlainText);
    alert->setAttribute(Qt::WA_DeleteOnClose);
    alert->setWindowModality(Qt::WindowModal);
    QObject::connect(alert, &QMessageBox::finished, parent, [dismissed] { dismissed(); });
    alert->open();
}

} // namespace tessaline

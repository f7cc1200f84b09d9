#include "design/ErrorAlert.h"

namespace tessaline {

void sayWhatFailed(QMessageBox &box, const QString &title, const QString &reason)
{
    box.setText(title);
    box.setInformativeText(reason);
    // After the informative text, so that its label is plain too.
    box.setTextFormat(Qt::PlainText);
}

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
    alert = new QMessageBox(QMessageBox::NoIcon, title, QString(), QMessageBox::Ok, parent);
    sayWhatFailed(*alert, title, message->isEmpty() ? QStringLiteral("Unknown error") : *message);
    alert->setAttribute(Qt::WA_DeleteOnClose);
    alert->setWindowModality(Qt::WindowModal);
    QObject::connect(alert, &QMessageBox::finished, parent, [dismissed] { dismissed(); });
    alert->open();
}

} // namespace tessaline

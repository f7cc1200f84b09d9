#include "shell/QuitGuard.h"

#include "model/ModelContext.h"

#include <QEvent>

namespace tessaline {

QuitGuard::QuitGuard(ModelContext &context, QuitAnyway quitAnyway, QObject *parent)
    : QObject(parent)
    , m_context(context)
    , m_quitAnyway(std::move(quitAnyway))
{
}

bool QuitGuard::eventFilter(QObject *watched, QEvent *event)
{
    // A second request while the user is being asked waits for the answer.
    if (event->type() != QEvent::Quit || m_asking)
        return QObject::eventFilter(watched, event);
    if (!m_context.hasChanges())
        return false;
    const auto saved = m_context.save();
    if (saved)
        return false;
    m_asking = true;
    const QString reason = saved.error().message;
    const bool quits = m_quitAnyway
        && m_quitAnyway(m_context.isReadOnly() ? unkeptChangesMessage(reason) : unsavedChangesMessage(reason));
    m_asking = false;
    if (quits) {
        // Given up by the user's choice: nothing is tried again on the way
        // out, and the user is not asked twice.
        m_context.rollback();
        return false;
    }
    event->ignore();
    return true;
}

QString QuitGuard::unsavedChangesMessage(const QString &reason)
{
    return QStringLiteral("Your latest changes could not be saved. %1\n\n"
                          "If you quit now, they will be lost. Stay to keep them, and quit again once the "
                          "problem is fixed.")
        .arg(reason);
}

QString QuitGuard::unkeptChangesMessage(const QString &reason)
{
    return QStringLiteral("Your latest changes cannot be kept. %1\n\n"
                          "If you quit now, they will be lost. Stay to copy what you need of them elsewhere first.")
        .arg(reason);
}

std::optional<QString> QuitGuard::saveOnTheWayOut(ModelContext &context)
{
    if (!context.hasChanges())
        return std::nullopt;
    const auto saved = context.save();
    if (saved)
        return std::nullopt;
    return QStringLiteral("Tessaline quit without saving your latest changes. %1").arg(saved.error().message);
}

} // namespace tessaline

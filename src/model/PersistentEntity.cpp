#include "model/PersistentEntity.h"

#include "model/ModelContext.h"

#include <QTimeZone>

namespace tessaline {

QDateTime storedDate(const QDateTime &date)
{
    if (!date.isValid())
        return date;
    return QDateTime::fromMSecsSinceEpoch(date.toMSecsSinceEpoch(), Qt::UTC);
}

std::optional<QDateTime> storedDate(const std::optional<QDateTime> &date)
{
    if (!date)
        return std::nullopt;
    return storedDate(*date);
}

PersistentEntity::PersistentEntity(QObject *parent)
    : QObject(parent)
{
}

void PersistentEntity::willWrite()
{
    if (m_context)
        m_context->entityWillChange(this);
}

void PersistentEntity::didWrite(int property)
{
    if (!m_dirty) {
        m_dirty = true;
        if (m_context)
            m_context->entityDidChange(this);
    }
    Q_EMIT changed(property);
    if (m_context)
        m_context->followWrite(this, property);
}

} // namespace tessaline

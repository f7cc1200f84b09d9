#include "model/Connection.h"

namespace tessaline {

Connection::Connection(QObject *parent)
    : Connection(Values{}, parent)
{
}

Connection::Connection(const Values &values, QObject *parent)
    : ValueEntity(parent)
{
    m_values = values;
    m_values.createdAt = storedDate(m_values.createdAt);
    m_values.updatedAt = storedDate(m_values.updatedAt);
    m_values.deletedAt = storedDate(m_values.deletedAt);
}

void Connection::setId(const QUuid &id) { write(m_values.id, id, IdProperty); }
void Connection::setBoardID(const QUuid &id) { write(m_values.boardID, id, BoardIDProperty); }
void Connection::setSourceCardID(const QUuid &id) { write(m_values.sourceCardID, id, SourceCardIDProperty); }
void Connection::setDestinationCardID(const QUuid &id) { write(m_values.destinationCardID, id, DestinationCardIDProperty); }
void Connection::setLabel(const std::optional<QString> &label) { write(m_values.label, label, LabelProperty); }
void Connection::setCreatedAt(const QDateTime &date) { write(m_values.createdAt, storedDate(date), CreatedAtProperty); }
void Connection::setUpdatedAt(const QDateTime &date) { write(m_values.updatedAt, storedDate(date), UpdatedAtProperty); }
void Connection::setDeletedAt(const std::optional<QDateTime> &date) { write(m_values.deletedAt, storedDate(date), DeletedAtProperty); }

} // namespace tessaline

#pragma once

#include "model/ValueEntity.h"

#include <QDateTime>
#include <QString>
#include <QUuid>

#include <optional>

namespace tessaline {

// The stored properties of a connection, in schema order, with their defaults.
struct ConnectionValues
{
    ConnectionValues() = default;
    // Every member empty, for a row about to be read: no identifier drawn,
    // no clock read, only to be replaced.
    explicit ConnectionValues(StoredRow) : id(), boardID(), sourceCardID(), destinationCardID(), createdAt(), updatedAt() {}

    QUuid id = QUuid::createUuid();
    QUuid boardID = QUuid::createUuid();
    QUuid sourceCardID = QUuid::createUuid();
    QUuid destinationCardID = QUuid::createUuid();
    std::optional<QString> label;
    QDateTime createdAt = QDateTime::currentDateTimeUtc();
    QDateTime updatedAt = QDateTime::currentDateTimeUtc();
    std::optional<QDateTime> deletedAt;
    // Not stored: properties whose stored identifier could not be read as
    // one, one bit per Connection::Property (see BoardValues).
    quint32 damagedProperties = 0;

    friend bool operator==(const ConnectionValues &, const ConnectionValues &) = default;
};

// A directed, optionally labelled link from one card of a note to another.
// Refers to its note and cards by identifier only; nothing cascades.
class Connection : public ValueEntity<ConnectionValues, 8>
{
    Q_OBJECT
public:
    enum Property {
        IdProperty,
        BoardIDProperty,
        SourceCardIDProperty,
        DestinationCardIDProperty,
        LabelProperty,
        CreatedAtProperty,
        UpdatedAtProperty,
        DeletedAtProperty,
        PropertyCount
    };
    Q_ENUM(Property)

    using Values = ConnectionValues;

    explicit Connection(QObject *parent = nullptr);
    explicit Connection(const Values &values, QObject *parent = nullptr);

    QUuid id() const { return m_values.id; }
    void setId(const QUuid &id);
    QUuid boardID() const { return m_values.boardID; }
    void setBoardID(const QUuid &id);
    QUuid sourceCardID() const { return m_values.sourceCardID; }
    void setSourceCardID(const QUuid &id);
    QUuid destinationCardID() const { return m_values.destinationCardID; }
    void setDestinationCardID(const QUuid &id);
    std::optional<QString> label() const { return m_values.label; }
    void setLabel(const std::optional<QString> &label);
    QDateTime createdAt() const { return m_values.createdAt; }
    void setCreatedAt(const QDateTime &date);
    QDateTime updatedAt() const { return m_values.updatedAt; }
    void setUpdatedAt(const QDateTime &date);
    std::optional<QDateTime> deletedAt() const { return m_values.deletedAt; }
    void setDeletedAt(const std::optional<QDateTime> &date);

    bool isLive() const { return !m_values.deletedAt.has_value(); }
    bool touchesCard(const QUuid &cardID) const
    {
        return m_values.sourceCardID == cardID || m_values.destinationCardID == cardID;
    }

private:
    friend class ModelContext;
    Connection(StoredRow row, Values &&stored, QObject *parent)
        : ValueEntity(row, std::move(stored), parent)
    {
    }
};

static_assert(Connection::PropertyCount == 8, "the record and the property list must agree");

} // namespace tessaline

#pragma once

#include "model/PersistentEntity.h"

#include <QDateTime>
#include <QString>
#include <QUuid>

#include <optional>

namespace tessaline {

// A directed, optionally labelled link from one card of a note to another.
// Refers to its note and cards by identifier only; nothing cascades.
class Connection : public PersistentEntity
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

    struct Values
    {
        QUuid id = QUuid::createUuid();
        QUuid boardID = QUuid::createUuid();
        QUuid sourceCardID = QUuid::createUuid();
        QUuid destinationCardID = QUuid::createUuid();
        std::optional<QString> label;
        QDateTime createdAt = QDateTime::currentDateTimeUtc();
        QDateTime updatedAt = QDateTime::currentDateTimeUtc();
        std::optional<QDateTime> deletedAt;

        friend bool operator==(const Values &, const Values &) = default;
    };

    explicit Connection(QObject *parent = nullptr);
    explicit Connection(const Values &values, QObject *parent = nullptr);

    const Values &values() const { return m_values; }

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

protected:
    void revertToSaved() override;
    void markSaved() override;
    int propertyCount() const override { return PropertyCount; }

private:
    friend class ModelContext;
    void adoptStoredValues(const Values &values);

    template <typename T>
    void write(T &slot, const T &value, Property property)
    {
        slot = value;
        didWrite(property);
    }

    Values m_values;
    Values m_saved;
};

} // namespace tessaline

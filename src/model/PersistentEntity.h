#pragma once

#include <QDateTime>
#include <QObject>

#include <any>
#include <optional>

namespace tessaline {

class ModelContext;

// Dates are kept in UTC at millisecond precision, the precision of the store,
// so a value read back compares equal to the value written.
QDateTime storedDate(const QDateTime &date);
std::optional<QDateTime> storedDate(const std::optional<QDateTime> &date);

// Base of the three stored entity types. Every write of a stored property
// emits `changed` with the property's index, also when the value is the same:
// screens repaint on it and the owning context records the entity as dirty.
// Identity is the object itself: two entities with equal fields are distinct.
class PersistentEntity : public QObject
{
    Q_OBJECT
public:
    ModelContext *modelContext() const { return m_context; }
    // True once the entity has been saved to the store and not deleted since.
    bool isPersisted() const { return m_rowID > 0 && !m_removed; }
    bool hasChanges() const { return m_dirty; }

Q_SIGNALS:
    void changed(int property);

protected:
    explicit PersistentEntity(QObject *parent = nullptr);
    // Called before anything the store keeps changes, so that an open change
    // scope can take the state it must be able to put back.
    void willWrite();
    void didWrite(int property);
    // The entity's row in the store; 0 before its first save.
    qint64 storedRow() const { return m_rowID; }

    // Makes the entity's values equal to its last saved values.
    virtual void revertToSaved() = 0;
    // Records the current values as the saved ones.
    virtual void markSaved() = 0;
    virtual int propertyCount() const = 0;
    // Everything unsaved the entity holds, as one value, and putting such a
    // value back (screens hear of every property).
    virtual std::any pendingState() const = 0;
    virtual void restorePendingState(const std::any &state) = 0;

private:
    friend class ModelContext;

    ModelContext *m_context = nullptr;
    qint64 m_rowID = 0;
    bool m_dirty = false;
    bool m_removed = false;
};

} // namespace tessaline

#pragma once

#include "model/PersistentEntity.h"

#include <memory>
#include <utility>

namespace tessaline {

// Marks the making of values and entities from a row of the store.
struct StoredRow
{
};

// The stored half of an entity kept as one value record, with the record as
// last saved beside it: saving, rolling back and reading a row are then
// whole-record copies, the same for every entity type. The saved record is
// kept apart only from the first write after a save: until then it is the
// record itself, so a large library read at start-up holds one of each.
template <typename Values, int Count>
class ValueEntity : public PersistentEntity
{
public:
    const Values &values() const { return m_values; }

protected:
    using PersistentEntity::PersistentEntity;
    // An entity read from the store starts from the row's values, without
    // first making up defaults (fresh identifiers, the current time) that
    // would be replaced at once; reading a large library makes many. The
    // row's values are taken over, not copied.
    ValueEntity(StoredRow, Values &&stored, QObject *parent)
        : PersistentEntity(parent)
        , m_values(std::move(stored))
    {
    }

    // Every stored property goes through here, so every write is noticed.
    template <typename T, typename Property>
    void write(T &slot, const T &value, Property property)
    {
        willWrite();
        keepSavedValues();
        slot = value;
        // A value set replaces a damaged one; the next save stores it.
        if constexpr (requires { m_values.damagedProperties; })
            m_values.damagedProperties &= ~(1u << int(property));
        didWrite(int(property));
    }

public:
    // Whether the stored value of the property could not be read (see the
    // values' damagedProperties).
    template <typename Property>
    bool isDamaged(Property property) const
    {
        if constexpr (requires { m_values.damagedProperties; })
            return m_values.damagedProperties & (1u << int(property));
        return false;
    }

protected:
    const Values &savedValues() const { return m_saved ? *m_saved : m_values; }
    // The saved record while it is kept apart from m_values, else none.
    Values *separateSavedValues() { return m_saved.get(); }
    // Before the values first differ from the saved ones.
    void keepSavedValues()
    {
        if (!m_saved)
            m_saved = std::make_unique<Values>(m_values);
    }

    void revertToSaved() override
    {
        if (m_saved)
            m_values = *std::exchange(m_saved, nullptr);
        announceEveryProperty();
    }
    std::any pendingState() const override { return m_values; }
    void restorePendingState(const std::any &state) override
    {
        keepSavedValues();
        m_values = std::any_cast<const Values &>(state);
        announceEveryProperty();
    }
    // Screens re-read every property: any of them may have been written.
    void announceEveryProperty()
    {
        for (int property = 0; property < Count; ++property)
            Q_EMIT changed(property);
    }
    void markSaved() override { m_saved.reset(); }
    int propertyCount() const override { return Count; }

    Values m_values;

private:
    // None while equal to m_values.
    std::unique_ptr<Values> m_saved;
};

} // namespace tessaline

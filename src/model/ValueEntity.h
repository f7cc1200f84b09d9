#pragma once

#include "model/PersistentEntity.h"

namespace tessaline {

// The stored half of an entity kept as one value record, with the record as
// last saved beside it: saving, rolling back and reading a row are then
// whole-record copies, the same for every entity type.
template <typename Values, int Count>
class ValueEntity : public PersistentEntity
{
public:
    const Values &values() const { return m_values; }

protected:
    using PersistentEntity::PersistentEntity;

    // Every stored property goes through here, so every write is noticed.
    template <typename T, typename Property>
    void write(T &slot, const T &value, Property property)
    {
        willWrite();
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

    void revertToSaved() override
    {
        m_values = m_saved;
        announceEveryProperty();
    }
    std::any pendingState() const override { return m_values; }
    void restorePendingState(const std::any &state) override
    {
        m_values = std::any_cast<const Values &>(state);
        announceEveryProperty();
    }
    // Screens re-read every property: any of them may have been written.
    void announceEveryProperty()
    {
        for (int property = 0; property < Count; ++property)
            Q_EMIT changed(property);
    }
    void markSaved() override { m_saved = m_values; }
    int propertyCount() const override { return Count; }
    void adoptStoredValues(const Values &values)
    {
        m_values = values;
        m_saved = values;
    }

    Values m_values;
    Values m_saved;
};

} // namespace tessaline

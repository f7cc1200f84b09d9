#pragma once

#include <QString>

namespace tessaline {

class UserDefaults;

// What happens to a capture once it has become a snip.
struct CaptureBehaviorPreferences
{
    bool automaticallyOpensRegionCaptureReview = true;
    bool automaticallyCopiesCaptures = true;

    friend bool operator==(const CaptureBehaviorPreferences &, const CaptureBehaviorPreferences &) = default;
};

class CaptureBehaviorPreferencesStore
{
public:
    static QString opensRegionCaptureReviewKey() { return QStringLiteral("automaticallyOpensRegionCaptureReview"); }
    static QString copiesCapturesKey() { return QStringLiteral("automaticallyCopiesCaptures"); }

    explicit CaptureBehaviorPreferencesStore(UserDefaults &defaults) : m_defaults(defaults) {}

    // An absent key reads as true; a present one through the defaults'
    // Boolean reading, whatever type it holds.
    CaptureBehaviorPreferences load() const;
    void save(const CaptureBehaviorPreferences &preferences);

    UserDefaults &defaults() const { return m_defaults; }

private:
    UserDefaults &m_defaults;
};

} // namespace tessaline

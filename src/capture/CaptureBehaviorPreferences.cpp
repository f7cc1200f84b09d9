#include "capture/CaptureBehaviorPreferences.h"

#include "platform/UserDefaults.h"

namespace tessaline {

CaptureBehaviorPreferences CaptureBehaviorPreferencesStore::load() const
{
    CaptureBehaviorPreferences preferences;
    preferences.automaticallyOpensRegionCaptureReview = m_defaults.optionalBoolean(opensRegionCaptureReviewKey()).value_or(true);
    preferences.automaticallyCopiesCaptures = m_defaults.optionalBoolean(copiesCapturesKey()).value_or(true);
    return preferences;
}

void CaptureBehaviorPreferencesStore::save(const CaptureBehaviorPreferences &preferences)
{
    m_defaults.setBoolean(opensRegionCaptureReviewKey(), preferences.automaticallyOpensRegionCaptureReview);
    m_defaults.setBoolean(copiesCapturesKey(), preferences.automaticallyCopiesCaptures);
}

} // namespace tessaline

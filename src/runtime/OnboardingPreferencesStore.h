#pragma once

#include "runtime/OnboardingState.h"

#include <QByteArray>

#include <optional>

namespace tessaline {

class UserDefaults;

// Reads and writes the onboarding record, JSON bytes under one settings key.
// Nothing is read until asked.
class OnboardingPreferencesStore
{
public:
    static QString preferencesKey() { return QStringLiteral("onboardingPreferences"); }

    explicit OnboardingPreferencesStore(UserDefaults &defaults);

    UserDefaults &defaults() const { return m_defaults; }

    // The stored record; the default record (no name, versions 0) when nothing
    // is stored or what is stored is not a complete, well-typed record. A bad
    // record is left in place: the next save replaces it.
    OnboardingPreferences load() const;

    // Writes the whole record. A record that cannot be encoded (a name that is
    // not valid Unicode) is dropped and the previous data stays.
    void save(const OnboardingPreferences &preferences);

    // The stored form: {"profile":{"name":…},"completedOnboardingVersion":…,
    // "completedTourVersion":…}, keys in that order, compact.
    static std::optional<QByteArray> encode(const OnboardingPreferences &preferences);
    // All four keys required with their types (string, integer, integer);
    // other keys are ignored.
    static std::optional<OnboardingPreferences> decode(const QByteArray &data);

private:
    UserDefaults &m_defaults;
};

} // namespace tessaline

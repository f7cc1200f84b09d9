// Feeds arbitrary bytes to the reader of the stored onboarding record (the
// settings file is the user's to edit), then writes what it accepts and reads
// that again. Any crash, sanitizer report or broken invariant is a finding.

#include "runtime/OnboardingPreferencesStore.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace tessaline;

namespace {

[[noreturn]] void fail(const char *what)
{
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const auto preferences = OnboardingPreferencesStore::decode(bytes);
    if (!preferences)
        return 0;
    // The name is shown in labels and written back: it must be text that
    // can be stored again.
    const QString &name = preferences->profile.name;
    if (QString::fromUtf8(name.toUtf8()) != name)
        fail("an accepted name is not valid text");

    const auto written = OnboardingPreferencesStore::encode(*preferences);
    if (!written)
        fail("an accepted record cannot be written");
    const auto reread = OnboardingPreferencesStore::decode(*written);
    if (!reread || reread->profile.name != preferences->profile.name
        || reread->completedOnboardingVersion != preferences->completedOnboardingVersion
        || reread->completedTourVersion != preferences->completedTourVersion)
        fail("writing and reading changed the record");
    if (OnboardingPreferencesStore::encode(*reread) != written)
        fail("the written form is not stable");
    return 0;
}

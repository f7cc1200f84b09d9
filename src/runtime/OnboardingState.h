#pragma once

#include "capture/ScreenCapturePermission.h"

#include <QString>
#include <QStringList>

#include <array>
#include <optional>

namespace tessaline {

// The introduction and tour versions this build ships. A stored version below
// one of these means that part has not been seen in its current form.
inline constexpr qint64 currentOnboardingVersion = 1;
inline constexpr qint64 currentTourVersion = 2;

struct TessalineProfile
{
    // Stored normalised: single spaces between words, none at either end.
    QString name;

    friend bool operator==(const TessalineProfile &, const TessalineProfile &) = default;
};

// What the app remembers about the introduction, kept as one JSON record.
struct OnboardingPreferences
{
    TessalineProfile profile;
    qint64 completedOnboardingVersion = 0;
    qint64 completedTourVersion = 0;

    friend bool operator==(const OnboardingPreferences &, const OnboardingPreferences &) = default;
};

// The setup window's pages, in the order they are shown.
enum class OnboardingPage { welcome = 0, capture = 1, thinking = 2, ready = 3 };

inline constexpr std::array<OnboardingPage, 4> allOnboardingPages {
    OnboardingPage::welcome, OnboardingPage::capture, OnboardingPage::thinking, OnboardingPage::ready};

// No page for a raw value outside 0...3.
std::optional<OnboardingPage> onboardingPageFromRawValue(int rawValue);

// The guided tour's steps, in the order they are shown.
enum class GuidedTourStep { capture = 0, today = 1, boards = 2, snipPreview = 3 };

inline constexpr std::array<GuidedTourStep, 4> allGuidedTourSteps {
    GuidedTourStep::capture, GuidedTourStep::today, GuidedTourStep::boards, GuidedTourStep::snipPreview};

// No step for a raw value outside 0...3.
std::optional<GuidedTourStep> guidedTourStepFromRawValue(int rawValue);

// What the screen-capture permission panel explains; one stage per
// permission state.
enum class CapturePermissionGuideStage { explanation, systemSettings, restartRequired, authorized };

CapturePermissionGuideStage capturePermissionGuideStage(ScreenCapturePermissionState state);

// The words of a name as typed: the text split at every whitespace character
// (spaces, tabs, line breaks, no-break and other Unicode spaces), empty pieces
// dropped. The stored name is these words joined by single spaces; the ready
// page greets the user by the first of them.
QStringList onboardingNameWords(const QString &text);

} // namespace tessaline

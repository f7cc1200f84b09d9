#include "runtime/OnboardingState.h"

namespace tessaline {

std::optional<OnboardingPage> onboardingPageFromRawValue(int rawValue)
{
    for (const OnboardingPage page : allOnboardingPages) {
        if (int(page) == rawValue)
            return page;
    }
    return std::nullopt;
}

std::optional<GuidedTourStep> guidedTourStepFromRawValue(int rawValue)
{
    for (const GuidedTourStep step : allGuidedTourSteps) {
        if (int(step) == rawValue)
            return step;
    }
    return std::nullopt;
}

CapturePermissionGuideStage capturePermissionGuideStage(ScreenCapturePermissionState state)
{
    switch (state) {
    case ScreenCapturePermissionState::notRequested:
        return CapturePermissionGuideStage::explanation;
    case ScreenCapturePermissionState::needsSettings:
        return CapturePermissionGuideStage::systemSettings;
    case ScreenCapturePermissionState::restartRequired:
        return CapturePermissionGuideStage::restartRequired;
    case ScreenCapturePermissionState::authorized:
        return CapturePermissionGuideStage::authorized;
    }
    return CapturePermissionGuideStage::explanation;
}

QStringList onboardingNameWords(const QString &text)
{
    QStringList words;
    qsizetype start = -1;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i).isSpace()) {
            if (start >= 0)
                words.append(text.mid(start, i - start));
            start = -1;
        } else if (start < 0) {
            start = i;
        }
    }
    if (start >= 0)
        words.append(text.mid(start));
    return words;
}

} // namespace tessaline

#include "runtime/OnboardingCoordinator.h"

namespace tessaline {

OnboardingCoordinator::OnboardingCoordinator(std::unique_ptr<OnboardingPreferencesStore> store, QObject *parent)
    : QObject(parent)
    , m_store(std::move(store))
{
    Q_ASSERT(m_store);
    m_preferences = m_store->load();
    m_draftName = m_preferences.profile.name;
    m_isOnboardingPresented = m_preferences.completedOnboardingVersion < currentOnboardingVersion;
    if (!m_isOnboardingPresented && m_preferences.completedTourVersion < currentTourVersion)
        m_tourStep = GuidedTourStep::capture;
}

OnboardingCoordinator::~OnboardingCoordinator() = default;

void OnboardingCoordinator::setOnboardingPresented(bool presented)
{
    m_isOnboardingPresented = presented;
    Q_EMIT isOnboardingPresentedChanged();
}

void OnboardingCoordinator::setTourStep(std::optional<GuidedTourStep> step)
{
    m_tourStep = step;
    Q_EMIT tourStepChanged();
}

void OnboardingCoordinator::setDraftName(const QString &name)
{
    m_draftName = name;
    Q_EMIT draftNameChanged();
}

void OnboardingCoordinator::setPreferences(const OnboardingPreferences &preferences)
{
    m_preferences = preferences;
    Q_EMIT preferencesChanged();
}

void OnboardingCoordinator::setPage(OnboardingPage page)
{
    m_page = page;
    Q_EMIT pageChanged();
}

QString OnboardingCoordinator::normalizedName(const QString &text)
{
    QString name = onboardingNameWords(text).join(u' ');
    // A text field can hand over half of a surrogate pair; such a name could
    // never be written to the record, so every later save would fail too.
    for (qsizetype i = 0; i < name.size(); ++i) {
        const QChar c = name.at(i);
        if (c.isHighSurrogate() && i + 1 < name.size() && name.at(i + 1).isLowSurrogate())
            ++i;
        else if (c.isSurrogate())
            name[i] = QChar::ReplacementCharacter;
    }
    return name;
}

bool OnboardingCoordinator::canContinue() const
{
    if (m_page != OnboardingPage::welcome)
        return true;
    return !normalizedName(m_draftName).isEmpty();
}

void OnboardingCoordinator::advance()
{
    if (!canContinue())
        return;
    switch (m_page) {
    case OnboardingPage::welcome:
        setPage(OnboardingPage::capture);
        break;
    case OnboardingPage::capture:
        setPage(OnboardingPage::thinking);
        break;
    case OnboardingPage::thinking:
        setPage(OnboardingPage::ready);
        break;
    case OnboardingPage::ready:
        // The last page is left through finish().
        break;
    }
}

void OnboardingCoordinator::back()
{
    switch (m_page) {
    case OnboardingPage::welcome:
        break;
    case OnboardingPage::capture:
        setPage(OnboardingPage::welcome);
        break;
    case OnboardingPage::thinking:
        setPage(OnboardingPage::capture);
        break;
    case OnboardingPage::ready:
        setPage(OnboardingPage::thinking);
        break;
    }
}

void OnboardingCoordinator::adoptDraftName()
{
    const QString name = normalizedName(m_draftName);
    if (name.isEmpty())
        return;
    OnboardingPreferences preferences = m_preferences;
    preferences.profile.name = name;
    setPreferences(preferences);
}

void OnboardingCoordinator::finish()
{
    adoptDraftName();
    OnboardingPreferences preferences = m_preferences;
    preferences.completedOnboardingVersion = currentOnboardingVersion;
    setPreferences(preferences);
    m_store->save(m_preferences);

    m_isReplay = false;
    setOnboardingPresented(false);
    // Finishing, even a replay, leads into the tour unless its current
    // version was already seen.
    if (m_preferences.completedTourVersion >= currentTourVersion)
        setTourStep(std::nullopt);
    else
        setTourStep(GuidedTourStep::capture);
}

void OnboardingCoordinator::skip()
{
    if (!m_isReplay) {
        // Skipping the first-run introduction counts the tour as seen too.
        adoptDraftName();
        OnboardingPreferences preferences = m_preferences;
        preferences.completedOnboardingVersion = currentOnboardingVersion;
        preferences.completedTourVersion = currentTourVersion;
        setPreferences(preferences);
        m_store->save(m_preferences);
    }
    m_isReplay = false;
    setOnboardingPresented(false);
    setTourStep(std::nullopt);
}

void OnboardingCoordinator::replay()
{
    setPage(OnboardingPage::welcome);
    setDraftName(m_preferences.profile.name);
    setTourStep(std::nullopt);
    m_isReplay = true;
    setOnboardingPresented(true);
}

void OnboardingCoordinator::advanceTour()
{
    if (!m_tourStep)
        return;
    switch (*m_tourStep) {
    case GuidedTourStep::capture:
        setTourStep(GuidedTourStep::today);
        break;
    case GuidedTourStep::today:
        setTourStep(GuidedTourStep::boards);
        break;
    case GuidedTourStep::boards:
        setTourStep(GuidedTourStep::snipPreview);
        break;
    case GuidedTourStep::snipPreview:
        completeTour();
        break;
    }
}

void OnboardingCoordinator::previousTourStep()
{
    if (!m_tourStep)
        return;
    switch (*m_tourStep) {
    case GuidedTourStep::capture:
        break;
    case GuidedTourStep::today:
        setTourStep(GuidedTourStep::capture);
        break;
    case GuidedTourStep::boards:
        setTourStep(GuidedTourStep::today);
        break;
    case GuidedTourStep::snipPreview:
        setTourStep(GuidedTourStep::boards);
        break;
    }
}

void OnboardingCoordinator::completeTour()
{
    OnboardingPreferences preferences = m_preferences;
    preferences.completedTourVersion = currentTourVersion;
    setPreferences(preferences);
    m_store->save(m_preferences);
    setTourStep(std::nullopt);
}

} // namespace tessaline

#pragma once

#include "runtime/OnboardingPreferencesStore.h"
#include "runtime/OnboardingState.h"

#include <QObject>

#include <memory>
#include <optional>

namespace tessaline {

// The first-run introduction and the guided tour: which of them is on screen,
// the setup window's page and name field, the tour's step, and the record of
// what was completed. Built once at launch; main thread only.
//
// Every assignment of a published value sends its change signal, even when
// the value stays the same. Views may assign draftName, the presentation flag
// and the tour step directly; that changes memory only. The record reaches
// the settings file only through finish(), skip() and completeTour().
class OnboardingCoordinator : public QObject
{
    Q_OBJECT
public:
    explicit OnboardingCoordinator(std::unique_ptr<OnboardingPreferencesStore> store, QObject *parent = nullptr);
    ~OnboardingCoordinator() override;

    const OnboardingPreferences &preferences() const { return m_preferences; }

    bool isOnboardingPresented() const { return m_isOnboardingPresented; }
    // The setup sheet writes false here when it is dismissed.
    void setOnboardingPresented(bool presented);

    OnboardingPage page() const { return m_page; }

    // None while no tour runs.
    std::optional<GuidedTourStep> tourStep() const { return m_tourStep; }
    // The settings window starts the tour by setting the first step.
    void setTourStep(std::optional<GuidedTourStep> step);

    // The name field's text as typed.
    QString draftName() const { return m_draftName; }
    void setDraftName(const QString &name);

    OnboardingPreferencesStore &store() const { return *m_store; }

    // The setup window was opened again from the settings window.
    bool isReplay() const { return m_isReplay; }

    // Every page but the first may be left; the first needs a name.
    bool canContinue() const;

    void advance();
    void back();
    void finish();
    void skip();
    void replay();

    void advanceTour();
    void previousTourStep();
    void completeTour();

Q_SIGNALS:
    void preferencesChanged();
    void isOnboardingPresentedChanged();
    void pageChanged();
    void tourStepChanged();
    void draftNameChanged();

private:
    static QString normalizedName(const QString &text);

    void setPreferences(const OnboardingPreferences &preferences);
    void setPage(OnboardingPage page);
    // Keeps a typed name that has at least one word.
    void adoptDraftName();

    OnboardingPreferences m_preferences;
    bool m_isOnboardingPresented = false;
    OnboardingPage m_page = OnboardingPage::welcome;
    std::optional<GuidedTourStep> m_tourStep;
    QString m_draftName;
    std::unique_ptr<OnboardingPreferencesStore> m_store;
    bool m_isReplay = false;
};

} // namespace tessaline

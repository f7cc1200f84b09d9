#pragma once

#include "runtime/OnboardingState.h"

#include <QWidget>

class QLabel;
class QPushButton;
class QToolButton;

namespace tessaline {

class OnboardingCoordinator;

// What a guided-tour step says: its symbol, title and body. The last step's
// body depends on whether there is a snip for it to point at.
struct GuidedTourStepContent
{
    QString systemImage;
    QString title;
    QString body;
};
GuidedTourStepContent guidedTourStepContent(GuidedTourStep step, bool hasSnipPreviewTarget);

// "Guided tour, <title>, step <n> of 4".
QString guidedTourAccessibilityLabel(GuidedTourStep step);

// The guided tour's card for one step, shown by the main window in its
// bottom-trailing corner: the step's symbol, title, counter and body, a
// preview panel on the last step, and "Skip Tour", "Back" and "Next" (or
// "Done"). Its buttons move the coordinator's tour; Return is "Next", Escape
// ends the tour like the close button. A new step gets a new card; it takes
// the keyboard focus when shown and fades in unless reduce motion is on.
class GuidedTourCoachmark : public QWidget
{
    Q_OBJECT
public:
    GuidedTourCoachmark(OnboardingCoordinator &onboarding, GuidedTourStep step, bool hasSnipPreviewTarget,
                        QWidget *parent = nullptr);

    GuidedTourStep step() const { return m_step; }
    bool hasSnipPreviewTarget() const { return m_hasSnipPreviewTarget; }

    QLabel *titleLabel() const { return m_title; }
    QLabel *counterLabel() const { return m_counter; }
    QLabel *bodyLabel() const { return m_body; }
    // Null except on the last step.
    QWidget *previewPanel() const { return m_preview; }
    QPushButton *skipButton() const { return m_skip; }
    // Null on the first step.
    QPushButton *backButton() const { return m_back; }
    QPushButton *nextButton() const { return m_next; }
    QToolButton *closeButton() const { return m_close; }

    QSize sizeHint() const override;

protected:
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void paintCloseIcon();

    OnboardingCoordinator &m_onboarding;
    GuidedTourStep m_step;
    bool m_hasSnipPreviewTarget;
    bool m_hasAppeared = false;
    QLabel *m_title = nullptr;
    QLabel *m_counter = nullptr;
    QLabel *m_body = nullptr;
    QWidget *m_preview = nullptr;
    QPushButton *m_skip = nullptr;
    QPushButton *m_back = nullptr;
    QPushButton *m_next = nullptr;
    QToolButton *m_close = nullptr;
};

} // namespace tessaline

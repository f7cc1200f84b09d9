#pragma once

#include "runtime/OnboardingState.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QUuid>

#include <optional>

namespace tessaline {

class Board;
class CanvasCard;
class LibraryQuery;
class OnboardingCoordinator;

// Where the guided tour points, for the controls that wear its ring: the
// current step and the snip the last step points at. The main window makes
// one over its live queries and hands it to every screen, so a screen can
// light up its own control without knowing the window or the tour's card.
class GuidedTourTarget : public QObject
{
    Q_OBJECT
public:
    // Without a coordinator no tour ever runs.
    GuidedTourTarget(OnboardingCoordinator *onboarding, LibraryQuery &library, QObject *parent = nullptr);

    // None while no tour runs.
    std::optional<GuidedTourStep> step() const { return m_step; }
    // The snip the last step points at, whichever step is current.
    std::optional<QUuid> previewCardID() const;
    // The card wears the ring: the tour is on its last step and points at it.
    bool highlightsCard(const QUuid &cardID) const;

    // The newest live snip (by capture date, else creation date; the first
    // in list order among equal dates) of a note that is neither deleted nor
    // archived.
    static std::optional<QUuid> previewCardID(const QList<CanvasCard *> &cards, const QList<Board *> &boards);

Q_SIGNALS:
    // The step, or the snip pointed at while a tour runs, changed; nothing
    // is sent otherwise.
    void changed();

private:
    void update();

    QPointer<OnboardingCoordinator> m_onboarding;
    LibraryQuery &m_library;
    std::optional<GuidedTourStep> m_step;
    // Worked out only when asked for while no tour runs: it takes a pass
    // over every card, at the start and after every save, and lights
    // nothing then.
    mutable std::optional<QUuid> m_previewCardID;
    mutable bool m_previewStale = false;
};

} // namespace tessaline

#include "runtime/GuidedTourTarget.h"

#include "model/Board.h"
#include "model/CanvasCard.h"
#include "runtime/LibraryQuery.h"
#include "runtime/OnboardingCoordinator.h"

#include <QSet>

namespace tessaline {

GuidedTourTarget::GuidedTourTarget(OnboardingCoordinator *onboarding, LibraryQuery &library, QObject *parent)
    : QObject(parent)
    , m_onboarding(onboarding)
    , m_library(library)
{
    if (onboarding)
        connect(onboarding, &OnboardingCoordinator::tourStepChanged, this, &GuidedTourTarget::update);
    connect(&library, &LibraryQuery::changed, this, &GuidedTourTarget::update);
    m_step = onboarding ? onboarding->tourStep() : std::nullopt;
    if (m_step)
        m_previewCardID = previewCardID(library.cards(), library.boards());
    else
        m_previewStale = true;
}

std::optional<QUuid> GuidedTourTarget::previewCardID() const
{
    if (m_previewStale) {
        m_previewCardID = previewCardID(m_library.cards(), m_library.boards());
        m_previewStale = false;
    }
    return m_previewCardID;
}

bool GuidedTourTarget::highlightsCard(const QUuid &cardID) const
{
    return m_step == GuidedTourStep::snipPreview && m_previewCardID == cardID;
}

void GuidedTourTarget::update()
{
    const std::optional<GuidedTourStep> step = m_onboarding ? m_onboarding->tourStep() : std::nullopt;
    if (!step && !m_step) {
        // No tour, before or now: no snip is lit whichever it points at.
        m_previewStale = true;
        return;
    }
    const std::optional<QUuid> previewCard = previewCardID(m_library.cards(), m_library.boards());
    if (step == m_step && !m_previewStale && previewCard == m_previewCardID)
        return;
    m_step = step;
    m_previewCardID = previewCard;
    m_previewStale = false;
    Q_EMIT changed();
}

std::optional<QUuid> GuidedTourTarget::previewCardID(const QList<CanvasCard *> &cards, const QList<Board *> &boards)
{
    QSet<QUuid> openNotes;
    for (const Board *board : boards) {
        if (board->isLive() && !board->archivedAt())
            openNotes.insert(board->id());
    }
    const CanvasCard *newest = nullptr;
    QDateTime newestDate;
    for (const CanvasCard *card : cards) {
        if (card->kind() != CardKind::snip || !card->isLive() || !openNotes.contains(card->boardID()))
            continue;
        const QDateTime date = card->capturedAt().value_or(card->createdAt());
        if (!newest || date > newestDate) {
            newest = card;
            newestDate = date;
        }
    }
    return newest ? std::optional<QUuid>(newest->id()) : std::nullopt;
}

} // namespace tessaline
